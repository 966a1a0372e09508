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
