#pragma once
// The toolkit's persisted state: what the window remembers between runs (its size). Stored as
// "toolkit-state.json" in the application's state folder ($XDG_STATE_HOME/<application id>, else
// ~/.local/state/<application id>), always written whole and atomically. A damaged or missing file means defaults.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vorn_ui::persist {

struct ToolkitState {
    std::optional<std::uint32_t> window_width;   // logical pixels
    std::optional<std::uint32_t> window_height;
    friend bool operator==(const ToolkitState&, const ToolkitState&) = default;
};

class Store {
public:
    explicit Store(std::filesystem::path file) : file_(std::move(file)) {}
    [[nodiscard]] const std::filesystem::path& file() const { return file_; }
    [[nodiscard]] ToolkitState load() const;
    [[nodiscard]] std::expected<void, std::string> save(const ToolkitState& state) const;

private:
    std::filesystem::path file_;
};

// The store of `application_id`; none when no state folder can be named (no HOME) or the id is not a plain name.
[[nodiscard]] std::unique_ptr<Store> open(std::string_view application_id);

// The state's JSON text, and the state read back from it (unknown members ignored, out-of-range sizes dropped).
[[nodiscard]] std::string to_json(const ToolkitState& state);
[[nodiscard]] std::expected<ToolkitState, std::string> from_json(std::string_view text);

}  // namespace vorn_ui::persist
