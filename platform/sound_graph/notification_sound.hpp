#pragma once
// How the session can play a notification sound.
//
// canberra-gtk-play (libcanberra) plays an event of the session's sound theme by its name; without it pw-play plays
// the event's file of the freedesktop sound theme on PipeWire's default route; with neither nothing can be played.
// Both run through the command runner with a time limit, so a stuck player never holds its caller.
//
//   switch (notification_sound::sound_backend()) { case SoundBackend::SessionTheme: ... }
//   if (auto played = notification_sound::play("message-new-instant"); !played) log(played.error());

#include "cmd_runner/cmd_runner.hpp"

#include <chrono>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sound_graph::notification_sound {

enum class SoundBackend { SessionTheme, PipeWireRoute, Unavailable };

inline constexpr std::string_view default_event = "message-new-instant";
inline constexpr std::chrono::milliseconds play_time_limit = std::chrono::seconds(10);

// What PATH offers now: canberra-gtk-play, else pw-play, else nothing.
[[nodiscard]] SoundBackend sound_backend();

// The sound folders of the freedesktop theme: "sounds/freedesktop/stereo" of $XDG_DATA_HOME, then of each entry of
// $XDG_DATA_DIRS.
[[nodiscard]] std::vector<std::filesystem::path> theme_dirs();
// The event's file in the first folder that has one (".oga", ".ogg", then ".wav"); none for a name that is not a
// plain event name (letters, digits and "-", not first).
[[nodiscard]] std::optional<std::filesystem::path> theme_sound_file(std::string_view event,
                                                                    const std::vector<std::filesystem::path>& dirs);

// Plays the event with the backend there is and waits for the player (at most play_time_limit). Errors: no player,
// no sound file for the event, the player's failure, the runner's limit.
[[nodiscard]] std::expected<void, std::string> play(std::string_view event, cmd_runner::Runner& runner,
                                                    const std::vector<std::filesystem::path>& dirs);
[[nodiscard]] std::expected<void, std::string> play(std::string_view event = default_event);

}  // namespace sound_graph::notification_sound
