#include "prefs/window_appearance.hpp"

#include "prefs/settings_file.hpp"

#include <mutex>
#include <optional>

namespace settings::prefs {
namespace {

struct Slot {
    std::mutex mutex;
    std::optional<AppearancePrefs> appearance;
};

Slot& slot()
{
    static Slot slot;
    return slot;
}

}  // namespace

AppearancePrefs window_appearance()
{
    Slot& s = slot();
    const std::lock_guard lock(s.mutex);
    if (!s.appearance) {
        s.appearance = load_settings_file().appearance;
    }
    return *s.appearance;
}

void set_window_appearance(const AppearancePrefs& prefs)
{
    Slot& s = slot();
    const std::lock_guard lock(s.mutex);
    s.appearance = prefs;
}

}  // namespace settings::prefs
