// Reciprocal, square root and inverse square root by Newton iteration.
//
// Each starts from a double-precision value and doubles the working precision together with the
// transform length from step to step, measuring in every step how many words were already right
// and repeating a step at the same length when too few were. count is the result's word count,
// n the largest transform length (count <= n + 2). w1, w2 are work numbers of count words and
// A1, A2 transform arrays of n + 2 doubles, all the caller's.
#pragma once

#include <cstdint>

#include "mp/mp_number.h"

namespace oskelon {

// out ~ 1/x. Returns -1 (out untouched) when x is zero, else 0. A1 keeps the last rounded
// approximation afterwards.
int mpReciprocal(int count, int radix, const MpNumber& x, MpNumber& out, MpNumber& w1, MpNumber& w2,
                 int n, double* A1, double* A2);

// out ~ sqrt(x); w1 ~ 1/sqrt(x) at about half precision, which A1 keeps. Returns -1 (out
// untouched) when x < 0; x = 0 gives out = 0 and returns 0.
int mpSqrt(int count, int radix, const MpNumber& x, MpNumber& out, MpNumber& w1, MpNumber& w2,
           int n, double* A1, double* A2);

// out ~ 1/sqrt(k) for a small positive integer k. Returns -1 (out untouched) when k <= 0.
int mpInvSqrtSmall(int count, int radix, std::int32_t k, MpNumber& out, MpNumber& w1, MpNumber& w2,
                   int n, double* A1, double* A2);

// Supporting pieces, exposed for the tests.
int newtonStartLength(int radix, int n);
double wordsToDouble(int count, int radix, const std::int16_t* words);
void doubleToWords(int count, int radix, double v, std::int16_t* words);

}  // namespace oskelon
