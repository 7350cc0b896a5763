#pragma once
// The Power page's cards as data, in the order the page shows them, for the view to turn into widgets:
//   "Battery" (or "Power source" on a machine without one), "Power devices" (only with two or more), "Power
//   profile", "Automatic power saving" and "Power behaviour".
// While neither this page's reading nor an earlier one is known, the first card is an untitled "Loading…" line.
//
//   for (const Card& card : power_cards(model)) {
//       ... a surface card titled card.title (none when empty), then one widget per item:
//       std::visit(overloaded{[](const ProgressItem&) {...}, [](const ValueItem&) {...}, ...}, item);
//   }

#include "panes/power/power_backend.hpp"
#include "panes/power/power_settings.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace settings::panes::power {

class PowerModel;

// ---- Texts ---------------------------------------------------------------------------------------------------------

inline constexpr std::string_view history_caption =
    "Charge history \u00b7 last 30 days \u00b7 sampled at most every 15 minutes. Device names and serial numbers are "
    "never stored.";
inline constexpr std::string_view no_battery_caption =
    "This device has no battery \u2014 it runs on mains power, so charge and battery-saver settings don't apply.";
inline constexpr std::string_view profile_caption =
    "Only modes supported by this device are shown. Balanced trades performance for battery life; Power Saver "
    "favours runtime; Performance favours speed.";
inline constexpr std::string_view idle_caption = "Idle timeouts are applied by the compositor's power layer.";
inline constexpr std::string_view profile_idle_caption =
    "The active power profile selects its own idle timeout in the compositor; changing profile never creates a "
    "second policy owner.";
inline constexpr std::string_view cap_not_supported_text = "Not supported by this hardware";
inline constexpr std::string_view health_not_reported_text = "Not reported by this device";
inline constexpr std::string_view profile_service_unavailable_text = "Power-profile service unavailable";

// The charge cap's caption by how the hardware limits charging.
[[nodiscard]] std::string_view charge_cap_caption(const ChargeCapability& capability);
// "{} · {}% · {}": "UPS" or "Battery", the charge and the state.
[[nodiscard]] std::string power_device_text(const PowerDevice& device);
// "You'll be warned at {}% and this action runs at {}%."
[[nodiscard]] std::string behaviour_caption(const prefs::PowerPrefs& prefs);

// ---- Cards ---------------------------------------------------------------------------------------------------------

struct ProgressItem {  // a progress bar
    float fraction = 0.0F;
    friend bool operator==(const ProgressItem&, const ProgressItem&) = default;
};
struct ValueItem {  // a row: title on the left, value on the right
    std::string title;
    std::string value;
    friend bool operator==(const ValueItem&, const ValueItem&) = default;
};
struct CaptionItem {
    std::string text;
    friend bool operator==(const CaptionItem&, const CaptionItem&) = default;
};
struct SparklineItem {  // 320 × 56, its maximum 100, the dark theme's colour
    std::vector<std::uint32_t> samples;
    friend bool operator==(const SparklineItem&, const SparklineItem&) = default;
};
struct ChoiceItem {  // a fixed-width row with a dropdown
    std::string title;
    std::string id;         // control id and document key
    std::string action_id;  // the Power section's action it binds ("set-charge-cap": charge_limit_binding)
    std::vector<std::string> choices;
    std::string placeholder;  // the label in force
    std::string_view missing_binding;
    friend bool operator==(const ChoiceItem&, const ChoiceItem&) = default;
};
struct ToggleItem {
    std::string title;
    std::string id;
    std::string action_id;
    std::string accessible_label;
    bool on = false;
    std::string_view missing_binding;
    friend bool operator==(const ToggleItem&, const ToggleItem&) = default;
};
using CardItem = std::variant<ProgressItem, ValueItem, CaptionItem, SparklineItem, ChoiceItem, ToggleItem>;

struct Card {
    std::string title;  // empty for the loading line
    std::vector<CardItem> items;
    friend bool operator==(const Card&, const Card&) = default;
};

// What the cards are built from (the model's accessors).
struct PowerView {
    const std::optional<BatteryState>& battery;
    const std::optional<ProfileState>& profiles;
    PowerProfile active_profile;
    const prefs::PowerPrefs& prefs;
    const std::optional<std::string>& charge_cap_notice;
    const std::optional<std::string>& profile_notice;
    const std::optional<std::string>& saving_notice;
    const std::optional<std::string>& behaviour_notice;
};

[[nodiscard]] std::vector<Card> power_cards(const PowerView& view);
[[nodiscard]] std::vector<Card> power_cards(const PowerModel& model);

}  // namespace settings::panes::power
