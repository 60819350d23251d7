// The complex transform on every path the CPU offers, beside FFTW's in-place complex transform
// of the same length (FFTW_MEASURE, one thread), from 2^10 to 2^22 points.
//
//   BM_Transform/<path>/<log2 points>   forward transform, in place
//   BM_TransformPair/<path>/<log2>      forward then inverse (what a product costs in transforms)
//   BM_Fftw/<log2 points>               FFTW forward, in place
//   BM_TransformThreads/<path>/threads:<t>/log2n:<log2 doubles>
//                                       forward then inverse on a pool of t threads (1: no pool,
//                                       the one-thread code), 2^14 to 2^23 doubles, t = 1 and 2
//                                       side by side
//   BM_Stage/<path>/<stage>/<log2 n>    one first stage on n doubles (plain, conj or twisted),
//                                       called on consecutive blocks of a 256 KiB buffer
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fft/complex_fft.h"
#include "fft/fft_path.h"
#include "parallel/work_pool.h"

namespace {

using oskelon::FftPath;

struct AlignedFree {
    void operator()(double* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<double[], AlignedFree>;

Buffer alignedDoubles(std::size_t count) {
    void* p = std::aligned_alloc(64, ((count * sizeof(double) + 63) / 64) * 64);
    return Buffer(static_cast<double*>(p));
}

void fillRandom(double* d, std::size_t count) {
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    for (std::size_t i = 0; i < count; ++i) d[i] = dist(gen);
}

void transform(benchmark::State& state, FftPath path, bool pair) {
    if (!oskelon::fftPathSupported(path)) {
        state.SkipWithError("path not offered by this CPU");
        return;
    }
    const int points = 1 << state.range(0);
    const int n = 2 * points;
    Buffer data = alignedDoubles(n);
    fillRandom(data.get(), n);
    for (auto _ : state) {
        oskelon::complexFftOn(path, n, +1, data.get());
        if (pair) oskelon::complexFftOn(path, n, -1, data.get());
        // Keep the values bounded across iterations.
        if (!pair) data[0] = 0.5;
        benchmark::ClobberMemory();
    }
    state.counters["points"] = points;
}

void transformThreads(benchmark::State& state, FftPath path) {
    if (!oskelon::fftPathSupported(path)) {
        state.SkipWithError("path not offered by this CPU");
        return;
    }
    const int threads = static_cast<int>(state.range(0));
    const int n = 1 << state.range(1);
    Buffer data = alignedDoubles(n), fresh = alignedDoubles(n);
    fillRandom(fresh.get(), n);
    std::memcpy(data.get(), fresh.get(), n * sizeof(double));
    std::unique_ptr<oskelon::WorkPool> pool;
    if (threads > 1) pool = std::make_unique<oskelon::WorkPool>(threads);
    oskelon::ActivePoolScope scope(pool.get());
    long pairs = 0;
    for (auto _ : state) {
        // A pair multiplies the values by n/2; a fresh copy now and then keeps them finite.
        if (++pairs % 8 == 0) {
            state.PauseTiming();
            std::memcpy(data.get(), fresh.get(), n * sizeof(double));
            state.ResumeTiming();
        }
        oskelon::complexFftOn(path, n, +1, data.get());
        oskelon::complexFftOn(path, n, -1, data.get());
        benchmark::ClobberMemory();
    }
    state.counters["doubles"] = n;
}

void fftw(benchmark::State& state) {
    const int points = 1 << state.range(0);
    auto* data = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * points));
    fftw_plan plan = fftw_plan_dft_1d(points, data, data, FFTW_FORWARD, FFTW_MEASURE);
    fillRandom(reinterpret_cast<double*>(data), 2 * static_cast<std::size_t>(points));
    for (auto _ : state) {
        fftw_execute(plan);
        data[0][0] = 0.5;
        benchmark::ClobberMemory();
    }
    state.counters["points"] = points;
    fftw_destroy_plan(plan);
    fftw_free(data);
}

void stage(benchmark::State& state, FftPath path, int which) {
    if (!oskelon::fftPathSupported(path)) {
        state.SkipWithError("path not offered by this CPU");
        return;
    }
    // As the transform calls them: whole stages through the part entries, with the step angle
    // evaluated once.
    const oskelon::FftStages& s = oskelon::fftStages(path);
    const auto fn = which == 0   ? s.quarterStagePart
                    : which == 1 ? s.quarterStageConjPart
                                 : s.twistedQuarterStagePart;
    const int n = 1 << state.range(0);
    const oskelon::StageAngle angle =
        which == 2 ? oskelon::twistedStageAngle(n) : oskelon::plainStageAngle(n);
    const int seeds = oskelon::stageSeedBlocks(n);
    const int total = n > (1 << 15) ? n : (1 << 15);
    Buffer data = alignedDoubles(total), fresh = alignedDoubles(total);
    fillRandom(fresh.get(), total);
    std::memcpy(data.get(), fresh.get(), total * sizeof(double));
    long calls = 0;
    for (auto _ : state) {
        // Stages grow the values; a fresh copy now and then keeps them finite.
        if (++calls % 256 == 0) std::memcpy(data.get(), fresh.get(), total * sizeof(double));
        for (int b = 0; b < total; b += n) fn(n, data.get() + b, 0, seeds, angle);
        benchmark::ClobberMemory();
    }
    state.counters["calls"] =
        benchmark::Counter(static_cast<double>(calls) * (total / n), benchmark::Counter::kIsRate);
}

int registerAll() {
    for (FftPath path : oskelon::kAllFftPaths) {
        const std::string name = oskelon::fftPathName(path);
        benchmark::RegisterBenchmark(("BM_Transform/" + name).c_str(),
                                     [path](benchmark::State& s) { transform(s, path, false); })
            ->DenseRange(10, 22, 1)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_TransformPair/" + name).c_str(),
                                     [path](benchmark::State& s) { transform(s, path, true); })
            ->DenseRange(10, 22, 4)
            ->Unit(benchmark::kMicrosecond);
    }
    for (FftPath path : oskelon::kAllFftPaths) {
        const char* kinds[] = {"plain", "conj", "twisted"};
        for (int which = 0; which < 3; ++which) {
            const std::string name =
                std::string("BM_Stage/") + oskelon::fftPathName(path) + "/" + kinds[which];
            benchmark::RegisterBenchmark(
                name.c_str(), [path, which](benchmark::State& s) { stage(s, path, which); })
                ->DenseRange(6, 20, 1)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    for (FftPath path : oskelon::kAllFftPaths) {
        const std::string name = std::string("BM_TransformThreads/") + oskelon::fftPathName(path);
        benchmark::RegisterBenchmark(name.c_str(),
                                     [path](benchmark::State& s) { transformThreads(s, path); })
            ->ArgsProduct({{1, 2}, benchmark::CreateDenseRange(14, 23, 1)})
            ->ArgNames({"threads", "log2n"})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("BM_Fftw", fftw)
        ->DenseRange(10, 22, 1)
        ->Unit(benchmark::kMicrosecond);
    return 0;
}

const int registered = registerAll();

}  // namespace
