#pragma once
// Servers for the account tests, all on loopback, all stopped (with every process they started) when their object
// goes. Each real server runs from a temporary folder with a configuration written by the test and a certificate
// signed by a CA the test made; the client trusts that CA as one extra root.
//
//   static auto certificates = test_servers::Certificates::make();     // once per test program
//   auto dovecot = test_servers::Dovecot::start(*certificates);         // once per test suite
//   if (!dovecot) GTEST_SKIP() << dovecot.error().text;                 // only when dovecot is not installed
//
// start() fails with `missing` set when the server program is not installed (the test then skips, naming it), and
// without it when the program is there but did not come up (the test then fails).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace settings::test_servers {

struct StartError {
    std::string text;
    bool missing = false;  // the server program is not installed
};

// A folder of its own, removed with everything in it; mode 0755 so that servers dropping privileges can enter it.
class ServerDir {
public:
    explicit ServerDir(std::string_view prefix);
    ServerDir(const ServerDir&) = delete;
    ServerDir& operator=(const ServerDir&) = delete;
    ~ServerDir();
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The test CA and the certificates it signed, made with the openssl program.
struct Certificates {
    std::shared_ptr<ServerDir> dir;
    std::filesystem::path ca;            // the CA certificate the client trusts
    std::filesystem::path server_cert;   // for "localhost" and 127.0.0.1
    std::filesystem::path server_key;
    std::filesystem::path other_cert;    // for "other.test" only, signed by the same CA
    std::filesystem::path other_key;

    [[nodiscard]] static std::expected<Certificates, StartError> make();
};

// A port on 127.0.0.1 that nothing listens on at the moment.
[[nodiscard]] std::uint16_t free_port();

// A program started in a process group of its own, its output in a log file; stopped (the whole group) when the
// object goes: SIGTERM, then SIGKILL when it has not ended within a few seconds. It is killed too when the test
// program ends without stopping it.
class ServerProcess {
public:
    ServerProcess(const std::vector<std::string>& argv, const std::filesystem::path& log);
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess();

    [[nodiscard]] bool started() const { return pid_ > 0; }
    [[nodiscard]] bool running() const;
    // The exit status once the program ended by itself (-1 when a signal ended it).
    [[nodiscard]] int exit_status() const { return exit_status_; }
    void stop();

private:
    int pid_ = -1;
    mutable bool reaped_ = false;
    mutable int exit_status_ = -1;
};

// The full path of an installed program (PATH, then /usr/sbin and /sbin), or none.
[[nodiscard]] std::optional<std::filesystem::path> find_program(std::string_view name);

// A real server listening on 127.0.0.1.
class RealServer {
public:
    virtual ~RealServer() = default;
    [[nodiscard]] std::uint16_t port() const { return port_; }
    [[nodiscard]] const std::filesystem::path& dir() const { return dir_.path(); }
    // The server's own log, for a failing test's message.
    [[nodiscard]] std::string log() const;

protected:
    explicit RealServer(std::string_view name) : dir_(name) {}
    // Starts the program and waits (bounded) until the port takes connections.
    std::expected<void, StartError> launch(const std::vector<std::string>& argv, std::string_view log_name);

    ServerDir dir_;
    std::uint16_t port_ = 0;
    std::filesystem::path log_;
    std::unique_ptr<ServerProcess> process_;
};

// Users every real server knows: alice with a plain password, bob with one full of spaces, quotes and backslashes.
inline constexpr std::string_view alice = "alice";
inline constexpr std::string_view alice_password = "s3cret";
inline constexpr std::string_view bob = "bob";
inline constexpr std::string_view bob_password = R"(p a"s\s)";

// dovecot answering IMAP over implicit TLS; also listening on 127.0.0.2, where its certificate does not match.
class Dovecot final : public RealServer {
public:
    [[nodiscard]] static std::expected<std::unique_ptr<Dovecot>, StartError> start(const Certificates& certificates);

private:
    Dovecot() : RealServer("vorn-dovecot") {}
};

// radicale (CalDAV) over TLS with alice and bob.
class Radicale final : public RealServer {
public:
    [[nodiscard]] static std::expected<std::unique_ptr<Radicale>, StartError> start(const Certificates& certificates);

private:
    Radicale() : RealServer("vorn-radicale") {}
};

// lighttpd WebDAV over TLS: "/remote.php/dav/files/alice/" (Basic authentication), "/old" (301 to it) and
// "/forbidden" (403).
class Lighttpd final : public RealServer {
public:
    [[nodiscard]] static std::expected<std::unique_ptr<Lighttpd>, StartError> start(const Certificates& certificates);

private:
    Lighttpd() : RealServer("vorn-lighttpd") {}
};

// One client connection of the fake server. Every wait is bounded and ends early when the server stops.
class FakeConnection {
public:
    // Sends `text`; false when the client is gone.
    bool send(std::string_view text);
    // The next line without its line end; none when the client closed, the limit passed or the server stops.
    std::optional<std::string> read_line(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Reads and drops whatever the client sends until it closes (or the limit passes).
    void wait_until_closed(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Sends `chunk` over and over until the client closes (or the limit passes); answers the bytes sent.
    std::size_t send_until_closed(std::string_view chunk, std::chrono::milliseconds limit = std::chrono::seconds(10));

    struct HttpRequest {
        std::string request_line;
        std::map<std::string, std::string> headers;  // names in lower case
        std::string body;
    };
    // One HTTP/1.1 request (Content-Length bodies).
    std::optional<HttpRequest> read_http_request();

private:
    friend class FakeTlsServer;
    struct Io;
    explicit FakeConnection(Io& io) : io_(io) {}
    Io& io_;
};

// A TLS server on 127.0.0.1 that runs `script` for each client, one client at a time, and keeps everything clients
// sent (received()) so a test can check what went over the wire.
class FakeTlsServer {
public:
    using Script = std::function<void(FakeConnection&)>;

    FakeTlsServer(const std::filesystem::path& cert, const std::filesystem::path& key, Script script);
    FakeTlsServer(const FakeTlsServer&) = delete;
    FakeTlsServer& operator=(const FakeTlsServer&) = delete;
    ~FakeTlsServer();

    [[nodiscard]] std::uint16_t port() const { return port_; }
    [[nodiscard]] std::string received() const;
    [[nodiscard]] int connections() const { return connections_.load(); }
    [[nodiscard]] int handshakes() const { return handshakes_.load(); }

private:
    void serve();

    struct Tls;
    std::unique_ptr<Tls> tls_;
    Script script_;
    int listen_fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> handshakes_{0};
    mutable std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

}  // namespace settings::test_servers
