#pragma once
// What the Notifications page keeps and decides, apart from its widgets: its copy of the notification preferences
// (section "notifications" of the settings file), the applications that can have rules, and the reconciliation of
// both with the page document.
//
// Document keys (setting_tables/notifications.hpp):
//   the global switches at their stored key ("notifications.show_banners", ...) and its edit key (K + ".edit",
//   which the switch writes); the focus choices "notifications.focus.start" / ".end" / ".days" the same way, as
//   labels; per application "notifications.app.<id>.<field>" for "banners", "previews", "sounds", "badges",
//   "priority", "priority_contacts" (booleans the switch writes itself) and "mute" (a mute label).
//
// A global setting follows the preference pages' reconciliation (panes/preference_pane/setting_sync.hpp): a stored
// key that differs from the page's value is a change from outside and wins; otherwise an edit key that differs is
// the user's change, sent as a set-setting action, and taken into the record only when that action was applied.
// An action that fails leaves the record as it was and the control shows the value in force again, so a value
// that was never applied is never saved. A text that is no label of its table changes nothing.
//
// The first sync writes every key from the record the page was opened with (never from what an earlier visit left
// in the document); every later sync takes what changed and saves the section when anything did.

#include "actions/payloads/settings_action.hpp"
#include "app_catalog/app_catalog.hpp"
#include "page_doc/page_doc.hpp"
#include "prefs/records.hpp"
#include "vorn_ui/actions/action_host.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace settings::panes::notifications {

// Unix time in seconds.
using Clock = std::function<std::int64_t()>;
[[nodiscard]] std::int64_t system_now();

class NotificationsModel {
public:
    // Sends one setting change against the document; answers whether it was applied. By default the model's action
    // host ("settings.action" in the Settings application's context).
    using Dispatch = std::function<bool(page_doc::Document&, const actions::SettingsAction&)>;

    NotificationsModel(prefs::NotificationPrefs prefs, std::vector<app_catalog::NamedApp> apps, Clock clock);
    // The settings file's section and the applications the resource contract lists.
    [[nodiscard]] static NotificationsModel load(Clock clock = system_now);

    // Answers whether the record changed (a save was then made).
    bool sync(page_doc::Document& doc);

    [[nodiscard]] const prefs::NotificationPrefs& prefs() const { return prefs_; }
    [[nodiscard]] const std::vector<app_catalog::NamedApp>& apps() const { return apps_; }
    [[nodiscard]] const std::optional<std::string>& save_error() const { return save_error_; }
    [[nodiscard]] vorn_ui::ActionHost& host() { return host_; }
    [[nodiscard]] std::int64_t now() const { return clock_(); }
    void set_dispatch(Dispatch dispatch) { dispatch_ = std::move(dispatch); }

    // What the record gives an application where its rule is silent: the global choice.
    [[nodiscard]] bool effective(const std::string& app_id, std::string_view field) const;

private:
    void seed(page_doc::Document& doc);
    bool send(page_doc::Document& doc, const actions::SettingsAction& action);
    bool sync_bool(page_doc::Document& doc, std::string_view key, bool& value);
    bool sync_text(page_doc::Document& doc, std::string_view key, const std::string& current,
                   bool (*is_label)(std::string_view), std::string& out);
    bool sync_app(page_doc::Document& doc, const app_catalog::NamedApp& app);
    void save();

    prefs::NotificationPrefs prefs_;
    std::vector<app_catalog::NamedApp> apps_;
    Clock clock_;
    vorn_ui::ActionHost host_;
    Dispatch dispatch_;  // none: the action host
    std::map<std::string, std::string> applied_mute_;
    std::map<std::string, bool> seen_toggles_;
    bool seeded_ = false;
    std::optional<std::string> save_error_;
};

[[nodiscard]] std::string notifications_save_failed_text(std::string_view error);

}  // namespace settings::panes::notifications
