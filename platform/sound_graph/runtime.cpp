#include "sound_graph/runtime.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <numbers>

namespace sound_graph::audio {

namespace {

constexpr std::uint32_t sample_rate = 48000;
constexpr double tone_seconds = 0.8;
constexpr double tone_hz = 440.0;
constexpr double tone_amplitude = 0.2;  // about -14 dBFS: clearly audible, never loud
constexpr double fade_seconds = 0.04;

void put_u16(std::string& out, std::uint16_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void put_u32(std::string& out, std::uint32_t value)
{
    put_u16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    put_u16(out, static_cast<std::uint16_t>(value >> 16));
}

class PlayingTone final : public ChannelTest {
public:
    explicit PlayingTone(cmd_runner::AsyncCommand command) : command_(std::move(command)) {}
    bool running() override { return !command_.try_wait().has_value(); }

private:
    cmd_runner::AsyncCommand command_;  // dropping it stops pw-play and reaps it
};

struct MeterState {
    std::mutex mutex;
    LevelReader reader;
    std::atomic<float> level{0.0F};
};

class RecordingMeter final : public MicrophoneMeter {
public:
    RecordingMeter(cmd_runner::AsyncCommand command, std::shared_ptr<MeterState> state)
        : command_(std::move(command)), state_(std::move(state))
    {
    }
    bool running() override { return !command_.try_wait().has_value(); }
    float level() override { return state_->level.load(std::memory_order_relaxed); }

private:
    cmd_runner::AsyncCommand command_;  // dropping it stops pw-record and reaps it
    std::shared_ptr<MeterState> state_;
};

Status unsupported(std::string_view what)
{
    return std::unexpected(fmt::format("this desktop session does not apply {}", what));
}

}  // namespace

std::string speaker_test_wav(bool left)
{
    const auto frames = static_cast<std::uint32_t>(tone_seconds * sample_rate);
    const std::uint32_t data_bytes = frames * 2 * 2;
    std::string wav;
    wav.reserve(44 + data_bytes);
    wav += "RIFF";
    put_u32(wav, 36 + data_bytes);
    wav += "WAVEfmt ";
    put_u32(wav, 16);
    put_u16(wav, 1);  // PCM
    put_u16(wav, 2);  // channels
    put_u32(wav, sample_rate);
    put_u32(wav, sample_rate * 4);  // bytes per second
    put_u16(wav, 4);                // bytes per frame
    put_u16(wav, 16);               // bits per sample
    wav += "data";
    put_u32(wav, data_bytes);
    const double fade_frames = fade_seconds * sample_rate;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double edge = std::min<double>(i, frames - 1 - i);
        const double envelope =
            edge >= fade_frames ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * edge / fade_frames);
        const double value = tone_amplitude * envelope * std::sin(2.0 * std::numbers::pi * tone_hz * i / sample_rate);
        const auto sample = static_cast<std::int16_t>(std::lround(value * 32767.0));
        const auto bits = static_cast<std::uint16_t>(sample);
        put_u16(wav, left ? bits : 0);
        put_u16(wav, left ? 0 : bits);
    }
    return wav;
}

void LevelReader::feed(std::string_view bytes)
{
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (!has_low_byte_) {
            low_byte_ = value;
            has_low_byte_ = true;
            continue;
        }
        has_low_byte_ = false;
        const auto sample = static_cast<std::int16_t>(static_cast<std::uint16_t>(low_byte_ | (value << 8)));
        peak_ = std::max(peak_, std::abs(static_cast<int>(sample)));
        if (++samples_ == window) {
            level_ = std::min(1.0F, static_cast<float>(peak_) / 32768.0F);
            peak_ = 0;
            samples_ = 0;
        }
    }
}

RealAudioRuntime::RealAudioRuntime(std::shared_ptr<cmd_runner::Runner> runner) : runner_(std::move(runner)) {}

AudioCapabilities RealAudioRuntime::capabilities()
{
    return {.balance = false,
            .mono = false,
            .channel_test = cmd_runner::program_available("pw-play"),
            .microphone_meter = cmd_runner::program_available("pw-record")};
}

Status RealAudioRuntime::set_balance(float)
{
    return unsupported("output balance");
}

Status RealAudioRuntime::start_mono(bool)
{
    return unsupported("mono output");
}

Result<std::unique_ptr<ChannelTest>> RealAudioRuntime::start_channel_test(std::string_view sink_node_name, bool left)
{
    if (sink_node_name.empty()) {
        return std::unexpected(std::string("the speaker has no PipeWire name"));
    }
    auto command = runner_->spawn_prepared(
        {.program = "pw-play",
         .args = {"--target", std::string(sink_node_name), "--media-role", "Test", "-P",
                  "{ node.name = \"vorn-settings-speaker-test\" }", "-"},
         .input = speaker_test_wav(left),
         .time_limit = tone_time_limit});
    if (!command) {
        return std::unexpected(command.error().message);
    }
    return std::make_unique<PlayingTone>(std::move(*command));
}

Result<std::unique_ptr<MicrophoneMeter>> RealAudioRuntime::start_microphone_meter(std::string_view source_node_name,
                                                                                  std::chrono::seconds duration)
{
    if (source_node_name.empty()) {
        return std::unexpected(std::string("the microphone has no PipeWire name"));
    }
    if (duration <= std::chrono::seconds::zero()) {
        return std::unexpected(std::string("a level test needs a duration"));
    }
    auto state = std::make_shared<MeterState>();
    auto command = runner_->spawn_prepared(
        {.program = "pw-record",
         .args = {"--target", std::string(source_node_name), "--media-role", "Test", "--rate",
                  std::to_string(sample_rate), "--channels", "1", "--format", "s16", "-P",
                  "{ node.name = \"vorn-settings-level-meter\" }", "-"},
         .time_limit = duration,
         // Runs on the runner's thread: only the level leaves it, the samples are dropped at once.
         .on_stdout = [state](std::string_view samples) {
             const std::lock_guard lock(state->mutex);
             state->reader.feed(samples);
             state->level.store(state->reader.level(), std::memory_order_relaxed);
         }});
    if (!command) {
        return std::unexpected(command.error().message);
    }
    return std::make_unique<RecordingMeter>(std::move(*command), std::move(state));
}

}  // namespace sound_graph::audio
