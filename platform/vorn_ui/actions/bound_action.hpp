#pragma once
// The three Widget operations of a control that may be bound to one action, written once for every such widget:
// a widget keeps its binding as std::optional<ControlAction<T>> and forwards to these.
//
//   std::optional<ControlInvocation> Toggle::take_control_invocation() { return take_bound_invocation(action_); }

#include "vorn_ui/actions/control_action.hpp"

#include <optional>
#include <vector>

namespace vorn_ui {

template <class T>
[[nodiscard]] std::optional<vorn_actions::ControlInvocation> take_bound_invocation(
    std::optional<ControlAction<T>>& action)
{
    return action ? action->take_control_invocation() : std::nullopt;
}

template <class T>
[[nodiscard]] std::vector<ControlActionBinding> bound_action_bindings(const std::optional<ControlAction<T>>& action)
{
    std::vector<ControlActionBinding> bindings;
    if (action) {
        bindings.push_back(action->control_binding());
    }
    return bindings;
}

// Answers whether the action's availability changed (a widget that draws it redraws).
template <class T>
bool refresh_bound_availability(std::optional<ControlAction<T>>& action, const ActionAvailability& availability)
{
    if (!action) {
        return false;
    }
    const bool before = action->is_available();
    action->refresh_availability(availability);
    return before != action->is_available();
}

}  // namespace vorn_ui
