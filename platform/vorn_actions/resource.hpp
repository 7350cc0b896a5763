#pragma once
// The resource contract's records: resources, their action specifications and parameters, and one use of a bound
// control (ControlInvocation). Builder steps take the record by value and return it:
//
//   auto section = Resource("settings.section:power", "settings.section", "Power")
//                      .with_action(std::move(spec))
//                      .with_child(std::move(battery));

#include "vorn_actions/action.hpp"
#include "vorn_actions/address.hpp"
#include "vorn_actions/args.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <expected>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorn_actions {

enum class ParamType : std::uint8_t { Text, Number, Boolean };

struct ActionParam {
    std::string name;    // "value", "choice", "percent", ...
    std::string title;   // "Enabled", "Value", "Choice", ...
    ParamType type = ParamType::Text;
    std::vector<std::string> choices;             // allowed values, in the order offered
    std::optional<nlohmann::ordered_json> schema;  // e.g. {"minimum": 0.0, "maximum": 1.0}

    ActionParam() = default;
    ActionParam(std::string name_, std::string title_, ParamType type_)
        : name(std::move(name_)), title(std::move(title_)), type(type_)
    {
    }

    // The parameter with its choice list replaced by `texts`, in order.
    [[nodiscard]] ActionParam with_choices(std::vector<std::string> texts) &&;
    [[nodiscard]] ActionParam with_choice_texts(std::span<const std::string_view> texts) &&;
    [[nodiscard]] ActionParam with_choice_texts(std::initializer_list<std::string_view> texts) &&;
    // The parameter with its JSON schema object replaced (for example {"minimum": 0.0, "maximum": 1.0}).
    [[nodiscard]] ActionParam with_schema(nlohmann::ordered_json schema_object) &&;
    friend bool operator==(const ActionParam&, const ActionParam&) = default;
};

// What an action does to the world, as automation sees it: the navigation setting for actions that only open a
// page, a form or a review; the operation setting for everything that changes state.
enum class EffectSetting : std::uint8_t { Operation, Navigation };

struct ActionContract {
    std::vector<std::string> tags;                        // "device-local", "audio", "hardware", ...
    std::optional<nlohmann::ordered_json> result_schema;  // {"type": "string"} for device-local operations
    EffectSetting effects = EffectSetting::Operation;
    friend bool operator==(const ActionContract&, const ActionContract&) = default;
};

// How an action reads its parameters, derived from the parameter list and a hint ("A value from 0 to 1").
struct InputDescription {
    std::string hint;
    nlohmann::ordered_json schema;  // a JSON schema object of the arguments
    friend bool operator==(const InputDescription&, const InputDescription&) = default;
};

// The input description of an action: a JSON schema of its argument object built from the parameters (each
// parameter a property with its JSON type, title, choices as "enum" and its own schema members), and the hint.
[[nodiscard]] InputDescription derive_input(const std::vector<ActionParam>& params, std::string_view hint);

// Turns the arguments of one invocation into the operation to run. Copies of a specification share the handler's
// captures only if the handler holds them through a shared pointer; builders that capture much do so.
using ActionHandler = std::function<std::expected<EncodedAction, ActionError>(const ActionArgs&)>;

// The action itself when its kind is `expected_kind`; a KindMismatch error naming both kinds otherwise.
[[nodiscard]] std::expected<EncodedAction, ActionError> enforce_operation_type(EncodedAction action,
                                                                               std::string_view expected_kind);

struct ActionSpec {
    std::string id;
    std::string title;
    std::optional<std::string> description;  // never set by this program
    std::vector<ActionParam> params;
    std::optional<std::string> operation_kind;  // "settings.power-operation"; none for set-setting actions
    std::optional<InputDescription> input;
    ActionHandler handler;                     // empty when the action has no handler
    ActionContract contract;
    std::uint8_t effect_class = 0;  // 0 set-setting, 1 operation of a domain, 2 opens a page, form or review
    bool is_privileged = false;
    bool is_destructive = false;
    // Set only on the action a toolkit control synthesizes for itself (the "invoke" action of a bound button):
    // the flag the control was bound with, and the mark that the action belongs to a control.
    std::optional<bool> control_flag;
    bool is_control_action = false;

    ActionSpec() = default;
    ActionSpec(std::string id_, std::string title_) : id(std::move(id_)), title(std::move(title_)) {}

    [[nodiscard]] ActionSpec privileged() &&;
    [[nodiscard]] ActionSpec destructive() &&;
    [[nodiscard]] ActionSpec with_contract(ActionContract contract) &&;

    // Checks `arguments` against the parameters and runs the handler on them. Refused (InvalidArguments, the
    // handler is not run): arguments that are not a JSON object, and a declared parameter whose argument is present
    // and not null but of another JSON type than the parameter's (a boolean for "value" of a switch, a number for a
    // level, a string for a choice). Members the parameters do not name are passed on unread. A specification
    // without a handler answers UnknownAction. Ranges and choice lists are not checked here: the operation's own
    // checks decide whether a value is acceptable.
    [[nodiscard]] std::expected<EncodedAction, ActionError> build_json(const nlohmann::ordered_json& arguments) const;
};

struct Resource {
    std::string id;     // "settings.root", "settings.section:network", "settings.audio-output:<id>"
    std::string kind;   // "settings.section", "vorn.control", ...
    std::string title;
    std::vector<Resource> children;
    std::vector<ActionSpec> actions;
    std::vector<std::string> tags;           // empty unless a builder adds some
    std::optional<std::string> description;  // unset unless a builder sets it

    Resource() = default;
    Resource(std::string id_, std::string_view kind_, std::string title_)
        : id(std::move(id_)), kind(kind_), title(std::move(title_))
    {
    }

    // Appended after the existing children / actions.
    [[nodiscard]] Resource with_child(Resource child) &&;
    [[nodiscard]] Resource with_action(ActionSpec action) &&;

    // The action of that id, or nullptr.
    [[nodiscard]] const ActionSpec* find_action(std::string_view action_id) const;
};

// One use of a bound control: which action, with which arguments.
struct ControlInvocation {
    std::string resource_id;
    std::string action_id;
    ActionArgs arguments;

    [[nodiscard]] ActionAddress address() const { return {resource_id, action_id}; }
    friend bool operator==(const ControlInvocation&, const ControlInvocation&) = default;
};

}  // namespace vorn_actions
