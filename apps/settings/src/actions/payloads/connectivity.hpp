#pragma once
// Operations of the Network, Bluetooth and Printers sections.

#include <string>
#include <string_view>
#include <variant>

#include "actions/payloads/describe.hpp"

namespace settings::actions {

// Radios and diagnostics of the Network section.
struct NetworkOperation {
    static constexpr std::string_view enum_name = "NetworkOperation";
    static constexpr std::string_view kind = "settings.network-operation";

    VORN_PAYLOAD_UNIT(Refresh);  // reload the network list
    struct SetWifiEnabled {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetWifiEnabled, enabled);
    };
    struct SetWiredEnabled {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetWiredEnabled, enabled);
    };
    struct SetAirplaneMode {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetAirplaneMode, enabled);
    };
    struct SetHotspot {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetHotspot, enabled);
    };
    struct SetMobileBroadband {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetMobileBroadband, enabled);
    };
    VORN_PAYLOAD_UNIT(RunDiagnostics);

    using Variant = std::variant<Refresh, SetWifiEnabled, SetWiredEnabled, SetAirplaneMode, SetHotspot,
                                 SetMobileBroadband, RunDiagnostics>;
    Variant value;
    VORN_PAYLOAD_ENUM(NetworkOperation);
};

// Adapter and device commands of the Bluetooth section. `path` is the device's identifier in the system's
// Bluetooth device list.
struct BluetoothOperation {
    static constexpr std::string_view enum_name = "BluetoothOperation";
    static constexpr std::string_view kind = "settings.bluetooth-operation";

    struct SetPowered {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetPowered, enabled);
    };
    VORN_PAYLOAD_UNIT(StartScan);
    VORN_PAYLOAD_UNIT(Refresh);
    struct Pair {
        std::string path;
        VORN_PAYLOAD_FIELDS(Pair, path);
    };
    struct Connect {
        std::string path;
        VORN_PAYLOAD_FIELDS(Connect, path);
    };
    struct Disconnect {
        std::string path;
        VORN_PAYLOAD_FIELDS(Disconnect, path);
    };
    struct Forget {
        std::string path;
        VORN_PAYLOAD_FIELDS(Forget, path);
    };

    using Variant = std::variant<SetPowered, StartScan, Refresh, Pair, Connect, Disconnect, Forget>;
    Variant value;
    VORN_PAYLOAD_ENUM(BluetoothOperation);
};

// Printer queues (by name) and print jobs (by id) of the Printers section.
struct PrinterOperation {
    static constexpr std::string_view enum_name = "PrinterOperation";
    static constexpr std::string_view kind = "settings.printer-operation";

    VORN_PAYLOAD_UNIT(Refresh);   // reload the queues and jobs
    VORN_PAYLOAD_UNIT(Discover);  // search the network for printers that can be added
    struct SetDefault {
        std::string name;
        VORN_PAYLOAD_FIELDS(SetDefault, name);
    };
    // Resume (true) or pause (false) the queue.
    struct SetEnabled {
        std::string name;
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetEnabled, name, enabled);
    };
    struct Remove {
        std::string name;
        VORN_PAYLOAD_FIELDS(Remove, name);
    };
    struct CancelJob {
        std::string id;
        VORN_PAYLOAD_FIELDS(CancelJob, id);
    };
    struct RetryJob {
        std::string id;
        VORN_PAYLOAD_FIELDS(RetryJob, id);
    };

    using Variant = std::variant<Refresh, Discover, SetDefault, SetEnabled, Remove, CancelJob, RetryJob>;
    Variant value;
    VORN_PAYLOAD_ENUM(PrinterOperation);
};

}  // namespace settings::actions
