#pragma once
// Reading a section of the settings file member by member. The strict decoders of records.hpp fail a whole record
// on one bad value; the settings file reads its sections with decode_section instead: a member that does not read
// falls back to its field's default alone, the others are kept. Only a section that is no object, or that lacks a
// required member, takes its default as a whole.
//
// Ranges the strict decoders check on load: AppearancePrefs::ui_scale and text_scale within [min_scale, max_scale],
// so that the interface stays usable and the Appearance page that could fix it can be reached (1e308 drew nothing,
// 0 and -1 collapsed the layout).
//
//   decode_section<DisplayPrefs>({"auto_brightness": true, "night_light": false, "night_light_temperature": 2^64})
//       -> auto_brightness true, the temperature's default

#include "prefs/records.hpp"

#include <optional>

namespace settings::prefs {

inline constexpr double min_scale = 0.5;
inline constexpr double max_scale = 3.0;

// For the eight section records.
template <class R>
[[nodiscard]] std::optional<R> decode_section(const Json& value);

}  // namespace settings::prefs
