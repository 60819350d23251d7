#!/bin/sh
# pi.dat must be the same bytes on every transform path the CPU offers: runs the runner with each
# path forced through OSKELON_FFT_PATH and compares every file with the scalar reference's.
# Usage: pi_paths_test.sh OSKELON_CLI [SIZE...]
set -eu
cli=$1
shift
sizes=${*:-0 2 4}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data"
status=0
for size in $sizes; do
    mkdir -p "$work/scalar"
    (cd "$work/scalar" && OSKELON_FFT_PATH=scalar "$cli" -s "$size" >/dev/null)
    test -s "$work/scalar/pi.dat"
    for path in sse2 avx2 avx512; do
        used=$(OSKELON_FFT_PATH=$path "$cli" --cpu)
        if [ "$used" != "transform path: $path" ]; then
            echo "size $size: $path not offered by this CPU, skipped"
            continue
        fi
        mkdir -p "$work/$path"
        (cd "$work/$path" && OSKELON_FFT_PATH=$path "$cli" -s "$size" >/dev/null)
        if cmp "$work/scalar/pi.dat" "$work/$path/pi.dat"; then
            echo "size $size: $path pi.dat identical to scalar"
        else
            echo "size $size: $path pi.dat DIFFERS from scalar"
            status=1
        fi
    done
done
exit $status
