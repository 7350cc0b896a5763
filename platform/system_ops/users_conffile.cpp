// Automatic login in the display managers' configuration files: GLib key files (LightDM, GDM) and SDDM's files of
// the same shape. Lines are "[section]" headers, "key=value" entries (blanks around "=" allowed) and comments ("#"
// or ";"); a later entry of a key wins. An edit rewrites only the entries it changes and keeps every other line,
// comments included.

#include "system_ops/users.hpp"

#include "text_utf8/text_utf8.hpp"

#include <algorithm>
#include <functional>

namespace system_ops::users {

namespace {

struct Line {
    std::string text;
    std::string section;  // the section the line is in (for a header: its own)
    bool header = false;
    std::optional<std::string> key;
    std::string value;
};

using SectionTest = std::function<bool(std::string_view)>;

class KeyFile {
public:
    explicit KeyFile(std::string_view text)
    {
        std::string section;
        std::size_t start = 0;
        while (start < text.size()) {
            auto end = text.find('\n', start);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            lines_.push_back(parse(text.substr(start, end - start), section));
            start = end + 1;
        }
    }

    // The value of the key's last entry in a matching section, or none.
    [[nodiscard]] std::optional<std::string> get(const SectionTest& in_section, std::string_view key) const
    {
        std::optional<std::string> value;
        for (const auto& line : lines_) {
            if (line.key == key && in_section(line.section)) {
                value = line.value;
            }
        }
        return value;
    }

    [[nodiscard]] bool has_section(std::string_view name) const
    {
        return std::ranges::any_of(lines_, [&](const Line& line) { return line.header && line.section == name; });
    }

    // Sets the key in the section: its first entry is rewritten and later ones removed; without an entry one is added
    // after the section's last entry (after its header when it has none); without the section, the section is added
    // at the end.
    void set(std::string_view section, std::string_view key, std::string_view value)
    {
        const std::string text = std::string(key) + "=" + std::string(value);
        bool done = false;
        for (auto it = lines_.begin(); it != lines_.end();) {
            if (it->key == key && it->section == section) {
                if (done) {
                    it = lines_.erase(it);
                    continue;
                }
                it->text = text;
                it->value = std::string(value);
                done = true;
            }
            ++it;
        }
        if (done) {
            return;
        }
        const Line entry{text, std::string(section), false, std::string(key), std::string(value)};
        std::optional<std::size_t> after;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].section == section && (lines_[i].header || lines_[i].key)) {
                after = i;
            }
        }
        if (after) {
            lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*after + 1), entry);
            return;
        }
        if (!lines_.empty() && !text_utf8::trim_white_space(lines_.back().text).empty()) {
            lines_.push_back({});
        }
        lines_.push_back({"[" + std::string(section) + "]", std::string(section), true, std::nullopt, {}});
        lines_.push_back(entry);
    }

    void remove(const SectionTest& in_section, std::string_view key)
    {
        std::erase_if(lines_, [&](const Line& line) { return line.key == key && in_section(line.section); });
    }

    [[nodiscard]] std::string text() const
    {
        std::string out;
        for (const auto& line : lines_) {
            out += line.text;
            out += '\n';
        }
        return out;
    }

private:
    static Line parse(std::string_view raw, std::string& section)
    {
        if (raw.ends_with('\r')) {
            raw.remove_suffix(1);
        }
        Line line{std::string(raw), section, false, std::nullopt, {}};
        const auto trimmed = text_utf8::trim_white_space(raw);
        if (trimmed.empty() || trimmed.starts_with('#') || trimmed.starts_with(';')) {
            return line;
        }
        if (trimmed.starts_with('[') && trimmed.ends_with(']')) {
            section = std::string(text_utf8::trim_white_space(trimmed.substr(1, trimmed.size() - 2)));
            line.section = section;
            line.header = true;
            return line;
        }
        if (const auto equals = trimmed.find('='); equals != std::string_view::npos) {
            line.key = std::string(text_utf8::trim_white_space(trimmed.substr(0, equals)));
            line.value = std::string(text_utf8::trim_white_space(trimmed.substr(equals + 1)));
        }
        return line;
    }

    std::vector<Line> lines_;
};

// ---- Where each display manager keeps the setting

constexpr std::string_view lightdm_key = "autologin-user";
constexpr std::string_view lightdm_all_seats = "Seat:*";
constexpr std::string_view lightdm_legacy_seats = "SeatDefaults";
// The seat the session runs on: a section of its own overrides the sections for all seats.
constexpr std::string_view lightdm_first_seat = "Seat:seat0";

bool is_all_seats(std::string_view section)
{
    return section == lightdm_all_seats || section == lightdm_legacy_seats;
}
bool is_seat(std::string_view section)
{
    return section == lightdm_legacy_seats || section.starts_with("Seat:");
}

constexpr std::string_view gdm_section = "daemon";
constexpr std::string_view gdm_enable_key = "AutomaticLoginEnable";
constexpr std::string_view gdm_user_key = "AutomaticLogin";

constexpr std::string_view sddm_section = "Autologin";
constexpr std::string_view sddm_key = "User";

SectionTest named(std::string_view name)
{
    return [name](std::string_view section) { return section == name; };
}

// The last value of the key over the files, in order (an empty value counts: it overrides an earlier one).
std::optional<std::string> last_value(std::span<const KeyFile> files, const SectionTest& in_section,
                                      std::string_view key)
{
    std::optional<std::string> value;
    for (const auto& file : files) {
        if (auto found = file.get(in_section, key)) {
            value = std::move(found);
        }
    }
    return value;
}

bool is_true(std::string_view value)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::string text(value);
    std::ranges::transform(text, text.begin(), lower);
    return text == "true" || text == "1";
}

std::optional<std::string> user_in(DisplayManager kind, std::span<const KeyFile> files)
{
    std::optional<std::string> user;
    switch (kind) {
    case DisplayManager::LightDM:
        user = last_value(files, named(lightdm_first_seat), lightdm_key);
        if (!user) {
            user = last_value(files, is_all_seats, lightdm_key);
        }
        break;
    case DisplayManager::GDM:
        if (is_true(last_value(files, named(gdm_section), gdm_enable_key).value_or(""))) {
            user = last_value(files, named(gdm_section), gdm_user_key);
        }
        break;
    case DisplayManager::SDDM:
        user = last_value(files, named(sddm_section), sddm_key);
        break;
    }
    if (user && user->empty()) {
        return std::nullopt;
    }
    return user;
}

std::vector<KeyFile> key_files(std::span<const std::string> texts)
{
    std::vector<KeyFile> files;
    files.reserve(texts.size() + 1);
    for (const auto& text : texts) {
        files.emplace_back(text);
    }
    return files;
}

}  // namespace

std::optional<std::string> automatic_login_user(DisplayManager kind, std::span<const std::string> texts)
{
    return user_in(kind, key_files(texts));
}

std::string with_automatic_login(DisplayManager kind, std::string_view main_text, std::optional<std::string_view> login,
                                 std::span<const std::string> earlier)
{
    auto files = key_files(earlier);
    files.emplace_back(main_text);
    KeyFile& main = files.back();
    const std::string value(login.value_or(""));
    const auto effective = [&] { return user_in(kind, files); };
    const auto wanted = login ? std::optional<std::string>(value) : std::nullopt;

    switch (kind) {
    case DisplayManager::LightDM: {
        const std::string_view target = main.has_section(lightdm_all_seats) || !main.has_section(lightdm_legacy_seats)
                                            ? lightdm_all_seats
                                            : lightdm_legacy_seats;
        main.remove(is_seat, lightdm_key);
        if (login) {
            main.set(target, lightdm_key, value);
        }
        // An earlier file may still name someone, for all seats or for the first seat: override it here.
        if (effective() != wanted) {
            main.set(target, lightdm_key, value);
        }
        if (effective() != wanted) {
            main.set(lightdm_first_seat, lightdm_key, value);
        }
        break;
    }
    case DisplayManager::GDM:
        main.set(gdm_section, gdm_enable_key, login ? "true" : "false");
        if (login) {
            main.set(gdm_section, gdm_user_key, value);
        } else {
            main.remove(named(gdm_section), gdm_user_key);
        }
        break;
    case DisplayManager::SDDM:
        main.remove(named(sddm_section), sddm_key);
        if (login || effective() != wanted) {
            main.set(sddm_section, sddm_key, value);
        }
        break;
    }
    return main.text();
}

}  // namespace system_ops::users
