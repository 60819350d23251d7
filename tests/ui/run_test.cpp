// Complete runs through the real window: the list and result text of a size-0 run as the job
// writes them, the buttons before, during and after, the clipboard, the record, the progress bar
// and the status line; the question before the large sizes; the allocation failure; an output
// file that cannot be written.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "block_tracker.h"
#include "ui/job_run.h"
#include "ui_support.h"

namespace oskelon::test {
namespace {

const std::string kLargeSizeQuestion =
    "メモリを大量に消費するため中断処理に時間がかかります\r\nそれでも実行しますか？";

// The seconds figure of a progress line such as "loop 3           past 12 sec".
std::string secondsOf(const std::string& line) {
    std::smatch match;
    if (!std::regex_search(line, match, std::regex("past ([0-9]+) sec$"))) return "?";
    return match[1];
}

class Run : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        resetBlockCounts();
        window->workingSet().setAllocator(trackingAllocator());
        show();
        presenter->messages.clear();  // the fresh store's version message
    }
};

TEST_F(Run, SizeZeroThroughTheWindow) {
    EnabledWatcher stopWatch(window->button(MainButton::Stop));
    std::vector<std::pair<std::string, ButtonStates>> duringRun;
    auto watch =
        QObject::connect(window.get(), &MainDialog::listLineAdded, [&](const QString& line) {
            duringRun.emplace_back(line.toStdString(), buttonStates(*window));
            // Ctrl+C and "Copy" do nothing while the job runs.
            QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
            QTest::keyClick(window->resultList(), Qt::Key_C, Qt::ControlModifier);
            window->button(MainButton::Copy)->click();
            EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("sentinel"))
                << line.toStdString();
        });
    QElapsedTimer wall;
    wall.start();
    ASSERT_TRUE(runToEnd(0));
    const double wallMs = static_cast<double>(wall.nsecsElapsed()) / 1e6;
    QObject::disconnect(watch);

    // The list, line by line.
    const std::vector<std::string> list = listLines(*window);
    ASSERT_EQ(list.size(), 19u);  // ten iterations at size 0
    EXPECT_EQ(list[0], "initializing...");
    EXPECT_EQ(list[1], "use memory 144 KB");
    EXPECT_EQ(list[2], "calculating PI in 16384 digits...");
    EXPECT_EQ(list[3], "");
    EXPECT_TRUE(std::regex_match(list[4], std::regex("AGM iteration past [0-9]+ sec"))) << list[4];
    for (int n = 1; n <= 10; ++n) {
        const std::string padded = n < 10 ? std::to_string(n) + std::string(11, ' ')
                                          : std::to_string(n) + std::string(9, ' ');
        EXPECT_TRUE(std::regex_match(list[4 + n], std::regex("loop " + padded + "past [0-9]+ sec")))
            << list[4 + n];
    }
    EXPECT_EQ(list[15], "");
    EXPECT_TRUE(std::regex_match(list[16], std::regex("total [0-9]+ sec\\."))) << list[16];
    EXPECT_EQ(list[17], "writing pi.dat...");
    EXPECT_TRUE(std::regex_match(list[18], std::regex("Code [0-9A-F]{1,8}"))) << list[18];

    // The result text: the same lines in their text form, each ending in CR LF.
    std::string expected =
        "initializing...\r\nuse memory 144 KB\r\n"
        "calculating PI in 16384 digits...\r\n\r\n"
        "AGM iteration \tpast " +
        secondsOf(list[4]) + " sec\r\n";
    for (int n = 1; n <= 10; ++n)
        expected += "loop " + std::to_string(n) + "\t\tpast " + secondsOf(list[4 + n]) + " sec\r\n";
    expected += "\r\n" + list[16] + "\r\n" + list[17] + "\r\n" + list[18] + "\r\n";
    EXPECT_EQ(window->resultText(), expected);

    // Buttons: all off until the working set is held, then only "Stop"; at the end message the
    // idle states; "Stop" went on once and off once.
    ASSERT_EQ(duringRun.size(), 19u);
    EXPECT_EQ(duringRun[0].second, (ButtonStates{false, false, false, false}));
    for (std::size_t i = 1; i < 18; ++i)
        EXPECT_EQ(duringRun[i].second, (ButtonStates{false, true, false, false}))
            << duringRun[i].first;
    EXPECT_EQ(stopWatch.changes, (std::vector<bool>{true, false}));
    ASSERT_EQ(presenter->messages.size(), 1u);
    EXPECT_EQ(presenter->messages[0].text, "end of calculating");
    EXPECT_EQ(presenter->messages[0].kind, MessageKind::Plain);
    EXPECT_EQ(presenter->messages[0].buttons, kIdle);
    EXPECT_EQ(buttonStates(*window), kIdle);

    // The working set: nine blocks, each freed once, none left.
    EXPECT_EQ(blockCounts().allocated, 9);
    EXPECT_EQ(blockCounts().freed, 9);
    EXPECT_EQ(blockCounts().doubleFreed, 0);
    EXPECT_TRUE(window->workingSet().empty());

    // pi.dat: "3.", 16,384 digits, "e0" and a line end.
    const std::string digits = readFile(piFile());
    EXPECT_EQ(digits.size(), 2u + 16384u + 3u);
    EXPECT_EQ(digits.rfind("3.14159265358979323846264338327950288", 0), 0u);
    EXPECT_EQ(digits.substr(digits.size() - 3), "e0\n");

    // Progress bar full; the status line gives the run's exact time, which lies within the
    // wall time of the run and agrees with the whole seconds of the total line.
    EXPECT_EQ(window->progressBar()->value(), window->progressBar()->maximum());
    EXPECT_EQ(window->progressBar()->maximum(), 19);
    QRegularExpressionMatch status =
        QRegularExpression(
            QStringLiteral(
                "^1\\.6万桁: ([0-9]+\\.[0-9]{3}) ms( \\(time unverified\\))?, verified$"))
            .match(window->statusLine()->text());
    ASSERT_TRUE(status.hasMatch()) << window->statusLine()->text().toStdString();
    const double ms = status.captured(1).toDouble();
    EXPECT_GT(ms, 0.0);
    EXPECT_LT(ms, wallMs);
    const double totalSeconds = std::stod(list[16].substr(6));
    EXPECT_LE(std::abs(ms / 1000.0 - totalSeconds), 1.0);

    // Copy and Ctrl+C now put exactly the log on the clipboard.
    QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
    window->button(MainButton::Copy)->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);
    QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
    QTest::keyClick(window->sizeCombo(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);

    // "Record" shows the new record of size 0 with the run's total and code.
    window->button(MainButton::Record)->click();
    const std::vector<std::string> records = listLines(*window);
    const auto at = std::find(records.begin(), records.end(), "<1.6万桁>");
    ASSERT_NE(at, records.end());
    ASSERT_LT(at + 3, records.end());
    EXPECT_EQ(*(at + 1), "[total]:" + list[16].substr(6, list[16].size() - 11) + "s");
    EXPECT_EQ(*(at + 2), "[code]:" + list[18].substr(5));
    EXPECT_EQ((at + 3)->rfind("[os]:", 0), 0u);
    EXPECT_GT((at + 3)->size(), 5u);
    EXPECT_EQ(readRecord(0).code, list[18].substr(5));
    EXPECT_EQ(buttonStates(*window), kIdle);
    EXPECT_EQ(window->resultText().rfind("<Oskelon result>\r\n\r\n", 0), 0u);
}

TEST_F(Run, ChangingTheSizeDuringARunChangesNothingOfIt) {
    QObject::connect(window.get(), &MainDialog::listLineAdded, [&](const QString& line) {
        if (line == QStringLiteral("initializing...")) window->sizeCombo()->setCurrentIndex(3);
    });
    ASSERT_TRUE(runToEnd(0));
    const std::vector<std::string> list = listLines(*window);
    ASSERT_GT(list.size(), 2u);
    EXPECT_EQ(list[2], "calculating PI in 16384 digits...");
    EXPECT_EQ(window->sizeCombo()->currentIndex(), 3);
    EXPECT_NE(readRecord(0).seconds, noRecord);
    EXPECT_EQ(readRecord(3).seconds, noRecord);
    EXPECT_EQ(window->progressBar()->maximum(), 19);
}

TEST_F(Run, LargeSizesAskFirstAndNoChangesNothing) {
    const std::vector<std::string> listBefore = listLines(*window);
    const std::string textBefore = window->resultText();
    for (int size = 8; size <= 11; ++size) {
        presenter->answers = {false};
        window->sizeCombo()->setCurrentIndex(size);
        window->button(MainButton::Calc)->click();
        ASSERT_EQ(presenter->questions.size(), static_cast<std::size_t>(size - 7));
        EXPECT_EQ(presenter->questions.back(), kLargeSizeQuestion);
        EXPECT_EQ(buttonStates(*window), kIdle);
        EXPECT_EQ(listLines(*window), listBefore);
        EXPECT_EQ(window->resultText(), textBefore);
        EXPECT_EQ(window->lastJob(), nullptr);
        EXPECT_FALSE(window->jobActive());
    }
    EXPECT_TRUE(presenter->messages.empty());
}

// The allocator fails at one slot: only "initializing..." is logged, the blocks obtained are
// freed once each, "Allocation Failure!" comes with the application's caption, "Stop" never goes
// on and the buttons end as after a complete run. Size 11 asks first (answered Yes) and size 7
// does not; neither needs its memory for this.
TEST_F(Run, AllocationFailureAtAnySlot) {
    struct Case {
        int size;
        int failingSlot;
    };
    for (const Case c : {Case{7, 0}, Case{0, 4}, Case{11, 8}}) {
        SCOPED_TRACE("size " + std::to_string(c.size) + ", slot " + std::to_string(c.failingSlot));
        resetBlockCounts();
        presenter->messages.clear();
        presenter->questions.clear();
        if (c.size >= 8) presenter->answers = {true};
        window->workingSet().setAllocator(
            trackingAllocator([&](int slot) { return slot == c.failingSlot; }));
        EnabledWatcher stopWatch(window->button(MainButton::Stop));

        ASSERT_TRUE(runToEnd(c.size));
        EXPECT_EQ(presenter->questions.size(), c.size >= 8 ? 1u : 0u);
        EXPECT_EQ(listLines(*window), (std::vector<std::string>{"initializing..."}));
        EXPECT_EQ(window->resultText(), "initializing...\r\n");
        ASSERT_EQ(presenter->messages.size(), 1u);
        EXPECT_EQ(presenter->messages[0].text, "Allocation Failure!");
        EXPECT_EQ(presenter->messages[0].kind, MessageKind::Application);
        EXPECT_EQ(presenter->messages[0].buttons, kIdle);
        EXPECT_EQ(buttonStates(*window), kIdle);
        EXPECT_TRUE(stopWatch.changes.empty());
        EXPECT_EQ(blockCounts().allocated, c.failingSlot);
        EXPECT_EQ(blockCounts().freed, c.failingSlot);
        EXPECT_EQ(blockCounts().doubleFreed, 0);
        EXPECT_TRUE(window->workingSet().empty());
        EXPECT_FALSE(std::filesystem::exists(piFile()));
        EXPECT_EQ(readRecord(c.size).seconds, noRecord);
        EXPECT_EQ(window->lastJob()->exitCode(), kJobAllocationFailure);
        EXPECT_NE(window->statusLine()->text().indexOf(QStringLiteral("Allocation Failure!")), -1);
    }
}

TEST_F(Run, UnwritableOutputFileShowsAWarningWithTheApplicationsCaption) {
    JobOptions options;
    options.outputFile = dir.file("no-such-directory/pi.dat");
    window->setJobOptions(options);
    ASSERT_TRUE(runToEnd(0));
    ASSERT_EQ(presenter->messages.size(), 2u);
    EXPECT_EQ(presenter->messages[0].kind, MessageKind::Error);
    EXPECT_NE(presenter->messages[0].text.find("no-such-directory/pi.dat"), std::string::npos);
    EXPECT_EQ(presenter->messages[1].text, "end of calculating");
    EXPECT_EQ(window->lastJob()->exitCode(), kJobOutputFailed);
    EXPECT_EQ(buttonStates(*window), kIdle);
    EXPECT_TRUE(window->statusLine()->text().endsWith(QStringLiteral(", verified (no pi.dat)")))
        << window->statusLine()->text().toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir.file("no-such-directory")));
    // The run itself counts: its record is kept.
    EXPECT_NE(readRecord(0).seconds, noRecord);
}

// A machine that computes wrongly: the run ends as usual, but the status line says the result is
// wrong and the record stays as it was; the verdict is the status line's tool tip.
TEST_F(Run, AWrongResultIsShownAndNotRecorded) {
    JobOptions options;
    options.outputFile = piFile();
    options.corruptAfterIteration = 3;
    window->setJobOptions(options);
    ASSERT_TRUE(runToEnd(0));
    EXPECT_EQ(window->lastJob()->exitCode(), kJobComplete);
    EXPECT_TRUE(window->statusLine()->text().endsWith(QStringLiteral(" ms, WRONG result")))
        << window->statusLine()->text().toStdString();
    EXPECT_NE(window->statusLine()->toolTip().indexOf(QStringLiteral("iteration 3")), -1)
        << window->statusLine()->toolTip().toStdString();
    EXPECT_EQ(readRecord(0).seconds, noRecord);
    EXPECT_EQ(buttonStates(*window), kIdle);

    options.corruptAfterIteration = 0;
    window->setJobOptions(options);
    ASSERT_TRUE(runToEnd(0));
    EXPECT_EQ(window->statusLine()->text().indexOf(QStringLiteral("WRONG")), -1);
    EXPECT_TRUE(window->statusLine()->text().endsWith(QStringLiteral(", verified")));
    EXPECT_NE(window->statusLine()->toolTip().indexOf(QStringLiteral("verified")), -1);
    EXPECT_NE(readRecord(0).seconds, noRecord);
}

TEST_F(Run, ASecondRunStartsFromScratch) {
    ASSERT_TRUE(runToEnd(0));
    const std::string first = window->resultText();
    ASSERT_TRUE(runToEnd(1));
    const std::vector<std::string> list = listLines(*window);
    ASSERT_GT(list.size(), 2u);
    EXPECT_EQ(list[0], "initializing...");
    EXPECT_EQ(list[2], "calculating PI in 32768 digits...");
    EXPECT_EQ(window->resultText().rfind("initializing...\r\n", 0), 0u);
    EXPECT_EQ(window->resultText().find("16384"), std::string::npos);
    EXPECT_EQ(blockCounts().allocated, 18);
    EXPECT_EQ(blockCounts().freed, 18);
    EXPECT_EQ(buttonStates(*window), kIdle);
}

}  // namespace
}  // namespace oskelon::test
