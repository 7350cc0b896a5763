// The sample window with all nineteen toolkit widgets, rendered headless in the dark, light and high-contrast
// themes: where things are drawn and in which colours (probes, not picture bytes), its accessibility tree, and
// injected clicks and keys that change the controls and their document keys.

#include "vorn_ui/headless.hpp"
#include "vorn_ui/testing/all_widgets_page.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <functional>
#include <set>

namespace vorn_ui {
namespace {

void keep_picture(const HeadlessWindow& w, const std::string& name)
{
    if (const char* dir = std::getenv("VORN_PICTURE_DIR")) {
        ASSERT_TRUE(w.png(std::string(dir) + "/" + name + ".png"));
    }
}

template <class W = Widget>
std::vector<W*> find_widgets(Widget& root, std::string_view name)
{
    std::vector<W*> found;
    const std::function<void(Widget&)> visit = [&](Widget& w) {
        if (w.widget_name() == name) {
            found.push_back(static_cast<W*>(&w));
        }
        for (Widget* child : w.children_mut()) {
            visit(*child);
        }
    };
    visit(root);
    return found;
}

std::vector<const nlohmann::ordered_json*> find_nodes(const nlohmann::ordered_json& node, std::string_view role)
{
    std::vector<const nlohmann::ordered_json*> found;
    const std::function<void(const nlohmann::ordered_json&)> visit = [&](const nlohmann::ordered_json& n) {
        if (n.value("role", "") == role) {
            found.push_back(&n);
        }
        if (n.contains("children")) {
            for (const auto& child : n["children"]) {
                visit(child);
            }
        }
    };
    visit(node);
    return found;
}

Point centre(const Rect& r) { return {(r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0}; }

struct Sample {
    page_doc::Document doc;
    SharedLockedText password = LockedText::create();
    LocalState<std::string> search{std::string{}};
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<HeadlessWindow> window;

    explicit Sample(Theme theme = Theme::dark(), WindowSize size = {1280, 800})
    {
        testing::seed_controls_document(doc);
        shell = testing::all_widgets_window(password, search);
        HeadlessOptions options;
        options.theme = std::move(theme);
        window = std::make_unique<HeadlessWindow>(*shell, doc, size, options);
        window->frame();
    }
    template <class W>
    W& only(std::string_view name, std::size_t index = 0)
    {
        auto found = find_widgets<W>(*shell, name);
        EXPECT_GT(found.size(), index) << name;
        return *found.at(index);
    }
};

TEST(SamplePage, HoldsAllNineteenWidgets)
{
    Sample s;
    std::set<std::string, std::less<>> names;
    const std::function<void(Widget&)> visit = [&](Widget& w) {
        names.emplace(w.widget_name());
        for (Widget* child : w.children_mut()) {
            visit(*child);
        }
    };
    visit(*s.shell);
    for (const char* name : {"Row", "Column", "Container", "AppShell", "Spacer", "Card", "Scrollable", "Text", "Badge",
                             "ProgressBar", "Sparkline", "IconWidget", "QrWidget", "Button", "Toggle", "Slider",
                             "Dropdown", "TextInput", "ShortcutRecorder"}) {
        EXPECT_TRUE(names.contains(name)) << name;
    }
}

class SampleThemes : public ::testing::TestWithParam<std::string> {
protected:
    static Theme theme_of(const std::string& name)
    {
        if (name == "light") {
            return Theme::light();
        }
        if (name == "high-contrast") {
            return Theme::high_contrast_theme();
        }
        return Theme::dark();
    }
};

TEST_P(SampleThemes, ControlsAreDrawnWhereTheLayoutPutThem)
{
    Sample s(theme_of(GetParam()));
    HeadlessWindow& w = *s.window;
    keep_picture(w, "all-widgets-" + GetParam());
    const Theme& theme = w.theme();

    // The sidebar and the search field on top of it.
    auto& search = s.only<TextInput>("TextInput", 0);
    EXPECT_EQ(search.label(), "settings.search");
    const Rect field = search.get_rect();
    EXPECT_LT(field.x1, 264.0);
    EXPECT_LT(field.y1, 80.0);
    const Rect placeholder = *w.find_text_bounds("Search settings");
    EXPECT_GT(placeholder.x0, field.x0 + 20.0);  // after the magnifier
    EXPECT_LT(placeholder.x1, field.x1);
    EXPECT_GT(w.coverage(placeholder, theme.text_secondary, 60), 0.03);

    // The toggle is on: its track is filled with the accent, the knob at its right end.
    auto& toggle = s.only<Toggle>("Toggle");
    const Rect track = toggle.track_rect();
    EXPECT_TRUE(w.pixel(track.x0 + track.width() * 0.2, centre(track).y).near(theme.accent, 10));
    EXPECT_FALSE(w.pixel(track.x1 - track.height() / 2.0, centre(track).y).near(theme.accent, 10));

    // The slider at 60 %: accent up to the handle, the plain track after it.
    auto& slider = s.only<Slider>("Slider");
    const Rect rail = slider.track_rect();
    EXPECT_TRUE(w.pixel(rail.x0 + rail.width() * 0.3, centre(rail).y).near(theme.accent, 10));
    EXPECT_FALSE(w.pixel(rail.x0 + rail.width() * 0.9, centre(rail).y).near(theme.accent, 30));

    // The texts of the drop-down, the text field and the recorder, inside their widgets.
    const auto inside = [&](std::string_view text, const Widget& widget, std::optional<Color> ink = std::nullopt) {
        const std::optional<Rect> bounds = w.find_text_bounds(text);
        ASSERT_TRUE(bounds) << text;
        const Rect r = widget.get_rect();
        EXPECT_GE(bounds->x0, r.x0) << text;
        EXPECT_LE(bounds->x1, r.x1) << text;
        EXPECT_GE(bounds->y0, r.y0 - 1.0) << text;
        EXPECT_LE(bounds->y1, r.y1 + 1.0) << text;
        EXPECT_GT(w.coverage(*bounds, ink.value_or(theme.text), 60), 0.03) << text;
    };
    inside("5 GHz", s.only<Dropdown>("Dropdown"));
    inside("Home 5G", s.only<TextInput>("TextInput", 1));
    inside("Super+T", s.only<ShortcutRecorder>("ShortcutRecorder"));
    inside("Reset", s.only<Button>("Button", 1));

    // The primary button is filled with the accent; the destructive one is drawn in the danger tone.
    auto& apply = s.only<Button>("Button", 0);
    const Rect a = apply.get_rect();
    EXPECT_TRUE(w.pixel(a.x0 + 4.0, centre(a).y).near(theme.accent, 10));
    const Rect forget = *w.find_text_bounds("Forget network");
    EXPECT_GT(w.coverage(forget, theme.tone(Tone::Danger), 50), 0.03);

    // The password field shows nothing yet: its placeholder only.
    inside("Enter password", s.only<TextInput>("TextInput", 2), theme.text_secondary);
}

INSTANTIATE_TEST_SUITE_P(Themes, SampleThemes, ::testing::Values("dark", "light", "high-contrast"));

TEST(SamplePage, AccessibilityTree)
{
    Sample s;
    s.password->set("tr0ub4dor");
    s.window->frame();
    const nlohmann::ordered_json tree = s.window->accessibility_json();

    const auto toggles = find_nodes(tree, "toggle");
    ASSERT_EQ(toggles.size(), 1U);
    EXPECT_EQ((*toggles[0])["label"], "Wi-Fi");
    EXPECT_THAT((*toggles[0])["states"], ::testing::Contains("checked"));

    const auto sliders = find_nodes(tree, "slider");
    ASSERT_EQ(sliders.size(), 1U);
    EXPECT_EQ((*sliders[0])["value"], "60%");

    const auto combos = find_nodes(tree, "combo_box");
    ASSERT_EQ(combos.size(), 1U);
    EXPECT_EQ((*combos[0])["value"], "5 GHz");
    EXPECT_THAT((*combos[0])["states"], ::testing::Contains("collapsed"));

    const auto search = find_nodes(tree, "search_input");
    ASSERT_EQ(search.size(), 1U);
    EXPECT_EQ((*search[0])["label"], "Search settings");

    const auto fields = find_nodes(tree, "text_input");
    ASSERT_EQ(fields.size(), 1U);
    EXPECT_EQ((*fields[0])["value"], "Home 5G");

    const auto secrets = find_nodes(tree, "password_input");
    ASSERT_EQ(secrets.size(), 1U);
    EXPECT_EQ((*secrets[0])["label"], "Enter password");
    EXPECT_FALSE(secrets[0]->contains("value"));

    const auto recorders = find_nodes(tree, "key_capture");
    ASSERT_EQ(recorders.size(), 1U);
    EXPECT_EQ((*recorders[0])["value"], "Super+T");

    std::vector<std::string> buttons;
    for (const auto* node : find_nodes(tree, "button")) {
        buttons.push_back((*node)["label"]);
        EXPECT_TRUE(node->contains("bounds"));
        EXPECT_THAT((*node)["actions"], ::testing::Contains("activate"));
    }
    EXPECT_THAT(buttons, ::testing::IsSupersetOf({"Apply", "Reset", "Forget network"}));

    const auto images = find_nodes(tree, "image");
    ASSERT_EQ(images.size(), 1U);
    EXPECT_EQ((*images[0])["label"], "QR code");

    // Neither the typed password nor the QR code's content appear anywhere.
    const std::string dump = tree.dump();
    EXPECT_EQ(dump.find("tr0ub4dor"), std::string::npos);
    EXPECT_EQ(dump.find("correct horse"), std::string::npos);
}

TEST(SamplePage, ClicksAndKeysChangeControlsAndTheirKeys)
{
    Sample s;
    HeadlessWindow& w = *s.window;

    // Toggle: a click turns it off.
    w.click(centre(s.only<Toggle>("Toggle").get_rect()).x, centre(s.only<Toggle>("Toggle").get_rect()).y);
    EXPECT_EQ(page_doc::doc_bool(s.doc, "sample.wifi"), false);

    // Slider: Tab from the toggle reaches it; End moves it to the end.
    w.tab();
    ASSERT_EQ(w.focused(), &s.only<Slider>("Slider"));
    w.key(Key::End);
    EXPECT_EQ(page_doc::doc_f64(s.doc, "sample.brightness"), 1.0);
    w.key(Key::Left);
    EXPECT_NEAR(*page_doc::doc_f64(s.doc, "sample.brightness"), 0.99, 1e-9);

    // Dropdown: Tab, Space opens the list, Up and Enter choose "2.4 GHz".
    w.tab();
    auto& band = s.only<Dropdown>("Dropdown");
    ASSERT_EQ(w.focused(), &band);
    w.key(Key::Space);
    ASSERT_TRUE(band.is_open());
    w.key(Key::Up);
    w.key(Key::Enter);
    EXPECT_EQ(page_doc::doc_text(s.doc, "sample.band"), "2.4 GHz");

    // Text field: a click, select all, type a new name.
    auto& name = s.only<TextInput>("TextInput", 1);
    w.click(centre(name.get_rect()).x, centre(name.get_rect()).y);
    w.key_char(U'a', {.control = true});
    w.type("Café Wi-Fi");
    EXPECT_EQ(page_doc::doc_text(s.doc, "sample.name"), "Café Wi-Fi");
    EXPECT_TRUE(w.find_text_bounds("Café Wi-Fi"));

    // Password field: typing goes to the shared buffer only; the window shows bullets.
    auto& password = s.only<TextInput>("TextInput", 2);
    w.click(centre(password.get_rect()).x, centre(password.get_rect()).y);
    w.type("s3cret");
    s.password->with_text([](std::string_view typed) { EXPECT_EQ(typed, "s3cret"); });
    EXPECT_TRUE(w.find_text_bounds("••••••"));
    EXPECT_FALSE(w.find_text_bounds("s3cret"));

    // Search field: typing publishes into its cell.
    auto& search = s.only<TextInput>("TextInput", 0);
    w.click(centre(search.get_rect()).x, centre(search.get_rect()).y);
    w.type("blue");
    EXPECT_EQ(s.search.get(), "blue");

    // Button: a click writes its press key.
    w.click(centre(s.only<Button>("Button", 0).get_rect()).x, centre(s.only<Button>("Button", 0).get_rect()).y);
    EXPECT_EQ(page_doc::doc_bool(s.doc, "sample.apply"), true);
}

}  // namespace
}  // namespace vorn_ui
