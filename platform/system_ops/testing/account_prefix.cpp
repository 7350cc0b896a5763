#include "system_ops/testing/account_prefix.hpp"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace system_ops::testing {

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& file, std::string_view text, fs::perms perms)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    fs::permissions(file, perms);
}

constexpr auto readable = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
constexpr auto owner_only = fs::perms::owner_read | fs::perms::owner_write;

}  // namespace

std::expected<std::unique_ptr<AccountPrefix>, std::string> AccountPrefix::create()
{
    if (::geteuid() != 0) {
        return std::unexpected("the shadow tools write account files only as root, even below a prefix");
    }
    const users::ShadowUsers::Options defaults;
    for (const auto& tool : {defaults.useradd, defaults.usermod, defaults.userdel, defaults.chpasswd}) {
        if (!fs::exists(tool)) {
            return std::unexpected(tool + " is not installed");
        }
    }
    std::string pattern = (fs::temp_directory_path() / "vorn_accounts.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return std::unexpected("no temporary folder");
    }
    return std::unique_ptr<AccountPrefix>(new AccountPrefix(pattern));
}

AccountPrefix::AccountPrefix(fs::path dir) : dir_(std::move(dir)), root_(dir_ / "root"), pkexec_(dir_ / "pkexec")
{
    write_file(root_ / "etc/passwd",
               "root:x:0:0:root:/root:/bin/bash\n"
               "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
               "ada:x:1000:1000:Ada Lovelace:/home/ada:/bin/bash\n"
               "grace:x:1001:1001:Grace Hopper:/home/grace:/bin/bash\n",
               readable);
    write_file(root_ / "etc/group", "root:x:0:\ndaemon:x:1:\nsudo:x:27:ada\nusers:x:100:\nada:x:1000:\ngrace:x:1001:\n",
               readable);
    write_file(root_ / "etc/shadow",
               "root:*:19000:0:99999:7:::\ndaemon:*:19000:0:99999:7:::\n"
               "ada:!:19000:0:99999:7:::\ngrace:!:19000:0:99999:7:::\n",
               owner_only);
    write_file(root_ / "etc/gshadow", "root:*::\ndaemon:*::\nsudo:*::ada\nusers:*::\nada:!::\ngrace:!::\n", owner_only);
    if (fs::exists("/etc/login.defs")) {
        fs::copy_file("/etc/login.defs", root_ / "etc/login.defs");
    }
    fs::create_directories(root_ / "home/ada");
    fs::create_directories(root_ / "home/grace");
    write_file(root_ / "etc/X11/default-display-manager", "/usr/sbin/lightdm\n", readable);
    write_file(root_ / "etc/lightdm/lightdm.conf", stock_lightdm_conf, readable);
    // Each run: its arguments separated by 0x1F and ended by 0x1E (arguments may hold line feeds), its standard
    // input kept in stdin.<n>, then the arguments run with that input.
    write_file(pkexec_,
               "#!/bin/sh\n"
               "log='" + (dir_ / "pkexec.log").string() + "'\n"
               "{ for a in \"$@\"; do printf '%s\\037' \"$a\"; done; printf '\\036'; } >> \"$log\"\n"
               "n=$(tr -cd '\\036' < \"$log\" | wc -c)\n"
               "tee '" + dir_.string() + "/stdin.'$n | \"$@\"\n",
               fs::perms::owner_all);
}

AccountPrefix::~AccountPrefix()
{
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

users::ShadowUsers::Options AccountPrefix::options(std::vector<std::string> self) const
{
    return {.pkexec = pkexec_.string(), .prefix = root_, .self = std::move(self)};
}

std::vector<std::string> AccountPrefix::runs() const
{
    std::vector<std::string> out;
    std::istringstream log(read_file(dir_ / "pkexec.log"));
    std::string run;
    while (std::getline(log, run, '\036')) {
        for (char& c : run) {
            c = c == '\037' ? ' ' : c;
        }
        if (!run.empty()) {
            run.pop_back();
        }
        out.push_back(run);
    }
    return out;
}

std::string AccountPrefix::stdin_of(std::size_t n) const
{
    return read_file(dir_ / ("stdin." + std::to_string(n + 1)));
}

std::string AccountPrefix::line_of(std::string_view file, std::string_view login) const
{
    std::istringstream in(read_file(root_ / "etc" / file));
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(std::string(login) + ":")) {
            return line;
        }
    }
    return {};
}

std::string AccountPrefix::read(const fs::path& relative) const
{
    return read_file(root_ / relative);
}

}  // namespace system_ops::testing
