#include "config_sections/display_hardware.hpp"

#include "config_sections/display_config.hpp"
#include "config_sections/edid.hpp"
#include "config_sections/record_file.hpp"
#include "json_text/record.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <set>

namespace config_sections::hardware {

namespace {

std::mutex& slot_mutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<DisplayHardwareSource>& slot()
{
    static std::shared_ptr<DisplayHardwareSource> source;
    return source;
}

std::string read_all(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string first_line(const std::filesystem::path& file)
{
    std::string text = read_all(file);
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.pop_back();
    }
    return text;
}

// "1920x1080" lines of the kernel's mode list (interlaced ones, "1920x1080i", are left out).
std::vector<OutputMode> listed_sizes(const std::filesystem::path& file)
{
    std::vector<OutputMode> sizes;
    const std::string text = read_all(file);
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        const auto x = line.find('x');
        if (x == std::string_view::npos) {
            continue;
        }
        OutputMode mode;
        const auto* w_end = line.data() + x;
        const auto [wp, we] = std::from_chars(line.data(), w_end, mode.width);
        const auto* h_end = line.data() + line.size();
        const auto [hp, he] = std::from_chars(w_end + 1, h_end, mode.height);
        if (we != std::errc{} || wp != w_end || he != std::errc{} || hp != h_end || mode.width == 0 || mode.height == 0) {
            continue;
        }
        if (std::ranges::find(sizes, mode) == sizes.end()) {
            sizes.push_back(mode);
        }
    }
    return sizes;
}

struct Connector {
    unsigned card = 0;
    std::string name;  // "DP-1"
    std::filesystem::path dir;
};

// "DP-10" after "DP-9": names compare by their text and trailing number.
bool natural_less(const std::string& l, const std::string& r)
{
    const auto split = [](const std::string& s) {
        auto digits = s.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1])) != 0) {
            --digits;
        }
        unsigned long number = 0;
        std::from_chars(s.data() + digits, s.data() + s.size(), number);
        return std::pair(s.substr(0, digits), number);
    };
    return split(l) < split(r);
}

bool is_built_in(std::string_view connector)
{
    return connector.starts_with("eDP") || connector.starts_with("LVDS") || connector.starts_with("DSI");
}

}  // namespace

// ---- Records ---------------------------------------------------------------------------------------------------

std::string OutputMode::label() const
{
    if (refresh_mhz == 0) {
        return fmt::format("{} × {}", width, height);
    }
    const std::uint32_t hundredths = (refresh_mhz + 5) / 10;
    const std::uint32_t whole = hundredths / 100;
    const std::uint32_t part = hundredths % 100;
    if (part == 0) {
        return fmt::format("{} × {} · {} Hz", width, height, whole);
    }
    if (part % 10 == 0) {
        return fmt::format("{} × {} · {}.{} Hz", width, height, whole, part / 10);
    }
    return fmt::format("{} × {} · {}.{:02} Hz", width, height, whole, part);
}

std::optional<std::string> OutputDescriptor::color_profile_label(std::string_view id) const
{
    const auto it = color_profile_catalogue.find(std::string(id));
    if (it == color_profile_catalogue.end()) {
        return std::nullopt;
    }
    return fmt::format("{} · {}", it->second, id);
}

std::expected<DisplayHardwareSnapshot, std::string> DisplayHardwareSnapshot::load()
{
    return current_display_hardware()->load();
}

const OutputDescriptor* DisplayHardwareSnapshot::find(std::string_view connector) const
{
    const auto it = std::ranges::find(outputs, connector, &OutputDescriptor::connector);
    return it == outputs.end() ? nullptr : &*it;
}

// ---- Sources ---------------------------------------------------------------------------------------------------

std::shared_ptr<DisplayHardwareSource> current_display_hardware()
{
    const std::lock_guard lock(slot_mutex());
    if (!slot()) {
        slot() = std::make_shared<SessionDisplayHardware>();
    }
    return slot();
}

std::shared_ptr<DisplayHardwareSource> replace_current(std::shared_ptr<DisplayHardwareSource> source)
{
    const std::lock_guard lock(slot_mutex());
    std::swap(slot(), source);
    return source;
}

SysfsDisplayHardware::SysfsDisplayHardware(std::filesystem::path sysfs_root) : root_(std::move(sysfs_root)) {}

std::expected<DisplayHardwareSnapshot, std::string> SysfsDisplayHardware::load()
{
    const auto drm = root_ / "class" / "drm";
    std::error_code ec;
    std::vector<Connector> connectors;
    for (const auto& entry : std::filesystem::directory_iterator(drm, ec)) {
        // "card0-DP-1"; "card0", "renderD128" and "version" are not connectors.
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("card")) {
            continue;
        }
        const auto dash = name.find('-');
        unsigned card = 0;
        const auto [ptr, err] = std::from_chars(name.data() + 4, name.data() + std::min(dash, name.size()), card);
        if (dash == std::string::npos || dash + 1 >= name.size() || err != std::errc{} || ptr != name.data() + dash) {
            continue;
        }
        std::string connector = name.substr(dash + 1);
        if (connector.starts_with("Writeback") || first_line(entry.path() / "status") != "connected") {
            continue;
        }
        connectors.push_back({card, std::move(connector), entry.path()});
    }
    if (ec) {
        return std::unexpected(fmt::format("display hardware information is unavailable: {}: {}", drm.string(), ec.message()));
    }
    std::ranges::sort(connectors, [](const Connector& l, const Connector& r) {
        return l.card != r.card ? l.card < r.card : natural_less(l.name, r.name);
    });

    // Connector names repeat across graphics cards; keep them unique.
    std::set<std::string> repeated;
    for (std::size_t i = 0; i < connectors.size(); ++i) {
        for (std::size_t j = i + 1; j < connectors.size(); ++j) {
            if (connectors[i].name == connectors[j].name) {
                repeated.insert(connectors[i].name);
            }
        }
    }

    DisplayHardwareSnapshot snapshot;
    for (const auto& c : connectors) {
        OutputDescriptor output;
        output.connector = repeated.contains(c.name) ? fmt::format("card{}-{}", c.card, c.name) : c.name;
        output.built_in = is_built_in(c.name);
        output.enabled = first_line(c.dir / "enabled") == "enabled";

        const std::string raw = read_all(c.dir / "edid");
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
        if (auto edid = parse_edid(bytes)) {
            output.name = edid->monitor_name;
            output.manufacturer = edid->manufacturer;
            output.serial = edid->serial;
            output.modes = std::move(edid->modes);
            output.display_reports_hdr = edid->hdr;
            output.display_reports_vrr = edid->vrr;
        } else if (!raw.empty()) {
            VORN_WARN("display_snapshot", "ignoring the EDID of {}: {}", output.connector, edid.error());
        }
        // The kernel may offer sizes the display does not list (scaled modes); their refresh rate is not known.
        for (const auto& size : listed_sizes(c.dir / "modes")) {
            const bool known = std::ranges::any_of(output.modes, [&](const OutputMode& m) {
                return m.width == size.width && m.height == size.height;
            });
            if (!known) {
                output.modes.push_back(size);
            }
        }
        if (!output.modes.empty()) {
            output.current_mode = output.modes.front();
        }
        snapshot.outputs.push_back(std::move(output));
    }

    assign_qualifiers(snapshot);
    return snapshot;
}

void assign_qualifiers(DisplayHardwareSnapshot& snapshot)
{
    // Two displays of the same model get the same name: their connectors tell them apart.
    const auto base_label = [](const OutputDescriptor& o) {
        return o.built_in ? std::string("Built-in display") : o.name_or_connector();
    };
    for (auto& output : snapshot.outputs) {
        const auto same = std::ranges::count_if(snapshot.outputs, [&](const OutputDescriptor& other) {
            return base_label(other) == base_label(output);
        });
        output.qualifier = same > 1 ? std::optional(output.connector) : std::nullopt;
    }
}

// ---- The compositor's snapshot -----------------------------------------------------------------------------------

void to_json(Json& j, const OutputDescriptor& value)
{
    j = Json::object();
    j["connector"] = value.connector;
    j["name"] = value.name;
    j["built_in"] = value.built_in;
    j["enabled"] = value.enabled;
    j["modes"] = value.modes;
    j["current_mode"] = value.current_mode;
    j["color_profiles"] = value.color_profiles;
    Json catalogue = Json::object();
    for (const auto& [id, description] : value.color_profile_catalogue) {
        catalogue[id] = description;
    }
    j["color_profile_catalogue"] = std::move(catalogue);
    j["hdr_supported"] = value.hdr_supported;
    j["display_reports_hdr"] = value.display_reports_hdr;
    j["hdr_reason"] = json_text::value_or_null(value.hdr_reason);
    j["vrr_supported"] = value.vrr_supported;
    j["display_reports_vrr"] = value.display_reports_vrr;
    j["vrr_reason"] = json_text::value_or_null(value.vrr_reason);
    j["manufacturer"] = value.manufacturer;
    j["serial"] = value.serial;
}

json_text::Status read_value(const Json& v, OutputDescriptor& out)
{
    if (!v.is_object()) {
        return std::unexpected(json_text::invalid_type(v, "struct OutputDescriptor"));
    }
    OutputDescriptor value;
    json_text::RecordReader r(v, "OutputDescriptor", 16);
    r.required("connector", value.connector)
        .defaulted("name", value.name)
        .defaulted("built_in", value.built_in)
        .defaulted("enabled", value.enabled)
        .defaulted("modes", value.modes)
        .defaulted("current_mode", value.current_mode)
        .defaulted("color_profiles", value.color_profiles)
        .defaulted("color_profile_catalogue", value.color_profile_catalogue)
        .defaulted("hdr_supported", value.hdr_supported)
        .defaulted("display_reports_hdr", value.display_reports_hdr)
        .defaulted("hdr_reason", value.hdr_reason)
        .defaulted("vrr_supported", value.vrr_supported)
        .defaulted("display_reports_vrr", value.display_reports_vrr)
        .defaulted("vrr_reason", value.vrr_reason)
        .defaulted("manufacturer", value.manufacturer)
        .defaulted("serial", value.serial);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    if (value.connector.empty()) {
        return std::unexpected(std::string("invalid value: an output without a connector name"));
    }
    out = std::move(value);
    return {};
}

void to_json(Json& j, const DisplayHardwareSnapshot& value)
{
    j = Json::object();
    j["outputs"] = value.outputs;
}

json_text::Status read_value(const Json& v, DisplayHardwareSnapshot& out)
{
    DisplayHardwareSnapshot value;
    json_text::RecordReader r(v, "DisplayHardwareSnapshot", 1);
    r.required("outputs", value.outputs);
    if (auto ok = r.finish(); !ok) {
        return ok;
    }
    for (std::size_t i = 0; i < value.outputs.size(); ++i) {
        for (std::size_t k = i + 1; k < value.outputs.size(); ++k) {
            if (value.outputs[i].connector == value.outputs[k].connector) {
                return std::unexpected(fmt::format("invalid value: output {} is listed twice", value.outputs[i].connector));
            }
        }
    }
    out = std::move(value);
    return {};
}

std::expected<std::optional<DisplayHardwareSnapshot>, std::string> load_snapshot_file(const std::filesystem::path& path)
{
    return read_record_file<DisplayHardwareSnapshot>(path);
}

std::expected<void, std::string> save_snapshot_file(const DisplayHardwareSnapshot& snapshot,
                                                    const std::filesystem::path& path)
{
    return write_record_file(snapshot, path);
}

SessionDisplayHardware::SessionDisplayHardware(std::shared_ptr<DisplayHardwareSource> kernel,
                                               std::optional<std::filesystem::path> snapshot_file)
    : kernel_(std::move(kernel)), snapshot_file_(std::move(snapshot_file))
{
}

std::expected<DisplayHardwareSnapshot, std::string> SessionDisplayHardware::load()
{
    auto kernel = kernel_->load();
    std::optional<std::filesystem::path> file = snapshot_file_;
    if (!file) {
        if (auto path = display_snapshot_path()) {
            file = std::move(*path);
        }
    }
    if (!file) {
        return kernel;
    }
    auto compositor = load_snapshot_file(*file);
    if (!compositor) {
        VORN_WARN("display_snapshot", "using the kernel's outputs: {}", compositor.error());
        return kernel;
    }
    if (!*compositor) {
        return kernel;
    }
    DisplayHardwareSnapshot snapshot = std::move(**compositor);
    if (kernel) {
        // The compositor names outputs by connector; the kernel's EDID knows the display behind it.
        for (auto& output : snapshot.outputs) {
            const OutputDescriptor* known = kernel->find(output.connector);
            if (known == nullptr) {
                continue;
            }
            if (output.name.empty()) {
                output.name = known->name;
            }
            if (output.manufacturer.empty()) {
                output.manufacturer = known->manufacturer;
            }
            if (output.serial.empty()) {
                output.serial = known->serial;
            }
            output.built_in = output.built_in || known->built_in;
            output.display_reports_hdr = output.display_reports_hdr || known->display_reports_hdr;
            output.display_reports_vrr = output.display_reports_vrr || known->display_reports_vrr;
        }
    }
    assign_qualifiers(snapshot);
    return snapshot;
}

void FakeDisplayHardware::set_snapshot(std::expected<DisplayHardwareSnapshot, std::string> snapshot)
{
    const std::lock_guard lock(mutex_);
    snapshot_ = std::move(snapshot);
}

std::expected<DisplayHardwareSnapshot, std::string> FakeDisplayHardware::load()
{
    const std::lock_guard lock(mutex_);
    return snapshot_;
}

}  // namespace config_sections::hardware
