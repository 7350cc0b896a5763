#pragma once
// The program's side of the launch: the root factory, the application hook and the launch configuration that the
// program entry hands to vorn_ui::launch::run_or_exit.

#include "vorn_ui/app.hpp"
#include "vorn_ui/launch.hpp"
#include "vorn_ui/widget.hpp"

#include <cstdint>
#include <memory>
#include <utility>

namespace settings::launch {

inline constexpr std::string_view kApplicationId = "so.vorn.settings";

// The root widget of the window.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_root();
// Registers the set-setting action ("settings.action") and switches the invocation pump and the refresh of
// control availability on.
void register_actions(vorn_ui::app::App& app);
[[nodiscard]] std::pair<std::uint32_t, std::uint32_t> default_window_size();
[[nodiscard]] vorn_ui::launch::LaunchConfig launch_config();

// Without a session bus (no DBUS_SESSION_BUS_ADDRESS and no socket at $XDG_RUNTIME_DIR/bus), the D-Bus libraries
// the window and the Secret Service use would autolaunch one through dbus-launch, which outlives the program. This
// sets DBUS_SESSION_BUS_ADDRESS to "disabled:" instead, so that they find none; call it before anything connects.
void keep_session_bus_from_autolaunching();

}  // namespace settings::launch
