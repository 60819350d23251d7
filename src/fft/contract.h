// OSKELON_ASSERT(condition): a contract that a comment states, checked where the build asks for
// it (OSKELON_CHECK_CONTRACTS: the debug and sanitizer builds) and compiled out of release builds,
// whose speed and results it must not change. A broken contract names itself and aborts.
#pragma once

#ifdef OSKELON_CHECK_CONTRACTS
#include <cstdio>
#include <cstdlib>

namespace oskelon::detail {

[[noreturn]] inline void contractBroken(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: contract broken: %s\n", file, line, condition);
    std::abort();
}

}  // namespace oskelon::detail

#define OSKELON_ASSERT(condition) \
    ((condition) ? void(0) : ::oskelon::detail::contractBroken(#condition, __FILE__, __LINE__))
#else
#define OSKELON_ASSERT(condition) ((void)0)
#endif
