// Account records: their stored texts, defaults and refusals, the kind table and strip_url_scheme.

#include "accounts/records.hpp"

#include <gtest/gtest.h>

namespace settings::accounts {
namespace {

const AccountConfig mail_config{.display_name = "Ada",
                                .email = "ada@example.org",
                                .imap_host = "imap.example.org",
                                .imap_port = 993,
                                .imap_tls = true,
                                .smtp_host = "smtp.example.org",
                                .smtp_port = 587,
                                .smtp_tls = false,
                                .username = "ada"};

TEST(AccountRecords, GoldenTexts)
{
    EXPECT_EQ(encode_record(mail_config),
              R"({"display_name":"Ada","email":"ada@example.org","imap_host":"imap.example.org","imap_port":993,)"
              R"("imap_tls":true,"smtp_host":"smtp.example.org","smtp_port":587,"smtp_tls":false,"username":"ada"})");
    const DavAccount dav{.id = "d1", .label = "Files", .base_url = "https://h/dav", .username = "u", .tint = 2};
    EXPECT_EQ(encode_record(dav),
              R"({"id":"d1","label":"Files","base_url":"https://h/dav","username":"u","enabled":true,"tint":2})");
    const NextcloudAccount cloud{.id = "n1",
                                 .label = "Cloud",
                                 .server_url = "https://cloud.example.org",
                                 .username = "u",
                                 .use_calendar = false};
    EXPECT_EQ(encode_record(cloud), R"({"id":"n1","label":"Cloud","server_url":"https://cloud.example.org",)"
                                    R"("username":"u","use_files":true,"use_calendar":false,"use_mail":true,)"
                                    R"("enabled":true,"tint":0})");
    EXPECT_EQ(encode_record(DavStore{.version = 1, .accounts = {dav}}),
              R"({"version":1,"accounts":[{"id":"d1","label":"Files","base_url":"https://h/dav","username":"u",)"
              R"("enabled":true,"tint":2}]})");
    EXPECT_EQ(encode_record(NextcloudStore{}), R"({"version":0,"accounts":[]})");

    AccountMutationJournal journal;
    journal.previous_store.accounts.emplace_back("d1", "webdav");
    journal.previous_statuses.statuses["d1"].health = AccountSyncHealth::Error;
    EXPECT_EQ(encode_record(journal),
              R"({"previous_store":{"accounts":[{"id":"d1","type_id":"webdav","display_name":"","config":null,)"
              R"("enabled":true,"tint":0}],"active":{}},"previous_statuses":{"statuses":{"d1":{"health":"error",)"
              R"("last_attempt_unix":null,"last_success_unix":null,"message":null}}},)"
              R"("previous_vault_ciphertext":null})");
    journal.previous_vault_ciphertext = std::vector<std::uint8_t>{0, 86, 255};
    EXPECT_TRUE(encode_record(journal).ends_with(R"("previous_vault_ciphertext":[0,86,255]})"));

    // Everything written reads back as it was.
    EXPECT_EQ(decode_record<AccountConfig>(encode_record(mail_config)), mail_config);
    EXPECT_EQ(decode_record<DavAccount>(encode_record(dav)), dav);
    EXPECT_EQ(decode_record<NextcloudAccount>(encode_record(cloud)), cloud);
    EXPECT_EQ(decode_record<AccountMutationJournal>(encode_record(journal)), journal);
}

TEST(AccountRecords, DefaultsOfAbsentMembers)
{
    const auto dav = decode_record<DavAccount>(R"({"id":"a","label":"L","base_url":"b","username":"u","x":[1]})");
    ASSERT_TRUE(dav) << dav.error();
    EXPECT_TRUE(dav->enabled);
    EXPECT_EQ(dav->tint, 0);

    const auto cloud = decode_record<NextcloudAccount>(R"(["a","L","s","u"])");  // positional, trailing defaults
    ASSERT_TRUE(cloud) << cloud.error();
    EXPECT_TRUE(cloud->use_files && cloud->use_calendar && cloud->use_mail && cloud->enabled);

    const auto legacy = decode_record<DavStore>(R"({"accounts":[]})");
    ASSERT_TRUE(legacy) << legacy.error();
    EXPECT_EQ(legacy->version, 1u);

    const auto journal = decode_record<AccountMutationJournal>(R"({"previous_store":{},"previous_statuses":{}})");
    ASSERT_TRUE(journal) << journal.error();
    EXPECT_EQ(journal->previous_vault_ciphertext, std::nullopt);
    EXPECT_TRUE(journal->previous_store.accounts.empty());
}

template <class R>
std::optional<std::string> error_of(std::string_view text)
{
    const auto decoded = decode_record<R>(text);
    return decoded ? std::nullopt : std::optional<std::string>(decoded.error());
}

TEST(AccountRecords, RefusedTexts)
{
    const std::string full_mail = encode_record(mail_config);
    std::string big_port = full_mail;
    big_port.replace(big_port.find("993"), 3, "70000");
    const struct {
        std::string_view record;
        std::string text;
        std::string error;
    } cases[] = {
        {"AccountConfig", big_port, "invalid value: integer `70000`, expected u16"},
        {"AccountConfig", R"({"display_name":"x"})", "missing field `email`"},
        {"AccountConfig", R"(["x","e"])", "invalid length 2, expected struct AccountConfig with 9 elements"},
        {"DavAccount", R"({"id":"a","label":"L","base_url":"b","username":"u","tint":300})",
         "invalid value: integer `300`, expected u8"},
        {"DavAccount", R"({"id":"a","label":"L","label":"M","base_url":"b","username":"u"})",
         "duplicate field `label`"},
        {"DavStore", R"({"version":1})", "missing field `accounts`"},
        {"DavStore", R"([1])", "invalid length 1, expected struct DavStore with 2 elements"},
        {"DavStore", R"({"version":-1,"accounts":[]})", "invalid value: integer `-1`, expected u32"},
        {"NextcloudAccount", R"({"id":"a","label":"L","server_url":"s","username":"u","use_mail":1})",
         "invalid type: integer `1`, expected a boolean"},
        {"Journal", "{}", "missing field `previous_store`"},
        {"Journal", R"({"previous_store":{},"previous_statuses":{},"previous_vault_ciphertext":[1,256]})",
         "invalid value: integer `256`, expected u8"},
        {"Journal", R"({"previous_store":{},"previous_statuses":{},"previous_vault_ciphertext":"AAE="})",
         "invalid type: string \"AAE=\", expected a sequence"},
        {"Journal", R"({"previous_store":{},"previous_store":{},"previous_statuses":{}})",
         "duplicate field `previous_store`"},
        {"Journal", R"({"previous_store":{"accounts":[{"id":"a","type_id":"t","id":"b"}]},"previous_statuses":{}})",
         "duplicate field `id`"},
    };
    for (const auto& c : cases) {
        std::optional<std::string> error;
        if (c.record == "AccountConfig") {
            error = error_of<AccountConfig>(c.text);
        } else if (c.record == "DavAccount") {
            error = error_of<DavAccount>(c.text);
        } else if (c.record == "DavStore") {
            error = error_of<DavStore>(c.text);
        } else if (c.record == "NextcloudAccount") {
            error = error_of<NextcloudAccount>(c.text);
        } else {
            error = error_of<AccountMutationJournal>(c.text);
        }
        ASSERT_TRUE(error) << c.record << " " << c.text;
        EXPECT_EQ(*error, c.error) << c.record << " " << c.text;
    }
    // Text after the value is refused.
    EXPECT_FALSE(decode_record<AccountMutationJournal>(R"({"previous_store":{},"previous_statuses":{}}{})"));
    EXPECT_FALSE(decode_record<AccountMutationJournal>(R"({"previous_store":{},"previous_statuses":{}} x)"));
}

TEST(AccountRecords, ConfigValues)
{
    Account account("d1", "webdav");
    account.config = Json::parse(R"({"old":true})");
    const DavAccount dav{.id = "d1", .label = "Files", .base_url = "https://h", .username = "u"};
    store_serialized_value(account, dav);
    EXPECT_EQ(json_text::compact(account.config),
              R"({"id":"d1","label":"Files","base_url":"https://h","username":"u","enabled":true,"tint":0})");
    EXPECT_EQ(decode_config_value<DavAccount>(account.config), dav);
    EXPECT_EQ(decode_config_value<NextcloudAccount>(account.config), std::nullopt);  // no server_url
    EXPECT_EQ(decode_config_value<AccountConfig>(Json(nullptr)), std::nullopt);
}

TEST(AccountKinds, TextsAndLookups)
{
    const struct {
        AccountKind kind;
        std::string_view slug;
        std::string_view label;
        std::string_view type_id;
    } table[] = {
        {AccountKind::Mail, "mail", "Email", "email"},
        {AccountKind::CalDav, "caldav", "Calendar (CalDAV)", "caldav"},
        {AccountKind::WebDav, "webdav", "Files (WebDAV)", "webdav"},
        {AccountKind::Nextcloud, "nextcloud", "Nextcloud", "nextcloud"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(slug(row.kind), row.slug);
        EXPECT_EQ(label(row.kind), row.label);
        EXPECT_EQ(account_type_id(row.kind), row.type_id);
        EXPECT_EQ(kind_from_slug(row.slug), row.kind);
        EXPECT_EQ(kind_from_type_id(row.type_id), row.kind);
    }
    EXPECT_EQ(kind_from_slug("email"), std::nullopt);
    EXPECT_EQ(kind_from_type_id("mail"), std::nullopt);
    EXPECT_EQ(static_cast<int>(AccountKind::Nextcloud), 3);  // the kind codes of the account operations
}

TEST(StripUrlScheme, Cases)
{
    const struct {
        std::string_view address;
        std::string_view host;
    } cases[] = {
        {"https://cloud.example.org/remote.php/dav", "cloud.example.org"},
        {"http://dav.example.org:8080/files", "dav.example.org:8080"},
        {"dav.example.org/files/", "dav.example.org"},
        {"dav.example.org", "dav.example.org"},
        {"https://https://h/x", "h"},
        {"http://https://h", "https:"},  // each prefix is removed before the next is looked at
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(strip_url_scheme(c.address), c.host) << c.address;
    }
}

}  // namespace
}  // namespace settings::accounts
