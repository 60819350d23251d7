// Blocks as anonymous mappings, the large ones on 2 MiB boundaries and advised for huge pages
// (block_memory.h). The kernel provides huge pages for an advised range only where whole 2 MiB
// pages fit: a mapping is therefore reserved one huge page longer than needed, and the unaligned
// head and the surplus tail are given back. A block's last part of less than 2 MiB keeps small
// pages, so that a block occupies no more memory than its bytes rounded to a page.
//
// Under AddressSanitizer the blocks come from the free store instead, whose ends it guards: an
// access past the end of a working-set array is then reported rather than landing in the slack of
// a mapping.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "calc/block_memory.h"

namespace oskelon {
namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr bool kFromFreeStore = true;
#else
constexpr bool kFromFreeStore = false;
#endif

std::size_t roundUp(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

std::byte* mapAnonymous(std::size_t length) {
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<std::byte*>(p);
}

void unmap(std::byte* block, std::size_t length) noexcept {
    munmap(block, length);
}

MemoryBlock mapped(std::byte* block, std::size_t length) {
    return block == nullptr ? MemoryBlock{} : MemoryBlock(block, BlockRelease{&unmap, length});
}

}  // namespace

MemoryBlock allocateBlock(std::size_t bytes) {
    if (kFromFreeStore) return freeStoreBlock(bytes);
    if (bytes > SIZE_MAX - 2 * kHugePageBytes) return {};
    const std::size_t length = roundUp(bytes, static_cast<std::size_t>(sysconf(_SC_PAGESIZE)));
    if (length < kHugePageBytes) return mapped(mapAnonymous(length), length);
    const std::size_t reserved = length + kHugePageBytes;
    std::byte* const base = mapAnonymous(reserved);
    if (base == nullptr) return {};
    const std::size_t head =
        (kHugePageBytes - reinterpret_cast<std::uintptr_t>(base) % kHugePageBytes) % kHugePageBytes;
    std::byte* const block = base + head;
    if (head > 0) munmap(base, head);
    if (reserved - head > length) munmap(block + length, reserved - head - length);
    // Advice only: without huge pages the block works the same.
    madvise(block, length, MADV_HUGEPAGE);
    return mapped(block, length);
}

}  // namespace oskelon
