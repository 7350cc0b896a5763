// The action model: addresses, labels, contexts, argument checks, bindings, the decoder registry and the executor.

#include "vorn_actions/application.hpp"
#include "vorn_actions/binding.hpp"
#include "vorn_actions/context.hpp"
#include "vorn_actions/executor.hpp"
#include "vorn_actions/resource.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace page_doc {
class Document {};  // the executor only passes the document on to the action
}  // namespace page_doc

namespace vorn_actions {
namespace {

using nlohmann::ordered_json;

TEST(ActionAddress, EncodingDecodesBack)
{
    struct Case {
        ActionAddress address;
        std::string text;
    };
    const std::array cases{
        Case{{"settings.section:network", "open"}, "settings.section:network#open"},
        Case{{"settings.bluetooth-device:/org/bluez/hci0/dev_AA", "forget"},
             "settings.bluetooth-device:/org/bluez/hci0/dev_AA#forget"},
        Case{{"odd#id%25", "a#b"}, "odd%23id%2525#a%23b"},
        Case{{"", ""}, "#"},
        Case{{"vorn.control:caf\xC3\xA9", "invoke"}, "vorn.control:caf\xC3\xA9#invoke"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.address.encode(), c.text);
        EXPECT_EQ(ActionAddress::decode(c.text), c.address) << c.text;
    }
    for (std::string_view bad : {"no-separator", "a#b#c", "a%2#b", "a#b%", "a%41#b"}) {
        EXPECT_FALSE(ActionAddress::decode(bad).has_value()) << bad;
    }
}

TEST(HumanizeIdentifier, SplitsWordsAndKeepsAbbreviations)
{
    const std::array<std::pair<std::string_view, std::string_view>, 7> cases{{
        {"SetSetting", "Set setting"},
        {"auto_brightness", "Auto brightness"},
        {"night-light-temperature", "Night light temperature"},
        {"HDRMode", "HDR mode"},
        {"SetVrr", "Set vrr"},
        {"settings.open-pane", "Settings open pane"},
        {"", ""},
    }};
    for (const auto& [identifier, label] : cases) {
        EXPECT_EQ(humanize_identifier(identifier), label) << identifier;
    }
}

TEST(ActionContext, EnrichedByFillsOnlyWhatTheCallLeavesOpen)
{
    ActionContext call{.label = "Set setting", .related = {"a"}, .application = {}, .subject = {},
                       .correlation_id = "call", .document = {}};
    const ActionContext defaults{.label = "Default",
                                 .related = {"a", "b"},
                                 .application = ActionApplication{"org.vorn.Settings", "Settings"},
                                 .subject = ActionSubject{"settings.preference:appearance", "settings.preference-pane",
                                                          "Appearance"},
                                 .correlation_id = "host",
                                 .document = {}};
    const ActionContext merged = call.enriched_by(defaults);
    EXPECT_EQ(merged.label, "Set setting");
    EXPECT_THAT(merged.related, ::testing::ElementsAre("a", "b"));
    EXPECT_EQ(merged.application, defaults.application);
    EXPECT_EQ(merged.subject, defaults.subject);
    EXPECT_EQ(merged.correlation_id, "call");

    call.label.clear();
    EXPECT_EQ(call.enriched_by(defaults).label, "Default");
}

// A spec whose handler echoes its arguments as the payload, so tests see what reached the handler.
ActionSpec echo_spec(std::vector<ActionParam> params)
{
    ActionSpec spec("echo", "Echo");
    spec.params = std::move(params);
    spec.handler = [](const ActionArgs& args) -> std::expected<EncodedAction, ActionError> {
        return EncodedAction{"test.echo", args.json().dump()};
    };
    return spec;
}

TEST(ActionSpec, BuildJsonChecksArgumentTypesBeforeTheHandler)
{
    const ActionSpec spec = echo_spec({ActionParam("value", "Enabled", ParamType::Boolean),
                                       ActionParam("level", "Value", ParamType::Number),
                                       ActionParam("choice", "Choice", ParamType::Text)});
    // A level action as the catalogue declares it: one number "value" from 0 to 1.
    ActionSpec level = echo_spec(
        {ActionParam("value", "Value", ParamType::Number).with_schema({{"minimum", 0.0}, {"maximum", 1.0}})});
    level.id = "brightness";
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const ActionSpec* spec;
        ordered_json args;
        std::string refusal;  // empty: accepted
    };
    const std::array cases{
        Case{&spec, {{"value", true}, {"level", 0.5}, {"choice", "x"}}, ""},
        Case{&spec, {{"level", 7}}, ""},  // ranges are checked where the operation runs
        Case{&spec, {{"level", 0}, {"value", nullptr}}, ""},       // other absent arguments are the parsers' business
        Case{&spec, {{"level", 0.5}, {"extra", "ignored"}}, ""},  // undeclared members pass unread
        // A number is never read as 0 when none was given (a non-finite level arrives as null).
        Case{&spec, ordered_json::object(), "echo needs a number for level, and none was given"},
        Case{&spec, {{"level", nullptr}}, "echo needs a number for level, and none was given"},
        Case{&spec, {{"level", nan}}, "argument level of echo must be a finite number"},
        Case{&spec, {{"level", -inf}}, "argument level of echo must be a finite number"},
        Case{&level, {{"value", 0.25}}, ""},
        Case{&level, {{"value", nullptr}}, "brightness needs a number for value, and none was given"},
        Case{&level, ordered_json::object(), "brightness needs a number for value, and none was given"},
        Case{&level, {{"value", inf}}, "argument value of brightness must be a finite number"},
        Case{&spec, {{"level", 0.5}, {"value", "true"}}, "argument value of echo must be a boolean"},
        Case{&spec, {{"level", "0.5"}}, "argument level of echo must be a number"},
        Case{&spec, {{"level", 0.5}, {"choice", 3}}, "argument choice of echo must be a string"},
        Case{&spec, ordered_json::array(), "the arguments of echo must be a JSON object"},
        Case{&spec, ordered_json("value"), "the arguments of echo must be a JSON object"},
    };
    for (const Case& c : cases) {
        const auto result = c.spec->build_json(c.args);
        EXPECT_EQ(result.has_value(), c.refusal.empty()) << c.args.dump();
        if (result) {
            EXPECT_EQ(result->payload, c.args.dump());
        } else {
            EXPECT_EQ(result.error().kind(), ActionError::Kind::InvalidArguments) << c.args.dump();
            EXPECT_EQ(result.error().message(), c.refusal) << c.args.dump();
        }
    }
    EXPECT_EQ(ActionSpec("bare", "Bare").build_json(ordered_json::object()).error().kind(),
              ActionError::Kind::UnknownAction);
}

TEST(ActionSpec, EnforceOperationTypeAndDeriveInput)
{
    EXPECT_TRUE(enforce_operation_type({"settings.power-operation", "{}"}, "settings.power-operation").has_value());
    const auto mismatch = enforce_operation_type({"settings.audio-operation", "{}"}, "settings.power-operation");
    ASSERT_FALSE(mismatch.has_value());
    EXPECT_EQ(mismatch.error().display(),
              "action produced an operation of the wrong kind: expected settings.power-operation, got "
              "settings.audio-operation");

    const InputDescription input = derive_input(
        {ActionParam("value", "Value", ParamType::Number).with_schema({{"minimum", 0.0}, {"maximum", 1.0}}),
         ActionParam("choice", "Choice", ParamType::Text).with_choice_texts({"Daily", "Weekly"})},
        "A value from 0 to 1");
    EXPECT_EQ(input.hint, "A value from 0 to 1");
    EXPECT_EQ(input.schema.dump(),
              R"({"type":"object","properties":{"value":{"type":"number","title":"Value","minimum":0.0,)"
              R"("maximum":1.0},"choice":{"type":"string","title":"Choice","enum":["Daily","Weekly"]}}})");
}

TEST(ActionBinding, BindsTheFirstActionOfThatIdAndOutlivesTheResource)
{
    std::optional<ActionBinding<bool>> binding;
    {
        ActionSpec first = echo_spec({ActionParam("value", "Enabled", ParamType::Boolean)});
        first.title = "First";
        ActionSpec second = first;
        second.title = "Second";
        const Resource resource = Resource("settings.section:displays", "settings.section", "Displays")
                                      .with_action(std::move(first))
                                      .with_action(std::move(second));
        auto made = ActionBinding<bool>::for_action(resource, "echo",
                                                    [](const bool& on) { return ordered_json{{"value", on}}; });
        ASSERT_TRUE(made.has_value());
        binding.emplace(std::move(*made));

        const auto missing = ActionBinding<bool>::for_action(resource, "ech", [](const bool&) { return ordered_json{}; });
        ASSERT_FALSE(missing.has_value());
        EXPECT_EQ(missing.error(), (BindingError{"settings.section:displays", "ech"}));
    }
    EXPECT_EQ(binding->spec().title, "First");
    const auto invocation = binding->invoke(false);
    ASSERT_TRUE(invocation.has_value());
    EXPECT_EQ(*invocation, (ControlInvocation{"settings.section:displays", "echo", ActionArgs(ordered_json{{"value", false}})}));
}

TEST(ActionBinding, UnitBindingSendsTheEmptyObjectAndRefusalsStayErrors)
{
    ActionSpec picky = echo_spec({ActionParam("value", "Enabled", ParamType::Boolean)});
    const Resource resource = Resource("vorn.control:save", "vorn.control", "Save").with_action(std::move(picky));
    const auto unit = ActionBinding<Unit>::unit_for(resource, "echo");
    ASSERT_TRUE(unit.has_value());
    EXPECT_EQ(unit->invoke(Unit{})->arguments.json(), ordered_json::object());

    const auto wrong = ActionBinding<int>::for_action(resource, "echo", [](const int& n) { return ordered_json{{"value", n}}; });
    ASSERT_TRUE(wrong.has_value());
    EXPECT_EQ(wrong->invoke(1).error().kind(), ActionError::Kind::InvalidArguments);
}

class RecordingAction final : public ApplicationAction {
public:
    explicit RecordingAction(bool accept) : accept_(accept) {}
    [[nodiscard]] std::string debug_text() const override { return "Recording"; }
    std::expected<void, ActionError> apply(page_doc::Document& /*doc*/) const override
    {
        ++applied;
        if (!accept_) {
            return std::unexpected(ActionError(ActionError::Kind::Rejected, "refused"));
        }
        return {};
    }
    [[nodiscard]] bool yes_no_query_a() const override { return false; }
    [[nodiscard]] bool yes_no_query_b() const override { return true; }
    [[nodiscard]] std::expected<std::string, std::string> write_payload() const override { return "\"Recording\""; }
    mutable int applied = 0;

private:
    bool accept_;
};

class NamedDecoder final : public ActionDecoder {
public:
    explicit NamedDecoder(std::string name, bool accept) : name_(std::move(name)), accept_(accept) {}
    [[nodiscard]] std::string_view name() const override { return name_; }
    [[nodiscard]] std::expected<std::unique_ptr<ApplicationAction>, ActionError> decode(
        std::string_view /*payload*/) const override
    {
        return std::make_unique<RecordingAction>(accept_);
    }

private:
    std::string name_;
    bool accept_;
};

TEST(ActionDecoderRegistry, ASecondRegistrationReplacesTheFirst)
{
    ActionDecoderRegistry registry;
    registry.insert("settings.action", std::make_unique<NamedDecoder>("settings.action", false));
    registry.insert("settings.action", std::make_unique<NamedDecoder>("settings.action", true));
    EXPECT_EQ(registry.size(), 1U);
    page_doc::Document doc;
    auto action = registry.decode("settings.action", "{}");
    ASSERT_TRUE(action.has_value());
    EXPECT_TRUE((*action)->apply(doc).has_value());  // the second decoder's action accepts
    EXPECT_EQ(registry.decode("settings.other", "{}").error().kind(), ActionError::Kind::UnknownAction);
}

TEST(Executor, AppliesThenReplicatesAndRefusalsReachNoTransport)
{
    page_doc::Document doc;
    const std::array<std::uint8_t, 2> actor{0xAB, 0xCD};
    const EncodedAction encoded{"settings.action", "\"Recording\""};

    LocalTransport transport;
    EXPECT_TRUE(transport.transport_check());
    const RecordingAction accepting(true);
    ASSERT_TRUE(executor::dispatch_by(doc, accepting, encoded, transport, actor).has_value());
    ActionContext context;
    context.label = "Recording";
    ASSERT_TRUE(executor::dispatch_by_with_context(doc, accepting, encoded, transport, actor, context).has_value());
    ASSERT_EQ(transport.records().size(), 2U);
    EXPECT_EQ(transport.records()[0], (ActionRecord{encoded, {0xAB, 0xCD}, std::nullopt}));
    EXPECT_EQ(transport.records()[1].context, context);

    const RecordingAction refusing(false);
    LocalTransport untouched;
    const auto refused = executor::dispatch_by(doc, refusing, encoded, untouched, actor);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().display(), "refused");
    EXPECT_TRUE(untouched.records().empty());
}

TEST(EncodedAction, FromPayloadWritesTextAsAJsonString)
{
    EXPECT_EQ(EncodedAction::from_payload("settings.open-pane", "displays"),
              (EncodedAction{"settings.open-pane", "\"displays\""}));
    EXPECT_EQ(EncodedAction::from_payload("k", "a\"b\\c\n\x01")->payload, R"("a\"b\\c\n\u0001")");
    const auto bad = EncodedAction::from_payload("k", std::string_view("\xFF"));
    ASSERT_FALSE(bad.has_value());
    EXPECT_EQ(bad.error().kind(), ActionError::Kind::PayloadEncoding);
}

}  // namespace
}  // namespace vorn_actions
