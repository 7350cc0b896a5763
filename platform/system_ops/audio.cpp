#include "system_ops/audio.hpp"

#include "system_ops/tool.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace system_ops::audio {

namespace {

CurrentSlot<AudioControl>& slot()
{
    static CurrentSlot<AudioControl> instance([]() -> std::shared_ptr<AudioControl> {
        return std::make_shared<WpctlAudio>();
    });
    return instance;
}

constexpr const char* default_sink = "@DEFAULT_AUDIO_SINK@";

}  // namespace

std::shared_ptr<AudioControl> current()
{
    return slot().get();
}

std::shared_ptr<AudioControl> replace_current(std::shared_ptr<AudioControl> control)
{
    return slot().replace(std::move(control));
}

Result<VolumeState> get_volume_state()
{
    return current()->get_volume_state();
}
Status set_volume(float percent)
{
    return current()->set_volume(percent);
}
Status set_mute(bool muted)
{
    return current()->set_mute(muted);
}
Status toggle_mute()
{
    return current()->toggle_mute();
}

Result<VolumeState> parse_get_volume(std::string_view text, std::string_view device)
{
    const auto lines = detail::split_lines(text);
    const std::string_view line = lines.empty() ? std::string_view{} : detail::trim(lines.front());
    constexpr std::string_view prefix = "Volume:";
    if (!line.starts_with(prefix)) {
        return std::unexpected(fmt::format("wpctl reported no volume for {}", device));
    }
    std::string_view rest = detail::trim(line.substr(prefix.size()));
    const auto word_end = rest.find_first_of(" \t");
    const std::string_view number = rest.substr(0, word_end);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc{} || ptr != number.data() + number.size() || !std::isfinite(value)) {
        return std::unexpected(
            fmt::format("wpctl reported an unreadable volume \"{}\"", cmd_runner::clean_text(line, {.max_chars = 64})));
    }
    return VolumeState{.volume = static_cast<float>(std::clamp(value, 0.0, 1.0)),
                       .muted = rest.find("[MUTED]") != std::string_view::npos};
}

std::string wpctl_level(float percent)
{
    const float clamped = std::isnan(percent) ? 0.0F : std::clamp(percent, 0.0F, 100.0F);
    return fmt::format("{:.2f}", std::clamp(clamped / 100.0F, 0.0F, 1.0F));
}

Result<std::string> run_wpctl(cmd_runner::Runner& runner, std::vector<std::string> args)
{
    const auto out = runner.run({.program = "wpctl",
                                 .args = std::move(args),
                                 .env = {{"LC_ALL", "C"}},
                                 .time_limit = WpctlAudio::time_limit});
    if (!out) {
        return std::unexpected(fmt::format("wpctl control failed: {}", out.error().message));
    }
    if (!out->status.success()) {
        return std::unexpected(cmd_runner::failure_text(*out, "wpctl"));
    }
    return out->stdout_bytes;
}

// ---- WpctlAudio ------------------------------------------------------------------------------------------------

WpctlAudio::WpctlAudio(std::shared_ptr<cmd_runner::Runner> runner) : runner_(std::move(runner)) {}

Result<VolumeState> WpctlAudio::get_volume_state()
{
    const auto out = run_wpctl(*runner_, {"get-volume", default_sink});
    if (!out) {
        return std::unexpected(out.error());
    }
    return parse_get_volume(*out);
}

Status WpctlAudio::set_volume(float percent)
{
    return detail::done(run_wpctl(*runner_, {"set-volume", default_sink, wpctl_level(percent)}));
}

Status WpctlAudio::set_mute(bool muted)
{
    return detail::done(run_wpctl(*runner_, {"set-mute", default_sink, muted ? "1" : "0"}));
}

Status WpctlAudio::toggle_mute()
{
    return detail::done(run_wpctl(*runner_, {"set-mute", default_sink, "toggle"}));
}

// ---- FakeAudio -------------------------------------------------------------------------------------------------

FakeAudio::State FakeAudio::state() const
{
    const std::lock_guard lock(mutex_);
    return state_;
}

void FakeAudio::set_state(State state)
{
    const std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

Result<VolumeState> FakeAudio::get_volume_state()
{
    const std::lock_guard lock(mutex_);
    return state_.volume;
}

Status FakeAudio::set_volume(float percent)
{
    const std::lock_guard lock(mutex_);
    state_.volumes_set.push_back(percent);
    if (state_.failure) {
        return std::unexpected(*state_.failure);
    }
    if (state_.volume) {
        state_.volume->volume = std::clamp(percent, 0.0F, 100.0F) / 100.0F;
    }
    return {};
}

Status FakeAudio::set_mute(bool muted)
{
    const std::lock_guard lock(mutex_);
    state_.mutes_set.push_back(muted);
    if (state_.failure) {
        return std::unexpected(*state_.failure);
    }
    if (state_.volume) {
        state_.volume->muted = muted;
    }
    return {};
}

Status FakeAudio::toggle_mute()
{
    const std::lock_guard lock(mutex_);
    if (state_.failure) {
        return std::unexpected(*state_.failure);
    }
    if (state_.volume) {
        state_.volume->muted = !state_.volume->muted;
        state_.mutes_set.push_back(state_.volume->muted);
    }
    return {};
}

}  // namespace system_ops::audio
