#pragma once
// The keyboard layout catalogue: every XKB layout and layout variant the system's keyboard rules describe, with its
// input-source id ("us", "us:colemak", the form the settings file stores) and a label for people
// ("English (US)", "English (US) — English (Colemak)"), sorted by label.
//
// It is read from the XKB rules XML of the system (Debian's xkb-data), trying evdev.xml and then base.xml; a file
// that is missing, malformed or lists no layout is skipped, and a short built-in list stands in when no file gives
// an entry. The rules are parsed once, on first use; external entities and DTDs are never loaded.

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings::keyboard_layouts {

struct KeyboardLayout {
    std::string id;     // canonical input-source id
    std::string label;  // unique within the catalogue

    friend bool operator==(const KeyboardLayout&, const KeyboardLayout&) = default;
};

inline constexpr std::array<std::string_view, 2> system_rules_files = {
    "/usr/share/X11/xkb/rules/evdev.xml",
    "/usr/share/X11/xkb/rules/base.xml",
};

// The catalogue of the system's rules files, built on first use (safe from any thread) and kept for the life of
// the program. Never empty.
[[nodiscard]] const std::vector<KeyboardLayout>& keyboard_layout_catalog();

// Builds a catalogue from the first of `rules_files` that gives entries, else the built-in list. Not cached.
[[nodiscard]] std::vector<KeyboardLayout> load_catalog(std::span<const std::filesystem::path> rules_files);

// The entries of one rules text, sorted; none when the text is malformed (not XML, not UTF-8) or lists no layout.
[[nodiscard]] std::optional<std::vector<KeyboardLayout>> parse_rules(std::string_view xml);

// The built-in list, in its own order (not sorted).
[[nodiscard]] const std::vector<KeyboardLayout>& fallback_catalog();

// Lookups in a catalogue; nullptr when absent.
[[nodiscard]] const KeyboardLayout* find_by_id(std::span<const KeyboardLayout> catalog, std::string_view id);
[[nodiscard]] const KeyboardLayout* find_by_label(std::span<const KeyboardLayout> catalog, std::string_view label);

}  // namespace settings::keyboard_layouts
