#include "user_dirs/user_dirs.hpp"

#include <cstdlib>
#include <string_view>

namespace user_dirs {
namespace {

std::optional<std::filesystem::path> absolute_env(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || std::string_view(value).empty()) {
        return std::nullopt;
    }
    std::filesystem::path path(value);
    if (!path.is_absolute()) {
        return std::nullopt;  // relative XDG paths are invalid and must be ignored
    }
    return path;
}

std::optional<std::filesystem::path> xdg_dir(const char* variable, const char* home_relative)
{
    if (auto dir = absolute_env(variable)) {
        return dir;
    }
    if (auto home = absolute_env("HOME")) {
        return *home / home_relative;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> config_dir() { return xdg_dir("XDG_CONFIG_HOME", ".config"); }

std::optional<std::filesystem::path> data_dir() { return xdg_dir("XDG_DATA_HOME", ".local/share"); }

std::optional<std::filesystem::path> state_dir() { return xdg_dir("XDG_STATE_HOME", ".local/state"); }

std::optional<std::filesystem::path> runtime_dir() { return absolute_env("XDG_RUNTIME_DIR"); }

}  // namespace user_dirs
