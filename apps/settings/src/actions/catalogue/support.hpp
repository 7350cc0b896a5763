#pragma once
// Helpers the section builders share: caps on lists taken from the system, label cleaning and disambiguation, the
// fixed-operation constructor that reports what it leaves out, and the tag lists of the device-local contract.

#include "actions/action_payload.hpp"
#include "actions/operation_actions.hpp"
#include "actions/action_builders.hpp"
#include "sound_graph/audio.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_log/log.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings::actions::catalogue {

using vorn_actions::ActionSpec;
using vorn_actions::Resource;

// Object resources of one kind, and choices of one list, published at most.
inline constexpr std::size_t kObjectLimit = 256;
inline constexpr std::size_t kChoiceLimit = 128;
// Labels taken from the system are cut to this many characters.
inline constexpr std::size_t kLabelLimit = 160;
// Keys taken from the system (paths, queue names, ids) longer than this are not published.
inline constexpr std::size_t kKeyLimit = 512;

inline constexpr std::string_view kLogTag = "resource_catalogue";

// The first `limit` entries of `items`; a longer list is logged with `what` naming it.
template <class T>
[[nodiscard]] std::span<const T> capped(std::span<const T> items, std::size_t limit, std::string_view what)
{
    if (items.size() <= limit) {
        return items;
    }
    VORN_INFO(kLogTag, "{}: publishing the first {} of {}", what, limit, items.size());
    return items.first(limit);
}
template <class T>
[[nodiscard]] std::span<const T> capped(const std::vector<T>& items, std::size_t limit, std::string_view what)
{
    return capped(std::span<const T>(items), limit, what);
}

// A label from the system: valid UTF-8, control characters removed, white space trimmed, at most kLabelLimit
// characters; `fallback` when nothing is left.
[[nodiscard]] std::string clean_label(std::string_view text, std::string_view fallback = {});

// Whether a key from the system can name a resource: 1 to kKeyLimit bytes of valid UTF-8 without control
// characters. A key that cannot is logged with `what`.
[[nodiscard]] bool usable_key(std::string_view key, std::string_view what);

// The keys already published for one kind of object: a repeated key would give two resources one id, so the later
// object is left out (and logged).
class PublishedKeys {
public:
    explicit PublishedKeys(std::string_view what) : what_(what) {}
    // usable_key, and not published before.
    [[nodiscard]] bool admit(std::string_view key);

private:
    std::string what_;
    std::vector<std::string> keys_;
};

// The labels with every repeat of an earlier label suffixed " (2)", " (3)", ... so that each names one entry.
[[nodiscard]] std::vector<std::string> distinct_labels(std::vector<std::string> labels);

// The labels the contract and the Sound page give audio devices, one per node in order: the cleaned display name
// (else the node name, else "Device {id}"), repeats told apart. The first n labels of a list are those of its first
// n nodes, so a capped list keeps them.
[[nodiscard]] std::vector<std::string> audio_device_labels(std::span<const sound_graph::audio::AudioNode> nodes);
// The labels of a sound card's profiles, one per profile in order: the cleaned description (else the profile's
// name), repeats told apart.
[[nodiscard]] std::vector<std::string> audio_profile_labels(std::span<const sound_graph::audio::AudioProfile> profiles);

// The choices that are plain text (valid UTF-8 without control characters); the others are left out and logged,
// since an operation carrying them could not be encoded.
[[nodiscard]] std::vector<std::string> plain_choices(std::vector<std::string> choices, std::string_view what);

// Every action of the resource and its children answers an operation whose payload could not be written (an
// empty payload) with a PayloadEncoding error naming the action, and logs it, instead of handing it on.
void guard_encoding(Resource& resource);

// Appends the action when there is one.
void add_action(Resource& resource, std::optional<ActionSpec> action);

// A fixed-operation action of effect class `effect_class` with `contract` (or the default contract of its class);
// none, with a warning naming the action, when the operation cannot be encoded.
template <PayloadType T>
[[nodiscard]] std::optional<ActionSpec> fixed_action(std::string_view id, std::string_view title, const T& operation,
                                                     std::optional<vorn_actions::ActionContract> contract,
                                                     std::uint8_t effect_class = effect_operation)
{
    auto spec = operation_spec_builder(id, title, effect_class, T::kind, operation);
    if (!spec) {
        VORN_WARN(kLogTag, "action {} left out: {}", id, spec.error().display());
        return std::nullopt;
    }
    if (contract) {
        return std::move(*spec).with_contract(std::move(*contract));
    }
    return std::move(*spec);
}

// A device-local contract with the given tags.
[[nodiscard]] vorn_actions::ActionContract tags(std::initializer_list<std::string_view> list);

// The action spec with a handler that refuses an invocation whose number parameter `name` is absent or null
// ("<action id> needs a number for <name>, and none was given") instead of reading it as 0.
[[nodiscard]] ActionSpec requiring_number(ActionSpec spec, std::string_view name = "value");

}  // namespace settings::actions::catalogue
