// Running a piece of arithmetic with a work pool of a chosen size installed on the calling thread.
#pragma once

#include <memory>

#include "parallel/work_pool.h"

namespace oskelon::test {

// Thread counts a bit-identity test holds against the one-thread run: two (this machine's cores)
// and three (parts handed out unevenly).
inline constexpr int kPoolSizes[] = {2, 3};

// fn() with a pool of `threads` threads as this thread's active pool; threads == 1: no pool, the
// classic run.
template <class Fn>
void onThreads(int threads, Fn&& fn) {
    std::unique_ptr<WorkPool> pool;
    if (threads > 1) pool = std::make_unique<WorkPool>(threads);
    ActivePoolScope scope(pool.get());
    fn();
}

}  // namespace oskelon::test
