#!/bin/bash
# Builds the Windows program and starts it under Wine: on the current display,
# or under Xvfb with a screenshot in build/screenshot.png when there is none.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/deps.sh run || exit 1

. scripts/wine-env.sh
mkdir -p build
# The 32-bit program, or the 64-bit one where this machine cannot run 32-bit code.
toolchain=cmake/toolchain-i686-w64-mingw32.cmake
if [ "$MOJIAN_WINDOWS" = win64 ]; then
    echo "32-bit programs cannot run on this machine: running the 64-bit build of the same sources"
    toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake
fi
W="build/$MOJIAN_WINDOWS"
cmake -S . -B "$W" -G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain \
      -DCMAKE_BUILD_TYPE=Release >"$W.configure.log" 2>&1 || { cat "$W.configure.log"; exit 1; }
cmake --build "$W" -j2 --target Mojian || exit 1

EXE="$W/app/Mojian.exe"

. scripts/local-service.sh
mojian_start_service build || exit 1
trap mojian_stop_service EXIT

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then headless=1; fi
mojian_start_display || exit 1
mojian_start_wine

if [ "$headless" -eq 0 ]; then
    wine "$EXE"
    mojian_stop
else
    wine "$EXE" &
    pid=$!
    sleep "${MOJIAN_SCREENSHOT_DELAY:-6}"
    import -window root build/screenshot.png && echo "no display: the program ran under Xvfb; screenshot in build/screenshot.png"
    kill "$pid" 2>/dev/null
    mojian_stop
fi
