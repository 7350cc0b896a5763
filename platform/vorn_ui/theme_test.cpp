// Themes, the selection tiers and the custom theme file.

#include "vorn_ui/paint.hpp"
#include "vorn_ui/theme.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace vorn_ui {
namespace {

double luminance(const Color& c)
{
    const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

double contrast(const Color& a, const Color& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::vector<Theme> every_theme()
{
    std::vector<Theme> themes;
    for (std::string_view name : Theme::names()) {
        themes.push_back(*Theme::named(name));
    }
    themes.push_back(Theme::high_contrast_theme());
    return themes;
}

TEST(Theme, EveryNamedThemeKeepsItsNameAndReadableText)
{
    std::set<std::string> seen;
    for (const Theme& theme : every_theme()) {
        SCOPED_TRACE(theme.name);
        EXPECT_TRUE(seen.insert(theme.name).second);
        // Body text and captions stay readable on every surface they are drawn on (WCAG AA).
        for (const Color* surface : {&theme.background, &theme.sidebar, &theme.surface}) {
            EXPECT_GE(contrast(theme.text, *surface), 7.0);
            EXPECT_GE(contrast(theme.text_secondary, *surface), 4.5);
        }
        EXPECT_GE(contrast(theme.on_accent, theme.accent), 3.0);
        // The dark flag says which way the palette goes.
        EXPECT_EQ(theme.is_dark, luminance(theme.background) < luminance(theme.text));
    }
    EXPECT_EQ(seen.size(), 13U);
}

TEST(Theme, NamesAreExactAndDarkIsTheDefault)
{
    EXPECT_EQ(Theme{}, Theme::dark());
    EXPECT_EQ(Theme::named("Dark"), Theme::dark());
    EXPECT_EQ(Theme::named("Light")->name, "Light");
    EXPECT_FALSE(Theme::named("Light")->is_dark);
    EXPECT_EQ(Theme::named("Nord")->name, "Nord");
    EXPECT_TRUE(Theme::named("High Contrast")->high_contrast);
    for (const char* unknown : {"dark", "light", "Dark ", "", "Solarized Dark"}) {
        EXPECT_FALSE(Theme::named(unknown)) << unknown;
    }
    const Theme scaled = Theme::light().with_ui_scale(1.5f).with_text_scale(1.25f).with_reduced_motion(true);
    EXPECT_EQ(scaled.ui_scale, 1.5f);
    EXPECT_EQ(scaled.text_scale, 1.25f);
    EXPECT_TRUE(scaled.reduced_motion);
    EXPECT_EQ(scaled.scaled(264.0f), 396.0f);
}

TEST(Theme, ColorsParseAndPrint)
{
    EXPECT_EQ(Color::parse("#ff8000"), Color::rgb(0xFF8000));
    EXPECT_EQ(Color::parse("FF8000"), Color::rgb(0xFF8000));
    EXPECT_EQ(Color::parse("#ff800080")->a, 128.0f / 255.0f);
    for (const char* bad : {"", "#", "#ff80", "#ff80000", "#gg8000", "red"}) {
        EXPECT_FALSE(Color::parse(bad)) << bad;
    }
    EXPECT_EQ(Color::rgb(0x5B8DEF).to_hex(), "#5b8def");
    EXPECT_EQ(Color::rgb(0x5B8DEF).with_alpha(0.5f).to_hex(), "#5b8def80");
}

class ConfiguredTheme : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("vorn-theme-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_ / "vorn");
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(dir_);
    }
    void write(const std::string& text) const { std::ofstream(dir_ / "vorn" / "theme.json") << text; }

    std::filesystem::path dir_;
};

TEST_F(ConfiguredTheme, ReadsBaseNameAndColours)
{
    write(R"({"name": "Sunset", "base": "Light", "colors": {"accent": "#ff6600", "background": "#fff8f0",
              "nonsense": "#000000", "text": 12}})");
    const Theme theme = Theme::configured();
    EXPECT_EQ(theme.name, "Sunset");
    EXPECT_FALSE(theme.is_dark);
    EXPECT_EQ(theme.accent, Color::rgb(0xFF6600));
    EXPECT_EQ(theme.background, Color::rgb(0xFFF8F0));
    EXPECT_EQ(theme.text, Theme::light().text);  // a malformed colour is skipped
}

TEST_F(ConfiguredTheme, FallsBackToDarkOnAnythingElse)
{
    EXPECT_EQ(Theme::configured(), Theme::dark());  // no file
    for (const char* text : {"", "not json", "[1, 2]", "\"Light\""}) {
        write(text);
        EXPECT_EQ(Theme::configured(), Theme::dark()) << text;
    }
    write(R"({"base": "Nope"})");
    const Theme theme = Theme::configured();
    EXPECT_EQ(theme.name, "Custom");
    EXPECT_EQ(theme.background, Theme::dark().background);
}

TEST(SelectionTier, EachStateHasItsOwnLook)
{
    using namespace chrome::shell;
    const Theme theme = Theme::dark();
    const SelectionTier idle = selection_tier(theme, 0);
    EXPECT_EQ(idle.fill.a, 0.0f);
    EXPECT_FALSE(idle.outline);
    EXPECT_EQ(idle.scale, 1.0);

    const SelectionTier hovered = selection_tier(theme, selection_state(false, true, false));
    EXPECT_GT(hovered.fill.a, 0.0f);
    EXPECT_FALSE(hovered.outline);

    const SelectionTier selected = selection_tier(theme, selection_state(true, false, false));
    EXPECT_GT(selected.fill.a, hovered.fill.a);
    ASSERT_TRUE(selected.outline);
    EXPECT_TRUE(selected.inner_highlight);

    const SelectionTier pressed = selection_tier(theme, selection_state(false, true, true));
    EXPECT_LT(pressed.scale, 1.0);
    EXPECT_EQ(selection_tier(Theme::dark().with_reduced_motion(true), state_pressed).scale, 1.0);

    // High contrast: the selected item is outlined in the accent itself.
    EXPECT_EQ(selection_tier(Theme::high_contrast_theme(), state_selected).outline,
              Theme::high_contrast_theme().accent);
    EXPECT_EQ(selection_state(true, true, true), 1U | 256U | 65536U);
}

}  // namespace
}  // namespace vorn_ui
