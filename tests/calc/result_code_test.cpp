// The result code's lanes and layout, the system descriptions and the Linux version data.
#include "calc/result_code.h"

#include <gtest/gtest.h>

namespace oskelon::test {
namespace {

OsVersion version(int major, int minor, unsigned build, int family, std::string sp = {}) {
    OsVersion v;
    v.major = major;
    v.minor = minor;
    v.build = build;
    v.family = family;
    v.servicePack = std::move(sp);
    return v;
}

TEST(ResultCode, KnownCodes) {
    const OsVersion win98 = version(4, 10, 0x04000000u | 1998u, 1);  // only the low 16 bits count
    // Size 6, 100 s: lanes 18, 3 (divisor 0 becomes 7), 6, 1998 (divisor -8 counts as unsigned).
    EXPECT_EQ(computeResultCode(6, 100, win98), 0xCE064312u);
    EXPECT_EQ(computeResultCode(6, 0, win98), 0xCE060312u);
    // Size 0: lane 1 holds 1998 and runs into lane 2.
    EXPECT_EQ(computeResultCode(0, 100, win98), 0xCE07CE6Eu);
    // NT 4.0, size 6: every lane 1.
    EXPECT_EQ(computeResultCode(6, 100, version(4, 0, 1381, 2, "Service Pack 6")), 0x1074101u);
    // Every divisor 0 becomes 7; build 0 gives lanes of 0.
    EXPECT_EQ(computeResultCode(0, 0, version(0, 0, 0, 0)), 0u);
    EXPECT_EQ(formatResultCode(0xCE064312u), "CE064312");
    EXPECT_EQ(formatResultCode(0x1074101u), "1074101");
    EXPECT_EQ(formatResultCode(0), "0");
}

TEST(ResultCode, SecondsBeyondTheCodesWidthLoseTheirTopBits) {
    const OsVersion zero = version(0, 0, 0, 0);
    // Size 11 shifts by 22 bits: 2^10 seconds and more do not fit.
    EXPECT_EQ(computeResultCode(11, 1u << 10, zero), 0u);
    EXPECT_EQ(computeResultCode(11, (1u << 10) + 3, zero), 3u << 22);
    EXPECT_EQ(computeResultCode(0, 0xFFFFFFFFu, zero), 0xFFFFFFFFu);
}

TEST(ResultCode, SystemDescriptions) {
    EXPECT_EQ(osDescription(version(4, 10, 1998, 1)), "Windows98 Ver 4.10 Build 1998");
    EXPECT_EQ(osDescription(version(4, 90, 3000, 1)), "Windows95 Ver 4.90 Build 3000");
    EXPECT_EQ(osDescription(version(4, 0, 1381, 2, "Service Pack 6")),
              "WindowsNT Ver 4.0 Build 1381 Service Pack 6");
    EXPECT_EQ(osDescription(version(5, 0, 2195, 2)), "WindowsNT Ver 5.0 Build 2195 ");
    EXPECT_EQ(osDescription(version(5, 1, 2600, 2)), "Windows2000 Ver 5.1 Build 2600");
    OsVersion linux = version(6, 1, 0, 0);
    EXPECT_EQ(osDescription(linux), "Linux Ver 6.1 Build 0");
    linux.distribution = "Debian GNU/Linux 12 (bookworm)";
    EXPECT_EQ(osDescription(linux), "Linux Ver 6.1 Build 0 (Debian GNU/Linux 12 (bookworm))");
    linux.distribution = std::string(400, 'x');
    EXPECT_EQ(osDescription(linux).size(), 255u);
}

TEST(OsVersionData, KernelReleaseAndOsRelease) {
    OsVersion v;
    parseKernelRelease("6.1.0-18-amd64", v);
    EXPECT_EQ(v.major, 6);
    EXPECT_EQ(v.minor, 1);
    EXPECT_EQ(v.build, 0u);
    parseKernelRelease("5.15.133.1-microsoft-standard-WSL2", v);
    EXPECT_EQ(v.major, 5);
    EXPECT_EQ(v.minor, 15);
    EXPECT_EQ(v.build, 133u);
    parseKernelRelease("4.19", v);
    EXPECT_EQ(v.major, 4);
    EXPECT_EQ(v.minor, 19);
    EXPECT_EQ(v.build, 0u);
    parseKernelRelease("", v);
    EXPECT_EQ(v.major, 0);

    EXPECT_EQ(prettyNameFromOsRelease("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 "
                                      "(bookworm)\"\nID=debian\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=Alpine\n"), "Alpine");
    EXPECT_EQ(prettyNameFromOsRelease("ID=x\n"), "");
}

}  // namespace
}  // namespace oskelon::test
