#include "operations/live_state.hpp"

#include "desk_rules/storage.hpp"
#include "synced_files/storage_client.hpp"
#include "system_ops/battery.hpp"
#include "system_ops/bluez.hpp"
#include "system_ops/network.hpp"
#include "system_ops/printing.hpp"
#include "system_ops/time.hpp"
#include "system_ops/tool_intent.hpp"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <utility>

namespace settings::operations {

namespace hw = config_sections::hardware;

actions::NetworkLiveState live_network_state()
{
    return {.wired_available = []() -> std::expected<bool, std::string> {
        auto wired = system_ops::network::get_wired();
        if (!wired) {
            return std::unexpected(std::move(wired.error()));
        }
        return wired->has_value();
    }};
}

actions::BluetoothLiveState live_bluetooth_state()
{
    return {.devices = []() -> std::expected<std::vector<actions::BluetoothDevice>, std::string> {
        auto devices = system_ops::bluez::devices();
        if (!devices) {
            return std::unexpected(std::move(devices.error()));
        }
        std::vector<actions::BluetoothDevice> out;
        out.reserve(devices->size());
        for (auto& device : *devices) {
            out.push_back({.path = std::move(device.path), .paired = device.paired, .connected = device.connected});
        }
        return out;
    }};
}

actions::PowerLiveState live_power_state()
{
    return {.charge_limit_percentages = []() -> std::optional<std::vector<std::uint32_t>> {
        auto capability = system_ops::battery::charge_capability();
        if (!capability) {
            return std::nullopt;
        }
        return std::move(capability->supported_percentages);
    }};
}

actions::PrinterLiveState live_printer_state()
{
    return {
        .queues = []() -> std::expected<std::vector<actions::PrinterQueue>, std::string> {
            auto queues = system_ops::printing::queues();
            if (!queues) {
                return std::unexpected(std::move(queues.error()));
            }
            std::vector<actions::PrinterQueue> out;
            out.reserve(queues->size());
            for (auto& queue : *queues) {
                out.push_back({.name = std::move(queue.name),
                               .paused = queue.state == system_ops::printing::QueueState::Paused});
            }
            return out;
        },
        .job_ids = []() -> std::expected<std::vector<std::string>, std::string> {
            auto jobs = system_ops::printing::jobs();
            if (!jobs) {
                return std::unexpected(std::move(jobs.error()));
            }
            std::vector<std::string> out;
            out.reserve(jobs->size());
            for (auto& job : *jobs) {
                out.push_back(std::move(job.id));
            }
            return out;
        },
    };
}

actions::TimeDateLiveState live_time_state()
{
    return {.timezones = [] { return system_ops::time::list_timezones(); }};
}

actions::StorageLiveState live_storage_state()
{
    using system_ops::tool_intent::Tool;
    return {
        .cache_to_clean =
            [] {
                const auto cache = desk_rules::storage::StorageRoots::discover().cache_root;
                std::error_code error;
                return cache && std::filesystem::directory_iterator(*cache, error) !=
                                    std::filesystem::directory_iterator();
            },
        .sync_service_running = [] { return synced_files::storage::service_socket_present(); },
        .disks_installed = [] { return system_ops::tool_intent::is_installed(Tool::Disks); },
        .backups_installed = [] { return system_ops::tool_intent::is_installed(Tool::Backups); },
    };
}

actions::AudioLiveState audio_live_state(const sound_graph::audio::AudioGraph& graph)
{
    actions::AudioLiveState state;
    const auto ids = [](const auto& items) {
        std::vector<std::uint32_t> out;
        out.reserve(items.size());
        for (const auto& item : items) {
            out.push_back(item.id);
        }
        return out;
    };
    state.outputs = ids(graph.sinks);
    state.inputs = ids(graph.sources);
    state.playback_streams = ids(graph.playback_streams);
    state.recording_streams = ids(graph.recording_streams);
    for (const auto& device : graph.devices) {
        actions::AudioDevice entry{.id = device.id, .profiles = {}};
        for (const auto& profile : device.profiles) {
            entry.profiles.push_back({.index = profile.index, .available = profile.available});
        }
        state.devices.push_back(std::move(entry));
    }
    return state;
}

actions::LiveOutput live_output(const hw::OutputDescriptor& output)
{
    actions::LiveOutput live;
    for (const auto& mode : output.modes) {
        live.modes.push_back({.mode = {.width = mode.width, .height = mode.height, .refresh_mhz = mode.refresh_mhz},
                              .label = mode.label()});
    }
    live.color_profiles = output.color_profiles;
    // Every profile the catalogue describes, as the Displays page labels it and reads it back.
    for (const auto& [id, description] : output.color_profile_catalogue) {
        if (auto label = output.color_profile_label(id)) {
            live.color_profile_labels.push_back(std::move(*label));
        }
    }
    live.hdr = output.hdr_supported;
    live.vrr = output.vrr_supported;
    return live;
}

std::expected<actions::LiveOutput, std::string> find_live_output(
    const std::expected<hw::DisplayHardwareSnapshot, std::string>& snapshot, std::string_view connector)
{
    if (!snapshot) {
        return std::unexpected("live display capabilities are unavailable");
    }
    const hw::OutputDescriptor* output = snapshot->find(connector);
    if (output == nullptr) {
        return std::unexpected("display output is no longer available");
    }
    return live_output(*output);
}

actions::DisplayLiveState display_live_state(std::expected<hw::DisplayHardwareSnapshot, std::string> snapshot)
{
    auto shared = std::make_shared<const std::expected<hw::DisplayHardwareSnapshot, std::string>>(std::move(snapshot));
    return {.find_output = [shared](std::string_view connector) { return find_live_output(*shared, connector); }};
}

}  // namespace settings::operations
