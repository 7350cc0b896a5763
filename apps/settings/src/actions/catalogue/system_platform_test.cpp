// The system platform's own readers: users from passwd and group files, applications from desktop entries.
#include "actions/catalogue/platform.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace settings::actions::catalogue {
namespace {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "catalogue-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path write(const std::string& name, const std::string& text) const
    {
        const auto file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
        return file;
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(SystemPlatform, ListsSignInUsersWithTheirRolesAndAutomaticLogin)
{
    TempDir dir;
    dir.write("etc/passwd",
              "root:x:0:0:root:/root:/bin/bash\n"
              "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
              "ada:x:1000:1000:Ada Lovelace,,,:/home/ada:/bin/bash\n"
              "alan:x:1001:27:Alan Turing:/home/alan:/bin/zsh\n"
              "svc:x:1002:1002::/var/svc:/bin/false\n"
              "broken line\n"
              "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n"
              "grace:x:1003:1003::/home/grace:/bin/bash\n");
    dir.write("etc/group", "sudo:x:27:\nwheel:x:10:ada,grace\n");
    dir.write("etc/lightdm/lightdm.conf", "[Seat:*]\nautologin-user=alan\n");
    auto accounts = std::make_shared<system_ops::users::ShadowUsers>(
        cmd_runner::system_runner(),
        system_ops::users::ShadowUsers::Options{.prefix = dir.path(), .self = std::vector<std::string>{"grace"}});
    system_ops::ScopedCurrent<system_ops::users::UsersService> scoped(accounts);
    SystemPlatform platform;
    auto users = platform.local_users();
    ASSERT_TRUE(users) << users.error();
    ASSERT_EQ(users->size(), 3U);
    EXPECT_EQ((*users)[0], (LocalUser{.name = "ada", .full_name = "Ada Lovelace", .admin = true}));
    // Only the groups' member lists make administrators: alan's primary group "sudo" does not.
    EXPECT_EQ((*users)[1], (LocalUser{.name = "alan", .full_name = "Alan Turing", .autologin = true}));
    EXPECT_EQ((*users)[2], (LocalUser{.name = "grace", .full_name = "grace", .admin = true, .signed_in = true}));

    std::filesystem::remove(dir.path() / "etc/passwd");
    EXPECT_FALSE(platform.local_users());
}

TEST(SystemPlatform, ListsInstalledApplicationsFromDesktopEntries)
{
    TempDir dir;
    dir.write("a/org.example.Viewer.desktop", "[Desktop Entry]\nType=Application\nName=Viewer\n");
    dir.write("a/org.example.Hidden.desktop", "[Desktop Entry]\nType=Application\nName=Hidden\nNoDisplay=true\n");
    dir.write("a/org.example.Link.desktop", "[Desktop Entry]\nType=Link\nName=Link\n");
    dir.write("a/notes.txt", "not an entry");
    dir.write("b/org.example.Viewer.desktop", "[Desktop Entry]\nType=Application\nName=Shadowed\n");
    dir.write("b/so.vorn.osk.desktop",
              "[Desktop Entry]\nType=Application\nName=Keyboard\n[Desktop Action x]\nName=Other\n");
    SystemPlatform::Options options;
    options.application_dirs = {(dir.path() / "a").string(), (dir.path() / "b").string(),
                                (dir.path() / "none").string()};
    SystemPlatform platform(options);
    EXPECT_EQ(platform.installed_apps(),
              (std::vector<AppEntry>{{"so.vorn.osk", "Keyboard"}, {"org.example.Viewer", "Viewer"}}));
    EXPECT_TRUE(platform.has_on_screen_keyboard());
}

TEST(CurrentPlatform, IsReplacedForAScopeOnly)
{
    auto fake = std::make_shared<FakePlatform>();
    {
        ScopedPlatform scoped(fake);
        EXPECT_EQ(current_platform(), fake);
    }
    EXPECT_NE(current_platform(), fake);
    EXPECT_NE(std::dynamic_pointer_cast<SystemPlatform>(current_platform()), nullptr);
}

}  // namespace
}  // namespace settings::actions::catalogue
