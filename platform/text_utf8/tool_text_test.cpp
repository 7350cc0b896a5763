#include "text_utf8/tool_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace text_utf8 {
namespace {

struct Case {
    const char* name;
    std::string input;
    std::size_t max_bytes;
    Lines lines;
    std::string expected;
};

TEST(ToolText, CleansAndBoundsTextFromTools)
{
    const Case cases[] = {
        {"plain", "Home WiFi", 32, Lines::join, "Home WiFi"},
        {"escape sequence loses its control byte", "a\x1b[31mred", 32, Lines::join, "a[31mred"},
        {"bell, DEL and C1 controls", "a\x07" "b\x7f" "c\xC2\x85" "d", 32, Lines::join, "abcd"},
        {"bidi override and isolate", "evil\xE2\x80\xAEgnp.exe\xE2\x81\xA6x", 64, Lines::join, "evilgnp.exex"},
        {"directional marks", "\xE2\x80\x8F" "a\xE2\x80\x8E" "b\xD8\x9C", 32, Lines::join, "ab"},
        {"invalid byte becomes U+FFFD", "a\xFFz", 32, Lines::join, "a\xEF\xBF\xBDz"},
        {"lines joined for a name", "one\ntwo\tthree\r", 32, Lines::join, "one two three"},
        {"lines kept for a message", "one\ntwo\tthree\r", 32, Lines::keep, "one\ntwo\tthree"},
        {"cut at the byte limit", std::string(5000, 'x'), 32, Lines::join, std::string(32, 'x')},
        {"never cut inside a character", "abc\xE2\x82\xAC", 5, Lines::join, "abc"},
        {"U+FFFD counts three bytes", "ab\xFF", 4, Lines::join, "ab"},
        {"nothing allowed", "abc", 0, Lines::join, ""},
        {"non-Latin names stay", "\xE5\xAE\xB6\xE3\x81\xAE Wi-Fi", 32, Lines::join, "\xE5\xAE\xB6\xE3\x81\xAE Wi-Fi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(clean_tool_text(c.input, c.max_bytes, c.lines), c.expected);
    }
}

}  // namespace
}  // namespace text_utf8
