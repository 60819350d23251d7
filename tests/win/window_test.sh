#!/usr/bin/env bash
# The window's end-to-end test: oskelon.exe under Wine, in a fresh prefix (so the records store is
# empty and the first-start message comes), on a virtual X server, worked by window_driver.exe
# from outside. Needs wine, Xvfb and the font substitutes of scripts/wine-prefix.sh.
#
# Usage: window_test.sh <oskelon.exe> <window_driver.exe> [work dir]
set -euo pipefail
oskelon="$(realpath "$1")"
driver="$(realpath "$2")"
work="${3:-$(mktemp -d)}"
root="$(cd "$(dirname "$0")/../.." && pwd)"

# shellcheck source=../../scripts/wine-window-session.sh
source "$root/scripts/wine-window-session.sh"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
trap 'wine_window_session_end; rm -rf "$work/run"' EXIT
start=$SECONDS
wine_window_session_start "$work"
echo "window_test: Wine prefix and X server ready after $((SECONDS - start)) s"

rm -rf "$work/run"
mkdir -p "$work/run"
status=0
wine "$driver" test "$(winepath -w "$oskelon")" "$(winepath -w "$work/run")" </dev/null || status=$?
echo "window_test: $((SECONDS - start)) s in all"
exit "$status"
