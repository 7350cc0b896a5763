#pragma once
// The Power page without its widgets: the battery (or the mains power source), the power devices, the charge cap,
// the power profile, the idle timeouts and what the lid, the power key and a critical battery do.
//
// Nothing slow runs on the UI thread. One-shot workers read and change the machine and hand their one result back
// through a channel that sync() looks at without waiting; each wakes the UI loop when it ends:
//   "vorn-battery"      the battery, the power devices, the charge capability and the battery history;
//   "vorn-profiles"     the active and available power profiles;
//   "vorn-profile-set"  a profile change (power-profiles-daemon may ask polkit first);
//   "vorn-charge-cap"   a charge-cap change, read back from the hardware.
// Until its own readings arrive, the page shows those of the last Power page of this process (LastReadings), or a
// "Loading…" line. The timeouts and actions are the settings file's "power" section, read when the page opens and
// saved through one function (Environment::save_prefs).
//
// Every control value lives in the page document under the keys of power_settings.hpp, whether a control or an
// operation of kind "settings.power-operation" wrote it; sync() compares the document with what is in force and
// carries out what differs. With the application's cells, the page takes its requests from the request cell into
// its own document, acts only on the change that equals the running operation (compared by the whole request text)
// and puts everything else back to what is in force. Every request it takes ends Done or Failed with a sentence:
// also one asking for what is already in effect ("Balanced is already active."), one whose value the page does not
// know (the runner's words) and one waiting for a worker when the page closes. A change that fails is put back in
// the document (the profile, the charge cap, a timeout or action that could not be saved), so nothing is retried
// by itself.
//
//   PowerModel model({});                        // the machine's backends, real workers, the settings file
//   model.use_operation_requests(app.requests);
//   model.use_operation_status(app.status);
//   every frame: model.sync(document); if (model.take_structure_dirty()) rebuild the cards (power_cards.hpp)

#include "panes/power/power_backend.hpp"
#include "panes/power/power_settings.hpp"

#include "actions/payloads/system.hpp"
#include "operations/cells.hpp"
#include "page_doc/page_doc.hpp"
#include "page_workers/one_shot.hpp"
#include "vorn_ui/state.hpp"

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::power {

using actions::PowerOperation;

// ---- Sentences -----------------------------------------------------------------------------------------------------

inline constexpr std::string_view loading_text = "Loading\u2026";
inline constexpr std::string_view profile_not_supported_text = "Power profile is not supported by this device.";
inline constexpr std::string_view cap_unavailable_text = "battery charge-cap control is unavailable on this device";
inline constexpr std::string_view page_closed_text = "The Power page closed before the change was confirmed.";

[[nodiscard]] std::string profile_active_text(PowerProfile profile);         // "{} is now active."
[[nodiscard]] std::string profile_unsupported_notice(std::string_view label);  // "{} is not supported by this device."
[[nodiscard]] std::string profile_failed_text(std::string_view error);       // "Could not change the power profile: {}"
[[nodiscard]] std::string cap_confirmed_notice(std::uint32_t percent);       // "Hardware confirmed a {}% charge cap."
[[nodiscard]] std::string cap_confirmed_outcome(std::uint32_t percent);      // "hardware confirmed a {}% charge cap"
[[nodiscard]] std::string cap_failed_text(std::string_view error);           // "Charge cap was not applied: {}"
[[nodiscard]] std::string prefs_not_saved_text(std::string_view error);      // "Power preference was not saved: {}"
// What a change of a timeout or an action says once saved ("Screen blank timeout saved.", "Power Saver suspend
// timeout saved.", "Lid-close action saved.", ...).
[[nodiscard]] std::string saved_text(const PowerOperation& operation);
// What a request for what is already in effect is answered with ("Screen blank timeout is already set to Never.").
[[nodiscard]] std::string already_text(const PowerOperation& operation);
// The runner's words for a value no table of the page knows; none when the value is one the page knows.
[[nodiscard]] std::optional<std::string> unknown_value_text(const PowerOperation& operation);

// ---- The model -----------------------------------------------------------------------------------------------------

class PowerModel {
public:
    struct Environment {
        PowerBackends backends = PowerBackends::system();
        page_workers::StartThread start_thread = page_workers::start_detached_thread;
        std::function<prefs::PowerPrefs()> load_prefs = load_power_prefs;
        SavePowerPrefs save_prefs = save_power_prefs;
        std::shared_ptr<LastReadings> last_readings = process_readings();
    };

    // Loads the preferences and starts reading the battery and the profiles.
    explicit PowerModel(Environment environment);
    // A request still waiting for a worker is failed; late answers are dropped.
    ~PowerModel();
    PowerModel(const PowerModel&) = delete;
    PowerModel& operator=(const PowerModel&) = delete;

    // The application's request and status cells, in place of the model's own.
    void use_operation_requests(operations::OperationRequestCell cell);
    void use_operation_status(operations::OperationStatusCell cell);
    [[nodiscard]] bool shares_requests() const { return shares_requests_; }
    // The document the model works on while it takes requests (the toolkit's otherwise).
    [[nodiscard]] const page_doc::Document& document() const { return own_doc_; }
    // The document sync() works on given the toolkit's: the one the page's controls follow and write.
    [[nodiscard]] page_doc::Document& working_document(page_doc::Document& toolkit)
    {
        return shares_requests_ ? own_doc_ : toolkit;
    }

    // One pass on the UI thread; never waits. Takes in the workers' answers, writes the document from the state on
    // the first pass, takes a power request, then acts on what differs (profile, charge cap, timeouts, actions) or,
    // sharing the status cell with no operation running, puts what is in force back into the document.
    void sync(page_doc::Document& document);

    // Publishes Done (success) or Failed with the sentence when the status cell shows this operation running, by
    // its whole request text; otherwise nothing. Answers whether it published.
    bool finish_operation(const PowerOperation& operation, const std::expected<std::string, std::string>& outcome);
    // Whether a change that amounts to `operation` may be carried out now: always without the application's status
    // cell; with it, only while that very operation runs.
    [[nodiscard]] bool operation_allows(const PowerOperation& operation) const;

    // ---- What the view shows
    // None until a reading (this page's or the process's last) is known.
    [[nodiscard]] const std::optional<BatteryState>& battery() const { return battery_; }
    [[nodiscard]] const std::optional<ProfileState>& profiles() const { return profiles_; }
    // This page's own readings have arrived.
    [[nodiscard]] bool battery_read() const { return battery_read_; }
    [[nodiscard]] bool profiles_read() const { return profiles_read_; }
    // The profile in force (the first available one, or Balanced, while the service has not said).
    [[nodiscard]] PowerProfile active_profile() const { return applied_profile_; }
    // The preferences in force (what the settings file holds for this page).
    [[nodiscard]] const prefs::PowerPrefs& prefs() const { return applied_; }
    [[nodiscard]] const std::optional<std::string>& charge_cap_notice() const { return cap_notice_; }
    // The profile service's error or the last profile sentence.
    [[nodiscard]] const std::optional<std::string>& profile_notice() const { return profile_notice_; }
    // The last failed save of a timeout ("Automatic power saving") or of an action ("Power behaviour").
    [[nodiscard]] const std::optional<std::string>& saving_notice() const { return saving_notice_; }
    [[nodiscard]] const std::optional<std::string>& behaviour_notice() const { return behaviour_notice_; }
    [[nodiscard]] bool changing_profile() const { return profile_change_.has_value(); }
    [[nodiscard]] bool changing_charge_cap() const { return cap_change_.has_value(); }

    // Whether the cards must be rebuilt since the last call.
    bool take_structure_dirty();

private:
    struct ActiveRequest {
        std::string key;
        PowerOperation operation;
    };
    struct ProfileChange {
        std::string key;  // the operation the answer finishes (empty for a control change)
        PowerProfile profile;
        std::shared_ptr<page_workers::Channel<system_ops::Status>> channel;
    };
    struct CapChange {
        std::string key;
        std::uint32_t percent;
        std::shared_ptr<page_workers::Channel<system_ops::Result<ChargeCapability>>> channel;
    };
    enum class Card : std::uint8_t { Saving, Behaviour };

    void start_reads();
    void receive_battery(page_doc::Document& doc);
    void receive_profiles(page_doc::Document& doc);
    void receive_profile_change(page_doc::Document& doc);
    void receive_cap_change(page_doc::Document& doc);
    void refresh_document(page_doc::Document& doc);
    void write_applied_state(page_doc::Document& doc);

    void take_request(page_doc::Document& doc);
    void write_request(page_doc::Document& doc, const PowerOperation& operation);
    void settle_request();
    [[nodiscard]] bool waits_for_worker(const PowerOperation& operation) const;
    [[nodiscard]] bool in_effect(const PowerOperation& operation) const;
    bool finish(const std::string& key, const std::expected<std::string, std::string>& outcome);
    [[nodiscard]] std::string key_of(const PowerOperation& operation) const;

    void run_handlers(page_doc::Document& doc);
    void handle_profile(page_doc::Document& doc);
    void handle_charge_cap(page_doc::Document& doc);
    void handle_timeouts(page_doc::Document& doc);
    void handle_actions(page_doc::Document& doc);
    void handle_minutes(page_doc::Document& doc, std::string_view key, std::uint32_t prefs::PowerPrefs::*field,
                        std::string_view (*label)(std::uint32_t), bool short_table,
                        const std::function<PowerOperation(std::string)>& operation);
    void handle_action(page_doc::Document& doc, std::string_view key, PowerAction prefs::PowerPrefs::*field,
                       const std::function<PowerOperation(std::string)>& operation);
    // Saves one change of the "power" section; on failure the document shows the value in force again.
    void save_setting(page_doc::Document& doc, Card card, const PowerOperation& operation,
                      const std::function<void(prefs::PowerPrefs&)>& change,
                      const std::function<void(page_doc::Document&)>& write_back);

    Environment environment_;
    vorn_ui::WakeHandle wake_;
    operations::OperationRequestCell requests_{std::nullopt};
    operations::OperationStatusCell status_cell_{operations::OperationStatus::idle()};
    bool shares_requests_ = false;
    bool shares_status_ = false;
    page_doc::Document own_doc_;

    std::optional<BatteryState> battery_;
    std::optional<ProfileState> profiles_;
    bool battery_read_ = false;
    bool profiles_read_ = false;
    PowerProfile applied_profile_ = PowerProfile::Balanced;
    prefs::PowerPrefs applied_;
    std::optional<std::string> cap_notice_;
    std::optional<std::string> profile_notice_;
    std::optional<std::string> saving_notice_;
    std::optional<std::string> behaviour_notice_;
    bool refresh_document_ = true;
    bool structure_dirty_ = true;

    // The readers' channels; an answer left empty says the worker ended without one.
    std::shared_ptr<page_workers::Channel<std::optional<BatteryState>>> battery_channel_;
    std::shared_ptr<page_workers::Channel<std::optional<ProfileState>>> profiles_channel_;
    std::optional<ProfileChange> profile_change_;
    std::optional<CapChange> cap_change_;
    std::optional<ActiveRequest> active_;
};

}  // namespace settings::panes::power
