// MainDialog: the program's window. The size list, "Calc", "Stop", "Copy" and "Record", and the
// "Result View" list; it owns the result text that "Copy" puts on the clipboard and the working
// set of a run. It is the JobHost of the records view (on its own thread) and, through a
// WindowBridge, of the calculation job running on a thread of its own.
//
// Threads: every member is used on the window's thread only, with one exception: the working set,
// which the job fills and frees on its thread. The window touches the working set only while no
// job thread exists (before a run starts and after its thread has been joined); the button states
// keep the user from starting anything else meanwhile.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <string>

#include "calc/calc_job.h"
#include "calc/job_host.h"
#include "calc/working_set.h"
#include "oskelon_version.h"
#include "ui/message_presenter.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;

namespace oskelon::ui {

class JobRun;
class WindowBridge;

inline constexpr const char* kWindowCaption = OSKELON_VERSION_TEXT;
inline constexpr const char* kAboutMenuItem = "Oskelon のﾊﾞｰｼﾞｮﾝ情報(&A)...";
inline constexpr const char* kLargeSizeQuestion =
    "メモリを大量に消費するため中断処理に時間がかかります\r\nそれでも実行しますか？";
inline constexpr const char* kStopMessage =
    "計算を中断します\r\n大きな桁数の計算を中断する場合\r\n中断処理に時間がかかります";
inline constexpr const char* kStoppedMessage = "stop of calculating";

// Sizes from this index on ask before they start: their memory takes long to give back.
inline constexpr int kFirstLargeSize = 8;

class MainDialog : public QDialog, public JobHost {
    Q_OBJECT

  public:
    // presenter: the message boxes (nullptr: the real ones). usableThreads: the CPUs the thread
    // choice counts as all (below 1: the CPUs this process may run on).
    explicit MainDialog(std::shared_ptr<MessagePresenter> presenter = nullptr,
                        int usableThreads = 0);
    // Halts a running job and waits for its thread (a fraction of a second) before anything of
    // the window goes; the working set is freed with the window.
    ~MainDialog() override;

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

    // Applies to the runs started from now on (the tests point the output file elsewhere); their
    // thread count is the window's choice, not options.threads.
    void setJobOptions(JobOptions options) { jobOptions_ = std::move(options); }

    // The thread count of the runs started from now on: 1 (the classic run) until the user
    // chooses another in the context menu's "Threads" submenu.
    int threads() const { return threads_; }
    // What "all" threads means here: the CPUs this process may run on.
    int usableThreads() const { return usableThreads_; }

    const std::string& resultText() const { return resultText_; }
    // A job has started and its end has not yet been taken in.
    bool jobActive() const { return jobActive_; }
    // The most recent job, kept after its end (nullptr before the first "Calc").
    const JobRun* lastJob() const { return job_.get(); }
    // The exact duration of the last completed run, in milliseconds (negative: none yet).
    double lastRunMilliseconds() const { return lastRunMilliseconds_; }

    QPushButton* button(MainButton which) const;
    QComboBox* sizeCombo() const { return sizeCombo_; }
    QListWidget* resultList() const { return resultList_; }
    QGroupBox* resultGroup() const { return resultGroup_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* statusLine() const { return statusLine_; }

    // The window's context menu: the About item, then the "Threads" submenu with the counts of
    // threadChoices(), the chosen one checked; the submenu is disabled while a job runs.
    std::unique_ptr<QMenu> makeContextMenu();

    // Puts text on the clipboard as plain text, unchanged (its CR LF line ends included).
    static void CopyTextToClipboard(const std::string& text);

  public slots:
    void OnCalc();
    void OnStop();
    void OnCopy();
    void OnCopyCommand();  // Ctrl+C: copies exactly when "Copy" is enabled
    void OnRecord();
    void showAbout();  // the About box, modal
    // The thread count for the next runs; ignored while a job runs (the menu is disabled then,
    // and a run keeps the count it started with). The status line shows a count other than 1.
    void chooseThreads(int count);

  signals:
    // A line has been added to the list (by the records view or the job).
    void listLineAdded(const QString& line);
    // A run has ended and its thread is gone: completed, failed or stopped (exitCode: JobExit).
    void jobFinished(unsigned exitCode);

  public:
    void setVisible(bool visible) override;
    void done(int result) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    friend class WindowBridge;

    // Start-up before the window first shows: the store's version check (its message comes
    // before the window), the empty working set, size 6, the records view, the focus on "Calc".
    void OnInitDialog();
    // The job has read its size: the progress bar's range follows from it.
    void jobReadSize(int sizeIndex);
    void onJobEnded();
    // Takes in the end of the current job: joins its thread, frees what it left, reports.
    void finishJob();
    // Runs the event loop until the current job's thread has ended.
    void waitForJobEnd();
    void setStatus(const QString& text);
    // The current run's name in the status line: its size, and its threads beyond one.
    QString runName() const;
    QWidget* messageParent();

    std::shared_ptr<MessagePresenter> presenter_;
    WorkingSet workingSet_;
    std::string resultText_;
    JobOptions jobOptions_;

    QGroupBox* resultGroup_;
    QPushButton* recordButton_;
    QListWidget* resultList_;
    QPushButton* calcButton_;
    QPushButton* copyButton_;
    QPushButton* stopButton_;
    QComboBox* sizeCombo_;
    QProgressBar* progressBar_;
    QLabel* statusLine_;

    std::unique_ptr<JobRun> job_;
    bool initialised_ = false;
    bool jobActive_ = false;
    bool stopping_ = false;
    bool closing_ = false;
    int jobSizeIndex_ = -1;
    int threads_ = 1;
    int usableThreads_;
    int jobThreads_ = 1;  // the current or last run's
    double lastRunMilliseconds_ = -1;
};

}  // namespace oskelon::ui
