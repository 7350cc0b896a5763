#include "app/settings_app.hpp"

#include "actions/catalogue/catalogue.hpp"
#include "actions/catalogue/platform.hpp"
#include "app/platform_snapshot.hpp"
#include "app/search.hpp"
#include "battery_history/battery_history.hpp"
#include "panes/appearance/appearance_model.hpp"
#include "prefs/window_appearance.hpp"
#include "sidebar/sidebar.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/search_provider.hpp"
#include "vorn_ui/widgets/scrollable.hpp"

#include <bit>
#include <cmath>

namespace settings::app {

namespace {

float scale_factor(float ui_scale) { return std::isnan(ui_scale) ? 1.0f : std::max(ui_scale, 1.0f); }

std::optional<std::string> find_depth_first(vorn_ui::Widget& widget)
{
    if (auto answer = widget.find_in_descendants()) {
        return answer;
    }
    for (vorn_ui::Widget* child : widget.children_mut()) {
        if (auto answer = find_depth_first(*child)) {
            return answer;
        }
    }
    return std::nullopt;
}

// The sidebar's scroll view (the navigation is a container holding it), or null.
vorn_ui::Scrollable* sidebar_scroll(vorn_ui::Widget* nav)
{
    if (nav == nullptr) {
        return nullptr;
    }
    for (vorn_ui::Widget* child : nav->children_mut()) {
        if (auto* scroll = dynamic_cast<vorn_ui::Scrollable*>(child)) {
            return scroll;
        }
    }
    return nullptr;
}

// The snapshot of what `platform` answers (none: the current platform; a snapshot: what that one is taken from).
std::shared_ptr<SnapshotPlatform> snapshot_of(std::shared_ptr<actions::catalogue::CataloguePlatform> platform)
{
    if (!platform) {
        platform = actions::catalogue::current_platform();
    }
    if (const auto* snapshot = dynamic_cast<const SnapshotPlatform*>(platform.get())) {
        platform = snapshot->source();
    }
    return std::make_shared<SnapshotPlatform>(std::move(platform));
}

// An account change that a previous run left unfinished is settled before anything reads the stores.
accounts::AccountPaths recovered(accounts::AccountPaths paths)
{
    paths.recover_interrupted_mutation();
    return paths;
}

void clear_focus(vorn_ui::Widget& widget)
{
    if (widget.is_focused()) {
        widget.set_focus(false);
    }
    for (vorn_ui::Widget* child : widget.children_mut()) {
        clear_focus(*child);
    }
}

bool control_only(const vorn_ui::Modifiers& m) { return m.control && !m.shift && !m.alt && !m.super; }

}  // namespace

SettingsApp::SettingsApp(SettingsAppOptions options)
    : platform_snapshot_(snapshot_of(std::move(options.catalogue_platform))),
      replaced_platform_(actions::catalogue::replace_current_platform(platform_snapshot_)),
      account_paths_(recovered(std::move(options.account_paths))),
      account_store_override_(std::move(options.account_store_override)),
      window_width_(options.window_width),
      section_requests_(std::nullopt),
      search_text_(std::string()),
      search_catalog_(settings_search_catalog()),
      operations_(*this, operations::AppOperationsOptions{.account_paths = account_paths_,
                                                          .probe = std::move(options.account_probe)}),
      sample_display_(options.sample_display),
      narrow_screen_(options.narrow_screen),
      account_form_(options.account_form)
{
    // The store itself is not kept: the External Accounts page loads its own.
    accounts_ = account_paths_.load_store().accounts;
    if (options.sample_battery) {
        if (auto sampler = battery_history::system_sampler()) {
            battery_sampler_ = battery_history::start_sampler(std::move(*sampler));
        }
    }
}

SettingsApp::~SettingsApp()
{
    // Nothing asks the snapshot once it is out of place; its worker ends before the pages and cells go.
    (void)actions::catalogue::replace_current_platform_if(platform_snapshot_.get(), std::move(replaced_platform_));
    platform_snapshot_->stop();
}

std::unique_ptr<SettingsApp> SettingsApp::create(SettingsAppOptions options)
{
    return std::make_unique<SettingsApp>(std::move(options));
}

std::unique_ptr<vorn_ui::Widget> SettingsApp::build_nav() const
{
    return sidebar::build_nav(selected_, search_query_, section_requests_);
}

void SettingsApp::select_section(Section section)
{
    if (section == selected_) {
        return;
    }
    selected_ = section;
    structure_dirty_ = true;
    set_nav_and_content();
    operations_.page_replaced();
    if (shell_) {
        shell_->notify_selection();
    }
}

void SettingsApp::refresh_page()
{
    structure_dirty_ = true;
    set_nav_and_content();
    operations_.page_replaced();
}

void SettingsApp::set_nav_and_content()
{
    auto nav = build_nav();
    auto content = build_pane();
    if (shell_) {
        // The new sidebar lists the same rows: it keeps the place the user scrolled to (applied once it is laid
        // out, since a scroll view clamps its offset to its content).
        if (const vorn_ui::Scrollable* old_scroll = sidebar_scroll(shell_->nav())) {
            nav_offset_ = old_scroll->scroll_offset();
        }
        shell_->set_nav(std::move(nav));
        shell_->set_content(std::move(content));
    }
}

void SettingsApp::reload_accounts() { accounts_ = account_paths_.load_store().accounts; }

bool SettingsApp::is_narrow() const
{
    if (shell_) {
        return shell_->is_narrow();
    }
    if (window_width_) {
        return scale_factor(ui_scale_) * kNarrowBreakpoint > *window_width_;
    }
    return false;
}

std::optional<float> SettingsApp::region_width() const
{
    float width = 0.0f;
    if (shell_ && shell_->content_rect().width() > 0.0) {
        width = static_cast<float>(shell_->content_rect().width());
    } else if (window_width_) {
        width = is_narrow() ? *window_width_
                            : std::max(*window_width_ - kSidebarWidth * scale_factor(ui_scale_), 0.0f);
    } else {
        return std::nullopt;
    }
    return std::max(width - 72.0f, 0.0f);
}

std::unique_ptr<vorn_ui::Widget> SettingsApp::build_pane() const
{
    const PaneContext context{
        .operation_requests = operation_requests(),
        .operation_status = operation_status(),
        .mesh_state = mesh_state(),
        .account_state = account_state(),
        .account_probe = account_probe(),
        .account_paths = account_paths_,
        .account_store_override = account_store_override_,
        .account_form = account_form_,
        .sample_display = sample_display_,
        .region_width = selected_ == Section::RegionFormats ? region_width() : std::nullopt,
    };
    return build_content(selected_, context);
}

// ---- Widget ------------------------------------------------------------------------------------------------------

std::optional<vorn_ui::Theme> SettingsApp::theme_override() const
{
    // The default appearance leaves the window's own theme in force.
    const prefs::AppearancePrefs appearance = prefs::window_appearance();
    if (appearance == prefs::AppearancePrefs{}) {
        return std::nullopt;
    }
    vorn_ui::Theme theme = panes::appearance::window_theme(appearance);
    if (theme.high_contrast) {
        // The high-contrast palette of the chosen theme's lightness: every text at 7:1 or more, not only brighter
        // outlines on the ordinary palette.
        theme = std::move(theme).with_high_contrast();
    }
    return theme;
}

void SettingsApp::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    if (const std::optional<Section> request = section_requests_.get()) {
        (void)section_requests_.publish(std::nullopt);
        if (*request != selected_) {
            ctx.changed = true;
        }
        // Opened from the sidebar by key or pointer (a row has the focus) or from the search field: the focus
        // stays with the opened section's row in the sidebar built for it.
        const bool keep_focus = std::exchange(focus_opened_row_, false) ||
                                (shell_ && shell_->nav() != nullptr && sidebar::focused_row(*shell_->nav()) != nullptr);
        select_section(*request);
        // (The narrow form hides the sidebar once a section is chosen: there the page is what comes next.)
        if (keep_focus && shell_ && shell_->nav() != nullptr && !shell_->is_narrow()) {
            if (sidebar::SidebarRow* row = sidebar::row_of(*shell_->nav(), *request)) {
                clear_focus(*shell_);
                sidebar::focus_row(*shell_->nav(), *row, /*reveal=*/false);
                ctx.changed = true;
            }
        }
    }
    std::string text = search_text_.get();
    if (text != search_query_) {
        search_query_ = std::move(text);
        structure_dirty_ = true;
        ctx.changed = true;
        if (shell_) {
            shell_->set_nav(build_nav());
        }
    }
    if (shell_) {
        shell_->sync(doc, ctx);
    }
}

vorn_ui::NodeId SettingsApp::build_layout(flex_layout::Tree& tree, const vorn_ui::StyleContext& style,
                                          vorn_ui::NodeWidgetMap& widgets)
{
    const float scale = style.ui_scale();
    if (!shell_ || std::bit_cast<std::uint32_t>(scale) != std::bit_cast<std::uint32_t>(ui_scale_)) {
        const bool replaces_page = shell_ != nullptr;
        ui_scale_ = scale;
        auto shell = vorn_ui::AppShell(build_nav(), build_pane());
        if (auto field = make_search_field(search_text_)) {
            shell = std::move(shell).with_search(std::move(field));
        }
        shell = std::move(shell)
                    .with_sidebar_width(kSidebarWidth)
                    .with_breakpoint(kNarrowBreakpoint)
                    .with_narrow_screen(narrow_screen_.value_or(true));
        if (window_width_) {
            shell = std::move(shell).with_window_width(*window_width_);
        }
        shell_ = std::make_unique<vorn_ui::AppShell>(std::move(shell));
        structure_dirty_ = true;
        if (replaces_page) {
            operations_.page_replaced();
        }
    }
    const vorn_ui::NodeId shell_node = shell_->build_layout(tree, style, widgets);
    flex_layout::Style own;
    own.width = flex_layout::Dimension::percent(1.0f);
    own.height = flex_layout::Dimension::percent(1.0f);
    own.direction = flex_layout::FlexDirection::Column;
    const std::array<vorn_ui::NodeId, 1> kids{shell_node};
    node_ = tree.new_with_children(own, kids);
    widgets.insert(node_, *this);
    return node_;
}

void SettingsApp::apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x,
                               double parent_y)
{
    rect_ = vorn_ui::rect_from_layout(tree, node, parent_x, parent_y);
    if (shell_) {
        const auto kids = tree.children(node);
        if (!kids.empty()) {
            shell_->apply_layout(tree, kids.front(), rect_.x0, rect_.y0);
            if (const auto offset = std::exchange(nav_offset_, std::nullopt)) {
                vorn_ui::Scrollable* scroll = sidebar_scroll(shell_->nav());
                if (scroll != nullptr && scroll->scroll_to(*offset)) {
                    shell_->apply_layout(tree, kids.front(), rect_.x0, rect_.y0);
                }
            }
        }
    }
}

void SettingsApp::draw(vorn_ui::DrawContext& ctx) const
{
    if (shell_) {
        shell_->draw(ctx);
    }
}

void SettingsApp::handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx)
{
    if (!shell_ || ctx.tree == nullptr) {
        return;
    }
    const auto kids = ctx.tree->children(ctx.node);
    if (kids.empty()) {
        return;
    }
    if (const auto* key = event.get<vorn_ui::KeyDown>(); key != nullptr && !ctx.handled && handle_window_key(*key)) {
        ctx.handled = true;
        ctx.changed = true;
        return;
    }
    const vorn_ui::NodeId own = ctx.node;
    ctx.node = kids.front();
    shell_->handle_event(event, ctx);
    ctx.node = own;
}

void SettingsApp::move_focus(vorn_ui::Widget& target)
{
    clear_focus(*this);
    target.set_focus(true);
    (void)reveal_descendant(&target);
}

bool SettingsApp::handle_window_key(const vorn_ui::KeyDown& key)
{
    vorn_ui::Widget* search = shell_->search();
    vorn_ui::Widget* nav = shell_->nav();
    if (search == nullptr || nav == nullptr) {
        return false;
    }
    if (key.key == vorn_ui::Key::Character && (key.character == U'f' || key.character == U'F') &&
        control_only(key.modifiers)) {
        if (shell_->is_narrow() && !shell_->nav_open()) {
            shell_->set_nav_open(true);
            structure_dirty_ = true;
        }
        move_focus(*search);
        return true;
    }
    if (!search->is_focused() || key.modifiers.any()) {
        return false;
    }
    const std::string query = search_text_.get();
    const std::string_view trimmed = trim_query(query);
    switch (key.key) {
    case vorn_ui::Key::Enter: {
        if (trimmed.empty()) {
            return false;
        }
        for (const Section section : sidebar_order()) {
            if (section.matches(trimmed)) {
                (void)section_requests_.publish(section);
                focus_opened_row_ = true;
                return true;
            }
        }
        return false;  // nothing matches: the sidebar already says so
    }
    case vorn_ui::Key::Down: {
        const std::vector<sidebar::SidebarRow*> rows = sidebar::rows_of(*nav);
        if (rows.empty()) {
            return false;
        }
        // Into the results: the first of them; without a query, the row the sidebar's Tab stop is on.
        sidebar::SidebarRow* target = rows.front();
        if (trimmed.empty()) {
            for (sidebar::SidebarRow* row : rows) {
                if (row->tab_stop()) {
                    target = row;
                }
            }
        }
        clear_focus(*this);
        sidebar::focus_row(*nav, *target);
        return true;
    }
    case vorn_ui::Key::Escape:
        if (query.empty()) {
            return false;  // the narrow shell closes its navigation
        }
        (void)search_text_.publish(std::string());
        return true;
    default: return false;
    }
}

std::vector<const vorn_ui::Widget*> SettingsApp::children() const
{
    if (shell_) {
        return {shell_.get()};
    }
    return {};
}

std::vector<vorn_ui::Widget*> SettingsApp::children_mut()
{
    if (shell_) {
        return {shell_.get()};
    }
    return {};
}

std::vector<std::string_view> SettingsApp::handled_action_ids() const
{
    const auto kinds = operations::ApplicationOperations::handled_action_ids();
    return {kinds.begin(), kinds.end()};
}

vorn_ui::ResourceOperationAnswer SettingsApp::handle_resource_operation(vorn_ui::OperationClass op_class,
                                                                       std::string_view kind,
                                                                       std::string_view payload,
                                                                       page_doc::Document& doc)
{
    vorn_ui::ResourceOperationAnswer answer = operations_.handle(op_class, kind, payload);
    if (!answer.is_not_handled()) {
        platform_snapshot_->refresh_soon();
        return answer;
    }
    return Widget::handle_resource_operation(op_class, kind, payload, doc);
}

vorn_ui::ResourceOperationStart SettingsApp::start_resource_operation_with_document(vorn_ui::OperationId id,
                                                                                    vorn_ui::OperationClass op_class,
                                                                                    std::string_view kind,
                                                                                    std::string_view payload,
                                                                                    page_doc::Document& doc)
{
    if (auto started = operations_.start(id, op_class, kind, payload)) {
        if (started->kind != vorn_ui::ResourceOperationStart::Kind::Pending) {
            platform_snapshot_->refresh_soon();
        }
        return std::move(*started);
    }
    return Widget::start_resource_operation_with_document(id, op_class, kind, payload, doc);
}

std::optional<vorn_ui::OperationCompletion> SettingsApp::poll_resource_operation(vorn_ui::OperationId id,
                                                                                 bool cancel, vorn_ui::WordPair extra)
{
    if (operations_.owns(id)) {
        auto completion = operations_.poll(id, cancel);
        if (completion) {
            platform_snapshot_->refresh_soon();  // the operation may have changed the machine
        }
        return completion;
    }
    return Widget::poll_resource_operation(id, cancel, extra);
}

std::optional<vorn_ui::AccessNode> SettingsApp::accessibility() const
{
    return vorn_ui::AccessNode(vorn_ui::access_role::application).with_label("Settings").with_detail("settings.app");
}

bool SettingsApp::needs_idle_sync() const { return shell_ && shell_->needs_idle_sync(); }

std::vector<vorn_actions::Resource> SettingsApp::resources(const page_doc::Document& doc) const
{
    return actions::catalogue::root_resource(doc, accounts_);
}

std::optional<vorn_actions::Resource> SettingsApp::resolve_resource(const page_doc::Document& doc,
                                                                    std::string_view address) const
{
    return actions::catalogue::resolve_resource_address(doc, accounts_, address);
}

std::vector<std::unique_ptr<vorn_ui::SearchProvider>> SettingsApp::search_providers() const
{
    std::vector<std::unique_ptr<vorn_ui::SearchProvider>> providers;
    providers.push_back(std::make_unique<SettingsSearchProvider>(search_catalog_));
    return providers;
}

std::optional<std::string> SettingsApp::find_in_descendants()
{
    for (vorn_ui::Widget* child : children_mut()) {
        if (auto answer = find_depth_first(*child)) {
            return answer;
        }
    }
    return std::nullopt;
}

bool SettingsApp::needs_animation_frame() const { return shell_ && shell_->needs_animation_frame(); }

bool SettingsApp::take_structure_dirty()
{
    // A newer snapshot than one the page's controls were checked against: the toolkit checks them again.
    const bool newer = platform_snapshot_->take_newer_snapshot();
    const bool own = std::exchange(structure_dirty_, false) || newer;
    if (shell_ && shell_->take_structure_dirty()) {
        if (selected_ == Section::ExternalAccounts) {
            reload_accounts();
        }
        return true;
    }
    return own;
}

bool SettingsApp::layout_needs_measure() const { return shell_ && shell_->layout_needs_measure(); }

void SettingsApp::draw_with_presence(vorn_ui::DrawContext& ctx) const
{
    if (shell_) {
        shell_->draw_with_presence(ctx);
    }
}

}  // namespace settings::app
