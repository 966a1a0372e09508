#!/usr/bin/env bash
# Builds a static libsodium for x86_64-w64-mingw32 from Debian's own source
# package (Debian ships no mingw build of it) and installs it into a cache
# prefix under build/, which later runs reuse. Prints the prefix on stdout.
#
#   scripts/build-libsodium-mingw.sh [cache-dir]   (default build/_cache/libsodium-mingw)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

cache=${1:-$PWD/build/_cache/libsodium-mingw}
prefix=$cache/prefix
host=x86_64-w64-mingw32

if [ -f "$prefix/lib/libsodium.a" ] && [ -f "$prefix/include/sodium.h" ]; then
  echo "$prefix"
  exit 0
fi

ensure_windows_deps >&2
ensure_deb_src >&2

mkdir -p "$cache/src"
log=$cache/build.log
: >"$log"
# Each step checks its own status: `set -e` is not in force inside a function
# whose result is tested.
build() {
  cd "$cache/src" || return 1
  # A half-extracted tree from an interrupted run is thrown away.
  rm -rf libsodium-*/
  apt-get source -qq libsodium >>"$log" 2>&1 || return 1
  local srcdir
  srcdir=$(find . -maxdepth 1 -type d -name 'libsodium-*' | head -n1)
  [ -n "$srcdir" ] || { echo "apt-get source libsodium produced no tree" >&2; return 1; }
  cd "$srcdir" || return 1
  echo "building libsodium ($srcdir) for $host, log in $log" >&2
  # Debian's source tree carries no generated configure script.
  if [ ! -x configure ]; then autoreconf -fi >>"$log" 2>&1 || return 1; fi
  ./configure --host=$host --disable-shared --enable-static \
    --prefix="$prefix" >>"$log" 2>&1 || return 1
  make -j2 >>"$log" 2>&1 || return 1
  make install >>"$log" 2>&1 || return 1
}
if ! (build); then
  echo "libsodium cross build failed; last lines of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
fi

[ -f "$prefix/lib/libsodium.a" ] || { echo "no $prefix/lib/libsodium.a after the build" >&2; exit 1; }
echo "$prefix"
