#include "panes/time_date/time_zone_map.hpp"

#include "page_doc/page_doc.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/access.hpp"
#include "vorn_ui/paint.hpp"
#include "vorn_ui/text.hpp"

#include <cairo.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace settings::panes::time_date {

namespace {

using vorn_ui::Color;
using vorn_ui::Key;

constexpr std::string_view kWidgetLabel = "time.timezone-map";
constexpr std::string_view kAccessLabel = "Time-zone map";
constexpr std::string_view kAccessDescription =
    "Installed IANA time zones with published coordinates. Use arrow keys to move and Enter to apply; the "
    "searchable selector includes aliases without coordinates.";
constexpr std::string_view kNoCoordinates = "Map coordinates are unavailable; use the selector above.";

constexpr double kCurrentDotRadius = 4.5;
constexpr double kDotRadius = 2.2;
constexpr double kRingGap = 4.0;
constexpr double kRingWidth = 2.0;
constexpr float kTextSize = 11.0f;
// How much sideways offset counts against a candidate of an arrow move, relative to its distance ahead.
constexpr double kSidewaysWeight = 2.5;

void dot(cairo_t* cr, Point at, double radius, const Color& color)
{
    cairo_new_path(cr);
    cairo_arc(cr, at.x, at.y, radius, 0.0, 2.0 * std::numbers::pi);
    vorn_ui::paint::set_color(cr, color);
    cairo_fill(cr);
}

void ring(cairo_t* cr, Point at, double radius, const Color& color)
{
    cairo_new_path(cr);
    cairo_arc(cr, at.x, at.y, radius, 0.0, 2.0 * std::numbers::pi);
    vorn_ui::paint::set_color(cr, color);
    cairo_set_line_width(cr, kRingWidth);
    cairo_stroke(cr);
}

}  // namespace

TimeZoneMap::TimeZoneMap(std::vector<TimeZoneCity> cities, std::string current_zone)
    : cities_(std::move(cities)), current_zone_(std::move(current_zone))
{
    focused_ = city_of(current_zone_);
}

TimeZoneMap TimeZoneMap::with_action(vorn_actions::ActionBinding<std::string> binding) &&
{
    emitter_.emplace(std::move(binding));
    return std::move(*this);
}

std::optional<std::size_t> TimeZoneMap::city_of(std::string_view zone) const
{
    const auto it = std::ranges::find(cities_, zone, &TimeZoneCity::zone);
    if (it == cities_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - cities_.begin());
}

Rect TimeZoneMap::map_area(const Rect& rect)
{
    return {rect.x0 + 10.0, rect.y0 + 10.0, std::max(rect.x1 - 10.0, rect.x0 + 11.0),
            std::max(rect.y1 - 34.0, rect.y0 + 11.0)};
}

Point TimeZoneMap::project(std::size_t index) const
{
    if (index >= cities_.size()) {
        return {};
    }
    const Rect area = map_area(rect_);
    const TimeZoneCity& city = cities_[index];
    return {area.x0 + area.width() * (city.longitude_degrees() + 180.0) / 360.0,
            area.y0 + area.height() * (90.0 - city.latitude_degrees()) / 180.0};
}

std::optional<std::size_t> TimeZoneMap::pick(Point point) const
{
    if (!rect_.contains(point)) {
        return std::nullopt;
    }
    std::optional<std::size_t> best;
    double best_distance = 0.0;
    for (std::size_t i = 0; i < cities_.size(); ++i) {
        const Point at = project(i);
        const double distance = std::hypot(at.x - point.x, at.y - point.y);
        if (distance > kPickRadius) {
            continue;
        }
        if (!best || distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return best;
}

void TimeZoneMap::move_focus(int dx, int dy)
{
    if (cities_.empty()) {
        return;
    }
    const std::size_t start = focused_ ? *focused_ : city_of(current_zone_).value_or(0);
    if (start >= cities_.size()) {
        return;
    }
    const TimeZoneCity& from = cities_[start];
    std::optional<std::size_t> best;
    double best_score = 0.0;
    for (std::size_t i = 0; i < cities_.size(); ++i) {
        if (i == start) {
            continue;
        }
        // Screen directions: east is +x, south is +y.
        const double delta_lon = cities_[i].longitude_degrees() - from.longitude_degrees();
        const double delta_lat = from.latitude_degrees() - cities_[i].latitude_degrees();
        const double forward = delta_lon * dx + delta_lat * dy;
        if (forward <= 0.0) {
            continue;
        }
        const double score = forward + kSidewaysWeight * std::abs(delta_lon * dy - dx * delta_lat);
        if (!best || score < best_score) {
            best = i;
            best_score = score;
        }
    }
    if (best) {
        focused_ = best;
    }
}

bool TimeZoneMap::show_zone(std::string_view zone)
{
    if (zone == current_zone_) {
        return false;
    }
    current_zone_ = std::string(zone);
    if (!has_focus_) {
        focused_ = city_of(current_zone_);
    }
    return true;
}

bool TimeZoneMap::set_cities(std::vector<TimeZoneCity> cities)
{
    if (cities == cities_) {
        return false;
    }
    const std::optional<std::string> focused_zone =
        focused_ && *focused_ < cities_.size() ? std::optional(cities_[*focused_].zone) : std::nullopt;
    cities_ = std::move(cities);
    hovered_.reset();
    focused_ = focused_zone ? city_of(*focused_zone) : std::nullopt;
    if (!focused_) {
        focused_ = city_of(current_zone_);
    }
    return true;
}

void TimeZoneMap::select_zone(std::size_t index)
{
    if (index >= cities_.size() || cities_[index].zone == current_zone_) {
        return;
    }
    current_zone_ = cities_[index].zone;
    focused_ = index;
    if (emitter_) {
        if (auto sent = emitter_->emit(current_zone_); !sent) {
            VORN_WARN("timezone_map", "the time zone action refused {}: {}", current_zone_, sent.error().message());
        }
        return;
    }
    pending_edit_ = current_zone_;
}

void TimeZoneMap::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    if (emitter_) {
        return;
    }
    if (pending_edit_) {
        doc.put_str(std::string(kTimezoneKey) + ".edit", *pending_edit_);
        pending_edit_.reset();
        commit_pending_ = true;
    }
    auto stored = page_doc::doc_text(doc, kTimezoneKey);
    if (!stored || stored == adopted_stored_) {
        return;
    }
    adopted_stored_ = stored;
    if (*stored != current_zone_) {
        current_zone_ = std::move(*stored);
        ctx.changed = true;
    }
    if (!focused_) {
        focused_ = city_of(current_zone_);
    }
}

vorn_ui::NodeId TimeZoneMap::build_layout(flex_layout::Tree& tree, const vorn_ui::StyleContext& style,
                                          vorn_ui::NodeWidgetMap& widgets)
{
    flex_layout::Style s;
    s.width = flex_layout::Dimension::percent(1.0f);
    s.height = flex_layout::Dimension::points(style.scaled(kHeight));
    const vorn_ui::NodeId node = tree.new_leaf(s);
    widgets.insert(node, *this);
    return node;
}

void TimeZoneMap::apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x, double parent_y)
{
    rect_ = vorn_ui::rect_from_layout(tree, node, parent_x, parent_y);
}

void TimeZoneMap::draw(vorn_ui::DrawContext& ctx) const
{
    cairo_t* cr = ctx.cairo();
    vorn_ui::TextRenderer* text = ctx.text();
    if (cr == nullptr || rect_.area() <= 0.0) {
        return;
    }
    const vorn_ui::Theme& theme = ctx.theme();
    vorn_ui::paint::card_surface(cr, theme, rect_);
    if (has_focus_) {
        vorn_ui::paint::focus_ring(cr, theme, rect_, theme.scaled(theme.card_radius));
    }

    const Rect area = map_area(rect_);
    for (const double lon : {-120.0, -60.0, 0.0, 60.0, 120.0}) {
        vorn_ui::paint::vline(cr, area.x0 + area.width() * (lon + 180.0) / 360.0, area.y0, area.y1, theme.outline);
    }
    for (const double lat : {-45.0, 0.0, 45.0}) {
        vorn_ui::paint::hline(cr, area.x0, area.x1, area.y0 + area.height() * (90.0 - lat) / 180.0, theme.outline);
    }

    const float size = text != nullptr ? text->renderer_input_style(kTextSize).size : kTextSize;
    if (cities_.empty() && text != nullptr) {
        text->draw_text(cr, kNoCoordinates, theme.text_secondary, {area.x0 + 8.0, (area.y0 + area.y1) / 2.0 - 6.0},
                        vorn_ui::TextStyle::Caption, size, static_cast<float>(std::max(area.width() - 16.0, 1.0)));
    }

    cairo_save(cr);
    const Color others = theme.text.with_alpha(theme.text.a * 2.0f / 3.0f);
    for (std::size_t i = 0; i < cities_.size(); ++i) {
        const Point at = project(i);
        const bool current = cities_[i].zone == current_zone_;
        const double radius = current ? kCurrentDotRadius : kDotRadius;
        dot(cr, at, radius, current ? theme.accent : others);
        if (hovered_ == i || (has_focus_ && focused_ == i)) {
            ring(cr, at, radius + kRingGap, theme.focus);
        }
    }
    cairo_restore(cr);

    if (text == nullptr) {
        return;
    }
    std::optional<std::size_t> named = hovered_;
    if (!named && has_focus_) {
        named = focused_;
    }
    const std::string caption = named && *named < cities_.size()
                                    ? fmt::format("{} — {}", cities_[*named].place, cities_[*named].region)
                                    : fmt::format("Selected: {}", current_zone_);
    text->draw_text(cr, caption, theme.text, {rect_.x0 + 10.0, rect_.y1 - 23.0}, vorn_ui::TextStyle::Regular, size,
                    static_cast<float>(std::max(rect_.width() - 20.0, 1.0)));
}

void TimeZoneMap::handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx)
{
    if (event.get<vorn_ui::PointerMove>() != nullptr) {
        if (const auto pointer = ctx.pointer(event)) {
            pointer_ = *pointer;
        }
        const auto hovered = pick(pointer_);
        if (hovered != hovered_) {
            hovered_ = hovered;
            ctx.changed = true;
        }
        return;
    }
    if (event.get<vorn_ui::PointerLeave>() != nullptr) {
        if (hovered_) {
            hovered_.reset();
            ctx.changed = true;
        }
        return;
    }
    if (const auto* button = event.get<vorn_ui::PointerButton>()) {
        if (button->button != vorn_ui::MouseButton::Left || !button->pressed) {
            return;
        }
        // The press's own position counts: a press can arrive without a move before it.
        if (const auto pointer = ctx.pointer(event)) {
            pointer_ = *pointer;
        }
        if (const auto city = pick(pointer_)) {
            select_zone(*city);
            ctx.request = ctx.node;
            ctx.changed = true;
            ctx.handled = true;
        }
        return;
    }
    const auto* key = event.get<vorn_ui::KeyDown>();
    if (key == nullptr || !has_focus_ || key->repeat || key->modifiers.any()) {
        return;
    }
    switch (key->key) {
    case Key::Enter:
    case Key::Space:
        if (focused_) {
            select_zone(*focused_);
        }
        break;
    case Key::Right: move_focus(1, 0); break;
    case Key::Left: move_focus(-1, 0); break;
    case Key::Up: move_focus(0, -1); break;
    case Key::Down: move_focus(0, 1); break;
    default: return;
    }
    ctx.changed = true;
    ctx.handled = true;
}

std::optional<std::string_view> TimeZoneMap::label() const
{
    return kWidgetLabel;
}

std::optional<std::string_view> TimeZoneMap::value_text() const
{
    if (!hovered_ || *hovered_ >= cities_.size()) {
        return std::nullopt;
    }
    return std::string_view(cities_[*hovered_].zone);
}

std::optional<std::uint8_t> TimeZoneMap::hit_test(Point point) const
{
    if (pick(point)) {
        return vorn_ui::hit_code_control;
    }
    return std::nullopt;
}

void TimeZoneMap::set_focus(bool focused)
{
    has_focus_ = focused;
    if (focused && !focused_ && !cities_.empty()) {
        focused_ = city_of(current_zone_).value_or(0);
    }
}

std::optional<vorn_ui::AccessNode> TimeZoneMap::accessibility() const
{
    const bool focus_valid = focused_ && *focused_ < cities_.size();
    vorn_ui::AccessNode node = vorn_ui::AccessNode(vorn_ui::access_role::image)
                                   .with_label(kAccessLabel)
                                   .with_description(kAccessDescription)
                                   .with_id(std::string(kWidgetLabel))
                                   .with_value(focus_valid ? cities_[*focused_].zone : current_zone_)
                                   .with_bounds(rect_);
    node.focused = has_focus_;
    node.disabled = cities_.empty();
    return std::move(node)
        .with_action(vorn_ui::Action::Kind::Activate)
        .with_action(vorn_ui::Action::Kind::SetValue)
        .with_action(vorn_ui::Action::Kind::Focus);
}

bool TimeZoneMap::perform_action(const vorn_ui::Action& action, vorn_ui::ActionCtx /*ctx*/)
{
    std::optional<std::size_t> city;
    switch (action.kind) {
    case vorn_ui::Action::Kind::SetValue: city = city_of(action.text); break;
    case vorn_ui::Action::Kind::Activate:
        city = focused_ && *focused_ < cities_.size() ? focused_ : city_of(current_zone_);
        break;
    default: return false;
    }
    if (!city) {
        return false;
    }
    select_zone(*city);
    return true;
}

std::optional<vorn_ui::ControlInvocation> TimeZoneMap::take_control_invocation()
{
    return emitter_ ? emitter_->take() : std::nullopt;
}

}  // namespace settings::panes::time_date
