#include "vorn_actions/resource.hpp"

#include <algorithm>
#include <cmath>

namespace vorn_actions {

ActionSpec ActionSpec::privileged() &&
{
    is_privileged = true;
    return std::move(*this);
}

ActionSpec ActionSpec::destructive() &&
{
    is_destructive = true;
    return std::move(*this);
}

ActionSpec ActionSpec::with_contract(ActionContract new_contract) &&
{
    contract = std::move(new_contract);
    return std::move(*this);
}

Resource Resource::with_child(Resource child) &&
{
    children.push_back(std::move(child));
    return std::move(*this);
}

Resource Resource::with_action(ActionSpec action) &&
{
    actions.push_back(std::move(action));
    return std::move(*this);
}

const ActionSpec* Resource::find_action(std::string_view action_id) const
{
    const auto it = std::ranges::find(actions, action_id, &ActionSpec::id);
    return it == actions.end() ? nullptr : &*it;
}

}  // namespace vorn_actions

namespace vorn_actions {

ActionParam ActionParam::with_choices(std::vector<std::string> texts) &&
{
    choices = std::move(texts);
    return std::move(*this);
}

ActionParam ActionParam::with_choice_texts(std::span<const std::string_view> texts) &&
{
    choices.assign(texts.begin(), texts.end());
    return std::move(*this);
}

ActionParam ActionParam::with_choice_texts(std::initializer_list<std::string_view> texts) &&
{
    choices.assign(texts.begin(), texts.end());
    return std::move(*this);
}

ActionParam ActionParam::with_schema(nlohmann::ordered_json schema_object) &&
{
    schema = std::move(schema_object);
    return std::move(*this);
}

namespace {

std::string_view json_type_name(ParamType type)
{
    switch (type) {
    case ParamType::Text: return "string";
    case ParamType::Number: return "number";
    case ParamType::Boolean: return "boolean";
    }
    return "string";
}

bool has_type(const nlohmann::ordered_json& value, ParamType type)
{
    switch (type) {
    case ParamType::Text: return value.is_string();
    case ParamType::Number: return value.is_number();
    case ParamType::Boolean: return value.is_boolean();
    }
    return false;
}

}  // namespace

InputDescription derive_input(const std::vector<ActionParam>& params, std::string_view hint)
{
    nlohmann::ordered_json properties = nlohmann::ordered_json::object();
    for (const ActionParam& param : params) {
        nlohmann::ordered_json property = {{"type", json_type_name(param.type)}, {"title", param.title}};
        if (!param.choices.empty()) {
            property["enum"] = param.choices;
        }
        if (param.schema && param.schema->is_object()) {
            for (const auto& [key, value] : param.schema->items()) {
                property[key] = value;
            }
        }
        properties[param.name] = std::move(property);
    }
    nlohmann::ordered_json schema = {{"type", "object"}, {"properties", std::move(properties)}};
    return InputDescription{std::string(hint), std::move(schema)};
}

std::expected<EncodedAction, ActionError> enforce_operation_type(EncodedAction action, std::string_view expected_kind)
{
    if (action.kind != expected_kind) {
        return std::unexpected(ActionError(ActionError::Kind::KindMismatch,
                                           "expected " + std::string(expected_kind) + ", got " + action.kind));
    }
    return action;
}

std::expected<EncodedAction, ActionError> ActionSpec::build_json(const nlohmann::ordered_json& arguments) const
{
    if (!arguments.is_object()) {
        return std::unexpected(
            ActionError(ActionError::Kind::InvalidArguments, "the arguments of " + id + " must be a JSON object"));
    }
    for (const ActionParam& param : params) {
        const auto it = arguments.find(param.name);
        // A number is never made up: an absent or null number (a non-finite one is sent as null) is refused rather
        // than read as 0 further down.
        if (param.type == ParamType::Number && (it == arguments.end() || it->is_null())) {
            return std::unexpected(ActionError(ActionError::Kind::InvalidArguments,
                                               id + " needs a number for " + param.name + ", and none was given"));
        }
        if (param.type == ParamType::Number && it->is_number_float() && !std::isfinite(it->get<double>())) {
            return std::unexpected(ActionError(ActionError::Kind::InvalidArguments,
                                               "argument " + param.name + " of " + id + " must be a finite number"));
        }
        if (it == arguments.end() || it->is_null() || has_type(*it, param.type)) {
            continue;
        }
        return std::unexpected(ActionError(ActionError::Kind::InvalidArguments,
                                           "argument " + param.name + " of " + id + " must be a " +
                                               std::string(json_type_name(param.type))));
    }
    if (!handler) {
        return std::unexpected(ActionError(ActionError::Kind::UnknownAction, id + " has no handler"));
    }
    return handler(ActionArgs(arguments));
}

}  // namespace vorn_actions
