#include "actions/set_setting.hpp"

#include "actions/action_payload.hpp"
#include "actions/operation_actions.hpp"
#include "actions/payloads/codec.hpp"
#include "page_doc/page_doc.hpp"
#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"
#include "setting_tables/store.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <variant>

namespace settings::actions {

using vorn_actions::ActionArgs;
using vorn_actions::ActionError;
using vorn_actions::EncodedAction;

// ---- Producing side

SettingsAction bool_entry(std::string_view key, bool value)
{
    return SettingsAction::set_setting(std::string(key), SettingValue::Bool(value));
}

SettingsAction string_pair(std::string_view key, std::string_view text)
{
    return SettingsAction::set_setting(std::string(key), SettingValue::Text(std::string(text)));
}

EncodedAction encode_setting_action(const SettingsAction& action)
{
    auto encoded = EncodedAction::from_payload(settings_action_name, action);
    if (!encoded) {
        return EncodedAction{std::string(settings_action_name), {}};
    }
    return std::move(*encoded);
}

Parser setting_toggle_parser(std::string key)
{
    return [key = std::move(key)](const ActionArgs& args) {
        return encode_setting_action(bool_entry(key, args.boolean("value").value_or(false)));
    };
}

Parser setting_text_parser(std::string key)
{
    return [key = std::move(key)](const ActionArgs& args) {
        return encode_setting_action(string_pair(key, args.text("choice").value_or(std::string())));
    };
}

Parser setting_choice_parser(std::string key, std::string fallback)
{
    return [key = std::move(key), fallback = std::move(fallback)](const ActionArgs& args) {
        const std::optional<std::string> choice = args.text("choice");
        return encode_setting_action(string_pair(key, choice ? *choice : fallback));
    };
}

ActionSpec setting_toggle_spec(std::string_view id, std::string_view title, std::string_view key)
{
    return new_action_spec(id, title, hints::on_off, effect_setting, std::nullopt,
                           {switch_param(param_titles::setting_on)}, setting_toggle_parser(std::string(key)))
        .with_contract(system_setting_contract());
}

ActionSpec setting_choice_spec(std::string_view id, std::string_view title, std::string_view key,
                               std::string_view hint, std::vector<std::string> choices, std::string fallback)
{
    return new_action_spec(id, title, hint, effect_setting, std::nullopt,
                           {choice_param(std::move(choices), param_titles::new_setting_value)},
                           setting_choice_parser(std::string(key), std::move(fallback)))
        .with_contract(system_setting_contract());
}

ActionSpec setting_action_spec(std::string_view id, std::string_view key, bool current, std::string_view label)
{
    const std::string title = (current ? "Turn off " : "Turn on ") + std::string(label);
    const SettingsAction action = bool_entry(key, !current);
    auto spec = operation_spec_builder(id, title, effect_setting, settings_action_name, action);
    if (!spec) {
        return operation_spec_builder(id, title, effect_setting, encode_setting_action(action))
            .with_contract(system_setting_contract());
    }
    return std::move(*spec).with_contract(system_setting_contract());
}

ActionSpec shortcut_text_spec(std::string_view id, std::string_view title, std::string_view hint,
                              std::vector<ActionParam> params, std::string_view key)
{
    return new_action_spec(id, title, hint, effect_setting, std::nullopt, std::move(params),
                           setting_text_parser(std::string(key)));
}

ActionSpec notification_mute_spec(std::string_view id, std::string_view title, std::string_view hint,
                                  std::vector<ActionParam> params, std::string_view key, std::string fallback)
{
    return new_action_spec(id, title, hint, effect_setting, std::nullopt, std::move(params),
                           setting_choice_parser(std::string(key), std::move(fallback)));
}

ActionSpec default_app_spec(std::string_view id, std::string_view title, std::string_view hint,
                            std::vector<ActionParam> params, std::string_view key, std::string fallback)
{
    return new_action_spec(id, title, hint, effect_setting, std::nullopt, std::move(params),
                           setting_choice_parser(std::string(key), std::move(fallback)));
}

// ---- The key table

namespace {

constexpr std::array<std::string_view, 17> text_keys{
    "appearance.theme",  "appearance.text_size", "appearance.ui_scale", "region.currency",
    "region.date_format", "region.time_format", "region.measurement",  "region.number_style",
    "region.first_day",  "a11y.text_size",      "a11y.cursor_size",    "a11y.color_filter",
    "a11y.magnifier",    "a11y.switch_keys",    "a11y.switch_scan",    "a11y.reader_rate",
    "a11y.reader_voice",
};

constexpr std::array<std::string_view, 23> bool_keys{
    "appearance.high_contrast",
    "appearance.reduce_motion",
    "a11y.high_contrast",
    "a11y.reduce_motion",
    "a11y.large_cursor",
    "a11y.sticky_keys",
    "a11y.slow_keys",
    "a11y.on_screen_keyboard",
    "a11y.visual_alerts",
    "a11y.screen_reader",
    "a11y.cursor_crosshair",
    "a11y.thick_text_caret",
    "a11y.switch_control",
    "shortcuts.vim_mode",
    "notifications.do_not_disturb",
    "notifications.show_banners",
    "notifications.show_previews",
    "notifications.play_sounds",
    "notifications.show_on_lock_screen",
    "notifications.show_badges",
    "notifications.focus.enabled",
    "text.check_spelling",
    "text.auto_correct",
};

constexpr std::array<std::string_view, 3> focus_text_keys{"notifications.focus.start", "notifications.focus.end",
                                                          "notifications.focus.days"};

constexpr std::array<std::string_view, 6> rule_bool_fields{"banners",  "previews", "sounds",
                                                           "badges",   "priority", "priority_contacts"};

constexpr std::string_view rule_prefix = "notifications.app.";
constexpr std::string_view default_apps_prefix = "default_apps.";

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& keys, std::string_view key)
{
    return std::ranges::find(keys, key) != keys.end();
}

bool is_text(const SettingValue& value)
{
    const auto* text = std::get_if<std::string>(&value.value);
    return text != nullptr && !text->empty() && text->size() <= max_setting_text_bytes;
}

bool is_bool(const SettingValue& value) { return std::holds_alternative<bool>(value.value); }

// The part after the last "." is "edit" or "error".
bool has_edit_suffix(std::string_view key)
{
    const std::size_t dot = key.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string_view suffix = key.substr(dot + 1);
    return suffix == "edit" || suffix == "error";
}

bool valid_app_id(std::string_view id)
{
    return !id.empty() && id.size() <= max_rule_app_id_bytes && std::ranges::all_of(id, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' ||
               c == '_';
    });
}

bool valid_rule(std::string_view key, const SettingValue& value)
{
    if (!key.starts_with(rule_prefix)) {
        return false;
    }
    const std::string_view rest = key.substr(rule_prefix.size());
    const std::size_t dot = rest.rfind('.');
    if (dot == std::string_view::npos || !valid_app_id(rest.substr(0, dot))) {
        return false;
    }
    const std::string_view field = rest.substr(dot + 1);
    if (listed(rule_bool_fields, field)) {
        return is_bool(value);
    }
    return field == "mute" && is_text(value);
}

}  // namespace

bool setting_accepts(std::string_view key, const SettingValue& value)
{
    const bool suffixed = has_edit_suffix(key);
    const bool rule = valid_rule(key, value);
    if (listed(text_keys, key) || listed(focus_text_keys, key)) {
        return is_text(value);
    }
    if (listed(bool_keys, key)) {
        return is_bool(value);
    }
    if (!suffixed && panes::keyboard_shortcuts::catalogue::is_shortcut_key(key)) {
        return is_text(value);
    }
    if (key.starts_with(default_apps_prefix) && !suffixed) {
        return is_text(value);
    }
    return rule;
}

namespace {

ActionError stale_target(const std::string& key)
{
    return ActionError(ActionError::Kind::Rejected, "settings target is stale, unknown, or has an invalid value: " + key);
}

}  // namespace

std::expected<void, ActionError> store_and_apply_settings_action(const SettingsAction& action,
                                                                 page_doc::Document& doc)
{
    const auto& [key, value] = std::get<SettingsAction::SetSetting>(action.value);
    if (!setting_accepts(key, value)) {
        return std::unexpected(stale_target(key));
    }
    const auto* on = std::get_if<bool>(&value.value);
    const auto stored = on != nullptr ? setting_tables::store_bool(key, *on)
                                      : setting_tables::store_text(key, std::get<std::string>(value.value));
    if (!stored) {
        return std::unexpected(ActionError(ActionError::Kind::Rejected, stored.error()));
    }
    return apply_settings_action(action, doc);
}

std::expected<void, ActionError> apply_settings_action(const SettingsAction& action, page_doc::Document& doc)
{
    const auto& [key, value] = std::get<SettingsAction::SetSetting>(action.value);
    if (!setting_accepts(key, value)) {
        return std::unexpected(stale_target(key));
    }
    const page_doc::Value* stored = doc.get(key);
    if (const auto* on = std::get_if<bool>(&value.value)) {
        const auto* current = stored == nullptr ? nullptr : std::get_if<bool>(stored);
        if (current == nullptr || *current != *on) {
            doc.put_bool(key, *on);
        }
        return {};
    }
    const auto& text = std::get<std::string>(value.value);  // the table accepts only Bool and Text
    const auto* current = stored == nullptr ? nullptr : std::get_if<std::string>(stored);
    if (current == nullptr || *current != text) {
        doc.put_str(key, text);
    }
    return {};
}

// ---- Debug text, boxing, decoding, registration

namespace {

std::string debug_quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                out += fmt::format("\\u{{{:x}}}", static_cast<unsigned char>(c));
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string debug_float(double value)
{
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    std::string text = fmt::format("{}", value);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string debug_value(const SettingValue& value)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, bool>) {
                return v ? "Bool(true)" : "Bool(false)";
            } else if constexpr (std::is_same_v<V, std::int64_t>) {
                return fmt::format("Int({})", v);
            } else if constexpr (std::is_same_v<V, double>) {
                return "Float(" + debug_float(v) + ")";
            } else {
                return "Text(" + debug_quoted(v) + ")";
            }
        },
        value.value);
}

class SettingsActionDecoder final : public vorn_actions::ActionDecoder {
public:
    explicit SettingsActionDecoder(std::string name) : name_(std::move(name)) {}
    [[nodiscard]] std::string_view name() const override { return name_; }
    [[nodiscard]] std::expected<std::unique_ptr<vorn_actions::ApplicationAction>, ActionError> decode(
        std::string_view payload) const override
    {
        return decode_settings_action(payload, name_);
    }

private:
    std::string name_;
};

}  // namespace

std::string settings_action_debug_text(const SettingsAction& action)
{
    const auto& set = std::get<SettingsAction::SetSetting>(action.value);
    return "SetSetting { key: " + debug_quoted(set.key) + ", value: " + debug_value(set.value) + " }";
}

std::expected<std::string, std::string> SettingsApplicationAction::write_payload() const
{
    return encode_payload(action_, JsonStyle::Compact);
}

std::unique_ptr<vorn_actions::ApplicationAction> to_application_action(const SettingsAction& action)
{
    return std::make_unique<SettingsApplicationAction>(action);
}

std::expected<std::unique_ptr<vorn_actions::ApplicationAction>, ActionError> decode_settings_action(
    std::string_view payload, std::string_view name)
{
    auto action = decode_payload<SettingsAction>(payload);
    if (!action) {
        return std::unexpected(ActionError(ActionError::Kind::PayloadDecoding, std::move(action.error()),
                                           std::string(name)));
    }
    return std::make_unique<SettingsApplicationAction>(std::move(*action),
                                                       SettingsApplicationAction::Origin::Decoded);
}

void register_action_decoder(vorn_actions::ActionDecoderRegistry& registry, std::string_view name)
{
    registry.insert(std::string(name), std::make_unique<SettingsActionDecoder>(std::string(name)));
}

void register_settings_action(vorn_actions::ActionDecoderRegistry& registry)
{
    register_action_decoder(registry, settings_action_name);
}

}  // namespace settings::actions
