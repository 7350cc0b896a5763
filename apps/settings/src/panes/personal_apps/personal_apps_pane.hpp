#pragma once
// The Apps & Files page: the card "Personal" (whom the choices apply to, and a button that opens the current
// workspace's application rules) and the card "Open files and links with", a drop-down of the installed
// applications for every kind one of them declares. Every drop-down is bound to the "set-handler" action of its
// kind in the Apps & Files section and writes its edit key; the model takes and saves what changed
// (personal_apps_model.hpp).

#include "panes/personal_apps/personal_apps_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <memory>
#include <string_view>

namespace settings::panes::personal_apps {

inline constexpr std::string_view kWorkspaceButtonId = "open-workspace-app-defaults";
inline constexpr std::string_view kNoKindsCaption =
    "No installed application currently declares a supported file or link type. Defaults appear here as apps are "
    "installed.";
inline constexpr std::string_view kRowDescription = "Your choice follows you unless this workspace chooses another app.";

class PersonalAppsPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::personal_apps::PersonalAppsPane", "PersonalAppsPane")

    explicit PersonalAppsPane(PersonalAppsModel model);
    PersonalAppsPane();

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;

    [[nodiscard]] const PersonalAppsModel& model() const { return model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    PersonalAppsModel model_;
};

// Opens the current workspace's application rules; a tool that cannot be started is logged.
void open_workspace_app_rules();

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_personal_apps_pane();

}  // namespace settings::panes::personal_apps
