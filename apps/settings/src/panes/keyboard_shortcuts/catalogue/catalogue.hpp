#pragma once
// The desktop's 21 configurable keyboard shortcuts. This table alone defines the list: the Keyboard Shortcuts page
// shows one recorder row per entry, the Keyboard Shortcuts section of the resource contract publishes one
// set-setting action per entry, and the set-setting action accepts exactly these ids as shortcut keys.
//
//   find_shortcut("shortcuts.next_tab")->label           -> "Next tab"
//   shortcut_action_name("shortcuts.quick_settings")     -> "quick-settings"   (the contract's action id)
//   is_shortcut_key("shortcuts.next_tab.edit")           -> false

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace settings::panes::keyboard_shortcuts::catalogue {

struct ShortcutEntry {
    // Setting key and page-document key of the chord's display text: "shortcuts." and a snake_case name.
    std::string_view id;
    // Title shown on the page and in the action title ("Set " + label + " shortcut").
    std::string_view label;
    // Index of the chord in the settings store's shortcut configuration; equal to the entry's position.
    std::uint8_t action;
    std::string_view description;
};

inline constexpr std::size_t kShortcutCount = 21;
// Entries [0, 5) are the system shortcuts, the rest desktop navigation (the page shows them in two groups).
inline constexpr std::size_t kSystemShortcutCount = 5;

// All entries in catalogue order (the order of the page's rows and of the section's actions).
[[nodiscard]] std::span<const ShortcutEntry, kShortcutCount> shortcut_catalogue();
[[nodiscard]] std::span<const ShortcutEntry> system_shortcuts();
[[nodiscard]] std::span<const ShortcutEntry> navigation_shortcuts();

// (id, label) of every entry in catalogue order: the form the resource contract and the set-setting action use.
[[nodiscard]] std::vector<std::pair<std::string_view, std::string_view>> shortcut_entries();

// Whether `key` is, byte for byte, the id of an entry. No prefix, case folding or ".edit"/".error" suffix matches,
// and "shortcuts.vim_mode" (a separate on/off setting) is not a shortcut key.
[[nodiscard]] bool is_shortcut_key(std::string_view key);

// The contract's action id for an entry id: "shortcuts." removed (when present) and every "_" made "-".
[[nodiscard]] std::string shortcut_action_name(std::string_view id);

// Lookups; none when nothing matches.
[[nodiscard]] const ShortcutEntry* find_shortcut(std::string_view id);
[[nodiscard]] const ShortcutEntry* find_shortcut_by_action_name(std::string_view action_name);
[[nodiscard]] const ShortcutEntry* shortcut_at(std::size_t action);

}  // namespace settings::panes::keyboard_shortcuts::catalogue
