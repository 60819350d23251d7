// The runner's exit codes, the same for single runs and stability tests.
#pragma once

namespace oskelon {

inline constexpr int kExitOk = 0;             // verified
inline constexpr int kExitAllocation = 1;     // out of memory
inline constexpr int kExitUsage = 2;          // bad arguments
inline constexpr int kExitOutput = 3;         // pi.dat (or a requested report) not written
inline constexpr int kExitWrong = 4;          // a wrong result
inline constexpr int kExitInterrupted = 130;  // Ctrl+C or SIGTERM

}  // namespace oskelon
