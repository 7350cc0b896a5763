#include "panes/audio/audio_model.hpp"

#include "cmd_runner/fake_runner.hpp"
#include "prefs/settings_file.hpp"
#include "sound_graph/testing/fakes.hpp"
#include "test_support/temp_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <cstdlib>
#include <deque>
#include <fstream>

namespace settings::panes::audio {
namespace {

using namespace std::chrono_literals;
using operations::OperationStatus;
using Op = AudioOperation;
using State = OperationStatus::State;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t none = 4294967295U;

// Holds the jobs until the test lets them run, as a worker thread that has not got to them yet.
class QueuedWorker final : public AudioWorker {
public:
    void post(std::function<void()> job) override { jobs_.push_back(std::move(job)); }
    void run_all()
    {
        while (!jobs_.empty()) {
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            job();
        }
    }
    [[nodiscard]] std::size_t waiting() const { return jobs_.size(); }

private:
    std::deque<std::function<void()>> jobs_;
};

// Built-in speakers (the default), two headsets that share a name, a microphone and a USB microphone; a browser
// playing to the speakers, a music player pinned to the second headset, a recorder; one sound card with profiles.
sg::AudioGraph sample_graph()
{
    sg::AudioGraph graph;
    graph.sinks = {
        {.node_name = "alsa_output.speakers", .display_name = "Speakers", .channels = 2, .id = 48,
         .routing_number = 49, .is_default = true},
        {.node_name = "bluez_output.a", .display_name = "WH-1000XM4", .channels = 2, .id = 58, .routing_number = 59},
        {.node_name = "bluez_output.b", .display_name = "WH-1000XM4", .channels = 2, .id = 60, .routing_number = 61},
    };
    graph.sources = {
        {.node_name = "alsa_input.mic", .display_name = "Microphone", .channels = 1, .id = 50, .routing_number = 51,
         .is_default = true},
        {.node_name = "usb_mic", .display_name = "USB Mic", .channels = 1, .id = 64, .routing_number = 65},
    };
    graph.playback_streams = {
        {.id = 70, .target = 48, .volume = 0.5F, .playback = true, .application_name = "Firefox"},
        {.id = 71, .target = 60, .muted = true, .playback = true, .application_name = "Music"},
    };
    graph.recording_streams = {{.id = 72, .target = 50, .playback = false, .application_name = "Recorder"}};
    graph.devices = {{.id = 40,
                      .display_name = "Built-in Audio",
                      .profiles = {{"off", "Off", 0, true},
                                   {"output:analog-stereo", "Analog Stereo Output", 1, true},
                                   {"output:hdmi-stereo", "Digital Stereo (HDMI) Output", 2, false},
                                   {"pro-audio", "Pro Audio", 3, true}},
                      .active_profile = 1}};
    return graph;
}

class AudioModelTest : public ::testing::Test {
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

    // Opens the page with the application's cells (or without) and lets it read the machine.
    void open(prefs::AudioPrefs prefs = {}, bool attached = true, std::shared_ptr<AudioWorker> worker = nullptr)
    {
        model = std::make_unique<AudioModel>(backends(), worker ? worker : std::make_shared<InlineWorker>(),
                                             std::move(prefs));
        if (attached) {
            model->attach_operation_requests(requests);
            model->attach_operation_status(status);
        }
        sync();
        sync();  // the first reading arrives with the first sync; the second seeds as a page would
    }

    void sync(std::chrono::milliseconds advance = 0ms)
    {
        now += advance;
        model->sync(doc, now);
    }

    // Hands the page an operation as the runner does and answers the status cell after one sync.
    OperationStatus run(const AudioOperation& operation)
    {
        (void)requests.publish(operations::PaneOperationRequest{operation});
        (void)status.publish(OperationStatus::running(operations::operation_key(operation)));
        sync();
        return status.get();
    }

    // Everything the backends were asked to do, one line each.
    std::vector<std::string> calls() const
    {
        std::vector<std::string> lines;
        for (const float percent : output->state().volumes_set) {
            lines.push_back(fmt::format("set_volume {:g}", percent));
        }
        for (const bool muted : output->state().mutes_set) {
            lines.push_back(fmt::format("set_mute {}", muted));
        }
        for (const float percent : source->volumes_set()) {
            lines.push_back(fmt::format("input_volume {:g}", percent));
        }
        for (const auto id : default_device->defaults_set()) {
            lines.push_back(fmt::format("set_default {}", id));
        }
        for (auto& line : graph_control->calls()) {
            lines.push_back(std::move(line));
        }
        for (auto& line : runtime->calls()) {
            lines.push_back(std::move(line));
        }
        return lines;
    }

    test_support::ConfigHome home{"vorn-audio"};
    std::shared_ptr<system_ops::audio::FakeAudio> output = std::make_shared<system_ops::audio::FakeAudio>(
        system_ops::audio::FakeAudio::State{.volume = system_ops::audio::VolumeState{.volume = 0.4F}});
    system_ops::ScopedCurrent<system_ops::audio::AudioControl> output_guard{output};  // the dispatcher's backend
    std::shared_ptr<sound_graph::testing::FakeSourceVolume> source =
        std::make_shared<sound_graph::testing::FakeSourceVolume>();
    std::shared_ptr<sound_graph::testing::FakeDefaultDevice> default_device =
        std::make_shared<sound_graph::testing::FakeDefaultDevice>();
    std::shared_ptr<sg::FakeGraphControl> graph_control = std::make_shared<sg::FakeGraphControl>();
    std::shared_ptr<sg::FakeAudioEnumerator> enumerator = std::make_shared<sg::FakeAudioEnumerator>(sample_graph());
    std::shared_ptr<sound_graph::testing::FakeAudioRuntime> runtime =
        std::make_shared<sound_graph::testing::FakeAudioRuntime>();
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    AudioModel::Clock::time_point now{};
    page_doc::Document doc;
    std::unique_ptr<AudioModel> model;
};

TEST_F(AudioModelTest, ReadsTheMachineOnTheWorkerAndSeedsTheDocument)
{
    auto worker = std::make_shared<QueuedWorker>();
    model = std::make_unique<AudioModel>(backends(), worker, prefs::AudioPrefs{.balance = 0.25F, .mono_output = true});
    model->sync(doc, now);
    EXPECT_FALSE(model->loaded());
    EXPECT_EQ(worker->waiting(), 1U);  // nothing was read on this thread
    EXPECT_FALSE(doc.contains(volume_key));

    worker->run_all();
    model->sync(doc, now);
    ASSERT_TRUE(model->loaded());
    EXPECT_TRUE(model->take_structure_dirty());
    EXPECT_EQ(page_doc::doc_f64(doc, volume_key), static_cast<double>(0.4F));
    EXPECT_EQ(page_doc::doc_bool(doc, muted_key), false);
    EXPECT_EQ(page_doc::doc_f64(doc, input_volume_key), 0.75);
    EXPECT_EQ(page_doc::doc_f64(doc, balance_key), 0.25);
    EXPECT_EQ(page_doc::doc_bool(doc, mono_key), true);
    EXPECT_EQ(page_doc::doc_text(doc, output_device_key), "Speakers");
    EXPECT_EQ(page_doc::doc_text(doc, input_device_key), "Microphone");
    for (const auto key : {advanced_key, test_left_key, test_right_key, mic_test_key}) {
        EXPECT_EQ(page_doc::doc_bool(doc, key), false) << key;
    }
    EXPECT_EQ(page_doc::doc_text(doc, stream_sink_id(70)), "Default");  // plays on the default output
    EXPECT_EQ(page_doc::doc_text(doc, stream_sink_id(71)), "WH-1000XM4 (2)");
    EXPECT_EQ(page_doc::doc_f64(doc, stream_volume_id(70)), 0.5);
    EXPECT_EQ(page_doc::doc_f64(doc, stream_volume_id(71)), 1.0);  // reports none
    EXPECT_EQ(page_doc::doc_bool(doc, stream_muted_id(71)), true);
    EXPECT_EQ(page_doc::doc_text(doc, device_profile_id(40)), "Analog Stereo Output");
    EXPECT_THAT(calls(), IsEmpty());
}

TEST_F(AudioModelTest, DevicesAreToldApartByLabelAndId)
{
    open();
    std::vector<std::string> outputs;
    for (const auto& choice : model->choices().outputs) {
        outputs.push_back(choice.name);
    }
    EXPECT_THAT(outputs, ElementsAre("Speakers", "WH-1000XM4", "WH-1000XM4 (2)"));
    EXPECT_THAT(model->route_choices(true), ElementsAre("Default", "Speakers", "WH-1000XM4", "WH-1000XM4 (2)"));
    EXPECT_THAT(model->route_choices(false), ElementsAre("Default", "Microphone", "USB Mic"));
    EXPECT_THAT(model->profile_choices(model->graph().devices[0]),
                ElementsAre(ProfileChoice{"Off", 0}, ProfileChoice{"Analog Stereo Output", 1},
                            ProfileChoice{"Pro Audio", 3}));  // HDMI is not available

    // Choosing the second headset by its label makes that one the default, and the file remembers its system name.
    const auto second = run(Op::SelectOutput{60});
    EXPECT_EQ(second, OperationStatus::done(operations::operation_key(Op(Op::SelectOutput{60})),
                                            "Audio output device changed."));
    EXPECT_THAT(calls(), ElementsAre("set_default 60"));
    EXPECT_EQ(prefs::load_settings_file().audio.output_device, "bluez_output.b");
    EXPECT_EQ(model->choices().default_output()->id, 60U);
    EXPECT_EQ(model->graph().default_sink()->id, 60U);
}

struct OperationCase {
    std::string name;
    AudioOperation operation;
    State state;
    std::string message;
    std::vector<std::string> calls;
};

TEST_F(AudioModelTest, EveryRequestIsAnsweredWithItsSentence)
{
    const std::vector<OperationCase> cases = {
        {"volume", Op::SetOutputVolume{0.7}, State::Done, "Output volume set to 70%.", {"set_volume 70"}},
        {"volume in effect", Op::SetOutputVolume{0.4}, State::Done, "Output volume is already 40%.", {}},
        {"volume within tolerance", Op::SetOutputVolume{0.4004}, State::Done, "Output volume is already 40%.", {}},
        {"mute", Op::SetOutputMuted{true}, State::Done, "Output muted.", {"set_mute true"}},
        {"unmuted already", Op::SetOutputMuted{false}, State::Done, "Output is already unmuted.", {}},
        {"input level", Op::SetInputVolume{0.3}, State::Done, "Input level set to 30%.", {"input_volume 30"}},
        {"input level in effect", Op::SetInputVolume{0.75}, State::Done, "Input level is already 75%.", {}},
        {"balance", Op::SetBalance{0.125}, State::Done, "Output balance set to 13%.", {"set_balance 0.12"}},
        {"balance in effect", Op::SetBalance{0.5}, State::Done, "Output balance is already 50%.", {}},
        {"mono", Op::SetMono{true}, State::Done, "Mono output enabled.", {"start_mono true"}},
        {"mono off already", Op::SetMono{false}, State::Done, "Mono output is already off.", {}},
        {"output", Op::SelectOutput{58}, State::Done, "Audio output device changed.", {"set_default 58"}},
        {"output in use", Op::SelectOutput{48}, State::Done, "Speakers is already the output device.", {}},
        {"output gone", Op::SelectOutput{none}, State::Failed, "audio output device is no longer available", {}},
        {"input", Op::SelectInput{64}, State::Done, "Audio input device changed.", {"set_default 64"}},
        {"input gone", Op::SelectInput{48}, State::Failed, "audio input device is no longer available", {}},
        {"route", Op::RouteStream{70, true, 60}, State::Done, "Audio stream route changed.", {"route_stream 70 61"}},
        {"route to default", Op::RouteStream{71, true, std::nullopt}, State::Done, "Audio stream route changed.",
         {"unroute_stream 71"}},
        {"route in effect", Op::RouteStream{70, true, std::nullopt}, State::Done,
         "Audio stream route is already Default.", {}},
        {"route of no stream", Op::RouteStream{99, true, 48}, State::Failed, "audio stream is no longer available", {}},
        {"route to no device", Op::RouteStream{70, true, none}, State::Failed, "audio route is no longer available",
         {}},
        {"recording route", Op::RouteStream{72, false, 64}, State::Done, "Audio stream route changed.",
         {"route_stream 72 65"}},
        {"playback route", Op::RoutePlayback{70, 58}, State::Done, "Audio stream route changed.",
         {"route_stream 70 59"}},
        {"playback route of a recording", Op::RoutePlayback{72, 58}, State::Failed,
         "playback stream is no longer available", {}},
        {"recording route", Op::RouteRecording{72, 64}, State::Done, "Audio stream route changed.",
         {"route_stream 72 65"}},
        {"recording route to an output", Op::RouteRecording{72, 48}, State::Failed,
         "audio input device is no longer available", {}},
        {"stream volume", Op::SetStreamVolume{70, 0.7}, State::Done, "Audio stream volume changed.",
         {"set_node_volume 70 0.70"}},
        {"stream volume in effect", Op::SetStreamVolume{70, 0.5}, State::Done, "Audio stream volume is already 50%.",
         {}},
        {"stream volume of no stream", Op::SetStreamVolume{99, 0.5}, State::Failed,
         "audio stream is no longer available", {}},
        {"stream mute", Op::SetStreamMuted{71, false}, State::Done, "Audio stream mute changed.",
         {"set_node_mute 71 false"}},
        {"stream muted already", Op::SetStreamMuted{71, true}, State::Done, "Audio stream is already muted.", {}},
        {"profile", Op::SetDeviceProfile{40, 3}, State::Done, "Audio device profile changed.",
         {"set_device_profile 40 3"}},
        {"profile in effect", Op::SetDeviceProfile{40, 1}, State::Done,
         "Audio device profile is already Analog Stereo Output.", {}},
        {"profile not available", Op::SetDeviceProfile{40, 2}, State::Failed, "audio profile is no longer available",
         {}},
        {"profile of no card", Op::SetDeviceProfile{41, 0}, State::Failed, "audio hardware is no longer available", {}},
        {"diagnostics", Op::ToggleDiagnostics{}, State::Done, "Speaker diagnostics shown.", {}},
        {"left speaker", Op::TestChannel{true}, State::Done, "Left speaker test started.",
         {"start_channel_test alsa_output.speakers left"}},
        {"right speaker", Op::TestChannel{false}, State::Done, "Right speaker test started.",
         {"start_channel_test alsa_output.speakers right"}},
        {"meter", Op::ToggleMicrophoneMeter{}, State::Done, "Microphone level test started for eight seconds.",
         {"start_microphone_meter alsa_input.mic 8"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        graph_control = std::make_shared<sg::FakeGraphControl>();
        output->set_state({.volume = system_ops::audio::VolumeState{.volume = 0.4F}});
        source->set_state(system_ops::audio::VolumeState{.volume = 0.75F});
        default_device = std::make_shared<sound_graph::testing::FakeDefaultDevice>();
        runtime = std::make_shared<sound_graph::testing::FakeAudioRuntime>();
        source = std::make_shared<sound_graph::testing::FakeSourceVolume>();
        doc = page_doc::Document();
        (void)status.publish(OperationStatus::idle());
        open();
        const std::string key = operations::operation_key(c.operation);
        const OperationStatus answered = run(c.operation);
        EXPECT_EQ(answered.key, key);  // matched by the whole request text, levels as the f64 they were sent as
        EXPECT_EQ(answered.state, c.state);
        EXPECT_EQ(answered.message, c.message);
        EXPECT_EQ(calls(), c.calls);
        EXPECT_EQ(requests.get(), std::nullopt);  // taken
    }
}

TEST_F(AudioModelTest, TheSpeakerRowOpensAndClosesByRequest)
{
    open();
    EXPECT_EQ(run(Op::ToggleDiagnostics{}).message, "Speaker diagnostics shown.");
    EXPECT_EQ(run(Op::TestChannel{true}).message, "Left speaker test started.");
    EXPECT_EQ(model->status_line(), "Playing a short left-channel tone…");
    // The second request closes the row (and stops the tone) instead of being lost.
    EXPECT_EQ(run(Op::ToggleDiagnostics{}).message, "Speaker diagnostics hidden.");
    EXPECT_FALSE(model->diagnostics_shown());
    EXPECT_TRUE(runtime->tests()[0]->dropped);
}

TEST_F(AudioModelTest, FailuresAreReportedAndTheControlSnapsBack)
{
    open();
    output->set_state({.volume = system_ops::audio::VolumeState{.volume = 0.4F}, .failure = "PipeWire is not running"});
    auto answered = run(Op::SetOutputVolume{0.9});
    EXPECT_EQ(answered.state, State::Failed);
    EXPECT_EQ(answered.message, "Output volume could not be changed: PipeWire is not running");
    EXPECT_EQ(model->status_line(), "Volume could not be changed: PipeWire is not running");
    EXPECT_EQ(page_doc::doc_f64(model->document(), volume_key), static_cast<double>(0.4F));

    answered = run(Op::SetOutputMuted{true});
    EXPECT_EQ(answered.message, "Output mute could not be changed: PipeWire is not running");
    EXPECT_EQ(model->status_line(), "Mute could not be changed: PipeWire is not running");
    EXPECT_EQ(page_doc::doc_bool(model->document(), muted_key), false);

    source->set_failure("Object not found");
    answered = run(Op::SetInputVolume{0.2});
    EXPECT_EQ(answered.message, "Input level could not be changed: Object not found");
    EXPECT_EQ(page_doc::doc_f64(model->document(), input_volume_key), 0.75);

    default_device->set_failure("Node '58' not found");
    answered = run(Op::SelectOutput{58});
    EXPECT_EQ(answered, OperationStatus::failed(answered.key, "Output device could not be changed: Node '58' not found"));
    EXPECT_EQ(page_doc::doc_text(model->document(), output_device_key), "Speakers");
    EXPECT_EQ(prefs::load_settings_file().audio.output_device, std::nullopt);

    graph_control->set_failure("stream gone");
    answered = run(Op::RouteStream{70, true, 58});
    EXPECT_EQ(answered.message, "Audio stream route could not be changed: stream gone");
    EXPECT_EQ(page_doc::doc_text(model->document(), stream_sink_id(70)), "Default");
    answered = run(Op::SetDeviceProfile{40, 3});
    EXPECT_EQ(answered.message, "Audio device profile could not be changed: stream gone");
    EXPECT_EQ(model->status_line(), "Device profile could not be changed: stream gone");
    EXPECT_EQ(page_doc::doc_text(model->document(), device_profile_id(40)), "Analog Stereo Output");

    runtime->set_failures({.channel_test = "pw-play not found", .meter = "pw-record not found"});
    answered = run(Op::TestChannel{false});
    EXPECT_EQ(answered.message, "Could not test the right speaker: pw-play not found");
    EXPECT_EQ(model->status_line(), answered.message);
    answered = run(Op::ToggleMicrophoneMeter{});
    EXPECT_EQ(answered.message, "Could not test the microphone: pw-record not found");
    EXPECT_TRUE(model->take_structure_dirty());

    // A retry after the failure goes through.
    output->set_state({.volume = system_ops::audio::VolumeState{.volume = 0.4F}});
    EXPECT_EQ(run(Op::SetOutputVolume{0.9}).message, "Output volume set to 90%.");
}

TEST_F(AudioModelTest, TheSpeakerTestNeedsAStereoDefaultOutputAndTheMeterAMicrophone)
{
    auto graph = sample_graph();
    graph.sinks[0].channels = 1;
    graph.sources.clear();
    graph.recording_streams.clear();
    enumerator->set_graph(graph);
    open();
    EXPECT_EQ(run(Op::TestChannel{true}).message,
              "Could not test the left speaker: Speaker test requires a stereo PipeWire sink");
    EXPECT_EQ(model->status_line(), "Could not test the left speaker: Speaker test requires a stereo PipeWire sink");
    EXPECT_EQ(run(Op::ToggleMicrophoneMeter{}).message,
              "Could not test the microphone: No PipeWire microphone is available");
    EXPECT_THAT(runtime->calls(), IsEmpty());
}

TEST_F(AudioModelTest, BalanceAndMonoSayWhetherAnythingAppliesThem)
{
    runtime = std::make_shared<sound_graph::testing::FakeAudioRuntime>(
        sg::AudioCapabilities{.channel_test = true, .microphone_meter = true});
    open();
    EXPECT_EQ(run(Op::SetBalance{0.25}).message,
              "Output balance preference saved (25%); this session does not apply balance.");
    EXPECT_EQ(run(Op::SetMono{true}).message,
              "Mono output preference saved (on); this session does not apply mono output.");
    EXPECT_EQ(model->status_line(), "Mono output preference saved (on); this session does not apply mono output.");
    EXPECT_THAT(runtime->calls(), IsEmpty());
    const auto saved = prefs::load_settings_file().audio;
    EXPECT_EQ(saved.balance, 0.25F);
    EXPECT_TRUE(saved.mono_output);

    // A runtime that applies them, and one that fails to.
    runtime = std::make_shared<sound_graph::testing::FakeAudioRuntime>();
    open(prefs::load_settings_file().audio);
    EXPECT_EQ(run(Op::SetMono{false}).message, "Mono output disabled.");
    EXPECT_EQ(model->status_line(), "Mono output is off; the physical output is restored.");
    runtime->set_failures({.balance = "the compositor refused"});
    const auto failed = run(Op::SetBalance{0.75});
    EXPECT_EQ(failed.state, State::Failed);
    EXPECT_EQ(failed.message, "Output balance was saved but could not be applied: the compositor refused");
    EXPECT_EQ(prefs::load_settings_file().audio.balance, 0.75F);
}

TEST_F(AudioModelTest, AFailedSaveLeavesTheBalanceAsItWas)
{
    open();
    // The settings folder cannot be made: a file is in its place.
    test_support::write_file(home.path() / "vorn", "not a folder");
    const auto answered = run(Op::SetBalance{0.9});
    EXPECT_EQ(answered.state, State::Failed);
    EXPECT_THAT(answered.message, ::testing::StartsWith("Audio preference could not be saved: "));
    EXPECT_EQ(page_doc::doc_f64(model->document(), balance_key), 0.5);
    EXPECT_EQ(model->balance(), 0.5);
    EXPECT_THAT(runtime->calls(), IsEmpty());  // nothing applied that could not be kept
}

TEST_F(AudioModelTest, AnAnswerArrivesInALaterSync)
{
    auto worker = std::make_shared<QueuedWorker>();
    model = std::make_unique<AudioModel>(backends(), worker, prefs::AudioPrefs{});
    model->attach_operation_requests(requests);
    model->attach_operation_status(status);
    sync();
    worker->run_all();
    sync();
    const std::string key = operations::operation_key(Op(Op::SetOutputVolume{0.6}));
    EXPECT_EQ(run(Op::SetOutputVolume{0.6}), OperationStatus::running(key));  // the call waits on the worker
    EXPECT_THAT(calls(), IsEmpty());
    sync();
    EXPECT_EQ(worker->waiting(), 1U);  // asked once, not again in every sync
    worker->run_all();
    sync();
    EXPECT_EQ(status.get(), OperationStatus::done(key, "Output volume set to 60%."));
    EXPECT_THAT(calls(), ElementsAre("set_volume 60"));

    // A page closed while its change is on the worker does not leave the request running.
    (void)run(Op::SetOutputMuted{true});
    model.reset();
    EXPECT_EQ(status.get(), OperationStatus::failed(operations::operation_key(Op(Op::SetOutputMuted{true})),
                                                    "The Sound page closed before the change was confirmed."));
    worker->run_all();  // the call itself may still finish; nobody is left to answer
}

TEST_F(AudioModelTest, WithTheStatusCellOnlyTheRunningOperationChangesAnything)
{
    open({}, false);
    model->attach_operation_status(status);
    doc.put_f64(volume_key, 0.9);
    sync();
    EXPECT_THAT(calls(), IsEmpty());  // no audio operation runs

    // An operation for another change runs: that change is made, the stray volume is put back.
    const std::string key = operations::operation_key(Op(Op::SetOutputMuted{true}));
    (void)status.publish(OperationStatus::running(key));
    doc.put_bool(muted_key, true);
    sync();
    EXPECT_THAT(calls(), ElementsAre("set_mute true"));
    EXPECT_EQ(page_doc::doc_f64(doc, volume_key), static_cast<double>(0.4F));
    EXPECT_EQ(status.get(), OperationStatus::done(key, "Output muted."));
}

TEST_F(AudioModelTest, OnItsOwnThePageActsOnEveryDocumentChange)
{
    open({}, false);
    doc.put_f64(volume_key, 0.7);
    sync();
    doc.put_f64(volume_key, 0.7004);  // within the tolerance: no second change
    sync();
    doc.put_str(output_device_key, "WH-1000XM4 (2)");
    doc.put_str(input_device_key, "Nobody's microphone");  // no such device: ignored
    doc.put_str(stream_sink_id(70), "WH-1000XM4");
    doc.put_bool(stream_muted_id(70), true);
    doc.put_str(device_profile_id(40), "Digital Stereo (HDMI) Output");  // not available: ignored
    doc.put_bool(advanced_key, true);
    sync();
    EXPECT_THAT(calls(), ElementsAre("set_volume 70", "set_default 60", "route_stream 70 59", "set_node_mute 70 true"));
    EXPECT_TRUE(model->diagnostics_shown());
    EXPECT_EQ(page_doc::doc_bool(doc, advanced_key), false);  // a trigger is consumed
    EXPECT_EQ(model->status_line(), std::nullopt);
    EXPECT_EQ(prefs::load_settings_file().audio.output_device, "bluez_output.b");

    // Closing the speaker row stops a running test.
    doc.put_bool(test_left_key, true);
    sync();
    ASSERT_EQ(runtime->tests().size(), 1U);
    EXPECT_EQ(model->status_line(), "Playing a short left-channel tone…");
    doc.put_bool(advanced_key, true);
    sync();
    EXPECT_FALSE(model->diagnostics_shown());
    EXPECT_TRUE(runtime->tests()[0]->dropped);
}

TEST_F(AudioModelTest, TestsAndMeterEndWithANotice)
{
    open({}, false);
    doc.put_bool(test_right_key, true);
    doc.put_bool(mic_test_key, true);
    sync();
    ASSERT_EQ(runtime->tests().size(), 1U);
    ASSERT_EQ(runtime->meters().size(), 1U);
    EXPECT_TRUE(model->speaker_test_running());
    EXPECT_TRUE(model->meter_running());
    (void)model->take_structure_dirty();

    const auto meter = runtime->meters()[0];
    meter->level = 0.01F;  // a small flicker is not worth a new layout
    sync();
    EXPECT_FALSE(model->take_structure_dirty());
    meter->level = 0.125F;
    sync();
    EXPECT_TRUE(model->take_structure_dirty());
    EXPECT_EQ(model->meter_level(), 0.125F);

    runtime->tests()[0]->running = false;
    sync();
    EXPECT_FALSE(model->speaker_test_running());
    EXPECT_EQ(model->status_line(), "Speaker test finished.");
    meter->running = false;
    sync();
    EXPECT_FALSE(model->meter_running());
    EXPECT_EQ(model->status_line(), "Microphone test finished; no audio was saved.");

    // Pressed again while it runs, the meter stops.
    doc.put_bool(mic_test_key, true);
    sync();
    doc.put_bool(mic_test_key, true);
    sync();
    EXPECT_TRUE(runtime->meters()[1]->dropped);
    EXPECT_EQ(model->status_line(), "Microphone test stopped; no audio was saved.");
}

TEST_F(AudioModelTest, TheGraphIsReadAgainEveryOneAndAHalfSeconds)
{
    open({}, false);
    doc.put_bool(test_left_key, true);
    doc.put_bool(mic_test_key, true);
    sync();
    (void)model->take_structure_dirty();

    // A volume that changed elsewhere is no new topology.
    auto graph = sample_graph();
    graph.playback_streams[0].volume = 0.9F;
    enumerator->set_graph(graph);
    sync(1500ms);
    EXPECT_FALSE(model->take_structure_dirty());
    EXPECT_TRUE(model->speaker_test_running());

    // A new stream is.
    graph.playback_streams.push_back({.id = 73, .target = 58, .volume = 0.3F, .application_name = "Game"});
    graph.playback_streams.erase(graph.playback_streams.begin());  // the browser went away
    enumerator->set_graph(graph);
    sync(1000ms);
    EXPECT_EQ(model->graph().stream_by_id(73), nullptr);  // not yet: a second has passed
    sync(500ms);
    ASSERT_NE(model->graph().stream_by_id(73), nullptr);
    EXPECT_TRUE(model->take_structure_dirty());
    EXPECT_EQ(page_doc::doc_text(doc, stream_sink_id(73)), "WH-1000XM4");
    EXPECT_EQ(page_doc::doc_f64(doc, stream_volume_id(73)), static_cast<double>(0.3F));
    // The test and the meter end without a notice.
    EXPECT_FALSE(model->speaker_test_running());
    EXPECT_FALSE(model->meter_running());
    EXPECT_TRUE(runtime->tests()[0]->dropped);
    EXPECT_TRUE(runtime->meters()[0]->dropped);
    EXPECT_EQ(model->status_line(), "Microphone level test started for eight seconds.");

    // A graph that cannot be read leaves the last one in place.
    enumerator->set_graph(std::unexpected(std::string("PipeWire is not running")));
    sync(1500ms);
    EXPECT_NE(model->graph().stream_by_id(73), nullptr);
}

TEST_F(AudioModelTest, APreferredDeviceIsRestoredWhenItAppearsNotWhenThePageOpens)
{
    // The preferred headset is there, but the user has chosen the speakers since: opening the page keeps that.
    open({.output_device = "bluez_output.b"}, false);
    EXPECT_THAT(calls(), IsEmpty());

    // The headset goes and comes back: it is the default again.
    auto graph = sample_graph();
    graph.sinks.pop_back();
    graph.playback_streams.pop_back();
    enumerator->set_graph(graph);
    sync(1500ms);
    EXPECT_THAT(calls(), IsEmpty());
    enumerator->set_graph(sample_graph());
    sync(1500ms);
    EXPECT_THAT(calls(), ElementsAre("set_default_sink 60"));
    EXPECT_EQ(model->choices().default_output()->id, 60U);
    EXPECT_EQ(page_doc::doc_text(doc, output_device_key), "WH-1000XM4 (2)");

    // A file written before node names were kept names the device by what it is called, when that is unique.
    graph_control = std::make_shared<sg::FakeGraphControl>();
    graph = sample_graph();
    graph.sources.pop_back();
    enumerator->set_graph(graph);
    open({.input_device = "USB Mic"}, false);
    enumerator->set_graph(sample_graph());
    sync(1500ms);
    EXPECT_THAT(graph_control->calls(), ElementsAre("set_default_source 64"));
}

TEST_F(AudioModelTest, WithoutAGraphTheDevicesComeFromWpctlStatus)
{
    enumerator->set_graph(sg::AudioGraph{});
    default_device->set_devices(sg::DeviceChoices{.outputs = {{.name = "Speakers", .id = 48, .is_default = true},
                                                              {.name = "HDMI", .id = 52}}});
    open({}, false);
    ASSERT_EQ(model->choices().outputs.size(), 2U);
    EXPECT_EQ(page_doc::doc_text(doc, output_device_key), "Speakers");
    doc.put_str(output_device_key, "HDMI");
    sync();
    EXPECT_THAT(calls(), ElementsAre("set_default 52"));
}

TEST_F(AudioModelTest, SoundCardProfilesFromARecordedGraph)
{
    // Profiles need sound hardware: the graph is a recorded pw-dump, the changes go to a fake wpctl.
    const char* source_dir = std::getenv("VORN_SOURCE_DIR");
    ASSERT_NE(source_dir, nullptr) << "run the tests through ctest";
    std::ifstream in(std::filesystem::path(source_dir) / "platform/sound_graph/testdata/pw-dump.json");
    const std::string recorded{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto runner = std::make_shared<cmd_runner::FakeRunner>([recorded](const cmd_runner::Command& command) {
        if (command.program == "pw-dump") {
            return cmd_runner::FakeRunner::exited(0, recorded);
        }
        if (command.args.size() == 2 && command.args[0] == "inspect") {
            return cmd_runner::FakeRunner::exited(0, fmt::format("id {}, type PipeWire:Interface:{}\n", command.args[1],
                                                                 command.args[1] == "48" ? "Node" : "Device"));
        }
        return cmd_runner::FakeRunner::exited(0);
    });
    auto recorded_backends = backends();
    recorded_backends.enumerator = std::make_shared<sg::PwDumpEnumerator>(runner);
    recorded_backends.graph_control = std::make_shared<sg::WpctlGraphControl>(runner);
    model = std::make_unique<AudioModel>(recorded_backends, std::make_shared<InlineWorker>(), prefs::AudioPrefs{});
    model->attach_operation_requests(requests);
    model->attach_operation_status(status);
    sync();
    sync();
    ASSERT_TRUE(model->loaded());
    EXPECT_EQ(page_doc::doc_text(model->document(), device_profile_id(40)), "Analog Stereo Duplex");
    EXPECT_THAT(model->profile_choices(*model->graph().device_by_id(40)),
                ElementsAre(ProfileChoice{"Off", 0}, ProfileChoice{"Analog Stereo Duplex", 1},
                            ProfileChoice{"Analog Stereo Output", 3}));  // HDMI is unplugged

    EXPECT_EQ(run(Op::SetDeviceProfile{40, 3}).message, "Audio device profile changed.");
    EXPECT_EQ(model->graph().device_by_id(40)->active_profile, 3U);
    EXPECT_EQ(run(Op::SetDeviceProfile{40, 2}).message, "audio profile is no longer available");
    EXPECT_EQ(run(Op::SetDeviceProfile{42, 1}).message, "Audio device profile changed.");  // had none active
    std::vector<std::string> wpctl;
    for (const auto& command : runner->calls()) {
        if (command.program == "wpctl") {
            wpctl.push_back(fmt::format("{}", fmt::join(command.args, " ")));
        }
    }
    EXPECT_THAT(wpctl, ElementsAre("inspect 40", "set-profile 40 3", "inspect 42", "set-profile 42 1"));
}

}  // namespace
}  // namespace settings::panes::audio
