#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
# The headless runner is not built yet; until it is, the main job is the arithmetic's radix table
# for the twelve sizes.
./build/release/tools/oskelon-radix-table
