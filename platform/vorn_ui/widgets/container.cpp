#include "vorn_ui/widgets/container.hpp"

#include "vorn_ui/paint.hpp"

namespace vorn_ui::widget::container {

void Container::draw_background(DrawContext& ctx) const
{
    if (background_ && ctx.cairo() != nullptr) {
        paint::fill_rounded(ctx.cairo(), rect_, background_radius_ * ctx.theme().ui_scale, *background_);
    }
}

}  // namespace vorn_ui::widget::container
