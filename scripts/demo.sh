#!/bin/bash
# Builds the uninstaller, installs it into /usr/local (its polkit action into
# /usr/share/polkit-1/actions), installs the Quillon demo product, and opens
# the uninstaller on it. `scripts/demo.sh --remove` takes the uninstaller
# away again, file by file from the list that the install wrote, and puts
# back any file the install had replaced.
#
# Run it from a terminal in your desktop session, as yourself: it asks for
# your password through sudo, or for root's password through su when sudo is
# not set up for you. Started with sudo, su or pkexec instead, it works the
# same way. Whichever way it starts, the build, the product's user part and
# the window run as you, with your session's display and bus; only the
# package install, the install into /usr/local and the product's system part
# run as root.
#
# Usage: scripts/demo.sh [--no-open] [build-dir]   (default: <source>/build)
#        scripts/demo.sh --remove
# --no-open stops after the installs, without opening the window.
# Environment: QUILLON_PREFIX (default /usr/local)
set -euo pipefail

say() { echo "demo: $*" >&2; }
die() {
  say "$*"
  exit 1
}
usage() { die "usage: scripts/demo.sh [--no-open] [build-dir] | scripts/demo.sh --remove"; }

mode=demo
open=yes
build=""
for arg in "$@"; do
  case "$arg" in
    --remove) mode=remove ;;
    --no-open) open=no ;;
    -h | --help) usage ;;
    -*) usage ;;
    *)
      [ -z "$build" ] || usage
      build=$arg
      ;;
  esac
done

# pkexec starts us in /root, so every path is made absolute first.
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
top=$(cd "$(dirname "$self")/.." && pwd)
case "$build" in
  "") build="$top/build" ;;
  /*) ;;
  *) build="$(pwd)/$build" ;;
esac
prefix=${QUILLON_PREFIX:-/usr/local}
case "$prefix" in
  /*) prefix=${prefix%/} ;;
  *) die "QUILLON_PREFIX must be an absolute path" ;;
esac
# What the install leaves to find its way back: CMake's list of the files it
# installed, the folders that did not exist before it, and copies of the
# files it replaced (replaced/, listed in replaced_files.txt).
state="$prefix/lib/quillon-uninstaller"
polkit_actions=/usr/share/polkit-1/actions

# --- As yourself: run this script once more as root ---------------------------------
# The root instance finds you again as its nearest ancestor that runs as a
# plain user (that is this process), and takes your session from there.
if [ "$(id -u)" -ne 0 ]; then
  status=0
  if command -v sudo >/dev/null && { id -nG | grep -qw sudo || sudo -n true 2>/dev/null; }; then
    say "the steps that need root run through sudo"
    sudo -- env QUILLON_PREFIX="$prefix" "$self" "$@" || status=$?
  elif command -v su >/dev/null; then
    say "sudo is not set up for you: the steps that need root run through su (root's password)"
    su root -c 'exec env QUILLON_PREFIX="$0" "$@"' -- "$prefix" "$self" "$@" || status=$?
  else
    die "needs sudo or su for the steps that run as root"
  fi
  exit "$status"
fi

# --- As root: who called, and their session -----------------------------------------
# su keeps the caller's PATH, which need not have the system's sbin folders.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
# sudo and pkexec say whose uid called them; su does not. The session is that
# of the nearest ancestor process that runs wholly as a user (real and
# effective uid the same, not 0): the calling shell, or this script before it
# asked for root. sudo and pkexec drop DISPLAY and the rest; its environment
# still has them. With no such ancestor and no caller named, root called
# this: everything runs as root then, but the window, which refuses root,
# does not open (--no-open and --remove work).
wanted_uid=${SUDO_UID:-${PKEXEC_UID:-}}
session_pid=""
uid=""
pid=$PPID
while [ "$pid" -gt 1 ] 2>/dev/null; do
  read -r real effective _ < <(awk '/^Uid:/ {print $2, $3}' "/proc/$pid/status" 2>/dev/null) || break
  if [ "$real" = "$effective" ] && [ "$real" != 0 ] && { [ -z "$wanted_uid" ] || [ "$real" = "$wanted_uid" ]; }; then
    session_pid=$pid
    uid=$real
    break
  fi
  pid=$(awk '/^PPid:/ {print $2}' "/proc/$pid/status" 2>/dev/null) || break
done

session=()
[ -n "$session_pid" ] || uid=$wanted_uid
if [ -n "$uid" ]; then
  user=$(getent passwd "$uid" | cut -d: -f1)
  home=$(getent passwd "$uid" | cut -d: -f6)
  [ -n "$user" ] && [ -n "$home" ] || die "uid $uid has no account entry"
  # Only what the window and the build need; nothing else of the caller's
  # environment reaches a program. (Without that process, no session: the
  # window then cannot open, and says so below.)
  [ -z "$session_pid" ] ||
    mapfile -d '' -t session < <(grep -zE '^(DISPLAY|WAYLAND_DISPLAY|XAUTHORITY|XDG_RUNTIME_DIR|DBUS_SESSION_BUS_ADDRESS|XDG_SESSION_TYPE|XDG_CURRENT_DESKTOP|XDG_SESSION_DESKTOP|LANG|LANGUAGE|LC_[A-Z]+)=' "/proc/$session_pid/environ" 2>/dev/null || true)
else
  user=root
  home=/root
fi

as_root() {
  env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    ${http_proxy:+http_proxy="$http_proxy"} ${https_proxy:+https_proxy="$https_proxy"} \
    ${no_proxy:+no_proxy="$no_proxy"} "$@"
}
as_user() {
  local run=()
  [ "$user" = root ] || run=(runuser -u "$user" --)
  "${run[@]}" env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/local/bin:/usr/bin:/bin \
    "${session[@]}" "$@"
}

# --- Removal -----------------------------------------------------------------------
remove_installed() {
  local manifest="$state/install_manifest.txt" path removed=0 dir
  if [ ! -f "$manifest" ]; then
    manifest="$build/install_manifest.txt"
    [ -f "$manifest" ] || die "nothing to remove: no install manifest in $state or $build"
    say "using $manifest (the install did not leave its own copy)"
  fi
  while IFS= read -r path; do
    [ -n "$path" ] || continue
    # Only what we install: below the prefix, and our polkit action.
    case "$path" in
      */../* | */.. | */./*) say "skipped (not a plain path): $path"; continue ;;
      "$prefix"/* | "$polkit_actions"/com.quillon.*) ;;
      *) say "skipped (not ours to remove): $path"; continue ;;
    esac
    if [ -L "$path" ] || [ -f "$path" ]; then
      rm -f -- "$path"
      removed=$((removed + 1))
    fi
  done <"$manifest"
  # The folders the install made, deepest first, where they are empty now.
  if [ -f "$state/installed_dirs.txt" ]; then
    while IFS= read -r dir; do
      case "$dir" in "$prefix"/* | "$polkit_actions") rmdir -- "$dir" 2>/dev/null || true ;; esac
    done < <(sort -r "$state/installed_dirs.txt")
  fi
  # What the install found in its way goes back where it was.
  local restored=0
  if [ -f "$state/replaced_files.txt" ]; then
    while IFS= read -r path; do
      case "$path" in
        */../* | */.. | */./* | "") continue ;;
        "$prefix"/* | "$polkit_actions"/*) ;;
        *) continue ;;
      esac
      if [ -e "$state/replaced$path" ] || [ -L "$state/replaced$path" ]; then
        mkdir -p -- "$(dirname -- "$path")"
        cp -a -- "$state/replaced$path" "$path"
        restored=$((restored + 1))
        say "put back $path as it was before the install"
      fi
    done <"$state/replaced_files.txt"
    rm -rf -- "$state/replaced"
  fi
  rm -f -- "$state/install_manifest.txt" "$state/installed_dirs.txt" "$state/replaced_files.txt"
  [ ! -d "$state" ] || find "$state" -depth -type d -empty -delete
  say "removed $removed installed files of the uninstaller from $prefix and $polkit_actions"
  [ "$restored" -eq 0 ] || say "put back $restored files that the install had replaced"
  if [ -d /var/lib/quillon ]; then
    say "the Quillon demo product is still installed: the uninstaller is what removes it"
  fi
}

if [ "$mode" = remove ]; then
  remove_installed
  exit 0
fi

if [ "$open" = yes ]; then
  [ "$user" != root ] ||
    die "the uninstaller's window does not run as root: start this from a terminal of your desktop, as yourself"
  printf '%s\n' "${session[@]}" | grep -qE '^(DISPLAY|WAYLAND_DISPLAY)=' ||
    die "no desktop session here (neither DISPLAY nor WAYLAND_DISPLAY is set); run this from a terminal of your desktop"
fi

# --- Build and install ---------------------------------------------------------------
say "installing the Debian packages that building and running need"
as_root sh "$top/scripts/install-deps.sh" app

say "building the application, its tools and the demo product in $build (as $user)"
as_user mkdir -p "$build"
as_user cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix"
as_user cmake --build "$build" -j "$(nproc)"

# As root: the helper tool runs as root only programs that root owns, in
# folders that only root can change, so the bundle must be installed this way.
# The install also writes the polkit action's exec.path annotation: pkexec
# then runs $prefix/lib/quillon-uninstaller/Uninstaller.bundle/UninstallerHelper
# under the uninstall right, and the desktop's agent shows the product's own
# message. The helper tool reads the same annotation to find its bundle.
say "installing the uninstaller into $prefix"
dirs_before=$(mktemp)
dirs_after=$(mktemp)
trap 'rm -f "$dirs_before" "$dirs_after"' EXIT
list_dirs() { find "$prefix" "$polkit_actions" -xdev -type d 2>/dev/null | sort; }
list_dirs >"$dirs_before"
# A file already where the install puts one (our polkit action left by a
# package, say) is not ours: a copy is kept, and --remove puts it back. A
# trial install into a scratch folder says which files the install writes.
trial=$(mktemp -d)
trap 'rm -f "$dirs_before" "$dirs_after"; rm -rf "$trial"' EXIT
as_root env DESTDIR="$trial" cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir -p "$state/replaced"
( cd "$trial" && find . \( -type f -o -type l \) -printf '/%P\n' ) | sort | while IFS= read -r path; do
  { [ -e "$path" ] || [ -L "$path" ]; } || continue
  # Ours from an earlier install, or already kept: nothing to keep.
  ! grep -qxF -- "$path" "$state/install_manifest.txt" 2>/dev/null || continue
  ! grep -qxF -- "$path" "$state/replaced_files.txt" 2>/dev/null || continue
  mkdir -p -- "$state/replaced$(dirname -- "$path")"
  cp -a -- "$path" "$state/replaced$path"
  echo "$path" >>"$state/replaced_files.txt"
  say "keeping a copy of $path, which the install replaces; --remove puts it back"
done
as_root cmake --install "$build" --prefix "$prefix"
helper="$prefix/lib/quillon-uninstaller/Uninstaller.bundle/UninstallerHelper"
grep -qF "policykit.exec.path\">$helper<" "$polkit_actions/com.quillon.uninstaller.policy" ||
  die "the polkit action does not name $helper; the password prompt would not be the product's"
list_dirs >"$dirs_after"
# Kept beside the bundle, owned by root, with what an earlier install left.
{
  cat "$build/install_manifest.txt"
  echo
  [ ! -f "$state/install_manifest.txt" ] || cat "$state/install_manifest.txt"
} | grep -v '^$' | sort -u >"$state/install_manifest.txt.new"
mv -f "$state/install_manifest.txt.new" "$state/install_manifest.txt"
{
  comm -13 "$dirs_before" "$dirs_after"
  [ ! -f "$state/installed_dirs.txt" ] || cat "$state/installed_dirs.txt"
} | sort -u >"$state/installed_dirs.txt.new"
mv -f "$state/installed_dirs.txt.new" "$state/installed_dirs.txt"
chmod 0644 "$state/install_manifest.txt" "$state/installed_dirs.txt"
# The build folder stays the user's.
[ "$user" = root ] || chown "$user" "$build/install_manifest.txt"

demo="$state/demo/quillon-demo-install"
say "installing the Quillon demo product (its system part as root, then its part for $user)"
as_root "$demo" --system
as_user "$demo" --user

summary() {
  say "installed $(grep -c . "$state/install_manifest.txt") files, listed in $state/install_manifest.txt:"
  printf 'demo:   %-58s %s\n' >&2 \
    "$state/" "the application bundle, the demo installer" \
    "$prefix/bin/quillon-uninstaller, quillon-uninstall" "the window's command, the terminal's" \
    "$prefix/share/man/man1/" "their manual pages" \
    "$prefix/share/applications/quillon-uninstaller.desktop" "the menu entry" \
    "$prefix/share/icons/hicolor/scalable/apps/" "its icon" \
    "$polkit_actions/com.quillon.uninstaller.policy" "the polkit action"
  say "and the Quillon demo product (in /opt/quillon, /etc, /var/lib/quillon and $home), which the uninstaller removes."
  say "To remove the uninstaller again: scripts/demo.sh --remove"
}
summary
[ "$open" = yes ] || exit 0

say "opening the uninstaller; the desktop's polkit agent asks for the password"
status=0
as_user "$prefix/bin/quillon-uninstaller" || status=$?
say "To remove the uninstaller again: scripts/demo.sh --remove"
exit "$status"
