// Logical CPUs for the stability test: the lists users write ("0,2-5"), the CPUs this process
// may run on, and the pinning of a thread to one CPU.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace oskelon {

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

}  // namespace oskelon
