#!/bin/sh
# Installs what the build and the tests need, only what is missing.
# Usage: scripts/deps.sh [build|test|run|bench|dist]
set -e
what="${1:-test}"

need=""
have() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed'; }
want() { for p in "$@"; do have "$p" || need="$need $p"; done; }

want cmake ninja-build make g++ googletest pkg-config nlohmann-json3-dev python3
# zlib for both builds: long PNGs are inflated as they are drawn.
want zlib1g-dev libz-mingw-w64-dev
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
[ -n "$need" ] || exit 0

SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "installing:$need"
if ! dpkg --print-foreign-architectures | grep -q i386; then
  $SUDO dpkg --add-architecture i386
fi

# A mirror in the middle of a sync serves one index that does not match its
# Release file. apt keeps the indexes it did fetch, and what we need may
# still be there: try once more, then go on with what we have.
if ! $SUDO apt-get update -qq; then
  sleep 5
  $SUDO apt-get update -qq || echo "deps: some package indexes could not be fetched (above); going on with the others"
fi

install() { $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
install $need && exit 0

# wine32 brings i386 twins of amd64 libraries, and a twin must have the very
# version of its amd64 library. When the amd64 one is newer than any i386
# index offers (an index missing, or security updates installed before i386
# was added), apt gives up. Put each library apt names in its complaint, for
# both architectures, at the newest version both offer, and ask again until
# apt is satisfied.
one_version() {  # names -> "name:amd64=V", V the newest version i386 offers too
  for p in "$@"; do echo "$p:i386"; echo "$p:amd64"; done | xargs apt-cache policy 2>/dev/null |
  awk -v asked="$*" '
    BEGIN { split(asked, a, " "); for (i in a) wanted[a[i]] = 1 }
    /^[^ ]/ { name = $1; sub(/:$/, "", name); arch = "amd64"
              if (name ~ /:i386$/) { arch = "i386"; sub(/:i386$/, "", name) } else sub(/:amd64$/, "", name)
              # apt-cache takes a name it does not know as a pattern: keep only what was asked
              if (!(name in wanted)) name = ""
              if (name != "" && !(name in seen)) { seen[name] = 1; names[++n] = name } next }
    name == "" { next }
    /^  Installed:/ { if (arch == "amd64" && $2 != "(none)") now[name] = $2; next }
    /^  Candidate:/ { if (arch == "amd64" && !(name in now)) now[name] = $2; next }
    /^ \*\*\* [^ ]+ [0-9]+$/ || /^     [^ ]+ [0-9]+$/ { v = ($1 == "***") ? $2 : $1
              if (arch == "i386") list[name] = list[name] " " v; else offered[name, v] = 1 }
    END {
      for (i = 1; i <= n; i++) {
        p = names[i]; if (!(p in list)) continue
        split(list[p], vs, " ")
        for (j = 1; j in vs; j++) if ((p, vs[j]) in offered) {
          print p ":amd64=" vs[j]
          break
        }
      }
    }'
}
pins=""
round=0
while :; do
  round=$((round + 1))
  # shellcheck disable=SC2086
  complaint=$(apt-get install -s --no-install-recommends --allow-downgrades $need $pins 2>&1) && break
  # shellcheck disable=SC2046
  added=$(one_version $(echo "$complaint" | sed -n '/unmet dependencies/,$p' |
    grep -oE '(^ |Depends: |Conflicts: |Breaks: )[a-z0-9][a-z0-9.+-]+' | sed -E 's/^.* //' | sort -u) |
    while read -r pin; do case " $pins " in *" $pin "*) ;; *) echo "$pin" ;; esac; done)
  if [ -z "$added" ] || [ $round -gt 20 ]; then
    echo "$complaint" | tail -20 >&2
    echo "deps: apt could not install:$need" >&2
    exit 1
  fi
  pins="$pins $(echo $added)"
done
echo "deps: amd64 libraries newer than their i386 twins; putting both at the version both offer:"
for p in $pins; do echo "  $p"; done
# shellcheck disable=SC2086
install --allow-downgrades $need $pins
