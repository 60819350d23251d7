// The nine arrays of a run, owned by the job's host so that it can release them after a stop.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>

#include "calc/block_memory.h"
#include "mp/mp_number.h"

namespace oskelon {

class WorkingSet {
  public:
    static constexpr int kNumbers = 6;  // slots 0..5: num[0] .. num[5]
    static constexpr int kArrays = 3;   // slots 6..8: dbl[0] .. dbl[2]
    static constexpr int kSlots = kNumbers + kArrays;

    using Block = MemoryBlock;
    // Obtains a block of `bytes` for `slot`, or an empty block when memory is not available.
    using Allocator = std::function<Block(int slot, std::size_t bytes)>;

    WorkingSet();

    // Fills an empty slot; false (slot stays empty) when the allocator has no memory.
    bool allocate(int slot, std::size_t bytes);
    // Frees the slot's block, if any, and empties the slot.
    void release(int slot) noexcept { slots_[static_cast<std::size_t>(slot)].reset(); }
    // Frees every held block.
    void releaseAll() noexcept;

    bool held(int slot) const noexcept { return slots_[static_cast<std::size_t>(slot)] != nullptr; }
    bool empty() const noexcept;

    MpNumber& num(int i) noexcept { return *mpNumberAt(slots_[static_cast<std::size_t>(i)].get()); }
    double* dbl(int i) noexcept {
        return reinterpret_cast<double*>(slots_[static_cast<std::size_t>(kNumbers + i)].get());
    }
    std::byte* bytes(int slot) noexcept { return slots_[static_cast<std::size_t>(slot)].get(); }

    // The allocator used by allocate(); tests replace it to make a chosen slot fail.
    void setAllocator(Allocator allocator) { allocator_ = std::move(allocator); }

    // The default: uninitialised memory from allocateBlock, empty on failure.
    static Block allocateFromSystem(int slot, std::size_t bytes);

  private:
    std::array<Block, kSlots> slots_;
    Allocator allocator_;
};

}  // namespace oskelon
