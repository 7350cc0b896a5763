#include "vorn_ui/draw_context.hpp"

#include <cairo.h>

namespace vorn_ui {

DrawContext::DrawContext(cairo_t* cairo, TextRenderer* text, const Theme& theme, double scale_factor)
    : cairo_(cairo), text_(text), theme_(&theme), scale_factor_(scale_factor)
{
}

bool DrawContext::is_visible(const Rect& rect) const
{
    return !clip_ || rect.intersect(*clip_).area() != 0.0;
}

DrawContext::ClipGuard DrawContext::clip_to(const Rect& rect)
{
    std::optional<Rect> previous = clip_;
    clip_ = clip_ ? rect.intersect(*clip_) : rect;
    if (cairo_ != nullptr) {
        cairo_save(cairo_);
        cairo_rectangle(cairo_, rect.x0, rect.y0, rect.width(), rect.height());
        cairo_clip(cairo_);
    }
    return ClipGuard(*this, previous);
}

DrawContext::ClipGuard::~ClipGuard()
{
    if (ctx_.cairo_ != nullptr) {
        cairo_restore(ctx_.cairo_);
    }
    ctx_.clip_ = previous_;
}

}  // namespace vorn_ui
