#include "synced_files/testing/fake_storage_service.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace synced_files::storage::testing {

namespace {

using json = nlohmann::json;

json snapshot_json(const SyncedStorageSnapshot& snapshot)
{
    json usage = json::array();
    for (const StorageUsage& area : snapshot.usage) {
        usage.push_back({{"label", area.label},
                         {"synced_total", area.synced_total},
                         {"on_device", area.on_device},
                         {"remote_only", area.remote_only},
                         {"safe_to_free", area.safe_to_free}});
    }
    json files = json::array();
    for (const SyncedFileState& file : snapshot.files) {
        files.push_back({{"id", file.id},
                         {"name", file.display_name},
                         {"reclaimable", file.reclaimable_bytes},
                         {"generation", file.generation},
                         {"pinned", false}});  // a member the client does not know
    }
    return {{"snapshot", {{"online", snapshot.online}, {"usage", usage}, {"files", files}}}};
}

}  // namespace

SyncedStorageSnapshot sample_snapshot()
{
    return {.files = {{.id = "f-report", .display_name = "Report.pdf", .reclaimable_bytes = 1'000'000, .generation = 3},
                      {.id = "f-notes", .display_name = "Notes.md", .reclaimable_bytes = 0, .generation = 9},
                      {.id = "f-video", .display_name = "Holiday.mp4", .reclaimable_bytes = 500'000, .generation = 1}},
            .usage = {{.label = "Home",
                       .synced_total = 5'000'000,
                       .on_device = 2'000'000,
                       .remote_only = 3'000'000,
                       .safe_to_free = 1'500'000}},
            .online = true};
}

std::expected<std::unique_ptr<FakeStorageService>, std::string> FakeStorageService::start(
    State state, std::optional<std::filesystem::path> socket)
{
    std::unique_ptr<FakeStorageService> service(new FakeStorageService());
    service->state_ = std::move(state);
    if (!socket) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-fs-storage-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            return std::unexpected(std::string("mkdtemp: ") + std::strerror(errno));
        }
        service->own_folder_ = pattern;
        socket = *service->own_folder_ / "fs-storage.sock";
    }
    service->socket_ = *socket;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& path = service->socket_.native();
    if (path.size() >= sizeof(address.sun_path)) {
        return std::unexpected("socket path too long: " + path);
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    service->listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (service->listener_ < 0 || ::pipe2(service->stop_pipe_, O_CLOEXEC) != 0 ||
        ::bind(service->listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(service->listener_, 16) != 0) {
        return std::unexpected(std::string("could not listen at ") + path + ": " + std::strerror(errno));
    }
    service->acceptor_ = std::thread([raw = service.get()] { raw->accept_loop(); });
    return service;
}

FakeStorageService::~FakeStorageService()
{
    if (stop_pipe_[1] >= 0) {
        const char byte = 0;
        (void)!::write(stop_pipe_[1], &byte, 1);
    }
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    for (std::thread& connection : connections_) {
        connection.join();
    }
    for (int fd : {listener_, stop_pipe_[0], stop_pipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    std::error_code ignored;
    std::filesystem::remove(socket_, ignored);
    if (own_folder_) {
        std::filesystem::remove_all(*own_folder_, ignored);
    }
}

void FakeStorageService::change(const std::function<void(State&)>& edit)
{
    const std::lock_guard lock(mutex_);
    edit(state_);
}

FakeStorageService::State FakeStorageService::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

std::vector<std::string> FakeStorageService::requests() const
{
    const std::lock_guard lock(mutex_);
    return requests_;
}

void FakeStorageService::accept_loop()
{
    for (;;) {
        pollfd fds[2] = {{.fd = listener_, .events = POLLIN, .revents = 0},
                         {.fd = stop_pipe_[0], .events = POLLIN, .revents = 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            // Only this thread adds connections; the destructor joins them after joining this thread.
            connections_.emplace_back([this, connection] { serve(connection); });
        }
    }
}

void FakeStorageService::serve(int connection)
{
    std::string buffer;
    char chunk[4096];
    bool open = true;
    while (open) {
        pollfd fds[2] = {{.fd = connection, .events = POLLIN, .revents = 0},
                         {.fd = stop_pipe_[0], .events = POLLIN, .revents = 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if (fds[1].revents != 0) {
            break;
        }
        if (fds[0].revents == 0) {
            continue;
        }
        const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
        for (std::size_t newline = buffer.find('\n'); open && newline != std::string::npos;
             newline = buffer.find('\n')) {
            const std::string request = buffer.substr(0, newline);
            buffer.erase(0, newline + 1);
            bool stall = false;
            const auto reply = reply_to(request, stall);
            if (stall) {
                // Hold the connection without a word until the service stops.
                pollfd stop{.fd = stop_pipe_[0], .events = POLLIN, .revents = 0};
                while (::poll(&stop, 1, -1) < 0 && errno == EINTR) {
                }
                open = false;
            } else if (!reply) {
                open = false;
            } else {
                std::size_t sent = 0;
                while (sent < reply->size()) {
                    const ssize_t w = ::send(connection, reply->data() + sent, reply->size() - sent, MSG_NOSIGNAL);
                    if (w <= 0) {
                        open = false;
                        break;
                    }
                    sent += static_cast<std::size_t>(w);
                }
            }
        }
    }
    ::close(connection);
}

std::optional<std::string> FakeStorageService::reply_to(const std::string& request, bool& stall)
{
    const std::lock_guard lock(mutex_);
    requests_.push_back(request);
    switch (state_.mode) {
    case Mode::Error: return json{{"error", state_.error_text}}.dump() + "\n";
    case Mode::Close: return std::nullopt;
    case Mode::Stall: stall = true; return std::nullopt;
    case Mode::Raw: return state_.raw_reply;
    case Mode::Answer: break;
    }

    const json parsed = json::parse(request, nullptr, false);
    if (!parsed.is_object() || parsed.value("version", 0) != 1) {
        return json{{"error", "unsupported request"}}.dump() + "\n";
    }
    const std::string kind = parsed.value("request", "");
    if (kind == "snapshot") {
        return snapshot_json(state_.snapshot).dump() + "\n";
    }
    if (kind != "evict" || !parsed.contains("selection") || !parsed["selection"].is_array()) {
        return json{{"error", "unsupported request"}}.dump() + "\n";
    }

    std::uint64_t freed = 0;
    std::uint64_t evicted = 0;
    std::uint64_t queued = 0;
    for (const json& selected : parsed["selection"]) {
        const std::string id = selected.value("id", "");
        const std::uint64_t generation = selected.value("generation", std::uint64_t{0});
        const auto file = std::ranges::find_if(state_.snapshot.files, [&](const SyncedFileState& f) {
            return f.id == id && f.generation == generation && f.reclaimable_bytes > 0;
        });
        if (file == state_.snapshot.files.end()) {
            continue;  // changed since the snapshot, or not reclaimable: left alone
        }
        const std::uint64_t bytes = file->reclaimable_bytes;
        if (evicted < state_.evict_at_once) {
            ++evicted;
            freed += bytes;
            state_.snapshot.files.erase(file);
            if (!state_.snapshot.usage.empty()) {
                StorageUsage& area = state_.snapshot.usage.front();
                area.on_device -= std::min(area.on_device, bytes);
                area.safe_to_free -= std::min(area.safe_to_free, bytes);
                area.remote_only += bytes;
            }
        } else {
            ++queued;
            file->reclaimable_bytes = 0;
            if (!state_.snapshot.usage.empty()) {
                StorageUsage& area = state_.snapshot.usage.front();
                area.safe_to_free -= std::min(area.safe_to_free, bytes);
            }
        }
    }
    return json{{"eviction", {{"freed_bytes", freed}, {"evicted", evicted}, {"queued", queued}}}}.dump() + "\n";
}

}  // namespace synced_files::storage::testing
