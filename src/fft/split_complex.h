// Complex values held as separate real and imaginary parts, over any value type (a double or a
// vector of doubles, one point per lane), with the arithmetic helpers of fft_arith.h: every helper
// performs the same IEEE operations in the same order as its scalar original, lane by lane.
//
// Shared by the vector stage and leaves templates. Everything has internal linkage: the header is
// compiled into translation units with different instruction sets, and no function compiled for
// a wider one may be shared with another unit.
#pragma once

namespace oskelon::split {
namespace {

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
