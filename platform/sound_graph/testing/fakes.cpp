#include "sound_graph/testing/fakes.hpp"

#include <fmt/format.h>

namespace sound_graph::testing {

namespace {

class FakeTest final : public audio::ChannelTest {
public:
    explicit FakeTest(std::shared_ptr<FakeHandle> handle) : handle_(std::move(handle)) {}
    ~FakeTest() override { handle_->dropped = true; }
    bool running() override { return handle_->running; }

private:
    std::shared_ptr<FakeHandle> handle_;
};

class FakeMeter final : public audio::MicrophoneMeter {
public:
    explicit FakeMeter(std::shared_ptr<FakeHandle> handle) : handle_(std::move(handle)) {}
    ~FakeMeter() override { handle_->dropped = true; }
    bool running() override { return handle_->running; }
    float level() override { return handle_->level; }

private:
    std::shared_ptr<FakeHandle> handle_;
};

}  // namespace

// ---- FakeDefaultDevice

void FakeDefaultDevice::set_devices(Result<audio::DeviceChoices> devices)
{
    const std::lock_guard lock(mutex_);
    devices_ = std::move(devices);
}

void FakeDefaultDevice::set_failure(std::optional<std::string> failure)
{
    const std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
}

std::vector<std::uint32_t> FakeDefaultDevice::defaults_set() const
{
    const std::lock_guard lock(mutex_);
    return defaults_set_;
}

Result<audio::DeviceChoices> FakeDefaultDevice::list_devices()
{
    const std::lock_guard lock(mutex_);
    return devices_;
}

Status FakeDefaultDevice::set_default(std::uint32_t node_id)
{
    const std::lock_guard lock(mutex_);
    defaults_set_.push_back(node_id);
    if (failure_) {
        return std::unexpected(*failure_);
    }
    return {};
}

// ---- FakeSourceVolume

void FakeSourceVolume::set_state(Result<system_ops::audio::VolumeState> state)
{
    const std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

void FakeSourceVolume::set_failure(std::optional<std::string> failure)
{
    const std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
}

std::vector<float> FakeSourceVolume::volumes_set() const
{
    const std::lock_guard lock(mutex_);
    return volumes_set_;
}

Result<system_ops::audio::VolumeState> FakeSourceVolume::get_volume_state()
{
    const std::lock_guard lock(mutex_);
    return state_;
}

Status FakeSourceVolume::set_volume(float percent)
{
    const std::lock_guard lock(mutex_);
    volumes_set_.push_back(percent);
    if (failure_) {
        return std::unexpected(*failure_);
    }
    if (state_) {
        state_->volume = std::clamp(percent, 0.0F, 100.0F) / 100.0F;
    }
    return {};
}

// ---- FakeAudioRuntime

FakeAudioRuntime::FakeAudioRuntime(audio::AudioCapabilities capabilities) : capabilities_(capabilities) {}

void FakeAudioRuntime::set_failures(Failures failures)
{
    const std::lock_guard lock(mutex_);
    failures_ = std::move(failures);
}

std::vector<std::string> FakeAudioRuntime::calls() const
{
    const std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::shared_ptr<FakeHandle>> FakeAudioRuntime::tests() const
{
    const std::lock_guard lock(mutex_);
    return tests_;
}

std::vector<std::shared_ptr<FakeHandle>> FakeAudioRuntime::meters() const
{
    const std::lock_guard lock(mutex_);
    return meters_;
}

audio::AudioCapabilities FakeAudioRuntime::capabilities()
{
    const std::lock_guard lock(mutex_);
    return capabilities_;
}

Status FakeAudioRuntime::set_balance(float balance)
{
    const std::lock_guard lock(mutex_);
    calls_.push_back(fmt::format("set_balance {:.2f}", balance));
    if (failures_.balance) {
        return std::unexpected(*failures_.balance);
    }
    return {};
}

Status FakeAudioRuntime::start_mono(bool enabled)
{
    const std::lock_guard lock(mutex_);
    calls_.push_back(fmt::format("start_mono {}", enabled));
    if (failures_.mono) {
        return std::unexpected(*failures_.mono);
    }
    return {};
}

Result<std::unique_ptr<audio::ChannelTest>> FakeAudioRuntime::start_channel_test(std::string_view sink_node_name,
                                                                                 bool left)
{
    const std::lock_guard lock(mutex_);
    calls_.push_back(fmt::format("start_channel_test {} {}", sink_node_name, left ? "left" : "right"));
    if (failures_.channel_test) {
        return std::unexpected(*failures_.channel_test);
    }
    tests_.push_back(std::make_shared<FakeHandle>());
    return std::make_unique<FakeTest>(tests_.back());
}

Result<std::unique_ptr<audio::MicrophoneMeter>> FakeAudioRuntime::start_microphone_meter(
    std::string_view source_node_name, std::chrono::seconds duration)
{
    const std::lock_guard lock(mutex_);
    calls_.push_back(fmt::format("start_microphone_meter {} {}", source_node_name, duration.count()));
    if (failures_.meter) {
        return std::unexpected(*failures_.meter);
    }
    meters_.push_back(std::make_shared<FakeHandle>());
    return std::make_unique<FakeMeter>(meters_.back());
}

}  // namespace sound_graph::testing
