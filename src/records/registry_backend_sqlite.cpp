// The records store on Linux: one SQLite database per user.
//
// File:    $XDG_DATA_HOME/oskelon/registry.sqlite3; an unset, empty or relative XDG_DATA_HOME
//          stands for $HOME/.local/share. Missing directories are made with mode 0700. When
//          neither variable gives an absolute path there is no store and every open fails.
// Schema:  user_version 1.
//            store_keys(path)                         every key; a key's parents exist with it
//            store_values(key_path, name, type, data) one row per value, type as in regSz/regDword
//          Key paths and value names compare without regard to ASCII case, as registry names do.
//          A store of a later schema version is left alone: opening it fails.
// Sharing: every connection runs in WAL mode with a busy timeout, so readers never wait for a
//          writer and a writer waits up to busyTimeoutMs for another. Outside an exclusive unit
//          each write is one statement and therefore one transaction: it lands whole or not at
//          all. An exclusive unit is a BEGIN IMMEDIATE transaction, which takes the write lock
//          before its first read, so two units never interleave and never deadlock.
// A connection is never shared: every RegistryBackendKey owns its own.
// Damage:  a file that is not a database, or fails SQLite's quick check (done once per process),
//          is never overwritten: it is renamed to registry.sqlite3.damaged-<time> (under a lock
//          file, so that two processes do not both set it aside) and a new store is started.
//          Every failure that loses a record is noted once for the user (store_notice.h).
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "records/registry_backend.h"
#include "records/store_notice.h"

namespace oskelon {

namespace {

constexpr int busyTimeoutMs = 5000;
constexpr int schemaVersion = 1;
constexpr const char* storeFileName = "registry.sqlite3";
constexpr const char* lockFileName = "registry.lock";

void noteUnusable(const std::string& file, const std::string& reason) {
    noteStoreProblem("The records store " + file + " cannot be used (" + reason +
                     "); records are not saved.");
}

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Null when sql does not compile (no such table, not a database, ...).
Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);  // raw stays null on failure
    return Statement(raw);
}

bool execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool bindText(sqlite3_stmt* statement, int index, std::string_view text) {
    return text.size() <= INT_MAX &&
           sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT) == SQLITE_OK;
}

bool inTransaction(sqlite3* db) {
    return sqlite3_get_autocommit(db) == 0;
}

// Rolls back the transaction open on db when it goes out of scope, unless released.
class RollbackGuard {
  public:
    explicit RollbackGuard(sqlite3* db) : db_(db) {}
    ~RollbackGuard() {
        if (db_ != nullptr && inTransaction(db_)) execute(db_, "ROLLBACK");
    }
    RollbackGuard(const RollbackGuard&) = delete;
    RollbackGuard& operator=(const RollbackGuard&) = delete;
    void Release() { db_ = nullptr; }

  private:
    sqlite3* db_;
};

// The store's directory, or "" when neither XDG_DATA_HOME nor HOME gives an absolute path.
std::string storeDirectory() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/oskelon";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/oskelon";
    return {};
}

// mkdir -p with mode 0700 for every directory it makes. True when path is a directory at the end.
bool makeDirectories(const std::string& path) {
    for (std::size_t end = 1; end <= path.size(); ++end) {
        if (end != path.size() && path[end] != '/') continue;
        const std::string prefix = path.substr(0, end);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// "A\B\C" -> {"A", "A\B", "A\B\C"}; empty when path is empty or has an empty key name.
std::vector<std::string> keyChain(std::string_view path) {
    std::vector<std::string> chain;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::size_t stop = end == std::string_view::npos ? path.size() : end;
        if (stop == start) return {};
        chain.emplace_back(path.substr(0, stop));
        if (end == std::string_view::npos) return chain;
        start = end + 1;
    }
}

// Switching a fresh file to WAL needs a moment with no other connection on it; when two
// processes create the store together one of them can be refused without the busy handler being
// consulted, so the switch is retried for as long as the busy timeout would wait.
bool useWriteAheadLog(sqlite3* db) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs);
    while (true) {
        Statement statement = prepare(db, "PRAGMA journal_mode=WAL");
        const int rc = statement ? sqlite3_step(statement.get()) : SQLITE_ERROR;
        if (rc == SQLITE_ROW) {
            const auto* mode =
                reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
            return mode != nullptr && std::strcmp(mode, "wal") == 0;
        }
        if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) ||
            std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        statement.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// -1 when the version cannot be read (for instance: the file is not a database).
int userVersion(sqlite3* db) {
    Statement statement = prepare(db, "PRAGMA user_version");
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return -1;
    return sqlite3_column_int(statement.get(), 0);
}

// Brings the schema to schemaVersion. Each step from version v to v + 1 runs in the same
// transaction as the version change, so a store is always at exactly one version.
bool ensureSchema(sqlite3* db) {
    int version = userVersion(db);
    if (version == schemaVersion) return true;
    if (version < 0 || version > schemaVersion) return false;

    if (!execute(db, "BEGIN IMMEDIATE")) return false;
    RollbackGuard guard(db);
    version = userVersion(db);  // another process may have done it while we waited for the lock
    if (version == 0) {
        if (!execute(db,
                     "CREATE TABLE store_keys ("
                     "  path TEXT COLLATE NOCASE NOT NULL PRIMARY KEY"
                     ") WITHOUT ROWID;"
                     "CREATE TABLE store_values ("
                     "  key_path TEXT COLLATE NOCASE NOT NULL REFERENCES store_keys(path),"
                     "  name TEXT COLLATE NOCASE NOT NULL,"
                     "  type INTEGER NOT NULL,"
                     "  data BLOB NOT NULL,"
                     "  PRIMARY KEY (key_path, name)"
                     ") WITHOUT ROWID;"
                     "PRAGMA user_version = 1;")) {
            return false;
        }
        version = 1;
    }
    if (version != schemaVersion || !execute(db, "COMMIT")) return false;
    guard.Release();
    return true;
}

bool keyExists(sqlite3* db, const std::string& path) {
    Statement statement = prepare(db, "SELECT 1 FROM store_keys WHERE path = ?1");
    return statement && bindText(statement.get(), 1, path) &&
           sqlite3_step(statement.get()) == SQLITE_ROW;
}

// Creates the last key of chain and every missing parent, in one transaction.
bool ensureKey(sqlite3* db, const std::vector<std::string>& chain) {
    if (keyExists(db, chain.back())) return true;
    if (!execute(db, "BEGIN IMMEDIATE")) return false;
    RollbackGuard guard(db);
    for (const std::string& path : chain) {
        Statement statement = prepare(db, "INSERT OR IGNORE INTO store_keys (path) VALUES (?1)");
        if (!statement || !bindText(statement.get(), 1, path) ||
            sqlite3_step(statement.get()) != SQLITE_DONE) {
            return false;
        }
    }
    if (!execute(db, "COMMIT")) return false;
    guard.Release();
    return true;
}

class SqliteKey final : public RegistryBackendKey {
  public:
    SqliteKey(Database db, std::string path, std::string file)
        : db_(std::move(db)), path_(std::move(path)), file_(std::move(file)) {}

    ~SqliteKey() override {
        if (inTransaction(db_.get())) execute(db_.get(), "ROLLBACK");
    }

    bool QueryValue(const char* name, std::uint32_t& type, unsigned char* buffer,
                    std::size_t capacity, std::size_t& size) override {
        if (name == nullptr || unitLost()) return false;
        Statement statement = prepare(
            db_.get(), "SELECT type, data FROM store_values WHERE key_path = ?1 AND name = ?2");
        if (!statement || !bindText(statement.get(), 1, path_) ||
            !bindText(statement.get(), 2, name) || sqlite3_step(statement.get()) != SQLITE_ROW) {
            return false;
        }
        const sqlite3_int64 storedType = sqlite3_column_int64(statement.get(), 0);
        const void* data = sqlite3_column_blob(statement.get(), 1);
        const int bytes = sqlite3_column_bytes(statement.get(), 1);  // after the blob, as required
        if (storedType < 0 || storedType > UINT32_MAX || bytes < 0 ||
            static_cast<std::size_t>(bytes) > capacity) {
            return false;
        }
        if (bytes > 0) {
            if (data == nullptr) return false;  // out of memory while reading
            std::memcpy(buffer, data, static_cast<std::size_t>(bytes));
        }
        type = static_cast<std::uint32_t>(storedType);
        size = static_cast<std::size_t>(bytes);
        return true;
    }

    bool SetValue(const char* name, std::uint32_t type, const unsigned char* bytes,
                  std::size_t size) override {
        if (name == nullptr || (bytes == nullptr && size != 0) || size > INT_MAX || unitLost()) {
            return false;
        }
        Statement statement = prepare(db_.get(),
                                      "INSERT INTO store_values (key_path, name, type, data) "
                                      "VALUES (?1, ?2, ?3, ?4) "
                                      "ON CONFLICT (key_path, name) DO UPDATE "
                                      "SET type = excluded.type, data = excluded.data");
        if (!statement || !bindText(statement.get(), 1, path_) ||
            !bindText(statement.get(), 2, name) ||
            sqlite3_bind_int64(statement.get(), 3, type) != SQLITE_OK) {
            return false;
        }
        // A null pointer would bind NULL rather than an empty blob.
        const int bound = size == 0 ? sqlite3_bind_zeroblob(statement.get(), 4, 0)
                                    : sqlite3_bind_blob(statement.get(), 4, bytes,
                                                        static_cast<int>(size), SQLITE_TRANSIENT);
        if (bound == SQLITE_OK && sqlite3_step(statement.get()) == SQLITE_DONE) return true;
        noteWriteFailure();
        return false;
    }

    bool BeginExclusive() override {
        if (unitOpen_ || inTransaction(db_.get())) return false;
        unitOpen_ = execute(db_.get(), "BEGIN IMMEDIATE");
        if (!unitOpen_) noteWriteFailure();
        return unitOpen_;
    }

    bool Commit() override {
        if (!unitOpen_) return false;
        unitOpen_ = false;
        if (!inTransaction(db_.get())) return false;  // the unit was lost to an error
        if (execute(db_.get(), "COMMIT")) return true;
        noteWriteFailure();
        if (inTransaction(db_.get())) execute(db_.get(), "ROLLBACK");
        return false;
    }

  private:
    // SQLite rolls a transaction back by itself after some errors (disk full, I/O). Later
    // statements would then run one by one outside the unit, so the key refuses every operation
    // until Commit reports the loss.
    bool unitLost() const { return unitOpen_ && !inTransaction(db_.get()); }

    void noteWriteFailure() {
        noteStoreProblem("Could not write to the records store " + file_ + " (" +
                         sqlite3_errmsg(db_.get()) + "); the record was not saved.");
    }

    Database db_;
    std::string path_;
    std::string file_;
    bool unitOpen_ = false;
};

// What opening a store found.
enum class OpenResult { Ready, Damaged, Failed };

// True when the file holds a database that SQLite's quick check finds sound.
bool passesQuickCheck(sqlite3* db) {
    Statement statement = prepare(db, "PRAGMA quick_check");
    return statement && sqlite3_step(statement.get()) == SQLITE_ROW &&
           std::string_view(
               reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))) == "ok";
}

// A file that is there but is no database, or a damaged one.
bool looksDamaged(int rc) {
    const int primary = rc & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

OpenResult openStore(const std::string& file, const std::vector<std::string>& chain,
                     bool quickCheck, Database& out) {
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database db(raw);  // SQLite may return a handle even when opening fails; it must be closed
    if (rc != SQLITE_OK) {
        noteUnusable(file, sqlite3_errstr(rc));
        return OpenResult::Failed;
    }
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    if (userVersion(db.get()) < 0 && looksDamaged(sqlite3_extended_errcode(db.get())))
        return OpenResult::Damaged;
    if (quickCheck && !passesQuickCheck(db.get())) {
        const int code = sqlite3_extended_errcode(db.get());
        if (code == SQLITE_OK || code == SQLITE_ROW || looksDamaged(code))
            return OpenResult::Damaged;
    }
    if (!useWriteAheadLog(db.get()) || !execute(db.get(), "PRAGMA foreign_keys = ON")) {
        noteUnusable(file, sqlite3_errmsg(db.get()));
        return OpenResult::Failed;
    }
    if (!ensureSchema(db.get())) {
        if (looksDamaged(sqlite3_extended_errcode(db.get()))) return OpenResult::Damaged;
        noteUnusable(file, userVersion(db.get()) > schemaVersion
                               ? "it was written by a later version of the program"
                               : sqlite3_errmsg(db.get()));
        return OpenResult::Failed;
    }
    if (!ensureKey(db.get(), chain)) {
        if (looksDamaged(sqlite3_extended_errcode(db.get()))) return OpenResult::Damaged;
        noteUnusable(file, sqlite3_errmsg(db.get()));
        return OpenResult::Failed;
    }
    out = std::move(db);
    return OpenResult::Ready;
}

// Holds an exclusive lock on the store's lock file while a damaged store is set aside.
class StoreLock {
  public:
    explicit StoreLock(const std::string& directory)
        : fd_(::open((directory + "/" + lockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
                     0600)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_;
};

// Renames a damaged store (and its write-ahead files) out of the way; the new name, or "".
std::string setAside(const std::string& file) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string kept = file + ".damaged-" + stamp;
    for (int n = 2; ::access(kept.c_str(), F_OK) == 0; ++n)
        kept = file + ".damaged-" + stamp + "-" + std::to_string(n);
    if (::rename(file.c_str(), kept.c_str()) != 0) return {};
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string side = file + suffix;
        if (::access(side.c_str(), F_OK) == 0) ::rename(side.c_str(), (kept + suffix).c_str());
    }
    return kept;
}

}  // namespace

std::unique_ptr<RegistryBackendKey> OpenRegistryBackendKey(RootKey root, const char* path) {
    if (root != RootKey::CurrentUser || path == nullptr) return nullptr;
    const std::vector<std::string> chain = keyChain(path);
    if (chain.empty()) return nullptr;
    const std::string directory = storeDirectory();
    if (directory.empty()) {
        noteUnusable("in the home directory", "no absolute XDG_DATA_HOME or HOME");
        return nullptr;
    }
    if (!makeDirectories(directory)) {
        noteUnusable(directory,
                     std::string("cannot create the directory: ") + std::strerror(errno));
        return nullptr;
    }

    // The first open of a process also runs SQLite's quick check of the whole file.
    static std::atomic<bool> checked{false};
    const bool quickCheck = !checked.exchange(true);
    const std::string file = directory + "/" + storeFileName;
    Database db;
    OpenResult result = openStore(file, chain, quickCheck, db);
    if (result == OpenResult::Damaged) {
        StoreLock lock(directory);
        // Another process may have set the file aside and started a new store meanwhile.
        Database again;
        result = lock.held() ? openStore(file, chain, true, again) : OpenResult::Failed;
        if (result == OpenResult::Damaged) {
            const std::string kept = setAside(file);
            if (kept.empty()) {
                noteUnusable(file, std::string("it is damaged and cannot be renamed: ") +
                                       std::strerror(errno));
                return nullptr;
            }
            noteStoreProblem("The records store " + file + " was damaged; it was kept as " + kept +
                             " and a new, empty store was started.");
            result = openStore(file, chain, false, again);
        }
        if (result != OpenResult::Ready) return nullptr;
        db = std::move(again);
    }
    if (result != OpenResult::Ready) return nullptr;
    return std::make_unique<SqliteKey>(std::move(db), chain.back(), file);
}

}  // namespace oskelon
