#include "actions/control_binding.hpp"

#include <algorithm>

namespace settings::actions {

std::expected<ActionBinding<bool>, BindingError> bind_toggle(const vorn_actions::Resource& resource,
                                                            std::string_view action_id)
{
    return bind_value_closure<bool>(resource, action_id, &bool_arguments);
}

std::expected<ActionBinding<double>, BindingError> bind_slider(const vorn_actions::Resource& resource,
                                                              std::string_view action_id)
{
    return bind_value_closure<double>(resource, action_id, &number_arguments);
}

std::expected<ActionBinding<std::string>, BindingError> bind_choice(const vorn_actions::Resource& resource,
                                                                   std::string_view action_id)
{
    return bind_value_closure<std::string>(resource, action_id, &choice_arguments);
}

std::expected<ActionBinding<std::string>, BindingError> bind_percent(const vorn_actions::Resource& resource,
                                                                    std::string_view action_id)
{
    return bind_value_closure<std::string>(resource, action_id, &percent_arguments);
}

std::string choice_parameter_name(const vorn_actions::ActionSpec& spec)
{
    const auto has = [&](std::string_view name) {
        return std::ranges::any_of(spec.params, [&](const vorn_actions::ActionParam& p) { return p.name == name; });
    };
    if (has("choice")) {
        return "choice";
    }
    if (has("label")) {
        return "label";
    }
    return "value";
}

std::expected<ActionBinding<std::string>, BindingError> bind_named_choice(const vorn_actions::Resource& resource,
                                                                         std::string_view action_id)
{
    const vorn_actions::ActionSpec* spec = resource.find_action(action_id);
    if (spec == nullptr) {
        return std::unexpected(BindingError{resource.id, std::string(action_id)});
    }
    return bind_value_closure<std::string>(
        resource, action_id, [name = choice_parameter_name(*spec)](const std::string& text) {
            return nlohmann::ordered_json{{name, text}};
        });
}

std::expected<ActionBinding<vorn_actions::Unit>, BindingError> bind_button(const vorn_actions::Resource& resource,
                                                                          std::string_view action_id)
{
    return ActionBinding<vorn_actions::Unit>::unit_for(resource, action_id);
}

}  // namespace settings::actions
