#include "vorn_ui/actions/action_records.hpp"

#include <nlohmann/json.hpp>

namespace vorn_ui {
namespace {

constexpr std::string_view action_entry_prefix = "\x01"
                                                 "action"
                                                 "\x1F";

std::string context_label(const std::expected<std::string, std::string>& payload)
{
    if (!payload) {
        return "Update";
    }
    const nlohmann::ordered_json value = nlohmann::ordered_json::parse(*payload, nullptr, false);
    if (value.is_string()) {
        return vorn_actions::humanize_identifier(value.get<std::string>());
    }
    if (value.is_object() && value.size() == 1) {
        return vorn_actions::humanize_identifier(value.begin().key());
    }
    return "Update";
}

}  // namespace

vorn_actions::ActionContext action_context_from_payload(std::string_view app_id, std::string_view app_name,
                                                        const std::expected<std::string, std::string>& payload)
{
    vorn_actions::ActionContext context;
    context.label = context_label(payload);
    return action_context_entry(std::move(context), app_id, app_name);
}

vorn_actions::ActionContext action_context_with_label(std::string_view label, std::string subject_id,
                                                      std::string_view subject_kind, std::string_view subject_title)
{
    vorn_actions::ActionContext context;
    context.label = std::string(label);
    context.subject =
        vorn_actions::ActionSubject{std::move(subject_id), std::string(subject_kind), std::string(subject_title)};
    return context;
}

vorn_actions::ActionContext action_context_entry(vorn_actions::ActionContext context, std::string_view app_id,
                                                 std::string_view app_name)
{
    context.application = vorn_actions::ActionApplication{std::string(app_id), std::string(app_name)};
    return context;
}

SearchEntry SearchEntry::make(std::string_view source, std::string_view title, std::string id)
{
    SearchEntry entry;
    entry.source = std::string(source);
    entry.title = std::string(title);
    entry.id = std::move(id);
    return entry;
}

SearchEntry SearchEntry::for_action(std::string_view source, std::string_view title,
                                    vorn_actions::ActionAddress address)
{
    return make(source, title, std::string(action_entry_prefix) + address.encode());
}

SearchEntry SearchEntry::with_description(std::string_view text) &&
{
    description = std::string(text);
    return std::move(*this);
}

std::optional<vorn_actions::ActionAddress> search_entry_action(std::string_view entry_id)
{
    if (!entry_id.starts_with(action_entry_prefix)) {
        return std::nullopt;
    }
    auto address = vorn_actions::ActionAddress::decode(entry_id.substr(action_entry_prefix.size()));
    return address ? std::optional(std::move(*address)) : std::nullopt;
}

}  // namespace vorn_ui
