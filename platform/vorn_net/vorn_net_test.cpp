#include "vorn_net/http.hpp"
#include "vorn_net/secure_buffer.hpp"
#include "vorn_net/tls.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vorn_net {
namespace {

TEST(ServerNames, DnsNamesAndAddressLiteralsOnly)
{
    for (const std::string_view name :
         {"mail.example.org", "localhost", "mail.example.org.", "a-b.c_d.example", "127.0.0.1", "::1", "2001:db8::25"}) {
        EXPECT_TRUE(is_valid_server_name(name)) << name;
    }
    const std::string long_label(64, 'a');
    for (const std::string_view name : {std::string_view(""), std::string_view("."), std::string_view("mail example"),
                                        std::string_view("-mail.example.org"), std::string_view("mail-.example"),
                                        std::string_view("mail..example"), std::string_view("[::1]"),
                                        std::string_view("mäil.example"), std::string_view(long_label)}) {
        EXPECT_FALSE(is_valid_server_name(name)) << name;
    }
}

TEST(TrustRoots, AnExtraCaThatCannotBeReadIsAnError)
{
    EXPECT_TRUE(system_roots().has_value());
    const auto missing = system_roots({.extra_ca_file = "/nonexistent/ca.crt"});
    ASSERT_FALSE(missing.has_value());
    EXPECT_NE(missing.error().find("/nonexistent/ca.crt"), std::string::npos) << missing.error();

    const auto not_pem = std::filesystem::temp_directory_path() / "vorn-net-not-a-certificate.pem";
    std::ofstream(not_pem) << "not a certificate\n";
    EXPECT_FALSE(system_roots({.extra_ca_file = not_pem}).has_value());
    std::filesystem::remove(not_pem);

    const auto roots = system_roots();
    ASSERT_TRUE(roots.has_value());
    const auto config = client_config_with_roots(*roots);
    ASSERT_TRUE(config.has_value()) << config.error();
    EXPECT_NE(config->context, nullptr);
}

TEST(HttpClient, SpeaksHttpsOnly)
{
    auto client = http::blocking_client().timeout(std::chrono::seconds(2)).no_redirects().build();
    ASSERT_TRUE(client.has_value()) << client.error();
    const auto response = client->send({.method = "GET", .url = "http://127.0.0.1:9/"});
    ASSERT_FALSE(response.has_value());
    EXPECT_EQ(response.error().kind, http::ErrorKind::Transport);
    EXPECT_NE(response.error().text.find("protocol"), std::string::npos) << response.error().text;
}

TEST(SecureBuffer, HoldsExactlyWhatWasAppendedAndMovesOut)
{
    SecureBuffer line(16);
    line.append("PASS ").append("pw").append('\n');
    EXPECT_EQ(line.view(), "PASS pw\n");
    EXPECT_STREQ(line.c_str(), "PASS pw\n");
    SecureBuffer moved = std::move(line);
    EXPECT_EQ(moved.view(), "PASS pw\n");
    EXPECT_TRUE(line.empty());  // NOLINT(bugprone-use-after-move): a moved-from buffer is empty
    EXPECT_EQ(SecureBuffer::copy_of("").view(), "");
    EXPECT_EQ(SecureBuffer::copy_of("s3cret").view(), "s3cret");
}

}  // namespace
}  // namespace vorn_net
