#pragma once
// Structured log events of the settings program: target "vorn::settings", with source file, line and an
// operation tag ("display_prefs_save", ...) in front of the message.
//
//   VORN_WARN("power_prefs_save", "failed to persist power prefs: {}", error);

#include <spdlog/spdlog.h>

#include <memory>
#include <string_view>

namespace vorn_log {

inline constexpr std::string_view target = "vorn::settings";

// The program's logger (stderr, created on first use; safe from any thread).
spdlog::logger& logger();

// Replace the logger's sinks (tests capture events this way); call only while no other thread logs.
// Passing nullptr restores stderr.
void set_sink(std::shared_ptr<spdlog::sinks::sink> sink);

}  // namespace vorn_log

#define VORN_LOG_AT(level, op, ...)                                                                        \
    ::vorn_log::logger().log(::spdlog::source_loc{__FILE__, __LINE__, static_cast<const char*>(__func__)}, \
                             level, "[{}] {}", op, ::fmt::format(__VA_ARGS__))

#define VORN_DEBUG(op, ...) VORN_LOG_AT(::spdlog::level::debug, op, __VA_ARGS__)
#define VORN_INFO(op, ...) VORN_LOG_AT(::spdlog::level::info, op, __VA_ARGS__)
#define VORN_WARN(op, ...) VORN_LOG_AT(::spdlog::level::warn, op, __VA_ARGS__)
#define VORN_ERROR(op, ...) VORN_LOG_AT(::spdlog::level::err, op, __VA_ARGS__)
