#include "vorn_ui/context.hpp"

#include "vorn_ui/widget.hpp"

namespace vorn_ui {

flex_layout::MeasureFn NodeWidgetMap::measure_fn(TextRenderer& text) const
{
    return [this, &text](NodeId node, flex_layout::KnownSize known, flex_layout::AvailableSize available) {
        const Widget* widget = find(node);
        return widget != nullptr ? widget->measure(known, available, text) : Size{};
    };
}

}  // namespace vorn_ui
