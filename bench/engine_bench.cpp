// The engine's pieces at several lengths: a full product (mpMul: three forward transforms, two
// inverse, two releases), a square, the release alone on every path, and the conversion.
//
//   BM_MpMul/<log2 n>, BM_MpSquare/<log2 n>       on the active path (OSKELON_FFT_PATH)
//   BM_Release/<path>/<log2 n>                      mpFromDoublesOn
//   BM_ToDoubles/<log2 n>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bench_number.h"
#include "fft/fft_path.h"
#include "mp/engine.h"
#include "mp/mp_number.h"
#include "mp/products.h"

namespace {

using oskelon::bench::kRadix;
using oskelon::bench::Number;
using oskelon::bench::randomNumber;

using oskelon::FftPath;
using oskelon::MpNumber;

void mpMulBench(benchmark::State& state) {
    const int n = 1 << state.range(0);
    const int count = n + 2;
    Number a(count), b(count), out(count), work(count);
    randomNumber(a, count, 1);
    randomNumber(b, count, 2);
    std::vector<double> A1(n + 2), A2(n + 2), A3(n + 2);
    for (auto _ : state) {
        oskelon::mpMul(count, kRadix, *a.p, *b.p, *out.p, *work.p, n, A1.data(), A2.data(),
                       A3.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(oskelon::fftPathName(oskelon::activeFftPath()));
}

void mpSquareBench(benchmark::State& state) {
    const int n = 1 << state.range(0);
    const int count = n + 2;
    Number a(count), out(count);
    randomNumber(a, count, 3);
    std::vector<double> A1(n + 2);
    for (auto _ : state) {
        oskelon::mpSquare(count, kRadix, *a.p, *out.p, n, A1.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(oskelon::fftPathName(oskelon::activeFftPath()));
}

void releaseBench(benchmark::State& state, FftPath path) {
    if (!oskelon::fftPathSupported(path)) {
        state.SkipWithError("path not offered by this CPU");
        return;
    }
    const int n = 1 << state.range(0);
    const int count = n + 2;
    Number a(count), b(count), out(count);
    randomNumber(a, count, 4);
    randomNumber(b, count, 5);
    std::vector<double> A(n + 2), B(n + 2), C(n + 2);
    oskelon::mpToDoubles(count, kRadix, n, 0, *a.p, A.data());
    oskelon::mpToDoubles(count, kRadix, n, 0, *b.p, B.data());
    oskelon::spectrumMultiply(n, A.data(), B.data());
    for (auto _ : state) {
        state.PauseTiming();
        C = B;
        state.ResumeTiming();
        oskelon::mpFromDoublesOn(path, count, kRadix, n, C.data(), *out.p);
        benchmark::ClobberMemory();
    }
    state.counters["ns/word"] =
        benchmark::Counter(static_cast<double>(count) * state.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void toDoublesBench(benchmark::State& state) {
    const int n = 1 << state.range(0);
    const int count = n + 2;
    Number a(count);
    randomNumber(a, count, 6);
    std::vector<double> A(n + 2);
    for (auto _ : state) {
        oskelon::mpToDoubles(count, kRadix, n, 0, *a.p, A.data());
        benchmark::ClobberMemory();
    }
}

int registerAll() {
    benchmark::RegisterBenchmark("BM_MpMul", mpMulBench)
        ->DenseRange(12, 22, 2)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_MpSquare", mpSquareBench)
        ->DenseRange(12, 22, 2)
        ->Unit(benchmark::kMillisecond);
    for (FftPath path : oskelon::kAllFftPaths) {
        benchmark::RegisterBenchmark(
            (std::string("BM_Release/") + oskelon::fftPathName(path)).c_str(),
            [path](benchmark::State& s) { releaseBench(s, path); })
            ->DenseRange(14, 22, 4)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BM_ToDoubles", toDoublesBench)
        ->DenseRange(14, 22, 4)
        ->Unit(benchmark::kMillisecond);
    return 0;
}

const int registered = registerAll();

}  // namespace
