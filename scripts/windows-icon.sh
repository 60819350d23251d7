#!/usr/bin/env bash
# Regenerates src/win/resources/oskelon.ico, the Windows program's icon, from the application's
# SVG (src/ui/resources/oskelon.svg): one image each of 16, 20, 24, 32, 40, 48, 64 and 256 pixels
# (the small and large icon sizes at 100 to 200 % scaling, and the Explorer's large view).
# Needs rsvg-convert (Debian: librsvg2-bin) and ImageMagick's convert.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
svg="$root/src/ui/resources/oskelon.svg"
ico="$root/src/win/resources/oskelon.ico"
for tool in rsvg-convert convert; do
    command -v "$tool" >/dev/null 2>&1 || { echo "windows-icon: $tool is missing" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
images=()
for side in 16 20 24 32 40 48 64 256; do
    rsvg-convert -w "$side" -h "$side" -f png -o "$work/$side.png" "$svg"
    images+=("$work/$side.png")
done
# 32-bit images with alpha; the 256-pixel one is stored PNG-compressed, the others as bitmaps.
convert "${images[@]}" "$ico"
echo "windows-icon: $ico"
