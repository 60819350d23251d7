// The About box and the two ways to it (the context menu item and F1), the real message boxes,
// the icon and the dialog-unit arithmetic; and PiApp running the window with real boxes.
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/dialog_units.h"
#include "ui/pi_app.h"
#include "ui_support.h"

namespace oskelon::test {
namespace {

using ui::AboutDialog;

// What the About box showed when it came up, and closes it with its "OK".
struct AboutSeen {
    bool seen = false;
    std::string caption;
    std::string text;
    bool iconShown = false;
    bool okIsDefault = false;
    bool modal = false;
};

void closeAboutWhenItComes(AboutSeen& seen) {
    QTimer::singleShot(0, [&seen] {
        auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
        if (about == nullptr) return;
        seen.seen = true;
        seen.caption = about->windowTitle().toStdString();
        seen.text = about->versionLabel()->text().toStdString();
        seen.iconShown = !about->iconLabel()->pixmap().isNull();
        seen.okIsDefault = about->okButton()->isDefault();
        seen.modal = about->isModal();
        QTest::mouseClick(about->okButton(), Qt::LeftButton);
    });
}

using AboutBox = WindowTest;

TEST_F(AboutBox, ComesFromF1AndFromTheContextMenuItemAndCloseswithOk) {
    show();
    AboutSeen fromF1;
    closeAboutWhenItComes(fromF1);
    QTest::keyClick(window->resultList(), Qt::Key_F1);
    EXPECT_TRUE(fromF1.seen);
    EXPECT_EQ(fromF1.caption, "Oskelonのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(fromF1.text, "Oskelon Version 1.2");
    EXPECT_TRUE(fromF1.iconShown);
    EXPECT_TRUE(fromF1.okIsDefault);
    EXPECT_TRUE(fromF1.modal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // A right click anywhere on the window (here: on the list, which passes it on) opens the
    // menu; its first item opens the box.
    std::string itemText;
    AboutSeen fromMenu;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || menu->actions().isEmpty()) return;
        itemText = menu->actions()[0]->text().toStdString();
        closeAboutWhenItComes(fromMenu);
        menu->setActiveAction(menu->actions()[0]);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QWidget* viewport = window->resultList()->viewport();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(10, 10),
                                 viewport->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(viewport, &rightClick);
    QTest::qWait(20);
    EXPECT_EQ(itemText, "Oskelon のﾊﾞｰｼﾞｮﾝ情報(&A)...");
    EXPECT_TRUE(fromMenu.seen);
    EXPECT_EQ(fromMenu.caption, "Oskelonのﾊﾞｰｼﾞｮﾝ情報");
}

TEST(AboutDialogLayout, FixedBoxWithIconTextAndOkInPlace) {
    AboutDialog about;
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    const QRect icon = about.iconLabel()->geometry();
    const QRect text = about.versionLabel()->geometry();
    const QRect ok = about.okButton()->geometry();
    EXPECT_LT(icon.right(), text.left());
    EXPECT_LT(text.right(), ok.left());
    EXPECT_TRUE(about.rect().contains(icon.united(text).united(ok)));
    EXPECT_LE(QFontMetrics(about.font()).horizontalAdvance(about.versionLabel()->text()),
              text.width());
}

TEST(MessageBoxes, CaptionsButtonsIconsAndLineBreaks) {
    const std::string stopText =
        "計算を中断します\r\n大きな桁数の計算を中断する場合\r\n中断処理に時間がかかります";
    auto plain = ui::makeMessageBox(nullptr, MessageKind::Plain, stopText);
    EXPECT_EQ(plain->windowTitle().trimmed(), QString());
    EXPECT_EQ(plain->text().toStdString(),
              "計算を中断します\n大きな桁数の計算を中断する場合\n中断処理に時間がかかります");
    EXPECT_EQ(plain->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(plain->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(plain->textFormat(), Qt::PlainText);

    auto app = ui::makeMessageBox(nullptr, MessageKind::Application, "Allocation Failure!");
    EXPECT_EQ(app->windowTitle(), QCoreApplication::applicationName());
    EXPECT_FALSE(app->windowTitle().isEmpty());
    EXPECT_EQ(app->standardButtons(), QMessageBox::Ok);

    auto error = ui::makeMessageBox(nullptr, MessageKind::Error, "Cannot write pi.dat");
    EXPECT_EQ(error->windowTitle(), QCoreApplication::applicationName());
    EXPECT_EQ(error->icon(), QMessageBox::Warning);

    auto question = ui::makeYesNoBox(nullptr, "a\r\nb");
    EXPECT_EQ(question->windowTitle().trimmed(), QString());
    EXPECT_EQ(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question->text(), QStringLiteral("a\nb"));

    for (QMessageBox* box : {plain.get(), app.get(), error.get(), question.get()}) {
        for (QAbstractButton* button : box->buttons())
            EXPECT_TRUE(button->icon().isNull()) << button->text().toStdString();
    }
}

TEST(MessageBoxes, TheRealPresenterWaitsForTheAnswer) {
    ui::BoxPresenter presenter;
    for (const bool yes : {true, false}) {
        QTimer::singleShot(0, [yes] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr) box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(presenter.askYesNo(nullptr, "?"), yes);
    }
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        shown = box->text() == QStringLiteral("end of calculating");
        box->button(QMessageBox::Ok)->click();
    });
    presenter.showMessage(nullptr, MessageKind::Plain, "end of calculating");
    EXPECT_TRUE(shown);
}

TEST(AppIcon, RenderedFromTheSvgAtSmallAndLargeSizes) {
    const QIcon icon = ui::appIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int side : {16, 32, 256}) {
        const QImage image = icon.pixmap(side, side).toImage();
        EXPECT_EQ(image.width(), side);
        // Opaque in the middle (the square), transparent in the corner (its rounding).
        EXPECT_EQ(qAlpha(image.pixel(side / 2, side / 2)), 255) << side;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << side;
    }
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST(DialogUnitsTest, MapsEdgesWithRoundingAndScalesWithTheFont) {
    const ui::DialogUnits units(6, 12);
    // x: 59 * 6 / 4 = 88.5 -> 89; right edge 77 * 6 / 4 = 115.5 -> 116.
    // y: 7 * 12 / 8 = 10.5 -> 11; bottom edge 21 * 12 / 8 = 31.5 -> 32.
    EXPECT_EQ(units.rect(59, 7, 18, 14), QRect(89, 11, 27, 21));
    // Neighbours share their edge: "Calc" ends where "Stop" begins.
    EXPECT_EQ(units.rect(59, 7, 18, 14).right() + 1, units.rect(77, 7, 19, 14).left());
    EXPECT_EQ(units.size(150, 257), QSize(225, 386));

    QFont small = QApplication::font();
    small.setPixelSize(12);
    QFont large = small;
    large.setPixelSize(24);
    const ui::DialogUnits a(small), b(large);
    EXPECT_EQ(a.baseY(), 12);
    EXPECT_EQ(b.baseY(), 24);
    EXPECT_GE(b.baseX(), 2 * a.baseX() - 1);
    EXPECT_LE(b.baseX(), 2 * a.baseX() + 1);
}

// PiApp with the real message boxes: the version message of a fresh store comes first, with no
// window visible yet; then the window; closing it ends InitInstance with 0.
TEST(PiAppRun, ShowsTheVersionMessageThenTheWindowAndEndsWhenItCloses) {
    TempDir dir;
    auto* app = qobject_cast<ui::PiApp*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    std::vector<std::string> seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            bool windowVisible = false;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<MainDialog*>(w) && w->isVisible()) windowVisible = true;
            seen.push_back("box:" + box->text().toStdString() +
                           (windowVisible ? " (window visible)" : ""));
            box->button(QMessageBox::Ok)->click();
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<MainDialog*>(w);
            if (window != nullptr && window->isVisible()) {
                seen.push_back("window:" + window->windowTitle().toStdString());
                window->reject();
                return;
            }
        }
    });
    poll.start(20);
    EXPECT_EQ(app->InitInstance(), 0);
    poll.stop();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0],
              "box:Version1.0から1.1へのアップで、Codeの出力アルゴリズムが変更されたため\n"
              "記録を消去します");
    EXPECT_EQ(seen[1], "window:Oskelon Version 1.2");
}

}  // namespace
}  // namespace oskelon::test
