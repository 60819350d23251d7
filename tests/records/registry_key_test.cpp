// RegistryKey on the SQLite store: location, keys, typed values and their stored bytes (read back
// with SQLite directly), buffer limits, exclusive units, and several processes at once.
#include "records/registry_key.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/store_access.h"

namespace oskelon {
namespace {

namespace fs = std::filesystem;
using test::bytesOf;
using test::ChildProcesses;
using test::numbered;
using test::RawStore;
using test::runInChildProcess;
using test::StoreTest;
using Bytes = std::vector<unsigned char>;

constexpr const char* keyPath = "Software\\Fenwarren\\Oskelon";

std::string fileContents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned permissions(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777u) : 0xFFFFu;
}

// ---- Where the store lives ----------------------------------------------------------------

using StoreLocationTest = StoreTest;

TEST_F(StoreLocationTest, FirstOpenCreatesTheStoreAndItsDirectoriesUnderXdgDataHome) {
    ASSERT_FALSE(fs::exists(dataHome()));
    RegistryKey key(RootKey::CurrentUser, keyPath);
    EXPECT_TRUE(key.IsOpen());
    EXPECT_TRUE(fs::is_regular_file(storeFile()));
    EXPECT_EQ(permissions(dataHome()), 0700u);
    EXPECT_EQ(permissions(dataHome() / "oskelon"), 0700u);
    EXPECT_FALSE(fs::exists(root() / "home" / ".local"));

    RawStore raw(storeFile());
    ASSERT_TRUE(raw.IsOpen());
    EXPECT_EQ(raw.Column("PRAGMA journal_mode"), std::vector<std::string>{"wal"});
    EXPECT_EQ(raw.Column("PRAGMA user_version"), std::vector<std::string>{"1"});
}

TEST_F(StoreLocationTest, WithoutAnAbsoluteXdgDataHomeTheStoreIsUnderHome) {
    const fs::path underHome =
        root() / "home" / ".local" / "share" / "oskelon" / "registry.sqlite3";
    const fs::path cwdRelative = fs::current_path() / "relative-data-home";
    for (const char* setting : {"unset", "", "relative-data-home"}) {
        SCOPED_TRACE(setting);
        if (std::string(setting) == "unset") {
            ::unsetenv("XDG_DATA_HOME");
        } else {
            ::setenv("XDG_DATA_HOME", setting, 1);
        }
        fs::remove_all(root() / "home" / ".local");
        RegistryKey key(RootKey::CurrentUser, keyPath);
        EXPECT_TRUE(key.IsOpen());
        EXPECT_TRUE(fs::is_regular_file(underHome));
        EXPECT_FALSE(fs::exists(dataHome()));
        EXPECT_FALSE(fs::exists(cwdRelative));
    }
}

TEST_F(StoreLocationTest, AStoreThatCannotBeOpenedFailsSilentlyAndIsLeftAlone) {
    // XDG_DATA_HOME names a regular file: no directory can be made.
    {
        std::ofstream(dataHome()) << "not a directory";
        RegistryKey key(RootKey::CurrentUser, keyPath);
        EXPECT_FALSE(key.IsOpen());
        EXPECT_EQ(key.ReadDword("ver1.1", 77), 77u);
        EXPECT_FALSE(key.WriteDword("ver1.1", 1));
        EXPECT_FALSE(key.WriteString("104c", "ABC"));
        char buffer[10] = "x";
        EXPECT_EQ(key.ReadString("104c", buffer, sizeof buffer, nullptr), nullptr);
        EXPECT_FALSE(key.BeginExclusive());
        EXPECT_FALSE(key.Commit());
        EXPECT_EQ(fileContents(dataHome()), "not a directory");
        fs::remove(dataHome());
    }
    // The store file is not a database: it is never overwritten, but kept under another name,
    // and a new store takes its place.
    {
        fs::create_directories(storeFile().parent_path());
        const std::string garbage(4096, '\x5A');
        std::ofstream(storeFile(), std::ios::binary) << garbage;
        RegistryKey key(RootKey::CurrentUser, keyPath);
        EXPECT_TRUE(key.IsOpen());
        EXPECT_TRUE(key.WriteDword("ver1.1", 1));
        int kept = 0;
        for (const auto& entry : fs::directory_iterator(storeFile().parent_path())) {
            if (entry.path().filename().string().rfind("registry.sqlite3.damaged-", 0) == 0) {
                EXPECT_EQ(fileContents(entry.path()), garbage);
                fs::remove(entry.path());
                ++kept;
            }
        }
        EXPECT_EQ(kept, 1);
        key.Close();
        fs::remove(storeFile());
    }
    // A store of a later schema version is not touched.
    {
        {
            RegistryKey key(RootKey::CurrentUser, keyPath);
            ASSERT_TRUE(key.WriteDword("a", 5));
        }
        {
            RawStore raw(storeFile());
            ASSERT_TRUE(raw.Execute("PRAGMA user_version = 2"));
        }
        RegistryKey key(RootKey::CurrentUser, keyPath);
        EXPECT_FALSE(key.IsOpen());
        EXPECT_EQ(key.ReadDword("a", 0), 0u);
        RawStore raw(storeFile());
        EXPECT_EQ(raw.Column("PRAGMA user_version"), std::vector<std::string>{"2"});
        EXPECT_EQ(raw.Get(keyPath, "a")->bytes, (Bytes{5, 0, 0, 0}));
    }
}

// ---- Keys ---------------------------------------------------------------------------------

using KeyTest = StoreTest;

TEST_F(KeyTest, OpenCreatesTheKeyWithEveryParentAndReopensItLater) {
    {
        RegistryKey key;
        EXPECT_FALSE(key.IsOpen());
        EXPECT_TRUE(key.Open(RootKey::CurrentUser, keyPath));
        EXPECT_TRUE(key.WriteDword("a", 1));
    }
    RawStore raw(storeFile());
    EXPECT_EQ(raw.Column("SELECT path FROM store_keys ORDER BY path"),
              (std::vector<std::string>{"Software", "Software\\Fenwarren",
                                        "Software\\Fenwarren\\Oskelon"}));
    RegistryKey again(RootKey::CurrentUser, keyPath);
    EXPECT_EQ(again.ReadDword("a", 0), 1u);
    EXPECT_EQ(raw.Column("SELECT count(*) FROM store_keys"), std::vector<std::string>{"3"});
}

TEST_F(KeyTest, MalformedPathsOpenNothing) {
    for (const char* path : {"", "\\Software", "Software\\", "Software\\\\Fenwarren", "\\"}) {
        SCOPED_TRACE(path);
        RegistryKey key;
        EXPECT_FALSE(key.Open(RootKey::CurrentUser, path));
        EXPECT_FALSE(key.IsOpen());
    }
    RegistryKey key(RootKey::CurrentUser, nullptr);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_FALSE(key.Open(RootKey::CurrentUser, nullptr));
}

TEST_F(KeyTest, ValuesBelongToTheirKeyAndNamesIgnoreAsciiCase) {
    RegistryKey records(RootKey::CurrentUser, keyPath);
    ASSERT_TRUE(records.WriteDword("104s", 42));
    ASSERT_TRUE(records.WriteString("104c", "ABC"));

    RegistryKey parent(RootKey::CurrentUser, "Software\\Fenwarren");
    RegistryKey sibling(RootKey::CurrentUser, "Software\\Fenwarren\\Other");
    RegistryKey child(RootKey::CurrentUser, "Software\\Fenwarren\\Oskelon\\Child");
    for (RegistryKey* other : {&parent, &sibling, &child}) {
        ASSERT_TRUE(other->IsOpen());
        EXPECT_EQ(other->ReadDword("104s", 7), 7u);
        char buffer[10];
        EXPECT_EQ(other->ReadString("104c", buffer, sizeof buffer, nullptr), nullptr);
    }
    ASSERT_TRUE(sibling.WriteDword("104s", 1));
    EXPECT_EQ(records.ReadDword("104s", 0), 42u);

    EXPECT_EQ(records.ReadDword("104S", 0), 42u);
    RegistryKey otherCase(RootKey::CurrentUser, "SOFTWARE\\fenwarren\\OSKELON");
    EXPECT_EQ(otherCase.ReadDword("104s", 0), 42u);
    ASSERT_TRUE(otherCase.WriteDword("104S", 43));
    EXPECT_EQ(records.ReadDword("104s", 0), 43u);
    RawStore raw(storeFile());
    EXPECT_EQ(raw.Column("SELECT count(*) FROM store_keys"), std::vector<std::string>{"5"});
    EXPECT_EQ(raw.Column("SELECT count(*) FROM store_values"), std::vector<std::string>{"3"});
}

TEST_F(KeyTest, OpenAndCloseReleaseTheHeldKey) {
    RegistryKey key(RootKey::CurrentUser, keyPath);
    ASSERT_TRUE(key.WriteDword("a", 1));
    ASSERT_TRUE(key.Open(RootKey::CurrentUser, "Software\\Elsewhere"));
    EXPECT_EQ(key.ReadDword("a", 9), 9u);
    EXPECT_TRUE(key.Close());
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.ReadDword("a", 9), 9u);
    EXPECT_FALSE(key.WriteDword("a", 2));
    EXPECT_TRUE(key.Close());
    // A failed Open also leaves no key held.
    ASSERT_TRUE(key.Open(RootKey::CurrentUser, keyPath));
    EXPECT_FALSE(key.Open(RootKey::CurrentUser, ""));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.ReadDword("a", 9), 9u);
}

// ---- Values ---------------------------------------------------------------------------------

using ValueTest = StoreTest;

TEST_F(ValueTest, DwordsAreFourLittleEndianBytesOfType4) {
    RegistryKey key(RootKey::CurrentUser, keyPath);
    EXPECT_EQ(key.ReadDword("d", 0xABCDu), 0xABCDu);  // missing
    RawStore raw(storeFile());
    for (std::uint32_t v : {0u, 1u, 0x12345678u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(v);
        ASSERT_TRUE(key.WriteDword("d", v));
        EXPECT_EQ(key.ReadDword("d", v ^ 1u), v);
        const auto stored = raw.Get(keyPath, "d");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, 4);
        EXPECT_EQ(stored->bytes, (Bytes{static_cast<unsigned char>(v & 0xFF),
                                        static_cast<unsigned char>((v >> 8) & 0xFF),
                                        static_cast<unsigned char>((v >> 16) & 0xFF),
                                        static_cast<unsigned char>(v >> 24)}));
    }
    EXPECT_EQ(raw.Get(keyPath, "d")->bytes, (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(ValueTest, TextsAreStoredWithTheirNulAsType1AndReadBackWhole) {
    RegistryKey key(RootKey::CurrentUser, keyPath);
    RawStore raw(storeFile());
    const std::string japanese = "\xE6\x9C\xAA\xE8\xA8\x88\xE7\xAE\x97";  // three characters
    for (const std::string& text : {std::string(), std::string("CE064312"), japanese,
                                    std::string("WindowsNT Ver 4.0 Build 1381 Service Pack 6")}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(key.WriteString("t", text.c_str()));
        const auto stored = raw.Get(keyPath, "t");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, 1);
        Bytes expected = bytesOf(text);
        expected.push_back(0);
        EXPECT_EQ(stored->bytes, expected);

        char buffer[256];
        std::memset(buffer, 'Q', sizeof buffer);
        EXPECT_EQ(key.ReadString("t", buffer, sizeof buffer, "default"), buffer);
        EXPECT_EQ(std::string(buffer), text);
    }
    const auto before = raw.Get(keyPath, "t");
    EXPECT_FALSE(key.WriteString("t", nullptr));
    EXPECT_EQ(raw.Get(keyPath, "t")->bytes, before->bytes);
}

TEST_F(ValueTest, TextsFitTheirBufferWithTheNulOrAreUnreadable) {
    RegistryKey key(RootKey::CurrentUser, keyPath);
    struct Case {
        std::size_t bufferSize;
        std::size_t length;
        bool readable;
    };
    for (const Case c :
         {Case{10, 9, true}, Case{10, 10, false}, Case{10, 300, false}, Case{256, 255, true},
          Case{256, 256, false}, Case{1, 0, true}, Case{1, 1, false}}) {
        SCOPED_TRACE(testing::Message() << c.bufferSize << " " << c.length);
        std::string text;
        for (std::size_t i = 0; i < c.length; ++i) text += static_cast<char>('A' + i % 26);
        ASSERT_TRUE(key.WriteString("t", text.c_str()));

        // The buffer sits inside a larger array whose tail must never be written.
        std::vector<char> area(c.bufferSize + 16, '#');
        char* result = key.ReadString("t", area.data(), c.bufferSize, nullptr);
        if (c.readable) {
            EXPECT_EQ(result, area.data());
            EXPECT_EQ(std::string(area.data()), text);
        } else {
            EXPECT_EQ(result, nullptr);
            result = key.ReadString("t", area.data(), c.bufferSize, "dflt");
            EXPECT_EQ(result, area.data());
            EXPECT_EQ(std::string(area.data()), std::string("dflt").substr(0, c.bufferSize - 1));
        }
        EXPECT_EQ(std::string(area.begin() + c.bufferSize, area.end()), std::string(16, '#'));
    }
    char none[1] = {'#'};
    EXPECT_EQ(key.ReadString("t", none, 0, "dflt"), nullptr);
    EXPECT_EQ(none[0], '#');
}

TEST_F(ValueTest, AValueOfTheOtherTypeReadsAsAbsent) {
    RegistryKey key(RootKey::CurrentUser, keyPath);
    ASSERT_TRUE(key.WriteString("s", "1"));
    ASSERT_TRUE(key.WriteString("s4", "abc"));      // four bytes with its NUL, like a DWORD
    ASSERT_TRUE(key.WriteDword("d", 0x00434241u));  // "ABC\0" if taken as bytes
    EXPECT_EQ(key.ReadDword("s", 5), 5u);
    EXPECT_EQ(key.ReadDword("s4", 5), 5u);
    char buffer[10] = "x";
    EXPECT_EQ(key.ReadString("d", buffer, sizeof buffer, nullptr), nullptr);
    EXPECT_EQ(key.ReadString("d", buffer, sizeof buffer, "z"), buffer);
    EXPECT_STREQ(buffer, "z");

    // Rewriting a name with the other type replaces the type.
    ASSERT_TRUE(key.WriteDword("s", 1));
    EXPECT_EQ(key.ReadDword("s", 5), 1u);
    EXPECT_EQ(key.ReadString("s", buffer, sizeof buffer, nullptr), nullptr);
    ASSERT_TRUE(key.WriteString("d", "back"));
    EXPECT_EQ(key.ReadDword("d", 5), 5u);
    EXPECT_STREQ(key.ReadString("d", buffer, sizeof buffer, nullptr), "back");

    // Values other writers may leave: other types, and DWORDs of the wrong size.
    RawStore raw(storeFile());
    ASSERT_TRUE(raw.Put(keyPath, "binary", 3, {1, 0, 0, 0}));
    ASSERT_TRUE(raw.Put(keyPath, "short", 4, {1, 0}));
    ASSERT_TRUE(raw.Put(keyPath, "long", 4, {1, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(raw.Put(keyPath, "expand", 2, bytesOf(std::string("abc", 4))));
    for (const char* name : {"binary", "short", "long", "expand"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(key.ReadDword(name, 5), 5u);
        EXPECT_EQ(key.ReadString(name, buffer, sizeof buffer, nullptr), nullptr);
    }
}

TEST_F(ValueTest, TheReaderTerminatesTextsInsideTheBuffer) {
    RegistryKey key(RootKey::CurrentUser, keyPath);
    RawStore raw(storeFile());
    ASSERT_TRUE(raw.Put(keyPath, "bare5", 1, bytesOf("abcde")));
    ASSERT_TRUE(raw.Put(keyPath, "bare10", 1, bytesOf("0123456789")));
    ASSERT_TRUE(raw.Put(keyPath, "bare11", 1, bytesOf("0123456789A")));
    ASSERT_TRUE(raw.Put(keyPath, "empty", 1, {}));
    char buffer[10];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_STREQ(key.ReadString("bare5", buffer, sizeof buffer, nullptr), "abcde");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_STREQ(key.ReadString("bare10", buffer, sizeof buffer, nullptr), "012345678");
    EXPECT_EQ(key.ReadString("bare11", buffer, sizeof buffer, nullptr), nullptr);
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_STREQ(key.ReadString("empty", buffer, sizeof buffer, nullptr), "");
}

// ---- Exclusive units ------------------------------------------------------------------------

using UnitTest = StoreTest;

TEST_F(UnitTest, ACommittedUnitLandsWholeAndIsInvisibleUntilThen) {
    RegistryKey writer(RootKey::CurrentUser, keyPath);
    RegistryKey reader(RootKey::CurrentUser, keyPath);
    ASSERT_TRUE(writer.WriteDword("104s", 0xFFFFFFFFu));
    ASSERT_TRUE(writer.BeginExclusive());
    EXPECT_FALSE(writer.BeginExclusive());  // no nesting
    EXPECT_EQ(writer.ReadDword("104s", 0), 0xFFFFFFFFu);
    ASSERT_TRUE(writer.WriteDword("104s", 100));
    ASSERT_TRUE(writer.WriteString("104c", "CE064312"));
    EXPECT_EQ(writer.ReadDword("104s", 0), 100u);  // the unit sees its own writes
    EXPECT_EQ(reader.ReadDword("104s", 0), 0xFFFFFFFFu);
    char buffer[10];
    EXPECT_EQ(reader.ReadString("104c", buffer, sizeof buffer, nullptr), nullptr);
    ASSERT_TRUE(writer.Commit());
    EXPECT_FALSE(writer.Commit());
    EXPECT_EQ(reader.ReadDword("104s", 0), 100u);
    EXPECT_STREQ(reader.ReadString("104c", buffer, sizeof buffer, nullptr), "CE064312");

    // After the unit every write stands alone again and is seen at once.
    ASSERT_TRUE(writer.WriteDword("104s", 99));
    EXPECT_EQ(reader.ReadDword("104s", 0), 99u);
}

TEST_F(UnitTest, AKeyClosedReopenedOrDestroyedInsideAUnitRollsItBack) {
    RegistryKey reader(RootKey::CurrentUser, keyPath);
    ASSERT_TRUE(reader.WriteDword("v", 1));
    {
        RegistryKey key(RootKey::CurrentUser, keyPath);
        ASSERT_TRUE(key.BeginExclusive());
        ASSERT_TRUE(key.WriteDword("v", 2));
        ASSERT_TRUE(key.WriteDword("w", 2));
    }
    EXPECT_EQ(reader.ReadDword("v", 0), 1u);
    EXPECT_EQ(reader.ReadDword("w", 0), 0u);

    RegistryKey key(RootKey::CurrentUser, keyPath);
    ASSERT_TRUE(key.BeginExclusive());
    ASSERT_TRUE(key.WriteDword("v", 3));
    EXPECT_TRUE(key.Close());
    EXPECT_FALSE(key.Commit());
    EXPECT_EQ(reader.ReadDword("v", 0), 1u);

    ASSERT_TRUE(key.Open(RootKey::CurrentUser, keyPath));
    ASSERT_TRUE(key.BeginExclusive());
    ASSERT_TRUE(key.WriteDword("v", 4));
    ASSERT_TRUE(key.Open(RootKey::CurrentUser, keyPath));
    EXPECT_FALSE(key.Commit());
    EXPECT_EQ(reader.ReadDword("v", 0), 1u);
    // The store is free again: a new unit can be taken at once.
    ASSERT_TRUE(reader.BeginExclusive());
    EXPECT_TRUE(reader.Commit());
}

TEST_F(UnitTest, AWriterWaitsForAUnitButNotForever) {
    RegistryKey holder(RootKey::CurrentUser, keyPath);
    RegistryKey other(RootKey::CurrentUser, keyPath);
    using Clock = std::chrono::steady_clock;

    // Held past the busy timeout (about 5 s): the other write fails and changes nothing.
    ASSERT_TRUE(holder.BeginExclusive());
    ASSERT_TRUE(holder.WriteDword("v", 1));
    auto start = Clock::now();
    EXPECT_FALSE(other.WriteDword("v", 2));
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(waited, 1.5);
    EXPECT_LT(waited, 10.0);
    EXPECT_FALSE(other.BeginExclusive());
    ASSERT_TRUE(holder.Commit());
    EXPECT_EQ(other.ReadDword("v", 0), 1u);

    // Held briefly: the other write waits for the commit and then lands after it.
    ASSERT_TRUE(holder.BeginExclusive());
    ASSERT_TRUE(holder.WriteDword("v", 3));
    std::thread committer([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.Commit();
    });
    start = Clock::now();
    EXPECT_TRUE(other.WriteDword("v", 4));
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - start).count(), 0.2);
    committer.join();
    EXPECT_EQ(holder.ReadDword("v", 0), 4u);
}

// ---- Several processes ----------------------------------------------------------------------

using ProcessTest = StoreTest;

TEST_F(ProcessTest, ValuesPersistAcrossProcesses) {
    const int written = runInChildProcess([] {
        RegistryKey key(RootKey::CurrentUser, keyPath);
        return key.WriteDword("104s", 0x80000001u) && key.WriteString("104o", "from the child") ? 0
                                                                                                : 1;
    });
    ASSERT_EQ(written, 0);
    {
        RegistryKey key(RootKey::CurrentUser, keyPath);
        EXPECT_EQ(key.ReadDword("104s", 0), 0x80000001u);
        char buffer[256];
        EXPECT_STREQ(key.ReadString("104o", buffer, sizeof buffer, nullptr), "from the child");
        ASSERT_TRUE(key.WriteString("104c", "FROMPARENT"));  // 10 characters
        ASSERT_TRUE(key.WriteDword("104s", 7));
    }
    const int read = runInChildProcess([] {
        RegistryKey key(RootKey::CurrentUser, keyPath);
        char code[11];
        char os[256];
        if (key.ReadDword("104s", 0) != 7) return 1;
        if (key.ReadString("104c", code, sizeof code, nullptr) == nullptr) return 2;
        if (std::string(code) != "FROMPARENT") return 3;
        if (key.ReadString("104o", os, sizeof os, nullptr) == nullptr) return 4;
        return std::string(os) == "from the child" ? 0 : 5;
    });
    EXPECT_EQ(read, 0);
}

// Several processes open a store that does not exist yet at the same moment: every one of them
// opens it (creating it, switching it to WAL and making the schema once) and writes its value.
TEST_F(ProcessTest, ProcessesCreatingTheStoreTogetherAllSucceed) {
    constexpr int trials = 8;
    constexpr int processes = 3;
    for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE(trial);
        const fs::path dir = root() / numbered("trial", trial);
        ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
        ChildProcesses children;
        for (int p = 0; p < processes; ++p) {
            ASSERT_TRUE(children.Start([p] {
                RegistryKey key(RootKey::CurrentUser, keyPath);
                if (!key.IsOpen()) return 1;
                return key.WriteDword(numbered("p", p).c_str(), 100 + p) ? 0 : 2;
            }));
        }
        EXPECT_EQ(children.WaitAll(), std::vector<int>(processes, 0));
        RegistryKey key(RootKey::CurrentUser, keyPath);
        for (int p = 0; p < processes; ++p) {
            EXPECT_EQ(key.ReadDword(numbered("p", p).c_str(), 0), 100u + p);
        }
        RawStore raw(dir / "oskelon" / "registry.sqlite3");
        EXPECT_EQ(raw.Column("PRAGMA journal_mode"), std::vector<std::string>{"wal"});
        EXPECT_EQ(raw.Column("SELECT count(*) FROM store_keys"), std::vector<std::string>{"3"});
    }
}

// The time of round r of process p, the same in the child that uses it and in the check.
std::vector<std::uint32_t> roundTimes(int process, int rounds) {
    std::mt19937 generator(1000u + static_cast<unsigned>(process));
    std::uniform_int_distribution<std::uint32_t> time(1, 5000);
    std::vector<std::uint32_t> times;
    for (int r = 0; r < rounds; ++r) times.push_back(time(generator));
    return times;
}

std::string osText(int process, int round, std::uint32_t seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "p%d r%d t%u", process, round, static_cast<unsigned>(seconds));
    return text;
}

std::string codeText(int process, int round) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(process << 16 | round));
    return text;
}

// Two processes update the same values at once, as two runs finishing the same size would:
// each round takes an exclusive unit, counts itself in a shared counter and replaces the record
// when its time is shorter; between units each writes a value of its own. Nothing may be lost
// and the record must be one run's three values, the fastest run's.
TEST_F(ProcessTest, TwoProcessesWritingAtOnceLoseAndMixNothing) {
    constexpr int processes = 2;
    constexpr int rounds = 150;
    {
        RegistryKey key(RootKey::CurrentUser, keyPath);
        ASSERT_TRUE(key.WriteDword("104s", 0xFFFFFFFFu));
    }
    ChildProcesses children;
    for (int p = 0; p < processes; ++p) {
        ASSERT_TRUE(children.Start([p] {
            const std::vector<std::uint32_t> times = roundTimes(p, rounds);
            const std::string own = numbered("own", p);
            for (int r = 0; r < rounds; ++r) {
                RegistryKey key(RootKey::CurrentUser, keyPath);
                if (!key.BeginExclusive()) return 1;
                if (!key.WriteDword("counter", key.ReadDword("counter", 0) + 1)) return 2;
                if (times[r] < key.ReadDword("104s", 0)) {
                    if (!key.WriteDword("104s", times[r]) ||
                        !key.WriteString("104c", codeText(p, r).c_str()) ||
                        !key.WriteString("104o", osText(p, r, times[r]).c_str())) {
                        return 3;
                    }
                }
                if (!key.Commit()) return 4;
                if (!key.WriteString(own.c_str(), std::to_string(r).c_str())) return 5;
                if (!key.WriteDword((own + "-" + std::to_string(r)).c_str(), r)) return 6;
            }
            return 0;
        }));
    }
    ASSERT_EQ(children.WaitAll(), std::vector<int>(processes, 0));

    RegistryKey key(RootKey::CurrentUser, keyPath);
    EXPECT_EQ(key.ReadDword("counter", 0), static_cast<std::uint32_t>(processes * rounds));
    std::uint32_t best = 0xFFFFFFFFu;
    for (int p = 0; p < processes; ++p) {
        const std::vector<std::uint32_t> times = roundTimes(p, rounds);
        best = std::min(best, *std::min_element(times.begin(), times.end()));
        const std::string own = numbered("own", p);
        char buffer[256];
        EXPECT_STREQ(key.ReadString(own.c_str(), buffer, sizeof buffer, nullptr),
                     std::to_string(rounds - 1).c_str());
        for (int r = 0; r < rounds; ++r) {
            EXPECT_EQ(key.ReadDword((own + "-" + std::to_string(r)).c_str(), 0xFFFFu),
                      static_cast<std::uint32_t>(r));
        }
    }
    EXPECT_EQ(key.ReadDword("104s", 0), best);
    // The code and os texts come from a run whose time is the stored one.
    char code[10];
    char os[256];
    ASSERT_NE(key.ReadString("104c", code, sizeof code, nullptr), nullptr);
    ASSERT_NE(key.ReadString("104o", os, sizeof os, nullptr), nullptr);
    bool matched = false;
    for (int p = 0; p < processes; ++p) {
        const std::vector<std::uint32_t> times = roundTimes(p, rounds);
        for (int r = 0; r < rounds; ++r) {
            if (codeText(p, r) == code) {
                matched = true;
                EXPECT_EQ(times[r], best);
                EXPECT_EQ(osText(p, r, times[r]), os);
            }
        }
    }
    EXPECT_TRUE(matched) << code;

    RawStore raw(storeFile());
    EXPECT_EQ(raw.Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    EXPECT_EQ(raw.Column("SELECT count(*) FROM store_values"),
              std::vector<std::string>{std::to_string(4 + processes * (rounds + 1))});
}

}  // namespace
}  // namespace oskelon
