// Newton iterations for 1/x, sqrt(x) and 1/sqrt(k).
//
// Precision schedule: a step at working length d (a power of two) computes with
// f = min(count, d + 2) words, rounds the approximation to d/2 + 1 words (one transform half) and
// forms the correction with f2 = max(f/2 + 1, f - d/2 - 1) words, since the correction only
// affects the lower half. Each step returns g, the number of leading words by which the residual
// of the approximation entering it lies below 1 (below x for the square root). A step passes when
// 3g >= f - 2, except the first one whose length reaches n/8, which must show 2g > f - 2; a
// failed step is repeated at the same length with the improved approximation. The last step runs
// at d = n with all count words.
#include "mp/newton.h"

#include <algorithm>
#include <cmath>

#include "mp/elementary.h"
#include "mp/engine.h"
#include "mp/products.h"
#include "mp/word_blocks.h"

namespace oskelon {
namespace {

// A step that keeps failing its test is repeated at most this often before the schedule moves
// on; correct operands pass within one or two repetitions, so the bound only guards against an
// endless loop on operands outside the contracts.
constexpr int kMaxRepeats = 64;

int correctionLength(int f, int d) {
    return std::max(f / 2 + 1, f - d / 2 - 1);
}

void clearWords(int from, int count, MpNumber& x) {
    if (from < count) detail::fillSpread(x.words() + from, x.words() + count, std::int16_t{0});
}

// Runs the schedule: step(d, f) returns g for one step at length d with f words.
template <typename Step>
void runSchedule(int count, int n, int d, Step&& step) {
    int strict = 8;
    int repeats = 0;
    while (d <= n) {
        const int f = std::min(count, d + 2);
        const int g = step(d, f);
        bool advance;
        if (strict * d >= n) {
            strict = 0;
            advance = 2 * g > f - 2;
        } else {
            advance = 3 * g >= f - 2;
        }
        if (advance || ++repeats > kMaxRepeats) {
            d *= 2;
            repeats = 0;
        }
    }
}

void reciprocalStart(int count, int radix, const MpNumber& x, MpNumber& out) {
    const double m = wordsToDouble(count, radix, x.words());
    double c = 1.0 / m;
    int E = -x.exponent;
    while (c < 1.0) {
        c *= radix;
        E -= 1;
    }
    out.sign = x.sign;
    out.exponent = E;
    doubleToWords(count, radix, c, out.words());
}

void sqrtStart(int count, int radix, const MpNumber& x, MpNumber& s, MpNumber& t) {
    s.sign = +1;
    t.sign = +1;
    double m = wordsToDouble(count, radix, x.words());
    int e = x.exponent;
    if (e % 2 != 0) {
        m *= radix;
        e -= 1;
    }
    double r = std::sqrt(m);
    int E = e / 2;
    if (r < 1.0) {
        r *= radix;
        E -= 1;
    }
    s.exponent = E;
    doubleToWords(count, radix, r, s.words());
    double c = 1.0 / r;
    int E1 = -E;
    while (c < 1.0) {
        c *= radix;
        E1 -= 1;
    }
    t.exponent = E1;
    doubleToWords(count, radix, c, t.words());
}

void inverseSqrtSmallStart(int count, int radix, int k, MpNumber& out) {
    double c = std::sqrt(1.0 / k);
    int E = 0;
    while (c < 1.0) {
        c *= radix;
        E -= 1;
    }
    out.sign = +1;
    out.exponent = E;
    doubleToWords(count, radix, c, out.words());
}

// y := y + y(1 - xy); returns the correct-word count of the y that entered.
int reciprocalStep(int f, int radix, const MpNumber& x, MpNumber& y, MpNumber& w1, MpNumber& w2,
                   int d, double* A1, double* A2) {
    const int h = d / 2 + 1;
    const int f2 = correctionLength(f, d);
    mpRound(f, radix, h, y);
    mpMulHalf(f, radix, y, x, w1, d, A1, A2);  // w1 = y * x_h; A1 keeps y
    mpSetOne(f, radix, w2);
    mpSub(f, radix, w2, w1, w2);               // w2 = 1 - y * x_h
    mpMulKept(f, radix, A1, h, x, w1, d, A2);  // w1 = y * (x from word h on)
    mpSub(f2, radix, w2, w1, w2);              // w2 = 1 - xy
    const int g = w2.sign == 0 ? d + 1 : -w2.exponent;
    mpMulKept(f2, radix, A1, 0, w2, w2, d, A2);  // w2 = y(1 - xy)
    mpAdd(f, radix, y, w2, y);
    return g;
}

// What A1 holds of t after a square-root step at `length` (0: nothing of use): its kept
// transform, or with `squared` already t^2 in the time domain, unreleased.
struct KeptT {
    int length = 0;
    bool squared = false;
};

// One coupled step for s ~ sqrt(x) and t ~ 1/s at length c; returns the correct-word count of s.
// `more`: a step follows this one (c < n).
int sqrtStep(int f, int radix, const MpNumber& x, MpNumber& s, MpNumber& t, MpNumber& w, int c,
             double* A1, double* A2, KeptT& kept, bool more) {
    const int e = std::max(c / 2, 2);
    const int h = c / 2 + 1;
    const int f2 = correctionLength(f, c);
    mpRound(f2, radix, e / 2 + 1, t);
    if (kept.length == e) {  // A1 holds t from the previous step
        if (kept.squared) {
            mpFromDoubles(f2, radix, e, A1, w);
        } else {
            mpSquareOfKept(f2, radix, A1, w, e);
        }
    } else {
        mpSquare(f2, radix, t, w, e, A1);
    }
    mpRound(f, radix, h, s);
    // A1 must keep all of the rounded s (min(f, h) words), since step 6 squares the kept s
    // against x. With f = c + 2 words f2 already covers them; with fewer words than the length
    // allows (count < n + 2) f2 can fall below h and would cut s.
    const int keptWords = std::max(f2, std::min(f, h));
    mpMulHalfAndSquare(keptWords, radix, s, w, w, c, A1, A2);  // w = s t^2; A1 = s^2 unreleased
    mpSub(f2, radix, t, w, w);
    mpAdd(f2, radix, t, w, t);          // t := t + t(1 - st)
    mpFromDoubles(f, radix, c, A1, w);  // w = s^2
    mpSub(f, radix, x, w, w);           // w = x - s^2
    int g;
    if (w.sign == 0) {
        g = c + 1;
    } else {
        g = x.exponent - w.exponent;
        if (x.words()[0] > w.words()[0]) g += 1;
    }
    mpRound(f2, radix, h, t);
    // w = t(x - s^2). The next step squares this t at length c, unless it repeats this one: where
    // the transforms run side by side, the square is formed here, beside the product.
    const bool squareAhead = more && mpTransformsPaired(c);
    if (squareAhead) {
        mpMulHalfAndSquare(f2, radix, t, w, w, c, A1, A2);
    } else {
        mpMulHalf(f2, radix, t, w, w, c, A1, A2);  // A1 keeps t
    }
    kept = {c, squareAhead};
    mpHalve(f2, radix, w, w);
    mpAdd(f, radix, s, w, s);  // s := s + t(x - s^2)/2
    return g;
}

// y := y + y(1 - k y^2)/2; returns the correct-word count of the y that entered.
int inverseSqrtSmallStep(int f, int radix, int k, MpNumber& y, MpNumber& w1, MpNumber& w2, int d,
                         double* A1, double* A2) {
    const int h = d / 2 + 1;
    const int f2 = correctionLength(f, d);
    mpRound(f, radix, h, y);
    mpSquareKeep(f, radix, y, w1, d, A1, A2);  // w1 = y^2; A1 keeps y
    mpMulSmall(f, radix, w1, k, w1);
    mpSetOne(f, radix, w2);
    mpSub(f, radix, w2, w1, w2);  // w2 = 1 - k y^2
    const int g = w2.sign == 0 ? d + 1 : -w2.exponent;
    mpMulKept(f2, radix, A1, 0, w2, w2, d, A2);  // w2 = y(1 - k y^2)
    mpHalve(f2, radix, w2, w2);
    mpAdd(f, radix, y, w2, y);
    return g;
}

}  // namespace

int newtonStartLength(int radix, int n) {
    int c = 1;
    double v = radix;
    do {
        v = v * v;
        c = 2 * c;
    } while (!(v * 2.220446049250313e-16 >= 1.0 || c >= n));
    return c;
}

double wordsToDouble(int count, int radix, const std::int16_t* words) {
    const double inv = 1.0 / radix;
    double s = 0.0;
    for (int i = count - 1; i >= 0; --i) s = s * inv + words[i];
    return s;
}

void doubleToWords(int count, int radix, double v, std::int16_t* words) {
    for (int i = 0; i < count; ++i) {
        double w = std::trunc(v);
        if (w >= radix) {
            w = radix - 1;
            v = radix;
        }
        words[i] = static_cast<std::int16_t>(w);
        v = (v - w) * radix;
    }
}

int mpReciprocal(int count, int radix, const MpNumber& x, MpNumber& out, MpNumber& w1, MpNumber& w2,
                 int n, double* A1, double* A2) {
    if (x.sign == 0) return -1;
    const int d0 = newtonStartLength(radix, n);
    const int f0 = std::min(count, d0 + 2);
    reciprocalStart(f0, radix, x, out);
    clearWords(f0, count, out);
    runSchedule(count, n, d0,
                [&](int d, int f) { return reciprocalStep(f, radix, x, out, w1, w2, d, A1, A2); });
    return 0;
}

int mpSqrt(int count, int radix, const MpNumber& x, MpNumber& out, MpNumber& w1, MpNumber& w2,
           int n, double* A1, double* A2) {
    if (x.sign < 0) return -1;
    if (x.sign == 0) {
        mpSetZero(count, radix, out);
        return 0;
    }
    const int d0 = newtonStartLength(radix, n);
    const int f0 = std::min(count, d0 + 2);
    sqrtStart(f0, radix, x, out, w1);
    clearWords(f0, count, out);
    clearWords(f0, count, w1);
    KeptT kept;
    runSchedule(count, n, d0, [&](int d, int f) {
        return sqrtStep(f, radix, x, out, w1, w2, d, A1, A2, kept, d < n);
    });
    return 0;
}

int mpInvSqrtSmall(int count, int radix, std::int32_t k, MpNumber& out, MpNumber& w1, MpNumber& w2,
                   int n, double* A1, double* A2) {
    if (k <= 0) return -1;
    const int d0 = newtonStartLength(radix, n);
    const int f0 = std::min(count, d0 + 2);
    inverseSqrtSmallStart(f0, radix, k, out);
    clearWords(f0, count, out);
    runSchedule(count, n, d0, [&](int d, int f) {
        return inverseSqrtSmallStep(f, radix, k, out, w1, w2, d, A1, A2);
    });
    return 0;
}

}  // namespace oskelon
