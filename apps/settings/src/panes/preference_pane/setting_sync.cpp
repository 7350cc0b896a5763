#include "panes/preference_pane/setting_sync.hpp"

#include "actions/set_setting.hpp"
#include "vorn_ui/actions/action_records.hpp"

#include <optional>

namespace settings::panes::preference_pane {

std::string edit_key(std::string_view key) { return std::string(key) + ".edit"; }
std::string error_key(std::string_view key) { return std::string(key) + ".error"; }

vorn_ui::ActionHost::Result dispatch_setting_change(vorn_ui::ActionHost& host, page_doc::Document& doc,
                                                    const actions::SettingsAction& action)
{
    return host.dispatch_with_context(
        doc, actions::settings_action_name, action,
        vorn_ui::action_context_from_args(actions::settings_app_id, actions::settings_app_name, action));
}

void put_text_if_changed(page_doc::Document& doc, std::string_view key, std::string_view text)
{
    const page_doc::Value* stored = doc.get(key);
    const auto* current = stored == nullptr ? nullptr : std::get_if<std::string>(stored);
    if (current == nullptr || *current != text) {
        doc.put_str(key, text);
    }
}

void put_bool_if_changed(page_doc::Document& doc, std::string_view key, bool value)
{
    const page_doc::Value* stored = doc.get(key);
    const auto* current = stored == nullptr ? nullptr : std::get_if<bool>(stored);
    if (current == nullptr || *current != value) {
        doc.put_bool(key, value);
    }
}

void publish_text(vorn_ui::ActionHost& host, page_doc::Document& doc, std::string_view key, std::string_view text)
{
    if (!text.empty() && dispatch_setting_change(host, doc, actions::string_pair(key, text))) {
        return;
    }
    // Empty, or refused (a stored text longer than a setting carries): the page keeps its own document right.
    put_text_if_changed(doc, key, text);
}

void publish_bool(vorn_ui::ActionHost& host, page_doc::Document& doc, std::string_view key, bool value)
{
    if (!dispatch_setting_change(host, doc, actions::bool_entry(key, value))) {
        put_bool_if_changed(doc, key, value);
    }
}

Reconciled<std::string> reconcile_text(page_doc::Document& doc, vorn_ui::ActionHost& host, std::string_view key,
                                       std::string_view current)
{
    const std::string edit = edit_key(key);
    const std::string setting = page_doc::doc_text(doc, key).value_or(std::string(current));
    const std::string shown = page_doc::doc_text(doc, edit).value_or(setting);
    if (setting != current) {
        put_text_if_changed(doc, edit, setting);
        return {setting, true};
    }
    if (shown != setting) {
        publish_text(host, doc, key, shown);
        return {shown, true};
    }
    return {std::string(current), false};
}

Reconciled<bool> reconcile_bool(page_doc::Document& doc, vorn_ui::ActionHost& host, std::string_view key,
                                bool current)
{
    const std::string edit = edit_key(key);
    const bool setting = page_doc::doc_bool(doc, key).value_or(current);
    const bool shown = page_doc::doc_bool(doc, edit).value_or(setting);
    if (setting != current) {
        put_bool_if_changed(doc, edit, setting);
        return {setting, true};
    }
    if (shown != setting) {
        publish_bool(host, doc, key, shown);
        return {shown, true};
    }
    return {current, false};
}

void restore_text(page_doc::Document& doc, vorn_ui::ActionHost& host, std::string_view key, std::string_view current)
{
    publish_text(host, doc, key, current);
    put_text_if_changed(doc, edit_key(key), current);
}

}  // namespace settings::panes::preference_pane
