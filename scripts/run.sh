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
if [ ! -f "$EXE" ]; then
    echo "built the core and its tests; the main window is not part of the program yet, so there is nothing to start."
    exit 0
fi

# The maker's settings service, on this machine at the port the program is
# built to ask (18936): built natively, its record kept in build/service.
# Change the record with: build/service/service/server/mojian-service
#   --db build/service/settings.db --set-record VERSION DOWNLOAD-URL CONTACT-URL
cmake -S . -B build/service -G Ninja -DCMAKE_BUILD_TYPE=Release >build/service.configure.log 2>&1 \
    || { cat build/service.configure.log; exit 1; }
cmake --build build/service -j2 --target mojian-service || exit 1
SERVICE_LOG=build/service/service.log
build/service/service/server/mojian-service --db build/service/settings.db --port 18936 >"$SERVICE_LOG" 2>&1 &
SERVICE_PID=$!
stop_service() {
    kill "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null
    return 0
}
trap stop_service EXIT
for _ in $(seq 50); do
    grep -q '^listening' "$SERVICE_LOG" 2>/dev/null && break
    kill -0 "$SERVICE_PID" 2>/dev/null || { cat "$SERVICE_LOG"; echo "the settings service did not start"; exit 1; }
    sleep 0.1
done

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
