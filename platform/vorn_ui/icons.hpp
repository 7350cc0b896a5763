#pragma once
// The toolkit's icon set: one-byte codes, each drawn as a simple line drawing (vector shapes on a 24-unit grid,
// scaled into the box they are drawn in). Codes without a drawing of their own get a neutral placeholder mark;
// code 255 means "no icon" and draws nothing.

#include "vorn_ui/geometry.hpp"
#include "vorn_ui/theme.hpp"

#include <cstdint>
#include <string_view>

extern "C" {
typedef struct _cairo cairo_t;  // NOLINT: the same typedef as <cairo.h>
}

namespace vorn_ui::icons {

// Any byte is a valid Icon (Icon{code} or static_cast<Icon>(code)); these have drawings of their own.
enum class Icon : std::uint8_t {
    Apps = 0,            // a grid of four tiles (Apps & Files)
    Mouse = 2,           // Mouse & Keyboard
    Keyboard = 3,        // Keyboard Shortcuts
    Users = 4,           // two people
    Printer = 5,
    Globe = 6,           // Region & Formats
    Wifi = 7,            // Network
    Bluetooth = 8,
    Display = 9,         // a monitor (Displays, the About device card)
    Battery = 10,        // Power
    Shield = 11,         // Device Privacy & Security
    Storage = 56,        // a drive
    Palette = 66,        // Appearance, Agent Models
    Accessibility = 67,  // a figure in a circle
    Info = 70,           // About
    Sync = 71,           // Devices & Sync, External Accounts
    Bell = 73,           // Notifications
    Update = 76,         // a download into a tray (Updates)
    Clock = 85,          // Time & Date
    Speaker = 89,        // Sound
    Search = 200,        // a magnifier (search fields)
    ChevronDown = 201,   // drop-down fields
    Check = 202,         // the chosen entry of a list
    None = 255,
};

[[nodiscard]] constexpr std::uint8_t code_of(Icon icon) { return static_cast<std::uint8_t>(icon); }
// Whether the code has a drawing of its own (not the placeholder, not None).
[[nodiscard]] bool has_drawing(Icon icon);
// A short name ("wifi", "bluetooth", ...; "icon-<code>" for other codes).
[[nodiscard]] std::string name(Icon icon);

// Draws the icon centred in `box` (the drawing keeps its square shape) with round caps and joins. `stroke` is the
// line width in the user space of `cr` (1.5 suits 18 to 34 pixels).
void draw(cairo_t* cr, Icon icon, const Rect& box, const Color& color, double stroke = 1.5);

}  // namespace vorn_ui::icons

namespace vorn_ui {
using icons::Icon;
}
