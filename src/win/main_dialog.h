// MainDialog: the program's window, a dialog from template 102. The size list, "Calc", "Stop",
// "Copy" and "Record", and the "Result View" list; below them the run's progress bar and status
// line. It owns the result text that "Copy" puts on the clipboard and the working set of a run.
// It is the JobHost of the records view (on its own thread) and, through a WindowBridge, of the
// calculation job running on a thread of its own.
//
// Threads: every member is used on the window's thread only, with one exception: the working
// set, which the job fills and frees on its thread. The window touches the working set only
// while no job thread exists (before a run starts and after its thread has ended); the button
// states keep the user from starting anything else meanwhile.
//
// The dialog runs modeless under a message loop of its own (DoModal), which translates the
// accelerator table (Ctrl+C) before the dialog's keyboard navigation; Esc, the close box and
// Enter while no button has the focus end it at any time, also during a run.
//
// The thread count of a run is chosen in the "Threads" submenu of the system menu (beside the
// About item) and of the context menu: 1, the classic run, until the user picks another; the
// choice is disabled while a job runs and shows in the status line when it is not 1.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "calc/job_host.h"
#include "calc/working_set.h"
#include "win/unique_handle.h"

namespace oskelon::win {

class JobRun;
class WindowBridge;

inline constexpr const char* kLargeSizeQuestion =
    "メモリを大量に消費するため中断処理に時間がかかります\r\nそれでも実行しますか？";
inline constexpr const char* kStopMessage =
    "計算を中断します\r\n大きな桁数の計算を中断する場合\r\n中断処理に時間がかかります";
inline constexpr const char* kStoppedMessage = "stop of calculating";

// Sizes from this index on ask before they start: their memory takes long to give back.
inline constexpr int kFirstLargeSize = 8;

class MainDialog : public JobHost {
  public:
    // Loads the icon and the accelerator table; the window comes with DoModal.
    explicit MainDialog(HINSTANCE instance);
    // Halts a job that is still running and waits for its thread (a fraction of a second)
    // before the window and the working set go.
    ~MainDialog() override;
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // Creates the window (its start-up, and the store's version message, come before it shows),
    // shows it and runs it until IDOK or IDCANCEL ends it; gives that command, or -1 when the
    // window cannot be created.
    int DoModal(int showCommand);

    // JobHost, on the window's thread.
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
    WorkingSet& workingSet() override { return workingSet_; }

  private:
    friend class WindowBridge;

    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool handleCommand(int id, int code);

    // Start-up before the window first shows: the About item and the thread choice, the icons,
    // the size list, the store's version check, the empty working set, size 6, the records view,
    // the store notice.
    BOOL OnInitDialog();
    void OnSysCommand(WPARAM command, LPARAM lParam);
    // The context menu at a screen point of the client area (-1, -1: from the keyboard, at its
    // corner): the About item and the thread choice. False for a point outside the client area.
    bool OnContextMenu(LPARAM point);
    // A command of either menu; false when it is none of theirs.
    bool menuCommand(UINT id);
    // The thread count for the next runs: one of the counts offered; ignored while a job runs
    // (the menus are disabled then, and a run keeps the count it started with).
    void chooseThreads(int count);
    // Appends the "Threads" submenu to menu; false when the system refuses it.
    bool appendThreadsMenu(HMENU menu) const;
    // The "Threads" entry at position of menu and its items: the chosen count checked, all
    // disabled while a job runs.
    void updateThreadsMenu(HMENU menu, UINT position) const;
    // The job has started or its end has been taken in.
    void setJobActive(bool active);
    bool OnPaint();  // false: not iconic, the default painting applies
    void OnCalc();
    void OnStop();
    void OnCopy();
    void OnCopyCommand();  // Ctrl+C: copies exactly when "Copy" is enabled
    void OnRecord();
    // IDOK, IDCANCEL: halts a running job, hides the window and ends the message loop.
    void endDialog(int result);

    // The job has read its size: the progress bar's range follows from it.
    void jobReadSize(int sizeIndex);
    void onJobEnded(WPARAM serial);
    // Takes in the end of the current job: waits for its thread, frees what it left, reports.
    void finishJob();
    void setStatus(const std::string& text);
    // The current run's name in the status line: its size, and its threads beyond one.
    std::string runName();
    HWND item(int id) const;
    HWND button(MainButton which) const;
    // At start-up the version message comes before the window is shown, so over no window.
    HWND messageOwner() const;

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    IconHandle appIcon_;
    IconHandle smallIcon_;
    AcceleratorHandle accelTable_;
    WorkingSet workingSet_;
    std::string resultText_;  // UTF-8, lines ending in CR LF

    std::unique_ptr<JobRun> job_;
    WPARAM jobSerial_ = 0;
    bool jobActive_ = false;  // a job has started and its end has not yet been taken in
    bool stopping_ = false;
    bool closing_ = false;
    int result_ = IDCANCEL;
    int jobSizeIndex_ = -1;
    int threads_ = 1;
    int usableThreads_;
    int jobThreads_ = 1;  // the current or last run's
    // The place of "Threads" in the system menu (-1: it has none).
    int systemThreadsPosition_ = -1;
};

}  // namespace oskelon::win
