// Numbers for the benchmarks: storage for one number and random words at radix 10000.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "mp/mp_number.h"

namespace oskelon::bench {

constexpr int kRadix = 10000;

// Storage for one number of count words.
struct Number {
    std::vector<std::uint32_t> storage;
    MpNumber* p;
    explicit Number(int count)
        : storage((mpNumberBytes(count) + 3) / 4), p(mpNumberAt(storage.data())) {}
};

// Random words with a non-zero leading word, positive, at the given exponent.
inline void randomNumber(Number& x, int count, std::uint64_t seed, int exponent = 0) {
    std::mt19937_64 gen(seed);
    std::uniform_int_distribution<int> word(0, kRadix - 1);
    std::int16_t* w = x.p->words();
    for (int i = 0; i < count; ++i) w[i] = static_cast<std::int16_t>(word(gen));
    w[0] = 1234;
    x.p->sign = 1;
    x.p->exponent = exponent;
}

}  // namespace oskelon::bench
