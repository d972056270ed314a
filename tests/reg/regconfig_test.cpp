#include "config/regconfig.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/common/testsupport.h"

using vex::MemorySettingsStore;
using Kind = vex::SettingsStore::Kind;

namespace {

const std::vector<std::string> kAllNames = {"dwLastAddEnumItemVal",
                                            "sLastCfgFilePathName",
                                            "sLastReplayLogFilePathName",
                                            "sLastCanMsgLogFileDstFilePath",
                                            "sLastCanMsgLogFileDstType",
                                            "sAppFolderPath",
                                            "sAppVersion",
                                            "dwWndTraceOrder",
                                            "dwWndGraphOrder",
                                            "dwWndSendOrder",
                                            "dwWndInfoOrder"};

}  // namespace

TEST(AppRegConfig, FreshAccountGetsEveryValueInOrder) {
    MemorySettingsStore store;
    {
        CAppRegConfig reg(store);
        EXPECT_EQ(reg.dwLastAddEnumItemVal, 0xFFFFFFFFu);
        EXPECT_EQ(reg.sLastCfgFilePathName, "");
        EXPECT_EQ(reg.sAppVersion, "");
        EXPECT_EQ(reg.dwWndTraceOrder, 0u);
        EXPECT_EQ(reg.dwWndInfoOrder, 0u);
    }
    EXPECT_EQ(store.writes(), kAllNames);
    const auto values = store.values();
    EXPECT_EQ(values.at("dwLastAddEnumItemVal").kind, Kind::Dword);
    EXPECT_EQ(values.at("dwLastAddEnumItemVal").dword, 0xFFFFFFFFu);
    EXPECT_EQ(values.at("sAppFolderPath").kind, Kind::String);

    // Nothing changed: a second object writes nothing.
    store.clearWrites();
    { CAppRegConfig reg(store); }
    EXPECT_TRUE(store.writes().empty());
}

TEST(AppRegConfig, ReadsWhatWasWritten) {
    MemorySettingsStore store;
    {
        CAppRegConfig reg(store);
        reg.dwLastAddEnumItemVal = 7;
        reg.sLastCfgFilePathName = "/家/cfg/default.xml";
        reg.sLastReplayLogFilePathName = "a.crm";
        reg.sLastCanMsgLogFileDstFilePath = "/out";
        reg.sLastCanMsgLogFileDstType = "txt";
        reg.sAppFolderPath = "/opt/vexarium";
        reg.sAppVersion = "1.0.0.1";
        reg.dwWndTraceOrder = 1, reg.dwWndGraphOrder = 2, reg.dwWndSendOrder = 3, reg.dwWndInfoOrder = 4;
    }
    CAppRegConfig reg(store);
    EXPECT_EQ(reg.dwLastAddEnumItemVal, 7u);
    EXPECT_EQ(reg.sLastCfgFilePathName, "/家/cfg/default.xml");
    EXPECT_EQ(reg.sLastReplayLogFilePathName, "a.crm");
    EXPECT_EQ(reg.sLastCanMsgLogFileDstFilePath, "/out");
    EXPECT_EQ(reg.sLastCanMsgLogFileDstType, "txt");
    EXPECT_EQ(reg.sAppFolderPath, "/opt/vexarium");
    EXPECT_EQ(reg.sAppVersion, "1.0.0.1");
    EXPECT_EQ(reg.dwWndTraceOrder, 1u);
    EXPECT_EQ(reg.dwWndGraphOrder, 2u);
    EXPECT_EQ(reg.dwWndSendOrder, 3u);
    EXPECT_EQ(reg.dwWndInfoOrder, 4u);
}

TEST(AppRegConfig, ValuesOfTheWrongTypeReadAsEmptyOrKeptAndAreRepaired) {
    MemorySettingsStore store;
    { CAppRegConfig seed(store); }
    store.set("sAppVersion", {Kind::Other, 0, std::string("1.0\x01", 4)});  // not text, no terminator
    store.set("sAppFolderPath", {Kind::Dword, 5, ""});
    store.set("dwWndSendOrder", {Kind::String, 0, "abc"});
    store.set("dwWndInfoOrder", {Kind::String, 0, "9"});  // a typeless store's number
    store.clearWrites();
    {
        CAppRegConfig reg(store);
        EXPECT_EQ(reg.sAppVersion, "");
        EXPECT_EQ(reg.sAppFolderPath, "");
        EXPECT_EQ(reg.dwWndSendOrder, 0u);  // keeps its construction value
        EXPECT_EQ(reg.dwWndInfoOrder, 9u);
    }
    // Unreadable values are written back with their proper type; the others are left alone.
    EXPECT_EQ(store.writes(), (std::vector<std::string>{"sAppFolderPath", "sAppVersion", "dwWndSendOrder"}));
    EXPECT_EQ(store.values().at("sAppVersion").kind, Kind::String);
    EXPECT_EQ(store.values().at("dwWndSendOrder").kind, Kind::Dword);
}

TEST(AppRegConfig, UnavailableStoreKeepsDefaultsAndReceivesNothing) {
    MemorySettingsStore store;
    store.writeString("sAppVersion", "x");
    store.clearWrites();
    store.setAvailable(false);
    {
        CAppRegConfig reg(store);
        EXPECT_EQ(reg.sAppVersion, "");
        EXPECT_FALSE(reg.Save());
        reg.sAppVersion = "changed";
    }
    EXPECT_TRUE(store.writes().empty());
    EXPECT_EQ(store.values().at("sAppVersion").text, "x");
}

// Each of two objects alive at once writes back only its own changes, on an account that holds every value
// and on a fresh one, where every value is still written.
TEST(AppRegConfig, OverlappingObjectsKeepEachOthersChanges) {
    for (const bool fresh : {false, true}) {
        SCOPED_TRACE(fresh ? "fresh account" : "seeded account");
        MemorySettingsStore store;
        if (!fresh) {
            CAppRegConfig seed(store);
        }
        {
            CAppRegConfig a(store);
            CAppRegConfig b(store);
            a.sLastCfgFilePathName = "/a.xml";
            b.dwWndGraphOrder = 3;
            // Destroyed in reverse order: b first, then a.
        }
        CAppRegConfig reg(store);
        EXPECT_EQ(reg.sLastCfgFilePathName, "/a.xml");
        EXPECT_EQ(reg.dwWndGraphOrder, 3u);
        EXPECT_EQ(reg.dwLastAddEnumItemVal, 0xFFFFFFFFu);
        EXPECT_EQ(store.values().size(), kAllNames.size());
    }
}

TEST(AppRegConfig, ChangedBackToTheReadValueIsNotWritten) {
    MemorySettingsStore store;
    { CAppRegConfig seed(store); }
    store.clearWrites();
    {
        CAppRegConfig a(store);
        a.sAppVersion = "x";
        a.sAppVersion.clear();
        a.dwWndInfoOrder = 1;
        EXPECT_TRUE(a.Save());
        EXPECT_TRUE(a.Save());  // already written: not again
    }
    EXPECT_EQ(store.writes(), std::vector<std::string>{"dwWndInfoOrder"});
}

TEST(AppRegConfig, ObjectsOnTwoThreads) {
    MemorySettingsStore store;
    { CAppRegConfig seed(store); }
    auto work = [&store](int which) {
        for (int i = 0; i < 200; ++i) {
            CAppRegConfig reg(store);
            if (which == 0)
                reg.dwWndTraceOrder = static_cast<uint32_t>(i);
            else
                reg.dwWndSendOrder = static_cast<uint32_t>(i);
        }
    };
    std::thread t0(work, 0), t1(work, 1);
    t0.join();
    t1.join();
    CAppRegConfig reg(store);
    EXPECT_EQ(reg.dwWndTraceOrder, 199u);
    EXPECT_EQ(reg.dwWndSendOrder, 199u);
}

TEST(AppRegConfig, UsesTheCurrentStoreAndQSettings) {
    vextest::TempDir dir;
    vex::QtSettingsStore qt(QString::fromStdString((dir / "Vexarium.conf").string()));
    vex::ScopedSettingsStore use(qt);
    {
        CAppRegConfig reg;
        reg.sLastCfgFilePathName = "/路径/a.xml";
        reg.dwWndGraphOrder = 12;
    }
    CAppRegConfig reg;
    EXPECT_EQ(reg.sLastCfgFilePathName, "/路径/a.xml");
    EXPECT_EQ(reg.dwWndGraphOrder, 12u);
    EXPECT_EQ(reg.dwLastAddEnumItemVal, 0xFFFFFFFFu);
    const std::string ini = vextest::readFile(dir / "Vexarium.conf");
    EXPECT_NE(ini.find("[Config]"), std::string::npos);
    EXPECT_NE(ini.find("dwLastAddEnumItemVal=4294967295"), std::string::npos);
}
