#pragma once
// Translation of SDL events into the toolkit's events (positions multiplied by the window's scale factor).

#include "vorn_ui/event.hpp"

#include <SDL.h>

#include <optional>

namespace vorn_ui::launch {

[[nodiscard]] Key translate_key(SDL_Keycode key);
[[nodiscard]] Modifiers translate_modifiers(Uint16 mod);
// The toolkit event of an SDL input event; none for events that are not input (window events are the window's).
[[nodiscard]] std::optional<Event> translate_input(const SDL_Event& event, double scale_factor);

}  // namespace vorn_ui::launch
