#include "calc/calc_job.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <system_error>

#include "calc/agm_formula.h"
#include "calc/checkpoints.h"
#include "calc/digest.h"
#include "calc/output_file.h"
#include "calc/radix_choice.h"
#include "calc/record_update.h"
#include "calc/result_code.h"
#include "calc/sizes.h"
#include "mp/decimal.h"
#include "mp/interrupt.h"
#include "records/store_notice.h"

namespace oskelon {
namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// The smallest power of two, at least 2, not below the requested length.
int transformLengthFor(int requested) {
    int n = 2;
    while (n < requested) n *= 2;
    return n;
}

}  // namespace

CalcJob::CalcJob(JobHost& host, StopToken& stop, JobOptions options)
    : host_(host), stop_(stop), options_(std::move(options)) {}

unsigned CalcJob::run() {
    MpInterruptScope interruptible(stop_.flag());
    try {
        return runSteps();
    } catch (const MpInterrupted&) {
        // The host frees what the working set still holds once this thread has ended.
        return kJobStopped;
    }
}

void CalcJob::checkStop() const {
    if (stop_.stopRequested()) throw MpInterrupted();
}

void CalcJob::enableButtons(bool stopOn, bool othersOn) {
    checkStop();
    host_.EnableButton(MainButton::Stop, stopOn);
    checkStop();
    host_.EnableButton(MainButton::Copy, othersOn);
    checkStop();
    host_.EnableButton(MainButton::Calc, othersOn);
    checkStop();
    host_.EnableButton(MainButton::Record, othersOn);
}

void CalcJob::progress(const std::string& listLine, const std::string& text) {
    checkStop();
    host_.AddListLine(listLine);
    checkStop();
    host_.AppendResultText(text);
}

// The job's side of the formula: the stop checks, and after every iteration its checkpoint
// digest and its progress line. The clocks start when it is made, just before the formula.
class CalcJob::FormulaSteps final : public AgmSteps {
  public:
    FormulaSteps(CalcJob& job, const AgmStorage& storage)
        : job_(job), storage_(storage), t0_(job.options_.clock()) {
        known_ = knownCheckpoints(job.sizeIndex_, storage.digitsPerWord, knownCount_);
        job.checkpointsKnown_ = knownCount_ > 0;
    }

    // Whole seconds since the formula started, by the job's clock.
    double elapsedSeconds() const { return std::difftime(job_.options_.clock(), t0_); }

    // The steady clock's and the other clocks' account of the same interval.
    ClockCheck clockCheck() const { return timer_.check(); }

    void pollStop() override { job_.checkStop(); }

    void started() override {
        const double s = elapsedSeconds();
        job_.progress(format("AGM iteration past %g sec", s),
                      format("AGM iteration \tpast %g sec", s) + "\r\n");
    }

    void iterated(int n) override {
        const int wc = storage_.wordCount;
        if (n == job_.options_.corruptAfterIteration) storage_.t.words()[wc / 2] ^= 1;
        IterationRecord record;
        record.number = n;
        record.milliseconds = timer_.elapsedMs();
        record.digest = iterationDigest(wc, storage_.a, storage_.b, storage_.t);
        record.checkpointKnown = n <= knownCount_;
        record.checkpointMatches = !record.checkpointKnown || known_[n - 1] == record.digest;
        if (!record.checkpointMatches && job_.firstWrongIteration_ == 0)
            job_.firstWrongIteration_ = n;
        job_.iterations_.push_back(record);
        if (job_.options_.onIteration) job_.options_.onIteration(record);
        const double s = elapsedSeconds();
        // The list pads the count to 12 characters for one digit and to 11 for two.
        job_.progress(format(n < 10 ? "loop %-12dpast %g sec" : "loop %-11dpast %g sec", n, s),
                      format("loop %d\t\tpast %g sec", n, s) + "\r\n");
    }

  private:
    CalcJob& job_;
    const AgmStorage& storage_;
    const std::time_t t0_;
    const IntervalClock timer_;  // the same interval, by the steady clock
    const std::uint64_t* known_ = nullptr;
    int knownCount_ = 0;
};

unsigned CalcJob::runSteps() {
    host_.ClearResultText();
    checkStop();
    sizeIndex_ = host_.SelectedSizeIndex();
    if (sizeIndex_ < 0 || sizeIndex_ >= kSizeCount) {
        enableButtons(false, true);
        return kJobInvalidSize;
    }
    const int sizeIndex = sizeIndex_;
    threads_ = options_.threads > 1 ? options_.threads : 1;
    progress("initializing...", "initializing...\r\n");
    const int fftLength = transformLengthFor(requestedLength(sizeIndex));
    const int wc = fftLength + 2;

    // The working set: six numbers, then three transform arrays, each in its own slot.
    WorkingSet& ws = host_.workingSet();
    for (int slot = 0; slot < WorkingSet::kSlots; ++slot) {
        const std::size_t bytes = slot < WorkingSet::kNumbers
                                      ? mpNumberBytes(wc)
                                      : sizeof(double) * static_cast<std::size_t>(wc);
        if (!ws.allocate(slot, bytes)) return allocationFailure();
    }
    // The threads of a multi-threaded run start with the working set: a thread that cannot be
    // started is memory that cannot be had. One thread: no pool at all, the classic run.
    std::unique_ptr<WorkPool> pool;
    if (threads_ > 1) {
        try {
            pool = options_.makePool ? options_.makePool(threads_, options_.onWorkerStart)
                                     : std::make_unique<WorkPool>(threads_, options_.onWorkerStart);
        } catch (const std::system_error&) {
            return allocationFailure();
        } catch (const std::bad_alloc&) {
            return allocationFailure();
        }
    }
    // The arithmetic of this thread spreads its steps over the pool (none: in order, here).
    const ActivePoolScope poolScope(pool.get());
    checkStop();
    host_.EnableButton(MainButton::Stop, true);

    RadixChoice choice = chooseRadix(wc, fftLength, ws.dbl(0));
    if (options_.forcedDigitsPerWord >= 1 && options_.forcedDigitsPerWord <= 4) {
        choice.digitsPerWord = options_.forcedDigitsPerWord;
        choice.radix = 1;
        for (int k = 0; k < choice.digitsPerWord; ++k) choice.radix *= 10;
    }
    digitsPerWord_ = choice.digitsPerWord;
    const int dpw = choice.digitsPerWord;
    const AgmStorage storage{wc,        choice.radix, dpw,       fftLength, ws.num(0),
                             ws.num(1), ws.num(2),    ws.num(3), ws.num(4), ws.num(5),
                             ws.dbl(0), ws.dbl(1),    ws.dbl(2)};

    const unsigned memoryKb = static_cast<unsigned>(fftLength) * 36u / 1024u;
    const std::string memoryLine = format("use memory %d KB", memoryKb);
    progress(memoryLine, memoryLine + "\r\n");
    const std::string digitsLine = format("calculating PI in %d digits...", fftLength * dpw);
    if (threads_ > 1) {
        // A multi-threaded run says so in its log; the blank line still ends the plan.
        progress(digitsLine, digitsLine + "\r\n");
        const std::string threadsLine = format("use %d threads", threads_);
        progress(threadsLine, threadsLine + "\r\n\r\n");
    } else {
        progress(digitsLine, digitsLine + "\r\n\r\n");
    }
    checkStop();
    host_.AddListLine("");

    // The timed region: the formula alone, from the closed-form start to the division that gives
    // pi, with its progress lines and checkpoint digests; not the working set, the radix choice,
    // the digit text or the output.
    FormulaSteps steps(*this, storage);
    agmPi(storage, steps);
    checkStop();

    const double total = steps.elapsedSeconds();
    clockCheck_ = steps.clockCheck();
    totalMilliseconds_ = clockCheck_.steadyMs;
    host_.AddListLine("");
    {
        const std::string line = format("total %g sec.", total);
        progress(line, "\r\n" + line + "\r\n");
    }

    // The digit text goes into the storage of the first transform array, free by now.
    char* text = reinterpret_cast<char*>(ws.bytes(WorkingSet::kNumbers + 0));
    mpToText(wc - 1, dpw, storage.a, text);
    checkStop();
    digitsVerdict_ = verifyPiDigits(text + 2, static_cast<std::size_t>(fftLength) * dpw);
    const bool written = writeDigits(text);

    for (int slot = WorkingSet::kSlots - 1; slot >= 0; --slot) ws.release(slot);

    totalSeconds_ = static_cast<std::uint32_t>(total);
    const OsVersion version = options_.osVersion();
    const ResultCode code = computeResultCode(sizeIndex, totalSeconds_, version);
    resultCode_ = code;
    osText_ = osDescription(version);
    {
        const std::string line = "Code " + formatResultCode(code);
        progress(line, line + "\r\n");
    }
    // A result that failed verification is shown with its code but never becomes a record: a
    // machine that computes wrongly must not hold the best time.
    RegistryKey key;
    const bool wrong =
        firstWrongIteration_ != 0 || digitsVerdict_.status == DigitsVerdict::Status::Wrong;
    if (!wrong) {
        stop_.runUnlessStopped(
            [&] { updateRecord(key, sizeIndex, totalSeconds_, code, version, threads_); });
    }
    if (const std::string notice = takeStoreNotice(); !notice.empty()) {
        checkStop();
        host_.ShowError(notice);
    }
    checkStop();

    enableButtons(false, true);
    checkStop();
    host_.ShowMessage("end of calculating");
    key.Close();
    return written ? kJobComplete : kJobOutputFailed;
}

// The working set (or a thread) could not be had: everything obtained is freed once, the
// buttons are as at the end of a run, and the message is shown.
unsigned CalcJob::allocationFailure() {
    host_.workingSet().releaseAll();
    enableButtons(false, true);
    checkStop();
    host_.ShowAppMessage("Allocation Failure!");
    return kJobAllocationFailure;
}

std::string CalcJob::verdictText() const {
    if (firstWrongIteration_ != 0) {
        return "WRONG: iteration " + std::to_string(firstWrongIteration_) +
               " differs from its known-good checkpoint; " + describeVerdict(digitsVerdict_);
    }
    return describeVerdict(digitsVerdict_);
}

// Writes the digit text and the platform's line end (a text file's: LF, CR LF on Windows) to the
// output file through a temporary file in the same directory, so that a failed write never
// leaves a truncated file nor destroys the previous one.
bool CalcJob::writeDigits(const char* text) {
    OutputFile file(options_.outputFile);
    bool ok = file.open();
    if (ok) {
        progress("writing pi.dat...", "writing pi.dat...\r\n");
        const char* lineEnd = OutputFile::textLineEnd();
        ok = file.write(text, std::strlen(text)) && file.write(lineEnd, std::strlen(lineEnd)) &&
             file.finish();
    }
    if (ok) {
        bool committed = false;
        stop_.runUnlessStopped([&] { committed = file.commit(); });
        checkStop();
        ok = committed;
    }
    if (!ok) {
        checkStop();
        host_.ShowError("Cannot write " + options_.outputFile + ": " + file.error());
    }
    return ok;
}

}  // namespace oskelon
