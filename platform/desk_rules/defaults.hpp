#pragma once
// The default-application policy: which installed application opens each file or link type for this user.
//
// The applications are the installed Vorn packages with a graphical entry point (app_catalog), each with the kinds
// its manifest declares ("mime:text/html", "scheme:mailto"). The user's personal defaults are kept in the settings
// file as its member "default_apps", a map from kind to application id:
//
//   {"default_apps": {"mime:text/html": "so.vorn.browser", "scheme:mailto": "so.vorn.mail"}}
//
// A kind resolves to the workspace's choice when a workspace names an application that handles it, else to the
// personal default when that application handles it, else to the first application (by name, then id) that does.
//
//   auto apps = desk_rules::defaults::installed_apps();
//   auto defaults = desk_rules::defaults::PersonalDefaults::load();
//   auto app = desk_rules::defaults::DefaultAppResolver::resolve("mime:text/html", apps, defaults, nullptr);

#include "app_catalog/app_catalog.hpp"

#include <expected>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace desk_rules::defaults {

// A file or link type.
struct ResourceKind {
    std::string id;  // "mime:text/html", "scheme:mailto"
    // "Web pages", "Email links"; a type without a name of its own shows as "PNG files" or "Gemini links".
    [[nodiscard]] std::string display_label() const;
};

// An installed graphical application and the kinds it declares.
struct AppCandidate {
    std::string id;
    std::string name;
    std::vector<std::string> kinds;
    [[nodiscard]] bool handles(std::string_view kind) const;
    friend bool operator==(const AppCandidate&, const AppCandidate&) = default;
};

// The installed packages that have a graphical entry point and whose manifest reads (others are skipped): id = the
// manifest's id, else the package id (valid ids only); name = the manifest's name, else the package id's display
// name; kinds = the manifest's kinds. Sorted by name, then id.
[[nodiscard]] std::vector<AppCandidate> installed_apps(std::span<const app_catalog::registry::InstalledPackage> packages);
// Over app_catalog's package roots (`roots` when not empty); none when the roots cannot be read.
[[nodiscard]] std::vector<AppCandidate> installed_apps(const std::vector<std::filesystem::path>& roots = {});

// The kinds any of `apps` declares, sorted, each once.
[[nodiscard]] std::vector<std::string> kinds(std::span<const AppCandidate> apps);
// The applications that handle `kind`, in the order of `apps`.
[[nodiscard]] std::vector<AppCandidate> candidates(std::span<const AppCandidate> apps, std::string_view kind);

class PersonalDefaults {
public:
    PersonalDefaults() = default;
    explicit PersonalDefaults(std::map<std::string, std::string> by_kind) : by_kind_(std::move(by_kind)) {}

    // From the settings file (config_sections::settings_path(), or `settings_file`): entries whose kind or id is not
    // valid are left out; a missing or unreadable member holds none.
    [[nodiscard]] static PersonalDefaults load();
    [[nodiscard]] static PersonalDefaults load(const std::filesystem::path& settings_file);

    // The application id named for `kind`, if any.
    [[nodiscard]] std::optional<std::string> get(std::string_view kind) const;
    // Names `app_id` for `kind`: refused with a sentence when no application of `apps` with that id handles it.
    [[nodiscard]] std::expected<void, std::string> set(std::string_view kind, std::string_view app_id,
                                                       std::span<const AppCandidate> apps);
    // Writes the entries that differ from what was loaded (or last saved) into "default_apps" under the settings
    // file's lock, so that a default another process saved in the meantime for another kind stays.
    [[nodiscard]] std::expected<void, std::string> save();
    [[nodiscard]] std::expected<void, std::string> save(const std::filesystem::path& settings_file);

    [[nodiscard]] const std::map<std::string, std::string>& by_kind() const { return by_kind_; }

private:
    std::map<std::string, std::string> by_kind_;
    std::map<std::string, std::string> saved_;
};

struct DefaultAppResolver {
    // The application that opens `kind` (the header's rule), or none when no application of `apps` handles it.
    [[nodiscard]] static std::optional<AppCandidate> resolve(std::string_view kind, std::span<const AppCandidate> apps,
                                                             const PersonalDefaults& personal,
                                                             const PersonalDefaults* workspace);
};

}  // namespace desk_rules::defaults
