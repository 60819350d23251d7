// Correctly rounded sin/cos: reduction by a multiple of pi/2, a fast table-based evaluation to a
// relative error below 2^-64 with a rounding test, and an accurate double-double evaluation to
// below 2^-100 with the same test for the rare arguments the fast one cannot decide.
//
// Notation: RN is rounding to nearest, u = 2^-53, and every bound is relative to the exact value
// unless it says otherwise. The exact transformations used:
//   twoSum(a, b)      -> s + e = a + b exactly, s = RN(a + b)                     (Knuth)
//   fastTwoSum(a, b)  -> the same when a = 0 or exponent(a) >= exponent(b)        (Dekker)
//   twoProduct(a, b)  -> p + e = a b exactly, p = RN(a b), for |a|, |b| < 2^995 and a b = 0 or
//                        |a b| >= 2^-969 (Dekker's product on Veltkamp's 26 + 27 bit splitting)
#include "fft/rounded_sincos.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

static_assert(std::numeric_limits<double>::is_iec559, "IEEE binary64 arithmetic is required");
static_assert(FLT_EVAL_METHOD == 0, "double expressions must be evaluated in double precision");

namespace oskelon {
namespace sincos_detail {
namespace {

struct Pair {
    double hi;
    double lo;
};

inline Pair twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

inline Pair fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

inline Pair split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

inline Pair twoProduct(double a, double b) {
    const double p = a * b;
    const Pair as = split(a);
    const Pair bs = split(b);
    return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

// Double-double product, relative error below 5u^2 (the dropped al*bl and the roundings of the
// two cross products and of their sum with the exact error term).
inline DoubleDouble ddMul(DoubleDouble a, DoubleDouble b) {
    const Pair p = twoProduct(a.hi, b.hi);
    const double e = p.lo + (a.hi * b.lo + a.lo * b.hi);
    const Pair n = fastTwoSum(p.hi, e);
    return {n.hi, n.lo};
}

// Double-double sum, relative error below 4u^2 (|a| + |b|) / |a + b|.
inline DoubleDouble ddAdd(DoubleDouble a, DoubleDouble b) {
    const Pair s = twoSum(a.hi, b.hi);
    const double e = s.lo + (a.lo + b.lo);
    const Pair n = fastTwoSum(s.hi, e);
    return {n.hi, n.lo};
}

// ---------------------------------------------------------------------------------------------
// Reduction. pi/2 = P1 + P2 + P3 + P4 + d with P1..P3 of 43 significant bits, P4 = RN of the
// rest and |d| < 2^-187. For |x| <= 1024 the quotient k satisfies |k| <= 652 < 2^10, so each
// k*Pi with i <= 3 is exact, and |k P4| < 2^-122 is rounded with an error below 2^-176.
constexpr double kP1 = 0x1.921fb54442cp+0;
constexpr double kP2 = 0x1.18469898cc4p-44;
constexpr double kP3 = 0x1.1701b839a24p-88;
constexpr double kP4 = 0x1.2049c1114cf99p-132;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kRoundingShift = 0x1.8p52;  // adding and subtracting it rounds to an integer

// ---------------------------------------------------------------------------------------------
// Fast evaluation. r = a + t with a = i/64, i = round(64 rh) in 0..51, |t| <= 2^-7 (1 + 2^-52):
//   sin r = S + S (cos t - 1) + C sin t,   cos r = C + C (cos t - 1) - S sin t,
// with S + Sl and C + Cl the double-doubles nearest to sin a and cos a (relative error <= u^2).
// With th = rh - a (exact by Sterbenz) and tl = rl:
//   sin t = th + tl + ps + O(t^2 tl),   ps = sin th - th = th^3 (-1/6 + th^2/120 - ...),
//   cos t - 1 = pc - th tl + O(tl^2),   pc = cos th - 1 = th^2 (-1/2 + th^2/24 - ...),
// ps and pc being Taylor polynomials whose truncation is below 2^-75 |th|^3 and 2^-82 th^2.
// The leading sums S + C th and C - S th are formed exactly (twoProduct, fastTwoSum: |C th|,
// |S th| <= 2^-7 < |S| for i >= 1, and S = 0, C = 1 for i = 0) and the remaining terms, each
// below 2^-15 times the result, are added in double. Per result this costs at most eight
// roundings of quantities below 2^-15 |y| (<= 2^-66 |y| together), the 3u relative error of
// pc or ps (<= 2^-66.4 |y|, using S <= 2 |sin r| for i >= 1), the dropped Cl (sin t - t),
// Sl (cos t - 1) and O(t^2 tl) terms (<= 2^-68 |y|), the reduction (2^-100) and the truncation:
// below 2^-64.5 |y| in all, stated as kFastBound = 2^-64.
struct TableEntry {
    double sinHi, sinLo, cosHi, cosLo;
};

// sin(i/64) and cos(i/64) for i = 0..51 as the nearest double-doubles (hi = RN(v), lo =
// RN(v - hi)).
constexpr TableEntry kTable[52] = {
    {0x0p+0, 0x0p+0, 0x1p+0, 0x0p+0},
    {0x1.fffaaaaeeeed5p-7, -0x1.2ab639a9f0776p-63, 0x1.fff000155549fp-1, 0x1.28a28a03a5ef3p-55},
    {0x1.ffeaaaeeee86fp-6, -0x1.cd406fb224ae2p-60, 0x1.ffc00155527d3p-1, -0x1.3b54492d89b5bp-55},
    {0x1.7fdc01032fba9p-5, -0x1.599bdf46e997ap-59, 0x1.ff7006bfdf99fp-1, -0x1.8b3b560648d5fp-56},
    {0x1.ffaaaeeed4edbp-5, -0x1.2d16d32684b69p-59, 0x1.ff0015549f4d3p-1, 0x1.328387b99426fp-55},
    {0x1.3facb12d1755bp-4, -0x1.921915299468bp-58, 0x1.fe7034129ef6fp-1, -0x1.cbf4337c96f97p-57},
    {0x1.7f701032550e4p-4, 0x1.afc2d1800501ap-60, 0x1.fdc06bf7e6b9bp-1, 0x1.31902b535f8dbp-55},
    {0x1.bf1b78568391dp-4, 0x1.e91841dea4cc8p-58, 0x1.fcf0c800e99b1p-1, 0x1.ea3d786d186acp-57},
    {0x1.feaaeee86ee36p-4, -0x1.afcb2bcc6f03bp-59, 0x1.fc015527d5bd3p-1, 0x1.b68f35094efb8p-55},
    {0x1.1f0d3d7afceafp-3, -0x1.6ef95099769a5p-57, 0x1.faf22263c4bd3p-1, -0x1.52ace133a2769p-58},
    {0x1.3eb312c5d66cbp-3, 0x1.47d666b66cb91p-57, 0x1.f9c340a7cc428p-1, 0x1.c5b6b063b7462p-55},
    {0x1.5e44fcfa126f3p-3, -0x1.6f443063f89b6p-57, 0x1.f874c2e1eecf6p-1, -0x1.c6514e1332b16p-55},
    {0x1.7dc102fbaf2b5p-3, 0x1.5ab50e23c97c3p-59, 0x1.f706bdf9ece1cp-1, -0x1.698c80c36dcb4p-55},
    {0x1.9d252d0cec312p-3, 0x1.9c43d80b1137dp-58, 0x1.f57948cff6797p-1, 0x1.e3a0d3e03b1d4p-57},
    {0x1.bc6f84edc6199p-3, 0x1.9c1a56a7b0cabp-57, 0x1.f3cc7c3b3d16ep-1, -0x1.21a3ad28a3494p-57},
    {0x1.db9e15fb5a5dp-3, -0x1.32e20d6cc6fc2p-57, 0x1.f20073086649fp-1, 0x1.b940416c1984bp-56},
    {0x1.faaeed4f31577p-3, -0x1.15d88508e32b8p-57, 0x1.f01549f7deea1p-1, 0x1.d3c1e99e5cafdp-55},
    {0x1.0cd00cef36436p-2, -0x1.9fb0a0c93e2b4p-56, 0x1.ee0b1fbc0f11cp-1, -0x1.bfd2380bbc3b1p-59},
    {0x1.1c37d64c6b876p-2, 0x1.46076fe0dcff4p-56, 0x1.ebe214f76efa8p-1, -0x1.02f9f12ba543ep-55},
    {0x1.2b8ddc43eb49fp-2, 0x1.1553899f2d807p-57, 0x1.e99a4c3a7cd83p-1, -0x1.2264b1bc53ce8p-55},
    {0x1.3ad129769d3d8p-2, 0x1.03d550487839ap-63, 0x1.e733ea0193d4p-1, -0x1.6428b3546ce13p-55},
    {0x1.4a00c9b0f3d2p-2, 0x1.823ba6bb08eadp-56, 0x1.e4af14b2a449cp-1, -0x1.68ca02e8a6833p-55},
    {0x1.591bc9fa2f597p-2, 0x1.7c74bac3fe0cbp-57, 0x1.e20bf49acd6c1p-1, -0x1.660aec7ef636bp-58},
    {0x1.682138a38d7f7p-2, -0x1.d889202444aadp-56, 0x1.df4ab3ebd875ep-1, -0x1.e2d8a7e6736c4p-55},
    {0x1.7710255764214p-2, -0x1.6ead7314bb6cep-57, 0x1.dc6b7eb995912p-1, 0x1.4b364776dcd35p-58},
    {0x1.85e7a12826949p-2, 0x1.8a40e9b5facep-56, 0x1.d96e82f71a9dcp-1, 0x1.ff61bd5d2039dp-55},
    {0x1.94a6be9f546c5p-2, -0x1.69ce13e683f58p-56, 0x1.d653f073e404p-1, -0x1.76236434bec37p-55},
    {0x1.a34c91cc50ccap-2, -0x1.a310e3b50cecdp-58, 0x1.d31bf8d8d7c06p-1, 0x1.e60dd3089cbddp-56},
    {0x1.b1d8305321617p-2, -0x1.ae242cb99f519p-56, 0x1.cfc6cfa52ad9fp-1, 0x1.8b5b5508f2a0dp-55},
    {0x1.c048b17b140a3p-2, 0x1.19fe6757e9fa7p-57, 0x1.cc54aa2b2972ep-1, 0x1.4ee162ba83a98p-57},
    {0x1.ce9d2e3d4a51fp-2, -0x1.2fc8a12dae298p-57, 0x1.c8c5bf8ce1a84p-1, 0x1.ab3d1a1590123p-56},
    {0x1.dcd4c15329c9ap-2, 0x1.0d4c6e171fd9ap-56, 0x1.c51a48b8b175ep-1, -0x1.1bbb43b9aa88p-57},
    {0x1.eaee8744b05fp-2, -0x1.789b43c9b027dp-58, 0x1.c1528065b7d5p-1, -0x1.892111312e828p-55},
    {0x1.f8e99e76abc97p-2, 0x1.9d950af2d00a3p-58, 0x1.bd6ea310294f5p-1, 0x1.31bbcc88c109dp-56},
    {0x1.0362939c69955p-1, -0x1.2d8cd78397b01p-55, 0x1.b96eeef58840ep-1, 0x1.45a3cc78fadep-58},
    {0x1.0a4021e9e1001p-1, -0x1.6f643a13914f6p-55, 0x1.b553a410c104ep-1, 0x1.8ff7947027a15p-58},
    {0x1.110d0c4b69c3bp-1, 0x1.d918998809981p-55, 0x1.b11d04162a4c6p-1, 0x1.1dd561efbc0c2p-56},
    {0x1.17c8e5f2eedbp-1, 0x1.35e57102e2488p-57, 0x1.accb526f69de5p-1, 0x1.8fb6a8dd6b6ccp-55},
    {0x1.1e7343236574cp-1, 0x1.22a3fa4f41d5ap-56, 0x1.a85ed4373e02dp-1, 0x1.9be06385ec792p-57},
    {0x1.250bb93788bbbp-1, 0x1.ea3d02457bccep-56, 0x1.a3d7d0352bdcfp-1, -0x1.68dbaeca19669p-55},
    {0x1.2b91dea88421ep-1, -0x1.fa371db216abp-55, 0x1.9f368ed912f85p-1, -0x1.1d200c5791606p-55},
    {0x1.32054b148bc4fp-1, 0x1.f6b42095a135bp-55, 0x1.9a7b5a36a6514p-1, 0x1.722cfcc9fa7a9p-55},
    {0x1.386597456282bp-1, -0x1.10fada93b07a8p-56, 0x1.95a67e00cb1fdp-1, -0x1.0befda21f862dp-55},
    {0x1.3eb25d36cd53ap-1, -0x1.be570e1570fcp-58, 0x1.90b84784ddaf7p-1, -0x1.0feb10ab93b87p-56},
    {0x1.44eb381cf386bp-1, -0x1.3ed6c1e6a5505p-55, 0x1.8bb105a5dc9p-1, 0x1.863e03e9474c1p-55},
    {0x1.4b0fc46aab761p-1, 0x1.0da05738cc59cp-61, 0x1.869108d77a6c6p-1, 0x1.338ffe2bfe9ddp-56},
    {0x1.511f9fd7b351cp-1, -0x1.5c0e861c48831p-55, 0x1.8158a31916d5dp-1, -0x1.de8b90b8228dep-57},
    {0x1.571a6966d59b3p-1, 0x1.c843b4d0fb197p-58, 0x1.7c0827f09e54fp-1, -0x1.c73d6d72aee68p-57},
    {0x1.5cffc16bf8f0dp-1, 0x1.96cb370eb578ap-55, 0x1.769fec655211fp-1, -0x1.827d5cf8c68c5p-57},
    {0x1.62cf49921ac79p-1, -0x1.edd9855b6241ap-55, 0x1.712046fa77678p-1, 0x1.425b0a5029c81p-55},
    {0x1.6888a4e134b2fp-1, -0x1.6b7d37644d5e6p-55, 0x1.6b898fa9efb5dp-1, 0x1.15ac786ccf4b2p-56},
    {0x1.6e2b77c40bde1p-1, -0x1.0e729857fad53p-56, 0x1.65dc1fdeb8cbap-1, -0x1.97c1b47337c77p-58},
};

// Taylor coefficients; each quotient of exact integers is rounded once.
constexpr double kS3 = -1.0 / 6.0, kS5 = 1.0 / 120.0, kS7 = -1.0 / 5040.0, kS9 = 1.0 / 362880.0;
constexpr double kC4 = 1.0 / 24.0, kC6 = -1.0 / 720.0, kC8 = 1.0 / 40320.0;

// Both results side by side, lane 0 the sine and lane 1 the cosine: the two evaluations are the
// same operations on (S, C) and (C, -S), each lane rounded as IEEE binary64 on its own.
using V2 = double __attribute__((vector_size(16)));

struct FastPair {
    V2 hi;
    V2 lo;
};

// kTable in the lanes' layout, with b split into 26 + 27 bits for the exact product b th.
struct FastEntry {
    double a[2];  // (S, C): the leading terms
    double b[2];  // (C, -S): their factors of sin t
    double bHi[2], bLo[2];
    double l[2];  // (Sl, Cl)
    double m[2];  // (Cl, -Sl)
};

constexpr double splitHi(double v) {
    const double c = 134217729.0 * v;
    return c - (c - v);
}

constexpr FastEntry fastEntry(const TableEntry& e) {
    const double cHi = splitHi(e.cosHi), sHi = splitHi(e.sinHi);
    return {{e.sinHi, e.cosHi}, {e.cosHi, -e.sinHi}, {cHi, -sHi}, {e.cosHi - cHi, sHi - e.sinHi},
            {e.sinLo, e.cosLo}, {e.cosLo, -e.sinLo}};
}

template <std::size_t... I>
constexpr std::array<FastEntry, sizeof...(I)> fastTable(std::index_sequence<I...>) {
    return {fastEntry(kTable[I])...};
}

constexpr std::array<FastEntry, 52> kFastTable = fastTable(std::make_index_sequence<52>());

inline V2 load2(const double (&d)[2]) {
    V2 v;
    std::memcpy(&v, d, sizeof v);
    return v;
}

inline FastPair fastPair(double rh, double rl) {
    // 64 rh is exact and the shift rounds it to the nearest integer, so |th| <= 1/128 and
    // rh >= i/128: th is exact by Sterbenz's lemma.
    const double id = (rh * 64.0 + kRoundingShift) - kRoundingShift;
    const FastEntry& e = kFastTable[static_cast<int>(id)];
    const double th = rh - id * 0x1p-6;
    const double tl = rl;
    const double t2 = th * th;
    const double t4 = t2 * t2;
    const V2 poly = (V2{kS3, -0.5} + t2 * V2{kS5, kC4}) + t4 * (V2{kS7, kC6} + t2 * V2{kS9, kC8});
    const V2 pp = V2{th * t2, t2} * poly;   // (sin th - th, cos th - 1)
    const double cosTm1 = pp[1] - th * tl;  // cos t - 1
    const double sinTmTh = tl + pp[0];      // sin t - th

    const V2 a = load2(e.a);
    const V2 b = load2(e.b);
    const V2 l = load2(e.l);
    const V2 m = load2(e.m);
    const V2 bHi = load2(e.bHi);
    const V2 bLo = load2(e.bLo);

    // p + pe = b th exactly (Dekker's product on Veltkamp's splitting of b and th).
    const double ct = 134217729.0 * th;
    const double thHi = ct - (ct - th);
    const double thLo = th - thHi;
    const V2 p = b * th;
    const V2 pe = ((bHi * thHi - p) + bHi * thLo + bLo * thHi) + bLo * thLo;

    // s + se = a + p exactly (|p| <= 2^-7 < |a| or a = 0 in the sine lane of i = 0).
    const V2 s = a + p;
    const V2 se = p - (s - a);
    const V2 rest = ((se + pe) + (l + m * th)) + (b * sinTmTh + a * cosTm1);
    const V2 y = s + rest;
    return {y, rest - (y - s)};
}

// ---------------------------------------------------------------------------------------------
// Accurate evaluation: the Taylor series of sin r / r and cos r in z = r^2 (|z| <= 0.617),
// truncated after z^13 and z^14 (remainders below 2^-112 and 2^-120), with double-double
// coefficients (the nearest double-doubles to 1/n!, relative error <= u^2) evaluated by Horner's
// rule in double-double arithmetic. Each Horner step adds to c_k a product at most
// 0.617/((2k+2)(2k+3)) <= 0.11 times its size, so there is no cancellation: the step at k adds
// below (5u^2 + 4.5u^2) 0.11^k relative to the final value plus the error it inherits scaled by
// 0.11. The sum over all steps, the final product by r and the error of z = r^2 (scaled by
// 0.11) stay below 13u^2 = 2^-102.3; with the reduction (2^-104, propagated with a factor <= 1
// to both results) and the truncation the total is below 2^-101.5, stated as kAccurateBound =
// 2^-100.
constexpr DoubleDouble kSinSeries[14] = {
    // (-1)^k / (2k+1)!, k = 0..13
    {0x1p+0, 0x0p+0},
    {-0x1.5555555555555p-3, -0x1.5555555555555p-57},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {-0x1.a01a01a01a01ap-13, -0x1.a01a01a01a01ap-73},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6cp-73},
    {-0x1.ae64567f544e4p-26, 0x1.c062e06d1f209p-80},
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
    {-0x1.ae7f3e733b81fp-41, -0x1.1d8656b0ee8cbp-97},
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},
    {-0x1.2f49b46814157p-57, -0x1.2650f61dbdcb4p-112},
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},
    {-0x1.761b41316381ap-75, 0x1.3423c7d91404fp-130},
    {0x1.3f3ccdd165fa9p-84, -0x1.58ddadf344487p-139},
    {-0x1.d1ab1c2dccea3p-94, -0x1.054d0c78aea14p-149},
};
constexpr DoubleDouble kCosSeries[15] = {
    // (-1)^k / (2k)!, k = 0..14
    {0x1p+0, 0x0p+0},
    {-0x1p-1, 0x0p+0},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {-0x1.6c16c16c16c17p-10, 0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {-0x1.27e4fb7789f5cp-22, -0x1.cbbc05b4fa99ap-76},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},
    {-0x1.93974a8c07c9dp-37, -0x1.05d6f8a2efd1fp-92},
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},
    {-0x1.6827863b97d97p-53, -0x1.eec01221a8b0bp-107},
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},
    {-0x1.0ce396db7f853p-70, 0x1.aebcdbd20331cp-124},
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},
    {-0x1.88e85fc6a4e5ap-89, 0x1.71c37ebd1654p-143},
    {0x1.0a18a2635085dp-98, 0x1.b9e2e28e1aa54p-153},
};

template <int N>
inline DoubleDouble horner(const DoubleDouble (&c)[N], DoubleDouble z) {
    DoubleDouble p = c[N - 1];
    for (int k = N - 2; k >= 0; --k) p = ddAdd(ddMul(p, z), c[k]);
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Rounding test. Given y = hi + lo with hi = RN(y), |lo| <= ulp(hi)/2, and the exact value v with
// |v - y| <= e |v| (e <= 2^-60), RN(v) = hi when both hi + (lo - E) and hi + (lo + E) round to
// hi, E = 2e |hi|: RN is monotonic, and the roundings of lo +- E move the ends of [lo - E, lo + E]
// by at most u (|lo| + E) <= 2^-106 |hi| + u E, so the tested interval still covers
// [lo - e |v|, lo + e |v|]. v is never a midpoint itself (sin and cos of a nonzero double are
// transcendental), so a tie cannot mislead the test. e is a power of two: E is exact.
bool roundsToHi(DoubleDouble y, double relBound) {
    const double e = std::fabs(y.hi) * (2.0 * relBound);
    return y.hi + (y.lo + e) == y.hi && y.hi + (y.lo - e) == y.hi;
}

Reduced reduceFast(double x) {
    const double kd = (x * kTwoOverPi + kRoundingShift) - kRoundingShift;
    if (kd == 0.0) return {0, {x, 0.0}};
    const double s = x - kd * kP1;  // exact, as in reduce
    if (!(std::fabs(s) >= 0x1p-20)) return {-1, {0.0, 0.0}};
    // |s| >= 2^-20 > |k P2| makes rh + e = s - k P2 exact (fastTwoSum). rl = e - k P3 rounds once
    // (below 2^-106 |r| + 2^-131) and drops k P4 (below 2^-122); with |r| >= 2^-21 the reduced
    // argument is within 2^-100 |r|, and |rl| <= ulp(rh)/2 + 2^-78 <= 2^-52 |rh|.
    const double p2 = kd * kP2;
    const double rh = s - p2;
    const double rl = ((s - rh) - p2) - kd * kP3;
    return {static_cast<int>(kd) & 3, {rh, rl}};
}

Reduced reduce(double x) {
    const double kd = (x * kTwoOverPi + kRoundingShift) - kRoundingShift;
    const int k = static_cast<int>(kd);
    if (k == 0) return {0, {x, 0.0}};
    // x - k P1 is exact: both are multiples of ulp(x) (|x| <= 2^11 and ulp(k P1) >= 2^-42) and the
    // difference is below pi/4 (1 + 2^-40) < 2 ulp(x) 2^52.
    const double s = x - kd * kP1;
    const Pair a = twoSum(s, -(kd * kP2));
    const Pair c = twoSum(a.lo, -(kd * kP3));
    // |a.lo| <= u|a.hi|, |c.lo| <= u|c.hi|: the tail's two roundings are below 2^-159 |a.hi| +
    // 2^-170, the rounding of the sum of the middle terms below 2u^2 |r|, and the representation
    // error of pi/2 adds 652 * 2^-187. Since |r| >= 2^-60.5 for every double in the domain with
    // k != 0 (the nearest doubles to multiples of pi/2, checked by the tests) and |a.hi| <= |r| +
    // 2^-32, the reduced argument is within 2^-104 |r|.
    const double tail = c.lo - kd * kP4;
    const Pair h = twoSum(a.hi, c.hi);
    const Pair r = fastTwoSum(h.hi, h.lo + tail);
    return {k & 3, {r.hi, r.lo}};
}

KernelResult fastKernel(DoubleDouble r) {
    const FastPair y = fastPair(r.hi, r.lo);
    return {{y.hi[0], y.lo[0]}, {y.hi[1], y.lo[1]}};
}

KernelResult accurateKernel(DoubleDouble r) {
    const DoubleDouble z = ddMul(r, r);
    return {ddMul(r, horner(kSinSeries, z)), horner(kCosSeries, z)};
}

}  // namespace sincos_detail

SinCos roundedSinCos(double x) {
    using namespace sincos_detail;
    const double ax = std::fabs(x);
    if (!(ax <= kRoundedSinCosMaxArgument)) {  // NaN too
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    // |sin x - x| < |x|^3/6 <= 2^-54.58 |x| and 1 - cos x < x^2/2 <= 2^-55: within half an ulp
    // (also below a power of two), and never a tie; sin(-0) = -0.
    if (ax < 0x1p-27) return {x, 1.0};

    Reduced red = reduceFast(x);
    if (red.quadrant < 0) red = reduce(x);
    const bool negative = red.r.hi < 0.0;
    const double rh = negative ? -red.r.hi : red.r.hi;
    const double rl = negative ? -red.r.lo : red.r.lo;
    const FastPair f = fastPair(rh, rl);
    // The rounding test of roundsToHi on both lanes at once.
    const V2 err = (f.hi < 0.0 ? -f.hi : f.hi) * (2.0 * kFastBound);
    const auto decided = (f.hi + (f.lo + err) == f.hi) & (f.hi + (f.lo - err) == f.hi);
    double sinR = f.hi[0], cosR = f.hi[1];
    if (!(decided[0] && decided[1])) {
        // When even the accurate test fails the nearest double to hi + lo is returned; it is then
        // the correctly rounded value unless the exact one lies within 2^-100 of a midpoint,
        // which no argument the program uses does (the tests compare every one of them with
        // MPFR).
        const Reduced exact = reduce(x);
        const KernelResult acc =
            accurateKernel(negative ? DoubleDouble{-exact.r.hi, -exact.r.lo} : exact.r);
        sinR = acc.sin.hi;
        cosR = acc.cos.hi;
    }
    const double sr = negative ? -sinR : sinR;
    const double cr = cosR;
    switch (red.quadrant) {
        case 0:
            return {sr, cr};
        case 1:
            return {cr, -sr};
        case 2:
            return {-sr, -cr};
        default:
            return {-cr, sr};
    }
}

double roundedSin(double x) {
    return roundedSinCos(x).sin;
}

double roundedCos(double x) {
    return roundedSinCos(x).cos;
}

}  // namespace oskelon
