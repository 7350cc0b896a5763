#include "system_ops/firmware.hpp"

#include "system_ops/test_tools.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace system_ops::firmware {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Everything an installation sent, until it ended or `limit` passed.
std::vector<InstallEvent> drain(InstallEvents& events, std::chrono::milliseconds limit = 60s)
{
    std::vector<InstallEvent> seen;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!events.ended() && std::chrono::steady_clock::now() < deadline) {
        while (auto event = events.try_next()) {
            seen.push_back(std::move(*event));
        }
        std::this_thread::sleep_for(10ms);
    }
    while (auto event = events.try_next()) {
        seen.push_back(std::move(*event));
    }
    return seen;
}

// What `fwupdmgr get-updates --json` printed for fwupd's test webcam with a local release (fwupd 2.0.20), with a
// problem and a vendor message added as fwupd reports them.
constexpr std::string_view webcam_updates = R"({
  "Devices" : [
    {
      "Name" : "Integrated Webcam\u2122",
      "DeviceId" : "08d460be0f1f9f128413f816022a6439e0078018",
      "Guid" : [ "b585990a-003e-5270-89d5-3705a17f9a43" ],
      "Plugin" : "test",
      "Flags" : [ "updatable", "supported", "can-verify" ],
      "Problems" : [ "require-ac-power", "is-emulated", "lid-is-closed" ],
      "Vendor" : "ACME Corp.",
      "Version" : "1.2.2",
      "Releases" : [
        {
          "AppstreamId" : "com.example.TestWebcam.firmware",
          "Name" : "Integrated Webcam",
          "Description" : "<p>Fixes the colour balance.</p><ul><li>Faster &amp; cooler</li></ul>",
          "Version" : "1.2.4",
          "Flags" : [ "trusted-payload", "trusted-metadata", "is-upgrade" ]
        },
        {
          "Version" : "1.2.3",
          "Flags" : [ "trusted-payload", "is-upgrade" ]
        }
      ]
    },
    {
      "Name" : "\u001b[31mDock\u001b[0m \u202eevil",
      "DeviceId" : "not an id; rm -rf",
      "Version" : "0.9",
      "Releases" : [ { "Version" : "1.0", "UpdateMessage" : "Unplug the dock after the update.\u0007" } ]
    },
    {
      "Name" : "Touchpad",
      "DeviceId" : "4bde70ba4e39b28f9eab1628f9dd6e6244c03027",
      "Version" : "3"
    }
  ]
})";

TEST(FirmwareParseTest, UpdatesNameTheDeviceTheVersionsTheNoteAndWhatToDoFirst)
{
    const auto updates = parse_updates(webcam_updates);
    ASSERT_TRUE(updates.has_value()) << updates.error();
    ASSERT_EQ(updates->size(), 2U);  // the touchpad has no release
    const FirmwareUpdate& webcam = (*updates)[0];
    EXPECT_EQ(webcam.device_id, "08d460be0f1f9f128413f816022a6439e0078018");
    EXPECT_EQ(webcam.device, "Integrated Webcam\u2122");
    EXPECT_EQ(webcam.current_version, "1.2.2");
    EXPECT_EQ(webcam.new_version, "1.2.4");
    EXPECT_EQ(webcam.note, "Fixes the colour balance. Faster & cooler");
    EXPECT_THAT(webcam.prerequisites, ElementsAre("connect the AC adapter", "open the lid"));

    const FirmwareUpdate& dock = (*updates)[1];
    EXPECT_EQ(dock.device, "Dock evil");             // escape codes and the direction override removed
    EXPECT_EQ(dock.device_id, "");                   // not an id fwupd gives: nothing can be installed with it
    EXPECT_EQ(dock.note, "Unplug the dock after the update.");
    EXPECT_TRUE(dock.prerequisites.empty());
}

TEST(FirmwareParseTest, HistoryIsNewestFirstWithWhatHappened)
{
    // The shape of `fwupdmgr get-history --json` after installations (fwupd 2.0.20), trimmed.
    constexpr std::string_view json = R"({"Devices":[
      {"Name":"Integrated Webcam","DeviceId":"08d460be0f1f9f128413f816022a6439e0078018","Version":"1.2.2",
       "Modified":1796979766,"UpdateState":2,"Releases":[{"Version":"1.2.4"}]},
      {"Name":"System Firmware","DeviceId":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa","Version":"0.1.10",
       "Modified":1796990000,"UpdateState":3,"UpdateError":"failed to write: device busy\u001b[0m",
       "Releases":[{"Version":"0.1.11"}]},
      {"Name":"Keyboard","Modified":1700000000,"UpdateState":4},
      {"Name":"Mouse","UpdateState":9}
    ]})";
    const auto history = parse_history(json);
    ASSERT_TRUE(history.has_value()) << history.error();
    ASSERT_EQ(history->size(), 4U);
    EXPECT_EQ((*history)[0].device, "System Firmware");
    EXPECT_EQ((*history)[0].text, "Failed 2026-12-11");
    EXPECT_EQ((*history)[0].error, "failed to write: device busy");
    EXPECT_EQ((*history)[0].previous_version, "0.1.10");
    EXPECT_EQ((*history)[0].new_version, "0.1.11");
    EXPECT_EQ((*history)[1].device, "Integrated Webcam");
    EXPECT_EQ((*history)[1].text, "Installed 2026-12-11");
    EXPECT_EQ((*history)[1].error, std::nullopt);
    EXPECT_EQ((*history)[2].text, "Waiting for restart");
    EXPECT_EQ((*history)[2].new_version, std::nullopt);
    EXPECT_EQ((*history)[3].text, "State not reported");
}

TEST(FirmwareParseTest, ErrorsAndEmptyAnswers)
{
    const std::string no_history = R"({"Error":{"Domain":"FwupdError","Code":9,"Message":"No history"}})";
    EXPECT_EQ(json_error_message(no_history), "No history");
    EXPECT_EQ(parse_history(no_history).error(), "No history");
    EXPECT_EQ(json_error_message(R"({"Devices":[]})"), std::nullopt);
    EXPECT_EQ(json_error_message("Failed to connect to daemon"), std::nullopt);
    EXPECT_TRUE(parse_updates(R"({"Devices":[]})")->empty());
    EXPECT_TRUE(parse_updates("{}")->empty());
    EXPECT_EQ(parse_updates("[]").error(), "fwupdmgr printed something that is not JSON");
    EXPECT_EQ(parse_updates(R"({"Devices":{}})").error(), "fwupdmgr's device list is not a list");
}

TEST(FirmwareParseTest, ProgressLines)
{
    struct Case {
        std::string_view line;
        std::optional<ProgressLine> expected;
    };
    const std::vector<Case> cases = {
        {"Writing\u2026: 40%", ProgressLine{"Writing\u2026", 40}},
        {"Restarting device\u2026: 100%", ProgressLine{"Restarting device\u2026", 100}},
        {"Idle\u2026: 0%", ProgressLine{"Idle\u2026", 0}},
        {"Writing\u2026: 101%", std::nullopt},
        {"Writing\u2026: %", std::nullopt},
        {"Writing\u2026: 4x%", std::nullopt},
        {": 40%", std::nullopt},
        {"See https://github.com/fwupd/fwupd/wiki/PluginFlag:esp-not-found for more information.", std::nullopt},
        {"device version not updated on success, 1.2.4 != 1.2.3", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_progress_line(c.line), c.expected) << c.line;
    }
}

TEST(FirmwareParseTest, DeviceIdsAndProblems)
{
    EXPECT_TRUE(is_device_id("08d460be0f1f9f128413f816022a6439e0078018"));
    EXPECT_FALSE(is_device_id("--force"));
    EXPECT_FALSE(is_device_id("08d460be 0f1f9f"));
    EXPECT_FALSE(is_device_id("abc"));
    EXPECT_EQ(problem_phrase("system-power-too-low"), "charge the computer's battery");
    EXPECT_EQ(problem_phrase("is-emulated"), std::nullopt);
    EXPECT_EQ(problem_phrase("some-new-problem"), "some-new-problem");
}

// ---- fwupdmgr on PATH printing what the real one prints ----------------------------------------------------------

class FirmwareToolTest : public testing::FakeTools {
protected:
    FwupdmgrFirmware firmware;
    static constexpr std::string_view webcam = "08d460be0f1f9f128413f816022a6439e0078018";
    static constexpr std::string_view install_args =
        "update --assume-yes --no-reboot-check --no-unreported-check --no-metadata-check "
        "08d460be0f1f9f128413f816022a6439e0078018";
};

TEST_F(FirmwareToolTest, QueriesAskForJsonAndNothingToDoIsAnEmptyList)
{
    tool("fwupdmgr", {{.args = "get-updates --json", .out = std::string(webcam_updates)},
                      {.args = "get-history --json",
                       .out = R"({"Error":{"Domain":"FwupdError","Code":9,"Message":"No history"}})",
                       .code = 2},
                      {.args = "refresh --force --json", .code = 0}});
    const auto updates = firmware.updates();
    ASSERT_TRUE(updates.has_value()) << updates.error();
    EXPECT_EQ(updates->size(), 2U);
    const auto history = firmware.history();
    ASSERT_TRUE(history.has_value()) << history.error();
    EXPECT_TRUE(history->empty());
    EXPECT_TRUE(firmware.refresh_metadata().has_value());
    EXPECT_THAT(call_lines(), ElementsAre("fwupdmgr get-updates --json", "fwupdmgr get-history --json",
                                          "fwupdmgr refresh --force --json"));
}

TEST_F(FirmwareToolTest, FailuresSayWhatFwupdSaid)
{
    tool("fwupdmgr",
         {{.args = "get-updates --json",
           .out = R"({"Error":{"Domain":"g-io-error-quark","Code":1,"Message":"Failed to connect to daemon: Could not connect: No such file or directory"}})",
           .code = 1},
          {.args = "get-devices --json", .err = "\x1b[31mWARNING\x1b[0m: something\nPermission denied\n", .code = 1},
          {.args = "refresh --force --json", .code = 1}});
    EXPECT_EQ(firmware.updates().error(),
              "Failed to connect to daemon: Could not connect: No such file or directory");
    EXPECT_EQ(firmware.devices().error(), "Permission denied");
    EXPECT_EQ(firmware.refresh_metadata().error(), "fwupdmgr ended with exit status 1");
}

TEST_F(FirmwareToolTest, AMissingFwupdmgrIsAFailedCommand)
{
    const char* path = std::getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    ::setenv("PATH", (dir_ / "bin").c_str(), 1);
    const auto updates = firmware.updates();
    ::setenv("PATH", saved.c_str(), 1);
    ASSERT_FALSE(updates.has_value());
    EXPECT_THAT(updates.error(), HasSubstr("fwupdmgr command failed: "));
    EXPECT_THAT(updates.error(), HasSubstr("fwupdmgr"));
}

TEST_F(FirmwareToolTest, AnInstallationReportsItsProgressAndWhetherARestartIsNeeded)
{
    tool("fwupdmgr",
         {{.args = std::string(install_args),
           .out = "Successfully installed firmware\n",
           .err = "Idle\u2026: 0%\n\x1b[31m\x1b[1mWARNING\x1b[0m: UEFI ESP partition not detected or configured\n"
                  "Decompressing\u2026: 0%\nWriting\u2026: 40%\nWriting\u2026: 0%\nVerifying\u2026: 90%\nIdle\u2026: 100%\n"},
          {.args = "get-devices --json",
           .out = R"({"Devices":[{"Name":"Integrated Webcam","DeviceId":"08d460be0f1f9f128413f816022a6439e0078018",
                      "Flags":["updatable","needs-reboot"]}]})"}});
    auto events = firmware.start_install({FirmwareUpdate{.device_id = std::string(webcam), .device = "Webcam"}}, {});
    ASSERT_TRUE(events.has_value()) << events.error();
    using E = InstallEvent;
    EXPECT_THAT(drain(*events),
                ElementsAre(E{E::Preparing{1}}, E{E::Progress{"Webcam: Decompressing\u2026", 0}},
                            E{E::Progress{"Webcam: Writing\u2026", 40}}, E{E::Progress{"Webcam: Writing\u2026", 0}},
                            E{E::Progress{"Webcam: Verifying\u2026", 90}}, E{E::Finished{.restart_required = true}}));
    EXPECT_TRUE(events->ended());
}

TEST_F(FirmwareToolTest, ProgressCoversEveryDeviceAndAFailureStopsTheRest)
{
    const std::string second = "4bde70ba4e39b28f9eab1628f9dd6e6244c03027";
    tool("fwupdmgr",
         {{.args = std::string(install_args), .err = "Writing\u2026: 50%\n"},
          {.args = "update --assume-yes --no-reboot-check --no-unreported-check --no-metadata-check " + second,
           .err = "Writing\u2026: 50%\nSee https://example.org for more information.\n"
                  "device version not updated on success, 1.2.4 != 1.2.3\nIdle\u2026: 100%\n",
           .code = 1}});
    auto events = firmware.start_install({FirmwareUpdate{.device_id = std::string(webcam), .device = "Webcam"},
                                          FirmwareUpdate{.device_id = second, .device = "Dock"},
                                          FirmwareUpdate{.device_id = std::string(webcam), .device = "Again"}},
                                         {});
    ASSERT_TRUE(events.has_value()) << events.error();
    using E = InstallEvent;
    EXPECT_THAT(drain(*events),
                ElementsAre(E{E::Preparing{3}}, E{E::Progress{"Webcam: Writing\u2026", 16}},
                            E{E::Progress{"Dock: Writing\u2026", 50}},
                            E{E::Failed{"Dock: device version not updated on success, 1.2.4 != 1.2.3"}}));
    EXPECT_EQ(call_lines().size(), 2U);  // the third device was not touched
}

TEST_F(FirmwareToolTest, WhatCannotBeInstalledIsRefusedBeforeFwupdmgrRuns)
{
    tool("fwupdmgr", {});
    EXPECT_EQ(firmware.start_install({}, {}).error(), "there are no firmware upgrades to install");
    EXPECT_EQ(firmware.start_install({FirmwareUpdate{.device_id = "--force", .device = "Dock"}}, {}).error(),
              "Dock has no device id fwupd can install to");
    EXPECT_TRUE(call_lines().empty());
}

TEST(InstallEventsTest, TheReceiverLearnsWhenTheSenderHasGoneAfterTheLastEvent)
{
    int notified = 0;
    auto [sender, events] = InstallEvents::channel([&notified] { ++notified; });
    EXPECT_FALSE(events.ended());
    sender.send(InstallEvent{InstallEvent::Preparing{2}});
    { auto gone = std::move(sender); }
    EXPECT_FALSE(events.ended());  // an event still waits
    EXPECT_EQ(events.try_next(), (InstallEvent{InstallEvent::Preparing{2}}));
    EXPECT_TRUE(events.ended());
    EXPECT_EQ(notified, 2);  // the event and the end
}

// ---- The real fwupdmgr against fwupd on a private system bus ------------------------------------------------------

// fwupd with its state in a temporary folder, its own configuration (fwupd's test devices on, one remote: a folder
// holding a firmware cabinet for the test webcam, 1.2.2 → 1.2.3), on a private system bus.
class FwupdTest : public ::testing::Test {
protected:
    static constexpr std::string_view daemon = "/usr/libexec/fwupd/fwupd";

    static void SetUpTestSuite()
    {
        skip_reason_ = start();
    }

    static void TearDownTestSuite()
    {
        if (fwupd_) {
            fwupd_->stop();
            fwupd_.reset();
        }
        buses_.reset();
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }

    void SetUp() override
    {
        if (!skip_reason_.empty()) {
            GTEST_SKIP() << skip_reason_;
        }
    }

    static std::string start()
    {
        for (const auto* program : {"fwupdmgr", "fwupdtool", "busctl"}) {
            if (!test_buses::have_program(program)) {
                return std::string(program) + " is not installed";
            }
        }
        if (!std::filesystem::exists(daemon)) {
            return "fwupd is not installed (no " + std::string(daemon) + ")";
        }
        auto buses = test_buses::PrivateBuses::start();
        if (!buses) {
            return buses.error();
        }
        buses_ = std::move(*buses);
        dir_ = buses_->dir() / "fwupd";
        for (const auto* sub : {"etc/fwupd/remotes.d", "state", "cache", "run", "lock", "firmware", "build"}) {
            std::filesystem::create_directories(dir_ / sub);
        }
        std::ofstream(dir_ / "etc/fwupd/fwupd.conf") << "[fwupd]\nTestDevices=true\n";
        std::ofstream(dir_ / "etc/fwupd/remotes.d/local.conf")
            << "[fwupd Remote]\nEnabled=true\nTitle=Local test firmware\nKind=directory\nMetadataURI=file://"
            << (dir_ / "firmware").string() << "\n";
        std::ofstream(dir_ / "build/firmware.bin") << std::string(64, '\x5a');
        std::ofstream(dir_ / "build/firmware.metainfo.xml") << R"(<?xml version="1.0" encoding="UTF-8"?>
<component type="firmware">
  <id>com.example.TestWebcam.firmware</id>
  <name>Integrated Webcam</name>
  <summary>Firmware for the test webcam</summary>
  <provides><firmware type="flashed">b585990a-003e-5270-89d5-3705a17f9a43</firmware></provides>
  <metadata_license>CC0-1.0</metadata_license>
  <project_license>proprietary</project_license>
  <releases>
    <release urgency="high" version="1.2.3" date="2024-01-01">
      <checksum filename="firmware.bin" target="content"/>
      <description><p>Fixes the colour balance.</p></description>
    </release>
  </releases>
  <custom><value key="LVFS::VersionFormat">triplet</value></custom>
</component>
)";
        const auto built = cmd_runner::run(
            {.program = "fwupdtool",
             .args = {"build-cabinet", (dir_ / "firmware/webcam-1.2.3.cab").string(),
                      (dir_ / "build/firmware.bin").string(), (dir_ / "build/firmware.metainfo.xml").string()},
             .time_limit = 30s});
        if (!built || !built->status.success() || !std::filesystem::exists(dir_ / "firmware/webcam-1.2.3.cab")) {
            return "fwupdtool could not build the test cabinet: " +
                   (built ? built->stderr_text() : built.error().text());
        }
        const auto d = [](std::string_view sub) { return (dir_ / sub).string(); };
        auto child = test_buses::Child::start(
            {"env", "FWUPD_SYSCONFDIR=" + d("etc"), "STATE_DIRECTORY=" + d("state"), "CACHE_DIRECTORY=" + d("cache"),
             "RUNTIME_DIRECTORY=" + d("run"), "FWUPD_LOCALSTATEDIR=" + d("state"), "FWUPD_LOCKDIR=" + d("lock"),
             "FWUPD_RUNDIR=" + d("run"), std::string(daemon)},
            dir_ / "fwupd.log");
        if (!child) {
            return child.error();
        }
        fwupd_.emplace(std::move(*child));
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        for (;;) {
            const auto status = cmd_runner::run(
                {.program = "busctl", .args = {"--system", "status", "org.freedesktop.fwupd"}, .time_limit = 5s});
            if (status && status->status.success()) {
                return {};
            }
            if (!fwupd_->running() || std::chrono::steady_clock::now() >= deadline) {
                std::ifstream log(dir_ / "fwupd.log");
                const std::string text{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
                return "fwupd did not come up on the private bus: " + text.substr(text.size() > 600 ? text.size() - 600 : 0);
            }
            std::this_thread::sleep_for(100ms);
        }
    }

    FwupdmgrFirmware firmware;

    static inline std::string skip_reason_;
    static inline std::unique_ptr<test_buses::PrivateBuses> buses_;
    static inline std::optional<test_buses::Child> fwupd_;
    static inline std::filesystem::path dir_;
};

TEST_F(FwupdTest, DevicesHaveIdsNamesAndFlags)
{
    const auto devices = firmware.devices();
    ASSERT_TRUE(devices.has_value()) << devices.error();
    ASSERT_FALSE(devices->empty());
    for (const auto& device : *devices) {
        EXPECT_TRUE(is_device_id(device.id)) << device.id;
        EXPECT_FALSE(device.name.empty());
    }
    // fwupd's own test device, switched on by the configuration above.
    EXPECT_TRUE(std::any_of(devices->begin(), devices->end(),
                            [](const FirmwareDevice& d) { return d.plugin == "test" && d.has_flag("updatable"); }));
}

TEST_F(FwupdTest, RefreshedMetadataOffersAnUpgradeThatInstallsAndEntersTheHistory)
{
    ASSERT_TRUE(firmware.refresh_metadata().has_value());
    const auto history_before = firmware.history();
    ASSERT_TRUE(history_before.has_value()) << history_before.error();
    EXPECT_TRUE(history_before->empty());

    const auto updates = firmware.updates();
    ASSERT_TRUE(updates.has_value()) << updates.error();
    ASSERT_EQ(updates->size(), 1U);
    const FirmwareUpdate& update = updates->front();
    EXPECT_TRUE(is_device_id(update.device_id));
    EXPECT_EQ(update.current_version, "1.2.2");
    EXPECT_EQ(update.new_version, "1.2.3");
    EXPECT_EQ(update.note, "Fixes the colour balance.");

    // Called on the installation's thread: once after each event and once when the sender goes, which can be just
    // after ended() turned true here.
    std::atomic<std::size_t> wakes = 0;
    auto events = firmware.start_install(*updates, [&wakes] { ++wakes; });
    ASSERT_TRUE(events.has_value()) << events.error();
    const auto seen = drain(*events);
    ASSERT_GE(seen.size(), 2U);
    EXPECT_EQ(seen.front(), (InstallEvent{InstallEvent::Preparing{1}}));
    EXPECT_TRUE(std::holds_alternative<InstallEvent::Finished>(seen.back().value))
        << (std::holds_alternative<InstallEvent::Failed>(seen.back().value)
                ? std::get<InstallEvent::Failed>(seen.back().value).message
                : "");
    bool wrote = false;
    for (const auto& event : seen) {
        if (const auto* progress = std::get_if<InstallEvent::Progress>(&event.value)) {
            EXPECT_LE(progress->percent, 100U);
            EXPECT_TRUE(progress->text.starts_with(update.device + ": ")) << progress->text;
            wrote = wrote || progress->text.find("Writing") != std::string::npos;
        }
    }
    EXPECT_TRUE(wrote);
    const auto wake_deadline = std::chrono::steady_clock::now() + 60s;
    while (wakes.load() < seen.size() + 1 && std::chrono::steady_clock::now() < wake_deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_GE(wakes.load(), seen.size() + 1) << "a wake for every event and one for the end";

    const auto history = firmware.history();
    ASSERT_TRUE(history.has_value()) << history.error();
    ASSERT_EQ(history->size(), 1U);
    EXPECT_EQ(history->front().device_id, update.device_id);
    EXPECT_EQ(history->front().previous_version, "1.2.2");
    EXPECT_EQ(history->front().new_version, "1.2.3");
    EXPECT_TRUE(history->front().text.starts_with("Installed ")) << history->front().text;
    const auto after = firmware.updates();
    ASSERT_TRUE(after.has_value()) << after.error();
    EXPECT_TRUE(after->empty());
}

TEST_F(FwupdTest, WithoutTheDaemonTheErrorIsFwupdmgrsOwn)
{
    const char* saved = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string address = saved != nullptr ? saved : "";
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (dir_ / "no-bus").string()).c_str(), 1);
    const auto updates = firmware.updates();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    ASSERT_FALSE(updates.has_value());
    EXPECT_THAT(updates.error(), HasSubstr("Failed to connect to daemon"));
}

}  // namespace
}  // namespace system_ops::firmware
