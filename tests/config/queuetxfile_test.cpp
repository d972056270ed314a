#include "config/queuetxfile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "config/appcfg.h"
#include "tests/common/testsupport.h"
#include "tests/config/cfgtestutil.h"

using vextest::readFile;
using vextest::TempDir;
using vextest::writeFile;

TEST(QueueTxFile, ListRoundTripsAndTakesFreshKeys) {
    TempDir dir;
    CAppCfg cfg;
    cfgtest::fillEverySection(cfg);
    const std::string path = (dir / "q.xml").string();
    std::string error;
    ASSERT_TRUE(SaveQueueTxMsgFile(cfg, path, error)) << error;
    const std::string bytes = readFile(path);
    EXPECT_EQ(bytes.substr(0, 79),
              "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<EXT_SER_QUEUE_TX_MSG_CFG_FILE>\r\n"
              "<CFG_SET");

    CAppCfg other;
    other.QueueTx.NextKey = 10;
    ASSERT_TRUE(LoadQueueTxMsgFile(other, path, error)) << error;
    EXPECT_EQ(other.QueueTx.SigRawValShowHex, 0);
    EXPECT_EQ(other.QueueTx.NextKey, 13u);
    ASSERT_EQ(other.QueueTx.MsgMap.size(), 3u);
    uint32_t key = 10;
    for (const auto& [k, msg] : cfg.QueueTx.MsgMap) {
        tCFG_SET_EXT_QUEUE_TX_MSG expected = msg;
        expected.Key = key;
        EXPECT_EQ(other.QueueTx.MsgMap.at(key), expected) << k;
        ++key;
    }
    // Saving the list read gives the same file.
    const std::string again = (dir / "again.xml").string();
    ASSERT_TRUE(SaveQueueTxMsgFile(other, again, error));
    EXPECT_EQ(readFile(again), bytes);

    // An empty list: the root and the section element alone.
    CAppCfg empty;
    ASSERT_TRUE(SaveQueueTxMsgFile(empty, path, error));
    EXPECT_EQ(
        readFile(path),
        "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<EXT_SER_QUEUE_TX_MSG_CFG_FILE>\r\n"
        "<CFG_SET_EXT_QUEUE_TX_SERVICE SigRawValShowHex=\"1\"/>\r\n</EXT_SER_QUEUE_TX_MSG_CFG_FILE>\r\n");
}

TEST(QueueTxFile, AConfigurationFileYieldsItsList) {
    TempDir dir;
    CAppCfg cfg;
    cfgtest::fillEverySection(cfg);
    const std::string path = (dir / "cfg.xml").string();
    std::string error;
    ASSERT_TRUE(cfg.SaveConfigAs(path, error));
    CAppCfg other;
    ASSERT_TRUE(LoadQueueTxMsgFile(other, path, error)) << error;
    EXPECT_EQ(other.QueueTx, cfg.QueueTx);
}

TEST(QueueTxFile, FailuresAreReportedAndChangeNothing) {
    TempDir dir;
    writeFile(dir / "plain", "x");
    writeFile(dir / "nolist.xml", "<EXT_SER_QUEUE_TX_MSG_CFG_FILE/>");
    writeFile(dir / "cut.xml", "<EXT_SER_QUEUE_TX_MSG_CFG_FILE>\r\n<CFG_SET_EXT_QUEUE_TX_SERVICE/>");
    writeFile(dir / "empty.xml", "");
    CAppCfg cfg;
    cfgtest::fillEverySection(cfg);
    const tCFG_SET_EXT_QUEUE_TX_SERVICE before = cfg.QueueTx;
    const auto p = [&](const char* name) { return (dir / name).string(); };
    const struct {
        std::string path;
        std::string error;
    } cases[] = {
        {p("missing.xml"), "无法读取文件 " + p("missing.xml") + "：No such file or directory"},
        {p("nolist.xml"), "文件 " + p("nolist.xml") + " 中没有报文队列。"},
        {p("empty.xml"), "文件 " + p("empty.xml") + " 中没有报文队列。"},
        {p("cut.xml"), "文件 " + p("cut.xml") +
                           " 格式错误：64 bytes, Document ends early (truncated) at offset 64 (Element "
                           "'EXT_SER_QUEUE_TX_MSG_CFG_FILE' at offset 0 not ended)"},
        // Endless inputs are refused before a byte is read.
        {"/dev/zero", "无法读取文件 /dev/zero：Not a regular file"},
        {dir.path().string(), "无法读取文件 " + dir.path().string() + "：Not a regular file"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(LoadQueueTxMsgFile(cfg, c.path, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(cfg.QueueTx, before);
    }
    std::string error;
    EXPECT_FALSE(SaveQueueTxMsgFile(cfg, p("plain") + "/q.xml", error));
    EXPECT_EQ(error, "无法写入文件 " + p("plain") + "/q.xml：Not a directory");
    EXPECT_EQ(readFile(dir / "plain"), "x");
}

// Entries that cannot be sent as the file has them (the user's edits elsewhere, another tool) load, are
// named, and come back byte for byte, from the list file and from a configuration file's queue section.
TEST(QueueTxFile, UnsendableEntriesAreNamedAndKeptAsTheFileHasThem) {
    TempDir dir;
    CAppCfg cfg;
    tCFG_SET_EXT_QUEUE_TX_MSG rec;
    rec.Chan = 1;
    rec.DL = 8;
    for (const char* name : {"neg", "huge", "ok", "len"}) {
        rec.MsgName = name;
        rec.MsgTxIndex = static_cast<int32_t>(cfg.QueueTx.MsgMap.size());
        cfg.QueueTx.MsgMap[cfg.QueueTx.NextKey++] = rec;
    }
    const std::string list = (dir / "q.xml").string();
    const std::string config = (dir / "cfg.xml").string();
    std::string error;
    ASSERT_TRUE(SaveQueueTxMsgFile(cfg, list, error)) << error;
    ASSERT_TRUE(cfg.SaveConfigAs(config, error)) << error;
    const auto patch = [](std::string text) {
        const auto set = [&text](const std::string& name, const char* attr, const char* value) {
            const size_t entry = text.find("MsgName=\"" + name + "\"");
            const size_t at = text.find(std::string(" ") + attr + "=\"", entry) + std::strlen(attr) + 3;
            text.replace(at, text.find('"', at) - at, value);
        };
        set("neg", "BeforeDelayTime", "-5");
        set("huge", "AfterDelayTime", "99999999");
        set("huge", "MsgID", "4294967295");
        set("len", "DL", "200");
        return text;
    };
    const std::string faults =
        "“neg”：前延时 -5 不在 0~65535 之内；“huge”：标准帧ID 4294967295 超出 0x7FF，后延时 99999999 不在 "
        "0~65535 之内；“len”：长度 200 不在 0~8 之内";
    const std::string listText = patch(readFile(list));
    const std::string configText = patch(readFile(config));
    writeFile(list, listText);
    writeFile(config, configText);

    CAppCfg loaded;
    std::string notice;
    ASSERT_TRUE(LoadQueueTxMsgFile(loaded, list, error, &notice)) << error;
    EXPECT_EQ(notice, "列表文件 " + list + " 中以下报文不能发送，保存时按原样保留：" + faults);
    ASSERT_TRUE(SaveQueueTxMsgFile(loaded, list, error)) << error;
    EXPECT_EQ(readFile(list), listText);

    std::string text, message;
    EXPECT_EQ(loaded.LoadConfigFile(config, text, message), CfgLoadStatus::UnsendableKept);
    EXPECT_EQ(message, "配置文件 " + config + " 中以下队列报文不能发送，保存时按原样保留：" + faults);
    ASSERT_TRUE(loaded.OpenConfig(config, message));
    EXPECT_FALSE(loaded.IsModified());
    ASSERT_TRUE(loaded.SaveConfigAs(config, error)) << error;
    EXPECT_EQ(readFile(config), configText);
}
