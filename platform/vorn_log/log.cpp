#include "vorn_log/log.hpp"

#include <spdlog/sinks/stdout_color_sinks.h>


namespace vorn_log {
namespace {

std::shared_ptr<spdlog::logger> make_logger()
{
    auto sink = std::make_shared<spdlog::sinks::stderr_color_sink_mt>();
    auto log = std::make_shared<spdlog::logger>(std::string(target), std::move(sink));
    // time, level, target, source file:line, message
    log->set_pattern("%Y-%m-%dT%H:%M:%S.%e %^%l%$ %n %s:%# %v");
    log->set_level(spdlog::level::info);
    return log;
}

}  // namespace

spdlog::logger& logger()
{
    static const std::shared_ptr<spdlog::logger> log = make_logger();
    return *log;
}

void set_sink(std::shared_ptr<spdlog::sinks::sink> sink)
{
    auto& log = logger();
    log.sinks().clear();
    log.sinks().push_back(sink ? std::move(sink) : std::make_shared<spdlog::sinks::stderr_color_sink_mt>());
}

}  // namespace vorn_log
