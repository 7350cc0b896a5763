// The sidebar on its own, in a headless window: its groups, the filtered and empty states, and rows that publish
// their section when clicked or activated by key or through accessibility.
#include "sidebar/sidebar.hpp"

#include "actions/catalogue/catalogue.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::sidebar {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The rows of a widget tree, in tree order, and the texts of its Text widgets.
void collect(const vorn_ui::Widget& w, std::vector<const SidebarRow*>& rows, std::vector<std::string>& texts)
{
    if (const auto* row = dynamic_cast<const SidebarRow*>(&w)) {
        rows.push_back(row);
    }
    if (const auto* text = dynamic_cast<const vorn_ui::Text*>(&w)) {
        texts.push_back(text->text());
    }
    w.for_each_child([&](const vorn_ui::Widget& child) { collect(child, rows, texts); });
}

struct Listed {
    std::vector<std::string> ids;
    std::vector<std::string> texts;
    std::vector<bool> selected;
};

Listed listed(const vorn_ui::Widget& nav)
{
    std::vector<const SidebarRow*> rows;
    Listed out;
    collect(nav, rows, out.texts);
    for (const SidebarRow* row : rows) {
        out.ids.emplace_back(row->section().id());
        out.selected.push_back(row->selected());
    }
    return out;
}

TEST(SidebarNav, WithoutAQueryTheFiveGroupsListEverySectionOnce)
{
    SectionRequests requests{std::nullopt};
    for (std::string_view query : {"", "   ", "\t"}) {
        const auto nav = build_nav(Section::Power, query, requests);
        const Listed l = listed(*nav);
        EXPECT_THAT(l.texts, ElementsAre("CONNECTIVITY", "DEVICES", "SYSTEM", "ACCOUNTS & PERMISSIONS", "MAINTENANCE"));
        std::vector<std::string> expected;
        for (const Section s : sidebar_order()) {
            expected.emplace_back(s.id());
        }
        EXPECT_THAT(l.ids, ElementsAreArray(expected));
        EXPECT_EQ(std::count(l.selected.begin(), l.selected.end(), true), 1);
        EXPECT_TRUE(l.selected[13]) << "Power is the 14th row";
    }
}

TEST(SidebarNav, GroupSizes)
{
    SectionRequests requests{std::nullopt};
    const auto nav = build_nav(Section::Network, "", requests);
    // The groups are the outer column's children (inside container and scroll view): heading column + row column.
    std::vector<std::size_t> sizes;
    std::function<void(const vorn_ui::Widget&)> walk = [&](const vorn_ui::Widget& w) {
        const auto kids = w.children();
        if (kids.size() == 2 && kids[0]->widget_name() == "Column" && kids[1]->widget_name() == "Column") {
            const auto rows = kids[1]->children();
            if (!rows.empty() && rows[0]->widget_name() == "SidebarRow") {
                sizes.push_back(rows.size());
                return;
            }
        }
        for (const auto* k : kids) {
            walk(*k);
        }
    };
    walk(*nav);
    EXPECT_THAT(sizes, ElementsAre(2, 6, 9, 3, 2));
}

TEST(SidebarNav, AQueryListsItsMatchesUnderResults)
{
    SectionRequests requests{std::nullopt};
    struct Case {
        std::string_view query;
        std::vector<std::string> ids;
    };
    const std::vector<Case> cases{
        {"wifi", {"network"}},
        {"  Brightness ", {"displays"}},
        {"ai", {"bluetooth", "default-apps", "external_accounts", "agent_models"}},
        {"screen reader please", {"displays", "accessibility"}},
    };
    for (const Case& c : cases) {
        const Listed l = listed(*build_nav(Section::Network, c.query, requests));
        EXPECT_THAT(l.texts, ElementsAre("RESULTS")) << c.query;
        EXPECT_THAT(l.ids, ElementsAreArray(c.ids)) << c.query;
    }
    // The selected section is hidden by a query that does not match it: no row is selected.
    const Listed hidden = listed(*build_nav(Section::Network, "kernel", requests));
    EXPECT_THAT(hidden.ids, ElementsAre("about"));
    EXPECT_THAT(hidden.selected, ElementsAre(false));
}

TEST(SidebarNav, AQueryWithoutMatchesSaysSo)
{
    SectionRequests requests{std::nullopt};
    const Listed l = listed(*build_nav(Section::Network, "  zzz  ", requests));
    EXPECT_TRUE(l.ids.empty());
    EXPECT_THAT(l.texts, ElementsAre("RESULTS", "No settings match \u201Czzz\u201D"));
}

struct SidebarWindow : ::testing::Test {
    SectionRequests requests{std::nullopt};
    page_doc::Document doc;
    // The sidebar in the window's shell, beside an empty page.
    vorn_ui::AppShell root{build_nav(Section::Network, "", requests), vorn_ui::Text("").boxed()};
    vorn_ui::HeadlessWindow window{root, doc, {600, 800}};

    SidebarWindow() { window.frame(); }

    [[nodiscard]] vorn_ui::Rect row_rect(std::string_view title) const
    {
        const auto bounds = window.find_text_bounds(title);
        EXPECT_TRUE(bounds.has_value()) << title;
        return bounds.value_or(vorn_ui::Rect{});
    }
};

TEST_F(SidebarWindow, AClickPublishesTheRowsSectionAndAPressThatLeavesSelectsNothing)
{
    const vorn_ui::Rect sound = row_rect("Sound");
    const double y = (sound.y0 + sound.y1) / 2;
    window.click(sound.x0 + 4, y);
    EXPECT_EQ(requests.get(), std::optional<Section>(Section::Sound));

    (void)requests.publish(std::nullopt);
    const vorn_ui::Rect power = row_rect("Power");
    window.press(power.x0 + 4, (power.y0 + power.y1) / 2);
    window.move(500, 780);
    window.release(500, 780);
    EXPECT_EQ(requests.get(), std::nullopt);
}

TEST_F(SidebarWindow, EnterOrSpaceOnTheFocusedRowAndTheAccessibleActionPublishIt)
{
    window.tab();  // the selected row (Network, the first)
    window.key(vorn_ui::Key::Enter);
    EXPECT_EQ(requests.get(), std::optional<Section>(Section::Network));
    window.key(vorn_ui::Key::Down);
    window.key(vorn_ui::Key::Space);
    EXPECT_EQ(requests.get(), std::optional<Section>(Section::Bluetooth));

    SidebarRow about(Section::About, false, requests);
    EXPECT_TRUE(about.perform_action(vorn_ui::Action::activate(), {}));
    EXPECT_EQ(requests.get(), std::optional<Section>(Section::About));
    EXPECT_FALSE(about.perform_action(vorn_ui::Action{vorn_ui::Action::Kind::Increment}, {}));
}

[[nodiscard]] std::string focused_title(const vorn_ui::HeadlessWindow& window)
{
    const auto* row = dynamic_cast<const SidebarRow*>(window.focused());
    return row != nullptr ? std::string(row->section().title()) : std::string("(not a row)");
}

TEST_F(SidebarWindow, TheListIsOneTabStopAndArrowsMoveBetweenItsRows)
{
    // Selected: Network. Its row is the sidebar's only place in the Tab order.
    const auto order = window.driver().focus_order();
    EXPECT_EQ(std::ranges::count_if(order, [](const vorn_ui::Widget* w) { return w->widget_name() == "SidebarRow"; }),
              1);
    window.tab();
    EXPECT_EQ(focused_title(window), "Network");

    struct Step {
        vorn_ui::Key key;
        std::string_view lands_on;
    };
    const std::vector<Step> walk{
        {vorn_ui::Key::Up, "Network"},  // the top stays the top
        {vorn_ui::Key::Down, "Bluetooth"},
        {vorn_ui::Key::Down, "Devices & Sync"},
        {vorn_ui::Key::Up, "Bluetooth"},
        {vorn_ui::Key::End, "About"},
        {vorn_ui::Key::Down, "About"},  // the bottom stays the bottom
        {vorn_ui::Key::Home, "Network"},
    };
    for (const Step& step : walk) {
        window.key(step.key);
        EXPECT_EQ(focused_title(window), step.lands_on);
    }
    EXPECT_EQ(requests.get(), std::nullopt) << "moving opens nothing";

    // The row moved to is now the only Tab stop (what Tab comes back to), and End scrolled it into view.
    window.key(vorn_ui::Key::End);
    const auto stops = window.driver().focus_order();
    ASSERT_EQ(stops.size(), 1U);
    EXPECT_EQ(stops.front(), window.focused());
    EXPECT_EQ(focused_title(window), "About");
    const vorn_ui::Rect about = window.focused()->get_rect();
    EXPECT_LE(about.y1, 800.0);
    EXPECT_GE(about.y0, 0.0);
}

TEST_F(SidebarWindow, RowsAreAtLeastFortyHighAndDrawTheSelectionBackground)
{
    const vorn_ui::Rect network = row_rect("Network");
    const vorn_ui::Rect bluetooth = row_rect("Bluetooth");
    EXPECT_GE(bluetooth.y0 - network.y0, 40.0 + 4.0);  // row height and the gap between rows
    // The selected row (Network) is filled; the row below is not.
    const double y = (network.y0 + network.y1) / 2;
    const vorn_ui::Pixel selected = window.pixel(network.x1 + 40, y);
    const vorn_ui::Pixel plain = window.pixel(bluetooth.x1 + 40, (bluetooth.y0 + bluetooth.y1) / 2);
    EXPECT_NE(selected, plain);
    // Hovering the plain row changes its look.
    window.move(bluetooth.x1 + 40, (bluetooth.y0 + bluetooth.y1) / 2);
    EXPECT_NE(window.pixel(bluetooth.x1 + 40, (bluetooth.y0 + bluetooth.y1) / 2), plain);
}

TEST_F(SidebarWindow, AccessibilityNamesEveryRowByItsOpenAction)
{
    const nlohmann::ordered_json tree = window.accessibility_json();
    std::vector<std::pair<std::string, std::string>> rows;
    std::function<void(const nlohmann::ordered_json&)> walk = [&](const nlohmann::ordered_json& node) {
        if (node.value("widget", "") == "SidebarRow") {
            rows.emplace_back(node.value("label", ""), node.value("id", ""));
            EXPECT_EQ(node.value("role", ""), vorn_ui::role_name(vorn_ui::access_role::navigation_row));
        }
        for (const auto& child : node.value("children", nlohmann::ordered_json::array())) {
            walk(child);
        }
    };
    walk(tree);
    ASSERT_EQ(rows.size(), Section::kCount);
    EXPECT_EQ(rows[0], (std::pair<std::string, std::string>{
                           "Network", actions::catalogue::section_open_action(Section::Network).encode()}));
    EXPECT_EQ(rows[21].first, "About");
}

TEST(SidebarRowGeometry, PartsOfARow)
{
    const RowGeometry g = row_geometry(vorn_ui::Rect{4, 100, 260, 148}, 20.0);
    EXPECT_EQ(g.content, (vorn_ui::Rect{12, 104, 252, 144}));
    EXPECT_DOUBLE_EQ(g.icon_left, 4 + 8 + 12 + 1);
    EXPECT_DOUBLE_EQ(g.title_left, 4 + 52);
    EXPECT_DOUBLE_EQ(g.title_top, 100 + 14);
}

}  // namespace
}  // namespace settings::sidebar
