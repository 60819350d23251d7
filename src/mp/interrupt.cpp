#include "mp/interrupt.h"

namespace oskelon {
namespace {
thread_local const std::atomic<bool>* interruptFlag = nullptr;
}

void mpSetInterruptFlag(const std::atomic<bool>* flag) noexcept {
    interruptFlag = flag;
}

void mpCheckInterrupt() {
    if (interruptFlag != nullptr && interruptFlag->load(std::memory_order_relaxed))
        throw MpInterrupted();
}

}  // namespace oskelon
