// A cooperative stop for long arithmetic.
//
// A thread that runs a long computation installs a stop flag; the engine polls it before every
// transform (so at most one transform and one linear pass run after a request) and throws
// MpInterrupted when it is set. The arithmetic holds no resources of its own, so unwinding
// through it leaves nothing behind; the caller's numbers are then in an unspecified state.
#pragma once

#include <atomic>
#include <exception>

namespace oskelon {

class MpInterrupted : public std::exception {
  public:
    const char* what() const noexcept override { return "computation stopped"; }
};

// Installs flag as this thread's stop flag (nullptr removes it).
void mpSetInterruptFlag(const std::atomic<bool>* flag) noexcept;

// Throws MpInterrupted when this thread's stop flag is set.
void mpCheckInterrupt();

// Installs a flag for the lifetime of the scope.
class MpInterruptScope {
  public:
    explicit MpInterruptScope(const std::atomic<bool>* flag) noexcept { mpSetInterruptFlag(flag); }
    ~MpInterruptScope() { mpSetInterruptFlag(nullptr); }
    MpInterruptScope(const MpInterruptScope&) = delete;
    MpInterruptScope& operator=(const MpInterruptScope&) = delete;
};

}  // namespace oskelon
