// WindowBridge: the JobHost that a job thread talks to. Every call is carried out on the window's
// thread, and the job thread waits until it has taken effect, so the calls reach the window one
// at a time and in order.
//
// The window never waits for the job: detach() (on the window's thread) drops every call that has
// not yet started on the window and releases a job thread that waits for one, including one
// waiting for a modal message. After detach() the job's calls return at once with neutral
// results (no selection, no text), and nothing of the job reaches the window any more.
#pragma once

#include <QObject>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "calc/job_host.h"

namespace oskelon::ui {

class MainDialog;

class WindowBridge final : public JobHost {
  public:
    // context: a QObject of the window's thread that outlives the job thread; the calls are
    // queued to it.
    WindowBridge(MainDialog& window, QObject& context);

    // Window thread. From here on the job's calls are dropped.
    void detach();
    bool detached() const;

    // JobHost, called on the job thread.
    int SelectedSizeIndex() override;
    void AddListLine(const std::string& text) override;
    void ClearList() override;
    void ClearResultText() override;
    void AppendResultText(const std::string& text) override;
    void EnableButton(MainButton button, bool on) override;
    void ShowMessage(const std::string& text) override;
    void ShowAppMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    std::string SizeDisplayName(int sizeIndex) override;
    // The slots themselves, not a call: the window leaves them alone until the job has ended.
    WorkingSet& workingSet() override;

  private:
    struct Gate {
        mutable std::mutex mutex;
        std::condition_variable changed;
        bool detached = false;
    };

    // Runs operation on the window's thread and waits for its result; dropped when detached.
    template <typename Result, typename Operation>
    Result call(Operation operation, Result dropped);
    template <typename Operation>
    void call(Operation operation);

    std::shared_ptr<Gate> gate_;
    MainDialog& window_;
    QObject& context_;
};

}  // namespace oskelon::ui
