// The toolkit's containers and displays laid out through the real layout tree: spacing, padding, gap, percentages,
// minimum and maximum sizes, flexible space, text wrapping, cards and the shell.

#include "vorn_ui/testing/layout_harness.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_ui {
namespace {

using testing::LayoutHarness;

// A leaf of a fixed size, to see where boxes put their children.
class Block final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::Block", "Block")
    Block(float w, float h) : w_(w), h_(h) {}
    void sync(page_doc::Document&, SyncContext&) override {}
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override
    {
        flex_layout::Style s;
        s.width = flex_layout::Dimension::points(style.scaled(w_));
        s.height = flex_layout::Dimension::points(style.scaled(h_));
        s.flex_shrink = 0.0f;
        const NodeId node = tree.new_leaf(s);
        widgets.insert(node, *this);
        return node;
    }
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double x, double y) override
    {
        rect = rect_from_layout(tree, node, x, y);
    }
    void draw(DrawContext&) const override {}
    void handle_event(const Event&, DispatchContext&) override {}
    [[nodiscard]] Rect get_rect() const override { return rect; }
    Rect rect{};

private:
    float w_;
    float h_;
};

template <class W>
W* add(BoxWidget& box, W widget)
{
    auto owned = std::make_unique<W>(std::move(widget));
    W* raw = owned.get();
    box.push_child(std::move(owned));
    return raw;
}

struct BoxCase {
    const char* name;
    std::function<void(Row&)> style_row;
    Rect first;
    Rect second;
};

TEST(WidgetsLayout, RowPlacesChildrenWithSpacingPaddingAndAlignment)
{
    const std::vector<BoxCase> cases{
        {"plain", [](Row&) {}, {0, 0, 50, 20}, {50, 0, 80, 40}},
        {"spacing", [](Row& r) { r = std::move(r).with_spacing(8.0f); }, {0, 0, 50, 20}, {58, 0, 88, 40}},
        {"padding", [](Row& r) { r = std::move(r).with_padding(10.0f, 4.0f); }, {10, 4, 60, 24}, {60, 4, 90, 44}},
        {"centred", [](Row& r) { r = std::move(r).with_height(60.0f).with_align(flex_layout::Align::Center); },
         {0, 20, 50, 40}, {50, 10, 80, 50}},
        {"end", [](Row& r) { r = std::move(r).with_justify(flex_layout::Justify::End); }, {320, 0, 370, 20},
         {370, 0, 400, 40}},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.name);
        Column root;
        Row row = Row().with_align(flex_layout::Align::Start);
        c.style_row(row);
        Block* a = add(row, Block(50, 20));
        Block* b = add(row, Block(30, 40));
        root.push(std::move(row));
        LayoutHarness h;
        h.lay_out(root, 400, 300);
        EXPECT_EQ(a->rect, c.first);
        EXPECT_EQ(b->rect, c.second);
    }
}

TEST(WidgetsLayout, ColumnStretchesChildrenAndSpacesThem)
{
    Column column = Column().with_spacing(24.0f).with_padding(4.0f);
    Row* first = add(column, Row());
    Block* block = add(*first, Block(10, 30));
    Block* second = add(column, Block(10, 10));
    LayoutHarness h;
    h.lay_out(column, 264, 500);
    EXPECT_EQ(column.get_rect(), (Rect{0, 0, 264, 500}));
    EXPECT_EQ(first->get_rect(), (Rect{4, 4, 260, 34}));  // stretched across, inside the padding
    EXPECT_EQ(block->rect, (Rect{4, 4, 14, 34}));
    EXPECT_EQ(second->rect, (Rect{4, 58, 14, 68}));       // 34 + 24 spacing; a fixed width is not stretched
}

TEST(WidgetsLayout, ContainerWidthsPercentMinimumAndMaximum)
{
    struct Case {
        const char* name;
        Container container;
        double width;
    };
    std::vector<Case> cases;
    cases.push_back({"fixed", Container().with_width(220.0f), 220});
    cases.push_back({"percent", Container().with_width_dim(flex_layout::Dimension::percent(0.25f)), 200});
    cases.push_back({"min wins over max", Container().with_min_width(300.0f).with_max_width(100.0f), 300});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Column root = Column().with_align(flex_layout::Align::Start);
        Container* inner = add(root, std::move(c.container));
        add(*inner, Block(10, 10));
        // A container that only holds a small block takes its rules' width; auto width would be 10.
        LayoutHarness h;
        h.lay_out(root, 800, 600);
        EXPECT_EQ(inner->get_rect().width(), c.width);
    }
    // Stretched in a column, the maximum clamps the stretch.
    Column root;
    Container* limited = add(root, Container().with_max_width(1040.0f));
    Container* narrow = add(root, Container().with_max_width(720.0f));
    LayoutHarness h;
    h.lay_out(root, 900, 600);
    EXPECT_EQ(limited->get_rect().width(), 900);
    EXPECT_EQ(narrow->get_rect().width(), 720);
}

TEST(WidgetsLayout, FlexibleSpacerPushesTheControlToTheEnd)
{
    Row row;
    Text* label = add(row, Text("Brightness"));
    Spacer* spacer = add(row, Spacer::flexible());
    Container* slot = add(row, Container().with_width(220.0f));
    Block* control = add(*slot, Block(220, 24));
    Column root;
    root.push(std::move(row));
    LayoutHarness h;
    h.lay_out(root, 700, 400);
    EXPECT_EQ(label->get_rect().x0, 0);
    EXPECT_GT(label->get_rect().width(), 40);
    EXPECT_EQ(slot->get_rect().x1, 700);
    EXPECT_EQ(control->rect.x0, 480);
    EXPECT_EQ(spacer->get_rect().x0, label->get_rect().x1);
    EXPECT_EQ(spacer->get_rect().x1, 480);
    // The row centres its children across: the text sits in the middle of the 24-high control.
    EXPECT_NEAR((label->get_rect().y0 + label->get_rect().y1) / 2.0, 12.0, 1.0);
}

TEST(WidgetsLayout, GrowSharesTheFreeSpaceByFactor)
{
    Row row = Row().with_width(300.0f);
    Container* one = add(row, Container().with_flex(1.0f).with_basis(flex_layout::Dimension::points(0.0f)));
    Container* two = add(row, Container().with_flex(2.0f).with_basis(flex_layout::Dimension::points(0.0f)));
    LayoutHarness h;
    h.lay_out(row, 300, 100);
    EXPECT_EQ(one->get_rect().width(), 100);
    EXPECT_EQ(two->get_rect().width(), 200);
}

TEST(WidgetsLayout, TextWrapsToTheWidthItIsGiven)
{
    const std::string sentence =
        "The platform uses paired start and end thresholds; Vorn preserves a safe charging window.";
    LayoutHarness h;
    Column wide;
    Text* one_line = add(wide, Text(sentence));
    h.lay_out(wide, 1000, 400);
    const double line = one_line->get_rect().height();
    EXPECT_GT(line, 12);
    EXPECT_LT(line, 24);

    Column narrow;
    Text* wrapped = add(narrow, Text(sentence));
    h.lay_out(narrow, 200, 400);
    EXPECT_LE(wrapped->get_rect().width(), 200);
    EXPECT_GE(wrapped->get_rect().height(), 3 * line - 1);

    // A text that must not wrap keeps one line and is cut to the space.
    Column cut;
    Text* single = add(cut, Text(sentence).no_wrap());
    h.lay_out(cut, 200, 400);
    EXPECT_EQ(single->get_rect().height(), line);
    EXPECT_EQ(single->get_rect().width(), 200);
}

TEST(WidgetsLayout, RowOfTextsShrinksToTheirLongestWords)
{
    // Two paragraphs side by side in too little space: each keeps at least its longest word and wraps.
    Row row = Row().with_align(flex_layout::Align::Start).with_spacing(10.0f);
    Text* left = add(row, Text("short words only here"));
    Text* right = add(row, Text("extraordinarily long"));
    LayoutHarness h;
    h.lay_out(row, 160, 400);
    const float longest = h.text.min_content_width("extraordinarily long", 13.0f);
    EXPECT_GE(right->get_rect().width(), longest);
    EXPECT_LE(left->get_rect().x1 + 10, right->get_rect().x0 + 0.5);
    EXPECT_GT(left->get_rect().height(), 20);  // wrapped to several lines
}

TEST(WidgetsLayout, CardPadsItsTitleLineAndBody)
{
    Block* body = nullptr;
    auto body_widget = std::make_unique<Block>(100, 40);
    body = body_widget.get();
    auto companion = std::make_unique<Block>(60, 28);
    Block* companion_raw = companion.get();
    Column root = Column().with_padding(24.0f);
    Card* card = add(root, card::surface("Battery", std::move(companion), std::move(body_widget)));
    LayoutHarness h;
    h.lay_out(root, 600, 400);
    const Rect r = card->get_rect();
    EXPECT_EQ(r.x0, 24);
    EXPECT_EQ(r.x1, 576);
    const Rect title = card->title()->get_rect();
    EXPECT_EQ(title.x0, r.x0 + 20);
    EXPECT_EQ(companion_raw->rect.x1, r.x1 - 20);  // the companion ends the title line
    EXPECT_EQ(companion_raw->rect.y0, r.y0 + 20);
    EXPECT_EQ(body->rect.x0, r.x0 + 20);
    EXPECT_EQ(body->rect.y0, r.y0 + 20 + 28 + 12);  // below the title line and the gap
    EXPECT_EQ(r.y1, body->rect.y1 + 20);
}

TEST(WidgetsLayout, SpacerOfFixedSizeAndTheUiScale)
{
    LayoutHarness h;
    h.theme = std::move(h.theme).with_ui_scale(1.5f);
    Column column;
    Block* a = add(column, Block(10, 10));
    add(column, Spacer::fixed(8.0f));
    Block* b = add(column, Block(10, 10));
    h.lay_out(column, 300, 300);
    EXPECT_EQ(a->rect, (Rect{0, 0, 15, 15}));
    EXPECT_EQ(b->rect.y0, 27);  // 15 + 8 × 1.5
}

TEST(WidgetsLayout, ShellGivesTheSidebar264AndTheContentTheRest)
{
    auto nav = std::make_unique<Block>(10, 10);
    auto content = std::make_unique<Block>(10, 10);
    auto search = std::make_unique<Container>(Container(std::make_unique<Block>(100, 32)));
    Block* nav_raw = nav.get();
    Block* content_raw = content.get();
    Container* search_raw = search.get();
    AppShell shell = AppShell(Container(std::move(nav)).boxed(), Container(std::move(content)).boxed())
                         .with_search(std::move(search))
                         .with_narrow_screen(true);
    LayoutHarness h;
    h.lay_out(shell, 1280, 800);
    EXPECT_FALSE(shell.is_narrow());
    EXPECT_EQ(shell.sidebar_rect(), (Rect{0, 0, 264, 800}));
    EXPECT_EQ(shell.nav()->get_rect().x1, 264);
    EXPECT_EQ(shell.nav()->get_rect().y1, 800);  // the navigation takes the height below the search field
    EXPECT_EQ(search_raw->get_rect(), (Rect{12, 12, 252, 44}));  // across the sidebar, inside its padding
    EXPECT_EQ(shell.nav()->get_rect().y0, search_raw->get_rect().y1 + 8);
    EXPECT_EQ(shell.content()->get_rect(), (Rect{264, 0, 1280, 800}));
    EXPECT_EQ(nav_raw->rect.x0, 0);
    EXPECT_EQ(content_raw->rect.x0, 264);

    // A larger ui scale widens the sidebar; the breakpoint grows with it.
    h.theme = std::move(h.theme).with_ui_scale(1.25f);
    h.lay_out(shell, 1280, 800);
    EXPECT_EQ(shell.sidebar_rect().x1, 330);
    h.lay_out(shell, 880, 800);  // 720 × 1.25 = 900 > 880
    EXPECT_TRUE(shell.is_narrow());
}

TEST(WidgetsLayout, NarrowShellShowsContentOrNavigation)
{
    AppShell shell = AppShell(Container(std::make_unique<Block>(10, 10)).boxed(),
                              Container(std::make_unique<Block>(10, 10)).boxed())
                         .with_narrow_screen(true)
                         .with_label("Settings");
    LayoutHarness h;
    h.lay_out(shell, 600, 800);
    ASSERT_TRUE(shell.is_narrow());
    EXPECT_EQ(shell.sidebar_rect(), Rect{});
    EXPECT_EQ(shell.content_rect(), (Rect{0, 48, 600, 800}));  // below the top bar

    shell.set_nav_open(true);
    h.lay_out(shell, 600, 800);
    EXPECT_EQ(shell.sidebar_rect(), (Rect{0, 48, 600, 800}));
    EXPECT_EQ(shell.content_rect(), Rect{});

    shell.notify_selection();  // a section was chosen: back to the content
    h.lay_out(shell, 600, 800);
    EXPECT_FALSE(shell.nav_open());
    EXPECT_EQ(shell.content_rect(), (Rect{0, 48, 600, 800}));

    // Without narrow-screen mode the shell keeps its sidebar however narrow the window.
    AppShell fixed(std::make_unique<Block>(10, 10), std::make_unique<Block>(10, 10));
    h.lay_out(fixed, 600, 800);
    EXPECT_FALSE(fixed.is_narrow());
    EXPECT_EQ(fixed.sidebar_rect().x1, 264);
}

TEST(WidgetsLayout, ScrollableLetsItsContentBeTallerThanItself)
{
    Column content = Column().with_spacing(10.0f);
    for (int i = 0; i < 20; ++i) {
        add(content, Block(50, 40));
    }
    Column root;
    Scrollable* view = add(root, Scrollable::with_child(std::move(content)));
    LayoutHarness h;
    h.lay_out(root, 400, 300);
    EXPECT_EQ(view->get_rect(), (Rect{0, 0, 400, 300}));
    EXPECT_EQ(view->content_height(), 20 * 40 + 19 * 10);
    EXPECT_EQ(view->max_scroll(), 990 - 300);
    EXPECT_EQ(view->child()->get_rect().width(), 400);

    view->scroll_to(100);
    h.lay_out(root, 400, 300);
    EXPECT_EQ(view->child()->get_rect().y0, -100);
    view->scroll_to(5000);  // clamped to the content
    EXPECT_EQ(view->scroll_offset(), 690);
    h.lay_out(root, 400, 600);  // a taller window leaves less to scroll; the offset follows
    EXPECT_EQ(view->scroll_offset(), 390);
}

}  // namespace
}  // namespace vorn_ui
