// Follows the working set's blocks from their allocation to their release, to show that a run
// frees each block exactly once whatever ends it.
//
// The test binary replaces the array forms of operator new and delete (the working set's blocks
// are arrays of bytes); blocks handed out by trackingAllocator() are recorded, and their array
// delete is counted. An array delete of a tracked address that was already freed, with no array
// allocation reusing it since, counts as a double free.
#pragma once

#include <functional>

#include "calc/working_set.h"

namespace oskelon::test {

struct BlockCounts {
    int allocated = 0;    // tracked blocks handed out
    int freed = 0;        // tracked blocks deleted
    int doubleFreed = 0;  // deletes of a tracked block that was already deleted
    int live() const { return allocated - freed; }
};

BlockCounts blockCounts();
void resetBlockCounts();

// An allocator for WorkingSet::setAllocator that tracks its blocks; fails (gives no block) for
// the slots where fail(slot) is true.
WorkingSet::Allocator trackingAllocator(std::function<bool(int slot)> fail = {});

}  // namespace oskelon::test
