#pragma once
// Printing and scanning on this machine: the print queues and print jobs of the CUPS scheduler (libcups over IPP),
// the supply levels the printers themselves report, driverless IPP printers advertised on the network (DNS-SD through
// ippfind) and the scanners SANE finds (scanimage).
//
// The free functions forward to the current PrintingService (see current.hpp); the real one is CupsPrinting. All of
// them may be called from any thread; each one is bounded in time.

#include "cmd_runner/cmd_runner.hpp"
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

// A printer on the network that prints without a driver (IPP Everywhere, AirPrint, Mopria).
struct DriverlessPrinter {
    std::string id;                     // its IPP address: "ipps://Office.local.:631/ipp/print"
    std::string name;                   // the name it advertises: "Office Laser"
    std::optional<std::string> detail;  // its make and model, when advertised: "HP LaserJet M28w"

    friend bool operator==(const DriverlessPrinter&, const DriverlessPrinter&) = default;
};

// A scanner as SANE reports it.
struct ScannerEntry {
    std::string description;  // vendor, model and type: "Noname frontend-tester virtual device"
    std::string device;       // SANE's device name: "airscan:e0:HP LaserJet MFP"

    friend bool operator==(const ScannerEntry&, const ScannerEntry&) = default;
};

class PrintingService {
public:
    virtual ~PrintingService() = default;
    // The scheduler's queues (one quick request; supplies as the scheduler last heard of them).
    [[nodiscard]] virtual Result<std::vector<PrintQueue>> queues() = 0;
    // The same, and each queue whose device is an IPP printer asked directly for its supply levels: `live_details`
    // tells whether it answered. A printer that does not answer costs up to the live-query time limit.
    [[nodiscard]] virtual Result<std::vector<PrintQueue>> queues_with_live_details() = 0;
    // Jobs not yet completed, then the most recent canceled or failed ones (which can be retried).
    [[nodiscard]] virtual Result<std::vector<PrintJob>> jobs() = 0;
    [[nodiscard]] virtual Status set_default(std::string_view queue) = 0;
    // Resumes (enabled) or pauses the queue.
    [[nodiscard]] virtual Status set_enabled(std::string_view queue, bool enabled) = 0;
    [[nodiscard]] virtual Status remove_queue(std::string_view queue) = 0;
    [[nodiscard]] virtual Status cancel_job(std::string_view id) = 0;
    [[nodiscard]] virtual Status retry_job(std::string_view id) = 0;
    // Driverless printers advertised on the local network (a search of a few seconds), by name.
    [[nodiscard]] virtual Result<std::vector<DriverlessPrinter>> discover_driverless() = 0;
    // Adds a new queue for the driverless printer at `uri` (a DriverlessPrinter's id), named after `name`, and
    // answers the queue's name. Never changes an existing queue: when the name is taken (CUPS compares names
    // without case), "-2", "-3", ... is added. Fails without adding anything when the printer does not answer or
    // cannot print without a driver.
    [[nodiscard]] virtual Result<std::string> add_driverless(std::string_view uri, std::string_view name) = 0;
    // The scanners SANE finds, local and on the network.
    [[nodiscard]] virtual Result<std::vector<ScannerEntry>> scanners() = 0;
};

[[nodiscard]] std::shared_ptr<PrintingService> current();
std::shared_ptr<PrintingService> replace_current(std::shared_ptr<PrintingService> service);

[[nodiscard]] Result<std::vector<PrintQueue>> queues();
[[nodiscard]] Result<std::vector<PrintQueue>> queues_with_live_details();
[[nodiscard]] Result<std::vector<PrintJob>> jobs();
[[nodiscard]] Status set_default(std::string_view queue);
[[nodiscard]] Status set_enabled(std::string_view queue, bool enabled);
[[nodiscard]] Status remove_queue(std::string_view queue);
[[nodiscard]] Status cancel_job(std::string_view id);
[[nodiscard]] Status retry_job(std::string_view id);
[[nodiscard]] Result<std::vector<DriverlessPrinter>> discover_driverless();
[[nodiscard]] Result<std::string> add_driverless(std::string_view uri, std::string_view name);
[[nodiscard]] Result<std::vector<ScannerEntry>> scanners();

// Whether CUPS accepts the text as a queue name: 1 to 127 bytes, no blank or control character, none of
// / \ ? ' " #.
[[nodiscard]] bool is_queue_name(std::string_view name);
// Whether the text is a job number: 1 to 9 decimal digits, not 0.
[[nodiscard]] bool is_job_id(std::string_view id);
// Whether the text is the address of a network IPP printer: an "ipp" or "ipps" URI with a host, no blank or
// control character, shorter than 1024 bytes.
[[nodiscard]] bool is_driverless_uri(std::string_view uri);

// ---- Reading what the scheduler, printers and tools answer (exposed for tests) ---------------------------------

// The page's state of a queue from its IPP printer-state (3 idle, 4 processing, 5 stopped) and state reasons. A
// stopped queue is Paused even when it is also offline, so that it can always be resumed.
[[nodiscard]] QueueState queue_state(int printer_state, const std::vector<std::string>& reasons);

// Supply levels from a printer's "printer-supply" values ("type=toner;maxcapacity=100;level=75;...") and its
// "printer-supply-description" texts (same order). A level is a percentage of the capacity; negative levels
// (unknown, "some left") give none.
[[nodiscard]] std::vector<PrinterSupply> parse_supplies(const std::vector<std::string>& supplies,
                                                        const std::vector<std::string>& descriptions);

// A queue name for a printer called `name`: its letters, digits, "-" and "_" (other runs become one "_"), at most
// 100 bytes, "Printer" when nothing is left; then "-2", "-3", ... until it differs, without regard to case, from
// every name in `taken`.
[[nodiscard]] std::string unused_queue_name(std::string_view name, const std::vector<std::string>& taken);

// What `ippfind` prints through the search command of discover_driverless(): one record per advertised service,
// fields separated by U+001F (address, service name, make and model), records ended by U+001E. Records with
// an address that is not an IPP printer are dropped; a printer advertised over both ipps and ipp is listed once,
// with its ipps address. Sorted by name.
[[nodiscard]] std::vector<DriverlessPrinter> parse_ippfind_output(std::string_view text);

// What `scanimage` prints through the listing format of scanners(): one record per device, fields separated by
// U+001F (device, vendor, model, type), records ended by U+001E.
[[nodiscard]] std::vector<ScannerEntry> parse_scanner_list(std::string_view text);

// ---- The real backend ----------------------------------------------------------------------------------------------

// The CUPS scheduler and the printers over libcups, discovery through ippfind (DNS-SD, so Avahi must run), scanners
// through SANE's scanimage. Keeps no state between calls.
class CupsPrinting final : public PrintingService {
public:
    struct Options {
        // "host:port" or the path of a local socket; empty: the scheduler libcups is configured for (CUPS_SERVER,
        // client.conf, or the local scheduler).
        std::string server;
        std::chrono::milliseconds time_limit = std::chrono::seconds(10);
        // How many canceled or failed jobs jobs() lists after the unfinished ones.
        std::size_t recent_finished_jobs = 20;
        // How long a printer may take to answer a direct query (supply levels; the check before adding it).
        std::chrono::milliseconds live_time_limit = std::chrono::seconds(3);
        // How long discover_driverless() listens for printers.
        std::chrono::seconds discovery_time = std::chrono::seconds(5);
        // How long SANE may take to list its scanners (network backends search for a few seconds).
        std::chrono::milliseconds scanner_time_limit = std::chrono::seconds(30);
        // Runs ippfind and scanimage.
        std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner();
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
    Result<std::vector<PrintQueue>> queues_with_live_details() override;
    Result<std::vector<DriverlessPrinter>> discover_driverless() override;
    Result<std::string> add_driverless(std::string_view uri, std::string_view name) override;
    Result<std::vector<ScannerEntry>> scanners() override;

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
    // The fake knows no printer devices, network or scanners: live details are the scheduler's, nothing is found,
    // and adding fails.
    Result<std::vector<PrintQueue>> queues_with_live_details() override { return queues(); }
    Result<std::vector<DriverlessPrinter>> discover_driverless() override { return std::vector<DriverlessPrinter>{}; }
    Result<std::string> add_driverless(std::string_view uri, std::string_view name) override;
    Result<std::vector<ScannerEntry>> scanners() override { return std::vector<ScannerEntry>{}; }

private:
    mutable std::mutex mutex_;
    State state_;
};

}  // namespace system_ops::printing
