#include "vorn_ui/search/search_catalog.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <shared_mutex>

namespace vorn_ui::search {

namespace {

std::string lower_ascii(std::string_view text)
{
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::vector<std::string> words_of(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_space(text[i])) {
            ++i;
        }
        std::size_t j = i;
        while (j < text.size() && !is_space(text[j])) {
            ++j;
        }
        if (j > i) {
            words.push_back(lower_ascii(text.substr(i, j - i)));
        }
        i = j;
    }
    return words;
}

}  // namespace

struct SearchCatalog::Inner {
    struct Item {
        SearchEntry entry;
        std::string text;   // lower-cased search text
        std::string title;  // lower-cased title
    };
    mutable std::shared_mutex lock;
    std::vector<Item> items;
    std::uint64_t generation = 0;
    mutable std::atomic<std::uint64_t> queries{0};
};

SearchCatalog::SearchCatalog(std::string name)
    : name_(std::make_shared<const std::string>(std::move(name))), inner_(std::make_shared<Inner>())
{
}

void SearchCatalog::add(SearchEntry entry, std::string search_text)
{
    std::string title = lower_ascii(entry.title);
    std::unique_lock lock(inner_->lock);
    inner_->items.push_back({std::move(entry), lower_ascii(search_text), std::move(title)});
    ++inner_->generation;
}

std::size_t SearchCatalog::size() const
{
    std::shared_lock lock(inner_->lock);
    return inner_->items.size();
}

std::vector<SearchEntry> SearchCatalog::entries() const
{
    std::shared_lock lock(inner_->lock);
    std::vector<SearchEntry> out;
    out.reserve(inner_->items.size());
    for (const auto& item : inner_->items) {
        out.push_back(item.entry);
    }
    return out;
}

SearchPage SearchCatalog::query_page(std::string_view query, std::size_t offset, std::size_t page_size,
                                     std::size_t limit) const
{
    const std::vector<std::string> words = words_of(query);
    std::string whole;
    for (const auto& word : words) {
        whole += whole.empty() ? word : " " + word;
    }
    inner_->queries.fetch_add(1, std::memory_order_relaxed);

    SearchPage page;
    std::shared_lock lock(inner_->lock);
    page.cursor = inner_->generation;
    if (words.empty()) {
        return page;
    }
    std::vector<std::pair<int, const SearchEntry*>> ranked;
    for (const auto& item : inner_->items) {
        const bool all = std::ranges::all_of(
            words, [&](const std::string& word) { return item.text.find(word) != std::string::npos; });
        if (!all) {
            continue;
        }
        const int rank = item.title.starts_with(whole) ? 0 : item.title.find(whole) != std::string::npos ? 1 : 2;
        ranked.emplace_back(rank, &item.entry);
    }
    std::ranges::stable_sort(ranked, {}, &std::pair<int, const SearchEntry*>::first);
    page.total = std::min(ranked.size(), limit);
    for (std::size_t i = offset; i < page.total && page.results.size() < page_size; ++i) {
        page.results.push_back(*ranked[i].second);
    }
    return page;
}

SearchStats SearchCatalog::stats() const
{
    std::shared_lock lock(inner_->lock);
    return SearchStats{inner_->items.size(), inner_->queries.load(std::memory_order_relaxed), inner_->generation};
}

bool SearchCatalog::cursor_is_current(std::uint64_t cursor) const
{
    std::shared_lock lock(inner_->lock);
    return cursor == inner_->generation;
}

}  // namespace vorn_ui::search
