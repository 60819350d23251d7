#include "calc/output_file.h"

#include <atomic>

namespace oskelon {

std::string OutputFile::temporaryNameFor(const std::string& destination, unsigned long processId) {
    static std::atomic<unsigned> serial{0};
    return destination + ".tmp-" + std::to_string(processId) + "-" + std::to_string(serial++);
}

}  // namespace oskelon
