// The interactive controls: Button, Toggle and TextInput. Their fixed answers, and their behaviour in a headless
// window (pointer, keys, focus), with the page document, state cells, shared buffers and bound actions.

#include "vorn_ui/access.hpp"
#include "vorn_ui/clipboard.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/locked_text.hpp"
#include "vorn_ui/testing/stub_document.hpp"
#include "vorn_ui/utf8.hpp"
#include "vorn_ui/widgets.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace vorn_ui {
namespace {

using page_doc::Document;

// A resource with one action of each value kind the controls bind to.
vorn_actions::Resource control_resource()
{
    const auto handler = [](const vorn_actions::ActionArgs& args) -> std::expected<vorn_actions::EncodedAction, vorn_actions::ActionError> {
        return vorn_actions::EncodedAction{"test.operation", args.json().dump()};
    };
    vorn_actions::ActionSpec toggle("wifi", "Wi-Fi");
    toggle.params.emplace_back("value", "Enabled", vorn_actions::ParamType::Boolean);
    toggle.handler = handler;
    vorn_actions::ActionSpec name("name", "Name");
    name.params.emplace_back("value", "Name", vorn_actions::ParamType::Text);
    name.handler = handler;
    vorn_actions::ActionSpec press("refresh", "Refresh");
    press.handler = handler;
    vorn_actions::ActionSpec level("level", "Level");
    level.params.emplace_back("value", "Level", vorn_actions::ParamType::Number);
    level.handler = handler;
    vorn_actions::ActionSpec band("band", "Band");
    band.params.emplace_back("choice", "Band", vorn_actions::ParamType::Text);
    band.handler = handler;
    return vorn_actions::Resource("settings.section:test", "settings.section", "Test")
        .with_action(std::move(toggle))
        .with_action(std::move(name))
        .with_action(std::move(press))
        .with_action(std::move(level))
        .with_action(std::move(band));
}

template <class T>
std::expected<vorn_actions::ActionBinding<T>, vorn_actions::BindingError> settings_binding_for_test(
    const vorn_actions::Resource& resource, std::string_view action_id)
{
    return vorn_actions::ActionBinding<T>::for_action(
        resource, action_id, [](const T& value) { return nlohmann::ordered_json{{"value", value}}; });
}

class Availability final : public ActionAvailability {
public:
    explicit Availability(bool available) : available_(available) {}
    [[nodiscard]] bool is_available(const vorn_actions::ActionAddress& /*address*/) const override { return available_; }

private:
    bool available_;
};

// One column of controls in a small window with a document.
struct Window {
    Document doc;
    std::unique_ptr<Column> root = std::make_unique<Column>(Column().with_spacing(12.0f).with_padding(16.0f));
    std::unique_ptr<HeadlessWindow> window;

    template <class W>
    W& add(W widget)
    {
        auto owned = std::make_unique<W>(std::move(widget));
        W& ref = *owned;
        root->push(std::move(owned));
        return ref;
    }
    HeadlessWindow& open(WindowSize size = {480, 360})
    {
        window = std::make_unique<HeadlessWindow>(*root, doc, size);
        window->frame();
        return *window;
    }
    static Point centre(const Widget& w)
    {
        const Rect r = w.get_rect();
        return {(r.x0 + r.x1) / 2.0, (r.y0 + r.y1) / 2.0};
    }
    void click(const Widget& w)
    {
        const Point p = centre(w);
        window->click(p.x, p.y);
    }
};

// A memory clipboard installed for one test.
struct ScopedClipboard {
    MemoryClipboard memory;
    Clipboard* previous = install_clipboard(&memory);
    ~ScopedClipboard() { install_clipboard(previous); }
};

// ---- Button -------------------------------------------------------------------------------------------------------

TEST(Button, FixedAnswers)
{
    Button button("settings.network.refresh", "Refresh", "network.refresh");
    EXPECT_EQ(button.widget_name(), "Button");
    EXPECT_EQ(button.widget_type_name(), "vorn_ui::widget::button::Button");
    EXPECT_EQ(button.label(), "Refresh");
    EXPECT_TRUE(button.is_focusable());
    EXPECT_TRUE(button.is_enabled());  // no bound action
    EXPECT_FALSE(button.has_action_control_bindings());
    EXPECT_FALSE(button.value_text());
    button.set_value_text("report.pdf");
    EXPECT_EQ(button.value_text(), "report.pdf");

    Button off = Button("Remove").disabled().on_action(*vorn_actions::ActionBinding<vorn_actions::Unit>::unit_for(
        control_resource(), "refresh"));
    EXPECT_TRUE(off.has_action_control_bindings());
    EXPECT_FALSE(off.is_enabled());  // the enabled flag wins over an available action
    off.set_enabled(true);
    EXPECT_TRUE(off.is_enabled());
    off.refresh_control_action_availability(Availability(false));
    EXPECT_FALSE(off.is_enabled());
}

TEST(Button, AccessibleNameAndDescriptionAreSpokenWhileTheCaptionStaysItsLabel)
{
    const Button plain("input.source.1.up", "\u2191");
    const AccessNode plain_node = *plain.accessibility();
    EXPECT_EQ(plain_node.label, "\u2191");
    EXPECT_FALSE(plain_node.description);

    const Button named = Button("input.source.1.up", "\u2191")
                             .with_accessible_label("Move input source up")
                             .with_accessible_description("German");
    EXPECT_EQ(named.label(), "\u2191");  // finders and the drawn caption keep the caption
    const nlohmann::ordered_json dumped = access_node_json(*named.accessibility());
    EXPECT_EQ(dumped["label"], "Move input source up");
    EXPECT_EQ(dumped["description"], "German");
    EXPECT_EQ(dumped["id"], "input.source.1.up");

    // The second call wins; an empty text gives the caption back as the name and drops the description.
    const Button renamed = Button("Remove")
                               .with_accessible_label("Remove source")
                               .with_accessible_label("")
                               .with_accessible_description("French")
                               .with_accessible_description("");
    const AccessNode renamed_node = *renamed.accessibility();
    EXPECT_EQ(renamed_node.label, "Remove");
    EXPECT_FALSE(renamed_node.description);
}

TEST(Button, HitTestIsHalfOpen)
{
    Window w;
    Button& button = w.add(Button("Apply"));
    w.open();
    const Rect r = button.get_rect();
    ASSERT_GT(r.area(), 0.0);
    EXPECT_EQ(button.hit_test({r.x0, r.y0}), hit_code_control);
    EXPECT_FALSE(button.hit_test({r.x1, r.y0}));
    EXPECT_FALSE(button.hit_test({r.x0, r.y1}));
}

TEST(Button, ClickWritesItsKeyAndQueuesItsAction)
{
    Window w;
    int pressed = 0;
    Button& button = w.add(Button("settings.test.refresh", "Refresh", "test.refresh")
                               .on_press([&] { ++pressed; })
                               .on_action(*vorn_actions::ActionBinding<vorn_actions::Unit>::unit_for(
                                   control_resource(), "refresh")));
    w.open();
    w.click(button);
    EXPECT_EQ(page_doc::doc_bool(w.doc, "test.refresh"), true);
    EXPECT_EQ(pressed, 1);
    EXPECT_TRUE(button.is_focused());
    auto invocation = button.take_control_invocation();
    ASSERT_TRUE(invocation);
    EXPECT_EQ(invocation->action_id, "refresh");
    EXPECT_FALSE(button.take_control_invocation());

    // Enter and Space on the focused button press it too; a press that ends outside does nothing.
    w.window->key(Key::Enter);
    w.window->key(Key::Space);
    EXPECT_EQ(pressed, 3);
    const Rect r = button.get_rect();
    w.window->press(r.x0 + 2, r.y0 + 2);
    w.window->release(r.x1 + 40, r.y1 + 40);
    EXPECT_EQ(pressed, 3);
}

TEST(Button, BoundHandlerPublishesItsControlResource)
{
    bool ran = false;
    Button button = Button("about.identity-backup.button", "Create encrypted backup…").bind_action([&] { ran = true; });
    Document doc;
    const auto resources = button.resources(doc);
    ASSERT_EQ(resources.size(), 1U);
    EXPECT_EQ(resources[0].id, "vorn.control:about.identity-backup.button");
    EXPECT_TRUE(button.resource_operation_handlers().contains(std::string(control_invoke_kind)));
    EXPECT_TRUE(button.activate());
    auto invocation = button.take_control_invocation();
    ASSERT_TRUE(invocation);
    const vorn_actions::ActionSpec* spec = resources[0].find_action(invocation->action_id);
    ASSERT_NE(spec, nullptr);
    auto action = spec->build_json(invocation->arguments.json());
    ASSERT_TRUE(action);
    const ResourceOperationResult result =
        button.invoke_resource_operation_v2(OperationClass::Effect, action->kind, action->payload, doc);
    EXPECT_EQ(result.kind, ResourceOperationResult::Kind::Completed);
    EXPECT_TRUE(ran);
}

// ---- Toggle -------------------------------------------------------------------------------------------------------

TEST(Toggle, LabelsAndAccessibility)
{
    EXPECT_EQ(Toggle().label(), "toggle");
    EXPECT_EQ(Toggle().with_id("time.h24").label(), "time.h24");
    const Toggle on = Toggle("settings.time.h24", "time.h24").with_value(true).with_label("24-hour clock");
    const AccessNode node = *on.accessibility();
    EXPECT_EQ(role_name(node.role), "toggle");
    EXPECT_EQ(node.label, "24-hour clock");
    EXPECT_EQ(node.checked, true);
    EXPECT_EQ(node.id, "settings.time.h24");
}

TEST(Toggle, ClickAndKeysChangeTheDocumentKey)
{
    Window w;
    w.doc.put_bool("display.auto.edit", false);
    Toggle& toggle = w.add(Toggle("settings.display.auto", "display.auto.edit"));
    w.open();
    EXPECT_FALSE(toggle.value());
    w.click(toggle);
    EXPECT_TRUE(toggle.value());
    EXPECT_EQ(page_doc::doc_bool(w.doc, "display.auto.edit"), true);
    w.window->key(Key::Space);  // focused by the click
    EXPECT_EQ(page_doc::doc_bool(w.doc, "display.auto.edit"), false);

    // The page changes the key: the toggle follows.
    w.doc.put_bool("display.auto.edit", true);
    w.window->frame();
    EXPECT_TRUE(toggle.value());

    toggle.set_enabled(false);
    w.click(toggle);
    EXPECT_TRUE(toggle.value());
}

TEST(Toggle, StateCellAndAction)
{
    LocalState<bool> cell(false);
    Window w;
    Toggle& toggle =
        w.add(Toggle::from_state(cell).on_action(*settings_binding_for_test<bool>(control_resource(), "wifi")));
    w.open();
    w.click(toggle);
    EXPECT_TRUE(cell.get());
    auto invocation = toggle.take_control_invocation();
    ASSERT_TRUE(invocation);
    EXPECT_EQ(invocation->arguments.boolean("value"), true);

    ASSERT_TRUE(cell.publish(false));
    w.window->frame();
    EXPECT_FALSE(toggle.value());
}

// ---- TextInput ----------------------------------------------------------------------------------------------------

TEST(TextInput, FixedAnswers)
{
    EXPECT_EQ(TextInput().label(), "text_input");
    EXPECT_EQ(TextInput("").label(), "text_input");
    EXPECT_EQ(TextInput("settings.search").label(), "settings.search");
    const TextInput search = TextInput("settings.search").with_kind(text_input_kind::search);
    EXPECT_EQ(search.stored_code(), text_input_kind::search);
    EXPECT_TRUE(search.accepts_text_input());
    EXPECT_EQ(search.widget_type_name(), "vorn_ui::widget::text_input::TextInput");
}

TEST(TextInput, FocusAndHitFollowAvailability)
{
    Window w;
    TextInput& field = w.add(TextInput("accounts.form.name").on_action(
        *settings_binding_for_test<std::string>(control_resource(), "name")));
    w.open();
    const Point inside = Window::centre(field);
    EXPECT_EQ(field.hit_test(inside), hit_code_text_field);
    field.refresh_control_action_availability(Availability(false));
    EXPECT_FALSE(field.is_focusable());
    EXPECT_FALSE(field.hit_test(inside));
    field.refresh_control_action_availability(Availability(true));
    EXPECT_EQ(field.hit_test(inside), hit_code_text_field);
    EXPECT_FALSE(TextInput().with_enabled(false).is_focusable());
}

// Editing keys on a focused field: each row starts from `text` with the caret at the end, applies the keys and
// expects the text and caret.
TEST(TextInput, EditingKeys)
{
    struct Step {
        Key key;
        Modifiers modifiers{};
        char32_t character = 0;
    };
    struct Case {
        std::string name;
        std::string text;
        std::vector<Step> steps;
        std::string typed;  // typed after the steps
        std::string expected;
        std::size_t caret;
    };
    const Modifiers ctrl{.control = true};
    const Modifiers shift{.shift = true};
    const std::vector<Case> cases{
        {"backspace removes a whole character", "café", {{Key::Backspace}}, "", "caf", 3},
        {"left moves over a whole character", "naïve", {{Key::Left}, {Key::Left}, {Key::Backspace}}, "", "nave", 2},
        {"typing at the caret", "wifi", {{Key::Home}}, "my ", "my wifi", 3},
        {"ctrl+backspace removes a word", "Office VPN", {{Key::Backspace, ctrl}}, "", "Office ", 7},
        {"ctrl+left then delete word", "alpha beta", {{Key::Left, ctrl}, {Key::Delete, ctrl}}, "", "alpha ", 6},
        {"shift selection is replaced", "hello world", {{Key::Left, ctrl}, {Key::End, shift}}, "there", "hello there", 11},
        {"select all and delete", "secret", {{Key::Character, ctrl, U'a'}, {Key::Delete}}, "", "", 0},
        {"undo restores the typed word", "base", {}, "ment", "base", 4},
        {"line breaks become spaces", "", {}, "a\nb\tc", "a b c", 5},
        {"invalid UTF-8 becomes a replacement mark", "", {}, "a\xff", "a\xEF\xBF\xBD", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Window w;
        TextInput& field = w.add(TextInput("t").with_initial_value(c.text));
        w.open();
        w.click(field);
        ASSERT_TRUE(field.is_focused());
        w.window->key(Key::End);
        for (const Step& step : c.steps) {
            if (step.key == Key::Character) {
                w.window->key_char(step.character, step.modifiers);
            } else {
                w.window->key(step.key, step.modifiers);
            }
        }
        if (!c.typed.empty()) {
            w.window->type(c.typed);
        }
        if (c.name.starts_with("undo")) {
            w.window->key_char(U'z', ctrl);
        }
        EXPECT_EQ(field.text(), c.expected);
        EXPECT_EQ(field.caret(), c.caret);
    }
}

TEST(TextInput, UndoRedoAndLengthLimit)
{
    Window w;
    TextInput& field = w.add(TextInput("t").with_max_length(5));
    w.open();
    w.click(field);
    w.window->type("ab");
    w.window->type("c");
    w.window->type(" de");  // a space starts a new undo step; five characters fit, so "e" is cut
    EXPECT_EQ(field.text(), "abc d");
    w.window->type("é");
    EXPECT_EQ(field.text(), "abc d");
    w.window->key_char(U'z', {.control = true});
    EXPECT_EQ(field.text(), "abc");
    w.window->key_char(U'z', {.control = true});
    EXPECT_EQ(field.text(), "");
    w.window->key_char(U'y', {.control = true});
    EXPECT_EQ(field.text(), "abc");
    w.window->key_char(U'z', {.shift = true, .control = true});
    EXPECT_EQ(field.text(), "abc d");
}

TEST(TextInput, ClipboardCopyCutPaste)
{
    ScopedClipboard board;
    Window w;
    TextInput& field = w.add(TextInput("t").with_initial_value("Home 5G"));
    w.open();
    w.click(field);
    w.window->key_char(U'a', {.control = true});
    w.window->key_char(U'c', {.control = true});
    EXPECT_EQ(board.memory.text(), "Home 5G");
    w.window->key(Key::End);
    w.window->key(Key::Left, {.shift = true, .control = true});
    w.window->key_char(U'x', {.control = true});
    EXPECT_EQ(board.memory.text(), "5G");
    EXPECT_EQ(field.text(), "Home ");
    board.memory.set_text("Office\nNetwork");
    w.window->key_char(U'v', {.control = true});
    EXPECT_EQ(field.text(), "Home Office Network");
}

TEST(TextInput, DocumentStateCellAndSubmit)
{
    Window w;
    LocalState<std::string> search(std::string{});
    std::string submitted;
    TextInput& name = w.add(TextInput("network.hotspot.ssid").with_change_path("network.hotspot.ssid"));
    TextInput& query = w.add(TextInput::from_state(search)
                                 .with_kind(text_input_kind::search)
                                 .with_id("settings.search")
                                 .with_placeholder("Search settings")
                                 .on_submit([&](std::string_view text) { submitted = text; }));
    w.open();
    EXPECT_TRUE(w.window->find_text_bounds("Search settings"));

    w.click(name);
    w.window->type("Cafe hotspot");
    EXPECT_EQ(page_doc::doc_text(w.doc, "network.hotspot.ssid"), "Cafe hotspot");
    EXPECT_TRUE(name.needs_commit());
    name.on_commit();
    EXPECT_FALSE(name.needs_commit());
    // The page changes the text: the field follows.
    ASSERT_TRUE(w.doc.update_text(page_doc::seed_text_object(w.doc, "network.hotspot.ssid"), "Hotspot"));
    w.window->frame();
    EXPECT_EQ(name.text(), "Hotspot");

    w.click(query);
    w.window->type("wifi");
    EXPECT_EQ(search.get(), "wifi");
    w.window->key(Key::Enter);
    EXPECT_EQ(submitted, "wifi");
    w.window->key(Key::Escape);  // a search field is cleared
    EXPECT_EQ(search.get(), "");
    ASSERT_TRUE(search.publish("blue"));
    w.window->frame();
    EXPECT_EQ(query.text(), "blue");
    EXPECT_EQ(query.get_state(), "blue");
    const AccessNode node = *query.accessibility();
    EXPECT_EQ(role_name(node.role), "search_input");
    EXPECT_EQ(node.label, "Search settings");
    EXPECT_EQ(node.value, "blue");
}

TEST(TextInput, PointerPlacesTheCaretAndSelectsWords)
{
    Window w;
    TextInput& field = w.add(TextInput("t").with_initial_value("alpha beta gamma"));
    w.open();
    const Rect r = field.get_rect();
    const double y = (r.y0 + r.y1) / 2.0;
    w.window->click(r.x0 + 12.0, y);
    EXPECT_EQ(field.caret(), 0U);
    w.window->drag({r.x0 + 12.0, y}, {r.x1 - 4.0, y});
    EXPECT_EQ(std::min(field.caret(), field.anchor()), 0U);
    EXPECT_EQ(std::max(field.caret(), field.anchor()), field.text().size());
    const Rect beta = *w.window->find_text_bounds("alpha beta gamma");
    w.window->double_click(beta.x0 + beta.width() * 0.45, y);
    EXPECT_EQ(field.text().substr(std::min(field.caret(), field.anchor()),
                                  std::max(field.caret(), field.anchor()) - std::min(field.caret(), field.anchor())),
              "beta");
}

TEST(TextInput, MaskedFieldNeverGivesItsTextAway)
{
    ScopedClipboard board;
    board.memory.set_text("clipboard");
    const SharedLockedText buffer = LockedText::create();
    Window w;
    TextInput& field = w.add(TextInput("network.hotspot.password")
                                 .with_kind(text_input_kind::password)
                                 .with_external_buffer(buffer)
                                 .with_change_path("network.hotspot.password")
                                 .with_placeholder("Password"));
    w.open();
    w.click(field);
    w.window->type("hunter2");
    EXPECT_TRUE(field.is_masked());
    buffer->with_text([](std::string_view secret) { EXPECT_EQ(secret, "hunter2"); });

    const TextReview review = *field.text_review();
    EXPECT_EQ(review.text, "•••••••");
    EXPECT_EQ(review.caret, review.text.size());
    EXPECT_FALSE(field.get_state());
    EXPECT_FALSE(field.value_text());
    const AccessNode node = *field.accessibility();
    EXPECT_EQ(role_name(node.role), "password_input");
    EXPECT_FALSE(node.value);
    const std::string dump = w.window->accessibility_json().dump();
    EXPECT_EQ(dump.find("hunter2"), std::string::npos);
    EXPECT_EQ(field.state_snapshot(w.doc)->dump().find("hunter2"), std::string::npos);
    EXPECT_FALSE(w.doc.contains("network.hotspot.password"));  // never in the document
    for (const DrawnText& drawn : w.window->drawn_texts()) {
        EXPECT_EQ(drawn.text.find("hunter"), std::string::npos);
    }

    // Copy and cut do nothing, undo keeps nothing; paste works.
    w.window->key_char(U'a', {.control = true});
    w.window->key_char(U'c', {.control = true});
    w.window->key_char(U'x', {.control = true});
    EXPECT_EQ(board.memory.text(), "clipboard");
    EXPECT_EQ(field.text(), "hunter2");
    EXPECT_FALSE(field.can_undo());
    w.window->key_char(U'v', {.control = true});
    EXPECT_EQ(field.text(), "clipboard");

    // The page uses the secret and wipes the buffer: the field empties.
    buffer->clear();
    w.window->frame();
    EXPECT_EQ(field.text(), "");
}

TEST(LockedText, KeepsVersionsAndCopiesInLockedMemory)
{
    const SharedLockedText buffer = LockedText::create("1234");
    const std::uint64_t start = buffer->version();
    buffer->set("1234");
    EXPECT_EQ(buffer->version(), start);
    buffer->set("98765");
    EXPECT_EQ(buffer->version(), start + 1);
    SecretBytes copy = buffer->copy();
    EXPECT_EQ(copy.view(), "98765");
    buffer->clear();
    EXPECT_TRUE(buffer->empty());
    EXPECT_EQ(copy.view(), "98765");  // a copy outlives the wipe of the buffer
    copy.replace(1, 3, "x");
    EXPECT_EQ(copy.view(), "9x5");
    std::string big(5000, 'k');
    copy.assign(big);
    EXPECT_EQ(copy.size(), 5000U);
    copy.clear();
    EXPECT_TRUE(copy.empty());
}

TEST(Utf8, BoundariesWordsAndCleaning)
{
    const std::string_view text = "a€b c";
    EXPECT_EQ(utf8::next_char(text, 1), 4U);
    EXPECT_EQ(utf8::prev_char(text, 4), 1U);
    EXPECT_EQ(utf8::floor_boundary(text, 2), 1U);
    EXPECT_EQ(utf8::char_count(text), 5U);
    EXPECT_EQ(utf8::take_chars(text, 2), "a€");
    EXPECT_EQ(utf8::next_word_end("one two", 3), 7U);
    EXPECT_EQ(utf8::prev_word_start("one two", 4), 0U);
    EXPECT_EQ(utf8::word_at("one two", 5), (std::pair<std::size_t, std::size_t>{4, 7}));
    EXPECT_EQ(utf8::clean_line("x\r\ny\x7f\x01z\xC2\x85!"), "x yz!");
    EXPECT_EQ(utf8::clean_line("\xE0\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
}

// ---- Slider -------------------------------------------------------------------------------------------------------

TEST(Slider, KeysAndDragChangeTheDocumentKey)
{
    Window w;
    w.doc.put_f64("display.brightness.edit", 0.5);
    Slider& slider = w.add(Slider("settings.display.brightness", "display.brightness.edit")
                               .with_label("Brightness")
                               .on_action(*settings_binding_for_test<double>(control_resource(), "level")));
    w.open();
    EXPECT_DOUBLE_EQ(slider.value(), 0.5);
    EXPECT_EQ(slider.label(), "slider");
    EXPECT_EQ(slider.accessibility()->value, "50%");

    // A click on the track moves the handle there and takes the focus; the keys step from there.
    const Rect track = slider.track_rect();
    w.window->click(track.x0 + track.width() * 0.25, (track.y0 + track.y1) / 2.0);
    EXPECT_NEAR(slider.value(), 0.25, 0.01);
    EXPECT_TRUE(slider.is_focused());
    EXPECT_NEAR(*page_doc::doc_f64(w.doc, "display.brightness.edit"), 0.25, 0.01);
    EXPECT_TRUE(slider.take_control_invocation());  // the press-and-release is one change
    EXPECT_FALSE(slider.take_control_invocation());

    w.window->key(Key::End);
    EXPECT_DOUBLE_EQ(*page_doc::doc_f64(w.doc, "display.brightness.edit"), 1.0);
    w.window->key(Key::Left);
    EXPECT_NEAR(slider.value(), 0.99, 1e-9);
    w.window->key(Key::PageDown);
    EXPECT_NEAR(slider.value(), 0.89, 1e-9);
    w.window->key(Key::Home);
    w.window->key(Key::Left);  // clamped at the end of the range
    EXPECT_DOUBLE_EQ(slider.value(), 0.0);
    auto key_change = slider.take_control_invocation();
    ASSERT_TRUE(key_change);
    EXPECT_EQ(key_change->arguments.number("value"), 1.0);
    while (slider.take_control_invocation()) {
    }

    // A drag captures the pointer beyond the track and sends one invocation when let go.
    w.window->drag(slider.handle_centre(), {track.x1 + 200.0, track.y0});
    EXPECT_DOUBLE_EQ(slider.value(), 1.0);
    EXPECT_FALSE(slider.wants_pointer_capture());
    auto drag = slider.take_control_invocation();
    ASSERT_TRUE(drag);
    EXPECT_EQ(drag->arguments.number("value"), 1.0);
    EXPECT_FALSE(slider.take_control_invocation());
}

TEST(Slider, RangeStepStateCellAndNonFiniteValues)
{
    LocalState<double> volume(40.0);
    Slider slider = Slider::from_state(volume).with_range(0.0, 150.0).with_step(5.0);
    EXPECT_DOUBLE_EQ(slider.value(), 40.0);
    EXPECT_TRUE(slider.perform_action(Action{Action::Kind::Increment, {}, 0.0}, {}));
    EXPECT_DOUBLE_EQ(volume.get(), 45.0);
    EXPECT_FALSE(slider.perform_action(Action{Action::Kind::SetNumericValue, {}, std::nan("")}, {}));
    EXPECT_TRUE(slider.perform_action(Action{Action::Kind::SetNumericValue, {}, 400.0}, {}));
    EXPECT_DOUBLE_EQ(volume.get(), 150.0);
    slider.set_value(std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(slider.value(), 0.0);
}

// ---- Dropdown -----------------------------------------------------------------------------------------------------

TEST(Dropdown, FixedAnswers)
{
    Dropdown closed("network.hotspot.band", {"Automatic", "2.4 GHz", "5 GHz"});
    EXPECT_EQ(closed.label(), "network.hotspot.band");
    EXPECT_EQ(Dropdown().label(), "dropdown");
    EXPECT_EQ(closed.stored_code(), 0);
    EXPECT_FALSE(closed.wants_pointer_capture());
    EXPECT_FALSE(closed.ime_cursor_rect());
    closed.open();
    EXPECT_TRUE(closed.wants_pointer_capture());
    EXPECT_TRUE(closed.ime_cursor_rect());
    closed.close();
    EXPECT_FALSE(closed.ime_cursor_rect());
}

TEST(Dropdown, ListInTheOverlayChoosesIntoTheDocument)
{
    Window w;
    int below_pressed = 0;
    Dropdown& band = w.add(Dropdown("network.hotspot.band", {"Automatic", "2.4 GHz", "5 GHz"})
                               .with_key("network.hotspot.band")
                               .with_placeholder("Automatic")
                               .on_action(*vorn_actions::ActionBinding<std::string>::for_action(
                                   control_resource(), "band",
                                   [](const std::string& c) { return nlohmann::ordered_json{{"choice", c}}; })));
    Button& below = w.add(Button("Below").on_press([&] { ++below_pressed; }));
    w.open();
    EXPECT_TRUE(w.window->find_text_bounds("Automatic"));  // the placeholder

    w.click(band);
    ASSERT_TRUE(band.is_open());
    const Rect list = band.list_rect();
    EXPECT_GT(list.y0, band.get_rect().y1 - 1.0);
    // Drawn above the button below it: the list's surface covers the button's centre.
    const Point under = Window::centre(below);
    ASSERT_TRUE(list.contains(under));
    EXPECT_TRUE(w.window->find_text_bounds("5 GHz"));
    const Rect first = band.row_rect(0);  // highlighted: nothing was chosen yet
    EXPECT_FALSE(w.window->pixel(first.x0 + 3.0, (first.y0 + first.y1) / 2.0).near(w.window->theme().background));
    const nlohmann::ordered_json tree = w.window->accessibility_json();
    EXPECT_NE(tree.dump().find("\"expanded\""), std::string::npos);

    const Rect row = band.row_rect(2);
    w.window->click((row.x0 + row.x1) / 2.0, (row.y0 + row.y1) / 2.0);
    EXPECT_FALSE(band.is_open());
    EXPECT_EQ(band.selected(), "5 GHz");
    EXPECT_EQ(page_doc::doc_text(w.doc, "network.hotspot.band"), "5 GHz");
    EXPECT_EQ(below_pressed, 0);  // the click on the list did not reach the button below
    auto invocation = band.take_control_invocation();
    ASSERT_TRUE(invocation);
    EXPECT_EQ(invocation->arguments.text("choice"), "5 GHz");

    // A click outside the open list closes it and reaches nothing else.
    w.click(band);
    ASSERT_TRUE(band.is_open());
    w.window->click(460, 350);
    EXPECT_FALSE(band.is_open());
    EXPECT_EQ(band.selected(), "5 GHz");

    // Keys: Down opens, Up moves, Enter chooses; Escape closes without choosing.
    w.window->key(Key::Down);
    ASSERT_TRUE(band.is_open());
    EXPECT_EQ(band.highlighted(), 2U);
    w.window->key(Key::Up);
    w.window->key(Key::Enter);
    EXPECT_EQ(page_doc::doc_text(w.doc, "network.hotspot.band"), "2.4 GHz");
    w.window->key(Key::Space);
    w.window->key_char(U'a');
    EXPECT_EQ(band.highlighted(), 0U);
    w.window->key(Key::Escape);
    EXPECT_FALSE(band.is_open());
    EXPECT_EQ(band.selected(), "2.4 GHz");

    // The page changes the key: the field follows.
    w.doc.put_str("network.hotspot.band", "Automatic");
    w.window->frame();
    EXPECT_EQ(band.selected(), "Automatic");
}

TEST(Dropdown, LongListsScrollAndOpenAboveNearTheBottom)
{
    std::vector<std::string> zones;
    for (int i = 0; i < 30; ++i) {
        zones.push_back("Zone " + std::to_string(i));
    }
    Window w;
    w.add(Spacer::fixed(300.0f));
    Dropdown& zone = w.add(Dropdown("time.zone", zones).with_selected("Zone 20"));
    w.open({480, 400});
    w.click(zone);
    ASSERT_TRUE(zone.is_open());
    EXPECT_LT(zone.list_rect().y1, zone.get_rect().y0 + 1.0);  // no room below: above the field
    EXPECT_GT(zone.row_rect(20).area(), 0.0);                  // the chosen row is shown
    EXPECT_EQ(zone.row_rect(0).area(), 0.0);
    w.window->key(Key::End);
    EXPECT_GT(zone.row_rect(29).area(), 0.0);
}

TEST(Dropdown, TypeAheadAddsUpTheLettersTypedWithinAPause)
{
    using namespace std::chrono_literals;
    const std::vector<std::string> sources{"Albanian", "English (US)", "Georgian", "German", "German (Austria)",
                                           "Greek", "Macedonian", "Mongolian", "Russian", "\u010Ce\u0161tina"};
    struct Keystroke {
        char32_t character;
        std::chrono::milliseconds after;  // since the keystroke before
    };
    struct Case {
        std::string_view name;
        std::optional<std::size_t> highlight;  // where the open list starts
        std::vector<Keystroke> keys;
        std::optional<std::size_t> lands_on;   // after the last key; none: no match
    };
    const std::vector<Case> cases{
        {"germ lands on German, not on Macedonian", 1, {{U'g', 0ms}, {U'e', 200ms}, {U'r', 300ms}, {U'm', 400ms}}, 3},
        {"case does not count", 1, {{U'G', 0ms}, {U'E', 100ms}, {U'R', 100ms}, {U'M', 100ms}, {U'A', 100ms}}, 3},
        {"a longer prefix picks the longer name", 1, {{U'g', 0ms}, {U'e', 90ms}, {U'r', 90ms}, {U'm', 90ms},
                                                      {U'a', 90ms}, {U'n', 90ms}, {U' ', 90ms}}, 4},
        {"the highlighted choice itself still matches a longer prefix", 1, {{U'g', 0ms}, {U'e', 100ms}}, 2},
        {"a pause longer than a second starts afresh", 1, {{U'g', 0ms}, {U'e', 100ms}, {U'm', 1100ms}}, 6},
        {"a pause of exactly a second still adds up", 1, {{U'g', 0ms}, {U'r', 1000ms}}, 5},
        {"one letter goes on to the next choice starting with it", 2, {{U'g', 0ms}}, 3},
        {"the same letter again and again cycles", 1, {{U'g', 0ms}, {U'g', 100ms}, {U'g', 100ms}}, 4},
        {"cycling wraps round", 5, {{U'g', 0ms}}, 2},
        {"no match keeps the highlight", 1, {{U'x', 0ms}}, std::nullopt},
        {"a prefix that stops matching keeps the highlight", 1, {{U'g', 0ms}, {U'q', 100ms}}, std::nullopt},
        {"letters outside ASCII match as they are", 0, {{U'\u010C', 0ms}, {U'e', 100ms}}, 9},
        {"nothing highlighted: from the top", std::nullopt, {{U'm', 0ms}}, 6},
    };
    for (const Case& c : cases) {
        widget::dropdown::TypeAhead type_ahead;
        Instant at{};
        std::optional<std::size_t> highlight = c.highlight;
        std::optional<std::size_t> last;
        for (const Keystroke& k : c.keys) {
            at += k.after;
            last = type_ahead.type(sources, highlight, k.character, at);
            if (last) {
                highlight = last;
            }
        }
        EXPECT_EQ(last, c.lands_on) << c.name;
    }
}

TEST(Dropdown, TypeAheadInTheOpenListFollowsTheEventsClock)
{
    using namespace std::chrono_literals;
    Window w;
    Dropdown& list = w.add(
        Dropdown("input.source", {"English (US)", "Georgian", "German", "Greek", "Macedonian"}).with_selected("English (US)"));
    w.open();
    w.click(list);
    ASSERT_TRUE(list.is_open());
    const Instant start = std::chrono::steady_clock::now();
    const auto type = [&](char32_t c, std::chrono::milliseconds at) {
        (void)w.window->driver().dispatch(KeyDown{Key::Character, c, {}, false}, start + at);
        w.window->frame();
    };
    type(U'g', 0ms);
    type(U'e', 300ms);
    type(U'r', 600ms);
    type(U'm', 900ms);
    EXPECT_EQ(list.highlighted(), 2U) << "German";
    type(U'm', 2500ms);  // after a pause: a new search
    EXPECT_EQ(list.highlighted(), 4U) << "Macedonian";
    w.window->key(Key::Escape);
    w.click(list);
    ASSERT_EQ(list.highlighted(), 0U);
    type(U'g', 2600ms);  // the list opened afresh: no "m" left over from before ("mg" would match nothing)
    EXPECT_EQ(list.highlighted(), 1U) << "Georgian";
}

// ---- ShortcutRecorder ---------------------------------------------------------------------------------------------

TEST(ShortcutRecorder, ChordTexts)
{
    const std::vector<std::pair<KeyDown, std::optional<std::string>>> table{
        {KeyDown{Key::Character, U't', {.control = true, .alt = true}}, "Ctrl+Alt+T"},
        {KeyDown{Key::Left, 0, {.shift = true, .super = true}}, "Super+Shift+Left"},
        {KeyDown{Key::F11, 0, {}}, "F11"},
        {KeyDown{Key::VolumeUp, 0, {}}, "VolumeUp"},
        {KeyDown{Key::Character, U'q', {}}, std::nullopt},
        {KeyDown{Key::Character, U'q', {.shift = true}}, std::nullopt},
        {KeyDown{Key::Control, 0, {.control = true}}, std::nullopt},
    };
    for (const auto& [key, text] : table) {
        EXPECT_EQ(widget::shortcut_recorder::chord_text(key), text);
    }
}

TEST(ShortcutRecorder, CapturesIntoItsEditKey)
{
    Window w;
    ShortcutRecorder& recorder = w.add(
        ShortcutRecorder("shortcuts.terminal", "shortcuts.terminal.edit", "Ctrl+Alt+T", "Ctrl+Alt+T").with_label("Terminal"));
    Button& other = w.add(Button("Other"));
    w.open();
    EXPECT_EQ(recorder.label(), "shortcuts.terminal");
    EXPECT_TRUE(w.window->find_text_bounds("Ctrl+Alt+T"));
    EXPECT_FALSE(recorder.value_text());

    w.click(recorder);
    ASSERT_TRUE(recorder.is_capturing());
    EXPECT_TRUE(w.window->find_text_bounds("Press a shortcut…"));
    w.window->key_char(U'q');  // not a shortcut: still capturing
    EXPECT_TRUE(recorder.is_capturing());
    w.window->key_char(U'k', {.shift = true, .super = true});
    EXPECT_FALSE(recorder.is_capturing());
    EXPECT_EQ(page_doc::doc_text(w.doc, "shortcuts.terminal.edit"), "Super+Shift+K");

    // Escape keeps the old one; Backspace clears it; losing the focus stops capturing.
    EXPECT_TRUE(recorder.perform_action(Action::activate(), {}));
    w.window->key(Key::Escape);
    EXPECT_FALSE(recorder.is_capturing());
    EXPECT_EQ(recorder.chord(), "Super+Shift+K");
    recorder.perform_action(Action::activate(), {});
    w.window->key(Key::Backspace);
    EXPECT_EQ(page_doc::doc_text(w.doc, "shortcuts.terminal.edit"), "");
    recorder.perform_action(Action::activate(), {});
    w.click(other);
    EXPECT_FALSE(recorder.is_capturing());
    EXPECT_FALSE(recorder.perform_action(Action{Action::Kind::Increment, {}, 0.0}, {}));

    // The page writes the old text back: the recorder shows it.
    w.doc.put_str("shortcuts.terminal.edit", "Ctrl+Alt+T");
    w.window->frame();
    EXPECT_EQ(recorder.chord(), "Ctrl+Alt+T");

    recorder.set_unavailable(true);
    EXPECT_EQ(recorder.value_text(), "Shortcut unavailable");
    recorder.set_interaction_flag(0);
    EXPECT_EQ(recorder.interaction_environment().bytes[0], 1);
    recorder.set_interaction_flag(3);
    EXPECT_EQ(recorder.interaction_environment().bytes[0], 0);
}

}  // namespace
}  // namespace vorn_ui
