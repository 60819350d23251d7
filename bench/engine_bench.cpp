// The engine's pieces at several lengths: a full product (mpMul: three forward transforms, two
// inverse, two releases), a square, the release alone on every path, and the conversion.
//
//   BM_MpMul/<log2 n>, BM_MpSquare/<log2 n>       on the active path (OSKELON_FFT_PATH)
//   BM_Release/<path>/<log2 n>                      mpFromDoublesOn
//   BM_ToDoubles/<log2 n>
//   BM_Pairs<loop>/<path>/<log2 n>                   spectrumPairsOn: the pointwise loop alone
//   BM_SquareSpectrum/<apart|after>/threads:<t>/<log2 n>
//                                                   forward transform, square loop and inverse,
//                                                   the loop and the inverse one after the other
//                                                   or with the inverse after its prelude
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench_number.h"
#include "fft/complex_fft.h"
#include "fft/fft_path.h"
#include "mp/engine.h"
#include "mp/mp_number.h"
#include "mp/products.h"
#include "mp/spectrum_pairs.h"
#include "parallel/work_pool.h"

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

// The loop on arrays refreshed (untimed) before each pass, so that the values stay the same.
void pairsBench(benchmark::State& state, FftPath path, oskelon::SpectrumPairs loop) {
    if (!oskelon::fftPathSupported(path)) {
        state.SkipWithError("path not offered by this CPU");
        return;
    }
    const int n = 1 << state.range(0);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> a0(n + 2), b0(n + 2);
    for (double& v : a0) v = value(random);
    for (double& v : b0) v = value(random);
    std::vector<double> a(n + 2), b(n + 2);
    for (auto _ : state) {
        state.PauseTiming();
        a = a0;
        b = b0;
        state.ResumeTiming();
        oskelon::spectrumPairsOn(path, loop, n, a.data() + 1, b.data() + 1);
        benchmark::ClobberMemory();
    }
    state.counters["ns/pair"] =
        benchmark::Counter(static_cast<double>(n / 4) * state.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A square's spectrum steps on arrays refreshed (untimed) before each pass, with the square loop
// and the inverse transform apart or joined (spectrumPairsThenInverse), on the active path.
void squareSpectrumBench(benchmark::State& state, bool after) {
    const int threads = static_cast<int>(state.range(0));
    const int n = 1 << state.range(1);
    std::unique_ptr<oskelon::WorkPool> pool;
    if (threads > 1) pool = std::make_unique<oskelon::WorkPool>(threads);
    oskelon::ActivePoolScope scope(pool.get());
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> a0(n + 2);
    for (double& v : a0) v = value(random);
    std::vector<double> a(n + 2);
    for (auto _ : state) {
        state.PauseTiming();
        a = a0;
        state.ResumeTiming();
        oskelon::fftForward(n, a.data() + 1);
        if (after) {
            oskelon::spectrumPairsThenInverse(oskelon::SpectrumPairs::Square, n, a.data() + 1);
        } else {
            oskelon::spectrumPairs(oskelon::SpectrumPairs::Square, n, a.data() + 1);
            oskelon::fftInverse(n, a.data() + 1);
        }
        benchmark::ClobberMemory();
    }
    state.SetLabel(oskelon::fftPathName(oskelon::activeFftPath()));
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
    const std::pair<const char*, oskelon::SpectrumPairs> loops[] = {
        {"BM_PairsSquare/", oskelon::SpectrumPairs::Square},
        {"BM_PairsMultiply/", oskelon::SpectrumPairs::SplitAndMultiplyInto}};
    for (const auto& [name, loop] : loops) {
        for (FftPath path : oskelon::kAllFftPaths) {
            benchmark::RegisterBenchmark(
                (std::string(name) + oskelon::fftPathName(path)).c_str(),
                [path, loop = loop](benchmark::State& s) { pairsBench(s, path, loop); })
                ->DenseRange(16, 22, 3)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    for (const bool after : {false, true}) {
        benchmark::RegisterBenchmark(
            after ? "BM_SquareSpectrum/after" : "BM_SquareSpectrum/apart",
            [after](benchmark::State& s) { squareSpectrumBench(s, after); })
            ->ArgsProduct({{1, 2}, benchmark::CreateDenseRange(16, 25, 1)})
            ->ArgNames({"threads", ""})
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("BM_ToDoubles", toDoublesBench)
        ->DenseRange(14, 22, 4)
        ->Unit(benchmark::kMillisecond);
    return 0;
}

const int registered = registerAll();

}  // namespace
