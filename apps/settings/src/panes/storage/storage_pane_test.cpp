// The Storage page in the headless window over a home in a temporary folder, the tests' sync-storage service and
// hand-run workers: the cards in each state (drawn texts and the accessibility tree), "Remove …" pressed with the
// pointer removing what the card listed, failures shown on the page, a request handed over by the runner, and the
// keyboard focus kept when the cards change.
#include "panes/storage/storage_pane.hpp"

#include "panes/storage/storage_text.hpp"

#include "operations/testing/page_cells.hpp"
#include "page_workers/testing/manual_threads.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "synced_files/testing/fake_storage_service.hpp"
#include "system_ops/test_tools.hpp"
#include "vorn_ui/format.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace settings::panes::storage {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using operations::OperationStatus;
using page_workers::testing::ManualThreads;
using synced_files::storage::testing::FakeStorageService;
using synced_files::storage::testing::sample_snapshot;
using vorn_ui::format::bytes_si;
using Op = StorageOperation;

// The accessibility lines, one a line, for a failure's message.
std::string listing(const std::vector<std::string>& lines) { return fmt::format("{}", fmt::join(lines, "\n")); }

bool has_line(const std::vector<std::string>& lines, std::string_view start)
{
    return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(start); });
}

class StoragePaneTest : public system_ops::testing::FakeTools {
protected:
    void SetUp() override
    {
        FakeTools::SetUp();
        home = dir_ / "home";
        file(".local/share/vorn/apps/so.vorn.Notes/notes", 65536);
        file(".config/editor/settings", 8192);
        auto started = FakeStorageService::start({.snapshot = sample_snapshot()});
        ASSERT_TRUE(started.has_value()) << started.error();
        service = std::move(*started);
    }

    void file(const fs::path& relative, std::size_t bytes)
    {
        const fs::path path = home / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
    }

    // The page in a window tall enough for every card, sharing the application's cells.
    void open(fs::path socket = {})
    {
        const desk_rules::storage::UserFolders folders{.home = home,
                                                       .data = home / ".local/share",
                                                       .config = home / ".config",
                                                       .state = home / ".local/state",
                                                       .cache = home / ".cache"};
        auto backend = std::make_shared<SystemStorageBackend>(SystemStorageBackend::Options{
            .roots = [folders] { return StorageRoots::for_folders(folders); },
            .socket = socket.empty() ? service->socket_path() : socket,
            .timeouts = {.connect = 1s, .snapshot = 2s, .eviction = 2s},
            .limits = {}});
        pane = std::make_unique<StoragePane>(
            StoragePane({.backend = std::move(backend), .start_thread = threads.starter()})
                .with_operation_requests(requests)
                .with_operation_status(status));
        window = std::make_unique<vorn_ui::HeadlessWindow>(*pane, doc, vorn_ui::WindowSize{1280, 1900});
        window->frame();
    }

    // The waiting workers run and the page shows what they found.
    void settle()
    {
        threads.run_all();
        window->frame();
        window->frame();
    }

    void click_text(std::string_view text)
    {
        const auto bounds = window->find_text_bounds(text);
        ASSERT_TRUE(bounds) << text;
        window->click((bounds->x0 + bounds->x1) / 2, (bounds->y0 + bounds->y1) / 2);
        window->frame();
    }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        return testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }
    void expect_shown(std::initializer_list<std::string_view> shown, std::initializer_list<std::string_view> absent)
    {
        const auto access = lines();
        for (const std::string_view text : shown) {
            EXPECT_TRUE(shows(text) || has_line(access, text)) << text << "\n" << listing(access);
        }
        for (const std::string_view text : absent) {
            EXPECT_FALSE(shows(text) || has_line(access, text)) << text << "\n" << listing(access);
        }
    }

    fs::path home;
    std::unique_ptr<FakeStorageService> service;
    ManualThreads threads;
    operations::OperationRequestCell requests{std::nullopt};
    operations::OperationStatusCell status{OperationStatus::idle()};
    page_doc::Document doc;
    std::unique_ptr<StoragePane> pane;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(StoragePaneTest, TheCardsWhileMeasuringAndOnceTheReadingsAreIn)
{
    file(".cache/browser/blob", 4 * 65536);
    file(".cache/thumbnails/x.png", 65536);
    open();
    expect_shown({"Storage use", "Installed apps", "App data", "Measuring\u2026", "Synced storage",
                  "Loading synced storage\u2026", "Largest items", "Cache cleanup", "Storage tools", "Disks",
                  "Partitions, formatting, drive health, and removable media", "button Open Disks",
                  "button Open Backups", tools_caption},
                 {"button Remove", "button Free", "On this device"});

    settle();
    const auto& preview = pane->model().cleanup_preview();
    ASSERT_TRUE(preview);
    const std::string remove = fmt::format("Remove {}", bytes_si(preview->total_bytes));
    expect_shown({"Cache cleanup preview", cleanup_caption, "browser", "thumbnails", "button " + remove,
                  "On this device", "2.0 MB", "On other devices only", "Safe to free", "Report.pdf", "Holiday.mp4",
                  "button Free 1.5 MB", "so.vorn.Notes \u00b7 Installed apps", "editor \u00b7 App data",
                  "Synced files", "5.0 MB"},
                 {"Measuring\u2026", "Loading synced storage\u2026", "Notes.md", no_cache_caption});
    // Sizes are drawn beside their rows.
    EXPECT_TRUE(shows(bytes_si(pane->model().snapshot()->total(desk_rules::StorageCategory::InstalledApps))));
}

TEST_F(StoragePaneTest, WhatTheCardsSayWhenThereIsLittleToShow)
{
    struct Case {
        std::string_view name;
        bool service_missing = false;
        bool offline = false;
        std::vector<std::string_view> shown;
        std::vector<std::string_view> absent;
    };
    const std::vector<Case> cases{
        {.name = "service missing",
         .service_missing = true,
         .shown = {"Sync storage service unavailable: ", "Not available", "Cache cleanup", no_cache_caption},
         .absent = {"On this device", "button Free", "button Remove"}},
        {.name = "nothing safe to free, online",
         .shown = {"On this device", nothing_reclaimable_text},
         .absent = {"button Free", offline_text}},
        {.name = "nothing safe to free, offline",
         .offline = true,
         .shown = {"On this device", offline_text},
         .absent = {"button Free", nothing_reclaimable_text}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service->change([&](FakeStorageService::State& state) {
            state.snapshot = sample_snapshot();
            for (auto& area : state.snapshot.usage) {
                area.safe_to_free = 0;
            }
            state.snapshot.online = !c.offline;
        });
        open(c.service_missing ? dir_ / "no-such.sock" : fs::path());
        settle();
        const auto access = lines();
        for (const std::string_view text : c.shown) {
            EXPECT_TRUE(shows(text) || has_line(access, text)) << text << "\n" << listing(access);
        }
        for (const std::string_view text : c.absent) {
            EXPECT_FALSE(shows(text) || has_line(access, text)) << text;
        }
        window.reset();
        pane.reset();
    }
}

TEST_F(StoragePaneTest, RemovePressedWithThePointerRemovesWhatTheCardListed)
{
    for (int i = 0; i < 10; ++i) {
        file(fs::path(".cache") / ("app" + std::to_string(i)) / "blob", static_cast<std::size_t>(i + 1) * 8192);
    }
    open();
    settle();
    const auto preview = *pane->model().cleanup_preview();
    ASSERT_EQ(preview.items.size(), 10U);
    expect_shown({"app9", "app2", "2 more cache items"}, {"app1", "app0"});
    const std::string remove = fmt::format("Remove {}", bytes_si(preview.total_bytes));

    click_text(remove);
    EXPECT_TRUE(pane->model().cleaning());
    expect_shown({"button Removing\u2026 [focused,disabled]"}, {"button " + remove});
    // Added while the removal runs: nobody has seen it, so it stays.
    file(".cache/late/blob", 8192);
    settle();
    for (const auto& item : preview.items) {
        EXPECT_FALSE(fs::exists(item.path)) << item.path;
    }
    EXPECT_TRUE(fs::exists(home / ".cache/late/blob"));
    EXPECT_TRUE(fs::exists(home / ".local/share/vorn/apps/so.vorn.Notes/notes"));
    EXPECT_TRUE(fs::exists(home / ".config/editor/settings"));
    EXPECT_TRUE(status.get().is_idle()) << "a press answers no operation";
    expect_shown({"late", "button Remove"}, {"app9", "Removing\u2026"});
}

TEST_F(StoragePaneTest, AFailedToolLaunchOrCleanupIsShownOnThePage)
{
    file(".cache/kept/blob", 65536);
    file(".cache/gone/blob", 8192);
    fs::create_directories(dir_ / "outside");
    std::ofstream(dir_ / "outside" / "precious") << "data";
    open();
    settle();

    click_text("Open Backups");
    expect_shown({"Backups is not installed (vorn-backups was not found)."}, {});

    // Between the preview and the removal, a previewed folder becomes a link out of the cache.
    fs::remove_all(home / ".cache/kept");
    fs::create_directory_symlink(dir_ / "outside", home / ".cache/kept");
    click_text(fmt::format("Remove {}", bytes_si(pane->model().cleanup_preview()->total_bytes)));
    settle();
    EXPECT_TRUE(fs::exists(dir_ / "outside" / "precious"));
    const auto access = lines();
    EXPECT_TRUE(has_line(access, "label Could not clean application caches: ")) << listing(access);
}

TEST_F(StoragePaneTest, RequestsFromTheRunnerEndInTheirSentence)
{
    tool("vorn-disks", {{.args = "*"}});
    open();
    settle();
    operations::testing::hand_over(requests, status, Op{Op::OpenDisks{}});
    window->frame();
    EXPECT_EQ(status.get(), operations::testing::done(Op{Op::OpenDisks{}}, "Opened Disks."));

    operations::testing::hand_over(requests, status, Op{Op::CleanupCaches{}});
    window->frame();
    EXPECT_EQ(status.get(), operations::testing::failed(Op{Op::CleanupCaches{}}, no_cache_text));

    operations::testing::hand_over(requests, status, Op{Op::FreeSyncedFiles{}});
    window->frame();
    expect_shown({verifying_text}, {"button Free"});
    settle();
    settle();
    EXPECT_EQ(status.get(), operations::testing::done(Op{Op::FreeSyncedFiles{}}, reclamation_done_text));
    expect_shown({"Freed 1.5 MB from 2 synced files."}, {});
}

TEST_F(StoragePaneTest, FocusSurvivesAChange)
{
    file(".cache/one/blob", 65536);
    tool("vorn-disks", {{.args = "*"}});
    open();
    settle();
    const auto builds = pane->view_builds();
    ASSERT_TRUE(testing::focus_control(*window, backups_control_id));

    // A cleanup from automation: the cache card loses its button and rows, the view is built anew.
    operations::testing::hand_over(requests, status, Op{Op::CleanupCaches{}});
    window->frame();
    settle();
    EXPECT_EQ(status.get(), operations::testing::done(Op{Op::CleanupCaches{}}, caches_cleaned_text));
    EXPECT_GT(pane->view_builds(), builds);
    EXPECT_EQ(testing::focused_id(*window), backups_control_id);

    // Space presses the focused button; the focus stays and Tab goes on.
    ASSERT_TRUE(testing::focus_control(*window, disks_control_id));
    window->key(vorn_ui::Key::Space);
    window->frame();
    EXPECT_EQ(testing::focused_id(*window), disks_control_id);
    EXPECT_FALSE(pane->model().tools_status()) << "Disks started";
    window->key(vorn_ui::Key::Tab);
    window->frame();
    EXPECT_EQ(testing::focused_id(*window), backups_control_id);
}

}  // namespace
}  // namespace settings::panes::storage
