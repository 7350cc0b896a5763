// The Updates page in the headless window over the fake backend, the fake firmware service and workers run by hand:
// the view in each state of the machine (pictures by their texts, accessibility lines), the values that change in
// place, the rollback review and confirmation handed over by the runner, a firmware installation's progress, and the
// keyboard focus across a change.
#include "panes/updates/updates_pane.hpp"
#include "panes/updates/updates_text.hpp"

#include "app/test_support.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/updates/testing/fake_update_backend.hpp"
#include "system_ops/testing/fake_firmware.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>

namespace settings::panes::updates {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using operations::OperationStatus;
using system_ops::firmware::InstallEvent;
using Op = UpdateOperation;

constexpr std::string_view bootc_needs_root = "error: This command requires root privileges";

FirmwareUpdate webcam_update()
{
    return FirmwareUpdate{.device_id = "08d460be0f1f9f128413f816022a6439e0078018",
                          .device = "Integrated Webcam",
                          .current_version = "1.2.2",
                          .new_version = "1.2.3",
                          .note = "Fixes the white balance in low light.",
                          .prerequisites = {"Connect the power adapter"}};
}

std::vector<FirmwareHistoryEntry> ten_history_entries()
{
    std::vector<FirmwareHistoryEntry> entries;
    for (int i = 0; i < 10; ++i) {
        entries.push_back(FirmwareHistoryEntry{.device_id = fmt::format("{:040}", i),
                                               .device = fmt::format("Device {}", i),
                                               .text = "Installed",
                                               .previous_version = "1.0",
                                               .new_version = fmt::format("1.{}", i + 1)});
    }
    entries[1].error = "the device went away";
    return entries;
}

class UpdatesPaneTest : public ::testing::Test {
protected:
    // The page in a window tall enough for every card, with the application's cells, its first reading taken.
    void open(bool settle_now = true)
    {
        pane = std::make_unique<UpdatesPane>(
            UpdatesPane(fake.environment()).with_operation_requests(requests).with_operation_status(status));
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 3200});
        window->frame();
        if (settle_now) {
            settle();
        }
    }

    // The workers run and the page takes their answers.
    void settle()
    {
        fake.threads.run_all();
        window->frame();
        window->frame();
    }

    // What the application's runner does for an operation a control started; the page then performs it.
    OperationStatus perform(const UpdateOperation& operation)
    {
        (void)status.publish(OperationStatus::running(operations::operation_key(operation)));
        (void)requests.publish(operations::PendingOperation{operation});
        window->frame();
        settle();
        return status.get();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] bool has_line(std::string_view start) const
    {
        return std::ranges::any_of(lines(), [&](const std::string& l) { return l.starts_with(start); });
    }

    testing::FakeEnvironment fake;
    std::shared_ptr<system_ops::testing::FakeFirmware> firmware = std::make_shared<system_ops::testing::FakeFirmware>();
    system_ops::ScopedCurrent<system_ops::firmware::FirmwareService> firmware_guard{firmware};
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<UpdatesPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(UpdatesPaneTest, ThePageSaysLoadingUntilTheSystemIsReadThenShowsEveryCard)
{
    open(false);
    EXPECT_TRUE(shows(loading_text));
    EXPECT_FALSE(shows("Update overview"));
    EXPECT_TRUE(pane->needs_redraw());

    settle();
    EXPECT_FALSE(shows(loading_text));
    for (const std::string_view title : {"Update overview", "Software updates", "Device firmware", "Details",
                                         "History & recovery health", "Go back to the previous image",
                                         "How updates work"}) {
        EXPECT_TRUE(shows(title)) << title;
    }
    EXPECT_FALSE(shows("Firmware history")) << "an empty history has no card";
    EXPECT_FALSE(shows("That did not work"));
    const auto access = lines();
    for (const std::string_view line :
         {"label No staged update", "label Up to date", "label Your system is up to date.",
          "label Device firmware is up to date", "button Check firmware", "label Vorn 41", "label Never",
          "label Managed by the installed bootc image reference", "toggle Automatic updates = on",
          "combo_box Download schedule = System schedule", "toggle Download on metered connections = off",
          "button Check for updates", "label Rollback health", "label https://docs.vorn.example/releases/41",
          "label 2026-12-11T09:00:00+0000 host bootc[1]: No changes in image",
          "label Previous image: quay.io/vorn/os:41.20261201", "button Roll back\u2026",
          "label Vorn updates are atomic: a new image is staged and applied on restart, so an update never "
          "half-installs."}) {
        EXPECT_THAT(access, Contains(StartsWith(std::string(line)))) << line;
    }
    EXPECT_FALSE(has_line("button Restart & update")) << "nothing is staged";
    EXPECT_FALSE(pane->model().needs_redraw());
}

TEST_F(UpdatesPaneTest, TheViewFollowsWhatTheMachineHas)
{
    struct Case {
        std::string_view name;
        std::function<void(testing::FakeEnvironment&, system_ops::testing::FakeFirmware&)> machine;
        std::vector<std::string_view> shown;  // accessibility lines, by their start
        std::vector<std::string_view> absent;
    };
    const std::vector<Case> cases{
        {"bootc cannot be read",
         []([[maybe_unused]] testing::FakeEnvironment& env, [[maybe_unused]] system_ops::testing::FakeFirmware& fw) {
             *env.os_info = OsInfo{.name = "Debian GNU/Linux 12 (bookworm)", .image_error = std::string(bootc_needs_root)};
             env.backend->change([](auto& s) { s.rollback = std::unexpected(std::string(bootc_needs_root)); });
         },
         {"label Image status could not be read",
          "label The image status could not be read: error: This command requires root privileges",
          "label Whether an update is staged is not known.",
          "label Whether this machine keeps a previous image is not known here",
          "label Debian GNU/Linux 12 (bookworm)"},
         {"label There is no previous image", "label No staged update", "label Your system is up to date.",
          "button Roll back", "button Restart & update"}},
        {"an update is staged",
         []([[maybe_unused]] testing::FakeEnvironment& env, [[maybe_unused]] system_ops::testing::FakeFirmware& fw) { env.os_info->staged = "quay.io/vorn/os:42.20261210"; },
         {"label Update staged \u00b7 restart required", "label Update ready: quay.io/vorn/os:42.20261210",
          "label Restart to apply the staged image.", "button Restart & update"},
         {"label Your system is up to date."}},
        {"no previous image",
         []([[maybe_unused]] testing::FakeEnvironment& env, [[maybe_unused]] system_ops::testing::FakeFirmware& fw) { env.backend->change([](auto& s) { s.rollback = std::optional<std::string>(); }); },
         {"label There is no previous image on this machine yet.", "label One appears after the first update."},
         {"button Roll back"}},
        {"firmware upgrades and a long history",
         []([[maybe_unused]] testing::FakeEnvironment& env, [[maybe_unused]] system_ops::testing::FakeFirmware& fw) {
             fw.change([](auto& s) {
                 s.updates = std::vector{webcam_update()};
                 s.history = ten_history_entries();
             });
         },
         {"label Updates available", "label Integrated Webcam", "label 1.2.2 \u2192 1.2.3",
          "label Fixes the white balance in low light.", "label Before installing: Connect the power adapter",
          "label Firmware is verified and installed by fwupd.", "button Install firmware upgrades",
          "label Firmware history", "label Device 0", "label 1.0 \u2192 1.1 \u00b7 Installed",
          "label fwupd error: the device went away", "label Device 7"},
         {"label Device 8", "label Device 9", "button Check firmware"}},
        {"the firmware query fails",  // (the card keeps its title; the overview has no "Device firmware" row)
         []([[maybe_unused]] testing::FakeEnvironment& env, [[maybe_unused]] system_ops::testing::FakeFirmware& fw) {
             fw.change([](auto& s) { s.updates = std::unexpected(std::string("Failed to connect to daemon")); });
         },
         {"label Firmware inventory could not be queried", "label fwupd reported: Failed to connect to daemon",
          "button Try again"},
         {"label Up to date", "button Check firmware"}},
        {"no policy service",
         []([[maybe_unused]] testing::FakeEnvironment& env, [[maybe_unused]] system_ops::testing::FakeFirmware& fw) {
             env.backend->change([](auto& s) { s.timer.reset(); });
         },
         {"label Automatic updates", "label unavailable on this machine"},
         {"toggle Automatic updates"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        pane.reset();
        *fake.os_info = OsInfo{.name = "Vorn 41"};
        fake.backend->change([](auto& s) { s = {}; });
        firmware->change([](auto& s) { s = {}; });
        c.machine(fake, *firmware);
        open();
        const auto access = lines();
        for (const std::string_view line : c.shown) {
            EXPECT_THAT(access, Contains(StartsWith(std::string(line)))) << line;
        }
        for (const std::string_view line : c.absent) {
            EXPECT_THAT(access, ::testing::Not(Contains(StartsWith(std::string(line))))) << line;
        }
    }
}

TEST_F(UpdatesPaneTest, TheRollbackIsReviewedThenConfirmedThroughTheRunner)
{
    open();
    const auto builds = pane->view_builds();
    EXPECT_EQ(perform(Op{Op::ReviewRollback{}}),
              OperationStatus::done(operations::operation_key(Op{Op::ReviewRollback{}}), "rollback details opened"));
    EXPECT_GT(pane->view_builds(), builds) << "the review brings its own button";
    EXPECT_TRUE(has_line("label Roll back to quay.io/vorn/os:41.20261201?"));
    EXPECT_TRUE(has_line("label Your files and app data do NOT revert."));
    EXPECT_TRUE(has_line("button Roll back and restart later"));
    EXPECT_FALSE(has_line("button Roll back\u2026"));

    const auto confirmed = perform(Op{Op::Rollback{}});
    EXPECT_EQ(confirmed.state, OperationStatus::State::Done) << confirmed.message;
    EXPECT_THAT(fake.backend->changes(), Contains("rollback"));
    EXPECT_TRUE(has_line("label Done"));
    EXPECT_TRUE(has_line("label Done. The previous image is what this machine will boot next."));
    EXPECT_FALSE(has_line("button Roll back and restart later"));
}

TEST_F(UpdatesPaneTest, AFailureIsShownInTheStatusCardAndTheControlShowsTheValueInForce)
{
    open();
    fake.backend->change([](auto& s) { s.failures["set_update_schedule"] = "Access denied"; });
    const auto answer = perform(Op{Op::SetSchedule{"Weekly"}});
    EXPECT_EQ(answer.state, OperationStatus::State::Failed);
    EXPECT_TRUE(has_line("label That did not work"));
    EXPECT_THAT(lines(), Contains(HasSubstr("Access denied")));
    EXPECT_TRUE(has_line("combo_box Download schedule = System schedule"));
}

TEST_F(UpdatesPaneTest, TheCheckButtonSaysWhileACheckRunsAndLastCheckedChangesInPlace)
{
    open();
    (void)status.publish(OperationStatus::running(operations::operation_key(Op{Op::Check{}})));
    (void)requests.publish(operations::PendingOperation{Op{Op::Check{}}});
    window->frame();
    EXPECT_TRUE(has_line("button Checking for updates\u2026"));
    EXPECT_TRUE(pane->needs_redraw());
    const auto builds = pane->view_builds();
    settle();
    EXPECT_EQ(status.get().state, OperationStatus::State::Done);
    EXPECT_TRUE(has_line("button Check for updates"));
    EXPECT_TRUE(has_line("label 2026-12-11 09:30"));
    EXPECT_EQ(pane->view_builds(), builds) << "values change in place";
}

TEST_F(UpdatesPaneTest, AFirmwareInstallationShowsItsProgressAndAskForARestart)
{
    firmware->change([](auto& s) { s.updates = std::vector{webcam_update()}; });
    open();
    (void)status.publish(OperationStatus::running(operations::operation_key(Op{Op::InstallFirmware{}})));
    (void)requests.publish(operations::PendingOperation{Op{Op::InstallFirmware{}}});
    window->frame();
    firmware->send(InstallEvent{InstallEvent::Progress{"Integrated Webcam: Writing\u2026", 40}});
    window->frame();
    EXPECT_TRUE(has_line("label Installing"));
    EXPECT_TRUE(has_line("label Integrated Webcam: Writing\u2026"));
    EXPECT_FALSE(has_line("button Install firmware upgrades"));
    const auto* bar = dynamic_cast<const vorn_ui::ProgressBar*>(
        app::testing::find_widget(window->root(), [](const auto& w) { return w.widget_name() == "ProgressBar"; }));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->fraction(), std::optional(0.4));
    const auto builds = pane->view_builds();
    for (const unsigned percent : {0U, 30U}) {
        firmware->send(InstallEvent{InstallEvent::Progress{"Integrated Webcam: Verifying\u2026", percent}});
        window->frame();
    }
    EXPECT_EQ(bar->fraction(), std::optional(0.4)) << "progress never goes back";
    EXPECT_TRUE(has_line("label Integrated Webcam: Verifying\u2026"));
    EXPECT_EQ(pane->view_builds(), builds);

    firmware->change([](auto& s) { s.updates = std::vector<FirmwareUpdate>{}; });
    firmware->send(InstallEvent{InstallEvent::Finished{.restart_required = true}});
    firmware->end_install();
    window->frame();
    settle();  // the lists, read again on a worker
    EXPECT_EQ(status.get().state, OperationStatus::State::Done);
    EXPECT_TRUE(has_line("label Firmware installation finished. Restart to activate the update."));
    EXPECT_TRUE(has_line("label Device firmware is up to date"));
    EXPECT_TRUE(has_line("label Activation"));
    EXPECT_TRUE(has_line("button Restart now"));
}

TEST_F(UpdatesPaneTest, FocusSurvivesAChange)
{
    open();
    ASSERT_TRUE(panes::testing::focus_control(*window, auto_key));
    EXPECT_EQ(panes::testing::next_in_focus_order(*window, auto_key), schedule_dropdown_id);

    // Space flips the switch; its action reaches the page through the runner, as it does in the application.
    window->key(vorn_ui::Key::Space);
    window->frame();
    const auto builds = pane->view_builds();
    fake.backend->change([](auto& s) { s.failures["set_automatic_updates"] = "Access denied"; });
    EXPECT_EQ(perform(Op{Op::SetAutomatic{false}}).state, OperationStatus::State::Failed);
    EXPECT_GT(pane->view_builds(), builds) << "the status card is new";
    EXPECT_EQ(panes::testing::focused_id(*window), auto_key);
    EXPECT_TRUE(has_line("toggle Automatic updates = on")) << "the value in force";

    fake.backend->change([](auto& s) { s.failures.clear(); });
    EXPECT_EQ(perform(Op{Op::SetAutomatic{false}}).state, OperationStatus::State::Done);
    EXPECT_EQ(panes::testing::focused_id(*window), auto_key);
    EXPECT_TRUE(has_line("toggle Automatic updates = off"));
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), schedule_dropdown_id);

    // A choice from the list, carried out the same way.
    window->key(vorn_ui::Key::Space);
    window->key(vorn_ui::Key::Down);
    window->key(vorn_ui::Key::Enter);
    window->frame();
    EXPECT_EQ(perform(Op{Op::SetSchedule{"Daily"}}).state, OperationStatus::State::Done);
    EXPECT_THAT(fake.backend->changes(), Contains("set_update_schedule Daily"));
    EXPECT_EQ(panes::testing::focused_id(*window), schedule_dropdown_id);
    EXPECT_TRUE(has_line("combo_box Download schedule = Daily"));
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), metered_key);
}

}  // namespace
}  // namespace settings::panes::updates
