// Logical CPUs for the stability test: the lists users write ("0,2-5"), the CPUs this process
// may run on, and the pinning of a thread to one CPU.
//
// A CPU's number is the system's: on Linux the kernel's; on Windows the processors of all
// processor groups numbered in group order (group g's processor i is the sum of the active
// processor counts of groups 0 to g-1, plus i), which is the plain processor number on systems
// with one group (up to 64 logical CPUs). The lists are portable (cpu_set.cpp); the rest each
// platform implements in a file of its own (cpu_set_linux.cpp, cpu_set_windows.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace oskelon {

// The largest CPU number a list may name; far beyond any machine, small enough for a mask.
inline constexpr int kMaxCpuNumber = 65535;

// Parses a CPU list: numbers and ranges ("2-5") separated by commas. Returns the CPUs in
// ascending order; nullopt, with the reason in *error, for an empty or malformed list, a
// reversed range, a CPU listed twice or a number beyond what the system can address.
std::optional<std::vector<int>> parseCpuList(const std::string& text, std::string* error);

// The shortest list text of ascending CPUs: consecutive runs become ranges ("0-3,6").
std::string formatCpuList(const std::vector<int>& cpus);

// The CPUs this process may run on (the calling thread's affinity mask), ascending.
std::vector<int> allowedCpus();

// The CPUs the calling thread may run on, ascending.
std::vector<int> currentThreadCpus();

// Pins the calling thread to one CPU and reads the affinity back; true when the thread may run
// on that CPU only. On failure *error holds the system's reason.
bool pinCurrentThread(int cpu, std::string* error);

// The CPU the calling thread runs on at this moment; -1 when the system does not say.
int currentCpu();

}  // namespace oskelon
