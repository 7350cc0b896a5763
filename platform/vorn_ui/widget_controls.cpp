// Commit, control bindings and the per-widget constants of the same group.

#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/walks.hpp"
#include "vorn_ui/widget.hpp"

#include <algorithm>

namespace vorn_ui {

bool Widget::needs_commit() const
{
    return walks::any_short(*this, [](const Widget& child) { return child.needs_commit(); });
}

std::optional<vorn_actions::ActionContext> Widget::pane_descriptor()
{
    return walks::first_mut(*this, [](Widget& child) { return child.pane_descriptor(); });
}

std::optional<ControlInvocation> Widget::take_control_invocation()
{
    return walks::first_mut(*this, [](Widget& child) { return child.take_control_invocation(); });
}

std::vector<ControlActionBinding> Widget::control_action_bindings() const
{
    std::vector<ControlActionBinding> bindings = semantic_action_bindings(accessibility());
    walks::append_each(*this, bindings, [](const Widget& child) { return child.control_action_bindings(); });
    return bindings;
}

bool Widget::has_action_control_bindings() const
{
    const std::vector<ControlActionBinding> bindings = control_action_bindings();
    return std::ranges::any_of(bindings, [](const ControlActionBinding& b) { return b.target.is_action(); });
}

void Widget::refresh_control_action_availability(const ActionAvailability& availability)
{
    walks::each_mut(*this, [&](Widget& child) { child.refresh_control_action_availability(availability); });
}

void Widget::on_commit()
{
    walks::each_mut(*this, [](Widget& child) { child.on_commit(); });
}

std::optional<Theme> Widget::theme_override() const { return std::nullopt; }
std::optional<PresenceKey> Widget::presence_key() const { return std::nullopt; }
bool Widget::needs_idle_sync() const { return false; }
std::optional<PermissionScope> Widget::permission_scope() const { return std::nullopt; }

}  // namespace vorn_ui
