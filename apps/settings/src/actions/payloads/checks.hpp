#pragma once
// Checks of decoded operations against the live state, made before anything is performed or handed to a page.
// A decoded value is never trusted to be in range: any client may send a payload.
//
// Each check answers success or the refusal sentence (a short sentence without a final period, such as
// "unsupported power profile"). Live state comes in as arguments: plain values, or functions that are called only
// when the variant needs them, so that the runner queries the system only for what it checks and tests pass
// fixtures. A query that fails with a text fails the check with that text unchanged.

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/payloads/operations.hpp"

namespace settings::actions {

using CheckResult = std::expected<void, std::string>;

// Levels are accepted when finite and 0 <= level <= 1.
bool is_unit_level(double level);

// ---- Updates -----------------------------------------------------------------------------------------------------

inline constexpr std::array<std::string_view, 3> update_schedule_labels{"System schedule", "Daily", "Weekly"};

// SetSchedule: "unsupported update schedule". Other variants pass.
CheckResult check_update_operation(const UpdateOperation& operation);

// ---- Keyboard sources and input preferences ----------------------------------------------------------------------

// One installed keyboard input source of the keyboard-layout catalogue.
struct KeyboardLayout {
    std::string id;     // the form the settings file stores, such as "us" or "de+nodeadkeys"
    std::string label;  // the display label the choices show
};
using KeyboardLayoutCatalogue = std::function<std::vector<KeyboardLayout>()>;

// The active input sources of the input preferences.
struct KeyboardSources {
    std::vector<std::string> layouts;  // in order; positions of KeyboardSourceOperation count from 0
    std::string active;                // the current layout
};

inline constexpr std::size_t max_keyboard_sources = 4;

// Checks one edit and makes it on `sources` (left unchanged when refused). Success answers the outcome sentence
// ("keyboard input source moved up"). The catalogue is read for Add only. An index is refused at any value,
// the top of its range included, where no source can move or be removed; it never wraps.
std::expected<std::string, std::string> apply_keyboard_source_operation(const KeyboardSourceOperation& operation,
                                                                        const KeyboardLayoutCatalogue& catalogue,
                                                                        KeyboardSources& sources);

struct InputLiveState {
    KeyboardLayoutCatalogue catalogue;       // read for SetActiveSource only
    std::vector<std::string> active_layouts;  // the active sources of the input preferences
};

// Levels: "input value must be between 0.0 and 1.0"; SetAccelerationProfile, SetComposeKey and SetActiveSource as
// the three functions below. Switches pass.
CheckResult check_input_operation(const InputOperation& operation, const InputLiveState& state);

// "Adaptive" → "adaptive", "Flat" → "flat"; else "unsupported acceleration profile".
std::expected<std::string, std::string> acceleration_profile_value(std::string_view label);

// The stored compose key of a label: "Disabled" → none, "Right Alt" → "ralt", "Menu" → "menu", "Caps Lock" →
// "caps", "Right Super" → "rwin", "Left Super" → "lwin"; else "unsupported compose key".
std::expected<std::optional<std::string>, std::string> compose_key_value(std::string_view label);

// The id of the catalogue entry with this label ("keyboard input source is no longer installed"), which must be
// among the active layouts ("keyboard input source is not active on this device").
std::expected<std::string, std::string> active_source_id(std::string_view label,
                                                         const std::vector<KeyboardLayout>& catalogue,
                                                         const std::vector<std::string>& active_layouts);

// The sentence an applied input change answers with ("tap to click updated").
std::string_view input_operation_done_message(const InputOperation& operation);

// ---- Time and date -----------------------------------------------------------------------------------------------

struct TimeDateLiveState {
    // The zones the system lists, or the system's error text. Read for SetTimezone only.
    std::function<std::expected<std::vector<std::string>, std::string>()> timezones;
};

// SetTimezone: "time zone is not available on this device"; a zone list that cannot be read fails with
// "could not list time zones: " and the system's text (not as a stale zone). Other variants pass.
CheckResult check_time_date_operation(const TimeDateOperation& operation, const TimeDateLiveState& state);

// ---- Power -------------------------------------------------------------------------------------------------------

inline constexpr std::array<std::string_view, 3> power_profile_labels{"Power Saver", "Balanced", "Performance"};
inline constexpr std::array<std::string_view, 6> screen_timeout_labels{"1 minute",   "5 minutes",  "10 minutes",
                                                                       "15 minutes", "30 minutes", "Never"};
inline constexpr std::array<std::string_view, 7> suspend_timeout_labels{
    "5 minutes", "10 minutes", "15 minutes", "30 minutes", "45 minutes", "1 hour", "Never"};
inline constexpr std::array<std::string_view, 4> suspend_timeout_profiles{"default", "saver", "balanced",
                                                                          "performance"};
inline constexpr std::array<std::string_view, 3> power_action_labels{"Suspend", "Lock screen", "Do nothing"};

struct PowerLiveState {
    // The charge-limit percentages the battery supports; none when there is no readable charge-cap capability.
    // Read for SetChargeLimit only.
    std::function<std::optional<std::vector<std::uint32_t>>()> charge_limit_percentages;
};

CheckResult check_power_operation(const PowerOperation& operation, const PowerLiveState& state);

// ---- Accounts ----------------------------------------------------------------------------------------------------

inline constexpr std::array<std::string_view, 4> account_kinds{"mail", "caldav", "webdav", "nextcloud"};

// Add: "unknown account kind". Other variants pass here; their checks need the account store.
CheckResult check_account_operation(const AccountOperation& operation);

// ---- Network and Bluetooth ---------------------------------------------------------------------------------------

struct NetworkLiveState {
    // Whether the system has wired networking, or the system's error text. Read for SetWiredEnabled only.
    std::function<std::expected<bool, std::string>()> wired_available;
};

// SetWiredEnabled: "wired networking is unavailable on this device". Other variants pass.
CheckResult check_network_operation(const NetworkOperation& operation, const NetworkLiveState& state);

struct BluetoothDevice {
    std::string path;
    bool paired = false;
    bool connected = false;
};

struct BluetoothLiveState {
    // The system's Bluetooth devices, or its error text. Read for the four device variants only.
    std::function<std::expected<std::vector<BluetoothDevice>, std::string>()> devices;
};

// Pair needs an unpaired device, Connect a paired and unconnected one, Disconnect a connected one, Forget a paired
// one: "Bluetooth device is no longer available", "Bluetooth device state changed; refresh and try again".
CheckResult check_bluetooth_operation(const BluetoothOperation& operation, const BluetoothLiveState& state);

// ---- Storage -----------------------------------------------------------------------------------------------------

// Cheap looks at the machine (no walk, no connection); each is called only for the variant that needs it.
struct StorageLiveState {
    std::function<bool()> cache_to_clean;        // the cache folder exists and holds something (CleanupCaches)
    std::function<bool()> sync_service_running;  // the sync-storage service's socket is there (FreeSyncedFiles)
    std::function<bool()> disks_installed;       // OpenDisks
    std::function<bool()> backups_installed;     // OpenBackups
};

// CleanupCaches: "no reclaimable application cache is available"; FreeSyncedFiles: "the sync storage service is
// not running on this device"; OpenDisks, OpenBackups: "Disks is not installed on this device", "Backups is not
// installed on this device".
CheckResult check_storage_operation(const StorageOperation& operation, const StorageLiveState& state);

// ---- Sound -------------------------------------------------------------------------------------------------------

struct AudioProfile {
    std::uint32_t index = 0;
    bool available = false;
};

struct AudioDevice {
    std::uint32_t id = 0;
    std::vector<AudioProfile> profiles;
};

// The ids of the live audio graph.
struct AudioLiveState {
    std::vector<std::uint32_t> outputs;
    std::vector<std::uint32_t> inputs;
    std::vector<std::uint32_t> playback_streams;
    std::vector<std::uint32_t> recording_streams;
    std::vector<AudioDevice> devices;  // audio hardware with its profiles
};

CheckResult check_audio_operation(const AudioOperation& operation, const AudioLiveState& state);

// ---- Displays ----------------------------------------------------------------------------------------------------

inline constexpr std::array<std::string_view, 3> night_light_warmth_labels{
    "Subtle \u00b7 4500 K", "Warm \u00b7 3700 K", "Very warm \u00b7 2800 K"};
inline constexpr std::array<std::string_view, 5> display_scale_labels{"100%", "125%", "150%", "175%", "200%"};
inline constexpr std::array<std::string_view, 4> orientation_labels{"Landscape", "Portrait right", "Upside down",
                                                                    "Portrait left"};
inline constexpr std::string_view system_default_color_profile = "System default";
// Longest position or mirror text, in bytes.
inline constexpr std::size_t max_display_label_bytes = 160;

struct LiveOutputMode {
    OutputMode mode;
    std::string label;  // the settings store's label of the mode
};

// What the live display capabilities say about one output.
struct LiveOutput {
    std::vector<LiveOutputMode> modes;
    std::vector<std::string> color_profiles;        // the output's colour-profile identifiers
    std::vector<std::string> color_profile_labels;  // the colour-profile texts the Displays page offers and reads back
    bool hdr = false;
    bool vrr = false;
};

struct DisplayLiveState {
    // The live output of a connector, or the refusal text ("display output is no longer available", "live display
    // capabilities are unavailable"). Called for the variants with a connector, before their other fields are
    // looked at.
    std::function<std::expected<LiveOutput, std::string>(std::string_view connector)> find_output;
};

CheckResult check_display_operation(const DisplayOperation& operation, const DisplayLiveState& state);

// ---- Printers ----------------------------------------------------------------------------------------------------

struct PrinterQueue {
    std::string name;
    bool paused = false;  // stopped; a ready or printing queue is not
};

struct PrinterLiveState {
    // The queues and the ids of the jobs, or the system's error text.
    std::function<std::expected<std::vector<PrinterQueue>, std::string>()> queues;
    std::function<std::expected<std::vector<std::string>, std::string>()> job_ids;
};

// SetEnabled is accepted only when it changes the queue's state (true for a paused queue, false for any other).
// A list that cannot be read fails with "could not list printers: " or "could not list print jobs: " and the
// system's text, never as a queue or job that is no longer available.
CheckResult check_printer_operation(const PrinterOperation& operation, const PrinterLiveState& state);

// ---- Devices & Sync ----------------------------------------------------------------------------------------------

inline constexpr std::array<std::string_view, 3> device_role_labels{"Personal device", "Available while active",
                                                                    "Always-on server"};
inline constexpr std::array<std::string_view, 3> replication_policy_labels{"On demand", "Workspace state",
                                                                           "Full workspace copy"};
// The service keys of SetService, in the order of the switches that send them.
inline constexpr std::array<std::string_view, 14> device_service_keys{
    "inbound_relay",
    "remote_control_relay",
    "app_serving",
    "compute",
    "continuity.enabled",
    "continuity.clipboard",
    "continuity.notifications",
    "continuity.wifi_settings",
    "continuity.media",
    "continuity.display_input",
    "continuity.file_transfer",
    "continuity.realtime_sessions",
    "continuity.typed_gamepad",
    "continuity.app_continuations",
};

struct DeviceMeshLiveState {
    std::vector<std::uint64_t> workspaces;  // the ids of the workspaces the page lists
};

CheckResult check_device_mesh_operation(const DeviceMeshOperation& operation, const DeviceMeshLiveState& state);

// ---- Agent model providers ---------------------------------------------------------------------------------------

inline constexpr std::array<std::string_view, 2> provider_protocols{"anthropic", "openai-compatible"};

struct ProviderState {
    std::string id;
    bool enabled = false;
    bool has_default_model = false;
};

struct AgentProviderLiveState {
    std::vector<ProviderState> providers;  // the stored provider configuration
};

// The refusals made before the configuration is changed: unknown provider, protocol, the required details
// (checked before the provider is looked up) and whether it can be the default. Saving and removing the stored key
// fail later, when the handler performs the change.
CheckResult check_agent_provider_operation(const AgentProviderOperation& operation,
                                           const AgentProviderLiveState& state);

}  // namespace settings::actions
