#include "vorn_ui/frame.hpp"

#include "vorn_ui/widget.hpp"

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vorn_ui {

namespace {

double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::optional<Theme> find_theme_override(const Widget& widget)
{
    if (std::optional<Theme> theme = widget.theme_override()) {
        return theme;
    }
    for (const Widget* child : widget.children()) {
        if (std::optional<Theme> theme = find_theme_override(*child)) {
            return theme;
        }
    }
    return std::nullopt;
}

void clear_focus(Widget& widget)
{
    if (widget.is_focused()) {
        widget.set_focus(false);
    }
    for (Widget* child : widget.children_mut()) {
        clear_focus(*child);
    }
}

}  // namespace

FrameDriver::FrameDriver(Widget& root) : root_(&root) {}
FrameDriver::~FrameDriver() = default;

void FrameDriver::set_root(Widget& root)
{
    root_ = &root;
    tree_.clear();
    widgets_.clear();
    nodes_.clear();
    root_node_ = {};
    press_owner_ = nullptr;
}

void FrameDriver::set_viewport(double width, double height, double scale_factor)
{
    width_ = std::max(width, 1.0);
    height_ = std::max(height, 1.0);
    scale_ = scale_factor > 0.0 && std::isfinite(scale_factor) ? scale_factor : 1.0;
}

FrameStats FrameDriver::run_frame(cairo_t* cr, Instant now)
{
    FrameStats stats;
    sync(stats, now);
    stats.structure_changed = root_->take_structure_dirty();
    layout(stats);
    if (cr != nullptr) {
        draw(cr, stats);
    }
    return stats;
}

void FrameDriver::sync(FrameStats& stats, Instant now)
{
    if (document_ == nullptr) {
        return;
    }
    SyncContext ctx{.now = now};
    root_->sync(*document_, ctx);
    stats.synced = true;
    stats.sync_changed = ctx.changed;
}

void FrameDriver::layout(FrameStats& stats)
{
    const auto start = std::chrono::steady_clock::now();
    std::optional<Theme> override_theme = find_theme_override(*root_);
    frame_theme_ = override_theme ? std::move(*override_theme) : theme_;
    text_.set_scales(frame_theme_.ui_scale, frame_theme_.text_scale);

    tree_.clear();
    widgets_.clear();
    nodes_.clear();
    const StyleContext style{frame_theme_, width_, height_, scale_};
    root_node_ = root_->build_layout(tree_, style, widgets_);
    tree_.compute_layout(root_node_,
                         {flex_layout::AvailableSpace::definite(static_cast<float>(width_)),
                          flex_layout::AvailableSpace::definite(static_cast<float>(height_))},
                         widgets_.measure_fn(text_));
    root_->apply_layout(tree_, root_node_, 0.0, 0.0);
    widgets_.for_each([this](NodeId node, Widget& widget) { nodes_.emplace(&widget, node); });
    if (press_owner_ != nullptr && !in_layout(press_owner_)) {
        press_owner_ = nullptr;
    }
    stats.nodes = tree_.node_count();
    stats.layout_ms = ms_since(start);
}

void FrameDriver::draw(cairo_t* cr, FrameStats& stats)
{
    const auto start = std::chrono::steady_clock::now();
    cairo_save(cr);
    cairo_scale(cr, scale_, scale_);
    cairo_set_source_rgba(cr, frame_theme_.background.r, frame_theme_.background.g, frame_theme_.background.b, 1.0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    {
        DrawContext ctx(cr, &text_, frame_theme_, scale_);
        root_->draw_with_presence(ctx);
        OverlayRecord overlay{.viewport = Rect{0.0, 0.0, width_, height_}};
        root_->draw_overlay(ctx, overlay);
    }
    cairo_restore(cr);
    root_->mark_drawn();
    stats.draw_ms = ms_since(start);
}

std::optional<NodeId> FrameDriver::node_of(const Widget& widget) const
{
    const auto it = nodes_.find(&widget);
    if (it == nodes_.end()) {
        return std::nullopt;
    }
    return it->second;
}

DispatchContext FrameDriver::context_for(NodeId node) const
{
    DispatchContext ctx;
    ctx.scale_factor = scale_;
    ctx.node = node;
    ctx.tree = &tree_;
    return ctx;
}

Widget* FrameDriver::capture_owner() const
{
    Widget* found = nullptr;
    const auto visit = [this, &found](auto& self, Widget& widget) -> void {
        if (found != nullptr) {
            return;
        }
        if (widget.wants_pointer_capture() && in_layout(&widget)) {
            found = &widget;
            return;
        }
        for (Widget* child : widget.children_mut()) {
            self(self, *child);
        }
    };
    visit(visit, *root_);
    return found;
}

Widget* FrameDriver::deepest_at_impl(Widget& widget, Point point, bool (*accept)(const Widget&, const void*),
                                     const void* data) const
{
    if (!in_layout(&widget)) {
        return nullptr;
    }
    const std::optional<Rect> clip = widget.child_clip_rect();
    if (!clip || clip->contains(point)) {
        const std::vector<Widget*> children = widget.children_mut();
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            if (Widget* hit = deepest_at_impl(**it, point, accept, data)) {
                return hit;
            }
        }
    }
    if (widget.get_rect().contains(point) && accept(widget, data)) {
        return &widget;
    }
    return nullptr;
}

Widget* FrameDriver::focused() const
{
    Widget* found = nullptr;
    const auto visit = [this, &found](auto& self, Widget& widget) -> void {
        if (found != nullptr) {
            return;
        }
        if (widget.is_focused() && in_layout(&widget)) {
            found = &widget;
            return;
        }
        for (Widget* child : widget.children_mut()) {
            self(self, *child);
        }
    };
    visit(visit, *root_);
    return found;
}

std::vector<Widget*> FrameDriver::focus_order() const
{
    std::vector<Widget*> order;
    const auto visit = [this, &order](auto& self, Widget& widget) -> void {
        if (!in_layout(&widget)) {
            return;
        }
        if (widget.is_focusable() && widget.is_enabled() && widget.get_rect().area() > 0.0) {
            order.push_back(&widget);
        }
        for (Widget* child : widget.children_mut()) {
            self(self, *child);
        }
    };
    visit(visit, *root_);
    return order;
}

void FrameDriver::reveal(Widget& widget)
{
    // Twice: an outer scroll view measures the target where an inner one has just moved it.
    for (int pass = 0; pass < 2; ++pass) {
        root_->reveal_descendant(&widget);
        FrameStats stats;
        layout(stats);
    }
}

void FrameDriver::focus(Widget* widget)
{
    if (widget != nullptr && widget == focused()) {
        return;
    }
    clear_focus(*root_);
    if (widget != nullptr) {
        widget->set_focus(true);
        reveal(*widget);
    }
}

bool FrameDriver::focus_next(bool backwards)
{
    if (!has_layout()) {
        FrameStats stats;
        layout(stats);
    }
    const std::vector<Widget*> order = focus_order();
    if (order.empty()) {
        return false;
    }
    Widget* current = focused();
    const auto it = std::find(order.begin(), order.end(), current);
    Widget* next = nullptr;
    if (it == order.end()) {
        next = backwards ? order.back() : order.front();
    } else {
        const auto index = static_cast<std::size_t>(it - order.begin());
        next = backwards ? order[(index + order.size() - 1) % order.size()] : order[(index + 1) % order.size()];
    }
    if (next == current) {
        return false;
    }
    focus(next);
    return true;
}

DispatchResult FrameDriver::dispatch(const Event& event, Instant now)
{
    if (!has_layout()) {
        FrameStats stats;
        layout(stats);
    }
    DispatchResult result;
    const std::optional<Point> physical = event.pointer_position();
    const bool pointer_event = physical.has_value();
    Widget* owner = pointer_event ? capture_owner() : nullptr;
    if (pointer_event && owner == nullptr && press_owner_ != nullptr && in_layout(press_owner_)) {
        owner = press_owner_;
    }

    DispatchContext ctx = context_for(root_node_);
    ctx.now = now;
    if (owner != nullptr) {
        ctx.node = *node_of(*owner);
        owner->handle_event(event, ctx);
    } else {
        root_->handle_event(event, ctx);
    }
    result.handled = ctx.handled;
    result.changed = ctx.changed;

    if (const auto* button = event.get<PointerButton>()) {
        if (button->pressed) {
            Widget* requested = ctx.request ? widgets_.find(*ctx.request) : nullptr;
            Widget* before = focused();
            if (requested != nullptr) {
                press_owner_ = requested;
                if (requested->is_focusable()) {
                    focus(requested);
                }
            } else if (owner == nullptr && button->button == MouseButton::Left) {
                const Point logical{physical->x / scale_, physical->y / scale_};
                focus(deepest_at(logical, [](const Widget& w) { return w.is_focusable() && w.is_enabled(); }));
            }
            result.focus_changed = focused() != before;
        } else {
            press_owner_ = nullptr;
        }
    }

    if (const auto* key = event.get<KeyDown>(); key != nullptr && !ctx.handled) {
        const bool control_only =
            key->modifiers.control && !key->modifiers.shift && !key->modifiers.alt && !key->modifiers.super;
        if (key->key == Key::Character && control_only && (key->character == U'w' || key->character == U'q')) {
            result.close_requested = true;
            result.handled = true;
        } else if (key->key == Key::Tab && !key->modifiers.control && !key->modifiers.alt && !key->modifiers.super) {
            result.focus_changed = focus_next(key->modifiers.shift);
            result.handled = true;
        } else if ((key->key == Key::Enter || key->key == Key::Space) && !ctx.changed && !key->repeat &&
                   !key->modifiers.any()) {
            if (Widget* target = focused(); target != nullptr && target->is_enabled()) {
                const bool done = target->perform_action(Action::activate(), ctx.action_context);
                result.handled = done;
                result.changed = done;
            }
        }
    }
    return result;
}

}  // namespace vorn_ui
