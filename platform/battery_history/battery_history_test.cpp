#include "battery_history/battery_history.hpp"

#include "test_buses/temp_dir.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace battery_history {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = SampleStep::Kind;

constexpr std::int64_t day = 24 * 60 * 60;
// 2026-01-01 00:00:00 UTC.
const Clock::time_point start_time = Clock::time_point(std::chrono::seconds(1767225600));

std::int64_t seconds(Clock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

// A history file in a temporary folder, a clock the test moves and a battery whose charge it sets.
class HistoryTest : public ::testing::Test {
protected:
    SamplerOptions options()
    {
        return {.file = file,
                .read_charge = [this]() -> std::optional<std::uint32_t> { return charge; },
                .now = [this] { return now; }};
    }

    std::vector<Sample> stored() const
    {
        auto samples = read_history(file);
        EXPECT_TRUE(samples.has_value()) << samples.error();
        return samples.value_or(std::vector<Sample>{});
    }

    test_buses::TempDir dir{"vorn_battery_history"};
    std::filesystem::path file = dir.path() / "state" / "vorn" / "battery-history.json";
    Clock::time_point now = start_time;
    std::optional<std::uint32_t> charge = 80;
};

TEST_F(HistoryTest, OneSampleAtMostEveryFifteenMinutes)
{
    auto step = record_sample(options());
    ASSERT_TRUE(step.has_value()) << step.error();
    EXPECT_EQ(step->kind, Kind::Recorded);
    EXPECT_EQ(step->next_due, start_time + 15min);

    charge = 78;
    now = start_time + 14min + 59s;
    step = record_sample(options());
    ASSERT_TRUE(step.has_value());
    EXPECT_EQ(step->kind, Kind::TooSoon);
    EXPECT_EQ(step->next_due, start_time + 15min);

    now = start_time + 15min;
    EXPECT_EQ(record_sample(options())->kind, Kind::Recorded);
    EXPECT_THAT(stored(), ElementsAre(Sample{seconds(start_time), 80}, Sample{seconds(start_time + 15min), 78}));

    // A desktop without a battery writes nothing at all.
    charge.reset();
    now += 1h;
    EXPECT_EQ(record_sample(options())->kind, Kind::NoBattery);
    EXPECT_EQ(stored().size(), 2U);
    std::filesystem::remove(file);
    EXPECT_EQ(record_sample(options())->kind, Kind::NoBattery);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(HistoryTest, KeepsThirtyDaysAndOnlyTheTimeAndTheCharge)
{
    const std::int64_t t = seconds(start_time);
    test_buses::write_file(file, encode_history({{t - 31 * day, 90},  // too old
                                                 {t - 29 * day, 70},
                                                 {t + 3600, 10}}));   // from a clock that was ahead
    charge = 55;
    ASSERT_EQ(record_sample(options())->kind, Kind::Recorded);
    EXPECT_THAT(stored(), ElementsAre(Sample{t - 29 * day, 70}, Sample{t, 55}));
    EXPECT_EQ(test_buses::read_file(file),
              fmt::format("{{\"version\":1,\"samples\":[{{\"time\":{},\"charge\":70}},{{\"time\":{},\"charge\":55}}]}}\n",
                          t - 29 * day, t));

    // What the page draws: the charges of the last 30 days, oldest first.
    EXPECT_THAT(load_battery_history(file, start_time), ElementsAre(70U, 55U));
    EXPECT_THAT(load_battery_history(file, start_time + 29 * 24h + 1h), ElementsAre(55U));
    EXPECT_THAT(load_battery_history(dir.path() / "missing.json", start_time), IsEmpty());
}

TEST_F(HistoryTest, ADamagedFileIsKeptAsideAndTheHistoryStartsAgain)
{
    test_buses::write_file(file, "{\"version\":1,\"samples\":[{\"time\":17");
    EXPECT_THAT(load_battery_history(file, start_time), IsEmpty());

    ASSERT_EQ(record_sample(options())->kind, Kind::Recorded);
    EXPECT_THAT(stored(), ElementsAre(Sample{seconds(start_time), 80}));
    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
        if (entry.path().filename().string().starts_with("battery-history.json.corrupt-")) {
            aside.push_back(test_buses::read_file(entry.path()));
        }
    }
    EXPECT_THAT(aside, ElementsAre("{\"version\":1,\"samples\":[{\"time\":17"));
}

TEST(HistoryText, WhatIsNotAHistoryIsRefusedWithItsReason)
{
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"[]", "the battery history is not a JSON object"},
        {"{\"samples\":[]}", "the battery history has no known version"},
        {"{\"version\":2,\"samples\":[]}", "the battery history has no known version"},
        {"{\"version\":1}", "the battery history has no list of samples"},
        {"{\"version\":1,\"samples\":[{\"time\":1,\"charge\":101}]}",
         "sample 1 of the battery history is not a time and a charge from 0 to 100"},
        {"{\"version\":1,\"samples\":[{\"time\":1,\"charge\":5},{\"time\":-1,\"charge\":5}]}",
         "sample 2 of the battery history is not a time and a charge from 0 to 100"},
        {"{\"version\":1,\"samples\":[{\"time\":\"1\",\"charge\":5}]}",
         "sample 1 of the battery history is not a time and a charge from 0 to 100"},
    };
    for (const auto& c : cases) {
        const auto decoded = decode_history(c.text);
        ASSERT_FALSE(decoded.has_value()) << c.text;
        EXPECT_EQ(decoded.error(), c.error) << c.text;
    }
    std::vector<Sample> many(max_samples + 1, Sample{1, 50});
    EXPECT_FALSE(decode_history(encode_history(many)).has_value());

    // Out of order in the file, in order when read; members it does not know are no damage.
    const auto decoded =
        decode_history(R"({"version":1,"samples":[{"time":900,"charge":4},{"time":0,"charge":5,"note":"x"}]})");
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_THAT(*decoded, ElementsAre(Sample{0, 5}, Sample{900, 4}));
}

TEST_F(HistoryTest, AReaderNeverSeesHalfAFile)
{
    ASSERT_EQ(record_sample(options())->kind, Kind::Recorded);
    std::atomic<bool> done = false;
    std::atomic<int> reads = 0;
    std::atomic<int> damaged = 0;
    std::thread reader([&] {
        while (!done) {
            if (!read_history(file)) {
                ++damaged;
            }
            ++reads;
        }
    });
    // Forty days of samples twice a day: the file grows to its 30-day size and then stays there.
    for (int i = 0; i < 40 * 2; ++i) {
        now += 12h;
        charge = static_cast<std::uint32_t>(i % 101);
        ASSERT_EQ(record_sample(options())->kind, Kind::Recorded);
    }
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(damaged.load(), 0);
    EXPECT_EQ(stored().size(), 30U * 2U + 1U);  // both ends of the 30 days count
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    EXPECT_THAT(names, ElementsAre("battery-history.json", "battery-history.json.lock"));
}

TEST_F(HistoryTest, TheRunningSamplerRecordsUntilItIsDropped)
{
    // Each look at the clock is a quarter of an hour later, so every step is due.
    std::atomic<std::int64_t> ticks = 0;
    SamplerOptions running = options();
    running.now = [&ticks] { return start_time + ticks++ * 15min; };
    auto sampler = start_sampler(running, 5ms);
    ASSERT_NE(sampler, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto samples = read_history(file);
        if (samples && samples->size() >= 3) {
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    sampler.reset();
    const auto samples = stored();
    ASSERT_GE(samples.size(), 3U);
    EXPECT_EQ(samples.front().charge, 80U);
}

TEST(HistoryPath, LivesInTheStateFolder)
{
    ::setenv("XDG_STATE_HOME", "/xdg/state", 1);
    EXPECT_EQ(default_history_path(), std::filesystem::path("/xdg/state/vorn/battery-history.json"));
    ::unsetenv("XDG_STATE_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(default_history_path(), std::nullopt);
    EXPECT_EQ(system_sampler().has_value(), false);
}

}  // namespace
}  // namespace battery_history
