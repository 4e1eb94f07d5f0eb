#!/bin/bash
# Removal of N receipted files (100 per folder) by RemoveReceipted --system,
# beside dpkg -r of a package holding the same files and rm -rf of the same
# tree as the floor, on the same file system, in one run. Every step starts
# after a sync, so none of them pays for writing out what the set-up made.
# Needs root (dpkg, and the tool's system mode); skips otherwise.
#
# RemoveReceipted works below a scratch root (--root), never on /opt/quillon;
# the package is "quillon-removal-bench" in /opt/quillon-removal-bench, a
# name no product uses, and is purged again on the way out.
#
# Usage: bench/removal.sh [build-dir] [N...]     (default N: 2000 20000 64800)
# A run reads at most 65,536 receipt entries: 64,800 files and their 650
# folders are the most that fit, 100 per folder; they are spread over as
# many receipts as their 1 MiB limit asks for.
# RUNS=k in the environment repeats each size k times, the three in turn,
# and prints the medians.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build-bench"}
shift || true
sizes=("$@")
runs=${RUNS:-1}
[ ${#sizes[@]} -gt 0 ] || sizes=(2000 20000 64800)

if [ "$(id -u)" -ne 0 ]; then
  echo "removal.sh: skipped: needs root (dpkg -i/-r, RemoveReceipted --system)"
  exit 0
fi
for tool in dpkg dpkg-deb python3; do
  command -v "$tool" >/dev/null || { echo "removal.sh: skipped: needs $tool"; exit 0; }
done

if [ ! -x "$build/Uninstaller.bundle/RemoveReceipted" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_APP=OFF >/dev/null
  cmake --build "$build" --target RemoveReceipted -j 2 >/dev/null
fi
tool="$build/Uninstaller.bundle/RemoveReceipted"

package=quillon-removal-bench
prefix=/opt/$package
scratch=$(mktemp -d /var/tmp/quillon-removal-bench.XXXXXX)
cleanup() {
  dpkg -s "$package" >/dev/null 2>&1 && dpkg --purge "$package" >/dev/null 2>&1 || true
  rm -rf "$scratch" "$prefix"
}
trap cleanup EXIT
if [ -e "$prefix" ] || dpkg -s "$package" >/dev/null 2>&1; then
  echo "removal.sh: $prefix or the package $package is already there; remove it first" >&2
  exit 1
fi

# make-tree ROOT TOP N [RECEIPT]: ROOT/TOP/lib/dNNNN/fileNNN, 100 per folder,
# with a receipt listing TOP, its folders and files when RECEIPT is given.
make_tree() {
  python3 - "$@" <<'PY'
import os, sys
root, top, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
receipt = sys.argv[4] if len(sys.argv) > 4 else None
entries = [top, top + "/lib"]
payload = b"quillon removal benchmark\n"
os.makedirs(root + top + "/lib", mode=0o755, exist_ok=True)
for i in range(n):
    folder = f"{top}/lib/d{i // 100:04d}"
    if i % 100 == 0:
        os.mkdir(root + folder, 0o755)
        entries.append(folder)
    path = f"{folder}/file{i % 100:03d}"
    with open(root + path, "wb") as f:
        f.write(payload)
    entries.append(path)
if receipt:
    if len(entries) > 65536:
        sys.exit(f"removal.sh: {n} files need {len(entries)} receipt entries, more than the 65,536 a run may read")
    # A receipt holds at most 1 MiB: the entries go into as many as they need.
    os.makedirs(os.path.dirname(receipt), mode=0o755, exist_ok=True)
    chunks, size = [[]], 0
    for e in entries:
        if size + len(e) + 1 > 1000000:
            chunks.append([])
            size = 0
        chunks[-1].append(e)
        size += len(e) + 1
    for i, chunk in enumerate(chunks):
        name = receipt if i == 0 else receipt.replace(".list", f"-{i + 1}.list")
        with open(name, "w") as f:
            f.write("".join(e + "\n" for e in chunk))
        os.chmod(name, 0o644)
PY
}

# Seconds taken by the command, after a sync.
timed() {
  sync
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  local end=$EPOCHREALTIME
  python3 -c "print(f'{$end - $start:.3f}')"
}

# dpkg refuses to start while another dpkg or apt holds its lock.
dpkg_retry() {
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    if dpkg "$@" >/dev/null 2>"$scratch/dpkg.err"; then return 0; fi
    grep -q 'lock' "$scratch/dpkg.err" || { cat "$scratch/dpkg.err" >&2; return 1; }
    sleep 3
  done
  cat "$scratch/dpkg.err" >&2
  return 1
}

echo "Removal of N files, 100 per folder, on $(df -T "$scratch" | awk 'NR==2 {print $2" ("$1")"}'), $(nproc) cores"
printf '%7s  %12s  %12s  %12s  %10s  %10s\n' N RemoveReceipted "dpkg -r" "rm -rf" "vs dpkg" "vs rm -rf"
for n in "${sizes[@]}"; do
  ours=() dpkg_s=() rm_s=()
  for _ in $(seq "$runs"); do
    # Ours: the receipt in the scratch root's /var/lib/quillon/receipts.
    root="$scratch/root"
    mkdir -m 0755 -p "$root/opt"
    make_tree "$root" /opt/quillon "$n" "$root/var/lib/quillon/receipts/quillon-root.list"
    ours+=("$(timed "$tool" --system --root "$root")")
    if [ -e "$root/opt/quillon" ] || [ -e "$root/var/lib/quillon" ]; then
      echo "removal.sh: RemoveReceipted left files behind in $root" >&2
      exit 1
    fi

    # dpkg: a package holding the same tree.
    staging="$scratch/deb"
    mkdir -p "$staging/DEBIAN"
    make_tree "$staging" "$prefix" "$n"
    printf 'Package: %s\nVersion: 1.0\nArchitecture: all\nMaintainer: Quillon benchmark <bench@invalid>\nDescription: removal benchmark payload\n' \
      "$package" >"$staging/DEBIAN/control"
    dpkg-deb -Znone --root-owner-group --build "$staging" "$scratch/$package.deb" >/dev/null
    rm -rf "$staging"
    dpkg_retry -i "$scratch/$package.deb"
    dpkg_s+=("$(timed dpkg_retry -r "$package")")
    dpkg_retry --purge "$package"
    rm -f "$scratch/$package.deb"

    # The floor: the same tree, unlinked with no record to keep.
    make_tree "$scratch/rm" /opt/quillon "$n"
    rm_s+=("$(timed rm -rf "$scratch/rm")")
  done

  python3 - "$n" "${ours[*]}" "${dpkg_s[*]}" "${rm_s[*]}" <<'PY'
import statistics, sys
n = int(sys.argv[1])
ours, dpkg, rm = (statistics.median(float(t) for t in arg.split()) for arg in sys.argv[2:5])
print(f"{n:7d}  {ours:11.3f}s  {dpkg:11.3f}s  {rm:11.3f}s  {ours / dpkg:9.2f}x  {ours / rm:9.2f}x")
PY
done
echo "Goal: RemoveReceipted <= 1.2x dpkg -r, and linear in N."
