#pragma once
// A firmware service held in memory, for the tests of pages. It answers from its state; an installation is a
// channel the test feeds by hand, so a test decides which events arrive and when. Safe to share between threads.
//
//   auto firmware = std::make_shared<system_ops::testing::FakeFirmware>();
//   system_ops::ScopedCurrent<system_ops::firmware::FirmwareService> guard(firmware);
//   firmware->change([](auto& s) { s.updates = std::vector{...}; });
//   ... the page starts an installation ...
//   firmware->send({system_ops::firmware::InstallEvent::Progress{"Writing…", 40}});
//   firmware->end_install();  // the installation's thread is gone

#include "system_ops/firmware.hpp"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace system_ops::testing {

class FakeFirmware final : public firmware::FirmwareService {
public:
    struct State {
        Result<std::vector<firmware::FirmwareDevice>> devices = std::vector<firmware::FirmwareDevice>{};
        Result<std::vector<firmware::FirmwareUpdate>> updates = std::vector<firmware::FirmwareUpdate>{};
        Result<std::vector<firmware::FirmwareHistoryEntry>> history = std::vector<firmware::FirmwareHistoryEntry>{};
        Status refresh = {};
        // When set, an installation does not start and answers this error.
        std::optional<std::string> install_failure;
    };

    FakeFirmware() = default;
    explicit FakeFirmware(State state) : state_(std::move(state)) {}

    [[nodiscard]] State state() const;
    void change(const std::function<void(State&)>& edit);
    // Every call so far: "devices", "updates", "history", "refresh", "install <device ids>".
    [[nodiscard]] std::vector<std::string> calls() const;

    // Sends an event of the running installation (nothing when none runs).
    void send(firmware::InstallEvent event);
    // Ends the running installation's channel, as its thread ending does.
    void end_install();
    [[nodiscard]] bool installing() const;

    Result<std::vector<firmware::FirmwareDevice>> devices() override;
    Result<std::vector<firmware::FirmwareUpdate>> updates() override;
    Result<std::vector<firmware::FirmwareHistoryEntry>> history() override;
    Status refresh_metadata() override;
    Result<firmware::InstallEvents> start_install(std::vector<firmware::FirmwareUpdate> updates,
                                                  std::function<void()> notify) override;

private:
    mutable std::mutex mutex_;
    State state_;
    std::vector<std::string> calls_;
    std::optional<firmware::InstallEventSender> sender_;
};

}  // namespace system_ops::testing
