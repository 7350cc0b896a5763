#pragma once
// The audio runtime of the desktop session: output balance and mono output, the speaker channel test and the
// microphone level meter.
//
// The channel test plays a short, quiet tone on one channel of a sink with pw-play; the meter reads a source with
// pw-record and keeps only a level (the peak of the last tenth of a second), never the samples. Both run through
// the bounded command runner and are owned handles: dropping one stops its program and has it reaped, without
// waiting. Their streams carry the media role "Test", which the enumerator leaves out of the user's streams.
//
// All operations may be called from any thread; handles may be polled from any thread.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace sound_graph::audio {

using system_ops::Result;
using system_ops::Status;

// What this session can do. The Sound page shows balance, mono, the speaker test and the meter only when set.
struct AudioCapabilities {
    bool balance = false;
    bool mono = false;
    bool channel_test = false;
    bool microphone_meter = false;

    friend bool operator==(const AudioCapabilities&, const AudioCapabilities&) = default;
};

// A running speaker test. Dropping it stops the tone.
class ChannelTest {
public:
    virtual ~ChannelTest() = default;
    [[nodiscard]] virtual bool running() = 0;
};

// A running level meter. Dropping it stops the meter.
class MicrophoneMeter {
public:
    virtual ~MicrophoneMeter() = default;
    [[nodiscard]] virtual bool running() = 0;
    // The level heard last, 0 to 1.
    [[nodiscard]] virtual float level() = 0;
};

class AudioRuntimeControl {
public:
    virtual ~AudioRuntimeControl() = default;
    [[nodiscard]] virtual AudioCapabilities capabilities() = 0;
    // Left/right balance of the output, 0 (left) to 1 (right); an error when the session cannot apply it.
    [[nodiscard]] virtual Status set_balance(float balance) = 0;
    // Mono output on or off for this session; an error when the session cannot apply it.
    [[nodiscard]] virtual Status start_mono(bool enabled) = 0;
    // Plays the tone on the left (or right) channel of the sink with this node name.
    [[nodiscard]] virtual Result<std::unique_ptr<ChannelTest>> start_channel_test(std::string_view sink_node_name,
                                                                                  bool left) = 0;
    // Meters the source with this node name for `duration`.
    [[nodiscard]] virtual Result<std::unique_ptr<MicrophoneMeter>> start_microphone_meter(
        std::string_view source_node_name, std::chrono::seconds duration) = 0;
};

// The runtime of a plain PipeWire session: the channel test with pw-play and the meter with pw-record, when they
// are installed. Nothing in such a session applies balance or mono output, so those are not offered.
class RealAudioRuntime final : public AudioRuntimeControl {
public:
    // The longest a test tone may take to play before it is stopped.
    static constexpr std::chrono::seconds tone_time_limit{5};

    explicit RealAudioRuntime(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());

    AudioCapabilities capabilities() override;
    Status set_balance(float balance) override;
    Status start_mono(bool enabled) override;
    Result<std::unique_ptr<ChannelTest>> start_channel_test(std::string_view sink_node_name, bool left) override;
    Result<std::unique_ptr<MicrophoneMeter>> start_microphone_meter(std::string_view source_node_name,
                                                                    std::chrono::seconds duration) override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
};

// The speaker test tone: a WAV file (48 kHz, two 16-bit channels) of a short, quiet sine with soft edges, on the
// left or the right channel only; the other channel is silent.
[[nodiscard]] std::string speaker_test_wav(bool left);

// Turns the 16-bit little-endian mono samples a recorder prints into a level: the peak of each tenth of a second,
// 0 to 1. Feed it pieces of any size (a sample may be split between two pieces).
class LevelReader {
public:
    static constexpr std::size_t window = 4800;  // samples: a tenth of a second at 48 kHz

    void feed(std::string_view bytes);
    // The peak of the last complete window; 0 before the first.
    [[nodiscard]] float level() const { return level_; }

private:
    float level_ = 0.0F;
    int peak_ = 0;
    std::size_t samples_ = 0;
    bool has_low_byte_ = false;
    unsigned char low_byte_ = 0;
};

}  // namespace sound_graph::audio
