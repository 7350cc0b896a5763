#include "sound_graph/audio.hpp"

#include "system_ops/audio.hpp"
#include "system_ops/tool.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace sound_graph::audio {

namespace {

system_ops::CurrentSlot<AudioEnumerator>& enumerator_slot()
{
    static system_ops::CurrentSlot<AudioEnumerator> instance([]() -> std::shared_ptr<AudioEnumerator> {
        return std::make_shared<PwDumpEnumerator>();
    });
    return instance;
}

system_ops::CurrentSlot<GraphControl>& control_slot()
{
    static system_ops::CurrentSlot<GraphControl> instance([]() -> std::shared_ptr<GraphControl> {
        return std::make_shared<WpctlGraphControl>();
    });
    return instance;
}

template <class T, class List>
const T* find_id(const List& list, std::uint32_t id)
{
    const auto it = std::ranges::find(list, id, &T::id);
    return it == list.end() ? nullptr : &*it;
}

const AudioNode* find_default(const std::vector<AudioNode>& nodes)
{
    const auto it = std::ranges::find_if(nodes, &AudioNode::is_default);
    return it == nodes.end() ? nullptr : &*it;
}

Status done(const Result<std::string>& out)
{
    return system_ops::detail::done(out);
}

}  // namespace

// ---- Records ---------------------------------------------------------------------------------------------------

std::string AudioStream::label() const
{
    if (!application_name.empty() && !media_name.empty() && application_name != media_name) {
        return fmt::format("{} · {}", application_name, media_name);
    }
    if (!application_name.empty()) {
        return application_name;
    }
    if (!media_name.empty()) {
        return media_name;
    }
    if (!node_name.empty()) {
        return node_name;
    }
    return fmt::format("Stream {}", id);
}

const AudioNode* AudioGraph::sink_by_id(std::uint32_t id) const
{
    return find_id<AudioNode>(sinks, id);
}

const AudioNode* AudioGraph::source_by_id(std::uint32_t id) const
{
    return find_id<AudioNode>(sources, id);
}

const AudioNode* AudioGraph::default_sink() const
{
    return find_default(sinks);
}

const AudioNode* AudioGraph::default_source() const
{
    return find_default(sources);
}

const AudioStream* AudioGraph::stream_by_id(std::uint32_t id) const
{
    if (const auto* stream = find_id<AudioStream>(playback_streams, id)) {
        return stream;
    }
    return find_id<AudioStream>(recording_streams, id);
}

const AudioDevice* AudioGraph::device_by_id(std::uint32_t id) const
{
    return find_id<AudioDevice>(devices, id);
}

std::uint64_t AudioGraph::topology_signature() const
{
    std::vector<std::uint64_t> keys;
    const auto add = [&keys](std::uint64_t kind, std::uint32_t id) { keys.push_back(kind << 32 | id); };
    for (const auto& n : sinks) {
        add(1, n.id);
    }
    for (const auto& n : sources) {
        add(2, n.id);
    }
    for (const auto& s : playback_streams) {
        add(3, s.id);
    }
    for (const auto& s : recording_streams) {
        add(4, s.id);
    }
    for (const auto& d : devices) {
        add(5, d.id);
    }
    std::ranges::sort(keys);
    // FNV-1a over the sorted keys.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const std::uint64_t key : keys) {
        for (int shift = 0; shift < 64; shift += 8) {
            hash ^= (key >> shift) & 0xFF;
            hash *= 0x100000001b3ULL;
        }
    }
    return hash;
}

// ---- Current implementations -------------------------------------------------------------------------------------

AudioGraph AudioEnumerator::enumerate()
{
    auto graph = try_enumerate();
    if (!graph) {
        VORN_WARN("audio_enumerate", "could not read the sound graph: {}", graph.error());
        return {};
    }
    return std::move(*graph);
}

std::shared_ptr<AudioEnumerator> current_enumerator()
{
    return enumerator_slot().get();
}

std::shared_ptr<AudioEnumerator> replace_current(std::shared_ptr<AudioEnumerator> enumerator)
{
    return enumerator_slot().replace(std::move(enumerator));
}

std::shared_ptr<GraphControl> current_graph_control()
{
    return control_slot().get();
}

std::shared_ptr<GraphControl> replace_current(std::shared_ptr<GraphControl> control)
{
    return control_slot().replace(std::move(control));
}

AudioGraph enumerate()
{
    return current_enumerator()->enumerate();
}

Result<AudioGraph> try_enumerate()
{
    return current_enumerator()->try_enumerate();
}

// ---- PwDumpEnumerator ------------------------------------------------------------------------------------------

PwDumpEnumerator::PwDumpEnumerator(std::shared_ptr<cmd_runner::Runner> runner) : runner_(std::move(runner)) {}

Result<AudioGraph> PwDumpEnumerator::try_enumerate()
{
    const auto out = system_ops::detail::run_tool(
        *runner_, {.program = "pw-dump", .args = {"--no-colors"}, .time_limit = std::chrono::seconds(5)});
    if (!out) {
        return std::unexpected(fmt::format("could not read the sound graph: {}", out.error()));
    }
    return parse_pw_dump(*out);
}

// ---- WpctlGraphControl -----------------------------------------------------------------------------------------

WpctlGraphControl::WpctlGraphControl(std::shared_ptr<cmd_runner::Runner> runner) : runner_(std::move(runner)) {}

Status WpctlGraphControl::set_default_sink(std::uint32_t node_id)
{
    return done(system_ops::audio::run_wpctl(*runner_, {"set-default", std::to_string(node_id)}));
}

Status WpctlGraphControl::set_default_source(std::uint32_t node_id)
{
    return done(system_ops::audio::run_wpctl(*runner_, {"set-default", std::to_string(node_id)}));
}

Status WpctlGraphControl::route_stream(std::uint32_t stream_id, std::uint32_t routing_number)
{
    return done(system_ops::detail::run_tool(
        *runner_, {.program = "pw-metadata",
                   .args = {std::to_string(stream_id), "target.object", std::to_string(routing_number)},
                   .time_limit = system_ops::audio::WpctlAudio::time_limit}));
}

Status WpctlGraphControl::unroute_stream(std::uint32_t stream_id)
{
    return done(system_ops::detail::run_tool(*runner_, {.program = "pw-metadata",
                                                        .args = {"-d", std::to_string(stream_id), "target.object"},
                                                        .time_limit = system_ops::audio::WpctlAudio::time_limit}));
}

Status WpctlGraphControl::set_node_volume(std::uint32_t node_id, float volume)
{
    const float level = std::isnan(volume) ? 0.0F : std::clamp(volume, 0.0F, 1.0F);
    return done(system_ops::audio::run_wpctl(*runner_, {"set-volume", std::to_string(node_id), fmt::format("{:.3f}", level)}));
}

Status WpctlGraphControl::set_node_mute(std::uint32_t node_id, bool muted)
{
    return done(system_ops::audio::run_wpctl(*runner_, {"set-mute", std::to_string(node_id), muted ? "1" : "0"}));
}

Status WpctlGraphControl::set_device_profile(std::uint32_t device_id, std::uint32_t profile_index)
{
    // "id 41, type PipeWire:Interface:Device"
    const auto inspect = system_ops::audio::run_wpctl(*runner_, {"inspect", std::to_string(device_id)});
    if (!inspect) {
        return std::unexpected(inspect.error());
    }
    const auto lines = system_ops::detail::split_lines(*inspect);
    if (lines.empty() || lines.front().find("PipeWire:Interface:Device") == std::string_view::npos) {
        return std::unexpected(fmt::format("audio device {} no longer exists", device_id));
    }
    return done(system_ops::audio::run_wpctl(*runner_, {"set-profile", std::to_string(device_id),
                                                        std::to_string(profile_index)}));
}

// ---- Fakes -----------------------------------------------------------------------------------------------------

void FakeAudioEnumerator::set_graph(Result<AudioGraph> graph)
{
    const std::lock_guard lock(mutex_);
    graph_ = std::move(graph);
}

Result<AudioGraph> FakeAudioEnumerator::try_enumerate()
{
    const std::lock_guard lock(mutex_);
    return graph_;
}

std::vector<std::string> FakeGraphControl::calls() const
{
    const std::lock_guard lock(mutex_);
    return calls_;
}

void FakeGraphControl::set_failure(std::optional<std::string> failure)
{
    const std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
}

Status FakeGraphControl::record(std::string call)
{
    const std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
    if (failure_) {
        return std::unexpected(*failure_);
    }
    return {};
}

Status FakeGraphControl::set_default_sink(std::uint32_t node_id)
{
    return record(fmt::format("set_default_sink {}", node_id));
}
Status FakeGraphControl::set_default_source(std::uint32_t node_id)
{
    return record(fmt::format("set_default_source {}", node_id));
}
Status FakeGraphControl::route_stream(std::uint32_t stream_id, std::uint32_t routing_number)
{
    return record(fmt::format("route_stream {} {}", stream_id, routing_number));
}
Status FakeGraphControl::unroute_stream(std::uint32_t stream_id)
{
    return record(fmt::format("unroute_stream {}", stream_id));
}
Status FakeGraphControl::set_node_volume(std::uint32_t node_id, float volume)
{
    return record(fmt::format("set_node_volume {} {:.2f}", node_id, volume));
}
Status FakeGraphControl::set_node_mute(std::uint32_t node_id, bool muted)
{
    return record(fmt::format("set_node_mute {} {}", node_id, muted));
}
Status FakeGraphControl::set_device_profile(std::uint32_t device_id, std::uint32_t profile_index)
{
    return record(fmt::format("set_device_profile {} {}", device_id, profile_index));
}

}  // namespace sound_graph::audio
