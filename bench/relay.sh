#!/bin/bash
# The cost of the relay: one uninstall's way to root through the product's
# own polkit action (the user's copy of the helper tool reads the action,
# starts pkexec on the installed tool, which answers a request whose script
# exits at once) against the floor, `pkexec /bin/true`, for the same
# throwaway user under the same rule (yes to both actions, so no prompt).
# Runs alternate, so that a busy machine slows both alike; it prints the
# medians and their ratio. The installed bundle sits at the default prefix in
# a private mount namespace; polkitd must know the action's exec.path
# annotation for it (scripts/ci/start-services.sh installs it).
# Given a second helper tool (an older build, say), it runs that one too, in
# the same turns, as the user's copy and as the installed tool both, so that
# a change is measured against what it replaces under the same load.
# Usage (as root): bench/relay.sh [build-dir] [runs] [other-UninstallerHelper]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build"}
runs=${2:-20}
other=${3:-}
helper="$build/Uninstaller.bundle/UninstallerHelper"
installed=/usr/local/lib/quillon-uninstaller/Uninstaller.bundle
policy=/usr/share/polkit-1/actions/com.quillon.uninstaller.policy
[ "$(id -u)" -eq 0 ] || { echo "relay.sh: run as root" >&2; exit 1; }
[ -x "$helper" ] || { echo "relay.sh: build UninstallerHelper in $build first" >&2; exit 1; }
[ -z "$other" ] || [ -x "$other" ] || { echo "relay.sh: $other is not a program" >&2; exit 1; }
sh "$top/scripts/ci/start-services.sh" >/dev/null
grep -qF "exec.path\">$installed/UninstallerHelper<" "$policy" ||
  install -m 0644 "$top/src/platform/authorization/com.quillon.uninstaller.policy" "$policy"

user="qlbench-relay-$$"
rules="/etc/polkit-1/rules.d/04-quillon-bench-$user.rules"
work=$(mktemp -d)
cleanup() { rm -f "$rules"; userdel -r "$user" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
useradd -m "$user"
cat >"$rules" <<RULES
polkit.addRule(function(action, subject) {
  if (subject.user == "$user" && (action.id == "com.quillon.uninstaller.uninstall" ||
                                   action.id == "org.freedesktop.policykit.exec")) return polkit.Result.YES;
  return null;
});
RULES
for _ in $(seq 50); do
  pkcheck --action-id com.quillon.uninstaller.uninstall --process $$ >/dev/null 2>&1 || true
  runuser -u "$user" -- pkexec --disable-internal-agent /bin/true 2>/dev/null && break
  sleep 0.1
done

# The user's copy of the tool, and one request: 32 bytes of authorization,
# then a frame (4-byte length, XML property list).
install -d -m 0755 -o "$user" "$work/copy"
install -m 0755 -o "$user" "$helper" "$work/copy/UninstallerHelper"
if [ -n "$other" ]; then
  install -d -m 0755 -o "$user" "$work/other"
  install -m 0755 -o "$user" "$other" "$work/other/UninstallerHelper"
fi
python3 - "$installed/Resources/uninstall.ss" >"$work/input" <<'PY'
import os, plistlib, struct, sys
body = plistlib.dumps({"CommandPath": sys.argv[1]})
sys.stdout.buffer.write(os.urandom(32) + struct.pack("=i", len(body)) + body)
PY
chmod 0644 "$work/input"
chmod 0755 "$work"

unshare -m --propagation private bash -s -- "$user" "$helper" "$installed" "$work" "$runs" "$other" <<'INSIDE'
set -euo pipefail
user=$1 helper=$2 installed=$3 work=$4 runs=$5 other=$6
mount -t tmpfs -o mode=0755 tmpfs /usr/local/lib
install -d -m 0755 "$installed/Resources"
install -m 0755 "$helper" "$installed/UninstallerHelper"
printf '#!/bin/sh\nexec 3<&-\nexit 0\n' >"$installed/Resources/uninstall.ss"
chmod 0755 "$installed/Resources/uninstall.ss"
now() { date +%s%N; }
# One relay through the copy in folder $1, with the installed tool $2.
relay_once() {
  install -m 0755 "$2" "$installed/UninstallerHelper"
  local t0 t1
  t0=$(now)
  runuser -u "$user" -- "$work/$1/UninstallerHelper" <"$work/input" >"$work/out" 2>"$work/err" ||
    { echo "relay run failed:" >&2; cat "$work/err" >&2; exit 1; }
  t1=$(now)
  echo $(( (t1 - t0) / 1000 ))
}
relay=() floor=() older=()
for i in $(seq "$runs"); do
  v=$(relay_once copy "$helper")
  relay+=("$v")
  t1=$(now)
  runuser -u "$user" -- pkexec --disable-internal-agent /bin/true
  t2=$(now)
  floor+=($(( (t2 - t1) / 1000 )))
  if [ -n "$other" ]; then
    v=$(relay_once other "$other")
    older+=("$v")
  fi
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {printf "%d", (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
r=$(median "${relay[@]}") f=$(median "${floor[@]}")
printf 'relay through the product action: median %d us over %d runs, ratio %.2f\n' "$r" "$runs" "$(awk -v r="$r" -v f="$f" 'BEGIN {print r / f}')"
if [ -n "$other" ]; then
  o=$(median "${older[@]}")
  printf 'same with %s: median %d us, ratio %.2f\n' "$other" "$o" "$(awk -v r="$o" -v f="$f" 'BEGIN {print r / f}')"
fi
printf 'pkexec /bin/true:                  median %d us over %d runs\n' "$f" "$runs"
INSIDE
