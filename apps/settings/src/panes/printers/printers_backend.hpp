#pragma once
// What the Printers page reads and changes: the printing layer (system_ops::printing) behind one interface, so that
// the page's tests can put a fake in its place (panes/printers/testing).
//
// Every operation may block for seconds (a printer that does not answer, a network search): the page calls them on
// worker threads only. Implementations must be safe to call from several threads at once.

#include "system_ops/printing.hpp"

#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::printers {

using system_ops::printing::DriverlessPrinter;
using system_ops::printing::JobState;
using system_ops::printing::PrinterSupply;
using system_ops::printing::PrintJob;
using system_ops::printing::PrintQueue;
using system_ops::printing::QueueState;
using system_ops::printing::ScannerEntry;

template <class T>
using Listed = std::expected<std::vector<T>, std::string>;
using Outcome = std::expected<void, std::string>;

class PrintingBackend {
public:
    virtual ~PrintingBackend() = default;
    // Queues with their printers' live details (supply levels), jobs, driverless printers on the network, scanners.
    [[nodiscard]] virtual Listed<PrintQueue> queues() = 0;
    [[nodiscard]] virtual Listed<PrintJob> jobs() = 0;
    [[nodiscard]] virtual Listed<DriverlessPrinter> discover_driverless() = 0;
    [[nodiscard]] virtual Listed<ScannerEntry> scanners() = 0;
    // Adds a new queue for the printer (its address and name); never changes an existing queue.
    [[nodiscard]] virtual Outcome add_driverless(const DriverlessPrinter& printer) = 0;
    [[nodiscard]] virtual Outcome set_default(std::string_view queue) = 0;
    // Resumes (true) or pauses (false) the queue.
    [[nodiscard]] virtual Outcome set_enabled(std::string_view queue, bool enabled) = 0;
    [[nodiscard]] virtual Outcome remove_queue(std::string_view queue) = 0;
    [[nodiscard]] virtual Outcome cancel_job(std::string_view id) = 0;
    [[nodiscard]] virtual Outcome retry_job(std::string_view id) = 0;
};

// The machine's printing system, through the current system_ops::printing service.
class SystemPrintingBackend final : public PrintingBackend {
public:
    Listed<PrintQueue> queues() override;
    Listed<PrintJob> jobs() override;
    Listed<DriverlessPrinter> discover_driverless() override;
    Listed<ScannerEntry> scanners() override;
    Outcome add_driverless(const DriverlessPrinter& printer) override;
    Outcome set_default(std::string_view queue) override;
    Outcome set_enabled(std::string_view queue, bool enabled) override;
    Outcome remove_queue(std::string_view queue) override;
    Outcome cancel_job(std::string_view id) override;
    Outcome retry_job(std::string_view id) override;
};

}  // namespace settings::panes::printers
