#pragma once
// The user's per-user directories, from the environment (XDG base directories).

#include <filesystem>
#include <optional>

namespace user_dirs {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config when HOME is an absolute path, else none.
[[nodiscard]] std::optional<std::filesystem::path> config_dir();

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share when HOME is an absolute path, else none.
[[nodiscard]] std::optional<std::filesystem::path> data_dir();

}  // namespace user_dirs
