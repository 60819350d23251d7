// The word passes and a whole product on one thread and on a work pool, side by side:
//
//   BM_MpThreads/<step>/<log2 words>/<threads>
//
// step: release (mpFromDoubles on the active path), conversion (mpToDoubles of a whole number),
// add (mpAdd with out = the smaller operand, shifted by half the words, as the products call it),
// mul (mpMul: four forward and two inverse transforms, two releases and an addition), halve
// (mpHalve in place), mulsmall (mpMulSmall by 3 in place), sub (mpSub of two numbers that agree in
// their first half, as the Newton steps and the means call it). The
// threads = 1 rows run without a pool, as the classic run does. The speedup of a step is the
// ratio of its 1 and 2 rows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench_number.h"
#include "fft/fft_path.h"
#include "mp/elementary.h"
#include "mp/engine.h"
#include "mp/mp_number.h"
#include "mp/products.h"
#include "parallel/work_pool.h"

namespace {

using oskelon::bench::kRadix;
using oskelon::bench::Number;
using oskelon::bench::randomNumber;

using oskelon::MpNumber;

enum class Step { Release, Conversion, Add, Mul, Halve, MulSmall, Sub };

void stepBench(benchmark::State& state, Step step) {
    const int n = 1 << state.range(0);
    const int threads = static_cast<int>(state.range(1));
    const int count = n + 2;
    std::unique_ptr<oskelon::WorkPool> pool;
    if (threads > 1) pool = std::make_unique<oskelon::WorkPool>(threads);
    oskelon::ActivePoolScope scope(pool.get());

    Number a(count), b(count), out(count), work(count);
    randomNumber(a, count, 1, 0);
    randomNumber(b, count, 2, -(n / 2));
    std::vector<double> A1(n + 2), A2(n + 2), A3(n + 2), product(n + 2);
    if (step == Step::Sub) {  // work: a with its second half changed
        randomNumber(work, count, 3, 0);
        std::copy_n(a.p->words(), count / 2, work.p->words());
    }
    if (step == Step::Release) {
        oskelon::mpToDoubles(count, kRadix, n, 0, *a.p, A1.data());
        oskelon::mpToDoubles(count, kRadix, n, 0, *b.p, product.data());
        oskelon::spectrumMultiply(n, A1.data(), product.data());
    }
    // out = b, outside the timed region, for the steps that work in place.
    auto outFromB = [&] {
        state.PauseTiming();
        std::copy_n(b.p->words(), count, out.p->words());
        out.p->sign = b.p->sign;
        out.p->exponent = b.p->exponent;
        state.ResumeTiming();
    };
    for (auto _ : state) {
        switch (step) {
            case Step::Release:
                state.PauseTiming();
                A2 = product;
                state.ResumeTiming();
                oskelon::mpFromDoubles(count, kRadix, n, A2.data(), *out.p);
                break;
            case Step::Conversion:
                oskelon::mpToDoubles(count, kRadix, n, 0, *a.p, A1.data());
                break;
            case Step::Add:
                outFromB();
                oskelon::mpAdd(count, kRadix, *out.p, *a.p, *out.p);
                break;
            case Step::Halve:
                oskelon::mpHalve(count, kRadix, *a.p, *a.p);
                break;
            case Step::MulSmall:
                outFromB();
                oskelon::mpMulSmall(count, kRadix, *out.p, 3, *out.p);
                break;
            case Step::Sub:
                oskelon::mpSub(count, kRadix, *a.p, *work.p, *out.p);
                break;
            case Step::Mul:
                oskelon::mpMul(count, kRadix, *a.p, *b.p, *out.p, *work.p, n, A1.data(), A2.data(),
                               A3.data());
                break;
        }
        benchmark::ClobberMemory();
    }
    state.counters["ns/word"] =
        benchmark::Counter(static_cast<double>(count) * state.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(oskelon::fftPathName(oskelon::activeFftPath()));
}

int registerAll() {
    const std::pair<const char*, Step> steps[] = {
        {"BM_MpThreads/release", Step::Release}, {"BM_MpThreads/conversion", Step::Conversion},
        {"BM_MpThreads/add", Step::Add},         {"BM_MpThreads/mul", Step::Mul},
        {"BM_MpThreads/halve", Step::Halve},     {"BM_MpThreads/mulsmall", Step::MulSmall},
        {"BM_MpThreads/sub", Step::Sub}};
    for (const auto& [name, step] : steps) {
        auto* b = benchmark::RegisterBenchmark(
            name, [step = step](benchmark::State& s) { stepBench(s, step); });
        for (int log2 = 18; log2 <= 23; ++log2) {
            for (int threads : {1, 2}) b->Args({log2, threads});
        }
        b->ArgNames({"words", "threads"})->Unit(benchmark::kMicrosecond)->UseRealTime();
    }
    return 0;
}

const int registered = registerAll();

}  // namespace
