// The stability test: workers that run the chosen size over and over, each pinned to its own
// CPU, every run verified, until the loops are done, the time budget is spent, a run goes wrong
// or the user stops the test; one line per finished run and a per-CPU summary.
#pragma once

#include "cli/stability_plan.h"

namespace oskelon {

// A test seam: make runs go wrong after an iteration, as an unstable core would; only on one
// CPU and only in one run when those are given.
struct FaultInjection {
    int afterIteration = 0;  // 0: no fault
    int cpu = -1;            // -1: every worker
    long long run = 0;       // 0: every run
};

// Runs the planned test in the current directory: worker k writes cpu<N>/pi.dat for its CPU N.
// The calling thread waits in an InterruptWaiter; an interruption (Ctrl+C, SIGTERM) stops every
// worker. Returns the runner's exit code: 0 every run verified, 1 a working set not
// obtained, 2 a worker that could not be pinned, 3 a pi.dat not written, 4 a wrong result (it
// wins over the others), 130 interrupted.
int runStabilityTest(const StabilityPlan& plan, bool jsonLines, const FaultInjection& fault);

// The whole command: plans the test from the arguments (a usage error exits with 2), checks the
// memory of all workers against the available memory (exit 1 when it does not fit) and runs it.
// Reads the test seams OSKELON_INJECT_ERROR_AFTER_ITERATION, OSKELON_INJECT_ERROR_CPU,
// OSKELON_INJECT_ERROR_RUN and OSKELON_MEMINFO (a meminfo file instead of the system's
// available memory, on every platform).
int runStabilityCommand(const StabilityArguments& arguments, int sizeIndex, bool jsonLines);

}  // namespace oskelon
