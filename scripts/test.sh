#!/bin/sh
# Builds everything and runs every test. Usage: scripts/test.sh [build-dir]
#
# The folder may have been configured before for something else (the demo
# builds build/ without the tests): the options that make a test build are
# given here every time, since CMake keeps a cached value otherwise, and a run
# that finds no test fails instead of passing.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build"}
die() {
  echo "test.sh: $*" >&2
  exit 1
}

# A folder that cannot become a test build of this tree: say so before
# CMake's own message, which does not say what to do.
cache="$build/CMakeCache.txt"
if [ -f "$cache" ]; then
  cached() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
  home=$(cached CMAKE_HOME_DIRECTORY)
  [ -z "$home" ] || [ "$(cd "$home" 2>/dev/null && pwd -P)" = "$(cd "$top" && pwd -P)" ] ||
    die "$build was configured for another source tree ($home); give another build folder or remove it"
  generator=$(cached CMAKE_GENERATOR)
  [ -z "$generator" ] || [ "$generator" = Ninja ] ||
    die "$build was configured with the $generator generator, not Ninja; give another build folder or remove it"
  for option in QUILLON_SANITIZE QUILLON_FUZZ; do
    case "$(cached "$option")" in
      ON | on | TRUE | true | 1 | YES | yes)
        die "$build is a $option build (scripts/ci/sanitize-and-fuzz.sh makes those); give another build folder" ;;
    esac
  done
fi

sh "$top/scripts/install-deps.sh" app test
# Tests that need root run only as root; they start their own services.
if [ "$(id -u)" -eq 0 ]; then
  "$top/scripts/ci/start-services.sh"
fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLON_BUILD_TESTS=ON -DQUILLON_BUILD_APP=ON ${QUILLON_CMAKE_ARGS:-} ||
  die "could not configure $build for a test build (CMake's reason above)"
cmake --build "$build" -j "$(nproc)"
cd "$build"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --no-tests=error --output-on-failure -j "$(nproc)" \
  ${QUILLON_CTEST_ARGS:-} || die "tests failed, or none ran, in $build"
