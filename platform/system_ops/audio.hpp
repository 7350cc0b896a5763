#pragma once
// Output volume and mute of the default audio output, through PipeWire's `wpctl`. The sound graph itself (devices,
// streams, routing) is the sound_graph component.
//
// The free functions forward to the current AudioControl (see current.hpp); the real one is WpctlAudio.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

namespace system_ops::audio {

struct VolumeState {
    float volume = 0.0F;  // 0 to 1 (wpctl's cubic scale, as sliders show it)
    bool muted = false;

    friend bool operator==(const VolumeState&, const VolumeState&) = default;
};

class AudioControl {
public:
    virtual ~AudioControl() = default;
    [[nodiscard]] virtual Result<VolumeState> get_volume_state() = 0;
    // percent is clamped to 0..100.
    [[nodiscard]] virtual Status set_volume(float percent) = 0;
    [[nodiscard]] virtual Status set_mute(bool muted) = 0;
    [[nodiscard]] virtual Status toggle_mute() = 0;
};

[[nodiscard]] std::shared_ptr<AudioControl> current();
std::shared_ptr<AudioControl> replace_current(std::shared_ptr<AudioControl> control);

[[nodiscard]] Result<VolumeState> get_volume_state();
[[nodiscard]] Status set_volume(float percent);
[[nodiscard]] Status set_mute(bool muted);
[[nodiscard]] Status toggle_mute();

// Parses "Volume: 0.42 [MUTED]" (the output of `wpctl get-volume`); the level is clamped to 0..1. Anything else,
// including no output at all (what wpctl prints, with exit status 0, for a node that does not exist), is an error
// that names `device`.
[[nodiscard]] Result<VolumeState> parse_get_volume(std::string_view text,
                                                   std::string_view device = "the default output");
// A wpctl level: the percentage clamped to 0..100, as a fraction with two decimals ("0.75", "1.00"); NaN gives 0.
[[nodiscard]] std::string wpctl_level(float percent);

// ---- The real backend ----------------------------------------------------------------------------------------------

class WpctlAudio final : public AudioControl {
public:
    static constexpr std::chrono::seconds time_limit{5};

    explicit WpctlAudio(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());

    Result<VolumeState> get_volume_state() override;
    Status set_volume(float percent) override;
    Status set_mute(bool muted) override;
    Status toggle_mute() override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
};

// Runs wpctl with the given arguments: success on exit status 0; otherwise "wpctl control failed: " and the
// runner's sentence when it could not run, or the cleaned standard error (512 characters at most) when it failed.
[[nodiscard]] Result<std::string> run_wpctl(cmd_runner::Runner& runner, std::vector<std::string> args);

// ---- The fake ------------------------------------------------------------------------------------------------------

class FakeAudio final : public AudioControl {
public:
    struct State {
        Result<VolumeState> volume = VolumeState{.volume = 0.5F};
        std::optional<std::string> failure;  // every change fails with this text when set
        std::vector<float> volumes_set;      // percentages, in order
        std::vector<bool> mutes_set;
    };

    FakeAudio() = default;
    explicit FakeAudio(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    void set_state(State state);

    Result<VolumeState> get_volume_state() override;
    Status set_volume(float percent) override;
    Status set_mute(bool muted) override;
    Status toggle_mute() override;

private:
    mutable std::mutex mutex_;
    State state_;
};

}  // namespace system_ops::audio
