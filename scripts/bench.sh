#!/bin/bash
# Builds and runs every benchmark: the portable core natively (Google
# Benchmark), then the real program under Wine next to a minimal Win32
# program, with the local settings service running. Prints one table and
# keeps it in build/bench/table.txt.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/deps.sh bench || exit 1
R="${MOJIAN_BUILD:-build}"
B="$R/bench"
W="$R/bench-win32"
mkdir -p "$B" "$W"

cmake -S . -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMOJIAN_BENCH=ON >"$B.configure.log" 2>&1 \
    || { cat "$B.configure.log"; exit 1; }
cmake --build "$B" -j2 --target core_bench || exit 1
cmake -S . -B "$W" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
      -DCMAKE_BUILD_TYPE=Release -DMOJIAN_BENCH=ON >"$W.configure.log" 2>&1 || { cat "$W.configure.log"; exit 1; }
cmake --build "$W" -j2 --target Mojian MinimalWindow app_bench picture_bench html_bench || exit 1

echo "== the portable core, natively"
"$B/bench/core_bench" --benchmark_out="$B/core.json" --benchmark_out_format=json --benchmark_min_time=0.2 \
    >"$B/core.log" 2>&1 || { cat "$B/core.log"; exit 1; }

echo "== the program under Wine"
. scripts/local-service.sh
. scripts/wine-env.sh
cleanup() {
    mojian_stop
    mojian_stop_service
}
trap cleanup EXIT
mojian_start_service "$R" || exit 1
mojian_start_display || exit 1
mojian_start_wine
# Both programs run from one folder, so neither is charged for a longer path.
cp "$W/app/Mojian.exe" "$W/bench/wine/MinimalWindow.exe" "$W/bench/wine/app_bench.exe" \
   "$W/bench/wine/picture_bench.exe" "$W/bench/wine/html_bench.exe" "$B/"
rm -f "$B/wine-rows.tsv" "$B/picture-rows.tsv" "$B/html-rows.tsv"
(cd "$B" && wine app_bench.exe --program Mojian.exe --minimal MinimalWindow.exe --out wine-rows.tsv --runs 7) \
    || { echo "the Wine harness failed"; exit 1; }
echo "== picture loading under Wine"
(cd "$B" && wine picture_bench.exe --out picture-rows.tsv) || { echo "the picture harness failed"; exit 1; }
cat "$B/picture-rows.tsv" >>"$B/wine-rows.tsv"
echo "== the HTML view under Wine"
(cd "$B" && wine html_bench.exe --out html-rows.tsv --pages "Z:$ROOT/tests/html/realpages") \
    || { echo "the HTML harness failed"; exit 1; }
cat "$B/html-rows.tsv" >>"$B/wine-rows.tsv"

python3 bench/table.py "$B/core.json" "$B/wine-rows.tsv" "$B/table.txt"
