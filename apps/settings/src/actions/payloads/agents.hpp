#pragma once
// Operations of the Agent Models section: local model packages and hosted model providers.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "actions/payloads/describe.hpp"

namespace settings::actions {

// Local model packages and accelerator support.
struct AgentModelOperation {
    static constexpr std::string_view enum_name = "AgentModelOperation";
    static constexpr std::string_view kind = "settings.agent-model-operation";

    VORN_PAYLOAD_UNIT(StageAccelerator);  // set up accelerator support on this device
    // Accept the licence of package `id` at `revision` and install it.
    struct Install {
        std::string id;
        std::string revision;
        VORN_PAYLOAD_FIELDS(Install, id, revision);
    };
    struct Start {
        std::string id;
        VORN_PAYLOAD_FIELDS(Start, id);
    };
    struct Stop {
        std::string id;
        VORN_PAYLOAD_FIELDS(Stop, id);
    };
    // Retry the failed installation of package `id` at `revision`.
    struct Retry {
        std::string id;
        std::string revision;
        VORN_PAYLOAD_FIELDS(Retry, id, revision);
    };
    struct Remove {
        std::string id;
        VORN_PAYLOAD_FIELDS(Remove, id);
    };

    using Variant = std::variant<StageAccelerator, Install, Start, Stop, Retry, Remove>;
    Variant value;
    VORN_PAYLOAD_ENUM(AgentModelOperation);
};

// Hosted model providers. Not a device-local kind: the application object runs it on the provider configuration.
struct AgentProviderOperation {
    static constexpr std::string_view enum_name = "AgentProviderOperation";
    static constexpr std::string_view kind = "settings.agent-provider-operation";

    // A new hosted provider speaking "anthropic" or "openai-compatible".
    struct Add {
        std::string protocol;
        VORN_PAYLOAD_FIELDS(Add, protocol);
    };
    struct SetProtocol {
        std::string id;
        std::string protocol;
        VORN_PAYLOAD_FIELDS(SetProtocol, id, protocol);
    };
    struct SetEnabled {
        std::string id;
        bool enabled = false;
        VORN_PAYLOAD_FIELDS(SetEnabled, id, enabled);
    };
    struct Remove {
        std::string id;
        VORN_PAYLOAD_FIELDS(Remove, id);
    };
    struct SetDefault {
        std::string id;
        VORN_PAYLOAD_FIELDS(SetDefault, id);
    };
    // Display name, API endpoint and, optionally, the default model id.
    struct SetDetails {
        std::string id;
        std::string label;
        std::string endpoint;
        std::optional<std::string> model;
        VORN_PAYLOAD_FIELDS(SetDetails, id, label, endpoint, model);
    };

    using Variant = std::variant<Add, SetProtocol, SetEnabled, Remove, SetDefault, SetDetails>;
    Variant value;
    VORN_PAYLOAD_ENUM(AgentProviderOperation);
};

}  // namespace settings::actions
