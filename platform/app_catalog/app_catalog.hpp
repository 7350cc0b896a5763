#pragma once
// Installed applications.
//
// A Vorn package is a folder "<package id>/" holding "manifest.json" under a package root: $XDG_DATA_HOME/vorn/packages
// (~/.local/share/vorn/packages by default), then "vorn/packages" of each entry of $XDG_DATA_DIRS; the first root
// holding a package id decides for it. The manifest is a JSON object, every member optional:
//
//   {"id": "so.vorn.chat", "name": "Chat", "kind": "app",
//    "entrypoint": {"gui": "bin/vorn-chat", "cli": "bin/chat-cli"},
//    "kinds": ["mime:text/html", "scheme:mailto"]}
//
// "kind" is "app" when missing; "kinds" lists the file and link types the application opens (is_valid_kind_id;
// other entries are left out, duplicates kept once, at most 64); an entry point path is relative to the package folder and may not leave it.
//
// The applications the pages and the resource contract list come from here alone: installed_apps() (packages with a
// graphical entry point) and notification_apps() (those, then the desktop entries, then the ids holding a rule).

#include "desktop_files/desktop_files.hpp"

#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace app_catalog {

inline constexpr std::size_t max_manifest_bytes = 64 * 1024;
inline constexpr std::size_t max_app_id_bytes = 160;

// 1 to 160 bytes, each a letter, digit, "-", "." or "_": the ids application rules are kept under.
[[nodiscard]] bool is_valid_app_id(std::string_view text);

// A file or link type: "mime:<type>/<subtype>" or "scheme:<scheme>" in lower case, at most 128 bytes.
[[nodiscard]] bool is_valid_kind_id(std::string_view text);

namespace registry {

struct InstalledPackage {
    std::string package_id;
    std::filesystem::path dir;
    friend bool operator==(const InstalledPackage&, const InstalledPackage&) = default;
};

// The package roots in order of precedence.
[[nodiscard]] std::vector<std::filesystem::path> package_roots();
// The packages of the roots, sorted by package id. A root that is missing holds none; one that cannot be read is an
// error.
[[nodiscard]] std::expected<std::vector<InstalledPackage>, std::string> list_installed(
    const std::vector<std::filesystem::path>& roots);
[[nodiscard]] std::expected<std::vector<InstalledPackage>, std::string> list_installed();

// A name for an application known only by its id: the last dotted part with "-" and "_" as spaces, its first
// letter upper case ("org.example.chat-client" -> "Chat client"); the id itself when that leaves nothing.
[[nodiscard]] std::string display_name_for_package_id(std::string_view id);

}  // namespace registry

namespace manifest {

struct Entrypoint {
    std::optional<std::string> gui;  // relative to the package folder
    std::optional<std::string> cli;

    // The graphical executable inside the package folder `dir` (none without one, or when the path would leave it).
    [[nodiscard]] std::optional<std::filesystem::path> gui_bin(const std::filesystem::path& dir) const;
    friend bool operator==(const Entrypoint&, const Entrypoint&) = default;
};

struct Manifest {
    std::optional<std::string> app_id;
    std::optional<std::string> name;
    std::string kind = "app";
    Entrypoint entrypoint;
    std::vector<std::string> kinds;
    friend bool operator==(const Manifest&, const Manifest&) = default;
};

[[nodiscard]] std::expected<Manifest, std::string> parse_manifest(std::string_view text);
[[nodiscard]] std::expected<Manifest, std::string> read_manifest(const registry::InstalledPackage& package);

}  // namespace manifest

struct NamedApp {
    std::string id;
    std::string name;
    friend bool operator==(const NamedApp&, const NamedApp&) = default;
};

// Installed packages with a graphical entry point: id = the manifest's id, else the package id (valid ids only);
// name = the manifest's name, else display_name_for_package_id. In package order.
[[nodiscard]] std::vector<NamedApp> installed_apps(std::span<const registry::InstalledPackage> packages);
[[nodiscard]] std::vector<NamedApp> installed_apps();

// The applications that can have notification rules: the installed applications, then the desktop entries (their
// own id, else their file id), then `rule_ids`; valid ids only, an id keeping the first name it was given; sorted
// by name, then id.
[[nodiscard]] std::vector<NamedApp> notification_apps(std::span<const NamedApp> installed,
                                                      std::span<const desktop_files::DesktopEntry> desktop,
                                                      std::span<const std::string> rule_ids);
// With the installed packages and the kept desktop-entry scan.
[[nodiscard]] std::vector<NamedApp> notification_apps(std::span<const std::string> rule_ids);

}  // namespace app_catalog
