#include "app/platform_snapshot.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/state.hpp"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <stop_token>

namespace settings::app {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kNothingServed = std::numeric_limits<std::uint64_t>::max();

const std::shared_ptr<const PlatformState>& empty_state()
{
    static const auto empty = std::make_shared<const PlatformState>();
    return empty;
}

}  // namespace

PlatformState PlatformState::take(catalogue::CataloguePlatform& source)
{
    PlatformState state;
    state.bluetooth = source.bluetooth_devices();
    state.workspaces = source.workspaces();
    state.audio = source.audio_graph();
    state.displays = source.display_snapshot();
    state.queues = source.print_queues();
    state.jobs = source.print_jobs();
    state.screen_reader_engine = source.has_screen_reader_engine();
    state.on_screen_keyboard = source.has_on_screen_keyboard();
    state.notification_apps = source.notification_apps();
    state.installed_apps = source.installed_apps();
    state.default_kinds = source.default_app_kinds();
    state.charge = source.charge_capability();
    state.users = source.local_users();
    state.providers = source.provider_profiles();
    state.models = source.local_models();
    return state;
}

struct SnapshotPlatform::Shared {
    Shared(std::shared_ptr<catalogue::CataloguePlatform> platform, Options opts)
        : source(std::move(platform)), options(opts)
    {
    }

    std::shared_ptr<catalogue::CataloguePlatform> source;
    const Options options;
    // The latest snapshot; none before the first. Its wake handle wakes the UI loop on each publication.
    vorn_ui::LocalState<std::shared_ptr<const PlatformState>> cell{nullptr};
    // The oldest version a query was answered from since the application last looked (kNothingServed: none).
    std::atomic<std::uint64_t> served{kNothingServed};

    // Calls off the tool the worker waits for inside a query (cmd_runner::StopScope): its process group is stopped.
    std::stop_source stop_source;

    std::mutex mutex;
    std::condition_variable changed;  // a request, a snapshot, the stop, the worker's end
    bool refresh_requested = true;    // the first snapshot is taken at once
    bool busy = false;                // the worker is inside the source's queries
    bool stopping = false;
    bool exited = false;
    std::optional<Clock::time_point> taken_at;        // when the latest snapshot was taken (published or not)
    std::optional<Clock::time_point> first_deadline;  // how long requests wait for the first snapshot
};

namespace {

// The worker: one snapshot per request, until stopped. It holds `shared` (and through it the source) for as long
// as it runs, so it may outlive the SnapshotPlatform that started it.
void run_worker(const std::shared_ptr<SnapshotPlatform::Shared>& shared)
{
    ::pthread_setname_np(::pthread_self(), "catalogue-snap");
    const cmd_runner::StopScope scope(shared->stop_source.get_token());
    std::unique_lock lock(shared->mutex);
    bool warmed = false;
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->stopping || shared->refresh_requested; });
        if (shared->stopping) {
            break;
        }
        shared->refresh_requested = false;
        shared->busy = true;
        lock.unlock();

        std::optional<PlatformState> state;
        try {
            if (!warmed) {
                // The layout catalogue is read on the calling thread; loading it here first keeps that load off
                // the UI thread.
                (void)shared->source->keyboard_layouts();
                warmed = true;
            }
            state = PlatformState::take(*shared->source);
        } catch (const std::exception& error) {
            VORN_WARN("catalogue_snapshot", "the machine's state could not be read: {}", error.what());
        } catch (...) {
            VORN_WARN("catalogue_snapshot", "the machine's state could not be read");
        }
        const Clock::time_point now = Clock::now();
        const std::shared_ptr<const PlatformState> current = shared->cell.get();
        const bool differs = state && (!current || *current != *state);

        lock.lock();
        shared->busy = false;
        if (shared->stopping) {
            break;
        }
        shared->taken_at = now;
        if (differs) {
            // Refused only once the UI loop has shut down; the queries then keep the last snapshot.
            (void)shared->cell.publish(std::make_shared<const PlatformState>(std::move(*state)));
        }
        shared->changed.notify_all();
    }
    shared->exited = true;
    shared->changed.notify_all();
}

}  // namespace

SnapshotPlatform::SnapshotPlatform(std::shared_ptr<catalogue::CataloguePlatform> source, Options options)
    : source_(std::move(source)), shared_(std::make_shared<Shared>(source_, options))
{
    worker_ = std::thread([shared = shared_] { run_worker(shared); });
}

SnapshotPlatform::~SnapshotPlatform() { stop(); }

void SnapshotPlatform::refresh_soon()
{
    const std::lock_guard lock(shared_->mutex);
    if (!shared_->stopping) {
        shared_->refresh_requested = true;
        shared_->changed.notify_all();
    }
}

void SnapshotPlatform::stop()
{
    if (!worker_.joinable()) {
        return;
    }
    bool exited = false;
    {
        std::unique_lock lock(shared_->mutex);
        shared_->stopping = true;
        shared_->changed.notify_all();
        // A tool the worker waits for is stopped (SIGTERM, then SIGKILL after the kill grace), so the query returns.
        shared_->stop_source.request_stop();
        exited = shared_->changed.wait_for(lock, shared_->options.stop_wait, [&] { return shared_->exited; });
    }
    if (exited) {
        worker_.join();
    } else {
        // Inside a query that waits for something other than a tool (its tools are stopped); it ends when that
        // returns.
        VORN_INFO("catalogue_snapshot", "leaving the snapshot worker to finish its current query");
        worker_.detach();
    }
}

std::uint64_t SnapshotPlatform::version() const { return shared_->cell.version(); }

bool SnapshotPlatform::take_newer_snapshot()
{
    std::uint64_t served = shared_->served.load();
    if (served == kNothingServed || served >= version()) {
        return false;
    }
    (void)shared_->served.compare_exchange_strong(served, kNothingServed);
    return true;
}

std::shared_ptr<const PlatformState> SnapshotPlatform::latest()
{
    Shared& shared = *shared_;
    std::uint64_t version = shared.cell.version();
    std::shared_ptr<const PlatformState> state = shared.cell.get();
    const Clock::time_point now = Clock::now();
    {
        std::unique_lock lock(shared.mutex);
        if (!state && !shared.stopping) {
            // Only the first request waits, and all requests together at most `first_wait`.
            if (!shared.first_deadline) {
                shared.first_deadline = now + shared.options.first_wait;
            }
            shared.changed.wait_until(lock, *shared.first_deadline,
                                      [&] { return shared.cell.version() > 0 || shared.taken_at || shared.exited; });
            version = shared.cell.version();
            state = shared.cell.get();
        }
        const bool stale = shared.taken_at && now - *shared.taken_at > shared.options.max_age;
        if (stale && !shared.busy && !shared.refresh_requested && !shared.stopping) {
            shared.refresh_requested = true;
            shared.changed.notify_all();
        }
    }
    std::uint64_t served = shared.served.load();
    while (version < served && !shared.served.compare_exchange_weak(served, version)) {
    }
    return state ? state : empty_state();
}

// ---- CataloguePlatform -------------------------------------------------------------------------------------------

prefs::SettingsFile SnapshotPlatform::settings_file() { return source_->settings_file(); }

std::span<const keyboard_layouts::KeyboardLayout> SnapshotPlatform::keyboard_layouts()
{
    return source_->keyboard_layouts();
}

std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> SnapshotPlatform::display_snapshot()
{
    return latest()->displays;
}

sound_graph::audio::AudioGraph SnapshotPlatform::audio_graph() { return latest()->audio; }

std::optional<system_ops::battery::ChargeCapability> SnapshotPlatform::charge_capability()
{
    return latest()->charge;
}

catalogue::Listed<system_ops::bluez::BluetoothDevice> SnapshotPlatform::bluetooth_devices()
{
    return latest()->bluetooth;
}

catalogue::Listed<system_ops::printing::PrintQueue> SnapshotPlatform::print_queues() { return latest()->queues; }

catalogue::Listed<system_ops::printing::PrintJob> SnapshotPlatform::print_jobs() { return latest()->jobs; }

catalogue::Listed<catalogue::LocalUser> SnapshotPlatform::local_users() { return latest()->users; }

std::vector<catalogue::Workspace> SnapshotPlatform::workspaces() { return latest()->workspaces; }

std::vector<catalogue::AppEntry> SnapshotPlatform::notification_apps() { return latest()->notification_apps; }

std::vector<catalogue::AppEntry> SnapshotPlatform::installed_apps() { return latest()->installed_apps; }

std::vector<catalogue::DefaultAppKind> SnapshotPlatform::default_app_kinds() { return latest()->default_kinds; }

std::vector<model_providers::ProviderProfile> SnapshotPlatform::provider_profiles() { return latest()->providers; }

catalogue::LocalModelSnapshot SnapshotPlatform::local_models() { return latest()->models; }

bool SnapshotPlatform::has_screen_reader_engine() { return latest()->screen_reader_engine; }

bool SnapshotPlatform::has_on_screen_keyboard() { return latest()->on_screen_keyboard; }

}  // namespace settings::app
