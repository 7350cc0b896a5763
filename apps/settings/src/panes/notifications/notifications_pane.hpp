#pragma once
// The Notifications page: Do Not Disturb, the delivery choices, the scheduled quiet hours, and one card per
// application with its own rules and a temporary mute. Every control is bound to its action of the Notifications
// section (the applications' controls to their application's resource); the page saves what changed.

#include "panes/notifications/notifications_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace vorn_ui::widget::badge {
class Badge;
}

namespace settings::panes::notifications {

inline constexpr std::string_view apps_caption =
    "Rules use verified Vorn, system, or Flatpak identities \u2014 never the name an application writes into a "
    "notification.";
inline constexpr std::string_view no_apps_caption =
    "Per-application controls appear after a packaged application is installed.";
inline constexpr std::string_view focus_caption =
    "The schedule follows local time. User-approved priority apps may still notify; an app cannot mark itself as "
    "priority.";
inline constexpr std::string_view applies_caption =
    "These choices are read by the compositor's notification layer, so every verified app follows the same delivery "
    "policy. Do Not Disturb overrides the individual banner and sound toggles.";
inline constexpr std::string_view priority_contacts_caption =
    "Contacts publishes a redacted, salted priority registry to the shell. Raw addresses are not stored there. Only "
    "communication apps you authorize above may assert a sender; the shell verifies the sender against that "
    "registry.";

// The delivery badge: "Silenced" with Do Not Disturb on, else "Active" with banners on, else "Banners off".
[[nodiscard]] std::string_view delivery_label(const prefs::NotificationPrefs& prefs);
// The sentence of the session's notification sound backend.
[[nodiscard]] std::string_view sound_backend_text();
// An application card's caption from its effective banner and preview choices.
[[nodiscard]] std::string_view app_caption(bool banners, bool previews);

class NotificationsPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::notifications::NotificationsPane", "NotificationsPane")

    explicit NotificationsPane(NotificationsModel model);
    NotificationsPane();

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] const NotificationsModel& model() const { return model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    NotificationsModel model_;
    vorn_ui::widget::badge::Badge* badge_ = nullptr;  // in the built view
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_notifications_pane();

}  // namespace settings::panes::notifications
