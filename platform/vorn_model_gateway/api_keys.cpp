// The API key store: an encrypted file of keys per provider id, its key file and their locked, atomic updates.
#include "vorn_model_gateway/vorn_model_gateway.hpp"

#include "json_text/json_text.hpp"
#include "safe_write/file_lock.hpp"
#include "safe_write/safe_write.hpp"
#include "user_dirs/user_dirs.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn_model_gateway {
namespace {

using json_text::Json;
using Kind = ClientError::Kind;

constexpr std::uint64_t format_version = 1;
constexpr std::string_view cipher_name = "xchacha20poly1305-ietf";
// Binds the ciphertext to this file format, so that it cannot be passed off as another file of ours.
constexpr std::string_view associated_data = "vorn-model-gateway/api-keys/v1";
constexpr std::size_t store_key_size = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr std::size_t nonce_size = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t max_store_size = 4 * 1024 * 1024;
constexpr std::size_t max_key_size = 16 * 1024;
constexpr std::size_t max_provider_id_size = 256;

std::string reason(int error) { return std::system_category().message(error); }

std::unexpected<ClientError> fail(Kind kind, std::string message)
{
    return std::unexpected(ClientError{.kind = kind, .message = std::move(message)});
}

std::expected<void, ClientError> ensure_sodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready) {
        return fail(Kind::Io, "the cryptography library could not be initialised");
    }
    return {};
}

// Wipes a string's whole buffer (including what lies beyond its size) and empties it.
void wipe(std::string& text)
{
    text.resize(text.capacity());
    sodium_memzero(text.data(), text.size());
    text.clear();
}

// ---- files ----------------------------------------------------------------------------------------------------

// Reads a whole file into a wiped buffer: none when it does not exist.
std::expected<std::optional<SecretText>, ClientError> read_file(const std::filesystem::path& path, std::size_t limit)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::optional<SecretText>();
        }
        return fail(Kind::Io, fmt::format("could not read {}: {}", path.string(), reason(errno)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(Kind::Io, fmt::format("could not read {}: {}", path.string(), reason(error)));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(Kind::Io, fmt::format("could not read {}: it is not a regular file", path.string()));
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size > limit) {
        ::close(fd);
        return fail(Kind::Damaged, fmt::format("the API key store file {} is too large ({} bytes)", path.string(), size));
    }
    SecretText contents(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, contents.data() + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return fail(Kind::Io, fmt::format("could not read {}: {}", path.string(), reason(error)));
        }
        if (n == 0) {
            break;  // shrank while we read; what we have is what counts
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (done < size) {
        SecretText shorter = SecretText::copy_of(contents.view().substr(0, done));
        return std::optional<SecretText>(std::move(shorter));
    }
    return std::optional<SecretText>(std::move(contents));
}

// The lock of the store's files ("api-keys.lock" in its directory).
std::expected<safe_write::FileLock, ClientError> lock_store(const std::filesystem::path& directory)
{
    auto lock = safe_write::FileLock::acquire(directory / "api-keys.lock", "the API key store is busy; try again");
    if (!lock) {
        return fail(Kind::Io, std::move(lock.error()));
    }
    return std::move(*lock);
}

// ---- the key list inside the ciphertext -----------------------------------------------------------------------
// A count and then, per entry, the provider id and the key, each a 32-bit little-endian length and its bytes;
// entries sorted by provider id. Kept in this simple form so that keys never pass through buffers we cannot wipe.

struct Entry {
    std::string provider_id;
    SecretText key;
};

void put_u32(unsigned char* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

std::uint32_t get_u32(const unsigned char* at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    }
    return value;
}

SecretText encode_entries(const std::vector<Entry>& entries)
{
    std::size_t size = 4;
    for (const auto& entry : entries) {
        size += 8 + entry.provider_id.size() + entry.key.size();
    }
    SecretText plain(size);
    unsigned char* at = plain.bytes();
    put_u32(at, static_cast<std::uint32_t>(entries.size()));
    at += 4;
    for (const auto& entry : entries) {
        put_u32(at, static_cast<std::uint32_t>(entry.provider_id.size()));
        at += 4;
        std::memcpy(at, entry.provider_id.data(), entry.provider_id.size());
        at += entry.provider_id.size();
        put_u32(at, static_cast<std::uint32_t>(entry.key.size()));
        at += 4;
        if (!entry.key.empty()) {
            std::memcpy(at, entry.key.data(), entry.key.size());
        }
        at += entry.key.size();
    }
    return plain;
}

std::optional<std::vector<Entry>> decode_entries(const SecretText& plain)
{
    const unsigned char* at = plain.bytes();
    std::size_t left = plain.size();
    const auto take_length = [&]() -> std::optional<std::size_t> {
        if (left < 4) {
            return std::nullopt;
        }
        const std::size_t n = get_u32(at);
        at += 4;
        left -= 4;
        return n;
    };
    const auto count = take_length();
    if (!count || *count > left / 8) {
        return std::nullopt;
    }
    std::vector<Entry> entries;
    entries.reserve(*count);
    for (std::size_t i = 0; i < *count; ++i) {
        const auto id_size = take_length();
        if (!id_size || *id_size > left) {
            return std::nullopt;
        }
        std::string id(reinterpret_cast<const char*>(at), *id_size);
        at += *id_size;
        left -= *id_size;
        const auto key_size = take_length();
        if (!key_size || *key_size > left) {
            return std::nullopt;
        }
        SecretText key = SecretText::copy_of({reinterpret_cast<const char*>(at), *key_size});
        at += *key_size;
        left -= *key_size;
        if (!entries.empty() && entries.back().provider_id >= id) {
            return std::nullopt;
        }
        entries.push_back(Entry{.provider_id = std::move(id), .key = std::move(key)});
    }
    if (left != 0) {
        return std::nullopt;
    }
    return entries;
}

// ---- the envelope ---------------------------------------------------------------------------------------------

std::string to_base64(const unsigned char* bytes, std::size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::optional<std::vector<unsigned char>> from_base64(const std::string& text)
{
    std::vector<unsigned char> bytes(text.size() / 4 * 3 + 3);
    std::size_t size = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &size, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size()) {
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}

std::string seal(const std::vector<Entry>& entries, const SecretText& store_key)
{
    const SecretText plain = encode_entries(entries);
    std::array<unsigned char, nonce_size> nonce{};
    randombytes_buf(nonce.data(), nonce.size());
    std::vector<unsigned char> sealed(plain.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES);
    unsigned long long sealed_size = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        sealed.data(), &sealed_size, plain.bytes(), plain.size(),
        reinterpret_cast<const unsigned char*>(associated_data.data()), associated_data.size(), nullptr, nonce.data(),
        store_key.bytes());
    sealed.resize(static_cast<std::size_t>(sealed_size));

    Json envelope = Json::object();
    envelope["version"] = format_version;
    envelope["cipher"] = cipher_name;
    envelope["nonce"] = to_base64(nonce.data(), nonce.size());
    envelope["ciphertext"] = to_base64(sealed.data(), sealed.size());
    return json_text::pretty(envelope);
}

// The entries of a sealed store, or why it cannot be opened (completing "… is damaged: ").
std::expected<std::vector<Entry>, std::string> open_sealed(const SecretText& text, const SecretText& store_key)
{
    auto envelope = json_text::parse(text.view());
    if (!envelope) {
        return std::unexpected(fmt::format("it is not an API key store ({})", envelope.error()));
    }
    const auto member = [&](const char* name) -> const Json* {
        if (!envelope->is_object()) {
            return nullptr;
        }
        const auto it = envelope->find(name);
        return it == envelope->end() ? nullptr : &*it;
    };
    const Json* version = member("version");
    const Json* cipher = member("cipher");
    const Json* nonce_text = member("nonce");
    const Json* sealed_text = member("ciphertext");
    if (version == nullptr || !version->is_number_unsigned() || cipher == nullptr || !cipher->is_string() ||
        nonce_text == nullptr || !nonce_text->is_string() || sealed_text == nullptr || !sealed_text->is_string()) {
        return std::unexpected("it is not an API key store (a member is missing or has the wrong type)");
    }
    if (version->get<std::uint64_t>() != format_version || cipher->get<std::string>() != cipher_name) {
        return std::unexpected(fmt::format("it was written in a format this program does not read (version {}, {})",
                                           version->get<std::uint64_t>(), cipher->get<std::string>()));
    }
    const auto nonce = from_base64(nonce_text->get<std::string>());
    const auto sealed = from_base64(sealed_text->get<std::string>());
    if (!nonce || nonce->size() != nonce_size || !sealed || sealed->size() < crypto_aead_xchacha20poly1305_ietf_ABYTES) {
        return std::unexpected("it is not an API key store (bad nonce or ciphertext)");
    }
    SecretText plain(sealed->size() - crypto_aead_xchacha20poly1305_ietf_ABYTES);
    unsigned long long plain_size = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            plain.bytes(), &plain_size, nullptr, sealed->data(), sealed->size(),
            reinterpret_cast<const unsigned char*>(associated_data.data()), associated_data.size(), nonce->data(),
            store_key.bytes()) != 0) {
        return std::unexpected("it cannot be decrypted with its key file (one of the two was changed or replaced)");
    }
    auto entries = decode_entries(plain);
    if (!entries) {
        return std::unexpected("its key list is malformed");
    }
    return std::move(*entries);
}

// ---- the store's state ----------------------------------------------------------------------------------------

struct Contents {
    std::vector<Entry> entries;
    std::optional<SecretText> store_key;  // a usable key from the key file
};

std::expected<Contents, ClientError> load(const ApiKeyStore& store)
{
    auto sealed = read_file(store.keys_file(), max_store_size);
    if (!sealed) {
        return std::unexpected(std::move(sealed.error()));
    }
    auto key = read_file(store.key_file(), 1024);
    if (!key) {
        return std::unexpected(std::move(key.error()));
    }
    Contents contents;
    const bool key_usable = *key && (*key)->size() == store_key_size;
    if (key_usable) {
        contents.store_key = std::move(**key);
    }
    if (!*sealed) {
        return contents;  // no keys stored yet
    }
    const auto damaged = [&](std::string_view why) {
        return fail(Kind::Damaged, fmt::format("the API key store {} is damaged: {}", store.keys_file().string(), why));
    };
    if (!*key) {
        return damaged(fmt::format("its key file {} is missing", store.key_file().string()));
    }
    if (!key_usable) {
        return damaged(fmt::format("its key file {} is not a key of this store", store.key_file().string()));
    }
    auto entries = open_sealed(**sealed, *contents.store_key);
    if (!entries) {
        return damaged(entries.error());
    }
    contents.entries = std::move(*entries);
    return contents;
}

std::expected<void, ClientError> ensure_directory(const std::filesystem::path& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!ec) {
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace,
                                     ec);
    }
    if (ec) {
        return fail(Kind::Io, fmt::format("could not create {}: {}", dir.string(), ec.message()));
    }
    return {};
}

std::expected<void, ClientError> store_contents(const ApiKeyStore& store, Contents& contents)
{
    if (!contents.store_key) {
        SecretText fresh(store_key_size);
        crypto_aead_xchacha20poly1305_ietf_keygen(fresh.bytes());
        if (auto written = safe_write::write_file(store.key_file(), fresh.view(), {.private_file = true}); !written) {
            return fail(Kind::Io, written.error());
        }
        contents.store_key = std::move(fresh);
    }
    const std::string text = seal(contents.entries, *contents.store_key);
    if (auto written = safe_write::write_file(store.keys_file(), text, {.private_file = true}); !written) {
        return fail(Kind::Io, written.error());
    }
    return {};
}

// Moves a damaged store's files aside ("<file>.damaged-<unix time>") so that a new store can take their place.
std::expected<void, ClientError> set_aside(const ApiKeyStore& store)
{
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    for (const auto& file : {store.keys_file(), store.key_file()}) {
        if (!std::filesystem::exists(file)) {
            continue;
        }
        bool moved = false;
        for (int attempt = 1; attempt < 1000 && !moved; ++attempt) {
            const std::string aside = attempt == 1 ? fmt::format("{}.damaged-{}", file.string(), now)
                                                   : fmt::format("{}.damaged-{}-{}", file.string(), now, attempt);
            // link() refuses to replace an earlier copy; the unlink then leaves only the copy.
            if (::link(file.c_str(), aside.c_str()) == 0) {
                ::unlink(file.c_str());
                moved = true;
            } else if (errno != EEXIST) {
                return fail(Kind::Io, fmt::format("could not keep the damaged file {}: {}", file.string(), reason(errno)));
            }
        }
        if (!moved) {
            return fail(Kind::Io, fmt::format("could not keep the damaged file {}", file.string()));
        }
    }
    return {};
}

std::expected<void, ClientError> check_provider_id(std::string_view id)
{
    if (id.empty()) {
        return fail(Kind::InvalidInput, "the provider id is empty");
    }
    if (id.size() > max_provider_id_size) {
        return fail(Kind::InvalidInput, "the provider id is too long");
    }
    if (std::any_of(id.begin(), id.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        return fail(Kind::InvalidInput, "the provider id contains control characters");
    }
    return {};
}

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view space = " \t\r\n\f\v";
    const auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::expected<void, ClientError> check_key(std::string_view key)
{
    if (key.empty()) {
        return fail(Kind::InvalidInput, "the API key is empty");
    }
    if (key.size() > max_key_size) {
        return fail(Kind::InvalidInput, "the API key is longer than 16 KiB");
    }
    if (std::any_of(key.begin(), key.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        return fail(Kind::InvalidInput, "the API key contains line breaks or other control characters");
    }
    return {};
}

std::vector<Entry>::iterator find_entry(std::vector<Entry>& entries, std::string_view id)
{
    return std::lower_bound(entries.begin(), entries.end(), id,
                            [](const Entry& e, std::string_view wanted) { return e.provider_id < wanted; });
}

bool holds(std::vector<Entry>& entries, std::vector<Entry>::iterator it, std::string_view id)
{
    return it != entries.end() && it->provider_id == id;
}

// Runs `body` on the store's contents under its lock; a store whose directory does not exist holds no keys.
template <class T, class Body>
std::expected<T, ClientError> read_locked(const ApiKeyStore& store, T absent, Body body)
{
    if (auto ready = ensure_sodium(); !ready) {
        return std::unexpected(std::move(ready.error()));
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(store.directory(), ec)) {
        return absent;
    }
    auto lock = lock_store(store.directory());
    if (!lock) {
        return std::unexpected(std::move(lock.error()));
    }
    auto contents = load(store);
    if (!contents) {
        return std::unexpected(std::move(contents.error()));
    }
    return body(*contents);
}

}  // namespace

ApiKeyStore::ApiKeyStore(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::expected<ApiKeyStore, ClientError> ApiKeyStore::for_user()
{
    auto dir = user_dirs::data_dir();
    if (!dir) {
        return fail(Kind::Unavailable, "no data directory for the API key store (HOME is not set)");
    }
    return ApiKeyStore(*dir / "vorn" / "model-gateway");
}

std::expected<bool, ClientError> ApiKeyStore::secret_configured(std::string_view provider_id) const
{
    if (auto ok = check_provider_id(provider_id); !ok) {
        return std::unexpected(std::move(ok.error()));
    }
    return read_locked(*this, false, [&](Contents& contents) {
        return holds(contents.entries, find_entry(contents.entries, provider_id), provider_id);
    });
}

std::expected<std::optional<SecretText>, ClientError> ApiKeyStore::api_key(std::string_view provider_id) const
{
    if (auto ok = check_provider_id(provider_id); !ok) {
        return std::unexpected(std::move(ok.error()));
    }
    return read_locked(*this, std::optional<SecretText>(), [&](Contents& contents) {
        const auto it = find_entry(contents.entries, provider_id);
        if (!holds(contents.entries, it, provider_id)) {
            return std::optional<SecretText>();
        }
        return std::optional<SecretText>(std::move(it->key));
    });
}

std::expected<void, ClientError> ApiKeyStore::set_api_key(std::string_view provider_id, std::string&& key) const
{
    SecretText secret = SecretText::copy_of(trimmed(key));
    wipe(key);
    if (auto ok = check_provider_id(provider_id); !ok) {
        return ok;
    }
    if (auto ok = check_key(secret.view()); !ok) {
        return ok;
    }
    if (auto ready = ensure_sodium(); !ready) {
        return ready;
    }
    if (auto made = ensure_directory(directory_); !made) {
        return made;
    }
    auto lock = lock_store(directory_);
    if (!lock) {
        return std::unexpected(std::move(lock.error()));
    }
    safe_write::remove_stale_temporaries(keys_file());
    safe_write::remove_stale_temporaries(key_file());

    auto contents = load(*this);
    if (!contents && contents.error().kind == Kind::Damaged) {
        if (auto moved = set_aside(*this); !moved) {
            return moved;
        }
        VORN_WARN("api_keys", "{}; it was kept as {}.damaged-* and a new store was started", contents.error().message,
                  keys_file().string());
        contents = Contents{};
    }
    if (!contents) {
        return std::unexpected(std::move(contents.error()));
    }
    auto& entries = contents->entries;
    const auto it = find_entry(entries, provider_id);
    if (holds(entries, it, provider_id)) {
        it->key = std::move(secret);
    } else {
        entries.insert(it, Entry{.provider_id = std::string(provider_id), .key = std::move(secret)});
    }
    if (auto stored = store_contents(*this, *contents); !stored) {
        return stored;
    }
    VORN_INFO("api_keys", "API key stored for provider {}", provider_id);
    return {};
}

std::expected<void, ClientError> ApiKeyStore::remove_api_key(std::string_view provider_id) const
{
    if (auto ok = check_provider_id(provider_id); !ok) {
        return ok;
    }
    if (auto ready = ensure_sodium(); !ready) {
        return ready;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(directory_, ec)) {
        return {};
    }
    auto lock = lock_store(directory_);
    if (!lock) {
        return std::unexpected(std::move(lock.error()));
    }
    safe_write::remove_stale_temporaries(keys_file());
    safe_write::remove_stale_temporaries(key_file());
    auto contents = load(*this);
    if (!contents) {
        return std::unexpected(std::move(contents.error()));
    }
    auto& entries = contents->entries;
    const auto it = find_entry(entries, provider_id);
    if (!holds(entries, it, provider_id)) {
        return {};
    }
    entries.erase(it);
    if (auto stored = store_contents(*this, *contents); !stored) {
        return stored;
    }
    VORN_INFO("api_keys", "API key removed for provider {}", provider_id);
    return {};
}

std::expected<bool, ClientError> secret_configured(std::string_view provider_id)
{
    auto store = ApiKeyStore::for_user();
    if (!store) {
        return std::unexpected(std::move(store.error()));
    }
    return store->secret_configured(provider_id);
}

std::expected<std::optional<SecretText>, ClientError> api_key(std::string_view provider_id)
{
    auto store = ApiKeyStore::for_user();
    if (!store) {
        return std::unexpected(std::move(store.error()));
    }
    return store->api_key(provider_id);
}

std::expected<void, ClientError> set_api_key(std::string_view provider_id, std::string&& key)
{
    auto store = ApiKeyStore::for_user();
    if (!store) {
        wipe(key);
        return std::unexpected(std::move(store.error()));
    }
    return store->set_api_key(provider_id, std::move(key));
}

std::expected<void, ClientError> remove_api_key(std::string_view provider_id)
{
    auto store = ApiKeyStore::for_user();
    if (!store) {
        return std::unexpected(std::move(store.error()));
    }
    return store->remove_api_key(provider_id);
}

}  // namespace vorn_model_gateway
