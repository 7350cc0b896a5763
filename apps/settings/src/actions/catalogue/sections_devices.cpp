// Displays, Sound, Power, Mouse & Keyboard, Keyboard Shortcuts, Appearance and Accessibility.

#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "actions/catalogue/support.hpp"
#include "actions/set_setting.hpp"
#include "panes/display/labels/labels.hpp"
#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"
#include "setting_tables/accessibility.hpp"
#include "setting_tables/appearance.hpp"
#include "setting_tables/labels.hpp"

#include <fmt/format.h>

#include <array>

namespace settings::actions::catalogue {

namespace {

namespace labels = panes::display::labels;
namespace choices = setting_tables;

using Tags = std::initializer_list<std::string_view>;

ActionSpec with_tags(ActionSpec spec, Tags list)
{
    return std::move(spec).with_contract(tags(list));
}

// A switch ("value", "Enabled"), a level ("value", 0 to 1) and a choice ("choice") of one operation kind.
ActionSpec switch_spec(std::string_view id, std::string_view title, std::string_view kind, Parser parser, Tags list,
                       std::string_view param_title = param_titles::enabled)
{
    return with_tags(new_action_spec(id, title, hints::on_off_device, effect_operation, kind,
                                     {switch_param(param_title)}, std::move(parser)),
                     list);
}

ActionSpec level_spec(std::string_view id, std::string_view title, std::string_view kind, Parser parser, Tags list,
                      std::string_view param_title = param_titles::value, std::string_view hint = hints::level)
{
    return requiring_number(
        with_tags(new_action_spec(id, title, hint, effect_operation, kind, {level_param(param_title)},
                                  std::move(parser)),
                  list));
}

ActionSpec choice_spec(std::string_view id, std::string_view title, std::string_view kind,
                       std::vector<std::string> offered, Parser parser, Tags list,
                       std::string_view param_title = param_titles::choice,
                       std::string_view hint = hints::choice_device)
{
    return with_tags(new_action_spec(id, title, hint, effect_operation, kind,
                                     {choice_param(std::move(offered), param_title)}, std::move(parser)),
                     list);
}

std::vector<std::string> texts(std::span<const std::string_view> list)
{
    return {list.begin(), list.end()};
}

std::string current_text(const page_doc::Document& doc, std::string_view key, std::string_view fallback)
{
    if (auto text = page_doc::doc_text(doc, key)) {
        return *text;
    }
    return std::string(fallback);
}

bool current_bool(const page_doc::Document& doc, std::string_view key, bool fallback)
{
    return page_doc::doc_bool(doc, key).value_or(fallback);
}

std::vector<std::string> labels_of(const std::vector<ChoiceRecord>& records)
{
    std::vector<std::string> out;
    out.reserve(records.size());
    for (const auto& record : records) {
        out.push_back(record.label);
    }
    return out;
}

// Device choices of the audio graph: cleaned labels, repeats told apart, capped.
std::vector<ChoiceRecord> device_records(const std::vector<sound_graph::audio::AudioNode>& nodes, std::size_t limit,
                                         std::string_view what)
{
    auto shown = capped(nodes, limit, what);
    auto names = audio_device_labels(shown);
    std::vector<ChoiceRecord> records;
    records.reserve(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        records.push_back({std::move(names[i]), shown[i].id});
    }
    return records;
}

}  // namespace

// ---- Displays -------------------------------------------------------------------------------------------------------

std::optional<ActionSpec> display_action(std::string_view id)
{
    const auto kind = DisplayOperation::kind;
    const Tags hardware{"device-local", "display", "hardware"};
    if (id == "auto_brightness") {
        return switch_spec(id, "Set automatic brightness", kind, auto_brightness_parser(), hardware);
    }
    if (id == "night_light") {
        return switch_spec(id, "Set Night Light", kind, night_light_parser(), hardware);
    }
    if (id == "night_light_temperature") {
        return choice_spec(id, "Set Night Light warmth", kind, labels::warmth_choices(),
                           night_light_temperature_parser(), hardware);
    }
    if (id == "brightness") {
        return level_spec(id, "Set brightness", kind, brightness_parser(), hardware);
    }
    if (id == "scale") {
        return choice_spec(id, "Set display scale", kind, labels::scale_choices(), display_scale_parser(), hardware);
    }
    return std::nullopt;
}

std::string display_output_resource_id(std::string_view connector)
{
    return fmt::format("settings.display-output:{}", connector);
}

std::optional<ActionSpec> display_output_switch_action(std::string_view connector, std::string_view id)
{
    struct Row {
        std::string_view id;
        std::string_view title;
        OutputSwitch which;
    };
    static constexpr std::array<Row, 4> rows{{{"enabled", "Set display enabled", OutputSwitch::Enabled},
                                              {"primary", "Set primary display", OutputSwitch::Primary},
                                              {"hdr", "Set HDR", OutputSwitch::Hdr},
                                              {"vrr", "Set variable refresh rate", OutputSwitch::Vrr}}};
    for (const auto& row : rows) {
        if (row.id == id) {
            return switch_spec(row.id, row.title, DisplayOperation::kind,
                               output_switch_parser(std::string(connector), row.which),
                               {"device-local", "display", "live-output"});
        }
    }
    return std::nullopt;
}

std::optional<ActionSpec> display_output_choice_action(std::string_view connector, std::string_view id,
                                                       std::vector<std::string> offered)
{
    struct Row {
        std::string_view id;
        std::string_view title;
    };
    static constexpr std::array<Row, 6> rows{{{"scale", "Set output scale"},
                                              {"position", "Set output position"},
                                              {"mirror", "Set output mirroring"},
                                              {"mode", "Set resolution and refresh rate"},
                                              {"transform", "Set display orientation"},
                                              {"color-profile", "Set colour profile"}}};
    for (const auto& row : rows) {
        if (row.id == id) {
            return choice_spec(row.id, row.title, DisplayOperation::kind, std::move(offered),
                               output_choice_parser(std::string(connector), row.id),
                               {"device-local", "display", "live-output"});
        }
    }
    return std::nullopt;
}

Resource displays_resource()
{
    Resource section = bare_section_resource(Section::Displays);
    for (std::string_view id : {"auto_brightness", "night_light", "night_light_temperature", "brightness", "scale"}) {
        add_action(section, display_action(id));
    }
    const Tags transaction{"device-local", "display", "transaction"};
    add_action(section, fixed_action("apply", "Apply staged display changes", DisplayOperation(DisplayOperation::Apply{}),
                                     tags(transaction)));
    add_action(section, fixed_action("confirm", "Keep display changes",
                                     DisplayOperation(DisplayOperation::Confirm{}), tags(transaction)));
    add_action(section, fixed_action("revert", "Revert display changes", DisplayOperation(DisplayOperation::Revert{}),
                                     tags(transaction)));

    auto snapshot = current_platform()->display_snapshot();
    if (!snapshot) {
        VORN_INFO(kLogTag, "no display outputs published: {}", snapshot.error());
        return section;
    }
    // The published outputs, and the text that names each in the others' position and mirror choices: the
    // output label the Displays page reads back, cleaned like every text from the system.
    std::vector<const config_sections::hardware::OutputDescriptor*> outputs;
    std::vector<labels::NamedOutput> names;
    PublishedKeys published("a display output");
    for (const auto& output : capped(snapshot->outputs, kObjectLimit, "display outputs")) {
        if (published.admit(output.connector)) {
            outputs.push_back(&output);
            names.push_back({output.connector, clean_label(labels::output_label(output), output.connector)});
        }
    }
    for (const auto* published_output : outputs) {
        const auto& output = *published_output;
        const std::string& connector = output.connector;
        // The output name, told apart from another output of the same name by its card qualifier.
        std::string title = labels::output_name(output);
        if (auto qualifier = output.card_qualifier()) {
            title += " \u00B7 " + *qualifier;
        }
        Resource resource(display_output_resource_id(connector), "settings.display-output",
                          clean_label(title, connector));
        add_action(resource, display_output_switch_action(connector, "enabled"));
        add_action(resource, display_output_choice_action(connector, "scale", labels::scale_choices()));
        add_action(resource,
                   display_output_choice_action(connector, "position",
                                                labels::catalogue_position_choices(names, connector)));
        add_action(resource, display_output_choice_action(connector, "mirror",
                                                          labels::catalogue_mirror_choices(names, connector)));
        add_action(resource, display_output_switch_action(connector, "primary"));
        if (output.modes.size() > labels::kCatalogueModeLimit) {
            VORN_INFO(kLogTag, "modes of {}: publishing the first {} of {}", connector, labels::kCatalogueModeLimit,
                      output.modes.size());
        }
        add_action(resource, display_output_choice_action(connector, "mode",
                                                          plain_choices(labels::catalogue_mode_choices(output), "modes")));
        add_action(resource, display_output_choice_action(connector, "transform", labels::orientation_choices()));
        add_action(resource, display_output_switch_action(connector, "hdr"));
        add_action(resource, display_output_switch_action(connector, "vrr"));
        add_action(resource, display_output_choice_action(
                                 connector, "color-profile",
                                 plain_choices(labels::catalogue_color_profile_choices(output), "colour profiles")));
        section = std::move(section).with_child(std::move(resource));
    }
    return section;
}

// ---- Sound ----------------------------------------------------------------------------------------------------------

std::optional<ActionSpec> sound_switch_action(std::string_view id)
{
    if (id == "muted") {
        return switch_spec(id, "Set output mute", AudioOperation::kind, output_muted_parser(),
                           {"device-local", "audio", "hardware"});
    }
    if (id == "mono") {
        return switch_spec(id, "Set mono output", AudioOperation::kind, mono_parser(),
                           {"device-local", "audio", "session"});
    }
    return std::nullopt;
}

std::optional<ActionSpec> sound_level_action(std::string_view id)
{
    if (id == "volume") {
        return level_spec(id, "Set output volume", AudioOperation::kind, output_volume_parser(),
                          {"device-local", "audio", "hardware"});
    }
    if (id == "input-volume") {
        return level_spec(id, "Set input volume", AudioOperation::kind, input_volume_parser(),
                          {"device-local", "audio", "hardware"});
    }
    if (id == "balance") {
        return level_spec(id, "Set output balance", AudioOperation::kind, balance_parser(),
                          {"device-local", "audio", "session"});
    }
    return std::nullopt;
}

std::optional<ActionSpec> audio_device_choice_action(std::string_view selector, std::vector<ChoiceRecord> devices)
{
    std::string_view title;
    if (selector == "output-device") {
        title = "Set output device";
    } else if (selector == "input-device") {
        title = "Set input device";
    } else {
        return std::nullopt;
    }
    auto offered = labels_of(devices);
    return choice_spec(selector, title, AudioOperation::kind, std::move(offered),
                       audio_device_choice_parser(selector, std::move(devices)),
                       {"device-local", "audio", "live-device"});
}

ActionSpec audio_profile_action(std::uint32_t card_id, std::vector<ChoiceRecord> profiles)
{
    auto offered = labels_of(profiles);
    return choice_spec("profile", "Set audio device profile", AudioOperation::kind, std::move(offered),
                       device_profile_parser(card_id, std::move(profiles)), {"device-local", "audio", "live-device"});
}

std::string stream_resource_id(std::uint32_t stream_id, bool playback)
{
    return fmt::format("{}{}", playback ? "settings.audio-playback:" : "settings.audio-recording:", stream_id);
}

ActionSpec stream_route_action(std::uint32_t stream_id, bool playback, std::vector<ChoiceRecord> devices)
{
    std::vector<std::string> offered{"Default"};
    for (const auto& device : devices) {
        offered.push_back(device.label);
    }
    return choice_spec("route", "Set audio stream route", AudioOperation::kind, std::move(offered),
                       stream_route_parser(stream_id, playback, std::move(devices)),
                       {"device-local", "audio", "live-stream"});
}

ActionSpec stream_volume_action(std::uint32_t stream_id)
{
    return level_spec("volume", "Set audio stream volume", AudioOperation::kind, stream_volume_parser(stream_id),
                      {"device-local", "audio", "live-stream"});
}

ActionSpec stream_muted_action(std::uint32_t stream_id)
{
    return switch_spec("muted", "Set audio stream mute", AudioOperation::kind, stream_muted_parser(stream_id),
                       {"device-local", "audio", "live-stream"});
}

Resource sound_resource()
{
    Resource section = bare_section_resource(Section::Sound);
    add_action(section, sound_switch_action("muted"));
    add_action(section, sound_level_action("volume"));
    add_action(section, sound_level_action("balance"));
    add_action(section, sound_switch_action("mono"));
    add_action(section, sound_level_action("input-volume"));

    struct Diagnostic {
        std::string_view id;
        std::string_view title;
        AudioOperation operation;
    };
    const std::array<Diagnostic, 4> diagnostics{{
        {"diagnostics", "Show or hide speaker diagnostics", AudioOperation(AudioOperation::ToggleDiagnostics{})},
        {"test-left", "Test left speaker", AudioOperation(AudioOperation::TestChannel{true})},
        {"test-right", "Test right speaker", AudioOperation(AudioOperation::TestChannel{false})},
        {"microphone-meter", "Start or stop microphone meter",
         AudioOperation(AudioOperation::ToggleMicrophoneMeter{})},
    }};
    for (const auto& row : diagnostics) {
        add_action(section, fixed_action(row.id, row.title, row.operation, tags({"device-local", "audio", "diagnostic"})));
    }

    const auto graph = current_platform()->audio_graph();
    const auto outputs = device_records(graph.sinks, kChoiceLimit, "output device choices");
    const auto inputs = device_records(graph.sources, kChoiceLimit, "input device choices");
    if (!outputs.empty()) {
        add_action(section, audio_device_choice_action("output-device", outputs));
    }
    if (!inputs.empty()) {
        add_action(section, audio_device_choice_action("input-device", inputs));
    }

    // One resource per device, titled with the same distinct label its choice carries.
    const auto output_objects = device_records(graph.sinks, kObjectLimit, "audio outputs");
    for (const auto& device : output_objects) {
        Resource resource(fmt::format("settings.audio-output:{}", device.value), "settings.audio-output", device.label);
        add_action(resource, fixed_action("select", "Use as output device",
                                          AudioOperation(AudioOperation::SelectOutput{device.value}),
                                          tags({"device-local", "audio", "live-device"})));
        section = std::move(section).with_child(std::move(resource));
    }
    const auto input_objects = device_records(graph.sources, kObjectLimit, "audio inputs");
    for (const auto& device : input_objects) {
        Resource resource(fmt::format("settings.audio-input:{}", device.value), "settings.audio-input", device.label);
        add_action(resource, fixed_action("select", "Use as input device",
                                          AudioOperation(AudioOperation::SelectInput{device.value}),
                                          tags({"device-local", "audio", "live-device"})));
        section = std::move(section).with_child(std::move(resource));
    }
    for (const auto& card : capped(graph.devices, kObjectLimit, "audio cards")) {
        if (card.profiles.empty()) {
            continue;
        }
        const auto shown = capped(card.profiles, kChoiceLimit, "audio card profiles");
        auto names = audio_profile_labels(shown);
        std::vector<ChoiceRecord> profiles;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            profiles.push_back({std::move(names[i]), shown[i].index});
        }
        Resource resource(fmt::format("settings.audio-device:{}", card.id), "settings.audio-device",
                          fmt::format("Audio device {}", card.id));
        resource.actions.push_back(audio_profile_action(card.id, std::move(profiles)));
        section = std::move(section).with_child(std::move(resource));
    }
    const auto route_outputs = device_records(graph.sinks, kChoiceLimit - 1, "stream route choices");
    const auto route_inputs = device_records(graph.sources, kChoiceLimit - 1, "stream route choices");
    for (bool playback : {true, false}) {
        const auto& streams = playback ? graph.playback_streams : graph.recording_streams;
        for (const auto& stream : capped(streams, kObjectLimit, "audio streams")) {
            Resource resource(stream_resource_id(stream.id, playback),
                              playback ? "settings.audio-playback" : "settings.audio-recording",
                              clean_label(stream.label(), fmt::format("Stream {}", stream.id)));
            resource.actions.push_back(stream_route_action(stream.id, playback, playback ? route_outputs : route_inputs));
            resource.actions.push_back(stream_volume_action(stream.id));
            resource.actions.push_back(stream_muted_action(stream.id));
            section = std::move(section).with_child(std::move(resource));
        }
    }
    return section;
}

// ---- Power ----------------------------------------------------------------------------------------------------------

ActionSpec charge_limit_spec(const std::vector<std::uint32_t>& supported_percentages, std::uint32_t current_percent)
{
    std::vector<std::string> offered;
    for (std::uint32_t percent : supported_percentages) {
        offered.push_back(fmt::format("{}%", percent));
    }
    auto param = vorn_actions::ActionParam("percent", "Charge percentage", vorn_actions::ParamType::Text)
                     .with_choices(std::move(offered));
    return new_action_spec("set-charge-cap", "Set battery charge cap", hints::charge_cap, effect_operation,
                           PowerOperation::kind, {std::move(param)}, charge_limit_parser(current_percent))
        .with_contract(tags({"device-local", "hardware"}))
        .privileged();
}

Resource power_resource()
{
    Resource section = bare_section_resource(Section::Power);
    const Tags power{"device-local", "power"};
    section.actions.push_back(
        switch_spec("auto_suspend", "Set automatic suspend", PowerOperation::kind, power_auto_suspend_parser(), power));

    const std::vector<std::string> suspend{"5 minutes", "10 minutes", "15 minutes", "30 minutes",
                                           "45 minutes", "1 hour",     "Never"};
    const std::vector<std::string> blank{"1 minute", "5 minutes", "10 minutes", "15 minutes", "30 minutes", "Never"};
    struct ChoiceRow {
        std::string_view id;
        std::string_view title;
        const std::vector<std::string>* offered;
        std::string_view selector;
    };
    const std::vector<std::string> profiles{"Power Saver", "Balanced", "Performance"};
    const std::array<ChoiceRow, 7> choice_rows{{
        {"profile", "Set power profile", &profiles, "active"},
        {"suspend-after", "Set idle suspend delay", &suspend, "default"},
        {"blank-after", "Set screen blank delay", &blank, "blank"},
        {"lock-after", "Set automatic lock delay", &blank, "lock"},
        {"saver-suspend", "Set Power Saver suspend delay", &suspend, "saver"},
        {"balanced-suspend", "Set Balanced suspend delay", &suspend, "balanced"},
        {"performance-suspend", "Set Performance suspend delay", &suspend, "performance"},
    }};
    for (const auto& row : choice_rows) {
        section.actions.push_back(choice_spec(row.id, row.title, PowerOperation::kind, *row.offered,
                                              power_choice_parser(row.selector), power));
    }
    const std::vector<std::string> reactions{"Suspend", "Lock screen", "Do nothing"};
    struct ReactionRow {
        std::string_view id;
        std::string_view title;
        std::string_view selector;
    };
    static constexpr std::array<ReactionRow, 3> reaction_rows{{{"lid", "Set lid-close action", "lid"},
                                                               {"power_key", "Set power-key action", "power-key"},
                                                               {"critical", "Set critical-battery action", "critical"}}};
    for (const auto& row : reaction_rows) {
        section.actions.push_back(
            choice_spec(row.id, row.title, PowerOperation::kind, reactions, power_action_parser(row.selector), power));
    }
    if (auto capability = current_platform()->charge_capability()) {
        section.actions.push_back(charge_limit_spec(capability->supported_percentages, capability->current_percent));
    }
    return section;
}

// ---- Mouse & Keyboard -----------------------------------------------------------------------------------------------

namespace {

std::string layout_label(std::span<const keyboard_layouts::KeyboardLayout> catalog, std::string_view id)
{
    if (const auto* layout = keyboard_layouts::find_by_id(catalog, id)) {
        return layout->label;
    }
    return std::string(id);
}

ActionSpec input_choice_spec(std::string_view id, std::string_view title, std::vector<std::string> offered,
                             InputChoiceConstructor make, std::string fallback)
{
    return choice_spec(id, title, InputOperation::kind, std::move(offered),
                       input_choice_parser(make, std::move(fallback)), {"device-local", "input"},
                       param_titles::device_local_input_value, hints::input_preference);
}

}  // namespace

Resource mouse_keyboard_resource(const page_doc::Document& doc, const prefs::SettingsFile& file)
{
    Resource section = bare_section_resource(Section::MouseKeyboard);
    const Tags input{"device-local", "input"};
    struct SwitchRow {
        std::string_view id;
        std::string_view title;
        InputOperation operation;
    };
    const std::array<SwitchRow, 8> switches{{
        {"touchpad-natural-scroll", "Set touchpad natural scrolling",
         InputOperation(InputOperation::SetTouchpadNaturalScroll{})},
        {"mouse-natural-scroll", "Set mouse natural scrolling", InputOperation(InputOperation::SetMouseNaturalScroll{})},
        {"tap-to-click", "Set tap to click", InputOperation(InputOperation::SetTapToClick{})},
        {"tap-drag", "Set tap and drag", InputOperation(InputOperation::SetTapDrag{})},
        {"disable-while-typing", "Set disable while typing", InputOperation(InputOperation::SetDisableWhileTyping{})},
        {"middle-emulation", "Set middle-button emulation", InputOperation(InputOperation::SetMiddleEmulation{})},
        {"left-handed", "Set left-handed pointer buttons", InputOperation(InputOperation::SetLeftHanded{})},
        {"touchpad-gestures", "Set touchpad gestures", InputOperation(InputOperation::SetTouchpadGestures{})},
    }};
    for (const auto& row : switches) {
        section.actions.push_back(switch_spec(row.id, row.title, InputOperation::kind,
                                              input_switch_parser(row.operation), input,
                                              param_titles::local_preference));
    }
    const std::array<SwitchRow, 3> levels{{
        {"touchpad-speed", "Set touchpad speed", InputOperation(InputOperation::SetTouchpadPointerSpeed{})},
        {"mouse-speed", "Set mouse speed", InputOperation(InputOperation::SetMousePointerSpeed{})},
        {"key-repeat", "Set key-repeat rate", InputOperation(InputOperation::SetKeyRepeat{})},
    }};
    for (const auto& row : levels) {
        section.actions.push_back(level_spec(row.id, row.title, InputOperation::kind, input_level_parser(row.operation),
                                             input, param_titles::local_input_value, hints::input_level));
    }
    section.actions.push_back(input_choice_spec(
        "acceleration-profile", "Set pointer acceleration profile",
        {setting_tables::kAccelerationLabels.begin(), setting_tables::kAccelerationLabels.end()},
        make_acceleration_profile, std::string(setting_tables::acceleration_label(file.input.accel_profile))));
    section.actions.push_back(input_choice_spec(
        "compose-key", "Set compose key",
        {setting_tables::kComposeKeyLabels.begin(), setting_tables::kComposeKeyLabels.end()}, make_compose_key,
        std::string(setting_tables::compose_key_label(file.input.compose_key))));
    section.actions.push_back(setting_action_spec("spell-checking", "text.check_spelling",
                                                  current_bool(doc, "text.check_spelling", true),
                                                  "spell checking while typing"));
    section.actions.push_back(setting_action_spec("auto-correct", "text.auto_correct",
                                                  current_bool(doc, "text.auto_correct", true),
                                                  "automatic spelling correction"));

    auto platform = current_platform();
    const auto catalog = platform->keyboard_layouts();
    const auto sources = capped(file.input.keyboard_layouts, kObjectLimit, "keyboard input sources");
    std::vector<std::string> source_labels;
    for (const auto& source : sources) {
        source_labels.push_back(clean_label(layout_label(catalog, source), source));
    }
    section.actions.push_back(input_choice_spec("active-source", "Set active keyboard input source", source_labels,
                                                make_active_source,
                                                clean_label(layout_label(catalog, file.input.keyboard_layout))));
    std::vector<std::string> installed;
    installed.reserve(catalog.size());
    for (const auto& layout : catalog) {
        installed.push_back(layout.label);
    }
    // Without a label nothing names a layout: the empty label, which the runner refuses, rather than some layout.
    auto layout_param = vorn_actions::ActionParam("label", "Installed layout", vorn_actions::ParamType::Text)
                            .with_choices(plain_choices(std::move(installed), "keyboard layouts"));
    section.actions.push_back(new_action_spec("add-source", "Add keyboard input source", hints::keyboard_layout,
                                              effect_operation, KeyboardSourceOperation::kind,
                                              {std::move(layout_param)}, add_source_parser(std::string()))
                                  .with_contract(tags({"device-local", "input-source"})));

    PublishedKeys published("a keyboard input source");
    for (std::size_t index = 0; index < sources.size(); ++index) {
        if (!published.admit(sources[index])) {
            continue;
        }
        Resource resource("settings.input-source:" + sources[index], "settings.input-source", source_labels[index]);
        add_action(resource, fixed_action("move-up", "Move input source up",
                                          KeyboardSourceOperation(KeyboardSourceOperation::MoveUp{index}),
                                          tags({"device-local", "input-source"})));
        add_action(resource, fixed_action("move-down", "Move input source down",
                                          KeyboardSourceOperation(KeyboardSourceOperation::MoveDown{index}),
                                          tags({"device-local", "input-source"})));
        add_action(resource, fixed_action("remove", "Remove input source",
                                          KeyboardSourceOperation(KeyboardSourceOperation::Remove{index}),
                                          tags({"device-local", "input-source"})));
        section = std::move(section).with_child(std::move(resource));
    }
    return section;
}

// ---- Keyboard Shortcuts -----------------------------------------------------------------------------------------------

Resource keyboard_shortcuts_resource(const page_doc::Document& doc)
{
    namespace shortcuts = panes::keyboard_shortcuts::catalogue;
    Resource section = bare_section_resource(Section::KeyboardShortcuts);
    section.actions.push_back(setting_action_spec("vim-mode", "shortcuts.vim_mode",
                                                  current_bool(doc, "shortcuts.vim_mode", false),
                                                  "Vim-style desktop navigation"));
    for (const auto& [id, label] : shortcuts::shortcut_entries()) {
        section.actions.push_back(
            shortcut_text_spec(shortcuts::shortcut_action_name(id), fmt::format("Set {} shortcut", label),
                               hints::shortcut,
                               {vorn_actions::ActionParam("choice", "Shortcut", vorn_actions::ParamType::Text)}, id)
                .with_contract(system_setting_contract()));
    }
    return section;
}

// ---- Appearance -------------------------------------------------------------------------------------------------------

namespace {

ActionSpec list_choice_spec(std::string_view id, std::string_view title, std::string_view key,
                            choices::ChoiceList list, std::string fallback)
{
    return setting_choice_spec(id, title, key, list.hint, texts(list.choices), std::move(fallback));
}

}  // namespace

Resource appearance_resource(const page_doc::Document& doc, const prefs::SettingsFile& file)
{
    namespace table = setting_tables::appearance;
    Resource section = bare_section_resource(Section::Appearance);
    const auto& prefs = file.appearance;
    for (const table::Setting& row : table::settings()) {
        if (row.kind == table::Kind::Switch) {
            section.actions.push_back(setting_action_spec(row.action, row.key,
                                                          current_bool(doc, row.key, row.flag(prefs)),
                                                          row.action_text));
        } else {
            // The stored value, not a fixed default: invoking the action without a choice keeps the user's value.
            section.actions.push_back(list_choice_spec(row.action, row.action_text, row.key, row.choices,
                                                       current_text(doc, row.key, row.label(prefs))));
        }
    }
    return section;
}

// ---- Accessibility ----------------------------------------------------------------------------------------------------

Resource accessibility_resource(const page_doc::Document& doc, const prefs::SettingsFile& file)
{
    namespace table = setting_tables::accessibility;
    Resource section = bare_section_resource(Section::Accessibility);
    auto platform = current_platform();
    const bool reader = platform->has_screen_reader_engine();
    const bool keyboard = platform->has_on_screen_keyboard();
    const table::Values values{file.appearance, file.accessibility};
    // The switches, then the choices (the table's order).
    for (const table::Setting& row : table::settings()) {
        if (!table::offered(row, reader, keyboard)) {
            continue;
        }
        if (row.kind == table::Kind::Switch) {
            section.actions.push_back(setting_toggle_spec(row.action, row.action_title, row.key));
        } else {
            section.actions.push_back(list_choice_spec(row.action, row.action_title, row.key, row.choices,
                                                       current_text(doc, row.key, row.label(values))));
        }
    }
    return section;
}

}  // namespace settings::actions::catalogue
