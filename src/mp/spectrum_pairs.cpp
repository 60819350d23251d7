#include "mp/spectrum_pairs.h"

#include <algorithm>
#include <cstring>

#include "fft/complex_fft.h"
#include "fft/contract.h"
#include "fft/rounded_sincos.h"
#include "mp/carry_blocks.h"
#include "mp/lane_transpose.h"
#include "mp/word_blocks.h"

namespace oskelon {
namespace {

// The pairs are j = n/2-2, n/2-4, ..., 2 (positions relative to element 1). No table: the twiddles
// follow the two-term recurrence
//     wkr(j-2) = wkr(j+2) + step*wki(j),  wki(j-2) = wki(j+2) + step*(1/2 - wkr(j)),
// step = 2 sin(2 pi/n), restarted from closed forms every 128 pairs so that rounding drift never
// spans more than 128 pairs. Those restarts cut the pairs into segments (segment s starts at
// top = n/2 - 256 s) whose twiddles depend on nothing but n and s, so any range of segments can be
// visited on its own, in any order, with the same operations per pair.
constexpr int kPairsPerSegment = 128;

int pairSegments(int n) {
    const int half = n / 2;
    return half - 2 < 2 ? 0 : (half - 2 + 2 * kPairsPerSegment - 1) / (2 * kPairsPerSegment);
}

// The recurrence's step and the values of segment s at top (prev) and at top-2 (cur).
struct Recurrence {
    double e, f, step;
    explicit Recurrence(int n) {
        const SinCos sc1 = roundedSinCos(3.141592653589793 / n);
        e = sc1.sin * sc1.sin;
        f = sc1.sin * sc1.cos;
        step = 4.0 * f;
    }
};

struct SegmentStart {
    double prevR, prevI, curR, curI;
};

[[gnu::always_inline]] inline SegmentStart segmentStart(const Recurrence& r, int n, int segment) {
    if (segment == 0) return {0.0, 0.0, r.e, r.f};
    const int top = n / 2 - 2 * kPairsPerSegment * segment;
    const SinCos sco = roundedSinCos(3.141592653589793 * top / n);
    const double h = 0.5 * sco.cos;
    const double t = 0.5 * sco.sin;
    return {0.5 - t, h, 0.5 - (t * (1.0 - 2.0 * r.e) - h * (2.0 * r.f)),
            h * (1.0 - 2.0 * r.e) + t * (2.0 * r.f)};
}

// Where segment s starts and how many pairs it has.
struct SegmentSpan {
    int top, count;
    SegmentSpan(int n, int segment) {
        top = n / 2 - 2 * kPairsPerSegment * segment;
        count = (top - std::max(top - 2 * kPairsPerSegment, 2)) / 2;
    }
};

struct Complex {
    double re, im;
};

[[gnu::always_inline]] inline Complex mul(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
[[gnu::always_inline]] inline Complex sqr(Complex a) {
    return {a.re * a.re - a.im * a.im, (a.re + a.re) * a.im};
}
[[gnu::always_inline]] inline Complex add(Complex a, Complex b) {
    return {a.re + b.re, a.im + b.im};
}

// The split of the pair (lo at j, hi at n-j) with its twiddles, and the merge that undoes it.
[[gnu::always_inline]] inline void split(double wkr, double wki, Complex& lo, Complex& hi) {
    const double xr = lo.re - hi.re;
    const double xi = lo.im + hi.im;
    const double yr = wkr * xr - wki * xi;
    const double yi = wkr * xi + wki * xr;
    lo = {lo.re - yr, lo.im - yi};
    hi = {hi.re + yr, hi.im - yi};
}

[[gnu::always_inline]] inline void merge(double wkr, double wki, Complex& lo, Complex& hi) {
    const double xr = lo.re - hi.re;
    const double xi = lo.im + hi.im;
    const double yr = wkr * xr + wki * xi;
    const double yi = wkr * xi - wki * xr;
    lo = {lo.re - yr, lo.im - yi};
    hi = {hi.re + yr, hi.im - yi};
}

// Array b := a * b at both positions of a pair.
[[gnu::always_inline]] inline void multiplyInto(Complex* lo, Complex* hi, int a, int b) {
    lo[b] = mul(lo[a], lo[b]);
    hi[b] = mul(hi[a], hi[b]);
}

// Array b := a^2 at both positions of a pair.
[[gnu::always_inline]] inline void squareInto(Complex* lo, Complex* hi, int a, int b) {
    lo[b] = sqr(lo[a]);
    hi[b] = sqr(hi[a]);
}

// Each loop: how many arrays it takes, which of them it reads and writes (bit k: array k), and
// what it does to one pair's values (lo[k] at j, hi[k] at n-j of array k).
template <int Arrays, unsigned Reads, unsigned Writes>
struct Loop {
    static constexpr int kArrays = Arrays;
    static constexpr bool reads(int k) { return (Reads >> k & 1u) != 0; }
    static constexpr bool writes(int k) { return (Writes >> k & 1u) != 0; }
};

struct MultiplyIntoUnsplit : Loop<2, 0b11, 0b10> {
    [[gnu::always_inline]] static void pair(double wr, double wi, Complex* lo, Complex* hi) {
        split(wr, wi, lo[1], hi[1]);
        multiplyInto(lo, hi, 0, 1);
        merge(wr, wi, lo[1], hi[1]);
    }
};

struct SplitAndMultiplyInto : Loop<2, 0b11, 0b11> {
    [[gnu::always_inline]] static void pair(double wr, double wi, Complex* lo, Complex* hi) {
        split(wr, wi, lo[0], hi[0]);
        MultiplyIntoUnsplit::pair(wr, wi, lo, hi);
    }
};

struct MultiplyIntoKept : Loop<2, 0b11, 0b11> {
    [[gnu::always_inline]] static void pair(double wr, double wi, Complex* lo, Complex* hi) {
        split(wr, wi, lo[0], hi[0]);
        multiplyInto(lo, hi, 0, 1);
        merge(wr, wi, lo[1], hi[1]);
    }
};

struct MultiplyKeep : Loop<2, 0b11, 0b11> {
    [[gnu::always_inline]] static void pair(double wr, double wi, Complex* lo, Complex* hi) {
        split(wr, wi, lo[0], hi[0]);
        split(wr, wi, lo[1], hi[1]);
        multiplyInto(lo, hi, 0, 1);
    }
};

struct MultiplyAccumulate : Loop<3, 0b111, 0b100> {
    [[gnu::always_inline]] static void pair(double wr, double wi, Complex* lo, Complex* hi) {
        split(wr, wi, lo[1], hi[1]);
        lo[2] = add(lo[2], mul(lo[0], lo[1]));
        hi[2] = add(hi[2], mul(hi[0], hi[1]));
        merge(wr, wi, lo[2], hi[2]);
    }
};

struct Square : Loop<1, 0b1, 0b1> {
    [[gnu::always_inline]] static void pair(double wr, double wi, Complex* lo, Complex* hi) {
        split(wr, wi, lo[0], hi[0]);
        squareInto(lo, hi, 0, 0);
        merge(wr, wi, lo[0], hi[0]);
    }
};

struct SquareInto : Loop<2, 0b01, 0b11> {
    [[gnu::always_inline]] static void pair(double wr, double wi, Complex* lo, Complex* hi) {
        split(wr, wi, lo[0], hi[0]);
        squareInto(lo, hi, 0, 1);
        merge(wr, wi, lo[1], hi[1]);
    }
};

struct SquareKept : Loop<1, 0b1, 0b1> {
    [[gnu::always_inline]] static void pair(double wr, double wi, Complex* lo, Complex* hi) {
        squareInto(lo, hi, 0, 0);
        merge(wr, wi, lo[0], hi[0]);
    }
};

// The reference: segment by segment, pair by pair, each twiddle from the last two.
template <class L>
void pairsReference(int n, int first, int end, double* const* x) {
    const Recurrence r(n);
    for (int segment = first; segment < end; ++segment) {
        const SegmentSpan span(n, segment);
        SegmentStart v = segmentStart(r, n, segment);
        for (int m = 0; m < span.count; ++m) {
            const int j = span.top - 2 - 2 * m;
            Complex lo[L::kArrays], hi[L::kArrays];
            for (int k = 0; k < L::kArrays; ++k) {
                if (L::reads(k)) {
                    lo[k] = {x[k][j], x[k][j + 1]};
                    hi[k] = {x[k][n - j], x[k][n - j + 1]};
                }
            }
            L::pair(v.curR, v.curI, lo, hi);
            for (int k = 0; k < L::kArrays; ++k) {
                if (L::writes(k)) {
                    x[k][j] = lo[k].re;
                    x[k][j + 1] = lo[k].im;
                    x[k][n - j] = hi[k].re;
                    x[k][n - j + 1] = hi[k].im;
                }
            }
            const double nextR = v.prevR + r.step * v.curI;
            const double nextI = v.prevI + r.step * (0.5 - v.curR);
            v = {v.curR, v.curI, nextR, nextI};
        }
    }
}

// The lanes: the recurrences of kLaneSegments segments run side by side (segment g of the group in
// lane g), each with the reference's operations, into a table of the group's twiddles; then each
// segment's pairs are copied into arrays of real and imaginary parts, pair m at index m, where the
// pair loop has no dependence from one pair to the next and is compiled into vector code.
constexpr int kLaneSegments = 8;
static_assert(kPairsPerSegment % kLaneSegments == 0);

struct GroupTwiddles {
    alignas(64) double r[kLaneSegments][kPairsPerSegment];
    alignas(64) double i[kLaneSegments][kPairsPerSegment];
};

struct SegmentValues {
    alignas(64) double loRe[kPairsPerSegment];
    alignas(64) double loIm[kPairsPerSegment];
    alignas(64) double hiRe[kPairsPerSegment];
    alignas(64) double hiIm[kPairsPerSegment];
};

// One value of each of the group's segments, segment g in lane g; compiled to vectors of the
// caller's width, each lane with exactly the scalar operations.
using Lanes = detail::Lanes8;
static_assert(kLaneSegments == 8);
using detail::transposeLanes;  // rows v[k] (step k, lane g) into columns v[g] (segment g, step k)

[[gnu::always_inline]] inline void groupTwiddles(const Recurrence& r, int n, int first, int end,
                                                 GroupTwiddles& t) {
    Lanes prevR, prevI, curR, curI;
    for (int g = 0; g < kLaneSegments; ++g) {
        // Lanes past the last segment compute values nobody reads.
        const SegmentStart v =
            first + g < end ? segmentStart(r, n, first + g) : SegmentStart{0.0, 0.0, 0.0, 0.0};
        prevR[g] = v.prevR;
        prevI[g] = v.prevI;
        curR[g] = v.curR;
        curI[g] = v.curI;
    }
    for (int m = 0; m < kPairsPerSegment; m += kLaneSegments) {
        Lanes rowR[kLaneSegments], rowI[kLaneSegments];
        for (int k = 0; k < kLaneSegments; ++k) {
            rowR[k] = curR;
            rowI[k] = curI;
            const Lanes nextR = prevR + r.step * curI;
            const Lanes nextI = prevI + r.step * (0.5 - curR);
            prevR = curR;
            prevI = curI;
            curR = nextR;
            curI = nextI;
        }
        transposeLanes(rowR);
        transposeLanes(rowI);
        for (int g = 0; g < kLaneSegments; ++g) {
            std::memcpy(&t.r[g][m], &rowR[g], sizeof(Lanes));
            std::memcpy(&t.i[g][m], &rowI[g], sizeof(Lanes));
        }
    }
}

// Pair m of a segment is element top-2-2m on the low side and n-top+2+2m on the high side; the
// low side is held in address order, pair m at index count-1-m, so that both copies run forward.
[[gnu::always_inline]] inline void loadSegment(const double* x, int n, const SegmentSpan& span,
                                               SegmentValues& v) {
    const double* lo = x + span.top - 2 * span.count;
    const double* hi = x + n - span.top + 2;
    for (int m = 0; m < span.count; ++m) {
        v.loRe[m] = lo[2 * m];
        v.loIm[m] = lo[2 * m + 1];
    }
    for (int m = 0; m < span.count; ++m) {
        v.hiRe[m] = hi[2 * m];
        v.hiIm[m] = hi[2 * m + 1];
    }
}

[[gnu::always_inline]] inline void storeSegment(const SegmentValues& v, int n,
                                                const SegmentSpan& span, double* x) {
    double* lo = x + span.top - 2 * span.count;
    double* hi = x + n - span.top + 2;
    for (int m = 0; m < span.count; ++m) {
        lo[2 * m] = v.loRe[m];
        lo[2 * m + 1] = v.loIm[m];
    }
    for (int m = 0; m < span.count; ++m) {
        hi[2 * m] = v.hiRe[m];
        hi[2 * m + 1] = v.hiIm[m];
    }
}

template <class L>
struct PairLanes {
    [[gnu::always_inline]] static void run(int n, int first, int end, double* const* x) {
        const Recurrence r(n);
        GroupTwiddles t;
        SegmentValues v[L::kArrays];
        for (int group = first; group < end; group += kLaneSegments) {
            const int groupEnd = std::min(end, group + kLaneSegments);
            groupTwiddles(r, n, group, groupEnd, t);
            for (int segment = group; segment < groupEnd; ++segment) {
                const SegmentSpan span(n, segment);
                const double* wr = t.r[segment - group];
                const double* wi = t.i[segment - group];
                for (int k = 0; k < L::kArrays; ++k) {
                    if (L::reads(k)) loadSegment(x[k], n, span, v[k]);
                }
                const int last = span.count - 1;
                for (int m = 0; m < span.count; ++m) {
                    Complex lo[L::kArrays], hi[L::kArrays];
                    for (int k = 0; k < L::kArrays; ++k) {
                        lo[k] = {v[k].loRe[last - m], v[k].loIm[last - m]};
                        hi[k] = {v[k].hiRe[m], v[k].hiIm[m]};
                    }
                    L::pair(wr[m], wi[m], lo, hi);
                    for (int k = 0; k < L::kArrays; ++k) {
                        v[k].loRe[last - m] = lo[k].re;
                        v[k].loIm[last - m] = lo[k].im;
                        v[k].hiRe[m] = hi[k].re;
                        v[k].hiIm[m] = hi[k].im;
                    }
                }
                for (int k = 0; k < L::kArrays; ++k) {
                    if (L::writes(k)) storeSegment(v[k], n, span, x[k]);
                }
            }
        }
    }
};

// From kSpreadPairsFrom on (word_blocks.h) the segments are visited as parts on the active pool,
// kSegmentsPerPart segments (4096 positions on each side) per part, a multiple of the lanes'
// group. Each pair writes only its own elements.
constexpr int kSegmentsPerPart = 16;
static_assert(kSegmentsPerPart % kLaneSegments == 0);

detail::CarryLevel levelOf(FftPath path) {
    const detail::CarryLevel cpu = detail::carryLevel();
    switch (path) {
        case FftPath::Avx512:
            return cpu;
        case FftPath::Avx2:
            return cpu == detail::CarryLevel::V4 ? detail::CarryLevel::V3 : cpu;
        case FftPath::Sse2:
        case FftPath::Scalar:
            break;
    }
    return detail::CarryLevel::Baseline;
}

// The pairs of segments [first, end) on a path; spread over the active pool in parts of
// kSegmentsPerPart from kSpreadPairsFrom on (inside a part, forEachPart runs them in order).
template <class L>
void segmentsOn(FftPath path, int n, double* const* x, int first, int end) {
    const detail::CarryLevel level = levelOf(path);
    const auto segmentsFrom = [&](int from, int to) {
        if (path == FftPath::Scalar) {
            pairsReference<L>(n, from, to, x);
        } else {
            detail::runCarryLoopAt<PairLanes<L>>(level, n, from, to, x);
        }
    };
    if (!detail::spreadWorthIt(n, detail::kSpreadPairsFrom)) {
        segmentsFrom(first, end);
        return;
    }
    const int parts = (end - first + kSegmentsPerPart - 1) / kSegmentsPerPart;
    forEachPart(parts, [&](int part) {
        segmentsFrom(first + part * kSegmentsPerPart,
                     std::min(end, first + (part + 1) * kSegmentsPerPart));
    });
}

template <class L>
void pairsOn(FftPath path, int n, double* const* x) {
    segmentsOn<L>(path, n, x, 0, pairSegments(n));
}

// The segments of the inverse transform's prelude units [first, end) (complex_fft.h). With
// K = n/1024 (two segments per unit and quarter of the points), segment s holds the pairs of the
// points 128 (2K - s - 1) .. 128 (2K - s) - 1 and their partners, so the unit ranges' four runs
// of points at offsets [128 first, 128 end) and [m - 128 end, m - 128 first) in the first two
// quarters are the segments below; the other two quarters hold their partners.
template <class L>
void unitsOn(FftPath path, int n, double* const* x, int first, int end) {
    if (first == 0 && end == fftPreludeUnits(n)) {
        pairsOn<L>(path, n, x);
        return;
    }
    const int k = n / 1024;
    segmentsOn<L>(path, n, x, 2 * k - end, 2 * k - first);
    segmentsOn<L>(path, n, x, k + first, k + end);
    segmentsOn<L>(path, n, x, k - end, k - first);
    segmentsOn<L>(path, n, x, first, end);
}

template <class L>
struct PairsPrelude {
    FftPath path;
    int n;
    double* const* x;
    static void ready(void* context, int first, int end) {
        const PairsPrelude& p = *static_cast<const PairsPrelude*>(context);
        unitsOn<L>(p.path, p.n, p.x, first, end);
    }
};

// The array each loop merges into (its index among a, b, c), or -1.
constexpr int mergedArray(SpectrumPairs loop) {
    switch (loop) {
        case SpectrumPairs::Square:
        case SpectrumPairs::SquareKept:
            return 0;
        case SpectrumPairs::MultiplyIntoUnsplit:
        case SpectrumPairs::SplitAndMultiplyInto:
        case SpectrumPairs::MultiplyIntoKept:
        case SpectrumPairs::SquareInto:
            return 1;
        case SpectrumPairs::MultiplyAccumulate:
            return 2;
        case SpectrumPairs::MultiplyKeep:
            break;
    }
    return -1;
}

template <class L>
void pairsThenInverseOn(FftPath path, int n, double* const* x, double* target) {
    PairsPrelude<L> p{path, n, x};
    complexFftInverseAfterOn(path, n, target, {&PairsPrelude<L>::ready, &p});
}

// f(L{}) with the loop's struct L.
template <class F>
void withLoop(SpectrumPairs loop, F&& f) {
    switch (loop) {
        case SpectrumPairs::MultiplyIntoUnsplit:
            return f(MultiplyIntoUnsplit{});
        case SpectrumPairs::SplitAndMultiplyInto:
            return f(SplitAndMultiplyInto{});
        case SpectrumPairs::MultiplyIntoKept:
            return f(MultiplyIntoKept{});
        case SpectrumPairs::MultiplyKeep:
            return f(MultiplyKeep{});
        case SpectrumPairs::MultiplyAccumulate:
            return f(MultiplyAccumulate{});
        case SpectrumPairs::Square:
            return f(Square{});
        case SpectrumPairs::SquareInto:
            return f(SquareInto{});
        case SpectrumPairs::SquareKept:
            return f(SquareKept{});
    }
}

}  // namespace

void spectrumPairsOn(FftPath path, SpectrumPairs loop, int n, double* a, double* b, double* c) {
    OSKELON_ASSERT(a != b && (c == nullptr || (c != a && c != b)));
    double* const x[] = {a, b, c};
    withLoop(loop, [&](auto kind) { pairsOn<decltype(kind)>(path, n, x); });
}

void spectrumPairsThenInverseOn(FftPath path, SpectrumPairs loop, int n, double* a, double* b,
                                double* c) {
    OSKELON_ASSERT(a != b && (c == nullptr || (c != a && c != b)));
    const int merged = mergedArray(loop);
    OSKELON_ASSERT(merged >= 0);
    if (merged < 0) return;
    double* const x[] = {a, b, c};
    withLoop(loop, [&](auto kind) { pairsThenInverseOn<decltype(kind)>(path, n, x, x[merged]); });
}

void spectrumPairsThenInverse(SpectrumPairs loop, int n, double* a, double* b, double* c) {
    spectrumPairsThenInverseOn(activeFftPath(), loop, n, a, b, c);
}

void spectrumPairs(SpectrumPairs loop, int n, double* a, double* b, double* c) {
    spectrumPairsOn(activeFftPath(), loop, n, a, b, c);
}

}  // namespace oskelon
