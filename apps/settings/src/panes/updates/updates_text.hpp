#pragma once
// The Updates page's texts, control ids and labels, decided from the model's state without any widget: what each
// card says, which rows and buttons it has. The view builds its cards from these.

#include "panes/updates/update_backend.hpp"
#include "panes/updates/update_status.hpp"
#include "panes/updates/updates_model.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::updates {

// ---- Controls: ids, labels and the Updates resource's actions they are bound to ----------------------------------

struct ActionButton {
    std::string_view id;
    std::string_view label;
    std::string_view action;  // the parameterless action of the Updates resource
};
inline constexpr ActionButton restart_button{"settings.updates.restart", "Restart & update", "restart"};
inline constexpr ActionButton rollback_button{"settings.updates.rollback", "Roll back\u2026", "review-rollback"};
inline constexpr ActionButton rollback_confirm_button{"settings.updates.rollback.confirm",
                                                      "Roll back and restart later", "rollback"};
inline constexpr ActionButton firmware_install_button{"settings.updates.firmware.install",
                                                      "Install firmware upgrades", "install-firmware"};
inline constexpr ActionButton firmware_restart_button{"settings.updates.firmware.restart", "Restart now", "restart"};
inline constexpr std::string_view check_button_id = "settings.updates.check";
inline constexpr std::string_view check_action = "check";
inline constexpr std::string_view firmware_refresh_button_id = "settings.updates.firmware.refresh";
inline constexpr std::string_view firmware_refresh_action = "refresh-firmware";

// The toggles and the drop-down: control id, widget id (the document key) and the action.
inline constexpr std::string_view auto_toggle_id = "settings.updates.auto";
inline constexpr std::string_view auto_action = "automatic";
inline constexpr std::string_view metered_toggle_id = "settings.updates.metered";
inline constexpr std::string_view metered_action = "metered";
inline constexpr std::string_view schedule_dropdown_id = "updates.schedule";

// What the view stops with when the static resource contract lacks a binding.
[[nodiscard]] std::string missing_action_message(std::string_view action);  // "Updates action {} must be published"
inline constexpr std::string_view missing_automatic_binding =
    "automatic updates are part of the static resource contract";
inline constexpr std::string_view missing_schedule_binding = "update schedule is part of the static resource contract";
inline constexpr std::string_view missing_metered_binding =
    "metered update policy is part of the static resource contract";

// "Checking for updates…" while a check runs, else "Check for updates".
[[nodiscard]] std::string_view check_button_label(bool checking);
// "Try again" / "Refreshing…" after a failed query, else "Check firmware" / "Checking firmware…".
[[nodiscard]] std::string_view firmware_refresh_label(bool query_failed, bool refreshing);

// ---- Cards ----------------------------------------------------------------------------------------------------------

// The status card's title: "That did not work" for a failure, "Done" for the sentences after a rollback or a
// firmware installation.
[[nodiscard]] std::string_view status_card_title(bool failed);

// "Update overview": the "Operating system" value, and the "Device firmware" value (none when the query failed).
[[nodiscard]] std::string operating_system_summary(const OsInfo& info);
[[nodiscard]] std::optional<std::string_view> firmware_summary(const Result<std::vector<FirmwareUpdate>>& updates);

// "Software updates": a text, an optional caption and whether the restart button follows.
struct SoftwareUpdatesCard {
    std::string text;
    std::optional<std::string> caption;
    bool restart_button = false;
    friend bool operator==(const SoftwareUpdatesCard&, const SoftwareUpdatesCard&) = default;
};
[[nodiscard]] SoftwareUpdatesCard software_updates_card(const OsInfo& info);

// "Device firmware".
inline constexpr std::string_view firmware_query_failed = "Firmware inventory could not be queried";
inline constexpr std::string_view firmware_up_to_date = "Device firmware is up to date";
inline constexpr std::string_view firmware_safety_caption =
    "Firmware is verified and installed by fwupd. Keep the device connected and do not suspend it while "
    "installation is active.";
[[nodiscard]] std::string fwupd_reported(std::string_view error);  // "fwupd reported: {}"
// "{} → {}" with both versions, "Update to {}" with the new one only, else "Update available".
[[nodiscard]] std::string firmware_update_value(const FirmwareUpdate& update);
// Upgrade by upgrade: its note when it has one, then "Before installing: {}" with its prerequisites joined by ", ".
[[nodiscard]] std::vector<std::string> firmware_update_captions(const std::vector<FirmwareUpdate>& updates);

struct ValueRow {
    std::string label;
    std::string value;
    friend bool operator==(const ValueRow&, const ValueRow&) = default;
};
// The install state under the upgrades: none while nothing is installing (the install button shows), "Status"
// "Installing" while it runs (with a bar and the progress text), "Installation" "Installed successfully" or
// "Installed · restart required" when it finished.
[[nodiscard]] std::optional<ValueRow> install_state_row(const FirmwareInstallProgress& progress);

// "Firmware history": at most the first 8 entries, each a row labelled with the device, and a caption
// "fwupd error: {}" under an entry that carries an error. No card for a failed query or an empty history.
inline constexpr std::size_t max_history_rows = 8;
struct HistoryRow {
    ValueRow row;
    std::optional<std::string> caption;
    friend bool operator==(const HistoryRow&, const HistoryRow&) = default;
};
[[nodiscard]] std::vector<HistoryRow> firmware_history_rows(const Result<std::vector<FirmwareHistoryEntry>>& history);

// "Details".
inline constexpr std::string_view release_channel_value = "Managed by the installed bootc image reference";
inline constexpr std::string_view unavailable_here = "unavailable on this machine";
inline constexpr std::string_view policy_unavailable = "policy service is unavailable";

// "History & recovery health".
[[nodiscard]] std::string rollback_health(const UpdateServiceStatus& status);       // the sentence, or "Not reported"
[[nodiscard]] std::string release_notes_value(const UpdateServiceStatus& status);   // the link, or the explanation
// The journal lines, or the one caption saying there are none.
[[nodiscard]] std::vector<std::string> journal_captions(const UpdateServiceStatus& status);

// "Go back to the previous image": the title, the texts after it and the button of the current stage, if any
// (its label is then the last text). The view shows the second text as a heading and the others as paragraphs.
struct RollbackCard {
    enum class Button : std::uint8_t { None, Review, Confirm };
    std::vector<std::string> texts;
    Button button = Button::None;
    friend bool operator==(const RollbackCard&, const RollbackCard&) = default;
};
[[nodiscard]] RollbackCard rollback_confirmation_view(const RollbackStatus& rollback, bool review_open);

// "How updates work".
[[nodiscard]] std::array<std::string_view, 2> updates_intro_paragraphs();

}  // namespace settings::panes::updates
