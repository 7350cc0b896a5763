#include "panes/printers/printers_model.hpp"

#include "panes/printers/testing/fake_printing_backend.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace settings::panes::printers {
namespace {

using namespace std::chrono_literals;
using actions::PrinterOperation;
using operations::OperationStatus;
using testing::FakePrintingBackend;
using testing::ManualClock;
using testing::ManualThreads;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::string_view completed = "Printer operation completed.";

FakePrintingBackend::State office_state()
{
    return {
        .queues = std::vector<PrintQueue>{{.name = "Office", .is_default = true, .accepting_jobs = true},
                                          {.name = "Lab", .accepting_jobs = true, .state = QueueState::Paused}},
        .jobs = std::vector<PrintJob>{{.id = "12", .title = "Report", .printer = "Office",
                                       .state = JobState::Printing},
                                      {.id = "13", .title = "Poster", .printer = "Lab", .state = JobState::Failed}},
        .nearby = std::vector<DriverlessPrinter>{{.id = "ipps://hall.local.:631/ipp/print", .name = "Hall"}},
        .scanners = std::vector<ScannerEntry>{{"Noname frontend-tester virtual device", "test:0"}},
    };
}

// A model over the fake backend whose workers run when the test says so.
class PrintersModelTest : public ::testing::Test {
protected:
    PrintersModelTest() { make_model(office_state()); }

    void make_model(FakePrintingBackend::State state)
    {
        model_.reset();
        threads_.run_all();  // the old model's workers, whose results go nowhere
        backend_ = std::make_shared<FakePrintingBackend>(std::move(state));
        model_ = std::make_unique<PrintersModel>(PrintersModel::Environment{
            .backend = backend_, .start_thread = threads_.starter(), .clock = clock_.clock()});
        model_->use_operation_requests(requests_);
        model_->use_operation_status(status_);
    }

    // Runs every worker started so far (and those they lead to) and takes their results in.
    void settle()
    {
        model_->sync(document_);
        for (int pass = 0; pass < 20 && !threads_.waiting().empty(); ++pass) {
            threads_.run_all();
            model_->sync(document_);
        }
        ASSERT_THAT(threads_.waiting(), IsEmpty());
    }

    void press(const std::string& key) { document_.put_bool(key, true); }

    // Hands an operation over as the runner does: Running with its key, the operation in the request cell.
    std::string hand_over(PrinterOperation operation)
    {
        std::string key = operations::operation_key(operation);
        (void)status_.publish(OperationStatus::running(key));
        (void)requests_.publish(operations::PaneOperationRequest{std::move(operation)});
        return key;
    }

    std::vector<std::string> queue_names() const
    {
        std::vector<std::string> names;
        for (const auto& queue : model_->queues()) {
            names.push_back(queue.name);
        }
        return names;
    }

    ManualThreads threads_;
    ManualClock clock_;
    operations::OperationRequestCell requests_{std::nullopt};
    operations::OperationStatusCell status_{OperationStatus::idle()};
    page_doc::Document document_;
    std::shared_ptr<FakePrintingBackend> backend_;
    std::unique_ptr<PrintersModel> model_;
};

// ---- Reading ---------------------------------------------------------------------------------------------------

TEST_F(PrintersModelTest, TheFirstReadStartsAtOnceAndFillsTheLists)
{
    EXPECT_THAT(threads_.waiting(), ElementsAre("vorn-printer-status"));
    EXPECT_TRUE(model_->refreshing());
    EXPECT_THAT(model_->queues(), IsEmpty());

    settle();
    EXPECT_FALSE(model_->refreshing());
    EXPECT_THAT(queue_names(), ElementsAre("Office", "Lab"));
    EXPECT_EQ(model_->jobs().size(), 2U);
    EXPECT_EQ(model_->scanners().size(), 1U);
    EXPECT_EQ(model_->status_text(), std::nullopt);
    EXPECT_TRUE(model_->take_structure_dirty());
    EXPECT_FALSE(model_->take_structure_dirty());
    EXPECT_THAT(backend_->calls(), ElementsAre("queues", "jobs", "scanners"));
}

TEST_F(PrintersModelTest, AFailedReadKeepsThePreviousListAndNamesTheProblem)
{
    settle();
    backend_->change([](auto& s) {
        s.jobs = std::unexpected(std::string("scheduler busy"));
        s.queues->pop_back();
    });
    press(std::string(refresh_key));
    settle();
    EXPECT_THAT(queue_names(), ElementsAre("Office"));
    EXPECT_EQ(model_->jobs().size(), 2U);  // kept
    EXPECT_EQ(model_->status_text(), "Jobs: scheduler busy");

    backend_->change([](auto& s) {
        s.queues = std::unexpected(std::string("not reachable"));
        s.jobs = std::vector<PrintJob>{};
        s.scanners = std::unexpected(std::string("scanimage not found"));
    });
    press(std::string(refresh_key));
    settle();
    EXPECT_EQ(model_->status_text(), "Printers: not reachable · Scanners: scanimage not found");
    EXPECT_THAT(model_->jobs(), IsEmpty());

    backend_->change([](auto& s) { s = office_state(); });
    press(std::string(refresh_key));
    settle();
    EXPECT_EQ(model_->status_text(), std::nullopt);
}

TEST_F(PrintersModelTest, ReadsFollowEachOtherThreeSecondsAfterTheLastResult)
{
    clock_.advance(10s);  // a slow first read
    model_->sync(document_);
    EXPECT_THAT(threads_.waiting(), ElementsAre("vorn-printer-status"));  // no second one while it runs
    EXPECT_EQ(model_->next_refresh_due(), std::nullopt);

    settle();
    const auto due = model_->next_refresh_due();
    ASSERT_TRUE(due.has_value());
    clock_.advance(2999ms);
    model_->sync(document_);
    EXPECT_THAT(threads_.waiting(), IsEmpty());
    clock_.advance(1ms);
    EXPECT_EQ(clock_.clock()(), *due);
    model_->sync(document_);
    EXPECT_THAT(threads_.waiting(), ElementsAre("vorn-printer-status"));
}

TEST_F(PrintersModelTest, WorkersThatCannotStartOrEndWithoutAResult)
{
    threads_.refuse_with = "Resource temporarily unavailable";
    make_model(office_state());
    EXPECT_FALSE(model_->refreshing());
    EXPECT_EQ(model_->status_text(), "Could not start printer status worker: Resource temporarily unavailable");
    press(std::string(discover_key));
    model_->sync(document_);
    EXPECT_FALSE(model_->discovering());
    EXPECT_EQ(model_->status_text(), "Could not start printer status worker: Resource temporarily unavailable · "
                                     "Could not start printer discovery: Resource temporarily unavailable");

    threads_.refuse_with.reset();
    press(std::string(discover_key));
    press(std::string(refresh_key));
    model_->sync(document_);
    EXPECT_THAT(threads_.waiting(), ElementsAre("vorn-printer-status", "vorn-printer-discovery"));
    threads_.drop_next();  // its thread died before sending anything
    threads_.run_next();
    model_->sync(document_);
    EXPECT_FALSE(model_->refreshing());
    EXPECT_EQ(model_->status_text(), "Printers: the status read ended without a result · "
                                     "Jobs: the status read ended without a result · "
                                     "Scanners: the status read ended without a result");
}

TEST_F(PrintersModelTest, ResultsOfAWorkerThatOutlivesThePageAreDropped)
{
    model_.reset();
    threads_.run_all();  // sends into a channel nobody reads
    EXPECT_THAT(backend_->calls(), ElementsAre("queues", "jobs", "scanners"));
}

TEST_F(PrintersModelTest, RealThreadsDeliverTheirResults)
{
    auto backend = std::make_shared<FakePrintingBackend>(office_state());
    PrintersModel model({.backend = backend});
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (model.refreshing() && std::chrono::steady_clock::now() < deadline) {
        model.sync(document_);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(model.queues().size(), 2U);
}

// ---- Operations from automation ----------------------------------------------------------------------------------

TEST_F(PrintersModelTest, EveryChangeOperationEndsWithItsOwnOutcome)
{
    settle();
    using Op = PrinterOperation;
    const struct {
        PrinterOperation operation;
        std::string change;
    } cases[] = {
        {Op::SetDefault{"Lab"}, "set_default Lab"},
        // Applied as asked, whatever the page's list said when it arrived.
        {Op::SetEnabled{"Office", true}, "set_enabled Office true"},
        {Op::SetEnabled{"Lab", false}, "set_enabled Lab false"},
        {Op::CancelJob{"12"}, "cancel_job 12"},
        {Op::RetryJob{"13"}, "retry_job 13"},
        // Confirmed by its caller: no second press needed.
        {Op::Remove{"Lab"}, "remove_queue Lab"},
    };
    for (const auto& c : cases) {
        const std::string key = hand_over(c.operation);
        model_->sync(document_);
        EXPECT_TRUE(requests_.get() == std::nullopt);
        EXPECT_TRUE(status_.get().is_running(key)) << "answered before the change was made: " << key;
        settle();
        EXPECT_EQ(status_.get(), OperationStatus::done(key, std::string(completed))) << key;
        EXPECT_EQ(backend_->changes().back(), c.change);
    }

    backend_->change([](auto& s) { s.change_failure = "Forbidden"; });
    const std::string key = hand_over(Op::SetDefault{"Office"});
    settle();
    EXPECT_EQ(status_.get(), OperationStatus::failed(key, "Forbidden"));
    // Still shown after the read that follows the change.
    EXPECT_EQ(model_->status_text(), "Forbidden");
}

TEST_F(PrintersModelTest, AnOperationForAQueueThePageHasNotListedYetIsStillCarriedOut)
{
    // The runner checked the live system; the page's list is older.
    const std::string key = hand_over(PrinterOperation::SetDefault{"Office"});
    settle();
    EXPECT_EQ(status_.get(), OperationStatus::done(key, std::string(completed)));
    EXPECT_THAT(backend_->changes(), ElementsAre("set_default Office"));
}

TEST_F(PrintersModelTest, ThePressesOfTheUserNeverAnswerAnOperation)
{
    settle();
    const std::string key = hand_over(PrinterOperation::CancelJob{"12"});
    press(printer_action_id("default", model_->queue_id("Lab")));  // made in the same frame
    model_->sync(document_);
    threads_.run_next();  // the cancel: handed over first
    model_->sync(document_);
    EXPECT_EQ(status_.get(), OperationStatus::done(key, std::string(completed)));

    const std::string other = hand_over(PrinterOperation::RetryJob{"13"});
    backend_->change([](auto& s) { s.change_failure = "Forbidden"; });
    settle();  // the default press's failure comes first and must not answer the retry
    EXPECT_THAT(backend_->changes(), ElementsAre("cancel_job 12", "set_default Lab", "retry_job 13"));
    EXPECT_EQ(status_.get(), OperationStatus::failed(other, "Forbidden"));
}

TEST_F(PrintersModelTest, AnOutcomeForAnOperationNobodyWaitsForIsDropped)
{
    settle();
    const std::string key = hand_over(PrinterOperation::SetDefault{"Lab"});
    model_->sync(document_);
    (void)status_.publish(OperationStatus::idle());  // the runner gave up on it
    settle();
    EXPECT_EQ(status_.get(), OperationStatus::idle());
    EXPECT_EQ(model_->status_text(), std::nullopt);
    EXPECT_THAT(threads_.waiting(), IsEmpty());
    EXPECT_EQ(backend_->calls().back(), "scanners");  // and a fresh read followed the change
}

TEST_F(PrintersModelTest, OperationsAreAnsweredWhenThePageCloses)
{
    settle();
    // A change that runs answers its operation itself.
    const std::string running = hand_over(PrinterOperation::SetDefault{"Lab"});
    model_->sync(document_);
    model_.reset();
    EXPECT_TRUE(status_.get().is_running(running));
    threads_.run_all();
    EXPECT_EQ(status_.get(), OperationStatus::done(running, std::string(completed)));

    // One that waits its turn behind a press, and a refresh, can no longer be carried out.
    for (const bool refresh : {false, true}) {
        make_model(office_state());
        settle();
        press(printer_action_id("default", model_->queue_id("Lab")));
        model_->sync(document_);
        const std::string waiting =
            refresh ? hand_over(PrinterOperation::Refresh{}) : hand_over(PrinterOperation::CancelJob{"12"});
        model_->sync(document_);
        model_.reset();
        EXPECT_EQ(status_.get(), OperationStatus::failed(waiting, std::string(PrintersModel::closed_message)));
    }
    threads_.run_all();
    EXPECT_THAT(backend_->changes(), ElementsAre("set_default Lab"));
}

TEST_F(PrintersModelTest, RefreshIsAnsweredByAReadThatStartedAfterIt)
{
    // The first read runs already when the operation arrives.
    const std::string key = hand_over(PrinterOperation::Refresh{});
    model_->sync(document_);
    threads_.run_next();
    model_->sync(document_);
    EXPECT_TRUE(status_.get().is_running(key));
    EXPECT_THAT(threads_.waiting(), ElementsAre("vorn-printer-status"));  // the read after it
    settle();
    EXPECT_EQ(status_.get(), OperationStatus::done(key, std::string(completed)));

    backend_->change([](auto& s) { s.queues = std::unexpected(std::string("not reachable")); });
    const std::string failed = hand_over(PrinterOperation::Refresh{});
    settle();
    EXPECT_EQ(status_.get(), OperationStatus::failed(failed, "Printers: not reachable"));
}

TEST_F(PrintersModelTest, DiscoverIsAnsweredByTheSearch)
{
    settle();
    const std::string key = hand_over(PrinterOperation::Discover{});
    model_->sync(document_);
    EXPECT_TRUE(model_->discovering());
    press(std::string(discover_key));  // a second search is not started
    model_->sync(document_);
    EXPECT_THAT(threads_.waiting(), ElementsAre("vorn-printer-discovery"));
    settle();
    EXPECT_FALSE(model_->discovering());
    EXPECT_EQ(model_->discovered(), backend_->state().nearby.value());
    EXPECT_EQ(status_.get(), OperationStatus::done(key, std::string(completed)));

    backend_->change([](auto& s) {
        s.nearby = std::unexpected(std::string("could not search for printers: Daemon not running"));
    });
    const std::string failed = hand_over(PrinterOperation::Discover{});
    settle();
    EXPECT_EQ(status_.get(), OperationStatus::failed(failed, "could not search for printers: Daemon not running"));
    EXPECT_EQ(model_->status_text(), "could not search for printers: Daemon not running");
    EXPECT_EQ(model_->discovered().size(), 1U);  // kept
}

TEST_F(PrintersModelTest, AnOperationThatCannotStartItsWorkerFails)
{
    settle();
    threads_.refuse_with = "Resource temporarily unavailable";
    const std::string key = hand_over(PrinterOperation::Refresh{});
    model_->sync(document_);
    EXPECT_EQ(status_.get(),
              OperationStatus::failed(key, "Could not start printer status worker: Resource temporarily unavailable"));

    const std::string change = hand_over(PrinterOperation::SetDefault{"Lab"});
    model_->sync(document_);
    EXPECT_EQ(status_.get(),
              OperationStatus::failed(change, "Could not start printer action: Resource temporarily unavailable"));
}

// ---- Presses -------------------------------------------------------------------------------------------------------

TEST_F(PrintersModelTest, PauseOrResumeFollowsTheStateTheButtonShowed)
{
    make_model({.queues = std::vector<PrintQueue>{{.name = "Ready", .state = QueueState::Ready},
                                                  {.name = "Busy", .state = QueueState::Printing},
                                                  {.name = "Gone", .state = QueueState::Offline},
                                                  {.name = "Held", .state = QueueState::Paused}}});
    settle();
    for (const auto& name : {"Ready", "Busy", "Gone", "Held"}) {
        press(printer_action_id("enabled", model_->queue_id(name)));
    }
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("set_enabled Ready false", "set_enabled Busy false",
                                                 "set_enabled Gone false", "set_enabled Held true"));
}

TEST_F(PrintersModelTest, RemovingAsksForConfirmationFirst)
{
    settle();
    const std::string office = model_->queue_id("Office");
    const std::string lab = model_->queue_id("Lab");
    press(printer_action_id("remove", office));
    settle();
    EXPECT_EQ(model_->pending_remove(), "Office");
    EXPECT_THAT(backend_->changes(), IsEmpty());

    press(printer_action_id("remove", lab));
    model_->sync(document_);
    EXPECT_EQ(model_->pending_remove(), "Lab");

    press(confirm_remove_id(office));
    settle();
    EXPECT_EQ(model_->pending_remove(), std::nullopt);
    EXPECT_THAT(backend_->changes(), ElementsAre("remove_queue Office"));
    EXPECT_THAT(queue_names(), ElementsAre("Lab"));
}

TEST_F(PrintersModelTest, PressesInOneFrameRunInOrderEachOnce)
{
    settle();
    press(print_job_action_id("cancel", model_->job_id("12")));
    press(printer_action_id("default", model_->queue_id("Lab")));
    press(add_printer_id("nothing"));  // no such printer
    model_->sync(document_);
    press(printer_action_id("default", model_->queue_id("Lab")));  // pressed again while it waits
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("set_default Lab", "cancel_job 12"));
    EXPECT_EQ(model_->status_text(), std::nullopt);
    EXPECT_TRUE(model_->queues().back().is_default);  // read again after the changes
}

TEST_F(PrintersModelTest, AddingADiscoveredPrinter)
{
    settle();
    press(std::string(discover_key));
    settle();
    press(add_printer_id(model_->printer_id("ipps://hall.local.:631/ipp/print")));
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("add_driverless ipps://hall.local.:631/ipp/print Hall"));
    EXPECT_THAT(queue_names(), ElementsAre("Office", "Lab", "Hall"));
}

TEST_F(PrintersModelTest, QueuesWhoseNamesGiveTheSameIdStayApart)
{
    make_model({.queues = std::vector<PrintQueue>{{.name = "Office-1"}, {.name = "office_1"}, {.name = "OFFICE 1"}}});
    settle();
    EXPECT_EQ(model_->queue_id("Office-1"), "office_1");
    EXPECT_EQ(model_->queue_id("office_1"), "office_1_2");
    EXPECT_EQ(model_->queue_id("OFFICE 1"), "office_1_3");
    press(confirm_remove_id("office_1_2"));
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("remove_queue office_1"));

    // Ids stay with their queues when others go: a press for "Office-1" never reaches "OFFICE 1".
    backend_->change([](auto& s) { s.queues = std::vector<PrintQueue>{{.name = "OFFICE 1"}}; });
    press(std::string(refresh_key));
    settle();
    EXPECT_EQ(model_->queue_id("OFFICE 1"), "office_1_3");
    press(confirm_remove_id("office_1"));
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("remove_queue office_1"));
}

TEST_F(PrintersModelTest, APressForSomethingNoLongerListedIsCleared)
{
    settle();
    const std::string cancel = print_job_action_id("cancel", "99");
    press(cancel);
    model_->sync(document_);
    EXPECT_EQ(page_doc::doc_bool(document_, cancel), false);

    // The job appears later: the old press does nothing.
    backend_->change([](auto& s) { s.jobs->push_back({.id = "99", .printer = "Office"}); });
    press(std::string(refresh_key));
    settle();
    ASSERT_EQ(model_->jobs().size(), 3U);
    EXPECT_THAT(backend_->changes(), IsEmpty());
}

TEST_F(PrintersModelTest, APressActsOnTheListThePageShowed)
{
    settle();
    const std::string lab = model_->queue_id("Lab");
    // A read that drops "Lab" finishes in the frame in which "Remove printer" was pressed for it.
    backend_->change([](auto& s) { s.queues->pop_back(); });
    press(std::string(refresh_key));
    model_->sync(document_);
    threads_.run_all();
    press(confirm_remove_id(lab));
    settle();
    EXPECT_THAT(backend_->changes(), ElementsAre("remove_queue Lab"));
    EXPECT_EQ(model_->status_text(), "printer Lab does not exist");
}

TEST_F(PrintersModelTest, ASuccessfulChangeClearsTheProblemAndReadsAgain)
{
    settle();
    backend_->change([](auto& s) { s.change_failure = "Forbidden"; });
    press(printer_action_id("default", model_->queue_id("Lab")));
    settle();
    EXPECT_EQ(model_->status_text(), "Forbidden");
    EXPECT_EQ(status_.get(), OperationStatus::idle());  // nothing to answer

    backend_->change([](auto& s) { s.change_failure.reset(); });
    press(printer_action_id("default", model_->queue_id("Lab")));
    model_->sync(document_);
    threads_.run_next();
    model_->sync(document_);
    EXPECT_EQ(model_->status_text(), std::nullopt);
    EXPECT_THAT(threads_.waiting(), ElementsAre("vorn-printer-status"));
    EXPECT_EQ(status_.get(), OperationStatus::idle());
}

// ---- Ids -----------------------------------------------------------------------------------------------------------

TEST(PrinterIdsTest, SanitizedCharacterByCharacter)
{
    EXPECT_EQ(sanitize_printer_id("HP LaserJet-4.0"), "hp_laserjet_4_0");
    EXPECT_EQ(sanitize_printer_id("Büro"), "b_ro");  // one "_" per character, not per byte
    EXPECT_EQ(sanitize_printer_id("\xff\xfe"), "__");
    EXPECT_EQ(sanitize_printer_id(""), "");
    EXPECT_EQ(printer_action_id("enabled", "office"), "settings.printers.enabled.office");
    EXPECT_EQ(confirm_remove_id("office"), "settings.printers.confirm_remove.office");
    EXPECT_EQ(print_job_action_id("retry", "12"), "settings.printers.job.retry.12");
    EXPECT_EQ(add_printer_id("ipp___hall"), "settings.printers.add.ipp___hall");

    ControlIds ids;
    EXPECT_EQ(ids.assign("a b"), "a_b");
    EXPECT_EQ(ids.assign("A-B"), "a_b_2");
    EXPECT_EQ(ids.assign("a_b_2"), "a_b_2_2");
    EXPECT_EQ(ids.assign("A-B"), "a_b_2");
    EXPECT_EQ(ids.find("a b"), "a_b");
    EXPECT_EQ(ids.find("unknown"), "");
}

}  // namespace
}  // namespace settings::panes::printers
