#include "system_ops/bluez_discovery.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <dbus/dbus.h>

#include <algorithm>
#include <limits>

namespace system_ops::bluez::detail {

namespace {

constexpr const char* bluez_service = "org.bluez";
constexpr const char* adapter_interface = "org.bluez.Adapter1";

class BusError {
public:
    BusError() { dbus_error_init(&error_); }
    ~BusError() { dbus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;

    DBusError* get() { return &error_; }
    [[nodiscard]] std::string text() const
    {
        return bluez_error_text(error_.message != nullptr ? error_.message : (error_.name != nullptr ? error_.name : ""));
    }

private:
    DBusError error_;
};

int timeout_ms(std::chrono::milliseconds limit)
{
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(limit.count(), 1, std::numeric_limits<int>::max()));
}

// Calls a method of the adapter that answers nothing; `empty_filter` adds an empty a{sv} argument.
Status call_adapter(DBusConnection* connection, const std::string& path, const char* method, bool empty_filter,
                    std::chrono::milliseconds limit)
{
    DBusMessage* message = dbus_message_new_method_call(bluez_service, path.c_str(), adapter_interface, method);
    if (message == nullptr) {
        return std::unexpected(std::string("out of memory"));
    }
    if (empty_filter) {
        DBusMessageIter args;
        DBusMessageIter dict;
        dbus_message_iter_init_append(message, &args);
        if (dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &dict) == FALSE ||
            dbus_message_iter_close_container(&args, &dict) == FALSE) {
            dbus_message_unref(message);
            return std::unexpected(std::string("out of memory"));
        }
    }
    BusError error;
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, message, timeout_ms(limit), error.get());
    dbus_message_unref(message);
    if (reply == nullptr) {
        return std::unexpected(error.text());
    }
    dbus_message_unref(reply);
    return {};
}

void close(DBusConnection* connection)
{
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
}

}  // namespace

std::string bluez_error_text(std::string_view message)
{
    std::string text = cmd_runner::clean_text(message, {.max_chars = 300, .trim = true});
    if (text.find("org.bluez was not provided") != std::string::npos ||
        text.find("dbus-org.bluez.service") != std::string::npos ||
        text.find("org.bluez was not activated") != std::string::npos) {
        return "the Bluetooth service is not running";
    }
    return text;
}

Result<std::unique_ptr<DiscoverySession>> DiscoverySession::start(const std::string& adapter_path,
                                                                 std::chrono::milliseconds call_limit,
                                                                 std::chrono::milliseconds duration)
{
    if (dbus_validate_path(adapter_path.c_str(), nullptr) == FALSE) {
        return std::unexpected(std::string("not a Bluetooth adapter"));
    }
    BusError error;
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SYSTEM, error.get());
    if (connection == nullptr) {
        return std::unexpected("the system bus is not reachable: " + error.text());
    }
    // A broken bus connection must end the discovery, not this program.
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    for (const auto* method : {"SetDiscoveryFilter", "StartDiscovery"}) {
        const bool filter = std::string_view(method) == "SetDiscoveryFilter";
        if (auto called = call_adapter(connection, adapter_path, method, filter, call_limit); !called) {
            close(connection);
            return std::unexpected(called.error());
        }
    }
    std::unique_ptr<DiscoverySession> session(new DiscoverySession(connection, adapter_path, call_limit));
    const auto deadline = std::chrono::steady_clock::now() + duration;
    session->timer_ = std::jthread([self = session.get(), deadline](const std::stop_token& stop) {
        std::unique_lock lock(self->mutex_);
        if (!self->wake_.wait_until(lock, stop, deadline, [self] { return self->connection_ == nullptr; }) &&
            !stop.stop_requested()) {
            (void)self->stop_locked();
        }
    });
    return session;
}

DiscoverySession::DiscoverySession(DBusConnection* connection, std::string adapter_path,
                                   std::chrono::milliseconds call_limit)
    : connection_(connection), adapter_path_(std::move(adapter_path)), call_limit_(call_limit)
{
}

DiscoverySession::~DiscoverySession()
{
    {
        const std::lock_guard lock(mutex_);
        (void)stop_locked();
    }
    timer_.request_stop();
    if (timer_.joinable()) {
        timer_.join();
    }
}

Status DiscoverySession::stop()
{
    const std::lock_guard lock(mutex_);
    return stop_locked();
}

Status DiscoverySession::stop_locked()
{
    if (connection_ == nullptr) {
        return {};
    }
    Status stopped;
    if (dbus_connection_get_is_connected(connection_) != FALSE) {
        stopped = call_adapter(connection_, adapter_path_, "StopDiscovery", false, call_limit_);
    }
    // Leaving the bus ends the discovery in BlueZ even when the call failed.
    close(connection_);
    connection_ = nullptr;
    wake_.notify_all();
    return stopped;
}

bool DiscoverySession::running()
{
    const std::lock_guard lock(mutex_);
    if (connection_ != nullptr) {
        // Takes in what the bus sent (a broken connection is noticed only then) and drops it: this client asks for
        // no signals, so there is nothing it needs to read.
        (void)dbus_connection_read_write(connection_, 0);
        while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
            dbus_message_unref(message);
        }
    }
    if (connection_ != nullptr && dbus_connection_get_is_connected(connection_) == FALSE) {
        close(connection_);
        connection_ = nullptr;
        wake_.notify_all();
    }
    return connection_ != nullptr;
}

}  // namespace system_ops::bluez::detail
