#include "panes/notifications/notifications_model.hpp"

#include "actions/catalogue/platform.hpp"
#include "actions/set_setting.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "prefs/settings_file.hpp"
#include "setting_tables/notifications.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <chrono>

namespace settings::panes::notifications {

namespace pp = preference_pane;
namespace table = setting_tables::notifications;

namespace {

constexpr std::array<std::string_view, 4> overridable_fields{"banners", "previews", "sounds", "badges"};

std::optional<bool> prefs::AppNotificationRule::*rule_field(std::string_view field)
{
    using R = prefs::AppNotificationRule;
    if (field == "banners") {
        return &R::banners;
    }
    if (field == "previews") {
        return &R::previews;
    }
    if (field == "sounds") {
        return &R::sounds;
    }
    return &R::badges;
}

bool global_for(const prefs::NotificationPrefs& prefs, std::string_view field)
{
    if (field == "banners") {
        return prefs.show_banners;
    }
    if (field == "previews") {
        return prefs.show_previews;
    }
    if (field == "sounds") {
        return prefs.play_sounds;
    }
    return prefs.show_badges;
}

bool is_weekday_label(std::string_view text) { return table::weekday_mask(text).has_value(); }
bool is_preset_label(std::string_view text) { return table::focus_preset_minute(text).has_value(); }

}  // namespace

std::int64_t system_now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string notifications_save_failed_text(std::string_view error)
{
    return fmt::format("Notification settings could not be saved: {}", error);
}

NotificationsModel::NotificationsModel(prefs::NotificationPrefs prefs, std::vector<app_catalog::NamedApp> apps,
                                       Clock clock)
    : prefs_(std::move(prefs)), clock_(std::move(clock))
{
    // Only ids a rule can be kept under get rows and keys.
    for (auto& app : apps) {
        if (app_catalog::is_valid_app_id(app.id)) {
            apps_.push_back(std::move(app));
        }
    }
    const std::int64_t now = clock_();
    for (const auto& app : apps_) {
        const auto rule = prefs_.per_app.find(app.id);
        applied_mute_[app.id] =
            table::mute_label(rule == prefs_.per_app.end() ? std::nullopt : rule->second.muted_until, now);
    }
}

NotificationsModel NotificationsModel::load(Clock clock)
{
    std::vector<app_catalog::NamedApp> apps;
    for (auto& app : actions::catalogue::current_platform()->notification_apps()) {
        apps.push_back({std::move(app.id), std::move(app.name)});
    }
    return NotificationsModel(prefs::load_settings_file().notifications, std::move(apps), std::move(clock));
}

bool NotificationsModel::effective(const std::string& app_id, std::string_view field) const
{
    const auto rule = prefs_.per_app.find(app_id);
    if (rule != prefs_.per_app.end()) {
        if (const auto& own = rule->second.*rule_field(field)) {
            return *own;
        }
    }
    return global_for(prefs_, field);
}

void NotificationsModel::seed(page_doc::Document& doc)
{
    for (const auto& row : table::switches()) {
        const bool on = table::switch_value(row, prefs_);
        pp::put_bool_if_changed(doc, row.key, on);
        pp::put_bool_if_changed(doc, pp::edit_key(row.key), on);
    }
    const std::array<std::pair<std::string_view, std::string_view>, 3> texts{{
        {table::focus_start_key, table::focus_preset_label(prefs_.focus.start_minute)},
        {table::focus_end_key, table::focus_preset_label(prefs_.focus.end_minute)},
        {table::focus_days_key, table::weekday_mask_label(prefs_.focus.weekdays)},
    }};
    for (const auto& [key, label] : texts) {
        pp::put_text_if_changed(doc, key, label);
        pp::put_text_if_changed(doc, pp::edit_key(key), label);
    }
    const std::int64_t now = clock_();
    for (const auto& app : apps_) {
        const auto found = prefs_.per_app.find(app.id);
        const prefs::AppNotificationRule rule = found == prefs_.per_app.end() ? prefs::AppNotificationRule{}
                                                                              : found->second;
        for (const std::string_view field : overridable_fields) {
            const std::string key = table::app_key(app.id, field);
            const bool on = effective(app.id, field);
            pp::put_bool_if_changed(doc, key, on);
            pp::put_bool_if_changed(doc, pp::edit_key(key), on);
            seen_toggles_[key] = on;
        }
        for (const auto& [field, on] : {std::pair<std::string_view, bool>{"priority", rule.priority},
                                        std::pair<std::string_view, bool>{"priority_contacts", rule.priority_contacts}}) {
            const std::string key = table::app_key(app.id, field);
            pp::put_bool_if_changed(doc, key, on);
            pp::put_bool_if_changed(doc, pp::edit_key(key), on);
        }
        pp::put_text_if_changed(doc, table::app_key(app.id, "mute"), table::mute_label(rule.muted_until, now));
    }
    seeded_ = true;
}

bool NotificationsModel::send(page_doc::Document& doc, const actions::SettingsAction& action)
{
    return dispatch_ ? dispatch_(doc, action) : pp::dispatch_setting_change(host_, doc, action).has_value();
}

// The reconciliation of one global switch; the record takes the user's edit only when its action was applied.
bool NotificationsModel::sync_bool(page_doc::Document& doc, std::string_view key, bool& value)
{
    const std::string edit = pp::edit_key(key);
    const bool stored = page_doc::doc_bool(doc, key).value_or(value);
    if (stored != value) {
        pp::put_bool_if_changed(doc, edit, stored);
        value = stored;
        return true;
    }
    const bool shown = page_doc::doc_bool(doc, edit).value_or(stored);
    if (shown == stored) {
        return false;
    }
    if (!send(doc, actions::bool_entry(key, shown))) {
        pp::put_bool_if_changed(doc, edit, value);  // the control shows what is in force again
        return false;
    }
    value = shown;
    return true;
}

// The same for a choice; a text that is no label of its table changes nothing and both keys show the label in
// force again.
bool NotificationsModel::sync_text(page_doc::Document& doc, std::string_view key, const std::string& current,
                                   bool (*is_label)(std::string_view), std::string& out)
{
    const std::string edit = pp::edit_key(key);
    const std::string stored = page_doc::doc_text(doc, key).value_or(current);
    out = current;
    if (stored != current) {
        if (!is_label(stored)) {
            pp::put_text_if_changed(doc, key, current);
            pp::put_text_if_changed(doc, edit, current);
            return false;
        }
        pp::put_text_if_changed(doc, edit, stored);
        out = stored;
        return true;
    }
    const std::string shown = page_doc::doc_text(doc, edit).value_or(stored);
    if (shown == stored) {
        return false;
    }
    if (!is_label(shown) || !send(doc, actions::string_pair(key, shown))) {
        pp::put_text_if_changed(doc, edit, current);
        return false;
    }
    out = shown;
    return true;
}

bool NotificationsModel::sync_app(page_doc::Document& doc, const app_catalog::NamedApp& app)
{
    bool changed = false;
    // Every listed application gets a rule, so a saved record holds one for each.
    prefs::AppNotificationRule& rule = prefs_.per_app[app.id];
    for (const std::string_view field : overridable_fields) {
        const std::string key = table::app_key(app.id, field);
        const auto on = page_doc::doc_bool(doc, key);
        const auto seen = seen_toggles_.find(key);
        if (!on || (seen != seen_toggles_.end() && seen->second == *on)) {
            continue;
        }
        seen_toggles_[key] = *on;
        auto& own = rule.*rule_field(field);
        if (own != *on) {
            own = *on;
            changed = true;
        }
    }
    for (const auto& [field, member] :
         {std::pair<std::string_view, bool prefs::AppNotificationRule::*>{"priority", &prefs::AppNotificationRule::priority},
          std::pair<std::string_view, bool prefs::AppNotificationRule::*>{"priority_contacts",
                                                                          &prefs::AppNotificationRule::priority_contacts}}) {
        const auto on = page_doc::doc_bool(doc, table::app_key(app.id, field));
        if (on && *on != rule.*member) {
            rule.*member = *on;
            changed = true;
        }
    }
    const auto mute = page_doc::doc_text(doc, table::app_key(app.id, "mute"));
    if (mute && *mute != applied_mute_[app.id]) {
        if (const auto seconds = table::mute_seconds(*mute)) {
            rule.muted_until = table::muted_until_for(*seconds, clock_());
            applied_mute_[app.id] = *mute;
            changed = true;
        }
    }
    return changed;
}

bool NotificationsModel::sync(page_doc::Document& doc)
{
    const prefs::NotificationPrefs before = prefs_;
    if (!seeded_) {
        seed(doc);
    }
    bool changed = sync_bool(doc, table::dnd_key, prefs_.do_not_disturb);

    std::string days;
    if (sync_text(doc, table::focus_days_key, std::string(table::weekday_mask_label(prefs_.focus.weekdays)),
                  is_weekday_label, days)) {
        changed = true;
        if (const auto mask = table::weekday_mask(days)) {
            prefs_.focus.weekdays = *mask;
        }
    }

    for (const auto& app : apps_) {
        changed = sync_app(doc, app) || changed;
    }

    for (const auto& row : table::switches().subspan(1)) {
        bool value = table::switch_value(row, prefs_);
        if (sync_bool(doc, row.key, value)) {
            table::set_switch(row, prefs_, value);
            changed = true;
        }
    }

    // A rule that is silent on a choice follows the global one: its switch shows the global value again when that
    // changed (as seen, so it is not taken for the user's own choice).
    for (const auto& app : apps_) {
        for (const std::string_view field : overridable_fields) {
            const std::string key = table::app_key(app.id, field);
            const bool on = effective(app.id, field);
            if (!(prefs_.per_app[app.id].*rule_field(field)) && page_doc::doc_bool(doc, key) != on) {
                pp::put_bool_if_changed(doc, key, on);
                pp::put_bool_if_changed(doc, pp::edit_key(key), on);
                seen_toggles_[key] = on;
            }
        }
    }

    for (const auto& [key, minute] : {std::pair{table::focus_start_key, &prefs_.focus.start_minute},
                                      std::pair{table::focus_end_key, &prefs_.focus.end_minute}}) {
        std::string label;
        if (sync_text(doc, key, std::string(table::focus_preset_label(*minute)), is_preset_label, label)) {
            changed = true;
            if (const auto preset = table::focus_preset_minute(label)) {
                *minute = *preset;
            }
        }
    }

    // A rule inserted for a listed application is saved with the next real change, not on its own.
    if (!changed) {
        return false;
    }
    save();
    return prefs_ != before;
}

void NotificationsModel::save()
{
    prefs::SettingsFile file = prefs::load_settings_file();
    file.notifications = prefs_;
    if (auto saved = prefs::save_settings_file(file); !saved) {
        VORN_WARN("notifications_save", "failed to persist notification prefs: {}", saved.error());
        save_error_ = saved.error();
    } else {
        save_error_.reset();
    }
}

}  // namespace settings::panes::notifications
