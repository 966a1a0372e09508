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
