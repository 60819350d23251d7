#include "calc/block_memory.h"

#include <new>

namespace oskelon {
namespace {

void deleteArray(std::byte* block, std::size_t /*length*/) noexcept {
    delete[] block;
}

}  // namespace

MemoryBlock freeStoreBlock(std::size_t bytes) {
    std::byte* const block = new (std::nothrow) std::byte[bytes];
    return block == nullptr ? MemoryBlock{} : MemoryBlock(block, BlockRelease{&deleteArray, bytes});
}

}  // namespace oskelon
