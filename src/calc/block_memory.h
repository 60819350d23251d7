// The memory of the working set's blocks: one allocation per number or transform array.
//
// On Linux a block is a private anonymous mapping; one of at least 2 MiB starts on a 2 MiB
// boundary and is advised for transparent huge pages, which then hold all of it but a last part
// of less than 2 MiB. The transform's first stages and its permutation walk the arrays with
// strides of many 4 KiB pages (the rows of a permutation tile lie n/16 points apart), so that with
// small pages nearly every row costs a miss of the address translation caches. Huge pages are
// advice: where the system has none to give, the block keeps small pages and works the same. On
// Windows (large pages there need a privilege that users do not hold) a block comes from the free
// store. Each platform implements this in a file of its own (block_memory_linux.cpp,
// block_memory_windows.cpp).
#pragma once

#include <cstddef>
#include <memory>

namespace oskelon {

// How a block is given back: the function that releases it, with the length it was given.
struct BlockRelease {
    void (*release)(std::byte* block, std::size_t length) noexcept = nullptr;
    std::size_t length = 0;
    void operator()(std::byte* block) const noexcept { release(block, length); }
};

using MemoryBlock = std::unique_ptr<std::byte[], BlockRelease>;

// At least `bytes` (> 0) bytes of uninitialised memory, or an empty block when the system has no
// memory to give.
MemoryBlock allocateBlock(std::size_t bytes);

// The same from the free store (new[]), as on Windows; delete[] gives it back.
MemoryBlock freeStoreBlock(std::size_t bytes);

// The boundary and unit of the blocks that are advised for huge pages (Linux).
inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

}  // namespace oskelon
