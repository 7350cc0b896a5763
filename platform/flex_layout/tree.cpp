#include "flex_layout/flex_layout.hpp"

#include <stdexcept>

namespace flex_layout {

Tree::Node& Tree::node(NodeId id)
{
    if (!id.valid() || id.index >= nodes_.size()) {
        throw std::out_of_range("flex_layout: unknown node");
    }
    return nodes_[id.index];
}

const Tree::Node& Tree::node(NodeId id) const
{
    if (!id.valid() || id.index >= nodes_.size()) {
        throw std::out_of_range("flex_layout: unknown node");
    }
    return nodes_[id.index];
}

NodeId Tree::new_leaf(const Style& style)
{
    nodes_.push_back(Node{.style = style});
    return NodeId{static_cast<std::uint32_t>(nodes_.size() - 1)};
}

NodeId Tree::new_measured_leaf(const Style& style)
{
    const NodeId id = new_leaf(style);
    nodes_.back().measured = true;
    return id;
}

NodeId Tree::new_with_children(const Style& style, std::span<const NodeId> children)
{
    const NodeId id = new_leaf(style);
    set_children(id, children);
    return id;
}

void Tree::add_child(NodeId parent, NodeId child)
{
    node(child);  // validates
    node(parent).children.push_back(child);
}

void Tree::set_children(NodeId parent, std::span<const NodeId> children)
{
    for (NodeId child : children) {
        node(child);
    }
    node(parent).children.assign(children.begin(), children.end());
}

void Tree::set_style(NodeId id, const Style& style) { node(id).style = style; }
const Style& Tree::style(NodeId id) const { return node(id).style; }
std::span<const NodeId> Tree::children(NodeId id) const { return node(id).children; }
bool Tree::is_measured(NodeId id) const { return node(id).measured; }
const Layout& Tree::layout(NodeId id) const { return node(id).layout; }
void Tree::clear() { nodes_.clear(); }

}  // namespace flex_layout
