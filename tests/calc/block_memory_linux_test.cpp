// The working set's blocks on Linux: whole, on huge-page boundaries and advised for huge pages,
// taking their bytes rounded to a page and giving every byte of the reservation back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>

#include "calc/block_memory.h"

namespace oskelon {
namespace {

// The bytes of this process's mappings but the heap (which reading the file may grow), and
// whether those that share a byte with [p, p + bytes) are all advised for huge pages.
struct Mappings {
    std::uintptr_t bytes = 0;
    bool overlap = false, allEligible = true;
};

Mappings mappings(const std::byte* p = nullptr, std::size_t bytes = 0) {
    const auto lo = reinterpret_cast<std::uintptr_t>(p);
    Mappings m;
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        const auto dash = line.find('-'), space = line.find(' ');
        if (line.find_first_not_of("0123456789abcdef") == dash && dash < space) {
            const std::uintptr_t start = std::stoull(line.substr(0, dash), nullptr, 16);
            const std::uintptr_t end = std::stoull(line.substr(dash + 1, space), nullptr, 16);
            if (line.find("[heap]") == std::string::npos) m.bytes += end - start;
            inside = start < lo + bytes && lo < end;
            m.overlap = m.overlap || inside;
        } else if (inside && line.rfind("THPeligible:", 0) == 0) {
            m.allEligible = m.allEligible && line.find('1') != std::string::npos;
        }
    }
    return m;
}

TEST(BlockMemory, BlocksAreWholeAlignedAdvisedAndGivenBackWhole) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "free-store blocks under AddressSanitizer";
#endif
    std::string modes;
    std::getline(std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled"), modes);
    const bool hugePagesOnRequest = modes.find("[never]") == std::string::npos;
    for (const std::size_t bytes : {std::size_t{4097}, 5 * kHugePageBytes + 3}) {
        SCOPED_TRACE(bytes);
        const std::uintptr_t before = mappings().bytes;
        MemoryBlock block = allocateBlock(bytes);
        ASSERT_TRUE(block);
        std::byte* const p = block.get();
        std::fill_n(p, bytes, std::byte{0x5a});
        EXPECT_EQ(std::count(p, p + bytes, std::byte{0x5a}), static_cast<std::ptrdiff_t>(bytes));
        const Mappings held = mappings(p, bytes);
        EXPECT_EQ(held.bytes - before, (bytes + 4095) / 4096 * 4096);  // the surplus given back
        if (bytes >= kHugePageBytes) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kHugePageBytes, 0u);
            EXPECT_TRUE(held.allEligible || !hugePagesOnRequest);
        }
        block.reset();
        const Mappings after = mappings(p, bytes);
        EXPECT_EQ(after.bytes, before);
        EXPECT_FALSE(after.overlap);
    }
}

}  // namespace
}  // namespace oskelon
