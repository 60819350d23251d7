#!/usr/bin/env bash
# Builds the release preset and runs every test suite (CTest). Usage: scripts/test.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset" -j2
