// The pointwise spectrum loops in vector lanes held against the scalar reference, bit for bit, on
// every path and on several threads: every loop, lengths with one pair, one segment, part of a
// group of segments, several groups and several pool parts. Elements that are no pair (0, 1, the
// middle n/2, n/2+1) and the guard element after the array must stay as they were.
#include "mp/spectrum_pairs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fft/fft_path.h"
#include "support/pool_runs.h"

namespace oskelon::test {
namespace {

constexpr SpectrumPairs kLoops[] = {
    SpectrumPairs::MultiplyIntoUnsplit, SpectrumPairs::SplitAndMultiplyInto,
    SpectrumPairs::MultiplyIntoKept,    SpectrumPairs::MultiplyKeep,
    SpectrumPairs::MultiplyAccumulate,  SpectrumPairs::Square,
    SpectrumPairs::SquareInto,          SpectrumPairs::SquareKept};

// Three spectra of n doubles (+1 guard each), values of both signs and magnitudes up to 2^20.
struct Spectra {
    std::vector<double> x[3];
    Spectra(int n, unsigned seed) {
        std::mt19937_64 random(seed);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        std::uniform_int_distribution<int> scale(-4, 20);
        for (auto& v : x) {
            v.resize(n + 1);
            for (double& d : v) d = std::ldexp(value(random), scale(random));
        }
    }
    void run(FftPath path, SpectrumPairs loop, int n, int threads) {
        onThreads(threads,
                  [&] { spectrumPairsOn(path, loop, n, x[0].data(), x[1].data(), x[2].data()); });
    }
};

bool sameBits(const std::vector<double>& a, const std::vector<double>& b, std::size_t& at) {
    for (at = 0; at < a.size(); ++at) {
        if (std::memcmp(&a[at], &b[at], sizeof(double)) != 0) return false;
    }
    return true;
}

// All three arrays bit for bit.
void expectSameArrays(const Spectra& got, const Spectra& want, int n, SpectrumPairs loop,
                      FftPath path, int threads) {
    for (int k = 0; k < 3; ++k) {
        std::size_t at = 0;
        EXPECT_TRUE(sameBits(got.x[k], want.x[k], at))
            << "n " << n << ", loop " << static_cast<int>(loop) << ", " << fftPathName(path) << ", "
            << threads << " threads: array " << k << " differs at " << at;
    }
}

TEST(SpectrumPairs, LanesAndThreadsGiveTheReferenceBits) {
    // 2^3: one pair; 2^9: one segment; 2^10: two segments, a group of 8 lanes mostly idle; 2^12:
    // one full group; 2^14: four groups; 2^16 (spread from 2^15): 8 parts of 16 segments;
    // 2^16 + 2^11, no power of two (the loops take any even n): 132 segments, the last part 4.
    const int lengths[] = {
        1 << 3, 1 << 9, 1 << 10, 1 << 12, 1 << 14, 1 << 16, (1 << 16) + (1 << 11)};
    for (const int n : lengths) {
        for (const SpectrumPairs loop : kLoops) {
            const Spectra start(n, 11 + n);
            Spectra reference = start;
            reference.run(FftPath::Scalar, loop, n, 1);
            for (int k = 0; k < 3; ++k) {
                for (const int j : {0, 1, n / 2, n / 2 + 1, n}) {
                    ASSERT_EQ(reference.x[k][j], start.x[k][j]) << "array " << k << " at " << j;
                }
            }
            for (const FftPath path : kAllFftPaths) {
                if (!fftPathSupported(path)) continue;
                for (const int threads : {1, 2, 3}) {
                    Spectra got = start;
                    got.run(path, loop, n, threads);
                    expectSameArrays(got, reference, n, loop, path, threads);
                }
            }
        }
    }
}

// Each loop that merges, followed by the inverse transform of its merged array in the transform's
// prelude units, against the loop and then the whole transform: the same bits in all three arrays,
// on every path and thread count. 2^10: one unit; 2^12: two, taken whole; 2^16: the units in parts
// on a pool; 2^17 and 2^18: in parts on one thread too.
TEST(SpectrumPairs, ThenInverseGivesTheLoopsAndTheTransformsBits) {
    for (const int n : {1 << 10, 1 << 12, 1 << 16, 1 << 17, 1 << 18}) {
        for (const SpectrumPairs loop : kLoops) {
            if (loop == SpectrumPairs::MultiplyKeep) continue;
            const int merged = loop == SpectrumPairs::MultiplyAccumulate ? 2
                               : loop == SpectrumPairs::Square || loop == SpectrumPairs::SquareKept
                                   ? 0
                                   : 1;
            const Spectra start(n, 29 + n);
            for (const FftPath path : kAllFftPaths) {
                if (!fftPathSupported(path)) continue;
                Spectra reference = start;
                reference.run(path, loop, n, 1);
                complexFftOn(path, n, -1, reference.x[merged].data());
                for (const int threads : {1, 2, 3}) {
                    Spectra got = start;
                    onThreads(threads, [&] {
                        spectrumPairsThenInverseOn(path, loop, n, got.x[0].data(), got.x[1].data(),
                                                   got.x[2].data());
                    });
                    expectSameArrays(got, reference, n, loop, path, threads);
                }
            }
        }
    }
}

}  // namespace
}  // namespace oskelon::test
