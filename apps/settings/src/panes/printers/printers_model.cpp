#include "panes/printers/printers_model.hpp"

#include "text_utf8/text_utf8.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <utility>

namespace settings::panes::printers {

namespace {

constexpr std::string_view log_tag = "printers";

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

using page_workers::guarded;
using page_workers::start_one_shot;
using page_workers::try_receive;

// Publishes Done or Failed for the operation `key` while the status cell still shows it running: an operation that
// was cancelled or timed out has nobody waiting.
void answer_operation(const operations::OperationStatusCell& status, const std::string& key, const Outcome& outcome)
{
    if (!status.get().is_running(key)) {
        return;
    }
    auto next = outcome ? operations::OperationStatus::done(key, std::string(PrintersModel::completed_message))
                        : operations::OperationStatus::failed(key, outcome.error());
    if (const auto published = status.publish(std::move(next)); !published) {
        VORN_WARN(log_tag, "printer operation outcome not published: {}", published.error().message());
    }
}

PrinterStatusSnapshot read_status(PrintingBackend& backend)
{
    PrinterStatusSnapshot snapshot{
        .queues = guarded([&] { return backend.queues(); }),
        .jobs = guarded([&] { return backend.jobs(); }),
        .scanners = guarded([&] { return backend.scanners(); }),
    };
    return snapshot;
}

}  // namespace

// ---- Control ids ---------------------------------------------------------------------------------------------------

std::string sanitize_printer_id(std::string_view text)
{
    std::string id;
    for (std::size_t i = 0; i < text.size();) {
        const auto [code_point, length] = text_utf8::decode(text, i, text_utf8::Invalid::replace);
        if (code_point >= 'A' && code_point <= 'Z') {
            id += static_cast<char>(code_point - 'A' + 'a');
        } else if ((code_point >= 'a' && code_point <= 'z') || (code_point >= '0' && code_point <= '9')) {
            id += static_cast<char>(code_point);
        } else {
            id += '_';
        }
        i += length;
    }
    return id;
}

std::string printer_action_id(std::string_view verb, std::string_view queue_id)
{
    return fmt::format("settings.printers.{}.{}", verb, queue_id);
}

std::string confirm_remove_id(std::string_view queue_id)
{
    return fmt::format("settings.printers.confirm_remove.{}", queue_id);
}

std::string print_job_action_id(std::string_view verb, std::string_view job_id)
{
    return fmt::format("settings.printers.job.{}.{}", verb, job_id);
}

std::string add_printer_id(std::string_view printer_id)
{
    return fmt::format("settings.printers.add.{}", printer_id);
}

const std::string& ControlIds::assign(std::string_view key)
{
    if (const auto it = by_key_.find(key); it != by_key_.end()) {
        return it->second;
    }
    const std::string base = sanitize_printer_id(key);
    std::string id = base;
    for (unsigned n = 2; used_.contains(id); ++n) {
        id = fmt::format("{}_{}", base, n);
    }
    used_.insert(id);
    return by_key_.emplace(std::string(key), std::move(id)).first->second;
}

const std::string& ControlIds::find(std::string_view key) const
{
    static const std::string none;
    const auto it = by_key_.find(key);
    return it == by_key_.end() ? none : it->second;
}

// ---- Workers -------------------------------------------------------------------------------------------------------

Outcome perform(PrintingBackend& backend, const PrinterAction& action)
{
    using A = PrinterAction;
    return std::visit(Overloaded{
                          [&](const A::Add& add) { return backend.add_driverless(add.printer); },
                          [&](const A::SetDefault& change) { return backend.set_default(change.queue); },
                          [&](const A::SetEnabled& change) { return backend.set_enabled(change.queue, change.enabled); },
                          [&](const A::Remove& change) { return backend.remove_queue(change.queue); },
                          [&](const A::CancelJob& change) { return backend.cancel_job(change.id); },
                          [&](const A::RetryJob& change) { return backend.retry_job(change.id); },
                      },
                      action.value);
}

// ---- The model -----------------------------------------------------------------------------------------------------

PrintersModel::PrintersModel(Environment environment)
    : environment_(std::move(environment)), wake_(vorn_ui::WakeHandle::create()), last_refresh_(now())
{
    start_status_read();
}

// The workers keep their channels; their results go nowhere once the model is gone. A change that runs answers its
// operation itself; the operations still waiting can no longer be carried out.
PrintersModel::~PrintersModel()
{
    const Outcome closed = std::unexpected(std::string(closed_message));
    for (const auto& queued : actions_) {
        if (queued.answer_key) {
            answer(*queued.answer_key, closed);
        }
    }
    if (refresh_answer_) {
        answer(refresh_answer_->key, closed);
    }
    if (discovery_answer_) {
        answer(*discovery_answer_, closed);
    }
}

void PrintersModel::use_operation_requests(operations::OperationRequestCell cell)
{
    operation_requests_ = std::move(cell);
    shares_requests_ = true;
}

void PrintersModel::use_operation_status(operations::OperationStatusCell cell)
{
    operation_status_ = std::move(cell);
}

void PrintersModel::sync(page_doc::Document& document)
{
    take_operation();
    // Presses before results: a press acts on the lists the page showed when it was made.
    take_presses(document);
    receive_results();
    if (!status_slot_ && now() - last_refresh_ >= refresh_interval) {
        start_status_read();
    }
    start_next_action();
}

std::optional<std::chrono::steady_clock::time_point> PrintersModel::next_refresh_due() const
{
    if (status_slot_) {
        return std::nullopt;
    }
    return last_refresh_ + refresh_interval;
}

bool PrintersModel::take_structure_dirty()
{
    return std::exchange(structure_dirty_, false);
}

void PrintersModel::take_operation()
{
    auto operation = operations::take_operation_request<actions::PrinterOperation>(operation_requests_);
    if (!operation) {
        return;
    }
    std::string key = operations::operation_key(*operation);
    using Op = actions::PrinterOperation;
    using A = PrinterAction;
    std::visit(Overloaded{
                   [&](const Op::Refresh&) {
                       // The read that starts now, or the one after the read that runs already.
                       refresh_answer_ = RefreshAnswer{.key = key, .read = reads_started_ + 1};
                       request_read();
                   },
                   [&](const Op::Discover&) {
                       // A search that runs already answers it.
                       discovery_answer_ = key;
                       start_discovery();
                   },
                   [&](const Op::SetDefault& op) { enqueue({A::SetDefault{op.name}}, key); },
                   [&](const Op::SetEnabled& op) { enqueue({A::SetEnabled{op.name, op.enabled}}, key); },
                   [&](const Op::Remove& op) {
                       if (pending_remove_ == op.name) {
                           pending_remove_.reset();
                           structure_dirty_ = true;
                       }
                       enqueue({A::Remove{op.name}}, key);
                   },
                   [&](const Op::CancelJob& op) { enqueue({A::CancelJob{op.id}}, key); },
                   [&](const Op::RetryJob& op) { enqueue({A::RetryJob{op.id}}, key); },
               },
               operation->value);
}

void PrintersModel::take_presses(page_doc::Document& document)
{
    using A = PrinterAction;
    const auto pressed = [&](const std::string& key) { return page_doc::take_doc_flag(document, key); };
    if (pressed(std::string(refresh_key))) {
        request_read();
    }
    if (pressed(std::string(discover_key))) {
        start_discovery();  // a press while a search runs is ignored
    }
    for (const auto& printer : discovered_) {
        if (pressed(add_printer_id(printer_ids_.find(printer.id)))) {
            enqueue({A::Add{printer}});
        }
    }
    for (const auto& queue : queues_) {
        const std::string& id = queue_ids_.find(queue.name);
        if (pressed(printer_action_id("default", id))) {
            enqueue({A::SetDefault{queue.name}});
        }
        if (pressed(printer_action_id("enabled", id))) {
            // The button said "Resume" for a paused queue and "Pause" for any other.
            enqueue({A::SetEnabled{queue.name, queue.state == QueueState::Paused}});
        }
        if (pressed(printer_action_id("remove", id))) {
            pending_remove_ = queue.name;
            structure_dirty_ = true;
        }
        if (pressed(confirm_remove_id(id))) {
            pending_remove_.reset();
            structure_dirty_ = true;
            enqueue({A::Remove{queue.name}});
        }
    }
    for (const auto& job : jobs_) {
        const std::string& id = job_ids_.find(job.id);
        if (pressed(print_job_action_id("cancel", id))) {
            enqueue({A::CancelJob{job.id}});
        }
        if (pressed(print_job_action_id("retry", id))) {
            enqueue({A::RetryJob{job.id}});
        }
    }
    // A press still set names something that is no longer listed; it must not act when a namesake appears later.
    for (const auto& key : document.keys()) {
        if (key.starts_with(press_prefix) && page_doc::doc_bool(document, key) == true) {
            VORN_INFO(log_tag, "press for an item that is no longer listed cleared: {}", key);
            document.put_bool(key, false);
        }
    }
}

void PrintersModel::receive_results()
{
    if (auto outcome = try_receive(action_slot_, [] {
            return Outcome(std::unexpected(std::string("the printer change ended without a result")));
        })) {
        action_slot_.reset();
        running_action_.reset();
        finish(*outcome);
    }
    if (auto snapshot = try_receive(status_slot_, [] {
            const std::string ended = "the status read ended without a result";
            return PrinterStatusSnapshot{std::unexpected(ended), std::unexpected(ended), std::unexpected(ended)};
        })) {
        handle_snapshot(std::move(*snapshot));
    }
    if (auto found = try_receive(discovery_slot_, [] {
            return Listed<DriverlessPrinter>(std::unexpected(std::string("the search ended without a result")));
        })) {
        handle_discovery(std::move(*found));
    }
}

void PrintersModel::handle_snapshot(PrinterStatusSnapshot snapshot)
{
    status_slot_.reset();
    last_refresh_ = now();
    std::vector<std::string> problems;
    if (snapshot.queues) {
        queues_ = std::move(*snapshot.queues);
        for (const auto& queue : queues_) {
            queue_ids_.assign(queue.name);
        }
    } else {
        problems.push_back(fmt::format("Printers: {}", snapshot.queues.error()));
    }
    if (snapshot.jobs) {
        jobs_ = std::move(*snapshot.jobs);
        for (const auto& job : jobs_) {
            job_ids_.assign(job.id);
        }
    } else {
        problems.push_back(fmt::format("Jobs: {}", snapshot.jobs.error()));
    }
    if (snapshot.scanners) {
        scanners_ = std::move(*snapshot.scanners);
    } else {
        problems.push_back(fmt::format("Scanners: {}", snapshot.scanners.error()));
    }
    std::optional<std::string> problem;
    if (!problems.empty()) {
        problem = fmt::format("{}", fmt::join(problems, " · "));
    }
    set_problem(Problem::Read, problem);
    structure_dirty_ = true;

    if (refresh_answer_ && refresh_answer_->read <= reads_started_) {
        answer(refresh_answer_->key, problem ? Outcome(std::unexpected(*problem)) : Outcome{});
        refresh_answer_.reset();
    }
    if (std::exchange(read_again_, false)) {
        start_status_read();
    }
}

void PrintersModel::handle_discovery(Listed<DriverlessPrinter> found)
{
    discovery_slot_.reset();
    if (found) {
        discovered_ = std::move(*found);
        for (const auto& printer : discovered_) {
            printer_ids_.assign(printer.id);
        }
        set_problem(Problem::Discovery, std::nullopt);
    } else {
        set_problem(Problem::Discovery, found.error());
    }
    structure_dirty_ = true;
    if (discovery_answer_) {
        answer(*discovery_answer_, found ? Outcome{} : Outcome(std::unexpected(found.error())));
        discovery_answer_.reset();
    }
}

void PrintersModel::finish(const Outcome& outcome)
{
    set_problem(Problem::Action, outcome ? std::nullopt : std::optional<std::string>(outcome.error()));
    structure_dirty_ = true;
    request_read();  // every change is followed by a fresh read
}

void PrintersModel::request_read()
{
    if (status_slot_) {
        read_again_ = true;
    } else {
        start_status_read();
    }
}

void PrintersModel::start_status_read()
{
    if (status_slot_) {
        return;
    }
    auto started = start_one_shot<PrinterStatusSnapshot>(
        environment_.start_thread, "vorn-printer-status", wake_,
        [backend = environment_.backend] { return read_status(*backend); });
    if (!started) {
        const std::string text = fmt::format("Could not start printer status worker: {}", started.error());
        set_problem(Problem::Read, text);
        if (refresh_answer_) {
            answer(refresh_answer_->key, std::unexpected(text));
            refresh_answer_.reset();
        }
        return;
    }
    status_slot_ = std::move(*started);
    ++reads_started_;
    structure_dirty_ = true;  // the refresh button says "Refreshing…"
}

void PrintersModel::start_discovery()
{
    if (discovery_slot_) {
        return;
    }
    auto started = start_one_shot<Listed<DriverlessPrinter>>(
        environment_.start_thread, "vorn-printer-discovery", wake_,
        [backend = environment_.backend] { return guarded([&] { return backend->discover_driverless(); }); });
    if (!started) {
        const std::string text = fmt::format("Could not start printer discovery: {}", started.error());
        set_problem(Problem::Discovery, text);
        if (discovery_answer_) {
            answer(*discovery_answer_, std::unexpected(text));
            discovery_answer_.reset();
        }
        return;
    }
    discovery_slot_ = std::move(*started);
    structure_dirty_ = true;  // "Searching…"
}

void PrintersModel::enqueue(PrinterAction action, std::optional<std::string> answer_key)
{
    if (!answer_key) {
        // A second press on the same button while its change waits or runs.
        const auto same = [&](const Queued& queued) { return queued.action == action; };
        if ((running_action_ && same(*running_action_)) || std::ranges::any_of(actions_, same)) {
            return;
        }
    }
    actions_.push_back({std::move(action), std::move(answer_key)});
    structure_dirty_ = true;
}

void PrintersModel::start_next_action()
{
    while (!action_slot_ && !actions_.empty()) {
        Queued next = std::move(actions_.front());
        actions_.pop_front();
        // The worker answers the operation it carries out, so that the answer comes even when the page has gone.
        auto started = start_one_shot<Outcome>(
            environment_.start_thread, "vorn-printer-action", wake_,
            [backend = environment_.backend, action = next.action, key = next.answer_key, status = operation_status_] {
                Outcome outcome = guarded([&] { return perform(*backend, action); });
                if (key) {
                    answer_operation(status, *key, outcome);
                }
                return outcome;
            });
        if (!started) {
            const Outcome failed = std::unexpected(fmt::format("Could not start printer action: {}", started.error()));
            if (next.answer_key) {
                answer(*next.answer_key, failed);
            }
            finish(failed);
            continue;
        }
        running_action_ = std::move(next);
        action_slot_ = std::move(*started);
    }
}

void PrintersModel::answer(const std::string& key, const Outcome& outcome)
{
    answer_operation(operation_status_, key, outcome);
}

void PrintersModel::set_problem(Problem kind, std::optional<std::string> text)
{
    problems_[static_cast<std::size_t>(kind)] = std::move(text);
    std::vector<std::string_view> present;
    for (const auto& problem : problems_) {
        if (problem) {
            present.push_back(*problem);
        }
    }
    std::optional<std::string> joined;
    if (!present.empty()) {
        joined = fmt::format("{}", fmt::join(present, " · "));
    }
    if (status_text_ != joined) {
        status_text_ = std::move(joined);
        structure_dirty_ = true;
    }
}

}  // namespace settings::panes::printers
