// The working set's blocks on Linux: whole, disjoint, the large ones on huge-page boundaries and
// advised for huge pages, and every byte of the reservation given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "calc/block_memory.h"

namespace oskelon {
namespace {

// A mapping of this process as /proc/self/smaps lists it.
struct Mapping {
    std::uintptr_t start = 0, end = 0;
    bool hugePageEligible = false;
};

std::vector<Mapping> mappings() {
    std::vector<Mapping> all;
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    while (std::getline(smaps, line)) {
        const auto dash = line.find('-');
        const auto space = line.find(' ');
        if (dash != std::string::npos && space != std::string::npos && dash < space &&
            line.find_first_not_of("0123456789abcdef") == dash) {
            all.push_back({std::stoull(line.substr(0, dash), nullptr, 16),
                           std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16)});
        } else if (line.rfind("THPeligible:", 0) == 0 && !all.empty()) {
            all.back().hugePageEligible = line.find('1') != std::string::npos;
        }
    }
    return all;
}

// The mappings that share a byte with [p, p + bytes).
std::vector<Mapping> mappingsOver(const std::byte* p, std::size_t bytes) {
    const auto lo = reinterpret_cast<std::uintptr_t>(p);
    std::vector<Mapping> over;
    for (const Mapping& m : mappings()) {
        if (m.start < lo + bytes && lo < m.end) over.push_back(m);
    }
    return over;
}

bool hugePagesOnRequest() {
    std::ifstream enabled("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(enabled, modes);
    return modes.find("[madvise]") != std::string::npos ||
           modes.find("[always]") != std::string::npos;
}

// Under AddressSanitizer the blocks come from the free store.
#ifdef __SANITIZE_ADDRESS__
#define SKIP_UNDER_ASAN() GTEST_SKIP() << "free-store blocks under AddressSanitizer"
#else
#define SKIP_UNDER_ASAN() (void)0
#endif

TEST(BlockMemory, BlocksAreWholeDisjointAndTheLargeOnesAdvisedForHugePages) {
    SKIP_UNDER_ASAN();
    const std::size_t sizes[] = {
        1, 4097, kHugePageBytes - 1, kHugePageBytes, 5 * kHugePageBytes + 3, std::size_t{40} << 20};
    std::vector<MemoryBlock> blocks;
    for (const std::size_t bytes : sizes) {
        SCOPED_TRACE(bytes);
        MemoryBlock block = allocateBlock(bytes);
        ASSERT_TRUE(block);
        // Every byte is there, and no other block shares one.
        std::fill_n(block.get(), bytes, std::byte{static_cast<unsigned char>(blocks.size() + 1)});
        blocks.push_back(std::move(block));
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        const std::byte* p = blocks[i].get();
        const auto mark = std::byte{static_cast<unsigned char>(i + 1)};
        EXPECT_EQ(std::count(p, p + sizes[i], mark), static_cast<std::ptrdiff_t>(sizes[i]));
        if (sizes[i] < kHugePageBytes) continue;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kHugePageBytes, 0u);
        const std::vector<Mapping> over = mappingsOver(p, sizes[i]);
        ASSERT_FALSE(over.empty());
        if (hugePagesOnRequest()) {
            for (const Mapping& m : over) EXPECT_TRUE(m.hugePageEligible);
        }
    }
}

// The bytes of all mappings but the heap, which the reading itself may grow.
std::uintptr_t mappedBytes() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    std::uintptr_t total = 0;
    while (std::getline(maps, line)) {
        if (line.find("[heap]") != std::string::npos) continue;
        const auto dash = line.find('-');
        const auto space = line.find(' ');
        total += std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16) -
                 std::stoull(line.substr(0, dash), nullptr, 16);
    }
    return total;
}

TEST(BlockMemory, ABlockHoldsItsRoundedLengthAndReleasesAllOfIt) {
    SKIP_UNDER_ASAN();
    for (const std::size_t bytes : {std::size_t{4097}, 3 * kHugePageBytes + 1}) {
        SCOPED_TRACE(bytes);
        const std::size_t rounded = (bytes + 4095) / 4096 * 4096;
        const std::uintptr_t before = mappedBytes();
        MemoryBlock block = allocateBlock(bytes);
        ASSERT_TRUE(block);
        const std::byte* p = block.get();
        // The surplus of the reservation is given back at once...
        EXPECT_EQ(mappedBytes() - before, rounded);
        block.reset();
        // ...and the block itself on release.
        EXPECT_EQ(mappedBytes(), before);
        EXPECT_TRUE(mappingsOver(p, bytes).empty());
    }
}

}  // namespace
}  // namespace oskelon
