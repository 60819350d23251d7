// RegistryKey: one open key of the per-user records store, with typed values.
//
// The store is a tree of keys, each holding named values of two types: 32-bit integers (DWORD)
// and texts (SZ, stored with their terminating NUL). Opening a key creates it, and any missing
// parent, when it does not exist. A read whose value is missing or of the other type yields the
// caller's default. Failures are not reported beyond the return values.
//
// On Linux the store is an SQLite database at $XDG_DATA_HOME/oskelon/registry.sqlite3 (default
// ~/.local/share/oskelon/registry.sqlite3); every write is atomic and several processes may use
// the store at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace oskelon {

enum class RootKey { CurrentUser };

// The key under which the records live.
inline constexpr const char* recordsKeyPath = "Software\\Fenwarren\\Oskelon";

class RegistryBackendKey;  // the platform's open key

class RegistryKey {
  public:
    RegistryKey();
    RegistryKey(RootKey root, const char* path);  // opens when path is given
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Closes any held key, then opens (creating if missing) path under root.
    bool Open(RootKey root, const char* path);
    // Closes the held key, if any. Always true.
    bool Close();
    bool IsOpen() const { return key_ != nullptr; }

    // The stored DWORD, or defaultValue when missing, of another type, or no key is held.
    std::uint32_t ReadDword(const char* name, std::uint32_t defaultValue);
    // Reads an SZ value into buffer (at most bufferSize bytes, including the NUL). Returns buffer
    // on success; otherwise copies defaultText (when given) into buffer and returns buffer, or
    // returns nullptr. A stored text longer than the buffer counts as unreadable.
    char* ReadString(const char* name, char* buffer, std::size_t bufferSize,
                     const char* defaultText);
    bool WriteDword(const char* name, std::uint32_t value);
    bool WriteString(const char* name, const char* text);

    // Groups the reads and writes until the matching Commit into one atomic unit that no other
    // process interleaves with (an exclusive transaction). Without it every call stands alone.
    // Keep a unit short: another writer waits for it about 5 s and then fails. Closing,
    // reopening or destroying the key inside a unit discards the unit's writes.
    bool BeginExclusive();
    bool Commit();

  private:
    std::unique_ptr<RegistryBackendKey> key_;
};

}  // namespace oskelon
