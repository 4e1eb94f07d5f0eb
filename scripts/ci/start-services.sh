#!/bin/sh
# Starts the system services that the root system tests talk to, on a machine
# without systemd: the system D-Bus and polkitd. Also installs our polkit
# action, since polkitd reads actions only from /usr/share/polkit-1/actions.
# Safe to run again: it starts only what is not answering. Must run as root.
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
policy="$top/src/platform/authorization/com.quillon.uninstaller.policy"
socket=/run/dbus/system_bus_socket
pidfile=/run/dbus/pid
polkitd=/usr/lib/polkit-1/polkitd
polkitd_log=/run/quillon-polkitd.log

say() { echo "start-services: $*" >&2; }

if [ "$(id -u)" -ne 0 ]; then
  say "must run as root"
  exit 1
fi

bus_answers() {
  [ -S "$socket" ] &&
    timeout 5 dbus-send --system --print-reply --reply-timeout=3000 \
      --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetId >/dev/null 2>&1
}

polkit_on_bus() {
  timeout 5 dbus-send --system --print-reply --reply-timeout=3000 \
    --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null |
    grep -q 'boolean true'
}

# wait_for TRIES COMMAND...: polls every tenth of a second, at most TRIES times.
wait_for() {
  tries=$1
  shift
  while [ "$tries" -gt 0 ]; do
    if "$@"; then return 0; fi
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

# The system bus.
if ! bus_answers; then
  mkdir -p /run/dbus
  dbus-uuidgen --ensure
  # A pid file left by a bus that is gone makes dbus-daemon refuse to start.
  if [ -f "$pidfile" ]; then
    oldpid=$(cat "$pidfile" 2>/dev/null || true)
    # (a zombie still has its name, so look at the state too)
    if [ -n "$oldpid" ] && [ "$(cat "/proc/$oldpid/comm" 2>/dev/null)" = dbus-daemon ] &&
      [ "$(awk '{print $3}' "/proc/$oldpid/stat" 2>/dev/null)" != Z ]; then
      say "dbus-daemon $oldpid runs but does not answer on $socket"
      exit 1
    fi
    rm -f "$pidfile" "$socket"
  fi
  dbus-daemon --system --fork
  if ! wait_for 100 bus_answers; then
    say "the system bus does not answer on $socket"
    exit 1
  fi
  say "system bus started"
fi

# Our action, before polkitd starts so that it is known at once; a running
# polkitd notices the new file by itself.
install -d -m 0755 /usr/share/polkit-1/actions
install -m 0644 "$policy" /usr/share/polkit-1/actions/

# polkitd. Started as root, as its D-Bus service file does; it changes to
# the polkitd user by itself.
if ! polkit_on_bus; then
  if [ ! -x "$polkitd" ]; then
    say "$polkitd is missing (install polkitd)"
    exit 1
  fi
  setsid "$polkitd" --no-debug </dev/null >>"$polkitd_log" 2>&1 &
  if ! wait_for 150 polkit_on_bus; then
    say "polkitd did not take org.freedesktop.PolicyKit1; see $polkitd_log"
    exit 1
  fi
  say "polkitd started"
fi

# pkexec reads the set-user-ID bit from its file; a package unpacked without
# it cannot work, so say so here instead of in thirty failing tests.
if [ ! -u /usr/bin/pkexec ]; then
  say "/usr/bin/pkexec is not set-user-ID root"
  exit 1
fi
exit 0
