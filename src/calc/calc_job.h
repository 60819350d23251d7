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
#include <memory>
#include <string>
#include <vector>

#include "calc/interval_clock.h"
#include "calc/job_host.h"
#include "calc/os_version.h"
#include "calc/pi_verifier.h"
#include "calc/result_code.h"
#include "calc/stop_token.h"
#include "parallel/work_pool.h"

namespace oskelon {

// Exit codes of a run.
enum JobExit : unsigned {
    kJobComplete = 0,           // pi computed, file written, record updated
    kJobAllocationFailure = 1,  // the working set could not be obtained
    kJobStopped = 2,            // a stop request ended the run; nothing more was written
    kJobOutputFailed = 3,       // completed, but "pi.dat" could not be written
    kJobInvalidSize = 4,        // no size selected
};

// One AGM iteration of a run: its number (the loop line), the milliseconds since the formula
// started and the checkpoint digest of a, b and t after it.
struct IterationRecord {
    int number = 0;
    double milliseconds = 0;
    std::uint64_t digest = 0;
    bool checkpointKnown = false;  // a known-good digest exists for this iteration
    bool checkpointMatches = true;
};

struct JobOptions {
    std::string outputFile = "pi.dat";                      // replaced by every completed run
    std::function<OsVersion()> osVersion = queryOsVersion;  // the code's version data
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };  // whole seconds
    // Called after every iteration, on the job's thread (progress events for scripts).
    std::function<void(const IterationRecord&)> onIteration;
    // Measurement and test seams: 1..4 imposes the digits per word instead of the radix test's
    // choice; a positive value changes one word of t after that iteration, as a failing machine
    // would.
    int forcedDigitsPerWord = 0;
    int corruptAfterIteration = 0;
    // Threads of the arithmetic. 1 (or less) is the classic run: no pool at all. More start a
    // WorkPool with the working set; its results are the same bits, its records kept apart.
    int threads = 1;
    // Called first on each of the pool's workers with its index 1 .. threads-1 (to name or pin
    // it); must not throw.
    WorkPool::WorkerStart onWorkerStart;
    // Test seam: makes the pool instead of the WorkPool constructor (to make a thread fail to
    // start, by throwing std::system_error).
    std::function<std::unique_ptr<WorkPool>(int threads, WorkPool::WorkerStart)> makePool;
};

class CalcJob {
  public:
    CalcJob(JobHost& host, StopToken& stop, JobOptions options = {});

    // Runs the job to its end (or its stop) on the calling thread.
    unsigned run();

    // The values of the last run, for the host's status display.
    int sizeIndex() const { return sizeIndex_; }
    int digitsPerWord() const { return digitsPerWord_; }
    int threads() const { return threads_; }  // of the arithmetic, 1 for the classic run
    std::uint32_t totalSeconds() const { return totalSeconds_; }
    ResultCode resultCode() const { return resultCode_; }
    const std::string& osText() const { return osText_; }
    // The same interval as the whole-second total, measured with the steady clock.
    double totalMilliseconds() const { return totalMilliseconds_; }
    const ClockCheck& clockCheck() const { return clockCheck_; }
    const std::vector<IterationRecord>& iterations() const { return iterations_; }
    // The first iteration whose checkpoint differed from the known-good one; 0 when none did.
    int firstWrongIteration() const { return firstWrongIteration_; }
    // Whether known-good checkpoints existed for this run's size and digits per word.
    bool checkpointsKnown() const { return checkpointsKnown_; }
    const DigitsVerdict& digitsVerdict() const { return digitsVerdict_; }
    // The run's result is right: its digits verified and every known checkpoint matched.
    bool verified() const { return digitsVerdict_.verified() && firstWrongIteration_ == 0; }
    // One line for people: the digits verdict, or the first iteration that went wrong.
    std::string verdictText() const;

    // The AGM iterations a size takes at four digits per word (the loop lines of its log): the
    // correct digits double with every iteration, and so does the count that stops the loop.
    static int expectedIterations(int sizeIndex) { return 10 + sizeIndex; }

  private:
    class FormulaSteps;

    unsigned runSteps();
    unsigned allocationFailure();
    void progress(const std::string& listLine, const std::string& text);
    void checkStop() const;
    void enableButtons(bool stopOn, bool othersOn);
    bool writeDigits(const char* text);

    JobHost& host_;
    StopToken& stop_;
    JobOptions options_;
    int sizeIndex_ = -1;
    int digitsPerWord_ = 0;
    int threads_ = 1;
    std::uint32_t totalSeconds_ = 0;
    ResultCode resultCode_ = 0;
    std::string osText_;
    double totalMilliseconds_ = 0;
    ClockCheck clockCheck_;
    std::vector<IterationRecord> iterations_;
    int firstWrongIteration_ = 0;
    bool checkpointsKnown_ = false;
    DigitsVerdict digitsVerdict_;
};

}  // namespace oskelon
