#include "panes/updates/updates_text.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

namespace settings::panes::updates {
namespace {

using ::testing::ElementsAre;

TEST(UpdatesTextTest, OverviewAndSoftwareUpdates)
{
    const OsInfo nothing{.name = "Vorn 42"};
    const OsInfo staged{.name = "Vorn 42", .staged = "42.20261211.0"};
    const OsInfo unreadable{.name = "Debian GNU/Linux 12 (bookworm)",
                            .image_error = "bootc command failed: bootc not found"};
    EXPECT_EQ(operating_system_summary(nothing), "No staged update");
    EXPECT_EQ(operating_system_summary(staged), "Update staged \u00b7 restart required");
    EXPECT_EQ(operating_system_summary(unreadable), "Image status could not be read");

    EXPECT_EQ(software_updates_card(nothing), (SoftwareUpdatesCard{.text = "Your system is up to date."}));
    EXPECT_EQ(software_updates_card(staged), (SoftwareUpdatesCard{.text = "Update ready: 42.20261211.0",
                                                                  .caption = "Restart to apply the staged image.",
                                                                  .restart_button = true}));
    // Not knowing is never "up to date".
    EXPECT_EQ(software_updates_card(unreadable).text,
              "The image status could not be read: bootc command failed: bootc not found");
    EXPECT_FALSE(software_updates_card(unreadable).restart_button);

    EXPECT_EQ(firmware_summary(std::vector<FirmwareUpdate>{}), "Up to date");
    EXPECT_EQ(firmware_summary(std::vector<FirmwareUpdate>{FirmwareUpdate{.device = "Dock"}}), "Updates available");
    EXPECT_EQ(firmware_summary(std::unexpected(std::string("Failed to connect to daemon"))), std::nullopt);
}

TEST(UpdatesTextTest, FirmwareUpgradeRowsAndCaptions)
{
    const std::vector<FirmwareUpdate> updates = {
        {.device = "Webcam", .current_version = "1.2.2", .new_version = "1.2.3", .note = "Fixes the colour balance."},
        {.device = "Dock", .new_version = "2.0", .prerequisites = {"connect the AC adapter", "open the lid"}},
        {.device = "Touchpad", .current_version = "7"},
    };
    EXPECT_EQ(firmware_update_value(updates[0]), "1.2.2 \u2192 1.2.3");
    EXPECT_EQ(firmware_update_value(updates[1]), "Update to 2.0");
    EXPECT_EQ(firmware_update_value(updates[2]), "Update available");
    EXPECT_THAT(firmware_update_captions(updates),
                ElementsAre("Fixes the colour balance.", "Before installing: connect the AC adapter, open the lid"));
    EXPECT_EQ(fwupd_reported("Failed to connect to daemon"), "fwupd reported: Failed to connect to daemon");
}

TEST(UpdatesTextTest, InstallStatesAndButtonLabels)
{
    EXPECT_EQ(install_state_row({}), std::nullopt);
    EXPECT_EQ(install_state_row({FirmwareInstallProgress::Progress{"Writing\u2026", 40}}),
              (ValueRow{"Status", "Installing"}));
    EXPECT_EQ(install_state_row({FirmwareInstallProgress::Finished{false}}),
              (ValueRow{"Installation", "Installed successfully"}));
    EXPECT_EQ(install_state_row({FirmwareInstallProgress::Finished{true}}),
              (ValueRow{"Installation", "Installed \u00b7 restart required"}));

    EXPECT_EQ(firmware_refresh_label(false, false), "Check firmware");
    EXPECT_EQ(firmware_refresh_label(false, true), "Checking firmware\u2026");
    EXPECT_EQ(firmware_refresh_label(true, false), "Try again");
    EXPECT_EQ(firmware_refresh_label(true, true), "Refreshing\u2026");
    EXPECT_EQ(check_button_label(false), "Check for updates");
    EXPECT_EQ(check_button_label(true), "Checking for updates\u2026");
    EXPECT_EQ(missing_action_message("install-firmware"), "Updates action install-firmware must be published");
    EXPECT_EQ(status_card_title(true), "That did not work");
}

TEST(UpdatesTextTest, HistoryShowsTheFirstEightEntries)
{
    std::vector<FirmwareHistoryEntry> history;
    for (int i = 0; i < 10; ++i) {
        history.push_back({.device = fmt::format("Device {}", i), .text = "Installed 2026-12-11"});
    }
    history[0].previous_version = "1.0";
    history[0].new_version = "1.1";
    history[1].new_version = "2.0";
    history[2].error = "failed to write: device busy";
    const auto rows = firmware_history_rows(history);
    ASSERT_EQ(rows.size(), 8U);
    EXPECT_EQ(rows[0], (HistoryRow{.row = {"Device 0", "1.0 \u2192 1.1 \u00b7 Installed 2026-12-11"}}));
    EXPECT_EQ(rows[1].row.value, "2.0 \u00b7 Installed 2026-12-11");
    EXPECT_EQ(rows[2].row.value, "Installed 2026-12-11");
    EXPECT_EQ(rows[2].caption, "fwupd error: failed to write: device busy");
    EXPECT_EQ(rows[7].row.label, "Device 7");
    EXPECT_TRUE(firmware_history_rows(std::vector<FirmwareHistoryEntry>{}).empty());
    EXPECT_TRUE(firmware_history_rows(std::unexpected(std::string("No history"))).empty());
}

TEST(UpdatesTextTest, HealthCard)
{
    EXPECT_EQ(rollback_health({}), "Not reported");
    EXPECT_EQ(rollback_health({.protection = "Rollback protection state is not reported"}),
              "Rollback protection state is not reported");
    EXPECT_EQ(release_notes_value({}), "The image does not publish a documentation URL");
    EXPECT_EQ(release_notes_value({.release_notes = "https://docs.vorn.example/42"}), "https://docs.vorn.example/42");
    EXPECT_THAT(journal_captions({}),
                ElementsAre("No bootc update-service history is available in the system journal."));
    EXPECT_THAT(journal_captions({.journal_lines = {"a", "b"}}), ElementsAre("a", "b"));
}

TEST(UpdatesTextTest, TheRollbackCardInEachStage)
{
    using Button = RollbackCard::Button;
    const auto none = rollback_confirmation_view(std::optional<std::string>(), false);
    EXPECT_EQ(none.button, Button::None);
    EXPECT_THAT(none.texts, ElementsAre("Go back to the previous image", "There is no previous image on this machine yet.",
                                        ::testing::StartsWith("One appears after the first update.")));
    EXPECT_EQ(rollback_confirmation_view(std::optional<std::string>(), true).button, Button::None);

    const auto closed = rollback_confirmation_view(std::optional<std::string>("quay.io/vorn/os:41"), false);
    EXPECT_EQ(closed.button, Button::Review);
    EXPECT_EQ(closed.texts.at(1), "Previous image: quay.io/vorn/os:41");
    EXPECT_EQ(closed.texts.back(), "Roll back\u2026");

    const auto open = rollback_confirmation_view(std::optional<std::string>("quay.io/vorn/os:41"), true);
    EXPECT_EQ(open.button, Button::Confirm);
    EXPECT_EQ(open.texts.size(), 6U);
    EXPECT_EQ(open.texts.at(1), "Roll back to quay.io/vorn/os:41?");
    EXPECT_EQ(open.texts.back(), "Roll back and restart later");

    // An image status that could not be read says so, and never that there is no previous image.
    const auto unknown =
        rollback_confirmation_view(std::unexpected(std::string("error: This command requires root privileges")), true);
    EXPECT_EQ(unknown.button, Button::None);
    EXPECT_EQ(unknown.texts.at(1), "The image status could not be read: error: This command requires root privileges");
    for (const auto& text : unknown.texts) {
        EXPECT_EQ(text.find("no previous image"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace settings::panes::updates
