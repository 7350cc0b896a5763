#include "operations/applied.hpp"

#include "operations/live_state.hpp"

#include "keyboard_layouts/keyboard_layouts.hpp"
#include "prefs/locale.hpp"
#include "prefs/settings_file.hpp"

#include "system_ops/time.hpp"

#include <utility>

namespace settings::operations {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

}  // namespace

std::vector<actions::KeyboardLayout> system_keyboard_layouts()
{
    const auto& catalogue = keyboard_layouts::keyboard_layout_catalog();
    std::vector<actions::KeyboardLayout> out;
    out.reserve(catalogue.size());
    for (const auto& entry : catalogue) {
        out.push_back({.id = entry.id, .label = entry.label});
    }
    return out;
}

Outcome apply_input_operation(const actions::InputOperation& operation,
                              const actions::KeyboardLayoutCatalogue& catalogue)
{
    using Op = actions::InputOperation;
    auto file = prefs::load_settings_file();
    auto& input = file.input;
    prefs::normalise_input_sources(input);

    // The check reads the catalogue once at most; the change below uses the same copy.
    std::optional<std::vector<actions::KeyboardLayout>> layouts;
    const auto read_catalogue = [&]() -> const std::vector<actions::KeyboardLayout>& {
        if (!layouts) {
            layouts = catalogue();
        }
        return *layouts;
    };
    const actions::InputLiveState state{.catalogue = [&] { return read_catalogue(); },
                                        .active_layouts = input.keyboard_layouts};
    if (auto checked = actions::check_input_operation(operation, state); !checked) {
        return std::unexpected(std::move(checked.error()));
    }

    std::visit(Overloaded{
                   [&](const Op::SetTouchpadNaturalScroll& op) { input.touchpad_natural_scroll = op.enabled; },
                   [&](const Op::SetMouseNaturalScroll& op) { input.mouse_natural_scroll = op.enabled; },
                   [&](const Op::SetTapToClick& op) { input.tap_to_click = op.enabled; },
                   [&](const Op::SetTouchpadPointerSpeed& op) { input.touchpad_pointer_speed = op.value; },
                   [&](const Op::SetMousePointerSpeed& op) { input.mouse_pointer_speed = op.value; },
                   [&](const Op::SetKeyRepeat& op) {
                       input.key_repeat = op.value;
                       input.key_repeat_delay_ms.reset();
                       input.key_repeat_rate_hz.reset();
                   },
                   [&](const Op::SetTapDrag& op) { input.tap_drag = op.enabled; },
                   [&](const Op::SetDisableWhileTyping& op) { input.disable_while_typing = op.enabled; },
                   [&](const Op::SetMiddleEmulation& op) { input.middle_emulation = op.enabled; },
                   [&](const Op::SetLeftHanded& op) { input.left_handed = op.enabled; },
                   [&](const Op::SetTouchpadGestures& op) { input.touchpad_gestures = op.enabled; },
                   [&](const Op::SetAccelerationProfile& op) {
                       input.accel_profile = *actions::acceleration_profile_value(op.profile);
                   },
                   [&](const Op::SetComposeKey& op) { input.compose_key = *actions::compose_key_value(op.key); },
                   [&](const Op::SetActiveSource& op) {
                       input.keyboard_layout =
                           *actions::active_source_id(op.label, read_catalogue(), input.keyboard_layouts);
                   },
               },
               operation.value);
    prefs::normalise_input_sources(input);
    if (auto saved = prefs::save_settings_file(file); !saved) {
        return std::unexpected("could not persist input preferences: " + saved.error());
    }
    return std::string(actions::input_operation_done_message(operation));
}

Outcome apply_keyboard_source_operation(const actions::KeyboardSourceOperation& operation,
                                        const actions::KeyboardLayoutCatalogue& catalogue)
{
    auto file = prefs::load_settings_file();
    auto& input = file.input;
    prefs::normalise_input_sources(input);
    actions::KeyboardSources sources{.layouts = input.keyboard_layouts, .active = input.keyboard_layout};
    auto outcome = actions::apply_keyboard_source_operation(operation, catalogue, sources);
    if (!outcome) {
        return outcome;
    }
    input.keyboard_layouts = std::move(sources.layouts);
    input.keyboard_layout = std::move(sources.active);
    prefs::normalise_input_sources(input);
    if (auto saved = prefs::save_settings_file(file); !saved) {
        return std::unexpected("could not persist keyboard input sources: " + saved.error());
    }
    return outcome;
}

Outcome apply_time_date_operation(const actions::TimeDateOperation& operation)
{
    using Op = actions::TimeDateOperation;
    return std::visit(
        Overloaded{
            [&](const Op::SetTimezone& op) -> Outcome {
                if (auto checked = actions::check_time_date_operation(operation, live_time_state()); !checked) {
                    return std::unexpected(std::move(checked.error()));
                }
                if (auto set = system_ops::time::set_timezone(op.timezone); !set) {
                    return std::unexpected("time zone could not be changed: " + set.error());
                }
                return "time zone updated";
            },
            [](const Op::SetAutomaticTime& op) -> Outcome {
                if (auto set = system_ops::time::set_ntp(op.enabled); !set) {
                    return std::unexpected("automatic time could not be changed: " + set.error());
                }
                return "automatic time updated";
            },
            [](const Op::SetHourCycle& op) -> Outcome {
                if (auto saved = prefs::save_time_format(op.h24 ? prefs::HourCycle::H24 : prefs::HourCycle::H12);
                    !saved) {
                    return std::unexpected("could not persist clock format: " + saved.error());
                }
                return "clock format updated";
            },
        },
        operation.value);
}

}  // namespace settings::operations
