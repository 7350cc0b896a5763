#pragma once
// The named arguments of one action invocation: a JSON object whose members keep their insertion order.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace vorn_actions {

class ActionArgs {
public:
    // An empty argument object.
    ActionArgs();
    // Takes a JSON object; anything else is refused with std::invalid_argument (arguments are always named).
    explicit ActionArgs(nlohmann::ordered_json object);

    // Sets (or replaces, keeping its place) one argument; returns the arguments for chaining.
    [[nodiscard]] ActionArgs with(std::string_view name, nlohmann::ordered_json value) &&;
    void set(std::string_view name, nlohmann::ordered_json value);

    // Readers: the argument of that name when present and of that type, none otherwise. `number` accepts any JSON
    // number (integer or float) and answers it as a 64-bit float.
    [[nodiscard]] std::optional<bool> boolean(std::string_view name) const;
    [[nodiscard]] std::optional<double> number(std::string_view name) const;
    [[nodiscard]] std::optional<std::string> text(std::string_view name) const;

    [[nodiscard]] bool empty() const { return object_.empty(); }
    [[nodiscard]] const nlohmann::ordered_json& json() const { return object_; }

    friend bool operator==(const ActionArgs&, const ActionArgs&) = default;

private:
    [[nodiscard]] const nlohmann::ordered_json* find(std::string_view name) const;

    nlohmann::ordered_json object_;
};

}  // namespace vorn_actions
