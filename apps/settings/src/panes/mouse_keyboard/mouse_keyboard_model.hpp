#pragma once
// What the Mouse & Keyboard page shows and keeps, apart from its widgets.
//
// Input preferences (section "input" of the settings file) are changed by the device-local operation runner: the
// page's controls send input and keyboard-source operations, and the page reads the file again (reload_input) when
// the runner reports an operation.
// Only spell checking and auto-correction are kept by the page itself, in the settings store's section
// "text_assistance" ({"check_spelling": bool, "auto_correct": bool}; a missing value reads as on), under the
// document keys "text.check_spelling" and "text.auto_correct".

#include "keyboard_layouts/keyboard_layouts.hpp"
#include "page_doc/page_doc.hpp"
#include "prefs/records.hpp"
#include "setting_tables/labels.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::mouse_keyboard {

inline constexpr std::string_view check_spelling_key = "text.check_spelling";
inline constexpr std::string_view auto_correct_key = "text.auto_correct";
inline constexpr std::string_view text_assistance_section = "text_assistance";

// The label tables shared with the resource contract.
inline constexpr const auto& compose_key_labels = setting_tables::kComposeKeyLabels;
inline constexpr const auto& acceleration_labels = setting_tables::kAccelerationLabels;
using setting_tables::acceleration_label;
using setting_tables::compose_key_label;

inline constexpr std::string_view keyboard_caption =
    "Changes apply to this user session through the compositor. With multiple sources, Alt+Shift switches "
    "temporarily; Super+Space remains global search.";
inline constexpr std::string_view auto_correct_caption =
    "Press Backspace immediately to restore the original word. Passwords are always excluded; other structured "
    "fields require an app to opt in.";
inline constexpr std::string_view source_limit_caption =
    "Up to four input sources can be active at once, matching the interoperable XKB group limit.";
inline constexpr std::string_view pen_caption =
    "Absolute pen and tablet mapping follows the selected display connector. Controls appear only when a tablet is "
    "attached; pressure curves and button mappings are stored per device.";

struct TextAssistance {
    bool check_spelling = true;
    bool auto_correct = true;

    // The stored section; a missing section, key or non-boolean value reads as on.
    [[nodiscard]] static TextAssistance load();
    friend bool operator==(const TextAssistance&, const TextAssistance&) = default;
};

// One active input source as the "Input sources" card lists it.
struct SourceRow {
    std::size_t index = 0;
    std::string id;
    std::string label;
    bool active = false;      // the source in use now ("Active")
    bool can_move_up = false;
    bool can_move_down = false;
    bool can_remove = false;
};

// The slider position of the key repeat: (rate - 10) / 40 within [0, 1] when delay and rate are both stored,
// else the stored slider value.
[[nodiscard]] double key_repeat_position(const prefs::InputPrefs& input);
// "30 keys per second · starts after 250 ms", "Repeat is off — move the slider to turn it on", or
// "Faster repeat starts sooner" when delay or rate is not stored.
[[nodiscard]] std::string key_repeat_text(const prefs::InputPrefs& input);

class MouseKeyboardModel {
public:
    MouseKeyboardModel(prefs::InputPrefs input, TextAssistance text,
                       std::span<const keyboard_layouts::KeyboardLayout> catalog);
    // From the settings file (input sources normalised) and the system's keyboard layout catalogue.
    [[nodiscard]] static MouseKeyboardModel load();

    // Seeds the two text-assistance keys on the first call; saves a switch the document changed. A failed save
    // puts the switch back and keeps the reason for the page to show.
    void sync(page_doc::Document& doc);

    // Reads the input preferences from the settings file again; answers whether they changed (each change
    // advances input_revision).
    bool reload_input();

    [[nodiscard]] const prefs::InputPrefs& input() const { return input_; }
    [[nodiscard]] std::uint64_t input_revision() const { return input_revision_; }
    [[nodiscard]] const TextAssistance& text_assistance() const { return applied_; }
    [[nodiscard]] const std::optional<std::string>& status() const { return status_; }

    // The catalogue's label of a layout id, or the id itself.
    [[nodiscard]] std::string layout_label(std::string_view id) const;
    [[nodiscard]] std::vector<std::string> active_source_labels() const;
    [[nodiscard]] std::vector<SourceRow> source_rows() const;
    // The labels of the catalogue's layouts that are not active, in catalogue order; empty when no source can be
    // added (four are active already).
    [[nodiscard]] std::vector<std::string> addable_source_labels() const;

private:
    prefs::InputPrefs input_;
    std::uint64_t input_revision_ = 0;
    std::vector<keyboard_layouts::KeyboardLayout> catalog_;
    TextAssistance applied_;
    bool seeded_ = false;
    std::optional<std::string> status_;
};

}  // namespace settings::panes::mouse_keyboard
