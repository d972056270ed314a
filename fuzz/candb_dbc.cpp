// DBC import of any bytes, then export of whatever was read. Beyond the sanitizers and the absence of
// hangs it checks that the bytes read from a file through a small window import as they do from memory
// (with the same remarks), that an export always imports again, and that export is a fixed point after
// one round (import, export, import, export gives the same text) whenever the database is one the text
// form can carry: no quotes, backslashes or ';' in its texts, every value description reaching its own
// signal, and nothing that the second import remarks on (a value key that does not come back exactly, a
// factor that the writer's fifteen decimals round to 0).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "candb/dbcfile.h"
#include "candb/dbctext.h"

namespace {

bool plain(std::string_view s) {
    return s.find_first_of("\"\\;") == std::string_view::npos;
}

bool carriable(const tCAN_DATABASE& db) {
    std::set<std::pair<uint32_t, uint8_t>> ids;
    auto messageOk = [&](const CCanMsg& m, bool isFree) {
        if (!isFree && m.id == vexdbc::kFreeSignalFileId) return false;
        if (!plain(m.Name) ||
            !ids.insert({isFree ? vexdbc::kFreeSignalFileId : m.id, isFree ? 1 : m.Ext}).second)
            return false;
        for (size_t i = 0; i < m.Signals.size(); ++i) {
            const CCanSignal& s = m.Signals[i];
            if (!plain(s.Name) || !plain(s.Unit)) return false;
            for (const auto& item : s.SigEnum.Items)
                if (s.Enum && !plain(item.txt)) return false;
            if (!s.Enum) continue;
            for (size_t j = 0; j < i; ++j)
                if (vexdbc::ValueDescriptionName(m.Signals[j].Name) == vexdbc::ValueDescriptionName(s.Name))
                    return false;
        }
        return true;
    };
    for (const CCanMsg& m : db.Messages)
        if (!messageOk(m, false)) return false;
    if (!db.FreeSigMsg.Signals.empty() && !messageOk(db.FreeSigMsg, true)) return false;
    for (const auto& table : db.Enums) {
        if (!plain(table.Name)) return false;
        for (const auto& item : table.Items)
            if (!plain(item.txt)) return false;
    }
    return true;
}

// A file in a folder of this process's own.
const std::string& filePath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexfuzz-dbc-XXXXXX";
        if (!::mkdtemp(dir.data())) std::abort();
        return dir + "/in.dbc";
    }();
    return path;
}

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tDBC_IMPORT first;
    const uint32_t result = ParseDbcText(first, std::string_view(reinterpret_cast<const char*>(data), size));
    if (result != kDbcOk && result != kDbcFailed && result != kDbcNotDbc) fail("unexpected result");
    if (first.Remarks.size() != std::min<size_t>(first.RemarkCount, kDbcRemarksKept)) fail("remarks kept");
    if (first.LineNo < 0) fail("line count");

    if (FILE* f = std::fopen(filePath().c_str(), "wb")) {
        if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
    } else {
        std::abort();
    }
    tDBC_IMPORT fromFile;
    const size_t window = 1 + size % 61;
    if (vexdbc::ParseDbcFileThrough(fromFile, filePath(), window) != result) fail("file result differs");
    if (fromFile.LineNo != first.LineNo || !(fromFile.Database == first.Database) ||
        fromFile.Remarks != first.Remarks || fromFile.RemarkCount != first.RemarkCount)
        fail("file import differs");

    const std::string text1 = FormatDbcFile(first.Database);
    tDBC_IMPORT second;
    if (ParseDbcText(second, text1) != kDbcOk) fail("an export does not import");
    if (!carriable(first.Database) || second.RemarkCount != 0) return 0;
    const std::string text2 = FormatDbcFile(second.Database);
    if (text1 != text2) fail("export is not a fixed point");
    return 0;
}
