// The IMAP sign-in against a small TLS server that plays what real servers will not: odd greetings, silence, a
// LOGOUT that never answers, endless lines. Limits are short (a 400 ms step, 1 KiB lines, 16 KiB in all).

#include "account_probe/probe_test_support.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

namespace settings::account_probe {
namespace {

using namespace std::chrono_literals;

using test_servers::FakeConnection;
using test_servers::FakeTlsServer;
using testing::Json;
using testing::account_with;
using testing::certificates;
using testing::Result;
using testing::fails;
using testing::mail_config;

constexpr std::string_view greeting = "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] Fake ready\r\n";

// A server that greets, takes LOGIN with `login_reply` (nothing when empty), and answers LOGOUT.
FakeTlsServer::Script signing_in(std::string login_reply, bool answer_logout = true)
{
    return [=](FakeConnection& client) {
        client.send(greeting);
        if (!client.read_line()) {
            return;
        }
        if (login_reply.empty()) {
            client.wait_until_closed();
            return;
        }
        client.send(login_reply);
        if (client.read_line() && answer_logout) {
            client.send("* BYE Logging out\r\na2 OK Logout completed.\r\n");
        }
        client.wait_until_closed();
    };
}

class FakeImapServer : public ::testing::Test {
protected:
    void SetUp() override { VORN_REQUIRE_CERTIFICATES(); }

    std::unique_ptr<FakeTlsServer> serve(FakeTlsServer::Script script, bool other_name = false)
    {
        const auto& made = *certificates();
        return std::make_unique<FakeTlsServer>(other_name ? made.other_cert : made.server_cert,
                                               other_name ? made.other_key : made.server_key, std::move(script));
    }

    Result check(const FakeTlsServer& server, std::string_view secret = "pw",
                                                  Json config = {})
    {
        if (config.is_null()) {
            config = mail_config("localhost", server.port(), "ada");
        }
        const NetworkAccountProbe probe(options);
        return probe.probe(account_with("email", std::move(config)), secret);
    }

    NetworkProbeOptions options = testing::options_trusting_test_ca(true);
};

const Result succeeded = std::string("IMAP sign-in succeeded");

// One conversation the server plays, and how the check ends.
struct Case {
    std::string name;
    FakeTlsServer::Script script;
    Result result;
};

TEST_F(FakeImapServer, GreetingsOtherThanOkEndTheCheck)
{
    const std::string invalid = "server did not provide a valid IMAP greeting";
    const std::vector<Case> cases{
        {"preauth",
         [](FakeConnection& c) {
             c.send("* PREAUTH [CAPABILITY IMAP4rev1] Logged in as ada\r\n");
             c.wait_until_closed();
         },
         fails(invalid)},
        {"bye",
         [](FakeConnection& c) { c.send("* BYE Too many connections\r\n"); },
         fails(invalid)},
        {"garbage",
         [](FakeConnection& c) {
             c.send("220 smtp.example.org ESMTP\r\n");
             c.wait_until_closed();
         },
         fails(invalid)},
        {"closes_at_once", [](FakeConnection&) {}, fails("IMAP server closed the connection unexpectedly")},
        {"closes_mid_line",
         [](FakeConnection& c) { c.send("* OK [CAPABILITY"); },
         fails("IMAP server closed the connection unexpectedly")},
        {"silent", [](FakeConnection& c) { c.wait_until_closed(); }, fails("IMAP server response timed out")},
        // A greeting that never ends is cut at the line cap instead of filling memory.
        {"endless_line",
         [](FakeConnection& c) {
             c.send("* OK ");
             c.send_until_closed(std::string(512, 'x'));
         },
         fails(invalid)},
        {"lower_case_ok", signing_in("a1 OK done\r\n"), succeeded},
    };
    for (const auto& c : cases) {
        const auto server = serve(c.script);
        EXPECT_EQ(check(*server), c.result) << c.name;
        EXPECT_EQ(server->handshakes(), 1) << c.name;
    }
}

TEST_F(FakeImapServer, LoginRepliesDecideTheResult)
{
    const std::string closed = "IMAP server closed the connection unexpectedly";
    const std::vector<Case> cases{
        {"ok_after_untagged_lines",
         signing_in("* CAPABILITY IMAP4rev1 IDLE\r\n* OK [ALERT] Welcome\r\na1 OK [CAPABILITY IMAP4rev1] Logged in\r\n"),
         succeeded},
        {"no", signing_in("a1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"),
         fails("IMAP server rejected the saved credential")},
        {"bad", signing_in("a1 BAD Error in IMAP command\r\n"), fails("IMAP server rejected the saved credential")},
        {"never_answers", signing_in(""), fails("IMAP server did not answer before the timeout")},
        {"continuation", signing_in("+ go ahead\r\n"), fails(closed)},
        {"other_tag", signing_in("a9 OK\r\n"), fails(closed)},
        {"bye_then_close",
         [](FakeConnection& c) {
             c.send(greeting);
             c.read_line();
             c.send("* BYE Server shutting down\r\n");
         },
         fails(closed)},
        // Untagged lines without end: everything received is capped, so the check gives up.
        {"endless_untagged_lines",
         [](FakeConnection& c) {
             c.send(greeting);
             c.read_line();
             c.send_until_closed("* OK still thinking\r\n");
         },
         fails(closed)},
        // The LOGOUT answer does not count: a sign-in that succeeded stays a success.
        {"logout_never_answers", signing_in("a1 OK Logged in\r\n", false), succeeded},
    };
    for (const auto& c : cases) {
        const auto server = serve(c.script);
        EXPECT_EQ(check(*server), c.result) << c.name;
    }
}

TEST_F(FakeImapServer, TheCredentialTravelsOnlyInTheLoginCommand)
{
    const auto server = serve(signing_in("a1 OK Logged in\r\n"));
    // The user name is blank, so the login is the e-mail address; both are sent trimmed and quoted.
    Json config = mail_config("localhost", server->port(), "   ", " ada@example.org ");
    EXPECT_EQ(check(*server, " p\"w\\d x ", config), succeeded);
    EXPECT_EQ(server->received(),
              "a1 LOGIN \"ada@example.org\" \"p\\\"w\\\\d x\"\r\n"
              "a2 LOGOUT\r\n");
}

TEST_F(FakeImapServer, AnAddressThatRefusesGivesWayToTheNextInTheSameBudget)
{
    const auto server = serve(signing_in("a1 OK Logged in\r\n"));
    // The server listens on 127.0.0.1 only, so 127.0.0.2 refuses the connection.
    options.resolve = [](const std::string& host, std::uint16_t) -> std::expected<std::vector<std::string>, std::string> {
        if (host != "localhost") {
            return std::unexpected(std::string("unknown"));
        }
        return std::vector<std::string>{"127.0.0.2", "127.0.0.1"};
    };
    EXPECT_EQ(check(*server), succeeded);
    EXPECT_EQ(server->connections(), 1);
}

TEST_F(FakeImapServer, NothingListeningNamesHostPortAndReason)
{
    const std::uint16_t port = test_servers::free_port();
    const NetworkAccountProbe probe(options);
    EXPECT_EQ(probe.probe(account_with("email", mail_config("127.0.0.1", port, "ada")), "pw"),
              fails("could not reach 127.0.0.1:" + std::to_string(port) + ": Connection refused"));
}

TEST_F(FakeImapServer, ResolutionFailuresHaveTheirOwnSentences)
{
    const auto server = serve([](FakeConnection&) {});
    options.resolve = [](const std::string&, std::uint16_t) -> std::expected<std::vector<std::string>, std::string> {
        return std::vector<std::string>{};
    };
    EXPECT_EQ(check(*server), fails("server name returned no address"));
    options.resolve = [](const std::string&, std::uint16_t) -> std::expected<std::vector<std::string>, std::string> {
        return std::unexpected(std::string("Name or service not known"));
    };
    EXPECT_EQ(check(*server), fails("server name could not be resolved"));

    // A resolver that hangs is left behind at the limit; it finishes later on its own thread.
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    options.imap.resolve = 200ms;
    options.resolve = [gate](const std::string&, std::uint16_t) -> std::expected<std::vector<std::string>, std::string> {
        std::unique_lock lock(gate->mutex);
        gate->opened.wait(lock, [&] { return gate->open; });
        return std::vector<std::string>{"127.0.0.1"};
    };
    EXPECT_EQ(check(*server), fails("server name resolution timed out"));
    {
        const std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
    EXPECT_EQ(server->connections(), 0);
}

TEST_F(FakeImapServer, CertificatesThatDoNotProveTheServerAreRefused)
{
    const std::string refused = "could not establish the secure IMAP connection";
    {
        // Signed by the trusted CA, but for another name.
        const auto server = serve(signing_in("a1 OK\r\n"), true);
        EXPECT_EQ(check(*server), fails(refused));
        EXPECT_EQ(server->handshakes(), 0);
    }
    {
        // The right name, but the client does not trust the CA.
        const auto server = serve(signing_in("a1 OK\r\n"));
        options.trust = {};
        EXPECT_EQ(check(*server), fails(refused));
        EXPECT_EQ(server->received(), "");
    }
}

TEST_F(FakeImapServer, AStoppedCheckEndsAtOnceWithoutItsTimeLimits)
{
    // The program's own limits (8 s per step): only the stop can end this check early.
    options = testing::options_trusting_test_ca();
    const auto server = serve([&](FakeConnection& c) { c.wait_until_closed(std::chrono::seconds(20)); });
    std::stop_source stop;
    Result result;
    std::thread worker([&] {
        const NetworkAccountProbe probe(options);
        result = probe.probe_cancellable(account_with("email", mail_config("localhost", server->port(), "ada")), "pw",
                                         stop.get_token());
    });
    // Once the server holds the connection, the check is waiting for its greeting.
    EXPECT_TRUE(testing::eventually([&] { return server->handshakes() == 1; }));
    stop.request_stop();
    worker.join();
    EXPECT_EQ(result, fails("connection check cancelled"));
}

}  // namespace
}  // namespace settings::account_probe
