// Custody of the vault key against a real Secret Service: gnome-keyring-daemon (secrets component only, its login
// keyring unlocked with a test password) on a private session bus, with its home in a temporary folder.

#include "account_registry/key_custody.hpp"
#include "account_registry/registry.hpp"
#include "account_registry/secret_service.hpp"
#include "account_registry/vault.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "test_buses/test_buses.hpp"

#include "test_buses/no_session_bus.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>

namespace account_registry {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view secrets_name = "org.freedesktop.secrets";

std::string read(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::filesystem::path make_temp_dir(std::string_view prefix)
{
    std::string pattern = std::filesystem::temp_directory_path().string();
    pattern.append("/").append(prefix).append("-XXXXXX");
    return ::mkdtemp(pattern.data());
}

using test_buses::NoSessionBus;

class SecretServiceCustody : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!test_buses::have_program("gnome-keyring-daemon")) {
            skip_reason_ = "gnome-keyring-daemon is not installed";
            return;
        }
        auto buses = test_buses::PrivateBuses::start();
        if (!buses) {
            skip_reason_ = buses.error();
            return;
        }
        buses_ = std::move(*buses);
        keyring_home_ = new std::filesystem::path(make_temp_dir("vorn-keyring"));
        std::filesystem::create_directories(*keyring_home_ / "run");
        std::filesystem::permissions(*keyring_home_ / "run", std::filesystem::perms::owner_all);
        write(*keyring_home_ / "password", "test\n");  // unlocks (or first creates) the login keyring
    }

    static void TearDownTestSuite()
    {
        stop_keyring();
        key_custody::reset_for_testing();
        buses_.reset();
        if (keyring_home_ != nullptr) {
            std::filesystem::remove_all(*keyring_home_);
            delete keyring_home_;
            keyring_home_ = nullptr;
        }
    }

    // The daemon with its login keyring created (first start) or unlocked (later starts) by the test password. It
    // is the started process itself (sh execs it), so that stopping it also reaps it.
    static void start_keyring()
    {
        const auto& home = *keyring_home_;
        auto child = test_buses::Child::start(
            {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "HOME=" + home.string(),
             "XDG_RUNTIME_DIR=" + (home / "run").string(), "XDG_DATA_HOME=" + (home / "data").string(),
             "XDG_CONFIG_HOME=" + (home / "config").string(), "sh", "-c",
             "exec gnome-keyring-daemon --foreground --unlock --components=secrets < \"$0\"",
             (home / "password").string()},
            home / "keyring.log");
        ASSERT_TRUE(child) << child.error();
        keyring_ = new test_buses::Child(std::move(*child));
        for (int i = 0; i < 200 && !test_buses::name_has_owner(test_buses::Bus::session, secrets_name); ++i) {
            std::this_thread::sleep_for(25ms);
        }
        ASSERT_TRUE(test_buses::name_has_owner(test_buses::Bus::session, secrets_name)) << read(home / "keyring.log");
    }

    static void stop_keyring()
    {
        delete keyring_;
        keyring_ = nullptr;
        for (int i = 0; i < 200 && test_buses::name_has_owner(test_buses::Bus::session, secrets_name); ++i) {
            std::this_thread::sleep_for(25ms);
        }
    }

    void SetUp() override
    {
        if (!skip_reason_.empty()) {
            GTEST_SKIP() << skip_reason_;
        }
        if (keyring_ == nullptr) {
            start_keyring();
        }
        root_ = make_temp_dir("vorn-custody");
        key_custody::set_limit_for_testing(2s);
        key_custody::reset_for_testing();  // as a fresh process
    }

    void TearDown() override
    {
        if (!root_.empty()) {
            key_custody::settle_for_testing();
            if (keyring_ != nullptr) {
                (void)secret_service::clear(key_custody::schema_name, {{"vault", vault_dir().string()}}, 2s);
            }
            std::filesystem::remove_all(root_);
        }
    }

    [[nodiscard]] std::filesystem::path vault_dir() const { return std::filesystem::absolute(root_ / "vault"); }
    [[nodiscard]] std::filesystem::path key_file() const { return vault_dir() / "vault.key"; }
    [[nodiscard]] std::filesystem::path vault_file() const { return vault_dir() / "vault.enc"; }

    void save_secret(std::string id, std::string_view secret)
    {
        auto vault = SecretVault::open_in(root_);
        ASSERT_TRUE(vault) << vault.error();
        vault->put(std::move(id), SecretString(secret));
        ASSERT_TRUE(vault->save());
        key_custody::settle_for_testing();
    }

    static void lock_keyring()
    {
        const auto out = cmd_runner::run(cmd_runner::Command{
            .program = "gdbus",
            .args = {"call", "--session", "--dest", std::string(secrets_name), "--object-path", "/org/freedesktop/secrets",
                     "--method", "org.freedesktop.Secret.Service.Lock",
                     "['/org/freedesktop/secrets/collection/login']"},
            .time_limit = 10s});
        ASSERT_TRUE(out && out->status.success());
    }

    static inline std::string skip_reason_;
    static inline std::unique_ptr<test_buses::PrivateBuses> buses_;
    static inline std::filesystem::path* keyring_home_ = nullptr;
    static inline test_buses::Child* keyring_ = nullptr;
    std::filesystem::path root_;
};

TEST_F(SecretServiceCustody, TheKeyLivesInTheSecretServiceAndOpensTheVaultAfterARestart)
{
    save_secret("mail-1", "correct horse");

    // The first key was made in the local file and moved into the keyring; the file is gone.
    EXPECT_FALSE(std::filesystem::exists(key_file()));
    const auto kept = key_custody::lookup_for_testing(vault_dir());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->size(), 32u);

    {
        auto vault = SecretVault::open_in(root_);
        ASSERT_TRUE(vault) << vault.error();
        EXPECT_FALSE(vault->secret_service_unavailable());
    }

    // The keyring and this program start again: the key is found in the keyring, the credential reads back.
    stop_keyring();
    start_keyring();
    key_custody::reset_for_testing();
    EXPECT_FALSE(SecretVault::ready_in(root_));
    SecretVault::prepare_in(root_);
    key_custody::settle_for_testing();
    EXPECT_TRUE(SecretVault::ready_in(root_));
    auto vault = SecretVault::open_in(root_);
    ASSERT_TRUE(vault) << vault.error();
    EXPECT_FALSE(vault->secret_service_unavailable());
    ASSERT_NE(vault->get("mail-1"), nullptr);
    EXPECT_EQ(vault->get("mail-1")->view(), "correct horse");
    EXPECT_FALSE(std::filesystem::exists(key_file()));
}

TEST_F(SecretServiceCustody, ALocalKeyMovesIntoTheSecretServiceAndEveryOlderVaultFileStaysReadable)
{
    std::string local_key;
    std::string journal_copy;
    {
        // A session without a Secret Service: the owner-only key file, and the page's caption flag.
        NoSessionBus no_bus;
        key_custody::reset_for_testing();
        save_secret("mail-1", "first secret");
        auto vault = SecretVault::open_in(root_);
        ASSERT_TRUE(vault) << vault.error();
        EXPECT_TRUE(vault->secret_service_unavailable());
        local_key = read(key_file());
        ASSERT_EQ(local_key.size(), 32u);
        EXPECT_EQ(std::filesystem::status(key_file()).permissions(), std::filesystem::perms(0600));
        journal_copy = read(vault_file());  // what an account journal would put back
        vault->put("dav-1", SecretString("second secret"));
        ASSERT_TRUE(vault->save());
    }

    // The next session has one: the same key moves into it.
    key_custody::reset_for_testing();
    SecretVault::prepare_in(root_);
    key_custody::settle_for_testing();
    EXPECT_FALSE(std::filesystem::exists(key_file()));
    const auto moved = key_custody::lookup_for_testing(vault_dir());
    ASSERT_TRUE(moved);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(moved->data()), moved->size()), local_key);

    auto vault = SecretVault::open_in(root_);
    ASSERT_TRUE(vault) << vault.error();
    EXPECT_FALSE(vault->secret_service_unavailable());
    EXPECT_EQ(vault->ids(), (std::vector<std::string>{"dav-1", "mail-1"}));

    write(vault_file(), journal_copy);
    auto restored = SecretVault::open_in(root_);
    ASSERT_TRUE(restored) << restored.error();
    EXPECT_EQ(restored->ids(), std::vector<std::string>{"mail-1"});
    EXPECT_EQ(restored->get("mail-1")->view(), "first secret");
}

TEST_F(SecretServiceCustody, WithoutAUsableSecretServiceTheLocalKeyIsUsedAndNothingIsLost)
{
    // No session bus at all: nothing is asked, the local file keeps the key.
    {
        NoSessionBus no_bus;
        key_custody::reset_for_testing();
        EXPECT_FALSE(SecretVault::ready_in(root_));
        SecretVault::prepare_in(root_);
        EXPECT_TRUE(SecretVault::ready_in(root_));  // settled at once, no worker
        save_secret("mail-1", "secret");
        EXPECT_TRUE(std::filesystem::exists(key_file()));
    }
    EXPECT_FALSE(key_custody::lookup_for_testing(vault_dir()));

    // A bus without a Secret Service on it.
    stop_keyring();
    key_custody::reset_for_testing();
    {
        auto vault = SecretVault::open_in(root_);
        ASSERT_TRUE(vault) << vault.error();
        EXPECT_TRUE(vault->secret_service_unavailable());
        EXPECT_EQ(vault->get("mail-1")->view(), "secret");
    }
    EXPECT_TRUE(std::filesystem::exists(key_file()));

    // A Secret Service whose keyring is locked takes nothing and is never asked to unlock.
    start_keyring();
    lock_keyring();
    key_custody::reset_for_testing();
    {
        auto vault = SecretVault::open_in(root_);
        ASSERT_TRUE(vault) << vault.error();
        EXPECT_TRUE(vault->secret_service_unavailable());
        EXPECT_EQ(vault->get("mail-1")->view(), "secret");
    }
    EXPECT_TRUE(std::filesystem::exists(key_file()));
    stop_keyring();  // the next test starts an unlocked one
}

TEST_F(SecretServiceCustody, AKeyKeptOnlyInALockedOrSilentSecretServiceIsReportedNeverReplaced)
{
    save_secret("mail-1", "secret");
    ASSERT_FALSE(std::filesystem::exists(key_file()));
    const std::string sealed = read(vault_file());

    // Locked: the vault cannot be opened, says why, and nothing is written over it.
    lock_keyring();
    key_custody::reset_for_testing();
    auto locked = SecretVault::open_in(root_);
    ASSERT_FALSE(locked);
    EXPECT_NE(locked.error().find("its key file " + key_file().string() +
                                  " is missing and the desktop Secret Service cannot be asked (the Secret Service "
                                  "keyring is locked)"),
              std::string::npos)
        << locked.error();
    EXPECT_EQ(read(vault_file()), sealed);
    EXPECT_FALSE(std::filesystem::exists(key_file()));
    stop_keyring();

    // A service that stops answering: the custody is settled after the limit, the caller is not held longer.
    start_keyring();
    key_custody::set_limit_for_testing(300ms);
    key_custody::reset_for_testing();
    ::kill(-keyring_->pid(), SIGSTOP);
    SecretVault::prepare_in(root_);
    for (int i = 0; i < 400 && !SecretVault::ready_in(root_); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    const bool settled = SecretVault::ready_in(root_);
    auto silent = SecretVault::open_in(root_);
    ::kill(-keyring_->pid(), SIGCONT);
    EXPECT_TRUE(settled);
    ASSERT_FALSE(silent);
    EXPECT_NE(silent.error().find("did not answer within 300 ms"), std::string::npos) << silent.error();
    EXPECT_EQ(read(vault_file()), sealed);
}

}  // namespace
}  // namespace account_registry
