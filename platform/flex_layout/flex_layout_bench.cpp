// Layout of a tree shaped like a settings window: a sidebar of 22 section rows in five groups, and a scrolling
// page of cards whose setting rows hold a title, a caption, a flexible spacer and a control. Text leaves use a
// cheap fake measure (7 px per character, wrapped to the width offered), so the numbers are the solver's own cost.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "flex_layout/flex_layout.hpp"

namespace {

using namespace flex_layout;

struct Page {
    Tree tree;
    NodeId root;
    std::vector<int> text_chars;    // per node: characters of a text leaf, 0 for a control
    std::vector<Size> control_size;  // per node: natural size of a control leaf
    std::size_t measure_calls = 0;

    NodeId text(int chars, float line_height, Style style = {})
    {
        const NodeId id = tree.new_measured_leaf(style);
        grow_to(id);
        text_chars[id.index] = chars;
        control_size[id.index] = {0.0f, line_height};
        return id;
    }
    NodeId control(Size natural)
    {
        const NodeId id = tree.new_measured_leaf({});
        grow_to(id);
        control_size[id.index] = natural;
        return id;
    }
    NodeId node(const Style& style, const std::vector<NodeId>& children)
    {
        return tree.new_with_children(style, children);
    }
    void grow_to(NodeId id)
    {
        if (text_chars.size() <= id.index) {
            text_chars.resize(id.index + 1, 0);
            control_size.resize(id.index + 1);
        }
    }

    Size measure(NodeId id, KnownSize known, AvailableSize available)
    {
        ++measure_calls;
        const int chars = text_chars[id.index];
        const Size natural = control_size[id.index];
        if (chars == 0) {
            return {known.width.value_or(natural.width), known.height.value_or(natural.height)};
        }
        const float full = 7.0f * static_cast<float>(chars);
        float limit = std::numeric_limits<float>::infinity();
        if (known.width) {
            limit = *known.width;
        } else if (available.width.is_definite()) {
            limit = available.width.value;
        } else if (available.width.kind == AvailableSpace::Kind::MinContent) {
            limit = 70.0f;  // the longest word
        }
        const float width = std::min(full, std::max(limit, 70.0f));
        const float lines = std::ceil(full / width);
        return {known.width.value_or(width), known.height.value_or(lines * natural.height)};
    }
};

void build(Page& p)
{
    constexpr auto pt = &Dimension::points;
    constexpr auto pct = &Dimension::percent;

    // Sidebar: search field, then five groups of section rows (icon and name).
    std::vector<NodeId> side{p.control({240, 32})};
    const int groups[] = {5, 4, 5, 4, 4};
    for (int g = 0; g < 5; ++g) {
        side.push_back(p.text(12, 16, {.margin = {8, 0, 12, 4}}));
        for (int r = 0; r < groups[g]; ++r) {
            side.push_back(p.node({.min_height = pt(36), .padding = Edges::symmetric(12, 6), .gap = 10,
                                   .align_items = Align::Center},
                                  {p.control({20, 20}), p.text(8 + (r * 5) % 14, 18, {.flex_shrink = 1})}));
        }
    }
    const NodeId sidebar = p.node({.direction = FlexDirection::Column, .width = pt(264), .padding = Edges::all(12),
                                   .gap = 2, .flex_shrink = 0, .overflow_y = Overflow::Scroll},
                                  side);

    // Page: header, then cards of setting rows.
    std::vector<NodeId> cards{p.text(24, 28), p.text(120, 18)};
    for (int c = 0; c < 8; ++c) {
        std::vector<NodeId> rows{p.text(18, 20)};
        for (int r = 0; r < 5; ++r) {
            const NodeId labels = p.node({.direction = FlexDirection::Column, .gap = 2, .flex_shrink = 1},
                                         {p.text(10 + (c + r) % 20, 18), p.text(30 + (c * r) % 70, 16)});
            const NodeId spacer = p.node({.flex_grow = 1, .flex_basis = pt(0)}, {});
            const Size natural = (r % 3 == 0) ? Size{44, 24} : (r % 3 == 1) ? Size{180, 32} : Size{96, 32};
            rows.push_back(p.node({.min_height = pt(40), .padding = Edges::symmetric(16, 8), .gap = 12,
                                   .align_items = Align::Center},
                                  {labels, spacer, p.control(natural)}));
        }
        cards.push_back(p.node({.direction = FlexDirection::Column, .padding = Edges::all(16), .gap = 8}, rows));
    }
    const NodeId page = p.node({.direction = FlexDirection::Column, .width = pct(1.0), .max_width = pt(1040),
                                .padding = Edges::all(24), .gap = 24},
                               cards);
    const NodeId scroller = p.node({.direction = FlexDirection::Column, .flex_grow = 1, .flex_basis = pt(0),
                                    .align_items = Align::Center, .overflow_y = Overflow::Scroll},
                                   {page});
    p.root = p.node({.width = pct(1.0), .height = pct(1.0)}, {sidebar, scroller});
}

void BM_SettingsPageLayout(benchmark::State& state)
{
    Page p;
    build(p);
    const MeasureFn measure = [&p](NodeId id, KnownSize k, AvailableSize a) { return p.measure(id, k, a); };
    const AvailableSize window{AvailableSpace::definite(1280), AvailableSpace::definite(800)};
    for (auto _ : state) {
        p.tree.compute_layout(p.root, window, measure);
        benchmark::DoNotOptimize(p.tree.layout(p.root));
    }
    state.counters["nodes"] = static_cast<double>(p.tree.node_count());
    state.counters["measures_per_layout"] =
        static_cast<double>(p.measure_calls) / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
}
BENCHMARK(BM_SettingsPageLayout);

// A window being resized: every layout sees a new width.
void BM_SettingsPageResize(benchmark::State& state)
{
    Page p;
    build(p);
    const MeasureFn measure = [&p](NodeId id, KnownSize k, AvailableSize a) { return p.measure(id, k, a); };
    float width = 720.0f;
    for (auto _ : state) {
        width = width >= 1600.0f ? 720.0f : width + 7.0f;
        p.tree.compute_layout(p.root, {AvailableSpace::definite(width), AvailableSpace::definite(800)}, measure);
        benchmark::DoNotOptimize(p.tree.layout(p.root));
    }
}
BENCHMARK(BM_SettingsPageResize);

}  // namespace
