#include "setting_tables/store.hpp"

#include "config_sections/config_sections.hpp"
#include "config_sections/shortcuts.hpp"
#include "desk_rules/defaults.hpp"
#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"
#include "prefs/locale.hpp"
#include "prefs/save_failure.hpp"
#include "prefs/settings_file.hpp"
#include "prefs/window_appearance.hpp"
#include "setting_tables/accessibility.hpp"
#include "setting_tables/appearance.hpp"
#include "setting_tables/notifications.hpp"
#include "setting_tables/region.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <array>
#include <chrono>
#include <map>
#include <span>

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

// The notifications section: changed through `change` (an error: the value is refused with that sentence), saved
// when it differs.
template <class Change>
std::expected<Stored, std::string> store_notifications(Change&& change)
{
    prefs::SettingsFile file = prefs::load_settings_file();
    prefs::NotificationPrefs prefs = file.notifications;
    if (auto changed = change(prefs); !changed) {
        return std::unexpected(std::move(changed.error()));
    }
    if (prefs == file.notifications) {
        return Stored::Unchanged;
    }
    file.notifications = std::move(prefs);
    if (auto saved = prefs::save_settings_file(file); !saved) {
        VORN_WARN("setting_store", "failed to persist notification prefs: {}", saved.error());
        return std::unexpected(could_not_save("Notification settings", saved.error()));
    }
    return Stored::Saved;
}

// "notifications.app.<id>.<field>": the id and the field, none for another key.
std::optional<std::pair<std::string, std::string>> app_rule_key(std::string_view key)
{
    constexpr std::string_view prefix = "notifications.app.";
    if (!key.starts_with(prefix)) {
        return std::nullopt;
    }
    const std::string_view rest = key.substr(prefix.size());
    const std::size_t dot = rest.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return std::nullopt;
    }
    return std::pair{std::string(rest.substr(0, dot)), std::string(rest.substr(dot + 1))};
}

std::string choices_text(std::span<const std::string_view> labels)
{
    std::string out;
    for (const auto label : labels) {
        out += (out.empty() ? "" : ", ") + std::string(label);
    }
    return out;
}

std::expected<Stored, std::string> store_notification_bool(std::string_view key, bool value)
{
    if (const auto* row = notifications::find_switch(key)) {
        return store_notifications([&](prefs::NotificationPrefs& prefs) -> std::expected<void, std::string> {
            notifications::set_switch(*row, prefs, value);
            return {};
        });
    }
    const auto rule = app_rule_key(key);
    if (!rule) {
        return Stored::NotStored;
    }
    using R = prefs::AppNotificationRule;
    const std::map<std::string_view, std::optional<bool> R::*> overrides{
        {"banners", &R::banners}, {"previews", &R::previews}, {"sounds", &R::sounds}, {"badges", &R::badges}};
    const std::map<std::string_view, bool R::*> flags{{"priority", &R::priority},
                                                      {"priority_contacts", &R::priority_contacts}};
    const auto& [id, field] = *rule;
    if (!overrides.contains(field) && !flags.contains(field)) {
        return Stored::NotStored;
    }
    return store_notifications([&](prefs::NotificationPrefs& prefs) -> std::expected<void, std::string> {
        R& app = prefs.per_app[id];
        if (const auto found = overrides.find(field); found != overrides.end()) {
            app.*(found->second) = value;
        } else {
            app.*(flags.at(field)) = value;
        }
        return {};
    });
}

std::expected<Stored, std::string> store_notification_text(std::string_view key, std::string_view text)
{
    if (key == notifications::focus_start_key || key == notifications::focus_end_key) {
        return store_notifications([&](prefs::NotificationPrefs& prefs) -> std::expected<void, std::string> {
            const auto minute = notifications::focus_preset_minute(text);
            if (!minute) {
                std::vector<std::string_view> labels;
                for (const auto& preset : notifications::focus_presets) {
                    labels.push_back(preset.label);
                }
                return std::unexpected(
                    fmt::format("\u201c{}\u201d is not a focus time: choose {}.", text, choices_text(labels)));
            }
            (key == notifications::focus_start_key ? prefs.focus.start_minute : prefs.focus.end_minute) = *minute;
            return {};
        });
    }
    if (key == notifications::focus_days_key) {
        return store_notifications([&](prefs::NotificationPrefs& prefs) -> std::expected<void, std::string> {
            const auto mask = notifications::weekday_mask(text);
            if (!mask) {
                return std::unexpected(fmt::format(
                    "\u201c{}\u201d is not a choice of focus days: choose Every day, Weekdays, Weekends.", text));
            }
            prefs.focus.weekdays = *mask;
            return {};
        });
    }
    const auto rule = app_rule_key(key);
    if (!rule || rule->second != "mute") {
        return Stored::NotStored;
    }
    return store_notifications([&](prefs::NotificationPrefs& prefs) -> std::expected<void, std::string> {
        const auto seconds = notifications::mute_seconds(text);
        if (!seconds) {
            return std::unexpected(fmt::format(
                "\u201c{}\u201d is not a mute choice: choose Not muted, For 1 hour, For 8 hours, For 24 hours.",
                text));
        }
        const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        prefs.per_app[rule->first].muted_until = notifications::muted_until_for(*seconds, now);
        return {};
    });
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
    if (key.starts_with("notifications.")) {
        return store_notification_bool(key, value);
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

namespace {

// "default_apps.<kind with every \":\" as \".\">" = "<name> — <id>": the application becomes the personal default of
// the installed kind the key names; a key naming no installed kind is left to the document.
std::expected<Stored, std::string> store_default_app(std::string_view key, std::string_view text)
{
    namespace defaults = desk_rules::defaults;
    const auto apps = defaults::installed_apps();
    for (const auto& kind : defaults::kinds(apps)) {
        std::string kind_key = "default_apps." + kind;
        std::ranges::replace(kind_key, ':', '.');
        if (kind_key != key) {
            continue;
        }
        const auto candidates = defaults::candidates(apps, kind);
        const auto app = std::ranges::find_if(candidates, [&](const defaults::AppCandidate& candidate) {
            return fmt::format("{} \u2014 {}", candidate.name, candidate.id) == text;
        });
        const std::string label = defaults::ResourceKind{kind}.display_label();
        if (app == candidates.end()) {
            return std::unexpected(fmt::format("\u201c{}\u201d is not an installed application for {}.", text, label));
        }
        auto personal = defaults::PersonalDefaults::load();
        if (personal.get(kind) == app->id) {
            return Stored::Unchanged;
        }
        if (auto set = personal.set(kind, app->id, apps); !set) {
            return std::unexpected(set.error());
        }
        if (auto saved = personal.save(); !saved) {
            VORN_WARN("default_apps_save", "failed to persist default apps: {}", saved.error());
            const auto path = config_sections::settings_path();
            return std::unexpected(fmt::format(
                "Default apps could not be saved: {}",
                prefs::save_problem_text(path ? prefs::diagnose_save_failure(*path, saved.error())
                                              : prefs::SaveProblem::NoHome)));
        }
        return Stored::Saved;
    }
    return Stored::NotStored;
}

}  // namespace

std::expected<Stored, std::string> store_text(std::string_view key, std::string_view text)
{
    if (key.starts_with("default_apps.")) {
        return store_default_app(key, text);
    }
    if (key.starts_with("notifications.")) {
        return store_notification_text(key, text);
    }
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
