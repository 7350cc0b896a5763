#include "panes/audio/audio_model.hpp"

#include "actions/catalogue/support.hpp"
#include "prefs/settings_file.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/state.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace settings::panes::audio {

namespace {

using page_doc::Document;
using Op = AudioOperation;

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

// A level as the page says it: 0.625 → 63 (halves away from zero).
int percent(double level)
{
    return static_cast<int>(std::lround(std::clamp(level, 0.0, 1.0) * 100.0));
}

// A level as the dispatcher and the source control take it: a percentage.
float to_percent(double level)
{
    return static_cast<float>(std::clamp(level, 0.0, 1.0) * 100.0);
}

bool is_level(double value)
{
    return std::isfinite(value) && value >= 0.0 && value <= 1.0;
}

// Puts `applied` back unless the document has moved on from `attempted` since.
void restore_f64(Document& doc, std::string_view key, double attempted, double applied)
{
    if (page_doc::doc_f64(doc, key) == attempted) {
        doc.put_f64(key, applied);
    }
}

void restore_bool(Document& doc, std::string_view key, bool attempted, bool applied)
{
    if (page_doc::doc_bool(doc, key) == attempted) {
        doc.put_bool(key, applied);
    }
}

void restore_text(Document& doc, std::string_view key, const std::string& attempted, const std::string& applied)
{
    if (page_doc::doc_text(doc, key) == attempted) {
        doc.put_str(key, applied);
    }
}

std::string capitalised(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    }
    return text;
}

// The node the settings file names: by node name, or (as older files stored) by a display name only one node has.
const sg::AudioNode* preferred_node(const std::vector<sg::AudioNode>& nodes, const std::optional<std::string>& pref)
{
    if (!pref || pref->empty()) {
        return nullptr;
    }
    if (const auto it = std::ranges::find(nodes, *pref, &sg::AudioNode::node_name); it != nodes.end()) {
        return &*it;
    }
    const auto named = [&](const sg::AudioNode& node) { return node.display_name == *pref; };
    if (std::ranges::count_if(nodes, named) == 1) {
        return &*std::ranges::find_if(nodes, named);
    }
    return nullptr;
}

}  // namespace

std::string stream_sink_id(std::uint32_t stream_id)
{
    return fmt::format("audio.stream.{}.sink", stream_id);
}

std::string stream_volume_id(std::uint32_t stream_id)
{
    return fmt::format("audio.stream.{}.volume", stream_id);
}

std::string stream_muted_id(std::uint32_t stream_id)
{
    return fmt::format("audio.stream.{}.muted", stream_id);
}

std::string device_profile_id(std::uint32_t device_id)
{
    return fmt::format("audio.device.{}.profile", device_id);
}

AudioBackends AudioBackends::system()
{
    return {.dispatcher = std::make_shared<system_ops::RealDispatcher>(),
            .output = system_ops::audio::current(),
            .source_volume = std::make_shared<sg::WpctlSourceVolume>(),
            .default_device = std::make_shared<sg::WpctlDefaultDevice>(),
            .graph_control = sg::current_graph_control(),
            .enumerator = sg::current_enumerator(),
            .runtime = std::make_shared<sg::RealAudioRuntime>()};
}

sg::DeviceChoices choices_from_graph(const sg::AudioGraph& graph)
{
    sg::DeviceChoices choices;
    for (const bool output : {true, false}) {
        const auto& nodes = output ? graph.sinks : graph.sources;
        auto& list = output ? choices.outputs : choices.inputs;
        auto labels = actions::catalogue::audio_device_labels(nodes);
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            list.push_back({.name = std::move(labels[i]),
                            .id = nodes[i].id,
                            .is_default = nodes[i].is_default,
                            .node_name = nodes[i].node_name});
        }
    }
    return choices;
}

// ---- Jobs ----------------------------------------------------------------------------------------------------------

// Answers of finished jobs, waiting for the next sync; the worker pushes, the UI thread takes.
struct AudioModel::Mailbox {
    using Answer = std::function<void(AudioModel&, Document&)>;

    void push(Answer answer)
    {
        {
            const std::lock_guard lock(mutex);
            answers.push_back(std::move(answer));
        }
        wake.wake();
    }
    std::vector<Answer> take()
    {
        const std::lock_guard lock(mutex);
        return std::exchange(answers, {});
    }

    std::mutex mutex;
    std::vector<Answer> answers;
    vorn_ui::WakeHandle wake = vorn_ui::WakeHandle::create();
};

// The first reading of the machine when the page opens.
struct AudioModel::Reading {
    system_ops::audio::VolumeState output{.volume = 0.5F};
    double input = 0.75;
    sg::AudioGraph graph;
    sg::DeviceChoices listed;  // from wpctl status, read only when the graph has no device
    sg::AudioCapabilities capabilities;
};

template <class Result>
void AudioModel::run_job(std::string doc_key, std::function<Result()> call,
                         std::function<void(AudioModel&, Document&, Result)> done)
{
    if (!doc_key.empty()) {
        in_flight_.insert(doc_key);
    }
    // The job owns what it uses; it never reaches the model, which may be gone when it ends.
    worker_->post([mailbox = mailbox_, doc_key = std::move(doc_key), call = std::move(call), done = std::move(done)] {
        Result result = call();
        mailbox->push([doc_key, done, result = std::move(result)](AudioModel& model, Document& doc) {
            if (!doc_key.empty()) {
                model.in_flight_.erase(doc_key);
            }
            done(model, doc, result);
        });
    });
}

void AudioModel::perform(std::string key, Change change)
{
    const std::string doc_key = change.doc_key;
    auto call = std::move(change.call);
    run_job<sg::Status>(doc_key, std::move(call),
                        [key = std::move(key), change = std::move(change)](AudioModel& model, Document& doc,
                                                                             const sg::Status& done) {
                            if (done) {
                                change.applied(model);
                                model.finish(key, change.done_text);
                                return;
                            }
                            change.restore(model, doc);
                            if (!change.status_prefix.empty()) {
                                model.status_line_ = change.status_prefix + done.error();
                            }
                            model.report_failure(change.log_op, change.log_message, done.error());
                            model.finish(key, std::unexpected(change.failure_prefix + done.error()));
                        });
}

void AudioModel::take_answers(Document& doc)
{
    // An answer may post a job of its own (restoring a device), whose answer may already be here too.
    for (auto answers = mailbox_->take(); !answers.empty(); answers = mailbox_->take()) {
        for (auto& answer : answers) {
            answer(*this, doc);
        }
    }
}

void AudioModel::post_load()
{
    load_posted_ = true;
    run_job<Reading>(
        "",
        [b = backends_] {
            Reading reading;
            if (auto output = b.output->get_volume_state()) {
                reading.output = *output;
            } else {
                VORN_INFO("audio_read", "output volume unknown: {}", output.error());
            }
            if (auto input = b.source_volume->get_volume_state()) {
                reading.input = input->volume;
            } else {
                VORN_INFO("audio_read", "input level unknown: {}", input.error());
            }
            reading.graph = b.enumerator->enumerate();
            if (reading.graph.sinks.empty() && reading.graph.sources.empty()) {
                reading.listed = b.default_device->list_devices().value_or(sg::DeviceChoices{});
            }
            reading.capabilities = b.runtime->capabilities();
            return reading;
        },
        [](AudioModel& model, Document&, const Reading& reading) { model.apply_reading(reading); });
}

void AudioModel::apply_reading(const Reading& reading)
{
    applied_volume_ = reading.output.volume;
    muted_ = reading.output.muted;
    applied_input_ = std::clamp(reading.input, 0.0, 1.0);
    graph_ = reading.graph;
    choices_ = graph_.sinks.empty() && graph_.sources.empty() ? reading.listed : choices_from_graph(graph_);
    capabilities_ = reading.capabilities;
    last_enumeration_ = now_;
    loaded_ = true;
    seed_document_ = true;
    structure_dirty_ = true;
}

void AudioModel::post_refresh()
{
    if (!loaded_ || enumeration_in_flight_ || now_ - last_enumeration_ < refresh_interval) {
        return;
    }
    last_enumeration_ = now_;
    enumeration_in_flight_ = true;
    run_job<sg::Result<sg::AudioGraph>>(
        "", [enumerator = backends_.enumerator] { return enumerator->try_enumerate(); },
        [](AudioModel& model, Document& doc, const sg::Result<sg::AudioGraph>& graph) {
            model.enumeration_in_flight_ = false;
            if (!graph) {
                // Keep showing the last graph; say so once, not every 1.5 s.
                if (!model.enumeration_failing_) {
                    VORN_WARN("audio_enumerate", "could not read the sound graph: {}", graph.error());
                }
                model.enumeration_failing_ = true;
                return;
            }
            model.enumeration_failing_ = false;
            model.apply_graph(doc, *graph);
        });
}

void AudioModel::apply_graph(Document& doc, sg::AudioGraph next)
{
    if (next.topology_signature() == graph_.topology_signature()) {
        return;
    }
    std::set<std::uint32_t> streams;
    for (const auto* list : {&next.playback_streams, &next.recording_streams}) {
        for (const auto& stream : *list) {
            streams.insert(stream.id);
        }
    }
    std::erase_if(seeded_streams_, [&](std::uint32_t id) { return !streams.contains(id); });
    std::erase_if(stream_routes_, [&](const auto& entry) { return !streams.contains(entry.first); });
    std::erase_if(stream_volumes_, [&](const auto& entry) { return !streams.contains(entry.first); });
    std::erase_if(stream_mutes_, [&](const auto& entry) { return !streams.contains(entry.first); });
    const auto gone_device = [&](std::uint32_t id) { return next.device_by_id(id) == nullptr; };
    std::erase_if(seeded_devices_, gone_device);
    std::erase_if(device_profiles_, [&](const auto& entry) { return gone_device(entry.first); });
    // A test or meter of a device that may be gone ends without a notice.
    speaker_test_.reset();
    meter_.reset();
    meter_level_ = 0.0F;

    const sg::AudioGraph previous = std::exchange(graph_, std::move(next));
    choices_ = choices_from_graph(graph_);
    relabel(doc);
    seed_streams_and_devices(doc);
    restore_preferred(previous);
    structure_dirty_ = true;
}

// Labels can move when devices come or go ("Headset (2)" becomes "Headset"): the keys that show a device are
// written again where no change of the user's is pending.
void AudioModel::relabel(Document& doc)
{
    for (const bool output : {true, false}) {
        const std::string_view key = output ? output_device_key : input_device_key;
        std::string& applied = output ? applied_output_label_ : applied_input_label_;
        if (in_flight_.contains(std::string(key)) || page_doc::doc_text(doc, key).value_or("") != applied) {
            continue;
        }
        const auto* current = output ? choices_.default_output() : choices_.default_input();
        if (current != nullptr && current->name != applied) {
            applied = current->name;
            doc.put_str(key, applied);
        }
    }
    for (const auto* list : {&graph_.playback_streams, &graph_.recording_streams}) {
        for (const auto& stream : *list) {
            const std::string key = stream_sink_id(stream.id);
            if (!seeded_streams_.contains(stream.id) || in_flight_.contains(key) ||
                page_doc::doc_text(doc, key) != stream_routes_[stream.id]) {
                continue;
            }
            if (std::string label = route_label(stream); label != stream_routes_[stream.id]) {
                doc.put_str(key, label);
                stream_routes_[stream.id] = std::move(label);
            }
        }
    }
}

// The devices the user chose are made the default again when they appear (a headset switched on, a dock plugged
// in) while the page is open; a device that was already there keeps whatever default the user has since chosen.
void AudioModel::restore_preferred(const sg::AudioGraph& previous)
{
    for (const bool output : {true, false}) {
        const auto& pref = output ? prefs_.output_device : prefs_.input_device;
        const auto* node = preferred_node(output ? graph_.sinks : graph_.sources, pref);
        if (node == nullptr || node->is_default ||
            preferred_node(output ? previous.sinks : previous.sources, pref) != nullptr) {
            continue;
        }
        const std::uint32_t id = node->id;
        run_job<sg::Status>(
            "",
            [control = backends_.graph_control, id, output] {
                return output ? control->set_default_sink(id) : control->set_default_source(id);
            },
            [id, output](AudioModel& model, Document& doc, const sg::Status& done) {
                if (!done) {
                    VORN_WARN(output ? "set_default_sink" : "set_default_source",
                              "could not make the preferred {} device the default again: {}",
                              output ? "output" : "input", done.error());
                    return;
                }
                std::string& applied = output ? model.applied_output_label_ : model.applied_input_label_;
                const std::string_view key = output ? output_device_key : input_device_key;
                const bool pending = model.in_flight_.contains(std::string(key)) ||
                                     page_doc::doc_text(doc, key).value_or("") != applied;
                model.set_default_in_graph(output, id);
                if (!pending) {
                    applied = model.label_of(output, id);
                    doc.put_str(key, applied);
                }
                model.structure_dirty_ = true;
            });
    }
}

// ---- Construction and sync -----------------------------------------------------------------------------------------

AudioModel::AudioModel(AudioBackends backends, std::shared_ptr<AudioWorker> worker, prefs::AudioPrefs prefs)
    : backends_(std::move(backends)),
      worker_(std::move(worker)),
      mailbox_(std::make_shared<Mailbox>()),
      prefs_(std::move(prefs)),
      balance_(std::isfinite(prefs_.balance) ? std::clamp(static_cast<double>(prefs_.balance), 0.0, 1.0) : 0.5),
      mono_(prefs_.mono_output)
{
}

AudioModel::~AudioModel()
{
    if (active_ && status_ && status_->get().is_running(active_->key)) {
        (void)status_->publish(operations::OperationStatus::failed(
            active_->key, "The Sound page closed before the change was confirmed."));
    }
}

void AudioModel::attach_operation_requests(operations::OperationRequestCell requests)
{
    requests_ = std::move(requests);
}

void AudioModel::attach_operation_status(operations::OperationStatusCell status)
{
    status_ = std::move(status);
}

std::optional<AudioModel::Clock::time_point> AudioModel::next_refresh() const
{
    if (!loaded_ || enumeration_in_flight_) {
        return std::nullopt;
    }
    return last_enumeration_ + refresh_interval;
}

bool AudioModel::take_structure_dirty()
{
    return std::exchange(structure_dirty_, false);
}

void AudioModel::sync(Document& toolkit_doc, Clock::time_point now)
{
    now_ = now;
    Document& doc = requests_ ? own_doc_ : toolkit_doc;
    if (!load_posted_) {
        post_load();
    }
    take_answers(doc);
    poll_test_and_meter();
    post_refresh();
    if (!loaded_) {
        return;  // a request waits in its cell until the page knows the machine
    }
    if (seed_document_) {
        seed(doc);
    }
    seed_streams_and_devices(doc);
    take_request(doc);
    if (handlers_may_run()) {
        run_handlers(doc);
    }
    take_answers(doc);  // what a worker answered at once
    answer_unchanged_request();
}

void AudioModel::poll_test_and_meter()
{
    if (speaker_test_ && !speaker_test_->running()) {
        speaker_test_.reset();
        status_line_ = "Speaker test finished.";
        structure_dirty_ = true;
    }
    if (meter_) {
        const float level = meter_->level();
        if (std::abs(level - meter_level_) >= 0.02F) {
            meter_level_ = level;
            structure_dirty_ = true;
        }
        if (!meter_->running()) {
            meter_.reset();
            status_line_ = "Microphone test finished; no audio was saved.";
            structure_dirty_ = true;
        }
    }
}

void AudioModel::seed(Document& doc)
{
    doc.put_f64(volume_key, applied_volume_);
    doc.put_bool(muted_key, muted_);
    doc.put_f64(balance_key, balance_);
    doc.put_bool(mono_key, mono_);
    for (const auto key : {advanced_key, test_left_key, test_right_key, mic_test_key}) {
        doc.put_bool(key, false);
    }
    doc.put_f64(input_volume_key, applied_input_);
    if (const auto* output = choices_.default_output()) {
        applied_output_label_ = output->name;
        doc.put_str(output_device_key, applied_output_label_);
    }
    if (const auto* input = choices_.default_input()) {
        applied_input_label_ = input->name;
        doc.put_str(input_device_key, applied_input_label_);
    }
    seed_document_ = false;
}

void AudioModel::seed_streams_and_devices(Document& doc)
{
    for (const auto* list : {&graph_.playback_streams, &graph_.recording_streams}) {
        for (const auto& stream : *list) {
            if (!seeded_streams_.insert(stream.id).second) {
                continue;
            }
            stream_routes_[stream.id] = route_label(stream);
            stream_volumes_[stream.id] = stream.volume.value_or(1.0F);
            stream_mutes_[stream.id] = stream.muted;
            doc.put_str(stream_sink_id(stream.id), stream_routes_[stream.id]);
            doc.put_f64(stream_volume_id(stream.id), stream_volumes_[stream.id]);
            doc.put_bool(stream_muted_id(stream.id), stream.muted);
        }
    }
    for (const auto& device : graph_.devices) {
        if (!seeded_devices_.insert(device.id).second || !device.active_profile) {
            continue;
        }
        const auto labels = actions::catalogue::audio_profile_labels(device.profiles);
        for (std::size_t i = 0; i < device.profiles.size(); ++i) {
            if (device.profiles[i].index == *device.active_profile) {
                device_profiles_[device.id] = labels[i];
                doc.put_str(device_profile_id(device.id), labels[i]);
                break;
            }
        }
    }
}

// ---- Requests ------------------------------------------------------------------------------------------------------

void AudioModel::take_request(Document& doc)
{
    if (!requests_) {
        return;
    }
    auto operation = operations::take_operation_request<AudioOperation>(*requests_);
    if (!operation) {
        return;
    }
    const std::string key = operations::operation_key(*operation);
    active_ = ActiveRequest{.key = key, .operation = *operation};
    if (auto refused = refusal(*operation)) {
        finish(key, std::unexpected(std::move(*refused)));
        return;
    }
    write_request(doc, *operation);
}

// What the page's own graph says against a request: the runner checked it against a graph read a moment earlier.
std::optional<std::string> AudioModel::refusal(const AudioOperation& operation) const
{
    const auto stream_of = [&](std::uint32_t id, bool playback) -> const sg::AudioStream* {
        const auto& list = playback ? graph_.playback_streams : graph_.recording_streams;
        const auto it = std::ranges::find(list, id, &sg::AudioStream::id);
        return it == list.end() ? nullptr : &*it;
    };
    const auto level = [](double value, const char* words) -> std::optional<std::string> {
        return is_level(value) ? std::nullopt : std::optional<std::string>(words);
    };
    return std::visit(
        Overloaded{
            [&](const Op::SetOutputVolume& op) { return level(op.value, "output volume must be between 0 and 1"); },
            [&](const Op::SetInputVolume& op) { return level(op.value, "input volume must be between 0 and 1"); },
            [&](const Op::SetBalance& op) { return level(op.value, "output balance must be between 0 and 1"); },
            [&](const Op::SetDeviceProfile& op) -> std::optional<std::string> {
                const auto* device = graph_.device_by_id(op.device_id);
                if (device == nullptr) {
                    return "audio hardware is no longer available";
                }
                const bool offered = std::ranges::any_of(profile_choices(*device), [&](const ProfileChoice& choice) {
                    return choice.index == op.profile_index;
                });
                return offered ? std::nullopt : std::optional<std::string>("audio profile is no longer available");
            },
            [&](const Op::RouteStream& op) -> std::optional<std::string> {
                if (stream_of(op.stream_id, op.playback) == nullptr) {
                    return "audio stream is no longer available";
                }
                if (op.device_id && choice_by_id(op.playback, *op.device_id) == nullptr) {
                    return "audio route is no longer available";
                }
                return std::nullopt;
            },
            [&](const Op::SetStreamVolume& op) -> std::optional<std::string> {
                if (auto refused = level(op.value, "stream volume must be between 0 and 1")) {
                    return refused;
                }
                return graph_.stream_by_id(op.stream_id) == nullptr
                           ? std::optional<std::string>("audio stream is no longer available")
                           : std::nullopt;
            },
            [&](const Op::SetStreamMuted& op) -> std::optional<std::string> {
                return graph_.stream_by_id(op.stream_id) == nullptr
                           ? std::optional<std::string>("audio stream is no longer available")
                           : std::nullopt;
            },
            [&](const Op::SelectOutput& op) -> std::optional<std::string> {
                return choice_by_id(true, op.device_id) == nullptr
                           ? std::optional<std::string>("audio output device is no longer available")
                           : std::nullopt;
            },
            [&](const Op::SelectInput& op) -> std::optional<std::string> {
                return choice_by_id(false, op.device_id) == nullptr
                           ? std::optional<std::string>("audio input device is no longer available")
                           : std::nullopt;
            },
            [&](const Op::RoutePlayback& op) -> std::optional<std::string> {
                if (stream_of(op.stream_id, true) == nullptr) {
                    return "playback stream is no longer available";
                }
                return choice_by_id(true, op.device_id) == nullptr
                           ? std::optional<std::string>("audio output device is no longer available")
                           : std::nullopt;
            },
            [&](const Op::RouteRecording& op) -> std::optional<std::string> {
                if (stream_of(op.stream_id, false) == nullptr) {
                    return "recording stream is no longer available";
                }
                return choice_by_id(false, op.device_id) == nullptr
                           ? std::optional<std::string>("audio input device is no longer available")
                           : std::nullopt;
            },
            [](const auto&) -> std::optional<std::string> { return std::nullopt; },
        },
        operation.value);
}

// The request becomes the control change it stands for.
void AudioModel::write_request(Document& doc, const AudioOperation& operation)
{
    const auto route = [&](std::uint32_t stream, bool playback, std::optional<std::uint32_t> device) {
        doc.put_str(stream_sink_id(stream), device ? label_of(playback, *device) : std::string(default_route));
    };
    std::visit(Overloaded{
                   [&](const Op::SetOutputVolume& op) { doc.put_f64(volume_key, op.value); },
                   [&](const Op::SetOutputMuted& op) { doc.put_bool(muted_key, op.muted); },
                   [&](const Op::SetInputVolume& op) { doc.put_f64(input_volume_key, op.value); },
                   [&](const Op::SetBalance& op) { doc.put_f64(balance_key, op.value); },
                   [&](const Op::SetMono& op) { doc.put_bool(mono_key, op.enabled); },
                   [&](const Op::SetDeviceProfile& op) {
                       for (const auto& choice : profile_choices(*graph_.device_by_id(op.device_id))) {
                           if (choice.index == op.profile_index) {
                               doc.put_str(device_profile_id(op.device_id), choice.label);
                               break;
                           }
                       }
                   },
                   [&](const Op::RouteStream& op) { route(op.stream_id, op.playback, op.device_id); },
                   [&](const Op::SetStreamVolume& op) { doc.put_f64(stream_volume_id(op.stream_id), op.value); },
                   [&](const Op::SetStreamMuted& op) { doc.put_bool(stream_muted_id(op.stream_id), op.muted); },
                   // A trigger, whether the row is open or not: the handler flips it.
                   [&](const Op::ToggleDiagnostics&) { doc.put_bool(advanced_key, true); },
                   [&](const Op::TestChannel& op) { doc.put_bool(op.left ? test_left_key : test_right_key, true); },
                   [&](const Op::ToggleMicrophoneMeter&) { doc.put_bool(mic_test_key, true); },
                   [&](const Op::SelectOutput& op) { doc.put_str(output_device_key, label_of(true, op.device_id)); },
                   [&](const Op::SelectInput& op) { doc.put_str(input_device_key, label_of(false, op.device_id)); },
                   [&](const Op::RoutePlayback& op) { route(op.stream_id, true, op.device_id); },
                   [&](const Op::RouteRecording& op) { route(op.stream_id, false, op.device_id); },
               },
               operation.value);
}

bool AudioModel::handlers_may_run() const
{
    return !status_ || status_->get().is_running_kind(AudioOperation::kind);
}

// Whether a change may run now, and under which operation key it is answered: always without the status cell;
// with it, only while that very operation runs. A route request the runner took as RoutePlayback or RouteRecording
// is the same change as the RouteStream the page builds for it.
std::optional<std::string> AudioModel::may_run(const AudioOperation& operation)
{
    std::string key = operations::operation_key(operation);
    if (!status_) {
        return key;
    }
    const auto running = status_->get();
    if (!running.is_running(key)) {
        const auto same_route = [&] {
            const auto* route = std::get_if<Op::RouteStream>(&operation.value);
            if (route == nullptr || !route->device_id || !active_) {
                return false;
            }
            if (const auto* playback = std::get_if<Op::RoutePlayback>(&active_->operation.value)) {
                return route->playback && playback->stream_id == route->stream_id &&
                       playback->device_id == *route->device_id;
            }
            if (const auto* recording = std::get_if<Op::RouteRecording>(&active_->operation.value)) {
                return !route->playback && recording->stream_id == route->stream_id &&
                       recording->device_id == *route->device_id;
            }
            return false;
        };
        if (!active_ || !running.is_running(active_->key) || !same_route()) {
            return std::nullopt;
        }
        key = active_->key;
    }
    if (active_ && active_->key == key) {
        active_->handled = true;
    }
    return key;
}

void AudioModel::finish(const std::string& key, const std::expected<std::string, std::string>& outcome)
{
    if (active_ && active_->key == key) {
        active_.reset();
    }
    if (!status_ || !status_->get().is_running(key)) {
        return;
    }
    (void)status_->publish(outcome ? operations::OperationStatus::done(key, *outcome)
                                   : operations::OperationStatus::failed(key, outcome.error()));
}

// A request that asked for what is already in effect is answered as done, so that the runner is free again.
void AudioModel::answer_unchanged_request()
{
    if (active_ && !active_->handled && in_flight_.empty()) {
        const std::string key = active_->key;
        finish(key, unchanged_sentence(active_->operation));
    }
}

std::string AudioModel::unchanged_sentence(const AudioOperation& operation) const
{
    const auto stream_volume = [&](std::uint32_t id) {
        const auto it = stream_volumes_.find(id);
        return percent(it == stream_volumes_.end() ? 1.0 : it->second);
    };
    const auto route = [&](std::uint32_t id) {
        const auto it = stream_routes_.find(id);
        return fmt::format("Audio stream route is already {}.", it == stream_routes_.end() ? "unchanged" : it->second);
    };
    return std::visit(
        Overloaded{
            [&](const Op::SetOutputVolume&) { return fmt::format("Output volume is already {}%.", percent(applied_volume_)); },
            [&](const Op::SetOutputMuted&) {
                return std::string(muted_ ? "Output is already muted." : "Output is already unmuted.");
            },
            [&](const Op::SetInputVolume&) { return fmt::format("Input level is already {}%.", percent(applied_input_)); },
            [&](const Op::SetBalance&) { return fmt::format("Output balance is already {}%.", percent(balance_)); },
            [&](const Op::SetMono&) {
                return std::string(mono_ ? "Mono output is already on." : "Mono output is already off.");
            },
            [&](const Op::SetDeviceProfile& op) {
                const auto it = device_profiles_.find(op.device_id);
                return fmt::format("Audio device profile is already {}.",
                                   it == device_profiles_.end() ? "in use" : it->second);
            },
            [&](const Op::RouteStream& op) { return route(op.stream_id); },
            [&](const Op::RoutePlayback& op) { return route(op.stream_id); },
            [&](const Op::RouteRecording& op) { return route(op.stream_id); },
            [&](const Op::SetStreamVolume& op) {
                return fmt::format("Audio stream volume is already {}%.", stream_volume(op.stream_id));
            },
            [&](const Op::SetStreamMuted& op) {
                const auto it = stream_mutes_.find(op.stream_id);
                return std::string(it != stream_mutes_.end() && it->second ? "Audio stream is already muted."
                                                                           : "Audio stream is already unmuted.");
            },
            [&](const Op::SelectOutput& op) {
                return fmt::format("{} is already the output device.", label_of(true, op.device_id));
            },
            [&](const Op::SelectInput& op) {
                return fmt::format("{} is already the input device.", label_of(false, op.device_id));
            },
            [](const auto&) { return std::string("Nothing needed to change."); },
        },
        operation.value);
}

// ---- Handlers ------------------------------------------------------------------------------------------------------

void AudioModel::run_handlers(Document& doc)
{
    handle_levels(doc);
    handle_balance_and_mono(doc);
    handle_diagnostics(doc);
    handle_default_devices(doc);
    handle_streams(doc);
    handle_profiles(doc);
}

void AudioModel::report_failure(std::string_view op, std::string_view log_message, const std::string& error)
{
    VORN_WARN(op, "{}: {}", log_message, error);
    structure_dirty_ = true;
}

namespace {

// The level in the document when it differs from `applied` by more than the tolerance.
std::optional<double> changed_level(const Document& doc, std::string_view key, double applied)
{
    const auto level = page_doc::doc_f64(doc, key);
    if (!level || !std::isfinite(*level) || std::abs(*level - applied) <= level_tolerance) {
        return std::nullopt;
    }
    return level;
}

}  // namespace

void AudioModel::handle_levels(Document& doc)
{
    if (const auto level = changed_level(doc, volume_key, applied_volume_);
        level && !in_flight_.contains(std::string(volume_key))) {
        const double v = *level;
        if (auto key = may_run(Op(Op::SetOutputVolume{v}))) {
            perform(std::move(*key),
                    {.doc_key = std::string(volume_key),
                     .call = [d = backends_.dispatcher, v] { return d->set_volume(to_percent(v)); },
                     .done_text = fmt::format("Output volume set to {}%.", percent(v)),
                     .status_prefix = "Volume could not be changed: ",
                     .failure_prefix = "Output volume could not be changed: ",
                     .log_op = "set_volume",
                     .log_message = "audio pane dispatch failed",
                     .applied = [v](AudioModel& model) { model.applied_volume_ = v; },
                     .restore = [v](AudioModel& model, Document& doc) {
                         restore_f64(doc, volume_key, v, model.applied_volume_);
                     }});
        } else {
            doc.put_f64(volume_key, applied_volume_);
        }
    }

    if (const auto level = changed_level(doc, input_volume_key, applied_input_);
        level && !in_flight_.contains(std::string(input_volume_key))) {
        const double v = *level;
        if (auto key = may_run(Op(Op::SetInputVolume{v}))) {
            perform(std::move(*key),
                    {.doc_key = std::string(input_volume_key),
                     .call = [s = backends_.source_volume, v] { return s->set_volume(to_percent(v)); },
                     .done_text = fmt::format("Input level set to {}%.", percent(v)),
                     .status_prefix = "Input level could not be changed: ",
                     .failure_prefix = "Input level could not be changed: ",
                     .log_op = "set_input_volume",
                     .log_message = "audio pane dispatch failed",
                     .applied = [v](AudioModel& model) { model.applied_input_ = v; },
                     .restore = [v](AudioModel& model, Document& doc) {
                         restore_f64(doc, input_volume_key, v, model.applied_input_);
                     }});
        } else {
            doc.put_f64(input_volume_key, applied_input_);
        }
    }

    const auto muted = page_doc::doc_bool(doc, muted_key);
    if (muted && *muted != muted_ && !in_flight_.contains(std::string(muted_key))) {
        const bool m = *muted;
        if (auto key = may_run(Op(Op::SetOutputMuted{m}))) {
            perform(std::move(*key),
                    {.doc_key = std::string(muted_key),
                     .call = [d = backends_.dispatcher, m] { return d->set_mute(m); },
                     .done_text = m ? "Output muted." : "Output unmuted.",
                     .status_prefix = "Mute could not be changed: ",
                     .failure_prefix = "Output mute could not be changed: ",
                     .log_op = "set_mute",
                     .log_message = "audio pane dispatch failed",
                     .applied = [m](AudioModel& model) { model.muted_ = m; },
                     .restore = [m](AudioModel& model, Document& doc) { restore_bool(doc, muted_key, m, model.muted_); }});
        } else {
            doc.put_bool(muted_key, muted_);
        }
    }
}

std::expected<void, std::string> AudioModel::save_prefs(const std::function<void(prefs::AudioPrefs&)>& change)
{
    auto file = prefs::load_settings_file();
    change(file.audio);
    if (auto saved = prefs::save_settings_file(file); !saved) {
        VORN_WARN("audio_prefs_save", "failed to persist audio prefs: {}", saved.error());
        return std::unexpected(saved.error());
    }
    change(prefs_);
    return {};
}

// Balance and mono output are preferences of the desktop session. They are saved, and applied when this session has
// something that applies them; otherwise the sentence says that only the preference was saved.
void AudioModel::handle_balance_and_mono(Document& doc)
{
    if (const auto level = changed_level(doc, balance_key, balance_);
        level && !in_flight_.contains(std::string(balance_key))) {
        const double value = std::clamp(*level, 0.0, 1.0);
        const auto key = may_run(Op(Op::SetBalance{value}));
        if (!key) {
            doc.put_f64(balance_key, balance_);
        } else if (auto saved = save_prefs([value](prefs::AudioPrefs& p) { p.balance = static_cast<float>(value); });
                   !saved) {
            restore_f64(doc, balance_key, *level, balance_);
            structure_dirty_ = true;
            finish(*key, std::unexpected("Audio preference could not be saved: " + saved.error()));
        } else if (!capabilities_.balance) {
            balance_ = value;
            finish(*key, fmt::format("Output balance preference saved ({}%); this session does not apply balance.",
                                     percent(value)));
        } else {
            balance_ = value;
            run_job<sg::Status>(
                std::string(balance_key),
                [r = backends_.runtime, value] { return r->set_balance(static_cast<float>(value)); },
                [key = *key, value](AudioModel& model, Document&, const sg::Status& done) {
                    if (done) {
                        model.finish(key, fmt::format("Output balance set to {}%.", percent(value)));
                        return;
                    }
                    model.report_failure("set_balance", "output balance not applied", done.error());
                    model.finish(key, std::unexpected("Output balance was saved but could not be applied: " +
                                                      done.error()));
                });
        }
    }

    const auto mono = page_doc::doc_bool(doc, mono_key);
    if (mono && *mono != mono_ && !in_flight_.contains(std::string(mono_key))) {
        const bool enabled = *mono;
        const auto key = may_run(Op(Op::SetMono{enabled}));
        if (!key) {
            doc.put_bool(mono_key, mono_);
        } else if (auto saved = save_prefs([enabled](prefs::AudioPrefs& p) { p.mono_output = enabled; }); !saved) {
            restore_bool(doc, mono_key, enabled, mono_);
            structure_dirty_ = true;
            finish(*key, std::unexpected("Audio preference could not be saved: " + saved.error()));
        } else if (!capabilities_.mono) {
            mono_ = enabled;
            const std::string text =
                fmt::format("Mono output preference saved ({}); this session does not apply mono output.",
                            enabled ? "on" : "off");
            status_line_ = text;
            structure_dirty_ = true;
            finish(*key, text);
        } else {
            mono_ = enabled;
            run_job<sg::Status>(
                std::string(mono_key), [r = backends_.runtime, enabled] { return r->start_mono(enabled); },
                [key = *key, enabled](AudioModel& model, Document&, const sg::Status& done) {
                    model.structure_dirty_ = true;
                    if (done) {
                        model.status_line_ = enabled ? "Mono output is active for this desktop session."
                                                     : "Mono output is off; the physical output is restored.";
                        model.finish(key, std::string(enabled ? "Mono output enabled." : "Mono output disabled."));
                        return;
                    }
                    const std::string text = "Mono output was saved but could not be applied: " + done.error();
                    model.status_line_ = text;
                    model.report_failure("start_mono", "mono output not applied", done.error());
                    model.finish(key, std::unexpected(text));
                });
        }
    }
}

void AudioModel::handle_diagnostics(Document& doc)
{
    if (page_doc::doc_bool(doc, advanced_key) == true) {
        doc.put_bool(advanced_key, false);
        if (const auto key = may_run(Op(Op::ToggleDiagnostics{}))) {
            diagnostics_shown_ = !diagnostics_shown_;
            if (!diagnostics_shown_) {
                speaker_test_.reset();
            }
            structure_dirty_ = true;
            finish(*key, std::string(diagnostics_shown_ ? "Speaker diagnostics shown." : "Speaker diagnostics hidden."));
        }
    }

    for (const auto& [trigger, side, left] :
         {std::tuple{test_left_key, "left", true}, std::tuple{test_right_key, "right", false}}) {
        if (page_doc::doc_bool(doc, trigger) != true) {
            continue;
        }
        doc.put_bool(trigger, false);
        const auto key = may_run(Op(Op::TestChannel{left}));
        if (!key) {
            continue;
        }
        speaker_test_.reset();
        const auto* sink = graph_.default_sink();
        auto started = sink == nullptr || sink->channels != 2
                           ? sg::Result<std::unique_ptr<sg::ChannelTest>>(
                                 std::unexpected(std::string("Speaker test requires a stereo PipeWire sink")))
                           : backends_.runtime->start_channel_test(sink->node_name, left);
        structure_dirty_ = true;
        if (started) {
            speaker_test_ = std::move(*started);
            status_line_ = fmt::format("Playing a short {}-channel tone…", side);
            finish(*key, capitalised(fmt::format("{} speaker test started.", side)));
        } else {
            const std::string text = fmt::format("Could not test the {} speaker: {}", side, started.error());
            status_line_ = text;
            finish(*key, std::unexpected(text));
        }
    }

    if (page_doc::doc_bool(doc, mic_test_key) == true) {
        doc.put_bool(mic_test_key, false);
        if (const auto key = may_run(Op(Op::ToggleMicrophoneMeter{}))) {
            structure_dirty_ = true;
            if (meter_) {
                meter_.reset();
                status_line_ = "Microphone test stopped; no audio was saved.";
                finish(*key, *status_line_);
                return;
            }
            const auto* source = graph_.default_source();
            auto started = source == nullptr ? sg::Result<std::unique_ptr<sg::MicrophoneMeter>>(
                                                   std::unexpected(std::string("No PipeWire microphone is available")))
                                             : backends_.runtime->start_microphone_meter(source->node_name,
                                                                                         meter_duration);
            if (started) {
                meter_ = std::move(*started);
                meter_level_ = 0.0F;
                status_line_ = "Microphone level test started for eight seconds.";
                finish(*key, *status_line_);
            } else {
                status_line_ = "Could not test the microphone: " + started.error();
                finish(*key, std::unexpected(*status_line_));
            }
        }
    }
}

void AudioModel::handle_default_devices(Document& doc)
{
    for (const bool output : {true, false}) {
        const std::string_view doc_key = output ? output_device_key : input_device_key;
        const std::string& applied = output ? applied_output_label_ : applied_input_label_;
        const auto label = page_doc::doc_text(doc, doc_key);
        if (!label || *label == applied || in_flight_.contains(std::string(doc_key))) {
            continue;
        }
        const auto* choice = choice_by_label(output, *label);
        if (choice == nullptr) {
            continue;  // a name no device has
        }
        const std::uint32_t id = choice->id;
        auto key = may_run(output ? Op(Op::SelectOutput{id}) : Op(Op::SelectInput{id}));
        if (!key) {
            doc.put_str(doc_key, applied);
            continue;
        }
        const std::string remembered = choice->node_name.empty() ? *label : choice->node_name;
        perform(std::move(*key),
                {.doc_key = std::string(doc_key),
                 .call = [d = backends_.default_device, id] { return d->set_default(id); },
                 .done_text = output ? "Audio output device changed." : "Audio input device changed.",
                 .status_prefix = output ? "Output device could not be changed: " : "Input device could not be changed: ",
                 .failure_prefix = output ? "Output device could not be changed: " : "Input device could not be changed: ",
                 .log_op = output ? "set_default_sink" : "set_default_source",
                 .log_message = "audio pane device switch failed",
                 .applied =
                     [output, id, label = *label, remembered](AudioModel& model) {
                         (output ? model.applied_output_label_ : model.applied_input_label_) = label;
                         model.set_default_in_graph(output, id);
                         model.structure_dirty_ = true;
                         // The settings file remembers the device by its system name, which no other device shares.
                         (void)model.save_prefs([output, remembered](prefs::AudioPrefs& p) {
                             (output ? p.output_device : p.input_device) = remembered;
                         });
                     },
                 .restore =
                     [output, label = *label](AudioModel& model, Document& doc) {
                         restore_text(doc, output ? output_device_key : input_device_key, label,
                                      output ? model.applied_output_label_ : model.applied_input_label_);
                     }});
    }
}

void AudioModel::handle_streams(Document& doc)
{
    for (const auto* list : {&graph_.playback_streams, &graph_.recording_streams}) {
        for (const auto& stream : *list) {
            const std::uint32_t id = stream.id;
            const bool playback = stream.playback;

            const std::string route_key = stream_sink_id(id);
            const auto route = page_doc::doc_text(doc, route_key);
            if (route && *route != stream_routes_[id] && !in_flight_.contains(route_key)) {
                const auto* node = *route == default_route ? nullptr : node_by_label(playback, *route);
                const std::optional<std::uint32_t> device = node ? std::optional(node->id) : std::nullopt;
                if (auto key = may_run(Op(Op::RouteStream{id, playback, device}))) {
                    const std::uint32_t routing = node ? node->routing_number : 0;
                    perform(std::move(*key),
                            {.doc_key = route_key,
                             .call = [g = backends_.graph_control, id, device, routing] {
                                 return device ? g->route_stream(id, routing) : g->unroute_stream(id);
                             },
                             .done_text = "Audio stream route changed.",
                             .status_prefix = "Audio stream route could not be changed: ",
                             .failure_prefix = "Audio stream route could not be changed: ",
                             .log_op = "route_stream",
                             .log_message = "audio pane stream route failed",
                             .applied = [id, text = *route](AudioModel& model) { model.stream_routes_[id] = text; },
                             .restore = [id, route_key, text = *route](AudioModel& model, Document& doc) {
                                 restore_text(doc, route_key, text, model.stream_routes_[id]);
                             }});
                } else {
                    doc.put_str(route_key, stream_routes_[id]);
                }
            }

            const std::string volume_id = stream_volume_id(id);
            if (const auto level = changed_level(doc, volume_id, stream_volumes_[id]);
                level && !in_flight_.contains(volume_id)) {
                const double v = *level;
                if (auto key = may_run(Op(Op::SetStreamVolume{id, v}))) {
                    perform(std::move(*key),
                            {.doc_key = volume_id,
                             .call = [g = backends_.graph_control, id, v] {
                                 return g->set_node_volume(id, static_cast<float>(std::clamp(v, 0.0, 1.0)));
                             },
                             .done_text = "Audio stream volume changed.",
                             .status_prefix = "Audio stream volume could not be changed: ",
                             .failure_prefix = "Audio stream volume could not be changed: ",
                             .log_op = "stream_volume",
                             .log_message = "audio pane stream volume failed",
                             .applied = [id, v](AudioModel& model) { model.stream_volumes_[id] = v; },
                             .restore = [id, volume_id, v](AudioModel& model, Document& doc) {
                                 restore_f64(doc, volume_id, v, model.stream_volumes_[id]);
                             }});
                } else {
                    doc.put_f64(volume_id, stream_volumes_[id]);
                }
            }

            const std::string muted_id = stream_muted_id(id);
            const auto muted = page_doc::doc_bool(doc, muted_id);
            if (muted && *muted != stream_mutes_[id] && !in_flight_.contains(muted_id)) {
                const bool m = *muted;
                if (auto key = may_run(Op(Op::SetStreamMuted{id, m}))) {
                    perform(std::move(*key),
                            {.doc_key = muted_id,
                             .call = [g = backends_.graph_control, id, m] { return g->set_node_mute(id, m); },
                             .done_text = "Audio stream mute changed.",
                             .status_prefix = "Audio stream mute could not be changed: ",
                             .failure_prefix = "Audio stream mute could not be changed: ",
                             .log_op = "stream_mute",
                             .log_message = "audio pane stream mute failed",
                             .applied = [id, m](AudioModel& model) { model.stream_mutes_[id] = m; },
                             .restore = [id, muted_id, m](AudioModel& model, Document& doc) {
                                 restore_bool(doc, muted_id, m, model.stream_mutes_[id]);
                             }});
                } else {
                    doc.put_bool(muted_id, stream_mutes_[id]);
                }
            }
        }
    }
}

void AudioModel::handle_profiles(Document& doc)
{
    for (const auto& device : graph_.devices) {
        const std::uint32_t id = device.id;
        const std::string doc_key = device_profile_id(id);
        const auto label = page_doc::doc_text(doc, doc_key);
        if (!label || *label == device_profiles_[id] || in_flight_.contains(doc_key)) {
            continue;
        }
        const auto offered = profile_choices(device);
        const auto choice = std::ranges::find(offered, *label, &ProfileChoice::label);
        if (choice == offered.end()) {
            continue;  // a name no available profile has
        }
        const std::uint32_t index = choice->index;
        auto key = may_run(Op(Op::SetDeviceProfile{id, index}));
        if (!key) {
            doc.put_str(doc_key, device_profiles_[id]);
            continue;
        }
        perform(std::move(*key),
                {.doc_key = doc_key,
                 .call = [g = backends_.graph_control, id, index] { return g->set_device_profile(id, index); },
                 .done_text = "Audio device profile changed.",
                 .status_prefix = "Device profile could not be changed: ",
                 .failure_prefix = "Audio device profile could not be changed: ",
                 .log_op = "set_device_profile",
                 .log_message = "audio profile change failed",
                 .applied =
                     [id, index, text = *label](AudioModel& model) {
                         model.device_profiles_[id] = text;
                         for (auto& card : model.graph_.devices) {
                             if (card.id == id) {
                                 card.active_profile = index;
                             }
                         }
                     },
                 .restore = [id, doc_key, text = *label](AudioModel& model, Document& doc) {
                     restore_text(doc, doc_key, text, model.device_profiles_[id]);
                 }});
    }
}

// ---- Lookups -------------------------------------------------------------------------------------------------------

void AudioModel::set_default_in_graph(bool output, std::uint32_t id)
{
    for (auto& node : output ? graph_.sinks : graph_.sources) {
        node.is_default = node.id == id;
    }
    for (auto& choice : output ? choices_.outputs : choices_.inputs) {
        choice.is_default = choice.id == id;
    }
}

const sg::DeviceChoice* AudioModel::choice_by_label(bool output, std::string_view label) const
{
    const auto& list = output ? choices_.outputs : choices_.inputs;
    const auto it = std::ranges::find(list, label, &sg::DeviceChoice::name);
    return it == list.end() ? nullptr : &*it;
}

const sg::DeviceChoice* AudioModel::choice_by_id(bool output, std::uint32_t id) const
{
    const auto& list = output ? choices_.outputs : choices_.inputs;
    const auto it = std::ranges::find(list, id, &sg::DeviceChoice::id);
    return it == list.end() ? nullptr : &*it;
}

const sg::AudioNode* AudioModel::node_by_label(bool output, std::string_view label) const
{
    const auto* choice = choice_by_label(output, label);
    if (choice == nullptr) {
        return nullptr;
    }
    return output ? graph_.sink_by_id(choice->id) : graph_.source_by_id(choice->id);
}

std::string AudioModel::label_of(bool output, std::uint32_t id) const
{
    const auto* choice = choice_by_id(output, id);
    return choice != nullptr ? choice->name : std::string();
}

std::string AudioModel::route_label(const sg::AudioStream& stream) const
{
    if (stream.target) {
        const auto* node = stream.playback ? graph_.sink_by_id(*stream.target) : graph_.source_by_id(*stream.target);
        if (node != nullptr && !node->is_default) {
            if (auto label = label_of(stream.playback, node->id); !label.empty()) {
                return label;
            }
        }
    }
    return std::string(default_route);
}

std::vector<std::string> AudioModel::route_choices(bool playback) const
{
    std::vector<std::string> labels{std::string(default_route)};
    for (const auto& choice : playback ? choices_.outputs : choices_.inputs) {
        labels.push_back(choice.name);
    }
    return labels;
}

std::vector<ProfileChoice> AudioModel::profile_choices(const sg::AudioDevice& device) const
{
    const auto labels = actions::catalogue::audio_profile_labels(device.profiles);
    std::vector<ProfileChoice> offered;
    for (std::size_t i = 0; i < device.profiles.size(); ++i) {
        if (device.profiles[i].available) {
            offered.push_back({.label = labels[i], .index = device.profiles[i].index});
        }
    }
    return offered;
}

}  // namespace settings::panes::audio
