#include "text/text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mekra;

namespace {

std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> out;
    text::Lines lines(text);
    std::string_view line;
    std::uint64_t number = 0;
    while (lines.next(line, number)) {
        EXPECT_EQ(number, out.size() + 1);
        out.emplace_back(line);
    }
    return out;
}

std::vector<std::string> tokens_of(std::string_view s) {
    std::vector<std::string_view> tokens;
    text::split_white_space(s, tokens);
    return {tokens.begin(), tokens.end()};
}

}  // namespace

TEST(Lines, SplitsLikeALineIterator) {
    using V = std::vector<std::string>;
    EXPECT_EQ(lines_of(""), V{});
    EXPECT_EQ(lines_of("\n"), V{""});
    EXPECT_EQ(lines_of("a"), V{"a"});
    EXPECT_EQ(lines_of("a\n"), V{"a"});
    EXPECT_EQ(lines_of("a\n\nb"), (V{"a", "", "b"}));
    EXPECT_EQ(lines_of("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(lines_of("a\rb\rc"), V{"a\rb\rc"});  // a lone carriage return ends no line
    EXPECT_EQ(lines_of("a\r\r\n"), V{"a\r"});
    EXPECT_EQ(lines_of("\r\n"), V{""});
}

TEST(Trim, RemovesUnicodeWhiteSpaceOnly) {
    EXPECT_EQ(text::trim(" \t\v\f\r\n x y \n"), "x y");
    EXPECT_EQ(text::trim("\u00a0\u2003x\u3000\u0085"), "x");
    EXPECT_EQ(text::trim("\u1680\u2028\u2029\u202f\u205fx\u200a"), "x");
    EXPECT_EQ(text::trim("\u200bx"), "\u200bx");  // zero width space is not White_Space
    EXPECT_EQ(text::trim("\u00e9"), "\u00e9");
    EXPECT_EQ(text::trim("   "), "");
    EXPECT_EQ(text::trim(std::string_view("\0x\0", 3)), std::string_view("\0x\0", 3));
}

TEST(SplitWhiteSpace, RunsOfAnyWhiteSpace) {
    using V = std::vector<std::string>;
    EXPECT_EQ(tokens_of("p cnf  3\t\u00a02 "), (V{"p", "cnf", "3", "2"}));
    EXPECT_EQ(tokens_of(""), V{});
    EXPECT_EQ(tokens_of(" \u3000 "), V{});
    EXPECT_EQ(tokens_of("a\u2009b"), (V{"a", "b"}));
}

TEST(WhiteSpace, ArbitraryBytesNeverReadOutOfBounds) {
    // Truncated and stray multi-byte sequences are ordinary characters.
    for (std::string s : {std::string("\xe2\x80"), std::string("\xe2"), std::string("\x80\x80 "),
                          std::string("\xc2"), std::string(" \xe3\x80")}) {
        std::string_view t = text::trim(s);
        EXPECT_LE(t.size(), s.size());
        std::vector<std::string_view> tokens;
        text::split_white_space(s, tokens);
    }
}
