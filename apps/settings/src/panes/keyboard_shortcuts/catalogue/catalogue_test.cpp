#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace settings::panes::keyboard_shortcuts::catalogue {
namespace {

TEST(ShortcutCatalogue, EntriesKeepCatalogueOrder)
{
    const auto entries = shortcut_entries();
    ASSERT_EQ(entries.size(), shortcut_catalogue().size());
    ASSERT_EQ(entries.size(), 21u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].first, shortcut_catalogue()[i].id);
        EXPECT_EQ(entries[i].second, shortcut_catalogue()[i].label);
        EXPECT_EQ(shortcut_at(shortcut_catalogue()[i].action), &shortcut_catalogue()[i]);
    }
    EXPECT_EQ(entries[13], std::make_pair(std::string_view("shortcuts.toggle_maximize"),
                                          std::string_view("Maximize or restore window")));
    EXPECT_EQ(shortcut_at(21), nullptr);
}

TEST(ShortcutCatalogue, SystemAndNavigationGroups)
{
    ASSERT_EQ(system_shortcuts().size(), 5u);
    ASSERT_EQ(navigation_shortcuts().size(), 16u);
    EXPECT_EQ(system_shortcuts().back().id, "shortcuts.help");
    EXPECT_EQ(navigation_shortcuts().front().id, "shortcuts.focus_previous_window");
}

TEST(ShortcutCatalogue, ShortcutKeyTestIsExact)
{
    struct Case {
        std::string_view key;
        bool shortcut;
    };
    const Case cases[] = {
        {"shortcuts.next_tab", true},
        {"shortcuts.search", true},
        {"shortcuts.resize_wider", true},
        {"shortcuts.next_tab.edit", false},
        {"shortcuts.next_tab.error", false},
        {"Shortcuts.next_tab", false},
        {"shortcuts.next", false},
        {"shortcuts.vim_mode", false},
        {"next_tab", false},
        {"shortcuts.next-tab", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_shortcut_key(c.key), c.shortcut) << c.key;
        EXPECT_EQ(find_shortcut(c.key) != nullptr, c.shortcut) << c.key;
    }
    EXPECT_EQ(find_shortcut("shortcuts.lock")->label, "Lock the screen");
}

TEST(ShortcutCatalogue, ActionNames)
{
    struct Case {
        std::string_view id;
        std::string_view name;
    };
    const Case cases[] = {
        {"shortcuts.attach_tab_right", "attach-tab-right"},
        {"shortcuts.quick_settings", "quick-settings"},
        {"shortcuts.focus_previous_window", "focus-previous-window"},
        {"shortcuts.search", "search"},
        {"other_key", "other-key"},              // no prefix: the whole id
        {"xshortcuts.a_b", "xshortcuts.a-b"},    // the prefix only counts at the start
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shortcut_action_name(c.id), c.name) << c.id;
    }

    // Every entry is found again by its action name, and no two entries share one.
    std::set<std::string> names;
    for (const ShortcutEntry& entry : shortcut_catalogue()) {
        const std::string name = shortcut_action_name(entry.id);
        EXPECT_EQ(find_shortcut_by_action_name(name), &entry) << name;
        EXPECT_TRUE(names.insert(name).second) << name;
    }
    EXPECT_EQ(find_shortcut_by_action_name("focus_previous_window"), nullptr);
    EXPECT_EQ(find_shortcut_by_action_name("vim-mode"), nullptr);
}

}  // namespace
}  // namespace settings::panes::keyboard_shortcuts::catalogue
