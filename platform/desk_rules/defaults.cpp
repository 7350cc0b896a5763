#include "desk_rules/defaults.hpp"

#include "config_sections/config_sections.hpp"
#include "vorn_log/log.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <utility>

namespace desk_rules::defaults {

namespace {

constexpr std::string_view member_name = "default_apps";

constexpr std::array<std::pair<std::string_view, std::string_view>, 12> known_labels{{
    {"mime:text/html", "Web pages"},
    {"scheme:http", "Web links"},
    {"scheme:https", "Secure web links"},
    {"scheme:mailto", "Email links"},
    {"mime:application/pdf", "PDF documents"},
    {"mime:text/plain", "Plain text"},
    {"mime:image/png", "PNG images"},
    {"mime:image/jpeg", "JPEG images"},
    {"mime:audio/mpeg", "MP3 audio"},
    {"mime:video/mp4", "MP4 videos"},
    {"mime:text/calendar", "Calendar files"},
    {"scheme:tel", "Phone links"},
}};

std::string upper(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
    return out;
}

std::string capitalised(std::string_view text)
{
    std::string out(text);
    if (!out.empty() && out.front() >= 'a' && out.front() <= 'z') {
        out.front() = char(out.front() - 'a' + 'A');
    }
    return out;
}

}  // namespace

std::string ResourceKind::display_label() const
{
    for (const auto& [kind, label] : known_labels) {
        if (kind == id) {
            return std::string(label);
        }
    }
    const std::string_view text = id;
    if (text.starts_with("scheme:")) {
        return capitalised(text.substr(7)) + " links";
    }
    if (text.starts_with("mime:")) {
        std::string_view subtype = text.substr(5);
        subtype = subtype.substr(subtype.find('/') + 1);
        if (subtype.starts_with("x-")) {
            subtype.remove_prefix(2);
        }
        return upper(subtype) + " files";
    }
    return id;
}

bool AppCandidate::handles(std::string_view kind) const { return std::ranges::find(kinds, kind) != kinds.end(); }

std::vector<AppCandidate> installed_apps(std::span<const app_catalog::registry::InstalledPackage> packages)
{
    std::vector<AppCandidate> apps;
    for (const auto& package : packages) {
        auto manifest = app_catalog::manifest::read_manifest(package);
        if (!manifest) {
            VORN_DEBUG("default_apps", "package skipped: {}", manifest.error());
            continue;
        }
        if (!manifest->entrypoint.gui_bin(package.dir)) {
            continue;
        }
        std::string id = manifest->app_id.value_or(package.package_id);
        if (!app_catalog::is_valid_app_id(id)) {
            continue;
        }
        std::string name = manifest->name ? *manifest->name : app_catalog::registry::display_name_for_package_id(id);
        apps.push_back({std::move(id), std::move(name), std::move(manifest->kinds)});
    }
    std::ranges::stable_sort(apps, [](const AppCandidate& a, const AppCandidate& b) {
        return a.name != b.name ? a.name < b.name : a.id < b.id;
    });
    return apps;
}

std::vector<AppCandidate> installed_apps(const std::vector<std::filesystem::path>& roots)
{
    auto packages = roots.empty() ? app_catalog::registry::list_installed() : app_catalog::registry::list_installed(roots);
    if (!packages) {
        VORN_WARN("default_apps", "installed applications could not be listed: {}", packages.error());
        return {};
    }
    return installed_apps(*packages);
}

std::vector<std::string> kinds(std::span<const AppCandidate> apps)
{
    std::vector<std::string> all;
    for (const auto& app : apps) {
        all.insert(all.end(), app.kinds.begin(), app.kinds.end());
    }
    std::ranges::sort(all);
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}

std::vector<AppCandidate> candidates(std::span<const AppCandidate> apps, std::string_view kind)
{
    std::vector<AppCandidate> found;
    for (const auto& app : apps) {
        if (app.handles(kind)) {
            found.push_back(app);
        }
    }
    return found;
}

PersonalDefaults PersonalDefaults::load(const std::filesystem::path& settings_file)
{
    PersonalDefaults defaults;
    const auto root = config_sections::read_json_object(settings_file);
    if (!root) {
        return defaults;
    }
    const auto member = root->find(member_name);
    if (member == root->end() || !member->is_object()) {
        return defaults;
    }
    for (const auto& [kind, app] : member->items()) {
        if (app.is_string() && app_catalog::is_valid_kind_id(kind) &&
            app_catalog::is_valid_app_id(app.get_ref<const std::string&>())) {
            defaults.by_kind_[kind] = app.get<std::string>();
        }
    }
    defaults.saved_ = defaults.by_kind_;
    return defaults;
}

PersonalDefaults PersonalDefaults::load()
{
    const auto path = config_sections::settings_path();
    return path ? load(*path) : PersonalDefaults{};
}

std::optional<std::string> PersonalDefaults::get(std::string_view kind) const
{
    const auto found = by_kind_.find(std::string(kind));
    return found == by_kind_.end() ? std::nullopt : std::optional<std::string>(found->second);
}

std::expected<void, std::string> PersonalDefaults::set(std::string_view kind, std::string_view app_id,
                                                       std::span<const AppCandidate> apps)
{
    if (!app_catalog::is_valid_kind_id(kind)) {
        return std::unexpected(std::string("“") + std::string(kind) + "” is no file or link type.");
    }
    const bool installed = std::ranges::any_of(
        apps, [&](const AppCandidate& app) { return app.id == app_id && app.handles(kind); });
    if (!installed) {
        return std::unexpected(std::string("No installed application “") + std::string(app_id) + "” opens " +
                               ResourceKind{std::string(kind)}.display_label() + ".");
    }
    by_kind_[std::string(kind)] = std::string(app_id);
    return {};
}

std::expected<void, std::string> PersonalDefaults::save(const std::filesystem::path& settings_file)
{
    if (by_kind_ == saved_) {
        return {};
    }
    auto written = config_sections::update_json_file(settings_file, [&](config_sections::Json& root) {
        root["version"] = 1;
        config_sections::Json& member = root[std::string(member_name)];
        if (!member.is_object()) {
            member = config_sections::Json::object();
        }
        for (const auto& [kind, app] : by_kind_) {
            const auto before = saved_.find(kind);
            if (before == saved_.end() || before->second != app) {
                member[kind] = app;
            }
        }
    });
    if (!written) {
        return std::unexpected(written.error());
    }
    saved_ = by_kind_;
    return {};
}

std::expected<void, std::string> PersonalDefaults::save()
{
    const auto path = config_sections::settings_path();
    if (!path) {
        return std::unexpected(std::string("no config dir"));
    }
    return save(*path);
}

std::optional<AppCandidate> DefaultAppResolver::resolve(std::string_view kind, std::span<const AppCandidate> apps,
                                                        const PersonalDefaults& personal,
                                                        const PersonalDefaults* workspace)
{
    const auto named = [&](const PersonalDefaults& defaults) -> std::optional<AppCandidate> {
        const auto id = defaults.get(kind);
        if (!id) {
            return std::nullopt;
        }
        const auto found =
            std::ranges::find_if(apps, [&](const AppCandidate& app) { return app.id == *id && app.handles(kind); });
        return found == apps.end() ? std::nullopt : std::optional<AppCandidate>(*found);
    };
    if (workspace != nullptr) {
        if (auto app = named(*workspace)) {
            return app;
        }
    }
    if (auto app = named(personal)) {
        return app;
    }
    const auto first = std::ranges::find_if(apps, [&](const AppCandidate& app) { return app.handles(kind); });
    return first == apps.end() ? std::nullopt : std::optional<AppCandidate>(*first);
}

}  // namespace desk_rules::defaults
