// The sound backends against a real PipeWire and WirePlumber: a private session with two stereo null sinks, a mono
// null sink and a virtual microphone (sound_graph/testing/pipewire_session.hpp).

#include "cmd_runner/cmd_runner.hpp"
#include "sound_graph/audio.hpp"
#include "sound_graph/runtime.hpp"
#include "sound_graph/testing/pipewire_session.hpp"
#include "sound_graph/wpctl.hpp"
#include "system_ops/audio.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace sound_graph::audio {
namespace {

using namespace std::chrono_literals;
using testing::PipeWireSession;
using ::testing::ElementsAre;
using ::testing::FloatNear;
using ::testing::IsEmpty;
using ::testing::Optional;

class PipeWireTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        auto started = PipeWireSession::start();
        if (started) {
            session_ = std::move(*started);
        } else {
            start_error_ = new std::string(started.error());
        }
    }
    static void TearDownTestSuite()
    {
        session_.reset();
        delete start_error_;
        start_error_ = nullptr;
    }
    void SetUp() override
    {
        if (!session_) {
            GTEST_SKIP() << "no PipeWire session: " << *start_error_;
        }
        const auto restored = session_->restore_defaults();
        ASSERT_TRUE(restored.has_value()) << restored.error();
    }

    static const PipeWireSession& session() { return *session_; }
    static std::uint32_t id_of(std::string_view node_name)
    {
        const auto id = session_->node_id(node_name);
        EXPECT_TRUE(id.has_value()) << id.error();
        return id.value_or(0);
    }
    static AudioGraph graph()
    {
        const auto graph = PwDumpEnumerator().try_enumerate();
        EXPECT_TRUE(graph.has_value()) << graph.error();
        return graph.value_or(AudioGraph{});
    }
    static const AudioStream* stream(const AudioGraph& graph, std::uint32_t id)
    {
        return graph.stream_by_id(id);
    }

    static inline std::unique_ptr<PipeWireSession> session_;
    static inline std::string* start_error_ = nullptr;
};

TEST_F(PipeWireTest, TheGraphListsTheNullDevicesWithTheirDefaults)
{
    const AudioGraph g = graph();
    std::vector<std::string> sinks;
    for (const auto& node : g.sinks) {
        sinks.push_back(node.display_name);
    }
    EXPECT_THAT(sinks, ::testing::UnorderedElementsAre("Test Sink A", "Test Sink B", "Mono Sink"));
    ASSERT_NE(g.default_sink(), nullptr);
    EXPECT_EQ(g.default_sink()->node_name, "test_sink_a");
    EXPECT_EQ(g.default_sink()->channels, 2U);
    EXPECT_EQ(g.sink_by_id(id_of("test_mono"))->channels, 1U);
    ASSERT_NE(g.default_source(), nullptr);
    EXPECT_EQ(g.default_source()->display_name, "Test Mic");
    ASSERT_NE(g.source_by_id(id_of("test_loop_mic")), nullptr);
    EXPECT_EQ(g.source_by_id(id_of("test_loop_mic"))->display_name, "Loop Mic");
    EXPECT_EQ(g.sources.size(), 2U);
    // The loop microphone listens to Test Sink B through a recording stream of its own.
    ASSERT_EQ(g.recording_streams.size(), 1U);
    EXPECT_EQ(g.recording_streams[0].node_name, "test_loop_mic_capture");
    EXPECT_EQ(g.recording_streams[0].target, std::nullopt);  // it records a sink's monitor, not a source

    // The fallback listing agrees on ids and defaults.
    const auto listed = WpctlDefaultDevice().list_devices();
    ASSERT_TRUE(listed.has_value()) << listed.error();
    ASSERT_EQ(listed->outputs.size(), 3U);
    ASSERT_NE(listed->default_output(), nullptr);
    EXPECT_EQ(listed->default_output()->id, id_of("test_sink_a"));
    EXPECT_EQ(listed->default_output()->name, "Test Sink A");
    EXPECT_THAT(listed->inputs, ::testing::UnorderedElementsAre(
                                    DeviceChoice{.name = "Test Mic", .id = id_of("test_source"), .is_default = true},
                                    DeviceChoice{.name = "Loop Mic", .id = id_of("test_loop_mic")}));
}

TEST_F(PipeWireTest, OutputAndInputVolumeAndMuteRoundTrip)
{
    system_ops::audio::WpctlAudio output;
    WpctlSourceVolume input;
    ASSERT_TRUE(output.set_volume(35.0F).has_value());
    ASSERT_TRUE(output.set_mute(true).has_value());
    EXPECT_EQ(output.get_volume_state(), (system_ops::audio::VolumeState{.volume = 0.35F, .muted = true}));
    ASSERT_TRUE(output.set_mute(false).has_value());
    ASSERT_TRUE(output.set_volume(140.0F).has_value());  // clamped: never boosted past 100 %
    EXPECT_EQ(output.get_volume_state(), (system_ops::audio::VolumeState{.volume = 1.0F}));

    ASSERT_TRUE(input.set_volume(42.0F).has_value());
    EXPECT_EQ(input.get_volume_state(), (system_ops::audio::VolumeState{.volume = 0.42F}));
    // The input level is the default source's, not the output's.
    EXPECT_EQ(output.get_volume_state()->volume, 1.0F);
    ASSERT_TRUE(input.set_volume(75.0F).has_value());
    EXPECT_EQ(session().run({"wpctl", "get-volume", std::to_string(id_of("test_source"))}).value_or(""),
              "Volume: 0.75\n");
}

TEST_F(PipeWireTest, DefaultOutputAndInputChange)
{
    WpctlDefaultDevice control;
    const std::uint32_t sink_b = id_of("test_sink_b");
    ASSERT_TRUE(control.set_default(sink_b).has_value());
    EXPECT_TRUE(session().wait_until([&] {
        const auto g = graph();
        return g.default_sink() != nullptr && g.default_sink()->id == sink_b;
    }));
    const auto listed = control.list_devices();
    ASSERT_TRUE(listed.has_value()) << listed.error();
    ASSERT_NE(listed->default_output(), nullptr);
    EXPECT_EQ(listed->default_output()->id, sink_b);
    // The default output's volume is now test_sink_b's.
    ASSERT_TRUE(system_ops::audio::WpctlAudio().set_volume(20.0F).has_value());
    EXPECT_EQ(session().run({"wpctl", "get-volume", std::to_string(sink_b)}).value_or(""), "Volume: 0.20\n");

    // The default input, and with it the input level.
    const std::uint32_t loop_mic = id_of("test_loop_mic");
    ASSERT_TRUE(control.set_default(loop_mic).has_value());
    EXPECT_TRUE(session().wait_until([&] {
        const auto g = graph();
        return g.default_source() != nullptr && g.default_source()->id == loop_mic;
    }));
    EXPECT_EQ(control.list_devices()->default_input()->id, loop_mic);
    ASSERT_TRUE(WpctlSourceVolume().set_volume(60.0F).has_value());
    EXPECT_EQ(session().run({"wpctl", "get-volume", std::to_string(loop_mic)}).value_or(""), "Volume: 0.60\n");

    // The graph control makes the same changes for the pane's preferred devices.
    WpctlGraphControl graph_control;
    ASSERT_TRUE(graph_control.set_default_sink(id_of("test_sink_a")).has_value());
    EXPECT_TRUE(session().wait_until([&] { return graph().default_sink()->node_name == "test_sink_a"; }));
    // wpctl refuses a virtual source as the default input, and says so.
    const auto virtual_source = graph_control.set_default_source(id_of("test_source"));
    ASSERT_FALSE(virtual_source.has_value());
    EXPECT_THAT(virtual_source.error(), ::testing::HasSubstr("not a device node"));

    // Ids that name nothing are errors, never success.
    EXPECT_FALSE(control.set_default(999999).has_value());
    EXPECT_FALSE(graph_control.set_device_profile(sink_b, 1).has_value());  // a sink is no sound card
    EXPECT_FALSE(graph_control.set_node_volume(999999, 0.5F).has_value());
}

TEST_F(PipeWireTest, AStreamIsRoutedToAnotherSinkAndBackWithItsVolumeAndMute)
{
    auto played = session().play("test_sink_a", "test_music");
    ASSERT_TRUE(played.has_value()) << played.error();
    const std::uint32_t music = played->second;
    const std::uint32_t sink_a = id_of("test_sink_a");
    const std::uint32_t sink_b = id_of("test_sink_b");
    EXPECT_THAT(session().linked_to(music), ElementsAre(sink_a));

    WpctlGraphControl control;
    const AudioGraph before = graph();
    ASSERT_NE(stream(before, music), nullptr);
    EXPECT_EQ(stream(before, music)->target, sink_a);
    ASSERT_TRUE(control.route_stream(music, before.sink_by_id(sink_b)->routing_number).has_value());
    EXPECT_TRUE(session().wait_until([&] { return session().linked_to(music) == std::vector{sink_b}; }));
    EXPECT_EQ(stream(graph(), music)->target, sink_b);

    ASSERT_TRUE(control.unroute_stream(music).has_value());
    EXPECT_TRUE(session().wait_until([&] { return session().linked_to(music) == std::vector{sink_a}; }));
    EXPECT_EQ(stream(graph(), music)->target, sink_a);

    ASSERT_TRUE(control.set_node_volume(music, 0.3F).has_value());
    ASSERT_TRUE(control.set_node_mute(music, true).has_value());
    const AudioGraph after = graph();
    ASSERT_NE(stream(after, music), nullptr);
    EXPECT_THAT(stream(after, music)->volume, Optional(FloatNear(0.3F, 0.005F)));  // wpctl's scale, as set
    EXPECT_TRUE(stream(after, music)->muted);
    EXPECT_EQ(session().run({"wpctl", "get-volume", std::to_string(music)}).value_or(""), "Volume: 0.30 [MUTED]\n");
    ASSERT_TRUE(control.set_node_volume(music, 2.5F).has_value());  // clamped
    EXPECT_THAT(stream(graph(), music)->volume, Optional(FloatNear(1.0F, 0.005F)));

    // A stream that comes or goes changes the topology; a volume does not.
    const auto signature = graph().topology_signature();
    ASSERT_TRUE(control.set_node_volume(music, 0.5F).has_value());
    EXPECT_EQ(graph().topology_signature(), signature);
    played->first.stop();
    EXPECT_TRUE(session().wait_until([&] { return graph().topology_signature() != signature; }));
    EXPECT_EQ(stream(graph(), music), nullptr);
}

// The real runner, with the speaker test's tone followed by silence up to four seconds: the 0.8 s tone alone can
// end on a busy machine before it has been seen playing.
class LongToneRunner final : public cmd_runner::Runner {
public:
    cmd_runner::Result run(const cmd_runner::Command& command) override { return cmd_runner::run(command); }
    std::expected<cmd_runner::AsyncCommand, cmd_runner::Error> spawn_prepared(cmd_runner::Command command) override
    {
        if (command.program == "pw-play" && command.input && command.input->size() > 44) {
            std::string& wav = *command.input;
            const std::size_t four_seconds = 4 * 48000 * 4;  // 48 kHz, two 16-bit channels
            wav.resize(44 + std::max(wav.size() - 44, four_seconds), '\0');
            const auto put_u32 = [&](std::size_t at, std::size_t value) {
                for (int i = 0; i < 4; ++i) {
                    wav[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
                }
            };
            put_u32(4, wav.size() - 8);    // the RIFF chunk
            put_u32(40, wav.size() - 44);  // the data chunk
        }
        return cmd_runner::spawn_prepared(std::move(command));
    }
};

TEST_F(PipeWireTest, TheSpeakerTestStopsAndIsReapedWhenItsHandleGoes)
{
    RealAudioRuntime runtime(std::make_shared<LongToneRunner>());
    ASSERT_TRUE(runtime.capabilities().channel_test);
    const auto signature = graph().topology_signature();
    auto test = runtime.start_channel_test("test_sink_b", true);
    ASSERT_TRUE(test.has_value()) << test.error();
    ASSERT_TRUE(session().wait_until([&] { return session().count_nodes("vorn-settings-speaker-test") == 1; }));
    const auto player = session().node_id("vorn-settings-speaker-test");
    ASSERT_TRUE(player.has_value());
    EXPECT_TRUE(session().wait_until([&] { return session().linked_to(*player) == std::vector{id_of("test_sink_b")}; }));
    // The tone is no stream of the user's: the page's view of the graph does not change under it.
    EXPECT_THAT(graph().playback_streams, IsEmpty());
    EXPECT_EQ(graph().topology_signature(), signature);
    EXPECT_TRUE((*test)->running());

    test->reset();
    EXPECT_TRUE(session().wait_until([&] { return session().count_nodes("vorn-settings-speaker-test") == 0; }));

    // Left alone, the short tone ends by itself.
    RealAudioRuntime plain;
    auto finished = plain.start_channel_test("test_sink_a", false);
    ASSERT_TRUE(finished.has_value()) << finished.error();
    EXPECT_TRUE(session().wait_until([&] { return !(*finished)->running(); }, 10s));
}

TEST_F(PipeWireTest, TheMeterReadsALevelFromAMonitoredSink)
{
    RealAudioRuntime runtime;
    ASSERT_TRUE(runtime.capabilities().microphone_meter);
    const auto signature = graph().topology_signature();
    auto meter = runtime.start_microphone_meter("test_loop_mic", 8s);
    ASSERT_TRUE(meter.has_value()) << meter.error();
    ASSERT_TRUE(session().wait_until([&] { return session().count_nodes("vorn-settings-level-meter") == 1; }));
    EXPECT_EQ(graph().topology_signature(), signature);  // the meter is no recording of the user's
    EXPECT_EQ((*meter)->level(), 0.0F);                 // nothing plays on Test Sink B yet

    // Something plays on the sink the loop microphone listens to (both at full volume, whatever earlier tests of
    // this session set: the level follows them).
    for (const char* node : {"test_sink_b", "test_loop_mic"}) {
        const std::string id = std::to_string(id_of(node));
        ASSERT_TRUE(session().run({"wpctl", "set-volume", id, "1"}).has_value());
        ASSERT_TRUE(session().run({"wpctl", "set-mute", id, "0"}).has_value());
    }
    auto voice = session().play("test_sink_b", "test_voice", 0.3);
    ASSERT_TRUE(voice.has_value()) << voice.error();
    EXPECT_TRUE(session().wait_until([&] { return (*meter)->level() > 0.15F; }));
    EXPECT_LE((*meter)->level(), 1.0F);
    EXPECT_TRUE((*meter)->running());

    meter->reset();
    EXPECT_TRUE(session().wait_until([&] { return session().count_nodes("vorn-settings-level-meter") == 0; }));

    // A meter given a second ends by itself.
    auto short_meter = runtime.start_microphone_meter("test_loop_mic", 1s);
    ASSERT_TRUE(short_meter.has_value()) << short_meter.error();
    EXPECT_TRUE(session().wait_until([&] { return !(*short_meter)->running(); }));
}

}  // namespace
}  // namespace sound_graph::audio
