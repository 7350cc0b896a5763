#pragma once
// The sidebar: the 22 sections as rows under five upper-case group headings, or, while the search field holds a
// query, one RESULTS group with the matching sections (or a caption saying that nothing matches). Each row is a
// SidebarRow: it draws the section's icon and title on its selection background and, when clicked, activated by
// key (Enter or Space while focused) or activated through accessibility, publishes its section into the
// application's section-request cell; the application takes the request on its next sync and switches sections.
// The sidebar is rebuilt from scratch whenever the section or the query changes; rows keep no state across rebuilds.
//
// For the keyboard the sidebar is one list and one Tab stop (SidebarNav): only one row takes part in the Tab order
// (the selected row, else the first; then the row last moved to), Up, Down, Home and End move the focus between
// rows, Enter or Space opens the focused row's section. The application gives the focus back to the newly built
// row of the opened section, so that Tab goes on into the page.
//
//   vorn_ui::LocalState<std::optional<Section>> requests{std::nullopt};
//   auto nav = sidebar::build_nav(Section::Network, "wifi", requests);   // RESULTS: Network
//   ... a click on the Network row ... requests.get() == Section::Network

#include "sections/section.hpp"
#include "vorn_ui/state.hpp"
#include "vorn_ui/widget.hpp"
#include "vorn_ui/widgets/box.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::sidebar {

using SectionRequests = vorn_ui::LocalState<std::optional<Section>>;

// Row geometry constants (logical pixels before the ui scale).
inline constexpr double kRowInsetX = 8.0;
inline constexpr double kRowInsetY = 4.0;
inline constexpr double kIconBoxInset = 12.0;
inline constexpr double kIconSize = 18.0;
inline constexpr double kIconBox = 20.0;
inline constexpr double kTitleGap = 12.0;
inline constexpr double kRowMinHeight = 40.0;
inline constexpr double kRowTextPadding = 16.0;  // added to the title's height
inline constexpr double kTitleInsetTotal = 72.0;  // row width less this is the title's wrap width
inline constexpr double kDefaultTitleWidth = 184.0;  // when the row's width is not known
inline constexpr float kDefaultTextSize = 14.0f;

struct RowGeometry {
    vorn_ui::Rect content;  // the selection background
    double icon_left = 0.0;
    double title_left = 0.0;
    double title_top = 0.0;
};

// Where a row's parts go for a row rectangle and a measured title height.
[[nodiscard]] RowGeometry row_geometry(const vorn_ui::Rect& row, double title_height);

// The text of the sentence shown when a query matches nothing: No settings match “query” (query trimmed).
[[nodiscard]] std::string no_match_text(std::string_view query);

class SidebarRow final : public vorn_ui::Widget {
public:
    VORN_WIDGET_IDENTITY("settings::sidebar::SidebarRow", "SidebarRow")

    SidebarRow(Section section, bool selected, SectionRequests requests);
    [[nodiscard]] static std::unique_ptr<vorn_ui::Widget> make(Section selected, const SectionRequests& requests,
                                                               Section section);

    // Publishes the row's section into the request cell.
    void request_selection() const;

    [[nodiscard]] Section section() const { return section_; }
    [[nodiscard]] bool selected() const { return selected_; }
    [[nodiscard]] bool hovered() const { return hovered_; }
    [[nodiscard]] bool pressed() const { return pressed_; }
    // Whether the row is the sidebar's one place in the Tab order.
    [[nodiscard]] bool tab_stop() const { return tab_stop_; }
    void set_tab_stop(bool tab_stop) { tab_stop_ = tab_stop; }

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    vorn_ui::NodeId build_layout(flex_layout::Tree& tree, const vorn_ui::StyleContext& style,
                                 vorn_ui::NodeWidgetMap& widgets) override;
    [[nodiscard]] vorn_ui::Size measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                                        vorn_ui::TextRenderer& text) const override;
    void apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x,
                      double parent_y) override;
    void draw(vorn_ui::DrawContext& ctx) const override;
    void handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx) override;
    [[nodiscard]] std::optional<std::string_view> label() const override { return section_.title(); }
    [[nodiscard]] vorn_ui::Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<std::uint8_t> hit_test(vorn_ui::Point point) const override;
    [[nodiscard]] bool is_focusable() const override { return tab_stop_; }
    void set_focus(bool focused) override { focused_ = focused; }
    [[nodiscard]] bool is_focused() const override { return focused_; }
    [[nodiscard]] std::optional<vorn_ui::AccessNode> accessibility() const override;
    bool perform_action(const vorn_ui::Action& action, vorn_ui::ActionCtx ctx) override;
    [[nodiscard]] std::optional<std::string> get_state() const override;

private:
    vorn_ui::Rect rect_{};
    SectionRequests requests_;
    float text_size_ = kDefaultTextSize;
    float ui_scale_ = 1.0f;
    Section section_;
    bool selected_ = false;
    bool hovered_ = false;
    bool pressed_ = false;
    bool focused_ = false;
    bool tab_stop_ = false;
};

// The sidebar's outer box: holds the scroll view of the groups and moves the focus between its rows.
class SidebarNav final : public vorn_ui::widget::BoxWidget {
public:
    VORN_WIDGET_IDENTITY("settings::sidebar::SidebarNav", "SidebarNav")

    explicit SidebarNav(std::unique_ptr<vorn_ui::Widget> scroll);

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    void handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx) override;
};

// The rows of a sidebar, in order.
[[nodiscard]] std::vector<SidebarRow*> rows_of(vorn_ui::Widget& nav);
// The row that has the focus, or null.
[[nodiscard]] SidebarRow* focused_row(vorn_ui::Widget& nav);
// The row of a section, or null when the sidebar does not list it.
[[nodiscard]] SidebarRow* row_of(vorn_ui::Widget& nav, Section section);
// Gives `row` the focus and the sidebar's Tab stop (every other row loses both) and, when `reveal`, scrolls it
// into view (a sidebar not yet laid out has nothing to scroll).
void focus_row(vorn_ui::Widget& nav, SidebarRow& row, bool reveal = true);

// One group: the heading (upper-cased, 12) in a column padded 20 horizontally, above a column (gap 4) of the rows.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_group(std::string_view heading,
                                                           std::vector<std::unique_ptr<vorn_ui::Widget>> rows);

// The whole sidebar for the selected section and the query (trimmed here): a scroll view of the groups.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_nav(Section selected, std::string_view query,
                                                         const SectionRequests& requests);

}  // namespace settings::sidebar
