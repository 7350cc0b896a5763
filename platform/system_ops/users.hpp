#pragma once
// The machine's login accounts: listing them from the account files, and creating, changing and removing them
// through the shadow tools, with root rights asked from polkit (pkexec); automatic login through the display
// manager's configuration file.
//
//   auto users = system_ops::users::login_users();                        // regular accounts, in file order
//   auto made = system_ops::users::create_user("ada", "Ada Lovelace", system_ops::users::Role::Standard);
//   auto set = system_ops::users::set_password("ada", secret.view());     // on chpasswd's standard input
//
// Rules every change keeps:
//   - Values are checked before any tool sees them: a new login follows the shadow tools' own name rule
//     (check_new_login), a full name holds no ":", "," or control character (check_full_name), a password has at
//     least 10 characters and no line break (check_password). An existing account is changed only when the account
//     files list it as a regular login account (uid 1000 to 59999, a login shell). A value is always passed after
//     "--" or as the argument of its option, so it can never be read as an option.
//   - The password goes to chpasswd on standard input ("login:password\n"), never into the arguments; the copy made
//     for it is wiped when the run ends.
//   - A change that is already in effect (a role the account has, automatic login already on) runs nothing, so it
//     asks for no authentication.
//   - Every privileged step is one pkexec run with a time limit long enough for the user to answer polkit's dialog;
//     cancelling the dialog or being refused gives a sentence that says so.
//
// Automatic login lives in the configuration of the display manager the machine starts (detect_display_manager):
// LightDM ("autologin-user" in [Seat:*]), GDM ("AutomaticLoginEnable" and "AutomaticLogin" in [daemon]) or SDDM
// ("User" in [Autologin]). It is read from the drop-in folders and the main file in the order the display manager
// reads them, and written to the main file only, whole and atomically, by a root shell that replaces the file from
// standard input (the script is fixed; the path is its positional argument).
//
// The free functions forward to the current UsersService (see current.hpp); the real one is ShadowUsers. Tests run
// the real shadow tools on a prefix folder holding copies of the account files (Options::prefix) with a stand-in for
// pkexec that runs its arguments (Options::pkexec).

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::users {

// The lowest and highest uid of a regular login account.
inline constexpr std::uint64_t first_login_uid = 1000;
inline constexpr std::uint64_t last_login_uid = 59999;
// The most characters a login may have (the shadow tools' limit).
inline constexpr std::size_t max_login_length = 32;
// The most bytes of a full name.
inline constexpr std::size_t max_full_name_bytes = 256;
// The fewest characters and the most bytes of a password.
inline constexpr std::size_t min_password_chars = 10;
inline constexpr std::size_t max_password_bytes = 512;

enum class Role : std::uint8_t { Standard, Administrator };

// One regular login account of the machine.
struct LocalUser {
    std::string login;
    // The first comma-separated part of the account's comment field, trimmed and cleaned; the login when empty.
    std::string full_name;
    std::uint64_t uid = 0;
    // A member of the group "sudo" or "wheel" (listed in the group's member list; the primary group does not count).
    bool admin = false;
    // The user this program runs for: the effective user's account, or the login in $USER.
    bool signed_in = false;
    bool automatic_login = false;

    friend bool operator==(const LocalUser&, const LocalUser&) = default;
};

struct AccountFiles {
    std::filesystem::path passwd = "/etc/passwd";
    std::filesystem::path group = "/etc/group";

    // The account files below a root folder (root/etc/passwd, root/etc/group).
    [[nodiscard]] static AccountFiles under(const std::filesystem::path& root);
};

// ---- Reading the account files (no tools) --------------------------------------------------------------------------

// The regular login accounts in passwd text, in file order, with automatic_login false. A line is listed when it has
// at least seven ":"-separated fields, a uid of 1000 to 59999 (decimal digits, a leading "+" allowed), a login
// shell that ends neither in "nologin" nor in "false", and a login that is_account_login accepts. `group` gives the
// administrators; `self` the logins that count as signed in.
[[nodiscard]] std::vector<LocalUser> parse_login_users(std::string_view passwd, std::string_view group,
                                                       std::span<const std::string> self);

// The logins this program counts as its own user: the effective user's login (from the system's user database)
// and $USER when set; without duplicates.
[[nodiscard]] std::vector<std::string> self_logins();

// ---- Value checks --------------------------------------------------------------------------------------------------

// A login for a new account: 1 to 32 characters, a lower-case ASCII letter or "_" first, then lower-case letters,
// digits, "_" and "-". The error is a sentence for the user.
[[nodiscard]] Status check_new_login(std::string_view login);
// A full name: UTF-8 of at most 256 bytes without ":", ",", control or bidirectional-override characters (it may be
// empty).
[[nodiscard]] Status check_full_name(std::string_view full_name);
// A password: at least 10 characters, at most 512 bytes of UTF-8, no line break and no NUL.
[[nodiscard]] Status check_password(std::string_view password);
// Whether an existing account's login may be handed to a tool or written to a configuration file: 1 to 32 ASCII
// letters, digits, ".", "_" and "-", not starting with "-".
[[nodiscard]] bool is_account_login(std::string_view login);

// ---- Display managers ---------------------------------------------------------------------------------------------

enum class DisplayManager : std::uint8_t { LightDM, GDM, SDDM };

// Where a display manager keeps its configuration: the main file (the one written) and the drop-in folders whose
// "*.conf" files it reads before the main file, in the order it reads them.
struct DisplayManagerConfig {
    DisplayManager kind = DisplayManager::LightDM;
    std::filesystem::path file;
    std::vector<std::filesystem::path> drop_in_dirs;

    friend bool operator==(const DisplayManagerConfig&, const DisplayManagerConfig&) = default;
};

// The configuration of the display manager set up below `root` ("/" for the machine): the one named by
// etc/X11/default-display-manager, else by the display-manager.service link of systemd, else the first whose
// configuration exists (GDM, LightDM, SDDM). None when there is no display manager.
[[nodiscard]] std::optional<DisplayManagerConfig> detect_display_manager(const std::filesystem::path& root = "/");

// The login the configuration texts log in automatically (the drop-ins' texts first, the main file's last; a later
// value wins), or none.
[[nodiscard]] std::optional<std::string> automatic_login_user(DisplayManager kind,
                                                              std::span<const std::string> texts);

// The main file's text changed so that `login` is logged in automatically (or, with none, nobody is): the keys are
// replaced where they stand, added to their section (made when missing) otherwise, and everything else is kept as
// it was. `earlier` are the drop-ins' texts: when one of them still names a login after the change, an explicit
// empty value is written to override it.
[[nodiscard]] std::string with_automatic_login(DisplayManager kind, std::string_view main_text,
                                               std::optional<std::string_view> login,
                                               std::span<const std::string> earlier = {});

// ---- The service ---------------------------------------------------------------------------------------------------

class UsersService {
public:
    virtual ~UsersService() = default;

    // The regular login accounts (see parse_login_users) with their automatic login. An error when the passwd file
    // cannot be read; an unreadable group file gives no administrators.
    [[nodiscard]] virtual Result<std::vector<LocalUser>> login_users() = 0;
    // A new account with a home folder, "/bin/bash" as its shell, the full name as its comment, in the
    // administrators group for Role::Administrator. It has no password until set_password.
    [[nodiscard]] virtual Status create_user(std::string_view login, std::string_view full_name, Role role) = 0;
    [[nodiscard]] virtual Status set_password(std::string_view login, std::string_view password) = 0;
    // Removes the account, and its home folder and mail spool when `remove_files`; automatic login of the account
    // is switched off with it.
    [[nodiscard]] virtual Status delete_user(std::string_view login, bool remove_files) = 0;
    // Adds the account to the administrators group ("sudo", or "wheel" where there is no "sudo") or removes it
    // from both.
    [[nodiscard]] virtual Status set_role(std::string_view login, bool admin) = 0;
    // Logs the account in automatically at start-up (replacing any other account), or stops doing so.
    [[nodiscard]] virtual Status set_automatic_login(std::string_view login, bool enabled) = 0;
    [[nodiscard]] virtual Result<bool> automatic_login(std::string_view login) = 0;
};

[[nodiscard]] std::shared_ptr<UsersService> current();
// Puts `service` in place (nullptr: the real backend again) and returns the previous one; see ScopedCurrent.
std::shared_ptr<UsersService> replace_current(std::shared_ptr<UsersService> service);

[[nodiscard]] Result<std::vector<LocalUser>> login_users();
[[nodiscard]] Status create_user(std::string_view login, std::string_view full_name, Role role);
[[nodiscard]] Status set_password(std::string_view login, std::string_view password);
[[nodiscard]] Status delete_user(std::string_view login, bool remove_files);
[[nodiscard]] Status set_role(std::string_view login, bool admin);
[[nodiscard]] Status set_automatic_login(std::string_view login, bool enabled);
[[nodiscard]] Result<bool> automatic_login(std::string_view login);

// ---- The real backend ----------------------------------------------------------------------------------------------

class ShadowUsers final : public UsersService {
public:
    struct Options {
        // The program that runs a tool as root: polkit's pkexec (absolute, as polkit matches programs by path).
        std::string pkexec = "/usr/bin/pkexec";
        // The tools, by absolute path (an unprivileged user's PATH often lacks /usr/sbin).
        std::string useradd = "/usr/sbin/useradd";
        std::string usermod = "/usr/sbin/usermod";
        std::string userdel = "/usr/sbin/userdel";
        std::string chpasswd = "/usr/sbin/chpasswd";
        std::string shell = "/bin/sh";
        // The login shell of new accounts.
        std::string login_shell = "/bin/bash";
        // When set, the tools work on the account files below this folder (useradd, usermod and userdel with
        // --prefix; chpasswd with --root and its own hashing, since PAM cannot run there) and the account files
        // and display manager are looked up below it.
        std::optional<std::filesystem::path> prefix;
        // The display manager's configuration; detected below the prefix (or "/") when none.
        std::optional<DisplayManagerConfig> display_manager;
        // The logins counted as signed in; self_logins() when none.
        std::optional<std::vector<std::string>> self;
        // Long enough for the user to answer polkit's authentication dialog.
        std::chrono::milliseconds privileged_limit = std::chrono::seconds(120);
    };

    explicit ShadowUsers(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    ShadowUsers(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<std::vector<LocalUser>> login_users() override;
    Status create_user(std::string_view login, std::string_view full_name, Role role) override;
    Status set_password(std::string_view login, std::string_view password) override;
    Status delete_user(std::string_view login, bool remove_files) override;
    Status set_role(std::string_view login, bool admin) override;
    Status set_automatic_login(std::string_view login, bool enabled) override;
    Result<bool> automatic_login(std::string_view login) override;

    [[nodiscard]] const AccountFiles& account_files() const { return files_; }

private:
    struct Accounts;
    [[nodiscard]] Result<Accounts> read_accounts() const;
    // The account when the files list it as a regular login account; else the error for the user.
    [[nodiscard]] Result<LocalUser> existing_account(std::string_view login) const;
    [[nodiscard]] Result<DisplayManagerConfig> display_manager() const;
    // Runs `program` with `args` as root; `input` (wiped afterwards) goes to its standard input.
    [[nodiscard]] Status run_privileged(const std::string& program, std::vector<std::string> args,
                                        std::optional<std::string> input = std::nullopt) const;
    [[nodiscard]] std::vector<std::string> prefix_args() const;
    // Writes the display manager's configuration so that `login` is (or is no longer) logged in automatically; no
    // run when it already is so.
    [[nodiscard]] Status write_automatic_login(std::string_view login, bool enabled) const;

    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
    AccountFiles files_;
};

}  // namespace system_ops::users
