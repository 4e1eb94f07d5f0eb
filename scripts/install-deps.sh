#!/bin/sh
# Installs the Debian 12 packages that building, testing and running need.
# Safe to run again: apt-get skips what is already there.
set -eu
PACKAGES="
  build-essential cmake ninja-build pkg-config git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libqt6uitools6 libqt6dbus6
  polkitd pkexec dbus dbus-x11 python3-dbus python3-gi python3-dbusmock
  xvfb xauth xdotool x11-utils imagemagick libx11-dev zenity locales
  dosfstools util-linux mount passwd procps
  libplist-dev
  tmux ansible-core man-db groff-base
"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ -n "$missing" ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
# The tests read the application's and pkexec's texts in German too.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
