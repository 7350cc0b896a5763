#include "sound_graph/runtime.hpp"

#include "cmd_runner/fake_runner.hpp"
#include "system_ops/test_tools.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace sound_graph::audio {
namespace {

using ::testing::ElementsAre;

std::uint32_t read_u32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

std::int16_t sample_at(const std::string& wav, std::size_t frame, int channel)
{
    const std::size_t at = 44 + frame * 4 + static_cast<std::size_t>(channel) * 2;
    return static_cast<std::int16_t>(static_cast<unsigned char>(wav[at]) | static_cast<unsigned char>(wav[at + 1]) << 8);
}

// The peak of one channel, 0 to 1.
float channel_peak(const std::string& wav, int channel)
{
    int peak = 0;
    for (std::size_t frame = 0; 44 + frame * 4 + 3 < wav.size(); ++frame) {
        peak = std::max(peak, std::abs(static_cast<int>(sample_at(wav, frame, channel))));
    }
    return static_cast<float>(peak) / 32768.0F;
}

TEST(SpeakerToneTest, AShortQuietToneOnOneChannelOnly)
{
    for (const bool left : {true, false}) {
        const std::string wav = speaker_test_wav(left);
        ASSERT_GT(wav.size(), 44U);
        EXPECT_EQ(wav.substr(0, 4), "RIFF");
        EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(read_u32(wav, 4), wav.size() - 8);
        EXPECT_EQ(read_u32(wav, 24), 48000U);
        EXPECT_EQ(read_u32(wav, 40), wav.size() - 44);
        const double seconds = static_cast<double>(wav.size() - 44) / (48000.0 * 4);
        EXPECT_GT(seconds, 0.3);
        EXPECT_LT(seconds, 2.0);
        const int sounding = left ? 0 : 1;
        EXPECT_EQ(channel_peak(wav, 1 - sounding), 0.0F) << "left " << left;
        EXPECT_GT(channel_peak(wav, sounding), 0.05F);
        EXPECT_LT(channel_peak(wav, sounding), 0.3F);
        // Soft edges: no click at the start or the end.
        EXPECT_EQ(sample_at(wav, 0, sounding), 0);
        const std::size_t last = (wav.size() - 44) / 4 - 1;
        EXPECT_LT(std::abs(sample_at(wav, last, sounding)), 50);
    }
}

std::string samples(std::initializer_list<std::int16_t> values, std::size_t repeat)
{
    std::string bytes;
    for (std::size_t i = 0; i < repeat; ++i) {
        for (const std::int16_t value : values) {
            const auto bits = static_cast<std::uint16_t>(value);
            bytes.push_back(static_cast<char>(bits & 0xFF));
            bytes.push_back(static_cast<char>(bits >> 8));
        }
    }
    return bytes;
}

TEST(LevelReaderTest, ThePeakOfEachTenthOfASecond)
{
    LevelReader reader;
    const std::string loud = samples({100, -16384, 200}, LevelReader::window / 3);
    // Fed in odd-sized pieces, so samples are split between pieces.
    for (std::size_t at = 0; at < loud.size(); at += 7) {
        EXPECT_EQ(reader.level(), 0.0F);  // nothing until the first window is complete
        reader.feed(std::string_view(loud).substr(at, 7));
    }
    EXPECT_FLOAT_EQ(reader.level(), 0.5F);
    reader.feed(samples({-32768}, 1));
    reader.feed(samples({0}, LevelReader::window - 1));
    EXPECT_FLOAT_EQ(reader.level(), 1.0F);
    reader.feed(samples({0}, LevelReader::window));
    EXPECT_FLOAT_EQ(reader.level(), 0.0F);  // silence reads as silence again
}

TEST(RealRuntimeTest, ToneAndMeterGoThroughPwPlayAndPwRecord)
{
    auto runner = std::make_shared<cmd_runner::FakeRunner>([](const cmd_runner::Command& command) {
        if (command.program == "pw-record" && command.on_stdout) {
            command.on_stdout(samples({8192}, LevelReader::window));
        }
        return cmd_runner::FakeRunner::exited(0);
    });
    RealAudioRuntime runtime(runner);
    auto test = runtime.start_channel_test("alsa_output.pci-0000_00_1f.3.analog-stereo", false);
    ASSERT_TRUE(test.has_value()) << test.error();
    EXPECT_FALSE((*test)->running());  // the fake player has already finished
    auto meter = runtime.start_microphone_meter("alsa_input.usb-mic", std::chrono::seconds(8));
    ASSERT_TRUE(meter.has_value()) << meter.error();
    EXPECT_FLOAT_EQ((*meter)->level(), 0.25F);

    const auto calls = runner->calls();
    ASSERT_EQ(calls.size(), 2U);
    EXPECT_EQ(calls[0].program, "pw-play");
    EXPECT_THAT(calls[0].args, ElementsAre("--target", "alsa_output.pci-0000_00_1f.3.analog-stereo", "--media-role",
                                           "Test", "-P", "{ node.name = \"vorn-settings-speaker-test\" }", "-"));
    EXPECT_EQ(calls[0].input, speaker_test_wav(false));  // the tone goes through standard input, no file
    EXPECT_EQ(calls[0].time_limit, RealAudioRuntime::tone_time_limit);
    EXPECT_EQ(calls[1].program, "pw-record");
    EXPECT_THAT(calls[1].args, ElementsAre("--target", "alsa_input.usb-mic", "--media-role", "Test", "--rate", "48000",
                                           "--channels", "1", "--format", "s16", "-P",
                                           "{ node.name = \"vorn-settings-level-meter\" }", "-"));
    EXPECT_EQ(calls[1].time_limit, std::chrono::seconds(8));

    // Nothing to address, nothing to run.
    EXPECT_EQ(runtime.start_channel_test("", true).error(), "the speaker has no PipeWire name");
    EXPECT_EQ(runtime.start_microphone_meter("", std::chrono::seconds(8)).error(), "the microphone has no PipeWire name");
    EXPECT_EQ(runner->calls().size(), 2U);
    // Nothing in a plain PipeWire session applies balance or mono output; it says so instead of claiming success.
    EXPECT_EQ(runtime.set_balance(0.3F).error(), "this desktop session does not apply output balance");
    EXPECT_EQ(runtime.start_mono(true).error(), "this desktop session does not apply mono output");
}

class RuntimeToolsTest : public system_ops::testing::FakeTools {};

TEST_F(RuntimeToolsTest, CapabilitiesFollowTheInstalledTools)
{
    ::setenv("PATH", (dir_ / "bin").c_str(), 1);
    RealAudioRuntime runtime;
    EXPECT_EQ(runtime.capabilities(), AudioCapabilities{});
    EXPECT_EQ(runtime.start_channel_test("speakers", true).error(), "pw-play not found");
    tool("pw-play", {{.args = "*"}});
    tool("pw-record", {{.args = "*"}});
    EXPECT_EQ(runtime.capabilities(), (AudioCapabilities{.channel_test = true, .microphone_meter = true}));
}

}  // namespace
}  // namespace sound_graph::audio
