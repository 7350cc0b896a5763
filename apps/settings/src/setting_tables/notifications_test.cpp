#include "setting_tables/notifications.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace settings::setting_tables::notifications {
namespace {

TEST(NotificationTables, FocusPresetLabels)
{
    const std::vector<std::pair<std::uint32_t, std::string_view>> cases{
        {1439, "23:00"},  // 59 minutes from 23:00; 00:00 is 1439 away, the distance does not wrap
        {5000, "23:00"},  // above the day: treated as 1439
        {1200, "20:00"},
        {1260, "20:00"},  // as far from 20:00 as from 22:00: the earlier preset
        {0, "00:00"},
        {180, "00:00"},   // as far from 00:00 as from 06:00
        {181, "06:00"},
        {450, "07:00"},   // as far from 07:00 as from 08:00
        {700, "09:00"},
        {1000, "18:00"},
    };
    for (const auto& [minute, label] : cases) {
        EXPECT_EQ(focus_preset_label(minute), label) << minute;
    }
    for (const Preset& preset : focus_presets) {
        EXPECT_EQ(focus_preset_minute(preset.label), preset.minute);
        EXPECT_EQ(focus_preset_label(preset.minute), preset.label);
    }
    EXPECT_EQ(focus_preset_minute("7:00"), std::nullopt);
    EXPECT_EQ(focus_preset_minute(""), std::nullopt);
}

TEST(NotificationTables, WeekdayLabels)
{
    const std::vector<std::pair<std::uint32_t, std::string_view>> cases{
        {0, "Every day"}, {31, "Weekdays"}, {96, "Weekends"}, {127, "Every day"}, {1, "Every day"}, {300, "Every day"}};
    for (const auto& [mask, label] : cases) {
        EXPECT_EQ(weekday_mask_label(mask), label) << mask;
    }
    EXPECT_EQ(weekday_mask("Weekends"), 96);
    EXPECT_EQ(weekday_mask("weekends"), std::nullopt);
}

TEST(NotificationTables, MuteLabels)
{
    constexpr std::int64_t now = 1'800'000'000;
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    const std::vector<std::pair<std::optional<std::int64_t>, std::string_view>> cases{
        {std::nullopt, "Not muted"}, {now - 1, "Not muted"},       {now, "Not muted"},
        {now + 1, "For 1 hour"},     {now + 3000, "For 1 hour"},   {now + 3600, "For 1 hour"},
        {now + 3601, "For 8 hours"}, {now + 28800, "For 8 hours"}, {now + 28801, "For 24 hours"},
        {max, "For 24 hours"},       {min, "Not muted"},
    };
    for (const auto& [until, label] : cases) {
        EXPECT_EQ(mute_label(until, now), label) << (until ? *until - now : -1);
    }
    EXPECT_EQ(mute_label(max, min), "For 24 hours");  // no overflow in the difference

    EXPECT_EQ(mute_seconds("For 8 hours"), 28800);
    EXPECT_EQ(mute_seconds("for 8 hours"), std::nullopt);
    EXPECT_EQ(muted_until_for(28800, now), now + 28800);
    EXPECT_EQ(muted_until_for(0, now), std::nullopt);
    EXPECT_EQ(muted_until_for(86400, max - 5), max);
}

TEST(NotificationTables, SwitchesReachTheirFields)
{
    ASSERT_EQ(switches().front().key, dnd_key);
    for (const Switch& row : switches()) {
        prefs::NotificationPrefs prefs;
        const bool before = switch_value(row, prefs);
        set_switch(row, prefs, !before);
        EXPECT_EQ(switch_value(row, prefs), !before) << row.key;
        EXPECT_NE(prefs, prefs::NotificationPrefs{}) << row.key;
        EXPECT_EQ(find_switch(row.key), &row);
    }
    prefs::NotificationPrefs focus;
    set_switch(*find_switch("notifications.focus.enabled"), focus, true);
    EXPECT_TRUE(focus.focus.enabled);
    EXPECT_EQ(app_key("org.x.Chat", "mute"), "notifications.app.org.x.Chat.mute");
}

}  // namespace
}  // namespace settings::setting_tables::notifications
