#include "system_ops/printing.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace system_ops::printing {

namespace {

CurrentSlot<PrintingService>& slot()
{
    static CurrentSlot<PrintingService> instance([]() -> std::shared_ptr<PrintingService> {
        return std::make_shared<CupsPrinting>();
    });
    return instance;
}

}  // namespace

std::shared_ptr<PrintingService> current()
{
    return slot().get();
}

std::shared_ptr<PrintingService> replace_current(std::shared_ptr<PrintingService> service)
{
    return slot().replace(std::move(service));
}

Result<std::vector<PrintQueue>> queues()
{
    return current()->queues();
}
Result<std::vector<PrintQueue>> queues_with_live_details()
{
    return current()->queues_with_live_details();
}
Result<std::vector<PrintJob>> jobs()
{
    return current()->jobs();
}
Status set_default(std::string_view queue)
{
    return current()->set_default(queue);
}
Status set_enabled(std::string_view queue, bool enabled)
{
    return current()->set_enabled(queue, enabled);
}
Status remove_queue(std::string_view queue)
{
    return current()->remove_queue(queue);
}
Status cancel_job(std::string_view id)
{
    return current()->cancel_job(id);
}
Status retry_job(std::string_view id)
{
    return current()->retry_job(id);
}
Result<std::vector<DriverlessPrinter>> discover_driverless()
{
    return current()->discover_driverless();
}
Result<std::string> add_driverless(std::string_view uri, std::string_view name)
{
    return current()->add_driverless(uri, name);
}
Result<std::vector<ScannerEntry>> scanners()
{
    return current()->scanners();
}

bool is_queue_name(std::string_view name)
{
    if (name.empty() || name.size() > 127) {
        return false;
    }
    return std::ranges::none_of(name, [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7f || c == '/' || c == '\\' || c == '?' || c == '\'' || c == '"' || c == '#';
    });
}

bool is_job_id(std::string_view id)
{
    return !id.empty() && id.size() <= 9 && id != "0" && !id.starts_with('0') &&
           std::ranges::all_of(id, [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::uint8_t> PrintJob::progress_percent() const
{
    if (!impressions_total || *impressions_total == 0) {
        return std::nullopt;
    }
    const std::uint64_t done = impressions_completed.value_or(0);
    return static_cast<std::uint8_t>(std::min<std::uint64_t>(100, done * 100 / *impressions_total));
}

// ---- FakePrinting ----------------------------------------------------------------------------------------------

FakePrinting::State FakePrinting::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

void FakePrinting::set_state(State state)
{
    const std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

Result<std::vector<PrintQueue>> FakePrinting::queues()
{
    const std::lock_guard lock(mutex_);
    return state_.queues;
}

Result<std::vector<PrintJob>> FakePrinting::jobs()
{
    const std::lock_guard lock(mutex_);
    return state_.jobs;
}

namespace {

template <class List, class Pred>
auto find_in(List& list, Pred pred) -> decltype(&*list.begin())
{
    const auto it = std::ranges::find_if(list, pred);
    return it == list.end() ? nullptr : &*it;
}

}  // namespace

#define VORN_FAKE_CHANGE()                               \
    const std::lock_guard lock(mutex_);                  \
    if (state_.change_failure) {                         \
        return std::unexpected(*state_.change_failure);  \
    }

Status FakePrinting::set_default(std::string_view queue)
{
    VORN_FAKE_CHANGE();
    if (!state_.queues || !find_in(*state_.queues, [&](const PrintQueue& q) { return q.name == queue; })) {
        return std::unexpected(fmt::format("printer {} does not exist", queue));
    }
    for (auto& q : *state_.queues) {
        q.is_default = q.name == queue;
    }
    return {};
}

Status FakePrinting::set_enabled(std::string_view queue, bool enabled)
{
    VORN_FAKE_CHANGE();
    auto* q = state_.queues ? find_in(*state_.queues, [&](const PrintQueue& p) { return p.name == queue; }) : nullptr;
    if (q == nullptr) {
        return std::unexpected(fmt::format("printer {} does not exist", queue));
    }
    q->state = enabled ? QueueState::Ready : QueueState::Paused;
    return {};
}

Status FakePrinting::remove_queue(std::string_view queue)
{
    VORN_FAKE_CHANGE();
    if (!state_.queues || std::erase_if(*state_.queues, [&](const PrintQueue& q) { return q.name == queue; }) == 0) {
        return std::unexpected(fmt::format("printer {} does not exist", queue));
    }
    return {};
}

Status FakePrinting::cancel_job(std::string_view id)
{
    VORN_FAKE_CHANGE();
    auto* job = state_.jobs ? find_in(*state_.jobs, [&](const PrintJob& j) { return j.id == id; }) : nullptr;
    if (job == nullptr) {
        return std::unexpected(fmt::format("print job {} does not exist", id));
    }
    job->state = JobState::Canceled;
    return {};
}

Status FakePrinting::retry_job(std::string_view id)
{
    VORN_FAKE_CHANGE();
    auto* job = state_.jobs ? find_in(*state_.jobs, [&](const PrintJob& j) { return j.id == id; }) : nullptr;
    if (job == nullptr) {
        return std::unexpected(fmt::format("print job {} does not exist", id));
    }
    job->state = JobState::Waiting;
    return {};
}

Result<std::string> FakePrinting::add_driverless(std::string_view /*uri*/, std::string_view name)
{
    return std::unexpected(fmt::format("printer {} cannot be added here", name));
}

#undef VORN_FAKE_CHANGE

}  // namespace system_ops::printing
