#include "cli/cpu_set.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace oskelon {
namespace {

// The largest CPU number a list may name; far beyond any machine, small enough for a mask.
constexpr int kMaxCpu = 65535;

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
    for (int count = 1024; count <= kMaxCpu + 1; count *= 2) {
        CpuMask mask(count);
        if (!mask.valid()) return {};
        if (sched_getaffinity(0, mask.bytes(), mask.get()) == 0) return mask.members();
        if (errno != EINVAL) return {};
    }
    return {};
}

bool parseNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 5) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = std::stoi(text);
    return value <= kMaxCpu;
}

}  // namespace

std::optional<std::vector<int>> parseCpuList(const std::string& text, std::string* error) {
    auto fail = [&](const std::string& reason) -> std::optional<std::vector<int>> {
        if (error) *error = reason;
        return std::nullopt;
    };
    if (text.empty()) return fail("empty CPU list");
    std::vector<int> cpus;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t dash = item.find('-');
        int first = 0, last = 0;
        if (dash == std::string::npos) {
            if (!parseNumber(item, first)) return fail("\"" + item + "\" is no CPU number");
            last = first;
        } else {
            if (!parseNumber(item.substr(0, dash), first) ||
                !parseNumber(item.substr(dash + 1), last))
                return fail("\"" + item + "\" is no CPU range");
            if (last < first) return fail("the range \"" + item + "\" runs backwards");
        }
        for (int cpu = first; cpu <= last; ++cpu) cpus.push_back(cpu);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(cpus.begin(), cpus.end());
    const auto twice = std::adjacent_find(cpus.begin(), cpus.end());
    if (twice != cpus.end()) return fail("CPU " + std::to_string(*twice) + " is listed twice");
    return cpus;
}

std::string formatCpuList(const std::vector<int>& cpus) {
    std::string text;
    for (std::size_t i = 0; i < cpus.size();) {
        std::size_t j = i;
        while (j + 1 < cpus.size() && cpus[j + 1] == cpus[j] + 1) ++j;
        if (!text.empty()) text += ',';
        text += std::to_string(cpus[i]);
        if (j > i) {
            text += j == i + 1 ? ',' : '-';
            text += std::to_string(cpus[j]);
        }
        i = j + 1;
    }
    return text;
}

std::vector<int> allowedCpus() {
    return readOwnAffinity();
}

std::vector<int> currentThreadCpus() {
    return readOwnAffinity();
}

bool pinCurrentThread(int cpu, std::string* error) {
    if (cpu < 0 || cpu > kMaxCpu) {
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

}  // namespace oskelon
