#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) and runs
# each for a bounded time on its seed corpus. Usage: scripts/fuzz.sh [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DOSKELON_BUILD_FUZZ=ON
cmake --build "$build" --target decimal_fuzz arguments_fuzz
for target in decimal arguments; do
    corpus="$build/corpus-$target"
    mkdir -p "$corpus"
    echo "fuzz: $target for ${seconds}s"
    "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=256 -timeout=10 \
        -print_final_stats=1 "$corpus" "fuzz/corpus/$target"
done
echo "fuzz: no failures"
