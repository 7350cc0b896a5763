// The Device Privacy & Security page in the real application window (headless) on this machine: the probes run
// against the machine's own /sys, findmnt, lsblk, firewall-cmd or nft and its sound layer (or their absence), and
// every value the page shows is a real answer or "Unavailable", never a guess.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/permissions/permissions_pane.hpp"

#include "page_doc/page_doc.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <functional>
#include <thread>

namespace settings::panes::permissions {
namespace {

using namespace std::chrono_literals;
using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::Eq;
using ::testing::Not;

class PermissionsWindowTest : public ::testing::Test {
protected:
    [[nodiscard]] const PermissionsPane* pane() const
    {
        return dynamic_cast<const PermissionsPane*>(app::testing::find_widget(
            window->root(), [](const auto& w) { return w.widget_name() == "PermissionsPane"; }));
    }
    // Runs frames until `done` holds (at most 60 s: every probe ends within its own time limit).
    bool frames_until(const std::function<bool()>& done)
    {
        return ::settings::panes::testing::frames_until(*window, done, std::chrono::seconds(60));
    }
    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }

    app::testing::PrivateHome home;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(PermissionsWindowTest, EveryProbeShowsARealAnswerOrUnavailable)
{
    // The desktop's access record beside the settings file of the private home.
    const auto record = workspace_access::record_path();
    ASSERT_TRUE(record);
    std::filesystem::create_directories(record->parent_path());
    std::ofstream(*record) << R"({"workspaces":[{"name":"Studio","capabilities":[
        {"subject":{"Principal":{"App":"so.vorn.meet"}},"scope":{"Device":"microphone"},"effect":"Grant","verb":"Read"}]}]})";

    settings = app::SettingsApp::create();
    window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 3000});
    window->frame();
    settings->select_section(Section::Permissions);
    ASSERT_TRUE(frames_until([&] { return pane() != nullptr; })) << "the page replaces its placeholder";
    ASSERT_TRUE(frames_until([&] { return !pane()->checking(); })) << ::testing::PrintToString(lines());
    window->frame();

    const auto& report = *pane()->report();
    const auto& security = report.security;
    EXPECT_THAT(security.disk_encryption, AnyOf(Eq("Encrypted"), Eq("Not encrypted"), Eq("Unavailable")));
    EXPECT_THAT(security.secure_boot, AnyOf(Eq("Enabled"), Eq("Disabled"), Eq("Unavailable")));
    EXPECT_THAT(security.firewall, AnyOf(Eq("Active \u00b7 firewalld"), Eq("Active \u00b7 nftables"),
                                         Eq("Not active"), Eq("Unavailable")));

    const auto access = lines();
    EXPECT_THAT(access, Not(Contains("label Checking\u2026")));
    for (const std::string& value : {security.disk_encryption, security.secure_boot, security.firewall}) {
        EXPECT_THAT(access, Contains("label " + value)) << value;
    }
    for (const char* label : {"heading Device Privacy & Security", "label Privacy hardware", "label Camera",
                              "label Microphone", "label Microphone mute", "label Active privacy use",
                              "label Device security", "button Open current workspace access",
                              "label Where enforcement happens", "label 1 grant across 1 workspace",
                              "label Studio", "label so.vorn.meet", "label Capture audio", "status Microphone"}) {
        EXPECT_THAT(access, Contains(label)) << label;
    }
    // Without a sound session the mute is not reported, and the page says so rather than guessing.
    if (report.status.microphone_mute == system_ops::privacy::MicrophoneMute::NotReported) {
        EXPECT_THAT(access, Contains("label Unavailable"));
    }
}

}  // namespace
}  // namespace settings::panes::permissions
