#include "account_probe/test_servers/test_servers.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace settings::test_servers {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

void write_text(const fs::path& path, std::string_view text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a program to its end (at most `limit`); its exit status, or -1.
int run(const std::vector<std::string>& argv, const fs::path& log, std::chrono::milliseconds limit = 30s)
{
    ServerProcess process(argv, log);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (process.running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    // A program still running is stopped when `process` goes.
    return process.running() ? -1 : process.exit_status();
}

bool port_accepts(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

std::string current_user()
{
    const passwd* entry = ::getpwuid(::geteuid());
    return entry != nullptr ? entry->pw_name : "root";
}

}  // namespace

ServerDir::ServerDir(std::string_view prefix)
{
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
        fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    }
}

ServerDir::~ServerDir()
{
    std::error_code ignored;
    if (!path_.empty()) {
        fs::remove_all(path_, ignored);
    }
}

std::optional<fs::path> find_program(std::string_view name)
{
    std::string search = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    search += ":/usr/sbin:/sbin:/usr/bin";
    std::stringstream dirs(search);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) {
            continue;
        }
        const fs::path candidate = fs::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::uint16_t free_port()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

ServerProcess::ServerProcess(const std::vector<std::string>& argv, const fs::path& log)
{
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec. The program leads a group of its own (so that stopping it stops
        // what it started) and is killed when the test program ends, even by a crash.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        const int null = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (null < 0 || out < 0) {
            ::_exit(127);
        }
        ::dup2(null, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction default_action {};
        default_action.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &default_action, nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    pid_ = pid;
}

ServerProcess::~ServerProcess() { stop(); }

bool ServerProcess::running() const
{
    if (pid_ <= 0 || reaped_) {
        return false;
    }
    int status = 0;
    const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
        reaped_ = true;
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return ended == 0;
}

void ServerProcess::stop()
{
    if (pid_ <= 0) {
        return;
    }
    ::kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    // Whatever is left of the group (the program itself or children it started) goes now.
    ::kill(-pid_, SIGKILL);
    if (!reaped_) {
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

std::expected<Certificates, StartError> Certificates::make()
{
    const auto openssl = find_program("openssl");
    if (!openssl) {
        return std::unexpected(StartError{"the openssl program is not installed", true});
    }
    Certificates made;
    made.dir = std::make_shared<ServerDir>("vorn-test-ca");
    const fs::path& dir = made.dir->path();
    const fs::path log = dir / "openssl.log";
    made.ca = dir / "ca.crt";
    made.server_cert = dir / "server.crt";
    made.server_key = dir / "server.key";
    made.other_cert = dir / "other.crt";
    made.other_key = dir / "other.key";
    const std::string tool = openssl->string();
    const auto sign = [&](const fs::path& cert, const fs::path& key, std::string_view subject, std::string_view names) {
        const fs::path request = fs::path(cert).replace_extension(".csr");
        const fs::path extensions = fs::path(cert).replace_extension(".ext");
        write_text(extensions, "subjectAltName=" + std::string(names) + "\n");
        return run({tool, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key.string(), "-out", request.string(),
                    "-subj", std::string(subject)},
                   log) == 0 &&
               run({tool, "x509", "-req", "-in", request.string(), "-CA", made.ca.string(), "-CAkey",
                    (dir / "ca.key").string(), "-CAcreateserial", "-out", cert.string(), "-days", "2", "-extfile",
                    extensions.string()},
                   log) == 0;
    };
    const bool ok = run({tool, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", (dir / "ca.key").string(),
                         "-out", made.ca.string(), "-subj", "/CN=Vorn Test CA", "-days", "2"},
                        log) == 0 &&
                    sign(made.server_cert, made.server_key, "/CN=localhost", "DNS:localhost,IP:127.0.0.1") &&
                    sign(made.other_cert, made.other_key, "/CN=other.test", "DNS:other.test");
    if (!ok || !fs::exists(made.server_cert) || !fs::exists(made.other_cert)) {
        return std::unexpected(StartError{"could not make the test certificates: " + read_text(log)});
    }
    // The servers that drop privileges read their key as another user.
    for (const auto& key : {made.server_key, made.other_key}) {
        fs::permissions(key, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                 fs::perms::others_read);
    }
    return made;
}

std::string RealServer::log() const { return read_text(log_); }

std::expected<void, StartError> RealServer::launch(const std::vector<std::string>& argv, std::string_view log_name)
{
    log_ = dir() / log_name;
    for (int attempt = 0; attempt < 2; ++attempt) {
        process_ = std::make_unique<ServerProcess>(argv, log_);
        if (!process_->started()) {
            return std::unexpected(StartError{"could not start " + argv[0]});
        }
        for (int poll = 0; poll < 200; ++poll) {
            if (port_accepts(port_)) {
                return {};
            }
            if (!process_->running()) {
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        process_->stop();
    }
    return std::unexpected(StartError{argv[0] + " did not start: " + log()});
}

std::expected<std::unique_ptr<Dovecot>, StartError> Dovecot::start(const Certificates& certificates)
{
    const auto program = find_program("dovecot");
    if (!program) {
        return std::unexpected(StartError{"dovecot is not installed (package dovecot-imapd)", true});
    }
    std::unique_ptr<Dovecot> server(new Dovecot());
    const fs::path& d = server->dir();
    for (const char* sub : {"run", "state", "mail"}) {
        fs::create_directory(d / sub);
    }
    fs::permissions(d / "mail", fs::perms::all | fs::perms::sticky_bit);
    write_text(d / "users", std::string(alice) + ":{PLAIN}" + std::string(alice_password) + "::::::\n" +
                                std::string(bob) + ":{PLAIN}" + std::string(bob_password) + "::::::\n");
    server->port_ = free_port();
    const bool root = ::geteuid() == 0;
    const std::string user = current_user();
    std::string config = "protocols = imap\n"
                         "listen = 127.0.0.1, 127.0.0.2\n"
                         "base_dir = " + (d / "run").string() + "\n"
                         "state_dir = " + (d / "state").string() + "\n"
                         "log_path = " + (d / "dovecot.log").string() + "\n"
                         "ssl = required\n"
                         "ssl_cert = <" + certificates.server_cert.string() + "\n"
                         "ssl_key = <" + certificates.server_key.string() + "\n"
                         "auth_mechanisms = plain login\n"
                         "auth_failure_delay = 0\n"
                         "disable_plaintext_auth = no\n"
                         "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " + (d / "users").string() + "\n}\n"
                         "userdb {\n  driver = static\n  args = uid=" + std::to_string(root ? 65534 : ::geteuid()) +
                         " gid=" + std::to_string(root ? 65534 : ::getegid()) + " home=" + (d / "mail").string() +
                         "/%u\n}\n"
                         "mail_location = maildir:" + (d / "mail").string() + "/%u\n"
                         "service imap-login {\n  inet_listener imap {\n    port = 0\n  }\n"
                         "  inet_listener imaps {\n    port = " + std::to_string(server->port_) +
                         "\n    ssl = yes\n  }\n}\n"
                         // Without this, a refused login makes every later one from 127.0.0.1 wait seconds.
                         "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
    if (!root) {
        config += "default_internal_user = " + user + "\ndefault_login_user = " + user + "\n";
    }
    write_text(d / "dovecot.conf", config);
    if (auto launched = server->launch({program->string(), "-F", "-c", (d / "dovecot.conf").string()},
                                       "dovecot.out");
        !launched) {
        return std::unexpected(launched.error());
    }
    server->log_ = d / "dovecot.log";
    return server;
}

std::expected<std::unique_ptr<Radicale>, StartError> Radicale::start(const Certificates& certificates)
{
    const fs::path python = "/usr/bin/python3";
    if (::access(python.c_str(), X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import radicale' >/dev/null 2>&1") != 0) {
        return std::unexpected(StartError{"radicale is not installed (package radicale)", true});
    }
    std::unique_ptr<Radicale> server(new Radicale());
    const fs::path& d = server->dir();
    write_text(d / "users", std::string(alice) + ":" + std::string(alice_password) + "\n" + std::string(bob) + ":" +
                                std::string(bob_password) + "\n");
    server->port_ = free_port();
    if (auto launched = server->launch(
            {python.string(), "-m", "radicale", "--config", "", "--server-hosts",
             "127.0.0.1:" + std::to_string(server->port_), "--server-ssl", "--server-certificate",
             certificates.server_cert.string(), "--server-key", certificates.server_key.string(), "--auth-type",
             "htpasswd", "--auth-htpasswd-filename", (d / "users").string(), "--auth-htpasswd-encryption", "plain",
             "--auth-delay", "0", "--storage-filesystem-folder", (d / "collections").string(), "--web-type", "none"},
            "radicale.log");
        !launched) {
        return std::unexpected(launched.error());
    }
    return server;
}

std::expected<std::unique_ptr<Lighttpd>, StartError> Lighttpd::start(const Certificates& certificates)
{
    const auto program = find_program("lighttpd");
    if (!program || !fs::exists("/usr/lib/lighttpd/mod_webdav.so") ||
        !fs::exists("/usr/lib/lighttpd/mod_openssl.so")) {
        return std::unexpected(StartError{
            "lighttpd with WebDAV and TLS is not installed (packages lighttpd, lighttpd-mod-webdav, "
            "lighttpd-mod-openssl)",
            true});
    }
    std::unique_ptr<Lighttpd> server(new Lighttpd());
    const fs::path& d = server->dir();
    for (const char* sub : {"www", "tmp", "files"}) {
        fs::create_directory(d / sub);
    }
    write_text(d / "users", std::string(alice) + ":" + std::string(alice_password) + "\n");
    server->port_ = free_port();
    const std::string port = std::to_string(server->port_);
    const std::string config =
        "server.modules = ( \"mod_access\", \"mod_alias\", \"mod_redirect\", \"mod_auth\", \"mod_authn_file\", "
        "\"mod_webdav\", \"mod_openssl\" )\n"
        "server.document-root = \"" + (d / "www").string() + "\"\n"
        "server.bind = \"127.0.0.1\"\n"
        "server.port = " + port + "\n"
        "server.errorlog = \"" + (d / "error.log").string() + "\"\n"
        "server.upload-dirs = ( \"" + (d / "tmp").string() + "\" )\n"
        "server.pid-file = \"" + (d / "lighttpd.pid").string() + "\"\n"
        "server.feature-flags = ( \"server.h2proto\" => \"disable\" )\n"
        "ssl.engine = \"enable\"\n"
        "ssl.pemfile = \"" + certificates.server_cert.string() + "\"\n"
        "ssl.privkey = \"" + certificates.server_key.string() + "\"\n"
        "auth.backend = \"plain\"\n"
        "auth.backend.plain.userfile = \"" + (d / "users").string() + "\"\n"
        "url.redirect = ( \"^/old/?$\" => \"https://localhost:" + port + "/remote.php/dav/files/alice/\" )\n"
        "url.redirect-code = 301\n"
        "$HTTP[\"url\"] =^ \"/forbidden\" { url.access-deny = ( \"\" ) }\n"
        "$HTTP[\"url\"] =^ \"/remote.php/dav/files/alice\" {\n"
        "  alias.url = ( \"/remote.php/dav/files/alice\" => \"" + (d / "files").string() + "\" )\n"
        "  webdav.activate = \"enable\"\n"
        "  auth.require = ( \"\" => ( \"method\" => \"basic\", \"realm\" => \"dav\", \"require\" => "
        "\"valid-user\" ) )\n"
        "}\n";
    write_text(d / "lighttpd.conf", config);
    if (auto launched = server->launch({program->string(), "-D", "-f", (d / "lighttpd.conf").string()}, "lighttpd.out");
        !launched) {
        return std::unexpected(launched.error());
    }
    server->log_ = d / "error.log";
    return server;
}

}  // namespace settings::test_servers
