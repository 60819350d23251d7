// Correctly rounded sine and cosine in double precision, from the basic IEEE operations alone.
//
// The transform's factors and the engine's twiddles are derived from sin/cos of fixed angles; the
// results must be the same bits on every platform and with every compiler, which a platform's
// libm does not promise. Every operation here is an IEEE binary64 addition, subtraction or
// multiplication in round-to-nearest (no fused multiply-add, no extended precision), so the results
// depend on the arguments alone.
//
// Domain: |x| <= kRoundedSinCosMaxArgument (1024). Within it both results are the doubles nearest
// to the exact sin x and cos x, except for the candid caveat of the accurate evaluation described
// in rounded_sincos.cpp (an undecidable case there is not known to exist; none occurs among the
// angles the program uses, which the tests check one by one). Outside the domain, and for infinite
// or NaN x, both results are NaN.
#pragma once

namespace oskelon {

inline constexpr double kRoundedSinCosMaxArgument = 1024.0;

struct SinCos {
    double sin;
    double cos;
};

// sin x and cos x, each rounded to nearest.
SinCos roundedSinCos(double x);

double roundedSin(double x);
double roundedCos(double x);

// The stages of roundedSinCos, exposed so that the tests can measure their errors against the
// bounds claimed in rounded_sincos.cpp. Not for use elsewhere.
namespace sincos_detail {

// An unevaluated sum hi + lo with |lo| <= ulp(hi)/2.
struct DoubleDouble {
    double hi;
    double lo;
};

struct Reduced {
    int quadrant;    // k mod 4
    DoubleDouble r;  // x - k pi/2, |r| <= pi/4 (1 + 2^-40)
};

// x - k pi/2 with k the integer nearest to x 2/pi (ties either way), for
// 2^-27 <= |x| <= kRoundedSinCosMaxArgument.
Reduced reduce(double x);
// The same within 2^-100 |r| and with |rl| <= 2^-52 |rh|, for the fast evaluation; quadrant -1
// when |r| may be below 2^-21 and reduce is needed.
Reduced reduceFast(double x);

struct KernelResult {
    DoubleDouble sin;
    DoubleDouble cos;
};

// sin r and cos r for r = rh + rl, 2^-61 <= rh <= pi/4 (1 + 2^-40), |rl| <= 2^-52 rh.
KernelResult fastKernel(DoubleDouble r);
// The same for |rh| <= pi/4 (1 + 2^-40), to the tighter bound of the accurate evaluation.
KernelResult accurateKernel(DoubleDouble r);

// Whether the rounding test of the fast evaluation, as roundedSinCos applies it, decides both
// results of fastKernel(r).
bool fastDecides(DoubleDouble r);

// Whether hi is the nearest double to every value v with |v - (hi + lo)| <= relBound |v|, for
// |lo| <= ulp(hi)/2, relBound a power of two <= 2^-60 (see rounded_sincos.cpp).
bool roundsToHi(DoubleDouble y, double relBound);

// Relative error bounds of the two kernels including the reduction (see rounded_sincos.cpp).
inline constexpr double kFastBound = 0x1p-65;

// The fast kernel's table for a = i/128, i = 0..kFastTableSize-1, in the layout of its two lanes
// (sine, cosine): y = A cos t + B sin t with A = a + l = (sin a, cos a) and B = b + m =
// (cos a, -sin a) as the nearest double-doubles.
inline constexpr int kFastTableSize = 102;
struct alignas(16) FastEntry {
    double a[2];
    double b[2];
    double bHi[2];  // b rounded to 26 significant bits by Veltkamp's splitting (2^27 + 1)
    double l[2];
    double bLoM[2];  // RN((b - bHi) + m)
};
const FastEntry& fastTableEntry(int i);
inline constexpr double kAccurateBound = 0x1p-100;

}  // namespace sincos_detail
}  // namespace oskelon
