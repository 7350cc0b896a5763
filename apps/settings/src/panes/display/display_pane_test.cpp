// The Displays page in the headless window over the machine in memory and a compositor the test steps: one built-in
// panel and two outputs (pictures by text probes, the accessibility tree), the confirmed apply as the user clicks
// it (kept, restored at the deadline, refused, never taken up), the focus kept through a change, and a request the
// runner hands over.
#include "panes/display/display_pane.hpp"
#include "panes/display/testing/display_world.hpp"

#include "display_service/testing/fake_compositor.hpp"
#include "operations/testing/page_cells.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace settings::panes::display {
namespace {

namespace hw = config_sections::hardware;
using display_service::testing::FakeCompositor;
using operations::OperationStatus;
using ::testing::Contains;
using ::testing::Not;
using Op = actions::DisplayOperation;
using namespace display::testing;

vorn_ui::Point centre(const vorn_ui::Rect& r) { return {(r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0}; }

// The first widget of the view of this type whose label (its id) is `id`.
template <class W>
W* find_control(vorn_ui::Widget& root, std::string_view id)
{
    if (auto* widget = dynamic_cast<W*>(&root); widget != nullptr && root.label() == id) {
        return widget;
    }
    for (vorn_ui::Widget* child : root.children_mut()) {
        if (W* found = find_control<W>(*child, id)) {
            return found;
        }
    }
    return nullptr;
}

const std::string kDpMode = "display.output.DP-1.mode";
const std::string kPanelScale = "display.output.eDP-1.scale";

class DisplayPaneTest : public ::testing::Test {
protected:
    // The page over `snapshot` with its compositor; the probe answers with `sensor`.
    void open(const DisplayHardwareSnapshot& snapshot, bool sensor = true, bool cells = false)
    {
        hardware = std::make_shared<hw::FakeDisplayHardware>(snapshot);
        scoped = std::make_unique<hw::ScopedDisplayHardware>(hardware);
        compositor = std::make_unique<FakeCompositor>(
            snapshot, side_by_side(), FakeCompositor::Options{.clock = [s = world.state] { return s->unix_ms.load(); }});
        auto model = DisplayModel::create(world.backend(), false);
        model.set_probe_answer(0.62F, sensor);
        show(DisplayPane(std::move(model)), cells);
    }
    void show(DisplayPane page, bool cells = false)
    {
        if (cells) {
            page = std::move(page).with_operation_requests(requests).with_operation_status(status);
        }
        pane = std::make_unique<DisplayPane>(std::move(page));
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 2600});
        window->frame();
        window->frame();
    }
    void TearDown() override
    {
        window.reset();
        pane.reset();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool has_line(std::string_view start) const
    {
        return std::ranges::any_of(lines(), [&](const std::string& l) { return l.starts_with(start); });
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }

    // Chooses `choice` in the drop-down with this id as the user does, with the pointer.
    void choose(const std::string& id, std::string_view choice)
    {
        auto* list = find_control<vorn_ui::Dropdown>(*pane->content(), id);
        ASSERT_NE(list, nullptr) << id;
        const auto [x, y] = centre(list->get_rect());
        window->click(x, y);
        ASSERT_TRUE(list->is_open());
        const auto at = std::ranges::find(list->choices(), choice) - list->choices().begin();
        ASSERT_LT(static_cast<std::size_t>(at), list->choices().size()) << choice;
        const auto [cx, cy] = centre(list->row_rect(static_cast<std::size_t>(at)));
        window->click(cx, cy);
        window->frame();
        window->frame();
    }
    void press(std::string_view caption)
    {
        const auto button = window->find_text_bounds(caption);
        ASSERT_TRUE(button) << caption << "\n" << ::testing::PrintToString(lines());
        window->click((button->x0 + button->x1) / 2, (button->y0 + button->y1) / 2);
        window->frame();
        window->frame();
    }
    // The compositor moves the transaction on; the page sees it in its next frames.
    void compositor_step()
    {
        (void)compositor->step();
        window->frame();
        window->frame();
    }
    void stage_smaller_mode()
    {
        choose(kDpMode, k720.label());
        ASSERT_TRUE(pane->model().staged());
        ASSERT_TRUE(shows("Apply display changes")) << ::testing::PrintToString(lines());
    }

    World world;
    RuntimeFolder runtime;
    std::shared_ptr<hw::FakeDisplayHardware> hardware;
    std::unique_ptr<hw::ScopedDisplayHardware> scoped;
    std::unique_ptr<FakeCompositor> compositor;
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<DisplayPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(DisplayPaneTest, OneBuiltInPanel)
{
    show(DisplayPane(DisplayModel::fixture(world.backend(), 0.62F)));
    const auto access = lines();
    for (const std::string_view line :
         {"label Built-in display", "label Active \u00B7 primary", "label Connect a second display to extend or mirror your screen.",
          "slider Brightness = 62%", "toggle Automatic brightness = off", "toggle Night light = off",
          "combo_box Night light warmth", "toggle Use this display = on", "toggle Primary display = on",
          "combo_box Scale = 100%", "combo_box Position = Automatic", "combo_box Mirroring = Extend workspace",
          "combo_box Resolution & refresh rate", "combo_box Rotation = Landscape",
          "label Not supported by this display", "label System default \u00B7 no valid ICC profiles detected",
          "label Display configuration", "label No unapplied display changes."}) {
        EXPECT_TRUE(has_line(line)) << line << "\n" << ::testing::PrintToString(access);
    }
    auto* mode = find_control<vorn_ui::Dropdown>(*pane->content(), "display.output.eDP-1.mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->choices(), (std::vector<std::string>{"1920 \u00D7 1080 \u00B7 60 Hz"}));
    // Only one output: nothing to place it by or mirror.
    auto* position = find_control<vorn_ui::Dropdown>(*pane->content(), "display.output.eDP-1.position");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->choices(), (std::vector<std::string>{"Automatic"}));
    EXPECT_TRUE(shows("Built-in display"));
    EXPECT_TRUE(shows("1920 \u00D7 1080 \u00B7 60 Hz")) << "the mode in force, until one is chosen";
    EXPECT_FALSE(has_line("button Apply"));
}

TEST_F(DisplayPaneTest, TwoOutputsAndNoSensor)
{
    auto snapshot = laptop_and_monitor();
    snapshot.outputs[0].display_reports_hdr = true;
    snapshot.outputs[0].vrr_supported = true;
    snapshot.outputs[0].color_profiles = {"dell-srgb"};
    snapshot.outputs[0].color_profile_catalogue = {{"dell-srgb", "Dell sRGB"}};
    snapshot.outputs[1].hdr_reason = "HDR needs a Wayland compositor";
    open(snapshot, false);
    const auto access = lines();
    for (const std::string_view line :
         {"label Built-in display", "label DELL U2720Q", "label Active \u00B7 primary", "label Active",
          "label No ambient-light sensor detected", "label HDR needs a Wayland compositor",
          "label Display support detected; compositor output support unavailable", "toggle Variable refresh rate",
          "combo_box Colour profile = System default", "combo_box Resolution & refresh rate = 2560 \u00D7 1080"}) {
        EXPECT_TRUE(has_line(line)) << line << "\n" << ::testing::PrintToString(access);
    }
    EXPECT_FALSE(has_line("toggle Automatic brightness"));
    EXPECT_FALSE(has_line("label No displays detected"));
    // The built-in panel's card comes first; each can be placed by and mirror the other.
    const auto panel = window->find_text_bounds("Built-in display");
    const auto monitor = window->find_text_bounds("Use this display");
    ASSERT_TRUE(panel && monitor);
    auto* position = find_control<vorn_ui::Dropdown>(*pane->content(), "display.output.DP-1.position");
    ASSERT_NE(position, nullptr);
    EXPECT_THAT(position->choices(), Contains("Right of Built-in display"));
    auto* mirror = find_control<vorn_ui::Dropdown>(*pane->content(), "display.output.eDP-1.mirror");
    ASSERT_NE(mirror, nullptr);
    EXPECT_EQ(mirror->choices(), (std::vector<std::string>{"Extend workspace", "Mirror DELL U2720Q"}));
    auto* profile = find_control<vorn_ui::Dropdown>(*pane->content(), "display.output.DP-1.color_profile");
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->choices(), (std::vector<std::string>{"System default", "Dell sRGB \u00B7 dell-srgb"}));
}

TEST_F(DisplayPaneTest, NoOutputs)
{
    open({});
    EXPECT_TRUE(has_line("label No displays detected on this device.")) << ::testing::PrintToString(lines());
    EXPECT_FALSE(has_line("label Connect a second display"));
    EXPECT_FALSE(has_line("toggle Use this display"));
}

// Apply, the countdown shown in place, Keep; the compositor runs the layout the page asked for.
TEST_F(DisplayPaneTest, AnAppliedLayoutCountsDownAndIsKept)
{
    open(laptop_and_monitor());
    stage_smaller_mode();
    EXPECT_TRUE(has_line("button Apply"));
    press("Apply");
    EXPECT_TRUE(shows("Applying display configuration"));
    EXPECT_TRUE(shows("The compositor is validating and applying the output plan\u2026"));

    compositor_step();
    EXPECT_TRUE(shows("Keep this display configuration?")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line("label Every display should be visible. Restoring the previous layout in 15 seconds"));
    const auto builds = pane->view_builds();
    world.advance(std::chrono::milliseconds(13'800));
    window->frame();
    EXPECT_TRUE(has_line("label Every display should be visible. Restoring the previous layout in 2 seconds"))
        << ::testing::PrintToString(lines());
    EXPECT_EQ(pane->view_builds(), builds) << "the countdown changes in place";
    ASSERT_EQ(compositor->applied().size(), 1U);
    EXPECT_EQ(compositor->applied()[0].outputs.at("DP-1").mode, k720);

    press("Keep");
    compositor_step();
    EXPECT_TRUE(shows("No unapplied display changes.")) << ::testing::PrintToString(lines());
    EXPECT_EQ(compositor->layout().outputs.at("DP-1").mode, k720);
    EXPECT_TRUE(has_line("combo_box Resolution & refresh rate = 1280 \u00D7 720"));
    EXPECT_FALSE(pane->notice());
}

TEST_F(DisplayPaneTest, ALayoutNotKeptComesBackAtTheDeadline)
{
    open(laptop_and_monitor());
    stage_smaller_mode();
    press("Apply");
    compositor_step();
    world.advance(std::chrono::milliseconds(15'000));
    window->frame();
    EXPECT_TRUE(has_line("label Every display should be visible. Restoring the previous layout in 0 seconds"));
    compositor_step();
    EXPECT_TRUE(shows("No unapplied display changes.")) << ::testing::PrintToString(lines());
    EXPECT_EQ(compositor->layout().outputs.at("DP-1").mode, kWide);
    EXPECT_TRUE(has_line("combo_box Resolution & refresh rate = 2560 \u00D7 1080"));
}

TEST_F(DisplayPaneTest, ARefusedLayoutSaysWhy)
{
    open(laptop_and_monitor());
    stage_smaller_mode();
    compositor->refuse_next("DP-1 cannot be rotated by this X server");
    press("Apply");
    compositor_step();
    EXPECT_TRUE(shows("Display change was not applied")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line("label The display layout was refused: DP-1 cannot be rotated by this X server."));
    EXPECT_EQ(compositor->layout().outputs.at("DP-1").mode, kWide);
    EXPECT_TRUE(has_line("combo_box Resolution & refresh rate = 2560 \u00D7 1080"));
}

// Nobody serves the request: within a few seconds the page says so and shows the layout in force, never
// "Applying…" for good.
TEST_F(DisplayPaneTest, WithoutADisplayServiceThePageSaysNoneAnswered)
{
    open(laptop_and_monitor());
    stage_smaller_mode();
    press("Apply");
    EXPECT_EQ(world.state->services_started, 1);
    EXPECT_TRUE(shows("Applying display configuration"));
    world.advance(std::chrono::milliseconds(5'000));
    window->frame();
    window->frame();
    EXPECT_FALSE(shows("Applying display configuration"));
    EXPECT_TRUE(shows("Display change was not applied")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line("label No display service answered; the display layout was not changed."));
    EXPECT_TRUE(has_line("combo_box Resolution & refresh rate = 2560 \u00D7 1080"));
    EXPECT_FALSE(has_line("button Try again")) << "nothing is staged any more";
    EXPECT_TRUE(compositor->applied().empty());
}

// Space on a switch and a choice from a list keep the focus, also when the choice brings the Apply card; Tab goes
// on to the next control.
TEST_F(DisplayPaneTest, FocusSurvivesAChange)
{
    open(laptop_and_monitor());
    const std::string night_light(kNightLightKey);
    ASSERT_TRUE(panes::testing::focus_control(*window, night_light));
    EXPECT_EQ(panes::testing::next_in_focus_order(*window, night_light), kWarmthKey);
    window->key(vorn_ui::Key::Space);
    window->frame();
    EXPECT_TRUE(world.state->prefs.night_light);
    EXPECT_EQ(panes::testing::focused_id(*window), night_light);
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), kWarmthKey);

    const auto builds = pane->view_builds();
    ASSERT_TRUE(panes::testing::focus_control(*window, kPanelScale));
    const auto next = panes::testing::next_in_focus_order(*window, kPanelScale);
    window->key(vorn_ui::Key::Space);
    window->key(vorn_ui::Key::Down);
    window->key(vorn_ui::Key::Enter);
    window->frame();
    window->frame();
    ASSERT_TRUE(pane->model().staged());
    EXPECT_EQ(pane->model().staged()->outputs.at("eDP-1").scale, 1.25);
    EXPECT_EQ(pane->view_builds(), builds + 1) << "the Apply card appeared";
    EXPECT_EQ(panes::testing::focused_id(*window), kPanelScale);
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), next);
}

// Turning automatic brightness on where no sensor is: the switch is not there; asked for by the runner, the
// request fails with the reason and ends.
TEST_F(DisplayPaneTest, RequestsFromTheRunnerEndWithTheirOwnOutcome)
{
    open(laptop_and_monitor(), true, true);
    const Op night{Op::SetNightLight{true}};
    operations::testing::hand_over(requests, status, night);
    window->frame();
    window->frame();
    EXPECT_TRUE(world.state->prefs.night_light);
    EXPECT_TRUE(has_line("toggle Night light = on")) << ::testing::PrintToString(lines());
    EXPECT_FALSE(status.get().state == OperationStatus::State::Running) << status.get().key;

    (void)status.publish(OperationStatus::idle());
    const Op nothing{Op::SetOutputScale{"eDP-1", "100%"}};
    operations::testing::hand_over(requests, status, nothing);
    window->frame();
    window->frame();
    EXPECT_EQ(status.get(), operations::testing::done(nothing, "No display changes to stage."));

    (void)status.publish(OperationStatus::idle());
    const Op apply{Op::Apply{}};
    operations::testing::hand_over(requests, status, apply);
    window->frame();
    window->frame();
    EXPECT_EQ(status.get(), operations::testing::failed(apply, "There are no staged display changes to apply."));
    EXPECT_TRUE(has_line("label There are no staged display changes to apply.")) << "the page says it too";

    // An operation still on its way when the page closes fails rather than hold the runner until its deadline.
    (void)status.publish(OperationStatus::idle());
    const Op smaller{Op::SetModeLabel{"DP-1", k720.label()}};
    operations::testing::hand_over(requests, status, smaller);
    window->frame();
    ASSERT_TRUE(pane->model().staged());
    (void)status.publish(OperationStatus::idle());
    operations::testing::hand_over(requests, status, apply);
    window->frame();
    ASSERT_EQ(status.get().state, OperationStatus::State::Running) << "no compositor has taken it yet";
    window.reset();
    pane.reset();
    EXPECT_EQ(status.get(), operations::testing::failed(apply, kPageClosedSentence));
    show(DisplayPane(DisplayModel::create(world.backend(), false)), true);

    // A control change no operation started is put back: only operations change the page now.
    (void)status.publish(OperationStatus::idle());
    auto* scale = find_control<vorn_ui::Dropdown>(*pane->content(), kPanelScale);
    ASSERT_NE(scale, nullptr);
    ASSERT_TRUE(scale->choose(1));
    window->frame();
    window->frame();
    EXPECT_FALSE(pane->model().staged());
    EXPECT_TRUE(has_line("combo_box Scale = 100%")) << ::testing::PrintToString(lines());
}

}  // namespace
}  // namespace settings::panes::display
