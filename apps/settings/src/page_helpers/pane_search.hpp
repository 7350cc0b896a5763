#pragma once
// The entry a preference page offers to the toolkit's pane search (Widget::pane_descriptor). The toolkit's commit
// cycle asks for it once before committing, so a page reports itself as changed there.
//
//   return preference_pane_search_descriptor(std::exchange(input_, false) || content_->needs_commit(),
//                                            "appearance", "Appearance", "Change appearance preferences");

#include "vorn_actions/context.hpp"

#include <optional>
#include <string_view>

namespace settings::page_helpers {

// Absent unless `present`; otherwise the subject "settings.preference:<id>" of kind "settings.preference-pane"
// with the title, labelled with the description, for the application "org.vorn.Settings" named "Settings".
[[nodiscard]] std::optional<vorn_actions::ActionContext> preference_pane_search_descriptor(
    bool present, std::string_view id, std::string_view title, std::string_view description);

}  // namespace settings::page_helpers
