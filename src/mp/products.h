// Products and squares of whole numbers, built from the engine.
//
// n is the transform length (a power of two) and count <= n + 2. The high part a_h of a number is
// its words 0 .. n/2; a low part from word i is words i .. i + n/2 (never past count - 1), where
// the split point i is the first index at or after the stated start whose word is non-zero in the
// named operand(s), or count. Work numbers have count words and must not be an operand or the
// result. Which arrays hold kept transforms afterwards is part of each contract below; callers
// rely on it.
#pragma once

#include "mp/mp_number.h"

namespace oskelon {

// out = a_h*b_h + a_h*b_l + b_h*a_l. A2 keeps b_h; A1, A3 scratch. out may be a or b.
void mpMul(int count, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out,
           MpNumber& work, int n, double* A1, double* A2, double* A3);

// out = a_h*b (a's words beyond n/2 unused). A1 keeps a_h; A2 scratch. out may be a or b.
void mpMulKeep(int count, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out,
               MpNumber& work, int n, double* A1, double* A2);

// out = a_h*a = a_h^2 + a_h*a_l, where A1 keeps a_h of this same a (left by mpMulKeep).
// A1, A2 scratch afterwards. out may be a.
void mpSquareKept(int count, int radix, double* A1, const MpNumber& a, MpNumber& out,
                  MpNumber& work, int n, double* A2);

// out = a_h*b_h. A1 keeps a_h; A2 scratch. out may be a or b.
void mpMulHalf(int count, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out, int n,
               double* A1, double* A2);

// mpMulHalf, and A1 := a_h^2 in the time domain, for mpFromDoubles to release later (mpSquareOfKept
// without its release). A2 scratch. out may be a or b.
void mpMulHalfAndSquare(int count, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out,
                        int n, double* A1, double* A2);

// out = (part kept in A1) * (b's part from its first non-zero word at or after start).
// A1 unchanged; A2 scratch. out may be b.
void mpMulKept(int count, int radix, const double* A1, int start, const MpNumber& b, MpNumber& out,
               int n, double* A2);

// out = a_h^2. A1 scratch. out may be a.
void mpSquare(int count, int radix, const MpNumber& a, MpNumber& out, int n, double* A1);

// out = a_h^2. A1 keeps a_h; A2 scratch. out may be a.
void mpSquareKeep(int count, int radix, const MpNumber& a, MpNumber& out, int n, double* A1,
                  double* A2);

// out = (part kept in A1)^2. A1 scratch.
void mpSquareOfKept(int count, int radix, double* A1, MpNumber& out, int n);

}  // namespace oskelon
