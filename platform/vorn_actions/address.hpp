#pragma once
// The address of one action of the resource contract: the id of the resource that publishes it and the action's
// id inside that resource ("settings.section:network" + "open").

#include <string>
#include <string_view>

namespace vorn_actions {

struct ActionAddress {
    std::string resource_id;
    std::string action_id;

    ActionAddress() = default;
    ActionAddress(std::string resource, std::string_view action) : resource_id(std::move(resource)), action_id(action)
    {
    }

    friend bool operator==(const ActionAddress&, const ActionAddress&) = default;
};

}  // namespace vorn_actions
