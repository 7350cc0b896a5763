// The Notifications page in the real application window (headless) under a private home: the page lists the
// application of a fixture desktop entry, and switching Do Not Disturb on lands in the settings file.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"

#include "page_doc/page_doc.hpp"
#include "page_workers/worker_threads.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace settings::panes::notifications {
namespace {

using namespace std::chrono_literals;

using ::settings::panes::testing::node_with_id;

// XDG_DATA_DIRS set to one folder while the object lives.
class ScopedDataDirs {
public:
    explicit ScopedDataDirs(const std::filesystem::path& dir)
    {
        if (const char* old = std::getenv("XDG_DATA_DIRS")) {
            old_ = old;
        }
        ::setenv("XDG_DATA_DIRS", dir.c_str(), 1);
    }
    ~ScopedDataDirs() { old_ ? ::setenv("XDG_DATA_DIRS", old_->c_str(), 1) : ::unsetenv("XDG_DATA_DIRS"); }

private:
    std::optional<std::string> old_;
};

class NotificationsWindowTest : public ::testing::Test {
protected:
    // The application and its page workers go before the data folders' variable is restored (workers read the
    // environment).
    void TearDown() override
    {
        window.reset();
        settings.reset();
        ::settings::page_workers::join_all();
    }

    void SetUp() override
    {
        const auto apps = home.path() / "data" / "applications";
        std::filesystem::create_directories(apps);
        std::ofstream(apps / "org.example.Chat.desktop") << "[Desktop Entry]\nType=Application\nName=Chat\n";
        std::filesystem::create_directories(home.path() / "share");
    }

    void open_page()
    {
        settings = app::SettingsApp::create();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 900});
        window->frame();
        settings->select_section(Section::Notifications);
    }
    // Runs frames until `done` holds (at most 20 s: every step here answers in well under a second).
    bool frames_until(const std::function<bool()>& done)
    {
        return ::settings::panes::testing::frames_until(*window, done, std::chrono::seconds(20));
    }
    [[nodiscard]] bool has_line(std::string_view line) const
    {
        const auto lines = panes::testing::access_lines(window->accessibility_json());
        return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(line); });
    }
    void click_control(std::string_view id)
    {
        const auto found = node_with_id(window->accessibility_json(), id);
        ASSERT_TRUE(found.has_value()) << id;
        const auto& b = (*found)["bounds"];
        window->click(b["x"].get<double>() + b["width"].get<double>() / 2.0,
                      b["y"].get<double>() + b["height"].get<double>() / 2.0);
    }
    [[nodiscard]] nlohmann::json settings_file() const
    {
        std::ifstream in(home.path() / "config" / "vorn" / "settings.json");
        std::stringstream text;
        text << in.rdbuf();
        return nlohmann::json::parse(text.str(), nullptr, false);
    }

    app::testing::PrivateHome home;
    ScopedDataDirs data_dirs{home.path() / "share"};
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(NotificationsWindowTest, SwitchingDoNotDisturbOnLandsInTheSettingsFile)
{
    open_page();
    ASSERT_TRUE(frames_until([&] { return has_line("toggle Do Not Disturb = off"); }));
    EXPECT_FALSE(window->find_text_bounds(app::kPageNotAvailable).has_value());
    ASSERT_TRUE(frames_until([&] { return has_line("combo_box Mute Chat temporarily"); }));
    EXPECT_TRUE(window->find_text_bounds("Active").has_value());

    click_control("notifications.dnd");
    ASSERT_TRUE(frames_until([&] {
        const auto file = settings_file();
        return file.is_object() && file.contains("notifications") &&
               file["notifications"].value("do_not_disturb", false);
    })) << settings_file().dump();
    EXPECT_TRUE(has_line("toggle Do Not Disturb = on"));
    EXPECT_TRUE(frames_until([&] { return window->find_text_bounds("Silenced").has_value(); }));
    // The listed application got its rule with the save.
    EXPECT_TRUE(settings_file()["notifications"]["per_app"].contains("org.example.Chat"));
}

}  // namespace
}  // namespace settings::panes::notifications
