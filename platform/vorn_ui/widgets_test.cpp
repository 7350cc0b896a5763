// The toolkit's containers and displays: their fixed answers (names, labels, rectangles, dirtiness, redraw and
// animation), their builders, and the QR widget's encoding.

#include "vorn_ui/access.hpp"
#include "vorn_ui/testing/layout_harness.hpp"
#include "vorn_ui/testing/stub_document.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace vorn_ui {
namespace {

using testing::LayoutHarness;

TEST(Widgets, NamesTypePathsAndLabels)
{
    const Row row;
    const Column column;
    const Container container;
    const Spacer spacer;
    const Card card;
    const Scrollable scrollable;
    const Text text("Hello");
    const Badge badge("Ready", Tone::Success);
    const ProgressBar bar(0.5);
    const Sparkline sparkline;
    const IconWidget icon(Icon::Wifi);
    const QrWidget qr = QrWidget::from_text("hello");
    const AppShell shell(nullptr, nullptr);
    const std::vector<std::tuple<const Widget*, std::string_view, std::string_view>> table{
        {&row, "Row", "vorn_ui::widget::row::Row"},
        {&column, "Column", "vorn_ui::widget::column::Column"},
        {&container, "Container", "vorn_ui::widget::container::Container"},
        {&spacer, "Spacer", "vorn_ui::widget::spacer::Spacer"},
        {&card, "Card", "vorn_ui::widget::card::Card"},
        {&scrollable, "Scrollable", "vorn_ui::widget::scrollable::Scrollable"},
        {&text, "Text", "vorn_ui::widget::text::Text"},
        {&badge, "Badge", "vorn_ui::widget::badge::Badge"},
        {&bar, "ProgressBar", "vorn_ui::widget::progress_bar::ProgressBar"},
        {&sparkline, "Sparkline", "vorn_ui::widget::chart::Sparkline"},
        {&icon, "IconWidget", "vorn_ui::widget::icon::IconWidget"},
        {&qr, "QrWidget", "vorn_ui::widget::qr::QrWidget"},
        {&shell, "AppShell", "vorn_ui::widget::app_shell::AppShell"},
    };
    for (const auto& [widget, name, path] : table) {
        EXPECT_EQ(widget->widget_name(), name);
        EXPECT_EQ(widget->widget_type_name(), path);
        EXPECT_EQ(widget->get_rect(), Rect{}) << name;
        if (widget != &text && widget != &qr) {
            EXPECT_FALSE(widget->label()) << name;  // the containers and most displays keep the default
        }
    }
    EXPECT_FALSE(text.label());
    EXPECT_EQ(Text("Hello").with_label("greeting").label(), "greeting");
    EXPECT_EQ(qr.label(), "qr_widget");
    EXPECT_EQ(AppShell(nullptr, nullptr).with_label("Settings").label(), "Settings");
}

TEST(Widgets, FreshBoxesAreEmptyAndPushingKeepsTheirSettings)
{
    Column column;
    EXPECT_EQ(column.child_count(), 0U);
    EXPECT_FALSE(column.box_layout().spacing);
    EXPECT_FALSE(column.box_layout().gap);
    EXPECT_FALSE(column.box_layout().padding);
    column.push(Text("a"));
    EXPECT_EQ(column.child_count(), 1U);
    EXPECT_FALSE(column.box_layout().spacing);

    Row row = Row().with_spacing(4.0f).push(Text("a")).push(std::unique_ptr<Widget>{});  // null children are ignored
    EXPECT_EQ(row.child_count(), 1U);
    EXPECT_EQ(row.box_layout().spacing, 4.0f);
    EXPECT_EQ(Column().with_spacing(24.0f).with_gap(8.0f).with_padding(4.0f).box_layout().padding,
              (std::pair{4.0f, 4.0f}));

    EXPECT_FALSE(Container().stored_flag());
    EXPECT_TRUE(Container().with_clip().stored_flag());
}

TEST(Widgets, SpacerAlwaysReportsItsLayoutDirtyAndNeverARedraw)
{
    Spacer spacer = Spacer::fixed(8.0f);
    Column root;
    root.push(Spacer::fixed(8.0f));
    LayoutHarness h;
    h.lay_out(root, 100, 100);
    EXPECT_TRUE(spacer.is_layout_dirty());
    EXPECT_TRUE(spacer.layout_needs_measure());
    EXPECT_FALSE(spacer.needs_redraw());
    std::vector<Rect> damage;
    spacer.collect_damage(damage);
    EXPECT_TRUE(damage.empty());
    EXPECT_EQ(Spacer::token_size(0), 4.0f);
    EXPECT_EQ(Spacer::token_size(4), 24.0f);
    EXPECT_EQ(Spacer::token_size(200), 48.0f);
}

TEST(Widgets, TextRedrawAndLayoutFlags)
{
    Column root;
    root.push(Text("Status"));
    auto& text = static_cast<Text&>(*root.child(0));
    EXPECT_TRUE(text.needs_redraw());
    EXPECT_TRUE(text.is_layout_dirty());
    LayoutHarness h;
    h.lay_out(root, 300, 100);
    EXPECT_FALSE(text.is_layout_dirty());
    text.mark_drawn();
    EXPECT_FALSE(text.needs_redraw());
    text.set_text("Status");  // the same text: nothing to do
    EXPECT_FALSE(text.needs_redraw());
    text.set_text("Connected");
    EXPECT_TRUE(text.needs_redraw());
    EXPECT_TRUE(text.is_layout_dirty());

    const auto node = text.accessibility();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->role, access_role::label);
    EXPECT_EQ(node->label, "Connected");
    EXPECT_EQ(Text("Network").with_size(24.0f).bold().accessibility()->role, access_role::heading);
}

TEST(Widgets, BadgeRedrawsWhenItsTextChangesAndHugsItsText)
{
    Column root;
    root.push(Badge("Ready", 0));
    auto& badge = static_cast<Badge&>(*root.child(0));
    EXPECT_TRUE(badge.is_layout_dirty());  // its pill box is still all zero
    EXPECT_TRUE(badge.needs_redraw());
    std::vector<Rect> damage;
    badge.collect_damage(damage);
    EXPECT_EQ(damage.size(), 1U);
    badge.mark_drawn();
    EXPECT_FALSE(badge.needs_redraw());
    damage.clear();
    badge.collect_damage(damage);
    EXPECT_TRUE(damage.empty());

    LayoutHarness h;
    h.lay_out(root, 400, 100);
    EXPECT_FALSE(badge.is_layout_dirty());
    EXPECT_EQ(badge.get_rect().width(), 400);  // stretched by the column
    badge.set_text("Offline");
    EXPECT_TRUE(badge.needs_redraw());
    EXPECT_EQ(badge.accessibility()->label, "Offline");
    EXPECT_EQ(badge.accessibility()->role, access_role::status);
    EXPECT_EQ(widget::badge::tone_of_kind(0), Tone::Success);
    EXPECT_EQ(widget::badge::tone_of_kind(1), Tone::Info);
    EXPECT_EQ(widget::badge::tone_of_kind(2), Tone::Neutral);
    EXPECT_EQ(Badge::with_style("Beta", {Color::rgb(0x000000), Color::rgb(0xFFFFFF)}).tone(), std::nullopt);
}

TEST(Widgets, ProgressBarAnimationFollowsReducedMotion)
{
    ProgressBar determinate(0.25);
    EXPECT_FALSE(determinate.needs_animation_frame());
    EXPECT_TRUE(determinate.needs_redraw());  // a first paint is pending
    determinate.mark_drawn();
    EXPECT_FALSE(determinate.needs_redraw());
    determinate.set_fraction(0.5);
    EXPECT_TRUE(determinate.needs_redraw());
    EXPECT_EQ(determinate.accessibility()->value, "50%");
    EXPECT_EQ(ProgressBar(2.0).fraction(), 1.0);
    EXPECT_EQ(ProgressBar(std::nan("")).fraction(), 0.0);

    Column root;
    root.push(ProgressBar::indeterminate().with_label("Preparing accelerator support"));
    auto& busy = static_cast<ProgressBar&>(*root.child(0));
    EXPECT_TRUE(busy.needs_animation_frame());
    busy.mark_drawn();
    EXPECT_TRUE(busy.needs_redraw());  // animating
    EXPECT_EQ(busy.accessibility()->value, "busy");
    EXPECT_EQ(busy.accessibility()->label, "Preparing accelerator support");

    LayoutHarness h;
    h.theme = Theme::dark().with_reduced_motion(true);
    EXPECT_TRUE(busy.is_layout_dirty());
    h.lay_out(root, 300, 100);
    EXPECT_FALSE(busy.is_layout_dirty());
    EXPECT_FALSE(busy.needs_animation_frame());  // suppressed
    EXPECT_FALSE(busy.needs_redraw());
    EXPECT_EQ(std::move(busy).with_label_owned("Staging").label_text(), "Staging");
}

TEST(Widgets, SparklineAndIconReportLayoutDirtyUntilPlaced)
{
    Column root;
    root.push(Sparkline({10, 50, 100}).with_size(320.0f, 56.0f).with_max(100.0));
    root.push(IconWidget(Icon::Display).with_size(34.0f));
    auto& sparkline = static_cast<Sparkline&>(*root.child(0));
    auto& icon = static_cast<IconWidget&>(*root.child(1));
    EXPECT_TRUE(sparkline.is_layout_dirty());
    EXPECT_TRUE(icon.is_layout_dirty());
    LayoutHarness h;
    h.lay_out(root, 400, 200);
    EXPECT_EQ(sparkline.get_rect(), (Rect{0, 0, 320, 56}));
    EXPECT_EQ(icon.get_rect(), (Rect{0, 56, 34, 90}));
    EXPECT_FALSE(sparkline.is_layout_dirty());
    EXPECT_FALSE(icon.is_layout_dirty());
    EXPECT_FALSE(sparkline.accessibility());
    EXPECT_FALSE(icon.accessibility());

    // Points: evenly spaced; 100 at the top, 0 at the bottom (the minimum defaults to 0 with a maximum).
    const auto points = sparkline.points_in({0, 0, 200, 100});
    ASSERT_EQ(points.size(), 3U);
    EXPECT_EQ(points[0].x, 0);
    EXPECT_EQ(points[1].x, 100);
    EXPECT_EQ(points[2].x, 200);
    EXPECT_EQ(points[0].y, 90);
    EXPECT_EQ(points[1].y, 50);
    EXPECT_EQ(points[2].y, 0);
    EXPECT_TRUE(Sparkline({std::nan(""), INFINITY}).points_in({0, 0, 10, 10}).empty());
}

TEST(Widgets, ScrollableAnswersAsAnyAndAnEmptyNode)
{
    Scrollable view = Scrollable::with_child(Text("content"));
    const std::optional<AnyRef> any = view.as_any();
    ASSERT_TRUE(any);
    EXPECT_EQ(any->get<Scrollable>(), &view);
    EXPECT_EQ(view.accessibility(), AccessNode{});
    EXPECT_FALSE(view.label());
    EXPECT_EQ(view.children().size(), 1U);
    EXPECT_FALSE(view.is_focusable());  // nothing to scroll yet
}

class DropProbe final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::DropProbe", "DropProbe")
    explicit DropProbe(bool* dropped) : dropped_(dropped) {}
    ~DropProbe() override { *dropped_ = true; }
    DropProbe(const DropProbe&) = delete;
    DropProbe& operator=(const DropProbe&) = delete;
    void sync(page_doc::Document&, SyncContext&) override {}
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext&, NodeWidgetMap& widgets) override
    {
        const NodeId node = tree.new_leaf({});
        widgets.insert(node, *this);
        return node;
    }
    void apply_layout(const flex_layout::Tree&, NodeId, double, double) override {}
    void draw(DrawContext&) const override {}
    void handle_event(const Event&, DispatchContext&) override {}
    [[nodiscard]] Rect get_rect() const override { return {}; }
    bool take_structure_dirty() override { return std::exchange(dirty, false); }
    bool dirty = false;

private:
    bool* dropped_;
};

TEST(Widgets, ShellReplacesAndDropsItsParts)
{
    bool nav_dropped = false;
    bool content_dropped = false;
    AppShell shell(std::make_unique<DropProbe>(&nav_dropped), std::make_unique<DropProbe>(&content_dropped));
    EXPECT_FALSE(shell.take_structure_dirty());
    shell.set_content(std::make_unique<Text>("page"));
    EXPECT_TRUE(content_dropped);
    EXPECT_FALSE(nav_dropped);
    EXPECT_TRUE(shell.take_structure_dirty());
    EXPECT_FALSE(shell.take_structure_dirty());  // taken
    bool second_dropped = false;
    shell.set_nav(std::make_unique<DropProbe>(&second_dropped));
    EXPECT_TRUE(nav_dropped);
    EXPECT_TRUE(shell.take_structure_dirty());
    // A child's structure change comes through the shell too.
    static_cast<DropProbe*>(shell.nav())->dirty = true;
    EXPECT_TRUE(shell.take_structure_dirty());
    EXPECT_FALSE(shell.take_structure_dirty());
}

// The format bits of a QR symbol name its error-correction level (00 M, 01 L, 10 H, 11 Q, before masking).
int ecc_bits(const QrWidget& qr)
{
    int bits = 0;
    // Format bits 0-5 stand at (8, 0..5), 6 at (8, 7), 7 at (8, 8), 8 at (7, 8), 9-14 at (14 - i, 8).
    for (int i = 0; i <= 5; ++i) {
        bits |= (qr.is_dark(8, i) ? 1 : 0) << i;
    }
    bits |= (qr.is_dark(8, 7) ? 1 : 0) << 6;
    bits |= (qr.is_dark(8, 8) ? 1 : 0) << 7;
    bits |= (qr.is_dark(7, 8) ? 1 : 0) << 8;
    for (int i = 9; i < 15; ++i) {
        bits |= (qr.is_dark(14 - i, 8) ? 1 : 0) << i;
    }
    return ((bits ^ 0x5412) >> 13) & 3;
}

TEST(Widgets, QrCodeIsEncodedAtLevelMWithAQuietZoneOfFour)
{
    // Short texts leave room for a stronger level in the same version; the level stays M all the same.
    for (const char* text : {"hello", "WIFI:T:WPA;S:Home 5G;P:correct horse battery staple;;", "1234567890"}) {
        const QrWidget qr = QrWidget::from_text(text);
        EXPECT_EQ(qr.error_correction(), widget::qr::ErrorCorrection::Medium);
        EXPECT_EQ(ecc_bits(qr), 0) << text;
        EXPECT_EQ(qr.quiet_zone(), 4);
        EXPECT_GE(qr.width(), 21);
        EXPECT_EQ((qr.width() - 17) % 4, 0);  // a QR version's size
        EXPECT_EQ(qr.modules().size(), static_cast<std::size_t>(qr.width() * qr.width()));
        EXPECT_FALSE(qr.error_text());
        // The finder pattern's corner.
        EXPECT_TRUE(qr.is_dark(0, 0));
        EXPECT_TRUE(qr.is_dark(6, 6));
        EXPECT_FALSE(qr.is_dark(7, 7));
    }
    // Encoding again replaces everything.
    QrWidget qr = QrWidget::from_text("a");
    qr.encode(std::string(200, 'x'));
    EXPECT_GT(qr.width(), 21);
}

TEST(Widgets, QrCodeTooLongShowsTheEncodersError)
{
    QrWidget qr = QrWidget::from_text(std::string(4000, '#'));
    EXPECT_EQ(qr.width(), 0);
    EXPECT_TRUE(qr.modules().empty());
    ASSERT_TRUE(qr.error_text());
    EXPECT_FALSE(qr.error_text()->empty());
    EXPECT_EQ(qr.accessibility()->description, qr.error_text());
    qr.encode("fits");
    EXPECT_FALSE(qr.error_text());
    EXPECT_GT(qr.width(), 0);
}

TEST(Widgets, QrCodeNeverAnswersItsText)
{
    const std::string secret = "WIFI:T:WPA;S:Home;P:hunter2-secret;;";
    Column root;
    root.push(QrWidget::from_text(secret));
    const auto& qr = static_cast<const QrWidget&>(*root.child(0));
    EXPECT_EQ(qr.label(), "qr_widget");
    EXPECT_EQ(qr.name(), "QR code");
    const auto node = qr.accessibility();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->label, "QR code");
    EXPECT_FALSE(node->value);
    EXPECT_FALSE(qr.value_text());
    EXPECT_FALSE(qr.get_state());
    const std::string dump = accessibility_json(root).dump();
    EXPECT_EQ(dump.find("hunter2"), std::string::npos);
    EXPECT_NE(dump.find("QR code"), std::string::npos);
}

TEST(Widgets, QrCodeOfATextWithANulByte)
{
    const QrWidget qr = QrWidget::from_text(std::string("a\0b", 3));
    EXPECT_GT(qr.width(), 0);
    EXPECT_FALSE(qr.error_text());
}

}  // namespace
}  // namespace vorn_ui
