#!/bin/sh
# Installs what the build and the tests need, only what is missing.
# Usage: scripts/deps.sh [build|test|run|bench|dist]
set -e
what="${1:-test}"

need=""
have() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed'; }
want() { for p in "$@"; do have "$p" || need="$need $p"; done; }

want cmake ninja-build make g++ googletest pkg-config nlohmann-json3-dev python3
# The maker's settings service (built natively): HTTP and its record's store.
want libcpp-httplib-dev libsqlite3-dev sqlite3
want g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
want wine wine64 wine32:i386 xvfb xauth fonts-wqy-microhei fonts-dejavu-core imagemagick x11-utils
case "$what" in
  test|bench) want chromium ;;
esac
case "$what" in
  bench) want libbenchmark-dev ;;
esac

if [ -n "$need" ]; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO="sudo"
  echo "installing:$need"
  if ! dpkg --print-foreign-architectures | grep -q i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends $need >/dev/null
fi
