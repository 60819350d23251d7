// The multiplication engine: conversion of number parts into transform arrays, the spectrum
// kernels that multiply or square them, the release of the rounded convolution and the radix test.
//
// Real data of n doubles is transformed as n/2 complex points, split into the real spectrum and
// merged back around the pointwise product (spectrum_pairs.h), so each operand costs one complex
// transform of n/2 points and each result one inverse.
#include "mp/engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "fft/complex_fft.h"
#include "fft/fft_path.h"
#include "fft/rounded_sincos.h"
#include "mp/carry_blocks.h"
#include "mp/interrupt.h"
#include "mp/release_lanes.h"
#include "mp/spectrum_pairs.h"
#include "mp/word_blocks.h"

namespace oskelon {
namespace {

struct Complex {
    double re, im;
};

inline Complex mul(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline Complex sqr(Complex a) {
    return {a.re * a.re - a.im * a.im, (a.re + a.re) * a.im};
}
// Zero-frequency pair and middle element of a product of split spectra p and q, into q.
inline void multiplyEnds(const double* p, double* q, int n) {
    const double q0 = q[0], q1 = q[1];
    q[0] = p[0] * q0 + p[1] * q1;
    q[1] = p[0] * q1 + p[1] * q0;
    if (n >= 4) {
        const int h = n / 2;
        const Complex r = mul({p[h], p[h + 1]}, {q[h], q[h + 1]});
        q[h] = r.re;
        q[h + 1] = r.im;
    }
}

inline void squareEnds(const double* p, double* q, int n) {
    const double p0 = p[0], p1 = p[1];
    q[0] = p0 * p0 + p1 * p1;
    q[1] = (p0 + p0) * p1;
    if (n >= 4) {
        const int h = n / 2;
        const Complex r = sqr({p[h], p[h + 1]});
        q[h] = r.re;
        q[h + 1] = r.im;
    }
}

// What a product B := A*B or a square B := A^2 does outside its pointwise loop: the end terms of
// the spectra (the points 0 and n/2 of the n doubles from element 1) and the slots 0 and n + 1,
// which neither the loop nor the transforms touch.
inline void productOutsideLoop(int n, const double* A, double* B) {
    multiplyEnds(A + 1, B + 1, n);
    B[0] = A[0] + B[0];
    B[n + 1] = A[n + 1] * B[n + 1];
}
inline void squareOutsideLoop(int n, const double* A, double* B) {
    squareEnds(A + 1, B + 1, n);
    B[0] = 2.0 * A[0];
    B[n + 1] = A[n + 1] * A[n + 1];
}

// Every transform is a point at which a stop request takes effect.
inline void forward(int n, double* array) {
    mpCheckInterrupt();
    complexFft(n, +1, array + 1);
}
// A pointwise loop and the inverse transform of the array it merges into (spectrum_pairs.h).
inline void pairsThenInverse(SpectrumPairs loop, int n, double* a, double* b = nullptr,
                             double* c = nullptr) {
    mpCheckInterrupt();
    spectrumPairsThenInverse(loop, n, a, b, c);
}

// The forward transforms of two operands. On a pool of exactly two threads, from
// kPairedForwardFrom to kPairedForwardTo doubles, each runs whole on a thread of its own: nothing
// of either array changes cores, where a transform spread over both threads hands half of its
// array to the other core at every phase, which costs most at these lengths. Otherwise one after
// the other, each spread as usual. Either way each is the one-thread transform, bit for bit.
constexpr int kPairedForwardFrom = 1 << 14;
constexpr int kPairedForwardTo = 1 << 20;

}  // namespace

bool mpTransformsPaired(int n) {
    return n >= kPairedForwardFrom && n <= kPairedForwardTo && activeThreads() == 2;
}

namespace {

void forwardPair(int n, double* A, double* B) {
    if (mpTransformsPaired(n)) {
        mpCheckInterrupt();
        forEachPart(2, [n, A, B](int i) { complexFft(n, +1, (i == 0 ? A : B) + 1); });
    } else {
        forward(n, A);
        forward(n, B);
    }
}

// Balanced digits: each word v (plus carry) goes in as v or v - radix, so that every element from
// 3 on lies in [-radix/2, radix/2). A word of radix/2 or more passes a carry on, a word of
// radix/2 - 1 passes on one it receives.
struct BalancedRule {
    const std::int16_t* w;  // w[start + j - 1] is the word of element j
    int start;
    double* array;
    int radix;
    int value(int j) const { return w[start + j - 1]; }
    bool generates(int t) const { return t >= radix / 2; }
    bool propagates(int t) const { return t == radix / 2 - 1; }
    void put(int j, int t, int c) const {
        // Without a branch: random digits would mispredict half the time.
        const int v = t + c;
        array[j] = v - (radix & -static_cast<int>(v >= radix / 2));
    }
};

// The parts of a conversion outside the balanced digits: the c words taken from start on (c <= 1
// leaves no digit to balance), the lead word w0, the sign slot array[n + 1] and, by finish(),
// array[1] and the exponent slot array[0].
struct ConversionFrame {
    int c = 0;
    int w0 = 0;
    ConversionFrame(int count, int n, int start, const MpNumber& number, double* array) {
        if (start < count) {
            w0 = number.words()[start];
            c = std::min(n / 2 + 1, count - start);
        }
        array[n + 1] = static_cast<double>(number.sign) * w0;
    }
    void finish(int start, const MpNumber& number, double* array) const {
        array[1] = w0;
        array[0] = static_cast<double>(number.exponent) - start;
    }
};

struct ToDoubles {
    [[gnu::always_inline]] static void run(int count, int radix, int n, int start,
                                           const MpNumber* numberPointer, double* array) {
        const MpNumber& number = *numberPointer;
        const std::int16_t* w = number.words();
        const ConversionFrame frame(count, n, start, number, array);
        const int c = frame.c;
        std::fill(array + c + 1, array + n + 1, 0.0);
        if (c > 1) {
            const int carry =
                detail::resolveCarries(3, c + 1, 0, BalancedRule{w, start, array, radix});
            array[2] = w[start + 1] + carry;
        }
        frame.finish(start, number, array);
    }
};

// Elements lo .. hi-1 of the conversion with an incoming carry of 0; returns the carry out of lo.
struct ToDoublesBlock {
    [[gnu::always_inline]] static int run(int lo, int hi, int radix, int start,
                                          const std::int16_t* w, double* array) {
        return detail::resolveCarries(lo, hi, 0, BalancedRule{w, start, array, radix});
    }
};

// Adds an incoming carry of 0 or 1 to the balanced elements lo .. hi-1 converted with carry 0 and
// returns the carry that then leaves element lo. The serial conversion writes the unique digits in
// [-radix/2, radix/2) of the block's words plus its carry, and so does this: the last element
// takes the 1, and only an element that reaches radix/2 becomes -radix/2 and passes it on. A block
// that generated a carry starts with an element <= -1, which cannot reach radix/2, so the carry out
// stays 0 or 1.
int addBalancedCarry(int carry, int radix, double* array, int lo, int hi) {
    for (int j = hi - 1; j >= lo && carry != 0; --j) {
        const double v = array[j] + 1.0;
        if (v == radix / 2) {
            array[j] = -(radix / 2);
        } else {
            array[j] = v;
            carry = 0;
        }
    }
    return carry;
}

// From kSpreadConversionFrom on (word_blocks.h) a conversion is spread over the active pool:
// blocks of at least kConversionBlock elements for the digits, of detail::kFillBlock (a spread
// fill's, in the same run) for the zeros above.
constexpr int kConversionBlock = 8192;

void toDoublesSpread(int count, int radix, int n, int start, const MpNumber& number,
                     double* array) {
    const std::int16_t* w = number.words();
    const ConversionFrame frame(count, n, start, number, array);
    const int c = frame.c;
    const detail::BlockSplit digits =
        detail::splitIntoBlocks(3, c > 1 ? c + 1 : 3, kConversionBlock, 8);
    const detail::BlockSplit zeros = detail::splitIntoBlocks(c + 1, n + 1, detail::kFillBlock, 8);
    int carries[detail::kMaxWordBlocks];
    forEachPart(digits.count + zeros.count, [&](int part) {
        if (part < digits.count) {
            carries[part] = detail::runCarryLoop<ToDoublesBlock>(
                digits.begin(part), digits.end(part), radix, start, w, array);
        } else {
            const int b = part - digits.count;
            std::fill(array + zeros.begin(b), array + zeros.end(b), 0.0);
        }
    });
    if (c > 1) {
        int carry = 0;
        for (int b = digits.count - 1; b >= 0; --b) {
            carry =
                carries[b] + addBalancedCarry(carry, radix, array, digits.begin(b), digits.end(b));
        }
        array[2] = w[start + 1] + carry;
    }
    frame.finish(start, number, array);
}

}  // namespace

void mpToDoubles(int count, int radix, int n, int start, const MpNumber& number, double* array) {
    if (detail::spreadWorthIt(n, detail::kSpreadConversionFrom)) {
        toDoublesSpread(count, radix, n, start, number, array);
        return;
    }
    detail::runCarryLoop<ToDoubles>(count, radix, n, start, &number, array);
}

namespace {

// Both operands loaded and transformed forward. Where forwardPair pairs the transforms, each
// operand is also loaded on the thread that transforms it, so that its array does not change cores
// between the two; each load is then the one-thread load, with the same values. Two-thread runs,
// medians of alternating runs with the cores far apart: size 6 277 -> 273 ms (9), size 8 1311 ->
// 1279 ms (5); no difference while they were close.
void loadForwardPair(int count, int radix, int n, const ProductOperand& a,
                     const ProductOperand& b) {
    if (mpTransformsPaired(n)) {
        mpCheckInterrupt();
        forEachPart(2, [&](int i) {
            const ProductOperand& x = i == 0 ? a : b;
            mpToDoubles(count, radix, n, x.start, x.number, x.array);
            complexFft(n, +1, x.array + 1);
        });
    } else {
        mpToDoubles(count, radix, n, a.start, a.number, a.array);
        mpToDoubles(count, radix, n, b.start, b.number, b.array);
        forwardPair(n, a.array, b.array);
    }
}

// spectrumMultiply and spectrumMultiplyKeep after their forward transforms.
void multiplySpectra(int n, double* A, double* B) {
    productOutsideLoop(n, A, B);
    pairsThenInverse(SpectrumPairs::SplitAndMultiplyInto, n, A + 1, B + 1);
}

void multiplySpectraKeep(int n, double* A, double* B) {
    productOutsideLoop(n, A, B);
    spectrumPairs(SpectrumPairs::MultiplyKeep, n, A + 1, B + 1);
}

}  // namespace

void spectrumMultiply(int n, double* A, double* B) {
    forwardPair(n, A, B);
    multiplySpectra(n, A, B);
}

void mpLoadAndMultiply(int count, int radix, int n, const ProductOperand& a,
                       const ProductOperand& b) {
    loadForwardPair(count, radix, n, a, b);
    multiplySpectra(n, a.array, b.array);
}

// The two inverse transforms of mpLoadMultiplyAndSquare are independent once the product's
// pointwise loop has split A. Where the forward transforms were paired, that loop runs first
// (spread over the pool), then each inverse whole on a thread of its own, the square's after its
// own loop, as the forward transforms ran: a transform spread over both threads gains little at
// these lengths. Each array still gets exactly the operations of the two kernels one after the
// other (a loop followed by the inverse is the same as the loop as the inverse's prelude).
void mpLoadMultiplyAndSquare(int count, int radix, int n, const ProductOperand& a,
                             const ProductOperand& b) {
    loadForwardPair(count, radix, n, a, b);
    double* const A = a.array;
    double* const B = b.array;
    if (!mpTransformsPaired(n)) {
        multiplySpectra(n, A, B);
        spectrumSquareKept(n, A);
        return;
    }
    productOutsideLoop(n, A, B);
    mpCheckInterrupt();
    spectrumPairs(SpectrumPairs::SplitAndMultiplyInto, n, A + 1, B + 1);
    squareOutsideLoop(n, A, A);
    forEachPart(2, [n, A, B](int i) {
        if (i == 0) {
            fftInverse(n, B + 1);
        } else {
            spectrumPairsThenInverse(SpectrumPairs::SquareKept, n, A + 1);
        }
    });
}

void spectrumMultiplyKept(int n, const double* H, double* B) {
    forward(n, B);
    productOutsideLoop(n, H, B);
    // The loop only reads its first array.
    pairsThenInverse(SpectrumPairs::MultiplyIntoUnsplit, n, const_cast<double*>(H + 1), B + 1);
}

void spectrumMultiplyIntoKept(int n, double* A, double* H) {
    // H is already split; A is split in place and the merged product goes into H.
    forward(n, A);
    productOutsideLoop(n, A, H);
    pairsThenInverse(SpectrumPairs::MultiplyIntoKept, n, A + 1, H + 1);
}

void spectrumMultiplyKeep(int n, double* A, double* B) {
    forwardPair(n, A, B);
    multiplySpectraKeep(n, A, B);
}

void mpLoadAndMultiplyKeep(int count, int radix, int n, const ProductOperand& a,
                           const ProductOperand& b) {
    loadForwardPair(count, radix, n, a, b);
    multiplySpectraKeep(n, a.array, b.array);
}

void spectrumMultiplyAccumulate(int n, const double* H, double* X, double* S) {
    forward(n, X);
    const double* h = H + 1;
    const double* x = X + 1;
    double* s = S + 1;
    // The merge is linear: the stored unmerged product plus the new one, merged once, equals the
    // sum of the two merged products.
    const double s0 = s[0], s1 = s[1];
    s[0] = s0 + (h[0] * x[0] + h[1] * x[1]);
    s[1] = s1 + (h[0] * x[1] + h[1] * x[0]);
    if (n >= 4) {
        const int m = n / 2;
        const Complex r = mul({h[m], h[m + 1]}, {x[m], x[m + 1]});
        s[m] += r.re;
        s[m + 1] += r.im;
    }
    // The loop only reads its first two arrays.
    pairsThenInverse(SpectrumPairs::MultiplyAccumulate, n, const_cast<double*>(h), X + 1, s);
    S[n + 1] = S[n + 1] + H[n + 1] * X[n + 1];
}

void spectrumSquare(int n, double* A) {
    forward(n, A);
    squareOutsideLoop(n, A, A);
    pairsThenInverse(SpectrumPairs::Square, n, A + 1);
}

void spectrumSquareInto(int n, double* A, double* B) {
    forward(n, A);
    squareOutsideLoop(n, A, B);
    pairsThenInverse(SpectrumPairs::SquareInto, n, A + 1, B + 1);
}

void spectrumSquareKept(int n, double* H) {
    squareOutsideLoop(n, H, H);
    pairsThenInverse(SpectrumPairs::SquareKept, n, H + 1);
}

namespace {

// Release. The inverse transform returns every coefficient times n/2; H = 2/n undoes that. Each
// coefficient plus its incoming carry is split into one word, a carry into the next higher word
// and a carry two words up. Subtracting 1 before each truncation keeps the remainders positive,
// so truncation acts as floor also for the negative coefficients of balanced digits; the added
// 0.5 rounds every coefficient to the nearest integer. All quotients are formed with 1/radix.
//
// Trunc is the truncation toward zero: a round trip through int64 in the reference, or the SSE4.1
// rounding instruction. The two agree for every argument below 2^63 in magnitude (every value
// here is below n * radix^2 < 2^50) except in the sign of a zero result, and a zero's sign cannot
// change any later non-zero value under +, -, * and truncation, nor any word, exponent or sign
// written (those are conversions to integers and comparisons with 0 or 0.5).
//
// The release runs in three steps: the head (the leading product and the part below the kept
// words), the carry chain over words m-1 .. 1, and the tail (word 0, exponent and sign). The chain
// comes in two forms, the reference in floating point and releaseCarriesExact below.

struct ReleaseState {
    double V;  // the signed leading product, as passed in d[n+1]
    int F;     // 1 when the leading coefficient needs two words
    int m;     // words m .. count-1 are zero
    double M;  // after the chain: the carry two words up, in units of that word
    double O;  // after the chain: the carry into word 0
};

template <class Trunc>
[[gnu::always_inline]] inline ReleaseState releaseHead(Trunc trunc, int count, int radix, int n,
                                                       double* d, std::int16_t* word) {
    const double R = radix;
    const double H = 2.0 / n;
    const double Ri = 1.0 / R;
    const double Q2 = Ri * Ri;

    // The leading product is known exactly from the signed leading words; it separates the
    // coefficient of position 0 from that of position n, which the cyclic convolution adds.
    const double V = d[n + 1];
    const double A = std::fabs(V);
    const int F = (A + 0.5 >= R) ? 1 : 0;
    const double lead = A * n * 0.5;
    d[n + 1] = d[1] - lead;
    d[1] = lead;

    const int m = std::min(count, n + 1 + F);
    detail::fillSpread(word + m, word + count, std::int16_t{0});

    // The part of the product below the kept words, as far as it can reach the last kept word.
    double s = 0.0;
    {
        const double limit = 2.220446049250313e-16;
        double weight = 1.0;
        for (int j = m - F + 1; j <= n + 1; ++j) {
            s += d[j] * weight;
            weight *= Ri;
            if (weight < limit) break;
        }
    }
    const double L = (s * H + 0.5) * Q2;
    const double M = trunc(L) - 1.0;
    const double O = trunc((L - M) * R + 0.5);
    return {V, F, m, M, O};
}

// The reference chain over c[m] .. c[2], c[k] = d[k - F]. It runs through two truncations per
// word, so their latency sets its speed.
template <class Trunc>
[[gnu::always_inline]] inline void releaseCarries(Trunc trunc, int radix, int n, const double* d,
                                                  std::int16_t* word, ReleaseState& st) {
    const double R = radix;
    const double H = 2.0 / n;
    const double Ri = 1.0 / R;
    const double Q2 = Ri * Ri;
    const double* c = d - st.F;
    double M = st.M, O = st.O;
    for (int k = st.m; k >= 2; --k) {
        const double r = (H * c[k] + O + 0.5) * Q2;
        const double T = trunc(r) - 1.0;
        const double r1 = (r - T) * R;
        const double O1 = trunc(r1);
        word[k - 1] = static_cast<std::int16_t>(static_cast<std::int32_t>((r1 - O1) * R));
        O = O1 + M;
        M = T;
    }
    st.M = M;
    st.O = O;
}

template <class Trunc>
[[gnu::always_inline]] inline void releaseTail(Trunc trunc, const ReleaseState& st, int count,
                                               int radix, int n, const double* d, MpNumber& x) {
    const double R = radix;
    const double Ri = 1.0 / R;
    std::int16_t* word = x.words();
    int F = st.F;
    double z = st.M * R + st.O + 0.5;
    if (F == 0) z += (2.0 / n) * d[1];
    const double t = trunc(z * Ri);
    word[0] = static_cast<std::int16_t>(static_cast<std::int32_t>(z - t * R));
    if (t > 0) {
        std::copy_backward(word, word + count - 1, word + count);
        word[0] = static_cast<std::int16_t>(t);
        F += 1;
    }

    const double u = d[0] + F + 0.5;
    const double v = trunc(u) - 1.0;
    x.exponent = static_cast<std::int32_t>(trunc(u - v) + v);
    x.sign = st.V > 0.5 ? +1 : -1;
    if (word[0] == 0) {
        x.sign = 0;
        x.exponent = 0;
    }
}

const auto truncViaInt = [](double v) { return static_cast<double>(static_cast<std::int64_t>(v)); };

void releaseReference(int count, int radix, int n, double* d, MpNumber& x) {
    ReleaseState st = releaseHead(truncViaInt, count, radix, n, d, x.words());
    releaseCarries(truncViaInt, radix, n, d, x.words(), st);
    releaseTail(truncViaInt, st, count, radix, n, d, x);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define OSKELON_HAVE_EXACT_RELEASE 1

// The chain in integers. Mathematically the reference writes the base-R digits of
// sum_k floor(H c[k] + 0.5) R^(m-k) plus its incoming carries: per word, the split into a word, a
// carry one up and a carry two up is floor division by R and by R^2, and the carries it passes on
// are exact integers. Its floating-point steps err by a few hundredths of a unit at most (for the
// largest products here), so as long as every coefficient H c[k] lies within about 0.45 of an
// integer, which the radix test guarantees with room to spare, this chain writes the same words
// and leaves the same carry into word 0.
//
// Two words are released per step: their rounded coefficients X_k + R X_(k-1) plus the carry are
// divided by R^2 (a multiplication by a constant), and the remainder is split into the two words
// off the chain. The latency is one addition and one such division per two words, instead of two
// truncations and eight floating-point operations per word. Carries are kept biased by K so that
// the dividend never goes negative: q = T / R^2 with T = X_k + R X_(k-1) + carry + K R^2,
// carry = q - K.
//
// A product the engine forms has coefficients below 2^47 in magnitude (n/2 products of words of
// at most radix/2 with n <= 2^23); should a larger one appear, the function returns false and
// the caller runs the reference chain over the same words.
constexpr double kExactLimit = 140737488355328.0;  // 2^47

// The coefficients are rounded a block at a time ahead of the chain, in a loop without a
// dependence that is compiled into vectors at the CPU's carry level (carry_blocks.h): the same
// IEEE product, floor and comparison per coefficient, and an exact conversion of the integral
// double, so the chain sees the same integers.
constexpr int kRoundBlock = 256;  // even: blocks hold whole pairs
constexpr int kPrefetchAhead = 4 * kRoundBlock;
constexpr int kTwoChainsFrom = 4 * kRoundBlock;

template <std::uint64_t R>
struct ExactChain {
    // floor(v + 0.5) as an integer, for |v| < 2^50, without a floor instruction (which the
    // compiler will not vectorise while floating-point exceptions count): t + 1.5 * 2^52 rounds t
    // to the nearest integer N and holds N in its low bits; floor(t) is N, or N - 1 where N > t.
    // Beyond that range the result is meaningless but defined (unsigned), and the caller drops it.
    [[gnu::always_inline]] static std::uint64_t roundedOf(double v) {
        constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
        const double t = v + 0.5;
        const double s = t + kShift;
        const double nearest = s - kShift;
        return std::bit_cast<std::uint64_t>(s) - std::bit_cast<std::uint64_t>(kShift) -
               (nearest > t ? 1 : 0);
    }

    static constexpr std::uint64_t R2 = R * R;
    static constexpr std::uint64_t K = ((std::uint64_t{1} << 61) + R2 - 1) / R2;
    static_assert(kExactLimit < 1125899906842624.0);  // 2^50, for roundedOf

    // Coefficients low .. low+count-1 into rounded[0 .. count-1]; clears inRange for one beyond
    // kExactLimit. The blocks run downwards through memory, which the hardware does not foresee,
    // so the block kPrefetchAhead below is fetched when it belongs to the chain (above bottom).
    [[gnu::always_inline]] static void roundBlock(double H, const double* c, int low, int count,
                                                  int bottom, std::uint64_t* rounded,
                                                  bool* inRange) {
        if (low - kPrefetchAhead >= bottom) {
            for (int i = 0; i < count; i += 8) __builtin_prefetch(c + low + i - kPrefetchAhead);
        }
        int outside = 0;
        for (int i = 0; i < count; ++i) {
            const double v = H * c[low + i];
            outside |= std::fabs(v) < kExactLimit ? 0 : 1;
            rounded[i] = roundedOf(v);
        }
        if (outside != 0) *inRange = false;
    }

    // The words of the coefficients low+i and low+i-1 (word[low+i-1], word[low+i-2]), q the
    // biased carry in and out.
    [[gnu::always_inline]] static void releasePair(const std::uint64_t* rounded, int i, int low,
                                                   std::int16_t* word, std::uint64_t& q) {
        // Two's complement: the same bits as the signed sum where it is in range.
        const std::uint64_t pair = rounded[i] + R * rounded[i - 1];
        const std::uint64_t T = pair + (K * R2 - K) + q;
        q = T / R2;
        const std::uint64_t lowWords = T - q * R2;
        const std::uint64_t high = lowWords / R;
        word[low + i - 1] = static_cast<std::int16_t>(lowWords - high * R);
        word[low + i - 2] = static_cast<std::int16_t>(high);
    }

    [[gnu::always_inline]] static std::int64_t run(double H, const double* c, std::int16_t* word,
                                                   int top, int bottom, std::int64_t carry,
                                                   bool* inRange) {
        int k = top;
        if (k >= bottom && (k - bottom) % 2 == 0) {  // an odd number of words: the last one alone
            const double v = H * c[k];
            const bool ok = std::fabs(v) < kExactLimit;
            *inRange &= ok;
            const std::int64_t t = (ok ? static_cast<std::int64_t>(roundedOf(v)) : 0) + carry;
            std::int64_t quotient = t / static_cast<std::int64_t>(R);
            if (t % static_cast<std::int64_t>(R) < 0) quotient -= 1;
            word[k - 1] = static_cast<std::int16_t>(t - quotient * static_cast<std::int64_t>(R));
            carry = quotient;
            --k;
        }
        std::uint64_t q = static_cast<std::uint64_t>(carry) + K;
        alignas(64) std::uint64_t rounded[kRoundBlock];
        // A long chain runs as two halves side by side, each with the latency of one; the lower
        // half enters with a carry of 0 and is joined by the exact carry fix-up of word_blocks.h.
        const int total = k + 1 - bottom;  // even
        int lowerTop = bottom - 1;         // the last coefficient of the lower half, if any
        if (total >= kTwoChainsFrom) {
            lowerTop = bottom + (total / 4) * 2 - 1;
            alignas(64) std::uint64_t lower[kRoundBlock];
            if ((k - lowerTop) > (lowerTop + 1 - bottom)) {  // the upper half's extra pair first
                roundBlock(H, c, k - 1, 2, bottom, rounded, inRange);
                releasePair(rounded, 1, k - 1, word, q);
                k -= 2;
            }
            std::uint64_t qLower = K;
            for (int kLower = lowerTop; kLower >= bottom;) {
                const int lowLower = std::max(bottom, kLower + 1 - kRoundBlock);
                const int count = kLower + 1 - lowLower;
                const int low = k + 1 - count;
                roundBlock(H, c, low, count, lowerTop + 1, rounded, inRange);
                roundBlock(H, c, lowLower, count, bottom, lower, inRange);
                for (int i = count - 1; i > 0; i -= 2) {
                    releasePair(rounded, i, low, word, q);
                    releasePair(lower, i, lowLower, word, qLower);
                }
                k = low - 1;
                kLower = lowLower - 1;
            }
            const std::int64_t upperCarry = static_cast<std::int64_t>(q - K);
            return static_cast<std::int64_t>(qLower - K) +
                   detail::addCarryToWords(upperCarry, static_cast<int>(R), word, bottom - 1,
                                           lowerTop);
        }
        while (k > bottom) {
            const int low = std::max(bottom, k + 1 - kRoundBlock);
            const int count = k + 1 - low;  // even
            roundBlock(H, c, low, count, bottom, rounded, inRange);
            for (int i = count - 1; i > 0; i -= 2) releasePair(rounded, i, low, word, q);
            k = low - 1;
        }
        return static_cast<std::int64_t>(q - K);
    }
};

// From kReleaseLanesFrom coefficients on, the chain's upper part runs in vector lanes
// (release_lanes.h) and the rest, fewer than 128 coefficients, as above. BM_MpThreads/release on
// one pinned CPU, 2^18 to 2^22 words, ns per word including the benchmark's copy of the array:
// 1.04-1.07 -> 0.61-0.74 (three alternating runs).
constexpr int kReleaseLanesFrom = 2048;

template <std::uint64_t R>
struct LanesThenChain {
    [[gnu::always_inline]] static std::int64_t run(double H, const double* c, std::int16_t* word,
                                                   int top, int bottom, std::int64_t carry,
                                                   bool* inRange) {
        const int total = top + 1 - bottom;
        if (total >= kReleaseLanesFrom) {
            carry =
                detail::ReleaseLanes<R>::run(H, c, word, top, total, carry, kExactLimit, inRange);
            top -= detail::releaseLanesCover(total);
        }
        return ExactChain<R>::run(H, c, word, top, bottom, carry, inRange);
    }
};

template <std::uint64_t R>
std::int64_t exactChain(double H, const double* c, std::int16_t* word, int top, int bottom,
                        std::int64_t carry, bool& inRange) {
    return detail::runCarryLoop<LanesThenChain<R>>(H, c, word, top, bottom, carry, &inRange);
}

// From kSpreadReleaseFrom words on (word_blocks.h) the chain is spread over the active pool in
// blocks of at least kReleaseBlock words. Each block runs exactChain with carry 0 (the same
// integers, so the carries inside it stay within the same bounds), then the blocks are joined from
// the last one toward word 1 by addCarryToWords: the digits of exact integers, as word_blocks.h
// argues, so every word and the carry into word 0 are those of the serial chain.
constexpr int kReleaseBlock = 8192;

template <std::uint64_t R>
std::int64_t exactChainSpread(double H, const double* c, std::int16_t* word, int m,
                              std::int64_t carry, bool& inRange) {
    const detail::BlockSplit split = detail::splitIntoBlocks(2, m + 1, kReleaseBlock, 2);
    std::int64_t carries[detail::kMaxWordBlocks];
    bool ok[detail::kMaxWordBlocks];
    forEachPart(split.count, [&](int b) {
        bool blockInRange = true;
        carries[b] = exactChain<R>(H, c, word, split.end(b) - 1, split.begin(b), 0, blockInRange);
        ok[b] = blockInRange;
    });
    for (int b = 0; b < split.count; ++b) inRange &= ok[b];
    if (!inRange) return 0;
    for (int b = split.count - 1; b >= 0; --b) {
        // Positions begin .. end-1 hold words begin-1 .. end-2.
        carry = carries[b] + detail::addCarryToWords(carry, static_cast<int>(R), word,
                                                     split.begin(b) - 1, split.end(b) - 1);
    }
    return carry;
}

template <std::uint64_t R>
[[gnu::target("sse4.1")]] bool releaseCarriesExact(int n, const double* d, std::int16_t* word,
                                                   ReleaseState& st) {
    if (!(std::fabs(st.M) < kExactLimit && std::fabs(st.O) < kExactLimit)) return false;
    const double H = 2.0 / n;
    const double* c = d - st.F;
    bool inRange = true;
    std::int64_t carry = static_cast<std::int64_t>(st.M) * static_cast<std::int64_t>(R) +
                         static_cast<std::int64_t>(st.O);
    if (detail::spreadWorthIt(st.m - 1, detail::kSpreadReleaseFrom)) {
        carry = exactChainSpread<R>(H, c, word, st.m, carry, inRange);
    } else {
        carry = exactChain<R>(H, c, word, st.m, 2, carry, inRange);
    }
    if (!inRange) return false;
    st.M = 0.0;
    st.O = static_cast<double>(carry);
    return true;
}

[[gnu::target("sse4.1")]] void releaseRound(int count, int radix, int n, double* d, MpNumber& x) {
    const auto truncRound = [](double v) { return __builtin_trunc(v); };
    std::int16_t* word = x.words();
    ReleaseState st = releaseHead(truncRound, count, radix, n, d, word);
    bool done = false;
    switch (radix) {
        case 10:
            done = releaseCarriesExact<10>(n, d, word, st);
            break;
        case 100:
            done = releaseCarriesExact<100>(n, d, word, st);
            break;
        case 1000:
            done = releaseCarriesExact<1000>(n, d, word, st);
            break;
        case 10000:
            done = releaseCarriesExact<10000>(n, d, word, st);
            break;
        default:
            break;
    }
    if (!done) releaseCarries(truncRound, radix, n, d, word, st);
    releaseTail(truncRound, st, count, radix, n, d, x);
}
#endif

}  // namespace

void mpFromDoubles(int count, int radix, int n, double* d, MpNumber& x) {
    mpFromDoublesOn(activeFftPath(), count, radix, n, d, x);
}

void mpFromDoublesOn(FftPath path, int count, int radix, int n, double* d, MpNumber& x) {
#ifdef OSKELON_HAVE_EXACT_RELEASE
    if (path == FftPath::Avx2 || path == FftPath::Avx512) {
        releaseRound(count, radix, n, d, x);
        return;
    }
#endif
    releaseReference(count, radix, n, d, x);
}

double maxRoundingError(int radix, int n, double* d) {
    const double R = radix;
    const double H = 2.0 / n;
    const double Q = 1.0 / (R * R);
    auto trunc = [](double v) { return static_cast<double>(static_cast<std::int64_t>(v)); };
    d[n + 1] = d[1] - std::fabs(n * d[n + 1] * 0.5);
    double O = 0.0;
    double Tprev = 0.0;
    double worst = 0.0;
    for (int k = n + 1; k >= 2; --k) {
        const double r = (H * d[k] + O + 0.5) * Q;
        const double T = trunc(r) - 1.0;
        const double r1 = (r - T) * R;
        const double O1 = trunc(r1);
        O = O1 + Tprev;
        Tprev = T;
        const double y = (r1 - O1) * R;
        const double err = (y - 0.5) - trunc(y);
        worst = std::max(worst, std::fabs(err));
    }
    return worst;
}

double radixTest(int count, int radix, int n, double* d) {
    // The largest magnitude every position can hold after conversion: the leading word radix-1,
    // the second word radix (word plus carry), balanced words of magnitude radix/2 after that.
    const int c = std::min(n / 2 + 1, count);
    d[n + 1] = radix - 1;
    detail::fillSpread(d + c + 1, d + n + 1, 0.0);
    if (c > 2) detail::fillSpread(d + 3, d + c + 1, static_cast<double>((radix + 1) / 2));
    d[2] = radix;
    d[1] = radix - 1;
    d[0] = 0.0;
    spectrumSquare(n, d);
    return 2.0 * maxRoundingError(radix, n, d);
}

}  // namespace oskelon
