#pragma once
// The appearance the whole window is drawn with: read from the settings file on first use, then as it was last
// saved (by the Appearance or Accessibility page, or by a set-setting action while neither is open). Any thread.

#include "prefs/records.hpp"

namespace settings::prefs {

[[nodiscard]] AppearancePrefs window_appearance();
void set_window_appearance(const AppearancePrefs& prefs);

}  // namespace settings::prefs
