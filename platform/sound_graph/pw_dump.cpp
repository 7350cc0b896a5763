// Reading the sound graph from the JSON that `pw-dump` prints: an array of PipeWire objects (nodes, devices,
// links, metadata), each with its id, type and info.

#include "sound_graph/audio.hpp"

#include "system_ops/tool.hpp"

#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <set>

namespace sound_graph::audio {

namespace {

using Json = nlohmann::json;

constexpr std::size_t max_depth = 64;

// Whether arrays and objects nest deeper than max_depth (the graph never does; a broken tool might).
bool too_deep(std::string_view text)
{
    std::size_t depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > max_depth) {
                return true;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

// pw-dump prints one array of objects, but objects removed while it runs are announced in arrays of their own
// ([{"id": 69, "info": null}]) before or after it. The top-level values of the text, in order; a value that never
// closes runs to the end (and then fails to parse).
std::vector<std::string_view> top_level_values(std::string_view text)
{
    std::vector<std::string_view> values;
    std::size_t depth = 0;
    std::size_t start = std::string_view::npos;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        if (start == std::string_view::npos) {
            if (std::isspace(static_cast<unsigned char>(c)) != 0) {
                continue;
            }
            start = i;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
        if (depth == 0 && (c == ']' || c == '}')) {
            values.push_back(text.substr(start, i + 1 - start));
            start = std::string_view::npos;
        }
    }
    if (start != std::string_view::npos) {
        values.push_back(text.substr(start));
    }
    return values;
}

const Json* member(const Json& object, const char* key)
{
    if (!object.is_object()) {
        return nullptr;
    }
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::uint32_t> as_u32(const Json* value)
{
    if (value == nullptr) {
        return std::nullopt;
    }
    if (value->is_number_unsigned()) {
        const auto v = value->get<std::uint64_t>();
        return v <= std::numeric_limits<std::uint32_t>::max() ? std::optional(static_cast<std::uint32_t>(v)) : std::nullopt;
    }
    if (value->is_number_integer()) {
        const auto v = value->get<std::int64_t>();
        return v >= 0 && v <= std::numeric_limits<std::uint32_t>::max() ? std::optional(static_cast<std::uint32_t>(v))
                                                                         : std::nullopt;
    }
    if (value->is_string()) {
        const auto v = system_ops::detail::parse_int(value->get_ref<const std::string&>());
        return v && *v >= 0 && *v <= std::numeric_limits<std::uint32_t>::max() ? std::optional(static_cast<std::uint32_t>(*v))
                                                                               : std::nullopt;
    }
    return std::nullopt;
}

std::string as_text(const Json* value)
{
    if (value == nullptr || !value->is_string()) {
        return {};
    }
    return cmd_runner::clean_text(value->get_ref<const std::string&>(), {.max_bytes = 256, .trim = true});
}

std::string first_text(const Json& props, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        if (auto text = as_text(member(props, key)); !text.empty()) {
            return text;
        }
    }
    return {};
}

// The first object of a parameter list: info.params.<name>[0].
const Json* first_param(const Json& info, const char* name)
{
    const Json* params = member(info, "params");
    const Json* list = params != nullptr ? member(*params, name) : nullptr;
    if (list == nullptr || !list->is_array() || list->empty() || !(*list)[0].is_object()) {
        return nullptr;
    }
    return &(*list)[0];
}

// A metadata value may be given as JSON or as a string holding JSON.
Json metadata_value(const Json* value)
{
    if (value != nullptr && value->is_string()) {
        Json parsed = Json::parse(value->get_ref<const std::string&>(), nullptr, false);
        return parsed.is_discarded() ? *value : parsed;
    }
    return value != nullptr ? *value : Json();
}

// How a stream names the device it is pinned to.
struct TargetRef {
    std::optional<std::uint32_t> serial_or_id;  // a number: a serial (target.object) or an id (target.node)
    bool is_id = false;
    std::string name;  // a node name
};

std::optional<TargetRef> target_ref(const Json& value, bool is_id)
{
    if (const auto number = as_u32(&value)) {
        return TargetRef{.serial_or_id = number, .is_id = is_id};
    }
    if (value.is_string() && !value.get_ref<const std::string&>().empty()) {
        return TargetRef{.name = value.get<std::string>()};
    }
    return std::nullopt;
}

std::uint32_t channel_count(const Json& props, const Json& info)
{
    if (const auto channels = as_u32(member(props, "audio.channels")); channels && *channels > 0) {
        return *channels;
    }
    // "FL,FR" or "[ FL FR ]"
    if (const std::string position = as_text(member(props, "audio.position")); !position.empty()) {
        std::uint32_t count = 0;
        bool in_word = false;
        for (const char c : position) {
            const bool word = std::isalnum(static_cast<unsigned char>(c)) != 0;
            count += word && !in_word ? 1 : 0;
            in_word = word;
        }
        return count;
    }
    for (const char* param : {"Format", "EnumFormat"}) {
        if (const Json* format = first_param(info, param)) {
            if (const auto channels = as_u32(member(*format, "channels")); channels && *channels > 0) {
                return *channels;
            }
        }
    }
    return 0;
}

}  // namespace

Result<AudioGraph> parse_pw_dump(std::string_view text)
{
    if (too_deep(text)) {
        return std::unexpected(std::string("pw-dump printed JSON nested too deeply"));
    }
    const auto values = top_level_values(text);
    if (values.empty()) {
        return std::unexpected(std::string("pw-dump printed unreadable JSON"));
    }
    // The arrays in the order printed: an object replaces an earlier one of its id, a removal notice takes it out.
    Json objects = Json::array();
    std::map<std::uint32_t, std::size_t> position;  // id → index in `objects`
    std::set<std::size_t> removed;
    for (const std::string_view value : values) {
        Json list = Json::parse(value, nullptr, false);
        if (list.is_discarded()) {
            return std::unexpected(std::string("pw-dump printed unreadable JSON"));
        }
        if (!list.is_array()) {
            return std::unexpected(std::string("pw-dump printed no list of objects"));
        }
        for (Json& object : list) {
            const auto id = object.is_object() ? as_u32(member(object, "id")) : std::nullopt;
            const Json* info = object.is_object() ? member(object, "info") : nullptr;
            const bool removal = info != nullptr && info->is_null() && member(object, "type") == nullptr;
            const auto known = id ? position.find(*id) : position.end();
            if (removal) {
                if (known != position.end()) {
                    removed.insert(known->second);
                    position.erase(known);
                }
                continue;
            }
            if (known != position.end()) {
                objects[known->second] = std::move(object);
                continue;
            }
            if (id) {
                position.emplace(*id, objects.size());
            }
            objects.push_back(std::move(object));
        }
    }
    if (!removed.empty()) {
        Json kept = Json::array();
        for (std::size_t i = 0; i < objects.size(); ++i) {
            if (!removed.contains(i)) {
                kept.push_back(std::move(objects[i]));
            }
        }
        objects = std::move(kept);
    }

    std::string default_sink_name;
    std::string default_source_name;
    std::map<std::uint32_t, TargetRef> pinned;                 // stream id → target from metadata
    std::vector<std::pair<std::uint32_t, std::uint32_t>> links;  // output node → input node
    for (const Json& object : objects) {
        const std::string type = as_text(member(object, "type"));
        if (type == "PipeWire:Interface:Metadata") {
            const Json* props = member(object, "props");
            if (props == nullptr || as_text(member(*props, "metadata.name")) != "default") {
                continue;
            }
            const Json* entries = member(object, "metadata");
            if (entries == nullptr || !entries->is_array()) {
                continue;
            }
            for (const Json& entry : *entries) {
                const std::string key = as_text(member(entry, "key"));
                const Json value = metadata_value(member(entry, "value"));
                const auto subject = as_u32(member(entry, "subject"));
                if (key == "default.audio.sink") {
                    default_sink_name = as_text(member(value, "name"));
                } else if (key == "default.audio.source") {
                    default_source_name = as_text(member(value, "name"));
                } else if ((key == "target.object" || key == "target.node") && subject) {
                    if (auto ref = target_ref(value, key == "target.node")) {
                        pinned.insert_or_assign(*subject, std::move(*ref));
                    }
                }
            }
        } else if (type == "PipeWire:Interface:Link") {
            const Json* info = member(object, "info");
            const auto out = info != nullptr ? as_u32(member(*info, "output-node-id")) : std::nullopt;
            const auto in = info != nullptr ? as_u32(member(*info, "input-node-id")) : std::nullopt;
            if (out && in) {
                links.emplace_back(*out, *in);
            }
        }
    }

    AudioGraph graph;
    std::map<std::uint32_t, std::optional<TargetRef>> stream_props_target;
    for (const Json& object : objects) {
        const auto id = as_u32(member(object, "id"));
        const std::string type = as_text(member(object, "type"));
        const Json* info = member(object, "info");
        const Json* props = info != nullptr ? member(*info, "props") : nullptr;
        if (!id || props == nullptr || !props->is_object()) {
            continue;  // removed objects have no info
        }
        const std::string media_class = as_text(member(*props, "media.class"));

        if (type == "PipeWire:Interface:Device") {
            if (media_class != "Audio/Device") {
                continue;
            }
            AudioDevice device{.id = *id,
                               .display_name = first_text(*props, {"device.description", "device.nick", "device.name"})};
            if (const Json* params = member(*info, "params")) {
                if (const Json* list = member(*params, "EnumProfile"); list != nullptr && list->is_array()) {
                    for (const Json& profile : *list) {
                        const auto index = as_u32(member(profile, "index"));
                        if (!index) {
                            continue;
                        }
                        device.profiles.push_back({.name = as_text(member(profile, "name")),
                                                   .description = as_text(member(profile, "description")),
                                                   .index = *index,
                                                   .available = as_text(member(profile, "available")) != "no"});
                    }
                }
            }
            if (const Json* active = first_param(*info, "Profile")) {
                device.active_profile = as_u32(member(*active, "index"));
            }
            graph.devices.push_back(std::move(device));
            continue;
        }
        if (type != "PipeWire:Interface:Node") {
            continue;
        }

        const bool sink = media_class == "Audio/Sink" || media_class == "Audio/Duplex";
        const bool source = media_class == "Audio/Source" || media_class == "Audio/Source/Virtual" ||
                            media_class == "Audio/Duplex";
        if (sink || source) {
            AudioNode node{.node_name = as_text(member(*props, "node.name")),
                           .display_name = first_text(*props, {"node.description", "node.nick", "node.name"}),
                           .channels = channel_count(*props, *info),
                           .id = *id,
                           .device_id = as_u32(member(*props, "device.id")),
                           .routing_number = as_u32(member(*props, "object.serial")).value_or(*id)};
            if (auto codec = as_text(member(*props, "api.bluez5.codec")); !codec.empty()) {
                node.codec = std::move(codec);
            }
            if (node.display_name.empty()) {
                node.display_name = fmt::format("Device {}", *id);
            }
            if (sink) {
                node.is_default = !default_sink_name.empty() && node.node_name == default_sink_name;
                graph.sinks.push_back(node);
            }
            if (source) {
                node.is_default = !default_source_name.empty() && node.node_name == default_source_name;
                graph.sources.push_back(std::move(node));
            }
            continue;
        }

        const bool playback = media_class == "Stream/Output/Audio";
        if (!playback && media_class != "Stream/Input/Audio") {
            continue;
        }
        // Level meters of mixer applications are streams of their own; they are not the user's audio. Neither are
        // test tones and level tests (media role "Test"), such as the Sound page's own speaker test and meter.
        if (const Json* monitor = member(*props, "stream.monitor"); monitor != nullptr && monitor->is_boolean() &&
                                                                    monitor->get<bool>()) {
            continue;
        }
        if (as_text(member(*props, "media.role")) == "Test") {
            continue;
        }
        AudioStream stream{.id = *id,
                           .playback = playback,
                           .application_name = first_text(*props, {"application.name", "application.process.binary"}),
                           .media_name = as_text(member(*props, "media.name")),
                           .node_name = as_text(member(*props, "node.name"))};
        if (const Json* controls = first_param(*info, "Props")) {
            if (const Json* volumes = member(*controls, "channelVolumes"); volumes != nullptr && volumes->is_array() &&
                                                                            !volumes->empty()) {
                double sum = 0;
                std::size_t count = 0;
                for (const Json& v : *volumes) {
                    if (v.is_number() && std::isfinite(v.get<double>())) {
                        sum += std::max(0.0, v.get<double>());
                        ++count;
                    }
                }
                if (count > 0) {
                    // PipeWire keeps linear gains; wpctl and the sliders use their cube root.
                    stream.volume = static_cast<float>(std::clamp(std::cbrt(sum / static_cast<double>(count)), 0.0, 1.0));
                }
            }
            if (const Json* mute = member(*controls, "mute"); mute != nullptr && mute->is_boolean()) {
                stream.muted = mute->get<bool>();
            }
        }
        std::optional<TargetRef> prop_target;
        if (const Json* target = member(*props, "target.object")) {
            prop_target = target_ref(*target, false);
        } else if (const Json* node_target = member(*props, "node.target")) {
            prop_target = target_ref(*node_target, true);
        }
        stream_props_target.insert_or_assign(*id, std::move(prop_target));
        (playback ? graph.playback_streams : graph.recording_streams).push_back(std::move(stream));
    }

    // Where each stream goes: the device it is linked to, else the one it is pinned to.
    const auto resolve = [&](const TargetRef& ref, const std::vector<AudioNode>& nodes) -> std::optional<std::uint32_t> {
        for (const auto& node : nodes) {
            const bool match = ref.serial_or_id ? (ref.is_id ? node.id == *ref.serial_or_id
                                                             : node.routing_number == *ref.serial_or_id)
                                                : node.node_name == ref.name;
            if (match) {
                return node.id;
            }
        }
        return std::nullopt;
    };
    const auto assign_targets = [&](std::vector<AudioStream>& streams, const std::vector<AudioNode>& nodes,
                                    bool playback) {
        for (auto& stream : streams) {
            for (const auto& [out, in] : links) {
                const std::uint32_t peer = playback ? in : out;
                if ((playback ? out : in) == stream.id &&
                    std::ranges::any_of(nodes, [&](const AudioNode& n) { return n.id == peer; })) {
                    stream.target = peer;
                    break;
                }
            }
            if (stream.target) {
                continue;
            }
            if (const auto it = pinned.find(stream.id); it != pinned.end()) {
                stream.target = resolve(it->second, nodes);
            }
            if (!stream.target) {
                if (const auto& prop = stream_props_target[stream.id]) {
                    stream.target = resolve(*prop, nodes);
                }
            }
        }
    };
    assign_targets(graph.playback_streams, graph.sinks, true);
    assign_targets(graph.recording_streams, graph.sources, false);
    return graph;
}

}  // namespace sound_graph::audio
