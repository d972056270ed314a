// The DBC files engineers actually have: every real file imports, the same from the file as from its bytes,
// its statements are all accounted for, and its export reads back as the same database.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "candb/dbcfile.h"
#include "candb/dbctext.h"
#include "tests/common/testsupport.h"

namespace {

// Lines whose first word is the keyword, counted on the raw bytes without the reader's help.
size_t countStatements(const std::string& bytes, const std::string& keyword) {
    const std::regex pattern("^[ \\t]*" + keyword + "[ \\t]");
    size_t n = 0, pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        if (std::regex_search(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                              bytes.begin() + static_cast<std::ptrdiff_t>(end), pattern))
            ++n;
        pos = end + 1;
    }
    return n;
}

std::vector<std::filesystem::path> dbcFiles(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".dbc") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(DbcRealFiles, ImportCountsAndRoundTrip) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    const auto files = dbcFiles(dir);
    ASSERT_FALSE(files.empty());
    vextest::TempDir out;
    size_t boundTables = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        tDBC_IMPORT import;
        ASSERT_EQ(ParseDbcFile(import, path.string()), kDbcOk) << "stopped at line " << import.LineNo;
        const tCAN_DATABASE& db = import.Database;
        const std::string bytes = vextest::readFile(path);
        // The file read through a window, a small one too, imports as its bytes from memory.
        tDBC_IMPORT fromBytes, smallWindow;
        ASSERT_EQ(ParseDbcText(fromBytes, bytes), kDbcOk);
        EXPECT_TRUE(fromBytes.Database == db);
        EXPECT_EQ(fromBytes.LineNo, import.LineNo);
        ASSERT_EQ(vexdbc::ParseDbcFileThrough(smallWindow, path.string(), 256), kDbcOk);
        EXPECT_TRUE(smallWindow.Database == db);

        const bool hasFree = db.FreeSigMsg.id == 0xC0000000u;
        EXPECT_EQ(db.Messages.size() + (hasFree ? 1 : 0), countStatements(bytes, "BO_"));
        size_t signals = db.FreeSigMsg.Signals.size();
        for (const CCanMsg& m : db.Messages) {
            signals += m.Signals.size();
            for (const CCanSignal& s : m.Signals) boundTables += s.Enum;
        }
        EXPECT_EQ(signals, countStatements(bytes, "SG_"));
        EXPECT_EQ(db.Enums.size(), countStatements(bytes, "VAL_TABLE_"));

        const std::string exported = (out / path.filename().string()).string();
        std::string error;
        ASSERT_TRUE(WriteDbcFile(db, exported, &error)) << error;
        tDBC_IMPORT again;
        ASSERT_EQ(ParseDbcFile(again, exported), kDbcOk) << "stopped at line " << again.LineNo;
        EXPECT_TRUE(again.Database == db);
        EXPECT_EQ(again.Name, import.Name);
    }
    EXPECT_GT(boundTables, 1000u);  // value descriptions reach their signals
}

// Long frames: a signal that starts beyond bit 255 cannot be placed in the model; it is kept with start
// bit 255, where the codec refuses it rather than decoding bits of another signal.
TEST(DbcRealFiles, LongFrameSignalsStayOutOfTheCodecsReach) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    tDBC_IMPORT import;
    ASSERT_EQ(ParseDbcFile(import, (dir / "FORD_CADS_64.dbc").string()), kDbcOk);
    size_t beyond = 0;
    for (const CCanMsg& m : import.Database.Messages) {
        for (const CCanSignal& s : m.Signals) {
            if (s.BitOffset != 255) continue;
            ++beyond;
            uint8_t data[8] = {};
            uint32_t raw = 0;
            EXPECT_FALSE(s.GetRawValue(data, raw)) << s.Name;
        }
    }
    EXPECT_GT(beyond, 0u);
}
