// Runs a program as a child process with its output captured, and the rest of what the runner's
// tests need from the system: interrupting a child as Ctrl+C does, the environment the children
// inherit and the CPUs of this process. run_process_linux.cpp and run_process_windows.cpp
// implement it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace oskelon::test {

using ProcessId = std::int64_t;

struct ProcessResult {
    int exitCode = -1;  // the exit status (on Linux 128 + signal when killed)
    std::string out;
    std::string err;
};

// Runs program with args in directory cwd. onOutput, when given, is called with the child's id
// and the standard output read so far whenever more arrives (it may interrupt the child).
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd,
                         std::function<void(ProcessId, const std::string&)> onOutput = {});

// What the user's Ctrl+C does: SIGINT on Linux; on Windows a CTRL_C_EVENT on the console that
// runProcess gives this process and its children (Wine 8 delivers no other control event to a
// process), which this process ignores.
void interruptProcess(ProcessId child);
// What the system's request to end does: SIGTERM on Linux; on Windows the same as
// interruptProcess, which has no other console event that reaches a child.
void requestTermination(ProcessId child);
// Ends the child at once (SIGKILL, TerminateProcess).
void killProcess(ProcessId child);

// Sets or removes a variable of this process's environment, which the children inherit.
void setEnvironment(const char* name, const std::string& value);
void unsetEnvironment(const char* name);

// The CPUs this process may run on, ascending, asked of the system directly (not through the
// runner's code); the runner, its child, inherits them.
std::vector<int> processCpus();
// The CPU the calling thread runs on now, asked of the system directly.
int threadCpu();
// Restricts this process (and the children it starts from now on) to the CPUs; false on failure.
bool setProcessCpus(const std::vector<int>& cpus);
// The threads of a process whose names start with prefix, by the number after the prefix, with
// the CPU list each may run on ("3", "0-3"), seen from outside the process; nullopt where the
// system shows no such view (Windows).
std::optional<std::map<int, std::string>> namedThreadAffinities(ProcessId process,
                                                                const std::string& prefix);

}  // namespace oskelon::test
