#include "panes/storage/storage_model.hpp"

#include "panes/storage/storage_text.hpp"

#include "synced_files/testing/fake_storage_service.hpp"
#include "system_ops/test_tools.hpp"
#include "vorn_ui/format.hpp"
#include "page_workers/testing/manual_threads.hpp"
#include "operations/testing/page_cells.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace settings::panes::storage {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using operations::OperationStatus;
using operations::testing::done;
using operations::testing::failed;
using synced_files::storage::testing::FakeStorageService;
using synced_files::storage::testing::sample_snapshot;
using page_workers::testing::ManualThreads;
using vorn_ui::format::bytes_si;
using Mode = FakeStorageService::Mode;
using Op = StorageOperation;

constexpr std::string_view scan = "vorn-storage-scan";
constexpr std::string_view sync_worker = "vorn-storage-sync";
constexpr std::string_view evict = "vorn-storage-evict";

// A home in a temporary folder (a cache, app data, an installed app), the sync-storage service of the tests, fake
// Disks and Backups programs first on PATH, and workers the test runs by hand.
class StorageModelTest : public system_ops::testing::FakeTools {
protected:
    void SetUp() override
    {
        FakeTools::SetUp();
        home = dir_ / "home";
        file(".config/editor/settings", 8192);
        file(".local/share/vorn/apps/so.vorn.Notes/notes", 65536);
        file(".local/share/photos/library", 3 * 65536);
        auto started = FakeStorageService::start({.snapshot = sample_snapshot()});
        ASSERT_TRUE(started.has_value()) << started.error();
        service = std::move(*started);
    }

    // A file of `bytes` bytes below the home.
    void file(const fs::path& relative, std::size_t bytes)
    {
        const fs::path path = home / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
    }

    std::shared_ptr<SystemStorageBackend> backend(fs::path socket = {})
    {
        const desk_rules::storage::UserFolders folders{.home = home,
                                                       .data = home / ".local/share",
                                                       .config = home / ".config",
                                                       .state = home / ".local/state",
                                                       .cache = home / ".cache"};
        return std::make_shared<SystemStorageBackend>(SystemStorageBackend::Options{
            .roots = [folders] { return StorageRoots::for_folders(folders); },
            .socket = socket.empty() ? service->socket_path() : socket,
            .timeouts = {.connect = 1s, .snapshot = 200ms, .eviction = 200ms},
            .limits = {}});
    }

    // The page, sharing the application's cells.
    StorageModel& open(std::shared_ptr<StorageBackend> with = nullptr)
    {
        model = std::make_unique<StorageModel>(
            StorageModel::Environment{.backend = with ? with : backend(), .start_thread = threads.starter()});
        model->use_operation_requests(requests);
        model->use_operation_status(status);
        return *model;
    }

    // Every waiting worker runs, then the page takes the results.
    void settle()
    {
        threads.run_all();
        model->sync(doc);
    }

    // The runner hands the operation over: Running under its key, the request in the cell; the page syncs.
    void request(const Op& operation)
    {
        operations::testing::hand_over(requests, status, operation);
        model->sync(doc);
    }

    // The press of a button.
    void press(std::string_view flag)
    {
        doc.put_bool(flag, true);
        model->sync(doc);
    }

    [[nodiscard]] OperationStatus outcome() const { return status.get(); }

    fs::path home;
    std::unique_ptr<FakeStorageService> service;
    ManualThreads threads;
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<StorageModel> model;
};

TEST_F(StorageModelTest, OpensMeasuringAndShowsTheFiguresOnceTheWorkersAnswer)
{
    file(".cache/browser/blob", 4 * 65536);
    file(".cache/thumbnails/x.png", 65536);
    open();
    model->sync(doc);
    EXPECT_EQ(threads.waiting(), (std::vector<std::string>{std::string(scan), std::string(sync_worker)}));
    EXPECT_TRUE(model->measuring());
    EXPECT_EQ(storage_use_rows(*model), (std::vector<ValueRow>{{"Installed apps", "Measuring\u2026"},
                                                               {"App data", "Measuring\u2026"},
                                                               {"Cache", "Measuring\u2026"},
                                                               {"Synced files", "Not available"}}));
    EXPECT_EQ(synced_card(*model).only_caption, "Loading synced storage\u2026");
    EXPECT_EQ(largest_items(*model).caption, "Measuring\u2026");

    settle();
    ASSERT_TRUE(model->snapshot());
    const auto& snapshot = *model->snapshot();
    const auto rows = storage_use_rows(*model);
    EXPECT_EQ(rows[0], (ValueRow{"Installed apps", bytes_si(snapshot.total(desk_rules::StorageCategory::InstalledApps))}));
    EXPECT_EQ(rows[2], (ValueRow{"Cache", bytes_si(model->cleanup_preview()->total_bytes)}));
    EXPECT_EQ(rows[3], (ValueRow{"Synced files", "5.0 MB"}));
    EXPECT_FALSE(storage_use_note(*model));

    const SyncedCard synced = synced_card(*model);
    EXPECT_FALSE(synced.only_caption);
    EXPECT_EQ(synced.totals, (std::vector<ValueRow>{{"On this device", "2.0 MB"},
                                                    {"On other devices only", "3.0 MB"},
                                                    {"Safe to free", "1.5 MB"}}));
    EXPECT_FALSE(synced.status);
    EXPECT_EQ(synced.files, (std::vector<ValueRow>{{"Report.pdf", "1.0 MB"}, {"Holiday.mp4", "500.0 kB"}}));
    EXPECT_EQ(synced.button_label, "Free 1.5 MB");
    EXPECT_FALSE(synced.footer);

    const LargestItems largest = largest_items(*model);
    ASSERT_EQ(largest.rows.size(), 5U);  // browser, photos, so.vorn.Notes, thumbnails, editor
    EXPECT_EQ(largest.rows[0].label, "browser \u00b7 Cache");
    EXPECT_EQ(largest.rows[1].label, "photos \u00b7 App data");

    const CleanupCard cleanup = cleanup_card(*model);
    EXPECT_EQ(cleanup.title, "Cache cleanup preview");
    EXPECT_EQ(cleanup.button_label, "Remove " + bytes_si(model->cleanup_preview()->total_bytes));
    EXPECT_EQ(cleanup.rows.size(), 2U);
    EXPECT_EQ(cleanup.rows[0].label, "browser");
    EXPECT_FALSE(cleanup.busy);
    EXPECT_TRUE(model->take_structure_dirty());
    EXPECT_FALSE(model->take_structure_dirty());
}

TEST_F(StorageModelTest, EachOperationEndsWithItsSentence)
{
    tool("vorn-disks", {{.args = "*"}});
    file(".cache/app/blob", 65536);
    open();
    settle();

    request(Op{Op::OpenDisks{}});
    EXPECT_EQ(outcome(), done(Op{Op::OpenDisks{}}, "Opened Disks."));
    ASSERT_TRUE(wait_for_calls(1));

    request(Op{Op::OpenBackups{}});
    EXPECT_EQ(outcome(), failed(Op{Op::OpenBackups{}}, "Backups is not installed (vorn-backups was not found)."));
    EXPECT_EQ(model->tools_status(), "Backups is not installed (vorn-backups was not found).");

    request(Op{Op::CleanupCaches{}});
    EXPECT_TRUE(model->cleaning());
    EXPECT_EQ(cleanup_card(*model).button_label, "Removing\u2026");
    EXPECT_TRUE(cleanup_card(*model).busy);
    EXPECT_TRUE(outcome().is_running(operations::operation_key(Op{Op::CleanupCaches{}})));
    settle();
    EXPECT_EQ(outcome(), done(Op{Op::CleanupCaches{}}, "Application caches cleaned."));
    EXPECT_FALSE(fs::exists(home / ".cache/app"));
    EXPECT_EQ(cleanup_card(*model).caption, "There is no application cache to clean.");
    EXPECT_TRUE(fs::exists(home / ".local/share/photos/library"));

    // Nothing left to clean.
    request(Op{Op::CleanupCaches{}});
    EXPECT_EQ(outcome(), failed(Op{Op::CleanupCaches{}}, "No reclaimable application cache is available."));

    service->change([](auto& state) { state.evict_at_once = 1; });
    request(Op{Op::FreeSyncedFiles{}});
    EXPECT_TRUE(model->evicting());
    EXPECT_EQ(synced_card(*model).footer, "Verifying remote copies and freeing local space\u2026");
    EXPECT_FALSE(synced_card(*model).button_label);
    // A second request while the first eviction runs.
    (void)status.publish(OperationStatus::idle());
    request(Op{Op::FreeSyncedFiles{}});
    EXPECT_EQ(outcome(), failed(Op{Op::FreeSyncedFiles{}}, "No reclaimable synced files are available."));

    (void)status.publish(OperationStatus::running(operations::operation_key(Op{Op::FreeSyncedFiles{}})));
    threads.run_next(evict);
    model->sync(doc);
    EXPECT_EQ(outcome(), done(Op{Op::FreeSyncedFiles{}}, "Synced-file reclamation completed."));
    EXPECT_EQ(model->status(),
              "Freed 1.0 MB from 1 synced file(s); 1 more queued for verified background reclamation.");
    // Fresh accounting follows every report.
    EXPECT_EQ(threads.waiting(), std::vector<std::string>{std::string(sync_worker)});
    settle();
    EXPECT_EQ(synced_card(*model).totals[2], (ValueRow{"Safe to free", "0 B"}));
    EXPECT_EQ(synced_card(*model).footer,
              "Nothing is safely reclaimable. Dirty, pinned, shared, and unverified content stays local.");
    // The report stays shown with the new figures.
    EXPECT_EQ(synced_card(*model).status, model->status());

    request(Op{Op::FreeSyncedFiles{}});
    EXPECT_EQ(outcome(), failed(Op{Op::FreeSyncedFiles{}}, "No reclaimable synced files are available."));
}

TEST_F(StorageModelTest, OperationsWaitForTheReadingTheirAnswerDependsOn)
{
    file(".cache/app/blob", 65536);
    open();
    // Both arrive before any worker answered: the page has no preview and no accounting yet.
    request(Op{Op::CleanupCaches{}});
    EXPECT_TRUE(outcome().is_running(operations::operation_key(Op{Op::CleanupCaches{}})));
    threads.run_next(scan);
    model->sync(doc);
    EXPECT_TRUE(model->cleaning());
    settle();
    EXPECT_EQ(outcome(), done(Op{Op::CleanupCaches{}}, "Application caches cleaned."));

    StorageModel& page = open();
    request(Op{Op::FreeSyncedFiles{}});
    EXPECT_TRUE(outcome().is_running(operations::operation_key(Op{Op::FreeSyncedFiles{}})));
    EXPECT_FALSE(page.evicting());
    threads.run_next(sync_worker);
    page.sync(doc);
    EXPECT_TRUE(page.evicting());
    settle();
    EXPECT_EQ(outcome(), done(Op{Op::FreeSyncedFiles{}}, "Synced-file reclamation completed."));
    EXPECT_EQ(page.status(), "Freed 1.5 MB from 2 synced files.");
}

TEST_F(StorageModelTest, PressesActButAnswerNoOperationAndAPressDuringACleanupIsDropped)
{
    file(".cache/one/blob", 65536);
    open();
    settle();
    press(cleanup_flag);
    EXPECT_TRUE(model->cleaning());
    // The cache fills again while the cleanup runs; a second press must not remove what nobody has seen.
    file(".cache/two/blob", 65536);
    press(cleanup_flag);
    EXPECT_EQ(page_doc::doc_bool(doc, cleanup_flag), false);
    settle();
    EXPECT_TRUE(outcome().is_idle());
    EXPECT_FALSE(fs::exists(home / ".cache/one"));
    EXPECT_TRUE(fs::exists(home / ".cache/two/blob"));
    EXPECT_EQ(threads.waiting(), std::vector<std::string>{});
    ASSERT_EQ(cleanup_card(*model).rows.size(), 1U);
    EXPECT_EQ(cleanup_card(*model).rows[0].label, "two");
}

TEST_F(StorageModelTest, TheCleanupPreviewAccountsForEveryItemAndRemovesAllOfThem)
{
    for (int i = 0; i < 12; ++i) {
        file(fs::path(".cache") / ("app" + std::to_string(i)) / "blob", static_cast<std::size_t>(i + 1) * 8192);
    }
    file(".cache/\xff\xfe-broken", 4096);
    open();
    settle();
    const CleanupCard card = cleanup_card(*model);
    const auto& items = model->cleanup_preview()->items;
    ASSERT_EQ(items.size(), 13U);
    ASSERT_EQ(card.rows.size(), 9U);
    EXPECT_EQ(card.rows[0].label, "app11");
    EXPECT_EQ(card.rows[7].label, "app4");
    std::uint64_t rest = 0;
    for (std::size_t i = 8; i < items.size(); ++i) {
        rest += items[i].bytes;
    }
    EXPECT_EQ(card.rows[8], (ValueRow{"5 more cache items", bytes_si(rest)}));
    EXPECT_EQ(card.caption, cleanup_caption);

    press(cleanup_flag);
    settle();
    EXPECT_TRUE(fs::is_empty(home / ".cache"));
    EXPECT_FALSE(model->cleanup_status());
}

TEST_F(StorageModelTest, AFailedCleanupIsShownOnThePageAndTheFiguresFollowWhatWasRemoved)
{
    file(".cache/kept/blob", 65536);
    file(".cache/gone/blob", 8192);
    fs::create_directories(dir_ / "outside");
    std::ofstream(dir_ / "outside" / "precious") << "data";
    open();
    settle();
    // Between the preview and the removal, a previewed folder becomes a link out of the cache.
    fs::remove_all(home / ".cache/kept");
    fs::create_directory_symlink(dir_ / "outside", home / ".cache/kept");

    press(cleanup_flag);
    settle();
    ASSERT_TRUE(model->cleanup_status());
    EXPECT_TRUE(model->cleanup_status()->starts_with("Could not clean application caches: "));
    EXPECT_NE(model->cleanup_status()->find("kept changed since the preview and was left in place"), std::string::npos);
    EXPECT_EQ(cleanup_card(*model).status, model->cleanup_status());
    EXPECT_TRUE(fs::exists(dir_ / "outside" / "precious"));
    EXPECT_FALSE(fs::exists(home / ".cache/gone"));
    // "gone" was removed, so the page measured again: nothing cache-like is left to preview.
    EXPECT_EQ(cleanup_card(*model).title, "Cache cleanup");
}

TEST_F(StorageModelTest, TheSyncStorageServiceFailingInEachWay)
{
    struct Case {
        std::string name;
        std::function<void(FakeStorageService&)> setup;
        bool missing_socket = false;
        std::string snapshot_status;
    };
    const std::vector<Case> cases = {
        {"missing socket", {}, true,
         "Sync storage service unavailable: could not connect to " + (dir_ / "absent.sock").string() +
             ": No such file or directory"},
        {"error reply", [](auto& s) { s.change([](auto& st) { st.mode = Mode::Error; }); }, false,
         "Sync storage service unavailable: the sync engine is busy"},
        {"closed", [](auto& s) { s.change([](auto& st) { st.mode = Mode::Close; }); }, false,
         "Sync storage service unavailable: the sync storage service closed the connection without answering"},
        {"stall", [](auto& s) { s.change([](auto& st) { st.mode = Mode::Stall; }); }, false,
         "Sync storage service unavailable: the sync storage service did not answer within 200 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto started = FakeStorageService::start({.snapshot = sample_snapshot()});
        ASSERT_TRUE(started.has_value());
        service = std::move(*started);
        if (c.setup) {
            c.setup(*service);
        }
        open(backend(c.missing_socket ? dir_ / "absent.sock" : fs::path()));
        model->sync(doc);
        EXPECT_EQ(synced_card(*model).only_caption, "Loading synced storage\u2026");
        settle();
        EXPECT_EQ(model->status(), c.snapshot_status);
        EXPECT_EQ(synced_card(*model).only_caption, c.snapshot_status);
        EXPECT_EQ(storage_use_rows(*model)[3], (ValueRow{"Synced files", "Not available"}));
        request(Op{Op::FreeSyncedFiles{}});
        EXPECT_EQ(outcome(), failed(Op{Op::FreeSyncedFiles{}}, "No reclaimable synced files are available."));
    }
}

TEST_F(StorageModelTest, AFailedEvictionNeverCountsAnythingAsFreed)
{
    struct Case {
        std::string name;
        Mode mode;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"error reply", Mode::Error, "Nothing was removed: the sync engine is busy"},
        {"closed", Mode::Close, "Nothing was removed: the sync storage service closed the connection without answering"},
        {"stall", Mode::Stall, "Nothing was removed: the sync storage service did not answer within 200 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        settle();
        service->change([&](auto& state) { state.mode = c.mode; });
        request(Op{Op::FreeSyncedFiles{}});
        settle();
        EXPECT_EQ(outcome(), failed(Op{Op::FreeSyncedFiles{}}, c.text));
        EXPECT_EQ(model->status(), c.text);
        EXPECT_FALSE(model->evicting());
        // The figures stay as they were, and the button is offered again.
        EXPECT_EQ(synced_card(*model).button_label, "Free 1.5 MB");
        service->change([](auto& state) { state.mode = Mode::Answer; });
    }
}

TEST_F(StorageModelTest, WorkersThatEndWithoutAWordOrCannotStart)
{
    file(".cache/app/blob", 65536);
    open();
    threads.drop_next(sync_worker);
    threads.drop_next(scan);
    model->sync(doc);
    EXPECT_EQ(model->status(), "Sync storage service ended unexpectedly.");
    EXPECT_FALSE(model->synced_snapshot());
    EXPECT_EQ(storage_use_note(*model), "The storage scan ended without a result.");
    EXPECT_EQ(storage_use_rows(*model)[1], (ValueRow{"App data", "Not available"}));

    open();
    settle();
    request(Op{Op::FreeSyncedFiles{}});
    threads.drop_next(evict);
    model->sync(doc);
    EXPECT_EQ(model->status(), "The sync storage request ended unexpectedly; nothing was assumed removed.");
    EXPECT_EQ(outcome(), failed(Op{Op::FreeSyncedFiles{}}, "Sync storage service ended unexpectedly."));

    request(Op{Op::CleanupCaches{}});
    threads.drop_next(scan);
    model->sync(doc);
    EXPECT_EQ(outcome(),
              failed(Op{Op::CleanupCaches{}}, "Could not clean application caches: the cleanup ended without a result"));
    EXPECT_EQ(threads.waiting(), std::vector<std::string>{std::string(scan)});  // measuring what is left

    threads.refuse_with = "Resource temporarily unavailable";
    open();
    EXPECT_EQ(model->status(),
              "Sync storage service unavailable: could not start a worker: Resource temporarily unavailable");
    EXPECT_EQ(storage_use_note(*model), "The storage scan could not start: could not start a worker: Resource "
                                        "temporarily unavailable");
}

TEST_F(StorageModelTest, OutcomesGoOnlyToTheOperationRunningUnderTheSameKey)
{
    tool("vorn-disks", {{.args = "*"}});
    open();
    settle();
    // Another storage operation is running: opening Disks by a press does not answer it.
    (void)status.publish(OperationStatus::running(operations::operation_key(Op{Op::OpenBackups{}})));
    press(disks_flag);
    EXPECT_TRUE(outcome().is_running(operations::operation_key(Op{Op::OpenBackups{}})));
    EXPECT_FALSE(model->finish_operation(Op{Op::OpenDisks{}}, std::string("Opened Disks.")));
    EXPECT_TRUE(model->finish_operation(Op{Op::OpenBackups{}}, std::unexpected(std::string("no"))));
    EXPECT_EQ(outcome(), failed(Op{Op::OpenBackups{}}, "no"));

    // A request for another page stays where it is.
    (void)requests.publish(operations::PaneOperationRequest{actions::PrinterOperation{actions::PrinterOperation::Refresh{}}});
    model->sync(doc);
    EXPECT_TRUE(requests.get().has_value());
}

TEST_F(StorageModelTest, SafeToFreeZeroOnlineAndOffline)
{
    auto nothing = sample_snapshot();
    for (auto& file_state : nothing.files) {
        file_state.reclaimable_bytes = 0;
    }
    nothing.usage[0].safe_to_free = 0;
    for (const bool online : {true, false}) {
        nothing.online = online;
        service->change([&](auto& state) { state.snapshot = nothing; });
        open();
        settle();
        const SyncedCard card = synced_card(*model);
        EXPECT_FALSE(card.button_label);
        EXPECT_TRUE(card.files.empty());
        EXPECT_EQ(card.footer, online ? nothing_reclaimable_text : offline_text);
    }
}

TEST_F(StorageModelTest, OnlyTheEightLargestItemsAreListed)
{
    for (int i = 0; i < 12; ++i) {
        file(fs::path(".config") / ("app" + std::to_string(i)) / "data", static_cast<std::size_t>(i + 1) * 65536);
    }
    open();
    settle();
    const LargestItems largest = largest_items(*model);
    ASSERT_EQ(largest.rows.size(), 8U);
    EXPECT_EQ(largest.rows[0].label, "app11 \u00b7 App data");
    EXPECT_EQ(largest.rows[7].label, "app4 \u00b7 App data");
    EXPECT_FALSE(largest.caption);
}

TEST_F(StorageModelTest, AnswersAfterThePageClosedAreDropped)
{
    open();
    model.reset();
    threads.run_all();  // nobody listens; nothing breaks
    EXPECT_TRUE(outcome().is_idle());
}

TEST_F(StorageModelTest, RealWorkersDoTheWorkOffTheCallingThread)
{
    file(".cache/app/blob", 65536);
    StorageModel page({.backend = backend()});  // detached threads of its own
    const auto sync_until = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 1000 && !done(); ++i) {
            page.sync(doc);
            std::this_thread::sleep_for(5ms);
        }
        return done();
    };
    ASSERT_TRUE(sync_until([&] { return page.snapshot() && page.synced_snapshot(); }));
    EXPECT_EQ(page.cleanup_preview()->items.size(), 1U);
    doc.put_bool(cleanup_flag, true);
    ASSERT_TRUE(sync_until([&] { return !page.cleaning() && page.cleanup_preview()->items.empty(); }));
    EXPECT_FALSE(fs::exists(home / ".cache/app"));
}

TEST(EvictionText, SaysWhatWasFreedAndWhatWaits)
{
    EXPECT_EQ(eviction_text({.freed_bytes = 1'500'000, .evicted = 3, .queued = 0}), "Freed 1.5 MB from 3 synced files.");
    EXPECT_EQ(eviction_text({.freed_bytes = 1'500'000, .evicted = 2, .queued = 1}),
              "Freed 1.5 MB from 2 synced file(s); 1 more queued for verified background reclamation.");
    EXPECT_EQ(eviction_text({.freed_bytes = 0, .evicted = 0, .queued = 4}),
              "4 synced file(s) queued for verified background reclamation; nothing is counted as free until GC "
              "confirms it.");
}

TEST(CacheItemLabel, TheFileNameOrCacheItem)
{
    const auto label = [](const char* path) { return cache_item_label({.path = path}); };
    EXPECT_EQ(label("/home/ada/.cache/thumbnails"), "thumbnails");
    EXPECT_EQ(label("/home/ada/.cache/\xff\xfe"), "Cache item");
    EXPECT_EQ(label("/home/ada/.cache/\x1b[31mred"), "red");
    EXPECT_EQ(label("/"), "Cache item");
    EXPECT_EQ(more_items_label(1), "1 more cache item");
}

TEST(FlagKeys, OneForEachOperation)
{
    EXPECT_EQ(flag_key(Op{Op::CleanupCaches{}}), "storage.cleanup.confirmed.edit");
    EXPECT_EQ(flag_key(Op{Op::FreeSyncedFiles{}}), "storage.sync.free.edit");
    EXPECT_EQ(flag_key(Op{Op::OpenDisks{}}), "storage.open.disks.edit");
    EXPECT_EQ(flag_key(Op{Op::OpenBackups{}}), "storage.open.backups.edit");
}

}  // namespace
}  // namespace settings::panes::storage
