#include "panes/printers/printers_backend.hpp"

namespace settings::panes::printers {

namespace printing = system_ops::printing;

Listed<PrintQueue> SystemPrintingBackend::queues()
{
    return printing::queues_with_live_details();
}

Listed<PrintJob> SystemPrintingBackend::jobs()
{
    return printing::jobs();
}

Listed<DriverlessPrinter> SystemPrintingBackend::discover_driverless()
{
    return printing::discover_driverless();
}

Listed<ScannerEntry> SystemPrintingBackend::scanners()
{
    return printing::scanners();
}

Outcome SystemPrintingBackend::add_driverless(const DriverlessPrinter& printer)
{
    auto added = printing::add_driverless(printer.id, printer.name);
    if (!added) {
        return std::unexpected(std::move(added.error()));
    }
    return {};
}

Outcome SystemPrintingBackend::set_default(std::string_view queue)
{
    return printing::set_default(queue);
}

Outcome SystemPrintingBackend::set_enabled(std::string_view queue, bool enabled)
{
    return printing::set_enabled(queue, enabled);
}

Outcome SystemPrintingBackend::remove_queue(std::string_view queue)
{
    return printing::remove_queue(queue);
}

Outcome SystemPrintingBackend::cancel_job(std::string_view id)
{
    return printing::cancel_job(id);
}

Outcome SystemPrintingBackend::retry_job(std::string_view id)
{
    return printing::retry_job(id);
}

}  // namespace settings::panes::printers
