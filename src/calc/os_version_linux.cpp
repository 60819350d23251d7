// Version data on Linux and other Unix-like systems: the kernel release and the distribution.
#include <sys/utsname.h>

#include <fstream>
#include <sstream>

#include "calc/os_version.h"

namespace oskelon {

OsVersion queryOsVersion() {
    OsVersion version;
    utsname names{};
    if (uname(&names) == 0) parseKernelRelease(names.release, version);
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream file(path);
        if (!file) continue;
        std::ostringstream text;
        text << file.rdbuf();
        version.distribution = prettyNameFromOsRelease(text.str());
        break;
    }
    return version;
}

}  // namespace oskelon
