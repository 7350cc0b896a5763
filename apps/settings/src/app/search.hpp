#pragma once
// The settings search of the desktop: the catalogue "Personal Settings" with one entry per section (in sidebar
// order), and the provider the application hands the toolkit's search. A result opens its section through the
// section's "open" action.

#include "vorn_actions/resource.hpp"
#include "vorn_ui/search/search_catalog.hpp"
#include "vorn_ui/search_provider.hpp"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace settings::app {

inline constexpr std::string_view kSearchCatalogName = "Personal Settings";
inline constexpr std::size_t kSearchLimit = 256;

// The catalogue with the 22 section entries: title, description, icon, and the id of the section's open action;
// each found by its title, description and keywords.
[[nodiscard]] vorn_ui::SearchCatalog settings_search_catalog();

class SettingsSearchProvider final : public vorn_ui::SearchProvider {
public:
    explicit SettingsSearchProvider(vorn_ui::SearchCatalog catalog) : catalog_(std::move(catalog)) {}

    [[nodiscard]] std::string_view provider_name() const override { return kSearchCatalogName; }
    [[nodiscard]] std::string_view title() const { return kSearchCatalogName; }
    // The catalogue's generation (the last value of its statistics).
    [[nodiscard]] std::uint64_t stats() const { return catalog_.stats().generation; }
    [[nodiscard]] bool cursor_is_current(std::uint64_t cursor) const { return catalog_.cursor_is_current(cursor); }
    [[nodiscard]] std::vector<vorn_ui::SearchEntry> search(std::string_view query) const
    {
        return search_with_limit(query, kSearchLimit);
    }
    // At most `limit` results (values above 256 count as 256).
    [[nodiscard]] std::vector<vorn_ui::SearchEntry> search_with_limit(std::string_view query,
                                                                      std::size_t limit) const;
    [[nodiscard]] vorn_ui::search::SearchPage query_page(std::string_view query, std::size_t offset,
                                                         std::size_t page_size, std::size_t limit) const
    {
        return catalog_.query_page(query, offset, page_size, limit);
    }
    // The open action of the section a result stands for; none for a result that is not a section's open action.
    [[nodiscard]] std::optional<vorn_actions::Resource> action_for(const vorn_ui::SearchEntry& result) const;

    [[nodiscard]] const vorn_ui::SearchCatalog& catalog() const { return catalog_; }

private:
    vorn_ui::SearchCatalog catalog_;
};

}  // namespace settings::app
