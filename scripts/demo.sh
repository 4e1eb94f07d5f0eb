#!/bin/sh
# Installs what building needs, builds, installs the uninstaller into
# /usr/local (its polkit action into /usr/share/polkit-1/actions), installs
# the Quillon demo product, and opens the uninstaller on it.
#
# Run it from a terminal in your desktop session, either as yourself (it asks
# sudo for the steps that need root) or with sudo (the build, the product's
# user part and the window then run as the user who called sudo or pkexec).
#
# Usage: scripts/demo.sh [build-dir]      (default: <source>/build)
# Environment: QUILLON_PREFIX (default /usr/local)
set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build"}
prefix=${QUILLON_PREFIX:-/usr/local}

say() { echo "demo: $*" >&2; }
die() {
  say "$*"
  exit 1
}

# Who the desktop user is, and how to run as root and as that user.
if [ "$(id -u)" -eq 0 ]; then
  user=${SUDO_USER:-}
  if [ -z "$user" ] && [ -n "${PKEXEC_UID:-}" ]; then
    user=$(getent passwd "$PKEXEC_UID" | cut -d: -f1)
  fi
  [ -n "$user" ] && [ "$user" != root ] ||
    die "run this as your desktop user, or with sudo from your desktop session (not as root itself)"
  uid=$(id -u "$user")
  home=$(getent passwd "$user" | cut -d: -f6)
  # sudo keeps DISPLAY and XAUTHORITY; the rest of the session is found
  # where logind puts it.
  runtime=""
  [ -d "/run/user/$uid" ] && runtime=/run/user/$uid
  bus=""
  [ -S "/run/user/$uid/bus" ] && bus="unix:path=/run/user/$uid/bus"
  as_root() { "$@"; }
  as_user() {
    runuser -u "$user" -- env HOME="$home" USER="$user" LOGNAME="$user" \
      PATH=/usr/local/bin:/usr/bin:/bin \
      ${DISPLAY:+DISPLAY="$DISPLAY"} ${XAUTHORITY:+XAUTHORITY="$XAUTHORITY"} \
      ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY="$WAYLAND_DISPLAY"} \
      ${bus:+DBUS_SESSION_BUS_ADDRESS="$bus"} ${runtime:+XDG_RUNTIME_DIR="$runtime"} \
      ${LANG:+LANG="$LANG"} "$@"
  }
else
  command -v sudo >/dev/null || die "needs sudo for the steps that run as root"
  as_root() { sudo "$@"; }
  as_user() { "$@"; }
fi

[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] ||
  die "no desktop session here (neither DISPLAY nor WAYLAND_DISPLAY is set)"

say "installing the Debian packages that are needed"
as_root sh "$top/scripts/install-deps.sh"

say "building in $build"
as_user cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
as_user cmake --build "$build" -j "$(nproc)"

# As root: the helper tool runs as root only programs that root owns, in
# folders that only root can change, so the bundle must be installed this way.
say "installing the uninstaller into $prefix"
as_root cmake --install "$build"

demo="$prefix/lib/quillon-uninstaller/demo/quillon-demo-install"
say "installing the Quillon demo product (system part as root, then your part)"
as_root "$demo" --system
as_user "$demo" --user

say "opening the uninstaller; the desktop's polkit agent asks for the password"
as_user "$prefix/bin/quillon-uninstaller"
