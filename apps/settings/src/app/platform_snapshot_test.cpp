// The resource tree served from the machine's snapshot: a request never waits for a system query that hangs, a
// refresh brings the new state, the tree from a snapshot is the tree of the machine itself, finished operations
// and old snapshots ask for a new one, and the application can go while a query still hangs.
#include "app/platform_snapshot.hpp"

#include "actions/catalogue/catalogue.hpp"
#include "actions/payloads/codec.hpp"
#include "actions/payloads/operations.hpp"
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "cmd_runner/cmd_runner.hpp"
#include "page_doc/page_doc.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>

namespace settings::app {
namespace {

using catalogue::FakePlatform;
using vorn_actions::Resource;

// A fake machine whose system queries wait while its gate is closed (the settings file and the layout catalogue,
// which are read on the calling thread, never wait).
class GatedPlatform final : public catalogue::CataloguePlatform {
public:
    explicit GatedPlatform(FakePlatform answers) : answers_(std::move(answers)) {}

    void close_gate()
    {
        const std::lock_guard lock(mutex_);
        open_ = false;
    }
    void open_gate()
    {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Whether a query is waiting at the gate (waits a few seconds for one to arrive).
    bool wait_until_blocked()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return waiting_ > 0; });
    }
    void change(const std::function<void(FakePlatform&)>& edit)
    {
        const std::lock_guard lock(mutex_);
        edit(answers_);
    }

    prefs::SettingsFile settings_file() override { return answers_.settings_file(); }
    std::span<const keyboard_layouts::KeyboardLayout> keyboard_layouts() override
    {
        return answers_.keyboard_layouts();
    }
    std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> display_snapshot() override
    {
        return gated([](FakePlatform& p) { return p.display_snapshot(); });
    }
    sound_graph::audio::AudioGraph audio_graph() override
    {
        return gated([](FakePlatform& p) { return p.audio_graph(); });
    }
    std::optional<system_ops::battery::ChargeCapability> charge_capability() override
    {
        return gated([](FakePlatform& p) { return p.charge_capability(); });
    }
    catalogue::Listed<system_ops::bluez::BluetoothDevice> bluetooth_devices() override
    {
        return gated([](FakePlatform& p) { return p.bluetooth_devices(); });
    }
    catalogue::Listed<system_ops::printing::PrintQueue> print_queues() override
    {
        return gated([](FakePlatform& p) { return p.print_queues(); });
    }
    catalogue::Listed<system_ops::printing::PrintJob> print_jobs() override
    {
        return gated([](FakePlatform& p) { return p.print_jobs(); });
    }
    catalogue::Listed<catalogue::LocalUser> local_users() override
    {
        return gated([](FakePlatform& p) { return p.local_users(); });
    }
    std::vector<catalogue::Workspace> workspaces() override
    {
        return gated([](FakePlatform& p) { return p.workspaces(); });
    }
    std::vector<catalogue::AppEntry> notification_apps() override
    {
        return gated([](FakePlatform& p) { return p.notification_apps(); });
    }
    std::vector<catalogue::AppEntry> installed_apps() override
    {
        return gated([](FakePlatform& p) { return p.installed_apps(); });
    }
    std::vector<catalogue::DefaultAppKind> default_app_kinds() override
    {
        return gated([](FakePlatform& p) { return p.default_app_kinds(); });
    }
    std::vector<model_providers::ProviderProfile> provider_profiles() override
    {
        return gated([](FakePlatform& p) { return p.provider_profiles(); });
    }
    catalogue::LocalModelSnapshot local_models() override
    {
        return gated([](FakePlatform& p) { return p.local_models(); });
    }
    bool has_screen_reader_engine() override
    {
        return gated([](FakePlatform& p) { return p.has_screen_reader_engine(); });
    }
    bool has_on_screen_keyboard() override
    {
        return gated([](FakePlatform& p) { return p.has_on_screen_keyboard(); });
    }

private:
    template <class Query>
    std::invoke_result_t<Query, FakePlatform&> gated(Query query)
    {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        --waiting_;
        return query(answers_);
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    int waiting_ = 0;
    FakePlatform answers_;
};

// A machine whose Bluetooth query waits for a tool that hangs (a sleep with a name of its own).
class HangingToolPlatform final : public catalogue::CataloguePlatform {
public:
    static constexpr std::string_view kTool = "sleep 31.4159";

    explicit HangingToolPlatform(FakePlatform answers) : answers_(std::move(answers)) {}

    bool wait_until_started()
    {
        std::unique_lock lock(mutex_);
        return started_cv_.wait_for(lock, std::chrono::seconds(10), [&] { return started_; });
    }

    prefs::SettingsFile settings_file() override { return answers_.settings_file(); }
    std::span<const keyboard_layouts::KeyboardLayout> keyboard_layouts() override
    {
        return answers_.keyboard_layouts();
    }
    catalogue::Listed<system_ops::bluez::BluetoothDevice> bluetooth_devices() override
    {
        {
            const std::lock_guard lock(mutex_);
            started_ = true;
            started_cv_.notify_all();
        }
        cmd_runner::Command sleep{.program = "sleep", .args = {"31.4159"}};
        sleep.time_limit = std::chrono::seconds(60);
        (void)cmd_runner::run(sleep);
        return answers_.bluetooth_devices();
    }
    std::expected<config_sections::hardware::DisplayHardwareSnapshot, std::string> display_snapshot() override
    {
        return answers_.display_snapshot();
    }
    sound_graph::audio::AudioGraph audio_graph() override { return answers_.audio_graph(); }
    std::optional<system_ops::battery::ChargeCapability> charge_capability() override
    {
        return answers_.charge_capability();
    }
    catalogue::Listed<system_ops::printing::PrintQueue> print_queues() override { return answers_.print_queues(); }
    catalogue::Listed<system_ops::printing::PrintJob> print_jobs() override { return answers_.print_jobs(); }
    catalogue::Listed<catalogue::LocalUser> local_users() override { return answers_.local_users(); }
    std::vector<catalogue::Workspace> workspaces() override { return answers_.workspaces(); }
    std::vector<catalogue::AppEntry> notification_apps() override { return answers_.notification_apps(); }
    std::vector<catalogue::AppEntry> installed_apps() override { return answers_.installed_apps(); }
    std::vector<catalogue::DefaultAppKind> default_app_kinds() override { return answers_.default_app_kinds(); }
    std::vector<model_providers::ProviderProfile> provider_profiles() override
    {
        return answers_.provider_profiles();
    }
    catalogue::LocalModelSnapshot local_models() override { return answers_.local_models(); }
    bool has_screen_reader_engine() override { return answers_.has_screen_reader_engine(); }
    bool has_on_screen_keyboard() override { return answers_.has_on_screen_keyboard(); }

private:
    std::mutex mutex_;
    std::condition_variable started_cv_;
    bool started_ = false;
    FakePlatform answers_;
};

bool tool_running(std::string_view command_line)
{
    const std::string pattern = "^" + std::string(command_line) + "$";
    cmd_runner::Command pgrep{.program = "pgrep", .args = {"-f", pattern}};
    const auto found = cmd_runner::run(pgrep);
    return found && found->status.success();
}

// Polls `condition` for up to ten seconds (the worker runs on its own thread).
bool eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 1000; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

bool has_resource(const std::vector<Resource>& roots, std::string_view id)
{
    return !roots.empty() && catalogue::find_resource_in(roots.front(), id) != nullptr;
}

// Two trees publish the same contract: ids, kinds, titles and every action's published description.
void expect_same_tree(const Resource& a, const Resource& b)
{
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.kind, b.kind) << a.id;
    EXPECT_EQ(a.title, b.title) << a.id;
    ASSERT_EQ(a.actions.size(), b.actions.size()) << a.id;
    for (std::size_t i = 0; i < a.actions.size(); ++i) {
        const auto& x = a.actions[i];
        const auto& y = b.actions[i];
        EXPECT_EQ(x.id, y.id) << a.id;
        EXPECT_EQ(x.title, y.title) << a.id << " " << x.id;
        EXPECT_EQ(x.params, y.params) << a.id << " " << x.id;
        EXPECT_EQ(x.operation_kind, y.operation_kind) << a.id << " " << x.id;
        EXPECT_EQ(x.input, y.input) << a.id << " " << x.id;
        EXPECT_EQ(x.contract, y.contract) << a.id << " " << x.id;
        EXPECT_EQ(x.effect_class, y.effect_class) << a.id << " " << x.id;
        EXPECT_EQ(x.is_privileged, y.is_privileged) << a.id << " " << x.id;
        EXPECT_EQ(x.is_destructive, y.is_destructive) << a.id << " " << x.id;
    }
    ASSERT_EQ(a.children.size(), b.children.size()) << a.id;
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        expect_same_tree(a.children[i], b.children[i]);
    }
}

class SnapshotApp : public ::testing::Test {
protected:
    testing::PrivateHome home;
    page_doc::Document doc;
    std::shared_ptr<GatedPlatform> machine = std::make_shared<GatedPlatform>(FakePlatform::sample());

    std::unique_ptr<SettingsApp> make_app()
    {
        return SettingsApp::create(SettingsAppOptions{.catalogue_platform = machine});
    }
};

TEST_F(SnapshotApp, AWholeTreeRequestDoesNotWaitForABlockedQueryAndARefreshBringsTheNewState)
{
    machine->close_gate();
    auto app = make_app();
    ASSERT_TRUE(machine->wait_until_blocked());

    // Before the first snapshot: every section with its actions, no objects of the machine.
    const auto before = app->resources(doc);
    ASSERT_EQ(before.size(), 1U);
    EXPECT_EQ(before.front().children.size(), Section::kCount);
    EXPECT_FALSE(has_resource(before, "settings.printer:Office"));
    EXPECT_FALSE(app->resolve_resource(doc, "settings.printer:Office").has_value());
    EXPECT_TRUE(app->resolve_resource(doc, "settings.section:printers").has_value());
    EXPECT_EQ(app->platform_snapshot().version(), 0U);

    machine->open_gate();
    ASSERT_TRUE(eventually([&] { return app->platform_snapshot().version() == 1; }));
    // The window asked before the snapshot: it checks its controls again.
    EXPECT_TRUE(app->take_structure_dirty());
    EXPECT_FALSE(app->take_structure_dirty());
    const auto after = app->resources(doc);
    EXPECT_TRUE(has_resource(after, "settings.printer:Office"));
    EXPECT_TRUE(has_resource(after, "settings.bluetooth-device:/org/bluez/hci0/dev_AA_BB_CC_DD_EE_01"));
    EXPECT_TRUE(app->resolve_resource(doc, "settings.printer:Labels").has_value());

    // The machine changes; a refresh is blocked again, requests keep the last snapshot meanwhile.
    machine->change([](FakePlatform& p) { p.queues->pop_back(); });
    machine->close_gate();
    app->platform_snapshot().refresh_soon();
    ASSERT_TRUE(machine->wait_until_blocked());
    EXPECT_TRUE(app->resolve_resource(doc, "settings.printer:Labels").has_value());
    machine->open_gate();
    ASSERT_TRUE(eventually([&] { return app->platform_snapshot().version() == 2; }));
    EXPECT_FALSE(app->resolve_resource(doc, "settings.printer:Labels").has_value());
    EXPECT_TRUE(app->resolve_resource(doc, "settings.printer:Office").has_value());
}

TEST_F(SnapshotApp, TheTreeFromTheSnapshotIsTheTreeOfTheMachineItself)
{
    auto app = make_app();
    ASSERT_TRUE(eventually([&] { return app->platform_snapshot().version() == 1; }));
    const std::vector<account_registry::Account> accounts{account_registry::Account("mail-1", "email")};
    const auto served = catalogue::build_root_resource(doc, accounts);
    const catalogue::ScopedPlatform direct(std::make_shared<FakePlatform>(FakePlatform::sample()));
    const auto built = catalogue::build_root_resource(doc, accounts);
    ASSERT_EQ(served.size(), 1U);
    ASSERT_EQ(built.size(), 1U);
    expect_same_tree(served.front(), built.front());
}

TEST_F(SnapshotApp, AFinishedOperationAndAnOldSnapshotAskForANewOne)
{
    auto app = make_app();
    ASSERT_TRUE(eventually([&] { return app->platform_snapshot().version() == 1; }));

    // An operation the application ran itself.
    machine->change([](FakePlatform& p) { p.jobs->clear(); });
    const auto payload = actions::encode_open_pane_payload("sound");
    ASSERT_TRUE(payload.has_value()) << payload.error();
    const auto answer = app->start_resource_operation_with_document(
        vorn_ui::OperationId::from_parts(0x5a, 1), vorn_ui::OperationClass::Presentation, actions::open_pane_kind,
        *payload, doc);
    EXPECT_EQ(answer.kind, vorn_ui::ResourceOperationStart::Kind::Completed) << answer.message;
    ASSERT_TRUE(eventually([&] { return app->platform_snapshot().version() == 2; }));
    EXPECT_FALSE(app->resolve_resource(doc, "settings.print-job:17").has_value());

    // A snapshot older than its age limit: the request is answered from it and a new one is taken.
    auto snapshot = std::make_shared<SnapshotPlatform>(machine, SnapshotPlatform::Options{.max_age = {}});
    ASSERT_TRUE(eventually([&] { return snapshot->version() == 1; }));
    machine->change([](FakePlatform& p) { p.users->pop_back(); });
    EXPECT_EQ(snapshot->local_users()->size(), 3U);
    ASSERT_TRUE(eventually([&] { return snapshot->local_users()->size() == 2; }));
}

TEST_F(SnapshotApp, TheApplicationGoesWhileAQueryIsBlocked)
{
    const auto previous = catalogue::current_platform();
    machine->close_gate();
    auto app = make_app();
    EXPECT_EQ(catalogue::current_platform().get(), &app->platform_snapshot());
    ASSERT_TRUE(machine->wait_until_blocked());
    app.reset();  // returns although the worker is still inside the query
    EXPECT_EQ(catalogue::current_platform(), previous);

    // Released, the worker ends on its own and lets go of the machine.
    machine->open_gate();
    EXPECT_TRUE(eventually([&] { return machine.use_count() == 1; }));
}

// A tool the worker waits for when the application goes is stopped, and the worker is joined (it no longer holds
// the machine the moment the application is gone).
TEST(SnapshotWorker, TheToolAQueryWaitsForIsStoppedWhenTheApplicationGoes)
{
    testing::PrivateHome home;
    auto machine = std::make_shared<HangingToolPlatform>(FakePlatform::sample());
    auto app = SettingsApp::create(SettingsAppOptions{.catalogue_platform = machine});
    ASSERT_TRUE(machine->wait_until_started());
    ASSERT_TRUE(eventually([&] { return tool_running(HangingToolPlatform::kTool); }));
    app.reset();
    EXPECT_EQ(machine.use_count(), 1);
    EXPECT_FALSE(tool_running(HangingToolPlatform::kTool));
}

}  // namespace
}  // namespace settings::app
