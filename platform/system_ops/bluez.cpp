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

// The line in which bluetoothctl says why a command failed. It prints that on standard output ("Failed to connect:
// org.bluez.Error.Failed br-connection-profile-unavailable", "Device AA:BB:CC:DD:EE:FF not available"), not on
// standard error.
std::optional<std::string> failure_line(std::string_view out)
{
    std::optional<std::string> found;
    for (const auto raw : detail::split_lines(out)) {
        std::string line = cmd_runner::clean_text(raw, {.max_chars = 512, .trim = true});
        if (line.starts_with("Failed") || line.find("org.bluez.Error.") != std::string::npos ||
            (line.starts_with("Device ") && line.ends_with(" not available"))) {
            found = std::move(line);
        }
    }
    return found;
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
        if (cmd_runner::clean_text(out->stderr_bytes, {.trim = true}).empty()) {
            if (auto line = failure_line(out->stdout_bytes)) {
                return std::unexpected(std::move(*line));
            }
        }
        return std::unexpected(cmd_runner::failure_text(*out, "bluetoothctl"));
    }
    return out->stdout_bytes;
}

Status not_a_device(std::string_view device)
{
    return std::unexpected(
        fmt::format("\"{}\" is not a Bluetooth device", cmd_runner::clean_text(device, {.max_chars = 64})));
}

// BlueZ takes names of up to 248 bytes; a name with control characters would be shown garbled everywhere.
bool is_alias(std::string_view alias)
{
    return alias.size() <= 248 && cmd_runner::clean_text(alias) == alias && cmd_runner::decode_lossy(alias) == alias;
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
Result<bool> is_powered()
{
    return current()->is_powered();
}
Result<bool> is_scanning()
{
    return current()->is_scanning();
}
Status set_powered(bool powered)
{
    return current()->set_powered(powered);
}
Status start_scan()
{
    return current()->start_scan();
}
Status stop_scan()
{
    return current()->stop_scan();
}
PairOutcome pair(std::string_view device)
{
    return current()->pair(device);
}
Status cancel_pairing(std::string_view device)
{
    return current()->cancel_pairing(device);
}
Status connect(std::string_view device)
{
    return current()->connect(device);
}
Status disconnect(std::string_view device)
{
    return current()->disconnect(device);
}
Status set_trusted(std::string_view device, bool trusted)
{
    return current()->set_trusted(device, trusted);
}
Status set_alias(std::string_view device, std::string_view alias)
{
    return current()->set_alias(device, alias);
}
Status forget(std::string_view device)
{
    return current()->forget(device);
}

std::optional<std::string> device_address(std::string_view device)
{
    if (is_address(device)) {
        return upper(device);
    }
    return address_of_path(device);
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

Result<AdapterState> parse_show(std::string_view text)
{
    AdapterState state;
    bool header = false;
    bool powered_seen = false;
    for (const auto raw : detail::split_lines(text)) {
        const std::string line = cmd_runner::clean_text(raw, {.keep_tab = true, .trim = true});
        if (line.starts_with("Controller ")) {
            if (header) {
                break;  // only the default (first) adapter counts
            }
            header = true;
            continue;
        }
        const auto colon = line.find(':');
        if (!header || colon == std::string::npos) {
            continue;
        }
        const std::string_view key = detail::trim(std::string_view(line).substr(0, colon));
        const std::string_view value = detail::trim(std::string_view(line).substr(colon + 1));
        if (key == "Powered") {
            state.powered = detail::parse_flag(value).value_or(false);
            powered_seen = true;
        } else if (key == "Discovering") {
            state.discovering = detail::parse_flag(value).value_or(false);
        }
    }
    if (!header || !powered_seen) {
        return std::unexpected(std::string("bluetoothctl printed no adapter information"));
    }
    return state;
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

BluetoothctlBluez::~BluetoothctlBluez()
{
    const std::lock_guard lock(scan_mutex_);
    scan_.reset();  // stops the discovery this backend started
}

Result<AdapterState> BluetoothctlBluez::adapter_state()
{
    const auto out = bluetoothctl(*runner_, {"show"}, options_.time_limit);
    if (!out) {
        return std::unexpected(out.error());
    }
    return parse_show(*out);
}

Result<bool> BluetoothctlBluez::is_powered()
{
    const auto state = adapter_state();
    if (!state) {
        return std::unexpected(state.error());
    }
    return state->powered;
}

Result<bool> BluetoothctlBluez::is_scanning()
{
    {
        const std::lock_guard lock(scan_mutex_);
        if (scan_ && scan_->try_wait()) {
            scan_.reset();  // our discovery ended (its limit, or bluetoothd went away)
        }
    }
    const auto state = adapter_state();
    if (!state) {
        return std::unexpected(state.error());
    }
    return state->discovering;
}

Status BluetoothctlBluez::set_powered(bool powered)
{
    return detail::done(bluetoothctl(*runner_, {"power", powered ? "on" : "off"}, options_.time_limit));
}

Status BluetoothctlBluez::start_scan()
{
    const std::lock_guard lock(scan_mutex_);
    if (scan_ && !scan_->try_wait()) {
        return {};  // already looking
    }
    scan_.reset();
    auto started = runner_->spawn_prepared(
        {.program = "bluetoothctl",
         .args = {"--timeout", std::to_string(options_.scan_limit.count()), "scan", "on"},
         .env = {{"LC_ALL", "C"}},
         .time_limit = options_.scan_limit + std::chrono::seconds(10)});
    if (!started) {
        return std::unexpected(started.error().message);
    }
    // A program that ends at once did not start a discovery (no adapter, radio off, ...).
    if (auto ended = started->try_wait()) {
        if (!*ended) {
            return std::unexpected(ended->error().message);
        }
        if (ended->value().stdout_bytes.find("No default controller available") != std::string::npos) {
            return std::unexpected(std::string("no Bluetooth adapter was found"));
        }
        if (auto line = failure_line(ended->value().stdout_bytes)) {
            return std::unexpected(std::move(*line));
        }
        if (!ended->value().status.success()) {
            return std::unexpected(cmd_runner::failure_text(ended->value(), "bluetoothctl"));
        }
    }
    scan_.emplace(std::move(*started));
    return {};
}

Status BluetoothctlBluez::stop_scan()
{
    const std::lock_guard lock(scan_mutex_);
    // Ending the program that asked for the discovery ends it in BlueZ.
    scan_.reset();
    return {};
}

Status BluetoothctlBluez::device_command(std::string_view verb, std::string_view device, std::chrono::milliseconds limit)
{
    const auto address = device_address(device);
    if (!address) {
        return not_a_device(device);
    }
    return detail::done(bluetoothctl(*runner_, {std::string(verb), *address}, limit));
}

PairOutcome BluetoothctlBluez::pair(std::string_view device)
{
    if (const auto paired = device_command("pair", device, options_.pair_limit); !paired) {
        return {.kind = PairResultKind::PairFailed, .error = paired.error()};
    }
    if (const auto connected = connect(device); !connected) {
        return {.kind = PairResultKind::PairedConnectFailed, .error = connected.error()};
    }
    return {.kind = PairResultKind::PairedConnected};
}

Status BluetoothctlBluez::cancel_pairing(std::string_view device)
{
    return device_command("cancel-pairing", device, options_.time_limit);
}

Status BluetoothctlBluez::connect(std::string_view device)
{
    return device_command("connect", device, options_.connect_limit);
}

Status BluetoothctlBluez::disconnect(std::string_view device)
{
    return device_command("disconnect", device, options_.connect_limit);
}

Status BluetoothctlBluez::set_trusted(std::string_view device, bool trusted)
{
    return device_command(trusted ? "trust" : "untrust", device, options_.time_limit);
}

Status BluetoothctlBluez::set_alias(std::string_view device, std::string_view alias)
{
    const auto address = device_address(device);
    if (!address) {
        return not_a_device(device);
    }
    if (!is_alias(alias)) {
        return std::unexpected(std::string("a Bluetooth device name has at most 248 bytes and no control characters"));
    }
    // A path names its adapter; an address is a device of the default adapter.
    std::string path = address_of_path(device) ? std::string(device) : device_path(adapter_name(), *address).value();
    return detail::done(detail::run_tool(*runner_, {.program = "busctl",
                                                    .args = {"--system", "set-property", "org.bluez", std::move(path),
                                                             "org.bluez.Device1", "Alias", "s", std::string(alias)},
                                                    .time_limit = options_.time_limit}));
}

Status BluetoothctlBluez::forget(std::string_view device)
{
    return device_command("remove", device, options_.time_limit);
}

// ---- FakeBluez -------------------------------------------------------------------------------------------------

void FakeBluez::set_devices(Result<std::vector<BluetoothDevice>> devices)
{
    const std::lock_guard lock(mutex_);
    devices_ = std::move(devices);
}

void FakeBluez::set_powered_state(Result<bool> powered)
{
    const std::lock_guard lock(mutex_);
    powered_ = std::move(powered);
}

void FakeBluez::set_failure(std::optional<std::string> failure)
{
    const std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
}

void FakeBluez::set_pair_outcome(PairOutcome outcome)
{
    const std::lock_guard lock(mutex_);
    pair_outcome_ = std::move(outcome);
}

std::vector<std::string> FakeBluez::calls() const
{
    const std::lock_guard lock(mutex_);
    return calls_;
}

Result<std::vector<BluetoothDevice>> FakeBluez::devices()
{
    const std::lock_guard lock(mutex_);
    return devices_;
}

Result<bool> FakeBluez::is_powered()
{
    const std::lock_guard lock(mutex_);
    return powered_;
}

Result<bool> FakeBluez::is_scanning()
{
    const std::lock_guard lock(mutex_);
    if (!powered_) {
        return std::unexpected(powered_.error());
    }
    return scanning_;
}

Result<BluetoothDevice*> FakeBluez::find(std::string_view device)
{
    if (!devices_) {
        return std::unexpected(devices_.error());
    }
    const auto address = device_address(device);
    if (!address) {
        return std::unexpected(fmt::format("\"{}\" is not a Bluetooth device", device));
    }
    for (auto& d : *devices_) {
        if (d.path == device || d.address == *address || address_of_path(d.path) == *address) {
            return &d;
        }
    }
    return std::unexpected(fmt::format("Device {} not available", *address));
}

Status FakeBluez::change(std::string call)
{
    calls_.push_back(std::move(call));
    if (failure_) {
        return std::unexpected(*failure_);
    }
    return {};
}

Status FakeBluez::set_powered(bool powered)
{
    const std::lock_guard lock(mutex_);
    if (auto done = change(fmt::format("set_powered {}", powered)); !done) {
        return done;
    }
    powered_ = powered;
    if (!powered) {
        scanning_ = false;
    }
    return {};
}

Status FakeBluez::start_scan()
{
    const std::lock_guard lock(mutex_);
    if (auto done = change("start_scan"); !done) {
        return done;
    }
    if (powered_ != true) {
        return std::unexpected(std::string("Failed to start discovery: org.bluez.Error.NotReady"));
    }
    scanning_ = true;
    return {};
}

Status FakeBluez::stop_scan()
{
    const std::lock_guard lock(mutex_);
    if (auto done = change("stop_scan"); !done) {
        return done;
    }
    scanning_ = false;
    return {};
}

PairOutcome FakeBluez::pair(std::string_view device)
{
    const std::lock_guard lock(mutex_);
    if (auto done = change(fmt::format("pair {}", device)); !done) {
        return {.kind = PairResultKind::PairFailed, .error = done.error()};
    }
    auto found = find(device);
    if (!found) {
        return {.kind = PairResultKind::PairFailed, .error = found.error()};
    }
    if ((*found)->paired) {
        return {.kind = PairResultKind::PairFailed, .error = "Failed to pair: org.bluez.Error.AlreadyExists"};
    }
    if (pair_outcome_.kind != PairResultKind::PairFailed) {
        (*found)->paired = true;
        (*found)->connected = pair_outcome_.kind == PairResultKind::PairedConnected;
    }
    return pair_outcome_;
}

Status FakeBluez::cancel_pairing(std::string_view device)
{
    const std::lock_guard lock(mutex_);
    if (auto done = change(fmt::format("cancel_pairing {}", device)); !done) {
        return done;
    }
    if (auto found = find(device); !found) {
        return std::unexpected(found.error());
    }
    return {};
}

Status FakeBluez::connect(std::string_view device)
{
    const std::lock_guard lock(mutex_);
    if (auto done = change(fmt::format("connect {}", device)); !done) {
        return done;
    }
    auto found = find(device);
    if (!found) {
        return std::unexpected(found.error());
    }
    if (!(*found)->paired) {
        return std::unexpected(std::string("Failed to connect: org.bluez.Error.Failed br-connection-profile-unavailable"));
    }
    (*found)->connected = true;
    return {};
}

Status FakeBluez::disconnect(std::string_view device)
{
    const std::lock_guard lock(mutex_);
    if (auto done = change(fmt::format("disconnect {}", device)); !done) {
        return done;
    }
    auto found = find(device);
    if (!found) {
        return std::unexpected(found.error());
    }
    if (!(*found)->connected) {
        return std::unexpected(std::string("Failed to disconnect: org.bluez.Error.NotConnected"));
    }
    (*found)->connected = false;
    return {};
}

Status FakeBluez::set_trusted(std::string_view device, bool trusted)
{
    const std::lock_guard lock(mutex_);
    if (auto done = change(fmt::format("set_trusted {} {}", device, trusted)); !done) {
        return done;
    }
    auto found = find(device);
    if (!found) {
        return std::unexpected(found.error());
    }
    (*found)->trusted = trusted;
    return {};
}

Status FakeBluez::set_alias(std::string_view device, std::string_view alias)
{
    const std::lock_guard lock(mutex_);
    if (auto done = change(fmt::format("set_alias {} {}", device, alias)); !done) {
        return done;
    }
    auto found = find(device);
    if (!found) {
        return std::unexpected(found.error());
    }
    (*found)->name = alias.empty() ? (*found)->address : std::string(alias);
    return {};
}

Status FakeBluez::forget(std::string_view device)
{
    const std::lock_guard lock(mutex_);
    if (auto done = change(fmt::format("forget {}", device)); !done) {
        return done;
    }
    auto found = find(device);
    if (!found) {
        return std::unexpected(found.error());
    }
    const BluetoothDevice* gone = *found;
    std::erase_if(*devices_, [&](const BluetoothDevice& d) { return &d == gone; });
    return {};
}

}  // namespace system_ops::bluez
