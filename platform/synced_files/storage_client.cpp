#include "synced_files/storage_client.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace synced_files::storage {

namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr std::string_view service_name = "the sync storage service";
// Longest error sentence kept from the service.
constexpr std::size_t max_error_bytes = 512;

std::string unreadable(std::string_view detail)
{
    return fmt::format("{} sent a reply that could not be read ({})", service_name, detail);
}

std::string closed_text()
{
    return fmt::format("{} closed the connection without answering", service_name);
}

std::string size_text(std::size_t bytes)
{
    return bytes >= (1U << 20U) ? fmt::format("{} MiB", bytes >> 20U) : fmt::format("{} KiB", bytes >> 10U);
}

std::string timed_out_text(std::chrono::milliseconds limit)
{
    return fmt::format("{} did not answer within {}", service_name, duration_text(limit));
}

int remaining_ms(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60'000));
}

// Waits until the socket is ready for `events`; false when the deadline passed first.
bool wait_for(int socket, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd fd{.fd = socket, .events = events, .revents = 0};
        const int ready = ::poll(&fd, 1, remaining_ms(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return true;  // the following call reports the error
        }
        if (ready == 0 && Clock::now() >= deadline) {
            return false;
        }
    }
}

// ---- Reading replies -----------------------------------------------------------------------------------------------

// The reply object's payload under `member`, or the service's error sentence.
std::expected<json, std::string> reply_payload(std::string_view line, std::string_view member)
{
    json reply;
    try {
        reply = json::parse(line);
    } catch (const json::exception&) {
        return std::unexpected(unreadable("not JSON"));
    }
    if (!reply.is_object()) {
        return std::unexpected(unreadable("not an object"));
    }
    if (const auto error = reply.find("error"); error != reply.end()) {
        if (!error->is_string()) {
            return std::unexpected(unreadable("\"error\" is not text"));
        }
        std::string text =
            cmd_runner::clean_text(error->get<std::string>(), {.max_bytes = max_error_bytes, .trim = true});
        if (text.empty()) {
            return std::unexpected(fmt::format("{} refused the request", service_name));
        }
        return std::unexpected(std::move(text));
    }
    const auto payload = reply.find(member);
    if (payload == reply.end() || !payload->is_object()) {
        return std::unexpected(unreadable(fmt::format("no \"{}\" object", member)));
    }
    return *payload;
}

// Reads the unsigned integer member `name` of `object` into `out`; the problem's description when it is not one.
std::optional<std::string> read_count(const json& object, std::string_view where, const char* name,
                                      std::uint64_t& out)
{
    const auto found = object.find(name);
    if (found == object.end()) {
        return fmt::format("{}{} is missing", where, name);
    }
    if (!found->is_number_unsigned()) {
        return fmt::format("{}{} is not a byte count", where, name);
    }
    out = found->get<std::uint64_t>();
    return std::nullopt;
}

std::optional<std::string> read_text(const json& object, std::string_view where, const char* name, std::string& out,
                                     bool required)
{
    const auto found = object.find(name);
    if (found == object.end()) {
        return required ? std::optional(fmt::format("{}{} is missing", where, name)) : std::nullopt;
    }
    if (!found->is_string()) {
        return fmt::format("{}{} is not text", where, name);
    }
    out = found->get<std::string>();
    return std::nullopt;
}

}  // namespace

std::string duration_text(std::chrono::milliseconds duration)
{
    if (duration.count() % 1000 == 0) {
        return fmt::format("{} s", duration.count() / 1000);
    }
    return fmt::format("{} ms", duration.count());
}

EvictionSelection EvictionSelection::from(const SyncedFileState& file)
{
    return {.id = file.id, .generation = file.generation, .expected_bytes = file.reclaimable_bytes};
}

std::string encode_snapshot_request()
{
    return R"({"version":1,"request":"snapshot"})";
}

std::string encode_eviction_request(std::span<const EvictionSelection> selection)
{
    using ordered = nlohmann::ordered_json;
    ordered files = ordered::array();
    for (const EvictionSelection& file : selection) {
        files.push_back({{"id", file.id}, {"generation", file.generation}, {"bytes", file.expected_bytes}});
    }
    const ordered request = {{"version", 1}, {"request", "evict"}, {"selection", std::move(files)}};
    return request.dump(-1, ' ', false, ordered::error_handler_t::replace);
}

std::expected<SyncedStorageSnapshot, std::string> decode_snapshot_reply(std::string_view line)
{
    auto payload = reply_payload(line, "snapshot");
    if (!payload) {
        return std::unexpected(std::move(payload.error()));
    }
    const json& snapshot = *payload;
    SyncedStorageSnapshot result;
    const auto online = snapshot.find("online");
    if (online == snapshot.end() || !online->is_boolean()) {
        return std::unexpected(unreadable("online is not true or false"));
    }
    result.online = online->get<bool>();

    const auto list = [&](const char* name) -> std::expected<const json*, std::string> {
        const auto found = snapshot.find(name);
        if (found == snapshot.end()) {
            return nullptr;
        }
        if (!found->is_array()) {
            return std::unexpected(unreadable(fmt::format("{} is not a list", name)));
        }
        return &*found;
    };

    const auto usage = list("usage");
    if (!usage) {
        return std::unexpected(usage.error());
    }
    if (*usage != nullptr) {
        for (std::size_t i = 0; i < (*usage)->size(); ++i) {
            const json& entry = (**usage)[i];
            const std::string where = fmt::format("usage[{}].", i);
            if (!entry.is_object()) {
                return std::unexpected(unreadable(fmt::format("usage[{}] is not an object", i)));
            }
            StorageUsage read;
            std::string label;
            for (const auto& problem :
                 {read_text(entry, where, "label", label, false),
                  read_count(entry, where, "synced_total", read.synced_total),
                  read_count(entry, where, "on_device", read.on_device),
                  read_count(entry, where, "remote_only", read.remote_only),
                  read_count(entry, where, "safe_to_free", read.safe_to_free)}) {
                if (problem) {
                    return std::unexpected(unreadable(*problem));
                }
            }
            read.label = cmd_runner::clean_text(label, {.max_bytes = max_name_bytes, .trim = true});
            result.usage.push_back(std::move(read));
        }
    }

    const auto files = list("files");
    if (!files) {
        return std::unexpected(files.error());
    }
    if (*files != nullptr) {
        result.files.reserve((*files)->size());
        for (std::size_t i = 0; i < (*files)->size(); ++i) {
            const json& entry = (**files)[i];
            const std::string where = fmt::format("files[{}].", i);
            if (!entry.is_object()) {
                return std::unexpected(unreadable(fmt::format("files[{}] is not an object", i)));
            }
            SyncedFileState file;
            std::string name;
            for (const auto& problem :
                 {read_text(entry, where, "id", file.id, true), read_text(entry, where, "name", name, true),
                  read_count(entry, where, "reclaimable", file.reclaimable_bytes),
                  read_count(entry, where, "generation", file.generation)}) {
                if (problem) {
                    return std::unexpected(unreadable(*problem));
                }
            }
            if (file.id.empty() || file.id.size() > max_id_bytes) {
                return std::unexpected(unreadable(fmt::format("{}id is empty or too long", where)));
            }
            file.display_name = cmd_runner::clean_text(name, {.max_bytes = max_name_bytes, .trim = true});
            result.files.push_back(std::move(file));
        }
    }
    return result;
}

std::expected<EvictionReport, std::string> decode_eviction_reply(std::string_view line, std::size_t selected)
{
    auto payload = reply_payload(line, "eviction");
    if (!payload) {
        return std::unexpected(std::move(payload.error()));
    }
    EvictionReport report;
    for (const auto& problem : {read_count(*payload, "", "freed_bytes", report.freed_bytes),
                                read_count(*payload, "", "evicted", report.evicted),
                                read_count(*payload, "", "queued", report.queued)}) {
        if (problem) {
            return std::unexpected(unreadable(*problem));
        }
    }
    if (report.evicted > selected || report.queued > selected - report.evicted) {
        return std::unexpected(unreadable(fmt::format("it reports {} evicted and {} queued of {} selected files",
                                                      report.evicted, report.queued, selected)));
    }
    return report;
}

// ---- The connection ------------------------------------------------------------------------------------------------

bool service_socket_present(const std::filesystem::path& socket)
{
    struct stat st {};
    return ::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

std::expected<StorageClient, std::string> StorageClient::connect(const std::filesystem::path& socket,
                                                                 Timeouts timeouts)
{
    const auto failed = [&](std::string_view why) {
        return std::unexpected(fmt::format("could not connect to {}: {}", socket.string(), why));
    };
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& path = socket.native();
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        return failed("the socket path is empty or too long");
    }
    std::memcpy(address.sun_path, path.data(), path.size());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return failed(std::strerror(errno));
    }
    StorageClient client(fd, timeouts);
    const auto deadline = Clock::now() + timeouts.connect;
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return client;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            // The service's queue of waiting connections is full: try again until the deadline.
            if (Clock::now() >= deadline) {
                return failed(fmt::format("no answer within {}", duration_text(timeouts.connect)));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (errno == EINPROGRESS) {
            if (!wait_for(fd, POLLOUT, deadline)) {
                return failed(fmt::format("no answer within {}", duration_text(timeouts.connect)));
            }
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0) {
                return failed(std::strerror(error));
            }
            return client;
        }
        return failed(std::strerror(errno));
    }
}

StorageClient::StorageClient(int connected_socket, Timeouts timeouts) : socket_(connected_socket), timeouts_(timeouts)
{
}

StorageClient::StorageClient(StorageClient&& other) noexcept
    : socket_(std::exchange(other.socket_, -1)), timeouts_(other.timeouts_), pending_(std::move(other.pending_))
{
}

StorageClient& StorageClient::operator=(StorageClient&& other) noexcept
{
    if (this != &other) {
        if (socket_ >= 0) {
            ::close(socket_);
        }
        socket_ = std::exchange(other.socket_, -1);
        timeouts_ = other.timeouts_;
        pending_ = std::move(other.pending_);
    }
    return *this;
}

StorageClient::~StorageClient()
{
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

std::expected<std::string, std::string> StorageClient::exchange(const std::string& request,
                                                                std::chrono::milliseconds limit,
                                                                std::size_t max_reply)
{
    if (socket_ < 0) {
        return std::unexpected(fmt::format("{} is not connected", service_name));
    }
    // After a failure the connection is closed: a late reply could not be told apart from the next one.
    const auto drop = [&](std::string text) {
        ::close(std::exchange(socket_, -1));
        pending_.clear();
        return std::unexpected(std::move(text));
    };
    const auto deadline = Clock::now() + limit;
    const std::string line = request + "\n";
    std::size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(socket_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait_for(socket_, POLLOUT, deadline)) {
                return drop(timed_out_text(limit));
            }
            continue;
        }
        if (errno == EPIPE || errno == ECONNRESET) {
            return drop(closed_text());
        }
        return drop(fmt::format("could not send the request to {}: {}", service_name, std::strerror(errno)));
    }

    std::string& buffer = pending_;
    std::size_t searched = 0;
    char chunk[16384];
    for (;;) {
        const std::size_t newline = buffer.find('\n', searched);
        if (newline != std::string::npos) {
            if (newline > max_reply) {
                break;
            }
            std::string reply = buffer.substr(0, newline);
            buffer.erase(0, newline + 1);
            return reply;
        }
        searched = buffer.size();
        if (buffer.size() > max_reply) {
            break;
        }
        if (!wait_for(socket_, POLLIN, deadline)) {
            return drop(timed_out_text(limit));
        }
        const ssize_t n = ::recv(socket_, chunk, sizeof chunk, 0);
        if (n > 0) {
            buffer.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || errno == ECONNRESET) {
            return drop(closed_text());
        }
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return drop(fmt::format("could not read the reply of {}: {}", service_name, std::strerror(errno)));
        }
    }
    return drop(fmt::format("{}'s reply is longer than {}", service_name, size_text(max_reply)));
}

std::expected<SyncedStorageSnapshot, std::string> StorageClient::snapshot()
{
    auto line = exchange(encode_snapshot_request(), timeouts_.snapshot, max_snapshot_reply_bytes);
    if (!line) {
        return std::unexpected(std::move(line.error()));
    }
    return decode_snapshot_reply(*line);
}

std::expected<EvictionReport, std::string> StorageClient::evict(std::span<const EvictionSelection> selection)
{
    if (selection.empty()) {
        return EvictionReport{};
    }
    auto line = exchange(encode_eviction_request(selection), timeouts_.eviction, max_eviction_reply_bytes);
    if (!line) {
        return std::unexpected(std::move(line.error()));
    }
    return decode_eviction_reply(*line, selection.size());
}

}  // namespace synced_files::storage
