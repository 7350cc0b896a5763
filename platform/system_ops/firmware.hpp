#pragma once
// Device firmware through fwupd's command-line client `fwupdmgr`: the devices fwupd knows, the upgrades its
// metadata offers for them, the history of past installations, refreshing the metadata and installing upgrades with
// progress reported as it happens.
//
// The free functions forward to the current FirmwareService (see current.hpp); the real one is FwupdmgrFirmware.
// Every call blocks its caller for at most its time limit, so callers on the UI thread hand them to a worker. The
// installation runs on a thread of its own and reports through an InstallEvents receiver that never blocks:
//
//   auto events = system_ops::firmware::start_firmware_install(updates, [wake] { wake.wake(); });
//   ... later, on the UI thread:
//   while (auto event = events->try_next()) { ... }
//   if (events->ended()) { ... no more events will come ... }
//
// Names and texts from fwupd are cleaned (cmd_runner::clean_text) and bounded before they reach a caller.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace system_ops::firmware {

// Longest device name kept, in bytes.
inline constexpr std::size_t max_name_bytes = 256;
// Longest note or error text kept, in characters.
inline constexpr std::size_t max_note_chars = 300;

// A device fwupd can see.
struct FirmwareDevice {
    std::string id;  // fwupd's device id (40 hexadecimal digits)
    std::string name;
    std::optional<std::string> version;
    std::string vendor;
    std::string plugin;
    std::vector<std::string> flags;  // fwupd's flag names: "updatable", "internal", "needs-reboot", ...

    [[nodiscard]] bool has_flag(std::string_view flag) const;
    friend bool operator==(const FirmwareDevice&, const FirmwareDevice&) = default;
};

// An upgrade the metadata offers for one device.
struct FirmwareUpdate {
    std::string device_id;
    std::string device;                          // the device's name
    std::optional<std::string> current_version;  // what the device runs now
    std::optional<std::string> new_version;      // what the upgrade installs
    // The vendor's message for this upgrade, else the release notes as plain text.
    std::optional<std::string> note;
    // What the user has to do before it can be installed, as short phrases ("connect the AC adapter").
    std::vector<std::string> prerequisites;

    friend bool operator==(const FirmwareUpdate&, const FirmwareUpdate&) = default;
};

// One past installation, newest first in a history.
struct FirmwareHistoryEntry {
    std::string device_id;
    std::string device;
    // What happened, always present: "Installed 2026-12-11", "Failed 2026-12-11", "Waiting for restart", ...
    std::string text;
    std::optional<std::string> previous_version;
    std::optional<std::string> new_version;
    std::optional<std::string> error;  // fwupd's error for a failed installation
    std::int64_t modified = 0;         // Unix seconds of the last change, 0 when unknown

    friend bool operator==(const FirmwareHistoryEntry&, const FirmwareHistoryEntry&) = default;
};

// What an installation reports, in this order: one Preparing, any number of Progress, then Finished or Failed.
struct InstallEvent {
    struct Preparing {
        std::size_t updates = 0;
        friend bool operator==(const Preparing&, const Preparing&) = default;
    };
    struct Progress {
        std::string text;  // "Integrated Webcam: Writing…"
        unsigned percent = 0;  // of the whole installation, 0 to 100
        friend bool operator==(const Progress&, const Progress&) = default;
    };
    struct Finished {
        bool restart_required = false;
        friend bool operator==(const Finished&, const Finished&) = default;
    };
    struct Failed {
        std::string message;
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    std::variant<Preparing, Progress, Finished, Failed> value;

    friend bool operator==(const InstallEvent&, const InstallEvent&) = default;
};

class InstallEventSender;

// The receiving end of an installation's events; unbounded, never blocks. Dropping it does not stop the
// installation (stopping a firmware write halfway could leave a device unusable): its events are then dropped.
class InstallEvents {
public:
    // A connected sender and receiver. `notify` (may be empty) is called on the sender's thread after each event
    // and when the sender goes.
    [[nodiscard]] static std::pair<InstallEventSender, InstallEvents> channel(std::function<void()> notify = {});

    // The oldest event not yet taken, if any.
    [[nodiscard]] std::optional<InstallEvent> try_next();
    // Whether the sender has gone and every event has been taken: nothing more will come.
    [[nodiscard]] bool ended() const;

    struct Shared;

private:
    explicit InstallEvents(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    std::shared_ptr<Shared> shared_;
};

// The sending end; the receiver learns that the installation is over when it goes.
class InstallEventSender {
public:
    InstallEventSender(InstallEventSender&&) noexcept = default;
    InstallEventSender& operator=(InstallEventSender&&) noexcept;
    InstallEventSender(const InstallEventSender&) = delete;
    InstallEventSender& operator=(const InstallEventSender&) = delete;
    ~InstallEventSender();

    void send(InstallEvent event);

private:
    friend class InstallEvents;
    InstallEventSender(std::shared_ptr<InstallEvents::Shared> shared, std::function<void()> notify);
    void close();
    std::shared_ptr<InstallEvents::Shared> shared_;
    std::function<void()> notify_;
};

class FirmwareService {
public:
    virtual ~FirmwareService() = default;
    [[nodiscard]] virtual Result<std::vector<FirmwareDevice>> devices() = 0;
    // The devices with an upgrade, one entry each. None to install is an empty list.
    [[nodiscard]] virtual Result<std::vector<FirmwareUpdate>> updates() = 0;
    // Newest first. No history is an empty list.
    [[nodiscard]] virtual Result<std::vector<FirmwareHistoryEntry>> history() = 0;
    // Downloads the metadata of the enabled remotes again.
    [[nodiscard]] virtual Status refresh_metadata() = 0;
    // Starts installing every upgrade of the list, one device after the other, and returns at once. An error means
    // nothing was started.
    [[nodiscard]] virtual Result<InstallEvents> start_install(std::vector<FirmwareUpdate> updates,
                                                              std::function<void()> notify) = 0;
};

[[nodiscard]] std::shared_ptr<FirmwareService> current();
std::shared_ptr<FirmwareService> replace_current(std::shared_ptr<FirmwareService> service);

[[nodiscard]] Result<std::vector<FirmwareDevice>> get_firmware_devices();
[[nodiscard]] Result<std::vector<FirmwareUpdate>> get_firmware_updates();
[[nodiscard]] Result<std::vector<FirmwareHistoryEntry>> get_firmware_history();
[[nodiscard]] Status refresh_firmware_metadata();
[[nodiscard]] Result<InstallEvents> start_firmware_install(std::vector<FirmwareUpdate> updates,
                                                           std::function<void()> notify = {});

// ---- Reading fwupdmgr's output (exposed for tests) ---------------------------------------------------------------

// `fwupdmgr get-devices --json`.
[[nodiscard]] Result<std::vector<FirmwareDevice>> parse_devices(std::string_view json);
// `fwupdmgr get-updates --json`: one entry per device with a release; the first release marked "is-upgrade" (else
// the first listed) is the one offered.
[[nodiscard]] Result<std::vector<FirmwareUpdate>> parse_updates(std::string_view json);
// `fwupdmgr get-history --json`, sorted newest first.
[[nodiscard]] Result<std::vector<FirmwareHistoryEntry>> parse_history(std::string_view json);
// The message of fwupdmgr's JSON error document ({"Error":{"Message":...}}), cleaned; none for other text.
[[nodiscard]] std::optional<std::string> json_error_message(std::string_view json);
// A release description (a small XML subset: <p>, <ul>, <li>, ...) as one line of plain text.
[[nodiscard]] std::string description_text(std::string_view markup);
// The phrase for one of fwupd's device problems ("require-ac-power" → "connect the AC adapter"); none for problems
// the user cannot act on.
[[nodiscard]] std::optional<std::string> problem_phrase(std::string_view problem);
// Whether `id` looks like a device id fwupd gave: hexadecimal digits only, 8 to 64 of them.
[[nodiscard]] bool is_device_id(std::string_view id);

// One progress line of `fwupdmgr update` ("Writing…: 40%"): the status and the percentage.
struct ProgressLine {
    std::string status;
    unsigned percent = 0;
    friend bool operator==(const ProgressLine&, const ProgressLine&) = default;
};
[[nodiscard]] std::optional<ProgressLine> parse_progress_line(std::string_view line);

// ---- The real backend ----------------------------------------------------------------------------------------------

class FwupdmgrFirmware final : public FirmwareService {
public:
    struct Options {
        std::chrono::milliseconds query_limit = std::chrono::seconds(30);
        // Downloads the metadata of every enabled remote.
        std::chrono::milliseconds refresh_limit = std::chrono::seconds(300);
        // One device's installation (download, write, verify).
        std::chrono::milliseconds install_limit = std::chrono::seconds(1800);
    };

    explicit FwupdmgrFirmware(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    FwupdmgrFirmware(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<std::vector<FirmwareDevice>> devices() override;
    Result<std::vector<FirmwareUpdate>> updates() override;
    Result<std::vector<FirmwareHistoryEntry>> history() override;
    Status refresh_metadata() override;
    // Refuses an empty list and entries without a device id fwupd gave; runs `fwupdmgr update` for one device after
    // the other on a thread named "vorn-fw-install" and then asks fwupd whether a device waits for a restart.
    Result<InstallEvents> start_install(std::vector<FirmwareUpdate> updates, std::function<void()> notify) override;

private:
    // fwupdmgr's JSON output, or its error (exit status 2, "nothing to do", gives none).
    Result<std::optional<std::string>> query(std::vector<std::string> args, std::chrono::milliseconds limit);

    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

}  // namespace system_ops::firmware
