#include "sidebar/sidebar.hpp"

#include "actions/catalogue/catalogue.hpp"
#include "page_helpers/layout.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/icons.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"
#include "vorn_ui/widgets.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace settings::sidebar {

using vorn_ui::Rect;

namespace {

constexpr vorn_ui::TextStyle kTitleStyle = vorn_ui::TextStyle::Medium;

// The group headings are ASCII; other characters are kept as they are.
std::string upper_case(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return out;
}

float effective_size(const vorn_ui::TextRenderer& text, float text_size)
{
    return text.renderer_input_style(text_size).size;
}

}  // namespace

RowGeometry row_geometry(const Rect& row, double title_height)
{
    RowGeometry g;
    g.content = Rect{row.x0 + kRowInsetX, row.y0 + kRowInsetY, row.x1 - kRowInsetX, row.y1 - kRowInsetY};
    const double icon_box_left = row.x0 + kRowInsetX + kIconBoxInset;
    g.icon_left = icon_box_left + std::max(kIconBox - kIconSize, 0.0) * 0.5;
    g.title_left = icon_box_left + kIconBox + kTitleGap;
    g.title_top = row.y0 + (row.height() - title_height) * 0.5;
    return g;
}

std::string no_match_text(std::string_view query)
{
    return "No settings match \u201C" + std::string(trim_query(query)) + "\u201D";
}

// ---- SidebarRow ------------------------------------------------------------------------------------------------

SidebarRow::SidebarRow(Section section, bool selected, SectionRequests requests)
    : requests_(std::move(requests)), section_(section), selected_(selected)
{
}

std::unique_ptr<vorn_ui::Widget> SidebarRow::make(Section selected, const SectionRequests& requests, Section section)
{
    auto row = std::make_unique<SidebarRow>(section, section == selected, requests);
    row->set_tab_stop(section == selected);
    return row;
}

void SidebarRow::request_selection() const
{
    // A refused publication means the interface is shutting down: there is no page left to switch to.
    (void)requests_.publish(section_);
}

void SidebarRow::sync(page_doc::Document& /*doc*/, vorn_ui::SyncContext& /*ctx*/) {}

vorn_ui::NodeId SidebarRow::build_layout(flex_layout::Tree& tree, const vorn_ui::StyleContext& style,
                                         vorn_ui::NodeWidgetMap& widgets)
{
    text_size_ = 14.0f;
    ui_scale_ = style.ui_scale();
    flex_layout::Style s;
    s.width = flex_layout::Dimension::percent(1.0f);
    s.min_height = flex_layout::Dimension::points(style.scaled(static_cast<float>(kRowMinHeight)));
    const vorn_ui::NodeId node = tree.new_measured_leaf(s);
    widgets.insert(node, *this);
    return node;
}

vorn_ui::Size SidebarRow::measure(flex_layout::KnownSize known, flex_layout::AvailableSize available,
                                  vorn_ui::TextRenderer& text) const
{
    const float size = effective_size(text, text_size_);
    const double inset = kTitleInsetTotal * ui_scale_;
    double wrap = kDefaultTitleWidth * ui_scale_;
    if (known.width) {
        wrap = std::max(static_cast<double>(*known.width) - inset, 0.0);
    } else if (available.width.is_definite()) {
        wrap = std::max(static_cast<double>(available.width.value) - inset, 0.0);
    }
    const vorn_ui::Size title = text.measure(section_.title(), size, kTitleStyle, static_cast<float>(wrap));
    const float min_height = static_cast<float>(kRowMinHeight * ui_scale_);
    return vorn_ui::Size{
        known.width.value_or(0.0f),
        known.height.value_or(std::max(title.height + static_cast<float>(kRowTextPadding * ui_scale_), min_height)),
    };
}

void SidebarRow::apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x, double parent_y)
{
    rect_ = vorn_ui::rect_from_layout(tree, node, parent_x, parent_y);
}

void SidebarRow::draw(vorn_ui::DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    vorn_ui::TextRenderer* text = ctx.text();
    if (cr == nullptr || text == nullptr) {
        return;
    }
    const vorn_ui::Theme& theme = ctx.theme();
    const double s = ui_scale_;
    const float size = effective_size(*text, text_size_);
    const double wrap = std::max(rect_.width() - kTitleInsetTotal * s, 0.0);
    const vorn_ui::Size title = text->measure(section_.title(), size, kTitleStyle, static_cast<float>(wrap));

    RowGeometry g;
    g.content = Rect{rect_.x0 + kRowInsetX * s, rect_.y0 + kRowInsetY * s, rect_.x1 - kRowInsetX * s,
                     rect_.y1 - kRowInsetY * s};
    const double icon_box_left = rect_.x0 + (kRowInsetX + kIconBoxInset) * s;
    g.icon_left = icon_box_left + std::max(kIconBox - kIconSize, 0.0) * 0.5 * s;
    g.title_left = icon_box_left + (kIconBox + kTitleGap) * s;
    g.title_top = rect_.y0 + (rect_.height() - title.height) * 0.5;

    namespace shell = vorn_ui::chrome::shell;
    const shell::SelectionTier tier =
        shell::selection_tier(theme, shell::selection_state(selected_, hovered_, pressed_));
    const double radius = theme.corner_radius * s;

    cairo_save(cr);
    if (std::abs(tier.scale - 1.0) > std::numeric_limits<double>::epsilon()) {
        const double cx = (g.content.x0 + g.content.x1) * 0.5;
        const double cy = (g.content.y0 + g.content.y1) * 0.5;
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, tier.scale, tier.scale);
        cairo_translate(cr, -cx, -cy);
    }
    if (tier.fill.a > 0.0f) {
        vorn_ui::paint::fill_rounded(cr, g.content, radius, tier.fill);
    }
    if (tier.outline) {
        cairo_save(cr);
        vorn_ui::surface::edge_outline(cr, g.content, radius);
        vorn_ui::paint::set_color(cr, *tier.outline);
        cairo_set_line_width(cr, 1.0);
        cairo_set_miter_limit(cr, 4.0);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(cr);
        cairo_restore(cr);
    }
    if (tier.inner_highlight) {
        const Rect inner{g.content.x0 + 1.5, g.content.y0 + 1.5, g.content.x1 - 1.5, g.content.y1 - 1.5};
        vorn_ui::paint::stroke_rounded(cr, inner, std::max(radius - 1.5, 0.0), *tier.inner_highlight, 1.0);
    }
    cairo_restore(cr);

    if (focused_) {
        vorn_ui::paint::stroke_rounded(cr, g.content, radius, theme.focus, 2.0);
    }
    const double cy = (rect_.y0 + rect_.y1) * 0.5;
    const double icon = kIconSize * s;
    vorn_ui::icons::draw(cr, static_cast<vorn_ui::Icon>(section_.icon()),
                         Rect{g.icon_left, cy - icon * 0.5, g.icon_left + icon, cy + icon * 0.5}, theme.text, 1.5 * s);
    text->draw_text(cr, section_.title(), theme.text, {g.title_left, g.title_top}, kTitleStyle, size,
                    static_cast<float>(wrap));
}

void SidebarRow::handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx)
{
    if (const auto* key = event.get<vorn_ui::KeyDown>()) {
        if (focused_ && !key->repeat && !key->modifiers.any() &&
            (key->key == vorn_ui::Key::Enter || key->key == vorn_ui::Key::Space)) {
            request_selection();
            ctx.changed = true;
            ctx.handled = true;
        }
        return;
    }
    if (event.get<vorn_ui::PointerMove>() != nullptr) {
        const auto pointer = ctx.pointer(event);
        const bool inside = pointer && rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            ctx.changed = true;
        }
        return;
    }
    if (event.get<vorn_ui::PointerLeave>() != nullptr) {
        if (hovered_ || pressed_) {
            hovered_ = false;
            pressed_ = false;
            ctx.changed = true;
        }
        return;
    }
    const auto* button = event.get<vorn_ui::PointerButton>();
    if (button == nullptr || button->button != vorn_ui::MouseButton::Left) {
        return;
    }
    // The button's own position counts too: a click can arrive without a move before it.
    if (const auto pointer = ctx.pointer(event)) {
        const bool inside = rect_.contains(*pointer);
        if (inside != hovered_) {
            hovered_ = inside;
            ctx.changed = true;
        }
    }
    if (hovered_) {
        if (button->pressed) {
            pressed_ = true;
            tab_stop_ = true;  // the row pressed takes the focus; the list keeps it its only Tab stop
            ctx.changed = true;
            ctx.handled = true;
            ctx.request = ctx.node;
        } else if (pressed_) {
            pressed_ = false;
            ctx.changed = true;
            ctx.handled = true;
            request_selection();
        }
    } else if (pressed_) {
        pressed_ = false;
        ctx.changed = true;
    }
}

std::optional<std::uint8_t> SidebarRow::hit_test(vorn_ui::Point point) const
{
    if (rect_.contains(point)) {
        return vorn_ui::hit_code_control;
    }
    return std::nullopt;
}

std::optional<vorn_ui::AccessNode> SidebarRow::accessibility() const
{
    vorn_ui::AccessNode node = vorn_ui::AccessNode(vorn_ui::access_role::navigation_row)
                                   .with_label(section_.title())
                                   .with_id(actions::catalogue::section_open_action(section_).encode())
                                   .with_bounds(rect_)
                                   .with_action(vorn_ui::Action::Kind::Activate);
    node.focused = focused_;
    node.selected = selected_;
    node.current = selected_;
    return node;
}

bool SidebarRow::perform_action(const vorn_ui::Action& action, vorn_ui::ActionCtx /*ctx*/)
{
    if (action.kind != vorn_ui::Action::Kind::Activate) {
        return false;
    }
    request_selection();
    return true;
}

std::optional<std::string> SidebarRow::get_state() const { return selected_ ? "active" : "inactive"; }

// ---- SidebarNav -----------------------------------------------------------------------------------------------

namespace {

void collect_rows(vorn_ui::Widget& widget, std::vector<SidebarRow*>& out)
{
    if (auto* row = dynamic_cast<SidebarRow*>(&widget)) {
        out.push_back(row);
        return;
    }
    for (vorn_ui::Widget* child : widget.children_mut()) {
        collect_rows(*child, out);
    }
}

}  // namespace

std::vector<SidebarRow*> rows_of(vorn_ui::Widget& nav)
{
    std::vector<SidebarRow*> rows;
    collect_rows(nav, rows);
    return rows;
}

SidebarRow* focused_row(vorn_ui::Widget& nav)
{
    for (SidebarRow* row : rows_of(nav)) {
        if (row->is_focused()) {
            return row;
        }
    }
    return nullptr;
}

SidebarRow* row_of(vorn_ui::Widget& nav, Section section)
{
    for (SidebarRow* row : rows_of(nav)) {
        if (row->section() == section) {
            return row;
        }
    }
    return nullptr;
}

void focus_row(vorn_ui::Widget& nav, SidebarRow& row, bool reveal)
{
    for (SidebarRow* other : rows_of(nav)) {
        if (other != &row) {
            other->set_focus(false);
            other->set_tab_stop(false);
        }
    }
    row.set_tab_stop(true);
    row.set_focus(true);
    if (reveal) {
        (void)nav.reveal_descendant(&row);
    }
}

SidebarNav::SidebarNav(std::unique_ptr<vorn_ui::Widget> scroll)
    : BoxWidget(flex_layout::FlexDirection::Column)
{
    push_child(std::move(scroll));
}

void SidebarNav::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    BoxWidget::sync(doc, ctx);
    // Exactly one Tab stop: the focused row, else the one row already chosen, else the selected row, else the
    // first (a press that ended outside its row may have left a second one).
    const std::vector<SidebarRow*> rows = rows_of(*this);
    const auto first_where = [&rows](auto&& pred) -> SidebarRow* {
        const auto it = std::ranges::find_if(rows, pred);
        return it == rows.end() ? nullptr : *it;
    };
    SidebarRow* stop = first_where([](const SidebarRow* row) { return row->is_focused(); });
    if (stop == nullptr && std::ranges::count_if(rows, [](const SidebarRow* row) { return row->tab_stop(); }) == 1) {
        stop = first_where([](const SidebarRow* row) { return row->tab_stop(); });
    }
    if (stop == nullptr) {
        stop = first_where([](const SidebarRow* row) { return row->selected(); });
    }
    if (stop == nullptr && !rows.empty()) {
        stop = rows.front();
    }
    for (SidebarRow* row : rows) {
        row->set_tab_stop(row == stop);
    }
}

void SidebarNav::handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx)
{
    // The list's keys come before the scroll view's, which would otherwise scroll on Up, Down, Home and End.
    if (const auto* key = event.get<vorn_ui::KeyDown>(); key != nullptr && !ctx.handled && !key->modifiers.any()) {
        const bool list_key = key->key == vorn_ui::Key::Up || key->key == vorn_ui::Key::Down ||
                              key->key == vorn_ui::Key::Home || key->key == vorn_ui::Key::End;
        if (list_key) {
            if (SidebarRow* current = focused_row(*this)) {
                const std::vector<SidebarRow*> rows = rows_of(*this);
                const auto at = static_cast<std::size_t>(std::ranges::find(rows, current) - rows.begin());
                std::size_t next = at;
                switch (key->key) {
                case vorn_ui::Key::Up: next = at == 0 ? 0 : at - 1; break;
                case vorn_ui::Key::Down: next = std::min(at + 1, rows.size() - 1); break;
                case vorn_ui::Key::Home: next = 0; break;
                default: next = rows.size() - 1; break;
                }
                if (next != at) {
                    focus_row(*this, *rows[next]);
                    ctx.changed = true;
                }
                ctx.handled = true;  // at either end the list stays where it is
                return;
            }
        }
    }
    BoxWidget::handle_event(event, ctx);
}

// ---- Building the sidebar --------------------------------------------------------------------------------------

std::unique_ptr<vorn_ui::Widget> build_group(std::string_view heading,
                                             std::vector<std::unique_ptr<vorn_ui::Widget>> rows)
{
    using vorn_ui::Column;
    return Column()
        .with_spacing(8.0f)
        .push(Column()
                  .with_padding(20.0f, 0.0f)
                  .push(vorn_ui::Text(upper_case(heading)).with_size(12.0f).caption().medium()))
        .push(Column().with_spacing(4.0f).with_children(std::move(rows)))
        .boxed();
}

std::unique_ptr<vorn_ui::Widget> build_nav(Section selected, std::string_view query, const SectionRequests& requests)
{
    auto column = vorn_ui::Column().with_spacing(24.0f).with_gap(8.0f).with_padding(4.0f);
    const std::string_view trimmed = trim_query(query);
    if (!trimmed.empty()) {
        std::vector<std::unique_ptr<vorn_ui::Widget>> rows;
        for (const Section section : sidebar_order()) {
            if (section.matches(trimmed)) {
                rows.push_back(SidebarRow::make(selected, requests, section));
            }
        }
        if (!rows.empty() && !std::ranges::any_of(rows, [](const auto& row) {
                return static_cast<const SidebarRow&>(*row).tab_stop();
            })) {
            static_cast<SidebarRow&>(*rows.front()).set_tab_stop(true);  // the selected section is not listed
        }
        if (rows.empty()) {
            rows.push_back(
                vorn_ui::Container(page_helpers::caption(no_match_text(trimmed))).with_padding(20.0f, 0.0f).boxed());
        }
        column.push_child(build_group("Results", std::move(rows)));
    } else {
        for (const SidebarGroup group : sidebar_groups()) {
            std::vector<std::unique_ptr<vorn_ui::Widget>> rows;
            for (const Section section : sidebar_order()) {
                if (section.group() == group) {
                    rows.push_back(SidebarRow::make(selected, requests, section));
                }
            }
            column.push_child(build_group(group_title(group), std::move(rows)));
        }
    }
    return std::make_unique<SidebarNav>(vorn_ui::Scrollable::with_child(std::move(column)).boxed());
}

}  // namespace settings::sidebar
