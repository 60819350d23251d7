// The window at start-up: the version message on a fresh store only, the size list, the button
// states, the records view, the focus; and the layout of the fixed-size window.
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QStyleOptionComboBox>
#include <filesystem>
#include <fstream>

#include "ui/ui_font.h"
#include "ui_support.h"

namespace oskelon::test {
namespace {

const std::vector<std::string> kSizeItems = {"1.6万桁", "3.2万桁", "6.5万桁",  "13万桁",
                                             "26万桁",  "52万桁",  "104万桁",  "209万桁",
                                             "419万桁", "838万桁", "1677万桁", "3355万桁"};

const std::string kVersionMessage =
    "Version1.0から1.1へのアップで、Codeの出力アルゴリズムが変更されたため\r\n記録を消去します";

using StartUp = WindowTest;

TEST_F(StartUp, FreshStoreShowsTheVersionMessageBeforeTheWindowThenTheEmptyRecords) {
    show();
    ASSERT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(presenter->messages[0].text, kVersionMessage);
    EXPECT_EQ(presenter->messages[0].kind, MessageKind::Plain);
    EXPECT_FALSE(presenter->messages[0].windowVisible);

    EXPECT_EQ(window->windowTitle().toStdString(), "Oskelon Version 1.2");
    ASSERT_EQ(window->sizeCombo()->count(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(window->sizeCombo()->itemText(i).toStdString(), kSizeItems[i]) << i;
    EXPECT_EQ(window->sizeCombo()->currentIndex(), 6);
    EXPECT_EQ(window->SelectedSizeIndex(), 6);
    EXPECT_EQ(window->SizeDisplayName(11), "3355万桁");
    EXPECT_EQ(window->SizeDisplayName(12), "");
    EXPECT_EQ(buttonStates(*window), kIdle);
    // The focus of the window (it has it once active; without a window manager it may not be).
    EXPECT_EQ(window->focusWidget(), window->button(MainButton::Calc));
    EXPECT_TRUE(window->workingSet().empty());

    std::vector<std::string> expectedList = {"<Oskelon result>", ""};
    std::string expectedText = "<Oskelon result>\r\n\r\n";
    for (const std::string& name : kSizeItems) {
        expectedList.push_back("未計算 : [" + name + "]");
        expectedText += "未計算 : [" + name + "]\r\n";
    }
    EXPECT_EQ(listLines(*window), expectedList);
    EXPECT_EQ(window->resultText(), expectedText);
}

// A damaged store: the window still starts, shows the view of a new store, tells the user once
// and keeps the damaged file under another name.
TEST_F(StartUp, ADamagedStoreIsKeptAndToldOnce) {
    const std::filesystem::path store = dir.storeFile();
    std::filesystem::create_directories(store.parent_path());
    const std::string garbage(6000, '\x42');
    { std::ofstream(store, std::ios::binary) << garbage; }
    show();
    ASSERT_EQ(presenter->messages.size(), 2u);
    EXPECT_EQ(presenter->messages[0].text, kVersionMessage);
    EXPECT_EQ(presenter->messages[1].kind, MessageKind::Error);
    EXPECT_NE(presenter->messages[1].text.find("was damaged"), std::string::npos);
    EXPECT_EQ(window->resultList()->count(), 14);
    EXPECT_EQ(buttonStates(*window), kIdle);
    int copies = 0;
    for (const auto& e : std::filesystem::directory_iterator(store.parent_path())) {
        if (e.path().filename().string().find(".damaged-") != std::string::npos) {
            EXPECT_EQ(readFile(e.path().string()), garbage);
            ++copies;
        }
    }
    EXPECT_EQ(copies, 1);
}

TEST_F(StartUp, SecondStartOnTheSameStoreShowsNoMessage) {
    show();
    ASSERT_EQ(presenter->messages.size(), 1u);
    window.reset();

    auto second = std::make_shared<FakePresenter>();
    MainDialog again(second);
    again.show();
    EXPECT_TRUE(second->messages.empty());
    EXPECT_EQ(again.resultList()->count(), 14);
    EXPECT_EQ(buttonStates(again), kIdle);
}

TEST_F(StartUp, CopyAndCtrlCCopyTheRecordsTextWithItsCrLf) {
    show();
    QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
    window->button(MainButton::Copy)->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), window->resultText());
    EXPECT_NE(window->resultText().find("\r\n"), std::string::npos);

    for (QWidget* target :
         {static_cast<QWidget*>(window->resultList()), static_cast<QWidget*>(window->sizeCombo()),
          static_cast<QWidget*>(window->button(MainButton::Record))}) {
        QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
        QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), window->resultText())
            << target->metaObject()->className();
    }
    // Ctrl+Shift+C is another key.
    QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
    QTest::keyClick(window->resultList(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("sentinel"));
}

TEST_F(StartUp, CtrlCDoesNothingWhileCopyIsDisabled) {
    show();
    window->EnableButton(MainButton::Copy, false);
    QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
    QTest::keyClick(window->resultList(), Qt::Key_C, Qt::ControlModifier);
    window->OnCopyCommand();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("sentinel"));
}

TEST_F(StartUp, EscapeAndTheCloseBoxEndTheDialogEnterEndsItOnlyWithoutAButtonFocused) {
    show();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);

    MainDialog closeBox(presenter);
    closeBox.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&closeBox));
    EXPECT_TRUE(closeBox.close());
    EXPECT_FALSE(closeBox.isVisible());

    MainDialog enter(presenter);
    enter.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&enter));
    enter.sizeCombo()->setFocus();
    QTest::keyClick(enter.sizeCombo(), Qt::Key_Return);
    EXPECT_FALSE(enter.isVisible());
    EXPECT_EQ(enter.result(), QDialog::Accepted);
}

TEST(WindowLayout, FixedWindowWithTheTemplatesArrangementAndCaptionsThatFit) {
    TempDir dir;
    auto presenter = std::make_shared<FakePresenter>();
    MainDialog window(presenter);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));

    // The top row: size list, Calc, Stop, Copy, Record, left to right without overlap.
    std::vector<QWidget*> row = {window.sizeCombo(), window.button(MainButton::Calc),
                                 window.button(MainButton::Stop), window.button(MainButton::Copy),
                                 window.button(MainButton::Record)};
    for (std::size_t i = 1; i < row.size(); ++i) {
        EXPECT_LE(row[i - 1]->geometry().right(), row[i]->geometry().left()) << i;
        EXPECT_EQ(row[i - 1]->geometry().top(), row[i]->geometry().top()) << i;
    }
    const QRect group = window.resultGroup()->geometry();
    const QRect list = window.resultList()->geometry();
    EXPECT_TRUE(group.contains(list));
    EXPECT_GT(group.top(), window.button(MainButton::Calc)->geometry().bottom());
    EXPECT_GT(window.progressBar()->geometry().top(), group.bottom());
    EXPECT_GT(window.statusLine()->geometry().top(), window.progressBar()->geometry().bottom());
    const QRect client = window.rect();
    for (QWidget* child : window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isVisible()) {
            EXPECT_TRUE(client.contains(child->geometry())) << child->metaObject()->className();
        }
    }
    EXPECT_EQ(window.resultList()->selectionMode(), QAbstractItemView::NoSelection);

    // Tab order as in the template: Calc, the size list, Stop, Copy, the list, Record.
    std::vector<QWidget*> tabOrder;
    QWidget* next = window.button(MainButton::Calc);
    while (tabOrder.size() < 6) {
        if (next->focusPolicy() & Qt::TabFocus) tabOrder.push_back(next);
        next = next->nextInFocusChain();
    }
    EXPECT_EQ(tabOrder, (std::vector<QWidget*>{window.button(MainButton::Calc), window.sizeCombo(),
                                               window.button(MainButton::Stop),
                                               window.button(MainButton::Copy), window.resultList(),
                                               window.button(MainButton::Record)}));
    EXPECT_EQ(window.resultGroup()->title(), QStringLiteral("Result View"));

    // Every caption and size name fits its control with the window's font.
    const QFontMetrics metrics(window.font());
    for (MainButton b :
         {MainButton::Calc, MainButton::Stop, MainButton::Copy, MainButton::Record}) {
        QPushButton* button = window.button(b);
        EXPECT_LE(metrics.horizontalAdvance(button->text()) + 4, button->width())
            << button->text().toStdString();
    }
    // The size names against the text field the style leaves beside the combo's arrow.
    QComboBox* combo = window.sizeCombo();
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = false;
    option.frame = true;
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    for (int i = 0; i < combo->count(); ++i) {
        // (the label is drawn a couple of pixels in from each side of the field)
        EXPECT_LE(metrics.horizontalAdvance(combo->itemText(i)) + 4, field.width())
            << combo->itemText(i).toStdString();
    }
    // The list shows a complete size-0 log (19 lines) without scrolling.
    EXPECT_GE(window.resultList()->viewport()->height() / window.resultList()->sizeHintForRow(0),
              19);
}

TEST(WindowFont, AJapaneseGothicWhereOneIsInstalled) {
    TempDir dir;
    MainDialog window(std::make_shared<FakePresenter>());
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP"))) {
        EXPECT_EQ(ui::japaneseGothicFamily(), QStringLiteral("Noto Sans CJK JP"));
        EXPECT_EQ(QFontInfo(window.font()).family(), QStringLiteral("Noto Sans CJK JP"));
    } else {
        GTEST_SKIP() << "Noto Sans CJK JP is not installed";
    }
    EXPECT_EQ(window.font().pointSize(), 9);
}

}  // namespace
}  // namespace oskelon::test
