#include "desktop_files/desktop_files.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace desktop_files {
namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "desktop-files-XXXXXX").string();
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

std::string app(std::string_view extra) { return "[Desktop Entry]\nType=Application\n" + std::string(extra); }

TEST(DesktopFiles, ParseTable)
{
    const std::vector<std::string> german = languages("de_DE.UTF-8");
    struct Case {
        std::string_view what;
        std::string text;
        Skip skip;
        std::string_view name;
    };
    const std::vector<Case> cases{
        {"plain", app("Name=Calculator\nExec=calc\n"), Skip::None, "Calculator"},
        {"localized country", app("Name=Calculator\nName[de]=Rechner\nName[de_DE]=Taschenrechner\n"), Skip::None,
         "Taschenrechner"},
        {"localized language", app("Name=Calculator\nName[de]=Rechner\nName[fr]=Calculatrice\n"), Skip::None,
         "Rechner"},
        {"escapes and spaces", app("Name =  Text\\sEditor\\\\x  \n"), Skip::None, "Text Editor\\x"},
        {"control characters cleaned", app("Name=Bad\x1b[31mName\n"), Skip::None, "BadName"},
        {"hidden", app("Name=Gone\nHidden=true\n"), Skip::Hidden, ""},
        {"no display", app("Name=Helper\nNoDisplay=true\n"), Skip::NoDisplay, ""},
        {"link", "[Desktop Entry]\nType=Link\nName=Site\nURL=https://example.org\n", Skip::NotApplication, ""},
        {"no type", "[Desktop Entry]\nName=Thing\n", Skip::NotApplication, ""},
        {"no name", app("Exec=x\n"), Skip::NoName, ""},
        {"key before group", "Name=X\n[Desktop Entry]\nType=Application\n", Skip::Unreadable, ""},
        {"line without =", app("Name=X\ngarbage\n"), Skip::Unreadable, ""},
        {"invalid UTF-8", app("Name=\xff\xfe\n"), Skip::Unreadable, ""},
        {"empty", "", Skip::Unreadable, ""},
        {"other groups ignored", app("Name=Main\n[Desktop Action new]\nName=New window\nNoDisplay=true\n"),
         Skip::None, "Main"},
        {"comment lines and CRLF", "# c\r\n[Desktop Entry]\r\nType=Application\r\nName=Dos\r\n", Skip::None, "Dos"},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse_entry(c.text, "org.example.App", german);
        EXPECT_EQ(parsed.skip, c.skip) << c.what;
        if (c.skip == Skip::None) {
            EXPECT_EQ(parsed.entry.name, c.name) << c.what;
            EXPECT_EQ(parsed.entry.file_id, "org.example.App") << c.what;
        }
    }
}

TEST(DesktopFiles, OwnIdWhenValid)
{
    EXPECT_EQ(parse_entry(app("Name=A\nX-Vorn-Id=so.vorn.chat\nX-Flatpak=org.x.Y\n"), "f", {}).entry.app_id(),
              "so.vorn.chat");
    EXPECT_EQ(parse_entry(app("Name=A\nX-Flatpak=org.x.Y\n"), "f", {}).entry.app_id(), "org.x.Y");
    EXPECT_EQ(parse_entry(app("Name=A\nX-Vorn-Id=bad id/..\n"), "f", {}).entry.app_id(), "f");
}

TEST(DesktopFiles, Languages)
{
    EXPECT_EQ(languages("de_DE.UTF-8@euro"), (std::vector<std::string>{"de_DE@euro", "de_DE", "de@euro", "de"}));
    EXPECT_EQ(languages("sr@latin"), (std::vector<std::string>{"sr@latin", "sr"}));
    EXPECT_EQ(languages("pt_BR"), (std::vector<std::string>{"pt_BR", "pt"}));
    EXPECT_TRUE(languages("C.UTF-8").empty());
    EXPECT_TRUE(languages("POSIX").empty());
    EXPECT_TRUE(languages("").empty());
}

// Two application folders: the first decides for a file id it holds (also when it hides it), subfolders give
// dashed ids, and bad files cost only themselves.
TEST(DesktopFiles, ScanOfFixtureFolders)
{
    Folder user;
    Folder system;
    user.write("org.example.Mail.desktop", app("Name=My Mail\n"));
    user.write("org.example.Old.desktop", app("Name=Old\nHidden=true\n"));
    system.write("org.example.Mail.desktop", app("Name=Mail\n"));
    system.write("org.example.Old.desktop", app("Name=Old\n"));
    system.write("kde/okular.desktop", app("Name=Okular\nName[fr]=Okular FR\n"));
    system.write("helper.desktop", app("Name=Helper\nNoDisplay=true\n"));
    system.write("broken.desktop", "not a desktop entry");
    system.write("binary.desktop", std::string("\0\0\0", 3));
    system.write("notes.txt", app("Name=Not an entry\n"));
    system.write("huge.desktop", app("Name=Huge\n") + std::string(max_entry_bytes, '#'));
    fs::create_directories(system.root() / "folder.desktop");

    const auto entries = scan({user.root(), system.root() / "missing", system.root()}, languages("fr_FR.UTF-8"));
    std::vector<std::pair<std::string, std::string>> got;
    for (const auto& e : entries) {
        got.emplace_back(e.file_id, e.name);
    }
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{{"org.example.Mail", "My Mail"},
                                                                      {"kde-okular", "Okular FR"}}));
    EXPECT_EQ(entries.at(0).path, user.root() / "org.example.Mail.desktop");
}

TEST(DesktopFiles, ApplicationDirsFollowTheEnvironment)
{
    const auto saved_home = std::getenv("XDG_DATA_HOME") ? std::optional<std::string>(std::getenv("XDG_DATA_HOME"))
                                                         : std::nullopt;
    const auto saved_dirs = std::getenv("XDG_DATA_DIRS") ? std::optional<std::string>(std::getenv("XDG_DATA_DIRS"))
                                                         : std::nullopt;
    ::setenv("XDG_DATA_HOME", "/home/u/data", 1);
    ::setenv("XDG_DATA_DIRS", "/opt/share::relative:/usr/share:/opt/share", 1);
    EXPECT_EQ(application_dirs(), (std::vector<fs::path>{"/home/u/data/applications", "/opt/share/applications",
                                                         "/usr/share/applications"}));
    saved_home ? ::setenv("XDG_DATA_HOME", saved_home->c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    saved_dirs ? ::setenv("XDG_DATA_DIRS", saved_dirs->c_str(), 1) : ::unsetenv("XDG_DATA_DIRS");
}

// The kept scan is handed out while nothing changed and read again once a folder gains an entry.
TEST(DesktopFiles, CachedScanSeesANewEntry)
{
    Folder data;
    const auto saved_home = std::getenv("XDG_DATA_HOME") ? std::optional<std::string>(std::getenv("XDG_DATA_HOME"))
                                                         : std::nullopt;
    const auto saved_dirs = std::getenv("XDG_DATA_DIRS") ? std::optional<std::string>(std::getenv("XDG_DATA_DIRS"))
                                                         : std::nullopt;
    ::setenv("XDG_DATA_HOME", (data.root() / "home").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (data.root() / "sys").c_str(), 1);
    cache::invalidate();

    EXPECT_TRUE(cache::cached_scan().empty());
    // The user folder appears only now: the cache notices a folder that was missing.
    data.write("home/applications/a.desktop", app("Name=Alpha\n"));
    auto first = cache::cached_scan();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].name, "Alpha");

    data.write("sys/applications/sub/b.desktop", app("Name=Beta\n"));
    const auto second = cache::cached_scan();
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[1].file_id, "sub-b");

    saved_home ? ::setenv("XDG_DATA_HOME", saved_home->c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    saved_dirs ? ::setenv("XDG_DATA_DIRS", saved_dirs->c_str(), 1) : ::unsetenv("XDG_DATA_DIRS");
    cache::invalidate();
}

}  // namespace
}  // namespace desktop_files
