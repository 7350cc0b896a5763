#pragma once
// Operations of the External Accounts, Users and Devices & Sync sections.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "actions/payloads/describe.hpp"

namespace settings::actions {

// Online-account commands of the External Accounts section. Not a device-local kind: the application object runs it.
struct AccountOperation {
    static constexpr std::string_view enum_name = "AccountOperation";
    static constexpr std::string_view kind = "settings.account-operation";

    // Start adding an account of this kind: "mail", "caldav", "webdav" or "nextcloud".
    struct Add {
        std::string kind;
        VORN_PAYLOAD_FIELDS(Add, kind);
    };
    struct Open {
        std::string id;
        VORN_PAYLOAD_FIELDS(Open, id);
    };
    struct Edit {
        std::string id;
        VORN_PAYLOAD_FIELDS(Edit, id);
    };
    struct Reauthenticate {
        std::string id;
        VORN_PAYLOAD_FIELDS(Reauthenticate, id);
    };
    VORN_PAYLOAD_UNIT(SubmitForm);
    VORN_PAYLOAD_UNIT(CancelForm);
    VORN_PAYLOAD_UNIT(SubmitReauthentication);
    VORN_PAYLOAD_UNIT(CancelReauthentication);
    // Check that the account's server is reachable with its stored settings.
    struct Test {
        std::string id;
        VORN_PAYLOAD_FIELDS(Test, id);
    };
    struct Remove {
        std::string id;
        VORN_PAYLOAD_FIELDS(Remove, id);
    };

    using Variant = std::variant<Add, Open, Edit, Reauthenticate, SubmitForm, CancelForm, SubmitReauthentication,
                                 CancelReauthentication, Test, Remove>;
    Variant value;
    VORN_PAYLOAD_ENUM(AccountOperation);
};

// Local user accounts of the Users section, by login name.
struct UserOperation {
    static constexpr std::string_view enum_name = "UserOperation";
    static constexpr std::string_view kind = "settings.user-operation";

    struct SetAdmin {
        std::string username;
        bool admin = false;
        VORN_PAYLOAD_FIELDS(SetAdmin, username, admin);
    };
    struct SetAutologin {
        std::string username;
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetAutologin, username, enabled);
    };
    // Delete the account; remove_files also deletes the user's files.
    struct Remove {
        std::string username;
        bool remove_files = false;
        VORN_PAYLOAD_FIELDS(Remove, username, remove_files);
    };

    using Variant = std::variant<SetAdmin, SetAutologin, Remove>;
    Variant value;
    VORN_PAYLOAD_ENUM(UserOperation);
};

// This device's role, replication policy, local services, Continuity switches and workspace availability.
struct DeviceMeshOperation {
    static constexpr std::string_view enum_name = "DeviceMeshOperation";
    static constexpr std::string_view kind = "settings.device-mesh-operation";

    // "Personal device", "Available while active" or "Always-on server".
    struct SetRole {
        std::string role;
        VORN_PAYLOAD_FIELDS(SetRole, role);
    };
    // "On demand", "Workspace state" or "Full workspace copy".
    struct SetReplication {
        std::string replication;
        VORN_PAYLOAD_FIELDS(SetReplication, replication);
    };
    // One local service or Continuity capability, by its service key ("compute", "continuity.clipboard", …).
    struct SetService {
        std::string service;
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetService, service, enabled);
    };
    // Make the workspace with this id available on this device, or not.
    struct SetWorkspace {
        std::uint64_t id = 0;
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetWorkspace, id, enabled);
    };

    using Variant = std::variant<SetRole, SetReplication, SetService, SetWorkspace>;
    Variant value;
    VORN_PAYLOAD_ENUM(DeviceMeshOperation);
};

}  // namespace settings::actions
