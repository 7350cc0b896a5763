#include "setting_tables/notifications.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <limits>

namespace settings::setting_tables::notifications {

std::string_view focus_preset_label(std::uint32_t minute)
{
    const std::int64_t m = std::min<std::uint32_t>(minute, 1439);
    const Preset* best = &focus_presets.front();
    for (const Preset& preset : focus_presets) {
        const auto distance = [&](const Preset& p) { return m > p.minute ? m - p.minute : p.minute - m; };
        if (distance(preset) < distance(*best)) {
            best = &preset;
        }
    }
    return best->label;
}

std::optional<std::uint16_t> focus_preset_minute(std::string_view label)
{
    for (const Preset& preset : focus_presets) {
        if (preset.label == label) {
            return preset.minute;
        }
    }
    return std::nullopt;
}

std::string_view weekday_mask_label(std::uint32_t mask)
{
    for (const WeekdayChoice& choice : weekday_choices) {
        if (choice.mask == mask) {
            return choice.label;
        }
    }
    return weekday_choices.front().label;
}

std::optional<std::uint8_t> weekday_mask(std::string_view label)
{
    for (const WeekdayChoice& choice : weekday_choices) {
        if (choice.label == label) {
            return choice.mask;
        }
    }
    return std::nullopt;
}

std::string_view mute_label(std::optional<std::int64_t> muted_until, std::int64_t now)
{
    if (!muted_until || *muted_until <= now) {
        return mute_choices[0].label;
    }
    // Both may be anywhere in the int64 range: the difference is taken without overflow.
    const auto remaining = static_cast<std::uint64_t>(*muted_until) - static_cast<std::uint64_t>(now);
    if (remaining <= 3600) {
        return mute_choices[1].label;
    }
    if (remaining <= 28800) {
        return mute_choices[2].label;
    }
    return mute_choices[3].label;
}

std::optional<std::int64_t> mute_seconds(std::string_view label)
{
    for (const MuteChoice& choice : mute_choices) {
        if (choice.label == label) {
            return choice.seconds;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> muted_until_for(std::int64_t seconds, std::int64_t now)
{
    if (seconds <= 0) {
        return std::nullopt;
    }
    if (now > std::numeric_limits<std::int64_t>::max() - seconds) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return now + seconds;
}

namespace {

using P = prefs::NotificationPrefs;

constexpr std::array<Switch, 7> switch_table{{
    {"notifications.do_not_disturb", "notifications.dnd", "Do Not Disturb",
     "Silence all banners and sounds until you turn it off", &P::do_not_disturb},
    {"notifications.show_banners", "notifications.banners", "Show banners",
     "Pop up a banner when a notification arrives", &P::show_banners},
    {"notifications.show_previews", "notifications.previews", "Show message previews",
     "Reveal the message body in the banner, not just the app", &P::show_previews},
    {"notifications.play_sounds", "notifications.sounds", "Play sounds",
     "Use the current desktop sound theme and audio route", &P::play_sounds},
    {"notifications.show_on_lock_screen", "notifications.lock_screen", "Show on lock screen",
     "Show only a redacted count while the session is locked", &P::show_on_lock_screen},
    {"notifications.show_badges", "notifications.badges", "Show notification badges",
     "Show verified application counts in shell surfaces that support badges", &P::show_badges},
    {"notifications.focus.enabled", "notifications.focus.enabled", "Scheduled quiet hours",
     "Hold banners and sounds automatically", nullptr},
}};

}  // namespace

std::span<const Switch> switches() { return switch_table; }

const Switch* find_switch(std::string_view key)
{
    const auto found = std::ranges::find(switch_table, key, &Switch::key);
    return found == switch_table.end() ? nullptr : &*found;
}

bool switch_value(const Switch& row, const prefs::NotificationPrefs& prefs)
{
    return row.field != nullptr ? prefs.*row.field : prefs.focus.enabled;
}

void set_switch(const Switch& row, prefs::NotificationPrefs& prefs, bool on)
{
    if (row.field != nullptr) {
        prefs.*row.field = on;
    } else {
        prefs.focus.enabled = on;
    }
}

std::string app_key(std::string_view app_id, std::string_view field)
{
    return fmt::format("notifications.app.{}.{}", app_id, field);
}

}  // namespace settings::setting_tables::notifications
