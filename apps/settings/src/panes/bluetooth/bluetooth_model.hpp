#pragma once
// What the Bluetooth page keeps and decides, apart from its widgets: the adapter's power and discovery, the device
// list, the status sentence, the open details, the removal waiting for its confirmation and the pairing under way;
// the page document's keys; and the handling of presses and of the device-local operations the application hands
// the page, with every sentence and outcome.
//
// Document keys. A press is a boolean a button sets to true; the model writes false before acting on it, so each
// press acts once.
//
//   "bluetooth.enabled"                   requested adapter power (the power toggle)
//   "bluetooth.scan"                      press: start or stop discovery ("Find devices" / "Stop discovery")
//   "bluetooth.refresh"                   press: read the devices again
//   "bluetooth.device.<key>.<verb>"       per device, <key> from bluetooth_device_key(path); verbs "pair", "cancel",
//                                         "connect", "disconnect", "details", "rename", "forget" (presses),
//                                         "trusted" (requested trust) and "alias" (a Text object: the name typed)
//
// Every backend call runs on the workers (BluetoothWorkers); sync() hands work over and takes the answers that have
// arrived, never waiting. Until the first reading of the adapter and devices is in, the model is loading: presses
// wait in the document and operations wait in their cell.
//
// Operations (BluetoothOperation) are taken from the request cell and written into the document as the press or
// value the matching control writes, so an operation and a click take one path. The outcome is published into the
// status cell only while it holds Running with exactly that operation's key. Every operation taken is answered:
// one for a device that is not listed fails at once with "Bluetooth device is no longer available", a power change
// to the state already in force is done at once, and a pairing asked for while another runs fails at once.
//
// The page's own buttons act whenever pressed; the status cell decides only whether an outcome is published. The
// power toggle, bound to the section's "bluetooth" action, is the exception once the status cell is shared: it
// changes the radio only while its SetPowered operation runs, and is put back otherwise.
//
// A device that appears in the list (first listed, or listed again after it was gone) gets its keys written afresh
// (presses false, trust as it is, an empty alias), so a press left for a device that went away never fires when it
// comes back.

#include "panes/bluetooth/bluetooth_backend.hpp"

#include "actions/payloads/connectivity.hpp"
#include "operations/cells.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/state.hpp"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::bluetooth {

using actions::BluetoothOperation;

inline constexpr std::string_view enabled_key = "bluetooth.enabled";
inline constexpr std::string_view scan_key = "bluetooth.scan";
inline constexpr std::string_view refresh_key = "bluetooth.refresh";

// The device's key in document keys and control ids: the text after the path's last "/" (the whole path when it
// has none), every "." replaced by "_".
[[nodiscard]] std::string bluetooth_device_key(std::string_view path);
// "bluetooth.device.<key>.<verb>".
[[nodiscard]] std::string bluetooth_device_widget_id(std::string_view path, std::string_view verb);

// ---- Labels and ids of the view ----

// The device's main button: "cancel" / "Cancel pairing" while it is being paired, else "disconnect" / "Disconnect"
// when paired and connected, "connect" / "Connect" when paired, "pair" / "Pair" otherwise.
struct DeviceAction {
    std::string_view verb;
    std::string_view label;
    friend bool operator==(const DeviceAction&, const DeviceAction&) = default;
};
[[nodiscard]] DeviceAction main_action(const BluetoothDevice& device, const std::optional<std::string>& pairing_device);
// "Connected", "Paired" or "Nearby", followed by " · Battery 70%" when the level is known.
[[nodiscard]] std::string state_caption(const BluetoothDevice& device);
// "-60 dBm", or none when the signal is not known.
[[nodiscard]] std::optional<std::string> signal_text(const BluetoothDevice& device);
// Whether the icon marks an audio device ("audio-headset", ...).
[[nodiscard]] bool is_audio_device(const BluetoothDevice& device);
[[nodiscard]] std::string_view discovery_label(bool scanning);           // "Stop discovery" / "Find devices"
[[nodiscard]] std::string_view empty_list_caption(bool scanning);        // "Looking for nearby devices…" / hint
[[nodiscard]] std::string_view details_label(bool expanded);             // "Less" / "Details"
[[nodiscard]] std::string_view forget_label(bool confirming);            // "Confirm forget" / "Forget…"

inline constexpr std::string_view power_toggle_id = "settings.bluetooth.toggle";
inline constexpr std::string_view power_toggle_widget_id = "bluetooth.toggle";
inline constexpr std::string_view scan_button_id = "settings.bluetooth.scan";
inline constexpr std::string_view refresh_button_id = "settings.bluetooth.refresh";
// "settings.bluetooth.<key>.<verb>" for the main button, "settings.bluetooth.<part>.<key>" for "details",
// "trusted", "rename" and "forget", "bluetooth.alias.<key>" for the alias field.
[[nodiscard]] std::string main_button_id(std::string_view path, std::string_view verb);
[[nodiscard]] std::string device_control_id(std::string_view part, std::string_view path);
[[nodiscard]] std::string alias_field_id(std::string_view path);

// ---- The model ----

// What a pairing ended with, for the device path.
struct PairingResult {
    std::string path;
    PairOutcome outcome;
};

// The adapter and its devices as read at one moment.
struct BluetoothSnapshot {
    std::vector<BluetoothDevice> devices;
    bool powered = false;
    bool scanning = false;
};

class BluetoothModel {
public:
    // Starts loading: the first reading runs on the action worker (an error there gives an empty list and both
    // flags off, as when no adapter is present).
    BluetoothModel(std::shared_ptr<BluetoothBackend> backend, BluetoothWorkers workers);
    // Starts from a known reading.
    BluetoothModel(std::shared_ptr<BluetoothBackend> backend, BluetoothWorkers workers, BluetoothSnapshot state);
    ~BluetoothModel();
    BluetoothModel(const BluetoothModel&) = delete;
    BluetoothModel& operator=(const BluetoothModel&) = delete;

    // The application's cells in place of the model's own (which nobody else sees).
    void share_operation_requests(operations::OperationRequestCell cell);
    void share_operation_status(operations::OperationStatusCell cell);
    [[nodiscard]] bool shares_requests() const { return shares_requests_; }
    [[nodiscard]] bool shares_status() const { return shares_status_; }
    [[nodiscard]] const operations::OperationRequestCell& operation_requests() const { return requests_; }
    [[nodiscard]] const operations::OperationStatusCell& operation_status() const { return status_; }

    // One pass on the UI thread over the working document: answers that arrived from the workers, keys of devices
    // that appeared, the pending operation, then the power, discovery, refresh and per-device handlers.
    void sync(page_doc::Document& doc);

    [[nodiscard]] bool loading() const { return loading_; }
    [[nodiscard]] const std::vector<BluetoothDevice>& devices() const { return devices_; }
    [[nodiscard]] bool powered() const { return powered_; }
    [[nodiscard]] bool scanning() const { return scanning_; }
    [[nodiscard]] const std::optional<std::string>& status_text() const { return status_text_; }
    [[nodiscard]] const std::optional<std::string>& expanded_device() const { return expanded_device_; }
    [[nodiscard]] const std::optional<std::string>& pending_forget() const { return pending_forget_; }
    [[nodiscard]] const std::optional<std::string>& pairing_device() const { return pairing_device_; }
    // Work handed to the workers whose answer has not been taken yet.
    [[nodiscard]] int work_in_flight() const { return in_flight_; }
    // Whether the view must be built again; clears the flag.
    bool take_structure_dirty();

    // The answers of the workers, taken by sync() on the UI thread. Shared with the work in flight, which may
    // outlive the model (its answers are then dropped).
    class Inbox;

private:
    struct Reading;
    using Answer = std::function<void(BluetoothModel&, page_doc::Document&)>;

    // Hands `work` to a worker; what it answers is applied in a later sync (or, with a worker that ran it at once,
    // before this sync ends).
    void post(const Executor& executor, std::function<Answer(BluetoothBackend&)> work);
    void take_answers(page_doc::Document& doc);

    void seed_devices(page_doc::Document& doc);
    void replay(page_doc::Document& doc);
    void apply_power(page_doc::Document& doc);
    void set_discovery(page_doc::Document& doc);
    void refresh_devices(page_doc::Document& doc);
    void run_device_action(page_doc::Document& doc);

    void start_pairing(const BluetoothDevice& device);
    void rename(page_doc::Document& doc, const BluetoothDevice& device);
    void forget(const BluetoothDevice& device);

    void apply_reading(page_doc::Document& doc, const Reading& reading);
    void handle_pairing_result(page_doc::Document& doc, const PairingResult& result);
    // Publishes Done or Failed with the message when the status cell holds Running with the operation's key.
    void finish_operation(const BluetoothOperation& operation, bool failed, const std::string& message);
    [[nodiscard]] const BluetoothDevice* find(std::string_view path) const;
    [[nodiscard]] std::string name_of(std::string_view path) const;

    std::shared_ptr<BluetoothBackend> backend_;
    BluetoothWorkers workers_;
    std::shared_ptr<Inbox> inbox_;

    std::vector<BluetoothDevice> devices_;
    bool powered_ = false;
    bool scanning_ = false;
    bool loading_ = false;
    std::optional<std::string> status_text_;
    std::optional<std::string> expanded_device_;
    std::optional<std::string> pending_forget_;
    std::optional<std::string> pairing_device_;

    operations::OperationRequestCell requests_;
    operations::OperationStatusCell status_;
    bool shares_requests_ = false;
    bool shares_status_ = false;

    bool needs_seed_ = true;
    bool list_changed_ = true;
    bool structure_dirty_ = false;
    // Device keys whose document keys have been written for the device now listed.
    std::set<std::string, std::less<>> seeded_;
    // Changes handed over whose answer is not in: the power asked for, discovery changes (and the state the last
    // one leads to), trust asked for per device path.
    std::optional<bool> power_asked_;
    int discovery_changes_ = 0;
    bool discovery_target_ = false;
    std::map<std::string, bool, std::less<>> trust_asked_;
    int in_flight_ = 0;
};

}  // namespace settings::panes::bluetooth
