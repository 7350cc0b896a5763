#include "account_probe/test_servers/test_servers.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace settings::test_servers {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct CtxDeleter {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};

void set_non_blocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

struct FakeTlsServer::Tls {
    std::unique_ptr<SSL_CTX, CtxDeleter> ctx;
};

// The state of one connection: its socket and TLS session, what is buffered, and the server it belongs to.
struct FakeConnection::Io {
    int fd = -1;
    SSL* ssl = nullptr;
    std::string buffer;
    const std::atomic<bool>* stopping = nullptr;
    std::mutex* mutex = nullptr;
    std::string* received = nullptr;
    bool closed = false;

    // Waits until the socket is ready for `events`; false at the deadline or when the server stops.
    bool wait(short events, Clock::time_point deadline) const
    {
        while (!stopping->load()) {
            const auto now = Clock::now();
            if (now >= deadline) {
                return false;
            }
            pollfd entry{fd, events, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
            const int ready = ::poll(&entry, 1, static_cast<int>(std::min<std::int64_t>(left.count() + 1, 50)));
            if (ready > 0) {
                return true;
            }
        }
        return false;
    }

    // One TLS step (handshake, read or write) retried until it completes, fails or the deadline passes.
    template <class Step>
    int retry(Step step, Clock::time_point deadline)
    {
        while (true) {
            const int result = step();
            if (result > 0) {
                return result;
            }
            const int error = SSL_get_error(ssl, result);
            if (error == SSL_ERROR_WANT_READ) {
                if (!wait(POLLIN, deadline)) {
                    return 0;
                }
            } else if (error == SSL_ERROR_WANT_WRITE) {
                if (!wait(POLLOUT, deadline)) {
                    return 0;
                }
            } else {
                ERR_clear_error();
                closed = true;
                return -1;
            }
        }
    }

    // Reads what is there into the buffer; false when the client closed, the deadline passed or the server stops.
    bool fill(Clock::time_point deadline)
    {
        if (closed) {
            return false;
        }
        char chunk[4096];
        const int count = retry([&] { return SSL_read(ssl, chunk, sizeof chunk); }, deadline);
        if (count <= 0) {
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(count));
        const std::lock_guard lock(*mutex);
        received->append(chunk, static_cast<std::size_t>(count));
        return true;
    }
};

bool FakeConnection::send(std::string_view text)
{
    const auto deadline = Clock::now() + 10s;
    while (!text.empty()) {
        const int count = io_.retry(
            [&] { return SSL_write(io_.ssl, text.data(), static_cast<int>(std::min<std::size_t>(text.size(), 16384))); },
            deadline);
        if (count <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

std::optional<std::string> FakeConnection::read_line(std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (true) {
        if (const auto end = io_.buffer.find('\n'); end != std::string::npos) {
            std::string line = io_.buffer.substr(0, end);
            io_.buffer.erase(0, end + 1);
            if (line.ends_with('\r')) {
                line.pop_back();
            }
            return line;
        }
        if (!io_.fill(deadline)) {
            return std::nullopt;
        }
    }
}

void FakeConnection::wait_until_closed(std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (io_.fill(deadline)) {
        io_.buffer.clear();
    }
}

std::size_t FakeConnection::send_until_closed(std::string_view chunk, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    std::size_t sent = 0;
    while (Clock::now() < deadline && !io_.stopping->load() && send(chunk)) {
        sent += chunk.size();
    }
    return sent;
}

std::optional<FakeConnection::HttpRequest> FakeConnection::read_http_request()
{
    HttpRequest request;
    auto first = read_line();
    if (!first) {
        return std::nullopt;
    }
    request.request_line = *first;
    while (true) {
        auto line = read_line();
        if (!line) {
            return std::nullopt;
        }
        if (line->empty()) {
            break;
        }
        const auto colon = line->find(':');
        std::string name = line->substr(0, colon);
        std::ranges::transform(name, name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string value = colon == std::string::npos ? std::string() : line->substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        request.headers[name] = value;
    }
    std::size_t length = 0;
    if (const auto found = request.headers.find("content-length"); found != request.headers.end()) {
        length = std::stoul(found->second);
    }
    const auto deadline = Clock::now() + 10s;
    while (io_.buffer.size() < length) {
        if (!io_.fill(deadline)) {
            return std::nullopt;
        }
    }
    request.body = io_.buffer.substr(0, length);
    io_.buffer.erase(0, length);
    return request;
}

FakeTlsServer::FakeTlsServer(const std::filesystem::path& cert, const std::filesystem::path& key, Script script)
    : tls_(std::make_unique<Tls>()), script_(std::move(script))
{
    // A client that goes away while the script writes must not end the test program.
    ::signal(SIGPIPE, SIG_IGN);
    tls_->ctx.reset(SSL_CTX_new(TLS_server_method()));
    if (!tls_->ctx || SSL_CTX_use_certificate_chain_file(tls_->ctx.get(), cert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_->ctx.get(), key.c_str(), SSL_FILETYPE_PEM) != 1) {
        throw std::runtime_error("fake server: could not load its certificate");
    }
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 8) != 0 || ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(listen_fd_);
        throw std::runtime_error("fake server: could not listen");
    }
    port_ = ntohs(address.sin_port);
    set_non_blocking(listen_fd_);
    thread_ = std::thread([this] { serve(); });
}

FakeTlsServer::~FakeTlsServer()
{
    stopping_ = true;
    thread_.join();
    ::close(listen_fd_);
}

std::string FakeTlsServer::received() const
{
    const std::lock_guard lock(mutex_);
    return received_;
}

void FakeTlsServer::serve()
{
    while (!stopping_) {
        pollfd entry{listen_fd_, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) {
            continue;
        }
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        ++connections_;
        FakeConnection::Io io{.fd = fd,
                              .ssl = SSL_new(tls_->ctx.get()),
                              .stopping = &stopping_,
                              .mutex = &mutex_,
                              .received = &received_};
        SSL_set_fd(io.ssl, fd);
        if (io.retry([&] { return SSL_accept(io.ssl); }, Clock::now() + 10s) > 0) {
            ++handshakes_;
            FakeConnection connection(io);
            script_(connection);
            if (!io.closed) {
                SSL_shutdown(io.ssl);
            }
        }
        ERR_clear_error();
        SSL_free(io.ssl);
        ::close(fd);
    }
}

}  // namespace settings::test_servers
