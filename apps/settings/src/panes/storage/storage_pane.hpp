#pragma once
// The Storage page: the cards of storage_text.hpp as widgets over the StorageModel, in this order: "Storage use",
// "Synced storage" (with "Free …" in its header while something is safe to free), "Largest items", the cache
// cleanup card (with "Remove …" in its header while the preview lists items) and "Storage tools" (Disks, Backups).
//
// Every button writes its flag key (storage_model.hpp) into the document the page is synced with, and the model acts
// on it in the same pass; the section's four actions ("cleanup-caches", "free-synced-files", "open-disks",
// "open-backups") must be published, as automation reaches the same code through them as operations. A failed
// cleanup or tool launch is shown on the card it came from, whoever asked for it.
//
// The view is built once; the sizes, the status sentences and the button captions change in place
// (show_values). It is built anew only when a row, a caption or a button appears or goes (the first scan arrives,
// a listed item changes, an eviction starts), the focused control then found again by its id.
//
//   StoragePane().with_operation_requests(app.requests).with_operation_status(app.status)

#include "operations/cells.hpp"
#include "panes/preference_pane/pane_base.hpp"
#include "panes/storage/storage_model.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace settings::panes::storage {

class StoragePane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::storage::StoragePane", "StoragePane")

    // The machine's storage, the service at its socket and detached workers unless the environment says otherwise.
    explicit StoragePane(StorageModel::Environment environment = {});

    // The application's cells in place of the page's own.
    [[nodiscard]] StoragePane with_operation_requests(const operations::OperationRequestCell& cell) &&;
    [[nodiscard]] StoragePane with_operation_status(const operations::OperationStatusCell& cell) &&;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] const StorageModel& model() const { return *model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    std::unique_ptr<StorageModel> model_;
};

// The page as the pane factory builds it, taking the application's two cells.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_storage_pane(const operations::OperationRequestCell& requests,
                                                                  const operations::OperationStatusCell& status);

// The id of a text the view changes in place: "storage.text.<part>" or "storage.text.<part>.<index>".
[[nodiscard]] std::string text_id(std::string_view part);
[[nodiscard]] std::string text_id(std::string_view part, std::size_t index);

}  // namespace settings::panes::storage
