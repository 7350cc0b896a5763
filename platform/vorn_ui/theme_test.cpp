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

// Both high-contrast themes, every pair of a foreground and what it is drawn on, computed from the themes' colours:
// every text (labels, secondary and disabled text, links in the accent, status tones, text on the accent and on
// the sidebar's selection and hover fills) at 7:1 or more, control edges and focus rings at 3:1 or more.
TEST(HighContrast, EveryTextReachesSevenToOneAndEveryEdgeThreeToOne)
{
    struct Pair {
        std::string what;
        Color fore;
        Color back;
        double minimum;
    };
    for (const Theme& theme : {Theme::high_contrast_theme(), Theme::high_contrast_light()}) {
        SCOPED_TRACE(theme.is_dark ? "dark" : "light");
        EXPECT_TRUE(theme.high_contrast);
        std::vector<Pair> pairs;
        const std::vector<std::pair<std::string, Color>> surfaces{{"background", theme.background},
                                                                  {"sidebar", theme.sidebar},
                                                                  {"surface", theme.surface},
                                                                  {"surface_raised", theme.surface_raised}};
        std::vector<std::pair<std::string, Color>> texts{{"text", theme.text},
                                                         {"text_secondary", theme.text_secondary},
                                                         {"text_disabled", theme.text_disabled},
                                                         {"accent", theme.accent}};
        for (std::size_t t = 0; t < tone_count; ++t) {
            texts.emplace_back("tone " + std::to_string(t), theme.tones[t]);
        }
        for (const auto& [surface_name, surface] : surfaces) {
            for (const auto& [text_name, text] : texts) {
                pairs.push_back({text_name + " on " + surface_name, text, surface, 7.0});
            }
            for (const auto& [edge_name, edge] : std::vector<std::pair<std::string, Color>>{
                     {"outline", theme.outline}, {"outline_strong", theme.outline_strong}, {"focus", theme.focus}}) {
                pairs.push_back({edge_name + " on " + surface_name, edge, surface, 3.0});
            }
            // The hover and pressed fills of controls lie under their labels.
            for (const auto& [fill_name, fill] :
                 std::vector<std::pair<std::string, Color>>{{"hover", theme.hover}, {"pressed", theme.pressed}}) {
                pairs.push_back({"text on " + fill_name + " over " + surface_name, theme.text, fill.over(surface), 7.0});
            }
        }
        pairs.push_back({"on_accent on accent", theme.on_accent, theme.accent, 7.0});
        // The sidebar's rows draw their titles in the text colour over the selection look of every state.
        namespace shell = chrome::shell;
        for (const bool selected : {false, true}) {
            for (const bool hovered : {false, true}) {
                for (const bool pressed : {false, true}) {
                    const shell::SelectionTier tier =
                        shell::selection_tier(theme, shell::selection_state(selected, hovered, pressed));
                    const Color fill = tier.fill.over(theme.sidebar);
                    const std::string state = "row selected=" + std::to_string(selected) +
                                              " hovered=" + std::to_string(hovered) +
                                              " pressed=" + std::to_string(pressed);
                    pairs.push_back({"title on " + state, theme.text, fill, 7.0});
                    pairs.push_back({"focus ring on " + state, theme.focus, fill, 3.0});
                }
            }
        }
        for (const Pair& pair : pairs) {
            const double ratio = contrast_ratio(pair.fore, pair.back);
            EXPECT_GE(ratio, pair.minimum) << pair.what << ": " << pair.fore.to_hex() << " on " << pair.back.to_hex();
        }
    }
}

TEST(HighContrast, AnyThemeTurnsIntoTheHighContrastThemeOfItsLightness)
{
    for (std::string_view name : Theme::names()) {
        SCOPED_TRACE(name);
        const Theme base = std::move(*Theme::named(name)).with_ui_scale(1.5f).with_text_scale(1.25f).with_reduced_motion(true);
        const Theme contrast = Theme(base).with_high_contrast();
        EXPECT_TRUE(contrast.high_contrast);
        EXPECT_EQ(contrast.is_dark, base.is_dark);
        EXPECT_EQ(contrast.background, base.is_dark ? Color::rgb(0x000000) : Color::rgb(0xFFFFFF));
        EXPECT_EQ(contrast.ui_scale, 1.5f);
        EXPECT_EQ(contrast.text_scale, 1.25f);
        EXPECT_TRUE(contrast.reduced_motion);
    }
    // The contrast helper itself: the extremes and a known mid grey.
    EXPECT_NEAR(contrast_ratio(Color::rgb(0x000000), Color::rgb(0xFFFFFF)), 21.0, 1e-6);
    EXPECT_NEAR(contrast_ratio(Color::rgb(0x777777), Color::rgb(0xFFFFFF)), 4.48, 0.01);
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
