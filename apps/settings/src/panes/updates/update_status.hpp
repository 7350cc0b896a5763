#pragma once
// What the Updates page says about the running system: the operating system's name and the image staged for the
// next boot, the update service's recent journal, the release-notes address of the image, whether the machine is
// protected by an automatic rollback, and the time stamp of a check.
//
// None of these fails: a command or file that cannot be read gives the fallback described with each. Each command
// has a 10-second limit, so the page runs them on a worker.

#include "panes/updates/update_backend.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <nlohmann/json_fwd.hpp>

#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::updates {

struct OsInfo {
    std::string name;
    // What is staged for the next boot.
    std::optional<std::string> staged;
    // Why the image status could not be read (then nothing is known of a staged image).
    std::optional<std::string> image_error;
    friend bool operator==(const OsInfo&, const OsInfo&) = default;
};

struct UpdateServiceStatus {
    std::vector<std::string> journal_lines;  // at most 6
    std::optional<std::string> release_notes;  // an https address
    std::string protection;  // the rollback-protection sentence
    friend bool operator==(const UpdateServiceStatus&, const UpdateServiceStatus&) = default;
};

inline constexpr std::string_view fallback_os_name = "Vorn (Fedora bootc)";
inline constexpr std::size_t max_journal_lines = 6;
inline constexpr std::size_t max_journal_chars = 220;
inline constexpr std::size_t max_release_notes_bytes = 512;

// The first PRETTY_NAME of an os-release text (lines trimmed; the value stripped of every leading and trailing
// double quote, then single quote) that is not empty; none without one.
[[nodiscard]] std::optional<std::string> pretty_name_of(std::string_view os_release);

// What `bootc status --format json` says is staged: none when "status"/"staged" is missing or null; else the text at
// "staged"/"version", else at "staged"/"image"/"image"/"image", else "Update staged for next boot". An error for text
// that is not a JSON document.
[[nodiscard]] std::expected<std::optional<std::string>, std::string> staged_image_of(std::string_view status_json);

// The first release-notes address in a JSON value: in an object, the members "org.opencontainers.image.documentation",
// "org.opencontainers.image.url", "org.opencontainers.image.source", "documentation", "releaseNotes" in this order,
// the first whose text has the scheme "https" (exactly) and at most 512 bytes; then every member value in document
// order, recursively; in an array, its elements in order.
[[nodiscard]] std::optional<std::string> find_release_notes_url(const nlohmann::ordered_json& value);

// The lines of `journalctl` output worth showing: each cleaned of control characters and cut to 220 characters,
// kept when not blank and not journalctl's "-- No entries --"; at most the first 6.
[[nodiscard]] std::vector<std::string> journal_lines_of(std::string_view output);

// The rollback-protection sentence for the boot-confirmation timer's state and the previous image.
[[nodiscard]] std::string protection_sentence(bool confirmation_timer_enabled, const RollbackStatus& rollback);

// The probe, with the commands run through `runner` and the name read from `os_release`.
class StatusProbe {
public:
    explicit StatusProbe(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner(),
                         std::filesystem::path os_release = "/etc/os-release");

    // The name from the os-release file ("Vorn (Fedora bootc)" without one) and what bootc says is staged.
    [[nodiscard]] OsInfo os_pretty_name() const;
    // The release-notes address from bootc's status, the journal of "bootc-fetch-apply-updates.service" and the
    // protection sentence from "vorn-rollback-confirm.timer" and `rollback`, in this order.
    [[nodiscard]] UpdateServiceStatus update_service_status(const RollbackStatus& rollback) const;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
    std::filesystem::path os_release_;
};

// The date and the 24-hour clock of system_ops::time, joined by a space and trimmed; a part that cannot be read is
// empty.
[[nodiscard]] std::string clock_text();

}  // namespace settings::panes::updates
