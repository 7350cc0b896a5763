#include "account_probe/imap_session.hpp"

#include "account_probe/imap_text.hpp"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ssl/stream.hpp>
#include <asio/write.hpp>
#include <fmt/format.h>

#include <array>
#include <netdb.h>
#include <sys/socket.h>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace settings::account_probe {

namespace {

using Clock = std::chrono::steady_clock;
using Result = std::expected<std::string, std::string>;
using Stream = asio::ssl::stream<asio::ip::tcp::socket>;

constexpr auto stop_poll = std::chrono::milliseconds(50);
constexpr std::string_view login_tag = "a1";
constexpr std::string_view logout_tag = "a2";

Result failure(std::string_view sentence) { return std::unexpected(std::string(sentence)); }

enum class Wait : std::uint8_t { Done, TimedOut, Stopped };

enum class LineError : std::uint8_t {
    TimedOut,
    Stopped,
    Closed,   // the stream ended
    Failed,   // a read error
    TooLong,  // a line or everything received passed its cap
};

// The resolution running on its own thread; whoever finishes last frees it.
struct Resolution {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<std::expected<std::vector<std::string>, std::string>> result;
};

class Session {
public:
    Session(const ImapSignIn& sign_in, const ImapLimits& limits, const Resolver& resolve, std::stop_token stop)
        : sign_in_(sign_in), limits_(limits), resolve_(resolve), stop_(std::move(stop))
    {
    }

    Result run();

private:
    // Runs the I/O of this thread until `done` is set, `deadline` passes or a stop is requested.
    Wait run_until(const bool& done, Clock::time_point deadline);
    // Lets an abandoned operation finish (with operation_aborted) after its socket was closed.
    void drain(const bool& done);
    void close();

    std::expected<std::vector<asio::ip::tcp::endpoint>, Result> resolve();
    std::optional<Result> connect(const std::vector<asio::ip::tcp::endpoint>& endpoints);
    std::optional<Result> handshake();
    std::expected<std::string, LineError> read_line(Clock::time_point deadline);
    std::expected<void, Wait> write(std::string_view bytes, Clock::time_point deadline, std::error_code& error);
    std::optional<Result> greeting();
    std::optional<Result> login();
    void logout();

    const ImapSignIn& sign_in_;
    const ImapLimits& limits_;
    const Resolver& resolve_;
    std::stop_token stop_;

    // The I/O context comes first, so that the socket and the stream on it go before it.
    asio::io_context io_{1};
    asio::ip::tcp::socket socket_{io_};
    std::optional<Stream> stream_;
    std::string buffer_;  // received and not yet taken as a line
    std::size_t received_ = 0;
};

Wait Session::run_until(const bool& done, Clock::time_point deadline)
{
    while (!done) {
        if (stop_.stop_requested()) {
            return Wait::Stopped;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return Wait::TimedOut;
        }
        if (io_.stopped()) {
            io_.restart();
        }
        io_.run_one_for(std::min<Clock::duration>(deadline - now, stop_poll));
    }
    return Wait::Done;
}

void Session::close()
{
    std::error_code ignored;
    if (stream_) {
        stream_->lowest_layer().close(ignored);
    } else {
        socket_.close(ignored);
    }
}

void Session::drain(const bool& done)
{
    close();
    while (!done) {
        if (io_.stopped()) {
            io_.restart();
        }
        if (io_.run_one_for(std::chrono::seconds(1)) == 0) {
            break;
        }
    }
}

std::expected<std::vector<asio::ip::tcp::endpoint>, Result> Session::resolve()
{
    auto resolution = std::make_shared<Resolution>();
    std::thread([resolution, resolve = resolve_ ? resolve_ : Resolver(system_resolve), host = sign_in_.host,
                 port = sign_in_.port] {
        auto result = resolve(host, port);
        const std::lock_guard lock(resolution->mutex);
        resolution->result = std::move(result);
        resolution->done.notify_all();
    }).detach();

    const auto deadline = Clock::now() + limits_.resolve;
    std::unique_lock lock(resolution->mutex);
    while (!resolution->result) {
        if (stop_.stop_requested()) {
            return std::unexpected(failure(accounts::AccountProbe::cancelled_message));
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return std::unexpected(failure("server name resolution timed out"));
        }
        resolution->done.wait_until(lock, std::min(deadline, now + stop_poll));
    }
    if (!*resolution->result) {
        return std::unexpected(failure("server name could not be resolved"));
    }
    std::vector<asio::ip::tcp::endpoint> endpoints;
    for (const auto& address : **resolution->result) {
        std::error_code error;
        const auto ip = asio::ip::make_address(address, error);
        if (!error) {
            endpoints.emplace_back(ip, sign_in_.port);
        }
    }
    if (endpoints.empty()) {
        return std::unexpected(failure("server name returned no address"));
    }
    return endpoints;
}

std::optional<Result> Session::connect(const std::vector<asio::ip::tcp::endpoint>& endpoints)
{
    const auto deadline = Clock::now() + limits_.connect_budget;
    std::string last_error;
    for (const auto& endpoint : endpoints) {
        if (Clock::now() >= deadline) {
            break;
        }
        bool done = false;
        std::error_code error;
        socket_.async_connect(endpoint, [&](const std::error_code& result) {
            error = result;
            done = true;
        });
        const Wait wait = run_until(done, deadline);
        if (wait == Wait::Done && !error) {
            return std::nullopt;
        }
        if (wait != Wait::Done) {
            drain(done);
        }
        if (wait == Wait::Stopped) {
            return failure(accounts::AccountProbe::cancelled_message);
        }
        last_error = wait == Wait::TimedOut ? "connection timed out" : error.message();
        close();
    }
    return failure(fmt::format("could not reach {}:{}: {}", sign_in_.host, sign_in_.port,
                               last_error.empty() ? "connection timed out" : last_error));
}

std::optional<Result> Session::handshake()
{
    stream_.emplace(std::move(socket_), *sign_in_.tls->context);
    if (!vorn_net::verify_server_name(stream_->native_handle(), sign_in_.server_name)) {
        return failure("could not establish the secure IMAP connection");
    }
    bool done = false;
    std::error_code error;
    stream_->async_handshake(asio::ssl::stream_base::client, [&](const std::error_code& result) {
        error = result;
        done = true;
    });
    switch (run_until(done, Clock::now() + limits_.step)) {
    case Wait::Done: break;
    case Wait::TimedOut: return failure("IMAP server did not answer before the timeout");
    case Wait::Stopped: return failure(accounts::AccountProbe::cancelled_message);
    }
    if (error) {
        return failure("could not establish the secure IMAP connection");
    }
    return std::nullopt;
}

std::expected<std::string, LineError> Session::read_line(Clock::time_point deadline)
{
    std::array<char, 4096> chunk{};
    while (true) {
        if (const auto end = buffer_.find('\n'); end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (line.ends_with('\r')) {
                line.pop_back();
            }
            return line;
        }
        if (buffer_.size() > limits_.max_line_bytes || received_ > limits_.max_received_bytes) {
            return std::unexpected(LineError::TooLong);
        }
        bool done = false;
        std::error_code error;
        std::size_t count = 0;
        stream_->async_read_some(asio::buffer(chunk), [&](const std::error_code& result, std::size_t bytes) {
            error = result;
            count = bytes;
            done = true;
        });
        switch (run_until(done, deadline)) {
        case Wait::Done: break;
        case Wait::TimedOut: drain(done); return std::unexpected(LineError::TimedOut);
        case Wait::Stopped: drain(done); return std::unexpected(LineError::Stopped);
        }
        buffer_.append(chunk.data(), count);
        received_ += count;
        if (error && count == 0) {
            const bool ended = error == asio::error::eof || error == asio::ssl::error::stream_truncated;
            return std::unexpected(ended ? LineError::Closed : LineError::Failed);
        }
    }
}

std::expected<void, Wait> Session::write(std::string_view bytes, Clock::time_point deadline, std::error_code& error)
{
    bool done = false;
    asio::async_write(*stream_, asio::buffer(bytes.data(), bytes.size()),
                      [&](const std::error_code& result, std::size_t) {
                          error = result;
                          done = true;
                      });
    const Wait wait = run_until(done, deadline);
    if (wait != Wait::Done) {
        drain(done);
        return std::unexpected(wait);
    }
    return {};
}

std::optional<Result> Session::greeting()
{
    auto line = read_line(Clock::now() + limits_.step);
    if (!line) {
        switch (line.error()) {
        case LineError::TimedOut: return failure("IMAP server response timed out");
        case LineError::Stopped: return failure(accounts::AccountProbe::cancelled_message);
        case LineError::Closed: return failure("IMAP server closed the connection unexpectedly");
        case LineError::Failed:
        case LineError::TooLong: return failure("server did not provide a valid IMAP greeting");
        }
    }
    if (!imap::is_ok_greeting(*line)) {
        return failure("server did not provide a valid IMAP greeting");
    }
    return std::nullopt;
}

std::optional<Result> Session::login()
{
    constexpr std::string_view timed_out = "IMAP server did not answer before the timeout";
    constexpr std::string_view closed = "IMAP server closed the connection unexpectedly";
    const auto deadline = Clock::now() + limits_.step;
    {
        // The only copy of the secret this check makes: wiped as soon as it is on the stream.
        auto command = imap::login_command(login_tag, sign_in_.login, sign_in_.secret);
        if (!command) {
            return failure("login contains unsupported control characters");
        }
        std::error_code error;
        if (auto written = write(command->view(), deadline, error); !written) {
            return failure(written.error() == Wait::Stopped ? accounts::AccountProbe::cancelled_message : timed_out);
        }
        if (error) {
            return failure(closed);
        }
    }
    while (true) {
        auto line = read_line(deadline);
        if (!line) {
            switch (line.error()) {
            case LineError::TimedOut: return failure(timed_out);
            case LineError::Stopped: return failure(accounts::AccountProbe::cancelled_message);
            case LineError::Closed:
            case LineError::Failed:
            case LineError::TooLong: return failure(closed);
            }
        }
        switch (imap::classify_reply(*line, login_tag)) {
        case imap::Reply::Untagged: continue;
        case imap::Reply::Ok: return std::nullopt;
        case imap::Reply::No:
        case imap::Reply::Bad: return failure("IMAP server rejected the saved credential");
        case imap::Reply::Invalid: return failure(closed);
        }
    }
}

void Session::logout()
{
    const auto deadline = Clock::now() + limits_.step;
    const std::string command = std::string(logout_tag) + " LOGOUT\r\n";
    std::error_code error;
    if (!write(command, deadline, error) || error) {
        return;
    }
    while (true) {
        auto line = read_line(deadline);
        if (!line || imap::classify_reply(*line, logout_tag) != imap::Reply::Untagged) {
            return;
        }
    }
}

Result Session::run()
{
    auto endpoints = resolve();
    if (!endpoints) {
        return std::move(endpoints.error());
    }
    if (auto failed = connect(*endpoints)) {
        return std::move(*failed);
    }
    if (auto failed = handshake()) {
        close();
        return std::move(*failed);
    }
    if (auto failed = greeting()) {
        close();
        return std::move(*failed);
    }
    if (auto failed = login()) {
        close();
        return std::move(*failed);
    }
    logout();  // its outcome does not change the result
    close();
    return std::string("IMAP sign-in succeeded");
}

}  // namespace

std::expected<std::vector<std::string>, std::string> system_resolve(const std::string& host, std::uint16_t port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int code = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); code != 0) {
        return std::unexpected(std::string(::gai_strerror(code)));
    }
    std::vector<std::string> addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        char text[NI_MAXHOST];
        if (::getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0) {
            addresses.emplace_back(text);
        }
    }
    ::freeaddrinfo(found);
    return addresses;
}

std::expected<std::string, std::string> probe_imap(const ImapSignIn& sign_in, const ImapLimits& limits,
                                                   const Resolver& resolve, std::stop_token stop)
{
    try {
        Session session(sign_in, limits, resolve, std::move(stop));
        return session.run();
    } catch (const std::exception&) {
        return failure("could not start the IMAP probe");
    }
}

}  // namespace settings::account_probe
