#include "actions/catalogue/catalogue.hpp"

#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "actions/catalogue/support.hpp"

#include <array>

namespace settings::actions::catalogue {

std::string section_resource_id(Section section)
{
    std::string id(kSectionPrefix);
    id += section.id();
    return id;
}

Resource bare_section_resource(Section section)
{
    std::string_view kind = "settings.section";
    switch (section) {
        case Section::DefaultApps: kind = "settings.default-apps"; break;
        case Section::ExternalAccounts: kind = "settings.accounts"; break;
        case Section::AgentModels: kind = "settings.agent-models"; break;
        default: break;
    }
    return Resource(section_resource_id(section), kind, std::string(section.title()));
}

Resource section_open_resource(Section section)
{
    Resource resource(section_resource_id(section), "settings.section", std::string(section.title()));
    auto open = text_operation_spec_builder("open", "Open " + std::string(section.title()), effect_navigation,
                                            kOpenPaneKind, section.id());
    if (open) {
        resource.actions.push_back(std::move(*open));
    } else {
        VORN_WARN(kLogTag, "open action of {} left out: {}", section.id(), open.error().display());
    }
    return resource;
}

ActionAddress section_open_action(Section section)
{
    return ActionAddress(section_resource_id(section), "open");
}

Resource section_resource(Section section, const page_doc::Document& doc, const prefs::SettingsFile& file,
                          AccountList accounts)
{
    Resource resource = [&] {
        switch (section) {
            case Section::Network: return network_resource();
            case Section::Bluetooth: return bluetooth_resource();
            case Section::DevicesSync: return devices_sync_resource();
            case Section::Sound: return sound_resource();
            case Section::Displays: return displays_resource();
            case Section::MouseKeyboard: return mouse_keyboard_resource(doc, file);
            case Section::KeyboardShortcuts: return keyboard_shortcuts_resource(doc);
            case Section::TimeDate: return time_date_resource();
            case Section::Users: return users_resource();
            case Section::Printers: return printers_resource();
            case Section::Power: return power_resource();
            case Section::Appearance: return appearance_resource(doc, file);
            case Section::Accessibility: return accessibility_resource(doc, file);
            case Section::Notifications: return notifications_resource(doc, file);
            case Section::DefaultApps: return default_apps_resource(doc);
            case Section::Storage: return storage_resource();
            case Section::ExternalAccounts: return external_accounts_resource(accounts);
            case Section::AgentModels: return agent_models_resource();
            case Section::RegionFormats: return region_formats_resource(doc);
            case Section::Updates: return updates_resource();
            case Section::Permissions:
            case Section::About: break;
        }
        return bare_section_resource(section);
    }();
    guard_encoding(resource);
    Resource open = section_open_resource(section);
    if (!open.actions.empty()) {
        resource.actions.insert(resource.actions.begin(), std::move(open.actions.front()));
    }
    return resource;
}

Resource section_resource(Section section)
{
    const page_doc::Document doc;
    return section_resource(section, doc, current_platform()->settings_file(), {});
}

std::vector<Resource> build_root_resource(const page_doc::Document& doc, AccountList accounts)
{
    const prefs::SettingsFile file = current_platform()->settings_file();
    Resource root(std::string(kRootId), kRootId, "Settings");
    root.children.reserve(Section::kCount);
    for (Section section : sidebar_order()) {
        root.children.push_back(section_resource(section, doc, file, accounts));
    }
    std::vector<Resource> roots;
    roots.push_back(std::move(root));
    return roots;
}

std::vector<Resource> root_resource(const page_doc::Document& doc, AccountList accounts)
{
    return build_root_resource(doc, accounts);
}

std::optional<Section> section_of_address(std::string_view address)
{
    for (Section section : sidebar_order()) {
        if (address == section_resource_id(section)) {
            return section;
        }
    }
    struct Prefix {
        std::string_view prefix;
        Section section;
    };
    // First match wins: "agent-model-recommendation:" is tried before "agent-model:".
    static constexpr std::array<Prefix, 17> prefixes{{
        {"settings.default-app:", Section::DefaultApps},
        {"settings.account:", Section::ExternalAccounts},
        {"settings.notification-app:", Section::Notifications},
        {"settings.audio-output:", Section::Sound},
        {"settings.audio-input:", Section::Sound},
        {"settings.audio-playback:", Section::Sound},
        {"settings.audio-recording:", Section::Sound},
        {"settings.display-output:", Section::Displays},
        {"settings.input-source:", Section::MouseKeyboard},
        {"settings.bluetooth-device:", Section::Bluetooth},
        {"settings.printer:", Section::Printers},
        {"settings.print-job:", Section::Printers},
        {"settings.user:", Section::Users},
        {"settings.device-mesh-workspace:", Section::DevicesSync},
        {"settings.agent-model-recommendation:", Section::AgentModels},
        {"settings.agent-model:", Section::AgentModels},
        {"settings.agent-provider:", Section::AgentModels},
    }};
    for (const auto& row : prefixes) {
        if (address.starts_with(row.prefix)) {
            return row.section;
        }
    }
    return std::nullopt;
}

std::optional<Resource> resolve_resource_address(const page_doc::Document& doc, AccountList accounts,
                                                 std::string_view address)
{
    if (address == kRootId) {
        Resource root(std::string(kRootId), kRootId, "Settings");
        for (Section section : sidebar_order()) {
            root.children.push_back(section_open_resource(section));
        }
        return root;
    }
    const auto section = section_of_address(address);
    if (!section) {
        return std::nullopt;
    }
    const prefs::SettingsFile file = current_platform()->settings_file();
    return find_resource(section_resource(*section, doc, file, accounts), address);
}

std::optional<Resource> open_pane_action(const ActionAddress& address)
{
    if (address.action_id != "open") {
        return std::nullopt;
    }
    for (Section section : sidebar_order()) {
        if (address.resource_id == section_resource_id(section)) {
            return section_open_resource(section);
        }
    }
    return std::nullopt;
}

const Resource* find_resource_in(const Resource& tree, std::string_view id)
{
    if (tree.id == id) {
        return &tree;
    }
    for (const auto& child : tree.children) {
        if (const Resource* found = find_resource_in(child, id)) {
            return found;
        }
    }
    return nullptr;
}

std::optional<Resource> find_resource(Resource tree, std::string_view id)
{
    if (tree.id == id) {
        return tree;
    }
    for (auto& child : tree.children) {
        if (auto found = find_resource(std::move(child), id)) {
            return found;
        }
    }
    return std::nullopt;
}

}  // namespace settings::actions::catalogue
