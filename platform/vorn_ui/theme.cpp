#include "vorn_ui/theme.hpp"

#include "vorn_log/log.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vorn_ui {

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The base colours a palette is made from; the rest is derived so that every theme keeps the same contrasts.
struct Base {
    std::string_view name;
    bool dark;
    std::uint32_t background;
    std::uint32_t sidebar;
    std::uint32_t surface;
    std::uint32_t text;
    std::uint32_t text_secondary;
    std::uint32_t accent;
};

Theme make_theme(const Base& base)
{
    Theme t;
    t.name = std::string(base.name);
    t.is_dark = base.dark;
    t.background = Color::rgb(base.background);
    t.sidebar = Color::rgb(base.sidebar);
    t.surface = Color::rgb(base.surface);
    t.text = Color::rgb(base.text);
    t.text_secondary = Color::rgb(base.text_secondary);
    t.accent = Color::rgb(base.accent);
    t.surface_raised = t.surface.mix(t.text, base.dark ? 0.06f : 0.04f);
    t.outline = t.surface.mix(t.text, base.dark ? 0.12f : 0.14f);
    t.outline_strong = t.surface.mix(t.text, base.dark ? 0.24f : 0.30f);
    t.separator = t.background.mix(t.text, base.dark ? 0.08f : 0.10f);
    t.text_disabled = t.text.mix(t.surface, 0.55f);
    // Text on the accent: whichever of near-black and white reads better (relative luminance, as WCAG has it).
    const auto linear = [](float v) { return v <= 0.03928f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f); };
    const float luminance =
        0.2126f * linear(t.accent.r) + 0.7152f * linear(t.accent.g) + 0.0722f * linear(t.accent.b);
    const float with_white = 1.05f / (luminance + 0.05f);
    const float with_black = (luminance + 0.05f) / (0.0067f + 0.05f);  // #111111
    t.on_accent = with_black > with_white ? Color::rgb(0x111111) : Color::rgb(0xFFFFFF);
    t.focus = t.accent.mix(base.dark ? Color::rgb(0xFFFFFF) : Color::rgb(0x000000), 0.25f);
    t.hover = t.text.with_alpha(base.dark ? 0.06f : 0.05f);
    t.pressed = t.text.with_alpha(base.dark ? 0.10f : 0.09f);
    t.shadow = Color::rgb(0x000000).with_alpha(base.dark ? 0.35f : 0.12f);
    if (base.dark) {
        t.tones = {t.text_secondary, Color::rgb(0x6AA8FF), Color::rgb(0x4CC38A), Color::rgb(0xF0B44C),
                   Color::rgb(0xF06A6A)};
    } else {
        t.tones = {t.text_secondary, Color::rgb(0x2563EB), Color::rgb(0x15803D), Color::rgb(0xB45309),
                   Color::rgb(0xC62828)};
    }
    return t;
}

constexpr std::array<Base, 12> bases{{
    {"Dark", true, 0x16171B, 0x1C1E23, 0x212429, 0xECEEF2, 0xA3A9B4, 0x5B8DEF},
    {"Light", false, 0xF5F6F8, 0xECEEF2, 0xFFFFFF, 0x1C1E22, 0x5C6370, 0x2F6FDB},
    {"Vorn Blue", true, 0x0F1726, 0x131D30, 0x182338, 0xE6EDF8, 0x9DABC2, 0x4C9BFF},
    {"Catppuccin Mocha", true, 0x1E1E2E, 0x181825, 0x262637, 0xCDD6F4, 0xA6ADC8, 0xCBA6F7},
    {"Catppuccin Latte", false, 0xEFF1F5, 0xE6E9EF, 0xFBFCFD, 0x383A52, 0x585B73, 0x1E66F5},
    {"Dracula", true, 0x282A36, 0x21222C, 0x303241, 0xF8F8F2, 0xBFC3D6, 0xBD93F9},
    {"Nord", true, 0x2E3440, 0x272C36, 0x3B4252, 0xECEFF4, 0xC2C9D6, 0x88C0D0},
    {"Gruvbox", true, 0x282828, 0x1D2021, 0x32302F, 0xEBDBB2, 0xBDAE93, 0xFABD2F},
    {"Gruvbox Light", false, 0xFBF1C7, 0xF2E5BC, 0xFFF9E6, 0x3C3836, 0x665C54, 0x076678},
    {"Solarized", true, 0x002B36, 0x00212B, 0x073642, 0xEEE8D5, 0x93A1A1, 0x268BD2},
    {"OLED", true, 0x000000, 0x000000, 0x0E0E10, 0xF2F2F2, 0xA0A0A8, 0x5B8DEF},
    {"Beige", false, 0xF4EFE6, 0xEBE4D6, 0xFBF8F2, 0x3B342B, 0x6E6457, 0xA0672B},
}};

constexpr std::array<std::string_view, 12> theme_names{
    "Dark", "Light", "Vorn Blue", "Catppuccin Mocha", "Catppuccin Latte", "Dracula",
    "Nord", "Gruvbox", "Gruvbox Light", "Solarized", "OLED", "Beige"};

constexpr std::array<std::string_view, 16> colour_member_names{
    "background", "sidebar",  "surface", "surface_raised", "outline", "outline_strong", "separator", "text",
    "text_secondary", "text_disabled", "accent", "on_accent", "focus", "hover", "pressed", "shadow"};

std::filesystem::path custom_theme_path()
{
    const char* config_home = std::getenv("XDG_CONFIG_HOME");
    if (config_home != nullptr && *config_home == '/') {
        return std::filesystem::path(config_home) / "vorn" / "theme.json";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / ".config" / "vorn" / "theme.json";
    }
    return {};
}

}  // namespace

std::optional<Color> Color::parse(std::string_view text)
{
    if (text.starts_with('#')) {
        text.remove_prefix(1);
    }
    if (text.size() != 6 && text.size() != 8) {
        return std::nullopt;
    }
    std::array<float, 4> channels{0.0f, 0.0f, 0.0f, 1.0f};
    for (std::size_t i = 0; i < text.size() / 2; ++i) {
        const int high = hex_digit(text[2 * i]);
        const int low = hex_digit(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        channels[i] = static_cast<float>(high * 16 + low) / 255.0f;
    }
    return Color{channels[0], channels[1], channels[2], channels[3]};
}

std::string Color::to_hex() const
{
    const auto byte = [](float v) { return static_cast<unsigned>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    std::string out = fmt::format("#{:02x}{:02x}{:02x}", byte(r), byte(g), byte(b));
    if (byte(a) != 255) {
        out += fmt::format("{:02x}", byte(a));
    }
    return out;
}

// The dark palette is the one a default-constructed Theme holds (theme.hpp).
Theme Theme::dark() { return Theme{}; }
Theme Theme::light() { return make_theme(bases[1]); }

double Color::relative_luminance() const
{
    const auto linear = [](float v) {
        const double c = std::clamp(static_cast<double>(v), 0.0, 1.0);
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
}

double contrast_ratio(const Color& a, const Color& b)
{
    const double la = a.relative_luminance();
    const double lb = b.relative_luminance();
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Theme Theme::high_contrast_theme()
{
    // Secondary text stays a shade below the labels (15:1 on black) so that the two still read apart.
    Theme t = make_theme({"High Contrast", true, 0x000000, 0x000000, 0x000000, 0xFFFFFF, 0xE0E0E0, 0xFFD400});
    t.high_contrast = true;
    t.surface_raised = Color::rgb(0x000000);
    t.outline = Color::rgb(0xFFFFFF);
    t.outline_strong = Color::rgb(0xFFFFFF);
    t.separator = Color::rgb(0xFFFFFF);
    t.text_disabled = Color::rgb(0xBDBDBD);
    t.on_accent = Color::rgb(0x000000);
    t.focus = Color::rgb(0x00E5FF);
    t.hover = Color::rgb(0xFFFFFF).with_alpha(0.18f);
    t.pressed = Color::rgb(0xFFFFFF).with_alpha(0.28f);
    t.tones = {Color::rgb(0xFFFFFF), Color::rgb(0x66CCFF), Color::rgb(0x66FF99), Color::rgb(0xFFD400),
               Color::rgb(0xFF6666)};
    t.focus_width = 3.0f;
    return t;
}

Theme Theme::high_contrast_light()
{
    Theme t = make_theme({"High Contrast", false, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0x000000, 0x333333, 0x0038A8});
    t.high_contrast = true;
    t.surface_raised = Color::rgb(0xFFFFFF);
    t.outline = Color::rgb(0x000000);
    t.outline_strong = Color::rgb(0x000000);
    t.separator = Color::rgb(0x000000);
    t.text_disabled = Color::rgb(0x4D4D4D);
    t.on_accent = Color::rgb(0xFFFFFF);
    t.focus = Color::rgb(0xB00060);  // apart from the accent's blue, so that a focused selected control shows both
    t.hover = Color::rgb(0x000000).with_alpha(0.10f);
    t.pressed = Color::rgb(0x000000).with_alpha(0.18f);
    t.shadow = Color::rgb(0x000000).with_alpha(0.0f);
    t.tones = {Color::rgb(0x000000), Color::rgb(0x0040A0), Color::rgb(0x006000), Color::rgb(0x7A4000),
               Color::rgb(0xA00000)};
    t.focus_width = 3.0f;
    return t;
}

Theme Theme::with_high_contrast() &&
{
    Theme t = is_dark ? high_contrast_theme() : high_contrast_light();
    t.ui_scale = ui_scale;
    t.text_scale = text_scale;
    t.reduced_motion = reduced_motion;
    return t;
}

std::optional<Theme> Theme::named(std::string_view name)
{
    if (name == bases[0].name) {
        return dark();
    }
    for (const Base& base : bases) {
        if (base.name == name) {
            return make_theme(base);
        }
    }
    if (name == "High Contrast") {
        return high_contrast_theme();
    }
    return std::nullopt;
}

const std::array<std::string_view, 12>& Theme::names() { return theme_names; }
const std::array<std::string_view, 16>& Theme::colour_names() { return colour_member_names; }

Color* Theme::colour_by_name(std::string_view colour_name)
{
    Color* members[] = {&background, &sidebar, &surface, &surface_raised, &outline, &outline_strong,
                        &separator,  &text,    &text_secondary, &text_disabled, &accent, &on_accent,
                        &focus,      &hover,   &pressed, &shadow};
    static_assert(std::size(members) == colour_member_names.size());
    for (std::size_t i = 0; i < colour_member_names.size(); ++i) {
        if (colour_member_names[i] == colour_name) {
            return members[i];
        }
    }
    return nullptr;
}

Theme Theme::configured()
{
    const std::filesystem::path path = custom_theme_path();
    if (path.empty()) {
        VORN_WARN("theme_load", "no configuration directory for a custom theme; using the dark theme");
        return dark();
    }
    return from_file(path.string());
}

Theme Theme::from_file(const std::string& path)
{
    std::ifstream in(path);
    if (!in) {
        VORN_WARN("theme_load", "custom theme {} cannot be read; using the dark theme", path);
        return dark();
    }
    const nlohmann::json doc = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
    if (!doc.is_object()) {
        VORN_WARN("theme_load", "custom theme {} is not a JSON object; using the dark theme", path);
        return dark();
    }
    Theme theme = dark();
    if (const auto base = doc.find("base"); base != doc.end()) {
        const std::optional<Theme> named_base = base->is_string() ? named(base->get<std::string>()) : std::nullopt;
        if (named_base) {
            theme = *named_base;
        } else {
            VORN_WARN("theme_load", "custom theme {}: unknown base theme; starting from the dark theme", path);
        }
    }
    theme.name = "Custom";
    if (const auto name = doc.find("name"); name != doc.end() && name->is_string() &&
                                            !name->get_ref<const std::string&>().empty()) {
        theme.name = name->get<std::string>();
    }
    if (const auto colours = doc.find("colors"); colours != doc.end() && colours->is_object()) {
        for (const auto& [key, value] : colours->items()) {
            Color* member = theme.colour_by_name(key);
            const std::optional<Color> colour =
                value.is_string() ? Color::parse(value.get_ref<const std::string&>()) : std::nullopt;
            if (member == nullptr || !colour) {
                VORN_WARN("theme_load", "custom theme {}: colour \"{}\" skipped", path, key);
                continue;
            }
            *member = *colour;
        }
    }
    return theme;
}

}  // namespace vorn_ui
