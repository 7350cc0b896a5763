#pragma once
// The display service: the compositor's side of the display files (config_sections/display_config.hpp) for a
// session whose compositor does not serve them, such as an X11 desktop.
//
// It takes each requested display transaction, checks the layout against the outputs, records the running layout
// and switches to the new one, then counts down: the user keeps the layout, or reverts it, or at the deadline the
// service restores the previous layout by itself. What the display system cannot do ends the transaction as
// Rejected with the reason in its message. Meanwhile it keeps the snapshot and the active layout files up to date.
//
// The program vorn-display-service runs it while a transaction is pending and a little longer, then ends; Settings
// starts it (ensure_display_service) when the session has none. It runs in a session of its own, so closing
// Settings never cancels the automatic restore.
//
//   TransactionService service(backend, {.safety = std::chrono::seconds(15)});
//   service.publish();                 // snapshot.json and config.json from the live outputs
//   while (...) service.step();        // one look at transaction.json; call it every 100 ms or so

#include "display_service/randr.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace display_service {

// How long a new layout waits for the user before the previous one comes back.
inline constexpr std::chrono::milliseconds kSafetyTime = std::chrono::seconds(15);

class TransactionService {
public:
    struct Options {
        std::chrono::milliseconds safety = kSafetyTime;
        std::function<std::uint64_t()> clock;  // Unix milliseconds; config_sections::hardware::unix_ms when empty
    };

    TransactionService(std::shared_ptr<LayoutBackend> backend, Options options);

    // Writes the snapshot and the active layout from the live outputs, when they differ from what was written.
    std::expected<void, std::string> publish();
    // Moves the current transaction on as far as it can go now. Answers whether one is still pending.
    [[nodiscard]] bool step();

private:
    void take_request(std::uint64_t id);
    void restore(std::uint64_t id, std::string_view why);
    [[nodiscard]] std::uint64_t now() const;

    std::shared_ptr<LayoutBackend> backend_;
    Options options_;
    std::optional<std::string> written_snapshot_;
    std::optional<std::string> written_layout_;
};

// ---- The program ---------------------------------------------------------------------------------------------------

struct RunOptions {
    std::optional<std::string> display;  // the X display; $DISPLAY when none
    std::chrono::milliseconds safety = kSafetyTime;
    std::chrono::milliseconds poll = std::chrono::milliseconds(100);
    // How long it stays once nothing is pending (a page that just opened may ask soon).
    std::chrono::milliseconds linger = std::chrono::seconds(10);
    const std::atomic<bool>* stop = nullptr;  // set (from a signal handler) to end early
};

// Serves the display files until nothing has been pending for `linger`. Another running service (it holds
// service.lock) makes this one end at once. Errors: no runtime folder, no X display.
[[nodiscard]] std::expected<void, std::string> run_display_service(const RunOptions& options);

// Whether a display service (ours or a compositor) holds the session's service lock now.
[[nodiscard]] bool display_service_running();

struct LaunchOptions {
    // The program; "vorn-display-service" beside the running program, else on PATH, when empty.
    std::string program;
    std::vector<std::string> args;
};

// Starts vorn-display-service, detached, unless a display service runs. Answers true when it started one, false
// when one runs already. Errors: "the session's Wayland compositor manages the displays" (WAYLAND_DISPLAY is set),
// "there is no X display to configure" (no DISPLAY), a runtime folder or start failure.
[[nodiscard]] std::expected<bool, std::string> ensure_display_service(const LaunchOptions& options = {});

}  // namespace display_service
