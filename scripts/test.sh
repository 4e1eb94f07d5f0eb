#!/bin/sh
# Builds everything and runs every test. Usage: scripts/test.sh [build-dir]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build"}
sh "$top/scripts/install-deps.sh" app test
# Tests that need root run only as root; they start their own services.
if [ "$(id -u)" -eq 0 ] && [ -x "$top/scripts/ci/start-services.sh" ]; then
  "$top/scripts/ci/start-services.sh"
fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${QUILLON_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
cd "$build"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --output-on-failure -j "$(nproc)" ${QUILLON_CTEST_ARGS:-}
