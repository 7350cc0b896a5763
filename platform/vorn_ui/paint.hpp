#pragma once
// Drawing helpers on cairo (only the cairo_t handle is named here; include <cairo.h> where you draw yourself).
//
// Every helper draws in the user space of `cr` (the frame driver scales it to physical pixels) and leaves the
// cairo state as it found it. Lengths are logical pixels; multiply style lengths by theme.ui_scale yourself.

#include "vorn_ui/geometry.hpp"
#include "vorn_ui/theme.hpp"

#include <cstdint>
#include <optional>

extern "C" {
typedef struct _cairo cairo_t;  // NOLINT: the same typedef as <cairo.h>
}

namespace vorn_ui {

namespace paint {

void set_color(cairo_t* cr, const Color& color);
// Adds a rounded rectangle to the current path (radius clamped to half the shorter side).
void rounded_rect_path(cairo_t* cr, const Rect& rect, double radius);
void fill_rect(cairo_t* cr, const Rect& rect, const Color& color);
void fill_rounded(cairo_t* cr, const Rect& rect, double radius, const Color& color);
void stroke_rounded(cairo_t* cr, const Rect& rect, double radius, const Color& color, double width);
// A focus ring just outside `rect`, in the theme's focus colour and width.
void focus_ring(cairo_t* cr, const Theme& theme, const Rect& rect, double radius);
// The card surface: the card fill with its edge outline (and a faint shadow below, in dark themes).
void card_surface(cairo_t* cr, const Theme& theme, const Rect& rect);
// A horizontal or vertical one-pixel line.
void hline(cairo_t* cr, double x0, double x1, double y, const Color& color, double width = 1.0);
void vline(cairo_t* cr, double x, double y0, double y1, const Color& color, double width = 1.0);

}  // namespace paint

namespace surface {

// The outline path of a rounded rectangle: `rect` inset by half a pixel, so that a one-pixel stroke of the path
// lies exactly inside the rectangle's pixels. Replaces the current path.
void edge_outline(cairo_t* cr, const Rect& rect, double radius);

}  // namespace surface

namespace chrome::shell {

// Selection states of a navigation item (the state value is selected | hovered << 8 | pressed << 16).
inline constexpr std::uint32_t state_selected = 1U;
inline constexpr std::uint32_t state_hovered = 1U << 8;
inline constexpr std::uint32_t state_pressed = 1U << 16;

[[nodiscard]] constexpr std::uint32_t selection_state(bool selected, bool hovered, bool pressed)
{
    return (selected ? state_selected : 0U) | (hovered ? state_hovered : 0U) | (pressed ? state_pressed : 0U);
}

// The look of a navigation item in a state.
struct SelectionTier {
    Color fill;                            // transparent when nothing is drawn
    double scale = 1.0;                    // the background is scaled about its centre by this factor
    std::optional<Color> outline;          // stroked along the edge outline, 1 px
    std::optional<Color> inner_highlight;  // stroked 1.5 px inside the edge, 1 px

    friend bool operator==(const SelectionTier&, const SelectionTier&) = default;
};

[[nodiscard]] SelectionTier selection_tier(const Theme& theme, std::uint32_t state);

}  // namespace chrome::shell

}  // namespace vorn_ui
