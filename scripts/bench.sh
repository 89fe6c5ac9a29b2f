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
. scripts/wine-env.sh
B="$R/bench"
# The 32-bit program that ships, or the 64-bit build where 32-bit code cannot run.
W="$R/bench-$MOJIAN_WINDOWS"
toolchain=cmake/toolchain-i686-w64-mingw32.cmake
[ "$MOJIAN_WINDOWS" = win64 ] && toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake
mkdir -p "$B" "$W"

cmake -S . -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMOJIAN_BENCH=ON >"$B.configure.log" 2>&1 \
    || { cat "$B.configure.log"; exit 1; }
cmake --build "$B" -j2 --target core_bench || exit 1
cmake -S . -B "$W" -G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain \
      -DCMAKE_BUILD_TYPE=Release -DMOJIAN_BENCH=ON >"$W.configure.log" 2>&1 || { cat "$W.configure.log"; exit 1; }
cmake --build "$W" -j2 --target Mojian MinimalWindow app_bench picture_bench html_bench || exit 1

echo "== the portable core, natively"
timeout --kill-after=10 20m "$B/bench/core_bench" --benchmark_out="$B/core.json" --benchmark_out_format=json --benchmark_min_time=0.2 \
    >"$B/core.log" 2>&1 || { cat "$B/core.log"; exit 1; }

echo "== the program under Wine"
. scripts/local-service.sh
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
rm -f "$B/wine-rows.tsv" "$B/app-rows.tsv" "$B/picture-rows.tsv" "$B/html-rows.tsv"
# Each harness has a deadline: one that hangs is killed and fails make bench,
# and so does one that ends without writing its rows.
harness() {  # name, minutes, rows file, then the command
    local name=$1 minutes=$2 rows=$3; shift 3
    echo "== $name (at most $minutes min)"
    (cd "$B" && timeout --kill-after=10 "${minutes}m" "$@")
    local rc=$?
    if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
        echo "the $name harness did not finish within $minutes minutes"
        wineserver -k >/dev/null 2>&1 || true
        exit 1
    fi
    [ $rc -eq 0 ] || { echo "the $name harness failed ($rc)"; exit 1; }
    [ -s "$B/$rows" ] || { echo "the $name harness wrote no rows"; exit 1; }
    cat "$B/$rows" >>"$B/wine-rows.tsv"
}
harness "program under Wine" 15 app-rows.tsv \
    "$MOJIAN_WINE" app_bench.exe --program Mojian.exe --minimal MinimalWindow.exe --out app-rows.tsv --runs 7
harness "picture loading" 10 picture-rows.tsv "$MOJIAN_WINE" picture_bench.exe --out picture-rows.tsv
harness "HTML view" 10 html-rows.tsv \
    "$MOJIAN_WINE" html_bench.exe --out html-rows.tsv --pages "Z:$ROOT/tests/html/realpages"

python3 bench/table.py "$B/core.json" "$B/wine-rows.tsv" "$B/table.txt"
