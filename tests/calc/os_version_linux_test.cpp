// The version data on Linux: the kernel release stands in, with neither Windows family.
#include <gtest/gtest.h>

#include "calc/os_version.h"

namespace oskelon {
namespace {

TEST(OsVersionLinux, TheRunningKernelGivesItsReleaseAndNoWindowsFamily) {
    const OsVersion here = queryOsVersion();
    EXPECT_EQ(here.family, 0);
    EXPECT_GE(here.major, 2);  // any kernel this program runs on
}

}  // namespace
}  // namespace oskelon
