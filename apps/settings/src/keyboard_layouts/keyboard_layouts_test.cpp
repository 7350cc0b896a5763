#include "keyboard_layouts/keyboard_layouts.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace settings::keyboard_layouts {

void PrintTo(const KeyboardLayout& entry, std::ostream* os) { *os << entry.id << " \"" << entry.label << '"'; }

namespace {

std::filesystem::path testdata(const char* name)
{
    const char* source = std::getenv("VORN_SOURCE_DIR");
    return std::filesystem::path(source ? source : ".") / "apps/settings/src/keyboard_layouts/testdata" / name;
}

std::vector<KeyboardLayout> parse_or_empty(std::string_view xml) { return parse_rules(xml).value_or(std::vector<KeyboardLayout>{}); }

std::string rules(std::string_view layouts)
{
    return std::string(R"(<?xml version="1.0"?><xkbConfigRegistry><layoutList>)") + std::string(layouts) +
           "</layoutList></xkbConfigRegistry>";
}

TEST(KeyboardLayouts, SystemRulesFileListsWellKnownLayouts)
{
    const std::filesystem::path evdev(system_rules_files[0]);
    ASSERT_TRUE(std::filesystem::exists(evdev)) << "xkb-data is installed by scripts/install-deps";
    const auto catalog = load_catalog(std::span(&evdev, 1));
    ASSERT_GT(catalog.size(), 400u);
    EXPECT_NE(catalog, fallback_catalog());

    const struct {
        const char* id;
        const char* label;
    } known[] = {
        {"us", "English (US)"},
        {"gb", "English (UK)"},
        {"de", "German"},
        {"us:colemak", "English (US) — English (Colemak)"},
        {"de:neo", "German — German (Neo 2)"},
        {"fr:bepo", "French — French (BEPO)"},
        {"cz:bksl", "Czech — Czech (with <\\|> key)"},
        {"lv:ergonomic", "Latvian — Latvian (ergonomic, ŪGJRMV)"},
        {"us:alt-intl", "English (US) — English (US, alt. intl.)"},
        {"in:tam_tamilnet_TAB", "Indian — Tamil (TamilNet '99, TAB encoding)"},
    };
    for (const auto& k : known) {
        const KeyboardLayout* entry = find_by_id(catalog, k.id);
        ASSERT_NE(entry, nullptr) << k.id;
        EXPECT_EQ(entry->label, k.label);
        EXPECT_EQ(find_by_label(catalog, k.label), entry);
    }
    EXPECT_EQ(find_by_id(catalog, "pc105"), nullptr) << "models are not layouts";

    std::set<std::string> ids;
    std::set<std::string> labels;
    for (const auto& entry : catalog) {
        EXPECT_TRUE(ids.insert(entry.id).second) << entry.id;
        EXPECT_TRUE(labels.insert(entry.label).second) << entry.label;
    }
    // Sorted by label regardless of case: "Latvian — Latvian (ergonomic, ŪGJRMV)" sorts among lower-case letters.
    for (std::size_t i = 1; i < catalog.size(); ++i) {
        EXPECT_LE(catalog[i - 1].label.front() | 0x20, catalog[i].label.front() | 0x20) << catalog[i].label;
    }
    EXPECT_EQ(&keyboard_layout_catalog(), &keyboard_layout_catalog()) << "parsed once";
}

TEST(KeyboardLayouts, LayoutsVariantsAndLabels)
{
    const auto catalog = parse_or_empty(rules(R"(
        <layout><configItem><name>b</name><description>Beta</description></configItem>
          <variantList>
            <variant><configItem><name>x</name><description>Beta X</description></configItem></variant>
            <variant><configItem><name>noname</name><description></description></configItem></variant>
            <variant><configItem><name></name><description>Ignored</description></configItem></variant>
          </variantList></layout>
        <layout><configItem><name>a</name><description>  alpha &amp; more &#x263A;  </description></configItem></layout>
        <layout><configItem><name>q</name><description>   </description></configItem></layout>
        <layout><configItem><name>bad/name</name><description>Dropped</description></configItem></layout>
        <layout><configItem><name>r</name><description>&#x202E;Rho&#1;&#x1B;[31m tab&#9;end</description></configItem></layout>)"));
    EXPECT_EQ(catalog, (std::vector<KeyboardLayout>{
                           {"a", "alpha & more ☺"},
                           {"b", "Beta"},
                           {"b:x", "Beta — Beta X"},
                           {"b:noname", "Beta — noname"},
                           {"q", "q"},
                           {"r", "Rho tab end"},  // control and bidirectional characters never reach the screen
                       }));
}

TEST(KeyboardLayouts, DuplicateIdsAndLabels)
{
    const auto catalog = parse_or_empty(rules(R"(
        <layout><configItem><name>aa</name><description>Same</description></configItem></layout>
        <layout><configItem><name>bb</name><description>Same</description></configItem></layout>
        <layout><configItem><name>aa</name><description>Second aa</description></configItem></layout>
        <xkb:layout xmlns:xkb="urn:x"><xkb:configItem><xkb:name>cc</xkb:name>
          <xkb:description>Prefixed</xkb:description></xkb:configItem></xkb:layout>)"));
    EXPECT_EQ(catalog, (std::vector<KeyboardLayout>{
                           {"cc", "Prefixed"},
                           {"aa", "Same · aa"},
                           {"bb", "Same · bb"},
                       }));
}

TEST(KeyboardLayouts, MalformedRulesAreRefused)
{
    EXPECT_EQ(parse_rules(""), std::nullopt);
    EXPECT_EQ(parse_rules("<xkbConfigRegistry><layoutList><layout>"), std::nullopt);
    EXPECT_EQ(parse_rules(rules("<layout><configItem><name>us</name><description>\xff</description>"
                                "</configItem></layout>")),
              std::nullopt);
    // Entities of a DTD are never expanded.
    const auto catalog = parse_or_empty(
        R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY big "BIG"><!ENTITY ext SYSTEM "file:///etc/passwd">]>)"
        R"(<r><layoutList><layout><configItem><name>us</name><description>&big;&ext;</description>)"
        R"(</configItem></layout></layoutList></r>)");
    ASSERT_EQ(catalog.size(), 1u);
    EXPECT_EQ(catalog[0].label.find("root:"), std::string::npos);
    EXPECT_EQ(catalog[0].label.find("BIG"), std::string::npos);
}

TEST(KeyboardLayouts, FilesAreTriedInOrderThenTheBuiltInList)
{
    const std::vector<std::filesystem::path> broken = {testdata("missing.xml"), testdata("malformed.xml"),
                                                       testdata("empty.xml"), testdata("no_layouts.xml")};
    const auto fallback = load_catalog(broken);
    ASSERT_EQ(fallback.size(), 16u);
    EXPECT_EQ(fallback, fallback_catalog());
    EXPECT_EQ(fallback.front(), (KeyboardLayout{"us", "English (US)"}));
    EXPECT_EQ(fallback[2], (KeyboardLayout{"us:colemak", "English (US) — Colemak"}));
    EXPECT_EQ(fallback.back(), (KeyboardLayout{"dk", "Danish"}));

    auto with_small = broken;
    with_small.push_back(testdata("small.xml"));
    EXPECT_EQ(load_catalog(with_small),
              (std::vector<KeyboardLayout>{{"zz", "Zeta"}, {"zz:alt", "Zeta — Zeta (alternative)"}}));
}

}  // namespace
}  // namespace settings::keyboard_layouts
