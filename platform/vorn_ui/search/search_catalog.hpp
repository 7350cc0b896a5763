#pragma once
// SearchCatalog: a named list of search entries that the desktop's search queries through a SearchProvider.
// Copies share one lock-protected state, so a provider made from a copy sees whatever the owner adds later.
//
//   vorn_ui::SearchCatalog catalog("Personal Settings");
//   catalog.add(SearchEntry::for_action("Personal Settings", "Displays", address), "Displays Resolution ... monitor");
//   auto page = catalog.query_page("monitor", 0, 20, 256);   // page.results: the Displays entry
//
// Matching: the query is split at white space into words, ASCII-lower-cased; an entry matches when each word occurs
// in its search text (lower-cased the same way). Ranking: entries whose title starts with the whole query, then
// those whose title contains it, then the rest; inside a rank, the order the entries were added.

#include "vorn_ui/actions/action_records.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorn_ui::search {

struct SearchStats {
    std::uint64_t entries = 0;
    std::uint64_t queries = 0;     // queries answered so far
    std::uint64_t generation = 0;  // changes with every change of the entries (what a cursor is checked against)
};

struct SearchPage {
    std::vector<SearchEntry> results;  // at most the page size, after `offset`
    std::size_t total = 0;             // matches (at most the limit)
    std::uint64_t cursor = 0;          // the generation the page was taken at
};

class SearchCatalog {
public:
    explicit SearchCatalog(std::string name);

    [[nodiscard]] const std::string& name() const { return *name_; }
    // Adds an entry with the text it is found by.
    void add(SearchEntry entry, std::string search_text);
    [[nodiscard]] std::size_t size() const;
    [[nodiscard]] std::vector<SearchEntry> entries() const;

    // The matches of `query`, ranked, at most `limit` of them, of which the page from `offset` with at most
    // `page_size` entries is answered.
    [[nodiscard]] SearchPage query_page(std::string_view query, std::size_t offset, std::size_t page_size,
                                        std::size_t limit) const;
    [[nodiscard]] SearchStats stats() const;
    // Whether a page taken at `cursor` still reflects the entries.
    [[nodiscard]] bool cursor_is_current(std::uint64_t cursor) const;
    [[nodiscard]] bool shares_state_with(const SearchCatalog& other) const { return inner_ == other.inner_; }

private:
    struct Inner;
    std::shared_ptr<const std::string> name_;
    std::shared_ptr<Inner> inner_;
};

}  // namespace vorn_ui::search

namespace vorn_ui {
using search::SearchCatalog;
}
