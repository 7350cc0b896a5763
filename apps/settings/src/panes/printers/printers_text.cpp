#include "panes/printers/printers_text.hpp"

#include "vorn_ui/format.hpp"

#include <fmt/format.h>

namespace settings::panes::printers::text {

std::string_view queue_state_label(QueueState state)
{
    switch (state) {
    case QueueState::Ready: return "Ready";
    case QueueState::Printing: return "Printing";
    case QueueState::Paused: return "Paused";
    case QueueState::Offline: return "Offline";
    }
    return "Ready";
}

int queue_state_tone(QueueState state)
{
    return state == QueueState::Paused || state == QueueState::Offline ? 2 : 0;
}

std::string_view enabled_label(const PrintQueue& queue)
{
    return queue.state == QueueState::Paused ? resume_label : pause_label;
}

std::string queue_summary(const PrintQueue& queue)
{
    if (!queue.state_message && queue.state_reasons.empty()) {
        if (!queue.accepting_jobs) {
            return "Not accepting new jobs";
        }
        return queue.is_default ? "Default · accepting jobs" : "Accepting jobs";
    }
    return fmt::format("{} · {}", queue.is_default ? "Default" : "Configured",
                       queue.state_message ? *queue.state_message : queue.state_reasons.front());
}

std::string queue_supplies(const PrintQueue& queue)
{
    if (!queue.supplies) {
        return queue.live_details ? "Supply levels not reported by this printer" : "Live IPP details unavailable";
    }
    if (queue.supplies->empty()) {
        return "Supplies: none installed";
    }
    std::string out = "Supplies: ";
    bool first = true;
    for (const auto& supply : *queue.supplies) {
        out += first ? "" : " · ";
        first = false;
        out += supply.level ? fmt::format("{} {}%", supply.name, static_cast<int>(*supply.level))
                            : fmt::format("{} — level not reported", supply.name);
    }
    return out;
}

std::string_view job_state_label(std::optional<JobState> state)
{
    if (!state) {
        return "State not reported";
    }
    switch (*state) {
    case JobState::Waiting: return "Waiting";
    case JobState::Held: return "Held";
    case JobState::Printing: return "Printing";
    case JobState::Stopped: return "Stopped";
    case JobState::Canceled: return "Canceled";
    case JobState::Failed: return "Failed";
    case JobState::Completed: return "Completed";
    }
    return "State not reported";
}

std::string job_heading(const PrintJob& job)
{
    return fmt::format("{} → {}", job.id, job.printer);
}

std::string job_details(const PrintJob& job)
{
    return fmt::format("{} · {} · {}", job.title, vorn_ui::format::bytes_si(job.size), job.owner);
}

std::string job_progress(const PrintJob& job)
{
    std::string progress;
    if (job.impressions_completed && job.impressions_total && *job.impressions_total != 0) {
        progress = fmt::format("{} of {} impressions · {}%", *job.impressions_completed, *job.impressions_total,
                               static_cast<int>(job.progress_percent().value_or(0)));
    } else if (job.impressions_completed) {
        progress = fmt::format("{} impressions completed", *job.impressions_completed);
    } else {
        progress = "Page progress not reported";
    }
    std::string line = fmt::format("{} · {}", job_state_label(job.state), progress);
    if (!job.state_detail.empty()) {
        line += fmt::format(" · {}", job.state_detail);
    }
    return line;
}

JobButtons job_buttons(std::optional<JobState> state)
{
    if (!state) {
        return {.cancel = true};
    }
    switch (*state) {
    case JobState::Waiting:
    case JobState::Held:
    case JobState::Printing: return {.cancel = true};
    case JobState::Stopped: return {.retry = true, .cancel = true};
    case JobState::Canceled:
    case JobState::Failed: return {.retry = true};
    case JobState::Completed: return {};
    }
    return {.cancel = true};
}

std::string_view printer_detail(const DriverlessPrinter& printer)
{
    return printer.detail ? std::string_view(*printer.detail) : std::string_view("Driverless IPP");
}

}  // namespace settings::panes::printers::text
