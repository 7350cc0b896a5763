#include "setting_tables/labels.hpp"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace settings::setting_tables {
namespace {

std::string joined(std::span<const std::string_view> labels)
{
    std::string text;
    for (std::string_view label : labels) {
        text.append(text.empty() ? "" : ", ").append(label);
    }
    return text;
}

// One table seen through its two functions, so that every table gets the same checks.
struct Table {
    std::string name;
    ChoiceList contract;
    std::function<bool(std::string_view)> applies;                  // label -> a value (not none)
    std::function<std::optional<std::string>(std::string_view)> round_trip;  // label -> value -> label
};

template <class T>
std::function<std::optional<std::string>(std::string_view)> via(std::optional<T> (*from)(std::string_view),
                                                                 std::string_view (*to)(T))
{
    return [=](std::string_view label) -> std::optional<std::string> {
        const auto value = from(label);
        return value ? std::optional<std::string>(to(*value)) : std::nullopt;
    };
}

std::vector<Table> tables()
{
    const auto applies = [](auto from) { return [=](std::string_view label) { return from(label).has_value(); }; };
    return {
        {"text size", text_size_choices(), applies(text_scale_from_label), via(text_scale_from_label, text_scale_label)},
        {"ui scale", ui_scale_choices(), applies(ui_scale_from_label), via(ui_scale_from_label, ui_scale_label)},
        {"cursor size", cursor_size_choices(), applies(cursor_size_from_label),
         via(cursor_size_from_label, cursor_size_label)},
        {"colour filter", colour_filter_choices(), applies(color_filter_from_label),
         via(color_filter_from_label, color_filter_label)},
        {"magnifier", magnifier_choices(), applies(magnifier_zoom_from_label),
         via(magnifier_zoom_from_label, magnifier_label)},
        {"switch keys", switch_keys_choices(), applies(switch_key_pair_from_label),
         via(switch_key_pair_from_label, switch_key_pair_label)},
        {"switch scan", switch_scan_choices(), applies(switch_scan_from_label),
         via(switch_scan_from_label, switch_scan_label)},
        {"speech rate", speech_rate_choices(), applies(speech_rate_from_label),
         via(speech_rate_from_label, speech_rate_label)},
        {"speech voice", speech_voice_choices(), applies(screen_reader_voice_from_label),
         via(screen_reader_voice_from_label, screen_reader_voice_label)},
    };
}

TEST(ChoiceTables, EveryPublishedChoiceIsOneThePageApplies)
{
    for (const Table& table : tables()) {
        SCOPED_TRACE(table.name);
        ASSERT_FALSE(table.contract.choices.empty());
        for (std::string_view label : table.contract.choices) {
            EXPECT_TRUE(table.applies(label)) << label;
            EXPECT_EQ(table.round_trip(label), std::string(label));  // label -> value -> the same label
        }
        EXPECT_EQ(table.contract.hint, joined(table.contract.choices));
    }
    for (std::string_view theme : theme_choices().choices) {
        EXPECT_TRUE(is_theme_name(theme)) << theme;
    }
    EXPECT_EQ(theme_choices().choices.size(), 12u);
    EXPECT_EQ(theme_choices().hint, "Dark, Light, Dracula, Nord, Gruvbox, Solarized");
}

TEST(ChoiceTables, UnknownLabelsAreNoneSoThePreferenceStays)
{
    const std::vector<std::string_view> unknown = {
        "", "large", "Larger ", "4\u00D7", "4x", "Greyscale", "Protanopia", "F6/F7", "Tab / Enter",
        "english (us)", "Male", "1.5 seconds", "Very Fast", "100", "\xC3"};
    for (const Table& table : tables()) {
        for (std::string_view label : unknown) {
            EXPECT_FALSE(table.applies(label)) << table.name << ": " << label;
        }
    }
    EXPECT_FALSE(is_theme_name("dark"));
    EXPECT_FALSE(is_theme_name("Gruvbox Dark"));
}

TEST(ChoiceTables, LabelsToValues)
{
    EXPECT_EQ(text_scale_from_label("Larger"), 1.3);
    EXPECT_EQ(ui_scale_from_label("125%"), 1.25);
    EXPECT_EQ(cursor_size_from_label("Largest"), 64u);
    EXPECT_EQ(color_filter_from_label("Grayscale"), 1);
    EXPECT_EQ(color_filter_from_label("Grayscale + inverted"), 3);
    EXPECT_EQ(magnifier_zoom_from_label("Off"), 1);
    EXPECT_EQ(magnifier_zoom_from_label("3\u00D7"), 3);
    EXPECT_EQ(std::string_view("2\u00D7").size(), 3u);
    EXPECT_EQ(switch_key_pair_from_label("1 / 2"), 2);
    EXPECT_EQ(switch_scan_from_label("Manual"), 0);
    EXPECT_EQ(switch_scan_from_label("2 seconds"), 2000);
    EXPECT_EQ(speech_rate_from_label("Default"), 100);
    EXPECT_EQ(speech_rate_from_label("Very fast"), 185);
    EXPECT_EQ(screen_reader_voice_from_label("English (UK)"), 2);
}

TEST(ChoiceTables, ValuesToLabels)
{
    struct FactorCase {
        double value;
        std::string_view text_scale;
        std::string_view ui_scale;
    };
    const FactorCase factors[] = {
        {1.2, "Large", "125%"},
        {0.5, "Small", "90%"},
        {2.0, "Larger", "150%"},
        {1.0, "Default", "100%"},
        {3.0, "Larger", "150%"},
        {0.1, "Small", "90%"},
        {std::numeric_limits<double>::quiet_NaN(), "Small", "90%"},
    };
    for (const FactorCase& c : factors) {
        EXPECT_EQ(text_scale_label(c.value), c.text_scale) << c.value;
        EXPECT_EQ(ui_scale_label(c.value), c.ui_scale) << c.value;
    }

    struct CursorCase {
        std::uint32_t pixels;
        std::string_view label;
    };
    for (const CursorCase& c : {CursorCase{40, "Large"}, CursorCase{30, "Default"}, CursorCase{200, "Largest"},
                                CursorCase{0, "Default"}, CursorCase{42, "Large"}, CursorCase{56, "Larger"},
                                CursorCase{4294967295u, "Largest"}}) {
        EXPECT_EQ(cursor_size_label(c.pixels), c.label) << c.pixels;
    }

    struct RateCase {
        std::uint16_t rate;
        std::string_view label;
    };
    for (const RateCase& c : {RateCase{0, "Slow"}, RateCase{75, "Slow"}, RateCase{76, "Default"},
                              RateCase{115, "Default"}, RateCase{116, "Fast"}, RateCase{160, "Fast"},
                              RateCase{161, "Very fast"}, RateCase{65535, "Very fast"}}) {
        EXPECT_EQ(speech_rate_label(c.rate), c.label) << c.rate;
    }

    EXPECT_EQ(magnifier_label(0), "Off");
    EXPECT_EQ(magnifier_label(5), "Off");
    EXPECT_EQ(magnifier_label(2), "2\u00D7");
    EXPECT_EQ(switch_scan_label(1500), "Manual");
    EXPECT_EQ(switch_scan_label(3000), "3 seconds");
    EXPECT_EQ(color_filter_label(9), "Off");
    EXPECT_EQ(switch_key_pair_label(7), "F6 / F7");
    EXPECT_EQ(screen_reader_voice_label(6), "System voice");
}

// A directory of fake programs; PATH values are built from its subdirectories.
class SpeechEngines : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/choices_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string dir(const std::string& name) const
    {
        std::filesystem::create_directories(root_ / name);
        return (root_ / name).string();
    }

    // A plain file, deliberately not executable: only its presence counts.
    void file(const std::string& path) const
    {
        std::filesystem::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path) << "#!/bin/sh\n";
    }

    std::filesystem::path root_;
};

TEST_F(SpeechEngines, EngineFoundOnPathInPreferenceOrder)
{
    file("dispatcher/speech-dispatcher");
    file("espeak/real-espeak");
    std::filesystem::create_symlink(root_ / "espeak/real-espeak", root_ / "espeak/espeak-ng");
    std::filesystem::create_directories(root_ / "decoys/speech-dispatcher");  // a directory is no program
    std::filesystem::create_symlink(root_ / "missing", root_ / "decoys/espeak-ng");  // dangling link
    const std::string dispatcher = dir("dispatcher");
    const std::string espeak = dir("espeak");
    const std::string decoys = dir("decoys");

    struct Case {
        std::string path;
        std::optional<std::string_view> engine;
    };
    const std::vector<Case> cases = {
        {espeak + ":" + dispatcher, "Speech Dispatcher"},  // the preferred engine wins wherever it lies
        {espeak, "eSpeak NG"},                             // found through a symbolic link
        {decoys + ":" + dir("empty"), std::nullopt},
        {"", std::nullopt},
        {root_.string() + "/does-not-exist:" + decoys, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(detect_screen_reader_engine(c.path), c.engine) << c.path;
    }
    EXPECT_FALSE(find_on_path("", dispatcher));
}

TEST_F(SpeechEngines, EnvironmentPathAndEmptyEntries)
{
    file("bin/espeak-ng");
    const std::string bin = dir("bin");
    const char* saved = std::getenv("PATH");
    const std::string saved_path = saved != nullptr ? saved : "";

    ASSERT_EQ(setenv("PATH", ("/nonexistent:" + bin).c_str(), 1), 0);
    EXPECT_EQ(detect_screen_reader_engine(), "eSpeak NG");
    EXPECT_TRUE(has_screen_reader_engine());
    EXPECT_TRUE(find_on_path("espeak-ng"));

    ASSERT_EQ(unsetenv("PATH"), 0);
    EXPECT_FALSE(find_on_path("espeak-ng"));
    EXPECT_FALSE(has_screen_reader_engine());

    // An empty entry stands for the current directory.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(bin);
    EXPECT_TRUE(find_on_path("espeak-ng", "/nonexistent::/also-not-there"));
    EXPECT_TRUE(find_on_path("espeak-ng", ":"));
    std::filesystem::current_path(cwd);

    if (saved != nullptr) {
        setenv("PATH", saved_path.c_str(), 1);
    }
}

// Every compose-key and acceleration label goes to its stored form and back; other texts are no label.
TEST(Labels, ComposeKeysAndAccelerationProfilesRoundTrip)
{
    for (const std::string_view label : kComposeKeyLabels) {
        const auto code = compose_key_from_label(label);
        ASSERT_TRUE(code) << label;
        const std::optional<std::string> stored = *code ? std::optional<std::string>(std::string(**code)) : std::nullopt;
        EXPECT_EQ(compose_key_label(stored), label);
    }
    EXPECT_EQ(compose_key_label(std::string("hyper")), "Disabled");
    EXPECT_FALSE(compose_key_from_label("right alt"));
    for (const std::string_view label : kAccelerationLabels) {
        const auto stored = acceleration_from_label(label);
        ASSERT_TRUE(stored) << label;
        EXPECT_EQ(acceleration_label(*stored), label);
    }
    EXPECT_EQ(acceleration_label("custom"), "Adaptive");
    EXPECT_FALSE(acceleration_from_label("flat"));
}

}  // namespace
}  // namespace settings::setting_tables
