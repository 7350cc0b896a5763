#include "panes/accessibility/accessibility_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/catalogue/platform.hpp"
#include "page_helpers/layout.hpp"
#include "actions/contract.hpp"
#include "setting_tables/labels.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>

namespace settings::panes::accessibility {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
namespace table = setting_tables::accessibility;

namespace {

constexpr std::string_view save_error_id = "a11y.save_error";

// A row of the setting table as its control, bound to the row's action of the one built section. The control's
// id and document key are the row's key, its accessible name the row's title.
ph::WidgetBox control(const table::Setting& row, const cat::SectionBindings& bindings, const AccessibilityValues& v)
{
    const std::string key(row.key);
    if (row.kind == table::Kind::Switch) {
        auto toggle = vorn_ui::Toggle(key, key).with_id(key).with_label(std::string(row.title));
        return std::move(toggle).on_action(bindings.toggle(row.action)).boxed();
    }
    auto dropdown = vorn_ui::Dropdown(key, {row.choices.choices.begin(), row.choices.choices.end()})
                        .with_key(key)
                        .with_placeholder(std::string(table::label_of(row, v)))
                        .with_label(std::string(row.title));
    return std::move(dropdown).on_action(bindings.choice(row.action)).boxed();
}

ph::WidgetBox setting_row(std::string_view key, const cat::SectionBindings& bindings, const AccessibilityValues& v)
{
    const table::Setting* row = table::find(key);
    if (row == nullptr) {
        actions::unreachable(fmt::format("no accessibility setting {}", key));
    }
    if (row->kind == table::Kind::Switch) {
        return ph::setting_row_described(row->title, row->description, control(*row, bindings, v));
    }
    return ph::setting_row_fixed(row->title, control(*row, bindings, v));
}

}  // namespace

// What the Accessibility section publishes decides which rows there are, so that every control has its action.
AssistiveTechnology detect_assistive_technology()
{
    const auto platform = cat::current_platform();
    AssistiveTechnology found;
    if (platform->has_screen_reader_engine()) {
        found.speech_engine = std::string(setting_tables::detect_screen_reader_engine().value_or("Installed"));
    }
    found.on_screen_keyboard = platform->has_on_screen_keyboard();
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
    // One section for every control of the view.
    const cat::SectionBindings bindings = cat::accessibility_bindings();
    const auto row = [&](std::string_view key) { return setting_row(key, bindings, v); };

    std::vector<ph::WidgetBox> vision;
    for (const std::string_view key :
         {"a11y.high_contrast", "a11y.reduce_motion", "a11y.text_size", "a11y.color_filter", "a11y.magnifier"}) {
        vision.push_back(row(key));
    }

    std::vector<ph::WidgetBox> pointer;
    for (const std::string_view key :
         {"a11y.large_cursor", "a11y.cursor_size", "a11y.cursor_crosshair", "a11y.thick_text_caret"}) {
        pointer.push_back(row(key));
    }

    std::vector<ph::WidgetBox> typing;
    if (machine.on_screen_keyboard) {
        typing.push_back(row("a11y.on_screen_keyboard"));
    } else {
        typing.push_back(ph::value_row("On-screen keyboard", osk_missing_text));
    }
    for (const std::string_view key :
         {"a11y.sticky_keys", "a11y.slow_keys", "a11y.switch_control", "a11y.switch_keys", "a11y.switch_scan"}) {
        typing.push_back(row(key));
    }

    std::vector<ph::WidgetBox> assistive;
    if (machine.speech_engine) {
        assistive.push_back(row("a11y.screen_reader"));
        assistive.push_back(ph::value_row("Speech engine", *machine.speech_engine));
        assistive.push_back(row("a11y.reader_rate"));
        assistive.push_back(row("a11y.reader_voice"));
    } else {
        assistive.push_back(ph::value_row("Screen reader", reader_missing_text));
    }
    assistive.push_back(row("a11y.visual_alerts"));
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
