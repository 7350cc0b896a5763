#include "vorn_ui/persist.hpp"

#include "safe_write/safe_write.hpp"
#include "vorn_log/log.hpp"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vorn_ui::persist {

namespace {

constexpr std::uint32_t kMaxWindowSide = 16384;
constexpr std::uint32_t kMinWindowSide = 200;

std::optional<std::uint32_t> side(const nlohmann::json& object, const char* name)
{
    const auto it = object.find(name);
    if (it == object.end() || !it->is_number_unsigned()) {
        return std::nullopt;
    }
    const auto value = it->get<std::uint64_t>();
    if (value < kMinWindowSide || value > kMaxWindowSide) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

bool plain_name(std::string_view id)
{
    if (id.empty() || id == "." || id == "..") {
        return false;
    }
    return id.find('/') == std::string_view::npos && id.find('\0') == std::string_view::npos;
}

}  // namespace

std::string to_json(const ToolkitState& state)
{
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    if (state.window_width && state.window_height) {
        out["window"] = {{"width", *state.window_width}, {"height", *state.window_height}};
    }
    return out.dump(2) + "\n";
}

std::expected<ToolkitState, std::string> from_json(std::string_view text)
{
    const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        return std::unexpected(std::string("the toolkit state is not a JSON object"));
    }
    ToolkitState state;
    if (const auto window = parsed.find("window"); window != parsed.end() && window->is_object()) {
        state.window_width = side(*window, "width");
        state.window_height = side(*window, "height");
        if (!state.window_width || !state.window_height) {
            state.window_width.reset();
            state.window_height.reset();
        }
    }
    return state;
}

ToolkitState Store::load() const
{
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto state = from_json(text.str());
    if (!state) {
        VORN_WARN("persist", "ignoring damaged toolkit state file={} error={}", file_.string(), state.error());
        return {};
    }
    return *state;
}

std::expected<void, std::string> Store::save(const ToolkitState& state) const
{
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (ec) {
        return std::unexpected("could not create " + file_.parent_path().string() + ": " + ec.message());
    }
    return safe_write::write_file(file_, to_json(state));
}

std::unique_ptr<Store> open(std::string_view application_id)
{
    if (!plain_name(application_id)) {
        return nullptr;
    }
    std::filesystem::path base;
    if (const char* state_home = std::getenv("XDG_STATE_HOME"); state_home != nullptr && state_home[0] == '/') {
        base = state_home;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::filesystem::path(home) / ".local" / "state";
    } else {
        return nullptr;
    }
    return std::make_unique<Store>(base / std::string(application_id) / "toolkit-state.json");
}

}  // namespace vorn_ui::persist
