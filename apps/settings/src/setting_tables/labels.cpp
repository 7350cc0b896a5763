#include "setting_tables/labels.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace settings::setting_tables {
namespace {

template <class T, std::size_t N>
std::optional<T> value_of(const std::array<Choice<T>, N>& table, std::string_view label)
{
    const auto it = std::ranges::find(table, label, &Choice<T>::label);
    if (it == table.end()) {
        return std::nullopt;
    }
    return it->value;
}

template <class T, std::size_t N>
std::optional<std::string_view> label_of(const std::array<Choice<T>, N>& table, T value)
{
    const auto it = std::ranges::find(table, value, &Choice<T>::value);
    if (it == table.end()) {
        return std::nullopt;
    }
    return it->label;
}

// The entry nearest to `value`; on a tie (and for NaN) the earlier entry.
template <class T, std::size_t N, class Distance>
std::string_view nearest_label(const std::array<Choice<T>, N>& table, T value, Distance distance)
{
    const Choice<T>* best = &table.front();
    auto best_distance = distance(best->value, value);
    for (const Choice<T>& choice : table) {
        const auto d = distance(choice.value, value);
        if (d < best_distance) {
            best = &choice;
            best_distance = d;
        }
    }
    return best->label;
}

double float_distance(double a, double b)
{
    return std::fabs(a - b);
}

std::uint64_t pixel_distance(std::uint32_t a, std::uint32_t b)
{
    return a > b ? a - b : b - a;
}

// Hints of the lists whose hint names every choice.
constexpr std::string_view kThemeHint = "Dark, Light, Dracula, Nord, Gruvbox, Solarized";
constexpr std::string_view kTextSizeHint = "Small, Default, Large, Larger";
constexpr std::string_view kUiScaleHint = "90%, 100%, 110%, 125%, 150%";
constexpr std::string_view kCursorSizeHint = "Default, Large, Larger, Largest";
constexpr std::string_view kColourFilterHint = "Off, Grayscale, Inverted, Grayscale + inverted";
constexpr std::string_view kMagnifierHint = "Off, 2\u00D7, 3\u00D7";
constexpr std::string_view kSwitchKeysHint = "F6 / F7, F9 / F10, 1 / 2";
constexpr std::string_view kSwitchScanHint = "Manual, 1 second, 2 seconds, 3 seconds";
constexpr std::string_view kSpeechRateHint = "Slow, Default, Fast, Very fast";
constexpr std::string_view kSpeechVoiceHint = "System voice, English (US), English (UK), German, French, Spanish";

constexpr auto kTextScaleLabels = labels_of(kTextScales);
constexpr auto kUiScaleLabels = labels_of(kUiScales);
constexpr auto kCursorSizeLabels = labels_of(kCursorSizes);
constexpr auto kColorFilterLabels = labels_of(kColorFilters);
constexpr auto kMagnifierLabels = labels_of(kMagnifierLenses);
constexpr auto kSwitchKeyPairLabels = labels_of(kSwitchKeyPairs);
constexpr auto kSwitchScanLabels = labels_of(kSwitchScans);
constexpr auto kSpeechRateLabels = labels_of(kSpeechRates);
constexpr auto kScreenReaderVoiceLabels = labels_of(kScreenReaderVoices);

struct SpeechEngine {
    std::string_view program;
    std::string_view shown_name;
};
constexpr std::array<SpeechEngine, 2> kSpeechEngines{{
    {"speech-dispatcher", "Speech Dispatcher"},
    {"espeak-ng", "eSpeak NG"},
}};

}  // namespace

std::string_view compose_key_label(const std::optional<std::string>& code)
{
    if (code) {
        if (const auto label = label_of(kComposeKeys, std::string_view(*code))) {
            return *label;
        }
    }
    return kComposeKeyDisabled;
}

std::optional<std::optional<std::string_view>> compose_key_from_label(std::string_view label)
{
    if (label == kComposeKeyDisabled) {
        return std::optional<std::string_view>{};
    }
    if (const auto code = value_of(kComposeKeys, label)) {
        return std::optional<std::string_view>{*code};
    }
    return std::nullopt;
}

std::string_view acceleration_label(std::string_view stored)
{
    return label_of(kAccelerationProfiles, stored).value_or(kAccelerationProfiles.front().label);
}

std::optional<std::string_view> acceleration_from_label(std::string_view label)
{
    return value_of(kAccelerationProfiles, label);
}

bool is_theme_name(std::string_view text)
{
    return std::ranges::find(kThemeNames, text) != kThemeNames.end();
}

std::string_view text_scale_label(double factor)
{
    return nearest_label(kTextScales, factor, float_distance);
}

std::optional<double> text_scale_from_label(std::string_view label)
{
    return value_of(kTextScales, label);
}

std::string_view ui_scale_label(double factor)
{
    return nearest_label(kUiScales, factor, float_distance);
}

std::optional<double> ui_scale_from_label(std::string_view label)
{
    return value_of(kUiScales, label);
}

std::string_view cursor_size_label(std::uint32_t pixels)
{
    return nearest_label(kCursorSizes, pixels, pixel_distance);
}

std::optional<std::uint32_t> cursor_size_from_label(std::string_view label)
{
    return value_of(kCursorSizes, label);
}

std::string_view color_filter_label(std::uint8_t filter)
{
    return label_of(kColorFilters, filter).value_or(kColorFilters.front().label);
}

std::optional<std::uint8_t> color_filter_from_label(std::string_view label)
{
    return value_of(kColorFilters, label);
}

std::string_view magnifier_label(std::uint8_t zoom)
{
    return label_of(kMagnifierLenses, zoom).value_or(kMagnifierLenses.front().label);
}

std::optional<std::uint8_t> magnifier_zoom_from_label(std::string_view label)
{
    return value_of(kMagnifierLenses, label);
}

std::string_view switch_key_pair_label(std::uint8_t pair)
{
    return label_of(kSwitchKeyPairs, pair).value_or(kSwitchKeyPairs.front().label);
}

std::optional<std::uint8_t> switch_key_pair_from_label(std::string_view label)
{
    return value_of(kSwitchKeyPairs, label);
}

std::string_view switch_scan_label(std::uint16_t milliseconds)
{
    return label_of(kSwitchScans, milliseconds).value_or(kSwitchScans.front().label);
}

std::optional<std::uint16_t> switch_scan_from_label(std::string_view label)
{
    return value_of(kSwitchScans, label);
}

std::string_view speech_rate_label(std::uint16_t rate)
{
    if (rate < 76) {
        return kSpeechRates[0].label;
    }
    if (rate <= 115) {
        return kSpeechRates[1].label;
    }
    if (rate <= 160) {
        return kSpeechRates[2].label;
    }
    return kSpeechRates[3].label;
}

std::optional<std::uint16_t> speech_rate_from_label(std::string_view label)
{
    return value_of(kSpeechRates, label);
}

std::string_view screen_reader_voice_label(std::uint8_t voice)
{
    return label_of(kScreenReaderVoices, voice).value_or(kScreenReaderVoices.front().label);
}

std::optional<std::uint8_t> screen_reader_voice_from_label(std::string_view label)
{
    return value_of(kScreenReaderVoices, label);
}

ChoiceList theme_choices()
{
    return {kThemeNames, kThemeHint};
}

ChoiceList text_size_choices()
{
    return {kTextScaleLabels, kTextSizeHint};
}

ChoiceList ui_scale_choices()
{
    return {kUiScaleLabels, kUiScaleHint};
}

ChoiceList cursor_size_choices()
{
    return {kCursorSizeLabels, kCursorSizeHint};
}

ChoiceList colour_filter_choices()
{
    return {kColorFilterLabels, kColourFilterHint};
}

ChoiceList magnifier_choices()
{
    return {kMagnifierLabels, kMagnifierHint};
}

ChoiceList switch_keys_choices()
{
    return {kSwitchKeyPairLabels, kSwitchKeysHint};
}

ChoiceList switch_scan_choices()
{
    return {kSwitchScanLabels, kSwitchScanHint};
}

ChoiceList speech_rate_choices()
{
    return {kSpeechRateLabels, kSpeechRateHint};
}

ChoiceList speech_voice_choices()
{
    return {kScreenReaderVoiceLabels, kSpeechVoiceHint};
}

bool find_on_path(std::string_view name, std::string_view path_list)
{
    if (name.empty()) {
        return false;
    }
    while (true) {
        const std::size_t colon = path_list.find(':');
        const std::string_view dir = path_list.substr(0, colon);
        const std::filesystem::path candidate =
            dir.empty() ? std::filesystem::path(name) : std::filesystem::path(dir) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) {
            return true;
        }
        if (colon == std::string_view::npos) {
            return false;
        }
        path_list.remove_prefix(colon + 1);
    }
}

bool find_on_path(std::string_view name)
{
    const char* path = std::getenv("PATH");
    return path != nullptr && find_on_path(name, path);
}

std::optional<std::string_view> detect_screen_reader_engine(std::string_view path_list)
{
    for (const SpeechEngine& engine : kSpeechEngines) {
        if (find_on_path(engine.program, path_list)) {
            return engine.shown_name;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> detect_screen_reader_engine()
{
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return std::nullopt;
    }
    return detect_screen_reader_engine(path);
}

bool has_screen_reader_engine()
{
    return detect_screen_reader_engine().has_value();
}

}  // namespace settings::setting_tables
