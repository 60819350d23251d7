// Slow, obviously correct twins for the fft tests: naive sums in long double with exact angles
// (the exponent j*p is reduced modulo the root count in integers before an angle is formed),
// index reversal bit by bit, random operands and error measures.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace oskelon::test {

inline constexpr long double kTwoPiL = 6.283185307179586476925286766559005768L;
inline constexpr double kEps = 2.220446049250313e-16;  // 2^-52

struct ComplexL {
    long double re = 0.0L, im = 0.0L;
};

inline int log2Exact(int x) {
    int l = 0;
    while ((1 << l) < x) ++l;
    return l;
}

inline int reverseBits(int p, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) r |= ((p >> b) & 1) << (bits - 1 - b);
    return r;
}

// n doubles uniform in [-1, 1).
inline std::vector<double> randomDoubles(int n, std::uint64_t seed) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(static_cast<std::size_t>(n));
    for (double& x : v) x = dist(gen);
    return v;
}

// e^(2 pi i r/L) for r = 0 .. L-1.
inline std::vector<ComplexL> unitRoots(int L) {
    std::vector<ComplexL> w(static_cast<std::size_t>(L));
    for (int r = 0; r < L; ++r) {
        const long double a = kTwoPiL * r / L;
        w[static_cast<std::size_t>(r)] = {std::cos(a), std::sin(a)};
    }
    return w;
}

// out[p] = sum_j z[j] e^(2 pi i sign j mult[p]/L) over the points of z (interleaved doubles),
// L a power of two.
inline std::vector<ComplexL> naiveSum(const std::vector<double>& z, const std::vector<int>& mult,
                                      int L, int sign) {
    const std::vector<ComplexL> w = unitRoots(L);
    const unsigned mask = static_cast<unsigned>(L - 1);
    std::vector<ComplexL> out(mult.size());
    for (std::size_t p = 0; p < mult.size(); ++p) {
        const unsigned step = static_cast<unsigned>(sign >= 0 ? mult[p] : -mult[p]) & mask;
        long double sr = 0.0L, si = 0.0L;
        for (std::size_t j = 0, idx = 0; 2 * j < z.size(); ++j, idx = (idx + step) & mask) {
            const long double xr = z[2 * j], xi = z[2 * j + 1];
            sr += xr * w[idx].re - xi * w[idx].im;
            si += xr * w[idx].im + xi * w[idx].re;
        }
        out[p] = {sr, si};
    }
    return out;
}

// The DFT of the points of x in natural order, exponent sign +1 or -1.
inline std::vector<ComplexL> naiveDft(const std::vector<double>& x, int sign) {
    std::vector<int> mult(x.size() / 2);
    for (std::size_t p = 0; p < mult.size(); ++p) mult[p] = static_cast<int>(p);
    return naiveSum(x, mult, static_cast<int>(mult.size()), sign);
}

// sqrt(sum |got - want|^2 / sum |want|^2) over the points.
inline double relativeRmsError(const std::vector<double>& got, const std::vector<ComplexL>& want) {
    long double err = 0.0L, norm = 0.0L;
    for (std::size_t p = 0; p < want.size(); ++p) {
        const long double dr = got[2 * p] - want[p].re, di = got[2 * p + 1] - want[p].im;
        err += dr * dr + di * di;
        norm += want[p].re * want[p].re + want[p].im * want[p].im;
    }
    return static_cast<double>(std::sqrt(err / norm));
}

// Index of the first double whose bits differ (so -0 differs from +0), or -1.
inline long firstBitDifference(const std::vector<double>& a, const std::vector<double>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return static_cast<long>(i);
    }
    return a.size() == b.size() ? -1 : static_cast<long>(a.size());
}

inline std::vector<double> conjugated(std::vector<double> v) {
    for (std::size_t i = 1; i < v.size(); i += 2) v[i] = -v[i];
    return v;
}

// Records a measured error in the test's XML output.
inline void recordMeasurement(const std::string& key, double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3e", value);
    ::testing::Test::RecordProperty(key, buf);
}

}  // namespace oskelon::test
