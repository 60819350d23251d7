#include "block_tracker.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_set>

namespace oskelon::test {
namespace {

struct Tracker {
    std::mutex mutex;
    std::unordered_set<const void*> live;
    std::unordered_set<const void*> freed;
    BlockCounts counts;
};

// Never destroyed: array deletes may come during static destruction.
Tracker& tracker() {
    static Tracker* instance = new Tracker;
    return *instance;
}

thread_local bool insideTracker = false;

void noteArrayNew(const void* p) {
    if (insideTracker) return;
    insideTracker = true;
    Tracker& t = tracker();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        t.freed.erase(p);  // the address is in use again
    }
    insideTracker = false;
}

void noteArrayDelete(const void* p) {
    if (p == nullptr || insideTracker) return;
    insideTracker = true;
    Tracker& t = tracker();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        if (t.live.erase(p) != 0) {
            ++t.counts.freed;
            t.freed.insert(p);
        } else if (t.freed.count(p) != 0) {
            ++t.counts.doubleFreed;
        }
    }
    insideTracker = false;
}

}  // namespace

BlockCounts blockCounts() {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.counts;
}

void resetBlockCounts() {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.counts = {};
    t.live.clear();
    t.freed.clear();
}

WorkingSet::Allocator trackingAllocator(std::function<bool(int slot)> fail) {
    return [fail = std::move(fail)](int slot, std::size_t bytes) -> WorkingSet::Block {
        if (fail && fail(slot)) return nullptr;
        // From the free store: the replaced array forms below see every release.
        WorkingSet::Block block = freeStoreBlock(bytes);
        if (block) {
            insideTracker = true;
            Tracker& t = tracker();
            {
                std::lock_guard<std::mutex> lock(t.mutex);
                t.live.insert(block.get());
                t.freed.erase(block.get());
                ++t.counts.allocated;
            }
            insideTracker = false;
        }
        return block;
    };
}

}  // namespace oskelon::test

// The replaced array forms. The nothrow and sized variants of the standard library forward to
// these two; the aligned forms are not used for byte arrays and stay as they are.
void* operator new[](std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    oskelon::test::noteArrayNew(p);
    return p;
}

void operator delete[](void* p) noexcept {
    oskelon::test::noteArrayDelete(p);
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    oskelon::test::noteArrayDelete(p);
    std::free(p);
}
