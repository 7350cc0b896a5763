#include "vorn_ui/app.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/actions/invocation_route.hpp"
#include "vorn_ui/widget.hpp"

#include <algorithm>
#include <random>

namespace vorn_ui::app {

namespace {

constexpr std::size_t kRecentCompletions = 32;

// Answers whether an action is still published by the tree (the root's resolve_resource, else any widget's
// resources).
class PublishedActions final : public ActionAvailability {
public:
    PublishedActions(const Widget& root, const page_doc::Document& doc) : root_(root), doc_(doc) {}

    [[nodiscard]] bool is_available(const vorn_actions::ActionAddress& address) const override
    {
        const std::optional<vorn_actions::Resource> resource =
            find_published_resource(root_, doc_, address.resource_id);
        return resource && resource->find_action(address.action_id) != nullptr;
    }

private:
    const Widget& root_;
    const page_doc::Document& doc_;
};

std::string describe(const OperationCompletion& completion)
{
    switch (completion.kind) {
    case OperationCompletion::Kind::Completed: return "completed";
    case OperationCompletion::Kind::Failed: return "failed: " + completion.message;
    case OperationCompletion::Kind::Cancelled: return "cancelled: " + completion.message;
    }
    return "ended";
}

}  // namespace

App::App(std::string application_id) : application_id_(std::move(application_id))
{
    std::random_device random;
    id_salt_ = (static_cast<std::uint64_t>(random()) << 32) ^ random();
}

OperationId App::next_operation_id() { return OperationId::from_parts(id_salt_, next_id_++); }

void App::record(OperationCompletion completion)
{
    VORN_INFO("operation", "operation {}", describe(completion));
    completions_.push_back(std::move(completion));
    while (completions_.size() > kRecentCompletions) {
        completions_.pop_front();
    }
    if (on_completion) {
        on_completion(completions_.back());
    }
}

PumpReport App::run_control_invocations(Widget& root, page_doc::Document& doc, Instant now)
{
    PumpReport report;
    if (!runs_control_invocations) {
        return report;
    }
    while (report.invocations < invocations_per_pass) {
        std::optional<ControlInvocation> invocation = root.take_control_invocation();
        if (!invocation) {
            break;
        }
        ++report.invocations;
        const OperationId id = next_operation_id();
        auto routed = run_control_invocation(root, doc, registry_, *invocation, id);
        if (!routed) {
            VORN_WARN("control_invocation", "control invocation went nowhere address={} error={}",
                      invocation->address().encode(), routed.error().display());
            continue;
        }
        if (!routed->start) {
            continue;  // applied to the document
        }
        const ResourceOperationStart& start = *routed->start;
        switch (start.kind) {
        case ResourceOperationStart::Kind::Pending:
            pending_.push_back(
                {id, routed->action.kind, now, now + operation_deadline, std::nullopt, now + poll_interval});
            ++report.started_pending;
            break;
        case ResourceOperationStart::Kind::Completed:
            record(OperationCompletion::completed_with(id, start.completed));
            ++report.completions;
            break;
        case ResourceOperationStart::Kind::Failed:
            record(OperationCompletion::failed(id, "failed", start.message, false));
            ++report.completions;
            break;
        case ResourceOperationStart::Kind::NotHandled:
            VORN_WARN("control_invocation", "no widget handles the operation kind={}", routed->action.kind);
            break;
        }
    }
    return report;
}

PumpReport App::poll_operations(Widget& root, Instant now)
{
    PumpReport report;
    std::vector<PendingOperation> still;
    // Polling may start nothing new (polls never add to pending_), so the list is walked as it is.
    for (PendingOperation& op : pending_) {
        op.next_poll = now + poll_interval;
        const bool overdue = now >= op.deadline;
        std::optional<OperationCompletion> done = root.poll_resource_operation(op.id, overdue, WordPair{});
        if (done && done->id == op.id) {
            record(std::move(*done));
            ++report.completions;
            continue;
        }
        if (done) {
            VORN_WARN("operation", "a poll answered for another operation; ignored kind={}", op.kind);
        }
        if (overdue) {
            if (!op.cancel_ends_at) {
                VORN_WARN("operation", "operation passed its deadline; cancelling kind={}", op.kind);
                op.cancel_ends_at = now + cancel_grace;
            } else if (now >= *op.cancel_ends_at) {
                // The widget did not end it on cancel: the loop stops waiting for it.
                record(OperationCompletion::cancelled(
                    op.id, "the operation did not finish in time and was cancelled"));
                ++report.completions;
                continue;
            }
        }
        still.push_back(std::move(op));
    }
    pending_ = std::move(still);
    return report;
}

std::optional<Instant> App::next_poll(Instant now) const
{
    if (pending_.empty()) {
        return std::nullopt;
    }
    std::optional<Instant> next;
    for (const PendingOperation& op : pending_) {
        const Instant due = std::min(op.next_poll, op.cancel_ends_at ? *op.cancel_ends_at : op.deadline);
        next = next ? std::min(*next, due) : due;
    }
    return std::max(*next, now);
}

bool App::run_commit_cycle(Widget& root, page_doc::Document& doc)
{
    if (!root.needs_commit()) {
        return false;
    }
    (void)root.pane_descriptor();  // once: pages clear their change flags here
    (void)doc.commit();
    root.on_commit();
    return true;
}

void App::refresh_control_availability(Widget& root, const page_doc::Document& doc)
{
    if (!refreshes_control_availability) {
        return;
    }
    const PublishedActions published(root, doc);
    root.refresh_control_action_availability(published);
}

}  // namespace vorn_ui::app
