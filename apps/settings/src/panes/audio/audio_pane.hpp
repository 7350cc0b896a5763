#pragma once
// The Sound page's widget over the AudioModel: the cards "Output" (the device when there is a choice, volume, mute,
// and on a stereo output balance, mono audio and the speaker test), "Input" (the device, the input level and the
// microphone test), "Device capabilities" (sound card profiles and Bluetooth codecs, when there are any),
// "Applications" (what plays) and "Recording" (what records), each stream with its route, volume and mute.
//
// Every control follows its document key in the document the model works on (the page's own while it takes the
// application's requests) and is bound to its action of the Sound section or of the device or stream resource; a
// change reaches the model through that document (without the application's cells) or as the operation its action
// starts. The view is built once; the status sentence, the microphone's activity and button, the codecs and the
// stream titles change in place, and the view is built anew only when rows appear or go (devices or streams come
// and go, the speaker test row opens, a notice shows), the focused control then found again by its id.
//
// The graph is read on the model's worker, never on the UI thread: once when the page opens and every 1.5 s after,
// the page waking itself for it (and every 100 ms while a test or the meter runs, to follow them).
//
//   auto pane = AudioPane().with_operation_requests(app.requests).with_operation_status(app.status);

#include "operations/cells.hpp"
#include "panes/audio/audio_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::audio {

inline constexpr std::string_view loading_caption = "Loading…";
inline constexpr std::string_view mono_caption =
    "Combines left and right across this desktop session. The session restores the physical output when you turn "
    "it off.";
inline constexpr std::string_view speaker_test_caption =
    "Plays a short, quiet tone only on the selected channel. Tests stop automatically.";
inline constexpr std::string_view microphone_caption =
    "The test reads an eight-second level meter in memory. It never stores audio or routes the microphone to "
    "speakers.";
inline constexpr std::string_view no_playback_caption = "No applications are playing audio.";
inline constexpr std::string_view no_recording_caption = "No applications are recording.";

// Control ids.
inline constexpr std::string_view volume_control_id = "audio.volume";
inline constexpr std::string_view mute_control_id = "audio.mute";
inline constexpr std::string_view balance_control_id = "audio.balance";
inline constexpr std::string_view mono_control_id = "audio.mono";
inline constexpr std::string_view input_volume_control_id = "audio.input_volume";
inline constexpr std::string_view output_device_control_id = "audio.output_device";
inline constexpr std::string_view input_device_control_id = "audio.input_device";
inline constexpr std::string_view advanced_button_id = "settings.audio.advanced";
inline constexpr std::string_view test_left_button_id = "settings.audio.test.left";
inline constexpr std::string_view test_right_button_id = "settings.audio.test.right";
inline constexpr std::string_view mic_test_button_id = "settings.audio.mic_test";
// The texts the view changes in place.
inline constexpr std::string_view status_text_id = "audio.text.status";
inline constexpr std::string_view activity_text_id = "audio.text.activity";
[[nodiscard]] std::string profile_control_id(std::uint32_t device_id);  // "audio.profile.{id}"
[[nodiscard]] std::string stream_route_control_id(std::uint32_t stream_id);   // "audio.stream.{id}.sink.dd"
[[nodiscard]] std::string stream_volume_control_id(std::uint32_t stream_id);  // "audio.stream.{id}.volume.sl"
[[nodiscard]] std::string stream_muted_control_id(std::uint32_t stream_id);   // "audio.stream.{id}.muted.tg"

// "Input activity: 13%" while the meter runs (the level rounded half away from zero), else "Microphone test
// records no audio".
[[nodiscard]] std::string activity_text(bool meter_running, float level);

class AudioPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::audio::AudioPane", "AudioPane")
    using Clock = AudioModel::Clock;

    // The machine's backends on a worker thread of the page and the settings file's "audio" section.
    AudioPane();
    // Given backends, worker, preferences and clock (tests).
    AudioPane(AudioBackends backends, std::shared_ptr<AudioWorker> worker, prefs::AudioPrefs prefs,
              std::function<Clock::time_point()> clock = [] { return Clock::now(); });

    // The application's cells in place of the page's own.
    [[nodiscard]] AudioPane with_operation_requests(const operations::OperationRequestCell& cell) &&;
    [[nodiscard]] AudioPane with_operation_status(const operations::OperationStatusCell& cell) &&;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] std::optional<vorn_ui::Instant> next_wake_deadline() const override;

    [[nodiscard]] const AudioModel& model() const { return *model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    std::unique_ptr<AudioModel> model_;
    std::function<Clock::time_point()> clock_;
    Clock::time_point last_sync_{};
};

// The page as the pane factory builds it, taking the application's two cells.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_audio_pane(const operations::OperationRequestCell& requests,
                                                                const operations::OperationStatusCell& status);

}  // namespace settings::panes::audio
