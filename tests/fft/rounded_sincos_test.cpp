// roundedSinCos against MPFR's correctly rounded sin and cos, over every angle the program uses
// and a random sample of the domain; the error bounds of the reduction and of both kernels
// against MPFR at high precision.
#include "fft/rounded_sincos.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "support/program_angles.h"

namespace oskelon {
namespace {

using sincos_detail::DoubleDouble;

class Mpfr {
  public:
    explicit Mpfr(mpfr_prec_t bits) { mpfr_init2(v_, bits); }
    ~Mpfr() { mpfr_clear(v_); }
    Mpfr(const Mpfr&) = delete;
    Mpfr& operator=(const Mpfr&) = delete;
    mpfr_ptr get() { return v_; }

  private:
    mpfr_t v_;
};

// MPFR's sin and cos of x rounded to nearest double.
SinCos oracle(double x) {
    Mpfr a(53), s(53), c(53);
    mpfr_set_d(a.get(), x, MPFR_RNDN);
    mpfr_sin(s.get(), a.get(), MPFR_RNDN);
    mpfr_cos(c.get(), a.get(), MPFR_RNDN);
    return {mpfr_get_d(s.get(), MPFR_RNDN), mpfr_get_d(c.get(), MPFR_RNDN)};
}

bool sameBits(double a, double b) {
    return std::signbit(a) == std::signbit(b) && (a == b || (std::isnan(a) && std::isnan(b)));
}

// Compares every x with the oracle; returns the number of mismatches, reporting the first few.
int mismatches(const std::vector<double>& xs) {
    int bad = 0;
    for (const double x : xs) {
        const SinCos got = roundedSinCos(x);
        const SinCos want = oracle(x);
        if (!sameBits(got.sin, want.sin) || !sameBits(got.cos, want.cos)) {
            if (++bad <= 5) {
                ADD_FAILURE() << std::hexfloat << "x = " << x << ": sin " << got.sin << " vs "
                              << want.sin << ", cos " << got.cos << " vs " << want.cos;
            }
        }
    }
    return bad;
}

// |(hi + lo) - v| / |v| for the exact value v held in e.
double relativeError(DoubleDouble y, mpfr_ptr e) {
    Mpfr d(400);
    mpfr_sub_d(d.get(), e, y.hi, MPFR_RNDN);
    mpfr_sub_d(d.get(), d.get(), y.lo, MPFR_RNDN);
    mpfr_div(d.get(), d.get(), e, MPFR_RNDN);
    return std::fabs(mpfr_get_d(d.get(), MPFR_RNDN));
}

// Whether, in both lanes of fastKernel(r), every value within kFastBound of the fast result y =
// hi + lo (|v - y| <= e |v| implies |v - y| <= e |y| / (1 - e)) rounds to hi: what a positive
// fastDecides(r) asserts.
bool fastDecisionIsSound(DoubleDouble r) {
    const auto fast = sincos_detail::fastKernel(r);
    Mpfr y(200), d(200), end(200);
    for (const DoubleDouble lane : {fast.sin, fast.cos}) {
        mpfr_set_d(y.get(), lane.hi, MPFR_RNDN);
        mpfr_add_d(y.get(), y.get(), lane.lo, MPFR_RNDN);  // exact at 200 bits
        mpfr_abs(d.get(), y.get(), MPFR_RNDN);
        mpfr_mul_d(d.get(), d.get(), sincos_detail::kFastBound * (1 + 0x1p-60), MPFR_RNDU);
        mpfr_add(end.get(), y.get(), d.get(), MPFR_RNDN);
        if (mpfr_get_d(end.get(), MPFR_RNDN) != lane.hi) return false;
        mpfr_sub(end.get(), y.get(), d.get(), MPFR_RNDN);
        if (mpfr_get_d(end.get(), MPFR_RNDN) != lane.hi) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

TEST(RoundedSinCos, EveryProgramAngleIsCorrectlyRounded) {
    // Angles of different lengths coincide (delta and pi/n scale exactly by powers of two), so
    // the distinct ones are about those of the longest length.
    const std::vector<double> angles = test::programAngles();
    ASSERT_GT(angles.size(), 16000u);
    EXPECT_EQ(mismatches(angles), 0);

    // Every angle is decided by one of the two rounding tests, so the result does not rest on
    // the accurate evaluation's unproven last case.
    int fallbacks = 0, libmDiffers = 0;
    auto absolute = [](sincos_detail::Reduced red) {
        return red.r.hi < 0.0 ? DoubleDouble{-red.r.hi, -red.r.lo} : red.r;
    };
    for (const double x : angles) {
        sincos_detail::Reduced red = sincos_detail::reduceFast(x);
        if (red.quadrant < 0) red = sincos_detail::reduce(x);
        if (sincos_detail::fastDecides(absolute(red))) {
            EXPECT_TRUE(fastDecisionIsSound(absolute(red))) << std::hexfloat << x;
            continue;
        }
        ++fallbacks;
        const auto acc = sincos_detail::accurateKernel(absolute(sincos_detail::reduce(x)));
        EXPECT_TRUE(sincos_detail::roundsToHi(acc.sin, sincos_detail::kAccurateBound) &&
                    sincos_detail::roundsToHi(acc.cos, sincos_detail::kAccurateBound))
            << std::hexfloat << x;
    }
    for (const double x : angles) {
        const SinCos ours = roundedSinCos(x);
        if (ours.sin != std::sin(x) || ours.cos != std::cos(x)) ++libmDiffers;
    }
    std::printf("%zu program angles, %d needed the accurate evaluation, %d differ from libm\n",
                angles.size(), fallbacks, libmDiffers);
}

TEST(RoundedSinCos, RandomSampleOfTheDomain) {
    std::mt19937_64 rng(20240611);
    std::vector<double> xs;
    std::uniform_real_distribution<double> uniform(-kRoundedSinCosMaxArgument,
                                                   kRoundedSinCosMaxArgument);
    std::uniform_real_distribution<double> logMag(-32.0, 10.0);
    std::uniform_real_distribution<double> quarter(0.0, 0x1.921fb54442d18p0);
    for (int i = 0; i < 60000; ++i) xs.push_back(uniform(rng));
    for (int i = 0; i < 60000; ++i) {
        const double m = std::exp2(logMag(rng));
        xs.push_back(rng() & 1 ? m : -m);
    }
    for (int i = 0; i < 60000; ++i) xs.push_back(quarter(rng));
    for (int i = 0; i < 20000; ++i) xs.push_back(-quarter(rng));

    // Arguments closest to multiples of pi/2 (the deepest cancellation of the reduction) and
    // their neighbours, and the ends of the fast evaluation's table intervals.
    Mpfr p(300), y(300);
    mpfr_const_pi(p.get(), MPFR_RNDN);
    for (int k = 1; k <= 652; ++k) {
        mpfr_mul_ui(y.get(), p.get(), static_cast<unsigned long>(k), MPFR_RNDN);
        mpfr_div_2ui(y.get(), y.get(), 1, MPFR_RNDN);
        double x = mpfr_get_d(y.get(), MPFR_RNDN);
        for (int s = 0; s < 8; ++s) x = std::nextafter(x, 0.0);
        for (int s = 0; s < 16; ++s, x = std::nextafter(x, 2048.0)) {
            if (x > kRoundedSinCosMaxArgument) break;
            xs.push_back(x);
            xs.push_back(-x);
        }
    }
    // The ends of the reduction as pi/2 - |x|: RN(pi/4) and P1 - 2^-20.
    for (const double end : {0x1.921fb54442d18p-1, 0x1.921fb54442cp+0 - 0x1p-20}) {
        double x = end;
        for (int s = 0; s < 8; ++s) x = std::nextafter(x, 0.0);
        for (int s = 0; s < 16; ++s, x = std::nextafter(x, 2.0)) {
            xs.push_back(x);
            xs.push_back(-x);
        }
    }
    for (int i = 0; i <= 204; ++i) {
        double x = i / 256.0;
        for (int s = 0; s < 4; ++s) x = std::nextafter(x, 0.0);
        for (int s = 0; s < 8; ++s, x = std::nextafter(x, 1.0)) xs.push_back(x);
    }

    // Tiny arguments: around the cut at 2^-27, subnormals and signed zeros.
    for (double x = 0x1p-28; x < 0x1p-26; x *= 1.0001) xs.push_back(x);
    for (double x = std::numeric_limits<double>::denorm_min(); x < 0x1p-1000; x *= 1e6) {
        xs.push_back(x);
        xs.push_back(-x);
    }
    xs.push_back(0.0);
    xs.push_back(-0.0);
    xs.push_back(kRoundedSinCosMaxArgument);
    xs.push_back(-kRoundedSinCosMaxArgument);

    ASSERT_GT(xs.size(), 200000u);
    EXPECT_EQ(mismatches(xs), 0);
}

TEST(RoundedSinCos, OutsideTheDomainBothAreNaN) {
    for (const double x :
         {std::nextafter(kRoundedSinCosMaxArgument, 2048.0), -1e300,
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()}) {
        const SinCos y = roundedSinCos(x);
        EXPECT_TRUE(std::isnan(y.sin) && std::isnan(y.cos)) << x;
    }
}

// ---------------------------------------------------------------------------------------------
// The bounds the rounding tests rely on.

// The reduction's claim rests on |x - k pi/2| >= 2^-60.5 for every double of the domain with
// k != 0; the nearest double to each multiple attains the minimum for its k.
TEST(RoundedSinCosBounds, ReductionIsAccurateAtTheDeepestCancellations) {
    Mpfr halfPi(400), y(400), r(400);
    mpfr_const_pi(halfPi.get(), MPFR_RNDN);
    mpfr_div_2ui(halfPi.get(), halfPi.get(), 1, MPFR_RNDN);
    double worstDistance = 1.0, worstError = 0.0, worstFastError = 0.0;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> uniform(-kRoundedSinCosMaxArgument,
                                                   kRoundedSinCosMaxArgument);
    auto check = [&](double x) {
        const sincos_detail::Reduced red = sincos_detail::reduce(x);
        mpfr_set_d(y.get(), x, MPFR_RNDN);
        mpfr_div(r.get(), y.get(), halfPi.get(), MPFR_RNDN);
        mpfr_round(r.get(), r.get());
        const long k = mpfr_get_si(r.get(), MPFR_RNDN);
        mpfr_mul_si(r.get(), halfPi.get(), k, MPFR_RNDN);
        mpfr_sub(r.get(), y.get(), r.get(), MPFR_RNDN);  // exact x - k pi/2 to 400 bits
        EXPECT_EQ(red.quadrant, static_cast<int>(k & 3)) << std::hexfloat << x;
        if (k != 0)
            worstDistance = std::min(worstDistance, std::fabs(mpfr_get_d(r.get(), MPFR_RNDN)));
        worstError = std::max(worstError, relativeError(red.r, r.get()));
        const sincos_detail::Reduced fast = sincos_detail::reduceFast(x);
        if (fast.quadrant >= 0) {
            EXPECT_EQ(fast.quadrant, red.quadrant) << std::hexfloat << x;
            EXPECT_LE(std::fabs(fast.r.lo), 0x1p-52 * std::fabs(fast.r.hi)) << std::hexfloat << x;
            worstFastError = std::max(worstFastError, relativeError(fast.r, r.get()));
        } else {  // refused when |x - k P1| < 2^-20, so |r| < 2^-20 + |k P2| < 2^-20 (1 + 2^-14)
            EXPECT_LT(std::fabs(red.r.hi), 0x1p-20 * (1 + 0x1p-14)) << std::hexfloat << x;
        }
    };
    for (int k = 1; k <= 652; ++k) {
        mpfr_mul_ui(y.get(), halfPi.get(), static_cast<unsigned long>(k), MPFR_RNDN);
        const double x = mpfr_get_d(y.get(), MPFR_RNDN);
        check(x);
        check(std::nextafter(x, 0.0));
        check(-x);
        if (std::nextafter(x, 2048.0) <= kRoundedSinCosMaxArgument)
            check(std::nextafter(x, 2048.0));
    }
    for (int i = 0; i < 20000; ++i) {
        const double x = uniform(rng);
        if (std::fabs(x) >= 0x1p-27) check(x);
    }
    // (pi/4, pi/2 - 2^-20], reduced as pi/2 - |x|: uniformly and at both ends.
    std::uniform_real_distribution<double> upperQuarter(0x1.921fb54442d18p-1, 0x1.921fb54442d18p0);
    for (int i = 0; i < 20000; ++i) {
        const double x = upperQuarter(rng);
        check(i % 2 ? x : -x);
    }
    for (const double end : {0x1.921fb54442d18p-1, 0x1.921fb54442cp+0 - 0x1p-20}) {
        double x = end;
        for (int s = 0; s < 4; ++s) x = std::nextafter(x, 0.0);
        for (int s = 0; s < 8; ++s, x = std::nextafter(x, 2.0)) {
            check(x);
            check(-x);
        }
    }
    EXPECT_GE(worstDistance, std::exp2(-60.5));
    EXPECT_LE(worstError, 0x1p-104);
    EXPECT_LE(worstFastError, 0x1p-100);
}

// The fast kernel's table: sin(i/128) and cos(i/128) as the nearest double-doubles from MPFR, and
// the derived columns as the kernel's exact product needs them. A wrong row is printed as it
// should read in rounded_sincos.cpp.
TEST(RoundedSinCosBounds, FastTableHoldsTheNearestDoubleDoubles) {
    Mpfr v(300), s(300), c(300), d(300);
    auto nearest = [&](mpfr_ptr exact) {
        const double hi = mpfr_get_d(exact, MPFR_RNDN);
        mpfr_sub_d(d.get(), exact, hi, MPFR_RNDN);
        return DoubleDouble{hi, mpfr_get_d(d.get(), MPFR_RNDN)};
    };
    for (int i = 0; i < sincos_detail::kFastTableSize; ++i) {
        mpfr_set_ui(v.get(), static_cast<unsigned long>(i), MPFR_RNDN);
        mpfr_div_2ui(v.get(), v.get(), 7, MPFR_RNDN);
        mpfr_sin_cos(s.get(), c.get(), v.get(), MPFR_RNDN);
        const DoubleDouble sn = nearest(s.get()), cs = nearest(c.get());
        const sincos_detail::FastEntry& e = sincos_detail::fastTableEntry(i);
        EXPECT_TRUE(e.a[0] == sn.hi && e.l[0] == sn.lo && e.a[1] == cs.hi && e.l[1] == cs.lo &&
                    e.b[0] == cs.hi && e.b[1] == -sn.hi)
            << "i = " << i << ", should be\n"
            << std::hexfloat << "    {" << sn.hi << ", " << sn.lo << ", " << cs.hi << ", " << cs.lo
            << "},";
        const double m[2] = {cs.lo, -sn.lo};
        for (int lane = 0; lane < 2; ++lane) {
            const double b = e.b[lane], bHi = e.bHi[lane];
            std::uint64_t bits;
            std::memcpy(&bits, &bHi, sizeof bits);
            EXPECT_EQ(bits & ((std::uint64_t{1} << 27) - 1), 0u) << i;  // <= 26 significant bits
            EXPECT_LE(std::fabs(b - bHi), 0x1p-26 * std::fabs(b)) << i;
            EXPECT_EQ(e.bLoM[lane], (b - bHi) + m[lane]) << i;
        }
    }
}

// Kernel errors over r in [0, pi/4 (1 + 2^-40)] with a low part, including the table ends and
// tiny r, against sin and cos to 400 bits.
TEST(RoundedSinCosBounds, KernelsStayWithinTheirBounds) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> quarter(0.0, 0x1.921fb54442d18p-1 * (1 + 0x1p-40));
    std::uniform_real_distribution<double> unit(-0.5, 0.5);
    std::uniform_real_distribution<double> logMag(-60.0, -1.0);
    Mpfr v(400), s(400), c(400);
    double fastWorst = 0.0, accurateWorst = 0.0;
    for (int i = 0; i < 24000; ++i) {
        double hi = i % 3 == 0 ? std::exp2(logMag(rng)) : quarter(rng);
        if (i % 3 == 1) {  // next to an end (2j + 1)/256 of a table interval
            hi = std::nextafter((std::floor(hi * 128.0) + 0.5) / 128.0, i % 2 ? 0.0 : 1.0);
        }
        hi = std::max(hi, 0x1p-27);
        const double lo = std::ldexp(unit(rng), std::ilogb(hi) - 52);  // |lo| <= ulp(hi)/2
        const DoubleDouble r{hi, lo};
        mpfr_set_d(v.get(), hi, MPFR_RNDN);
        mpfr_add_d(v.get(), v.get(), lo, MPFR_RNDN);
        mpfr_sin_cos(s.get(), c.get(), v.get(), MPFR_RNDN);
        const auto fast = sincos_detail::fastKernel(r);
        const auto accurate = sincos_detail::accurateKernel(r);
        fastWorst = std::max(
            {fastWorst, relativeError(fast.sin, s.get()), relativeError(fast.cos, c.get())});
        accurateWorst = std::max({accurateWorst, relativeError(accurate.sin, s.get()),
                                  relativeError(accurate.cos, c.get())});
    }
    std::printf("worst relative errors: fast 2^%.2f, accurate 2^%.2f\n", std::log2(fastWorst),
                std::log2(accurateWorst));
    EXPECT_LE(fastWorst, sincos_detail::kFastBound);
    EXPECT_LE(accurateWorst, sincos_detail::kAccurateBound);
}

}  // namespace
}  // namespace oskelon
