#include "page_helpers/pane_search.hpp"

#include "actions/set_setting.hpp"
#include "vorn_ui/actions/action_records.hpp"

#include <string>

namespace settings::page_helpers {

std::optional<vorn_actions::ActionContext> preference_pane_search_descriptor(bool present, std::string_view id,
                                                                             std::string_view title,
                                                                             std::string_view description)
{
    if (!present) {
        return std::nullopt;
    }
    return vorn_ui::action_context_entry(
        vorn_ui::action_context_with_label(description, "settings.preference:" + std::string(id),
                                           "settings.preference-pane", title),
        actions::settings_app_id, actions::settings_app_name);
}

}  // namespace settings::page_helpers
