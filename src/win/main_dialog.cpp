#include "win/main_dialog.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "calc/calc_job.h"
#include "calc/records_view.h"
#include "calc/sizes.h"
#include "calc/thread_choice.h"
#include "platform/windows_text.h"
#include "records/record_store.h"
#include "records/registry_key.h"
#include "records/store_notice.h"
#include "win/about_dialog.h"
#include "win/center_window.h"
#include "win/clipboard.h"
#include "win/job_run.h"
#include "win/message_boxes.h"
#include "win/resource_ids.h"

namespace oskelon::win {
namespace {

// The list lines of a complete run besides its loop lines: the start line, two planning lines,
// an empty line, the setup line; after the loop an empty line, the total, the output line and
// the code line. A run on more than one thread names them in one more line.
constexpr int kRunLinesBesidesLoops = 9;

HICON loadIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    // Without LR_SHARED the icon is ours to destroy, at the size the system uses.
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

// The CPUs this process may run on: its affinity mask's, or the system's count when the mask
// cannot be had (a process whose threads span processor groups reads an empty one).
int usableCpus() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        int count = 0;
        for (; process != 0; process &= process - 1) ++count;
        return count;
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

UINT threadsCommand(int count) {
    return IDM_THREADS_FIRST + 16u * static_cast<UINT>(count);
}

// The count of a thread-choice command; 0 for any other command.
int threadsOfCommand(UINT id) {
    if (id <= IDM_THREADS_FIRST || id > threadsCommand(IDM_THREADS_MAX_COUNT) || (id & 0xF) != 0)
        return 0;
    return static_cast<int>((id - IDM_THREADS_FIRST) / 16);
}

// BeginPaint and EndPaint around one WM_PAINT.
class PaintScope {
  public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &paint_)) {}
    ~PaintScope() { EndPaint(hwnd_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

  private:
    HWND hwnd_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

}  // namespace

MainDialog::MainDialog(HINSTANCE instance)
    : instance_(instance),
      appIcon_(loadIcon(instance, SM_CXICON, SM_CYICON)),
      smallIcon_(loadIcon(instance, SM_CXSMICON, SM_CYSMICON)),
      accelTable_(LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATOR1))),
      usableThreads_(std::min(usableCpus(), IDM_THREADS_MAX_COUNT)) {}

MainDialog::~MainDialog() {
    // The job's thread goes first: it may still reach the window and the working set.
    job_.reset();
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

int MainDialog::DoModal(int showCommand) {
    hwnd_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_OSKELON_DIALOG), nullptr,
                               &MainDialog::dialogProc, reinterpret_cast<LPARAM>(this));
    if (hwnd_ == nullptr) return -1;
    if (!closing_) ShowWindow(hwnd_, showCommand);

    MSG message;
    while (!closing_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;  // WM_QUIT, or a failure that would repeat
        // The accelerator first (the dialog's PreTranslateMessage), then the keyboard
        // navigation of the dialog.
        if (accelTable_ && TranslateAcceleratorW(hwnd_, accelTable_.get(), &message)) continue;
        if (IsDialogMessageW(hwnd_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (job_) {
        job_->halt();
        job_->waitForEnd();
    }
    workingSet_.releaseAll();
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    return result_;
}

INT_PTR CALLBACK MainDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<MainDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        dialog->hwnd_ = hwnd;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    // Messages before WM_INITDIALOG (WM_SETFONT) get the default processing.
    return dialog != nullptr ? dialog->handleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR MainDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SYSCOMMAND:
            // The system uses the low four bits; the About item and the thread choice are ours.
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                OnSysCommand(wParam, lParam);
                return TRUE;
            }
            return menuCommand(static_cast<UINT>(wParam & 0xFFF0)) ? TRUE : FALSE;
        case WM_CONTEXTMENU:
            return OnContextMenu(lParam) ? TRUE : FALSE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:  // OnQueryDragIcon: the result is the message's value
            return reinterpret_cast<INT_PTR>(appIcon_.get());
        case WM_COMMAND:
            return handleCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        case kJobCallMessage:
            WindowBridge::serve(lParam);
            return TRUE;
        case kJobEndedMessage:
            onJobEnded(wParam);
            return TRUE;
        default:
            return FALSE;
    }
}

bool MainDialog::handleCommand(int id, int code) {
    switch (id) {
        case IDC_CALC:
            if (code == BN_CLICKED) OnCalc();
            return true;
        case IDC_STOP:
            if (code == BN_CLICKED) OnStop();
            return true;
        case IDC_COPY:
            if (code == BN_CLICKED) OnCopy();
            return true;
        case IDC_RECORD:
            if (code == BN_CLICKED) OnRecord();
            return true;
        case ID_COPY_COMMAND:
            OnCopyCommand();
            return true;
        case IDOK:
        case IDCANCEL:
            endDialog(id);
            return true;
        default:
            // A submenu of the system menu may send its command as WM_COMMAND.
            return menuCommand(static_cast<UINT>(id));
    }
}

// ---- Start-up ----

BOOL MainDialog::OnInitDialog() {
    if (HMENU systemMenu = GetSystemMenu(hwnd_, FALSE); systemMenu != nullptr) {
        wchar_t aboutItem[256];
        if (LoadStringW(instance_, IDS_ABOUTBOX, aboutItem, 256) > 0 &&
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr)) {
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutItem);
        }
        // The thread choice beside it.
        const int position = GetMenuItemCount(systemMenu);
        if (position >= 0 && appendThreadsMenu(systemMenu)) systemThreadsPosition_ = position;
    }
    if (appIcon_)
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_.get()));
    if (smallIcon_)
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

    // The size list, item i being size i. Without all twelve the window is of no use: it says
    // so and ends (only a system out of memory refuses them).
    for (int i = 0; i < kSizeCount; ++i) {
        const std::wstring name = wideFromUtf8(sizeDisplayName(i));
        const LRESULT added = SendDlgItemMessageW(hwnd_, IDC_SIZE_COMBO, CB_ADDSTRING, 0,
                                                  reinterpret_cast<LPARAM>(name.c_str()));
        if (added == CB_ERR || added == CB_ERRSPACE) {
            ShowError("The size list could not be filled.");
            endDialog(IDCANCEL);
            return FALSE;
        }
    }
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETRANGE32, 0, 1);

    CenterWindow(hwnd_, nullptr);

    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    CheckStoreVersion(key, *this);
    workingSet_.releaseAll();
    SendDlgItemMessageW(hwnd_, IDC_SIZE_COMBO, CB_SETCURSEL, kDefaultSizeIndex, 0);
    ShowRecords(*this);
    key.Close();
    // A records store that could not be used is told once, after the records view.
    if (const std::string notice = takeStoreNotice(); !notice.empty()) ShowError(notice);
    return TRUE;  // the focus on the first control in tab order, "Calc"
}

// ---- JobHost ----

HWND MainDialog::item(int id) const {
    return GetDlgItem(hwnd_, id);
}

HWND MainDialog::button(MainButton which) const {
    switch (which) {
        case MainButton::Calc:
            return item(IDC_CALC);
        case MainButton::Stop:
            return item(IDC_STOP);
        case MainButton::Copy:
            return item(IDC_COPY);
        case MainButton::Record:
            return item(IDC_RECORD);
    }
    return nullptr;
}

HWND MainDialog::messageOwner() const {
    return IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
}

int MainDialog::SelectedSizeIndex() {
    const LRESULT selected = SendDlgItemMessageW(hwnd_, IDC_SIZE_COMBO, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void MainDialog::AddListLine(const std::string& text) {
    const std::wstring line = wideFromUtf8(text);
    const LRESULT added = SendDlgItemMessageW(hwnd_, IDC_RESULT_LIST, LB_ADDSTRING, 0,
                                              reinterpret_cast<LPARAM>(line.c_str()));
    if (added == LB_ERR || added == LB_ERRSPACE) return;  // the list is full: the line is lost
    if (jobActive_) {
        // The last step shows only at the end of a complete run.
        HWND progress = item(IDC_PROGRESS);
        const int maximum = static_cast<int>(SendMessageW(progress, PBM_GETRANGE, FALSE, 0));
        const int position = static_cast<int>(SendMessageW(progress, PBM_GETPOS, 0, 0));
        SendMessageW(progress, PBM_SETPOS, std::min(position + 1, maximum - 1), 0);
    }
}

void MainDialog::ClearList() {
    SendDlgItemMessageW(hwnd_, IDC_RESULT_LIST, LB_RESETCONTENT, 0, 0);
}

void MainDialog::ClearResultText() {
    resultText_.clear();
}

void MainDialog::AppendResultText(const std::string& text) {
    resultText_ += text;
}

void MainDialog::EnableButton(MainButton which, bool on) {
    HWND target = button(which);
    // A disabled control loses the focus to nothing, which would leave Esc and Ctrl+C without
    // effect; the focus goes on to the next control in tab order instead.
    if (!on && GetFocus() == target) SendMessageW(hwnd_, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(target, on ? TRUE : FALSE);
}

void MainDialog::ShowMessage(const std::string& text) {
    showMessageBox(messageOwner(), MessageKind::Plain, text);
}

void MainDialog::ShowAppMessage(const std::string& text) {
    showMessageBox(messageOwner(), MessageKind::Application, text);
}

void MainDialog::ShowError(const std::string& text) {
    showMessageBox(messageOwner(), MessageKind::Error, text);
}

std::string MainDialog::SizeDisplayName(int sizeIndex) {
    HWND combo = item(IDC_SIZE_COMBO);
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, sizeIndex, 0);
    if (length == CB_ERR) return {};
    std::wstring name(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(combo, CB_GETLBTEXT, sizeIndex, reinterpret_cast<LPARAM>(name.data()));
    if (copied == CB_ERR) return {};
    name.resize(static_cast<std::size_t>(copied));
    return utf8FromWide(name);
}

// ---- Handlers ----

void MainDialog::OnSysCommand(WPARAM, LPARAM) {
    ShowAboutDialog(instance_, hwnd_);
}

bool MainDialog::OnContextMenu(LPARAM point) {
    POINT at{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    if (at.x == -1 && at.y == -1) {
        at = {0, 0};
        ClientToScreen(hwnd_, &at);
    } else {
        // On the caption and the frame the system menu comes, as always.
        POINT client = at;
        RECT area{};
        if (!ScreenToClient(hwnd_, &client) || !GetClientRect(hwnd_, &area) ||
            !PtInRect(&area, client))
            return false;
    }
    MenuHandle menu(CreatePopupMenu());
    wchar_t aboutItem[256];
    if (!menu || LoadStringW(instance_, IDS_ABOUTBOX, aboutItem, 256) <= 0 ||
        !AppendMenuW(menu.get(), MF_STRING, IDM_ABOUTBOX, aboutItem) ||
        !AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr) || !appendThreadsMenu(menu.get()))
        return true;
    // The choice comes back as the result, so it is taken with the state the menu showed.
    const UINT id = static_cast<UINT>(TrackPopupMenu(
        menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr));
    if (id == IDM_ABOUTBOX)
        OnSysCommand(id, 0);
    else if (id != 0)
        menuCommand(id);
    return true;
}

bool MainDialog::menuCommand(UINT id) {
    const int count = threadsOfCommand(id);
    if (count == 0) return false;
    chooseThreads(count);
    return true;
}

void MainDialog::chooseThreads(int count) {
    const std::vector<int> offered = threadChoices(usableThreads_);
    if (jobActive_ || count == threads_ ||
        std::find(offered.begin(), offered.end(), count) == offered.end())
        return;
    threads_ = count;
    if (systemThreadsPosition_ >= 0)
        updateThreadsMenu(GetSystemMenu(hwnd_, FALSE), static_cast<UINT>(systemThreadsPosition_));
    // Says which runs come next, in place of the last run's line.
    setStatus(count == 1 ? std::string() : threadCountText(count));
}

bool MainDialog::appendThreadsMenu(HMENU menu) const {
    MenuHandle threads(CreatePopupMenu());
    if (!threads) return false;
    for (const int count : threadChoices(usableThreads_)) {
        const std::wstring label = wideFromUtf8(threadChoiceLabel(count, usableThreads_));
        if (!AppendMenuW(threads.get(), MF_STRING, threadsCommand(count), label.c_str()))
            return false;
    }
    const int position = GetMenuItemCount(menu);
    const std::wstring title = wideFromUtf8(kThreadsMenuTitle);
    if (position < 0 ||
        !AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(threads.get()), title.c_str()))
        return false;
    threads.release();  // the menu's now
    updateThreadsMenu(menu, static_cast<UINT>(position));
    return true;
}

void MainDialog::updateThreadsMenu(HMENU menu, UINT position) const {
    HMENU threads = GetSubMenu(menu, static_cast<int>(position));
    if (threads == nullptr) return;
    const std::vector<int> offered = threadChoices(usableThreads_);
    CheckMenuRadioItem(threads, threadsCommand(offered.front()), threadsCommand(offered.back()),
                       threadsCommand(threads_), MF_BYCOMMAND);
    const UINT state = jobActive_ ? MF_GRAYED : MF_ENABLED;
    for (const int count : offered) EnableMenuItem(threads, threadsCommand(count), state);
    EnableMenuItem(menu, position, MF_BYPOSITION | state);
}

void MainDialog::setJobActive(bool active) {
    jobActive_ = active;
    if (systemThreadsPosition_ >= 0)
        updateThreadsMenu(GetSystemMenu(hwnd_, FALSE), static_cast<UINT>(systemThreadsPosition_));
}

bool MainDialog::OnPaint() {
    if (!IsIconic(hwnd_)) return false;
    PaintScope paint(hwnd_);
    if (paint.dc() == nullptr) return true;
    SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
    // The icon centred in the client area, at the system's standard icon size.
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client{};
    if (!GetClientRect(hwnd_, &client)) return true;
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    if (appIcon_) DrawIcon(paint.dc(), x, y, appIcon_.get());
    return true;
}

void MainDialog::OnCalc() {
    const int sizeIndex = SelectedSizeIndex();
    if (sizeIndex >= kFirstLargeSize && sizeIndex < kSizeCount &&
        !askYesNo(messageOwner(), kLargeSizeQuestion)) {
        return;
    }
    EnableButton(MainButton::Copy, false);
    EnableButton(MainButton::Calc, false);
    EnableButton(MainButton::Record, false);
    ClearList();

    // A previous job re-enables "Calc" just before its last message and ends right after it;
    // its end is taken in here if its ended message has not come yet.
    if (jobActive_) {
        job_->halt();
        finishJob();
    }
    job_.reset();

    jobSizeIndex_ = -1;
    jobThreads_ = threads_;
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETRANGE32, 0, 1);
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    setStatus({});
    JobOptions options;
    options.threads = jobThreads_;
    job_ = std::make_unique<JobRun>(*this, hwnd_, std::move(options), ++jobSerial_);
    setJobActive(true);
    if (!job_->start()) {
        setJobActive(false);
        EnableButton(MainButton::Copy, true);
        EnableButton(MainButton::Calc, true);
        EnableButton(MainButton::Record, true);
        ShowError("The calculation could not be started: " + job_->failure());
        job_.reset();
    }
}

void MainDialog::jobReadSize(int sizeIndex) {
    jobSizeIndex_ = sizeIndex;
    if (sizeIndex < 0 || sizeIndex >= kSizeCount) return;
    SendDlgItemMessageW(
        hwnd_, IDC_PROGRESS, PBM_SETRANGE32, 0,
        kRunLinesBesidesLoops + (jobThreads_ > 1 ? 1 : 0) + CalcJob::expectedIterations(sizeIndex));
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    setStatus(runName() + ": running...");
}

void MainDialog::OnStop() {
    if (!jobActive_ || stopping_) return;
    stopping_ = true;
    EnableButton(MainButton::Stop, false);
    // From here on nothing of the job reaches the window, and it writes nothing more.
    job_->halt();
    ShowMessage(kStopMessage);
    job_->waitForEnd();
    workingSet_.releaseAll();
    setJobActive(false);
    stopping_ = false;
    setStatus(runName() + ": stopped");
    if (!closing_) {
        EnableButton(MainButton::Calc, true);
        EnableButton(MainButton::Record, true);
        ShowMessage(kStoppedMessage);
    }
}

void MainDialog::onJobEnded(WPARAM serial) {
    if (!job_ || job_->serial() != serial) return;  // an earlier job, already taken in
    if (!jobActive_ || stopping_) return;  // the stop handler takes in a stopped job itself
    finishJob();
}

void MainDialog::finishJob() {
    job_->waitForEnd();
    workingSet_.releaseAll();  // empty already unless the job ended abnormally
    setJobActive(false);
    const unsigned exitCode = job_->exitCode();
    const std::string name = runName();
    switch (exitCode) {
        case kJobComplete:
        case kJobOutputFailed: {
            const CalcJob& job = job_->job();
            HWND progress = item(IDC_PROGRESS);
            SendMessageW(progress, PBM_SETPOS, SendMessageW(progress, PBM_GETRANGE, FALSE, 0), 0);
            // A result that failed its verification is never recorded; say so where the time is.
            const bool wrong = job.firstWrongIteration() != 0 ||
                               job.digitsVerdict().status == DigitsVerdict::Status::Wrong;
            char milliseconds[64];
            std::snprintf(milliseconds, sizeof milliseconds, "%.3f", job.totalMilliseconds());
            std::string text = name + ": " + milliseconds + " ms";
            if (!job.clockCheck().verified) text += " (time unverified)";
            if (wrong)
                text += ", WRONG result";
            else if (job.digitsVerdict().verified())
                text += ", verified";
            if (exitCode == kJobOutputFailed) text += " (no pi.dat)";
            setStatus(text);
            break;
        }
        case kJobAllocationFailure:
            SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETPOS, 0, 0);
            setStatus(name + ": Allocation Failure!");
            break;
        case kJobStopped:  // a stop that came with the window's closing
            setStatus(name + ": stopped");
            break;
        default:  // no size selected, or the job failed unexpectedly
            setStatus({});
            break;
    }
    if (exitCode == kJobFailed) {
        // The job could not give the buttons back itself.
        EnableButton(MainButton::Stop, false);
        EnableButton(MainButton::Copy, true);
        EnableButton(MainButton::Calc, true);
        EnableButton(MainButton::Record, true);
        if (!closing_) ShowError("The calculation failed: " + job_->failure());
    }
}

void MainDialog::OnCopy() {
    CopyTextToClipboard(hwnd_, wideFromUtf8(resultText_));
}

void MainDialog::OnCopyCommand() {
    if (IsWindowEnabled(button(MainButton::Copy))) OnCopy();
}

void MainDialog::OnRecord() {
    ShowRecords(*this);
}

void MainDialog::endDialog(int result) {
    if (closing_) return;
    closing_ = true;
    result_ = result;
    // The job is halted here and its thread waited for when the loop has ended; the window
    // goes out of sight at once.
    if (jobActive_) job_->halt();
    ShowWindow(hwnd_, SW_HIDE);
    // Also ends a message box that is open at this moment (only another program can close the
    // window then), so that the handler that opened it returns to the loop.
    PostQuitMessage(result);
}

void MainDialog::setStatus(const std::string& text) {
    SetDlgItemTextW(hwnd_, IDC_STATUS, wideFromUtf8(text).c_str());
}

std::string MainDialog::runName() {
    return runStatusName(SizeDisplayName(jobSizeIndex_), jobThreads_);
}

}  // namespace oskelon::win
