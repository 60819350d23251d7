#!/usr/bin/env bash
# Takes docs/screenshot-windows.png: the Windows window (oskelon.exe) under Wine after a complete
# size-0 run, on a virtual X server, in a fresh Wine prefix (so the first-start message comes
# and the records are empty).
#
# Cross-builds oskelon.exe and the window test's driver (tests/win/window_driver.cpp) with the
# windows preset if needed; the driver answers the messages, runs size 0 and holds the window
# still while the screen is taken. Needs wine, Xvfb, ImageMagick's import and the fonts of
# scripts/wine-prefix.sh.
#
# Usage: scripts/screenshot-windows.sh [output.png]   (default: docs/screenshot-windows.png)
# OSKELON_BUILD_DIR=<dir> uses an existing Windows build directory instead of the preset's.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
output="$(realpath -m "${1:-$root/docs/screenshot-windows.png}")"

for tool in wine Xvfb import; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "screenshot-windows: $tool is missing" >&2
        exit 1
    }
done

if [ -n "${OSKELON_BUILD_DIR:-}" ]; then
    build="$(realpath "$OSKELON_BUILD_DIR")"
else
    build="$root/build/windows"
    (cd "$root" && { [ -f "$build/build.ninja" ] || cmake --preset windows >/dev/null; })
fi
cmake --build "$build" --target oskelon window_driver

work="$(mktemp -d)"
# shellcheck source=wine-window-session.sh
source "$root/scripts/wine-window-session.sh"
trap 'wine_window_session_end; rm -rf "$work"' EXIT
wine_window_session_start "$work"
mkdir -p "$work/run"
: >"$work/driver.log"
program="$(winepath -w "$build/src/win/oskelon.exe")"
run_dir="$(winepath -w "$work/run")"
taken="$(winepath -w "$work/taken")"
wine "$build/tests/win/window_driver.exe" pose "$program" "$run_dir" "$taken" \
    >"$work/driver.log" </dev/null &
driver=$!

# The driver prints the window's place once the run has ended and its message is closed.
geometry=
for _ in $(seq 1 1200); do
    geometry="$(sed -n 's/^window \([0-9-]*\) \([0-9-]*\) \([0-9]*\) \([0-9]*\)\r\{0,1\}$/\3x\4+\1+\2/p' \
        "$work/driver.log")"
    [ -n "$geometry" ] && break
    kill -0 "$driver" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$geometry" ]; then
    cat "$work/driver.log" >&2
    echo "screenshot-windows: the window did not come up" >&2
    exit 1
fi
mkdir -p "$(dirname "$output")"
import -window root -crop "$geometry" +repage "$output"
touch "$work/taken"
wait "$driver" || { cat "$work/driver.log" >&2; exit 1; }
echo "screenshot-windows: $output ($geometry)"
