// The Storage page inside the application, in the real window's loop under a private home: opened from the sidebar,
// it shows the home's storage use by category, and "Remove …" on a cache fixture removes exactly the items the
// card listed and nothing else; a cleanup asked for by automation opens the page and ends in its sentence.
#include "app/settings_app.hpp"

#include "actions/payloads/system.hpp"
#include "app/test_support.hpp"
#include "page_doc/page_doc.hpp"
#include "panes/storage/storage_pane.hpp"
#include "panes/storage/storage_text.hpp"
#include "vorn_ui/format.hpp"
#include "vorn_ui/headless.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace settings::app {
namespace {

namespace fs = std::filesystem;
using vorn_ui::format::bytes_si;

void file(const fs::path& path, std::size_t bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

// Every file and folder below `root`.
std::set<fs::path> tree(const fs::path& root)
{
    std::set<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        paths.insert(entry.path());
    }
    return paths;
}

const panes::storage::StoragePane* storage_pane(const vorn_ui::HeadlessWindow& window)
{
    return dynamic_cast<const panes::storage::StoragePane*>(
        testing::find_widget(window.root(), [](const auto& w) { return w.widget_name() == "StoragePane"; }));
}

TEST(StoragePageInTheApplication, ShowsTheHomesUseAndRemoveTakesExactlyWhatItListed)
{
    const testing::PrivateHome home;
    file(home.path() / "cache" / "browser" / "Cache_Data" / "f_000001", 96 * 1024);
    file(home.path() / "cache" / "thumbnails" / "large" / "a.png", 40 * 1024);
    file(home.path() / "cache" / "fontconfig.cache", 8 * 1024);
    file(home.path() / "data" / "vorn" / "apps" / "so.vorn.Notes" / "notes.db", 64 * 1024);
    file(home.path() / "data" / "photos" / "library.db", 128 * 1024);
    const std::set<fs::path> before = tree(home.path());

    auto app = SettingsApp::create();
    page_doc::Document doc;
    vorn_ui::HeadlessWindow window(*app, doc, {1280, 1900});
    window.frame();
    const auto row = window.find_text_bounds("Storage");
    ASSERT_TRUE(row);
    window.click(row->x0 + 2, (row->y0 + row->y1) / 2);
    ASSERT_EQ(app->selected(), Section::Storage);

    // The scan and the preview arrive from the page's worker.
    ASSERT_TRUE(testing::frames_until(window, [&] {
        const auto* pane = storage_pane(window);
        return pane != nullptr && pane->model().snapshot() && pane->model().cleanup_preview() &&
               window.find_text_bounds("Cache cleanup preview").has_value();
    }));
    const auto* pane = storage_pane(window);
    const auto snapshot = *pane->model().snapshot();
    const auto preview = *pane->model().cleanup_preview();
    for (const auto category : {desk_rules::StorageCategory::InstalledApps, desk_rules::StorageCategory::AppData,
                                desk_rules::StorageCategory::Cache}) {
        EXPECT_TRUE(window.find_text_bounds(desk_rules::label(category))) << desk_rules::label(category);
        EXPECT_GT(snapshot.total(category), 0U) << desk_rules::label(category);
        EXPECT_TRUE(window.find_text_bounds(bytes_si(snapshot.total(category)))) << bytes_si(snapshot.total(category));
    }
    EXPECT_TRUE(window.find_text_bounds("so.vorn.Notes \u00b7 Installed apps"));
    ASSERT_EQ(preview.items.size(), 3U);
    std::set<fs::path> listed;
    for (const auto& item : preview.items) {
        listed.insert(item.path);
        EXPECT_TRUE(window.find_text_bounds(item.path.filename().string())) << item.path;
    }

    const std::string remove = fmt::format("Remove {}", bytes_si(preview.total_bytes));
    const auto button = window.find_text_bounds(remove);
    ASSERT_TRUE(button) << remove;
    window.click((button->x0 + button->x1) / 2, (button->y0 + button->y1) / 2);
    ASSERT_TRUE(testing::frames_until(window, [&] {
        const auto* now = storage_pane(window);
        return now != nullptr && !now->model().cleaning() && window.find_text_bounds("Cache cleanup").has_value() &&
               window.find_text_bounds(panes::storage::no_cache_caption).has_value();
    }));

    // Gone: each listed item and everything below it. Kept: everything else.
    std::set<fs::path> removed;
    for (const fs::path& path : before) {
        if (!fs::exists(fs::symlink_status(path))) {
            removed.insert(path);
        }
    }
    std::set<fs::path> expected;
    for (const fs::path& path : before) {
        for (const fs::path& item : listed) {
            const auto relative = path.lexically_relative(item);
            if (path == item || (!relative.empty() && *relative.begin() != "..")) {
                expected.insert(path);
            }
        }
    }
    EXPECT_EQ(removed, expected);
    EXPECT_TRUE(fs::is_directory(home.path() / "cache")) << "the cache folder itself stays";
    EXPECT_FALSE(storage_pane(window)->model().cleanup_status());
}

TEST(StoragePageInTheApplication, ACleanupFromAutomationOpensThePageWaitsForThePreviewAndCleans)
{
    const testing::PrivateHome home;
    file(home.path() / "cache" / "browser" / "blob", 32 * 1024);
    file(home.path() / "data" / "photos" / "library.db", 16 * 1024);
    auto app = SettingsApp::create();
    page_doc::Document doc;
    vorn_ui::HeadlessWindow window(*app, doc, {1280, 1900});
    window.frame();
    ASSERT_NE(app->selected(), Section::Storage);

    const auto id = vorn_ui::OperationId::from_parts(0x5707, 1);
    const auto answer = app->start_resource_operation_with_document(
        id, vorn_ui::OperationClass::Effect, actions::StorageOperation::kind, R"("CleanupCaches")", doc);
    ASSERT_EQ(answer, vorn_ui::ResourceOperationStart::pending()) << answer.message;
    EXPECT_EQ(app->selected(), Section::Storage);

    std::optional<vorn_ui::OperationCompletion> report;
    ASSERT_TRUE(testing::frames_until(window, [&] {
        report = app->poll_resource_operation(id, false, {});
        return report.has_value();
    }));
    EXPECT_EQ(report->kind, vorn_ui::OperationCompletion::Kind::Completed) << report->message;
    EXPECT_EQ(report->completed.value, "Application caches cleaned.");
    EXPECT_FALSE(fs::exists(home.path() / "cache" / "browser"));
    EXPECT_TRUE(fs::exists(home.path() / "data" / "photos" / "library.db"));
    ASSERT_TRUE(testing::frames_until(
        window, [&] { return window.find_text_bounds(panes::storage::no_cache_caption).has_value(); }));
}

}  // namespace
}  // namespace settings::app
