// The External Accounts page in the headless window over account stores in a temporary folder: the empty page, the
// accounts by kind in their states, values changed in place with the focus kept, the add form with its validation
// sentences and the check before saving (the password never in the accessibility tree, the document or the log),
// the credential form for every listed account, and removal with its question.
#include "panes/accounts/accounts_pane.hpp"

#include "accounts/drafts.hpp"
#include "accounts/test_support.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "panes/preference_pane/testing.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

namespace settings::panes::accounts {
namespace {

using namespace std::chrono_literals;
using settings::accounts::AccountPaths;
using settings::accounts::testing::TempHome;
using settings::accounts::testing::two_accounts;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::string_view typed_password = "Sekr1t-Calendar-Pass";

using ::settings::panes::testing::node_with_id;

// Every text and string the document holds, one after another.
std::string document_texts(const page_doc::Document& document)
{
    std::string out;
    for (const auto& key : document.keys()) {
        const page_doc::Value* value = document.get(key);
        if (const auto* text = std::get_if<page_doc::TextObject>(value)) {
            out += document.text(text->id).value_or("") + "\n";
        } else if (const auto* string = std::get_if<std::string>(value)) {
            out += *string + "\n";
        }
    }
    return out;
}

// A connection check held until the test lets it answer (or the page stops it).
class GateProbe final : public settings::accounts::AccountProbe {
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
        std::stop_callback wake(stop, [this] {
            { const std::lock_guard inner(mutex_); }
            changed_.notify_all();
        });
        std::unique_lock lock(mutex_);
        calls_.push_back(account.id + ":" + std::string(secret));
        changed_.wait(lock, [&] { return answer_.has_value() || stop.stop_requested(); });
        if (!answer_) {
            return std::unexpected(std::string("stopped"));
        }
        return *answer_;
    }
    void answer(std::expected<std::string, std::string> result)
    {
        const std::lock_guard lock(mutex_);
        answer_ = std::move(result);
        changed_.notify_all();
    }
    [[nodiscard]] std::vector<std::string> calls() const
    {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::vector<std::string> calls_;
    std::optional<std::expected<std::string, std::string>> answer_;
};

class AccountsPaneTest : public ::testing::Test {
protected:
    ~AccountsPaneTest() override { probe->answer(std::unexpected(std::string("test over"))); }

    void open()
    {
        pane = std::make_unique<AccountsPane>(AccountsModelOptions{.paths = paths, .probe = probe});
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1040, 2400});
        window->frame();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    [[nodiscard]] std::optional<nlohmann::ordered_json> node(std::string_view id) const
    {
        return node_with_id(window->accessibility_json(), id);
    }
    [[nodiscard]] std::string label_of(std::string_view id) const
    {
        const auto found = node(id);
        return found ? found->value("label", std::string()) : std::string("<none>");
    }
    void click_control(std::string_view id)
    {
        const auto found = node(id);
        ASSERT_TRUE(found.has_value()) << id << "\n" << ::testing::PrintToString(lines());
        const auto& b = (*found)["bounds"];
        window->click(b["x"].get<double>() + b["width"].get<double>() / 2.0,
                      b["y"].get<double>() + b["height"].get<double>() / 2.0);
        window->frame();
    }
    void type_into(std::string_view id, std::string_view text)
    {
        click_control(id);
        window->type(text);
        window->frame();
    }
    // Frames until `done` holds (a check answers on its own thread; generous for a busy machine).
    bool frames_until(const std::function<bool()>& done)
    {
        for (int i = 0; i < 1500; ++i) {
            window->frame();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void secret_never_leaks(std::string_view secret)
    {
        EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(secret)));
        EXPECT_THAT(document_texts(doc), Not(HasSubstr(secret)));
        EXPECT_THAT(log.text(), Not(HasSubstr(secret)));
    }

    TempHome home;
    panes::testing::LogCapture log;
    AccountPaths paths{.root = home.root()};
    std::shared_ptr<GateProbe> probe = std::make_shared<GateProbe>();
    page_doc::Document doc;
    std::unique_ptr<AccountsPane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(AccountsPaneTest, AnEmptyPageSaysSoAndOffersEveryKind)
{
    open();
    EXPECT_TRUE(shows(texts::introduction));
    EXPECT_TRUE(shows(texts::no_accounts));
    EXPECT_TRUE(shows(texts::secret_service_unavailable));  // no session bus in tests: the owner-only key file
    for (const AccountKind kind : settings::accounts::all_account_kinds) {
        EXPECT_TRUE(shows(settings::accounts::label(kind))) << settings::accounts::label(kind);
        EXPECT_TRUE(shows(empty_kind_caption(kind))) << empty_kind_caption(kind);
        EXPECT_EQ(label_of(controls::add(kind)), texts::add_account);
    }
    EXPECT_TRUE(shows("No calendar (caldav) accounts yet."));
    EXPECT_FALSE(node(controls::form_save));
    EXPECT_FALSE(shows(texts::removal_title));
}

TEST_F(AccountsPaneTest, AccountsAreListedInTheirStatesAndFollowTheStoresInPlace)
{
    auto seeded = two_accounts();
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    seeded.statuses.statuses["mail-1"].last_success_unix = now - 2 * 3600 - 30;
    seeded.statuses.statuses["dav-1"].message = "server unreachable";
    settings::accounts::testing::seed(paths, seeded);
    open();

    EXPECT_FALSE(shows(texts::no_accounts));
    EXPECT_TRUE(shows("Mail mail-1"));
    EXPECT_TRUE(shows("ada@example.org · imap.example.org:993"));
    EXPECT_TRUE(shows("Up to date"));
    EXPECT_TRUE(shows("Last successful sync: 2 h ago"));
    EXPECT_TRUE(shows("Files dav-1"));
    EXPECT_TRUE(shows("WebDAV · dav.example.org"));
    EXPECT_TRUE(shows("Offline"));
    EXPECT_TRUE(shows("Last successful sync: never completed · server unreachable"));
    EXPECT_TRUE(shows(empty_kind_caption(AccountKind::CalDav)));
    EXPECT_TRUE(shows(empty_kind_caption(AccountKind::Nextcloud)));
    EXPECT_FALSE(shows(empty_kind_caption(AccountKind::Mail)));

    // Every row carries its four buttons, told apart by the account's name.
    for (const auto& [id, check] : {std::pair{"mail-1", "Check server"}, std::pair{"dav-1", "Verify sign-in"}}) {
        EXPECT_EQ(label_of(controls::edit(id)), texts::edit);
        EXPECT_EQ(label_of(controls::reauth(id)), texts::sign_in_again);
        EXPECT_EQ(label_of(controls::test(id)), check);
        EXPECT_EQ(label_of(controls::remove(id)), texts::remove);
    }
    EXPECT_THAT(lines(), Contains(HasSubstr("Files dav-1")));

    // New statuses reach the rows in place; the keyboard user stays where they were.
    ASSERT_TRUE(panes::testing::focus_control(*window, controls::reauth("dav-1")));
    auto statuses = seeded.statuses;
    statuses.statuses["dav-1"] = {.health = account_registry::AccountSyncHealth::NeedsAuthentication};
    statuses.statuses["mail-1"] = {.health = account_registry::AccountSyncHealth::Error,
                                   .last_success_unix = now - 3 * 86400,
                                   .message = "mailbox full"};
    ASSERT_TRUE(paths.save_statuses(statuses));
    const auto builds = pane->view_builds();
    pane->model().reload();
    window->frame();
    EXPECT_EQ(pane->view_builds(), builds);
    EXPECT_TRUE(shows("Sign in again"));
    EXPECT_TRUE(shows("Needs attention"));
    EXPECT_TRUE(shows("Last successful sync: 3 d ago · mailbox full"));
    EXPECT_FALSE(shows("Up to date"));
    EXPECT_EQ(panes::testing::focused_id(*window), controls::reauth("dav-1"));
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), controls::test("dav-1"));
}

TEST_F(AccountsPaneTest, TheFormSaysWhatIsMissingThenChecksAndSavesTheAccount)
{
    open();
    click_control(controls::add(AccountKind::CalDav));
    ASSERT_TRUE(shows("Add Calendar (CalDAV) account"));
    EXPECT_EQ(label_of(controls::form_identity), "Username");
    EXPECT_TRUE(node(controls::form_server));
    EXPECT_FALSE(node(controls::form_username));
    EXPECT_TRUE(shows(texts::form_caption));

    // Each missing or wrong field gets its sentence, in the order of the checks; nothing is checked or saved.
    struct Step {
        std::string_view field;
        std::string_view text;
        std::string_view sentence;
    };
    const Step steps[] = {
        {"", "", settings::accounts::draft_sentences::display_name},
        {controls::form_name, "Team calendar", settings::accounts::draft_sentences::username},
        {controls::form_identity, "ada", settings::accounts::draft_sentences::server_url},
        {controls::form_server, "http://cal.example.org", settings::accounts::draft_sentences::https},
    };
    for (const Step& step : steps) {
        if (!step.field.empty()) {
            type_into(step.field, step.text);
        }
        click_control(controls::form_save);
        window->frame();
        EXPECT_TRUE(shows(fmt::format("Could not save: {}", step.sentence))) << step.sentence;
    }
    // The address is corrected (a new publication replaces the field's text); the password is still missing.
    (void)pane->model().server_url_cell().publish("https://cal.example.org/dav/");
    window->frame();
    EXPECT_EQ(label_of(controls::form_server), texts::server_label);
    click_control(controls::form_save);
    window->frame();
    EXPECT_TRUE(shows("Could not save: enter a password or app password"));
    EXPECT_TRUE(probe->calls().empty());

    type_into(controls::form_password, typed_password);
    secret_never_leaks(typed_password);
    click_control(controls::form_save);
    ASSERT_TRUE(frames_until([&] { return shows("Checking the account before saving…"); }));
    ASSERT_TRUE(frames_until([&] { return !probe->calls().empty(); }));
    EXPECT_TRUE(probe->calls()[0].ends_with(std::string(":") + std::string(typed_password)));
    EXPECT_TRUE(shows(empty_kind_caption(AccountKind::CalDav)));  // nothing saved before the server answered

    probe->answer("DAV sign-in succeeded");
    ASSERT_TRUE(frames_until([&] { return shows("CalDAV · cal.example.org"); }));
    EXPECT_FALSE(node(controls::form_save));
    EXPECT_TRUE(shows("Team calendar"));
    EXPECT_TRUE(shows("Not checked yet"));
    EXPECT_TRUE(shows("No application has reported a sync for this account."));
    EXPECT_FALSE(shows(texts::no_accounts));
    // The form gave the focus back to the button that opened it.
    EXPECT_EQ(panes::testing::focused_id(*window), controls::add(AccountKind::CalDav));
    secret_never_leaks(typed_password);
}

TEST_F(AccountsPaneTest, AFailedCheckIsShownInTheFormAndTheFormCanBeLeft)
{
    open();
    click_control(controls::add(AccountKind::WebDav));
    type_into(controls::form_name, "Shared files");
    type_into(controls::form_identity, "sam");
    type_into(controls::form_server, "https://files.example.org/remote.php/dav/files/sam/");
    type_into(controls::form_password, typed_password);
    click_control(controls::form_save);
    probe->answer(std::unexpected(std::string("server rejected the saved credential")));
    ASSERT_TRUE(frames_until([&] { return shows("Could not save: server rejected the saved credential"); }));
    EXPECT_TRUE(node(controls::form_save));
    EXPECT_TRUE(shows(empty_kind_caption(AccountKind::WebDav)));

    click_control(controls::form_cancel);
    EXPECT_FALSE(node(controls::form_save));
    EXPECT_TRUE(pane->model().password_cell()->empty());
    EXPECT_EQ(panes::testing::focused_id(*window), controls::add(AccountKind::WebDav));
    secret_never_leaks(typed_password);
}

TEST_F(AccountsPaneTest, SignInAgainOpensForEveryAccountAndRemovalAsksFirst)
{
    auto seeded = two_accounts();
    seeded.secrets.erase("dav-1");  // an account without a saved credential
    settings::accounts::testing::seed(paths, seeded);
    open();

    click_control(controls::reauth("dav-1"));
    ASSERT_TRUE(shows(texts::reauth_title));
    EXPECT_TRUE(shows(texts::reauth_caption));
    EXPECT_EQ(label_of(controls::reauth_password), texts::reauth_password);
    click_control(controls::reauth_cancel);
    EXPECT_FALSE(shows(texts::reauth_title));

    click_control(controls::remove("dav-1"));
    ASSERT_TRUE(shows(texts::removal_title));
    EXPECT_TRUE(shows(removal_text("Files dav-1")));
    EXPECT_EQ(panes::testing::focused_id(*window), controls::remove_confirm);
    window->tab();
    EXPECT_EQ(panes::testing::focused_id(*window), controls::remove_cancel);
    click_control(controls::remove_cancel);
    EXPECT_FALSE(shows(texts::removal_title));
    EXPECT_TRUE(shows("Files dav-1"));

    click_control(controls::remove("dav-1"));
    click_control(controls::remove_confirm);
    window->frame();
    EXPECT_FALSE(shows(texts::removal_title));
    EXPECT_FALSE(shows("Files dav-1"));
    EXPECT_TRUE(shows(empty_kind_caption(AccountKind::WebDav)));
    EXPECT_TRUE(shows("Mail mail-1"));
    const auto store = paths.try_load_store();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->accounts.size(), 1u);
}

TEST_F(AccountsPaneTest, EditShowsTheStoredSettingsWithoutThePassword)
{
    settings::accounts::testing::seed(paths, two_accounts());
    open();
    click_control(controls::edit("dav-1"));
    ASSERT_TRUE(shows("Edit Files (WebDAV) account"));
    EXPECT_EQ(pane->model().display_name_cell().get(), "Files dav-1");
    EXPECT_EQ(pane->model().username_cell().get(), "sam");
    EXPECT_TRUE(shows("sam"));
    EXPECT_TRUE(pane->model().password_cell()->empty());
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr("dav secret")));

    // The mail form asks for the address and the login name instead of a server.
    click_control(controls::form_cancel);
    click_control(controls::edit("mail-1"));
    ASSERT_TRUE(shows("Edit Email account"));
    EXPECT_EQ(label_of(controls::form_identity), texts::email_label);
    EXPECT_EQ(label_of(controls::form_username), texts::login_name_label);
    EXPECT_FALSE(node(controls::form_server));
}

TEST_F(AccountsPaneTest, AFailedRemovalIsShownOnThePageWithoutAForm)
{
    settings::accounts::testing::seed(paths, two_accounts());
    open();
    click_control(controls::remove("dav-1"));
    {
        settings::accounts::testing::Faults faults;
        faults.fail("accounts.json", "read-only file system");
        click_control(controls::remove_confirm);
        window->frame();
    }
    EXPECT_FALSE(node(controls::form_save));
    EXPECT_TRUE(shows("Could not remove the account: could not remove account metadata: read-only file system"));
    EXPECT_TRUE(shows("Files dav-1"));
}

}  // namespace
}  // namespace settings::panes::accounts
