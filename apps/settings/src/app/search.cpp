#include "app/search.hpp"

#include "actions/catalogue/catalogue.hpp"
#include "sections/section.hpp"
#include "vorn_ui/actions/action_records.hpp"

#include <algorithm>

namespace settings::app {

vorn_ui::SearchCatalog settings_search_catalog()
{
    vorn_ui::SearchCatalog catalog{std::string(kSearchCatalogName)};
    for (const Section section : sidebar_order()) {
        vorn_ui::SearchEntry entry = vorn_ui::SearchEntry::for_action(kSearchCatalogName, section.title(),
                                                                      actions::catalogue::section_open_action(section))
                                         .with_description(section.description());
        entry.second_text = std::string();
        entry.number = 0;
        entry.icon = section.icon();
        catalog.add(std::move(entry), section.search_text());
    }
    return catalog;
}

std::vector<vorn_ui::SearchEntry> SettingsSearchProvider::search_with_limit(std::string_view query,
                                                                            std::size_t limit) const
{
    return query_page(query, 0, kSearchLimit, std::min(limit, kSearchLimit)).results;
}

std::optional<vorn_actions::Resource> SettingsSearchProvider::action_for(const vorn_ui::SearchEntry& result) const
{
    const auto address = vorn_ui::search_entry_action(result.id);
    if (!address) {
        return std::nullopt;
    }
    return actions::catalogue::open_pane_action(*address);
}

}  // namespace settings::app
