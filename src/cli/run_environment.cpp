#include "cli/run_environment.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fft/fft_path.h"

namespace oskelon {
namespace {

struct SeamInfo {
    const char* name;
    const char* effect;  // what the run does instead; the value follows it
};

constexpr std::array<SeamInfo, 6> kSeams = {{
    {"OSKELON_INJECT_ERROR_AFTER_ITERATION", "the result is made wrong after iteration"},
    {"OSKELON_INJECT_ERROR_CPU", "the injected error comes only on CPU"},
    {"OSKELON_INJECT_ERROR_RUN", "the injected error comes only in run"},
    {"OSKELON_FAIL_ALLOCATION_SLOT", "the allocation fails at working-set slot"},
    {"OSKELON_MEMINFO", "the available memory is read from"},
    {"OSKELON_FAIL_THREAD_START", "the threads of a multi-threaded run fail to start; value"},
}};

std::array<bool, kSeams.size()> announced{};

}  // namespace

std::optional<std::string> testSeamText(TestSeam seam) {
    const std::size_t index = static_cast<std::size_t>(seam);
    const SeamInfo& info = kSeams[index];
    const char* value = std::getenv(info.name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    if (!announced[index]) {
        announced[index] = true;
        std::fprintf(stderr, "oskelon-cli: test seam %s=%s is active: %s %s\n", info.name, value,
                     info.effect, value);
    }
    return std::string(value);
}

std::optional<int> testSeamNumber(TestSeam seam) {
    const std::optional<std::string> text = testSeamText(seam);
    if (!text) return std::nullopt;
    return std::atoi(text->c_str());
}

std::optional<std::string> fftPathNotice() {
    const char* value = std::getenv("OSKELON_FFT_PATH");
    const char* active = fftPathName(activeFftPath());
    if (value == nullptr || std::strcmp(value, active) == 0) return std::nullopt;
    std::string names;
    bool known = false;
    for (FftPath path : kAllFftPaths) {
        names += std::string(names.empty() ? "" : ", ") + fftPathName(path);
        known = known || std::strcmp(value, fftPathName(path)) == 0;
    }
    const std::string setting = std::string("OSKELON_FFT_PATH=") + value;
    if (known) return setting + " is a transform path this CPU cannot run; using " + active;
    return setting + " is not a transform path (" + names + "); using " + active;
}

}  // namespace oskelon
