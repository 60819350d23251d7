// The version data of a Windows result code: the executables' manifest makes GetVersionExA tell
// the truth, so it must agree with the kernel's own report (RtlGetVersion, which no manifest
// affects), and the record's OS text takes the NT family's form.
#include <gtest/gtest.h>
#include <windows.h>

#include "calc/os_version.h"
#include "calc/result_code.h"

namespace oskelon {
namespace {

TEST(OsVersionWindows, AgreesWithTheKernelsReportAndTakesTheNtForm) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    ASSERT_NE(ntdll, nullptr);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    ASSERT_NE(rtlGetVersion, nullptr);
    OSVERSIONINFOW kernel{};
    kernel.dwOSVersionInfoSize = sizeof kernel;
    ASSERT_EQ(rtlGetVersion(&kernel), 0);

    const OsVersion v = queryOsVersion();
    EXPECT_EQ(v.major, static_cast<std::int32_t>(kernel.dwMajorVersion));
    EXPECT_EQ(v.minor, static_cast<std::int32_t>(kernel.dwMinorVersion));
    EXPECT_EQ(v.build, kernel.dwBuildNumber);
    EXPECT_EQ(v.family, 2);

    const std::string text = osDescription(v);
    const std::string expected = (v.minor == 0 ? "WindowsNT Ver " : "Windows2000 Ver ") +
                                 std::to_string(v.major) + "." + std::to_string(v.minor) +
                                 " Build " + std::to_string(v.build & 0xFFFF);
    EXPECT_EQ(text.substr(0, expected.size()), expected);
}

}  // namespace
}  // namespace oskelon
