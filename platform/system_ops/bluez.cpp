#include "system_ops/bluez.hpp"

#include "system_ops/bluez_discovery.hpp"
#include "system_ops/tool.hpp"

#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <limits>

namespace system_ops::bluez {

namespace {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

constexpr std::string_view bluez_root = "/org/bluez/";
constexpr std::string_view no_adapter = "no Bluetooth adapter was found";

CurrentSlot<BluezService>& slot()
{
    static CurrentSlot<BluezService> instance([]() -> std::shared_ptr<BluezService> {
        return std::make_shared<BusctlBluez>();
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

// ---- Reading busctl's JSON ----

const Json* member(const Json& object, const char* key)
{
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

// The value of a property of the D-Bus type `type` ("b", "s", "n", "y"), printed by busctl as
// {"type":"b","data":true}; none for a property that is missing or of another type.
const Json* property(const Json& properties, const char* name, std::string_view type)
{
    const Json* entry = member(properties, name);
    if (entry == nullptr) {
        return nullptr;
    }
    const Json* declared = member(*entry, "type");
    if (declared == nullptr || !declared->is_string() || declared->get_ref<const std::string&>() != type) {
        return nullptr;
    }
    return member(*entry, "data");
}

std::optional<bool> flag_property(const Json& properties, const char* name)
{
    const Json* value = property(properties, name, "b");
    return value != nullptr && value->is_boolean() ? std::optional(value->get<bool>()) : std::nullopt;
}

std::optional<std::string> text_property(const Json& properties, const char* name)
{
    const Json* value = property(properties, name, "s");
    return value != nullptr && value->is_string() ? std::optional(value->get<std::string>()) : std::nullopt;
}

std::optional<std::int64_t> integer_property(const Json& properties, const char* name, std::string_view type,
                                             std::int64_t low, std::int64_t high)
{
    const Json* value = property(properties, name, type);
    if (value == nullptr || !value->is_number_integer()) {
        return std::nullopt;
    }
    if (value->is_number_unsigned()) {
        const auto number = value->get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(high) || high < 0) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number) >= low ? std::optional(static_cast<std::int64_t>(number)) : std::nullopt;
    }
    const auto number = value->get<std::int64_t>();
    return number >= low && number <= high ? std::optional(number) : std::nullopt;
}

std::string clean_name(std::string_view raw)
{
    return cmd_runner::clean_text(raw, {.max_bytes = max_name_bytes, .trim = true});
}

BluetoothDevice read_device(const std::string& path, const Json& interfaces, const Json& properties)
{
    BluetoothDevice device;
    device.path = path;
    const auto address = text_property(properties, "Address");
    device.address = address && is_address(*address) ? upper(*address) : address_of_path(path).value_or("");
    device.name = clean_name(text_property(properties, "Alias").value_or(""));
    if (device.name.empty()) {
        device.name = clean_name(text_property(properties, "Name").value_or(""));
    }
    if (device.name.empty()) {
        device.name = device.address;
    }
    device.icon = cmd_runner::clean_text(text_property(properties, "Icon").value_or(""), {.max_bytes = 64, .trim = true});
    // 127 is the controller's "no signal reading".
    if (const auto rssi = integer_property(properties, "RSSI", "n", std::numeric_limits<std::int16_t>::min(), 126)) {
        device.rssi = static_cast<std::int16_t>(*rssi);
    }
    if (const Json* battery = member(interfaces, "org.bluez.Battery1")) {
        if (const auto level = integer_property(*battery, "Percentage", "y", 0, 100)) {
            device.battery = static_cast<std::uint8_t>(*level);
        }
    }
    device.paired = flag_property(properties, "Paired").value_or(false);
    device.trusted = flag_property(properties, "Trusted").value_or(false);
    device.connected = flag_property(properties, "Connected").value_or(false);
    return device;
}

// ---- Running busctl ----

// BlueZ's message from a failed busctl run: busctl prints "Call failed: <message>" (or "Failed to set property
// ...: <message>"); a message of several lines (a traceback) has its point on the last one.
std::string busctl_failure(const cmd_runner::Output& out)
{
    std::string_view last;
    for (const auto line : system_ops::detail::split_lines(out.stderr_bytes)) {
        if (!system_ops::detail::trim(line).empty()) {
            last = system_ops::detail::trim(line);
        }
    }
    constexpr std::string_view prefix = "Call failed: ";
    if (last.starts_with(prefix)) {
        last.remove_prefix(prefix.size());
    }
    std::string text = detail::bluez_error_text(last);
    return text.empty() ? cmd_runner::failure_text(out, "busctl") : text;
}

// One busctl run on the system bus. `args` start with the verb ("call", "set-property"); they come after "--", so
// that no path, name or alias can be read as an option. busctl's own call time-out is the limit; the runner's
// limit behind it catches a busctl that hangs anyway.
Result<std::string> busctl(cmd_runner::Runner& runner, std::vector<std::string> args, std::chrono::milliseconds limit,
                           std::size_t output_limit = cmd_runner::default_output_limit)
{
    std::vector<std::string> argv = {"--system", "--json=short", fmt::format("--timeout={}ms", limit.count()), "--"};
    std::ranges::move(args, std::back_inserter(argv));
    const auto out = runner.run({.program = "busctl",
                                 .args = std::move(argv),
                                 .env = {{"LC_ALL", "C"}},
                                 .time_limit = limit + 2s,
                                 .output_limit = output_limit});
    if (!out) {
        if (out.error().kind == cmd_runner::ErrorKind::TimedOut) {
            return std::unexpected(std::string("the Bluetooth service is not answering"));
        }
        return std::unexpected(out.error().message);
    }
    if (!out->status.success()) {
        return std::unexpected(busctl_failure(*out));
    }
    return out->stdout_bytes;
}

bool contains_lower(std::string_view text, std::string_view part)
{
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return lower.find(part) != std::string::npos;
}

// A device call's error; BlueZ's words for a device object that is gone become one sentence.
Status device_result(const Result<std::string>& out)
{
    if (out) {
        return {};
    }
    if (contains_lower(out.error(), "unknown object") || contains_lower(out.error(), "doesn't exist") ||
        contains_lower(out.error(), "does not exist")) {
        return std::unexpected(std::string("the device is no longer available"));
    }
    return std::unexpected(out.error());
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

// ---- Paths ----

bool is_object_path(std::string_view text)
{
    if (text == "/") {
        return true;
    }
    if (!text.starts_with('/') || text.ends_with('/')) {
        return false;
    }
    char previous = 0;
    for (const char c : text) {
        if (c == '/' ? previous == '/' : !(std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_')) {
            return false;
        }
        previous = c;
    }
    return true;
}

bool is_adapter_path(std::string_view text)
{
    return is_object_path(text) && text.starts_with(bluez_root) && text.size() > bluez_root.size() &&
           text.substr(bluez_root.size()).find('/') == std::string_view::npos;
}

bool is_device_path(std::string_view text)
{
    return is_object_path(text) && address_of_path(text).has_value();
}

std::optional<std::string> adapter_of_path(std::string_view path)
{
    if (!is_device_path(path)) {
        return std::nullopt;
    }
    return std::string(path.substr(0, path.rfind('/')));
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
    if (!path.starts_with(bluez_root)) {
        return std::nullopt;
    }
    path.remove_prefix(bluez_root.size());
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

// ---- The object tree ----

const Adapter* BluezObjects::default_adapter() const
{
    return adapters.empty() ? nullptr : &adapters.front();
}

std::vector<BluetoothDevice> BluezObjects::devices_of(const Adapter& adapter) const
{
    std::vector<BluetoothDevice> out;
    for (const auto& device : devices) {
        if (adapter_of_path(device.path) == adapter.path) {
            out.push_back(device);
        }
    }
    return out;
}

Result<BluezObjects> parse_managed_objects(std::string_view json)
{
    const Json reply = Json::parse(json, nullptr, false);
    const Json* data = reply.is_discarded() ? nullptr : member(reply, "data");
    if (data == nullptr || !data->is_array() || data->empty() || !data->front().is_object()) {
        return std::unexpected(std::string("BlueZ answered without its object list"));
    }
    BluezObjects objects;
    for (const auto& [path, interfaces] : data->front().items()) {
        if (const Json* adapter = member(interfaces, "org.bluez.Adapter1"); adapter != nullptr && is_adapter_path(path)) {
            objects.adapters.push_back({.path = path,
                                        .powered = flag_property(*adapter, "Powered").value_or(false),
                                        .discovering = flag_property(*adapter, "Discovering").value_or(false)});
        }
        if (const Json* device = member(interfaces, "org.bluez.Device1"); device != nullptr && is_device_path(path)) {
            objects.devices.push_back(read_device(path, interfaces, *device));
        }
    }
    // hci2 before hci10.
    std::ranges::stable_sort(objects.adapters, [](const Adapter& a, const Adapter& b) {
        return std::pair(a.path.size(), std::string_view(a.path)) < std::pair(b.path.size(), std::string_view(b.path));
    });
    return objects;
}

// ---- BusctlBluez ----

BusctlBluez::BusctlBluez(std::shared_ptr<cmd_runner::Runner> runner) : BusctlBluez(std::move(runner), {}) {}

BusctlBluez::BusctlBluez(std::shared_ptr<cmd_runner::Runner> runner, Options options)
    : runner_(std::move(runner)), options_(options)
{
}

BusctlBluez::~BusctlBluez()
{
    const std::lock_guard lock(scan_mutex_);
    scan_.reset();  // stops the discovery this backend started
}

Result<BluezObjects> BusctlBluez::objects()
{
    const auto out = busctl(*runner_, {"call", "org.bluez", "/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects"},
                            options_.time_limit, options_.list_output_limit);
    if (!out) {
        return std::unexpected(out.error());
    }
    return parse_managed_objects(*out);
}

Result<BluezObjects> BusctlBluez::tree_with_adapter()
{
    auto tree = objects();
    if (tree && tree->default_adapter() == nullptr) {
        return std::unexpected(std::string(no_adapter));
    }
    return tree;
}

Result<Adapter> BusctlBluez::default_adapter()
{
    const auto tree = tree_with_adapter();
    if (!tree) {
        return std::unexpected(tree.error());
    }
    return *tree->default_adapter();
}

Result<std::vector<BluetoothDevice>> BusctlBluez::devices()
{
    const auto tree = tree_with_adapter();
    if (!tree) {
        return std::unexpected(tree.error());
    }
    return tree->devices_of(*tree->default_adapter());
}

Result<bool> BusctlBluez::is_powered()
{
    const auto adapter = default_adapter();
    if (!adapter) {
        return std::unexpected(adapter.error());
    }
    return adapter->powered;
}

Result<bool> BusctlBluez::is_scanning()
{
    {
        const std::lock_guard lock(scan_mutex_);
        if (scan_ && !scan_->running()) {
            scan_.reset();  // our discovery ended (its limit, or the bus went away)
        }
    }
    const auto adapter = default_adapter();
    if (!adapter) {
        return std::unexpected(adapter.error());
    }
    return adapter->discovering;
}

Status BusctlBluez::set_powered(bool powered)
{
    const auto adapter = default_adapter();
    if (!adapter) {
        return std::unexpected(adapter.error());
    }
    return system_ops::detail::done(busctl(*runner_,
                               {"set-property", "org.bluez", adapter->path, "org.bluez.Adapter1", "Powered", "b",
                                powered ? "true" : "false"},
                               options_.time_limit));
}

Status BusctlBluez::start_scan()
{
    const std::lock_guard lock(scan_mutex_);
    if (scan_ && scan_->running()) {
        return {};  // already looking
    }
    scan_.reset();
    const auto adapter = default_adapter();
    if (!adapter) {
        return std::unexpected(adapter.error());
    }
    if (!adapter->powered) {
        return std::unexpected(std::string("Bluetooth is off"));
    }
    auto session = detail::DiscoverySession::start(adapter->path, options_.time_limit, options_.scan_limit);
    if (!session) {
        return std::unexpected(session.error());
    }
    scan_ = std::move(*session);
    return {};
}

Status BusctlBluez::stop_scan()
{
    const std::lock_guard lock(scan_mutex_);
    if (scan_ && scan_->running()) {
        auto stopped = scan_->stop();
        scan_.reset();
        return stopped;
    }
    scan_.reset();
    const auto adapter = default_adapter();
    if (!adapter) {
        return std::unexpected(adapter.error());
    }
    if (!adapter->discovering) {
        return {};  // nothing to stop
    }
    return system_ops::detail::done(
        busctl(*runner_, {"call", "org.bluez", adapter->path, "org.bluez.Adapter1", "StopDiscovery"}, options_.time_limit));
}

Status BusctlBluez::device_call(std::string_view device, std::string_view method, std::chrono::milliseconds limit)
{
    if (!is_device_path(device)) {
        return not_a_device(device);
    }
    return device_result(
        busctl(*runner_, {"call", "org.bluez", std::string(device), "org.bluez.Device1", std::string(method)}, limit));
}

PairOutcome BusctlBluez::pair(std::string_view device)
{
    if (const auto paired = device_call(device, "Pair", options_.pair_limit); !paired) {
        return {.kind = PairResultKind::PairFailed, .error = paired.error()};
    }
    if (const auto connected = connect(device); !connected) {
        return {.kind = PairResultKind::PairedConnectFailed, .error = connected.error()};
    }
    return {.kind = PairResultKind::PairedConnected};
}

Status BusctlBluez::cancel_pairing(std::string_view device)
{
    return device_call(device, "CancelPairing", options_.time_limit);
}

Status BusctlBluez::connect(std::string_view device)
{
    return device_call(device, "Connect", options_.connect_limit);
}

Status BusctlBluez::disconnect(std::string_view device)
{
    return device_call(device, "Disconnect", options_.connect_limit);
}

Status BusctlBluez::set_trusted(std::string_view device, bool trusted)
{
    if (!is_device_path(device)) {
        return not_a_device(device);
    }
    return device_result(busctl(*runner_,
                                {"set-property", "org.bluez", std::string(device), "org.bluez.Device1", "Trusted", "b",
                                 trusted ? "true" : "false"},
                                options_.time_limit));
}

Status BusctlBluez::set_alias(std::string_view device, std::string_view alias)
{
    if (!is_device_path(device)) {
        return not_a_device(device);
    }
    if (!is_alias(alias)) {
        return std::unexpected(std::string("a Bluetooth device name has at most 248 bytes and no control characters"));
    }
    return device_result(busctl(*runner_,
                                {"set-property", "org.bluez", std::string(device), "org.bluez.Device1", "Alias", "s",
                                 std::string(alias)},
                                options_.time_limit));
}

Status BusctlBluez::forget(std::string_view device)
{
    const auto adapter = adapter_of_path(device);
    if (!adapter) {
        return not_a_device(device);
    }
    return device_result(busctl(
        *runner_, {"call", "org.bluez", *adapter, "org.bluez.Adapter1", "RemoveDevice", "o", std::string(device)},
        options_.time_limit));
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
