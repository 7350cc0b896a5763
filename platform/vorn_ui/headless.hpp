#pragma once
// HeadlessWindow: a window without a screen, for tests and tools. It runs the frame driver's frames into a cairo
// image surface, takes injected pointer and key events (in logical pixels), and answers probes: pixels, the
// rectangles of drawn texts, the accessibility tree, PNG files.
//
//   vorn_ui::HeadlessWindow w(root, {1280, 800});
//   w.frame();
//   w.click(120, 64);                 // press and release; every injection runs a frame afterwards
//   w.key(vorn_ui::Key::Tab);
//   w.type("wifi");
//   auto bounds = w.find_text_bounds("Network");
//   EXPECT_TRUE(w.pixel(10, 10).near(w.theme().sidebar));
//   w.png("/tmp/page.png");
//
// Every injection method delivers its events and then runs one frame, so the widgets' state, the document, the
// layout and the picture all reflect the input when it returns. Coordinates are logical pixels; the surface has
// width × scale by height × scale physical pixels.

#include "vorn_ui/access.hpp"
#include "vorn_ui/event.hpp"
#include "vorn_ui/frame.hpp"
#include "vorn_ui/text.hpp"
#include "vorn_ui/theme.hpp"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
typedef struct _cairo_surface cairo_surface_t;  // NOLINT: the same typedef as <cairo.h>
}

namespace vorn_ui {

struct WindowSize {
    double width = 1280.0;
    double height = 800.0;
};

struct HeadlessOptions {
    double scale_factor = 1.0;
    Theme theme = Theme::dark();
    bool record_text = true;  // keep the drawn texts of each frame (find_text_bounds, drawn_texts)
};

// One pixel as stored (straight RGBA, 0..255).
struct Pixel {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;

    // Whether each channel is within `tolerance` (0..255) of the colour's (alpha ignored).
    [[nodiscard]] bool near(const Color& color, int tolerance = 12) const;
    [[nodiscard]] Color color() const;
    [[nodiscard]] std::string to_hex() const;
    friend constexpr bool operator==(const Pixel&, const Pixel&) = default;
};

class HeadlessWindow {
public:
    HeadlessWindow(Widget& root, WindowSize size = {}, HeadlessOptions options = {});
    HeadlessWindow(std::unique_ptr<Widget> root, WindowSize size = {}, HeadlessOptions options = {});
    HeadlessWindow(Widget& root, page_doc::Document& document, WindowSize size = {}, HeadlessOptions options = {});
    ~HeadlessWindow();
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;

    // The document handed to sync every frame (none: sync is skipped).
    void attach_document(page_doc::Document& document);
    void set_theme(Theme theme);
    void resize(WindowSize size, std::optional<double> scale_factor = std::nullopt);

    // Runs one frame: sync, layout, draw, overlay, mark drawn.
    FrameStats frame();
    // Draws the driver's current layout (for a loop that runs the other steps itself); counts as a frame.
    void paint(FrameStats& stats);

    // ---- Input (logical pixels) ----
    void move(double x, double y, Modifiers modifiers = {});
    void press(double x, double y, MouseButton button = MouseButton::Left, Modifiers modifiers = {});
    void release(double x, double y, MouseButton button = MouseButton::Left, Modifiers modifiers = {});
    // Move there, press, release.
    void click(double x, double y, MouseButton button = MouseButton::Left, Modifiers modifiers = {});
    void double_click(double x, double y);
    // Press at `from`, move in steps to `to`, release there.
    void drag(Point from, Point to, int steps = 8);
    // Positive delta_y scrolls down (logical pixels).
    void wheel(double x, double y, double delta_y, double delta_x = 0.0);
    void leave();
    // Key down and up; printable characters also come as text (use type() for text).
    void key(Key key, Modifiers modifiers = {});
    void key_char(char32_t character, Modifiers modifiers = {});
    // Text input, as an input method commits it.
    void type(std::string_view utf8);
    void tab() { key(Key::Tab); }
    void shift_tab() { key(Key::Tab, Modifiers{.shift = true}); }
    // Any event, as given (positions in physical pixels), followed by a frame.
    DispatchResult send(const Event& event);

    // ---- Probes ----
    [[nodiscard]] Pixel pixel(double x, double y) const;
    // The share (0..1) of the pixels of a logical rectangle that are near `color`.
    [[nodiscard]] double coverage(const Rect& rect, const Color& color, int tolerance = 12) const;
    // The number of distinct colours (after quantising each channel to 16 levels) in a logical rectangle.
    [[nodiscard]] std::size_t distinct_colors(const Rect& rect) const;
    // Writes the picture as PNG.
    std::expected<void, std::string> png(const std::string& path) const;
    [[nodiscard]] nlohmann::ordered_json accessibility_json() const;
    // The visible box of the first text drawn in the last frame that equals `text` (else the first that contains
    // it), none when no visible drawn text matches.
    [[nodiscard]] std::optional<Rect> find_text_bounds(std::string_view text) const;
    [[nodiscard]] const std::vector<DrawnText>& drawn_texts() const { return drawn_; }

    [[nodiscard]] Widget& root() const { return driver_.root(); }
    [[nodiscard]] Widget* focused() const { return driver_.focused(); }
    [[nodiscard]] FrameDriver& driver() { return driver_; }
    [[nodiscard]] const Theme& theme() const { return driver_.theme(); }
    [[nodiscard]] WindowSize size() const { return {driver_.width(), driver_.height()}; }
    [[nodiscard]] double scale_factor() const { return driver_.scale_factor(); }
    [[nodiscard]] TextRenderer& text() { return driver_.text(); }
    [[nodiscard]] const FrameStats& last_frame() const { return last_; }
    [[nodiscard]] std::uint64_t frame_count() const { return frames_; }

private:
    void make_surface();
    [[nodiscard]] Point physical(double x, double y) const;
    void ensure_frame();

    std::unique_ptr<Widget> owned_root_;
    FrameDriver driver_;
    HeadlessOptions options_;
    cairo_surface_t* surface_ = nullptr;
    std::vector<DrawnText> drawn_;
    FrameStats last_;
    std::uint64_t frames_ = 0;
};

}  // namespace vorn_ui
