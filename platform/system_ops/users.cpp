#include "system_ops/users.hpp"

#include "system_ops/tool.hpp"

#include "text_utf8/text_utf8.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <pwd.h>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

namespace system_ops::users {

namespace {

constexpr std::string_view log_tag = "users";

CurrentSlot<UsersService>& slot()
{
    static CurrentSlot<UsersService> instance(
        []() -> std::shared_ptr<UsersService> { return std::make_shared<ShadowUsers>(); });
    return instance;
}

// The groups whose members are administrators, in the order a new administrator is added to the first that exists.
constexpr std::array<std::string_view, 2> admin_groups = {"sudo", "wheel"};

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// An unsigned decimal number with an optional leading "+" and nothing else.
std::optional<std::uint64_t> parse_uid(std::string_view text)
{
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 19) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// Members of the administrator groups, as the group file lists them.
std::set<std::string, std::less<>> administrators(std::string_view group)
{
    std::set<std::string, std::less<>> admins;
    for (const auto line : detail::split_lines(group)) {
        const auto fields = split(line, ':');
        if (fields.size() < 4 || std::ranges::find(admin_groups, fields[0]) == admin_groups.end()) {
            continue;
        }
        for (const auto member : split(fields[3], ',')) {
            if (const auto name = text_utf8::trim_white_space(member); !name.empty()) {
                admins.emplace(name);
            }
        }
    }
    return admins;
}

// Whether the group file has a group of that name.
bool has_group(std::string_view group, std::string_view name)
{
    return std::ranges::any_of(detail::split_lines(group), [&](std::string_view line) { return split(line, ':')[0] == name; });
}

// The administrator groups that list the login as a member.
std::vector<std::string> admin_groups_of(std::string_view group, std::string_view login)
{
    std::vector<std::string> out;
    for (const auto line : detail::split_lines(group)) {
        const auto fields = split(line, ':');
        if (fields.size() < 4 || std::ranges::find(admin_groups, fields[0]) == admin_groups.end()) {
            continue;
        }
        for (const auto member : split(fields[3], ',')) {
            if (text_utf8::trim_white_space(member) == login) {
                out.emplace_back(fields[0]);
                break;
            }
        }
    }
    return out;
}

Result<std::string> read_text(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::unexpected(fmt::format("could not read {}: {}", file.string(), std::strerror(errno)));
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::unexpected(fmt::format("could not read {}: read error", file.string()));
    }
    return text;
}

// The text of a file that may be missing (then empty).
Result<std::string> read_optional_text(const std::filesystem::path& file)
{
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        return std::string();
    }
    return read_text(file);
}

bool is_dir(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

bool path_exists(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// `relative` below `root` (an absolute path's leading "/" is dropped first).
std::filesystem::path below(const std::filesystem::path& root, std::string_view relative)
{
    while (relative.starts_with('/')) {
        relative.remove_prefix(1);
    }
    return root / relative;
}

// The display manager named by a program or unit name ("/usr/sbin/gdm3", "lightdm.service").
std::optional<DisplayManager> display_manager_named(std::string_view name)
{
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    if (name.ends_with(".service")) {
        name.remove_suffix(8);
    }
    if (name == "gdm" || name == "gdm3") {
        return DisplayManager::GDM;
    }
    if (name == "lightdm") {
        return DisplayManager::LightDM;
    }
    if (name == "sddm") {
        return DisplayManager::SDDM;
    }
    return std::nullopt;
}

DisplayManagerConfig config_of(DisplayManager kind, const std::filesystem::path& root)
{
    switch (kind) {
    case DisplayManager::GDM:
        // Debian and Ubuntu ship gdm3 with daemon.conf; elsewhere GDM reads custom.conf.
        if (is_dir(below(root, "etc/gdm3")) || !is_dir(below(root, "etc/gdm"))) {
            return {kind, below(root, "etc/gdm3/daemon.conf"), {}};
        }
        return {kind, below(root, "etc/gdm/custom.conf"), {}};
    case DisplayManager::LightDM:
        return {kind,
                below(root, "etc/lightdm/lightdm.conf"),
                {below(root, "usr/share/lightdm/lightdm.conf.d"), below(root, "etc/lightdm/lightdm.conf.d")}};
    case DisplayManager::SDDM:
        return {kind, below(root, "etc/sddm.conf"), {below(root, "usr/lib/sddm/sddm.conf.d"), below(root, "etc/sddm.conf.d")}};
    }
    return {};
}

// The texts the display manager reads, in its order: each drop-in folder's "*.conf" files by name, then the main
// file (empty when missing).
Result<std::vector<std::string>> read_configuration(const DisplayManagerConfig& config)
{
    std::vector<std::string> texts;
    for (const auto& dir : config.drop_in_dirs) {
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
            if (entry.path().extension() == ".conf" && entry.is_regular_file(ec)) {
                files.push_back(entry.path());
            }
        }
        std::ranges::sort(files);
        for (const auto& file : files) {
            auto text = read_text(file);
            if (!text) {
                return std::unexpected(text.error());
            }
            texts.push_back(std::move(*text));
        }
    }
    auto main = read_optional_text(config.file);
    if (!main) {
        return std::unexpected(main.error());
    }
    texts.push_back(std::move(*main));
    return texts;
}

// Replaces a file with standard input as root: a temporary file beside it, the old file's mode and owner (0644 and
// root for a new one), flushed, then renamed over it. The path is the script's first argument, never part of it.
constexpr std::string_view replace_file_script =
    "set -eu\n"
    "dest=$1\n"
    "tmp=$(mktemp \"$dest.XXXXXX\")\n"
    "trap 'rm -f -- \"$tmp\"' EXIT\n"
    "cat > \"$tmp\"\n"
    "if [ -e \"$dest\" ]; then\n"
    "  chmod --reference=\"$dest\" -- \"$tmp\"\n"
    "  chown --reference=\"$dest\" -- \"$tmp\"\n"
    "else\n"
    "  chmod 0644 -- \"$tmp\"\n"
    "fi\n"
    "sync -- \"$tmp\"\n"
    "mv -f -- \"$tmp\" \"$dest\"\n"
    "trap - EXIT\n";

std::string program_name(std::string_view program)
{
    const auto slash = program.rfind('/');
    return std::string(slash == std::string_view::npos ? program : program.substr(slash + 1));
}

void wipe(std::optional<std::string>& text)
{
    if (text && !text->empty()) {
        sodium_memzero(text->data(), text->size());
    }
    text.reset();
}

}  // namespace

// ---- Reading -----------------------------------------------------------------------------------------------------

AccountFiles AccountFiles::under(const std::filesystem::path& root)
{
    return {below(root, "etc/passwd"), below(root, "etc/group")};
}

std::vector<LocalUser> parse_login_users(std::string_view passwd, std::string_view group,
                                         std::span<const std::string> self)
{
    const auto admins = administrators(group);
    std::vector<LocalUser> users;
    for (const auto line : detail::split_lines(passwd)) {
        const auto fields = split(line, ':');
        if (fields.size() < 7) {
            continue;
        }
        const auto uid = parse_uid(fields[2]);
        if (!uid || *uid < first_login_uid || *uid > last_login_uid) {
            continue;
        }
        if (fields[6].ends_with("nologin") || fields[6].ends_with("false")) {
            continue;
        }
        const std::string_view login = fields[0];
        if (!is_account_login(login)) {
            VORN_DEBUG(log_tag, "account with uid {} not listed: its login is not one the tools take safely", *uid);
            continue;
        }
        std::string full_name = cmd_runner::clean_text(text_utf8::trim_white_space(split(fields[4], ',')[0]),
                                                       {.max_bytes = max_full_name_bytes, .trim = true});
        users.push_back({.login = std::string(login),
                         .full_name = full_name.empty() ? std::string(login) : std::move(full_name),
                         .uid = *uid,
                         .admin = admins.contains(login),
                         .signed_in = std::ranges::find(self, login) != self.end()});
    }
    return users;
}

std::vector<std::string> self_logins()
{
    std::vector<std::string> logins;
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && *found->pw_name != '\0') {
        logins.emplace_back(found->pw_name);
    }
    if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0' && text_utf8::valid(user) &&
                                                std::ranges::find(logins, user) == logins.end()) {
        logins.emplace_back(user);
    }
    return logins;
}

// ---- Checks --------------------------------------------------------------------------------------------------------

Status check_new_login(std::string_view login)
{
    if (login.empty()) {
        return std::unexpected("Enter a user name.");
    }
    if (login.size() > max_login_length) {
        return std::unexpected(fmt::format("A user name can have at most {} characters.", max_login_length));
    }
    const auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const bool first_ok = lower(login[0]) || login[0] == '_';
    const bool rest_ok = std::ranges::all_of(login, [&](char c) { return lower(c) || digit(c) || c == '_' || c == '-'; });
    if (!first_ok || !rest_ok) {
        return std::unexpected(
            "A user name must start with a lower-case letter or \"_\" and hold only lower-case letters, digits, \"_\" "
            "and \"-\".");
    }
    return {};
}

Status check_full_name(std::string_view full_name)
{
    if (!text_utf8::valid(full_name)) {
        return std::unexpected("The full name is not valid text.");
    }
    if (full_name.size() > max_full_name_bytes) {
        return std::unexpected("The full name is too long.");
    }
    for (std::size_t i = 0; i < full_name.size();) {
        const auto [cp, length] = text_utf8::decode(full_name, i);
        if (cp == ':' || cp == ',') {
            return std::unexpected("A full name cannot contain \":\" or \",\".");
        }
        const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
        const bool bidi = (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E ||
                          cp == 0x200F || cp == 0x061C;
        if (control || bidi) {
            return std::unexpected("A full name cannot contain line breaks or control characters.");
        }
        i += length;
    }
    return {};
}

Status check_password(std::string_view password)
{
    if (password.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos) {
        return std::unexpected("A password cannot contain line breaks.");
    }
    if (!text_utf8::valid(password)) {
        return std::unexpected("The password is not valid text.");
    }
    if (password.size() > max_password_bytes) {
        return std::unexpected("The password is too long.");
    }
    std::size_t chars = 0;
    for (std::size_t i = 0; i < password.size(); i += text_utf8::decode(password, i).length) {
        ++chars;
    }
    if (chars < min_password_chars) {
        return std::unexpected(fmt::format("A password needs at least {} characters.", min_password_chars));
    }
    return {};
}

bool is_account_login(std::string_view login)
{
    if (login.empty() || login.size() > max_login_length || login.front() == '-') {
        return false;
    }
    return std::ranges::all_of(login, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-';
    });
}

// ---- Display managers ---------------------------------------------------------------------------------------------

std::optional<DisplayManagerConfig> detect_display_manager(const std::filesystem::path& root)
{
    if (auto named = read_text(below(root, "etc/X11/default-display-manager"))) {
        if (const auto kind = display_manager_named(text_utf8::trim_white_space(*named))) {
            return config_of(*kind, root);
        }
    }
    std::error_code ec;
    const auto unit = std::filesystem::read_symlink(below(root, "etc/systemd/system/display-manager.service"), ec);
    if (!ec) {
        if (const auto kind = display_manager_named(unit.filename().string())) {
            return config_of(*kind, root);
        }
    }
    if (path_exists(below(root, "etc/gdm3/daemon.conf")) || path_exists(below(root, "etc/gdm/custom.conf"))) {
        return config_of(DisplayManager::GDM, root);
    }
    if (path_exists(below(root, "etc/lightdm/lightdm.conf"))) {
        return config_of(DisplayManager::LightDM, root);
    }
    if (path_exists(below(root, "etc/sddm.conf")) || is_dir(below(root, "etc/sddm.conf.d"))) {
        return config_of(DisplayManager::SDDM, root);
    }
    return std::nullopt;
}

// ---- Current service ---------------------------------------------------------------------------------------------

std::shared_ptr<UsersService> current()
{
    return slot().get();
}

std::shared_ptr<UsersService> replace_current(std::shared_ptr<UsersService> service)
{
    return slot().replace(std::move(service));
}

Result<std::vector<LocalUser>> login_users()
{
    return current()->login_users();
}
Status create_user(std::string_view login, std::string_view full_name, Role role)
{
    return current()->create_user(login, full_name, role);
}
Status set_password(std::string_view login, std::string_view password)
{
    return current()->set_password(login, password);
}
Status delete_user(std::string_view login, bool remove_files)
{
    return current()->delete_user(login, remove_files);
}
Status set_role(std::string_view login, bool admin)
{
    return current()->set_role(login, admin);
}
Status set_automatic_login(std::string_view login, bool enabled)
{
    return current()->set_automatic_login(login, enabled);
}
Result<bool> automatic_login(std::string_view login)
{
    return current()->automatic_login(login);
}

// ---- ShadowUsers ---------------------------------------------------------------------------------------------------

struct ShadowUsers::Accounts {
    std::string passwd;
    std::string group;
};

ShadowUsers::ShadowUsers(std::shared_ptr<cmd_runner::Runner> runner) : ShadowUsers(std::move(runner), Options{}) {}

ShadowUsers::ShadowUsers(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)),
      options_(std::move(options)),
      files_(options_.prefix ? AccountFiles::under(*options_.prefix) : AccountFiles{})
{
}

Result<ShadowUsers::Accounts> ShadowUsers::read_accounts() const
{
    auto passwd = read_text(files_.passwd);
    if (!passwd) {
        return std::unexpected(passwd.error());
    }
    auto group = read_text(files_.group);
    if (!group) {
        VORN_WARN(log_tag, "no administrators known: {}", group.error());
    }
    return Accounts{std::move(*passwd), std::move(group).value_or(std::string())};
}

Result<LocalUser> ShadowUsers::existing_account(std::string_view login) const
{
    const auto missing = [&] { return std::unexpected(fmt::format("{} is not a login account on this device", login)); };
    if (!is_account_login(login)) {
        return missing();
    }
    const auto accounts = read_accounts();
    if (!accounts) {
        return std::unexpected(accounts.error());
    }
    for (auto& user : parse_login_users(accounts->passwd, accounts->group, {})) {
        if (user.login == login) {
            return std::move(user);
        }
    }
    return missing();
}

Result<DisplayManagerConfig> ShadowUsers::display_manager() const
{
    if (options_.display_manager) {
        return *options_.display_manager;
    }
    if (auto detected = detect_display_manager(options_.prefix.value_or("/"))) {
        return std::move(*detected);
    }
    return std::unexpected("no display manager is set up on this device");
}

std::vector<std::string> ShadowUsers::prefix_args() const
{
    if (!options_.prefix) {
        return {};
    }
    return {"--prefix", options_.prefix->string()};
}

Status ShadowUsers::run_privileged(const std::string& program, std::vector<std::string> args,
                                   std::optional<std::string> input) const
{
    args.insert(args.begin(), program);
    cmd_runner::Command command{.program = options_.pkexec,
                                .args = std::move(args),
                                .input = std::move(input),
                                .time_limit = options_.privileged_limit};
    const auto result = runner_->run(command);
    wipe(command.input);
    if (!result) {
        if (result.error().kind == cmd_runner::ErrorKind::NotFound) {
            return std::unexpected(
                fmt::format("administrator rights cannot be asked for on this device ({})", result.error().message));
        }
        if (result.error().kind == cmd_runner::ErrorKind::TimedOut) {
            return std::unexpected("the request for administrator rights was not answered in time");
        }
        return std::unexpected(result.error().message);
    }
    const auto& status = result->status;
    if (status.success()) {
        return {};
    }
    // pkexec's own exits: 126 when the user dismissed the dialog, 127 when authorisation failed.
    if (status.code == 126) {
        return std::unexpected("the request for administrator rights was cancelled");
    }
    if (status.code == 127 && result->stderr_text().find("Not authorized") != std::string::npos) {
        return std::unexpected("you are not allowed to change user accounts on this device");
    }
    return std::unexpected(cmd_runner::failure_text(*result, program_name(program)));
}

Result<std::vector<LocalUser>> ShadowUsers::login_users()
{
    const auto accounts = read_accounts();
    if (!accounts) {
        return std::unexpected(accounts.error());
    }
    const auto self = options_.self ? *options_.self : self_logins();
    auto users = parse_login_users(accounts->passwd, accounts->group, self);
    std::optional<std::string> automatic;
    if (const auto config = display_manager()) {
        if (const auto texts = read_configuration(*config)) {
            automatic = automatic_login_user(config->kind, *texts);
        } else {
            VORN_WARN(log_tag, "automatic login unknown: {}", texts.error());
        }
    }
    for (auto& user : users) {
        user.automatic_login = automatic == user.login;
    }
    return users;
}

Status ShadowUsers::create_user(std::string_view login, std::string_view full_name, Role role)
{
    if (auto checked = check_new_login(login); !checked) {
        return checked;
    }
    if (auto checked = check_full_name(full_name); !checked) {
        return checked;
    }
    const auto accounts = read_accounts();
    if (!accounts) {
        return std::unexpected(accounts.error());
    }
    for (const auto line : detail::split_lines(accounts->passwd)) {
        if (split(line, ':')[0] == login) {
            return std::unexpected(fmt::format("The user name {} is already taken.", login));
        }
    }
    auto args = prefix_args();
    args.insert(args.end(), {"--create-home", "--shell", options_.login_shell, "--comment", std::string(full_name)});
    if (role == Role::Administrator) {
        const auto group = std::ranges::find_if(admin_groups, [&](std::string_view g) { return has_group(accounts->group, g); });
        if (group == admin_groups.end()) {
            return std::unexpected("this device has no administrators group (sudo or wheel)");
        }
        args.insert(args.end(), {"--groups", std::string(*group)});
    }
    args.insert(args.end(), {"--", std::string(login)});
    return run_privileged(options_.useradd, std::move(args));
}

Status ShadowUsers::set_password(std::string_view login, std::string_view password)
{
    if (auto account = existing_account(login); !account) {
        return std::unexpected(account.error());
    }
    if (auto checked = check_password(password); !checked) {
        return checked;
    }
    std::vector<std::string> args;
    if (options_.prefix) {
        args = {"--root", options_.prefix->string(), "--crypt-method", "YESCRYPT"};
    }
    // One allocation of the exact size, so no partial copy of the password is left behind by a reallocation.
    std::string line;
    line.reserve(login.size() + password.size() + 2);
    line.append(login).append(":").append(password).append("\n");
    return run_privileged(options_.chpasswd, std::move(args), std::move(line));
}

Status ShadowUsers::delete_user(std::string_view login, bool remove_files)
{
    if (auto account = existing_account(login); !account) {
        return std::unexpected(account.error());
    }
    auto args = prefix_args();
    if (remove_files) {
        args.emplace_back("--remove");
    }
    args.insert(args.end(), {"--", std::string(login)});
    if (auto removed = run_privileged(options_.userdel, std::move(args)); !removed) {
        return removed;
    }
    // Automatic login must not outlive the account: a new account of the same name would inherit it.
    if (automatic_login(login).value_or(false)) {
        if (auto cleared = write_automatic_login(login, false); !cleared) {
            return std::unexpected(fmt::format("{} was removed, but automatic login still names it: {}", login,
                                               cleared.error()));
        }
    }
    return {};
}

Status ShadowUsers::set_role(std::string_view login, bool admin)
{
    const auto account = existing_account(login);
    if (!account) {
        return std::unexpected(account.error());
    }
    if (account->admin == admin) {
        return {};
    }
    const auto accounts = read_accounts();
    if (!accounts) {
        return std::unexpected(accounts.error());
    }
    auto args = prefix_args();
    if (admin) {
        const auto group = std::ranges::find_if(admin_groups, [&](std::string_view g) { return has_group(accounts->group, g); });
        if (group == admin_groups.end()) {
            return std::unexpected("this device has no administrators group (sudo or wheel)");
        }
        args.insert(args.end(), {"--append", "--groups", std::string(*group)});
    } else {
        std::string groups;
        for (const auto& group : admin_groups_of(accounts->group, login)) {
            groups += (groups.empty() ? "" : ",") + group;
        }
        args.insert(args.end(), {"--remove", "--groups", groups});
    }
    args.insert(args.end(), {"--", std::string(login)});
    return run_privileged(options_.usermod, std::move(args));
}

Status ShadowUsers::set_automatic_login(std::string_view login, bool enabled)
{
    if (auto account = existing_account(login); !account) {
        return std::unexpected(account.error());
    }
    return write_automatic_login(login, enabled);
}

Status ShadowUsers::write_automatic_login(std::string_view login, bool enabled) const
{
    const auto config = display_manager();
    if (!config) {
        return std::unexpected(config.error());
    }
    auto texts = read_configuration(*config);
    if (!texts) {
        return std::unexpected(texts.error());
    }
    if ((automatic_login_user(config->kind, *texts) == login) == enabled) {
        return {};
    }
    const std::string main = std::move(texts->back());
    texts->pop_back();
    const auto changed = with_automatic_login(config->kind, main, enabled ? std::optional(login) : std::nullopt, *texts);
    if (!config->file.is_absolute()) {
        return std::unexpected(fmt::format("{} is not an absolute path", config->file.string()));
    }
    return run_privileged(options_.shell, {"-c", std::string(replace_file_script), "sh", config->file.string()}, changed);
}

Result<bool> ShadowUsers::automatic_login(std::string_view login)
{
    const auto config = display_manager();
    if (!config) {
        return std::unexpected(config.error());
    }
    const auto texts = read_configuration(*config);
    if (!texts) {
        return std::unexpected(texts.error());
    }
    return automatic_login_user(config->kind, *texts) == login;
}

}  // namespace system_ops::users
