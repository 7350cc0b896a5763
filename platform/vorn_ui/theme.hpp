#pragma once
// The look the widgets are laid out and drawn with. Sizes in styles are multiplied by `ui_scale`, text sizes also by
// `text_scale`.

#include <string>
#include <utility>

namespace vorn_ui {

struct Theme {
    std::string name = "dark";
    float ui_scale = 1.0f;
    float text_scale = 1.0f;
    bool high_contrast = false;
    bool reduced_motion = false;

    [[nodiscard]] Theme with_ui_scale(float scale) &&
    {
        ui_scale = scale;
        return std::move(*this);
    }
    [[nodiscard]] Theme with_text_scale(float scale) &&
    {
        text_scale = scale;
        return std::move(*this);
    }

    friend bool operator==(const Theme&, const Theme&) = default;
};

}  // namespace vorn_ui
