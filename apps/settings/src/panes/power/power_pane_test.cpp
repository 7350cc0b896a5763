// The Power page in the headless window with fake backends and hand-run workers: the view variants of the machine
// (pictures by probes, accessibility), controls that change in place under keys and the pointer, a request handed
// over by the runner, and a save that fails.
#include "panes/power/power_pane.hpp"
#include "panes/power/testing/fake_machine.hpp"

#include "operations/testing/page_cells.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace settings::panes::power {
namespace {

using operations::OperationStatus;
using system_ops::battery::FakeBattery;
using Op = PowerOperation;

FakeBattery::State no_battery() { return {}; }

FakeBattery::State laptop_with_ups()
{
    FakeBattery::State state = fake_laptop();
    state.devices = std::vector<PowerDevice>{
        {.name = "BAT0", .state = "On battery", .percent = 64},
        {.name = "ups0", .state = "Charging", .model = "Back-UPS 700", .percent = 93, .kind = PowerDeviceKind::Ups}};
    return state;
}

FakeBattery::State laptop_without_cap()
{
    FakeBattery::State state = fake_laptop();
    state.capability.reset();
    return state;
}

bool has_line(const std::vector<std::string>& lines, std::string_view start)
{
    return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(start); });
}

vorn_ui::Point centre(const vorn_ui::Rect& r) { return {(r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0}; }

// The first widget of the view of this type whose label (its id) is `id`; any of the type without an id.
template <class W>
W* find_control(vorn_ui::Widget& root, std::string_view id = {})
{
    if (auto* widget = dynamic_cast<W*>(&root); widget != nullptr && (id.empty() || root.label() == id)) {
        return widget;
    }
    for (vorn_ui::Widget* child : root.children_mut()) {
        if (W* found = find_control<W>(*child, id)) {
            return found;
        }
    }
    return nullptr;
}

// The page over fake backends, the settings file's "power" section in memory, workers run by hand.
class PowerPaneTest : public ::testing::Test, protected FakeMachine {
protected:
    // The page in a window tall enough for every card; with the application's cells when `cells` is set.
    void open(bool cells = false, vorn_ui::WindowSize size = {1280, 1700})
    {
        PowerPane page(environment());
        if (cells) {
            page = std::move(page).with_operation_requests(requests).with_operation_status(status);
        }
        pane = std::make_unique<PowerPane>(std::move(page));
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, size);
        window->frame();
    }

    // The workers' readings arrive.
    void settle()
    {
        threads.run_all();
        window->frame();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<PowerPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(PowerPaneTest, TheViewFollowsWhatTheMachineHas)
{
    struct Case {
        std::string_view name;
        FakeBattery::State battery;
        std::optional<std::string> profile_failure;
        std::vector<std::string_view> shown;    // drawn texts or accessibility lines (by their start)
        std::vector<std::string_view> absent;
    };
    const std::vector<Case> cases{
        {"no battery", no_battery(), std::nullopt,
         {"Power source", "AC power", no_battery_caption, "combo_box Profile = Balanced"},
         {"Battery", "Charge cap", "Power devices"}},
        {"one battery", fake_laptop(), std::nullopt,
         {"Battery", "64%", "label On battery", "Charge cycles", "Battery health", "90%", "combo_box Charge cap = 100%",
          history_caption, charge_cap_caption(*fake_laptop().capability)},
         {"Power source", "Power devices"}},
        {"two power devices", laptop_with_ups(), std::nullopt,
         {"Power devices", "Back-UPS 700", "UPS \u00b7 93% \u00b7 Charging", "BAT0", "Battery \u00b7 64% \u00b7 On battery"},
         {"Power source"}},
        {"no charge capability", laptop_without_cap(), std::nullopt,
         {"Battery", "Charge cap", cap_not_supported_text},
         {"combo_box Charge cap"}},
        {"profile service unavailable", fake_laptop(), "power-profiles-daemon is not running",
         {profile_service_unavailable_text,
          "Power-profile service is unavailable: power-profiles-daemon is not running; capabilities: "
          "power-profiles-daemon is not running."},
         {"combo_box Profile"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        battery->set_state(c.battery);
        power->set_state({.failure = c.profile_failure});
        last = std::make_shared<LastReadings>();  // no earlier page's readings
        open();
        EXPECT_TRUE(shows(std::string(loading_text))) << "before the first reading";
        settle();
        const auto access = lines();
        for (const std::string_view text : c.shown) {
            EXPECT_TRUE(shows(text) || has_line(access, text)) << text << "\n" << ::testing::PrintToString(access);
        }
        for (const std::string_view text : c.absent) {
            EXPECT_FALSE(shows(text)) << text;
            EXPECT_FALSE(has_line(access, text)) << text;
        }
        // The power settings are there whatever the machine has.
        for (const std::string_view control :
             {"toggle Suspend when idle = on", "combo_box Suspend after = 15 minutes",
              "combo_box Blank screen when idle = 10 minutes", "combo_box Lock after = 5 minutes",
              "combo_box Power Saver suspend = 10 minutes", "combo_box Balanced suspend = 15 minutes",
              "combo_box Performance suspend = 30 minutes", "combo_box When the lid is closed = Suspend",
              "combo_box When the power key is pressed", "combo_box When the battery is critically low"}) {
            EXPECT_TRUE(has_line(access, control)) << control << "\n" << ::testing::PrintToString(access);
        }
        window.reset();
        pane.reset();
        threads.run_all();
    }
}

TEST_F(PowerPaneTest, TheBatteryIsDrawnAsABarFilledToItsChargeAndAChargeHistory)
{
    open();
    settle();
    vorn_ui::Widget& root = *pane->content();
    const auto* bar = find_control<vorn_ui::ProgressBar>(root);
    ASSERT_NE(bar, nullptr);
    EXPECT_NEAR(bar->fraction().value_or(0.0), 0.64, 1e-6);
    const vorn_ui::Rect track = bar->get_rect();
    ASSERT_GT(track.width(), 100.0);
    // Filled with the accent colour up to the charge, not beyond.
    const vorn_ui::Color accent = window->theme().accent;
    const auto part = [&](double from, double to) {
        return vorn_ui::Rect{track.x0 + track.width() * from, track.y0, track.x0 + track.width() * to, track.y1};
    };
    EXPECT_GT(window->coverage(part(0.05, 0.55), accent, 30), 0.3);
    EXPECT_LT(window->coverage(part(0.70, 0.95), accent, 30), 0.05);

    const auto* line = find_control<vorn_ui::Sparkline>(root);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->samples(), (std::vector<double>{90, 80, 64}));
    EXPECT_DOUBLE_EQ(line->get_rect().width(), 320.0);
    EXPECT_GT(window->coverage(line->get_rect(), vorn_ui::Theme::dark().accent, 40), 0.0);

    // One sample is no history.
    window.reset();
    pane.reset();
    threads.run_all();
    history = {64};
    open();
    settle();
    EXPECT_EQ(find_control<vorn_ui::Sparkline>(*pane->content()), nullptr);
    EXPECT_FALSE(shows(history_caption));
}

// Space on the switch and a choice from a list save them in place: the focus stays and Tab goes on from there.
TEST_F(PowerPaneTest, FocusSurvivesAChange)
{
    open();
    settle();
    const auto builds = pane->view_builds();

    ASSERT_TRUE(testing::focus_control(*window, auto_suspend_key));
    EXPECT_EQ(testing::next_in_focus_order(*window, auto_suspend_key), suspend_key);
    window->key(vorn_ui::Key::Space);
    window->frame();
    EXPECT_FALSE(stored.auto_suspend);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(testing::focused_id(*window), auto_suspend_key);
    EXPECT_TRUE(has_line(lines(), "toggle Suspend when idle = off")) << ::testing::PrintToString(lines());
    window->tab();
    EXPECT_EQ(testing::focused_id(*window), suspend_key);
    window->shift_tab();
    EXPECT_EQ(testing::focused_id(*window), auto_suspend_key);

    ASSERT_TRUE(testing::focus_control(*window, lid_key));
    EXPECT_EQ(testing::next_in_focus_order(*window, lid_key), power_key_key);
    window->key(vorn_ui::Key::Space);
    window->key(vorn_ui::Key::Down);
    window->key(vorn_ui::Key::Enter);
    window->frame();
    EXPECT_EQ(stored.lid_close_action, PowerAction::Lock);
    EXPECT_EQ(testing::focused_id(*window), lid_key);
    window->tab();
    EXPECT_EQ(testing::focused_id(*window), power_key_key);

    EXPECT_EQ(pane->view_builds(), builds) << "a saved value changes its control in place";
}

// A notice that appears builds the view anew; the control that had the focus has it again.
TEST_F(PowerPaneTest, ASwitchThatCannotBeSavedGoesBackAndSaysWhyKeepingTheFocus)
{
    open();
    settle();
    const auto builds = pane->view_builds();
    save_failure = "Permission denied";
    ASSERT_TRUE(testing::focus_control(*window, auto_suspend_key));
    window->key(vorn_ui::Key::Space);
    window->frame();
    window->frame();
    EXPECT_TRUE(stored.auto_suspend);
    EXPECT_TRUE(has_line(lines(), "toggle Suspend when idle = on")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(shows("Power preference was not saved: Permission denied"));
    EXPECT_EQ(pane->view_builds(), builds + 1);
    EXPECT_EQ(testing::focused_id(*window), auto_suspend_key);
    window->tab();
    EXPECT_EQ(testing::focused_id(*window), suspend_key);
}

// A page opens with the readings of the last one; its own, when they differ, change the values in place.
TEST_F(PowerPaneTest, ItsOwnReadingChangesTheLastKnownBatteryInPlace)
{
    open();
    settle();
    window.reset();
    pane.reset();
    auto fuller = fake_laptop();
    fuller.info.percent = 81;
    fuller.info.status = "Charging";
    battery->set_state(fuller);
    history = {64, 81};

    open();
    EXPECT_TRUE(shows("64%")) << "the last known battery at once";
    const auto builds = pane->view_builds();
    settle();
    EXPECT_TRUE(shows("81%"));
    EXPECT_FALSE(shows("64%"));
    EXPECT_EQ(find_control<vorn_ui::ProgressBar>(*pane->content())->fraction(), 0.81F);
    EXPECT_EQ(find_control<vorn_ui::Sparkline>(*pane->content())->samples(), (std::vector<double>{64, 81}));
    EXPECT_EQ(pane->view_builds(), builds);
}

TEST_F(PowerPaneTest, ATimeoutChosenWithThePointerIsSaved)
{
    open();
    settle();
    auto* blank = find_control<vorn_ui::Dropdown>(*pane->content(), blank_key);
    ASSERT_NE(blank, nullptr);
    const auto [x, y] = centre(blank->get_rect());
    window->click(x, y);
    ASSERT_TRUE(blank->is_open());
    const auto never = std::ranges::find(blank->choices(), "Never") - blank->choices().begin();
    const auto [nx, ny] = centre(blank->row_rect(static_cast<std::size_t>(never)));
    window->click(nx, ny);
    window->frame();
    EXPECT_EQ(stored.blank_minutes, 0U);
    EXPECT_TRUE(has_line(lines(), "combo_box Blank screen when idle = Never")) << ::testing::PrintToString(lines());
}

// The runner hands a request over; the page carries it out and its control shows the new value without a rebuild.
TEST_F(PowerPaneTest, ARequestFromTheRunnerChangesTheOpenPageInPlace)
{
    open(true);
    settle();
    const vorn_ui::Widget* view = pane->content();
    const Op never{Op::SetLockTimeout{"Never"}};
    operations::testing::hand_over(requests, status, never);
    window->frame();
    EXPECT_EQ(status.get(), operations::testing::done(never, "Automatic lock timeout saved."));
    EXPECT_EQ(stored.lock_minutes, 0U);
    window->frame();
    EXPECT_TRUE(has_line(lines(), "combo_box Lock after = Never")) << ::testing::PrintToString(lines());
    EXPECT_EQ(pane->content(), view);

    // A control change the runner never started is put back: only operations change the page now.
    (void)status.publish(OperationStatus::idle());
    auto* lid = find_control<vorn_ui::Dropdown>(*pane->content(), lid_key);
    ASSERT_NE(lid, nullptr);
    ASSERT_TRUE(lid->choose(2));  // "Do nothing", as the user would
    window->frame();
    window->frame();
    EXPECT_EQ(stored.lid_close_action, PowerAction::Suspend);
    EXPECT_TRUE(has_line(lines(), "combo_box When the lid is closed = Suspend")) << ::testing::PrintToString(lines());
}

TEST(PowerViewStructure, OnlyRowsThatComeOrGoRebuildTheView)
{
    const prefs::PowerPrefs prefs;
    const std::optional<BatteryState> battery = BatteryState{};
    const std::optional<ProfileState> profiles =
        ProfileState{.available = {PowerProfile::Balanced, PowerProfile::Performance}, .active_known = true};
    const std::optional<std::string> none;
    const auto cards = [&](const prefs::PowerPrefs& p, PowerProfile active, const std::optional<std::string>& notice) {
        return power_cards(PowerView{.battery = battery,
                                     .profiles = profiles,
                                     .active_profile = active,
                                     .prefs = p,
                                     .charge_cap_notice = none,
                                     .profile_notice = none,
                                     .saving_notice = notice,
                                     .behaviour_notice = none});
    };
    const std::string base = view_structure(cards(prefs, PowerProfile::Balanced, none));
    prefs::PowerPrefs changed = prefs;
    changed.auto_suspend = false;
    changed.blank_minutes = 0;
    changed.lid_close_action = PowerAction::Ignore;
    EXPECT_EQ(view_structure(cards(changed, PowerProfile::Performance, none)), base);
    EXPECT_NE(view_structure(cards(prefs, PowerProfile::Balanced, std::string("Power preference was not saved: x"))),
              base);
    changed.critical_battery_percent = 3;  // the behaviour caption's words
    EXPECT_EQ(view_structure(cards(changed, PowerProfile::Performance, none)), base);
}

}  // namespace
}  // namespace settings::panes::power
