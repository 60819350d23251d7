// Test support for the Linux records store: raw access to its database for checks that do not go
// through RegistryKey, and child processes that use the store at the same time.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/recording_host.h"
#include "support/temp_store.h"

namespace oskelon::test {

// The store's database opened directly, for checks of the stored layout and for planting values
// that RegistryKey itself never writes.
class RawStore {
  public:
    explicit RawStore(const std::filesystem::path& file) {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        db_.reset(raw);
        if (rc != SQLITE_OK) db_.reset();
        if (db_) sqlite3_busy_timeout(db_.get(), 5000);
    }
    bool IsOpen() const { return db_ != nullptr; }

    struct Value {
        std::int64_t type;
        std::vector<unsigned char> bytes;
    };
    std::optional<Value> Get(const std::string& key, const std::string& name) {
        Statement s =
            prepare("SELECT type, data FROM store_values WHERE key_path = ?1 AND name = ?2");
        if (!s) return std::nullopt;
        sqlite3_bind_text(s.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s.get(), 2, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
        Value v{sqlite3_column_int64(s.get(), 0), {}};
        const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(s.get(), 1));
        v.bytes.assign(data, data + sqlite3_column_bytes(s.get(), 1));
        return v;
    }
    bool Put(const std::string& key, const std::string& name, std::int64_t type,
             const std::vector<unsigned char>& bytes) {
        Statement s = prepare(
            "INSERT OR REPLACE INTO store_values (key_path, name, type, data) "
            "VALUES (?1, ?2, ?3, ?4)");
        if (!s) return false;
        sqlite3_bind_text(s.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s.get(), 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(s.get(), 3, type);
        if (bytes.empty()) {
            sqlite3_bind_zeroblob(s.get(), 4, 0);
        } else {
            sqlite3_bind_blob(s.get(), 4, bytes.data(), static_cast<int>(bytes.size()),
                              SQLITE_TRANSIENT);
        }
        return sqlite3_step(s.get()) == SQLITE_DONE;
    }
    // The first column of every row of sql, as text.
    std::vector<std::string> Column(const char* sql) {
        std::vector<std::string> out;
        Statement s = prepare(sql);
        while (s && sqlite3_step(s.get()) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(s.get(), 0);
            out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
        }
        return out;
    }
    bool Execute(const char* sql) {
        return db_ && sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

  private:
    struct DatabaseCloser {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    struct StatementFinalizer {
        void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
    };
    using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

    Statement prepare(const char* sql) {
        sqlite3_stmt* raw = nullptr;
        if (db_) sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr);
        return Statement(raw);
    }

    std::unique_ptr<sqlite3, DatabaseCloser> db_;
};

// prefix followed by n in decimal, e.g. numbered("own", 1) == "own1".
inline std::string numbered(std::string prefix, long n) {
    prefix += std::to_string(n);
    return prefix;
}

inline std::vector<unsigned char> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

// Child processes running a body each and reporting its int result (0..255) as exit status.
// The children wait at a gate until Release, so that they run at the same time. No store
// connection may be open in the parent while it forks: the child would inherit its state.
class ChildProcesses {
  public:
    ChildProcesses() {
        if (::pipe(gate_) != 0) gate_[0] = gate_[1] = -1;
    }
    ~ChildProcesses() {
        Release();
        WaitAll();
        if (gate_[0] >= 0) ::close(gate_[0]);
    }
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    bool Start(const std::function<int()>& body) {
        if (gate_[0] < 0) return false;
        const pid_t pid = ::fork();
        if (pid < 0) return false;
        if (pid == 0) {
            ::close(gate_[1]);
            char c;
            while (::read(gate_[0], &c, 1) > 0) {
            }  // returns 0 once the parent closes its end
            int result = 120;
            try {
                result = body();
            } catch (...) {
                result = 121;
            }
            ::_exit(result);
        }
        pids_.push_back(pid);
        return true;
    }
    void Release() {
        if (gate_[1] >= 0) ::close(gate_[1]);
        gate_[1] = -1;
    }
    // Exit statuses in start order; -1 for a child that did not exit normally.
    std::vector<int> WaitAll() {
        Release();
        std::vector<int> statuses;
        for (pid_t pid : pids_) {
            int status = 0;
            if (::waitpid(pid, &status, 0) != pid) {
                statuses.push_back(-1);
            } else {
                statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            }
        }
        pids_.clear();
        return statuses;
    }

  private:
    int gate_[2] = {-1, -1};
    std::vector<pid_t> pids_;
};

inline int runInChildProcess(const std::function<int()>& body) {
    ChildProcesses child;
    if (!child.Start(body)) return -1;
    return child.WaitAll().front();
}

}  // namespace oskelon::test
