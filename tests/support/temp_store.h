// TempDir: a temporary directory for one test, removed with its contents, that also gives the test
// a records store of its own. On Linux XDG_DATA_HOME and HOME point beside the directory, under the
// same temporary root, while it lives (child processes inherit them) and come back afterwards; on
// Windows the store's registry key is deleted (tests run under Wine, in a prefix of their own; the
// registry is one per user, so such tests must not run in parallel). StoreTest: a fixture whose
// every test runs with a TempDir.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>

#include <random>

#include "support/under_wine.h"
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
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
            root_ =
                std::filesystem::temp_directory_path() / ("oskelon-test-" + std::to_string(seed()));
        } while (!std::filesystem::create_directory(root_, ec) && !ec);
        if (ec) ADD_FAILURE() << "cannot create " << root_ << ": " << ec.message();
        path_ = root_ / "files";
        std::filesystem::create_directory(path_, ec);
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
        root_ = pattern;
        path_ = root_ / "files";
        savedDataHome_ = saved("XDG_DATA_HOME");
        savedHome_ = saved("HOME");
        std::error_code ec;
        std::filesystem::create_directory(path_, ec);
        std::filesystem::create_directory(root_ / "home", ec);
        setenv("HOME", (root_ / "home").c_str(), 1);
        setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
#endif
    }
    ~TempDir() {
#ifndef _WIN32
        restore("XDG_DATA_HOME", savedDataHome_);
        restore("HOME", savedHome_);
#endif
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The test's own directory, empty at first.
    const std::filesystem::path& path() const {
        return path_;
    }
    // The temporary root that holds path(), the store's data home and HOME.
    const std::filesystem::path& root() const {
        return root_;
    }
    std::string file(const std::string& name) const {
        return (path_ / name).string();
    }
    // Where the Linux store lives for this directory (not created in advance).
    std::filesystem::path dataHome() const {
        return root_ / "data";
    }
    std::filesystem::path storeFile() const {
        return dataHome() / "oskelon" / "registry.sqlite3";
    }

  private:
#ifndef _WIN32
    static std::optional<std::string> saved(const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void restore(const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::optional<std::string> savedDataHome_;
    std::optional<std::string> savedHome_;
#endif
    std::filesystem::path root_;
    std::filesystem::path path_;
};

class StoreTest : public ::testing::Test {
  protected:
    std::filesystem::path dataHome() const { return dir_.dataHome(); }
    std::filesystem::path storeFile() const { return dir_.storeFile(); }
    const std::filesystem::path& root() const { return dir_.root(); }

  private:
    TempDir dir_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace oskelon::test
