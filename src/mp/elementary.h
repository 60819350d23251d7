// Elementary operations on MpNumber: no Fourier transform involved.
//
// Every operation takes wordCount and radix first, then the operands, then the result. The
// result may be the same record as any operand: every loop reads a position before it writes it.
// Results are cut, not rounded, to wordCount words (except mpRound). Operands must be in normal
// form; results are in normal form. Nothing allocates; nothing keeps state.
#pragma once

#include <cstdint>

#include "mp/mp_number.h"

namespace oskelon {

void mpSetZero(int wordCount, int radix, MpNumber& out);  // out = 0
void mpSetOne(int wordCount, int radix, MpNumber& out);   // out = 1

// Rounds x in place to its first keepWords words, half up on word keepWords; sign untouched.
void mpRound(int wordCount, int radix, int keepWords, MpNumber& x);

void mpAdd(int wordCount, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out);
void mpSub(int wordCount, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out);

// -1, 0 or +1 as |a| <, =, > |b|; signs ignored. Correct for normal-form non-zero operands.
int mpCompareMagnitude(int wordCount, const MpNumber& a, const MpNumber& b);

// out = a * m for a signed 32-bit m.
void mpMulSmall(int wordCount, int radix, const MpNumber& a, std::int32_t m, MpNumber& out);

// out = a / d truncated to wordCount words; returns 0, or -1 (out untouched) when d = 0.
int mpDivSmall(int wordCount, int radix, const MpNumber& a, std::int32_t d, MpNumber& out);

// out = a / 2.
void mpHalve(int wordCount, int radix, const MpNumber& a, MpNumber& out);

// Word-level helpers of mpAdd and mpSub. y is moved `shift` words toward the end; words falling
// beyond wordCount are dropped. x, y and out may be the same array.
// out = x + y>>shift; returns 1 when the sum grew by a leading word (out moved one place), else 0.
int addWords(int wordCount, int radix, int shift, const std::int16_t* x, const std::int16_t* y,
             std::int16_t* out);
// out = x - y>>shift with |x| >= |y>>shift|; leading zero words are removed and their count
// returned (wordCount when out is all zero).
int subWords(int wordCount, int radix, int shift, const std::int16_t* x, const std::int16_t* y,
             std::int16_t* out);

}  // namespace oskelon
