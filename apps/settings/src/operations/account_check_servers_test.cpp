// The "Test" account operation end to end: a mail account saved with the address and password of a real dovecot
// on loopback is checked over the network, through the application's operation and its poll.

#include "operations/app_operations.hpp"
#include "operations/test_support.hpp"

#include "account_probe/probe_test_support.hpp"
#include "accounts/paths.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace settings::operations {
namespace {

using namespace std::chrono_literals;
using account_probe::testing::LogCapture;
using account_probe::testing::eventually;
using account_probe::testing::mail_config;
using testing::FakeSystem;
using testing::RecordingHost;
using testing::TempHome;
using testing::op_id;
using vorn_ui::OperationClass;
using vorn_ui::OperationCompletion;
using vorn_ui::ResourceOperationStart;

class AccountCheckOverTheNetwork : public account_probe::testing::ServerSuite<test_servers::Dovecot> {
protected:
    // Saves the mail account "mail-1" for `login` at localhost:`port`, with `password` in the credential vault.
    void add_mail_account(std::uint16_t port, std::string_view login, std::string_view password)
    {
        auto store = paths.try_load_store();
        ASSERT_TRUE(store) << store.error();
        account_registry::Account account("mail-1", "email");
        account.display_name = "Alice";
        account.config = mail_config("localhost", port, login, "alice@example.org");
        store->upsert(account);
        ASSERT_TRUE(paths.save_store(*store));
        auto vault = paths.open_vault();
        ASSERT_TRUE(vault) << vault.error();
        vault->put("mail-1", account_registry::SecretString(password));
        ASSERT_TRUE(vault->save());
    }

    // Starts the "Test" operation and polls it until it reports.
    std::optional<OperationCompletion> test_account(std::uint64_t id)
    {
        const auto started = ops->start(op_id(id), OperationClass::Effect, actions::AccountOperation::kind,
                                        R"({"Test":{"id":"mail-1"}})");
        EXPECT_EQ(started, ResourceOperationStart::pending());
        for (int i = 0; i < 2000; ++i) {
            if (auto report = ops->poll(op_id(id), false)) {
                return report;
            }
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

    TempHome home;
    FakeSystem system;
    RecordingHost host;
    accounts::AccountPaths paths{.root = home.path() / "accounts"};
    std::unique_ptr<ApplicationOperations> ops = std::make_unique<ApplicationOperations>(
        host, AppOperationsOptions{.account_paths = paths,
                                   .probe = std::make_shared<account_probe::NetworkAccountProbe>(
                                       account_probe::testing::options_trusting_test_ca())});
};

TEST_F(AccountCheckOverTheNetwork, TheSavedPasswordSignsInAndAWrongOneIsRefused)
{
    const LogCapture logs;
    add_mail_account(server().port(), test_servers::alice, test_servers::alice_password);
    EXPECT_EQ(test_account(1), OperationCompletion::completed_with(op_id(1), {{}, "IMAP sign-in succeeded"}))
        << server().log();

    add_mail_account(server().port(), test_servers::alice, "not-the-password");
    EXPECT_EQ(test_account(2), OperationCompletion::failed(op_id(2), "account_connection_failed",
                                                           "IMAP server rejected the saved credential", true));

    EXPECT_EQ(logs.text().find(test_servers::alice_password), std::string::npos) << logs.text();
    EXPECT_EQ(logs.text().find("not-the-password"), std::string::npos) << logs.text();
}

TEST_F(AccountCheckOverTheNetwork, ACheckStillRunningWhenTheApplicationGoesIsStopped)
{
    // A server that takes the connection and never greets: left alone, the check would wait 8 s for the greeting.
    const auto& certificates = *account_probe::testing::certificates();
    std::atomic<bool> client_left{false};
    test_servers::FakeTlsServer silent(certificates.server_cert, certificates.server_key,
                                       [&](test_servers::FakeConnection& client) {
                                           client.wait_until_closed(20s);
                                           client_left = true;
                                       });
    add_mail_account(silent.port(), "ada", "pw");

    ASSERT_EQ(ops->start(op_id(1), OperationClass::Effect, actions::AccountOperation::kind, R"({"Test":{"id":"mail-1"}})"),
              ResourceOperationStart::pending());
    ASSERT_TRUE(eventually([&] { return silent.handshakes() == 1; }));

    // The window closes: the application goes, and with it the check, before the greeting's time limit.
    ops.reset();
    EXPECT_TRUE(AccountCheck::wait_for_workers(0s)) << "a check worker outlived the application";
    EXPECT_TRUE(eventually([&] { return client_left.load(); }));
}

}  // namespace
}  // namespace settings::operations
