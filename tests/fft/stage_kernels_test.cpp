// The first stages: the factors they generate (written out by feeding a unit quarter) against
// exact values, the exact mirror symmetry of those factors, the conjugating variant, and the
// stored constants.
#include "fft/stage_kernels.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fft/fft_arith.h"
#include "fft/fft_oracle.h"

namespace oskelon {
namespace {

using test::ComplexL;
using test::kEps;

// From 64 doubles (one loop iteration plus the middle points) to 2^21; re-seeding at K = 64
// starts at 2048.
constexpr int kSmallest = 64, kLargest = 1 << 21;

// Factors have unit modulus. Each is a seed (cos/sin within an ulp, its rotation to K+1 and its
// triple angle a few ulps more) advanced by at most 32 leapfrog steps, whose errors add but are
// not amplified: the recurrence's characteristic roots e^(i theta) and -e^(-i theta) have
// modulus 1 and stay far apart. The worst factor measured up to 2^21 doubles is about 6 eps.
constexpr double kFactorBound = 10 * kEps;

// Stage block of n doubles with (1, 0) at every point of quarter `unit`, 0 elsewhere, staged.
std::vector<double> stagedUnitQuarter(void (*stage)(int, double*), int n, int unit) {
    std::vector<double> z(static_cast<std::size_t>(n), 0.0);
    for (int p = 0; p < n / 8; ++p) z[static_cast<std::size_t>(unit * n / 4 + 2 * p)] = 1.0;
    stage(n, z.data());
    return z;
}

// Point p of quarter Q; distance to an exact value; exact equality including the sign of zero.
struct Pt {
    double re, im;
};
Pt at(const std::vector<double>& z, int Q, int p) {
    const std::size_t i =
        z.size() / 4 * static_cast<std::size_t>(Q) + 2 * static_cast<std::size_t>(p);
    return {z[i], z[i + 1]};
}
double dist(Pt f, const ComplexL& w) {
    return static_cast<double>(std::hypot(f.re - w.re, f.im - w.im));
}
bool same(Pt a, Pt b) {
    return test::firstBitDifference({a.re, a.im}, {b.re, b.im}) == -1;
}

// With quarter 0 = 1, quarters 0 and 1 become 1 and quarters 2 and 3 the factors w^k and w^(3k)
// (w = e^(2 pi i/M), M = n/2 points). At the mirror point m-k the factors are those at k with parts
// exchanged: w^(m-k) = (w^k.im, w^k.re), w^(3(m-k)) = -(w^3k.im, w^3k.re), bit for bit.
TEST(QuarterStage, WritesAccurateFactorsWithExactMirrors) {
    for (int n = kSmallest; n <= kLargest; n *= 2) {
        const int M = n / 2, m = n / 8;
        const std::vector<double> z = stagedUnitQuarter(quarterStage, n, 0);
        const std::vector<ComplexL> w = test::unitRoots(M);
        double worst = 0.0;
        int wrong = 0;
        for (int k = 0; k < m; ++k) {
            const Pt f1 = at(z, 2, k), f3 = at(z, 3, k);
            wrong += !same(at(z, 0, k), {1, 0}) || !same(at(z, 1, k), {1, 0});
            worst = std::max({worst, dist(f1, w[static_cast<std::size_t>(k)]),
                              dist(f3, w[static_cast<std::size_t>(3 * k % M)])});
            if (k > 0) wrong += !same(at(z, 2, m - k), {f1.im, f1.re});
            if (k > 0) wrong += !same(at(z, 3, m - k), {-f3.im, -f3.re});
        }
        test::recordMeasurement("factor_n" + std::to_string(n), worst);
        EXPECT_LE(worst, kFactorBound) << "n = " << n;
        EXPECT_EQ(wrong, 0) << "n = " << n;
    }
}

// With quarter 0 = 1: a^k in quarters 0 and 1, a^(3k) in 2 and 3 (a = e^(i pi/M)). With
// quarter 1 = 1: a^(k+m), -a^(k+m), a^(3k+3m), -a^(3k+3m). At m-k each run holds the other's
// value at k with parts exchanged, and negated in quarters 1 and 2, bit for bit.
TEST(TwistedQuarterStage, WritesAccurateFactorsWithExactMirrors) {
    for (int n = kSmallest; n <= kLargest; n *= 2) {
        const int M = n / 2, m = n / 8;
        const std::vector<double> first = stagedUnitQuarter(twistedQuarterStage, n, 0);
        const std::vector<double> second = stagedUnitQuarter(twistedQuarterStage, n, 1);
        const std::vector<ComplexL> roots = test::unitRoots(2 * M);
        auto a = [&](long e) { return roots[static_cast<std::size_t>(e % (2 * M))]; };
        double worst = 0.0;
        int wrong = 0;
        for (int k = 0; k < m; ++k) {
            const ComplexL want1[] = {a(k), a(k), a(3 * k), a(3 * k)};
            const ComplexL want2[] = {a(k + m), a(k + m + M), a(3 * k + 3 * m),
                                      a(3 * k + 3 * m + M)};
            for (int Q = 0; Q < 4; ++Q) {
                worst = std::max(
                    {worst, dist(at(first, Q, k), want1[Q]), dist(at(second, Q, k), want2[Q])});
            }
            for (int Q = 0; k > 0 && Q < 4; ++Q) {
                const double s = Q == 0 || Q == 3 ? 1.0 : -1.0;
                const Pt f = at(first, Q, k), g = at(second, Q, k);
                wrong += !same(at(first, Q, m - k), {s * g.im, s * g.re});
                wrong += !same(at(second, Q, m - k), {s * f.im, s * f.re});
            }
        }
        test::recordMeasurement("twisted_factor_n" + std::to_string(n), worst);
        EXPECT_LE(worst, kFactorBound) << "n = " << n;
        EXPECT_EQ(wrong, 0) << "n = " << n;
    }
}

// The inverse transform's only difference in the stages: exact conjugation of the input.
TEST(QuarterStageConj, EqualsStageOfConjugatedBlockBitForBit) {
    for (int n = kSmallest; n <= (1 << 18); n *= 2) {
        const std::vector<double> z = test::randomDoubles(n, 200 + n);
        std::vector<double> viaConj = z, viaPlain = test::conjugated(z);
        quarterStageConj(n, viaConj.data());
        quarterStage(n, viaPlain.data());
        EXPECT_EQ(test::firstBitDifference(viaConj, viaPlain), -1) << "n = " << n;
    }
}

// Each stored constant is the double nearest to its exact value (MPFR at 256 bits).
TEST(StoredConstants, AreTheNearestDoubles) {
    // f(pi * num/den) rounded to double; f = 0 for the angle itself.
    auto nearest = [](int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), unsigned num, unsigned den) {
        mpfr_t x;
        mpfr_init2(x, 256);
        mpfr_const_pi(x, MPFR_RNDN);
        mpfr_mul_ui(x, x, num, MPFR_RNDN);
        mpfr_div_ui(x, x, den, MPFR_RNDN);
        if (f) f(x, x, MPFR_RNDN);
        const double d = mpfr_get_d(x, MPFR_RNDN);
        mpfr_clear(x);
        return d;
    };
    EXPECT_EQ(detail::kHalfPi, nearest(nullptr, 1, 2));
    EXPECT_EQ(detail::kSqrtHalf, nearest(mpfr_cos, 1, 4));
    EXPECT_EQ(detail::kNegSqrtHalf, -nearest(mpfr_cos, 1, 4));
    EXPECT_EQ(detail::kCos8, nearest(mpfr_cos, 1, 8));
    EXPECT_EQ(detail::kSin8, nearest(mpfr_sin, 1, 8));
    EXPECT_EQ(detail::kCos16, nearest(mpfr_cos, 1, 16));
    EXPECT_EQ(detail::kSin16, nearest(mpfr_sin, 1, 16));
    EXPECT_EQ(detail::kCos3_16, nearest(mpfr_cos, 3, 16));
    EXPECT_EQ(detail::kSin3_16, nearest(mpfr_sin, 3, 16));
}

}  // namespace
}  // namespace oskelon
