#include "sound_graph/notification_sound.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>

namespace sound_graph::notification_sound {

namespace fs = std::filesystem;

namespace {

bool plain_event(std::string_view event)
{
    return !event.empty() && event.size() <= 64 && event.front() != '-' && std::ranges::all_of(event, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
    });
}

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

SoundBackend sound_backend()
{
    if (cmd_runner::program_available("canberra-gtk-play")) {
        return SoundBackend::SessionTheme;
    }
    if (cmd_runner::program_available("pw-play")) {
        return SoundBackend::PipeWireRoute;
    }
    return SoundBackend::Unavailable;
}

std::vector<fs::path> theme_dirs()
{
    std::vector<fs::path> bases;
    std::string data_home = env("XDG_DATA_HOME");
    if (data_home.empty() || data_home.front() != '/') {
        const std::string home = env("HOME");
        data_home = home.empty() ? std::string() : home + "/.local/share";
    }
    if (!data_home.empty()) {
        bases.emplace_back(data_home);
    }
    std::string data_dirs = env("XDG_DATA_DIRS");
    if (data_dirs.empty()) {
        data_dirs = "/usr/local/share:/usr/share";
    }
    std::string_view rest = data_dirs;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!dir.empty() && dir.front() == '/') {
            bases.emplace_back(dir);
        }
    }
    std::vector<fs::path> dirs;
    for (const auto& base : bases) {
        fs::path dir = base / "sounds" / "freedesktop" / "stereo";
        if (std::ranges::find(dirs, dir) == dirs.end()) {
            dirs.push_back(std::move(dir));
        }
    }
    return dirs;
}

std::optional<fs::path> theme_sound_file(std::string_view event, const std::vector<fs::path>& dirs)
{
    if (!plain_event(event)) {
        return std::nullopt;
    }
    for (const auto& dir : dirs) {
        for (const std::string_view extension : {".oga", ".ogg", ".wav"}) {
            const fs::path file = dir / (std::string(event) + std::string(extension));
            std::error_code error;
            if (fs::is_regular_file(file, error)) {
                return file;
            }
        }
    }
    return std::nullopt;
}

std::expected<void, std::string> play(std::string_view event, cmd_runner::Runner& runner,
                                      const std::vector<fs::path>& dirs)
{
    if (!plain_event(event)) {
        return std::unexpected(fmt::format("\"{}\" is not a sound event name", cmd_runner::clean_text(event)));
    }
    cmd_runner::Command command{.time_limit = play_time_limit, .output_limit = 64 * 1024};
    switch (sound_backend()) {
    case SoundBackend::SessionTheme:
        command.program = "canberra-gtk-play";
        command.args = {"--id=" + std::string(event), "--description=Notification"};
        break;
    case SoundBackend::PipeWireRoute: {
        const auto file = theme_sound_file(event, dirs);
        if (!file) {
            return std::unexpected(
                fmt::format("The freedesktop sound theme has no sound for \"{}\"; install sound-theme-freedesktop",
                            event));
        }
        command.program = "pw-play";
        command.args = {"--media-role=Notification", "--", file->string()};
        break;
    }
    case SoundBackend::Unavailable:
        return std::unexpected(std::string("No notification sound player: install libcanberra or PipeWire sound tools"));
    }
    const auto out = runner.run(command);
    if (!out) {
        return std::unexpected(fmt::format("{} failed: {}", command.program, out.error().message));
    }
    if (!out->status.success()) {
        return std::unexpected(cmd_runner::failure_text(*out, command.program));
    }
    return {};
}

std::expected<void, std::string> play(std::string_view event)
{
    return play(event, *cmd_runner::system_runner(), theme_dirs());
}

}  // namespace sound_graph::notification_sound
