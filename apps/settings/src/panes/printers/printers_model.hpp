#pragma once
// The Printers page without its widgets: the lists it shows, the workers that read them, and the changes the user
// or automation asks for.
//
// The printing system is never reached on the UI thread. Three kinds of one-shot workers do it and hand their
// result back through a channel that sync() looks at without waiting:
//   "vorn-printer-status"     reads queues (with their printers' supply levels), jobs and scanners; started at
//                             once, again 3 s after each result, after every change and on request;
//   "vorn-printer-discovery"  searches the network for driverless printers, on request;
//   "vorn-printer-action"     makes one change (add, default, pause or resume, remove, cancel, retry); changes wait
//                             their turn and run one after the other, in the order asked.
// A worker that outlives the page drops its result.
//
// Every control of the page is a press: a button writes true at its document key (printer_action_id() and the other
// key builders below, with the ids the model gives each listed queue, job and printer), and sync() consumes it. A
// press acts on the lists the page showed when it was made; a press for something no longer listed is cleared.
//
// Operations from automation (PrinterOperation, handed over through the request cell after the runner checked them
// against the live system) act on what they name, with their own values, and each one ends in exactly one Done or
// Failed under its own key: a change when its action has finished, Refresh with the first status read that started
// after it, Discover with the search's result. Remove from automation needs no second confirmation: the action is
// marked destructive and its caller has confirmed it. Presses of the user never answer an operation. Operations
// still waiting when the page closes fail; a change already running answers its operation from its worker.
//
//   PrintersModel model;                                // starts the first status read
//   model.use_operation_requests(app.requests);          // the application's cells, when the page shares them
//   model.use_operation_status(app.status);
//   every frame: model.sync(document); if (model.take_structure_dirty()) rebuild the view from model.queues() ...

#include "panes/printers/printers_backend.hpp"

#include "operations/cells.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_ui/state.hpp"
#include "page_workers/one_shot.hpp"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace settings::panes::printers {

// ---- Control ids and document keys ------------------------------------------------------------------------------

inline constexpr std::string_view refresh_key = "settings.printers.refresh";
inline constexpr std::string_view discover_key = "settings.printers.discover";
// Every press of the page is a key below this prefix.
inline constexpr std::string_view press_prefix = "settings.printers.";

// Each character of the text mapped: an ASCII letter to its lower case, an ASCII digit to itself, anything else
// (a blank, punctuation, any non-ASCII character, a byte that is not UTF-8) to one "_".
[[nodiscard]] std::string sanitize_printer_id(std::string_view text);
// "settings.printers.{verb}.{queue id}" with the verb "default", "enabled" or "remove".
[[nodiscard]] std::string printer_action_id(std::string_view verb, std::string_view queue_id);
// "settings.printers.confirm_remove.{queue id}".
[[nodiscard]] std::string confirm_remove_id(std::string_view queue_id);
// "settings.printers.job.{verb}.{job id}" with the verb "cancel" or "retry".
[[nodiscard]] std::string print_job_action_id(std::string_view verb, std::string_view job_id);
// "settings.printers.add.{printer id}".
[[nodiscard]] std::string add_printer_id(std::string_view printer_id);

// The control ids of one kind of listed object (queues by name, jobs by id, printers by address). An object's id is
// its sanitized key; when an object seen earlier already has that id (two names that differ only in case or
// punctuation), "_2", "_3", ... is added. Ids never change while the page lives, so a press can never reach
// another object than the one it was made for.
class ControlIds {
public:
    // The id of `key`, given on first sight.
    const std::string& assign(std::string_view key);
    // The id given to `key`, or empty when it has none.
    [[nodiscard]] const std::string& find(std::string_view key) const;

private:
    std::map<std::string, std::string, std::less<>> by_key_;
    std::set<std::string, std::less<>> used_;
};

// ---- Workers ------------------------------------------------------------------------------------------------------

// Starts `work` on a detached thread named `name` (page_workers/one_shot.hpp).
using page_workers::StartThread;
using page_workers::start_detached_thread;

// One pass of the status worker.
struct PrinterStatusSnapshot {
    Listed<PrintQueue> queues;
    Listed<PrintJob> jobs;
    Listed<ScannerEntry> scanners;
};

// One change of the printing system.
struct PrinterAction {
    struct Add {
        DriverlessPrinter printer;
        friend bool operator==(const Add&, const Add&) = default;
    };
    struct SetDefault {
        std::string queue;
        friend bool operator==(const SetDefault&, const SetDefault&) = default;
    };
    struct SetEnabled {
        std::string queue;
        bool enabled = false;
        friend bool operator==(const SetEnabled&, const SetEnabled&) = default;
    };
    struct Remove {
        std::string queue;
        friend bool operator==(const Remove&, const Remove&) = default;
    };
    struct CancelJob {
        std::string id;
        friend bool operator==(const CancelJob&, const CancelJob&) = default;
    };
    struct RetryJob {
        std::string id;
        friend bool operator==(const RetryJob&, const RetryJob&) = default;
    };
    std::variant<Add, SetDefault, SetEnabled, Remove, CancelJob, RetryJob> value;

    friend bool operator==(const PrinterAction&, const PrinterAction&) = default;
};

// Makes the change through the backend.
[[nodiscard]] Outcome perform(PrintingBackend& backend, const PrinterAction& action);

// ---- The model ----------------------------------------------------------------------------------------------------

class PrintersModel {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::seconds refresh_interval{3};
    // The Done sentence of every printer operation.
    static constexpr std::string_view completed_message = "Printer operation completed.";
    // The Failed sentence of an operation still waiting when the page closes.
    static constexpr std::string_view closed_message = "the Printers page closed before the operation was carried out";

    struct Environment {
        std::shared_ptr<PrintingBackend> backend = std::make_shared<SystemPrintingBackend>();
        StartThread start_thread = start_detached_thread;
        Clock clock = [] { return std::chrono::steady_clock::now(); };
    };

    // Starts the first status read at once.
    PrintersModel() : PrintersModel(Environment{}) {}
    explicit PrintersModel(Environment environment);
    ~PrintersModel();
    PrintersModel(const PrintersModel&) = delete;
    PrintersModel& operator=(const PrintersModel&) = delete;

    // The application's request and status cells, in place of the model's own.
    void use_operation_requests(operations::OperationRequestCell cell);
    void use_operation_status(operations::OperationStatusCell cell);
    // Whether the requests come from the application's cell (the page then keeps its own document).
    [[nodiscard]] bool shares_requests() const { return shares_requests_; }
    [[nodiscard]] const operations::OperationRequestCell& operation_requests() const { return operation_requests_; }
    [[nodiscard]] const operations::OperationStatusCell& operation_status() const { return operation_status_; }

    // One pass on the UI thread; never waits. Takes a printer operation from the request cell, carries out the
    // presses in `document` (and clears presses for what is no longer listed), takes in the workers' results,
    // starts the periodic status read when it is due and the next change when none runs.
    void sync(page_doc::Document& document);

    // When the next periodic status read is due; none while one runs (its result wakes the loop).
    [[nodiscard]] std::optional<std::chrono::steady_clock::time_point> next_refresh_due() const;

    // ---- What the view shows
    [[nodiscard]] const std::vector<PrintQueue>& queues() const { return queues_; }
    [[nodiscard]] const std::vector<PrintJob>& jobs() const { return jobs_; }
    [[nodiscard]] const std::vector<DriverlessPrinter>& discovered() const { return discovered_; }
    [[nodiscard]] const std::vector<ScannerEntry>& scanners() const { return scanners_; }
    // The queue whose removal waits for confirmation.
    [[nodiscard]] const std::optional<std::string>& pending_remove() const { return pending_remove_; }
    // The problem sentence shown under "Printer needs attention": what the last status read, the last change and
    // the last search found wrong, joined by " · ". Each part stays until the next result of its kind.
    [[nodiscard]] const std::optional<std::string>& status_text() const { return status_text_; }
    [[nodiscard]] bool refreshing() const { return status_slot_ != nullptr; }
    [[nodiscard]] bool discovering() const { return discovery_slot_ != nullptr; }
    // Whether a change is being made or waits its turn.
    [[nodiscard]] bool changing() const { return action_slot_ != nullptr || !actions_.empty(); }
    // The control ids of listed objects (empty for one not listed).
    [[nodiscard]] const std::string& queue_id(std::string_view name) const { return queue_ids_.find(name); }
    [[nodiscard]] const std::string& job_id(std::string_view id) const { return job_ids_.find(id); }
    [[nodiscard]] const std::string& printer_id(std::string_view address) const { return printer_ids_.find(address); }

    // Whether the view must be rebuilt since the last call (lists, labels or the attention card changed).
    bool take_structure_dirty();

private:
    struct Queued {
        PrinterAction action;
        std::optional<std::string> answer_key;  // the operation it carries out
    };

    void take_operation();
    void take_presses(page_doc::Document& document);
    void receive_results();
    void handle_snapshot(PrinterStatusSnapshot snapshot);
    void handle_discovery(Listed<DriverlessPrinter> found);
    // After every change: shows its error (or clears the last one) and reads again.
    void finish(const Outcome& outcome);
    // A status read that starts now, or right after the one that runs (whose result may predate the request).
    void request_read();
    void start_status_read();
    void start_discovery();
    void enqueue(PrinterAction action, std::optional<std::string> answer_key = std::nullopt);
    void start_next_action();
    void answer(const std::string& key, const Outcome& outcome);
    // What went wrong, by source; each is replaced by the next result of its kind. status_text_ joins them.
    enum class Problem : std::uint8_t { Read, Action, Discovery };
    void set_problem(Problem kind, std::optional<std::string> text);
    [[nodiscard]] std::chrono::steady_clock::time_point now() const { return environment_.clock(); }

    Environment environment_;
    vorn_ui::WakeHandle wake_;
    operations::OperationStatusCell operation_status_{operations::OperationStatus::idle()};
    operations::OperationRequestCell operation_requests_{std::nullopt};
    bool shares_requests_ = false;

    std::vector<PrintQueue> queues_;
    std::vector<PrintJob> jobs_;
    std::vector<DriverlessPrinter> discovered_;
    std::vector<ScannerEntry> scanners_;
    ControlIds queue_ids_;
    ControlIds job_ids_;
    ControlIds printer_ids_;
    std::optional<std::string> pending_remove_;
    std::array<std::optional<std::string>, 3> problems_;
    std::optional<std::string> status_text_;
    bool structure_dirty_ = false;

    std::shared_ptr<page_workers::Channel<PrinterStatusSnapshot>> status_slot_;
    std::chrono::steady_clock::time_point last_refresh_;
    std::uint64_t reads_started_ = 0;
    bool read_again_ = false;
    struct RefreshAnswer {
        std::string key;
        std::uint64_t read = 0;  // answered by the result of this read or a later one
    };
    std::optional<RefreshAnswer> refresh_answer_;

    std::shared_ptr<page_workers::Channel<Listed<DriverlessPrinter>>> discovery_slot_;
    std::optional<std::string> discovery_answer_;

    std::deque<Queued> actions_;
    std::optional<Queued> running_action_;
    std::shared_ptr<page_workers::Channel<Outcome>> action_slot_;
};

}  // namespace settings::panes::printers
