// The Sound page's model with the machine's own backends, against a private PipeWire and WirePlumber session.

#include "panes/audio/audio_model.hpp"

#include "prefs/settings_file.hpp"
#include "sound_graph/testing/pipewire_session.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace settings::panes::audio {
namespace {

using namespace std::chrono_literals;

TEST(AudioModelPipeWireTest, ControlsChangeTheRealSession)
{
    auto session = sound_graph::testing::PipeWireSession::start();
    if (!session) {
        GTEST_SKIP() << "no PipeWire session: " << session.error();
    }
    const auto& pw = **session;
    // The worker runs each call at once here; the page's own worker thread is tested on its own.
    AudioModel model(AudioBackends::system(), std::make_shared<InlineWorker>(), prefs::AudioPrefs{});
    page_doc::Document doc;
    AudioModel::Clock::time_point now{};
    model.sync(doc, now);
    model.sync(doc, now);
    ASSERT_TRUE(model.loaded());
    std::vector<std::string> outputs;
    for (const auto& choice : model.choices().outputs) {
        outputs.push_back(choice.name);
    }
    EXPECT_THAT(outputs, ::testing::UnorderedElementsAre("Test Sink A", "Test Sink B", "Mono Sink"));
    EXPECT_EQ(page_doc::doc_text(doc, output_device_key), "Test Sink A");
    EXPECT_TRUE(model.capabilities().channel_test);

    // The volume slider.
    doc.put_f64(volume_key, 0.3);
    model.sync(doc, now);
    EXPECT_EQ(pw.run({"wpctl", "get-volume", "@DEFAULT_AUDIO_SINK@"}).value_or(""), "Volume: 0.30\n");

    // The output device: the default changes, the file remembers the device's system name.
    doc.put_str(output_device_key, "Test Sink B");
    model.sync(doc, now);
    EXPECT_TRUE(pw.wait_until([&] {
        return pw.run({"wpctl", "inspect", "@DEFAULT_AUDIO_SINK@"}).value_or("").find("test_sink_b") !=
               std::string::npos;
    }));
    EXPECT_EQ(prefs::load_settings_file().audio.output_device, "test_sink_b");

    // A program starts playing on Test Sink A: the page sees it at its next reading and can move it.
    auto played = pw.play("test_sink_a", "test_music");
    ASSERT_TRUE(played.has_value()) << played.error();
    const std::uint32_t music = played->second;
    now += refresh_interval;
    model.sync(doc, now);
    const auto* stream = model.graph().stream_by_id(music);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(model.route_label(*stream), "Test Sink A");  // not the default any more
    EXPECT_EQ(page_doc::doc_text(doc, stream_sink_id(music)), "Test Sink A");
    const auto sink_b = pw.node_id("test_sink_b");
    ASSERT_TRUE(sink_b.has_value());
    doc.put_str(stream_sink_id(music), "Test Sink B");
    model.sync(doc, now);
    EXPECT_TRUE(pw.wait_until([&] { return pw.linked_to(music) == std::vector{*sink_b}; }));
    EXPECT_EQ(model.status_line(), std::nullopt);
}

}  // namespace
}  // namespace settings::panes::audio
