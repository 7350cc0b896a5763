#include "app_catalog/app_catalog.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "vorn_log/log.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

namespace app_catalog {

namespace fs = std::filesystem;

bool is_valid_app_id(std::string_view text)
{
    return !text.empty() && text.size() <= max_app_id_bytes && std::ranges::all_of(text, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
               c == '.' || c == '_';
    });
}

bool is_valid_kind_id(std::string_view text)
{
    if (text.size() > 128) {
        return false;
    }
    const auto token = [](std::string_view part, std::string_view extra) {
        return !part.empty() && std::ranges::all_of(part, [&](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || extra.find(c) != std::string_view::npos;
        });
    };
    if (text.starts_with("scheme:")) {
        const std::string_view scheme = text.substr(7);
        return token(scheme, "+-.") && scheme.front() >= 'a' && scheme.front() <= 'z';
    }
    if (text.starts_with("mime:")) {
        const std::string_view type = text.substr(5);
        const std::size_t slash = type.find('/');
        return slash != std::string_view::npos && token(type.substr(0, slash), "+-.") &&
               token(type.substr(slash + 1), "+-._");
    }
    return false;
}

namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string clean_name(std::string_view raw) { return cmd_runner::clean_text(raw, {.max_chars = 128, .trim = true}); }

}  // namespace

namespace registry {

std::vector<fs::path> package_roots()
{
    std::vector<fs::path> roots;
    std::string data_home = env("XDG_DATA_HOME");
    if (data_home.empty() || data_home.front() != '/') {
        const std::string home = env("HOME");
        data_home = home.empty() ? std::string() : home + "/.local/share";
    }
    if (!data_home.empty()) {
        roots.push_back(fs::path(data_home) / "vorn" / "packages");
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
            fs::path root = fs::path(dir) / "vorn" / "packages";
            if (std::ranges::find(roots, root) == roots.end()) {
                roots.push_back(std::move(root));
            }
        }
    }
    return roots;
}

std::expected<std::vector<InstalledPackage>, std::string> list_installed(const std::vector<fs::path>& roots)
{
    std::map<std::string, fs::path> packages;
    for (const auto& root : roots) {
        std::error_code error;
        if (!fs::exists(root, error)) {
            continue;
        }
        fs::directory_iterator it(root, error);
        if (error) {
            return std::unexpected("The package folder " + root.string() + " could not be read: " + error.message());
        }
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            std::error_code kind_error;
            const std::string id = it->path().filename().string();
            if (it->is_directory(kind_error) && is_valid_app_id(id)) {
                packages.emplace(id, it->path());  // the first root keeps it
            }
        }
        if (error) {
            return std::unexpected("The package folder " + root.string() + " could not be read: " + error.message());
        }
    }
    std::vector<InstalledPackage> out;
    out.reserve(packages.size());
    for (auto& [id, dir] : packages) {
        out.push_back({id, std::move(dir)});
    }
    return out;
}

std::expected<std::vector<InstalledPackage>, std::string> list_installed() { return list_installed(package_roots()); }

std::string display_name_for_package_id(std::string_view id)
{
    std::string_view last = id;
    if (const auto dot = id.rfind('.'); dot != std::string_view::npos) {
        last = id.substr(dot + 1);
    }
    std::string name;
    for (const char c : last) {
        name += (c == '-' || c == '_') ? ' ' : c;
    }
    name = cmd_runner::clean_text(name, {.max_chars = 128, .trim = true});
    if (name.empty()) {
        return clean_name(id);
    }
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

}  // namespace registry

namespace manifest {

std::optional<fs::path> Entrypoint::gui_bin(const fs::path& dir) const
{
    if (!gui || gui->empty()) {
        return std::nullopt;
    }
    const fs::path relative = fs::path(*gui).lexically_normal();
    if (relative.is_absolute() || relative.empty() || *relative.begin() == "..") {
        return std::nullopt;
    }
    return dir / relative;
}

std::expected<Manifest, std::string> parse_manifest(std::string_view text)
{
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::unexpected(std::string("The manifest is not a JSON object."));
    }
    Manifest manifest;
    const auto text_member = [&](const nlohmann::json& object, const char* key,
                                 std::optional<std::string>& out) -> std::expected<void, std::string> {
        const auto found = object.find(key);
        if (found == object.end() || found->is_null()) {
            return {};
        }
        if (!found->is_string()) {
            return std::unexpected(std::string("The manifest member \"") + key + "\" is not a text.");
        }
        out = found->get<std::string>();
        return {};
    };
    if (auto ok = text_member(json, "id", manifest.app_id); !ok) {
        return std::unexpected(ok.error());
    }
    if (auto ok = text_member(json, "name", manifest.name); !ok) {
        return std::unexpected(ok.error());
    }
    if (manifest.name) {
        manifest.name = clean_name(*manifest.name);
        if (manifest.name->empty()) {
            manifest.name.reset();
        }
    }
    std::optional<std::string> kind;
    if (auto ok = text_member(json, "kind", kind); !ok) {
        return std::unexpected(ok.error());
    }
    manifest.kind = kind.value_or("app");
    if (const auto entry = json.find("entrypoint"); entry != json.end() && !entry->is_null()) {
        if (!entry->is_object()) {
            return std::unexpected(std::string("The manifest member \"entrypoint\" is not an object."));
        }
        if (auto ok = text_member(*entry, "gui", manifest.entrypoint.gui); !ok) {
            return std::unexpected(ok.error());
        }
        if (auto ok = text_member(*entry, "cli", manifest.entrypoint.cli); !ok) {
            return std::unexpected(ok.error());
        }
    }
    if (const auto kinds = json.find("kinds"); kinds != json.end() && !kinds->is_null()) {
        if (!kinds->is_array()) {
            return std::unexpected(std::string("The manifest member \"kinds\" is not a list."));
        }
        for (const auto& kind : *kinds) {
            if (manifest.kinds.size() >= 64) {
                break;
            }
            if (!kind.is_string() || !is_valid_kind_id(kind.get_ref<const std::string&>())) {
                continue;
            }
            const auto& id = kind.get_ref<const std::string&>();
            if (std::ranges::find(manifest.kinds, id) == manifest.kinds.end()) {
                manifest.kinds.push_back(id);
            }
        }
    }
    return manifest;
}

std::expected<Manifest, std::string> read_manifest(const registry::InstalledPackage& package)
{
    const fs::path file = package.dir / "manifest.json";
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        return std::unexpected("The package " + package.package_id + " has no manifest.");
    }
    if (fs::file_size(file, error) > max_manifest_bytes || error) {
        return std::unexpected("The manifest of " + package.package_id + " is too large.");
    }
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return std::unexpected("The manifest of " + package.package_id + " could not be read.");
    }
    auto parsed = parse_manifest(text);
    if (!parsed) {
        return std::unexpected(package.package_id + ": " + parsed.error());
    }
    return parsed;
}

}  // namespace manifest

std::vector<NamedApp> installed_apps(std::span<const registry::InstalledPackage> packages)
{
    std::vector<NamedApp> apps;
    for (const auto& package : packages) {
        auto manifest = manifest::read_manifest(package);
        if (!manifest) {
            VORN_DEBUG("app_catalog", "package skipped: {}", manifest.error());
            continue;
        }
        if (!manifest->entrypoint.gui_bin(package.dir)) {
            continue;
        }
        std::string id = manifest->app_id.value_or(package.package_id);
        if (!is_valid_app_id(id)) {
            continue;
        }
        std::string name = manifest->name.value_or(registry::display_name_for_package_id(package.package_id));
        apps.push_back({std::move(id), std::move(name)});
    }
    return apps;
}

std::vector<NamedApp> installed_apps()
{
    auto packages = registry::list_installed();
    if (!packages) {
        VORN_WARN("app_catalog", "installed packages could not be listed: {}", packages.error());
        return {};
    }
    return installed_apps(*packages);
}

std::vector<NamedApp> notification_apps(std::span<const NamedApp> installed,
                                        std::span<const desktop_files::DesktopEntry> desktop,
                                        std::span<const std::string> rule_ids)
{
    std::vector<NamedApp> apps;
    std::set<std::string, std::less<>> seen;
    const auto add = [&](const std::string& id, std::string name) {
        if (is_valid_app_id(id) && seen.insert(id).second) {
            apps.push_back({id, std::move(name)});
        }
    };
    for (const auto& app : installed) {
        add(app.id, app.name);
    }
    for (const auto& entry : desktop) {
        add(entry.app_id(), entry.name);
    }
    for (const auto& id : rule_ids) {
        if (is_valid_app_id(id)) {
            add(id, registry::display_name_for_package_id(id));
        }
    }
    std::ranges::stable_sort(apps, [](const NamedApp& a, const NamedApp& b) {
        return a.name != b.name ? a.name < b.name : a.id < b.id;
    });
    return apps;
}

std::vector<NamedApp> notification_apps(std::span<const std::string> rule_ids)
{
    const auto installed = installed_apps();
    const auto desktop = desktop_files::cache::cached_scan();
    return notification_apps(installed, desktop, rule_ids);
}

}  // namespace app_catalog
