#include "actions/catalogue/bindings.hpp"

#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "actions/catalogue/support.hpp"
#include "actions/contract.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace settings::actions::catalogue {

namespace {

template <class T>
Binding<T> optional_binding(std::expected<ActionBinding<T>, BindingError> bound)
{
    if (!bound) {
        return std::nullopt;
    }
    return std::move(*bound);
}

bool one_of(std::string_view id, std::initializer_list<std::string_view> ids)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The resource as the published tree holds it: operations that cannot be written are refused, not handed on.
Resource guarded(Resource resource)
{
    guard_encoding(resource);
    return resource;
}

// The bare resource of a section holding one action.
Resource single(Section section, std::optional<ActionSpec> action)
{
    Resource resource(section_resource_id(section), "settings.section", std::string(section.title()));
    add_action(resource, std::move(action));
    return guarded(std::move(resource));
}

// The child with that id of a resource, then its action.
const Resource* child_of(const Resource& resource, std::string_view child_id)
{
    for (const auto& child : resource.children) {
        if (child.id == child_id) {
            return &child;
        }
    }
    return nullptr;
}

page_doc::Document& empty_document()
{
    // Full rebuilds read current values from a new, empty document; one shared empty document serves them all
    // (the builders only read it). A thread-local copy keeps builders on worker threads apart.
    thread_local page_doc::Document doc;
    return doc;
}

std::vector<std::string> capped_texts(std::vector<std::string> texts, std::string_view what)
{
    if (texts.size() > kChoiceLimit) {
        VORN_INFO(kLogTag, "{}: binding the first {} of {} choices", what, kChoiceLimit, texts.size());
        texts.resize(kChoiceLimit);
    }
    return texts;
}

}  // namespace

SectionBindings::SectionBindings(Resource section) : section_(std::move(section)) {}

template <class T>
ActionBinding<T> SectionBindings::required(std::expected<ActionBinding<T>, BindingError> bound,
                                           std::string_view id) const
{
    if (!bound) {
        contract_violation(fmt::format("{} action {} must be published", section_.title, id));
    }
    return std::move(*bound);
}

ActionBinding<bool> SectionBindings::toggle(std::string_view id) const
{
    return required(bind_toggle(section_, id), id);
}

ActionBinding<double> SectionBindings::slider(std::string_view id) const
{
    return required(bind_slider(section_, id), id);
}

ActionBinding<std::string> SectionBindings::choice(std::string_view id) const
{
    return required(bind_choice(section_, id), id);
}

ActionBinding<std::string> SectionBindings::named_choice(std::string_view id) const
{
    return required(bind_named_choice(section_, id), id);
}

ActionBinding<Unit> SectionBindings::child_button(std::string_view child_id, std::string_view id) const
{
    const Resource* child = child_of(section_, child_id);
    if (child == nullptr) {
        contract_violation(fmt::format("{} resource {} must be published", section_.title, child_id));
    }
    return required(bind_button(*child, id), id);
}

ActionBinding<std::string> SectionBindings::child_choice(std::string_view child_id, std::string_view id) const
{
    const Resource* child = child_of(section_, child_id);
    if (child == nullptr) {
        contract_violation(fmt::format("{} resource {} must be published", section_.title, child_id));
    }
    return required(bind_choice(*child, id), id);
}

void SectionBindings::require_child(std::string_view child_id, std::string_view id) const
{
    const Resource* child = child_of(section_, child_id);
    if (child == nullptr || child->find_action(id) == nullptr) {
        contract_violation(fmt::format("{} action {} of {} must be published", section_.title, id, child_id));
    }
}

bool SectionBindings::has(std::string_view id) const { return section_.find_action(id) != nullptr; }

void SectionBindings::require(std::string_view id) const
{
    if (!has(id)) {
        contract_violation(fmt::format("{} action {} must be published", section_.title, id));
    }
}

std::vector<ChoiceRecord> distinct_choice_records(std::vector<ChoiceRecord> records, std::size_t limit)
{
    if (records.size() > limit) {
        VORN_INFO(kLogTag, "choice list: binding the first {} of {} entries", limit, records.size());
        records.resize(limit);
    }
    std::vector<std::string> labels;
    labels.reserve(records.size());
    for (const auto& record : records) {
        labels.push_back(record.label);
    }
    labels = distinct_labels(std::move(labels));
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].label = std::move(labels[i]);
    }
    return records;
}

Binding<bool> toggle_binding(const Resource& resource, std::string_view id)
{
    return optional_binding(bind_toggle(resource, id));
}

// ---- Sound

Binding<bool> sound_toggle_binding(std::string_view id)
{
    auto action = sound_switch_action(id);
    if (!action) {
        return std::nullopt;
    }
    return optional_binding(bind_toggle(single(Section::Sound, std::move(action)), id));
}

Binding<double> sound_slider_binding(std::string_view id)
{
    auto action = sound_level_action(id);
    if (!action) {
        return std::nullopt;
    }
    return optional_binding(bind_slider(single(Section::Sound, std::move(action)), id));
}

Binding<Unit> sound_unit_binding(std::string_view id)
{
    return optional_binding(bind_button(guarded(sound_resource()), id));
}

Binding<std::string> audio_device_choice_binding(std::string_view selector, std::vector<ChoiceRecord> devices)
{
    if (!one_of(selector, {"output-device", "input-device"}) || devices.empty()) {
        return std::nullopt;
    }
    auto action = audio_device_choice_action(selector, distinct_choice_records(std::move(devices)));
    return optional_binding(bind_choice(single(Section::Sound, std::move(action)), selector));
}

Binding<std::string> audio_profile_binding(std::uint32_t card_id, std::vector<ChoiceRecord> profiles)
{
    if (profiles.empty()) {
        return std::nullopt;
    }
    Resource resource(fmt::format("settings.audio-device:{}", card_id), "settings.audio-device",
                      fmt::format("Audio device {}", card_id));
    resource.actions.push_back(audio_profile_action(card_id, distinct_choice_records(std::move(profiles))));
    return optional_binding(bind_choice(guarded(std::move(resource)), "profile"));
}

namespace {

Resource stream_resource(std::uint32_t stream_id, bool playback, std::string_view label)
{
    return Resource(stream_resource_id(stream_id, playback),
                    playback ? "settings.audio-playback" : "settings.audio-recording", std::string(label));
}

}  // namespace

Binding<bool> stream_mute_binding(std::uint32_t stream_id, bool playback, std::string_view label)
{
    Resource resource = stream_resource(stream_id, playback, label);
    resource.actions.push_back(stream_muted_action(stream_id));
    return optional_binding(bind_toggle(guarded(std::move(resource)), "muted"));
}

Binding<double> stream_volume_binding(std::uint32_t stream_id, bool playback, std::string_view label)
{
    Resource resource = stream_resource(stream_id, playback, label);
    resource.actions.push_back(stream_volume_action(stream_id));
    return optional_binding(bind_slider(guarded(std::move(resource)), "volume"));
}

Binding<std::string> stream_route_binding(std::uint32_t stream_id, bool playback, std::string_view label,
                                          std::vector<ChoiceRecord> devices)
{
    Resource resource = stream_resource(stream_id, playback, label);
    resource.actions.push_back(
        stream_route_action(stream_id, playback, distinct_choice_records(std::move(devices), kChoiceLimit - 1)));
    return optional_binding(bind_choice(guarded(std::move(resource)), "route"));
}

// ---- Displays

Binding<bool> display_toggle_binding(std::string_view id)
{
    if (!one_of(id, {"auto_brightness", "night_light"})) {
        return std::nullopt;
    }
    return optional_binding(bind_toggle(single(Section::Displays, display_action(id)), id));
}

Binding<double> brightness_binding(std::string_view id)
{
    if (id != "brightness") {
        return std::nullopt;
    }
    return optional_binding(bind_slider(single(Section::Displays, display_action(id)), id));
}

Binding<std::string> night_light_warmth_binding(std::string_view id)
{
    if (id != "night_light_temperature") {
        return std::nullopt;
    }
    return optional_binding(bind_choice(single(Section::Displays, display_action(id)), id));
}

Binding<Unit> display_unit_binding(std::string_view id)
{
    return optional_binding(bind_button(guarded(displays_resource()), id));
}

Binding<bool> display_output_toggle_binding(std::string_view connector, std::string_view title, std::string_view id)
{
    auto action = display_output_switch_action(connector, id);
    if (!action) {
        return std::nullopt;
    }
    Resource resource(display_output_resource_id(connector), "settings.display-output", std::string(title));
    resource.actions.push_back(std::move(*action));
    return optional_binding(bind_toggle(guarded(std::move(resource)), id));
}

Binding<std::string> display_output_choice_binding(std::string_view connector, std::string_view title,
                                                   std::string_view id, std::vector<std::string> choices)
{
    if (choices.empty()) {
        return std::nullopt;
    }
    auto action = display_output_choice_action(connector, id, capped_texts(std::move(choices), id));
    if (!action) {
        return std::nullopt;
    }
    Resource resource(display_output_resource_id(connector), "settings.display-output", std::string(title));
    resource.actions.push_back(std::move(*action));
    return optional_binding(bind_choice(guarded(std::move(resource)), id));
}

// ---- Power

Binding<bool> power_toggle_binding(std::string_view id)
{
    return optional_binding(bind_toggle(guarded(power_resource()), id));
}

Binding<std::string> power_choice_binding(std::string_view id)
{
    return optional_binding(bind_choice(guarded(power_resource()), id));
}

Binding<std::string> charge_limit_binding(const std::vector<std::uint32_t>& supported_percentages,
                                          std::uint32_t default_percent)
{
    return optional_binding(
        bind_percent(single(Section::Power, charge_limit_spec(supported_percentages, default_percent)),
                     "set-charge-cap"));
}

// ---- Mouse & Keyboard

namespace {

Resource mouse_keyboard_rebuilt()
{
    return guarded(mouse_keyboard_resource(empty_document(), current_platform()->settings_file()));
}

}  // namespace

Binding<bool> mouse_keyboard_toggle_binding(std::string_view id)
{
    return optional_binding(bind_toggle(mouse_keyboard_rebuilt(), id));
}

Binding<double> mouse_keyboard_slider_binding(std::string_view id)
{
    return optional_binding(bind_slider(mouse_keyboard_rebuilt(), id));
}

Binding<std::string> mouse_keyboard_choice_binding(std::string_view id)
{
    return optional_binding(bind_named_choice(mouse_keyboard_rebuilt(), id));
}

Binding<Unit> input_source_binding(std::string_view identifier, std::string_view id)
{
    const Resource section = mouse_keyboard_rebuilt();
    const Resource* source = child_of(section, "settings.input-source:" + std::string(identifier));
    if (source == nullptr) {
        return std::nullopt;
    }
    return optional_binding(bind_button(*source, id));
}

SectionBindings mouse_keyboard_bindings() { return SectionBindings(mouse_keyboard_rebuilt()); }

// ---- Accessibility

namespace {

Resource accessibility_rebuilt()
{
    return guarded(accessibility_resource(empty_document(), prefs::SettingsFile{}));
}

}  // namespace

Binding<bool> accessibility_toggle_binding(std::string_view id)
{
    return optional_binding(bind_toggle(accessibility_rebuilt(), id));
}

Binding<std::string> accessibility_choice_binding(std::string_view id)
{
    return optional_binding(bind_choice(accessibility_rebuilt(), id));
}

SectionBindings accessibility_bindings() { return SectionBindings(accessibility_rebuilt()); }

SectionBindings network_bindings() { return SectionBindings(guarded(network_resource())); }

SectionBindings users_bindings() { return SectionBindings(guarded(users_resource())); }

SectionBindings storage_bindings() { return SectionBindings(guarded(storage_resource())); }

SectionBindings region_bindings() { return SectionBindings(guarded(region_formats_resource(empty_document()))); }

SectionBindings appearance_bindings()
{
    return SectionBindings(guarded(appearance_resource(empty_document(), prefs::SettingsFile{})));
}

// ---- Network, Bluetooth, Updates, Time & Date

Binding<bool> network_toggle_binding(std::string_view id)
{
    return optional_binding(bind_toggle(guarded(network_resource()), id));
}

Binding<bool> bluetooth_toggle_binding(std::string_view id)
{
    return optional_binding(bind_toggle(guarded(bluetooth_resource()), id));
}

Binding<bool> updates_toggle_binding(std::string_view id)
{
    return optional_binding(bind_toggle(guarded(updates_resource()), id));
}

Binding<std::string> updates_choice_binding()
{
    return optional_binding(bind_choice(guarded(updates_resource()), "schedule"));
}

Binding<Unit> updates_unit_binding(std::string_view id)
{
    return optional_binding(bind_button(guarded(updates_resource()), id));
}

Binding<bool> time_date_toggle_binding(std::string_view id)
{
    return optional_binding(bind_toggle(guarded(time_date_resource()), id));
}

Binding<std::string> time_date_choice_binding(std::string_view id)
{
    return optional_binding(bind_choice(guarded(time_date_resource()), id));
}

SectionBindings notifications_bindings()
{
    return SectionBindings(guarded(notifications_resource(empty_document(), prefs::SettingsFile{})));
}

SectionBindings default_apps_bindings() { return SectionBindings(guarded(default_apps_resource(empty_document()))); }

SectionBindings time_date_bindings() { return SectionBindings(guarded(time_date_resource())); }

Binding<bool> time_toggle_binding(std::string_view id)
{
    return time_date_toggle_binding(id);
}

Binding<std::string> time_zone_binding()
{
    return time_date_choice_binding("timezone");
}

// ---- Devices & Sync

Binding<bool> device_mesh_toggle_binding(std::string_view id)
{
    return optional_binding(bind_toggle(guarded(devices_sync_resource()), id));
}

Binding<std::string> device_mesh_choice_binding(std::string_view id)
{
    return optional_binding(bind_choice(guarded(devices_sync_resource()), id));
}

Binding<bool> workspace_availability_binding(std::uint64_t workspace_id)
{
    const Resource section = guarded(devices_sync_resource());
    const Resource* workspace = child_of(section, fmt::format("settings.device-mesh-workspace:{}", workspace_id));
    if (workspace == nullptr) {
        return std::nullopt;
    }
    return optional_binding(bind_toggle(*workspace, "set-available"));
}

// ---- Agent Models

Binding<Unit> agent_provider_unit_binding(const Resource& resource, std::optional<std::string_view> provider_id,
                                          std::string_view id)
{
    const Resource* holder = &resource;
    if (provider_id) {
        holder = child_of(resource, "settings.agent-provider:" + std::string(*provider_id));
        if (holder == nullptr) {
            return std::nullopt;
        }
    }
    const ActionSpec* action = holder->find_action(id);
    if (action == nullptr || !action->params.empty()) {
        return std::nullopt;
    }
    return optional_binding(bind_button(*holder, id));
}

// ---- External Accounts

Binding<Unit> external_account_binding(std::string_view resource_id, std::string_view resource_title,
                                       std::string_view action_id, std::string_view action_title,
                                       std::uint8_t effect_class, const AccountOperation& operation, bool destructive)
{
    auto action = account_action(action_id, action_title, effect_class, operation, destructive);
    if (!action) {
        return std::nullopt;
    }
    Resource resource(std::string(resource_id), "settings.external-account", std::string(resource_title));
    resource.actions.push_back(std::move(*action));
    return optional_binding(bind_button(guarded(std::move(resource)), action_id));
}

}  // namespace settings::actions::catalogue
