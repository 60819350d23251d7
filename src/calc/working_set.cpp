#include "calc/working_set.h"

#include <algorithm>

namespace oskelon {

WorkingSet::WorkingSet() : allocator_(&WorkingSet::allocateFromSystem) {}

WorkingSet::Block WorkingSet::allocateFromSystem(int /*slot*/, std::size_t bytes) {
    return allocateBlock(bytes);
}

bool WorkingSet::allocate(int slot, std::size_t bytes) {
    Block block = allocator_(slot, bytes);
    if (!block) return false;
    slots_[static_cast<std::size_t>(slot)] = std::move(block);
    return true;
}

void WorkingSet::releaseAll() noexcept {
    for (auto& slot : slots_) slot.reset();
}

bool WorkingSet::empty() const noexcept {
    return std::none_of(slots_.begin(), slots_.end(), [](const Block& b) { return b != nullptr; });
}

}  // namespace oskelon
