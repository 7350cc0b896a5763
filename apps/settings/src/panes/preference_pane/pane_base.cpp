#include "panes/preference_pane/pane_base.hpp"

#include "page_helpers/pane_search.hpp"
#include "vorn_ui/widgets.hpp"

#include <cmath>
#include <utility>

namespace settings::panes::preference_pane {

std::optional<std::string_view> control_id(const vorn_ui::Widget& widget)
{
    if (const auto* button = dynamic_cast<const vorn_ui::Button*>(&widget)) {
        return std::string_view(button->id());
    }
    if (widget.is_focusable() || dynamic_cast<const vorn_ui::Text*>(&widget) != nullptr) {
        return widget.label();
    }
    return std::nullopt;
}

namespace {

template <class Visit>
void each_widget(vorn_ui::Widget& widget, Visit&& visit)
{
    visit(widget);
    for (vorn_ui::Widget* child : widget.children_mut()) {
        each_widget(*child, visit);
    }
}

// What of the keyboard user's place survives a new build: the focused control and an open drop-down list.
struct Place {
    std::optional<std::string> focused;
    std::optional<std::string> open_list;
};

Place place_in(vorn_ui::Widget& view)
{
    Place place;
    each_widget(view, [&](vorn_ui::Widget& widget) {
        const auto id = control_id(widget);
        if (!id) {
            return;
        }
        if (widget.is_focused() && !place.focused) {
            place.focused = std::string(*id);
        }
        if (const auto* list = dynamic_cast<const vorn_ui::Dropdown*>(&widget); list && list->is_open()) {
            place.open_list = std::string(*id);
        }
    });
    return place;
}

}  // namespace

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
        build();
        built_key_ = structure_key();
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

void PreferencePane::index_controls()
{
    controls_.clear();
    each_widget(*content_, [&](vorn_ui::Widget& widget) {
        if (const auto id = control_id(widget)) {
            controls_.try_emplace(std::string(*id), &widget);
        }
    });
}

void PreferencePane::build()
{
    content_ = build_view();
    content_node_ = {};
    ++builds_;
    index_controls();
}

void PreferencePane::refresh_view(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    std::string key = structure_key();
    if (!content_) {
        build();
        built_key_ = std::move(key);
        structure_dirty_ = true;
        ctx.changed = true;
    } else if (key != built_key_) {
        const Place place = place_in(*content_);
        build();
        built_key_ = std::move(key);
        if (place.focused) {
            if (auto found = controls_.find(*place.focused); found != controls_.end()) {
                found->second->set_focus(true);
            }
        }
        if (place.open_list) {
            if (auto* list = control<vorn_ui::Dropdown>(*place.open_list)) {
                list->open();
            }
        }
        structure_dirty_ = true;
        ctx.changed = true;
    }
    if (show_values()) {
        ctx.changed = true;
    }
    content_->sync(doc, ctx);
}

bool PreferencePane::show_text(std::string_view id, std::string_view text)
{
    auto* widget = control<vorn_ui::Text>(id);
    if (widget == nullptr || widget->text() == text) {
        return false;
    }
    widget->set_text(std::string(text));
    return true;
}

bool PreferencePane::show_toggle(std::string_view id, bool on)
{
    auto* widget = control<vorn_ui::Toggle>(id);
    if (widget == nullptr || widget->value() == on) {
        return false;
    }
    widget->set_value(on);
    return true;
}

bool PreferencePane::show_slider(std::string_view id, double value)
{
    auto* widget = control<vorn_ui::Slider>(id);
    if (widget == nullptr || std::abs(widget->value() - value) < 1e-9) {
        return false;
    }
    widget->set_value(value);
    return true;
}

bool PreferencePane::show_choice(std::string_view id, std::string_view choice)
{
    auto* widget = control<vorn_ui::Dropdown>(id);
    if (widget == nullptr || widget->selected() == choice) {
        return false;
    }
    widget->set_selected(std::string(choice));
    return true;
}

bool PreferencePane::show_choices(std::string_view id, std::vector<std::string> choices)
{
    auto* widget = control<vorn_ui::Dropdown>(id);
    if (widget == nullptr || widget->choices() == choices) {
        return false;
    }
    widget->set_choices(std::move(choices));
    return true;
}

}  // namespace settings::panes::preference_pane
