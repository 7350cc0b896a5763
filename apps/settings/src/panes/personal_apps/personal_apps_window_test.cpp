// The Apps & Files page in the real application window (headless) under a private home with two fixture browsers
// installed: the page offers both for web pages, and choosing the second, with no personal default stored before,
// lands in the settings file.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"

#include "page_doc/page_doc.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/headless.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace settings::panes::personal_apps {
namespace {

using namespace std::chrono_literals;

// XDG_DATA_DIRS set to one folder while the object lives (no package of the machine is seen).
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

class PersonalAppsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto packages = home.path() / "data" / "vorn" / "packages";
        for (const auto& [id, name] : {std::pair{"org.example.atlas", "Atlas"}, std::pair{"org.example.beacon", "Beacon"}}) {
            std::filesystem::create_directories(packages / id);
            std::ofstream(packages / id / "manifest.json")
                << R"({"name": ")" << name << R"(", "entrypoint": {"gui": "bin/app"}, "kinds": ["mime:text/html"]})";
        }
        std::filesystem::create_directories(home.path() / "share");
    }

    void open_page()
    {
        settings = app::SettingsApp::create();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 900});
        window->frame();
        settings->select_section(Section::DefaultApps);
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

TEST_F(PersonalAppsWindowTest, ChoosingADefaultAppLandsInTheSettingsFile)
{
    open_page();
    ASSERT_TRUE(frames_until([&] { return has_line("combo_box Web pages = Atlas \u2014 org.example.atlas"); }))
        << ::testing::PrintToString(panes::testing::access_lines(window->accessibility_json()));
    EXPECT_FALSE(window->find_text_bounds(app::kPageNotAvailable).has_value());
    EXPECT_TRUE(window->find_text_bounds("Open current workspace app rules").has_value());

    ASSERT_TRUE(panes::testing::focus_control(*window, "personal-default.mime:text/html"));
    window->key(vorn_ui::Key::Space);
    window->key(vorn_ui::Key::Down);
    window->key(vorn_ui::Key::Enter);
    ASSERT_TRUE(frames_until([&] {
        const auto file = settings_file();
        return file.is_object() && file.contains("default_apps") &&
               file["default_apps"].value("mime:text/html", std::string()) == "org.example.beacon";
    })) << settings_file().dump();
    EXPECT_TRUE(has_line("combo_box Web pages = Beacon \u2014 org.example.beacon"));
    EXPECT_EQ(panes::testing::focused_id(*window), "personal-default.mime:text/html");
}

}  // namespace
}  // namespace settings::panes::personal_apps
