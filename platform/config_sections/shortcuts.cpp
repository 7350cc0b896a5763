#include "config_sections/shortcuts.hpp"

#include "config_sections/config_sections.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <vector>

namespace config_sections::hardware {
namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

struct NamedKey {
    std::string_view canonical;
    std::string_view alias;  // a second accepted spelling (lower case), or empty
};

constexpr std::array<NamedKey, 26> named_keys{{
    {"Space", ""},          {"Tab", ""},           {"Enter", "return"},        {"Escape", "esc"},
    {"Backspace", ""},      {"Delete", "del"},     {"Insert", "ins"},          {"Home", ""},
    {"End", ""},            {"PageUp", "page_up"}, {"PageDown", "page_down"},  {"Left", ""},
    {"Right", ""},          {"Up", ""},            {"Down", ""},               {"Print", ""},
    {"Menu", ""},           {"Plus", ""},          {"MediaPlayPause", ""},     {"MediaNext", ""},
    {"MediaPrevious", ""},  {"VolumeUp", ""},      {"VolumeDown", ""},         {"VolumeMute", ""},
    {"BrightnessUp", ""},   {"BrightnessDown", ""},
}};

std::optional<std::string> canonical_key(std::string_view part)
{
    if (part.size() == 1) {
        const auto c = static_cast<unsigned char>(part[0]);
        if (c > 0x20 && c < 0x7F) {
            return std::string(1, static_cast<char>(std::toupper(c)));
        }
        return std::nullopt;
    }
    const std::string name = lower(part);
    for (const NamedKey& key : named_keys) {
        if (name == lower(key.canonical) || (!key.alias.empty() && name == key.alias)) {
            return std::string(key.canonical);
        }
    }
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f' &&
        std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; }) && name[1] != '0') {
        const int number = std::stoi(name.substr(1));
        if (number >= 1 && number <= 24) {
            return fmt::format("F{}", number);
        }
    }
    return std::nullopt;
}

std::optional<std::uint8_t> modifier_mask(std::string_view part)
{
    const std::string name = lower(part);
    if (name == "super" || name == "meta" || name == "logo" || name == "win") {
        return KeyChord::super_mask;
    }
    if (name == "ctrl" || name == "control") {
        return KeyChord::ctrl_mask;
    }
    if (name == "alt") {
        return KeyChord::alt_mask;
    }
    if (name == "shift") {
        return KeyChord::shift_mask;
    }
    return std::nullopt;
}

constexpr std::array<std::string_view, ShortcutConfig::action_count> stored_names{
    "search",          "overview",          "lock",           "quick_settings",    "help",
    "focus_previous_window", "focus_next_window", "previous_tab", "next_tab",       "previous_strip",
    "next_strip",      "previous_workspace", "next_workspace", "toggle_maximize",  "detach_tab",
    "attach_tab_left", "attach_tab_right",  "move_group_left", "move_group_right", "resize_narrower",
    "resize_wider",
};

constexpr std::array<std::string_view, ShortcutConfig::action_count> default_chords{
    "Super+Space",       "Super+O",           "Super+L",           "Super+S",           "Super+Shift+/",
    "Super+Left",        "Super+Right",       "Super+[",           "Super+]",           "Super+PageUp",
    "Super+PageDown",   "Super+Ctrl+Up",     "Super+Ctrl+Down",   "Super+Up",          "Super+Shift+Down",
    "Super+Alt+Left",    "Super+Alt+Right",   "Super+Shift+Left",  "Super+Shift+Right", "Super+-",
    "Super+=",
};

}  // namespace

std::optional<KeyChord> KeyChord::parse(std::string_view text)
{
    text = trim(text);
    if (text.empty()) {
        return std::nullopt;
    }
    // A trailing "++" names the plus key itself ("Super++").
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t plus = text.find('+', start);
        if (plus == start && plus + 1 == text.size() && !parts.empty()) {
            parts.push_back("+");
            start = text.size() + 1;
            break;
        }
        if (plus == std::string_view::npos) {
            parts.push_back(trim(text.substr(start)));
            break;
        }
        parts.push_back(trim(text.substr(start, plus - start)));
        start = plus + 1;
    }
    if (parts.empty()) {
        return std::nullopt;
    }
    std::uint8_t modifiers = 0;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const auto mask = modifier_mask(parts[i]);
        if (!mask || (modifiers & *mask) != 0) {
            return std::nullopt;
        }
        modifiers = static_cast<std::uint8_t>(modifiers | *mask);
    }
    if (parts.back().empty() || modifier_mask(parts.back())) {
        return std::nullopt;
    }
    auto key = parts.back() == "+" ? std::optional<std::string>("Plus") : canonical_key(parts.back());
    if (!key) {
        return std::nullopt;
    }
    return KeyChord(modifiers, std::move(*key));
}

std::string KeyChord::display() const
{
    std::string text;
    if ((modifiers_ & super_mask) != 0) {
        text += "Super+";
    }
    if ((modifiers_ & ctrl_mask) != 0) {
        text += "Ctrl+";
    }
    if ((modifiers_ & alt_mask) != 0) {
        text += "Alt+";
    }
    if ((modifiers_ & shift_mask) != 0) {
        text += "Shift+";
    }
    return text + key_;
}

bool KeyChord::stands_alone() const
{
    const bool function_key = key_.size() >= 2 && key_.size() <= 3 && key_[0] == 'F' && key_[1] >= '1' &&
                              key_[1] <= '9';
    return function_key || key_ == "Print" || key_.starts_with("Media") || key_.starts_with("Volume") ||
           key_.starts_with("Brightness");
}

std::span<const std::string_view, ShortcutConfig::action_count> ShortcutConfig::action_names()
{
    return stored_names;
}

ShortcutConfig ShortcutConfig::defaults()
{
    ShortcutConfig config;
    for (std::size_t i = 0; i < action_count; ++i) {
        config.chords_[i] = KeyChord::parse(default_chords[i]);
    }
    return config;
}

ShortcutConfig ShortcutConfig::load()
{
    ShortcutConfig config = defaults();
    const std::optional<Json> section = load_section(section_name);
    if (!section || !section->is_object()) {
        return config;
    }
    for (std::size_t i = 0; i < action_count; ++i) {
        const auto member = section->find(std::string(stored_names[i]));
        if (member == section->end()) {
            continue;
        }
        if (member->is_null()) {
            config.chords_[i].reset();
        } else if (member->is_string()) {
            if (auto chord = KeyChord::parse(member->get<std::string>())) {
                config.chords_[i] = std::move(chord);
            }
        }
    }
    return config;
}

const std::optional<KeyChord>& ShortcutConfig::chord(std::size_t action) const
{
    static const std::optional<KeyChord> none;
    return action < action_count ? chords_[action] : none;
}

std::optional<std::size_t> ShortcutConfig::action_using(const KeyChord& chord, std::optional<std::size_t> except) const
{
    for (std::size_t i = 0; i < action_count; ++i) {
        if (i != except && chords_[i] == chord) {
            return i;
        }
    }
    return std::nullopt;
}

std::expected<void, ShortcutRefusal> ShortcutConfig::set(std::size_t action, std::optional<KeyChord> chord)
{
    using Reason = ShortcutRefusal::Reason;
    if (action >= action_count) {
        return std::unexpected(ShortcutRefusal{Reason::UnknownAction, 0, fmt::format("no shortcut {}", action)});
    }
    if (chord) {
        constexpr std::uint8_t command_mask = KeyChord::super_mask | KeyChord::ctrl_mask | KeyChord::alt_mask;
        if ((chord->modifiers() & command_mask) == 0 && !chord->stands_alone()) {
            return std::unexpected(ShortcutRefusal{
                Reason::NeedsModifier, 0,
                fmt::format("{} needs Super, Ctrl or Alt so that it does not take over typing", chord->display())});
        }
        if (chord->modifiers() == 0 && chord->key() == "F1") {
            return std::unexpected(ShortcutRefusal{Reason::Reserved, 0, "F1 always opens the desktop guide"});
        }
        if (const auto other = action_using(*chord, action)) {
            return std::unexpected(ShortcutRefusal{
                Reason::Conflict, *other,
                fmt::format("{} is already used by {}", chord->display(), stored_names[*other])});
        }
    }
    chords_[action] = std::move(chord);
    return {};
}

std::expected<std::filesystem::path, std::string> ShortcutConfig::save() const
{
    return update_section(section_name, [this](Json& section) {
        for (std::size_t i = 0; i < action_count; ++i) {
            section[std::string(stored_names[i])] = chords_[i] ? Json(chords_[i]->display()) : Json(nullptr);
        }
    });
}

DesktopControlsConfig DesktopControlsConfig::load()
{
    DesktopControlsConfig config;
    if (const std::optional<Json> section = load_section(section_name); section && section->is_object()) {
        if (const auto member = section->find("vim_navigation"); member != section->end() && member->is_boolean()) {
            config.vim_navigation = member->get<bool>();
        }
    }
    return config;
}

std::expected<std::filesystem::path, std::string> DesktopControlsConfig::save() const
{
    return update_section(section_name, [this](Json& section) { section["vim_navigation"] = vim_navigation; });
}

}  // namespace config_sections::hardware
