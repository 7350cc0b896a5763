// The Printers page in the application's window against a real scheduler: the tests' own cupsd with a simulated IPP
// Everywhere printer, reached as a user's session reaches it, through CUPS_SERVER. The page lists the queue with its
// state and a job, and a pause pressed on the page reaches the scheduler (lpstat -p says so).
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/printers/printers_model.hpp"
#include "panes/printers/testing/view_probes.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "page_doc/page_doc.hpp"
#include "system_ops/printing.hpp"
#include "system_ops/testing/cups_server.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

namespace settings::panes::printers {
namespace {

using namespace std::chrono_literals;
using system_ops::printing::CupsPrinting;
using system_ops::testing::CupsServer;
using testing::access_node;
using testing::node_centre;
using ::testing::HasSubstr;

class PrintersWindow : public ::testing::Test {
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
        if (const char* old = std::getenv("CUPS_SERVER")) {
            saved_server_ = old;
        }
        ::setenv("CUPS_SERVER", server_->address().c_str(), 1);
        printing_.emplace(CupsPrinting::Options{.server = server_->address()});
    }

    void TearDown() override
    {
        window_.reset();
        app_.reset();
        if (printing_) {
            if (const auto queues = printing_->queues()) {
                for (const auto& queue : *queues) {
                    (void)printing_->remove_queue(queue.name);
                }
            }
        }
        if (saved_server_) {
            ::setenv("CUPS_SERVER", saved_server_->c_str(), 1);
        } else {
            ::unsetenv("CUPS_SERVER");
        }
    }

    // A client tool (lp, lpstat) as a user runs it, with CUPS_SERVER from the environment; its standard output.
    std::string client(const std::string& program, std::vector<std::string> args)
    {
        auto out = cmd_runner::run({.program = program,
                                    .args = std::move(args),
                                    .env = {{"CUPS_SERVER", server_->address()}, {"LC_ALL", "C"}},
                                    .time_limit = 30s});
        EXPECT_TRUE(out.has_value()) << program << ": " << (out ? "" : out.error().message);
        if (!out) {
            return {};
        }
        EXPECT_TRUE(out->status.success()) << program << ": " << out->stderr_text();
        return out->stdout_text();
    }

    // Adds the simulated printer as a queue and waits until the scheduler has set it up; its name.
    std::string add_office()
    {
        const std::size_t before = server_->times_available("Office");
        const auto added = printing_->add_driverless(server_->office_uri(), "Office");
        EXPECT_TRUE(added.has_value()) << added.error();
        if (!added) {
            return {};
        }
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (server_->times_available(*added) <= before && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_GT(server_->times_available(*added), before) << "queue " << *added << " was never set up";
        return *added;
    }

    // Submits a held job (it stays listed) and answers its id.
    std::string submit_held(const std::string& queue)
    {
        const auto file = server_->dir() / "page.txt";
        std::ofstream(file) << "Hello from the settings test\n";
        const std::string text =
            client("lp", {"-d", queue, "-t", "Quarterly report", "-H", "hold", file.string()});
        std::smatch match;
        EXPECT_TRUE(std::regex_search(text, match, std::regex(queue + "-([0-9]+)"))) << text;
        return match.empty() ? "" : match[1].str();
    }

    void open_printers_page()
    {
        app_ = app::SettingsApp::create();
        window_ = std::make_unique<vorn_ui::HeadlessWindow>(*app_, document_, vorn_ui::WindowSize{1280, 800});
        window_->frame();
        app_->select_section(Section::Printers);
        window_->frame();
    }

    // Runs frames until `done` holds (the page's workers talk to the scheduler meanwhile); false after 20 s.
    bool frames_until(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
            window_->frame();
        }
        return true;
    }

    [[nodiscard]] bool shows(std::string_view text) const
    {
        return std::ranges::any_of(window_->drawn_texts(), [&](const auto& drawn) { return drawn.text == text; });
    }

    [[nodiscard]] bool starts_a_line(std::string_view text) const
    {
        return std::ranges::any_of(window_->drawn_texts(),
                                   [&](const auto& drawn) { return drawn.text.starts_with(text); });
    }

    [[nodiscard]] std::optional<nlohmann::ordered_json> control(std::string_view id) const
    {
        return access_node(window_->accessibility_json(), id);
    }

    static inline std::optional<std::string> skip_reason_;
    static inline std::string start_error_;
    static inline std::unique_ptr<CupsServer> server_;

    app::testing::PrivateHome home_;
    std::optional<std::string> saved_server_;
    std::optional<CupsPrinting> printing_;
    page_doc::Document document_;
    std::unique_ptr<app::SettingsApp> app_;
    std::unique_ptr<vorn_ui::HeadlessWindow> window_;
};

TEST_F(PrintersWindow, TheQueueAndAJobAreListedAndAPauseOnThePageReachesTheScheduler)
{
    const std::string office = add_office();
    ASSERT_FALSE(office.empty());
    const std::string job = submit_held(office);
    ASSERT_FALSE(job.empty());

    open_printers_page();
    ASSERT_TRUE(frames_until([&] { return shows(office) && shows(fmt::format("{} → {}", job, office)); }))
        << "the page never listed the queue and its job";
    EXPECT_TRUE(shows("Ready"));
    EXPECT_TRUE(starts_a_line("Quarterly report · "));
    EXPECT_TRUE(starts_a_line("Held · "));
    EXPECT_TRUE(control(print_job_action_id("cancel", job)).has_value());
    EXPECT_THAT(client("lpstat", {"-p", office}), HasSubstr("enabled"));

    // The queue's Pause button, pressed with the pointer.
    const std::string pause = printer_action_id("enabled", sanitize_printer_id(office));
    const auto button = control(pause);
    ASSERT_TRUE(button.has_value());
    EXPECT_EQ(button->value("label", ""), "Pause");
    const auto centre = node_centre(*button);
    ASSERT_TRUE(centre.has_value());
    window_->click(centre->x, centre->y);

    ASSERT_TRUE(frames_until([&] { return shows("Paused"); })) << "the page never showed the queue paused";
    EXPECT_THAT(client("lpstat", {"-p", office}), HasSubstr("disabled"));
    const auto resumed = control(pause);
    ASSERT_TRUE(resumed.has_value());
    EXPECT_EQ(resumed->value("label", ""), "Resume");
    EXPECT_TRUE(testing::has_state(*resumed, "focused"));
}

}  // namespace
}  // namespace settings::panes::printers
