// Long passes spread over a work pool give exactly the words and bits of the one-thread run: sums
// and differences (every shift regime and aliasing the callers use), conversions into transform
// arrays, the release on every path, the spectrum kernels and whole products. Sizes lie on both
// sides of the spread thresholds (2^15 words or doubles), and the operands include carries that run
// through every block boundary. Sums, differences and products are also held against GMP.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fft/fft_path.h"
#include "mp/elementary.h"
#include "mp/engine.h"
#include "mp/products.h"
#include "mp/word_blocks.h"
#include "support/exact.h"
#include "support/pool_runs.h"
#include "support/test_number.h"

namespace oskelon::test {
namespace {

using detail::kSpreadConversionFrom;
using detail::kSpreadFillFrom;
using detail::kSpreadHalveFrom;
using detail::kSpreadMulSmallFrom;
using detail::kSpreadPairsFrom;
using detail::kSpreadReleaseFrom;
using detail::kSpreadWordsFrom;

// The integer formed by count words of radix 10^digits (subquadratic, unlike mantissa()).
mpz_class wordsValue(const std::int16_t* words, int count, int digits) {
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * digits + 1);
    char buf[8];
    for (int i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, "%0*d", digits, words[i]);
        text += buf;
    }
    return mpz_class(text.empty() ? "0" : text, 10);
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A number's whole state, for comparing runs.
struct State {
    std::vector<int> words;
    int sign, exponent;
    bool operator==(const State&) const = default;
};
State stateOf(const OwnedNumber& x) {
    EXPECT_TRUE(x.guardIntact());
    return {x.words(), x->sign, x->exponent};
}

// Runs op on each thread count; every result must equal the one-thread result.
template <class Result>
void expectSameOnEveryPool(const std::function<Result()>& op, const std::string& what) {
    Result expected{};
    onThreads(1, [&] { expected = op(); });
    for (int threads : kPoolSizes) {
        Result got{};
        onThreads(threads, [&] { got = op(); });
        EXPECT_TRUE(got == expected) << what << ", " << threads << " threads";
    }
}

// Sums and differences, through addWords and subWords: shifts below a quarter of the words (the
// serial loop when out is y), at and above it (levels), words dropped off the end; out a separate
// array, x, or y. x + (y >> s) and x - (y >> s) are checked against GMP at one size.
TEST(SpreadWords, SumsAndDifferencesMatchOneThreadAndGmp) {
    const int radix = 10000;
    std::mt19937_64 rng(11);
    for (int count : {kSpreadWordsFrom - 2, kSpreadWordsFrom + 2}) {
        // Buffers reused from run to run (assign keeps their storage).
        std::vector<std::int16_t> a, b, separate(count), one, got;
        for (WordStyle style : {WordStyle::Uniform, WordStyle::Runs, WordStyle::AllMax}) {
            for (int shift : {0, 37, count / 4, count / 2 - 1, count - 1}) {
                OwnedNumber x(count), y(count);
                randomNumber(rng, count, radix, count, style, 1, 0, *x);
                randomNumber(rng, count, radix, count, style, 1, 0, *y);
                if (shift == 0) y[0] = static_cast<std::int16_t>(x[0] - 1 < 1 ? 0 : x[0] - 1);
                for (int alias = 0; alias < 3; ++alias) {  // out separate, out = x, out = y
                    for (bool sum : {true, false}) {
                        const std::string what = "count " + std::to_string(count) + ", shift " +
                                                 std::to_string(shift) + ", alias " +
                                                 std::to_string(alias) + (sum ? ", sum" : ", diff");
                        int moved = 0;
                        auto op = [&](std::vector<std::int16_t>& result) {
                            a.assign(x->words(), x->words() + count);
                            b.assign(y->words(), y->words() + count);
                            std::int16_t* out = alias == 0   ? separate.data()
                                                : alias == 1 ? a.data()
                                                             : b.data();
                            moved = sum ? addWords(count, radix, shift, a.data(), b.data(), out)
                                        : subWords(count, radix, shift, a.data(), b.data(), out);
                            result.assign(out, out + count);
                        };
                        onThreads(1, [&] { op(one); });
                        const int movedOne = moved;
                        for (int threads : kPoolSizes) {
                            onThreads(threads, [&] { op(got); });
                            EXPECT_TRUE(got == one) << what << ", " << threads << " threads";
                            EXPECT_EQ(moved, movedOne) << what;
                        }
                        if (count < kSpreadWordsFrom || alias != 0 || style != WordStyle::Uniform ||
                            shift != 37) {
                            continue;
                        }
                        const mpz_class moving =
                            wordsValue(y->words(), count, 4) / radixPower(radix, shift);
                        const mpz_class xv = wordsValue(x->words(), count, 4);
                        const mpz_class result = wordsValue(one.data(), count, 4);
                        if (sum) {
                            EXPECT_EQ(result,
                                      mpz_class((xv + moving) / radixPower(radix, movedOne)))
                                << what;
                        } else {
                            EXPECT_EQ(result,
                                      mpz_class((xv - moving) * radixPower(radix, movedOne)))
                                << what;
                        }
                    }
                }
            }
        }
    }
}

// Carries and borrows that run from the last word to word 0 through every block: 9999... plus a
// word at the end, and 1000...0 minus a number shifted by half, with out = y (levels).
TEST(SpreadWords, ChainsThroughEveryBlock) {
    const int radix = 10000;
    const int count = kSpreadWordsFrom + 2;
    std::mt19937_64 rng(12);
    OwnedNumber nines(count), power(count), small(count);
    randomNumber(rng, count, radix, count, WordStyle::AllMax, 1, 0, *nines);
    power[0] = 1;
    randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *small);
    expectSameOnEveryPool<std::vector<int>>(
        [&] {
            OwnedNumber y = small;
            EXPECT_EQ(addWords(count, radix, count - 1, nines->words(), y->words(), y->words()), 1);
            return y.words();
        },
        "carry");
    expectSameOnEveryPool<std::vector<int>>(
        [&] {
            OwnedNumber y = small;
            EXPECT_EQ(subWords(count, radix, count / 2, power->words(), y->words(), y->words()), 1);
            return y.words();
        },
        "borrow");
    // The borrow left 9999 in every word of the upper half below word 0, which went.
    OwnedNumber y = small;
    onThreads(2,
              [&] { subWords(count, radix, count / 2, power->words(), y->words(), y->words()); });
    for (int j = 0; j < count / 2 - 1; ++j) ASSERT_EQ(y[j], radix - 1) << j;
}

// Multiplication by a machine integer (carries up to |m| joined across blocks) and halving (a
// leading 1 moving down, or not), in place and into a separate record; 9999... multiplied by m
// carries through every block. The product by m is also held against GMP.
TEST(SpreadWords, SmallOpsMatchOneThreadAndGmp) {
    const int radix = 10000;
    std::mt19937_64 rng(17);
    for (int count : {kSpreadMulSmallFrom + 2, kSpreadHalveFrom + 2}) {
        for (WordStyle style : {WordStyle::Uniform, WordStyle::Runs, WordStyle::AllMax}) {
            OwnedNumber a(count);
            randomNumber(rng, count, radix, count, style, -1, 7, *a);
            for (bool inPlace : {false, true}) {
                const std::string what =
                    "count " + std::to_string(count) + (inPlace ? ", in place" : ", separate");
                for (std::int32_t m : {3, 9999, -2147483647 - 1, 2147483647}) {
                    State one{};
                    onThreads(1, [&] {
                        OwnedNumber x = a, out(count);
                        mpMulSmall(count, radix, *x, m, inPlace ? *x : *out);
                        one = stateOf(inPlace ? x : out);
                    });
                    for (int threads : kPoolSizes) {
                        onThreads(threads, [&] {
                            OwnedNumber x = a, out(count);
                            mpMulSmall(count, radix, *x, m, inPlace ? *x : *out);
                            EXPECT_TRUE(stateOf(inPlace ? x : out) == one)
                                << what << ", m " << m << ", " << threads << " threads";
                        });
                    }
                    if (count != kSpreadMulSmallFrom + 2 || inPlace) continue;
                    // |a m| cut to count words: digits beyond them fall off the end.
                    const mpz_class exact =
                        wordsValue(a->words(), count, 4) * std::abs(std::int64_t{m});
                    std::vector<std::int16_t> w(one.words.begin(), one.words.end());
                    const int grew = one.exponent - a->exponent;
                    EXPECT_EQ(wordsValue(w.data(), count, 4),
                              mpz_class(exact / radixPower(radix, grew)))
                        << what << ", m " << m;
                    EXPECT_EQ(one.sign, m > 0 ? -1 : 1) << what;
                }
                for (bool leadingOne : {false, true}) {
                    OwnedNumber x = a;
                    if (leadingOne) x[0] = 1;
                    expectSameOnEveryPool<State>(
                        [&] {
                            OwnedNumber y = x, out(count);
                            mpHalve(count, radix, *y, inPlace ? *y : *out);
                            return stateOf(inPlace ? y : out);
                        },
                        what + (leadingOne ? ", halve 1..." : ", halve"));
                }
            }
        }
    }
}

// A spread fill sets exactly its range, on a pool as on one thread, and the long ones do go to the
// pool. Ranges start and end off the block grid, with guards on both sides.
template <typename T>
void expectFillsExactly(T value, T guard) {
    for (int total : {kSpreadFillFrom - 1, kSpreadFillFrom + 3, 5 * kSpreadFillFrom + 11}) {
        for (int threads : {1, 2, 3}) {
            onThreads(threads, [&] {
                std::vector<T> v(static_cast<std::size_t>(total) + 10, guard);
                const std::uint64_t runsBefore = activePool() ? activePool()->runs() : 0;
                detail::fillSpread(v.data() + 5, v.data() + 5 + total, value);
                const bool spread = activePool() && activePool()->runs() > runsBefore;
                EXPECT_EQ(spread, threads > 1 && total >= kSpreadFillFrom)
                    << total << " items, " << threads << " threads";
                int wrong = 0;
                for (int i = 0; i < total + 10; ++i) {
                    wrong += v[i] != (i >= 5 && i < 5 + total ? value : guard);
                }
                EXPECT_EQ(wrong, 0) << total << " items, " << threads << " threads";
            });
        }
    }
}

TEST(SpreadFill, SetsExactlyItsRange) {
    expectFillsExactly<std::int16_t>(0, 7777);
    expectFillsExactly<double>(5000.0, -1.0);
}

// Conversions of whole numbers and of low parts, including a chain of balanced carries through
// every block (4999 propagates one, the last word generates it); arrays compared bit for bit.
TEST(SpreadConversion, MatchesOneThread) {
    std::mt19937_64 rng(13);
    for (int radix : {10, 10000}) {
        for (int n : {kSpreadConversionFrom / 2, kSpreadConversionFrom}) {
            const int count = n + 2;
            for (int pattern = 0; pattern < 3; ++pattern) {
                OwnedNumber x(count);
                randomNumber(rng, count, radix, count,
                             pattern == 1 ? WordStyle::Runs : WordStyle::Uniform, -1, 5, *x);
                if (pattern == 2) {
                    for (int i = 1; i < count; ++i) x[i] = static_cast<std::int16_t>(radix / 2 - 1);
                    x[count - 1] = static_cast<std::int16_t>(radix - 1);
                }
                for (int start : {0, n / 2 + 1, count - 3, count}) {
                    expectSameOnEveryPool<std::vector<double>>(
                        [&] {
                            std::vector<double> array(n + 2, std::nan(""));
                            mpToDoubles(count, radix, n, start, *x, array.data());
                            return array;
                        },
                        "radix " + std::to_string(radix) + ", n " + std::to_string(n) +
                            ", pattern " + std::to_string(pattern) + ", start " +
                            std::to_string(start));
                }
            }
        }
    }
}

// What a release leaves: the number and the array elements it alters.
struct Released {
    State number;
    std::vector<double> array;
    bool operator==(const Released& o) const {
        return number == o.number && sameBits(array, o.array);
    }
};

class SpreadRelease : public ::testing::TestWithParam<FftPath> {
  protected:
    void SetUp() override {
        if (!fftPathSupported(GetParam())) GTEST_SKIP() << "path not offered by this CPU";
    }
    void expectSame(int count, int radix, int n, const std::vector<double>& d,
                    const std::string& what) {
        expectSameOnEveryPool<Released>(
            [&] {
                std::vector<double> copy = d;
                OwnedNumber x(count);
                mpFromDoublesOn(GetParam(), count, radix, n, copy.data(), *x);
                return Released{stateOf(x), copy};
            },
            what);
    }
};

// Real products of random and border operands, released on each path.
TEST_P(SpreadRelease, RealProductsMatchOneThread) {
    std::mt19937_64 rng(14);
    const int radix = 10000;
    for (int n : {kSpreadReleaseFrom / 2, kSpreadReleaseFrom, 1 << 16, 1 << 17}) {
        const int count = n + 2;
        for (WordStyle style : {WordStyle::Uniform, WordStyle::Runs, WordStyle::AllMax}) {
            OwnedNumber a(count), b(count);
            randomNumber(rng, count, radix, count, style, 1, 2, *a);
            randomNumber(rng, count, radix, count, style, style == WordStyle::Runs ? -1 : 1, -1,
                         *b);
            std::vector<double> A(n + 2), B(n + 2);
            mpToDoubles(count, radix, n, 0, *a, A.data());
            mpToDoubles(count, radix, n, 0, *b, B.data());
            spectrumMultiply(n, A.data(), B.data());
            for (int kept : {count, n / 2 + 7}) {  // every word, and a cross product's length
                expectSame(kept, radix, n, B,
                           "n " + std::to_string(n) + ", kept " + std::to_string(kept));
            }
        }
    }
}

// Coefficients that carry through every block (radix-1 everywhere, the last one generating a
// carry), that borrow through every block (zeros, the last one -1), and one too large for the
// integer chain in a middle block, which sends the whole release to the reference.
TEST_P(SpreadRelease, ChainsAndFallbackMatchOneThread) {
    const int radix = 10000;
    const int n = 1 << 17;
    const double scale = n * 0.5;
    for (int pattern = 0; pattern < 3; ++pattern) {
        std::vector<double> d(n + 2, 0.0);
        for (int k = 2; k <= n; ++k) d[k] = pattern == 0 ? (radix - 1) * scale : 0.0;
        d[n] = pattern == 0 ? (2.0 * radix - 1) * scale : -scale;
        if (pattern == 2) d[n / 2 + 3] = 4503599627370496.0 * scale;  // 2^52
        d[n + 1] = 77;
        d[1] = 77 * scale;
        d[0] = 1;
        expectSame(n + 2, radix, n, d, "pattern " + std::to_string(pattern));
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, SpreadRelease,
                         ::testing::Values(FftPath::Scalar, FftPath::Sse2, FftPath::Avx2,
                                           FftPath::Avx512),
                         [](const ::testing::TestParamInfo<FftPath>& info) {
                             return std::string(fftPathName(info.param));
                         });

// Every spectrum kernel on the same transformed operands: all arrays it leaves, bit for bit.
TEST(SpreadSpectrum, KernelsMatchOneThread) {
    std::mt19937_64 rng(15);
    const int radix = 10000;
    for (int n : {kSpreadPairsFrom / 2, kSpreadPairsFrom, 1 << 17}) {
        const int count = n + 2;
        OwnedNumber a(count), b(count), c(count);
        randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *a);
        randomNumber(rng, count, radix, count, WordStyle::Runs, -1, 3, *b);
        randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, -2, *c);
        std::vector<double> A(n + 2), B(n + 2), C(n + 2);
        mpToDoubles(count, radix, n, 0, *a, A.data());
        mpToDoubles(count, radix, n, 0, *b, B.data());
        mpToDoubles(count, radix, n, n / 2 + 1, *c, C.data());
        using Arrays = std::vector<std::vector<double>>;
        using Kernel = std::function<void(double*, double*, double*)>;
        const std::pair<const char*, Kernel> kernels[] = {
            {"multiply", [n](double* p, double* q, double*) { spectrumMultiply(n, p, q); }},
            {"kept",
             [n](double* p, double* q, double*) {
                 spectrumSquareInto(n, p, q);  // p kept
                 spectrumMultiplyKept(n, p, q);
             }},
            {"into kept",
             [n](double* p, double* q, double* r) {
                 spectrumMultiply(n, p, q);
                 spectrumMultiplyIntoKept(n, r, p);
             }},
            {"keep and accumulate",
             [n](double* p, double* q, double* r) {
                 std::vector<double> h(r, r + n + 2);
                 spectrumSquareInto(n, h.data(), r);  // h kept
                 spectrumMultiplyKeep(n, p, q);       // q unmerged, p kept
                 spectrumMultiplyAccumulate(n, h.data(), r, q);
             }},
            {"square", [n](double* p, double*, double*) { spectrumSquare(n, p); }},
            {"square kept",
             [n](double* p, double* q, double*) {
                 spectrumSquareInto(n, p, q);
                 spectrumSquareKept(n, p);
             }},
        };
        for (const auto& kernel : kernels) {
            expectSameOnEveryPool<Arrays>(
                [&] {
                    Arrays arrays{A, B, C};
                    kernel.second(arrays[0].data(), arrays[1].data(), arrays[2].data());
                    return arrays;
                },
                std::string(kernel.first) + ", n " + std::to_string(n));
        }
    }
}

// Whole products on the active path: the words of the one-thread run, and a product of two parts
// that fit one transform half equals GMP's product exactly.
TEST(SpreadProducts, MatchOneThreadAndGmp) {
    std::mt19937_64 rng(16);
    const int radix = 10000;
    // The last length spreads the conversions and the additions inside the products too.
    for (int n : {kSpreadPairsFrom / 2, kSpreadPairsFrom, 2 * kSpreadWordsFrom}) {
        const int count = n + 2;
        OwnedNumber a(count), b(count), halfA(count), halfB(count);
        randomNumber(rng, count, radix, count, WordStyle::Uniform, 1, 0, *a);
        randomNumber(rng, count, radix, count, WordStyle::Runs, -1, 4, *b);
        randomNumber(rng, count, radix, n / 2 + 1, WordStyle::Uniform, -1, 1, *halfA);
        randomNumber(rng, count, radix, n / 2 + 1, WordStyle::AllMax, 1, -3, *halfB);
        std::vector<double> A1(n + 2), A2(n + 2), A3(n + 2);
        const std::string size = "n " + std::to_string(n);
        expectSameOnEveryPool<State>(
            [&] {
                OwnedNumber out(count), work(count);
                mpMul(count, radix, *a, *b, *out, *work, n, A1.data(), A2.data(), A3.data());
                return stateOf(out);
            },
            "mpMul, " + size);
        expectSameOnEveryPool<State>(
            [&] {
                OwnedNumber out(count), work(count), sq(count);
                mpMulKeep(count, radix, *a, *b, *out, *work, n, A1.data(), A2.data());
                mpSquareKept(count, radix, A1.data(), *a, *sq, *work, n, A2.data());
                mpAdd(count, radix, *sq, *out, *out);
                return stateOf(out);
            },
            "mpMulKeep and mpSquareKept, " + size);
        expectSameOnEveryPool<State>(
            [&] {
                OwnedNumber out(count);
                mpSquare(count, radix, *b, *out, n, A1.data());
                return stateOf(out);
            },
            "mpSquare, " + size);
        State half;
        expectSameOnEveryPool<State>(
            [&] {
                OwnedNumber out(count);
                mpMulHalf(count, radix, *halfA, *halfB, *out, n, A1.data(), A2.data());
                half = stateOf(out);
                return half;
            },
            "mpMulHalf, " + size);
        std::vector<std::int16_t> w(half.words.begin(), half.words.end());
        const mpz_class exact =
            wordsValue(halfA->words(), count, 4) * wordsValue(halfB->words(), count, 4);
        const mpz_class got = wordsValue(w.data(), count, 4);
        // value = mantissa * radix^(exponent - (count - 1)) on both sides.
        const int extra = half.exponent - (halfA->exponent + halfB->exponent);
        EXPECT_EQ(half.sign, -1) << size;
        EXPECT_EQ(mpz_class(got * radixPower(radix, count - 1 + extra)), exact) << size;

        // mpMulHalfAndSquare (on two threads its inverse transforms side by side): the words of
        // mpMulHalf and then mpSquareOfKept on one thread, and the square is GMP's.
        State square;
        onThreads(1, [&] {
            OwnedNumber out(count), sq(count);
            mpMulHalf(count, radix, *halfA, *halfB, *out, n, A1.data(), A2.data());
            mpSquareOfKept(count, radix, A1.data(), *sq, n);
            EXPECT_TRUE(stateOf(out) == half) << size;
            square = stateOf(sq);
        });
        for (int threads : {1, 2, 3}) {
            onThreads(threads, [&] {
                OwnedNumber out(count), sq(count);
                mpMulHalfAndSquare(count, radix, *halfA, *halfB, *out, n, A1.data(), A2.data());
                mpFromDoubles(count, radix, n, A1.data(), *sq);
                EXPECT_TRUE(stateOf(out) == half)
                    << "mpMulHalfAndSquare, " << size << ", " << threads << " threads";
                EXPECT_TRUE(stateOf(sq) == square)
                    << "its square, " << size << ", " << threads << " threads";
            });
        }
        w.assign(square.words.begin(), square.words.end());
        const mpz_class a2 =
            wordsValue(halfA->words(), count, 4) * wordsValue(halfA->words(), count, 4);
        EXPECT_EQ(square.sign, 1) << size;
        EXPECT_EQ(mpz_class(wordsValue(w.data(), count, 4) *
                            radixPower(radix, count - 1 + square.exponent - 2 * halfA->exponent)),
                  a2)
            << size;
    }
}

}  // namespace
}  // namespace oskelon::test
