#include "account_registry/secret_service.hpp"

#include <libsecret/secret.h>

#include <fmt/format.h>

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace account_registry::secret_service {
namespace {

constexpr std::string_view no_bus = "no session bus is configured";
constexpr std::size_t max_attributes = 32;  // what a SecretSchema can name

// GLib's error of a failed call, released with the value.
struct GErrorBox {
    GError* error = nullptr;
    GErrorBox() = default;
    GErrorBox(const GErrorBox&) = delete;
    GErrorBox& operator=(const GErrorBox&) = delete;
    ~GErrorBox()
    {
        if (error != nullptr) {
            g_error_free(error);
        }
    }
    [[nodiscard]] std::string text() const { return error != nullptr ? error->message : "unknown error"; }
};

// What one call owns: the worker's own copies of the schema and attributes (the caller may stop waiting and
// return before the worker ends), and the libsecret forms built from them.
struct Request {
    std::string schema_name;
    Attributes attributes;

    SecretSchema schema{};
    GHashTable* table = nullptr;

    Request(std::string_view name, const Attributes& attrs) : schema_name(name), attributes(attrs)
    {
        schema.name = schema_name.c_str();
        schema.flags = SECRET_SCHEMA_NONE;
        std::size_t i = 0;
        table = g_hash_table_new(g_str_hash, g_str_equal);
        for (const auto& [key, value] : attributes) {
            if (i < max_attributes) {
                schema.attributes[i] = SecretSchemaAttribute{key.c_str(), SECRET_SCHEMA_ATTRIBUTE_STRING};
                ++i;
            }
            g_hash_table_insert(table, const_cast<char*>(key.c_str()), const_cast<char*>(value.c_str()));
        }
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() { g_hash_table_unref(table); }
};

// The state one bounded call shares between the waiting caller and its worker.
template <class T>
struct Call {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
    std::expected<T, std::string> result = std::unexpected(std::string());
    GCancellable* cancellable = g_cancellable_new();

    Call() = default;
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    ~Call() { g_object_unref(cancellable); }
};

// Runs `body` (which takes the call's cancellable) on a worker thread and waits for it at most `limit`.
template <class T, class Body>
std::expected<T, std::string> bounded(std::chrono::milliseconds limit, Body body)
{
    if (!session_bus_configured()) {
        return std::unexpected(std::string(no_bus));
    }
    auto call = std::make_shared<Call<T>>();
    try {
        std::thread([call, body = std::move(body)]() mutable {
            auto result = body(call->cancellable);
            const std::lock_guard lock(call->mutex);
            call->result = std::move(result);
            call->done = true;
            call->done_cv.notify_all();
        }).detach();
    } catch (const std::system_error& error) {
        return std::unexpected(fmt::format("could not ask the Secret Service: {}", error.what()));
    }
    std::unique_lock lock(call->mutex);
    if (!call->done_cv.wait_for(lock, limit, [&] { return call->done; })) {
        g_cancellable_cancel(call->cancellable);
        lock.unlock();
        disconnect();  // a hung connection is not used again
        return std::unexpected(fmt::format("the Secret Service did not answer within {} ms", limit.count()));
    }
    auto result = std::move(call->result);
    lock.unlock();
    if (!result) {
        disconnect();  // the service may have gone or restarted: the next call connects anew
    }
    return result;
}

// The shared service proxy with a session for secrets, or the reason there is none.
std::expected<SecretService*, std::string> open_service(GCancellable* cancellable)
{
    GErrorBox error;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable, &error.error);
    if (service == nullptr) {
        return std::unexpected(fmt::format("the Secret Service is not available: {}", error.text()));
    }
    return service;
}

}  // namespace

bool session_bus_configured()
{
    // "disabled:" is how the program says that there is none (and none may be autolaunched).
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return address != nullptr && *address != '\0' && std::string_view(address) != "disabled:";
}

std::expected<std::optional<SecretBytes>, std::string> lookup(std::string_view schema, const Attributes& attributes,
                                                              std::chrono::milliseconds limit)
{
    auto request = std::make_shared<Request>(schema, attributes);
    return bounded<std::optional<SecretBytes>>(
        limit, [request](GCancellable* cancellable) -> std::expected<std::optional<SecretBytes>, std::string> {
            auto service = open_service(cancellable);
            if (!service) {
                return std::unexpected(service.error());
            }
            GErrorBox error;
            // No SECRET_SEARCH_UNLOCK: a locked item is reported, never unlocked behind a prompt.
            GList* items = secret_service_search_sync(*service, &request->schema, request->table,
                                                      static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL |
                                                                                     SECRET_SEARCH_LOAD_SECRETS),
                                                      cancellable, &error.error);
            g_object_unref(*service);
            if (error.error != nullptr) {
                return std::unexpected(fmt::format("the Secret Service could not search: {}", error.text()));
            }
            bool locked = false;
            std::optional<SecretBytes> found;
            for (GList* at = items; at != nullptr && !found; at = at->next) {
                auto* item = static_cast<SecretItem*>(at->data);
                if (secret_item_get_locked(item)) {
                    locked = true;
                    continue;
                }
                if (SecretValue* value = secret_item_get_secret(item)) {
                    gsize size = 0;
                    const gchar* bytes = secret_value_get(value, &size);
                    found.emplace(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes), size));
                    secret_value_unref(value);  // wipes libsecret's copy
                }
            }
            g_list_free_full(items, g_object_unref);
            if (!found && locked) {
                return std::unexpected(std::string("the Secret Service keyring is locked"));
            }
            return found;
        });
}

std::expected<void, std::string> store(std::string_view schema, const Attributes& attributes, std::string_view label,
                                       const SecretBytes& secret, std::chrono::milliseconds limit)
{
    struct Owned {
        Owned(std::string_view schema, const Attributes& attributes, std::string_view label, const SecretBytes& secret)
            : request(schema, attributes), label(label), secret(secret.clone())
        {
        }
        Request request;
        std::string label;
        SecretBytes secret;
    };
    auto owned = std::make_shared<Owned>(schema, attributes, label, secret);
    auto stored = bounded<bool>(limit, [owned](GCancellable* cancellable) -> std::expected<bool, std::string> {
        auto service = open_service(cancellable);
        if (!service) {
            return std::unexpected(service.error());
        }
        GErrorBox error;
        SecretCollection* keyring = secret_collection_for_alias_sync(*service, SECRET_COLLECTION_DEFAULT,
                                                                     SECRET_COLLECTION_NONE, cancellable, &error.error);
        if (keyring == nullptr) {
            g_object_unref(*service);
            return std::unexpected(error.error != nullptr
                                       ? fmt::format("the Secret Service has no usable keyring: {}", error.text())
                                       : std::string("the Secret Service has no default keyring"));
        }
        if (secret_collection_get_locked(keyring)) {
            g_object_unref(keyring);
            g_object_unref(*service);
            return std::unexpected(std::string("the Secret Service keyring is locked"));
        }
        const std::string path = g_dbus_proxy_get_object_path(G_DBUS_PROXY(keyring));
        SecretValue* value = secret_value_new(reinterpret_cast<const gchar*>(owned->secret.data()),
                                              static_cast<gssize>(owned->secret.size()), "text/plain");
        const gboolean ok = secret_service_store_sync(*service, &owned->request.schema, owned->request.table,
                                                      path.c_str(), owned->label.c_str(), value, cancellable,
                                                      &error.error);
        secret_value_unref(value);
        g_object_unref(keyring);
        g_object_unref(*service);
        if (!ok) {
            return std::unexpected(fmt::format("the Secret Service could not store the item: {}", error.text()));
        }
        return true;
    });
    if (!stored) {
        return std::unexpected(stored.error());
    }
    return {};
}

std::expected<bool, std::string> clear(std::string_view schema, const Attributes& attributes,
                                       std::chrono::milliseconds limit)
{
    auto request = std::make_shared<Request>(schema, attributes);
    return bounded<bool>(limit, [request](GCancellable* cancellable) -> std::expected<bool, std::string> {
        auto service = open_service(cancellable);
        if (!service) {
            return std::unexpected(service.error());
        }
        GErrorBox error;
        const gboolean removed =
            secret_service_clear_sync(*service, &request->schema, request->table, cancellable, &error.error);
        g_object_unref(*service);
        if (error.error != nullptr) {
            return std::unexpected(fmt::format("the Secret Service could not remove the item: {}", error.text()));
        }
        return removed != FALSE;
    });
}

void disconnect() { secret_service_disconnect(); }

}  // namespace account_registry::secret_service
