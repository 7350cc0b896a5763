// The registry's stored records (golden texts and strict reading) and its store files.

#include "account_registry/records.hpp"
#include "account_registry/registry.hpp"
#include "account_registry/strict_json.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace account_registry {
namespace {

class TempRoot {
public:
    TempRoot()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-registry-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    ~TempRoot() { std::filesystem::remove_all(dir_); }
    [[nodiscard]] const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path dir_;
};

std::string read(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const std::filesystem::path& path, std::string_view text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

unsigned mode_of(const std::filesystem::path& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

AccountStore sample_store()
{
    AccountStore store;
    Account mail("acc-1", "email");
    mail.display_name = "Work";
    mail.config = Json::parse(R"({"email":"a@example.org","imap_port":993,"z":1,"a":[1.5,null]})");
    mail.tint = 3;
    Account dav("acc-2", "webdav");
    dav.enabled = false;
    dav.owner = "sam";
    store.accounts = {mail, dav};
    store.active = {{"webdav", "acc-2"}, {"email", "acc-1"}};
    return store;
}

TEST(RegistryRecords, GoldenTexts)
{
    EXPECT_EQ(encode_store(sample_store()),
              R"({"accounts":[{"id":"acc-1","type_id":"email","display_name":"Work",)"
              R"("config":{"email":"a@example.org","imap_port":993,"z":1,"a":[1.5,null]},"enabled":true,"tint":3},)"
              R"({"id":"acc-2","type_id":"webdav","display_name":"","config":null,"enabled":false,"tint":0,)"
              R"("owner":"sam"}],"active":{"email":"acc-1","webdav":"acc-2"}})");
    EXPECT_EQ(encode_store({}), R"({"accounts":[],"active":{}})");

    AccountSyncStatusStore statuses;
    statuses.statuses["acc-2"] = AccountSyncStatus{.health = AccountSyncHealth::NeedsAuthentication,
                                                   .last_attempt_unix = -5,
                                                   .last_success_unix = std::nullopt,
                                                   .message = "sign in again"};
    statuses.statuses["acc-1"] = AccountSyncStatus{};
    EXPECT_EQ(encode_statuses(statuses),
              R"({"statuses":{"acc-1":{"health":"never","last_attempt_unix":null,"last_success_unix":null,)"
              R"("message":null},"acc-2":{"health":"needs_authentication","last_attempt_unix":-5,)"
              R"("last_success_unix":null,"message":"sign in again"}}})");

    // What is written reads back as it was, config member order included.
    const auto again = decode_store(encode_store(sample_store()));
    ASSERT_TRUE(again) << again.error();
    EXPECT_EQ(*again, sample_store());
    EXPECT_EQ(encode_store(*again), encode_store(sample_store()));
}

TEST(RegistryRecords, DefaultsOfAbsentMembers)
{
    const auto store = decode_store(R"({"accounts":[{"id":"x","type_id":"caldav"}]})");
    ASSERT_TRUE(store) << store.error();
    ASSERT_EQ(store->accounts.size(), 1u);
    EXPECT_EQ(store->accounts[0], Account("x", "caldav"));
    EXPECT_TRUE(store->active.empty());
    EXPECT_EQ(encode_store(*store),
              R"({"accounts":[{"id":"x","type_id":"caldav","display_name":"","config":null,"enabled":true,)"
              R"("tint":0}],"active":{}})");

    const auto statuses = decode_statuses(R"({"statuses":{"x":{"health":"healthy"}}})");
    ASSERT_TRUE(statuses) << statuses.error();
    EXPECT_EQ(statuses->statuses.at("x"), AccountSyncStatus{.health = AccountSyncHealth::Healthy});
    EXPECT_EQ(encode_statuses(*statuses), R"({"statuses":{"x":{"health":"healthy","last_attempt_unix":null,)"
                                          R"("last_success_unix":null,"message":null}}})");

    // The positional form, and a health written as a one-member object.
    const auto positional = decode_store(R"([[["y","webdav","Files",{"k":true},false,7,"me"]],{"webdav":"y"}])");
    ASSERT_TRUE(positional) << positional.error();
    EXPECT_EQ(positional->accounts.at(0).owner, "me");
    EXPECT_EQ(positional->accounts.at(0).tint, 7);
    EXPECT_EQ(decode_statuses(R"({"statuses":{"x":{"health":{"offline":null}}}})")->statuses.at("x").health,
              AccountSyncHealth::Offline);
}

TEST(RegistryRecords, RefusedTexts)
{
    const struct {
        const char* text;
        const char* error;
    } store_cases[] = {
        {R"({"accounts":[{"type_id":"email"}]})", "missing field `id`"},
        {R"({"accounts":[{"id":"a","id":"b","type_id":"email"}]})", "duplicate field `id`"},
        // The same in an object that is followed by further members (and the list grows around it).
        {R"({"accounts":[{"id":"z","type_id":"email"},{"id":"a","type_id":"email","type_id":"x"}],"x":1,"y":2,)"
         R"("active":{}})",
         "duplicate field `type_id`"},
        {R"({"accounts":[{"id":"a","type_id":"email","tint":300}]})", "invalid value: integer `300`, expected u8"},
        {R"({"accounts":[{"id":"a","type_id":"email","tint":1.0}]})",
         "invalid type: floating point `1.0`, expected u8"},
        {R"({"accounts":[["a"]]})", "invalid length 1, expected struct Account with 7 elements"},
        {R"({"accounts":[{"id":"a","type_id":"email","enabled":"yes"}]})",
         "invalid type: string \"yes\", expected a boolean"},
    };
    for (const auto& c : store_cases) {
        const auto decoded = decode_store(c.text);
        ASSERT_FALSE(decoded) << c.text;
        EXPECT_EQ(decoded.error(), c.error) << c.text;
    }
    const auto health = decode_statuses(R"({"statuses":{"x":{"health":"broken"}}})");
    ASSERT_FALSE(health);
    EXPECT_EQ(health.error(), "unknown variant `broken`, expected one of `never`, `syncing`, `healthy`, `offline`, "
                              "`needs_authentication`, `error`");
    EXPECT_EQ(decode_statuses(R"({"statuses":{"x":{}}})").error(), "missing field `health`");
    EXPECT_FALSE(decode_store(R"({"accounts":[]} x)"));  // trailing text
    EXPECT_FALSE(decode_store(""));

    // A repeated name outside the record's fields is no error; in a map the last value counts.
    const auto lenient = decode_store(R"({"accounts":[],"extra":1,"extra":2,"active":{"email":"a","email":"b"}})");
    ASSERT_TRUE(lenient) << lenient.error();
    EXPECT_EQ(lenient->active.at("email"), "b");
}

TEST(RegistryRecords, StoreOperations)
{
    AccountStore store = sample_store();
    Account replaced("acc-1", "email");
    replaced.display_name = "Home";
    store.upsert(replaced);
    store.upsert(Account("acc-3", "email"));
    ASSERT_EQ(store.accounts.size(), 3u);
    EXPECT_EQ(store.accounts[0].display_name, "Home");  // replaced in place
    EXPECT_EQ(store.list("email").size(), 2u);
    EXPECT_EQ(store.list("email")[1]->id, "acc-3");
    EXPECT_EQ(store.active_id("email"), "acc-1");

    EXPECT_TRUE(store.remove("acc-1"));
    EXPECT_FALSE(store.remove("acc-1"));
    EXPECT_EQ(store.get("acc-1"), nullptr);
    EXPECT_EQ(store.active_id("email"), std::nullopt);  // no active entry names a removed account
    EXPECT_EQ(store.active_id("webdav"), "acc-2");
}

TEST(RegistryFiles, StoreAndStatusFiles)
{
    TempRoot root;
    EXPECT_EQ(load_store_in(root.path()), AccountStore{});  // no file yet
    EXPECT_EQ(load_statuses_in(root.path()), AccountSyncStatusStore{});

    ASSERT_TRUE(save_store_in(root.path(), sample_store()));
    AccountSyncStatusStore statuses;
    statuses.statuses["acc-1"].health = AccountSyncHealth::Syncing;
    ASSERT_TRUE(save_statuses_in(root.path(), statuses));

    EXPECT_EQ(store_file_in(root.path()), root.path() / "accounts" / "accounts.json");
    EXPECT_EQ(read(store_file_in(root.path())), encode_store(sample_store()));
    EXPECT_EQ(load_store_in(root.path()), sample_store());
    EXPECT_EQ(load_statuses_in(root.path()), statuses);
    EXPECT_EQ(mode_of(store_file_in(root.path())), 0600u);
    EXPECT_EQ(mode_of(status_file_in(root.path())), 0600u);
    EXPECT_EQ(mode_of(accounts_dir_in(root.path())), 0700u);
}

TEST(RegistryFiles, DamagedStoreIsAnErrorNotAnEmptyStore)
{
    TempRoot root;
    write(store_file_in(root.path()), R"({"accounts":[{"id":"a"}]})");
    const auto store = load_store_in(root.path());
    ASSERT_FALSE(store);
    EXPECT_EQ(store.error(),
              "account store " + store_file_in(root.path()).string() + " is invalid: missing field `type_id`");

    std::filesystem::remove(store_file_in(root.path()));
    std::filesystem::create_directories(store_file_in(root.path()));  // unreadable: a directory
    const auto unreadable = load_store_in(root.path());
    ASSERT_FALSE(unreadable);
    EXPECT_TRUE(unreadable.error().starts_with("could not read account store " + store_file_in(root.path()).string()))
        << unreadable.error();

    write(status_file_in(root.path()), "{");
    EXPECT_FALSE(load_statuses_in(root.path()));
}

TEST(RegistryFiles, DefaultRootFollowsTheConfigurationDirectory)
{
    TempRoot home;
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    EXPECT_EQ(config_root(), home.path() / "vorn");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    const char* saved_home = std::getenv("HOME");
    const std::string previous_home = saved_home != nullptr ? saved_home : "";
    ::unsetenv("HOME");
    EXPECT_EQ(config_root(), std::nullopt);
    if (saved_home != nullptr) {
        ::setenv("HOME", previous_home.c_str(), 1);
    }
    if (saved != nullptr) {
        ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(RegistryFiles, HookFailsAWriteBeforeAnythingIsTouched)
{
    TempRoot root;
    ASSERT_TRUE(save_store_in(root.path(), sample_store()));
    files::set_hook_for_testing([](std::string_view action, const std::filesystem::path& path)
                                    -> std::expected<void, std::string> {
        if (action == "write" && path.filename() == "accounts.json") {
            return std::unexpected(std::string("disk full"));
        }
        return {};
    });
    const auto saved = save_store_in(root.path(), AccountStore{});
    files::set_hook_for_testing(nullptr);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), "disk full");
    EXPECT_EQ(load_store_in(root.path()), sample_store());
}

}  // namespace
}  // namespace account_registry
