#include "formats/motion/vtext_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "base/vnumber_text.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/test_files.h"

namespace {

std::string TempPath(const char* name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("vtext_");
    return folder + name;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TextFile : public VTextFile {
public:
    explicit TextFile(const char* separators = " \t\r\n", const char* comments = "#",
                      bool caseSensitiveInf = true)
        : VTextFile("TXT", separators, comments, caseSensitiveInf, true) {}
};

std::string gLastMessage;
void Remember(const char* text) {
    gLastMessage = text;
}

TEST(text_file, BlankFileOpensAtEnd) {
    const std::string path = TempPath("blank.txt");
    WriteFile(path, "\n   \n\t\n");
    TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_TRUE(file.IsAtEnd());
    EXPECT_STREQ(file.GetLine(), "");
    int i = 0;
    double d = 0;
    EXPECT_FALSE(file.ReadInt(i));
    EXPECT_FALSE(file.ReadDouble(d));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.Close());
}

TEST(text_file, LongLinesGrowTheBufferTwiceByStepThenByHalf) {
    const std::string path = TempPath("long.txt");
    std::string line(30000, 'a');
    WriteFile(path, line + "\nnext\n");
    TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_EQ(std::string(file.GetLine()), line);
    EXPECT_EQ(file.GetBufferSize(), 10240u + 2 * 10239u);
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_STREQ(file.GetLine(), "next");
    EXPECT_EQ(file.GetBufferSize(), 10240u + 2 * 10239u);
    // The third enlargement is by half.
    WriteFile(path, std::string(35000, 'a') + "\n");
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_EQ(std::strlen(file.GetLine()), 35000u);
    EXPECT_EQ(file.GetBufferSize(), (10240u + 2 * 10239u) * 3 / 2);

    // A 1 MB line without a line end is read whole, the buffer growing by half after two steps.
    std::string huge(1 << 20, 'b');
    WriteFile(path, huge);
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_EQ(std::strlen(file.GetLine()), huge.size());
    EXPECT_LT(file.GetBufferSize(), 3u * (1u << 20));
}

TEST(text_file, CommentsOnlyBeforeTheFirstSignificantCharacter) {
    const std::string path = TempPath("comments.txt");
    WriteFile(path, "# comment\n   # indented\nword # more\r\n\n");
    TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_TRUE(file.SkippedLines());
    EXPECT_EQ(file.GetLineNumber(), 3u);
    VString a, b, c;
    ASSERT_TRUE(file.ReadString(a));
    ASSERT_TRUE(file.ReadString(b));
    ASSERT_TRUE(file.ReadString(c));
    EXPECT_STREQ(a, "word");
    EXPECT_STREQ(b, "#");
    EXPECT_STREQ(c, "more");  // the carriage return is a separator
    EXPECT_FALSE(file.ReadString(c));
    EXPECT_FALSE(file.ReadNextLine());
    EXPECT_TRUE(file.IsAtEnd());
    EXPECT_EQ(file.GetLineNumber(), 4u);
    // A second pass starts again from the first significant line.
    ASSERT_TRUE(file.Rewind());
    EXPECT_FALSE(file.IsAtEnd());
    EXPECT_STREQ(file.GetCursor(), "word # more");  // the line end is not part of the line
}

TEST(text_file, AByteOrderMarkAtTheStartIsSkipped) {
    const std::string path = TempPath("bom.txt");
    // The mark is no part of the first line, which keeps its number, also after a rewind; a
    // comment line after the mark is still a comment.
    WriteFile(path, "\xEF\xBB\xBF# comment\nfirst 1\n\xEF\xBB\xBFsecond\n");
    TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_STREQ(file.GetLine(), "first 1");
        EXPECT_EQ(file.GetLineNumber(), 2u);
        // Only at the start of the file.
        ASSERT_TRUE(file.ReadNextLine());
        EXPECT_STREQ(file.GetLine(), "\xEF\xBB\xBFsecond");
        ASSERT_TRUE(file.Rewind());
    }
    // A file of the mark alone holds nothing; a mark cut short is text.
    WriteFile(path, "\xEF\xBB\xBF");
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_TRUE(file.IsAtEnd());
    EXPECT_EQ(file.GetLineNumber(), 0u);
    WriteFile(path, "\xEF\xBB\n");
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_STREQ(file.GetLine(), "\xEF\xBB");
}

TEST(text_file, KeywordsMatchByPrefixInTableOrder) {
    const std::string path = TempPath("keywords.txt");
    WriteFile(path, "Frame Time: 0.01\nFrames: 20\n");
    TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    VTextFile::Keyword longFirst[] = {{"Frames", 0}, {"Frame", 0}, {"", 0}};
    EXPECT_EQ(file.PeekKeyword(longFirst), 1);
    EXPECT_EQ(longFirst[1].count, 0);
    EXPECT_EQ(file.ReadKeyword(longFirst), 1);
    EXPECT_EQ(longFirst[1].count, 1);
    EXPECT_STREQ(file.GetCursor(), "Time: 0.01");
    ASSERT_TRUE(file.ReadNextLine());
    VTextFile::Keyword shortFirst[] = {{"frame", 0}, {"frames", 0}, {"", 0}};
    EXPECT_EQ(file.ReadKeyword(shortFirst), 0);
    EXPECT_STREQ(file.GetCursor(), "s: 20");
    EXPECT_EQ(file.ReadKeyword(shortFirst), -1);
    shortFirst[1].count = 3;
    VTextFile::ResetKeywordCounts(shortFirst);
    EXPECT_EQ(shortFirst[0].count, 0);
    EXPECT_EQ(shortFirst[1].count, 0);
    const char* frames = "Frames:";
    EXPECT_EQ(VTextFile::MatchPrefix(frames, "FRAME"), frames + 5);
    EXPECT_EQ(VTextFile::MatchPrefix(frames, "Framez"), nullptr);
}

TEST(text_file, NumbersScaleAndInfinityOnlyAsLastToken) {
    const std::string path = TempPath("numbers.txt");
    WriteFile(path, "1.5 2\ninf\ninf 3\n-INF\n+7 -8x 0x10 1e400\nnan\n(1.0, -inf) 3\n");
    TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    double d = 0;
    ASSERT_TRUE(file.ReadDouble(d, 10));
    EXPECT_EQ(d, 15);
    EXPECT_STREQ(file.GetCursor(), "2");
    ASSERT_TRUE(file.ReadNextLine());
    ASSERT_TRUE(file.ReadDouble(d, 10));
    EXPECT_EQ(d, HUGE_VAL);
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_FALSE(file.ReadDouble(d));
    EXPECT_STREQ(file.GetCursor(), "inf 3");
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_FALSE(file.ReadDouble(d));  // exact bytes when infinities are case-sensitive
    ASSERT_TRUE(file.ReadNextLine());
    int i = 0;
    ASSERT_TRUE(file.ReadInt(i));
    EXPECT_EQ(i, 7);
    // A number is a whole token: "-8x" is none, and its "-8" is not taken with "x" left over.
    EXPECT_FALSE(file.ReadInt(i));
    EXPECT_FALSE(file.ReadDouble(d));
    EXPECT_STREQ(file.GetCursor(), "-8x 0x10 1e400");
    char token[8];
    ASSERT_TRUE(file.ReadToken(token, 7));
    ASSERT_TRUE(file.ReadDouble(d));
    EXPECT_EQ(d, 16);
    ASSERT_TRUE(file.ReadDouble(d));
    EXPECT_EQ(d, HUGE_VAL);
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_FALSE(file.ReadDouble(d));
    ASSERT_TRUE(file.ReadNextLine());

    double pair[2] = {0, 0};
    TextFile asf(" \t, ()\r\n", "#");
    ASSERT_TRUE(asf.Open(path.c_str(), "r"));
    while (asf.GetLine()[0] != '(')
        ASSERT_TRUE(asf.ReadNextLine());
    asf.SetCursor(asf.SkipSeparators(asf.GetCursor()));
    ASSERT_TRUE(asf.ReadDoublePair(pair, 2));
    EXPECT_EQ(pair[0], 2);
    EXPECT_EQ(pair[1], -HUGE_VAL);
    EXPECT_STREQ(asf.GetCursor(), "3");
    EXPECT_FALSE(asf.ReadDoublePair(pair));  // the second value is missing: nothing moves
    EXPECT_STREQ(asf.GetCursor(), "3");

    // Without case-sensitive infinities any case reads, still only as the last token.
    WriteFile(path, "-INF\nInF\nInf 3\n");
    TextFile anyCase(" \t\r\n", "#", false);
    ASSERT_TRUE(anyCase.Open(path.c_str(), "r"));
    ASSERT_TRUE(anyCase.ReadDouble(d));
    EXPECT_EQ(d, -HUGE_VAL);
    ASSERT_TRUE(anyCase.ReadNextLine());
    ASSERT_TRUE(anyCase.ReadDouble(d));
    EXPECT_EQ(d, HUGE_VAL);
    ASSERT_TRUE(anyCase.ReadNextLine());
    EXPECT_FALSE(anyCase.ReadDouble(d));
}

TEST(text_file, FrameNumbersAreWholeDecimalTokens) {
    // The token and the number it gives (0: refused, naming the line and the token).
    const struct {
        const char* token;
        int number;
    } cases[] = {{"50", 50},  {"+50", 50}, {"-3", -3}, {"50.0", 50}, {"50.", 50},       {"50.5", 0},
                 {"0x10", 0}, {"1e3", 0},  {"5O", 0},  {".0", 0},    {"2147483648", 0}, {"1.0.0", 0}};
    const std::string path = TempPath("frames.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token);
        WriteFile(path, std::string(c.token) + " 7\n");
        TextFile file;
        ASSERT_TRUE(file.Open(path.c_str(), "r"));
        int number = 0;
        EXPECT_EQ(file.ReadFrameNumber(number), c.number != 0);
        if (c.number != 0) {
            EXPECT_EQ(number, c.number);
            EXPECT_STREQ(file.GetCursor(), "7");
        } else {
            EXPECT_EQ(file.GetFailure(),
                      "line 1: the frame number " + std::string(c.token) + " is not a whole number");
            EXPECT_FALSE(file.ReadInt(number));
        }
    }
}

TEST(text_file, TokensStopAtDelimitersAndLength) {
    const std::string path = TempPath("tokens.txt");
    WriteFile(path, "abcdef\tgh\n1 2 3 4\n");
    TextFile file("\t\r\n", "");
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    char token[4];
    ASSERT_TRUE(file.ReadToken(token, 3));
    EXPECT_STREQ(token, "abc");
    EXPECT_STREQ(file.GetCursor(), "def\tgh");
    ASSERT_TRUE(file.ReadNextLine());
    double v[3];
    ASSERT_TRUE(file.ReadVector3(v, 2));
    EXPECT_EQ(v[0], 2);
    EXPECT_EQ(v[2], 6);
    EXPECT_STREQ(file.GetCursor(), " 4");  // blanks are not separators here
}

TEST(text_file, LineEndsAreNotPartOfTheLine) {
    // Tab-separated fields: a field left empty before a CR LF end stays the last one.
    const std::string path = TempPath("ends.txt");
    WriteFile(path, "a\tb\t\r\n\r\nc\t\r\r\nd\r");
    TextFile file("\t\r\n", "");
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_STREQ(file.GetLine(), "a\tb\t");
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_EQ(file.GetLineNumber(), 3u);  // the blank CR LF line is skipped and counted
    EXPECT_STREQ(file.GetLine(), "c\t");
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_STREQ(file.GetLine(), "d");  // the last line ends with the file
    // A carriage return inside a line is text like any other.
    WriteFile(path, "a\rb\n");
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_STREQ(file.GetLine(), "a\rb");
}

TEST(text_file, LeadingSeparatorsCommentsAndNulBytes) {
    const std::string path = TempPath("leading.txt");
    // Indented lines, a line of separators without a line end inside the buffer, an indented
    // comment, a CR LF line, and a last line without a line end.
    WriteFile(path, std::string(40, ' ') + "\tdeep 1\n \t \r\n\t# note\r\nx\r\r\n   y");
    TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_STREQ(file.GetCursor(), "deep 1");
    EXPECT_EQ(file.GetCursor() - file.GetLine(), 41);
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_TRUE(file.SkippedLines());
    EXPECT_EQ(file.GetLineNumber(), 4u);
    EXPECT_STREQ(file.GetLine(), "x");
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_FALSE(file.SkippedLines());
    EXPECT_STREQ(file.GetCursor(), "y");
    EXPECT_FALSE(file.ReadNextLine());
    EXPECT_EQ(file.GetLineNumber(), 5u);

    // A character that is both a separator and a comment character starts a comment; set
    // characters count in lower case only.
    WriteFile(path, "  ;a\nXa\nxa\n");
    TextFile marked(" ;X\n", ";");
    ASSERT_TRUE(marked.Open(path.c_str(), "r"));
    EXPECT_EQ(marked.GetLineNumber(), 2u);
    EXPECT_STREQ(marked.GetCursor(), "Xa");
    ASSERT_TRUE(marked.ReadNextLine());
    EXPECT_STREQ(marked.GetCursor(), "a");
    // A changed separator set rules the next lines.
    WriteFile(path, "  a\n--b\n");
    ASSERT_TRUE(marked.Open(path.c_str(), "r"));
    marked.SetSeparators("-");
    EXPECT_STREQ(marked.GetCursor(), "a");  // read with the old set
    ASSERT_TRUE(marked.ReadNextLine());
    EXPECT_STREQ(marked.GetCursor(), "b");
    marked.SetSeparators(" \n");

    // A NUL ends the line's text; the bytes after it up to the line end are dropped, and a line
    // of separators before a NUL is blank.
    WriteFile(path, std::string("ab\0cd\n  \0e\nlast\0\n", 17));
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_STREQ(file.GetLine(), "ab");
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_TRUE(file.SkippedLines());
    EXPECT_STREQ(file.GetLine(), "last");
    EXPECT_EQ(file.GetLineNumber(), 3u);
    EXPECT_FALSE(file.ReadNextLine());

    // A NUL early in a line longer than the buffer keeps the buffer's size: the rest of the
    // physical line is read as the next line.
    std::string longLine = "ab" + std::string(1, '\0') + std::string(20000, 'c') + "\nz\n";
    WriteFile(path, longLine);
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_STREQ(file.GetLine(), "ab");
    EXPECT_EQ(file.GetBufferSize(), VTextFile::kInitialBufferSize);
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_EQ(std::string(file.GetLine()), std::string(20000 - (10240 - 1 - 3), 'c'));
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_STREQ(file.GetLine(), "z");
    EXPECT_EQ(file.GetLineNumber(), 3u);
}

TEST(text_file, FailuresKeepTheirLine) {
    const std::string path = TempPath("fail.txt");
    WriteFile(path, "# note\n\nx 1\ny 2\n");
    TextFile file;
    file.SetErrorCallback(&Remember);
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_STREQ(file.GetFailure(), "");
    EXPECT_FALSE(file.Fail("bad %s", "x"));
    EXPECT_STREQ(file.GetFailure(), "line 3: bad x");
    EXPECT_EQ(gLastMessage, "TXT read error (line 3): bad x");  // the line is said once
    ASSERT_TRUE(file.ReadNextLine());
    EXPECT_FALSE(file.Fail("worse"));
    EXPECT_STREQ(file.GetFailure(), "line 4: worse");  // the later failure replaces the first
    // Line numbers count from the start again after a rewind.
    ASSERT_TRUE(file.Rewind());
    EXPECT_EQ(file.GetLineNumber(), 3u);
    file.ClearFailure();
    EXPECT_STREQ(file.GetFailure(), "");
    // Nothing read yet: the text alone.
    WriteFile(path, "");
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_FALSE(file.FailNoText());
    EXPECT_STREQ(file.GetFailure(), "the file is empty");
    WriteFile(path, "# note\n\n");
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_FALSE(file.FailNoText());
    EXPECT_STREQ(file.GetFailure(), "line 2: the file holds nothing but blank and comment lines");
    WriteFile(path, "\n \n");
    TextFile plain(" \t\r\n", "");
    ASSERT_TRUE(plain.Open(path.c_str(), "r"));
    EXPECT_FALSE(plain.FailNoText());
    EXPECT_STREQ(plain.GetFailure(), "line 2: the file holds nothing but blank lines");
    // Opening a file starts without a failure.
    ASSERT_TRUE(plain.Open(path.c_str(), "r"));
    EXPECT_STREQ(plain.GetFailure(), "");
}

TEST(text_file, DiagnosticsCarryNameAndLine) {
    const std::string path = TempPath("diag.txt");
    WriteFile(path, "\nx\n");
    TextFile file;
    file.SetErrorCallback(&Remember);
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    EXPECT_TRUE(file.PrintError("bad %d", 5));
    EXPECT_EQ(gLastMessage, "TXT read error (line 2): bad 5");
    std::string longText(3000, 'z');
    file.PrintError("%s", longText.c_str());
    EXPECT_EQ(gLastMessage.size(), 1023u);
    file.SetDiagnostics(false);
    gLastMessage.clear();
    file.PrintError("quiet");
    EXPECT_TRUE(gLastMessage.empty());
}

TEST(text_file, NumbersNoFileCanHoldFailTheWriteAndSayWhose) {
    const std::string path = TempPath("unwritable.txt");
    // Up to 1e30 either way is written; beyond it, and what is not a finite number, is not.
    for (double good : {1e30, -1e30, 0.0, -0.0, 1e-300})
        EXPECT_TRUE(VTextFile::IsWritableNumber(good)) << good;
    for (double bad : {1.0000001e30, -1.0000001e30, HUGE_VAL, -HUGE_VAL, std::nan("")})
        EXPECT_FALSE(VTextFile::IsWritableNumber(bad)) << bad;
    struct Case {
        int writer;  // 0 WriteG, 1 WriteFixed, 2 WriteGs
        double value;
        const char* subject;
        long long frame;
        const char* says;
    };
    const Case cases[] = {
        {0, std::nan(""), "Hips", 3, "\"Hips\" has a value that is not a number at frame 3"},
        {1, -HUGE_VAL, "Knee", 0, "\"Knee\" has an infinite value (-inf)"},
        {2, 2e30, nullptr, 0, "The scene has a value beyond +-1e30 (2e+30)"},
    };
    for (const Case& c : cases) {
        WriteFile(path, "old");
        TextFile file;
        ASSERT_TRUE(file.Open(path.c_str(), "w"));
        file.WriteG(1.5);
        file.SetNumberSubject(c.subject, c.frame);
        const double run[3] = {1.0, c.value, HUGE_VAL};
        const bool written = c.writer == 0   ? file.WriteG(c.value)
                             : c.writer == 1 ? file.WriteFixed(c.value, 3)
                                             : file.WriteGs(run, 3, ' ');
        EXPECT_FALSE(written) << c.says;
        // The first one is named; later ones change nothing.
        file.SetNumberSubject("Other", 9);
        EXPECT_FALSE(file.WriteG(std::nan("")));
        EXPECT_EQ(std::string(file.GetUnwritableNumber()).find(c.says), 0u) << file.GetUnwritableNumber();
        EXPECT_TRUE(file.WriteFailed());
        EXPECT_FALSE(file.Close());
        EXPECT_EQ(ReadFile(path), "old");
        // A new file starts clean.
        ASSERT_TRUE(file.Open(path.c_str(), "w"));
        EXPECT_STREQ(file.GetUnwritableNumber(), "");
        file.WriteG(1e30);
        EXPECT_TRUE(file.Close());
        EXPECT_EQ(ReadFile(path), "1e+30");
    }
}

// What the writers put for a value: printf's "%g" at the fewest digits, six to nine, that strtod
// reads back within a quarter of a single-precision step (2^-25 of the value).
std::string SingleG(double v) {
    char text[64];
    for (int precision = 6; precision <= 9; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, v);
        if (std::fabs(std::strtod(text, nullptr) - v) < std::ldexp(std::fabs(v), -25)) break;
    }
    return text;
}

TEST(text_file, WritesAreByteIdenticalToPrintfAndAtomic) {
    const std::string path = TempPath("out.txt");
    WriteFile(path, "old");
    TextFile file;
    ASSERT_TRUE(file.Open(path.c_str(), "w"));
    file.WriteIndented(2, "x\n");
    const double values[] = {0.0, -0.0, 1.0 / 3, 123456789.0, 1e-7, 2.5e26, 0.0001, 100000.0, 1e6};
    char expected[4096] = {0};
    std::string want = "    x\n";
    for (double v : values) {
        file.WriteG(v);
        file.WriteChar(' ');
        file.WriteFixed(v, 5);
        file.WriteChar(' ');
        std::snprintf(expected, sizeof expected, " %.5f ", v);
        want += SingleG(v) + expected;
    }
    file.WriteInt(-2147483648LL);
    want += "-2147483648";
    EXPECT_EQ(ReadFile(path), "old");  // nothing reaches the target before Close
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), want);

    // A failed write keeps the old target.
    {
        // A file-size limit makes the writes fail as a full disk would.
        oxa_test::FileSizeLimit limit(4096);
        TextFile full;
        ASSERT_TRUE(full.Open(path.c_str(), "w"));
        std::string block(1 << 17, 'q');
        full.Write(block.data(), block.size());
        EXPECT_FALSE(full.Close());
        limit.Lift();
        EXPECT_EQ(ReadFile(path), want);
    }
    TextFile closed;  // nothing to write to
    EXPECT_FALSE(closed.Write("x", 1));
    ASSERT_TRUE(file.Open(path.c_str(), "w"));
    file.WriteText("new");
    file.Discard();
    EXPECT_EQ(ReadFile(path), want);

    // Runs of numbers with their separators: across buffer flushes, and longer than one buffer.
    std::string runs;
    std::vector<double> many(3000);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = values[i % 9] * (double)(i + 1);
    ASSERT_TRUE(file.Open(path.c_str(), "w"));
    for (int pass = 0; pass < 2000; ++pass) {
        file.WriteGs(values, 9, pass % 2 ? '\t' : ' ');
        for (double v : values)
            runs += SingleG(v) + (pass % 2 ? '\t' : ' ');
    }
    file.WriteGs(values, 0, ' ');
    file.WriteGs(many.data(), (int)many.size(), ',');
    for (double v : many)
        runs += SingleG(v) + ',';
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), runs);
}

TEST(number_text, ParsesLikeScanf) {
    int i = 0;
    const char* t = "  +12x";
    EXPECT_EQ(VParseInt(t, t + 6, i), t + 5);
    EXPECT_EQ(i, 12);
    t = "2147483648";
    EXPECT_EQ(VParseInt(t, t + 10, i), nullptr);
    t = "+-1";
    EXPECT_EQ(VParseInt(t, t + 3, i), nullptr);
    double d = 0;
    t = "-.5e1,";
    EXPECT_EQ(VParseDouble(t, t + 6, d), t + 5);
    EXPECT_EQ(d, -5);
    t = "1e-400";
    EXPECT_EQ(VParseDouble(t, t + 6, d), t + 6);
    EXPECT_EQ(d, 0);
    t = "10.0e-400 ";  // zeros in the numeral: still an underflow
    EXPECT_EQ(VParseDouble(t, t + 10, d), t + 9);
    EXPECT_EQ(d, 0);
    t = "\n\v\f\r\t 7";  // every C space before a number
    EXPECT_EQ(VParseDouble(t, t + 7, d), t + 7);
    EXPECT_EQ(d, 7);
    t = "1e999 ";  // an overflow ends after its exponent's last digit
    EXPECT_EQ(VParseDouble(t, t + 6, d), t + 5);
    EXPECT_EQ(d, std::numeric_limits<double>::infinity());
    t = "-inf,";
    EXPECT_EQ(VParseDouble(t, t + 5, d), t + 4);
    EXPECT_EQ(d, -std::numeric_limits<double>::infinity());
    t = "NaN";
    EXPECT_EQ(VParseDouble(t, t + 3, d, false), nullptr);
    EXPECT_NE(VParseDouble(t, t + 3, d, true), nullptr);
    EXPECT_TRUE(std::isnan(d));
    char out[8];
    EXPECT_EQ(VFormatDoubleG(out, sizeof out, 1234567.0), 11);     // "1.23457e+06"
    EXPECT_STREQ(out, "1.23457");                                  // cut like snprintf
    EXPECT_EQ(VFormatDoubleG(out, sizeof out, 1.0 / 3.0, -1), 8);  // a negative precision is 6
    // Six digits where they give the single-precision value back, else up to nine.
    char single[32];
    EXPECT_EQ(VFormatDoubleGSingle(single, sizeof single, 0.1f), 3);
    EXPECT_STREQ(single, "0.1");
    EXPECT_EQ(VFormatDoubleGSingle(single, sizeof single, 128000.0078125), 9);  // 128 m in mm
    EXPECT_STREQ(single, "128000.01");
    EXPECT_EQ(VFormatDoubleGSingle(single, sizeof single, 123456789.0), 13);
    EXPECT_STREQ(single, "1.2345679e+08");
    EXPECT_EQ(VFormatDoubleGSingle(out, sizeof out, -0.25881905), 11);  // cut like snprintf
    EXPECT_STREQ(out, "-0.2588");
    // A single-precision key in centimetres written in millimetres or inches comes back as the
    // same key once the reader scales the text back (1 km in millimetres: 1000259.765625 is
    // "1000259.77"; "1000259.8" would read back as the same single in millimetres alone).
    int kept = 0, tried = 0;
    for (const double factor : {10.0, 1 / 2.54, 25.4}) {
        for (float key = 0.001f; key < 2e5f; key *= 1.0137f) {
            for (const float k : {key, -key, std::nextafter(key, 1e9f)}) {
                const double written = (double)k * factor;
                const int n = VFormatDoubleGSingle(single, sizeof single, written);
                ASSERT_GT(n, 0);
                ++tried;
                kept += (float)(std::strtod(single, nullptr) / factor) == k;
            }
        }
    }
    EXPECT_EQ(kept, tried);
    EXPECT_EQ(VFormatDoubleGSingle(single, sizeof single, (double)100025.98f * 10), 10);
    EXPECT_STREQ(single, "1000259.77");
    EXPECT_EQ(VFormatDoubleGSingle(single, sizeof single, std::nan("")), 3);
    EXPECT_STREQ(single, "nan");
}

}  // namespace
