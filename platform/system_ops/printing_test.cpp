// The printing backend against a real scheduler: a cupsd started once for the suite on a free loopback port, with two
// IPP Everywhere printers simulated by ippeveprinter ("office" for the queues, "nearby" for discovery). DNS-SD needs
// an Avahi daemon, which the test cannot run without announcing printers on the machine's network, so discovery
// reads a fake ippfind that reports the "nearby" printer; adding it then goes to the real scheduler and printer.
// Scanners come from the real scanimage with SANE's test backend.

#include "system_ops/printing.hpp"
#include "system_ops/test_tools.hpp"
#include "system_ops/testing/cups_server.hpp"
#include "system_ops/tool.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

namespace system_ops::printing {

// Readable failure messages.
void PrintTo(const PrinterSupply& supply, std::ostream* out)
{
    *out << "{" << supply.name << ", " << (supply.level ? std::to_string(*supply.level) : "no level") << "}";
}
void PrintTo(const DriverlessPrinter& printer, std::ostream* out)
{
    *out << "{" << printer.id << ", " << printer.name << ", " << printer.detail.value_or("no detail") << "}";
}
void PrintTo(const ScannerEntry& scanner, std::ostream* out)
{
    *out << "{" << scanner.description << ", " << scanner.device << "}";
}

namespace {

using namespace std::chrono_literals;
using system_ops::testing::Answer;
using system_ops::testing::CupsServer;
using system_ops::testing::free_port;
using system_ops::testing::printer_uri;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

void write_file(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream out(file);
    out << text;
}

// Every test starts with a scheduler without queues or jobs. Fake tools (ippfind) come first on PATH.
class CupsTest : public system_ops::testing::FakeTools {
protected:
    static void SetUpTestSuite()
    {
        skip_reason_ = CupsServer::missing_program();
        if (skip_reason_) {
            return;
        }
        auto server = CupsServer::start();
        if (server) {
            server_ = std::move(*server);
        } else {
            start_error_ = server.error();
        }
    }

    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        if (skip_reason_) {
            GTEST_SKIP() << *skip_reason_;
        }
        ASSERT_TRUE(server_) << start_error_;
        FakeTools::SetUp();
        tools_ready_ = true;
        printing_.emplace(CupsPrinting::Options{.server = server_->address()});
        const auto queues = printing_->queues();
        ASSERT_TRUE(queues.has_value()) << queues.error();
        for (const auto& queue : *queues) {
            ASSERT_TRUE(printing_->remove_queue(queue.name).has_value());  // takes its jobs with it
        }
    }

    void TearDown() override
    {
        if (tools_ready_) {
            FakeTools::TearDown();
        }
    }

    // A client tool (lpadmin, lp, lpstat) talking to the test's scheduler; its standard output.
    std::string client(const std::string& program, std::vector<std::string> args)
    {
        auto out = cmd_runner::run({.program = program,
                                    .args = std::move(args),
                                    .env = {{"CUPS_SERVER", server_->address()}, {"LC_ALL", "C"}},
                                    .time_limit = 60s});
        EXPECT_TRUE(out.has_value()) << program << ": " << (out ? "" : out.error().message);
        if (!out) {
            return {};
        }
        EXPECT_TRUE(out->status.success()) << program << ": " << out->stderr_text();
        return out->stdout_text();
    }

    // Adds the printer at `uri` through the backend, waits until the scheduler has set it up, and answers the
    // queue's name.
    std::string add(const std::string& uri, const std::string& name)
    {
        const auto listed = printing_->queues();
        std::vector<std::string> taken;
        for (const auto& queue : listed ? *listed : std::vector<PrintQueue>{}) {
            taken.push_back(queue.name);
        }
        const std::size_t before = server_->times_available(unused_queue_name(name, taken));
        const auto added = printing_->add_driverless(uri, name);
        EXPECT_TRUE(added.has_value()) << added.error();
        if (!added) {
            return {};
        }
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (server_->times_available(*added) <= before) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ADD_FAILURE() << "queue " << *added << " was never set up";
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        return *added;
    }

    std::string add_office(const std::string& name) { return add(server_->office_uri(), name); }

    // The device address of a queue, as lpstat shows it.
    std::string device_of(const std::string& queue)
    {
        const std::string out = client("lpstat", {"-v", queue});
        const auto colon = out.find(": ");
        return colon == std::string::npos ? out : std::string(detail::trim(out.substr(colon + 2)));
    }

    std::optional<PrintQueue> queue(const std::string& name, bool live = false)
    {
        const auto list = live ? printing_->queues_with_live_details() : printing_->queues();
        EXPECT_TRUE(list.has_value()) << list.error();
        if (list) {
            for (const auto& q : *list) {
                if (q.name == name) {
                    return q;
                }
            }
        }
        return std::nullopt;
    }

    std::optional<PrintJob> job(const std::string& id)
    {
        const auto list = printing_->jobs();
        EXPECT_TRUE(list.has_value()) << list.error();
        if (list) {
            for (const auto& j : *list) {
                if (j.id == id) {
                    return j;
                }
            }
        }
        return std::nullopt;
    }

    // Submits a small job and answers its id ("request id is office-3 (1 file(s))").
    std::string submit(const std::string& queue_name, std::vector<std::string> options = {})
    {
        const auto file = dir_ / "page.txt";
        write_file(file, "Hello from the settings test\n");
        std::vector<std::string> args = {"-d", queue_name, "-t", "Quarterly report"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(file.string());
        const std::string text = client("lp", args);
        std::smatch match;
        const std::regex id_pattern(fmt::format("request id is {}-([0-9]+)", queue_name));
        EXPECT_TRUE(std::regex_search(text, match, id_pattern)) << text;
        return match.empty() ? "" : match[1].str();
    }

    static inline std::optional<std::string> skip_reason_;
    static inline std::string start_error_;
    static inline std::unique_ptr<CupsServer> server_;
    bool tools_ready_ = false;
    std::optional<CupsPrinting> printing_;
};

TEST_F(CupsTest, SchedulerWithoutPrintersListsNothing)
{
    const auto queues = printing_->queues_with_live_details();
    ASSERT_TRUE(queues.has_value()) << queues.error();
    EXPECT_THAT(*queues, IsEmpty());
    const auto jobs = printing_->jobs();
    ASSERT_TRUE(jobs.has_value()) << jobs.error();
    EXPECT_THAT(*jobs, IsEmpty());
}

TEST_F(CupsTest, DriverlessPrinterIsAddedPausedResumedMadeDefaultAndRemoved)
{
    const std::string office = add_office("Vorn Office (2nd floor)");
    EXPECT_EQ(office, "Vorn_Office_2nd_floor");
    EXPECT_EQ(device_of(office), server_->office_uri());
    EXPECT_THAT(client("lpstat", {"-l", "-p", office}), HasSubstr("Description: Vorn Office (2nd floor)"));
    auto q = queue(office);
    ASSERT_TRUE(q.has_value());
    EXPECT_EQ(q->state, QueueState::Ready);
    EXPECT_TRUE(q->accepting_jobs);
    EXPECT_FALSE(q->is_default);

    const auto paused = printing_->set_enabled(office, false);
    ASSERT_TRUE(paused.has_value()) << paused.error();
    q = queue(office);
    EXPECT_EQ(q->state, QueueState::Paused);
    EXPECT_THAT(q->state_reasons, Contains("paused"));
    EXPECT_THAT(client("lpstat", {"-p", office}), HasSubstr("disabled"));

    ASSERT_TRUE(printing_->set_enabled(office, true).has_value());
    EXPECT_EQ(queue(office)->state, QueueState::Ready);

    const std::string second = add_office("Second");
    ASSERT_TRUE(printing_->set_default(office).has_value());
    EXPECT_TRUE(queue(office)->is_default);
    EXPECT_FALSE(queue(second)->is_default);
    EXPECT_THAT(client("lpstat", {"-d"}), HasSubstr(office));

    ASSERT_TRUE(printing_->remove_queue(office).has_value());
    EXPECT_EQ(queue(office), std::nullopt);
    EXPECT_TRUE(queue(second).has_value());
}

TEST_F(CupsTest, AddingNeverChangesAnExistingQueue)
{
    // A queue set up elsewhere for another device, under the name the printer would get (names ignore case).
    const std::string elsewhere = fmt::format("ipp://127.0.0.1:{}/ipp/print", free_port());
    client("lpadmin", {"-p", "vorn_office", "-v", elsewhere});
    const std::string first = add_office("Vorn Office");
    EXPECT_EQ(first, "Vorn_Office-2");
    const std::string again = add_office("Vorn Office");
    EXPECT_EQ(again, "Vorn_Office-3");
    EXPECT_EQ(device_of("vorn_office"), elsewhere);
    EXPECT_EQ(device_of(first), server_->office_uri());
    EXPECT_EQ(device_of(again), server_->office_uri());
}

TEST_F(CupsTest, PrintersThatCannotBeReachedAreNotAdded)
{
    const std::string silent = printer_uri(free_port());
    const auto added = printing_->add_driverless(silent, "Ghost");
    ASSERT_FALSE(added.has_value());
    EXPECT_THAT(added.error(), StartsWith("the printer does not answer ("));

    for (const std::string bad : {"http://127.0.0.1:631/ipp/print", "ipp://", "ipp://host/with space",
                                  "-ipp://host/print", "ipp://host/print\nx", ""}) {
        const auto refused = printing_->add_driverless(bad, "Bad");
        ASSERT_FALSE(refused.has_value()) << bad;
        EXPECT_THAT(refused.error(), HasSubstr("is not the address of an IPP printer")) << bad;
    }
    EXPECT_THAT(*printing_->queues(), IsEmpty());
}

TEST_F(CupsTest, LiveDetailsAreThePrintersOwnSupplyLevels)
{
    const std::string office = add_office("Office");
    // A queue whose printer is gone (nothing listens on its port).
    client("lpadmin", {"-p", "gone", "-v", printer_uri(free_port())});

    const auto scheduler_only = queue(office);
    ASSERT_TRUE(scheduler_only.has_value());
    EXPECT_FALSE(scheduler_only->live_details);

    const auto live = queue(office, true);
    ASSERT_TRUE(live.has_value());
    EXPECT_TRUE(live->live_details);
    // What ippeveprinter reports for its toner.
    EXPECT_EQ(live->supplies, (std::vector<PrinterSupply>{{.name = "Toner Waste Tank", .level = 25},
                                                           {.name = "Black Toner", .level = 75}}));
    const auto gone = queue("gone", true);
    ASSERT_TRUE(gone.has_value());
    EXPECT_FALSE(gone->live_details);
    EXPECT_EQ(gone->supplies, std::nullopt);
}

TEST_F(CupsTest, JobsAreListedCanceledAndRetried)
{
    const std::string office = add_office("Office");
    // A paused queue keeps its jobs waiting, so that they can be looked at.
    ASSERT_TRUE(printing_->set_enabled(office, false).has_value());
    const std::string waiting = submit(office);
    const std::string held = submit(office, {"-H", "hold"});

    auto j = job(waiting);
    ASSERT_TRUE(j.has_value()) << "job " << waiting;
    EXPECT_EQ(j->state, JobState::Waiting);
    EXPECT_EQ(j->title, "Quarterly report");
    EXPECT_EQ(j->printer, office);
    EXPECT_FALSE(j->owner.empty());
    EXPECT_GT(j->size, 0U);
    EXPECT_EQ(job(held)->state, JobState::Held);

    ASSERT_TRUE(printing_->cancel_job(waiting).has_value());
    EXPECT_EQ(job(waiting)->state, JobState::Canceled);  // still listed, so that it can be retried
    const auto retried = printing_->retry_job(waiting);
    ASSERT_TRUE(retried.has_value()) << retried.error();
    EXPECT_EQ(job(waiting)->state, JobState::Waiting);

    // Resumed, the queue prints both to the simulated printer.
    ASSERT_TRUE(printing_->cancel_job(held).has_value());
    ASSERT_TRUE(printing_->set_enabled(office, true).has_value());
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (job(waiting).has_value()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the job never printed";
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_THAT(client("lpstat", {"-W", "completed", "-o", office}), HasSubstr(fmt::format("{}-{}", office, waiting)));
}

TEST_F(CupsTest, MissingQueuesAndJobsAreNamedInTheSchedulersWords)
{
    EXPECT_EQ(printing_->remove_queue("vtest").error(), "The printer or class does not exist.");
    EXPECT_EQ(printing_->set_enabled("ghost", true).error(), "The printer or class does not exist.");
    EXPECT_EQ(printing_->cancel_job("4242").error(), "Job #4242 does not exist.");
}

TEST_F(CupsTest, DiscoveredPrinterIsAddedAsANewQueue)
{
    // What ippfind's printf prints for each printer found: address, name, make and model.
    const std::string nearby = server_->nearby_uri();
    tool("ippfind", {{.args = "*",
                      .out = fmt::format("{0}\x1fVorn Nearby\x1fVorn IPP Everywhere\x1e"
                                         "ipp://scanner.local.:80/eSCL\x1f" "A scanner only\x1f\x1e",
                                         nearby)}});
    const auto found = printing_->discover_driverless();
    ASSERT_TRUE(found.has_value()) << found.error();
    ASSERT_THAT(*found,
                ElementsAre(DriverlessPrinter{.id = "ipp://scanner.local.:80/eSCL", .name = "A scanner only"},
                            DriverlessPrinter{.id = nearby, .name = "Vorn Nearby", .detail = "Vorn IPP Everywhere"}));

    const std::string added = add(found->back().id, found->back().name);
    EXPECT_EQ(added, "Vorn_Nearby");
    EXPECT_EQ(device_of(added), nearby);
    EXPECT_EQ(queue(added)->state, QueueState::Ready);

    // Only services that print a driverless format are asked for, within the discovery time.
    const auto call = calls().front();
    EXPECT_THAT(std::vector(call.begin(), call.begin() + 6),
                ElementsAre("ippfind", "-T", "5", "_ipps._tcp", "_ipp._tcp", "("));
    EXPECT_THAT(call, Contains("image/pwg-raster"));
    EXPECT_THAT(call, Contains("{service_name}"));
}

TEST_F(CupsTest, TheBackendServesSeveralThreadsAtOnce)
{
    const std::string office = add_office("Office");
    std::vector<std::jthread> threads;
    std::atomic<int> failures = 0;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                const auto queues = printing_->queues_with_live_details();
                const auto jobs = printing_->jobs();
                if (!queues || queues->size() != 1 || !queues->front().live_details || !jobs) {
                    ++failures;
                }
            }
        });
    }
    threads.clear();
    EXPECT_EQ(failures, 0);
}

// ---- Without the scheduler -------------------------------------------------------------------------------------

TEST(CupsArgumentsTest, BadNamesAndIdsNeverReachTheScheduler)
{
    // Nothing listens on this port: an argument that got through would fail with a connection error instead.
    CupsPrinting printing({.server = fmt::format("127.0.0.1:{}", free_port())});
    EXPECT_EQ(printing.set_default("a/b").error(), "\"a/b\" is not a printer queue name");
    EXPECT_EQ(printing.remove_queue("").error(), "\"\" is not a printer queue name");
    EXPECT_EQ(printing.set_enabled("with space", true).error(), "\"with space\" is not a printer queue name");
    EXPECT_EQ(printing.cancel_job("-a").error(), "\"-a\" is not a print job number");
    EXPECT_EQ(printing.retry_job("12a").error(), "\"12a\" is not a print job number");
    EXPECT_EQ(printing.cancel_job("0").error(), "\"0\" is not a print job number");

    const auto queues = printing.queues_with_live_details();
    ASSERT_FALSE(queues.has_value());
    EXPECT_THAT(queues.error(), HasSubstr("the printing service is not reachable"));
}

TEST(QueueStateTest, AStoppedQueueIsPausedEvenWhenOffline)
{
    const std::vector<std::string> offline = {"offline-report"};
    EXPECT_EQ(queue_state(5, offline), QueueState::Paused);
    EXPECT_EQ(queue_state(5, {}), QueueState::Paused);
    EXPECT_EQ(queue_state(3, offline), QueueState::Offline);
    EXPECT_EQ(queue_state(4, offline), QueueState::Offline);
    EXPECT_EQ(queue_state(4, {"media-low-warning"}), QueueState::Printing);
    EXPECT_EQ(queue_state(3, {}), QueueState::Ready);
}

TEST(SupplyLevelsTest, LevelsArePercentagesOfTheCapacity)
{
    const auto supplies = parse_supplies(
        {"index=1;type=toner;unit=percent;maxcapacity=100;level=75;colorantname=black;",
         "index=2;type=wasteToner;maxcapacity=200;level=50;colorantname=unknown;",
         "index=3;type=ink;maxcapacity=100;level=-3;colorantname=cyan;", "index=4;type=ink;level=250;",
         "index=5;type=ink;maxcapacity=0;level=40;", "index=6;level=x1;",
         "index=7;type=ink;maxcapacity=2147483647;level=2147483647;", "index=8;type=ink;level=99999999999;"},
        {"Black Toner", "", "Cyan\x1b[31m Ink"});
    EXPECT_EQ(supplies, (std::vector<PrinterSupply>{{.name = "Black Toner", .level = 75},
                                                    {.name = "wasteToner", .level = 25},
                                                    {.name = "Cyan Ink"},
                                                    {.name = "ink", .level = 100},
                                                    {.name = "ink", .level = 40},
                                                    {.name = "supply"},
                                                    {.name = "ink", .level = 100},
                                                    {.name = "ink"}}));
}

TEST(QueueNameTest, NamesForNewQueues)
{
    const std::vector<std::string> taken = {"Office", "office-2", "Printer", "Lab_Printer"};
    const std::string long_name(150, 'x');
    const struct {
        std::string_view printer;
        std::string queue;
    } cases[] = {
        {"HP LaserJet M28w (Office)", "HP_LaserJet_M28w_Office"},
        {"Büro Drucker", "B_ro_Drucker"},
        {"OFFICE", "OFFICE-3"},  // "office" and "office-2" are taken, whatever the case
        {"  ***  ", "Printer-2"},
        {"lab printer", "lab_printer-2"},
        {"a/b\\c?d'e\"f#g", "a_b_c_d_e_f_g"},
        {"-x", "-x"},
        {long_name, std::string(100, 'x')},
    };
    for (const auto& c : cases) {
        const std::string name = unused_queue_name(c.printer, taken);
        EXPECT_EQ(name, c.queue) << c.printer;
        EXPECT_TRUE(is_queue_name(name)) << name;
    }
}

TEST(DriverlessUriTest, OnlyIppAddressesOfAHost)
{
    EXPECT_TRUE(is_driverless_uri("ipp://Office.local.:631/ipp/print"));
    EXPECT_TRUE(is_driverless_uri("ipps://[fe80::1%25eth0]:443/ipp/print"));
    EXPECT_TRUE(is_driverless_uri("ipp://printer/"));
    for (const std::string_view bad : {"", "http://printer/ipp", "ipp:///ipp/print", "ipp://printer/a b",
                                       "ipp://printer/\x1b]0;x", "dnssd://Office._ipp._tcp.local/", "ipp:printer"}) {
        EXPECT_FALSE(is_driverless_uri(bad)) << bad;
    }
    EXPECT_FALSE(is_driverless_uri("ipp://printer/" + std::string(1100, 'a')));
}

// ---- Discovery through ippfind ------------------------------------------------------------------------------------

using DiscoveryTest = system_ops::testing::FakeTools;

TEST(DiscoveryOutputTest, OnePrinterPerNameWithItsEncryptedAddress)
{
    const auto found = parse_ippfind_output(
        "ipp://office.local.:631/ipp/print\x1f" "Office\x1fHP LaserJet M28w\x1e"
        "ipps://office.local.:631/ipp/print\x1f" "Office\x1fHP LaserJet M28w\x1e"
        "ipps://lab.local.:443/ipp/print\x1f" "\x1b[1mLab\u202e printer\x1f{txt_ty}\x1e"
        "ipps://bad.local.:443/ipp/print x\x1f" "Bad\x1f\x1e"
        "http://web.local.:80/\x1f" "Web\x1f\x1e"
        "ipp://two-fields.local./\x1f" "Two\x1e"
        "ipp://cut.local./\x1f" "Cut\x1fstopped");
    EXPECT_THAT(found, ElementsAre(DriverlessPrinter{.id = "ipps://lab.local.:443/ipp/print", .name = "Lab printer"},
                                   DriverlessPrinter{.id = "ipps://office.local.:631/ipp/print",
                                                     .name = "Office",
                                                     .detail = "HP LaserJet M28w"}));
}

TEST_F(DiscoveryTest, NothingFoundAndBrowsingErrors)
{
    CupsPrinting printing;
    tool("ippfind", {{.args = "*", .code = 1}});
    const auto none = printing.discover_driverless();
    ASSERT_TRUE(none.has_value()) << none.error();
    EXPECT_THAT(*none, IsEmpty());

    tool("ippfind", {{.args = "*", .err = "ippfind: Unable to use Bonjour: Daemon not running\n", .code = 2}});
    EXPECT_EQ(printing.discover_driverless().error(),
              "could not search for printers: Unable to use Bonjour: Daemon not running");
}

// ---- Scanners through scanimage -----------------------------------------------------------------------------------

class ScannerTest : public system_ops::testing::FakeTools {
protected:
    void SetUp() override
    {
        FakeTools::SetUp();
        const char* old = std::getenv("SANE_CONFIG_DIR");
        saved_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    }
    void TearDown() override
    {
        if (saved_) {
            ::setenv("SANE_CONFIG_DIR", saved_->c_str(), 1);
        } else {
            ::unsetenv("SANE_CONFIG_DIR");
        }
        FakeTools::TearDown();
    }

    // SANE reads only the configuration written here: the test backend with `devices` virtual scanners, or no
    // backend at all.
    void sane_config(int devices)
    {
        const auto config = dir_ / "sane";
        std::filesystem::create_directories(config);
        write(config / "dll.conf", devices > 0 ? "test\n" : "");
        write(config / "test.conf", fmt::format("number_of_devices {}\n", devices));
        ::setenv("SANE_CONFIG_DIR", config.c_str(), 1);
    }

    std::optional<std::string> saved_;
};

TEST_F(ScannerTest, ScannersAsSaneReportsThem)
{
    if (!test_buses::have_program("scanimage")) {
        GTEST_SKIP() << "scanimage is not installed (package sane-utils); scripts/install-deps adds it";
    }
    CupsPrinting printing;
    sane_config(0);
    const auto none = printing.scanners();
    ASSERT_TRUE(none.has_value()) << none.error();
    EXPECT_THAT(*none, IsEmpty());

    sane_config(2);
    const auto two = printing.scanners();
    ASSERT_TRUE(two.has_value()) << two.error();
    EXPECT_THAT(*two, ElementsAre(ScannerEntry{"Noname frontend-tester virtual device", "test:0"},
                                  ScannerEntry{"Noname frontend-tester virtual device", "test:1"}));
}

TEST_F(ScannerTest, NetworkScannerNamesAreCleanedAndFailuresExplained)
{
    CupsPrinting printing({.scanner_time_limit = 300ms});
    tool("scanimage", {{.args = "*",
                        .out = "airscan:e0:HP LaserJet\x1b[2J MFP\x1f" "eSCL\x1fHP LaserJet MFP M28w\x1fip=192.168.1.5\x1e"
                               "airscan:e0:HP LaserJet\x1b[2J MFP\x1f" "eSCL\x1f" "duplicate\x1f\x1e"
                               "net:host:pixma\x1f\x1f\x1f\x1e"}});
    const auto found = printing.scanners();
    ASSERT_TRUE(found.has_value()) << found.error();
    EXPECT_THAT(*found, ElementsAre(ScannerEntry{"eSCL HP LaserJet MFP M28w ip=192.168.1.5", "airscan:e0:HP LaserJet MFP"},
                                    ScannerEntry{"net:host:pixma", "net:host:pixma"}));

    tool("scanimage", {{.args = "*", .err = "scanimage: open of device failed: Invalid argument\n", .code = 1}});
    EXPECT_EQ(printing.scanners().error(), "open of device failed: Invalid argument");

    tool("scanimage", {{.args = "*", .shell = "sleep 30"}});
    EXPECT_THAT(printing.scanners().error(), HasSubstr("timed out"));
}

// ---- Other -------------------------------------------------------------------------------------------------------

TEST(PrintJobTest, ProgressIsAPercentageOfTheImpressions)
{
    EXPECT_EQ((PrintJob{.impressions_completed = 3, .impressions_total = 4}.progress_percent()), 75);
    EXPECT_EQ((PrintJob{.impressions_completed = 9, .impressions_total = 4}.progress_percent()), 100);
    EXPECT_EQ((PrintJob{.impressions_total = 4}.progress_percent()), 0);
    EXPECT_EQ((PrintJob{.impressions_completed = 3, .impressions_total = 0}.progress_percent()), std::nullopt);
    EXPECT_EQ((PrintJob{.impressions_completed = 3}.progress_percent()), std::nullopt);
    EXPECT_EQ((PrintJob{.impressions_completed = 4'000'000'000U, .impressions_total = 4'000'000'000U}.progress_percent()),
              100);
}

TEST(FakePrintingTest, ChangesApplyToItsLists)
{
    auto fake = std::make_shared<FakePrinting>(FakePrinting::State{
        .queues = std::vector<PrintQueue>{{.name = "office", .state = QueueState::Paused}},
        .jobs = std::vector<PrintJob>{{.id = "7", .state = JobState::Printing}}});
    const ScopedCurrent<PrintingService> guard(fake);
    EXPECT_TRUE(set_enabled("office", true).has_value());
    EXPECT_EQ(queues()->front().state, QueueState::Ready);
    EXPECT_TRUE(cancel_job("7").has_value());
    EXPECT_EQ(jobs()->front().state, JobState::Canceled);
    EXPECT_FALSE(remove_queue("gone").has_value());
}

}  // namespace
}  // namespace system_ops::printing
