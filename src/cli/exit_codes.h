// The runner's exit codes, the same for single runs and stability tests.
#pragma once

namespace oskelon {

inline constexpr int kExitOk = 0;             // verified
inline constexpr int kExitAllocation = 1;     // out of memory
inline constexpr int kExitUsage = 2;          // bad arguments, or a file verify cannot read
inline constexpr int kExitOutput = 3;         // pi.dat, a requested report or standard output
                                              // not written
inline constexpr int kExitWrong = 4;          // a wrong result, or a file that is no result
inline constexpr int kExitInterrupted = 130;  // Ctrl+C or SIGTERM

}  // namespace oskelon
