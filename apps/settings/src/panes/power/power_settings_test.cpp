#include "panes/power/power_settings.hpp"

#include "actions/payloads/checks.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace settings::panes::power {
namespace {

using ::testing::ElementsAreArray;

TEST(PowerLabels, TimeoutsByLabelAndByMinutes)
{
    const struct {
        std::string_view label;
        std::optional<std::uint32_t> long_minutes;
        std::optional<std::uint32_t> short_minutes;
    } cases[] = {
        {"Never", 0, 0},
        {"1 hour", 60, std::nullopt},
        {"45 minutes", 45, std::nullopt},
        {"1 minute", std::nullopt, 1},
        {"15 minutes", 15, 15},
        {"never", std::nullopt, std::nullopt},  // exact, case-sensitive
        {"60 minutes", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(timeout_minutes_from_label(c.label), c.long_minutes) << c.label;
        EXPECT_EQ(short_timeout_minutes_from_label(c.label), c.short_minutes) << c.label;
    }

    // Stored minutes no label names are shown by each table's fallback.
    const struct {
        std::uint32_t minutes;
        std::string_view blank, lock, suspend;
    } shown[] = {
        {0, "Never", "Never", "Never"},
        {60, "10 minutes", "5 minutes", "1 hour"},
        {1, "1 minute", "1 minute", "15 minutes"},
        {7, "10 minutes", "5 minutes", "15 minutes"},
        {30, "30 minutes", "30 minutes", "30 minutes"},
    };
    for (const auto& s : shown) {
        EXPECT_EQ(blank_timeout_label(s.minutes), s.blank) << s.minutes;
        EXPECT_EQ(lock_timeout_label(s.minutes), s.lock) << s.minutes;
        EXPECT_EQ(suspend_timeout_label(s.minutes), s.suspend) << s.minutes;
    }
}

TEST(PowerLabels, ProfilesActionsAndTheChargeCap)
{
    EXPECT_EQ(power_profile_label(PowerProfile::PowerSaver), "Power Saver");
    EXPECT_EQ(power_profile_label(PowerProfile::Performance), "Performance");
    EXPECT_EQ(power_profile_label(static_cast<PowerProfile>(7)), "Balanced");
    EXPECT_EQ(power_profile_from_label("Power Saver"), PowerProfile::PowerSaver);
    EXPECT_EQ(power_profile_from_label("power-saver"), std::nullopt);

    EXPECT_EQ(button_action_from_label("Suspend"), PowerAction::Suspend);
    EXPECT_EQ(button_action_from_label("Lock screen"), PowerAction::Lock);
    EXPECT_EQ(button_action_from_label("Do nothing"), PowerAction::Ignore);
    EXPECT_EQ(button_action_from_label("Hibernate"), std::nullopt);
    EXPECT_EQ(button_action_label(PowerAction::Ignore), "Do nothing");

    EXPECT_EQ(charge_limit_text(80), "80%");
    const struct {
        std::string_view text;
        std::optional<std::uint32_t> percent;
    } caps[] = {{"80%", 80}, {"100%", 100}, {"80", std::nullopt}, {"%", std::nullopt}, {"80%%", std::nullopt},
                {"-5%", std::nullopt}, {"8 0%", std::nullopt}, {"4294967296%", std::nullopt}};
    for (const auto& c : caps) {
        EXPECT_EQ(charge_limit_from_text(c.text), c.percent) << c.text;
    }

    EXPECT_EQ(suspend_key_for("default"), "power.suspend");
    EXPECT_EQ(suspend_key_for("saver"), "power.profile_idle.saver");
    EXPECT_EQ(suspend_key_for("balanced"), "power.profile_idle.balanced");
    EXPECT_EQ(suspend_key_for("anything"), "power.profile_idle.performance");
    EXPECT_EQ(suspend_field_for("default"), &prefs::PowerPrefs::suspend_minutes);
    EXPECT_EQ(suspend_field_for("balanced"), &prefs::PowerPrefs::balanced_suspend_minutes);
    EXPECT_EQ(suspend_field_for("anything"), &prefs::PowerPrefs::performance_suspend_minutes);
    EXPECT_EQ(suspend_timer_name("saver"), "Power Saver");
    EXPECT_EQ(suspend_timer_name("default"), std::nullopt);
}

// The page offers exactly what the Power section's actions offer and the runner accepts.
TEST(PowerLabels, TheControlsOfferTheContractsLabels)
{
    EXPECT_THAT(choice_labels(Choices::ShortTimeouts), ElementsAreArray(actions::screen_timeout_labels));
    EXPECT_THAT(choice_labels(Choices::LongTimeouts), ElementsAreArray(actions::suspend_timeout_labels));
    EXPECT_THAT(choice_labels(Choices::Profiles), ElementsAreArray(actions::power_profile_labels));
    EXPECT_THAT(choice_labels(Choices::Actions), ElementsAreArray(actions::power_action_labels));
    for (const auto word : actions::suspend_timeout_profiles) {
        EXPECT_TRUE(is_suspend_timer_word(word)) << word;
    }
}

}  // namespace
}  // namespace settings::panes::power
