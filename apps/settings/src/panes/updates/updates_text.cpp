#include "panes/updates/updates_text.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace settings::panes::updates {

std::string missing_action_message(std::string_view action)
{
    return fmt::format("Updates action {} must be published", action);
}

std::string_view check_button_label(bool checking)
{
    return checking ? "Checking for updates\u2026" : "Check for updates";
}

std::string_view firmware_refresh_label(bool query_failed, bool refreshing)
{
    if (query_failed) {
        return refreshing ? "Refreshing\u2026" : "Try again";
    }
    return refreshing ? "Checking firmware\u2026" : "Check firmware";
}

std::string_view status_card_title(bool failed)
{
    return failed ? "That did not work" : "Done";
}

std::string operating_system_summary(const OsInfo& info)
{
    if (info.staged) {
        return "Update staged \u00b7 restart required";
    }
    if (info.image_error) {
        return "Image status could not be read";
    }
    return "No staged update";
}

std::optional<std::string_view> firmware_summary(const Result<std::vector<FirmwareUpdate>>& updates)
{
    if (!updates) {
        return std::nullopt;
    }
    return updates->empty() ? "Up to date" : "Updates available";
}

SoftwareUpdatesCard software_updates_card(const OsInfo& info)
{
    if (info.staged) {
        return {.text = fmt::format("Update ready: {}", *info.staged),
                .caption = "Restart to apply the staged image.",
                .restart_button = true};
    }
    if (info.image_error) {
        return {.text = fmt::format("The image status could not be read: {}", *info.image_error),
                .caption = "Whether an update is staged is not known.",
                .restart_button = false};
    }
    return {.text = "Your system is up to date.", .caption = std::nullopt, .restart_button = false};
}

std::string fwupd_reported(std::string_view error)
{
    return fmt::format("fwupd reported: {}", error);
}

std::string firmware_update_value(const FirmwareUpdate& update)
{
    if (update.current_version && update.new_version) {
        return fmt::format("{} \u2192 {}", *update.current_version, *update.new_version);
    }
    if (update.new_version) {
        return fmt::format("Update to {}", *update.new_version);
    }
    return "Update available";
}

std::vector<std::string> firmware_update_captions(const std::vector<FirmwareUpdate>& updates)
{
    std::vector<std::string> captions;
    for (const auto& update : updates) {
        if (update.note) {
            captions.push_back(*update.note);
        }
        if (!update.prerequisites.empty()) {
            captions.push_back(fmt::format("Before installing: {}", fmt::join(update.prerequisites, ", ")));
        }
    }
    return captions;
}

std::optional<ValueRow> install_state_row(const FirmwareInstallProgress& progress)
{
    if (std::holds_alternative<FirmwareInstallProgress::Progress>(progress.value)) {
        return ValueRow{"Status", "Installing"};
    }
    if (const auto* finished = std::get_if<FirmwareInstallProgress::Finished>(&progress.value)) {
        return ValueRow{"Installation",
                        finished->restart_required ? "Installed \u00b7 restart required" : "Installed successfully"};
    }
    return std::nullopt;
}

std::vector<HistoryRow> firmware_history_rows(const Result<std::vector<FirmwareHistoryEntry>>& history)
{
    std::vector<HistoryRow> rows;
    if (!history) {
        return rows;
    }
    for (const auto& entry : *history) {
        if (rows.size() == max_history_rows) {
            break;
        }
        std::string value;
        if (entry.previous_version && entry.new_version) {
            value = fmt::format("{} \u2192 {} \u00b7 {}", *entry.previous_version, *entry.new_version, entry.text);
        } else if (entry.new_version) {
            value = fmt::format("{} \u00b7 {}", *entry.new_version, entry.text);
        } else {
            value = entry.text;
        }
        rows.push_back(HistoryRow{
            .row = {entry.device, std::move(value)},
            .caption = entry.error ? std::optional(fmt::format("fwupd error: {}", *entry.error)) : std::nullopt,
        });
    }
    return rows;
}

std::string rollback_health(const UpdateServiceStatus& status)
{
    return status.protection.empty() ? std::string("Not reported") : status.protection;
}

std::string release_notes_value(const UpdateServiceStatus& status)
{
    return status.release_notes.value_or("The image does not publish a documentation URL");
}

std::vector<std::string> journal_captions(const UpdateServiceStatus& status)
{
    if (status.journal_lines.empty()) {
        return {"No bootc update-service history is available in the system journal."};
    }
    return status.journal_lines;
}

RollbackCard rollback_confirmation_view(const RollbackStatus& rollback, bool review_open)
{
    RollbackCard card;
    card.texts.emplace_back("Go back to the previous image");
    if (!rollback) {
        // Not known is not "none": the machine may well keep a previous image that this user cannot see.
        card.texts.push_back(fmt::format("The image status could not be read: {}", rollback.error()));
        card.texts.emplace_back("Whether this machine keeps a previous image is not known here, so no rollback is "
                                "offered on this page.");
        return card;
    }
    const std::optional<std::string>& previous = *rollback;
    if (!previous) {
        card.texts.emplace_back("There is no previous image on this machine yet.");
        card.texts.emplace_back("One appears after the first update. Until then the only way back is a reinstall, "
                                "which is why this says so instead of showing a control that would fail.");
        return card;
    }
    if (!review_open) {
        card.texts.push_back(fmt::format("Previous image: {}", *previous));
        card.texts.emplace_back("Rolling back makes the previous image the one this machine boots. Nothing is "
                                "deleted \u2014 the image you are on now stays on the disk and in the boot menu.");
        card.texts.emplace_back(rollback_button.label);
        card.button = RollbackCard::Button::Review;
        return card;
    }
    card.texts.push_back(fmt::format("Roll back to {}?", *previous));
    card.texts.emplace_back("The system image reverts \u2014 its programs, the compositor, the apps that ship with it.");
    card.texts.emplace_back("Your files and app data do NOT revert. Workspaces, documents, keys and downloads are "
                            "shared by every image on this disk, so a rollback neither restores them nor loses them.");
    card.texts.emplace_back("Apps you installed yourself do NOT revert either, and one built for a newer system can "
                            "stop launching until you reinstall it or roll forward again.");
    card.texts.emplace_back(rollback_confirm_button.label);
    card.button = RollbackCard::Button::Confirm;
    return card;
}

std::array<std::string_view, 2> updates_intro_paragraphs()
{
    return {"Vorn updates are atomic: a new image is staged and applied on restart, so an update never "
            "half-installs.",
            "If a new image fails to reach a login screen three times in a row, this machine goes back to the "
            "previous one by itself. If there is nothing to go back to, it starts in Repair Mode instead of leaving "
            "you at a black screen \u2014 choose it from the boot menu at any time."};
}

}  // namespace settings::panes::updates
