#include "config_sections/config_sections.hpp"

#include "json_text/json_text.hpp"
#include "safe_write/file_lock.hpp"
#include "safe_write/safe_write.hpp"
#include "user_dirs/user_dirs.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>


namespace config_sections {
namespace {

bool is_blank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

std::optional<std::filesystem::path> settings_path()
{
    auto dir = user_dirs::config_dir();
    if (!dir) {
        return std::nullopt;
    }
    return *dir / "vorn" / "settings.json";
}

std::expected<std::optional<std::string>, std::string> read_text(const std::filesystem::path& path)
{
    return safe_write::read_file(path);
}

std::optional<Json> read_json_object(const std::filesystem::path& path)
{
    auto text = read_text(path);
    if (!text || !*text) {
        return std::nullopt;
    }
    auto value = json_text::parse(**text);
    if (!value || !value->is_object()) {
        return std::nullopt;
    }
    return std::move(*value);
}

std::expected<std::filesystem::path, std::string> update_json_file(const std::filesystem::path& path,
                                                                   const std::function<void(Json& root)>& change)
{
    if (const auto parent = path.parent_path(); !parent.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        if (ec) {
            return std::unexpected(fmt::format("could not create {}: {}", parent.string(), ec.message()));
        }
    }
    auto lock = safe_write::FileLock::acquire_for(path);
    if (!lock) {
        return std::unexpected(lock.error());
    }
    safe_write::remove_stale_temporaries(path);

    auto current = read_text(path);
    if (!current) {
        return std::unexpected(current.error() + "; the file was left unchanged");
    }
    Json root = Json::object();
    if (*current && !is_blank(**current)) {
        auto parsed = json_text::parse(**current);
        if (parsed && parsed->is_object()) {
            root = std::move(*parsed);
        } else {
            auto aside = safe_write::keep_corrupt_copy(path);
            if (!aside) {
                return std::unexpected(aside.error());
            }
            VORN_WARN("settings_store", "{} is not a JSON object ({}); its text was kept as {}", path.string(),
                      parsed ? std::string("a JSON value that is not an object") : parsed.error(), aside->string());
        }
    }

    change(root);
    const std::string text = json_text::pretty(root);
    if (*current && **current == text) {
        return path;
    }
    if (auto written = safe_write::write_file(path, text); !written) {
        return std::unexpected(written.error());
    }
    return path;
}

std::optional<Json> load_section(std::string_view name)
{
    const auto path = settings_path();
    if (!path) {
        return std::nullopt;
    }
    auto root = read_json_object(*path);
    if (!root) {
        return std::nullopt;
    }
    const auto it = root->find(name);
    if (it == root->end()) {
        return std::nullopt;
    }
    return *it;
}

std::expected<std::filesystem::path, std::string> update_section(std::string_view name,
                                                                 const std::function<void(Json& section)>& change)
{
    const auto path = settings_path();
    if (!path) {
        return std::unexpected(std::string("no config dir"));
    }
    return update_json_file(*path, [&](Json& root) {
        Json& section = root[std::string(name)];
        if (!section.is_object()) {
            section = Json::object();
        }
        change(section);
    });
}

}  // namespace config_sections
