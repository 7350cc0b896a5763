// TextRenderer: the pinned font, measuring (wrapped, min- and max-content), the layout cache and caret positions.

#include "vorn_ui/text.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_ui {
namespace {

using flex_layout::AvailableSize;
using flex_layout::AvailableSpace;
using flex_layout::KnownSize;

TEST(TextRenderer, DrawsWithThePinnedInterFamily)
{
    // The install script installs Inter; the pictures of the tests depend on it.
    EXPECT_TRUE(TextRenderer::font_pinned());
    EXPECT_EQ(TextRenderer::font_family(), "Inter");
}

TEST(TextRenderer, MeasuresGrowWithTextSizeAndWeight)
{
    TextRenderer text;
    const Size short_text = text.measure("Wi-Fi", 13.0f);
    const Size long_text = text.measure("Wi-Fi, wired connections, and VPN", 13.0f);
    const Size large = text.measure("Wi-Fi", 26.0f);
    const Size bold = text.measure("Wi-Fi, wired connections, and VPN", 13.0f, TextStyle::Bold);
    EXPECT_GT(short_text.width, 20.0f);
    EXPECT_GT(short_text.height, 13.0f);
    EXPECT_LT(short_text.height, 20.0f);
    EXPECT_GT(long_text.width, 4 * short_text.width);
    EXPECT_EQ(long_text.height, short_text.height);
    EXPECT_NEAR(large.width, 2 * short_text.width, 2.0f);
    EXPECT_GT(bold.width, long_text.width);
    // Measurements are whole pixels (rounded up), so a box of the measured width never wraps its text.
    EXPECT_EQ(long_text.width, std::ceil(long_text.width));
    EXPECT_EQ(text.measure("", 13.0f).width, 0.0f);
}

TEST(TextRenderer, WrapsAtTheGivenWidth)
{
    TextRenderer text;
    const std::string sentence = "Keep the device connected and do not suspend it while installation is active.";
    const TextMetrics one = text.metrics(sentence, {.size = 13.0f});
    const TextMetrics wrapped = text.metrics(sentence, {.size = 13.0f, .wrap_width = 150.0f});
    EXPECT_EQ(one.lines, 1U);
    EXPECT_GE(wrapped.lines, 3U);
    EXPECT_LE(wrapped.width, 150.0f);
    EXPECT_NEAR(wrapped.height, wrapped.lines * one.height, wrapped.lines * 1.0f);
    // A width the text fits in changes nothing.
    EXPECT_EQ(text.measure(sentence, 13.0f, TextStyle::Regular, one.width), text.measure(sentence, 13.0f));
    // Ellipsized or limited to lines, it stays short.
    EXPECT_EQ(text.metrics(sentence, {.size = 13.0f, .wrap_width = 150.0f, .ellipsize = true}).lines, 1U);
    EXPECT_EQ(text.metrics(sentence, {.size = 13.0f, .wrap_width = 150.0f, .max_lines = 2}).lines, 2U);
}

TEST(TextRenderer, AnswersTheLayoutsSpaceQuestions)
{
    TextRenderer text;
    const std::string words = "short incomprehensibilities here";
    const float widest_word = text.measure("incomprehensibilities", 13.0f).width;
    const float natural = text.measure(words, 13.0f).width;
    const TextSpec spec{.size = 13.0f};

    const Size min = text.measure_for_layout(words, spec, {}, {AvailableSpace::min_content(), AvailableSpace::max_content()});
    EXPECT_NEAR(min.width, widest_word, 1.0f);
    EXPECT_GT(min.height, text.measure(words, 13.0f).height * 2.5f);  // three lines

    const Size max = text.measure_for_layout(words, spec, {}, {AvailableSpace::max_content(), AvailableSpace::max_content()});
    EXPECT_EQ(max.width, natural);

    const Size definite = text.measure_for_layout(words, spec, {}, {AvailableSpace::definite(natural - 20.0f), AvailableSpace::max_content()});
    EXPECT_LE(definite.width, natural - 20.0f);
    EXPECT_GT(definite.height, max.height);

    const Size known = text.measure_for_layout(words, spec, KnownSize{120.0f, 50.0f}, {AvailableSpace::definite(500.0f), AvailableSpace::definite(500.0f)});
    EXPECT_EQ(known.width, 120.0f);
    EXPECT_EQ(known.height, 50.0f);

    // Without wrapping, a text answers its natural size whatever the space.
    const Size nowrap = text.measure_for_layout(words, spec, {}, {AvailableSpace::min_content(), AvailableSpace::max_content()}, false);
    EXPECT_EQ(nowrap.width, natural);
}

TEST(TextRenderer, ResolvesStyleSizesWithBothScales)
{
    TextRenderer text;
    EXPECT_EQ(text.renderer_input_style(13.0f).size, 13.0f);
    EXPECT_EQ(text.renderer_input_style(13.0f).line_height, 13.0f * 1.25f);
    text.set_scales(1.5f, 1.25f);
    EXPECT_EQ(text.renderer_input_style(12.0f).size, 12.0f * 1.5f * 1.25f);
    text.set_scales(0.0f, std::nanf(""));  // nonsense scales count as 1
    EXPECT_EQ(text.renderer_input_style(12.0f).size, 12.0f);
}

TEST(TextRenderer, CachesLayoutsWithinItsBound)
{
    TextRenderer text;
    (void)text.measure("Bluetooth", 13.0f);
    const auto first = text.cache_stats();
    for (int i = 0; i < 10; ++i) {
        (void)text.measure("Bluetooth", 13.0f);
    }
    const auto again = text.cache_stats();
    EXPECT_EQ(again.entries, first.entries);
    EXPECT_EQ(again.misses, first.misses);
    EXPECT_GE(again.hits, first.hits + 10);

    text.set_cache_capacity(16);
    for (int i = 0; i < 200; ++i) {
        (void)text.measure("Row " + std::to_string(i), 13.0f);
    }
    EXPECT_LE(text.cache_stats().entries, 16U);
    // An evicted text is shaped again and measures the same.
    EXPECT_EQ(text.measure("Row 0", 13.0f), text.measure("Row 0", 13.0f));

    // Texts that must not linger are never kept.
    text.clear_cache();
    (void)text.metrics("hunter2", {.size = 13.0f, .cacheable = false});
    EXPECT_EQ(text.cache_stats().entries, 0U);
}

TEST(TextRenderer, CaretPositionsFollowTheCharacters)
{
    TextRenderer text;
    const TextSpec spec{.size = 13.0f};
    const std::string word = "Grüße";  // ü and ß take two bytes each
    EXPECT_EQ(text.caret_x(word, spec, 0), 0.0f);
    float previous = 0.0f;
    for (std::size_t index : {1U, 2U, 4U, 6U, 7U}) {
        const float x = text.caret_x(word, spec, index);
        EXPECT_GT(x, previous) << index;
        previous = x;
        EXPECT_EQ(text.index_at_x(word, spec, x + 0.5f), index);
    }
    EXPECT_EQ(text.caret_x(word, spec, 3), text.caret_x(word, spec, 2));  // inside "ü": its start
    EXPECT_EQ(text.caret_x(word, spec, 99), text.caret_x(word, spec, word.size()));
    EXPECT_EQ(text.index_at_x(word, spec, -10.0f), 0U);
    EXPECT_EQ(text.index_at_x(word, spec, 1000.0f), word.size());
}

TEST(TextRenderer, SurvivesMalformedText)
{
    TextRenderer text;
    const std::string broken = std::string("ab\xff\xfe") + "cd";
    const Size size = text.measure(broken, 13.0f);
    EXPECT_GT(size.width, text.measure("abcd", 13.0f).width);  // replacement characters stand in
    EXPECT_GT(text.measure(std::string(5000, 'x'), 13.0f, TextStyle::Regular, 300.0f).height, 100.0f);
}

}  // namespace
}  // namespace vorn_ui
