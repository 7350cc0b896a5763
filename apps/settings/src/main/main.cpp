// Program entry of Vorn Settings ("so.vorn.settings"). Takes no arguments; the launcher opens the window and runs
// the application until it ends.
#include "launch/launch.hpp"

#include <spdlog/spdlog.h>

#include <cstdio>
#include <cstdlib>

int main()
{
    settings::launch::keep_session_bus_from_autolaunching();
    const int status = vorn_ui::launch::run_or_exit(settings::launch::launch_config());
    // Everything the window owned is gone by now, but a background refresh may still be inside a system query
    // (bounded by the command runner's time limit) that it was left to finish. The process ends here, without
    // running static destructors underneath that thread; the logs and standard streams are flushed first.
    spdlog::apply_all([](const std::shared_ptr<spdlog::logger>& logger) { logger->flush(); });
    std::fflush(nullptr);
    std::_Exit(status);
}
