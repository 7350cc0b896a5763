#include "system_ops/testing/fake_firmware.hpp"

namespace system_ops::testing {

FakeFirmware::State FakeFirmware::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

void FakeFirmware::change(const std::function<void(State&)>& edit)
{
    const std::lock_guard lock(mutex_);
    edit(state_);
}

std::vector<std::string> FakeFirmware::calls() const
{
    const std::lock_guard lock(mutex_);
    return calls_;
}

void FakeFirmware::send(firmware::InstallEvent event)
{
    const std::lock_guard lock(mutex_);
    if (sender_) {
        sender_->send(std::move(event));
    }
}

void FakeFirmware::end_install()
{
    std::optional<firmware::InstallEventSender> ended;
    {
        const std::lock_guard lock(mutex_);
        ended.swap(sender_);
    }
}

bool FakeFirmware::installing() const
{
    const std::lock_guard lock(mutex_);
    return sender_.has_value();
}

Result<std::vector<firmware::FirmwareDevice>> FakeFirmware::devices()
{
    const std::lock_guard lock(mutex_);
    calls_.emplace_back("devices");
    return state_.devices;
}

Result<std::vector<firmware::FirmwareUpdate>> FakeFirmware::updates()
{
    const std::lock_guard lock(mutex_);
    calls_.emplace_back("updates");
    return state_.updates;
}

Result<std::vector<firmware::FirmwareHistoryEntry>> FakeFirmware::history()
{
    const std::lock_guard lock(mutex_);
    calls_.emplace_back("history");
    return state_.history;
}

Status FakeFirmware::refresh_metadata()
{
    const std::lock_guard lock(mutex_);
    calls_.emplace_back("refresh");
    return state_.refresh;
}

Result<firmware::InstallEvents> FakeFirmware::start_install(std::vector<firmware::FirmwareUpdate> updates,
                                                            std::function<void()> notify)
{
    const std::lock_guard lock(mutex_);
    std::string call = "install";
    for (const auto& update : updates) {
        call += " " + update.device_id;
    }
    calls_.push_back(std::move(call));
    if (state_.install_failure) {
        return std::unexpected(*state_.install_failure);
    }
    auto [sender, events] = firmware::InstallEvents::channel(std::move(notify));
    sender_.emplace(std::move(sender));
    return std::move(events);
}

}  // namespace system_ops::testing
