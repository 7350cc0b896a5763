#pragma once
// The queue between a bound control and the toolkit's loop.
//
// A control bound to an action holds an ActionEmitter<T> for its value type (bool for a toggle, double for a
// slider, std::string for a drop-down, vorn_actions::Unit for a button). When the user changes the control, the
// control calls emit(value): the value becomes a ControlInvocation (checked against the action's specification) at
// the back of the queue. The control's take_control_invocation() hands out take(), oldest first.
//
//   ActionEmitter<bool> emitter(std::move(binding));
//   if (auto sent = emitter.emit(true); !sent) { /* the action refused the value: sent.error() */ }
//   std::optional<ControlInvocation> next = emitter.take();
//
// The queue holds at most control_invocation_backlog invocations: one more evicts the oldest, with the warning
// "control invocation backlog full; evicting oldest intent". Everything runs on the UI thread.

#include "vorn_actions/action.hpp"
#include "vorn_actions/binding.hpp"
#include "vorn_actions/resource.hpp"

#include <cstddef>
#include <deque>
#include <expected>
#include <optional>
#include <utility>

namespace vorn_ui {

inline constexpr std::size_t control_invocation_backlog = 64;

// First in, first out, bounded by control_invocation_backlog.
class InvocationQueue {
public:
    // Appends at the back; when the queue is full the oldest invocation is dropped first and the warning is logged
    // with the action's address.
    void push(vorn_actions::ControlInvocation invocation);
    [[nodiscard]] std::optional<vorn_actions::ControlInvocation> take();
    [[nodiscard]] std::size_t size() const { return queue_.size(); }
    [[nodiscard]] bool empty() const { return queue_.empty(); }
    [[nodiscard]] const std::deque<vorn_actions::ControlInvocation>& pending() const { return queue_; }
    void clear() { queue_.clear(); }

private:
    std::deque<vorn_actions::ControlInvocation> queue_;
};

template <class T>
class ActionEmitter {
public:
    // Enabled, with an empty queue.
    explicit ActionEmitter(vorn_actions::ActionBinding<T> binding) : binding_(std::move(binding)) {}

    // Queues the invocation for `value`. While disabled the value is dropped and the answer is success (nothing is
    // queued). An argument refusal of the action is answered and nothing is queued.
    std::expected<void, vorn_actions::ActionError> emit(T value)
    {
        if (!enabled_) {
            return {};
        }
        auto invocation = binding_.invoke(std::move(value));
        if (!invocation) {
            return std::unexpected(std::move(invocation.error()));
        }
        queue_.push(std::move(*invocation));
        return {};
    }

    // The oldest queued invocation, or none.
    [[nodiscard]] std::optional<vorn_actions::ControlInvocation> take() { return queue_.take(); }

    [[nodiscard]] const vorn_actions::ActionBinding<T>& binding() const { return binding_; }
    [[nodiscard]] const InvocationQueue& queue() const { return queue_; }
    [[nodiscard]] bool is_enabled() const { return enabled_; }
    void set_enabled(bool enabled) { enabled_ = enabled; }

private:
    vorn_actions::ActionBinding<T> binding_;
    InvocationQueue queue_;
    bool enabled_ = true;
};

}  // namespace vorn_ui
