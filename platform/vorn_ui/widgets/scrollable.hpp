#pragma once
// Scrollable: a vertical scroll view around one child. The child is laid out at the view's width and its own
// height; the view shows a window of it, clipped, with a thin scroll bar while the content is taller than the view.
//
// Scrolling: the wheel over the view (after the content had its chance: an inner scroll view scrolls first),
// dragging the scroll bar's thumb, and the keys Up/Down (40 px), Page Up/Page Down (a view's height less 40 px)
// and Home/End while the focus is inside the view or the pointer is over it. reveal_descendant() scrolls a
// descendant into view (the window does so for the widget that receives the focus). Pointer positions outside the
// view are hidden from the content (replaced by NaN), so that clipped-away widgets can neither hover nor be
// clicked.
//
//   vorn_ui::Scrollable::with_child(std::move(column))

#include "vorn_ui/widget.hpp"

#include <memory>

namespace vorn_ui::widget::scrollable {

class Scrollable final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::scrollable::Scrollable", "Scrollable")

    Scrollable() = default;
    [[nodiscard]] static Scrollable with_child(std::unique_ptr<Widget> child);
    template <class W>
        requires std::derived_from<std::remove_cvref_t<W>, Widget> && (!std::is_lvalue_reference_v<W>)
    [[nodiscard]] static Scrollable with_child(W&& child)
    {
        return with_child(std::make_unique<std::remove_cvref_t<W>>(std::forward<W>(child)));
    }
    void set_child(std::unique_ptr<Widget> child);
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<Scrollable>(std::move(*this)); }

    [[nodiscard]] Widget* child() const { return child_.get(); }
    [[nodiscard]] double scroll_offset() const { return offset_; }
    [[nodiscard]] double max_scroll() const;
    [[nodiscard]] double content_height() const { return content_height_; }
    // Sets the offset (clamped to the content once laid out); true when it changed.
    bool scroll_to(double offset);
    bool scroll_by(double delta) { return scroll_to(offset_ + delta); }
    // The thumb of the scroll bar (zero while everything fits).
    [[nodiscard]] Rect scrollbar_thumb() const;

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::vector<const Widget*> children() const override;
    [[nodiscard]] std::vector<Widget*> children_mut() override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<Rect> child_clip_rect() const override { return rect_; }
    [[nodiscard]] std::optional<AnyRef> as_any() override { return AnyRef::to(*this); }
    bool reveal_descendant(const Widget* target) override;
    // Focusable only while it scrolls and holds nothing focusable itself (so that keyboard users can still scroll
    // a long text).
    [[nodiscard]] bool is_focusable() const override;
    void set_focus(bool focused) override { focused_ = focused; }
    [[nodiscard]] bool is_focused() const override { return focused_; }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override;
    [[nodiscard]] bool wants_pointer_capture() const override { return dragging_; }

private:
    [[nodiscard]] bool key_scope(const Event& event) const;
    bool handle_own(const Event& event, DispatchContext& ctx);

    std::unique_ptr<Widget> child_;
    NodeId node_{};
    NodeId child_node_{};
    Rect rect_{};
    double offset_ = 0.0;
    double content_height_ = 0.0;
    double scale_ = 1.0;  // ui scale of the last layout
    bool focused_ = false;
    bool hovered_ = false;
    bool dragging_ = false;
    double drag_start_y_ = 0.0;
    double drag_start_offset_ = 0.0;
};

}  // namespace vorn_ui::widget::scrollable

namespace vorn_ui {
using widget::scrollable::Scrollable;
}
