#pragma once
// AppShell: the window's frame. Wide: a sidebar (264 wide by default) holding the search field on top and the
// navigation below it, and the content area beside it. Narrow (narrow-screen mode on and the window narrower than
// the breakpoint × max(ui scale, 1)): a top bar with a menu button and the shell's label, and below it either the
// content or, while the navigation is open, the sidebar at full width; selecting a section (notify_selection)
// closes the navigation again, and so does Escape.
//
//   auto shell = vorn_ui::AppShell(std::move(sidebar), std::move(page))
//                    .with_search(std::move(search_field))
//                    .with_sidebar_width(264.0f)
//                    .with_breakpoint(720.0f)
//                    .with_narrow_screen(true);
//   shell.set_content(std::move(next_page));   // the old page is dropped

#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vorn_ui::widget::app_shell {

class ShellMenuButton;

class AppShell final : public Widget {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::app_shell::AppShell", "AppShell")

    AppShell(std::unique_ptr<Widget> nav, std::unique_ptr<Widget> content);
    ~AppShell() override;
    AppShell(AppShell&&) noexcept;
    AppShell& operator=(AppShell&&) noexcept;

    [[nodiscard]] AppShell with_search(std::unique_ptr<Widget> search) &&;
    [[nodiscard]] AppShell with_narrow_screen(bool enabled) &&;
    [[nodiscard]] AppShell with_sidebar_width(float width) &&;
    [[nodiscard]] AppShell with_breakpoint(float width) &&;
    // The window width, when known before the first layout: decides the narrow state at once.
    [[nodiscard]] AppShell with_window_width(float width) &&;
    [[nodiscard]] AppShell with_label(std::string label) &&;
    [[nodiscard]] std::unique_ptr<Widget> boxed() && { return std::make_unique<AppShell>(std::move(*this)); }

    // Replace the navigation, the content (the old widget is dropped; call outside any walk over the tree).
    void set_nav(std::unique_ptr<Widget> nav);
    void set_content(std::unique_ptr<Widget> content);
    // The selected section changed: in narrow mode the navigation closes and the content shows.
    void notify_selection();

    [[nodiscard]] Widget* nav() const { return nav_.get(); }
    [[nodiscard]] Widget* content() const { return content_.get(); }
    [[nodiscard]] Widget* search() const { return search_.get(); }
    [[nodiscard]] float sidebar_width() const { return sidebar_width_; }
    [[nodiscard]] float breakpoint() const { return breakpoint_; }
    [[nodiscard]] bool narrow_screen_enabled() const { return narrow_enabled_; }
    // Whether the shell is in its narrow form now.
    [[nodiscard]] bool is_narrow() const { return narrow_; }
    void set_narrow(bool narrow);
    [[nodiscard]] bool nav_open() const { return nav_open_; }
    void set_nav_open(bool open);
    // Where the parts were laid out (zero while hidden).
    [[nodiscard]] Rect sidebar_rect() const { return sidebar_visible_ ? sidebar_rect_ : Rect{}; }
    [[nodiscard]] Rect content_rect() const { return content_visible_ ? content_->get_rect() : Rect{}; }

    void sync(page_doc::Document& doc, SyncContext& ctx) override;
    NodeId build_layout(flex_layout::Tree& tree, const StyleContext& style, NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, NodeId node, double parent_x, double parent_y) override;
    void draw(DrawContext& ctx) const override;
    void handle_event(const Event& event, DispatchContext& ctx) override;
    [[nodiscard]] std::vector<const Widget*> children() const override;
    [[nodiscard]] std::vector<Widget*> children_mut() override;
    [[nodiscard]] std::optional<std::string_view> label() const override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] bool needs_idle_sync() const override;
    bool take_structure_dirty() override;

private:
    std::unique_ptr<Widget> nav_;
    std::unique_ptr<Widget> content_;
    std::unique_ptr<Widget> search_;
    std::unique_ptr<ShellMenuButton> menu_;
    std::optional<std::string> label_;
    float sidebar_width_ = 264.0f;
    float breakpoint_ = 720.0f;
    bool narrow_enabled_ = false;
    bool narrow_ = false;
    bool nav_open_ = false;
    bool structure_dirty_ = false;
    float scale_ = 1.0f;

    // Layout of the last pass
    Rect rect_{};
    Rect sidebar_rect_{};
    Rect bar_rect_{};
    NodeId sidebar_node_{};
    NodeId search_wrap_node_{};
    NodeId search_node_{};
    NodeId nav_node_{};
    NodeId content_node_{};
    NodeId bar_node_{};
    NodeId menu_node_{};
    bool sidebar_visible_ = false;
    bool content_visible_ = false;
};

}  // namespace vorn_ui::widget::app_shell

namespace vorn_ui {
using widget::app_shell::AppShell;
}
