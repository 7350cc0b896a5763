// The Displays page in the real application window (headless).
// - On a machine with two outputs and no display service: no compositor serves the display files, and none can be
//   started (no X display, no Wayland compositor). A mode chosen in the page goes through the runner and is staged;
//   Apply is asked for, and within a few seconds the page says that no display service answered and shows the layout
//   in force, never "Applying…" for good.
// - On an X server with two outputs side by side (Xorg with the dummy driver) served by the display service: a
//   resolution chosen in the page is applied (xrandr shows it), counts down and comes back when it is not kept; kept,
//   it stays.
#include "panes/display/display_pane.hpp"
#include "panes/display/testing/display_world.hpp"

#include "display_service/service.hpp"
#include "display_service/testing/xorg_server.hpp"

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

class DisplayWindowBase : public ::testing::Test {
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
        ASSERT_TRUE(frames_until([&] { return pane() != nullptr && pane()->model().rows().size() == 2; }))
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
        const auto row = list->row_rect(static_cast<std::size_t>(at));
        if (row.is_zero()) {
            ASSERT_TRUE(list->choose(static_cast<std::size_t>(at)));  // scrolled out of the open list
        } else {
            const auto [cx, cy] = centre(row);
            window->click(cx, cy);
        }
        ASSERT_EQ(list->selected(), choice);
    }

    // Clicks the button with this caption.
    void press(std::string_view caption)
    {
        const auto button = window->find_text_bounds(caption);
        ASSERT_TRUE(button) << caption << "\n" << ::testing::PrintToString(lines());
        window->click((button->x0 + button->x1) / 2, (button->y0 + button->y1) / 2);
    }

    RuntimeFolder runtime;
    ScopedVariable no_wayland{"WAYLAND_DISPLAY", nullptr};
    app::testing::PrivateHome home;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
    std::unique_ptr<vorn_ui::app::App> loop;
};

class DisplayWindowTest : public DisplayWindowBase {
protected:
    ScopedVariable no_x{"DISPLAY", nullptr};
    std::shared_ptr<hw::FakeDisplayHardware> hardware = std::make_shared<hw::FakeDisplayHardware>(laptop_and_monitor());
    hw::ScopedDisplayHardware scoped{hardware};
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

    press("Apply");
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

// Two dummy outputs side by side at 1920 × 1080, served by the display service on a thread of the test (a safety
// time of 4 s), as vorn-display-service serves them in an X session.
class XorgWindowTest : public DisplayWindowBase {
protected:
    static void SetUpTestSuite()
    {
        if (auto missing = display_service::testing::xorg_dummy_missing()) {
            skip_reason_ = *missing;
            return;
        }
        auto server = display_service::testing::Xorg::start();
        if (!server) {
            start_error_ = server.error();
            return;
        }
        server_ = std::move(*server);
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        if (!skip_reason_.empty()) {
            GTEST_SKIP() << skip_reason_;
        }
        ASSERT_TRUE(server_) << start_error_;
        for (const char* mode : {"1920x1080", "1280x720"}) {
            (void)xrandr({"--addmode", "DUMMY1", mode});  // already there after the first test
        }
        ASSERT_TRUE(xrandr({"--output", "DUMMY0", "--mode", "1920x1080", "--pos", "0x0", "--primary", "--output",
                            "DUMMY1", "--mode", "1920x1080", "--pos", "1920x0"}));
        display_ = std::make_unique<ScopedVariable>("DISPLAY", server_->display().c_str());
        service_ = std::thread([this] {
            service_result_ = display_service::run_display_service({.display = server_->display(),
                                                                     .safety = std::chrono::seconds(4),
                                                                     .poll = std::chrono::milliseconds(50),
                                                                     .linger = std::chrono::minutes(10),
                                                                     .stop = &stop_});
        });
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!std::filesystem::exists(*hw::display_snapshot_path()) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_TRUE(std::filesystem::exists(*hw::display_snapshot_path())) << "the service published its outputs";
    }
    void TearDown() override
    {
        window.reset();
        settings.reset();
        stop_ = true;
        if (service_.joinable()) {
            service_.join();
            EXPECT_TRUE(service_result_) << service_result_.error();
        }
    }

    std::expected<std::string, std::string> xrandr(std::vector<std::string> args) const
    {
        return display_service::testing::xrandr(server_->display(), std::move(args));
    }
    [[nodiscard]] std::string geometry(const std::string& output) const
    {
        auto query = xrandr({"--query"});
        return query ? display_service::testing::output_geometry(*query, output) : query.error();
    }
    // The first mode of DUMMY1 the page offers at this size.
    [[nodiscard]] std::string mode_label(std::string_view size) const
    {
        for (const auto& row : pane()->model().rows()) {
            if (row.connector() == "DUMMY1") {
                for (const auto& mode : row.output.modes) {
                    if (mode.label().starts_with(size)) {
                        return mode.label();
                    }
                }
            }
        }
        return "no mode " + std::string(size);
    }

    static inline std::unique_ptr<display_service::testing::Xorg> server_;
    static inline std::string skip_reason_;
    static inline std::string start_error_;
    std::unique_ptr<ScopedVariable> display_;
    std::atomic<bool> stop_{false};
    std::expected<void, std::string> service_result_;
    std::thread service_;
};

TEST_F(XorgWindowTest, AResolutionChosenInThePageIsAppliedCountedDownAndRestoredUnlessKept)
{
    open_displays_page();
    EXPECT_TRUE(has_line("label DUMMY0")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line("label DUMMY1"));
    EXPECT_EQ(geometry("DUMMY1"), "1920x1080+1920+0");

    // Not kept: it comes back at the deadline.
    const std::string smaller = mode_label("1280 \u00D7 720");
    choose("display.output.DUMMY1.mode", smaller);
    ASSERT_TRUE(frames_until([&] { return has_line("button Apply"); })) << ::testing::PrintToString(lines());
    press("Apply");
    ASSERT_TRUE(frames_until([&] { return has_line("label Keep this display configuration?"); }))
        << ::testing::PrintToString(lines());
    EXPECT_EQ(geometry("DUMMY1"), "1280x720+1920+0");
    EXPECT_TRUE(has_line("label Every display should be visible. Restoring the previous layout in "));
    EXPECT_TRUE(has_line("button Keep"));
    ASSERT_TRUE(frames_until([&] { return has_line("label No unapplied display changes."); }))
        << ::testing::PrintToString(lines());
    EXPECT_EQ(geometry("DUMMY1"), "1920x1080+1920+0");
    const auto* mode = find_control<vorn_ui::Dropdown>(*pane()->content(), "display.output.DUMMY1.mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_TRUE(mode->selected().starts_with("1920 \u00D7 1080")) << mode->selected();

    // Kept: it stays.
    const auto completions = loop->recent_completions().size();
    choose("display.output.DUMMY1.mode", smaller);
    ASSERT_TRUE(frames_until([&] { return loop->recent_completions().size() > completions; }));
    ASSERT_TRUE(frames_until([&] { return has_line("button Apply"); })) << ::testing::PrintToString(lines());
    press("Apply");
    ASSERT_TRUE(frames_until([&] { return has_line("button Keep"); })) << ::testing::PrintToString(lines());
    press("Keep");
    ASSERT_TRUE(frames_until([&] { return has_line("label No unapplied display changes."); }))
        << ::testing::PrintToString(lines());
    EXPECT_EQ(hw::DisplayTransaction::load()->state, static_cast<std::uint8_t>(hw::TransactionState::Kept));
    EXPECT_EQ(geometry("DUMMY1"), "1280x720+1920+0");
}

}  // namespace
}  // namespace settings::panes::display
