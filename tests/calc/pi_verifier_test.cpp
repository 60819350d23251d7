// Verification of results against the embedded reference, and the reference against MPFR.
#include "calc/pi_verifier.h"

#include <gtest/gtest.h>
#include <mpfr.h>
#include <xxhash.h>

#include <fstream>

#include "calc/pi_reference.h"
#include "support/temp_store.h"

namespace oskelon::test {
namespace {

const std::string& truePi() {  // the first 140,000 digits after the point
    static const std::string digits = [] {
        const long n = 140000;
        mpfr_t pi;
        mpfr_init2(pi, static_cast<mpfr_prec_t>(n * 3.33) + 256);
        mpfr_const_pi(pi, MPFR_RNDN);
        std::string text(static_cast<std::size_t>(n) + 32, '\0');
        mpfr_exp_t e = 0;
        mpfr_get_str(text.data(), &e, 10, static_cast<std::size_t>(n) + 20, pi, MPFR_RNDZ);
        mpfr_clear(pi);
        return text.substr(1, static_cast<std::size_t>(n));
    }();
    return digits;
}

std::string result(std::size_t digits) {
    return "3." + truePi().substr(0, digits) + "e0\n";
}

TEST(PiVerifier, TrueDigitsPassAtEveryAffordableCount) {
    for (std::size_t digits : {4096u, 8192u, 12288u, 16384u, 24576u, 32768u, 131072u}) {
        const DigitsVerdict v = verifyPiText(result(digits));
        EXPECT_TRUE(v.verified()) << digits << ": " << v.detail;
        EXPECT_EQ(v.digits, static_cast<long long>(digits));
        EXPECT_GT(v.checkedDigits, static_cast<long long>(digits) - 64);
        EXPECT_EQ(describeVerdict(v).rfind("verified: ", 0), 0u);
    }
    // A Windows line end is a line end too.
    std::string crlf = result(16384);
    crlf.back() = '\r';
    crlf.push_back('\n');
    EXPECT_TRUE(verifyPiText(crlf).verified());
    // The unchecked last digits may differ, as a correct run's may.
    std::string text = result(16384);
    text[2 + 16383] = text[2 + 16383] == '0' ? '1' : '0';
    EXPECT_TRUE(verifyPiText(text).verified());
}

TEST(PiVerifier, OneChangedDigitIsFoundWhereverItIs) {
    const std::size_t digits = 131072;
    const PiReferenceEntry* entry = findPiReference(static_cast<int>(digits));
    ASSERT_NE(entry, nullptr);
    const long long checked = entry->checkedDigits;
    for (long long pos :
         {1LL, 2LL, 777LL, 1024LL, 1025LL, 65536LL, 100000LL, checked - 40, checked - kPiTailDigits,
          checked - kPiTailDigits + 1, checked - 5, checked}) {
        std::string text = result(digits);
        char& d = text[static_cast<std::size_t>(1 + pos)];
        d = d == '9' ? '0' : static_cast<char>(d + 1);
        const DigitsVerdict v = verifyPiText(text);
        ASSERT_EQ(v.status, DigitsVerdict::Status::Wrong) << pos;
        EXPECT_LE(v.firstWrongFrom, pos) << pos;
        EXPECT_GE(v.firstWrongTo, pos) << pos;
        EXPECT_LE(v.firstWrongTo - v.firstWrongFrom, kPiBlockDigits) << pos;
        if (pos > checked - kPiTailDigits) {  // inside the known tail: exact
            EXPECT_EQ(v.firstWrongFrom, pos);
            EXPECT_EQ(v.firstWrongTo, pos);
        }
        EXPECT_EQ(describeVerdict(v).rfind("WRONG: ", 0), 0u);
    }
}

TEST(PiVerifier, WrongLengthsAndDamagedFraming) {
    // Truncated: the first missing digit.
    DigitsVerdict v = verifyPiText(result(16284));
    EXPECT_EQ(v.status, DigitsVerdict::Status::Malformed);
    EXPECT_EQ(v.firstWrongFrom, 16285);
    // Over-long: the first digit too many.
    v = verifyPiText("3." + truePi().substr(0, 16394) + "e0\n");
    EXPECT_EQ(v.status, DigitsVerdict::Status::Malformed);
    EXPECT_EQ(v.firstWrongFrom, 16385);
    // A truncated file whose digits are also wrong reports the wrong block.
    std::string bad = result(16000);
    bad[2 + 3000] = bad[2 + 3000] == '5' ? '6' : '5';
    v = verifyPiText(bad);
    EXPECT_EQ(v.status, DigitsVerdict::Status::Malformed);
    EXPECT_LE(v.firstWrongFrom, 3001);
    EXPECT_GE(v.firstWrongTo, 3001);

    const std::string good = result(16384);
    for (const auto& [text, position] : std::vector<std::pair<std::string, long long>>{
             {"3," + good.substr(2), 0},
             {"4." + good.substr(2), 0},
             {good.substr(0, good.size() - 1), 16385},             // no line end
             {good.substr(0, good.size() - 3) + "\n", 16385},      // no e0
             {good.substr(0, 502) + "x" + good.substr(503), 501},  // a letter
             {good.substr(0, good.size() - 3) + "e1\n", 16385},    // wrong exponent
             {"", 0}}) {
        v = verifyPiText(text);
        EXPECT_EQ(v.status, DigitsVerdict::Status::Malformed) << position;
        EXPECT_EQ(v.firstWrongFrom, position) << v.detail;
        EXPECT_FALSE(v.detail.empty());
    }
    v = verifyPiFile("/nonexistent/pi.dat");
    EXPECT_EQ(v.status, DigitsVerdict::Status::Unreadable);
}

// A file is read up to the longest result and one byte more: the largest size with CR LF is
// read whole, an endless file is not.
TEST(PiVerifier, ReadingStopsOneByteAfterTheLongestResult) {
    TempDir dir;
    const std::string longest = "3." + std::string(kLongestResultBytes - 6, '0') + "e0\r\n";
    ASSERT_EQ(longest.size(), kLongestResultBytes);
    {
        std::ofstream out(dir.file("longest.dat"), std::ios::binary);
        out << longest;
    }
    const DigitsVerdict v = verifyPiFile(dir.file("longest.dat"));
    EXPECT_EQ(v.status, DigitsVerdict::Status::Wrong) << v.detail;
    EXPECT_EQ(v.digits, 33554432);
    EXPECT_EQ(verifyPiFile("/dev/zero").status, DigitsVerdict::Status::TooLong);
}

// The embedded reference agrees with MPFR wherever a test can afford the digits.
TEST(PiReference, SmallEntriesAndBlocksMatchMpfr) {
    int count = 0;
    const PiReferenceEntry* entries = piReferenceEntries(count);
    ASSERT_EQ(count, 26);  // 4096 * 2^k (k = 0..13) and 3 * 4096 * 2^i (i = 0..11)
    int checkedEntries = 0;
    for (int i = 0; i < count; ++i) {
        const PiReferenceEntry& e = entries[i];
        EXPECT_EQ(e.checkedDigits, e.digits - 16);
        if (e.digits > static_cast<int>(truePi().size())) continue;
        const XXH128_hash_t h =
            XXH3_128bits(truePi().data(), static_cast<std::size_t>(e.checkedDigits));
        EXPECT_EQ(h.high64, e.digestHigh) << e.digits;
        EXPECT_EQ(h.low64, e.digestLow) << e.digits;
        EXPECT_EQ(std::string(e.tail),
                  truePi().substr(static_cast<std::size_t>(e.checkedDigits - kPiTailDigits),
                                  kPiTailDigits));
        ++checkedEntries;
    }
    EXPECT_GE(checkedEntries, 10);
    EXPECT_EQ(piBlockCount(), kPiReferenceDigits / kPiBlockDigits);
    for (int b = 0; b < 130; ++b)
        EXPECT_EQ(piBlockDigest(b), XXH32(truePi().data() + b * kPiBlockDigits, kPiBlockDigits, 0))
            << b;
}

}  // namespace
}  // namespace oskelon::test
