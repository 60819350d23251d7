// The environment variables that change what a run of the runner does, and the lines on the
// error stream that say so: a stray variable never changes a user's run unannounced.
#pragma once

#include <optional>
#include <string>

namespace oskelon {

// Test seams: variables that deliberately change a run so that the tests can reach its faults.
enum class TestSeam {
    InjectErrorAfterIteration,  // OSKELON_INJECT_ERROR_AFTER_ITERATION: wrong after iteration N
    InjectErrorCpu,             // OSKELON_INJECT_ERROR_CPU: that error only on CPU N
    InjectErrorRun,             // OSKELON_INJECT_ERROR_RUN: that error only in run N
    FailAllocationSlot,         // OSKELON_FAIL_ALLOCATION_SLOT: the allocation of slot N fails
    Meminfo,                    // OSKELON_MEMINFO: the available memory read from that file
    FailThreadStart             // OSKELON_FAIL_THREAD_START: a run's threads cannot be started
};

// The seam's value, or nullopt when its variable is unset or empty. A value found is announced
// on the error stream, one line per seam and process ("oskelon-cli: test seam
// OSKELON_MEMINFO=/tmp/m is active: ..."). Called from the main thread only.
std::optional<std::string> testSeamText(TestSeam seam);
// As testSeamText, the value read as a number as atoi does.
std::optional<int> testSeamNumber(TestSeam seam);

// The line for the error stream when OSKELON_FFT_PATH is set but the transform path in use is
// not the one it names (an unknown name, or a path this CPU cannot run); nullopt otherwise.
std::optional<std::string> fftPathNotice();

}  // namespace oskelon
