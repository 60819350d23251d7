// The pool's contract: each part once, failures rethrown only after every started part has
// returned, the worker start hook once per worker, parallel steps never nested, and without a pool
// the parts in order on the caller.
#include "parallel/work_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace oskelon {
namespace {

TEST(WorkPool, EveryPartRunsExactlyOnce) {
    for (int threads : {1, 2, 3, 5}) {
        WorkPool pool(threads);
        EXPECT_EQ(pool.threads(), threads);
        for (int parts : {1, 2, 7, 1000}) {
            for (int round = 0; round < 3; ++round) {
                std::vector<std::atomic<int>> calls(static_cast<std::size_t>(parts));
                pool.run(parts, [&](int i) { calls[static_cast<std::size_t>(i)]++; });
                int wrong = 0;
                for (const auto& c : calls) wrong += c.load() != 1;
                EXPECT_EQ(wrong, 0) << threads << " threads, " << parts << " parts";
            }
        }
    }
}

// Many short runs back to back, so that workers often arrive after the caller has done every part
// itself, or while the next run is being posted: a late worker may only ever run parts of the run
// that is current, each once, and never a part of a run that has returned.
TEST(WorkPool, LateWorkersJoinOnlyTheCurrentRun) {
    const std::thread::id caller = std::this_thread::get_id();
    for (int threads : {2, 3}) {
        WorkPool pool(threads);
        std::atomic<int> current{-1};
        int wrongRun = 0, wrongCount = 0, onWorkers = 0;
        for (int r = 0; r < 20000; ++r) {
            const int parts = 1 + r % 3;
            std::atomic<int> calls[3] = {0, 0, 0};
            std::atomic<int> stale{0}, worker{0};
            current.store(r);
            pool.run(parts, [&, r](int i) {
                // A few hundred nanoseconds of work, so that workers do take parts.
                const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(300);
                while (std::chrono::steady_clock::now() < until) {
                }
                if (std::this_thread::get_id() != caller) ++worker;
                calls[i]++;
                if (current.load() != r) ++stale;
            });
            current.store(-1);
            wrongRun += stale.load() != 0;
            onWorkers += worker.load();
            for (int i = 0; i < 3; ++i) wrongCount += calls[i].load() != (i < parts ? 1 : 0);
        }
        EXPECT_EQ(wrongRun, 0) << threads << " threads";
        EXPECT_EQ(wrongCount, 0) << threads << " threads";
        EXPECT_GT(onWorkers, 0) << threads << " threads: no worker ever took a part";
    }
}

// The first part fails at once while the others take 200 us each: the parts already started on
// the other threads must have returned before the failure is rethrown, and the rest are never
// started. The other parts wait on the clock rather than sleep (under Wine a short sleep may
// return at once), and one exception is thrown before the run, since a process's first throw can
// take milliseconds (the unwinder sets itself up) while the other threads run through parts.
TEST(WorkPool, AFailureIsRethrownAfterTheStartedPartsReturn) {
    try {
        throw std::runtime_error("warm-up");
    } catch (const std::runtime_error&) {
    }
    WorkPool pool(3);
    constexpr int kParts = 1000;
    std::atomic<int> running{0}, started{0};
    bool threw = false;
    try {
        pool.run(kParts, [&](int i) {
            ++running;
            ++started;
            if (i == 0) {
                --running;
                throw std::runtime_error("part 0");
            }
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
            while (std::chrono::steady_clock::now() < until) {
            }
            --running;
        });
    } catch (const std::runtime_error& e) {
        threw = true;
        EXPECT_STREQ(e.what(), "part 0");
        EXPECT_EQ(running.load(), 0);  // nobody is still inside a part
    }
    EXPECT_TRUE(threw);
    EXPECT_LT(started.load(), kParts);  // the parts not yet started were skipped
    // The pool still works.
    std::atomic<int> sum{0};
    pool.run(10, [&](int i) { sum += i; });
    EXPECT_EQ(sum.load(), 45);
}

TEST(WorkPool, TheStartHookRunsOncePerWorker) {
    std::mutex m;
    std::multiset<int> seen;
    std::set<std::thread::id> ids;
    {
        WorkPool pool(4, [&](int index) {
            std::lock_guard lock(m);
            seen.insert(index);
            ids.insert(std::this_thread::get_id());
        });
        pool.run(8, [](int) {});
    }
    EXPECT_EQ(seen, (std::multiset<int>{1, 2, 3}));
    EXPECT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids.count(std::this_thread::get_id()), 0u);
}

// A part that calls forEachPart, on a worker or on the calling thread, runs its parts in order on
// its own thread: no second run is started on the busy pool.
TEST(WorkPool, NestedStepsRunSeriallyInsideAPart) {
    WorkPool pool(2);
    ActivePoolScope scope(&pool);
    const std::uint64_t before = pool.runs();
    std::mutex m;
    int bad = 0;
    forEachPart(16, [&](int) {
        const std::thread::id outer = std::this_thread::get_id();
        std::vector<int> order;
        forEachPart(4, [&](int j) {
            order.push_back(j);
            if (std::this_thread::get_id() != outer) order.push_back(-1);
        });
        std::lock_guard lock(m);
        bad += order != std::vector<int>{0, 1, 2, 3};
    });
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(pool.runs() - before, 1u);
    EXPECT_EQ(activePool(), &pool);  // restored after the run
}

TEST(WorkPool, WithoutAPoolThePartsRunInOrderOnTheCaller) {
    ASSERT_EQ(activePool(), nullptr);
    EXPECT_EQ(activeThreads(), 1);
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int> order;
    forEachPart(5, [&](int i) { order.push_back(std::this_thread::get_id() == caller ? i : -1); });
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    {
        WorkPool one(1);
        ActivePoolScope scope(&one);
        EXPECT_EQ(activeThreads(), 1);
        order.clear();
        forEachPart(3, [&](int i) { order.push_back(i); });
        EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(one.runs(), 0u);
    }
    EXPECT_EQ(activePool(), nullptr);
}

}  // namespace
}  // namespace oskelon
