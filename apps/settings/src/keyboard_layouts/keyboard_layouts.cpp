#include "keyboard_layouts/keyboard_layouts.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "config_sections/hardware.hpp"
#include "text_utf8/text_utf8.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <locale.h>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>

namespace settings::keyboard_layouts {
namespace {

// The longest label kept of a rules file's description (Debian's longest is under 60 bytes).
constexpr std::size_t max_label_bytes = 256;

// Unicode White_Space.
bool is_space(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string trim(std::string_view s)
{
    std::size_t begin = 0;
    std::size_t end = 0;
    bool seen = false;
    for (std::size_t i = 0; i < s.size();) {
        auto [cp, len] = text_utf8::decode(s, i);
        len = std::max<std::size_t>(len, 1);
        if (!is_space(cp)) {
            if (!seen) {
                begin = i;
                seen = true;
            }
            end = i + len;
        }
        i += len;
    }
    return seen ? std::string(s.substr(begin, end - begin)) : std::string();
}

// Lower case by the Unicode case mapping of the C.UTF-8 locale ("Ū" -> "ū"); ASCII only when that is missing.
std::string to_lower(std::string_view s)
{
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto [cp, len] = text_utf8::decode(s, i);
        if (len == 0) {
            out += s[i++];
            continue;
        }
        if (cp < 0x80) {
            cp = (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
        } else if (utf8 != static_cast<locale_t>(nullptr)) {
            cp = static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), utf8));
        }
        text_utf8::append(out, cp);
        i += len;
    }
    return out;
}

std::string_view local_name(const char* name)
{
    std::string_view n(name);
    const auto colon = n.rfind(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

// --- the rules reader: a small state machine over start tags, end tags and text

class RulesReader {
public:
    void start(std::string_view name)
    {
        text_.clear();
        if (name == "layout") {
            in_layout_ = true;
            layout_name_.clear();
            layout_description_.clear();
            variants_.clear();
        } else if (name == "variant" && in_layout_) {
            in_variant_ = true;
            variant_name_.clear();
            variant_description_.clear();
        }
    }

    void text(std::string_view s)
    {
        if (in_layout_) {
            text_ += s;
        }
    }

    void end(std::string_view name)
    {
        if (name == "name" && in_layout_) {
            (in_variant_ ? variant_name_ : layout_name_) = trim(text_);
        } else if (name == "description" && in_layout_) {
            (in_variant_ ? variant_description_ : layout_description_) = trim(text_);
        } else if (name == "variant" && in_variant_) {
            if (!variant_name_.empty()) {
                variants_.emplace_back(variant_name_, variant_description_);
            }
            in_variant_ = false;
        } else if (name == "layout" && in_layout_) {
            add(layout_name_, std::nullopt, layout_description_);
            for (const auto& [variant, description] : variants_) {
                add(layout_name_, variant,
                    layout_description_ + " — " + (description.empty() ? variant : description));
            }
            in_layout_ = false;
        }
    }

    std::vector<KeyboardLayout> finish() &&
    {
        // First occurrence of an id wins.
        std::vector<KeyboardLayout> unique;
        std::set<std::string, std::less<>> seen;
        for (auto& entry : entries_) {
            if (seen.insert(entry.id).second) {
                unique.push_back(std::move(entry));
            }
        }
        // Sort by the lower-cased label; equal keys keep their order (the index breaks ties).
        struct Keyed {
            std::string key;
            std::size_t index;
        };
        std::vector<Keyed> keyed;
        keyed.reserve(unique.size());
        for (std::size_t i = 0; i < unique.size(); ++i) {
            keyed.push_back({to_lower(unique[i].label), i});
        }
        std::ranges::sort(keyed, [](const Keyed& a, const Keyed& b) {
            return std::tie(a.key, a.index) < std::tie(b.key, b.index);
        });
        std::vector<KeyboardLayout> sorted;
        std::map<std::string, int> label_count;
        for (const auto& k : keyed) {
            ++label_count[unique[k.index].label];
            sorted.push_back(std::move(unique[k.index]));
        }
        // Labels shared by several entries name their id.
        for (auto& entry : sorted) {
            if (label_count[entry.label] > 1) {
                entry.label += " · " + entry.id;
            }
        }
        return sorted;
    }

private:
    void add(const std::string& layout, const std::optional<std::string>& variant, std::string_view description)
    {
        const std::string candidate = variant ? layout + ":" + *variant : layout;
        auto source = config_sections::hardware::KeyboardInputSource::parse(candidate);
        if (!source) {
            return;
        }
        // Rules files are system data, but their names reach the screen: cleaned as any text from outside is.
        std::string label = trim(cmd_runner::clean_text(description, {.max_bytes = max_label_bytes}));
        entries_.push_back({source->id(), label.empty() ? source->id() : std::move(label)});
    }

    bool in_layout_ = false;
    bool in_variant_ = false;
    std::string text_;
    std::string layout_name_;
    std::string layout_description_;
    std::string variant_name_;
    std::string variant_description_;
    std::vector<std::pair<std::string, std::string>> variants_;
    std::vector<KeyboardLayout> entries_;
};

// Feeds the document to the reader in document order without recursion (rules files are trusted only so far).
void walk(const pugi::xml_node& root, RulesReader& reader)
{
    pugi::xml_node node = root.first_child();
    while (node) {
        if (node.type() == pugi::node_element) {
            reader.start(local_name(node.name()));
            if (node.first_child()) {
                node = node.first_child();
                continue;
            }
            reader.end(local_name(node.name()));
        } else if (node.type() == pugi::node_pcdata) {
            reader.text(node.value());
        }
        // Next in document order: the next sibling, or close parents until one has a next sibling.
        while (node && !node.next_sibling()) {
            node = node.parent();
            if (node == root || !node) {
                return;
            }
            reader.end(local_name(node.name()));
        }
        node = node.next_sibling();
    }
}

std::optional<std::string> read_whole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return std::move(text).str();
}

}  // namespace

std::optional<std::vector<KeyboardLayout>> parse_rules(std::string_view xml)
{
    if (!text_utf8::valid(xml)) {
        return std::nullopt;
    }
    pugi::xml_document document;
    // Default parsing: character references and the predefined entities are resolved; a DOCTYPE is skipped, so
    // no entity of a DTD (internal or external) is ever expanded and nothing is fetched.
    const auto result =
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default & ~pugi::parse_doctype, pugi::encoding_utf8);
    if (!result) {
        return std::nullopt;
    }
    RulesReader reader;
    walk(document, reader);
    auto entries = std::move(reader).finish();
    if (entries.empty()) {
        return std::nullopt;
    }
    return entries;
}

std::vector<KeyboardLayout> load_catalog(std::span<const std::filesystem::path> rules_files)
{
    for (const auto& path : rules_files) {
        const auto text = read_whole(path);
        if (!text) {
            continue;
        }
        if (auto entries = parse_rules(*text)) {
            return std::move(*entries);
        }
    }
    return fallback_catalog();
}

const std::vector<KeyboardLayout>& keyboard_layout_catalog()
{
    static const std::vector<KeyboardLayout> catalog = [] {
        const std::vector<std::filesystem::path> files(system_rules_files.begin(), system_rules_files.end());
        return load_catalog(files);
    }();
    return catalog;
}

const std::vector<KeyboardLayout>& fallback_catalog()
{
    static const std::vector<KeyboardLayout> fallback = {
        {"us", "English (US)"},
        {"gb", "English (UK)"},
        {"us:colemak", "English (US) — Colemak"},
        {"us:dvorak", "English (US) — Dvorak"},
        {"de", "German"},
        {"fr", "French"},
        {"nl", "Dutch"},
        {"es", "Spanish"},
        {"it", "Italian"},
        {"pt", "Portuguese"},
        {"br", "Portuguese (Brazil)"},
        {"pl", "Polish"},
        {"ru", "Russian"},
        {"se", "Swedish"},
        {"no", "Norwegian"},
        {"dk", "Danish"},
    };
    return fallback;
}

const KeyboardLayout* find_by_id(std::span<const KeyboardLayout> catalog, std::string_view id)
{
    const auto it = std::ranges::find(catalog, id, &KeyboardLayout::id);
    return it == catalog.end() ? nullptr : &*it;
}

const KeyboardLayout* find_by_label(std::span<const KeyboardLayout> catalog, std::string_view label)
{
    const auto it = std::ranges::find(catalog, label, &KeyboardLayout::label);
    return it == catalog.end() ? nullptr : &*it;
}

}  // namespace settings::keyboard_layouts
