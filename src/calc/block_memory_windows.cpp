// Blocks from the free store (block_memory.h).
#include "calc/block_memory.h"

namespace oskelon {

MemoryBlock allocateBlock(std::size_t bytes) {
    return freeStoreBlock(bytes);
}

}  // namespace oskelon
