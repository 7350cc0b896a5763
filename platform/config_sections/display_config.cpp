#include "config_sections/display_config.hpp"

#include "config_sections/config_sections.hpp"
#include "config_sections/record_file.hpp"
#include "json_text/record.hpp"
#include "safe_write/file_lock.hpp"
#include "safe_write/safe_write.hpp"
#include "user_dirs/user_dirs.hpp"
#include "vorn_log/log.hpp"
#include "vorn_try/vorn_try.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace config_sections::hardware {
namespace {

constexpr std::array<std::string_view, 8> kStateNames{"requested", "awaiting-confirmation", "validating", "applying",
                                                      "kept",      "reverted",              "rejected",   "withdrawn"};

std::expected<std::filesystem::path, std::string> runtime_file(std::string_view name)
{
    VORN_TRY(auto dir, display_runtime_dir());
    return dir / name;
}

const OutputCapabilities* find_capabilities(std::span<const OutputCapabilities> outputs, std::string_view connector)
{
    const auto it = std::ranges::find(outputs, connector, &OutputCapabilities::connector);
    return it == outputs.end() ? nullptr : &*it;
}

std::string name_of(std::span<const OutputCapabilities> outputs, const std::string& connector)
{
    const OutputCapabilities* caps = find_capabilities(outputs, connector);
    return caps != nullptr && !caps->name.empty() ? caps->name : connector;
}

bool offered_scale(double scale)
{
    return std::ranges::any_of(kOutputScales, [scale](double offered) {
        return std::abs(offered - scale) <= std::numeric_limits<double>::epsilon();
    });
}

// Reads the transaction file: none when it is missing; a damaged file is logged and read as none.
std::optional<DisplayTransaction> read_transaction(const std::filesystem::path& path)
{
    auto transaction = read_record_file<DisplayTransaction>(path);
    if (!transaction) {
        VORN_WARN("display_transaction", "ignoring the transaction: {}", transaction.error());
        return std::nullopt;
    }
    return std::move(*transaction);
}

// Changes the transaction with this id under the lock; `change` answers an error to refuse.
std::expected<void, std::string> change_own(
    std::uint64_t id, const std::function<std::expected<void, std::string>(DisplayTransaction&)>& change)
{
    std::expected<void, std::string> result;
    auto updated = update_display_transaction([&](std::optional<DisplayTransaction>& current) {
        if (!current || current->id != id) {
            result = std::unexpected(std::string("the display change is no longer current"));
            return;
        }
        result = change(*current);
    });
    VORN_TRY_OK(updated);
    return result;
}

}  // namespace

// ---- Files -----------------------------------------------------------------------------------------------------

std::expected<std::filesystem::path, std::string> display_runtime_dir()
{
    auto dir = user_dirs::runtime_dir();
    if (!dir) {
        return std::unexpected(std::string("no runtime folder (XDG_RUNTIME_DIR is not set)"));
    }
    return *dir / "vorn" / "display";
}

std::expected<std::filesystem::path, std::string> display_config_path() { return runtime_file("config.json"); }
std::expected<std::filesystem::path, std::string> display_transaction_path()
{
    return runtime_file("transaction.json");
}
std::expected<std::filesystem::path, std::string> display_snapshot_path() { return runtime_file("snapshot.json"); }
std::expected<std::filesystem::path, std::string> display_service_lock_path() { return runtime_file("service.lock"); }

std::uint64_t unix_ms()
{
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
}

// ---- Layout ----------------------------------------------------------------------------------------------------

OutputCapabilities OutputCapabilities::of(const OutputDescriptor& output)
{
    return {.connector = output.connector,
            .name = output.name_or_connector(),
            .modes = output.modes,
            .color_profiles = output.color_profiles,
            .hdr_supported = output.hdr_supported,
            .vrr_supported = output.vrr_supported};
}

void to_json(Json& j, const OutputConfig& value)
{
    j = Json::object();
    j["enabled"] = value.enabled;
    j["primary"] = value.primary;
    j["scale"] = value.scale;
    j["x"] = value.x;
    j["y"] = value.y;
    j["mirror"] = json_text::value_or_null(value.mirror);
    j["mode"] = value.mode ? Json(*value.mode) : Json(nullptr);
    j["transform"] = value.transform;
    j["hdr"] = value.hdr;
    j["vrr"] = value.vrr;
    j["color_profile"] = json_text::value_or_null(value.color_profile);
}

json_text::Status read_value(const Json& v, OutputConfig& out)
{
    if (!v.is_object()) {
        return std::unexpected(json_text::invalid_type(v, "struct OutputConfig"));
    }
    OutputConfig value;
    std::int64_t x = 0;
    std::int64_t y = 0;
    json_text::RecordReader r(v, "OutputConfig", 11);
    r.defaulted("enabled", value.enabled)
        .defaulted("primary", value.primary)
        .defaulted("scale", value.scale)
        .defaulted("x", x)
        .defaulted("y", y)
        .defaulted("mirror", value.mirror)
        .defaulted("mode", value.mode)
        .defaulted("transform", value.transform)
        .defaulted("hdr", value.hdr)
        .defaulted("vrr", value.vrr)
        .defaulted("color_profile", value.color_profile);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    for (const std::int64_t coordinate : {x, y}) {
        if (coordinate < std::numeric_limits<std::int32_t>::min() ||
            coordinate > std::numeric_limits<std::int32_t>::max()) {
            return std::unexpected(fmt::format("invalid value: integer `{}`, expected i32", coordinate));
        }
    }
    value.x = static_cast<std::int32_t>(x);
    value.y = static_cast<std::int32_t>(y);
    out = std::move(value);
    return {};
}

void to_json(Json& j, const DisplayConfig& value)
{
    Json outputs = Json::object();
    for (const auto& [connector, entry] : value.outputs) {
        outputs[connector] = entry;
    }
    j = Json::object();
    j["outputs"] = std::move(outputs);
}

json_text::Status read_value(const Json& v, DisplayConfig& out)
{
    DisplayConfig value;
    json_text::RecordReader r(v, "DisplayConfig", 1);
    r.defaulted("outputs", value.outputs);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(value);
    return {};
}

std::expected<std::optional<DisplayConfig>, std::string> DisplayConfig::load_from(const std::filesystem::path& path)
{
    return read_record_file<DisplayConfig>(path);
}

DisplayConfig DisplayConfig::load()
{
    const auto path = display_config_path();
    if (!path) {
        return {};
    }
    auto config = load_from(*path);
    if (!config) {
        VORN_WARN("display_config", "reading the active layout as empty: {}", config.error());
        return {};
    }
    return config->value_or(DisplayConfig{});
}

std::expected<void, std::string> DisplayConfig::save_to(const std::filesystem::path& path) const
{
    return write_record_file(*this, path);
}

std::expected<void, std::string> DisplayConfig::save() const
{
    VORN_TRY(auto path, display_config_path());
    return save_to(path);
}

std::expected<void, std::string> DisplayConfig::validate_for(std::span<const OutputCapabilities> caps) const
{
    const auto name = [&](const std::string& connector) { return name_of(caps, connector); };

    for (const auto& [connector, entry] : outputs) {
        if (entry.enabled && find_capabilities(caps, connector) == nullptr) {
            return std::unexpected(fmt::format("display output {} is not connected", connector));
        }
    }
    const auto enabled = std::ranges::count_if(outputs, [&](const auto& item) {
        return item.second.enabled && find_capabilities(caps, item.first) != nullptr;
    });
    if (enabled == 0) {
        return std::unexpected(std::string("at least one display must stay on"));
    }
    const auto primaries = std::ranges::count_if(outputs, [](const auto& item) { return item.second.primary; });
    if (primaries > 1) {
        return std::unexpected(std::string("only one display can be primary"));
    }
    if (primaries == 0) {
        return std::unexpected(std::string("one display must be primary"));
    }

    for (const auto& [connector, entry] : outputs) {
        if (entry.primary && !entry.enabled) {
            return std::unexpected(fmt::format("the primary display {} is turned off", name(connector)));
        }
        if (!entry.enabled) {
            continue;
        }
        const OutputCapabilities& output = *find_capabilities(caps, connector);
        const std::string own = name(connector);
        if (!std::isfinite(entry.scale) || !offered_scale(entry.scale)) {
            return std::unexpected(fmt::format("scale {} is not offered for {}", entry.scale, own));
        }
        if (entry.transform > 3) {
            return std::unexpected(fmt::format("rotation {} is unknown for {}", entry.transform, own));
        }
        if (entry.mode && std::ranges::find(output.modes, *entry.mode) == output.modes.end()) {
            return std::unexpected(fmt::format("{} is not a mode of {}", entry.mode->label(), own));
        }
        if (entry.color_profile &&
            std::ranges::find(output.color_profiles, *entry.color_profile) == output.color_profiles.end()) {
            return std::unexpected(
                fmt::format("colour profile {} is not available for {}", *entry.color_profile, own));
        }
        if (entry.hdr && !output.hdr_supported) {
            return std::unexpected(fmt::format("{} does not support HDR", own));
        }
        if (entry.vrr && !output.vrr_supported) {
            return std::unexpected(fmt::format("{} does not support variable refresh rate", own));
        }
        if (entry.mirror) {
            const std::string& target = *entry.mirror;
            if (target == connector) {
                return std::unexpected(fmt::format("{} cannot mirror itself", own));
            }
            const auto it = outputs.find(target);
            if (it == outputs.end() || !it->second.enabled || find_capabilities(caps, target) == nullptr) {
                return std::unexpected(fmt::format("{} cannot mirror {}, which is off", own, name(target)));
            }
            if (it->second.mirror) {
                return std::unexpected(
                    fmt::format("{} cannot mirror {}, which mirrors another display itself", own, name(target)));
            }
        }
    }
    return {};
}

// ---- Transaction -----------------------------------------------------------------------------------------------

std::string_view state_name(std::uint8_t state)
{
    return state < kStateNames.size() ? kStateNames.at(state) : std::string_view("unknown");
}

void to_json(Json& j, const DisplayTransaction& value)
{
    j = Json::object();
    j["id"] = value.id;
    j["state"] = value.state;
    j["state_name"] = std::string(state_name(value.state));
    j["confirm_deadline_unix_ms"] = json_text::value_or_null(value.confirm_deadline_unix_ms);
    j["message"] = json_text::value_or_null(value.message);
    j["requested_unix_ms"] = value.requested_unix_ms;
    j["keep_requested"] = value.keep_requested;
    j["revert_requested"] = value.revert_requested;
    j["config"] = value.config;
    j["previous"] = value.previous ? Json(*value.previous) : Json(nullptr);
}

json_text::Status read_value(const Json& v, DisplayTransaction& out)
{
    if (!v.is_object()) {
        return std::unexpected(json_text::invalid_type(v, "struct DisplayTransaction"));
    }
    DisplayTransaction value;
    json_text::RecordReader r(v, "DisplayTransaction", 10);
    r.required("id", value.id)
        .required("state", value.state)
        .defaulted("confirm_deadline_unix_ms", value.confirm_deadline_unix_ms)
        .defaulted("message", value.message)
        .defaulted("requested_unix_ms", value.requested_unix_ms)
        .defaulted("keep_requested", value.keep_requested)
        .defaulted("revert_requested", value.revert_requested)
        .required("config", value.config)
        .defaulted("previous", value.previous);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    out = std::move(value);
    return {};
}

std::expected<void, std::string> update_display_transaction(
    const std::function<void(std::optional<DisplayTransaction>&)>& change)
{
    VORN_TRY(auto path, display_transaction_path());
    bool remove = false;
    auto updated = update_json_file(path, [&](Json& root) {
        std::optional<DisplayTransaction> current;
        if (!root.empty()) {
            auto decoded = json_text::decode<DisplayTransaction>(root);
            if (decoded) {
                current = std::move(*decoded);
            } else {
                auto aside = safe_write::keep_corrupt_copy(path);
                VORN_WARN("display_transaction", "replacing a damaged transaction ({}); its text was kept as {}",
                          decoded.error(), aside ? aside->string() : aside.error());
            }
        }
        change(current);
        if (current) {
            root = Json(*current);
        } else {
            root = Json::object();
            remove = true;
        }
    });
    VORN_TRY_OK(updated);
    if (remove) {
        return safe_write::remove_file(path);
    }
    return {};
}

std::expected<DisplayTransaction, std::string> DisplayTransaction::request(const DisplayConfig& config)
{
    std::expected<DisplayTransaction, std::string> result = std::unexpected(std::string());
    auto updated = update_display_transaction([&](std::optional<DisplayTransaction>& current) {
        if (current && current->pending()) {
            result = std::unexpected(std::string("another display change is still being applied or tested"));
            return;
        }
        DisplayTransaction next;
        next.requested_unix_ms = unix_ms();
        next.id = std::max(current ? current->id + 1 : 1, next.requested_unix_ms);
        next.state = static_cast<std::uint8_t>(TransactionState::Requested);
        next.config = config;
        current = next;
        result = std::move(next);
    });
    VORN_TRY_OK(updated);
    return result;
}

std::optional<DisplayTransaction> DisplayTransaction::load()
{
    const auto path = display_transaction_path();
    if (!path) {
        return std::nullopt;
    }
    return read_transaction(*path);
}

std::expected<void, std::string> DisplayTransaction::request_confirmation() const
{
    return change_own(id, [](DisplayTransaction& current) -> std::expected<void, std::string> {
        if (!current.pending()) {
            return std::unexpected(std::string("the display change has already ended"));
        }
        current.keep_requested = true;
        return {};
    });
}

std::expected<void, std::string> DisplayTransaction::request_revert() const
{
    return change_own(id, [](DisplayTransaction& current) -> std::expected<void, std::string> {
        if (!current.pending()) {
            return std::unexpected(std::string("the display change has already ended"));
        }
        current.revert_requested = true;
        return {};
    });
}

std::expected<bool, std::string> DisplayTransaction::withdraw(std::string_view message) const
{
    bool withdrawn = false;
    auto changed = change_own(id, [&](DisplayTransaction& current) -> std::expected<void, std::string> {
        if (current.state == static_cast<std::uint8_t>(TransactionState::Requested)) {
            current.state = static_cast<std::uint8_t>(TransactionState::Withdrawn);
            current.message = std::string(message);
            withdrawn = true;
        }
        return {};
    });
    if (!changed) {
        if (changed.error() == "the display change is no longer current") {
            return false;
        }
        return std::unexpected(changed.error());
    }
    return withdrawn;
}

}  // namespace config_sections::hardware
