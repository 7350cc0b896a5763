// What a connection check reads from the account and refuses before it reaches the network, sentence by sentence.
// Checks that get past their preparation end at a resolver that records the host and port it was asked for (IMAP),
// or at a closed port on loopback (DAV).

#include "account_probe/imap_text.hpp"
#include "account_probe/probe_test_support.hpp"

#include <gtest/gtest.h>

#include <mutex>

namespace settings::account_probe {
namespace {

using testing::Json;
using testing::account_with;
using testing::mail_config;

struct Asked {
    std::string host;
    std::uint16_t port = 0;
};

// A probe whose resolver answers nothing and remembers what it was asked.
struct RecordingProbe {
    RecordingProbe()
    {
        NetworkProbeOptions options;
        options.resolve = [asked = asked](const std::string& host, std::uint16_t port)
            -> std::expected<std::vector<std::string>, std::string> {
            const std::lock_guard lock(asked->mutex);
            asked->value = Asked{host, port};
            return std::unexpected(std::string("no such host"));
        };
        probe = std::make_unique<NetworkAccountProbe>(std::move(options));
    }
    struct Shared {
        std::mutex mutex;
        std::optional<Asked> value;
    };
    std::shared_ptr<Shared> asked = std::make_shared<Shared>();
    std::unique_ptr<NetworkAccountProbe> probe;
};

constexpr std::string_view unresolved = "server name could not be resolved";

struct MailCase {
    std::string name;
    Json config;
    std::string secret;
    std::string result;                    // the failure sentence
    std::optional<std::string> host = {};  // what the resolver was asked, when the check got that far
    std::uint16_t port = 993;
};

void PrintTo(const MailCase& c, std::ostream* out) { *out << c.name; }

Json with(Json config, std::string_view key, Json value)
{
    if (value.is_discarded()) {
        config.erase(std::string(key));
    } else {
        config[std::string(key)] = std::move(value);
    }
    return config;
}

const Json base = mail_config("mail.example.org", 993, "ada");
const Json removed = Json::value_t::discarded;

class MailPreparation : public ::testing::TestWithParam<MailCase> {};

TEST_P(MailPreparation, EndsWithItsSentence)
{
    const auto& c = GetParam();
    RecordingProbe recording;
    const auto result = recording.probe->probe(account_with("email", c.config), c.secret);
    EXPECT_EQ(result, std::unexpected(c.result));
    const auto asked = recording.asked->value;
    if (c.host) {
        ASSERT_TRUE(asked.has_value());
        EXPECT_EQ(asked->host, *c.host);
        EXPECT_EQ(asked->port, c.port);
    } else {
        EXPECT_FALSE(asked.has_value()) << "reached the network";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MailPreparation,
    ::testing::Values(
        MailCase{"ready", base, "pw", std::string(unresolved), "mail.example.org"},
        MailCase{"null_config", Json(), "pw", "account has no IMAP server"},
        MailCase{"host_absent", with(base, "imap_host", removed), "pw", "account has no IMAP server"},
        MailCase{"host_blank", with(base, "imap_host", " \t\u3000"), "pw", "account has no IMAP server"},
        MailCase{"host_not_text", with(base, "imap_host", 42), "pw", "account has no IMAP server"},
        // A host copied in with spaces around it is used without them.
        MailCase{"host_trimmed", with(base, "imap_host", " mail.example.org\u00a0"), "pw", std::string(unresolved),
                 "mail.example.org"},
        MailCase{"host_not_a_name", with(base, "imap_host", "mail example.org"), "pw", "invalid IMAP server name"},
        MailCase{"host_bracketed_ip", with(base, "imap_host", "[::1]"), "pw", "invalid IMAP server name"},
        MailCase{"host_ipv6", with(base, "imap_host", "::1"), "pw", std::string(unresolved), "::1"},
        MailCase{"port_too_large", with(base, "imap_port", 70000), "pw", std::string(unresolved), "mail.example.org"},
        MailCase{"port_negative", with(base, "imap_port", -1), "pw", std::string(unresolved), "mail.example.org"},
        MailCase{"port_text", with(base, "imap_port", "143"), "pw", std::string(unresolved), "mail.example.org"},
        MailCase{"port_absent", with(base, "imap_port", removed), "pw", std::string(unresolved), "mail.example.org"},
        MailCase{"port_zero", with(base, "imap_port", 0), "pw", std::string(unresolved), "mail.example.org", 0},
        MailCase{"port_143", with(base, "imap_port", 143), "pw", std::string(unresolved), "mail.example.org", 143},
        // Plain IMAP is never used: the check speaks TLS from the first byte all the same.
        MailCase{"tls_off", with(base, "imap_tls", false), "pw", std::string(unresolved), "mail.example.org"},
        MailCase{"no_login_name", with(with(base, "username", removed), "email", removed), "pw",
                 "account has no IMAP login name"},
        MailCase{"login_not_text", with(with(base, "username", 7), "email", removed), "pw",
                 "account has no IMAP login name"},
        MailCase{"blank_username_email_not_text", with(with(base, "username", "   "), "email", 7), "pw",
                 "account has no IMAP login name"},
        MailCase{"empty_email_is_a_login", with(with(base, "username", "   "), "email", ""), "pw",
                 std::string(unresolved), "mail.example.org"},
        MailCase{"login_before_secret", with(with(base, "username", removed), "email", removed), "",
                 "account has no IMAP login name"},
        MailCase{"no_secret", base, "", "account has no saved password"},
        MailCase{"secret_of_spaces_is_sent_empty", base, "   ", std::string(unresolved), "mail.example.org"},
        MailCase{"secret_line_feed", base, "pass\nword", "login contains unsupported control characters"},
        MailCase{"secret_tab_inside", base, "pass\tword", "login contains unsupported control characters"},
        MailCase{"secret_c1_control", base, "pass\u0085word", "login contains unsupported control characters"},
        MailCase{"secret_surrounding_space", base, " \tpassword\n ", std::string(unresolved), "mail.example.org"},
        MailCase{"login_delete", with(base, "username", "ad\x7f" "a"), "pw",
                 "login contains unsupported control characters"},
        MailCase{"login_trimmed_first", with(base, "username", "\u2003ada\n"), "pw", std::string(unresolved),
                 "mail.example.org"},
        // The checks run in order: the login name's control characters are found before the server name's.
        MailCase{"control_before_server_name", with(with(base, "username", "a\x01"), "imap_host", "a b"), "pw",
                 "login contains unsupported control characters"}),
    [](const auto& info) { return info.param.name; });

TEST(AccountTypes, OnlyMailAndDavAccountsAreChecked)
{
    RecordingProbe recording;
    EXPECT_EQ(recording.probe->probe(account_with("exchange", base), "pw"),
              std::unexpected(std::string("unsupported account type")));
    EXPECT_EQ(recording.probe->probe(account_with("mail", base), "pw"),
              std::unexpected(std::string("unsupported account type")));
    EXPECT_FALSE(recording.asked->value.has_value());
}

TEST(TrustRoots, AnUnreadableExtraCaEndsTheCheckBeforeTheNetwork)
{
    NetworkProbeOptions options;
    options.trust.extra_ca_file = "/nonexistent/ca.crt";
    const NetworkAccountProbe probe(options);
    EXPECT_EQ(probe.probe(account_with("email", base), "pw"),
              std::unexpected(std::string("could not load the trusted certificates")));
    EXPECT_EQ(probe.probe(account_with("webdav", Json{{"base_url", "https://127.0.0.1:9/"}, {"username", "a"}}), "pw"),
              std::unexpected(std::string("could not initialize the secure HTTP client")));
}

// ---- DAV accounts ---------------------------------------------------------------------------------------------------

struct DavCase {
    std::string name;
    std::string type_id;
    Json config;
    std::string result;  // the whole failure sentence, or its start when it ends in "..."
};

void PrintTo(const DavCase& c, std::ostream* out) { *out << c.name; }

// An address nothing listens on: a check that gets past its preparation fails to connect there at once.
std::string closed_address(std::string_view path = "/dav/")
{
    static const std::uint16_t port = test_servers::free_port();
    return "https://127.0.0.1:" + std::to_string(port) + std::string(path);
}

Json dav(std::string_view member, Json address, Json username = "alice")
{
    Json config{{std::string(member), std::move(address)}};
    if (!username.is_discarded()) {
        config["username"] = std::move(username);
    }
    return config;
}

constexpr std::string_view connection_failed = "connection failed: ...";

class DavPreparation : public ::testing::TestWithParam<DavCase> {};

TEST_P(DavPreparation, EndsWithItsSentence)
{
    const auto& c = GetParam();
    const NetworkAccountProbe probe;
    const auto result = probe.probe(account_with(c.type_id, c.config), "pw");
    ASSERT_FALSE(result.has_value());
    if (c.result.ends_with("...")) {
        EXPECT_TRUE(result.error().starts_with(c.result.substr(0, c.result.size() - 3))) << result.error();
    } else {
        EXPECT_EQ(result.error(), c.result);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DavPreparation,
    ::testing::Values(
        DavCase{"webdav_ready", "webdav", dav("base_url", closed_address()), std::string(connection_failed)},
        DavCase{"caldav_ready", "caldav", dav("server_url", closed_address()), std::string(connection_failed)},
        DavCase{"nextcloud_ready", "nextcloud", dav("server_url", closed_address()), std::string(connection_failed)},
        DavCase{"webdav_reads_base_url", "webdav", dav("server_url", closed_address()), "account has no server URL"},
        DavCase{"caldav_reads_server_url", "caldav", dav("base_url", closed_address()), "account has no server URL"},
        DavCase{"address_not_text", "nextcloud", dav("server_url", 42), "account has no server URL"},
        DavCase{"null_config", "caldav", Json(), "account has no server URL"},
        DavCase{"not_an_address", "webdav", dav("base_url", "dav server"), "account has an invalid server URL"},
        DavCase{"empty_address", "webdav", dav("base_url", ""), "account has an invalid server URL"},
        DavCase{"no_host", "webdav", dav("base_url", "https://"), "account has an invalid server URL"},
        DavCase{"plain_http", "webdav", dav("base_url", "http://127.0.0.1/dav/"),
                "refusing to send a credential without HTTPS"},
        DavCase{"other_scheme", "caldav", dav("server_url", "webcal://127.0.0.1/dav/"),
                "refusing to send a credential without HTTPS"},
        DavCase{"scheme_in_capitals", "webdav", dav("base_url", "HTTPS" + closed_address().substr(5)),
                std::string(connection_failed)},
        DavCase{"spaces_around", "webdav", dav("base_url", "  " + closed_address() + "\t"),
                std::string(connection_failed)},
        DavCase{"user_in_address", "webdav", dav("base_url", "https://alice@127.0.0.1/dav/"),
                "server URL must not contain credentials"},
        DavCase{"password_in_address", "nextcloud", dav("server_url", "https://:hunter2@127.0.0.1/dav/"),
                "server URL must not contain credentials"},
        // The address is checked before the user name.
        DavCase{"scheme_before_username", "webdav", dav("base_url", "http://127.0.0.1/", removed),
                "refusing to send a credential without HTTPS"},
        DavCase{"no_username", "webdav", dav("base_url", closed_address(), removed), "account has no username"},
        DavCase{"username_not_text", "caldav", dav("server_url", closed_address(), 5), "account has no username"},
        DavCase{"empty_username", "caldav", dav("server_url", closed_address(), ""), std::string(connection_failed)}),
    [](const auto& info) { return info.param.name; });

// ---- The LOGIN command ----------------------------------------------------------------------------------------------

TEST(LoginCommand, QuotesBothArgumentsAndRefusesLineBreaks)
{
    const auto command = [](std::string_view login, std::string_view secret) {
        auto built = imap::login_command("a1", login, secret);
        return built ? std::optional<std::string>(built->view()) : std::nullopt;
    };
    EXPECT_EQ(command("ada", "pw"), R"(a1 LOGIN "ada" "pw")" "\r\n");
    EXPECT_EQ(command(R"(a "b")", R"(c:\d e)"), R"(a1 LOGIN "a \"b\"" "c:\\d e")" "\r\n");
    EXPECT_EQ(command("", ""), R"(a1 LOGIN "" "")" "\r\n");
    EXPECT_EQ(command("zoë", "pässwörd"), "a1 LOGIN \"zoë\" \"pässwörd\"\r\n");
    EXPECT_EQ(command("ada", "p\rw"), std::nullopt);
    EXPECT_EQ(command("a\nda", "pw"), std::nullopt);
    EXPECT_EQ(command("ada", std::string_view("p\0w", 3)), std::nullopt);
}

TEST(ServerLines, GreetingsAndRepliesAreReadByTheirStatus)
{
    EXPECT_TRUE(imap::is_ok_greeting("* OK [CAPABILITY IMAP4rev1] Dovecot ready."));
    EXPECT_TRUE(imap::is_ok_greeting("* ok"));
    EXPECT_FALSE(imap::is_ok_greeting("* PREAUTH logged in as ada"));
    EXPECT_FALSE(imap::is_ok_greeting("* BYE going down"));
    EXPECT_FALSE(imap::is_ok_greeting("* OKAY"));
    EXPECT_FALSE(imap::is_ok_greeting("a1 OK"));

    using imap::Reply;
    EXPECT_EQ(imap::classify_reply("* CAPABILITY IMAP4rev1", "a1"), Reply::Untagged);
    EXPECT_EQ(imap::classify_reply("a1 OK Logged in", "a1"), Reply::Ok);
    EXPECT_EQ(imap::classify_reply("a1 no [AUTHENTICATIONFAILED] x", "a1"), Reply::No);
    EXPECT_EQ(imap::classify_reply("a1 BAD", "a1"), Reply::Bad);
    EXPECT_EQ(imap::classify_reply("a12 OK", "a1"), Reply::Invalid);
    EXPECT_EQ(imap::classify_reply("a2 OK", "a1"), Reply::Invalid);
    EXPECT_EQ(imap::classify_reply("+ go ahead", "a1"), Reply::Invalid);
    EXPECT_EQ(imap::classify_reply("a1 PREAUTH", "a1"), Reply::Invalid);
    EXPECT_EQ(imap::classify_reply("a1", "a1"), Reply::Invalid);
}

}  // namespace
}  // namespace settings::account_probe
