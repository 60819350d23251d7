#include "win/clipboard.h"

#include <cstring>

#include "win/unique_handle.h"

namespace oskelon::win {
namespace {

// The clipboard, open for the life of the object when isOpen() says so.
class ClipboardSession {
  public:
    // Another program (a clipboard manager catching up with a change) may hold the clipboard
    // for a moment; it is asked a few times within about 50 ms.
    explicit ClipboardSession(HWND owner) {
        for (int attempt = 0; attempt < 5 && !open_; ++attempt) {
            if (attempt > 0) Sleep(10);
            open_ = OpenClipboard(owner) != FALSE;
        }
    }
    ~ClipboardSession() {
        if (open_) CloseClipboard();
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool isOpen() const { return open_; }

  private:
    bool open_ = false;
};

// A global block locked for the life of the object.
class GlobalLockGuard {
  public:
    explicit GlobalLockGuard(HGLOBAL memory) : memory_(memory), data_(GlobalLock(memory)) {}
    ~GlobalLockGuard() {
        if (data_ != nullptr) GlobalUnlock(memory_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    void* data() const { return data_; }

  private:
    HGLOBAL memory_;
    void* data_;
};

}  // namespace

HANDLE CopyTextToClipboard(HWND owner, const std::wstring& text) {
    ClipboardSession clipboard(owner);
    if (!clipboard.isOpen()) return nullptr;
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    GlobalHandle memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes));
    if (!memory) return nullptr;
    {
        GlobalLockGuard lock(memory.get());
        if (lock.data() == nullptr) return nullptr;
        std::memcpy(lock.data(), text.c_str(), bytes);  // the text and its terminating NUL
    }
    if (!EmptyClipboard()) return nullptr;
    HANDLE handed = SetClipboardData(CF_UNICODETEXT, memory.get());
    if (handed != nullptr) memory.release();  // the clipboard's now
    return handed;
}

}  // namespace oskelon::win
