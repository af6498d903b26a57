#include "base/vtext_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A stream holding exactly `bytes`.
FILE* StreamOf(const std::string& bytes) {
    FILE* f = std::tmpfile();
    if (!f) return nullptr;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

std::vector<std::string> ReadAll(FILE* f, int size) {
    std::vector<std::string> lines;
    std::vector<char> buffer(size > 0 ? size : 1);
    int length = 0;
    while (ReadTextLine(buffer.data(), size, f, &length))
        lines.emplace_back(buffer.data(), length);
    return lines;
}

}  // namespace

TEST(ReadTextLine, LineEndsOfEveryKind) {
    FILE* f = StreamOf("unix\nmac\rdos\r\n\nlast");
    ASSERT_NE(f, nullptr);
    std::vector<std::string> lines = ReadAll(f, 64);
    std::vector<std::string> expected = {"unix\n", "mac\r", "dos\r\n", "\n", "last"};
    EXPECT_EQ(lines, expected);
    std::fclose(f);

    f = StreamOf("");
    char buffer[8] = "junk";
    EXPECT_EQ(ReadTextLine(buffer, sizeof(buffer), f), nullptr);
    std::fclose(f);
}

TEST(ReadTextLine, ShortBuffersSplitLinesAndPushBackTheLineFeed) {
    // "ab\r\n" with room for 3 bytes: the '\n' after '\r' does not fit and is read next.
    FILE* f = StreamOf("ab\r\ncd");
    std::vector<std::string> lines = ReadAll(f, 4);
    std::vector<std::string> expected = {"ab\r", "\n", "cd"};
    EXPECT_EQ(lines, expected);
    std::fclose(f);

    f = StreamOf("abcdefgh\nij");
    lines = ReadAll(f, 4);
    expected = {"abc", "def", "gh\n", "ij"};
    EXPECT_EQ(lines, expected);
    std::fclose(f);

    // No room for progress: null rather than an endless stream of empty lines.
    f = StreamOf("abc");
    char one[1] = {'x'};
    EXPECT_EQ(ReadTextLine(one, 1, f), nullptr);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(ReadTextLine(one, 0, f), nullptr);
    EXPECT_EQ(ReadTextLine(nullptr, 10, f), nullptr);
    char buffer[8];
    EXPECT_EQ(ReadTextLine(buffer, sizeof(buffer), nullptr), nullptr);
    std::fclose(f);
}

TEST(ReadTextLine, EmbeddedNulStaysInsideItsLine) {
    FILE* f = StreamOf(std::string("a\0b\nnext\n", 9));
    char buffer[32];
    int length = 0;
    ASSERT_NE(ReadTextLine(buffer, sizeof(buffer), f, &length), nullptr);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(std::string(buffer, length), std::string("a\0b\n", 4));
    ASSERT_NE(ReadTextLine(buffer, sizeof(buffer), f, &length), nullptr);
    EXPECT_STREQ(buffer, "next\n");
    std::fclose(f);
}
