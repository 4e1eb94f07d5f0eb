#!/bin/sh
# Start-up in instructions rather than milliseconds: the same programs as
# app_startup.sh (the minimal Qt Widgets window, the same with one push
# button, the uninstaller), each counted by callgrind from process start to
# its first frame, and the ratios to the minimal window. A count does not
# move with the load of the machine, so this comparison holds on a busy
# machine where the timed one does not; it leaves out what instructions do
# not show (waiting for the disk, for the X server, cache misses).
# A preloaded library (bench/app/first_frame_exit.c) ends each program right
# after its first frame reaches the X server; the programs are not changed.
# Run as root, each program runs as nobody, as in app_startup.sh.
# Usage: bench/app_startup_instructions.sh [build-dir]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build-bench"}
command -v valgrind >/dev/null || { echo "app_startup_instructions.sh: needs valgrind" >&2; exit 1; }
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BENCH=ON >/dev/null
log="$build/app_startup_build.log"
if ! cmake --build "$build" --target Uninstaller minimal_qt_window minimal_qt_button -j 2 >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 0755 "$work"
cc -shared -fPIC -O2 -o "$work/first_frame_exit.so" "$top/bench/app/first_frame_exit.c" -ldl

# One program under callgrind inside the X server; prints its instruction count.
cat >"$work/count" <<'COUNT'
#!/bin/sh
preload=$1 program=$2 err=$3
set -- env -u XAUTHORITY HOME=/tmp QT_QPA_PLATFORM=xcb LD_PRELOAD="$preload" \
  timeout 900 valgrind --tool=callgrind --callgrind-out-file=/dev/null "$program"
if [ "$(id -u)" -eq 0 ]; then
  set -- setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
fi
"$@" >/dev/null 2>"$err" || { echo "$program did not end after its first frame:" >&2; tail -5 "$err" >&2; exit 1; }
sed -n 's/.*Collected : *\([0-9][0-9]*\).*/\1/p' "$err" | tail -1
COUNT
chmod 0755 "$work/count"

xvfb-run -a -s "-ac -screen 0 1280x1024x24 -nolisten tcp" sh -s "$work" "$build" <<'RUN'
set -eu
work=$1 build=$2
floor=
printf '%-28s %16s %10s\n' program "instructions" "x minimal"
for entry in "minimal Qt Widgets window=$build/bench/app/minimal_qt_window" \
             "same with one push button=$build/bench/app/minimal_qt_button" \
             "Uninstaller=$build/Uninstaller.bundle/Uninstaller"; do
  name=${entry%%=*} program=${entry#*=}
  count=$("$work/count" "$work/first_frame_exit.so" "$program" "$work/err")
  [ -n "$count" ] || { echo "no count for $name" >&2; exit 1; }
  [ -n "$floor" ] || floor=$count
  printf '%-28s %16s %10s\n' "$name" "$count" "$(awk -v a="$count" -v b="$floor" 'BEGIN {printf "%.2f", a / b}')"
done
echo "(callgrind's instruction count, process start to the first frame in the window)"
RUN
