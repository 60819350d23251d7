// A fixed system version for runs and records whose OS text the tests compare: Linux 6.1.
#pragma once

#include "calc/os_version.h"

namespace oskelon::test {

inline OsVersion linuxVersion() {
    OsVersion v;
    v.major = 6;
    v.minor = 1;
    return v;
}

}  // namespace oskelon::test
