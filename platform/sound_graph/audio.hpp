#pragma once
// The PipeWire sound graph: output and input devices, playback and recording streams and the sound cards with
// their profiles, read from `pw-dump`, and its changes through `wpctl` and `pw-metadata`.
//
// Streams are the user's audio: level meters of mixers (stream.monitor) and test tones or level tests (media role
// "Test", such as the Sound page's own speaker test and meter) are left out, so they never change the topology.
//
// The free functions forward to the current AudioEnumerator and GraphControl; the real ones are PwDumpEnumerator
// and WpctlGraphControl. Put fakes in their place with system_ops::ScopedCurrent<AudioEnumerator> (or
// <GraphControl>).

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sound_graph::audio {

using system_ops::Result;
using system_ops::Status;

// An output (sink) or input (source) device of the graph.
struct AudioNode {
    std::string node_name;                 // the system name, e.g. "alsa_output.pci-0000_00_1f.3.analog-stereo"
    std::string display_name;              // what users see, e.g. "Built-in Audio Analog Stereo"
    std::optional<std::string> codec;      // Bluetooth codec, e.g. "aac"
    std::uint32_t channels = 0;            // 0 when not reported
    std::uint32_t id = 0;                  // the node id (wpctl's id)
    std::optional<std::uint32_t> device_id;  // the sound card it belongs to
    std::uint32_t routing_number = 0;      // object.serial: names the node as a stream's target
    bool is_default = false;

    friend bool operator==(const AudioNode&, const AudioNode&) = default;
};

struct AudioStream {
    std::uint32_t id = 0;
    // The device the stream plays to (playback) or records from (recording): the one it is linked to, else the
    // one it is pinned to.
    std::optional<std::uint32_t> target;
    std::optional<float> volume;  // 0 to 1 on wpctl's (cubic) scale
    bool muted = false;
    bool playback = true;
    std::string application_name;  // "Firefox"
    std::string media_name;        // "AudioStream", a track title, ...
    std::string node_name;

    // "Firefox · Big Buck Bunny", or whichever of the two is known, else the node name, else "Stream {id}".
    [[nodiscard]] std::string label() const;

    friend bool operator==(const AudioStream&, const AudioStream&) = default;
};

struct AudioProfile {
    std::string name;         // "output:analog-stereo"
    std::string description;  // "Analog Stereo Output"
    std::uint32_t index = 0;
    bool available = true;  // PipeWire says "yes" or "unknown" (not "no")

    friend bool operator==(const AudioProfile&, const AudioProfile&) = default;
};

// A sound card (PipeWire device) with its profiles.
struct AudioDevice {
    std::uint32_t id = 0;
    std::string display_name;
    std::vector<AudioProfile> profiles;
    std::optional<std::uint32_t> active_profile;  // index

    friend bool operator==(const AudioDevice&, const AudioDevice&) = default;
};

struct AudioGraph {
    std::vector<AudioNode> sinks;
    std::vector<AudioNode> sources;
    std::vector<AudioStream> playback_streams;
    std::vector<AudioStream> recording_streams;
    std::vector<AudioDevice> devices;

    [[nodiscard]] const AudioNode* sink_by_id(std::uint32_t id) const;
    [[nodiscard]] const AudioNode* source_by_id(std::uint32_t id) const;
    [[nodiscard]] const AudioNode* default_sink() const;
    [[nodiscard]] const AudioNode* default_source() const;
    // A playback or recording stream.
    [[nodiscard]] const AudioStream* stream_by_id(std::uint32_t id) const;
    [[nodiscard]] const AudioDevice* device_by_id(std::uint32_t id) const;
    // Changes when a node, stream or device comes or goes (not when a volume changes).
    [[nodiscard]] std::uint64_t topology_signature() const;

    friend bool operator==(const AudioGraph&, const AudioGraph&) = default;
};
// What the operation runner calls the graph it checks requests against.
using AudioSnapshot = AudioGraph;

class AudioEnumerator {
public:
    virtual ~AudioEnumerator() = default;
    // A fresh graph, or why it could not be read.
    [[nodiscard]] virtual Result<AudioGraph> try_enumerate() = 0;
    // A fresh graph; an empty one (with a warning in the log) when it could not be read.
    [[nodiscard]] AudioGraph enumerate();
};

class GraphControl {
public:
    virtual ~GraphControl() = default;
    [[nodiscard]] virtual Status set_default_sink(std::uint32_t node_id) = 0;
    [[nodiscard]] virtual Status set_default_source(std::uint32_t node_id) = 0;
    // Pins the stream to the node named by its routing number.
    [[nodiscard]] virtual Status route_stream(std::uint32_t stream_id, std::uint32_t routing_number) = 0;
    // Lets the stream follow the default device again.
    [[nodiscard]] virtual Status unroute_stream(std::uint32_t stream_id) = 0;
    // volume is clamped to 0..1.
    [[nodiscard]] virtual Status set_node_volume(std::uint32_t node_id, float volume) = 0;
    [[nodiscard]] virtual Status set_node_mute(std::uint32_t node_id, bool muted) = 0;
    [[nodiscard]] virtual Status set_device_profile(std::uint32_t device_id, std::uint32_t profile_index) = 0;
};

[[nodiscard]] std::shared_ptr<AudioEnumerator> current_enumerator();
std::shared_ptr<AudioEnumerator> replace_current(std::shared_ptr<AudioEnumerator> enumerator);
[[nodiscard]] std::shared_ptr<GraphControl> current_graph_control();
std::shared_ptr<GraphControl> replace_current(std::shared_ptr<GraphControl> control);

[[nodiscard]] AudioGraph enumerate();
[[nodiscard]] Result<AudioGraph> try_enumerate();

// Reads the JSON that `pw-dump` prints.
[[nodiscard]] Result<AudioGraph> parse_pw_dump(std::string_view json);

// ---- The real backends ---------------------------------------------------------------------------------------------

class PwDumpEnumerator final : public AudioEnumerator {
public:
    explicit PwDumpEnumerator(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    Result<AudioGraph> try_enumerate() override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
};

class WpctlGraphControl final : public GraphControl {
public:
    explicit WpctlGraphControl(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());

    Status set_default_sink(std::uint32_t node_id) override;
    Status set_default_source(std::uint32_t node_id) override;
    Status route_stream(std::uint32_t stream_id, std::uint32_t routing_number) override;
    Status unroute_stream(std::uint32_t stream_id) override;
    Status set_node_volume(std::uint32_t node_id, float volume) override;
    Status set_node_mute(std::uint32_t node_id, bool muted) override;
    // Checks first that the id names a sound card: wpctl silently ignores a profile change of any other object.
    Status set_device_profile(std::uint32_t device_id, std::uint32_t profile_index) override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
};

// ---- The fakes -----------------------------------------------------------------------------------------------------

class FakeAudioEnumerator final : public AudioEnumerator {
public:
    FakeAudioEnumerator() = default;
    explicit FakeAudioEnumerator(Result<AudioGraph> graph) : graph_(std::move(graph)) {}

    void set_graph(Result<AudioGraph> graph);
    Result<AudioGraph> try_enumerate() override;

private:
    std::mutex mutex_;
    Result<AudioGraph> graph_ = AudioGraph{};
};

// Records every call as one line ("set_default_sink 48", "set_node_volume 50 0.30", ...) and answers success, or
// `failure` when it is set.
class FakeGraphControl final : public GraphControl {
public:
    [[nodiscard]] std::vector<std::string> calls() const;
    void set_failure(std::optional<std::string> failure);

    Status set_default_sink(std::uint32_t node_id) override;
    Status set_default_source(std::uint32_t node_id) override;
    Status route_stream(std::uint32_t stream_id, std::uint32_t routing_number) override;
    Status unroute_stream(std::uint32_t stream_id) override;
    Status set_node_volume(std::uint32_t node_id, float volume) override;
    Status set_node_mute(std::uint32_t node_id, bool muted) override;
    Status set_device_profile(std::uint32_t device_id, std::uint32_t profile_index) override;

private:
    Status record(std::string call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::optional<std::string> failure_;
};

}  // namespace sound_graph::audio
