// RegistryKey: typed values over the platform's raw key (registry_backend.h).
#include "records/registry_key.h"

#include <algorithm>
#include <cstring>

#include "records/registry_backend.h"

namespace oskelon {

RegistryKey::RegistryKey() = default;

RegistryKey::RegistryKey(RootKey root, const char* path) {
    if (path != nullptr) Open(root, path);
}

RegistryKey::~RegistryKey() {
    Close();
}

bool RegistryKey::Open(RootKey root, const char* path) {
    Close();
    key_ = OpenRegistryBackendKey(root, path);
    return key_ != nullptr;
}

bool RegistryKey::Close() {
    key_.reset();  // rolls back an exclusive unit left open
    return true;
}

std::uint32_t RegistryKey::ReadDword(const char* name, std::uint32_t defaultValue) {
    if (!key_) return defaultValue;
    unsigned char bytes[4];
    std::uint32_t type = 0;
    std::size_t size = 0;
    if (!key_->QueryValue(name, type, bytes, sizeof bytes, size) || type != regDword ||
        size != sizeof bytes) {
        return defaultValue;
    }
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// The stored bytes normally end in their NUL; whatever they end with, the text is terminated
// inside the buffer, so a text read into bufferSize bytes has at most bufferSize - 1 characters.
// A buffer of size 0 can hold nothing, not even a default: the result is then nullptr.
char* RegistryKey::ReadString(const char* name, char* buffer, std::size_t bufferSize,
                              const char* defaultText) {
    if (buffer == nullptr || bufferSize == 0) return nullptr;
    std::uint32_t type = 0;
    std::size_t size = 0;
    if (key_ &&
        key_->QueryValue(name, type, reinterpret_cast<unsigned char*>(buffer), bufferSize, size) &&
        type == regSz) {
        buffer[size < bufferSize ? size : bufferSize - 1] = '\0';
        return buffer;
    }
    if (defaultText == nullptr) return nullptr;
    const std::size_t length = std::min(std::strlen(defaultText), bufferSize - 1);
    std::memcpy(buffer, defaultText, length);
    buffer[length] = '\0';
    return buffer;
}

bool RegistryKey::WriteDword(const char* name, std::uint32_t value) {
    if (!key_) return false;
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return key_->SetValue(name, regDword, bytes, sizeof bytes);
}

bool RegistryKey::WriteString(const char* name, const char* text) {
    if (!key_ || text == nullptr) return false;
    return key_->SetValue(name, regSz, reinterpret_cast<const unsigned char*>(text),
                          std::strlen(text) + 1);
}

bool RegistryKey::BeginExclusive() {
    return key_ && key_->BeginExclusive();
}

bool RegistryKey::Commit() {
    return key_ && key_->Commit();
}

}  // namespace oskelon
