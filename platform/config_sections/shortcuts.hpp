#pragma once
// The desktop's keyboard shortcuts and desktop controls as the settings store keeps them: section "shortcuts" of
// the settings file (one member per shortcut, the chord's text or null when the shortcut is unbound) and section
// "desktop_controls" ({"vim_navigation": bool}). The compositor reads both.
//
// Chord text: modifiers and one key joined by "+", for example "Super+Space", "Super+Shift+/", "Ctrl+Alt+F5".
// Modifiers are Super (also Meta, Logo, Win), Ctrl (Control), Alt and Shift, any case, any order, each at most
// once; the key is one printable ASCII character or a named key (Space, Tab, Enter, Escape, Backspace, Delete,
// Insert, Home, End, PageUp, PageDown, Left, Right, Up, Down, Print, Menu, F1 to F24, Plus for "+", the media keys
// MediaPlayPause, MediaNext, MediaPrevious, VolumeUp, VolumeDown, VolumeMute, BrightnessUp, BrightnessDown), any
// case ("Return", "Page_Up" and "Page_Down" are read too). display() writes the canonical form, the one the
// toolkit's shortcut recorder writes: modifiers in the order Super, Ctrl, Alt, Shift, letters in upper case.
//
//   auto chord = KeyChord::parse("shift+super+t");     // display(): "Super+Shift+T"
//   auto config = ShortcutConfig::load();
//   if (auto set = config.set(8, *chord); !set) { ... set.error().conflicting_action ... }
//   config.save();

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace config_sections::hardware {

class KeyChord {
public:
    static constexpr std::uint8_t super_mask = 1;
    static constexpr std::uint8_t ctrl_mask = 2;
    static constexpr std::uint8_t alt_mask = 4;
    static constexpr std::uint8_t shift_mask = 8;

    // None for text that is no chord (empty, no key, two keys, an unknown key or modifier, a repeated modifier).
    [[nodiscard]] static std::optional<KeyChord> parse(std::string_view text);

    [[nodiscard]] std::string display() const;
    [[nodiscard]] std::uint8_t modifiers() const { return modifiers_; }
    [[nodiscard]] const std::string& key() const { return key_; }  // canonical key name ("T", "/", "PageUp")
    // A function, print, media or brightness key: a shortcut even without a modifier.
    [[nodiscard]] bool stands_alone() const;

    friend bool operator==(const KeyChord&, const KeyChord&) = default;

private:
    KeyChord(std::uint8_t modifiers, std::string key) : modifiers_(modifiers), key_(std::move(key)) {}
    std::uint8_t modifiers_ = 0;
    std::string key_;
};

// Why ShortcutConfig::set refused a chord.
struct ShortcutRefusal {
    enum class Reason : std::uint8_t {
        UnknownAction,  // the action index is out of range
        NeedsModifier,  // a key that does not stand alone, without Super, Ctrl or Alt, would steal typing
        Reserved,       // the chord belongs to the desktop itself (F1 opens the desktop guide)
        Conflict,       // another shortcut already uses the chord
    };
    Reason reason = Reason::UnknownAction;
    std::size_t conflicting_action = 0;  // with Conflict: the action index that holds the chord
    std::string message;                 // a short sentence without a final period, naming actions by their name

    friend bool operator==(const ShortcutRefusal&, const ShortcutRefusal&) = default;
};

class ShortcutConfig {
public:
    static constexpr std::size_t action_count = 21;
    static constexpr std::string_view section_name = "shortcuts";

    // The stored member names of the actions, by action index.
    [[nodiscard]] static std::span<const std::string_view, action_count> action_names();

    // The desktop's own chords (no two alike).
    [[nodiscard]] static ShortcutConfig defaults();
    // The stored configuration: a missing section or member takes the default chord, null unbinds the action, a
    // text that is no chord takes the default.
    [[nodiscard]] static ShortcutConfig load();

    [[nodiscard]] const std::optional<KeyChord>& chord(std::size_t action) const;
    // The action other than `except` that uses the chord, if any.
    [[nodiscard]] std::optional<std::size_t> action_using(const KeyChord& chord,
                                                          std::optional<std::size_t> except = std::nullopt) const;

    // Binds (or, with none, unbinds) an action. Refused, leaving the configuration unchanged, for an unknown
    // action, a chord without Super, Ctrl or Alt (keys that stand alone excepted), the bare F1, or a chord another
    // action uses.
    std::expected<void, ShortcutRefusal> set(std::size_t action, std::optional<KeyChord> chord);

    // Writes the whole section under the settings file's lock; the error says why nothing was written.
    [[nodiscard]] std::expected<std::filesystem::path, std::string> save() const;

    friend bool operator==(const ShortcutConfig&, const ShortcutConfig&) = default;

private:
    std::array<std::optional<KeyChord>, action_count> chords_{};
};

// Desktop controls the compositor applies: vim-style navigation (Super with H, J, K and L).
struct DesktopControlsConfig {
    static constexpr std::string_view section_name = "desktop_controls";

    bool vim_navigation = false;

    // A missing section or a member that is not a boolean reads as off.
    [[nodiscard]] static DesktopControlsConfig load();
    [[nodiscard]] std::expected<std::filesystem::path, std::string> save() const;

    friend bool operator==(const DesktopControlsConfig&, const DesktopControlsConfig&) = default;
};

}  // namespace config_sections::hardware
