#!/bin/bash
# Builds the Windows program and starts it under Wine: on the current display,
# or under Xvfb with a screenshot in build/screenshot.png when there is none.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/deps.sh run || exit 1

mkdir -p build
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
      -DCMAKE_BUILD_TYPE=Release >build/win32.configure.log 2>&1 || { cat build/win32.configure.log; exit 1; }
cmake --build build/win32 -j2 || exit 1

EXE="build/win32/app/Mojian.exe"

. scripts/local-service.sh
mojian_start_service build || exit 1
trap mojian_stop_service EXIT

. scripts/wine-env.sh
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
