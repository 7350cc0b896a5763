// The system platform's own readers: users from passwd and group files, applications from desktop entries, local
// models from the model manager.
#include "actions/catalogue/platform.hpp"

#include "system_ops/test_tools.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

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
}

// Only the system package of the service with a graphical entry point is the on-screen keyboard: a desktop entry of
// that name, an application of that id or a package without a graphical entry point is not.
TEST(SystemPlatform, TheOnScreenKeyboardIsItsSystemPackage)
{
    TempDir dir;
    dir.write("apps/so.vorn.osk.desktop", "[Desktop Entry]\nType=Application\nName=Keyboard\n");
    dir.write("packages/so.vorn.osk/manifest.json", R"({"id":"so.vorn.osk","kind":"app","entrypoint":{"gui":"bin/osk"}})");
    dir.write("packages/osk-cli/manifest.json", R"({"id":"so.vorn.osk","kind":"service","entrypoint":{"cli":"bin/osk"}})");
    SystemPlatform::Options options;
    options.application_dirs = {(dir.path() / "apps").string()};
    options.package_roots = {(dir.path() / "packages").string()};
    EXPECT_FALSE(SystemPlatform(options).has_on_screen_keyboard());

    dir.write("packages/so.vorn.osk-service/manifest.json",
              R"({"id":"so.vorn.osk","kind":"service","entrypoint":{"gui":"bin/vorn-osk"}})");
    EXPECT_TRUE(SystemPlatform(options).has_on_screen_keyboard());
}

class ModelManagerOnPath : public system_ops::testing::FakeTools {};

TEST_F(ModelManagerOnPath, LocalModelsAreTheManagersRecommendationAndInstalledModels)
{
    const std::string package = R"("description": "", "source": "", "license": "", "license_url": "",
                                   "download_bytes": 1, "installed_bytes": 2)";
    auto model = [&](const char* id, const char* phase) {
        return fmt::format(R"({{"package": {{"id": "{}", "name": "Model {}", "revision": "r-{}", {}}}, "phase": {}}})",
                           id, id, id, package, phase);
    };
    const std::string snapshot = fmt::format(
        R"({{"hardware": {{"fit": "good", "memory_gib": 32, "accelerator": "none", "reason": ""}},
            "recommendation": {{"id": "qwen", "name": "Qwen 7B", "revision": "r3", {}}},
            "models": [{}, {}, {}, {}, {}]}})",
        package, model("a", R"({"state": "downloading", "downloaded_bytes": 1, "total_bytes": 2})"),
        model("b", R"({"state": "installing", "message": "Verifying"})"),
        model("c", R"({"state": "ready", "running": true})"), model("d", R"({"state": "ready", "running": false})"),
        model("e", R"({"state": "error", "message": "broken"})"));
    tool("vorn-model-manager", {{"snapshot --format json", snapshot}});

    const auto objects = SystemPlatform().local_models();
    EXPECT_EQ(objects.packages, (std::vector<ModelPackage>{{"qwen", "Qwen 7B", "r3"}}));
    EXPECT_EQ(objects.models, (std::vector<LocalModel>{{"a", "Model a", "r-a", LocalModelState::Installing},
                                                       {"b", "Model b", "r-b", LocalModelState::Installing},
                                                       {"c", "Model c", "r-c", LocalModelState::Running},
                                                       {"d", "Model d", "r-d", LocalModelState::Stopped},
                                                       {"e", "Model e", "r-e", LocalModelState::Failed}}));
    EXPECT_TRUE(objects.may_install);

    // A manager that refuses, or none at all, lists nothing.
    tool("vorn-model-manager", {{"*", "", "not running", 1}});
    EXPECT_EQ(SystemPlatform().local_models(), LocalModelSnapshot{});
    std::filesystem::remove(dir_ / "bin" / "vorn-model-manager");
    ::setenv("PATH", (dir_ / "bin").c_str(), 1);
    EXPECT_EQ(SystemPlatform().local_models(), LocalModelSnapshot{});
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
