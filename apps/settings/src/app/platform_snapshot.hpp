#pragma once
// SnapshotPlatform: what the resource tree knows of the machine, taken by a worker thread so that the UI thread
// never waits for a system tool.
//
// The resource tree is asked for on the UI thread: automation's whole-tree and address requests, the toolkit's
// check of every bound control after a page change and of every control invocation, and the page bindings built
// with a page. Each of those builds sections that query the machine (pw-dump, bluetoothctl, lpstat, the display
// probe, the desktop entries, ...), each query bounded only by the command runner's time limit. The application
// object puts a SnapshotPlatform in place of the catalogue's current platform; it answers every query from the
// latest snapshot, which its worker thread takes from the real platform:
//
//   - at start, again when a request finds the snapshot older than `max_age` (the request is answered at once from
//     the snapshot it has; the next one sees the new state), and when refresh_soon() says that an operation changed
//     the machine;
//   - the settings file (the user's own small file, which a set-setting action has just written) and the keyboard
//     layout catalogue (static data, loaded once per process) are read on the calling thread, as before;
//   - a request made before the first snapshot exists waits for it at most `first_wait`, once (later requests do
//     not wait); without a snapshot by then it is answered as a machine without objects (no displays, audio
//     devices, Bluetooth devices, printers, users, ...), and take_newer_snapshot() tells the application to check
//     its controls again when the snapshot arrives;
//   - a snapshot that differs from the previous one is published through a state cell, which wakes the UI loop.
//
// The contract itself is unchanged: the same builders make the same ids, actions and texts; only where the
// machine's state comes from differs.
//
// Shut-down: stop() (also run by the destructor) ends the worker. An idle worker is joined at once. A worker inside
// a system query has the tool it waits for stopped through the command runner (its process group, within the kill
// grace), so the query returns and the worker is joined. Only a query that waits for something else is given
// `stop_wait` to finish and is then left to end on its own: it owns everything it still touches (the source
// platform, its state), publishes nothing more, and ends as soon as the query returns.
//
//   auto snapshot = std::make_shared<SnapshotPlatform>(std::make_shared<catalogue::SystemPlatform>());
//   catalogue::replace_current_platform(snapshot);     // the section builders now ask the snapshot
//   ...
//   snapshot->refresh_soon();                          // an operation changed the machine

#include "actions/catalogue/platform.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

namespace settings::app {

namespace catalogue = actions::catalogue;

// Everything a snapshot holds: the answers of one CataloguePlatform, but for the settings file and the layout
// catalogue.
struct PlatformState {
    std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> displays =
        config_sections::hardware::DisplayHardwareSnapshot{};
    sound_graph::audio::AudioGraph audio;
    std::optional<system_ops::battery::ChargeCapability> charge;
    catalogue::Listed<system_ops::bluez::BluetoothDevice> bluetooth = std::vector<system_ops::bluez::BluetoothDevice>{};
    catalogue::Listed<system_ops::printing::PrintQueue> queues = std::vector<system_ops::printing::PrintQueue>{};
    catalogue::Listed<system_ops::printing::PrintJob> jobs = std::vector<system_ops::printing::PrintJob>{};
    catalogue::Listed<catalogue::LocalUser> users = std::vector<catalogue::LocalUser>{};
    std::vector<catalogue::Workspace> workspaces;
    std::vector<catalogue::AppEntry> notification_apps;
    std::vector<catalogue::AppEntry> installed_apps;
    std::vector<catalogue::DefaultAppKind> default_kinds;
    std::vector<model_providers::ProviderProfile> providers;
    catalogue::LocalModelSnapshot models;
    bool screen_reader_engine = false;
    bool on_screen_keyboard = false;

    // Asks every query of `source` once, in the order of the sidebar's sections.
    [[nodiscard]] static PlatformState take(catalogue::CataloguePlatform& source);
    friend bool operator==(const PlatformState&, const PlatformState&) = default;
};

class SnapshotPlatform final : public catalogue::CataloguePlatform {
public:
    struct Options {
        std::chrono::milliseconds max_age = std::chrono::seconds(3);
        std::chrono::milliseconds first_wait = std::chrono::milliseconds(50);
        // A query that a busy machine makes slow usually ends within this; only a hanging tool is left behind.
        std::chrono::milliseconds stop_wait = std::chrono::seconds(2);
    };

    // Starts the worker, which takes the first snapshot at once.
    explicit SnapshotPlatform(std::shared_ptr<catalogue::CataloguePlatform> source)
        : SnapshotPlatform(std::move(source), Options{})
    {
    }
    SnapshotPlatform(std::shared_ptr<catalogue::CataloguePlatform> source, Options options);
    ~SnapshotPlatform() override;
    SnapshotPlatform(const SnapshotPlatform&) = delete;
    SnapshotPlatform& operator=(const SnapshotPlatform&) = delete;

    // Asks the worker for a new snapshot (the machine changed); never blocks.
    void refresh_soon();
    // Ends the worker (see Shut-down above); later queries answer from the last snapshot. Idempotent.
    void stop();

    // The number of snapshots published so far (a snapshot equal to the previous one is not published).
    [[nodiscard]] std::uint64_t version() const;
    // Whether a query was answered from an older snapshot (or from none) than the latest one since the last call:
    // what was built from it, such as the availability of the page's controls, should be checked again.
    [[nodiscard]] bool take_newer_snapshot();
    [[nodiscard]] const std::shared_ptr<catalogue::CataloguePlatform>& source() const { return source_; }

    // ---- CataloguePlatform ----
    prefs::SettingsFile settings_file() override;
    std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> display_snapshot() override;
    sound_graph::audio::AudioGraph audio_graph() override;
    std::optional<system_ops::battery::ChargeCapability> charge_capability() override;
    catalogue::Listed<system_ops::bluez::BluetoothDevice> bluetooth_devices() override;
    catalogue::Listed<system_ops::printing::PrintQueue> print_queues() override;
    catalogue::Listed<system_ops::printing::PrintJob> print_jobs() override;
    std::span<const keyboard_layouts::KeyboardLayout> keyboard_layouts() override;
    catalogue::Listed<catalogue::LocalUser> local_users() override;
    std::vector<catalogue::Workspace> workspaces() override;
    std::vector<catalogue::AppEntry> notification_apps() override;
    std::vector<catalogue::AppEntry> installed_apps() override;
    std::vector<catalogue::DefaultAppKind> default_app_kinds() override;
    std::vector<model_providers::ProviderProfile> provider_profiles() override;
    catalogue::LocalModelSnapshot local_models() override;
    bool has_screen_reader_engine() override;
    bool has_on_screen_keyboard() override;

    struct Shared;  // what the worker and the queries share; the worker co-owns it

private:
    // The latest snapshot (an empty machine before the first), noting which one answered.
    [[nodiscard]] std::shared_ptr<const PlatformState> latest();

    std::shared_ptr<catalogue::CataloguePlatform> source_;
    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};

}  // namespace settings::app
