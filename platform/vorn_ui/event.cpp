#include "vorn_ui/event.hpp"

namespace vorn_ui {

std::optional<Point> Event::pointer_position() const
{
    if (const auto* move = get<PointerMove>()) {
        return move->position;
    }
    if (const auto* button = get<PointerButton>()) {
        return button->position;
    }
    if (const auto* wheel = get<PointerWheel>()) {
        return wheel->position;
    }
    return std::nullopt;
}

std::optional<Point> DispatchContext::pointer(const Event& event) const
{
    const std::optional<Point> physical = event.pointer_position();
    if (!physical) {
        return std::nullopt;
    }
    const double scale = scale_factor > 0.0 ? scale_factor : 1.0;
    return Point{physical->x / scale, physical->y / scale};
}

}  // namespace vorn_ui
