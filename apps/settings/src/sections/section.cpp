#include "sections/section.hpp"

#include <algorithm>
#include <utility>

namespace settings {
namespace {

using Keywords = std::span<const std::string_view>;

struct SectionData {
    std::string_view id;
    std::string_view title;
    std::string_view description;
    Keywords keywords;
    SidebarGroup group;
    std::uint8_t icon;
};

// clang-format off
constexpr std::string_view kNetworkKeywords[] = {
    "wifi", "wi-fi", "wired", "ethernet", "vpn", "wireguard", "proxy", "internet", "connection"};
constexpr std::string_view kBluetoothKeywords[] = {
    "pair", "pairing", "device", "headphones", "keyboard", "mouse", "wireless"};
constexpr std::string_view kDevicesSyncKeywords[] = {
    "sync", "continuity", "devices", "server", "host", "remote control", "relay", "copies", "files", "clipboard",
    "file transfer", "realtime sessions", "wi-fi settings", "media handoff", "display extension",
    "notification mirroring", "gamepad", "typed gamepad", "handoff", "privacy"};
constexpr std::string_view kSoundKeywords[] = {
    "audio", "volume", "mute", "microphone", "mic", "speaker", "output", "input", "device", "system sounds"};
constexpr std::string_view kDisplaysKeywords[] = {
    "monitor", "screen", "resolution", "scale", "brightness", "night light", "blue light", "arrangement", "external"};
constexpr std::string_view kMouseKeyboardKeywords[] = {
    "pointer", "trackpad", "touchpad", "scroll", "natural scrolling", "tap to click", "key repeat", "layout",
    "cursor", "spell checker", "spelling", "autocorrect", "auto-correct"};
constexpr std::string_view kKeyboardShortcutsKeywords[] = {
    "shortcuts", "hotkeys", "keybindings", "keys", "combinations", "accelerators", "workspace"};
constexpr std::string_view kTimeDateKeywords[] = {
    "clock", "timezone", "time zone", "ntp", "24-hour", "automatic time", "calendar"};
constexpr std::string_view kUsersKeywords[] = {
    "accounts", "people", "administrator", "admin", "login", "roles"};
constexpr std::string_view kPrintersKeywords[] = {
    "cups", "print", "queue", "job", "paper", "scanner"};
constexpr std::string_view kPowerKeywords[] = {
    "battery", "charge", "energy", "power profile", "performance", "power saver", "suspend", "sleep", "screen blank"};
constexpr std::string_view kAppearanceKeywords[] = {
    "theme", "dark mode", "light mode", "contrast", "high contrast", "reduce motion", "text size", "font",
    "wallpaper", "color"};
constexpr std::string_view kAccessibilityKeywords[] = {
    "a11y", "accessibility", "universal access", "screen reader", "orca", "on-screen keyboard", "osk", "cursor size",
    "large cursor", "pointer size", "sticky keys", "slow keys", "visual alerts", "high contrast", "reduce motion",
    "text size", "zoom"};
constexpr std::string_view kNotificationsKeywords[] = {
    "notification", "notify", "banner", "alert", "do not disturb", "dnd", "focus", "quiet", "sounds", "lock screen",
    "previews", "badge"};
constexpr std::string_view kDefaultAppsKeywords[] = {
    "default app", "open with", "file association", "handler", "browser", "mail", "pdf"};
constexpr std::string_view kStorageKeywords[] = {
    "disk space", "cache", "cleanup", "app data", "synced files", "backup"};
constexpr std::string_view kExternalAccountsKeywords[] = {
    "email", "mail", "imap", "smtp", "calendar", "caldav", "webdav", "nextcloud", "sync", "cloud"};
constexpr std::string_view kAgentModelsKeywords[] = {
    "agent", "ai", "model", "models", "provider", "openai", "anthropic", "api key", "vllm", "local model", "ollama",
    "llm", "tool calling"};
constexpr std::string_view kRegionFormatsKeywords[] = {
    "locale", "language", "currency", "date format", "time format", "units", "measurement", "metric", "imperial"};
constexpr std::string_view kPermissionsKeywords[] = {
    "roles", "access", "sandbox", "grants", "file access", "collaboration", "security", "privacy", "encryption",
    "secure boot", "firewall", "camera", "microphone"};
constexpr std::string_view kUpdatesKeywords[] = {
    "software", "upgrade", "version", "bootc", "firmware", "rollback", "release"};
constexpr std::string_view kAboutKeywords[] = {
    "device", "identity", "os", "kernel", "hostname", "system", "version", "fingerprint", "backup", "portable backup",
    "encrypted backup", "recovery"};

using G = SidebarGroup;

// Indexed by Section::Value.
constexpr std::array<SectionData, Section::kCount> kSections{{
    {"network", "Network", "Wi-Fi, wired connections, and VPN", kNetworkKeywords, G::Connectivity, 7},
    {"bluetooth", "Bluetooth", "Pair and manage Bluetooth devices", kBluetoothKeywords, G::Connectivity, 8},
    {"devices_sync", "Devices & Sync", "Copies, remote access, and server roles", kDevicesSyncKeywords, G::Devices, 71},
    {"sound", "Sound", "Output, input, volume, and system sounds", kSoundKeywords, G::Devices, 89},
    {"displays", "Displays", "Resolution, scale, arrangement, and brightness", kDisplaysKeywords, G::Devices, 9},
    {"mouse_keyboard", "Mouse & Keyboard", "Typing, spelling, input sources, and pointer behaviour",
     kMouseKeyboardKeywords, G::Devices, 2},
    {"keyboard_shortcuts", "Keyboard Shortcuts", "System and workspace keyboard shortcuts",
     kKeyboardShortcutsKeywords, G::Devices, 3},
    {"time_date", "Time & Date", "Clock, time zone, and how dates display", kTimeDateKeywords, G::System, 85},
    {"users", "Users", "Accounts on this device and their roles", kUsersKeywords, G::System, 4},
    {"printers", "Printers", "Printers, queues, and recent jobs", kPrintersKeywords, G::Devices, 5},
    {"power", "Power", "Battery, power profile, and automatic suspend", kPowerKeywords, G::System, 10},
    {"appearance", "Appearance", "Theme, contrast, motion, and text size", kAppearanceKeywords, G::System, 66},
    {"accessibility", "Accessibility", "Vision, pointer, typing, and hearing assists", kAccessibilityKeywords,
     G::System, 67},
    {"notifications", "Notifications", "Banners, previews, sounds, and Do Not Disturb", kNotificationsKeywords,
     G::System, 73},
    {"default-apps", "Apps & Files", "Your preferred apps for links and file types", kDefaultAppsKeywords,
     G::System, 0},
    {"storage", "Storage", "Apps, data, cache, and synced files", kStorageKeywords, G::System, 56},
    {"external_accounts", "External Accounts", "Accounts shared with compatible installed apps",
     kExternalAccountsKeywords, G::AccountsPermissions, 71},
    {"agent_models", "Agent Models", "Providers, local models, and the model agents use", kAgentModelsKeywords,
     G::AccountsPermissions, 66},
    {"region_formats", "Region & Formats", "Currency, date, time, and measurement units", kRegionFormatsKeywords,
     G::System, 6},
    {"permissions", "Device Privacy & Security",
     "This device's privacy and security; workspace access is managed per workspace", kPermissionsKeywords,
     G::AccountsPermissions, 11},
    {"updates", "Updates", "Operating-system and firmware updates", kUpdatesKeywords, G::Maintenance, 76},
    {"about", "About", "Device identity and transfer", kAboutKeywords, G::Maintenance, 70},
}};

constexpr std::array<Section, Section::kCount> kSidebarOrder{
    Section::Network, Section::Bluetooth,
    Section::DevicesSync, Section::Sound, Section::Displays, Section::MouseKeyboard, Section::KeyboardShortcuts,
    Section::Printers,
    Section::Appearance, Section::Accessibility, Section::Notifications, Section::DefaultApps, Section::Storage,
    Section::Power, Section::TimeDate, Section::Users, Section::RegionFormats,
    Section::ExternalAccounts, Section::AgentModels, Section::Permissions,
    Section::Updates, Section::About,
};

constexpr std::array<std::string_view, kSidebarGroupCount> kGroupTitles{
    "Connectivity", "Devices", "System", "Accounts & Permissions", "Maintenance"};
constexpr std::array<SidebarGroup, kSidebarGroupCount> kGroups{
    G::Connectivity, G::Devices, G::System, G::AccountsPermissions, G::Maintenance};
// clang-format on

template <std::size_t... I>
constexpr std::array<Section, sizeof...(I)> make_all_sections(std::index_sequence<I...>)
{
    return {static_cast<Section::Value>(I)...};
}
constexpr auto kAllSections = make_all_sections(std::make_index_sequence<Section::kCount>{});

// The sidebar walks groups in order and the order table inside each; keeping the table group-major makes both
// walks give the same sequence.
constexpr bool order_is_group_major()
{
    for (std::size_t i = 1; i < kSidebarOrder.size(); ++i) {
        if (kSections[kSidebarOrder[i - 1].index()].group > kSections[kSidebarOrder[i].index()].group) {
            return false;
        }
    }
    return true;
}
static_assert(order_is_group_major());

const SectionData& data(Section section)
{
    return kSections[section.index()];
}

// Decodes one UTF-8 code point at `pos` if it is Unicode white space; answers its length in bytes, or 0.
std::size_t white_space_at(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) {
        return 1;
    }
    const std::size_t left = text.size() - pos;
    if (b0 == 0xC2 && left >= 2 && (byte(pos + 1) == 0x85 || byte(pos + 1) == 0xA0)) {
        return 2;  // U+0085, U+00A0
    }
    if (left >= 3) {
        const unsigned b1 = byte(pos + 1);
        const unsigned b2 = byte(pos + 2);
        if (b0 == 0xE1 && b1 == 0x9A && b2 == 0x80) {
            return 3;  // U+1680
        }
        if (b0 == 0xE2 && b1 == 0x80 && ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF)) {
            return 3;  // U+2000..U+200A, U+2028, U+2029, U+202F
        }
        if (b0 == 0xE2 && b1 == 0x81 && b2 == 0x9F) {
            return 3;  // U+205F
        }
        if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) {
            return 3;  // U+3000
        }
    }
    return 0;
}

// Length of the white space that ends `text` (checking the code point that starts 1, 2 or 3 bytes from the end).
std::size_t trailing_white_space(std::string_view text)
{
    for (std::size_t len = 1; len <= 3 && len <= text.size(); ++len) {
        const std::size_t pos = text.size() - len;
        if (white_space_at(text, pos) == len) {
            return len;
        }
    }
    return 0;
}

void ascii_lower(std::string& text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
}

bool contains_lowered(std::string_view text, std::string_view needle)
{
    std::string lowered(text);
    ascii_lower(lowered);
    return lowered.find(needle) != std::string::npos;
}

}  // namespace

std::string_view group_title(SidebarGroup group)
{
    return kGroupTitles.at(static_cast<std::size_t>(group));
}

std::span<const SidebarGroup, kSidebarGroupCount> sidebar_groups()
{
    return kGroups;
}

std::optional<Section> Section::from_id(std::string_view id)
{
    for (Section section : kAllSections) {
        if (data(section).id == id) {
            return section;
        }
    }
    return std::nullopt;
}

std::optional<Section> Section::from_index(std::size_t index)
{
    if (index >= kCount) {
        return std::nullopt;
    }
    return kAllSections[index];
}

std::string_view Section::id() const
{
    return data(*this).id;
}

std::string_view Section::title() const
{
    return data(*this).title;
}

std::string_view Section::description() const
{
    return data(*this).description;
}

std::span<const std::string_view> Section::keywords() const
{
    return data(*this).keywords;
}

SidebarGroup Section::group() const
{
    return data(*this).group;
}

std::uint8_t Section::icon() const
{
    return data(*this).icon;
}

bool Section::matches(std::string_view query) const
{
    const std::string q = normalize_query(query);
    if (q.empty()) {
        return true;
    }
    const SectionData& d = data(*this);
    if (contains_lowered(d.title, q) || contains_lowered(d.description, q)) {
        return true;
    }
    return std::ranges::any_of(d.keywords, [&](std::string_view keyword) {
        return keyword.find(q) != std::string_view::npos || std::string_view(q).find(keyword) != std::string_view::npos;
    });
}

std::string Section::search_text() const
{
    const SectionData& d = data(*this);
    std::string text;
    text.append(d.title).append(" ").append(d.description);
    for (std::string_view keyword : d.keywords) {
        text.append(" ").append(keyword);
    }
    return text;
}

std::span<const Section, Section::kCount> all_sections()
{
    return kAllSections;
}

std::span<const Section, Section::kCount> sidebar_order()
{
    return kSidebarOrder;
}

std::vector<Section> sections_in_group(SidebarGroup group)
{
    std::vector<Section> sections;
    for (Section section : kSidebarOrder) {
        if (section.group() == group) {
            sections.push_back(section);
        }
    }
    return sections;
}

std::vector<Section> matching_sections(std::string_view query)
{
    const std::string q = normalize_query(query);
    std::vector<Section> sections;
    for (Section section : kSidebarOrder) {
        if (section.matches(q)) {
            sections.push_back(section);
        }
    }
    return sections;
}

std::string_view trim_query(std::string_view query)
{
    std::size_t n = 0;
    while (!query.empty() && (n = white_space_at(query, 0)) != 0) {
        query.remove_prefix(n);
    }
    while (!query.empty() && (n = trailing_white_space(query)) != 0) {
        query.remove_suffix(n);
    }
    return query;
}

std::string normalize_query(std::string_view query)
{
    std::string q(trim_query(query));
    ascii_lower(q);
    return q;
}

}  // namespace settings
