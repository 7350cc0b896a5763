#pragma once
// The texts of the Printers page: card titles and captions, button labels, and the lines shown for each queue,
// job, discovered printer and scanner.

#include "panes/printers/printers_backend.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::printers::text {

inline constexpr std::string_view attention_title = "Printer needs attention";
inline constexpr std::string_view printers_title = "Printers";
inline constexpr std::string_view nearby_title = "Nearby";
inline constexpr std::string_view activity_title = "Current activity";
inline constexpr std::string_view scanners_title = "Scanners";

inline constexpr std::string_view refresh_label = "Refresh";
inline constexpr std::string_view refreshing_label = "Refreshing…";
inline constexpr std::string_view discover_label = "Find printers";
inline constexpr std::string_view discovering_label = "Searching…";
inline constexpr std::string_view make_default_label = "Make default";
inline constexpr std::string_view resume_label = "Resume";
inline constexpr std::string_view pause_label = "Pause";
inline constexpr std::string_view remove_label = "Remove…";
inline constexpr std::string_view confirm_remove_label = "Remove printer";
inline constexpr std::string_view add_label = "Add";
inline constexpr std::string_view retry_label = "Retry";
inline constexpr std::string_view cancel_label = "Cancel";

inline constexpr std::string_view no_printers =
    "No configured printers. Use Find printers to discover secure driverless IPP devices on this network.";
inline constexpr std::string_view searching =
    "Looking for AirPrint/Mopria-compatible IPP printers…";
inline constexpr std::string_view driverless_only =
    "Only driverless IPP printers are offered automatically; legacy drivers are never downloaded silently.";
inline constexpr std::string_view no_jobs = "No active print jobs.";
inline constexpr std::string_view no_scanners =
    "No SANE-compatible scanners found. Network eSCL/WSD scanners appear here through sane-airscan.";

// ---- Queues

// "Ready", "Printing", "Paused", "Offline".
[[nodiscard]] std::string_view queue_state_label(QueueState state);
// The badge's style: 2 (needs a look) for Paused and Offline, 0 otherwise.
[[nodiscard]] int queue_state_tone(QueueState state);
// "Resume" for a paused queue, "Pause" for any other.
[[nodiscard]] std::string_view enabled_label(const PrintQueue& queue);
// "Default · accepting jobs", "Accepting jobs", "Not accepting new jobs", or "{Default|Configured} · {message or
// first reason}".
[[nodiscard]] std::string queue_summary(const PrintQueue& queue);
// "Supplies: Black Toner 75% · Cyan — level not reported", "Supplies: none installed", or why there are no levels.
[[nodiscard]] std::string queue_supplies(const PrintQueue& queue);

// ---- Jobs

// "Waiting", "Held", "Printing", "Stopped", "Canceled", "Failed", "Completed", "State not reported".
[[nodiscard]] std::string_view job_state_label(std::optional<JobState> state);
// "{id} → {printer}".
[[nodiscard]] std::string job_heading(const PrintJob& job);
// "{title} · {size} · {owner}".
[[nodiscard]] std::string job_details(const PrintJob& job);
// "{state} · {progress}" and " · {detail}" when the job has one.
[[nodiscard]] std::string job_progress(const PrintJob& job);

// Which buttons a job has ("Retry" is shown before "Cancel").
struct JobButtons {
    bool retry = false;
    bool cancel = false;
    friend bool operator==(const JobButtons&, const JobButtons&) = default;
};
[[nodiscard]] JobButtons job_buttons(std::optional<JobState> state);

// ---- Discovered printers

// The make and model, or "Driverless IPP".
[[nodiscard]] std::string_view printer_detail(const DriverlessPrinter& printer);

}  // namespace settings::panes::printers::text
