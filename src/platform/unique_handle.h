// Ownership of Win32 handles: each wrapper gives its handle back exactly once, when it is
// destroyed or reset, unless the handle has been released to a new owner (the clipboard takes
// the memory handed to it).
#pragma once

#include <windows.h>

#include <utility>

namespace oskelon {

// One handle of type Handle, given back with Close; the null handle means none.
template <typename Handle, auto Close>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    // Gives up ownership: the caller (or the system) gives the handle back.
    Handle release() { return std::exchange(handle_, Handle{}); }
    void reset(Handle handle = Handle{}) {
        if (handle_ != Handle{}) Close(handle_);
        handle_ = handle;
    }

  private:
    Handle handle_{};
};

// Kernel objects whose failure value is null (threads, mutexes, events).
using KernelHandle = UniqueHandle<HANDLE, CloseHandle>;
// Registry keys.
using RegistryHandle = UniqueHandle<HKEY, RegCloseKey>;
// Global memory, until the clipboard takes it.
using GlobalHandle = UniqueHandle<HGLOBAL, GlobalFree>;

}  // namespace oskelon
