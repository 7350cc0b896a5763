#include "vorn_ui/headless.hpp"

#include "vorn_ui/widget.hpp"

#include <cairo.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <set>

namespace vorn_ui {

namespace {

std::uint8_t channel(float v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// Appends the UTF-8 form of a code point.
void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool Pixel::near(const Color& color, int tolerance) const
{
    return std::abs(static_cast<int>(r) - channel(color.r)) <= tolerance &&
           std::abs(static_cast<int>(g) - channel(color.g)) <= tolerance &&
           std::abs(static_cast<int>(b) - channel(color.b)) <= tolerance;
}

Color Pixel::color() const
{
    return {static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f,
            static_cast<float>(a) / 255.0f};
}

std::string Pixel::to_hex() const { return fmt::format("#{:02x}{:02x}{:02x}{:02x}", r, g, b, a); }

HeadlessWindow::HeadlessWindow(Widget& root, WindowSize size, HeadlessOptions options)
    : driver_(root), options_(std::move(options))
{
    driver_.set_theme(options_.theme);
    driver_.set_viewport(size.width, size.height, options_.scale_factor);
    make_surface();
}

HeadlessWindow::HeadlessWindow(std::unique_ptr<Widget> root, WindowSize size, HeadlessOptions options)
    : owned_root_(std::move(root)), driver_(*owned_root_), options_(std::move(options))
{
    driver_.set_theme(options_.theme);
    driver_.set_viewport(size.width, size.height, options_.scale_factor);
    make_surface();
}

HeadlessWindow::HeadlessWindow(Widget& root, page_doc::Document& document, WindowSize size, HeadlessOptions options)
    : HeadlessWindow(root, size, std::move(options))
{
    attach_document(document);
}

HeadlessWindow::~HeadlessWindow()
{
    driver_.text().set_draw_log(nullptr);
    if (surface_ != nullptr) {
        cairo_surface_destroy(surface_);
    }
}

void HeadlessWindow::attach_document(page_doc::Document& document) { driver_.attach_document(&document); }

void HeadlessWindow::set_theme(Theme theme)
{
    options_.theme = theme;
    driver_.set_theme(std::move(theme));
}

void HeadlessWindow::resize(WindowSize size, std::optional<double> scale_factor)
{
    if (scale_factor) {
        options_.scale_factor = *scale_factor;
    }
    driver_.set_viewport(size.width, size.height, options_.scale_factor);
    make_surface();
}

void HeadlessWindow::make_surface()
{
    if (surface_ != nullptr) {
        cairo_surface_destroy(surface_);
    }
    const int width = static_cast<int>(std::ceil(driver_.width() * driver_.scale_factor()));
    const int height = static_cast<int>(std::ceil(driver_.height() * driver_.scale_factor()));
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
}

FrameStats HeadlessWindow::frame()
{
    drawn_.clear();
    driver_.text().set_draw_log(options_.record_text ? &drawn_ : nullptr, driver_.scale_factor());
    cairo_t* cr = cairo_create(surface_);
    last_ = driver_.run_frame(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
    driver_.text().set_draw_log(nullptr);
    ++frames_;
    return last_;
}

void HeadlessWindow::paint(FrameStats& stats)
{
    drawn_.clear();
    driver_.text().set_draw_log(options_.record_text ? &drawn_ : nullptr, driver_.scale_factor());
    cairo_t* cr = cairo_create(surface_);
    driver_.draw(cr, stats);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
    driver_.text().set_draw_log(nullptr);
    last_ = stats;
    ++frames_;
}

void HeadlessWindow::ensure_frame()
{
    if (frames_ == 0) {
        frame();
    }
}

Point HeadlessWindow::physical(double x, double y) const
{
    return {x * driver_.scale_factor(), y * driver_.scale_factor()};
}

DispatchResult HeadlessWindow::send(const Event& event)
{
    ensure_frame();
    const DispatchResult result = driver_.dispatch(event);
    frame();
    return result;
}

void HeadlessWindow::move(double x, double y, Modifiers modifiers)
{
    send(PointerMove{physical(x, y), modifiers});
}

void HeadlessWindow::press(double x, double y, MouseButton button, Modifiers modifiers)
{
    send(PointerButton{physical(x, y), button, true, 1, modifiers});
}

void HeadlessWindow::release(double x, double y, MouseButton button, Modifiers modifiers)
{
    send(PointerButton{physical(x, y), button, false, 1, modifiers});
}

void HeadlessWindow::click(double x, double y, MouseButton button, Modifiers modifiers)
{
    move(x, y, modifiers);
    press(x, y, button, modifiers);
    release(x, y, button, modifiers);
}

void HeadlessWindow::double_click(double x, double y)
{
    click(x, y);
    send(PointerButton{physical(x, y), MouseButton::Left, true, 2, {}});
    send(PointerButton{physical(x, y), MouseButton::Left, false, 2, {}});
}

void HeadlessWindow::drag(Point from, Point to, int steps)
{
    move(from.x, from.y);
    press(from.x, from.y);
    const int count = std::max(steps, 1);
    for (int i = 1; i <= count; ++i) {
        const double t = static_cast<double>(i) / count;
        move(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t);
    }
    release(to.x, to.y);
}

void HeadlessWindow::wheel(double x, double y, double delta_y, double delta_x)
{
    send(PointerWheel{physical(x, y), delta_x, delta_y, false, {}});
}

void HeadlessWindow::leave() { send(PointerLeave{}); }

void HeadlessWindow::key(Key key, Modifiers modifiers)
{
    send(KeyDown{key, 0, modifiers, false});
    send(KeyUp{key, 0, modifiers});
}

void HeadlessWindow::key_char(char32_t character, Modifiers modifiers)
{
    const Key key = character == U' ' ? Key::Space : Key::Character;
    send(KeyDown{key, character, modifiers, false});
    if (!modifiers.control && !modifiers.alt && !modifiers.super && character >= 0x20) {
        std::string text;
        append_utf8(text, character);
        send(TextEntered{text});
    }
    send(KeyUp{key, character, modifiers});
}

void HeadlessWindow::type(std::string_view utf8) { send(TextEntered{std::string(utf8)}); }

Pixel HeadlessWindow::pixel(double x, double y) const
{
    const int width = cairo_image_surface_get_width(surface_);
    const int height = cairo_image_surface_get_height(surface_);
    const int px = static_cast<int>(std::floor(x * driver_.scale_factor()));
    const int py = static_cast<int>(std::floor(y * driver_.scale_factor()));
    if (px < 0 || py < 0 || px >= width || py >= height) {
        return {};
    }
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    std::uint32_t argb = 0;
    std::memcpy(&argb, data + static_cast<std::ptrdiff_t>(py) * stride + static_cast<std::ptrdiff_t>(px) * 4, 4);
    const std::uint8_t a = static_cast<std::uint8_t>(argb >> 24);
    const auto unpremultiply = [a](std::uint32_t c) -> std::uint8_t {
        return a == 0 ? 0 : static_cast<std::uint8_t>(std::min<std::uint32_t>((c * 255 + a / 2) / a, 255));
    };
    return {unpremultiply((argb >> 16) & 0xFF), unpremultiply((argb >> 8) & 0xFF), unpremultiply(argb & 0xFF), a};
}

double HeadlessWindow::coverage(const Rect& rect, const Color& color, int tolerance) const
{
    const double scale = driver_.scale_factor();
    std::size_t total = 0;
    std::size_t matching = 0;
    for (double y = std::floor(rect.y0 * scale); y < rect.y1 * scale; y += 1.0) {
        for (double x = std::floor(rect.x0 * scale); x < rect.x1 * scale; x += 1.0) {
            ++total;
            if (pixel(x / scale, y / scale).near(color, tolerance)) {
                ++matching;
            }
        }
    }
    return total == 0 ? 0.0 : static_cast<double>(matching) / static_cast<double>(total);
}

std::size_t HeadlessWindow::distinct_colors(const Rect& rect) const
{
    const double scale = driver_.scale_factor();
    std::set<std::uint32_t> colours;
    for (double y = std::floor(rect.y0 * scale); y < rect.y1 * scale; y += 1.0) {
        for (double x = std::floor(rect.x0 * scale); x < rect.x1 * scale; x += 1.0) {
            const Pixel p = pixel(x / scale, y / scale);
            colours.insert((std::uint32_t{p.r} >> 4) << 8 | (std::uint32_t{p.g} >> 4) << 4 | (std::uint32_t{p.b} >> 4));
        }
    }
    return colours.size();
}

std::expected<void, std::string> HeadlessWindow::png(const std::string& path) const
{
    const cairo_status_t status = cairo_surface_write_to_png(surface_, path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        return std::unexpected(fmt::format("cannot write {}: {}", path, cairo_status_to_string(status)));
    }
    return {};
}

nlohmann::ordered_json HeadlessWindow::accessibility_json() const { return vorn_ui::accessibility_json(root()); }

std::optional<Rect> HeadlessWindow::find_text_bounds(std::string_view text) const
{
    for (const DrawnText& drawn : drawn_) {
        if (drawn.text == text && drawn.visible.area() > 0.0) {
            return drawn.visible;
        }
    }
    for (const DrawnText& drawn : drawn_) {
        if (drawn.text.find(text) != std::string::npos && drawn.visible.area() > 0.0) {
            return drawn.visible;
        }
    }
    return std::nullopt;
}

}  // namespace vorn_ui
