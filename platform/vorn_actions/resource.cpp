#include "vorn_actions/resource.hpp"

#include <algorithm>

namespace vorn_actions {

ActionSpec ActionSpec::privileged() &&
{
    is_privileged = true;
    return std::move(*this);
}

ActionSpec ActionSpec::destructive() &&
{
    is_destructive = true;
    return std::move(*this);
}

ActionSpec ActionSpec::with_contract(ActionContract new_contract) &&
{
    contract = std::move(new_contract);
    return std::move(*this);
}

Resource Resource::with_child(Resource child) &&
{
    children.push_back(std::move(child));
    return std::move(*this);
}

Resource Resource::with_action(ActionSpec action) &&
{
    actions.push_back(std::move(action));
    return std::move(*this);
}

const ActionSpec* Resource::find_action(std::string_view action_id) const
{
    const auto it = std::ranges::find(actions, action_id, &ActionSpec::id);
    return it == actions.end() ? nullptr : &*it;
}

}  // namespace vorn_actions
