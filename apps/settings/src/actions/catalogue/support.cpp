#include "actions/catalogue/support.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <fmt/format.h>

#include <map>
#include <memory>
#include <set>

namespace settings::actions::catalogue {

std::string clean_label(std::string_view text, std::string_view fallback)
{
    std::string cleaned = cmd_runner::clean_text(text, {.max_chars = kLabelLimit, .trim = true});
    if (cleaned.empty()) {
        return std::string(fallback);
    }
    return cleaned;
}

bool usable_key(std::string_view key, std::string_view what)
{
    const bool usable = !key.empty() && key.size() <= kKeyLimit && cmd_runner::clean_text(key) == key;
    if (!usable) {
        VORN_WARN(kLogTag, "{} not published: its key is empty, longer than {} bytes or not plain text", what,
                  kKeyLimit);
    }
    return usable;
}

bool PublishedKeys::admit(std::string_view key)
{
    if (!usable_key(key, what_)) {
        return false;
    }
    if (std::find(keys_.begin(), keys_.end(), key) != keys_.end()) {
        VORN_WARN(kLogTag, "{} not published: another one has the same key", what_);
        return false;
    }
    keys_.emplace_back(key);
    return true;
}

std::vector<std::string> distinct_labels(std::vector<std::string> labels)
{
    std::set<std::string, std::less<>> used;
    std::map<std::string, std::size_t, std::less<>> next_number;
    for (auto& label : labels) {
        if (used.insert(label).second) {
            continue;
        }
        auto& number = next_number[label];
        number = std::max<std::size_t>(number, 2);
        std::string candidate;
        do {
            candidate = fmt::format("{} ({})", label, number++);
        } while (!used.insert(candidate).second);
        label = std::move(candidate);
    }
    return labels;
}

std::vector<std::string> audio_device_labels(std::span<const sound_graph::audio::AudioNode> nodes)
{
    std::vector<std::string> labels;
    labels.reserve(nodes.size());
    for (const auto& node : nodes) {
        labels.push_back(clean_label(node.display_name, node.node_name.empty() ? fmt::format("Device {}", node.id)
                                                                               : clean_label(node.node_name)));
    }
    return distinct_labels(std::move(labels));
}

std::vector<std::string> audio_profile_labels(std::span<const sound_graph::audio::AudioProfile> profiles)
{
    std::vector<std::string> labels;
    labels.reserve(profiles.size());
    for (const auto& profile : profiles) {
        labels.push_back(clean_label(profile.description, clean_label(profile.name)));
    }
    return distinct_labels(std::move(labels));
}

std::vector<std::string> plain_choices(std::vector<std::string> choices, std::string_view what)
{
    const auto before = choices.size();
    std::erase_if(choices, [](const std::string& text) { return cmd_runner::clean_text(text) != text; });
    if (choices.size() != before) {
        VORN_WARN(kLogTag, "{}: {} choices left out, they are not plain text", what, before - choices.size());
    }
    return choices;
}

void guard_encoding(Resource& resource)
{
    for (auto& action : resource.actions) {
        if (!action.handler) {
            continue;
        }
        struct Guard {
            vorn_actions::ActionHandler inner;
            std::string id;
        };
        auto guard = std::make_shared<const Guard>(Guard{std::move(action.handler), action.id});
        action.handler = [guard](const vorn_actions::ActionArgs& args)
            -> std::expected<vorn_actions::EncodedAction, vorn_actions::ActionError> {
            auto encoded = guard->inner(args);
            if (encoded && encoded->payload.empty()) {
                VORN_WARN(kLogTag, "action {} could not encode its operation", guard->id);
                return std::unexpected(vorn_actions::ActionError(
                    vorn_actions::ActionError::Kind::PayloadEncoding,
                    fmt::format("{}: the {} operation could not be written", guard->id, encoded->kind)));
            }
            return encoded;
        };
    }
    for (auto& child : resource.children) {
        guard_encoding(child);
    }
}

void add_action(Resource& resource, std::optional<ActionSpec> action)
{
    if (action) {
        resource.actions.push_back(std::move(*action));
    }
}

vorn_actions::ActionContract tags(std::initializer_list<std::string_view> list)
{
    return device_local_contract(std::vector<std::string>(list.begin(), list.end()));
}

ActionSpec requiring_number(ActionSpec spec, std::string_view name)
{
    struct Guard {
        vorn_actions::ActionHandler inner;
        std::string name;
        std::string refusal;
    };
    auto guard = std::make_shared<const Guard>(Guard{std::move(spec.handler), std::string(name),
                                                     fmt::format("{} needs a number for {}, and none was given",
                                                                 spec.id, name)});
    spec.handler = [guard](const vorn_actions::ActionArgs& args)
        -> std::expected<vorn_actions::EncodedAction, vorn_actions::ActionError> {
        if (!args.number(guard->name)) {
            return std::unexpected(vorn_actions::ActionError(vorn_actions::ActionError::Kind::InvalidArguments,
                                                             guard->refusal));
        }
        return guard->inner(args);
    };
    return spec;
}

}  // namespace settings::actions::catalogue
