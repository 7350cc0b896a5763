#include "setting_tables/store.hpp"

#include "config_sections/config_sections.hpp"
#include "config_sections/shortcuts.hpp"
#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"
#include "prefs/locale.hpp"
#include "prefs/settings_file.hpp"
#include "prefs/window_appearance.hpp"
#include "setting_tables/accessibility.hpp"
#include "setting_tables/appearance.hpp"
#include "setting_tables/region.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <array>

namespace settings::setting_tables {

namespace {

namespace shortcut_catalogue = panes::keyboard_shortcuts::catalogue;
using config_sections::hardware::DesktopControlsConfig;
using config_sections::hardware::KeyChord;
using config_sections::hardware::ShortcutConfig;
using config_sections::hardware::ShortcutRefusal;

constexpr std::string_view text_assistance_section = "text_assistance";

std::string could_not_save(std::string_view what, std::string_view error)
{
    return fmt::format("{} could not be saved: {}", what, error);
}

// The appearance and accessibility sections: changed through `change` (false: the value is refused, with the
// sentence in `refusal`), saved when they differ.
template <class Change>
std::expected<Stored, std::string> store_in_settings_file(std::string_view what, Change&& change)
{
    prefs::SettingsFile file = prefs::load_settings_file();
    accessibility::Values values{file.appearance, file.accessibility};
    if (auto changed = change(values); !changed) {
        return std::unexpected(std::move(changed.error()));
    }
    if (values == accessibility::Values{file.appearance, file.accessibility}) {
        return Stored::Unchanged;
    }
    file.appearance = values.appearance;
    file.accessibility = values.accessibility;
    if (auto saved = prefs::save_settings_file(file); !saved) {
        VORN_WARN("setting_store", "failed to persist {}: {}", what, saved.error());
        return std::unexpected(could_not_save(what, saved.error()));
    }
    prefs::set_window_appearance(file.appearance);  // the window follows, whether or not a page shows the change
    return Stored::Saved;
}

std::expected<Stored, std::string> store_text_assistance(std::string_view key, bool on)
{
    const std::string_view member = key == "text.check_spelling" ? "check_spelling" : "auto_correct";
    const std::string_view what = key == "text.check_spelling" ? "Spell checking" : "Auto-correction";
    const auto section = config_sections::load_section(text_assistance_section);
    if (section && section->is_object()) {
        const auto stored = section->find(std::string(member));
        // A missing or non-boolean member reads as on.
        const bool current = stored == section->end() || !stored->is_boolean() || stored->get<bool>();
        if (current == on) {
            return Stored::Unchanged;
        }
    } else if (on) {
        return Stored::Unchanged;
    }
    auto saved = config_sections::update_section(
        text_assistance_section, [&](config_sections::Json& json) { json[std::string(member)] = on; });
    if (!saved) {
        VORN_WARN("setting_store", "failed to persist text-assistance prefs: {}", saved.error());
        return std::unexpected(could_not_save(what, saved.error()));
    }
    return Stored::Saved;
}

std::expected<Stored, std::string> store_vim_mode(bool on)
{
    DesktopControlsConfig controls = DesktopControlsConfig::load();
    if (controls.vim_navigation == on) {
        return Stored::Unchanged;
    }
    controls.vim_navigation = on;
    if (auto saved = controls.save(); !saved) {
        VORN_WARN("setting_store", "failed to persist desktop controls: {}", saved.error());
        return std::unexpected(could_not_save("Vim navigation", saved.error()));
    }
    return Stored::Saved;
}

// A field of the stored "locale": only that field is written, so a value this version cannot read beside it stays.
std::expected<Stored, std::string> store_region(const region::Setting& row, std::string_view text)
{
    const prefs::Locale stored = prefs::load_locale();
    prefs::Locale next = stored;
    if (row.label(next) != text && !row.take(next, text)) {
        return std::unexpected(region::not_a_choice(row, text));
    }
    if (next == stored) {
        return Stored::Unchanged;
    }
    if (auto saved = prefs::save_locale_changes(stored, next); !saved) {
        VORN_WARN("region_save", "failed to persist region settings: {}", saved.error());
        return std::unexpected(could_not_save("Region settings", saved.error()));
    }
    return Stored::Saved;
}

std::string shortcut_refusal_sentence(const ShortcutRefusal& refusal, const KeyChord& chord)
{
    if (refusal.reason == ShortcutRefusal::Reason::Conflict) {
        const auto* other = shortcut_catalogue::shortcut_at(refusal.conflicting_action);
        return fmt::format("{} is already used by {}.", chord.display(),
                           other != nullptr ? other->label : std::string_view("another shortcut"));
    }
    return refusal.message + ".";
}

}  // namespace

std::expected<void, std::string> set_shortcut(ShortcutConfig& config, std::size_t action, std::string_view text)
{
    std::optional<KeyChord> chord;
    if (!text.empty()) {
        chord = KeyChord::parse(text);
        if (!chord) {
            return std::unexpected(fmt::format("\u201C{}\u201D is not a key combination.", text));
        }
    }
    if (auto set = config.set(action, chord); !set) {
        return std::unexpected(shortcut_refusal_sentence(set.error(), *chord));
    }
    return {};
}

std::expected<Stored, std::string> store_bool(std::string_view key, bool value)
{
    if (key == "text.check_spelling" || key == "text.auto_correct") {
        return store_text_assistance(key, value);
    }
    if (key == "shortcuts.vim_mode") {
        return store_vim_mode(value);
    }
    if (const auto* row = appearance::find(key); row != nullptr && row->kind == appearance::Kind::Switch) {
        return store_in_settings_file("Appearance", [&](accessibility::Values& values) -> std::expected<void, std::string> {
            row->set_flag(values.appearance, value);
            return {};
        });
    }
    if (const auto* row = accessibility::find(key); row != nullptr && row->kind == accessibility::Kind::Switch) {
        return store_in_settings_file("Accessibility settings",
                                      [&](accessibility::Values& values) -> std::expected<void, std::string> {
                                          row->set_flag(values, value);
                                          return {};
                                      });
    }
    return Stored::NotStored;
}

std::expected<Stored, std::string> store_text(std::string_view key, std::string_view text)
{
    if (const auto* row = appearance::find(key); row != nullptr && row->kind == appearance::Kind::Choice) {
        return store_in_settings_file("Appearance", [&](accessibility::Values& values) -> std::expected<void, std::string> {
            if (!row->take(values.appearance, text)) {
                return std::unexpected(appearance::not_a_choice(*row, text));
            }
            return {};
        });
    }
    if (const auto* row = accessibility::find(key); row != nullptr && row->kind == accessibility::Kind::Choice) {
        return store_in_settings_file("Accessibility settings",
                                      [&](accessibility::Values& values) -> std::expected<void, std::string> {
                                          // A label already in force keeps a stored value between two entries.
                                          if (row->label(values) == text) {
                                              return {};
                                          }
                                          if (!row->take(values, text)) {
                                              return std::unexpected(accessibility::not_a_choice(*row, text));
                                          }
                                          return {};
                                      });
    }
    if (const auto* row = region::find(key)) {
        return store_region(*row, text);
    }
    if (const auto* entry = shortcut_catalogue::find_shortcut(key)) {
        ShortcutConfig config = ShortcutConfig::load();
        const ShortcutConfig before = config;
        if (auto set = set_shortcut(config, entry->action, text); !set) {
            return std::unexpected(std::move(set.error()));
        }
        if (config == before) {
            return Stored::Unchanged;
        }
        if (auto saved = config.save(); !saved) {
            VORN_WARN("setting_store", "failed to persist keyboard shortcuts: {}", saved.error());
            return std::unexpected(fmt::format("The shortcut could not be saved: {}", saved.error()));
        }
        return Stored::Saved;
    }
    return Stored::NotStored;
}

}  // namespace settings::setting_tables
