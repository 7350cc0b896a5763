#pragma once
// Operations of the Mouse & Keyboard section: the list of active keyboard input sources and the input preferences.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "actions/payloads/describe.hpp"

namespace settings::actions {

// Edits of the list of active keyboard input sources (at most 4). Positions count from 0.
struct KeyboardSourceOperation {
    static constexpr std::string_view enum_name = "KeyboardSourceOperation";
    static constexpr std::string_view kind = "settings.keyboard-source-operation";

    // Activate the layout with this catalogue display label, appended at the end.
    struct Add {
        std::string label;
        VORN_PAYLOAD_FIELDS(Add, label);
    };
    // Swap the source at `index` with the one before it.
    struct MoveUp {
        std::uint64_t index = 0;
        VORN_PAYLOAD_FIELDS(MoveUp, index);
    };
    // Swap the source at `index` with the one after it.
    struct MoveDown {
        std::uint64_t index = 0;
        VORN_PAYLOAD_FIELDS(MoveDown, index);
    };
    // Remove the source at `index`.
    struct Remove {
        std::uint64_t index = 0;
        VORN_PAYLOAD_FIELDS(Remove, index);
    };

    using Variant = std::variant<Add, MoveUp, MoveDown, Remove>;
    Variant value;
    VORN_PAYLOAD_ENUM(KeyboardSourceOperation);
};

// Mouse, touchpad and keyboard preferences. Levels are fractions from 0 to 1; choices travel as their labels.
struct InputOperation {
    static constexpr std::string_view enum_name = "InputOperation";
    static constexpr std::string_view kind = "settings.input-operation";

    struct SetTouchpadNaturalScroll {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetTouchpadNaturalScroll, enabled);
    };
    struct SetMouseNaturalScroll {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetMouseNaturalScroll, enabled);
    };
    struct SetTapToClick {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetTapToClick, enabled);
    };
    struct SetTouchpadPointerSpeed {
        double value = 0.0;
        VORN_PAYLOAD_FIELDS(SetTouchpadPointerSpeed, value);
    };
    struct SetMousePointerSpeed {
        double value = 0.0;
        VORN_PAYLOAD_FIELDS(SetMousePointerSpeed, value);
    };
    struct SetKeyRepeat {
        double value = 0.0;
        VORN_PAYLOAD_FIELDS(SetKeyRepeat, value);
    };
    struct SetTapDrag {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetTapDrag, enabled);
    };
    struct SetDisableWhileTyping {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetDisableWhileTyping, enabled);
    };
    struct SetMiddleEmulation {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetMiddleEmulation, enabled);
    };
    struct SetLeftHanded {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetLeftHanded, enabled);
    };
    struct SetTouchpadGestures {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetTouchpadGestures, enabled);
    };
    // "Adaptive" or "Flat".
    struct SetAccelerationProfile {
        std::string profile;
        VORN_PAYLOAD_FIELDS(SetAccelerationProfile, profile);
    };
    // Compose key label: "Disabled", "Right Alt", "Menu", "Caps Lock", "Right Super" or "Left Super".
    struct SetComposeKey {
        std::string key;
        VORN_PAYLOAD_FIELDS(SetComposeKey, key);
    };
    // Make the active source with this catalogue display label the current one.
    struct SetActiveSource {
        std::string label;
        VORN_PAYLOAD_FIELDS(SetActiveSource, label);
    };

    using Variant =
        std::variant<SetTouchpadNaturalScroll, SetMouseNaturalScroll, SetTapToClick, SetTouchpadPointerSpeed,
                     SetMousePointerSpeed, SetKeyRepeat, SetTapDrag, SetDisableWhileTyping, SetMiddleEmulation,
                     SetLeftHanded, SetTouchpadGestures, SetAccelerationProfile, SetComposeKey, SetActiveSource>;
    Variant value;
    VORN_PAYLOAD_ENUM(InputOperation);
};

}  // namespace settings::actions
