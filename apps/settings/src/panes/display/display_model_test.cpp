#include "panes/display/display_model.hpp"
#include "panes/display/testing/display_world.hpp"

#include "actions/payloads/codec.hpp"
#include "display_service/testing/fake_compositor.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <thread>

namespace settings::panes::display {
namespace {

namespace hw = config_sections::hardware;
using actions::DisplayOperation;
using Op = DisplayOperation;
using display_service::testing::FakeCompositor;
using namespace testing;

// The application's side: runs one operation at a time like the device-local runner, and keeps what the page
// publishes for it.
struct Runner {
    DisplayModel& model;
    page_doc::Document& doc;
    std::optional<std::string> running;
    std::vector<Outcome> published;
    std::vector<Outcome> dropped;

    void sync(std::optional<DisplayOperation> taken = std::nullopt)
    {
        for (auto& outcome : model.sync(doc, {.attached = true, .running_key = running, .taken = std::move(taken)})) {
            if (running && outcome.key == *running) {
                published.push_back(std::move(outcome));
                running.reset();
            } else {
                dropped.push_back(std::move(outcome));
            }
        }
    }
    // Syncs until `done` holds, giving the worker threads time between syncs (bounded).
    bool sync_until(const std::function<bool()>& done)
    {
        for (int i = 0; i < 500 && !done(); ++i) {
            sync();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
    // Starts the operation and syncs until it is answered (at most `syncs` times).
    std::optional<Outcome> run(const DisplayOperation& op, int syncs = 5)
    {
        running = key_of(op);
        const std::size_t before = published.size();
        sync(op);
        for (int i = 1; i < syncs && running; ++i) {
            sync();
        }
        if (published.size() == before) {
            return std::nullopt;
        }
        return published.back();
    }
};

class DisplayModelTest : public ::testing::Test {
protected:
    explicit DisplayModelTest(DisplayHardwareSnapshot snapshot = laptop_and_monitor())
        : snapshot_(snapshot),
          hardware_(std::make_shared<hw::FakeDisplayHardware>(snapshot)),
          compositor_(std::make_unique<FakeCompositor>(
              snapshot, side_by_side(), FakeCompositor::Options{.clock = [s = world_.state] { return s->unix_ms.load(); }}))
    {
    }

    DisplayModel make(bool workers = false)
    {
        auto model = DisplayModel::create(world_.backend(), workers);
        if (!workers) {
            model.set_probe_answer(0.62F, true);
        }
        return model;
    }

    // DP-1 at 1280 × 720, staged through its operation.
    static void stage_smaller_mode(Runner& runner)
    {
        runner.sync();
        ASSERT_TRUE(runner.run({Op::SetModeLabel{"DP-1", k720.label()}}));
        ASSERT_TRUE(runner.model.staged());
    }

    World world_;
    RuntimeFolder runtime_;
    DisplayHardwareSnapshot snapshot_;
    std::shared_ptr<hw::FakeDisplayHardware> hardware_;
    hw::ScopedDisplayHardware scoped_{hardware_};
    std::unique_ptr<FakeCompositor> compositor_;
    page_doc::Document doc_;
};

TEST_F(DisplayModelTest, RowsPutBuiltInPanelsFirstAndTheOthersInByteOrder)
{
    DisplayHardwareSnapshot snapshot;
    snapshot.outputs = {output("HDMI-A-1", "beamer", false, {k720}), output("DP-2", "Zeta", false, {k720}),
                        output("eDP-1", "", true, {kPanel})};
    const auto rows = output_rows(snapshot);
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[0].label, "Built-in display");
    EXPECT_EQ(rows[1].label, "Zeta");  // upper case before lower case
    EXPECT_EQ(rows[2].label, "beamer");
    EXPECT_EQ(output_control_id("DP-2", "mode"), "display.output.DP-2.mode");
}

TEST_F(DisplayModelTest, StagingTable)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::variant<bool, std::string>>> writes;
        std::function<void(const DisplayConfig&)> check;  // none: nothing is staged
    };
    const Case cases[] = {
        {"nothing differs", {}, nullptr},
        {"left of the panel",
         {{"display.output.DP-1.position", std::string("Left of Built-in display")}},
         [](const DisplayConfig& c) {
             EXPECT_EQ(c.outputs.at("DP-1").x, -2560);
             EXPECT_EQ(c.outputs.at("DP-1").y, 0);
         }},
        {"below the panel",
         {{"display.output.DP-1.position", std::string("Below of Built-in display")}},
         [](const DisplayConfig& c) {
             EXPECT_EQ(c.outputs.at("DP-1").x, 0);
             EXPECT_EQ(c.outputs.at("DP-1").y, 1440);
         }},
        {"above the monitor",
         {{"display.output.eDP-1.position", std::string("Above of DELL U2720Q")}},
         [](const DisplayConfig& c) { EXPECT_EQ(c.outputs.at("eDP-1").y, -1440); }},
        {"a position relative to itself is ignored",
         {{"display.output.DP-1.position", std::string("Left of DELL U2720Q")}}, nullptr},
        {"mirroring picks the largest shared size, each at its fastest rate",
         {{"display.output.DP-1.mirror", std::string("Mirror Built-in display")}},
         [](const DisplayConfig& c) {
             EXPECT_EQ(c.outputs.at("DP-1").mirror, "eDP-1");
             EXPECT_EQ(c.outputs.at("DP-1").mode, k1080at144);
             EXPECT_EQ(c.outputs.at("eDP-1").mode, k1080at60);
         }},
        {"a mirror of itself is ignored", {{"display.output.DP-1.mirror", std::string("Mirror DELL U2720Q")}},
         nullptr},
        {"turning the primary off moves primary to the first remaining output",
         {{"display.output.eDP-1.enabled", false}},
         [](const DisplayConfig& c) {
             EXPECT_FALSE(c.outputs.at("eDP-1").enabled);
             EXPECT_FALSE(c.outputs.at("eDP-1").primary);
             EXPECT_TRUE(c.outputs.at("DP-1").primary);
         }},
        {"a new primary takes it from the other",
         {{"display.output.DP-1.primary", true}},
         [](const DisplayConfig& c) {
             EXPECT_TRUE(c.outputs.at("DP-1").primary);
             EXPECT_FALSE(c.outputs.at("eDP-1").primary);
         }},
        {"a mode by its label", {{"display.output.DP-1.mode", k720.label()}},
         [](const DisplayConfig& c) { EXPECT_EQ(c.outputs.at("DP-1").mode, k720); }},
        {"an unknown mode, scale or rotation text changes nothing",
         {{"display.output.DP-1.mode", std::string("640 × 480")},
          {"display.output.DP-1.scale", std::string("130%")},
          {"display.output.DP-1.transform", std::string("Sideways")}},
         nullptr},
        {"HDR on an output without support is not read", {{"display.output.DP-1.hdr", true}}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto model = make();
        page_doc::Document doc;
        (void)model.sync(doc, {});
        ASSERT_FALSE(model.staged());
        for (const auto& [key, value] : c.writes) {
            if (std::holds_alternative<bool>(value)) {
                doc.put_bool(key, std::get<bool>(value));
            } else {
                doc.put_str(key, std::get<std::string>(value));
            }
        }
        const auto outcomes = model.sync(doc, {});
        if (!c.check) {
            EXPECT_FALSE(model.staged());
        } else {
            ASSERT_TRUE(model.staged());
            c.check(*model.staged());
        }
        for (const auto& o : outcomes) {
            EXPECT_TRUE(o.key.empty()) << "a control change answers no operation: " << o.sentence;
        }
    }
}

TEST_F(DisplayModelTest, EveryOperationEndsAlsoWhenNothingChanges)
{
    const auto mode_label = kWide.label();
    const struct {
        DisplayOperation op;
        bool failed;
        std::string sentence;
    } cases[] = {
        {{Op::SetBrightness{0.62}}, false, "Brightness is already 62%."},
        {{Op::SetNightLight{false}}, false, "Night Light is already off."},
        {{Op::SetNightLight{true}}, false, "Night Light turned on."},
        {{Op::SetNightLightTemperature{"Warm \u00B7 3700 K"}}, false, "Night Light warmth is already Warm · 3700 K."},
        {{Op::SetNightLightTemperature{"Subtle \u00B7 4500 K"}}, false, "Night Light warmth set to Subtle · 4500 K."},
        {{Op::SetScale{"100%"}}, false, "Display scale is already 100%."},
        {{Op::SetScale{"150%"}}, false, "Display scale set to 150%."},
        {{Op::SetAutoBrightness{false}}, false, "Automatic brightness is already off."},
        {{Op::SetAutoBrightness{true}}, false, "Automatic brightness enabled."},
        {{Op::SetModeLabel{"DP-1", mode_label}}, false, "No display changes to stage."},
        {{Op::SetPosition{"DP-1", "Automatic"}}, false, "No display changes to stage."},
        {{Op::SetModeLabel{"DP-1", k720.label()}}, false,
         "Display change staged. Apply it to preview the new configuration."},
        {{Op::SetEnabled{"eDP-1", false}}, false, "Display change staged. Apply it to preview the new configuration."},
        {{Op::Apply{}}, true, "There are no staged display changes to apply."},
        {{Op::Confirm{}}, true, "There is no display transaction to keep."},
        {{Op::Revert{}}, true, "There is no display transaction to revert."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(key_of(c.op));
        auto model = make();
        page_doc::Document doc;
        Runner runner{model, doc};
        runner.sync();
        const auto outcome = runner.run(c.op);
        ASSERT_TRUE(outcome) << "the operation never ended";
        EXPECT_EQ(outcome->failed, c.failed);
        EXPECT_EQ(outcome->sentence, c.sentence);
        EXPECT_EQ(outcome->key, key_of(c.op));
    }
}

// Between operations the output controls show the staged layout, not the one in force: a later change adds to it,
// and setting everything back drops it.
TEST_F(DisplayModelTest, AStagedLayoutStaysInTheControlsUntilItIsDropped)
{
    auto model = make();
    Runner runner{model, doc_};
    stage_smaller_mode(runner);
    runner.sync();
    runner.sync();
    EXPECT_EQ(page_doc::doc_text(doc_, "display.output.DP-1.mode"), k720.label());

    ASSERT_TRUE(runner.run({Op::SetOutputScale{"eDP-1", "125%"}}));
    ASSERT_TRUE(model.staged());
    EXPECT_EQ(model.staged()->outputs.at("DP-1").mode, k720);
    EXPECT_EQ(model.staged()->outputs.at("eDP-1").scale, 1.25);

    ASSERT_TRUE(runner.run({Op::SetOutputScale{"eDP-1", "100%"}}));
    const auto last = runner.run({Op::SetModeLabel{"DP-1", kWide.label()}});
    ASSERT_TRUE(last);
    EXPECT_EQ(*last, (Outcome{key_of({Op::SetModeLabel{"DP-1", kWide.label()}}), false,
                              "Staged display changes dropped; the layout in force stays."}));
    EXPECT_FALSE(model.staged());
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Idle);
}

TEST_F(DisplayModelTest, InvalidLayoutIsRefusedWithItsReason)
{
    // The only output of a machine cannot be turned off.
    DisplayHardwareSnapshot single{.outputs = {output("eDP-1", "", true, {kPanel})}};
    hardware_->set_snapshot(single);
    compositor_.reset();
    auto model = make();
    page_doc::Document doc;
    Runner runner{model, doc};
    runner.sync();
    const auto outcome = runner.run({Op::SetEnabled{"eDP-1", false}});
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->failed);
    EXPECT_EQ(outcome->sentence, "Display configuration is not valid: at least one display must stay on");
    EXPECT_FALSE(model.staged());
}

TEST_F(DisplayModelTest, AppliedLayoutCountsDownAndIsKept)
{
    auto model = make();
    Runner runner{model, doc_};
    stage_smaller_mode(runner);
    ASSERT_TRUE(model.staged());
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Staged);

    // Apply runs over many syncs: one transaction is requested, however often the running operation is written.
    const DisplayOperation apply{Op::Apply{}};
    EXPECT_FALSE(runner.run(apply, 10));
    const auto requested = DisplayTransaction::load();
    ASSERT_TRUE(requested);
    EXPECT_EQ(requested->state, 0);
    EXPECT_EQ(world_.state->services_started, 1);
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Applying);

    EXPECT_TRUE(compositor_->step());
    runner.sync();
    // Apply ends once the layout runs, so that Keep can be asked for.
    ASSERT_FALSE(runner.running);
    EXPECT_EQ(runner.published.back(),
              (Outcome{key_of(apply), false,
                       "Display changes applied. Keep them, or the previous layout comes back in 15 seconds."}));
    auto card = model.card();
    EXPECT_EQ(card.kind, TransactionCard::Kind::Confirm);
    EXPECT_EQ(card.seconds, 15U);
    world_.advance(std::chrono::milliseconds(13'800));
    EXPECT_EQ(model.card().seconds, 2U);
    EXPECT_EQ(model.card().caption,
              "Every display should be visible. Restoring the previous layout in 2 seconds unless you keep this one.");
    ASSERT_EQ(compositor_->applied().size(), 1U);
    EXPECT_EQ(DisplayTransaction::load()->id, requested->id);

    // Keep is the next operation and gets the answer.
    const DisplayOperation keep{Op::Confirm{}};
    runner.running = key_of(keep);
    runner.sync(keep);
    EXPECT_TRUE(runner.running);
    EXPECT_FALSE(compositor_->step());
    runner.sync();
    ASSERT_FALSE(runner.running);
    EXPECT_EQ(runner.published.back(), (Outcome{key_of(keep), false, "Display changes kept."}));
    EXPECT_FALSE(model.staged());
    EXPECT_EQ(model.active().outputs.at("DP-1").mode, k720);
    EXPECT_EQ(page_doc::doc_text(doc_, "display.output.DP-1.mode"), k720.label());
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Idle);
}

TEST_F(DisplayModelTest, LayoutNotKeptComesBackAtTheDeadline)
{
    auto model = make();
    Runner runner{model, doc_};
    stage_smaller_mode(runner);
    const DisplayOperation apply{Op::Apply{}};
    EXPECT_FALSE(runner.run(apply));
    EXPECT_TRUE(compositor_->step());
    runner.sync();
    ASSERT_FALSE(runner.running);
    world_.advance(std::chrono::milliseconds(15'000));
    EXPECT_EQ(model.card().seconds, 0U);
    EXPECT_FALSE(compositor_->step());
    runner.sync();
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Idle);
    ASSERT_FALSE(runner.dropped.empty());
    EXPECT_EQ(runner.dropped.back(), (Outcome{"", false, "Display changes reverted."}))
        << "the restore at the deadline answers no operation";
    EXPECT_EQ(compositor_->layout().outputs.at("DP-1").mode, kWide);
    EXPECT_EQ(page_doc::doc_text(doc_, "display.output.DP-1.mode"), kWide.label());

    // The same change again: Apply has the same key as before, and is carried out again.
    const auto first = DisplayTransaction::load()->id;
    stage_smaller_mode(runner);
    EXPECT_FALSE(runner.run(apply));
    ASSERT_TRUE(DisplayTransaction::load());
    EXPECT_NE(DisplayTransaction::load()->id, first);
    EXPECT_EQ(DisplayTransaction::load()->state, 0);
}

TEST_F(DisplayModelTest, RejectedLayoutFailsWithTheCompositorsReason)
{
    auto model = make();
    Runner runner{model, doc_};
    stage_smaller_mode(runner);
    compositor_->refuse_next("DP-1 cannot be rotated by this X server");
    EXPECT_FALSE(runner.run({Op::Apply{}}));
    EXPECT_FALSE(compositor_->step());
    runner.sync();
    ASSERT_FALSE(runner.running);
    EXPECT_TRUE(runner.published.back().failed);
    EXPECT_EQ(runner.published.back().sentence,
              "The display layout was refused: DP-1 cannot be rotated by this X server.");
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Rejected);
    EXPECT_EQ(model.card().caption, "The display layout was refused: DP-1 cannot be rotated by this X server.");
}

TEST_F(DisplayModelTest, NoDisplayServiceAnswersTheRequestIsWithdrawn)
{
    auto model = make();
    Runner runner{model, doc_};
    stage_smaller_mode(runner);
    const DisplayOperation apply{Op::Apply{}};
    EXPECT_FALSE(runner.run(apply));
    world_.advance(std::chrono::milliseconds(4'900));
    runner.sync();
    EXPECT_TRUE(runner.running);
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Applying);
    world_.advance(std::chrono::milliseconds(100));
    runner.sync();
    ASSERT_FALSE(runner.running);
    EXPECT_EQ(runner.published.back(),
              (Outcome{key_of(apply), true, "No display service answered; the display layout was not changed."}));
    EXPECT_EQ(DisplayTransaction::load()->state, 7);
    EXPECT_FALSE(model.staged());
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Rejected) << "the page says why nothing changed";
    EXPECT_EQ(model.card().caption, kNoServiceSentence);
    EXPECT_FALSE(model.card().try_again);
    EXPECT_EQ(page_doc::doc_text(doc_, "display.output.DP-1.mode"), kWide.label());
    // A compositor that comes late finds nothing to do.
    EXPECT_FALSE(compositor_->step());
    EXPECT_TRUE(compositor_->applied().empty());
}

// Settings closed while its request waited for a display service that never came: the next page takes it back
// rather than show it as being applied.
TEST_F(DisplayModelTest, ARequestAnEarlierPageLeftUnansweredIsWithdrawn)
{
    auto requested = DisplayTransaction::request(side_by_side());
    ASSERT_TRUE(requested);
    ASSERT_TRUE(hw::update_display_transaction([&](std::optional<DisplayTransaction>& tx) {
        tx->requested_unix_ms = world_.state->unix_ms.load() - 4'000;
    }));
    auto model = make();
    Runner runner{model, doc_};
    runner.sync();
    EXPECT_EQ(model.card().kind, TransactionCard::Kind::Applying) << "still within the answer time";
    world_.advance(std::chrono::milliseconds(1'000));
    runner.sync();
    EXPECT_EQ(DisplayTransaction::load()->state, 7);
    EXPECT_EQ(model.card().caption, kNoServiceSentence);
    EXPECT_TRUE(runner.published.empty());
}

TEST_F(DisplayModelTest, TransactionCardTexts)
{
    EXPECT_EQ(seconds_left(2'200, 1'000), 2U);
    EXPECT_EQ(seconds_left(2'000, 1'000), 1U);
    EXPECT_EQ(seconds_left(900, 1'000), 0U);
    EXPECT_EQ(seconds_left(std::nullopt, 1'000), 0U);
    DisplayTransaction tx;
    tx.state = 2;
    EXPECT_EQ(transaction_card(tx, false, 0).caption,
              "The compositor is validating and applying the output plan\u2026");
    tx.state = 6;
    const auto rejected = transaction_card(tx, true, 0);
    EXPECT_EQ(rejected.caption, "The compositor rejected this output plan.");
    EXPECT_TRUE(rejected.try_again);
    tx.state = 7;
    EXPECT_EQ(transaction_card(tx, true, 0).title, "Apply display changes");
    EXPECT_EQ(transaction_card(std::nullopt, false, 0).caption, "No unapplied display changes.");
}

TEST_F(DisplayModelTest, BrightnessIsClampedAndFailuresPutTheLevelBack)
{
    auto model = make();
    page_doc::Document doc;
    (void)model.sync(doc, {});
    doc.put_f64(kBrightnessKey, 1.4);
    (void)model.sync(doc, {});
    EXPECT_EQ(world_.state->percents, std::vector<float>{100.0F});
    EXPECT_FLOAT_EQ(model.shown_level(), 1.0F);
    EXPECT_EQ(page_doc::doc_f64(doc, kBrightnessKey), 1.0);
    (void)model.sync(doc, {});
    EXPECT_EQ(world_.state->percents.size(), 1U) << "the stored level is the one applied: nothing is sent again";

    world_.state->brightness_failure = "no backlight";
    Runner runner{model, doc};
    const auto failed = runner.run({Op::SetBrightness{0.3}});
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->sentence, "Brightness could not be changed: no backlight");
    EXPECT_EQ(page_doc::doc_f64(doc, kBrightnessKey), 1.0);
}

TEST_F(DisplayModelTest, LateBrightnessAnswerBelongsToItsOwnOperation)
{
    std::promise<void> release;
    world_.state->apply_gate = release.get_future().share();
    auto model = make(true);
    page_doc::Document doc;
    Runner runner{model, doc};
    ASSERT_TRUE(runner.sync_until([&] { return std::abs(model.shown_level() - 0.62F) < 1e-6F; })) << "the probe answers";

    const DisplayOperation first{Op::SetBrightness{0.3}};
    EXPECT_FALSE(runner.run(first));
    EXPECT_TRUE(model.brightness_in_flight());
    // The runner gave up on it; another operation runs when the answer comes.
    const DisplayOperation second{Op::SetNightLight{true}};
    runner.running.reset();
    ASSERT_TRUE(runner.run(second));
    release.set_value();
    ASSERT_TRUE(runner.sync_until([&] { return !model.brightness_in_flight(); }));
    ASSERT_EQ(runner.dropped.size(), 1U);
    EXPECT_EQ(runner.dropped[0], (Outcome{key_of(first), false, "Brightness set to 30%."}));
    EXPECT_EQ(runner.published.back().key, key_of(second));
}

TEST_F(DisplayModelTest, AutomaticBrightnessWaitsForTheSensorProbe)
{
    std::promise<void> release;
    world_.state->probe_gate = release.get_future().share();
    auto model = make(true);
    page_doc::Document doc;
    Runner runner{model, doc};
    const DisplayOperation on{Op::SetAutoBrightness{true}};
    EXPECT_FALSE(runner.run(on, 20)) << "no answer before the sensor is known";
    release.set_value();
    ASSERT_TRUE(runner.sync_until([&] { return !runner.running; }));
    EXPECT_EQ(runner.published.back(), (Outcome{key_of(on), false, "Automatic brightness enabled."}));
    EXPECT_TRUE(world_.state->prefs.auto_brightness);
}

TEST_F(DisplayModelTest, FailedSavesLeaveEveryPreferenceAsItWas)
{
    world_.state->save_failure = "disk full";
    const struct {
        DisplayOperation op;
        std::string_view key;
    } cases[] = {
        {{Op::SetNightLight{true}}, kNightLightKey},
        {{Op::SetNightLightTemperature{"Subtle \u00B7 4500 K"}}, kWarmthKey},
        {{Op::SetAutoBrightness{true}}, kAutoBrightnessKey},
        {{Op::SetScale{"200%"}}, kScaleKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(key_of(c.op));
        auto model = make();
        page_doc::Document doc;
        Runner runner{model, doc};
        runner.sync();
        const auto before = model.applied_prefs();
        const auto outcome = runner.run(c.op);
        ASSERT_TRUE(outcome);
        EXPECT_TRUE(outcome->failed);
        EXPECT_EQ(outcome->sentence, "Display preference could not be saved: disk full");
        EXPECT_EQ(model.applied_prefs(), before);
        runner.sync();  // nothing is tried again
        EXPECT_TRUE(runner.dropped.empty());
        if (c.key == kNightLightKey) {
            EXPECT_EQ(page_doc::doc_bool(doc, kNightLightKey), false);
        } else if (c.key == kWarmthKey) {
            EXPECT_EQ(page_doc::doc_text(doc, kWarmthKey), "Warm \u00B7 3700 K");
        }
    }
}

TEST_F(DisplayModelTest, FixtureShowsOnePanel)
{
    auto model = DisplayModel::fixture(world_.backend(), 0.62F);
    ASSERT_EQ(model.rows().size(), 1U);
    EXPECT_EQ(model.rows()[0].label, "Built-in display");
    EXPECT_EQ(model.rows()[0].output.modes, std::vector<OutputMode>{k1080at60});
    EXPECT_TRUE(model.ambient_light_sensor());
    page_doc::Document doc;
    (void)model.sync(doc, {});
    EXPECT_EQ(page_doc::doc_text(doc, "display.output.eDP-1.mode"), std::nullopt);  // no entry, no mode written
    EXPECT_EQ(page_doc::doc_bool(doc, "display.output.eDP-1.primary"), true);
    EXPECT_EQ(page_doc::doc_f64(doc, kBrightnessKey), static_cast<double>(0.62F));
}

}  // namespace
}  // namespace settings::panes::display
