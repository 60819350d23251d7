// The machine-readable report of a run (--json) and the progress events (--json-lines).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "calc/calc_job.h"

namespace oskelon {

// The processor's model name, as the system reports it ("" when unknown).
std::string cpuModelName();
// The transform path the arithmetic runs on.
std::string transformPathName();

// The report of a finished run: program, size, digits, timing, clock check, code, verdict and
// digests. exitCode is the runner's exit code for the run.
nlohmann::json runReport(const CalcJob& job, int exitCode, bool outputWritten);

// One progress event: {"event": kind, ...fields}.
nlohmann::json progressEvent(const std::string& kind);

}  // namespace oskelon
