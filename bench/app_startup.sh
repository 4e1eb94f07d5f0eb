#!/bin/sh
# Start-up of the uninstaller against a minimal Qt Widgets program: time from
# process start to the main window on screen, and peak memory, side by side
# under Xvfb with no window manager. The floor pays less than any real
# window: its empty window needs no fonts and no widget style, which a single
# push button already costs (about 1.7 times the floor here). A GTK program
# that shows the same read-me and check box, zenity --text-info, runs beside
# them. Run as root, the driver starts every program as nobody, since the
# uninstaller does not run as root. Where the machine is busy, times move;
# app_startup_instructions.sh beside this compares instruction counts.
# Usage: bench/app_startup.sh [build-dir] [runs]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build-bench"}
runs=${2:-20}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BENCH=ON >/dev/null
log="$build/app_startup_build.log"
if ! cmake --build "$build" --target Uninstaller minimal_qt_window minimal_qt_button app_startup_driver ui_load_cost -j 2 >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

# The read-me as plain text for zenity, and a script that starts zenity with
# it and the same check box (the driver starts programs without arguments).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$top/bench/app/rtf_to_text.py" "$top/src/app/uninstaller/readme.rtf" >"$work/readme.txt"
{
  echo '#!/bin/sh'
  echo "exec zenity --text-info --title='Quillon Uninstaller' --width=620 --height=480 \\"
  echo "  --filename='$work/readme.txt' \\"
  echo "  --checkbox='Also remove the Quillon MIDI devices and their ALSA settings'"
} >"$work/zenity-readme"
chmod 0755 "$work" "$work/zenity-readme"
chmod 0644 "$work/readme.txt"

export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-ac -screen 0 1280x1024x24 -nolisten tcp" \
  "$build/bench/app/app_startup_driver" "$runs" \
  "minimal Qt Widgets window=$build/bench/app/minimal_qt_window" \
  "same with one push button=$build/bench/app/minimal_qt_button" \
  "Uninstaller=$build/Uninstaller.bundle/Uninstaller" \
  "zenity --text-info=$work/zenity-readme"

# Part of the window's start: its definition, read from Uninstaller.ui in the
# bundle (so that it stays editable) against the same file compiled in.
echo
QT_QPA_PLATFORM=offscreen "$build/bench/app/ui_load_cost" "$top/src/app/uninstaller/Uninstaller.ui" 50 2>/dev/null
