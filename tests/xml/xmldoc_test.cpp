#include "platform/xml/xmldoc.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/util/fileread.h"
#include "tests/common/testsupport.h"
#include "tests/xml/xmldoc_peer.h"

using Peer = CXmlDocTestPeer;

namespace {

CXmlDoc parsed(const std::string& text, bool* ok = nullptr) {
    CXmlDoc doc;
    Peer::SetText(doc, text);
    const bool result = doc.Parse();
    if (ok) *ok = result;
    return doc;
}

// The index of an edited document equals that of a fresh parse of its text.
void expectIndexMatchesText(const CXmlDoc& doc) {
    ASSERT_EQ(Peer::Check(doc), "");
    CXmlDoc fresh = parsed(doc.GetText());
    ASSERT_EQ(Peer::Check(fresh), "");
    EXPECT_TRUE(Peer::Signature(doc) == Peer::Signature(fresh)) << doc.GetText().substr(0, 400);
}

}  // namespace

TEST(XmlDoc, ConstructedEmpty) {
    CXmlDoc doc;
    EXPECT_EQ(doc.GetText(), "");
    EXPECT_EQ(doc.GetResult(), "Empty document");
    EXPECT_FALSE(doc.FindNextElem());
    EXPECT_FALSE(doc.SeekChildElem());
    EXPECT_EQ(doc.ReadAttr("x"), "");
    EXPECT_FALSE(doc.WriteAttr("x", "1"));
}

TEST(XmlDoc, ParseResultsAndMessages) {
    struct {
        const char* text;
        bool ok;
        const char* result;
    } cases[] = {
        {"", false, "Empty document"},
        {"<?xml version=\"1.0\"?>\r\n", false, "No root element"},
        {"  \r\n", false, "No root element"},
        {"<a/><b/>", false, "Root element has sibling"},
        {"<a><b></a>", false, "End tag 'a' at offset 6 does not match start tag 'b' at offset 3"},
        {"<a><b><c></a>", false, "End tag 'a' at offset 9 does not match start tag 'c' at offset 6"},
        {"<a></b></a>", false, "No start tag for end tag 'b' at offset 3"},
        {"<a>< b/></a>", false, "Incorrect tag name character at offset 3"},
        {"<a><!x></a>", false, "Incorrect ! tag at offset 3"},
        {"<a><!-x--></a>", false, "Incorrect comment tag at offset 3"},
        {"<a><![X[]]></a>", false, "Incorrect tag at offset 3"},
        // Only the first message is kept.
        {"<a></b><c/></d></a>", false, "No start tag for end tag 'b' at offset 3"},
        // ... but a missing or doubled root replaces it.
        {"<a><b></a><c/>", false, "Root element has sibling"},
        {"</x>", false, "No root element"},
        {"<?xml version=\"1.0\"?>\r\n<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r a CDATA \">\">]>\r\n"
         "<!-- c > -->\r\n<r a=\"x>y\" b='/>'><![CDATA[<not/>]]>text<?pi x?><c/></r>\r\n",
         true, ""},
        {"<a x='1'/>", true, ""},
        {"<a\tx=\"1\"\r\n/>", true, ""},
    };
    for (const auto& c : cases) {
        bool ok = false;
        CXmlDoc doc = parsed(c.text, &ok);
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(doc.GetResult(), c.result) << c.text;
        EXPECT_EQ(Peer::Check(doc), "") << c.text;
    }
}

// A text that ends inside a node or an element says so first, with the offset where it ends and the first
// error after it: otherwise what the cut leaves (b regrouped beside a, no element at all) would be named.
TEST(XmlDoc, TextCutShortIsReportedAsEndingEarly) {
    struct {
        const char* text;
        size_t end;
        const char* first;
    } cases[] = {
        {"<a>", 3, "Element 'a' at offset 0 not ended"},
        {"<a><b>", 6, "Element 'a' at offset 0 not ended"},
        {"<r/><a x='1", 11, "Element tag at offset 4 unterminated"},
        {"<a x='1", 7, "Element tag at offset 0 unterminated"},
        {"<r/><a x='>'", 12, "Element tag at offset 4 unterminated"},
        {"<a></a", 6, "Element end tag at offset 3 unterminated"},
        {"<a/><![CDATA[x", 14, "CDATA Section at offset 4 unterminated"},
        {"<r/><?xml ", 10, "Processing instruction at offset 4 unterminated"},
        {"<a/><!-- x", 10, "Comment at offset 4 unterminated"},
        {"<r/><!DOCTYPE a [<!ELEMENT a ANY>", 33, "Doctype at offset 4 unterminated"},
        {"<a/>\r\n<", 7, "tag at offset 6 unterminated"},
        {"<a/>\r\n<!", 8, "tag at offset 6 unterminated"},
        {"<a/>\r\n<!ENTITY x", 16, "tag at offset 6 unterminated"},
    };
    for (const auto& c : cases) {
        bool ok = true;
        CXmlDoc doc = parsed(c.text, &ok);
        EXPECT_FALSE(ok) << c.text;
        EXPECT_EQ(doc.GetResult(),
                  "Document ends early (truncated) at offset " + std::to_string(c.end) + " (" + c.first + ")")
            << c.text;
        EXPECT_EQ(Peer::Check(doc), "") << c.text;
    }
}

TEST(XmlDoc, EmptyElementTagNeedsBlankQuoteOrNameBeforeSlash) {
    struct {
        const char* text;
        int32_t elements;  // records including record 0
        bool ok;
    } cases[] = {
        {"<r><a/></r>", 3, true},       {"<r><a /></r>", 3, true},     {"<r><a x=\"1\"/></r>", 3, true},
        {"<r><a x='1'/></r>", 3, true}, {"<r><a x=1/></r>", 3, false},  // "1/" is a value: <a> stays open
    };
    for (const auto& c : cases) {
        bool ok = false;
        CXmlDoc doc = parsed(c.text, &ok);
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(Peer::Count(doc), c.elements) << c.text;
    }
}

TEST(XmlDoc, ElementNeverEndedLosesItsChildrenToItsParent) {
    CXmlDoc doc = parsed("<a><b><c/><d><e/></d></a>");
    EXPECT_EQ(doc.GetResult(), "End tag 'a' at offset 21 does not match start tag 'b' at offset 3");
    ASSERT_EQ(Peer::Check(doc), "");
    ASSERT_TRUE(doc.FindNextElem("a"));
    const char* order[] = {"b", "c", "d"};
    for (const char* name : order) {
        ASSERT_TRUE(doc.SeekChildElem());
        EXPECT_EQ(Peer::ChildName(doc), name);
    }
    EXPECT_FALSE(doc.SeekChildElem());
    // b keeps no children; d keeps its own.
    CXmlDoc again = parsed("<a><b><c/><d><e/></d></a>");
    again.FindNextElem("a");
    ASSERT_TRUE(again.SeekChildElem("b"));
    ASSERT_TRUE(again.EnterChildElem());
    EXPECT_FALSE(again.SeekChildElem());
    again.LeaveElem();
    ASSERT_TRUE(again.SeekChildElem("d"));
    ASSERT_TRUE(again.EnterChildElem());
    EXPECT_EQ(Peer::MainDepth(again), 1u);
    ASSERT_TRUE(again.SeekChildElem("e"));
    ASSERT_TRUE(again.EnterChildElem());
    EXPECT_EQ(Peer::MainDepth(again), 2u);
}

TEST(XmlDoc, UnclosedNestingAtTheEndRegroupsEveryLevel) {
    CXmlDoc doc = parsed("<a><b><c><d/>");
    EXPECT_EQ(doc.GetResult(),
              "Document ends early (truncated) at offset 13 (Element 'a' at offset 0 not ended)");
    ASSERT_EQ(Peer::Check(doc), "");
    int count = 0;
    while (doc.FindNextElem()) ++count;
    EXPECT_EQ(count, 4);  // a, b, c, d all at top level
}

TEST(XmlDoc, SeekChildElemContinuesAfterTheLastFound) {
    CXmlDoc doc = parsed("<r><x n='1'/><y/><x n='2'><z/></x><x n='3'/></r>");
    ASSERT_TRUE(doc.FindNextElem("r"));
    ASSERT_TRUE(doc.SeekChildElem("x"));
    ASSERT_TRUE(doc.EnterChildElem());
    EXPECT_EQ(doc.ReadAttr("n"), "1");
    ASSERT_TRUE(doc.LeaveElem());
    ASSERT_TRUE(doc.SeekChildElem("y"));
    // An element standing before the one found last is not found again, and nothing changes.
    EXPECT_FALSE(doc.SeekChildElem("y"));
    ASSERT_TRUE(doc.SeekChildElem("x"));
    ASSERT_TRUE(doc.EnterChildElem());
    EXPECT_EQ(doc.ReadAttr("n"), "2");
    ASSERT_TRUE(doc.SeekChildElem("z"));
    ASSERT_TRUE(doc.LeaveElem());
    // Leaving makes the element left the child position: the search goes on after it.
    ASSERT_TRUE(doc.SeekChildElem("x"));
    ASSERT_TRUE(doc.EnterChildElem());
    EXPECT_EQ(doc.ReadAttr("n"), "3");
    ASSERT_TRUE(doc.LeaveElem());
    EXPECT_FALSE(doc.SeekChildElem("x"));
    EXPECT_FALSE(doc.LeaveElem());  // r is at the top
    EXPECT_FALSE(doc.FindNextElem("r"));
    EXPECT_EQ(Peer::MainName(doc), "r");
}

TEST(XmlDoc, SeekChildElemWithoutMainFallsBackToFirstTopLevelElement) {
    CXmlDoc doc = parsed("<OTHER><CFG a='7'/></OTHER>");
    EXPECT_FALSE(doc.FindNextElem("VEXAR_CFG_FILE"));
    ASSERT_TRUE(doc.SeekChildElem("CFG"));
    ASSERT_TRUE(doc.EnterChildElem());
    EXPECT_EQ(doc.ReadAttr("a"), "7");
    EXPECT_FALSE(doc.EnterChildElem());  // no child position
}

TEST(XmlDoc, NameMatching) {
    struct {
        const char* inText;
        const char* given;
        bool match;
    } cases[] = {
        {"abc", "abc", true},  {"abc", "abc def", true}, {"abc", "abc=", true},   {"abc", "abc/", true},
        {"abc", "abc[", true}, {"abc", "abc]", true},    {"abc", "abcd", false},  {"abc", "ab", false},
        {"abc", "ABC", false}, {"ABC", "abc", false},    {"abc", "abc\t", false},
    };
    for (const auto& c : cases) {
        CXmlDoc doc = parsed(std::string("<r><") + c.inText + " " + c.inText + "='v'/></r>");
        doc.FindNextElem();
        EXPECT_EQ(doc.SeekChildElem(c.given), c.match) << c.inText << " / " << c.given;
        if (!c.match) continue;
        doc.EnterChildElem();
        EXPECT_EQ(doc.ReadAttr(c.given), "v") << c.inText << " / " << c.given;
    }
}

TEST(XmlDoc, ReadAttrForms) {
    CXmlDoc doc = parsed("<a x=1 y='2' z = \"3\" w q=\"a'b\" e=\"\" x=\"second\">");
    ASSERT_TRUE(doc.FindNextElem());
    EXPECT_EQ(doc.ReadAttr("x"), "1");  // the first of two
    EXPECT_EQ(doc.ReadAttr("y"), "2");
    EXPECT_EQ(doc.ReadAttr("z"), "3");
    EXPECT_EQ(doc.ReadAttr("w"), "");
    EXPECT_EQ(doc.ReadAttr("q"), "a'b");
    EXPECT_EQ(doc.ReadAttr("e"), "");
    EXPECT_EQ(doc.ReadAttr("missing"), "");
}

TEST(XmlDoc, CharacterReferencesAndEntities) {
    struct {
        const char* raw;
        std::string want;
    } cases[] = {
        {"&lt;&gt;&amp;&apos;&quot;", "<>&'\""},
        {"&#65;&#x41;&#x6a;", "AAj"},
        {"&#xE9;", "\xC3\xA9"},
        {"&#x4E2D;", "\xE4\xB8\xAD"},
        {"&#x1F600;", "\xF0\x9F\x98\x80"},
        {"&#1114111;", "\xF4\x8F\xBF\xBF"},
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
        {"&#x110000;", "&#x110000;"},
        {"&#xD800;", "&#xD800;"},
        {"&#0;", "&#0;"},
        {"&#x0;", "&#x0;"},
        {"&#65", "&#65"},
        {"&#12345678;", "&#12345678;"},
        {"&#0000065;", "A"},
        {"&#x;", "&#x;"},
        {"&#;", "&#;"},
        {"&#x4G;", "&#x4G;"},
        {"&unknown;&", "&unknown;&"},
        {"a&#", "a&#"},
        {"a&#x", "a&#x"},
        {"&amp;lt;", "&lt;"},
    };
    for (const auto& c : cases) {
        CXmlDoc doc = parsed(std::string("<a v=\"") + c.raw + "\"/>");
        ASSERT_TRUE(doc.FindNextElem()) << c.raw;
        EXPECT_EQ(doc.ReadAttr("v"), c.want) << c.raw;
    }
}

TEST(XmlDoc, AttributeValuesRoundTripThroughWriteAndFile) {
    const std::string values[] = {
        "<tag attr=\"x\" other='y'>&amp; & &#65;",
        "",
        "  spaced  ",
        "\xE4\xB8\xAD\xE6\x96\x87",                 // GBK holds these
        "\xC2\xB5s \xF0\x9F\x98\x80 \xE2\x82\xAC",  // micro sign and an emoji: GBK does not hold them
        "tab\tand\r\nline",
    };
    vextest::TempDir dir;
    for (const std::string& v : values) {
        CXmlDoc doc;
        ASSERT_TRUE(doc.NewElem("R", 0));
        ASSERT_TRUE(doc.WriteAttr("v", v));
        ASSERT_TRUE(doc.WriteAttr("after", "1"));
        EXPECT_EQ(doc.ReadAttr("v"), v);
        EXPECT_EQ(doc.ReadAttr("after"), "1");
        expectIndexMatchesText(doc);
        const std::string path = (dir / "v.xml").string();
        ASSERT_TRUE(doc.SaveWithDeclaration(path));
        CXmlDoc back;
        ASSERT_TRUE(back.LoadFile(path));
        ASSERT_TRUE(back.Parse()) << back.GetResult();
        ASSERT_TRUE(back.FindNextElem("R"));
        EXPECT_EQ(back.ReadAttr("v"), v);
        // Writing the same value again gives the same text: a rebuilt document compares equal.
        EXPECT_EQ(back.GetText(), doc.GetText());
    }
}

TEST(XmlDoc, WriteAttrEscapesAndReplacesInPlace) {
    CXmlDoc doc;
    ASSERT_TRUE(doc.NewElem("R", 0));
    ASSERT_TRUE(doc.WriteAttr("a", "1"));
    ASSERT_TRUE(doc.WriteAttr("b", "<&>'\""));
    ASSERT_TRUE(doc.WriteAttr("a", "a much longer value"));
    EXPECT_EQ(doc.GetText(), "<R a=\"a much longer value\" b=\"&lt;&amp;&gt;&apos;&quot;\"/>\r\n");
    ASSERT_TRUE(doc.WriteAttr("a", ""));
    EXPECT_EQ(doc.GetText(), "<R a=\"\" b=\"&lt;&amp;&gt;&apos;&quot;\"/>\r\n");
    ASSERT_TRUE(doc.WriteAttr("c", "\xC2\xB5"));
    EXPECT_EQ(doc.GetText(), "<R a=\"\" b=\"&lt;&amp;&gt;&apos;&quot;\" c=\"&#xB5;\"/>\r\n");
    for (const char* bad : {"", "a b", "a=", "x>", "q\"", "a/"}) EXPECT_FALSE(doc.WriteAttr(bad, "v")) << bad;

    // Unquoted and valueless attributes of a parsed text get quoted values.
    CXmlDoc parsedDoc = parsed("<r x=1 w><c y= /><d z=1/></d></r>");
    parsedDoc.FindNextElem();
    ASSERT_TRUE(parsedDoc.WriteAttr("x", "22"));
    ASSERT_TRUE(parsedDoc.WriteAttr("w", "3"));
    // The slash of an empty-element tag is no part of a value; in "<d z=1/>" it is.
    ASSERT_TRUE(parsedDoc.SeekChildElem("c"));
    ASSERT_TRUE(parsedDoc.EnterChildElem());
    EXPECT_EQ(parsedDoc.ReadAttr("y"), "");
    ASSERT_TRUE(parsedDoc.WriteAttr("y", "4"));
    ASSERT_TRUE(parsedDoc.LeaveElem());
    ASSERT_TRUE(parsedDoc.SeekChildElem("d"));
    ASSERT_TRUE(parsedDoc.EnterChildElem());
    EXPECT_EQ(parsedDoc.ReadAttr("z"), "1/");
    ASSERT_TRUE(parsedDoc.WriteAttr("z", "5"));
    EXPECT_EQ(parsedDoc.GetText(), "<r x=\"22\" w=\"3\"><c y= \"4\"/><d z=\"5\"></d></r>");
    expectIndexMatchesText(parsedDoc);
}

TEST(XmlDoc, NewElemBuildsOneElementPerLine) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.NewElem("X", CXmlDoc::kAsChild));  // no main element yet
    ASSERT_TRUE(doc.NewElem("ROOT", 0));
    ASSERT_TRUE(doc.NewElem("A", CXmlDoc::kAsChild));
    ASSERT_TRUE(doc.EnterChildElem());
    ASSERT_TRUE(doc.WriteAttr("x", "1"));
    ASSERT_TRUE(doc.LeaveElem());
    ASSERT_TRUE(doc.NewElem("B", CXmlDoc::kAsChild));
    ASSERT_TRUE(doc.EnterChildElem());
    ASSERT_TRUE(doc.NewElem("C", CXmlDoc::kAsChild));
    ASSERT_TRUE(doc.EnterChildElem());
    ASSERT_TRUE(doc.WriteAttr("y", "2"));
    ASSERT_TRUE(doc.LeaveElem());
    ASSERT_TRUE(doc.NewElem("D", CXmlDoc::kAsChild));
    ASSERT_TRUE(doc.LeaveElem());
    EXPECT_EQ(doc.GetText(), "<ROOT>\r\n<A x=\"1\"/>\r\n<B>\r\n<C y=\"2\"/>\r\n<D/>\r\n</B>\r\n</ROOT>\r\n");
    expectIndexMatchesText(doc);
    // Without kAsChild the new element follows the main element at its level.
    ASSERT_TRUE(doc.EnterChildElem());  // B, the child position left by LeaveElem
    ASSERT_TRUE(doc.NewElem("E", 0));
    EXPECT_EQ(Peer::MainName(doc), "E");
    ASSERT_TRUE(doc.LeaveElem());
    EXPECT_FALSE(doc.LeaveElem());
    ASSERT_TRUE(doc.NewElem("ROOT2", 0));
    EXPECT_EQ(Peer::MainName(doc), "ROOT2");
    EXPECT_EQ(
        doc.GetText(),
        "<ROOT>\r\n<A x=\"1\"/>\r\n<B>\r\n<C y=\"2\"/>\r\n<D/>\r\n</B>\r\n<E/>\r\n</ROOT>\r\n<ROOT2/>\r\n");
    expectIndexMatchesText(doc);
}

TEST(XmlDoc, NewElemFlagsAndPlaces) {
    struct {
        const char* text;
        const char* name;
        uint32_t flags;
        const char* want;
    } cases[] = {
        {"<a></a>", "b", CXmlDoc::kAsChild, "<a>\r\n<b/>\r\n</a>"},
        {"<a>\r\n</a>", "b", CXmlDoc::kAsChild, "<a>\r\n<b/>\r\n</a>"},
        {"<a x='1' />", "b", CXmlDoc::kAsChild, "<a x='1' >\r\n<b/>\r\n</a>"},
        {"<a><c/>\r\n  <!--k--></a>", "b", CXmlDoc::kAsChild, "<a><c/>\r\n  <b/>\r\n<!--k--></a>"},
        {"<a/>", "b", CXmlDoc::kAsChild | CXmlDoc::kBlankBeforeEnd, "<a>\r\n<b />\r\n</a>"},
        {"<a/>", "b", CXmlDoc::kAsChild | CXmlDoc::kNoLineBreak, "<a>\r\n<b/></a>"},
        {"<a/>", "b", CXmlDoc::kAsChild | CXmlDoc::kStartTagOnly, "<a>\r\n<b>\r\n</a>"},
        {"<a/>", "b", 0, "<a/><b/>\r\n"},
        {"<a/>\r\n", "b", 0, "<a/>\r\n<b/>\r\n"},
        {"<r><a/>\r\n<c/></r>", "b", 0, "<r><a/>\r\n<b/>\r\n<c/></r>"},
    };
    for (const auto& c : cases) {
        CXmlDoc doc = parsed(c.text);
        ASSERT_TRUE(doc.FindNextElem()) << c.text;
        if (Peer::MainName(doc) == "r") {
            ASSERT_TRUE(doc.SeekChildElem("a"));
            ASSERT_TRUE(doc.EnterChildElem());
        }
        ASSERT_TRUE(doc.NewElem(c.name, c.flags)) << c.text;
        EXPECT_EQ(doc.GetText(), c.want) << c.text;
        EXPECT_EQ(Peer::Check(doc), "") << c.text;
        if (!(c.flags & CXmlDoc::kStartTagOnly)) expectIndexMatchesText(doc);
    }
    // An element left not ended takes no children.
    CXmlDoc doc;
    ASSERT_TRUE(doc.NewElem("open", CXmlDoc::kStartTagOnly));
    EXPECT_FALSE(doc.NewElem("x", CXmlDoc::kAsChild));
    EXPECT_FALSE(doc.NewElem("", 0));
}

TEST(XmlDoc, EditsInTheMiddleShiftEverythingAfter) {
    std::string text = "<r>\r\n";
    for (int i = 0; i < 20; ++i)
        text += "<s i=\"" + std::to_string(i) + "\">\r\n<t v=\"x\"/>\r\n<t v=\"y\"/>\r\n</s>\r\n";
    text += "</r>\r\n";
    CXmlDoc doc = parsed(text);
    ASSERT_TRUE(doc.FindNextElem("r"));
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(doc.SeekChildElem("s"));
        ASSERT_TRUE(doc.EnterChildElem());
        if (i % 3 == 0) {
            ASSERT_TRUE(doc.WriteAttr("i", std::string(static_cast<size_t>(i) * 7, 'z')));
        }
        if (i % 3 == 1) {
            ASSERT_TRUE(doc.WriteAttr("i", ""));
        }
        ASSERT_TRUE(doc.SeekChildElem("t"));
        ASSERT_TRUE(doc.EnterChildElem());
        if (i % 2 == 0) {
            ASSERT_TRUE(doc.NewElem("deep", CXmlDoc::kAsChild));
        }
        if (i % 5 == 0) {
            ASSERT_TRUE(doc.NewElem("t2", 0));
        }
        ASSERT_TRUE(doc.LeaveElem());
        if (i % 4 == 0) {
            ASSERT_TRUE(doc.NewElem("u", CXmlDoc::kAsChild));
        }
        ASSERT_TRUE(doc.LeaveElem());
        ASSERT_EQ(Peer::Check(doc), "") << i;
    }
    expectIndexMatchesText(doc);
}

TEST(XmlDoc, LoadFileResults) {
    vextest::TempDir dir;
    CXmlDoc doc;
    EXPECT_FALSE(doc.LoadFile((dir / "missing.xml").string()));
    EXPECT_EQ(doc.GetResult(), "No such file or directory");
    EXPECT_FALSE(doc.LoadFile(dir.path().string()));  // a folder cannot be read
    EXPECT_EQ(doc.GetResult(), "Not a regular file");
    EXPECT_EQ(doc.GetText(), "");

    vextest::writeFile(dir / "ok.xml", "<a/>\r\n");
    ASSERT_TRUE(doc.LoadFile((dir / "ok.xml").string()));
    EXPECT_EQ(doc.GetResult(), "6 bytes");
    EXPECT_TRUE(doc.Parse());
    EXPECT_EQ(doc.GetResult(), "6 bytes");

    vextest::writeFile(dir / "bad.xml", "<a><b></a>");
    ASSERT_TRUE(doc.LoadFile((dir / "bad.xml").string()));
    EXPECT_FALSE(doc.FindNextElem());  // not parsed yet: no elements
    EXPECT_FALSE(doc.Parse());
    EXPECT_EQ(doc.GetResult(), "10 bytes, End tag 'a' at offset 6 does not match start tag 'b' at offset 3");

    // A failed load keeps the text it had.
    EXPECT_FALSE(doc.LoadFile((dir / "missing.xml").string()));
    EXPECT_EQ(doc.GetText(), "<a><b></a>");

    // A cut file: the load's byte count, then where the text ends.
    vextest::writeFile(dir / "cut.xml", "<VEXAR_CFG_FILE>\r\n<CFG_SET_REPLAY/>");
    ASSERT_TRUE(doc.LoadFile((dir / "cut.xml").string()));
    EXPECT_FALSE(doc.Parse());
    EXPECT_EQ(doc.GetResult(),
              "35 bytes, Document ends early (truncated) at offset 35 (Element 'VEXAR_CFG_FILE' at offset 0 "
              "not ended)");

    // Offsets are the file's: GBK text and bytes that are no GBK take other lengths in the UTF-8 text.
    struct Case {
        std::string bytes, result;
    } cases[] = {
        {"<A n=\"\xC0\xE4\xC8\xB4\">\r\n<B/>",
         "18 bytes, Document ends early (truncated) at offset 18 (Element 'A' at offset 0 not ended)"},
        {"<A n=\"\xC0\xE4\">\r\n</B></A>", "20 bytes, No start tag for end tag 'B' at offset 12"},
        {"<A>\x80\xFF</B></A>", "13 bytes, No start tag for end tag 'B' at offset 5"},
    };
    for (const Case& c : cases) {
        vextest::writeFile(dir / "gbk.xml", c.bytes);
        ASSERT_TRUE(doc.LoadFile((dir / "gbk.xml").string()));
        EXPECT_FALSE(doc.Parse());
        EXPECT_EQ(doc.GetResult(), c.result);
    }
}

// Inputs whose read may never end, or would take the program's memory, are refused at once with the reason
// and the document keeps its text: a device, a FIFO with no writer, a file beyond the bound (sparse here).
TEST(XmlDoc, LoadFileRefusesEndlessAndHugeInputs) {
    vextest::TempDir dir;
    const std::string fifo = (dir / "fifo.xml").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = (dir / "huge.xml").string();
    vextest::writeFile(huge, "<a/>");
    std::filesystem::resize_file(huge, vex::kMaxInputFileBytes + 1);
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {"/dev/zero", "Not a regular file"},
        {fifo, "Not a regular file"},
        {huge, "File larger than " + std::to_string(vex::kMaxInputFileBytes) + " bytes"},
    };
    for (const auto& c : cases) {
        CXmlDoc doc;
        ASSERT_TRUE(doc.NewElem("kept", 0));
        EXPECT_FALSE(doc.LoadFile(c.path)) << c.path;
        EXPECT_EQ(doc.GetResult(), c.reason) << c.path;
        EXPECT_EQ(doc.GetText(), "<kept/>\r\n") << c.path;
    }
}

TEST(XmlDoc, FileIsGbkOnDiskAndUtf8InMemory) {
    vextest::TempDir dir;
    const std::string path = (dir / "cfg.xml").string();
    CXmlDoc doc;
    ASSERT_TRUE(doc.NewElem("VEXAR_CFG_FILE", 0));
    ASSERT_TRUE(doc.WriteAttr("Name", "\xE4\xB8\xAD\xE6\x96\x87"));  // 中文
    ASSERT_TRUE(doc.SaveWithDeclaration(path));
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<VEXAR_CFG_FILE Name=\"\xD6\xD0\xCE\xC4\"/>\r\n";
    EXPECT_EQ(vextest::readFile(path), expected);  // two bytes per character
    EXPECT_EQ(doc.GetResult(), std::to_string(expected.size()) + " bytes");
    // The text keeps the declaration; a second save does not add another.
    EXPECT_EQ(doc.GetText().rfind("<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<VEXAR", 0), 0u);
    ASSERT_TRUE(doc.SaveWithDeclaration(path));
    EXPECT_EQ(vextest::readFile(path), expected);
    expectIndexMatchesText(doc);
    EXPECT_EQ(doc.ReadAttr("Name"), "\xE4\xB8\xAD\xE6\x96\x87");

    CXmlDoc back;
    ASSERT_TRUE(back.LoadFile(path));
    ASSERT_TRUE(back.Parse());
    ASSERT_TRUE(back.FindNextElem("VEXAR_CFG_FILE"));
    EXPECT_EQ(back.ReadAttr("Name"), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(back.GetText(), doc.GetText());

    // Bytes that are not GBK survive a load and a save unchanged.
    const std::string odd = "<r v=\"\x80\xFF\x81\"/>";
    vextest::writeFile(dir / "odd.xml", odd);
    CXmlDoc oddDoc;
    ASSERT_TRUE(oddDoc.LoadFile((dir / "odd.xml").string()));
    ASSERT_TRUE(oddDoc.SaveWithDeclaration((dir / "odd2.xml").string()));
    EXPECT_EQ(vextest::readFile(dir / "odd2.xml"), "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n" + odd);
}
