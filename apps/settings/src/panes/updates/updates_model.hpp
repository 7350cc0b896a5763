#pragma once
// The Updates page without its widgets: what it knows of the system's image updates, policy and firmware, the page
// document its controls write, and the handling of the update operations with every sentence and outcome.
//
// Document keys (all at the document's root). A one-shot key is read by its handler, which writes false back
// before doing anything else.
//
//   "updates.check"             one-shot   check for updates (stage a new image)
//   "updates.restart"           one-shot   restart into the staged image
//   "updates.rollback"          one-shot   open the rollback review
//   "updates.rollback.confirm"  one-shot   make the previous image the one booted next
//   "updates.firmware.refresh"  one-shot   refresh the firmware metadata
//   "updates.firmware.install"  one-shot   install the listed firmware upgrades
//   "updates.auto"              boolean    automatic updates wanted
//   "updates.schedule"          text       "System schedule", "Daily" or "Weekly"
//   "updates.metered"           boolean    downloads on metered connections wanted
//
// The controls act only through operations: a control invokes its action, the application's runner publishes the
// UpdateOperation into the request cell and Running with its key into the status cell, and sync() writes the
// operation into the document as the press or value the control would write and runs the handlers on it. Between
// operations every sync writes the page's state back into the document, so a control never changes anything by
// itself. An operation is answered Done or Failed under its own key only while the status cell still shows it
// Running.
//
// Nothing here waits for a tool. Reading the system when the page opens (os-release, bootc, journalctl, systemctl,
// the policy file, fwupd), the update check, the firmware refresh and re-reading, the timer, schedule, metered,
// rollback and restart commands all run on worker threads; their answers are taken by a later sync(). Until the
// first reading is in, the model is loading() and operations wait in their cell. The firmware installation reports
// through its own event stream.
//
// Every operation taken ends: a second restart on the same page fails with its sentence, an installation whose
// event stream closes without a result fails, a worker that ends without an answer fails its operation, and an
// operation still under way when the page closes is answered Failed.
//
//   UpdatesModel model(UpdatesEnvironment::system());
//   model.share_operation_requests(app.requests);
//   model.share_operation_status(app.status);
//   every frame: model.sync(); the controls work on model.document(); rebuild the view when
//   model.take_structure_dirty() says so.

#include "panes/updates/update_backend.hpp"
#include "panes/updates/update_status.hpp"

#include "actions/payloads/system.hpp"
#include "operations/cells.hpp"
#include "page_workers/one_shot.hpp"
#include "prefs/records.hpp"

#include "page_doc/page_doc.hpp"
#include "system_ops/firmware.hpp"
#include "vorn_ui/state.hpp"

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace settings::panes::updates {

using actions::UpdateOperation;
using system_ops::firmware::FirmwareHistoryEntry;
using system_ops::firmware::FirmwareUpdate;

inline constexpr std::string_view check_key = "updates.check";
inline constexpr std::string_view restart_key = "updates.restart";
inline constexpr std::string_view rollback_key = "updates.rollback";
inline constexpr std::string_view rollback_confirm_key = "updates.rollback.confirm";
inline constexpr std::string_view firmware_refresh_key = "updates.firmware.refresh";
inline constexpr std::string_view firmware_install_key = "updates.firmware.install";
inline constexpr std::string_view auto_key = "updates.auto";
inline constexpr std::string_view schedule_key = "updates.schedule";
inline constexpr std::string_view metered_key = "updates.metered";

// The state of a firmware installation as the page shows it.
struct FirmwareInstallProgress {
    struct None {
        friend bool operator==(const None&, const None&) = default;
    };
    struct Progress {
        std::string text;
        unsigned percent = 0;  // never goes down during one installation
        friend bool operator==(const Progress&, const Progress&) = default;
    };
    struct Finished {
        bool restart_required = false;
        friend bool operator==(const Finished&, const Finished&) = default;
    };
    std::variant<None, Progress, Finished> value;
    friend bool operator==(const FirmwareInstallProgress&, const FirmwareInstallProgress&) = default;
};

using page_workers::StartThread;

// What the model reaches, all shared with its workers (so safe to call from any thread).
struct UpdatesEnvironment {
    std::shared_ptr<UpdateBackend> backend;
    std::shared_ptr<RebootControl> reboot;
    std::function<OsInfo()> os_info_source;
    std::function<UpdateServiceStatus(const RollbackStatus&)> status_source;
    std::function<std::string()> clock_source;
    // The "updates" section of the settings file, and saving it (the other sections stay as they are).
    std::function<prefs::UpdatePrefs()> load_prefs;
    std::function<system_ops::Status(const prefs::UpdatePrefs&)> save_prefs;
    StartThread start_thread = page_workers::start_detached_thread;

    // The system's own: SystemUpdateBackend, SystemRebootControl, StatusProbe, clock_text and the settings file.
    [[nodiscard]] static UpdatesEnvironment system();
};

class UpdatesModel {
public:
    // The sentence of an operation still under way when the page closes.
    static constexpr std::string_view closed_message =
        "the Updates page closed before the operation finished; the system may still complete it";

    // Starts reading the system on a worker.
    explicit UpdatesModel(UpdatesEnvironment environment);
    ~UpdatesModel();
    UpdatesModel(const UpdatesModel&) = delete;
    UpdatesModel& operator=(const UpdatesModel&) = delete;

    // The application's cells in place of the model's own.
    void share_operation_requests(operations::OperationRequestCell cell);
    void share_operation_status(operations::OperationStatusCell cell);
    [[nodiscard]] bool shares_requests() const { return shares_requests_; }
    [[nodiscard]] bool shares_status() const { return shares_status_; }
    [[nodiscard]] const operations::OperationRequestCell& operation_requests() const { return requests_; }
    [[nodiscard]] const operations::OperationStatusCell& operation_status() const { return status_; }

    // The page document the controls work on.
    [[nodiscard]] page_doc::Document& document() { return document_; }

    // One pass on the UI thread; never waits. Takes the workers' answers and the installation's events, seeds the
    // document once the first reading is in, takes an Updates operation from the request cell (or performs the
    // running one when the page has nothing under way) and runs the handlers in their fixed order: update check,
    // firmware refresh, firmware install, restart, automatic updates, schedule, metered policy, rollback.
    void sync();

    // Writes an operation into the document as its control would (every one-shot key false, the state's values,
    // then the operation's own key or value).
    void replay(const UpdateOperation& operation);

    // ---- What the view shows
    [[nodiscard]] bool loading() const { return loading_; }
    [[nodiscard]] const OsInfo& os_info() const { return os_info_; }
    [[nodiscard]] const UpdateServiceStatus& service_status() const { return service_status_; }
    [[nodiscard]] const prefs::UpdatePrefs& prefs() const { return prefs_; }
    [[nodiscard]] const prefs::UpdatePrefs& applied_prefs() const { return applied_prefs_; }
    [[nodiscard]] const std::optional<std::string>& schedule() const { return schedule_; }
    [[nodiscard]] const std::optional<bool>& timer_state() const { return timer_state_; }
    [[nodiscard]] const std::optional<bool>& metered_allowed() const { return metered_allowed_; }
    [[nodiscard]] const RollbackStatus& rollback_image() const { return rollback_image_; }
    [[nodiscard]] const std::optional<std::string>& status_line() const { return status_line_; }
    // Whether the status sentence reports a failure.
    [[nodiscard]] bool status_failed() const { return status_failed_; }
    [[nodiscard]] const Result<std::vector<FirmwareUpdate>>& firmware_updates() const { return firmware_updates_; }
    [[nodiscard]] const Result<std::vector<FirmwareHistoryEntry>>& firmware_history() const { return firmware_history_; }
    [[nodiscard]] const FirmwareInstallProgress& install_progress() const { return install_progress_; }
    [[nodiscard]] bool check_running() const { return check_slot_ != nullptr; }
    [[nodiscard]] bool refresh_running() const { return refresh_slot_ != nullptr; }
    [[nodiscard]] bool installing() const { return install_events_.has_value(); }
    [[nodiscard]] bool review_open() const { return review_open_; }
    [[nodiscard]] bool restart_attempted() const { return restart_attempted_; }
    // Whether a timer, schedule, metered, rollback or restart command runs.
    [[nodiscard]] bool changing() const { return !actions_.empty(); }
    // True while anything runs in the background, so the view keeps redrawing.
    [[nodiscard]] bool needs_redraw() const;
    // Whether the view must be rebuilt since the last call.
    bool take_structure_dirty() { return std::exchange(structure_dirty_, false); }

    // What a change worker hands back: applied to the model on the UI thread.
    using Apply = std::function<void(UpdatesModel&)>;
    // A change under way, for the operation it carries out.
    struct Action {
        UpdateOperation operation;
        std::shared_ptr<page_workers::Channel<Apply>> slot;
    };

private:
    // What the page reads of the system when it opens.
    struct LoadResult {
        OsInfo os_info;
        prefs::UpdatePrefs prefs;
        std::optional<bool> timer;
        RollbackStatus rollback;
        UpdateServiceStatus service;
        std::string schedule;
        bool metered = false;
        Result<std::vector<FirmwareUpdate>> updates;
        Result<std::vector<FirmwareHistoryEntry>> history;
    };
    // What an update check found once the update service finished.
    struct CheckReport {
        OsInfo os_info;
        RollbackStatus rollback;
        UpdateServiceStatus service;
    };
    // The firmware lists read again after an installation.
    struct FirmwareRead {
        Result<std::vector<FirmwareUpdate>> updates;
        Result<std::vector<FirmwareHistoryEntry>> history;
    };

    void start_loading();
    void apply_load(LoadResult result);
    // The reading could not be made: what is not known is shown as such.
    void load_failed(const std::string& reason);
    void receive_answers();
    void receive_install_events();
    void seed();
    // The replay's first two steps: every one-shot key false, then the state's values.
    void write_state();
    void run_handlers();
    [[nodiscard]] bool work_under_way() const;
    [[nodiscard]] bool firmware_busy() const;

    void start_update_check();
    void start_firmware_refresh();
    void install_firmware();
    void handle_restart();
    void handle_set_automatic();
    void handle_set_schedule();
    void handle_set_metered();
    void handle_rollback();

    // Runs `work` on an action worker named "vorn-update-change" for `operation`; the closure it returns is applied
    // in a later sync. A worker that cannot start or ends without an answer fails the operation.
    void post_action(UpdateOperation operation, std::function<Apply(UpdateBackend&, RebootControl&)> work);
    void start_firmware_reread();

    void set_status(std::string text, bool failure);
    void clear_status();
    void save_prefs();
    void finish_operation(const UpdateOperation& operation, std::string message);
    void fail_operation(const UpdateOperation& operation, std::string message);

    UpdatesEnvironment environment_;
    vorn_ui::WakeHandle wake_;
    page_doc::Document document_;
    operations::OperationRequestCell requests_;
    operations::OperationStatusCell status_;
    bool shares_requests_ = false;
    bool shares_status_ = false;

    bool loading_ = true;
    OsInfo os_info_;
    UpdateServiceStatus service_status_;
    prefs::UpdatePrefs prefs_;
    prefs::UpdatePrefs applied_prefs_;
    std::optional<std::string> schedule_;
    std::optional<bool> timer_state_;
    std::optional<bool> metered_allowed_;
    RollbackStatus rollback_image_ = std::unexpected(std::string("the image status has not been read yet"));
    std::optional<std::string> status_line_;
    bool status_failed_ = false;
    Result<std::vector<FirmwareUpdate>> firmware_updates_ = std::vector<FirmwareUpdate>{};
    Result<std::vector<FirmwareHistoryEntry>> firmware_history_ = std::vector<FirmwareHistoryEntry>{};
    FirmwareInstallProgress install_progress_;

    bool review_open_ = false;
    bool restart_attempted_ = false;
    bool seed_pending_ = true;
    bool structure_dirty_ = true;

    // Each worker's channel; an answer of none (the check's) or of an error (the others') stands for a worker that
    // ended without one.
    std::shared_ptr<page_workers::Channel<Result<LoadResult>>> load_slot_;
    std::shared_ptr<page_workers::Channel<std::optional<Result<CheckReport>>>> check_slot_;
    std::shared_ptr<page_workers::Channel<Result<FirmwareLists>>> refresh_slot_;
    std::shared_ptr<page_workers::Channel<FirmwareRead>> reread_slot_;
    std::optional<system_ops::firmware::InstallEvents> install_events_;
    std::vector<std::shared_ptr<Action>> actions_;
};

}  // namespace settings::panes::updates
