#pragma once
// Test helper (header only): keeps a test away from the user's own session bus, and so from the user's keyring.
// Needs no linking.

#include <cstdlib>
#include <optional>
#include <string>

namespace test_buses {

// Hides the session bus from this process while it lives: no Secret Service is asked (a desktop without one).
class NoSessionBus {
public:
    NoSessionBus()
    {
        if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
            saved_ = address;
        }
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    NoSessionBus(const NoSessionBus&) = delete;
    NoSessionBus& operator=(const NoSessionBus&) = delete;
    ~NoSessionBus()
    {
        if (saved_) {
            ::setenv("DBUS_SESSION_BUS_ADDRESS", saved_->c_str(), 1);
        }
    }

private:
    std::optional<std::string> saved_;
};

}  // namespace test_buses
