#pragma once
// The Power page's settings: its document keys, the label tables its choice controls show (the same labels the
// Power section's actions offer and the runner accepts), and one row per control with the contract action it binds
// to and the message a missing binding stops the program with.
//
// Timeouts are stored in minutes, 0 meaning never. A stored value that no label names is shown by the table's
// fallback label ("10 minutes" for the screen blank, "5 minutes" for the lock, "15 minutes" for suspend) and stays
// stored as it is until the user picks another label.
//
//   suspend_timeout_label(60)                   -> "1 hour"
//   timeout_minutes_from_label("Never")         -> 0
//   button_action_from_label("Lock screen")     -> PowerAction::Lock
//   charge_limit_from_text("80%")               -> 80     ("80" without the sign: none)

#include "prefs/enums.hpp"
#include "prefs/records.hpp"
#include "system_ops/system_calls.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::power {

using prefs::PowerAction;
using system_ops::PowerProfile;

// ---- Document keys -------------------------------------------------------------------------------------------------

inline constexpr std::string_view profile_key = "power.profile";            // text: a profile label
inline constexpr std::string_view auto_suspend_key = "power.auto_suspend";  // bool
inline constexpr std::string_view suspend_key = "power.suspend";            // text: long table
inline constexpr std::string_view blank_key = "power.blank";                // text: short table
inline constexpr std::string_view lock_key = "power.lock";                  // text: short table
inline constexpr std::string_view saver_suspend_key = "power.profile_idle.saver";              // long table
inline constexpr std::string_view balanced_suspend_key = "power.profile_idle.balanced";        // long table
inline constexpr std::string_view performance_suspend_key = "power.profile_idle.performance";  // long table
inline constexpr std::string_view lid_key = "power.lid";                // text: action label
inline constexpr std::string_view power_key_key = "power.power_key";    // text: action label
inline constexpr std::string_view critical_key = "power.critical";      // text: action label
inline constexpr std::string_view charge_limit_key = "power.charge_limit";  // text: "80%"

// ---- Label tables --------------------------------------------------------------------------------------------------

struct TimeoutChoice {
    std::string_view label;
    std::uint32_t minutes;
};

// Screen blank and lock.
inline constexpr std::array<TimeoutChoice, 6> short_timeouts{{
    {"1 minute", 1}, {"5 minutes", 5}, {"10 minutes", 10}, {"15 minutes", 15}, {"30 minutes", 30}, {"Never", 0},
}};
// Suspend, in general and per power profile.
inline constexpr std::array<TimeoutChoice, 7> long_timeouts{{
    {"5 minutes", 5},
    {"10 minutes", 10},
    {"15 minutes", 15},
    {"30 minutes", 30},
    {"45 minutes", 45},
    {"1 hour", 60},
    {"Never", 0},
}};
inline constexpr std::array<PowerProfile, 3> profile_order{PowerProfile::PowerSaver, PowerProfile::Balanced,
                                                           PowerProfile::Performance};
inline constexpr std::array<PowerAction, 3> action_order{PowerAction::Suspend, PowerAction::Lock,
                                                         PowerAction::Ignore};

[[nodiscard]] std::string_view blank_timeout_label(std::uint32_t minutes);    // else "10 minutes"
[[nodiscard]] std::string_view lock_timeout_label(std::uint32_t minutes);     // else "5 minutes"
[[nodiscard]] std::string_view suspend_timeout_label(std::uint32_t minutes);  // else "15 minutes"
// The minutes of a label of the long table, or of the short one.
[[nodiscard]] std::optional<std::uint32_t> timeout_minutes_from_label(std::string_view label);
[[nodiscard]] std::optional<std::uint32_t> short_timeout_minutes_from_label(std::string_view label);

// "Power Saver", "Balanced", "Performance"; a value outside the enumeration gives "Balanced".
[[nodiscard]] std::string_view power_profile_label(PowerProfile profile);
[[nodiscard]] std::optional<PowerProfile> power_profile_from_label(std::string_view label);

// "Suspend", "Lock screen", "Do nothing"; any other text is none.
[[nodiscard]] std::string_view button_action_label(PowerAction action);
[[nodiscard]] std::optional<PowerAction> button_action_from_label(std::string_view label);

// The charge cap as the page shows and stores it: "80%". Reading needs the trailing "%" and a whole number.
[[nodiscard]] std::string charge_limit_text(std::uint32_t percent);
[[nodiscard]] std::optional<std::uint32_t> charge_limit_from_text(std::string_view text);

// The per-profile suspend timers of SetSuspendTimeout: the word ("default", "saver", "balanced", "performance"),
// the document key and the stored field (any other word is the Performance timer's) and the name in sentences
// ("Power Saver", ...; none for the general timer).
[[nodiscard]] std::string_view suspend_key_for(std::string_view profile_word);
[[nodiscard]] std::uint32_t prefs::PowerPrefs::*suspend_field_for(std::string_view profile_word);
[[nodiscard]] bool is_suspend_timer_word(std::string_view profile_word);
[[nodiscard]] std::optional<std::string_view> suspend_timer_name(std::string_view profile_word);

// ---- The controls --------------------------------------------------------------------------------------------------

enum class Choices : std::uint8_t { ShortTimeouts, LongTimeouts, Profiles, Actions };

// A dropdown: its document key (also its control id), the contract action it binds, its title and its choices.
struct ChoiceSetting {
    std::string_view key;
    std::string_view action_id;
    std::string_view title;
    Choices choices;
    std::string_view missing_binding;  // the message a missing binding stops the program with
};

inline constexpr ChoiceSetting profile_setting{profile_key, "profile", "Profile", Choices::Profiles,
                                               "power profile action is part of the static resource contract"};
inline constexpr ChoiceSetting suspend_setting{suspend_key, "suspend-after", "Suspend after", Choices::LongTimeouts,
                                               "suspend action is part of the static resource contract"};
inline constexpr ChoiceSetting blank_setting{blank_key, "blank-after", "Blank screen when idle",
                                             Choices::ShortTimeouts,
                                             "blank action is part of the static resource contract"};
inline constexpr ChoiceSetting lock_setting{lock_key, "lock-after", "Lock after", Choices::ShortTimeouts,
                                            "lock action is part of the static resource contract"};
inline constexpr ChoiceSetting saver_suspend_setting{saver_suspend_key, "saver-suspend", "Power Saver suspend",
                                                     Choices::LongTimeouts,
                                                     "saver suspend action is part of the static resource contract"};
inline constexpr ChoiceSetting balanced_suspend_setting{
    balanced_suspend_key, "balanced-suspend", "Balanced suspend", Choices::LongTimeouts,
    "balanced suspend action is part of the static resource contract"};
inline constexpr ChoiceSetting performance_suspend_setting{
    performance_suspend_key, "performance-suspend", "Performance suspend", Choices::LongTimeouts,
    "performance suspend action is part of the static resource contract"};
inline constexpr ChoiceSetting lid_setting{lid_key, "lid", "When the lid is closed", Choices::Actions,
                                           "lid action is part of the static resource contract"};
inline constexpr ChoiceSetting power_key_setting{power_key_key, "power_key", "When the power key is pressed",
                                                 Choices::Actions,
                                                 "power-key action is part of the static resource contract"};
inline constexpr ChoiceSetting critical_setting{critical_key, "critical", "When the battery is critically low",
                                                Choices::Actions,
                                                "critical action is part of the static resource contract"};

// The switch "Suspend when idle".
struct ToggleSetting {
    std::string_view key;
    std::string_view action_id;
    std::string_view title;
    std::string_view accessible_label;
    std::string_view missing_binding;
};
inline constexpr ToggleSetting auto_suspend_setting{auto_suspend_key, "auto_suspend", "Suspend when idle",
                                                    "settings.power.auto_suspend",
                                                    "automatic-suspend action is part of the static resource contract"};

// The charge cap's dropdown (bound by charge_limit_binding with the capability's percentages).
inline constexpr std::string_view charge_cap_title = "Charge cap";
inline constexpr std::string_view charge_cap_action_id = "set-charge-cap";
inline constexpr std::string_view charge_cap_missing_binding =
    "charge-cap resource exists when the hardware control is visible";

// The labels a choice control offers, in order (the profile dropdown offers only the profiles the machine has).
[[nodiscard]] std::vector<std::string> choice_labels(Choices choices);

}  // namespace settings::panes::power
