// Decimal text in and out of MpNumber.
//
// Text read:    [spaces] [- or +] [spaces and 0s] mantissa [e|E|d|D integer]
//               The mantissa is digits with an optional point; spaces and any further point are
//               passed over; the first other character ends it.
// Text written: [-] d . ddd... e<exponent of the first digit>, no spaces; words 1 .. count-1
//               take exactly digitsPerWord digits each. Digits are cut, never rounded.
#include "mp/decimal.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "mp/word_blocks.h"

namespace oskelon {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

const char* skipSpaces(const char* p) {
    while (*p == ' ') ++p;
    return p;
}

// floor(n / d) for d > 0.
long long floorDiv(long long n, int d) {
    const long long q = n / d;
    return (n % d != 0 && n < 0) ? q - 1 : q;
}

}  // namespace

void mpFromText(int wordCount, int digitsPerWord, const char* text, MpNumber& out) {
    const char* p = skipSpaces(text);
    int sign = 1;
    if (*p == '-') {
        sign = -1;
        ++p;
    } else if (*p == '+') {
        ++p;
    }
    while (*p == ' ' || *p == '0') ++p;

    // The explicit exponent: the first marker anywhere in the rest of the text; a marker
    // without a readable integer counts as 0.
    long long e = 0;
    if (const char* marker = std::strpbrk(p, "eEdD")) {
        int value = 0;
        if (std::sscanf(marker + 1, "%d", &value) == 1) e = value;
    }

    // Turn e into the decimal exponent of the first significant digit and find that digit.
    if (*p == '.') {
        --e;
        p = skipSpaces(p + 1);
        while (*p == '0') {
            --e;
            p = skipSpaces(p + 1);
        }
    } else if (*p != '\0') {
        // Every further digit before the point (or another end) raises the exponent.
        for (const char* q = skipSpaces(p + 1); isDigit(*q); q = skipSpaces(q + 1)) ++e;
    }
    const long long exponent = floorDiv(e, digitsPerWord);
    const int leadDigits = static_cast<int>(e - exponent * digitsPerWord) + 1;  // 1..digitsPerWord

    // Word 0 takes leadDigits digits, every further word digitsPerWord digits.
    std::int16_t* w = out.words();
    int next = 0;              // position the word being filled goes to
    int missing = leadDigits;  // digits the word being filled still lacks
    int value = 0;
    bool full = false;
    for (const char* c = p; *c != '\0'; ++c) {
        if (*c == '.' || *c == ' ') continue;
        if (!isDigit(*c)) break;
        value = value * 10 + (*c - '0');
        if (--missing == 0) {
            w[next++] = static_cast<std::int16_t>(value);
            value = 0;
            missing = digitsPerWord;
            if (next == wordCount) {
                full = true;  // surplus digits are dropped, not rounded
                break;
            }
        }
    }
    if (!full) {
        for (; missing > 0; --missing) value *= 10;
        w[next++] = static_cast<std::int16_t>(value);
        detail::fillSpread(w + next, w + wordCount, std::int16_t{0});
    }

    if (w[0] == 0) {
        // No significant digit. The words are cleared too, so that the result is the zero
        // record even when a stray second point put a zero digit into word 0.
        out.sign = 0;
        out.exponent = 0;
        detail::fillSpread(w, w + wordCount, std::int16_t{0});
        return;
    }
    out.sign = sign;
    out.exponent = static_cast<std::int32_t>(exponent);
}

void mpToText(int count, int digitsPerWord, const MpNumber& x, char* buffer) {
    char* p = buffer;
    if (count < 1) {
        *p = '\0';
        return;
    }
    if (x.sign < 0) *p++ = '-';

    // Word 0 as digitsPerWord digits; its first non-zero digit (1-based place pos, or the last
    // place when the word is 0) goes before the point.
    const std::int16_t* w = x.words();
    char lead[4] = {'0', '0', '0', '0'};  // digitsPerWord is 1..4
    int word = w[0];
    for (int i = digitsPerWord - 1; i >= 0; --i) {
        lead[i] = static_cast<char>('0' + word % 10);
        word /= 10;
    }
    int pos = digitsPerWord;
    for (int i = 0; i < digitsPerWord; ++i) {
        if (lead[i] != '0') {
            pos = i + 1;
            break;
        }
    }
    *p++ = lead[pos - 1];
    *p++ = '.';
    for (int i = pos; i < digitsPerWord; ++i) *p++ = lead[i];

    for (int k = 1; k < count; ++k) {
        int v = w[k];
        for (int i = digitsPerWord - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        p += digitsPerWord;
    }

    // In 64 bits so that no exponent overflows; any int32 exponent times 4 takes at most 11
    // characters, so "e", the exponent and the NUL fit the 13 bytes left.
    const long long decimalExponent =
        static_cast<long long>(digitsPerWord) * x.exponent + (digitsPerWord - pos);
    char exponentText[24];
    const int length = std::snprintf(exponentText, sizeof exponentText, "e%lld", decimalExponent);
    std::memcpy(p, exponentText, static_cast<std::size_t>(length) + 1);
}

}  // namespace oskelon
