// The permutations against index reversal computed bit by bit, at every length up to the largest
// transform (both parities of log2 N).
#include <gtest/gtest.h>

#include <vector>

#include "fft/complex_fft.h"
#include "fft/fft_oracle.h"

namespace oskelon {
namespace {

// Point p holds (p + 0.25, -(p + 0.5)): all points distinct and no zero parts, so a missing or
// doubled conjugation cannot hide.
std::vector<double> labelled(int N) {
    std::vector<double> d(2 * static_cast<std::size_t>(N));
    for (std::size_t p = 0; p < d.size() / 2; ++p) d[2 * p] = p + 0.25, d[2 * p + 1] = -(p + 0.5);
    return d;
}

// Points p where out[p] != in[source(p)], conjugated when `conj`.
template <typename Source>
int mismatches(const std::vector<double>& out, Source source, bool conj) {
    int bad = 0;
    for (std::size_t p = 0; p < out.size() / 2; ++p) {
        const int s = source(static_cast<int>(p));
        bad += out[2 * p] != s + 0.25 || out[2 * p + 1] != (conj ? 1 : -1) * (s + 0.5);
    }
    return bad;
}

TEST(BitReverse, IsTheIndexReversalAndAnInvolutionAtEveryLength) {
    for (int n = 4; n <= (1 << 23); n *= 2) {
        const int bits = test::log2Exact(n / 2);
        auto rev = [bits](int p) { return test::reverseBits(p, bits); };
        const std::vector<double> d = labelled(n / 2);
        std::vector<double> plain = d, conj = d;
        bitReverse(n, plain.data());
        bitReverseConj(n, conj.data());
        EXPECT_EQ(mismatches(plain, rev, false), 0) << "n = " << n;
        EXPECT_EQ(mismatches(conj, rev, true), 0) << "n = " << n;
        bitReverse(n, plain.data());
        bitReverseConj(n, conj.data());
        EXPECT_EQ(plain, d) << "bitReverse twice, n = " << n;
        EXPECT_EQ(conj, d) << "bitReverseConj twice, n = " << n;
    }
}

// out[p] = in[rev(p)], or in[rev((N - p) mod N)] for the negating variants.
TEST(FixedPermutations, MatchTheirDefinitions) {
    struct Case {
        const char* name;
        int N;
        bool negate;
        void (*permute)(double*);
    };
    const Case cases[] = {{"bitReverse16", 16, false, bitReverse16},
                          {"bitReverseNegate16", 16, true, bitReverseNegate16},
                          {"bitReverse8", 8, false, bitReverse8},
                          {"bitReverseNegate8", 8, true, bitReverseNegate8}};
    for (const Case& c : cases) {
        auto source = [&](int p) {
            return test::reverseBits(c.negate ? (c.N - p) % c.N : p, test::log2Exact(c.N));
        };
        std::vector<double> d = labelled(c.N);
        c.permute(d.data());
        EXPECT_EQ(mismatches(d, source, false), 0) << c.name;
    }
}

}  // namespace
}  // namespace oskelon
