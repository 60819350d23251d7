#include "records/store_notice.h"

#include <mutex>

namespace oskelon {
namespace {
std::mutex noticeMutex;
std::string pendingNotice;
bool noticeKept = false;
}  // namespace

void noteStoreProblem(const std::string& text) {
    std::lock_guard<std::mutex> lock(noticeMutex);
    if (noticeKept) return;
    noticeKept = true;
    pendingNotice = text;
}

std::string takeStoreNotice() {
    std::lock_guard<std::mutex> lock(noticeMutex);
    std::string notice;
    notice.swap(pendingNotice);
    return notice;
}

}  // namespace oskelon
