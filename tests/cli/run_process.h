// Runs a program as a child process with its output captured, for the runner's tests.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace oskelon::test {

struct ProcessResult {
    int exitCode = -1;  // the exit status, or 128 + signal when killed
    std::string out;
    std::string err;
};

// Runs program with args in directory cwd. onStart, when given, is called with the child's pid
// and the output read so far whenever more arrives (it may signal the child).
inline ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::string& cwd,
                                std::function<void(pid_t, const std::string&)> onOutput = {}) {
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

}  // namespace oskelon::test
