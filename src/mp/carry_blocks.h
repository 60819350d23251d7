// Carry resolution a block of words at a time, for the loops whose only serial part is a carry of
// 0 or 1 passed from each word to the one before it (word 0 the most significant).
//
// A word of value t with an incoming carry c passes on a carry exactly when it generates one
// (regardless of c) or propagates the one it receives:  carry out = generates(t) || (propagates(t)
// && c). A carry travels further than one word only through a propagating word that receives one,
// and a run of propagating words receives a carry only from a generating word right after it (or
// from the block's incoming carry). Where no propagating word is directly followed by a
// generating one, the carry into every word is therefore just whether the word after it
// generates one, and the whole block is formed independently of its neighbours, which the
// compiler turns into vector code. Otherwise (a 9999 receiving a carry in a sum, for instance)
// the block is resolved one word at a time, as a plain loop would. Either way every word receives
// exactly the carry of the serial loop.
#pragma once

#include <algorithm>
#include <cstdint>

// The loops built on resolveCarries are integer code (and exact conversions to double), so the
// instruction set cannot change their results. Each is compiled three times, for the vector
// features of the x86-64 levels v4 (AVX-512BW) and v3 (AVX2) and for the baseline, and
// runCarryLoop picks the widest the CPU offers, once per process (2 to 2.6 times faster than the
// baseline's 128-bit vectors for a sum of 2^19 words). The choice is the program's own, not the
// loader's, so it works the same on every platform and under every sanitizer.
//
// A level is the list of features below: the clones are compiled for exactly these and
// carryLevel checks the same names one by one, each a name that g++ and clang both accept in a
// target attribute and in __builtin_cpu_supports. The rest of the levels' features, such as
// movbe or lzcnt, cannot be asked for by name in clang 14, so the clones do without them.
#define OSKELON_CARRY_V3_FEATURES "popcnt,sse3,ssse3,sse4.1,sse4.2,avx,avx2,bmi,bmi2"
#define OSKELON_CARRY_V4_FEATURES \
    OSKELON_CARRY_V3_FEATURES ",avx512f,avx512bw,avx512cd,avx512dq,avx512vl"

namespace oskelon::detail {

inline constexpr int kCarryBlock = 256;

enum class CarryLevel { Baseline, V3, V4 };

// The widest level this CPU and its operating system support; decided on the first call.
CarryLevel carryLevel();

// Loop::run(args...) compiled for each level; Loop::run must be always_inline so that each copy
// is compiled for the level of its caller.
template <class Loop, class... Args>
[[gnu::target(OSKELON_CARRY_V4_FEATURES)]] auto runCarryLoopV4(Args... args) {
    return Loop::run(args...);
}
template <class Loop, class... Args>
[[gnu::target(OSKELON_CARRY_V3_FEATURES)]] auto runCarryLoopV3(Args... args) {
    return Loop::run(args...);
}
template <class Loop, class... Args>
auto runCarryLoopBaseline(Args... args) {
    return Loop::run(args...);
}

// Runs Loop::run(args...) at the given level (which the CPU must support).
template <class Loop, class... Args>
auto runCarryLoopAt(CarryLevel level, Args... args) {
    switch (level) {
        case CarryLevel::V4:
            return runCarryLoopV4<Loop>(args...);
        case CarryLevel::V3:
            return runCarryLoopV3<Loop>(args...);
        case CarryLevel::Baseline:
            break;
    }
    return runCarryLoopBaseline<Loop>(args...);
}

// Runs Loop::run(args...) at the widest level the CPU supports.
template <class Loop, class... Args>
auto runCarryLoop(Args... args) {
    return runCarryLoopAt<Loop>(carryLevel(), args...);
}

// Resolves positions hi-1 down to lo, starting with carry `carry`, and returns the carry out of
// position lo. The rule supplies, for position p:
//   int value(int p)                 the word before carries (must fit in int16)
//   bool generates(int t), bool propagates(int t)
//   void put(int p, int t, int c)    writes the result of position p from its value and carry
// Every value of a block is read before any result of that block is put, and blocks run from the
// last toward the first, so a rule may write where a later (lower) block does not read.
// Always inlined, so that it is compiled for the instruction set of each caller's clone.
template <class Rule>
[[gnu::always_inline]] inline int resolveCarries(int lo, int hi, int carry, const Rule& rule) {
    // t[k]: the value of position begin+k; in[k]: the carry it receives when no word of the
    // block propagates. Both are filled index by index before anything is put, so the second
    // pass reads each element just as the first wrote it.
    std::int16_t t[kCarryBlock];
    std::int16_t in[kCarryBlock];
    for (int end = hi; end > lo;) {
        const int begin = std::max(lo, end - kCarryBlock);
        const int count = end - begin;
        for (int k = 0; k < count; ++k) t[k] = static_cast<std::int16_t>(rule.value(begin + k));
        int chained = 0;
        for (int k = 0; k + 1 < count; ++k) {
            in[k] = rule.generates(rule.value(begin + k + 1)) ? 1 : 0;
            chained |= (rule.propagates(t[k]) ? 1 : 0) & in[k];
        }
        in[count - 1] = static_cast<std::int16_t>(carry);
        chained |= (rule.propagates(t[count - 1]) ? 1 : 0) & carry;
        if (chained == 0) {
            for (int k = 0; k < count; ++k) rule.put(begin + k, t[k], in[k]);
            carry = rule.generates(t[0]) ? 1 : 0;
        } else {
            for (int k = count - 1; k >= 0; --k) {
                rule.put(begin + k, t[k], carry);
                carry = rule.generates(t[k]) || (rule.propagates(t[k]) && carry != 0) ? 1 : 0;
            }
        }
        end = begin;
    }
    return carry;
}

}  // namespace oskelon::detail
