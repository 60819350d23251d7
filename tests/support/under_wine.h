// Whether a Windows test runs under Wine. The store's tests reset the user's records key, which
// only a Wine prefix made for the test run may lose; on a real Windows system they refuse.
#pragma once

#include <windows.h>

namespace oskelon::test {

inline bool runningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace oskelon::test
