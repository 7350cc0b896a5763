#pragma once
// What a toolkit control holds once it is bound to an action, and the action a button publishes for itself.
//
// Binding a control to an action of the contract (Toggle/Slider/Dropdown/Button::on_action): the control keeps a
// ControlAction<T> made from the ActionBinding<T>, calls emit(value) when the user changes it, and forwards four
// Widget operations to it:
//
//   std::optional<ControlInvocation> take_control_invocation() override { return action_->take_control_invocation(); }
//   std::vector<ControlActionBinding> control_action_bindings() const override   // own entry, then the default
//   void refresh_control_action_availability(const ActionAvailability& a) override { action_->refresh_availability(a); }
//   bool is_enabled() const override { return enabled_ && (!action_ || action_->is_available()); }
//
// A button that runs its own callback (Button::bind_action): ControlInvokeTarget::bind makes the resource
// "vorn.control:<id>" with the one action "invoke" (kind "vorn.ui.control.invoke", the control id as its fixed
// JSON payload) and the unit binding to it. The button binds that (on_action), keeps the target, and answers three
// more Widget operations from it:
//
//   resources(doc)                      -> { target.resource() }
//   resource_operation_handlers()       -> the default set plus control_invoke_kind
//   invoke_resource_operation_v2(...)   -> target.invoke(kind, payload) when target.handles(kind, payload),
//                                          else the default
//
// A click then travels as any bound control's does: emit(Unit{}) queues the invocation; the loop takes it, resolves
// the resource, builds the action (run_control_invocation, invocation_route.hpp) and starts the operation on the
// root; the default routing brings it to the button's invoke_resource_operation_v2, which runs the callback.

#include "vorn_actions/action.hpp"
#include "vorn_actions/binding.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/actions/action_emitter.hpp"
#include "vorn_ui/records.hpp"
#include "vorn_ui/resource_ops.hpp"

#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorn_ui {

inline constexpr std::string_view control_invoke_kind = "vorn.ui.control.invoke";
inline constexpr std::string_view control_resource_kind = "vorn.control";
inline constexpr std::string_view control_invoke_action_id = "invoke";

// "vorn.control:" followed by the control id.
[[nodiscard]] std::string control_resource_id(std::string_view control_id);

// The action a control synthesizes for itself: `action_id` and `title` as given, kind `kind`, a fixed payload
// that is `control_id` written as a JSON string, and a handler that answers that payload whatever the arguments.
// The flag is stored in the action spec; when present it also sets the effect class: yes (the control acts) 1,
// no (the control only shows something) 2.
[[nodiscard]] std::expected<vorn_actions::ActionSpec, vorn_actions::ActionError> control_action_spec(
    std::string_view action_id, std::string_view kind, std::string title, std::optional<bool> flag,
    std::string_view control_id);

template <class T>
class ControlAction {
public:
    // Bound and available, with an enabled emitter.
    explicit ControlAction(vorn_actions::ActionBinding<T> binding) : emitter_(std::move(binding)) {}

    // Queues the invocation for the new value (see ActionEmitter::emit).
    std::expected<void, vorn_actions::ActionError> emit(T value) { return emitter_.emit(std::move(value)); }
    [[nodiscard]] std::optional<vorn_actions::ControlInvocation> take_control_invocation() { return emitter_.take(); }

    // The control's entry of control_action_bindings: `key` (by default the encoded address) and the Action target.
    [[nodiscard]] ControlActionBinding control_binding(std::optional<std::string> key = std::nullopt) const
    {
        vorn_actions::ActionAddress address = emitter_.binding().address();
        std::string entry_key = key ? std::move(*key) : address.encode();
        return ControlActionBinding{std::move(entry_key), ControlBindingTarget::action(std::move(address))};
    }

    // Stores whether the bound action is published now.
    void refresh_availability(const ActionAvailability& availability)
    {
        available_ = availability.is_available(emitter_.binding().address());
    }
    [[nodiscard]] bool is_available() const { return available_; }

    [[nodiscard]] const vorn_actions::ActionBinding<T>& binding() const { return emitter_.binding(); }
    [[nodiscard]] vorn_actions::ActionAddress address() const { return emitter_.binding().address(); }
    [[nodiscard]] ActionEmitter<T>& emitter() { return emitter_; }
    [[nodiscard]] const ActionEmitter<T>& emitter() const { return emitter_; }

private:
    ActionEmitter<T> emitter_;
    bool available_ = true;
};

class ControlInvokeTarget {
public:
    using Callback = std::function<void()>;

    // The resource, unit binding and callback of Button::bind_action for a control with this id and label.
    // The two failures this cannot meet (a text id always encodes; the synthesized action takes no argument) stop
    // the program with "a control id is always JSON serializable" and "the synthesized invoke action is nullary".
    [[nodiscard]] static ControlInvokeTarget bind(std::string_view control_id, std::string_view label,
                                                  std::optional<bool> flag, Callback callback);

    [[nodiscard]] const vorn_actions::Resource& resource() const { return resource_; }
    [[nodiscard]] const vorn_actions::ActionBinding<vorn_actions::Unit>& binding() const { return binding_; }
    [[nodiscard]] const std::string& payload() const { return payload_; }

    // Whether an operation of this kind and payload is this control's own invoke operation.
    [[nodiscard]] bool handles(std::string_view kind, std::string_view payload) const;
    // Runs the callback for the control's own invoke operation (Completed); NotHandled for any other operation.
    ResourceOperationResult invoke(std::string_view kind, std::string_view payload);

private:
    ControlInvokeTarget(vorn_actions::Resource resource, vorn_actions::ActionBinding<vorn_actions::Unit> binding,
                        std::string payload, Callback callback)
        : resource_(std::move(resource)),
          binding_(std::move(binding)),
          payload_(std::move(payload)),
          callback_(std::move(callback))
    {
    }

    vorn_actions::Resource resource_;
    vorn_actions::ActionBinding<vorn_actions::Unit> binding_;
    std::string payload_;
    Callback callback_;
};

}  // namespace vorn_ui
