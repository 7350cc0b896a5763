#include "battery_history/battery_history.hpp"

#include "safe_write/file_lock.hpp"
#include "safe_write/safe_write.hpp"
#include "system_ops/battery.hpp"
#include "user_dirs/user_dirs.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace battery_history {

namespace {

constexpr std::string_view log_tag = "battery_history";
constexpr int format_version = 1;

std::int64_t unix_seconds(Clock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

Clock::time_point time_of(std::int64_t seconds)
{
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(seconds)));
}

std::optional<Sample> decode_sample(const nlohmann::json& entry)
{
    if (!entry.is_object()) {
        return std::nullopt;
    }
    const auto time = entry.find("time");
    const auto charge = entry.find("charge");
    if (time == entry.end() || charge == entry.end() || !time->is_number_integer() || !charge->is_number_unsigned()) {
        return std::nullopt;
    }
    const auto seconds = time->get<std::int64_t>();
    const auto percent = charge->get<std::uint64_t>();
    if (seconds < 0 || percent > 100) {
        return std::nullopt;
    }
    return Sample{.time = seconds, .charge = static_cast<std::uint32_t>(percent)};
}

}  // namespace

std::optional<std::filesystem::path> default_history_path()
{
    const auto state = user_dirs::state_dir();
    if (!state) {
        return std::nullopt;
    }
    return *state / "vorn" / "battery-history.json";
}

std::string encode_history(const std::vector<Sample>& samples)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Sample& sample : samples) {
        list.push_back(nlohmann::ordered_json{{"time", sample.time}, {"charge", sample.charge}});
    }
    nlohmann::ordered_json file{{"version", format_version}, {"samples", std::move(list)}};
    return file.dump() + "\n";
}

std::expected<std::vector<Sample>, std::string> decode_history(std::string_view text)
{
    const auto file = nlohmann::json::parse(text, nullptr, false);
    if (file.is_discarded() || !file.is_object()) {
        return std::unexpected(std::string("the battery history is not a JSON object"));
    }
    const auto version = file.find("version");
    if (version == file.end() || !version->is_number_unsigned() || version->get<std::uint64_t>() != format_version) {
        return std::unexpected(std::string("the battery history has no known version"));
    }
    const auto list = file.find("samples");
    if (list == file.end() || !list->is_array()) {
        return std::unexpected(std::string("the battery history has no list of samples"));
    }
    if (list->size() > max_samples) {
        return std::unexpected(fmt::format("the battery history holds more than {} samples", max_samples));
    }
    std::vector<Sample> samples;
    samples.reserve(list->size());
    for (std::size_t i = 0; i < list->size(); ++i) {
        const auto sample = decode_sample((*list)[i]);
        if (!sample) {
            return std::unexpected(
                fmt::format("sample {} of the battery history is not a time and a charge from 0 to 100", i + 1));
        }
        samples.push_back(*sample);
    }
    std::ranges::stable_sort(samples, {}, &Sample::time);
    return samples;
}

std::expected<std::vector<Sample>, std::string> read_history(const std::filesystem::path& file)
{
    auto text = safe_write::read_file(file, max_file_bytes);
    if (!text) {
        return std::unexpected(std::move(text.error()));
    }
    if (!*text) {
        return std::vector<Sample>{};
    }
    auto samples = decode_history(**text);
    if (!samples) {
        return std::unexpected(fmt::format("{}: {}", file.string(), samples.error()));
    }
    return samples;
}

std::vector<Sample> recent(std::vector<Sample> samples, Clock::time_point now)
{
    const std::int64_t latest = unix_seconds(now);
    const std::int64_t earliest = unix_seconds(now - kept_for);
    std::erase_if(samples, [&](const Sample& s) { return s.time < earliest || s.time > latest; });
    std::ranges::stable_sort(samples, {}, &Sample::time);
    if (samples.size() > max_samples) {
        samples.erase(samples.begin(), samples.end() - static_cast<std::ptrdiff_t>(max_samples));
    }
    return samples;
}

std::vector<std::uint32_t> load_battery_history(const std::filesystem::path& file, Clock::time_point now)
{
    auto samples = read_history(file);
    if (!samples) {
        VORN_WARN(log_tag, "battery history not shown: {}", samples.error());
        return {};
    }
    std::vector<std::uint32_t> charges;
    for (const Sample& sample : recent(std::move(*samples), now)) {
        charges.push_back(sample.charge);
    }
    return charges;
}

// ---- The sampler ---------------------------------------------------------------------------------------------------

std::expected<SampleStep, std::string> record_sample(const SamplerOptions& options)
{
    const auto charge = options.read_charge();
    const Clock::time_point now = options.now();
    if (!charge) {
        return SampleStep{.kind = SampleStep::Kind::NoBattery, .next_due = now + sample_interval};
    }
    std::error_code ec;
    std::filesystem::create_directories(options.file.parent_path(), ec);
    if (ec) {
        return std::unexpected(fmt::format("could not create {}: {}", options.file.parent_path().string(), ec.message()));
    }
    auto lock = safe_write::FileLock::acquire_for(options.file);
    if (!lock) {
        return std::unexpected(std::move(lock.error()));
    }
    safe_write::remove_stale_temporaries(options.file);

    auto stored = read_history(options.file);
    if (!stored) {
        // Damaged (or unreadable): keep it aside for whoever wants to look, and start again.
        VORN_WARN(log_tag, "battery history started again: {}", stored.error());
        if (std::filesystem::exists(options.file, ec)) {
            if (auto kept = safe_write::keep_corrupt_copy(options.file); !kept) {
                return std::unexpected(std::move(kept.error()));
            }
        }
        stored = std::vector<Sample>{};
    }
    auto samples = recent(std::move(*stored), now);
    if (!samples.empty()) {
        const Clock::time_point due = time_of(samples.back().time) + sample_interval;
        if (now < due) {
            return SampleStep{.kind = SampleStep::Kind::TooSoon, .next_due = due};
        }
    }
    samples.push_back({.time = unix_seconds(now), .charge = std::min<std::uint32_t>(*charge, 100)});
    samples = recent(std::move(samples), now);
    if (auto written = safe_write::write_file(options.file, encode_history(samples)); !written) {
        return std::unexpected(std::move(written.error()));
    }
    return SampleStep{.kind = SampleStep::Kind::Recorded, .next_due = now + sample_interval};
}

namespace {

// What the sampler's thread and its handle share; the thread keeps it alive when it is left to end on its own.
struct SamplerState {
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    bool finished = false;
};

void run_sampler(const SamplerOptions& options, std::chrono::milliseconds recheck, SamplerState& state)
{
    for (;;) {
        std::chrono::milliseconds wait = recheck;
        try {
            if (auto step = record_sample(options)) {
                const auto until_due =
                    std::chrono::duration_cast<std::chrono::milliseconds>(step->next_due - options.now());
                wait = std::min(recheck, std::max(until_due, std::chrono::milliseconds(1000)));
            } else {
                VORN_WARN(log_tag, "battery charge not sampled: {}", step.error());
            }
        } catch (const std::exception& error) {
            VORN_WARN(log_tag, "battery charge not sampled: {}", error.what());
        }
        std::unique_lock lock(state.mutex);
        if (state.changed.wait_for(lock, wait, [&] { return state.stop; })) {
            return;
        }
    }
}

class ThreadSampler final : public RunningSampler {
public:
    ThreadSampler(SamplerOptions options, std::chrono::milliseconds recheck, std::chrono::milliseconds stop_wait)
        : state_(std::make_shared<SamplerState>()), stop_wait_(stop_wait)
    {
        thread_ = std::thread([options = std::move(options), recheck, state = state_] {
            run_sampler(options, recheck, *state);
            const std::lock_guard lock(state->mutex);
            state->finished = true;
            state->changed.notify_all();
        });
    }

    ~ThreadSampler() override
    {
        std::unique_lock lock(state_->mutex);
        state_->stop = true;
        state_->changed.notify_all();
        const bool finished = state_->changed.wait_for(lock, stop_wait_, [&] { return state_->finished; });
        lock.unlock();
        if (finished) {
            thread_.join();
        } else {
            thread_.detach();  // inside a slow read of the battery; it ends after it
        }
    }

    ThreadSampler(const ThreadSampler&) = delete;
    ThreadSampler& operator=(const ThreadSampler&) = delete;

private:
    std::shared_ptr<SamplerState> state_;
    std::chrono::milliseconds stop_wait_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<RunningSampler> start_sampler(SamplerOptions options, std::chrono::milliseconds recheck,
                                              std::chrono::milliseconds stop_wait)
{
    try {
        return std::make_unique<ThreadSampler>(std::move(options), recheck, stop_wait);
    } catch (const std::system_error& error) {
        VORN_WARN(log_tag, "the battery sampler could not start: {}", error.what());
        return nullptr;
    }
}

std::optional<SamplerOptions> system_sampler()
{
    auto file = default_history_path();
    if (!file) {
        return std::nullopt;
    }
    return SamplerOptions{.file = std::move(*file), .read_charge = []() -> std::optional<std::uint32_t> {
                              const auto battery = system_ops::battery::BatteryInfo::from_system();
                              if (!battery.present) {
                                  return std::nullopt;
                              }
                              return battery.percent;
                          }};
}

}  // namespace battery_history
