// A picture of the whole application, sidebar and About page, taken headless and checked by probes: where the
// texts are, the surfaces behind them, the accessibility tree.
#include "app/settings_app.hpp"

#include "app/test_support.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>

namespace settings::app {
namespace {

int count_nodes(const nlohmann::ordered_json& node, std::string_view widget)
{
    int n = node.value("widget", "") == widget ? 1 : 0;
    for (const auto& child : node.value("children", nlohmann::ordered_json::array())) {
        n += count_nodes(child, widget);
    }
    return n;
}

TEST(AppPicture, SidebarAndAboutPage)
{
    testing::PrivateHome home;
    page_doc::Document doc;
    auto app = SettingsApp::create();
    vorn_ui::HeadlessWindow window(*app, doc, {1280, 1240});  // tall enough for the whole sidebar
    window.frame();
    app->select_section(Section::About);
    window.frame();
    if (const char* dir = std::getenv("VORN_PICTURE_DIR")) {
        ASSERT_TRUE(window.png(std::string(dir) + "/settings-about.png").has_value());
    }
    const vorn_ui::Theme& theme = window.theme();

    // The sidebar: its column on the left in the sidebar colour, with the group headings lined up.
    const auto connectivity = window.find_text_bounds("CONNECTIVITY");
    const auto maintenance = window.find_text_bounds("MAINTENANCE");
    ASSERT_TRUE(connectivity && maintenance);
    EXPECT_LT(connectivity->x1, kSidebarWidth);
    EXPECT_DOUBLE_EQ(connectivity->x0, maintenance->x0);
    EXPECT_LT(connectivity->y0, maintenance->y0);
    EXPECT_TRUE(window.pixel(kSidebarWidth - 12, 1230).near(theme.sidebar));

    // The selected row (About) has the selection background; another row (Network) has none.
    const auto about_row = window.find_text_bounds("About");
    const auto network_row = window.find_text_bounds("Network");
    ASSERT_TRUE(about_row && network_row);
    const double about_y = (about_row->y0 + about_row->y1) / 2;
    const double network_y = (network_row->y0 + network_row->y1) / 2;
    EXPECT_FALSE(window.pixel(about_row->x1 + 30, about_y).near(theme.sidebar, 2));
    EXPECT_TRUE(window.pixel(network_row->x1 + 30, network_y).near(theme.sidebar, 2));

    // The page: header, then the cards in order, right of the sidebar, on the window background.
    const auto eyebrow = window.find_text_bounds("SETTINGS");
    const auto title = window.find_text_bounds("Device identity and transfer");
    ASSERT_TRUE(eyebrow && title);
    EXPECT_GE(eyebrow->x0, kSidebarWidth);
    EXPECT_TRUE(window.pixel(1270, 10).near(theme.background));
    double last_y = title->y1;
    for (std::string_view text : {"Workspace identity", "Identity backup", "System", "Hardware"}) {
        const auto bounds = window.find_text_bounds(text);
        ASSERT_TRUE(bounds.has_value()) << text;
        EXPECT_GT(bounds->y0, last_y) << text;
        last_y = bounds->y0;
    }
    for (std::string_view label : {"Person", "Identity", "Kernel", "Architecture", "Uptime"}) {
        EXPECT_TRUE(window.find_text_bounds(label).has_value()) << label;
    }
    // The first card: the device icon and the host name on the card surface.
    const auto person = window.find_text_bounds("Person");
    ASSERT_TRUE(person.has_value());
    EXPECT_TRUE(window.pixel(person->x0 - 8, person->y0).near(theme.surface, 6));
    // Cards and header leave the page drawn with more than a couple of colours.
    EXPECT_GT(window.distinct_colors(vorn_ui::Rect{kSidebarWidth, 0, 1280, 400}), 4U);

    // Accessibility: the application node, 22 rows, one of them selected.
    const nlohmann::ordered_json tree = window.accessibility_json();
    EXPECT_EQ(tree.value("label", ""), "Settings");
    EXPECT_EQ(count_nodes(tree, "SidebarRow"), 22);
}

}  // namespace
}  // namespace settings::app
