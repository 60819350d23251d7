// Complex values held as separate real and imaginary parts, over any value type (a double or a
// vector of doubles, one point per lane), with the arithmetic helpers of fft_arith.h: every helper
// performs the same IEEE operations in the same order as its scalar original, lane by lane.
//
// Shared by the vector stage and leaves templates. Everything has internal linkage: the header is
// compiled into translation units with different instruction sets, and no function compiled for
// a wider one may be shared with another unit.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

namespace oskelon::split {
namespace {

// Vectors of 2, 4 and 8 doubles (SSE2, AVX and AVX-512 registers), one point per lane.
typedef double V2 __attribute__((vector_size(16)));
typedef double V4 __attribute__((vector_size(32)));
typedef double V8 __attribute__((vector_size(64)));

// Constant lane indices for shuffle: entry i names the lane that lane i of the result takes.
template <std::size_t W>
using LaneIndex = std::array<int, W>;

// Lane i of the result is lane Index[i] of the pair (a, b), the lanes of b numbered after those
// of a. The indices are constants, so this is the same fixed permutation (unpack, shuffle,
// blend, permute) on every compiler that offers __builtin_shufflevector (g++ 12 and later,
// clang). It only moves values.
template <auto Index, class V, std::size_t... L>
inline V shuffleLanes(V a, V b, std::index_sequence<L...>) {
    return __builtin_shufflevector(a, b, Index[L]...);
}
template <auto Index, class V>
inline V shuffle(V a, V b) {
    static_assert(Index.size() * sizeof(a[0]) == sizeof(V), "one index per lane of the result");
    return shuffleLanes<Index>(a, b, std::make_index_sequence<Index.size()>{});
}

template <class V>
struct C {
    V re, im;
};
using Cs = C<double>;

template <class V>
inline C<V> add(C<V> a, C<V> b) {
    return {a.re + b.re, a.im + b.im};
}
template <class V>
inline C<V> sub(C<V> a, C<V> b) {
    return {a.re - b.re, a.im - b.im};
}
// a + i*b and a - i*b
template <class V>
inline C<V> plusI(C<V> a, C<V> b) {
    return {a.re - b.im, a.im + b.re};
}
template <class V>
inline C<V> minusI(C<V> a, C<V> b) {
    return {a.re + b.im, a.im - b.re};
}
// f*z, four multiplications
template <class V>
inline C<V> mul(C<V> f, C<V> z) {
    return {f.re * z.re - f.im * z.im, f.im * z.re + f.re * z.im};
}

}  // namespace
}  // namespace oskelon::split
