#include "candb/strsplit.h"

#include <gtest/gtest.h>

#include <string>

TEST(SplitStrAtChar, Table) {
    struct Case {
        const char* text;
        char sep;
        int result;
        const char* head;
        const char* tail;
    } cases[] = {
        {"", ' ', 1, "h", "t"},  // empty: head and tail unchanged
        {"BO_ 100 Msg: 8 X", ' ', 0, "BO_", "100 Msg: 8 X"},
        {"  BO_   100  \r\n", ' ', 0, "BO_", "100"},
        {"Name : 1|2", ':', 0, "Name ", "1|2"},  // head not trimmed further
        {"BS_:", ' ', 2, "", "BS_:"},
        {" \t ", ' ', 2, "", ""},  // white space only is not empty: trimmed to nothing
        {"a;", ';', 0, "a", ""},
        {";", ';', 0, "", ""},
        {"x\ty z", ' ', 0, "x\ty", "z"},  // only the given separator splits
    };
    for (const Case& c : cases) {
        std::string head = "h", tail = "t";
        EXPECT_EQ(SplitStrAtChar(c.text, head, tail, c.sep), c.result) << '"' << c.text << '"';
        EXPECT_EQ(head, c.head) << '"' << c.text << '"';
        EXPECT_EQ(tail, c.tail) << '"' << c.text << '"';
    }
}

TEST(SplitStrAtChar, TailMayBeTheStringSplit) {
    std::string text = "VAL_TABLE_ T 1 \"a\" ;", head;
    ASSERT_EQ(SplitStrAtChar(text, head, text, ' '), 0);
    EXPECT_EQ(head, "VAL_TABLE_");
    ASSERT_EQ(SplitStrAtChar(text, head, text, ' '), 0);
    EXPECT_EQ(head, "T");
    EXPECT_EQ(text, "1 \"a\" ;");
}

TEST(TrimChar, LeadingAndTrailing) {
    std::string s = "\"\"unit\"\"";
    TrimLeftChar(s, '"');
    EXPECT_EQ(s, "unit\"\"");
    TrimRightChar(s, '"');
    EXPECT_EQ(s, "unit");
    std::string all = "\"\"\"";
    TrimRightChar(all, '"');
    EXPECT_EQ(all, "");
    all = "((";
    TrimLeftChar(all, '(');
    EXPECT_EQ(all, "");
}
