#!/usr/bin/env bash
# Takes docs/screenshot.png: the window after a complete size-0 run, on a virtual X server.
#
# Builds the window (release preset) if needed, starts it under xvfb-run with the hidden
# OSKELON_SCREENSHOT hook (src/ui/pi_app.h), which starts the run itself, answers the message
# boxes on standard error and saves the window's image when the run has ended. The run happens in
# a temporary directory with a records store of its own, so neither the user's records nor a
# pi.dat in the current directory are touched.
#
# Usage: scripts/screenshot.sh [output.png]   (default: docs/screenshot.png)
# OSKELON_BUILD_DIR=<dir> uses an existing build directory instead of the release preset's.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
output="$(realpath -m "${1:-$root/docs/screenshot.png}")"

if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "screenshot: xvfb-run is missing (scripts/install-deps.sh installs xvfb and xauth)" >&2
    exit 1
fi

if [ -n "${OSKELON_BUILD_DIR:-}" ]; then
    build="$(realpath "$OSKELON_BUILD_DIR")"
    cmake --build "$build" --target oskelon
else
    build="$root/build/release"
    (cd "$root" && { [ -f "$build/build.ninja" ] || cmake --preset release; } &&
        cmake --build --preset release --target oskelon)
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$output")"
(
    cd "$work"
    XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
        OSKELON_SCREENSHOT="$output" \
        xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$build/src/ui/oskelon"
)
echo "screenshot: $output"
