#pragma once
// What the Sound page shows and does, apart from its widgets: the output and input devices, output volume and mute,
// balance and mono output, the input level, the speaker test and microphone meter, the profiles of sound cards and
// the playback and recording streams with their routes, volumes and mutes.
//
// The model keeps the page's control values in a page document under the keys below and acts on what changed,
// whether a control changed it or an operation of kind "settings.audio-operation" did. It never calls a system
// tool on the UI thread: every wpctl, pw-dump and pw-metadata call is a job on an AudioWorker, and its answer is
// taken by a later sync (which the worker wakes). The graph is read once when the page opens and then every 1.5 s.
//
// Operations. With the application's cells attached, the model takes an audio request from the request cell,
// writes it into its own document and answers it in the status cell with Done or Failed and a sentence, matched by
// the whole request text. Every request it takes is answered: a value already in effect is Done ("Output volume is
// already 40%."), a device or stream the graph no longer has is Failed with the runner's words, and levels are
// compared as the f64 they were sent as. Without cells (a page on its own, tests) it acts on every document change.
//
// Devices and streams are named by id. Choice labels are the contract's (display names, repeats told apart as
// "Name (2)"), so a label names one device; the settings file keeps the chosen devices' node names. A preferred
// device is made the default again when it appears while the page is open, not whenever the page opens.
//
//   AudioModel model(AudioBackends::system(), start_audio_worker(), prefs::load_settings_file().audio);
//   model.attach_operation_requests(app_requests);
//   model.attach_operation_status(app_status);
//   ... every sync on the UI thread: model.sync(doc, std::chrono::steady_clock::now());
//   ... if (model.take_structure_dirty()) rebuild the view from the accessors below.

#include "actions/payloads/audio.hpp"
#include "operations/cells.hpp"
#include "page_doc/page_doc.hpp"
#include "panes/audio/audio_worker.hpp"
#include "prefs/records.hpp"
#include "sound_graph/audio.hpp"
#include "sound_graph/runtime.hpp"
#include "sound_graph/wpctl.hpp"
#include "system_ops/audio.hpp"
#include "system_ops/dispatcher.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::audio {

namespace sg = sound_graph::audio;
using actions::AudioOperation;

// ---- Document keys -------------------------------------------------------------------------------------------------

inline constexpr std::string_view volume_key = "audio.volume";              // f64 0..1
inline constexpr std::string_view muted_key = "audio.muted";                // bool
inline constexpr std::string_view balance_key = "audio.balance";            // f64 0..1
inline constexpr std::string_view mono_key = "audio.mono";                  // bool
inline constexpr std::string_view input_volume_key = "audio.input_volume";  // f64 0..1
inline constexpr std::string_view output_device_key = "audio.output_device";  // text: an output's label
inline constexpr std::string_view input_device_key = "audio.input_device";    // text: an input's label
// Triggers: set to true by a button's action, reset by the sync that acts on them.
inline constexpr std::string_view advanced_key = "audio.advanced";  // opens or closes the speaker test row
inline constexpr std::string_view test_left_key = "audio.test.left";
inline constexpr std::string_view test_right_key = "audio.test.right";
inline constexpr std::string_view mic_test_key = "audio.mic_test";

[[nodiscard]] std::string stream_sink_id(std::uint32_t stream_id);    // "audio.stream.{id}.sink": a route label
[[nodiscard]] std::string stream_volume_id(std::uint32_t stream_id);  // "audio.stream.{id}.volume"
[[nodiscard]] std::string stream_muted_id(std::uint32_t stream_id);   // "audio.stream.{id}.muted"
[[nodiscard]] std::string device_profile_id(std::uint32_t device_id);  // "audio.device.{id}.profile": a label

// The route of a stream that follows the default device.
inline constexpr std::string_view default_route = "Default";
inline constexpr std::chrono::milliseconds refresh_interval{1500};
inline constexpr std::chrono::seconds meter_duration{8};
// A level must move by more than this to count as a change.
inline constexpr double level_tolerance = 0.001;

// The page's backends. All are shared and stateless and are only ever called from the worker thread.
struct AudioBackends {
    std::shared_ptr<system_ops::Dispatcher> dispatcher;               // output volume and mute
    std::shared_ptr<system_ops::audio::AudioControl> output;          // reading the output volume and mute
    std::shared_ptr<sg::SourceVolumeControl> source_volume;           // the input level
    std::shared_ptr<sg::DefaultDeviceControl> default_device;         // choosing the default output and input
    std::shared_ptr<sg::GraphControl> graph_control;                  // streams, profiles, preferred devices
    std::shared_ptr<sg::AudioEnumerator> enumerator;                  // the graph
    std::shared_ptr<sg::AudioRuntimeControl> runtime;                 // balance, mono, speaker test, meter

    // The machine's own: wpctl, pw-dump, pw-metadata, pw-play and pw-record.
    [[nodiscard]] static AudioBackends system();
};

// A profile the page offers for a sound card.
struct ProfileChoice {
    std::string label;
    std::uint32_t index = 0;
    friend bool operator==(const ProfileChoice&, const ProfileChoice&) = default;
};

// The outputs and inputs of a graph, in graph order, labelled as the contract labels them.
[[nodiscard]] sg::DeviceChoices choices_from_graph(const sg::AudioGraph& graph);

class AudioModel {
public:
    using Clock = std::chrono::steady_clock;

    AudioModel(AudioBackends backends, std::shared_ptr<AudioWorker> worker, prefs::AudioPrefs prefs);
    // A request still waiting for its answer is failed: the page can no longer confirm it.
    ~AudioModel();
    AudioModel(const AudioModel&) = delete;
    AudioModel& operator=(const AudioModel&) = delete;

    // Takes operation requests from the application's cell; the model then works on its own document.
    void attach_operation_requests(operations::OperationRequestCell requests);
    // Answers operations in the application's status cell; the model then changes only what the running audio
    // operation asks for and writes every other change back.
    void attach_operation_status(operations::OperationStatusCell status);

    // One pass on the UI thread: takes the worker's answers, polls the speaker test and the meter, reads the graph
    // again when 1.5 s have passed, takes a request and performs what changed in the document. `doc` is the
    // toolkit's document (unused while requests are attached).
    void sync(page_doc::Document& doc, Clock::time_point now);

    // Whether the view must be rebuilt (a notice, a test or meter change, a new graph); clears the flag.
    bool take_structure_dirty();

    // ---- What the view shows
    // False until the first reading of the machine has arrived.
    [[nodiscard]] bool loaded() const { return loaded_; }
    [[nodiscard]] const sg::DeviceChoices& choices() const { return choices_; }
    [[nodiscard]] const sg::AudioGraph& graph() const { return graph_; }
    [[nodiscard]] const sg::AudioCapabilities& capabilities() const { return capabilities_; }
    [[nodiscard]] const std::optional<std::string>& status_line() const { return status_line_; }
    [[nodiscard]] double output_volume() const { return applied_volume_; }
    [[nodiscard]] bool muted() const { return muted_; }
    [[nodiscard]] double input_level() const { return applied_input_; }
    [[nodiscard]] double balance() const { return balance_; }
    [[nodiscard]] bool mono() const { return mono_; }
    [[nodiscard]] bool diagnostics_shown() const { return diagnostics_shown_; }
    [[nodiscard]] bool speaker_test_running() const { return speaker_test_ != nullptr; }
    [[nodiscard]] bool meter_running() const { return meter_ != nullptr; }
    [[nodiscard]] float meter_level() const { return meter_level_; }
    [[nodiscard]] const prefs::AudioPrefs& prefs() const { return prefs_; }
    // The model's own document (where requests are written while they are attached).
    [[nodiscard]] const page_doc::Document& document() const { return own_doc_; }
    // The document the page's controls follow: the model's own while requests are attached, else the toolkit's.
    [[nodiscard]] page_doc::Document& working_document(page_doc::Document& toolkit)
    {
        return requests_ ? own_doc_ : toolkit;
    }
    // When the next sync reads the graph again (none before the first reading and while a reading is on its way,
    // whose answer wakes the page).
    [[nodiscard]] std::optional<Clock::time_point> next_refresh() const;

    // The label of a stream's route: the device it is pinned to when that is not the default, else "Default".
    [[nodiscard]] std::string route_label(const sg::AudioStream& stream) const;
    // "Default", then the outputs' (playback) or inputs' labels.
    [[nodiscard]] std::vector<std::string> route_choices(bool playback) const;
    // The available profiles of a sound card with their labels.
    [[nodiscard]] std::vector<ProfileChoice> profile_choices(const sg::AudioDevice& device) const;

private:
    struct ActiveRequest {
        std::string key;
        AudioOperation operation;
        bool handled = false;  // a handler performed (or is performing) it
    };
    struct Mailbox;
    struct Reading;
    // One change of the machine made on the worker, and what its answer does.
    struct Change {
        std::string doc_key;                    // the key whose change this is; in flight until answered
        std::function<sg::Status()> call;       // on the worker
        std::string done_text;                  // the outcome on success
        std::string status_prefix;              // the status line on failure, before the error ("" keeps it)
        std::string failure_prefix;             // the outcome on failure, before the error
        std::string_view log_op;
        std::string_view log_message;
        std::function<void(AudioModel&)> applied;                     // on success
        std::function<void(AudioModel&, page_doc::Document&)> restore;  // on failure: the control snaps back
    };

    // Jobs and their answers.
    template <class Result>
    void run_job(std::string doc_key, std::function<Result()> call,
                 std::function<void(AudioModel&, page_doc::Document&, Result)> done);
    void perform(std::string key, Change change);
    void take_answers(page_doc::Document& doc);
    void post_load();
    void apply_reading(const Reading& reading);
    void post_refresh();
    void apply_graph(page_doc::Document& doc, sg::AudioGraph next);
    void restore_preferred(const sg::AudioGraph& previous);

    // Requests and outcomes.
    void take_request(page_doc::Document& doc);
    [[nodiscard]] std::optional<std::string> refusal(const AudioOperation& operation) const;
    void write_request(page_doc::Document& doc, const AudioOperation& operation);
    [[nodiscard]] std::optional<std::string> may_run(const AudioOperation& operation);
    void finish(const std::string& key, const std::expected<std::string, std::string>& outcome);
    void answer_unchanged_request();
    [[nodiscard]] std::string unchanged_sentence(const AudioOperation& operation) const;
    [[nodiscard]] bool handlers_may_run() const;

    // Seeding and handlers.
    void seed(page_doc::Document& doc);
    void seed_streams_and_devices(page_doc::Document& doc);
    void poll_test_and_meter();
    void run_handlers(page_doc::Document& doc);
    void handle_levels(page_doc::Document& doc);
    void handle_balance_and_mono(page_doc::Document& doc);
    void handle_diagnostics(page_doc::Document& doc);
    void handle_default_devices(page_doc::Document& doc);
    void handle_streams(page_doc::Document& doc);
    void handle_profiles(page_doc::Document& doc);
    void report_failure(std::string_view op, std::string_view log_message, const std::string& error);
    std::expected<void, std::string> save_prefs(const std::function<void(prefs::AudioPrefs&)>& change);
    void set_default_in_graph(bool output, std::uint32_t id);
    void relabel(page_doc::Document& doc);

    [[nodiscard]] const sg::DeviceChoice* choice_by_label(bool output, std::string_view label) const;
    [[nodiscard]] const sg::DeviceChoice* choice_by_id(bool output, std::uint32_t id) const;
    [[nodiscard]] const sg::AudioNode* node_by_label(bool output, std::string_view label) const;
    [[nodiscard]] std::string label_of(bool output, std::uint32_t id) const;

    AudioBackends backends_;
    std::shared_ptr<AudioWorker> worker_;
    std::shared_ptr<Mailbox> mailbox_;
    prefs::AudioPrefs prefs_;
    page_doc::Document own_doc_;
    std::optional<operations::OperationRequestCell> requests_;
    std::optional<operations::OperationStatusCell> status_;

    bool load_posted_ = false;
    bool loaded_ = false;
    sg::DeviceChoices choices_;
    sg::AudioGraph graph_;
    sg::AudioCapabilities capabilities_;
    std::optional<std::string> status_line_;
    Clock::time_point now_{};
    Clock::time_point last_enumeration_{};
    bool enumeration_in_flight_ = false;
    bool enumeration_failing_ = false;

    std::set<std::uint32_t> seeded_streams_;
    std::map<std::uint32_t, std::string> stream_routes_;
    std::map<std::uint32_t, double> stream_volumes_;
    std::map<std::uint32_t, bool> stream_mutes_;
    std::set<std::uint32_t> seeded_devices_;
    std::map<std::uint32_t, std::string> device_profiles_;

    std::unique_ptr<sg::ChannelTest> speaker_test_;
    std::unique_ptr<sg::MicrophoneMeter> meter_;
    float meter_level_ = 0.0F;
    double applied_volume_ = 0.5;
    double applied_input_ = 0.75;
    double balance_ = 0.5;
    bool mono_ = false;
    bool muted_ = false;
    std::string applied_output_label_;
    std::string applied_input_label_;
    bool diagnostics_shown_ = false;
    bool structure_dirty_ = false;
    bool seed_document_ = false;

    std::set<std::string> in_flight_;  // document keys whose change is on the worker
    std::optional<ActiveRequest> active_;
};

}  // namespace settings::panes::audio
