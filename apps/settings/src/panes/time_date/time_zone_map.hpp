#pragma once
// TimeZoneMap: the world map of the Time & Date page, a second way to choose the time zone besides the drop-down.
//
// A card with a longitude/latitude grid in equirectangular projection and one dot per city of the zone catalogue
// (zone_catalogue.hpp); no coastlines, and no guess at where the user is. The city of the current zone is the
// larger accent dot. Under the map a label names the city under the pointer (or the keyboard-focused one), else
// the selected zone.
//
// Choosing:
//   - pointer: a press picks the nearest dot within 11 px and selects it;
//   - keys while focused: the arrows move the keyboard focus to the nearest city in that direction on screen
//     (nothing wraps around the antimeridian), Enter or Space select the focused city;
//   - assistive tools: SetValue with a zone selects that zone's city, Activate the focused (else the current) one.
// Selecting changes the map's current zone at once and asks for the zone through the bound "timezone" action of
// the Time & Date section (which becomes the operation SetTimezone); selecting the current zone asks nothing.
// Without a bound action the pick is written into the page document at "time.timezone.edit" instead, and the map
// follows changes of "time.timezone".
//
//   auto map = TimeZoneMap(cities, current_zone).with_action(*catalogue::time_zone_binding());

#include "panes/time_date/zone_catalogue.hpp"
#include "vorn_ui/actions/action_emitter.hpp"
#include "vorn_ui/widget.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace settings::panes::time_date {

using vorn_ui::Point;
using vorn_ui::Rect;

// The document key the map writes and reads without a bound action.
inline constexpr std::string_view kTimezoneKey = "time.timezone";

class TimeZoneMap final : public vorn_ui::Widget {
public:
    VORN_WIDGET_IDENTITY("settings::panes::time_date::TimeZoneMap", "TimeZoneMap")

    static constexpr float kHeight = 176.0f;
    static constexpr double kPickRadius = 11.0;

    // The keyboard focus starts on the city of the current zone (none when that zone has no city).
    TimeZoneMap(std::vector<TimeZoneCity> cities, std::string current_zone);

    [[nodiscard]] TimeZoneMap with_action(vorn_actions::ActionBinding<std::string> binding) &&;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed() && { return std::make_unique<TimeZoneMap>(std::move(*this)); }

    [[nodiscard]] const std::vector<TimeZoneCity>& cities() const { return cities_; }
    [[nodiscard]] const std::string& current_zone() const { return current_zone_; }
    [[nodiscard]] std::optional<std::size_t> focused_city() const { return focused_; }
    [[nodiscard]] std::optional<std::size_t> hovered_city() const { return hovered_; }
    // The index of the city of a zone, none when no city has it.
    [[nodiscard]] std::optional<std::size_t> city_of(std::string_view zone) const;

    // The part of a rectangle the dots are drawn in: 10 px in from the sides and the top, 34 px up from the bottom
    // (room for the label), never narrower or lower than 1 px.
    [[nodiscard]] static Rect map_area(const Rect& rect);
    // Where city `index` lies on the map; (0, 0) for an index outside the list.
    [[nodiscard]] Point project(std::size_t index) const;
    // The city nearest to `point` within kPickRadius (inclusive), the earlier one on a tie; none outside the
    // widget's rectangle.
    [[nodiscard]] std::optional<std::size_t> pick(Point point) const;
    // Moves the keyboard focus to the best city ahead in the screen direction (dx, dy); stays when none is ahead.
    void move_focus(int dx, int dy);
    // Changes by the program (a read of the machine, the drop-down's choice): shown, nothing asked. The keyboard
    // focus follows the shown zone's city unless the map has the focus, where the keyboard user's place is kept.
    // Each answers whether anything shown changed.
    bool show_zone(std::string_view zone);
    bool set_cities(std::vector<TimeZoneCity> cities);
    // Makes city `index` the current zone and asks for it (see above); nothing for an index outside the list or
    // for the current zone's own city.
    void select_zone(std::size_t index);

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    vorn_ui::NodeId build_layout(flex_layout::Tree& tree, const vorn_ui::StyleContext& style,
                                 vorn_ui::NodeWidgetMap& widgets) override;
    void apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x, double parent_y) override;
    void draw(vorn_ui::DrawContext& ctx) const override;
    void handle_event(const vorn_ui::Event& event, vorn_ui::DispatchContext& ctx) override;
    [[nodiscard]] Rect get_rect() const override { return rect_; }
    [[nodiscard]] std::optional<std::string_view> label() const override;
    [[nodiscard]] std::optional<std::string_view> value_text() const override;
    [[nodiscard]] std::optional<std::uint8_t> hit_test(Point point) const override;
    [[nodiscard]] bool is_focusable() const override { return !cities_.empty(); }
    void set_focus(bool focused) override;
    [[nodiscard]] bool is_focused() const override { return has_focus_; }
    [[nodiscard]] std::optional<vorn_ui::AccessNode> accessibility() const override;
    bool perform_action(const vorn_ui::Action& action, vorn_ui::ActionCtx ctx) override;
    [[nodiscard]] bool needs_commit() const override { return commit_pending_; }
    void on_commit() override { commit_pending_ = false; }
    std::optional<vorn_ui::ControlInvocation> take_control_invocation() override;

private:
    std::vector<TimeZoneCity> cities_;
    std::string current_zone_;
    std::optional<std::size_t> focused_;
    std::optional<std::size_t> hovered_;
    Point pointer_{};
    std::optional<vorn_ui::ActionEmitter<std::string>> emitter_;
    Rect rect_{};
    bool has_focus_ = false;
    bool commit_pending_ = false;
    // Without an emitter: a pick that waits for the next sync to reach the document, and the last stored zone the
    // map adopted (so that a pick is not undone by the older stored value).
    std::optional<std::string> pending_edit_;
    std::optional<std::string> adopted_stored_;
};

}  // namespace settings::panes::time_date
