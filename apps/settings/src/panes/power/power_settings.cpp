#include "panes/power/power_settings.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

namespace settings::panes::power {

namespace {

template <std::size_t N>
std::optional<std::string_view> label_of(const std::array<TimeoutChoice, N>& table, std::uint32_t minutes)
{
    const auto row = std::ranges::find(table, minutes, &TimeoutChoice::minutes);
    return row == table.end() ? std::nullopt : std::optional(row->label);
}

template <std::size_t N>
std::optional<std::uint32_t> minutes_of(const std::array<TimeoutChoice, N>& table, std::string_view label)
{
    const auto row = std::ranges::find(table, label, &TimeoutChoice::label);
    return row == table.end() ? std::nullopt : std::optional(row->minutes);
}

struct SuspendTimer {
    std::string_view word;
    std::string_view key;
    std::uint32_t prefs::PowerPrefs::*field;
    std::optional<std::string_view> name;
};
constexpr std::array<SuspendTimer, 4> suspend_timers{{
    {"default", suspend_key, &prefs::PowerPrefs::suspend_minutes, std::nullopt},
    {"saver", saver_suspend_key, &prefs::PowerPrefs::saver_suspend_minutes, "Power Saver"},
    {"balanced", balanced_suspend_key, &prefs::PowerPrefs::balanced_suspend_minutes, "Balanced"},
    {"performance", performance_suspend_key, &prefs::PowerPrefs::performance_suspend_minutes, "Performance"},
}};

}  // namespace

std::string_view blank_timeout_label(std::uint32_t minutes)
{
    return label_of(short_timeouts, minutes).value_or("10 minutes");
}

std::string_view lock_timeout_label(std::uint32_t minutes)
{
    return label_of(short_timeouts, minutes).value_or("5 minutes");
}

std::string_view suspend_timeout_label(std::uint32_t minutes)
{
    return label_of(long_timeouts, minutes).value_or("15 minutes");
}

std::optional<std::uint32_t> timeout_minutes_from_label(std::string_view label)
{
    return minutes_of(long_timeouts, label);
}

std::optional<std::uint32_t> short_timeout_minutes_from_label(std::string_view label)
{
    return minutes_of(short_timeouts, label);
}

std::string_view power_profile_label(PowerProfile profile)
{
    switch (profile) {
    case PowerProfile::PowerSaver: return "Power Saver";
    case PowerProfile::Performance: return "Performance";
    case PowerProfile::Balanced: break;
    }
    return "Balanced";
}

std::optional<PowerProfile> power_profile_from_label(std::string_view label)
{
    for (const PowerProfile profile : profile_order) {
        if (power_profile_label(profile) == label) {
            return profile;
        }
    }
    return std::nullopt;
}

std::string_view button_action_label(PowerAction action)
{
    return prefs::label(action);
}

std::optional<PowerAction> button_action_from_label(std::string_view label)
{
    return prefs::from_label<PowerAction>(label);
}

std::string charge_limit_text(std::uint32_t percent)
{
    return fmt::format("{}%", percent);
}

std::optional<std::uint32_t> charge_limit_from_text(std::string_view text)
{
    if (!text.ends_with('%')) {
        return std::nullopt;
    }
    const std::string_view number = text.substr(0, text.size() - 1);
    std::uint32_t percent = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), percent);
    if (number.empty() || error != std::errc() || end != number.data() + number.size()) {
        return std::nullopt;
    }
    return percent;
}

std::string_view suspend_key_for(std::string_view profile_word)
{
    const auto timer = std::ranges::find(suspend_timers, profile_word, &SuspendTimer::word);
    return timer == suspend_timers.end() ? performance_suspend_key : timer->key;
}

std::uint32_t prefs::PowerPrefs::*suspend_field_for(std::string_view profile_word)
{
    const auto timer = std::ranges::find(suspend_timers, profile_word, &SuspendTimer::word);
    return timer == suspend_timers.end() ? &prefs::PowerPrefs::performance_suspend_minutes : timer->field;
}

bool is_suspend_timer_word(std::string_view profile_word)
{
    return std::ranges::find(suspend_timers, profile_word, &SuspendTimer::word) != suspend_timers.end();
}

std::optional<std::string_view> suspend_timer_name(std::string_view profile_word)
{
    const auto timer = std::ranges::find(suspend_timers, profile_word, &SuspendTimer::word);
    return timer == suspend_timers.end() ? std::nullopt : timer->name;
}

std::vector<std::string> choice_labels(Choices choices)
{
    std::vector<std::string> labels;
    switch (choices) {
    case Choices::ShortTimeouts:
        for (const auto& row : short_timeouts) {
            labels.emplace_back(row.label);
        }
        break;
    case Choices::LongTimeouts:
        for (const auto& row : long_timeouts) {
            labels.emplace_back(row.label);
        }
        break;
    case Choices::Profiles:
        for (const PowerProfile profile : profile_order) {
            labels.emplace_back(power_profile_label(profile));
        }
        break;
    case Choices::Actions:
        for (const PowerAction action : action_order) {
            labels.emplace_back(button_action_label(action));
        }
        break;
    }
    return labels;
}

}  // namespace settings::panes::power
