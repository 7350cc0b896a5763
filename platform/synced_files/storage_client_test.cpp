#include "synced_files/storage_client.hpp"

#include "synced_files/testing/fake_storage_service.hpp"

#include <gtest/gtest.h>

#include <string>

namespace synced_files::storage {
namespace {

using namespace std::chrono_literals;
using testing::FakeStorageService;
using testing::sample_snapshot;
using Mode = FakeStorageService::Mode;

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto started = FakeStorageService::start({.snapshot = sample_snapshot()});
        ASSERT_TRUE(started.has_value()) << started.error();
        service = std::move(*started);
    }

    StorageClient connect(Timeouts timeouts = {})
    {
        auto client = StorageClient::connect(service->socket_path(), timeouts);
        EXPECT_TRUE(client.has_value()) << client.error();
        return std::move(client).value_or(StorageClient(-1));
    }

    static std::vector<EvictionSelection> reclaimable(const SyncedStorageSnapshot& snapshot)
    {
        std::vector<EvictionSelection> selection;
        for (const auto& file : snapshot.files) {
            if (file.reclaimable_bytes > 0) {
                selection.push_back(EvictionSelection::from(file));
            }
        }
        return selection;
    }

    std::unique_ptr<FakeStorageService> service;
};

TEST_F(ClientTest, SnapshotReadsWhatTheServiceKeeps)
{
    auto client = connect();
    const auto snapshot = client.snapshot();
    ASSERT_TRUE(snapshot.has_value()) << snapshot.error();
    EXPECT_EQ(*snapshot, sample_snapshot());
    EXPECT_EQ(service->requests(), std::vector<std::string>{R"({"version":1,"request":"snapshot"})"});

    // The same connection serves a second request.
    service->change([](auto& state) { state.snapshot.online = false; });
    const auto again = client.snapshot();
    ASSERT_TRUE(again.has_value()) << again.error();
    EXPECT_FALSE(again->online);
}

TEST_F(ClientTest, EvictionSendsTheSelectionAndReportsWhatWasFreedAndQueued)
{
    service->change([](auto& state) { state.evict_at_once = 1; });
    auto client = connect();
    const auto selection = reclaimable(sample_snapshot());
    ASSERT_EQ(selection.size(), 2U);
    EXPECT_EQ(selection[0], (EvictionSelection{.id = "f-report", .generation = 3, .expected_bytes = 1'000'000}));

    const auto report = client.evict(selection);
    ASSERT_TRUE(report.has_value()) << report.error();
    EXPECT_EQ(*report, (EvictionReport{.freed_bytes = 1'000'000, .evicted = 1, .queued = 1}));
    EXPECT_EQ(service->requests().back(),
              R"({"version":1,"request":"evict","selection":[{"id":"f-report","generation":3,"bytes":1000000},)"
              R"({"id":"f-video","generation":1,"bytes":500000}]})");

    // A file whose generation moved on since the snapshot is left alone.
    service->change([](auto& state) { state.snapshot = sample_snapshot(); });
    auto stale = selection;
    stale[0].generation = 2;
    stale.pop_back();
    const auto nothing = client.evict(stale);
    ASSERT_TRUE(nothing.has_value()) << nothing.error();
    EXPECT_EQ(*nothing, EvictionReport{});

    // Nothing selected: no request at all.
    const std::size_t sent = service->requests().size();
    EXPECT_EQ(client.evict({}), EvictionReport{});
    EXPECT_EQ(service->requests().size(), sent);
}

TEST_F(ClientTest, EachFailureIsOneSentence)
{
    const auto missing = StorageClient::connect(service->socket_path().parent_path() / "absent.sock");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error(),
              "could not connect to " + (service->socket_path().parent_path() / "absent.sock").string() +
                  ": No such file or directory");

    service->change([](auto& state) {
        state.mode = Mode::Error;
        state.error_text = "\x1b[31mthe sync engine is busy\x1b[0m\n";
    });
    EXPECT_EQ(connect().snapshot().error(), "the sync engine is busy");
    EXPECT_EQ(connect().evict(reclaimable(sample_snapshot())).error(), "the sync engine is busy");

    service->change([](auto& state) { state.mode = Mode::Close; });
    EXPECT_EQ(connect().snapshot().error(), "the sync storage service closed the connection without answering");
    EXPECT_EQ(connect().evict(reclaimable(sample_snapshot())).error(),
              "the sync storage service closed the connection without answering");

    service->change([](auto& state) {
        state.mode = Mode::Raw;
        state.raw_reply = std::string(70 * 1024, ' ');
    });
    EXPECT_EQ(connect().evict(reclaimable(sample_snapshot())).error(),
              "the sync storage service's reply is longer than 64 KiB");
}

TEST_F(ClientTest, AStalledServiceEndsTheCallAtItsTimeLimit)
{
    EXPECT_EQ(Timeouts{}.snapshot, 10s);
    EXPECT_EQ(Timeouts{}.eviction, 300s);

    service->change([](auto& state) { state.mode = Mode::Stall; });
    auto client = connect({.snapshot = 150ms, .eviction = 250ms});
    EXPECT_EQ(client.snapshot().error(), "the sync storage service did not answer within 150 ms");
    // The connection is given up after a time-out: a late answer can never be taken for the next one.
    EXPECT_EQ(client.snapshot().error(), "the sync storage service is not connected");

    auto evicting = connect({.snapshot = 150ms, .eviction = 250ms});
    EXPECT_EQ(evicting.evict(reclaimable(sample_snapshot())).error(),
              "the sync storage service did not answer within 250 ms");
}

TEST(DurationText, WholeSecondsOrMilliseconds)
{
    EXPECT_EQ(duration_text(10s), "10 s");
    EXPECT_EQ(duration_text(300s), "300 s");
    EXPECT_EQ(duration_text(250ms), "250 ms");
}

// ---- Reading replies -----------------------------------------------------------------------------------------------

struct ReplyCase {
    std::string name;
    std::string line;
    std::string error;  // empty: decodes
};

class SnapshotReplies : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(SnapshotReplies, AreReadStrictly)
{
    const auto decoded = decode_snapshot_reply(GetParam().line);
    if (GetParam().error.empty()) {
        EXPECT_TRUE(decoded.has_value()) << decoded.error();
    } else {
        ASSERT_FALSE(decoded.has_value());
        EXPECT_EQ(decoded.error(), GetParam().error);
    }
}

const std::string bad = "the sync storage service sent a reply that could not be read ";

INSTANTIATE_TEST_SUITE_P(
    Lines, SnapshotReplies,
    ::testing::Values(
        ReplyCase{"minimal", R"({"snapshot":{"online":false}})", ""},
        ReplyCase{"unknown_members", R"({"snapshot":{"online":true,"quota":7},"trace":"x"})", ""},
        ReplyCase{"not_json", "{snapshot", bad + "(not JSON)"},
        ReplyCase{"not_object", "[1]", bad + "(not an object)"},
        ReplyCase{"no_payload", R"({"eviction":{}})", bad + "(no \"snapshot\" object)"},
        ReplyCase{"online_missing", R"({"snapshot":{}})", bad + "(online is not true or false)"},
        ReplyCase{"negative", R"({"snapshot":{"online":true,"usage":[{"synced_total":-1,"on_device":0,"remote_only":0,"safe_to_free":0}]}})",
                  bad + "(usage[0].synced_total is not a byte count)"},
        ReplyCase{"fraction", R"({"snapshot":{"online":true,"files":[{"id":"a","name":"A","reclaimable":1.5,"generation":1}]}})",
                  bad + "(files[0].reclaimable is not a byte count)"},
        ReplyCase{"count_as_text", R"({"snapshot":{"online":true,"files":[{"id":"a","name":"A","reclaimable":"9","generation":1}]}})",
                  bad + "(files[0].reclaimable is not a byte count)"},
        ReplyCase{"missing_count", R"({"snapshot":{"online":true,"usage":[{"label":"x"}]}})",
                  bad + "(usage[0].synced_total is missing)"},
        ReplyCase{"empty_id", R"({"snapshot":{"online":true,"files":[{"id":"","name":"A","reclaimable":1,"generation":1}]}})",
                  bad + "(files[0].id is empty or too long)"},
        ReplyCase{"files_not_list", R"({"snapshot":{"online":true,"files":{}}})", bad + "(files is not a list)"},
        ReplyCase{"error_not_text", R"({"error":5})", bad + "(\"error\" is not text)"},
        ReplyCase{"empty_error", R"({"error":"  "})", "the sync storage service refused the request"}),
    [](const auto& info) { return info.param.name; });

TEST(Replies, NamesAreCleanedAndBounded)
{
    const std::string long_name(400, 'n');
    const auto decoded = decode_snapshot_reply(
        R"({"snapshot":{"online":true,"files":[{"id":"a","name":"\u202eevil\u0007 name ","reclaimable":1,"generation":1},)"
        R"({"id":"b","name":")" + long_name + R"(","reclaimable":1,"generation":1}]}})");
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_EQ(decoded->files[0].display_name, "evil name");
    EXPECT_EQ(decoded->files[1].display_name.size(), max_name_bytes);
}

TEST(Replies, AnEvictionReportNeverCountsMoreFilesThanWereSelected)
{
    EXPECT_EQ(decode_eviction_reply(R"({"eviction":{"freed_bytes":10,"evicted":1,"queued":1}})", 2),
              (EvictionReport{.freed_bytes = 10, .evicted = 1, .queued = 1}));
    EXPECT_EQ(decode_eviction_reply(R"({"eviction":{"freed_bytes":10,"evicted":2,"queued":1}})", 2).error(),
              bad + "(it reports 2 evicted and 1 queued of 2 selected files)");
    EXPECT_EQ(decode_eviction_reply(R"({"eviction":{"freed_bytes":10,"evicted":1}})", 2).error(),
              bad + "(queued is missing)");
}

}  // namespace
}  // namespace synced_files::storage
