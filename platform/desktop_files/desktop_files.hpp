#pragma once
// The applications the desktop knows through desktop entries (*.desktop files in the XDG application folders).
//
// The folders are $XDG_DATA_HOME/applications (~/.local/share/applications by default), then the "applications"
// folder of each entry of $XDG_DATA_DIRS (/usr/local/share:/usr/share by default), in that order; each is read with
// its subfolders. An entry's file id is its path below its folder with "/" replaced by "-" and without ".desktop"
// ("kde/okular.desktop" -> "kde-okular"). The first folder holding a file id decides for it: an entry there that is
// hidden, not shown or unreadable also hides the same id in the later folders, as the desktop does.
//
// Only the [Desktop Entry] group counts. An entry is listed when it is of Type=Application, has a Name, and is
// neither Hidden=true nor NoDisplay=true. Its name is the Name in the user's language when the entry has one
// (LC_ALL, then LC_MESSAGES, then LANG; "de_DE.UTF-8@euro" tries Name[de_DE@euro], Name[de_DE], Name[de@euro],
// Name[de]), else Name; escapes (\s, \n, \t, \r, \\) are decoded and the text is cleaned and bounded like any text
// from outside. A file that is not a regular file, is larger than 256 KiB or is not valid UTF-8 is skipped.
//
//   for (const auto& entry : desktop_files::cache::cached_scan()) show(entry.app_id(), entry.name);

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace desktop_files {

inline constexpr std::size_t max_entry_bytes = 256 * 1024;
inline constexpr std::size_t max_name_chars = 128;

struct DesktopEntry {
    std::string file_id;            // "org.gnome.Calculator"
    std::optional<std::string> id;  // the entry's own application id: X-Vorn-Id, else X-Flatpak
    std::string name;
    std::filesystem::path path;

    // The id the entry stands for: its own id when it has one, else its file id.
    [[nodiscard]] const std::string& app_id() const { return id ? *id : file_id; }
    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};

// Why an entry is not listed (none: it is).
enum class Skip { None, NotApplication, NoName, Hidden, NoDisplay, Unreadable };

struct Parsed {
    Skip skip = Skip::None;
    DesktopEntry entry;  // filled when skip is None
};

// Reads the text of one entry. `languages` are the Name[...] locales to try, best first (see languages()).
[[nodiscard]] Parsed parse_entry(std::string_view text, std::string file_id,
                                 const std::vector<std::string>& languages);

// The locale names to try for "de_DE.UTF-8@euro": de_DE@euro, de_DE, de@euro, de. "C", "POSIX" and "" give none.
[[nodiscard]] std::vector<std::string> languages(std::string_view locale);
// The languages of the user's message locale (LC_ALL, LC_MESSAGES, LANG: the first that is set and not empty).
[[nodiscard]] std::vector<std::string> user_languages();

// The application folders in order of precedence.
[[nodiscard]] std::vector<std::filesystem::path> application_dirs();

// The listed entries of the folders, sorted by name, then file id.
[[nodiscard]] std::vector<DesktopEntry> scan(const std::vector<std::filesystem::path>& dirs,
                                             const std::vector<std::string>& languages);

namespace cache {

// scan(application_dirs(), user_languages()), kept while the folders, their subfolders and the languages stay as
// they were (a folder's modification time changes when an entry is added, removed or renamed in it; an entry
// rewritten in place is seen on the next change of its folder). Safe to call from any thread.
[[nodiscard]] std::vector<DesktopEntry> cached_scan();
// Forgets the kept scan.
void invalidate();

}  // namespace cache

}  // namespace desktop_files
