#include "calc/block_memory.h"

#include <new>

namespace oskelon {
namespace {

void deleteArray(std::byte* block, std::size_t /*length*/) noexcept {
    delete[] block;
}

}  // namespace

// The plain new[], not its nothrow form: a program that replaces the array forms (the window
// tests' block tracker does) then gets its own new[] for every block, matched by its delete[].
MemoryBlock freeStoreBlock(std::size_t bytes) {
    try {
        return MemoryBlock(new std::byte[bytes], BlockRelease{&deleteArray, bytes});
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace oskelon
