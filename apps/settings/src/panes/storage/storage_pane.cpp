#include "panes/storage/storage_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "page_helpers/layout.hpp"
#include "panes/storage/storage_text.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/card.hpp"

#include <fmt/format.h>

#include <functional>
#include <utility>
#include <vector>

namespace settings::panes::storage {

namespace {

namespace ph = page_helpers;
using vorn_ui::Button;
using vorn_ui::Column;
using WidgetBox = ph::WidgetBox;

// The section's actions reach the same flags as the buttons; the page's buttons stand for them, so they must be
// published.
void require_actions()
{
    const auto bindings = actions::catalogue::storage_bindings();
    for (const std::string_view id : {"cleanup-caches", "free-synced-files", "open-disks", "open-backups"}) {
        bindings.require(id);
    }
}

WidgetBox card(std::string_view title, WidgetBox companion, std::vector<WidgetBox> body)
{
    return vorn_ui::card::surface(title, std::move(companion),
                                  std::make_unique<Column>(ph::compact_stack(std::move(body))))
        .boxed();
}

void add_rows(std::vector<WidgetBox>& body, const std::vector<ValueRow>& rows, std::string_view part)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        body.push_back(ph::value_row(rows[i].label, rows[i].value, text_id(part, i)));
    }
}

void add_key(std::string& key, std::string_view part, const std::vector<ValueRow>& rows)
{
    key += fmt::format("|{}:", part);
    for (const ValueRow& row : rows) {
        key += row.label;
        key += '\x1f';
    }
}

bool show_rows(const std::vector<ValueRow>& rows, std::string_view part,
               const std::function<bool(std::string_view, std::string_view)>& show)
{
    bool changed = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        changed |= show(text_id(part, i), rows[i].value);
    }
    return changed;
}

}  // namespace

std::string text_id(std::string_view part) { return fmt::format("storage.text.{}", part); }
std::string text_id(std::string_view part, std::size_t index) { return fmt::format("storage.text.{}.{}", part, index); }

StoragePane::StoragePane(StorageModel::Environment environment)
    : PreferencePane({"storage", "Storage", "Apps, data, cache, and synced files"}),
      model_(std::make_unique<StorageModel>(std::move(environment)))
{
}

StoragePane StoragePane::with_operation_requests(const operations::OperationRequestCell& cell) &&
{
    model_->use_operation_requests(cell);
    return std::move(*this);
}

StoragePane StoragePane::with_operation_status(const operations::OperationStatusCell& cell) &&
{
    model_->use_operation_status(cell);
    return std::move(*this);
}

void StoragePane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    // The buttons first write what the user pressed, so that the model acts on it in this same pass.
    if (content() != nullptr) {
        content()->sync(doc, ctx);
    }
    model_->sync(doc);
    if (model_->take_structure_dirty()) {
        ctx.changed = true;
    }
    refresh_view(doc, ctx);
}

std::string StoragePane::structure_key() const
{
    const StorageModel& model = *model_;
    std::string key = fmt::format("use:{}", storage_use_note(model).has_value());

    const SyncedCard synced = synced_card(model);
    key += fmt::format("|synced:{}:{}:{}:{}", synced.only_caption.has_value(), synced.status.has_value(),
                       synced.footer.has_value(), synced.button_label.has_value());
    add_key(key, "files", synced.files);

    const LargestItems largest = largest_items(model);
    key += fmt::format("|largest:{}", largest.caption.has_value());
    add_key(key, "items", largest.rows);

    const CleanupCard cleanup = cleanup_card(model);
    key += fmt::format("|cleanup:{}:{}:{}", cleanup.title, cleanup.button_label.has_value(),
                       cleanup.status.has_value());
    add_key(key, "cache", cleanup.rows);

    key += fmt::format("|tools:{}", model.tools_status().has_value());
    return key;
}

std::unique_ptr<vorn_ui::Widget> StoragePane::build_view()
{
    require_actions();
    const StorageModel& model = *model_;
    std::vector<WidgetBox> cards;

    {
        std::vector<WidgetBox> body;
        add_rows(body, storage_use_rows(model), "use");
        if (const auto note = storage_use_note(model)) {
            body.push_back(ph::caption(*note, text_id("use-note")));
        }
        cards.push_back(card(storage_use_title, nullptr, std::move(body)));
    }

    {
        const SyncedCard synced = synced_card(model);
        std::vector<WidgetBox> body;
        WidgetBox free;
        if (synced.only_caption) {
            body.push_back(ph::caption(*synced.only_caption, text_id("synced-status")));
        } else {
            add_rows(body, synced.totals, "synced");
            if (synced.status) {
                body.push_back(ph::caption(*synced.status, text_id("synced-status")));
            }
            add_rows(body, synced.files, "files");
            if (synced.footer) {
                body.push_back(ph::caption(*synced.footer, text_id("synced-footer")));
            }
            if (synced.button_label) {
                free = Button(std::string(free_control_id), *synced.button_label, std::string(free_flag))
                           .with_style(vorn_ui::button_style::destructive)
                           .boxed();
            }
        }
        cards.push_back(card(synced_title, std::move(free), std::move(body)));
    }

    {
        const LargestItems largest = largest_items(model);
        std::vector<WidgetBox> body;
        add_rows(body, largest.rows, "items");
        if (largest.caption) {
            body.push_back(ph::caption(*largest.caption, text_id("items-caption")));
        }
        cards.push_back(card(largest_title, nullptr, std::move(body)));
    }

    {
        const CleanupCard cleanup = cleanup_card(model);
        std::vector<WidgetBox> body;
        body.push_back(ph::caption(cleanup.caption, text_id("cache-caption")));
        add_rows(body, cleanup.rows, "cache");
        if (cleanup.status) {
            body.push_back(ph::caption(*cleanup.status, text_id("cache-status")));
        }
        WidgetBox remove;
        if (cleanup.button_label) {
            remove = Button(std::string(clean_control_id), *cleanup.button_label, std::string(cleanup_flag))
                         .with_style(vorn_ui::button_style::destructive)
                         .with_enabled(!cleanup.busy)
                         .boxed();
        }
        cards.push_back(card(cleanup.title, std::move(remove), std::move(body)));
    }

    {
        std::vector<WidgetBox> body;
        for (const ToolRow& tool : tool_rows) {
            body.push_back(ph::setting_row_described(
                tool.title, tool.description,
                Button(std::string(tool.control_id), std::string(tool.button_label), std::string(tool.flag)).boxed()));
        }
        body.push_back(ph::caption(tools_caption));
        if (const auto& status = model.tools_status()) {
            body.push_back(ph::caption(*status, text_id("tools-status")));
        }
        cards.push_back(card(tools_title, nullptr, std::move(body)));
    }
    return std::make_unique<Column>(ph::section_stack(std::move(cards)));
}

bool StoragePane::show_values()
{
    const StorageModel& model = *model_;
    const auto show = [this](std::string_view id, std::string_view text) { return show_text(id, text); };
    bool changed = show_rows(storage_use_rows(model), "use", show);
    if (const auto note = storage_use_note(model)) {
        changed |= show_text(text_id("use-note"), *note);
    }

    const SyncedCard synced = synced_card(model);
    if (synced.only_caption) {
        changed |= show_text(text_id("synced-status"), *synced.only_caption);
    } else {
        changed |= show_rows(synced.totals, "synced", show);
        if (synced.status) {
            changed |= show_text(text_id("synced-status"), *synced.status);
        }
        changed |= show_rows(synced.files, "files", show);
        if (synced.footer) {
            changed |= show_text(text_id("synced-footer"), *synced.footer);
        }
    }
    if (auto* free = control<Button>(free_control_id); free != nullptr && synced.button_label &&
                                                       free->caption() != *synced.button_label) {
        free->set_caption(*synced.button_label);
        changed = true;
    }

    const LargestItems largest = largest_items(model);
    changed |= show_rows(largest.rows, "items", show);
    if (largest.caption) {
        changed |= show_text(text_id("items-caption"), *largest.caption);
    }

    const CleanupCard cleanup = cleanup_card(model);
    changed |= show_text(text_id("cache-caption"), cleanup.caption);
    changed |= show_rows(cleanup.rows, "cache", show);
    if (cleanup.status) {
        changed |= show_text(text_id("cache-status"), *cleanup.status);
    }
    if (auto* remove = control<Button>(clean_control_id); remove != nullptr && cleanup.button_label) {
        if (remove->caption() != *cleanup.button_label) {
            remove->set_caption(*cleanup.button_label);
            changed = true;
        }
        if (remove->is_enabled() == cleanup.busy) {
            remove->set_enabled(!cleanup.busy);
            changed = true;
        }
    }

    if (const auto& status = model.tools_status()) {
        changed |= show_text(text_id("tools-status"), *status);
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> boxed_storage_pane(const operations::OperationRequestCell& requests,
                                                    const operations::OperationStatusCell& status)
{
    return std::make_unique<StoragePane>(StoragePane().with_operation_requests(requests).with_operation_status(status));
}

}  // namespace settings::panes::storage
