// Layout, drawing, damage and frame-scheduling defaults: walks A, V, D, F, O, E, the damage rule and the clipped
// draw.

#include "vorn_ui/testing/probe_widget.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_ui {
namespace {

using namespace std::chrono_literals;
using testing::CallLog;
using testing::ProbeWidget;
using ::testing::ElementsAre;

struct Family {
    CallLog log;
    ProbeWidget parent{"P", &log};
    ProbeWidget& first = parent.add("C1");
    ProbeWidget& second = parent.add("C2");
    ProbeWidget& third = parent.add("C3");
};

TEST(WidgetFrame, AnimationStopsAskingOnceAChildSaysYes)
{
    Family f;
    f.second.animation = true;
    f.third.animation = true;
    EXPECT_TRUE(f.parent.needs_animation_frame());
    EXPECT_THAT(testing::calls_of(f.log, "animation"), ElementsAre("P", "C1", "C2"));

    ProbeWidget leaf("leaf");
    EXPECT_FALSE(leaf.needs_animation_frame());
}

TEST(WidgetFrame, RedrawAndLayoutDirtinessAreTrueWithoutChildren)
{
    ProbeWidget leaf("leaf");
    EXPECT_TRUE(leaf.needs_redraw());
    EXPECT_TRUE(leaf.is_layout_dirty());

    Family f;
    for (ProbeWidget* child : {&f.first, &f.second, &f.third}) {
        child->redraw = false;
        child->layout_dirty = false;
    }
    EXPECT_FALSE(f.parent.needs_redraw());
    EXPECT_FALSE(f.parent.is_layout_dirty());

    f.second.redraw = true;
    f.log.clear();
    EXPECT_TRUE(f.parent.needs_redraw());
    EXPECT_THAT(testing::calls_of(f.log, "redraw"), ElementsAre("P", "C1", "C2"));  // C3 not asked
}

TEST(WidgetFrame, DamageAddsTheOwnRectangleOnceWhenARedrawIsNeeded)
{
    ProbeWidget leaf("leaf");
    leaf.rect = {1, 2, 3, 4};
    std::vector<Rect> damage;
    leaf.collect_damage(damage);
    leaf.collect_damage(damage);  // childless: every frame
    EXPECT_THAT(damage, ElementsAre(Rect{1, 2, 3, 4}, Rect{1, 2, 3, 4}));

    Family f;
    f.parent.rect = {0, 0, 100, 50};
    f.first.rect = {0, 0, 10, 10};
    f.second.rect = {10, 0, 20, 10};
    f.first.redraw = false;
    f.second.redraw = true;
    damage.clear();
    f.parent.collect_damage(damage);
    EXPECT_THAT(damage, ElementsAre(Rect{0, 0, 100, 50}));  // only the parent's own rectangle

    for (ProbeWidget* child : {&f.first, &f.second, &f.third}) {
        child->redraw = false;
    }
    damage.clear();
    f.parent.collect_damage(damage);
    EXPECT_TRUE(damage.empty());
}

TEST(WidgetFrame, LayoutNeedsMeasureFollowsChildrenOrTheOwnDirtiness)
{
    ProbeWidget leaf("leaf");
    leaf.layout_dirty = false;
    EXPECT_FALSE(leaf.layout_needs_measure());
    leaf.layout_dirty = true;
    EXPECT_TRUE(leaf.layout_needs_measure());

    Family f;
    f.parent.layout_dirty = true;  // ignored when there are children
    for (ProbeWidget* child : {&f.first, &f.second, &f.third}) {
        child->measure_needed = false;
    }
    EXPECT_FALSE(f.parent.layout_needs_measure());
    f.third.measure_needed = true;
    EXPECT_TRUE(f.parent.layout_needs_measure());
}

TEST(WidgetFrame, WakeDeadlineIsTheStrictlyEarliestOfTheChildren)
{
    const Instant base{};
    Family f;
    f.second.deadline = base + 5s;
    f.third.deadline = base + 5s;
    EXPECT_EQ(f.parent.next_wake_deadline(), base + 5s);  // a child's none is ignored; a tie keeps 5 s
    EXPECT_THAT(testing::calls_of(f.log, "deadline"), ElementsAre("P", "C1", "C2", "C3"));

    f.third.deadline = base + 4500ms;
    EXPECT_EQ(f.parent.next_wake_deadline(), base + 4500ms);

    f.first.deadline = base + 4s;  // earlier child, earlier deadline: later ones do not replace it
    EXPECT_EQ(f.parent.next_wake_deadline(), base + 4s);

    ProbeWidget leaf("leaf");
    EXPECT_EQ(leaf.next_wake_deadline(), std::nullopt);
}

TEST(WidgetFrame, FirstDescendantRegionKeepsTheFirstPresentAnswer)
{
    Family f;
    f.second.region = RegionWords{1, 2, 3, 4};
    f.third.region = RegionWords{5, 6, 7, 8};
    EXPECT_EQ(f.parent.first_descendant_region(), (RegionWords{1, 2, 3, 4}));
    EXPECT_THAT(testing::calls_of(f.log, "region"), ElementsAre("P", "C1", "C2"));
}

TEST(WidgetFrame, TakeStructureDirtyAsksEveryChildSoEveryFlagIsCleared)
{
    Family f;
    f.first.structure_dirty = true;
    f.third.structure_dirty = true;
    f.second.structure_dirty = false;
    EXPECT_TRUE(f.parent.take_structure_dirty());
    EXPECT_THAT(testing::calls_of(f.log, "structure"), ElementsAre("P", "C1", "C2", "C3"));
    EXPECT_FALSE(f.parent.take_structure_dirty());  // both flags were taken by the first call

    f.log.clear();
    f.first.signal = true;
    EXPECT_TRUE(f.parent.any_descendant_signal());
    EXPECT_THAT(testing::calls_of(f.log, "signal"), ElementsAre("P", "C1", "C2", "C3"));
}

TEST(WidgetFrame, MarkDrawnAndReleaseReachEveryWidget)
{
    Family f;
    f.second.add("G");
    f.parent.mark_drawn();
    f.parent.release_scene_cache();
    EXPECT_THAT(testing::calls_of(f.log, "mark_drawn"), ElementsAre("P", "C1", "C2", "G", "C3"));
    EXPECT_THAT(testing::calls_of(f.log, "release"), ElementsAre("P", "C1", "C2", "G", "C3"));
}

TEST(WidgetFrame, DrawOverlayGivesEveryChildItsOwnCopy)
{
    Family f;
    f.first.overlay_hook = [](OverlayRecord& overlay) { overlay.layer = 99; };
    f.second.overlay_hook = [](OverlayRecord& overlay) { overlay.layer = 98; };
    const Theme theme;
    DrawContext ctx(nullptr, nullptr, theme);
    OverlayRecord overlay{.viewport = {0, 0, 10, 10}, .offset_x = 0, .offset_y = 0, .layer = 3};
    f.parent.draw_overlay(ctx, overlay);
    EXPECT_THAT(f.log, ElementsAre("P.overlay:3", "C1.overlay:3", "C2.overlay:3", "C3.overlay:3"));
    EXPECT_EQ(overlay.layer, 3U);
}

TEST(WidgetDraw, ClippedDrawSkipsWidgetsWithoutAreaInsideTheClip)
{
    struct Case {
        Rect rect;
        bool drawn;
    };
    const Case cases[] = {
        {{100, 0, 150, 50}, false},  // touches the clip's right edge only
        {{99, 0, 150, 50}, true},    // one pixel inside
        {{10, 10, 10, 40}, false},   // zero width, inside the clip
        {{-50, -50, 0, 0}, false},   // touches the corner
        {{20, 20, 30, 30}, true},
    };
    const Theme theme;
    for (const Case& c : cases) {
        CallLog log;
        ProbeWidget w("W", &log);
        w.rect = c.rect;
        DrawContext ctx(nullptr, nullptr, theme);
        {
            auto clip = ctx.clip_to({0, 0, 100, 100});
            w.draw_with_presence(ctx);
        }
        EXPECT_EQ(log.size(), c.drawn ? 1U : 0U) << c.rect.x0 << "," << c.rect.y0;

        log.clear();
        w.draw_with_presence(ctx);  // no clip any more: always drawn
        EXPECT_THAT(log, ElementsAre("W.draw"));
    }
}

TEST(WidgetDraw, NestedClipsIntersectAndRestore)
{
    const Theme theme;
    DrawContext ctx(nullptr, nullptr, theme);
    EXPECT_EQ(ctx.clip(), std::nullopt);
    {
        auto outer = ctx.clip_to({0, 0, 100, 100});
        {
            auto inner = ctx.clip_to({50, 50, 200, 200});
            EXPECT_EQ(ctx.clip(), (Rect{50, 50, 100, 100}));
        }
        EXPECT_EQ(ctx.clip(), (Rect{0, 0, 100, 100}));
    }
    EXPECT_EQ(ctx.clip(), std::nullopt);
}

TEST(WidgetLayout, BuildLayoutRegistersTheNodeAndAdjustDefaults)
{
    ProbeWidget w("W");
    flex_layout::Tree tree;
    const Theme theme;
    const StyleContext style{.theme = theme};
    NodeWidgetMap widgets;
    const NodeId node = w.build_layout(tree, style, widgets);
    EXPECT_EQ(widgets.find(node), &w);

    flex_layout::Style node_style;
    EXPECT_FALSE(w.adjust_layout_with_measure(node_style, style, {}, {}));
    w.adjust_answer = true;  // a type overriding only adjust_layout_style gets that answer
    EXPECT_TRUE(w.adjust_layout_with_measure(node_style, style, {}, {}));
}

TEST(WidgetLayout, ApplyLayoutAddsTheParentOrigin)
{
    flex_layout::Tree tree;
    const NodeId node = tree.new_leaf({});
    // Not computed: the node's layout is all zero, so the rectangle is the parent's origin with no size.
    EXPECT_EQ(rect_from_layout(tree, node, 10.0, 20.0), (Rect{10.0, 20.0, 10.0, 20.0}));
}

}  // namespace
}  // namespace vorn_ui
