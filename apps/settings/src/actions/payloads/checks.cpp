#include "actions/payloads/checks.hpp"

#include "setting_tables/labels.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace settings::actions {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

template <class Range, class Value>
bool contains(const Range& range, const Value& value)
{
    return std::ranges::find(range, value) != std::ranges::end(range);
}

CheckResult refuse(std::string_view sentence)
{
    return std::unexpected(std::string(sentence));
}

CheckResult require(bool condition, std::string_view sentence)
{
    return condition ? CheckResult{} : refuse(sentence);
}

CheckResult require_level(double level, std::string_view sentence)
{
    return require(is_unit_level(level), sentence);
}

// Variants without a check.
constexpr auto pass = [](const auto&) { return CheckResult{}; };

}  // namespace

bool is_unit_level(double level)
{
    // Written so that NaN fails too.
    return std::isfinite(level) && level >= 0.0 && level <= 1.0;
}

// ---- Updates -----------------------------------------------------------------------------------------------------

CheckResult check_update_operation(const UpdateOperation& operation)
{
    using Op = UpdateOperation;
    return std::visit(Overloaded{
                          [](const Op::SetSchedule& op) {
                              return require(contains(update_schedule_labels, op.schedule),
                                             "unsupported update schedule");
                          },
                          pass,
                      },
                      operation.value);
}

// ---- Keyboard sources and input preferences ----------------------------------------------------------------------

std::expected<std::string, std::string> apply_keyboard_source_operation(const KeyboardSourceOperation& operation,
                                                                        const KeyboardLayoutCatalogue& catalogue,
                                                                        KeyboardSources& sources)
{
    using Op = KeyboardSourceOperation;
    using Outcome = std::expected<std::string, std::string>;
    auto& layouts = sources.layouts;
    const std::size_t count = layouts.size();
    return std::visit(
        Overloaded{
            [&](const Op::Add& op) -> Outcome {
                const auto entries = catalogue();
                const auto entry = std::ranges::find(entries, op.label, &KeyboardLayout::label);
                if (entry == entries.end()) {
                    return std::unexpected("keyboard input source is no longer installed");
                }
                if (contains(layouts, entry->id)) {
                    return std::unexpected("keyboard input source is already active");
                }
                if (count >= max_keyboard_sources) {
                    return std::unexpected("the maximum number of keyboard input sources is already active");
                }
                layouts.push_back(entry->id);
                sources.active = entry->id;
                return "keyboard input source added";
            },
            [&](const Op::MoveUp& op) -> Outcome {
                if (op.index == 0 || op.index >= count) {
                    return std::unexpected("keyboard input source can no longer move up");
                }
                std::swap(layouts[op.index - 1], layouts[op.index]);
                return "keyboard input source moved up";
            },
            [&](const Op::MoveDown& op) -> Outcome {
                // Not `index + 1 < count`: that wraps for the largest index.
                if (count < 2 || op.index >= count - 1) {
                    return std::unexpected("keyboard input source can no longer move down");
                }
                std::swap(layouts[op.index], layouts[op.index + 1]);
                return "keyboard input source moved down";
            },
            [&](const Op::Remove& op) -> Outcome {
                if (count < 2 || op.index >= count) {
                    return std::unexpected("keyboard input source can no longer be removed");
                }
                const auto index = static_cast<std::ptrdiff_t>(op.index);
                std::string removed = std::move(layouts[op.index]);
                layouts.erase(layouts.begin() + index);
                if (removed == sources.active) {
                    if (layouts.empty()) {
                        layouts.insert(layouts.begin() + index, std::move(removed));
                        return std::unexpected("no keyboard source remains active");
                    }
                    sources.active = layouts[std::min<std::size_t>(op.index, layouts.size() - 1)];
                }
                return "keyboard input source removed";
            },
        },
        operation.value);
}

std::expected<std::string, std::string> acceleration_profile_value(std::string_view label)
{
    if (label == "Adaptive") {
        return "adaptive";
    }
    if (label == "Flat") {
        return "flat";
    }
    return std::unexpected("unsupported acceleration profile");
}

std::expected<std::optional<std::string>, std::string> compose_key_value(std::string_view label)
{
    if (label == setting_tables::kComposeKeyDisabled) {
        return std::optional<std::string>{};
    }
    for (const auto& key : setting_tables::kComposeKeys) {
        if (key.label == label) {
            return std::optional<std::string>{std::string(key.value)};
        }
    }
    return std::unexpected("unsupported compose key");
}

std::expected<std::string, std::string> active_source_id(std::string_view label,
                                                         const std::vector<KeyboardLayout>& catalogue,
                                                         const std::vector<std::string>& active_layouts)
{
    const auto entry = std::ranges::find(catalogue, label, &KeyboardLayout::label);
    if (entry == catalogue.end()) {
        return std::unexpected("keyboard input source is no longer installed");
    }
    if (!contains(active_layouts, entry->id)) {
        return std::unexpected("keyboard input source is not active on this device");
    }
    return entry->id;
}

CheckResult check_input_operation(const InputOperation& operation, const InputLiveState& state)
{
    using Op = InputOperation;
    constexpr std::string_view level_refusal = "input value must be between 0.0 and 1.0";
    return std::visit(
        Overloaded{
            [&](const Op::SetTouchpadPointerSpeed& op) { return require_level(op.value, level_refusal); },
            [&](const Op::SetMousePointerSpeed& op) { return require_level(op.value, level_refusal); },
            [&](const Op::SetKeyRepeat& op) { return require_level(op.value, level_refusal); },
            [](const Op::SetAccelerationProfile& op) -> CheckResult {
                if (auto value = acceleration_profile_value(op.profile); !value) {
                    return std::unexpected(std::move(value.error()));
                }
                return {};
            },
            [](const Op::SetComposeKey& op) -> CheckResult {
                if (auto value = compose_key_value(op.key); !value) {
                    return std::unexpected(std::move(value.error()));
                }
                return {};
            },
            [&](const Op::SetActiveSource& op) -> CheckResult {
                if (auto id = active_source_id(op.label, state.catalogue(), state.active_layouts); !id) {
                    return std::unexpected(std::move(id.error()));
                }
                return {};
            },
            pass,
        },
        operation.value);
}

std::string_view input_operation_done_message(const InputOperation& operation)
{
    static constexpr std::array<std::string_view, std::variant_size_v<InputOperation::Variant>> messages{
        "touchpad natural scrolling updated",
        "mouse natural scrolling updated",
        "tap to click updated",
        "touchpad speed updated",
        "mouse speed updated",
        "key repeat updated",
        "tap and drag updated",
        "disable while typing updated",
        "middle-button emulation updated",
        "pointer handedness updated",
        "touchpad gestures updated",
        "pointer acceleration updated",
        "compose key updated",
        "active keyboard source updated",
    };
    return messages[operation.value.index()];
}

// ---- Time and date -----------------------------------------------------------------------------------------------

CheckResult check_time_date_operation(const TimeDateOperation& operation, const TimeDateLiveState& state)
{
    using Op = TimeDateOperation;
    return std::visit(Overloaded{
                          [&](const Op::SetTimezone& op) -> CheckResult {
                              const auto zones = state.timezones();
                              if (!zones) {
                                  return std::unexpected("could not list time zones: " + zones.error());
                              }
                              return require(contains(*zones, op.timezone),
                                             "time zone is not available on this device");
                          },
                          pass,
                      },
                      operation.value);
}

// ---- Power -------------------------------------------------------------------------------------------------------

CheckResult check_power_operation(const PowerOperation& operation, const PowerLiveState& state)
{
    using Op = PowerOperation;
    return std::visit(
        Overloaded{
            [&](const Op::SetChargeLimit& op) {
                const auto percentages = state.charge_limit_percentages();
                return require(percentages && contains(*percentages, op.percent),
                               "battery charge-cap control is unavailable on this device");
            },
            [](const Op::SetProfile& op) {
                return require(contains(power_profile_labels, op.profile), "unsupported power profile");
            },
            [](const Op::SetBlankTimeout& op) {
                return require(contains(screen_timeout_labels, op.label), "unsupported screen blank timeout");
            },
            [](const Op::SetLockTimeout& op) {
                return require(contains(screen_timeout_labels, op.label), "unsupported automatic lock timeout");
            },
            [](const Op::SetSuspendTimeout& op) -> CheckResult {
                if (!contains(suspend_timeout_labels, op.label)) {
                    return refuse("unsupported suspend timeout");
                }
                return require(contains(suspend_timeout_profiles, op.profile), "unsupported power profile timeout");
            },
            [](const Op::SetLidAction& op) {
                return require(contains(power_action_labels, op.action), "unsupported power action");
            },
            [](const Op::SetPowerKeyAction& op) {
                return require(contains(power_action_labels, op.action), "unsupported power action");
            },
            [](const Op::SetCriticalAction& op) {
                return require(contains(power_action_labels, op.action), "unsupported power action");
            },
            pass,
        },
        operation.value);
}

// ---- Accounts ----------------------------------------------------------------------------------------------------

CheckResult check_account_operation(const AccountOperation& operation)
{
    using Op = AccountOperation;
    return std::visit(Overloaded{
                          [](const Op::Add& op) {
                              return require(contains(account_kinds, op.kind), "unknown account kind");
                          },
                          pass,
                      },
                      operation.value);
}

// ---- Network and Bluetooth ---------------------------------------------------------------------------------------

CheckResult check_network_operation(const NetworkOperation& operation, const NetworkLiveState& state)
{
    using Op = NetworkOperation;
    return std::visit(Overloaded{
                          [&](const Op::SetWiredEnabled&) -> CheckResult {
                              auto available = state.wired_available();
                              if (!available) {
                                  return std::unexpected(std::move(available.error()));
                              }
                              return require(*available, "wired networking is unavailable on this device");
                          },
                          pass,
                      },
                      operation.value);
}

CheckResult check_bluetooth_operation(const BluetoothOperation& operation, const BluetoothLiveState& state)
{
    using Op = BluetoothOperation;
    // The device at `path` must be in a state that allows the command.
    const auto check_device = [&](const std::string& path, auto allows) -> CheckResult {
        auto devices = state.devices();
        if (!devices) {
            return std::unexpected(std::move(devices.error()));
        }
        const auto device = std::ranges::find(*devices, path, &BluetoothDevice::path);
        if (device == devices->end()) {
            return refuse("Bluetooth device is no longer available");
        }
        return require(allows(*device), "Bluetooth device state changed; refresh and try again");
    };
    return std::visit(Overloaded{
                          [&](const Op::Pair& op) {
                              return check_device(op.path, [](const BluetoothDevice& d) { return !d.paired; });
                          },
                          [&](const Op::Connect& op) {
                              return check_device(op.path,
                                                  [](const BluetoothDevice& d) { return d.paired && !d.connected; });
                          },
                          [&](const Op::Disconnect& op) {
                              return check_device(op.path, [](const BluetoothDevice& d) { return d.connected; });
                          },
                          [&](const Op::Forget& op) {
                              return check_device(op.path, [](const BluetoothDevice& d) { return d.paired; });
                          },
                          pass,
                      },
                      operation.value);
}

// ---- Sound -------------------------------------------------------------------------------------------------------

CheckResult check_storage_operation(const StorageOperation& operation, const StorageLiveState& state)
{
    using Op = StorageOperation;
    return std::visit(Overloaded{
                          [&](const Op::CleanupCaches&) {
                              return require(state.cache_to_clean(), "no reclaimable application cache is available");
                          },
                          [&](const Op::FreeSyncedFiles&) {
                              return require(state.sync_service_running(),
                                             "the sync storage service is not running on this device");
                          },
                          [&](const Op::OpenDisks&) {
                              return require(state.disks_installed(), "Disks is not installed on this device");
                          },
                          [&](const Op::OpenBackups&) {
                              return require(state.backups_installed(), "Backups is not installed on this device");
                          },
                      },
                      operation.value);
}

CheckResult check_audio_operation(const AudioOperation& operation, const AudioLiveState& state)
{
    using Op = AudioOperation;
    const auto is_stream = [&](std::uint32_t id) {
        return contains(state.playback_streams, id) || contains(state.recording_streams, id);
    };
    return std::visit(
        Overloaded{
            [](const Op::SetOutputVolume& op) {
                return require_level(op.value, "output volume must be between 0 and 1");
            },
            [](const Op::SetInputVolume& op) {
                return require_level(op.value, "input volume must be between 0 and 1");
            },
            [](const Op::SetBalance& op) {
                return require_level(op.value, "output balance must be between 0 and 1");
            },
            [&](const Op::SetDeviceProfile& op) -> CheckResult {
                const auto device = std::ranges::find(state.devices, op.device_id, &AudioDevice::id);
                if (device == state.devices.end()) {
                    return refuse("audio hardware is no longer available");
                }
                const bool available = std::ranges::any_of(device->profiles, [&](const AudioProfile& profile) {
                    return profile.index == op.profile_index && profile.available;
                });
                return require(available, "audio profile is no longer available");
            },
            [&](const Op::RouteStream& op) -> CheckResult {
                const auto& streams = op.playback ? state.playback_streams : state.recording_streams;
                if (!contains(streams, op.stream_id)) {
                    return refuse("audio stream is no longer available");
                }
                const auto& devices = op.playback ? state.outputs : state.inputs;
                return require(!op.device_id || contains(devices, *op.device_id), "audio route is no longer available");
            },
            [&](const Op::SetStreamVolume& op) -> CheckResult {
                if (!is_unit_level(op.value)) {
                    return refuse("stream volume must be between 0 and 1");
                }
                return require(is_stream(op.stream_id), "audio stream is no longer available");
            },
            [&](const Op::SetStreamMuted& op) {
                return require(is_stream(op.stream_id), "audio stream is no longer available");
            },
            [&](const Op::SelectOutput& op) {
                return require(contains(state.outputs, op.device_id), "audio output device is no longer available");
            },
            [&](const Op::SelectInput& op) {
                return require(contains(state.inputs, op.device_id), "audio input device is no longer available");
            },
            [&](const Op::RoutePlayback& op) -> CheckResult {
                if (!contains(state.playback_streams, op.stream_id)) {
                    return refuse("playback stream is no longer available");
                }
                return require(contains(state.outputs, op.device_id), "audio output device is no longer available");
            },
            [&](const Op::RouteRecording& op) -> CheckResult {
                if (!contains(state.recording_streams, op.stream_id)) {
                    return refuse("recording stream is no longer available");
                }
                return require(contains(state.inputs, op.device_id), "audio input device is no longer available");
            },
            pass,
        },
        operation.value);
}

// ---- Displays ----------------------------------------------------------------------------------------------------

namespace {

// The checks of the variants that name an output, once the output is known.
CheckResult check_output(const DisplayOperation& operation, const LiveOutput& output)
{
    using Op = DisplayOperation;
    const auto mode_refusal = "display mode is no longer supported by that output";
    const auto profile_refusal = "colour profile is no longer available for that output";
    return std::visit(
        Overloaded{
            [](const Op::SetOutputScale& op) {
                return require(contains(display_scale_labels, op.label), "unsupported output scale");
            },
            [](const Op::SetPosition& op) {
                return require(op.label.size() <= max_display_label_bytes, "display position label is too long");
            },
            [](const Op::SetMirror& op) {
                return require(op.label.size() <= max_display_label_bytes, "display mirror label is too long");
            },
            [&](const Op::SetModeLabel& op) {
                return require(std::ranges::any_of(output.modes,
                                                   [&](const LiveOutputMode& mode) { return mode.label == op.label; }),
                               mode_refusal);
            },
            [&](const Op::SetMode& op) {
                return require(std::ranges::any_of(output.modes,
                                                   [&](const LiveOutputMode& mode) { return mode.mode == op.mode; }),
                               mode_refusal);
            },
            [](const Op::SetTransformLabel& op) {
                return require(contains(orientation_labels, op.label), "unsupported display orientation");
            },
            [&](const Op::SetColorProfileLabel& op) {
                return require(op.label == system_default_color_profile ||
                                   contains(output.color_profile_labels, op.label),
                               profile_refusal);
            },
            [&](const Op::SetColorProfile& op) {
                return require(!op.profile || contains(output.color_profiles, *op.profile), profile_refusal);
            },
            [&](const Op::SetHdr&) { return require(output.hdr, "HDR is not available for that output"); },
            [&](const Op::SetVrr&) {
                return require(output.vrr, "variable refresh rate is not available for that output");
            },
            pass,  // SetPrimary, SetEnabled, SetTransform: the output must exist only
        },
        operation.value);
}

}  // namespace

CheckResult check_display_operation(const DisplayOperation& operation, const DisplayLiveState& state)
{
    using Op = DisplayOperation;
    const auto connector = std::visit(
        []<class Alt>(const Alt& op) -> const std::string* {
            if constexpr (requires { op.connector; }) {
                return &op.connector;
            } else {
                return nullptr;
            }
        },
        operation.value);
    if (connector != nullptr) {
        auto output = state.find_output(*connector);
        if (!output) {
            return std::unexpected(std::move(output.error()));
        }
        return check_output(operation, *output);
    }
    return std::visit(Overloaded{
                          [](const Op::SetBrightness& op) {
                              return require_level(op.value, "display brightness must be between 0 and 1");
                          },
                          [](const Op::SetNightLightTemperature& op) {
                              return require(contains(night_light_warmth_labels, op.label),
                                             "unsupported Night Light warmth");
                          },
                          [](const Op::SetScale& op) {
                              return require(contains(display_scale_labels, op.label), "unsupported display scale");
                          },
                          pass,  // SetAutoBrightness, SetNightLight, Apply, Confirm, Revert
                      },
                      operation.value);
}

// ---- Printers ----------------------------------------------------------------------------------------------------

CheckResult check_printer_operation(const PrinterOperation& operation, const PrinterLiveState& state)
{
    using Op = PrinterOperation;
    constexpr std::string_view queue_refusal = "printer queue is no longer available";
    // The named queue must be listed and `allows` it.
    const auto check_queue = [&](const std::string& name, auto allows) -> CheckResult {
        const auto queues = state.queues();
        if (!queues) {
            return std::unexpected("could not list printers: " + queues.error());
        }
        const auto queue = std::ranges::find(*queues, name, &PrinterQueue::name);
        if (queue == queues->end()) {
            return refuse(queue_refusal);
        }
        return require(allows(*queue), "printer queue state changed; refresh and try again");
    };
    const auto any_state = [](const PrinterQueue&) { return true; };
    const auto check_job = [&](const std::string& id) -> CheckResult {
        const auto jobs = state.job_ids();
        if (!jobs) {
            return std::unexpected("could not list print jobs: " + jobs.error());
        }
        return require(contains(*jobs, id), "print job is no longer available");
    };
    return std::visit(Overloaded{
                          [&](const Op::SetDefault& op) { return check_queue(op.name, any_state); },
                          [&](const Op::Remove& op) { return check_queue(op.name, any_state); },
                          [&](const Op::SetEnabled& op) {
                              return check_queue(op.name,
                                                 [&](const PrinterQueue& queue) { return queue.paused == op.enabled; });
                          },
                          [&](const Op::CancelJob& op) { return check_job(op.id); },
                          [&](const Op::RetryJob& op) { return check_job(op.id); },
                          pass,
                      },
                      operation.value);
}

// ---- Devices & Sync ----------------------------------------------------------------------------------------------

CheckResult check_device_mesh_operation(const DeviceMeshOperation& operation, const DeviceMeshLiveState& state)
{
    using Op = DeviceMeshOperation;
    return std::visit(Overloaded{
                          [](const Op::SetRole& op) {
                              return require(contains(device_role_labels, op.role), "unsupported device role");
                          },
                          [](const Op::SetReplication& op) {
                              return require(contains(replication_policy_labels, op.replication),
                                             "unsupported replication policy");
                          },
                          [](const Op::SetService& op) -> CheckResult {
                              if (contains(device_service_keys, op.service)) {
                                  return {};
                              }
                              return refuse(op.service.starts_with("continuity.") ? "unsupported Continuity capability"
                                                                                  : "unsupported device service");
                          },
                          [&](const Op::SetWorkspace& op) {
                              return require(contains(state.workspaces, op.id),
                                             "workspace is no longer available on this device");
                          },
                      },
                      operation.value);
}

// ---- Agent model providers ---------------------------------------------------------------------------------------

CheckResult check_agent_provider_operation(const AgentProviderOperation& operation,
                                           const AgentProviderLiveState& state)
{
    using Op = AgentProviderOperation;
    constexpr std::string_view unknown_provider = "provider is no longer available";
    const auto find = [&](const std::string& id) -> const ProviderState* {
        const auto provider = std::ranges::find(state.providers, id, &ProviderState::id);
        return provider == state.providers.end() ? nullptr : &*provider;
    };
    const auto protocol = [](const std::string& name) {
        return require(contains(provider_protocols, name), "unsupported provider protocol");
    };
    const auto is_blank = [](std::string_view text) {
        return text.find_first_not_of(" \t\n\r\f\v") == std::string_view::npos;
    };
    return std::visit(Overloaded{
                          [&](const Op::Add& op) { return protocol(op.protocol); },
                          [&](const Op::SetProtocol& op) -> CheckResult {
                              if (find(op.id) == nullptr) {
                                  return refuse(unknown_provider);
                              }
                              return protocol(op.protocol);
                          },
                          [&](const Op::SetEnabled& op) { return require(find(op.id) != nullptr, unknown_provider); },
                          [&](const Op::Remove& op) { return require(find(op.id) != nullptr, unknown_provider); },
                          [&](const Op::SetDefault& op) {
                              const ProviderState* provider = find(op.id);
                              return require(provider != nullptr && provider->enabled && provider->has_default_model,
                                             "provider cannot currently be selected as default");
                          },
                          [&](const Op::SetDetails& op) -> CheckResult {
                              if (is_blank(op.label) || is_blank(op.endpoint)) {
                                  return refuse("provider name and endpoint are required");
                              }
                              return require(find(op.id) != nullptr, unknown_provider);
                          },
                      },
                      operation.value);
}

}  // namespace settings::actions
