#include "desktop_files/desktop_files.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "text_utf8/text_utf8.hpp"
#include "vorn_log/log.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

namespace desktop_files {

namespace {

namespace fs = std::filesystem;

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string unescape(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default:
            out += '\\';
            out += value[i];
        }
    }
    return out;
}

std::string clean_name(std::string_view raw)
{
    return cmd_runner::clean_text(unescape(raw), {.max_chars = max_name_chars, .trim = true});
}

bool valid_id(std::string_view id)
{
    return !id.empty() && id.size() <= 255 && std::ranges::all_of(id, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
               c == '.' || c == '_';
    });
}

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::optional<std::string> read_small_file(const fs::path& file)
{
    std::error_code error;
    if (!fs::is_regular_file(file, error) || fs::file_size(file, error) > max_entry_bytes || error) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(max_entry_bytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > max_entry_bytes) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::vector<std::string> languages(std::string_view locale)
{
    std::string_view modifier;
    if (const auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    if (const auto dot = locale.find('.'); dot != std::string_view::npos) {
        locale = locale.substr(0, dot);
    }
    if (locale.empty() || locale == "C" || locale == "POSIX") {
        return {};
    }
    std::string_view lang = locale;
    std::string_view country;
    if (const auto underscore = locale.find('_'); underscore != std::string_view::npos) {
        lang = locale.substr(0, underscore);
        country = locale.substr(underscore);
    }
    std::vector<std::string> out;
    const auto add = [&](std::string text) {
        if (std::ranges::find(out, text) == out.end()) {
            out.push_back(std::move(text));
        }
    };
    if (!country.empty() && !modifier.empty()) {
        add(std::string(lang) + std::string(country) + std::string(modifier));
    }
    if (!country.empty()) {
        add(std::string(lang) + std::string(country));
    }
    if (!modifier.empty()) {
        add(std::string(lang) + std::string(modifier));
    }
    add(std::string(lang));
    return out;
}

std::vector<std::string> user_languages()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const std::string value = env(name); !value.empty()) {
            return languages(value);
        }
    }
    return {};
}

Parsed parse_entry(std::string_view text, std::string file_id, const std::vector<std::string>& languages)
{
    if (!text_utf8::valid(text)) {
        return {Skip::Unreadable, {}};
    }
    bool in_main_group = false;
    bool seen_main_group = false;
    std::string type;
    std::optional<std::string> name;
    std::map<std::string, std::string, std::less<>> localized;
    std::optional<std::string> vorn_id;
    std::optional<std::string> flatpak_id;
    bool hidden = false;
    bool no_display = false;

    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                return {Skip::Unreadable, {}};
            }
            // The main group comes first; a second one with the same name is a damaged file.
            if (line == "[Desktop Entry]" && seen_main_group) {
                return {Skip::Unreadable, {}};
            }
            in_main_group = line == "[Desktop Entry]";
            seen_main_group = seen_main_group || in_main_group;
            continue;
        }
        if (!seen_main_group) {
            return {Skip::Unreadable, {}};  // a key before any group
        }
        if (!in_main_group) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return {Skip::Unreadable, {}};
        }
        const std::string_view key = trim(line.substr(0, equals));
        const std::string_view value = trim(line.substr(equals + 1));
        if (key == "Type") {
            type = value;
        } else if (key == "Name") {
            name = std::string(value);
        } else if (key.starts_with("Name[") && key.ends_with("]")) {
            localized.emplace(std::string(key.substr(5, key.size() - 6)), std::string(value));
        } else if (key == "Hidden") {
            hidden = value == "true";
        } else if (key == "NoDisplay") {
            no_display = value == "true";
        } else if (key == "X-Vorn-Id") {
            vorn_id = std::string(value);
        } else if (key == "X-Flatpak") {
            flatpak_id = std::string(value);
        }
    }
    if (!seen_main_group) {
        return {Skip::Unreadable, {}};
    }
    if (hidden) {
        return {Skip::Hidden, {}};
    }
    if (type != "Application") {
        return {Skip::NotApplication, {}};
    }
    if (no_display) {
        return {Skip::NoDisplay, {}};
    }
    std::string shown;
    for (const auto& language : languages) {
        if (const auto found = localized.find(language); found != localized.end()) {
            shown = clean_name(found->second);
            if (!shown.empty()) {
                break;
            }
        }
    }
    if (shown.empty() && name) {
        shown = clean_name(*name);
    }
    if (shown.empty()) {
        return {Skip::NoName, {}};
    }
    Parsed parsed;
    parsed.entry.file_id = std::move(file_id);
    parsed.entry.name = std::move(shown);
    for (const auto& own : {vorn_id, flatpak_id}) {
        if (own && valid_id(*own)) {
            parsed.entry.id = *own;
            break;
        }
    }
    return parsed;
}

std::vector<fs::path> application_dirs()
{
    std::vector<fs::path> dirs;
    std::string data_home = env("XDG_DATA_HOME");
    if (data_home.empty() || data_home.front() != '/') {
        if (const std::string home = env("HOME"); !home.empty()) {
            data_home = home + "/.local/share";
        } else {
            data_home.clear();
        }
    }
    if (!data_home.empty()) {
        dirs.push_back(fs::path(data_home) / "applications");
    }
    std::string data_dirs = env("XDG_DATA_DIRS");
    if (data_dirs.empty()) {
        data_dirs = "/usr/local/share:/usr/share";
    }
    std::string_view rest = data_dirs;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!dir.empty() && dir.front() == '/') {
            fs::path path = fs::path(dir) / "applications";
            if (std::ranges::find(dirs, path) == dirs.end()) {
                dirs.push_back(std::move(path));
            }
        }
    }
    return dirs;
}

namespace {

// Every *.desktop file below `dir` with its file id, and every folder visited (for the cache's stamps).
void walk(const fs::path& dir, std::vector<std::pair<std::string, fs::path>>& files, std::vector<fs::path>* folders)
{
    std::error_code error;
    if (!fs::is_directory(dir, error)) {
        return;
    }
    if (folders != nullptr) {
        folders->push_back(dir);
    }
    // Bounded: a folder tree deeper than a few levels or with symlink loops is not an application folder.
    auto it = fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it.depth() > 4) {
            it.disable_recursion_pending();
            continue;
        }
        const fs::path& path = it->path();
        std::error_code kind_error;
        if (it->is_directory(kind_error)) {
            if (folders != nullptr) {
                folders->push_back(path);
            }
            continue;
        }
        if (path.extension() != ".desktop") {
            continue;
        }
        std::string id = fs::relative(path, dir, kind_error).replace_extension().generic_string();
        if (kind_error || id.empty()) {
            continue;
        }
        std::ranges::replace(id, '/', '-');
        files.emplace_back(std::move(id), path);
    }
}

std::vector<DesktopEntry> scan_with_folders(const std::vector<fs::path>& dirs,
                                            const std::vector<std::string>& languages,
                                            std::vector<fs::path>* folders)
{
    std::set<std::string, std::less<>> decided;
    std::vector<DesktopEntry> entries;
    for (const auto& dir : dirs) {
        std::vector<std::pair<std::string, fs::path>> files;
        walk(dir, files, folders);
        std::ranges::sort(files);
        for (auto& [file_id, path] : files) {
            if (!decided.insert(file_id).second) {
                continue;
            }
            const auto text = read_small_file(path);
            if (!text) {
                VORN_DEBUG("desktop_files", "desktop entry skipped: {} cannot be read", path.string());
                continue;
            }
            Parsed parsed = parse_entry(*text, file_id, languages);
            if (parsed.skip != Skip::None) {
                continue;
            }
            parsed.entry.path = path;
            entries.push_back(std::move(parsed.entry));
        }
    }
    std::ranges::stable_sort(entries, [](const DesktopEntry& a, const DesktopEntry& b) {
        return a.name != b.name ? a.name < b.name : a.file_id < b.file_id;
    });
    return entries;
}

}  // namespace

std::vector<DesktopEntry> scan(const std::vector<fs::path>& dirs, const std::vector<std::string>& languages)
{
    return scan_with_folders(dirs, languages, nullptr);
}

namespace cache {

namespace {

struct Stamp {
    fs::path folder;
    fs::file_time_type modified;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};

struct Kept {
    std::vector<fs::path> dirs;
    std::vector<std::string> languages;
    std::vector<Stamp> stamps;
    std::vector<DesktopEntry> entries;
};

std::mutex mutex;
std::optional<Kept> kept;

std::vector<Stamp> stamps_of(const std::vector<fs::path>& folders)
{
    std::vector<Stamp> stamps;
    stamps.reserve(folders.size());
    for (const auto& folder : folders) {
        std::error_code error;
        const auto modified = fs::last_write_time(folder, error);
        stamps.push_back({folder, error ? fs::file_time_type::min() : modified});
    }
    return stamps;
}

// Whether the folders that were read are still the ones there are, unchanged: the kept folders' times, and no
// application folder that was missing has appeared.
bool still_current(const Kept& k)
{
    if (stamps_of([&] {
            std::vector<fs::path> folders;
            for (const auto& stamp : k.stamps) {
                folders.push_back(stamp.folder);
            }
            return folders;
        }()) != k.stamps) {
        return false;
    }
    for (const auto& dir : k.dirs) {
        std::error_code error;
        const bool exists = fs::is_directory(dir, error);
        const bool was_read = std::ranges::any_of(k.stamps, [&](const Stamp& s) { return s.folder == dir; });
        if (exists != was_read) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<DesktopEntry> cached_scan()
{
    auto dirs = application_dirs();
    auto langs = user_languages();
    std::lock_guard lock(mutex);
    if (kept && kept->dirs == dirs && kept->languages == langs && still_current(*kept)) {
        return kept->entries;
    }
    std::vector<fs::path> folders;
    auto entries = scan_with_folders(dirs, langs, &folders);
    kept = Kept{std::move(dirs), std::move(langs), stamps_of(folders), entries};
    return entries;
}

void invalidate()
{
    std::lock_guard lock(mutex);
    kept.reset();
}

}  // namespace cache

}  // namespace desktop_files
