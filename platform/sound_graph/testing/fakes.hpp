#pragma once
// Fakes of the Sound page's wpctl controls and of the audio runtime, for page tests (linked by tests only). Each
// records what it was asked, answers from the state a test gives it, and may be used from any thread.

#include "sound_graph/runtime.hpp"
#include "sound_graph/wpctl.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sound_graph::testing {

using audio::Result;
using audio::Status;

class FakeDefaultDevice final : public audio::DefaultDeviceControl {
public:
    // list_devices answers `devices`; set_default fails with `failure` when set.
    void set_devices(Result<audio::DeviceChoices> devices);
    void set_failure(std::optional<std::string> failure);
    // The node ids given to set_default, in order.
    [[nodiscard]] std::vector<std::uint32_t> defaults_set() const;

    Result<audio::DeviceChoices> list_devices() override;
    Status set_default(std::uint32_t node_id) override;

private:
    mutable std::mutex mutex_;
    Result<audio::DeviceChoices> devices_ = audio::DeviceChoices{};
    std::optional<std::string> failure_;
    std::vector<std::uint32_t> defaults_set_;
};

class FakeSourceVolume final : public audio::SourceVolumeControl {
public:
    void set_state(Result<system_ops::audio::VolumeState> state);
    void set_failure(std::optional<std::string> failure);
    // The percentages given to set_volume, in order.
    [[nodiscard]] std::vector<float> volumes_set() const;

    Result<system_ops::audio::VolumeState> get_volume_state() override;
    Status set_volume(float percent) override;

private:
    mutable std::mutex mutex_;
    Result<system_ops::audio::VolumeState> state_ = system_ops::audio::VolumeState{.volume = 0.75F};
    std::optional<std::string> failure_;
    std::vector<float> volumes_set_;
};

// What a test sees of one handle the fake runtime gave out.
struct FakeHandle {
    std::atomic<bool> running{true};  // set to false to end the test or meter
    std::atomic<float> level{0.0F};   // the meter's level
    std::atomic<bool> dropped{false};  // the page let go of the handle
};

class FakeAudioRuntime final : public audio::AudioRuntimeControl {
public:
    struct Failures {
        std::optional<std::string> balance;
        std::optional<std::string> mono;
        std::optional<std::string> channel_test;
        std::optional<std::string> meter;
    };

    explicit FakeAudioRuntime(audio::AudioCapabilities capabilities = {.balance = true,
                                                                       .mono = true,
                                                                       .channel_test = true,
                                                                       .microphone_meter = true});
    void set_failures(Failures failures);
    // Every call as one line: "set_balance 0.25", "start_mono true", "start_channel_test test_sink_a left",
    // "start_microphone_meter test_source 8".
    [[nodiscard]] std::vector<std::string> calls() const;
    // The handles given out, oldest first.
    [[nodiscard]] std::vector<std::shared_ptr<FakeHandle>> tests() const;
    [[nodiscard]] std::vector<std::shared_ptr<FakeHandle>> meters() const;

    audio::AudioCapabilities capabilities() override;
    Status set_balance(float balance) override;
    Status start_mono(bool enabled) override;
    Result<std::unique_ptr<audio::ChannelTest>> start_channel_test(std::string_view sink_node_name,
                                                                   bool left) override;
    Result<std::unique_ptr<audio::MicrophoneMeter>> start_microphone_meter(std::string_view source_node_name,
                                                                           std::chrono::seconds duration) override;

private:
    mutable std::mutex mutex_;
    audio::AudioCapabilities capabilities_;
    Failures failures_;
    std::vector<std::string> calls_;
    std::vector<std::shared_ptr<FakeHandle>> tests_;
    std::vector<std::shared_ptr<FakeHandle>> meters_;
};

}  // namespace sound_graph::testing
