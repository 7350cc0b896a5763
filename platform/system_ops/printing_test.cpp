// The CUPS backend against a real scheduler: a cupsd started by the test on loopback with a free port, and an
// IPP Everywhere printer simulated by ippeveprinter.

#include "system_ops/printing.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace system_ops::printing {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A port that nobody listens on right now (the kernel's choice for a socket bound to port 0).
int free_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
        port = ntohs(addr.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

bool port_answers(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

std::string read_file(const std::filesystem::path& file)
{
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CupsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Only missing programs skip the test; a scheduler that is installed but does not run is a failure.
        for (const char* program : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lp", "/usr/sbin/ippeveprinter"}) {
            if (!std::filesystem::exists(program)) {
                GTEST_SKIP() << program << " is not installed (packages cups, cups-daemon, cups-client, "
                             << "cups-ipp-utils); scripts/install-deps adds them";
            }
        }
        std::string user;
        std::string group_name;
        if (::geteuid() == 0) {
            // cupsd refuses to run its jobs as root.
            const passwd* lp = ::getpwnam("lp");
            ASSERT_NE(lp, nullptr) << "cupsd refuses to run as root and there is no \"lp\" user to run it as";
            user = lp->pw_name;
            const ::group* g = ::getgrgid(lp->pw_gid);
            group_name = g != nullptr ? g->gr_name : user;
            uid_ = lp->pw_uid;
            gid_ = lp->pw_gid;
        } else {
            const passwd* me = ::getpwuid(::geteuid());
            const ::group* g = ::getgrgid(::getegid());
            ASSERT_NE(me, nullptr);
            user = me->pw_name;
            group_name = g != nullptr ? g->gr_name : user;
        }

        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vorn_cups.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::filesystem::permissions(dir_, std::filesystem::perms(0755));
        for (const char* sub : {"cache", "log", "spool", "run", "ippeve"}) {
            std::filesystem::create_directories(dir_ / sub);
            if (::geteuid() == 0) {
                ASSERT_EQ(::chown((dir_ / sub).c_str(), uid_, gid_), 0);
            }
        }

        cups_port_ = free_port();
        printer_port_ = free_port();
        ASSERT_NE(cups_port_, 0);
        ASSERT_NE(printer_port_, 0);
        ASSERT_NE(cups_port_, printer_port_);

        write(dir_ / "cupsd.conf", fmt::format(R"(Listen 127.0.0.1:{}
LogLevel info
Browsing Off
WebInterface No
<Location />
Order allow,deny
Allow 127.0.0.1
</Location>
<Location /admin>
Order allow,deny
Allow 127.0.0.1
</Location>
<Policy default>
<Limit All>
Order deny,allow
</Limit>
</Policy>
)",
                                               cups_port_));
        write(dir_ / "cups-files.conf", fmt::format(R"(CacheDir {0}/cache
ErrorLog {0}/log/error_log
AccessLog {0}/log/access_log
PageLog {0}/log/page_log
RequestRoot {0}/spool
StateDir {0}/run
ServerRoot {0}
ServerBin /usr/lib/cups
DataDir /usr/share/cups
TempDir {0}/spool
User {1}
Group {2}
SystemGroup root
)",
                                                    dir_.string(), user, group_name));

        auto cupsd = cmd_runner::spawn_prepared({.program = "/usr/sbin/cupsd",
                                                 .args = {"-f", "-c", (dir_ / "cupsd.conf").string(), "-s",
                                                          (dir_ / "cups-files.conf").string()},
                                                 .time_limit = 10min});
        ASSERT_TRUE(cupsd.has_value()) << "cupsd did not start: " << cupsd.error().message;
        cupsd_.emplace(std::move(*cupsd));
        ASSERT_TRUE(wait_for_port(cups_port_, *cupsd_))
            << "cupsd did not come up; its log says: " << read_file(dir_ / "log" / "error_log");
        printing_.emplace(CupsPrinting::Options{.server = fmt::format("127.0.0.1:{}", cups_port_)});
    }

    void TearDown() override
    {
        printing_.reset();
        printer_.reset();  // dropping a running command stops its process group
        cupsd_.reset();
        dbus_.reset();
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }

    static void write(const std::filesystem::path& file, const std::string& text)
    {
        std::ofstream out(file);
        out << text;
    }

    static bool wait_for_port(int port, cmd_runner::AsyncCommand& server)
    {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (port_answers(port)) {
                return true;
            }
            if (server.try_wait()) {
                return false;  // it ended
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // A client tool (lpadmin, lp, ...) talking to the test's scheduler.
    cmd_runner::Output client(const std::string& program, std::vector<std::string> args)
    {
        auto out = cmd_runner::run({.program = program,
                                    .args = std::move(args),
                                    .env = {{"CUPS_SERVER", fmt::format("127.0.0.1:{}", cups_port_)}, {"LC_ALL", "C"}},
                                    .time_limit = 60s});
        EXPECT_TRUE(out.has_value()) << program << ": " << (out ? "" : out.error().message);
        if (!out) {
            return {};
        }
        EXPECT_TRUE(out->status.success()) << program << ": " << out->stderr_text();
        return *out;
    }

    // Starts the simulated printer and adds the queue `name` for it.
    void add_printer(const std::string& name)
    {
        if (!printer_) {
            std::vector<cmd_runner::EnvVar> env;
            // ippeveprinter wants a D-Bus system bus for its DNS-SD client, even with announcements off; give it
            // a private one when the machine has none.
            if (!std::filesystem::exists("/run/dbus/system_bus_socket") && std::filesystem::exists("/usr/bin/dbus-daemon")) {
                const auto socket = dir_ / "bus";
                auto bus = cmd_runner::spawn_prepared(
                    {.program = "/usr/bin/dbus-daemon",
                     .args = {"--config-file=/usr/share/dbus-1/session.conf", "--nofork",
                              "--address=unix:path=" + socket.string()},
                     .time_limit = 10min});
                ASSERT_TRUE(bus.has_value()) << bus.error().message;
                dbus_.emplace(std::move(*bus));
                const auto deadline = std::chrono::steady_clock::now() + 10s;
                while (!std::filesystem::exists(socket) && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::sleep_for(10ms);
                }
                env.push_back({"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + socket.string()});
            }
            auto printer = cmd_runner::spawn_prepared({.program = "/usr/sbin/ippeveprinter",
                                                       .args = {"-p", std::to_string(printer_port_), "-r", "off", "-n",
                                                                "localhost", "-d", (dir_ / "ippeve").string(),
                                                                "Vorn Test Printer"},
                                                       .env = env,
                                                       .time_limit = 10min});
            ASSERT_TRUE(printer.has_value()) << printer.error().message;
            printer_.emplace(std::move(*printer));
            ASSERT_TRUE(wait_for_port(printer_port_, *printer_))
                << "ippeveprinter did not start (it needs a D-Bus system bus, or dbus-daemon to start one)";
        }
        client("lpadmin", {"-p", name, "-E", "-v", fmt::format("ipp://localhost:{}/ipp/print", printer_port_), "-m",
                           "everywhere"});
        // The scheduler finishes setting up a driverless queue in the background (and then enables it again).
        const std::string ready = fmt::format("Printer \"{}\" is now available.", name);
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (read_file(dir_ / "log" / "error_log").find(ready) == std::string::npos) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "queue " << name << " was never set up";
            std::this_thread::sleep_for(20ms);
        }
    }

    std::optional<PrintQueue> queue(const std::string& name)
    {
        const auto list = printing_->queues();
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

    // Submits a small job and answers its id ("request id is vtest-3 (1 file(s))").
    std::string submit(const std::string& queue_name, std::vector<std::string> options = {})
    {
        const auto file = dir_ / "page.txt";
        write(file, "Hello from the settings test\n");
        std::vector<std::string> args = {"-d", queue_name, "-t", "Quarterly report"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(file.string());
        const auto out = client("lp", args);
        const std::string text = out.stdout_text();
        const auto dash = text.find(queue_name + "-");
        const auto end = text.find(' ', dash);
        EXPECT_NE(dash, std::string::npos) << text;
        return dash == std::string::npos ? "" : text.substr(dash + queue_name.size() + 1, end - dash - queue_name.size() - 1);
    }

    std::filesystem::path dir_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    int cups_port_ = 0;
    int printer_port_ = 0;
    std::optional<cmd_runner::AsyncCommand> cupsd_;
    std::optional<cmd_runner::AsyncCommand> printer_;
    std::optional<cmd_runner::AsyncCommand> dbus_;
    std::optional<CupsPrinting> printing_;
};

TEST_F(CupsTest, SchedulerWithoutPrintersListsNothing)
{
    const auto queues = printing_->queues();
    ASSERT_TRUE(queues.has_value()) << queues.error();
    EXPECT_THAT(*queues, IsEmpty());
    const auto jobs = printing_->jobs();
    ASSERT_TRUE(jobs.has_value()) << jobs.error();
    EXPECT_THAT(*jobs, IsEmpty());
}

TEST_F(CupsTest, QueueStateDefaultAndPause)
{
    add_printer("vtest");
    add_printer("second");
    auto q = queue("vtest");
    ASSERT_TRUE(q.has_value());
    EXPECT_EQ(q->state, QueueState::Ready);
    EXPECT_TRUE(q->accepting_jobs);
    EXPECT_FALSE(q->is_default);

    ASSERT_TRUE(printing_->set_default("vtest").has_value());
    EXPECT_TRUE(queue("vtest")->is_default);
    EXPECT_FALSE(queue("second")->is_default);

    const auto paused = printing_->set_enabled("vtest", false);
    ASSERT_TRUE(paused.has_value()) << paused.error();
    q = queue("vtest");
    EXPECT_EQ(q->state, QueueState::Paused);
    EXPECT_THAT(q->state_reasons, Contains("paused"));

    ASSERT_TRUE(printing_->set_enabled("vtest", true).has_value());
    EXPECT_EQ(queue("vtest")->state, QueueState::Ready);
}

TEST_F(CupsTest, JobsAreListedCanceledAndRetried)
{
    add_printer("vtest");
    // A paused queue keeps its jobs waiting, so that they can be looked at.
    ASSERT_TRUE(printing_->set_enabled("vtest", false).has_value());
    const std::string waiting = submit("vtest");
    const std::string held = submit("vtest", {"-H", "hold"});

    auto j = job(waiting);
    ASSERT_TRUE(j.has_value()) << "job " << waiting;
    EXPECT_EQ(j->state, JobState::Waiting);
    EXPECT_EQ(j->title, "Quarterly report");
    EXPECT_EQ(j->printer, "vtest");
    EXPECT_FALSE(j->owner.empty());
    EXPECT_GT(j->size, 0U);
    EXPECT_EQ(job(held)->state, JobState::Held);

    ASSERT_TRUE(printing_->cancel_job(waiting).has_value());
    EXPECT_EQ(job(waiting)->state, JobState::Canceled);  // still listed, so that it can be retried
    const auto retried = printing_->retry_job(waiting);
    ASSERT_TRUE(retried.has_value()) << retried.error();
    EXPECT_EQ(job(waiting)->state, JobState::Waiting);
}

TEST_F(CupsTest, RemovingAndMissingQueuesAndJobs)
{
    add_printer("vtest");
    ASSERT_TRUE(printing_->remove_queue("vtest").has_value());
    EXPECT_EQ(queue("vtest"), std::nullopt);

    // The scheduler's own words reach the caller.
    EXPECT_EQ(printing_->remove_queue("vtest").error(), "The printer or class does not exist.");
    EXPECT_EQ(printing_->set_enabled("ghost", true).error(), "The printer or class does not exist.");
    EXPECT_EQ(printing_->cancel_job("4242").error(), "Job #4242 does not exist.");
}

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

    const auto queues = printing.queues();
    ASSERT_FALSE(queues.has_value());
    EXPECT_THAT(queues.error(), HasSubstr("the printing service is not reachable"));
}

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
