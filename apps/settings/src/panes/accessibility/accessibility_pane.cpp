#include "panes/accessibility/accessibility_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/catalogue/platform.hpp"
#include "page_helpers/layout.hpp"
#include "panes/appearance/choices/choices.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>

namespace settings::panes::accessibility {

namespace ph = page_helpers;
namespace ch = appearance::choices;
namespace cat = actions::catalogue;

namespace {

template <std::size_t N, class T>
std::vector<std::string> labels(const std::array<ch::Choice<T>, N>& table)
{
    std::vector<std::string> out;
    for (const auto& choice : table) {
        out.emplace_back(choice.label);
    }
    return out;
}

ph::WidgetBox toggle(std::string_view key, std::string_view action, std::string_view title)
{
    auto control = vorn_ui::Toggle(std::string(key), std::string(key)).with_id(std::string(key)).with_label(std::string(title));
    if (auto binding = cat::accessibility_toggle_binding(action)) {
        control = std::move(control).on_action(std::move(*binding));
    }
    return std::move(control).boxed();
}

ph::WidgetBox dropdown(const AccessibilityValues& values, std::string_view key, std::string_view action,
                       std::string_view title, std::vector<std::string> choices)
{
    auto control = vorn_ui::Dropdown(std::string(key), std::move(choices))
                       .with_key(std::string(key))
                       .with_placeholder(label_for(values, key))
                       .with_label(std::string(title));
    if (auto binding = cat::accessibility_choice_binding(action)) {
        control = std::move(control).on_action(std::move(*binding));
    }
    return std::move(control).boxed();
}

ph::WidgetBox described(std::string_view title, std::string_view description, std::string_view key,
                        std::string_view action)
{
    return ph::setting_row_described(title, description, toggle(key, action, title));
}

}  // namespace

AssistiveTechnology detect_assistive_technology()
{
    AssistiveTechnology found;
    if (const auto engine = ch::detect_screen_reader_engine()) {
        found.speech_engine = std::string(*engine);
    }
    found.on_screen_keyboard = cat::current_platform()->has_on_screen_keyboard();
    return found;
}

AccessibilityPane::AccessibilityPane(AccessibilityModel model)
    : PreferencePane({"accessibility", "Accessibility", "Change accessibility preferences"}), model_(std::move(model))
{
}

AccessibilityPane::AccessibilityPane() : AccessibilityPane(AccessibilityModel::load()) {}

void AccessibilityPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    if (model_.sync(doc)) {
        ctx.changed = true;
    }
    refresh_view(doc, ctx);
}

namespace {
constexpr std::string_view save_error_id = "a11y.save_error";
}

// Every control follows its document key; the save error's caption is the only row that comes and goes.
std::string AccessibilityPane::structure_key() const { return model_.save_error() ? "error" : ""; }

bool AccessibilityPane::show_values()
{
    const auto& error = model_.save_error();
    return error && show_text(save_error_id, accessibility_save_failed_text(*error));
}

std::unique_ptr<vorn_ui::Widget> AccessibilityPane::build_view()
{
    const AccessibilityValues& v = model_.values();
    const AssistiveTechnology machine = detect_assistive_technology();

    std::vector<ph::WidgetBox> vision;
    vision.push_back(described("High contrast", "Maximise contrast for low-vision comfort", "a11y.high_contrast",
                               "high-contrast"));
    vision.push_back(
        described("Reduce motion", "Skip animations and transitions", "a11y.reduce_motion", "reduce-motion"));
    vision.push_back(ph::setting_row_fixed(
        "Text size", dropdown(v, "a11y.text_size", "text-size", "Text size", labels(ch::kTextScales))));
    vision.push_back(ph::setting_row_fixed(
        "Colour filter", dropdown(v, "a11y.color_filter", "colour-filter", "Colour filter", labels(ch::kColorFilters))));
    vision.push_back(ph::setting_row_fixed(
        "Magnifier lens", dropdown(v, "a11y.magnifier", "magnifier", "Magnifier lens", labels(ch::kMagnifierLenses))));

    std::vector<ph::WidgetBox> pointer;
    pointer.push_back(described("Large cursor", "Enlarge the mouse pointer so it is easy to find", "a11y.large_cursor",
                                "large-cursor"));
    pointer.push_back(ph::setting_row_fixed(
        "Cursor size", dropdown(v, "a11y.cursor_size", "cursor-size", "Cursor size", labels(ch::kCursorSizes))));
    pointer.push_back(described("Pointer crosshair", "Draw high-contrast guide lines through the pointer",
                                "a11y.cursor_crosshair", "pointer-crosshair"));
    pointer.push_back(described("Thicker text cursor", "Use a wider insertion caret in Vorn applications",
                                "a11y.thick_text_caret", "thick-text-caret"));

    std::vector<ph::WidgetBox> typing;
    if (machine.on_screen_keyboard) {
        typing.push_back(described("On-screen keyboard", "Show the keyboard automatically for focused text fields",
                                   "a11y.on_screen_keyboard", "on-screen-keyboard"));
    } else {
        typing.push_back(ph::value_row("On-screen keyboard", osk_missing_text));
    }
    typing.push_back(described("Sticky keys", "Type shortcuts one key at a time instead of holding a chord",
                               "a11y.sticky_keys", "sticky-keys"));
    typing.push_back(described("Slow keys", "Ignore brief, accidental key presses", "a11y.slow_keys", "slow-keys"));
    typing.push_back(described("Switch control", "Translate a hardware switch pair into standard Tab and Enter actions",
                               "a11y.switch_control", "switch-control"));
    typing.push_back(ph::setting_row_fixed(
        "Switch keys (next / activate)",
        dropdown(v, "a11y.switch_keys", "switch-keys", "Switch keys (next / activate)", labels(ch::kSwitchKeyPairs))));
    typing.push_back(ph::setting_row_fixed(
        "Automatic scan", dropdown(v, "a11y.switch_scan", "switch-scan", "Automatic scan", labels(ch::kSwitchScans))));

    std::vector<ph::WidgetBox> assistive;
    if (machine.speech_engine) {
        assistive.push_back(described("Screen reader", "Read focused controls and live announcements aloud",
                                      "a11y.screen_reader", "screen-reader"));
        assistive.push_back(ph::value_row("Speech engine", *machine.speech_engine));
        assistive.push_back(ph::setting_row_fixed(
            "Speech rate", dropdown(v, "a11y.reader_rate", "speech-rate", "Speech rate", labels(ch::kSpeechRates))));
        assistive.push_back(ph::setting_row_fixed(
            "Voice", dropdown(v, "a11y.reader_voice", "speech-voice", "Voice", labels(ch::kScreenReaderVoices))));
    } else {
        assistive.push_back(ph::value_row("Screen reader", reader_missing_text));
    }
    assistive.push_back(described("Visual alerts", "Flash a clear screen-edge alert when a notification arrives",
                                  "a11y.visual_alerts", "visual-alerts"));
    assistive.push_back(ph::value_row("Application focus highlight", "Not yet available for non-Vorn applications"));
    assistive.push_back(
        ph::value_row("Live captions", "Unavailable \u2014 no local speech-to-text engine is installed"));

    std::vector<ph::WidgetBox> cards;
    cards.push_back(ph::labelled_card("Vision", ph::compact_stack(std::move(vision))));
    cards.push_back(ph::labelled_card("Pointer", ph::compact_stack(std::move(pointer))));
    cards.push_back(ph::labelled_card("Typing", ph::compact_stack(std::move(typing))));
    cards.push_back(ph::labelled_card("More assistive technology", ph::compact_stack(std::move(assistive))));
    cards.push_back(ph::labelled_card("Shared with your apps", ph::caption(shared_caption)));
    if (const auto& error = model_.save_error()) {
        cards.push_back(ph::caption(accessibility_save_failed_text(*error), save_error_id));
    }
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> boxed_accessibility_pane() { return std::make_unique<AccessibilityPane>(); }

}  // namespace settings::panes::accessibility
