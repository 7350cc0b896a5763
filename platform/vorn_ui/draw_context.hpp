#pragma once
// The last argument of `draw`: where to paint (a cairo context, when there is one), the text renderer, the theme,
// the display scale and the current clip rectangle.
//
// Clipping: `clip_to` narrows the clip to the overlap of the current clip and a rectangle for as long as the returned
// guard lives; the clipped draw (`draw_with_presence`) skips a widget whose rectangle has no area inside the clip.

#include "vorn_ui/geometry.hpp"
#include "vorn_ui/theme.hpp"

#include <optional>

struct _cairo;  // cairo_t

namespace vorn_ui {

class TextRenderer;

class DrawContext {
public:
    // `cairo` and `text` may be null (tests, measuring passes): drawing calls are then skipped by the widgets, the
    // clip is still tracked.
    DrawContext(_cairo* cairo, TextRenderer* text, const Theme& theme, double scale_factor = 1.0);

    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    [[nodiscard]] _cairo* cairo() const { return cairo_; }
    [[nodiscard]] TextRenderer* text() const { return text_; }
    [[nodiscard]] const Theme& theme() const { return *theme_; }
    [[nodiscard]] double scale_factor() const { return scale_factor_; }
    [[nodiscard]] const std::optional<Rect>& clip() const { return clip_; }

    // True when `rect` has an area inside the current clip (always true without a clip).
    [[nodiscard]] bool is_visible(const Rect& rect) const;

    class ClipGuard {
    public:
        ClipGuard(const ClipGuard&) = delete;
        ClipGuard& operator=(const ClipGuard&) = delete;
        ~ClipGuard();

    private:
        friend class DrawContext;
        ClipGuard(DrawContext& ctx, std::optional<Rect> previous) : ctx_(ctx), previous_(previous) {}
        DrawContext& ctx_;
        std::optional<Rect> previous_;
    };

    // Narrows the clip to `rect` (intersected with the current clip) until the guard is destroyed; with a cairo
    // context also clips the painting.
    [[nodiscard]] ClipGuard clip_to(const Rect& rect);

private:
    _cairo* cairo_;
    TextRenderer* text_;
    const Theme* theme_;
    double scale_factor_;
    std::optional<Rect> clip_;
};

}  // namespace vorn_ui
