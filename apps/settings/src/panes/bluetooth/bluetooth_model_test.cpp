#include "panes/bluetooth/bluetooth_model.hpp"
#include "panes/bluetooth/test_support.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace settings::panes::bluetooth {
namespace {

using operations::OperationStatus;
using operations::PaneOperationRequest;
using system_ops::bluez::FakeBluez;
using testing::headset_path;
using testing::immediate_workers;
using testing::ManualWorkers;
using testing::mouse_path;
using testing::phone_path;
using testing::sample_devices;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

std::string press(const std::string& path, std::string_view verb)
{
    return bluetooth_device_widget_id(path, verb);
}

// ---- Keys and labels ----

TEST(BluetoothKeysTest, DeviceKeysComeFromThePathsLastPart)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/org/bluez/hci0/dev_00_1B_66_AA_BB_CC", "dev_00_1B_66_AA_BB_CC"},
        {"/org/bluez/hci0/dev.a.b", "dev_a_b"},
        {"no-slash.here", "no-slash_here"},
        {"/org/bluez/", ""},
    };
    for (const auto& [path, key] : cases) {
        EXPECT_EQ(bluetooth_device_key(path), key) << path;
    }
    EXPECT_EQ(bluetooth_device_widget_id(headset_path, "pair"), "bluetooth.device.dev_00_1B_66_AA_BB_CC.pair");
    EXPECT_EQ(main_button_id(headset_path, "connect"), "settings.bluetooth.dev_00_1B_66_AA_BB_CC.connect");
    EXPECT_EQ(device_control_id("forget", headset_path), "settings.bluetooth.forget.dev_00_1B_66_AA_BB_CC");
    EXPECT_EQ(alias_field_id(headset_path), "bluetooth.alias.dev_00_1B_66_AA_BB_CC");
}

TEST(BluetoothLabelsTest, MainButtonAndCaptionFollowTheDevicesState)
{
    struct Case {
        BluetoothDevice device;
        std::optional<std::string> pairing;
        DeviceAction action;
        std::string caption;
    };
    const std::string path = phone_path;
    const std::vector<Case> cases = {
        {{.path = path, .paired = true, .connected = true}, path, {"cancel", "Cancel pairing"}, "Connected"},
        {{.path = path, .paired = true, .connected = true}, mouse_path, {"disconnect", "Disconnect"}, "Connected"},
        {{.path = path, .battery = 0, .paired = true}, std::nullopt, {"connect", "Connect"}, "Paired · Battery 0%"},
        {{.path = path, .battery = 100}, std::nullopt, {"pair", "Pair"}, "Nearby · Battery 100%"},
        {{.path = path, .connected = true}, std::nullopt, {"pair", "Pair"}, "Connected"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(main_action(c.device, c.pairing), c.action) << c.caption;
        EXPECT_EQ(state_caption(c.device), c.caption);
    }
    EXPECT_EQ(signal_text({.rssi = -60}), "-60 dBm");
    EXPECT_EQ(signal_text({}), std::nullopt);
    EXPECT_TRUE(is_audio_device({.icon = "audio-headset"}));
    EXPECT_FALSE(is_audio_device({.icon = "input-mouse"}));
    EXPECT_EQ(discovery_label(true), "Stop discovery");
    EXPECT_EQ(discovery_label(false), "Find devices");
    EXPECT_EQ(empty_list_caption(true), "Looking for nearby devices…");
    EXPECT_EQ(empty_list_caption(false), "No devices found. Put a device in pairing mode, then start discovery.");
    EXPECT_EQ(details_label(true), "Less");
    EXPECT_EQ(forget_label(true), "Confirm forget");
    EXPECT_EQ(forget_label(false), "Forget…");
}

// ---- The model ----

class BluetoothModelTest : public ::testing::Test {
protected:
    // A model over the fake's state, with the application's cells unless `share` is false; seeded by one sync.
    std::unique_ptr<BluetoothModel> make(BluetoothWorkers workers = immediate_workers(), bool share = true)
    {
        auto model = std::make_unique<BluetoothModel>(
            fake, std::move(workers),
            BluetoothSnapshot{.devices = fake->devices().value_or(std::vector<BluetoothDevice>{}),
                              .powered = fake->is_powered().value_or(false),
                              .scanning = fake->is_scanning().value_or(false)});
        if (share) {
            model->share_operation_requests(requests);
            model->share_operation_status(status);
        }
        model->sync(doc);
        return model;
    }

    // Hands the operation over as the runner does: Running with its key, then the request; then one sync.
    void run_operation(BluetoothModel& model, const BluetoothOperation& operation)
    {
        (void)status.publish(OperationStatus::running(operations::operation_key(operation)));
        (void)requests.publish(PaneOperationRequest{operation});
        model.sync(doc);
    }

    void press_and_sync(BluetoothModel& model, const std::string& key)
    {
        doc.put_bool(key, true);
        model.sync(doc);
    }

    std::shared_ptr<FakeBluez> fake = std::make_shared<FakeBluez>(sample_devices());
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
};

TEST_F(BluetoothModelTest, FirstSyncWritesEveryKey)
{
    auto model = make();
    EXPECT_EQ(page_doc::doc_bool(doc, enabled_key), true);
    EXPECT_EQ(page_doc::doc_bool(doc, scan_key), false);
    EXPECT_EQ(page_doc::doc_bool(doc, refresh_key), false);
    for (const auto& device : sample_devices()) {
        for (const char* verb : {"pair", "connect", "cancel", "disconnect", "details", "rename", "forget"}) {
            EXPECT_EQ(page_doc::doc_bool(doc, press(device.path, verb)), false) << verb;
        }
        EXPECT_EQ(page_doc::doc_bool(doc, press(device.path, "trusted")), device.trusted);
        EXPECT_EQ(page_doc::doc_text(doc, press(device.path, "alias")), "");
    }
    EXPECT_TRUE(fake->calls().empty());
}

TEST_F(BluetoothModelTest, WhileLoadingPressesAndOperationsWait)
{
    ManualWorkers workers;
    BluetoothModel model(fake, workers.workers());
    model.share_operation_requests(requests);
    model.share_operation_status(status);
    EXPECT_TRUE(model.loading());
    doc.put_bool(refresh_key, true);
    run_operation(model, BluetoothOperation::Connect{mouse_path});
    EXPECT_TRUE(requests.get().has_value()) << "not taken before the devices are known";
    EXPECT_EQ(workers.waiting_actions(), 1U);  // the first reading only

    workers.run_actions();
    model.sync(doc);
    EXPECT_FALSE(model.loading());
    EXPECT_EQ(model.devices(), sample_devices());
    EXPECT_FALSE(requests.get().has_value());
    EXPECT_EQ(workers.waiting_actions(), 2U);  // the refresh and the connection
    workers.run_actions();
    model.sync(doc);
    EXPECT_EQ(status.get(), OperationStatus::done(operations::operation_key(BluetoothOperation(
                                                      BluetoothOperation::Connect{mouse_path})),
                                                  "Connected MX Master 3."));

    // A reading that fails shows no devices and a radio that is off, as without an adapter.
    fake->set_devices(std::unexpected(std::string("no Bluetooth adapter was found")));
    fake->set_powered_state(std::unexpected(std::string("no Bluetooth adapter was found")));
    BluetoothModel empty(fake, immediate_workers());
    page_doc::Document other;
    empty.sync(other);
    EXPECT_FALSE(empty.loading());
    EXPECT_THAT(empty.devices(), IsEmpty());
    EXPECT_FALSE(empty.powered());
    EXPECT_EQ(page_doc::doc_bool(other, enabled_key), false);
}

// Every operation ends in exactly one Done or Failed with its sentence.
TEST_F(BluetoothModelTest, EachOperationIsAnsweredWithItsSentence)
{
    struct Case {
        std::string name;
        std::function<void(FakeBluez&)> setup;
        BluetoothOperation operation;
        OperationStatus::State state;
        std::string message;
        std::string status_text;
    };
    using S = OperationStatus::State;
    using O = BluetoothOperation;
    const std::string blocked = "Failed: org.bluez.Error.Blocked";
    const auto failing = [&](FakeBluez& f) { f.set_failure(blocked); };
    const std::vector<Case> cases = {
        {"power off", {}, O::SetPowered{false}, S::Done, "Bluetooth disabled.", "Bluetooth is off."},
        {"power on", [](FakeBluez& f) { f.set_powered_state(false); }, O::SetPowered{true}, S::Done,
         "Bluetooth enabled.", "Bluetooth is on."},
        {"power already on", {}, O::SetPowered{true}, S::Done, "Bluetooth is already on.", ""},
        {"power blocked", failing, O::SetPowered{false}, S::Failed,
         "Could not change Bluetooth power: " + blocked, "Could not change Bluetooth power: " + blocked},
        {"discovery starts", {}, O::StartScan{}, S::Done, "Bluetooth discovery started.",
         "Discovery started. Use Refresh as devices wake up."},
        {"discovery running stops", [](FakeBluez& f) { (void)f.start_scan(); }, O::StartScan{}, S::Done,
         "Bluetooth discovery stopped.", "Discovery stopped."},
        {"discovery refused", failing, O::StartScan{}, S::Failed, "Could not change Bluetooth discovery: " + blocked,
         "Could not change discovery: " + blocked},
        {"refresh", {}, O::Refresh{}, S::Done, "Bluetooth devices refreshed.", ""},
        {"pair", {}, O::Pair{phone_path}, S::Done, "Pixel 7 is paired and connected.",
         "Pixel 7 is paired and connected."},
        {"pair, no connection",
         [](FakeBluez& f) { f.set_pair_outcome({PairResultKind::PairedConnectFailed, "Page Timeout"}); },
         O::Pair{phone_path}, S::Done, "Pixel 7 paired, but did not connect: Page Timeout Use Connect to retry.",
         "Pixel 7 paired, but did not connect: Page Timeout Use Connect to retry."},
        {"pair refused", [](FakeBluez& f) { f.set_pair_outcome({PairResultKind::PairFailed, "Authentication Failed"}); },
         O::Pair{phone_path}, S::Failed,
         "Could not pair Pixel 7: Authentication Failed Check that it is awake and in pairing mode, then retry.",
         "Could not pair Pixel 7: Authentication Failed Check that it is awake and in pairing mode, then retry."},
        {"connect", {}, O::Connect{mouse_path}, S::Done, "Connected MX Master 3.", "Connected MX Master 3."},
        {"connect refused", failing, O::Connect{mouse_path}, S::Failed,
         "Could not connect MX Master 3: " + blocked + " Check that it is awake and in range, then retry.",
         "Could not connect MX Master 3: " + blocked + " Check that it is awake and in range, then retry."},
        {"disconnect", {}, O::Disconnect{headset_path}, S::Done, "Disconnected Sony Headphones.",
         "Disconnected Sony Headphones."},
        {"forget, confirmed by the operation", {}, O::Forget{mouse_path}, S::Done, "Forgot MX Master 3.",
         "Forgot MX Master 3. Pair it again to reconnect."},
        {"forget refused", failing, O::Forget{mouse_path}, S::Failed, "Could not forget MX Master 3: " + blocked,
         "Could not forget MX Master 3: " + blocked},
        {"a device that is gone", {}, O::Connect{"/org/bluez/hci0/dev_00_00_00_00_00_09"}, S::Failed,
         "Bluetooth device is no longer available", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake = std::make_shared<FakeBluez>(sample_devices());
        doc = page_doc::Document();
        if (c.setup) {
            c.setup(*fake);
        }
        auto model = make();
        run_operation(*model, c.operation);
        const OperationStatus answered = status.get();
        EXPECT_EQ(answered.state, c.state);
        EXPECT_EQ(answered.key, operations::operation_key(c.operation));
        EXPECT_EQ(answered.message, c.message);
        EXPECT_EQ(model->status_text().value_or(""), c.status_text);
        EXPECT_FALSE(requests.get().has_value());
        EXPECT_EQ(model->work_in_flight(), 0);
    }
}

TEST_F(BluetoothModelTest, OperationsChangeWhatTheyNameAndNothingElse)
{
    auto model = make();
    run_operation(*model, BluetoothOperation::Pair{phone_path});
    run_operation(*model, BluetoothOperation::Disconnect{headset_path});
    run_operation(*model, BluetoothOperation::Forget{mouse_path});
    run_operation(*model, BluetoothOperation::Connect{"/org/bluez/hci0/dev_00_00_00_00_00_09"});
    run_operation(*model, BluetoothOperation::SetPowered{true});  // already on
    EXPECT_THAT(fake->calls(), ElementsAre("pair " + phone_path, "disconnect " + headset_path, "forget " + mouse_path));
    // What the operations did shows in the list the answers brought.
    ASSERT_EQ(model->devices().size(), 2U);
    EXPECT_TRUE(model->devices()[1].paired && model->devices()[1].connected);
    EXPECT_FALSE(model->devices()[0].connected);
    EXPECT_EQ(page_doc::doc_bool(doc, press("/org/bluez/hci0/dev_00_00_00_00_00_09", "connect")), std::nullopt)
        << "no press is written for a device that is not listed";
}

TEST_F(BluetoothModelTest, ARequestForAnotherPageIsLeftAlone)
{
    auto model = make();
    const PaneOperationRequest other{actions::NetworkOperation{actions::NetworkOperation::Refresh{}}};
    (void)requests.publish(other);
    model->sync(doc);
    EXPECT_EQ(requests.get(), other);
    EXPECT_TRUE(fake->calls().empty());
}

TEST_F(BluetoothModelTest, ThePageButtonsActWithoutARunningOperation)
{
    auto model = make();
    const auto idle_version = status.version();
    press_and_sync(*model, std::string(scan_key));
    press_and_sync(*model, std::string(refresh_key));
    press_and_sync(*model, press(phone_path, "pair"));
    press_and_sync(*model, press(mouse_path, "connect"));
    press_and_sync(*model, press(mouse_path, "details"));
    doc.put_bool(press(mouse_path, "trusted"), true);
    (void)doc.update_text(page_doc::seed_text_object(doc, press(mouse_path, "alias")), "Desk mouse");
    press_and_sync(*model, press(mouse_path, "rename"));
    press_and_sync(*model, press(headset_path, "forget"));
    press_and_sync(*model, press(headset_path, "forget"));
    EXPECT_THAT(fake->calls(), ElementsAre("start_scan", "pair " + phone_path, "connect " + mouse_path,
                                           "set_trusted " + mouse_path + " true", "set_alias " + mouse_path + " Desk mouse",
                                           "forget " + headset_path));
    EXPECT_EQ(model->expanded_device(), mouse_path);
    EXPECT_TRUE(model->scanning());
    EXPECT_EQ(status.version(), idle_version) << "no outcome is published without its operation";
    EXPECT_EQ(status.get(), OperationStatus::idle());
}

TEST_F(BluetoothModelTest, ThePowerToggleActsOnlyThroughItsOperationOnceTheStatusIsShared)
{
    auto shared = make();
    doc.put_bool(enabled_key, false);
    shared->sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, enabled_key), true) << "put back";
    EXPECT_TRUE(fake->calls().empty());

    // With another operation running it is put back as well.
    (void)status.publish(OperationStatus::running(operations::operation_key(BluetoothOperation(
        BluetoothOperation::SetPowered{true}))));
    doc.put_bool(enabled_key, false);
    shared->sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, enabled_key), true);
    EXPECT_TRUE(fake->calls().empty());

    doc = page_doc::Document();
    auto alone = make(immediate_workers(), false);
    doc.put_bool(enabled_key, false);
    alone->sync(doc);
    EXPECT_THAT(fake->calls(), ElementsAre("set_powered false"));
    EXPECT_FALSE(alone->powered());
    EXPECT_EQ(alone->status_text(), "Bluetooth is off.");
}

TEST_F(BluetoothModelTest, ARadioSwitchedElsewhereMovesTheToggleInsteadOfBeingSwitchedBack)
{
    auto model = make(immediate_workers(), false);
    (void)fake->set_powered(false);
    press_and_sync(*model, std::string(refresh_key));
    EXPECT_FALSE(model->powered());
    EXPECT_EQ(page_doc::doc_bool(doc, enabled_key), false);
    model->sync(doc);
    EXPECT_THAT(fake->calls(), ElementsAre("set_powered false")) << "only the change made elsewhere";
}

TEST_F(BluetoothModelTest, ARefreshThatFailsKeepsTheList)
{
    auto model = make();
    fake->set_devices(std::unexpected(std::string("the Bluetooth service is not running")));
    run_operation(*model, BluetoothOperation::Refresh{});
    EXPECT_EQ(model->devices(), sample_devices());
    EXPECT_EQ(status.get().message, "Could not refresh Bluetooth devices: the Bluetooth service is not running");
    EXPECT_EQ(model->status_text(), "Could not refresh devices: the Bluetooth service is not running");

    // A reading after an action that fails says so and keeps the list too.
    press_and_sync(*model, press(mouse_path, "connect"));
    EXPECT_EQ(model->status_text(), "Could not refresh devices: the Bluetooth service is not running");
    EXPECT_EQ(model->devices(), sample_devices());
}

TEST_F(BluetoothModelTest, OnePairingAtATimeAndItsCancellation)
{
    ManualWorkers workers;
    auto model = make(workers.workers());
    press_and_sync(*model, press(phone_path, "pair"));
    EXPECT_EQ(model->pairing_device(), phone_path);
    EXPECT_EQ(model->status_text(), "Pairing Pixel 7… Security prompts appear in system UI.");
    EXPECT_EQ(main_action(model->devices()[2], model->pairing_device()).label, "Cancel pairing");

    // A second pair press is consumed and starts nothing; an operation for another device is answered at once.
    fake->set_devices(std::vector<BluetoothDevice>{sample_devices()[2], {.path = "/org/bluez/hci0/dev_A4_C1_38_00_00_02",
                                                                         .name = "Tablet"}});
    press_and_sync(*model, std::string(refresh_key));
    workers.run_actions();
    model->sync(doc);
    const std::string tablet = "/org/bluez/hci0/dev_A4_C1_38_00_00_02";
    press_and_sync(*model, press(tablet, "pair"));
    EXPECT_EQ(page_doc::doc_bool(doc, press(tablet, "pair")), false);
    run_operation(*model, BluetoothOperation::Pair{tablet});
    EXPECT_EQ(status.get().state, OperationStatus::State::Failed);
    EXPECT_EQ(status.get().message, "Could not pair Tablet: another device is being paired.");
    EXPECT_EQ(workers.waiting_pairings(), 1U);

    press_and_sync(*model, press(phone_path, "cancel"));
    workers.run_actions();
    model->sync(doc);
    EXPECT_EQ(model->status_text(), "Cancelled pairing Pixel 7.");
    EXPECT_EQ(model->pairing_device(), phone_path) << "recorded until the pairing answers";

    // The pairing answers while the device is not listed: it is called "Device".
    fake->set_devices(std::vector<BluetoothDevice>{{.path = tablet, .name = "Tablet"}});
    press_and_sync(*model, std::string(refresh_key));
    workers.run_actions();
    model->sync(doc);
    fake->set_devices(sample_devices());
    fake->set_pair_outcome({PairResultKind::PairFailed, "Authentication Canceled"});
    workers.run_pairing();
    model->sync(doc);
    EXPECT_EQ(model->pairing_device(), std::nullopt);
    EXPECT_EQ(model->status_text(),
              "Could not pair Device: Authentication Canceled Check that it is awake and in pairing mode, then retry.");
    EXPECT_EQ(model->devices(), sample_devices()) << "the list the pairing read afterwards";
    EXPECT_EQ(model->work_in_flight(), 0);
}

TEST_F(BluetoothModelTest, ForgetAsksFirstAndRetriesWithoutAskingAfterAFailure)
{
    auto model = make();
    press_and_sync(*model, press(mouse_path, "forget"));
    EXPECT_EQ(model->status_text(), "Forget MX Master 3? This removes its bond and keys.");
    EXPECT_EQ(model->pending_forget(), mouse_path);
    EXPECT_TRUE(fake->calls().empty());

    // A first press on another device moves the question there.
    press_and_sync(*model, press(headset_path, "forget"));
    EXPECT_EQ(model->pending_forget(), headset_path);
    EXPECT_TRUE(fake->calls().empty());

    fake->set_failure("Failed: org.bluez.Error.InProgress");
    press_and_sync(*model, press(headset_path, "forget"));
    EXPECT_EQ(model->status_text(), "Could not forget Sony Headphones: Failed: org.bluez.Error.InProgress");
    EXPECT_EQ(model->pending_forget(), headset_path);

    fake->set_failure(std::nullopt);
    press_and_sync(*model, press(headset_path, "forget"));
    EXPECT_EQ(model->status_text(), "Forgot Sony Headphones. Pair it again to reconnect.");
    EXPECT_EQ(model->pending_forget(), std::nullopt);
    EXPECT_THAT(model->devices(), Not(Contains(sample_devices()[0])));
    EXPECT_THAT(fake->calls(), ElementsAre("forget " + headset_path, "forget " + headset_path));
}

TEST_F(BluetoothModelTest, TrustChangesOnceAndAFailureShowsTheLiveState)
{
    ManualWorkers workers;
    auto model = make(workers.workers());
    const std::string trusted = press(mouse_path, "trusted");
    doc.put_bool(trusted, true);
    model->sync(doc);
    model->sync(doc);
    EXPECT_EQ(workers.waiting_actions(), 1U) << "one change while its answer is out";
    workers.run_actions();
    model->sync(doc);
    EXPECT_EQ(model->status_text(), "MX Master 3 is now trusted.");
    EXPECT_TRUE(model->devices()[1].trusted);

    fake->set_failure("Failed: org.bluez.Error.Failed");
    doc.put_bool(trusted, false);
    model->sync(doc);
    workers.run_actions();
    model->sync(doc);
    EXPECT_EQ(model->status_text(), "Could not change device trust: Failed: org.bluez.Error.Failed");
    EXPECT_EQ(page_doc::doc_bool(doc, trusted), true);
    model->sync(doc);
    EXPECT_EQ(workers.waiting_actions(), 0U);
    EXPECT_THAT(fake->calls(), ElementsAre("set_trusted " + mouse_path + " true", "set_trusted " + mouse_path + " false"));

    fake->set_failure(std::nullopt);
    doc.put_bool(trusted, false);
    model->sync(doc);
    workers.run_actions();
    model->sync(doc);
    EXPECT_EQ(model->status_text(), "MX Master 3 now requires service authorisation.");
}

TEST_F(BluetoothModelTest, RenameSendsTheTrimmedNameAndRefusesAnEmptyOne)
{
    auto model = make();
    const auto alias = page_doc::seed_text_object(doc, press(mouse_path, "alias"));
    press_and_sync(*model, press(mouse_path, "rename"));
    EXPECT_EQ(model->status_text(), "Could not rename MX Master 3: type a new name first.");
    (void)doc.update_text(alias, " \u00a0\t ");
    press_and_sync(*model, press(mouse_path, "rename"));
    EXPECT_EQ(model->status_text(), "Could not rename MX Master 3: type a new name first.");
    EXPECT_TRUE(fake->calls().empty());

    (void)doc.update_text(alias, "  Desk mouse\u00a0");
    press_and_sync(*model, press(mouse_path, "rename"));
    EXPECT_THAT(fake->calls(), ElementsAre("set_alias " + mouse_path + " Desk mouse"));
    EXPECT_EQ(model->status_text(), "Renamed device to Desk mouse.");
    EXPECT_EQ(model->devices()[1].name, "Desk mouse");
    EXPECT_EQ(page_doc::doc_text(doc, press(mouse_path, "alias")), "") << "the field starts empty again";

    fake->set_failure("a Bluetooth device name has at most 248 bytes and no control characters");
    (void)doc.update_text(alias, "Study mouse");
    press_and_sync(*model, press(mouse_path, "rename"));
    EXPECT_EQ(model->status_text(),
              "Could not rename Desk mouse: a Bluetooth device name has at most 248 bytes and no control characters");
    EXPECT_EQ(page_doc::doc_text(doc, press(mouse_path, "alias")), "Study mouse") << "kept to correct it";
}

TEST_F(BluetoothModelTest, DetailsOpenForOneDeviceAtATime)
{
    auto model = make();
    press_and_sync(*model, press(mouse_path, "details"));
    EXPECT_EQ(model->expanded_device(), mouse_path);
    press_and_sync(*model, press(headset_path, "details"));
    EXPECT_EQ(model->expanded_device(), headset_path);
    press_and_sync(*model, press(headset_path, "details"));
    EXPECT_EQ(model->expanded_device(), std::nullopt);
    EXPECT_TRUE(model->take_structure_dirty());
    EXPECT_FALSE(model->take_structure_dirty());
}

TEST_F(BluetoothModelTest, DiscoveryPressesInQuickSuccessionStartThenStop)
{
    ManualWorkers workers;
    auto model = make(workers.workers());
    press_and_sync(*model, std::string(scan_key));
    press_and_sync(*model, std::string(scan_key));
    workers.run_actions();
    model->sync(doc);
    EXPECT_THAT(fake->calls(), ElementsAre("start_scan", "stop_scan"));
    EXPECT_FALSE(model->scanning());
    EXPECT_EQ(model->status_text(), "Discovery stopped.");
}

TEST_F(BluetoothModelTest, APressForADeviceThatWentAwayNeverFiresWhenItReturns)
{
    auto model = make();
    fake->set_devices(std::vector<BluetoothDevice>{sample_devices()[0]});
    press_and_sync(*model, std::string(refresh_key));
    ASSERT_EQ(model->devices().size(), 1U);

    // The view still showed the mouse: its buttons were pressed after it went.
    for (const char* verb : {"connect", "forget", "pair", "disconnect", "rename"}) {
        doc.put_bool(press(mouse_path, verb), true);
    }
    doc.put_bool(press(mouse_path, "trusted"), true);
    model->sync(doc);
    EXPECT_TRUE(fake->calls().empty());

    fake->set_devices(sample_devices());
    press_and_sync(*model, std::string(refresh_key));
    model->sync(doc);
    model->sync(doc);
    EXPECT_EQ(model->devices(), sample_devices());
    EXPECT_TRUE(fake->calls().empty()) << ::testing::PrintToString(fake->calls());
    EXPECT_EQ(page_doc::doc_bool(doc, press(mouse_path, "connect")), false);
    EXPECT_EQ(page_doc::doc_bool(doc, press(mouse_path, "trusted")), false);
}

TEST_F(BluetoothModelTest, AnswersArrivingAfterThePageClosedAreDropped)
{
    ManualWorkers workers;
    {
        auto model = make(workers.workers());
        press_and_sync(*model, press(phone_path, "pair"));
        press_and_sync(*model, press(mouse_path, "connect"));
    }
    EXPECT_EQ(workers.run_pairing(), 1U);
    EXPECT_EQ(workers.run_actions(), 1U);
    EXPECT_THAT(fake->calls(), ElementsAre("pair " + phone_path, "connect " + mouse_path));
}

}  // namespace
}  // namespace settings::panes::bluetooth
