#!/bin/bash
# Builds everything and runs every test: natively (with AddressSanitizer and
# UBSan), then the 32-bit Windows build under Wine. Ends with the time of each
# phase and one line "N passed, N failed".
#
#   scripts/test.sh           the suite (make test)
#   scripts/test.sh --win64   the 64-bit build and the tests below the main window there (make test-win64)
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/deps.sh test || exit 1

# MOJIAN_BUILD lets several work trees' builds sit side by side.
B="${MOJIAN_BUILD:-build}"
mkdir -p "$B"

phases=""
phase_start=0
begin() { phase_start=$(date +%s); }
end() {  # name of the phase just done
    local s=$(( $(date +%s) - phase_start ))
    phases="$phases${phases:+, }$1 $((s / 60))m$(printf '%02d' $((s % 60)))s"
}

build() {  # folder, then cmake options
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
    cmake --build "$dir" -j2
}

passed=0; failed=0; status=0
# Adds a ctest log's figures to the totals; `rc` is ctest's exit status.
count_ctest() {  # log, rc
    local log=$1 rc=$2
    [ "$rc" -eq 0 ] || status=1
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [ -n "$line" ]; then
        local f t
        f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
        t=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
        passed=$((passed + t - f)); failed=$((failed + f))
    else
        status=1
    fi
}
run_ctest() {  # folder, then ctest options
    local dir=$1; shift
    echo "== tests in $dir"
    local log="$dir/ctest.log"
    (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
    count_ctest "$log" "${PIPESTATUS[0]}"
}

. scripts/wine-env.sh
start_wine() {
    trap mojian_stop EXIT
    mojian_start_display || exit 1
    mojian_start_wine
}

finish() {
    echo "phases: $phases"
    echo "$passed passed, $failed failed"
    exit $status
}

if [ "${1:-}" = "--win64" ]; then
    [ "$MOJIAN_WINDOWS" = win64 ] && { echo "make test already runs the 64-bit build on this machine"; exit 0; }
    # The program and the mojian command build for x86-64, and everything
    # below the main window passes its tests there; the main window's and the
    # download's tests drive the same code in the 32-bit program that ships.
    WIN64_TESTS="core_tests html_tests html_view_tests picture_tests picture_win_tests compose_tests fill_tests
     project_tests import_tests check_tests cli_tests service_exchange_tests service_postform_tests skin_core_tests
     skin_win_tests gates_tests"
    begin
    cmake -S . -B "$B/win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DMOJIAN_PORTABLE_TESTS_ON_WINDOWS=ON \
          -DCMAKE_BUILD_TYPE=Release >"$B/win64.configure.log" 2>&1 || { cat "$B/win64.configure.log"; exit 1; }
    # shellcheck disable=SC2086
    cmake --build "$B/win64" -j2 --target Mojian mojian_cli $WIN64_TESTS || exit 1
    end "64-bit build"
    start_wine
    begin
    run_ctest "$B/win64" -j1 -R "^($(echo $WIN64_TESTS | tr ' ' '|'))\$"
    end "64-bit tests"
    finish
fi

begin
# The test builds compile each folder's files in batches (unity builds):
# the headers are read once per batch, which halves the compile time on two
# cores. Developers' own builds (make run) compile file by file and find a
# file that does not include what it uses.
UNITY=(-DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16)
build "$B/native" -DCMAKE_BUILD_TYPE=Debug -DMOJIAN_SANITIZE=ON "${UNITY[@]}" || exit 1
end "native build"
# The download is packed too, built to ask a service on a port of its own
# here, so that its test sees the address setting reach the program.
WIN32_OPTIONS=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
               -DMOJIAN_DIST_SERVICE_URL=http://127.0.0.1:18937/asp/kwel/index.asp -DMOJIAN_DIST_PROBE_URL=)
program32=""
if [ "$MOJIAN_WINDOWS" = win32 ]; then
    begin
    build "$B/win32" "${WIN32_OPTIONS[@]}" || exit 1
    cmake --build "$B/win32" -j2 --target dist_archive || exit 1
    end "32-bit build"
    W="$B/win32"
else
    # This machine cannot run 32-bit code: the Windows tests run on a 64-bit
    # build of their own, optimised only as far as the compiler still warns
    # alike (-Og: half the compile time of -O3; nobody ships this build).
    echo "32-bit programs cannot run on this machine: the Windows tests run on the 64-bit build"
    begin
    W="$B/win64-test"
    build "$W" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
          "-DCMAKE_CXX_FLAGS_RELEASE=-Og -DNDEBUG" "-DCMAKE_C_FLAGS_RELEASE=-Og -DNDEBUG" "${UNITY[@]}" || exit 1
    end "64-bit build"
    # The 32-bit program and its download are built at the lowest priority
    # beside the tests (which mostly wait on windows and processes), and
    # checked as files afterwards.
    mkdir -p "$B/win32"
    ( cmake -S . -B "$B/win32" -G Ninja "${WIN32_OPTIONS[@]}" "${UNITY[@]}" >"$B/win32.configure.log" 2>&1 \
          && nice -n 19 cmake --build "$B/win32" -j2 --target Mojian mojian_cli dist_archive ) >"$B/win32.build.log" 2>&1 &
    program32=$!
fi

start_wine
# The native tests need no display and no fixed port: they run beside the
# Windows tests, whose windows spend most of their time waiting on Wine.
begin
tests_start=$phase_start
rm -f "$B/native/ctest.rc" "$B/native/ctest.end"
(cd "$B/native" && ctest --output-on-failure -j2 >ctest.log 2>&1; echo $? >ctest.rc; date +%s >ctest.end) &
native_tests=$!
# Tests that share windows, the display or fixed ports are marked to run alone.
run_ctest "$W" -j2
end "Windows tests"
wait "$native_tests"
echo "== tests in $B/native"
cat "$B/native/ctest.log"
count_ctest "$B/native/ctest.log" "$(cat "$B/native/ctest.rc" 2>/dev/null || echo 1)"
phase_start=$tests_start
native_end=$(cat "$B/native/ctest.end" 2>/dev/null || date +%s)
s=$((native_end - tests_start))
phases="$phases, native tests beside them $((s / 60))m$(printf '%02d' $((s % 60)))s"
end "tests in all"
# The parser's conformance: the share of html5lib-tests' cases that pass.
grep -hE '^html5lib overall' "$B/native/Testing/Temporary/LastTest.log" 2>/dev/null
if [ -n "$program32" ]; then
    begin
    if wait "$program32"; then
        echo "the download's start test drives the 32-bit program: not run on this machine"
        run_ctest "$B/win32" -R '^dist_archive_form$'
    else
        cat "$B/win32.configure.log" "$B/win32.build.log"; status=1; failed=$((failed + 1))
        echo "the 32-bit program did not build"
    fi
    end "32-bit program (built beside the tests)"
fi
finish
