// Translation of SDL input into the toolkit's events.
#include "vorn_ui/launch/sdl_events.hpp"

#include <gtest/gtest.h>

namespace vorn_ui::launch {
namespace {

TEST(SdlEvents, PointerPositionsArePhysicalPixels)
{
    SDL_Event press{};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.button = SDL_BUTTON_LEFT;
    press.button.x = 100;
    press.button.y = 40;
    press.button.clicks = 2;
    const auto event = translate_input(press, 2.0);
    ASSERT_TRUE(event.has_value());
    const auto* button = event->get<PointerButton>();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->position.x, 200.0);
    EXPECT_EQ(button->position.y, 80.0);
    EXPECT_TRUE(button->pressed);
    EXPECT_EQ(button->clicks, 2);

    press.button.button = 9;  // a button the toolkit has no name for
    EXPECT_FALSE(translate_input(press, 1.0).has_value());
}

TEST(SdlEvents, WheelScrollsDownForPositiveDeltasAndHonoursFlippedDevices)
{
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = -1;  // towards the user
    wheel.wheel.preciseY = -1.0f;
    const auto down = translate_input(wheel, 1.0);
    ASSERT_TRUE(down && down->get<PointerWheel>());
    EXPECT_GT(down->get<PointerWheel>()->delta_y, 0.0);
    EXPECT_FALSE(down->get<PointerWheel>()->precise);

    wheel.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    EXPECT_LT(translate_input(wheel, 1.0)->get<PointerWheel>()->delta_y, 0.0);
}

TEST(SdlEvents, KeysWithModifiersAndRepeat)
{
    struct Case {
        SDL_Keycode sym;
        Key key;
        char32_t character;
    };
    for (const Case& c : {Case{SDLK_TAB, Key::Tab, 0}, Case{SDLK_RETURN, Key::Enter, 0},
                          Case{SDLK_KP_ENTER, Key::Enter, 0}, Case{SDLK_SPACE, Key::Space, 0},
                          Case{SDLK_a, Key::Character, U'a'}, Case{SDLK_F5, Key::F5, 0},
                          Case{SDLK_LEFT, Key::Left, 0}, Case{SDLK_SCROLLLOCK, Key::Unknown, 0}}) {
        SDL_Event down{};
        down.type = SDL_KEYDOWN;
        down.key.keysym.sym = c.sym;
        down.key.keysym.mod = KMOD_LSHIFT | KMOD_RCTRL;
        down.key.repeat = 1;
        const auto event = translate_input(down, 1.0);
        ASSERT_TRUE(event && event->get<KeyDown>()) << c.sym;
        const KeyDown& key = *event->get<KeyDown>();
        EXPECT_EQ(key.key, c.key) << c.sym;
        EXPECT_EQ(key.character, c.character) << c.sym;
        EXPECT_EQ(key.modifiers, (Modifiers{.shift = true, .control = true}));
        EXPECT_TRUE(key.repeat);
    }
}

TEST(SdlEvents, ImeCompositionCursorIsInBytes)
{
    SDL_Event edit{};
    edit.type = SDL_TEXTEDITING;
    std::snprintf(edit.edit.text, sizeof edit.edit.text, "%s", "h\xC3\xA9llo");  // "héllo"
    edit.edit.start = 2;   // characters
    edit.edit.length = 2;
    const auto event = translate_input(edit, 1.0);
    ASSERT_TRUE(event && event->get<ImePreedit>());
    EXPECT_EQ(event->get<ImePreedit>()->cursor_begin, 3U);
    EXPECT_EQ(event->get<ImePreedit>()->cursor_end, 5U);

    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    std::snprintf(text.text.text, sizeof text.text.text, "%s", "\xE2\x82\xAC");
    EXPECT_EQ(translate_input(text, 1.0)->get<TextEntered>()->text, "\xE2\x82\xAC");
}

}  // namespace
}  // namespace vorn_ui::launch
