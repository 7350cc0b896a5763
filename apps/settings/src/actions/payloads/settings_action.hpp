#pragma once
// The generic set-setting action: one change of one per-user setting, named by a dotted key.

#include <cstdint>
#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "actions/payloads/describe.hpp"

namespace settings::actions {

// The value of a setting change. On the wire the variant name alone decides the kind: {"Float":1} is 1.0 and
// {"Int":1.0} is refused.
struct SettingValue {
    static constexpr std::string_view enum_name = "SettingValue";
    static constexpr std::array<std::string_view, 4> variant_names{"Bool", "Int", "Float", "Text"};

    using Variant = std::variant<bool, std::int64_t, double, std::string>;
    Variant value;

    static SettingValue Bool(bool v) { return SettingValue{Variant{std::in_place_index<0>, v}}; }
    static SettingValue Int(std::int64_t v) { return SettingValue{Variant{std::in_place_index<1>, v}}; }
    static SettingValue Float(double v) { return SettingValue{Variant{std::in_place_index<2>, v}}; }
    static SettingValue Text(std::string v) { return SettingValue{Variant{std::in_place_index<3>, std::move(v)}}; }

    friend bool operator==(const SettingValue&, const SettingValue&) = default;
};

struct SettingsAction {
    static constexpr std::string_view enum_name = "SettingsAction";
    static constexpr std::string_view kind = "settings.action";

    // Set the setting named by `key` (such as "appearance.theme") to `value`.
    struct SetSetting {
        std::string key;
        SettingValue value;
        VORN_PAYLOAD_FIELDS(SetSetting, key, value);
    };

    using Variant = std::variant<SetSetting>;
    Variant value;
    VORN_PAYLOAD_ENUM(SettingsAction);

    static SettingsAction set_setting(std::string key, SettingValue value)
    {
        return SetSetting{std::move(key), std::move(value)};
    }
};

}  // namespace settings::actions
