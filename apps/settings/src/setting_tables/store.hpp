#pragma once
// Storing a set-setting value the way the page that shows it would take it, before the action is answered, so that
// a change from automation lands in the settings file whether the page is open or not.
//
//   store_text("a11y.cursor_size", "Large")   -> Saved (the file's accessibility.cursor_size is 36)
//   store_text("a11y.cursor_size", "Huge")    -> the sentence "Cursor size cannot be “Huge”: choose Default, ..."
//   store_bool("a11y.sticky_keys", true)      -> Unchanged when the file holds it already (nothing is written)
//   store_text("default_apps.mime.text/html", "Browser — so.vorn.browser") -> Saved (the personal default of
//   "mime:text/html" in the file's "default_apps"); a key naming no installed kind -> NotStored: the document keeps it
//
// Keys stored here: the Appearance keys ("appearance.*"), the Accessibility table ("a11y.*", whose high contrast,
// reduced motion and text size are the appearance fields), spell checking and auto-correction ("text.*", section
// "text_assistance"), the shortcuts of the shortcut catalogue ("shortcuts.<name>", section "shortcuts") and the vim
// switch ("shortcuts.vim_mode", section "desktop_controls"), the Region & Formats fields ("region.*", the one field
// written into the stored "locale") and the Notifications keys ("notifications.*": the global switches, the focus
// choices and the per-application rules and mutes, section "notifications") and the default applications
// ("default_apps.*", section "default-apps", desk_rules/defaults.hpp). A shortcut is refused as the page
// refuses it: no key combination, a chord without Super, Ctrl or Alt, the desktop's F1, or a chord another shortcut
// uses.
//
// Files are read and written under the settings file's lock (prefs::save_settings_file, config_sections); a failed
// write is the sentence why, and nothing was changed.

#include "config_sections/shortcuts.hpp"

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace settings::setting_tables {

enum class Stored : std::uint8_t {
    NotStored,  // no setting of these pages: the page document alone keeps the value
    Unchanged,  // the file held the value already
    Saved,
};

[[nodiscard]] std::expected<Stored, std::string> store_bool(std::string_view key, bool value);
[[nodiscard]] std::expected<Stored, std::string> store_text(std::string_view key, std::string_view text);

// Sets the chord of the shortcut at `action` from its display text the way the page does (empty unbinds); the
// refusal sentence otherwise ("Super+L is already used by Lock the screen.", "“x” is not a key combination.").
std::expected<void, std::string> set_shortcut(config_sections::hardware::ShortcutConfig& config, std::size_t action,
                                              std::string_view text);

}  // namespace settings::setting_tables
