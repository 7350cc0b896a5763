// Signing identities on fixture folders, with an in-memory Secret Service; and the real Secret Service
// (gnome-keyring on a private session bus) through libsecret.
#include "signing_ids/signing_ids.hpp"

#include "signing_ids/secret_service.hpp"

#include "account_registry/secret_service.hpp"
#include "test_buses/no_session_bus.hpp"
#include "test_buses/temp_dir.hpp"
#include "test_buses/test_buses.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sodium.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace signing_ids {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using test_buses::read_file;

void write(const fs::path& file, std::string_view text, fs::perms perms = fs::perms::owner_read | fs::perms::owner_write)
{
    test_buses::write_file(file, text);
    fs::permissions(file, perms);
}

using test_buses::TempDir;

// A Secret Service in memory that can be switched off and made to fail.
class MemoryKeys final : public SecretServiceKeys {
public:
    bool up = true;
    bool fail_clear = false;

    bool available() override { return up; }
    std::expected<void, std::string> store(std::string_view id, std::string_view, const SecretKey& key) override
    {
        if (!up) {
            return std::unexpected("no service");
        }
        auto copy = SecretKey::from_seed(key.seed());
        const std::lock_guard lock(mutex_);
        items_[std::string(id)] = *copy;
        return {};
    }
    std::expected<std::shared_ptr<const SecretKey>, std::string> lookup(std::string_view id) override
    {
        const std::lock_guard lock(mutex_);
        const auto it = items_.find(std::string(id));
        if (!up || it == items_.end()) {
            return std::unexpected("the Secret Service holds no key for this identity (or the keyring is locked)");
        }
        return it->second;
    }
    std::expected<void, std::string> clear(std::string_view id) override
    {
        if (!up || fail_clear) {
            return std::unexpected("could not remove the key from the Secret Service: locked");
        }
        const std::lock_guard lock(mutex_);
        items_.erase(std::string(id));
        return {};
    }
    [[nodiscard]] bool holds(std::string_view id)
    {
        const std::lock_guard lock(mutex_);
        return items_.contains(std::string(id));
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const SecretKey>> items_;
};

std::array<std::uint8_t, 32> seed_of(std::uint8_t fill)
{
    std::array<std::uint8_t, 32> seed{};
    seed.fill(fill);
    return seed;
}

std::string hex(std::span<const std::uint8_t> bytes)
{
    std::string out(2 * bytes.size() + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), bytes.data(), bytes.size());
    out.pop_back();
    return out;
}

PublicKey public_of(std::uint8_t fill)
{
    return (*SecretKey::from_seed(seed_of(fill)))->public_key();
}

class IdentityDirTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GE(sodium_init(), 0); }

    // An identity folder as the component writes it; `custody` empty writes the old layout (signing.key).
    void identity(std::string_view id, std::string_view name, std::uint8_t key, std::string_view custody,
                  std::string_view recovery = R"({"threshold":1,"shares":1})")
    {
        const fs::path folder = dir() / std::string(id);
        std::string json = R"({"format":1,"id":")" + std::string(id) + R"(","display_name":")" + std::string(name) +
                           R"(","public_key":")" + hex(public_of(key)) + R"(","recovery":)" + std::string(recovery);
        if (!custody.empty()) {
            json += R"(,"custody":")" + std::string(custody) + "\"";
        }
        write(folder / "identity.json", json + "}\n");
        const auto seed = seed_of(key);
        const auto secret = *SecretKey::from_seed(seed);
        if (custody == "private-file") {
            write(folder / "private.key", std::string_view(reinterpret_cast<const char*>(seed.data()), seed.size()));
        } else if (custody == "secret-service") {
            ASSERT_TRUE(keys_->store(id, "x", *secret));
        } else if (custody.empty()) {
            const auto bytes = secret->bytes();
            write(folder / "signing.key", std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        }
    }

    [[nodiscard]] const fs::path& dir() const { return root_.path(); }

    [[nodiscard]] std::map<std::string, Protection> protections() const
    {
        std::map<std::string, Protection> out;
        const auto listed = unix::list_identities(dir());
        for (const auto& identity : listed.value()) {
            out[identity.id] = identity.protection;
        }
        return out;
    }

    TempDir root_;
    std::shared_ptr<MemoryKeys> keys_ = std::make_shared<MemoryKeys>();
    ScopedSecretService scoped_{keys_};
};

TEST_F(IdentityDirTest, ListsEveryIdentityWithItsProtection)
{
    identity("work", "Work", 1, "secret-service", R"({"threshold":2,"shares":3})");
    identity("home", "", 2, "private-file");
    identity("old", "Old laptop", 3, "");
    identity("sealed", "Sealed", 4, "hardware");
    identity("open", "\\u001b[1mOpen\\u001b[0m file", 5, "private-file");
    fs::permissions(dir() / "open/private.key", fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    identity("lost", "Lost key", 6, "private-file");
    fs::remove(dir() / "lost/private.key");
    write(dir() / "broken/identity.json", "{\"format\":1,");
    write(dir() / "renamed/identity.json", R"({"format":1,"id":"other","public_key":")" + hex(public_of(7)) + "\"}");
    write(dir() / "fleets/work.json", "{}");
    write(dir() / "Upper/identity.json", "{}");
    write(dir() / "active", "work\n");

    const auto listed = unix::list_identities(dir());
    ASSERT_TRUE(listed) << listed.error();
    std::vector<std::string> ids;
    for (const auto& identity : *listed) {
        ids.push_back(identity.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"home", "lost", "old", "open", "sealed", "work"}));
    const auto& work = listed->back();
    EXPECT_EQ(work, (IdentitySummary{.id = "work",
                                     .display_name = "Work",
                                     .public_key = public_of(1),
                                     .recovery_threshold = 2,
                                     .recovery_shares = 3,
                                     .active = true,
                                     .protection = Protection::SecretService}));
    EXPECT_EQ((*listed)[3].display_name, "Open file");  // escape sequences removed
    EXPECT_EQ(protections(), (std::map<std::string, Protection>{{"home", Protection::PrivateFile},
                                                                 {"lost", Protection::ProviderUnavailable},
                                                                 {"old", Protection::MigrationRequired},
                                                                 {"open", Protection::MigrationRequired},
                                                                 {"sealed", Protection::ProviderUnavailable},
                                                                 {"work", Protection::SecretService}}));
    keys_->up = false;
    EXPECT_EQ(protections().at("work"), Protection::ProviderUnavailable);

    EXPECT_EQ(unix::list_identities(dir() / "missing").value(), std::vector<IdentitySummary>{});
}

TEST_F(IdentityDirTest, ActivatingAndRemoving)
{
    identity("work", "Work", 1, "secret-service");
    identity("home", "Home", 2, "private-file");
    identity("old", "Old", 3, "");

    ASSERT_TRUE(unix::set_active_identity(dir(), "home"));
    EXPECT_EQ(read_file(dir() / "active"), "home\n");
    EXPECT_EQ(fs::status(dir() / "active").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(unix::resolve_active_identity(dir()), dir() / "home");
    EXPECT_EQ(unix::set_active_identity(dir(), "nope").error(), "there is no identity nope");
    EXPECT_EQ(unix::set_active_identity(dir(), "../home").error(), "there is no identity ../home");
    EXPECT_EQ(read_file(dir() / "active"), "home\n");

    EXPECT_EQ(unix::remove_identity(dir(), "home").error(),
              "the active identity cannot be removed; make another identity active first");
    EXPECT_TRUE(fs::exists(dir() / "home/private.key"));

    keys_->fail_clear = true;
    EXPECT_THAT(unix::remove_identity(dir(), "work").error(), HasSubstr("locked"));
    EXPECT_TRUE(fs::exists(dir() / "work/identity.json"));  // nothing removed when its key stays behind
    keys_->fail_clear = false;
    ASSERT_TRUE(unix::remove_identity(dir(), "work"));
    EXPECT_FALSE(keys_->holds("work"));
    EXPECT_FALSE(fs::exists(dir() / "work"));

    ASSERT_TRUE(unix::remove_identity(dir(), "old"));
    EXPECT_FALSE(fs::exists(dir() / "old"));
    EXPECT_EQ(protections().size(), 1U);

    write(dir() / "active", "gone\n");
    EXPECT_EQ(unix::resolve_active_identity(dir()), std::nullopt);
}

TEST_F(IdentityDirTest, ProtectNowMovesTheKeyIntoTheSecretServiceAndShredsTheOldFile)
{
    identity("old", "Old", 3, "");
    const auto old_key = dir() / "old/signing.key";
    ASSERT_TRUE(unix::secure_identity(dir(), "old"));
    EXPECT_FALSE(fs::exists(old_key));
    EXPECT_TRUE(keys_->holds("old"));
    EXPECT_EQ(protections().at("old"), Protection::SecretService);
    EXPECT_THAT(read_file(dir() / "old/identity.json"), HasSubstr(R"("custody": "secret-service")"));
    const auto loaded = unix::load_from_path(dir() / "old");
    ASSERT_TRUE(loaded) << loaded.error();
    EXPECT_EQ(loaded->public_key, public_of(3));
    EXPECT_TRUE(unix::secure_identity(dir(), "old"));  // already protected: nothing to do
}

TEST_F(IdentityDirTest, ProtectNowFallsBackToAnOwnerOnlyFile)
{
    keys_->up = false;
    identity("old", "Old", 3, "");
    identity("open", "Open", 5, "private-file");
    fs::permissions(dir() / "open/private.key", fs::perms::others_read, fs::perm_options::add);

    for (const char* id : {"old", "open"}) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(unix::secure_identity(dir(), id));
        EXPECT_EQ(fs::status(dir() / id / "private.key").permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_FALSE(fs::exists(dir() / id / "signing.key"));
        EXPECT_EQ(protections().at(id), Protection::PrivateFile);
    }
    EXPECT_EQ(unix::load_from_path(dir() / "old")->public_key, public_of(3));
}

TEST_F(IdentityDirTest, ProtectNowRefusesWhatItCannotProtect)
{
    identity("work", "Work", 1, "secret-service");
    keys_->up = false;
    EXPECT_EQ(unix::secure_identity(dir(), "work").error(), "the protection provider of this identity is unavailable");

    // A key file that does not belong to the identity's public key stays where it is.
    identity("swapped", "Swapped", 3, "");
    const auto other_key = *SecretKey::from_seed(seed_of(9));
    const auto other = other_key->bytes();
    write(dir() / "swapped/signing.key", std::string_view(reinterpret_cast<const char*>(other.data()), other.size()));
    EXPECT_EQ(unix::secure_identity(dir(), "swapped").error(), "the identity's private key does not match its public key");
    EXPECT_TRUE(fs::exists(dir() / "swapped/signing.key"));
    EXPECT_EQ(protections().at("swapped"), Protection::MigrationRequired);

    // A damaged old file (its public half does not follow from its seed).
    identity("damaged", "Damaged", 4, "");
    std::string bytes = read_file(dir() / "damaged/signing.key");
    bytes[40] = static_cast<char>(bytes[40] ^ 0x01);
    write(dir() / "damaged/signing.key", bytes);
    EXPECT_THAT(unix::secure_identity(dir(), "damaged").error(), HasSubstr("holds a damaged signing key"));
}

TEST_F(IdentityDirTest, TheActiveIdentitySignsAndItsSignatureVerifies)
{
    ASSERT_TRUE(::setenv("XDG_DATA_HOME", dir().c_str(), 1) == 0);
    const auto ids = dir() / "vorn/identities";
    const auto made = unix::create_identity(ids, {.display_name = " Ada ", .recovery_threshold = 2,
                                                  .recovery_shares = 3, .activate = true});
    ::unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(made) << made.error();
    EXPECT_TRUE(keys_->holds(*made));
    EXPECT_EQ(fs::status(ids).permissions(), fs::perms::owner_all);

    const auto path = unix::resolve_active_identity(ids);
    ASSERT_TRUE(path);
    const auto identity = unix::load_from_path(*path);
    ASSERT_TRUE(identity) << identity.error();
    EXPECT_EQ(identity->name, "Ada");
    EXPECT_EQ(identity->id, *made);
    std::array<std::uint8_t, 32> digest{};
    digest.fill(0x5a);
    const auto signature = identity->sign(digest);
    ASSERT_TRUE(signature);
    EXPECT_EQ(crypto_sign_verify_detached(signature->data(), digest.data(), digest.size(), identity->public_key.data()), 0);

    const auto listed = unix::list_identities(ids);
    ASSERT_EQ(listed->size(), 1U);
    EXPECT_EQ((*listed)[0].public_key, identity->public_key);
    EXPECT_EQ((*listed)[0].recovery_threshold, 2);
    EXPECT_TRUE((*listed)[0].active);

    // What the About page reads: name and public key, no private key.
    ASSERT_TRUE(::setenv("XDG_DATA_HOME", dir().c_str(), 1) == 0);
    const auto about = unix::load();
    ::unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(about) << about.error();
    EXPECT_EQ(about->public_key, identity->public_key);
    EXPECT_FALSE(about->can_sign());
    EXPECT_EQ(about->sign(digest).error(), "this identity was loaded without its private key");

    keys_->up = false;
    const auto fallback = unix::create_identity(ids, {.display_name = "Offline"});
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fs::status(ids / *fallback / "private.key").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(unix::load_from_path(ids / *fallback));
}

// ---- The real Secret Service ------------------------------------------------------------------------------------------

// gnome-keyring's Secret Service on a private session bus, with its keyring in a temporary home.
class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* program : {"gnome-keyring-daemon", "dbus-daemon"}) {
            if (!test_buses::have_program(program)) {
                GTEST_SKIP() << program << " is not installed";
            }
        }
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "DISPLAY"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        const auto run = home_.path() / "run";
        fs::create_directories(run);
        fs::permissions(run, fs::perms::owner_all);
        ::setenv("HOME", (home_.path() / "home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home_.path() / "home/.local/share").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home_.path() / "home/.config").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
        ::unsetenv("DISPLAY");
        auto buses = test_buses::PrivateBuses::start();
        ASSERT_TRUE(buses) << buses.error();
        buses_ = std::move(*buses);
        auto daemon = test_buses::Child::start(
            {"sh", "-c", "printf 'test\\n' | exec gnome-keyring-daemon --foreground --unlock --components=secrets"},
            home_.path() / "keyring.log");
        ASSERT_TRUE(daemon) << daemon.error();
        daemon_.emplace(std::move(*daemon));
    }

    void TearDown() override
    {
        account_registry::secret_service::disconnect();
        daemon_.reset();
        buses_.reset();
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

    TempDir home_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::unique_ptr<test_buses::PrivateBuses> buses_;
    std::optional<test_buses::Child> daemon_;
};

TEST_F(KeyringTest, KeepsFindsAndClearsAKey)
{
    KeyringKeys keys;
    // The daemon takes its name on the bus a moment after it starts.
    for (int i = 0; i < 100 && !keys.available(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(keys.available()) << read_file(home_.path() / "keyring.log");

    const auto key = *SecretKey::from_seed(seed_of(7));
    ASSERT_TRUE(keys.store("work", "Vorn identity Work", *key));
    const auto found = keys.lookup("work");
    ASSERT_TRUE(found) << found.error();
    EXPECT_EQ((*found)->public_key(), public_of(7));
    EXPECT_FALSE(keys.lookup("home"));
    ASSERT_TRUE(keys.clear("work"));
    EXPECT_FALSE(keys.lookup("work"));
    EXPECT_TRUE(keys.clear("work"));  // nothing left is no error

    daemon_.reset();
    EXPECT_FALSE(keys.available());
}

TEST(KeyringUnavailableTest, NoSessionBusMeansNoSecretService)
{
    const test_buses::NoSessionBus no_bus;
    KeyringKeys keys;
    EXPECT_FALSE(keys.available());
    const auto key = *SecretKey::from_seed(seed_of(7));
    EXPECT_THAT(keys.store("work", "Work", *key).error(), HasSubstr("could not keep the key in the Secret Service"));
}

}  // namespace
}  // namespace signing_ids
