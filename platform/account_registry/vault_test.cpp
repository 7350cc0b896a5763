// The credential vault: round trip, file modes, the key's life, and damaged files.

#include "account_registry/registry.hpp"
#include "account_registry/vault.hpp"

#include "test_buses/no_session_bus.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace account_registry {
namespace {

class Vault : public ::testing::Test {
protected:
    Vault()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-vault-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    ~Vault() override { std::filesystem::remove_all(root_); }

    [[nodiscard]] std::filesystem::path vault_file() const { return root_ / "vault" / "vault.enc"; }
    [[nodiscard]] std::filesystem::path key_file() const { return root_ / "vault" / "vault.key"; }

    static std::string read(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void write(const std::filesystem::path& path, std::string_view bytes)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    static unsigned mode_of(const std::filesystem::path& path)
    {
        struct stat st {};
        ::lstat(path.c_str(), &st);
        return st.st_mode & 07777;
    }

    // A saved vault with two secrets.
    void seed()
    {
        auto vault = SecretVault::open_in(root_);
        ASSERT_TRUE(vault) << vault.error();
        vault->put("mail-1", SecretString("correct horse battery staple"));
        vault->put("dav-1", SecretString(std::string_view("app\0password", 12)));
        ASSERT_TRUE(vault->save());
    }

    test_buses::NoSessionBus no_bus_;  // the local key file only: the Secret Service has its own tests
    std::filesystem::path root_;
};

TEST_F(Vault, RoundTripWithOwnerOnlyFilesAndNoPlainText)
{
    {
        auto empty = SecretVault::open_in(root_);
        ASSERT_TRUE(empty) << empty.error();
        EXPECT_EQ(empty->size(), 0u);
        EXPECT_FALSE(std::filesystem::exists(root_ / "vault"));  // opening writes nothing
    }
    seed();

    auto vault = SecretVault::open_in(root_);
    ASSERT_TRUE(vault) << vault.error();
    EXPECT_EQ(vault->ids(), (std::vector<std::string>{"dav-1", "mail-1"}));
    ASSERT_NE(vault->get("mail-1"), nullptr);
    EXPECT_EQ(vault->get("mail-1")->view(), "correct horse battery staple");
    EXPECT_EQ(vault->get("dav-1")->view(), std::string_view("app\0password", 12));
    EXPECT_EQ(vault->get("nobody"), nullptr);
    EXPECT_TRUE(vault->secret_service_unavailable());

    EXPECT_EQ(mode_of(vault_file()), 0600u);
    EXPECT_EQ(mode_of(key_file()), 0600u);
    EXPECT_EQ(mode_of(root_ / "vault"), 0700u);
    EXPECT_EQ(std::filesystem::file_size(key_file()), 32u);
    const std::string sealed = read(vault_file());
    EXPECT_TRUE(sealed.starts_with("VORNVLT1"));
    EXPECT_EQ(sealed.find("correct horse"), std::string::npos);
    EXPECT_EQ(sealed.find("mail-1"), std::string::npos);  // ids are sealed too

    // Every save seals with a new nonce; the key stays.
    const std::string key = read(key_file());
    ASSERT_TRUE(vault->save());
    EXPECT_NE(read(vault_file()), sealed);
    EXPECT_EQ(read(key_file()), key);

    // take() hands the secret back and removes it.
    auto taken = vault->take("mail-1");
    ASSERT_TRUE(taken);
    EXPECT_TRUE(taken->equals("correct horse battery staple"));
    EXPECT_FALSE(vault->take("mail-1"));
    vault->put("dav-1", SecretString("replaced"));
    ASSERT_TRUE(vault->save());
    auto reopened = SecretVault::open_in(root_);
    ASSERT_TRUE(reopened) << reopened.error();
    EXPECT_EQ(reopened->ids(), std::vector<std::string>{"dav-1"});
    EXPECT_EQ(reopened->get("dav-1")->view(), "replaced");
}

TEST_F(Vault, OlderCopiesOfTheFileStayReadable)
{
    // The account journal puts older bytes of vault.enc back; the key must still open them.
    seed();
    const std::string before = read(vault_file());
    {
        auto vault = SecretVault::open_in(root_);
        ASSERT_TRUE(vault);
        vault->remove("mail-1");
        ASSERT_TRUE(vault->save());
    }
    write(vault_file(), before);
    auto vault = SecretVault::open_in(root_);
    ASSERT_TRUE(vault) << vault.error();
    EXPECT_TRUE(vault->contains("mail-1"));
}

TEST_F(Vault, DamagedFilesGiveClearErrorsAndAreNeverTakenForEmpty)
{
    seed();
    const std::string good = read(vault_file());
    const std::string shown = vault_file().string();

    std::string flipped = good;
    flipped[flipped.size() - 3] = static_cast<char>(flipped[flipped.size() - 3] ^ 0x40);
    std::string other_version = good;
    other_version[8] = 2;
    std::string other_key = good;
    other_key[12] = static_cast<char>(other_key[12] ^ 1);

    const struct {
        std::string bytes;
        std::string error;
    } cases[] = {
        {flipped, "credential vault " + shown + " is damaged: its contents do not authenticate"},
        {good.substr(0, 30), "credential vault " + shown + " is damaged: it is not a vault file"},
        {"", "credential vault " + shown + " is damaged: it is not a vault file"},
        {"{\"secrets\":{}}" + std::string(80, ' '), "credential vault " + shown + " is damaged: it is not a vault file"},
        {other_version, "credential vault " + shown + " has format 2, which this version cannot read"},
        {other_key, "credential vault " + shown + " was sealed with another key than " + key_file().string()},
    };
    for (const auto& c : cases) {
        write(vault_file(), c.bytes);
        const auto vault = SecretVault::open_in(root_);
        ASSERT_FALSE(vault) << c.error;
        EXPECT_EQ(vault.error(), c.error);
        EXPECT_EQ(read(vault_file()), c.bytes);  // left as it is
    }

    // A vault file whose key is gone: no new key is made over it.
    write(vault_file(), good);
    std::filesystem::remove(key_file());
    const auto keyless = SecretVault::open_in(root_);
    ASSERT_FALSE(keyless);
    EXPECT_EQ(keyless.error(), "credential vault " + shown + " cannot be opened: its key file " +
                                   key_file().string() +
                                   " is missing and the desktop Secret Service cannot be asked (no session bus is "
                                   "configured)");
    EXPECT_FALSE(std::filesystem::exists(key_file()));

    write(key_file(), "short");
    const auto short_key = SecretVault::open_in(root_);
    ASSERT_FALSE(short_key);
    EXPECT_EQ(short_key.error(),
              "credential vault " + shown + " cannot be opened: its key file " + key_file().string() + " is damaged");
}

TEST_F(Vault, KeyFileIsNotFollowedThroughALinkAndIsKeptOwnerOnly)
{
    seed();
    const std::string key = read(key_file());
    const auto elsewhere = root_ / "elsewhere.key";
    write(elsewhere, key);
    std::filesystem::remove(key_file());
    std::filesystem::create_symlink(elsewhere, key_file());
    const auto linked = SecretVault::open_in(root_);
    ASSERT_FALSE(linked);
    EXPECT_NE(linked.error().find("its key file " + key_file().string() + " cannot be read"), std::string::npos)
        << linked.error();

    std::filesystem::remove(key_file());
    write(key_file(), key);
    std::filesystem::permissions(key_file(), std::filesystem::perms(0644));
    ASSERT_TRUE(SecretVault::open_in(root_));
    EXPECT_EQ(mode_of(key_file()), 0600u);
}

TEST_F(Vault, SaveFailureLeavesTheFileAsItWas)
{
    seed();
    const std::string before = read(vault_file());
    auto vault = SecretVault::open_in(root_);
    ASSERT_TRUE(vault);
    vault->remove("mail-1");
    files::set_hook_for_testing([](std::string_view, const std::filesystem::path&) -> std::expected<void, std::string> {
        return std::unexpected(std::string("no space left on device"));
    });
    const auto saved = vault->save();
    files::set_hook_for_testing(nullptr);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "could not save the credential vault: no space left on device");
    EXPECT_EQ(read(vault_file()), before);
}

TEST(SecretBytes, MovedFromAndWipedValuesAreEmpty)
{
    SecretString a("hunter2");
    SecretString b = std::move(a);
    EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): the moved-from state is part of the contract
    EXPECT_EQ(b.view(), "hunter2");
    SecretString c = b.clone();
    b.wipe();
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(c.view(), "hunter2");
    EXPECT_FALSE(c.equals("hunter3"));
    EXPECT_FALSE(c.equals("hunter"));
}

}  // namespace
}  // namespace account_registry
