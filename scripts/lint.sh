#!/usr/bin/env bash
# Static analysis of our own code: clang-tidy (checks in .clang-tidy) and
# cppcheck, both driven by the compile commands of the native build, so they
# see each file with the flags it is really built with. Third-party code and
# build directories are not analysed. Exits non-zero on any finding.
#
#   scripts/lint.sh                 uses build/native (configured by the preset)
#   LINT_BUILD=build/harden/lint scripts/lint.sh   another build dir, configured here
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

ensure_native_deps
ensure_harden_deps

build=${LINT_BUILD:-build/native}
if [ "$build" = build/native ]; then
  cmake --preset native -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DVOSTAL_BUILD_TESTS=ON -DVOSTAL_BUILD_BENCH=ON -DVOSTAL_BUILD_FUZZ=OFF >/dev/null
fi
# Generated sources (the trusted key table) must exist to be parsed.
cmake --build "$build" -j2 >/dev/null

# Our translation units: every compiled file under our source directories.
mapfile -t sources < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
  grep -E "^$PWD/(update-proto|swap|platform|tools|fuzz|bench)/" | sort -u)
[ ${#sources[@]} -gt 0 ] || { echo "lint: no sources found in $build/compile_commands.json" >&2; exit 1; }
echo "lint: ${#sources[@]} translation units"

tidy=0
check=0

echo "== clang-tidy"
# clang parses the GCC compile commands; warning options only GCC knows must
# not become errors under -Werror.
# Tests, benchmarks and fuzz targets skip the static analyzer (see .clang-tidy).
: >"$build/clang-tidy.log"
tidy_run() {
  xargs -r -P2 -n4 clang-tidy-19 -p "$build" --quiet --extra-arg=-Wno-unknown-warning-option "$@" \
    >>"$build/clang-tidy.log" 2>&1
}
if ! printf '%s\n' "${sources[@]}" | grep -vE '/(tests|bench|fuzz)/' | tidy_run; then
  tidy=1
fi
if ! printf '%s\n' "${sources[@]}" | grep -E '/(tests|bench|fuzz)/' | tidy_run --checks=-clang-analyzer-*; then
  tidy=1
fi
# The fuzz targets are built only by scripts/fuzz.sh (clang); lint them from
# that build's compile commands when it exists.
if [ -f build/fuzz/compile_commands.json ]; then
  mapfile -t fuzz_sources < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' build/fuzz/compile_commands.json |
    grep -E "^$PWD/fuzz/" | sort -u)
  echo "lint: ${#fuzz_sources[@]} fuzz targets (build/fuzz)"
  if ! printf '%s\n' "${fuzz_sources[@]}" |
    xargs -r -P2 -n4 clang-tidy-19 -p build/fuzz --quiet --checks=-clang-analyzer-* >>"$build/clang-tidy.log" 2>&1; then
    tidy=1
  fi
fi
if [ $tidy -eq 0 ]; then
  echo "clang-tidy: clean"
else
  grep -E -A3 '(warning|error):' "$build/clang-tidy.log" || cat "$build/clang-tidy.log"
fi

echo "== cppcheck"
mkdir -p "$build/cppcheck"
# cppcheck names the files of a project relative to the working directory.
relative=("${sources[@]#"$PWD/"}")
# --std is capped at c++20: cppcheck 2.10 knows no later standard.
if ! cppcheck --project="$build/compile_commands.json" --cppcheck-build-dir="$build/cppcheck" \
  --enable=warning,performance,portability,style --std=c++20 --library=googletest --inline-suppr \
  --suppressions-list=scripts/cppcheck-suppressions.txt --error-exitcode=1 -j2 --quiet \
  "${relative[@]/#/--file-filter=}" 2>"$build/cppcheck.log"; then
  check=1
fi
if [ $check -eq 0 ]; then
  echo "cppcheck: clean"
else
  cat "$build/cppcheck.log"
fi
[ $tidy -eq 0 ] && [ $check -eq 0 ]
