// The Agent Models page in the real application window (headless) on a machine without vorn-model-manager: the page
// says that the local model service is unavailable, and why, instead of showing a hardware summary or models it
// cannot know; and a compatible provider added there through its action is listed with its actions bound and takes
// an API key that the page stores in the vault, the typed key never reaching the accessibility tree.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/agent_models/agent_models_pane.hpp"

#include "launch/launch.hpp"
#include "model_providers/model_providers.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "test_buses/no_session_bus.hpp"
#include "test_buses/test_buses.hpp"
#include "vorn_model_gateway/vorn_model_gateway.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

namespace settings::panes::agent_models {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class AgentModelsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (test_buses::have_program("vorn-model-manager")) {
            GTEST_SKIP() << "this machine has vorn-model-manager; the test is about one without it";
        }
    }

    void open_page()
    {
        settings = app::SettingsApp::create();
        window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 3600});
        window->frame();
        const auto entry = window->find_text_bounds("Agent Models");
        ASSERT_TRUE(entry);
        window->click(entry->x0 + 2, (entry->y0 + entry->y1) / 2);
        ASSERT_EQ(settings->selected(), Section::AgentModels);
        ASSERT_TRUE(frames_until([&] {
            const auto* page = pane();
            return page != nullptr && page->model().loaded() && page->model().providers_loaded();
        })) << ::testing::PrintToString(lines());
    }

    [[nodiscard]] const AgentModelsPane* pane() const
    {
        return dynamic_cast<const AgentModelsPane*>(app::testing::find_widget(
            window->root(), [](const auto& w) { return w.widget_name() == "AgentModelsPane"; }));
    }

    // Runs frames (and the loop's pumps) until `done` holds (at most 30 s: every tool here answers within its own
    // limit).
    bool frames_until(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            window->frame();
            (void)loop.run_control_invocations(window->root(), doc, std::chrono::steady_clock::now());
            (void)loop.poll_operations(window->root(), std::chrono::steady_clock::now());
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    void click(std::string_view text)
    {
        const auto bounds = window->find_text_bounds(text);
        ASSERT_TRUE(bounds) << text << ::testing::PrintToString(lines());
        window->click((bounds->x0 + bounds->x1) / 2, (bounds->y0 + bounds->y1) / 2);
    }
    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool has_line(std::string_view start) const
    {
        return std::ranges::any_of(lines(), [&](const std::string& l) { return l.starts_with(start); });
    }

    // No desktop keyring: the vault keeps its key in an owner-only file of the private home.
    test_buses::NoSessionBus no_session_bus;
    app::testing::PrivateHome home;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
    vorn_ui::app::App loop{"so.vorn.settings"};
};

TEST_F(AgentModelsWindowTest, TheLocalModelServiceIsSaidToBeUnavailable)
{
    launch::register_actions(loop);
    open_page();
    const AgentModelsPane& page = *pane();
    ASSERT_FALSE(page.model().service_available());
    ASSERT_TRUE(page.model().unavailable_reason().has_value());
    const auto access = lines();
    EXPECT_THAT(access, Contains("label Local model service unavailable"));
    EXPECT_THAT(access, Contains(StartsWith("label Install or start vorn-model-manager")));
    EXPECT_THAT(access, Contains("label " + *page.model().unavailable_reason()));
    EXPECT_THAT(*page.model().unavailable_reason(), HasSubstr("vorn-model-manager"));
    // Never what only the service could say.
    for (const std::string_view claim : {"label Recommended for this device", "label Hardware fit",
                                         "label Models on this device", "button Set up on this device",
                                         "label Accelerator support"}) {
        EXPECT_THAT(access, Not(Contains(StartsWith(std::string(claim))))) << claim;
    }
    EXPECT_THAT(access, Contains("label Hosted and compatible providers"));
    EXPECT_THAT(access, Contains("button Add compatible API"));
}

TEST_F(AgentModelsWindowTest, ACompatibleProviderAddedHereKeepsItsKeyInTheVault)
{
    launch::register_actions(loop);
    open_page();

    // "Add compatible API", as the user clicks it: the application adds the provider, the page lists it.
    click("Add compatible API");
    ASSERT_TRUE(frames_until([&] { return pane()->model().providers().providers.size() == 1; }))
        << ::testing::PrintToString(lines());
    const std::string id = pane()->model().providers().providers.front().profile.id;
    EXPECT_THAT(id, StartsWith("openai-compatible-"));
    ASSERT_TRUE(frames_until([&] { return has_line("button Save key"); })) << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line("label No API key stored."));
    // Its action buttons are bound once the section publishes the new provider.
    EXPECT_TRUE(frames_until([&] {
        const auto access = lines();
        return std::ranges::count(access, std::string("button Remove provider")) == 1 &&
               std::ranges::count(access, std::string("button Use Anthropic")) == 1;
    })) << ::testing::PrintToString(lines());

    constexpr std::string_view secret = "sk-window-0b7d51c2";
    ASSERT_TRUE(panes::testing::focus_control(*window, provider_control_id("api-key", id)));
    window->type(secret);
    window->frame();
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(secret)));

    click("Save key");
    ASSERT_TRUE(frames_until([&] { return has_line("label API key saved in the Vorn vault."); }))
        << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line("label API key is stored in the Vorn vault."));
    EXPECT_TRUE(has_line("button Replace key"));
    EXPECT_THAT(window->accessibility_json().dump(), Not(HasSubstr(secret)));

    const auto keys = vorn_model_gateway::ApiKeyStore::for_user();
    ASSERT_TRUE(keys.has_value()) << keys.error().message;
    const auto stored = keys->api_key(id);
    ASSERT_TRUE(stored.has_value()) << stored.error().message;
    ASSERT_TRUE(stored->has_value());
    EXPECT_EQ(stored->value().view(), secret);
    EXPECT_EQ(model_providers::ProviderConfig::load().profiles.size(), 1U);
}

}  // namespace
}  // namespace settings::panes::agent_models
