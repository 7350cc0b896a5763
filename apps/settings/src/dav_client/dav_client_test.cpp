#include "dav_client/dav_client.hpp"

#include <gtest/gtest.h>

namespace settings::dav_client {
namespace {

TEST(PropfindBody, TheConnectionTestsBodyExactly)
{
    const Property resource_type{"DAV:", "resourcetype"};
    EXPECT_EQ(propfind_body({&resource_type, 1}),
              R"(<?xml version="1.0" encoding="utf-8"?><D:propfind xmlns:D="DAV:"><D:prop><D:resourcetype/></D:prop>)"
              R"(</D:propfind>)");
}

TEST(PropfindBody, NamespacesGetTheirPrefixesInOrder)
{
    const std::vector<Property> properties{{"DAV:", "displayname"},
                                           {"http://example.org/ns", "color"},
                                           {"urn:ietf:params:xml:ns:caldav", "calendar-home-set"},
                                           {"http://example.org/ns", "order"},
                                           {"urn:ietf:params:xml:ns:carddav", "addressbook-home-set"},
                                           {"urn:x?a=1&b=<2>", "odd"}};
    EXPECT_EQ(propfind_body(properties),
              R"(<?xml version="1.0" encoding="utf-8"?><D:propfind xmlns:D="DAV:" xmlns:x1="http://example.org/ns")"
              R"( xmlns:C="urn:ietf:params:xml:ns:caldav" xmlns:CR="urn:ietf:params:xml:ns:carddav")"
              R"( xmlns:x4="urn:x?a=1&amp;b=&lt;2&gt;"><D:prop><D:displayname/><x1:color/><C:calendar-home-set/>)"
              R"(<x1:order/><CR:addressbook-home-set/><x4:odd/></D:prop></D:propfind>)");
}

TEST(NamespaceRegistry, AKnownNamespaceKeepsItsPrefix)
{
    NamespaceRegistry registry;
    EXPECT_EQ(register_namespace(registry, "http://example.org/a"), "x0");
    EXPECT_EQ(register_namespace(registry, "DAV:"), "D");
    EXPECT_EQ(register_namespace(registry, "http://example.org/a"), "x0");
    EXPECT_EQ(register_namespace(registry, "http://example.org/A"), "x2");  // compared byte for byte
    EXPECT_EQ(registry.size(), 3u);
    EXPECT_EQ(write_xmlns(registry), R"( xmlns:x0="http://example.org/a" xmlns:D="DAV:" xmlns:x2="http://example.org/A")");
}

TEST(XmlEscape, TheFivePredefinedEntities)
{
    EXPECT_EQ(xml_escape(R"(a&b<c>d"e'f)"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
    EXPECT_EQ(xml_escape("zoë"), "zoë");
}

TEST(Requests, MethodsDepthsAndErrorTexts)
{
    EXPECT_EQ(method("PROPFIND"), std::string("PROPFIND"));
    EXPECT_FALSE(method("PROP FIND").has_value());
    EXPECT_FALSE(method("").has_value());
    EXPECT_EQ(depth_text(Depth::Zero), "0");
    EXPECT_EQ(depth_text(Depth::One), "1");
    EXPECT_EQ(depth_text(Depth::Infinity), "infinity");
    EXPECT_EQ(DavError::http("Couldn't connect to server").text(), "Couldn't connect to server");
    EXPECT_EQ(DavError::too_large().text(), "DAV response exceeds the size limit");
    EXPECT_EQ(DavError::response(DavError::ResponseKind::Dtd).text(), "DAV response carries a DTD");
    EXPECT_EQ(DavError::response(DavError::ResponseKind::NotMultistatus).text(),
              "DAV response is not a multistatus document");
}

TEST(ServerUrl, ParsedWithSchemeAndCredentialsFlag)
{
    const auto plain = parse_server_url("  HTTPS://Dav.Example.org/remote.php/dav/files/ada/\t");
    ASSERT_TRUE(plain.has_value()) << plain.error();
    EXPECT_EQ(plain->scheme, "https");
    EXPECT_FALSE(plain->has_credentials);
    EXPECT_EQ(plain->url.find("/remote.php/dav/files/ada/") != std::string::npos, true) << plain->url;

    const auto with_user = parse_server_url("https://ada@dav.example.org/");
    ASSERT_TRUE(with_user.has_value());
    EXPECT_TRUE(with_user->has_credentials);
    EXPECT_EQ(with_user->url, "");  // never copied out
    EXPECT_TRUE(parse_server_url("https://:pw@dav.example.org/")->has_credentials);
    EXPECT_FALSE(parse_server_url("https://:@dav.example.org/")->has_credentials);

    EXPECT_FALSE(parse_server_url("").has_value());
    EXPECT_FALSE(parse_server_url("dav.example.org/dav").has_value());
    EXPECT_FALSE(parse_server_url("https://").has_value());
    EXPECT_EQ(parse_server_url("webcal://dav.example.org/")->scheme, "webcal");
}

}  // namespace
}  // namespace settings::dav_client
