#pragma once
// The user's per-user directories, from the environment (XDG base directories).

#include <filesystem>
#include <optional>

namespace user_dirs {

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config when HOME is an absolute path, else none.
[[nodiscard]] std::optional<std::filesystem::path> config_dir();

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share when HOME is an absolute path, else none.
[[nodiscard]] std::optional<std::filesystem::path> data_dir();

// $XDG_STATE_HOME when it is an absolute path, else $HOME/.local/state when HOME is an absolute path, else none.
// For state that outlives a session but is not worth backing up (histories, caches of what was last seen).
[[nodiscard]] std::optional<std::filesystem::path> state_dir();

// $XDG_RUNTIME_DIR when it is an absolute path (the session's private folder for sockets and state files that
// live as long as the login), else none: there is no fallback, since any other folder may be shared or outlive the
// session.
[[nodiscard]] std::optional<std::filesystem::path> runtime_dir();

}  // namespace user_dirs
