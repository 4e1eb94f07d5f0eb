#!/bin/bash
# Builds the project on a brand-new Debian 12 root, so that a package missing
# from scripts/packages/ fails here even where the machine running this has
# it from earlier work. Makes the root with mmdebstrap and, inside it:
#   1. the application's package list, and with nothing more,
#      scripts/demo.sh --no-open: the build without the tests, the install
#      into /usr/local and the demo product;
#   2. scripts/demo.sh --remove, which must leave /usr/local and the polkit
#      actions as they were before the demo;
#   3. the test package list, everything configured and built with the
#      tests, installed, and desktop-file-validate over the installed entry;
#   4. every test that needs no running services (all but the labels of
#      tests/support/system/SystemTest.cmake).
# Prints each step with its time, and the step that failed with the lines
# that name what was missing. Logs go to build/artifacts/fresh-root/.
# Must run as root. Usage: scripts/ci/fresh-root.sh
#
# The root uses the host's Debian sources and its Acquire options (a proxy,
# a snapshot mirror's validity) where the host is Debian 12 itself, and
# deb.debian.org otherwise. QUILLON_FRESH_ROOT_MIRROR overrides the source
# (a URL, a sources file or a one-line "deb ..." entry).
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
say() { echo "fresh-root: $*" >&2; }

# --- Inside: a private mount and process namespace, chrooted --------------------------
# Everything mounted here disappears with the namespace, and every process
# the steps leave behind ends with it; the trap unmounts on every path anyway.
if [ "${1:-}" = --inside ]; then
  root=$2
  logs=$3
  unmount() {
    for m in "$root/src" "$root/sys" "$root/dev" "$root/proc"; do
      mountpoint -q "$m" && { umount -R "$m" 2>/dev/null || umount -R -l "$m"; }
    done
  }
  trap unmount EXIT
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
  mount --rbind /sys "$root/sys"
  mount --make-rslave "$root/sys"
  # The source tree read-only: the build must not write into it.
  mkdir -p "$root/src"
  mount --bind "$top" "$root/src"
  mount -o remount,bind,ro "$root/src"

  in_root() {
    chroot "$root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
      LANG=C.UTF-8 TERM=dumb "$@"
  }
  n=0
  # step NAME COMMAND...: runs COMMAND in the root, its output in a log.
  step() {
    local name=$1 log started status=0
    shift
    n=$((n + 1))
    log="$logs/$(printf '%02d' "$n")-$(echo "$name" | tr -c 'a-zA-Z0-9\n' '-' | tr -s '-' | cut -c1-40).log"
    say "step $n: $name"
    started=$(date +%s)
    in_root "$@" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
      say "FAILED at step $n: $name (exit status $status, after $(($(date +%s) - started)) s); the end of $log:"
      tail -n 40 "$log" | sed 's/^/    /' >&2
      # A CMake package whose configuration file is missing, or a package
      # name that apt does not know. (Qt's optional find modules print
      # "Could NOT find" for their libraries on every configure; those name
      # no _DIR.)
      missing='Could NOT find [A-Za-z0-9_]+ \(missing: [A-Za-z0-9_]+_DIR\)|Unable to locate package .*'
      if grep -qE "$missing" "$log"; then
        say "what was missing:"
        grep -oE "$missing" "$log" | sort -u | sed 's/^/    /' >&2
      fi
      exit 1
    fi
    say "step $n done in $(($(date +%s) - started)) s"
  }
  # The throwaway root is the machine here, so the demo installs for real.
  ours='find /usr/local /usr/share/polkit-1/actions -xdev 2>/dev/null | sort'
  step "scripts/install-deps.sh app" sh /src/scripts/install-deps.sh app
  step "record /usr/local and the polkit actions" sh -c "$ours >/before.txt"
  step "scripts/demo.sh --no-open (build without the tests, install, demo product)" \
    /src/scripts/demo.sh --no-open /build
  step "scripts/demo.sh --remove leaves /usr/local and the polkit actions as they were" \
    sh -c "/src/scripts/demo.sh --remove && $ours >/after.txt && diff -u /before.txt /after.txt"
  step "scripts/install-deps.sh test" sh /src/scripts/install-deps.sh test
  step "configure with the tests" cmake -S /src -B /build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_BUILD_TESTS=ON
  step "build everything" cmake --build /build -j "$(nproc)"
  step "install, and desktop-file-validate over the installed entry" sh -c '
    cmake --install /build >/dev/null &&
      out=$(desktop-file-validate /usr/local/share/applications/quillon-uninstaller.desktop 2>&1) &&
      [ -z "$out" ] || { echo "$out"; exit 1; }'
  step "tests that need no running services (ctest -LE '^(system|setuid|gui-e2e|terminal-e2e)\$')" sh -c \
    "cd /build && QT_QPA_PLATFORM=offscreen ctest --no-tests=error --output-on-failure -j $(nproc) -LE '^(system|setuid|gui-e2e|terminal-e2e)\$'"
  tail -n 3 "$logs/$(printf '%02d' "$n")-"*.log >&2
  exit 0
fi

# --- Outside: make the root, run the steps in it, throw it away ------------------------
if [ "$(id -u)" -ne 0 ]; then
  say "must run as root"
  exit 1
fi
started=$(date +%s)
logs="$top/build/artifacts/fresh-root"
rm -rf "$logs"
mkdir -p "$logs"

if ! command -v mmdebstrap >/dev/null; then
  say "installing mmdebstrap"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
fi

work=$(mktemp -d /var/tmp/quillon-fresh-root.XXXXXX)
# The steps' mounts live in their namespace. mmdebstrap mounts /proc, /sys
# and parts of /dev in the root while it runs, and leaves them there when it
# is interrupted: those go first, deepest first; and the removal never
# crosses into another file system anyway.
cleanup() {
  awk -v below="$work/" 'index($2, below) == 1 { print $2 }' /proc/self/mounts | sort -r |
    while read -r m; do umount "$m" 2>/dev/null || umount -l "$m"; done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

sources=()
options=()
if [ -n "${QUILLON_FRESH_ROOT_MIRROR:-}" ]; then
  sources=("$QUILLON_FRESH_ROOT_MIRROR")
elif grep -qs '^VERSION_CODENAME=bookworm' /etc/os-release; then
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -qE '^[^#]*debian' "$f" && sources+=("$f")
  done
  for f in /etc/apt/apt.conf /etc/apt/apt.conf.d/*; do
    [ -f "$f" ] && grep -qE '^[[:space:]]*Acquire' "$f" && options+=("--aptopt=$f")
  done
fi
say "making a fresh Debian 12 root in $work/root (${sources[*]:-deb.debian.org})"
mmdebstrap_started=$(date +%s)
if ! mmdebstrap --variant=apt --mode=root "${options[@]}" bookworm "$work/root" "${sources[@]}" \
  >"$logs/00-mmdebstrap.log" 2>&1; then
  say "FAILED at making the root (mmdebstrap); the end of $logs/00-mmdebstrap.log:"
  tail -n 20 "$logs/00-mmdebstrap.log" | sed 's/^/    /' >&2
  exit 1
fi
say "root made in $(($(date +%s) - mmdebstrap_started)) s"

unshare --mount --propagation private --pid --fork "$0" --inside "$work/root" "$logs"
say "passed in $(($(date +%s) - started)) s"
