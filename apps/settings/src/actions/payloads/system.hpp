#pragma once
// Operations of the Updates, Time & Date, Power and Storage sections.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "actions/payloads/describe.hpp"

namespace settings::actions {

// Image-update and firmware commands of the Updates section.
struct UpdateOperation {
    static constexpr std::string_view enum_name = "UpdateOperation";
    static constexpr std::string_view kind = "settings.update-operation";

    VORN_PAYLOAD_UNIT(Check);            // check for updates now
    VORN_PAYLOAD_UNIT(Restart);          // restart into the staged update
    VORN_PAYLOAD_UNIT(ReviewRollback);   // show the rollback review (opens the Updates section)
    VORN_PAYLOAD_UNIT(Rollback);         // roll back to the previous image
    VORN_PAYLOAD_UNIT(RefreshFirmware);  // refresh the firmware-update list
    VORN_PAYLOAD_UNIT(InstallFirmware);  // install the offered firmware updates
    // Automatic updates (the automatic-update timer) on or off.
    struct SetAutomatic {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetAutomatic, enabled);
    };
    // Download schedule label: "System schedule", "Daily" or "Weekly".
    struct SetSchedule {
        std::string schedule;
        VORN_PAYLOAD_FIELDS(SetSchedule, schedule);
    };
    // Whether updates may download on metered connections.
    struct SetMetered {
        bool allowed = false;
        VORN_PAYLOAD_FIELDS(SetMetered, allowed);
    };

    using Variant = std::variant<Check, Restart, ReviewRollback, Rollback, RefreshFirmware, InstallFirmware,
                                 SetAutomatic, SetSchedule, SetMetered>;
    Variant value;
    VORN_PAYLOAD_ENUM(UpdateOperation);
};

// Clock settings of the Time & Date section.
struct TimeDateOperation {
    static constexpr std::string_view enum_name = "TimeDateOperation";
    static constexpr std::string_view kind = "settings.time-date-operation";

    // Network time synchronisation on or off.
    struct SetAutomaticTime {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetAutomaticTime, enabled);
    };
    // IANA time-zone name such as "UTC".
    struct SetTimezone {
        std::string timezone;
        VORN_PAYLOAD_FIELDS(SetTimezone, timezone);
    };
    // true for the 24-hour clock, false for the 12-hour clock.
    struct SetHourCycle {
        bool h24 = false;
        VORN_PAYLOAD_FIELDS(SetHourCycle, h24);
    };

    using Variant = std::variant<SetAutomaticTime, SetTimezone, SetHourCycle>;
    Variant value;
    VORN_PAYLOAD_ENUM(TimeDateOperation);
};

// Battery, power-profile, timeout and button settings of the Power section. Choices travel as their labels.
struct PowerOperation {
    static constexpr std::string_view enum_name = "PowerOperation";
    static constexpr std::string_view kind = "settings.power-operation";

    // Battery charge cap in percent.
    struct SetChargeLimit {
        std::uint32_t percent = 0;
        VORN_PAYLOAD_FIELDS(SetChargeLimit, percent);
    };
    // "Power Saver", "Balanced" or "Performance".
    struct SetProfile {
        std::string profile;
        VORN_PAYLOAD_FIELDS(SetProfile, profile);
    };
    // Automatic suspend when idle.
    struct SetAutoSuspend {
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetAutoSuspend, enabled);
    };
    // Idle time before the screen blanks ("1 minute" … "30 minutes", "Never").
    struct SetBlankTimeout {
        std::string label;
        VORN_PAYLOAD_FIELDS(SetBlankTimeout, label);
    };
    // Idle time before the screen locks (the same labels).
    struct SetLockTimeout {
        std::string label;
        VORN_PAYLOAD_FIELDS(SetLockTimeout, label);
    };
    // Idle time before suspend; `profile` is "default", "saver", "balanced" or "performance".
    struct SetSuspendTimeout {
        std::string profile;
        std::string label;
        VORN_PAYLOAD_FIELDS(SetSuspendTimeout, profile, label);
    };
    // What closing the lid does: "Suspend", "Lock screen" or "Do nothing".
    struct SetLidAction {
        std::string action;
        VORN_PAYLOAD_FIELDS(SetLidAction, action);
    };
    // What the power key does (the same labels).
    struct SetPowerKeyAction {
        std::string action;
        VORN_PAYLOAD_FIELDS(SetPowerKeyAction, action);
    };
    // What happens at critical battery (the same labels).
    struct SetCriticalAction {
        std::string action;
        VORN_PAYLOAD_FIELDS(SetCriticalAction, action);
    };

    using Variant = std::variant<SetChargeLimit, SetProfile, SetAutoSuspend, SetBlankTimeout, SetLockTimeout,
                                 SetSuspendTimeout, SetLidAction, SetPowerKeyAction, SetCriticalAction>;
    Variant value;
    VORN_PAYLOAD_ENUM(PowerOperation);
};

// Storage clean-up and tool launches of the Storage section.
struct StorageOperation {
    static constexpr std::string_view enum_name = "StorageOperation";
    static constexpr std::string_view kind = "settings.storage-operation";

    VORN_PAYLOAD_UNIT(CleanupCaches);    // remove the application cache items the page lists
    VORN_PAYLOAD_UNIT(FreeSyncedFiles);  // free the local copies of downloaded synced files
    VORN_PAYLOAD_UNIT(OpenDisks);        // open the system's Disks tool
    VORN_PAYLOAD_UNIT(OpenBackups);      // open the system's Backups tool

    using Variant = std::variant<CleanupCaches, FreeSyncedFiles, OpenDisks, OpenBackups>;
    Variant value;
    VORN_PAYLOAD_ENUM(StorageOperation);
};

}  // namespace settings::actions
