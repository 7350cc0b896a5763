#include "system_ops/bluez_discovery.hpp"

#include "cmd_runner/cmd_runner.hpp"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstring>

namespace system_ops::bluez::detail {

namespace {

// A sentence for a failed sd-bus step: the bus error's message, else the error number's text.
std::string bus_error_text(const sd_bus_error& error, int code)
{
    if (error.message != nullptr && *error.message != '\0') {
        return bluez_error_text(error.message);
    }
    if (error.name != nullptr && *error.name != '\0') {
        return bluez_error_text(error.name);
    }
    return bluez_error_text(std::strerror(code < 0 ? -code : code));
}

// Calls a method of the adapter that answers nothing; `empty_filter` adds an empty a{sv} argument.
Status call_adapter(sd_bus* bus, const std::string& path, const char* method, bool empty_filter,
                    std::chrono::milliseconds limit)
{
    sd_bus_message* message = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C compound literal
    int r = sd_bus_message_new_method_call(bus, &message, "org.bluez", path.c_str(), "org.bluez.Adapter1", method);
    if (r >= 0 && empty_filter) {
        r = sd_bus_message_append(message, "a{sv}", 0);
    }
    if (r >= 0) {
        r = sd_bus_call(bus, message, static_cast<std::uint64_t>(limit.count()) * 1000U, &error, &reply);
    }
    Status done;
    if (r < 0) {
        done = std::unexpected(bus_error_text(error, r));
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(message);
    return done;
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
    if (sd_bus_object_path_is_valid(adapter_path.c_str()) <= 0) {
        return std::unexpected(std::string("not a Bluetooth adapter"));
    }
    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_system(&bus); r < 0) {
        const sd_bus_error none{};  // SD_BUS_ERROR_NULL
        return std::unexpected("the system bus is not reachable: " + bus_error_text(none, r));
    }
    for (const auto* method : {"SetDiscoveryFilter", "StartDiscovery"}) {
        const bool filter = std::string_view(method) == "SetDiscoveryFilter";
        if (auto called = call_adapter(bus, adapter_path, method, filter, call_limit); !called) {
            sd_bus_flush_close_unref(bus);
            return std::unexpected(called.error());
        }
    }
    std::unique_ptr<DiscoverySession> session(new DiscoverySession(bus, adapter_path, call_limit));
    const auto deadline = std::chrono::steady_clock::now() + duration;
    session->timer_ = std::jthread([self = session.get(), deadline](const std::stop_token& stop) {
        std::unique_lock lock(self->mutex_);
        if (!self->wake_.wait_until(lock, stop, deadline, [self] { return self->bus_ == nullptr; }) &&
            !stop.stop_requested()) {
            (void)self->stop_locked();
        }
    });
    return session;
}

DiscoverySession::DiscoverySession(sd_bus* bus, std::string adapter_path, std::chrono::milliseconds call_limit)
    : bus_(bus), adapter_path_(std::move(adapter_path)), call_limit_(call_limit)
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
    if (bus_ == nullptr) {
        return {};
    }
    Status stopped;
    if (sd_bus_is_open(bus_) > 0) {
        stopped = call_adapter(bus_, adapter_path_, "StopDiscovery", false, call_limit_);
    }
    // Leaving the bus ends the discovery in BlueZ even when the call failed.
    sd_bus_flush_close_unref(bus_);
    bus_ = nullptr;
    wake_.notify_all();
    return stopped;
}

bool DiscoverySession::running()
{
    const std::lock_guard lock(mutex_);
    if (bus_ != nullptr) {
        // Takes in what the bus sent (a broken connection is noticed only then) and drops it: this client asks for
        // no signals, so there is nothing it needs to read.
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        if (sd_bus_is_open(bus_) <= 0) {
            sd_bus_flush_close_unref(bus_);
            bus_ = nullptr;
            wake_.notify_all();
        }
    }
    return bus_ != nullptr;
}

}  // namespace system_ops::bluez::detail
