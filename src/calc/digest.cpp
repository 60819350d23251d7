#include "calc/digest.h"

// xxHash compiled into this file: the same code on every platform, no library to link.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <memory>

namespace oskelon {

Digest128 digitsDigest(const char* digits, std::size_t count) {
    const XXH128_hash_t h = XXH3_128bits(digits, count);
    return {h.high64, h.low64};
}

std::uint32_t blockDigest(const char* digits, std::size_t count) {
    return XXH32(digits, count, 0);
}

std::uint64_t iterationDigest(int wordCount, const MpNumber& a, const MpNumber& b,
                              const MpNumber& t) {
    struct StateDeleter {
        void operator()(XXH3_state_t* s) const { XXH3_freeState(s); }
    };
    std::unique_ptr<XXH3_state_t, StateDeleter> state(XXH3_createState());
    XXH3_64bits_reset(state.get());
    for (const MpNumber* x : {&a, &b, &t})
        XXH3_64bits_update(state.get(), x, mpNumberBytes(wordCount));
    return XXH3_64bits_digest(state.get());
}

std::string toHex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string toHex(const Digest128& d) {
    return toHex(d.high) + toHex(d.low);
}

}  // namespace oskelon
