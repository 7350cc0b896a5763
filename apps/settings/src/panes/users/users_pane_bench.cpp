// The Users page in the headless window over an in-memory machine: building, laying out and drawing it with a few
// and with many accounts and identities, and a frame in which nothing changed (the page syncs every frame while it
// is shown).
#include "panes/users/testing/fake_users.hpp"
#include "panes/users/users_pane.hpp"

#include "actions/catalogue/platform.hpp"
#include "vorn_ui/headless.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

namespace settings::panes::users {
namespace {

namespace cat = actions::catalogue;
using testing::FakeMachine;

FakeMachine::State office(int accounts, int identities)
{
    FakeMachine::State state;
    for (int i = 0; i < accounts; ++i) {
        state.users.push_back({.login = fmt::format("user{}", i),
                               .full_name = fmt::format("User Number {}", i),
                               .uid = 1000U + static_cast<std::uint64_t>(i),
                               .admin = i % 3 == 0,
                               .signed_in = i == 0});
    }
    for (int i = 0; i < identities; ++i) {
        state.identities.push_back({.id = fmt::format("id{}", i),
                                    .display_name = fmt::format("Identity {}", i),
                                    .active = i == 0,
                                    .protection = i % 2 == 0 ? Protection::SecretService : Protection::PrivateFile});
    }
    return state;
}

std::shared_ptr<cat::FakePlatform> publishing(const FakeMachine::State& state)
{
    auto platform = std::make_shared<cat::FakePlatform>();
    for (const auto& user : state.users) {
        platform->users->push_back({.name = user.login, .full_name = user.full_name, .admin = user.admin,
                                    .signed_in = user.signed_in, .autologin = user.automatic_login});
    }
    return platform;
}

struct Page {
    Page(int accounts, int identities)
        : machine(FakeMachine::create(office(accounts, identities))),
          scoped(publishing(machine->state())),
          pane(machine->environment([](std::function<void()> work) { work(); })),
          window(pane, document, {1280, 6000})
    {
        window.frame();
    }
    std::shared_ptr<FakeMachine> machine;
    cat::ScopedPlatform scoped;
    page_doc::Document document;
    UsersPane pane;
    vorn_ui::HeadlessWindow window;
};

void BM_BuildLayOutAndDraw(benchmark::State& state)
{
    for (auto _ : state) {
        Page page(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
        benchmark::DoNotOptimize(page.window.last_frame());
    }
}
BENCHMARK(BM_BuildLayOutAndDraw)->Args({3, 2})->Args({40, 10})->Unit(benchmark::kMillisecond);

void BM_UnchangedFrame(benchmark::State& state)
{
    Page page(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.window.frame());
    }
}
BENCHMARK(BM_UnchangedFrame)->Args({3, 2})->Args({40, 10})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace settings::panes::users
