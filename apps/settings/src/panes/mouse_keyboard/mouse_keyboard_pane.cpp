#include "panes/mouse_keyboard/mouse_keyboard_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/contract.hpp"
#include "page_helpers/layout.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>

#include <array>
#include <utility>

namespace settings::panes::mouse_keyboard {

namespace ph = page_helpers;
namespace cat = actions::catalogue;

namespace {

constexpr std::string_view must_be_published = "Mouse & Keyboard action must be published";

template <class T>
T required(std::optional<T> binding)
{
    if (!binding) {
        actions::contract_violation(must_be_published);
    }
    return std::move(*binding);
}

ph::WidgetBox toggle(std::string_view id, std::string_view action, std::string_view title, bool on)
{
    return vorn_ui::Toggle("settings." + std::string(id), "")
        .with_id(std::string(id))
        .with_label(std::string(title))
        .with_value(on)
        .on_action(required(cat::mouse_keyboard_toggle_binding(action)))
        .boxed();
}

// Spell checking and auto-correction are kept by the page: the switch writes its document key and the page saves
// it. The section's "spell-checking" and "auto-correct" actions are published for automation with the value they
// set fixed when the section is built, so a switch bound to them would send the opposite of what the user chose
// whenever the stored value differs from that; the action must still be there.
ph::WidgetBox text_toggle(std::string_view key, std::string_view action, std::string_view title)
{
    (void)required(cat::mouse_keyboard_toggle_binding(action));
    return vorn_ui::Toggle("settings." + std::string(key), std::string(key))
        .with_id(std::string(key))
        .with_label(std::string(title))
        .boxed();
}

ph::WidgetBox slider(std::string_view id, std::string_view action, std::string_view title, double value)
{
    return vorn_ui::Slider("settings." + std::string(id), "")
        .with_id(std::string(id))
        .with_label(std::string(title))
        .with_value(value)
        .on_action(required(cat::mouse_keyboard_slider_binding(action)))
        .boxed();
}

ph::WidgetBox dropdown(std::string_view id, std::string_view action, std::string_view title,
                       std::vector<std::string> choices, std::string_view shown, std::string_view placeholder)
{
    auto control = vorn_ui::Dropdown(std::string(id), std::move(choices))
                       .with_label(std::string(title))
                       .with_placeholder(std::string(placeholder))
                       .on_action(required(cat::mouse_keyboard_choice_binding(action)));
    if (!shown.empty()) {
        control = std::move(control).with_selected(std::string(shown));
    }
    return std::move(control).boxed();
}

template <std::size_t N>
std::vector<std::string> texts(const std::array<std::string_view, N>& labels)
{
    return {labels.begin(), labels.end()};
}

// `spoken` is the name assistive tools give the button (empty: its caption); the source's label is its
// description, so that the buttons of different rows can be told apart.
ph::WidgetBox source_button(const SourceRow& row, std::string_view suffix, std::string_view caption,
                            std::string_view spoken, std::string_view action, bool allowed)
{
    auto button = vorn_ui::Button(fmt::format("input.source.{}.{}", row.index, suffix), std::string(caption))
                      .with_accessible_label(std::string(spoken))
                      .with_accessible_description(row.label);
    if (!allowed) {
        return std::move(button).with_enabled(false).boxed();
    }
    auto binding = cat::input_source_binding(row.id, action);
    if (!binding) {
        actions::contract_violation("keyboard source action must be published");
    }
    return std::move(button).on_action(std::move(*binding)).boxed();
}

ph::WidgetBox source_row(const SourceRow& row)
{
    vorn_ui::Row line = vorn_ui::Row().with_spacing(8.0f);
    line.push(vorn_ui::Text(row.label).with_size(13.0f));
    if (row.active) {
        line.push(vorn_ui::Text("Active").with_size(12.0f).caption());
    }
    line.push(vorn_ui::Spacer::flexible());
    line.push(source_button(row, "up", "\u2191", "Move input source up", "move-up", row.can_move_up));
    line.push(source_button(row, "down", "\u2193", "Move input source down", "move-down", row.can_move_down));
    line.push(source_button(row, "remove", "Remove", "", "remove", row.can_remove));
    return std::make_unique<vorn_ui::Row>(std::move(line));
}

struct SwitchRow {
    std::string_view title;
    std::string_view description;
    std::string_view id;
    std::string_view action;
    bool on;
};

std::array<SwitchRow, 8> pointer_switches(const prefs::InputPrefs& input)
{
    return {{
        {"Touchpad natural scrolling", "Content tracks finger movement", "input.touchpad_natural_scroll",
         "touchpad-natural-scroll", input.touchpad_natural_scroll.value_or(input.natural_scroll)},
        {"Mouse natural scrolling", "Content moves in the wheel direction", "input.mouse_natural_scroll",
         "mouse-natural-scroll", input.mouse_natural_scroll.value_or(input.natural_scroll)},
        {"Tap to click", "Tap the touchpad to register a click", "input.tap_click", "tap-to-click",
         input.tap_to_click},
        {"Tap-and-drag", "Hold after a tap, then move to drag", "input.tap_drag", "tap-drag", input.tap_drag},
        {"Disable while typing", "Prevents accidental palm input", "input.disable_while_typing",
         "disable-while-typing", input.disable_while_typing},
        {"Touchpad gestures", "Three-finger navigation; app gestures still receive other gestures",
         "input.touchpad_gestures", "touchpad-gestures", input.touchpad_gestures},
        {"Left-handed", "Swap primary and secondary buttons", "input.left_handed", "left-handed", input.left_handed},
        {"Middle-button emulation", "Press left and right together for middle-click", "input.middle_emulation",
         "middle-emulation", input.middle_emulation},
    }};
}

// The pointer card shows the first six switches, the buttons card the last two.
constexpr std::size_t pointer_switch_count = 6;

constexpr std::string_view key_repeat_text_id = "input.key_repeat.text";
constexpr std::string_view status_id = "input.status";

}  // namespace

MouseKeyboardPane::MouseKeyboardPane(MouseKeyboardModel model)
    : PreferencePane({"input", "Mouse & keyboard", "Change input preferences"}), model_(std::move(model))
{
}

MouseKeyboardPane::MouseKeyboardPane() : MouseKeyboardPane(MouseKeyboardModel::load()) {}

MouseKeyboardPane MouseKeyboardPane::with_operation_status(const operations::OperationStatusCell& cell) &&
{
    operation_status_ = cell;
    status_seen_ = cell.version();
    return std::move(*this);
}

void MouseKeyboardPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    // The runner publishes Running and then the outcome of every input and keyboard-source operation it applies;
    // a poll may already have put the cell back to Idle, so any publication since the last look counts.
    if (const std::uint64_t version = operation_status_.version(); version != status_seen_) {
        status_seen_ = version;
        (void)model_.reload_input();
        input_unshown_ = true;
    }
    model_.sync(doc);
    refresh_view(doc, ctx);
}

// The input sources are rows of their own (with buttons that come and go); the status line comes and goes. Every
// other value changes in place.
std::string MouseKeyboardPane::structure_key() const
{
    std::string key;
    for (const SourceRow& row : model_.source_rows()) {
        key += fmt::format("{}|{}|{}{}{}{}\x1F", row.id, row.label, row.active, row.can_move_up, row.can_move_down,
                           row.can_remove);
    }
    return fmt::format("{}|{}|{}", key, model_.addable_source_labels().empty(), model_.status().has_value());
}

bool MouseKeyboardPane::show_values()
{
    bool changed = false;
    if (const auto& status = model_.status()) {
        changed |= show_text(status_id, *status);
    }
    if (!std::exchange(input_unshown_, false)) {
        return changed;
    }
    const prefs::InputPrefs& input = model_.input();
    changed |= show_choices("input.layout", model_.active_source_labels());
    changed |= show_choice("input.layout", model_.layout_label(input.keyboard_layout));
    changed |= show_slider("input.key_repeat", key_repeat_position(input));
    changed |= show_text(key_repeat_text_id, key_repeat_text(input));
    changed |= show_choice("input.compose_key", compose_key_label(input.compose_key));
    changed |= show_choices("input.source.add_picker", model_.addable_source_labels());
    changed |= show_choice("input.source.add_picker", "");
    changed |= show_slider("input.touchpad_pointer_speed", input.touchpad_pointer_speed.value_or(input.pointer_speed));
    changed |= show_slider("input.mouse_pointer_speed", input.mouse_pointer_speed.value_or(input.pointer_speed));
    for (const SwitchRow& row : pointer_switches(input)) {
        changed |= show_toggle(row.id, row.on);
    }
    changed |= show_choice("input.accel_profile", acceleration_label(input.accel_profile));
    return changed;
}

std::unique_ptr<vorn_ui::Widget> MouseKeyboardPane::build_view()
{
    const prefs::InputPrefs& input = model_.input();
    const std::string active_label = model_.layout_label(input.keyboard_layout);

    std::vector<ph::WidgetBox> keyboard;
    keyboard.push_back(ph::setting_row_fixed(
        "Active input source", dropdown("input.layout", "active-source", "Active input source",
                                        model_.active_source_labels(), active_label, active_label)));
    keyboard.push_back(ph::setting_row_described_fixed(
        "Key repeat speed", key_repeat_text(input), key_repeat_text_id,
        slider("input.key_repeat", "key-repeat", "Key repeat speed", key_repeat_position(input))));
    keyboard.push_back(ph::caption(keyboard_caption));
    keyboard.push_back(ph::setting_row_fixed(
        "Compose key", dropdown("input.compose_key", "compose-key", "Compose key", texts(compose_key_labels),
                                compose_key_label(input.compose_key), compose_key_label(input.compose_key))));

    std::vector<ph::WidgetBox> spelling;
    spelling.push_back(ph::setting_row_described(
        "Check spelling while typing", "Underline possible misspellings in natural-language fields",
        text_toggle(check_spelling_key, "spell-checking", "Check spelling while typing")));
    spelling.push_back(ph::setting_row_described(
        "Auto-correct obvious misspellings",
        "Apply only high-confidence corrections after Space, punctuation, or Enter",
        text_toggle(auto_correct_key, "auto-correct", "Auto-correct obvious misspellings")));
    spelling.push_back(ph::caption(auto_correct_caption));
    if (const auto& status = model_.status()) {
        spelling.push_back(ph::caption(*status, status_id));
    }

    std::vector<ph::WidgetBox> sources;
    for (const SourceRow& row : model_.source_rows()) {
        sources.push_back(source_row(row));
    }
    if (auto addable = model_.addable_source_labels(); !addable.empty()) {
        sources.push_back(ph::setting_row_fixed(
            "Add a language or layout", dropdown("input.source.add_picker", "add-source", "Add a language or layout",
                                                 std::move(addable), "", "Choose a source")));
    } else {
        sources.push_back(ph::caption(source_limit_caption));
    }

    std::vector<ph::WidgetBox> pointer;
    std::vector<ph::WidgetBox> buttons;
    pointer.push_back(ph::setting_row_fixed(
        "Touchpad speed", slider("input.touchpad_pointer_speed", "touchpad-speed", "Touchpad speed",
                                 input.touchpad_pointer_speed.value_or(input.pointer_speed))));
    pointer.push_back(ph::setting_row_fixed(
        "Mouse speed", slider("input.mouse_pointer_speed", "mouse-speed", "Mouse speed",
                              input.mouse_pointer_speed.value_or(input.pointer_speed))));
    const auto switches = pointer_switches(input);
    for (std::size_t i = 0; i < switches.size(); ++i) {
        const SwitchRow& row = switches[i];
        auto line =
            ph::setting_row_described(row.title, row.description, toggle(row.id, row.action, row.title, row.on));
        (i < pointer_switch_count ? pointer : buttons).push_back(std::move(line));
    }
    const std::string_view accel = acceleration_label(input.accel_profile);
    buttons.push_back(ph::setting_row_fixed(
        "Acceleration", dropdown("input.accel_profile", "acceleration-profile", "Acceleration",
                                 texts(acceleration_labels), accel, accel)));

    std::vector<ph::WidgetBox> cards;
    cards.push_back(ph::labelled_card("Keyboard", ph::compact_stack(std::move(keyboard))));
    cards.push_back(ph::labelled_card("Spell checker", ph::compact_stack(std::move(spelling))));
    cards.push_back(ph::labelled_card("Input sources", ph::compact_stack(std::move(sources))));
    cards.push_back(ph::labelled_card("Pointer", ph::compact_stack(std::move(pointer))));
    cards.push_back(ph::labelled_card("Buttons & acceleration", ph::compact_stack(std::move(buttons))));
    cards.push_back(ph::labelled_card("Pen & tablet", ph::caption(pen_caption)));
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> boxed_mouse_keyboard_pane(const operations::OperationStatusCell& operation_status)
{
    return std::make_unique<MouseKeyboardPane>(MouseKeyboardPane().with_operation_status(operation_status));
}

}  // namespace settings::panes::mouse_keyboard
