// Version data on Windows: the platform's own, as GetVersionExA reports it. The executables
// declare in their manifest the Windows versions they support (up to 10 and 11); without that
// declaration Windows 8.1 and later report themselves as 6.2.9200.
#include <windows.h>

#include "calc/os_version.h"

namespace oskelon {

OsVersion queryOsVersion() {
    OsVersion version;
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return version;
    version.major = static_cast<std::int32_t>(info.dwMajorVersion);
    version.minor = static_cast<std::int32_t>(info.dwMinorVersion);
    version.build = info.dwBuildNumber;
    version.family = static_cast<std::int32_t>(info.dwPlatformId);
    version.servicePack = info.szCSDVersion;
    return version;
}

}  // namespace oskelon
