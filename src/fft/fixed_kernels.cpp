// Fixed-size kernels: the quarter recursion of 16 and 8 points written out with constant factors,
// and the 4- and 2-point transforms of the smallest lengths. No loops, no factor computation.
//
// In a 16-point kernel, point j of the quarters is (z[j], z[j+4], z[j+8], z[j+12]); the first
// stage leaves quarter Q of the result in s_j.vQ, and the 4-point transforms of the quarters then
// read s_0.vQ .. s_3.vQ. The 8-point kernels are the same with two points per quarter.
#include "fft/fft_arith.h"
#include "fft/stage_kernels.h"

namespace oskelon {
namespace {

using detail::Cx;
using detail::kCos16;
using detail::kCos3_16;
using detail::kCos8;
using detail::kSin16;
using detail::kSin3_16;
using detail::kSin8;
using detail::Quad;

inline Cx at(const double* z, int point) {
    return detail::load(z + 2 * point);
}

inline void put(double* z, int point, Cx v) {
    detail::store(z + 2 * point, v);
}

inline void put4(double* z, int first, const Quad& r) {
    put(z, first, r.v0);
    put(z, first + 1, r.v1);
    put(z, first + 2, r.v2);
    put(z, first + 3, r.v3);
}

// 2-point plain and twisted transforms into points `first`, `first`+1.
inline void plain2(double* z, int first, Cx a, Cx b) {
    put(z, first, a + b);
    put(z, first + 1, a - b);
}

inline void twisted2(double* z, int first, Cx a, Cx b) {
    put(z, first, detail::plusI(a, b));
    put(z, first + 1, detail::minusI(a, b));
}

}  // namespace

// w = e^(i pi/8): factors w^j on (a-c)+i(b-d) and w^(3j) on (a-c)-i(b-d), j = 1, 2, 3.
void kernelPlain16(double* z) {
    const Cx w1{kCos8, kSin8};    // w^1
    const Cx w3{kSin8, kCos8};    // w^3
    const Cx w9{-kCos8, -kSin8};  // w^9
    const Quad s0 = detail::plain4(at(z, 0), at(z, 4), at(z, 8), at(z, 12));
    Quad s1 = detail::plain4(at(z, 1), at(z, 5), at(z, 9), at(z, 13));
    Quad s2 = detail::plain4(at(z, 2), at(z, 6), at(z, 10), at(z, 14));
    Quad s3 = detail::plain4(at(z, 3), at(z, 7), at(z, 11), at(z, 15));
    s1.v2 = detail::mul(w1, s1.v2);
    s1.v3 = detail::mul(w3, s1.v3);
    s2.v2 = detail::mulEps(s2.v2);
    s2.v3 = detail::mulEps3(s2.v3);
    s3.v2 = detail::mul(w3, s3.v2);
    s3.v3 = detail::mul(w9, s3.v3);
    put4(z, 0, detail::plain4(s0.v0, s1.v0, s2.v0, s3.v0));
    put4(z, 4, detail::twisted4(s0.v1, s1.v1, s2.v1, s3.v1));
    put4(z, 8, detail::plain4(s0.v2, s1.v2, s2.v2, s3.v2));
    put4(z, 12, detail::plain4(s0.v3, s1.v3, s2.v3, s3.v3));
}

// a = e^(i pi/16): point j uses a^j, a^(j+4), a^(3j), a^(3j+12).
void kernelTwisted16(double* z) {
    const Cx a1{kCos16, kSin16};         // a^1
    const Cx a2{kCos8, kSin8};           // a^2
    const Cx a3{kCos3_16, kSin3_16};     // a^3
    const Cx a5{kSin3_16, kCos3_16};     // a^5
    const Cx a6{kSin8, kCos8};           // a^6
    const Cx a7{kSin16, kCos16};         // a^7
    const Cx a9{-kSin16, kCos16};        // a^9
    const Cx a15{-kCos16, kSin16};       // a^15
    const Cx a18{-kCos8, -kSin8};        // a^18
    const Cx a21{-kSin3_16, -kCos3_16};  // a^21
    const Quad s0 = detail::twisted4(at(z, 0), at(z, 4), at(z, 8), at(z, 12));
    const Quad s1 = detail::twisted4(at(z, 1), at(z, 5), at(z, 9), at(z, 13), a1, a5, a3, a15);
    const Quad s2 = detail::twisted4(at(z, 2), at(z, 6), at(z, 10), at(z, 14), a2, a6, a6, a18);
    const Quad s3 = detail::twisted4(at(z, 3), at(z, 7), at(z, 11), at(z, 15), a3, a7, a9, a21);
    put4(z, 0, detail::plain4(s0.v0, s1.v0, s2.v0, s3.v0));
    put4(z, 4, detail::twisted4(s0.v1, s1.v1, s2.v1, s3.v1));
    put4(z, 8, detail::plain4(s0.v2, s1.v2, s2.v2, s3.v2));
    put4(z, 12, detail::twisted4(s0.v3, s1.v3, s2.v3, s3.v3));
}

// w = eps: point 1 uses eps and eps^3.
void kernelPlain8(double* z) {
    const Quad s0 = detail::plain4(at(z, 0), at(z, 2), at(z, 4), at(z, 6));
    Quad s1 = detail::plain4(at(z, 1), at(z, 3), at(z, 5), at(z, 7));
    s1.v2 = detail::mulEps(s1.v2);
    s1.v3 = detail::mulEps3(s1.v3);
    plain2(z, 0, s0.v0, s1.v0);
    twisted2(z, 2, s0.v1, s1.v1);
    plain2(z, 4, s0.v2, s1.v2);
    plain2(z, 6, s0.v3, s1.v3);
}

// a = e^(i pi/8): point 0 uses 1, eps, 1, eps^3; point 1 uses a, a^3, a^3, a^9.
void kernelTwisted8(double* z) {
    const Cx a1{kCos8, kSin8};
    const Cx a3{kSin8, kCos8};
    const Cx a9{-kCos8, -kSin8};
    const Quad s0 = detail::twisted4(at(z, 0), at(z, 2), at(z, 4), at(z, 6));
    const Quad s1 = detail::twisted4(at(z, 1), at(z, 3), at(z, 5), at(z, 7), a1, a3, a3, a9);
    plain2(z, 0, s0.v0, s1.v0);
    twisted2(z, 2, s0.v1, s1.v1);
    plain2(z, 4, s0.v2, s1.v2);
    twisted2(z, 6, s0.v3, s1.v3);
}

// X0 = (z0+z2)+(z1+z3), X1 = (z0-z2)+i(z1-z3), X2 = (z0+z2)-(z1+z3), X3 = (z0-z2)-i(z1-z3).
void dft4Forward(double* z) {
    const Quad r = detail::plain4(at(z, 0), at(z, 1), at(z, 2), at(z, 3));
    put(z, 0, r.v0);
    put(z, 1, r.v2);
    put(z, 2, r.v1);
    put(z, 3, r.v3);
}

// As dft4Forward with X1 and X3 exchanged.
void dft4Inverse(double* z) {
    const Quad r = detail::plain4(at(z, 0), at(z, 1), at(z, 2), at(z, 3));
    put(z, 0, r.v0);
    put(z, 1, r.v3);
    put(z, 2, r.v1);
    put(z, 3, r.v2);
}

void dft2(double* z) {
    plain2(z, 0, at(z, 0), at(z, 1));
}

}  // namespace oskelon
