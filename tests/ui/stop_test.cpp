// "Stop" and closing the window during a run: the job is halted at once, nothing of it reaches the
// window or the disk after the press, its blocks are freed exactly once, the buttons end right,
// and the window never waits for the job beyond its prompt end.
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "block_tracker.h"
#include "ui/job_run.h"
#include "ui_support.h"

namespace oskelon::test {
namespace {

using Clock = std::chrono::steady_clock;

const std::string kStopMessage =
    "計算を中断します\r\n大きな桁数の計算を中断する場合\r\n中断処理に時間がかかります";

// The longest a stopped job may take to end, from the press to the job's return. The sanitizers
// slow the arithmetic several times over.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kStopBoundMs = 3000;
#else
constexpr double kStopBoundMs = 500;
#endif

void clearRecord(int sizeIndex) {
    RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
    RecordNames names;
    GetRecordNames(sizeIndex, names);
    key.WriteDword(names.seconds.c_str(), noRecord);
}

bool contains(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) return true;
    return false;
}

// Files the job may have left in the directory.
std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

class Stop : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        show();
        presenter->messages.clear();
        // While the stop message is up the list must not grow: look for a while.
        presenter->whileShown = [this](const Shown& shown) {
            if (shown.text != kStopMessage) return;
            QTest::qWait(20);
            EXPECT_EQ(listLines(*window), shown.list) << "the list grew under the stop message";
            EXPECT_EQ(window->resultText(), shown.resultText);
        };
    }

    void prepareRun(int sizeIndex) {
        std::filesystem::remove(piFile());
        clearRecord(sizeIndex);
        resetBlockCounts();
        window->workingSet().setAllocator(trackingAllocator());
        presenter->messages.clear();
    }

    // The state after a stop whose message saw `atPress`.
    void expectStoppedCleanly(const Shown& atPress, int sizeIndex) {
        EXPECT_EQ(atPress.kind, MessageKind::Plain);
        EXPECT_EQ(atPress.buttons, (ButtonStates{false, false, false, false}));
        ASSERT_EQ(presenter->messages.size(), 2u) << presenter->messages.back().text;
        EXPECT_EQ(presenter->messages[1].text, "stop of calculating");
        EXPECT_EQ(presenter->messages[1].buttons, (ButtonStates{true, false, false, true}));
        EXPECT_EQ(buttonStates(*window), (ButtonStates{true, false, false, true}));
        EXPECT_FALSE(window->jobActive());

        // Nothing after the press: not in the list, the text, the file or the store.
        EXPECT_EQ(listLines(*window), atPress.list);
        EXPECT_EQ(window->resultText(), atPress.resultText);
        if (!contains(atPress.list, "writing pi.dat...")) {
            EXPECT_FALSE(std::filesystem::exists(piFile()));
        }
        if (!contains(atPress.list, "Code ")) {
            EXPECT_EQ(readRecord(sizeIndex).seconds, noRecord);
        }
        for (const std::string& name : filesIn(dir.path())) EXPECT_EQ(name, "pi.dat");

        // The working set: what was obtained is freed, once.
        EXPECT_TRUE(window->workingSet().empty());
        EXPECT_EQ(blockCounts().live(), 0);
        EXPECT_EQ(blockCounts().doubleFreed, 0);
        EXPECT_EQ(window->lastJob()->exitCode(), kJobStopped);
    }
};

// A press right after each list line of a size-0 run, from the first on which "Stop" is enabled
// to the code line, which comes after the job has freed its working set.
TEST_F(Stop, AfterEveryListLineOfARun) {
    for (int k = 2; k <= 19; ++k) {
        SCOPED_TRACE("press after list line " + std::to_string(k));
        prepareRun(0);
        int lines = 0;
        auto press =
            QObject::connect(window.get(), &MainDialog::listLineAdded, [&](const QString&) {
                // Queued from inside the job's call, the press comes before the job's next call.
                if (++lines == k)
                    QMetaObject::invokeMethod(window->button(MainButton::Stop), "click",
                                              Qt::QueuedConnection);
            });
        ASSERT_TRUE(runToEnd(0));
        QObject::disconnect(press);

        ASSERT_FALSE(presenter->messages.empty());
        const Shown atPress = presenter->messages[0];
        ASSERT_EQ(atPress.text, kStopMessage);
        EXPECT_EQ(atPress.list.size(), static_cast<std::size_t>(k));
        expectStoppedCleanly(atPress, 0);
        EXPECT_EQ(blockCounts().allocated, 9);
        // The file is replaced before the code line only.
        EXPECT_EQ(std::filesystem::exists(piFile()), k == 19);
    }
    // "Record" after a stopped run shows the records view and enables "Copy".
    window->button(MainButton::Record)->click();
    EXPECT_EQ(window->resultList()->item(0)->text(), QStringLiteral("<Oskelon result>"));
    EXPECT_EQ(buttonStates(*window), kIdle);
}

// Presses at random moments of runs of sizes 0 to 7; reports the worst time from a press to the
// job's end. OSKELON_UI_STOPS sets the number of stops (default 50), OSKELON_UI_SEED the seed.
TEST_F(Stop, AtRandomMomentsAcrossSizes) {
    const char* stopsVariable = std::getenv("OSKELON_UI_STOPS");
    const int stopsWanted = stopsVariable != nullptr ? std::atoi(stopsVariable) : 50;
    const char* seedVariable = std::getenv("OSKELON_UI_SEED");
    const unsigned seed = seedVariable != nullptr
                              ? static_cast<unsigned>(std::strtoul(seedVariable, nullptr, 10))
                              : std::random_device{}();
    std::printf("[ stop stress ] seed %u\n", seed);
    std::mt19937 random(seed);

    int stops = 0;
    int completed = 0;
    double worstMs = 0;
    int worstSize = -1;
    std::vector<double> worstPerSize(8, 0.0);
    std::vector<int> stopsPerSize(8, 0);
    for (int attempt = 0; stops < stopsWanted && attempt < 4 * stopsWanted; ++attempt) {
        const int size = attempt % 8;
        SCOPED_TRACE("attempt " + std::to_string(attempt) + ", size " + std::to_string(size));
        prepareRun(size);
        window->sizeCombo()->setCurrentIndex(size);
        window->button(MainButton::Calc)->click();
        QPushButton* stop = window->button(MainButton::Stop);
        ASSERT_TRUE(waitUntil([&] { return stop->isEnabled() || !window->jobActive(); }, 60000));

        // Up to about the run's length for the small sizes, the first 1.5 s for the large ones.
        const int longest = std::min(1500, 30 << size);
        const int delayMs = std::uniform_int_distribution<int>(0, longest)(random);
        QElapsedTimer delay;
        delay.start();
        while (delay.elapsed() < delayMs && stop->isEnabled()) QTest::qWait(1);

        if (!stop->isEnabled()) {  // the run ended first
            ASSERT_TRUE(waitUntil([&] { return !window->jobActive(); }, 60000));
            EXPECT_EQ(window->lastJob()->exitCode(), kJobComplete);
            ++completed;
            continue;
        }
        const Clock::time_point pressed = Clock::now();
        stop->click();  // returns after the stop has been carried out
        ASSERT_FALSE(window->jobActive());
        const double ms =
            std::chrono::duration<double, std::milli>(window->lastJob()->endedAt() - pressed)
                .count();
        ++stops;
        ++stopsPerSize[static_cast<std::size_t>(size)];
        worstPerSize[static_cast<std::size_t>(size)] =
            std::max(worstPerSize[static_cast<std::size_t>(size)], ms);
        if (ms > worstMs) {
            worstMs = ms;
            worstSize = size;
        }
        ASSERT_FALSE(presenter->messages.empty());
        ASSERT_EQ(presenter->messages[0].text, kStopMessage);
        expectStoppedCleanly(presenter->messages[0], size);
    }
    std::printf(
        "[ stop stress ] %d stops, %d runs ended first; worst press-to-end %.1f ms (size %d)\n",
        stops, completed, worstMs, worstSize);
    for (int s = 0; s < 8; ++s)
        std::printf("[ stop stress ]   size %d: %d stops, worst %.1f ms\n", s,
                    stopsPerSize[static_cast<std::size_t>(s)],
                    worstPerSize[static_cast<std::size_t>(s)]);
    RecordProperty("stops", stops);
    RecordProperty("worst_press_to_end_us", static_cast<int>(worstMs * 1000));
    EXPECT_GE(stops, stopsWanted);
    EXPECT_LT(worstMs, kStopBoundMs);
}

// Esc or the close box during a run: the window goes at once, its destruction (which joins the
// job's thread) takes well under a second, and nothing of the job appears afterwards.
TEST_F(Stop, ClosingTheWindowDuringARun) {
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Esc" : "close box");
        if (!window) {
            window = std::make_unique<MainDialog>(presenter);
            presenter->window = window.get();
            JobOptions options;
            options.outputFile = piFile();
            window->setJobOptions(options);
            show();
        }
        prepareRun(7);
        window->sizeCombo()->setCurrentIndex(7);
        window->button(MainButton::Calc)->click();
        ASSERT_TRUE(
            waitUntil([&] { return window->button(MainButton::Stop)->isEnabled(); }, 60000));
        QTest::qWait(150);

        const Clock::time_point closing = Clock::now();
        if (escape)
            QTest::keyClick(window.get(), Qt::Key_Escape);
        else
            EXPECT_TRUE(window->close());
        EXPECT_FALSE(window->isVisible());
        presenter->window = nullptr;
        window.reset();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - closing).count();
        std::printf("[ close ] window gone %.1f ms after the close\n", ms);
        EXPECT_LT(ms, 1000.0);

        QTest::qWait(100);
        EXPECT_TRUE(presenter->messages.empty());
        EXPECT_FALSE(std::filesystem::exists(piFile()));
        EXPECT_EQ(readRecord(7).seconds, noRecord);
        EXPECT_EQ(blockCounts().live(), 0);
        EXPECT_EQ(blockCounts().doubleFreed, 0);
    }
}

// The window goes while the job waits for one of its calls that the window has not yet taken:
// the destruction releases the job instead of waiting for it, and the job's pending call is
// never carried out.
TEST_F(Stop, WindowDestroyedWhileTheJobWaitsForIt) {
    prepareRun(3);
    window->sizeCombo()->setCurrentIndex(3);
    window->button(MainButton::Calc)->click();
    ASSERT_TRUE(waitUntil([&] { return window->button(MainButton::Stop)->isEnabled(); }, 60000));
    // No event processing from here on: the job's next call stays queued and the job waits.
    QThread::msleep(300);
    const ui::JobRun* job = window->lastJob();
    ASSERT_FALSE(job->hasEnded());

    presenter->window = nullptr;
    const Clock::time_point start = Clock::now();
    window.reset();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    EXPECT_LT(ms, 1000.0);
    QTest::qWait(50);  // the queued call is gone with the window
    EXPECT_TRUE(presenter->messages.empty());
    EXPECT_EQ(blockCounts().live(), 0);
    EXPECT_EQ(blockCounts().doubleFreed, 0);
    EXPECT_FALSE(std::filesystem::exists(piFile()));
}

}  // namespace
}  // namespace oskelon::test
