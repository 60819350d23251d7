// The multiplication engine: number parts into transform arrays, spectrum kernels, release of the
// rounded convolution back into digit words, and the radix test.
//
// A transform array for length n (a power of two) has n + 2 doubles:
//   [0]      exponent of the represented value (carried along, never transformed),
//   [1..n]   digit values in time domain, or n/2 complex values (re, im interleaved),
//   [n+1]    signed leading word; after a product the product of the signed leading words.
// A part of a number holds at most n/2 + 1 words; the product of two parts has n + 1 coefficients
// and is produced exactly as long as every coefficient lies within 0.5 of an integer, which the
// radix test guards.
// A "kept transform" is an array left in split spectral form by one kernel, so that a later kernel
// multiplies by it without transforming that operand again; it is valid for the same n only.
#pragma once

#include "fft/fft_path.h"
#include "mp/mp_number.h"

namespace oskelon {

// Loads words start .. start+c-1 of number (c = min(n/2+1, count-start)) into array: element 1
// the first word, element 2 the second plus a carry, elements 3..c balanced in
// [-radix/2, radix/2); element n+1 = sign * first word; element 0 = exponent - start.
void mpToDoubles(int count, int radix, int n, int start, const MpNumber& number, double* array);

// B := A*B (time domain, unscaled); B[0] += A[0]; B[n+1] *= A[n+1]; A left as a kept transform.
void spectrumMultiply(int n, double* A, double* B);

// An operand of a product: the words of number from start on, loaded into array (n + 2 doubles)
// as by mpToDoubles.
struct ProductOperand {
    int start;
    const MpNumber& number;
    double* array;
};

// mpToDoubles of both operands, then spectrumMultiply (mpLoadAndMultiply) or spectrumMultiplyKeep
// (mpLoadAndMultiplyKeep) with a's array as A and b's as B. Where the two forward transforms run
// side by side, each operand is loaded on the thread that transforms it.
void mpLoadAndMultiply(int count, int radix, int n, const ProductOperand& a,
                       const ProductOperand& b);
void mpLoadAndMultiplyKeep(int count, int radix, int n, const ProductOperand& a,
                           const ProductOperand& b);

// Whether the transforms of a product at length n run side by side, each whole on a thread of its
// own: the two forward transforms, and the two inverse transforms of mpLoadMultiplyAndSquare (on
// a pool of exactly two threads, from 2^14 to 2^20 doubles).
bool mpTransformsPaired(int n);

// mpLoadAndMultiply, then spectrumSquareKept of a's array (which it leaves kept): b's array :=
// a*b and a's array := a^2, both in the time domain. Where the forward transforms run side by
// side, so do the two inverse transforms.
void mpLoadMultiplyAndSquare(int count, int radix, int n, const ProductOperand& a,
                             const ProductOperand& b);

// H kept: B := H*B (time domain); B[0] += H[0]; B[n+1] *= H[n+1]; H unchanged.
void spectrumMultiplyKept(int n, const double* H, double* B);
// H kept: H := A*H (time domain); H[0] += A[0]; H[n+1] *= A[n+1]; A left as a kept transform.
void spectrumMultiplyIntoKept(int n, double* A, double* H);
// B := pointwise product A*B in unmerged split form (for spectrumMultiplyAccumulate);
// B[0] += A[0]; B[n+1] *= A[n+1]; A left as a kept transform.
void spectrumMultiplyKeep(int n, double* A, double* B);
// H kept, S from spectrumMultiplyKeep: S := inverse(S + H*X) in the time domain; S[0] unchanged;
// S[n+1] += H[n+1]*X[n+1]. X is left transformed but unusable.
void spectrumMultiplyAccumulate(int n, const double* H, double* X, double* S);
// A := A^2 (time domain); A[0] *= 2; A[n+1] squared.
void spectrumSquare(int n, double* A);
// B := A^2 (time domain); B[0] = 2 A[0]; B[n+1] = A[n+1]^2; A left as a kept transform.
void spectrumSquareInto(int n, double* A, double* B);
// H kept: H := H^2 (time domain); H[0] *= 2; H[n+1] squared.
void spectrumSquareKept(int n, double* H);

// Releases the time-domain product in array into the first count words of number (count <= n+2),
// rounding every coefficient to the nearest integer and propagating carries in base radix; sets
// sign and exponent. Alters array elements 1 and n+1.
void mpFromDoubles(int count, int radix, int n, double* array, MpNumber& number);

// mpFromDoubles on a chosen path (for tests and benchmarks; the path must be supported). Every
// path writes the same words, sign and exponent and the same array elements.
void mpFromDoublesOn(FftPath path, int count, int radix, int n, double* array, MpNumber& number);

// Twice the largest distance from an integer of any coefficient of the square of the worst-case
// digit pattern at this radix and length; array (n + 2 doubles) is scratch.
double radixTest(int count, int radix, int n, double* array);

// The measurement step of radixTest on an array that holds a squared result in the time domain.
double maxRoundingError(int radix, int n, double* array);

}  // namespace oskelon
