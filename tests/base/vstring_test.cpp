#include "base/vstring.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

TEST(VString, InvalidStateReadsAsEmpty) {
    VString invalid(nullptr);
    EXPECT_FALSE(invalid.IsValid());
    ASSERT_NE(invalid.Buffer(), nullptr);
    EXPECT_STREQ(invalid.Buffer(), "");
    EXPECT_EQ(invalid.GetLen(), 0);
    EXPECT_TRUE(invalid.IsEmpty());
    EXPECT_TRUE(invalid == "");
    EXPECT_EQ(invalid.Compare(nullptr), 0);

    VString copy(invalid);
    EXPECT_FALSE(copy.IsValid());
    VString assigned("x");
    assigned = invalid;
    EXPECT_FALSE(assigned.IsValid());
    assigned = "";
    EXPECT_TRUE(assigned.IsValid());
    EXPECT_TRUE(assigned.IsEmpty());
    assigned = (const char*)nullptr;
    EXPECT_FALSE(assigned.IsValid());
    EXPECT_FALSE(VString("abc", -1).IsValid());

    // Appending makes it valid.
    invalid += "ab";
    EXPECT_TRUE(invalid.IsValid());
    EXPECT_EQ(invalid, "ab");

    VString empty;
    EXPECT_TRUE(empty.IsValid());
    EXPECT_STREQ(empty.Buffer(), "");
}

TEST(VString, MidAndLeftRanges) {
    VString s("abcdef");
    EXPECT_EQ(s.Mid(2, 3), "cde");
    EXPECT_EQ(s.Mid(4, 100), "ef");
    EXPECT_EQ(s.Mid(2), "cdef");
    VString atEnd = s.Mid(6);
    EXPECT_TRUE(atEnd.IsValid());
    EXPECT_TRUE(atEnd.IsEmpty());
    EXPECT_FALSE(s.Mid(7).IsValid());
    EXPECT_FALSE(s.Mid(7, 1).IsValid());
    EXPECT_FALSE(s.Mid(-1, 2).IsValid());
    EXPECT_FALSE(s.Mid(1, -1).IsValid());
    EXPECT_EQ(s.Left(2), "ab");
    EXPECT_EQ(s.Left(99), "abcdef");
    EXPECT_FALSE(s.Left(-1).IsValid());
}

TEST(VString, IndexingPastTheEndIsHarmless) {
    VString s("abc");
    EXPECT_EQ(s[0], 'a');
    EXPECT_EQ(s[3], '\0');
    EXPECT_EQ(s[100], '\0');
    EXPECT_EQ(s[-1], '\0');
    EXPECT_EQ(s[(size_t)2], 'c');
    EXPECT_EQ(s[(size_t)-1], '\0');
    s[3] = 'x';
    s[-5] = 'y';
    s[1000000] = 'z';
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(s.GetLen(), 3);
    EXPECT_EQ(s[3], '\0');
    s[1] = 'B';
    EXPECT_EQ(s, "aBc");
    const VString& cs = s;
    EXPECT_EQ(cs[5], '\0');
}

TEST(VString, StorageAcrossTheInlineLimit) {
    for (int len : {0, 1, VString::kInlineSize - 1, VString::kInlineSize, VString::kInlineSize + 1, 300}) {
        SCOPED_TRACE(len);
        std::string ref(len, 'q');
        for (int i = 0; i < len; ++i)
            ref[i] = (char)('a' + i % 26);
        VString s(ref.c_str());
        EXPECT_EQ(s.GetLen(), len);
        VString copy(s);
        VString moved(std::move(copy));
        EXPECT_EQ(moved, s);
        VString assigned;
        assigned = moved;
        const VString& alias = assigned;
        assigned = alias;  // self-assignment keeps the text
        EXPECT_STREQ(assigned.Buffer(), ref.c_str());
        VString target("something long enough to sit on the heap for sure");
        target = std::move(moved);
        EXPECT_STREQ(target.Buffer(), ref.c_str());

        // Appending a string to itself and assigning from its own buffer.
        VString self(ref.c_str());
        self += self;
        EXPECT_EQ(std::string(self.Buffer()), ref + ref);
        if (len > 1) {
            self = self.Buffer() + 1;
            EXPECT_EQ(std::string(self.Buffer()), (ref + ref).substr(1));
        }
    }
    VString withNul("a\0b", 3);
    EXPECT_EQ(withNul.GetLen(), 3);
    EXPECT_EQ(withNul[2], 'b');
}

TEST(VString, Comparisons) {
    VString s("Hello");
    EXPECT_EQ(s.Compare("Hello"), 0);
    EXPECT_EQ(s.Compare("Hellp"), -1);
    EXPECT_EQ(s.Compare("Hell"), 1);
    EXPECT_EQ(s.Compare(nullptr), 1);
    EXPECT_EQ(s.Compare("\xff"), -1);  // bytes compare unsigned
    EXPECT_EQ(s.CompareNoCase("hELLO"), 0);
    EXPECT_EQ(s.CompareNoCase("hellz"), -1);
    // Upper-cased comparison: '_' (0x5F) sorts after upper-case letters.
    EXPECT_EQ(VString("a_").CompareNoCase("AZ"), 1);
    EXPECT_TRUE(s == "Hello");
    EXPECT_TRUE("Hello" == s);
    EXPECT_TRUE(s != "hello");
    EXPECT_TRUE(s == VString("Hello"));
    EXPECT_TRUE(VString("a") < VString("b"));
    EXPECT_FALSE(VString("ab") < VString("a"));
}

TEST(VString, FindMatchesAReferenceSearch) {
    std::mt19937 rng(7);
    for (int iter = 0; iter < 2000; ++iter) {
        std::string hay, needle;
        int hayLen = (int)(rng() % 40), needleLen = (int)(rng() % 4);
        for (int i = 0; i < hayLen; ++i)
            hay += (char)('a' + rng() % 3);
        for (int i = 0; i < needleLen; ++i)
            needle += (char)('a' + rng() % 3);
        int start = (int)(rng() % 45) - 2;
        VString s(hay.c_str());
        size_t from = start < 0 ? 0 : (size_t)start;
        int expected = from > hay.size() ? -1 : (int)hay.find(needle, from);
        ASSERT_EQ(s.Find(needle.c_str(), start), expected) << hay << " / " << needle << " @" << start;
        if (needleLen == 1) {
            int expectedChar = from >= hay.size() ? -1 : (int)hay.find(needle[0], from);
            ASSERT_EQ(s.Find(needle[0], start), expectedChar);
            ASSERT_EQ(s.ReverseFind(needle[0]), (int)hay.rfind(needle[0]));
        }
    }
    EXPECT_EQ(VString("abc").Find((const char*)nullptr), -1);
}

TEST(VString, FindAndReplace) {
    VString s("one two one");
    EXPECT_TRUE(s.FindAndReplace("one", "three", 1));
    EXPECT_EQ(s, "one two three");
    EXPECT_TRUE(s.FindAndReplace("two ", "", 0));
    EXPECT_EQ(s, "one three");
    EXPECT_TRUE(s.FindAndReplace("one", nullptr, 0));
    EXPECT_EQ(s, " three");
    EXPECT_FALSE(s.FindAndReplace("four", "x", 0));
    EXPECT_FALSE(s.FindAndReplace("", "x", 0));
    EXPECT_FALSE(s.FindAndReplace(nullptr, "x", 0));
    EXPECT_EQ(s, " three");

    // Occurrences starting at 4096 or later are not replaced.
    std::string pad(4095, '.');
    VString at4095((pad + "XY").c_str());
    EXPECT_TRUE(at4095.FindAndReplace("XY", "Z", 0));
    EXPECT_EQ(at4095.GetLen(), 4096);
    VString at4096((pad + ".XY").c_str());
    EXPECT_FALSE(at4096.FindAndReplace("XY", "Z", 0));
    EXPECT_EQ(at4096.GetLen(), 4098);
}

TEST(VString, TokensTrimAndCase) {
    VString s("  alpha, beta,,gamma  ");
    EXPECT_EQ(s.GetTokenCount(" ,"), 3);
    EXPECT_EQ(s.GetToken(0, " ,"), "alpha");
    EXPECT_EQ(s.GetToken(2, " ,"), "gamma");
    EXPECT_EQ(s.GetToken(3, " ,"), "");
    EXPECT_EQ(s.GetToken(-1, " ,"), "");
    EXPECT_EQ(VString("").GetTokenCount(" "), 0);
    EXPECT_EQ(VString(" , ").GetTokenCount(" ,"), 0);
    EXPECT_EQ(VString("abc").GetTokenCount(""), 1);

    VString padded(" \t x y \r\n");
    EXPECT_EQ(padded.Trim(0), " \t x y");
    EXPECT_EQ(padded.Trim(1), "x y \r\n");
    EXPECT_EQ(padded.Trim(2), "x y");
    EXPECT_EQ(VString("   ").Trim(2), "");
    EXPECT_EQ(VString("MiXeD 12").Lower(), "mixed 12");
}

TEST(VString, NumbersAndConcatenation) {
    VString s("n=");
    s += -42;
    EXPECT_EQ(s, "n=-42");
    VString m;
    m += INT_MIN;
    EXPECT_EQ(m, "-2147483648");
    EXPECT_EQ(VString(0), "0");
    EXPECT_EQ(VString(INT_MAX), "2147483647");
    EXPECT_EQ(VString("a") + "b" + VString("c"), "abc");
    EXPECT_EQ("x" + VString("y"), "xy");
    VString app("a");
    app.Append("bcd", 2);
    app.Append(nullptr);
    EXPECT_EQ(app, "abc");
    EXPECT_EQ(VString("abc").HashNoCase(), VString("ABC").HashNoCase());
}
