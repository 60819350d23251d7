// Developer command: prints a fingerprint of every floating-point result the arithmetic depends
// on, one line per item, so that two builds (two platforms, two compilers) can be compared with
// diff. The items: the forward and inverse transform of a fixed input at every length from 4 to
// 2^20 points on every transform path this CPU supports (a 128-bit digest of the output bytes),
// the radix test's value at every run length (exact, as a hexadecimal floating-point number),
// and products through the engine at the five smallest run lengths (a digest of the words).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "calc/digest.h"
#include "calc/radix_choice.h"
#include "calc/sizes.h"
#include "fft/fft_path.h"
#include "mp/mp_number.h"
#include "mp/products.h"

namespace {

using namespace oskelon;

// A fixed sequence of 32-bit values (a linear congruential generator: the same on every platform).
class Sequence {
  public:
    std::uint32_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 32);
    }

  private:
    std::uint64_t state_ = 0x0123456789ABCDEFULL;
};

std::string digestText(const void* bytes, std::size_t size) {
    return toHex(digitsDigest(static_cast<const char*>(bytes), size));
}

void printTransforms() {
    for (FftPath path : kAllFftPaths) {
        if (!fftPathSupported(path)) continue;
        for (int n = 4; n <= (1 << 20); n *= 2) {
            for (int sign : {1, -1}) {
                Sequence s;
                std::vector<double> data(static_cast<std::size_t>(n));
                // Integers of up to 16 bits, as the engine's digits are, scaled by 2^-7.
                for (double& x : data) x = static_cast<double>(s.next() % 65536) / 128.0 - 256.0;
                complexFftOn(path, n, sign, data.data());
                std::printf("transform %s n=%d sign=%+d %s\n", fftPathName(path), n, sign,
                            digestText(data.data(), data.size() * sizeof(double)).c_str());
            }
        }
    }
}

void printRadixTests() {
    for (int i = 0; i < kSizeCount; ++i) {
        const int n = 4096 << i;
        std::vector<double> array(static_cast<std::size_t>(n) + 2);
        const RadixChoice c = chooseRadix(n + 2, n, array.data());
        std::printf("radix-test size=%d value=%a digits-per-word=%d\n", i, c.radixTest,
                    c.digitsPerWord);
    }
}

void printProducts() {
    for (int i = 0; i < 5; ++i) {
        const int n = 4096 << i;
        const int count = n + 2;
        const int radix = 10000;
        const std::size_t stride = mpNumberBytes(count) / 8 + 1;
        std::vector<std::int64_t> storage(4 * stride);
        MpNumber& a = *mpNumberAt(storage.data());
        MpNumber& b = *mpNumberAt(storage.data() + stride);
        MpNumber& out = *mpNumberAt(storage.data() + 2 * stride);
        MpNumber& work = *mpNumberAt(storage.data() + 3 * stride);
        Sequence s;
        for (MpNumber* x : {&a, &b}) {
            x->sign = 1;
            x->exponent = 0;
            for (int k = 0; k < count; ++k)
                x->words()[k] = static_cast<std::int16_t>(s.next() % radix);
            x->words()[0] = static_cast<std::int16_t>(1 + s.next() % (radix - 1));
        }
        std::vector<double> A1(static_cast<std::size_t>(n) + 2), A2(A1.size()), A3(A1.size());
        mpMul(count, radix, a, b, out, work, n, A1.data(), A2.data(), A3.data());
        std::printf("product n=%d %s\n", n, digestText(&out, mpNumberBytes(count)).c_str());
    }
}

}  // namespace

int main() {
    printTransforms();
    printRadixTests();
    printProducts();
    return 0;
}
