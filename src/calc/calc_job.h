// CalcJob: one run of the pi computation against a JobHost.
//
// The job reads the size once, allocates its working set into the host's slots, chooses the
// digits per word from the radix test, runs the AGM iteration with progress lines, writes all
// digits to "pi.dat", shows the result code and updates the size's record. It talks to the
// outside only through the host, the records store and the output file.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "calc/job_host.h"
#include "calc/os_version.h"
#include "calc/stop_token.h"

namespace oskelon {

// Exit codes of a run.
enum JobExit : unsigned {
    kJobComplete = 0,           // pi computed, file written, record updated
    kJobAllocationFailure = 1,  // the working set could not be obtained
    kJobStopped = 2,            // a stop request ended the run; nothing more was written
    kJobOutputFailed = 3,       // completed, but "pi.dat" could not be written
    kJobInvalidSize = 4,        // no size selected
};

struct JobOptions {
    std::string outputFile = "pi.dat";                      // replaced by every completed run
    std::function<OsVersion()> osVersion = queryOsVersion;  // the code's version data
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };  // whole seconds
};

class CalcJob {
  public:
    CalcJob(JobHost& host, StopToken& stop, JobOptions options = {});

    // Runs the job to its end (or its stop) on the calling thread.
    unsigned run();

    // The values of the last run, for the host's status display.
    int sizeIndex() const { return sizeIndex_; }
    int digitsPerWord() const { return digitsPerWord_; }
    std::uint32_t totalSeconds() const { return totalSeconds_; }
    // The same interval as the whole-second total, measured with the steady clock.
    double totalMilliseconds() const { return totalMilliseconds_; }

    // The AGM iterations a size takes at four digits per word (the loop lines of its log): the
    // correct digits double with every iteration, and so does the count that stops the loop.
    static int expectedIterations(int sizeIndex) { return 10 + sizeIndex; }

  private:
    unsigned runSteps();
    void progress(const std::string& listLine, const std::string& text);
    void checkStop() const;
    void enableButtons(bool stopOn, bool othersOn);
    bool writeDigits(const char* text);

    JobHost& host_;
    StopToken& stop_;
    JobOptions options_;
    int sizeIndex_ = -1;
    int digitsPerWord_ = 0;
    std::uint32_t totalSeconds_ = 0;
    double totalMilliseconds_ = 0;
};

}  // namespace oskelon
