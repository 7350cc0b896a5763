// The icon drawings. Each is written on a 24 × 24 grid (0..24 on both axes); draw() scales the grid into the box.

#include "vorn_ui/icons.hpp"

#include "vorn_ui/paint.hpp"

#include <cairo.h>

#include <algorithm>
#include <numbers>
#include <string>

namespace vorn_ui::icons {

namespace {

constexpr double pi = std::numbers::pi;

// Paths in grid units (the transform scales the grid; draw() sets the line width in grid units too).
class Pen {
public:
    explicit Pen(cairo_t* cr) : cr_(cr) {}

    void line(double x0, double y0, double x1, double y1) const
    {
        cairo_move_to(cr_, x0, y0);
        cairo_line_to(cr_, x1, y1);
        stroke();
    }
    void polyline(std::initializer_list<std::pair<double, double>> points, bool close = false) const
    {
        bool first = true;
        for (const auto& [x, y] : points) {
            if (first) {
                cairo_move_to(cr_, x, y);
                first = false;
            } else {
                cairo_line_to(cr_, x, y);
            }
        }
        if (close) {
            cairo_close_path(cr_);
        }
        stroke();
    }
    void rect(double x, double y, double w, double h, double r) const
    {
        paint::rounded_rect_path(cr_, Rect::from_origin_size(x, y, w, h), r);
        stroke();
    }
    void fill_rect(double x, double y, double w, double h, double r) const
    {
        paint::rounded_rect_path(cr_, Rect::from_origin_size(x, y, w, h), r);
        cairo_fill(cr_);
    }
    void circle(double cx, double cy, double r) const
    {
        cairo_new_sub_path(cr_);
        cairo_arc(cr_, cx, cy, r, 0.0, 2.0 * pi);
        stroke();
    }
    void dot(double cx, double cy, double r) const
    {
        cairo_new_sub_path(cr_);
        cairo_arc(cr_, cx, cy, r, 0.0, 2.0 * pi);
        cairo_fill(cr_);
    }
    // An arc in degrees, clockwise from the positive x axis (y grows downwards).
    void arc(double cx, double cy, double r, double from_deg, double to_deg) const
    {
        cairo_new_sub_path(cr_);
        cairo_arc(cr_, cx, cy, r, from_deg * pi / 180.0, to_deg * pi / 180.0);
        stroke();
    }
    [[nodiscard]] cairo_t* cr() const { return cr_; }
    void stroke() const { cairo_stroke(cr_); }

private:
    cairo_t* cr_;
};

void draw_apps(const Pen& p)
{
    p.rect(4, 4, 7, 7, 1.5);
    p.rect(13, 4, 7, 7, 1.5);
    p.rect(4, 13, 7, 7, 1.5);
    p.rect(13, 13, 7, 7, 1.5);
}

void draw_mouse(const Pen& p)
{
    p.rect(7, 3, 10, 18, 5);
    p.line(12, 6.5, 12, 10);
}

void draw_keyboard(const Pen& p)
{
    p.rect(2.5, 6, 19, 12, 2);
    for (double x : {6.0, 9.5, 13.0, 16.5}) {
        p.dot(x + 0.5, 10, 0.9);
    }
    p.line(8, 14.5, 16, 14.5);
}

void draw_users(const Pen& p)
{
    p.circle(9, 8, 3.2);
    p.arc(9, 20, 6.5, 200, 340);
    p.arc(16.5, 8.5, 2.6, 250, 110);
    p.arc(17, 19, 5, 250, 340);
}

void draw_printer(const Pen& p)
{
    p.polyline({{7, 9}, {7, 3.5}, {17, 3.5}, {17, 9}});
    p.rect(3, 9, 18, 8, 2);
    p.rect(7, 14, 10, 6.5, 0.5);
    p.dot(17.5, 12, 0.9);
}

void draw_globe(const Pen& p)
{
    p.circle(12, 12, 9);
    p.line(3, 12, 21, 12);
    cairo_save(p.cr());
    cairo_translate(p.cr(), 12, 12);
    cairo_scale(p.cr(), 0.45, 1.0);
    cairo_new_sub_path(p.cr());
    cairo_arc(p.cr(), 0, 0, 9, 0, 2 * pi);
    cairo_restore(p.cr());
    p.stroke();
}

void draw_wifi(const Pen& p)
{
    p.arc(12, 19, 15, 225, 315);
    p.arc(12, 19, 10, 225, 315);
    p.arc(12, 19, 5, 225, 315);
    p.dot(12, 19, 1.4);
}

void draw_bluetooth(const Pen& p) { p.polyline({{7, 7.5}, {16.5, 16}, {12, 20.5}, {12, 3.5}, {16.5, 8}, {7, 16.5}}); }

void draw_display(const Pen& p)
{
    p.rect(3, 4, 18, 12.5, 2);
    p.line(12, 16.5, 12, 20);
    p.line(8, 20, 16, 20);
}

void draw_battery(const Pen& p)
{
    p.rect(2.5, 7, 17, 10, 2);
    p.fill_rect(20.5, 10, 1.8, 4, 0.6);
    p.fill_rect(5, 9.5, 8, 5, 0.8);
}

void draw_shield(const Pen& p)
{
    cairo_t* cr = p.cr();
    cairo_move_to(cr, 12, 2.5);
    cairo_line_to(cr, 19.5, 5.5);
    cairo_curve_to(cr, 19.5, 13, 17, 18.5, 12, 21.5);
    cairo_curve_to(cr, 7, 18.5, 4.5, 13, 4.5, 5.5);
    cairo_close_path(cr);
    p.stroke();
    p.polyline({{8.5, 12}, {11, 14.5}, {15.5, 9.5}});
}

void draw_storage(const Pen& p)
{
    p.rect(3, 5, 18, 6, 1.5);
    p.rect(3, 13, 18, 6, 1.5);
    p.dot(17, 8, 1);
    p.dot(17, 16, 1);
}

void draw_palette(const Pen& p)
{
    cairo_t* cr = p.cr();
    cairo_new_sub_path(cr);
    cairo_arc(cr, 12, 12, 9, 0.25 * pi, 1.95 * pi);
    cairo_curve_to(cr, 21, 15, 17, 13.5, 16, 16);
    cairo_curve_to(cr, 15, 18.5, 18, 19, 18.4, 18.4);
    p.stroke();
    p.dot(8, 10, 1.3);
    p.dot(12, 7, 1.3);
    p.dot(16.3, 9, 1.3);
    p.dot(8.5, 15, 1.3);
}

void draw_accessibility(const Pen& p)
{
    p.circle(12, 12, 9.5);
    p.dot(12, 7, 1.5);
    p.polyline({{7.5, 10}, {12, 11}, {16.5, 10}});
    p.polyline({{9.5, 18}, {12, 13.5}, {14.5, 18}});
    p.line(12, 11, 12, 13.5);
}

void draw_info(const Pen& p)
{
    p.circle(12, 12, 9.5);
    p.dot(12, 7.7, 1.3);
    p.line(12, 11, 12, 17);
}

void draw_sync(const Pen& p)
{
    p.arc(12, 12, 7.5, 200, 350);
    p.polyline({{16.5, 3.8}, {19.4, 10.6}, {12.8, 11.2}}, false);
    p.arc(12, 12, 7.5, 20, 170);
    p.polyline({{7.5, 20.2}, {4.6, 13.4}, {11.2, 12.8}}, false);
}

void draw_bell(const Pen& p)
{
    cairo_t* cr = p.cr();
    cairo_move_to(cr, 5, 17);
    cairo_curve_to(cr, 6.5, 15, 6.5, 13, 6.5, 10.5);
    cairo_curve_to(cr, 6.5, 7, 9, 4.5, 12, 4.5);
    cairo_curve_to(cr, 15, 4.5, 17.5, 7, 17.5, 10.5);
    cairo_curve_to(cr, 17.5, 13, 17.5, 15, 19, 17);
    cairo_close_path(cr);
    p.stroke();
    p.arc(12, 18.5, 2.2, 0, 180);
}

void draw_update(const Pen& p)
{
    p.line(12, 3.5, 12, 14);
    p.polyline({{7.5, 9.5}, {12, 14}, {16.5, 9.5}});
    p.polyline({{4, 14.5}, {4, 19.5}, {20, 19.5}, {20, 14.5}});
}

void draw_clock(const Pen& p)
{
    p.circle(12, 12, 9);
    p.polyline({{12, 6.5}, {12, 12}, {15.5, 14}});
}

void draw_speaker(const Pen& p)
{
    p.polyline({{4, 9.5}, {7.5, 9.5}, {12, 5.5}, {12, 18.5}, {7.5, 14.5}, {4, 14.5}}, true);
    p.arc(13, 12, 4, -45, 45);
    p.arc(13, 12, 7.5, -50, 50);
}

void draw_search(const Pen& p)
{
    p.circle(10.5, 10.5, 6);
    p.line(15, 15, 20, 20);
}

void draw_chevron_down(const Pen& p) { p.polyline({{6.5, 9.5}, {12, 15}, {17.5, 9.5}}); }

void draw_check(const Pen& p) { p.polyline({{5.5, 12.5}, {10, 17}, {18.5, 7.5}}); }

void draw_placeholder(const Pen& p)
{
    p.rect(4.5, 4.5, 15, 15, 3);
    p.dot(12, 12, 2);
}

using DrawFn = void (*)(const Pen&);

DrawFn drawing_of(Icon icon)
{
    switch (icon) {
    case Icon::Apps: return draw_apps;
    case Icon::Mouse: return draw_mouse;
    case Icon::Keyboard: return draw_keyboard;
    case Icon::Users: return draw_users;
    case Icon::Printer: return draw_printer;
    case Icon::Globe: return draw_globe;
    case Icon::Wifi: return draw_wifi;
    case Icon::Bluetooth: return draw_bluetooth;
    case Icon::Display: return draw_display;
    case Icon::Battery: return draw_battery;
    case Icon::Shield: return draw_shield;
    case Icon::Storage: return draw_storage;
    case Icon::Palette: return draw_palette;
    case Icon::Accessibility: return draw_accessibility;
    case Icon::Info: return draw_info;
    case Icon::Sync: return draw_sync;
    case Icon::Bell: return draw_bell;
    case Icon::Update: return draw_update;
    case Icon::Clock: return draw_clock;
    case Icon::Speaker: return draw_speaker;
    case Icon::Search: return draw_search;
    case Icon::ChevronDown: return draw_chevron_down;
    case Icon::Check: return draw_check;
    case Icon::None: return nullptr;
    }
    return draw_placeholder;
}

}  // namespace

bool has_drawing(Icon icon)
{
    const DrawFn fn = drawing_of(icon);
    return fn != nullptr && fn != draw_placeholder;
}

std::string name(Icon icon)
{
    switch (icon) {
    case Icon::Apps: return "apps";
    case Icon::Mouse: return "mouse";
    case Icon::Keyboard: return "keyboard";
    case Icon::Users: return "users";
    case Icon::Printer: return "printer";
    case Icon::Globe: return "globe";
    case Icon::Wifi: return "wifi";
    case Icon::Bluetooth: return "bluetooth";
    case Icon::Display: return "display";
    case Icon::Battery: return "battery";
    case Icon::Shield: return "shield";
    case Icon::Storage: return "storage";
    case Icon::Palette: return "palette";
    case Icon::Accessibility: return "accessibility";
    case Icon::Info: return "info";
    case Icon::Sync: return "sync";
    case Icon::Bell: return "bell";
    case Icon::Update: return "update";
    case Icon::Clock: return "clock";
    case Icon::Speaker: return "speaker";
    case Icon::Search: return "search";
    case Icon::ChevronDown: return "chevron-down";
    case Icon::Check: return "check";
    case Icon::None: return "none";
    }
    return "icon-" + std::to_string(code_of(icon));
}

void draw(cairo_t* cr, Icon icon, const Rect& box, const Color& color, double stroke)
{
    const DrawFn fn = drawing_of(icon);
    const double side = std::min(box.width(), box.height());
    if (cr == nullptr || fn == nullptr || side <= 0.0) {
        return;
    }
    const double unit = side / 24.0;
    cairo_save(cr);
    cairo_translate(cr, box.x0 + (box.width() - side) / 2.0, box.y0 + (box.height() - side) / 2.0);
    cairo_scale(cr, unit, unit);
    cairo_set_line_width(cr, stroke / unit);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    paint::set_color(cr, color);
    cairo_new_path(cr);
    fn(Pen(cr));
    cairo_restore(cr);
}

}  // namespace vorn_ui::icons
