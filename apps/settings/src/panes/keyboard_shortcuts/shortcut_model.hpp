#pragma once
// What the Keyboard Shortcuts page keeps and decides, apart from its widgets: the chords of the shortcut
// configuration and the vim switch of the desktop controls, kept in step with the page document in both
// directions, and why the last change of a shortcut was refused.
//
// Document keys, for each catalogue entry K ("shortcuts.next_tab"): K, the chord's display text (empty when the
// shortcut is unbound; written by set-setting actions and by the page), K + ".edit" (the recorder's text) and
// K + ".error" (true while the last change of the entry failed). The vim switch: "shortcuts.vim_mode" and
// "shortcuts.vim_mode.edit".
//
// A chord is refused when it is no key combination, lacks Super, Ctrl or Alt, is the desktop guide's F1, or is
// already another shortcut's; the document then shows the chord in force again and the entry keeps a sentence
// ("Super+L is already used by Lock the screen.") until its next successful change. An empty recorder text
// unbinds the shortcut.

#include "config_sections/shortcuts.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/actions/action_host.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::keyboard_shortcuts {

using config_sections::hardware::DesktopControlsConfig;
using config_sections::hardware::KeyChord;
using config_sections::hardware::ShortcutConfig;

inline constexpr std::string_view vim_mode_key = "shortcuts.vim_mode";

// The display text of a configuration's chord, empty when unbound.
[[nodiscard]] std::string chord_text(const ShortcutConfig& config, std::size_t action);

class ShortcutModel {
public:
    ShortcutModel(ShortcutConfig config, DesktopControlsConfig controls);
    // The stored configurations.
    [[nodiscard]] static ShortcutModel load();

    void sync(page_doc::Document& doc);

    [[nodiscard]] const ShortcutConfig& config() const { return config_; }
    [[nodiscard]] bool vim_navigation() const { return controls_.vim_navigation; }
    // Why the last change of the entry at `action` failed; none after a success.
    [[nodiscard]] const std::optional<std::string>& refusal(std::size_t action) const;
    [[nodiscard]] const std::optional<std::string>& vim_status() const { return vim_status_; }
    [[nodiscard]] vorn_ui::ActionHost& host() { return host_; }

private:
    // Parses, sets and saves a chord text for the entry; the refusal sentence on failure.
    std::optional<std::string> apply(std::size_t action, std::string_view text);
    void sync_vim(page_doc::Document& doc);

    ShortcutConfig config_;
    DesktopControlsConfig controls_;
    bool applied_vim_ = false;
    std::array<std::string, ShortcutConfig::action_count> applied_{};
    std::array<std::optional<std::string>, ShortcutConfig::action_count> refusals_{};
    std::optional<std::string> vim_status_;
    vorn_ui::ActionHost host_;
    bool seeded_ = false;
};

}  // namespace settings::panes::keyboard_shortcuts
