// Names shown to a user: what may reach a terminal or a line of a message text as it is, and what
// is written as an escape.
#include "base/vprintable_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(VPrintableText, ControlBytesAndBrokenUtf8BecomeEscapes) {
    struct Case {
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {"plain name\twith a tab", "plain name\twith a tab"},
        {"a\nb\rc", "a\\x0ab\\x0dc"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"\x01\x1f\x7f", "\\x01\\x1f\\x7f"},
        // C1 controls (U+0080 to U+009F) drive terminals too; U+00A0 is text.
        {"\xc2\x9b"
         "2J \xc2\xa0",
         "\\xc2\\x9b2J \xc2\xa0"},
        // Overlong forms, surrogates, code points past U+10FFFF, lone and cut sequences.
        {"\xc0\xaf", "\\xc0\\xaf"},
        {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xf0\x80\x80\x80", "\\xf0\\x80\\x80\\x80"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"\xf5\x80", "\\xf5\\x80"},
        {"\xff\xfe", "\\xff\\xfe"},
        {"caf\xc3", "caf\\xc3"},
        {"\xe2\x82", "\\xe2\\x82"},
        // Well-formed text of every length stays, the edges of each range included.
        {"caf\xc3\xa9 \xe0\xa0\x80 \xed\x9f\xbf \xe2\x82\xac \xf0\x90\x80\x80 \xf4\x8f\xbf\xbf "
         "\xf0\x9f\x99\x82",
         "caf\xc3\xa9 \xe0\xa0\x80 \xed\x9f\xbf \xe2\x82\xac \xf0\x90\x80\x80 \xf4\x8f\xbf\xbf "
         "\xf0\x9f\x99\x82"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VPrintableText(c.text), c.shown) << c.text;
    EXPECT_EQ(VPrintableText(nullptr), "");
}

TEST(VPrintableText, MarksThatTurnTheTextBecomeEscapes) {
    // U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069.
    EXPECT_EQ(VPrintableText("a\xd8\x9c"
                             "b"),
              "a\\u061cb");
    EXPECT_EQ(VPrintableText("\xe2\x80\x8e\xe2\x80\x8f"), "\\u200e\\u200f");
    EXPECT_EQ(VPrintableText("\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad\xe2\x80\xae"),
              "\\u202a\\u202b\\u202c\\u202d\\u202e");
    EXPECT_EQ(VPrintableText("\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9"),
              "\\u2066\\u2067\\u2068\\u2069");
    // Line and paragraph separators break the line as a line feed does.
    EXPECT_EQ(VPrintableText("a\xe2\x80\xa8"
                             "b\xe2\x80\xa9"),
              "a\\u2028b\\u2029");
    // Their neighbours are text: U+200D, U+2027, U+202F, U+2065, U+206A, U+061B, Arabic and
    // Hebrew letters.
    for (const char* text : {"\xe2\x80\x8d", "\xe2\x80\xa7", "\xe2\x80\xaf", "\xe2\x81\xa5", "\xe2\x81\xaa",
                             "\xd8\x9b", "\xd8\xa8", "\xd7\x90", "\xe3\x80\xae"})
        EXPECT_EQ(VPrintableText(text), text) << text;
}

TEST(VPrintableText, JsonMayTakeC1Controls) {
    EXPECT_EQ(VUtf8CharLength((const unsigned char*)"\xc2\x85", true), 2);
    EXPECT_EQ(VUtf8CharLength((const unsigned char*)"\xc2\x85", false), 0);
    EXPECT_EQ(VUtf8CharLength((const unsigned char*)"\xc2\xa0", false), 2);
    EXPECT_EQ(VUtf8CharLength((const unsigned char*)"a", true), 0);
}

TEST(VNameText, ControlsAndMarksBecomeUnderscoresOtherBytesStay) {
    struct Case {
        const char* text;
        const char* name;
    };
    const Case cases[] = {
        {"plain name", "plain name"},
        {"a\tb\nc\x7f", "a_b_c_"},
        {"a\xc2\x80"
         "b\xc2\x9f"
         "c\xc2\xa0",
         "a_b_c\xc2\xa0"},  // C1 controls; NBSP stays
        {"x\xe2\x80\xae"
         "y\xd8\x9c"
         "z\xe2\x81\xa6",
         "x_y_z_"},  // direction marks
        {"p\xe2\x80\xa8"
         "q\xe2\x80\xa9"
         "r\xe2\x80\xa7",
         "p_q_r\xe2\x80\xa7"},                     // separators
        {"\x93\xfa\x96\x7b", "\x93\xfa\x96\x7b"},  // Shift-JIS bytes stay
        {"\xe6\x97\xa5\xf0\x9f\x98\x80", "\xe6\x97\xa5\xf0\x9f\x98\x80"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VNameText(c.text), c.name) << VPrintableText(c.text);
    EXPECT_EQ(VNameText(nullptr), "");
}

TEST(VCutText, NamesAreCutBetweenCharacters) {
    struct Case {
        const char* text;
        size_t limit;
        const char* cut;
    } cases[] = {
        {"abcdef", 4, "abcd"},
        {"\xc3\xa4\xc3\xb6\xc3\xbc", 5, "\xc3\xa4\xc3\xb6"},  // UTF-8
        // Shift-JIS: pairs, one that reads as a UTF-8 C1 control (\xc2\x82), half-width kana.
        {"\x83|\x83\x8a\x83S\x83\x93\x83\x81\x83"
         "b",
         9, "\x83|\x83\x8a\x83S\x83\x93"},
        {"\x95\xc2\x82\xb6\x82\xbd", 3, "\x95\xc2"},
        {"\xb1\x83|\xb2", 2, "\xb1"},
        // Another double-byte page: pairs from 0x81 up.
        {"\xfd\xa1\xfe\xa1", 3, "\xfd\xa1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VCutText(c.text, c.limit), c.cut) << c.text;
}
