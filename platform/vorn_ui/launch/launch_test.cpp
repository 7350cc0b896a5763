// The UI loop end to end, headless: input → invocation → operation → poll → completion; wakes from worker threads;
// idle windows; deadlines of pending operations; the toolkit's persisted state.
#include "page_doc/page_doc.hpp"
#include "vorn_actions/context.hpp"
#include "vorn_actions/resource.hpp"
#include "vorn_ui/launch.hpp"
#include "vorn_ui/persist.hpp"
#include "vorn_ui/state.hpp"
#include "vorn_ui/widget.hpp"
#include "vorn_ui/widgets/row.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace vorn_ui::launch {
namespace {

using namespace std::chrono_literals;
using vorn_actions::ActionArgs;
using vorn_actions::ActionError;
using vorn_actions::ActionParam;
using vorn_actions::ActionSpec;
using vorn_actions::EncodedAction;
using vorn_actions::ParamType;
using vorn_actions::Resource;

constexpr std::string_view kDeviceKind = "test.device-operation";

// A small switch: a click flips it and queues an invocation of its bound action.
class TestSwitch final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::launch::TestSwitch", "TestSwitch")

    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& /*style*/, NodeWidgetMap& widgets) override
    {
        flex_layout::Style style;
        style.width = flex_layout::Dimension::points(80);
        style.height = flex_layout::Dimension::points(40);
        const NodeId node = tree.new_leaf(style);
        widgets.insert(node, *this);
        return node;
    }
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double x, double y) override
    {
        rect_ = rect_from_layout(tree, node, x, y);
    }
    void sync(page_doc::Document& /*doc*/, SyncContext& /*ctx*/) override {}
    void draw(DrawContext& /*ctx*/) const override {}
    void handle_event(const Event& event, DispatchContext& ctx) override
    {
        const auto* button = event.get<PointerButton>();
        const std::optional<Point> at = ctx.pointer(event);
        if (button != nullptr && !button->pressed && at && rect_.contains(*at)) {
            on_ = !on_;
            queued_.push_back({"test.device", "set-enabled", ActionArgs(nlohmann::ordered_json{{"value", on_}})});
            ctx.changed = ctx.handled = true;
        }
    }
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    std::optional<ControlInvocation> take_control_invocation() override
    {
        if (queued_.empty()) {
            return std::nullopt;
        }
        ControlInvocation first = std::move(queued_.front());
        queued_.erase(queued_.begin());
        return first;
    }
    [[nodiscard]] std::vector<Resource> resources(const page_doc::Document& /*doc*/) const override
    {
        ActionSpec spec("set-enabled", "Enabled");
        spec.params = {ActionParam("value", "Enabled", ParamType::Boolean)};
        spec.effect_class = 1;
        spec.handler = [](const ActionArgs& args) -> std::expected<EncodedAction, ActionError> {
            return EncodedAction{std::string(kDeviceKind),
                                 nlohmann::ordered_json{{"enabled", args.boolean("value").value_or(false)}}.dump()};
        };
        return {Resource("test.device", "test", "Device").with_action(std::move(spec))};
    }

    void refresh_control_action_availability(const ActionAvailability& availability) override
    {
        ++refreshes;
        bound_available = availability.is_available({"test.device", "set-enabled"});
        other_available = availability.is_available({"test.device", "reset"});
    }

    bool on_ = false;
    int refreshes = 0;
    bool bound_available = false;
    bool other_available = true;

private:
    Rect rect_{};
    std::vector<ControlInvocation> queued_;
};

// Takes the device operation, answers Pending, and reports the outcome once `finish` was set. With
// `ignore_cancel` it never ends, cancel or not.
class DeviceHost final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::launch::DeviceHost", "DeviceHost")

    DeviceHost() = default;
    DeviceHost(const DeviceHost&) = delete;
    DeviceHost& operator=(const DeviceHost&) = delete;
    ~DeviceHost() override
    {
        // What a page sees while it is destroyed at shut-down: its last publication is refused.
        if (on_destroy) {
            on_destroy(status.publish(-1).has_value());
        }
    }
    std::function<void(bool published)> on_destroy;

    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& /*style*/, NodeWidgetMap& widgets) override
    {
        const NodeId node = tree.new_leaf({});
        widgets.insert(node, *this);
        return node;
    }
    void apply_layout(const flex_layout::Tree& /*tree*/, NodeId /*node*/, double /*x*/, double /*y*/) override {}
    void sync(page_doc::Document& /*doc*/, SyncContext& ctx) override
    {
        ++syncs;
        if (const auto seen = status.version(); seen != status_seen_) {
            status_seen_ = seen;
            ctx.changed = true;
        }
    }
    void draw(DrawContext& /*ctx*/) const override {}
    void handle_event(const Event& /*event*/, DispatchContext& /*ctx*/) override {}
    [[nodiscard]] Rect get_rect() const override { return {}; }

    ResourceOperationStart start_resource_operation_with_document(OperationId id, OperationClass op_class,
                                                                  std::string_view kind, std::string_view payload,
                                                                  page_doc::Document& /*doc*/) override
    {
        if (kind != kDeviceKind) {
            return ResourceOperationStart::not_handled();
        }
        started = id;
        started_class = op_class;
        started_payload = std::string(payload);
        return ResourceOperationStart::pending();
    }
    std::optional<OperationCompletion> poll_resource_operation(OperationId id, bool cancel, WordPair /*extra*/) override
    {
        ++polls;
        if (!started || !(*started == id)) {
            return std::nullopt;
        }
        cancel_seen = cancel_seen || cancel;
        if (ignore_cancel || !finish.load()) {
            if (cancel && !ignore_cancel) {
                started.reset();
                return OperationCompletion::cancelled(id, "cancelled");
            }
            return std::nullopt;
        }
        started.reset();
        return OperationCompletion::completed_with(id, CompletedOperation{{{"enabled", "yes"}}, std::nullopt});
    }

    std::optional<OperationId> started;
    OperationClass started_class = OperationClass::Unclassified;
    std::string started_payload;
    std::atomic<bool> finish{false};
    bool ignore_cancel = false;
    bool cancel_seen = false;
    int polls = 0;
    int syncs = 0;
    LocalState<int> status{0};  // created after the runtime installed its hub: publications wake that loop

private:
    std::uint64_t status_seen_ = 0;
};

struct Fixture {
    TestSwitch* toggle = nullptr;
    DeviceHost* host = nullptr;
    std::unique_ptr<Runtime> runtime;

    explicit Fixture(LoopOptions options = {})
    {
        LaunchConfig config;
        config.application_id = "so.vorn.test";
        config.root_factory = [this]() -> std::unique_ptr<Widget> {
            auto toggle_widget = std::make_unique<TestSwitch>();
            auto host_widget = std::make_unique<DeviceHost>();
            toggle = toggle_widget.get();
            host = host_widget.get();
            return std::make_unique<Column>(Column().push(std::move(toggle_widget)).push(std::move(host_widget)));
        };
        config.app_hook = [](app::App& app) {
            app.runs_control_invocations = true;
            app.refreshes_control_availability = true;
        };
        config.default_window_size = [] { return std::pair<std::uint32_t, std::uint32_t>{400, 300}; };
        runtime = std::make_unique<Runtime>(config, options);
        runtime->step();  // the first frame
    }

    void click_toggle()
    {
        const Rect r = toggle->get_rect();
        const Point c{(r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2};
        runtime->inject(PointerButton{c, MouseButton::Left, true});
        runtime->inject(PointerButton{c, MouseButton::Left, false});
        runtime->step();
    }
};

TEST(UiLoop, ToggleClickStartsAnOperationOnTheRootThatIsPolledToCompletion)
{
    Fixture f;
    EXPECT_EQ(f.runtime->counters().frames, 1U);
    EXPECT_EQ(f.runtime->window().size().width, 400.0);

    f.click_toggle();
    ASSERT_TRUE(f.toggle->on_);
    ASSERT_TRUE(f.host->started.has_value());
    EXPECT_EQ(f.host->started_class, OperationClass::Effect);
    EXPECT_EQ(f.host->started_payload, R"({"enabled":true})");
    ASSERT_EQ(f.runtime->app().pending_operations().size(), 1U);
    const OperationId id = *f.host->started;

    // Still pending: the loop keeps polling at its poll interval, and nothing completes.
    f.runtime->advance(60ms);
    f.runtime->step();
    EXPECT_GE(f.host->polls, 1);
    EXPECT_TRUE(f.runtime->app().recent_completions().empty());

    f.host->finish = true;
    f.runtime->advance(60ms);
    const auto pass = f.runtime->step();
    EXPECT_TRUE(pass.drew);  // a completion is shown
    EXPECT_TRUE(f.runtime->app().pending_operations().empty());
    ASSERT_EQ(f.runtime->app().recent_completions().size(), 1U);
    const OperationCompletion& done = f.runtime->app().recent_completions().back();
    EXPECT_EQ(done.kind, OperationCompletion::Kind::Completed);
    EXPECT_EQ(done.id, id);
    EXPECT_FALSE(f.host->cancel_seen);
}

TEST(UiLoop, CtrlWAndCtrlQCloseTheWindowAndOtherKeysDoNot)
{
    struct Case {
        char32_t character;
        Modifiers modifiers;
        bool closes;
    };
    const std::vector<Case> cases{
        {U'w', Modifiers{.control = true}, true},
        {U'q', Modifiers{.control = true}, true},
        {U'w', Modifiers{}, false},
        {U'q', Modifiers{.shift = true, .control = true}, false},
        {U'q', Modifiers{.control = true, .alt = true}, false},
        {U'f', Modifiers{.control = true}, false},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.runtime->inject(KeyDown{Key::Character, c.character, c.modifiers, false});
        f.runtime->step();
        EXPECT_EQ(f.runtime->app().quit_requested(), c.closes)
            << static_cast<char>(c.character) << " control=" << c.modifiers.control << " shift=" << c.modifiers.shift
            << " alt=" << c.modifiers.alt;
    }
}

TEST(UiLoop, ControlAvailabilityIsRefreshedOnTheFirstFrameAndAfterStructureChanges)
{
    Fixture f;
    EXPECT_EQ(f.toggle->refreshes, 1);
    EXPECT_TRUE(f.toggle->bound_available);
    EXPECT_FALSE(f.toggle->other_available);
    f.click_toggle();  // no structure change: no refresh
    EXPECT_EQ(f.toggle->refreshes, 1);
}

TEST(UiLoop, AnOperationThatIgnoresCancelIsEndedAfterItsDeadline)
{
    Fixture f;
    f.runtime->app().operation_deadline = 5s;
    f.runtime->app().cancel_grace = 1s;
    f.host->ignore_cancel = true;
    f.click_toggle();
    ASSERT_EQ(f.runtime->app().pending_operations().size(), 1U);

    f.runtime->advance(5s);
    f.runtime->step();  // asked to cancel
    EXPECT_TRUE(f.host->cancel_seen);
    EXPECT_EQ(f.runtime->app().pending_operations().size(), 1U);
    // The loop wants to run again by the end of the grace, without input.
    const auto next = f.runtime->loop().next_deadline(f.runtime->now());
    ASSERT_TRUE(next.has_value());
    EXPECT_LE(*next, f.runtime->now() + 1s);

    f.runtime->advance(1s);
    f.runtime->step();
    EXPECT_TRUE(f.runtime->app().pending_operations().empty());
    ASSERT_EQ(f.runtime->app().recent_completions().size(), 1U);
    EXPECT_EQ(f.runtime->app().recent_completions().back().kind, OperationCompletion::Kind::Cancelled);
    // Nothing is polled any more.
    const int polls = f.host->polls;
    f.runtime->advance(10s);
    f.runtime->step();
    EXPECT_EQ(f.host->polls, polls);
}

TEST(UiLoop, AnOperationThatHonoursCancelEndsAtTheDeadline)
{
    Fixture f;
    f.runtime->app().operation_deadline = 2s;
    f.click_toggle();
    f.runtime->advance(2s);
    f.runtime->step();
    EXPECT_TRUE(f.runtime->app().pending_operations().empty());
    ASSERT_EQ(f.runtime->app().recent_completions().size(), 1U);
    EXPECT_EQ(f.runtime->app().recent_completions().back().message, "cancelled");
}

TEST(UiLoop, AWorkerPublicationWakesTheLoopAndTheChangeIsDrawn)
{
    Fixture f;
    const auto frames = f.runtime->counters().frames;
    std::thread worker([&] { ASSERT_TRUE(f.host->status.publish(7).has_value()); });
    EXPECT_TRUE(f.runtime->wait(10s));
    worker.join();
    const auto pass = f.runtime->step();
    EXPECT_TRUE(pass.drew);
    EXPECT_EQ(f.runtime->counters().frames, frames + 1);
    EXPECT_EQ(f.runtime->counters().wakes, 1U);
}

TEST(UiLoop, APublicationBetweenTheCheckAndTheSleepIsNotLost)
{
    Fixture f;
    // Nothing is due: the loop decides to sleep; a worker publishes right then.
    EXPECT_FALSE(f.runtime->step().synced);
    f.runtime->before_sleep = [&] {
        std::thread worker([&] { (void)f.host->status.publish(1); });
        worker.join();
    };
    EXPECT_TRUE(f.runtime->wait(10s));
    f.runtime->before_sleep = nullptr;
    EXPECT_TRUE(f.runtime->step().drew);
}

TEST(UiLoop, APublicationDuringAPassWakesTheLoopAgain)
{
    Fixture f;
    (void)f.host->status.publish(1);
    f.runtime->step();  // takes the wake, then:
    (void)f.host->status.publish(2);
    EXPECT_TRUE(f.runtime->wait(10s));
    EXPECT_TRUE(f.runtime->step().drew);
}

TEST(UiLoop, AnIdleWindowDrawsNoFramesAndStopsTheHeartbeat)
{
    Fixture f(LoopOptions{.heartbeat = 250ms, .heartbeat_linger = 2s});
    const auto frames = f.runtime->counters().frames;
    for (int i = 0; i < 20; ++i) {
        f.runtime->advance(250ms);
        f.runtime->step();
    }
    EXPECT_EQ(f.runtime->counters().frames, frames);
    EXPECT_GT(f.runtime->counters().heartbeats, 0U);  // workers that never wake got their sync passes...
    // ...but once the linger is over, nothing is due: the loop would block until input.
    EXPECT_FALSE(f.runtime->loop().next_deadline(f.runtime->now()).has_value());
    const auto syncs = f.runtime->counters().sync_passes;
    f.runtime->advance(1h);
    EXPECT_FALSE(f.runtime->step().synced);
    EXPECT_EQ(f.runtime->counters().sync_passes, syncs);
    EXPECT_FALSE(f.runtime->wait(20ms));
}

TEST(UiLoop, PublicationsAfterShutDownAreRefused)
{
    Fixture f;
    std::optional<bool> published_while_destroyed;
    f.host->on_destroy = [&](bool published) { published_while_destroyed = published; };
    LocalState<int> cell = f.host->status;
    f.runtime->shut_down();
    const auto refused = cell.publish(3);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().reason, PublishRefusal::LoopClosed);
    // The loop closed before the root was destroyed.
    EXPECT_EQ(published_while_destroyed, std::optional<bool>(false));
}

TEST(ToolkitState, RoundTripsAndIgnoresDamage)
{
    const auto dir = std::filesystem::temp_directory_path() / ("vorn-persist-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    persist::Store store(dir / "so.vorn.test" / "toolkit-state.json");
    EXPECT_EQ(store.load(), persist::ToolkitState{});
    ASSERT_TRUE(store.save({1024, 700}).has_value());
    EXPECT_EQ(store.load(), (persist::ToolkitState{1024, 700}));

    struct Case {
        const char* text;
        persist::ToolkitState expected;
    };
    for (const Case& c : {Case{"not json", {}}, Case{R"({"window":{"width":5,"height":700}})", {}},
                          Case{R"({"window":{"width":-1,"height":700}})", {}},
                          Case{R"({"window":{"width":900,"height":600},"other":1})", {900, 600}}}) {
        std::ofstream(store.file()) << c.text;
        EXPECT_EQ(store.load(), c.expected) << c.text;
    }
    EXPECT_EQ(persist::open("../escape"), nullptr);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vorn_ui::launch
