#include "config/appcfg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "config/cfgsections.h"
#include "platform/textcodec.h"
#include "tests/common/testsupport.h"
#include "tests/config/cfgtestutil.h"

namespace fs = std::filesystem;
using vextest::fixture;
using vextest::readFile;
using vextest::TempDir;
using vextest::writeFile;
using namespace std::string_literals;

namespace {

std::string save(const CAppCfg& cfg) {
    std::string text, error;
    cfg.SaveConfigFile({}, text, error);
    return text;
}

// A configuration file as the program writes it, with the given sections between the root tags.
std::string cfgFile(const std::string& sections) {
    return "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<VEXAR_CFG_FILE>\r\n" + sections +
           "</VEXAR_CFG_FILE>\r\n";
}

}  // namespace

TEST(AppCfg, FreshSetupWritesTheDefaultFile) {
    TempDir dir;
    CAppCfg cfg;
    std::string path, error;
    ASSERT_TRUE(cfg.CreateDefaultConfig(path, error, dir.path().string())) << error;
    EXPECT_EQ(path, (dir / "cfg/default.xml").string());
    const std::string expected = readFile(fixture("config/default.xml"));
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(cfg.FileText(), expected);  // ASCII: the same in memory and on disk
    EXPECT_EQ(cfg.FileState(), -1);
    EXPECT_FALSE(cfg.IsModified());
    // The defaults the table gives, as the records hold them.
    EXPECT_EQ(cfg.CanDev[CAppCfg::kDevNxp], (tCFG_CAN_DEV{"NXP Vyk Device", 2, 1, {250, 0, 1}, {250, 0, 1}}));
    EXPECT_EQ(cfg.CanDev[CAppCfg::kDevCf51],
              (tCFG_CAN_DEV{"CF51 Vyk Device", 1, 0, {250, 0, 1}, {250, 0, 1}}));
    EXPECT_EQ(cfg.CanDev[CAppCfg::kDevWiFi],
              (tCFG_CAN_DEV{"WiFi Vyk Device", 1, 0, {250, 0, 1}, {250, 0, 1}}));
    EXPECT_EQ(cfg.J1939.PgnP, 6);
    EXPECT_EQ(cfg.QueueTx.NextKey, 0u);
}

TEST(AppCfg, EverySectionRoundTripsByteForByte) {
    TempDir dir;
    CAppCfg built;
    cfgtest::fillEverySection(built);
    std::string error;
    const std::string path = (dir / "full.xml").string();
    ASSERT_TRUE(built.SaveConfigAs(path, error)) << error;
    const std::string onDisk = readFile(path);
    EXPECT_EQ(onDisk, readFile(fixture("config/full.xml")));
    EXPECT_EQ(vex::GbkToUtf8(onDisk), built.FileText());
    EXPECT_NE(onDisk.find(vex::Utf8ToGbk("车身网络")), std::string::npos);  // GBK on disk

    CAppCfg loaded;
    std::string message;
    ASSERT_TRUE(loaded.OpenConfig(path, message)) << message;
    EXPECT_EQ(message, "");
    cfgtest::expectSameSetup(loaded, built);
    EXPECT_FALSE(loaded.IsModified());
    const std::string again = (dir / "again.xml").string();
    ASSERT_TRUE(loaded.SaveConfigAs(again, error)) << error;
    EXPECT_EQ(readFile(again), onDisk);

    // Loading the same file again gives the queue entries fresh keys after the ones already used.
    ASSERT_TRUE(loaded.OpenConfig(path, message));
    ASSERT_EQ(loaded.QueueTx.MsgMap.size(), 3u);
    EXPECT_EQ(loaded.QueueTx.MsgMap.begin()->first, 3u);
    EXPECT_EQ(loaded.QueueTx.MsgMap.rbegin()->second.Key, 5u);
    EXPECT_EQ(loaded.QueueTx.NextKey, 6u);
}

TEST(AppCfg, IsModifiedFollowsChangesAndSaves) {
    TempDir dir;
    CAppCfg cfg;
    cfg.Trace.NumHex = 0;
    EXPECT_FALSE(cfg.IsModified());  // file state -1: never counts as modified
    cfg.SetFileState(0);
    EXPECT_FALSE(cfg.IsModified());
    std::string error;
    const std::string path = (dir / "a.xml").string();
    ASSERT_TRUE(cfg.SaveConfigAs(path, error));
    EXPECT_EQ(cfg.FileState(), 1);
    EXPECT_FALSE(cfg.IsModified());
    cfg.Graph.MsgMap[5].SigArray.push_back({});
    EXPECT_TRUE(cfg.IsModified());
    cfg.Graph.MsgMap.clear();
    EXPECT_FALSE(cfg.IsModified());
    cfg.Replay.PageTimeLength = 1000.5;  // a fraction alone changes the text
    EXPECT_TRUE(cfg.IsModified());
    ASSERT_TRUE(cfg.SaveConfigAs(path, error));
    EXPECT_FALSE(cfg.IsModified());
    // The in-memory update counter is not part of the file.
    cfg.Graph.MsgMap[7].UpdateCounter = 9;
    ASSERT_TRUE(cfg.SaveConfigAs(path, error));
    cfg.Graph.MsgMap[7].UpdateCounter = 10;
    EXPECT_FALSE(cfg.IsModified());
}

TEST(AppCfg, FailedSaveKeepsFileTextStateAndDisk) {
    TempDir dir;
    writeFile(dir / "plain", "x");
    CAppCfg cfg;
    std::string error;
    const std::string good = (dir / "good.xml").string();
    ASSERT_TRUE(cfg.SaveConfigAs(good, error));
    const std::string savedText = cfg.FileText();
    cfg.Log.LogFileNameId = "Other";
    ASSERT_TRUE(cfg.IsModified());

    const std::string bad = (dir / "plain/c.xml").string();  // parent is a regular file: even root fails
    EXPECT_FALSE(cfg.SaveConfigAs(bad, error));
    EXPECT_EQ(error, "无法写入配置文件 " + bad + "：Not a directory");
    EXPECT_EQ(cfg.FileText(), savedText);
    EXPECT_EQ(cfg.FileState(), 1);
    EXPECT_TRUE(cfg.IsModified());  // closing still asks
    EXPECT_EQ(readFile(dir / "plain"), "x");

    std::string text = "before";
    EXPECT_FALSE(cfg.SaveConfigFile(bad, text, error));
    EXPECT_EQ(text, "before");

    // An empty path saves nothing and reports nothing.
    error.clear();
    EXPECT_TRUE(cfg.SaveConfigAs("", error));
    EXPECT_EQ(error, "");
}

TEST(AppCfg, FilesThatAreNotConfigurationsChangeNothing) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    const std::string dirPath = (dir / "folder").string();
    struct Case {
        const char* name;
        std::string content;  // written unless empty name means no file
        CfgLoadStatus status;
        std::string message;  // with PATH for the file's path
    };
    const Case cases[] = {
        {"missing.xml", "", CfgLoadStatus::Missing, "无法读取文件 PATH：No such file or directory"},
        {"empty.xml", "-", CfgLoadStatus::NotConfig, "文件 PATH 不是配置文件。"},
        {"decl.xml", "<?xml version=\"1.0\"?>\r\n", CfgLoadStatus::NotConfig, "文件 PATH 不是配置文件。"},
        {"queue.xml",
         "<EXT_SER_QUEUE_TX_MSG_CFG_FILE>\r\n<CFG_SET_EXT_QUEUE_TX_SERVICE/>\r\n"
         "</EXT_SER_QUEUE_TX_MSG_CFG_FILE>\r\n",
         CfgLoadStatus::NotConfig, "文件 PATH 不是配置文件。"},
        {"cut.xml", "<VEXAR_CFG_FILE>\r\n<CFG_SET_REPLAY PageMsgCount=\"5\"/>\r\n", CfgLoadStatus::IllFormed,
         "文件 PATH 格式错误：54 bytes, Document ends early (truncated) at offset 54 (Element "
         "'VEXAR_CFG_FILE' at offset 0 not ended)"},
        {"two.xml", "<VEXAR_CFG_FILE/><VEXAR_CFG_FILE/>", CfgLoadStatus::IllFormed,
         "文件 PATH 格式错误：34 bytes, Root element has sibling"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir / c.name).string();
        if (c.content == "-")
            writeFile(path, "");
        else if (!c.content.empty())
            writeFile(path, c.content);
        std::string expected = c.message;
        expected.replace(expected.find("PATH"), 4, path);

        CAppCfg cfg;
        std::string error;
        const std::string current = (dir / "current.xml").string();
        cfgtest::fillEverySection(cfg);
        ASSERT_TRUE(cfg.SaveConfigAs(current, error));
        const std::string savedText = cfg.FileText();

        std::string message;
        EXPECT_FALSE(cfg.OpenConfig(path, message));
        EXPECT_EQ(message, expected);
        EXPECT_EQ(cfg.FileText(), savedText);
        EXPECT_EQ(cfg.FileState(), 1);
        EXPECT_FALSE(cfg.IsModified());  // the setup is the one last saved
        if (!c.content.empty() && c.content != "-") {
            EXPECT_EQ(readFile(path), c.content);
        }

        std::string text = "x";
        EXPECT_EQ(cfg.LoadConfigFile(path, text, message), c.status);
        EXPECT_FALSE(cfg.IsModified());
    }
    // A folder cannot be read as a file.
    CAppCfg cfg;
    std::string message, text;
    EXPECT_EQ(cfg.LoadConfigFile(dirPath, text, message), CfgLoadStatus::Unreadable);
    EXPECT_EQ(message, "无法读取文件 " + dirPath + "：Not a regular file");
    EXPECT_EQ(text, "");
    // An empty path gives the defaults and nothing else (the layout values the defaults keep aside
    // are not filled here).
    cfgtest::fillEverySection(cfg);
    cfg.WndLayout = CAppCfg().WndLayout;
    EXPECT_TRUE(cfg.OpenConfig("", message));
    EXPECT_EQ(save(cfg), readFile(fixture("config/default.xml")));
}

TEST(AppCfg, SectionsOutOfOrderAreNamedAndTheRestIsRead) {
    TempDir dir;
    const std::string path = (dir / "order.xml").string();
    const std::string content = cfgFile(
        "<CFG_SET_TRACE NumHex=\"0\"/>\r\n"
        "<CFG_CAN_DEV_CF51 Active=\"1\"/>\r\n"
        "<WND_MAIN_FRAME ScreenWidth=\"1920\"/>\r\n"
        "<CFG_SET_REPLAY PageMsgCount=\"7\"/>\r\n"
        "<CFG_SET_SEND SigRawValShowHex=\"0\"/>\r\n"
        "<CFG_SET_LOG AutoLogFlag=\"0\" LogFileNameId=\"L\"/>\r\n");
    writeFile(path, content);
    CAppCfg cfg;
    std::string message;
    ASSERT_TRUE(cfg.OpenConfig(path, message));
    EXPECT_EQ(message, "配置文件 " + path +
                           " 中以下元素的位置不对或无法识别，没有读取：CFG_SET_TRACE CFG_CAN_DEV_CF51");
    EXPECT_EQ(cfg.FileState(), 1);
    EXPECT_EQ(cfg.WndLayout.ScreenWidth, 1920);          // the layout is read first, wherever it stands
    EXPECT_EQ(cfg.CanDev[CAppCfg::kDevCf51].Active, 0);  // stands before the layout
    EXPECT_EQ(cfg.Replay.PageMsgCount, 7u);
    EXPECT_EQ(cfg.Send.SigRawValShowHex, 0);
    EXPECT_EQ(cfg.Log.LogFileNameId, "L");
    EXPECT_EQ(cfg.Trace.NumHex, 1);  // stands before the replay section that was read
    EXPECT_FALSE(cfg.IsModified());  // nothing changed since the load: closing does not rewrite the file
    EXPECT_EQ(readFile(path), content);

    std::string text;
    EXPECT_EQ(cfg.LoadConfigFile(path, text, message), CfgLoadStatus::SectionsSkipped);
    EXPECT_EQ(text, content);
}

TEST(AppCfg, DeviceRecordsTakeTheLastElementAndFixedNames) {
    TempDir dir;
    const std::string path = (dir / "dev.xml").string();
    writeFile(path, cfgFile("<CFG_CAN_DEV_NXP Active=\"0\">\r\n"
                            "<CFG_CAN_DEV_CHAN_PARAM_CHAN0 Baudrate=\"500\" Btr0=\"1\" Btr1=\"2\"/>\r\n"
                            "</CFG_CAN_DEV_NXP>\r\n"
                            "<CFG_CAN_DEV_NXP Active=\"1\">\r\n"
                            "<CFG_CAN_DEV_CHAN_PARAM_CHAN1 Baudrate=\"70000\" Btr0=\"3\" Btr1=\"257\"/>\r\n"
                            "</CFG_CAN_DEV_NXP>\r\n"
                            "<CFG_CAN_DEV_WiFi Active=\"5\"/>\r\n"));
    CAppCfg cfg;
    cfg.CanDev[CAppCfg::kDevNxp].Name = "renamed";
    std::string message;
    ASSERT_TRUE(cfg.OpenConfig(path, message)) << message;
    EXPECT_EQ(message, "");
    // The second NXP element alone decides; its absent CHAN0 is the record's value before the file (the
    // default), not the first element's and not a zeroed channel, whose timing 0/0 no bus runs at.
    EXPECT_EQ(cfg.CanDev[CAppCfg::kDevNxp],
              (tCFG_CAN_DEV{"NXP Vyk Device", 2, 1, {250, 0, 1}, {4464, 3, 1}}));
    EXPECT_EQ(cfg.CanDev[CAppCfg::kDevCf51],
              (tCFG_CAN_DEV{"CF51 Vyk Device", 1, 0, {250, 0, 1}, {250, 0, 1}}));
    EXPECT_EQ(cfg.CanDev[CAppCfg::kDevWiFi],
              (tCFG_CAN_DEV{"WiFi Vyk Device", 2, 1, {250, 0, 1}, {250, 0, 1}}));
}

TEST(AppCfg, SelectedDeviceGetsBothChannelsOfItsRecord) {
    CAppCfg cfg;
    cfg.CanDev[CAppCfg::kDevNxp].CHAN0 = {500, 7, 8};
    cfg.CanDev[CAppCfg::kDevNxp].CHAN1 = {0, 0x31, 0x1C};
    cfg.CanDev[CAppCfg::kDevCf51].CHAN1 = {125, 3, 4};
    CCanDevice* device = cfg.GetSelectedDevice();
    EXPECT_EQ(device, &cfg.NxpDevice());
    EXPECT_EQ(cfg.NxpDevice().m_ChanCfg[0].BitRateCode, 500);
    EXPECT_EQ(cfg.NxpDevice().m_ChanCfg[0].Timing1, 8);
    EXPECT_EQ(cfg.NxpDevice().m_ChanCfg[1].Timing0, 0x31);
    EXPECT_EQ(cfg.Cf51Device().m_ChanCfg[1].BitRateCode, 125);  // the CF51's one channel is channel 1
    EXPECT_EQ(cfg.Cf51Device().m_ChanCfg[0].BitRateCode, 250);

    cfg.CanDev[CAppCfg::kDevNxp].Active = 0;
    cfg.CanDev[CAppCfg::kDevCf51].Active = 1;
    cfg.CanDev[CAppCfg::kDevWiFi].Active = 1;
    EXPECT_EQ(cfg.GetSelectedDevice(), &cfg.Cf51Device());
    cfg.CanDev[CAppCfg::kDevCf51].Active = 0;
    EXPECT_EQ(cfg.GetSelectedDevice(), nullptr);  // the WiFi kind has no device object
}

TEST(AppCfg, NewFileNamesNeverTakeAnExistingFile) {
    TempDir dir;
    const std::string base = dir.path().string();
    const vex::LocalTime t{2024, 3, 5, 14, 7, 9, 0};
    EXPECT_EQ(CAppCfg::MakeNewCfgFilePath(base, t), base + "/cfg/default.xml");
    EXPECT_TRUE(fs::is_directory(dir / "cfg"));
    writeFile(dir / "cfg/default.xml", "mine");
    EXPECT_EQ(CAppCfg::MakeNewCfgFilePath(base, t), base + "/cfg/default_20240305140709.xml");
    writeFile(dir / "cfg/default_20240305140709.xml", "mine too");
    EXPECT_EQ(CAppCfg::MakeNewCfgFilePath(base, t), base + "/cfg/default_20240305140709_2.xml");

    // Several new files in one second: each gets a name of its own, nothing is replaced.
    std::set<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        CAppCfg cfg;
        std::string path, error;
        ASSERT_TRUE(cfg.CreateDefaultConfig(path, error, base)) << error;
        EXPECT_TRUE(paths.insert(path).second) << path;
        EXPECT_EQ(readFile(path), readFile(fixture("config/default.xml")));
    }
    EXPECT_EQ(readFile(dir / "cfg/default.xml"), "mine");
    EXPECT_EQ(readFile(dir / "cfg/default_20240305140709.xml"), "mine too");

    // A "cfg" that is a file: the new file lies in the directory itself.
    TempDir other;
    writeFile(other / "cfg", "not a folder");
    EXPECT_EQ(CAppCfg::MakeNewCfgFilePath(other.path().string(), t), (other / "default.xml").string());

    // A directory that cannot hold files: reported, no path handed out.
    CAppCfg cfg;
    std::string path = "unchanged", error;
    EXPECT_FALSE(cfg.CreateDefaultConfig(path, error, (other / "cfg").string()));
    EXPECT_EQ(path, "unchanged");
    EXPECT_EQ(error, "无法创建配置文件 " + (other / "cfg/default.xml").string() + "：Not a directory");
}

TEST(AppCfg, SaveCanDatabasesKeepsTheOtherSectionsOfTheFile) {
    TempDir dir;
    const std::string path = (dir / "cur.xml").string();
    CAppCfg live;
    std::string error, message;
    cfgtest::fillEverySection(live);
    ASSERT_TRUE(live.SaveConfigAs(path, error));
    // Unsaved changes of the live setup stay out of the file; its database list goes in.
    live.Trace.NumHex = 1;
    live.CanDatabases.erase(live.CanDatabases.begin());
    live.CanDatabases[0].Database.Author = "新作者";
    {
        CAppCfg temp;
        ASSERT_TRUE(CAppCfg::SaveCanDatabases(temp, live, path, error)) << error;
    }
    CAppCfg expected;
    cfgtest::fillEverySection(expected);
    expected.CanDatabases = live.CanDatabases;
    CAppCfg reread;
    ASSERT_TRUE(reread.OpenConfig(path, message));
    cfgtest::expectSameSetup(reread, expected);

    // A missing file is written with the defaults and the databases.
    const std::string fresh = (dir / "fresh.xml").string();
    {
        CAppCfg temp;
        ASSERT_TRUE(CAppCfg::SaveCanDatabases(temp, live, fresh, error)) << error;
    }
    CAppCfg defaults;
    defaults.CanDatabases = live.CanDatabases;
    EXPECT_EQ(vex::GbkToUtf8(readFile(fresh)), save(defaults));

    // An empty path writes nothing.
    CAppCfg temp;
    EXPECT_TRUE(CAppCfg::SaveCanDatabases(temp, live, "", error));
}

TEST(AppCfg, SaveCanDatabasesRefusesAFileThatDidNotLoadCleanly) {
    TempDir dir;
    CAppCfg live;
    live.CanDatabases.push_back({"DB", 1, 1, {}});
    const std::string order = cfgFile("<CFG_SET_LOG AutoLogFlag=\"0\"/>\r\n<CFG_SET_REPLAY/>\r\n");
    const struct {
        const char* name;
        std::string content;
        std::string reason;
    } cases[] = {
        {"cut.xml", "<VEXAR_CFG_FILE>\r\n<CFG_SET_REPLAY/>",
         "文件 PATH 格式错误：35 bytes, Document ends early (truncated) at offset 35 (Element "
         "'VEXAR_CFG_FILE' at offset 0 not ended)"},
        {"other.xml", "<OTHER/>", "文件 PATH 不是配置文件。"},
        {"order.xml", order, "配置文件 PATH 中以下元素的位置不对或无法识别，没有读取：CFG_SET_LOG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir / c.name).string();
        writeFile(path, c.content);
        std::string expected = "CAN数据库没有保存：" + c.reason;
        expected.replace(expected.find("PATH"), 4, path);
        CAppCfg temp;
        std::string error;
        EXPECT_FALSE(CAppCfg::SaveCanDatabases(temp, live, path, error));
        EXPECT_EQ(error, expected);
        EXPECT_EQ(readFile(path), c.content);
    }
    // A file that reads but cannot be written back: the write failure comes back.
    writeFile(dir / "plain", "x");
    CAppCfg temp;
    std::string error;
    EXPECT_FALSE(CAppCfg::SaveCanDatabases(temp, live, (dir / "plain/x.xml").string(), error));
    EXPECT_EQ(error, "无法写入配置文件 " + (dir / "plain/x.xml").string() + "：Not a directory");
}

TEST(AppCfg, KeptInvalidBytesSurviveEverySave) {
    // Bytes that are not GBK are kept; characters that would pair with such a byte on disk, character
    // references to kept bytes and a NUL dropped from the prefix must not change the text on the next load.
    TempDir dir;
    const std::string path = (dir / "raw.xml").string();
    writeFile(
        path,
        cfgFile(
            "<CFG_SET_LOG LogFileNameId=\"t\x8D\0@x\">\r\n"s +
            "<CAN_MSG_FILTER_LOG>\r\n"
            "<FILTER_CAN_MSG FilterCanMsgId=\"1\" FilterCanMsgDescr=\"\x8D&#x4E2D;\x8D&#x10FF41;\xFF\"/>\r\n"
            "</CAN_MSG_FILTER_LOG>\r\n</CFG_SET_LOG>\r\n"));
    CAppCfg first;
    std::string message, error;
    ASSERT_TRUE(first.OpenConfig(path, message)) << message;
    EXPECT_EQ(first.Log.LogFileNameId, "t\xF4\x8F\xBE\x8D@x");
    EXPECT_EQ(first.Log.Filter.MsgMap.at(1).Descr,
              "\xF4\x8F\xBE\x8D中\xF4\x8F\xBE\x8D\xF4\x8F\xBD\x81\xF4\x8F\xBF\xBF");
    const std::string saved = (dir / "saved.xml").string();
    ASSERT_TRUE(first.SaveConfigAs(saved, error));
    CAppCfg second;
    ASSERT_TRUE(second.OpenConfig(saved, message)) << message;
    cfgtest::expectSameSetup(second, first);
    EXPECT_FALSE(second.IsModified());
    const std::string again = (dir / "again.xml").string();
    ASSERT_TRUE(second.SaveConfigAs(again, error));
    EXPECT_EQ(readFile(again), readFile(saved));
}

// A setup counts as modified only after a change, however the file it came from was written: by this
// program, with LF line ends, or by another tool (indentation, other attribute order and quotes, missing
// attributes and sections, no declaration).
TEST(AppCfg, LoadedFileIsNotModifiedUntilChanged) {
    TempDir dir;
    CAppCfg full;
    cfgtest::fillEverySection(full);
    std::string own = save(full);
    std::string lf = own;
    for (size_t at = 0; (at = lf.find("\r\n", at)) != std::string::npos;) lf.erase(at, 1);
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"own.xml", vex::Utf8ToGbk(own)},
        {"lf.xml", vex::Utf8ToGbk(lf)},
        {"foreign.xml",
         "<VEXAR_CFG_FILE>\n"
         "  <CFG_CAN_DEV_NXP Active='1'>\n"
         "    <CFG_CAN_DEV_CHAN_PARAM_CHAN0 Btr1='28' Baudrate='0500' "
         "Btr0='0'></CFG_CAN_DEV_CHAN_PARAM_CHAN0>\n"
         "  </CFG_CAN_DEV_NXP>\n"
         "  <CFG_SET_SEND>\n"
         "    <CFG_SET_SEND_MSG MsgName='a' MsgID='291' DL='8' TxData3='255'/>\n"
         "  </CFG_SET_SEND>\n"
         "  <CFG_SET_LOG LogFileNameId='Run'/>\n"
         "</VEXAR_CFG_FILE>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir / c.name).string();
        writeFile(path, c.content);
        CAppCfg cfg;
        std::string message;
        ASSERT_TRUE(cfg.OpenConfig(path, message)) << message;
        EXPECT_EQ(message, "");
        EXPECT_FALSE(cfg.IsModified());
        const uint8_t hex = cfg.Trace.NumHex;
        cfg.Trace.NumHex = hex ? 0 : 1;
        EXPECT_TRUE(cfg.IsModified());
        cfg.Trace.NumHex = hex;
        EXPECT_FALSE(cfg.IsModified());
        EXPECT_EQ(readFile(path), c.content);
    }
}

namespace {

// The file text with one attribute of the send entry named `entry` set to `value`.
std::string patchSendAttr(std::string text, const std::string& entry, const std::string& attr,
                          const std::string& value) {
    const size_t line = text.find("<CFG_SET_SEND_MSG MsgName=\"" + entry + "\"");
    const size_t at = text.find(" " + attr + "=\"", line) + attr.size() + 3;
    text.replace(at, text.find('"', at) - at, value);
    return text;
}

}  // namespace

// Send entries that no frame can be built from are read, named by the load, kept as the file wrote them by
// every save, and written with their new values once the user corrects them.
TEST(AppCfg, UnsendableSendEntriesAreReportedAndKeptAsRead) {
    TempDir dir;
    CAppCfg built;
    auto add = [&built](const char* name, uint32_t id, uint8_t ext, uint8_t chan, uint8_t dl) {
        tCFG_SET_SEND_MSG m;
        m.MsgName = name;
        m.MsgID = id;
        m.Ext = ext;
        m.Chan = chan;
        m.DL = dl;
        m.TxData[0] = 0x11;
        m.CycTxTime = 100;
        built.Send.MsgMap[MsgKey(id, ext)] = m;
    };
    add("neg", 0x100, 0, 0, 0);
    add("len264", 0x101, 0, 0, 0);
    add("chan7", 0x102, 0, 7, 8);
    add("chan256", 0x103, 0, 0, 8);
    add("ok", 0x123, 0, 1, 8);
    add("extbig", 0xFFFFFFFF, 1, 0, 8);
    add("stdbig", 0x7FFFFFFF, 0, 0, 8);
    std::string content = save(built);
    content = patchSendAttr(content, "neg", "DL", "-5");
    content = patchSendAttr(content, "len264", "DL", "264");
    content = patchSendAttr(content, "chan256", "Chan", "256");
    content = patchSendAttr(content, "extbig", "MsgID", "4294967296");
    const std::string path = (dir / "send.xml").string();
    writeFile(path, content);

    CAppCfg cfg;
    std::string message, text;
    ASSERT_TRUE(cfg.OpenConfig(path, message)) << message;
    EXPECT_EQ(message,
              "配置文件 " + path +
                  " 中以下发送报文不能发送，保存时按原样保留：“neg”：长度 -5 不在 0~8 之内；"
                  "“len264”：长度 264 不在 0~8 之内；“chan7”：通道 7 不存在；“chan256”：通道 256 不存在；"
                  "“extbig”：扩展帧ID 4294967296 超出 0x1FFFFFFF；“stdbig”：标准帧ID 0x7FFFFFFF 超出 0x7FF");
    EXPECT_EQ(cfg.LoadConfigFile(path, text, message), CfgLoadStatus::UnsendableKept);
    // What the entries hold: out of range still, so that no frame is built from them.
    auto& map = cfg.Send.MsgMap;
    ASSERT_EQ(map.size(), 7u);
    EXPECT_EQ(map.at(0x100).DL, 251);  // the low bits of -5
    EXPECT_EQ(map.at(0x101).DL, 255);  // 264's low bits would be the valid 8
    EXPECT_EQ(map.at(0x102).Chan, 7);
    EXPECT_EQ(map.at(0x103).Chan, 255);  // 256's low bits would be the valid 0
    EXPECT_EQ(map.at(MsgKey(0xFFFFFFFF, 1)).MsgID, 0xFFFFFFFFu);
    EXPECT_EQ(SendMsgFault(map.at(0x123)), "");
    EXPECT_TRUE(map.at(0x123).KeptAttrs.empty());

    // Load and save give the file back byte for byte; nothing counts as modified.
    EXPECT_FALSE(cfg.IsModified());
    std::string error;
    const std::string again = (dir / "again.xml").string();
    ASSERT_TRUE(cfg.SaveConfigAs(again, error)) << error;
    EXPECT_EQ(readFile(again), content);
    // Writing the databases into the file keeps the entries too.
    {
        CAppCfg temp;
        ASSERT_TRUE(CAppCfg::SaveCanDatabases(temp, built, path, error)) << error;
    }
    EXPECT_EQ(readFile(path), content);

    // A corrected field is written with its new value; the entry's other kept texts stay.
    map.at(0x101).DL = 8;
    EXPECT_EQ(SendMsgFault(map.at(0x101)), "");
    map.at(MsgKey(0xFFFFFFFF, 1)).MsgName = "renamed";
    EXPECT_TRUE(cfg.IsModified());
    ASSERT_TRUE(cfg.SaveConfigAs(again, error)) << error;
    std::string expected = patchSendAttr(content, "len264", "DL", "8");
    expected.replace(expected.find("MsgName=\"extbig\""), 16, "MsgName=\"renamed\"");
    EXPECT_EQ(readFile(again), expected);
}

// An entry whose identifier is beyond its type can land on the key of another identifier's entry; the
// entry it displaces is named as not read.
TEST(AppCfg, SendEntryDisplacedByAnotherIdentifierIsNamed) {
    TempDir dir;
    const std::string path = (dir / "clash.xml").string();
    writeFile(path, cfgFile("<CFG_SET_SEND SigRawValShowHex=\"1\">\r\n"
                            "<CFG_SET_SEND_MSG MsgName=\"A\" MsgID=\"291\" Ext=\"0\" DL=\"8\"/>\r\n"
                            "<CFG_SET_SEND_MSG MsgName=\"A2\" MsgID=\"291\" Ext=\"0\" DL=\"4\"/>\r\n"
                            "<CFG_SET_SEND_MSG MsgName=\"B\" MsgID=\"3221225763\" Ext=\"1\" DL=\"8\"/>\r\n"
                            "</CFG_SET_SEND>\r\n"));
    CAppCfg cfg;
    std::string message, text;
    ASSERT_TRUE(cfg.OpenConfig(path, message));
    // A2 replacing A (the same identifier) is the file's own rule and not reported.
    EXPECT_EQ(message,
              "配置文件 " + path + " 中以下发送报文与后面的报文占用同一位置，没有读取：“A2”。配置文件 " +
                  path +
                  " 中以下发送报文不能发送，保存时按原样保留：“B”：扩展帧ID 3221225763 超出 0x1FFFFFFF");
    EXPECT_EQ(cfg.LoadConfigFile(path, text, message), CfgLoadStatus::SectionsSkipped);
    ASSERT_EQ(cfg.Send.MsgMap.size(), 1u);
    EXPECT_EQ(cfg.Send.MsgMap.at(0x123).MsgName, "B");
}

// A save over a read-only configuration file is refused like any failed write and changes nothing.
TEST(AppCfg, SaveOverReadOnlyFileFailsAndChangesNothing) {
    TempDir dir;
    const std::string path = (dir / "ro.xml").string();
    CAppCfg cfg;
    std::string error;
    ASSERT_TRUE(cfg.SaveConfigAs(path, error)) << error;
    const std::string before = readFile(path);
    const std::string savedText = cfg.FileText();
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    cfg.Log.LogFileNameId = "Changed";
    EXPECT_FALSE(cfg.SaveConfigAs(path, error));
    EXPECT_EQ(error, "无法写入配置文件 " + path + "：Permission denied");
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(cfg.FileText(), savedText);
    EXPECT_EQ(cfg.FileState(), 1);
    EXPECT_TRUE(cfg.IsModified());
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);  // no temporary file left beside it
}
