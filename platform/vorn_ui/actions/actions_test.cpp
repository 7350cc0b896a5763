// The toolkit's action plumbing: the emitter's backlog, typed dispatch through the action host, and a bound control
// whose operation travels the resource-operation route back to its own callback.

#include "vorn_actions/application.hpp"
#include "vorn_ui/actions/action_emitter.hpp"
#include "vorn_ui/actions/action_host.hpp"
#include "vorn_ui/actions/action_records.hpp"
#include "vorn_ui/actions/control_action.hpp"
#include "vorn_ui/actions/invocation_route.hpp"
#include "vorn_ui/testing/probe_widget.hpp"
#include "vorn_log/log.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <sstream>

namespace vorn_ui {
namespace {

using nlohmann::ordered_json;
using vorn_actions::ActionArgs;
using vorn_actions::ActionError;
using vorn_actions::ActionParam;
using vorn_actions::ActionSpec;
using vorn_actions::ControlInvocation;
using vorn_actions::EncodedAction;
using vorn_actions::ParamType;
using vorn_actions::Resource;

// Captures the log while it lives.
class LogCapture {
public:
    LogCapture()
    {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out_);
        sink->set_pattern("%v");
        vorn_log::set_sink(sink);
    }
    ~LogCapture() { vorn_log::set_sink(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    [[nodiscard]] std::size_t count(std::string_view text) const
    {
        const std::string all = out_.str();
        std::size_t n = 0;
        for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
            ++n;
        }
        return n;
    }
    [[nodiscard]] std::string text() const { return out_.str(); }

private:
    std::ostringstream out_;
};

// A level action whose handler refuses nothing: the payload is the value it got.
Resource level_resource()
{
    ActionSpec spec("volume", "Set output volume");
    spec.params = {ActionParam("value", "Value", ParamType::Number)};
    spec.handler = [](const ActionArgs& args) -> std::expected<EncodedAction, ActionError> {
        return EncodedAction{"settings.audio-operation", ordered_json(args.number("value").value_or(-1)).dump()};
    };
    return Resource("settings.section:sound", "settings.section", "Sound").with_action(std::move(spec));
}

ActionEmitter<double> level_emitter()
{
    auto binding = vorn_actions::ActionBinding<double>::for_action(
        level_resource(), "volume", [](const double& v) { return ordered_json{{"value", v}}; });
    return ActionEmitter<double>(std::move(*binding));
}

std::vector<double> drain(ActionEmitter<double>& emitter)
{
    std::vector<double> values;
    while (auto invocation = emitter.take()) {
        values.push_back(*invocation->arguments.number("value"));
    }
    return values;
}

TEST(ActionEmitter, BacklogKeepsTheNewestSixtyFour)
{
    struct Case {
        int emits;
        std::size_t warnings;
        double first_kept;
    };
    for (const Case c : {Case{64, 0, 0}, Case{65, 1, 1}, Case{130, 66, 66}}) {
        const LogCapture log;
        ActionEmitter<double> emitter = level_emitter();
        for (int i = 0; i < c.emits; ++i) {
            ASSERT_TRUE(emitter.emit(static_cast<double>(i)).has_value());
        }
        EXPECT_EQ(log.count("control invocation backlog full; evicting oldest intent"), c.warnings) << c.emits;
        const std::vector<double> kept = drain(emitter);
        ASSERT_EQ(kept.size(), control_invocation_backlog);
        EXPECT_EQ(kept.front(), c.first_kept);  // first in, first out
        EXPECT_EQ(kept.back(), c.emits - 1);
    }
}

TEST(ActionEmitter, DisabledRefusedAndEmptyCases)
{
    ActionEmitter<double> emitter = level_emitter();
    EXPECT_EQ(emitter.take(), std::nullopt);

    emitter.set_enabled(false);
    EXPECT_TRUE(emitter.emit(0.5).has_value());  // dropped, and still success
    EXPECT_TRUE(emitter.queue().empty());

    emitter.set_enabled(true);
    ASSERT_TRUE(emitter.emit(0.25).has_value());
    // A value the action refuses (a text for a number parameter) is answered and leaves the queue as it was.
    auto text_binding = vorn_actions::ActionBinding<std::string>::for_action(
        level_resource(), "volume", [](const std::string& v) { return ordered_json{{"value", v}}; });
    ActionEmitter<std::string> refusing(std::move(*text_binding));
    const auto refused = refusing.emit("loud");
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().kind(), ActionError::Kind::InvalidArguments);
    EXPECT_TRUE(refusing.queue().empty());
    EXPECT_EQ(drain(emitter), std::vector<double>{0.25});
}

// An application action that writes one string under a key, or refuses.
class PutAction final : public vorn_actions::ApplicationAction {
public:
    PutAction(std::string key, std::string value) : key_(std::move(key)), value_(std::move(value)) {}
    [[nodiscard]] std::string debug_text() const override { return "Put " + key_; }
    std::expected<void, ActionError> apply(page_doc::Document& doc) const override
    {
        if (value_.empty()) {
            return std::unexpected(ActionError(ActionError::Kind::Rejected, "empty value for " + key_));
        }
        doc.put_str(key_, value_);
        return {};
    }
    [[nodiscard]] bool yes_no_query_a() const override { return false; }
    [[nodiscard]] bool yes_no_query_b() const override { return true; }
    [[nodiscard]] std::expected<std::string, std::string> write_payload() const override
    {
        return ordered_json{{"Put", {{"key", key_}, {"value", value_}}}}.dump();
    }

private:
    std::string key_;
    std::string value_;
};

TEST(ActionHost, KeepsTheFirstBaselineAndTheLastSuccessfulAction)
{
    page_doc::Document doc;
    doc.put_bool("appearance.high_contrast", false);
    const std::vector<page_doc::ChangeHash> heads_before = doc.get_heads();

    ActionHost host;
    ASSERT_TRUE(host.dispatch_with_context(doc, "settings.action", PutAction("appearance.theme", "Dark"), {}));
    ASSERT_TRUE(host.dispatch_typed(doc, "settings.action", PutAction("appearance.theme", "Light"), {}));
    EXPECT_EQ(page_doc::doc_string(doc, "appearance.theme"), "Light");
    EXPECT_EQ(host.baseline_heads(), heads_before);
    ASSERT_TRUE(host.last_action().has_value());
    EXPECT_EQ(host.last_action()->payload, R"({"Put":{"key":"appearance.theme","value":"Light"}})");

    // A refused action: the error comes back to the caller and is logged; the host keeps what it had.
    const LogCapture log;
    const auto failed = host.dispatch_with_context(doc, "settings.action", PutAction("appearance.theme", ""), {});
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().display(), "empty value for appearance.theme");
    EXPECT_EQ(log.count("action dispatch failed"), 1U);
    EXPECT_THAT(log.text(), ::testing::HasSubstr("kind=settings.action"));
    EXPECT_EQ(host.last_action()->payload, R"({"Put":{"key":"appearance.theme","value":"Light"}})");
    EXPECT_EQ(host.baseline_heads(), heads_before);
    EXPECT_EQ(page_doc::doc_string(doc, "appearance.theme"), "Light");
}

TEST(ActionHost, RecordsTheSettledContextWithTheDocument)
{
    page_doc::Document doc;
    doc.put_str("appearance.theme", "Dark");
    const std::vector<page_doc::ChangeHash> before = doc.get_heads();

    ActionHost host;
    vorn_actions::ActionContext defaults;
    defaults.label = "Change appearance";
    defaults.application = vorn_actions::ActionApplication{"org.vorn.Settings", "Settings"};
    host.set_default_context(defaults);

    // Without a context of its own the call gets the host's.
    ASSERT_TRUE(host.dispatch_typed(doc, "settings.action", PutAction("appearance.theme", "Light"), std::nullopt));
    ASSERT_TRUE(host.last_record().has_value());
    const vorn_actions::ActionContext first = *host.last_record()->context;
    EXPECT_EQ(first.label, "Change appearance");
    ASSERT_TRUE(first.document.has_value());
    EXPECT_EQ(first.document->heads, before.at(0).to_hex());
    EXPECT_EQ(first.document->actor, doc.actor_id().to_hex_string());
    EXPECT_EQ(host.last_record()->actor,
              std::vector<std::uint8_t>(doc.actor_id().bytes.begin(), doc.actor_id().bytes.end()));

    // With both, the call's fields win and the host fills the rest.
    vorn_actions::ActionContext call;
    call.label = "Set setting";
    ASSERT_TRUE(host.dispatch_typed(doc, "settings.action", PutAction("appearance.theme", "Dark"), call));
    EXPECT_EQ(host.last_record()->context->label, "Set setting");
    EXPECT_EQ(host.last_record()->context->application, defaults.application);

    // Without any context the executor records none.
    ActionHost bare;
    ASSERT_TRUE(bare.dispatch_typed(doc, "settings.action", PutAction("appearance.theme", "Light"), std::nullopt));
    EXPECT_FALSE(bare.last_record()->context.has_value());
}

class RecordingRecorder final : public bound_dispatch::TypedActionRecorder {
public:
    std::vector<page_doc::ChangeHash> answer;
    std::vector<std::pair<std::vector<page_doc::ChangeHash>, std::vector<page_doc::ChangeHash>>> reports;
    std::optional<std::vector<page_doc::ChangeHash>> before(page_doc::Document& /*doc*/) override { return answer; }
    void report(page_doc::Document& /*doc*/, const std::vector<page_doc::ChangeHash>& before,
                const std::vector<page_doc::ChangeHash>& after) override
    {
        reports.emplace_back(before, after);
    }
};

TEST(ActionHost, ReportsToAnInstalledRecorder)
{
    page_doc::Document doc;
    RecordingRecorder recorder;
    recorder.answer = {page_doc::ChangeHash{{1}}};
    bound_dispatch::TypedActionRecorder* previous = bound_dispatch::install_recorder(&recorder);
    ActionHost host;
    ASSERT_TRUE(host.dispatch_typed(doc, "settings.action", PutAction("region.currency", "EUR"), {}));
    bound_dispatch::install_recorder(previous);

    ASSERT_EQ(recorder.reports.size(), 1U);
    EXPECT_EQ(recorder.reports[0].first, recorder.answer);
    EXPECT_EQ(recorder.reports[0].second, doc.get_heads());
    EXPECT_EQ(host.baseline_heads(), recorder.answer);
}

// A push button reduced to what binding needs: a label, an id, a click, and the Widget operations a bound control
// answers.
class TestButton final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::TestButton", "TestButton")

    TestButton(std::string id, std::string label) : id_(std::move(id)), label_(std::move(label)) {}

    // What Button::bind_action does with the API.
    void bind_action(std::optional<bool> flag, std::function<void()> callback)
    {
        ControlInvokeTarget target = ControlInvokeTarget::bind(id_, label_, flag, std::move(callback));
        on_action(target.binding());
        invoke_.emplace(std::move(target));
    }
    void on_action(vorn_actions::ActionBinding<vorn_actions::Unit> binding) { action_.emplace(std::move(binding)); }
    void click()
    {
        if (action_ && is_enabled()) {
            (void)action_->emit(vorn_actions::Unit{});
        }
    }

    [[nodiscard]] std::vector<Resource> resources(const page_doc::Document& /*doc*/) const override
    {
        return invoke_ ? std::vector<Resource>{invoke_->resource()} : std::vector<Resource>{};
    }
    [[nodiscard]] std::unordered_set<std::string> resource_operation_handlers() const override
    {
        std::unordered_set<std::string> kinds = Widget::resource_operation_handlers();
        if (invoke_) {
            kinds.emplace(control_invoke_kind);
        }
        return kinds;
    }
    ResourceOperationResult invoke_resource_operation_v2(OperationClass op_class, std::string_view kind,
                                                         std::string_view payload, page_doc::Document& doc) override
    {
        if (invoke_ && invoke_->handles(kind, payload)) {
            return invoke_->invoke(kind, payload);
        }
        return Widget::invoke_resource_operation_v2(op_class, kind, payload, doc);
    }
    std::optional<ControlInvocation> take_control_invocation() override
    {
        return action_ ? action_->take_control_invocation() : std::nullopt;
    }
    [[nodiscard]] std::vector<ControlActionBinding> control_action_bindings() const override
    {
        std::vector<ControlActionBinding> bindings = Widget::control_action_bindings();
        if (action_) {
            bindings.insert(bindings.begin(), action_->control_binding());
        }
        return bindings;
    }
    void refresh_control_action_availability(const ActionAvailability& availability) override
    {
        if (action_) {
            action_->refresh_availability(availability);
        }
    }
    [[nodiscard]] bool is_enabled() const override { return !action_ || action_->is_available(); }

    void sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) override {}
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& /*style*/, NodeWidgetMap& widgets) override
    {
        const NodeId own = tree.new_measured_leaf({});
        widgets.insert(own, *this);
        return own;
    }
    void apply_layout(const flex_layout::Tree& /*tree*/, NodeId /*node*/, double /*x*/, double /*y*/) override {}
    void draw(DrawContext& /*ctx*/) const override {}
    void handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) override {}
    [[nodiscard]] Rect get_rect() const override { return {}; }

private:
    std::string id_;
    std::string label_;
    std::optional<ControlAction<vorn_actions::Unit>> action_;
    std::optional<ControlInvokeTarget> invoke_;
};

TEST(BoundControl, ClickReachesItsCallbackThroughTheResourceOperationRoute)
{
    testing::ProbeWidget root("root");
    root.add("sidebar");
    root.kids.push_back(std::make_unique<TestButton>("about.disks", "Open Disks"));
    auto& disks = static_cast<TestButton&>(*root.kids.back());
    root.kids.push_back(std::make_unique<TestButton>("about.backups", "Open Backups"));
    auto& backups = static_cast<TestButton&>(*root.kids.back());
    int disks_opened = 0;
    int backups_opened = 0;
    disks.bind_action(true, [&] { ++disks_opened; });
    backups.bind_action(true, [&] { ++backups_opened; });

    EXPECT_TRUE(root.has_action_control_bindings());
    EXPECT_EQ(root.resource_operation_handlers().count(std::string(control_invoke_kind)), 1U);
    EXPECT_EQ(root.take_control_invocation(), std::nullopt);

    disks.click();
    const std::optional<ControlInvocation> invocation = root.take_control_invocation();
    ASSERT_TRUE(invocation.has_value());
    EXPECT_EQ(*invocation, (ControlInvocation{"vorn.control:about.disks", "invoke", ActionArgs()}));

    page_doc::Document doc;
    const vorn_actions::ActionDecoderRegistry registry;  // nothing registered: the operation goes to the tree
    const auto routed = run_control_invocation(root, doc, registry, *invocation, OperationId::from_parts(0, 1));
    ASSERT_TRUE(routed.has_value()) << routed.error().display();
    EXPECT_EQ(routed->action, (EncodedAction{"vorn.ui.control.invoke", "\"about.disks\""}));
    ASSERT_TRUE(routed->start.has_value());
    EXPECT_EQ(routed->start->kind, ResourceOperationStart::Kind::Completed);
    EXPECT_EQ(disks_opened, 1);
    EXPECT_EQ(backups_opened, 0);

    // An invocation for an action nobody publishes goes nowhere.
    const auto lost = run_control_invocation(root, doc, registry, {"vorn.control:gone", "invoke", ActionArgs()},
                                             OperationId::from_parts(0, 2));
    ASSERT_FALSE(lost.has_value());
    EXPECT_EQ(lost.error().kind(), ActionError::Kind::UnknownAction);
}

TEST(BoundControl, UnavailableActionDisablesTheControl)
{
    TestButton button("about.disks", "Open Disks");
    button.bind_action(true, [] {});
    struct Nothing final : ActionAvailability {
        [[nodiscard]] bool is_available(const vorn_actions::ActionAddress& /*address*/) const override { return false; }
    };
    button.refresh_control_action_availability(Nothing{});
    EXPECT_FALSE(button.is_enabled());
    button.click();
    EXPECT_EQ(button.take_control_invocation(), std::nullopt);
}

class PutDecoder final : public vorn_actions::ActionDecoder {
public:
    [[nodiscard]] std::string_view name() const override { return "test.put"; }
    [[nodiscard]] std::expected<std::unique_ptr<vorn_actions::ApplicationAction>, ActionError> decode(
        std::string_view payload) const override
    {
        return std::make_unique<PutAction>("test.key", std::string(payload));
    }
};

TEST(InvocationRoute, RegisteredKindsAreAppliedToTheDocument)
{
    ActionSpec spec("name", "Set name");
    spec.params = {ActionParam("choice", "Choice", ParamType::Text)};
    spec.handler = [](const ActionArgs& args) -> std::expected<EncodedAction, ActionError> {
        return EncodedAction{"test.put", args.text("choice").value_or("")};
    };
    testing::ProbeWidget root("root");
    root.kids.push_back(std::make_unique<TestButton>("unused", "Unused"));
    vorn_actions::ActionDecoderRegistry registry;
    registry.insert("test.put", std::make_unique<PutDecoder>());

    struct Publisher final : testing::ProbeWidget {
        using ProbeWidget::ProbeWidget;
        Resource published;
        [[nodiscard]] std::vector<Resource> resources(const page_doc::Document& /*doc*/) const override
        {
            return {Resource("settings.root", "settings.root", "Settings").with_child(published)};
        }
    };
    auto publisher = std::make_unique<Publisher>("page");
    publisher->published = Resource("test.page", "test", "Page").with_action(std::move(spec));
    root.kids.push_back(std::move(publisher));

    page_doc::Document doc;
    const auto applied = run_control_invocation(root, doc, registry,
                                                {"test.page", "name", ActionArgs(ordered_json{{"choice", "Ada"}})},
                                                OperationId::from_parts(0, 3));
    ASSERT_TRUE(applied.has_value()) << applied.error().display();
    EXPECT_FALSE(applied->start.has_value());
    EXPECT_EQ(page_doc::doc_string(doc, "test.key"), "Ada");

    const auto refused = run_control_invocation(root, doc, registry, {"test.page", "name", ActionArgs()},
                                                OperationId::from_parts(0, 4));
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().display(), "empty value for test.key");
}

TEST(ActionRecords, ContextsAndSearchEntries)
{
    struct Case {
        std::expected<std::string, std::string> payload;
        std::string label;
    };
    const std::array cases{
        Case{R"({"SetSetting":{"key":"a","value":{"Bool":true}}})", "Set setting"},
        Case{R"("CleanupCaches")", "Cleanup caches"},
        Case{"3", "Update"},
        Case{"[1]", "Update"},
        Case{R"({"A":1,"B":2})", "Update"},
        Case{"null", "Update"},
        Case{std::unexpected(std::string("invalid UTF-8")), "Update"},
    };
    for (const Case& c : cases) {
        const vorn_actions::ActionContext context = action_context_from_payload("org.vorn.Settings", "Settings", c.payload);
        EXPECT_EQ(context.label, c.label);
        EXPECT_EQ(context.application, (vorn_actions::ActionApplication{"org.vorn.Settings", "Settings"}));
    }

    const vorn_actions::ActionContext labelled = action_context_entry(
        action_context_with_label("Change accessibility preferences", "settings.preference:accessibility",
                                  "settings.preference-pane", "Accessibility"),
        "org.vorn.Settings", "Settings");
    EXPECT_EQ(labelled.label, "Change accessibility preferences");
    EXPECT_EQ(labelled.subject->kind, "settings.preference-pane");
    EXPECT_EQ(labelled.application->name, "Settings");

    const SearchEntry entry = SearchEntry::for_action("Personal Settings", "Displays",
                                                      {"settings.section:displays", "open"})
                                  .with_description("Brightness, night light and arrangement");
    EXPECT_EQ(entry.id, std::string("\x01") + "action\x1F" + "settings.section:displays#open");
    EXPECT_EQ(entry.icon, SearchEntry::no_icon);
    EXPECT_EQ(entry.number, 0U);
    EXPECT_EQ(search_entry_action(entry.id), (vorn_actions::ActionAddress{"settings.section:displays", "open"}));
    EXPECT_EQ(search_entry_action("displays"), std::nullopt);
}

}  // namespace
}  // namespace vorn_ui
