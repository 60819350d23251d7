// The platform part of the records store: one open key and the raw value operations on which
// RegistryKey builds its typed reads and writes. Each platform provides one implementation of
// OpenRegistryBackendKey in its own file (registry_backend_sqlite.cpp on Linux); RegistryKey and
// everything above it stay the same on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "records/registry_key.h"

namespace oskelon {

// Value types, in the registry's numbering so that stored types mean the same on every platform.
inline constexpr std::uint32_t regSz = 1;     // text: its bytes, then the terminating NUL
inline constexpr std::uint32_t regDword = 4;  // unsigned 32-bit: 4 bytes, little-endian

// One open key. Destroying it closes the key and rolls back an exclusive unit that was begun and
// not committed.
class RegistryBackendKey {
  public:
    virtual ~RegistryBackendKey() = default;

    // Copies the type and bytes of value name into buffer[0, capacity) and sets size to the byte
    // count. False when the value is missing, when its bytes exceed capacity, or on any error;
    // buffer is then left as it was.
    virtual bool QueryValue(const char* name, std::uint32_t& type, unsigned char* buffer,
                            std::size_t capacity, std::size_t& size) = 0;
    // Creates or replaces value name with the given type and bytes, whole or not at all.
    virtual bool SetValue(const char* name, std::uint32_t type, const unsigned char* bytes,
                          std::size_t size) = 0;
    // An exclusive unit: from BeginExclusive to Commit no other writer interleaves, and the
    // writes land together. False when a unit is already open (Begin) or none is (Commit), or
    // when the unit could not be taken or kept; a unit that fails is rolled back entirely.
    virtual bool BeginExclusive() = 0;
    virtual bool Commit() = 0;
};

// Opens the key at path under root, creating it and its missing parents. path is a
// backslash-separated list of non-empty key names. nullptr on any failure.
std::unique_ptr<RegistryBackendKey> OpenRegistryBackendKey(RootKey root, const char* path);

}  // namespace oskelon
