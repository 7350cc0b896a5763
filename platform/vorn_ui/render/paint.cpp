#include "vorn_ui/paint.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vorn_ui {

namespace paint {

void set_color(cairo_t* cr, const Color& color) { cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a); }

void rounded_rect_path(cairo_t* cr, const Rect& rect, double radius)
{
    const double w = std::max(rect.width(), 0.0);
    const double h = std::max(rect.height(), 0.0);
    const double r = std::clamp(radius, 0.0, std::min(w, h) / 2.0);
    if (r <= 0.0) {
        cairo_rectangle(cr, rect.x0, rect.y0, w, h);
        return;
    }
    constexpr double pi = std::numbers::pi;
    cairo_new_sub_path(cr);
    cairo_arc(cr, rect.x0 + w - r, rect.y0 + r, r, -pi / 2.0, 0.0);
    cairo_arc(cr, rect.x0 + w - r, rect.y0 + h - r, r, 0.0, pi / 2.0);
    cairo_arc(cr, rect.x0 + r, rect.y0 + h - r, r, pi / 2.0, pi);
    cairo_arc(cr, rect.x0 + r, rect.y0 + r, r, pi, 3.0 * pi / 2.0);
    cairo_close_path(cr);
}

void fill_rect(cairo_t* cr, const Rect& rect, const Color& color)
{
    if (color.a <= 0.0f) {
        return;
    }
    cairo_save(cr);
    set_color(cr, color);
    cairo_rectangle(cr, rect.x0, rect.y0, rect.width(), rect.height());
    cairo_fill(cr);
    cairo_restore(cr);
}

void fill_rounded(cairo_t* cr, const Rect& rect, double radius, const Color& color)
{
    if (color.a <= 0.0f) {
        return;
    }
    cairo_save(cr);
    set_color(cr, color);
    cairo_new_path(cr);
    rounded_rect_path(cr, rect, radius);
    cairo_fill(cr);
    cairo_restore(cr);
}

void stroke_rounded(cairo_t* cr, const Rect& rect, double radius, const Color& color, double width)
{
    if (color.a <= 0.0f || width <= 0.0) {
        return;
    }
    cairo_save(cr);
    set_color(cr, color);
    cairo_set_line_width(cr, width);
    cairo_new_path(cr);
    const double half = width / 2.0;
    rounded_rect_path(cr, {rect.x0 + half, rect.y0 + half, rect.x1 - half, rect.y1 - half},
                      std::max(radius - half, 0.0));
    cairo_stroke(cr);
    cairo_restore(cr);
}

void focus_ring(cairo_t* cr, const Theme& theme, const Rect& rect, double radius)
{
    const double width = theme.focus_width * theme.ui_scale;
    const double gap = 1.0 * theme.ui_scale;
    const Rect ring{rect.x0 - gap - width, rect.y0 - gap - width, rect.x1 + gap + width, rect.y1 + gap + width};
    stroke_rounded(cr, ring, radius + gap + width, theme.focus, width);
}

void card_surface(cairo_t* cr, const Theme& theme, const Rect& rect)
{
    const double radius = theme.card_radius * theme.ui_scale;
    if (theme.is_dark && !theme.high_contrast) {
        fill_rounded(cr, {rect.x0, rect.y0 + 1.0, rect.x1, rect.y1 + 1.0}, radius, theme.shadow);
    }
    fill_rounded(cr, rect, radius, theme.surface);
    cairo_save(cr);
    set_color(cr, theme.outline);
    const double width = theme.high_contrast ? 2.0 : 1.0;
    cairo_set_line_width(cr, width);
    if (theme.high_contrast) {
        cairo_new_path(cr);
        rounded_rect_path(cr, {rect.x0 + 1.0, rect.y0 + 1.0, rect.x1 - 1.0, rect.y1 - 1.0}, radius - 1.0);
    } else {
        surface::edge_outline(cr, rect, radius);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void hline(cairo_t* cr, double x0, double x1, double y, const Color& color, double width)
{
    fill_rect(cr, {x0, y, x1, y + width}, color);
}

void vline(cairo_t* cr, double x, double y0, double y1, const Color& color, double width)
{
    fill_rect(cr, {x, y0, x + width, y1}, color);
}

}  // namespace paint

namespace surface {

void edge_outline(cairo_t* cr, const Rect& rect, double radius)
{
    cairo_new_path(cr);
    paint::rounded_rect_path(cr, {rect.x0 + 0.5, rect.y0 + 0.5, rect.x1 - 0.5, rect.y1 - 0.5},
                             std::max(radius - 0.5, 0.0));
}

}  // namespace surface

namespace chrome::shell {

SelectionTier selection_tier(const Theme& theme, std::uint32_t state)
{
    const bool selected = (state & state_selected) != 0;
    const bool hovered = (state & state_hovered) != 0;
    const bool pressed = (state & state_pressed) != 0;

    SelectionTier tier;
    tier.fill = theme.text.with_alpha(0.0f);
    if (selected) {
        if (theme.high_contrast) {
            tier.fill = theme.accent.with_alpha(0.25f);
            tier.outline = theme.accent;
        } else {
            tier.fill = theme.accent.with_alpha(theme.is_dark ? 0.20f : 0.14f);
            tier.outline = theme.accent.with_alpha(theme.is_dark ? 0.45f : 0.35f);
            if (theme.is_dark) {
                tier.inner_highlight = Color::rgb(0xFFFFFF).with_alpha(0.06f);
            }
        }
        if (hovered) {
            tier.fill = tier.fill.with_alpha(std::min(tier.fill.a + 0.06f, 1.0f));
        }
    } else if (pressed) {
        tier.fill = theme.pressed;
    } else if (hovered) {
        tier.fill = theme.hover;
        if (theme.high_contrast) {
            tier.outline = theme.text;
        }
    }
    if (pressed && !theme.reduced_motion) {
        tier.scale = 0.98;
    }
    return tier;
}

}  // namespace chrome::shell

}  // namespace vorn_ui
