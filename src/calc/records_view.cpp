// The records view.
//
// The Japanese text is a byte string in the platform's text encoding; this file is UTF-8 and so
// are the narrow literals the compiler makes of it (the tests check the bytes).
#include "calc/records_view.h"

#include <cstdint>
#include <string>
#include <vector>

#include "calc/sizes.h"
#include "records/record_store.h"
#include "records/registry_key.h"

namespace oskelon {

namespace {

// The view's read buffers: a code of at most 9 characters, an os text of at most 255.
constexpr std::size_t codeBufferSize = 10;
constexpr std::size_t osBufferSize = 256;

struct StoredRecord {
    std::uint32_t seconds = 0;
    char code[codeBufferSize] = {};
    char os[osBufferSize] = {};
};

// Both the list line and its result-text form.
void addLine(RecordsHost& host, const std::string& line, const char* lineEnd) {
    host.AddListLine(line);
    host.AppendResultText(line + lineEnd);
}

}  // namespace

void ShowRecords(RecordsHost& host) {
    host.EnableButton(MainButton::Copy, true);
    host.ClearList();
    host.ClearResultText();

    StoredRecord records[kSizeCount];
    std::vector<ThreadRecord> threadRecords;
    {
        RegistryKey key(RootKey::CurrentUser, recordsKeyPath);
        RecordNames names;
        for (int i = 0; i < kSizeCount; ++i) {
            GetRecordNames(i, names);
            records[i].seconds = key.ReadDword(names.seconds.c_str(), 0);
            // A failed read may leave anything in its buffer; a missing, mistyped or too long text
            // shows as empty.
            if (!key.ReadString(names.code.c_str(), records[i].code, codeBufferSize, nullptr)) {
                records[i].code[0] = '\0';
            }
            if (!key.ReadString(names.os.c_str(), records[i].os, osBufferSize, nullptr)) {
                records[i].os[0] = '\0';
            }
        }
        threadRecords = ReadThreadRecords(key);
    }

    addLine(host, "<Oskelon result>", "\r\n\r\n");
    host.AddListLine("");
    for (int i = 0; i < kSizeCount; ++i) {
        const std::string name = host.SizeDisplayName(i);
        const StoredRecord& record = records[i];
        if (record.seconds == noRecord) {
            addLine(host, "未計算 : [" + name + "]", "\r\n");
            continue;
        }
        // "%d": the unsigned time shows as a signed number, 2^31 and above as negative.
        const auto shownSeconds = static_cast<std::int32_t>(record.seconds);
        addLine(host, "<" + name + ">", "\r\n");
        addLine(host, "[total]:" + std::to_string(shownSeconds) + "s", "\r\n");
        addLine(host, std::string("[code]:") + record.code, "\r\n");
        addLine(host, std::string("[os]:") + record.os, "\r\n\r\n");
        host.AddListLine("");
    }

    // The multi-threaded bests, in the same form, after the classic ones and only when there are
    // any (a store without them shows exactly the classic view).
    if (threadRecords.empty()) return;
    addLine(host, "<Oskelon multi-threaded result>", "\r\n\r\n");
    host.AddListLine("");
    for (const ThreadRecord& record : threadRecords) {
        std::string title = "<";
        title += host.SizeDisplayName(record.sizeIndex);
        title += ' ';
        title += std::to_string(record.threads);
        title += " threads>";
        addLine(host, title, "\r\n");
        addLine(host, "[total]:" + std::to_string(static_cast<std::int32_t>(record.seconds)) + "s",
                "\r\n");
        addLine(host, "[code]:" + record.code, "\r\n");
        addLine(host, "[os]:" + record.os, "\r\n\r\n");
        host.AddListLine("");
    }
}

}  // namespace oskelon
