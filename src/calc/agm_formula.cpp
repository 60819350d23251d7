#include "calc/agm_formula.h"

#include "mp/decimal.h"
#include "mp/elementary.h"
#include "mp/newton.h"
#include "mp/products.h"

namespace oskelon {
namespace {

// The first two iterations in closed form. From A_0 = 1, B_0 = 1/sqrt(2):
//   a_1 b_1 = (3/4 + 1/sqrt(2)) sqrt(2) = 1 + 3/sqrt(8), and with s = sqrt(a_1 b_1)
//   b_2 = 2s,  a_2 = (a_1 + b_1)/2 + s = 3/8 + 3/sqrt(8) + s,
//   t_2 = 1/2 - c_1 - c_2 = (1/sqrt(2) - 1/4) - (3/8 + 3/sqrt(8) - s) = s - 0.625 - 1/sqrt(8).
void start(const AgmStorage& m, AgmSteps& steps) {
    const int wc = m.wordCount, radix = m.radix, n = m.fftLength;
    mpInvSqrtSmall(wc, radix, 8, m.t, m.w1, m.w2, n, m.d0, m.d1);  // t = 1/sqrt(8)
    steps.pollStop();
    mpMulSmall(wc, radix, m.t, 3, m.c);  // c = 3/sqrt(8)
    mpFromText(wc, m.digitsPerWord, "1", m.a);
    mpAdd(wc, radix, m.a, m.c, m.a);                         // a = 1 + 3/sqrt(8) = a_1 b_1
    mpSqrt(wc, radix, m.a, m.b, m.w1, m.w2, n, m.d0, m.d1);  // b = s
    steps.pollStop();
    mpFromText(wc, m.digitsPerWord, "0.625", m.c);
    mpSub(wc, radix, m.b, m.c, m.c);  // c = s - 0.625
    mpAdd(wc, radix, m.b, m.b, m.b);  // b = 2s = b_2
    mpSub(wc, radix, m.c, m.t, m.t);  // t = s - 0.625 - 1/sqrt(8) = t_2
    mpAdd(wc, radix, m.a, m.c, m.a);  // a = 3/8 + 3/sqrt(8) + s = a_2
}

// One iteration. With a = 2^k A^2 and b = 2^k B^2: sqrt(ab) = 2^k AB, so
//   b' = 2^(k+1) AB = 2 sqrt(ab),
//   c' = 2^(k+1) ((A - B)/2)^2 = (a + b)/2 - sqrt(ab),
//   a' = 2^(k+1) ((A + B)/2)^2 = c' + 2 sqrt(ab),
//   t' = t - c'.
void iterate(const AgmStorage& m, AgmSteps& steps) {
    const int wc = m.wordCount, radix = m.radix, n = m.fftLength;
    mpAdd(wc, radix, m.a, m.b, m.c);
    mpHalve(wc, radix, m.c, m.c);                                // c = (a + b)/2
    mpMul(wc, radix, m.a, m.b, m.a, m.w1, n, m.d0, m.d1, m.d2);  // a = ab
    mpSqrt(wc, radix, m.a, m.b, m.w1, m.w2, n, m.d0, m.d1);      // b = sqrt(ab)
    steps.pollStop();
    mpSub(wc, radix, m.c, m.b, m.c);  // c = (a + b)/2 - sqrt(ab)
    mpAdd(wc, radix, m.b, m.b, m.b);  // b' = 2 sqrt(ab)
    mpSub(wc, radix, m.t, m.c, m.t);  // t' = t - c
    mpAdd(wc, radix, m.c, m.b, m.a);  // a' = c + 2 sqrt(ab)
}

// The stop rule. c is below radix^-gap; the final combination carries the c^2 terms, so what
// it leaves is of the order of c^4 relative to pi, below radix^-wordCount once 4 gap > wordCount.
bool converged(const AgmStorage& m) {
    const int gap = m.c.sign == 0 ? m.wordCount : -m.c.exponent;
    return 4 * gap > m.wordCount;
}

// pi = (h s - 3c^2/8) / ((h t - c^2/4) p) with s = a + b and h = s cut to its first
// fftLength/2 + 1 words. Taken with the full s this is the AGM's limit to second order in c; the
// cut h stands in numerator and denominator alike, so the quotient agrees to the last words,
// and it lets the square reuse the transform that the product of h and t leaves in d0.
void combine(const AgmStorage& m, std::int32_t p, AgmSteps& steps) {
    const int wc = m.wordCount, radix = m.radix, n = m.fftLength;
    mpHalve(wc, radix, m.c, m.c);                                  // c/2
    mpSquare(wc, radix, m.c, m.c, n, m.d0);                        // c^2/4
    mpAdd(wc, radix, m.a, m.b, m.a);                               // s
    mpMulKeep(wc, radix, m.a, m.t, m.t, m.w1, n, m.d0, m.d1);      // h t; d0 keeps h
    mpSub(wc, radix, m.t, m.c, m.t);                               // h t - c^2/4
    mpReciprocal(wc, radix, m.t, m.b, m.w1, m.w2, n, m.d1, m.d2);  // 1/(h t - c^2/4); d0 untouched
    steps.pollStop();
    mpSquareKept(wc, radix, m.d0, m.a, m.a, m.w1, n, m.d1);      // h s
    mpSub(wc, radix, m.a, m.c, m.a);                             // h s - c^2/4
    mpHalve(wc, radix, m.c, m.c);                                // c^2/8
    mpSub(wc, radix, m.a, m.c, m.a);                             // h s - 3c^2/8
    mpMul(wc, radix, m.a, m.b, m.a, m.w1, n, m.d0, m.d1, m.d2);  // the quotient
    mpDivSmall(wc, radix, m.a, p, m.a);                          // pi
}

}  // namespace

void agmPi(const AgmStorage& storage, AgmSteps& steps) {
    start(storage, steps);
    std::int32_t p = 4;  // 2^k; after the closed-form start k = 2
    steps.started();
    for (int n = 1;; ++n) {
        p *= 2;
        iterate(storage, steps);
        steps.iterated(n);
        if (converged(storage)) break;
    }
    combine(storage, p, steps);
}

}  // namespace oskelon
