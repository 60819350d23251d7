// Complex arithmetic on (real, imaginary) pairs of doubles and the stored constants of the
// transform. Internal to src/fft.
//
// Each helper rounds every real operation once, in the order written. Negating or exchanging the
// parts of a value is exact, so a helper applied to a conjugated or quarter-turned input gives the
// conjugated or quarter-turned result bit for bit; the exact symmetries of the transform
// (inverse = conj(forward(conj x))) rest on that.
#pragma once

namespace oskelon::detail {

// The only data the transform reads besides the caller's array; each is the double nearest to
// the exact value.
inline constexpr double kHalfPi = 1.5707963267948966;        // pi/2, step angles of the stages
inline constexpr double kSqrtHalf = 0.7071067811865476;      // cos(pi/4) = sin(pi/4)
inline constexpr double kNegSqrtHalf = -0.7071067811865476;  // -cos(pi/4)
inline constexpr double kCos8 = 0.9238795325112867;          // cos(pi/8)
inline constexpr double kSin8 = 0.3826834323650898;          // sin(pi/8)
inline constexpr double kCos16 = 0.9807852804032304;         // cos(pi/16)
inline constexpr double kSin16 = 0.19509032201612828;        // sin(pi/16)
inline constexpr double kCos3_16 = 0.8314696123025452;       // cos(3pi/16)
inline constexpr double kSin3_16 = 0.5555702330196022;       // sin(3pi/16)

struct Cx {
    double re;
    double im;
};

inline Cx load(const double* p) {
    return {p[0], p[1]};
}
inline void store(double* p, Cx v) {
    p[0] = v.re;
    p[1] = v.im;
}

inline Cx operator+(Cx a, Cx b) {
    return {a.re + b.re, a.im + b.im};
}
inline Cx operator-(Cx a, Cx b) {
    return {a.re - b.re, a.im - b.im};
}
inline Cx conj(Cx a) {
    return {a.re, -a.im};
}

// a + i*b and a - i*b.
inline Cx plusI(Cx a, Cx b) {
    return {a.re - b.im, a.im + b.re};
}
inline Cx minusI(Cx a, Cx b) {
    return {a.re + b.im, a.im - b.re};
}

// f*z, four multiplications.
inline Cx mul(Cx f, Cx z) {
    return {f.re * z.re - f.im * z.im, f.im * z.re + f.re * z.im};
}

// eps*z and eps^3*z = i*eps*z with eps = e^(i pi/4), two multiplications each.
inline Cx mulEps(Cx z) {
    return {kSqrtHalf * (z.re - z.im), kSqrtHalf * (z.re + z.im)};
}
inline Cx mulEps3(Cx z) {
    return {kNegSqrtHalf * (z.re + z.im), kSqrtHalf * (z.re - z.im)};
}

// Four complex values: the outputs of one radix-4 butterfly.
struct Quad {
    Cx v0, v1, v2, v3;
};

// Plain radix-4 butterfly without factors (the 4-point plain block transform, bit-reversed):
// (a+c)+(b+d), (a+c)-(b+d), (a-c)+i(b-d), (a-c)-i(b-d).
inline Quad plain4(Cx a, Cx b, Cx c, Cx d) {
    const Cx g = a + c, h = b + d, e = a - c, f = b - d;
    return {g + h, g - h, plusI(e, f), minusI(e, f)};
}

// Twisted radix-4 butterfly with the factors f1..f4 applied as full complex products:
// u = f1(a+ic), v = f2(b+id), x = f3(a-ic), y = f4(b-id) -> u+v, u-v, x+y, x-y.
inline Quad twisted4(Cx a, Cx b, Cx c, Cx d, Cx f1, Cx f2, Cx f3, Cx f4) {
    const Cx u = mul(f1, plusI(a, c)), v = mul(f2, plusI(b, d));
    const Cx x = mul(f3, minusI(a, c)), y = mul(f4, minusI(b, d));
    return {u + v, u - v, x + y, x - y};
}

// The same with the factors 1, eps, 1, eps^3 (the 4-point twisted block transform, bit-reversed).
inline Quad twisted4(Cx a, Cx b, Cx c, Cx d) {
    const Cx u = plusI(a, c), v = mulEps(plusI(b, d));
    const Cx x = minusI(a, c), y = mulEps3(minusI(b, d));
    return {u + v, u - v, x + y, x - y};
}

}  // namespace oskelon::detail
