#pragma once
// SettingsApp: the application object and the root widget of the window. It owns the shell (sidebar, search field,
// content), the selected section, the cells shared with rows, the search field and the pages, the account list and
// paths, the one account probe and the settings search catalogue.
//
// The shell is built on the first layout and rebuilt (fresh sidebar, search field and page) only when the theme's
// ui scale changes. Each sync takes a pending section request from a sidebar row, applies a changed search text to
// the sidebar (the page stays), and syncs the shell. Selecting a section rebuilds the sidebar and builds the page
// anew through the pane factory.
//
// Keys of the window (handled before the shell sees them): Ctrl+F puts the focus into the search field (opening
// the navigation in the narrow form); in the search field Enter opens the first section the query lists, Down moves
// into the sidebar's rows and Escape clears the query. A section opened from the sidebar or the search field leaves
// the focus on its row in the new sidebar, so that Tab goes on into the page.
//
// The application's resource operations (opening a page, the device-local operations, account checks, ...) go to
// its ApplicationOperations, which owns the operation cells the pages share; every page replacement is reported to
// it, so that an operation the old page was running fails instead of hanging.
//
// The resource tree (the whole-tree and address requests, the toolkit's check of the bound controls, the page
// bindings) is built on the UI thread from a snapshot of the machine that a worker thread takes (SnapshotPlatform,
// app/platform_snapshot.hpp): the application puts it in place of the catalogue's current platform for its
// lifetime, asks for a new one when an operation has finished, and reports a structure change when a newer snapshot
// arrived than one the window was built from, so that the controls are checked again.
//
//   auto app = SettingsApp::create();                       // what the launcher's root factory returns
//   vorn_ui::HeadlessWindow window(*app, doc, {1280, 800});
//   window.frame();                                         // builds the shell
//   app->select_section(Section::About);

#include "accounts/paths.hpp"
#include "accounts/probe.hpp"
#include "app/cells.hpp"
#include "app/pane_factory.hpp"
#include "operations/app_operations.hpp"
#include "sections/section.hpp"
#include "vorn_ui/search/search_catalog.hpp"
#include "vorn_ui/widget.hpp"
#include "vorn_ui/widgets/app_shell.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace settings::actions::catalogue {
class CataloguePlatform;
}

namespace battery_history {
class RunningSampler;
}

namespace settings::app {

class SnapshotPlatform;

inline constexpr std::string_view kSearchFieldId = "settings.search";
inline constexpr std::string_view kSearchPlaceholder = "Search settings";
inline constexpr float kSidebarWidth = 264.0f;
inline constexpr float kNarrowBreakpoint = 720.0f;

// Construction options; the program itself uses the defaults.
struct SettingsAppOptions {
    accounts::AccountPaths account_paths;                          // no root: the registry's default root
    std::optional<accounts::AccountStore> account_store_override;  // External Accounts shows this store
    std::optional<float> window_width;                              // known before the shell exists
    bool sample_display = false;                                    // Displays from its sample data
    std::optional<bool> narrow_screen;                              // none or true: narrow-screen mode on
    std::optional<std::uint8_t> account_form;                       // External Accounts opens its add form
    std::shared_ptr<const accounts::AccountProbe> account_probe;    // none: the application's own
    // What the resource tree's snapshot of the machine is taken from; none: the catalogue's current platform.
    std::shared_ptr<actions::catalogue::CataloguePlatform> catalogue_platform;
    // Samples the battery's charge for the Power page's history while the application lives (the program does;
    // tests leave it off so that nothing reaches the machine's state folder).
    bool sample_battery = false;
};

// The search field of the sidebar, bound to the search-text cell (id "settings.search", placeholder "Search
// settings", search kind, text size 13).
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> make_search_field(const SearchTextCell& search_text);

class SettingsApp final : public vorn_ui::Widget, private operations::AppOperationsHost {
public:
    VORN_WIDGET_IDENTITY("settings::app::SettingsApp", "SettingsApp")

    SettingsApp() : SettingsApp(SettingsAppOptions{}) {}
    explicit SettingsApp(SettingsAppOptions options);
    ~SettingsApp() override;
    SettingsApp(const SettingsApp&) = delete;
    SettingsApp& operator=(const SettingsApp&) = delete;

    [[nodiscard]] static std::unique_ptr<SettingsApp> create(SettingsAppOptions options = {});

    // Switches to `section` (nothing when it is already selected): rebuilds sidebar and page.
    void select_section(Section section) override;
    void reload_accounts() override;
    [[nodiscard]] bool is_narrow() const;

    [[nodiscard]] Section selected() const { return selected_; }
    [[nodiscard]] const std::string& search_query() const { return search_query_; }
    [[nodiscard]] const std::vector<accounts::Account>& accounts() const { return accounts_; }
    [[nodiscard]] vorn_ui::AppShell* shell() const { return shell_.get(); }
    [[nodiscard]] const SectionRequestCell& section_requests() const { return section_requests_; }
    [[nodiscard]] const SearchTextCell& search_text() const { return search_text_; }
    [[nodiscard]] const OperationRequestCell& operation_requests() const
    {
        return operations_.runner().operation_requests();
    }
    [[nodiscard]] const OperationStatusCell& operation_status() const { return operations_.runner().operation_status(); }
    [[nodiscard]] const AccountStateCell& account_state() const { return operations_.account_commands(); }
    [[nodiscard]] const MeshStateCell& mesh_state() const { return operations_.runner().mesh_requests(); }
    [[nodiscard]] const std::shared_ptr<const accounts::AccountProbe>& account_probe() const
    {
        return operations_.probe();
    }
    [[nodiscard]] const operations::ApplicationOperations& app_operations() const { return operations_; }
    [[nodiscard]] const vorn_ui::SearchCatalog& catalog() const { return search_catalog_; }
    [[nodiscard]] float ui_scale() const { return ui_scale_; }
    // The snapshot of the machine the resource tree is built from.
    [[nodiscard]] SnapshotPlatform& platform_snapshot() const { return *platform_snapshot_; }

    // The content widget of the selected section (what the shell shows beside the sidebar).
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_pane() const;

    // ---- Widget ----
    [[nodiscard]] std::optional<nlohmann::ordered_json> state_snapshot(const page_doc::Document& doc) const override;
    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    // The stored appearance (theme, scales, contrast, motion), as the Appearance and Accessibility pages last saved
    // it: the whole window follows it, not only the page that changed it.
    [[nodiscard]] std::optional<vorn_ui::Theme> theme_override() const override;
    vorn_ui::NodeId build_layout(flex_layout::Tree& tree, const vorn_ui::StyleContext& style,
                                 vorn_ui::NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x,
                      double parent_y) override;
    void draw(vorn_ui::DrawContext& ctx) const override;
    void handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx) override;
    [[nodiscard]] std::vector<const vorn_ui::Widget*> children() const override;
    [[nodiscard]] std::vector<vorn_ui::Widget*> children_mut() override;
    [[nodiscard]] std::vector<std::string_view> handled_action_ids() const override;
    [[nodiscard]] vorn_ui::Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<vorn_ui::AccessNode> accessibility() const override;
    [[nodiscard]] bool needs_idle_sync() const override;
    [[nodiscard]] std::vector<vorn_actions::Resource> resources(const page_doc::Document& doc) const override;
    [[nodiscard]] std::optional<vorn_actions::Resource> resolve_resource(const page_doc::Document& doc,
                                                                         std::string_view address) const override;
    [[nodiscard]] std::vector<std::unique_ptr<vorn_ui::SearchProvider>> search_providers() const override;
    std::optional<std::string> find_in_descendants() override;
    [[nodiscard]] bool needs_animation_frame() const override;
    bool take_structure_dirty() override;
    [[nodiscard]] bool layout_needs_measure() const override;
    void draw_with_presence(vorn_ui::DrawContext& ctx) const override;
    vorn_ui::ResourceOperationAnswer handle_resource_operation(vorn_ui::OperationClass op_class,
                                                               std::string_view kind, std::string_view payload,
                                                               page_doc::Document& doc) override;
    vorn_ui::ResourceOperationStart start_resource_operation_with_document(vorn_ui::OperationId id,
                                                                           vorn_ui::OperationClass op_class,
                                                                           std::string_view kind,
                                                                           std::string_view payload,
                                                                           page_doc::Document& doc) override;
    std::optional<vorn_ui::OperationCompletion> poll_resource_operation(vorn_ui::OperationId id, bool cancel,
                                                                        vorn_ui::WordPair extra) override;

private:
    // ---- AppOperationsHost ----
    void refresh_page() override;

    void set_nav_and_content();
    // Window keys (see above); true when the key was taken.
    bool handle_window_key(const vorn_ui::KeyDown& key);
    // Gives the focus to one widget of the tree (every other one loses it).
    void move_focus(vorn_ui::Widget& target);
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_nav() const;
    [[nodiscard]] std::optional<float> region_width() const;

    // The snapshot platform in place while this application lives, and what it replaced.
    std::shared_ptr<SnapshotPlatform> platform_snapshot_;
    std::shared_ptr<actions::catalogue::CataloguePlatform> replaced_platform_;
    std::unique_ptr<battery_history::RunningSampler> battery_sampler_;
    std::unique_ptr<vorn_ui::AppShell> shell_;
    std::string search_query_;
    std::vector<accounts::Account> accounts_;
    accounts::AccountPaths account_paths_;
    std::optional<accounts::AccountStore> account_store_override_;
    std::optional<float> window_width_;
    SectionRequestCell section_requests_;
    SearchTextCell search_text_;
    vorn_ui::SearchCatalog search_catalog_;
    // Owns the operation, status, mesh and account-command cells the pages share.
    operations::ApplicationOperations operations_;
    vorn_ui::Rect rect_{};
    vorn_ui::NodeId node_{};
    std::optional<double> nav_offset_;  // the sidebar's scroll offset to restore after a section switch
    float ui_scale_ = 1.0f;
    bool structure_dirty_ = false;
    bool focus_opened_row_ = false;  // the next section switch leaves the focus on the opened row
    bool sample_display_ = false;
    std::optional<bool> narrow_screen_;
    std::optional<std::uint8_t> account_form_;
    Section selected_ = Section::Network;
};

}  // namespace settings::app
