#pragma once
// Small constructors of action records used by pages and the search catalogue: action contexts and search entries.
//
//   action_context_from_args("org.vorn.Settings", "Settings", action)   // label "Set setting" for a SetSetting
//   action_context_with_label("Change accessibility preferences", "settings.preference:accessibility",
//                             "settings.preference-pane", "Accessibility")
//   SearchEntry::for_action("Personal Settings", "Displays", {"settings.section:displays", "open"})

#include "vorn_actions/action.hpp"
#include "vorn_actions/address.hpp"
#include "vorn_actions/context.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace vorn_ui {

// The context of a typed action from its written JSON form (or the writer's failure): the label is
// humanize_identifier of the value when it is a JSON string, of the single member's name when it is an object with
// exactly one member, and "Update" otherwise (also when writing failed); the application is (app_id, app_name).
[[nodiscard]] vorn_actions::ActionContext action_context_from_payload(
    std::string_view app_id, std::string_view app_name, const std::expected<std::string, std::string>& payload);

template <vorn_actions::ActionPayload A>
[[nodiscard]] vorn_actions::ActionContext action_context_from_args(std::string_view app_id, std::string_view app_name,
                                                                   const A& action)
{
    return action_context_from_payload(app_id, app_name, write_action_payload(action));
}

// A context labelled `label` about the subject (id, kind, title); no application.
[[nodiscard]] vorn_actions::ActionContext action_context_with_label(std::string_view label, std::string subject_id,
                                                                    std::string_view subject_kind,
                                                                    std::string_view subject_title);

// The context with its application replaced by (app_id, app_name).
[[nodiscard]] vorn_actions::ActionContext action_context_entry(vorn_actions::ActionContext context,
                                                               std::string_view app_id, std::string_view app_name);

// One entry of a search catalogue.
struct SearchEntry {
    static constexpr std::uint8_t no_icon = 255;

    std::string source;  // the catalogue's name, "Personal Settings"
    std::string title;
    std::string id;
    std::optional<std::string> description;
    std::optional<std::string> second_text;
    std::uint32_t number = 0;
    std::uint8_t icon = no_icon;

    // Source and title copied, the id as given, nothing else set.
    [[nodiscard]] static SearchEntry make(std::string_view source, std::string_view title, std::string id);
    // The entry of an action: its id is the byte 0x01, "action", the byte 0x1F and the encoded address.
    [[nodiscard]] static SearchEntry for_action(std::string_view source, std::string_view title,
                                                vorn_actions::ActionAddress address);
    [[nodiscard]] SearchEntry with_description(std::string_view text) &&;

    friend bool operator==(const SearchEntry&, const SearchEntry&) = default;
};

// The address a search entry's id stands for, when it was made by SearchEntry::for_action.
[[nodiscard]] std::optional<vorn_actions::ActionAddress> search_entry_action(std::string_view entry_id);

}  // namespace vorn_ui
