// The time-zone map in a headless window: where the dots are, what the pointer and the keys pick, what a selection
// asks for, what it draws and what assistive tools are told.

#include "actions/catalogue/bindings.hpp"
#include "page_doc/page_doc.hpp"
#include "panes/time_date/time_zone_map.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets/container.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace settings::panes::time_date {
namespace {

using vorn_ui::HeadlessWindow;
using vorn_ui::Key;

TimeZoneCity city(std::string zone, double latitude, double longitude)
{
    return {.zone = zone,
            .region = zone_region(zone),
            .place = zone_place(zone),
            .latitude = static_cast<std::int32_t>(std::llround(latitude * 1e6)),
            .longitude = static_cast<std::int32_t>(std::llround(longitude * 1e6))};
}

// The first node of an accessibility tree with this label, depth first (null when there is none).
nlohmann::ordered_json find_node(const nlohmann::ordered_json& node, std::string_view label)
{
    if (node.value("label", "") == label) {
        return node;
    }
    for (const auto& child : node.value("children", nlohmann::ordered_json::array())) {
        if (auto found = find_node(child, label); !found.is_null()) {
            return found;
        }
    }
    return nullptr;
}

// In catalogue order (west to east).
std::vector<TimeZoneCity> sample_cities()
{
    return {
        city("Pacific/West_End", 0.0, -179.0),  // 0
        city("America/Lima", -12.0, -77.0),     // 1
        city("Atlantic/Null_Island", 0.0, 0.0), // 2
        city("Europe/Berlin", 52.5, 13.4),      // 3
        city("Africa/Lagos", 6.5, 13.4),        // 4
        city("Asia/Kolkata", 22.5, 88.4),       // 5
        city("Pacific/Fiji", -18.1, 178.4),     // 6: easternmost
    };
}

// The map 20 px inside a 420 × 216 window: its rectangle is (20, 20)–(400, 196), its map area (30, 30)–(390, 162),
// one pixel per degree of longitude.
struct Fixture {
    explicit Fixture(std::vector<TimeZoneCity> cities, std::string zone = "Europe/Berlin", bool bound = true)
    {
        auto built = TimeZoneMap(std::move(cities), std::move(zone));
        if (bound) {
            built = std::move(built).with_action(*actions::catalogue::time_zone_binding());
        }
        auto owned = std::move(built).boxed();
        map = static_cast<TimeZoneMap*>(owned.get());
        root = std::make_unique<vorn_ui::Container>(vorn_ui::Container(std::move(owned)).with_padding(20.0f));
        window = std::make_unique<HeadlessWindow>(*root, document, vorn_ui::WindowSize{420, 216});
        window->frame();
    }

    // Every invocation queued so far, as the zone it asks for.
    std::vector<std::string> asked()
    {
        std::vector<std::string> zones;
        while (auto invocation = map->take_control_invocation()) {
            EXPECT_EQ(invocation->resource_id, "settings.section:time_date");
            EXPECT_EQ(invocation->action_id, "timezone");
            zones.push_back(invocation->arguments.json().at("choice").get<std::string>());
        }
        return zones;
    }

    page_doc::Document document;
    std::unique_ptr<vorn_ui::Widget> root;
    TimeZoneMap* map = nullptr;
    std::unique_ptr<HeadlessWindow> window;
};

TEST(TimeZoneMap, ProjectsEquirectangularlyIntoTheMapArea)
{
    Fixture f(sample_cities());
    EXPECT_EQ(f.map->get_rect(), (Rect{20, 20, 400, 196}));
    EXPECT_EQ(TimeZoneMap::map_area(f.map->get_rect()), (Rect{30, 30, 390, 162}));
    EXPECT_EQ(f.map->project(2), (Point{210, 96}));   // 0°, 0°: the centre of the area
    EXPECT_EQ(f.map->project(0), (Point{31, 96}));    // 179° W
    EXPECT_DOUBLE_EQ(f.map->project(3).y, 30 + (90 - 52.5) * 132 / 180);
    EXPECT_EQ(f.map->project(99), (Point{0, 0}));
    // A tiny rectangle keeps an area of one pixel.
    EXPECT_EQ(TimeZoneMap::map_area(Rect{0, 0, 5, 5}), (Rect{10, 10, 11, 11}));
}

TEST(TimeZoneMap, PointerPicksTheNearestDotWithinElevenPixels)
{
    Fixture f(sample_cities());
    const Point null_island = f.map->project(2);
    EXPECT_EQ(f.map->pick({null_island.x - 11.0, null_island.y}), 2U);
    EXPECT_EQ(f.map->pick({null_island.x, null_island.y + 11.0}), 2U);
    EXPECT_EQ(f.map->pick({null_island.x - 11.01, null_island.y}), std::nullopt);
    EXPECT_EQ(f.map->pick({null_island.x, null_island.y + 11.01}), std::nullopt);
    EXPECT_EQ(f.map->hit_test(null_island), vorn_ui::hit_code_control);
    EXPECT_EQ(f.map->hit_test({null_island.x - 11.01, null_island.y}), std::nullopt);

    // Berlin and Lagos share a meridian; the nearer one wins.
    const Point berlin = f.map->project(3);
    const Point lagos = f.map->project(4);
    EXPECT_EQ(f.map->pick({berlin.x, berlin.y + 5.0}), 3U);
    EXPECT_EQ(f.map->pick({lagos.x, lagos.y - 5.0}), 4U);

}

TEST(TimeZoneMap, NothingIsPickedOutsideTheWidget)
{
    // The pole lies 10 px below the widget's top edge, the antimeridian 10 px left of its right edge.
    Fixture f({city("Arctic/Pole", 90.0, 0.0), city("Pacific/Date_Line", 0.0, 180.0)});
    EXPECT_EQ(f.map->project(0), (Point{210, 30}));
    EXPECT_EQ(f.map->pick({210, 19.5}), std::nullopt);
    EXPECT_EQ(f.map->pick({210, 20}), 0U);
    EXPECT_EQ(f.map->pick({400, 96}), std::nullopt) << "the right edge is outside";
    EXPECT_EQ(f.map->pick({399.5, 96}), 1U);
}

TEST(TimeZoneMap, TwoCitiesOnOnePointPickTheEarlierOne)
{
    Fixture f({city("Zone/First", 10.0, 10.0), city("Zone/Second", 10.0, 10.0)});
    const Point at = f.map->project(0);
    EXPECT_EQ(f.map->pick(at), 0U);
    EXPECT_EQ(f.map->pick({at.x + 3.0, at.y + 4.0}), 0U);
}

TEST(TimeZoneMap, HoverNamesTheCityAndAClickAsksForItsZoneOnce)
{
    Fixture f(sample_cities());
    const Point lima = f.map->project(1);
    f.window->move(lima.x + 2.0, lima.y);
    EXPECT_EQ(f.map->hovered_city(), 1U);
    EXPECT_EQ(f.map->value_text(), "America/Lima");
    EXPECT_TRUE(f.window->find_text_bounds("Lima — America"));

    f.window->click(lima.x + 2.0, lima.y);
    EXPECT_EQ(f.map->current_zone(), "America/Lima") << "the map shows the pick at once";
    EXPECT_EQ(f.map->focused_city(), 1U);
    EXPECT_EQ(f.window->focused(), f.map) << "a pick takes the keyboard focus";
    EXPECT_THAT(f.asked(), ::testing::ElementsAre("America/Lima"));

    // The current zone's city again, by pointer or Enter: nothing more is asked.
    f.window->click(lima.x, lima.y);
    f.window->key(Key::Enter);
    EXPECT_THAT(f.asked(), ::testing::IsEmpty());

    f.window->leave();
    EXPECT_EQ(f.map->hovered_city(), std::nullopt);
    EXPECT_EQ(f.map->value_text(), std::nullopt);

    // A click on no dot changes nothing.
    f.window->click(300, 150);
    EXPECT_EQ(f.map->current_zone(), "America/Lima");
    EXPECT_THAT(f.asked(), ::testing::IsEmpty());
}

TEST(TimeZoneMap, TheAskedZoneBecomesTheSetTimezoneOperation)
{
    Fixture f(sample_cities());
    f.map->select_zone(5);
    auto invocation = f.map->take_control_invocation();
    ASSERT_TRUE(invocation);
    const auto binding = actions::catalogue::time_zone_binding();
    const auto encoded = binding->spec().build_json(invocation->arguments.json());
    ASSERT_TRUE(encoded) << encoded.error().display();
    EXPECT_EQ(encoded->kind, "settings.time-date-operation");
    EXPECT_EQ(encoded->payload, R"({"SetTimezone":{"timezone":"Asia/Kolkata"}})");
}

TEST(TimeZoneMap, ArrowKeysMoveTheFocusWithoutChangingTheZone)
{
    Fixture f(sample_cities(), "Atlantic/Null_Island");
    f.window->tab();
    ASSERT_EQ(f.window->focused(), f.map);
    EXPECT_EQ(f.map->focused_city(), 2U) << "focus starts on the current zone's city";

    struct Step {
        Key key;
        std::size_t focused;
    };
    // From Null Island: east to Lagos (nearly straight ahead) rather than Berlin, north to Berlin, west back to
    // Null Island, west to Lima, south to Fiji (the only city farther south, however far east), and east of Fiji
    // there is nothing: no wrap at the antimeridian.
    for (const auto& step : std::vector<Step>{{Key::Right, 4},
                                              {Key::Up, 3},
                                              {Key::Left, 2},
                                              {Key::Left, 1},
                                              {Key::Down, 6},
                                              {Key::Right, 6}}) {
        f.window->key(step.key);
        EXPECT_EQ(f.map->focused_city(), step.focused);
    }
    EXPECT_EQ(f.map->current_zone(), "Atlantic/Null_Island");
    EXPECT_THAT(f.asked(), ::testing::IsEmpty());

    // Nor west of the western end.
    f.map->select_zone(0);
    (void)f.asked();
    f.window->key(Key::Left);
    EXPECT_EQ(f.map->focused_city(), 0U);

    // Keys with a modifier or held down are not the map's.
    f.window->key(Key::Right, {.shift = true});
    EXPECT_EQ(f.map->focused_city(), 0U);
    f.window->send(vorn_ui::KeyDown{.key = Key::Right, .repeat = true});
    EXPECT_EQ(f.map->focused_city(), 0U);

    // Space selects the focused city like Enter.
    f.window->key(Key::Right);
    f.window->key(Key::Space);
    EXPECT_THAT(f.asked(), ::testing::ElementsAre("America/Lima"));
}

TEST(TimeZoneMap, FocusStartsOnTheFirstCityWhenTheCurrentZoneHasNone)
{
    Fixture f(sample_cities(), "Etc/UTC");
    EXPECT_EQ(f.map->focused_city(), std::nullopt);
    f.window->tab();
    EXPECT_EQ(f.map->focused_city(), 0U);
    EXPECT_TRUE(f.window->find_text_bounds("West End — Pacific")) << "while focused the label names the focused city";
    f.window->key(Key::Enter);
    EXPECT_THAT(f.asked(), ::testing::ElementsAre("Pacific/West_End"));
}

TEST(TimeZoneMap, AccessibilityNodeAndActions)
{
    Fixture f(sample_cities());
    auto node = f.map->accessibility();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->label, "Time-zone map");
    EXPECT_EQ(node->description,
              "Installed IANA time zones with published coordinates. Use arrow keys to move and Enter to apply; the "
              "searchable selector includes aliases without coordinates.");
    EXPECT_EQ(node->value, "Europe/Berlin");
    EXPECT_FALSE(node->focused);
    EXPECT_FALSE(node->disabled);
    EXPECT_EQ(f.map->label(), "time.timezone-map");

    // In the window's tree, with its state once focused.
    f.window->tab();
    f.window->key(Key::Down);
    const auto map_node = find_node(f.window->accessibility_json(), "Time-zone map");
    EXPECT_EQ(map_node.at("label"), "Time-zone map");
    EXPECT_EQ(map_node.at("value"), "Africa/Lagos") << "the keyboard-focused city";
    EXPECT_THAT(map_node.at("states").get<std::vector<std::string>>(), ::testing::Contains("focused"));

    EXPECT_TRUE(f.map->perform_action(vorn_ui::Action::set_value("Asia/Kolkata"), {}));
    EXPECT_FALSE(f.map->perform_action(vorn_ui::Action::set_value("Asia/Kolkat"), {}));
    EXPECT_FALSE(f.map->perform_action(vorn_ui::Action{vorn_ui::Action::Kind::Increment}, {}));
    EXPECT_THAT(f.asked(), ::testing::ElementsAre("Asia/Kolkata"));
    f.map->move_focus(-1, 0);
    EXPECT_TRUE(f.map->perform_action(vorn_ui::Action::activate(), {}));
    EXPECT_THAT(f.asked(), ::testing::ElementsAre("Africa/Lagos"));
}

TEST(TimeZoneMap, WithoutCitiesItSaysSoAndTakesNoFocus)
{
    Fixture f({}, "Europe/Amsterdam");
    EXPECT_FALSE(f.map->is_focusable());
    f.window->tab();
    EXPECT_EQ(f.window->focused(), nullptr);
    EXPECT_TRUE(f.window->find_text_bounds("Map coordinates are unavailable; use the selector above."));
    EXPECT_TRUE(f.window->find_text_bounds("Selected: Europe/Amsterdam"));
    const auto node = f.map->accessibility();
    EXPECT_TRUE(node->disabled);
    EXPECT_EQ(node->value, "Europe/Amsterdam");
    EXPECT_FALSE(f.map->perform_action(vorn_ui::Action::activate(), {}));
}

TEST(TimeZoneMap, DrawsTheGridTheDotsAndTheAccentDot)
{
    Fixture f(sample_cities());
    HeadlessWindow& w = *f.window;
    const auto& theme = w.theme();
    const vorn_ui::Color dot = theme.surface.mix(theme.text, 2.0f / 3.0f);

    const Point berlin = f.map->project(3);  // the current zone: accent, radius 4.5
    EXPECT_TRUE(w.pixel(berlin.x, berlin.y).near(theme.accent)) << w.pixel(berlin.x, berlin.y).to_hex();
    EXPECT_TRUE(w.pixel(berlin.x + 3.5, berlin.y).near(theme.accent));
    const Point lima = f.map->project(1);  // any other city: foreground at two thirds, radius 2.2
    EXPECT_TRUE(w.pixel(lima.x, lima.y).near(dot, 20)) << w.pixel(lima.x, lima.y).to_hex();
    EXPECT_TRUE(w.pixel(lima.x + 3.5, lima.y).near(theme.surface));

    // The grid: the 0° meridian and the equator, away from any dot.
    EXPECT_TRUE(w.pixel(210, 40).near(theme.outline, 4)) << w.pixel(210, 40).to_hex();
    EXPECT_TRUE(w.pixel(100, 96).near(theme.outline, 4));
    EXPECT_TRUE(w.pixel(100, 100).near(theme.surface, 4));
    EXPECT_TRUE(w.find_text_bounds("Selected: Europe/Berlin"));

    // Focused: a ring around the card and one around the focused city.
    EXPECT_FALSE(w.pixel(17, 100).near(theme.focus));
    w.tab();
    EXPECT_TRUE(w.pixel(17, 100).near(theme.focus)) << w.pixel(17, 100).to_hex();
    EXPECT_TRUE(w.pixel(berlin.x + 8.5, berlin.y).near(theme.focus)) << w.pixel(berlin.x + 8.5, berlin.y).to_hex();
    EXPECT_FALSE(w.pixel(lima.x + 6.2, lima.y).near(theme.focus));
    w.move(lima.x, lima.y);
    EXPECT_TRUE(w.pixel(lima.x + 6.2, lima.y).near(theme.focus, 40)) << "the hovered city has a ring too";
}

TEST(TimeZoneMap, WithoutAnActionThePickGoesIntoTheDocument)
{
    Fixture f(sample_cities(), "Europe/Berlin", /*bound=*/false);
    const Point lima = f.map->project(1);
    f.window->click(lima.x, lima.y);
    EXPECT_EQ(page_doc::doc_text(f.document, "time.timezone.edit"), "America/Lima");
    EXPECT_TRUE(f.map->needs_commit());
    f.map->on_commit();
    EXPECT_FALSE(f.map->needs_commit());
    EXPECT_EQ(f.map->take_control_invocation(), std::nullopt);

    // The stored zone is followed when it changes, and only then.
    f.document.put_str("time.timezone", "Asia/Kolkata");
    f.window->frame();
    EXPECT_EQ(f.map->current_zone(), "Asia/Kolkata");
    f.map->select_zone(2);
    f.window->frame();
    EXPECT_EQ(f.map->current_zone(), "Atlantic/Null_Island") << "an older stored zone does not undo a pick";
    EXPECT_EQ(page_doc::doc_text(f.document, "time.timezone.edit"), "Atlantic/Null_Island");
}

}  // namespace
}  // namespace settings::panes::time_date
