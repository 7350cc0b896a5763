#pragma once
// What the Displays page's tests share: a private runtime folder for the display files, the machine and the
// settings file in memory with clocks the test moves (World), and two outputs side by side.

#include "panes/display/display_model.hpp"

#include "actions/payloads/codec.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <stdlib.h>

namespace settings::panes::display::testing {

using actions::DisplayOperation;

// A private runtime folder for the display files.
class RuntimeFolder {
public:
    RuntimeFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorn-display-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    ~RuntimeFolder()
    {
        ::unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(dir_);
    }

private:
    std::filesystem::path dir_;
};

// The machine and the files as the model sees them, all in memory; clocks the test moves.
struct World {
    struct State {
        std::mutex mutex;
        float level = 0.62F;
        bool sensor = true;
        std::vector<float> percents;
        std::optional<std::string> brightness_failure;
        std::optional<std::string> save_failure;
        prefs::DisplayPrefs prefs;
        std::chrono::steady_clock::time_point now{};
        std::atomic<std::uint64_t> unix_ms = 1'000'000;
        int services_started = 0;
        std::shared_future<void> probe_gate;  // the probe answers once it is ready, when set
        std::shared_future<void> apply_gate;  // the same for brightness changes
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    [[nodiscard]] DisplayModel::Backend backend() const
    {
        auto s = state;
        return {
            .get_brightness = [s]() -> system_ops::Result<float> {
                if (s->probe_gate.valid()) {
                    s->probe_gate.wait();
                }
                const std::lock_guard lock(s->mutex);
                return s->level;
            },
            .has_ambient_light_sensor = [s] {
                const std::lock_guard lock(s->mutex);
                return s->sensor;
            },
            .set_brightness = [s](float percent) -> system_ops::Status {
                if (s->apply_gate.valid()) {
                    s->apply_gate.wait();
                }
                const std::lock_guard lock(s->mutex);
                if (s->brightness_failure) {
                    return std::unexpected(*s->brightness_failure);
                }
                s->percents.push_back(percent);
                s->level = percent / 100.0F;
                return {};
            },
            .save_prefs = [s](const std::function<void(prefs::DisplayPrefs&)>& change)
                -> std::expected<void, std::string> {
                const std::lock_guard lock(s->mutex);
                if (s->save_failure) {
                    return std::unexpected(*s->save_failure);
                }
                change(s->prefs);
                return {};
            },
            .load_prefs = [s] {
                const std::lock_guard lock(s->mutex);
                return s->prefs;
            },
            .unix_ms = [s] { return s->unix_ms.load(); },
            .now = [s] { return s->now; },
            .ensure_display_service = [s] { ++s->services_started; },
        };
    }
    void advance(std::chrono::milliseconds by) const
    {
        state->now += by;
        state->unix_ms += static_cast<std::uint64_t>(by.count());
    }
};

inline OutputDescriptor output(std::string connector, std::string name, bool built_in, std::vector<OutputMode> modes)
{
    OutputDescriptor o;
    o.connector = std::move(connector);
    o.name = std::move(name);
    o.built_in = built_in;
    o.enabled = true;
    o.modes = std::move(modes);
    o.current_mode = o.modes.front();
    return o;
}

inline const OutputMode kPanel{2560, 1440, 60000};
inline const OutputMode k1080at60{1920, 1080, 60000};
inline const OutputMode k1080at144{1920, 1080, 144000};
inline const OutputMode k720{1280, 720, 60000};
inline const OutputMode kWide{2560, 1080, 60000};

// A laptop panel (2560 × 1440, also 1920 × 1080 and 1280 × 720) and a monitor beside it.
inline DisplayHardwareSnapshot laptop_and_monitor()
{
    return {.outputs = {output("DP-1", "DELL U2720Q", false, {kWide, k1080at144, k1080at60, k720}),
                        output("eDP-1", "", true, {kPanel, k1080at60, k720})}};
}

inline DisplayConfig side_by_side()
{
    DisplayConfig config;
    config.outputs["eDP-1"] = {.enabled = true, .primary = true, .mode = kPanel};
    config.outputs["DP-1"] = {.enabled = true, .x = 2560, .mode = kWide};
    return config;
}

inline std::string key_of(const DisplayOperation& op)
{
    return actions::encode_operation_payload(DisplayOperation::kind, op);
}

}  // namespace settings::panes::display::testing
