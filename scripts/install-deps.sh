#!/usr/bin/env bash
# Installs the Debian packages that building and testing Oskelon needs. Idempotent and
# non-interactive; run as root or with sudo available. The package lists are read (apt-get
# update) only when something is missing.
# Usage: scripts/install-deps.sh [linux|windows|all]   (default: linux)
set -euo pipefail

linux_packages=(
    build-essential g++ cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libsqlite3-dev libcli11-dev nlohmann-json3-dev libxxhash-dev
    # Test oracles only: the product never links GMP or MPFR.
    libgmp-dev libmpfr-dev
    # Benchmark yardsticks only (bench/, bench/compare): FFTW's transform, MPFR's pi on GMP and
    # CLN's pi program; none of them is linked into the product. time for bench/compare's
    # timings, linux-perf for profiling.
    libfftw3-dev pi time linux-perf
    # The desktop window: Qt 6 Widgets and its SVG module (the icon), a Japanese Gothic font,
    # and a virtual X server for the window tests and scripts/screenshot.sh.
    qt6-base-dev qt6-svg-dev fonts-noto-cjk
    xvfb xauth
    # The second compiler (clang 14: the product's clang build and the fuzz targets, with
    # libFuzzer's runtime) and the format check.
    clang libclang-rt-14-dev clang-format
)

# The Windows build: the mingw-w64 cross compiler (POSIX threads), GoogleTest's sources to build
# it with that compiler, and Wine with a virtual X server and xdotool to run and drive the
# programs; the Japanese font stands in for the Windows UI font.
windows_packages=(
    cmake ninja-build g++-mingw-w64-x86-64-posix googletest
    libcli11-dev nlohmann-json3-dev libxxhash-dev
    wine wine64 fonts-wine fonts-noto-cjk xvfb xauth xdotool x11-apps imagemagick
)

case "${1:-linux}" in
    linux) packages=("${linux_packages[@]}") ;;
    windows) packages=("${windows_packages[@]}") ;;
    all) packages=("${linux_packages[@]}" "${windows_packages[@]}") ;;
    *) echo "usage: install-deps.sh [linux|windows|all]" >&2; exit 2 ;;
esac

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "install-deps: run as root or install sudo" >&2
    exit 1
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
    "${sudo[@]}" apt-get update -qq
    echo "install-deps: installing ${missing[*]}"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
    echo "install-deps: all packages present"
fi
