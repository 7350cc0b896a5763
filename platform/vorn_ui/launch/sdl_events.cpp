#include "vorn_ui/launch/sdl_events.hpp"

namespace vorn_ui::launch {

namespace {

constexpr double kWheelStep = 48.0;  // logical pixels per wheel notch

std::optional<MouseButton> translate_button(Uint8 button)
{
    switch (button) {
    case SDL_BUTTON_LEFT: return MouseButton::Left;
    case SDL_BUTTON_MIDDLE: return MouseButton::Middle;
    case SDL_BUTTON_RIGHT: return MouseButton::Right;
    case SDL_BUTTON_X1: return MouseButton::Back;
    case SDL_BUTTON_X2: return MouseButton::Forward;
    default: return std::nullopt;
    }
}

Modifiers current_modifiers() { return translate_modifiers(static_cast<Uint16>(SDL_GetModState())); }

}  // namespace

Modifiers translate_modifiers(Uint16 mod)
{
    return Modifiers{.shift = (mod & KMOD_SHIFT) != 0,
                     .control = (mod & KMOD_CTRL) != 0,
                     .alt = (mod & KMOD_ALT) != 0,
                     .super = (mod & KMOD_GUI) != 0};
}

Key translate_key(SDL_Keycode key)
{
    switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return Key::Enter;
    case SDLK_ESCAPE: return Key::Escape;
    case SDLK_TAB: return Key::Tab;
    case SDLK_BACKSPACE: return Key::Backspace;
    case SDLK_DELETE: return Key::Delete;
    case SDLK_INSERT: return Key::Insert;
    case SDLK_SPACE: return Key::Space;
    case SDLK_LEFT: return Key::Left;
    case SDLK_RIGHT: return Key::Right;
    case SDLK_UP: return Key::Up;
    case SDLK_DOWN: return Key::Down;
    case SDLK_HOME: return Key::Home;
    case SDLK_END: return Key::End;
    case SDLK_PAGEUP: return Key::PageUp;
    case SDLK_PAGEDOWN: return Key::PageDown;
    case SDLK_F1: return Key::F1;
    case SDLK_F2: return Key::F2;
    case SDLK_F3: return Key::F3;
    case SDLK_F4: return Key::F4;
    case SDLK_F5: return Key::F5;
    case SDLK_F6: return Key::F6;
    case SDLK_F7: return Key::F7;
    case SDLK_F8: return Key::F8;
    case SDLK_F9: return Key::F9;
    case SDLK_F10: return Key::F10;
    case SDLK_F11: return Key::F11;
    case SDLK_F12: return Key::F12;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return Key::Shift;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return Key::Control;
    case SDLK_LALT:
    case SDLK_RALT: return Key::Alt;
    case SDLK_LGUI:
    case SDLK_RGUI: return Key::Super;
    case SDLK_CAPSLOCK: return Key::CapsLock;
    case SDLK_MENU:
    case SDLK_APPLICATION: return Key::Menu;
    case SDLK_PRINTSCREEN: return Key::PrintScreen;
    case SDLK_AUDIOPLAY: return Key::MediaPlayPause;
    case SDLK_AUDIONEXT: return Key::MediaNext;
    case SDLK_AUDIOPREV: return Key::MediaPrevious;
    case SDLK_VOLUMEUP: return Key::VolumeUp;
    case SDLK_VOLUMEDOWN: return Key::VolumeDown;
    case SDLK_AUDIOMUTE:
    case SDLK_MUTE: return Key::VolumeMute;
    case SDLK_BRIGHTNESSUP: return Key::BrightnessUp;
    case SDLK_BRIGHTNESSDOWN: return Key::BrightnessDown;
    default: break;
    }
    // Printable keys: SDL keycodes of printable keys are their (unshifted) Unicode character.
    if (key >= 0x20 && key < 0x7f) {
        return Key::Character;
    }
    if ((key & SDLK_SCANCODE_MASK) == 0 && key > 0x7f) {
        return Key::Character;
    }
    return Key::Unknown;
}

std::optional<Event> translate_input(const SDL_Event& event, double scale)
{
    switch (event.type) {
    case SDL_MOUSEMOTION:
        return PointerMove{{event.motion.x * scale, event.motion.y * scale}, current_modifiers()};
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const std::optional<MouseButton> button = translate_button(event.button.button);
        if (!button) {
            return std::nullopt;
        }
        return PointerButton{{event.button.x * scale, event.button.y * scale},
                             *button,
                             event.type == SDL_MOUSEBUTTONDOWN,
                             static_cast<std::uint8_t>(event.button.clicks == 0 ? 1 : event.button.clicks),
                             current_modifiers()};
    }
    case SDL_MOUSEWHEEL: {
        int x = 0;
        int y = 0;
        SDL_GetMouseState(&x, &y);
        double dx = event.wheel.preciseX;
        double dy = event.wheel.preciseY;
        if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
            dx = -dx;
            dy = -dy;
        }
        // SDL: positive y scrolls away from the user (up); ours: positive scrolls down.
        return PointerWheel{{x * scale, y * scale}, dx * kWheelStep, -dy * kWheelStep,
                            event.wheel.preciseY != static_cast<float>(event.wheel.y), current_modifiers()};
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const SDL_Keycode sym = event.key.keysym.sym;
        const Key key = translate_key(sym);
        const char32_t character = key == Key::Character ? static_cast<char32_t>(sym) : 0;
        const Modifiers modifiers = translate_modifiers(event.key.keysym.mod);
        if (event.type == SDL_KEYDOWN) {
            return KeyDown{key, character, modifiers, event.key.repeat != 0};
        }
        return KeyUp{key, character, modifiers};
    }
    case SDL_TEXTINPUT: return TextEntered{std::string(event.text.text)};
    case SDL_TEXTEDITING: {
        const std::string text(event.edit.text);
        // SDL counts the cursor in characters; ours are byte offsets.
        std::size_t begin = 0;
        int chars = 0;
        while (begin < text.size() && chars < event.edit.start) {
            ++begin;
            while (begin < text.size() && (static_cast<unsigned char>(text[begin]) & 0xC0) == 0x80) {
                ++begin;
            }
            ++chars;
        }
        std::size_t end = begin;
        chars = 0;
        while (end < text.size() && chars < event.edit.length) {
            ++end;
            while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
                ++end;
            }
            ++chars;
        }
        return ImePreedit{text, begin, end};
    }
    default: return std::nullopt;
    }
}

}  // namespace vorn_ui::launch
