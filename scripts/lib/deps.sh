# Installs what the project's builds need on a fresh Debian 12 machine.
# Sourced by the scripts; each function installs only what is missing.

_apt_updated=0
apt_install() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root, or install them)" >&2
    return 1
  fi
  if [ $_apt_updated -eq 0 ]; then
    apt-get update -qq
    _apt_updated=1
  fi
  echo "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

ensure_native_deps() {
  apt_install build-essential cmake ninja-build pkg-config \
    libsodium-dev libssl-dev libgtest-dev libbenchmark-dev
}

# --- Windows cross build and its Wine test run -----------------------------
ensure_windows_deps() {
  apt_install mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 wine wine64 dpkg-dev make googletest \
    autoconf automake libtool
}

# `apt-get source` needs source entries; Debian 12 images ship binary ones
# only. Add deb-src beside each enabled Debian entry (deb822 and one-line).
_has_libsodium_source() {
  # Not a pipe into grep -q: under pipefail its early exit fails the pipeline.
  local out
  out=$(apt-cache showsrc libsodium 2>/dev/null || true)
  [[ $out == *"Package: libsodium"* ]]
}

ensure_deb_src() {
  _has_libsodium_source && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "no deb-src entries for apt (run as root, or add them)" >&2
    return 1
  fi
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    grep -q '^Types: deb$' "$f" && sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
  done
  if [ -f /etc/apt/sources.list ] && ! grep -q '^deb-src ' /etc/apt/sources.list; then
    sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list >/etc/apt/sources.list.d/vostal-deb-src.list
  fi
  apt-get update -qq
  _apt_updated=1
  _has_libsodium_source || {
    echo "libsodium's source package is still not known to apt" >&2
    return 1
  }
}

# --- hardening: fuzzing and lint (scripts/fuzz.sh, scripts/lint.sh) --------
# clang 19 is the first clang whose C++23 mode offers libstdc++ 12's
# std::expected, so libFuzzer and clang-tidy both come from it.
ensure_harden_deps() {
  apt_install clang-19 libclang-rt-19-dev clang-tidy-19 cppcheck
}

# --- benchmarks (scripts/bench.sh) ------------------------------------------
# GNU time for the peak resident set of a whole run (/usr/bin/time -v);
# strip for the stripped size of the executable.
ensure_bench_deps() {
  apt_install time binutils coreutils openssl
}
