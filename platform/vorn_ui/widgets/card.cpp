#include "vorn_ui/widgets/card.hpp"

#include "vorn_ui/paint.hpp"

namespace vorn_ui::widget::card {

namespace {

constexpr float title_size = 16.0f;
constexpr float section_gap = 12.0f;

}  // namespace

Card surface(std::string_view title, std::unique_ptr<Widget> companion, std::unique_ptr<Widget> body)
{
    return Card(std::move(body)).with_title(std::string(title)).with_companion(std::move(companion));
}

Card Card::with_title(std::string title) &&
{
    if (title.empty()) {
        title_.reset();
    } else {
        title_ = Text(std::move(title)).with_size(title_size).bold();
    }
    return std::move(*this);
}

Card Card::with_companion(std::unique_ptr<Widget> companion) &&
{
    companion_ = std::move(companion);
    return std::move(*this);
}

Card Card::with_body(std::unique_ptr<Widget> body) &&
{
    body_ = std::move(body);
    return std::move(*this);
}

Card Card::with_padding(float padding) &&
{
    padding_ = padding;
    return std::move(*this);
}

std::vector<const Widget*> Card::children() const
{
    std::vector<const Widget*> list;
    if (title_) {
        list.push_back(&*title_);
    }
    if (companion_) {
        list.push_back(companion_.get());
    }
    if (body_) {
        list.push_back(body_.get());
    }
    return list;
}

std::vector<Widget*> Card::children_mut()
{
    std::vector<Widget*> list;
    if (title_) {
        list.push_back(&*title_);
    }
    if (companion_) {
        list.push_back(companion_.get());
    }
    if (body_) {
        list.push_back(body_.get());
    }
    return list;
}

void Card::sync(page_doc::Document& doc, SyncContext& ctx)
{
    for (Widget* child : children_mut()) {
        child->sync(doc, ctx);
    }
}

NodeId Card::build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets)
{
    std::vector<NodeId> rows;
    header_node_ = {};
    title_node_ = {};
    companion_node_ = {};
    body_node_ = {};
    if (title_ || companion_) {
        std::vector<NodeId> header_children;
        if (title_) {
            title_node_ = title_->build_layout(tree, style, widgets);
            flex_layout::Style title_style = tree.style(title_node_);
            title_style.flex_grow = 1.0f;
            tree.set_style(title_node_, title_style);
            header_children.push_back(title_node_);
        }
        if (companion_) {
            companion_node_ = companion_->build_layout(tree, style, widgets);
            header_children.push_back(companion_node_);
        }
        flex_layout::Style header;
        header.direction = flex_layout::FlexDirection::Row;
        header.align_items = flex_layout::Align::Center;
        header.gap = style.scaled(section_gap);
        header_node_ = tree.new_with_children(header, header_children);
        rows.push_back(header_node_);
    }
    if (body_) {
        body_node_ = body_->build_layout(tree, style, widgets);
        rows.push_back(body_node_);
    }
    flex_layout::Style card;
    card.direction = flex_layout::FlexDirection::Column;
    card.align_items = flex_layout::Align::Stretch;
    card.padding = flex_layout::Edges::all(style.scaled(padding_));
    card.gap = style.scaled(section_gap);
    node_ = tree.new_with_children(card, rows);
    widgets.insert(node_, *this);
    return node_;
}

void Card::apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y)
{
    rect_ = rect_from_layout(tree, node, parent_x, parent_y);
    if (header_node_.valid()) {
        const flex_layout::Layout& header = tree.layout(header_node_);
        const double hx = rect_.x0 + header.x;
        const double hy = rect_.y0 + header.y;
        if (title_ && title_node_.valid()) {
            title_->apply_layout(tree, title_node_, hx, hy);
        }
        if (companion_ && companion_node_.valid()) {
            companion_->apply_layout(tree, companion_node_, hx, hy);
        }
    }
    if (body_ && body_node_.valid()) {
        body_->apply_layout(tree, body_node_, rect_.x0, rect_.y0);
    }
}

void Card::draw(DrawContext& ctx) const
{
    if (ctx.cairo() != nullptr) {
        paint::card_surface(ctx.cairo(), ctx.theme(), rect_);
    }
    for (const Widget* child : children()) {
        child->draw_with_presence(ctx);
    }
}

void Card::handle_event(const Event& event, DispatchContext& ctx)
{
    const NodeId own = ctx.node;
    if (companion_ && companion_node_.valid()) {
        ctx.node = companion_node_;
        companion_->handle_event(event, ctx);
    }
    if (body_ && body_node_.valid()) {
        ctx.node = body_node_;
        body_->handle_event(event, ctx);
    }
    ctx.node = own;
}

}  // namespace vorn_ui::widget::card
