#pragma once
// The battery's charge over the last 30 days: a small history of our own, kept in the user's state folder
// ("$XDG_STATE_HOME/vorn/battery-history.json") and drawn by the Power page.
//
// A sampler writes one charge sample at most every 15 minutes and keeps 30 days of them. Nothing else is stored:
// no device names, models or serial numbers, only the time and the charge percent. The file is written whole and
// atomically under a lock, so that two running applications never lose each other's samples and a reader never
// sees half a file. A damaged file is kept aside ("<file>.corrupt-<unix time>") and the history starts again.
//
//   {"version":1,"samples":[{"time":1767225600,"charge":81},{"time":1767226500,"charge":79}]}
//
// The application runs the sampler on a thread of its own while it is open; the page reads the file on its worker:
//
//   auto sampler = battery_history::start_sampler(battery_history::system_sampler());  // stops when dropped
//   auto charges = battery_history::load_battery_history(*battery_history::default_history_path(), now);

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace battery_history {

using Clock = std::chrono::system_clock;

inline constexpr std::chrono::minutes sample_interval{15};
inline constexpr std::chrono::days kept_for{30};
// More than 30 days at one sample per 15 minutes; a longer list in a file is damage.
inline constexpr std::size_t max_samples = 4096;
inline constexpr std::size_t max_file_bytes = 512 * 1024;

struct Sample {
    std::int64_t time = 0;    // Unix seconds
    std::uint32_t charge = 0;  // percent, 0 to 100
    friend bool operator==(const Sample&, const Sample&) = default;
};

// "<state folder>/vorn/battery-history.json"; none without a state folder (no HOME).
[[nodiscard]] std::optional<std::filesystem::path> default_history_path();

// The file's text for these samples.
[[nodiscard]] std::string encode_history(const std::vector<Sample>& samples);
// The samples of a history text, oldest first; why it is damaged otherwise.
[[nodiscard]] std::expected<std::vector<Sample>, std::string> decode_history(std::string_view text);
// The samples of the file, oldest first: none when it does not exist; why not when it cannot be read or is damaged.
[[nodiscard]] std::expected<std::vector<Sample>, std::string> read_history(const std::filesystem::path& file);

// The samples taken within 30 days before `now` (and not after it), oldest first.
[[nodiscard]] std::vector<Sample> recent(std::vector<Sample> samples, Clock::time_point now);
// What the page draws: the charges of the last 30 days, oldest first; empty when the file is missing or damaged.
[[nodiscard]] std::vector<std::uint32_t> load_battery_history(const std::filesystem::path& file, Clock::time_point now);

// ---- The sampler ---------------------------------------------------------------------------------------------------

struct SamplerOptions {
    std::filesystem::path file;
    // The machine's charge in percent; none when it has no battery.
    std::function<std::optional<std::uint32_t>()> read_charge;
    std::function<Clock::time_point()> now = [] { return Clock::now(); };
};

// What one step of the sampler did, and when the next sample is due.
struct SampleStep {
    enum class Kind : std::uint8_t {
        Recorded,   // a sample was added
        TooSoon,    // the last sample is younger than 15 minutes
        NoBattery,  // nothing to sample; the file is left alone
    };
    Kind kind = Kind::NoBattery;
    Clock::time_point next_due;
};

// One step: under the file's lock, reads the history, and when the last sample is at least 15 minutes old (or there
// is none) adds the charge now, drops what is older than 30 days (or later than now: a clock that went back) and
// writes the file. The error when the file cannot be locked or written (the history on disk is then unchanged).
[[nodiscard]] std::expected<SampleStep, std::string> record_sample(const SamplerOptions& options);

// A sampler running on its own thread; dropping it stops the thread.
class RunningSampler {
public:
    virtual ~RunningSampler() = default;
};

// Starts a thread that samples at once and then whenever a sample is due (checking at least every `recheck`); none
// when the system refuses a thread.
// Dropping the handle stops it: it is joined when it stops within `stop_wait`, and otherwise left to end on its own
// (it then owns everything it still touches).
[[nodiscard]] std::unique_ptr<RunningSampler> start_sampler(
    SamplerOptions options, std::chrono::milliseconds recheck = std::chrono::minutes(15),
    std::chrono::milliseconds stop_wait = std::chrono::milliseconds(200));

// The options of this machine: the default path and the charge of system_ops::battery; none without a state
// folder.
[[nodiscard]] std::optional<SamplerOptions> system_sampler();

}  // namespace battery_history
