// Correctly rounded sin/cos: reduction by a multiple of pi/2, a fast table-based evaluation to a
// relative error below 2^-65 with a rounding test, and an accurate double-double evaluation to
// below 2^-100 with the same test for the rare arguments the fast one cannot decide.
//
// Notation: RN is rounding to nearest, u = 2^-53, and every bound is relative to the exact value
// unless it says otherwise. The exact transformations used:
//   twoSum(a, b)      -> s + e = a + b exactly, s = RN(a + b)                     (Knuth)
//   fastTwoSum(a, b)  -> the same when a = 0 or exponent(a) >= exponent(b)        (Dekker)
//   twoProduct(a, b)  -> p + e = a b exactly, p = RN(a b), for |a|, |b| < 2^995 and a b = 0 or
//                        |a b| >= 2^-969 (Dekker's product on Veltkamp's 26 + 27 bit splitting)
#include "fft/rounded_sincos.h"

#include <emmintrin.h>

#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
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
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;  // RN(pi/4); up to it k = 0
// Beyond RN(pi/4) x 2/pi rounds above 1/2, so k = 1; up to this bound (exact: P1 is a multiple of
// 2^-42) P1 - x >= 2^-20 and the short reduction of reduceNearHalfPi applies.
constexpr double kNearHalfPiEnd = kP1 - 0x1p-20;

// ---------------------------------------------------------------------------------------------
// Fast evaluation. r = a + t with a = i/128, i = round(128 rh) in 0..101, |t| <= 2^-8 (1 + 2^-52):
//   sin r = (S + Sl) cos t + (C + Cl) sin t,   cos r = (C + Cl) cos t - (S + Sl) sin t,
// with S + Sl and C + Cl the double-doubles nearest to sin a and cos a (relative error <= u^2).
// Each lane is y = A cos t + B sin t with (A, B) = (S, C) for the sine and (C, -S) for the
// cosine, A = a + l and B = b + m as double-doubles. With th = rh - a (exact by Sterbenz's lemma,
// |th| <= 2^-8) and tl = rl:
//   sin t = th + tl + ps + O(th^2 tl),  ps = sin th - th = th^3 (-1/6 + th^2/120 - th^4/5040),
//   cos t - 1 = pc - th tl + O(th^3 tl + tl^2),  pc = cos th - 1 = th^2 (-1/2 + th^2/24
//   - th^4/720),
// the truncations being below 2^-82 |th| and 2^-79.3. th = tH + tL is split by Veltkamp's
// method (tH of 26 significant bits, |tL| <= 2^-26 |th|), and the table holds bH, b rounded to 26
// significant bits the same way, and bLm = RN((b - bH) + m), so that the leading product bH tH is
// exact and
//   y = a + bH tH + [(bLm tH + l) + (b (tL + tl) - a th tl)] + [b ps + a pc] + (dropped terms),
// a + bH tH being formed exactly by fastTwoSum (|bH tH| < 2^-8 <= |a| in the exponent sense for
// i >= 1; for i = 0 the sine lane has a = 0 and the cosine lane bH = 0). The first bracket does
// not wait for the polynomials.
//
// Error bound, per lane and relative to the exact y, using |a| <= 2.25 |y| (sine lane: S <= i/128
// and sin r >= 0.8967 r >= 0.8967 i/256 for i >= 1; cosine lane: y >= cos(pi/4 (1 + 2^-40))),
// |b th| <= 1.13 |y| (|th| <= r for i >= 1, th <= r (1 + 2^-51) for i = 0) and |tl| <= 2^-52 rh
// <= 2^-52 1.13 |y|; in units of 2^-70 |y|:
//   pc carries 4.01u relative (the two sums of the polynomial, t2, the product): 2.01u th^2,
//       times |a|                                                                           9.1
//   ps carries 6.01u relative on |th|^3/6, times |b|: 1.002u |b th| th^2                     2.3
//   the roundings of a pc and of b ps, and the dropped l (cos t - 1)                        5.0
//   the sums b ps + a pc and early + late, each of magnitude below 2^-15.6 |y|              5.3
//   the first bracket and se (all its terms below 2^-25 |y|), the dropped m (sin t - tH)
//       and (sin th - th) tl, the table (u^2), the reduction (2^-100, times r/|y| <= 1.13),
//       the truncations                                                                     0.8
// in all below 22.5 2^-70 < 2^-65.5, stated as kFastBound = 2^-65.
struct TableEntry {
    double sinHi, sinLo, cosHi, cosLo;
};

// sin(i/128) and cos(i/128) for i = 0..101 as the nearest double-doubles (hi = RN(v), lo =
// RN(v - hi)), checked against MPFR by the tests.
constexpr TableEntry kTable[kFastTableSize] = {
    {0x0p+0, 0x0p+0, 0x1p+0, 0x0p+0},
    {0x1.fffeaaaaeeeefp-8, -0x1.e45e2ec67b77cp-62, 0x1.fffc000155552p-1, 0x1.f4a01a0196daep-55},
    {0x1.fffaaaaeeeed5p-7, -0x1.2ab639a9f0776p-63, 0x1.fff000155549fp-1, 0x1.28a28a03a5ef3p-55},
    {0x1.7ff7001033255p-6, 0x1.efe2b51527336p-64, 0x1.ffdc006bff7e6p-1, 0x1.ae6dae86977bdp-55},
    {0x1.ffeaaaeeee86fp-6, -0x1.cd406fb224ae2p-60, 0x1.ffc00155527d3p-1, -0x1.3b54492d89b5bp-55},
    {0x1.3feb2b12d45d5p-5, 0x1.4ec54203d1c11p-60, 0x1.ff9c03414a7bap-1, 0x1.991f4be6c59bfp-57},
    {0x1.7fdc01032fba9p-5, -0x1.599bdf46e997ap-59, 0x1.ff7006bfdf99fp-1, -0x1.8b3b560648d5fp-56},
    {0x1.bfc6d78586dacp-5, 0x1.8e4fd03dbf236p-62, 0x1.ff3c0c8103a31p-1, 0x1.4856dbddc0e66p-56},
    {0x1.ffaaaeeed4edbp-5, -0x1.2d16d32684b69p-59, 0x1.ff0015549f4d3p-1, 0x1.328387b99426fp-55},
    {0x1.1fc343d808befp-4, -0x1.f3d32e6f3be4fp-58, 0x1.febc222a8ef9fp-1, 0x1.7934934f54c77p-58},
    {0x1.3facb12d1755bp-4, -0x1.921915299468bp-58, 0x1.fe7034129ef6fp-1, -0x1.cbf4337c96f97p-57},
    {0x1.5f911fd10b737p-4, -0x1.0184f02be9102p-58, 0x1.fe1c4c3c873ebp-1, -0x1.5a9c9057c4a02p-60},
    {0x1.7f701032550e4p-4, 0x1.afc2d1800501ap-60, 0x1.fdc06bf7e6b9bp-1, 0x1.31902b535f8dbp-55},
    {0x1.9f4902d55d1f9p-4, 0x1.2696d7eac1dc1p-58, 0x1.fd5c94b43ep-1, -0x1.2e768cb4f92f9p-57},
    {0x1.bf1b78568391dp-4, 0x1.e91841dea4cc8p-58, 0x1.fcf0c800e99b1p-1, 0x1.ea3d786d186acp-57},
    {0x1.dee6f16c1cce6p-4, -0x1.50f8e2fb71673p-59, 0x1.fc7d078d1bc88p-1, 0x1.075d2447db685p-55},
    {0x1.feaaeee86ee36p-4, -0x1.afcb2bcc6f03bp-59, 0x1.fc015527d5bd3p-1, 0x1.b68f35094efb8p-55},
    {0x1.0f3378ddd71d1p-3, 0x1.d8468724f0f9ep-57, 0x1.fb7db2bfe0695p-1, 0x1.21dadf4f65ab1p-55},
    {0x1.1f0d3d7afceafp-3, -0x1.6ef95099769a5p-57, 0x1.faf22263c4bd3p-1, -0x1.52ace133a2769p-58},
    {0x1.2ee285e4ab88fp-3, -0x1.e4d0f05dee058p-57, 0x1.fa5ea641c36f2p-1, 0x1.04da6ed17cc7cp-59},
    {0x1.3eb312c5d66cbp-3, 0x1.47d666b66cb91p-57, 0x1.f9c340a7cc428p-1, 0x1.c5b6b063b7462p-55},
    {0x1.4e7ea4dc5f27bp-3, 0x1.949db2ac072fcp-58, 0x1.f91ff40374d01p-1, -0x1.7d03f4d3a9e4cp-57},
    {0x1.5e44fcfa126f3p-3, -0x1.6f443063f89b6p-57, 0x1.f874c2e1eecf6p-1, -0x1.c6514e1332b16p-55},
    {0x1.6e05dc05a4d4cp-3, -0x1.32c5c8b81c919p-66, 0x1.f7c1afeffde24p-1, -0x1.8f55bc47540b1p-56},
    {0x1.7dc102fbaf2b5p-3, 0x1.5ab50e23c97c3p-59, 0x1.f706bdf9ece1cp-1, -0x1.698c80c36dcb4p-55},
    {0x1.8d7632efaa944p-3, -0x1.20fa262cbb953p-57, 0x1.f643efeb82acdp-1, 0x1.6b00ac1fe28acp-56},
    {0x1.9d252d0cec312p-3, 0x1.9c43d80b1137dp-58, 0x1.f57948cff6797p-1, 0x1.e3a0d3e03b1d4p-57},
    {0x1.accdb297a0765p-3, -0x1.9883b57d6cdeap-58, 0x1.f4a6cbd1e3a79p-1, 0x1.13df0edaebb57p-55},
    {0x1.bc6f84edc6199p-3, 0x1.9c1a56a7b0cabp-57, 0x1.f3cc7c3b3d16ep-1, -0x1.21a3ad28a3494p-57},
    {0x1.cc0a6588289a3p-3, -0x1.868d09bc87c6bp-57, 0x1.f2ea5d753ffedp-1, 0x1.cc4215f56d583p-55},
    {0x1.db9e15fb5a5dp-3, -0x1.32e20d6cc6fc2p-57, 0x1.f20073086649fp-1, 0x1.b940416c1984bp-56},
    {0x1.eb2a57f8ae5a3p-3, -0x1.0be06af572cebp-57, 0x1.f10ec09c5873bp-1, 0x1.d9072762c1283p-55},
    {0x1.faaeed4f31577p-3, -0x1.15d88508e32b8p-57, 0x1.f01549f7deea1p-1, 0x1.d3c1e99e5cafdp-55},
    {0x1.0515cbf65155cp-2, -0x1.9b8c29dfd8ec7p-56, 0x1.ef141300d2f26p-1, -0x1.2aa1b08ded372p-55},
    {0x1.0cd00cef36436p-2, -0x1.9fb0a0c93e2b4p-56, 0x1.ee0b1fbc0f11cp-1, -0x1.bfd2380bbc3b1p-59},
    {0x1.14861aa94ddebp-2, -0x1.be881b5b615a4p-57, 0x1.ecfa744d5efa1p-1, -0x1.56d0a4af541dp-58},
    {0x1.1c37d64c6b876p-2, 0x1.46076fe0dcff4p-56, 0x1.ebe214f76efa8p-1, -0x1.02f9f12ba543ep-55},
    {0x1.23e52111aaf36p-2, -0x1.4f080334eff18p-56, 0x1.eac2061bbaf4fp-1, 0x1.2c1d53e94658dp-57},
    {0x1.2b8ddc43eb49fp-2, 0x1.1553899f2d807p-57, 0x1.e99a4c3a7cd83p-1, -0x1.2264b1bc53ce8p-55},
    {0x1.3331e94049f87p-2, 0x1.e0cb6b40c302cp-56, 0x1.e86aebf29a9edp-1, 0x1.9397afdbb58a7p-55},
    {0x1.3ad129769d3d8p-2, 0x1.03d550487839ap-63, 0x1.e733ea0193d4p-1, -0x1.6428b3546ce13p-55},
    {0x1.426b7e69ee697p-2, -0x1.f09c75705c59fp-56, 0x1.e5f54b436e9dp-1, 0x1.7eb0fd02fc8bcp-55},
    {0x1.4a00c9b0f3d2p-2, 0x1.823ba6bb08eadp-56, 0x1.e4af14b2a449cp-1, -0x1.68ca02e8a6833p-55},
    {0x1.5190ecf68a77ap-2, 0x1.b357155eef0f3p-56, 0x1.e3614b680d6a5p-1, -0x1.27793aa015237p-56},
    {0x1.591bc9fa2f597p-2, 0x1.7c74bac3fe0cbp-57, 0x1.e20bf49acd6c1p-1, -0x1.660aec7ef636bp-58},
    {0x1.60a1429078775p-2, 0x1.b1fd80ba89133p-58, 0x1.e0af15a03dbcep-1, 0x1.fe8e702771ae6p-58},
    {0x1.682138a38d7f7p-2, -0x1.d889202444aadp-56, 0x1.df4ab3ebd875ep-1, -0x1.e2d8a7e6736c4p-55},
    {0x1.6f9b8e33a0255p-2, 0x1.42bc14ee9da0dp-56, 0x1.ddded50f228d6p-1, -0x1.e80c8d42ba2bfp-57},
    {0x1.7710255764214p-2, -0x1.6ead7314bb6cep-57, 0x1.dc6b7eb995912p-1, 0x1.4b364776dcd35p-58},
    {0x1.7e7ee03c86d4ep-2, -0x1.b63bcdabf5af2p-56, 0x1.daf0b6b888e83p-1, 0x1.a249e2b5e5ceap-55},
    {0x1.85e7a12826949p-2, 0x1.8a40e9b5facep-56, 0x1.d96e82f71a9dcp-1, 0x1.ff61bd5d2039dp-55},
    {0x1.8d4a4a774992fp-2, 0x1.44a02ea766326p-56, 0x1.d7e4e97e17b4ap-1, -0x1.3b770352bed94p-57},
    {0x1.94a6be9f546c5p-2, -0x1.69ce13e683f58p-56, 0x1.d653f073e404p-1, -0x1.76236434bec37p-55},
    {0x1.9bfce02e8051p-2, 0x1.09e39a320b0a4p-56, 0x1.d4bb9e1c619ep-1, 0x1.f34bb77858f61p-55},
    {0x1.a34c91cc50ccap-2, -0x1.a310e3b50cecdp-58, 0x1.d31bf8d8d7c06p-1, 0x1.e60dd3089cbddp-56},
    {0x1.aa95b63a09277p-2, -0x1.6293eb13c0381p-57, 0x1.d1750727d94fp-1, 0x1.0d52b1ec1a48ep-55},
    {0x1.b1d8305321617p-2, -0x1.ae242cb99f519p-56, 0x1.cfc6cfa52ad9fp-1, 0x1.8b5b5508f2a0dp-55},
    {0x1.b913e30dbac43p-2, -0x1.e38ad2f6c3ff1p-56, 0x1.ce115909a82e5p-1, 0x1.1f139bb31109ap-55},
    {0x1.c048b17b140a3p-2, 0x1.19fe6757e9fa7p-57, 0x1.cc54aa2b2972ep-1, 0x1.4ee162ba83a98p-57},
    {0x1.c7767ec7fd19ep-2, -0x1.eb14d1a3d5826p-58, 0x1.ca90c9fc67d0bp-1, -0x1.46a81485e3462p-57},
    {0x1.ce9d2e3d4a51fp-2, -0x1.2fc8a12dae298p-57, 0x1.c8c5bf8ce1a84p-1, 0x1.ab3d1a1590123p-56},
    {0x1.d5bca34047661p-2, 0x1.28a44a75fc29cp-56, 0x1.c6f39208be53bp-1, -0x1.741dbfbaadb42p-55},
    {0x1.dcd4c15329c9ap-2, 0x1.0d4c6e171fd9ap-56, 0x1.c51a48b8b175ep-1, -0x1.1bbb43b9aa88p-57},
    {0x1.e3e56c1582a69p-2, -0x1.0a4821099f88fp-58, 0x1.c339eb01ddd81p-1, -0x1.caaf5ee82c5cp-55},
    {0x1.eaee8744b05fp-2, -0x1.789b43c9b027dp-58, 0x1.c1528065b7d5p-1, -0x1.892111312e828p-55},
    {0x1.f1eff6bc4f97bp-2, 0x1.17212f8a7525cp-56, 0x1.bf641081e7536p-1, 0x1.b7bd71628a9a1p-55},
    {0x1.f8e99e76abc97p-2, 0x1.9d950af2d00a3p-58, 0x1.bd6ea310294f5p-1, 0x1.31bbcc88c109dp-56},
    {0x1.ffdb628d2f57ap-2, 0x1.f4a992e905b6ap-57, 0x1.bb723fe630f32p-1, 0x1.72bd2452d0a39p-56},
    {0x1.0362939c69955p-1, -0x1.2d8cd78397b01p-55, 0x1.b96eeef58840ep-1, 0x1.45a3cc78fadep-58},
    {0x1.06d3686946e5bp-1, 0x1.3f5ae4538ff1bp-55, 0x1.b764b84b704c2p-1, -0x1.f5848c21b389bp-55},
    {0x1.0a4021e9e1001p-1, -0x1.6f643a13914f6p-55, 0x1.b553a410c104ep-1, 0x1.8ff7947027a15p-58},
    {0x1.0da8b26b5672ep-1, -0x1.a58def0bee909p-55, 0x1.b33bba89c8948p-1, 0x1.ea6a51d1f6ca9p-55},
    {0x1.110d0c4b69c3bp-1, 0x1.d918998809981p-55, 0x1.b11d04162a4c6p-1, 0x1.1dd561efbc0c2p-56},
    {0x1.146d21f8b7f82p-1, 0x1.bf9535e2739a8p-56, 0x1.aef78930bd275p-1, -0x1.f836279746f94p-56},
    {0x1.17c8e5f2eedbp-1, 0x1.35e57102e2488p-57, 0x1.accb526f69de5p-1, 0x1.8fb6a8dd6b6ccp-55},
    {0x1.1b204acb02fddp-1, -0x1.f190c70cbb5fep-58, 0x1.aa98688308913p-1, -0x1.b83d607cd5072p-63},
    {0x1.1e7343236574cp-1, 0x1.22a3fa4f41d5ap-56, 0x1.a85ed4373e02dp-1, 0x1.9be06385ec792p-57},
    {0x1.21c1c1b0394cfp-1, 0x1.e5b324b23aa31p-58, 0x1.a61e9e72586afp-1, 0x1.58330e2fd453fp-55},
    {0x1.250bb93788bbbp-1, 0x1.ea3d02457bccep-56, 0x1.a3d7d0352bdcfp-1, -0x1.68dbaeca19669p-55},
    {0x1.28511c917a067p-1, -0x1.01df1d9a16b7p-55, 0x1.a18a729aee445p-1, 0x1.95e25736c0357p-60},
    {0x1.2b91dea88421ep-1, -0x1.fa371db216abp-55, 0x1.9f368ed912f85p-1, -0x1.1d200c5791606p-55},
    {0x1.2ecdf279a3082p-1, 0x1.d3557e0e7e37ep-55, 0x1.9cdc2e3f25e5cp-1, 0x1.3f99112993f62p-55},
    {0x1.32054b148bc4fp-1, 0x1.f6b42095a135bp-55, 0x1.9a7b5a36a6514p-1, 0x1.722cfcc9fa7a9p-55},
    {0x1.3537db9be0367p-1, 0x1.b327e7af040fp-57, 0x1.98141c42e131p-1, 0x1.d1ff80488f08dp-55},
    {0x1.386597456282bp-1, -0x1.10fada93b07a8p-56, 0x1.95a67e00cb1fdp-1, -0x1.0befda21f862dp-55},
    {0x1.3b8e715a2840ap-1, -0x1.97653a7d2f07ap-56, 0x1.93328926d9e92p-1, -0x1.bb77003600cdap-55},
    {0x1.3eb25d36cd53ap-1, -0x1.be570e1570fcp-58, 0x1.90b84784ddaf7p-1, -0x1.0feb10ab93b87p-56},
    {0x1.41d14e4ba679p-1, 0x1.4608fd287ecf5p-55, 0x1.8e37c303d9ad1p-1, -0x1.463a4b53d4bf8p-57},
    {0x1.44eb381cf386bp-1, -0x1.3ed6c1e6a5505p-55, 0x1.8bb105a5dc9p-1, 0x1.863e03e9474c1p-55},
    {0x1.48000e431159fp-1, -0x1.b194a7463ed1p-55, 0x1.89241985d871fp-1, 0x1.c48d9c413ed84p-55},
    {0x1.4b0fc46aab761p-1, 0x1.0da05738cc59cp-61, 0x1.869108d77a6c6p-1, 0x1.338ffe2bfe9ddp-56},
    {0x1.4e1a4e54ed51bp-1, -0x1.a492f89b7c76ap-55, 0x1.83f7dde701cap-1, -0x1.152cf609bc6e8p-59},
    {0x1.511f9fd7b351cp-1, -0x1.5c0e861c48831p-55, 0x1.8158a31916d5dp-1, -0x1.de8b90b8228dep-57},
    {0x1.541facddbb724p-1, 0x1.232c28520d391p-56, 0x1.7eb362eaa1488p-1, 0x1.a1d65a4a5959fp-58},
    {0x1.571a6966d59b3p-1, 0x1.c843b4d0fb197p-58, 0x1.7c0827f09e54fp-1, -0x1.c73d6d72aee68p-57},
    {0x1.5a0fc98813a12p-1, -0x1.d82e2b7d4227bp-55, 0x1.7956fcd7f6543p-1, -0x1.ab276e9d45ae4p-55},
    {0x1.5cffc16bf8f0dp-1, 0x1.96cb370eb578ap-55, 0x1.769fec655211fp-1, -0x1.827d5cf8c68c5p-57},
    {0x1.5fea4552a9e57p-1, 0x1.0b6cef7ee20b7p-55, 0x1.73e30174efba1p-1, -0x1.5d3ae3d94ad5fp-57},
    {0x1.62cf49921ac79p-1, -0x1.edd9855b6241ap-55, 0x1.712046fa77678p-1, 0x1.425b0a5029c81p-55},
    {0x1.65aec2963e755p-1, 0x1.126f96b71053cp-55, 0x1.6e57c800cf55ep-1, 0x1.60286dedbd0a6p-55},
    {0x1.6888a4e134b2fp-1, -0x1.6b7d37644d5e6p-55, 0x1.6b898fa9efb5dp-1, 0x1.15ac786ccf4b2p-56},
    {0x1.6b5ce50b7821ap-1, -0x1.5d5158f702e0fp-57, 0x1.68b5a92eb6253p-1, -0x1.9a91ad985f89cp-55},
};

// Taylor coefficients; each quotient of exact integers is rounded once.
constexpr double kS3 = -1.0 / 6.0, kS5 = 1.0 / 120.0, kS7 = -1.0 / 5040.0;
constexpr double kC4 = 1.0 / 24.0, kC6 = -1.0 / 720.0;
constexpr double kTableShift = 0x1.8p45;  // adding and subtracting it rounds to a multiple of 2^-7

// Both results side by side, lane 0 the sine and lane 1 the cosine: the two evaluations are the
// same operations on (S, C) and (C, -S), each lane rounded as IEEE binary64 on its own.
using V2 = double __attribute__((vector_size(16)));
using M2 = std::int64_t __attribute__((vector_size(16)));
constexpr std::int64_t kNeg = std::numeric_limits<std::int64_t>::min();  // the sign bit

// Per lane the leading sum s and the rest, s + rest being the lane's value as a double-double
// (|rest| < 2^-15.5 |v| for the exact value v: the early terms are below 2^-25 |v| and the late
// ones below 2^-15.6 |v|, see the error bound above), and hi = RN(s + rest).
struct FastPair {
    V2 s;
    V2 rest;
    V2 hi;
};

constexpr double splitHi(double v) {
    const double c = 134217729.0 * v;  // 2^27 + 1
    return c - (c - v);
}

constexpr FastEntry fastEntry(const TableEntry& e) {
    const double b0 = e.cosHi, b1 = -e.sinHi;
    const double m0 = e.cosLo, m1 = -e.sinLo;
    const double h0 = splitHi(b0), h1 = splitHi(b1);
    return {{e.sinHi, e.cosHi},
            {b0, b1},
            {h0, h1},
            {e.sinLo, e.cosLo},
            {(b0 - h0) + m0, (b1 - h1) + m1}};
}

template <std::size_t... I>
constexpr std::array<FastEntry, sizeof...(I)> fastTable(std::index_sequence<I...>) {
    return {fastEntry(kTable[I])...};
}

constexpr std::array<FastEntry, kFastTableSize> kFastTableData =
    fastTable(std::make_index_sequence<kFastTableSize>());

inline V2 load2(const double (&d)[2]) {
    V2 v;
    std::memcpy(&v, d, sizeof v);
    return v;
}

// sin r and cos r for rh >= 0 (see above).
inline FastPair fastPair(double rh, double rl) {
    // Adding 1.5 2^45 rounds rh to a multiple of 2^-7, a = i/128 with i in the low bits of the
    // sum; subtracting it again is exact. |th| <= 2^-8 and rh >= i/256: th is exact by Sterbenz.
    const double shifted = rh + kTableShift;
    const double th = rh - (shifted - kTableShift);
    const FastEntry& e = kFastTableData[std::bit_cast<std::uint64_t>(shifted) & 127];
    const double tl = rl;
    const double t2 = th * th;
    const double t4 = t2 * t2;
    const V2 poly = (V2{kS3, -0.5} + t2 * V2{kS5, kC4}) + t4 * V2{kS7, kC6};
    const V2 pp = V2{th * t2, t2} * poly;  // (ps, pc)
    const double c = 134217729.0 * th;     // Veltkamp: th = tH + tL
    const double tH = c - (c - th);
    const double tL = th - tH;

    const V2 a = load2(e.a);
    const V2 b = load2(e.b);
    const V2 p = load2(e.bHi) * tH;  // exact: 26 + 26 significant bits
    const V2 s = a + p;              // s + se = a + p exactly
    const V2 se = p - (s - a);
    // The terms known before the polynomials, then those that wait for them.
    const V2 early = se + ((load2(e.bLoM) * tH + load2(e.l)) + (b * (tL + tl) - a * (th * tl)));
    const V2 late = b * pp[0] + a * pp[1];
    const V2 rest = early + late;
    return {s, rest, s + rest};
}

// Whether hi is the nearest double to the exact value v in every lane, given |v - (s + rest)| <=
// e |v| with e = kFastBound: RN(s + RN(rest + E)) = RN(s + RN(rest - E)) = hi with E = 2e |s|.
// E needs only s, so it is ready before rest. With |rest| < 2^-15.5 |v|: |s| >= (1 - 2^-15) |v|,
// E >= 2e (1 - 2^-15) |v|, and the rounding of rest +- E moves it by at most u |rest +- E| <
// 2^-68.4 |v| < e |v| / 8, so s + RN(rest + E) >= s + rest + 1.8 e |v| >= v and likewise
// s + RN(rest - E) <= v. RN is monotonic, so RN(v) = hi, v never being a midpoint (see
// roundsToHi). e is a power of two: E is exact.
inline bool fastDecided(const FastPair& f) {
    const V2 err = std::bit_cast<V2>(std::bit_cast<M2>(f.s) & ~M2{kNeg, kNeg}) * (2.0 * kFastBound);
    const __m128d hi = std::bit_cast<__m128d>(f.hi);
    const __m128d up = _mm_cmpeq_pd(std::bit_cast<__m128d>(f.s + (f.rest + err)), hi);
    const __m128d down = _mm_cmpeq_pd(std::bit_cast<__m128d>(f.s + (f.rest - err)), hi);
    return _mm_movemask_pd(_mm_and_pd(up, down)) == 3;
}

// (sin x, cos x) from sin |r| and cos |r|, x = k pi/2 + r, q = k mod 4, n = 1 when r < 0.
// Odd quadrants exchange the lanes; kResultSigns[2q + n] holds the sign bits then applied.
alignas(16) constexpr std::int64_t kSwapLanes[4][2] = {{0, 0}, {-1, -1}, {0, 0}, {-1, -1}};
alignas(16) constexpr std::int64_t kResultSigns[8][2] = {
    {0, 0}, {kNeg, 0}, {0, kNeg}, {0, 0}, {kNeg, kNeg}, {0, kNeg}, {kNeg, 0}, {kNeg, kNeg},
};

inline M2 loadMask(const std::int64_t (&d)[2]) {
    M2 v;
    std::memcpy(&v, d, sizeof v);
    return v;
}

inline SinCos placeInQuadrant(V2 sc, unsigned q, unsigned negative) {
    const M2 straight = std::bit_cast<M2>(sc);
    const M2 swapped = std::bit_cast<M2>(__builtin_shufflevector(sc, sc, 1, 0));
    const M2 m = loadMask(kSwapLanes[q]);
    const M2 y = ((straight & ~m) | (swapped & m)) ^ loadMask(kResultSigns[2 * q + negative]);
    const V2 r = std::bit_cast<V2>(y);
    return {r[0], r[1]};
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

const FastEntry& fastTableEntry(int i) {
    return kFastTableData[static_cast<std::size_t>(i)];
}

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

namespace {

// pi/2 - |x| for RN(pi/4) < |x| <= kNearHalfPiEnd, to which the fast evaluation is applied in place
// of x - k pi/2 (k = +-1): sin x = sign(x) cos(pi/2 - |x|), cos x = sin(pi/2 - |x|).
// s = P1 - |x| is exact (both are multiples of 2^-53 and |s| < 1), and s >= 2^-20 > P2 makes
// rh + e = s + P2 exact (fastTwoSum). rl = e + P3 rounds once (below 2^-106 rh + 2^-140), and P4
// and the representation error of pi/2 are dropped (below 2^-131.8); with r >= s >= 2^-20 the
// reduced argument is within 2^-100 r. |rl| <= ulp(rh)/2 + 2^-87.8 <= 2^-52 rh, and r < pi/4
// since |x| > pi/4.
inline DoubleDouble reduceNearHalfPi(double ax) {
    const double s = kP1 - ax;
    const double rh = s + kP2;
    return {rh, (kP2 - (rh - s)) + kP3};
}

}  // namespace

Reduced reduceFast(double x) {
    const double ax = std::fabs(x);
    if (ax <= kQuarterPi) return {0, {x, 0.0}};
    if (ax <= kNearHalfPiEnd) {  // x - pi/2 = -(pi/2 - x), x + pi/2 = pi/2 - |x|
        const DoubleDouble r = reduceNearHalfPi(ax);
        return x > 0.0 ? Reduced{1, {-r.hi, -r.lo}} : Reduced{3, r};
    }
    const double kd = (x * kTwoOverPi + kRoundingShift) - kRoundingShift;  // |k| >= 1
    const double s = x - kd * kP1;                                         // exact, as in reduce
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
    const V2 lo = y.rest - (y.hi - y.s);  // fastTwoSum: |s| >= |rest|
    return {{y.hi[0], lo[0]}, {y.hi[1], lo[1]}};
}

bool fastDecides(DoubleDouble r) {
    return fastDecided(fastPair(r.hi, r.lo));
}

KernelResult accurateKernel(DoubleDouble r) {
    const DoubleDouble z = ddMul(r, r);
    return {ddMul(r, horner(kSinSeries, z)), horner(kCosSeries, z)};
}

namespace {

// The accurate evaluation, for the arguments whose fast result the rounding test cannot decide.
// When even its test would fail the nearest double to hi + lo is returned; it is then the
// correctly rounded value unless the exact one lies within 2^-100 of a midpoint, which no
// argument the program uses does (the tests compare every one of them with MPFR).
[[gnu::noinline, gnu::cold]] SinCos accurateSinCos(double x) {
    const Reduced red = reduce(x);
    const unsigned negative = red.r.hi < 0.0 ? 1 : 0;
    const KernelResult acc = accurateKernel(negative ? DoubleDouble{-red.r.hi, -red.r.lo} : red.r);
    return placeInQuadrant(V2{acc.sin.hi, acc.cos.hi}, static_cast<unsigned>(red.quadrant),
                           negative);
}

// Every argument the fast path of roundedSinCos leaves: tiny ones, those outside the domain and
// those within 2^-20 of a nonzero multiple of pi/2.
[[gnu::noinline]] SinCos edgeSinCos(double x) {
    const double ax = std::fabs(x);
    if (!(ax <= kRoundedSinCosMaxArgument)) {  // NaN too
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    // |sin x - x| < |x|^3/6 <= 2^-54.58 |x| and 1 - cos x < x^2/2 <= 2^-55: within half an ulp
    // (also below a power of two), and never a tie; sin(-0) = -0.
    if (ax < 0x1p-27) return {x, 1.0};
    const Reduced red = reduce(x);
    const unsigned negative = red.r.hi < 0.0 ? 1 : 0;
    const double sign = negative ? -1.0 : 1.0;
    const FastPair f = fastPair(red.r.hi * sign, red.r.lo * sign);
    if (!fastDecided(f)) return accurateSinCos(x);
    return placeInQuadrant(f.hi, static_cast<unsigned>(red.quadrant), negative);
}

}  // namespace
}  // namespace sincos_detail

SinCos roundedSinCos(double x) {
    using namespace sincos_detail;
    // The reduction of reduceFast with its cases merged: x is sent to edgeSinCos when it is tiny,
    // outside the domain (NaN too) or |x - k P1| < 2^-20 (k != 0 beyond kNearHalfPiEnd).
    const double ax = std::fabs(x);
    if (ax <= kNearHalfPiEnd) {
        if (!(ax >= 0x1p-27)) return edgeSinCos(x);
        if (ax <= kQuarterPi) {  // sin x = sign(x) sin |x|, cos x = cos |x|
            const FastPair f = fastPair(ax, 0.0);
            if (!fastDecided(f)) return accurateSinCos(x);
            return {std::copysign(f.hi[0], x), f.hi[1]};
        }
        const DoubleDouble r = reduceNearHalfPi(ax);
        const FastPair f = fastPair(r.hi, r.lo);
        if (!fastDecided(f)) return accurateSinCos(x);
        return {std::copysign(f.hi[1], x), f.hi[0]};
    }
    const double shifted = x * kTwoOverPi + kRoundingShift;
    const double kd = shifted - kRoundingShift;
    const double s = x - kd * kP1;
    if (!((ax <= kRoundedSinCosMaxArgument) & (std::fabs(s) >= 0x1p-20))) return edgeSinCos(x);
    const double p2 = kd * kP2;
    const double rh = s - p2;
    const double rl = ((s - rh) - p2) - kd * kP3;
    // The low bits of shifted are k in two's complement (|k| < 2^51).
    const auto q = static_cast<unsigned>(std::bit_cast<std::uint64_t>(shifted) & 3);
    // |r|: clearing the sign of rh and flipping that of rl by it.
    const std::uint64_t sign = std::bit_cast<std::uint64_t>(rh) & (std::uint64_t{1} << 63);
    const FastPair f =
        fastPair(std::fabs(rh), std::bit_cast<double>(std::bit_cast<std::uint64_t>(rl) ^ sign));
    if (!fastDecided(f)) return accurateSinCos(x);
    return placeInQuadrant(f.hi, q, static_cast<unsigned>(sign >> 63));
}

double roundedSin(double x) {
    return roundedSinCos(x).sin;
}

double roundedCos(double x) {
    return roundedSinCos(x).cos;
}

}  // namespace oskelon
