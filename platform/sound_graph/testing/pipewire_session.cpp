#include "sound_graph/testing/pipewire_session.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <thread>

namespace sound_graph::testing {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

constexpr const char* redirected_variables[] = {"XDG_RUNTIME_DIR", "HOME",           "XDG_CONFIG_HOME",
                                                "XDG_STATE_HOME",  "XDG_DATA_HOME",  "PIPEWIRE_REMOTE",
                                                "PIPEWIRE_RUNTIME_DIR", "PULSE_SERVER"};

bool write_file(const std::filesystem::path& path, std::string_view text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

std::string node_config(const std::vector<TestNode>& nodes)
{
    std::string config = "context.objects = [\n";
    std::string loops;
    for (const auto& node : nodes) {
        if (!node.monitor_of.empty()) {
            loops += fmt::format(
                "  {{ name = libpipewire-module-loopback\n"
                "    args = {{ node.description = \"{1}\"\n"
                "             capture.props = {{ node.name = \"{0}_capture\" target.object = \"{5}\"\n"
                "                               stream.capture.sink = true node.dont-reconnect = true\n"
                "                               audio.position = [ {3} ] }}\n"
                "             playback.props = {{ node.name = \"{0}\" node.description = \"{1}\"\n"
                "                                media.class = \"{2}\" audio.position = [ {3} ]\n"
                "                                priority.session = {4} }} }} }}\n",
                node.node_name, node.description, node.media_class, node.positions, node.priority, node.monitor_of);
            continue;
        }
        config += fmt::format(
            "  {{ factory = adapter\n"
            "    args = {{ factory.name = support.null-audio-sink node.name = \"{}\" node.description = \"{}\"\n"
            "             media.class = \"{}\" audio.position = [ {} ] monitor.channel-volumes = true\n"
            "             object.linger = true priority.session = {} priority.driver = {} }} }}\n",
            node.node_name, node.description, node.media_class, node.positions, node.priority, node.priority);
    }
    config += "]\n";
    if (!loops.empty()) {
        config += "context.modules = [\n" + loops + "]\n";
    }
    return config;
}

std::optional<Json> dump(const PipeWireSession& session)
{
    const auto out = session.run({"pw-dump", "--no-colors"});
    if (!out) {
        return std::nullopt;
    }
    Json objects = Json::parse(*out, nullptr, false);
    if (objects.is_discarded() || !objects.is_array()) {
        return std::nullopt;
    }
    return objects;
}

std::string props_text(const Json& object, const char* key)
{
    const auto info = object.find("info");
    if (info == object.end() || !info->is_object()) {
        return {};
    }
    const auto props = info->find("props");
    if (props == info->end() || !props->is_object()) {
        return {};
    }
    const auto value = props->find(key);
    return value != props->end() && value->is_string() ? value->get<std::string>() : std::string();
}

}  // namespace

std::vector<TestNode> standard_nodes()
{
    return {
        {.node_name = "test_sink_a", .description = "Test Sink A", .media_class = "Audio/Sink", .positions = "FL FR",
         .priority = 3000},
        {.node_name = "test_sink_b", .description = "Test Sink B", .media_class = "Audio/Sink", .positions = "FL FR",
         .priority = 2000},
        {.node_name = "test_mono", .description = "Mono Sink", .media_class = "Audio/Sink", .positions = "MONO",
         .priority = 1000},
        {.node_name = "test_source", .description = "Test Mic", .media_class = "Audio/Source/Virtual",
         .positions = "MONO", .priority = 3000},
        {.node_name = "test_loop_mic", .description = "Loop Mic", .media_class = "Audio/Source", .positions = "MONO",
         .priority = 1000, .monitor_of = "test_sink_b"},
    };
}

std::expected<std::unique_ptr<PipeWireSession>, std::string> PipeWireSession::start(std::vector<TestNode> nodes)
{
    for (const char* program : {"pipewire", "wireplumber", "wpctl", "pw-dump"}) {
        if (!cmd_runner::program_available(program)) {
            return std::unexpected(fmt::format("{} is not installed", program));
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vorn-pipewire.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return std::unexpected(fmt::format("no temporary folder for PipeWire: {}", std::strerror(errno)));
    }
    std::unique_ptr<PipeWireSession> session(new PipeWireSession());
    session->dir_ = pattern;
    session->nodes_ = nodes;
    const auto& dir = session->dir_;
    std::error_code error;
    for (const char* sub : {"run", "home", "config/pipewire/pipewire.conf.d", "state", "data"}) {
        std::filesystem::create_directories(dir / sub, error);
    }
    ::chmod((dir / "run").c_str(), 0700);
    if (!write_file(dir / "config/pipewire/pipewire.conf.d/50-test-nodes.conf", node_config(nodes))) {
        return std::unexpected(std::string("could not write the PipeWire configuration"));
    }

    auto buses = test_buses::PrivateBuses::start();
    if (!buses) {
        return std::unexpected(buses.error());
    }
    session->buses_ = std::move(*buses);
    const std::vector<std::pair<const char*, std::filesystem::path>> redirect = {
        {"XDG_RUNTIME_DIR", dir / "run"},  {"HOME", dir / "home"},          {"XDG_CONFIG_HOME", dir / "config"},
        {"XDG_STATE_HOME", dir / "state"}, {"XDG_DATA_HOME", dir / "data"},
    };
    for (const char* name : redirected_variables) {
        const char* value = std::getenv(name);
        session->saved_env_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        ::unsetenv(name);
    }
    for (const auto& [name, path] : redirect) {
        ::setenv(name, path.c_str(), 1);
    }

    auto pipewire = test_buses::Child::start({"pipewire"}, dir / "pipewire.log");
    if (!pipewire) {
        return std::unexpected(pipewire.error());
    }
    session->daemons_.push_back(std::move(*pipewire));
    if (!session->wait_until([&] { return std::filesystem::exists(dir / "run/pipewire-0"); })) {
        return std::unexpected(std::string("pipewire did not come up"));
    }
    auto wireplumber = test_buses::Child::start({"wireplumber"}, dir / "wireplumber.log");
    if (!wireplumber) {
        return std::unexpected(wireplumber.error());
    }
    session->daemons_.push_back(std::move(*wireplumber));

    const bool has_sink = std::ranges::any_of(nodes, [](const TestNode& n) { return n.media_class == "Audio/Sink"; });
    const bool has_source =
        std::ranges::any_of(nodes, [](const TestNode& n) { return n.media_class.starts_with("Audio/Source"); });
    const auto has_default = [&](const char* which) {
        const auto out = session->run({"wpctl", "get-volume", which});
        return out && out->starts_with("Volume:");
    };
    if (!session->wait_until([&] {
            return (!has_sink || has_default("@DEFAULT_AUDIO_SINK@")) &&
                   (!has_source || has_default("@DEFAULT_AUDIO_SOURCE@"));
        })) {
        return std::unexpected(std::string("wireplumber chose no default devices"));
    }
    return session;
}

PipeWireSession::~PipeWireSession()
{
    // WirePlumber first, so that it never sees PipeWire go away; then the buses.
    while (!daemons_.empty()) {
        daemons_.back().stop();
        daemons_.pop_back();
    }
    buses_.reset();
    for (const auto& [name, value] : saved_env_) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::expected<std::string, std::string> PipeWireSession::run(const std::vector<std::string>& argv) const
{
    cmd_runner::Command command{.program = argv.front(), .env = {{"LC_ALL", "C"}}, .time_limit = 10s};
    command.args.assign(argv.begin() + 1, argv.end());
    const auto out = cmd_runner::run(command);
    if (!out) {
        return std::unexpected(out.error().message);
    }
    if (!out->status.success()) {
        return std::unexpected(cmd_runner::failure_text(*out, argv.front()));
    }
    return out->stdout_text();
}

std::expected<std::uint32_t, std::string> PipeWireSession::node_id(std::string_view node_name) const
{
    std::optional<std::uint32_t> found;
    wait_until([&] {
        const auto objects = dump(*this);
        if (!objects) {
            return false;
        }
        for (const Json& object : *objects) {
            if (object.value("type", "") == "PipeWire:Interface:Node" && props_text(object, "node.name") == node_name &&
                object.contains("id") && object["id"].is_number_unsigned()) {
                found = object["id"].get<std::uint32_t>();
                return true;
            }
        }
        return false;
    });
    if (!found) {
        return std::unexpected(fmt::format("no node named {} appeared", node_name));
    }
    return *found;
}

std::size_t PipeWireSession::count_nodes(std::string_view node_name) const
{
    const auto objects = dump(*this);
    if (!objects) {
        return 0;
    }
    return static_cast<std::size_t>(std::ranges::count_if(*objects, [&](const Json& object) {
        return object.value("type", "") == "PipeWire:Interface:Node" && props_text(object, "node.name") == node_name;
    }));
}

std::vector<std::uint32_t> PipeWireSession::linked_to(std::uint32_t node_id) const
{
    std::vector<std::uint32_t> peers;
    const auto objects = dump(*this);
    if (!objects) {
        return peers;
    }
    for (const Json& object : *objects) {
        if (object.value("type", "") != "PipeWire:Interface:Link" || !object.contains("info")) {
            continue;
        }
        const Json& info = object["info"];
        if (info.value("output-node-id", 0U) == node_id) {
            const auto peer = info.value("input-node-id", 0U);
            if (std::ranges::find(peers, peer) == peers.end()) {
                peers.push_back(peer);
            }
        }
    }
    return peers;
}

std::expected<void, std::string> PipeWireSession::restore_defaults() const
{
    for (const bool sink : {true, false}) {
        const TestNode* first = nullptr;
        for (const auto& node : nodes_) {
            if ((node.media_class == "Audio/Sink") == sink && (first == nullptr || node.priority > first->priority)) {
                first = &node;
            }
        }
        if (first == nullptr) {
            continue;
        }
        const std::string key = sink ? "default.configured.audio.sink" : "default.configured.audio.source";
        if (auto set = run({"pw-metadata", "-n", "default", "0", key, fmt::format("{{ \"name\": \"{}\" }}", first->node_name),
                            "Spa:String:JSON"});
            !set) {
            return std::unexpected(set.error());
        }
        const std::string wanted = fmt::format("node.name = \"{}\"", first->node_name);
        const char* which = sink ? "@DEFAULT_AUDIO_SINK@" : "@DEFAULT_AUDIO_SOURCE@";
        if (!wait_until([&] { return run({"wpctl", "inspect", which}).value_or("").find(wanted) != std::string::npos; })) {
            return std::unexpected(fmt::format("{} did not become the default again", first->node_name));
        }
    }
    return {};
}

bool PipeWireSession::wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit) const
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (ready()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(25ms);
    }
}

std::filesystem::path PipeWireSession::write_tone(double amplitude) const
{
    // A minute of a 440 Hz sine on both channels at 8 kHz: small enough to write quickly, long enough to outlast
    // any test.
    static std::atomic<int> counter{0};
    constexpr std::uint32_t rate = 8000;
    constexpr std::uint32_t frames = rate * 60;
    constexpr std::uint32_t block = 4;
    std::string wav = "RIFF";
    const auto put = [&wav](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            wav.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    };
    put(36 + frames * block, 4);
    wav += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(rate, 4);
    put(rate * block, 4);
    put(block, 2);
    put(16, 2);
    wav += "data";
    put(frames * block, 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double value = amplitude * std::sin(2.0 * std::numbers::pi * 440.0 * i / rate);
        const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value * 32767.0)));
        put(sample, 2);
        put(sample, 2);
    }
    const auto path = dir_ / fmt::format("tone-{}.wav", counter++);
    write_file(path, wav);
    return path;
}

std::expected<std::pair<test_buses::Child, std::uint32_t>, std::string> PipeWireSession::play(
    std::string_view target, std::string_view stream_name, double amplitude) const
{
    auto player = test_buses::Child::start({"pw-play", "--target", std::string(target), "-P",
                                            fmt::format("{{ node.name = \"{}\" }}", stream_name),
                                            write_tone(amplitude).string()},
                                           dir_ / "pw-play.log");
    if (!player) {
        return std::unexpected(player.error());
    }
    const auto id = node_id(stream_name);
    if (!id) {
        return std::unexpected(id.error());
    }
    if (!wait_until([&] { return !linked_to(*id).empty(); })) {
        return std::unexpected(fmt::format("the stream {} was never linked", stream_name));
    }
    // WirePlumber gives a new stream the volume and mute the last one of the same program had.
    for (const auto& command : {std::vector<std::string>{"wpctl", "set-volume", std::to_string(*id), "1"},
                                std::vector<std::string>{"wpctl", "set-mute", std::to_string(*id), "0"}}) {
        if (const auto set = run(command); !set) {
            return std::unexpected(set.error());
        }
    }
    return std::pair{std::move(*player), *id};
}

}  // namespace sound_graph::testing
