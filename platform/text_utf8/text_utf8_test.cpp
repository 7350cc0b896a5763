#include "text_utf8/text_utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace text_utf8 {
namespace {

struct Case {
    std::string_view name;
    std::string_view bytes;
    char32_t code_point;  // of a valid first character
    std::size_t length;   // 0: not UTF-8
};

constexpr Case cases[] = {
    {"ascii", "a", U'a', 1},
    {"two bytes", "\xC5\xAB", 0x16B, 2},
    {"three bytes", "\xE2\x82\xAC", 0x20AC, 3},
    {"four bytes", "\xF0\x9F\x98\x80", 0x1F600, 4},
    {"highest scalar", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
    {"lone continuation", "\x80", 0, 0},
    {"overlong two bytes", "\xC0\xAF", 0, 0},
    {"overlong three bytes", "\xE0\x80\xAF", 0, 0},
    {"overlong four bytes", "\xF0\x80\x80\xAF", 0, 0},
    {"surrogate", "\xED\xA0\x80", 0, 0},
    {"above U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
    {"cut short", "\xE2\x82", 0, 0},
    {"bad continuation", "\xE2\x28\xA1", 0, 0},
    {"never a lead byte", "\xFF", 0, 0},
};

TEST(TextUtf8, DecodesOrRefusesOrReplacesAsAsked)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        const Decoded refused = decode(c.bytes, 0, Invalid::refuse);
        const Decoded replaced = decode(c.bytes, 0, Invalid::replace);
        EXPECT_EQ(valid(c.bytes), c.length != 0);
        if (c.length != 0) {
            EXPECT_EQ(refused.code_point, c.code_point);
            EXPECT_EQ(refused.length, c.length);
            EXPECT_EQ(replaced.code_point, c.code_point);
            EXPECT_EQ(replaced.length, c.length);
            std::string encoded;
            append(encoded, c.code_point);
            EXPECT_EQ(encoded, c.bytes);
        } else {
            EXPECT_EQ(refused.length, 0u);
            EXPECT_EQ(replaced.code_point, replacement_char);
            EXPECT_EQ(replaced.length, 1u);  // the next byte is read on its own
        }
    }
}

TEST(TextUtf8, ValidLooksAtEveryCharacter)
{
    EXPECT_TRUE(valid(""));
    EXPECT_TRUE(valid("Ūdens \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_FALSE(valid("ok so far \xC3"));
    EXPECT_FALSE(valid("\xC3\xA9\xED\xBF\xBF"));
}

TEST(TextUtf8, WhiteSpaceIsUnicodeWhiteSpaceNotOnlyAscii)
{
    // No-break space, ideographic space, next line and a line separator count; a zero-width space does not.
    EXPECT_EQ(trim_white_space("\xC2\xA0 \t ada@example.org\xE3\x80\x80\xC2\x85\xE2\x80\xA8"), "ada@example.org");
    EXPECT_EQ(trim_white_space("\xE2\x80\x8B x \xE2\x80\x8B"), "\xE2\x80\x8B x \xE2\x80\x8B");
    EXPECT_EQ(trim_white_space(" \xE2\x80\x83 "), "");
    EXPECT_EQ(trim_white_space(" \xC3 "), "\xC3");  // a stray byte is text
    EXPECT_TRUE(has_white_space("ada\xC2\xA0@example.org"));
    EXPECT_TRUE(has_white_space("ada@example.org\n"));
    EXPECT_FALSE(has_white_space("ada@ex\xE2\x80\x8B" "ample.org"));
}

}  // namespace
}  // namespace text_utf8
