#include "config/queuetxfile.h"

#include <gtest/gtest.h>

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
