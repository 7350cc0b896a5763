#include "launch/launch.hpp"

#include "actions/set_setting.hpp"
#include "app/settings_app.hpp"
#include "vorn_ui/persist.hpp"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace settings::launch {

std::unique_ptr<vorn_ui::Widget> build_root()
{
    app::SettingsAppOptions options;
    options.sample_battery = true;
    return app::SettingsApp::create(std::move(options));
}

void register_actions(vorn_ui::app::App& app)
{
    actions::register_settings_action(app.action_registry_mut());
    app.runs_control_invocations = true;
    app.refreshes_control_availability = true;
}

void keep_session_bus_from_autolaunching()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0') {
        return;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
        std::error_code ec;
        if (std::filesystem::is_socket(std::filesystem::path(runtime) / "bus", ec)) {
            return;  // the libraries find the user's bus there on their own
        }
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

std::pair<std::uint32_t, std::uint32_t> default_window_size() { return {1280, 800}; }

vorn_ui::launch::LaunchConfig launch_config()
{
    return vorn_ui::launch::LaunchConfig{
        .application_id = std::string(kApplicationId),
        .root_factory = build_root,
        .app_hook = register_actions,
        .default_window_size = default_window_size,
        .further_callback = [] { return std::uint32_t{1}; },
        .persistence_opener = vorn_ui::persist::open,
        .flag_a = true,
        .flag_b = false,
        .flag_c = true,
        .flag_d = true,
    };
}

}  // namespace settings::launch
