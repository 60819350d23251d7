// The records store on Windows: the current user's registry (advapi32).
//
// Key:     HKEY_CURRENT_USER\<path>, opened with create semantics (RegCreateKeyExA creates the key
//          and every missing parent). Value names and texts are the ANSI forms the registry
//          functions take; a text value is stored as its bytes and its terminating NUL.
// Sharing: the registry makes each single value write atomic. An exclusive unit holds a named
//          mutex of the user ("Local\Fenwarren.Oskelon.Records", one per logon session) from its
//          first read to its commit, so two processes' read-compare-write never interleave. The
//          unit's writes are kept back and written at Commit, in order; a unit that is destroyed
//          or closed without Commit writes nothing.
// Failure: a key that cannot be opened or created is noted once for the user (store_notice.h);
//          reads then yield their defaults and writes fail, as the callers expect.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/windows_text.h"
#include "records/registry_backend.h"
#include "records/store_notice.h"

namespace oskelon {
namespace {

// A mutex that is another writer's for longer than this is given up on: the unit fails.
constexpr DWORD kMutexTimeoutMs = 5000;
constexpr const wchar_t* kMutexName = L"Local\\Fenwarren.Oskelon.Records";

// Ownership of the records mutex for the life of the object, when owned() says so.
class MutexLock {
  public:
    MutexLock() {
        mutex_.reset(CreateMutexW(nullptr, FALSE, kMutexName));
        if (!mutex_) return;
        const DWORD waited = WaitForSingleObject(mutex_.get(), kMutexTimeoutMs);
        // An abandoned mutex is ours now; its previous owner died inside a unit that wrote
        // nothing, since a unit writes only at its commit.
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~MutexLock() {
        if (owned_) ReleaseMutex(mutex_.get());
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool owned() const { return owned_; }

  private:
    KernelHandle mutex_;
    bool owned_ = false;
};

struct PendingWrite {
    std::string name;
    std::uint32_t type;
    std::vector<unsigned char> bytes;
};

class WindowsKey : public RegistryBackendKey {
  public:
    explicit WindowsKey(HKEY key) : key_(key) {}

    bool QueryValue(const char* name, std::uint32_t& type, unsigned char* buffer,
                    std::size_t capacity, std::size_t& size) override {
        if (capacity > MAXDWORD) capacity = MAXDWORD;
        // The registry writes into the caller's buffer even when it reports failure; a failed
        // read must leave the buffer as it was, so the bytes land in a copy first.
        std::vector<unsigned char> copy(capacity);
        DWORD storedType = 0;
        DWORD length = static_cast<DWORD>(capacity);
        if (RegQueryValueExA(key_.get(), name, nullptr, &storedType,
                             copy.empty() ? nullptr : copy.data(), &length) != ERROR_SUCCESS)
            return false;
        if (copy.empty() && length > 0) return false;  // no room: the value is longer
        std::copy(copy.begin(), copy.begin() + length, buffer);
        type = storedType;
        size = length;
        return true;
    }

    bool SetValue(const char* name, std::uint32_t type, const unsigned char* bytes,
                  std::size_t size) override {
        if (size > MAXDWORD) return false;
        if (lock_) {
            pending_.push_back({name, type, std::vector<unsigned char>(bytes, bytes + size)});
            return true;
        }
        return write(name, type, bytes, size);
    }

    bool BeginExclusive() override {
        if (lock_) return false;
        auto lock = std::make_unique<MutexLock>();
        if (!lock->owned()) return false;
        lock_ = std::move(lock);
        return true;
    }

    bool Commit() override {
        if (!lock_) return false;
        bool allWritten = true;
        for (const PendingWrite& w : pending_)
            allWritten =
                write(w.name.c_str(), w.type, w.bytes.data(), w.bytes.size()) && allWritten;
        pending_.clear();
        lock_.reset();
        return allWritten;
    }

  private:
    bool write(const char* name, std::uint32_t type, const unsigned char* bytes, std::size_t size) {
        return RegSetValueExA(key_.get(), name, 0, type, bytes, static_cast<DWORD>(size)) ==
               ERROR_SUCCESS;
    }

    RegistryHandle key_;
    std::unique_ptr<MutexLock> lock_;  // held from BeginExclusive to Commit
    std::vector<PendingWrite> pending_;
};

}  // namespace

std::unique_ptr<RegistryBackendKey> OpenRegistryBackendKey(RootKey root, const char* path) {
    if (path == nullptr || root != RootKey::CurrentUser) return nullptr;
    HKEY key = nullptr;
    const LONG status =
        RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        noteStoreProblem(std::string("The records key HKEY_CURRENT_USER\\") + path +
                         " cannot be used (" + windowsErrorText(static_cast<DWORD>(status)) +
                         "); records are not saved.");
        return nullptr;
    }
    return std::make_unique<WindowsKey>(key);
}

}  // namespace oskelon
