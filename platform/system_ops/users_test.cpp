// Login accounts: the account-file reader, the value checks, the display managers' files, and the real shadow tools
// working on a prefix folder through the same command path as on the machine, with pkexec replaced by a script that
// records its arguments and standard input and runs them.
#include "system_ops/users.hpp"

#include "cmd_runner/fake_runner.hpp"
#include "system_ops/testing/account_prefix.hpp"

#include "test_buses/temp_dir.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace system_ops::users {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using test_buses::read_file;
using test_buses::write_file;
using test_buses::TempDir;

// ---- The account files -------------------------------------------------------------------------------------------

constexpr std::string_view fixture_passwd =
    "root:x:0:0:root:/root:/bin/bash\n"
    "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
    "system:x:999:999:Below the range:/home/system:/bin/bash\n"
    "ada:x:1000:1000:  Ada Lovelace ,Room 1,,:/home/ada:/bin/bash\n"
    "alan:x:+1001:27:Alan Turing:/home/alan:/bin/zsh\n"
    "grace:x:1002:1002:,,,:/home/grace:/bin/bash\r\n"
    "svc:x:1003:1003:Service:/var/svc:/bin/false\n"
    "locked:x:1004:1004:Locked:/home/locked:/usr/sbin/nologin\n"
    "odd:x:1005:1005:Shell elsewhere:/home/odd:/opt/nologin-tools/bin/zsh\n"
    "short:x:1006:1006:Six fields:/home/short\n"
    "spaced:x: 1007:1007:Uid with a blank:/home/spaced:/bin/bash\n"
    "-rf:x:1008:1008:Option look-alike:/home/rf:/bin/bash\n"
    "last:x:59999:59999:\x1b[31mLast\x1b[0m \xE2\x80\xAEUser:/home/last:/bin/bash\n"
    "over:x:60000:60000:Above the range:/home/over:/bin/bash\n"
    "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n";

constexpr std::string_view fixture_group =
    "root:x:0:\n"
    "sudo:x:27: ada , last\n"
    "wheel:x:10:grace\n"
    "wheelers:x:11:odd\n"
    "broken:x\n";

TEST(LoginUsersTest, RegularAccountsWithTheirRolesInFileOrder)
{
    const std::vector<std::string> self{"grace"};
    const auto users = parse_login_users(fixture_passwd, fixture_group, self);
    // uid range 1000..59999 ("+" allowed, blanks not), shells ending in nologin/false left out, a shell that only
    // contains "nologin" elsewhere kept, fewer than seven fields and logins that look like options left out.
    const std::vector<LocalUser> expected{
        {.login = "ada", .full_name = "Ada Lovelace", .uid = 1000, .admin = true},
        // Primary group 27 is "sudo", but only the member list counts.
        {.login = "alan", .full_name = "Alan Turing", .uid = 1001, .admin = false},
        {.login = "grace", .full_name = "grace", .uid = 1002, .admin = true, .signed_in = true},
        {.login = "odd", .full_name = "Shell elsewhere", .uid = 1005},
        // Escape sequences and a bidirectional override are removed from the name.
        {.login = "last", .full_name = "Last User", .uid = 59999, .admin = true},
    };
    EXPECT_EQ(users, expected);
}

TEST(LoginUsersTest, EverySelfLoginIsSignedInAndNothingElse)
{
    const std::vector<std::string> self{"ada", "alan"};
    const auto users = parse_login_users(fixture_passwd, "", self);
    ASSERT_EQ(users.size(), 5U);
    EXPECT_TRUE(users[0].signed_in);
    EXPECT_TRUE(users[1].signed_in);
    EXPECT_FALSE(users[2].signed_in);
    EXPECT_FALSE(users[0].admin);  // no group file: no administrators
}

TEST(LoginUsersTest, TheEffectiveUserCountsAsSignedInWhateverUserSays)
{
    const char* previous = std::getenv("USER");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("USER", "someone-else", 1);
    const auto logins = self_logins();
    if (previous != nullptr) {
        ::setenv("USER", saved.c_str(), 1);
    } else {
        ::unsetenv("USER");
    }
    ASSERT_GE(logins.size(), 1U);
    EXPECT_EQ(logins.back(), "someone-else");
    if (logins.size() == 2) {
        EXPECT_NE(logins.front(), "someone-else");  // the effective user's own login comes first
    }
}

// ---- Checks ------------------------------------------------------------------------------------------------------

TEST(UserChecksTest, NewLogins)
{
    struct Case {
        std::string_view login;
        bool ok;
    };
    for (const auto& c : std::initializer_list<Case>{
             {"ada", true},
             {"_svc", true},
             {"a-b_9", true},
             {"abcdefghijklmnopqrstuvwxyz012345", true},   // 32
             {"abcdefghijklmnopqrstuvwxyz0123456", false},  // 33
             {"", false},
             {"-rf", false},
             {"--help", false},
             {"9lives", false},
             {"Ada", false},
             {"ada lovelace", false},
             {"ada:x", false},
             {"ada\n", false},
             {"ad\xC3\xA9", false},
             {"ada$", false},
         }) {
        EXPECT_EQ(check_new_login(c.login).has_value(), c.ok) << c.login;
    }
    EXPECT_EQ(check_new_login("").error(), "Enter a user name.");
    EXPECT_THAT(check_new_login("-rf").error(), HasSubstr("must start with a lower-case letter"));
}

TEST(UserChecksTest, FullNames)
{
    EXPECT_TRUE(check_full_name(""));
    EXPECT_TRUE(check_full_name("Ada Lovelace"));
    EXPECT_TRUE(check_full_name("-c Zoë Ødegård"));  // passed as an option's argument, never read as an option
    EXPECT_EQ(check_full_name("Lovelace, Ada").error(), "A full name cannot contain \":\" or \",\".");
    EXPECT_EQ(check_full_name("ada:x:0:0").error(), "A full name cannot contain \":\" or \",\".");
    EXPECT_THAT(check_full_name("Ada\nroot::0:0::/:/bin/sh").error(), HasSubstr("line breaks"));
    EXPECT_THAT(check_full_name("Ada\x7f").error(), HasSubstr("control characters"));
    EXPECT_THAT(check_full_name("Ada \xE2\x80\xAE").error(), HasSubstr("control characters"));
    EXPECT_EQ(check_full_name("\xC3").error(), "The full name is not valid text.");
    EXPECT_EQ(check_full_name(std::string(257, 'a')).error(), "The full name is too long.");
}

TEST(UserChecksTest, Passwords)
{
    EXPECT_TRUE(check_password("0123456789"));
    EXPECT_TRUE(check_password("pässwörd:x"));  // ten characters in twelve bytes; a ":" is fine after the login
    EXPECT_EQ(check_password("012345678").error(), "A password needs at least 10 characters.");
    EXPECT_EQ(check_password("0123456789\nroot:x").error(), "A password cannot contain line breaks.");
    EXPECT_EQ(check_password(std::string_view("0123456789\0", 11)).error(), "A password cannot contain line breaks.");
    EXPECT_EQ(check_password(std::string(513, 'a')).error(), "The password is too long.");
}

TEST(UserChecksTest, ExistingLogins)
{
    EXPECT_TRUE(is_account_login("john.doe"));
    EXPECT_TRUE(is_account_login("Admin_2"));
    EXPECT_FALSE(is_account_login("-rf"));
    EXPECT_FALSE(is_account_login(""));
    EXPECT_FALSE(is_account_login("a b"));
    EXPECT_FALSE(is_account_login("a=b"));
    EXPECT_FALSE(is_account_login("machine$"));
}

// ---- Display managers ---------------------------------------------------------------------------------------------

TEST(DisplayManagerTest, DetectedByNameByUnitOrByItsFiles)
{
    struct Case {
        std::string_view name;
        std::vector<std::pair<std::string, std::string>> files;  // relative path, text ("->" makes a link)
        std::optional<DisplayManager> kind;
        std::string main;
    };
    const std::vector<Case> cases{
        {"default-display-manager gdm3", {{"etc/X11/default-display-manager", "/usr/sbin/gdm3\n"}, {"etc/gdm3/x", ""}},
         DisplayManager::GDM, "etc/gdm3/daemon.conf"},
        {"gdm without gdm3", {{"etc/X11/default-display-manager", "/usr/sbin/gdm\n"}, {"etc/gdm/x", ""}},
         DisplayManager::GDM, "etc/gdm/custom.conf"},
        {"named lightdm over other files",
         {{"etc/X11/default-display-manager", "/usr/sbin/lightdm"}, {"etc/gdm3/daemon.conf", ""}},
         DisplayManager::LightDM, "etc/lightdm/lightdm.conf"},
        {"systemd unit", {{"etc/systemd/system/display-manager.service", "->/lib/systemd/system/sddm.service"}},
         DisplayManager::SDDM, "etc/sddm.conf"},
        {"only sddm.conf.d", {{"etc/sddm.conf.d/kde.conf", "[Theme]\n"}}, DisplayManager::SDDM, "etc/sddm.conf"},
        {"only lightdm.conf", {{"etc/lightdm/lightdm.conf", ""}}, DisplayManager::LightDM, "etc/lightdm/lightdm.conf"},
        {"unknown name falls through to files",
         {{"etc/X11/default-display-manager", "/usr/bin/xdm"}, {"etc/gdm3/daemon.conf", ""}}, DisplayManager::GDM,
         "etc/gdm3/daemon.conf"},
        {"nothing", {}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        TempDir root;
        for (const auto& [path, text] : c.files) {
            if (text.starts_with("->")) {
                fs::create_directories((root.path() / path).parent_path());
                fs::create_symlink(text.substr(2), root.path() / path);
            } else {
                write_file(root.path() / path, text);
            }
        }
        const auto found = detect_display_manager(root.path());
        ASSERT_EQ(found.has_value(), c.kind.has_value());
        if (found) {
            EXPECT_EQ(found->kind, *c.kind);
            EXPECT_EQ(found->file, root.path() / c.main);
        }
    }
}

constexpr std::string_view debian_gdm =
    "# GDM configuration storage\n"
    "\n"
    "[daemon]\n"
    "# Uncomment the line below to force the login screen to use Xorg\n"
    "#WaylandEnable=false\n"
    "\n"
    "# Enabling automatic login\n"
    "#  AutomaticLoginEnable = true\n"
    "#  AutomaticLogin = user1\n"
    "\n"
    "[security]\n"
    "\n"
    "[debug]\n"
    "#Enable=true\n";

TEST(AutomaticLoginFileTest, WhoIsLoggedInAutomatically)
{
    using DM = DisplayManager;
    struct Case {
        std::string_view name;
        DM kind;
        std::vector<std::string> texts;
        std::optional<std::string> user;
    };
    const std::vector<Case> cases{
        {"gdm as shipped", DM::GDM, {std::string(debian_gdm)}, std::nullopt},
        {"gdm on", DM::GDM, {"[daemon]\nAutomaticLoginEnable = True\nAutomaticLogin = ada\n"}, "ada"},
        {"gdm user without enable", DM::GDM, {"[daemon]\nAutomaticLogin=ada\n"}, std::nullopt},
        {"gdm off", DM::GDM, {"[daemon]\nAutomaticLoginEnable=false\nAutomaticLogin=ada\n"}, std::nullopt},
        {"gdm other section", DM::GDM, {"[security]\nAutomaticLoginEnable=true\nAutomaticLogin=ada\n"}, std::nullopt},
        {"lightdm as shipped", DM::LightDM, {std::string(testing::AccountPrefix::stock_lightdm_conf)}, std::nullopt},
        {"lightdm all seats", DM::LightDM, {"[Seat:*]\nautologin-user=ada\n"}, "ada"},
        {"lightdm legacy section", DM::LightDM, {"[SeatDefaults]\nautologin-user = ada\n"}, "ada"},
        {"lightdm first seat wins", DM::LightDM, {"[Seat:seat0]\nautologin-user=alan\n[Seat:*]\nautologin-user=ada\n"},
         "alan"},
        {"lightdm main file empties a drop-in", DM::LightDM,
         {"[Seat:*]\nautologin-user=ada\n", "[Seat:*]\nautologin-user=\n"}, std::nullopt},
        {"lightdm later key wins", DM::LightDM, {"[Seat:*]\nautologin-user=ada\nautologin-user=alan\n"}, "alan"},
        {"sddm", DM::SDDM, {"[Autologin]\nUser=ada\nSession=plasma\n"}, "ada"},
        {"sddm drop-in", DM::SDDM, {"[Autologin]\nUser=ada\n", "[Theme]\nCurrent=breeze\n"}, "ada"},
        {"sddm commented", DM::SDDM, {"[Autologin]\n#User=ada\n"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_EQ(automatic_login_user(c.kind, c.texts), c.user);
    }
}

TEST(AutomaticLoginFileTest, ChangesKeepEveryOtherLine)
{
    using DM = DisplayManager;
    struct Case {
        std::string_view name;
        DM kind;
        std::string main;
        std::optional<std::string_view> login;
        std::string expected;
        std::vector<std::string> earlier{};
    };
    const std::vector<Case> cases{
        {"gdm on", DM::GDM, std::string(debian_gdm), "ada",
         "# GDM configuration storage\n\n[daemon]\nAutomaticLoginEnable=true\nAutomaticLogin=ada\n"
         "# Uncomment the line below to force the login screen to use Xorg\n#WaylandEnable=false\n\n"
         "# Enabling automatic login\n#  AutomaticLoginEnable = true\n#  AutomaticLogin = user1\n\n"
         "[security]\n\n[debug]\n#Enable=true\n"},
        {"gdm off", DM::GDM, "[daemon]\nAutomaticLoginEnable = true\nAutomaticLogin = ada\nTimedLoginEnable=false\n",
         std::nullopt, "[daemon]\nAutomaticLoginEnable=false\nTimedLoginEnable=false\n"},
        {"gdm other user replaced", DM::GDM, "[daemon]\nAutomaticLoginEnable=true\nAutomaticLogin=alan\n", "ada",
         "[daemon]\nAutomaticLoginEnable=true\nAutomaticLogin=ada\n"},
        {"gdm new file", DM::GDM, "", "ada", "[daemon]\nAutomaticLoginEnable=true\nAutomaticLogin=ada\n"},
        {"lightdm on", DM::LightDM, std::string(testing::AccountPrefix::stock_lightdm_conf), "ada",
         "[LightDM]\n#start-default-seat=true\n\n[Seat:*]\n#type=local\ngreeter-session=lightdm-gtk-greeter\n"
         "autologin-user=ada\n#autologin-user=\n#autologin-user-timeout=0\n\n[XDMCPServer]\n#enabled=false\n"},
        {"lightdm off everywhere", DM::LightDM,
         "[SeatDefaults]\nautologin-user=ada\n[Seat:*]\nautologin-user=ada\n[Seat:seat0]\nautologin-user=ada\n",
         std::nullopt, "[SeatDefaults]\n[Seat:*]\n[Seat:seat0]\n"},
        {"lightdm legacy section kept", DM::LightDM, "[SeatDefaults]\ngreeter-hide-users=true\n", "ada",
         "[SeatDefaults]\ngreeter-hide-users=true\nautologin-user=ada\n"},
        {"lightdm off over a drop-in", DM::LightDM, "[LightDM]\n", std::nullopt, "[LightDM]\n\n[Seat:*]\nautologin-user=\n",
         {"[Seat:*]\nautologin-user=alan\n"}},
        {"lightdm on over a drop-in's first seat", DM::LightDM, "", "ada",
         "[Seat:*]\nautologin-user=ada\n\n[Seat:seat0]\nautologin-user=ada\n", {"[Seat:seat0]\nautologin-user=alan\n"}},
        {"sddm on", DM::SDDM, "[Theme]\nCurrent=breeze\n", "ada", "[Theme]\nCurrent=breeze\n\n[Autologin]\nUser=ada\n"},
        {"sddm off", DM::SDDM, "[Autologin]\nUser=ada\nSession=plasma\n", std::nullopt, "[Autologin]\nSession=plasma\n"},
        {"sddm off over a drop-in", DM::SDDM, "", std::nullopt, "[Autologin]\nUser=\n", {"[Autologin]\nUser=ada\n"}},
        {"windows line ends", DM::SDDM, "[Autologin]\r\nUser=alan\r\n", "ada", "[Autologin]\nUser=ada\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        const auto changed = with_automatic_login(c.kind, c.main, c.login, c.earlier);
        EXPECT_EQ(changed, c.expected);
        auto texts = c.earlier;
        texts.push_back(changed);
        EXPECT_EQ(automatic_login_user(c.kind, texts), c.login ? std::optional<std::string>(*c.login) : std::nullopt);
    }
}

// ---- The command path, argument by argument ------------------------------------------------------------------------

// A machine with account files and a LightDM configuration, changed through a runner that records the commands and
// answers success.
class ShadowCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_file(root_.path() / "etc/passwd", fixture_passwd);
        write_file(root_.path() / "etc/group", fixture_group);
        write_file(root_.path() / "etc/lightdm/lightdm.conf", "[Seat:*]\nautologin-user=alan\n");
        write_file(root_.path() / "etc/X11/default-display-manager", "/usr/sbin/lightdm\n");
    }

    ShadowUsers users(ShadowUsers::Options options = {})
    {
        options.prefix = root_.path();
        options.pkexec = "/usr/bin/pkexec";
        options.self = std::vector<std::string>{"grace"};
        return ShadowUsers(runner_, std::move(options));
    }

    [[nodiscard]] std::vector<std::string> argv(std::size_t n) const
    {
        const auto call = runner_->calls().at(n);
        std::vector<std::string> out{call.program};
        out.insert(out.end(), call.args.begin(), call.args.end());
        return out;
    }

    TempDir root_;
    std::shared_ptr<cmd_runner::FakeRunner> runner_ = std::make_shared<cmd_runner::FakeRunner>();
};

TEST_F(ShadowCommandsTest, EveryChangeIsOnePkexecRunWithTheValueAfterItsOptionOrAfterDashDash)
{
    auto backend = users();
    const std::string prefix = root_.path().string();
    ASSERT_TRUE(backend.create_user("bob", "-c Bob", Role::Standard));
    EXPECT_EQ(argv(0), (std::vector<std::string>{"/usr/bin/pkexec", "/usr/sbin/useradd", "--prefix", prefix,
                                                 "--create-home", "--shell", "/bin/bash", "--comment", "-c Bob", "--",
                                                 "bob"}));
    ASSERT_TRUE(backend.create_user("eve", "", Role::Administrator));
    EXPECT_EQ(argv(1), (std::vector<std::string>{"/usr/bin/pkexec", "/usr/sbin/useradd", "--prefix", prefix,
                                                 "--create-home", "--shell", "/bin/bash", "--comment", "", "--groups",
                                                 "sudo", "--", "eve"}));
    ASSERT_TRUE(backend.set_password("ada", "correct horse battery"));
    EXPECT_EQ(argv(2), (std::vector<std::string>{"/usr/bin/pkexec", "/usr/sbin/chpasswd", "--root", prefix,
                                                 "--crypt-method", "YESCRYPT"}));
    ASSERT_TRUE(backend.delete_user("ada", true));
    EXPECT_EQ(argv(3), (std::vector<std::string>{"/usr/bin/pkexec", "/usr/sbin/userdel", "--prefix", prefix,
                                                 "--remove", "--", "ada"}));
    ASSERT_TRUE(backend.delete_user("odd", false));
    EXPECT_EQ(argv(4), (std::vector<std::string>{"/usr/bin/pkexec", "/usr/sbin/userdel", "--prefix", prefix, "--",
                                                 "odd"}));
    ASSERT_TRUE(backend.set_role("alan", true));
    EXPECT_EQ(argv(5), (std::vector<std::string>{"/usr/bin/pkexec", "/usr/sbin/usermod", "--prefix", prefix,
                                                 "--append", "--groups", "sudo", "--", "alan"}));
    ASSERT_TRUE(backend.set_role("grace", false));
    EXPECT_EQ(argv(6), (std::vector<std::string>{"/usr/bin/pkexec", "/usr/sbin/usermod", "--prefix", prefix,
                                                 "--remove", "--groups", "wheel", "--", "grace"}));
    ASSERT_EQ(runner_->calls().size(), 7U);

    // The password reached standard input only.
    const auto chpasswd = runner_->calls().at(2);
    for (const auto& arg : chpasswd.args) {
        EXPECT_THAT(arg, ::testing::Not(HasSubstr("horse")));
    }
}

TEST_F(ShadowCommandsTest, NothingRunsForBadValuesOtherAccountsOrWhatIsAlreadySo)
{
    auto backend = users();
    struct Case {
        std::string_view name;
        std::function<Status()> change;
        std::string error;  // empty: success without a run
    };
    const std::vector<Case> cases{
        {"option-like login", [&] { return backend.create_user("-o", "x", Role::Standard); },
         "A user name must start with a lower-case letter or \"_\" and hold only lower-case letters, digits, \"_\" and "
         "\"-\"."},
        {"full name with a colon", [&] { return backend.create_user("bob", "a:b", Role::Standard); },
         "A full name cannot contain \":\" or \",\"."},
        {"login taken by a system account", [&] { return backend.create_user("daemon", "", Role::Standard); },
         "The user name daemon is already taken."},
        {"short password", [&] { return backend.set_password("ada", "short"); },
         "A password needs at least 10 characters."},
        {"password for a system account", [&] { return backend.set_password("root", "0123456789"); },
         "root is not a login account on this device"},
        {"remove a system account", [&] { return backend.delete_user("daemon", true); },
         "daemon is not a login account on this device"},
        {"remove an unknown account", [&] { return backend.delete_user("nosuch", true); },
         "nosuch is not a login account on this device"},
        {"remove an option", [&] { return backend.delete_user("-rf", false); }, "-rf is not a login account on this device"},
        {"already administrator", [&] { return backend.set_role("ada", true); }, ""},
        {"already standard", [&] { return backend.set_role("alan", false); }, ""},
        {"automatic login already on", [&] { return backend.set_automatic_login("alan", true); }, ""},
        {"automatic login already off", [&] { return backend.set_automatic_login("ada", false); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        const auto result = c.change();
        if (c.error.empty()) {
            EXPECT_TRUE(result) << result.error();
        } else {
            ASSERT_FALSE(result);
            EXPECT_EQ(result.error(), c.error);
        }
    }
    EXPECT_TRUE(runner_->calls().empty());
}

TEST_F(ShadowCommandsTest, AnswersOfPkexecBecomeSentences)
{
    auto backend = users();
    struct Case {
        cmd_runner::Result answer;
        std::string error;
    };
    const std::vector<Case> cases{
        {cmd_runner::FakeRunner::exited(126, "", "Error executing command as another user: Request dismissed\n"),
         "the request for administrator rights was cancelled"},
        {cmd_runner::FakeRunner::exited(
             127, "", "Error executing command as another user: Not authorized\n\nThis incident has been reported.\n"),
         "you are not allowed to change user accounts on this device"},
        {cmd_runner::FakeRunner::exited(6, "", "userdel: user 'ada' does not exist\n"),
         "userdel: user 'ada' does not exist"},
        {cmd_runner::FakeRunner::exited(8, "", ""), "userdel ended with exit status 8"},
        {cmd_runner::FakeRunner::failed(cmd_runner::ErrorKind::NotFound, "/usr/bin/pkexec not found"),
         "administrator rights cannot be asked for on this device (/usr/bin/pkexec not found)"},
        {cmd_runner::FakeRunner::failed(cmd_runner::ErrorKind::TimedOut, "pkexec timed out after 120 s"),
         "the request for administrator rights was not answered in time"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        runner_->set_handler([&](const cmd_runner::Command&) { return c.answer; });
        const auto result = backend.delete_user("ada", false);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), c.error);
    }
}

TEST_F(ShadowCommandsTest, ListsAccountsWithTheDisplayManagersAutomaticLogin)
{
    auto backend = users();
    const auto listed = backend.login_users();
    ASSERT_TRUE(listed) << listed.error();
    std::vector<std::pair<std::string, bool>> automatic;
    for (const auto& user : *listed) {
        automatic.emplace_back(user.login, user.automatic_login);
    }
    EXPECT_EQ(automatic, (std::vector<std::pair<std::string, bool>>{
                             {"ada", false}, {"alan", true}, {"grace", false}, {"odd", false}, {"last", false}}));
    EXPECT_TRUE((*listed)[2].signed_in);
    EXPECT_EQ(backend.automatic_login("alan"), true);
    EXPECT_EQ(backend.automatic_login("ada"), false);

    fs::remove(root_.path() / "etc/X11/default-display-manager");
    fs::remove_all(root_.path() / "etc/lightdm");
    EXPECT_EQ(backend.automatic_login("ada").error(), "no display manager is set up on this device");
    EXPECT_EQ(backend.set_automatic_login("ada", true).error(), "no display manager is set up on this device");
    ASSERT_TRUE(backend.login_users());  // still listed, with automatic login off
    fs::remove(root_.path() / "etc/passwd");
    EXPECT_THAT(backend.login_users().error(), HasSubstr("could not read"));
}

// ---- The real tools on a prefix folder ----------------------------------------------------------------------------

class ShadowToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto prefix = testing::AccountPrefix::create();
        if (!prefix) {
            GTEST_SKIP() << prefix.error();
        }
        prefix_ = std::move(*prefix);
    }

    ShadowUsers users() { return ShadowUsers(cmd_runner::system_runner(), prefix_->options({"grace"})); }
    [[nodiscard]] std::vector<std::string> runs() const { return prefix_->runs(); }
    [[nodiscard]] std::string line_of(std::string_view file, std::string_view login) const
    {
        return prefix_->line_of(file, login);
    }

    std::unique_ptr<testing::AccountPrefix> prefix_;
};

TEST_F(ShadowToolsTest, CreateSetAPasswordChangeTheRoleAndRemove)
{
    auto backend = users();
    ASSERT_TRUE(backend.create_user("bob", "Bob Builder", Role::Standard));
    EXPECT_THAT(line_of("passwd", "bob"), ::testing::MatchesRegex("bob:x:[0-9]+:[0-9]+:Bob Builder:/home/bob:/bin/bash"));
    EXPECT_TRUE(fs::is_directory(prefix_->root() / "home/bob"));

    ASSERT_TRUE(backend.set_password("bob", "correct horse battery"));
    EXPECT_THAT(line_of("shadow", "bob"), ::testing::StartsWith("bob:$y$"));
    EXPECT_EQ(prefix_->stdin_of(1), "bob:correct horse battery\n");
    for (const auto& run : runs()) {
        EXPECT_THAT(run, ::testing::Not(HasSubstr("horse")));
    }

    auto listed = backend.login_users();
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 3U);
    EXPECT_EQ((*listed)[2], (LocalUser{.login = "bob", .full_name = "Bob Builder", .uid = (*listed)[2].uid}));

    ASSERT_TRUE(backend.set_role("bob", true));
    EXPECT_EQ(line_of("group", "sudo"), "sudo:x:27:ada,bob");
    ASSERT_TRUE(backend.set_role("bob", true));  // already so: no run
    ASSERT_TRUE(backend.set_role("ada", false));
    EXPECT_EQ(line_of("group", "sudo"), "sudo:x:27:bob");

    ASSERT_TRUE(backend.delete_user("bob", false));
    EXPECT_EQ(line_of("passwd", "bob"), "");
    EXPECT_TRUE(fs::is_directory(prefix_->root() / "home/bob"));  // files kept
    EXPECT_EQ(runs().size(), 5U);
}

TEST_F(ShadowToolsTest, RemovingWithFilesRemovesTheHomeFolder)
{
    auto backend = users();
    ASSERT_TRUE(backend.create_user("carol", "", Role::Administrator));
    EXPECT_THAT(line_of("passwd", "carol"), HasSubstr("::/home/carol:"));  // an empty comment
    EXPECT_EQ(line_of("group", "sudo"), "sudo:x:27:ada,carol");
    ASSERT_TRUE(backend.delete_user("carol", true));
    EXPECT_EQ(line_of("passwd", "carol"), "");
    EXPECT_EQ(line_of("group", "sudo"), "sudo:x:27:ada");
    EXPECT_FALSE(fs::exists(prefix_->root() / "home/carol"));
}

TEST_F(ShadowToolsTest, AToolsRefusalReachesTheCaller)
{
    auto backend = users();
    // A group of that name exists already, so useradd cannot make the user's own group.
    const auto made = backend.create_user("users", "", Role::Standard);
    ASSERT_FALSE(made);
    EXPECT_THAT(made.error(), HasSubstr("useradd: group users exists"));
    EXPECT_EQ(line_of("passwd", "users"), "");
}

TEST_F(ShadowToolsTest, AutomaticLoginIsWrittenWholeByTheRootShell)
{
    auto backend = users();
    const auto before = fs::status(prefix_->root() / "etc/lightdm/lightdm.conf").permissions();
    ASSERT_TRUE(backend.set_automatic_login("ada", true));
    EXPECT_EQ(backend.automatic_login("ada"), true);
    EXPECT_THAT(read_file(prefix_->root() / "etc/lightdm/lightdm.conf"),
                HasSubstr("greeter-session=lightdm-gtk-greeter\nautologin-user=ada\n#autologin-user=\n"));
    EXPECT_EQ(fs::status(prefix_->root() / "etc/lightdm/lightdm.conf").permissions(), before);
    ASSERT_TRUE(backend.set_automatic_login("grace", true));  // replaces ada
    EXPECT_EQ(backend.automatic_login("ada"), false);
    ASSERT_TRUE(backend.set_automatic_login("grace", false));
    EXPECT_EQ(read_file(prefix_->root() / "etc/lightdm/lightdm.conf"), testing::AccountPrefix::stock_lightdm_conf);
    EXPECT_EQ(runs().size(), 3U);
    EXPECT_THAT(runs()[0], ::testing::StartsWith("/bin/sh -c "));
    EXPECT_THAT(runs()[0], ::testing::EndsWith(" sh " + (prefix_->root() / "etc/lightdm/lightdm.conf").string()));
    // No temporary file is left beside it.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(prefix_->root() / "etc/lightdm")) {
        ++files;
    }
    EXPECT_EQ(files, 1U);
}

TEST_F(ShadowToolsTest, AutomaticLoginGoesWithTheAccount)
{
    auto backend = users();
    ASSERT_TRUE(backend.set_automatic_login("ada", true));
    ASSERT_TRUE(backend.delete_user("ada", false));
    EXPECT_EQ(read_file(prefix_->root() / "etc/lightdm/lightdm.conf"), testing::AccountPrefix::stock_lightdm_conf);
    ASSERT_TRUE(backend.create_user("ada", "", Role::Standard));
    EXPECT_EQ(backend.automatic_login("ada"), false);  // a new account of that name does not inherit it
}

TEST_F(ShadowToolsTest, ANewConfigurationFileIsMadeReadableByAll)
{
    fs::remove(prefix_->root() / "etc/lightdm/lightdm.conf");
    auto backend = users();
    ASSERT_TRUE(backend.set_automatic_login("ada", true));
    EXPECT_EQ(read_file(prefix_->root() / "etc/lightdm/lightdm.conf"), "[Seat:*]\nautologin-user=ada\n");
    EXPECT_EQ(fs::status(prefix_->root() / "etc/lightdm/lightdm.conf").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

}  // namespace
}  // namespace system_ops::users
