#include "ui/pi_app.h"

#include <QComboBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "ui/app_icon.h"
#include "ui/main_dialog.h"
#include "ui/message_presenter.h"
#include "ui/ui_font.h"

namespace oskelon::ui {
namespace {

constexpr const char* kScreenshotVariable = "OSKELON_SCREENSHOT";
// The screenshot run gives up after this long (a size-0 run takes well under a second).
constexpr int kScreenshotTimeoutMs = 120'000;

// Messages of the unattended screenshot run: written to standard error, questions answered Yes.
class ConsolePresenter : public MessagePresenter {
  public:
    void showMessage(QWidget*, MessageKind, const std::string& text) override {
        std::fprintf(stderr, "oskelon: message: %s\n", messageText(text).toUtf8().constData());
    }
    bool askYesNo(QWidget*, const std::string& text) override {
        std::fprintf(stderr, "oskelon: question (Yes): %s\n",
                     messageText(text).toUtf8().constData());
        return true;
    }
};

}  // namespace

PiApp::PiApp(int& argc, char** argv) : QApplication(argc, argv) {
    // The application's name stays the executable's name; it is the caption of its messages.
    setDesktopFileName(QStringLiteral("oskelon"));
    const QIcon icon = appIcon();
    if (!icon.isNull()) setWindowIcon(icon);
    setFont(uiFont());
}

int PiApp::InitInstance() {
    const QString screenshotPath = qEnvironmentVariable(kScreenshotVariable);
    if (screenshotPath.isEmpty()) {
        MainDialog dialog;
        dialog.exec();
        return 0;
    }

    MainDialog dialog(std::make_shared<ConsolePresenter>());
    int status = 1;
    QObject::connect(&dialog, &MainDialog::jobFinished, &dialog, [&](unsigned exitCode) {
        if (exitCode == kJobComplete && dialog.grab().save(screenshotPath, "PNG")) {
            std::fprintf(stderr, "oskelon: saved %s\n", screenshotPath.toUtf8().constData());
            status = 0;
        } else {
            std::fprintf(stderr, "oskelon: no screenshot (run exit code %u)\n", exitCode);
        }
        dialog.accept();
    });
    QTimer::singleShot(0, &dialog, [&] {
        dialog.sizeCombo()->setCurrentIndex(0);
        dialog.button(MainButton::Calc)->click();
    });
    QTimer::singleShot(kScreenshotTimeoutMs, &dialog, [&] {
        std::fprintf(stderr, "oskelon: the screenshot run did not end in time\n");
        dialog.reject();
    });
    dialog.exec();
    return status;
}

}  // namespace oskelon::ui
