// The External Accounts page without its widgets: buttons pressed through the page document, commands from the
// application, the connection check with a probe the test answers, and the stores on disk.

#include "panes/accounts/accounts_model.hpp"
#include "panes/accounts/accounts_texts.hpp"

#include "accounts/removal.hpp"
#include "accounts/test_support.hpp"

#include "page_doc/page_doc.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace settings::panes::accounts {
namespace {

using namespace std::chrono_literals;
using settings::accounts::AccountPaths;
using settings::accounts::testing::Faults;
using settings::accounts::testing::Snapshot;
using settings::accounts::testing::TempHome;
using settings::accounts::testing::snapshot;
using settings::accounts::testing::two_accounts;
using Cmd = operations::AccountPaneCommand;
using Outcome = operations::AccountCommandOutcome;

// A connection check the test answers: each call waits until the test releases it (or it is stopped), and records
// the account and the secret it was given.
class ScriptedProbe final : public settings::accounts::AccountProbe {
public:
    std::expected<std::string, std::string> probe(const account_registry::Account& account,
                                                  std::string_view secret) const override
    {
        return probe_cancellable(account, secret, {});
    }

    std::expected<std::string, std::string> probe_cancellable(const account_registry::Account& account,
                                                              std::string_view secret,
                                                              std::stop_token stop) const override
    {
        // The stop callback is registered before the lock is taken, so that it is deregistered after the lock is
        // released: a stop requested while this call returns would otherwise wait on the mutex this thread holds
        // while this thread waits for the callback to finish.
        std::stop_callback wake(stop, [this] {
            { const std::lock_guard inner(mutex_); }
            changed_.notify_all();
        });
        std::unique_lock lock(mutex_);
        calls_.push_back(account.id + ":" + std::string(secret));
        const std::size_t call = calls_.size() - 1;
        changed_.notify_all();
        changed_.wait(lock, [&] { return answers_.contains(call) || stop.stop_requested(); });
        if (!answers_.contains(call)) {
            ++stopped_;
            changed_.notify_all();
            return std::unexpected(std::string(cancelled_message));
        }
        return answers_.at(call);
    }

    // Answers the call with this index (0 for the first).
    void answer(std::size_t call, std::expected<std::string, std::string> result)
    {
        const std::lock_guard lock(mutex_);
        answers_.insert_or_assign(call, std::move(result));
        changed_.notify_all();
    }
    // Waits until `count` checks were stopped before they were answered.
    bool wait_for_stops(int count) const
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return stopped_ >= count; });
    }
    // Waits until `count` calls have started.
    bool wait_for_calls(std::size_t count) const
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return calls_.size() >= count; });
    }
    [[nodiscard]] std::vector<std::string> calls() const
    {
        const std::lock_guard lock(mutex_);
        return calls_;
    }
    [[nodiscard]] int stopped() const
    {
        const std::lock_guard lock(mutex_);
        return stopped_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::vector<std::string> calls_;
    mutable int stopped_ = 0;
    std::map<std::size_t, std::expected<std::string, std::string>> answers_;
};

class AccountsModelTest : public ::testing::Test {
protected:
    AccountsModelTest() { seed(paths, two_accounts()); }
    ~AccountsModelTest() override
    {
        for (std::size_t call = 0; call < 8; ++call) {
            probe->answer(call, std::unexpected(std::string("test over")));
        }
    }

    AccountsModel& model()
    {
        if (!model_) {
            model_ = std::make_unique<AccountsModel>(AccountsModelOptions{
                .paths = paths, .commands = commands, .probe = probe, .clock = [this] { return now; }});
        }
        return *model_;
    }

    void press(std::string_view key) { doc.put_bool(key, true); }
    [[nodiscard]] std::optional<bool> key(std::string_view name) const { return page_doc::doc_bool(doc, name); }
    void sync() { model().sync(doc); }

    // Syncs until the running check has answered (the worker hands its result over a moment later).
    void sync_until_answered()
    {
        for (int i = 0; i < 1000 && (model().form_check_pending() || model().reauth_check_pending()); ++i) {
            sync();
            std::this_thread::sleep_for(1ms);
        }
    }

    void fill_calendar_form(std::string_view password = " cal secret ")
    {
        (void)model().display_name_cell().publish("Team calendar");
        (void)model().username_cell().publish("ada");
        (void)model().server_url_cell().publish("https://cal.example.org/");
        model().password_cell()->set(password);
    }

    [[nodiscard]] std::optional<std::string> stored_calendar_id() const
    {
        const auto store = paths.try_load_store();
        for (const auto& account : store->accounts) {
            if (account.type_id == "caldav") {
                return account.id;
            }
        }
        return std::nullopt;
    }

    TempHome home;
    AccountPaths paths{.root = home.root()};
    std::shared_ptr<ScriptedProbe> probe = std::make_shared<ScriptedProbe>();
    operations::AccountCommandCell commands;
    std::chrono::steady_clock::time_point now{};
    page_doc::Document doc;
    std::unique_ptr<AccountsModel> model_;
};

TEST_F(AccountsModelTest, AnAccountIsSavedOnlyAfterItsServerAcceptedTheSignIn)
{
    EXPECT_EQ(model().accounts().webdav.accounts.size(), 1u);
    EXPECT_TRUE(model().has_credential("mail-1"));
    EXPECT_TRUE(model().secret_service_unavailable());  // no session bus in tests: the local key file

    press(controls::add(AccountKind::CalDav));
    sync();
    EXPECT_EQ(key(controls::add(AccountKind::CalDav)), false);
    ASSERT_EQ(model().form_kind(), AccountKind::CalDav);
    EXPECT_FALSE(model().editing_id());

    fill_calendar_form();
    press(controls::form_save);
    sync();
    EXPECT_EQ(model().form_status(), "Checking the account before saving…");
    EXPECT_TRUE(model().needs_idle_sync());
    ASSERT_TRUE(probe->wait_for_calls(1));
    EXPECT_TRUE(probe->calls()[0].ends_with(":cal secret"));  // checked with the trimmed password
    EXPECT_FALSE(stored_calendar_id());                       // nothing stored before the check answered

    probe->answer(0, "DAV sign-in succeeded");
    sync_until_answered();
    EXPECT_FALSE(model().form_kind());
    const auto id = stored_calendar_id();
    ASSERT_TRUE(id);
    EXPECT_EQ(probe->calls()[0], *id + ":cal secret");  // the id the check was made for is the one saved
    EXPECT_EQ(snapshot(paths).secrets.at(*id), "cal secret");
    ASSERT_EQ(model().accounts().caldav.accounts.size(), 1u);
    EXPECT_EQ(model().accounts().caldav.accounts[0].base_url, "https://cal.example.org");
    EXPECT_TRUE(model().has_credential(*id));
    EXPECT_EQ(model().display_name_cell().get(), "");
    EXPECT_TRUE(model().password_cell()->empty());
    EXPECT_FALSE(model().needs_idle_sync());
}

TEST_F(AccountsModelTest, AFailedCheckKeepsTheFormAndSavesNothing)
{
    model().open_add_form(AccountKind::CalDav);
    fill_calendar_form();
    press(controls::form_save);
    sync();
    ASSERT_TRUE(probe->wait_for_calls(1));
    probe->answer(0, std::unexpected(std::string("DAV server rejected the saved credential")));
    sync_until_answered();
    EXPECT_EQ(model().form_kind(), AccountKind::CalDav);
    EXPECT_EQ(model().form_status(), "DAV server rejected the saved credential");
    EXPECT_EQ(model().display_name_cell().get(), "Team calendar");
    EXPECT_EQ(snapshot(paths), two_accounts());

    // A form that does not validate never reaches the probe.
    (void)model().server_url_cell().publish("http://localhost:5232");
    press(controls::form_save);
    sync();
    EXPECT_EQ(model().form_status(), "use an HTTPS server URL (localhost HTTP is allowed in development)");
    EXPECT_EQ(probe->calls().size(), 1u);
    EXPECT_FALSE(model().form_check_pending());
}

TEST_F(AccountsModelTest, ACheckWithoutAnswerTimesOutAfterTenSecondsAndItsLateAnswerIsDropped)
{
    model().open_add_form(AccountKind::CalDav);
    fill_calendar_form();
    press(controls::form_save);
    sync();
    ASSERT_TRUE(probe->wait_for_calls(1));

    now += 9999ms;
    sync();
    EXPECT_TRUE(model().form_check_pending());
    now += 1ms;
    sync();
    EXPECT_FALSE(model().form_check_pending());
    EXPECT_EQ(model().form_status(), "connection check timed out");
    EXPECT_TRUE(probe->wait_for_stops(1));  // nobody waits for it any more: it is stopped

    // The first check's late success saves nothing; a new submit is accepted and its own answer counts.
    probe->answer(0, "DAV sign-in succeeded");
    sync();
    EXPECT_FALSE(stored_calendar_id());
    press(controls::form_save);
    sync();
    ASSERT_TRUE(probe->wait_for_calls(2));
    EXPECT_EQ(model().form_status(), "Checking the account before saving…");
    probe->answer(1, "DAV sign-in succeeded");
    sync_until_answered();
    EXPECT_TRUE(stored_calendar_id());
}

TEST_F(AccountsModelTest, CancelClosesTheFormAtOnceAndAResultAfterwardsSavesNothing)
{
    model().open_add_form(AccountKind::CalDav);
    fill_calendar_form();
    auto typed = model().password_cell();  // what the view's password field shares
    press(controls::form_save);
    sync();
    ASSERT_TRUE(probe->wait_for_calls(1));

    press(controls::form_cancel);
    sync();
    EXPECT_FALSE(model().form_kind());
    EXPECT_FALSE(model().form_check_pending());
    EXPECT_TRUE(typed->empty());  // wiped
    EXPECT_TRUE(probe->wait_for_stops(1));
    EXPECT_EQ(model().server_url_cell().get(), "");
    probe->answer(0, "DAV sign-in succeeded");
    for (int i = 0; i < 20; ++i) {
        sync();
    }
    EXPECT_FALSE(stored_calendar_id());
    EXPECT_EQ(snapshot(paths), two_accounts());
}

TEST_F(AccountsModelTest, SubmittingAgainWhileTheCheckRunsStartsNoSecondCheck)
{
    model().open_add_form(AccountKind::CalDav);
    fill_calendar_form();
    press(controls::form_save);
    sync();
    ASSERT_TRUE(probe->wait_for_calls(1));
    press(controls::form_save);
    sync();
    EXPECT_EQ(key(controls::form_save), false);
    press(controls::form_save);
    sync();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(probe->calls().size(), 1u);
    probe->answer(0, "DAV sign-in succeeded");
    sync_until_answered();
    EXPECT_TRUE(stored_calendar_id());
    EXPECT_EQ(probe->calls().size(), 1u);
}

TEST_F(AccountsModelTest, AStoreThatCannotBeWrittenAfterTheCheckIsRolledBackAndSaid)
{
    model().open_add_form(AccountKind::CalDav);
    fill_calendar_form();
    press(controls::form_save);
    sync();
    ASSERT_TRUE(probe->wait_for_calls(1));
    Faults faults;
    faults.fail("accounts.json", "no space left on device");
    probe->answer(0, "DAV sign-in succeeded");
    sync_until_answered();
    EXPECT_EQ(model().form_kind(), AccountKind::CalDav);
    EXPECT_EQ(model().form_status(), "could not persist account: no space left on device");
    EXPECT_EQ(snapshot(paths), two_accounts());  // the new credential was taken back out of the vault
    EXPECT_FALSE(std::filesystem::exists(*paths.journal_path()));
}

TEST_F(AccountsModelTest, EditingFillsTheFormWithoutThePasswordAndAnEmptyPasswordKeepsIt)
{
    press(controls::edit("dav-1"));
    press(controls::edit("mail-1"));  // mail comes first: it wins, the other waits
    sync();
    EXPECT_EQ(model().editing_id(), "mail-1");
    EXPECT_EQ(key(controls::edit("dav-1")), true);
    sync();
    ASSERT_EQ(model().editing_id(), "dav-1");
    EXPECT_EQ(model().form_kind(), AccountKind::WebDav);
    EXPECT_EQ(model().display_name_cell().get(), "Files dav-1");
    EXPECT_EQ(model().username_cell().get(), "sam");
    EXPECT_EQ(model().server_url_cell().get(), "https://dav.example.org/remote.php/dav");
    EXPECT_TRUE(model().password_cell()->empty());

    (void)model().server_url_cell().publish("https://files.example.org/dav/");
    press(controls::form_save);
    sync();
    ASSERT_TRUE(probe->wait_for_calls(1));
    EXPECT_EQ(probe->calls()[0], "dav-1:dav secret");  // checked with the saved credential
    probe->answer(0, "DAV sign-in succeeded");
    sync_until_answered();
    const Snapshot saved = snapshot(paths);
    EXPECT_EQ(saved.store.get("dav-1")->config["base_url"], "https://files.example.org/dav");
    EXPECT_EQ(saved.secrets, two_accounts().secrets);
    EXPECT_FALSE(model().open_account_for_edit("nobody"));
}

TEST_F(AccountsModelTest, SignInAgainOpensForEveryListedAccountAndReplacesOnlyAnExistingAccountsCredential)
{
    // An account without a saved credential (brought in by the legacy import, say).
    Snapshot s = two_accounts();
    s.secrets.erase("dav-1");
    seed(paths, s);
    ASSERT_FALSE(model().has_credential("dav-1"));

    press(controls::reauth("dav-1"));
    sync();
    EXPECT_EQ(key(controls::reauth("dav-1")), false);
    ASSERT_EQ(model().reauth_target(), "dav-1");

    press(controls::reauth_save);
    sync();
    EXPECT_EQ(model().reauth_status(), "enter a password or app password");

    const std::string store = settings::test_support::read_file(*paths.store_path());
    model().new_password_cell()->set("  fresh  ");
    press(controls::reauth_save);
    sync();
    EXPECT_EQ(model().reauth_status(), "Checking the replacement credential…");
    ASSERT_TRUE(probe->wait_for_calls(1));
    EXPECT_EQ(probe->calls()[0], "dav-1:fresh");
    probe->answer(0, "DAV sign-in succeeded");
    sync_until_answered();
    EXPECT_FALSE(model().reauth_target());
    EXPECT_TRUE(model().has_credential("dav-1"));
    EXPECT_EQ(snapshot(paths).secrets.at("dav-1"), "fresh");
    EXPECT_EQ(settings::test_support::read_file(*paths.store_path()), store);  // byte for byte
    EXPECT_TRUE(model().new_password_cell()->empty());

    // The account goes while its new password is checked: no credential is kept without it.
    press(controls::reauth("mail-1"));
    sync();
    model().new_password_cell()->set("late");
    press(controls::reauth_save);
    sync();
    ASSERT_TRUE(probe->wait_for_calls(2));
    ASSERT_TRUE(settings::accounts::remove_account(paths, AccountKind::Mail, "mail-1"));
    probe->answer(1, "IMAP sign-in succeeded");
    sync_until_answered();
    EXPECT_EQ(model().reauth_status(), "account no longer exists");
    EXPECT_FALSE(snapshot(paths).secrets.contains("mail-1"));
}

TEST_F(AccountsModelTest, RemovalAsksFirstAndAFailureIsShownOnThePage)
{
    press(controls::remove("mail-1"));
    sync();
    ASSERT_EQ(model().pending_removal(), (std::pair{AccountKind::Mail, std::string("mail-1")}));
    press(controls::remove_cancel);
    sync();
    EXPECT_FALSE(model().pending_removal());

    press(controls::remove("dav-1"));
    sync();
    {
        Faults faults;
        faults.fail("accounts.json", "read-only file system");
        press(controls::remove_confirm);
        sync();
    }
    EXPECT_FALSE(model().form_kind());
    EXPECT_EQ(model().removal_error(), "could not remove account metadata: read-only file system");
    EXPECT_EQ(snapshot(paths), two_accounts());

    press(controls::remove("dav-1"));
    sync();
    press(controls::remove_confirm);
    sync();
    EXPECT_FALSE(model().removal_error());
    EXPECT_EQ(model().removed_ids(), std::vector<std::string>{"dav-1"});
    EXPECT_TRUE(model().accounts().webdav.accounts.empty());
    EXPECT_FALSE(model().has_credential("dav-1"));

    // A press on the removed row is left alone.
    press(controls::remove("dav-1"));
    sync();
    EXPECT_FALSE(model().pending_removal());
    EXPECT_EQ(key(controls::remove("dav-1")), true);
}

TEST_F(AccountsModelTest, AddButtonsAreAllConsumedAndOnlyTheFirstOpensAForm)
{
    press(controls::add(AccountKind::WebDav));
    press(controls::add(AccountKind::Nextcloud));
    sync();
    EXPECT_EQ(model().form_kind(), AccountKind::WebDav);
    EXPECT_EQ(key(controls::add(AccountKind::Nextcloud)), false);
    press(controls::add(AccountKind::Mail));
    sync();
    EXPECT_EQ(model().form_kind(), AccountKind::WebDav);  // a form is open
}

TEST_F(AccountsModelTest, ApplicationCommandsAreAnsweredOnceThePageHasActed)
{
    const auto send = [&](Cmd command) { return *commands.send(std::move(command)); };
    model();
    ASSERT_TRUE(commands.has_reader());  // the page reads the application's cell

    const auto submit_without_form = send(Cmd{Cmd::SubmitForm{}});
    sync();
    EXPECT_EQ(commands.take_answer(submit_without_form), Outcome(std::unexpect, "no account form is open"));

    const auto edit_gone = send(Cmd{Cmd::Edit{"nobody"}});
    sync();
    EXPECT_EQ(commands.take_answer(edit_gone), Outcome(std::unexpect, "account no longer exists"));

    const auto add = send(Cmd{Cmd::Add{AccountKind::CalDav}});
    const auto invalid = send(Cmd{Cmd::SubmitForm{}});
    EXPECT_TRUE(model().needs_idle_sync());  // commands wait
    sync();
    EXPECT_EQ(commands.take_answer(add), Outcome(""));
    EXPECT_EQ(model().form_kind(), AccountKind::CalDav);
    sync();
    EXPECT_EQ(commands.take_answer(invalid), Outcome(std::unexpect, "enter a display name"));

    fill_calendar_form();
    const auto submit = send(Cmd{Cmd::SubmitForm{}});
    sync();
    ASSERT_TRUE(probe->wait_for_calls(1));
    const auto joined = send(Cmd{Cmd::SubmitForm{}});  // a second submit waits for the running check
    sync();
    EXPECT_FALSE(commands.take_answer(submit));
    probe->answer(0, "DAV sign-in succeeded");
    sync_until_answered();
    EXPECT_EQ(commands.take_answer(submit), Outcome(""));
    EXPECT_EQ(commands.take_answer(joined), Outcome(""));
    EXPECT_TRUE(stored_calendar_id());

    // A submit the application gives up on stops its check; the form stays.
    send(Cmd{Cmd::Add{AccountKind::WebDav}});
    sync();
    (void)model().display_name_cell().publish("Files");
    (void)model().username_cell().publish("sam");
    (void)model().server_url_cell().publish("https://files.example.org");
    model().password_cell()->set("pw");
    const auto cancelled = send(Cmd{Cmd::SubmitForm{}});
    sync();
    ASSERT_TRUE(probe->wait_for_calls(2));
    EXPECT_FALSE(commands.cancel(cancelled));  // taken: the page is asked to stop
    sync();
    EXPECT_EQ(commands.take_answer(cancelled), Outcome(std::unexpect, "connection check cancelled"));
    EXPECT_EQ(model().form_kind(), AccountKind::WebDav);
    EXPECT_EQ(model().form_status(), "connection check cancelled");

    // What the page still owes when it goes is answered.
    const auto pending = send(Cmd{Cmd::SubmitForm{}});
    sync();
    model_.reset();
    EXPECT_EQ(commands.take_answer(pending),
              Outcome(std::unexpect, "the page was closed before the operation finished"));
    EXPECT_FALSE(commands.has_reader());
}

TEST_F(AccountsModelTest, ThePasswordCellsAreWipedWhenThePageGoes)
{
    model().open_add_form(AccountKind::Mail);
    auto password = model().password_cell();
    auto new_password = model().new_password_cell();
    password->set("typed secret");
    new_password->set("another");
    model_.reset();
    EXPECT_TRUE(password->empty());
    EXPECT_TRUE(new_password->empty());
}

TEST_F(AccountsModelTest, AGivenListIsShownAsItIsAndAnAddFormCanBeOpenAtStart)
{
    settings::accounts::AccountLists lists;
    lists.nextcloud.accounts.push_back({.id = "n1", .label = "Cloud", .server_url = "https://cloud.example.org"});
    AccountsModel given({.paths = paths, .lists = lists, .add_form = AccountKind::Nextcloud, .probe = probe});
    EXPECT_EQ(given.accounts(), lists);
    EXPECT_TRUE(given.statuses().statuses.empty());
    EXPECT_EQ(given.form_kind(), AccountKind::Nextcloud);
}

TEST_F(AccountsModelTest, AnUnreadableStoreIsSaidNotShownAsEmpty)
{
    settings::test_support::write_file(*paths.store_path(), "{\"accounts\":[");
    EXPECT_TRUE(model().accounts().is_empty());
    ASSERT_TRUE(model().store_error());
    EXPECT_TRUE(model().store_error()->starts_with("account store ")) << *model().store_error();
}

}  // namespace
}  // namespace settings::panes::accounts
