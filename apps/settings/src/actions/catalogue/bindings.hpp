#pragma once
// Page control binding routines: each builds the resource that holds one action of the static contract, finds the
// action and binds it with the value function of its control (actions/control_binding.hpp). None when the action
// is not there; a page treats none for a control it always shows as a broken invariant and stops with its own
// message ("brightness is part of the static resource contract").
//
// Two ways of building the resource:
//   - full rebuild: the section's own builder (sections.hpp) with a new, empty page document, so the binding sees
//     the very action the published tree holds (Mouse & Keyboard and Time & Date also read the settings file; Power,
//     Displays and Accessibility use the default settings record);
//   - single action: only the bound action, built from the values the page passes, in a bare resource with the
//     right id ("settings.section:sound", "settings.display-output:<connector>", ...).
//
// A page binds the controls of one view through SectionBindings: the section is built once for the whole view, and
// an action a control needs that the section does not hold is the contract violation it is (the page always shows
// that control), never a control left unbound.
//
//   const SectionBindings bindings = accessibility_bindings();
//   toggle.on_action(bindings.toggle("sticky-keys"));
//
// Choice lists a page passes are bound as far as the contract publishes them: the first 128 entries (the rest is
// logged), equal labels told apart with " (2)", " (3)", ... (distinct_choice_records gives the page the same list to
// show). An empty list gives none.
//
//   auto brightness = brightness_binding("brightness");
//   if (!brightness) contract_violation("brightness is part of the static resource contract");

#include "actions/catalogue/catalogue.hpp"
#include "actions/control_binding.hpp"
#include "actions/parsers.hpp"
#include "actions/payloads/operations.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::actions::catalogue {

using vorn_actions::Unit;

template <class T>
using Binding = std::optional<ActionBinding<T>>;

// The records as a bound choice list offers them: the first 128, labels made distinct.
[[nodiscard]] std::vector<ChoiceRecord> distinct_choice_records(std::vector<ChoiceRecord> records,
                                                                std::size_t limit = 128);

// The actions of one built section, bound by id. Each routine stops the program through contract_violation
// ("<section> action <id> must be published") when the section has no such action.
class SectionBindings {
public:
    explicit SectionBindings(Resource section);

    [[nodiscard]] ActionBinding<bool> toggle(std::string_view id) const;
    [[nodiscard]] ActionBinding<double> slider(std::string_view id) const;
    // The text as the action's "choice".
    [[nodiscard]] ActionBinding<std::string> choice(std::string_view id) const;
    // The text under the action's "choice", "label" or "value" parameter.
    [[nodiscard]] ActionBinding<std::string> named_choice(std::string_view id) const;
    // A parameterless action of the child resource `child_id`.
    [[nodiscard]] ActionBinding<Unit> child_button(std::string_view child_id, std::string_view id) const;
    // The text as the "choice" of an action of the child resource `child_id`.
    [[nodiscard]] ActionBinding<std::string> child_choice(std::string_view child_id, std::string_view id) const;
    // require() for an action of the child resource `child_id`.
    void require_child(std::string_view child_id, std::string_view id) const;
    // Whether the section publishes the action (for an action only some machines offer).
    [[nodiscard]] bool has(std::string_view id) const;
    // Stops the program unless the section publishes the action: for a control that writes its document key
    // instead of sending the action (a switch over a parameterless "Turn on ..." action), whose action must still
    // be there for automation.
    void require(std::string_view id) const;
    [[nodiscard]] const Resource& section() const { return section_; }

private:
    template <class T>
    ActionBinding<T> required(std::expected<ActionBinding<T>, BindingError> bound, std::string_view id) const;

    Resource section_;
};

// The sections as the published tree holds them, built once per call.
[[nodiscard]] SectionBindings appearance_bindings();
[[nodiscard]] SectionBindings mouse_keyboard_bindings();
[[nodiscard]] SectionBindings accessibility_bindings();
[[nodiscard]] SectionBindings region_bindings();
[[nodiscard]] SectionBindings network_bindings();
[[nodiscard]] SectionBindings storage_bindings();
[[nodiscard]] SectionBindings time_date_bindings();
[[nodiscard]] SectionBindings users_bindings();
// With the applications of the current platform's notification_apps() as children.
[[nodiscard]] SectionBindings notifications_bindings();
// With the kinds of the current platform's default_app_kinds() as children.
[[nodiscard]] SectionBindings default_apps_bindings();

// Any boolean action of a resource the page holds.
[[nodiscard]] Binding<bool> toggle_binding(const Resource& resource, std::string_view id);

// ---- Sound
[[nodiscard]] Binding<bool> sound_toggle_binding(std::string_view id);          // "muted", "mono"
[[nodiscard]] Binding<double> sound_slider_binding(std::string_view id);        // "volume", "input-volume", "balance"
[[nodiscard]] Binding<Unit> sound_unit_binding(std::string_view id);            // diagnostics, channel tests, meter
// "output-device" (title "Set output device") or "input-device" over the page's devices (label, device id).
[[nodiscard]] Binding<std::string> audio_device_choice_binding(std::string_view selector,
                                                               std::vector<ChoiceRecord> devices);
// "profile" of card `card_id` over its profiles (label, profile index).
[[nodiscard]] Binding<std::string> audio_profile_binding(std::uint32_t card_id, std::vector<ChoiceRecord> profiles);
[[nodiscard]] Binding<bool> stream_mute_binding(std::uint32_t stream_id, bool playback, std::string_view label);
[[nodiscard]] Binding<double> stream_volume_binding(std::uint32_t stream_id, bool playback, std::string_view label);
// "route": "Default", then the device labels.
[[nodiscard]] Binding<std::string> stream_route_binding(std::uint32_t stream_id, bool playback,
                                                        std::string_view label, std::vector<ChoiceRecord> devices);

// ---- Displays
[[nodiscard]] Binding<bool> display_toggle_binding(std::string_view id);          // "auto_brightness", "night_light"
[[nodiscard]] Binding<double> brightness_binding(std::string_view id);            // "brightness"
[[nodiscard]] Binding<std::string> night_light_warmth_binding(std::string_view id);  // "night_light_temperature"
[[nodiscard]] Binding<Unit> display_unit_binding(std::string_view id);            // "apply", "confirm", "revert"
// "enabled", "primary", "hdr", "vrr" of one output.
[[nodiscard]] Binding<bool> display_output_toggle_binding(std::string_view connector, std::string_view title,
                                                          std::string_view id);
// "scale", "position", "mirror", "mode", "transform", "color-profile" of one output over the page's list.
[[nodiscard]] Binding<std::string> display_output_choice_binding(std::string_view connector, std::string_view title,
                                                                 std::string_view id, std::vector<std::string> choices);

// ---- Power
[[nodiscard]] Binding<bool> power_toggle_binding(std::string_view id);           // "auto_suspend"
[[nodiscard]] Binding<std::string> power_choice_binding(std::string_view id);    // profile, delays, reactions
// "set-charge-cap" over the battery's supported percentages; text under "percent".
[[nodiscard]] Binding<std::string> charge_limit_binding(const std::vector<std::uint32_t>& supported_percentages,
                                                        std::uint32_t default_percent);

// ---- Mouse & Keyboard
[[nodiscard]] Binding<bool> mouse_keyboard_toggle_binding(std::string_view id);
[[nodiscard]] Binding<double> mouse_keyboard_slider_binding(std::string_view id);
// The text goes under the action's "choice", "label" or "value" parameter.
[[nodiscard]] Binding<std::string> mouse_keyboard_choice_binding(std::string_view id);
// "move-up", "move-down", "remove" of the configured source `identifier`.
[[nodiscard]] Binding<Unit> input_source_binding(std::string_view identifier, std::string_view id);

// ---- Accessibility
[[nodiscard]] Binding<bool> accessibility_toggle_binding(std::string_view id);
[[nodiscard]] Binding<std::string> accessibility_choice_binding(std::string_view id);

// ---- Network, Bluetooth, Updates, Time & Date
[[nodiscard]] Binding<bool> network_toggle_binding(std::string_view id);      // "wifi"
[[nodiscard]] Binding<bool> bluetooth_toggle_binding(std::string_view id);    // "bluetooth"
[[nodiscard]] Binding<bool> updates_toggle_binding(std::string_view id);      // "automatic", "metered"
[[nodiscard]] Binding<std::string> updates_choice_binding();                  // "schedule"
[[nodiscard]] Binding<Unit> updates_unit_binding(std::string_view id);        // the fixed Updates actions
[[nodiscard]] Binding<bool> time_date_toggle_binding(std::string_view id);    // "automatic-time", "24-hour"
[[nodiscard]] Binding<std::string> time_date_choice_binding(std::string_view id = "timezone");
// The Time & Date page's names for the same two routines.
[[nodiscard]] Binding<bool> time_toggle_binding(std::string_view id);
[[nodiscard]] Binding<std::string> time_zone_binding();

// ---- Devices & Sync
[[nodiscard]] Binding<bool> device_mesh_toggle_binding(std::string_view id);        // services, Continuity
[[nodiscard]] Binding<std::string> device_mesh_choice_binding(std::string_view id); // "role", "replication"
[[nodiscard]] Binding<bool> workspace_availability_binding(std::uint64_t workspace_id);

// ---- Agent Models: a parameterless action of the provider's child resource of `resource` (the Agent Models
// resource the page built), or of `resource` itself without a provider id ("add-anthropic", ...).
[[nodiscard]] Binding<Unit> agent_provider_unit_binding(const Resource& resource,
                                                        std::optional<std::string_view> provider_id,
                                                        std::string_view id);

// ---- External Accounts
// One account action (the account operation builder) in a resource of kind "settings.external-account" with the
// given id and title; marked destructive when `destructive` is set.
[[nodiscard]] Binding<Unit> external_account_binding(std::string_view resource_id, std::string_view resource_title,
                                                     std::string_view action_id, std::string_view action_title,
                                                     std::uint8_t effect_class, const AccountOperation& operation,
                                                     bool destructive);
// The object resource of one account, as the External Accounts section publishes it.
[[nodiscard]] Resource external_account_resource(const account_registry::Account& account);

}  // namespace settings::actions::catalogue
