#include "panes/preference_pane/pane_base.hpp"

#include "page_helpers/pane_search.hpp"

#include <utility>

namespace settings::panes::preference_pane {

std::vector<const vorn_ui::Widget*> PreferencePane::children() const
{
    if (!content_) {
        return {};
    }
    return {content_.get()};
}

std::vector<vorn_ui::Widget*> PreferencePane::children_mut()
{
    if (!content_) {
        return {};
    }
    return {content_.get()};
}

vorn_ui::NodeId PreferencePane::build_layout(flex_layout::Tree& tree, const vorn_ui::StyleContext& style,
                                             vorn_ui::NodeWidgetMap& widgets)
{
    if (!content_) {
        content_ = build_view();
    }
    std::vector<vorn_ui::NodeId> nodes;
    content_node_ = content_->build_layout(tree, style, widgets);
    nodes.push_back(content_node_);
    flex_layout::Style own;
    own.direction = flex_layout::FlexDirection::Column;
    own.align_items = flex_layout::Align::Stretch;
    const vorn_ui::NodeId node = tree.new_with_children(own, nodes);
    widgets.insert(node, *this);
    return node;
}

void PreferencePane::apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x,
                                  double parent_y)
{
    rect_ = vorn_ui::rect_from_layout(tree, node, parent_x, parent_y);
    if (content_ && content_node_.valid()) {
        content_->apply_layout(tree, content_node_, rect_.x0, rect_.y0);
    }
}

void PreferencePane::draw(vorn_ui::DrawContext& ctx) const
{
    if (content_) {
        content_->draw_with_presence(ctx);
    }
}

void PreferencePane::handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx)
{
    if (!content_ || !content_node_.valid()) {
        return;
    }
    const vorn_ui::NodeId own = ctx.node;
    const bool handled_before = ctx.handled;
    ctx.node = content_node_;
    content_->handle_event(event, ctx);
    ctx.node = own;
    if (ctx.handled && !handled_before) {
        input_ = true;
    }
}

std::optional<vorn_actions::ActionContext> PreferencePane::pane_descriptor()
{
    const bool changed = std::exchange(input_, false) || (content_ && content_->needs_commit());
    return page_helpers::preference_pane_search_descriptor(changed, descriptor_.id, descriptor_.title,
                                                           descriptor_.description);
}

bool PreferencePane::take_structure_dirty()
{
    const bool own = std::exchange(structure_dirty_, false);
    const bool children_dirty = vorn_ui::Widget::take_structure_dirty();
    return own || children_dirty;
}

void PreferencePane::refresh_view(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    std::string key = view_key();
    if (!content_ || key != built_key_) {
        content_ = build_view();
        built_key_ = std::move(key);
        content_node_ = {};
        structure_dirty_ = true;
        ctx.changed = true;
    }
    content_->sync(doc, ctx);
}

}  // namespace settings::panes::preference_pane
