// The Printers page's view in the headless window, over the fake printing backend with workers the test runs by
// hand: what each card shows, presses by pointer and keys, and the focus across changes of the lists.
#include "panes/printers/printers_pane.hpp"

#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/printers/testing/fake_printing_backend.hpp"
#include "panes/printers/testing/view_probes.hpp"

#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets/button.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

namespace settings::panes::printers {
namespace {

using actions::PrinterOperation;
using operations::OperationStatus;
using testing::access_node;
using testing::FakePrintingBackend;
using testing::has_state;
using testing::ManualClock;
using testing::ManualThreads;
using testing::node_centre;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

FakePrintingBackend::State office_state()
{
    return {
        .queues = std::vector<PrintQueue>{{.name = "Office",
                                           .supplies = std::vector<PrinterSupply>{{"Black Toner", 75}, {"Cyan", {}}},
                                           .live_details = true,
                                           .is_default = true,
                                           .accepting_jobs = true},
                                          {.name = "Lab",
                                           .state_reasons = {"paused"},
                                           .state_message = "Out of paper",
                                           .accepting_jobs = true,
                                           .state = QueueState::Paused}},
        .jobs = std::vector<PrintJob>{{.id = "12", .title = "Report", .owner = "ada", .printer = "Office",
                                       .impressions_completed = 3, .impressions_total = 10, .size = 2'400'000,
                                       .state = JobState::Printing}},
    };
}

// The page over the fake backend in a window tall enough for every card.
class PrintersPaneTest : public ::testing::Test {
protected:
    void open(FakePrintingBackend::State state = office_state())
    {
        backend_ = std::make_shared<FakePrintingBackend>(std::move(state));
        pane_ = std::make_unique<PrintersPane>(PrintersModel::Environment{
            .backend = backend_, .start_thread = threads_.starter(), .clock = clock_.clock()});
        window_ = std::make_unique<vorn_ui::HeadlessWindow>(*pane_, document_, vorn_ui::WindowSize{1100, 1400});
        window_->frame();
    }

    void TearDown() override
    {
        window_.reset();
        pane_.reset();
        threads_.run_all();  // workers of the closed page, whose results go nowhere
    }

    // Runs the workers started so far (and those they lead to), a frame after each round.
    void settle()
    {
        window_->frame();
        for (int pass = 0; pass < 20 && !threads_.waiting().empty(); ++pass) {
            threads_.run_all();
            window_->frame();
        }
        ASSERT_THAT(threads_.waiting(), IsEmpty());
    }

    [[nodiscard]] bool shows(std::string_view text) const
    {
        return std::ranges::any_of(window_->drawn_texts(), [&](const auto& drawn) { return drawn.text == text; });
    }

    [[nodiscard]] std::optional<nlohmann::ordered_json> control(std::string_view id) const
    {
        return access_node(window_->accessibility_json(), id);
    }

    void click_control(std::string_view id)
    {
        const auto node = control(id);
        ASSERT_TRUE(node.has_value()) << id;
        const auto centre = node_centre(*node);
        ASSERT_TRUE(centre.has_value()) << id;
        window_->click(centre->x, centre->y);
    }

    [[nodiscard]] std::string focused_id() const
    {
        const auto* button = dynamic_cast<const vorn_ui::Button*>(window_->focused());
        return button != nullptr ? button->id() : std::string();
    }

    // The share of the text's box drawn in the tone's colour.
    [[nodiscard]] double tone_share(std::string_view text, vorn_ui::Tone tone) const
    {
        const auto bounds = window_->find_text_bounds(text);
        return bounds ? window_->coverage(*bounds, window_->theme().tone(tone), 40) : 0.0;
    }

    ManualThreads threads_;
    ManualClock clock_;
    page_doc::Document document_;
    std::shared_ptr<FakePrintingBackend> backend_;
    std::unique_ptr<PrintersPane> pane_;
    std::unique_ptr<vorn_ui::HeadlessWindow> window_;
};

TEST_F(PrintersPaneTest, WithNothingConfiguredEveryCardSaysSo)
{
    open({});
    EXPECT_TRUE(shows("Refreshing…"));  // the first read runs
    settle();
    EXPECT_TRUE(shows("Refresh"));
    for (const std::string_view text :
         {"Printers", "Nearby", "Current activity", "Scanners",
          "No configured printers. Use Find printers to discover secure driverless IPP devices on this network.",
          "Only driverless IPP printers are offered automatically; legacy drivers are never downloaded silently.",
          "No active print jobs.",
          "No SANE-compatible scanners found. Network eSCL/WSD scanners appear here through sane-airscan."}) {
        EXPECT_TRUE(window_->find_text_bounds(text).has_value()) << text;
    }
    EXPECT_FALSE(window_->find_text_bounds("Printer needs attention").has_value());
    // The cards come in their order, one below the other.
    const auto printers = window_->find_text_bounds("Printers");
    const auto nearby = window_->find_text_bounds("Nearby");
    const auto activity = window_->find_text_bounds("Current activity");
    const auto scanners = window_->find_text_bounds("Scanners");
    ASSERT_TRUE(printers && nearby && activity && scanners);
    EXPECT_LT(printers->y1, nearby->y0);
    EXPECT_LT(nearby->y1, activity->y0);
    EXPECT_LT(activity->y1, scanners->y0);
}

TEST_F(PrintersPaneTest, QueuesShowStateSummarySuppliesAndTheirButtons)
{
    open();
    settle();
    for (const std::string_view text :
         {"Office", "Default · accepting jobs", "Supplies: Black Toner 75% · Cyan — level not reported", "Lab",
          "Configured · Out of paper", "Live IPP details unavailable"}) {
        EXPECT_TRUE(shows(text)) << text;
    }
    // The default queue has no "Make default"; the paused one offers "Resume".
    EXPECT_FALSE(control("settings.printers.default.office").has_value());
    ASSERT_TRUE(control("settings.printers.default.lab").has_value());
    EXPECT_EQ(control("settings.printers.default.lab")->value("description", ""), "Lab");
    EXPECT_EQ(control("settings.printers.enabled.office")->value("label", ""), "Pause");
    EXPECT_EQ(control("settings.printers.enabled.lab")->value("label", ""), "Resume");
    EXPECT_EQ(control("settings.printers.remove.lab")->value("label", ""), "Remove…");

    // Badges: Ready in the positive tone, Paused muted.
    EXPECT_GT(tone_share("Ready", vorn_ui::Tone::Success), 0.05);
    EXPECT_GT(tone_share("Paused", vorn_ui::Tone::Neutral), 0.05);
    EXPECT_LT(tone_share("Paused", vorn_ui::Tone::Success), 0.01);
    // The badge and the buttons sit on the queue's name line, to its right.
    const auto name = window_->find_text_bounds("Office");
    const auto badge = window_->find_text_bounds("Ready");
    ASSERT_TRUE(name && badge);
    EXPECT_GT(badge->x0, name->x1);
    EXPECT_NEAR((badge->y0 + badge->y1) / 2, (name->y0 + name->y1) / 2, 3.0);

    // A supply running out and a state changing show in place.
    backend_->change([](auto& s) {
        (*s.queues)[0].supplies = std::vector<PrinterSupply>{{"Black Toner", 5}};
        (*s.queues)[0].state = QueueState::Printing;
    });
    click_control(refresh_key);
    settle();
    EXPECT_TRUE(shows("Supplies: Black Toner 5%"));
    EXPECT_TRUE(shows("Printing"));
}

TEST_F(PrintersPaneTest, JobsShowProgressAndTheButtonsTheirStateAllows)
{
    const struct {
        std::optional<JobState> state;
        bool retry;
        bool cancel;
    } cases[] = {
        {JobState::Waiting, false, true},  {JobState::Held, false, true},     {JobState::Printing, false, true},
        {JobState::Stopped, true, true},   {JobState::Canceled, true, false}, {JobState::Failed, true, false},
        {JobState::Completed, false, false}, {std::nullopt, false, true},
    };
    FakePrintingBackend::State state;
    std::vector<PrintJob> jobs;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        jobs.push_back({.id = std::to_string(20 + i), .title = "Doc", .owner = "ada", .printer = "Office",
                        .state = cases[i].state});
    }
    jobs[0].impressions_completed = 3;
    jobs[0].impressions_total = 0;
    jobs[1].impressions_completed = 3;
    jobs[1].impressions_total = 10;
    jobs[2].size = 1'500'000;
    jobs[3].state_detail = "media-jam";
    state.jobs = jobs;
    open(state);
    settle();

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string id = std::to_string(20 + i);
        SCOPED_TRACE(id);
        EXPECT_TRUE(shows(fmt::format("{} → Office", id)));
        EXPECT_EQ(control(print_job_action_id("retry", id)).has_value(), cases[i].retry);
        EXPECT_EQ(control(print_job_action_id("cancel", id)).has_value(), cases[i].cancel);
    }
    EXPECT_TRUE(shows("Waiting · 3 impressions completed"));
    EXPECT_TRUE(shows("Held · 3 of 10 impressions · 30%"));
    EXPECT_TRUE(shows("Doc · 1.5 MB · ada"));
    EXPECT_TRUE(shows("Stopped · Page progress not reported · media-jam"));
    EXPECT_TRUE(shows("State not reported · Page progress not reported"));
    // Retry comes before Cancel.
    const auto retry = node_centre(*control(print_job_action_id("retry", "23")));
    const auto cancel = node_centre(*control(print_job_action_id("cancel", "23")));
    EXPECT_LT(retry->x, cancel->x);

    click_control(print_job_action_id("retry", "23"));
    click_control(print_job_action_id("cancel", "20"));
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("retry_job 23", "cancel_job 20"));
}

TEST_F(PrintersPaneTest, PrintersFoundNearbyAreAddedAndScannersListed)
{
    FakePrintingBackend::State state;
    state.nearby = std::vector<DriverlessPrinter>{
        {.id = "ipps://hall.local.:631/ipp/print", .name = "Hall"},
        {.id = "ipps://annex.local.:631/ipp/print", .name = "Annex", .detail = "HP LaserJet M28w"}};
    state.scanners = std::vector<ScannerEntry>{{"Noname frontend-tester virtual device", "test:0"}};
    open(state);
    settle();
    EXPECT_TRUE(shows("Noname frontend-tester virtual device"));
    EXPECT_TRUE(shows("test:0"));
    EXPECT_FALSE(shows("Hall"));  // nothing searched yet

    click_control(discover_key);
    EXPECT_TRUE(shows("Searching…"));
    EXPECT_TRUE(shows("Looking for AirPrint/Mopria-compatible IPP printers…"));
    settle();
    EXPECT_TRUE(shows("Find printers"));
    EXPECT_TRUE(shows("Hall"));
    EXPECT_TRUE(shows("Driverless IPP"));
    EXPECT_TRUE(shows("HP LaserJet M28w"));

    click_control(add_printer_id("ipps___annex_local__631_ipp_print"));
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("add_driverless ipps://annex.local.:631/ipp/print Annex"));

    // The scanner goes: its card says none is found.
    backend_->change([](auto& s) { s.scanners = std::vector<ScannerEntry>{}; });
    click_control(refresh_key);
    settle();
    EXPECT_FALSE(shows("test:0"));
    EXPECT_TRUE(shows("No SANE-compatible scanners found. Network eSCL/WSD scanners appear here through sane-airscan."));
}

TEST_F(PrintersPaneTest, FocusSurvivesAChange)
{
    open();
    settle();
    const std::uint64_t builds = pane_->view_builds();
    click_control("settings.printers.enabled.office");
    EXPECT_EQ(focused_id(), "settings.printers.enabled.office");
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("set_enabled Office false"));
    const auto button = control("settings.printers.enabled.office");
    EXPECT_EQ(button->value("label", ""), "Resume");
    EXPECT_TRUE(has_state(*button, "focused"));
    EXPECT_EQ(focused_id(), "settings.printers.enabled.office");
    EXPECT_EQ(pane_->view_builds(), builds);  // pausing changed values in place

    // A queue appears: the rows are built anew and the focus stays on the same control.
    const vorn_ui::Widget* before = window_->focused();
    backend_->change([](auto& s) { s.queues->push_back({.name = "Annex", .accepting_jobs = true}); });
    clock_.advance(PrintersModel::refresh_interval);
    settle();
    ASSERT_TRUE(shows("Annex"));
    EXPECT_NE(window_->focused(), before);
    EXPECT_EQ(focused_id(), "settings.printers.enabled.office");

    // Space on the focused button resumes the queue.
    window_->key(vorn_ui::Key::Space);
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("set_enabled Office false", "set_enabled Office true"));
    EXPECT_EQ(control("settings.printers.enabled.office")->value("label", ""), "Pause");
    EXPECT_EQ(focused_id(), "settings.printers.enabled.office");
}

TEST_F(PrintersPaneTest, RemovalAsksFirstAndTheConfirmationTakesTheFocus)
{
    open();
    settle();
    click_control("settings.printers.remove.lab");
    settle();
    EXPECT_THAT(backend_->changes(), IsEmpty());
    const auto confirm = control("settings.printers.confirm_remove.lab");
    ASSERT_TRUE(confirm.has_value());
    EXPECT_EQ(confirm->value("label", ""), "Remove printer");
    EXPECT_FALSE(control("settings.printers.remove.lab").has_value());
    EXPECT_EQ(focused_id(), "settings.printers.confirm_remove.lab");

    window_->key(vorn_ui::Key::Enter);
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("remove_queue Lab"));
    EXPECT_FALSE(shows("Lab"));
    EXPECT_TRUE(shows("Office"));
}

TEST_F(PrintersPaneTest, AFailedChangeShowsTheAttentionCardUntilAChangeSucceeds)
{
    open();
    settle();
    backend_->change([](auto& s) { s.change_failure = "Forbidden"; });
    click_control("settings.printers.default.lab");
    settle();
    const auto title = window_->find_text_bounds("Printer needs attention");
    const auto reason = window_->find_text_bounds("Forbidden");
    const auto printers = window_->find_text_bounds("Printers");
    ASSERT_TRUE(title && reason && printers);
    EXPECT_LT(reason->y1, printers->y0);  // the attention card comes first

    backend_->change([](auto& s) { s.change_failure.reset(); });
    click_control("settings.printers.default.lab");
    settle();
    EXPECT_FALSE(window_->find_text_bounds("Printer needs attention").has_value());
    EXPECT_FALSE(control("settings.printers.default.lab").has_value());  // Lab is the default now
    EXPECT_TRUE(control("settings.printers.default.office").has_value());
}

TEST_F(PrintersPaneTest, AnOperationFromAutomationIsAnsweredAndShown)
{
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    open();
    pane_->use_operation_requests(requests);
    pane_->use_operation_status(status);
    settle();

    const PrinterOperation operation{PrinterOperation::SetEnabled{"Office", false}};
    const std::string key = operations::operation_key(operation);
    (void)status.publish(OperationStatus::running(key));
    (void)requests.publish(operations::PaneOperationRequest{operation});
    settle();
    EXPECT_EQ(status.get(), OperationStatus::done(key, std::string(PrintersModel::completed_message)));
    EXPECT_EQ(control("settings.printers.enabled.office")->value("label", ""), "Resume");

    // With the application's cells the presses go to the page's own document.
    click_control("settings.printers.enabled.office");
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("set_enabled Office false", "set_enabled Office true"));
    EXPECT_THAT(document_.keys(), ::testing::Not(Contains("settings.printers.enabled.office")));
}

TEST_F(PrintersPaneTest, AccessibilityTreeNamesEveryControl)
{
    open();
    settle();
    const auto lines = panes::testing::access_lines(window_->accessibility_json());
    for (const std::string_view expected :
         {"button Refresh", "button Find printers", "button Pause", "button Remove…", "button Make default",
          "button Resume", "button Cancel", "label 12 → Office", "label Report · 2.4 MB · ada",
          "label Printing · 3 of 10 impressions · 30%"}) {
        EXPECT_THAT(lines, Contains(::testing::StartsWith(std::string(expected)))) << expected;
    }
    EXPECT_EQ(pane_->widget_name(), "PrintersPane");
}

}  // namespace
}  // namespace settings::panes::printers
