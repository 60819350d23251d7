#!/usr/bin/env bash
# Builds the Linux package from the release build: build/release/oskelon_<version>_amd64.deb.
# With --check it then installs the package, computes and verifies size 0 with the installed
# runner outside the build tree (with a records store of its own), and removes the package.
# Needs root or sudo for the check. Usage: scripts/package-deb.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release
(cd build/release && cpack -G DEB >/dev/null)
deb="$(ls build/release/oskelon_*_amd64.deb)"
echo "package-deb: $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends
[ "${1:-}" = --check ] || exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get install -y -qq "./$deb" >/dev/null
work="$(mktemp -d)"
trap '"${sudo[@]}" apt-get remove -y -qq oskelon >/dev/null; rm -rf "$work"' EXIT
[ -x /usr/bin/oskelon-cli ] && [ -x /usr/bin/oskelon ] &&
    [ -f /usr/share/applications/oskelon.desktop ] &&
    [ -f /usr/share/icons/hicolor/scalable/apps/oskelon.svg ] || {
    echo "package-deb: the package lacks a program, the desktop entry or the icon" >&2
    exit 1
}
(cd "$work" && XDG_DATA_HOME="$work/data" /usr/bin/oskelon-cli --size 0 >run.txt &&
    /usr/bin/oskelon-cli verify pi.dat)
echo "package-deb: the installed runner computed and verified size 0"
