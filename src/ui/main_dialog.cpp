#include "ui/main_dialog.h"

#include <QAbstractItemView>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QThread>
#include <algorithm>

#include "calc/records_view.h"
#include "calc/sizes.h"
#include "calc/thread_choice.h"
#include "records/record_store.h"
#include "records/registry_key.h"
#include "records/store_notice.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/dialog_units.h"
#include "ui/job_run.h"
#include "ui/ui_font.h"

namespace oskelon::ui {
namespace {

// The list lines of a complete run besides its loop lines: the start line, two planning lines,
// an empty line, the setup line; after the loop an empty line, the total, the output line and
// the code line. A run on more than one thread names them in one more line.
constexpr int kRunLinesBesidesLoops = 9;

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// List rows of a fixed height, 1.25 em. The CJK fonts' line spacing (about 1.45 em) would leave
// the list room for fewer lines than the template's font gives (a complete size-0 log would not
// fit); the glyphs themselves need about 1.1 em.
class CompactRowDelegate : public QStyledItemDelegate {
  public:
    CompactRowDelegate(int rowHeight, QObject* parent)
        : QStyledItemDelegate(parent), rowHeight_(rowHeight) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(rowHeight_);
        return size;
    }

  private:
    int rowHeight_;
};

QPushButton* makeButton(const char* caption, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    // Enter on a button that has the focus presses it; no button is the dialog's default.
    button->setAutoDefault(true);
    return button;
}

}  // namespace

// Layout in dialog units (x, y, width, height), from the window template: 150 x 257 with the
// controls below; the progress bar and the status line are added under the group box.
MainDialog::MainDialog(std::shared_ptr<MessagePresenter> presenter, int usableThreads)
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      presenter_(presenter ? std::move(presenter) : std::make_shared<BoxPresenter>()),
      resultGroup_(new QGroupBox(QStringLiteral("Result View"), this)),
      recordButton_(makeButton("Record", this)),
      resultList_(new QListWidget(this)),
      calcButton_(makeButton("Calc", this)),
      copyButton_(makeButton("Copy", this)),
      stopButton_(makeButton("Stop", this)),
      sizeCombo_(new QComboBox(this)),
      progressBar_(new QProgressBar(this)),
      statusLine_(new QLabel(this)),
      // The toolkit counts the CPUs of this process's affinity mask.
      usableThreads_(std::max(1, usableThreads > 0 ? usableThreads : QThread::idealThreadCount())) {
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    setFont(uiFont());
    const DialogUnits units(font());

    calcButton_->setGeometry(units.rect(59, 7, 18, 14));
    // The template's 56 units of height include the dropped-down list. The list is 6 units wider
    // than the template's 43 (from the group box's left edge to 3 units before "Calc"): with the
    // toolkit's wider arrow button, "1677万桁" and "3355万桁" would not fit otherwise.
    const QRect comboClosed = units.rect(7, 7, 49, 14);
    sizeCombo_->setGeometry(comboClosed);
    sizeCombo_->setMaxVisibleItems(
        std::max(3, (units.toPixelsY(56) - comboClosed.height()) / units.baseY()));
    for (int i = 0; i < kSizeCount; ++i) sizeCombo_->addItem(fromUtf8(sizeDisplayName(i)));
    resultGroup_->setGeometry(units.rect(7, 21, 136, 229));
    // A framed box with its caption set into the top edge.
    resultGroup_->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.6em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 0.5em; padding: 0 2px; }"));
    stopButton_->setGeometry(units.rect(77, 7, 19, 14));
    stopButton_->setEnabled(false);
    copyButton_->setGeometry(units.rect(96, 7, 20, 14));
    resultList_->setGeometry(units.rect(13, 35, 121, 205));
    resultList_->setSelectionMode(QAbstractItemView::NoSelection);
    resultList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    resultList_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    resultList_->setTextElideMode(Qt::ElideNone);
    resultList_->setUniformItemSizes(true);
    resultList_->setItemDelegate(new CompactRowDelegate(
        std::max(QFontMetrics(font()).height() * 3 / 4, units.baseY() * 5 / 4), resultList_));
    resultList_->raise();  // above the group box that frames it
    recordButton_->setGeometry(units.rect(116, 7, 26, 14));

    progressBar_->setGeometry(units.rect(7, 253, 136, 9));
    progressBar_->setRange(0, 1);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    statusLine_->setGeometry(units.rect(7, 264, 136, 10));
    statusLine_->setTextFormat(Qt::PlainText);
    setFixedSize(units.size(150, 277));

    // Tab order as in the template.
    setTabOrder(calcButton_, sizeCombo_);
    setTabOrder(sizeCombo_, stopButton_);
    setTabOrder(stopButton_, copyButton_);
    setTabOrder(copyButton_, resultList_);
    setTabOrder(resultList_, recordButton_);

    connect(calcButton_, &QPushButton::clicked, this, &MainDialog::OnCalc);
    connect(stopButton_, &QPushButton::clicked, this, &MainDialog::OnStop);
    connect(copyButton_, &QPushButton::clicked, this, &MainDialog::OnCopy);
    connect(recordButton_, &QPushButton::clicked, this, &MainDialog::OnRecord);

    // Ctrl+C and F1 are taken before any control sees them, as an accelerator table would.
    qApp->installEventFilter(this);
}

MainDialog::~MainDialog() {
    // The job thread must be gone before any member it may reach (the working set, through the
    // bridge the window itself).
    job_.reset();
}

void MainDialog::setVisible(bool visible) {
    if (visible && !initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void MainDialog::OnInitDialog() {
    const QIcon icon = appIcon();
    if (!icon.isNull()) setWindowIcon(icon);
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    CheckStoreVersion(key, *this);
    workingSet_.releaseAll();
    sizeCombo_->setCurrentIndex(kDefaultSizeIndex);
    ShowRecords(*this);
    key.Close();
    // A records store that could not be used is told once, after the records view.
    if (const std::string notice = takeStoreNotice(); !notice.empty()) ShowError(notice);
    calcButton_->setFocus(Qt::OtherFocusReason);
}

QPushButton* MainDialog::button(MainButton which) const {
    switch (which) {
        case MainButton::Calc:
            return calcButton_;
        case MainButton::Stop:
            return stopButton_;
        case MainButton::Copy:
            return copyButton_;
        case MainButton::Record:
            return recordButton_;
    }
    return nullptr;
}

// ---- JobHost ----

int MainDialog::SelectedSizeIndex() {
    return sizeCombo_->currentIndex();
}

void MainDialog::AddListLine(const std::string& text) {
    const QString line = fromUtf8(text);
    resultList_->addItem(line);
    if (jobActive_) {
        // The last step shows only at the end of a complete run.
        progressBar_->setValue(std::min(progressBar_->value() + 1, progressBar_->maximum() - 1));
    }
    emit listLineAdded(line);
}

void MainDialog::ClearList() {
    resultList_->clear();
}

void MainDialog::ClearResultText() {
    resultText_.clear();
}

void MainDialog::AppendResultText(const std::string& text) {
    resultText_ += text;
}

void MainDialog::EnableButton(MainButton which, bool on) {
    button(which)->setEnabled(on);
}

void MainDialog::ShowMessage(const std::string& text) {
    presenter_->showMessage(messageParent(), MessageKind::Plain, text);
}

void MainDialog::ShowAppMessage(const std::string& text) {
    presenter_->showMessage(messageParent(), MessageKind::Application, text);
}

void MainDialog::ShowError(const std::string& text) {
    presenter_->showMessage(messageParent(), MessageKind::Error, text);
}

std::string MainDialog::SizeDisplayName(int sizeIndex) {
    return sizeCombo_->itemText(sizeIndex).toStdString();
}

QWidget* MainDialog::messageParent() {
    // At start-up the version message comes before the window is shown.
    return isVisible() ? this : nullptr;
}

// ---- Handlers ----

void MainDialog::OnCalc() {
    const int sizeIndex = SelectedSizeIndex();
    if (sizeIndex >= kFirstLargeSize && sizeIndex < kSizeCount &&
        !presenter_->askYesNo(messageParent(), kLargeSizeQuestion)) {
        return;
    }
    EnableButton(MainButton::Copy, false);
    EnableButton(MainButton::Calc, false);
    EnableButton(MainButton::Record, false);
    ClearList();

    // A previous job re-enables "Calc" just before its last message, so it may still be on its
    // way out; its end is taken in here. (Halting it drops that message if it has not yet come
    // up, which only a press within that instant can cause; waiting for it instead would block
    // the window that has to show it.)
    if (jobActive_) {
        job_->halt();
        finishJob();
    }
    job_.reset();

    jobSizeIndex_ = -1;
    jobThreads_ = threads_;
    progressBar_->setRange(0, 1);
    progressBar_->setValue(0);
    setStatus(QString());
    statusLine_->setToolTip(QString());
    jobActive_ = true;
    JobOptions options = jobOptions_;
    options.threads = jobThreads_;
    job_ = std::make_unique<JobRun>(*this, std::move(options));
    connect(job_.get(), &JobRun::ended, this, &MainDialog::onJobEnded);
    job_->start();
}

void MainDialog::jobReadSize(int sizeIndex) {
    jobSizeIndex_ = sizeIndex;
    if (sizeIndex < 0 || sizeIndex >= kSizeCount) return;
    progressBar_->setRange(0, kRunLinesBesidesLoops + (jobThreads_ > 1 ? 1 : 0) +
                                  CalcJob::expectedIterations(sizeIndex));
    progressBar_->setValue(0);
    setStatus(QStringLiteral("%1: running...").arg(runName()));
}

void MainDialog::OnStop() {
    if (!jobActive_ || stopping_) return;
    stopping_ = true;
    EnableButton(MainButton::Stop, false);
    // From here on nothing of the job reaches the window.
    job_->halt();
    ShowMessage(kStopMessage);
    waitForJobEnd();
    job_->join();
    workingSet_.releaseAll();
    jobActive_ = false;
    stopping_ = false;
    setStatus(QStringLiteral("%1: stopped").arg(runName()));
    if (!closing_) {
        EnableButton(MainButton::Calc, true);
        EnableButton(MainButton::Record, true);
        ShowMessage(kStoppedMessage);
    }
    emit jobFinished(job_->exitCode());
}

void MainDialog::waitForJobEnd() {
    // The job ends by itself within a fraction of a second of its stop request. The window keeps
    // serving its event loop meanwhile, so it can never deadlock against the job.
    QEventLoop loop;
    connect(job_.get(), &JobRun::ended, &loop, &QEventLoop::quit);
    if (!job_->hasEnded()) loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void MainDialog::onJobEnded() {
    if (sender() != job_.get()) return;    // an earlier job, already taken in
    if (!jobActive_ || stopping_) return;  // the stop handler takes in a stopped job itself
    finishJob();
}

void MainDialog::finishJob() {
    job_->join();
    workingSet_.releaseAll();  // empty already unless the job ended abnormally
    jobActive_ = false;
    const unsigned exitCode = job_->exitCode();
    const QString name = runName();
    switch (exitCode) {
        case kJobComplete:
        case kJobOutputFailed: {
            const CalcJob& job = job_->job();
            lastRunMilliseconds_ = job.totalMilliseconds();
            progressBar_->setValue(progressBar_->maximum());
            // A result that failed its verification is never recorded; say so where the time is.
            const bool wrong = job.firstWrongIteration() != 0 ||
                               job.digitsVerdict().status == DigitsVerdict::Status::Wrong;
            QString text =
                QStringLiteral("%1: %2 ms").arg(name).arg(lastRunMilliseconds_, 0, 'f', 3);
            if (!job.clockCheck().verified) text += QStringLiteral(" (time unverified)");
            if (wrong)
                text += QStringLiteral(", WRONG result");
            else if (job.digitsVerdict().verified())
                text += QStringLiteral(", verified");
            if (exitCode == kJobOutputFailed) text += QStringLiteral(" (no pi.dat)");
            setStatus(text);
            statusLine_->setToolTip(fromUtf8(job.verdictText()));
            break;
        }
        case kJobAllocationFailure:
            progressBar_->setValue(0);
            setStatus(QStringLiteral("%1: Allocation Failure!").arg(name));
            break;
        case kJobStopped:  // a stop that came with the window's closing
            setStatus(QStringLiteral("%1: stopped").arg(name));
            break;
        default:  // no size selected, or the job failed unexpectedly
            setStatus(QString());
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
    emit jobFinished(exitCode);
}

void MainDialog::OnCopy() {
    CopyTextToClipboard(resultText_);
}

void MainDialog::OnCopyCommand() {
    if (copyButton_->isEnabled()) OnCopy();
}

void MainDialog::OnRecord() {
    ShowRecords(*this);
}

void MainDialog::CopyTextToClipboard(const std::string& text) {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(fromUtf8(text));
}

void MainDialog::showAbout() {
    AboutDialog about(this);
    about.exec();
}

std::unique_ptr<QMenu> MainDialog::makeContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    QAction* about = menu->addAction(QString::fromUtf8(kAboutMenuItem));
    connect(about, &QAction::triggered, this, &MainDialog::showAbout);
    menu->addSeparator();
    // Children of the menu, so they go with it.
    QMenu* threads = menu->addMenu(QString::fromLatin1(kThreadsMenuTitle));
    auto* group = new QActionGroup(threads);
    for (const int count : threadChoices(usableThreads_)) {
        QAction* item = threads->addAction(fromUtf8(threadChoiceLabel(count, usableThreads_)));
        item->setCheckable(true);
        item->setChecked(count == threads_);
        item->setData(count);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, count] { chooseThreads(count); });
    }
    threads->setEnabled(!jobActive_);
    return menu;
}

void MainDialog::chooseThreads(int count) {
    if (jobActive_ || count < 1 || count == threads_) return;
    threads_ = count;
    // Says which runs come next, in place of the last run's line.
    setStatus(count == 1 ? QString() : fromUtf8(threadCountText(count)));
    statusLine_->setToolTip(QString());
}

void MainDialog::setStatus(const QString& text) {
    statusLine_->setText(text);
}

QString MainDialog::runName() const {
    return fromUtf8(runStatusName(sizeCombo_->itemText(jobSizeIndex_).toStdString(), jobThreads_));
}

// ---- Window events ----

void MainDialog::done(int result) {
    // Esc, the close box and Enter end the program at any time, also during a run: the job is
    // halted here and its thread joined when the window is destroyed.
    closing_ = true;
    if (jobActive_) job_->halt();
    QDialog::done(result);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    // Enter while no button has the focus ends the dialog like "OK"; a focused button takes
    // Enter itself.
    if (enter && modifiers == Qt::NoModifier && !qobject_cast<QPushButton*>(focusWidget())) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    // The toolkit cannot add to the window manager's window menu, so the About item is here.
    makeContextMenu()->exec(event->globalPos());
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_C && modifiers == Qt::ControlModifier) {
        OnCopyCommand();
        return true;
    }
    if (key->key() == Qt::Key_F1 && modifiers == Qt::NoModifier) {
        showAbout();
        return true;
    }
    return false;
}

}  // namespace oskelon::ui
