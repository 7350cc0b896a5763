#include "vorn_ui/actions/control_action.hpp"

#include "vorn_log/log.hpp"

#include <cstdlib>

namespace vorn_ui {
namespace {

[[noreturn]] void stop(std::string_view message)
{
    VORN_ERROR("control_action", "{}", message);
    vorn_log::logger().flush();
    std::abort();
}

}  // namespace

std::string control_resource_id(std::string_view control_id)
{
    return std::string(control_resource_kind) + ":" + std::string(control_id);
}

std::expected<vorn_actions::ActionSpec, vorn_actions::ActionError> control_action_spec(
    std::string_view action_id, std::string_view kind, std::string title, std::optional<bool> flag,
    std::string_view control_id)
{
    auto encoded = vorn_actions::EncodedAction::from_payload(kind, control_id);
    if (!encoded) {
        return std::unexpected(std::move(encoded.error()));
    }
    vorn_actions::ActionSpec spec{std::string(action_id), std::move(title)};
    spec.control_flag = flag;
    if (flag) {
        spec.effect_class = *flag ? 1 : 2;
        spec.contract.effects =
            *flag ? vorn_actions::EffectSetting::Operation : vorn_actions::EffectSetting::Navigation;
    }
    spec.handler = [action = std::move(*encoded)](const vorn_actions::ActionArgs& /*args*/)
        -> std::expected<vorn_actions::EncodedAction, vorn_actions::ActionError> { return action; };
    return spec;
}

ControlInvokeTarget ControlInvokeTarget::bind(std::string_view control_id, std::string_view label,
                                              std::optional<bool> flag, Callback callback)
{
    std::string resource_id = control_resource_id(control_id);
    auto spec = control_action_spec(control_invoke_action_id, control_invoke_kind, std::string(label), flag,
                                    control_id);
    if (!spec) {
        stop("a control id is always JSON serializable");
    }
    spec->is_control_action = true;
    std::string payload = vorn_actions::EncodedAction::from_payload(control_invoke_kind, control_id)->payload;
    vorn_actions::Resource resource = vorn_actions::Resource(std::move(resource_id), control_resource_kind,
                                                             std::string(label))
                                          .with_action(std::move(*spec));
    auto binding = vorn_actions::ActionBinding<vorn_actions::Unit>::unit_for(resource, control_invoke_action_id);
    if (!binding) {
        stop("the synthesized invoke action is nullary");
    }
    return {std::move(resource), std::move(*binding), std::move(payload), std::move(callback)};
}

bool ControlInvokeTarget::handles(std::string_view kind, std::string_view payload) const
{
    return kind == control_invoke_kind && payload == payload_;
}

ResourceOperationResult ControlInvokeTarget::invoke(std::string_view kind, std::string_view payload)
{
    if (!handles(kind, payload)) {
        return ResourceOperationResult::not_handled();
    }
    if (callback_) {
        callback_();
    }
    return ResourceOperationResult::completed_with({});
}

}  // namespace vorn_ui
