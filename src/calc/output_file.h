// A file that replaces its destination only when completely written.
//
// The data goes to a temporary file beside the destination; finish() flushes it to the device,
// and commit() renames it over the destination in one step, an existing destination included. A
// file that is never committed (a failed write, a stop) is removed, and the previous destination
// stays as it was. The bytes are written unchanged on every platform; a text that wants the
// platform's line end asks for textLineEnd(). Paths are UTF-8. Each platform implements the file
// operations in a file of its own (output_file_linux.cpp, output_file_windows.cpp).
#pragma once

#include <cstddef>
#include <memory>
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

    // The line end of a text file on this platform, as a text-mode stream writes it: "\n", and
    // "\r\n" on Windows.
    static const char* textLineEnd();

  private:
    struct Handle;  // the platform's open file
    // The temporary file's name: beside the destination, unique to this process and object.
    static std::string temporaryNameFor(const std::string& destination, unsigned long processId);

    std::string destination_;
    std::string temporary_;
    std::unique_ptr<Handle> handle_;  // open from open() to finish()
    bool committed_ = false;
    std::string error_;
};

}  // namespace oskelon
