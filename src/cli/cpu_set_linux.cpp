// The CPUs of this process and the pinning of threads on Linux: affinity masks of the size the
// running kernel needs (sched_getaffinity, pthread_setaffinity_np).
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "cli/cpu_set.h"

namespace oskelon {
namespace {

// A CPU mask of the size the running kernel needs, freed with its owner.
class CpuMask {
  public:
    explicit CpuMask(int cpuCount)
        : count_(cpuCount), set_(CPU_ALLOC(static_cast<std::size_t>(cpuCount))) {
        if (set_) CPU_ZERO_S(bytes(), set_.get());
    }
    bool valid() const { return set_ != nullptr; }
    std::size_t bytes() const { return CPU_ALLOC_SIZE(static_cast<std::size_t>(count_)); }
    cpu_set_t* get() { return set_.get(); }
    int count() const { return count_; }

    std::vector<int> members() const {
        std::vector<int> cpus;
        for (int cpu = 0; cpu < count_; ++cpu) {
            if (CPU_ISSET_S(static_cast<std::size_t>(cpu), bytes(), set_.get()))
                cpus.push_back(cpu);
        }
        return cpus;
    }

  private:
    struct Free {
        void operator()(cpu_set_t* set) const { CPU_FREE(set); }
    };
    int count_;
    std::unique_ptr<cpu_set_t, Free> set_;
};

// Reads the calling thread's mask, growing the mask until the kernel accepts its size.
std::vector<int> readOwnAffinity() {
    for (int count = 1024; count <= kMaxCpuNumber + 1; count *= 2) {
        CpuMask mask(count);
        if (!mask.valid()) return {};
        if (sched_getaffinity(0, mask.bytes(), mask.get()) == 0) return mask.members();
        if (errno != EINVAL) return {};
    }
    return {};
}

}  // namespace

std::vector<int> allowedCpus() {
    return readOwnAffinity();
}

std::vector<int> currentThreadCpus() {
    return readOwnAffinity();
}

bool pinCurrentThread(int cpu, std::string* error) {
    if (cpu < 0 || cpu > kMaxCpuNumber) {
        if (error) *error = "no such CPU";
        return false;
    }
    CpuMask mask(std::max(1024, cpu + 1));
    if (!mask.valid()) {
        if (error) *error = std::strerror(ENOMEM);
        return false;
    }
    CPU_SET_S(static_cast<std::size_t>(cpu), mask.bytes(), mask.get());
    const int result = pthread_setaffinity_np(pthread_self(), mask.bytes(), mask.get());
    if (result != 0) {
        if (error) *error = std::strerror(result);
        return false;
    }
    if (currentThreadCpus() != std::vector<int>{cpu}) {
        if (error) *error = "the system did not keep the thread on that CPU";
        return false;
    }
    return true;
}

int currentCpu() {
    return sched_getcpu();
}

}  // namespace oskelon
