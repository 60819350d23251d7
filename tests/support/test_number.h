// Owned MpNumber storage for tests, with a guard zone after the words that catches overruns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "mp/mp_number.h"

namespace oskelon::test {

class OwnedNumber {
  public:
    static constexpr std::int16_t kGuard = 0x5A5A;
    static constexpr int kGuardWords = 8;

    explicit OwnedNumber(int wordCount)
        : wordCount_(wordCount), storage_((mpNumberBytes(wordCount + kGuardWords) + 3) / 4, 0u) {
        number()->sign = 0;
        number()->exponent = 0;
        std::fill_n(number()->words(), wordCount_, std::int16_t{0});
        std::fill_n(number()->words() + wordCount_, kGuardWords, kGuard);
    }
    OwnedNumber(int wordCount, int sign, int exponent, std::initializer_list<int> leading)
        : OwnedNumber(wordCount) {
        set(sign, exponent, leading);
    }

    void set(int sign, int exponent, std::initializer_list<int> leading) {
        number()->sign = sign;
        number()->exponent = exponent;
        std::fill_n(number()->words(), wordCount_, std::int16_t{0});
        int i = 0;
        for (int w : leading) number()->words()[i++] = static_cast<std::int16_t>(w);
    }

    MpNumber* number() { return mpNumberAt(storage_.data()); }
    const MpNumber* number() const {
        return mpNumberAt(const_cast<std::uint32_t*>(storage_.data()));
    }
    MpNumber& operator*() { return *number(); }
    const MpNumber& operator*() const { return *number(); }
    MpNumber* operator->() { return number(); }
    const MpNumber* operator->() const { return number(); }
    std::int16_t& operator[](int i) { return number()->words()[i]; }
    std::int16_t operator[](int i) const { return number()->words()[i]; }
    int wordCount() const { return wordCount_; }

    std::vector<int> words() const {
        return std::vector<int>(number()->words(), number()->words() + wordCount_);
    }
    bool guardIntact() const {
        return std::all_of(number()->words() + wordCount_,
                           number()->words() + wordCount_ + kGuardWords,
                           [](std::int16_t w) { return w == kGuard; });
    }

  private:
    int wordCount_;
    std::vector<std::uint32_t> storage_;
};

}  // namespace oskelon::test
