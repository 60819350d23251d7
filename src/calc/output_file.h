// A file that replaces its destination only when completely written.
//
// The data goes to a temporary file beside the destination; commit() renames it over the
// destination in one step. A file that is never committed (a failed write, a stop) is removed,
// and the previous destination stays as it was.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace oskelon {

class OutputFile {
  public:
    explicit OutputFile(std::string destination);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open();  // creates the temporary file
    bool write(const char* data, std::size_t size);
    bool finish();                                       // flushes to the device and closes
    bool commit();                                       // replaces the destination
    const std::string& error() const { return error_; }  // the system's reason of the failure

  private:
    bool fail(int errorNumber);

    std::string destination_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
    std::string error_;
};

}  // namespace oskelon
