// Updates, Storage, Time & Date, Region & Formats, Notifications and Apps & Files.

#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "actions/catalogue/support.hpp"
#include "actions/set_setting.hpp"
#include "setting_tables/region.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>

namespace settings::actions::catalogue {

namespace {

std::string current_text(const page_doc::Document& doc, std::string_view key, std::string_view fallback)
{
    if (auto text = page_doc::doc_text(doc, key)) {
        return *text;
    }
    return std::string(fallback);
}

ActionSpec bool_spec(std::string_view id, std::string_view title, std::string_view kind, Parser parser,
                     vorn_actions::ActionContract contract, std::string_view param_title = param_titles::enabled)
{
    return new_action_spec(id, title, hints::on_off_device, effect_operation, kind, {switch_param(param_title)},
                           std::move(parser))
        .with_contract(std::move(contract));
}

// Notification rule keys name the application: 1 to 160 bytes of letters, digits, ".", "_" and "-".
bool rule_app_id(std::string_view id)
{
    return !id.empty() && id.size() <= max_rule_app_id_bytes &&
           std::all_of(id.begin(), id.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
                      c == '_' || c == '-';
           });
}

}  // namespace

// ---- Updates ------------------------------------------------------------------------------------------------------------

Resource updates_resource()
{
    using U = UpdateOperation;
    Resource section = bare_section_resource(Section::Updates);
    const auto update = tags({"device-local", "system-update"});
    section.actions.push_back(bool_spec("automatic", "Set automatic updates", U::kind, update_automatic_parser(), update));
    struct Row {
        std::string_view id;
        std::string_view title;
        U operation;
        bool destructive;
    };
    const std::array<Row, 5> rows{{
        {"check", "Check for updates", U(U::Check{}), false},
        {"restart", "Restart into staged update", U(U::Restart{}), true},
        {"rollback", "Roll back to previous image", U(U::Rollback{}), true},
        {"refresh-firmware", "Refresh firmware updates", U(U::RefreshFirmware{}), false},
        {"install-firmware", "Install firmware updates", U(U::InstallFirmware{}), true},
    }};
    for (const auto& row : rows) {
        auto spec = fixed_action(row.id, row.title, row.operation, update);
        if (spec && row.destructive) {
            spec = std::move(*spec).destructive();
        }
        add_action(section, std::move(spec));
    }
    add_action(section, fixed_action("review-rollback", "Review rollback", U(U::ReviewRollback{}), std::nullopt,
                                     effect_navigation));
    section.actions.push_back(new_action_spec("schedule", "Set update schedule", hints::choice_device,
                                              effect_operation, U::kind,
                                              {choice_param({"System schedule", "Daily", "Weekly"})},
                                              update_schedule_parser())
                                  .with_contract(update));
    section.actions.push_back(
        bool_spec("metered", "Set metered-network update policy", U::kind, update_metered_parser(), update));
    return section;
}

// ---- Storage ------------------------------------------------------------------------------------------------------------

Resource storage_resource()
{
    using S = StorageOperation;
    Resource section = bare_section_resource(Section::Storage);
    const auto storage = tags({"device-local", "storage"});
    if (auto spec = fixed_action("cleanup-caches", "Clean application caches", S(S::CleanupCaches{}), storage)) {
        add_action(section, std::move(*spec).destructive());
    }
    if (auto spec = fixed_action("free-synced-files", "Free downloaded synced files", S(S::FreeSyncedFiles{}), storage)) {
        add_action(section, std::move(*spec).destructive());
    }
    add_action(section, fixed_action("open-disks", "Open Disks", S(S::OpenDisks{}), storage));
    add_action(section, fixed_action("open-backups", "Open Backups", S(S::OpenBackups{}), storage));
    return section;
}

// ---- Time & Date --------------------------------------------------------------------------------------------------------

Resource time_date_resource()
{
    using T = TimeDateOperation;
    Resource section = bare_section_resource(Section::TimeDate);
    const auto time = tags({"device-local", "time-date"});
    section.actions.push_back(bool_spec("automatic-time", "Set automatic time", T::kind,
                                        time_switch_parser(T(T::SetAutomaticTime{})), time,
                                        param_titles::local_time_control));
    section.actions.push_back(bool_spec("24-hour", "Set 24-hour time", T::kind, time_switch_parser(T(T::SetHourCycle{})),
                                        time, param_titles::local_time_control));
    section.actions.push_back(
        new_action_spec("timezone", "Set time zone", hints::timezone, effect_operation, T::kind,
                        {vorn_actions::ActionParam("choice", "Time zone", vorn_actions::ParamType::Text)},
                        timezone_parser())
            .with_contract(time));
    return section;
}

// ---- Region & Formats ---------------------------------------------------------------------------------------------------

Resource region_formats_resource(const page_doc::Document& doc)
{
    Resource section = bare_section_resource(Section::RegionFormats);
    // The page's table: every row falls back to its first choice; the date row too, so a stored fallback is a
    // format the locale preferences take.
    for (const auto& row : setting_tables::region::settings()) {
        std::vector<std::string> offered(row.choices.begin(), row.choices.end());
        std::string fallback = current_text(doc, row.key, offered.front());
        section.actions.push_back(
            setting_choice_spec(row.action, row.action_title, row.key, row.action_title, offered, std::move(fallback)));
    }
    return section;
}

// ---- Notifications ------------------------------------------------------------------------------------------------------

Resource notifications_resource(const page_doc::Document& doc, const prefs::SettingsFile& file)
{
    Resource section = bare_section_resource(Section::Notifications);
    const auto& prefs = file.notifications;
    struct Toggle {
        std::string_view id;
        std::string_view key;
        std::string_view label;
        bool stored;
    };
    const std::array<Toggle, 7> toggles{{
        {"dnd", "notifications.do_not_disturb", "Do Not Disturb", prefs.do_not_disturb},
        {"banners", "notifications.show_banners", "notification banners", prefs.show_banners},
        {"previews", "notifications.show_previews", "message previews", prefs.show_previews},
        {"sounds", "notifications.play_sounds", "notification sounds", prefs.play_sounds},
        {"lock_screen", "notifications.show_on_lock_screen", "lock-screen notifications", prefs.show_on_lock_screen},
        {"badges", "notifications.show_badges", "notification badges", prefs.show_badges},
        {"focus-enabled", "notifications.focus.enabled", "scheduled quiet hours", prefs.focus.enabled},
    }};
    for (const auto& row : toggles) {
        section.actions.push_back(
            setting_action_spec(row.id, row.key, page_doc::doc_bool(doc, row.key).value_or(row.stored), row.label));
    }
    const std::vector<std::string> times{"18:00", "20:00", "22:00", "23:00", "00:00",
                                         "06:00", "07:00", "08:00", "09:00"};
    struct Focus {
        std::string_view id;
        std::string_view title;
        std::string_view key;
        std::vector<std::string> offered;
        std::string_view fallback;
    };
    const std::array<Focus, 3> focus{{
        {"focus-start", "Set focus start time", "notifications.focus.start", times, "22:00"},
        {"focus-end", "Set focus end time", "notifications.focus.end", times, "07:00"},
        {"focus-days", "Set focus days", "notifications.focus.days", {"Every day", "Weekdays", "Weekends"},
         "Every day"},
    }};
    for (const auto& row : focus) {
        section.actions.push_back(setting_choice_spec(row.id, row.title, row.key, "Choose a focus schedule value",
                                                      row.offered, current_text(doc, row.key, row.fallback)));
    }

    const auto apps = current_platform()->notification_apps();
    for (const auto& app : capped(apps, kObjectLimit, "notification applications")) {
        if (!rule_app_id(app.id)) {
            VORN_WARN(kLogTag, "notification rules of an application not published: its id is not a rule key");
            continue;
        }
        Resource resource("settings.notification-app:" + app.id, "settings.notification-app",
                          clean_label(app.name, app.id));
        struct AppToggle {
            std::string_view id;
            std::string_view field;
            std::string_view label;
            bool fallback;
        };
        static constexpr std::array<AppToggle, 6> app_toggles{{
            {"banners", "banners", "notification banners", true},
            {"previews", "previews", "message previews", true},
            {"sounds", "sounds", "notification sounds", true},
            {"badges", "badges", "notification badges", true},
            {"priority", "priority", "priority during focus", false},
            {"priority-contacts", "priority_contacts", "priority contacts during focus", false},
        }};
        for (const auto& row : app_toggles) {
            const std::string key = fmt::format("notifications.app.{}.{}", app.id, row.field);
            resource.actions.push_back(
                setting_action_spec(row.id, key, page_doc::doc_bool(doc, key).value_or(row.fallback), row.label));
        }
        const std::string mute_key = fmt::format("notifications.app.{}.mute", app.id);
        resource.actions.push_back(
            notification_mute_spec(
                "mute", "Mute notifications temporarily", "Not muted, For 1 hour, For 8 hours, For 24 hours",
                {choice_param({"Not muted", "For 1 hour", "For 8 hours", "For 24 hours"},
                              param_titles::new_setting_value)},
                mute_key, current_text(doc, mute_key, "Not muted"))
                .with_contract(system_setting_contract()));
        section = std::move(section).with_child(std::move(resource));
    }
    return section;
}

// ---- Apps & Files -------------------------------------------------------------------------------------------------------

Resource default_apps_resource(const page_doc::Document& doc)
{
    Resource section = bare_section_resource(Section::DefaultApps);
    const auto kinds = current_platform()->default_app_kinds();
    PublishedKeys published("a default application kind");
    for (const auto& kind : capped(kinds, kObjectLimit, "default application kinds")) {
        if (!published.admit(kind.id)) {
            continue;
        }
        // The page applies a choice only when it names one of the kind's candidates by its choice text, so these
        // texts are what the action offers (the application name alone would be taken and then ignored, and two
        // applications of one name could not be told apart).
        std::vector<std::string> offered;
        std::string handler;
        for (const auto& app : capped(kind.candidates, kChoiceLimit, "default application choices")) {
            offered.push_back(default_app_choice_text(app));
        }
        for (const auto& app : kind.candidates) {
            if (app.id == kind.handler_id) {
                handler = default_app_choice_text(app);
            }
        }
        offered = plain_choices(std::move(offered), "default application choices");
        if (std::find(offered.begin(), offered.end(), handler) == offered.end()) {
            handler.clear();
        }
        std::string key = "default_apps." + kind.id;
        std::replace(key.begin(), key.end(), ':', '.');
        Resource resource("settings.default-app:" + kind.id, "settings.default-app-handler",
                          clean_label(kind.display_label, kind.id));
        resource.actions.push_back(default_app_spec("set-handler", "Set default application",
                                                    "Choose an installed application",
                                                    {choice_param(std::move(offered), "Installed application")}, key,
                                                    current_text(doc, key, handler))
                                       .with_contract(system_setting_contract()));
        section = std::move(section).with_child(std::move(resource));
    }
    return section;
}

}  // namespace settings::actions::catalogue
