// The Sound page with fake backends and a busy graph (two outputs, two inputs, a sound card with profiles, two
// applications playing and one recording): a frame of the open page (sync, layout, draw), and the first frames,
// which read the graph and build the view.
#include "panes/audio/audio_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "sound_graph/testing/fakes.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>

namespace settings::panes::audio {
namespace {

sg::AudioGraph busy_graph()
{
    sg::AudioGraph graph;
    graph.sinks = {{.node_name = "alsa_output.speakers", .display_name = "Speakers", .channels = 2, .id = 48,
                    .device_id = 40, .routing_number = 49, .is_default = true},
                   {.node_name = "bluez_output.headset", .display_name = "WH-1000XM4", .codec = "aac", .channels = 2,
                    .id = 58, .routing_number = 59}};
    graph.sources = {{.node_name = "alsa_input.mic", .display_name = "Microphone", .channels = 1, .id = 50,
                      .device_id = 40, .routing_number = 51, .is_default = true},
                     {.node_name = "usb_mic", .display_name = "USB Mic", .channels = 1, .id = 64, .routing_number = 65}};
    graph.playback_streams = {
        {.id = 70, .target = 48, .volume = 0.5F, .playback = true, .application_name = "Firefox", .media_name = "Radio"},
        {.id = 71, .target = 58, .muted = true, .playback = true, .application_name = "Music"}};
    graph.recording_streams = {{.id = 72, .target = 50, .playback = false, .application_name = "Recorder"}};
    graph.devices = {{.id = 40,
                      .display_name = "Built-in Audio",
                      .profiles = {{"off", "Off", 0, true},
                                   {"output:analog-stereo", "Analog Stereo Output", 1, true},
                                   {"pro-audio", "Pro Audio", 3, true}},
                      .active_profile = 1}};
    return graph;
}

struct Fakes {
    actions::catalogue::ScopedPlatform platform{std::make_shared<actions::catalogue::FakePlatform>()};
    std::shared_ptr<system_ops::audio::FakeAudio> output = std::make_shared<system_ops::audio::FakeAudio>();
    system_ops::ScopedCurrent<system_ops::audio::AudioControl> output_guard{output};

    AudioBackends backends() const
    {
        return {.dispatcher = std::make_shared<system_ops::RealDispatcher>(),
                .output = output,
                .source_volume = std::make_shared<sound_graph::testing::FakeSourceVolume>(),
                .default_device = std::make_shared<sound_graph::testing::FakeDefaultDevice>(),
                .graph_control = std::make_shared<sg::FakeGraphControl>(),
                .enumerator = std::make_shared<sg::FakeAudioEnumerator>(busy_graph()),
                .runtime = std::make_shared<sound_graph::testing::FakeAudioRuntime>()};
    }
};

void BM_SoundPageFrame(benchmark::State& state)
{
    const Fakes fakes;
    page_doc::Document doc;
    AudioPane pane(fakes.backends(), std::make_shared<InlineWorker>(), prefs::AudioPrefs{});
    vorn_ui::HeadlessWindow window(pane, doc, {1280, 2000});
    window.frame();
    window.frame();
    for (auto _ : state) {
        window.frame();
    }
}
BENCHMARK(BM_SoundPageFrame)->Unit(benchmark::kMillisecond);

void BM_SoundPageOpen(benchmark::State& state)
{
    const Fakes fakes;
    for (auto _ : state) {
        page_doc::Document doc;
        AudioPane pane(fakes.backends(), std::make_shared<InlineWorker>(), prefs::AudioPrefs{});
        vorn_ui::HeadlessWindow window(pane, doc, {1280, 2000});
        window.frame();
        window.frame();
        benchmark::DoNotOptimize(pane.content());
    }
}
BENCHMARK(BM_SoundPageOpen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::audio
