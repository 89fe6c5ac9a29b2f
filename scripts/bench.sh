#!/bin/bash
# Builds and runs the benchmarks; prints one table and keeps it in
# build/bench/table.txt.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/deps.sh bench
B="${MOJIAN_BUILD:-build}/bench"
mkdir -p "$B"
cmake -S . -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMOJIAN_BENCH=ON >"$B.configure.log" 2>&1 || { cat "$B.configure.log"; exit 1; }
cmake --build "$B" -j2 --target core_bench
"$B/bench/core_bench" --benchmark_out="$B/core.json" --benchmark_out_format=json --benchmark_min_time=0.2 >/dev/null
python3 bench/table.py "$B/core.json" "$B/table.txt"
