#include "account_registry/key_custody.hpp"

#include "account_registry/local_key.hpp"
#include "account_registry/secret_service.hpp"

#include "vorn_log/log.hpp"

#include <sodium.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace account_registry::key_custody {
namespace {

enum class Phase : std::uint8_t { Unresolved, Working, Settled };

struct Entry {
    Phase phase = Phase::Unresolved;
    bool refreshing = false;  // settled, and being found again in the background
    Custody custody;
};

struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, Entry, std::less<>> entries;
    std::chrono::milliseconds limit = default_limit;
    int workers = 0;
    std::uint64_t generation = 0;  // a reset starts a new one; workers of an older one publish nothing
};

// Never destroyed: a worker may still end after static destructors began.
Registry& registry()
{
    static auto* const instance = new Registry();
    return *instance;
}

std::string dir_key(const std::filesystem::path& vault_dir)
{
    return std::filesystem::absolute(vault_dir).lexically_normal().string();
}

secret_service::Attributes item_attributes(const std::string& dir)
{
    return {{std::string(attribute_name), dir}};
}

Custody copy_of(const Custody& custody)
{
    Custody copy;
    if (custody.secret_service_key) {
        copy.secret_service_key = custody.secret_service_key->clone();
    }
    copy.secret_service_usable = custody.secret_service_usable;
    copy.problem = custody.problem;
    return copy;
}

SecretBytes encode_key(const SecretBytes& key)
{
    const std::size_t size = sodium_base64_ENCODED_LEN(key.size(), sodium_base64_VARIANT_ORIGINAL);
    SecretBytes text(size);
    sodium_bin2base64(reinterpret_cast<char*>(text.data()), size, key.data(), key.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    SecretBytes trimmed(text.bytes().first(size - 1));  // without the closing NUL
    return trimmed;
}

std::optional<SecretBytes> decode_key(const SecretBytes& text)
{
    SecretBytes key(local_key::key_size);
    std::size_t size = 0;
    const char* end = nullptr;
    if (sodium_base642bin(key.data(), key.size(), reinterpret_cast<const char*>(text.data()), text.size(), nullptr,
                          &size, &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        size != key.size() || end != reinterpret_cast<const char*>(text.data()) + text.size()) {
        return std::nullopt;
    }
    return key;
}

bool same_key(const SecretBytes& a, const SecretBytes& b)
{
    return a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

// The key kept in the Secret Service for the directory: none when there is none (or it is damaged); an error when
// the service cannot be asked.
std::expected<std::optional<SecretBytes>, std::string> lookup_key(const std::string& dir,
                                                                  std::chrono::milliseconds limit)
{
    auto found = secret_service::lookup(schema_name, item_attributes(dir), limit);
    if (!found) {
        return std::unexpected(found.error());
    }
    if (!*found) {
        return std::optional<SecretBytes>{};
    }
    auto key = decode_key(**found);
    if (!key) {
        VORN_WARN("vault_key", "the desktop Secret Service holds a damaged vault key for {}; it is not used", dir);
    }
    return key;
}

// Puts the key into the Secret Service and reads it back; an error when it is not there as it was given.
std::expected<void, std::string> store_key(const std::string& dir, const SecretBytes& key,
                                           std::chrono::milliseconds limit)
{
    if (auto stored = secret_service::store(schema_name, item_attributes(dir), item_label, encode_key(key), limit);
        !stored) {
        return stored;
    }
    auto back = lookup_key(dir, limit);
    if (!back) {
        return std::unexpected(back.error());
    }
    if (!*back || !same_key(**back, key)) {
        return std::unexpected(std::string("the key read back from the Secret Service differs from the one stored"));
    }
    return {};
}

// Publishes the Secret Service key of the directory (when a reset has not come in between).
void publish_key(const std::string& dir, std::uint64_t generation, const SecretBytes& key)
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    if (r.generation == generation) {
        r.entries[dir].custody.secret_service_key = key.clone();
    }
}

// Moves the local key file's key into the Secret Service: stored and read back, published to the registry, and
// only then the file removed, so that an opener always finds the key in one of the two places. A local key equal
// to the one already in the Secret Service is a leftover and is removed. A different one is kept: the vault file's
// header decides which key opens it.
void move_local_key(const std::string& dir, std::uint64_t generation, Custody& custody,
                    std::chrono::milliseconds limit)
{
    const std::filesystem::path file = local_key::file_in(dir);
    auto local = local_key::read(file);
    if (!local) {
        VORN_WARN("vault_key", "the local vault key cannot be moved into the Secret Service: {}", local.error());
        return;
    }
    if (!*local) {
        return;
    }
    if (custody.secret_service_key) {
        if (same_key(*custody.secret_service_key, **local)) {
            (void)local_key::remove(file);
        }
        return;
    }
    if (auto stored = store_key(dir, **local, limit); !stored) {
        custody.secret_service_usable = false;
        custody.problem = stored.error();
        VORN_WARN("vault_key", "the vault key stays in its owner-only file {}: {}", file.string(), stored.error());
        return;
    }
    custody.secret_service_key = (*local)->clone();
    publish_key(dir, generation, **local);
    if (auto removed = local_key::remove(file); !removed) {
        VORN_WARN("vault_key", "the vault key is in the Secret Service, but its old file stays: {}", removed.error());
        return;
    }
    VORN_INFO("vault_key", "moved the vault key of {} into the desktop Secret Service", dir);
}

Custody find_custody(const std::string& dir, std::uint64_t generation, std::chrono::milliseconds limit)
{
    Custody custody;
    if (!secret_service::session_bus_configured()) {
        custody.problem = "no session bus is configured";
        return custody;
    }
    auto found = lookup_key(dir, limit);
    if (!found) {
        custody.problem = found.error();
        VORN_INFO("vault_key", "the desktop Secret Service cannot keep the vault key: {}", found.error());
        return custody;
    }
    custody.secret_service_usable = true;
    custody.secret_service_key = std::move(*found);
    move_local_key(dir, generation, custody, limit);
    return custody;
}

// Runs `work` on a worker counted in the registry (or at once when no thread can be started).
template <class Work>
void run_worker(Work work)
{
    Registry& r = registry();
    {
        const std::lock_guard lock(r.mutex);
        ++r.workers;
    }
    const auto finished = [] {
        Registry& reg = registry();
        const std::lock_guard lock(reg.mutex);
        --reg.workers;
        reg.changed.notify_all();
    };
    try {
        std::thread([work = std::move(work), finished]() mutable {
            work();
            finished();
        }).detach();
    } catch (const std::system_error&) {
        work();
        finished();
    }
}

// Finds the custody of `dir`: at once without a session bus, else on a worker. A custody found before stays in
// force (and the entry ready) while it is found again.
void start_finding(Registry& r, std::unique_lock<std::mutex>& lock, const std::string& dir)
{
    Entry& entry = r.entries[dir];
    if (entry.phase == Phase::Working || entry.refreshing) {
        return;
    }
    const std::uint64_t generation = r.generation;
    const auto limit = r.limit;
    if (!secret_service::session_bus_configured()) {
        // Nothing to ask: settled at once, without a worker.
        entry.custody = find_custody(dir, generation, limit);
        entry.phase = Phase::Settled;
        r.changed.notify_all();
        return;
    }
    if (entry.phase == Phase::Settled) {
        entry.refreshing = true;
    } else {
        entry.phase = Phase::Working;
    }
    lock.unlock();
    run_worker([dir, generation, limit] {
        Custody custody = find_custody(dir, generation, limit);
        Registry& reg = registry();
        const std::lock_guard inner(reg.mutex);
        if (reg.generation != generation) {
            return;
        }
        Entry& settled = reg.entries[dir];
        settled.custody = std::move(custody);
        settled.phase = Phase::Settled;
        settled.refreshing = false;
        reg.changed.notify_all();
    });
    lock.lock();
}

}  // namespace

void prepare(const std::filesystem::path& vault_dir)
{
    const std::string dir = dir_key(vault_dir);
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    const auto found = r.entries.find(dir);
    const bool again = found == r.entries.end() || found->second.phase == Phase::Unresolved ||
                       (found->second.phase == Phase::Settled && !found->second.custody.secret_service_usable);
    if (again) {
        start_finding(r, lock, dir);
    }
}

bool ready(const std::filesystem::path& vault_dir)
{
    const std::string dir = dir_key(vault_dir);
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    const auto found = r.entries.find(dir);
    return found != r.entries.end() && found->second.phase == Phase::Settled;
}

Custody snapshot(const std::filesystem::path& vault_dir)
{
    const std::string dir = dir_key(vault_dir);
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    if (const auto found = r.entries.find(dir); found == r.entries.end() || found->second.phase == Phase::Unresolved) {
        start_finding(r, lock, dir);
    }
    // Finding the custody takes up to three calls (look up, store, read back).
    const auto wait = 3 * r.limit + std::chrono::milliseconds(500);
    const bool settled = r.changed.wait_for(lock, wait, [&] { return r.entries[dir].phase == Phase::Settled; });
    if (!settled) {
        Custody pending;
        pending.problem = "the desktop Secret Service did not answer in time";
        return pending;
    }
    return copy_of(r.entries[dir].custody);
}

void adopt_local_key(const std::filesystem::path& vault_dir)
{
    const std::string dir = dir_key(vault_dir);
    Registry& r = registry();
    std::uint64_t generation = 0;
    std::chrono::milliseconds limit{};
    {
        const std::lock_guard lock(r.mutex);
        const auto found = r.entries.find(dir);
        if (found == r.entries.end() || found->second.phase != Phase::Settled ||
            !found->second.custody.secret_service_usable || found->second.custody.secret_service_key) {
            return;
        }
        generation = r.generation;
        limit = r.limit;
    }
    run_worker([dir, generation, limit] {
        Custody moved;
        moved.secret_service_usable = true;
        move_local_key(dir, generation, moved, limit);
        if (moved.secret_service_usable) {
            return;  // the key is published (or there was nothing to move)
        }
        Registry& reg = registry();
        const std::lock_guard lock(reg.mutex);
        if (reg.generation == generation) {
            Custody& custody = reg.entries[dir].custody;
            custody.secret_service_usable = false;
            custody.problem = moved.problem;
        }
    });
}

std::optional<SecretBytes> lookup_for_testing(const std::filesystem::path& vault_dir)
{
    Registry& r = registry();
    std::chrono::milliseconds limit{};
    {
        const std::lock_guard lock(r.mutex);
        limit = r.limit;
    }
    auto found = lookup_key(dir_key(vault_dir), limit);
    if (!found || !*found) {
        return std::nullopt;
    }
    return std::move(**found);
}

void settle_for_testing()
{
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    (void)r.changed.wait_for(lock, 4 * r.limit + std::chrono::seconds(1), [&] { return r.workers == 0; });
}

void reset_for_testing()
{
    settle_for_testing();
    Registry& r = registry();
    {
        const std::lock_guard lock(r.mutex);
        r.entries.clear();
        ++r.generation;
    }
    secret_service::disconnect();
}

void set_limit_for_testing(std::chrono::milliseconds limit)
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    r.limit = limit;
}

}  // namespace account_registry::key_custody
