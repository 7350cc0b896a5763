#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"

#include <algorithm>
#include <array>

namespace settings::panes::keyboard_shortcuts::catalogue {
namespace {

// clang-format off
constexpr std::array<ShortcutEntry, kShortcutCount> kCatalogue{{
    {"shortcuts.search", "Open search", 0, "Search apps, documents, settings and actions"},
    {"shortcuts.overview", "Workspace overview", 1, "Show the infinite workspace map"},
    {"shortcuts.lock", "Lock the screen", 2, "Always handled before applications"},
    {"shortcuts.quick_settings", "Quick Settings", 3, "Open the shell control surface"},
    {"shortcuts.help", "Desktop help", 4,
     "F1 opens the desktop guide anywhere; Super+Shift+/ (Super+?) is the configurable shortcut for the same guide"},
    {"shortcuts.focus_previous_window", "Focus previous window", 5, "Move the viewport left along the current strip"},
    {"shortcuts.focus_next_window", "Focus next window", 6, "Move the viewport right along the current strip"},
    {"shortcuts.previous_tab", "Previous tab", 7, "Cycle tabs in the focused window group"},
    {"shortcuts.next_tab", "Next tab", 8, "Cycle tabs in the focused window group"},
    {"shortcuts.previous_strip", "Previous strip", 9, "Move the view to the strip above"},
    {"shortcuts.next_strip", "Next strip", 10, "Move the view to the strip below"},
    {"shortcuts.previous_workspace", "Previous workspace", 11, "Move the view to the workspace above"},
    {"shortcuts.next_workspace", "Next workspace", 12, "Move the view to the workspace below"},
    {"shortcuts.toggle_maximize", "Maximize or restore window", 13, "Super+Up toggles the focused window group"},
    {"shortcuts.detach_tab", "Move tab to new group", 14, "Pull the active tab out into its own adjacent window group"},
    {"shortcuts.attach_tab_left", "Move tab into group on left", 15, "Join the active tab to the adjacent window group"},
    {"shortcuts.attach_tab_right", "Move tab into group on right", 16,
     "Join the active tab to the adjacent window group"},
    {"shortcuts.move_group_left", "Move group left", 17, "Reorder the focused window group"},
    {"shortcuts.move_group_right", "Move group right", 18, "Reorder the focused window group"},
    {"shortcuts.resize_narrower", "Make window narrower", 19, "Reduce the focused group's width"},
    {"shortcuts.resize_wider", "Make window wider", 20, "Increase the focused group's width"},
}};
// clang-format on

constexpr bool actions_are_positions()
{
    for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
        if (kCatalogue[i].action != i) {
            return false;
        }
    }
    return true;
}
static_assert(actions_are_positions(), "a chord is stored under its entry's position");

constexpr std::string_view kPrefix = "shortcuts.";

}  // namespace

std::span<const ShortcutEntry, kShortcutCount> shortcut_catalogue()
{
    return kCatalogue;
}

std::span<const ShortcutEntry> system_shortcuts()
{
    return std::span<const ShortcutEntry>(kCatalogue).first(kSystemShortcutCount);
}

std::span<const ShortcutEntry> navigation_shortcuts()
{
    return std::span<const ShortcutEntry>(kCatalogue).subspan(kSystemShortcutCount);
}

std::vector<std::pair<std::string_view, std::string_view>> shortcut_entries()
{
    std::vector<std::pair<std::string_view, std::string_view>> entries;
    entries.reserve(kCatalogue.size());
    for (const ShortcutEntry& entry : kCatalogue) {
        entries.emplace_back(entry.id, entry.label);
    }
    return entries;
}

bool is_shortcut_key(std::string_view key)
{
    return find_shortcut(key) != nullptr;
}

std::string shortcut_action_name(std::string_view id)
{
    if (id.starts_with(kPrefix)) {
        id.remove_prefix(kPrefix.size());
    }
    std::string name(id);
    std::ranges::replace(name, '_', '-');
    return name;
}

const ShortcutEntry* find_shortcut(std::string_view id)
{
    const auto it = std::ranges::find(kCatalogue, id, &ShortcutEntry::id);
    return it == kCatalogue.end() ? nullptr : &*it;
}

const ShortcutEntry* find_shortcut_by_action_name(std::string_view action_name)
{
    const auto it = std::ranges::find_if(
        kCatalogue, [&](const ShortcutEntry& entry) { return shortcut_action_name(entry.id) == action_name; });
    return it == kCatalogue.end() ? nullptr : &*it;
}

const ShortcutEntry* shortcut_at(std::size_t action)
{
    return action < kCatalogue.size() ? &kCatalogue[action] : nullptr;
}

}  // namespace settings::panes::keyboard_shortcuts::catalogue
