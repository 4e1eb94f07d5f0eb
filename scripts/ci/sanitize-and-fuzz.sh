#!/bin/bash
# Runs every test once more under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan), then builds the libFuzzer targets (build-fuzz) and runs each one
# for a bounded time on a copy of its seed corpus. Fails on any test failure,
# sanitizer report, fuzzer crash, leak or hang.
# Usage: scripts/ci/sanitize-and-fuzz.sh [seconds per fuzzer, default 60]
# QUILLON_SANITIZE_STAGES="tests fuzz" (the default) chooses what runs;
# QUILLON_SANITIZE_CMAKE_ARGS adds to the sanitized test build's configuration.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
stages=${QUILLON_SANITIZE_STAGES:-tests fuzz}
for stage in $stages; do
  case "$stage" in
    tests | fuzz) ;;
    *)
      echo "sanitize-and-fuzz: no stage \"$stage\" (QUILLON_SANITIZE_STAGES takes tests and fuzz)" >&2
      exit 2
      ;;
  esac
done
jobs=$(nproc)
export CC=clang CXX=clang++

# --- The tests, sanitized -------------------------------------------------------
# The terminal front end, which runs as root, is built and tested here with
# the rest. The Qt window is left out by default: its tests start bus daemons
# that outlive a test that a sanitizer aborts, and those keep CTest waiting
# for their output. Add -DQUILLON_BUILD_APP=ON through
# QUILLON_SANITIZE_CMAKE_ARGS to include it.
if [[ " $stages " == *" tests "* ]]; then
  if [ "$(id -u)" -eq 0 ]; then
    "$top/scripts/ci/start-services.sh"
  fi
  cmake -S "$top" -B "$top/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON \
    -DQUILLON_BUILD_APP=OFF ${QUILLON_SANITIZE_CMAKE_ARGS:-}
  cmake --build "$top/build-asan" -j "$jobs"
  (
    cd "$top/build-asan"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
    ctest --no-tests=error --output-on-failure -j "$jobs"
  )
fi
[[ " $stages " == *" fuzz "* ]] || exit 0

# --- The fuzzers -----------------------------------------------------------------
# fuzzer-no-link gives libFuzzer coverage of the libraries, not only of the
# fuzz targets themselves; QUILLON_SANITIZE puts ASan and UBSan on them.
cmake -S "$top" -B "$top/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON \
  -DQUILLON_SANITIZE=ON -DQUILLON_BUILD_APP=OFF \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
fuzzers=()
for source in "$top"/fuzz/*_fuzz.cpp; do
  name=$(basename "$source" .cpp)
  if ! ninja -C "$top/build-fuzz" -t query "$name" >/dev/null 2>&1; then
    echo "sanitize-and-fuzz: $source has no target in fuzz/CMakeLists.txt" >&2
    exit 1
  fi
  fuzzers+=("$name")
done
if [ ${#fuzzers[@]} -eq 0 ]; then
  echo "sanitize-and-fuzz: no fuzz target in $top/fuzz" >&2
  exit 1
fi
cmake --build "$top/build-fuzz" -j "$jobs" --target "${fuzzers[@]}"

artifacts="$top/build-fuzz/artifacts"
mkdir -p "$artifacts"
for name in "${fuzzers[@]}"; do
  # A copy, so that what the fuzzer adds never lands in the committed corpus.
  corpus=$(mktemp -d)
  cp -R "$top/fuzz/corpus/$name/." "$corpus/"
  echo "sanitize-and-fuzz: $name for ${seconds}s" >&2
  status=0
  "$top/build-fuzz/fuzz/$name" "$corpus" -dict="$top/fuzz/plist.dict" -max_total_time="$seconds" \
    -max_len=65536 -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$name-" 2>"$artifacts/$name.log" || status=$?
  grep -v '^"' "$artifacts/$name.log" | tail -n 12 >&2 || true
  rm -rf "$corpus"
  if [ "$status" -ne 0 ]; then
    echo "sanitize-and-fuzz: $name failed (status $status); the input is in $artifacts" >&2
    exit 1
  fi
done
echo "sanitize-and-fuzz: all passed"
