// A temporary directory for a test, removed with its contents; also gives the test a records
// store of its own: on Linux XDG_DATA_HOME points into the directory, on Windows the store's
// registry key is deleted (tests run under Wine, in a prefix of their own; the registry is one
// per user, so such tests must not run in parallel).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>

#include <random>

#include "support/under_wine.h"
#endif

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace oskelon::test {

class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        std::random_device seed;
        std::error_code ec;
        do {
            path_ =
                std::filesystem::temp_directory_path() / ("oskelon-test-" + std::to_string(seed()));
        } while (!std::filesystem::create_directory(path_, ec) && !ec);
        if (ec) ADD_FAILURE() << "cannot create " << path_ << ": " << ec.message();
        if (!runningUnderWine()) {
            ADD_FAILURE() << "these tests reset the records key: run them under Wine";
            return;
        }
        const LSTATUS deleted = RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Fenwarren\\Oskelon");
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
            ADD_FAILURE() << "cannot reset the records key: " << deleted;
#else
        std::string pattern =
            (std::filesystem::temp_directory_path() / "oskelon-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
        setenv("XDG_DATA_HOME", (path_ / "data").c_str(), 1);
#endif
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const {
        return path_;
    }
    std::string file(const std::string& name) const {
        return (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace oskelon::test
