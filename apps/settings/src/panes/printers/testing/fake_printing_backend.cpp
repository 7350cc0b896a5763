#include "panes/printers/testing/fake_printing_backend.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace settings::panes::printers::testing {

FakePrintingBackend::State FakePrintingBackend::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

void FakePrintingBackend::change(const std::function<void(State&)>& edit)
{
    const std::lock_guard lock(mutex_);
    edit(state_);
}

std::vector<std::string> FakePrintingBackend::calls() const
{
    const std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> FakePrintingBackend::changes() const
{
    std::vector<std::string> out;
    for (auto& call : calls()) {
        if (call != "queues" && call != "jobs" && call != "scanners" && call != "discover_driverless") {
            out.push_back(std::move(call));
        }
    }
    return out;
}

void FakePrintingBackend::record(std::string call)
{
    calls_.push_back(std::move(call));
}

PrintQueue* FakePrintingBackend::find_queue(std::string_view name)
{
    if (!state_.queues) {
        return nullptr;
    }
    const auto it = std::ranges::find(*state_.queues, name, &PrintQueue::name);
    return it == state_.queues->end() ? nullptr : &*it;
}

PrintJob* FakePrintingBackend::find_job(std::string_view id)
{
    if (!state_.jobs) {
        return nullptr;
    }
    const auto it = std::ranges::find(*state_.jobs, id, &PrintJob::id);
    return it == state_.jobs->end() ? nullptr : &*it;
}

Listed<PrintQueue> FakePrintingBackend::queues()
{
    const std::lock_guard lock(mutex_);
    record("queues");
    return state_.queues;
}

Listed<PrintJob> FakePrintingBackend::jobs()
{
    const std::lock_guard lock(mutex_);
    record("jobs");
    return state_.jobs;
}

Listed<DriverlessPrinter> FakePrintingBackend::discover_driverless()
{
    const std::lock_guard lock(mutex_);
    record("discover_driverless");
    return state_.nearby;
}

Listed<ScannerEntry> FakePrintingBackend::scanners()
{
    const std::lock_guard lock(mutex_);
    record("scanners");
    return state_.scanners;
}

#define VORN_FAKE_CHANGE(...)                           \
    const std::lock_guard lock(mutex_);                 \
    record(fmt::format(__VA_ARGS__));                   \
    if (state_.change_failure) {                        \
        return std::unexpected(*state_.change_failure); \
    }

Outcome FakePrintingBackend::add_driverless(const DriverlessPrinter& printer)
{
    VORN_FAKE_CHANGE("add_driverless {} {}", printer.id, printer.name);
    if (!state_.queues) {
        return std::unexpected(state_.queues.error());
    }
    std::vector<std::string> taken;
    for (const auto& queue : *state_.queues) {
        taken.push_back(queue.name);
    }
    state_.queues->push_back({.name = system_ops::printing::unused_queue_name(printer.name, taken),
                              .accepting_jobs = true,
                              .state = QueueState::Ready});
    return {};
}

Outcome FakePrintingBackend::set_default(std::string_view queue)
{
    VORN_FAKE_CHANGE("set_default {}", queue);
    if (find_queue(queue) == nullptr) {
        return std::unexpected(fmt::format("printer {} does not exist", queue));
    }
    for (auto& q : *state_.queues) {
        q.is_default = q.name == queue;
    }
    return {};
}

Outcome FakePrintingBackend::set_enabled(std::string_view queue, bool enabled)
{
    VORN_FAKE_CHANGE("set_enabled {} {}", queue, enabled);
    auto* q = find_queue(queue);
    if (q == nullptr) {
        return std::unexpected(fmt::format("printer {} does not exist", queue));
    }
    q->state = enabled ? QueueState::Ready : QueueState::Paused;
    return {};
}

Outcome FakePrintingBackend::remove_queue(std::string_view queue)
{
    VORN_FAKE_CHANGE("remove_queue {}", queue);
    if (find_queue(queue) == nullptr) {
        return std::unexpected(fmt::format("printer {} does not exist", queue));
    }
    std::erase_if(*state_.queues, [&](const PrintQueue& q) { return q.name == queue; });
    return {};
}

Outcome FakePrintingBackend::cancel_job(std::string_view id)
{
    VORN_FAKE_CHANGE("cancel_job {}", id);
    auto* job = find_job(id);
    if (job == nullptr) {
        return std::unexpected(fmt::format("print job {} does not exist", id));
    }
    job->state = JobState::Canceled;
    return {};
}

Outcome FakePrintingBackend::retry_job(std::string_view id)
{
    VORN_FAKE_CHANGE("retry_job {}", id);
    auto* job = find_job(id);
    if (job == nullptr) {
        return std::unexpected(fmt::format("print job {} does not exist", id));
    }
    job->state = JobState::Waiting;
    return {};
}

#undef VORN_FAKE_CHANGE

// ---- ManualClock -----------------------------------------------------------------------------------------------

PrintersModel::Clock ManualClock::clock()
{
    return [now = now_] { return *now; };
}

}  // namespace settings::panes::printers::testing
