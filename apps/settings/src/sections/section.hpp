#pragma once
// The 22 settings sections: their ids, titles, descriptions, search keywords, sidebar groups and icons, the order
// in which the sidebar lists them, and the rule by which a search query selects a section.
//
//   Section s = Section::Displays;
//   s.id()                         -> "displays"   (also the suffix of the resource id "settings.section:displays")
//   s.title()                      -> "Displays"
//   s.matches("Brightness")        -> true
//   Section::from_id("about")      -> Section::About
//   sidebar_order()                -> the 22 sections as the sidebar lists them
//   sections_in_group(SidebarGroup::Maintenance) -> Updates, About

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

// The five sidebar groups, in the order the sidebar shows them.
enum class SidebarGroup : std::uint8_t { Connectivity, Devices, System, AccountsPermissions, Maintenance };

inline constexpr std::size_t kSidebarGroupCount = 5;

// The group's heading as written ("Accounts & Permissions"); the sidebar shows it upper-cased.
[[nodiscard]] std::string_view group_title(SidebarGroup group);

// The groups in sidebar order.
[[nodiscard]] std::span<const SidebarGroup, kSidebarGroupCount> sidebar_groups();

class Section {
public:
    // Declaration order (the value of each section), which is not the sidebar order.
    enum Value : std::uint8_t {
        Network,
        Bluetooth,
        DevicesSync,
        Sound,
        Displays,
        MouseKeyboard,
        KeyboardShortcuts,
        TimeDate,
        Users,
        Printers,
        Power,
        Appearance,
        Accessibility,
        Notifications,
        DefaultApps,
        Storage,
        ExternalAccounts,
        AgentModels,
        RegionFormats,
        Permissions,
        Updates,
        About,
    };
    static constexpr std::size_t kCount = 22;

    // Implicit both ways: Section::About is a Section, and a Section works in a switch and compares with ==.
    constexpr Section(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // The section of an id ("default-apps", "time_date", ...), compared exactly; none for any other text.
    [[nodiscard]] static std::optional<Section> from_id(std::string_view id);
    // The section of a declaration value 0 to 21; none above.
    [[nodiscard]] static std::optional<Section> from_index(std::size_t index);

    [[nodiscard]] constexpr std::size_t index() const { return value_; }

    // Stable id, used in resource ids and by the open-pane action. Only "default-apps" has a hyphen.
    [[nodiscard]] std::string_view id() const;
    [[nodiscard]] std::string_view title() const;
    [[nodiscard]] std::string_view description() const;
    // Search keywords, all lower case, in their fixed order.
    [[nodiscard]] std::span<const std::string_view> keywords() const;
    [[nodiscard]] SidebarGroup group() const;
    // Code of the toolkit's icon set, drawn by the sidebar row and stored in the search entry.
    [[nodiscard]] std::uint8_t icon() const;

    // Whether a search query selects this section. The query is trimmed of white space (Unicode white space, at
    // both ends) and its ASCII letters lower-cased; an empty query matches every section. Otherwise the section
    // matches when its ASCII-lower-cased title or description contains the query, or when one of its keywords
    // contains the query or is contained in it (so "screen reader settings" still finds Accessibility). Byte-exact
    // substring tests: no word boundaries, no fuzzy matching, no ranking.
    [[nodiscard]] bool matches(std::string_view query) const;

    // The text the system-wide search indexes: title, description and every keyword joined by single spaces.
    [[nodiscard]] std::string search_text() const;

private:
    Value value_;
};

// All sections in declaration order (value 0 first).
[[nodiscard]] std::span<const Section, Section::kCount> all_sections();

// All sections in the order the sidebar lists them: group by group, and inside each group in this same order.
[[nodiscard]] std::span<const Section, Section::kCount> sidebar_order();

// The sections of one group, in sidebar order.
[[nodiscard]] std::vector<Section> sections_in_group(SidebarGroup group);

// The sections a query selects (`Section::matches`), in sidebar order; all of them for an empty query.
[[nodiscard]] std::vector<Section> matching_sections(std::string_view query);

// The query as `Section::matches` compares it: Unicode white space trimmed at both ends, ASCII letters lower-cased.
// The sidebar shows the trimmed query in its "no match" sentence.
[[nodiscard]] std::string normalize_query(std::string_view query);
[[nodiscard]] std::string_view trim_query(std::string_view query);

}  // namespace settings
