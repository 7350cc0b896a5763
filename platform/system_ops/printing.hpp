#pragma once
// Print queues and print jobs of the CUPS scheduler, reached with libcups over IPP.
//
// The free functions forward to the current PrintingService (see current.hpp); the real one is CupsPrinting.

#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::printing {

enum class QueueState : std::uint8_t { Ready, Printing, Paused, Offline };

struct PrinterSupply {
    std::string name;                   // "Black Toner"
    std::optional<std::uint8_t> level;  // percent, when the printer reports it

    friend bool operator==(const PrinterSupply&, const PrinterSupply&) = default;
};

struct PrintQueue {
    std::string name;
    std::vector<std::string> state_reasons;  // IPP keywords ("media-empty-error"), "none" left out
    std::optional<std::vector<PrinterSupply>> supplies;  // none when the scheduler knows no supply levels
    bool live_details = false;               // the printer itself answered a query for these details
    std::optional<std::string> state_message;
    bool is_default = false;
    bool accepting_jobs = false;
    QueueState state = QueueState::Ready;

    friend bool operator==(const PrintQueue&, const PrintQueue&) = default;
};

enum class JobState : std::uint8_t { Waiting, Held, Printing, Stopped, Canceled, Failed, Completed };

struct PrintJob {
    std::string id;       // decimal job number
    std::string title;
    std::string owner;
    std::string printer;  // the queue's name
    std::string state_detail;
    std::optional<std::uint32_t> impressions_completed;
    std::optional<std::uint32_t> impressions_total;
    std::uint64_t size = 0;  // bytes
    std::optional<JobState> state;

    // impressions_completed × 100 / impressions_total, at most 100; none without a total.
    [[nodiscard]] std::optional<std::uint8_t> progress_percent() const;

    friend bool operator==(const PrintJob&, const PrintJob&) = default;
};

class PrintingService {
public:
    virtual ~PrintingService() = default;
    [[nodiscard]] virtual Result<std::vector<PrintQueue>> queues() = 0;
    // Jobs not yet completed, then the most recent canceled or failed ones (which can be retried).
    [[nodiscard]] virtual Result<std::vector<PrintJob>> jobs() = 0;
    [[nodiscard]] virtual Status set_default(std::string_view queue) = 0;
    // Resumes (enabled) or pauses the queue.
    [[nodiscard]] virtual Status set_enabled(std::string_view queue, bool enabled) = 0;
    [[nodiscard]] virtual Status remove_queue(std::string_view queue) = 0;
    [[nodiscard]] virtual Status cancel_job(std::string_view id) = 0;
    [[nodiscard]] virtual Status retry_job(std::string_view id) = 0;
};

[[nodiscard]] std::shared_ptr<PrintingService> current();
std::shared_ptr<PrintingService> replace_current(std::shared_ptr<PrintingService> service);

[[nodiscard]] Result<std::vector<PrintQueue>> queues();
[[nodiscard]] Result<std::vector<PrintJob>> jobs();
[[nodiscard]] Status set_default(std::string_view queue);
[[nodiscard]] Status set_enabled(std::string_view queue, bool enabled);
[[nodiscard]] Status remove_queue(std::string_view queue);
[[nodiscard]] Status cancel_job(std::string_view id);
[[nodiscard]] Status retry_job(std::string_view id);

// Whether CUPS accepts the text as a queue name: 1 to 127 bytes, no blank or control character, none of
// / \ ? ' " #.
[[nodiscard]] bool is_queue_name(std::string_view name);
// Whether the text is a job number: 1 to 9 decimal digits, not 0.
[[nodiscard]] bool is_job_id(std::string_view id);

// ---- The real backend ----------------------------------------------------------------------------------------------

class CupsPrinting final : public PrintingService {
public:
    struct Options {
        // "host:port" or the path of a local socket; empty: the scheduler libcups is configured for (CUPS_SERVER,
        // client.conf, or the local scheduler).
        std::string server;
        std::chrono::milliseconds time_limit = std::chrono::seconds(10);
        // How many canceled or failed jobs jobs() lists after the unfinished ones.
        std::size_t recent_finished_jobs = 20;
    };

    CupsPrinting() : CupsPrinting(Options{}) {}
    explicit CupsPrinting(Options options);

    Result<std::vector<PrintQueue>> queues() override;
    Result<std::vector<PrintJob>> jobs() override;
    Status set_default(std::string_view queue) override;
    Status set_enabled(std::string_view queue, bool enabled) override;
    Status remove_queue(std::string_view queue) override;
    Status cancel_job(std::string_view id) override;
    Status retry_job(std::string_view id) override;

private:
    Options options_;
};

// ---- The fake ------------------------------------------------------------------------------------------------------

// Answers from its state and applies every change to it. Safe to share between threads.
class FakePrinting final : public PrintingService {
public:
    struct State {
        Result<std::vector<PrintQueue>> queues = std::vector<PrintQueue>{};
        Result<std::vector<PrintJob>> jobs = std::vector<PrintJob>{};
        // When set, every change fails with this text.
        std::optional<std::string> change_failure;
    };

    FakePrinting() = default;
    explicit FakePrinting(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    void set_state(State state);

    Result<std::vector<PrintQueue>> queues() override;
    Result<std::vector<PrintJob>> jobs() override;
    Status set_default(std::string_view queue) override;
    Status set_enabled(std::string_view queue, bool enabled) override;
    Status remove_queue(std::string_view queue) override;
    Status cancel_job(std::string_view id) override;
    Status retry_job(std::string_view id) override;

private:
    mutable std::mutex mutex_;
    State state_;
};

}  // namespace system_ops::printing
