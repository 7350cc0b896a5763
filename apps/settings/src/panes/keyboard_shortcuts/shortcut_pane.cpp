#include "panes/keyboard_shortcuts/shortcut_pane.hpp"

#include "page_helpers/layout.hpp"
#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "vorn_ui/widgets.hpp"

namespace settings::panes::keyboard_shortcuts {

namespace ph = page_helpers;
using preference_pane::edit_key;

ShortcutPane::ShortcutPane(ShortcutModel model)
    : PreferencePane({"keyboard-shortcuts", "Keyboard shortcuts", "Change keyboard shortcuts"}),
      model_(std::move(model))
{
}

ShortcutPane ShortcutPane::load() { return ShortcutPane(ShortcutModel::load()); }

void ShortcutPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    model_.sync(doc);
    refresh_view(doc, ctx);
}

// The recorders follow their edit keys; a refusal sentence below a row and the vim status line come and go.
std::string ShortcutPane::structure_key() const
{
    std::string key;
    for (std::size_t i = 0; i < ShortcutConfig::action_count; ++i) {
        key += model_.refusal(i) ? '1' : '0';
    }
    return key + (model_.vim_status() ? '1' : '0');
}

namespace {

constexpr std::string_view vim_status_id = "shortcuts.vim_status";

std::string refusal_id(std::string_view entry_id) { return std::string(entry_id) + ".refusal"; }

}  // namespace

bool ShortcutPane::show_values()
{
    bool changed = false;
    for (const auto& entry : catalogue::shortcut_catalogue()) {
        if (const auto& refusal = model_.refusal(entry.action)) {
            changed |= show_text(refusal_id(entry.id), *refusal);
        }
    }
    if (const auto& status = model_.vim_status()) {
        changed |= show_text(vim_status_id, *status);
    }
    return changed;
}

namespace {

ph::WidgetBox recorder_row(const ShortcutModel& model, const catalogue::ShortcutEntry& entry)
{
    const ShortcutConfig defaults = ShortcutConfig::defaults();
    auto recorder = vorn_ui::ShortcutRecorder(std::string(entry.id), edit_key(entry.id),
                                              chord_text(model.config(), entry.action),
                                              chord_text(defaults, entry.action))
                        .with_label(std::string(entry.label));
    auto row = ph::setting_row(entry.label, std::move(recorder).boxed());
    const auto& refusal = model.refusal(entry.action);
    if (!refusal) {
        return row;
    }
    std::vector<ph::WidgetBox> lines;
    lines.push_back(std::move(row));
    lines.push_back(ph::caption(*refusal, refusal_id(entry.id)));
    return std::make_unique<vorn_ui::Column>(ph::stack(std::move(lines), ph::kRowSpacing));
}

}  // namespace

std::unique_ptr<vorn_ui::Widget> ShortcutPane::build_view()
{
    std::vector<ph::WidgetBox> system;
    for (const auto& entry : catalogue::system_shortcuts()) {
        system.push_back(recorder_row(model_, entry));
    }
    std::vector<ph::WidgetBox> navigation;
    navigation.push_back(ph::setting_row(
        "Vim navigation (H J K L)", vorn_ui::Toggle("settings.shortcuts.vim_mode", edit_key(vim_mode_key))
                                        .with_id(std::string(vim_mode_key))
                                        .with_label("Vim navigation (H J K L)")
                                        .boxed()));
    if (const auto& status = model_.vim_status()) {
        navigation.push_back(ph::caption(*status, vim_status_id));
    }
    for (const auto& entry : catalogue::navigation_shortcuts()) {
        navigation.push_back(recorder_row(model_, entry));
    }
    std::vector<ph::WidgetBox> cards;
    cards.push_back(ph::labelled_card("System", ph::compact_stack(std::move(system))));
    cards.push_back(ph::labelled_card("Desktop navigation", ph::compact_stack(std::move(navigation))));
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> boxed_shortcut_pane()
{
    return std::make_unique<ShortcutPane>(ShortcutPane::load());
}

}  // namespace settings::panes::keyboard_shortcuts
