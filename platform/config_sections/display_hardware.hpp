#pragma once
// The display hardware snapshot of the settings store: the outputs connected now, with the modes, HDR and
// variable-refresh support their displays announce. Read from the kernel's DRM connectors
// (<sysfs root>/class/drm/card<N>-<connector>/{status,enabled,modes,edid}; the root is /sys and can be replaced
// for tests).
//
// DisplayHardwareSnapshot::load() asks the current DisplayHardwareSource, which is the sysfs reader until a test puts
// a fake in its place (ScopedDisplayHardware).

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
