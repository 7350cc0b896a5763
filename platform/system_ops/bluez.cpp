#include "system_ops/bluez.hpp"

#include "system_ops/tool.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <limits>

namespace system_ops::bluez {

namespace {

CurrentSlot<BluezService>& slot()
{
    static CurrentSlot<BluezService> instance([]() -> std::shared_ptr<BluezService> {
        return std::make_shared<BluetoothctlBluez>();
    });
    return instance;
}

bool is_address(std::string_view text)
{
    if (text.size() != 17) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2 ? text[i] != ':' : std::isxdigit(static_cast<unsigned char>(text[i])) == 0) {
            return false;
        }
    }
    return true;
}

std::string upper(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return out;
}

// "-60", or the decimal in brackets of "0xffffffc4 (-60)".
std::optional<std::int64_t> bracketed_number(std::string_view value)
{
    value = detail::trim(value);
    const auto open = value.find('(');
    const auto close = value.find(')', open == std::string_view::npos ? 0 : open);
    if (open != std::string_view::npos && close != std::string_view::npos) {
        return detail::parse_int(detail::trim(value.substr(open + 1, close - open - 1)));
    }
    return detail::parse_int(value);
}

// A run of bluetoothctl: its output, or an error sentence. bluetoothctl waits for the daemon without end, so a
// run that reaches the time limit means that the service does not answer.
Result<std::string> bluetoothctl(cmd_runner::Runner& runner, std::vector<std::string> args,
                                 std::chrono::milliseconds limit)
{
    const auto out = runner.run({.program = "bluetoothctl",
                                 .args = std::move(args),
                                 .env = {{"LC_ALL", "C"}},
                                 .time_limit = limit});
    if (!out) {
        if (out.error().kind == cmd_runner::ErrorKind::TimedOut) {
            return std::unexpected(std::string("the Bluetooth service is not answering"));
        }
        return std::unexpected(out.error().message);
    }
    // Whatever the exit status, bluetoothctl says so when there is no adapter.
    if (out->stdout_bytes.find("No default controller available") != std::string::npos) {
        return std::unexpected(std::string("no Bluetooth adapter was found"));
    }
    if (!out->status.success()) {
        return std::unexpected(cmd_runner::failure_text(*out, "bluetoothctl"));
    }
    return out->stdout_bytes;
}

}  // namespace

std::shared_ptr<BluezService> current()
{
    return slot().get();
}

std::shared_ptr<BluezService> replace_current(std::shared_ptr<BluezService> service)
{
    return slot().replace(std::move(service));
}

Result<std::vector<BluetoothDevice>> devices()
{
    return current()->devices();
}

std::optional<std::string> device_path(std::string_view adapter, std::string_view address)
{
    if (!is_address(address) || adapter.empty()) {
        return std::nullopt;
    }
    std::string path = fmt::format("/org/bluez/{}/dev_{}", adapter, upper(address));
    std::ranges::replace(path, ':', '_');
    return path;
}

std::optional<std::string> address_of_path(std::string_view path)
{
    constexpr std::string_view root = "/org/bluez/";
    if (!path.starts_with(root)) {
        return std::nullopt;
    }
    path.remove_prefix(root.size());
    const auto slash = path.find('/');
    if (slash == std::string_view::npos || slash == 0) {
        return std::nullopt;
    }
    const auto adapter = path.substr(0, slash);
    if (!std::ranges::all_of(adapter, [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
        return std::nullopt;
    }
    auto device = path.substr(slash + 1);
    if (!device.starts_with("dev_")) {
        return std::nullopt;
    }
    device.remove_prefix(4);
    std::string address(device);
    std::ranges::replace(address, '_', ':');
    if (!is_address(address)) {
        return std::nullopt;
    }
    return upper(address);
}

Result<BluetoothDevice> parse_info(std::string_view text)
{
    BluetoothDevice device;
    bool header = false;
    std::string remote_name;
    std::string alias;
    for (const auto raw : detail::split_lines(text)) {
        const std::string line = cmd_runner::clean_text(raw, {.keep_tab = true, .trim = true});
        if (line.starts_with("Device ")) {
            header = true;
            continue;
        }
        const auto colon = line.find(':');
        if (!header || colon == std::string::npos) {
            continue;
        }
        const std::string_view key = detail::trim(std::string_view(line).substr(0, colon));
        const std::string_view value = detail::trim(std::string_view(line).substr(colon + 1));
        if (key == "Name") {
            remote_name = value;
        } else if (key == "Alias") {
            alias = value;
        } else if (key == "Icon") {
            device.icon = value;
        } else if (key == "Paired") {
            device.paired = detail::parse_flag(value).value_or(false);
        } else if (key == "Trusted") {
            device.trusted = detail::parse_flag(value).value_or(false);
        } else if (key == "Connected") {
            device.connected = detail::parse_flag(value).value_or(false);
        } else if (key == "RSSI") {
            const auto rssi = bracketed_number(value);
            if (rssi && *rssi >= std::numeric_limits<std::int16_t>::min() && *rssi <= 0) {
                device.rssi = static_cast<std::int16_t>(*rssi);
            }
        } else if (key == "Battery Percentage") {
            const auto level = bracketed_number(value);
            if (level && *level >= 0 && *level <= 100) {
                device.battery = static_cast<std::uint8_t>(*level);
            }
        }
    }
    if (!header) {
        return std::unexpected(std::string("bluetoothctl printed no device information"));
    }
    device.name = !alias.empty() ? alias : remote_name;
    return device;
}

// ---- BluetoothctlBluez -----------------------------------------------------------------------------------------

BluetoothctlBluez::BluetoothctlBluez(std::shared_ptr<cmd_runner::Runner> runner)
    : BluetoothctlBluez(std::move(runner), {})
{
}

BluetoothctlBluez::BluetoothctlBluez(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(std::move(options))
{
}

std::string BluetoothctlBluez::adapter_name() const
{
    std::optional<unsigned long> lowest;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(options_.sysfs_root / "class" / "bluetooth", ec)) {
        const std::string name = entry.path().filename().string();
        // "hci0:11" and similar entries are connections, not adapters.
        if (!name.starts_with("hci") || name.size() == 3 || name.size() > 8 ||
            !std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const unsigned long index = std::stoul(name.substr(3));
        if (!lowest || index < *lowest) {
            lowest = index;
        }
    }
    return fmt::format("hci{}", lowest.value_or(0));
}

Result<std::vector<BluetoothDevice>> BluetoothctlBluez::devices()
{
    const auto list = bluetoothctl(*runner_, {"devices"}, options_.time_limit);
    if (!list) {
        return std::unexpected(list.error());
    }
    const std::string adapter = adapter_name();
    std::vector<BluetoothDevice> found;
    for (const auto raw : detail::split_lines(*list)) {
        const std::string line = cmd_runner::clean_text(raw, {.trim = true});
        // "Device AA:BB:CC:DD:EE:FF Some name"
        if (!line.starts_with("Device ") || line.size() < 24) {
            continue;
        }
        const std::string address = upper(std::string_view(line).substr(7, 17));
        const auto path = device_path(adapter, address);
        if (!path || (line.size() > 24 && line[24] != ' ') ||
            std::ranges::any_of(found, [&](const BluetoothDevice& d) { return d.address == address; })) {
            continue;
        }
        const auto info = bluetoothctl(*runner_, {"info", address}, options_.time_limit);
        if (!info) {
            if (info.error() == "the Bluetooth service is not answering") {
                return std::unexpected(info.error());
            }
            continue;  // the device went away between the two calls
        }
        auto device = parse_info(*info);
        if (!device) {
            continue;
        }
        device->path = *path;
        device->address = address;
        if (device->name.empty()) {
            device->name = line.size() > 25 ? line.substr(25) : address;
        }
        found.push_back(std::move(*device));
    }
    return found;
}

// ---- FakeBluez -------------------------------------------------------------------------------------------------

void FakeBluez::set_devices(Result<std::vector<BluetoothDevice>> devices)
{
    const std::lock_guard lock(mutex_);
    devices_ = std::move(devices);
}

Result<std::vector<BluetoothDevice>> FakeBluez::devices()
{
    const std::lock_guard lock(mutex_);
    return devices_;
}

}  // namespace system_ops::bluez
