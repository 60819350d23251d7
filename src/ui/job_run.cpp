#include "ui/job_run.h"

#include <QMetaObject>
#include <exception>

#include "ui/main_dialog.h"

namespace oskelon::ui {

JobRun::JobRun(MainDialog& window, JobOptions options)
    : threads_(options.threads), bridge_(window, *this), job_(bridge_, stop_, std::move(options)) {}

JobRun::~JobRun() {
    if (thread_.joinable()) {
        halt();
        thread_.join();
    }
}

void JobRun::start() {
    thread_ = std::thread([this] {
        try {
            exitCode_ = job_.run();
        } catch (const std::exception& e) {
            // Nothing the job does is expected to throw beyond its own stop; should it happen,
            // the window gets its buttons back instead of waiting for a job that is gone.
            exitCode_ = kJobFailed;
            failure_ = e.what();
        }
        endedAt_ = Clock::now();
        ended_.store(true, std::memory_order_release);
        // This object lives until the thread is joined, so the post is always to a live object.
        QMetaObject::invokeMethod(
            this, [this] { emit ended(); }, Qt::QueuedConnection);
    });
}

void JobRun::halt() {
    // The stop request comes first, so that a job thread released from a call to the window
    // finds it set and can no longer replace "pi.dat" or write its record. It never waits for the
    // window: the job holds the token's lock only around the file replacement and the record
    // write, which make no calls to the window.
    stop_.requestStop();
    bridge_.detach();
}

void JobRun::join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace oskelon::ui
