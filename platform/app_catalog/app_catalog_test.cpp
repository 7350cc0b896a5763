#include "app_catalog/app_catalog.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace app_catalog {

void PrintTo(const NamedApp& app, std::ostream* os) { *os << "{" << app.id << ", " << app.name << "}"; }

namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "app-catalog-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    ~Folder()
    {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    void write(const fs::path& relative, std::string_view text) const
    {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative, std::ios::binary) << text;
    }
    [[nodiscard]] const fs::path& root() const { return root_; }

private:
    fs::path root_;
};

TEST(AppCatalog, ValidAppIds)
{
    EXPECT_TRUE(is_valid_app_id("org.example.Chat_2-x"));
    EXPECT_TRUE(is_valid_app_id(std::string(160, 'a')));
    for (const std::string& bad : {std::string(), std::string(161, 'a'), std::string("a b"), std::string("a/b"),
                                  std::string("caf\xc3\xa9"), std::string("a:b")}) {
        EXPECT_FALSE(is_valid_app_id(bad)) << bad;
    }
}

TEST(AppCatalog, DisplayNameForPackageId)
{
    EXPECT_EQ(registry::display_name_for_package_id("org.example.chat-client"), "Chat client");
    EXPECT_EQ(registry::display_name_for_package_id("mail_app"), "Mail app");
    EXPECT_EQ(registry::display_name_for_package_id("org.example."), "org.example.");
}

TEST(AppCatalog, ManifestTable)
{
    const auto ok = manifest::parse_manifest(
        R"({"id":"so.vorn.chat","name":"Chat","kind":"service","entrypoint":{"gui":"bin/chat"}})");
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(ok->app_id, "so.vorn.chat");
    EXPECT_EQ(ok->kind, "service");
    EXPECT_EQ(ok->entrypoint.gui_bin("/p"), fs::path("/p/bin/chat"));
    EXPECT_EQ(manifest::parse_manifest("{}")->kind, "app");
    for (const std::string_view bad : {"[]", "not json", R"({"id":3})", R"({"entrypoint":"bin/x"})",
                                       R"({"entrypoint":{"gui":false}})"}) {
        EXPECT_FALSE(manifest::parse_manifest(bad).has_value()) << bad;
    }
    // An entry point may not leave its package.
    for (const std::string_view gui : {"../../bin/sh", "/usr/bin/sh", "", "bin/../../x"}) {
        manifest::Entrypoint entry{.gui = std::string(gui)};
        EXPECT_FALSE(entry.gui_bin("/p").has_value()) << gui;
    }
}

// Installed packages (first root wins), desktop entries and rule ids merged: an id appears once with the first
// name it was given, invalid ids nowhere, sorted by name then id.
TEST(AppCatalog, NotificationAppsMergeAndOrder)
{
    Folder user;
    Folder system;
    user.write("org.example.Mail/manifest.json", R"({"name":"Mail","entrypoint":{"gui":"bin/mail"}})");
    system.write("org.example.Mail/manifest.json", R"({"name":"System Mail","entrypoint":{"gui":"bin/mail"}})");
    system.write("chat-pkg/manifest.json", R"({"id":"so.vorn.chat","entrypoint":{"gui":"bin/chat"}})");
    system.write("so.vorn.daemon/manifest.json", R"({"name":"Daemon","entrypoint":{"cli":"bin/d"}})");
    system.write("broken/manifest.json", "{");
    system.write("no-manifest/readme", "x");
    system.write("bad.id/manifest.json", R"({"id":"bad id","entrypoint":{"gui":"x"}})");

    const auto packages = registry::list_installed({user.root(), system.root() / "missing", system.root()});
    ASSERT_TRUE(packages.has_value()) << packages.error();
    EXPECT_EQ(packages->size(), 6u);
    const auto installed = installed_apps(*packages);
    EXPECT_EQ(installed, (std::vector<NamedApp>{{"so.vorn.chat", "Chat pkg"}, {"org.example.Mail", "Mail"}}));

    Folder applications;
    applications.write("org.example.Mail.desktop", "[Desktop Entry]\nType=Application\nName=Desktop Mail\n");
    applications.write("firefox-esr.desktop", "[Desktop Entry]\nType=Application\nName=Firefox\n");
    applications.write("kde/okular.desktop",
                       "[Desktop Entry]\nType=Application\nName=Okular\nX-Flatpak=org.kde.okular\n");
    applications.write("bad.desktop", "[Desktop Entry]\nType=Application\nName=Bad\nX-Vorn-Id=bad id\n");
    applications.write("no display.desktop", "[Desktop Entry]\nType=Application\nName=Spaced\n");
    const auto desktop = desktop_files::scan({applications.root()}, {});
    const std::vector<std::string> rules{"org.example.archived", "so.vorn.chat", "bad id"};

    EXPECT_EQ(notification_apps(installed, desktop, rules),
              (std::vector<NamedApp>{{"org.example.archived", "Archived"},
                                     {"bad", "Bad"},  // its own id is no rule key: the file id stands
                                     {"so.vorn.chat", "Chat pkg"},
                                     {"firefox-esr", "Firefox"},
                                     {"org.example.Mail", "Mail"},
                                     {"org.kde.okular", "Okular"}}));
}

TEST(AppCatalog, EqualNamesOrderById)
{
    const std::vector<NamedApp> installed{{"b.app", "Same"}, {"a.app", "Same"}};
    EXPECT_EQ(notification_apps(installed, {}, {}), (std::vector<NamedApp>{{"a.app", "Same"}, {"b.app", "Same"}}));
}

}  // namespace
}  // namespace app_catalog
