#pragma once
// A private PipeWire session for tests (linked by tests only): pipewire and wireplumber on a private runtime folder
// and private D-Bus buses, with null sinks and a virtual source declared in its configuration, so that the real
// wpctl, pw-dump, pw-metadata, pw-play and pw-record can be tested without sound hardware and without touching the
// machine's own session.
//
//   static std::unique_ptr<PipeWireSession> session;     // one per test suite (SetUpTestSuite / TearDownTestSuite)
//   auto started = PipeWireSession::start();
//   if (!started) GTEST_SKIP() << started.error();        // pipewire, wireplumber or dbus-daemon missing
//   auto id = (*started)->node_id("test_sink_b");         // node ids depend on load order: look them up by name
//
// While the session lives, this test process has XDG_RUNTIME_DIR, HOME, XDG_CONFIG_HOME, XDG_STATE_HOME,
// XDG_DATA_HOME and both bus addresses pointed at the session's folder, so every tool a test starts (directly or
// through cmd_runner) reaches this session and nothing else; all of them are restored when it goes. Every process it
// starts is stopped and reaped with it, and the folder is removed: a test leaves nothing behind.

#include "test_buses/test_buses.hpp"

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sound_graph::testing {

// A device declared in the session's configuration: a null sink or virtual source, or, with `monitor_of`, a
// source that hears what plays on that sink (a loopback from the sink's monitor).
struct TestNode {
    std::string node_name;    // "test_sink_a"
    std::string description;  // what wpctl and the graph show: "Test Sink A"
    std::string media_class;  // "Audio/Sink", "Audio/Source/Virtual" or (with monitor_of) "Audio/Source"
    std::string positions;    // "FL FR" or "MONO"
    int priority = 1000;      // the highest of its kind is the first default
    std::string monitor_of;   // the sink a loopback source listens to; its capture side is a recording stream
};

// Two stereo sinks ("Test Sink A" is the default), a mono sink, a mono virtual source ("Test Mic", the default
// input) and "Loop Mic" (test_loop_mic), which hears what plays on "Test Sink B". wpctl makes only the latter the
// default input: it refuses virtual sources.
[[nodiscard]] std::vector<TestNode> standard_nodes();

class PipeWireSession {
public:
    // An error when a program is missing or the session does not come up (the sentence says which).
    static std::expected<std::unique_ptr<PipeWireSession>, std::string> start(
        std::vector<TestNode> nodes = standard_nodes());
    ~PipeWireSession();
    PipeWireSession(const PipeWireSession&) = delete;
    PipeWireSession& operator=(const PipeWireSession&) = delete;

    [[nodiscard]] const std::filesystem::path& dir() const { return dir_; }

    // Runs a program of the session (wpctl, pw-dump, pw-link, ...) with a time limit of 10 s: its standard output
    // when it exits with status 0, else what went wrong.
    std::expected<std::string, std::string> run(const std::vector<std::string>& argv) const;

    // The id of the node with this node.name, waiting up to 5 s for it to appear.
    std::expected<std::uint32_t, std::string> node_id(std::string_view node_name) const;
    // How many nodes have this node.name now (streams the graph leaves out included).
    [[nodiscard]] std::size_t count_nodes(std::string_view node_name) const;
    // The ids of the nodes that a node's output ports are linked to.
    [[nodiscard]] std::vector<std::uint32_t> linked_to(std::uint32_t node_id) const;

    // Makes the first default output and input (the sink and source of the highest priority) the defaults again,
    // as a test that changed them leaves it; wpctl cannot do it for a virtual source, pw-metadata can.
    std::expected<void, std::string> restore_defaults() const;

    // Polls `ready` every 25 ms until it holds or `limit` has passed; answers whether it held.
    bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

    // Plays a tone of `amplitude` (0 to 1) for a minute as a playback stream named `stream_name`, sent to `target`
    // (a sink's node name). Answers the running player and the stream's node id once the stream is linked.
    std::expected<std::pair<test_buses::Child, std::uint32_t>, std::string> play(std::string_view target,
                                                                                std::string_view stream_name,
                                                                                double amplitude = 0.1) const;

private:
    PipeWireSession() = default;
    std::filesystem::path write_tone(double amplitude) const;

    std::filesystem::path dir_;
    std::vector<TestNode> nodes_;
    std::unique_ptr<test_buses::PrivateBuses> buses_;
    std::vector<test_buses::Child> daemons_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_env_;
};

}  // namespace sound_graph::testing
