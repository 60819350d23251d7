// WindowBridge: the JobHost that a job thread talks to. Every call is carried to the window's
// thread by SendMessage of a private message and has taken effect on the window when it returns,
// so the calls reach the window one at a time and in order.
//
// The window never waits for the job without serving these messages (JobRun::waitForEnd), so a
// call can never deadlock against it. detach() (window thread) makes the window drop every call
// it has not yet started, and every later one: they return at once with neutral results (no
// selection, no text), and nothing of the job reaches the window any more. Since detach() and
// the serving of a call both run on the window's thread, a call is either carried out whole
// before the detach or not at all.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "calc/job_host.h"

namespace oskelon::win {

class MainDialog;

// The private messages between a job's thread and the window. kJobCallMessage: lParam is the
// call, to be passed to WindowBridge::serve. kJobEndedMessage (posted): wParam is the serial
// number of the job whose thread is ending.
inline constexpr UINT kJobCallMessage = WM_APP + 1;
inline constexpr UINT kJobEndedMessage = WM_APP + 2;

class WindowBridge final : public JobHost {
  public:
    // window: the dialog whose window (hwnd) outlives the job's thread.
    WindowBridge(MainDialog& window, HWND hwnd);

    // Window thread. From here on the job's calls are dropped.
    void detach() { detached_.store(true, std::memory_order_release); }
    bool detached() const { return detached_.load(std::memory_order_acquire); }

    // Window thread, from the window procedure on kJobCallMessage: carries out the call unless
    // its bridge has been detached.
    static void serve(LPARAM call);

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
    struct Call {
        WindowBridge* bridge;
        void (*invoke)(void* operation);
        void* operation;
        bool done;  // written on the window's thread before SendMessage returns
    };

    // Runs operation on the window's thread and gives its result, or dropped when the call was
    // dropped.
    template <typename Result, typename Operation>
    Result call(Operation operation, Result dropped);
    template <typename Operation>
    void call(Operation operation);

    std::atomic<bool> detached_{false};
    MainDialog& window_;
    HWND hwnd_;
};

}  // namespace oskelon::win
