#pragma once
// The look the widgets are laid out and drawn with: colours, corner radii and the two scales. Sizes in styles are
// multiplied by `ui_scale`, text sizes by `ui_scale` and `text_scale` (TextRenderer::renderer_input_style).
//
// Themes: Theme::dark() (the default), Theme::light(), the high-contrast pair Theme::high_contrast_theme() (light
// on black) and Theme::high_contrast_light() (black on white), which keep every text at 7:1 or more against every
// surface it is drawn on and control edges and focus rings at 3:1 or more (the member `high_contrast` is the flag;
// with_high_contrast() turns any theme into the one of the pair that matches its lightness), Theme::named() for the twelve theme names the Appearance page offers ("Dark", "Light",
// "Vorn Blue", "Catppuccin Mocha", "Catppuccin Latte", "Dracula", "Nord", "Gruvbox", "Gruvbox Light", "Solarized",
// "OLED", "Beige"), and Theme::configured() for the user's custom theme file. A default-constructed Theme is
// the dark theme (the members below hold its palette).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vorn_ui {

// A straight (not premultiplied) RGBA colour, each channel 0..1.
struct Color {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;

    // 0xRRGGBB, opaque.
    static constexpr Color rgb(std::uint32_t hex)
    {
        return {static_cast<float>((hex >> 16) & 0xFF) / 255.0f, static_cast<float>((hex >> 8) & 0xFF) / 255.0f,
                static_cast<float>(hex & 0xFF) / 255.0f, 1.0f};
    }
    [[nodiscard]] constexpr Color with_alpha(float alpha) const { return {r, g, b, alpha}; }
    // The colour `amount` of the way towards `other` (0: this colour, 1: other), alpha included.
    [[nodiscard]] constexpr Color mix(const Color& other, float amount) const
    {
        return {r + (other.r - r) * amount, g + (other.g - g) * amount, b + (other.b - b) * amount,
                a + (other.a - a) * amount};
    }
    // "#rrggbb" or "#rrggbbaa" (also without "#"); none for anything else.
    static std::optional<Color> parse(std::string_view text);
    // "#rrggbb", or "#rrggbbaa" when not opaque.
    [[nodiscard]] std::string to_hex() const;

    // This colour drawn over an opaque `below` (source-over), opaque.
    [[nodiscard]] constexpr Color over(const Color& below) const
    {
        return {r * a + below.r * (1.0f - a), g * a + below.g * (1.0f - a), b * a + below.b * (1.0f - a), 1.0f};
    }
    // Relative luminance of the opaque colour, as WCAG 2 defines it (0 black .. 1 white).
    [[nodiscard]] double relative_luminance() const;

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

// The WCAG 2 contrast ratio of two opaque colours, 1 to 21.
[[nodiscard]] double contrast_ratio(const Color& a, const Color& b);

// Badge and status tones, by code: what `Badge(text, tone)` takes.
enum class Tone : std::uint8_t {
    Neutral = 0,
    Info = 1,     // in progress, syncing
    Success = 2,  // up to date, ready, active
    Warning = 3,  // offline, needs sign-in
    Danger = 4,   // failed, needs attention
};
inline constexpr std::size_t tone_count = 5;

struct Theme {
    std::string name = "Dark";
    float ui_scale = 1.0f;
    float text_scale = 1.0f;
    bool high_contrast = false;
    bool reduced_motion = false;
    bool is_dark = true;  // light text on dark surfaces

    // Surfaces
    Color background = Color::rgb(0x16171B);      // window and page content
    Color sidebar = Color::rgb(0x1C1E23);         // navigation column
    Color surface = Color::rgb(0x212429);         // cards
    Color surface_raised = Color::rgb(0x2A2E35);  // fields, tracks, popups
    Color outline = Color::rgb(0x33373F);         // card edges
    Color outline_strong = Color::rgb(0x4A505B);  // control borders
    Color separator = Color::rgb(0x2A2D33);
    // Text
    Color text = Color::rgb(0xECEEF2);            // labels and body text
    Color text_secondary = Color::rgb(0xA3A9B4);  // captions, descriptions
    Color text_disabled = Color::rgb(0x6B717C);
    // Accent and interaction
    Color accent = Color::rgb(0x5B8DEF);
    Color on_accent = Color::rgb(0xFFFFFF);  // text and marks on an accent fill
    Color focus = Color::rgb(0x8AB4FF);      // focus rings
    Color hover = Color::rgb(0xFFFFFF).with_alpha(0.06f);
    Color pressed = Color::rgb(0xFFFFFF).with_alpha(0.10f);
    Color shadow = Color::rgb(0x000000).with_alpha(0.35f);
    // Tones, indexed by Tone
    std::array<Color, tone_count> tones{Color::rgb(0x9AA0AA), Color::rgb(0x6AA8FF), Color::rgb(0x4CC38A),
                                        Color::rgb(0xF0B44C), Color::rgb(0xF06A6A)};
    // Metrics (logical pixels before ui_scale)
    float corner_radius = 8.0f;   // navigation items, buttons
    float control_radius = 6.0f;  // fields, dropdowns
    float card_radius = 12.0f;
    float focus_width = 2.0f;

    [[nodiscard]] static Theme dark();
    [[nodiscard]] static Theme light();
    [[nodiscard]] static Theme high_contrast_theme();
    [[nodiscard]] static Theme high_contrast_light();
    // One of the twelve theme names, byte for byte; "High Contrast" gives high_contrast_theme(). None otherwise.
    [[nodiscard]] static std::optional<Theme> named(std::string_view name);
    // The user's custom theme: $XDG_CONFIG_HOME/vorn/theme.json (or ~/.config/vorn/theme.json), a JSON object
    //   {"name": "My theme", "base": "Nord", "colors": {"accent": "#ff8800", "background": "#101010", ...}}
    // with the colour names of colour_names(). A missing or unreadable file, or one that is not such an object,
    // gives the dark theme (logged); unknown colour names and malformed colours are skipped (logged).
    [[nodiscard]] static Theme configured();
    // The same, from a given file.
    [[nodiscard]] static Theme from_file(const std::string& path);
    // The twelve names, in the Appearance page's order.
    [[nodiscard]] static const std::array<std::string_view, 12>& names();
    // The names of the colour members, as the custom theme file spells them.
    [[nodiscard]] static const std::array<std::string_view, 16>& colour_names();
    [[nodiscard]] Color* colour_by_name(std::string_view colour_name);

    [[nodiscard]] const Color& tone(Tone t) const { return tones[static_cast<std::size_t>(t) % tone_count]; }
    // A length in logical pixels: `points` × ui_scale.
    [[nodiscard]] float scaled(float points) const { return points * ui_scale; }

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
    // The high-contrast theme of this theme's lightness (dark themes: light on black; light ones: black on white),
    // keeping the scales and the motion setting.
    [[nodiscard]] Theme with_high_contrast() &&;
    [[nodiscard]] Theme with_reduced_motion(bool reduced) &&
    {
        reduced_motion = reduced;
        return std::move(*this);
    }

    friend bool operator==(const Theme&, const Theme&) = default;
};

}  // namespace vorn_ui
