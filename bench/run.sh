#!/bin/bash
# Builds the benchmark program in release mode and runs it; prints every
# comparison and then the ratios (ours / reference: below 1 means faster).
# Usage: bench/run.sh [build-dir] [extra benchmark arguments...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$top/build-bench"}
shift || true
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON -DQUILLON_BUILD_APP=OFF >/dev/null
cmake --build "$build" --target quillon_bench -j 2
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$build/bench/quillon_bench" --benchmark_counters_tabular=true --benchmark_out="$out" --benchmark_out_format=json "$@"
echo
echo "Ratios (ours / reference, medians; the goals are <= 1 for XML, <= 1.5 for the copy):"
python3 - "$out" <<'PY'
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    for key, value in b.items():
        if key.startswith("ratio_vs_"):
            print(f"  {b['name'].split('/')[0]:<45} {key[len('ratio_vs_'):]:<10} {value:6.3f}")
PY
