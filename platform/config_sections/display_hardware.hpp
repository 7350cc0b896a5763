#pragma once
// The display hardware snapshot of the settings store: the outputs connected now, with the modes, HDR and
// variable-refresh support their displays announce.
//
// Two sources make it: the desktop's compositor, which writes what it drives (the outputs, their modes and current
// mode, HDR, variable refresh and colour profiles) into "snapshot.json" of the session's runtime folder
// (display_config.hpp), and the kernel's DRM connectors (<sysfs root>/class/drm/card<N>-<connector>/{status,enabled,
// modes,edid}; the root is /sys and can be replaced for tests), whose EDID names the displays and says what they
// announce. When the compositor's file exists its outputs are the snapshot, completed from the kernel's; otherwise
// the kernel's outputs are.
//
// DisplayHardwareSnapshot::load() asks the current DisplayHardwareSource, which is SessionDisplayHardware until a
// test puts a fake in its place (ScopedDisplayHardware).

#include "config_sections/hardware.hpp"

#include <compare>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace config_sections::hardware {

struct DisplayHardwareSnapshot {
    std::vector<OutputDescriptor> outputs;  // in card and connector order

    // The current source's snapshot, or why there is none.
    [[nodiscard]] static std::expected<DisplayHardwareSnapshot, std::string> load();

    [[nodiscard]] const OutputDescriptor* find(std::string_view connector) const;

    friend bool operator==(const DisplayHardwareSnapshot&, const DisplayHardwareSnapshot&) = default;
};

// ---- Sources -------------------------------------------------------------------------------------------------------

class DisplayHardwareSource {
public:
    virtual ~DisplayHardwareSource() = default;
    [[nodiscard]] virtual std::expected<DisplayHardwareSnapshot, std::string> load() = 0;
};

[[nodiscard]] std::shared_ptr<DisplayHardwareSource> current_display_hardware();
// Puts `source` in place (nullptr: the sysfs reader again) and returns the previous one.
std::shared_ptr<DisplayHardwareSource> replace_current(std::shared_ptr<DisplayHardwareSource> source);

// Puts a source in place for its lifetime.
class [[nodiscard]] ScopedDisplayHardware {
public:
    explicit ScopedDisplayHardware(std::shared_ptr<DisplayHardwareSource> source)
        : previous_(replace_current(std::move(source)))
    {
    }
    ~ScopedDisplayHardware() { replace_current(std::move(previous_)); }
    ScopedDisplayHardware(const ScopedDisplayHardware&) = delete;
    ScopedDisplayHardware& operator=(const ScopedDisplayHardware&) = delete;

private:
    std::shared_ptr<DisplayHardwareSource> previous_;
};

class SysfsDisplayHardware final : public DisplayHardwareSource {
public:
    explicit SysfsDisplayHardware(std::filesystem::path sysfs_root = "/sys");
    // An error when the DRM class cannot be read (no graphics driver); an empty snapshot when nothing is connected.
    std::expected<DisplayHardwareSnapshot, std::string> load() override;

private:
    std::filesystem::path root_;
};

// The compositor's snapshot completed from the kernel's (above).
class SessionDisplayHardware final : public DisplayHardwareSource {
public:
    // `snapshot_file`: the compositor's file (display_snapshot_path() when none is given).
    explicit SessionDisplayHardware(std::shared_ptr<DisplayHardwareSource> kernel =
                                        std::make_shared<SysfsDisplayHardware>(),
                                    std::optional<std::filesystem::path> snapshot_file = std::nullopt);
    std::expected<DisplayHardwareSnapshot, std::string> load() override;

private:
    std::shared_ptr<DisplayHardwareSource> kernel_;
    std::optional<std::filesystem::path> snapshot_file_;
};

// The compositor's snapshot file: none when it does not exist; an error when it cannot be read or is damaged.
[[nodiscard]] std::expected<std::optional<DisplayHardwareSnapshot>, std::string> load_snapshot_file(
    const std::filesystem::path& path);
// Writes it whole and atomically (the compositor's side).
[[nodiscard]] std::expected<void, std::string> save_snapshot_file(const DisplayHardwareSnapshot& snapshot,
                                                                  const std::filesystem::path& path);

// Two outputs whose labels would read the same (two monitors of one model, two built-in panels) get their connector
// as qualifier; the others none.
void assign_qualifiers(DisplayHardwareSnapshot& snapshot);

void to_json(Json& j, const OutputDescriptor& value);
json_text::Status read_value(const Json& v, OutputDescriptor& out);
void to_json(Json& j, const DisplayHardwareSnapshot& value);
json_text::Status read_value(const Json& v, DisplayHardwareSnapshot& out);

class FakeDisplayHardware final : public DisplayHardwareSource {
public:
    FakeDisplayHardware() = default;
    explicit FakeDisplayHardware(std::expected<DisplayHardwareSnapshot, std::string> snapshot)
        : snapshot_(std::move(snapshot))
    {
    }
    void set_snapshot(std::expected<DisplayHardwareSnapshot, std::string> snapshot);
    std::expected<DisplayHardwareSnapshot, std::string> load() override;

private:
    std::mutex mutex_;
    std::expected<DisplayHardwareSnapshot, std::string> snapshot_ = DisplayHardwareSnapshot{};
};

}  // namespace config_sections::hardware
