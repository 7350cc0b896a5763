// The Region & Formats page in the headless window: its accessibility tree wide and narrow, the preview following a
// choice in place, the focus kept after a change, and the view built anew when the width crosses the narrow width.
#include "panes/region/region_pane.hpp"

#include "actions/catalogue/sections.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "prefs/locale.hpp"
#include "setting_tables/region.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace settings::panes::region {
namespace {

using ::testing::Contains;
using ::testing::IsSubsetOf;

std::vector<std::string> dump(float width)
{
    testing::TempConfig home;
    home.write_settings(R"({"locale": {"currency": "EUR", "number_style": "DecimalComma", "time_format": "H12"}})");
    page_doc::Document doc;
    RegionPane pane;
    vorn_ui::HeadlessWindow w(pane, doc, {static_cast<double>(width), 1400});
    w.frame();
    w.frame();
    return testing::access_lines(w.accessibility_json());
}

TEST(RegionPane, AccessibilityTreeWideAndNarrow)
{
    const std::vector<std::string> expected{
        "combo_box Currency = EUR [collapsed]",
        "combo_box Date format = ISO (2023-03-15) [collapsed]",
        "combo_box Time format = 12-hour (2:05 PM) [collapsed]",
        "combo_box Measurement = Metric (\u00B0C, km, kg) [collapsed]",
        "combo_box Number format = 1.234.567,89 [collapsed]",
        "combo_box First day of week = Monday [collapsed]",
    };
    const auto wide = dump(1000);
    const auto narrow = dump(330);
    for (const auto* lines : {&wide, &narrow}) {
        std::vector<std::string> combos;
        for (const auto& line : *lines) {
            if (line.starts_with("combo_box")) {
                combos.push_back(line);
            }
        }
        EXPECT_EQ(combos, expected) << ::testing::PrintToString(*lines);
        std::string joined;
        for (const auto& line : *lines) {
            joined += line + "\n";
        }
        for (const std::string_view text : {"\u20AC1.234.567,89", "2023-03-15", "2:05 PM", "21 \u00B0C",
                                            "Calendar week starts", "Shared with your apps"}) {
            EXPECT_NE(joined.find(text), std::string::npos) << text << "\n" << joined;
        }
    }
}

const vorn_ui::Widget* find_control(const vorn_ui::Widget& root, std::string_view id)
{
    if (preference_pane::control_id(root) == id) {
        return &root;
    }
    const vorn_ui::Widget* found = nullptr;
    root.for_each_child([&](const vorn_ui::Widget& child) {
        if (found == nullptr) {
            found = find_control(child, id);
        }
    });
    return found;
}

// Wide, each drop-down sits beside its title; narrow, under it.
TEST(RegionPane, NarrowPutsEachChoiceUnderItsTitle)
{
    for (const float width : {1000.0f, 330.0f}) {
        SCOPED_TRACE(width);
        testing::TempConfig home;
        page_doc::Document doc;
        RegionPane pane;
        vorn_ui::HeadlessWindow w(pane, doc, {static_cast<double>(width), 1400});
        w.frame();
        w.frame();
        EXPECT_EQ(pane.narrow(), width < kNarrowWidth);
        const auto title = w.find_text_bounds("First day of week");
        const auto* list = find_control(w.root(), "region.first_day");
        ASSERT_TRUE(title);
        ASSERT_NE(list, nullptr);
        const vorn_ui::Rect box = list->get_rect();
        if (pane.narrow()) {
            EXPECT_GE(box.y0, title->y1 - 1) << "under its title";
            EXPECT_LE(box.x1, width) << "inside the window";
        } else {
            EXPECT_LT(box.y0, title->y1) << "beside its title";
            EXPECT_GT(box.x0, title->x1);
        }
    }
}

// The view is built once: a choice from a list changes the value and the preview in place, the focus stays, and
// Tab goes on to the next control.
TEST(RegionPane, FocusSurvivesAChange)
{
    testing::TempConfig home;
    page_doc::Document doc;
    RegionPane pane;
    vorn_ui::HeadlessWindow w(pane, doc, {1000, 1400});
    w.frame();
    const auto builds = pane.view_builds();
    EXPECT_TRUE(w.find_text_bounds("$1,234,567.89"));

    ASSERT_TRUE(testing::focus_control(w, "region.currency"));
    EXPECT_EQ(testing::next_in_focus_order(w, "region.currency"), "region.date");
    w.key(vorn_ui::Key::Space);
    w.key(vorn_ui::Key::Down);
    w.key(vorn_ui::Key::Enter);
    w.frame();
    EXPECT_EQ(pane.model().locale().currency, prefs::Currency::EUR);
    EXPECT_EQ(prefs::load_locale().currency, prefs::Currency::EUR) << "saved";
    EXPECT_TRUE(w.find_text_bounds("\u20AC1,234,567.89")) << "the preview follows";
    EXPECT_EQ(testing::focused_id(w), "region.currency");
    w.tab();
    EXPECT_EQ(testing::focused_id(w), "region.date");
    EXPECT_EQ(pane.view_builds(), builds);
}

// Crossing the narrow width builds the view for it; the focused control keeps the focus.
TEST(RegionPane, CrossingTheNarrowWidthRebuildsAndKeepsTheFocus)
{
    testing::TempConfig home;
    page_doc::Document doc;
    RegionPane pane(std::optional<float>(900.0f));
    vorn_ui::HeadlessWindow w(pane, doc, {900, 1400});
    w.frame();
    EXPECT_FALSE(pane.narrow());
    ASSERT_TRUE(testing::focus_control(w, "region.measurement"));
    const auto builds = pane.view_builds();

    w.resize({320, 1400});
    w.frame();
    w.frame();
    EXPECT_TRUE(pane.narrow());
    EXPECT_EQ(pane.view_builds(), builds + 1);
    EXPECT_EQ(testing::focused_id(w), "region.measurement");
    w.frame();
    EXPECT_EQ(pane.view_builds(), builds + 1) << "built once for the new width";
}

TEST(RegionPane, TheApplicationsOfferedWidthDecidesBeforeTheFirstLayout)
{
    testing::TempConfig home;
    EXPECT_TRUE(RegionPane(std::optional<float>(300.0f)).narrow());
    EXPECT_FALSE(RegionPane(std::optional<float>(356.0f)).narrow());
    EXPECT_FALSE(RegionPane(std::optional<float>(0.0f)).narrow()) << "no width yet is not narrow";
    EXPECT_FALSE(RegionPane().narrow());
}

TEST(RegionPane, PreviewTable)
{
    using namespace prefs;
    struct Case {
        Locale locale;
        PreviewTexts expected;
    };
    const std::vector<Case> cases = {
        {Locale{}, {"$1,234,567.89", "2023-03-15", "14:05", "21 \u00B0C", "Monday"}},
        {Locale{.currency = Currency::EUR, .date_format = DateFormat::EU, .number_style = NumberStyle::DecimalComma},
         {"\u20AC1.234.567,89", "15/03/2023", "14:05", "21 \u00B0C", "Monday"}},
        {Locale{.currency = Currency::GBP, .date_format = DateFormat::Long, .time_format = HourCycle::H12,
                .measurement = Measurement::Imperial, .first_day_of_week = Weekday::Sunday},
         {"\u00A31,234,567.89", "15 Mar 2023", "2:05 PM", "70 \u00B0F", "Sunday"}},
        {Locale{.currency = Currency::JPY, .date_format = DateFormat::US, .first_day_of_week = Weekday::Saturday},
         {"\u00A51,234,567.89", "03/15/2023", "14:05", "21 \u00B0C", "Saturday"}},
        {Locale{.currency = Currency::CHF, .number_style = NumberStyle::DecimalComma},
         {"CHF1.234.567,89", "2023-03-15", "14:05", "21 \u00B0C", "Monday"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(preview_texts(c.locale), c.expected) << ::testing::PrintToString(c.expected.amount);
    }
}

// Every row's control id and action: the action is what the Region & Formats section publishes.
TEST(RegionPane, ControlIdsAndTheSectionsActions)
{
    const std::vector<std::pair<std::string_view, std::string_view>> ids{
        {"region.currency", "currency"},       {"region.date", "date"},
        {"region.time", "time"},               {"region.measurement", "measurement"},
        {"region.number_style", "number"},     {"region.first_day", "first-day"},
    };
    const auto section = actions::catalogue::region_formats_resource(page_doc::Document{});
    const auto rows = setting_tables::region::settings();
    ASSERT_EQ(rows.size(), ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(rows[i].control_id, ids[i].first);
        EXPECT_EQ(rows[i].action, ids[i].second);
        EXPECT_NE(section.find_action(rows[i].action), nullptr) << rows[i].action;
    }
}

}  // namespace
}  // namespace settings::panes::region
