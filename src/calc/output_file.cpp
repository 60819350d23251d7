#include "calc/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace oskelon {
namespace {

std::string temporaryNameFor(const std::string& destination) {
    static std::atomic<unsigned> serial{0};
#ifdef _WIN32
    const long pid = 0;
#else
    const long pid = static_cast<long>(getpid());
#endif
    return destination + ".tmp-" + std::to_string(pid) + "-" + std::to_string(serial++);
}

}  // namespace

OutputFile::OutputFile(std::string destination) : destination_(std::move(destination)) {}

OutputFile::~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!temporary_.empty() && !committed_) std::remove(temporary_.c_str());
}

bool OutputFile::fail(int errorNumber) {
    error_ = std::strerror(errorNumber);
    return false;
}

bool OutputFile::open() {
    temporary_ = temporaryNameFor(destination_);
    errno = 0;
    // "x": fail rather than reuse a file of that name.
    file_ = std::fopen(temporary_.c_str(), "wx");
    if (file_ == nullptr) {
        const int e = errno;
        temporary_.clear();
        return fail(e != 0 ? e : EIO);
    }
#ifndef _WIN32
    // fopen made the file with the process's umask; keep an existing file's permissions.
    struct stat previous {};
    if (::stat(destination_.c_str(), &previous) == 0)
        ::fchmod(fileno(file_), previous.st_mode & 07777);
#endif
    return true;
}

bool OutputFile::write(const char* data, std::size_t size) {
    if (file_ == nullptr) return false;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) return fail(errno != 0 ? errno : EIO);
    return true;
}

bool OutputFile::finish() {
    if (file_ == nullptr) return false;
    errno = 0;
    if (std::fflush(file_) != 0) return fail(errno != 0 ? errno : EIO);
#ifndef _WIN32
    if (::fsync(fileno(file_)) != 0 && errno != EINVAL && errno != EROFS) return fail(errno);
#endif
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) return fail(errno != 0 ? errno : EIO);
    return true;
}

bool OutputFile::commit() {
    if (temporary_.empty() || file_ != nullptr) return false;
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
