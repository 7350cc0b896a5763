#include "panes/notifications/notifications_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "page_helpers/layout.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "setting_tables/notifications.hpp"
#include "sound_graph/notification_sound.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>

namespace settings::panes::notifications {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
namespace table = setting_tables::notifications;
using preference_pane::edit_key;

namespace {

constexpr std::string_view save_error_id = "notifications.save_error";
constexpr std::string_view sound_backend_id = "notifications.sound_backend";

std::string caption_id(const std::string& app_id) { return table::app_key(app_id, "caption"); }
std::string app_resource(const std::string& app_id) { return "settings.notification-app:" + app_id; }

// A global switch: it writes its edit key (the model reconciles it with the stored key); its action is a
// parameterless "Turn on ..." that automation uses, required to be there.
ph::WidgetBox global_switch(std::string_view key, std::string_view action, const cat::SectionBindings& bindings)
{
    const table::Switch& row = *table::find_switch(key);
    bindings.require(action);
    auto toggle = vorn_ui::Toggle(std::string(row.control_id), edit_key(row.key))
                      .with_id(std::string(row.control_id))
                      .with_label(std::string(row.title))
                      .boxed();
    return ph::setting_row_described(row.title, row.description, std::move(toggle));
}

ph::WidgetBox focus_choice(std::string_view title, std::string_view key, std::string_view action,
                           std::vector<std::string> choices, std::string_view placeholder,
                           const cat::SectionBindings& bindings)
{
    return ph::setting_row_fixed(title, vorn_ui::Dropdown(std::string(key), std::move(choices))
                                            .with_key(edit_key(key))
                                            .with_placeholder(std::string(placeholder))
                                            .with_label(std::string(title))
                                            .on_action(bindings.choice(action))
                                            .boxed());
}

template <std::size_t N, class T>
std::vector<std::string> labels_of(const std::array<T, N>& rows)
{
    std::vector<std::string> out;
    for (const auto& row : rows) {
        out.emplace_back(row.label);
    }
    return out;
}

}  // namespace

std::string_view delivery_label(const prefs::NotificationPrefs& prefs)
{
    if (prefs.do_not_disturb) {
        return "Silenced";
    }
    return prefs.show_banners ? "Active" : "Banners off";
}

std::string_view sound_backend_text()
{
    using sound_graph::notification_sound::SoundBackend;
    switch (sound_graph::notification_sound::sound_backend()) {
    case SoundBackend::SessionTheme: return "Available through the session sound theme";
    case SoundBackend::PipeWireRoute: return "Available through the PipeWire session route";
    case SoundBackend::Unavailable: break;
    }
    return "Unavailable: install libcanberra or PipeWire sound tools";
}

std::string_view app_caption(bool banners, bool previews)
{
    if (!banners) {
        return "Notifications go to history without a banner.";
    }
    if (!previews) {
        return "Banners are allowed with their contents hidden.";
    }
    return "Banners and their contents are currently allowed.";
}

NotificationsPane::NotificationsPane(NotificationsModel model)
    : PreferencePane({"notifications", "Notifications", "Change notification preferences"}), model_(std::move(model))
{
}

NotificationsPane::NotificationsPane() : NotificationsPane(NotificationsModel::load()) {}

void NotificationsPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    if (model_.sync(doc)) {
        ctx.changed = true;
    }
    refresh_view(doc, ctx);
}

// The applications are listed once per visit; only the save error's caption comes and goes.
std::string NotificationsPane::structure_key() const { return model_.save_error() ? "error" : ""; }

bool NotificationsPane::show_values()
{
    bool changed = false;
    const auto& prefs = model_.prefs();
    if (badge_ != nullptr && badge_->text() != delivery_label(prefs)) {
        badge_->set_text(std::string(delivery_label(prefs)));
        badge_->set_tone(prefs.do_not_disturb ? vorn_ui::Tone::Warning
                                              : (prefs.show_banners ? vorn_ui::Tone::Success : vorn_ui::Tone::Neutral));
        changed = true;
    }
    for (const auto& app : model_.apps()) {
        changed = show_text(caption_id(app.id),
                            app_caption(model_.effective(app.id, "banners"), model_.effective(app.id, "previews"))) ||
                  changed;
    }
    if (const auto& error = model_.save_error()) {
        changed = show_text(save_error_id, notifications_save_failed_text(*error)) || changed;
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> NotificationsPane::build_view()
{
    const auto& prefs = model_.prefs();
    // One section for every control of the view.
    const cat::SectionBindings bindings = cat::notifications_bindings();
    std::vector<ph::WidgetBox> cards;

    auto badge = std::make_unique<vorn_ui::Badge>(
        std::string(delivery_label(prefs)),
        prefs.do_not_disturb ? vorn_ui::Tone::Warning
                             : (prefs.show_banners ? vorn_ui::Tone::Success : vorn_ui::Tone::Neutral));
    badge_ = badge.get();
    cards.push_back(ph::labelled_card(
        "Do Not Disturb",
        ph::compact_stack(ph::widgets(ph::setting_row("Delivery", std::move(badge)),
                                      global_switch(table::dnd_key, "dnd", bindings)))));

    const auto presets = labels_of(table::focus_presets);
    cards.push_back(ph::labelled_card(
        "Focus schedule",
        ph::compact_stack(ph::widgets(
            global_switch("notifications.focus.enabled", "focus-enabled", bindings),
            focus_choice("From", table::focus_start_key, "focus-start", presets,
                         table::focus_preset_label(prefs.focus.start_minute), bindings),
            focus_choice("Days", table::focus_days_key, "focus-days", labels_of(table::weekday_choices),
                         table::weekday_mask_label(prefs.focus.weekdays), bindings),
            focus_choice("Until", table::focus_end_key, "focus-end", presets,
                         table::focus_preset_label(prefs.focus.end_minute), bindings),
            ph::caption(focus_caption)))));

    cards.push_back(ph::labelled_card(
        "Banners", ph::compact_stack(ph::widgets(global_switch("notifications.show_banners", "banners", bindings),
                                                 global_switch("notifications.show_previews", "previews", bindings)))));

    cards.push_back(ph::labelled_card(
        "Lock screen & shell integration",
        ph::compact_stack(ph::widgets(global_switch("notifications.show_on_lock_screen", "lock_screen", bindings),
                                      ph::value_row("Notification sounds", sound_backend_text(), sound_backend_id),
                                      global_switch("notifications.play_sounds", "sounds", bindings),
                                      global_switch("notifications.show_badges", "badges", bindings)))));

    cards.push_back(
        ph::labelled_card("Applications", ph::caption(model_.apps().empty() ? no_apps_caption : apps_caption)));
    cards.push_back(ph::labelled_card("How this applies", ph::caption(applies_caption)));

    struct AppSwitch {
        std::string_view field;
        std::string_view action;
        std::string_view title;
        std::string_view description;
    };
    static constexpr std::array<AppSwitch, 6> app_switches{{
        {"banners", "banners", "Allow banners", "Override the global banner choice for this application"},
        {"previews", "previews", "Show previews", "Allow message contents from this application"},
        {"sounds", "sounds", "Play sounds", "Override the global sound choice for this application"},
        {"badges", "badges", "Show badges", "Allow verified unread counts in supported shell surfaces"},
        {"priority", "priority", "Priority during focus", "Let this verified application pierce scheduled focus"},
        {"priority_contacts", "priority-contacts", "Priority contacts",
         "Allow this verified communications app to identify senders; only Contacts favourites can pierce focus"},
    }};
    const std::int64_t now = model_.now();
    for (const auto& app : model_.apps()) {
        const std::string resource = app_resource(app.id);
        // An application that left the machine's list since the page opened has no actions any more: no card.
        if (!std::ranges::any_of(bindings.section().children,
                                 [&](const vorn_actions::Resource& child) { return child.id == resource; })) {
            continue;
        }
        std::vector<ph::WidgetBox> rows;
        rows.push_back(ph::value_row("Verified application", app.id));
        for (const auto& row : app_switches) {
            bindings.require_child(resource, row.action);
            const std::string key = table::app_key(app.id, row.field);
            rows.push_back(ph::setting_row_described(
                row.title, row.description,
                vorn_ui::Toggle(key, key).with_id(key).with_label(std::string(row.title)).boxed()));
        }
        const auto rule = prefs.per_app.find(app.id);
        const std::string mute_key = table::app_key(app.id, "mute");
        rows.push_back(ph::setting_row_fixed(
            "Mute temporarily",
            vorn_ui::Dropdown(mute_key, labels_of(table::mute_choices))
                .with_key(mute_key)
                .with_placeholder(std::string(
                    table::mute_label(rule == prefs.per_app.end() ? std::nullopt : rule->second.muted_until, now)))
                .with_label(fmt::format("Mute {} temporarily", app.name))
                .on_action(bindings.child_choice(resource, "mute"))
                .boxed()));
        rows.push_back(ph::caption(
            app_caption(model_.effective(app.id, "banners"), model_.effective(app.id, "previews")), caption_id(app.id)));
        cards.push_back(ph::labelled_card(app.name, ph::compact_stack(std::move(rows))));
    }

    cards.push_back(ph::labelled_card(
        "Priority contacts", ph::compact_stack(ph::widgets(ph::value_row("Source", "Favourites in Contacts"),
                                                           ph::caption(priority_contacts_caption)))));
    if (const auto& error = model_.save_error()) {
        cards.push_back(ph::caption(notifications_save_failed_text(*error), save_error_id));
    }
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> boxed_notifications_pane() { return std::make_unique<NotificationsPane>(); }

}  // namespace settings::panes::notifications
