#pragma once
// A sync-storage service for tests: listens on a Unix socket (in a temporary folder it makes, or at a given path),
// speaks the protocol of synced_files/storage_client.hpp and answers as the test scripts it. It writes its replies
// itself, so the client's reading is tested against independent text.
//
//   auto service = FakeStorageService::start({.snapshot = sample_snapshot()});
//   StorageClient::connect(service->socket_path())->snapshot();
//   service->change([](auto& state) { state.mode = FakeStorageService::Mode::Stall; });
//
// The service runs one thread per connection; the destructor stops them all (a stalled connection is closed) and
// removes its socket and folder.

#include "synced_files/storage_client.hpp"

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace synced_files::storage::testing {

class FakeStorageService {
public:
    enum class Mode {
        Answer,  // answers from the state; an eviction applies to it
        Error,   // {"error": error_text} to every request
        Close,   // reads the request and hangs up without a word
        Stall,   // reads the request and never answers (until the service stops)
        Raw,     // writes raw_reply as it is (no newline added)
    };

    struct State {
        SyncedStorageSnapshot snapshot;
        Mode mode = Mode::Answer;
        std::string error_text = "the sync engine is busy";
        std::string raw_reply;
        // How many selected files an eviction removes at once; the others are queued.
        std::size_t evict_at_once = static_cast<std::size_t>(-1);
    };

    // Listens at `socket` (a folder of its own under the temporary directory when none).
    [[nodiscard]] static std::expected<std::unique_ptr<FakeStorageService>, std::string> start(
        State state, std::optional<std::filesystem::path> socket = std::nullopt);
    ~FakeStorageService();
    FakeStorageService(const FakeStorageService&) = delete;
    FakeStorageService& operator=(const FakeStorageService&) = delete;

    [[nodiscard]] const std::filesystem::path& socket_path() const { return socket_; }
    void change(const std::function<void(State&)>& edit);
    [[nodiscard]] State state() const;
    // The request lines received, oldest first.
    [[nodiscard]] std::vector<std::string> requests() const;

private:
    FakeStorageService() = default;
    void accept_loop();
    void serve(int connection);
    // The reply to one request line, none to hang up, or none with `stall` set.
    std::optional<std::string> reply_to(const std::string& request, bool& stall);

    std::filesystem::path socket_;
    std::optional<std::filesystem::path> own_folder_;
    int listener_ = -1;
    int stop_pipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    State state_;
    std::vector<std::string> requests_;
    std::thread acceptor_;
    std::vector<std::thread> connections_;
};

// Three files (two reclaimable) in one area, online.
[[nodiscard]] SyncedStorageSnapshot sample_snapshot();

}  // namespace synced_files::storage::testing
