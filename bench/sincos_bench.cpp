// roundedSinCos beside the C library's sin, cos and sincos, over the program's angles (every
// argument of the transform's stages and the engine's twiddles, tests/support/program_angles.h)
// and over uniform arguments in [-pi, pi]. The counter "per_angle" is the time per argument;
// roundedSinCos delivers both values, so it compares with sincos or with sin and cos together.
//
//   BM_<function>/set:0   the program's angles, in increasing order
//   BM_<function>/set:1   the same number of uniform arguments in [-pi, pi]
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "fft/rounded_sincos.h"
#include "support/program_angles.h"

namespace {

const std::vector<double>& angleSet(int which) {
    static const std::vector<double> program = oskelon::test::programAngles();
    static const std::vector<double> uniform = [] {
        std::mt19937_64 rng(5);
        std::uniform_real_distribution<double> d(-3.141592653589793, 3.141592653589793);
        std::vector<double> v(program.size());
        for (double& x : v) x = d(rng);
        return v;
    }();
    return which == 0 ? program : uniform;
}

// The library functions through pointers held in volatile variables, so that the compiler can
// neither merge a sin and a cos of the same argument into one sincos call nor inline them.
double (*volatile libSin)(double) = std::sin;
double (*volatile libCos)(double) = std::cos;
void (*volatile libSinCos)(double, double*, double*) = ::sincos;

template <typename Body>
void run(benchmark::State& state, Body body) {
    const std::vector<double>& xs = angleSet(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        double acc = 0.0;
        for (const double x : xs) acc += body(x);
        benchmark::DoNotOptimize(acc);
    }
    state.counters["per_angle"] = benchmark::Counter(
        static_cast<double>(xs.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RoundedSinCos(benchmark::State& state) {
    run(state, [](double x) {
        const oskelon::SinCos y = oskelon::roundedSinCos(x);
        return y.sin + y.cos;
    });
}
void BM_LibSinCos(benchmark::State& state) {
    const auto f = libSinCos;
    run(state, [f](double x) {
        double s, c;
        f(x, &s, &c);
        return s + c;
    });
}
void BM_LibSinThenCos(benchmark::State& state) {
    const auto fs = libSin;
    const auto fc = libCos;
    run(state, [fs, fc](double x) { return fs(x) + fc(x); });
}
void BM_RoundedSin(benchmark::State& state) {
    run(state, [](double x) { return oskelon::roundedSin(x); });
}
void BM_LibSin(benchmark::State& state) {
    const auto f = libSin;
    run(state, [f](double x) { return f(x); });
}
void BM_LibCos(benchmark::State& state) {
    const auto f = libCos;
    run(state, [f](double x) { return f(x); });
}

void angleArgs(benchmark::internal::Benchmark* b) {
    b->ArgName("set")->Arg(0)->Arg(1);
}

BENCHMARK(BM_RoundedSinCos)->Apply(angleArgs);
BENCHMARK(BM_LibSinCos)->Apply(angleArgs);
BENCHMARK(BM_LibSinThenCos)->Apply(angleArgs);
BENCHMARK(BM_RoundedSin)->Apply(angleArgs);
BENCHMARK(BM_LibSin)->Apply(angleArgs);
BENCHMARK(BM_LibCos)->Apply(angleArgs);

}  // namespace
