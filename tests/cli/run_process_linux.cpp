#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/run_process.h"
#include "cli/runner_output.h"
#include "support/temp_store.h"

namespace oskelon::test {

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd,
                         std::function<void(ProcessId, const std::string&)> onOutput) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        if (chdir(cwd.c_str()) != 0) _exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ProcessResult result;
    fcntl(outPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(errPipe[0], F_SETFL, O_NONBLOCK);
    bool outOpen = true, errOpen = true;
    char buffer[4096];
    while (outOpen || errOpen) {
        bool progressed = false;
        if (outOpen) {
            const ssize_t n = read(outPipe[0], buffer, sizeof buffer);
            if (n > 0) {
                result.out.append(buffer, static_cast<std::size_t>(n));
                progressed = true;
                if (onOutput) onOutput(pid, result.out);
            } else if (n == 0) {
                outOpen = false;
            }
        }
        if (errOpen) {
            const ssize_t n = read(errPipe[0], buffer, sizeof buffer);
            if (n > 0) {
                result.err.append(buffer, static_cast<std::size_t>(n));
                progressed = true;
            } else if (n == 0) {
                errOpen = false;
            }
        }
        if (!progressed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void interruptProcess(ProcessId child) {
    kill(static_cast<pid_t>(child), SIGINT);
}

void requestTermination(ProcessId child) {
    kill(static_cast<pid_t>(child), SIGTERM);
}

void killProcess(ProcessId child) {
    kill(static_cast<pid_t>(child), SIGKILL);
}

void setEnvironment(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}

void unsetEnvironment(const char* name) {
    unsetenv(name);
}

std::vector<int> processCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cpus;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
    }
    return cpus;
}

int threadCpu() {
    return sched_getcpu();
}

bool setProcessCpus(const std::vector<int>& cpus) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu : cpus) CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0;
}

std::optional<std::map<int, std::string>> namedThreadAffinities(ProcessId process,
                                                                const std::string& prefix) {
    std::map<int, std::string> threads;
    const std::filesystem::path tasks = "/proc/" + std::to_string(process) + "/task";
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        std::string name = readFile((task.path() / "comm").string());
        while (!name.empty() && name.back() == '\n') name.pop_back();
        if (!startsWith(name, prefix)) continue;
        const int number = std::stoi(name.substr(prefix.size()));
        for (const std::string& line : lines(readFile((task.path() / "status").string()))) {
            if (startsWith(line, "Cpus_allowed_list:")) {
                std::string list = line.substr(18);
                list.erase(0, list.find_first_not_of(" \t"));
                threads[number] = list;
            }
        }
    }
    return threads;
}

}  // namespace oskelon::test
