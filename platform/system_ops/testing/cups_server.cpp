#include "system_ops/testing/cups_server.hpp"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace system_ops::testing {

using namespace std::chrono_literals;

namespace {

bool port_answers(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

std::string read_file(const std::filesystem::path& file)
{
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream out(file);
    out << text;
}

bool wait_for_port(int port, test_buses::Child& server)
{
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (port_answers(port)) {
            return true;
        }
        if (!server.running()) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

}  // namespace

int free_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
        port = ntohs(addr.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

std::string printer_uri(int port)
{
    return fmt::format("ipp://localhost:{}/ipp/print", port);
}

std::optional<std::string> CupsServer::missing_program()
{
    for (const char* program :
         {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lp", "/usr/bin/lpstat", "/usr/sbin/ippeveprinter"}) {
        if (!std::filesystem::exists(program)) {
            return fmt::format("{} is not installed (packages cups, cups-daemon, cups-client, cups-ipp-utils); "
                               "scripts/install-deps adds them",
                               program);
        }
    }
    if (!test_buses::have_program("dbus-daemon")) {
        return std::string("dbus-daemon is not installed (ippeveprinter needs a D-Bus system bus)");
    }
    return std::nullopt;
}

std::expected<std::unique_ptr<CupsServer>, std::string> CupsServer::start()
{
    auto server = std::unique_ptr<CupsServer>(new CupsServer());
    if (auto error = server->launch()) {
        return std::unexpected(*error);
    }
    return server;
}

CupsServer::~CupsServer()
{
    printers_.clear();
    cupsd_.reset();
    buses_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string CupsServer::address() const
{
    return fmt::format("127.0.0.1:{}", cups_port_);
}

std::string CupsServer::error_log() const
{
    return read_file(dir_ / "log" / "error_log");
}

std::size_t CupsServer::times_available(std::string_view queue) const
{
    const std::string log = error_log();
    const std::string ready = fmt::format("Printer \"{}\" is now available.", queue);
    std::size_t count = 0;
    for (auto at = log.find(ready); at != std::string::npos; at = log.find(ready, at + ready.size())) {
        ++count;
    }
    return count;
}

std::optional<std::string> CupsServer::launch()
{
    std::string user;
    std::string group_name;
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    if (::geteuid() == 0) {
        // cupsd refuses to run its jobs as root.
        const passwd* lp = ::getpwnam("lp");
        if (lp == nullptr) {
            return std::string("cupsd refuses to run as root and there is no \"lp\" user to run it as");
        }
        user = lp->pw_name;
        uid = lp->pw_uid;
        gid = lp->pw_gid;
    } else {
        const passwd* me = ::getpwuid(::geteuid());
        if (me == nullptr) {
            return std::string("this user has no passwd entry");
        }
        user = me->pw_name;
    }
    const ::group* g = ::getgrgid(gid);
    group_name = g != nullptr ? g->gr_name : user;

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vorn_cups.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        return std::string("no temporary folder");
    }
    dir_ = pattern;
    std::filesystem::permissions(dir_, std::filesystem::perms(0755));
    for (const char* sub : {"cache", "log", "spool", "run", "office", "nearby"}) {
        std::filesystem::create_directories(dir_ / sub);
        if (::geteuid() == 0 && ::chown((dir_ / sub).c_str(), uid, gid) != 0) {
            return fmt::format("cannot hand {} to the lp user", sub);
        }
    }
    cups_port_ = free_port();
    office_port_ = free_port();
    nearby_port_ = free_port();
    if (cups_port_ == 0 || office_port_ == 0 || nearby_port_ == 0 || cups_port_ == office_port_ ||
        cups_port_ == nearby_port_ || office_port_ == nearby_port_) {
        return std::string("no free loopback ports");
    }

    write_file(dir_ / "cupsd.conf", fmt::format(R"(Listen 127.0.0.1:{}
LogLevel info
Browsing Off
WebInterface No
<Location />
Order allow,deny
Allow 127.0.0.1
</Location>
<Location /admin>
Order allow,deny
Allow 127.0.0.1
</Location>
<Policy default>
<Limit All>
Order deny,allow
</Limit>
</Policy>
)",
                                                cups_port_));
    write_file(dir_ / "cups-files.conf", fmt::format(R"(CacheDir {0}/cache
ErrorLog {0}/log/error_log
AccessLog {0}/log/access_log
PageLog {0}/log/page_log
RequestRoot {0}/spool
StateDir {0}/run
ServerRoot {0}
ServerBin /usr/lib/cups
DataDir /usr/share/cups
TempDir {0}/spool
User {1}
Group {2}
SystemGroup root
)",
                                                     dir_.string(), user, group_name));

    // ippeveprinter wants a D-Bus system bus for its DNS-SD client, even with announcements off; the private
    // buses also keep every tool of the tests away from the machine's own.
    auto buses = test_buses::PrivateBuses::start();
    if (!buses) {
        return "private D-Bus buses did not start: " + buses.error();
    }
    buses_ = std::move(*buses);

    auto cupsd = test_buses::Child::start({"/usr/sbin/cupsd", "-f", "-c", (dir_ / "cupsd.conf").string(), "-s",
                                           (dir_ / "cups-files.conf").string()},
                                          dir_ / "cupsd.out");
    if (!cupsd) {
        return "cupsd did not start: " + cupsd.error();
    }
    cupsd_.emplace(std::move(*cupsd));
    if (!wait_for_port(cups_port_, *cupsd_)) {
        return "cupsd did not come up; its log says: " + error_log();
    }
    for (const auto& [name, port] : {std::pair{"office", office_port_}, std::pair{"nearby", nearby_port_}}) {
        auto printer = test_buses::Child::start(
            {"/usr/sbin/ippeveprinter", "-p", std::to_string(port), "-r", "off", "-n", "localhost", "-d",
             (dir_ / name).string(), fmt::format("Vorn {} printer", name)},
            dir_ / fmt::format("{}.out", name));
        if (!printer) {
            return "ippeveprinter did not start: " + printer.error();
        }
        printers_.push_back(std::move(*printer));
        if (!wait_for_port(port, printers_.back())) {
            return "ippeveprinter did not come up: " + read_file(dir_ / fmt::format("{}.out", name));
        }
    }
    return std::nullopt;
}

}  // namespace system_ops::testing
