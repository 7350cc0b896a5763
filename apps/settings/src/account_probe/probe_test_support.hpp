#pragma once
// Helpers of the connection-check tests: accounts built from a config, probe options that trust the test CA with
// short limits, the test certificates (made once per test program) and a capture of log lines.

#include "account_probe/network_probe.hpp"
#include "account_probe/test_servers/test_servers.hpp"

#include "account_registry/records.hpp"
#include "vorn_log/log.hpp"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace settings::account_probe::testing {

using namespace std::chrono_literals;
using account_registry::Account;
using account_registry::Json;

using Result = std::expected<std::string, std::string>;

inline Result fails(std::string_view sentence) { return std::unexpected(std::string(sentence)); }

// Waits (at most 5 s) until `condition` holds; for a step another thread takes, never as a timed assertion.
inline bool eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 1000; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

inline Account account_with(std::string type_id, Json config)
{
    Account account("account-1", std::move(type_id));
    account.config = std::move(config);
    return account;
}

inline Json mail_config(std::string_view host, std::uint16_t port, std::string_view username,
                        std::string_view email = "ada@example.org")
{
    return Json{{"display_name", "Work"}, {"email", email},           {"imap_host", host},
                {"imap_port", port},      {"imap_tls", true},         {"smtp_host", host},
                {"smtp_port", 465},       {"smtp_tls", true},         {"username", username}};
}

// The test CA and certificates; made on first use, kept for the whole test program.
inline const std::expected<test_servers::Certificates, test_servers::StartError>& certificates()
{
    static const auto made = test_servers::Certificates::make();
    return made;
}

// Fails the test (or skips it when the openssl program is missing) unless the certificates exist.
#define VORN_REQUIRE_CERTIFICATES()                                                            \
    do {                                                                                       \
        const auto& made_ = ::settings::account_probe::testing::certificates();               \
        if (!made_) {                                                                          \
            if (made_.error().missing) {                                                       \
                GTEST_SKIP() << made_.error().text;                                            \
            }                                                                                  \
            FAIL() << made_.error().text;                                                      \
        }                                                                                      \
    } while (false)

// Options that trust the test CA; the limits of a check as the program has them unless `quick`.
inline NetworkProbeOptions options_trusting_test_ca(bool quick = false)
{
    NetworkProbeOptions options;
    if (certificates()) {
        options.trust.extra_ca_file = certificates()->ca;
    }
    if (quick) {
        options.imap = ImapLimits{.resolve = 2s,
                                  .connect_budget = 2s,
                                  .step = 400ms,
                                  .max_line_bytes = 1024,
                                  .max_received_bytes = 16 * 1024};
        options.dav = DavLimits{.request = 1s, .connect = 1s, .max_response_bytes = 16 * 1024};
    }
    return options;
}

// A test suite with one real server (test_servers::Dovecot, Radicale, Lighttpd), started once for the suite and
// stopped after its last test. A test skips only when the server program is not installed.
template <class Server>
class ServerSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!certificates()) {
            start_error_ = certificates().error();
            return;
        }
        if (auto started = Server::start(*certificates())) {
            server_ = std::move(*started);
        } else {
            start_error_ = started.error();
        }
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        if (!server_) {
            if (start_error_.missing) {
                GTEST_SKIP() << start_error_.text;
            }
            FAIL() << start_error_.text;
        }
    }

    static Server& server() { return *server_; }

private:
    static inline std::unique_ptr<Server> server_;
    static inline test_servers::StartError start_error_;
};

// Every log line written while the object lives.
class LogCapture {
public:
    LogCapture()
    {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(out_);
        sink->set_pattern("%v");
        vorn_log::set_sink(sink);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    ~LogCapture() { vorn_log::set_sink(nullptr); }
    [[nodiscard]] std::string text() const { return out_.str(); }

private:
    std::ostringstream out_;
};

}  // namespace settings::account_probe::testing
