// The flexbox solver behind Tree::compute_layout.
//
// One recursive function, Solver::compute(), answers "how big is this node" (size only) and "lay this node's
// subtree out" (perform): given the sizes the parent has already fixed (known), the space it offers (available)
// and the size percentages resolve against. Flex containers follow the usual algorithm: flex base sizes, lines,
// the grow/shrink freeze loop, cross sizes, stretch, then justify and align. Size-only answers are cached per node
// for the duration of one compute_layout(), so nested content sizing stays linear in practice, and measure calls
// for text leaves are cached by their arguments.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "flex_layout/flex_layout.hpp"

namespace flex_layout {

namespace {

using OptF = std::optional<float>;
using Opt2 = std::array<OptF, 2>;
using Avail2 = std::array<AvailableSpace, 2>;
using Vec2 = std::array<float, 2>;

constexpr int kX = 0;
constexpr int kY = 1;

// Lengths beyond ten million pixels are taken as that much, and flex factors beyond a million as a million, so that
// sums and products over a whole tree stay finite whatever numbers a style holds.
constexpr float kMaxLength = 1e7f;
constexpr float kMaxFactor = 1e6f;

// A finite length within the bounds above; NaN and infinities count as 0.
float bounded(float v) { return std::isfinite(v) ? std::clamp(v, -kMaxLength, kMaxLength) : 0.0f; }
float non_negative(float v) { return std::max(0.0f, bounded(v)); }
float factor(float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, kMaxFactor) : 0.0f; }

// Writes the length `d` resolves to into `out` (left empty for auto, and for a percentage of an unknown size).
// Writing in place, rather than returning optionals by value, keeps this hot path free of store-forwarding stalls.
void resolve_into(OptF& out, Dimension d, const OptF& basis)
{
    float v = 0.0f;
    switch (d.kind) {
    case Dimension::Kind::Auto:
        out.reset();
        return;
    case Dimension::Kind::Points:
        v = d.value;
        break;
    case Dimension::Kind::Percent:
        if (!basis) {
            out.reset();
            return;
        }
        v = *basis * d.value;
        break;
    }
    if (std::isfinite(v)) {
        out.emplace(std::clamp(v, -kMaxLength, kMaxLength));
    } else {
        out.reset();  // an infinite or NaN length means "no constraint"
    }
}

OptF resolve(Dimension d, const OptF& basis)
{
    OptF out;
    resolve_into(out, d, basis);
    return out;
}

// A minimum wins over a maximum, and a box is never smaller than its padding.
float clamp_size(float v, OptF min, OptF max, float floor)
{
    if (max) {
        v = std::min(v, *max);
    }
    if (min) {
        v = std::max(v, *min);
    }
    return std::max(v, floor);
}

AvailableSpace shrink_space(AvailableSpace space, float by)
{
    if (space.is_definite()) {
        return AvailableSpace::definite(std::max(0.0f, space.value - by));
    }
    return space;
}

bool scrolls(const Style& s, int axis)
{
    return (axis == kX ? s.overflow_x : s.overflow_y) == Overflow::Scroll;
}

// What a call to Solver::compute() is for.
enum class Mode : std::uint8_t {
    Size,     // the node's size as its style and the given constraints make it
    Content,  // the size of the node's content: its own width, height, min and max are left out
    Perform,  // lay the subtree out for good (writes the layouts of the node's children)
};

// The resolved box model of one node, against the inner size of its parent.
struct Box {
    Vec2 pad{};           // padding sum per axis
    Vec2 pad_start{};     // left, top padding
    Vec2 margin{};        // margin sum per axis
    Vec2 margin_start{};  // left, top margin
    Opt2 size;            // border-box width/height, when definite
    Opt2 min;
    Opt2 max;
};

Box resolve_box(const Style& s, const Opt2& parent)
{
    Box b;
    b.pad_start = {non_negative(s.padding.left), non_negative(s.padding.top)};
    b.pad = {b.pad_start[kX] + non_negative(s.padding.right), b.pad_start[kY] + non_negative(s.padding.bottom)};
    b.margin_start = {bounded(s.margin.left), bounded(s.margin.top)};
    b.margin = {b.margin_start[kX] + bounded(s.margin.right), b.margin_start[kY] + bounded(s.margin.bottom)};
    resolve_into(b.size[kX], s.width, parent[kX]);
    resolve_into(b.size[kY], s.height, parent[kY]);
    resolve_into(b.min[kX], s.min_width, parent[kX]);
    resolve_into(b.min[kY], s.min_height, parent[kY]);
    resolve_into(b.max[kX], s.max_width, parent[kX]);
    resolve_into(b.max[kY], s.max_height, parent[kY]);
    return b;
}

Box own_box(const Style& s, const Opt2& parent, Mode mode)
{
    Box b = resolve_box(s, parent);
    if (mode == Mode::Content) {
        b.size = {};
        b.min = {};
        b.max = {};
    }
    return b;
}

// The node's own border-box size along each axis when the parent or the style fixes it.
Opt2 fixed_size(const Box& b, const Opt2& known)
{
    Opt2 out;
    for (int a : {kX, kY}) {
        if (known[a]) {
            out[a] = *known[a];
        } else if (b.size[a]) {
            out[a] = clamp_size(*b.size[a], b.min[a], b.max[a], b.pad[a]);
        }
    }
    return out;
}

// Space inside the node's padding: its own size when fixed, else what the parent offers less margins.
AvailableSpace inner_space(const Box& b, const Opt2& fixed, AvailableSpace offered, int a)
{
    if (fixed[a]) {
        return AvailableSpace::definite(std::max(0.0f, *fixed[a] - b.pad[a]));
    }
    if (offered.is_definite()) {
        const float outer = clamp_size(offered.value - b.margin[a], b.min[a], b.max[a], b.pad[a]);
        return AvailableSpace::definite(std::max(0.0f, outer - b.pad[a]));
    }
    return offered;
}

// Size-only answers per node, keyed by everything that can change them. Optional floats are stored as a flag and
// a value of 0 when absent, so that keys compare member by member.
struct CacheKey {
    std::array<float, 6> values{};
    std::array<std::uint8_t, 6> kinds{};
    std::uint8_t content_only = 0;
    std::uint8_t unused = 0;
    friend bool operator==(const CacheKey&, const CacheKey&) = default;
};

CacheKey make_key(const Opt2& known, const Avail2& avail, const Opt2& parent, bool content_only)
{
    CacheKey k;
    k.content_only = content_only ? 1 : 0;
    for (int a : {kX, kY}) {
        k.kinds[a] = known[a] ? 1 : 0;
        k.values[a] = known[a].value_or(0.0f);
        k.kinds[2 + a] = static_cast<std::uint8_t>(avail[a].kind);
        k.values[2 + a] = avail[a].is_definite() ? avail[a].value : 0.0f;
        k.kinds[4 + a] = parent[a] ? 1 : 0;
        k.values[4 + a] = parent[a].value_or(0.0f);
    }
    return k;
}

struct MeasureKey {
    KnownSize known;
    AvailableSize available;
    friend bool operator==(const MeasureKey&, const MeasureKey&) = default;
};

struct NodeCache {
    static constexpr std::size_t kSlots = 6;
    std::array<CacheKey, kSlots> keys;
    std::array<Vec2, kSlots> sizes;
    std::uint8_t count = 0;
    std::uint8_t next = 0;
};

struct MeasureCache {
    static constexpr std::size_t kSlots = 4;
    std::array<MeasureKey, kSlots> keys;
    std::array<Size, kSlots> sizes;
    std::uint8_t count = 0;
    std::uint8_t next = 0;
};

struct Item {
    NodeId id;
    const Style* style = nullptr;
    Box box;
    Align align = Align::Stretch;
    float grow = 0.0f;
    float shrink = 0.0f;
    float base = 0.0f;            // flex base size (border box)
    bool content_base = false;    // the base size came from the content, not from flex-basis or the main size
    float content_cross = 0.0f;   // the cross size of that content, at the base size
    float hypo = 0.0f;            // hypothetical main size
    float target = 0.0f;          // final main size
    OptF min_main;                // used minimum main size, computed when first needed
    bool frozen = false;
    float violation = 0.0f;
    OptF known_cross;             // cross size fixed before the lines are sized (style or stretch)
    float cross = 0.0f;           // final cross size
    float main_pos = 0.0f;
    float cross_pos = 0.0f;
};

struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    float cross = 0.0f;
};

// What the items of one container share while it is being laid out.
struct Container {
    int main = kX;
    int cross = kY;
    bool wrap = false;
    Opt2 inner;          // the container's inner size where definite (percentages resolve against it)
    Avail2 child_space;  // the space offered to the items
};

}  // namespace

class Solver {
public:
    Solver(Tree& tree, const MeasureFn& measure) : tree_(tree), measure_(measure)
    {
        node_cache_.resize(tree.nodes_.size());
        measure_slot_.assign(tree.nodes_.size(), kNoSlot);
    }

    // Rejects trees in which a node is reachable twice (shared between parents or its own ancestor), which the
    // recursive layout could not finish.
    void check_tree(NodeId root)
    {
        std::vector<std::uint8_t> seen(tree_.nodes_.size(), 0);
        std::vector<NodeId> stack{root};
        while (!stack.empty()) {
            const NodeId id = stack.back();
            stack.pop_back();
            if (seen[id.index] != 0) {
                throw std::invalid_argument("flex_layout: a node appears twice in the tree (shared or cyclic)");
            }
            seen[id.index] = 1;
            for (NodeId child : tree_.nodes_[id.index].children) {
                stack.push_back(child);
            }
        }
    }

    void layout_root(NodeId root, AvailableSize available)
    {
        Tree::Node& n = tree_.node(root);
        if (n.style.display == Display::None) {
            zero_subtree(root);
            return;
        }
        Avail2 space{available.width, available.height};
        for (AvailableSpace& a : space) {
            if (a.is_definite() && !std::isfinite(a.value)) {
                a = AvailableSpace::max_content();  // no usable bound: lay out at the natural size
            } else if (a.is_definite()) {
                a.value = non_negative(a.value);
            }
        }
        Opt2 parent;
        for (int a : {kX, kY}) {
            if (space[a].is_definite()) {
                parent[a] = space[a].value;
            }
        }
        const Box b = resolve_box(n.style, parent);
        const bool stretches = n.style.align_self.value_or(Align::Stretch) == Align::Stretch;
        Opt2 known;
        for (int a : {kX, kY}) {
            if (!b.size[a] && stretches && space[a].is_definite()) {
                known[a] = clamp_size(space[a].value - b.margin[a], b.min[a], b.max[a], b.pad[a]);
            }
        }
        const Vec2 size = compute(root, known, space, parent, Mode::Perform);
        n.layout = Layout{b.margin_start[kX], b.margin_start[kY], size[kX], size[kY]};
    }

    // Rounds every edge to whole pixels in window space and derives sizes and offsets from the rounded edges, so
    // that boxes that touch before rounding still touch after it.
    void round_tree(NodeId id, float parent_x, float parent_y, float parent_rx, float parent_ry)
    {
        Tree::Node& n = tree_.nodes_[id.index];
        if (n.style.display == Display::None) {
            return;
        }
        const Layout l = n.layout;
        const float x = parent_x + l.x;
        const float y = parent_y + l.y;
        const float x0 = std::round(x);
        const float y0 = std::round(y);
        const float x1 = std::round(x + l.width);
        const float y1 = std::round(y + l.height);
        n.layout = Layout{x0 - parent_rx, y0 - parent_ry, x1 - x0, y1 - y0};
        for (NodeId child : n.children) {
            round_tree(child, x, y, x0, y0);
        }
    }

private:
    static constexpr std::uint32_t kNoSlot = std::numeric_limits<std::uint32_t>::max();

    Vec2 compute(NodeId id, const Opt2& known, const Avail2& avail, const Opt2& parent, Mode mode)
    {
        const bool perform = mode == Mode::Perform;
        Tree::Node& n = tree_.nodes_[id.index];
        if (n.style.display == Display::None) {
            if (perform) {
                zero_subtree(id);
            }
            return {0.0f, 0.0f};
        }
        NodeCache& cache = node_cache_[id.index];
        CacheKey key;
        if (!perform) {
            key = make_key(known, avail, parent, mode == Mode::Content);
            for (std::size_t i = 0; i < cache.count; ++i) {
                if (cache.keys[i] == key) {
                    return cache.sizes[i];
                }
            }
        }
        const Vec2 size = n.measured ? leaf(n, id, known, avail, parent, mode) : flex(n, known, avail, parent, mode);
        if (!perform) {
            const std::size_t slot = cache.next;
            cache.keys[slot] = key;
            cache.sizes[slot] = size;
            cache.next = static_cast<std::uint8_t>((slot + 1) % NodeCache::kSlots);
            cache.count = static_cast<std::uint8_t>(std::min<std::size_t>(cache.count + 1u, NodeCache::kSlots));
        }
        return size;
    }

    void zero_subtree(NodeId id)
    {
        Tree::Node& n = tree_.nodes_[id.index];
        n.layout = Layout{};
        for (NodeId child : n.children) {
            zero_subtree(child);
        }
    }

    Vec2 leaf(Tree::Node& n, NodeId id, const Opt2& known, const Avail2& avail, const Opt2& parent, Mode mode)
    {
        if (mode == Mode::Perform) {
            for (NodeId child : n.children) {  // a measured leaf draws its own content; children take no space
                zero_subtree(child);
            }
        }
        const Box b = own_box(n.style, parent, mode);
        const Opt2 fixed = fixed_size(b, known);
        if (fixed[kX] && fixed[kY]) {
            return {*fixed[kX], *fixed[kY]};
        }
        KnownSize content_known;
        AvailableSize content_space;
        for (int a : {kX, kY}) {
            const AvailableSpace space = inner_space(b, fixed, avail[a], a);
            std::optional<float>& k = a == kX ? content_known.width : content_known.height;
            if (fixed[a]) {
                k = space.value;
            }
            (a == kX ? content_space.width : content_space.height) = space;
        }
        const Size content = measure(id, content_known, content_space);
        const Vec2 measured{content.width, content.height};
        Vec2 out{};
        for (int a : {kX, kY}) {
            out[a] = fixed[a] ? *fixed[a] : clamp_size(measured[a] + b.pad[a], b.min[a], b.max[a], b.pad[a]);
        }
        return out;
    }

    Size measure(NodeId id, const KnownSize& known, const AvailableSize& available)
    {
        if (!measure_) {
            return {};
        }
        std::uint32_t& slot_index = measure_slot_[id.index];
        if (slot_index == kNoSlot) {
            slot_index = static_cast<std::uint32_t>(measure_cache_.size());
            measure_cache_.emplace_back();
        }
        MeasureCache& cache = measure_cache_[slot_index];
        const MeasureKey key{known, available};
        for (std::size_t i = 0; i < cache.count; ++i) {
            if (cache.keys[i] == key) {
                return cache.sizes[i];
            }
        }
        Size size = measure_(id, known, available);
        size.width = non_negative(size.width);  // a measure that answers NaN or a negative size takes no space
        size.height = non_negative(size.height);
        const std::size_t slot = cache.next;
        cache.keys[slot] = key;
        cache.sizes[slot] = size;
        cache.next = static_cast<std::uint8_t>((slot + 1) % MeasureCache::kSlots);
        cache.count = static_cast<std::uint8_t>(std::min<std::size_t>(cache.count + 1u, MeasureCache::kSlots));
        return size;
    }

    // ---- flex containers ----

    // The item's content size (its own width, height, min and max left out) under a min-content or max-content
    // constraint along the main axis.
    Vec2 content_size(Item& it, const Container& c, AvailableSpace::Kind kind)
    {
        Opt2 known;
        known[c.cross] = it.known_cross;
        Avail2 space;
        space[c.main] = AvailableSpace{kind, 0.0f};
        space[c.cross] = it.known_cross ? AvailableSpace::definite(*it.known_cross) : cross_space(it, c);
        return compute(it.id, known, space, c.inner, Mode::Content);
    }

    // The cross space offered to an item whose cross size is not fixed yet, within its own min and max cross size
    // (content sizing leaves the item's own limits out, so they must reach it through the space it is offered).
    static AvailableSpace cross_space(const Item& it, const Container& c)
    {
        const int x = c.cross;
        const AvailableSpace offered = c.child_space[x];
        if (!offered.is_definite()) {
            return offered;
        }
        const float outer = clamp_size(offered.value - it.box.margin[x], it.box.min[x], it.box.max[x], it.box.pad[x]);
        return AvailableSpace::definite(outer);
    }

    // The used minimum main size: the min-width/min-height when set, else the automatic minimum: the item's
    // min-content size, capped by its main size and max size, and zero for a scroll container.
    float min_main(Item& it, const Container& c)
    {
        if (!it.min_main) {
            const int m = c.main;
            float v = 0.0f;
            if (it.box.min[m]) {
                v = *it.box.min[m];
            } else if (!scrolls(*it.style, kX) && !scrolls(*it.style, kY)) {
                v = content_size(it, c, AvailableSpace::Kind::MinContent)[m];
                if (it.box.size[m]) {
                    v = std::min(v, *it.box.size[m]);
                }
                if (it.box.max[m]) {
                    v = std::min(v, *it.box.max[m]);
                }
            }
            it.min_main = std::max(v, it.box.pad[m]);
        }
        return *it.min_main;
    }

    // The minimum to clamp a candidate main size with. A content-based base size is at least the min-content size,
    // so the automatic minimum is only worked out when an item would go below its base size or its base size did
    // not come from its content.
    OptF min_for(Item& it, const Container& c, float candidate)
    {
        if (it.box.min[c.main]) {
            return it.box.min[c.main];
        }
        if (it.content_base && candidate >= it.base) {
            return std::nullopt;
        }
        return min_main(it, c);
    }

    float clamp_main(Item& it, const Container& c, float v)
    {
        return clamp_size(v, min_for(it, c, v), it.box.max[c.main], it.box.pad[c.main]);
    }

    // The grow/shrink loop for one line: distributes the free space by the flex factors and freezes items that hit
    // their minimum or maximum until none is left to flex.
    void resolve_flexible_lengths(std::span<Item> items, const Container& c, float line_main, float gaps)
    {
        const int m = c.main;
        float used = gaps;
        for (const Item& it : items) {
            used += it.hypo + it.box.margin[m];
        }
        const bool growing = used < line_main;
        for (Item& it : items) {
            it.target = it.hypo;
            const float factor = growing ? it.grow : it.shrink;
            it.frozen = used == line_main || factor <= 0.0f || (growing && it.base > it.hypo) ||
                        (!growing && it.base < it.hypo);
        }
        auto free_space = [&] {
            float space = line_main - gaps;
            for (const Item& it : items) {
                space -= (it.frozen ? it.target : it.base) + it.box.margin[m];
            }
            return space;
        };
        const float initial_free = free_space();
        for (std::size_t round = 0; round <= items.size(); ++round) {
            float factors = 0.0f;
            float scaled_shrink = 0.0f;
            bool any = false;
            for (const Item& it : items) {
                if (!it.frozen) {
                    any = true;
                    factors += growing ? it.grow : it.shrink;
                    scaled_shrink += it.shrink * std::max(0.0f, it.base - it.box.pad[m]);
                }
            }
            if (!any) {
                break;
            }
            float remaining = free_space();
            if (factors < 1.0f && std::abs(initial_free * factors) < std::abs(remaining)) {
                remaining = initial_free * factors;
            }
            float total_violation = 0.0f;
            for (Item& it : items) {
                if (it.frozen) {
                    continue;
                }
                float target = it.base;
                if (growing) {
                    if (factors > 0.0f) {
                        target = it.base + remaining * it.grow / factors;
                    }
                } else if (scaled_shrink > 0.0f) {
                    const float scaled = it.shrink * std::max(0.0f, it.base - it.box.pad[m]);
                    target = it.base - std::abs(remaining) * scaled / scaled_shrink;
                }
                const float clamped = clamp_main(it, c, target);
                it.violation = clamped - target;
                it.target = clamped;
                total_violation += it.violation;
            }
            for (Item& it : items) {
                if (it.frozen) {
                    continue;
                }
                if (total_violation == 0.0f || (total_violation > 0.0f && it.violation > 0.0f) ||
                    (total_violation < 0.0f && it.violation < 0.0f)) {
                    it.frozen = true;
                }
            }
        }
        for (Item& it : items) {  // items still unfrozen after the bounded loop keep their last target
            it.frozen = true;
        }
    }

    Vec2 flex(Tree::Node& n, const Opt2& known, const Avail2& avail, const Opt2& parent, Mode mode)
    {
        const bool perform = mode == Mode::Perform;
        const Style& s = n.style;
        Container c;
        c.main = s.direction == FlexDirection::Row ? kX : kY;
        c.cross = 1 - c.main;
        c.wrap = s.wrap == FlexWrap::Wrap;
        const int m = c.main;
        const int x = c.cross;

        const Box b = own_box(s, parent, mode);
        const Opt2 fixed = fixed_size(b, known);
        if (!perform && fixed[kX] && fixed[kY]) {
            return {*fixed[kX], *fixed[kY]};
        }
        Avail2 inner_avail;
        for (int a : {kX, kY}) {
            inner_avail[a] = inner_space(b, fixed, avail[a], a);
            if (fixed[a]) {
                c.inner[a] = inner_avail[a].value;
            }
            c.child_space[a] = scrolls(s, a) ? AvailableSpace::max_content() : inner_avail[a];
        }
        const float gap = non_negative(s.gap);
        const float cross_gap = non_negative(s.cross_gap);

        // Items, with their flex base sizes and hypothetical main sizes.
        std::vector<Item> items;
        items.reserve(n.children.size());
        for (NodeId child : n.children) {
            Tree::Node& cn = tree_.nodes_[child.index];
            if (cn.style.display == Display::None) {
                if (perform) {
                    zero_subtree(child);
                }
                continue;
            }
            Item& it = items.emplace_back();
            it.id = child;
            it.style = &cn.style;
            it.box = resolve_box(cn.style, c.inner);
            it.align = cn.style.align_self.value_or(s.align_items);
            it.grow = factor(cn.style.flex_grow);
            it.shrink = factor(cn.style.flex_shrink);
            const Box& ib = it.box;
            if (ib.size[x]) {
                it.known_cross = clamp_size(*ib.size[x], ib.min[x], ib.max[x], ib.pad[x]);
            } else if (it.align == Align::Stretch && !c.wrap && c.inner[x]) {
                it.known_cross = clamp_size(*c.inner[x] - ib.margin[x], ib.min[x], ib.max[x], ib.pad[x]);
            }
            OptF basis = resolve(cn.style.flex_basis, c.inner[m]);
            if (!basis) {
                basis = ib.size[m];
            }
            if (basis) {
                it.base = std::max(*basis, ib.pad[m]);
            } else {
                const auto kind = c.child_space[m].kind == AvailableSpace::Kind::MinContent
                                      ? AvailableSpace::Kind::MinContent
                                      : AvailableSpace::Kind::MaxContent;
                const Vec2 content = content_size(it, c, kind);
                it.base = content[m];
                it.content_cross = content[x];
                it.content_base = true;
            }
            it.hypo = clamp_main(it, c, it.base);
        }

        // Lines.
        std::vector<Line> lines;
        float limit = std::numeric_limits<float>::infinity();
        if (c.inner[m]) {
            limit = *c.inner[m];
        } else if (inner_avail[m].is_definite()) {
            limit = inner_avail[m].value;
        } else if (inner_avail[m].kind == AvailableSpace::Kind::MinContent) {
            limit = 0.0f;
        }
        if (!c.wrap || scrolls(s, m)) {
            lines.push_back(Line{0, items.size()});
        } else {
            float length = 0.0f;
            for (std::size_t i = 0; i < items.size(); ++i) {
                const float outer = items[i].hypo + items[i].box.margin[m];
                if (lines.empty() || (i > lines.back().begin && length + gap + outer > limit)) {
                    lines.push_back(Line{i, i});
                    length = outer;
                } else {
                    length += gap + outer;
                }
                lines.back().end = i + 1;
            }
            if (lines.empty()) {
                lines.push_back(Line{0, 0});
            }
        }
        auto line_span = [&](const Line& line) {
            return std::span<Item>(items).subspan(line.begin, line.end - line.begin);
        };
        auto gaps_of = [&](const Line& line) {
            return line.end - line.begin > 1 ? gap * static_cast<float>(line.end - line.begin - 1) : 0.0f;
        };
        auto outer_sum = [&](const Line& line, float Item::* field) {
            float sum = gaps_of(line);
            for (const Item& it : line_span(line)) {
                sum += it.*field + it.box.margin[m];
            }
            return sum;
        };

        // The container's main size: fixed, or from the longest line (shrink-to-fit horizontally when the space
        // offered is definite: as wide as the content but no wider than the space).
        float inner_main = 0.0f;
        const bool content_main_size = !c.inner[m];
        if (c.inner[m]) {
            inner_main = *c.inner[m];
        } else {
            float longest = 0.0f;
            for (const Line& line : lines) {
                longest = std::max(longest, outer_sum(line, &Item::hypo));
            }
            inner_main = longest;
            if (inner_avail[m].is_definite()) {
                const float space = inner_avail[m].value;
                if (lines.size() > 1) {
                    inner_main = std::max(longest, space);
                } else if (m == kX) {
                    inner_main = std::min(longest, space);
                }
            }
            inner_main = clamp_size(inner_main + b.pad[m], b.min[m], b.max[m], b.pad[m]) - b.pad[m];
        }

        // Flexible lengths, line by line.
        float used_main = 0.0f;
        for (const Line& line : lines) {
            float line_main = inner_main;
            if (scrolls(s, m)) {
                line_main = std::max(line_main, outer_sum(line, &Item::hypo));
            }
            resolve_flexible_lengths(line_span(line), c, line_main, gaps_of(line));
            used_main = std::max(used_main, outer_sum(line, &Item::target));
        }
        if (content_main_size && m == kX && !c.wrap && used_main > inner_main) {
            // The items could not shrink to the offered width: the container holds them, within its maximum.
            inner_main = clamp_size(used_main + b.pad[m], b.min[m], b.max[m], b.pad[m]) - b.pad[m];
        }

        // Cross sizes: hypothetical per item, then per line.
        for (Item& it : items) {
            if (it.known_cross) {
                it.cross = *it.known_cross;
                continue;
            }
            float measured = it.content_cross;  // laid out at its content size already: the same cross size
            if (!it.content_base || it.target != it.base) {
                Opt2 k;
                k[m] = it.target;
                Avail2 space;
                space[m] = AvailableSpace::definite(it.target);
                space[x] = shrink_space(c.child_space[x], it.box.margin[x]);
                measured = compute(it.id, k, space, c.inner, Mode::Size)[x];
            }
            it.cross = clamp_size(measured, it.box.min[x], it.box.max[x], it.box.pad[x]);
        }
        if (!c.wrap && c.inner[x]) {
            lines.front().cross = *c.inner[x];
        } else {
            for (Line& line : lines) {
                for (const Item& it : line_span(line)) {
                    line.cross = std::max(line.cross, it.cross + it.box.margin[x]);
                }
            }
            if (!c.wrap) {
                const OptF min_inner = b.min[x] ? OptF(*b.min[x] - b.pad[x]) : std::nullopt;
                const OptF max_inner = b.max[x] ? OptF(*b.max[x] - b.pad[x]) : std::nullopt;
                lines.front().cross = clamp_size(lines.front().cross, min_inner, max_inner, 0.0f);
            }
        }
        for (const Line& line : lines) {
            for (Item& it : line_span(line)) {
                if (it.align == Align::Stretch && !it.box.size[x]) {
                    it.cross = clamp_size(line.cross - it.box.margin[x], it.box.min[x], it.box.max[x],
                                          it.box.pad[x]);
                }
            }
        }

        Vec2 size{};
        size[m] = fixed[m] ? *fixed[m] : inner_main + b.pad[m];
        if (fixed[x]) {
            size[x] = *fixed[x];
        } else {
            float lines_cross = lines.size() > 1 ? cross_gap * static_cast<float>(lines.size() - 1) : 0.0f;
            for (const Line& line : lines) {
                lines_cross += line.cross;
            }
            size[x] = clamp_size(lines_cross + b.pad[x], b.min[x], b.max[x], b.pad[x]);
        }
        if (!perform) {
            return size;
        }

        // Placement: justify along the main axis, align along the cross axis, then each item's own layout.
        Opt2 final_inner;
        for (int a : {kX, kY}) {
            final_inner[a] = std::max(0.0f, size[a] - b.pad[a]);
        }
        float line_start = b.pad_start[x];
        for (const Line& line : lines) {
            const std::size_t count = line.end - line.begin;
            const float free = inner_main - outer_sum(line, &Item::target);
            float offset = 0.0f;
            float between = 0.0f;
            switch (s.justify) {
            case Justify::Start:
                break;
            case Justify::End:
                offset = free;
                break;
            case Justify::Center:
                offset = free / 2.0f;
                break;
            case Justify::SpaceBetween:
                if (free > 0.0f && count > 1) {
                    between = free / static_cast<float>(count - 1);
                }
                break;
            case Justify::SpaceAround:
                if (free > 0.0f && count > 0) {
                    between = free / static_cast<float>(count);
                    offset = between / 2.0f;
                } else {
                    offset = free / 2.0f;
                }
                break;
            case Justify::SpaceEvenly:
                if (free > 0.0f) {
                    between = free / static_cast<float>(count + 1);
                    offset = between;
                } else {
                    offset = free / 2.0f;
                }
                break;
            }
            if (scrolls(s, m)) {
                offset = std::max(offset, 0.0f);  // never push content before the scroll origin
            }
            float pos = b.pad_start[m] + offset;
            for (Item& it : line_span(line)) {
                it.main_pos = pos + it.box.margin_start[m];
                pos += it.target + it.box.margin[m] + gap + between;
                const float free_cross = line.cross - it.cross - it.box.margin[x];
                float cross_offset = 0.0f;
                if (it.align == Align::End) {
                    cross_offset = free_cross;
                } else if (it.align == Align::Center) {
                    cross_offset = free_cross / 2.0f;
                }
                it.cross_pos = line_start + cross_offset + it.box.margin_start[x];

                Opt2 k;
                k[m] = it.target;
                k[x] = it.cross;
                const Avail2 space{AvailableSpace::definite(k[kX].value_or(0.0f)),
                                   AvailableSpace::definite(k[kY].value_or(0.0f))};
                const Vec2 child_size = compute(it.id, k, space, final_inner, Mode::Perform);
                Vec2 pos2{};
                pos2[m] = it.main_pos;
                pos2[x] = it.cross_pos;
                tree_.nodes_[it.id.index].layout = Layout{pos2[kX], pos2[kY], child_size[kX], child_size[kY]};
            }
            line_start += line.cross + cross_gap;
        }
        return size;
    }

    Tree& tree_;
    const MeasureFn& measure_;
    std::vector<NodeCache> node_cache_;
    std::vector<std::uint32_t> measure_slot_;
    std::vector<MeasureCache> measure_cache_;
};

void Tree::compute_layout(NodeId root, AvailableSize available, const MeasureFn& measure, bool round)
{
    node(root);  // validates
    Solver solver(*this, measure);
    solver.check_tree(root);
    solver.layout_root(root, available);
    if (round) {
        solver.round_tree(root, 0.0f, 0.0f, 0.0f, 0.0f);
    }
}

}  // namespace flex_layout
