#pragma once
// Test support for the Printers page: a printing system held in memory, worker threads the test runs by hand and a
// clock the test moves.

#include "panes/printers/printers_model.hpp"

#include "page_workers/testing/manual_threads.hpp"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::printers::testing {

// Answers from its state and applies every change to it, like a printing system would. Every call is recorded.
// Safe to use from several threads.
class FakePrintingBackend final : public PrintingBackend {
public:
    struct State {
        Listed<PrintQueue> queues = std::vector<PrintQueue>{};
        Listed<PrintJob> jobs = std::vector<PrintJob>{};
        Listed<DriverlessPrinter> nearby = std::vector<DriverlessPrinter>{};
        Listed<ScannerEntry> scanners = std::vector<ScannerEntry>{};
        // When set, every change fails with this text.
        std::optional<std::string> change_failure;
    };

    FakePrintingBackend() = default;
    explicit FakePrintingBackend(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    void change(const std::function<void(State&)>& edit);
    // The calls so far, one line each: "queues", "set_enabled Office true", "add_driverless ipp://a/ Office".
    [[nodiscard]] std::vector<std::string> calls() const;
    // The calls that change something.
    [[nodiscard]] std::vector<std::string> changes() const;

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

private:
    void record(std::string call);
    PrintQueue* find_queue(std::string_view name);
    PrintJob* find_job(std::string_view id);

    mutable std::mutex mutex_;
    State state_;
    std::vector<std::string> calls_;
};

// Worker threads that do not run until the test says so.
using ManualThreads = page_workers::testing::ManualThreads;

// A steady clock that moves only when the test moves it.
class ManualClock {
public:
    [[nodiscard]] PrintersModel::Clock clock();
    void advance(std::chrono::milliseconds step) { *now_ += step; }

private:
    std::shared_ptr<std::chrono::steady_clock::time_point> now_ =
        std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::time_point{} +
                                                                std::chrono::hours(1));
};

}  // namespace settings::panes::printers::testing
