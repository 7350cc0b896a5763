#pragma once
// The client of the sync-storage service: what it keeps of the user's synced files on this device, what could be
// freed safely, and the verified reclamation (eviction) of local copies whose remote copy is confirmed.
//
// The service listens on a Unix stream socket ("/run/vorn/fs-storage.sock"). A request is one JSON object on one
// line; the service answers each with one JSON object on one line:
//
//   → {"version":1,"request":"snapshot"}
//   ← {"snapshot":{"online":true,
//                  "usage":[{"label":"Home","synced_total":N,"on_device":N,"remote_only":N,"safe_to_free":N}],
//                  "files":[{"id":"f-1","name":"Report.pdf","reclaimable":N,"generation":N}]}}
//   → {"version":1,"request":"evict","selection":[{"id":"f-1","generation":N,"bytes":N}]}
//   ← {"eviction":{"freed_bytes":N,"evicted":N,"queued":N}}
//   ← {"error":"a sentence"}                     (to either request)
//
// N is an unsigned integer; members a reader does not know are ignored. A file is evicted only when its generation
// is still the one the snapshot reported; files whose remote copy is not yet verified are queued, and nothing is
// counted as freed until the service has removed it.
//
// Every call is bounded: the connection by Timeouts::connect, a snapshot by Timeouts::snapshot (10 s), an eviction
// by Timeouts::eviction (300 s), each from sending the request to the end of the reply; a reply is read up to a
// size bound. Failures are one sentence ("the sync storage service did not answer within 10 s"). Calls block: run
// them on a worker thread. A client is one connection; use it from one thread at a time.
//
//   auto client = synced_files::storage::StorageClient::connect();
//   if (client) { auto snapshot = client->snapshot(); ... }

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace synced_files::storage {

inline constexpr std::string_view default_socket_path = "/run/vorn/fs-storage.sock";

// Largest replies read: a snapshot lists every synced file kept on the device.
inline constexpr std::size_t max_snapshot_reply_bytes = 16U << 20U;
inline constexpr std::size_t max_eviction_reply_bytes = 64U << 10U;
// Longest display name kept, in bytes (cut on a character boundary).
inline constexpr std::size_t max_name_bytes = 256;
// Longest file id accepted, in bytes.
inline constexpr std::size_t max_id_bytes = 1024;

// One synced file kept on this device.
struct SyncedFileState {
    std::string id;            // the service's name for the file, given back to evict it
    std::string display_name;  // cleaned for display
    std::uint64_t reclaimable_bytes = 0;  // local space its eviction would free (0: it must stay local)
    std::uint64_t generation = 0;         // the version of the file the accounting saw
    friend bool operator==(const SyncedFileState&, const SyncedFileState&) = default;
};

// The accounting of one synced area (a workspace or a volume).
struct StorageUsage {
    std::string label;
    std::uint64_t synced_total = 0;  // everything synced
    std::uint64_t on_device = 0;     // kept on this device
    std::uint64_t remote_only = 0;   // only on other devices
    std::uint64_t safe_to_free = 0;  // local copies whose remote copy is verified
    friend bool operator==(const StorageUsage&, const StorageUsage&) = default;
};

struct SyncedStorageSnapshot {
    std::vector<SyncedFileState> files;
    std::vector<StorageUsage> usage;
    bool online = false;
    friend bool operator==(const SyncedStorageSnapshot&, const SyncedStorageSnapshot&) = default;
};

// One file asked to be evicted.
struct EvictionSelection {
    std::string id;
    std::uint64_t generation = 0;
    std::uint64_t expected_bytes = 0;

    [[nodiscard]] static EvictionSelection from(const SyncedFileState& file);
    friend bool operator==(const EvictionSelection&, const EvictionSelection&) = default;
};

struct EvictionReport {
    std::uint64_t freed_bytes = 0;  // removed from this device now
    std::uint64_t evicted = 0;      // files removed now
    std::uint64_t queued = 0;       // files left for verified background reclamation
    friend bool operator==(const EvictionReport&, const EvictionReport&) = default;
};

struct Timeouts {
    std::chrono::milliseconds connect{std::chrono::seconds(5)};
    std::chrono::milliseconds snapshot{std::chrono::seconds(10)};
    std::chrono::milliseconds eviction{std::chrono::seconds(300)};
};

class StorageClient {
public:
    // Connects to the service's socket. Errors: "could not connect to /run/vorn/fs-storage.sock: No such file or
    // directory", "could not connect to …: no answer within 5 s".
    [[nodiscard]] static std::expected<StorageClient, std::string> connect(
        const std::filesystem::path& socket = std::filesystem::path(default_socket_path), Timeouts timeouts = {});

    // Takes a connected stream socket.
    explicit StorageClient(int connected_socket, Timeouts timeouts = {});
    StorageClient(StorageClient&& other) noexcept;
    StorageClient& operator=(StorageClient&& other) noexcept;
    StorageClient(const StorageClient&) = delete;
    StorageClient& operator=(const StorageClient&) = delete;
    ~StorageClient();

    [[nodiscard]] std::expected<SyncedStorageSnapshot, std::string> snapshot();
    // Asks the service to evict the selected files. An empty selection is answered at once with an empty report.
    [[nodiscard]] std::expected<EvictionReport, std::string> evict(std::span<const EvictionSelection> selection);

private:
    std::expected<std::string, std::string> exchange(const std::string& request, std::chrono::milliseconds limit,
                                                     std::size_t max_reply);

    int socket_ = -1;
    Timeouts timeouts_;
    std::string pending_;  // bytes read after the last reply's line
};

// Whether a socket is present at the path (a cheap check before anything connects).
[[nodiscard]] bool service_socket_present(
    const std::filesystem::path& socket = std::filesystem::path(default_socket_path));

// ---- The protocol's texts (the client uses them; they are public for the service side and for tests) -----------

[[nodiscard]] std::string encode_snapshot_request();
[[nodiscard]] std::string encode_eviction_request(std::span<const EvictionSelection> selection);
// One reply line (without its "\n"). An {"error": …} reply is the service's sentence, cleaned.
[[nodiscard]] std::expected<SyncedStorageSnapshot, std::string> decode_snapshot_reply(std::string_view line);
// `selected`: how many files were asked for; a report of more files than that is refused.
[[nodiscard]] std::expected<EvictionReport, std::string> decode_eviction_reply(std::string_view line,
                                                                               std::size_t selected);

// "10 s", "300 s", "250 ms".
[[nodiscard]] std::string duration_text(std::chrono::milliseconds duration);

}  // namespace synced_files::storage
