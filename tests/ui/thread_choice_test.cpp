// The thread choice: the counts and texts both windows offer; the window's "Threads" submenu, its
// default of one thread, a choice made through the real popup, the count the run is given and
// the status line that names it, the choice locked while a job runs, and the same pi.dat on two
// threads as on one.
#include "calc/thread_choice.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>

#include "ui/job_run.h"
#include "ui_support.h"

namespace oskelon::test {
namespace {

TEST(ThreadChoices, OneToFourThenPowersOfTwoThenAll) {
    EXPECT_EQ(threadChoices(0), (std::vector<int>{1}));
    EXPECT_EQ(threadChoices(1), (std::vector<int>{1}));
    EXPECT_EQ(threadChoices(2), (std::vector<int>{1, 2}));
    EXPECT_EQ(threadChoices(3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(threadChoices(4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(threadChoices(6), (std::vector<int>{1, 2, 3, 4, 6}));
    EXPECT_EQ(threadChoices(8), (std::vector<int>{1, 2, 3, 4, 8}));
    EXPECT_EQ(threadChoices(12), (std::vector<int>{1, 2, 3, 4, 8, 12}));
    EXPECT_EQ(threadChoices(64), (std::vector<int>{1, 2, 3, 4, 8, 16, 32, 64}));
    EXPECT_EQ(threadChoices(65), (std::vector<int>{1, 2, 3, 4, 8, 16, 32, 64, 65}));
}

TEST(ThreadChoices, LabelsAndStatusNames) {
    EXPECT_EQ(threadChoiceLabel(1, 1), "1 thread (classic)");
    EXPECT_EQ(threadChoiceLabel(1, 8), "1 thread (classic)");
    EXPECT_EQ(threadChoiceLabel(2, 8), "2 threads");
    EXPECT_EQ(threadChoiceLabel(8, 8), "all 8 threads");
    EXPECT_EQ(threadChoiceLabel(2, 2), "all 2 threads");
    EXPECT_EQ(threadCountText(1), "1 thread");
    EXPECT_EQ(threadCountText(12), "12 threads");
    EXPECT_EQ(runStatusName("104万桁", 1), "104万桁");
    EXPECT_EQ(runStatusName("104万桁", 2), "104万桁 on 2 threads");
}

// What the "Threads" submenu offers: its item texts, the checked one and whether it is enabled.
struct ThreadsMenuSeen {
    std::vector<std::string> items;
    std::vector<int> checked;
    bool enabled = false;
};

QMenu* threadsSubmenu(QMenu& menu) {
    for (QAction* action : menu.actions())
        if (action->menu() != nullptr && action->text() == QString::fromLatin1(kThreadsMenuTitle))
            return action->menu();
    return nullptr;
}

ThreadsMenuSeen seeThreadsMenu(MainDialog& window) {
    ThreadsMenuSeen seen;
    const std::unique_ptr<QMenu> menu = window.makeContextMenu();
    const QMenu* threads = threadsSubmenu(*menu);
    if (threads == nullptr) return seen;
    seen.enabled = threads->isEnabled() && threads->menuAction()->isEnabled();
    for (const QAction* item : threads->actions()) {
        seen.items.push_back(item->text().toStdString());
        if (item->isChecked()) seen.checked.push_back(item->data().toInt());
    }
    return seen;
}

// A window that counts four usable CPUs, whatever this machine has.
class ThreadChoice : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        window = std::make_unique<MainDialog>(presenter, 4);
        presenter->window = window.get();
        JobOptions options;
        options.outputFile = piFile();
        window->setJobOptions(options);
        show();
        presenter->messages.clear();
    }

    // Right-clicks the list and picks the item of the "Threads" submenu by keyboard, as a user
    // would: Down to the submenu's entry, Right into it, Down to the item, Enter. Whether the
    // submenu opened.
    bool chooseInPopup(int itemIndex) {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) return;
            QMenu* threads = threadsSubmenu(*menu);
            if (threads == nullptr) {
                menu->close();
                return;
            }
            menu->setActiveAction(threads->menuAction());
            QTest::keyClick(menu, Qt::Key_Right);
            if (QApplication::activePopupWidget() != threads) {
                menu->close();
                return;
            }
            opened = true;
            for (int i = 0; i < itemIndex; ++i) QTest::keyClick(threads, Qt::Key_Down);
            QTest::keyClick(threads, Qt::Key_Return);
        });
        QWidget* viewport = window->resultList()->viewport();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(10, 10),
                                     viewport->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(viewport, &rightClick);
        QTest::qWait(20);
        return opened;
    }
};

TEST_F(ThreadChoice, OneThreadUntilChosenInTheContextMenu) {
    EXPECT_EQ(window->usableThreads(), 4);
    EXPECT_EQ(window->threads(), 1);
    const ThreadsMenuSeen before = seeThreadsMenu(*window);
    EXPECT_EQ(before.items, (std::vector<std::string>{"1 thread (classic)", "2 threads",
                                                      "3 threads", "all 4 threads"}));
    EXPECT_EQ(before.checked, (std::vector<int>{1}));
    EXPECT_TRUE(before.enabled);

    // A run nobody chose a count for is the classic one, and says nothing about threads.
    ASSERT_TRUE(runToEnd(0));
    ASSERT_NE(window->lastJob(), nullptr);
    EXPECT_EQ(window->lastJob()->threads(), 1);
    EXPECT_TRUE(window->statusLine()->text().startsWith(QStringLiteral("1.6万桁: ")))
        << window->statusLine()->text().toStdString();

    // "2 threads" is the submenu's second item; the third and fourth follow it.
    ASSERT_TRUE(chooseInPopup(1));
    EXPECT_EQ(window->threads(), 2);
    EXPECT_EQ(window->statusLine()->text(), QStringLiteral("2 threads"));
    EXPECT_EQ(seeThreadsMenu(*window).checked, (std::vector<int>{2}));
    ASSERT_TRUE(chooseInPopup(3));
    EXPECT_EQ(window->threads(), 4);
    EXPECT_EQ(window->statusLine()->text(), QStringLiteral("4 threads"));
    EXPECT_EQ(seeThreadsMenu(*window).checked, (std::vector<int>{4}));

    // Back to one: the status line has no count to show.
    ASSERT_TRUE(chooseInPopup(0));
    EXPECT_EQ(window->threads(), 1);
    EXPECT_EQ(window->statusLine()->text(), QString());
    EXPECT_EQ(presenter->messages.size(), 1u);  // the run's "end of calculating" only
}

// Two threads compute what one does: the same pi.dat and the same list, but for the timings and
// the line that names the threads; the status line names them too. While the job runs, the
// submenu is disabled and a choice that comes anyway changes nothing, of the run or the window.
TEST_F(ThreadChoice, TwoThreadsRunWithThreadsTwoAndTheSameDigits) {
    ASSERT_TRUE(runToEnd(0));
    const std::string classicDigits = readFile(piFile());
    const std::vector<std::string> classicList = listLines(*window);
    ASSERT_EQ(classicDigits.size(), 2u + 16384u + 3u);
    const StoredRecord classicRecord = readRecord(0);
    ASSERT_NE(classicRecord.seconds, noRecord);
    EXPECT_EQ(window->progressBar()->maximum(), 19);

    window->chooseThreads(2);
    ASSERT_EQ(window->threads(), 2);
    std::vector<ThreadsMenuSeen> duringRun;
    std::vector<int> threadsDuringRun;
    std::vector<QString> statusDuringRun;
    auto watch = QObject::connect(window.get(), &MainDialog::listLineAdded, [&](const QString&) {
        duringRun.push_back(seeThreadsMenu(*window));
        window->chooseThreads(3);
        threadsDuringRun.push_back(window->threads());
        statusDuringRun.push_back(window->statusLine()->text());
    });
    ASSERT_TRUE(runToEnd(0));
    QObject::disconnect(watch);

    ASSERT_NE(window->lastJob(), nullptr);
    EXPECT_EQ(window->lastJob()->threads(), 2);
    EXPECT_EQ(window->lastJob()->exitCode(), kJobComplete);
    EXPECT_EQ(readFile(piFile()), classicDigits);
    // Its best time is kept apart from the classic ones.
    EXPECT_EQ(readRecord(0).code, classicRecord.code);
    EXPECT_EQ(readRecord(0).seconds, classicRecord.seconds);
    const QRegularExpressionMatch status =
        QRegularExpression(QStringLiteral("^1\\.6万桁 on 2 threads: [0-9]+\\.[0-9]{3} ms"
                                          "( \\(time unverified\\))?, verified$"))
            .match(window->statusLine()->text());
    EXPECT_TRUE(status.hasMatch()) << window->statusLine()->text().toStdString();

    // The list: the classic one with the thread line after the digits line; the times aside.
    // The progress bar counts that line too.
    std::vector<std::string> list = listLines(*window);
    ASSERT_GT(list.size(), 3u);
    EXPECT_EQ(list[3], "use 2 threads");
    list.erase(list.begin() + 3);
    EXPECT_EQ(window->progressBar()->maximum(), 20);
    EXPECT_EQ(window->progressBar()->value(), 20);
    ASSERT_EQ(list.size(), classicList.size());
    const QRegularExpression seconds(QStringLiteral("past [0-9.e+-]+ sec|[0-9]+ sec\\."));
    for (std::size_t i = 0; i < list.size(); ++i) {
        QString line = QString::fromStdString(list[i]);
        QString classic = QString::fromStdString(classicList[i]);
        if (line.startsWith(QStringLiteral("Code ")) && classic.startsWith(QStringLiteral("Code ")))
            continue;  // built from the seconds
        EXPECT_EQ(line.replace(seconds, QStringLiteral("T")).toStdString(),
                  classic.replace(seconds, QStringLiteral("T")).toStdString())
            << "line " << i;
    }

    // During the run: the submenu disabled, still with 2 checked; the late choice ignored.
    ASSERT_FALSE(duringRun.empty());
    for (std::size_t i = 0; i < duringRun.size(); ++i) {
        EXPECT_FALSE(duringRun[i].enabled) << "line " << i;
        EXPECT_EQ(duringRun[i].checked, (std::vector<int>{2})) << "line " << i;
        EXPECT_EQ(threadsDuringRun[i], 2) << "line " << i;
        EXPECT_FALSE(statusDuringRun[i].startsWith(QStringLiteral("3 threads"))) << "line " << i;
    }
    EXPECT_NE(statusDuringRun.back().indexOf(QStringLiteral("1.6万桁 on 2 threads: running...")),
              -1)
        << statusDuringRun.back().toStdString();

    // After it: enabled again, the choice kept for the next run.
    const ThreadsMenuSeen after = seeThreadsMenu(*window);
    EXPECT_TRUE(after.enabled);
    EXPECT_EQ(after.checked, (std::vector<int>{2}));
    EXPECT_EQ(window->threads(), 2);
}

// "Stop" during a run on two threads names the run's threads in the status line, and gives the
// choice back.
TEST_F(ThreadChoice, AStoppedRunOnTwoThreads) {
    window->chooseThreads(2);
    bool stopped = false;
    auto connection = QObject::connect(window.get(), &MainDialog::jobFinished,
                                       [&stopped](unsigned) { stopped = true; });
    QObject::connect(window.get(), &MainDialog::listLineAdded, [&](const QString& line) {
        if (line.startsWith(QStringLiteral("loop 1 ")))
            QTimer::singleShot(0, window->button(MainButton::Stop), &QPushButton::click);
    });
    window->sizeCombo()->setCurrentIndex(5);
    window->button(MainButton::Calc)->click();
    ASSERT_TRUE(waitUntil([&] { return stopped; }, 120000));
    QObject::disconnect(connection);
    EXPECT_EQ(window->lastJob()->threads(), 2);
    EXPECT_EQ(window->statusLine()->text(), QStringLiteral("52万桁 on 2 threads: stopped"));
    EXPECT_TRUE(seeThreadsMenu(*window).enabled);
    EXPECT_TRUE(window->workingSet().empty());
}

}  // namespace
}  // namespace oskelon::test
