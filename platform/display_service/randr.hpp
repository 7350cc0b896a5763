#pragma once
// The outputs of an X11 session through the X Resize and Rotate extension (RandR 1.3 or later): what they are and
// offer, the layout they run, and switching to another layout.
//
//   auto screen = display_service::RandrScreen::open();       // $DISPLAY, or a display name such as ":5"
//   auto outputs = (*screen)->snapshot();                     // outputs with their modes (EDID names the display)
//   auto live = (*screen)->layout();                          // the layout running now
//   auto done = (*screen)->apply(config);                     // or the reason RandR cannot run it
//
// RandR switches outputs on and off, picks the primary output, sets mode and refresh rate, position and rotation
// (where the driver can rotate), and mirrors by showing the same part of the screen on two outputs. It has no
// per-output scale, HDR, variable refresh or colour profiles: the snapshot says so and apply refuses them.
//
// One RandrScreen holds one connection; it is not shared between threads.

#include "config_sections/display_config.hpp"
#include "config_sections/display_hardware.hpp"

#include <expected>
#include <memory>
#include <optional>
#include <string>

namespace display_service {

using config_sections::hardware::DisplayConfig;
using config_sections::hardware::DisplayHardwareSnapshot;

// What the display service needs of the session's display system (RandrScreen; tests may supply another).
class LayoutBackend {
public:
    virtual ~LayoutBackend() = default;
    // The outputs the session can drive: connected ones, and those that run or offer a mode.
    [[nodiscard]] virtual std::expected<DisplayHardwareSnapshot, std::string> snapshot() = 0;
    // The layout running now, one entry per output of the snapshot.
    [[nodiscard]] virtual std::expected<DisplayConfig, std::string> layout() = 0;
    // Switches to the layout (entries of outputs it does not name stay as they are). The error is the reason, one
    // sentence without a final full stop. Positions are moved so that the layout starts at (0, 0).
    [[nodiscard]] virtual std::expected<void, std::string> apply(const DisplayConfig& config) = 0;
};

class RandrScreen final : public LayoutBackend {
public:
    // Connects to the display (none: $DISPLAY). Errors: "cannot open the X display :5", "the X server has no
    // RandR 1.3".
    [[nodiscard]] static std::expected<std::unique_ptr<RandrScreen>, std::string> open(
        const std::optional<std::string>& display_name = std::nullopt);
    ~RandrScreen() override;
    RandrScreen(const RandrScreen&) = delete;
    RandrScreen& operator=(const RandrScreen&) = delete;

    std::expected<DisplayHardwareSnapshot, std::string> snapshot() override;
    std::expected<DisplayConfig, std::string> layout() override;
    std::expected<void, std::string> apply(const DisplayConfig& config) override;

private:
    struct Connection;
    explicit RandrScreen(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> x_;
};

}  // namespace display_service
