#pragma once
// A compositor for the tests of the Displays page: it serves the session's display files (snapshot, active layout,
// transaction) like the real display service, over a layout held in memory, on a thread of its own that moves only
// when the test says so.
//
//   display_service::testing::FakeCompositor compositor(snapshot, layout, {.clock = clock});
//   ... the page requests a transaction
//   compositor.step();                     // takes it: Applied (AwaitingConfirmation) with the deadline
//   compositor.refuse_next("DP-1 cannot be rotated");  // the next layout is Rejected with that reason
//   compositor.step();                     // after the clock passed the deadline: Reverted
//
// Without step() a request stays Requested, as when no display service answers. Put XDG_RUNTIME_DIR on a private
// folder first.

#include "display_service/randr.hpp"
#include "display_service/service.hpp"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace display_service::testing {

// A layout held in memory.
class MemoryLayout final : public LayoutBackend {
public:
    MemoryLayout(DisplayHardwareSnapshot snapshot, DisplayConfig layout);

    std::expected<DisplayHardwareSnapshot, std::string> snapshot() override;
    std::expected<DisplayConfig, std::string> layout() override;
    std::expected<void, std::string> apply(const DisplayConfig& config) override;

    void refuse_next(std::string reason);
    [[nodiscard]] std::vector<DisplayConfig> applied() const;  // every layout switched to, in order

private:
    mutable std::mutex mutex_;
    DisplayHardwareSnapshot snapshot_;
    DisplayConfig layout_;
    std::optional<std::string> refusal_;
    std::vector<DisplayConfig> applied_;
};

class FakeCompositor {
public:
    struct Options {
        std::chrono::milliseconds safety = kSafetyTime;
        std::function<std::uint64_t()> clock;  // Unix milliseconds
    };

    // Writes the snapshot and the active layout files at once.
    FakeCompositor(DisplayHardwareSnapshot snapshot, DisplayConfig layout, Options options);
    ~FakeCompositor();
    FakeCompositor(const FakeCompositor&) = delete;
    FakeCompositor& operator=(const FakeCompositor&) = delete;

    // One pass of the service on the compositor's thread; returns when it is done. Answers whether a transaction
    // is still pending.
    bool step();
    void refuse_next(std::string reason) { layout_->refuse_next(std::move(reason)); }
    [[nodiscard]] std::vector<DisplayConfig> applied() const { return layout_->applied(); }
    [[nodiscard]] DisplayConfig layout() const { return *layout_->layout(); }

private:
    void run();

    std::shared_ptr<MemoryLayout> layout_;
    TransactionService service_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t asked_ = 0;
    std::uint64_t done_ = 0;
    bool pending_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace display_service::testing
