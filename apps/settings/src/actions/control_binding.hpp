#pragma once
// Binding page controls to actions of the static resource contract.
//
// A binding routine builds the section resource (or a reduced resource for one control), finds the action and binds
// it with the value function of its control; the page hands the binding to the widget (Toggle/Slider/Dropdown/
// Button::on_action). When the user changes the control, the widget's emitter turns the value into a
// ControlInvocation with encode_control_invocation.
//
//   auto binding = bind_toggle(section, "auto_brightness");       // expected<ActionBinding<bool>, BindingError>
//   if (!binding) contract_violation("automatic brightness is part of the static resource contract");
//   toggle.on_action(std::move(*binding));
//
// Value functions (each builds an object with exactly one member):
//   toggle         {"value": true|false}
//   slider         {"value": n}, a non-finite n sent as null (left to the action's checks)
//   drop-down      {"choice": text}
//   charge cap     {"percent": text}
//   named choice   {name: text}, name fixed when the binding is made (Mouse & Keyboard choices)
//   button         the parameterless form (vorn_actions::ActionBinding<Unit>::unit_for)

#include "vorn_actions/binding.hpp"
#include "vorn_actions/resource.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace settings::actions {

using vorn_actions::ActionBinding;
using vorn_actions::BindingError;

// The value functions.
[[nodiscard]] inline nlohmann::ordered_json bool_arguments(const bool& on) { return {{"value", on}}; }
[[nodiscard]] inline nlohmann::ordered_json number_arguments(const double& level)
{
    return {{"value", std::isfinite(level) ? nlohmann::ordered_json(level) : nlohmann::ordered_json(nullptr)}};
}
[[nodiscard]] inline nlohmann::ordered_json choice_arguments(const std::string& text) { return {{"choice", text}}; }
[[nodiscard]] inline nlohmann::ordered_json percent_arguments(const std::string& text) { return {{"percent", text}}; }

// Binds the first action of `resource` with the id `action_id` (or the id of `spec`) to `value_function`; the
// binding holds copies of the resource id, the action id and the found specification (not the one passed in).
template <class T>
[[nodiscard]] std::expected<ActionBinding<T>, BindingError> bind_value_closure(
    const vorn_actions::Resource& resource, std::string_view action_id,
    typename ActionBinding<T>::ValueFunction value_function)
{
    return ActionBinding<T>::for_action(resource, action_id, std::move(value_function));
}
template <class T>
[[nodiscard]] std::expected<ActionBinding<T>, BindingError> bind_value_closure(
    const vorn_actions::Resource& resource, const vorn_actions::ActionSpec& spec,
    typename ActionBinding<T>::ValueFunction value_function)
{
    return ActionBinding<T>::for_action(resource, spec.id, std::move(value_function));
}

[[nodiscard]] std::expected<ActionBinding<bool>, BindingError> bind_toggle(const vorn_actions::Resource& resource,
                                                                          std::string_view action_id);
[[nodiscard]] std::expected<ActionBinding<double>, BindingError> bind_slider(const vorn_actions::Resource& resource,
                                                                            std::string_view action_id);
[[nodiscard]] std::expected<ActionBinding<std::string>, BindingError> bind_choice(
    const vorn_actions::Resource& resource, std::string_view action_id);
[[nodiscard]] std::expected<ActionBinding<std::string>, BindingError> bind_percent(
    const vorn_actions::Resource& resource, std::string_view action_id);
// The text goes under the name of the found specification's parameter: "choice" if it has one, else "label" if it
// has one, else "value".
[[nodiscard]] std::expected<ActionBinding<std::string>, BindingError> bind_named_choice(
    const vorn_actions::Resource& resource, std::string_view action_id);
[[nodiscard]] std::expected<ActionBinding<vorn_actions::Unit>, BindingError> bind_button(
    const vorn_actions::Resource& resource, std::string_view action_id);

// The parameter name bind_named_choice uses for a specification.
[[nodiscard]] std::string choice_parameter_name(const vorn_actions::ActionSpec& spec);

// The invocation for one control value: the arguments of the value function, checked with build_json against
// the binding's specification (the encoded action of the check is dropped); the check's error otherwise.
template <class T>
[[nodiscard]] std::expected<vorn_actions::ControlInvocation, vorn_actions::ActionError> encode_control_invocation(
    const ActionBinding<T>& binding, T value)
{
    return binding.invoke(std::move(value));
}

}  // namespace settings::actions
