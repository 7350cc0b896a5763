#pragma once
// The device-local operation runner: runs one Settings operation of the fourteen device-local kinds
// ("settings.power-operation", ...) at a time.
//
// start() refuses a second operation while one is running, decodes the payload, switches the window to the page
// that owns the operation, checks the request against the live system, and then either applies it itself (input
// preferences, keyboard sources, time) or hands it to the owning page through the operation-request cell (the
// Devices & Sync page through its own cell). Progress goes through the operation-status cell:
//
//   start (handed over)  Running{key} ........ page: Done/Failed{key, message} ... poll: reports it, Idle
//   start (applied)      Running{key}, Done/Failed{key, message} at once ....... poll: reports it, Idle
//
// After an operation it applied itself the runner rebuilds the sidebar and the page (RunnerHost::refresh_page), so
// that the visible page shows the changed preference. The Mouse & Keyboard page also follows the status cell, so a
// change made while it stays open shows at its next sync.
//
// A running operation always ends: a poll with the cancel flag ends it ("operation cancelled"); each operation has
// a deadline after which the poll reports "operation timed out" (a start after the deadline ends the stuck
// operation instead of being refused); and replacing the page that holds it fails it ("the page was closed before
// the operation finished"). Replacing the page also clears a request the page never took, so that it is not run
// when the page is next opened.
//
// Everything runs on the UI thread. The object owns its three cells; the application object hands shared
// references to them to the pages it builds.

#include "operations/cells.hpp"

#include "sections/section.hpp"

#include "actions/payloads/checks.hpp"
#include "vorn_ui/resource_ops.hpp"

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace settings::operations {

// What the runner needs of the application object.
class RunnerHost {
public:
    RunnerHost() = default;
    RunnerHost(const RunnerHost&) = delete;
    RunnerHost& operator=(const RunnerHost&) = delete;
    virtual ~RunnerHost() = default;

    // Switches the window to the section. When the section changes the page is rebuilt, and the application calls
    // DeviceLocalRunner::page_replaced().
    virtual void select_section(Section section) = 0;
    // Rebuilds the sidebar and the page, so that the visible page shows a preference the runner changed.
    virtual void refresh_page() = 0;
};

struct RunnerOptions {
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How long an operation may run before it is reported as timed out.
    std::chrono::milliseconds deadline{std::chrono::minutes(2)};
    // The same for image updates and local model packages, which download.
    std::chrono::milliseconds long_deadline{std::chrono::minutes(35)};
    // steady_clock::now when empty.
    Clock clock;
    // The installed keyboard input sources; the system's layout catalogue when empty.
    actions::KeyboardLayoutCatalogue keyboard_layouts;
    // What the storage checks look at; the machine's (live_storage_state) when empty.
    std::function<actions::StorageLiveState()> storage_state;
};

class DeviceLocalRunner {
public:
    static constexpr std::string_view effect_only_message = "device-local settings commands must be effect operations";
    static constexpr std::string_view busy_message = "another device-local Settings operation is still running";
    static constexpr std::string_view timed_out_message = "operation timed out";
    static constexpr std::string_view cancelled_message = "operation cancelled";
    static constexpr std::string_view page_closed_message = "the page was closed before the operation finished";
    // The code of a failed device-local operation in a poll report.
    static constexpr std::string_view failure_code = "device_local_operation_failed";

    explicit DeviceLocalRunner(RunnerHost& host, RunnerOptions options = {});
    DeviceLocalRunner(const DeviceLocalRunner&) = delete;
    DeviceLocalRunner& operator=(const DeviceLocalRunner&) = delete;

    // The cells the pages share.
    [[nodiscard]] const OperationRequestCell& operation_requests() const { return requests_; }
    [[nodiscard]] const OperationStatusCell& operation_status() const { return status_; }
    [[nodiscard]] const DeviceMeshRequestCell& mesh_requests() const { return mesh_requests_; }

    // Whether the kind is one of the fourteen device-local kinds.
    [[nodiscard]] static bool handles_kind(std::string_view kind);

    // Starts one operation: Pending (accepted; its outcome comes through poll() under `id`), Failed {message} or
    // NotHandled (a kind that is not device-local). Never Completed.
    [[nodiscard]] vorn_ui::ResourceOperationStart start(const vorn_ui::OperationId& id, vorn_ui::OperationClass cls,
                                                        std::string_view kind, std::string_view payload);

    // Whether a poll for `id` is the runner's to answer.
    [[nodiscard]] bool owns(const vorn_ui::OperationId& id) const;
    // The report for `id` once the operation has ended, absent before (and for ids the runner does not own).
    [[nodiscard]] std::optional<vorn_ui::OperationCompletion> poll(const vorn_ui::OperationId& id, bool cancel);

    // Whether an accepted operation has not yet been reported.
    [[nodiscard]] bool in_flight() const { return in_flight_.has_value(); }
    // The key of that operation.
    [[nodiscard]] std::optional<std::string> finished_operation_kind() const;

    // The application replaced the page (a section change or a rebuild): a request the page did not take is
    // cleared, and an operation the page was running fails.
    void page_replaced();

private:
    struct InFlight {
        vorn_ui::OperationId id;
        std::string key;
        std::chrono::steady_clock::time_point deadline;
        bool handed_over = false;
    };

    vorn_ui::ResourceOperationStart run(std::string_view kind, std::string_view payload, bool& handed_over,
                                        std::string& key);
    template <class Operation>
    vorn_ui::ResourceOperationStart hand_over(const Operation& operation, const actions::CheckResult& checked,
                                              std::string& key);
    vorn_ui::ResourceOperationStart publish_operation_result(std::string key,
                                                             const std::expected<std::string, std::string>& outcome);

    // Ends the running operation without its page: clears the request cells and sets the status to Idle.
    void abandon();
    void remember_unreported(vorn_ui::OperationCompletion report);
    [[nodiscard]] std::chrono::steady_clock::time_point now() const;

    RunnerHost& host_;
    RunnerOptions options_;
    OperationRequestCell requests_{std::nullopt};
    OperationStatusCell status_{OperationStatus::idle()};
    DeviceMeshRequestCell mesh_requests_{std::nullopt};
    std::optional<InFlight> in_flight_;
    // Operations that ended while nobody polled them (a later start ended them at their deadline); each is
    // reported once to a later poll of its id.
    std::deque<vorn_ui::OperationCompletion> unreported_;
};

}  // namespace settings::operations
