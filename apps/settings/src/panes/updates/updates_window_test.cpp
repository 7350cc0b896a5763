// The Updates page in the real application window (headless) on a machine without bootc, over the machine's own
// os-release, systemctl and journalctl, and fwupdmgr with no fwupd daemon to reach (the system bus is hidden, so
// nothing is fetched from the network): the page names the operating system from os-release, says that the image
// status could not be read instead of claiming there is no update or no previous image, and "Check firmware" (or
// "Try again") reports what fwupd, or its absence, says.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/updates/update_status.hpp"
#include "panes/updates/updates_pane.hpp"
#include "panes/updates/updates_text.hpp"

#include "launch/launch.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "test_buses/temp_dir.hpp"
#include "test_buses/test_buses.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace settings::panes::updates {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// One environment variable set for the test's life, restored after.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        ::setenv(name, value.c_str(), 1);
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

std::string read_file(const char* path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class UpdatesWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (test_buses::have_program("bootc")) {
            GTEST_SKIP() << "this machine has bootc; the test is about one without it";
        }
        const auto name = pretty_name_of(read_file("/etc/os-release"));
        if (!name) {
            GTEST_SKIP() << "/etc/os-release names no operating system";
        }
        os_name = *name;
    }

    void open_updates_page()
    {
        settings = app::SettingsApp::create();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 3600});
        window->frame();
        const auto entry = window->find_text_bounds("Updates");
        ASSERT_TRUE(entry);
        window->click(entry->x0 + 2, (entry->y0 + entry->y1) / 2);
        ASSERT_EQ(settings->selected(), Section::Updates);
        ASSERT_TRUE(frames_until([&] {
            const auto* page = pane();
            return page != nullptr && !page->model().loading() && shows("Update overview");
        })) << ::testing::PrintToString(lines());
    }

    [[nodiscard]] const UpdatesPane* pane() const
    {
        return dynamic_cast<const UpdatesPane*>(
            app::testing::find_widget(window->root(), [](const auto& w) { return w.widget_name() == "UpdatesPane"; }));
    }

    // Runs frames until `done` holds (at most 30 s: every tool here answers within its own limit).
    bool frames_until(const std::function<bool()>& done)
    {
        return ::settings::panes::testing::frames_until(*window, done, std::chrono::seconds(30));
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

    test_buses::TempDir bus_dir{"vorn-updates-bus"};
    // No system bus to reach: fwupd is absent, and no firmware metadata is fetched.
    ScopedVariable system_bus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (bus_dir.path() / "none").string()};
    app::testing::PrivateHome home;
    std::string os_name;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(UpdatesWindowTest, TheOperatingSystemIsNamedAndWhatCannotBeReadIsSaidSo)
{
    open_updates_page();
    const auto access = lines();
    EXPECT_THAT(access, Contains("label " + os_name)) << "Current version, from os-release";
    EXPECT_THAT(access, Contains("label Image status could not be read"));
    EXPECT_THAT(access, Contains(StartsWith("label The image status could not be read: ")));
    EXPECT_THAT(access, Contains(StartsWith("label Whether this machine keeps a previous image is not known here")));
    // Never the claims a machine without bootc cannot back.
    for (const std::string_view claim : {"label No staged update", "label Your system is up to date.",
                                         "label There is no previous image on this machine yet.",
                                         "button Roll back", "button Restart & update"}) {
        EXPECT_THAT(access, ::testing::Not(Contains(StartsWith(std::string(claim))))) << claim;
    }
    // The update timer is not on this machine, and the journal holds no update-service history.
    EXPECT_THAT(access, Contains(StartsWith("label Automatic updates")));
    EXPECT_TRUE(has_line("label unavailable on this machine") || has_line("toggle Automatic updates"));
    EXPECT_TRUE(has_line("label No bootc update-service history is available in the system journal.") ||
                has_line("label Rollback health"));
    EXPECT_TRUE(has_line("button Check for updates"));
}

TEST_F(UpdatesWindowTest, CheckFirmwareReportsWhatFwupdSays)
{
    open_updates_page();
    const UpdatesPane& page = *pane();
    const auto& updates = page.model().firmware_updates();
    ASSERT_FALSE(updates.has_value()) << "no fwupd daemon is reachable";
    // The page says why, in fwupd's words (or the command runner's when fwupdmgr itself is missing).
    EXPECT_TRUE(has_line("label Firmware inventory could not be queried"));
    EXPECT_TRUE(has_line("label " + fwupd_reported(updates.error())));
    EXPECT_EQ(std::ranges::count(lines(), std::string("label Device firmware")), 1)
        << "the card's title only: the overview says nothing of a list it could not read";

    // "Try again", as the user clicks it; the loop's pump starts its action and the page answers it.
    vorn_ui::app::App loop("so.vorn.settings");
    launch::register_actions(loop);
    const auto button = window->find_text_bounds(firmware_refresh_label(true, false));
    ASSERT_TRUE(button) << ::testing::PrintToString(lines());
    window->click((button->x0 + button->x1) / 2, (button->y0 + button->y1) / 2);
    EXPECT_EQ(loop.run_control_invocations(window->root(), doc, std::chrono::steady_clock::now()).invocations, 1U);
    ASSERT_TRUE(frames_until([&] {
        (void)loop.poll_operations(window->root(), std::chrono::steady_clock::now());
        return !loop.recent_completions().empty();
    }));
    const auto& completion = loop.recent_completions().back();
    EXPECT_EQ(completion.kind, vorn_ui::OperationCompletion::Kind::Failed) << completion.message;
    if (test_buses::have_program("fwupdmgr")) {
        EXPECT_THAT(completion.message, HasSubstr("Failed to connect to daemon"));
    }
    ASSERT_TRUE(frames_until([&] { return has_line("label That did not work"); }));
    EXPECT_THAT(lines(), Contains(HasSubstr(completion.message.substr(completion.message.find(':') + 1))));
    EXPECT_TRUE(has_line("button Try again")) << "the refresh ended";
}

}  // namespace
}  // namespace settings::panes::updates
