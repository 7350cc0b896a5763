// The External Accounts page in the headless window over account stores in a temporary folder: building, laying out
// and drawing it with a few and with many accounts, and a frame in which nothing changed (the page syncs every frame
// while it is shown).
#include "panes/accounts/accounts_pane.hpp"

#include "accounts/records.hpp"
#include "page_doc/page_doc.hpp"
#include "test_support/temp_home.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

namespace settings::panes::accounts {
namespace {

using settings::accounts::AccountPaths;

// `count` WebDAV and CalDAV accounts, every third with a status.
void seed(const AccountPaths& paths, int count)
{
    account_registry::AccountStore store;
    account_registry::AccountSyncStatusStore statuses;
    for (int i = 0; i < count; ++i) {
        const bool calendar = i % 2 == 0;
        const std::string id = fmt::format("{}-{}", calendar ? "caldav" : "webdav", i);
        account_registry::Account account(id, calendar ? "caldav" : "webdav");
        account.display_name = fmt::format("Account number {}", i);
        settings::accounts::store_serialized_value(
            account, settings::accounts::DavAccount{.id = id,
                                                    .label = account.display_name,
                                                    .base_url = "https://dav.example.org/remote.php/dav",
                                                    .username = "sam"});
        store.accounts.push_back(std::move(account));
        if (i % 3 == 0) {
            statuses.statuses[id] = {.health = account_registry::AccountSyncHealth::Healthy,
                                     .last_success_unix = 1700000000};
        }
    }
    (void)paths.save_store(store);
    (void)paths.save_statuses(statuses);
}

struct Page {
    explicit Page(const AccountPaths& paths)
        : pane(AccountsModelOptions{.paths = paths}), window(pane, document, {1040, 12000})
    {
        window.frame();
    }
    page_doc::Document document;
    AccountsPane pane;
    vorn_ui::HeadlessWindow window;
};

void BM_BuildLayOutAndDraw(benchmark::State& state)
{
    test_support::ConfigHome home("vorn-accounts-bench");
    const AccountPaths paths{.root = home.path() / "vorn"};
    seed(paths, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Page page(paths);
        benchmark::DoNotOptimize(page.window.last_frame());
    }
}
BENCHMARK(BM_BuildLayOutAndDraw)->Arg(3)->Arg(40)->Unit(benchmark::kMillisecond);

void BM_UnchangedFrame(benchmark::State& state)
{
    test_support::ConfigHome home("vorn-accounts-bench");
    const AccountPaths paths{.root = home.path() / "vorn"};
    seed(paths, static_cast<int>(state.range(0)));
    Page page(paths);
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.window.frame());
    }
}
BENCHMARK(BM_UnchangedFrame)->Arg(3)->Arg(40)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::accounts
