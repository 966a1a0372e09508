#!/usr/bin/env bash
# The test command: installs what is missing, builds and runs every suite.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

ensure_native_deps
cmake --preset native
cmake --build --preset native
ctest --preset native -j2

# --- hardening: sanitizers, fuzzing, static analysis -------------------------
# The whole native suite again, built with AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer (GCC).
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j2
# A short libFuzzer pass over every fuzz target from the committed corpus
# (clang 19); scripts/fuzz.sh SECONDS runs longer ones.
bash scripts/fuzz.sh "${VOSTAL_CI_FUZZ_SECONDS:-60}"
# clang-tidy and cppcheck over our code, from the native build's compile commands.
bash scripts/lint.sh

# --- Windows: the cross build and its suite under Wine -----------------------
# The mingw-w64 cross build (preset windows, build/windows) with a static
# libsodium cross-built from Debian's source package into build/_cache (kept
# between runs). CTest runs every test program under Wine, in a prefix of our
# own under build/windows with one wineserver for the whole run, shut down at
# the end. Then cpack makes the release zip, whose content is checked.
ensure_windows_deps
bash scripts/build-libsodium-mingw.sh >/dev/null
cmake --preset windows
cmake --build --preset windows
(
  source scripts/lib/wine.sh
  wine_setup "$PWD/build/windows/wineprefix"
  ctest --preset windows -j2
)
(cd build/windows && cpack >/dev/null)
zip_listing=$(cmake -E tar tf build/windows/package/vostal-swap-*-win64.zip | sort | tr '\n' ' ')
if [ "$zip_listing" != "README.md vostal-manifest.exe vostal-swap.exe " ]; then
  echo "the release zip holds: $zip_listing" >&2
  exit 1
fi
echo "release zip: $(ls build/windows/package/vostal-swap-*-win64.zip)"
