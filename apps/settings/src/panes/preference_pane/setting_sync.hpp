#pragma once
// Keeping a preference, its setting key and its control in step.
//
// A preference edited in two ways has a setting key K (written by set-setting actions from automation, and by the
// page itself when the user changes the control) and an edit key E = K + ".edit" (written by the page's control).
// Each sync of the page reconciles the two with the value the page holds (C):
//   - K differs from C: automation changed the setting; E takes K's value; the result is K's value (changed);
//   - else E differs from K: the user changed the control; K is set through a set-setting action; the result is
//     E's value (changed);
//   - else the result is C (unchanged).
// A missing K counts as C, a missing E as K.
//
//   auto theme = reconcile_text(doc, host, "appearance.theme", prefs.theme);
//   if (theme.changed && is_theme_name(theme.value)) prefs.theme = theme.value;
//   else if (theme.changed) restore_text(doc, host, "appearance.theme", prefs.theme);   // refused: show what holds

#include "actions/payloads/settings_action.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/actions/action_host.hpp"

#include <string>
#include <string_view>

namespace settings::panes::preference_pane {

// K + ".edit", K + ".error".
[[nodiscard]] std::string edit_key(std::string_view key);
[[nodiscard]] std::string error_key(std::string_view key);

// Sends `action` as "settings.action" through `host` against `doc`, in the context of the Settings application
// ("org.vorn.Settings", "Settings"). A failure is logged by the host ("action dispatch failed") and answered.
vorn_ui::ActionHost::Result dispatch_setting_change(vorn_ui::ActionHost& host, page_doc::Document& doc,
                                                    const actions::SettingsAction& action);

// Sets the setting key K to a text the page holds. A non-empty text goes through a set-setting action like any
// other setting change; an empty text (an unbound shortcut) is no value a set-setting action carries, so the page
// writes it into its own document directly instead of sending a change that would be refused again on every sync.
void publish_text(vorn_ui::ActionHost& host, page_doc::Document& doc, std::string_view key, std::string_view text);
void publish_bool(vorn_ui::ActionHost& host, page_doc::Document& doc, std::string_view key, bool value);

// Writes the value unless the key already holds exactly that scalar (so a sync that changes nothing leaves the
// document's revision alone).
void put_text_if_changed(page_doc::Document& doc, std::string_view key, std::string_view text);
void put_bool_if_changed(page_doc::Document& doc, std::string_view key, bool value);

template <class T>
struct Reconciled {
    T value;
    bool changed = false;
};

// The reconciliation above. Texts compare byte for byte.
Reconciled<std::string> reconcile_text(page_doc::Document& doc, vorn_ui::ActionHost& host, std::string_view key,
                                       std::string_view current);
Reconciled<bool> reconcile_bool(page_doc::Document& doc, vorn_ui::ActionHost& host, std::string_view key,
                                bool current);

// Puts a value the page did not take back: K and E both show `current` again, K through a set-setting action.
void restore_text(page_doc::Document& doc, vorn_ui::ActionHost& host, std::string_view key, std::string_view current);

}  // namespace settings::panes::preference_pane
