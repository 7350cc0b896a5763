#include "panes/power/power_cards.hpp"

#include "panes/power/power_model.hpp"

#include <fmt/format.h>

namespace settings::panes::power {

namespace {

ChoiceItem choice(const ChoiceSetting& setting, std::string_view placeholder)
{
    return {.title = std::string(setting.title),
            .id = std::string(setting.key),
            .action_id = std::string(setting.action_id),
            .choices = choice_labels(setting.choices),
            .placeholder = std::string(placeholder),
            .missing_binding = setting.missing_binding};
}

void add_notice(Card& card, const std::optional<std::string>& notice)
{
    if (notice) {
        card.items.emplace_back(CaptionItem{*notice});
    }
}

Card battery_card(const BatteryState& state, const std::optional<std::string>& cap_notice)
{
    const BatteryInfo& battery = state.battery;
    if (!battery.present) {
        return {.title = "Power source",
                .items = {ValueItem{"Source", "AC power"}, CaptionItem{std::string(no_battery_caption)}}};
    }
    Card card{.title = "Battery"};
    card.items.emplace_back(ProgressItem{static_cast<float>(battery.percent) / 100.0F});
    card.items.emplace_back(ValueItem{"Charge", fmt::format("{}%", battery.percent)});
    card.items.emplace_back(ValueItem{"Status", battery.summary()});
    if (battery.cycle_count) {
        card.items.emplace_back(ValueItem{"Charge cycles", fmt::format("{}", *battery.cycle_count)});
    }
    if (const auto health = battery.health_percent()) {
        card.items.emplace_back(ValueItem{"Battery health", fmt::format("{}%", *health)});
        card.items.emplace_back(CaptionItem{battery.health_explanation()});
    } else {
        card.items.emplace_back(ValueItem{"Battery health", std::string(health_not_reported_text)});
    }
    if (state.history.size() >= 2) {
        card.items.emplace_back(SparklineItem{state.history});
        card.items.emplace_back(CaptionItem{std::string(history_caption)});
    }
    if (!state.capability) {
        card.items.emplace_back(ValueItem{std::string(charge_cap_title), std::string(cap_not_supported_text)});
        return card;
    }
    ChoiceItem cap{.title = std::string(charge_cap_title),
                   .id = std::string(charge_limit_key),
                   .action_id = std::string(charge_cap_action_id),
                   .placeholder = charge_limit_text(state.capability->current_percent),
                   .missing_binding = charge_cap_missing_binding};
    for (const std::uint32_t percent : state.capability->supported_percentages) {
        cap.choices.push_back(charge_limit_text(percent));
    }
    card.items.emplace_back(std::move(cap));
    card.items.emplace_back(CaptionItem{std::string(charge_cap_caption(*state.capability))});
    add_notice(card, cap_notice);
    return card;
}

Card profile_card(const PowerView& view)
{
    Card card{.title = "Power profile"};
    if (!view.profiles) {
        card.items.emplace_back(ValueItem{std::string(profile_setting.title), std::string(loading_text)});
    } else if (!view.profiles->available.empty()) {
        ChoiceItem profiles = choice(profile_setting, power_profile_label(view.active_profile));
        profiles.choices.clear();
        for (const PowerProfile profile : view.profiles->available) {
            profiles.choices.emplace_back(power_profile_label(profile));
        }
        card.items.emplace_back(std::move(profiles));
    } else {
        card.items.emplace_back(
            ValueItem{std::string(profile_setting.title), std::string(profile_service_unavailable_text)});
    }
    card.items.emplace_back(CaptionItem{std::string(profile_caption)});
    add_notice(card, view.profile_notice);
    return card;
}

}  // namespace

std::string_view charge_cap_caption(const ChargeCapability& capability)
{
    switch (capability.kind) {
    case ChargeControlKind::StopThreshold:
        return capability.adjusts_start
                   ? "The kernel exposes start and stop thresholds; Vorn adjusts the start only when required by a "
                     "lower cap."
                   : "The kernel exposes a hardware stop threshold. A lower cap can reduce long-term battery wear.";
    case ChargeControlKind::ConservationMode:
        return "This laptop exposes a discrete conservation mode, so only its real hardware choices are offered.";
    case ChargeControlKind::PairedThresholds:
        break;
    }
    return "The platform uses paired start/end thresholds; Vorn preserves a safe charging window.";
}

std::string power_device_text(const PowerDevice& device)
{
    return fmt::format("{} \u00b7 {}% \u00b7 {}", device.kind == PowerDeviceKind::Ups ? "UPS" : "Battery",
                       device.percent, device.state);
}

std::string behaviour_caption(const prefs::PowerPrefs& prefs)
{
    return fmt::format("You'll be warned at {}% and this action runs at {}%.", prefs.low_battery_percent,
                       prefs.critical_battery_percent);
}

std::vector<Card> power_cards(const PowerView& view)
{
    std::vector<Card> cards;
    if (view.battery) {
        cards.push_back(battery_card(*view.battery, view.charge_cap_notice));
        if (view.battery->devices.size() >= 2) {
            Card devices{.title = "Power devices"};
            for (const PowerDevice& device : view.battery->devices) {
                devices.items.emplace_back(ValueItem{device.model.value_or(device.name), power_device_text(device)});
            }
            cards.push_back(std::move(devices));
        }
    } else {
        cards.push_back({.title = "", .items = {CaptionItem{std::string(loading_text)}}});
    }
    cards.push_back(profile_card(view));

    const prefs::PowerPrefs& prefs = view.prefs;
    Card saving{.title = "Automatic power saving"};
    saving.items.emplace_back(ToggleItem{.title = std::string(auto_suspend_setting.title),
                                         .id = std::string(auto_suspend_setting.key),
                                         .action_id = std::string(auto_suspend_setting.action_id),
                                         .accessible_label = std::string(auto_suspend_setting.accessible_label),
                                         .on = prefs.auto_suspend,
                                         .missing_binding = auto_suspend_setting.missing_binding});
    saving.items.emplace_back(choice(suspend_setting, suspend_timeout_label(prefs.suspend_minutes)));
    saving.items.emplace_back(choice(blank_setting, blank_timeout_label(prefs.blank_minutes)));
    saving.items.emplace_back(choice(lock_setting, lock_timeout_label(prefs.lock_minutes)));
    saving.items.emplace_back(CaptionItem{std::string(idle_caption)});
    saving.items.emplace_back(choice(saver_suspend_setting, suspend_timeout_label(prefs.saver_suspend_minutes)));
    saving.items.emplace_back(choice(balanced_suspend_setting, suspend_timeout_label(prefs.balanced_suspend_minutes)));
    saving.items.emplace_back(
        choice(performance_suspend_setting, suspend_timeout_label(prefs.performance_suspend_minutes)));
    saving.items.emplace_back(CaptionItem{std::string(profile_idle_caption)});
    add_notice(saving, view.saving_notice);
    cards.push_back(std::move(saving));

    Card behaviour{.title = "Power behaviour"};
    behaviour.items.emplace_back(choice(lid_setting, button_action_label(prefs.lid_close_action)));
    behaviour.items.emplace_back(choice(power_key_setting, button_action_label(prefs.power_key_action)));
    behaviour.items.emplace_back(choice(critical_setting, button_action_label(prefs.critical_action)));
    behaviour.items.emplace_back(CaptionItem{behaviour_caption(prefs)});
    add_notice(behaviour, view.behaviour_notice);
    cards.push_back(std::move(behaviour));
    return cards;
}

std::vector<Card> power_cards(const PowerModel& model)
{
    return power_cards(PowerView{.battery = model.battery(),
                                 .profiles = model.profiles(),
                                 .active_profile = model.active_profile(),
                                 .prefs = model.prefs(),
                                 .charge_cap_notice = model.charge_cap_notice(),
                                 .profile_notice = model.profile_notice(),
                                 .saving_notice = model.saving_notice(),
                                 .behaviour_notice = model.behaviour_notice()});
}

}  // namespace settings::panes::power
