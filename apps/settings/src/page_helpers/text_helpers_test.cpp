#include "page_helpers/text_helpers.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace settings::page_helpers {
namespace {

using namespace std::string_view_literals;

TEST(CleanCommandOutput, KeepsPrintableTextTabsAndLineFeeds)
{
    const struct {
        std::string_view input;
        std::size_t limit;
        std::string_view cleaned;
    } cases[] = {
        {"ok\tdone\n", 100, "ok\tdone\n"},
        {"line one\r\nline two\r\n", 100, "line one\nline two\n"},
        {"\x1b[31mred\x1b[0m", 100, "[31mred[0m"},
        {"bell\x07 del\x7f nul\0x"sv, 100, "bell del nulx"},
        {"c1 \xc2\x85 \xc2\x9f \xc2\xa0nbsp", 100, "c1   \xc2\xa0nbsp"},
        {"Grüße 😀", 100, "Grüße 😀"},
        // The limit counts input characters, dropped ones included.
        {"\r\r\rabcdef", 5, "ab"},
        {"Grüße", 3, "Grü"},
        {"abc", 0, ""},
        {"bad \xff byte", 100, "bad \xEF\xBF\xBD byte"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clean_command_output(c.input, c.limit), c.cleaned) << c.input;
    }
}

TEST(KeyCharacters, InvalidCharacterIsFound)
{
    for (std::string_view key : {"", "notifications.app.org.example.Mail.banners", "A-Z_0-9.x"}) {
        EXPECT_FALSE(has_invalid_key_char(key)) << key;
    }
    for (std::string_view key : {"a/b", "a b", "a:b", "é", "a\nb", "..;"}) {
        EXPECT_TRUE(has_invalid_key_char(key)) << key;
    }
}

TEST(NearestOption, StrictlyNearerWinsAndTiesKeepTheFirst)
{
    const std::vector<std::pair<const char*, std::uint32_t>> options = {
        {"1 minute", 60}, {"5 minutes", 300}, {"10 minutes", 600}, {"Never", 0}};
    const auto value = [](const auto& option) { return option.second; };
    const auto span = std::span<const std::pair<const char*, std::uint32_t>>(options);

    EXPECT_STREQ(nearest_option(span, 320, value).option->first, "5 minutes");
    EXPECT_EQ(nearest_option(span, 320, value).distance, 20u);
    EXPECT_STREQ(nearest_option(span, 450, value).option->first, "5 minutes") << "tie: the earlier option";
    EXPECT_STREQ(nearest_option(span, 30, value).option->first, "1 minute") << "tie between 60 and 0";
    EXPECT_STREQ(nearest_option(span, 4000000000u, value).option->first, "10 minutes");

    // A caller-supplied starting choice stays unless an option is strictly nearer.
    const std::pair<const char*, std::uint32_t> current{"current", 290};
    const auto kept = nearest_option(span, 300, value, {&current, 0});
    EXPECT_EQ(kept.option, &current);
    EXPECT_EQ(nearest_option(std::span<const std::pair<const char*, std::uint32_t>>(), 5, value).option, nullptr);
}

}  // namespace
}  // namespace settings::page_helpers
