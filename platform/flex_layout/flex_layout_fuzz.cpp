// Random trees and styles, including hostile numbers (NaN, infinities, negative sizes): layout must finish, and
// every box must come out finite with a size that is not negative (and whole pixels when rounding).

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "flex_layout/flex_layout.hpp"

namespace {

using namespace flex_layout;

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }
    [[nodiscard]] bool empty() const { return pos_ >= size_; }

    float number()
    {
        const std::uint8_t b = next();
        switch (b) {
        case 255:
            return std::numeric_limits<float>::quiet_NaN();
        case 254:
            return std::numeric_limits<float>::infinity();
        case 253:
            return -std::numeric_limits<float>::infinity();
        case 252:
            return 1e30f;
        default:
            return (static_cast<float>(b) - 40.0f) * 2.5f;
        }
    }
    Dimension dimension()
    {
        switch (next() % 4) {
        case 0:
        case 1:
            return Dimension::automatic();
        case 2:
            return Dimension::points(number());
        default:
            return Dimension::percent(number() / 100.0f);
        }
    }
    AvailableSpace space()
    {
        switch (next() % 3) {
        case 0:
            return AvailableSpace::definite(number() * 8.0f);
        case 1:
            return AvailableSpace::min_content();
        default:
            return AvailableSpace::max_content();
        }
    }
    Edges edges() { return {number() / 4.0f, number() / 4.0f, number() / 4.0f, number() / 4.0f}; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

Style style_from(Bytes& in)
{
    Style s;
    const std::uint8_t flags = in.next();
    s.display = (flags & 0x01) != 0 && (flags & 0x02) != 0 ? Display::None : Display::Flex;
    s.direction = (flags & 0x04) != 0 ? FlexDirection::Column : FlexDirection::Row;
    s.wrap = (flags & 0x08) != 0 ? FlexWrap::Wrap : FlexWrap::NoWrap;
    s.overflow_x = (flags & 0x10) != 0 ? Overflow::Scroll : Overflow::Visible;
    s.overflow_y = (flags & 0x20) != 0 ? Overflow::Scroll : Overflow::Visible;
    const std::uint8_t which = in.next();  // which of the remaining fields to set, to keep inputs short
    if ((which & 0x01) != 0) {
        s.width = in.dimension();
        s.height = in.dimension();
    }
    if ((which & 0x02) != 0) {
        s.min_width = in.dimension();
        s.min_height = in.dimension();
        s.max_width = in.dimension();
        s.max_height = in.dimension();
    }
    if ((which & 0x04) != 0) {
        s.padding = in.edges();
        s.margin = in.edges();
    }
    if ((which & 0x08) != 0) {
        s.gap = in.number() / 4.0f;
        s.cross_gap = in.number() / 4.0f;
    }
    if ((which & 0x10) != 0) {
        s.flex_grow = in.number() / 20.0f;
        s.flex_shrink = in.number() / 20.0f;
        s.flex_basis = in.dimension();
    }
    if ((which & 0x20) != 0) {
        const std::uint8_t align = in.next();
        s.align_items = static_cast<Align>(align % 4);
        if ((align & 0x80) != 0) {
            s.align_self = static_cast<Align>((align >> 2) % 4);
        }
        s.justify = static_cast<Justify>((align >> 4) % 6);
    }
    return s;
}

bool sound(const Layout& l, bool rounded)
{
    const float values[] = {l.x, l.y, l.width, l.height};
    for (float v : values) {
        if (!std::isfinite(v) || (rounded && v != std::round(v))) {
            return false;
        }
    }
    return l.width >= 0.0f && l.height >= 0.0f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bytes in(data, size);
    const std::size_t count = 1 + in.next() % 48;
    const bool round = (in.next() & 1) != 0;
    const AvailableSize available{in.space(), in.space()};
    Tree tree;
    std::vector<int> words;
    for (std::size_t i = 0; i < count && (i == 0 || !in.empty()); ++i) {
        const std::uint8_t kind = in.next();
        const Style style = style_from(in);
        const NodeId id = (kind & 1) != 0 ? tree.new_measured_leaf(style) : tree.new_leaf(style);
        words.push_back(kind >> 1);
        if (i > 0) {  // every node hangs below an earlier one, so the tree has no cycles
            tree.add_child(NodeId{static_cast<std::uint32_t>(in.next() % i)}, id);
        }
    }
    const MeasureFn measure = [&words](NodeId id, KnownSize known, AvailableSize space) {
        const float full = 9.0f * static_cast<float>(words[id.index]);
        float limit = full;
        if (known.width) {
            limit = *known.width;
        } else if (space.width.is_definite()) {
            limit = space.width.value;
        } else if (space.width.kind == AvailableSpace::Kind::MinContent) {
            limit = 9.0f;
        }
        const float width = std::min(full, std::max(limit, 9.0f));
        const float lines = width > 0.0f ? std::ceil(full / width) : 0.0f;
        return Size{known.width.value_or(width), known.height.value_or(lines * 14.0f)};
    };
    tree.compute_layout(NodeId{0}, available, measure, round);
    for (std::uint32_t i = 0; i < tree.node_count(); ++i) {
        if (!sound(tree.layout(NodeId{i}), round)) {
            std::abort();
        }
    }
    return 0;
}
