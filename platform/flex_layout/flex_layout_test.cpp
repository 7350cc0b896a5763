#include "flex_layout/flex_layout.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace flex_layout {

// Printed by gtest when a layout differs.
void PrintTo(const Layout& l, std::ostream* os)
{
    *os << "{x " << l.x << ", y " << l.y << ", w " << l.width << ", h " << l.height << "}";
}

namespace {

constexpr auto pt = &Dimension::points;
constexpr auto pct = &Dimension::percent;

AvailableSize definite(float w, float h) { return {AvailableSpace::definite(w), AvailableSpace::definite(h)}; }
AvailableSize width_only(float w) { return {AvailableSpace::definite(w), AvailableSpace::max_content()}; }

// A fake text of `words` words, each 40 wide with 10 between them, in lines 20 high, wrapped greedily to the known
// width, else to the definite available width; min-content puts every word on its own line.
Size measure_words(int words, KnownSize known, AvailableSize available)
{
    float limit = std::numeric_limits<float>::infinity();
    if (known.width) {
        limit = *known.width;
    } else if (available.width.is_definite()) {
        limit = available.width.value;
    } else if (available.width.kind == AvailableSpace::Kind::MinContent) {
        limit = 0.0f;
    }
    float widest = 0.0f;
    float line = 0.0f;
    int lines = words > 0 ? 1 : 0;
    for (int i = 0; i < words; ++i) {
        if (line > 0.0f && line + 50.0f > limit) {
            widest = std::max(widest, line);
            line = 0.0f;
            ++lines;
        }
        line += line > 0.0f ? 50.0f : 40.0f;
    }
    widest = std::max(widest, line);
    return {known.width.value_or(widest), known.height.value_or(20.0f * static_cast<float>(lines))};
}

struct MeasureCall {
    std::uint32_t node;
    KnownSize known;
    AvailableSize available;
};

// A tree whose nodes have names, with fake texts and fixed-size widgets as measured leaves.
class Scene {
public:
    NodeId box(const std::string& name, const Style& style, std::initializer_list<NodeId> children = {})
    {
        const NodeId id = tree.new_with_children(style, std::vector<NodeId>(children));
        names_[name] = id;
        return id;
    }
    NodeId text(const std::string& name, const Style& style, int words)
    {
        const NodeId id = tree.new_measured_leaf(style);
        names_[name] = id;
        measures_[id.index] = [words](KnownSize k, AvailableSize a) { return measure_words(words, k, a); };
        return id;
    }
    NodeId widget(const std::string& name, const Style& style, Size natural)
    {
        const NodeId id = tree.new_measured_leaf(style);
        names_[name] = id;
        measures_[id.index] = [natural](KnownSize k, AvailableSize) {
            return Size{k.width.value_or(natural.width), k.height.value_or(natural.height)};
        };
        return id;
    }
    void layout(NodeId root, AvailableSize available, bool round = true)
    {
        calls.clear();
        tree.compute_layout(
            root, available,
            [this](NodeId node, KnownSize known, AvailableSize space) {
                calls.push_back({node.index, known, space});
                return measures_.at(node.index)(known, space);
            },
            round);
    }
    [[nodiscard]] NodeId id(const std::string& name) const { return names_.at(name); }
    [[nodiscard]] const Layout& at(const std::string& name) const { return tree.layout(id(name)); }

    Tree tree;
    std::vector<MeasureCall> calls;

private:
    std::map<std::string, NodeId> names_;
    std::map<std::uint32_t, std::function<Size(KnownSize, AvailableSize)>> measures_;
};

struct LayoutCase {
    std::string name;
    std::function<NodeId(Scene&)> build;  // returns the root
    AvailableSize available;
    std::vector<std::pair<std::string, Layout>> expected;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class LayoutTable : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTable, PlacesEveryNode)
{
    const LayoutCase& c = GetParam();
    Scene scene;
    const NodeId root = c.build(scene);
    scene.layout(root, c.available);
    for (const auto& [name, expected] : c.expected) {
        EXPECT_EQ(scene.at(name), expected) << "node " << name;
    }
}

// Two items 50 wide in a row 400 wide, distributed by `justify`.
LayoutCase justify_case(std::string name, Justify justify, float x_a, float x_b, float row_width = 400.0f)
{
    return {std::move(name),
            [justify](Scene& s) {
                return s.box("root", {.justify = justify},
                             {s.box("a", {.width = pt(50), .flex_shrink = 0}),
                              s.box("b", {.width = pt(50), .flex_shrink = 0})});
            },
            definite(row_width, 10),
            {{"a", {x_a, 0, 50, 10}}, {"b", {x_b, 0, 50, 10}}}};
}

const std::vector<LayoutCase> kLayoutCases = {
    // Row and column basics.
    {"row_places_children_in_order_and_stretches_them",
     [](Scene& s) { return s.box("root", {}, {s.box("a", {.width = pt(100)}), s.box("b", {.width = pt(50)})}); },
     definite(400, 100),
     {{"root", {0, 0, 400, 100}}, {"a", {0, 0, 100, 100}}, {"b", {100, 0, 50, 100}}}},
    {"column_stacks_children_and_stretches_their_width",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column},
                      {s.box("a", {.height = pt(30)}), s.box("b", {.height = pt(20)})});
     },
     definite(400, 100),
     {{"a", {0, 0, 400, 30}}, {"b", {0, 30, 400, 20}}}},
    {"padding_insets_and_gap_separates",
     [](Scene& s) {
         return s.box("root", {.padding = {10, 20, 5, 15}, .gap = 8},
                      {s.box("a", {.width = pt(50)}), s.box("b", {.width = pt(60)})});
     },
     definite(400, 100),
     {{"a", {10, 5, 50, 80}}, {"b", {68, 5, 60, 80}}}},
    {"margins_offset_items_and_reduce_the_stretch",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.width = pt(50), .margin = {5, 3, 7, 2}}), s.box("b", {.width = pt(20)})});
     },
     definite(400, 100),
     {{"a", {5, 7, 50, 91}}, {"b", {58, 0, 20, 100}}}},
    {"root_margins_and_stretch",
     [](Scene& s) { return s.box("root", {.margin = Edges::all(10)}); },
     definite(400, 300),
     {{"root", {10, 10, 380, 280}}}},
    {"root_that_does_not_stretch_takes_its_content_size",
     [](Scene& s) {
         return s.box("root", {.align_self = Align::Center}, {s.box("a", {.width = pt(30), .height = pt(10)})});
     },
     definite(400, 300),
     {{"root", {0, 0, 30, 10}}}},

    // Percentages.
    {"percent_of_the_parent_inner_size",
     [](Scene& s) {
         return s.box("root", {.padding = Edges::symmetric(0, 20)},
                      {s.box("a", {.width = pct(0.5), .height = pct(0.25)}), s.box("b", {.width = pct(0.25)})});
     },
     definite(400, 240),
     {{"a", {0, 20, 200, 50}}, {"b", {200, 20, 100, 200}}}},
    {"percent_against_an_indefinite_size_is_auto",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column},
                      {s.box("a", {.height = pct(0.5)}, {s.box("a1", {.height = pt(30)})}),
                       s.box("b", {.width = pct(0.5)})});
     },
     width_only(400),
     {{"root", {0, 0, 400, 30}}, {"a", {0, 0, 400, 30}}, {"b", {0, 30, 200, 0}}}},
    {"root_percent_of_the_available_size",
     [](Scene& s) { return s.box("root", {.width = pct(0.5), .height = pct(1.0)}); },
     definite(400, 300),
     {{"root", {0, 0, 200, 300}}}},
    {"page_container_keeps_its_max_width_and_centres",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column, .align_items = Align::Center},
                      {s.box("page", {.width = pct(1.0), .height = pt(100), .max_width = pt(1040)})});
     },
     definite(1280, 800),
     {{"page", {120, 0, 1040, 100}}}},

    // Minimum and maximum sizes.
    {"min_and_max_on_the_main_axis",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.width = pt(500), .max_width = pt(300)}),
                       s.box("b", {.width = pt(50), .min_width = pt(80)})});
     },
     definite(400, 100),
     {{"a", {0, 0, 300, 100}}, {"b", {300, 0, 80, 100}}}},
    {"min_and_max_on_the_cross_axis_min_wins",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column},
                      {s.box("a", {.height = pt(10), .max_width = pt(120)}), s.box("b", {.min_height = pt(40)}),
                       s.box("c", {.width = pt(50), .height = pt(10), .min_width = pt(90), .max_width = pt(60)})});
     },
     definite(400, 300),
     {{"a", {0, 0, 120, 10}}, {"b", {0, 10, 400, 40}}, {"c", {0, 50, 90, 10}}}},
    {"max_width_limits_the_width_text_wraps_to",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column, .align_items = Align::Center},
                      {s.box("box", {.direction = FlexDirection::Column, .max_width = pt(300)},
                             {s.text("t", {}, 10)})});
     },
     width_only(1000),
     {{"box", {355, 0, 290, 40}}, {"t", {0, 0, 290, 40}}}},
    {"padding_is_the_smallest_a_box_can_be",
     [](Scene& s) {
         return s.box("root", {}, {s.box("a", {.width = pt(10), .max_width = pt(5), .padding = Edges::all(12)})});
     },
     definite(400, 100),
     {{"a", {0, 0, 24, 100}}}},

    // Grow, shrink and basis.
    {"grow_shares_free_space_by_factor",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.width = pt(100), .flex_grow = 1}),
                       s.box("b", {.width = pt(100), .flex_grow = 3})});
     },
     definite(400, 100),
     {{"a", {0, 0, 150, 100}}, {"b", {150, 0, 250, 100}}}},
    {"grow_stops_at_max_and_the_rest_flexes_on",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.max_width = pt(120), .flex_grow = 1}), s.box("b", {.flex_grow = 1})});
     },
     definite(400, 100),
     {{"a", {0, 0, 120, 100}}, {"b", {120, 0, 280, 100}}}},
    {"grow_factors_below_one_leave_space_unused",
     [](Scene& s) {
         return s.box("root", {}, {s.box("a", {.flex_grow = 0.25f}), s.box("b", {.flex_grow = 0.25f})});
     },
     definite(400, 100),
     {{"a", {0, 0, 100, 100}}, {"b", {100, 0, 100, 100}}}},
    {"shrink_weights_by_factor_and_base_size",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.width = pt(200)}), s.box("b", {.width = pt(200), .flex_shrink = 3})});
     },
     definite(300, 100),
     {{"a", {0, 0, 175, 100}}, {"b", {175, 0, 125, 100}}}},
    {"shrink_stops_at_min",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.width = pt(200), .min_width = pt(190)}), s.box("b", {.width = pt(200)})});
     },
     definite(300, 100),
     {{"a", {0, 0, 190, 100}}, {"b", {190, 0, 110, 100}}}},
    {"shrink_zero_keeps_the_size",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.width = pt(200), .flex_shrink = 0}), s.box("b", {.width = pt(200)})});
     },
     definite(300, 100),
     {{"a", {0, 0, 200, 100}}, {"b", {200, 0, 100, 100}}}},
    {"basis_overrides_width",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.width = pt(300), .flex_grow = 1, .flex_basis = pt(100)}),
                       s.box("b", {.flex_grow = 1, .flex_basis = pt(200)})});
     },
     definite(400, 100),
     {{"a", {0, 0, 150, 100}}, {"b", {150, 0, 250, 100}}}},
    {"percent_basis_and_zero_basis_spacer",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("a", {.flex_basis = pct(0.5)}),
                       s.box("spacer", {.flex_grow = 1, .flex_basis = pt(0)}), s.box("c", {.width = pt(40)})});
     },
     definite(400, 100),
     {{"a", {0, 0, 200, 100}}, {"spacer", {200, 0, 160, 100}}, {"c", {360, 0, 40, 100}}}},
    {"column_grow_fills_the_height",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column},
                      {s.box("header", {.height = pt(50)}), s.box("body", {.flex_grow = 1})});
     },
     definite(400, 300),
     {{"header", {0, 0, 400, 50}}, {"body", {0, 50, 400, 250}}}},
    {"zero_basis_text_keeps_its_min_content_width",
     [](Scene& s) {
         return s.box("root", {},
                      {s.text("t", {.flex_grow = 1, .flex_basis = pt(0)}, 10),
                       s.box("b", {.width = pt(280), .flex_shrink = 0})});
     },
     width_only(300),
     {{"t", {0, 0, 40, 200}}, {"b", {40, 0, 280, 200}}}},

    // Cross-axis alignment.
    {"align_items_and_align_self",
     [](Scene& s) {
         return s.box("root", {.align_items = Align::Center},
                      {s.box("center", {.width = pt(50), .height = pt(20)}),
                       s.box("end", {.width = pt(50), .height = pt(20), .align_self = Align::End}),
                       s.box("start", {.width = pt(50), .height = pt(20), .align_self = Align::Start}),
                       s.box("stretch", {.width = pt(50), .align_self = Align::Stretch}),
                       s.box("sized", {.width = pt(50), .height = pt(20), .align_self = Align::Stretch})});
     },
     definite(400, 100),
     {{"center", {0, 40, 50, 20}},
      {"end", {50, 80, 50, 20}},
      {"start", {100, 0, 50, 20}},
      {"stretch", {150, 0, 50, 100}},
      {"sized", {200, 0, 50, 20}}}},
    {"setting_row_centres_its_children_within_its_min_height",
     [](Scene& s) {
         return s.box(
             "root", {.direction = FlexDirection::Column},
             {s.box("row", {.min_height = pt(40), .padding = Edges::symmetric(12, 0), .gap = 8,
                            .align_items = Align::Center},
                    {s.text("label", {}, 3), s.box("spacer", {.flex_grow = 1}),
                     s.widget("toggle", {}, {44, 24})})});
     },
     width_only(600),
     {{"row", {0, 0, 600, 40}},
      {"label", {12, 10, 140, 20}},
      {"spacer", {160, 20, 376, 0}},
      {"toggle", {544, 8, 44, 24}}}},

    // Main-axis distribution.
    justify_case("justify_start", Justify::Start, 0, 50),
    justify_case("justify_end", Justify::End, 300, 350),
    justify_case("justify_center", Justify::Center, 150, 200),
    justify_case("justify_space_between", Justify::SpaceBetween, 0, 350),
    justify_case("justify_space_around", Justify::SpaceAround, 75, 275),
    justify_case("justify_space_evenly", Justify::SpaceEvenly, 100, 250),
    justify_case("space_between_without_room_starts_at_the_start", Justify::SpaceBetween, 0, 50, 60),
    justify_case("space_around_without_room_centres", Justify::SpaceAround, -20, 30, 60),

    // Wrapping.
    {"wrap_breaks_lines_with_gap_and_cross_gap",
     [](Scene& s) {
         const Style item{.width = pt(80), .height = pt(30)};
         return s.box("root", {.wrap = FlexWrap::Wrap, .gap = 10, .cross_gap = 5},
                      {s.box("a", item), s.box("b", item), s.box("c", item)});
     },
     width_only(200),
     {{"root", {0, 0, 200, 65}}, {"a", {0, 0, 80, 30}}, {"b", {90, 0, 80, 30}}, {"c", {0, 35, 80, 30}}}},
    {"wrap_stretches_items_to_their_line",
     [](Scene& s) {
         return s.box("root", {.wrap = FlexWrap::Wrap, .gap = 10, .cross_gap = 5},
                      {s.box("a", {.width = pt(80), .height = pt(30)}), s.box("b", {.width = pt(80)}),
                       s.box("c", {.width = pt(80), .height = pt(20)})});
     },
     width_only(200),
     {{"root", {0, 0, 200, 55}}, {"b", {90, 0, 80, 30}}, {"c", {0, 35, 80, 20}}}},
    {"wrapped_lines_each_flex_on_their_own",
     [](Scene& s) {
         const Style item{.width = pt(80), .height = pt(10), .flex_grow = 1};
         return s.box("root", {.wrap = FlexWrap::Wrap}, {s.box("a", item), s.box("b", item), s.box("c", item)});
     },
     width_only(200),
     {{"a", {0, 0, 100, 10}}, {"b", {100, 0, 100, 10}}, {"c", {0, 10, 200, 10}}}},

    // Display none.
    {"display_none_takes_no_space_and_no_gap",
     [](Scene& s) {
         return s.box("root", {.gap = 10},
                      {s.box("hidden", {.display = Display::None, .width = pt(100)},
                             {s.box("inside", {.width = pt(10)})}),
                       s.box("b", {.width = pt(50)}), s.box("c", {.width = pt(50)})});
     },
     definite(400, 100),
     {{"hidden", {0, 0, 0, 0}}, {"inside", {0, 0, 0, 0}}, {"b", {0, 0, 50, 100}}, {"c", {60, 0, 50, 100}}}},

    // Containers sized by their content.
    {"nested_row_sizes_to_its_content",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column, .align_items = Align::Start},
                      {s.box("row", {.padding = Edges::all(2), .gap = 5},
                             {s.box("x", {.width = pt(30)}, {s.box("x1", {.height = pt(10)})}),
                              s.box("y", {.width = pt(40), .height = pt(20)})})});
     },
     definite(400, 300),
     {{"row", {0, 0, 79, 24}}, {"x", {2, 2, 30, 20}}, {"y", {37, 2, 40, 20}}}},
    {"nested_column_sizes_to_its_content",
     [](Scene& s) {
         return s.box("root", {},
                      {s.box("col", {.direction = FlexDirection::Column},
                             {s.box("i", {.width = pt(20), .height = pt(10)}),
                              s.box("j", {.height = pt(15)}, {s.box("j1", {.width = pt(35)})})}),
                       s.box("after", {.width = pt(10)})});
     },
     width_only(400),
     {{"root", {0, 0, 400, 25}},
      {"col", {0, 0, 35, 25}},
      {"i", {0, 0, 20, 10}},
      {"j", {0, 10, 35, 15}},
      {"after", {35, 0, 10, 25}}}},
    {"rows_in_a_centred_column_fit_their_content_into_the_width_offered",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column, .align_items = Align::Center},
                      {s.box("long", {}, {s.text("t", {}, 10)}), s.box("short", {}, {s.text("u", {}, 2)})});
     },
     width_only(300),
     {{"long", {0, 0, 300, 40}}, {"t", {0, 0, 300, 40}}, {"short", {105, 40, 90, 20}}}},

    // Measured text leaves.
    {"text_wraps_to_the_width_it_is_stretched_to",
     [](Scene& s) { return s.box("root", {.direction = FlexDirection::Column}, {s.text("t", {}, 10)}); },
     width_only(400),
     {{"root", {0, 0, 400, 40}}, {"t", {0, 0, 400, 40}}}},
    {"text_shrinks_in_a_row_and_wraps",
     [](Scene& s) {
         return s.box("root", {}, {s.text("t", {}, 10), s.box("b", {.width = pt(100), .flex_shrink = 0})});
     },
     width_only(300),
     {{"t", {0, 0, 200, 60}}, {"b", {200, 0, 100, 60}}}},
    {"text_padding_is_outside_the_measured_content",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column},
                      {s.text("t", {.padding = Edges::all(5)}, 10)});
     },
     width_only(400),
     {{"t", {0, 0, 400, 50}}}},

    // Scrolling.
    {"scroll_axis_leaves_content_at_its_own_height",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column},
                      {s.box("header", {.height = pt(50), .flex_shrink = 0}),
                       s.box("scroller", {.direction = FlexDirection::Column, .flex_grow = 1,
                                          .overflow_y = Overflow::Scroll},
                             {s.box("page", {.height = pt(1000)}), s.box("more", {.height = pt(10)})})});
     },
     definite(400, 300),
     {{"scroller", {0, 50, 400, 250}}, {"page", {0, 0, 400, 1000}}, {"more", {0, 1000, 400, 10}}}},
    {"without_scroll_the_content_holds_the_container_open",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column},
                      {s.box("header", {.height = pt(50), .flex_shrink = 0}),
                       s.box("plain", {.direction = FlexDirection::Column, .flex_grow = 1},
                             {s.box("page", {}, {s.box("tall", {.height = pt(1000)})})})});
     },
     definite(400, 300),
     {{"plain", {0, 50, 400, 1000}}, {"page", {0, 0, 400, 1000}}}},
    {"scroll_content_still_grows_to_fill_the_viewport",
     [](Scene& s) {
         return s.box("root", {.direction = FlexDirection::Column, .overflow_y = Overflow::Scroll},
                      {s.box("a", {.height = pt(50)}), s.box("fill", {.flex_grow = 1})});
     },
     definite(400, 300),
     {{"fill", {0, 50, 400, 250}}}},

    // Pixel rounding.
    {"rounding_keeps_neighbours_touching",
     [](Scene& s) {
         const Style third{.flex_grow = 1};
         return s.box("root", {}, {s.box("a", third), s.box("b", third), s.box("c", third)});
     },
     definite(100, 10),
     {{"a", {0, 0, 33, 10}}, {"b", {33, 0, 34, 10}}, {"c", {67, 0, 33, 10}}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, LayoutTable, testing::ValuesIn(kLayoutCases),
                         [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

// ---- measured leaves ----

MATCHER_P3(CallWith, node, known, available, "")
{
    return arg.node == node && arg.known == known && arg.available == available;
}

TEST(Measure, LeafGetsTheKnownWidthAndTheSpaceTheParentOffers)
{
    Scene s;
    const NodeId text = s.text("t", {}, 10);
    const NodeId root = s.box("root", {.direction = FlexDirection::Column}, {text});
    s.layout(root, width_only(400));
    EXPECT_THAT(s.calls,
                testing::ElementsAre(CallWith(text.index, (KnownSize{400.0f, std::nullopt}),
                                              (AvailableSize{AvailableSpace::definite(400),
                                                             AvailableSpace::max_content()}))));
}

TEST(Measure, LeafAsRootReportsItsMinAndMaxContentSize)
{
    Scene s;
    const NodeId text = s.text("t", {}, 10);
    s.layout(text, {AvailableSpace::min_content(), AvailableSpace::max_content()});
    EXPECT_EQ(s.at("t"), (Layout{0, 0, 40, 200}));
    ASSERT_EQ(s.calls.size(), 1u);
    EXPECT_EQ(s.calls[0].available.width, AvailableSpace::min_content());
    EXPECT_EQ(s.calls[0].known, KnownSize{});

    s.layout(text, {AvailableSpace::max_content(), AvailableSpace::max_content()});
    EXPECT_EQ(s.at("t"), (Layout{0, 0, 490, 20}));
}

TEST(Measure, ContainerAsksForMinContentOnlyWhenAnItemMustShrink)
{
    Scene s;
    const NodeId text = s.text("t", {}, 3);
    const NodeId root = s.box("root", {}, {text, s.box("b", {.width = pt(100), .flex_shrink = 0})});
    s.layout(root, width_only(1000));
    for (const MeasureCall& call : s.calls) {
        EXPECT_NE(call.available.width.kind, AvailableSpace::Kind::MinContent);
    }

    s.layout(root, width_only(200));  // 140 + 100 > 200: the text shrinks, down to its longest word at most
    EXPECT_TRUE(std::ranges::any_of(s.calls, [](const MeasureCall& c) {
        return c.available.width.kind == AvailableSpace::Kind::MinContent;
    }));
    EXPECT_EQ(s.at("t").width, 100);
    EXPECT_EQ(s.at("t").height, 40);
}

TEST(Measure, RepeatedArgumentsAreMeasuredOncePerLayout)
{
    // Settings-like nesting: columns of rows of text; every level asks its children for sizes more than once.
    Scene s;
    std::vector<NodeId> sections;
    for (int i = 0; i < 4; ++i) {
        std::vector<NodeId> rows;
        for (int j = 0; j < 5; ++j) {
            const std::string n = std::to_string(i) + "." + std::to_string(j);
            rows.push_back(s.box("row" + n, {.min_height = pt(40), .gap = 8, .align_items = Align::Center},
                                 {s.text("label" + n, {.flex_shrink = 1}, 2 + j), s.box("sp" + n, {.flex_grow = 1}),
                                  s.widget("w" + n, {}, {44, 24})}));
        }
        const NodeId card = s.tree.new_with_children({.direction = FlexDirection::Column, .gap = 4}, rows);
        sections.push_back(s.box("card" + std::to_string(i), {.direction = FlexDirection::Column}, {card}));
    }
    const NodeId page = s.tree.new_with_children(
        {.direction = FlexDirection::Column, .max_width = pt(720), .padding = Edges::all(24), .gap = 24,
         .flex_grow = 1},
        sections);
    const NodeId root = s.box("root", {.align_items = Align::Start}, {s.box("side", {.width = pt(264)}), page});
    s.layout(root, definite(1280, 800));

    std::set<std::tuple<std::uint32_t, float, float, int, float, int, float>> distinct;
    for (const MeasureCall& c : s.calls) {
        const auto key = std::tuple(c.node, c.known.width.value_or(-1), c.known.height.value_or(-1),
                                    static_cast<int>(c.available.width.kind), c.available.width.value,
                                    static_cast<int>(c.available.height.kind), c.available.height.value);
        EXPECT_TRUE(distinct.insert(key).second) << "measured twice: node " << c.node;
    }
    EXPECT_EQ(s.at("label3.4").x, 0);
    EXPECT_EQ(s.tree.layout(page).width, 720);
}

TEST(Measure, DeepNestingStaysCheap)
{
    // Forty levels of rows and columns that all size to their content around one text.
    Scene s;
    NodeId inner = s.text("t", {}, 5);
    for (int level = 0; level < 40; ++level) {
        const Style style{.direction = level % 2 == 0 ? FlexDirection::Row : FlexDirection::Column,
                          .padding = Edges::all(1)};
        inner = s.tree.new_with_children(style, std::vector<NodeId>{inner});
    }
    const NodeId root = s.box("root", {.align_items = Align::Start}, {inner});
    s.layout(root, width_only(1000));
    EXPECT_LE(s.calls.size(), 8u);
    EXPECT_EQ(s.at("t"), (Layout{1, 1, 240, 20}));
    EXPECT_EQ(s.tree.layout(inner), (Layout{0, 0, 320, 100}));
}

TEST(Measure, NoMeasureFunctionOrABadAnswerTakesNoSpace)
{
    Tree tree;
    const NodeId leaf = tree.new_measured_leaf({.padding = Edges::all(3)});
    const NodeId root = tree.new_with_children({.align_items = Align::Start}, std::vector<NodeId>{leaf});
    tree.compute_layout(root, definite(100, 100));
    EXPECT_EQ(tree.layout(leaf), (Layout{0, 0, 6, 6}));

    tree.compute_layout(root, definite(100, 100), [](NodeId, KnownSize, AvailableSize) {
        return Size{std::numeric_limits<float>::quiet_NaN(), -5.0f};
    });
    EXPECT_EQ(tree.layout(leaf), (Layout{0, 0, 6, 6}));
}

TEST(Measure, EveryLayoutStartsFromFreshAnswers)
{
    Scene s;
    const NodeId root = s.box("root", {.direction = FlexDirection::Column}, {s.text("t", {}, 10)});
    s.layout(root, width_only(400));
    EXPECT_EQ(s.at("t").height, 40);
    s.layout(root, width_only(200));
    EXPECT_EQ(s.at("t").height, 60);
    EXPECT_FALSE(s.calls.empty());
}

// ---- rounding ----

TEST(Rounding, EdgesOfNeighboursAndDescendantsMeet)
{
    Tree tree;
    std::vector<NodeId> items;
    std::vector<NodeId> fills;
    for (int i = 0; i < 7; ++i) {
        fills.push_back(tree.new_leaf({.width = pct(1.0)}));
        items.push_back(tree.new_with_children({.flex_grow = 1}, std::vector<NodeId>{fills.back()}));
    }
    const NodeId root = tree.new_with_children({.padding = {0.3f, 0.0f, 0.0f, 0.0f}}, items);
    tree.compute_layout(root, definite(100.6f, 10));

    float edge = tree.layout(root).x + tree.layout(items[0]).x;
    EXPECT_EQ(edge, 0.0f);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Layout& l = tree.layout(items[i]);
        EXPECT_EQ(l.x, std::round(l.x));
        EXPECT_EQ(l.width, std::round(l.width));
        EXPECT_EQ(l.x, edge) << "item " << i;
        EXPECT_EQ(tree.layout(fills[i]), (Layout{0, 0, l.width, 10})) << "item " << i;
        edge = l.x + l.width;
    }
    EXPECT_EQ(edge, 101.0f);  // 0.3 + 100.3, rounded
}

TEST(Rounding, CanBeTurnedOff)
{
    Tree tree;
    const Style third{.flex_grow = 1};
    const NodeId a = tree.new_leaf(third);
    const NodeId b = tree.new_leaf(third);
    const NodeId c = tree.new_leaf(third);
    const NodeId root = tree.new_with_children({}, std::vector<NodeId>{a, b, c});
    tree.compute_layout(root, definite(100, 10), {}, false);
    EXPECT_FLOAT_EQ(tree.layout(b).x, 100.0f / 3.0f);
    EXPECT_FLOAT_EQ(tree.layout(b).width, 100.0f / 3.0f);
}

// ---- errors ----

TEST(Errors, ATreeWhereANodeAppearsTwiceIsRejected)
{
    Tree tree;
    const NodeId shared = tree.new_leaf({});
    const NodeId a = tree.new_with_children({}, std::vector<NodeId>{shared});
    const NodeId b = tree.new_with_children({}, std::vector<NodeId>{shared});
    const NodeId root = tree.new_with_children({}, std::vector<NodeId>{a, b});
    EXPECT_THROW(tree.compute_layout(root, definite(10, 10)), std::invalid_argument);

    tree.add_child(shared, a);  // a cycle: a -> shared -> a
    EXPECT_THROW(tree.compute_layout(a, definite(10, 10)), std::invalid_argument);
}

TEST(Errors, UnknownRootIsRejected)
{
    Tree tree;
    EXPECT_THROW(tree.compute_layout(NodeId{}, definite(10, 10)), std::out_of_range);
    EXPECT_THROW(tree.compute_layout(NodeId{3}, definite(10, 10)), std::out_of_range);
}

TEST(Errors, UnusableAvailableSpaceFallsBackToTheNaturalSize)
{
    Tree tree;
    const NodeId child = tree.new_leaf({.width = pt(30), .height = pt(20)});
    const NodeId root = tree.new_with_children({}, std::vector<NodeId>{child});
    tree.compute_layout(root, {AvailableSpace::definite(std::numeric_limits<float>::infinity()),
                               AvailableSpace::definite(-50)});
    EXPECT_EQ(tree.layout(root), (Layout{0, 0, 30, 0}));
    EXPECT_EQ(tree.layout(child), (Layout{0, 0, 30, 20}));
}

TEST(Errors, HiddenRootIsLaidOutAsNothing)
{
    Tree tree;
    const NodeId child = tree.new_leaf({.width = pt(5)});
    const NodeId root = tree.new_with_children({.display = Display::None}, std::vector<NodeId>{child});
    tree.compute_layout(root, definite(100, 100));
    EXPECT_EQ(tree.layout(root), Layout{});
    EXPECT_EQ(tree.layout(child), Layout{});
}

}  // namespace
}  // namespace flex_layout
