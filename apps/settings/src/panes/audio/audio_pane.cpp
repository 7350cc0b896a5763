#include "panes/audio/audio_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/contract.hpp"
#include "page_helpers/layout.hpp"
#include "prefs/settings_file.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <cmath>
#include <utility>

namespace settings::panes::audio {

namespace {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
using vorn_ui::Button;
using vorn_ui::Column;
using vorn_ui::Dropdown;
using vorn_ui::Row;
using vorn_ui::Slider;
using vorn_ui::Spacer;
using vorn_ui::Text;
using vorn_ui::Toggle;
using WidgetBox = ph::WidgetBox;

// While a speaker test or the meter runs the page looks at it this often.
constexpr std::chrono::milliseconds test_poll{100};

// A control the page always shows is bound to its action; one the contract lacks stops the program.
template <class T>
vorn_actions::ActionBinding<T> required(cat::Binding<T> binding, std::string_view missing)
{
    if (!binding) {
        actions::contract_violation(missing);
    }
    return std::move(*binding);
}

std::string stream_title_id(std::uint32_t stream_id) { return fmt::format("audio.text.stream.{}", stream_id); }
std::string codec_text_id(std::uint32_t sink_id) { return fmt::format("audio.text.codec.{}", sink_id); }
std::string codec_text(const sg::AudioNode& sink) { return fmt::format("{} codec", sink.codec.value_or("")); }

std::string_view diagnostics_caption(bool shown) { return shown ? "Hide speaker test" : "Test speakers"; }
std::string_view mic_caption(bool running) { return running ? "Stop test" : "Test microphone"; }

std::vector<std::string> names_of(const std::vector<sg::DeviceChoice>& choices)
{
    std::vector<std::string> names;
    names.reserve(choices.size());
    for (const auto& choice : choices) {
        names.push_back(choice.name);
    }
    return names;
}

std::vector<actions::ChoiceRecord> records_of(const std::vector<sg::DeviceChoice>& choices)
{
    std::vector<actions::ChoiceRecord> records;
    records.reserve(choices.size());
    for (const auto& choice : choices) {
        records.push_back({.label = choice.name, .value = choice.id});
    }
    return records;
}

bool stereo_output(const AudioModel& model)
{
    const auto* sink = model.graph().default_sink();
    return sink != nullptr && sink->channels == 2;
}

bool meter_shown(const AudioModel& model)
{
    return model.capabilities().microphone_meter && model.graph().default_source() != nullptr;
}

WidgetBox card(std::string_view title, std::vector<WidgetBox> rows)
{
    return ph::labelled_card(title, std::make_unique<Column>(ph::compact_stack(std::move(rows))));
}

WidgetBox buttons(std::vector<WidgetBox> items)
{
    return Row().with_spacing(8.0f).with_children(std::move(items)).push(Spacer::flexible()).boxed();
}

// "Output device" or "Input device": a choice among two or more devices, bound when the contract offers it.
WidgetBox device_row(std::string_view title, std::string_view id, std::string_view selector,
                     const std::vector<sg::DeviceChoice>& choices, const sg::DeviceChoice* current)
{
    auto dropdown = Dropdown(std::string(id), names_of(choices)).with_key(std::string(id)).with_label(std::string(title));
    if (current != nullptr) {
        dropdown = std::move(dropdown).with_placeholder(current->name);
    }
    if (auto binding = cat::audio_device_choice_binding(selector, records_of(choices))) {
        dropdown = std::move(dropdown).on_action(std::move(*binding));
    }
    return ph::setting_row_fixed(title, std::move(dropdown).boxed());
}

WidgetBox output_card(const AudioModel& model)
{
    std::vector<WidgetBox> rows;
    const auto& choices = model.choices();
    if (choices.outputs.size() >= 2) {
        rows.push_back(device_row("Output device", output_device_key, "output-device", choices.outputs,
                                  choices.default_output()));
    }
    rows.push_back(ph::setting_row(
        "Volume", Slider("settings.audio.volume", std::string(volume_key))
                      .with_id(std::string(volume_control_id))
                      .with_label("Volume")
                      .on_action(required(cat::sound_slider_binding("volume"),
                                          "output volume is part of the static resource contract"))
                      .boxed()));
    rows.push_back(ph::setting_row(
        "Mute", Toggle("settings.audio.mute", std::string(muted_key))
                    .with_id(std::string(mute_control_id))
                    .with_label("Mute")
                    .on_action(required(cat::sound_toggle_binding("muted"),
                                        "output mute is part of the static resource contract"))
                    .boxed()));
    if (stereo_output(model)) {
        const auto& capabilities = model.capabilities();
        if (capabilities.balance) {
            rows.push_back(ph::setting_row(
                "Balance", Slider("settings.audio.balance", std::string(balance_key))
                               .with_id(std::string(balance_control_id))
                               .with_label("Balance")
                               .on_action(required(cat::sound_slider_binding("balance"),
                                                   "output balance is part of the static resource contract"))
                               .boxed()));
        }
        if (capabilities.mono) {
            rows.push_back(ph::setting_row(
                "Mono audio", Toggle("settings.audio.mono", std::string(mono_key))
                                  .with_id(std::string(mono_control_id))
                                  .with_label("Mono audio")
                                  .on_action(required(cat::sound_toggle_binding("mono"),
                                                      "mono output is part of the static resource contract"))
                                  .boxed()));
            rows.push_back(ph::caption(mono_caption));
        }
        if (capabilities.channel_test) {
            rows.push_back(buttons(ph::widgets(
                Button(std::string(advanced_button_id), std::string(diagnostics_caption(model.diagnostics_shown())),
                       std::string(advanced_key))
                    .on_action(required(cat::sound_unit_binding("diagnostics"), "audio diagnostics action is published"))
                    .boxed())));
            if (model.diagnostics_shown()) {
                rows.push_back(buttons(ph::widgets(
                    Button(std::string(test_left_button_id), "Left", std::string(test_left_key))
                        .on_action(required(cat::sound_unit_binding("test-left"), "left speaker test action is published"))
                        .boxed(),
                    Button(std::string(test_right_button_id), "Right", std::string(test_right_key))
                        .on_action(
                            required(cat::sound_unit_binding("test-right"), "right speaker test action is published"))
                        .boxed())));
                rows.push_back(ph::caption(speaker_test_caption));
            }
        }
    }
    if (const auto& status = model.status_line()) {
        rows.push_back(ph::caption(*status, status_text_id));
    }
    return card("Output", std::move(rows));
}

WidgetBox input_card(const AudioModel& model)
{
    std::vector<WidgetBox> rows;
    const auto& choices = model.choices();
    if (choices.inputs.size() >= 2) {
        rows.push_back(device_row("Input device", input_device_key, "input-device", choices.inputs,
                                  choices.default_input()));
    }
    rows.push_back(ph::setting_row(
        "Input level", Slider("settings.audio.input_volume", std::string(input_volume_key))
                           .with_id(std::string(input_volume_control_id))
                           .with_label("Input level")
                           .on_action(required(cat::sound_slider_binding("input-volume"),
                                               "input volume is part of the static resource contract"))
                           .boxed()));
    if (meter_shown(model)) {
        rows.push_back(Row()
                           .with_spacing(8.0f)
                           .push(Text(activity_text(model.meter_running(), model.meter_level()))
                                     .with_size(ph::kCaptionText)
                                     .with_label(std::string(activity_text_id)))
                           .push(Spacer::flexible())
                           .push(Button(std::string(mic_test_button_id), std::string(mic_caption(model.meter_running())),
                                        std::string(mic_test_key))
                                     .on_action(required(cat::sound_unit_binding("microphone-meter"),
                                                         "microphone meter action is published")))
                           .boxed());
        rows.push_back(ph::caption(microphone_caption));
    }
    return card("Input", std::move(rows));
}

// Sound cards with a choice of profiles, and the codecs of Bluetooth outputs; none when there is nothing to show.
WidgetBox capabilities_card(const AudioModel& model)
{
    std::vector<WidgetBox> rows;
    for (const auto& device : model.graph().devices) {
        const auto profiles = model.profile_choices(device);
        if (profiles.size() < 2) {
            continue;
        }
        std::vector<std::string> labels;
        std::vector<actions::ChoiceRecord> records;
        for (const auto& profile : profiles) {
            labels.push_back(profile.label);
            records.push_back({.label = profile.label, .value = profile.index});
        }
        auto dropdown = Dropdown(profile_control_id(device.id), std::move(labels))
                            .with_key(device_profile_id(device.id))
                            .with_placeholder("Choose a profile")
                            .with_label(device.display_name)
                            .on_action(required(cat::audio_profile_binding(device.id, std::move(records)),
                                                "visible audio profiles form a bounded resource action"));
        rows.push_back(ph::setting_row_described_fixed(device.display_name, "PipeWire device profile",
                                                       std::move(dropdown).boxed()));
    }
    for (const auto& sink : model.graph().sinks) {
        if (sink.codec) {
            rows.push_back(ph::value_row(sink.display_name, codec_text(sink), codec_text_id(sink.id)));
        }
    }
    if (rows.empty()) {
        return nullptr;
    }
    return card("Device capabilities", std::move(rows));
}

WidgetBox stream_block(const AudioModel& model, const sg::AudioStream& stream)
{
    const std::string label = stream.label();
    const std::string route_key = stream_sink_id(stream.id);
    std::vector<actions::ChoiceRecord> devices =
        records_of(stream.playback ? model.choices().outputs : model.choices().inputs);
    auto route = Dropdown(stream_route_control_id(stream.id), model.route_choices(stream.playback))
                     .with_key(route_key)
                     .with_placeholder(model.route_label(stream))
                     .with_label(fmt::format("{} {}", label, stream.playback ? "output" : "input"))
                     .on_action(required(cat::stream_route_binding(stream.id, stream.playback, label, std::move(devices)),
                                         "visible stream routes form a bounded resource action"));
    auto volume = Slider("settings.audio.volume", stream_volume_id(stream.id))
                      .with_id(stream_volume_control_id(stream.id))
                      .with_label(fmt::format("{} volume", label))
                      .on_action(required(cat::stream_volume_binding(stream.id, stream.playback, label),
                                          "stream volume is part of its resource contract"));
    auto mute = Toggle("settings.audio.mute", stream_muted_id(stream.id))
                    .with_id(stream_muted_control_id(stream.id))
                    .with_label(fmt::format("{} mute", label))
                    .on_action(required(cat::stream_mute_binding(stream.id, stream.playback, label),
                                        "stream mute is part of its resource contract"));
    return Column()
        .with_spacing(ph::kRowSpacing)
        .push(Text(label).with_size(ph::kBodyText).bold().with_label(stream_title_id(stream.id)))
        .push(Row().push(ph::control_slot(std::move(route).boxed())).push(Spacer::flexible()).boxed())
        .push(ph::setting_row("Volume", std::move(volume).boxed()))
        .push(ph::setting_row("Mute", std::move(mute).boxed()))
        .boxed();
}

WidgetBox streams_card(const AudioModel& model, bool playback)
{
    const auto& streams = playback ? model.graph().playback_streams : model.graph().recording_streams;
    std::vector<WidgetBox> rows;
    for (const auto& stream : streams) {
        rows.push_back(stream_block(model, stream));
    }
    if (rows.empty()) {
        rows.push_back(ph::caption(playback ? no_playback_caption : no_recording_caption));
    }
    return card(playback ? "Applications" : "Recording", std::move(rows));
}

}  // namespace

std::string profile_control_id(std::uint32_t device_id) { return fmt::format("audio.profile.{}", device_id); }
std::string stream_route_control_id(std::uint32_t stream_id) { return stream_sink_id(stream_id) + ".dd"; }
std::string stream_volume_control_id(std::uint32_t stream_id) { return stream_volume_id(stream_id) + ".sl"; }
std::string stream_muted_control_id(std::uint32_t stream_id) { return stream_muted_id(stream_id) + ".tg"; }

std::string activity_text(bool meter_running, float level)
{
    if (!meter_running) {
        return "Microphone test records no audio";
    }
    return fmt::format("Input activity: {}%", std::lround(static_cast<double>(level) * 100.0));
}

AudioPane::AudioPane()
    : AudioPane(AudioBackends::system(), start_audio_worker(), prefs::load_settings_file().audio)
{
}

AudioPane::AudioPane(AudioBackends backends, std::shared_ptr<AudioWorker> worker, prefs::AudioPrefs prefs,
                     std::function<Clock::time_point()> clock)
    : PreferencePane({"sound", "Sound", "Output, input, volume, and system sounds"}),
      model_(std::make_unique<AudioModel>(std::move(backends), std::move(worker), std::move(prefs))),
      clock_(std::move(clock))
{
}

AudioPane AudioPane::with_operation_requests(const operations::OperationRequestCell& cell) &&
{
    model_->attach_operation_requests(cell);
    return std::move(*this);
}

AudioPane AudioPane::with_operation_status(const operations::OperationStatusCell& cell) &&
{
    model_->attach_operation_status(cell);
    return std::move(*this);
}

void AudioPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    page_doc::Document& working = model_->working_document(doc);
    // The controls first write what the user did, so that the model acts on it in this same pass.
    if (content() != nullptr) {
        content()->sync(working, ctx);
    }
    last_sync_ = clock_();
    model_->sync(doc, last_sync_);
    if (model_->take_structure_dirty()) {
        ctx.changed = true;
    }
    refresh_view(working, ctx);
}

std::optional<vorn_ui::Instant> AudioPane::next_wake_deadline() const
{
    std::optional<vorn_ui::Instant> deadline = PreferencePane::next_wake_deadline();
    const auto earliest = [&](std::optional<vorn_ui::Instant> other) {
        if (other && (!deadline || *other < *deadline)) {
            deadline = other;
        }
    };
    earliest(model_->next_refresh());
    if (model_->speaker_test_running() || model_->meter_running()) {
        earliest(last_sync_ + test_poll);
    }
    return deadline;
}

std::string AudioPane::structure_key() const
{
    const AudioModel& model = *model_;
    if (!model.loaded()) {
        return "loading";
    }
    const auto& capabilities = model.capabilities();
    std::string key = fmt::format("out:{}|in:{}|", fmt::join(names_of(model.choices().outputs), "/"),
                                  fmt::join(names_of(model.choices().inputs), "/"));
    if (stereo_output(model)) {
        key += fmt::format("stereo:{}{}{}:{}|", capabilities.balance, capabilities.mono, capabilities.channel_test,
                           model.diagnostics_shown());
    }
    key += fmt::format("meter:{}|status:{}|", meter_shown(model), model.status_line().has_value());
    for (const auto& device : model.graph().devices) {
        const auto profiles = model.profile_choices(device);
        if (profiles.size() >= 2) {
            key += fmt::format("card {} {}:", device.id, device.display_name);
            for (const auto& profile : profiles) {
                key += profile.label + '/';
            }
            key += '|';
        }
    }
    for (const auto& sink : model.graph().sinks) {
        if (sink.codec) {
            key += fmt::format("codec {} {}|", sink.id, sink.display_name);
        }
    }
    for (const bool playback : {true, false}) {
        key += playback ? "play:" : "rec:";
        for (const auto& stream : playback ? model.graph().playback_streams : model.graph().recording_streams) {
            key += fmt::format("{} {};", stream.id, stream.label());
        }
        key += '|';
    }
    return key;
}

std::unique_ptr<vorn_ui::Widget> AudioPane::build_view()
{
    const AudioModel& model = *model_;
    std::vector<WidgetBox> cards;
    if (!model.loaded()) {
        cards.push_back(ph::caption(loading_caption));
        return std::make_unique<Column>(ph::section_stack(std::move(cards)));
    }
    cards.push_back(output_card(model));
    cards.push_back(input_card(model));
    if (auto capabilities = capabilities_card(model)) {
        cards.push_back(std::move(capabilities));
    }
    cards.push_back(streams_card(model, true));
    cards.push_back(streams_card(model, false));
    return std::make_unique<Column>(ph::section_stack(std::move(cards)));
}

bool AudioPane::show_values()
{
    const AudioModel& model = *model_;
    if (!model.loaded()) {
        return false;
    }
    bool changed = false;
    if (const auto& status = model.status_line()) {
        changed |= show_text(status_text_id, *status);
    }
    changed |= show_text(activity_text_id, activity_text(model.meter_running(), model.meter_level()));
    const auto caption = [&](std::string_view id, std::string_view text) {
        if (auto* button = control<Button>(id); button != nullptr && button->caption() != text) {
            button->set_caption(std::string(text));
            changed = true;
        }
    };
    caption(mic_test_button_id, mic_caption(model.meter_running()));
    caption(advanced_button_id, diagnostics_caption(model.diagnostics_shown()));
    for (const auto& sink : model.graph().sinks) {
        if (sink.codec) {
            changed |= show_text(codec_text_id(sink.id), codec_text(sink));
        }
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> boxed_audio_pane(const operations::OperationRequestCell& requests,
                                                  const operations::OperationStatusCell& status)
{
    return std::make_unique<AudioPane>(AudioPane().with_operation_requests(requests).with_operation_status(status));
}

}  // namespace settings::panes::audio
