// OutputFile on POSIX systems: a stdio stream on the temporary file, fsync before the close, and
// rename(2), which replaces an existing destination atomically.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "calc/output_file.h"

namespace oskelon {

struct OutputFile::Handle {
    std::FILE* file = nullptr;
    ~Handle() {
        if (file != nullptr) std::fclose(file);
    }
};

namespace {

bool failWith(std::string& error, int errorNumber) {
    error = std::strerror(errorNumber);
    return false;
}

}  // namespace

const char* OutputFile::textLineEnd() {
    return "\n";
}

// Here, where Handle is complete.
OutputFile::OutputFile(std::string destination) : destination_(std::move(destination)) {}

OutputFile::~OutputFile() {
    handle_.reset();
    if (!temporary_.empty() && !committed_) std::remove(temporary_.c_str());
}

bool OutputFile::open() {
    temporary_ = temporaryNameFor(destination_, static_cast<unsigned long>(getpid()));
    errno = 0;
    // "x": fail rather than reuse a file of that name.
    std::FILE* file = std::fopen(temporary_.c_str(), "wx");
    if (file == nullptr) {
        const int e = errno;
        temporary_.clear();
        return failWith(error_, e != 0 ? e : EIO);
    }
    handle_ = std::make_unique<Handle>();
    handle_->file = file;
    // fopen made the file with the process's umask; keep an existing file's permissions.
    struct stat previous {};
    if (::stat(destination_.c_str(), &previous) == 0)
        ::fchmod(fileno(file), previous.st_mode & 07777);
    return true;
}

bool OutputFile::write(const char* data, std::size_t size) {
    if (handle_ == nullptr) return false;
    errno = 0;
    if (std::fwrite(data, 1, size, handle_->file) != size)
        return failWith(error_, errno != 0 ? errno : EIO);
    return true;
}

bool OutputFile::finish() {
    if (handle_ == nullptr) return false;
    std::FILE* file = handle_->file;
    errno = 0;
    if (std::fflush(file) != 0) return failWith(error_, errno != 0 ? errno : EIO);
    if (::fsync(fileno(file)) != 0 && errno != EINVAL && errno != EROFS)
        return failWith(error_, errno);
    handle_->file = nullptr;
    handle_.reset();
    if (std::fclose(file) != 0) return failWith(error_, errno != 0 ? errno : EIO);
    return true;
}

bool OutputFile::commit() {
    if (temporary_.empty() || handle_ != nullptr) return false;
    std::error_code ec;
    std::filesystem::rename(temporary_, destination_, ec);
    if (ec) {
        error_ = ec.message();
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace oskelon
