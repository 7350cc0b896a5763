#pragma once
// Mobile broadband modems through ModemManager: the SIM cards present, and unlocking a SIM with its PIN.
//
// The SIMs are read with ModemManager's command-line client (`mmcli -J`, JSON output). The PIN never appears in a
// command's arguments: it is sent to ModemManager over the system bus (Sim.SendPin) in a message marked sensitive,
// whose memory is wiped when it is freed.
//
// The free functions forward to the current ModemService (see current.hpp); the real one is MmcliModem.

#include "cmd_runner/cmd_runner.hpp"
#include "system_ops/current.hpp"
#include "system_ops/result.hpp"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace system_ops::modem {

struct MobileSim {
    std::string identifier;  // ModemManager's object path of the SIM
    std::string label;       // "Vodafone · SIM 1234 · PIN required"

    friend bool operator==(const MobileSim&, const MobileSim&) = default;
};

class ModemService {
public:
    virtual ~ModemService() = default;
    // The SIMs of every modem; empty when there is no modem.
    [[nodiscard]] virtual Result<std::vector<MobileSim>> list_mobile_sims() = 0;
    [[nodiscard]] virtual Status unlock_mobile_sim_on(std::string_view sim, std::string_view pin) = 0;
};

[[nodiscard]] std::shared_ptr<ModemService> current();
std::shared_ptr<ModemService> replace_current(std::shared_ptr<ModemService> service);

[[nodiscard]] Result<std::vector<MobileSim>> list_mobile_sims();
[[nodiscard]] Status unlock_mobile_sim_on(std::string_view sim, std::string_view pin);

// A SIM PIN has 4 to 8 digits; a SIM is named by its object path under /org/freedesktop/ModemManager1/SIM/.
[[nodiscard]] Status check_unlock(std::string_view sim, std::string_view pin);

class MmcliModem final : public ModemService {
public:
    struct Options {
        std::chrono::milliseconds read_limit = std::chrono::seconds(10);
        // The SIM may take a while to check the PIN; an authorisation prompt may come first.
        std::chrono::milliseconds unlock_limit = std::chrono::seconds(60);
    };

    explicit MmcliModem(std::shared_ptr<cmd_runner::Runner> runner = cmd_runner::system_runner());
    MmcliModem(std::shared_ptr<cmd_runner::Runner> runner, Options options);

    Result<std::vector<MobileSim>> list_mobile_sims() override;
    Status unlock_mobile_sim_on(std::string_view sim, std::string_view pin) override;

private:
    std::shared_ptr<cmd_runner::Runner> runner_;
    Options options_;
};

}  // namespace system_ops::modem
