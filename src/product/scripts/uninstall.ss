#!/bin/sh
# uninstall.ss: removes the root part of the Quillon product. The uninstaller's
# helper tool runs it as root, through the descriptor it opened, with a fresh
# environment that names the bundle in QUILLON_BUNDLE: /proc/self/fd/5, the
# bundle folder that the tool reached and checked on its way to this script,
# kept open for us. Everything it prints is the first part of the uninstall
# log.
#
# The removal itself is RemoveReceipted's: a shell cannot remove files without
# following symbolic links or racing whoever changes a folder meanwhile.
#
# "--root DIR" relocates the system paths below DIR; it exists for the tests
# and the helper tool never passes it.
#
# Exit status: RemoveReceipted's (0 done, 1 something refused or left, 2 no
# receipts reachable), or 2 when the tool cannot be found.

# The interpreter reads this script through /dev/fd/3; nothing started from
# here needs that descriptor.
exec 3<&-

PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
umask 022

me=uninstall.ss
root=/
if [ "$#" -eq 2 ] && [ "$1" = --root ]; then
	root=$2
elif [ "$#" -ne 0 ]; then
	echo "$me: usage: uninstall.ss [--root DIR]"
	exit 2
fi

bundle=${QUILLON_BUNDLE-}
tool=$bundle/RemoveReceipted
case $bundle in
/*) ;;
*)
	echo "$me: QUILLON_BUNDLE does not name the uninstaller's bundle; nothing was removed"
	exit 2
	;;
esac
if [ -L "$tool" ] || [ ! -f "$tool" ] || [ ! -x "$tool" ]; then
	echo "$me: cannot find RemoveReceipted in $bundle; nothing was removed"
	exit 2
fi
# Root runs only what root owns: the bundle folder is root's, but the file in
# it must be too, and nobody else may change it. (Run by another user, as the
# tests do, the file may be that user's own.)
if [ -n "$(find "$tool" -maxdepth 0 \( \( ! -user 0 ! -user "$(id -u)" \) -o -perm /022 \) -print 2>&1)" ]; then
	echo "$me: refused $tool: it is not root's alone; nothing was removed"
	exit 2
fi

# Stop the daemon before its files go. Only when systemd runs this system
# and knows the unit; a unit it never loaded is not ours to reload for.
unit=quillon-midi.service
reload=no
if [ "$root" = / ] && [ -d /run/systemd/system ] && command -v systemctl >/dev/null 2>&1; then
	if [ "$(systemctl show -p LoadState --value "$unit" 2>/dev/null)" = loaded ]; then
		echo "$me: stopping and disabling $unit"
		systemctl disable --now "$unit" 2>&1
		reload=yes
	fi
fi

if [ "$root" = / ]; then
	"$tool" --system
else
	"$tool" --system --root "$root"
fi
status=$?

if [ "$reload" = yes ]; then
	systemctl daemon-reload 2>&1
fi

exit "$status"
