#pragma once
// A control bound to one action of the resource contract.
//
// An ActionBinding<T> holds where the action lives (resource id, action id), a copy of the action's specification
// (so the binding outlives the resource tree it was taken from) and a shared function from the control's value
// (T) to the action's arguments. invoke() turns one value into a ControlInvocation after checking the arguments
// against the action spec with build_json; the encoded action of that check is dropped.
//
//   auto binding = ActionBinding<bool>::for_action(section, "auto_brightness",
//                                                  [](bool on) { return nlohmann::ordered_json{{"value", on}}; });
//   auto invocation = binding->invoke(true);        // {resource id, "auto_brightness", {"value": true}}
//
// Parameterless actions (buttons) bind with T = Unit through ActionBinding<Unit>::unit_for.

#include "vorn_actions/action.hpp"
#include "vorn_actions/address.hpp"
#include "vorn_actions/resource.hpp"

#include <nlohmann/json.hpp>

#include <concepts>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace vorn_actions {

// The value of a control that carries none (a push button).
struct Unit {
    friend constexpr bool operator==(Unit, Unit) = default;
};

// A binding that could not be made: the resource does not publish the action.
struct BindingError {
    std::string resource_id;
    std::string action_id;

    [[nodiscard]] std::string display() const { return "resource " + resource_id + " has no action " + action_id; }
    friend bool operator==(const BindingError&, const BindingError&) = default;
};

template <class T>
class ActionBinding {
public:
    using ValueFunction = std::function<nlohmann::ordered_json(const T&)>;

    // Binds the first action of `resource` whose id equals `action_id` (byte for byte). The binding holds copies
    // of both ids and of the found specification.
    [[nodiscard]] static std::expected<ActionBinding, BindingError> for_action(const Resource& resource,
                                                                              std::string_view action_id,
                                                                              ValueFunction value_function)
    {
        const ActionSpec* spec = resource.find_action(action_id);
        if (spec == nullptr) {
            return std::unexpected(BindingError{resource.id, std::string(action_id)});
        }
        return ActionBinding(resource.id, *spec,
                             std::make_shared<const ValueFunction>(std::move(value_function)));
    }

    // The binding of a parameterless action: its arguments are always the empty object.
    [[nodiscard]] static std::expected<ActionBinding, BindingError> unit_for(const Resource& resource,
                                                                            std::string_view action_id)
        requires std::same_as<T, Unit>
    {
        return for_action(resource, action_id, [](const Unit&) { return nlohmann::ordered_json::object(); });
    }

    [[nodiscard]] const std::string& resource_id() const { return resource_id_; }
    [[nodiscard]] const std::string& action_id() const { return action_id_; }
    [[nodiscard]] const ActionSpec& spec() const { return spec_; }
    [[nodiscard]] ActionAddress address() const { return {resource_id_, action_id_}; }

    // The arguments the value stands for.
    [[nodiscard]] nlohmann::ordered_json arguments(const T& value) const { return (*value_function_)(value); }

    // The invocation for one control value, or the action spec's refusal of its arguments.
    [[nodiscard]] std::expected<ControlInvocation, ActionError> invoke(T value) const
    {
        nlohmann::ordered_json args = arguments(value);
        auto checked = spec_.build_json(args);
        if (!checked) {
            return std::unexpected(std::move(checked.error()));
        }
        if (!args.is_object()) {  // build_json refuses these already; kept for the record's invariant
            return std::unexpected(ActionError(ActionError::Kind::InvalidArguments, "arguments must be an object"));
        }
        return ControlInvocation{resource_id_, action_id_, ActionArgs(std::move(args))};
    }

private:
    ActionBinding(std::string resource_id, ActionSpec spec, std::shared_ptr<const ValueFunction> value_function)
        : resource_id_(std::move(resource_id)),
          action_id_(spec.id),
          spec_(std::move(spec)),
          value_function_(std::move(value_function))
    {
    }

    std::string resource_id_;
    std::string action_id_;
    ActionSpec spec_;
    std::shared_ptr<const ValueFunction> value_function_;
};

}  // namespace vorn_actions
