#include "parallel/work_pool.h"

namespace oskelon {
namespace {

thread_local WorkPool* tActivePool = nullptr;

}  // namespace

WorkPool::WorkPool(int threads, WorkerStart onStart) {
    const int workers = threads > 1 ? threads - 1 : 0;
    workers_.reserve(static_cast<std::size_t>(workers));
    try {
        for (int i = 1; i <= workers; ++i) {
            workers_.emplace_back([this, i, onStart] { workerLoop(i, onStart); });
        }
    } catch (...) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_) t.join();
        throw;
    }
}

WorkPool::~WorkPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

std::uint64_t WorkPool::runs() {
    std::lock_guard lock(mutex_);
    return generation_;
}

void WorkPool::workerLoop(int index, const WorkerStart& onStart) {
    if (onStart) onStart(index);
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        lock.unlock();
        doParts();
        lock.lock();
        if (--busyWorkers_ == 0) finished_.notify_one();
    }
}

// Takes parts until none is left; after a failure the remaining parts are skipped.
void WorkPool::doParts() {
    for (;;) {
        int i;
        {
            std::lock_guard lock(mutex_);
            if (next_ >= parts_ || error_) return;
            i = next_++;
        }
        try {
            fn_(context_, i);
        } catch (...) {
            std::lock_guard lock(mutex_);
            if (!error_) error_ = std::current_exception();
        }
    }
}

void WorkPool::runParts(int parts, PartFn fn, void* context) {
    if (parts <= 0) return;
    {
        std::lock_guard lock(mutex_);
        fn_ = fn;
        context_ = context;
        parts_ = parts;
        next_ = 0;
        error_ = nullptr;
        busyWorkers_ = static_cast<int>(workers_.size());
        ++generation_;
    }
    wake_.notify_all();
    {
        // A part that spreads a step of its own runs it serially here too, as on the workers.
        ActivePoolScope serial(nullptr);
        doParts();
    }
    std::exception_ptr error;
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return busyWorkers_ == 0; });
        error = std::exchange(error_, nullptr);
        fn_ = nullptr;
        context_ = nullptr;
    }
    if (error) std::rethrow_exception(error);
}

WorkPool* activePool() noexcept {
    return tActivePool;
}

ActivePoolScope::ActivePoolScope(WorkPool* pool) noexcept : previous_(tActivePool) {
    tActivePool = pool;
}

ActivePoolScope::~ActivePoolScope() {
    tActivePool = previous_;
}

}  // namespace oskelon
