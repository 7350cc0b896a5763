// The application object in a headless window: the shell built on the first layout, section switches from row
// clicks, keys and accessibility, search filtering the sidebar only, the scale rebuild, the snapshot, and the search
// catalogue.
#include "app/settings_app.hpp"

#include "actions/catalogue/catalogue.hpp"
#include "actions/payloads/accounts.hpp"
#include "actions/payloads/codec.hpp"
#include "actions/payloads/operations.hpp"
#include "actions/set_setting.hpp"
#include "app/pane_factory.hpp"
#include "app/search.hpp"
#include "app/snapshot.hpp"
#include "app/test_support.hpp"
#include "battery_history/battery_history.hpp"
#include "page_doc/page_doc.hpp"
#include "prefs/window_appearance.hpp"
#include "sidebar/sidebar.hpp"
#include "system_ops/battery.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/search_provider.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

namespace settings::app {
namespace {

using ::testing::ElementsAre;

class AppWindow : public ::testing::Test {
protected:
    testing::PrivateHome home;
    page_doc::Document doc;
    std::unique_ptr<SettingsApp> app = SettingsApp::create();
    std::unique_ptr<vorn_ui::HeadlessWindow> window;

    void open(vorn_ui::WindowSize size = {1280, 800})
    {
        window = std::make_unique<vorn_ui::HeadlessWindow>(*app, doc, size);
        window->frame();
    }

    void click_text(std::string_view text)
    {
        const auto bounds = window->find_text_bounds(text);
        ASSERT_TRUE(bounds.has_value()) << text;
        window->click(bounds->x0 + 2, (bounds->y0 + bounds->y1) / 2);
    }

    [[nodiscard]] bool shows(std::string_view text) const { return window->find_text_bounds(text).has_value(); }

    [[nodiscard]] std::vector<std::string> listed_ids() const
    {
        std::optional<nlohmann::ordered_json> field;
        std::vector<std::string> ids;
        read_search_field(*app, field, ids);
        return ids;
    }
};

TEST_F(AppWindow, BeforeTheFirstLayoutThereIsNoShellAndEveryForwardingAnswerIsEmpty)
{
    EXPECT_EQ(app->shell(), nullptr);
    EXPECT_TRUE(app->children().empty());
    EXPECT_FALSE(app->needs_idle_sync());
    EXPECT_FALSE(app->needs_animation_frame());
    EXPECT_FALSE(app->layout_needs_measure());
    EXPECT_FALSE(app->take_structure_dirty());
    EXPECT_FALSE(app->is_narrow());
    EXPECT_EQ(app->selected(), Section::Network);
    const auto node = app->accessibility();
    ASSERT_TRUE(node.has_value());
    EXPECT_EQ(node->label, "Settings");
    EXPECT_EQ(node->detail, "settings.app");
    EXPECT_EQ(app->handled_action_ids().size(), 17U);
    EXPECT_EQ(app->handled_action_ids().front(), "settings.open-pane");
}

TEST_F(AppWindow, TheFirstFrameShowsTheSidebarAndTheNetworkSection)
{
    open({1280, 1300});  // tall enough for the whole sidebar
    ASSERT_NE(app->shell(), nullptr);
    EXPECT_THAT(app->children(), ElementsAre(app->shell()));
    EXPECT_TRUE(shows("CONNECTIVITY"));
    EXPECT_TRUE(shows("MAINTENANCE"));
    EXPECT_TRUE(shows("Wi-Fi, wired connections, and VPN"));
    EXPECT_FALSE(shows(kPageNotAvailable));
    EXPECT_NE(testing::find_widget(*app, [](const vorn_ui::Widget& w) { return w.widget_name() == "NetworkPane"; }),
              nullptr);
    EXPECT_EQ(listed_ids().size(), Section::kCount);
}

TEST_F(AppWindow, ARowClickSwitchesThePageAndTheSidebarSelection)
{
    open();
    click_text("Storage");
    EXPECT_EQ(app->selected(), Section::Storage);
    EXPECT_TRUE(shows("Apps, data, cache, and synced files"));
    EXPECT_FALSE(shows("Wi-Fi, wired connections, and VPN"));
    EXPECT_EQ(app->section_requests().get(), std::nullopt) << "the request is taken";
    const auto* selected = dynamic_cast<const sidebar::SidebarRow*>(testing::find_widget(*app, [](const auto& w) {
        const auto* row = dynamic_cast<const sidebar::SidebarRow*>(&w);
        return row != nullptr && row->selected();
    }));
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->section(), Section::Storage);
}

TEST_F(AppWindow, ASectionSwitchKeepsTheSidebarsScrollPosition)
{
    open();
    window->wheel(100, 600, 2000);  // to the end of the sidebar
    ASSERT_TRUE(shows("MAINTENANCE"));
    click_text("About");
    EXPECT_EQ(app->selected(), Section::About);
    EXPECT_TRUE(shows("Workspace identity"));
    EXPECT_TRUE(shows("MAINTENANCE")) << "the sidebar did not jump back to its top";
}

TEST_F(AppWindow, KeyboardAndAccessibilityActivationSwitchThePage)
{
    open();
    // Tab to a row in the sidebar, move on to the next one and activate it.
    for (int i = 0; i < 40 && (window->focused() == nullptr || window->focused()->widget_name() != "SidebarRow");
         ++i) {
        window->tab();
    }
    ASSERT_NE(window->focused(), nullptr);
    const auto* first = dynamic_cast<const sidebar::SidebarRow*>(window->focused());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->section(), Section::Network);
    window->key(vorn_ui::Key::Down);
    window->key(vorn_ui::Key::Enter);
    EXPECT_EQ(app->selected(), Section::Bluetooth);
    EXPECT_TRUE(shows("Pair and manage Bluetooth devices"));

    auto* power = const_cast<vorn_ui::Widget*>(testing::find_widget(
        *app, [](const vorn_ui::Widget& w) { return w.widget_name() == "SidebarRow" && w.label() == "Power"; }));
    ASSERT_NE(power, nullptr);
    EXPECT_TRUE(power->perform_action(vorn_ui::Action::activate(), {}));
    window->frame();
    EXPECT_EQ(app->selected(), Section::Power);
}

// What has the focus, by a name a failure message can show: a row's section title, a control's id, or the widget.
std::string focus_name(const vorn_ui::HeadlessWindow& window)
{
    const vorn_ui::Widget* focused = window.focused();
    if (focused == nullptr) {
        return "(nothing)";
    }
    if (const auto* row = dynamic_cast<const sidebar::SidebarRow*>(focused)) {
        return "row " + std::string(row->section().title());
    }
    return std::string(focused->widget_name()) + " " + std::string(focused->label().value_or(""));
}

constexpr vorn_ui::Modifiers kCtrl{.control = true};

TEST_F(AppWindow, KeyboardWalkSearchReturnOpensTheFirstResultAndTabGoesIntoThePage)
{
    open();
    window->key_char(U'f', kCtrl);
    EXPECT_EQ(focus_name(*window), "TextInput settings.search") << "Ctrl+F";
    window->type("appear");
    window->frame();
    EXPECT_THAT(listed_ids(), ElementsAre("appearance"));
    window->key(vorn_ui::Key::Enter);
    EXPECT_EQ(app->selected(), Section::Appearance);
    EXPECT_EQ(focus_name(*window), "row Appearance") << "the focus stays on the opened row";
    EXPECT_EQ(app->search_query(), "appear") << "the results stay listed";

    // Tab goes on into the page: the focus leaves the sidebar and lands in the content.
    window->tab();
    const vorn_ui::Widget* in_page = window->focused();
    ASSERT_NE(in_page, nullptr);
    EXPECT_EQ(dynamic_cast<const sidebar::SidebarRow*>(in_page), nullptr);
    EXPECT_TRUE(app->shell()->content()->reveal_descendant(in_page)) << focus_name(*window) << " is not in the page";

    // Return with a query that matches nothing opens nothing.
    window->key_char(U'f', kCtrl);
    window->key(vorn_ui::Key::Escape);
    window->type("zzz");
    window->frame();
    window->key(vorn_ui::Key::Enter);
    EXPECT_EQ(app->selected(), Section::Appearance);
}

TEST_F(AppWindow, KeyboardWalkDownFromTheSearchFieldEntersTheResultsAndEscapeClears)
{
    open();
    window->key_char(U'f', kCtrl);
    window->type("ai");
    window->frame();
    ASSERT_THAT(listed_ids(), ElementsAre("bluetooth", "default-apps", "external_accounts", "agent_models"));
    window->key(vorn_ui::Key::Down);
    EXPECT_EQ(focus_name(*window), "row Bluetooth");
    window->key(vorn_ui::Key::Down);
    window->key(vorn_ui::Key::Down);
    EXPECT_EQ(focus_name(*window), "row External Accounts");
    window->key(vorn_ui::Key::Space);
    EXPECT_EQ(app->selected(), Section::ExternalAccounts);
    EXPECT_EQ(focus_name(*window), "row External Accounts");

    // Back to the field: Escape clears the query at once, even with the text selected, and the full list returns.
    window->key_char(U'f', kCtrl);
    window->key_char(U'a', kCtrl);  // select all
    window->key(vorn_ui::Key::Escape);
    window->frame();
    EXPECT_EQ(app->search_text().get(), "");
    EXPECT_EQ(listed_ids().size(), Section::kCount);
    EXPECT_EQ(focus_name(*window), "TextInput settings.search");
    // Without a query, Down goes to the row of the selected section.
    window->key(vorn_ui::Key::Down);
    EXPECT_EQ(focus_name(*window), "row External Accounts");
}

TEST_F(AppWindow, KeyboardWalkTheSidebarIsOneTabStopAndTheFocusStaysOnAnOpenedRow)
{
    open();
    window->tab();
    EXPECT_EQ(focus_name(*window), "TextInput settings.search");
    window->tab();
    EXPECT_EQ(focus_name(*window), "row Network");
    window->key(vorn_ui::Key::End);
    EXPECT_EQ(focus_name(*window), "row About");
    window->key(vorn_ui::Key::Up);
    window->key(vorn_ui::Key::Enter);
    EXPECT_EQ(app->selected(), Section::Updates);
    EXPECT_EQ(focus_name(*window), "row Updates");
    // One more Tab leaves the sidebar for the page; Shift+Tab comes back to the opened row, not to another one.
    window->tab();
    EXPECT_EQ(dynamic_cast<const sidebar::SidebarRow*>(window->focused()), nullptr) << focus_name(*window);
    window->shift_tab();
    EXPECT_EQ(focus_name(*window), "row Updates");
    window->shift_tab();
    EXPECT_EQ(focus_name(*window), "TextInput settings.search");
    // A click on a row also leaves the focus on the opened row.
    click_text("About");
    EXPECT_EQ(app->selected(), Section::About);
    EXPECT_EQ(focus_name(*window), "row About");
}

TEST_F(AppWindow, NarrowCtrlFOpensTheNavigationOnTheSearchField)
{
    open({600, 800});
    ASSERT_TRUE(app->shell()->is_narrow());
    ASSERT_FALSE(app->shell()->nav_open());
    window->key_char(U'f', kCtrl);
    EXPECT_TRUE(app->shell()->nav_open());
    EXPECT_EQ(focus_name(*window), "TextInput settings.search");
}

TEST_F(AppWindow, SearchFiltersTheSidebarOnlyAndAnUnchangedTextRebuildsNothing)
{
    open();
    click_text("Sound");
    const vorn_ui::Widget* page = app->shell()->content();
    (void)app->search_text().publish("wifi");
    window->frame();
    EXPECT_EQ(app->search_query(), "wifi");
    EXPECT_THAT(listed_ids(), ElementsAre("network"));
    EXPECT_TRUE(shows("RESULTS"));
    EXPECT_EQ(app->selected(), Section::Sound);
    EXPECT_EQ(app->shell()->content(), page) << "searching keeps the page";

    const vorn_ui::Widget* nav = app->shell()->nav();
    window->frame();
    EXPECT_EQ(app->shell()->nav(), nav) << "no change, no rebuild";

    (void)app->search_text().publish(" wifi ");  // surrounding spaces are a change of the text, not of the matches
    window->frame();
    EXPECT_NE(app->shell()->nav(), nav);
    EXPECT_THAT(listed_ids(), ElementsAre("network"));

    (void)app->search_text().publish("zzz");
    window->frame();
    EXPECT_TRUE(listed_ids().empty());
    EXPECT_TRUE(shows("No settings match \u201Czzz\u201D"));

    (void)app->search_text().publish("");
    window->frame();
    EXPECT_EQ(listed_ids().size(), Section::kCount);
}

TEST_F(AppWindow, TypingIntoTheSearchFieldFiltersTheSidebar)
{
    open();
    const auto field = window->find_text_bounds("Search settings");
    ASSERT_TRUE(field.has_value()) << "the placeholder";
    window->click(field->x0 + 4, (field->y0 + field->y1) / 2);
    window->type("kernel");
    window->frame();
    EXPECT_EQ(app->search_text().get(), "kernel");
    EXPECT_THAT(listed_ids(), ElementsAre("about"));
    const auto snapshot = app->state_snapshot(doc);
    EXPECT_EQ((*snapshot)["ready"], true);
    EXPECT_EQ((*snapshot)["search_widget_text"], "kernel");
    EXPECT_EQ((*snapshot)["search_caret_byte"], 6);
    EXPECT_EQ((*snapshot)["search_focused"], true);
    EXPECT_EQ((*snapshot)["synchronized_search_query"], "kernel");
    EXPECT_EQ((*snapshot)["rendered_category_ids"], nlohmann::ordered_json::array({"about"}));
    // Escape clears the search field, and with it the filter.
    window->key(vorn_ui::Key::Escape);
    window->frame();
    EXPECT_EQ(listed_ids().size(), Section::kCount);
}

TEST_F(AppWindow, SelectingTheSelectedSectionKeepsThePageAndTwoRequestsApplyOnce)
{
    open();
    const vorn_ui::Widget* page = app->shell()->content();
    app->select_section(Section::Network);
    EXPECT_EQ(app->shell()->content(), page);

    (void)app->section_requests().publish(Section::Storage);
    (void)app->section_requests().publish(Section::Updates);
    window->frame();
    EXPECT_EQ(app->selected(), Section::Updates);
    EXPECT_TRUE(shows("Operating-system and firmware updates"));
    // Switching away and back builds a new page each time: the focus given to a control of the old page is gone
    // (comparing the pages' addresses would not do: the new page may be allocated where the old one was).
    const auto page_focus = [&]() -> const vorn_ui::Widget* {
        return testing::find_widget(*app->shell()->content(), [](const vorn_ui::Widget& w) { return w.is_focused(); });
    };
    for (int i = 0; i < 40 && page_focus() == nullptr; ++i) {
        window->tab();
    }
    ASSERT_NE(page_focus(), nullptr);
    app->select_section(Section::About);
    app->select_section(Section::Updates);
    EXPECT_EQ(page_focus(), nullptr);
}

// ---- Resource operations started through the application root ---------------------------------------------------

TEST_F(AppWindow, AnOpenPaneOperationThroughTheRootSwitchesTheSection)
{
    open();
    const auto payload = actions::encode_open_pane_payload("about");
    ASSERT_TRUE(payload.has_value()) << payload.error();
    const auto id = vorn_ui::OperationId::from_parts(0xa11, 1);
    const auto answer = app->start_resource_operation_with_document(id, vorn_ui::OperationClass::Presentation,
                                                                     actions::open_pane_kind, *payload, doc);
    EXPECT_EQ(answer.kind, vorn_ui::ResourceOperationStart::Kind::Completed) << answer.message;
    EXPECT_EQ(app->selected(), Section::About);
    window->frame();
    EXPECT_TRUE(shows("Workspace identity"));
    EXPECT_FALSE(shows("Wi-Fi, wired connections, and VPN"));
}

TEST_F(AppWindow, SwitchingTheSectionFailsTheOperationItsPageWasRunning)
{
    open();
    const auto id = vorn_ui::OperationId::from_parts(0xa11, 2);
    const auto answer = app->start_resource_operation_with_document(
        id, vorn_ui::OperationClass::Effect, actions::UserOperation::kind,
        R"({"SetAdmin":{"username":"ada","admin":true}})", doc);
    ASSERT_EQ(answer, vorn_ui::ResourceOperationStart::pending()) << answer.message;
    // The runner moved the window to the page that owns the operation.
    EXPECT_EQ(app->selected(), Section::Users);
    EXPECT_FALSE(app->poll_resource_operation(id, false, {}).has_value());

    app->select_section(Section::About);
    const auto report = app->poll_resource_operation(id, false, {});
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->kind, vorn_ui::OperationCompletion::Kind::Failed);
    EXPECT_EQ(report->message, "the page was closed before the operation finished");
    // The runner is free again: the next operation is accepted.
    EXPECT_FALSE(app->app_operations().runner().in_flight());
}

TEST_F(AppWindow, OnlyAScaleChangeRebuildsTheShell)
{
    open();
    const vorn_ui::AppShell* shell = app->shell();
    window->frame();
    EXPECT_EQ(app->shell(), shell);
    window->set_theme(vorn_ui::Theme::dark().with_ui_scale(1.25f));
    window->frame();
    EXPECT_NE(app->shell(), shell);
    EXPECT_FLOAT_EQ(app->ui_scale(), 1.25f);
    EXPECT_TRUE(shows("CONNECTIVITY"));
}

TEST_F(AppWindow, NarrowWindowsUseTheShellsNarrowForm)
{
    open({600, 800});
    EXPECT_TRUE(app->is_narrow());
    const auto snapshot = app->state_snapshot(doc);
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_EQ((*snapshot)["narrow"], true);
    EXPECT_EQ((*snapshot)["sidebar_open"], false);

    SettingsAppOptions options;
    options.window_width = 600.0f;
    EXPECT_TRUE(SettingsApp(options).is_narrow());
    options.window_width = 1000.0f;
    EXPECT_FALSE(SettingsApp(options).is_narrow());
}

TEST_F(AppWindow, SnapshotMembers)
{
    const auto before = app->state_snapshot(doc);
    ASSERT_TRUE(before.has_value());
    std::vector<std::string> keys;
    for (const auto& [key, value] : before->items()) {
        keys.push_back(key);
    }
    EXPECT_THAT(keys, ElementsAre("app", "search_id", "ready", "local_search_text", "synchronized_search_query",
                                  "search_widget_text", "search_caret_byte", "search_focused", "search_rect",
                                  "root_rect", "selected_category", "rendered_result_count", "rendered_category_ids",
                                  "narrow", "sidebar_open", "document_root", "document_actor",
                                  "document_witness_kind", "effective_document_heads", "original_pending_ops"));
    EXPECT_EQ((*before)["app"], "so.vorn.settings");
    EXPECT_EQ((*before)["search_id"], "settings.search");
    EXPECT_EQ((*before)["ready"], false);
    EXPECT_TRUE((*before)["search_widget_text"].is_null());
    EXPECT_TRUE((*before)["search_rect"].is_null());
    EXPECT_EQ((*before)["rendered_result_count"], 0);
    EXPECT_EQ((*before)["root_rect"], nlohmann::ordered_json::array({0.0, 0.0, 0.0, 0.0}));
    EXPECT_EQ((*before)["selected_category"], "network");
    EXPECT_EQ((*before)["sidebar_open"], false);
    EXPECT_EQ((*before)["document_root"], "Root");
    EXPECT_EQ((*before)["document_actor"], doc.actor_id().to_hex_string());
    EXPECT_EQ((*before)["document_witness_kind"], "effective_heads_on_disposable_clone");

    open();
    doc.put("display.brightness", 0.5);
    doc.put("network.wifi", true);
    (void)app->search_text().publish("storage");
    const auto after = app->state_snapshot(doc);
    EXPECT_EQ((*after)["root_rect"], nlohmann::ordered_json::array({0.0, 0.0, 1280.0, 800.0}));
    EXPECT_EQ((*after)["local_search_text"], "storage");
    EXPECT_EQ((*after)["synchronized_search_query"], "");
    EXPECT_EQ((*after)["rendered_result_count"], 22);
    EXPECT_EQ((*after)["sidebar_open"], true);
    EXPECT_EQ((*after)["original_pending_ops"], 2) << "the snapshot commits nothing";
    EXPECT_EQ(doc.pending_ops(), 2U);
    EXPECT_EQ((*after)["effective_document_heads"].size(), 1U);

    window->frame();
    const auto synced = app->state_snapshot(doc);
    EXPECT_EQ((*synced)["synchronized_search_query"], "storage");
    EXPECT_EQ((*synced)["rendered_category_ids"], nlohmann::ordered_json::array({"storage"}));
}

TEST(SettingsSearch, TheCatalogueHoldsOneEntryPerSectionInSidebarOrder)
{
    const vorn_ui::SearchCatalog catalog = settings_search_catalog();
    const auto entries = catalog.entries();
    ASSERT_EQ(entries.size(), Section::kCount);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Section section = sidebar_order()[i];
        EXPECT_EQ(entries[i].source, "Personal Settings");
        EXPECT_EQ(entries[i].title, section.title());
        EXPECT_EQ(entries[i].description, std::string(section.description()));
        EXPECT_EQ(entries[i].icon, section.icon());
        EXPECT_EQ(vorn_ui::search_entry_action(entries[i].id),
                  actions::catalogue::section_open_action(section));
    }
}

TEST(SettingsSearch, TheProviderFindsSectionsAndOpensThem)
{
    testing::PrivateHome home;
    const SettingsApp app;
    auto providers = app.search_providers();
    ASSERT_EQ(providers.size(), 1U);
    EXPECT_EQ(providers[0]->provider_name(), "Personal Settings");
    const auto* provider = dynamic_cast<const SettingsSearchProvider*>(providers[0].get());
    ASSERT_NE(provider, nullptr);
    EXPECT_TRUE(provider->catalog().shares_state_with(app.catalog()));
    EXPECT_TRUE(provider->catalog().shares_state_with(
        dynamic_cast<const SettingsSearchProvider&>(*app.search_providers()[0]).catalog()));

    const auto found = provider->search("monitor");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].title, "Displays");
    const auto open = provider->action_for(found[0]);
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(open->id, "settings.section:displays");

    vorn_ui::SearchEntry other = found[0];
    other.id = "not an action";
    EXPECT_FALSE(provider->action_for(other).has_value());
    EXPECT_LE(provider->search_with_limit("a", 100000).size(), kSearchLimit);
    EXPECT_EQ(provider->search_with_limit("s", 2).size(), 2U);
    EXPECT_TRUE(provider->cursor_is_current(provider->query_page("sound", 0, 10, 10).cursor));
}

}  // namespace
}  // namespace settings::app

namespace settings::app {
namespace {

TEST_F(AppWindow, AThemeSetByAutomationOnTheAppearancePageRedrawsTheWholeWindow)
{
    open();
    app->select_section(Section::Appearance);
    window->frame();
    EXPECT_TRUE(shows("Applied theme"));
    ASSERT_TRUE(actions::apply_settings_action(actions::string_pair("appearance.theme", "Light"), doc));
    ASSERT_TRUE(actions::apply_settings_action(actions::string_pair("appearance.ui_scale", "125%"), doc));
    window->frame();
    window->frame();
    EXPECT_FLOAT_EQ(app->ui_scale(), 1.25f);  // the shell was built anew at the new scale
    EXPECT_TRUE(window->pixel(1275, 795).near(vorn_ui::Theme::light().background, 6));

    // Another page keeps the look.
    app->select_section(Section::About);
    window->frame();
    EXPECT_TRUE(window->pixel(1275, 795).near(vorn_ui::Theme::light().background, 6));
    EXPECT_FLOAT_EQ(app->ui_scale(), 1.25f);
    prefs::set_window_appearance({});  // the next test starts from the default look
}

TEST_F(AppWindow, HighContrastDrawsTheWholeWindowInTheHighContrastPaletteOfTheThemesLightness)
{
    open();
    struct Case {
        std::string_view theme;
        vorn_ui::Theme expected;
    };
    for (const Case& c : {Case{"Light", vorn_ui::Theme::high_contrast_light()},
                          Case{"Nord", vorn_ui::Theme::high_contrast_theme()}}) {
        SCOPED_TRACE(c.theme);
        prefs::AppearancePrefs appearance;
        appearance.theme = std::string(c.theme);
        appearance.high_contrast = true;
        prefs::set_window_appearance(appearance);
        window->frame();
        const vorn_ui::Theme& drawn = window->theme();
        EXPECT_TRUE(drawn.high_contrast);
        EXPECT_EQ(drawn.background, c.expected.background);
        EXPECT_EQ(drawn.text_secondary, c.expected.text_secondary);
        EXPECT_GE(vorn_ui::contrast_ratio(drawn.text_secondary, drawn.background), 7.0);
        EXPECT_TRUE(window->pixel(1275, 795).near(c.expected.background, 6));
    }
    prefs::set_window_appearance({});  // the next test starts from the default look
}

// The switch's checked state in the accessibility dump (absent when no such switch is shown).
std::optional<bool> switch_state(const nlohmann::ordered_json& node, std::string_view label)
{
    if (node.value("role", std::string()) == "toggle" && node.value("label", std::string()) == label &&
        node.contains("states")) {
        const auto& states = node["states"];
        return std::ranges::find(states, "checked") != states.end();
    }
    if (node.contains("children")) {
        for (const auto& child : node["children"]) {
            if (const auto state = switch_state(child, label)) {
                return state;
            }
        }
    }
    return std::nullopt;
}

TEST_F(AppWindow, AnInputOperationFromAutomationShowsOnTheOpenMouseAndKeyboardPage)
{
    open();
    app->select_section(Section::MouseKeyboard);
    window->frame();
    ASSERT_EQ(switch_state(window->accessibility_json(), "Tap to click"), true);

    const auto id = vorn_ui::OperationId::from_parts(0xa11, 3);
    const auto answer = app->start_resource_operation_with_document(
        id, vorn_ui::OperationClass::Effect, actions::InputOperation::kind, R"({"SetTapToClick":{"enabled":false}})",
        doc);
    ASSERT_EQ(answer, vorn_ui::ResourceOperationStart::pending()) << answer.message;
    const auto report = app->poll_resource_operation(id, false, {});
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->kind, vorn_ui::OperationCompletion::Kind::Completed) << report->message;

    window->frame();
    EXPECT_EQ(switch_state(window->accessibility_json(), "Tap to click"), false);
}

TEST(BatteryHistory, TheApplicationSamplesTheBatteryWhileItLives)
{
    const testing::PrivateHome home;
    auto battery = std::make_shared<system_ops::battery::FakeBattery>(
        system_ops::battery::FakeBattery::State{.info = {.present = true, .percent = 57}});
    const system_ops::ScopedCurrent<system_ops::battery::BatteryService> current(battery);
    SettingsAppOptions options;
    options.sample_battery = true;
    auto app = SettingsApp::create(std::move(options));
    const auto file = home.path() / "state" / "vorn" / "battery-history.json";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    app.reset();
    const auto samples = battery_history::read_history(file);
    ASSERT_TRUE(samples.has_value()) << samples.error();
    ASSERT_EQ(samples->size(), 1U);
    EXPECT_EQ(samples->front().charge, 57U);
}

}  // namespace
}  // namespace settings::app
