#pragma once
// The static resource contract: the tree of resources that publishes every change the application can make.
//
//   settings.root                                     (kind "settings.root", title "Settings")
//     settings.section:network ... settings.section:about   (22 sections in sidebar order, "open" first)
//       settings.audio-output:41, settings.printer:Office, ...   (one per object present now)
//
// The tree is built anew on every request from the state current_platform() gives (platform.hpp); nothing of the
// tree is cached. In the application that platform is a snapshot of the machine a worker thread keeps fresh
// (app/platform_snapshot.hpp), so a request on the UI thread never waits for a system tool.
// Lists taken from the system are capped (256 objects of a kind, 128 choices of a list; what is left out is logged),
// labels taken from the system are cleaned of control characters and bounded, equal labels in one choice list are
// told apart with " (2)", " (3)", ..., and an action whose fixed operation cannot be encoded is left out with a
// warning naming it.
//
//   auto roots = root_resource(doc, accounts);                       // the application object's whole-tree request
//   auto printer = resolve_resource_address(doc, accounts, "settings.printer:Office");
//   auto address = section_open_action(Section::Power);              // settings.section:power#open

#include "account_registry/records.hpp"
#include "page_doc/page_doc.hpp"
#include "prefs/settings_file.hpp"
#include "sections/section.hpp"
#include "vorn_actions/address.hpp"
#include "vorn_actions/resource.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings::actions::catalogue {

using vorn_actions::ActionAddress;
using vorn_actions::Resource;

// The application's external accounts (id, type id such as "email", display name).
using AccountList = std::span<const account_registry::Account>;

inline constexpr std::string_view kRootId = "settings.root";
inline constexpr std::string_view kSectionPrefix = "settings.section:";
inline constexpr std::string_view kOpenPaneKind = "settings.open-pane";

// "settings.section:" + the section id.
[[nodiscard]] std::string section_resource_id(Section section);
// The section's id, kind "settings.section" and title, holding only its open action.
[[nodiscard]] Resource section_open_resource(Section section);
// {section resource id, "open"}.
[[nodiscard]] ActionAddress section_open_action(Section section);

// The complete resource of one section: its open action first, then what the section's builder publishes.
[[nodiscard]] Resource section_resource(Section section, const page_doc::Document& doc,
                                        const prefs::SettingsFile& file, AccountList accounts);

// The same for a page that holds no document or accounts of its own: an empty document, the settings file, no
// external accounts.
[[nodiscard]] Resource section_resource(Section section);

// A list holding the root with the 22 section resources in sidebar order (the settings file is read once).
[[nodiscard]] std::vector<Resource> build_root_resource(const page_doc::Document& doc, AccountList accounts);
// The application object's whole-tree request: build_root_resource unchanged.
[[nodiscard]] std::vector<Resource> root_resource(const page_doc::Document& doc, AccountList accounts);

// The section whose resource holds the address: a section resource id, or an object id by its prefix (first
// match in a fixed order). None for "settings.root", audio-device objects and anything else.
[[nodiscard]] std::optional<Section> section_of_address(std::string_view address);

// One resource by its address: "settings.root" gives the navigation root (each section with its open action only);
// a section or object address rebuilds that section and gives the resource with exactly that id, when it exists now.
[[nodiscard]] std::optional<Resource> resolve_resource_address(const page_doc::Document& doc, AccountList accounts,
                                                               std::string_view address);

// The open resource of the section whose open action is addressed; none for any other address.
[[nodiscard]] std::optional<Resource> open_pane_action(const ActionAddress& address);

// The first resource with exactly that id, depth first, the node before its children.
[[nodiscard]] std::optional<Resource> find_resource(Resource tree, std::string_view id);
[[nodiscard]] const Resource* find_resource_in(const Resource& tree, std::string_view id);

}  // namespace settings::actions::catalogue
