#include "calc/calc_job.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "calc/checkpoints.h"
#include "calc/digest.h"
#include "calc/output_file.h"
#include "calc/radix_choice.h"
#include "calc/record_update.h"
#include "calc/result_code.h"
#include "calc/sizes.h"
#include "mp/decimal.h"
#include "mp/elementary.h"
#include "mp/interrupt.h"
#include "mp/newton.h"
#include "mp/products.h"
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

unsigned CalcJob::runSteps() {
    host_.ClearResultText();
    checkStop();
    sizeIndex_ = host_.SelectedSizeIndex();
    if (sizeIndex_ < 0 || sizeIndex_ >= kSizeCount) {
        enableButtons(false, true);
        return kJobInvalidSize;
    }
    const int sizeIndex = sizeIndex_;
    progress("initializing...", "initializing...\r\n");
    const int fftLength = transformLengthFor(requestedLength(sizeIndex));
    const int wc = fftLength + 2;

    // The working set: six numbers, then three transform arrays, each in its own slot.
    WorkingSet& ws = host_.workingSet();
    for (int slot = 0; slot < WorkingSet::kSlots; ++slot) {
        const std::size_t bytes = slot < WorkingSet::kNumbers
                                      ? mpNumberBytes(wc)
                                      : sizeof(double) * static_cast<std::size_t>(wc);
        if (!ws.allocate(slot, bytes)) {
            ws.releaseAll();
            enableButtons(false, true);
            checkStop();
            host_.ShowAppMessage("Allocation Failure!");
            return kJobAllocationFailure;
        }
    }
    checkStop();
    host_.EnableButton(MainButton::Stop, true);

    MpNumber& a = ws.num(0);
    MpNumber& b = ws.num(1);
    MpNumber& t = ws.num(2);
    MpNumber& c = ws.num(3);
    MpNumber& w4 = ws.num(4);
    MpNumber& w5 = ws.num(5);
    double* d0 = ws.dbl(0);
    double* d1 = ws.dbl(1);
    double* d2 = ws.dbl(2);

    RadixChoice choice = chooseRadix(wc, fftLength, d0);
    if (options_.forcedDigitsPerWord >= 1 && options_.forcedDigitsPerWord <= 4) {
        choice.digitsPerWord = options_.forcedDigitsPerWord;
        choice.radix = 1;
        for (int k = 0; k < choice.digitsPerWord; ++k) choice.radix *= 10;
    }
    const int radix = choice.radix;
    digitsPerWord_ = choice.digitsPerWord;
    const int dpw = choice.digitsPerWord;
    int knownCount = 0;
    const std::uint64_t* known = knownCheckpoints(sizeIndex, dpw, knownCount);
    checkpointsKnown_ = knownCount > 0;

    const unsigned memoryKb = static_cast<unsigned>(fftLength) * 36u / 1024u;
    const std::string memoryLine = format("use memory %d KB", memoryKb);
    progress(memoryLine, memoryLine + "\r\n");
    const std::string digitsLine = format("calculating PI in %d digits...", fftLength * dpw);
    progress(digitsLine, digitsLine + "\r\n\r\n");
    checkStop();
    host_.AddListLine("");
    const std::time_t t0 = options_.clock();
    const IntervalClock timer;
    auto elapsed = [&] { return std::difftime(options_.clock(), t0); };

    // The AGM of 1 and 1/sqrt(2) on scaled squares; the first two iterations in closed form.
    mpInvSqrtSmall(wc, radix, 8, t, w4, w5, fftLength, d0, d1);  // t = 1/sqrt(8)
    checkStop();
    mpMulSmall(wc, radix, t, 3, c);  // c = 3/sqrt(8)
    mpFromText(wc, dpw, "1", a);
    mpAdd(wc, radix, a, c, a);                           // a = 1 + 3/sqrt(8)
    mpSqrt(wc, radix, a, b, w4, w5, fftLength, d0, d1);  // b = s = sqrt(1 + 3/sqrt(8))
    checkStop();
    mpFromText(wc, dpw, "0.625", c);
    mpSub(wc, radix, b, c, c);  // c = s - 0.625
    mpAdd(wc, radix, b, b, b);  // b = 2s = b_2
    mpSub(wc, radix, c, t, t);  // t = s - 0.625 - 1/sqrt(8) = t_2
    mpAdd(wc, radix, a, c, a);  // a = 3/8 + 3/sqrt(8) + s = a_2
    std::int32_t p = 4;
    {
        const double s = elapsed();
        progress(format("AGM iteration past %g sec", s),
                 format("AGM iteration \tpast %g sec", s) + "\r\n");
    }

    for (int counter = 1;; ++counter) {
        p *= 2;
        mpAdd(wc, radix, a, b, c);
        mpHalve(wc, radix, c, c);                              // c = (a + b)/2
        mpMul(wc, radix, a, b, a, w4, fftLength, d0, d1, d2);  // a = ab
        mpSqrt(wc, radix, a, b, w4, w5, fftLength, d0, d1);    // b = sqrt(ab)
        checkStop();
        mpSub(wc, radix, c, b, c);  // c = (a + b)/2 - sqrt(ab)
        mpAdd(wc, radix, b, b, b);  // b' = 2 sqrt(ab)
        mpSub(wc, radix, t, c, t);  // t' = t - c
        mpAdd(wc, radix, c, b, a);  // a' = c + 2 sqrt(ab)
        if (counter == options_.corruptAfterIteration) t.words()[wc / 2] ^= 1;
        {
            IterationRecord record;
            record.number = counter;
            record.milliseconds = timer.elapsedMs();
            record.digest = iterationDigest(wc, a, b, t);
            record.checkpointKnown = counter <= knownCount;
            record.checkpointMatches =
                !record.checkpointKnown || known[counter - 1] == record.digest;
            if (!record.checkpointMatches && firstWrongIteration_ == 0)
                firstWrongIteration_ = counter;
            iterations_.push_back(record);
            if (options_.onIteration) options_.onIteration(record);
        }
        const int gap = c.sign == 0 ? wc : -c.exponent;
        const double s = elapsed();
        // The list pads the count to 12 characters for one digit and to 11 for two.
        progress(
            format(counter < 10 ? "loop %-12dpast %g sec" : "loop %-11dpast %g sec", counter, s),
            format("loop %d\t\tpast %g sec", counter, s) + "\r\n");
        if (4 * gap > wc) break;
    }

    // pi = (h s - 3c^2/8) / ((h t - c^2/4) p), s = a + b and h its leading half.
    mpHalve(wc, radix, c, c);                                  // c/2
    mpSquare(wc, radix, c, c, fftLength, d0);                  // c^2/4
    mpAdd(wc, radix, a, b, a);                                 // s
    mpMulKeep(wc, radix, a, t, t, w4, fftLength, d0, d1);      // h t; d0 keeps h
    mpSub(wc, radix, t, c, t);                                 // h t - c^2/4
    mpReciprocal(wc, radix, t, b, w4, w5, fftLength, d1, d2);  // 1/(h t - c^2/4); d0 untouched
    checkStop();
    mpSquareKept(wc, radix, d0, a, a, w4, fftLength, d1);  // h s
    mpSub(wc, radix, a, c, a);                             // h s - c^2/4
    mpHalve(wc, radix, c, c);                              // c^2/8
    mpSub(wc, radix, a, c, a);                             // h s - 3c^2/8
    mpMul(wc, radix, a, b, a, w4, fftLength, d0, d1, d2);  // the quotient
    mpDivSmall(wc, radix, a, p, a);                        // pi
    checkStop();

    const double total = elapsed();
    clockCheck_ = timer.check();
    totalMilliseconds_ = clockCheck_.steadyMs;
    host_.AddListLine("");
    {
        const std::string line = format("total %g sec.", total);
        progress(line, "\r\n" + line + "\r\n");
    }

    // The digit text goes into the storage of the first transform array, free by now.
    char* text = reinterpret_cast<char*>(ws.bytes(WorkingSet::kNumbers + 0));
    mpToText(wc - 1, dpw, a, text);
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
        stop_.runUnlessStopped([&] { updateRecord(key, sizeIndex, totalSeconds_, code, version); });
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
