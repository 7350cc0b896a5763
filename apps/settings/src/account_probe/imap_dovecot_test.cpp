// The IMAP sign-in against a real dovecot on loopback, with a certificate from the test's own CA.

#include "account_probe/probe_test_support.hpp"

#include <gtest/gtest.h>

namespace settings::account_probe {
namespace {

using testing::Json;
using testing::account_with;
using testing::Result;
using testing::mail_config;

class DovecotImap : public testing::ServerSuite<test_servers::Dovecot> {
protected:
    Result sign_in(Json config, std::string_view secret) const
    {
        const NetworkAccountProbe probe(testing::options_trusting_test_ca());
        return probe.probe(account_with("email", std::move(config)), secret);
    }

    static std::uint16_t port() { return server().port(); }
};

const Result succeeded = std::string("IMAP sign-in succeeded");

TEST_F(DovecotImap, SavedCredentialsSignIn)
{
    EXPECT_EQ(sign_in(mail_config("localhost", port(), test_servers::alice), test_servers::alice_password), succeeded)
        << server().log();
    // Spaces, quotes and backslashes reach the server as they were typed.
    EXPECT_EQ(sign_in(mail_config("127.0.0.1", port(), test_servers::bob), test_servers::bob_password), succeeded)
        << server().log();
    // A blank user name falls back to the address; a host with spaces around it still resolves.
    EXPECT_EQ(sign_in(mail_config(" localhost ", port(), "  ", test_servers::alice), test_servers::alice_password),
              succeeded);
}

TEST_F(DovecotImap, PlainImapIsNeverUsed)
{
    Json config = mail_config("localhost", port(), test_servers::alice);
    config["imap_tls"] = false;
    EXPECT_EQ(sign_in(config, test_servers::alice_password), succeeded);
}

TEST_F(DovecotImap, AWrongPasswordIsTheServersRefusal)
{
    const auto refused = std::unexpected(std::string("IMAP server rejected the saved credential"));
    EXPECT_EQ(sign_in(mail_config("localhost", port(), test_servers::alice), "wrong"), refused);
    // The quoting is not what made the difference: bob's password without its backslash is wrong too.
    EXPECT_EQ(sign_in(mail_config("localhost", port(), test_servers::bob), R"(p a"s s)"), refused);
    // The server stays usable after a refusal.
    EXPECT_EQ(sign_in(mail_config("localhost", port(), test_servers::alice), test_servers::alice_password), succeeded);
}

TEST_F(DovecotImap, NothingListeningIsReportedWithAddressAndReason)
{
    const std::uint16_t closed = test_servers::free_port();
    EXPECT_EQ(sign_in(mail_config("127.0.0.1", closed, test_servers::alice), test_servers::alice_password),
              std::unexpected("could not reach 127.0.0.1:" + std::to_string(closed) + ": Connection refused"));
}

TEST_F(DovecotImap, ACertificateForAnotherNameIsRefused)
{
    // dovecot answers on 127.0.0.2 too, with its certificate for localhost and 127.0.0.1.
    EXPECT_EQ(sign_in(mail_config("127.0.0.2", port(), test_servers::alice), test_servers::alice_password),
              std::unexpected(std::string("could not establish the secure IMAP connection")));
    // Without the test CA the same server is not trusted at all.
    const NetworkAccountProbe untrusting;
    EXPECT_EQ(untrusting.probe(account_with("email", mail_config("localhost", port(), test_servers::alice)),
                               test_servers::alice_password),
              std::unexpected(std::string("could not establish the secure IMAP connection")));
}

}  // namespace
}  // namespace settings::account_probe
