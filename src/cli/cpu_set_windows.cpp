// The CPUs of this process and the pinning of threads on Windows. A system with up to 64 logical
// CPUs has one processor group and plain affinity masks (GetProcessAffinityMask,
// SetThreadAffinityMask); a larger one has several groups, and a thread runs in one group at a
// time (GetThreadGroupAffinity, SetThreadGroupAffinity). Numbers run through the groups in
// order, as cpu_set.h says.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cpu_set.h"
#include "platform/windows_text.h"

namespace oskelon {
namespace {

// The count of active processors of each group, in group order.
std::vector<int> groupSizes() {
    std::vector<int> sizes;
    const WORD groups = GetActiveProcessorGroupCount();
    for (WORD g = 0; g < groups; ++g) sizes.push_back(static_cast<int>(GetActiveProcessorCount(g)));
    return sizes;
}

int firstCpuOfGroup(const std::vector<int>& sizes, WORD group) {
    int first = 0;
    for (WORD g = 0; g < group && g < sizes.size(); ++g) first += sizes[g];
    return first;
}

// Appends the CPUs of a group's mask (bits beyond the group's processors are not CPUs).
void addMembers(const std::vector<int>& sizes, WORD group, KAFFINITY mask, std::vector<int>& cpus) {
    if (group >= sizes.size()) return;
    const int first = firstCpuOfGroup(sizes, group);
    for (int i = 0; i < sizes[group] && i < 64; ++i) {
        if ((mask >> i) & 1) cpus.push_back(first + i);
    }
}

KAFFINITY wholeGroup(int size) {
    return size >= 64 ? ~KAFFINITY{0} : (KAFFINITY{1} << size) - 1;
}

}  // namespace

std::vector<int> allowedCpus() {
    const std::vector<int> sizes = groupSizes();
    std::vector<int> cpus;
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return {};
    if (process != 0) {
        // The process lives in one group (always so with one group): its mask, in the group of
        // its threads.
        GROUP_AFFINITY own{};
        if (!GetThreadGroupAffinity(GetCurrentThread(), &own)) return {};
        addMembers(sizes, own.Group, process, cpus);
        return cpus;
    }
    // Threads in several groups: every processor of the process's groups.
    USHORT count = 0;
    GetProcessGroupAffinity(GetCurrentProcess(), &count, nullptr);  // fails, telling the count
    std::vector<USHORT> groups(count);
    if (count == 0 || !GetProcessGroupAffinity(GetCurrentProcess(), &count, groups.data()))
        return {};
    groups.resize(count);
    for (USHORT g : groups) {
        if (g < sizes.size()) addMembers(sizes, g, wholeGroup(sizes[g]), cpus);
    }
    std::sort(cpus.begin(), cpus.end());
    return cpus;
}

std::vector<int> currentThreadCpus() {
    GROUP_AFFINITY own{};
    if (!GetThreadGroupAffinity(GetCurrentThread(), &own)) return {};
    std::vector<int> cpus;
    addMembers(groupSizes(), own.Group, own.Mask, cpus);
    return cpus;
}

bool pinCurrentThread(int cpu, std::string* error) {
    const std::vector<int> sizes = groupSizes();
    WORD group = 0;
    int index = cpu;
    while (group < sizes.size() && index >= sizes[group]) index -= sizes[group++];
    if (cpu < 0 || group >= sizes.size() || index >= 64) {
        if (error) *error = "no such CPU";
        return false;
    }
    const KAFFINITY mask = KAFFINITY{1} << index;
    bool set = false;
    if (sizes.size() == 1) {
        set = SetThreadAffinityMask(GetCurrentThread(), mask) != 0;
    } else {
        GROUP_AFFINITY affinity{};
        affinity.Mask = mask;
        affinity.Group = group;
        set = SetThreadGroupAffinity(GetCurrentThread(), &affinity, nullptr) != 0;
    }
    if (!set) {
        if (error) *error = windowsErrorText(GetLastError());
        return false;
    }
    if (currentThreadCpus() != std::vector<int>{cpu}) {
        if (error) *error = "the system did not keep the thread on that CPU";
        return false;
    }
    return true;
}

int currentCpu() {
    PROCESSOR_NUMBER where{};
    GetCurrentProcessorNumberEx(&where);
    return firstCpuOfGroup(groupSizes(), where.Group) + where.Number;
}

}  // namespace oskelon
