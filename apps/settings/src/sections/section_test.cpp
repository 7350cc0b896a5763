#include "sections/section.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace settings {
namespace {

std::vector<std::string_view> ids(const std::vector<Section>& sections)
{
    std::vector<std::string_view> out;
    for (Section s : sections) {
        out.push_back(s.id());
    }
    return out;
}

TEST(SectionSearch, QueriesSelectTheirSectionsInSidebarOrder)
{
    struct Case {
        std::string query;
        std::vector<std::string_view> expected;
    };
    const std::vector<Case> cases = {
        {"WIFI", {"network"}},                                   // keyword, ASCII case folded
        {"\xC2\xA0wifi\xE3\x80\x80", {"network"}},               // no-break and ideographic spaces trimmed
        {"  Kernel  ", {"about"}},
        // The query contains the whole keyword "screen reader" (and "screen", a Displays keyword).
        {"screen reader foo", {"displays", "accessibility"}},
        // Two letters inside "Pair", "mail", "email" and the keyword "ai".
        {"ai", {"bluetooth", "default-apps", "external_accounts", "agent_models"}},
        {"Apps", {"default-apps", "storage", "external_accounts"}},  // title, description, description
        {"mic", {"sound", "permissions"}},
        {"sync", {"devices_sync", "storage", "external_accounts"}},
        {"high contrast", {"appearance", "accessibility"}},
        {"&", {"devices_sync", "mouse_keyboard", "default-apps", "time_date", "region_formats", "permissions"}},
        {"zzz", {}},
        {"\xC3\x80UDIO", {}},  // "À" is not lower-cased, so "Àudio" is no keyword
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(ids(matching_sections(c.query)), c.expected);
        for (Section s : all_sections()) {
            const bool listed = std::ranges::find(c.expected, s.id()) != c.expected.end();
            EXPECT_EQ(s.matches(c.query), listed) << s.id();
        }
    }
}

TEST(SectionSearch, EmptyAndBlankQueriesMatchEverySection)
{
    for (std::string_view query : {"", "   ", "\t\n ", "\xE2\x80\x83"}) {
        EXPECT_EQ(matching_sections(query).size(), Section::kCount);
    }
}

TEST(SectionSearch, QueryNormalisation)
{
    EXPECT_EQ(normalize_query("  Screen READER\t"), "screen reader");
    EXPECT_EQ(normalize_query("\xC3\x80UDIO"), "\xC3\x80udio");
    EXPECT_EQ(trim_query("\xC2\xA0 No Match \xE2\x80\xAF"), "No Match");
    // A multi-byte character that merely ends in a byte of a space sequence is kept.
    EXPECT_EQ(trim_query("x\xC3\xA0"), "x\xC3\xA0");
}

TEST(SectionSearch, KeywordsAreStoredLowerCase)
{
    // Matching compares keywords as stored against a lower-cased query.
    for (Section s : all_sections()) {
        for (std::string_view keyword : s.keywords()) {
            EXPECT_EQ(normalize_query(keyword), keyword) << s.id();
        }
    }
}

TEST(SectionSearch, SearchTextJoinsTitleDescriptionAndKeywords)
{
    EXPECT_EQ(Section(Section::Printers).search_text(),
              "Printers Printers, queues, and recent jobs cups print queue job paper scanner");
}

TEST(SidebarGroups, GroupsInOrderWithTheirSections)
{
    struct Expected {
        SidebarGroup group;
        std::string_view title;
        std::vector<std::string_view> sections;
    };
    const std::vector<Expected> expected = {
        {SidebarGroup::Connectivity, "Connectivity", {"network", "bluetooth"}},
        {SidebarGroup::Devices,
         "Devices",
         {"devices_sync", "sound", "displays", "mouse_keyboard", "keyboard_shortcuts", "printers"}},
        {SidebarGroup::System,
         "System",
         {"appearance", "accessibility", "notifications", "default-apps", "storage", "power", "time_date", "users",
          "region_formats"}},
        {SidebarGroup::AccountsPermissions,
         "Accounts & Permissions",
         {"external_accounts", "agent_models", "permissions"}},
        {SidebarGroup::Maintenance, "Maintenance", {"updates", "about"}},
    };
    ASSERT_EQ(sidebar_groups().size(), expected.size());
    std::vector<Section> walked;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const SidebarGroup group = sidebar_groups()[i];
        EXPECT_EQ(group, expected[i].group);
        EXPECT_EQ(group_title(group), expected[i].title);
        const std::vector<Section> sections = sections_in_group(group);
        EXPECT_EQ(ids(sections), expected[i].sections);
        for (Section s : sections) {
            EXPECT_EQ(s.group(), group);
        }
        walked.insert(walked.end(), sections.begin(), sections.end());
    }
    // Walking the groups gives the order table, which holds every section once.
    EXPECT_EQ(ids(walked), ids({sidebar_order().begin(), sidebar_order().end()}));
    EXPECT_EQ(std::set<Section::Value>(walked.begin(), walked.end()).size(), Section::kCount);
}

TEST(SectionIds, LookupByIdAndIndex)
{
    for (Section s : all_sections()) {
        EXPECT_EQ(Section::from_id(s.id()), s);
        EXPECT_EQ(Section::from_index(s.index()), s);
    }
    EXPECT_EQ(Section::from_id("default-apps"), Section::DefaultApps);
    EXPECT_EQ(Section(Section::Permissions).title(), "Device Privacy & Security");
    for (std::string_view unknown : {"default_apps", "About", "about ", "", "settings.section:about"}) {
        EXPECT_EQ(Section::from_id(unknown), std::nullopt) << unknown;
    }
    EXPECT_EQ(Section::from_index(Section::kCount), std::nullopt);
}

}  // namespace
}  // namespace settings
