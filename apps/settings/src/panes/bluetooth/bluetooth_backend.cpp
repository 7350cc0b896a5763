#include "panes/bluetooth/bluetooth_backend.hpp"

#include "vorn_log/log.hpp"

#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace settings::panes::bluetooth {

namespace bluez = system_ops::bluez;

system_ops::Result<std::vector<BluetoothDevice>> BluezBackend::devices()
{
    return bluez::devices();
}
system_ops::Result<bool> BluezBackend::is_powered()
{
    return bluez::is_powered();
}
system_ops::Result<bool> BluezBackend::is_scanning()
{
    return bluez::is_scanning();
}
system_ops::Status BluezBackend::set_powered(bool powered)
{
    return bluez::set_powered(powered);
}
system_ops::Status BluezBackend::start_scan()
{
    return bluez::start_scan();
}
system_ops::Status BluezBackend::stop_scan()
{
    return bluez::stop_scan();
}
PairOutcome BluezBackend::pair(std::string_view device)
{
    return bluez::pair(device);
}
system_ops::Status BluezBackend::cancel_pairing(std::string_view device)
{
    return bluez::cancel_pairing(device);
}
system_ops::Status BluezBackend::connect(std::string_view device)
{
    return bluez::connect(device);
}
system_ops::Status BluezBackend::disconnect(std::string_view device)
{
    return bluez::disconnect(device);
}
system_ops::Status BluezBackend::set_trusted(std::string_view device, bool trusted)
{
    return bluez::set_trusted(device, trusted);
}
system_ops::Status BluezBackend::set_alias(std::string_view device, std::string_view alias)
{
    return bluez::set_alias(device, alias);
}
system_ops::Status BluezBackend::forget(std::string_view device)
{
    return bluez::forget(device);
}

namespace {

// Starts a detached thread for the work. Should the system refuse a thread, the work runs here instead: late is
// better than never for an action the user asked for.
void run_detached(std::function<void()> work)
{
    try {
        std::thread(work).detach();
    } catch (const std::system_error& error) {
        VORN_WARN("bluetooth_worker", "could not start a worker thread ({}); running the work on this thread", error.what());
        work();
    }
}

// Runs the work handed to it one piece after another on a thread that lives while there is work.
class SerialWorker : public std::enable_shared_from_this<SerialWorker> {
public:
    void post(std::function<void()> work)
    {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
            if (running_) {
                return;
            }
            running_ = true;
        }
        run_detached([self = shared_from_this()] { self->drain(); });
    }

private:
    void drain()
    {
        for (;;) {
            std::function<void()> work;
            {
                const std::lock_guard lock(mutex_);
                if (queue_.empty()) {
                    running_ = false;
                    return;
                }
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            work();
        }
    }

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    bool running_ = false;
};

}  // namespace

BluetoothWorkers BluetoothWorkers::background()
{
    auto serial = std::make_shared<SerialWorker>();
    return {.actions = [serial](std::function<void()> work) { serial->post(std::move(work)); },
            .pairing = [](std::function<void()> work) { run_detached(std::move(work)); }};
}

}  // namespace settings::panes::bluetooth
