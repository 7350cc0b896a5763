#include "sound_graph/audio.hpp"

#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace sound_graph::audio {
namespace {

using ::testing::ElementsAre;
using ::testing::FloatNear;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Optional;

std::filesystem::path fixture()
{
    const char* source = std::getenv("VORN_SOURCE_DIR");
    EXPECT_NE(source, nullptr) << "VORN_SOURCE_DIR is not set (run the tests through ctest)";
    const std::filesystem::path root = source != nullptr ? source : ".";
    return root / "platform/sound_graph/testdata/pw-dump.json";
}

std::string fixture_text()
{
    std::ifstream in(fixture());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PwDumpTest, NodesStreamsAndDevicesOfARealGraph)
{
    const auto graph = parse_pw_dump(fixture_text());
    ASSERT_TRUE(graph.has_value()) << graph.error();

    EXPECT_THAT(graph->sinks,
                ElementsAre(AudioNode{.node_name = "alsa_output.pci-0000_00_1f.3.analog-stereo",
                                      .display_name = "Built-in Audio Analog Stereo",
                                      .channels = 2,
                                      .id = 48,
                                      .device_id = 40,
                                      .routing_number = 49,
                                      .is_default = true},
                            AudioNode{.node_name = "bluez_output.00_1B_66_AA_BB_CC.1",
                                      .display_name = "WH-1000XM4",
                                      .codec = "aac",
                                      .channels = 2,
                                      .id = 58,
                                      .device_id = 42,
                                      .routing_number = 59}));
    EXPECT_THAT(graph->sources,
                ElementsAre(AudioNode{.node_name = "alsa_input.pci-0000_00_1f.3.analog-stereo",
                                      .display_name = "Built-in Audio Analog Stereo",
                                      .channels = 1,
                                      .id = 50,
                                      .device_id = 40,
                                      .routing_number = 51,
                                      .is_default = true},
                            AudioNode{.node_name = "noise-cancelled-mic",
                                      .display_name = "noise-cancelled-mic",
                                      .id = 60,
                                      .routing_number = 61}));

    ASSERT_EQ(graph->playback_streams.size(), 2U);
    const auto& firefox = graph->playback_streams[0];
    EXPECT_EQ(firefox.id, 70U);
    EXPECT_EQ(firefox.target, 48U);  // linked to the speakers
    EXPECT_THAT(firefox.volume, Optional(FloatNear(0.5F, 1e-5F)));  // linear 0.125 is 0.5 on wpctl's scale
    EXPECT_TRUE(firefox.muted);
    EXPECT_EQ(firefox.label(), "Firefox · Big Buck Bunny");
    const auto& music = graph->playback_streams[1];
    EXPECT_EQ(music.target, 58U);  // pinned by serial in the metadata, not linked yet
    EXPECT_THAT(music.volume, Optional(FloatNear(std::cbrt(0.5F), 1e-5F)));
    EXPECT_EQ(music.label(), "Music");

    ASSERT_EQ(graph->recording_streams.size(), 1U);  // the mixer's level meter is not a stream of the user
    EXPECT_EQ(graph->recording_streams[0].target, 60U);  // pinned by node name
    EXPECT_FALSE(graph->recording_streams[0].playback);
    EXPECT_EQ(graph->recording_streams[0].volume, std::nullopt);

    ASSERT_EQ(graph->devices.size(), 2U);  // the camera is not an audio device
    const auto& card = graph->devices[0];
    EXPECT_EQ(card.id, 40U);
    EXPECT_EQ(card.display_name, "Built-in Audio");
    EXPECT_EQ(card.active_profile, 1U);
    ASSERT_EQ(card.profiles.size(), 4U);
    EXPECT_EQ(card.profiles[2], (AudioProfile{.name = "output:hdmi-stereo",
                                              .description = "Digital Stereo (HDMI) Output",
                                              .index = 2,
                                              .available = false}));
    EXPECT_TRUE(card.profiles[3].available);  // "unknown" is offered
    EXPECT_EQ(graph->devices[1].active_profile, std::nullopt);
}

TEST(PwDumpTest, LookupsAndTopologySignature)
{
    auto graph = parse_pw_dump(fixture_text()).value();
    ASSERT_NE(graph.sink_by_id(58), nullptr);
    EXPECT_EQ(graph.sink_by_id(58)->display_name, "WH-1000XM4");
    EXPECT_EQ(graph.sink_by_id(50), nullptr);  // a source, not a sink
    EXPECT_EQ(graph.default_sink()->id, 48U);
    EXPECT_EQ(graph.default_source()->id, 50U);
    EXPECT_EQ(graph.stream_by_id(72)->application_name, "Recorder");
    EXPECT_EQ(graph.stream_by_id(48), nullptr);
    EXPECT_EQ(graph.device_by_id(42)->display_name, "WH-1000XM4");

    const auto signature = graph.topology_signature();
    graph.playback_streams[0].volume = 0.9F;
    graph.sinks[0].is_default = false;
    EXPECT_EQ(graph.topology_signature(), signature);  // volumes and defaults are not topology
    graph.playback_streams.pop_back();
    EXPECT_NE(graph.topology_signature(), signature);
    EXPECT_NE(AudioGraph{}.topology_signature(), signature);
}

TEST(PwDumpTest, BrokenOutputIsAClearErrorNeverACrash)
{
    struct Case {
        std::string text;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"", "pw-dump printed unreadable JSON"},
        {"[{\"id\": 1,", "pw-dump printed unreadable JSON"},
        {"{\"id\": 1}", "pw-dump printed no list of objects"},
        {std::string(100000, '[') + std::string(100000, ']'), "pw-dump printed JSON nested too deeply"},
    };
    for (const auto& c : cases) {
        const auto graph = parse_pw_dump(c.text);
        ASSERT_FALSE(graph.has_value()) << c.text.substr(0, 20);
        EXPECT_EQ(graph.error(), c.error);
    }
    // Wrong types everywhere are skipped, not trusted.
    const auto odd = parse_pw_dump(R"([
        {"id": -4, "type": "PipeWire:Interface:Node", "info": {"props": {"media.class": "Audio/Sink"}}},
        {"id": 4294967296, "type": "PipeWire:Interface:Node", "info": {"props": {"media.class": "Audio/Sink"}}},
        {"id": 5, "type": "PipeWire:Interface:Node", "info": {"props": {"media.class": "Audio/Sink", "node.name": 7,
          "object.serial": -1, "audio.channels": "many"}, "params": {"Props": "loud"}}},
        {"id": 6, "type": "PipeWire:Interface:Node", "info": {"props": {"media.class": "Stream/Output/Audio"},
          "params": {"Props": [{"channelVolumes": ["x", null], "mute": "yes"}]}}},
        {"id": 7, "type": "PipeWire:Interface:Metadata", "props": {"metadata.name": "default"}, "metadata": 3},
        {"id": 8, "type": "PipeWire:Interface:Device", "info": {"props": {"media.class": "Audio/Device"},
          "params": {"EnumProfile": [{"index": "x"}, 5, {"index": 2, "available": "no"}], "Profile": [{}]}}}
    ])");
    ASSERT_TRUE(odd.has_value()) << odd.error();
    ASSERT_EQ(odd->sinks.size(), 1U);
    EXPECT_EQ(odd->sinks[0], (AudioNode{.display_name = "Device 5", .id = 5, .routing_number = 5}));
    ASSERT_EQ(odd->playback_streams.size(), 1U);
    EXPECT_EQ(odd->playback_streams[0].volume, std::nullopt);
    EXPECT_EQ(odd->playback_streams[0].label(), "Stream 6");
    ASSERT_EQ(odd->devices.size(), 1U);
    EXPECT_THAT(odd->devices[0].profiles, ElementsAre(AudioProfile{.index = 2, .available = false}));
}

TEST(PwDumpTest, ObjectsRemovedWhileTheDumpRunsAreAnnouncedInArraysOfTheirOwn)
{
    // What pw-dump prints when objects come and go during its run: removal notices before or after the full list.
    const std::string sink = R"({"id": 48, "type": "PipeWire:Interface:Node", "info": {"props":
        {"media.class": "Audio/Sink", "node.name": "sink_a", "node.description": "Sink A"}}})";
    const std::string other = R"({"id": 58, "type": "PipeWire:Interface:Node", "info": {"props":
        {"media.class": "Audio/Sink", "node.name": "sink_b", "node.description": "Sink B"}}})";
    const std::string stream = R"({"id": 70, "type": "PipeWire:Interface:Node", "info": {"props":
        {"media.class": "Stream/Output/Audio", "application.name": "Music"}}})";
    const std::string renamed = R"({"id": 58, "type": "PipeWire:Interface:Node", "info": {"props":
        {"media.class": "Audio/Sink", "node.name": "sink_b", "node.description": "Sink B2"}}})";
    struct Case {
        std::string name;
        std::string text;
        std::vector<std::string> sinks;
        std::size_t streams = 0;
    };
    const std::vector<Case> cases = {
        {"one list", fmt::format("[{},{},{}]\n", sink, other, stream), {"Sink A", "Sink B"}, 1},
        {"removals of objects already gone, then the list",
         fmt::format("[\n  {{\"id\": 69, \"info\": null}}\n]\n[{{\"id\": 68, \"info\": null}}]\n[{},{},{}]\n", sink,
                     other, stream),
         {"Sink A", "Sink B"}, 1},
        {"the list, then removals", fmt::format("[{},{},{}]\n[{{\"id\": 70, \"info\": null}}]\n[{{\"id\": 58, \"info\": null}}]",
                                                sink, other, stream),
         {"Sink A"}, 0},
        {"a changed object replaces the one listed", fmt::format("[{},{}]\n[{}]", sink, other, renamed),
         {"Sink A", "Sink B2"}, 0},
    };
    for (const auto& c : cases) {
        const auto graph = parse_pw_dump(c.text);
        ASSERT_TRUE(graph.has_value()) << c.name << ": " << graph.error();
        std::vector<std::string> sinks;
        for (const auto& node : graph->sinks) {
            sinks.push_back(node.display_name);
        }
        EXPECT_EQ(sinks, c.sinks) << c.name;
        EXPECT_EQ(graph->playback_streams.size(), c.streams) << c.name;
    }
    // A broken array after a good one still makes the whole reading unreadable.
    const auto broken = parse_pw_dump(fmt::format("[{}]\n[{{\"id\": 70,", sink));
    ASSERT_FALSE(broken.has_value());
    EXPECT_EQ(broken.error(), "pw-dump printed unreadable JSON");
    const auto scalar = parse_pw_dump(fmt::format("[{}]\n5", sink));
    ASSERT_FALSE(scalar.has_value());
    EXPECT_EQ(scalar.error(), "pw-dump printed no list of objects");
}

TEST(PwDumpTest, TestTonesAndMetersAreNoStreamsOfTheUser)
{
    const auto graph = parse_pw_dump(R"([
        {"id": 80, "type": "PipeWire:Interface:Node", "info": {"props": {"media.class": "Stream/Output/Audio",
          "media.role": "Test", "node.name": "vorn-settings-speaker-test"}}},
        {"id": 81, "type": "PipeWire:Interface:Node", "info": {"props": {"media.class": "Stream/Input/Audio",
          "media.role": "Test", "node.name": "vorn-settings-level-meter"}}},
        {"id": 82, "type": "PipeWire:Interface:Node", "info": {"props": {"media.class": "Stream/Output/Audio",
          "media.role": "Music", "application.name": "Player"}}}
    ])");
    ASSERT_TRUE(graph.has_value()) << graph.error();
    ASSERT_EQ(graph->playback_streams.size(), 1U);
    EXPECT_EQ(graph->playback_streams[0].id, 82U);
    EXPECT_THAT(graph->recording_streams, IsEmpty());
}

class SoundToolsTest : public system_ops::testing::FakeTools {};

TEST_F(SoundToolsTest, EnumeratorRunsPwDump)
{
    tool("pw-dump", {{.args = "--no-colors", .out = fixture_text()}});
    PwDumpEnumerator enumerator;
    const auto graph = enumerator.try_enumerate();
    ASSERT_TRUE(graph.has_value()) << graph.error();
    EXPECT_EQ(graph->sinks.size(), 2U);

    tool("pw-dump", {{.args = "--no-colors", .err = "can't connect: Host is down\n", .code = 1}});
    EXPECT_EQ(enumerator.try_enumerate().error(), "could not read the sound graph: can't connect: Host is down");
    EXPECT_EQ(enumerator.enumerate(), AudioGraph{});
}

TEST_F(SoundToolsTest, GraphChangesGoThroughWpctlAndPwMetadata)
{
    tool("wpctl", {{.args = "set-default 58"},
                   {.args = "set-volume 70 0.300"},
                   {.args = "set-volume 70 1.000"},
                   {.args = "set-mute 70 1"},
                   {.args = "inspect 40", .out = "id 40, type PipeWire:Interface:Device\n    device.name = \"x\"\n"},
                   {.args = "inspect 48", .out = "id 48, type PipeWire:Interface:Node\n"},
                   {.args = "inspect 99", .err = "Object '99' not found\n", .code = 3},
                   {.args = "set-profile 40 3"}});
    tool("pw-metadata", {{.args = "71 target.object 59", .out = "Found \"default\" metadata 32\n"},
                         {.args = "-d 71 target.object"}});
    WpctlGraphControl control;
    EXPECT_TRUE(control.set_default_sink(58).has_value());
    EXPECT_TRUE(control.route_stream(71, 59).has_value());
    EXPECT_TRUE(control.unroute_stream(71).has_value());
    EXPECT_TRUE(control.set_node_volume(70, 0.3F).has_value());
    EXPECT_TRUE(control.set_node_volume(70, 7.0F).has_value());
    EXPECT_TRUE(control.set_node_mute(70, true).has_value());
    EXPECT_TRUE(control.set_device_profile(40, 3).has_value());
    EXPECT_EQ(control.set_device_profile(48, 1).error(), "audio device 48 no longer exists");
    EXPECT_EQ(control.set_device_profile(99, 1).error(), "Object '99' not found");
    EXPECT_THAT(call_lines(),
                ElementsAre("wpctl set-default 58", "pw-metadata 71 target.object 59", "pw-metadata -d 71 target.object",
                            "wpctl set-volume 70 0.300", "wpctl set-volume 70 1.000", "wpctl set-mute 70 1",
                            "wpctl inspect 40", "wpctl set-profile 40 3", "wpctl inspect 48", "wpctl inspect 99"));
}

TEST(FakeSoundGraphTest, ReplacesTheRealEnumeratorAndControl)
{
    auto enumerator = std::make_shared<FakeAudioEnumerator>(AudioGraph{.sinks = {AudioNode{.id = 3}}});
    auto control = std::make_shared<FakeGraphControl>();
    const system_ops::ScopedCurrent<AudioEnumerator> enumerator_guard(enumerator);
    const system_ops::ScopedCurrent<GraphControl> control_guard(control);
    EXPECT_NE(enumerate().sink_by_id(3), nullptr);
    EXPECT_TRUE(current_graph_control()->set_node_mute(3, true).has_value());
    EXPECT_THAT(control->calls(), ElementsAre("set_node_mute 3 true"));
    enumerator->set_graph(std::unexpected(std::string("PipeWire is not running")));
    EXPECT_EQ(try_enumerate().error(), "PipeWire is not running");
    EXPECT_THAT(enumerate().sinks, IsEmpty());
}

}  // namespace
}  // namespace sound_graph::audio
