#pragma once
// Application actions: typed actions that an application applies to a page document itself (the settings
// program's set-setting action), and the registry of their decoders by name.
//
//   registry.insert("settings.action", std::make_unique<MyDecoder>("settings.action"));
//   auto action = registry.decode("settings.action", payload);     // a boxed ApplicationAction, or an error
//   if (action) { (*action)->apply(doc); }
//
// The registry belongs to the application object of the toolkit (App::action_registry_mut); the launch hook fills
// it once before any action runs.

#include "vorn_actions/action.hpp"

#include <concepts>
#include <expected>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace page_doc {
class Document;
}

namespace vorn_actions {

class ApplicationAction {
public:
    virtual ~ApplicationAction() = default;

    // The action's debug form, such as `SetSetting { key: "appearance.theme", value: Text("Dark") }`.
    [[nodiscard]] virtual std::string debug_text() const = 0;
    // Applies the action to the page document; an ActionError when it is refused or the write fails.
    virtual std::expected<void, ActionError> apply(page_doc::Document& doc) const = 0;
    // Two yes/no answers of the application-action interface; the executor records them with the action.
    [[nodiscard]] virtual bool yes_no_query_a() const = 0;
    [[nodiscard]] virtual bool yes_no_query_b() const = 0;
    // The action's payload as compact JSON (the form EncodedAction carries), or the writer's reason.
    [[nodiscard]] virtual std::expected<std::string, std::string> write_payload() const = 0;

protected:
    ApplicationAction() = default;
    ApplicationAction(const ApplicationAction&) = default;
    ApplicationAction& operator=(const ApplicationAction&) = default;
};

// Typed actions take part in the action host's typed dispatch by providing, next to the type (found by
// argument-dependent lookup):
//   std::unique_ptr<vorn_actions::ApplicationAction> to_application_action(const T& action);
template <class T>
concept TypedApplicationAction = requires(const T& action) {
    { to_application_action(action) } -> std::convertible_to<std::unique_ptr<ApplicationAction>>;
};

// Reads one application action from its payload bytes.
class ActionDecoder {
public:
    virtual ~ActionDecoder() = default;
    // The name the decoder was registered under; its decode errors name it.
    [[nodiscard]] virtual std::string_view name() const = 0;
    [[nodiscard]] virtual std::expected<std::unique_ptr<ApplicationAction>, ActionError> decode(
        std::string_view payload) const = 0;

protected:
    ActionDecoder() = default;
    ActionDecoder(const ActionDecoder&) = default;
    ActionDecoder& operator=(const ActionDecoder&) = default;
};

class ActionDecoderRegistry {
public:
    // Registers `decoder` under `name`; a decoder already registered under that name is replaced and dropped.
    void insert(std::string name, std::unique_ptr<ActionDecoder> decoder);
    [[nodiscard]] const ActionDecoder* find(std::string_view name) const;
    [[nodiscard]] bool contains(std::string_view name) const { return find(name) != nullptr; }
    [[nodiscard]] std::size_t size() const { return decoders_.size(); }

    // Decodes a payload of the action registered under `name`; UnknownAction when nothing is registered there.
    [[nodiscard]] std::expected<std::unique_ptr<ApplicationAction>, ActionError> decode(
        std::string_view name, std::string_view payload) const;

private:
    std::map<std::string, std::unique_ptr<ActionDecoder>, std::less<>> decoders_;
};

}  // namespace vorn_actions
