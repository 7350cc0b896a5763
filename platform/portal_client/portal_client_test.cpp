// The portal calls against mocked portals on a private session bus.
#include "portal_client/portal_client.hpp"

#include "test_buses/test_buses.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace portal_client {
namespace {

constexpr const char* portal_path = "/org/freedesktop/portal/desktop";

TEST(ChosenFile, OnlyFileAddressesHaveALocalPath)
{
    EXPECT_EQ(ChosenFile{"file:///home/alice/ca%20cert.pem"}.local_path(),
              std::filesystem::path("/home/alice/ca cert.pem"));
    EXPECT_EQ(ChosenFile{"https://example.org/ca.pem"}.local_path(), std::nullopt);
    EXPECT_EQ(ChosenFile{"file:///bad%00name"}.local_path(), std::nullopt);
    EXPECT_EQ(ChosenFile{"not a uri"}.local_path(), std::nullopt);
}

class Portals : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto buses = test_buses::PrivateBuses::start();
        if (!buses) {
            GTEST_SKIP() << buses.error();
        }
        buses_ = std::move(*buses);
    }

    // A mocked portal object with one interface, `method` answering with `code`.
    std::unique_ptr<test_buses::DbusMock> portal(const std::string& interface, const std::string& method,
                                                 const std::string& code)
    {
        auto mock = test_buses::DbusMock::start(*buses_, {.bus_name = "org.freedesktop.portal.Desktop",
                                                          .bus = test_buses::Bus::session,
                                                          .object_path = portal_path,
                                                          .interface = interface});
        if (!mock) {
            ADD_FAILURE() << mock.error();
            return nullptr;
        }
        const auto added = (*mock)->call(portal_path, "org.freedesktop.DBus.Mock.AddMethod",
                                         {interface, method, "ssa{sv}", "o", code});
        EXPECT_TRUE(added) << added.error();
        return std::move(*mock);
    }

    std::unique_ptr<test_buses::PrivateBuses> buses_;
};

TEST_F(Portals, OpenUriGoesThroughThePortal)
{
    if (!test_buses::have_program("/usr/bin/python3")) {
        GTEST_SKIP() << "python3-dbusmock is not installed";
    }
    auto mock = portal("org.freedesktop.portal.OpenURI", "OpenURI",
                       "ret = dbus.ObjectPath('/org/freedesktop/portal/desktop/request/1/t')");
    ASSERT_NE(mock, nullptr);
    const auto opened = OpenUri::open("http://check.example/check_network_status.txt");
    ASSERT_TRUE(opened) << opened.error().text();
    EXPECT_NE(mock->log().find("OpenURI \"\" \"http://check.example/check_network_status.txt\""), std::string::npos)
        << mock->log();

    EXPECT_EQ(OpenUri::open("file:///etc/shadow").error().text(), "\"file:///etc/shadow\" is not a web address");
    EXPECT_FALSE(OpenUri::open("http://a b/"));
}

TEST_F(Portals, WithoutAPortalTheAddressGoesToXdgOpen)
{
    const auto dir = buses_->dir() / "bin";
    std::filesystem::create_directories(dir);
    const auto marker = buses_->dir() / "opened";
    {
        std::ofstream script(dir / "xdg-open");
        script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << marker.string() << ".tmp' && mv '" << marker.string()
               << ".tmp' '" << marker.string() << "'\n";
    }
    std::filesystem::permissions(dir / "xdg-open", std::filesystem::perms::owner_all);
    const std::string old_path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir.string() + ":" + old_path).c_str(), 1);
    const auto opened = OpenUri::open("https://portal.example/login");
    ::setenv("PATH", old_path.c_str(), 1);
    ASSERT_TRUE(opened) << opened.error().text();
    for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(marker);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "https://portal.example/login");
}

TEST_F(Portals, FileChooserAnswersTheChosenFiles)
{
    if (!test_buses::have_program("/usr/bin/python3")) {
        GTEST_SKIP() << "python3-dbusmock is not installed";
    }
    // The mocked portal answers at once through a request object named after the caller's token.
    auto mock = portal(
        "org.freedesktop.portal.FileChooser", "OpenFile",
        "path = '/org/freedesktop/portal/desktop/request/mock/' + args[2]['handle_token']\n"
        "self.AddObject(path, 'org.freedesktop.portal.Request', {}, [])\n"
        "code = 1 if args[1] == 'Cancel me' else 0\n"
        "objects[path].EmitSignal('org.freedesktop.portal.Request', 'Response', 'ua{sv}', "
        "[dbus.UInt32(code), {'uris': dbus.Array(['file:///etc/ssl/ca%20one.pem'], signature='s')}])\n"
        "ret = dbus.ObjectPath(path)");
    ASSERT_NE(mock, nullptr);
    const auto files = FileChooser::open("Choose organization CA certificate", {.limit = std::chrono::seconds(10)});
    ASSERT_TRUE(files) << files.error().text();
    ASSERT_EQ(files->size(), 1U);
    EXPECT_EQ(files->front().local_path(), std::filesystem::path("/etc/ssl/ca one.pem"));
    EXPECT_NE(mock->log().find("Choose organization CA certificate"), std::string::npos);

    const auto cancelled = FileChooser::open("Cancel me", {.limit = std::chrono::seconds(10)});
    ASSERT_TRUE(cancelled) << cancelled.error().text();
    EXPECT_TRUE(cancelled->empty());
}

TEST_F(Portals, FileChooserWithoutAPortalSaysSo)
{
    EXPECT_EQ(FileChooser::open("Choose", {.limit = std::chrono::seconds(5)}).error().text(),
              "the desktop portal is not available");
}

}  // namespace
}  // namespace portal_client
