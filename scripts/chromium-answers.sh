#!/bin/bash
# Asks headless Chromium again for every answer kept in tests/chromium and
# writes them there: the tests that compare with Chromium, run with
# MOJIAN_CHROMIUM=refresh. Needs the builds of make test (made if missing).
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/deps.sh test || exit 1
B="${MOJIAN_BUILD:-build}"
mkdir -p "$B"
cmake -S . -B "$B/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMOJIAN_SANITIZE=ON >"$B/native.configure.log" 2>&1 \
    || { cat "$B/native.configure.log"; exit 1; }
cmake --build "$B/native" -j2 --target check_driver || exit 1
. scripts/wine-env.sh
W="$B/$MOJIAN_WINDOWS"
toolchain=cmake/toolchain-i686-w64-mingw32.cmake
[ "$MOJIAN_WINDOWS" = win64 ] && toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake
cmake -S . -B "$W" -G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain -DCMAKE_BUILD_TYPE=Release >"$W.configure.log" 2>&1 \
    || { cat "$W.configure.log"; exit 1; }
cmake --build "$W" -j2 --target html_dump || exit 1
trap mojian_stop EXIT
mojian_start_display || exit 1
mojian_start_wine
export MOJIAN_CHROMIUM=refresh
status=0
(cd "$B/native" && ctest --output-on-failure -R 'chromium') || status=1
(cd "$W" && ctest --output-on-failure -R 'chromium') || status=1
git status --short tests/chromium
[ $status -eq 0 ] || echo "some comparisons fail against Chromium's new answers (above); the answers are written all the same"
exit $status
