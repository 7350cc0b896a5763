#include "vorn_ui/widgets/app_shell.hpp"

#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"

#include <cairo.h>

#include <cmath>

namespace vorn_ui::widget::app_shell {

namespace {

constexpr float bar_height = 48.0f;
constexpr float menu_size = 36.0f;
constexpr float search_padding_x = 12.0f;
constexpr float search_padding_top = 12.0f;
constexpr float search_padding_bottom = 8.0f;

bool any_needs_idle_sync(const Widget& widget)
{
    for (const Widget* child : widget.children()) {
        if (child->needs_idle_sync() || any_needs_idle_sync(*child)) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The narrow form's menu button: opens and closes the navigation.
class ShellMenuButton final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::app_shell::ShellMenuButton", "ShellMenuButton")

    void set_open(bool open) { open_ = open; }
    // A press or an activation since the shell last asked.
    bool take_request() { return std::exchange(requested_, false); }

    void sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) override {}
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override
    {
        flex_layout::Style s;
        s.width = flex_layout::Dimension::points(style.scaled(menu_size));
        s.height = flex_layout::Dimension::points(style.scaled(menu_size));
        s.flex_shrink = 0.0f;
        const NodeId node = tree.new_leaf(s);
        widgets.insert(node, *this);
        return node;
    }
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override
    {
        rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    }
    void draw(DrawContext& ctx) const override
    {
        cairo_t* cr = ctx.cairo();
        if (cr == nullptr) {
            return;
        }
        const Theme& theme = ctx.theme();
        const double radius = theme.corner_radius * theme.ui_scale;
        const auto tier = chrome::shell::selection_tier(
            theme, chrome::shell::selection_state(open_, hovered_, pressed_));
        paint::fill_rounded(cr, rect_, radius, tier.fill);
        // Three lines (closed) or a cross (open).
        const double s = theme.ui_scale;
        const double cx = (rect_.x0 + rect_.x1) / 2.0;
        const double cy = (rect_.y0 + rect_.y1) / 2.0;
        cairo_save(cr);
        paint::set_color(cr, theme.text);
        cairo_set_line_width(cr, 1.75 * s);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        if (open_) {
            cairo_move_to(cr, cx - 6 * s, cy - 6 * s);
            cairo_line_to(cr, cx + 6 * s, cy + 6 * s);
            cairo_move_to(cr, cx + 6 * s, cy - 6 * s);
            cairo_line_to(cr, cx - 6 * s, cy + 6 * s);
        } else {
            for (double dy : {-6.0, 0.0, 6.0}) {
                cairo_move_to(cr, cx - 8 * s, cy + dy * s);
                cairo_line_to(cr, cx + 8 * s, cy + dy * s);
            }
        }
        cairo_stroke(cr);
        cairo_restore(cr);
        if (focused_) {
            paint::focus_ring(cr, theme, rect_, radius);
        }
    }
    void handle_event(const Event& event, DispatchContext& ctx) override
    {
        const std::optional<Point> pointer = ctx.pointer(event);
        if (event.get<PointerMove>() != nullptr) {
            const bool inside = pointer && rect_.contains(*pointer);
            if (inside != hovered_) {
                hovered_ = inside;
                ctx.changed = true;
            }
        } else if (const auto* button = event.get<PointerButton>(); button != nullptr &&
                                                                    button->button == MouseButton::Left) {
            const bool inside = pointer && rect_.contains(*pointer);
            if (button->pressed && inside && !ctx.handled) {
                pressed_ = true;
                ctx.request = ctx.node;
                ctx.handled = true;
                ctx.changed = true;
            } else if (!button->pressed && pressed_) {
                pressed_ = false;
                ctx.changed = true;
                if (inside) {
                    requested_ = true;
                    ctx.handled = true;
                }
            }
        } else if (const auto* key = event.get<KeyDown>(); key != nullptr && focused_ && !key->repeat &&
                                                           !ctx.handled &&
                                                           (key->key == Key::Enter || key->key == Key::Space)) {
            requested_ = true;
            ctx.handled = true;
            ctx.changed = true;
        }
    }
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<std::uint8_t> hit_test(Point point) const override
    {
        return rect_.contains(point) ? std::optional<std::uint8_t>(hit_code_control) : std::nullopt;
    }
    [[nodiscard]] bool is_focusable() const override { return true; }
    void set_focus(bool focused) override { focused_ = focused; }
    [[nodiscard]] bool is_focused() const override { return focused_; }
    bool perform_action(const Action& action, ActionCtx /*ctx*/) override
    {
        if (action.kind != Action::Kind::Activate) {
            return false;
        }
        requested_ = true;
        return true;
    }
    [[nodiscard]] std::optional<AccessNode> accessibility() const override
    {
        AccessNode node = AccessNode(access_role::button)
                              .with_label(open_ ? "Hide navigation" : "Show navigation")
                              .with_bounds(rect_)
                              .with_action(Action::Kind::Activate);
        node.focused = focused_;
        node.expanded = open_;
        return node;
    }

private:
    Rect rect_{};
    bool open_ = false;
    bool hovered_ = false;
    bool pressed_ = false;
    bool focused_ = false;
    bool requested_ = false;
};

AppShell::AppShell(std::unique_ptr<Widget> nav, std::unique_ptr<Widget> content)
    : nav_(std::move(nav)), content_(std::move(content)), menu_(std::make_unique<ShellMenuButton>())
{
}

AppShell::~AppShell() = default;
AppShell::AppShell(AppShell&&) noexcept = default;
AppShell& AppShell::operator=(AppShell&&) noexcept = default;

AppShell AppShell::with_search(std::unique_ptr<Widget> search) &&
{
    search_ = std::move(search);
    return std::move(*this);
}

AppShell AppShell::with_narrow_screen(bool enabled) &&
{
    narrow_enabled_ = enabled;
    if (!enabled) {
        narrow_ = false;
        nav_open_ = false;
    }
    return std::move(*this);
}

AppShell AppShell::with_sidebar_width(float width) &&
{
    sidebar_width_ = width;
    return std::move(*this);
}

AppShell AppShell::with_breakpoint(float width) &&
{
    breakpoint_ = width;
    return std::move(*this);
}

AppShell AppShell::with_window_width(float width) &&
{
    set_narrow(narrow_enabled_ && breakpoint_ > width);
    return std::move(*this);
}

AppShell AppShell::with_label(std::string label) &&
{
    label_ = std::move(label);
    return std::move(*this);
}

void AppShell::set_nav(std::unique_ptr<Widget> nav)
{
    nav_ = std::move(nav);
    structure_dirty_ = true;
}

void AppShell::set_content(std::unique_ptr<Widget> content)
{
    content_ = std::move(content);
    structure_dirty_ = true;
}

void AppShell::notify_selection()
{
    if (nav_open_) {
        set_nav_open(false);
    }
}

void AppShell::set_narrow(bool narrow)
{
    if (narrow != narrow_) {
        narrow_ = narrow;
        structure_dirty_ = true;
        if (!narrow_) {
            nav_open_ = false;
        }
    }
}

void AppShell::set_nav_open(bool open)
{
    if (open != nav_open_) {
        nav_open_ = open;
        structure_dirty_ = true;
    }
}

std::vector<const Widget*> AppShell::children() const
{
    std::vector<const Widget*> list;
    if (narrow_ && menu_) {
        list.push_back(menu_.get());
    }
    for (const Widget* part : {search_.get(), nav_.get(), content_.get()}) {
        if (part != nullptr) {
            list.push_back(part);
        }
    }
    return list;
}

std::vector<Widget*> AppShell::children_mut()
{
    std::vector<Widget*> list;
    if (narrow_ && menu_) {
        list.push_back(menu_.get());
    }
    for (Widget* part : {search_.get(), nav_.get(), content_.get()}) {
        if (part != nullptr) {
            list.push_back(part);
        }
    }
    return list;
}

std::optional<std::string_view> AppShell::label() const
{
    if (label_) {
        return std::string_view(*label_);
    }
    return std::nullopt;
}

bool AppShell::needs_idle_sync() const { return any_needs_idle_sync(*this); }

bool AppShell::take_structure_dirty()
{
    const bool own = std::exchange(structure_dirty_, false);
    return Widget::take_structure_dirty() || own;
}

void AppShell::sync(page_doc::Document& doc, SyncContext& ctx)
{
    for (Widget* part : {search_.get(), nav_.get(), content_.get()}) {
        if (part != nullptr) {
            part->sync(doc, ctx);
        }
    }
}

NodeId AppShell::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    scale_ = style.ui_scale();
    const float factor = std::isfinite(scale_) ? std::max(scale_, 1.0f) : 1.0f;
    if (style.window_width && narrow_enabled_) {
        set_narrow(breakpoint_ * factor > static_cast<float>(*style.window_width));
    }
    // A release delivered to the menu button alone (it held the pointer) is seen here.
    if (menu_->take_request() && narrow_) {
        set_nav_open(!nav_open_);
    }
    menu_->set_open(nav_open_);

    sidebar_node_ = search_wrap_node_ = search_node_ = nav_node_ = content_node_ = bar_node_ = menu_node_ = {};
    sidebar_visible_ = !narrow_ || nav_open_;
    content_visible_ = content_ && (!narrow_ || !nav_open_);

    std::vector<NodeId> parts;
    if (narrow_) {
        menu_node_ = menu_->build_layout(tree, style, widgets);
        flex_layout::Style bar;
        bar.direction = flex_layout::FlexDirection::Row;
        bar.align_items = flex_layout::Align::Center;
        bar.height = flex_layout::Dimension::points(style.scaled(bar_height));
        bar.padding = flex_layout::Edges::symmetric(style.scaled(6.0f), 0.0f);
        bar.flex_shrink = 0.0f;
        const NodeId bar_children[] = {menu_node_};
        bar_node_ = tree.new_with_children(bar, bar_children);
        parts.push_back(bar_node_);
    }
    if (sidebar_visible_) {
        std::vector<NodeId> column;
        if (search_) {
            search_node_ = search_->build_layout(tree, style, widgets);
            flex_layout::Style wrap;
            wrap.direction = flex_layout::FlexDirection::Column;
            wrap.align_items = flex_layout::Align::Stretch;
            wrap.padding = {style.scaled(search_padding_x), style.scaled(search_padding_x),
                            style.scaled(search_padding_top), style.scaled(search_padding_bottom)};
            wrap.flex_shrink = 0.0f;
            const NodeId only[] = {search_node_};
            search_wrap_node_ = tree.new_with_children(wrap, only);
            column.push_back(search_wrap_node_);
        }
        if (nav_) {
            nav_node_ = nav_->build_layout(tree, style, widgets);
            flex_layout::Style nav = tree.style(nav_node_);
            nav.flex_grow = 1.0f;
            nav.flex_shrink = 1.0f;
            nav.min_height = flex_layout::Dimension::points(0.0f);
            tree.set_style(nav_node_, nav);
            column.push_back(nav_node_);
        }
        flex_layout::Style sidebar;
        sidebar.direction = flex_layout::FlexDirection::Column;
        sidebar.align_items = flex_layout::Align::Stretch;
        sidebar.flex_shrink = 0.0f;
        if (narrow_) {
            sidebar.flex_grow = 1.0f;
            sidebar.min_height = flex_layout::Dimension::points(0.0f);
        } else {
            sidebar.width = flex_layout::Dimension::points(sidebar_width_ * factor);
        }
        sidebar_node_ = tree.new_with_children(sidebar, column);
        parts.push_back(sidebar_node_);
    }
    if (content_visible_) {
        content_node_ = content_->build_layout(tree, style, widgets);
        flex_layout::Style content = tree.style(content_node_);
        content.flex_grow = 1.0f;
        content.flex_shrink = 1.0f;
        content.flex_basis = flex_layout::Dimension::points(0.0f);
        content.min_width = flex_layout::Dimension::points(0.0f);
        content.min_height = flex_layout::Dimension::points(0.0f);
        tree.set_style(content_node_, content);
        parts.push_back(content_node_);
    }
    flex_layout::Style shell;
    shell.direction = narrow_ ? flex_layout::FlexDirection::Column : flex_layout::FlexDirection::Row;
    shell.align_items = flex_layout::Align::Stretch;
    shell.width = flex_layout::Dimension::percent(1.0f);
    shell.height = flex_layout::Dimension::percent(1.0f);
    const NodeId node = tree.new_with_children(shell, parts);
    widgets.insert(node, *this);
    return node;
}

void AppShell::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    bar_rect_ = {};
    sidebar_rect_ = {};
    if (bar_node_.valid()) {
        bar_rect_ = rect_from_layout(tree, bar_node_, rect_.x0, rect_.y0);
        menu_->apply_layout(tree, menu_node_, bar_rect_.x0, bar_rect_.y0);
    }
    if (sidebar_node_.valid()) {
        sidebar_rect_ = rect_from_layout(tree, sidebar_node_, rect_.x0, rect_.y0);
        if (search_wrap_node_.valid() && search_) {
            const Rect wrap = rect_from_layout(tree, search_wrap_node_, sidebar_rect_.x0, sidebar_rect_.y0);
            search_->apply_layout(tree, search_node_, wrap.x0, wrap.y0);
        }
        if (nav_node_.valid() && nav_) {
            nav_->apply_layout(tree, nav_node_, sidebar_rect_.x0, sidebar_rect_.y0);
        }
    }
    if (content_node_.valid() && content_) {
        content_->apply_layout(tree, content_node_, rect_.x0, rect_.y0);
    }
}

void AppShell::draw(DrawContext& ctx) const
{
    const Theme& theme = ctx.theme();
    cairo_t* cr = ctx.cairo();
    if (cr != nullptr) {
        paint::fill_rect(cr, rect_, theme.background);
        if (sidebar_visible_) {
            paint::fill_rect(cr, sidebar_rect_, theme.sidebar);
            if (!narrow_) {
                paint::vline(cr, sidebar_rect_.x1 - 1.0, sidebar_rect_.y0, sidebar_rect_.y1, theme.separator);
            }
        }
        if (narrow_) {
            paint::fill_rect(cr, bar_rect_, theme.sidebar);
            paint::hline(cr, bar_rect_.x0, bar_rect_.x1, bar_rect_.y1 - 1.0, theme.separator);
        }
    }
    if (narrow_) {
        menu_->draw_with_presence(ctx);
        if (TextRenderer* text = ctx.text(); text != nullptr && label_ && cr != nullptr) {
            const float size = text->renderer_input_style(15.0f).size;
            const Rect menu = menu_->get_rect();
            const Size label = text->measure(*label_, size, TextStyle::Bold);
            text->draw_text(cr, *label_, theme.text,
                            {menu.x1 + 10.0 * theme.ui_scale, bar_rect_.y0 + (bar_rect_.height() - label.height) / 2.0},
                            TextStyle::Bold, size);
        }
    }
    if (sidebar_visible_) {
        const DrawContext::ClipGuard clip = ctx.clip_to(sidebar_rect_);
        if (search_ && search_node_.valid()) {
            search_->draw_with_presence(ctx);
        }
        if (nav_ && nav_node_.valid()) {
            nav_->draw_with_presence(ctx);
        }
    }
    if (content_visible_ && content_node_.valid()) {
        content_->draw_with_presence(ctx);
    }
}

void AppShell::handle_event(const Event& event, DispatchContext& ctx)
{
    const NodeId own = ctx.node;
    const auto pass = [&](Widget* part, NodeId node) {
        if (part != nullptr && node.valid()) {
            ctx.node = node;
            part->handle_event(event, ctx);
        }
    };
    if (narrow_) {
        pass(menu_.get(), menu_node_);
    }
    if (sidebar_visible_) {
        pass(search_.get(), search_node_);
        pass(nav_.get(), nav_node_);
    }
    if (content_visible_) {
        pass(content_.get(), content_node_);
    }
    ctx.node = own;
    if (narrow_ && menu_->take_request()) {
        set_nav_open(!nav_open_);
        ctx.changed = true;
    }
    if (const auto* key = event.get<KeyDown>(); key != nullptr && key->key == Key::Escape && !ctx.handled && narrow_ &&
                                                nav_open_) {
        set_nav_open(false);
        ctx.handled = true;
        ctx.changed = true;
    }
}

}  // namespace vorn_ui::widget::app_shell
