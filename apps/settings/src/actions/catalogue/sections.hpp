#pragma once
// The section builders of the resource tree and the single actions that the page binding routines build on their
// own (bindings.hpp). section_resource (catalogue.hpp) calls one builder per section and puts the open action
// first; the builders ask current_platform() for live state.

#include "actions/catalogue/catalogue.hpp"
#include "actions/parsers.hpp"
#include "config_sections/hardware.hpp"
#include "system_ops/battery.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::actions::catalogue {

using vorn_actions::ActionSpec;

// The section's resource without actions: its id, its kind ("settings.section", or "settings.default-apps",
// "settings.accounts", "settings.agent-models" for those three) and its title.
[[nodiscard]] Resource bare_section_resource(Section section);

// ---- Section builders (the open action is added by section_resource)
[[nodiscard]] Resource network_resource();
[[nodiscard]] Resource bluetooth_resource();
[[nodiscard]] Resource devices_sync_resource();
[[nodiscard]] Resource sound_resource();
[[nodiscard]] Resource displays_resource();
[[nodiscard]] Resource mouse_keyboard_resource(const page_doc::Document& doc, const prefs::SettingsFile& file);
[[nodiscard]] Resource keyboard_shortcuts_resource(const page_doc::Document& doc);
[[nodiscard]] Resource printers_resource();
[[nodiscard]] Resource appearance_resource(const page_doc::Document& doc, const prefs::SettingsFile& file);
[[nodiscard]] Resource accessibility_resource(const page_doc::Document& doc, const prefs::SettingsFile& file);
[[nodiscard]] Resource notifications_resource(const page_doc::Document& doc, const prefs::SettingsFile& file);
[[nodiscard]] Resource default_apps_resource(const page_doc::Document& doc);
[[nodiscard]] Resource storage_resource();
[[nodiscard]] Resource power_resource();
[[nodiscard]] Resource time_date_resource();
[[nodiscard]] Resource users_resource();
[[nodiscard]] Resource region_formats_resource(const page_doc::Document& doc);
[[nodiscard]] Resource external_accounts_resource(AccountList accounts);
[[nodiscard]] Resource agent_models_resource();
[[nodiscard]] Resource updates_resource();

// ---- Single actions, built the same way by the section builders and the binding routines

// Sound: "muted", "mono" (switches), "volume", "input-volume", "balance" (levels); none for any other id.
[[nodiscard]] std::optional<ActionSpec> sound_switch_action(std::string_view id);
[[nodiscard]] std::optional<ActionSpec> sound_level_action(std::string_view id);
// "output-device" or "input-device" over the devices (labels already distinct), in order.
[[nodiscard]] std::optional<ActionSpec> audio_device_choice_action(std::string_view selector,
                                                                   std::vector<ChoiceRecord> devices);
// "profile" of an audio card over its profiles (label, profile index).
[[nodiscard]] ActionSpec audio_profile_action(std::uint32_t card_id, std::vector<ChoiceRecord> profiles);
// Stream actions: "route" (choices "Default" then the device labels), "volume", "muted".
[[nodiscard]] ActionSpec stream_route_action(std::uint32_t stream_id, bool playback, std::vector<ChoiceRecord> devices);
[[nodiscard]] ActionSpec stream_volume_action(std::uint32_t stream_id);
[[nodiscard]] ActionSpec stream_muted_action(std::uint32_t stream_id);
[[nodiscard]] std::string stream_resource_id(std::uint32_t stream_id, bool playback);

// Displays: "auto_brightness", "night_light" (switches), "brightness" (level), "night_light_temperature", "scale"
// (choices); none for any other id.
[[nodiscard]] std::optional<ActionSpec> display_action(std::string_view id);
// Output actions: "enabled", "primary", "hdr", "vrr" (switches); "scale", "position", "mirror", "mode",
// "transform", "color-profile" over `choices`; none for any other id.
[[nodiscard]] std::optional<ActionSpec> display_output_switch_action(std::string_view connector, std::string_view id);
[[nodiscard]] std::optional<ActionSpec> display_output_choice_action(std::string_view connector, std::string_view id,
                                                                     std::vector<std::string> choices);
[[nodiscard]] std::string display_output_resource_id(std::string_view connector);

// Power: the privileged "set-charge-cap" over the supported percentages ("60%", ...).
[[nodiscard]] ActionSpec charge_limit_spec(const std::vector<std::uint32_t>& supported_percentages,
                                           std::uint32_t current_percent);

// External Accounts: one account action of the account operation builder in a "settings.external-account"
// resource; `destructive` marks it so.
[[nodiscard]] std::optional<ActionSpec> account_action(std::string_view id, std::string_view title,
                                                       std::uint8_t effect_class, const AccountOperation& operation,
                                                       bool destructive);

}  // namespace settings::actions::catalogue
