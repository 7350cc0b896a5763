#pragma once
// All operation vocabularies, their operation kinds, and the set of kinds the application handles.

#include <array>
#include <string_view>
#include <variant>

#include "actions/payloads/accounts.hpp"
#include "actions/payloads/agents.hpp"
#include "actions/payloads/audio.hpp"
#include "actions/payloads/connectivity.hpp"
#include "actions/payloads/display.hpp"
#include "actions/payloads/input.hpp"
#include "actions/payloads/settings_action.hpp"
#include "actions/payloads/system.hpp"

namespace settings::actions {

// The payload of this kind is a JSON string holding a section id.
inline constexpr std::string_view open_pane_kind = "settings.open-pane";

// Every typed payload, in the order of the kinds the application object lists, then the set-setting action.
using AnyOperation =
    std::variant<AccountOperation, UpdateOperation, KeyboardSourceOperation, InputOperation, TimeDateOperation,
                 PowerOperation, NetworkOperation, BluetoothOperation, StorageOperation, AudioOperation,
                 DisplayOperation, PrinterOperation, UserOperation, AgentModelOperation, DeviceMeshOperation,
                 AgentProviderOperation, SettingsAction>;

// The operations that run on this device through the device-local runner, one at a time, in the order in which
// their kinds are compared.
using DeviceLocalOperation =
    std::variant<UpdateOperation, KeyboardSourceOperation, InputOperation, TimeDateOperation, PowerOperation,
                 NetworkOperation, BluetoothOperation, StorageOperation, AudioOperation, DisplayOperation,
                 PrinterOperation, UserOperation, AgentModelOperation, DeviceMeshOperation>;

// The operation kinds the application object handles, in its order ("settings.action" is registered separately).
inline constexpr std::array<std::string_view, 17> handled_operation_kinds{
    open_pane_kind,           AccountOperation::kind,      UpdateOperation::kind,      KeyboardSourceOperation::kind,
    InputOperation::kind,     TimeDateOperation::kind,     PowerOperation::kind,       NetworkOperation::kind,
    BluetoothOperation::kind, StorageOperation::kind,      AudioOperation::kind,       DisplayOperation::kind,
    PrinterOperation::kind,   UserOperation::kind,         AgentModelOperation::kind,  DeviceMeshOperation::kind,
    AgentProviderOperation::kind};

// Kinds are compared byte for byte.
bool is_device_local_kind(std::string_view kind);

// The operation kind of a typed payload.
std::string_view operation_kind(const AnyOperation& operation);
std::string_view operation_kind(const DeviceLocalOperation& operation);

}  // namespace settings::actions
