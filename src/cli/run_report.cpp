#include "cli/run_report.h"

#include <fstream>

#include "calc/digest.h"
#include "calc/sizes.h"
#include "cli/size_argument.h"
#include "fft/fft_path.h"
#include "oskelon_version.h"

namespace oskelon {

std::string cpuModelName() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) != 0) continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) break;
        std::size_t start = colon + 1;
        while (start < line.size() && line[start] == ' ') ++start;
        return line.substr(start);
    }
    return {};
}

std::string transformPathName() {
    return fftPathName(activeFftPath());
}

nlohmann::json progressEvent(const std::string& kind) {
    return {{"event", kind}};
}

nlohmann::json runReport(const CalcJob& job, int exitCode, bool outputWritten) {
    using nlohmann::json;
    const DigitsVerdict& v = job.digitsVerdict();
    json iterations = json::array();
    for (const IterationRecord& r : job.iterations()) {
        iterations.push_back({{"number", r.number},
                              {"milliseconds", r.milliseconds},
                              {"digest", toHex(r.digest)},
                              {"checkpoint", !r.checkpointKnown    ? "unknown"
                                             : r.checkpointMatches ? "ok"
                                                                   : "mismatch"}});
    }
    const ClockCheck& clock = job.clockCheck();
    const char* status = "verified";
    if (v.status == DigitsVerdict::Status::Wrong || job.firstWrongIteration() != 0)
        status = "wrong";
    else if (v.status != DigitsVerdict::Status::Verified)
        status = "unchecked";
    return {
        {"program", "oskelon-cli"},
        {"version", OSKELON_VERSION},
        {"size",
         {{"index", job.sizeIndex()},
          {"name", sizeCommonName(job.sizeIndex())},
          {"displayName", sizeDisplayName(job.sizeIndex())}}},
        {"digits", v.digits},
        {"digitsPerWord", job.digitsPerWord()},
        {"threads", job.threads()},
        {"cpu", cpuModelName()},
        {"transformPath", transformPathName()},
        {"os", job.osText()},
        {"iterations", iterations},
        {"totalMilliseconds", job.totalMilliseconds()},
        {"totalSeconds", job.totalSeconds()},
        {"clockCheck",
         {{"steadyMilliseconds", clock.steadyMs},
          {"rawMonotonicMilliseconds", clock.rawMs},
          {"realtimeMilliseconds", clock.realtimeMs},
          {"drift", clock.drift},
          {"limit", kMaxClockDrift},
          {"verified", clock.verified}}},
        {"code", formatResultCode(job.resultCode())},
        {"verdict",
         {{"status", status},
          {"text", job.verdictText()},
          {"checkedDigits", v.checkedDigits},
          {"firstWrongIteration", job.firstWrongIteration()},
          {"checkpointsKnown", job.checkpointsKnown()},
          {"firstWrongDigitFrom", v.firstWrongFrom},
          {"firstWrongDigitTo", v.firstWrongTo}}},
        {"piDatWritten", outputWritten},
        {"exitCode", exitCode},
    };
}

}  // namespace oskelon
