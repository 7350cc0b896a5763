#include "panes/display/display_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/contract.hpp"
#include "page_helpers/layout.hpp"
#include "panes/display/labels/labels.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <chrono>

namespace settings::panes::display {

namespace {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
using namespace std::chrono_literals;

constexpr std::string_view kConnectCaption = "Connect a second display to extend or mirror your screen.";
constexpr std::string_view kNoDisplaysCaption = "No displays detected on this device.";
constexpr std::string_view kBrightnessCaption =
    "Night Light applies a whole-desktop colour transform. Automatic brightness follows the kernel ambient-light "
    "sensor with smoothing and a deadband.";
constexpr std::string_view kNoSensorText = "No ambient-light sensor detected";
constexpr std::string_view kNoModesText = "Compositor capability data unavailable";
constexpr std::string_view kNoProfilesText = "System default \u00B7 no valid ICC profiles detected";

// Every control of the page is bound to its action; one the contract lacks stops the program with the row's message.
template <class T>
vorn_actions::ActionBinding<T> required(cat::Binding<T> binding, std::string_view missing)
{
    if (!binding) {
        actions::contract_violation(missing);
    }
    return std::move(*binding);
}

std::string state_text(const OutputConfig& entry)
{
    if (!entry.enabled) {
        return "Disabled";
    }
    return entry.primary ? "Active \u00B7 primary" : "Active";
}

// What the HDR or VRR row says when the output cannot switch it.
std::string capability_text(const std::optional<std::string>& reason, bool reported)
{
    if (reason) {
        return *reason;
    }
    return reported ? "Display support detected; compositor output support unavailable"
                    : "Not supported by this display";
}

std::vector<labels::NamedOutput> named_rows(const std::vector<OutputRow>& rows)
{
    std::vector<OutputDescriptor> outputs;
    outputs.reserve(rows.size());
    for (const OutputRow& row : rows) {
        outputs.push_back(row.output);
    }
    return labels::labelled_outputs(outputs);
}

std::string mirror_text(const std::vector<OutputRow>& rows, const OutputConfig& entry)
{
    if (entry.mirror) {
        for (const OutputRow& row : rows) {
            if (row.connector() == *entry.mirror) {
                return fmt::format("Mirror {}", row.label);
            }
        }
    }
    return std::string(labels::kExtendWorkspace);
}

std::string profile_text(const OutputDescriptor& output, const std::optional<std::string>& profile)
{
    if (profile) {
        if (auto label = labels::color_profile_label(output, *profile)) {
            return *label;
        }
    }
    return std::string(labels::kSystemDefaultProfile);
}

// The texts of one output's drop-downs, in the order the card shows them: (field, action, title, choices).
struct OutputChoice {
    std::string_view field;
    std::string_view action;
    std::string_view title;
    std::vector<std::string> choices;
    std::string placeholder;
    std::string_view missing;
};

std::vector<OutputChoice> output_choices(const std::vector<OutputRow>& rows,
                                         const std::vector<labels::NamedOutput>& names, std::size_t index,
                                         const OutputConfig& entry)
{
    const OutputRow& row = rows[index];
    std::vector<OutputChoice> list;
    list.push_back({"scale", "scale", "Scale", labels::scale_choices(),
                    std::string(labels::display_scale_label(entry.scale)),
                    "output scale action is part of the resource contract"});
    list.push_back({"position", "position", "Position", labels::position_choices(names, row.connector()),
                    std::string(labels::kAutomaticPosition), "output position action is part of the resource contract"});
    list.push_back({"mirror", "mirror", "Mirroring", labels::mirror_choices(names, row.connector()),
                    mirror_text(rows, entry), "output mirror action is part of the resource contract"});
    if (!row.output.modes.empty()) {
        list.push_back({"mode", "mode", "Resolution & refresh rate", labels::mode_choices(row.output),
                        entry.mode.value_or(row.output.current_mode).label(),
                        "output mode action is part of the resource contract"});
    }
    list.push_back({"transform", "transform", "Rotation", labels::orientation_choices(),
                    std::string(labels::orientation_label(entry.transform)),
                    "output transform action is part of the resource contract"});
    if (!row.output.color_profiles.empty()) {
        list.push_back({"color_profile", "color-profile", "Colour profile", labels::color_profile_choices(row.output),
                        profile_text(row.output, entry.color_profile),
                        "colour profile action is part of the resource contract"});
    }
    return list;
}

ph::WidgetBox output_toggle(const OutputRow& row, std::string_view field, std::string_view title, bool on,
                            std::string_view missing)
{
    const std::string key = output_control_id(row.connector(), field);
    return ph::setting_row(
        title, vorn_ui::Toggle(fmt::format("settings.display.{}.{}", row.connector(), field), key)
                   .with_id(key)
                   .with_label(std::string(title))
                   .with_value(on)
                   .on_action(required(cat::display_output_toggle_binding(row.connector(), row.label, field), missing))
                   .boxed());
}

ph::WidgetBox output_dropdown(const OutputRow& row, const OutputChoice& choice)
{
    const std::string key = output_control_id(row.connector(), choice.field);
    auto dropdown =
        vorn_ui::Dropdown(key, choice.choices)
            .with_key(key)
            .with_placeholder(choice.placeholder)
            .with_label(std::string(choice.title))
            .on_action(required(
                cat::display_output_choice_binding(row.connector(), row.label, choice.action, choice.choices),
                choice.missing));
    return ph::setting_row_fixed(choice.title, std::move(dropdown).boxed());
}

ph::WidgetBox output_card(const std::vector<OutputRow>& rows, const std::vector<labels::NamedOutput>& names,
                          std::size_t index, const OutputConfig& entry)
{
    const OutputRow& row = rows[index];
    std::vector<ph::WidgetBox> items;
    items.push_back(output_toggle(row, "enabled", "Use this display", entry.enabled,
                                  "output enabled action is part of the resource contract"));
    items.push_back(output_toggle(row, "primary", "Primary display", entry.primary,
                                  "primary output action is part of the resource contract"));
    const auto choices = output_choices(rows, names, index, entry);
    for (const OutputChoice& choice : choices) {
        if (choice.field == "transform" && row.output.modes.empty()) {
            items.push_back(ph::value_row("Resolution & refresh rate", kNoModesText));
        }
        if (choice.field != "color_profile") {
            items.push_back(output_dropdown(row, choice));
        }
    }
    if (row.output.hdr_supported) {
        items.push_back(output_toggle(row, "hdr", "HDR", entry.hdr, "HDR action is part of the resource contract"));
    } else {
        items.push_back(ph::value_row("HDR", capability_text(row.output.hdr_reason, row.output.display_reports_hdr),
                                      output_hdr_text_id(row.connector())));
    }
    if (row.output.vrr_supported) {
        items.push_back(output_toggle(row, "vrr", "Variable refresh rate", entry.vrr,
                                      "VRR action is part of the resource contract"));
    } else {
        items.push_back(ph::value_row("Variable refresh rate",
                                      capability_text(row.output.vrr_reason, row.output.display_reports_vrr),
                                      output_vrr_text_id(row.connector())));
    }
    if (row.output.color_profiles.empty()) {
        items.push_back(ph::value_row("Colour profile", kNoProfilesText));
    } else {
        items.push_back(output_dropdown(row, choices.back()));
    }
    return ph::labelled_card(row.label, ph::compact_stack(std::move(items)));
}

ph::WidgetBox transaction_button(std::string_view row_title, std::string_view id, std::string_view caption,
                                 std::string_view key, std::string_view action, std::string_view missing)
{
    auto button = vorn_ui::Button(std::string(id), std::string(caption), std::string(key))
                      .on_action(required(cat::display_unit_binding(action), missing));
    return ph::setting_row(row_title, std::move(button).boxed());
}

ph::WidgetBox transaction_card_view(const TransactionCard& card)
{
    std::vector<ph::WidgetBox> items;
    items.push_back(ph::caption(card.caption, kTransactionCaptionId));
    switch (card.kind) {
    case TransactionCard::Kind::Staged:
        items.push_back(transaction_button("Test staged layout", "settings.display.apply", "Apply", kApplyKey, "apply",
                                           "display apply action is published"));
        break;
    case TransactionCard::Kind::Confirm:
        items.push_back(transaction_button("Everything looks correct", "settings.display.keep", "Keep", kKeepKey,
                                           "confirm", "display confirm action is published"));
        items.push_back(transaction_button("Something is wrong", "settings.display.revert", "Revert now", kRevertKey,
                                           "revert", "display revert action is published"));
        break;
    case TransactionCard::Kind::Rejected:
        if (card.try_again) {
            items.push_back(transaction_button("Test the newly edited layout", "settings.display.apply", "Try again",
                                               kApplyKey, "apply", "display apply action is published"));
        }
        break;
    case TransactionCard::Kind::Idle:
    case TransactionCard::Kind::Applying: break;
    }
    return ph::labelled_card(card.title, ph::compact_stack(std::move(items)));
}

}  // namespace

std::string output_state_text_id(std::string_view connector)
{
    return fmt::format("display.text.{}.state", connector);
}
std::string output_hdr_text_id(std::string_view connector) { return fmt::format("display.text.{}.hdr", connector); }
std::string output_vrr_text_id(std::string_view connector) { return fmt::format("display.text.{}.vrr", connector); }

DisplayPane::DisplayPane(DisplayModel model)
    : PreferencePane({"displays", "Displays", "Resolution, scale, arrangement, and brightness"}),
      model_(std::make_unique<DisplayModel>(std::move(model)))
{
    card_ = model_->card();
}

DisplayPane::~DisplayPane()
{
    if (!model_ || !status_attached_) {
        return;
    }
    // The runner would wait for an answer until its deadline; a display change already being tested goes on in
    // the compositor, which restores the previous layout by itself unless it is kept.
    if (const std::string key = model_->unanswered_operation(); !key.empty()) {
        (void)operations::finish_operation_with_key(status_, key, std::unexpected(std::string(kPageClosedSentence)));
    }
}

DisplayPane DisplayPane::create() { return DisplayPane(DisplayModel::create(DisplayModel::system_backend())); }

DisplayPane DisplayPane::with_operation_requests(const operations::OperationRequestCell& cell) &&
{
    requests_ = cell;
    requests_attached_ = true;
    return std::move(*this);
}

DisplayPane DisplayPane::with_operation_status(const operations::OperationStatusCell& cell) &&
{
    status_ = cell;
    status_attached_ = true;
    return std::move(*this);
}

void DisplayPane::sync(page_doc::Document& toolkit_doc, vorn_ui::SyncContext& ctx)
{
    page_doc::Document& doc = requests_attached_ ? own_doc_ : toolkit_doc;
    DisplayModel::SyncInput input{.attached = status_attached_};
    const operations::OperationStatus status = status_.get();
    if (status_attached_ && status.is_running_kind(actions::DisplayOperation::kind)) {
        input.running_key = status.key;
    }
    if (requests_attached_) {
        input.taken = operations::take_operation_request<actions::DisplayOperation>(requests_);
    }
    for (const Outcome& outcome : model_->sync(doc, input)) {
        // The page says what failed beside its controls, whoever asked; a later success clears it.
        if (outcome.failed) {
            notice_ = outcome.sentence;
        } else {
            notice_.reset();
        }
        if (!outcome.key.empty()) {
            (void)operations::finish_operation_with_key(
                status_, outcome.key,
                outcome.failed ? std::expected<std::string, std::string>(std::unexpected(outcome.sentence))
                               : std::expected<std::string, std::string>(outcome.sentence));
        }
    }
    if (model_->take_view_dirty()) {
        ctx.changed = true;
    }
    card_ = model_->card();
    refresh_view(doc, ctx);
}

std::optional<vorn_ui::Instant> DisplayPane::next_wake_deadline() const
{
    // Answers from the workers and the compositor are looked for, not announced: the page wakes to read them.
    const bool waiting = model_->probe_pending() || model_->brightness_in_flight() ||
                         card_.kind == TransactionCard::Kind::Applying;
    const bool counting = card_.kind == TransactionCard::Kind::Confirm;
    const auto own = std::chrono::steady_clock::now() + (waiting ? 100ms : counting ? 250ms : 1000ms);
    const auto children = PreferencePane::next_wake_deadline();
    return children ? std::min(*children, own) : own;
}

std::string DisplayPane::structure_key() const
{
    const auto& rows = model_->rows();
    std::string key = fmt::format("sensor {}|notice {}|card {} {}", model_->ambient_light_sensor(),
                                  notice_.has_value(), static_cast<int>(card_.kind), card_.try_again);
    const auto names = named_rows(rows);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const OutputDescriptor& output = rows[i].output;
        key += fmt::format("|[{} {}] hdr {} vrr {}", rows[i].connector(), rows[i].label, output.hdr_supported,
                           output.vrr_supported);
        for (const OutputChoice& choice : output_choices(rows, names, i, model_->shown_entry(i))) {
            key += fmt::format(" {}:{}", choice.field, fmt::join(choice.choices, "/"));
        }
    }
    return key;
}

std::unique_ptr<vorn_ui::Widget> DisplayPane::build_view()
{
    const auto& rows = model_->rows();
    const auto names = named_rows(rows);
    std::vector<ph::WidgetBox> cards;

    if (notice_) {
        cards.push_back(ph::caption(*notice_, kNoticeId));
    }

    std::vector<ph::WidgetBox> outputs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        outputs.push_back(
            ph::value_row(rows[i].label, state_text(model_->shown_entry(i)), output_state_text_id(rows[i].connector())));
    }
    outputs.push_back(ph::caption(rows.empty() ? kNoDisplaysCaption : kConnectCaption));
    cards.push_back(ph::labelled_card("Displays", ph::compact_stack(std::move(outputs))));

    std::vector<ph::WidgetBox> brightness;
    brightness.push_back(ph::setting_row(
        "Brightness", vorn_ui::Slider("settings.display.brightness", std::string(kBrightnessKey))
                          .with_id(std::string(kBrightnessKey))
                          .with_label("Brightness")
                          .on_action(required(cat::brightness_binding("brightness"),
                                              "brightness is part of the static resource contract"))
                          .boxed()));
    if (model_->ambient_light_sensor()) {
        brightness.push_back(ph::setting_row(
            "Automatic brightness",
            vorn_ui::Toggle("settings.display.auto_brightness", std::string(kAutoBrightnessKey))
                .with_id(std::string(kAutoBrightnessKey))
                .with_label("Automatic brightness")
                .on_action(required(cat::display_toggle_binding("auto_brightness"),
                                    "automatic brightness is part of the static resource contract"))
                .boxed()));
    } else {
        brightness.push_back(ph::value_row("Automatic brightness", kNoSensorText));
    }
    brightness.push_back(ph::setting_row(
        "Night light", vorn_ui::Toggle("settings.display.night_light", std::string(kNightLightKey))
                           .with_id(std::string(kNightLightKey))
                           .with_label("Night light")
                           .on_action(required(cat::display_toggle_binding("night_light"),
                                               "Night Light is part of the static resource contract"))
                           .boxed()));
    brightness.push_back(ph::setting_row_fixed(
        "Night light warmth",
        vorn_ui::Dropdown(std::string(kWarmthKey), labels::warmth_choices())
            .with_key(std::string(kWarmthKey))
            .with_placeholder(
                std::string(labels::night_light_warmth_label(model_->loaded_prefs().night_light_temperature)))
            .with_label("Night light warmth")
            .on_action(required(cat::night_light_warmth_binding("night_light_temperature"),
                                "Night Light warmth is part of the static resource contract"))
            .boxed()));
    brightness.push_back(ph::caption(kBrightnessCaption));
    cards.push_back(ph::labelled_card("Brightness", ph::compact_stack(std::move(brightness))));

    for (std::size_t i = 0; i < rows.size(); ++i) {
        cards.push_back(output_card(rows, names, i, model_->shown_entry(i)));
    }
    cards.push_back(transaction_card_view(card_));
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

bool DisplayPane::show_values()
{
    bool changed = false;
    const auto& rows = model_->rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const OutputDescriptor& output = rows[i].output;
        changed |= show_text(output_state_text_id(rows[i].connector()), state_text(model_->shown_entry(i)));
        changed |= show_text(output_hdr_text_id(rows[i].connector()),
                             capability_text(output.hdr_reason, output.display_reports_hdr));
        changed |= show_text(output_vrr_text_id(rows[i].connector()),
                             capability_text(output.vrr_reason, output.display_reports_vrr));
    }
    changed |= show_text(kTransactionCaptionId, card_.caption);
    if (notice_) {
        changed |= show_text(kNoticeId, *notice_);
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> boxed_display_pane(const operations::OperationRequestCell& requests,
                                                    const operations::OperationStatusCell& status, bool sample)
{
    DisplayPane page = sample ? DisplayPane(DisplayModel::fixture(DisplayModel::system_backend(), 0.62F))
                              : DisplayPane::create();
    return std::make_unique<DisplayPane>(std::move(page).with_operation_requests(requests).with_operation_status(status));
}

}  // namespace settings::panes::display
