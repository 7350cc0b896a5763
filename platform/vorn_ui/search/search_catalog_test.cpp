// The search catalogue: matching every word, ranking by title, paging and limits, and shared state between copies.
#include "vorn_ui/search/search_catalog.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_ui::search {
namespace {

std::vector<std::string> titles(const SearchPage& page)
{
    std::vector<std::string> out;
    for (const auto& entry : page.results) {
        out.push_back(entry.title);
    }
    return out;
}

SearchCatalog sample()
{
    SearchCatalog catalog("Personal Settings");
    catalog.add(SearchEntry::make("Personal Settings", "Network", "n"), "Network Wi-Fi wired vpn");
    catalog.add(SearchEntry::make("Personal Settings", "Sound", "s"), "Sound Output input volume speaker");
    catalog.add(SearchEntry::make("Personal Settings", "Displays", "d"), "Displays screen brightness night light");
    catalog.add(SearchEntry::make("Personal Settings", "Night Shift", "x"), "Night Shift warmer screen colours");
    return catalog;
}

TEST(SearchCatalog, EveryWordMustMatchAndTitlesRankFirst)
{
    const SearchCatalog catalog = sample();
    EXPECT_THAT(titles(catalog.query_page("SCREEN", 0, 10, 10)), ::testing::ElementsAre("Displays", "Night Shift"));
    EXPECT_THAT(titles(catalog.query_page("night", 0, 10, 10)), ::testing::ElementsAre("Night Shift", "Displays"));
    EXPECT_THAT(titles(catalog.query_page("screen  warmer", 0, 10, 10)), ::testing::ElementsAre("Night Shift"));
    EXPECT_TRUE(catalog.query_page("   ", 0, 10, 10).results.empty());
    EXPECT_TRUE(catalog.query_page("bluetooth", 0, 10, 10).results.empty());
}

TEST(SearchCatalog, PagesLimitsAndCursors)
{
    SearchCatalog catalog = sample();
    const SearchPage all = catalog.query_page("e", 0, 10, 10);
    EXPECT_EQ(all.total, 4U);
    const SearchPage second = catalog.query_page("e", 1, 2, 10);
    EXPECT_THAT(titles(second), ::testing::ElementsAre(all.results[1].title, all.results[2].title));
    EXPECT_EQ(catalog.query_page("e", 0, 10, 3).total, 3U);
    EXPECT_TRUE(catalog.query_page("e", 5, 10, 10).results.empty());

    const SearchCatalog copy = catalog;  // shares the entries
    EXPECT_TRUE(copy.shares_state_with(catalog));
    EXPECT_TRUE(copy.cursor_is_current(all.cursor));
    catalog.add(SearchEntry::make("Personal Settings", "Power", "p"), "Power battery");
    EXPECT_EQ(copy.size(), 5U);
    EXPECT_FALSE(copy.cursor_is_current(all.cursor));
    EXPECT_EQ(copy.stats().entries, 5U);
}

}  // namespace
}  // namespace vorn_ui::search
