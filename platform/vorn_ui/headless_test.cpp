// The headless window: pictures of the sample page checked by probes (regions, colours, text bounds), the
// accessibility dump, scrolling (wheel, keys, scroll bar, clipping, hidden pointer positions), focus traversal,
// activation and text input, narrow mode and display scales.

#include "vorn_ui/headless.hpp"
#include "vorn_ui/testing/layout_harness.hpp"
#include "vorn_ui/testing/sample_page.hpp"
#include "vorn_ui/testing/stub_document.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace vorn_ui {
namespace {

// Writes the picture when VORN_PICTURE_DIR names a folder (to look at it while working on the look).
void keep_picture(const HeadlessWindow& w, const std::string& name)
{
    if (const char* dir = std::getenv("VORN_PICTURE_DIR")) {
        ASSERT_TRUE(w.png(std::string(dir) + "/" + name + ".png"));
    }
}

std::vector<Widget*> find_widgets(Widget& root, std::string_view name)
{
    std::vector<Widget*> found;
    const std::function<void(Widget&)> visit = [&](Widget& w) {
        if (w.widget_name() == name) {
            found.push_back(&w);
        }
        for (Widget* child : w.children_mut()) {
            visit(*child);
        }
    };
    visit(root);
    return found;
}

std::vector<const nlohmann::ordered_json*> find_nodes(const nlohmann::ordered_json& node, std::string_view role)
{
    std::vector<const nlohmann::ordered_json*> found;
    const std::function<void(const nlohmann::ordered_json&)> visit = [&](const nlohmann::ordered_json& n) {
        if (n.value("role", "") == role) {
            found.push_back(&n);
        }
        if (n.contains("children")) {
            for (const auto& child : n["children"]) {
                visit(child);
            }
        }
    };
    visit(node);
    return found;
}

Point centre(const Rect& r) { return {(r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0}; }

// ---- The sample page ----------------------------------------------------------------------------------------------

TEST(HeadlessPicture, ShellRegionsAndTexts)
{
    HeadlessWindow w(testing::sample_window(), {1280, 800});
    w.frame();
    keep_picture(w, "sample");
    const Theme& theme = w.theme();

    // Sidebar surface, its separator, the page background.
    EXPECT_GT(w.coverage({200, 60, 250, 90}, theme.sidebar), 0.97);
    EXPECT_TRUE(w.pixel(263, 400).near(theme.separator, 4));
    EXPECT_GT(w.coverage({268, 0, 1260, 20}, theme.background), 0.97);

    // "Network" twice: the sidebar row and the page title, which is larger.
    std::vector<Rect> network;
    for (const DrawnText& t : w.drawn_texts()) {
        if (t.text == "Network") {
            network.push_back(t.visible);
        }
    }
    ASSERT_EQ(network.size(), 2U);
    EXPECT_LT(network[0].x1, 264);
    EXPECT_GT(network[1].x0, 264);
    EXPECT_GT(network[1].height(), network[0].height() * 1.5);
    // Text pixels are drawn in the text colour where the layout put them.
    EXPECT_GT(w.coverage(network[1], theme.text, 40), 0.1);
    EXPECT_GT(w.coverage(*w.find_text_bounds("SETTINGS"), theme.text_secondary, 40), 0.05);
}

TEST(HeadlessPicture, CardsBadgesAndBars)
{
    HeadlessWindow w(testing::sample_window(), {1280, 800});
    w.frame();
    const Theme& theme = w.theme();

    const std::vector<Widget*> cards = find_widgets(w.root(), "Card");
    ASSERT_EQ(cards.size(), 4U);
    const Rect wifi = cards[0]->get_rect();
    EXPECT_EQ(wifi.x0, 264 + 24);
    EXPECT_EQ(wifi.x1, 1280 - 24);
    // The card surface inside, its outline on the edge.
    const Rect title = *w.find_text_bounds("Wi-Fi");
    EXPECT_GT(w.coverage({title.x1 + 40, title.y0, title.x1 + 300, title.y1}, theme.surface, 3), 0.99);
    EXPECT_TRUE(w.pixel(wifi.x0 + 0.5, centre(wifi).y).near(theme.outline, 10));
    EXPECT_TRUE(w.pixel(wifi.x0 + 0.5, wifi.y0 - 2).near(theme.background, 3));

    // The badge ends the title line and is drawn in its tone.
    const Rect connected = *w.find_text_bounds("Connected");
    EXPECT_LT(std::abs(connected.x1 + 8 - (wifi.x1 - 20)), 2.0);
    EXPECT_NEAR(centre(connected).y, centre(title).y, 2.0);
    EXPECT_GT(w.coverage(connected, theme.tone(Tone::Success), 40), 0.1);
    EXPECT_FALSE(w.pixel(connected.x0 - 4, centre(connected).y).near(theme.surface, 2));  // the pill's fill

    // The signal bar (72 %): accent up to 72 % of the track, track colour after it.
    auto* signal = static_cast<ProgressBar*>(find_widgets(w.root(), "ProgressBar")[0]);
    const Rect bar = signal->get_rect();
    const double track_y = bar.y1 - 3;
    EXPECT_TRUE(w.pixel(bar.x0 + bar.width() * 0.3, track_y).near(theme.accent, 6));
    EXPECT_TRUE(w.pixel(bar.x0 + bar.width() * 0.7, track_y).near(theme.accent, 6));
    EXPECT_FALSE(w.pixel(bar.x0 + bar.width() * 0.8, track_y).near(theme.accent, 30));

    // The sparkline draws its line in the accent.
    const Rect chart = find_widgets(w.root(), "Sparkline")[0]->get_rect();
    EXPECT_GT(w.coverage(chart, theme.accent, 30), 0.005);
    // The icon of the device card is drawn in the text colour.
    const std::vector<Widget*> icons = find_widgets(w.root(), "IconWidget");
    ASSERT_EQ(icons.size(), 20U);                    // 19 in the sidebar, then the device card's
    const Rect icon = icons.back()->get_rect();
    EXPECT_EQ(icon.width(), 34);
    EXPECT_GT(w.coverage(icon, theme.text, 60), 0.03);
}

TEST(HeadlessPicture, QrCodeHasItsQuietZoneAndSharpModules)
{
    HeadlessWindow w(testing::sample_window(), {1280, 1200});
    w.frame();
    keep_picture(w, "qr");
    auto* qr = static_cast<QrWidget*>(find_widgets(w.root(), "QrWidget")[0]);
    const Rect code = qr->code_rect();
    const double module = qr->module_pixels();
    ASSERT_GT(module, 0);
    EXPECT_EQ(module, std::floor(module));  // whole pixels per module
    const double zone = 4 * module;
    const Color white = Color::rgb(0xFFFFFF);
    EXPECT_EQ(w.coverage({code.x0 - zone, code.y0 - zone, code.x1 + zone, code.y0}, white, 0), 1.0);
    EXPECT_EQ(w.coverage({code.x0 - zone, code.y1, code.x1 + zone, code.y1 + zone}, white, 0), 1.0);
    EXPECT_EQ(w.coverage({code.x0 - zone, code.y0, code.x0, code.y1}, white, 0), 1.0);
    EXPECT_EQ(w.coverage({code.x1, code.y0, code.x1 + zone, code.y1}, white, 0), 1.0);
    // Every module is one colour, black or white, as the code says.
    for (int y = 0; y < qr->width(); ++y) {
        for (int x = 0; x < qr->width(); ++x) {
            const Rect cell = Rect::from_origin_size(code.x0 + x * module, code.y0 + y * module, module, module);
            const Color expected = qr->is_dark(x, y) ? Color::rgb(0x000000) : white;
            ASSERT_EQ(w.coverage(cell, expected, 0), 1.0) << x << "," << y;
        }
    }
}

TEST(HeadlessPicture, LightThemeAndDisplayScale)
{
    HeadlessWindow one(testing::sample_window(), {1000, 700});
    one.frame();
    HeadlessOptions options;
    options.theme = Theme::light();
    options.scale_factor = 2.0;
    HeadlessWindow two(testing::sample_window(), {1000, 700}, options);
    two.frame();
    keep_picture(two, "light2x");
    // Logical geometry is the same at either scale; the texts keep their place.
    for (const char* text : {"Bluetooth", "Network name", "Connected", "Charge history"}) {
        const Rect a = *one.find_text_bounds(text);
        const Rect b = *two.find_text_bounds(text);
        EXPECT_NEAR(a.x0, b.x0, 0.5) << text;
        EXPECT_NEAR(a.y0, b.y0, 0.5) << text;
        EXPECT_NEAR(a.width(), b.width(), 1.0) << text;
    }
    EXPECT_GT(two.coverage({200, 60, 250, 90}, Theme::light().sidebar), 0.97);
    EXPECT_GT(two.coverage({300, 0, 980, 20}, Theme::light().background), 0.97);
}

TEST(HeadlessAccessibility, SamplePageTree)
{
    HeadlessWindow w(testing::sample_window(), {1280, 800});
    w.frame();
    const nlohmann::ordered_json tree = w.accessibility_json();
    EXPECT_EQ(tree["role"], "window");

    const auto headings = find_nodes(tree, "heading");
    ASSERT_FALSE(headings.empty());
    EXPECT_EQ((*headings[0])["label"], "Network");
    EXPECT_EQ((*headings[0])["widget"], "Text");
    const auto& bounds = (*headings[0])["bounds"];
    EXPECT_GT(bounds["x"].get<double>(), 264.0);
    EXPECT_GT(bounds["height"].get<double>(), 20.0);

    std::vector<std::string> statuses;
    for (const auto* node : find_nodes(tree, "status")) {
        statuses.push_back((*node)["label"]);
    }
    EXPECT_THAT(statuses, ::testing::ElementsAre("Connected", "Charging", "Neutral", "Warning", "Danger"));

    std::vector<std::pair<std::string, std::string>> bars;
    for (const auto* node : find_nodes(tree, "progress_bar")) {
        bars.emplace_back((*node)["label"], (*node)["value"]);
    }
    EXPECT_THAT(bars, ::testing::ElementsAre(std::pair{"Progress", "72%"}, std::pair{"Charge", "64%"},
                                             std::pair{"Checking battery health", "busy"}));

    const auto images = find_nodes(tree, "image");
    ASSERT_EQ(images.size(), 1U);
    EXPECT_EQ((*images[0])["label"], "QR code");
    EXPECT_EQ((*images[0])["widget"], "QrWidget");

    // The scroll views answer their empty node; the texts they hold are their children.
    const auto views = find_nodes(tree, "none");
    ASSERT_EQ(views.size(), 2U);
    EXPECT_EQ((*views[0])["widget"], "Scrollable");
    EXPECT_FALSE(views[0]->contains("bounds"));
    EXPECT_TRUE(views[0]->contains("children"));

    // The QR code's content, a Wi-Fi password, appears nowhere.
    EXPECT_EQ(tree.dump().find("correct horse"), std::string::npos);
}

// ---- Scrolling ----------------------------------------------------------------------------------------------------

TEST(HeadlessScroll, WheelScrollsTheViewUnderThePointerAndClips)
{
    HeadlessWindow w(testing::sample_window(), {1280, 800});
    w.frame();
    const Rect title = *w.find_text_bounds("Wi-Fi, wired connections, and VPN");
    const Rect sidebar_row = *w.find_text_bounds("Bluetooth");

    w.wheel(700, 400, 30);
    const Rect moved = *w.find_text_bounds("Wi-Fi, wired connections, and VPN");
    EXPECT_EQ(moved.y0, title.y0 - 30);
    EXPECT_EQ(*w.find_text_bounds("Bluetooth"), sidebar_row);  // the sidebar stays

    // Scrolled past the top of the view, the header is clipped away: not drawn, not found.
    w.wheel(700, 400, 200);
    EXPECT_FALSE(w.find_text_bounds("SETTINGS"));

    // Back past the start: clamped at the top.
    w.wheel(700, 400, -10000);
    EXPECT_EQ(*w.find_text_bounds("Wi-Fi, wired connections, and VPN"), title);

    // The wheel over the sidebar scrolls the sidebar.
    w.wheel(100, 400, 50);
    EXPECT_EQ(w.find_text_bounds("Bluetooth")->y0, sidebar_row.y0 - 50);
    EXPECT_EQ(*w.find_text_bounds("Wi-Fi, wired connections, and VPN"), title);
}

TEST(HeadlessScroll, KeysAndScrollBar)
{
    HeadlessWindow w(testing::sample_window(), {1280, 400});
    w.move(700, 200);  // the pointer over the page makes its view take the keys
    auto* page = find_widgets(w.root(), "Scrollable")[1]->as_any()->get<Scrollable>();
    ASSERT_NE(page, nullptr);
    ASSERT_GT(page->max_scroll(), 500);
    EXPECT_FALSE(w.find_text_bounds("Share Wi-Fi"));  // below the fold

    w.key(Key::Down);
    EXPECT_EQ(page->scroll_offset(), 40);
    w.key(Key::PageDown);
    EXPECT_EQ(page->scroll_offset(), 40 + 400 - 40);  // a page less one line
    w.key(Key::End);
    EXPECT_EQ(page->scroll_offset(), page->max_scroll());
    EXPECT_TRUE(w.find_text_bounds("Share Wi-Fi"));
    w.key(Key::Home);
    EXPECT_EQ(page->scroll_offset(), 0);
    w.key(Key::Up);
    EXPECT_EQ(page->scroll_offset(), 0);

    // Dragging the thumb down by half the free track scrolls half way.
    const Rect thumb = page->scrollbar_thumb();
    ASSERT_GT(thumb.area(), 0);
    EXPECT_GT(w.coverage(thumb, w.theme().text.with_alpha(1.0f).mix(w.theme().background, 0.6f), 40), 0.3);
    const double free_track = page->get_rect().height() - 6 - thumb.height();
    w.drag(centre(thumb), {centre(thumb).x, centre(thumb).y + free_track / 2});
    EXPECT_NEAR(page->scroll_offset(), page->max_scroll() / 2, 2.0);
}

// A focusable box: records what it receives.
class FocusBox final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::FocusBox", "FocusBox")
    explicit FocusBox(std::string name, float height = 40.0f) : name_(std::move(name)), height_(height) {}

    void sync(page_doc::Document&, SyncContext&) override {}
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override
    {
        flex_layout::Style s;
        s.height = flex_layout::Dimension::points(style.scaled(height_));
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
    void handle_event(const Event& event, DispatchContext& ctx) override
    {
        const std::optional<Point> pointer = ctx.pointer(event);
        if (event.get<PointerMove>() != nullptr) {
            hovered = pointer && rect.contains(*pointer);
        }
        if (const auto* button = event.get<PointerButton>(); button && button->pressed && pointer &&
                                                             rect.contains(*pointer)) {
            ++presses;
        }
        if (const auto* text = event.get<TextEntered>(); text && focused) {
            typed += text->text;
            ctx.handled = true;
        }
    }
    [[nodiscard]] Rect get_rect() const override { return rect; }
    [[nodiscard]] bool is_focusable() const override { return true; }
    void set_focus(bool f) override { focused = f; }
    [[nodiscard]] bool is_focused() const override { return focused; }
    bool perform_action(const Action& action, ActionCtx) override
    {
        if (action.kind != Action::Kind::Activate) {
            return false;
        }
        ++activations;
        return true;
    }
    [[nodiscard]] std::optional<std::string_view> label() const override { return std::string_view(name_); }

    Rect rect{};
    bool focused = false;
    bool hovered = false;
    int presses = 0;
    int activations = 0;
    std::string typed;

private:
    std::string name_;
    float height_;
};

struct BoxPage {
    std::vector<FocusBox*> boxes;
    Scrollable* view = nullptr;
    std::unique_ptr<Widget> root;
};

// A 100-high header above a scroll view of 20 boxes (40 high, 10 apart).
BoxPage box_page()
{
    BoxPage page;
    Column list = Column().with_spacing(10.0f).with_padding(10.0f);
    for (int i = 0; i < 20; ++i) {
        auto box = std::make_unique<FocusBox>("box " + std::to_string(i));
        page.boxes.push_back(box.get());
        list.push(std::move(box));
    }
    auto view = std::make_unique<Scrollable>(Scrollable::with_child(std::move(list)));
    page.view = view.get();
    page.root = Column().push(Container().with_height(100.0f)).push(std::move(view)).boxed();
    return page;
}

TEST(HeadlessScroll, ContentNeverSeesThePointerOutsideTheView)
{
    BoxPage page = box_page();
    HeadlessWindow w(*page.root, {400, 400});
    w.frame();
    page.view->scroll_to(110);  // box 0 now lies under the header, box 2 at the top of the view
    w.frame();
    FocusBox* hidden = page.boxes[0];
    ASSERT_LT(hidden->rect.y1, 100);
    const Point over_hidden = centre(hidden->rect);

    w.move(over_hidden.x, over_hidden.y);
    EXPECT_FALSE(hidden->hovered);
    w.click(over_hidden.x, over_hidden.y);
    EXPECT_EQ(hidden->presses, 0);
    EXPECT_FALSE(hidden->focused);

    FocusBox* visible = page.boxes[3];
    w.click(centre(visible->rect).x, centre(visible->rect).y);
    EXPECT_TRUE(visible->hovered);
    EXPECT_EQ(visible->presses, 1);
    EXPECT_TRUE(visible->focused);  // a click focuses what it hits
    w.click(200, 50);               // on the header: nothing focusable there
    EXPECT_FALSE(visible->focused);
    EXPECT_EQ(w.focused(), nullptr) << *w.focused()->label();
}

TEST(HeadlessFocus, TabWalksTheTreeAndRevealsTheFocusedWidget)
{
    BoxPage page = box_page();
    HeadlessWindow w(*page.root, {400, 400});
    w.frame();
    EXPECT_EQ(w.focused(), nullptr);
    w.tab();
    EXPECT_EQ(w.focused(), page.boxes[0]);
    w.tab();
    EXPECT_EQ(w.focused(), page.boxes[1]);
    w.shift_tab();
    EXPECT_EQ(w.focused(), page.boxes[0]);
    w.shift_tab();  // wraps to the last
    EXPECT_EQ(w.focused(), page.boxes[19]);
    // The last box lies far below the view: it was scrolled into view.
    const Rect view = page.view->get_rect();
    EXPECT_GE(page.boxes[19]->rect.y0, view.y0);
    EXPECT_LE(page.boxes[19]->rect.y1, view.y1);
    w.tab();  // wraps to the first, scrolled back
    EXPECT_EQ(w.focused(), page.boxes[0]);
    EXPECT_GE(page.boxes[0]->rect.y0, view.y0);
    EXPECT_EQ(std::count_if(page.boxes.begin(), page.boxes.end(), [](FocusBox* b) { return b->focused; }), 1);
}

TEST(HeadlessFocus, EnterAndSpaceActivateTheFocusedWidgetAndTextReachesIt)
{
    BoxPage page = box_page();
    HeadlessWindow w(*page.root, {400, 400});
    w.key(Key::Enter);  // nothing focused: nothing happens
    w.tab();
    w.tab();
    w.key(Key::Enter);
    w.key(Key::Space);
    EXPECT_EQ(page.boxes[1]->activations, 2);
    EXPECT_EQ(page.boxes[0]->activations, 0);
    w.key(Key::Enter, Modifiers{.control = true});  // a chord is not an activation
    EXPECT_EQ(page.boxes[1]->activations, 2);

    w.type("héllo");
    w.key_char(U'!');
    EXPECT_EQ(page.boxes[1]->typed, "héllo!");
    EXPECT_EQ(page.boxes[0]->typed, "");
}

// ---- Narrow mode --------------------------------------------------------------------------------------------------

TEST(HeadlessShell, NarrowWindowOpensAndClosesTheNavigation)
{
    HeadlessWindow w(testing::sample_window(), {600, 700});
    w.frame();
    keep_picture(w, "narrow");
    auto& shell = static_cast<AppShell&>(w.root());
    ASSERT_TRUE(shell.is_narrow());
    EXPECT_FALSE(w.find_text_bounds("Bluetooth"));
    EXPECT_TRUE(w.find_text_bounds("Settings"));  // the top bar's label
    EXPECT_GT(w.coverage({100, 0, 590, 40}, w.theme().sidebar), 0.9);

    w.click(24, 24);  // the menu button
    keep_picture(w, "narrow_open");
    EXPECT_TRUE(shell.nav_open());
    EXPECT_TRUE(w.find_text_bounds("Bluetooth"));
    EXPECT_FALSE(w.find_text_bounds("Network name"));
    const nlohmann::ordered_json tree = w.accessibility_json();
    const auto buttons = find_nodes(tree, "button");
    ASSERT_EQ(buttons.size(), 1U);
    EXPECT_EQ((*buttons[0])["label"], "Hide navigation");

    w.key(Key::Escape);
    EXPECT_FALSE(shell.nav_open());
    EXPECT_TRUE(w.find_text_bounds("Network name"));

    // Keyboard: the menu button kept the focus from the click and opens on Enter; choosing a section closes it.
    ASSERT_NE(w.focused(), nullptr);
    EXPECT_EQ(w.focused()->widget_name(), "ShellMenuButton");
    w.key(Key::Enter);
    EXPECT_TRUE(shell.nav_open());
    shell.notify_selection();
    w.frame();
    EXPECT_FALSE(shell.nav_open());

    // Widening the window leaves narrow mode.
    w.resize({1280, 800});
    w.frame();
    EXPECT_FALSE(shell.is_narrow());
    EXPECT_TRUE(w.find_text_bounds("Bluetooth"));
}

TEST(HeadlessWindow, WritesPngAndReportsFailures)
{
    HeadlessWindow w(testing::sample_window(), {320, 200});
    w.frame();
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("vorn-headless-" + std::to_string(::getpid()) + ".png");
    ASSERT_TRUE(w.png(path.string()));
    EXPECT_GT(std::filesystem::file_size(path), 1000U);
    std::filesystem::remove(path);
    const auto failed = w.png("/nonexistent-dir/x.png");
    ASSERT_FALSE(failed);
    EXPECT_THAT(failed.error(), ::testing::HasSubstr("/nonexistent-dir/x.png"));
    EXPECT_EQ(w.pixel(-1, 5), Pixel{});
    EXPECT_EQ(w.pixel(5000, 5), Pixel{});
}

}  // namespace
}  // namespace vorn_ui
