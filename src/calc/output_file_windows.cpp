// OutputFile on Windows: the temporary file through the wide-character API (so that any UTF-8
// path works), FlushFileBuffers before the close, and MoveFileExW with MOVEFILE_REPLACE_EXISTING,
// which replaces an existing destination in one step (the C library's rename refuses an existing
// destination on Windows; libstdc++'s std::filesystem::rename replaces it, but gives no way to
// ask for the write-through). MOVEFILE_WRITE_THROUGH returns only when the new name is on the
// device.
#include <windows.h>

#include <algorithm>

#include "calc/output_file.h"
#include "platform/windows_text.h"

namespace oskelon {

struct OutputFile::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
};

const char* OutputFile::textLineEnd() {
    return "\r\n";
}

// Here, where Handle is complete.
OutputFile::OutputFile(std::string destination) : destination_(std::move(destination)) {}

OutputFile::~OutputFile() {
    handle_.reset();
    if (!temporary_.empty() && !committed_) DeleteFileW(wideFromUtf8(temporary_).c_str());
}

bool OutputFile::open() {
    temporary_ = temporaryNameFor(destination_, GetCurrentProcessId());
    // CREATE_NEW: fail rather than reuse a file of that name.
    const HANDLE file = CreateFileW(wideFromUtf8(temporary_).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = windowsErrorText(GetLastError());
        temporary_.clear();
        return false;
    }
    handle_ = std::make_unique<Handle>();
    handle_->file = file;
    return true;
}

bool OutputFile::write(const char* data, std::size_t size) {
    if (handle_ == nullptr) return false;
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle_->file, data, chunk, &written, nullptr)) {
            error_ = windowsErrorText(GetLastError());
            return false;
        }
        if (written == 0) {
            error_ = windowsErrorText(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool OutputFile::finish() {
    if (handle_ == nullptr) return false;
    if (!FlushFileBuffers(handle_->file)) {
        error_ = windowsErrorText(GetLastError());
        return false;
    }
    const HANDLE file = handle_->file;
    handle_->file = INVALID_HANDLE_VALUE;
    handle_.reset();
    if (!CloseHandle(file)) {
        error_ = windowsErrorText(GetLastError());
        return false;
    }
    return true;
}

bool OutputFile::commit() {
    if (temporary_.empty() || handle_ != nullptr) return false;
    if (!MoveFileExW(wideFromUtf8(temporary_).c_str(), wideFromUtf8(destination_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error_ = windowsErrorText(GetLastError());
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace oskelon
