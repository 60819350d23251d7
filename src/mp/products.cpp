// Products and squares of whole numbers from the engine's pieces.
//
// One transform of length n multiplies parts of at most n/2 + 1 words exactly, so a number of
// count <= n + 2 words is taken as a high part (words 0 .. n/2) and a low part starting at the
// first non-zero word beyond it. The low-by-low product would start 2i >= n + 2 words below the
// leading product, beyond count words, and is never formed.
#include "mp/products.h"

#include <algorithm>

#include "fft/contract.h"
#include "mp/elementary.h"
#include "mp/engine.h"
#include "mp/word_blocks.h"

namespace oskelon {
namespace {

// First index from `start` on where a's word is non-zero; count when there is none.
int firstNonZero(int count, const MpNumber& a, int start) {
    const std::int16_t* w = a.words();
    for (int i = start; i < count; ++i)
        if (w[i] != 0) return i;
    return count;
}

// First index from `start` on where a's or b's word is non-zero; count when there is none.
int firstNonZero(int count, const MpNumber& a, const MpNumber& b, int start) {
    const std::int16_t* wa = a.words();
    const std::int16_t* wb = b.words();
    for (int i = start; i < count; ++i)
        if (wa[i] != 0 || wb[i] != 0) return i;
    return count;
}

// Words released for a product that involves a low part starting at word i.
int crossLength(int count, int i) {
    return std::max(count / 2 + 1, count - i);
}

// Releases a cross product into its first `length` words and clears the rest, so that the
// following addition never reads words left over from an earlier value of the record.
void releaseCross(int count, int radix, int n, int length, double* array, MpNumber& out) {
    mpFromDoubles(length, radix, n, array, out);
    detail::fillSpread(out.words() + length, out.words() + count, std::int16_t{0});
}

// Whether A1 holds a transform of a's high part: a kept transform carries the exponent and the
// signed leading word of the part it was made from in its first and last elements.
[[maybe_unused]] bool keepsHighPartOf(const double* A1, int n, const MpNumber& a) {
    return A1[0] == static_cast<double>(a.exponent) &&
           A1[n + 1] == static_cast<double>(a.sign) * a.words()[0];
}

}  // namespace

void mpMul(int count, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out,
           MpNumber& work, int n, double* A1, double* A2, double* A3) {
    const int i = firstNonZero(count, a, b, n / 2 + 1);
    // A3 = a_h * b_l unmerged, A1 keeps a_h
    mpLoadAndMultiplyKeep(count, radix, n, {0, a, A1}, {i, b, A3});
    mpToDoubles(count, radix, n, 0, b, A2);
    spectrumMultiplyIntoKept(n, A2, A1);  // A1 = a_h * b_h, A2 keeps b_h
    mpFromDoubles(count, radix, n, A1, work);
    mpToDoubles(count, radix, n, i, a, A1);
    spectrumMultiplyAccumulate(n, A2, A1, A3);  // A3 = a_h * b_l + b_h * a_l, one inverse
    releaseCross(count, radix, n, crossLength(count, i), A3, out);
    mpAdd(count, radix, out, work, out);
}

void mpMulKeep(int count, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out,
               MpNumber& work, int n, double* A1, double* A2) {
    const int i = firstNonZero(count, b, n / 2 + 1);
    mpLoadAndMultiply(count, radix, n, {0, a, A1}, {0, b, A2});  // A2 = a_h * b_h, A1 keeps a_h
    mpFromDoubles(count, radix, n, A2, work);
    mpToDoubles(count, radix, n, i, b, A2);
    spectrumMultiplyKept(n, A1, A2);  // A2 = a_h * b_l
    releaseCross(count, radix, n, crossLength(count, i), A2, out);
    mpAdd(count, radix, out, work, out);
}

void mpSquareKept(int count, int radix, double* A1, const MpNumber& a, MpNumber& out,
                  MpNumber& work, int n, double* A2) {
    OSKELON_ASSERT(keepsHighPartOf(A1, n, a));
    const int i = firstNonZero(count, a, n / 2 + 1);
    mpToDoubles(count, radix, n, i, a, A2);  // the low part is read before out is written
    spectrumMultiplyKept(n, A1, A2);         // A2 = a_h * a_l
    releaseCross(count, radix, n, crossLength(count, i), A2, work);
    spectrumSquareKept(n, A1);  // A1 = a_h^2
    mpFromDoubles(count, radix, n, A1, out);
    mpAdd(count, radix, out, work, out);
}

void mpMulHalf(int count, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out, int n,
               double* A1, double* A2) {
    mpLoadAndMultiply(count, radix, n, {0, a, A1}, {0, b, A2});
    mpFromDoubles(count, radix, n, A2, out);
}

void mpMulHalfAndSquare(int count, int radix, const MpNumber& a, const MpNumber& b, MpNumber& out,
                        int n, double* A1, double* A2) {
    mpLoadMultiplyAndSquare(count, radix, n, {0, a, A1}, {0, b, A2});
    mpFromDoubles(count, radix, n, A2, out);
}

void mpMulKept(int count, int radix, const double* A1, int start, const MpNumber& b, MpNumber& out,
               int n, double* A2) {
    const int i = firstNonZero(count, b, start);
    mpToDoubles(count, radix, n, i, b, A2);
    spectrumMultiplyKept(n, A1, A2);
    mpFromDoubles(count, radix, n, A2, out);
}

void mpSquare(int count, int radix, const MpNumber& a, MpNumber& out, int n, double* A1) {
    mpToDoubles(count, radix, n, 0, a, A1);
    spectrumSquare(n, A1);
    mpFromDoubles(count, radix, n, A1, out);
}

void mpSquareKeep(int count, int radix, const MpNumber& a, MpNumber& out, int n, double* A1,
                  double* A2) {
    mpToDoubles(count, radix, n, 0, a, A1);
    spectrumSquareInto(n, A1, A2);
    mpFromDoubles(count, radix, n, A2, out);
}

void mpSquareOfKept(int count, int radix, double* A1, MpNumber& out, int n) {
    spectrumSquareKept(n, A1);
    mpFromDoubles(count, radix, n, A1, out);
}

}  // namespace oskelon
