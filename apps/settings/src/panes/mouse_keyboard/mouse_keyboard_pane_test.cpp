#include "panes/mouse_keyboard/mouse_keyboard_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "actions/payloads/operations.hpp"
#include "operations/runner.hpp"
#include "prefs/settings_file.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets/dropdown.hpp"

#include <gtest/gtest.h>

namespace settings::panes::mouse_keyboard {
namespace {

namespace cat = actions::catalogue;

const std::vector<keyboard_layouts::KeyboardLayout> layouts{
    {"de", "German"}, {"gb", "English (UK)"}, {"us", "English (US)"}, {"fr", "French"}};

bool has_line(const std::vector<std::string>& lines, std::string_view start)
{
    return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(start); });
}

// The node of the accessibility dump with this id (null when there is none).
const nlohmann::ordered_json* node_with_id(const nlohmann::ordered_json& node, std::string_view id)
{
    if (node.value("id", std::string()) == id) {
        return &node;
    }
    if (node.contains("children")) {
        for (const auto& child : node["children"]) {
            if (const auto* found = node_with_id(child, id)) {
                return found;
            }
        }
    }
    return nullptr;
}

// The application as the runner sees it; the page under test is never replaced.
class CountingHost final : public operations::RunnerHost {
public:
    void select_section(Section section) override { selected = section; }
    void refresh_page() override { ++refreshes; }
    Section selected = Section::About;
    int refreshes = 0;
};

TEST(MouseKeyboardPane, AccessibilityDumpAndBoundControls)
{
    testing::TempConfig home;
    auto platform = std::make_shared<cat::FakePlatform>();
    platform->layouts = layouts;
    cat::ScopedPlatform scoped(platform);
    page_doc::Document doc;
    MouseKeyboardPane pane(MouseKeyboardModel(prefs::InputPrefs{}, TextAssistance{}, layouts));
    vorn_ui::HeadlessWindow w(pane, doc, {1280, 2200});
    w.frame();
    const auto lines = testing::access_lines(w.accessibility_json());
    for (const std::string_view expected :
         {"combo_box Active input source = English (US)", "slider Key repeat speed", "combo_box Compose key = Disabled",
          "toggle Check spelling while typing", "toggle Auto-correct obvious misspellings",
          "combo_box Add a language or layout", "slider Touchpad speed", "slider Mouse speed",
          "toggle Touchpad natural scrolling", "toggle Tap to click", "toggle Left-handed",
          "combo_box Acceleration = Adaptive"}) {
        EXPECT_TRUE(has_line(lines, expected)) << expected << "\n" << ::testing::PrintToString(lines);
    }
    EXPECT_TRUE(has_line(lines, "button Remove"));

    // A switch sends its action of the Mouse & Keyboard section.
    const auto bounds = w.find_text_bounds("Tap to click");
    ASSERT_TRUE(bounds);
    const auto toggles = pane.control_action_bindings();
    EXPECT_FALSE(toggles.empty());
}

// Two active sources, English (US) in use; the page follows a real runner's status cell.
class OpenPageWithRunner : public ::testing::Test {
protected:
    static std::shared_ptr<cat::FakePlatform> two_sources()
    {
        prefs::SettingsFile file;
        file.input.keyboard_layouts = {"us", "de"};
        file.input.keyboard_layout = "us";
        EXPECT_TRUE(prefs::save_settings_file(file).has_value());
        auto platform = std::make_shared<cat::FakePlatform>();
        platform->layouts = layouts;
        platform->settings = prefs::load_settings_file();
        return platform;
    }

    [[nodiscard]] std::vector<std::string> lines() const { return testing::access_lines(window.accessibility_json()); }

    void run(std::uint64_t n, std::string_view kind, std::string_view payload)
    {
        const auto id = vorn_ui::OperationId::from_parts(0x6b, n);
        ASSERT_EQ(runner.start(id, vorn_ui::OperationClass::Effect, kind, payload).kind,
                  vorn_ui::ResourceOperationStart::Kind::Pending);
        const auto report = runner.poll(id, false);
        ASSERT_TRUE(report);
        ASSERT_EQ(report->kind, vorn_ui::OperationCompletion::Kind::Completed) << report->message;
    }

    testing::TempConfig home;
    std::shared_ptr<cat::FakePlatform> platform = two_sources();  // after `home`: the file goes there
    cat::ScopedPlatform scoped{platform};
    CountingHost host;
    operations::DeviceLocalRunner runner{host, operations::RunnerOptions{.keyboard_layouts = [] {
                                                   std::vector<actions::KeyboardLayout> known;
                                                   for (const auto& layout : layouts) {
                                                       known.push_back({layout.id, layout.label});
                                                   }
                                                   return known;
                                               }}};
    page_doc::Document doc;
    MouseKeyboardPane pane =
        MouseKeyboardPane(MouseKeyboardModel(prefs::load_settings_file().input, TextAssistance{}, layouts))
            .with_operation_status(runner.operation_status());
    vorn_ui::HeadlessWindow window{pane, doc, {1280, 2200}};
};

TEST_F(OpenPageWithRunner, ARunnerAppliedChangeShowsAtTheNextSyncWithoutANewPage)
{
    window.frame();
    ASSERT_TRUE(has_line(lines(), "combo_box Active input source = English (US)")) << ::testing::PrintToString(lines());
    ASSERT_TRUE(has_line(lines(), "toggle Tap to click = on")) << ::testing::PrintToString(lines());
    const vorn_ui::Widget* view = pane.content();
    window.frame();
    EXPECT_EQ(pane.content(), view);  // nothing was published: the view stays

    // Both operations are started, applied by the runner and collected by the poll before the page syncs again:
    // the status cell is back to Idle when the page looks.
    run(1, actions::InputOperation::kind, R"({"SetActiveSource":{"label":"German"}})");
    run(2, actions::InputOperation::kind, R"({"SetTapToClick":{"enabled":false}})");
    run(3, actions::KeyboardSourceOperation::kind, R"({"MoveDown":{"index":0}})");
    EXPECT_TRUE(runner.operation_status().get().is_idle());
    EXPECT_EQ(host.selected, Section::MouseKeyboard);
    EXPECT_EQ(host.refreshes, 3);  // the application would build the page again; this one must not need it
    platform->settings = prefs::load_settings_file();  // the section's actions, as the system platform reads them

    window.frame();
    EXPECT_TRUE(has_line(lines(), "combo_box Active input source = German")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line(lines(), "toggle Tap to click = off"));
    EXPECT_EQ(pane.model().input().keyboard_layouts, (std::vector<std::string>{"de", "us"}));
    const auto dump = window.accessibility_json();
    const auto* first_down = node_with_id(dump, "input.source.0.down");
    ASSERT_NE(first_down, nullptr);
    EXPECT_EQ(first_down->value("description", std::string()), "German");
}

TEST_F(OpenPageWithRunner, ReorderButtonsSayWhatTheyDoAndForWhichSource)
{
    window.frame();
    const auto dump = window.accessibility_json();
    struct Expected {
        std::string_view id;
        std::string_view label;
        std::string_view description;
        bool enabled;
    };
    for (const Expected& e : {Expected{"input.source.0.up", "Move input source up", "English (US)", false},
                              Expected{"input.source.0.down", "Move input source down", "English (US)", true},
                              Expected{"input.source.1.up", "Move input source up", "German", true},
                              Expected{"input.source.1.down", "Move input source down", "German", false},
                              Expected{"input.source.1.remove", "Remove", "German", true}}) {
        const auto* node = node_with_id(dump, e.id);
        ASSERT_NE(node, nullptr) << e.id;
        EXPECT_EQ(node->value("label", std::string()), e.label) << e.id;
        EXPECT_EQ(node->value("description", std::string()), e.description) << e.id;
        const bool disabled = node->contains("states") &&
                              std::ranges::find((*node)["states"], "disabled") != (*node)["states"].end();
        EXPECT_EQ(!disabled, e.enabled) << e.id;
    }
}

// The view is built once: a switch flipped with Space and a choice from a list keep the focus while the runner
// applies them and the page reads the input preferences again, and Tab goes on to the next control. A new source
// adds rows: the view is built anew and the open list of the focused drop-down is open again.
TEST_F(OpenPageWithRunner, FocusSurvivesAChange)
{
    window.frame();
    const auto builds = pane.view_builds();

    ASSERT_TRUE(testing::focus_control(window, "input.tap_click"));
    EXPECT_EQ(testing::next_in_focus_order(window, "input.tap_click"), "input.tap_drag");
    window.key(vorn_ui::Key::Space);
    run(1, actions::InputOperation::kind, R"({"SetTapToClick":{"enabled":false}})");
    window.frame();
    EXPECT_FALSE(pane.model().input().tap_to_click);
    EXPECT_TRUE(has_line(lines(), "toggle Tap to click = off"));
    EXPECT_EQ(testing::focused_id(window), "input.tap_click");
    window.tab();
    EXPECT_EQ(testing::focused_id(window), "input.tap_drag");

    ASSERT_TRUE(testing::focus_control(window, "input.accel_profile"));
    window.key(vorn_ui::Key::Space);
    window.key(vorn_ui::Key::Down);
    window.key(vorn_ui::Key::Enter);
    run(2, actions::InputOperation::kind, R"({"SetAccelerationProfile":{"profile":"Flat"}})");
    window.frame();
    EXPECT_TRUE(has_line(lines(), "combo_box Acceleration = Flat")) << ::testing::PrintToString(lines());
    EXPECT_EQ(testing::focused_id(window), "input.accel_profile");
    EXPECT_EQ(pane.view_builds(), builds);

    // The compose list is open when automation adds a source.
    ASSERT_TRUE(testing::focus_control(window, "input.compose_key"));
    window.key(vorn_ui::Key::Space);
    run(3, actions::KeyboardSourceOperation::kind, R"({"Add":{"label":"French"}})");
    platform->settings = prefs::load_settings_file();  // the section's actions, as the system platform reads them
    window.frame();
    EXPECT_EQ(pane.view_builds(), builds + 1);
    EXPECT_TRUE(has_line(lines(), "button Move input source up")) << ::testing::PrintToString(lines());
    EXPECT_EQ(testing::focused_id(window), "input.compose_key");
    const auto* compose = dynamic_cast<const vorn_ui::Dropdown*>(window.focused());
    ASSERT_NE(compose, nullptr);
    EXPECT_TRUE(compose->is_open());
}

}  // namespace
}  // namespace settings::panes::mouse_keyboard
