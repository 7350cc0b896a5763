// The Sound page in the headless window over fake sound backends: one output, two outputs with the device choice,
// a mono default output, streams present and absent, sound cards with profiles and a Bluetooth codec; the speaker
// test row and the microphone meter; values changed in place, the focus kept when the view is built again, the
// graph read again every 1.5 s on the worker, and requests from the application's cells answered.
#include "panes/audio/audio_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "sound_graph/testing/fakes.hpp"
#include "test_support/temp_home.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <deque>

namespace settings::panes::audio {
namespace {

using namespace std::chrono_literals;
namespace cat = actions::catalogue;
using operations::OperationStatus;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// The node of an accessibility dump with this id (none when there is none).
using ::settings::panes::testing::node_with_id;

// Holds the jobs until the test lets them run, as a worker thread that has not got to them yet.
class QueuedWorker final : public AudioWorker {
public:
    void post(std::function<void()> job) override { jobs_.push_back(std::move(job)); }
    std::size_t run_all()
    {
        std::size_t count = 0;
        while (!jobs_.empty()) {
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            job();
            ++count;
        }
        return count;
    }

private:
    std::deque<std::function<void()>> jobs_;
};

sg::AudioNode speakers(std::uint32_t channels = 2)
{
    return {.node_name = "alsa_output.speakers", .display_name = "Speakers", .channels = channels, .id = 48,
            .device_id = 40, .routing_number = 49, .is_default = true};
}

sg::AudioNode microphone()
{
    return {.node_name = "alsa_input.mic", .display_name = "Microphone", .channels = 1, .id = 50, .device_id = 40,
            .routing_number = 51, .is_default = true};
}

// One stereo output and one microphone, nothing playing or recording, no sound card with a choice.
sg::AudioGraph one_output()
{
    sg::AudioGraph graph;
    graph.sinks = {speakers()};
    graph.sources = {microphone()};
    return graph;
}

// Speakers and a Bluetooth headset, two inputs, a browser and a music player playing, a recorder, and a sound card
// with three available profiles.
sg::AudioGraph busy_graph()
{
    sg::AudioGraph graph = one_output();
    graph.sinks.push_back({.node_name = "bluez_output.headset", .display_name = "WH-1000XM4", .codec = "aac",
                           .channels = 2, .id = 58, .routing_number = 59});
    graph.sources.push_back(
        {.node_name = "usb_mic", .display_name = "USB Mic", .channels = 1, .id = 64, .routing_number = 65});
    graph.playback_streams = {
        {.id = 70, .target = 48, .volume = 0.5F, .playback = true, .application_name = "Firefox",
         .media_name = "Radio"},
        {.id = 71, .target = 58, .muted = true, .playback = true, .application_name = "Music"},
    };
    graph.recording_streams = {{.id = 72, .target = 50, .playback = false, .application_name = "Recorder"}};
    graph.devices = {{.id = 40,
                      .display_name = "Built-in Audio",
                      .profiles = {{"off", "Off", 0, true},
                                   {"output:analog-stereo", "Analog Stereo Output", 1, true},
                                   {"output:hdmi-stereo", "Digital Stereo (HDMI) Output", 2, false},
                                   {"pro-audio", "Pro Audio", 3, true}},
                      .active_profile = 1},
                     {.id = 41, .display_name = "USB Audio", .profiles = {{"input:mono", "Mono Input", 0, true}},
                      .active_profile = 0}};
    return graph;
}

class AudioPaneTest : public ::testing::Test {
protected:
    AudioBackends backends()
    {
        return {.dispatcher = std::make_shared<system_ops::RealDispatcher>(),
                .output = output,
                .source_volume = source,
                .default_device = default_device,
                .graph_control = graph_control,
                .enumerator = enumerator,
                .runtime = runtime};
    }

    void open(sg::AudioGraph graph, std::shared_ptr<AudioWorker> worker = std::make_shared<InlineWorker>())
    {
        window.reset();
        enumerator->set_graph(std::move(graph));
        pane = std::make_unique<AudioPane>(backends(), std::move(worker), prefs::AudioPrefs{}, [this] { return now; });
        show();
    }

    // The page with the application's cells, as the pane factory builds it.
    void open_attached(sg::AudioGraph graph)
    {
        window.reset();
        enumerator->set_graph(std::move(graph));
        pane = std::make_unique<AudioPane>(
            AudioPane(backends(), std::make_shared<InlineWorker>(), prefs::AudioPrefs{}, [this] { return now; })
                .with_operation_requests(requests)
                .with_operation_status(status));
        show();
    }

    void show()
    {
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 2400});
        window->frame();
        window->frame();
    }

    // Lets time pass and runs a frame (the page reads the graph again once 1.5 s have passed).
    void frame(std::chrono::milliseconds advance = 0ms)
    {
        now += advance;
        window->frame();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::optional<nlohmann::ordered_json> node(std::string_view id) const
    {
        return node_with_id(window->accessibility_json(), id);
    }
    // Whether the view has a control with this control id (as the page finds its controls again).
    [[nodiscard]] bool has(std::string_view id) const
    {
        return std::ranges::any_of(window->driver().focus_order(), [&](const vorn_ui::Widget* widget) {
            return preference_pane::control_id(*widget) == id;
        });
    }
    // Clicks the middle of the node with this accessibility id (the first in tree order).
    void click_control(std::string_view id)
    {
        const auto found = node(id);
        ASSERT_TRUE(found.has_value()) << id << "\n" << ::testing::PrintToString(lines());
        const auto& b = (*found)["bounds"];
        window->click(b["x"].get<double>() + b["width"].get<double>() / 2.0,
                      b["y"].get<double>() + b["height"].get<double>() / 2.0);
        window->frame();
    }
    void expect_lines(std::initializer_list<std::string_view> expected) const
    {
        const auto all = lines();
        for (const std::string_view line : expected) {
            EXPECT_THAT(all, Contains(HasSubstr(line))) << line << "\n" << ::testing::PrintToString(all);
        }
    }
    void expect_shown(std::initializer_list<std::string_view> texts, bool shown = true) const
    {
        for (const std::string_view text : texts) {
            EXPECT_EQ(shows(text), shown) << text;
        }
    }
    // The card titles appear one under the other in this order.
    void expect_order(std::initializer_list<std::string_view> titles) const
    {
        double last = -1.0;
        for (const std::string_view title : titles) {
            const auto bounds = window->find_text_bounds(title);
            ASSERT_TRUE(bounds.has_value()) << title;
            EXPECT_GT(bounds->y0, last) << title;
            last = bounds->y0;
        }
    }

    test_support::ConfigHome home{"vorn-audio-pane"};
    std::shared_ptr<cat::FakePlatform> platform = std::make_shared<cat::FakePlatform>();
    cat::ScopedPlatform scoped{platform};
    std::shared_ptr<system_ops::audio::FakeAudio> output = std::make_shared<system_ops::audio::FakeAudio>(
        system_ops::audio::FakeAudio::State{.volume = system_ops::audio::VolumeState{.volume = 0.4F}});
    system_ops::ScopedCurrent<system_ops::audio::AudioControl> output_guard{output};
    std::shared_ptr<sound_graph::testing::FakeSourceVolume> source =
        std::make_shared<sound_graph::testing::FakeSourceVolume>();
    std::shared_ptr<sound_graph::testing::FakeDefaultDevice> default_device =
        std::make_shared<sound_graph::testing::FakeDefaultDevice>();
    std::shared_ptr<sg::FakeGraphControl> graph_control = std::make_shared<sg::FakeGraphControl>();
    std::shared_ptr<sg::FakeAudioEnumerator> enumerator = std::make_shared<sg::FakeAudioEnumerator>();
    std::shared_ptr<sound_graph::testing::FakeAudioRuntime> runtime =
        std::make_shared<sound_graph::testing::FakeAudioRuntime>();
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    AudioPane::Clock::time_point now{};
    page_doc::Document doc;
    std::unique_ptr<AudioPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(AudioPaneTest, OneOutputShowsTheOutputAndInputCardsWithoutADeviceChoice)
{
    auto worker = std::make_shared<QueuedWorker>();
    open(one_output(), worker);
    EXPECT_TRUE(shows("Loading…"));
    EXPECT_FALSE(has(volume_control_id)) << "no control acts before the machine is read";

    ASSERT_GE(worker->run_all(), 1U);
    frame();
    frame();
    EXPECT_FALSE(shows("Loading…"));
    expect_order({"Output", "Volume", "Mute", "Balance", "Mono audio", "Test speakers", "Input", "Input level",
                  "Microphone test records no audio", "Applications", "Recording"});
    expect_shown({std::string_view(mono_caption), std::string_view(microphone_caption),
                  std::string_view(no_playback_caption), std::string_view(no_recording_caption)});
    expect_shown({"Output device", "Input device", "Device capabilities", "Left", "Right"}, false);
    EXPECT_FALSE(has(output_device_control_id));
    EXPECT_FALSE(has(input_device_control_id));
    expect_lines({"slider Volume = 40%", "toggle Mute = off", "slider Balance = 50%", "toggle Mono audio = off",
                  "button Test speakers", "slider Input level = 75%", "button Test microphone"});
}

TEST_F(AudioPaneTest, TwoOutputsOfferTheDeviceChoiceAndChoosingOneMakesItTheDefault)
{
    open(busy_graph());
    expect_shown({"Output device", "Input device"});
    const auto dropdown = node(output_device_control_id);
    ASSERT_TRUE(dropdown.has_value()) << ::testing::PrintToString(lines());
    expect_lines({"Output device = Speakers", "Input device = Microphone"});

    ASSERT_TRUE(panes::testing::focus_control(*window, output_device_control_id));
    const std::string next = panes::testing::next_in_focus_order(*window, output_device_control_id);
    EXPECT_EQ(next, volume_control_id);
    window->key(vorn_ui::Key::Space);
    window->key(vorn_ui::Key::Down);
    window->key(vorn_ui::Key::Enter);
    frame();
    frame();
    EXPECT_THAT(default_device->defaults_set(), ElementsAre(58U));
    EXPECT_EQ(pane->model().graph().default_sink()->id, 58U);
    expect_lines({"Output device = WH-1000XM4"});
    EXPECT_THAT(pane->model().status_line(), std::nullopt);
    EXPECT_EQ(panes::testing::focused_id(*window), output_device_control_id) << "a choice from a list keeps the focus";
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), next);
}

TEST_F(AudioPaneTest, AMonoDefaultOutputHidesBalanceMonoAndTheSpeakerTest)
{
    sg::AudioGraph graph = one_output();
    graph.sinks[0] = speakers(1);
    open(graph);
    expect_shown({"Volume", "Mute", "Input level"});
    expect_shown({"Balance", "Mono audio", "Test speakers", std::string_view(mono_caption)}, false);
    for (const std::string_view id : {balance_control_id, mono_control_id, advanced_button_id}) {
        EXPECT_FALSE(has(id)) << id;
    }

    // A stereo output without the runtime's abilities shows none of them either.
    runtime = std::make_shared<sound_graph::testing::FakeAudioRuntime>(sg::AudioCapabilities{});
    open(one_output());
    expect_shown({"Balance", "Mono audio", "Test speakers", "Test microphone"}, false);
    EXPECT_TRUE(shows("Volume"));
}

TEST_F(AudioPaneTest, StreamsShowTheirRouteVolumeAndMuteAndTheCardsTheirProfilesAndCodecs)
{
    open(busy_graph());
    expect_order({"Output", "Input", "Device capabilities", "Applications", "Firefox · Radio", "Music", "Recording",
                  "Recorder"});
    expect_shown({"Built-in Audio", "PipeWire device profile", "WH-1000XM4", "aac codec"});
    expect_shown({"USB Audio", std::string_view(no_playback_caption), std::string_view(no_recording_caption)},
                 false);  // one profile only: no choice to offer
    EXPECT_TRUE(has(profile_control_id(40)));
    EXPECT_FALSE(has(profile_control_id(41)));
    expect_lines({"Built-in Audio = Analog Stereo Output", "Firefox · Radio output = Default",
                  "Music output = WH-1000XM4", "Recorder input = Default", "slider Firefox · Radio volume = 50%",
                  "toggle Music mute = on", "toggle Firefox · Radio mute = off"});
    for (const std::uint32_t id : {70U, 71U, 72U}) {
        EXPECT_TRUE(has(stream_route_control_id(id))) << id;
        EXPECT_TRUE(has(stream_volume_control_id(id))) << id;
        EXPECT_TRUE(has(stream_muted_control_id(id))) << id;
    }

    // Muting a stream from its switch mutes that stream, and only it.
    ASSERT_TRUE(panes::testing::focus_control(*window, stream_muted_control_id(70)));
    window->key(vorn_ui::Key::Space);
    frame();
    EXPECT_THAT(graph_control->calls(), ElementsAre("set_node_mute 70 true"));

    // The streams go: the cards say that nothing plays or records, read on the next reading 1.5 s later.
    sg::AudioGraph quiet = busy_graph();
    quiet.playback_streams.clear();
    quiet.recording_streams.clear();
    enumerator->set_graph(quiet);
    frame(1s);
    EXPECT_TRUE(shows("Firefox · Radio")) << "not read again before 1.5 s";
    frame(500ms);
    frame();
    expect_shown({std::string_view(no_playback_caption), std::string_view(no_recording_caption)});
    expect_shown({"Firefox · Radio", "Recorder"}, false);
    EXPECT_FALSE(has(stream_muted_control_id(70)));
}

TEST_F(AudioPaneTest, TheSpeakerTestRowOpensAndPlaysOneChannel)
{
    open(one_output());
    click_control(advanced_button_id);
    frame();
    expect_shown({"Left", "Right", std::string_view(speaker_test_caption)});
    expect_lines({"button Hide speaker test", "button Left", "button Right"});

    click_control(test_left_button_id);
    frame();
    EXPECT_THAT(runtime->calls(), ElementsAre("start_channel_test alsa_output.speakers left"));
    EXPECT_TRUE(shows("Playing a short left-channel tone…"));
    ASSERT_EQ(runtime->tests().size(), 1U);
    const auto builds = pane->view_builds();
    runtime->tests()[0]->running = false;
    frame(100ms);
    EXPECT_TRUE(shows("Speaker test finished."));
    EXPECT_EQ(pane->view_builds(), builds) << "the sentence changes in place";

    click_control(advanced_button_id);
    frame();
    expect_shown({"Left", "Right"}, false);
    expect_lines({"button Test speakers"});
}

TEST_F(AudioPaneTest, TheMicrophoneMeterShowsItsLevelInPlace)
{
    open(one_output());
    click_control(mic_test_button_id);
    frame();
    EXPECT_THAT(runtime->calls(), ElementsAre("start_microphone_meter alsa_input.mic 8"));
    expect_shown({"Input activity: 0%", "Microphone level test started for eight seconds."});
    expect_lines({"button Stop test"});
    ASSERT_EQ(runtime->meters().size(), 1U);
    EXPECT_TRUE(pane->next_wake_deadline().has_value());
    EXPECT_LE(*pane->next_wake_deadline(), now + 100ms) << "the page looks at the meter while it runs";

    const auto builds = pane->view_builds();
    runtime->meters()[0]->level = 0.125F;
    frame(100ms);
    EXPECT_TRUE(shows("Input activity: 13%"));
    EXPECT_EQ(pane->view_builds(), builds) << "the level changes in place";

    runtime->meters()[0]->running = false;
    frame(100ms);
    expect_shown({"Microphone test records no audio", "Microphone test finished; no audio was saved."});
    expect_lines({"button Test microphone"});
    EXPECT_EQ(pane->next_wake_deadline(), AudioPane::Clock::time_point{} + refresh_interval)
        << "once the meter is done the page wakes only for the next reading";
}

TEST_F(AudioPaneTest, FocusSurvivesAChange)
{
    open(busy_graph());
    ASSERT_TRUE(panes::testing::focus_control(*window, mute_control_id));
    const std::string next = panes::testing::next_in_focus_order(*window, mute_control_id);
    ASSERT_FALSE(next.empty());
    window->key(vorn_ui::Key::Space);
    frame();
    EXPECT_EQ(output->state().mutes_set, std::vector<bool>{true});
    expect_lines({"toggle Mute = on"});
    EXPECT_EQ(panes::testing::focused_id(*window), mute_control_id);

    // A new stream builds the view anew; the focused switch is found again by its id.
    const auto builds = pane->view_builds();
    sg::AudioGraph more = busy_graph();
    more.playback_streams.push_back({.id = 73, .target = 48, .playback = true, .application_name = "Game"});
    enumerator->set_graph(more);
    frame(refresh_interval);
    frame();
    EXPECT_GT(pane->view_builds(), builds);
    EXPECT_TRUE(shows("Game"));
    EXPECT_EQ(panes::testing::focused_id(*window), mute_control_id);
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), next);
}

TEST_F(AudioPaneTest, WithTheApplicationsCellsTheControlsFollowTheAnsweredRequests)
{
    open_attached(busy_graph());
    expect_lines({"toggle Mute = off", "slider Volume = 40%"});
    const AudioOperation mute(AudioOperation::SetOutputMuted{true});
    (void)requests.publish(operations::PaneOperationRequest{mute});
    (void)status.publish(OperationStatus::running(operations::operation_key(mute)));
    frame();
    frame();
    EXPECT_EQ(status.get(), OperationStatus::done(operations::operation_key(mute), "Output muted."));
    expect_lines({"toggle Mute = on"});

    // Without a running audio operation a control's change waits for its action; the page changes nothing itself.
    click_control("settings.audio.volume");
    frame();
    EXPECT_TRUE(output->state().volumes_set.empty());
}

}  // namespace
}  // namespace settings::panes::audio
