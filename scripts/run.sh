#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs the main job: 1,048,576 digits,
# headless. pi.dat is written to the current directory; extra arguments go to the runner.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
(cd "$root" && cmake --preset release && cmake --build --preset release)
"$root/build/release/src/cli/oskelon-cli" --size 1M "$@"
