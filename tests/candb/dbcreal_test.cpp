// The DBC files engineers actually have: every real file imports (or fails where it breaks the format),
// the same from the file as from its bytes, its statements are all accounted for, what the program cannot
// decode is left out and named, value descriptions show the file's texts, and the export reads back as
// the same database with the same value keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "candb/dbcfile.h"
#include "candb/dbctext.h"
#include "tests/common/testsupport.h"

namespace {

// The lines of the raw bytes, without their line ends.
std::vector<std::string> lines(const std::string& bytes) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
        pos = end + 1;
    }
    return out;
}

// Lines whose first word is the keyword, counted on the raw bytes without the reader's help.
size_t countStatements(const std::vector<std::string>& text, const std::string& keyword) {
    const std::regex pattern("^[ \\t]*" + keyword + "[ \\t]");
    return static_cast<size_t>(std::count_if(
        text.begin(), text.end(), [&](const std::string& l) { return std::regex_search(l, pattern); }));
}

// Whether the bits of a signal line lie within eight data bytes, walked bit by bit as the format numbers
// them (Intel upward from the start bit, Motorola downward and on to bit 7 of the next byte).
bool fitsEightBytes(int start, int length, bool intel) {
    if (length < 1 || length > 32 || start < 0 || start > 63) return false;
    int bit = start;
    for (int i = 1; i < length; ++i) {
        bit = intel ? bit + 1 : (bit % 8 == 0 ? bit + 15 : bit - 1);
        if (bit > 63) return false;
    }
    return true;
}

const std::regex kSgLine(R"(^\s*SG_\s+(\S+)[^:]*:\s*(-?\d+)\|(-?\d+)@([01])([+-])\s*\(([^,]*),([^)]*)\))");

// The signal lines the program can take: bits within eight bytes, a nonzero factor.
size_t countDecodable(const std::vector<std::string>& text) {
    size_t n = 0;
    std::smatch m;
    for (const std::string& l : text)
        if (std::regex_search(l, m, kSgLine) &&
            fitsEightBytes(std::stoi(m[2]), std::stoi(m[3]), m[4] == "1") && std::stod(m[6]) != 0.0)
            ++n;
    return n;
}

// The first value list (VAL_ or VAL_TABLE_ line) without its ';', as a line number; 0 when none.
int32_t firstOpenValueList(const std::vector<std::string>& text) {
    for (size_t i = 0; i < text.size(); ++i)
        if ((text[i].starts_with("VAL_ ") || text[i].starts_with("VAL_TABLE_ ")) &&
            text[i].find(';') == std::string::npos)
            return static_cast<int32_t>(i + 1);
    return 0;
}

std::vector<std::filesystem::path> dbcFiles(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".dbc") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

const CCanMsg* findMessage(const tCAN_DATABASE& db, vexdbc::FileId id) {
    if (id.id == vexdbc::kFreeSignalFileId) return &db.FreeSigMsg;
    for (const CCanMsg& m : db.Messages)
        if (m.id == id.id && m.Ext == id.ext) return &m;
    return nullptr;
}

const CCanSignal* findSignal(const CCanMsg& msg, const std::string& name) {
    for (const CCanSignal& s : msg.Signals)
        if (vexdbc::ValueDescriptionName(s.Name) == name) return &s;
    return nullptr;
}

// The text the trace shows for a raw value: the value inserted into a frame's bytes and decoded as every
// window decodes it.
std::string shownText(const CCanSignal& s, int64_t raw) {
    uint8_t data[8] = {};
    double phy = 0;
    std::string text;
    if (s.Sign) {
        int32_t back = 0;
        if (!s.SetSignedRawValue(static_cast<int32_t>(raw), data) || !s.GetSignedRawValue(data, back) ||
            !s.SignedRawToPhyText(back, phy, text))
            return "(codec refused)";
    } else {
        uint32_t back = 0;
        if (!s.SetRawValue(data, static_cast<uint32_t>(raw)) || !s.GetRawValue(data, back) ||
            !s.UnsignedRawToPhyText(back, phy, text))
            return "(codec refused)";
    }
    return text;
}

struct ValueDescription {
    int32_t line;
    uint32_t fileId;
    std::string signal;
    std::vector<std::pair<int64_t, std::string>> items;
};

std::vector<ValueDescription> valueDescriptions(const std::vector<std::string>& text) {
    static const std::regex head(R"(^VAL_\s+(\d+)\s+(\S+)\s+(.*);)");
    static const std::regex item(R"((-?\d+)\s+\"([^\"]*)\")");
    std::vector<ValueDescription> out;
    std::smatch m;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!std::regex_search(text[i], m, head)) continue;
        ValueDescription vd{static_cast<int32_t>(i + 1), static_cast<uint32_t>(std::stoul(m[1])), m[2], {}};
        const std::string items = m[3];
        for (auto it = std::sregex_iterator(items.begin(), items.end(), item); it != std::sregex_iterator();
             ++it)
            vd.items.emplace_back(std::stoll((*it)[1]), (*it)[2]);
        out.push_back(std::move(vd));
    }
    return out;
}

}  // namespace

TEST(DbcRealFiles, ImportCountsAndRoundTrip) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    const auto files = dbcFiles(dir);
    ASSERT_FALSE(files.empty());
    vextest::TempDir out;
    size_t boundTables = 0, failed = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const std::string bytes = vextest::readFile(path);
        const std::vector<std::string> text = lines(bytes);
        tDBC_IMPORT import;
        const uint32_t result = ParseDbcFile(import, path.string());
        // The file read through a window, a small one too, imports as its bytes from memory.
        tDBC_IMPORT fromBytes, smallWindow;
        ASSERT_EQ(ParseDbcText(fromBytes, bytes), result);
        EXPECT_TRUE(fromBytes.Database == import.Database);
        EXPECT_EQ(fromBytes.LineNo, import.LineNo);
        EXPECT_EQ(fromBytes.Remarks, import.Remarks);
        ASSERT_EQ(vexdbc::ParseDbcFileThrough(smallWindow, path.string(), 256), result);
        EXPECT_TRUE(smallWindow.Database == import.Database);

        if (const int32_t open = firstOpenValueList(text); open != 0) {
            EXPECT_EQ(result, kDbcFailed);
            EXPECT_EQ(import.LineNo, open);
            ++failed;
            continue;
        }
        ASSERT_EQ(result, kDbcOk) << "stopped at line " << import.LineNo;
        EXPECT_EQ(import.RemarkCount, import.Remarks.size());
        const tCAN_DATABASE& db = import.Database;
        const bool hasFree = db.FreeSigMsg.id == 0xC0000000u;
        EXPECT_EQ(db.Messages.size() + (hasFree ? 1 : 0), countStatements(text, "BO_"));
        size_t signals = db.FreeSigMsg.Signals.size();
        for (const CCanMsg& m : db.Messages) {
            signals += m.Signals.size();
            for (const CCanSignal& s : m.Signals) boundTables += s.Enum;
        }
        EXPECT_EQ(signals, countDecodable(text));
        // Every signal line left out is named at its line.
        const size_t leftOut = countStatements(text, "SG_") - signals;
        EXPECT_EQ(
            static_cast<size_t>(std::count_if(
                import.Remarks.begin(), import.Remarks.end(),
                [&](const tDBC_REMARK& r) { return text[r.LineNo - 1].find("SG_ ") != std::string::npos; })),
            leftOut);
        EXPECT_EQ(db.Enums.size(), countStatements(text, "VAL_TABLE_"));

        // Export, import, export: the same database and the same text, value keys included.
        const std::string exported = (out / path.filename().string()).string();
        std::string error;
        ASSERT_TRUE(WriteDbcFile(db, exported, &error)) << error;
        tDBC_IMPORT again;
        ASSERT_EQ(ParseDbcFile(again, exported), kDbcOk) << "stopped at line " << again.LineNo;
        EXPECT_TRUE(again.Database == db);
        EXPECT_EQ(again.Name, import.Name);
        EXPECT_EQ(again.RemarkCount, 0u);
        EXPECT_EQ(FormatDbcFile(again.Database), vextest::readFile(exported));
    }
    EXPECT_GT(boundTables, 1000u);  // value descriptions reach their signals
    EXPECT_EQ(failed, 1u);          // one file ends with a value description that lacks its ';'
}

// Value descriptions of scaled signals (factor or offset other than 1 and 0) are keyed on raw values: the
// trace shows the file's text for each key, unless another key of the table comes to the same physical
// value (then one of their texts). A value description with a key that the export does not write back as
// it stands is named in a remark at its line; every other one is written back unchanged.
TEST(DbcRealFiles, ScaledValueTablesShowTheFilesTexts) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    size_t scaled = 0, keys = 0, changed = 0;
    std::map<std::string, size_t> scaledPerFile;
    for (const auto& path : dbcFiles(dir)) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<std::string> text = lines(vextest::readFile(path));
        tDBC_IMPORT import;
        if (ParseDbcFile(import, path.string()) != kDbcOk) continue;
        std::set<int32_t> remarked;
        for (const tDBC_REMARK& r : import.Remarks) remarked.insert(r.LineNo);
        const std::string exported = FormatDbcFile(import.Database);
        for (const ValueDescription& vd : valueDescriptions(text)) {
            const CCanMsg* msg = findMessage(import.Database, vexdbc::MapFileId(vd.fileId));
            const CCanSignal* s = msg == nullptr ? nullptr : findSignal(*msg, vd.signal);
            if (s == nullptr || (s->ValFactor == 1.0 && s->ValOffset == 0.0)) continue;
            SCOPED_TRACE(vd.signal);
            ++scaled;
            ++scaledPerFile[path.filename().string()];
            ASSERT_EQ(s->Enum, 1);
            const int64_t span = s->Sign ? int64_t{1} << s->BitLen : 0;
            // The signal's value description in the export.
            const size_t at = exported.find("VAL_ " + std::to_string(vd.fileId) + " " + vd.signal + " ");
            ASSERT_NE(at, std::string::npos);
            const std::string written = exported.substr(at, exported.find('\n', at) - at);
            bool keyChanged = false;
            for (const auto& [key, txt] : vd.items) {
                // A signed signal's key may be written as its bit pattern.
                const int64_t raw = span != 0 && key >= span / 2 && key < span ? key - span : key;
                std::set<std::string> texts;  // the texts of the keys that come to the same value
                int32_t val = 0;
                ASSERT_TRUE(s->RawToEnumValue(raw, val));
                for (const auto& [other, otherTxt] : vd.items) {
                    const int64_t o = span != 0 && other >= span / 2 && other < span ? other - span : other;
                    int32_t v = 0;
                    if (s->RawToEnumValue(o, v) && v == val) texts.insert(otherTxt);
                }
                ++keys;
                const std::string shown = shownText(*s, raw);
                EXPECT_TRUE(texts.count(shown)) << raw << " shows " << shown << ", the file has " << txt;
                const std::string pair = " " + std::to_string(raw) + " \"" + txt + "\"";
                if (written.find(pair) == std::string::npos) {
                    ++changed;
                    keyChanged = true;
                }
            }
            EXPECT_EQ(remarked.count(vd.line) != 0, keyChanged) << "line " << vd.line;
        }
    }
    // 269 scaled signals of the files have value descriptions; 25 of them lie beyond the eight data bytes
    // of CAN FD frames and are left out.
    EXPECT_EQ(scaledPerFile["ford_lincoln_base_pt.dbc"], 185u);
    EXPECT_EQ(scaled, 244u);
    EXPECT_GT(keys, 400u);
    // Most keys of scaled signals mark values beyond the range (a fault, no data) that are no whole
    // physical values: those come back as the first raw value shown through the same value.
    EXPECT_GT(changed, 0u);
    EXPECT_LT(changed, keys);
}
