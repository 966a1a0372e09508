#!/usr/bin/env bash
# The test command: installs what is missing, builds and runs every suite.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

ensure_native_deps
cmake --preset native
cmake --build --preset native
ctest --preset native -j2
