#!/bin/bash
# make dist [SERVICE_URL=http://host/asp/kwel/index.asp] [PROBE_URL=...]:
# builds the release program and the mojian command for 32-bit Windows in a
# folder of their own and writes build/dist/墨笺-VERSION-win32.zip. Without
# SERVICE_URL the download asks the settings service on this machine, as
# `make run` does.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/deps.sh dist || exit 1

B="${MOJIAN_BUILD:-build}"
D="$B/dist/win32"
mkdir -p "$D"
settings=()
[ -n "${SERVICE_URL:-}" ] && settings+=("-DMOJIAN_DIST_SERVICE_URL=$SERVICE_URL")
[ -z "${SERVICE_URL:-}" ] && settings+=("-UMOJIAN_DIST_SERVICE_URL")
settings+=("-DMOJIAN_DIST_PROBE_URL=${PROBE_URL:-}")
cmake -S . -B "$D" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
      -DCMAKE_BUILD_TYPE=Release "${settings[@]}" >"$D.configure.log" 2>&1 \
    || { cat "$D.configure.log"; exit 1; }
cmake --build "$D" -j2 --target dist_archive || exit 1

for archive in "$D"/dist/*.zip; do
    cp "$archive" "$B/dist/"
    name="$B/dist/$(basename "$archive")"
    echo "$name: $(stat -c %s "$name") bytes, sha256 $(sha256sum "$name" | cut -d' ' -f1)"
    grep -E '^MOJIAN_DIST_SERVICE_URL' "$D/CMakeCache.txt" | sed 's/^[^=]*=/  asks the service at /'
done
