// The thread counts the windows offer for a run, and the names they show for them. The count
// changes how long a run takes, never its digits; one thread is the classic run.
#pragma once

#include <string>
#include <vector>

namespace oskelon {

// The title of the menu that holds the choice.
inline constexpr const char* kThreadsMenuTitle = "Threads";

// The counts offered when this process may use usable CPUs (below 1 counts as 1), ascending and
// without repeats: 1, 2, 3 and 4, then the powers of two, every count below usable, and usable
// itself ("all"). Short enough for a menu on any machine (at most 5 + log2(usable) counts).
inline std::vector<int> threadChoices(int usable) {
    if (usable < 1) usable = 1;
    std::vector<int> counts;
    for (int count = 1; count < usable; count = count < 4 ? count + 1 : count * 2)
        counts.push_back(count);
    counts.push_back(usable);
    return counts;
}

// "1 thread", "2 threads".
inline std::string threadCountText(int count) {
    return std::to_string(count) + (count == 1 ? " thread" : " threads");
}

// The menu item of count: "1 thread (classic)"; "all 8 threads" when count is every usable CPU
// (and more than one); else "3 threads".
inline std::string threadChoiceLabel(int count, int usable) {
    if (count == 1) return "1 thread (classic)";
    if (count == usable) return "all " + threadCountText(count);
    return threadCountText(count);
}

// A run's name in the status line: the size's name, and "on 2 threads" when it used more than
// one ("104万桁 on 2 threads"), so that a classic run reads as it always has.
inline std::string runStatusName(const std::string& sizeName, int threads) {
    return threads == 1 ? sizeName : sizeName + " on " + threadCountText(threads);
}

}  // namespace oskelon
