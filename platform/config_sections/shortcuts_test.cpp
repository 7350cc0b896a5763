#include "config_sections/shortcuts.hpp"

#include "config_sections/config_sections.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include <stdlib.h>

namespace config_sections::hardware {
namespace {

TEST(KeyChord, ParseAndDisplay)
{
    const std::pair<std::string_view, std::string_view> valid[] = {
        {"Super+Space", "Super+Space"},     {"shift+super+t", "Super+Shift+T"},  {" Ctrl + Alt + F5 ", "Ctrl+Alt+F5"},
        {"Meta+Shift+/", "Super+Shift+/"},  {"super+page_up", "Super+PageUp"},   {"Super++", "Super+Plus"},
        {"Control+return", "Ctrl+Enter"},   {"F24", "F24"},                      {"Super+-", "Super+-"},
        {"volumeup", "VolumeUp"},         {"Ctrl+BackSpace", "Ctrl+Backspace"},
    };
    for (const auto& [text, display] : valid) {
        const auto chord = KeyChord::parse(text);
        ASSERT_TRUE(chord) << text;
        EXPECT_EQ(chord->display(), display);
        EXPECT_EQ(KeyChord::parse(chord->display()), chord) << display;
    }
    for (const std::string_view text : {"", "  ", "Super+", "+", "Super+Super+T", "Hyper+T", "Super+T+U", "F25",
                                        "F0", "Super+Shift", "Super+\u00E9", "Super+Ctrl+Tab Tab"}) {
        EXPECT_FALSE(KeyChord::parse(text)) << text;
    }
}

TEST(ShortcutConfig, DefaultsAreDistinctAndSetRefusesConflictsAndBareKeys)
{
    ShortcutConfig config = ShortcutConfig::defaults();
    for (std::size_t i = 0; i < ShortcutConfig::action_count; ++i) {
        ASSERT_TRUE(config.chord(i)) << i;
        EXPECT_EQ(config.action_using(*config.chord(i), i), std::nullopt) << i;
    }
    const ShortcutConfig before = config;
    using Reason = ShortcutRefusal::Reason;
    const struct {
        std::size_t action;
        std::string_view chord;
        Reason reason;
    } refused[] = {
        {8, "Super+L", Reason::Conflict},     {8, "Shift+T", Reason::NeedsModifier},
        {8, "F1", Reason::Reserved},          {21, "Super+Alt+N", Reason::UnknownAction},
    };
    for (const auto& r : refused) {
        const auto set = config.set(r.action, KeyChord::parse(r.chord));
        ASSERT_FALSE(set) << r.chord;
        EXPECT_EQ(set.error().reason, r.reason) << r.chord;
    }
    EXPECT_EQ(config.set(8, KeyChord::parse("Super+L")).error().conflicting_action, 2u);
    EXPECT_EQ(config, before);

    EXPECT_TRUE(config.set(8, KeyChord::parse("F5")));           // a function key needs no modifier
    EXPECT_TRUE(config.set(9, KeyChord::parse("MediaNext")));    // nor does a media key
    EXPECT_TRUE(config.set(8, KeyChord::parse("Super+]")));      // its own chord again
    EXPECT_TRUE(config.set(2, std::nullopt));                     // unbinding
    EXPECT_TRUE(config.set(8, KeyChord::parse("Super+L")));      // free now
}

class StoredShortcuts : public ::testing::Test {
protected:
    StoredShortcuts()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-shortcuts-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    ~StoredShortcuts() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(dir_);
    }
    void write(std::string_view text) const
    {
        std::filesystem::create_directories(dir_ / "vorn");
        std::ofstream(dir_ / "vorn" / "settings.json") << text;
    }
    std::filesystem::path dir_;
};

TEST_F(StoredShortcuts, LoadSaveAndDesktopControls)
{
    EXPECT_EQ(ShortcutConfig::load(), ShortcutConfig::defaults());
    EXPECT_FALSE(DesktopControlsConfig::load().vim_navigation);

    write(R"({"shortcuts": {"lock": null, "next_tab": "super+alt+n", "overview": "no chord", "help": 3},
             "desktop_controls": {"vim_navigation": "yes"}, "other": 1})");
    const ShortcutConfig loaded = ShortcutConfig::load();
    EXPECT_FALSE(loaded.chord(2));
    EXPECT_EQ(loaded.chord(8)->display(), "Super+Alt+N");
    EXPECT_EQ(loaded.chord(1), ShortcutConfig::defaults().chord(1));
    EXPECT_EQ(loaded.chord(4), ShortcutConfig::defaults().chord(4));
    EXPECT_FALSE(DesktopControlsConfig::load().vim_navigation);

    ASSERT_TRUE(loaded.save());
    EXPECT_EQ(ShortcutConfig::load(), loaded);
    const auto section = load_section("shortcuts");
    ASSERT_TRUE(section);
    EXPECT_EQ(section->size(), ShortcutConfig::action_count);
    EXPECT_TRUE((*section)["lock"].is_null());
    EXPECT_EQ(load_section("other"), Json(1));

    ASSERT_TRUE(DesktopControlsConfig{.vim_navigation = true}.save());
    EXPECT_TRUE(DesktopControlsConfig::load().vim_navigation);
}

}  // namespace
}  // namespace config_sections::hardware
