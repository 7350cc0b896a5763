#include "system_ops/modem.hpp"

#include "system_ops/tool.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <sodium.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cctype>

namespace system_ops::modem {

namespace {

constexpr std::string_view modem_root = "/org/freedesktop/ModemManager1/";
constexpr std::string_view sim_root = "/org/freedesktop/ModemManager1/SIM/";

CurrentSlot<ModemService>& slot()
{
    static CurrentSlot<ModemService> instance([]() -> std::shared_ptr<ModemService> {
        return std::make_shared<MmcliModem>();
    });
    return instance;
}

// A string member of a JSON object, "--" (mmcli's "none") and missing members read as empty.
std::string text_at(const nlohmann::json& object, std::initializer_list<std::string_view> path)
{
    const nlohmann::json* node = &object;
    for (const auto key : path) {
        if (!node->is_object()) {
            return {};
        }
        const auto found = node->find(key);
        if (found == node->end()) {
            return {};
        }
        node = &*found;
    }
    if (!node->is_string()) {
        return {};
    }
    auto value = node->get<std::string>();
    return value == "--" ? std::string() : value;
}

bool is_object_path_under(std::string_view path, std::string_view root)
{
    if (!path.starts_with(root) || path.size() == root.size() || path.size() > 255) {
        return false;
    }
    return std::ranges::all_of(path, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '/';
    }) && !path.ends_with('/') && path.find("//") == std::string_view::npos;
}

Result<nlohmann::json> mmcli_json(cmd_runner::Runner& runner, std::vector<std::string> args,
                                  std::chrono::milliseconds limit)
{
    args.insert(args.begin(), "-J");
    const auto out = detail::run_tool(runner, {.program = "mmcli", .args = std::move(args), .time_limit = limit});
    if (!out) {
        return std::unexpected(out.error());
    }
    auto json = nlohmann::json::parse(*out, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::unexpected(std::string("mmcli answered something that is not JSON"));
    }
    return json;
}

// Frees what sd-bus handed out, also on early returns.
struct BusCall {
    sd_bus* bus = nullptr;
    sd_bus_message* message = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C compound literal

    ~BusCall()
    {
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(message);  // sensitive: its memory is wiped here
        sd_bus_flush_close_unref(bus);
    }
};

std::string describe_bus_error(const sd_bus_error& error, int code)
{
    const std::string_view name = error.name != nullptr ? error.name : "";
    if (name.ends_with(".IncorrectPassword") || name.ends_with(".SimWrong")) {
        return "The SIM PIN is not correct.";
    }
    if (name.ends_with(".SimPuk") || name.ends_with(".IncorrectPuk")) {
        return "The SIM is blocked and needs its PUK code from the carrier.";
    }
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner") {
        return "ModemManager is not running.";
    }
    if (name == "org.freedesktop.DBus.Error.UnknownObject" || name == "org.freedesktop.DBus.Error.UnknownMethod") {
        return "The SIM is no longer available.";
    }
    if (error.message != nullptr && *error.message != '\0') {
        return cmd_runner::clean_text(error.message, {.max_chars = 256, .trim = true});
    }
    return fmt::format("the call to ModemManager failed ({})", std::strerror(-code));
}

}  // namespace

std::shared_ptr<ModemService> current()
{
    return slot().get();
}

std::shared_ptr<ModemService> replace_current(std::shared_ptr<ModemService> service)
{
    return slot().replace(std::move(service));
}

Result<std::vector<MobileSim>> list_mobile_sims()
{
    return current()->list_mobile_sims();
}

Status unlock_mobile_sim_on(std::string_view sim, std::string_view pin)
{
    return current()->unlock_mobile_sim_on(sim, pin);
}

Status check_unlock(std::string_view sim, std::string_view pin)
{
    if (!is_object_path_under(sim, sim_root)) {
        return std::unexpected(std::string("No SIM is available"));
    }
    const bool digits = std::ranges::all_of(pin, [](char c) { return c >= '0' && c <= '9'; });
    if (pin.size() < 4 || pin.size() > 8 || !digits) {
        return std::unexpected(std::string("A SIM PIN has 4 to 8 digits."));
    }
    return {};
}

MmcliModem::MmcliModem(std::shared_ptr<cmd_runner::Runner> runner) : MmcliModem(std::move(runner), {}) {}

MmcliModem::MmcliModem(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(options)
{
}

Result<std::vector<MobileSim>> MmcliModem::list_mobile_sims()
{
    const auto list = mmcli_json(*runner_, {"-L"}, options_.read_limit);
    if (!list) {
        return std::unexpected(list.error());
    }
    std::vector<MobileSim> sims;
    const auto modems = list->find("modem-list");
    if (modems == list->end() || !modems->is_array()) {
        return sims;
    }
    for (const auto& entry : *modems) {
        if (!entry.is_string() || !is_object_path_under(entry.get<std::string>(), modem_root)) {
            continue;
        }
        const auto modem = mmcli_json(*runner_, {"--modem=" + entry.get<std::string>()}, options_.read_limit);
        if (!modem) {
            return std::unexpected(modem.error());
        }
        const std::string sim_path = text_at(*modem, {"modem", "generic", "sim"});
        if (!is_object_path_under(sim_path, sim_root)) {
            continue;
        }
        const bool pin_required = text_at(*modem, {"modem", "generic", "unlock-required"}) == "sim-pin";
        std::string operator_name = text_at(*modem, {"modem", "3gpp", "operator-name"});
        std::string iccid;
        if (const auto sim = mmcli_json(*runner_, {"--sim=" + sim_path}, options_.read_limit)) {
            iccid = text_at(*sim, {"sim", "properties", "iccid"});
            if (const auto name = text_at(*sim, {"sim", "properties", "operator-name"}); !name.empty()) {
                operator_name = name;
            }
        }
        std::string label = cmd_runner::clean_text(operator_name, {.max_bytes = 64, .trim = true});
        if (label.empty()) {
            label = "SIM";
        }
        iccid = cmd_runner::clean_text(iccid, {.max_bytes = 32, .trim = true});
        if (iccid.size() >= 4) {
            label += " · SIM " + iccid.substr(iccid.size() - 4);
        }
        if (pin_required) {
            label += " · PIN required";
        }
        sims.push_back({.identifier = sim_path, .label = std::move(label)});
    }
    return sims;
}

Status MmcliModem::unlock_mobile_sim_on(std::string_view sim, std::string_view pin)
{
    if (auto ok = check_unlock(sim, pin); !ok) {
        return ok;
    }
    BusCall call;
    if (const int r = sd_bus_open_system(&call.bus); r < 0) {
        return std::unexpected(fmt::format("Could not reach the system bus: {}", std::strerror(-r)));
    }
    const std::string path(sim);
    int r = sd_bus_message_new_method_call(call.bus, &call.message, "org.freedesktop.ModemManager1", path.c_str(),
                                           "org.freedesktop.ModemManager1.Sim", "SendPin");
    if (r >= 0) {
        r = sd_bus_message_sensitive(call.message);
    }
    if (r >= 0) {
        // An authorisation prompt may ask the user before ModemManager acts.
        r = sd_bus_message_set_allow_interactive_authorization(call.message, 1);
    }
    if (r >= 0) {
        std::array<char, 9> text{};  // the PIN with its terminating zero (check_unlock: at most 8 digits)
        std::ranges::copy(pin, text.begin());
        r = sd_bus_message_append_basic(call.message, 's', text.data());
        sodium_memzero(text.data(), text.size());
    }
    if (r < 0) {
        return std::unexpected(fmt::format("Could not build the unlock request: {}", std::strerror(-r)));
    }
    const auto usec = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(options_.unlock_limit).count());
    r = sd_bus_call(call.bus, call.message, usec, &call.error, &call.reply);
    if (r < 0) {
        return std::unexpected(describe_bus_error(call.error, r));
    }
    return {};
}

}  // namespace system_ops::modem
