#pragma once
// Operations of the Displays section, with the two display records of the settings store they carry.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "actions/payloads/describe.hpp"

namespace settings::actions {

// One display mode of an output. The settings store's hardware records use the same wire form.
struct OutputMode {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t refresh_mhz = 0;  // refresh rate in millihertz (60000 is 60 Hz)
    VORN_PAYLOAD_FIELDS(OutputMode, width, height, refresh_mhz);
};

// The rotation of an output; the value is the rotation index of the orientation labels.
enum class OutputTransform : std::uint8_t { Normal, Rotate90, Rotate180, Rotate270 };

constexpr std::array<std::string_view, 4> payload_enum_names(OutputTransform)
{
    return {"normal", "rotate90", "rotate180", "rotate270"};
}
constexpr std::string_view payload_enum_type_name(OutputTransform) { return "OutputTransform"; }

// Brightness, Night Light, display scale, the per-output configuration (staged) and the commands of the staged
// configuration. `connector` names one output of the live display capabilities.
struct DisplayOperation {
    static constexpr std::string_view enum_name = "DisplayOperation";
    static constexpr std::string_view kind = "settings.display-operation";

    // Display brightness, 0 (darkest) to 1 (brightest).
    struct SetBrightness {
        double value = 0.0;
        VORN_PAYLOAD_FIELDS(SetBrightness, value);
    };
    struct SetAutoBrightness {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetAutoBrightness, enabled);
    };
    struct SetNightLight {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetNightLight, enabled);
    };
    // Night Light warmth label, such as "Warm · 3700 K".
    struct SetNightLightTemperature {
        std::string label;
        VORN_PAYLOAD_FIELDS(SetNightLightTemperature, label);
    };
    // Display scale label, "100%" to "200%".
    struct SetScale {
        std::string label;
        VORN_PAYLOAD_FIELDS(SetScale, label);
    };
    struct SetPrimary {
        std::string connector;
        bool primary = false;
        VORN_PAYLOAD_FIELDS(SetPrimary, connector, primary);
    };
    struct SetOutputScale {
        std::string connector;
        std::string label;
        VORN_PAYLOAD_FIELDS(SetOutputScale, connector, label);
    };
    // Position text: "Automatic" or "<direction> of <output>".
    struct SetPosition {
        std::string connector;
        std::string label;
        VORN_PAYLOAD_FIELDS(SetPosition, connector, label);
    };
    // Mirror text: "Extend workspace" or "Mirror <output>".
    struct SetMirror {
        std::string connector;
        std::string label;
        VORN_PAYLOAD_FIELDS(SetMirror, connector, label);
    };
    // The label of one of the output's modes.
    struct SetModeLabel {
        std::string connector;
        std::string label;
        VORN_PAYLOAD_FIELDS(SetModeLabel, connector, label);
    };
    // Orientation label: "Landscape", "Portrait right", "Upside down" or "Portrait left".
    struct SetTransformLabel {
        std::string connector;
        std::string label;
        VORN_PAYLOAD_FIELDS(SetTransformLabel, connector, label);
    };
    // Colour-profile text: "System default" or the text of one of the output's profiles.
    struct SetColorProfileLabel {
        std::string connector;
        std::string label;
        VORN_PAYLOAD_FIELDS(SetColorProfileLabel, connector, label);
    };
    struct SetEnabled {
        std::string connector;
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetEnabled, connector, enabled);
    };
    struct SetMode {
        std::string connector;
        OutputMode mode;
        VORN_PAYLOAD_FIELDS(SetMode, connector, mode);
    };
    struct SetTransform {
        std::string connector;
        OutputTransform transform = OutputTransform::Normal;
        VORN_PAYLOAD_FIELDS(SetTransform, connector, transform);
    };
    struct SetHdr {
        std::string connector;
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetHdr, connector, enabled);
    };
    struct SetVrr {
        std::string connector;
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetVrr, connector, enabled);
    };
    // A profile identifier of the output; none selects the system default.
    struct SetColorProfile {
        std::string connector;
        std::optional<std::string> profile;
        VORN_PAYLOAD_FIELDS(SetColorProfile, connector, profile);
    };
    VORN_PAYLOAD_UNIT(Apply);    // put the staged configuration into effect, awaiting confirmation
    VORN_PAYLOAD_UNIT(Confirm);  // keep the pending configuration
    VORN_PAYLOAD_UNIT(Revert);   // undo the pending configuration

    using Variant = std::variant<SetBrightness, SetAutoBrightness, SetNightLight, SetNightLightTemperature, SetScale,
                                 SetPrimary, SetOutputScale, SetPosition, SetMirror, SetModeLabel, SetTransformLabel,
                                 SetColorProfileLabel, SetEnabled, SetMode, SetTransform, SetHdr, SetVrr,
                                 SetColorProfile, Apply, Confirm, Revert>;
    Variant value;
    VORN_PAYLOAD_ENUM(DisplayOperation);
};

}  // namespace settings::actions
