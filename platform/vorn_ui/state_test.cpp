// State cells and wake handles.

#include "vorn_ui/state.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vorn_ui {
namespace {

// Installs a hub for the test's duration (the "running loop") and counts the waker's calls.
struct Loop {
    std::shared_ptr<WakeHub> hub = std::make_shared<WakeHub>();
    std::atomic<int> wakes{0};
    std::shared_ptr<WakeHub> previous;

    Loop()
    {
        hub->set_waker([this] { wakes.fetch_add(1); });
        previous = install_wake_hub(hub);
    }
    ~Loop() { install_wake_hub(previous); }
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;
};

TEST(LocalState, VersionsCountStoredPublicationsAndReadsAreCopies)
{
    LocalState<std::string> cell("initial");  // no loop installed: a detached wake handle
    EXPECT_EQ(cell.version(), 0U);
    EXPECT_EQ(cell.publish("one"), 1U);
    std::string copy = cell.get();
    EXPECT_EQ(cell.publish("two"), 2U);
    EXPECT_EQ(copy, "one");  // a copy taken earlier does not change
    EXPECT_EQ(cell.get(), "two");

    const LocalState<std::string> shared = cell;  // copying the handle shares the cell
    EXPECT_EQ(shared.publish("three"), 3U);
    EXPECT_EQ(cell.get(), "three");
    EXPECT_TRUE(shared.shares_cell_with(cell));
    EXPECT_FALSE(LocalState<std::string>("x").shares_cell_with(cell));
}

TEST(LocalState, ExhaustedCounterRefusesAndKeepsTheValue)
{
    LocalState<int> cell(7, WakeHandle::create(), std::numeric_limits<std::uint64_t>::max() - 1);
    EXPECT_EQ(cell.publish(8), std::numeric_limits<std::uint64_t>::max());
    const auto refused = cell.publish(9);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().reason, PublishRefusal::VersionExhausted);
    EXPECT_EQ(cell.get(), 8);
    EXPECT_EQ(cell.version(), std::numeric_limits<std::uint64_t>::max());
}

TEST(LocalState, AuthorisedPublicationsWakeTheLoopOncePerPass)
{
    Loop loop;
    LocalState<std::optional<int>> requests(std::nullopt);
    EXPECT_EQ(requests.wake_handle().hub(), loop.hub);

    EXPECT_TRUE(requests.publish(1));
    EXPECT_TRUE(requests.publish(2));
    EXPECT_TRUE(requests.publish(std::nullopt));
    EXPECT_EQ(loop.wakes.load(), 1);  // coalesced until the loop takes the pending wake

    EXPECT_TRUE(loop.hub->take_pending());
    EXPECT_FALSE(loop.hub->take_pending());
    EXPECT_TRUE(requests.publish(3));  // a publication during or after the pass wakes again
    EXPECT_EQ(loop.wakes.load(), 2);

    // A wake requested before the loop installed its waker is delivered when it does.
    auto early = std::make_shared<WakeHub>();
    WakeHandle(early).wake();
    int delivered = 0;
    early->set_waker([&] { ++delivered; });
    EXPECT_EQ(delivered, 1);
}

TEST(LocalState, PublicationsAfterShutdownAreRefusedAndReported)
{
    Loop loop;
    LocalState<std::string> status("Idle");
    EXPECT_EQ(status.publish("Running"), 1U);
    loop.hub->close();

    const auto refused = status.publish("Done");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().reason, PublishRefusal::LoopClosed);
    EXPECT_FALSE(refused.error().message().empty());
    EXPECT_EQ(status.get(), "Running");
    EXPECT_EQ(status.version(), 1U);
    EXPECT_EQ(loop.wakes.load(), 1);  // no wake after the shutdown

    // Cells made after the loop is gone (no hub installed) work on their own.
    install_wake_hub(nullptr);
    LocalState<int> later(0);
    EXPECT_EQ(later.publish(1), 1U);
}

struct Fragile {
    static inline bool fail = false;
    int value = 0;
    Fragile() = default;
    explicit Fragile(int v) : value(v) {}
    Fragile(const Fragile&) = default;
    Fragile(Fragile&& other) : value(other.value)
    {
        if (fail) {
            throw std::runtime_error("move failed");
        }
    }
    Fragile& operator=(const Fragile&) = default;
    Fragile& operator=(Fragile&& other)
    {
        if (fail) {
            throw std::runtime_error("move failed");
        }
        value = other.value;
        return *this;
    }
};

TEST(LocalState, AWriterFailingInsideTheLockLeavesTheCellUsable)
{
    LocalState<Fragile> cell(Fragile(1));
    Fragile::fail = true;
    EXPECT_THROW((void)cell.publish(Fragile(2)), std::runtime_error);
    Fragile::fail = false;
    EXPECT_EQ(cell.version(), 0U);
    EXPECT_EQ(cell.get().value, 1);
    EXPECT_EQ(cell.publish(Fragile(3)), 1U);
    EXPECT_EQ(cell.get().value, 3);
}

TEST(LocalState, ConcurrentWritersAndReaders)
{
    Loop loop;
    constexpr int writers = 4;
    constexpr int per_writer = 2000;
    // Each value is one letter repeated, so a torn read would show mixed letters.
    LocalState<std::string> cell(std::string(64, 'a'));
    std::vector<std::vector<std::uint64_t>> versions(writers);
    std::atomic<bool> done{false};
    std::atomic<bool> torn{false};

    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < per_writer; ++i) {
                const auto version = cell.publish(std::string(64 + i % 7, static_cast<char>('b' + w)));
                if (version) {
                    versions[static_cast<std::size_t>(w)].push_back(*version);
                }
            }
        });
    }
    std::thread reader([&] {
        std::uint64_t last = 0;
        while (!done.load()) {
            const std::uint64_t before = cell.version();
            const std::string value = cell.get();
            if (value.find_first_not_of(value.front()) != std::string::npos || before < last) {
                torn = true;
            }
            last = before;
            loop.hub->take_pending();  // the loop's pass
        }
    });
    for (auto& t : threads) {
        t.join();
    }
    done = true;
    reader.join();

    EXPECT_FALSE(torn.load());
    std::set<std::uint64_t> all;
    for (const auto& list : versions) {
        EXPECT_EQ(list.size(), static_cast<std::size_t>(per_writer));
        all.insert(list.begin(), list.end());
    }
    // Every publication got its own version, 1 to writers × per_writer.
    EXPECT_EQ(all.size(), static_cast<std::size_t>(writers * per_writer));
    EXPECT_EQ(*all.begin(), 1U);
    EXPECT_EQ(*all.rbegin(), static_cast<std::uint64_t>(writers * per_writer));
    EXPECT_EQ(cell.version(), static_cast<std::uint64_t>(writers * per_writer));
    EXPECT_GE(loop.wakes.load(), 1);
}

}  // namespace
}  // namespace vorn_ui
