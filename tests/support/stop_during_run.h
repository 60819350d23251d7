// A stop requested from another thread while a job runs: how long the job took to end after the
// request, and whether anything but the call in progress reached the host afterwards.
#pragma once

#include <chrono>
#include <cstddef>
#include <thread>

#include "calc/calc_job.h"
#include "calc/stop_token.h"
#include "support/recording_host.h"

namespace oskelon::test {

struct StopOutcome {
    unsigned exit = 0;            // what run() returned
    double latency = 0.0;         // seconds from the request to the job's end
    bool quietAfterStop = false;  // at most the call in progress arrived after the request
};

// Runs job on a thread of its own, requests the stop after delay and waits for the job to end.
inline StopOutcome stopDuringRun(CalcJob& job, StopToken& stop, RecordingHost& host,
                                 std::chrono::milliseconds delay) {
    StopOutcome out;
    std::thread worker([&] { out.exit = job.run(); });
    std::this_thread::sleep_for(delay);
    const auto requested = std::chrono::steady_clock::now();
    stop.requestStop();
    const std::size_t callsAtStop = host.callCount();
    worker.join();
    out.latency =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - requested).count();
    out.quietAfterStop = host.callCount() <= callsAtStop + 1;
    return out;
}

}  // namespace oskelon::test
