#!/bin/sh
# usr_uninstall.ss: removes the per-user part of the Quillon product. The
# uninstaller runs it as the user, after the root part is gone, by its path in
# the bundle's Resources folder, with the path of PruneMIDI as its only
# argument when the user chose to remove the MIDI set-up, and with no
# argument otherwise. Everything it prints follows the root log.
#
# It removes the login item (PruneLoginItem --user), the product's block in
# ~/.asoundrc ("$1" --user) and what the user receipts list (RemoveReceipted
# --user), in this order: the receipts go last, so that while anything of the
# product is left a receipt says so, and an uninstall cut off at any point
# is done again. The bundle is found from this script's own path;
# if that fails, from the folder of "$1". The login item goes in any case:
# it is listed in the receipts, and when PruneLoginItem cannot be found the
# same check (name quillon-*.desktop, line X-Quillon-LoginItem=true) is made
# here.
#
# Exit status: 0 when every step succeeded, 1 otherwise (the uninstaller
# does not look at it).

PATH=/usr/bin:/bin:/usr/sbin:/sbin
export PATH

me=usr_uninstall.ss
status=0
prune_midi=${1-}

bundle=
case $0 in
/dev/fd/* | /proc/*) ;;
*/Resources/*) bundle=${0%/*}; bundle=${bundle%/*} ;;
esac
if [ -z "$bundle" ] && [ -n "$prune_midi" ]; then
	bundle=${prune_midi%/*}
fi

# Is "$1" an executable we may run (a regular file, not a link)?
runnable() {
	case $1 in /*) ;; *) return 1 ;; esac
	[ ! -L "$1" ] && [ -f "$1" ] && [ -x "$1" ]
}

# The login item first, so that the log names it as such.
if [ -n "$bundle" ] && runnable "$bundle/PruneLoginItem"; then
	"$bundle/PruneLoginItem" --user || status=1
else
	for dir in "$HOME/.config/autostart" ${XDG_CONFIG_HOME:+"$XDG_CONFIG_HOME/autostart"}; do
		[ -d "$dir" ] && [ ! -L "$dir" ] || continue
		for item in "$dir"/quillon-*.desktop; do
			[ -f "$item" ] && [ ! -L "$item" ] || continue
			if grep -qx 'X-Quillon-LoginItem=true' "$item" 2>/dev/null ||
				grep -qx "$(printf 'X-Quillon-LoginItem=true\r')" "$item" 2>/dev/null; then
				if rm -f -- "$item"; then
					echo "$me: removed login item $item"
				else
					status=1
				fi
			fi
		done
	done
fi

if [ -n "$prune_midi" ]; then
	if runnable "$prune_midi"; then
		"$prune_midi" --user || status=1
	else
		echo "$me: cannot run $prune_midi; ~/.asoundrc was left alone"
		status=1
	fi
fi

if [ -n "$bundle" ] && runnable "$bundle/RemoveReceipted"; then
	"$bundle/RemoveReceipted" --user || status=1
else
	echo "$me: cannot find RemoveReceipted; the per-user files stay in place"
	status=1
fi

exit "$status"
