// The Bluetooth page in the headless window over the fake BlueZ service: what it shows with no adapter, with a
// device in each state, with details open, while loading and pairing; presses by pointer and keys; values changed
// in place, and the focus and the typed alias kept when the view is built again.
#include "panes/bluetooth/bluetooth_pane.hpp"
#include "panes/bluetooth/test_support.hpp"

#include "actions/catalogue/platform.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::bluetooth {
namespace {

namespace cat = actions::catalogue;
using system_ops::bluez::FakeBluez;
using testing::headset_path;
using testing::immediate_workers;
using testing::ManualWorkers;
using testing::mouse_path;
using testing::phone_path;
using testing::sample_devices;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

vorn_ui::Point centre(const vorn_ui::Rect& r) { return {(r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0}; }

// The accessibility node with this id (none when there is none).
using ::settings::panes::testing::node_with_id;

// The alias field of a device in the view (null when it is not shown).
const vorn_ui::TextInput* alias_input(const vorn_ui::Widget& root, const std::string& path)
{
    const auto* field = dynamic_cast<const vorn_ui::TextInput*>(&root);
    if (field != nullptr && field->id() == alias_field_id(path)) {
        return field;
    }
    for (const vorn_ui::Widget* child : root.children()) {
        if (const auto* found = alias_input(*child, path)) {
            return found;
        }
    }
    return nullptr;
}

// The page on the fake service, in a 1280×1000 headless window, with the contract read from a fake platform.
class BluetoothPaneTest : public ::testing::Test {
protected:
    void open(std::vector<BluetoothDevice> devices, bool powered = true, BluetoothWorkers workers = immediate_workers())
    {
        fake->set_devices(devices);
        fake->set_powered_state(powered);
        pane = std::make_unique<BluetoothPane>(
            fake, std::move(workers), BluetoothSnapshot{.devices = std::move(devices), .powered = powered});
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 1000});
        window->frame();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::optional<nlohmann::ordered_json> node(std::string_view id) const
    {
        return node_with_id(window->accessibility_json(), id);
    }
    void click_control(std::string_view id)
    {
        const auto found = node(id);
        ASSERT_TRUE(found.has_value()) << id << "\n" << ::testing::PrintToString(lines());
        const auto& b = (*found)["bounds"];
        window->click(b["x"].get<double>() + b["width"].get<double>() / 2.0,
                      b["y"].get<double>() + b["height"].get<double>() / 2.0);
    }
    void click_text(std::string_view text)
    {
        const auto bounds = window->find_text_bounds(text);
        ASSERT_TRUE(bounds.has_value()) << text;
        const auto [x, y] = centre(*bounds);
        window->click(x, y);
    }
    void focus(std::string_view id) { ASSERT_TRUE(panes::testing::focus_control(*window, id)) << id; }

    std::shared_ptr<cat::FakePlatform> platform = std::make_shared<cat::FakePlatform>();
    cat::ScopedPlatform scoped{platform};
    std::shared_ptr<FakeBluez> fake = std::make_shared<FakeBluez>();
    page_doc::Document doc;
    std::unique_ptr<BluetoothPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(BluetoothPaneTest, NoAdapterShowsTheSwitchOffTheButtonsAndTheHint)
{
    fake->set_devices(std::unexpected(std::string("No Bluetooth adapter")));
    fake->set_powered_state(std::unexpected(std::string("No Bluetooth adapter")));
    ManualWorkers workers;
    pane = std::make_unique<BluetoothPane>(fake, workers.workers());
    window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 1000});
    window->frame();
    // The first reading is on its way.
    EXPECT_TRUE(shows("Loading…"));
    auto toggle = node("settings.bluetooth.toggle");
    ASSERT_TRUE(toggle.has_value());
    EXPECT_THAT(toggle->value("states", nlohmann::ordered_json::array()), Contains("disabled"));

    ASSERT_EQ(workers.run_actions(), 1U);
    window->frame();
    EXPECT_FALSE(shows("Loading…"));
    EXPECT_TRUE(shows("No devices found. Put a device in pairing mode, then start discovery."));
    const auto all = lines();
    for (const std::string_view expected : {"toggle Bluetooth = off", "button Find devices", "button Refresh"}) {
        EXPECT_THAT(all, Contains(HasSubstr(expected))) << expected << "\n" << ::testing::PrintToString(all);
    }
    toggle = node("settings.bluetooth.toggle");
    ASSERT_TRUE(toggle.has_value());
    EXPECT_THAT(toggle->value("states", nlohmann::ordered_json::array()), Not(Contains("disabled")));
    // The card's title and the switch beside it, above the buttons.
    const auto title = window->find_text_bounds("Bluetooth");
    const auto find = window->find_text_bounds("Find devices");
    ASSERT_TRUE(title && find);
    EXPECT_LT(title->y1, find->y0);
    // The switch is bound to the section's power action.
    EXPECT_THAT(pane->control_action_bindings(), Not(::testing::IsEmpty()));
}

TEST_F(BluetoothPaneTest, EveryDeviceShowsItsStateBatteryAndMainButton)
{
    auto devices = sample_devices();
    devices.push_back({.path = "/org/bluez/hci0/dev_AA_AA_AA_AA_AA_01", .address = "AA:AA:AA:AA:AA:01",
                       .name = "Empty Keyboard", .battery = 0, .paired = true});
    open(devices);
    const auto all = lines();
    struct Row {
        std::string_view name;
        std::string_view caption;
        std::string main_id;
        std::string_view label;
    };
    const std::string keyboard = "/org/bluez/hci0/dev_AA_AA_AA_AA_AA_01";
    const std::vector<Row> rows = {
        {"Sony Headphones", "Connected · Battery 70%", main_button_id(headset_path, "disconnect"), "Disconnect"},
        {"MX Master 3", "Paired", main_button_id(mouse_path, "connect"), "Connect"},
        {"Pixel 7", "Nearby", main_button_id(phone_path, "pair"), "Pair"},
        {"Empty Keyboard", "Paired · Battery 0%", main_button_id(keyboard, "connect"), "Connect"}};
    for (const Row& row : rows) {
        EXPECT_TRUE(shows(row.name)) << row.name;
        EXPECT_THAT(all, Contains(std::string("label ") + std::string(row.caption))) << ::testing::PrintToString(all);
        const auto button = node(row.main_id);
        ASSERT_TRUE(button.has_value()) << row.main_id;
        EXPECT_EQ(button->value("label", std::string()), row.label);
        // The main button sits on the name's line, right of it.
        const auto name = window->find_text_bounds(row.name);
        ASSERT_TRUE(name.has_value());
        EXPECT_GT(button->at("bounds").at("x").get<double>(), name->x1);
    }
    EXPECT_FALSE(shows("Address"));  // no details open
    EXPECT_FALSE(shows("No devices found. Put a device in pairing mode, then start discovery."));
}

TEST_F(BluetoothPaneTest, DetailsOfAPairedAudioDeviceAndOfANearbyOne)
{
    open(sample_devices());
    click_control(device_control_id("details", headset_path));
    EXPECT_EQ(node(device_control_id("details", headset_path))->value("label", std::string()), "Less");
    for (const std::string_view text :
         std::initializer_list<std::string_view>{"Address", "00:1B:66:AA:BB:CC", "Signal", "-60 dBm",
                                                 "Trust this device", trust_caption, "Rename", "Forget…",
                                                 sound_caption}) {
        EXPECT_TRUE(shows(text)) << text;
    }
    const auto trust = node(device_control_id("trusted", headset_path));
    ASSERT_TRUE(trust.has_value());
    EXPECT_THAT(trust->value("states", nlohmann::ordered_json::array()), Contains("checked"));
    const vorn_ui::TextInput* alias = alias_input(*pane, headset_path);
    ASSERT_NE(alias, nullptr);
    EXPECT_EQ(alias->placeholder(), "Sony Headphones");
    EXPECT_EQ(alias->text(), "");

    // Another device's details close the first: one entry open at a time.
    click_control(device_control_id("details", phone_path));
    EXPECT_FALSE(shows("00:1B:66:AA:BB:CC"));
    for (const std::string_view text : {"A4:C1:38:00:00:01", "-71 dBm"}) {
        EXPECT_TRUE(shows(text)) << text;
    }
    // A nearby device can be neither trusted, renamed nor forgotten, and is no audio device.
    for (const std::string_view text :
         std::initializer_list<std::string_view>{"Trust this device", "Rename", "Forget…", sound_caption}) {
        EXPECT_FALSE(shows(text)) << text;
    }
    EXPECT_FALSE(node(device_control_id("forget", phone_path)).has_value());

    // The mouse's signal is not known: no signal line.
    click_control(device_control_id("details", mouse_path));
    EXPECT_TRUE(shows("5C:F3:70:11:22:33"));
    EXPECT_FALSE(shows("Signal"));
    EXPECT_TRUE(shows("Rename"));
}

TEST_F(BluetoothPaneTest, PairingShowsCancelUntilItEndsAndKeepsTheFocusOnTheDevicesMainButton)
{
    ManualWorkers workers;
    open(sample_devices(), true, workers.workers());
    focus(main_button_id(phone_path, "pair"));
    window->key(vorn_ui::Key::Enter);
    // The pairing waits on its worker: the main button is "Cancel pairing", and still has the focus.
    const std::string cancel = main_button_id(phone_path, "cancel");
    EXPECT_EQ(node(cancel)->value("label", std::string()), "Cancel pairing");
    EXPECT_EQ(panes::testing::focused_id(*window), cancel);
    EXPECT_TRUE(shows("Pairing Pixel 7… Security prompts appear in system UI."));

    ASSERT_EQ(workers.run_pairing(), 1U);
    window->frame();
    EXPECT_TRUE(shows("Pixel 7 is paired and connected."));
    const std::string disconnect = main_button_id(phone_path, "disconnect");
    EXPECT_EQ(node(disconnect)->value("label", std::string()), "Disconnect");
    EXPECT_EQ(panes::testing::focused_id(*window), disconnect);
    EXPECT_THAT(lines(), Contains("label Connected"));
}

TEST_F(BluetoothPaneTest, DiscoveryAndDeviceChangesAreShownInPlace)
{
    open({});
    const auto builds = pane->view_builds();
    EXPECT_TRUE(shows("No devices found. Put a device in pairing mode, then start discovery."));
    focus(scan_button_id);
    window->key(vorn_ui::Key::Space);
    window->frame();
    EXPECT_THAT(fake->calls(), Contains("start_scan"));
    EXPECT_TRUE(shows("Stop discovery"));
    EXPECT_TRUE(shows("Looking for nearby devices…"));
    EXPECT_TRUE(shows("Discovery started. Use Refresh as devices wake up."));
    EXPECT_EQ(panes::testing::focused_id(*window), scan_button_id);

    // A device wakes up: its entry appears, and the focus stays on the discovery button.
    auto devices = sample_devices();
    fake->set_devices(std::vector<BluetoothDevice>{devices[2]});
    click_control(refresh_button_id);
    focus(scan_button_id);
    EXPECT_TRUE(shows("Pixel 7"));
    EXPECT_FALSE(shows("Looking for nearby devices…"));
    const auto with_phone = pane->view_builds();
    EXPECT_GT(with_phone, builds);

    // Its name, signal and battery change: the same view shows the new values, and the focus has not moved.
    devices[2].name = "Pixel 7 Pro";
    devices[2].battery = 55;
    fake->set_devices(std::vector<BluetoothDevice>{devices[2]});
    doc.put_bool(refresh_key, true);
    window->frame();
    EXPECT_TRUE(shows("Pixel 7 Pro"));
    EXPECT_TRUE(shows("Nearby · Battery 55%"));
    EXPECT_EQ(pane->view_builds(), with_phone);
    EXPECT_EQ(panes::testing::focused_id(*window), scan_button_id);
}

TEST_F(BluetoothPaneTest, FocusSurvivesAChange)
{
    open(sample_devices());
    const auto builds = pane->view_builds();
    focus(power_toggle_widget_id);
    EXPECT_EQ(panes::testing::next_in_focus_order(*window, power_toggle_widget_id), scan_button_id);
    window->key(vorn_ui::Key::Space);
    window->frame();
    EXPECT_THAT(fake->calls(), Contains("set_powered false"));
    EXPECT_TRUE(shows("Bluetooth is off."));  // the status line is new: the view was built again
    EXPECT_GT(pane->view_builds(), builds);
    EXPECT_EQ(panes::testing::focused_id(*window), power_toggle_widget_id);
    EXPECT_THAT(lines(), Contains(::testing::StartsWith("toggle Bluetooth = off")));

    window->key(vorn_ui::Key::Space);
    window->frame();
    EXPECT_TRUE(shows("Bluetooth is on."));
    EXPECT_EQ(panes::testing::focused_id(*window), power_toggle_widget_id);
    EXPECT_THAT(lines(), Contains(::testing::StartsWith("toggle Bluetooth = on")));
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), scan_button_id);
}

TEST_F(BluetoothPaneTest, TheTypedAliasSurvivesARebuildAndRenameSendsIt)
{
    open(sample_devices());
    click_control(device_control_id("details", mouse_path));
    const vorn_ui::TextInput* input = alias_input(*pane, mouse_path);
    ASSERT_NE(input, nullptr);
    const auto [x, y] = centre(input->get_rect());
    window->click(x, y);
    window->type("  Desk mouse ");
    EXPECT_EQ(panes::testing::focused_id(*window), alias_field_id(mouse_path));

    // A device appears meanwhile: the view is built again with what was typed, still focused.
    auto devices = sample_devices();
    devices.push_back(
        {.path = "/org/bluez/hci0/dev_AA_AA_AA_AA_AA_02", .address = "AA:AA:AA:AA:AA:02", .name = "Speaker"});
    fake->set_devices(devices);
    const auto before = pane->view_builds();
    doc.put_bool(refresh_key, true);
    window->frame();
    EXPECT_GT(pane->view_builds(), before);
    EXPECT_TRUE(shows("Speaker"));
    EXPECT_EQ(panes::testing::focused_id(*window), alias_field_id(mouse_path));
    window->type("2");
    EXPECT_TRUE(shows("  Desk mouse 2"));

    click_control(device_control_id("rename", mouse_path));
    EXPECT_THAT(fake->calls(), Contains("set_alias " + mouse_path + " Desk mouse 2"));
    EXPECT_TRUE(shows("Renamed device to Desk mouse 2."));
}

TEST_F(BluetoothPaneTest, ForgetAsksOnceThenRemovesTheDevice)
{
    open(sample_devices());
    click_control(device_control_id("details", mouse_path));
    click_control(device_control_id("forget", mouse_path));
    EXPECT_EQ(node(device_control_id("forget", mouse_path))->value("label", std::string()), "Confirm forget");
    EXPECT_TRUE(shows("Forget MX Master 3? This removes its bond and keys."));
    EXPECT_THAT(fake->calls(), Not(Contains("forget " + mouse_path)));

    click_control(device_control_id("forget", mouse_path));
    EXPECT_THAT(fake->calls(), Contains("forget " + mouse_path));
    EXPECT_TRUE(shows("Forgot MX Master 3. Pair it again to reconnect."));
    EXPECT_FALSE(node(device_control_id("details", mouse_path)).has_value());
    EXPECT_TRUE(shows("Sony Headphones"));
}

TEST_F(BluetoothPaneTest, TrustSwitchAndConnectReachTheBackend)
{
    open(sample_devices());
    click_control(device_control_id("details", mouse_path));
    click_control(device_control_id("trusted", mouse_path));
    window->frame();
    EXPECT_THAT(fake->calls(), Contains("set_trusted " + mouse_path + " true"));
    EXPECT_TRUE(shows("MX Master 3 is now trusted."));

    fake->set_failure("org.bluez.Error.Failed: Page Timeout");
    click_control(main_button_id(mouse_path, "connect"));
    EXPECT_TRUE(shows("Could not connect MX Master 3: org.bluez.Error.Failed: Page Timeout Check that it is awake "
                      "and in range, then retry."));
    EXPECT_EQ(node(main_button_id(mouse_path, "connect"))->value("label", std::string()), "Connect");
}

}  // namespace
}  // namespace settings::panes::bluetooth
