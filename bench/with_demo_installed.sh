#!/bin/sh
# Runs a command with the demo product's system part installed, as a user who
# still has Quillon sees the window: without it the uninstaller's first frame
# also builds its "not installed" sheet. The install lands on overlays over
# /etc, /opt and /var/lib in a private mount namespace and is gone with it.
# Usage (as root): bench/with_demo_installed.sh build-dir command [args...]
#   e.g. bench/with_demo_installed.sh build sh bench/app_startup_instructions.sh build
set -eu
[ "$(id -u)" -eq 0 ] || { echo "with_demo_installed.sh: run as root" >&2; exit 1; }
[ $# -ge 2 ] || { echo "usage: $0 build-dir command [args...]" >&2; exit 2; }
build=$1
shift
demo="$build/demo/quillon-demo-install"
[ -x "$demo" ] || { echo "with_demo_installed.sh: build quillon-demo-install in $build first" >&2; exit 1; }
if [ "${QUILLON_BENCH_IN_NAMESPACE:-}" != 1 ]; then
  QUILLON_BENCH_IN_NAMESPACE=1 exec unshare --mount --propagation private "$0" "$build" "$@"
fi
work=$(mktemp -d)
cleanup() {
  umount /etc /opt /var/lib 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for folder in /etc /opt /var/lib; do
  name=$(echo "$folder" | tr / _)
  mkdir -p "$work/$name.upper" "$work/$name.work"
  mount -t overlay overlay -o "lowerdir=$folder,upperdir=$work/$name.upper,workdir=$work/$name.work" "$folder"
done
"$demo" --system >/dev/null
"$@"
