#pragma once
// The set-setting action: one change of one per-user setting kept in the page document, carried as a
// SettingsAction under the operation kind "settings.action".
//
// Producing side (the catalogue publishes these; effect class 0, no operation kind, the system-setting contract):
//   setting_toggle_spec("high-contrast", "Set high contrast", "a11y.high_contrast")
//   setting_choice_spec("theme", "Set theme", "appearance.theme", "Choose a theme", {"Dark", "Light"}, "Dark")
//   setting_action_spec("spell-checking", "text.check_spelling", current, "spell checking")   // "Turn on ..."
//
// Receiving side: register_settings_action(registry) at start-up registers the decoder under "settings.action";
// a decoded action (from automation or a bound control) checks its key against the closed key table, stores the
// value the way the page that shows the key would take it (setting_tables/store.hpp: saved in the settings file
// before the action is answered, whether the page is open or not; a value the page would not take is refused with
// its sentence), and is then applied to the page document the toolkit passes (apply_settings_action). A page's own
// typed dispatch only writes the document; the page saves what it takes itself:
//   host.dispatch_with_context(doc, "settings.action", string_pair("appearance.theme", "Light"),
//                              vorn_ui::action_context_from_args(settings_app_id, settings_app_name, action));

#include "actions/action_payload.hpp"
#include "actions/payloads/settings_action.hpp"
#include "actions/action_builders.hpp"
#include "vorn_actions/action.hpp"
#include "vorn_actions/application.hpp"

#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace page_doc {
class Document;
}

namespace settings::actions {

inline constexpr std::string_view settings_action_name = "settings.action";
// The application as action contexts name it.
inline constexpr std::string_view settings_app_id = "org.vorn.Settings";
inline constexpr std::string_view settings_app_name = "Settings";
// Texts the action writes are 1 to this many bytes long.
inline constexpr std::size_t max_setting_text_bytes = 1024;
// Notification rule keys name an app id of 1 to this many bytes of [0-9A-Za-z._-].
inline constexpr std::size_t max_rule_app_id_bytes = 160;

// SetSetting with Bool(value) / Text(text).
[[nodiscard]] SettingsAction bool_entry(std::string_view key, bool value);
[[nodiscard]] SettingsAction string_pair(std::string_view key, std::string_view text);

// Kind "settings.action" and the compact JSON of the action; an empty payload if it cannot be written.
[[nodiscard]] vorn_actions::EncodedAction encode_setting_action(const SettingsAction& action);

// The set-setting parsers.
// toggle: "value" (absent false) as Bool under `key`.
[[nodiscard]] Parser setting_toggle_parser(std::string key);
// text: "choice" (absent "") as Text under `key`.
[[nodiscard]] Parser setting_text_parser(std::string key);
// choice: "choice" (absent `fallback`) as Text under `key`.
[[nodiscard]] Parser setting_choice_parser(std::string key, std::string fallback);

// The set-setting specifications. The first three carry the system-setting contract; the other three are the
// typed constructor's set-setting instances, to which the caller attaches the contract.
[[nodiscard]] ActionSpec setting_toggle_spec(std::string_view id, std::string_view title, std::string_view key);
[[nodiscard]] ActionSpec setting_choice_spec(std::string_view id, std::string_view title, std::string_view key,
                                             std::string_view hint, std::vector<std::string> choices,
                                             std::string fallback);
// Parameterless: "Turn off <label>" setting Bool(false) when `current` is on, else "Turn on <label>" setting
// Bool(true).
[[nodiscard]] ActionSpec setting_action_spec(std::string_view id, std::string_view key, bool current,
                                             std::string_view label);
[[nodiscard]] ActionSpec shortcut_text_spec(std::string_view id, std::string_view title, std::string_view hint,
                                            std::vector<ActionParam> params, std::string_view key);
[[nodiscard]] ActionSpec notification_mute_spec(std::string_view id, std::string_view title, std::string_view hint,
                                                std::vector<ActionParam> params, std::string_view key,
                                                std::string fallback);
[[nodiscard]] ActionSpec default_app_spec(std::string_view id, std::string_view title, std::string_view hint,
                                          std::vector<ActionParam> params, std::string_view key,
                                          std::string fallback);

// ---- Receiving side

// Whether the key table accepts `value` for `key` (the checks of apply_settings_action, without the document).
[[nodiscard]] bool setting_accepts(std::string_view key, const SettingValue& value);

// Writes the value under the key at the document's root (a Text as a string scalar, a Bool as a boolean scalar),
// unless the same scalar is stored there already. A key or value the table does not accept is refused with
// "settings target is stale, unknown, or has an invalid value: <key>" and nothing is written.
std::expected<void, vorn_actions::ActionError> apply_settings_action(const SettingsAction& action,
                                                                     page_doc::Document& doc);

// The debug form: SetSetting { key: "appearance.theme", value: Text("Dark") }.
[[nodiscard]] std::string settings_action_debug_text(const SettingsAction& action);

// Checks the key, stores the value as its page would (see above), then applies it to the document. A refused
// value or a failed save is refused with its sentence, and the document is left as it was.
std::expected<void, vorn_actions::ActionError> store_and_apply_settings_action(const SettingsAction& action,
                                                                               page_doc::Document& doc);

// A SettingsAction as the executor's application action: a decoded one stores its value before it is applied
// (store_and_apply_settings_action), a page's typed one only applies it.
class SettingsApplicationAction final : public vorn_actions::ApplicationAction {
public:
    enum class Origin : std::uint8_t { Page, Decoded };
    explicit SettingsApplicationAction(SettingsAction action, Origin origin = Origin::Page)
        : action_(std::move(action)), origin_(origin)
    {
    }
    [[nodiscard]] const SettingsAction& action() const { return action_; }

    [[nodiscard]] std::string debug_text() const override { return settings_action_debug_text(action_); }
    std::expected<void, vorn_actions::ActionError> apply(page_doc::Document& doc) const override
    {
        return origin_ == Origin::Decoded ? store_and_apply_settings_action(action_, doc)
                                          : apply_settings_action(action_, doc);
    }
    [[nodiscard]] bool yes_no_query_a() const override { return false; }
    [[nodiscard]] bool yes_no_query_b() const override { return true; }
    [[nodiscard]] std::expected<std::string, std::string> write_payload() const override;

private:
    SettingsAction action_;
    Origin origin_;
};

// Found by argument-dependent lookup from vorn_ui::ActionHost's typed dispatch.
[[nodiscard]] std::unique_ptr<vorn_actions::ApplicationAction> to_application_action(const SettingsAction& action);

// Reads one SettingsAction (the payload codec's reader); a failure is a PayloadDecoding error naming `name`.
[[nodiscard]] std::expected<std::unique_ptr<vorn_actions::ApplicationAction>, vorn_actions::ActionError>
decode_settings_action(std::string_view payload, std::string_view name = settings_action_name);

// Registers the set-setting decoder under `name` (a decoder already registered there is replaced).
void register_action_decoder(vorn_actions::ActionDecoderRegistry& registry, std::string_view name);
// register_action_decoder(registry, "settings.action"); the application's launch hook calls it once.
void register_settings_action(vorn_actions::ActionDecoderRegistry& registry);

}  // namespace settings::actions
