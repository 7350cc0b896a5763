#include "panes/power/power_model.hpp"

#include "panes/power/power_cards.hpp"
#include "panes/power/testing/fake_machine.hpp"

#include "operations/testing/page_cells.hpp"
#include "page_workers/testing/manual_threads.hpp"
#include "prefs/settings_file.hpp"
#include "test_support/temp_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace settings::panes::power {
namespace {

using operations::OperationStatus;
using operations::testing::done;
using operations::testing::failed;
using page_workers::testing::ManualThreads;
using system_ops::ScopedCurrent;
using system_ops::battery::FakeBattery;
using system_ops::power::FakePower;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Op = PowerOperation;

constexpr std::string_view profiles_worker = "vorn-profiles";
constexpr std::string_view battery_worker = "vorn-battery";

// The page with fake backends, a settings file in memory and workers the test runs by hand.
class PowerModelTest : public ::testing::Test, protected FakeMachine {
protected:
    // The page; with the application's cells unless `cells` is false.
    PowerModel& open(bool cells = true)
    {
        model = std::make_unique<PowerModel>(environment());
        if (cells) {
            model->use_operation_requests(requests);
            model->use_operation_status(status);
        }
        model->sync(doc);
        return *model;
    }

    // Every waiting worker runs, then the page takes the results.
    void settle()
    {
        threads.run_all();
        model->sync(doc);
    }

    // The runner hands the operation over: Running under its key, the request in the cell; the page syncs.
    void request(const Op& operation)
    {
        operations::testing::hand_over(requests, status, operation);
        model->sync(doc);
    }

    // The document the page works on.
    [[nodiscard]] std::optional<std::string> shown(std::string_view key) const
    {
        return page_doc::doc_text(model->shares_requests() ? model->document() : doc, key);
    }

    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<PowerModel> model;
};

TEST_F(PowerModelTest, EveryRequestEndsWithItsSentence)
{
    using P = prefs::PowerPrefs;
    const struct Row {
        Op operation;
        bool ok;
        std::string_view sentence;
        std::function<void(P&)> saved = [](P&) {};
    } rows[] = {
        {{Op::SetAutoSuspend{false}}, true, "Automatic suspend preference saved.", [](P& p) { p.auto_suspend = false; }},
        {{Op::SetAutoSuspend{true}}, true, "Automatic suspend is already on."},
        {{Op::SetBlankTimeout{"Never"}}, true, "Screen blank timeout saved.", [](P& p) { p.blank_minutes = 0; }},
        {{Op::SetBlankTimeout{"10 minutes"}}, true, "Screen blank timeout is already set to 10 minutes."},
        {{Op::SetBlankTimeout{"2 minutes"}}, false, "unsupported screen blank timeout"},
        {{Op::SetLockTimeout{"1 minute"}}, true, "Automatic lock timeout saved.", [](P& p) { p.lock_minutes = 1; }},
        {{Op::SetLockTimeout{"1 hour"}}, false, "unsupported automatic lock timeout"},
        {{Op::SetSuspendTimeout{"default", "1 hour"}}, true, "Suspend timeout saved.",
         [](P& p) { p.suspend_minutes = 60; }},
        {{Op::SetSuspendTimeout{"saver", "10 minutes"}}, true,
         "Power Saver suspend timeout is already set to 10 minutes."},
        {{Op::SetSuspendTimeout{"balanced", "45 minutes"}}, true, "Balanced suspend timeout saved.",
         [](P& p) { p.balanced_suspend_minutes = 45; }},
        {{Op::SetSuspendTimeout{"performance", "Never"}}, true, "Performance suspend timeout saved.",
         [](P& p) { p.performance_suspend_minutes = 0; }},
        {{Op::SetSuspendTimeout{"balanced", "2 hours"}}, false, "unsupported suspend timeout"},
        {{Op::SetSuspendTimeout{"turbo", "5 minutes"}}, false, "unsupported power profile timeout"},
        {{Op::SetLidAction{"Lock screen"}}, true, "Lid-close action saved.",
         [](P& p) { p.lid_close_action = PowerAction::Lock; }},
        {{Op::SetPowerKeyAction{"Suspend"}}, true, "Power-key action is already set to Suspend."},
        {{Op::SetCriticalAction{"Do nothing"}}, true, "Critical-battery action saved.",
         [](P& p) { p.critical_action = PowerAction::Ignore; }},
        {{Op::SetCriticalAction{"Hibernate"}}, false, "unsupported power action"},
        {{Op::SetProfile{"Performance"}}, true, "Performance is now active."},
        {{Op::SetProfile{"Balanced"}}, true, "Balanced is already active."},
        {{Op::SetProfile{"Turbo"}}, false, "unsupported power profile"},
        {{Op::SetChargeLimit{80}}, true, "hardware confirmed a 80% charge cap"},
        {{Op::SetChargeLimit{100}}, true, "The charge cap is already 100%."},
        {{Op::SetChargeLimit{85}}, false, "battery charge-cap control is unavailable on this device"},
    };
    for (const auto& row : rows) {
        const std::string key = operations::operation_key(row.operation);
        stored = {};
        power->set_state({});
        battery->set_state(fake_laptop());
        open();
        settle();
        request(row.operation);
        settle();
        EXPECT_EQ(status.get(), row.ok ? done(row.operation, row.sentence) : failed(row.operation, row.sentence))
            << key;
        prefs::PowerPrefs expected;
        row.saved(expected);
        EXPECT_EQ(stored, expected) << key;
        EXPECT_EQ(model->prefs(), expected) << key;
        model.reset();
    }
}

TEST_F(PowerModelTest, AProfileAndACapChangeTheMachineAndThePage)
{
    open();
    settle();
    request(Op{Op::SetProfile{"Power Saver"}});
    EXPECT_TRUE(model->changing_profile());
    EXPECT_EQ(status.get().state, OperationStatus::State::Running) << "answered when the daemon has answered";
    settle();
    EXPECT_EQ(power->state().active, PowerProfile::PowerSaver);
    EXPECT_EQ(model->active_profile(), PowerProfile::PowerSaver);
    EXPECT_EQ(model->profile_notice(), "Power Saver is now active.");

    request(Op{Op::SetChargeLimit{80}});
    settle();
    EXPECT_EQ(status.get(), done(Op{Op::SetChargeLimit{80}}, "hardware confirmed a 80% charge cap"));
    EXPECT_EQ(model->charge_cap_notice(), "Hardware confirmed a 80% charge cap.");
    ASSERT_TRUE(model->battery().has_value());
    EXPECT_TRUE(model->battery()->battery.charge_limited);
    EXPECT_EQ(model->battery()->battery.charge_limit_percent, 80U);
    EXPECT_EQ(model->battery()->capability->current_percent, 80U);
    EXPECT_EQ(shown(charge_limit_key), "80%");

    // The next page of this process starts from what this one left.
    EXPECT_EQ(last->profiles()->active, PowerProfile::PowerSaver);
    EXPECT_EQ(last->battery()->capability->current_percent, 80U);
}

TEST_F(PowerModelTest, AProfileTheMachineLacksIsRefusedAndTheChoiceReturns)
{
    power->set_state({.available = {PowerProfile::Balanced, PowerProfile::Performance}});
    open();
    settle();
    request(Op{Op::SetProfile{"Power Saver"}});
    EXPECT_EQ(status.get(), failed(Op{Op::SetProfile{"Power Saver"}}, "Power profile is not supported by this device."));
    EXPECT_EQ(model->profile_notice(), "Power Saver is not supported by this device.");
    EXPECT_EQ(shown(profile_key), "Balanced");
    EXPECT_THAT(power->state().profiles_set, IsEmpty());
    EXPECT_THAT(threads.waiting(), IsEmpty());

    // A daemon that refuses: the choice returns too, with its reason.
    power->set_state({.available = {PowerProfile::PowerSaver, PowerProfile::Balanced, PowerProfile::Performance}});
    model.reset();
    open();
    settle();
    power->set_state({.failure = "Not allowed to change the profile"});
    request(Op{Op::SetProfile{"Performance"}});
    settle();
    EXPECT_EQ(status.get(), failed(Op{Op::SetProfile{"Performance"}},
                                   "Could not change the power profile: Not allowed to change the profile"));
    EXPECT_EQ(shown(profile_key), "Balanced");
    EXPECT_EQ(model->active_profile(), PowerProfile::Balanced);
}

TEST_F(PowerModelTest, TheProfileStateFromTheDaemonsAnswers)
{
    using system_ops::Result;
    const auto state = profile_state(PowerProfile::PowerSaver,
                                     std::vector<PowerProfile>{PowerProfile::Balanced, PowerProfile::Performance});
    EXPECT_EQ(state.available, (std::vector<PowerProfile>{PowerProfile::PowerSaver, PowerProfile::Balanced,
                                                          PowerProfile::Performance}))
        << "an active profile the list lacks is still offered";
    EXPECT_EQ(state.unavailable, std::nullopt);

    const auto unread = profile_state(Result<PowerProfile>(std::unexpected("boom")),
                                      std::vector<PowerProfile>{PowerProfile::Performance});
    EXPECT_EQ(unread.active, PowerProfile::Performance);
    EXPECT_FALSE(unread.active_known);
    EXPECT_EQ(unread.unavailable, "Power-profile service is unavailable: boom.");

    const auto none = profile_state(Result<PowerProfile>(std::unexpected("boom")),
                                    Result<std::vector<PowerProfile>>(std::unexpected("bang")));
    EXPECT_EQ(none.active, PowerProfile::Balanced);
    EXPECT_THAT(none.available, IsEmpty());
    EXPECT_EQ(none.unavailable, "Power-profile service is unavailable: boom; capabilities: bang.");
}

TEST_F(PowerModelTest, WithTheStatusCellOnlyTheRunningOperationIsCarriedOut)
{
    model = std::make_unique<PowerModel>(environment());
    model->use_operation_status(status);  // the toolkit's document, the application's status
    settle();
    const Op blank{Op::SetBlankTimeout{"5 minutes"}};
    (void)status.publish(OperationStatus::running(operations::operation_key(blank)));
    doc.put_str(blank_key, "5 minutes");
    doc.put_str(lock_key, "Never");
    doc.put_str(saver_suspend_key, "1 hour");
    model->sync(doc);
    EXPECT_EQ(status.get(), done(blank, "Screen blank timeout saved."));
    EXPECT_EQ(stored.blank_minutes, 5U);
    EXPECT_EQ(stored.lock_minutes, 5U) << "not the running operation";
    EXPECT_EQ(stored.saver_suspend_minutes, 10U);

    // The same kind and key with another value is another operation.
    const Op saver{Op::SetSuspendTimeout{"saver", "45 minutes"}};
    (void)status.publish(OperationStatus::running(operations::operation_key(saver)));
    model->sync(doc);
    EXPECT_EQ(stored.saver_suspend_minutes, 10U);
    EXPECT_EQ(status.get().state, OperationStatus::State::Running);

    // With no operation running, the document shows what is in force again.
    (void)status.publish(OperationStatus::idle());
    model->sync(doc);
    EXPECT_EQ(page_doc::doc_text(doc, lock_key), "5 minutes");
    EXPECT_EQ(page_doc::doc_text(doc, saver_suspend_key), "10 minutes");
    EXPECT_EQ(page_doc::doc_text(doc, blank_key), "5 minutes");
    EXPECT_EQ(saves, 1);
}

TEST_F(PowerModelTest, WithoutCellsEveryChangeOfTheDocumentIsCarriedOut)
{
    stored.blank_minutes = 7;  // no label names it
    open(false);
    settle();
    EXPECT_EQ(page_doc::doc_text(doc, blank_key), "10 minutes");
    EXPECT_EQ(page_doc::doc_text(doc, profile_key), "Balanced");
    EXPECT_EQ(page_doc::doc_text(doc, charge_limit_key), "100%");
    EXPECT_EQ(saves, 0) << "showing a stored value is no change";

    doc.put_str(blank_key, "Never");
    doc.put_str(suspend_key, "1 hour");
    doc.put_bool(auto_suspend_key, false);
    doc.put_str(critical_key, "Lock screen");
    model->sync(doc);
    EXPECT_EQ(stored.blank_minutes, 0U);
    EXPECT_EQ(stored.suspend_minutes, 60U);
    EXPECT_FALSE(stored.auto_suspend);
    EXPECT_EQ(stored.critical_action, PowerAction::Lock);

    // The cap needs its "%" and a percentage the hardware offers.
    doc.put_str(charge_limit_key, "80");
    model->sync(doc);
    doc.put_str(charge_limit_key, "85%");
    model->sync(doc);
    EXPECT_THAT(threads.waiting(), IsEmpty());
    doc.put_str(charge_limit_key, "80%");
    model->sync(doc);
    EXPECT_THAT(threads.waiting(), ElementsAre("vorn-charge-cap"));
    settle();
    EXPECT_EQ(battery->charge_capability()->current_percent, 80U);
}

TEST_F(PowerModelTest, ASettingThatCannotBeSavedStaysAsItWas)
{
    save_failure = "disk full";
    open(false);
    settle();
    doc.put_str(lock_key, "Never");
    model->sync(doc);
    EXPECT_EQ(model->prefs().lock_minutes, 5U);
    EXPECT_EQ(page_doc::doc_text(doc, lock_key), "5 minutes");
    EXPECT_EQ(model->saving_notice(), "Power preference was not saved: disk full");
    model->sync(doc);
    EXPECT_EQ(model->prefs().lock_minutes, 5U);

    model.reset();
    open();
    settle();
    const Op lid{Op::SetLidAction{"Do nothing"}};
    request(lid);
    EXPECT_EQ(status.get(), failed(lid, "Power preference was not saved: disk full"));
    EXPECT_EQ(shown(lid_key), "Suspend");
    EXPECT_EQ(model->prefs().lid_close_action, PowerAction::Suspend);
    EXPECT_EQ(model->behaviour_notice(), "Power preference was not saved: disk full");

    save_failure.reset();
    const Op lock{Op::SetLidAction{"Lock screen"}};
    request(lock);
    EXPECT_EQ(status.get(), done(lock, "Lid-close action saved."));
    EXPECT_EQ(model->behaviour_notice(), std::nullopt);
}

TEST_F(PowerModelTest, AChargeCapTheHardwareRefusesIsNotTriedAgain)
{
    auto refusing = fake_laptop();
    refusing.change_failure = "could not write charge_control_end_threshold: Permission denied";
    battery->set_state(refusing);
    open(false);
    settle();
    doc.put_str(charge_limit_key, "80%");
    model->sync(doc);
    EXPECT_TRUE(model->changing_charge_cap());
    settle();
    EXPECT_EQ(model->charge_cap_notice(),
              "Charge cap was not applied: could not write charge_control_end_threshold: Permission denied");
    EXPECT_EQ(page_doc::doc_text(doc, charge_limit_key), "100%");
    model->sync(doc);
    model->sync(doc);
    EXPECT_THAT(threads.waiting(), IsEmpty()) << "the privileged write is not retried by itself";

    model.reset();
    open();
    settle();
    const Op cap{Op::SetChargeLimit{60}};
    request(cap);
    settle();
    EXPECT_EQ(status.get(),
              failed(cap, "Charge cap was not applied: could not write charge_control_end_threshold: Permission denied"));
    EXPECT_EQ(shown(charge_limit_key), "100%");
}

TEST_F(PowerModelTest, RequestsWaitForTheReadingTheirAnswerNeeds)
{
    open();
    const Op performance{Op::SetProfile{"Performance"}};
    request(performance);
    EXPECT_EQ(status.get().state, OperationStatus::State::Running);
    ASSERT_TRUE(threads.run_next(profiles_worker));
    model->sync(doc);
    EXPECT_TRUE(model->changing_profile());
    EXPECT_EQ(status.get().state, OperationStatus::State::Running);
    settle();
    EXPECT_EQ(status.get(), done(performance, "Performance is now active."));

    // Timeouts need no reading: answered in the sync that takes them.
    model.reset();
    threads = ManualThreads();
    open();
    const Op blank{Op::SetBlankTimeout{"1 minute"}};
    request(blank);
    EXPECT_EQ(status.get(), done(blank, "Screen blank timeout saved."));
}

TEST_F(PowerModelTest, ThePageShowsTheLastKnownStateAtOnce)
{
    open();
    EXPECT_FALSE(model->battery().has_value());
    const auto first = power_cards(*model);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front(), (Card{.title = "", .items = {CaptionItem{"Loading\u2026"}}}));
    settle();
    model.reset();

    battery->set_state(FakeBattery::State{});  // what the next reading will say does not matter yet
    threads = ManualThreads();
    open();
    EXPECT_FALSE(model->battery_read());
    ASSERT_TRUE(model->battery().has_value());
    EXPECT_EQ(model->battery()->battery.percent, 64U);
    EXPECT_EQ(power_cards(*model).front().title, "Battery");
    settle();
    EXPECT_EQ(power_cards(*model).front().title, "Power source");
}

TEST_F(PowerModelTest, ClosingThePageFailsTheRequestItStillWaitsFor)
{
    open();
    settle();
    const Op performance{Op::SetProfile{"Performance"}};
    request(performance);
    EXPECT_TRUE(model->changing_profile());
    model.reset();
    EXPECT_EQ(status.get(), failed(performance, "The Power page closed before the change was confirmed."));
    threads.run_all();  // the change still runs; its answer reaches nobody
    EXPECT_EQ(power->state().active, PowerProfile::Performance);
}

TEST_F(PowerModelTest, ReadersThatEndWithoutAWordOrNeverStart)
{
    open();
    ASSERT_TRUE(threads.drop_next(profiles_worker));
    ASSERT_TRUE(threads.drop_next(battery_worker));
    model->sync(doc);
    EXPECT_TRUE(model->profiles_read());
    EXPECT_EQ(model->profile_notice(), "Power-profile service is unavailable: the reading ended without a result.");
    const Op profile{Op::SetProfile{"Balanced"}};
    request(profile);
    EXPECT_EQ(status.get(),
              failed(profile, "Power-profile service is unavailable: the reading ended without a result."))
        << "what is in force is not known";

    model.reset();
    threads.refuse_with = "Resource temporarily unavailable";
    open();
    EXPECT_EQ(model->profile_notice(),
              "Power-profile service is unavailable: could not start a worker: Resource temporarily unavailable.");
    const auto cards = power_cards(*model);
    ASSERT_GE(cards.size(), 2U);
    EXPECT_THAT(cards[1].items[0], ::testing::VariantWith<ValueItem>(ValueItem{"Profile", "Power-profile service unavailable"}));
}

TEST(PowerSettingsFile, TurningSuspendWhenIdleOffLandsInThePowerSection)
{
    const test_support::ConfigHome home("vorn-power");
    prefs::SettingsFile before;
    before.power.blank_minutes = 30;
    ASSERT_TRUE(prefs::save_settings_file(before));

    ManualThreads threads;
    PowerModel model({.backends = {.profiles = std::make_shared<FakePower>(),
                                   .dispatcher = std::make_shared<system_ops::RealDispatcher>(),
                                   .battery = std::make_shared<FakeBattery>(),
                                   .history = [] { return std::vector<std::uint32_t>{}; }},
                      .start_thread = threads.starter(),
                      .last_readings = std::make_shared<LastReadings>()});
    page_doc::Document doc;
    model.sync(doc);
    EXPECT_EQ(page_doc::doc_bool(doc, auto_suspend_key), true);
    EXPECT_EQ(page_doc::doc_text(doc, blank_key), "30 minutes");
    doc.put_bool(auto_suspend_key, false);
    model.sync(doc);

    const auto after = prefs::load_settings_file();
    EXPECT_FALSE(after.power.auto_suspend);
    EXPECT_EQ(after.power.blank_minutes, 30U);
    const std::string text = test_support::read_file(home.path() / "vorn" / "settings.json");
    EXPECT_NE(text.find("\"auto_suspend\": false"), std::string::npos) << text;
}

}  // namespace
}  // namespace settings::panes::power
