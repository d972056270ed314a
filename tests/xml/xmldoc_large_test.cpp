// Saving that fails, and documents beyond the sizes a packed index could hold.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "platform/xml/xmldoc.h"
#include "tests/common/testsupport.h"
#include "tests/xml/xmldoc_peer.h"

using Peer = CXmlDocTestPeer;
namespace fs = std::filesystem;

namespace {

CXmlDoc smallDoc() {
    CXmlDoc doc;
    doc.NewElem("R", 0);
    doc.WriteAttr("v", "new");
    return doc;
}

size_t entries(const fs::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace

TEST(XmlDocSave, FailureLeavesFileAndDocumentUntouched) {
    vextest::TempDir dir;
    vextest::writeFile(dir / "plain", "I am a file");
    fs::create_directory(dir / "folder");
    vextest::writeFile(dir / "folder" / "inside", "x");
    struct {
        std::string path;
        const char* error;
    } cases[] = {
        {(dir / "plain" / "cfg.xml").string(), "Not a directory"},
        {(dir / "missing" / "cfg.xml").string(), "No such file or directory"},
        {(dir / "folder").string(), "Is a directory"},  // the rename over a folder fails after the write
        {"/proc/self/cfg.xml", nullptr},
        {"", "No such file or directory"},
    };
    for (const auto& c : cases) {
        CXmlDoc doc = smallDoc();
        const std::string before = doc.GetText();
        EXPECT_FALSE(doc.SaveWithDeclaration(c.path)) << c.path;
        if (c.error) {
            EXPECT_EQ(doc.GetResult(), c.error) << c.path;
        }
        EXPECT_FALSE(doc.GetResult().empty());
        EXPECT_EQ(doc.GetText(), before) << c.path;
        EXPECT_EQ(Peer::Check(doc), "");
    }
    EXPECT_EQ(vextest::readFile(dir / "plain"), "I am a file");
    EXPECT_EQ(entries(dir / "folder"), 1u);  // no temporary file left behind
    EXPECT_EQ(entries(dir.path()), 2u);
}

TEST(XmlDocSave, WriteFailureKeepsTheOldFile) {
    vextest::TempDir dir;
    const fs::path target = dir / "cfg.xml";
    const std::string old = "<old/>\r\n";
    vextest::writeFile(target, old);

    CXmlDoc doc;
    doc.NewElem("R", 0);
    doc.WriteAttr("big", std::string(200000, 'x'));
    const std::string before = doc.GetText();

    // A file size limit makes the write itself fail part way (EFBIG instead of the signal).
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = doc.SaveWithDeclaration(target.string());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(doc.GetResult(), "File too large");
    EXPECT_EQ(doc.GetText(), before);
    EXPECT_EQ(vextest::readFile(target), old);
    EXPECT_EQ(entries(dir.path()), 1u);
    // The same save succeeds without the limit.
    EXPECT_TRUE(doc.SaveWithDeclaration(target.string()));
    EXPECT_EQ(vextest::readFile(target).size(), doc.GetText().size());
}

TEST(XmlDocSave, ReplacedFileKeepsPermissionsAndLinks) {
    vextest::TempDir dir;
    const fs::path real = dir / "real.xml";
    vextest::writeFile(real, "old");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real, dir / "link.xml");
    CXmlDoc doc = smallDoc();
    ASSERT_TRUE(doc.SaveWithDeclaration((dir / "link.xml").string()));
    EXPECT_TRUE(fs::is_symlink(dir / "link.xml"));
    EXPECT_EQ(vextest::readFile(real).rfind("<?xml", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(XmlDocLarge, DeeperThanSixteenBitsOfDepth) {
    constexpr int kDepth = 70000;
    std::string text;
    for (int i = 0; i < kDepth; ++i) text += "<e>";
    text += "<leaf v=\"deep\"/>";
    for (int i = 0; i < kDepth; ++i) text += "</e>";
    CXmlDoc doc;
    Peer::SetText(doc, text);
    ASSERT_TRUE(doc.Parse()) << doc.GetResult();
    ASSERT_TRUE(doc.FindNextElem("e"));
    for (int i = 1; i < kDepth; ++i) {
        ASSERT_TRUE(doc.SeekChildElem("e")) << i;
        ASSERT_TRUE(doc.EnterChildElem());
    }
    EXPECT_EQ(Peer::MainDepth(doc), static_cast<uint32_t>(kDepth - 1));
    ASSERT_TRUE(doc.SeekChildElem("leaf"));
    ASSERT_TRUE(doc.EnterChildElem());
    EXPECT_EQ(Peer::MainDepth(doc), static_cast<uint32_t>(kDepth));
    EXPECT_EQ(doc.ReadAttr("v"), "deep");
    ASSERT_TRUE(doc.NewElem("added", CXmlDoc::kAsChild));
    ASSERT_EQ(Peer::Check(doc), "");

    // The same depth never ended: every level is regrouped without quadratic work.
    std::string open;
    for (int i = 0; i < kDepth; ++i) open += "<e>";
    Peer::SetText(doc, open);
    EXPECT_FALSE(doc.Parse());
    EXPECT_EQ(doc.GetResult(), "Document ends early (truncated) at offset " + std::to_string(open.size()) +
                                   " (Element 'e' at offset 0 not ended)");
    EXPECT_EQ(Peer::Check(doc), "");
}

TEST(XmlDocLarge, LongTagsAndManyElements) {
    const std::string longValue(5 * 1024 * 1024, 'v');  // a start tag beyond 22 bits of length
    const std::string longName(3000, 'n');              // an end tag beyond 10 bits of length
    std::string text =
        "<r>\r\n<big a=\"" + longValue + "\"/>\r\n<" + longName + "><x/></" + longName + ">\r\n";
    constexpr int kMany = 150000;  // more records than one page of the index
    for (int i = 0; i < kMany; ++i) text += "<m i=\"" + std::to_string(i) + "\"/>\r\n";
    text += "</r>\r\n";
    CXmlDoc doc;
    Peer::SetText(doc, text);
    ASSERT_TRUE(doc.Parse()) << doc.GetResult();
    ASSERT_TRUE(doc.FindNextElem("r"));
    ASSERT_TRUE(doc.SeekChildElem("big"));
    ASSERT_TRUE(doc.EnterChildElem());
    EXPECT_EQ(doc.ReadAttr("a"), longValue);
    ASSERT_TRUE(doc.LeaveElem());
    ASSERT_TRUE(doc.SeekChildElem(longName));
    ASSERT_TRUE(doc.EnterChildElem());
    ASSERT_TRUE(doc.SeekChildElem("x"));
    ASSERT_TRUE(doc.LeaveElem());
    int count = 0;
    while (doc.SeekChildElem("m")) ++count;
    EXPECT_EQ(count, kMany);
    ASSERT_TRUE(doc.EnterChildElem());
    EXPECT_EQ(doc.ReadAttr("i"), std::to_string(kMany - 1));
    ASSERT_TRUE(doc.LeaveElem());

    // Edits before everything else move every later record.
    doc.LeaveElem();
    CXmlDoc edited = doc;
    Peer::SetText(edited, text);
    edited.Parse();
    edited.FindNextElem("r");
    edited.SeekChildElem("big");
    edited.EnterChildElem();
    ASSERT_TRUE(edited.WriteAttr("a", "short"));
    ASSERT_TRUE(edited.NewElem("first", CXmlDoc::kAsChild));
    edited.LeaveElem();
    ASSERT_TRUE(edited.SeekChildElem(longName));
    ASSERT_TRUE(edited.EnterChildElem());
    ASSERT_TRUE(edited.WriteAttr("k", longValue));
    ASSERT_EQ(Peer::Check(edited), "");
    CXmlDoc fresh;
    Peer::SetText(fresh, edited.GetText());
    ASSERT_TRUE(fresh.Parse()) << fresh.GetResult();
    EXPECT_TRUE(Peer::Signature(fresh) == Peer::Signature(edited));

    // A built document of the same size saves and loads.
    vextest::TempDir dir;
    ASSERT_TRUE(edited.SaveWithDeclaration((dir / "large.xml").string()));
    CXmlDoc back;
    ASSERT_TRUE(back.LoadFile((dir / "large.xml").string()));
    ASSERT_TRUE(back.Parse()) << back.GetResult();
    EXPECT_EQ(back.GetText(), edited.GetText());
}

TEST(XmlDocLarge, BuildingManyElementsStaysLinear) {
    // A database-sized configuration: appending children one after another must not rescan the index.
    CXmlDoc doc;
    ASSERT_TRUE(doc.NewElem("VEXAR_CFG_FILE", 0));
    for (int m = 0; m < 2000; ++m) {
        ASSERT_TRUE(doc.NewElem("CAN_MSG", CXmlDoc::kAsChild));
        ASSERT_TRUE(doc.EnterChildElem());
        ASSERT_TRUE(doc.WriteAttr("Id", std::to_string(m)));
        for (int s = 0; s < 40; ++s) {
            ASSERT_TRUE(doc.NewElem("CAN_SIGNAL", CXmlDoc::kAsChild));
            ASSERT_TRUE(doc.EnterChildElem());
            ASSERT_TRUE(doc.WriteAttr("Name", "S" + std::to_string(s)));
            ASSERT_TRUE(doc.WriteAttr("Factor", "0.5"));
            ASSERT_TRUE(doc.LeaveElem());
        }
        ASSERT_TRUE(doc.LeaveElem());
    }
    EXPECT_EQ(Peer::Count(doc), 1 + 1 + 2000 * 41);
    EXPECT_EQ(Peer::Check(doc), "");
}
