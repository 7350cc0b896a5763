#include "panes/storage/storage_text.hpp"

#include "cmd_runner/cmd_runner.hpp"
#include "text_utf8/text_utf8.hpp"
#include "vorn_ui/format.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace settings::panes::storage {

namespace {

using desk_rules::StorageCategory;
using vorn_ui::format::bytes_si;

}  // namespace

std::vector<ValueRow> storage_use_rows(const StorageModel& model)
{
    std::vector<ValueRow> rows;
    for (const StorageCategory category : desk_rules::storage_categories) {
        std::string value;
        if (category == StorageCategory::SyncedFiles) {
            if (const auto& synced = model.synced_snapshot()) {
                std::uint64_t total = 0;
                for (const auto& area : synced->usage) {
                    total += area.synced_total;
                }
                value = bytes_si(total);
            } else {
                value = not_available_text;
            }
        } else if (model.measuring()) {
            value = measuring_text;
        } else if (const auto& snapshot = model.snapshot(); !snapshot || !snapshot->measured(category)) {
            value = not_available_text;
        } else {
            value = bytes_si(snapshot->total(category));
        }
        rows.push_back({std::string(desk_rules::label(category)), std::move(value)});
    }
    return rows;
}

std::optional<std::string> storage_use_note(const StorageModel& model)
{
    const auto& snapshot = model.snapshot();
    if (!snapshot) {
        return model.local_problem();
    }
    std::vector<std::string> notes;
    if (snapshot->unreadable_folders == 1) {
        notes.emplace_back("1 folder could not be read and is not counted.");
    } else if (snapshot->unreadable_folders > 1) {
        notes.push_back(fmt::format("{} folders could not be read and are not counted.", snapshot->unreadable_folders));
    }
    if (!snapshot->complete && !snapshot->stopped) {
        notes.emplace_back("There were too many files to measure them all; the sizes are at least what is shown.");
    }
    if (notes.empty()) {
        return std::nullopt;
    }
    std::string text = notes.front();
    for (std::size_t i = 1; i < notes.size(); ++i) {
        text += " " + notes[i];
    }
    return text;
}

SyncedCard synced_card(const StorageModel& model)
{
    SyncedCard card;
    const auto& synced = model.synced_snapshot();
    if (!synced) {
        card.only_caption = model.status().value_or(std::string(synced_not_available_text));
        return card;
    }
    std::uint64_t on_device = 0;
    std::uint64_t remote_only = 0;
    std::uint64_t safe_to_free = 0;
    for (const auto& area : synced->usage) {
        on_device += area.on_device;
        remote_only += area.remote_only;
        safe_to_free += area.safe_to_free;
    }
    card.totals = {{"On this device", bytes_si(on_device)},
                   {"On other devices only", bytes_si(remote_only)},
                   {"Safe to free", bytes_si(safe_to_free)}};
    card.status = model.status();
    for (const auto& file : synced->files) {
        if (card.files.size() == listed_rows) {
            break;
        }
        if (file.reclaimable_bytes != 0) {
            card.files.push_back({file.display_name, bytes_si(file.reclaimable_bytes)});
        }
    }
    if (model.evicting()) {
        card.footer = std::string(verifying_text);
    } else if (safe_to_free == 0) {
        card.footer = std::string(synced->online ? nothing_reclaimable_text : offline_text);
    } else {
        card.button_label = fmt::format("Free {}", bytes_si(safe_to_free));
    }
    return card;
}

LargestItems largest_items(const StorageModel& model)
{
    LargestItems items;
    const auto& snapshot = model.snapshot();
    if (!snapshot) {
        items.caption = std::string(model.measuring() ? measuring_text : not_available_text);
        return items;
    }
    std::vector<const desk_rules::storage::StorageEntry*> sorted;
    for (const auto& entry : snapshot->entries) {
        sorted.push_back(&entry);
    }
    std::ranges::stable_sort(sorted, [](const auto* a, const auto* b) { return a->bytes > b->bytes; });
    for (const auto* entry : sorted) {
        if (items.rows.size() == listed_rows) {
            break;
        }
        items.rows.push_back(
            {fmt::format("{} \u00b7 {}", entry->name, desk_rules::label(entry->category)), bytes_si(entry->bytes)});
    }
    if (items.rows.empty()) {
        items.caption = std::string(no_items_text);
    }
    return items;
}

std::string cache_item_label(const desk_rules::storage::CacheItem& item)
{
    const std::string name = item.path.filename().native();
    if (name.empty() || !text_utf8::valid(name)) {
        return std::string(cache_item_fallback);
    }
    std::string cleaned = cmd_runner::clean_text(name, {.max_bytes = 255, .trim = true});
    return cleaned.empty() ? std::string(cache_item_fallback) : cleaned;
}

std::string more_items_label(std::size_t count)
{
    return count == 1 ? std::string("1 more cache item") : fmt::format("{} more cache items", count);
}

CleanupCard cleanup_card(const StorageModel& model)
{
    CleanupCard card;
    card.status = model.cleanup_status();
    const auto& preview = model.cleanup_preview();
    if (!preview || preview->items.empty()) {
        card.title = std::string(cleanup_title);
        card.caption = std::string(model.measuring() ? measuring_text : no_cache_caption);
        if (!card.status && model.preview_problem()) {
            card.status = fmt::format("The cache could not be measured: {}", *model.preview_problem());
        }
        return card;
    }
    card.title = std::string(cleanup_preview_title);
    card.caption = std::string(cleanup_caption);
    card.busy = model.cleaning();
    card.button_label =
        card.busy ? std::string(removing_text) : fmt::format("Remove {}", bytes_si(preview->total_bytes));
    std::uint64_t rest = preview->total_bytes;
    const std::size_t shown = std::min(preview->items.size(), listed_rows);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto& item = preview->items[i];
        card.rows.push_back({cache_item_label(item), bytes_si(item.bytes)});
        rest -= item.bytes;
    }
    // Everything the button removes is accounted for on the card, also beyond the rows listed one by one.
    if (preview->items.size() > shown) {
        card.rows.push_back({more_items_label(preview->items.size() - shown), bytes_si(rest)});
    }
    return card;
}

}  // namespace settings::panes::storage
