#include "vorn_ui/actions/action_emitter.hpp"

#include "vorn_log/log.hpp"

namespace vorn_ui {

void InvocationQueue::push(vorn_actions::ControlInvocation invocation)
{
    if (queue_.size() >= control_invocation_backlog) {
        const vorn_actions::ControlInvocation evicted = std::move(queue_.front());
        queue_.pop_front();
        VORN_WARN("control_invocation", "control invocation backlog full; evicting oldest intent action={} backlog={}",
                  evicted.address().encode(), control_invocation_backlog);
    }
    queue_.push_back(std::move(invocation));
}

std::optional<vorn_actions::ControlInvocation> InvocationQueue::take()
{
    if (queue_.empty()) {
        return std::nullopt;
    }
    vorn_actions::ControlInvocation front = std::move(queue_.front());
    queue_.pop_front();
    return front;
}

}  // namespace vorn_ui
