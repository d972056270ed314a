// The DBC files engineers actually have: every real file imports (or fails where it breaks the format),
// the same from the file as from its bytes, its statements are all accounted for, what the program cannot
// decode or tell apart is left out and named, value descriptions show the file's texts, and the export
// reads back as the same database with the same value keys.
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

// The first value list (VAL_ or VAL_TABLE_ line) without its ';' on its line, as a line number; 0 when none.
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
    size_t boundTables = 0, unterminated = 0;
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

        ASSERT_EQ(result, kDbcOk) << "stopped at line " << import.LineNo;
        EXPECT_EQ(import.RemarkCount, import.Remarks.size());
        // A value list without its ';' is named at its line, and the file imports as with the ';' added.
        if (const int32_t open = firstOpenValueList(text); open != 0) {
            ++unterminated;
            std::string mended;
            for (size_t i = 0; i < text.size(); ++i)
                mended += text[i] + (static_cast<int32_t>(i + 1) == open ? ";\n" : "\n");
            tDBC_IMPORT withTerminator;
            ASSERT_EQ(ParseDbcText(withTerminator, mended), kDbcOk);
            EXPECT_TRUE(withTerminator.Database == import.Database);
            std::vector<tDBC_REMARK> expected = withTerminator.Remarks;
            const auto at = std::find_if(import.Remarks.begin(), import.Remarks.end(),
                                         [&](const tDBC_REMARK& r) { return r.LineNo == open; });
            ASSERT_NE(at, import.Remarks.end());
            EXPECT_NE(at->Text.find("缺少结尾的分号"), std::string::npos) << at->Text;
            expected.insert(expected.begin() + (at - import.Remarks.begin()), *at);
            EXPECT_EQ(import.Remarks, expected);
        }
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
    EXPECT_EQ(unterminated, 1u);    // one file ends with a value description that lacks its ';'
}

namespace {

// The text a signal without a value table shows for a raw value: the number.
std::string numberText(CCanSignal s, int64_t raw) {
    s.Enum = 0;
    return shownText(s, raw);
}

// The number of entries a "cannot be told apart" remark says it left out; 0 for any other remark.
size_t sharedLeftOut(const std::string& remark) {
    static const std::regex pattern(
        "^信号\\[[^\\]]*\\]的(\\d+)项值描述按因子和偏移换算后物理值相同、无法区分");
    std::smatch m;
    return std::regex_search(remark, m, pattern) ? std::stoul(m[1]) : 0;
}

}  // namespace

// Value descriptions of scaled signals (factor or offset other than 1 and 0) are keyed on raw values: the
// trace shows the file's text for each key whose value no other key of the table comes to. Keys that share
// a value with a different key are left out, all of them, named in one remark at the line, and show as
// numbers, never another key's text. A value description with a kept key that the export does not write
// back as it stands is named in a remark at its line; every other kept key is written back unchanged, and
// no key left out is written.
TEST(DbcRealFiles, ScaledValueTablesShowTheFilesTextsOrNumbers) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    size_t scaled = 0, keys = 0, shared = 0, changed = 0;
    std::map<std::string, size_t> scaledPerFile;
    for (const auto& path : dbcFiles(dir)) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<std::string> text = lines(vextest::readFile(path));
        tDBC_IMPORT import;
        if (ParseDbcFile(import, path.string()) != kDbcOk) continue;
        std::set<int32_t> inexactLines;
        std::map<int32_t, size_t> sharedPerLine;
        for (const tDBC_REMARK& r : import.Remarks) {
            if (const size_t n = sharedLeftOut(r.Text); n != 0)
                sharedPerLine[r.LineNo] += n;
            else if (r.Text.find("不能精确还原") != std::string::npos)
                inexactLines.insert(r.LineNo);
        }
        const std::string exported = FormatDbcFile(import.Database);
        for (const ValueDescription& vd : valueDescriptions(text)) {
            const CCanMsg* msg = findMessage(import.Database, vexdbc::MapFileId(vd.fileId));
            const CCanSignal* s = msg == nullptr ? nullptr : findSignal(*msg, vd.signal);
            if (s == nullptr || (s->ValFactor == 1.0 && s->ValOffset == 0.0)) continue;
            SCOPED_TRACE(vd.signal);
            ++scaled;
            ++scaledPerFile[path.filename().string()];
            const int64_t span = s->Sign ? int64_t{1} << s->BitLen : 0;
            auto rawOf = [&](int64_t key) {
                return span != 0 && key >= span / 2 && key < span ? key - span : key;
            };
            // The keys of the file by the value each comes to.
            std::map<int32_t, std::set<int64_t>> keysOfValue;
            for (const auto& [key, txt] : vd.items) {
                int32_t val = 0;
                ASSERT_TRUE(s->RawToEnumValue(rawOf(key), val));
                keysOfValue[val].insert(rawOf(key));
            }
            // The signal's value description in the export, if anything of it was kept.
            const size_t at = exported.find("VAL_ " + std::to_string(vd.fileId) + " " + vd.signal + " ");
            const std::string written =
                at == std::string::npos ? std::string() : exported.substr(at, exported.find('\n', at) - at);
            size_t kept = 0, leftOut = 0;
            bool keyChanged = false;
            for (const auto& [key, txt] : vd.items) {
                const int64_t raw = rawOf(key);
                int32_t val = 0;
                s->RawToEnumValue(raw, val);
                ++keys;
                const std::string shown = shownText(*s, raw);
                const std::string pair = " " + std::to_string(raw) + " \"" + txt + "\"";
                if (keysOfValue[val].size() > 1) {
                    ++leftOut;
                    EXPECT_EQ(shown, numberText(*s, raw)) << raw << ", the file has " << txt;
                    EXPECT_EQ(written.find(pair), std::string::npos) << raw;
                    continue;
                }
                ++kept;
                // The file's text, or the later text of the same key written twice.
                std::string last;
                for (const auto& [other, otherTxt] : vd.items)
                    if (rawOf(other) == raw) last = otherTxt;
                EXPECT_EQ(shown, last) << raw;
                if (written.find(pair) == std::string::npos) {
                    ++changed;
                    keyChanged = true;
                }
            }
            shared += leftOut;
            EXPECT_EQ(sharedPerLine[vd.line], leftOut) << "line " << vd.line;
            EXPECT_EQ(inexactLines.count(vd.line) != 0, keyChanged) << "line " << vd.line;
            EXPECT_EQ(s->Enum, kept != 0 ? 1 : 0);
            EXPECT_EQ(s->SigEnum.Items.size(), kept);
        }
    }
    // 269 scaled signals of the files have value descriptions; 25 of them lie beyond the eight data bytes
    // of CAN FD frames and are left out.
    EXPECT_EQ(scaledPerFile["ford_lincoln_base_pt.dbc"], 185u);
    EXPECT_EQ(scaled, 244u);
    // Their 423 entries (652 with the signals left out): 258 share a value with a different key (472).
    EXPECT_EQ(keys, 423u);
    EXPECT_EQ(shared, 258u);
    // Most keys of scaled signals mark values beyond the range (a fault, no data) that are no whole
    // physical values: those that are left come back as the first raw value shown through the same value.
    EXPECT_GT(changed, 0u);
    EXPECT_LT(changed, keys - shared);
}

// A 12-bit range display of 0.1 km per bit names raw 4095 "Faulty" and 4094 "NoDataExists"; both come to
// 409 km. The trace shows the raws as the distances they are, never one key's text for the other, the
// signal is entered as a number, and the keys of what was kept go through export and import unchanged.
TEST(DbcRealFiles, KeysSharingAValueShowAsNumbers) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    tDBC_IMPORT import;
    ASSERT_EQ(ParseDbcFile(import, (dir / "ford_lincoln_base_pt.dbc").string()), kDbcOk);
    const CCanMsg* msg = findMessage(import.Database, vexdbc::MapFileId(0x352));
    ASSERT_NE(msg, nullptr);
    const CCanSignal* s = findSignal(*msg, "VehElRngeNut_L_Dsply");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Enum, 0);
    EXPECT_TRUE(s->SigEnum.Items.empty());
    for (const auto& [raw, text] : std::vector<std::pair<int64_t, std::string>>{
             {4095, "409.5"}, {4094, "409.4"}, {4093, "409.3"}, {4090, "409"}, {100, "10"}})
        EXPECT_EQ(shownText(*s, raw), text) << raw;
    uint8_t data[8] = {};
    ASSERT_TRUE(s->SetPhyValue(data, "409.5", 409.5));
    uint32_t raw = 0;
    ASSERT_TRUE(s->GetRawValue(data, raw));
    EXPECT_EQ(raw, 4095u);
    const auto named = std::find_if(import.Remarks.begin(), import.Remarks.end(),
                                    [](const tDBC_REMARK& r) { return r.LineNo == 11186; });
    ASSERT_NE(named, import.Remarks.end());
    EXPECT_EQ(named->Text,
              "信号[VehElRngeNut_L_Dsply]的2项值描述按因子和偏移换算后物理值相同、无法区分，已跳过："
              "原始值4095、4094（物理值409）。");

    // Export, import, export: the signal has no value description, and what was kept comes back as it is.
    const std::string exported = FormatDbcFile(import.Database);
    EXPECT_EQ(exported.find("VehElRngeNut_L_Dsply 4095"), std::string::npos);
    tDBC_IMPORT again;
    ASSERT_EQ(ParseDbcText(again, exported), kDbcOk);
    EXPECT_TRUE(again.Database == import.Database);
    EXPECT_EQ(again.RemarkCount, 0u);
    EXPECT_EQ(FormatDbcFile(again.Database), exported);
}
