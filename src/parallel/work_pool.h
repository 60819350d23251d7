// A fixed team of threads for the independent parts of one step of the arithmetic.
//
// A step is split into parts whose arithmetic does not depend on which thread runs them or in
// which order (every part writes its own elements with the same operations as a one-thread run),
// so a run gives the same bits with any number of threads. The pool only schedules: parts are
// handed out one at a time from a shared counter, and run() returns when every part is done.
//
// A step often lasts only tens of microseconds, and the steps of one operation follow each other
// closely, while waking a sleeping thread takes about as long (14 us typical on the 2-core test
// machine, milliseconds when the kernel does not run it at once). So a run never waits for a worker
// that has not taken a part: it ends when the parts handed out are done, and a worker that comes
// late finds none left. A worker that has finished a run polls for the next one for 100 us (kSpin,
// work_pool.cpp) before it sleeps, and the calling thread polls as long for the parts still
// running before it sleeps; an idle pool sleeps.
//
// The arithmetic finds the pool through activePool(): the thread that runs a computation installs
// it with an ActivePoolScope, and forEachPart() spreads a step over it. Without a pool, or inside a
// part (on a pool's own workers and on the calling thread while it runs parts, so parallel steps
// never nest), forEachPart() runs the parts in order on the calling thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace oskelon {

class WorkPool {
  public:
    // Called first on each worker with its index 1 .. threads-1 (the calling thread is member 0),
    // for example to pin or name it. It must not throw.
    using WorkerStart = std::function<void(int index)>;

    // Starts threads - 1 workers (threads >= 1). Throws std::system_error when a worker cannot be
    // started, after stopping the ones that were.
    explicit WorkPool(int threads, WorkerStart onStart = {});
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    int threads() const noexcept { return static_cast<int>(workers_.size()) + 1; }

    // The runs handed to the team so far (run() calls with at least one part): lets a caller see
    // whether a step was spread over the pool.
    std::uint64_t runs();

    // Calls part(i) once for each i in [0, parts) on the team (the calling thread included) and
    // returns when all calls have returned. When a part throws, the parts not yet started are
    // skipped and the first exception is rethrown here. Not reentrant: one run at a time.
    template <class F>
    void run(int parts, F&& part) {
        using Fn = std::remove_reference_t<F>;
        runParts(
            parts, [](void* context, int i) { (*static_cast<Fn*>(context))(i); },
            static_cast<void*>(std::addressof(part)));
    }

  private:
    using PartFn = void (*)(void* context, int index);

    void runParts(int parts, PartFn fn, void* context);
    void workerLoop(int index, const WorkerStart& onStart);
    void doParts();

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::uint64_t generation_ = 0;  // counts runs; a worker joins each new one once
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> posted_{0};  // generation_, to poll without the mutex

    // The current run; written under mutex_ before generation_ advances.
    PartFn fn_ = nullptr;
    void* context_ = nullptr;
    int parts_ = 0;
    std::atomic<int> next_{0};    // next part to hand out
    std::atomic<int> joined_{0};  // threads in the run, changed under mutex_
    std::exception_ptr error_;
};

// The pool the arithmetic on this thread uses, or nullptr.
WorkPool* activePool() noexcept;

// Installs pool as this thread's pool for the lifetime of the scope (nullptr: none).
class ActivePoolScope {
  public:
    explicit ActivePoolScope(WorkPool* pool) noexcept;
    ~ActivePoolScope();
    ActivePoolScope(const ActivePoolScope&) = delete;
    ActivePoolScope& operator=(const ActivePoolScope&) = delete;

  private:
    WorkPool* previous_;
};

// The number of threads a step may use on this thread: the active pool's, else 1.
inline int activeThreads() noexcept {
    const WorkPool* pool = activePool();
    return pool ? pool->threads() : 1;
}

// part(i) for each i in [0, parts): on the active pool when there is one with more than one thread
// and more than one part, else in order on this thread.
template <class F>
void forEachPart(int parts, F&& part) {
    WorkPool* pool = activePool();
    if (pool && pool->threads() > 1 && parts > 1) {
        pool->run(parts, part);
    } else {
        for (int i = 0; i < parts; ++i) part(i);
    }
}

}  // namespace oskelon
