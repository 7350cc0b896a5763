// The DAV check against real servers on loopback (radicale for CalDAV, lighttpd for WebDAV and a Nextcloud-style
// path) and against a small TLS server that records the request and plays what real servers will not.

#include "account_probe/probe_test_support.hpp"

#include <gtest/gtest.h>
#include <sodium.h>

#include <thread>

namespace settings::account_probe {
namespace {

using namespace std::chrono_literals;

using test_servers::FakeConnection;
using test_servers::FakeTlsServer;
using testing::Json;
using testing::account_with;

using testing::Result;
using testing::fails;

const Result accepted = std::string("Server accepted the signed-in DAV request");

Result check(std::string type_id, std::string_view address, std::string_view username, std::string_view secret,
             const NetworkProbeOptions& options = testing::options_trusting_test_ca())
{
    const std::string member = type_id == "webdav" ? "base_url" : "server_url";
    const NetworkAccountProbe probe(options);
    return probe.probe(account_with(std::move(type_id), Json{{member, address}, {"username", username}}), secret);
}

template <class Server>
class DavSuite : public testing::ServerSuite<Server> {
protected:
    static std::string url(std::string_view path)
    {
        return "https://localhost:" + std::to_string(DavSuite::server().port()) + std::string(path);
    }
};

using RadicaleCalDav = DavSuite<test_servers::Radicale>;
using LighttpdWebDav = DavSuite<test_servers::Lighttpd>;

TEST_F(RadicaleCalDav, StatusesBecomeTheirSentences)
{
    using test_servers::alice;
    using test_servers::alice_password;
    EXPECT_EQ(check("caldav", url("/"), alice, alice_password), accepted) << server().log();
    EXPECT_EQ(check("caldav", url("/alice/"), alice, alice_password), accepted);
    EXPECT_EQ(check("caldav", url("/"), test_servers::bob, test_servers::bob_password), accepted);
    EXPECT_EQ(check("caldav", url("/"), alice, "wrong"), fails("server rejected the saved credential"));
    // A redirect is reported, not followed.
    EXPECT_EQ(check("caldav", url("/.well-known/caldav"), alice, alice_password), fails("server returned HTTP 301"));
    EXPECT_EQ(check("caldav", url("/bob/"), alice, alice_password), fails("server returned HTTP 403"));
}

TEST_F(LighttpdWebDav, StatusesBecomeTheirSentences)
{
    using test_servers::alice;
    using test_servers::alice_password;
    const std::string files = url("/remote.php/dav/files/alice/");
    EXPECT_EQ(check("webdav", files, alice, alice_password), accepted) << server().log();
    EXPECT_EQ(check("nextcloud", files, alice, alice_password), accepted);
    EXPECT_EQ(check("webdav", files, alice, "wrong"), fails("server rejected the saved credential"));
    EXPECT_EQ(check("nextcloud", files, "", alice_password), fails("server rejected the saved credential"));
    EXPECT_EQ(check("webdav", url("/old"), alice, alice_password), fails("server returned HTTP 301"));
    EXPECT_EQ(check("nextcloud", url("/forbidden"), alice, alice_password), fails("server returned HTTP 403"));
}

// ---- A server that records the request ---------------------------------------------------------------------------

class FakeDavServer : public ::testing::Test {
protected:
    void SetUp() override { VORN_REQUIRE_CERTIFICATES(); }

    std::unique_ptr<FakeTlsServer> serve(FakeTlsServer::Script script)
    {
        return std::make_unique<FakeTlsServer>(testing::certificates()->server_cert,
                                               testing::certificates()->server_key, std::move(script));
    }
    static std::string address(const FakeTlsServer& server, std::string_view path = "/dav/")
    {
        return "https://localhost:" + std::to_string(server.port()) + std::string(path);
    }

    NetworkProbeOptions options = testing::options_trusting_test_ca(true);
};

std::string response(std::string_view status, std::string_view body = {})
{
    return "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + std::string(body);
}

std::string base64(std::string_view text)
{
    std::string out(sodium_base64_ENCODED_LEN(text.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    out.pop_back();
    return out;
}

TEST_F(FakeDavServer, OnePropfindOfTheResourceTypeWithBasicAuthentication)
{
    std::optional<FakeConnection::HttpRequest> seen;
    const auto server = serve([&](FakeConnection& c) {
        seen = c.read_http_request();
        c.send(response("207 Multi-Status", R"(<?xml version="1.0"?><D:multistatus xmlns:D="DAV:"/>)"));
    });
    // The secret is sent as it was saved, spaces and all.
    const std::string secret = " s3cret:with colon ";
    EXPECT_EQ(check("webdav", address(*server, "/remote.php/dav/files/ada/"), "ada", secret, options), accepted);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->request_line, "PROPFIND /remote.php/dav/files/ada/ HTTP/1.1");
    EXPECT_EQ(seen->headers["depth"], "0");
    EXPECT_EQ(seen->headers["content-type"], "application/xml; charset=utf-8");
    EXPECT_EQ(seen->headers["authorization"], "Basic " + base64("ada:" + secret));
    EXPECT_FALSE(seen->headers.contains("user-agent"));
    EXPECT_EQ(seen->body, R"(<?xml version="1.0" encoding="utf-8"?><D:propfind xmlns:D="DAV:"><D:prop>)"
                          R"(<D:resourcetype/></D:prop></D:propfind>)");
    // The credential is in the Authorization header and nowhere else.
    const std::string wire = server->received();
    EXPECT_EQ(wire.find(secret), std::string::npos);
    EXPECT_EQ(wire.find("s3cret"), std::string::npos);
    EXPECT_EQ(server->connections(), 1);
}

TEST_F(FakeDavServer, WhatRealServersRarelyDo)
{
    struct Case {
        std::string name;
        FakeTlsServer::Script script;
        std::string result;  // the sentence, or its start when it ends in "..."
    };
    const std::vector<Case> cases{
        {"server_error", [](FakeConnection& c) { c.read_http_request(), c.send(response("500 Internal Server Error")); },
         "server returned HTTP 500"},
        {"plain_ok", [](FakeConnection& c) { c.read_http_request(), c.send(response("200 OK")); },
         "Server accepted the signed-in DAV request"},
        {"temporary_redirect",
         [](FakeConnection& c) {
             c.read_http_request();
             c.send("HTTP/1.1 307 Temporary Redirect\r\nLocation: https://localhost:1/\r\nContent-Length: 0\r\n\r\n");
         },
         "server returned HTTP 307"},
        // A body without end is cut at the cap instead of filling memory.
        {"endless_body",
         [](FakeConnection& c) {
             c.read_http_request();
             c.send("HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\n\r\n<D:multistatus>");
             c.send_until_closed(std::string(4096, ' '));
         },
         "connection failed: DAV response exceeds the size limit"},
        {"never_answers",
         [](FakeConnection& c) {
             c.read_http_request();
             c.wait_until_closed();
         },
         "connection failed: Timeout was reached..."},
        {"closes_without_answer", [](FakeConnection& c) { c.read_http_request(); }, "connection failed: ..."},
    };
    for (const auto& c : cases) {
        const auto server = serve(c.script);
        const auto result = check("caldav", address(*server), "ada", "pw", options);
        const std::string text = result ? *result : result.error();
        if (c.result.ends_with("...")) {
            EXPECT_TRUE(text.starts_with(c.result.substr(0, c.result.size() - 3))) << c.name << ": " << text;
            EXPECT_FALSE(result.has_value()) << c.name;
        } else {
            EXPECT_EQ(text, c.result) << c.name;
        }
    }
}

TEST_F(FakeDavServer, CertificatesThatDoNotProveTheServerFailTheConnection)
{
    const auto server = std::make_unique<FakeTlsServer>(testing::certificates()->other_cert,
                                                        testing::certificates()->other_key,
                                                        [](FakeConnection& c) { c.send(response("207 Multi-Status")); });
    const auto result = check("nextcloud", address(*server), "ada", "pw", options);
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().starts_with("connection failed: ")) << result.error();
    EXPECT_EQ(server->received(), "") << "the request was sent";
}

TEST_F(FakeDavServer, AStoppedCheckEndsWithoutItsTimeLimit)
{
    options = testing::options_trusting_test_ca();  // the program's 8 s limit
    const auto server = serve([](FakeConnection& c) {
        c.read_http_request();
        c.wait_until_closed(std::chrono::seconds(20));
    });
    std::stop_source stop;
    Result result;
    std::thread worker([&] {
        const NetworkAccountProbe probe(options);
        result = probe.probe_cancellable(
            account_with("webdav", Json{{"base_url", address(*server)}, {"username", "ada"}}), "pw", stop.get_token());
    });
    EXPECT_TRUE(testing::eventually([&] { return server->received().find("</D:propfind>") != std::string::npos; }));
    stop.request_stop();
    worker.join();
    EXPECT_EQ(result, fails("connection check cancelled"));
}

}  // namespace
}  // namespace settings::account_probe
