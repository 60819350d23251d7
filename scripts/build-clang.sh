#!/usr/bin/env bash
# Builds the product without the Qt window (fft, mp, records, calc, the runner and the tools) with
# clang into build/clang, then checks that clang kept the transform's arithmetic:
# - no fused multiply-add instruction in any object of the build (-ffp-contract=off must hold for
#   clang too, in the units compiled for AVX2 and AVX-512 as well);
# - if a g++ release build exists, its oskelon-fingerprint (digests of every transform on every
#   path, the radix tests and products) must equal the clang build's, line for line.
# Usage: scripts/build-clang.sh [--with-tests] [GCC_BUILD_DIR]   (default build/release)
#   --with-tests  compile the GoogleTest suites too (they are not run)
# Exit status: 0 built and identical (or no g++ build to compare with), 1 any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
if [ "${1:-}" = --with-tests ]; then
    tests=ON
    shift
fi
gcc_build=${1:-build/release}
jobs=${OSKELON_JOBS:-2}

# "clang" or "gcc": the compiler a build directory was configured with, by its predefined macros.
compiler_of() {
    local cxx
    cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$1/CMakeCache.txt" 2>/dev/null)
    [ -n "$cxx" ] || return 0
    "$cxx" -dM -E -x c++ /dev/null | awk '
        $2 == "__clang__" { clang = 1 } $2 == "__GNUC__" { gnu = 1 }
        END { if (clang) print "clang"; else if (gnu) print "gcc" }'
}

CC=clang CXX=clang++ cmake -G Ninja -B build/clang -DCMAKE_BUILD_TYPE=Release \
    -DOSKELON_BUILD_UI=OFF -DOSKELON_BUILD_TESTS="$tests" >/dev/null
if [ "$(compiler_of build/clang)" != clang ]; then
    echo "build-clang: build/clang was configured with another compiler; remove it first" >&2
    exit 1
fi
cmake --build build/clang -j "$jobs"

# vfmadd..., vfmsub..., vfnmadd..., vfnmsub... (and their 132/213/231 forms).
fused=0
while IFS= read -r -d '' object; do
    count=$(objdump -d --no-show-raw-insn "$object" | grep -cE $'\tvfn?m(add|sub)' || true)
    if [ "$count" != 0 ]; then
        echo "build-clang: $object has $count fused multiply-add instructions" >&2
        fused=1
    fi
done < <(find build/clang/src build/clang/tools -name '*.o' -print0)
[ "$fused" = 0 ] || exit 1
echo "build-clang: no fused multiply-add in the clang objects"

reference="$gcc_build/tools/oskelon-fingerprint"
if [ ! -x "$reference" ]; then
    echo "build-clang: no g++ build at $gcc_build; fingerprint comparison skipped"
    exit 0
fi
if [ "$(compiler_of "$gcc_build")" != gcc ]; then
    echo "build-clang: $gcc_build is not a g++ build; fingerprint comparison skipped"
    exit 0
fi
cmake --build "$gcc_build" -j "$jobs" --target oskelon-fingerprint
expected=$(mktemp)
actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
"$reference" >"$expected"
build/clang/tools/oskelon-fingerprint >"$actual"
if ! diff -u --label "g++ ($gcc_build)" --label "clang (build/clang)" "$expected" "$actual"; then
    echo "build-clang: the clang build computes different bits from the g++ build" >&2
    exit 1
fi
paths=$(awk '$1 == "transform" { print $2 }' "$expected" | sort -u | paste -sd ' ')
echo "build-clang: fingerprints identical ($(wc -l <"$expected") lines; paths $paths)"
