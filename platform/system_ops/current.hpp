#pragma once
// The process-wide current implementation of a system backend.
//
// Each backend of the system layer (time, network, Bluetooth, battery, printing, audio) is an interface with a real
// implementation that reaches the machine and a fake for tests. The free functions of a backend's namespace
// (system_ops::time::set_timezone, ...) forward to its current implementation, which is the real one until a test
// puts another in its place:
//
//   auto fake = std::make_shared<system_ops::time::FakeTime>();
//   system_ops::ScopedCurrent<system_ops::time::TimeService> guard(fake);
//   ... code under test calls system_ops::time::set_timezone(...) and reaches the fake ...
//
// Replacing is safe while other threads call the backend: a call that already holds the previous implementation
// finishes with it.

#include <memory>
#include <mutex>
#include <utility>

namespace system_ops {

// Storage of one current implementation; created lazily from the factory on first use.
template <class Interface>
class CurrentSlot {
public:
    using Factory = std::shared_ptr<Interface> (*)();

    explicit CurrentSlot(Factory factory) : factory_(factory) {}

    [[nodiscard]] std::shared_ptr<Interface> get()
    {
        const std::lock_guard lock(mutex_);
        if (!current_) {
            current_ = factory_();
        }
        return current_;
    }

    // Puts `next` in place (nullptr: the real implementation again, created on next use) and returns the previous.
    std::shared_ptr<Interface> replace(std::shared_ptr<Interface> next)
    {
        const std::lock_guard lock(mutex_);
        std::swap(current_, next);
        return next;
    }

private:
    std::mutex mutex_;
    Factory factory_;
    std::shared_ptr<Interface> current_;
};

// Puts an implementation in place for the guard's lifetime and restores the previous one afterwards. Finds the
// backend's replace_current() by argument-dependent lookup in the interface's namespace.
template <class Interface>
class [[nodiscard]] ScopedCurrent {
public:
    explicit ScopedCurrent(std::shared_ptr<Interface> replacement)
        : previous_(replace_current(std::move(replacement)))
    {
    }
    ~ScopedCurrent() { replace_current(std::move(previous_)); }

    ScopedCurrent(const ScopedCurrent&) = delete;
    ScopedCurrent& operator=(const ScopedCurrent&) = delete;

private:
    std::shared_ptr<Interface> previous_;
};

}  // namespace system_ops
