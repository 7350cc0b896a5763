#pragma once
// A small flexbox layout engine: a tree of nodes with flex styles, computed into boxes.
//
// Nodes live in a Tree and are addressed by NodeId. Leaves created with new_measured_leaf() get their content size
// from the MeasureFn passed to compute_layout() (text, images, widgets that know their natural size).
// Computed layouts are relative to the parent's box: x/y is the node's offset inside its parent.

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace flex_layout {

struct NodeId {
    std::uint32_t index = std::numeric_limits<std::uint32_t>::max();

    [[nodiscard]] constexpr bool valid() const { return index != std::numeric_limits<std::uint32_t>::max(); }
    friend constexpr bool operator==(NodeId, NodeId) = default;
};

enum class Display : std::uint8_t { Flex, None };
enum class FlexDirection : std::uint8_t { Row, Column };
enum class FlexWrap : std::uint8_t { NoWrap, Wrap };
// Cross-axis placement of children (align-items / align-self).
enum class Align : std::uint8_t { Start, End, Center, Stretch };
// Main-axis distribution of free space.
enum class Justify : std::uint8_t { Start, End, Center, SpaceBetween, SpaceAround, SpaceEvenly };
// Scroll along an axis: the node's children get unbounded (max-content) space along it and are never shrunk to
// fit along it. A node that scrolls along either axis may become smaller than its content (as a flex item its
// automatic minimum size is 0), so it can take the space its parent gives it and scroll the rest.
enum class Overflow : std::uint8_t { Visible, Scroll };

struct Dimension {
    enum class Kind : std::uint8_t { Auto, Points, Percent };
    Kind kind = Kind::Auto;
    float value = 0.0f;  // points, or a fraction of the parent's inner size (0.5 = 50 %)

    static constexpr Dimension automatic() { return {}; }
    static constexpr Dimension points(float v) { return {Kind::Points, v}; }
    static constexpr Dimension percent(float fraction) { return {Kind::Percent, fraction}; }
    [[nodiscard]] constexpr bool is_auto() const { return kind == Kind::Auto; }
    friend constexpr bool operator==(const Dimension&, const Dimension&) = default;
};

struct Edges {
    float left = 0.0f;
    float right = 0.0f;
    float top = 0.0f;
    float bottom = 0.0f;

    static constexpr Edges all(float v) { return {v, v, v, v}; }
    static constexpr Edges symmetric(float horizontal, float vertical)
    {
        return {horizontal, horizontal, vertical, vertical};
    }
    friend constexpr bool operator==(const Edges&, const Edges&) = default;
};

struct Style {
    Display display = Display::Flex;
    FlexDirection direction = FlexDirection::Row;
    FlexWrap wrap = FlexWrap::NoWrap;
    Dimension width{};
    Dimension height{};
    Dimension min_width{};
    Dimension min_height{};
    Dimension max_width{};
    Dimension max_height{};
    Edges padding{};
    Edges margin{};
    float gap = 0.0f;        // between neighbouring children along the main axis ("spacing")
    float cross_gap = 0.0f;  // between lines when wrapping
    float flex_grow = 0.0f;
    float flex_shrink = 1.0f;
    Dimension flex_basis{};
    Align align_items = Align::Stretch;
    std::optional<Align> align_self;
    Justify justify = Justify::Start;
    Overflow overflow_x = Overflow::Visible;
    Overflow overflow_y = Overflow::Visible;

    friend bool operator==(const Style&, const Style&) = default;
};

struct AvailableSpace {
    enum class Kind : std::uint8_t { Definite, MinContent, MaxContent };
    Kind kind = Kind::MaxContent;
    float value = 0.0f;  // only for Definite

    static constexpr AvailableSpace definite(float v) { return {Kind::Definite, v}; }
    static constexpr AvailableSpace min_content() { return {Kind::MinContent, 0.0f}; }
    static constexpr AvailableSpace max_content() { return {Kind::MaxContent, 0.0f}; }
    [[nodiscard]] constexpr bool is_definite() const { return kind == Kind::Definite; }
    friend constexpr bool operator==(const AvailableSpace&, const AvailableSpace&) = default;
};

struct Size {
    float width = 0.0f;
    float height = 0.0f;
    friend constexpr bool operator==(const Size&, const Size&) = default;
};

// Sizes already fixed by the style or by the parent when a leaf is measured.
struct KnownSize {
    std::optional<float> width;
    std::optional<float> height;
    friend constexpr bool operator==(const KnownSize&, const KnownSize&) = default;
};

struct AvailableSize {
    AvailableSpace width;
    AvailableSpace height;
    friend constexpr bool operator==(const AvailableSize&, const AvailableSize&) = default;
};

// The computed box of a node: offset inside the parent's box, and size (padding included).
struct Layout {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    friend constexpr bool operator==(const Layout&, const Layout&) = default;
};

// Content size of a measured leaf (inside its padding). `known` holds the content sizes already fixed by the style
// or by the parent (stretch, flexing); `available` is the space offered inside the leaf's padding and margins:
// Definite (wrap to it; equals the known size when one is fixed), or MinContent / MaxContent when the parent asks
// for the narrowest or the natural size. Calls are cached within one compute_layout() by their arguments.
using MeasureFn = std::function<Size(NodeId node, KnownSize known, AvailableSize available)>;

class Tree {
public:
    NodeId new_leaf(const Style& style);
    NodeId new_measured_leaf(const Style& style);
    NodeId new_with_children(const Style& style, std::span<const NodeId> children);
    void add_child(NodeId parent, NodeId child);
    void set_children(NodeId parent, std::span<const NodeId> children);
    void set_style(NodeId node, const Style& style);

    [[nodiscard]] const Style& style(NodeId node) const;
    [[nodiscard]] std::span<const NodeId> children(NodeId node) const;
    [[nodiscard]] bool is_measured(NodeId node) const;
    [[nodiscard]] std::size_t node_count() const { return nodes_.size(); }
    void clear();

    // Lays out the subtree of `root` in the given space. Positions and sizes are rounded to whole pixels when
    // `round` is set (edges are rounded, so neighbours never overlap or leave gaps).
    // A root whose width/height is auto takes the Definite available size when it stretches (align_self unset or
    // Stretch), and its content size otherwise; percentages of the root resolve against the Definite available
    // size. Throws std::out_of_range for an unknown root and std::invalid_argument when a node is reachable twice
    // (shared by two parents, or its own ancestor).
    void compute_layout(NodeId root, AvailableSize available, const MeasureFn& measure = {}, bool round = true);

    [[nodiscard]] const Layout& layout(NodeId node) const;

private:
    struct Node {
        Style style;
        bool measured = false;
        std::vector<NodeId> children;
        Layout layout;
    };
    Node& node(NodeId id);
    [[nodiscard]] const Node& node(NodeId id) const;

    std::vector<Node> nodes_;
    friend class Solver;
};

}  // namespace flex_layout
