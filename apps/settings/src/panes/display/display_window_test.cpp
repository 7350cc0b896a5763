// The Displays page in the real application window (headless) on a machine with two outputs and no display service:
// no compositor serves the display files, and none can be started (no X display, no Wayland compositor). A mode
// chosen in the page goes through the runner and is staged; Apply is asked for, and within a few seconds the page
// says that no display service answered and shows the layout in force, never "Applying…" for good.
#include "panes/display/display_pane.hpp"
#include "panes/display/testing/display_world.hpp"

#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "launch/launch.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

namespace settings::panes::display {
namespace {

namespace hw = config_sections::hardware;
using namespace std::chrono_literals;
using namespace display::testing;

// One environment variable changed for the test's life, restored after.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable()
    {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

vorn_ui::Point centre(const vorn_ui::Rect& r) { return {(r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0}; }

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

class DisplayWindowTest : public ::testing::Test {
protected:
    void open_displays_page()
    {
        settings = app::SettingsApp::create();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 3600});
        window->frame();
        const auto entry = window->find_text_bounds("Displays");
        ASSERT_TRUE(entry);
        window->click(entry->x0 + 2, (entry->y0 + entry->y1) / 2);
        ASSERT_EQ(settings->selected(), Section::Displays);
        ASSERT_TRUE(frames_until([&] { return pane() != nullptr && has_line("label DELL U2720Q"); }))
            << ::testing::PrintToString(lines());
        loop = std::make_unique<vorn_ui::app::App>("so.vorn.settings");
        launch::register_actions(*loop);
    }

    [[nodiscard]] DisplayPane* pane() const
    {
        return dynamic_cast<DisplayPane*>(const_cast<vorn_ui::Widget*>(
            app::testing::find_widget(window->root(), [](const auto& w) { return w.widget_name() == "DisplayPane"; })));
    }

    // Runs frames, and the loop's pump of control invocations and operations, until `done` holds (at most 30 s).
    bool frames_until(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            window->frame();
            if (loop) {
                (void)loop->run_control_invocations(window->root(), doc, std::chrono::steady_clock::now());
                (void)loop->poll_operations(window->root(), std::chrono::steady_clock::now());
            }
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool has_line(std::string_view start) const
    {
        return std::ranges::any_of(lines(), [&](const std::string& l) { return l.starts_with(start); });
    }

    // Chooses a text in a drop-down as the user does, with the pointer.
    void choose(const std::string& id, std::string_view choice)
    {
        auto* list = find_control<vorn_ui::Dropdown>(*pane()->content(), id);
        ASSERT_NE(list, nullptr) << id;
        const auto [x, y] = centre(list->get_rect());
        window->click(x, y);
        ASSERT_TRUE(list->is_open());
        const auto at = std::ranges::find(list->choices(), choice) - list->choices().begin();
        ASSERT_LT(static_cast<std::size_t>(at), list->choices().size()) << choice;
        const auto [cx, cy] = centre(list->row_rect(static_cast<std::size_t>(at)));
        window->click(cx, cy);
    }

    RuntimeFolder runtime;
    ScopedVariable no_x{"DISPLAY", nullptr};
    ScopedVariable no_wayland{"WAYLAND_DISPLAY", nullptr};
    std::shared_ptr<hw::FakeDisplayHardware> hardware = std::make_shared<hw::FakeDisplayHardware>(laptop_and_monitor());
    hw::ScopedDisplayHardware scoped{hardware};
    app::testing::PrivateHome home;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
    std::unique_ptr<vorn_ui::app::App> loop;
};

TEST_F(DisplayWindowTest, WithoutADisplayServiceThePageSaysNoneAnswered)
{
    open_displays_page();
    const auto access = lines();
    for (const std::string_view line :
         {"label Built-in display", "label DELL U2720Q", "combo_box Resolution & refresh rate = 2560 \u00D7 1080",
          "label Display configuration", "label No unapplied display changes."}) {
        EXPECT_TRUE(has_line(line)) << line << "\n" << ::testing::PrintToString(access);
    }

    // A smaller mode for the monitor, chosen in the page: the runner hands it over and the page stages it.
    choose("display.output.DP-1.mode", k720.label());
    ASSERT_TRUE(frames_until([&] { return has_line("button Apply"); })) << ::testing::PrintToString(lines());
    EXPECT_TRUE(pane()->model().staged());
    EXPECT_TRUE(has_line("combo_box Resolution & refresh rate = 1280 \u00D7 720"));

    const auto apply = window->find_text_bounds("Apply");
    ASSERT_TRUE(apply);
    window->click((apply->x0 + apply->x1) / 2, (apply->y0 + apply->y1) / 2);
    ASSERT_TRUE(frames_until([&] { return shows("Applying display configuration"); }))
        << ::testing::PrintToString(lines());
    // Nobody takes the request: the page withdraws it and says so.
    ASSERT_TRUE(frames_until([&] { return has_line("label No display service answered"); }))
        << ::testing::PrintToString(lines());
    EXPECT_FALSE(shows("Applying display configuration"));
    EXPECT_TRUE(has_line("label Display change was not applied"));
    EXPECT_TRUE(has_line("combo_box Resolution & refresh rate = 2560 \u00D7 1080")) << "the layout in force";
    EXPECT_EQ(hw::DisplayTransaction::load()->state, static_cast<std::uint8_t>(hw::TransactionState::Withdrawn));
    ASSERT_TRUE(frames_until([&] { return !loop->recent_completions().empty(); }));
    const auto& completion = loop->recent_completions().back();
    EXPECT_EQ(completion.kind, vorn_ui::OperationCompletion::Kind::Failed) << completion.message;
}

}  // namespace
}  // namespace settings::panes::display
