// The Power page's model on whole machines: the kernel's power-supply class as a folder tree read by the real
// sysfs backend, and power-profiles-daemon as a fake powerprofilesctl printing what the real one prints, or the
// real powerprofilesctl against the daemon's mock on a private system bus.
#include "panes/power/power_cards.hpp"
#include "panes/power/power_model.hpp"

#include "battery_history/battery_history.hpp"
#include "operations/testing/page_cells.hpp"
#include "page_workers/testing/manual_threads.hpp"
#include "system_ops/test_tools.hpp"
#include "test_buses/temp_dir.hpp"
#include "test_buses/mock_suite.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace settings::panes::power {
namespace {

using namespace std::chrono_literals;
using operations::OperationStatus;
using operations::testing::done;
using operations::testing::failed;
using page_workers::testing::ManualThreads;
using system_ops::ScopedCurrent;
using system_ops::battery::SysfsBattery;
using system_ops::power::PowerprofilesctlPower;
using system_ops::testing::Answer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::VariantWith;
using Op = PowerOperation;

constexpr const char* three_profiles =
    "  performance:\n    CpuDriver:\tintel_pstate\n    PlatformDriver:\tplatform_profile\n    Degraded:   no\n\n"
    "* balanced:\n    CpuDriver:\tintel_pstate\n    PlatformDriver:\tplatform_profile\n\n"
    "  power-saver:\n    CpuDriver:\tintel_pstate\n    PlatformDriver:\tplatform_profile\n";
constexpr const char* absent_daemon =
    "Failed to communicate with power-profiles-daemon: g-dbus-error-quark: "
    "GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown: The name net.hadess.PowerProfiles was not provided by "
    "any .service files (2)\n";

const std::map<std::string, std::string> laptop_battery{
    {"type", "Battery"},        {"present", "1"},
    {"status", "Not charging"}, {"capacity", "79"},
    {"cycle_count", "214"},     {"energy_now", "40000000"},
    {"energy_full", "50600000"}, {"energy_full_design", "57000000"},
    {"model_name", "5B10W13975"}, {"charge_control_start_threshold", "75"},
    {"charge_control_end_threshold", "80"}};

std::vector<std::string> titles(const std::vector<Card>& cards)
{
    std::vector<std::string> out;
    for (const auto& card : cards) {
        out.push_back(card.title);
    }
    return out;
}

class PowerMachines : public system_ops::testing::FakeTools {
protected:
    void SetUp() override
    {
        FakeTools::SetUp();
        supply("AC", {{"type", "Mains"}, {"online", "1"}});
        daemon(three_profiles);
    }

    void supply(const std::string& name, const std::map<std::string, std::string>& attributes)
    {
        for (const auto& [attribute, value] : attributes) {
            write(dir_ / "sys/class/power_supply" / name / attribute, value + "\n");
        }
    }

    // powerprofilesctl as power-profiles-daemon 0.12 answers, with `list` printing `listed`.
    void daemon(const std::string& listed, std::string active = "balanced")
    {
        tool("powerprofilesctl", {{.args = "get", .out = active + "\n"},
                                  {.args = "list", .out = listed},
                                  {.args = "set power-saver"},
                                  {.args = "set balanced"},
                                  {.args = "set performance"}});
    }

    void history(const std::vector<std::uint32_t>& charges)
    {
        std::vector<battery_history::Sample> samples;
        auto time = battery_history::Clock::now() - std::chrono::hours(charges.size());
        for (const auto charge : charges) {
            samples.push_back({.time = std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count(),
                               .charge = charge});
            time += 1h;
        }
        write(history_file(), battery_history::encode_history(samples));
    }

    [[nodiscard]] std::filesystem::path history_file() const { return dir_ / "state/vorn/battery-history.json"; }

    PowerModel& open()
    {
        const auto file = history_file();
        model = std::make_unique<PowerModel>(PowerModel::Environment{
            .backends = {.profiles = profiles,
                         .dispatcher = std::make_shared<system_ops::RealDispatcher>(),
                         .battery = std::make_shared<SysfsBattery>(dir_ / "sys"),
                         .history = [file] {
                             return battery_history::load_battery_history(file, battery_history::Clock::now());
                         }},
            .start_thread = threads.starter(),
            .load_prefs = [] { return prefs::PowerPrefs{}; },
            .save_prefs = [](const std::function<void(prefs::PowerPrefs&)>&) -> std::expected<void, std::string> {
                return {};
            },
            .last_readings = std::make_shared<LastReadings>()});
        model->use_operation_requests(requests);
        model->use_operation_status(status);
        model->sync(doc);
        return *model;
    }

    // The cards once every reading is in.
    std::vector<Card> cards()
    {
        if (!model) {
            open();
        }
        threads.run_all();
        model->sync(doc);
        return power_cards(*model);
    }

    OperationStatus ask(const Op& operation)
    {
        operations::testing::hand_over(requests, status, operation);
        model->sync(doc);
        threads.run_all();
        model->sync(doc);
        return status.get();
    }

    std::shared_ptr<PowerprofilesctlPower> profiles =
        std::make_shared<PowerprofilesctlPower>(cmd_runner::system_runner());
    ScopedCurrent<system_ops::power::PowerService> dispatched{profiles};
    ManualThreads threads;
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<PowerModel> model;
};

TEST_F(PowerMachines, ADesktopOnMainsPower)
{
    const auto shown = cards();
    EXPECT_THAT(titles(shown), ElementsAre("Power source", "Power profile", "Automatic power saving", "Power behaviour"));
    EXPECT_EQ(shown[0], (Card{.title = "Power source",
                              .items = {ValueItem{"Source", "AC power"}, CaptionItem{std::string(no_battery_caption)}}}));
    EXPECT_EQ(shown[1].items[0],
              CardItem(ChoiceItem{.title = "Profile",
                                  .id = "power.profile",
                                  .action_id = "profile",
                                  .choices = {"Power Saver", "Balanced", "Performance"},
                                  .placeholder = "Balanced",
                                  .missing_binding = profile_setting.missing_binding}));
    EXPECT_EQ(model->profile_notice(), std::nullopt);
    EXPECT_EQ(shown[3].items.back(), CardItem(CaptionItem{"You'll be warned at 15% and this action runs at 5%."}));
}

TEST_F(PowerMachines, ALaptopWithOneBatteryAndAStopThreshold)
{
    supply("BAT0", laptop_battery);
    history({81, 80, 79});
    const auto shown = cards();
    EXPECT_THAT(titles(shown), ElementsAre("Battery", "Power profile", "Automatic power saving", "Power behaviour"))
        << "one power device gives no device list";
    EXPECT_THAT(
        shown[0].items,
        ElementsAre(
            CardItem(ProgressItem{0.79F}), CardItem(ValueItem{"Charge", "79%"}),
            CardItem(ValueItem{"Status", "Plugged in, not charging"}), CardItem(ValueItem{"Charge cycles", "214"}),
            CardItem(ValueItem{"Battery health", "89%"}),
            CardItem(CaptionItem{"A full charge holds 89% of the energy this battery held when it was new."}),
            CardItem(SparklineItem{{81, 80, 79}}), CardItem(CaptionItem{std::string(history_caption)}),
            CardItem(ChoiceItem{.title = "Charge cap",
                                .id = "power.charge_limit",
                                .action_id = "set-charge-cap",
                                .choices = {"50%", "60%", "70%", "80%", "90%", "100%"},
                                .placeholder = "80%",
                                .missing_binding = charge_cap_missing_binding}),
            CardItem(CaptionItem{"The kernel exposes start and stop thresholds; Vorn adjusts the start only when "
                                 "required by a lower cap."})));
    EXPECT_EQ(page_doc::doc_text(model->document(), charge_limit_key), "80%");
}

TEST_F(PowerMachines, TwoPowerDevicesAreListed)
{
    supply("BAT0", laptop_battery);
    supply("ups", {{"type", "UPS"}, {"capacity", "100"}, {"status", "Full"}, {"model_name", "Back-UPS ES 700"}});
    history({79});  // one sample draws no line
    const auto shown = cards();
    EXPECT_THAT(titles(shown), ElementsAre("Battery", "Power devices", "Power profile", "Automatic power saving",
                                           "Power behaviour"));
    EXPECT_THAT(shown[1].items,
                ElementsAre(CardItem(ValueItem{"5B10W13975", "Battery \u00b7 79% \u00b7 Plugged in, not charging"}),
                            CardItem(ValueItem{"Back-UPS ES 700", "UPS \u00b7 100% \u00b7 Fully charged"})));
    EXPECT_THAT(shown[0].items, ::testing::Not(::testing::Contains(VariantWith<SparklineItem>(::testing::_))));
}

TEST_F(PowerMachines, ABatteryWithoutChargeControlOrDesignCapacity)
{
    supply("BAT1", {{"type", "Battery"}, {"capacity", "42"}, {"status", "Discharging"}});
    const auto shown = cards();
    ASSERT_EQ(shown[0].title, "Battery");
    EXPECT_THAT(shown[0].items,
                ElementsAre(CardItem(ProgressItem{0.42F}), CardItem(ValueItem{"Charge", "42%"}),
                            CardItem(ValueItem{"Status", "On battery"}),
                            CardItem(ValueItem{"Battery health", "Not reported by this device"}),
                            CardItem(ValueItem{"Charge cap", "Not supported by this hardware"})));

    // The runner's check has passed, yet the hardware has no control: the request ends with the runner's words.
    EXPECT_EQ(ask(Op{Op::SetChargeLimit{80}}),
              failed(Op{Op::SetChargeLimit{80}},
                                      "battery charge-cap control is unavailable on this device"));
}

TEST_F(PowerMachines, TheProfileServiceIsUnavailable)
{
    tool("powerprofilesctl", {{.args = "*", .err = absent_daemon, .code = 1}});
    const auto shown = cards();
    EXPECT_THAT(shown[1].items,
                ElementsAre(CardItem(ValueItem{"Profile", "Power-profile service unavailable"}),
                            CardItem(CaptionItem{std::string(profile_caption)}),
                            CardItem(CaptionItem{
                                "Power-profile service is unavailable: the power profile service is not answering: The "
                                "name net.hadess.PowerProfiles was not provided by any .service files (2); "
                                "capabilities: the power profile service is not answering: The name "
                                "net.hadess.PowerProfiles was not provided by any .service files (2)."})));
}

TEST_F(PowerMachines, AMachineWithoutPerformanceOffersWhatItHas)
{
    daemon("* balanced:\n    CpuDriver:\tamd_pstate\n\n  power-saver:\n    CpuDriver:\tamd_pstate\n");
    const auto shown = cards();
    EXPECT_THAT(std::get<ChoiceItem>(shown[1].items[0]).choices, ElementsAre("Power Saver", "Balanced"));
    EXPECT_EQ(ask(Op{Op::SetProfile{"Performance"}}),
              failed(Op{Op::SetProfile{"Performance"}},
                                      "Power profile is not supported by this device."));
    EXPECT_EQ(ask(Op{Op::SetProfile{"Power Saver"}}),
              done(Op{Op::SetProfile{"Power Saver"}},
                                    "Power Saver is now active."));
    EXPECT_THAT(call_lines(), ::testing::Contains("powerprofilesctl set power-saver"));
    EXPECT_THAT(call_lines(), ::testing::Not(::testing::Contains("powerprofilesctl set performance")));
}

TEST_F(PowerMachines, TheHardwareConfirmsALowerCap)
{
    supply("BAT0", laptop_battery);
    (void)cards();
    const Op cap{Op::SetChargeLimit{60}};
    EXPECT_EQ(ask(cap), done(cap, "hardware confirmed a 60% charge cap"));
    EXPECT_EQ(test_buses::read_file(dir_ / "sys/class/power_supply/BAT0/charge_control_end_threshold"), "60\n");
    EXPECT_EQ(test_buses::read_file(dir_ / "sys/class/power_supply/BAT0/charge_control_start_threshold"), "50\n");
    EXPECT_EQ(model->charge_cap_notice(), "Hardware confirmed a 60% charge cap.");
    const auto battery_card = power_cards(*model)[0];
    const auto cap_row = std::ranges::find_if(battery_card.items, [](const CardItem& item) {
        return std::holds_alternative<ChoiceItem>(item) && std::get<ChoiceItem>(item).id == "power.charge_limit";
    });
    ASSERT_NE(cap_row, battery_card.items.end());
    EXPECT_EQ(std::get<ChoiceItem>(*cap_row).placeholder, "60%");
}

TEST(PowerCardTexts, TheChargeCapCaptionFollowsTheHardwaresControl)
{
    using Kind = ChargeControlKind;
    EXPECT_EQ(charge_cap_caption({.kind = Kind::StopThreshold, .adjusts_start = false}),
              "The kernel exposes a hardware stop threshold. A lower cap can reduce long-term battery wear.");
    EXPECT_EQ(charge_cap_caption({.kind = Kind::ConservationMode}),
              "This laptop exposes a discrete conservation mode, so only its real hardware choices are offered.");
    EXPECT_EQ(charge_cap_caption({.kind = Kind::PairedThresholds}),
              "The platform uses paired start/end thresholds; Vorn preserves a safe charging window.");
}

// ---- The real powerprofilesctl and the daemon's mock ----------------------------------------------------------------

class PowerProfilesDaemon : public test_buses::MockSuite {
protected:
    static void SetUpTestSuite()
    {
        start_suite("powerprofilesctl",
                    {.template_name = "power_profiles_daemon", .bus_name = "net.hadess.PowerProfiles"});
    }
    static void TearDownTestSuite() { stop_suite(); }

    PowerModel open()
    {
        return PowerModel({.backends = {.profiles = std::make_shared<PowerprofilesctlPower>(cmd_runner::system_runner()),
                                        .dispatcher = std::make_shared<system_ops::RealDispatcher>(),
                                        .battery = std::make_shared<system_ops::battery::FakeBattery>(),
                                        .history = [] { return std::vector<std::uint32_t>{}; }},
                           .start_thread = threads.starter(),
                           .load_prefs = [] { return prefs::PowerPrefs{}; },
                           .last_readings = std::make_shared<LastReadings>()});
    }

    ScopedCurrent<system_ops::power::PowerService> dispatched{
        std::make_shared<PowerprofilesctlPower>(cmd_runner::system_runner())};
    ManualThreads threads;
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
};

TEST_F(PowerProfilesDaemon, AProfileRequestReachesTheDaemon)
{
    PowerModel model = open();
    model.use_operation_requests(requests);
    model.use_operation_status(status);
    threads.run_all();
    model.sync(doc);
    ASSERT_TRUE(model.profiles().has_value());
    EXPECT_EQ(model.profiles()->available.size(), 3U);

    const Op saver{Op::SetProfile{"Power Saver"}};
    operations::testing::hand_over(requests, status, saver);
    model.sync(doc);
    threads.run_all();
    model.sync(doc);
    EXPECT_EQ(status.get(), done(saver, "Power Saver is now active."));
    const auto active = mock().call("/net/hadess/PowerProfiles", "org.freedesktop.DBus.Properties.Get",
                                    {"net.hadess.PowerProfiles", "ActiveProfile"});
    ASSERT_TRUE(active) << active.error();
    EXPECT_THAT(*active, HasSubstr("'power-saver'"));
    ASSERT_TRUE(system_ops::power::PowerprofilesctlPower(cmd_runner::system_runner())
                    .set_power_profile(PowerProfile::Balanced));
}

TEST_F(PowerProfilesDaemon, WithoutTheDaemonThePageSaysTheServiceIsUnavailable)
{
    auto empty = test_buses::PrivateBuses::start();  // a bus without the daemon, for this test
    ASSERT_TRUE(empty) << empty.error();
    PowerModel model = open();
    threads.run_all();
    model.sync(doc);
    ASSERT_TRUE(model.profile_notice().has_value());
    EXPECT_THAT(*model.profile_notice(), HasSubstr("Power-profile service is unavailable: the power profile service "
                                                   "is not answering"));
    EXPECT_EQ(power_cards(model)[1].items[0], CardItem(ValueItem{"Profile", "Power-profile service unavailable"}));
}

}  // namespace
}  // namespace settings::panes::power
