#!/usr/bin/env bash
# Builds a preset and runs its test suites (CTest). Usage: scripts/test.sh [preset]
#   release (default), debug, asan, tsan   the Linux builds
#   windows   the Windows build, cross-built with mingw-w64 and run under Wine, compared with
#             the Linux release build (built here first when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
if [ "$preset" = windows ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release --target oskelon-cli oskelon-fingerprint
    cmake --preset windows -DOSKELON_BUILD_TESTS=ON -DOSKELON_NATIVE_BUILD_DIR="$PWD/build/release"
else
    cmake --preset "$preset"
fi
cmake --build --preset "$preset"
ctest --preset "$preset" -j2
