#include "vorn_actions/args.hpp"

#include <stdexcept>

namespace vorn_actions {

ActionArgs::ActionArgs() : object_(nlohmann::ordered_json::object()) {}

ActionArgs::ActionArgs(nlohmann::ordered_json object) : object_(std::move(object))
{
    if (!object_.is_object()) {
        throw std::invalid_argument("action arguments must be a JSON object");
    }
}

ActionArgs ActionArgs::with(std::string_view name, nlohmann::ordered_json value) &&
{
    set(name, std::move(value));
    return std::move(*this);
}

void ActionArgs::set(std::string_view name, nlohmann::ordered_json value)
{
    object_[std::string(name)] = std::move(value);
}

const nlohmann::ordered_json* ActionArgs::find(std::string_view name) const
{
    const auto it = object_.find(name);
    return it == object_.end() ? nullptr : &*it;
}

std::optional<bool> ActionArgs::boolean(std::string_view name) const
{
    const auto* value = find(name);
    if (value == nullptr || !value->is_boolean()) {
        return std::nullopt;
    }
    return value->get<bool>();
}

std::optional<double> ActionArgs::number(std::string_view name) const
{
    const auto* value = find(name);
    if (value == nullptr || !value->is_number()) {
        return std::nullopt;
    }
    return value->get<double>();
}

std::optional<std::string> ActionArgs::text(std::string_view name) const
{
    const auto* value = find(name);
    if (value == nullptr || !value->is_string()) {
        return std::nullopt;
    }
    return value->get<std::string>();
}

}  // namespace vorn_actions
