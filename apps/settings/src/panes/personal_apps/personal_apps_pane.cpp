#include "panes/personal_apps/personal_apps_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "page_helpers/layout.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "system_ops/tool_intent.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/widgets.hpp"

#include <algorithm>

namespace settings::panes::personal_apps {

namespace ph = page_helpers;
namespace cat = actions::catalogue;

constexpr std::string_view notice_id = "personal-apps.notice";

PersonalAppsPane::PersonalAppsPane(PersonalAppsModel model)
    : PreferencePane({"personal-apps", "Personal app defaults", "Change default apps"}), model_(std::move(model))
{
}

PersonalAppsPane::PersonalAppsPane() : PersonalAppsPane(PersonalAppsModel::load()) {}

void PersonalAppsPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    if (model_.sync(doc)) {
        ctx.changed = true;
    }
    refresh_view(doc, ctx);
}

// The kinds are read once when the page opens; only the notice below the cards comes and goes.
std::string PersonalAppsPane::structure_key() const { return model_.notice() ? "notice" : ""; }

bool PersonalAppsPane::show_values()
{
    bool changed = false;
    if (const auto& notice = model_.notice()) {
        changed = show_text(notice_id, *notice) || changed;
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> PersonalAppsPane::build_view()
{
    // One section for every control of the view.
    const cat::SectionBindings bindings = cat::default_apps_bindings();

    std::vector<ph::WidgetBox> personal;
    personal.push_back(ph::value_row("Applies to", "Your identity on every device"));
    personal.push_back(ph::caption("A workspace may set a shared choice. In Workspace Settings you can follow it, return "
                                   "to this personal choice, or select a different app for that workspace."));
    personal.push_back(vorn_ui::Button(std::string(kWorkspaceButtonId), "Open current workspace app rules")
                           .with_size(236.0f, 40.0f)
                           .bind_action(open_workspace_app_rules)
                           .boxed());

    std::vector<ph::WidgetBox> rows;
    for (const auto& kind : model_.kinds()) {
        const std::string resource = "settings.default-app:" + kind;
        // A kind the published section does not list (the machine changed since the page opened) gets no row.
        if (!std::ranges::any_of(bindings.section().children,
                                 [&](const vorn_actions::Resource& child) { return child.id == resource; })) {
            continue;
        }
        std::vector<std::string> options;
        for (const auto& app : model_.candidates(kind)) {
            options.push_back(candidate_label(app));
        }
        const std::string label = desk_rules::defaults::ResourceKind{kind}.display_label();
        rows.push_back(ph::setting_row_described_fixed(
            label, kRowDescription,
            vorn_ui::Dropdown(control_id(kind), std::move(options))
                .with_key(preference_pane::edit_key(default_app_key(kind)))
                .with_placeholder(model_.in_force(kind))
                .with_label(label)
                .on_action(bindings.child_choice(resource, "set-handler"))
                .boxed()));
    }
    if (rows.empty()) {
        rows.push_back(ph::caption(kNoKindsCaption));
    }

    std::vector<ph::WidgetBox> cards;
    cards.push_back(ph::labelled_card("Personal", ph::compact_stack(std::move(personal))));
    cards.push_back(ph::labelled_card("Open files and links with", ph::compact_stack(std::move(rows))));
    if (const auto& notice = model_.notice()) {
        cards.push_back(ph::caption(*notice, notice_id));
    }
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

void open_workspace_app_rules()
{
    if (auto opened = system_ops::tool_intent::open_tool(system_ops::tool_intent::Tool::WorkspaceAppRules); !opened) {
        VORN_WARN("default_apps_workspace_rules", "could not open the workspace app rules: {}", opened.error());
    }
}

std::unique_ptr<vorn_ui::Widget> boxed_personal_apps_pane() { return std::make_unique<PersonalAppsPane>(); }

}  // namespace settings::panes::personal_apps
