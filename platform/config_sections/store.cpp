#include "config_sections/config_sections.hpp"

#include "json_text/json_text.hpp"
#include "json_text/object_text.hpp"
#include "safe_write/file_lock.hpp"
#include "safe_write/safe_write.hpp"
#include "user_dirs/user_dirs.hpp"
#include "vorn_log/log.hpp"
#include "vorn_try/vorn_try.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <array>
#include <cstdint>
#include <vector>


namespace config_sections {
namespace {

bool is_blank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Names what could not be read, so that the same unreadable text is kept aside only once.
std::string fingerprint(const std::vector<std::string>& texts)
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MIN);
    for (const std::string& text : texts) {
        const std::uint64_t size = text.size();
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(&size), sizeof size);
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
    std::array<unsigned char, crypto_generichash_BYTES_MIN> hash{};
    crypto_generichash_final(&state, hash.data(), hash.size());
    std::array<char, crypto_generichash_BYTES_MIN * 2 + 1> hex{};
    sodium_bin2hex(hex.data(), hex.size(), hash.data(), 8);
    return std::string(hex.data());
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
    return safe_write::read_file(path, max_file_size);
}

std::optional<Json> read_json_object(const std::filesystem::path& path)
{
    auto text = read_text(path);
    if (!text || !*text || is_blank(**text)) {
        return std::nullopt;
    }
    auto object = json_text::ObjectText::read(**text);
    if (!object) {
        return std::nullopt;
    }
    return object->readable();
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
    VORN_TRY(const auto lock, safe_write::FileLock::acquire_for(path));
    safe_write::remove_stale_temporaries(path);

    auto current = read_text(path);
    if (!current) {
        return std::unexpected(current.error() + "; the file was left unchanged");
    }
    std::optional<json_text::ObjectText> object;
    std::string broken;
    if (*current) {
        auto read = json_text::ObjectText::read(**current);
        if (read) {
            object = std::move(*read);
        } else {
            broken = read.error();
        }
    }
    Json root = object ? object->readable() : Json::object();
    change(root);
    const std::string text = object ? object->write(root) : json_text::pretty(root);
    if (*current && **current == text) {
        return path;
    }
    // What could not be read stays in the file where it can (see ObjectText), and the text that held it is kept
    // aside once before it is first replaced, so that nothing is lost for good.
    if (*current && (!object || !object->complete())) {
        VORN_TRY(const auto aside, safe_write::keep_copy_once(path, fingerprint(object ? object->unreadable()
                                                                         : std::vector<std::string>{**current})));
        if (aside) {
            VORN_WARN("settings_store", "{} holds text that cannot be read ({}); the file was kept as {}",
                      path.string(), object ? fmt::format("{} members", object->unreadable().size()) : broken,
                      aside->string());
        }
    }
    VORN_TRY_OK(safe_write::write_file(path, text));
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
