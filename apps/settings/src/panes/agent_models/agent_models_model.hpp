#pragma once
// The Agent Models page without its widgets: the local model service (hardware summary, recommended model with its
// licence confirmation, installed models, accelerator setup), the requests the user or automation makes of it, the
// local provider kept in step with the served model, and the hosted and compatible providers with their edit
// buffers, API key buffers and jobs.
//
// Nothing here waits on the UI thread. The model manager (up to 30 minutes for an installation), the provider
// configuration and the key store are reached from worker threads; their answers come back through an inbox that
// wakes the UI loop and are taken by sync(). Requests of the local model service run one after another, in the
// order asked; a reading of the snapshot may run beside them (the newest reading to begin wins). While a model is
// downloading or installing, or the accelerator is queued or staging, the snapshot is read again 750 ms after the
// last reading came in (next_refresh_due() tells the page when to wake).
//
// Presses are booleans in the page document (agent_models_text.hpp), consumed by sync(). AgentModelOperation
// requests are taken from the request cell once the first reading is in and written into the document as the
// press their button makes, so both take one path; each is answered exactly once, in the status cell, while it is
// the running operation:
//   - at once with Failed when it cannot be carried out as asked: the service is unavailable, the model is not
//     installed, the action is not offered in the model's phase, the recommended package or the model's revision is
//     not the one named, the device cannot set up the recommendation now, or a request for the same model (or the
//     accelerator) is still under way. Nothing is left set to fire later.
//   - otherwise when the manager has answered and the snapshot has been read again: Done with "… request accepted
//     by the local model manager" or Failed with the failure sentence (which also becomes the page's status).
// A press never waits either: a press for an action the model does not offer now, or for a model that is busy, is
// dropped. Removing asks first ("Remove …?"); a second press, or a Remove operation, removes. Starting any other
// request abandons an open removal question.
//
// Operations still queued when the page goes fail ("the Agent Models page closed …"); a request already handed to
// the manager answers its operation from the worker. The API key buffers are wiped when the page goes.
//
//   AgentModelsModel model;                               // starts reading the snapshot and the provider list
//   model.share_operation_requests(app.requests);          // the application's cells
//   model.share_operation_status(app.status);
//   every sync: model.sync(document); if (model.take_structure_dirty()) rebuild the view;
//   Widget::next_wake_deadline: model.next_refresh_due();
//   job buttons: model.save_details(id), model.save_key(id), model.remove_key(id)

#include "panes/agent_models/agent_models_text.hpp"
#include "panes/agent_models/providers.hpp"

#include "actions/payloads/agents.hpp"
#include "operations/cells.hpp"
#include "page_workers/one_shot.hpp"

#include "page_doc/page_doc.hpp"
#include "system_ops/local_models.hpp"
#include "vorn_ui/locked_text.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace settings::panes::agent_models {

using actions::AgentModelOperation;

struct AgentModelsOptions {
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    std::shared_ptr<lm::LocalModelBackend> backend;  // none: the model manager on PATH
    page_workers::StartThread start_thread;          // none: a detached thread per job
    Clock clock;                                     // none: steady_clock::now
    ProviderStores providers;                        // default: the user's configuration and key store
    // Keep the local provider in step with every successful reading (the page does; tests may not).
    bool register_local_provider = true;
};

class AgentModelsModel {
public:
    static constexpr std::chrono::milliseconds refresh_interval{750};

    explicit AgentModelsModel(AgentModelsOptions options = {});
    ~AgentModelsModel();
    AgentModelsModel(const AgentModelsModel&) = delete;
    AgentModelsModel& operator=(const AgentModelsModel&) = delete;

    // The application's cells in place of the model's own (which nobody else sees).
    void share_operation_requests(operations::OperationRequestCell cell);
    void share_operation_status(operations::OperationStatusCell cell);
    [[nodiscard]] const operations::OperationRequestCell& operation_requests() const { return requests_; }
    [[nodiscard]] const operations::OperationStatusCell& operation_status() const { return status_cell_; }

    // One pass on the UI thread; never waits: the workers' answers, the first-pass reset of the presses, the
    // pending operation, the accelerator, confirmation, installation and per-model presses, and the periodic
    // reading when it is due.
    void sync(page_doc::Document& doc);
    // Starts the periodic reading when it is due; answers whether something is in transition (the page keeps
    // asking while it is).
    bool update();
    // When the next periodic reading is due; none while nothing is in transition or a reading runs.
    [[nodiscard]] std::optional<std::chrono::steady_clock::time_point> next_refresh_due() const;

    // ---- Local model service
    // Whether the first reading has come in (until then the view shows neither the service nor its absence).
    [[nodiscard]] bool loaded() const { return loaded_; }
    // Whether the last reading succeeded.
    [[nodiscard]] bool service_available() const { return service_available_; }
    // Why the last reading failed (the backend's sentence).
    [[nodiscard]] const std::optional<std::string>& unavailable_reason() const { return unavailable_reason_; }
    // The last snapshot read; the empty one before the first success.
    [[nodiscard]] const lm::LocalModelSnapshot& snapshot() const { return snapshot_; }
    // The recommended package whose licence confirmation is open.
    [[nodiscard]] const std::optional<std::string>& pending_install() const { return pending_install_; }
    // The model whose removal question is open (its remove button reads "Confirm remove").
    [[nodiscard]] const std::optional<std::string>& pending_removal() const { return pending_removal_; }
    // The local model half's sentence (shown while the service is available).
    [[nodiscard]] const std::optional<std::string>& status() const { return status_; }
    // Whether a request for this model (or for installing the package with this id) is queued or running.
    [[nodiscard]] bool model_busy(std::string_view model_id) const { return busy(model_id); }
    // Whether an accelerator setup request is queued or running.
    [[nodiscard]] bool accelerator_busy() const;
    [[nodiscard]] bool requests_pending() const { return running_.has_value() || !queue_.empty(); }

    // ---- Providers
    // Reads the provider list again (on a worker); call it when the configuration may have changed elsewhere.
    void reload_providers();
    [[nodiscard]] bool providers_loaded() const { return providers_loaded_; }
    [[nodiscard]] const ProviderListing& providers() const { return listing_; }
    // The outcome sentence of the last provider job, for the provider card (shown whether or not the model service
    // is available).
    [[nodiscard]] const std::optional<std::string>& provider_status() const { return provider_status_; }
    // The edit buffers of a listed provider (kept across readings while the page lives); null when not listed.
    [[nodiscard]] const ProviderDraft* draft(std::string_view provider_id) const;
    // The buffer the provider's API key field types into; null when not listed.
    [[nodiscard]] vorn_ui::SharedLockedText api_key_buffer(std::string_view provider_id) const;
    // The jobs of the provider form's buttons. Each takes what it needs from the buffers at once (save_key empties
    // the key buffer) and answers in provider_status() when it has run.
    void save_details(std::string_view provider_id);
    void save_key(std::string_view provider_id);
    void remove_key(std::string_view provider_id);
    [[nodiscard]] int provider_jobs_running() const { return provider_jobs_; }

    // Whether the view must be rebuilt since the last call.
    bool take_structure_dirty();

    // Shared with the workers, which may outlive the model (their answers are then dropped).
    class Inbox;

private:
    // One request of the local model service.
    struct Request {
        enum class Kind : std::uint8_t { Accelerator, Install, Model };
        Kind kind = Kind::Model;
        LocalModelAction action = LocalModelAction::Start;  // Model only
        lm::LocalModelPackage package;                       // Install, and Model (its package)
        AgentModelOperation operation{AgentModelOperation::StageAccelerator{}};  // the operation it answers
        // The model (or package) it is for; none for the accelerator.
        [[nodiscard]] const std::string* model_id() const;
    };
    struct Reading;
    struct RequestResult;

    using Answer = std::function<void(AgentModelsModel&, page_doc::Document&)>;
    // Runs `work` on a worker; when no worker can be started, `not_started` answers in its place.
    void post(std::string_view name, std::function<void(Inbox&)> work,
              std::function<Answer(const std::string& error)> not_started);
    void take_answers(page_doc::Document& doc);

    void reset_flags(page_doc::Document& doc);
    void take_operation(page_doc::Document& doc);
    [[nodiscard]] std::optional<std::string> refusal(const AgentModelOperation& operation) const;
    void handle_accelerator(page_doc::Document& doc);
    void handle_confirmation(page_doc::Document& doc);
    void handle_model_presses(page_doc::Document& doc);

    void enqueue(Request request);
    void start_next();
    void finish_request(page_doc::Document& doc, const RequestResult& result);
    void start_reading();
    // One reading on a worker, numbered as it begins, followed by the local provider's registration.
    static Reading read_snapshot(Inbox& inbox, lm::LocalModelBackend& backend, const ProviderStores& stores,
                                 bool register_provider);
    void apply_reading(page_doc::Document& doc, const Reading& reading, bool after_request);
    void seed_model_keys(page_doc::Document& doc);
    void start_listing();
    void apply_listing(ProviderListing listing);
    void start_provider_job(std::string_view name, std::function<std::string()> job);

    void abandon_removal_question();
    void finish_operation(const AgentModelOperation& operation, const std::expected<std::string, std::string>& outcome);
    [[nodiscard]] bool running(const AgentModelOperation& operation) const;
    // Whether a request for the model is queued or running.
    [[nodiscard]] bool busy(std::string_view model_id) const;
    [[nodiscard]] std::chrono::steady_clock::time_point now() const { return clock_(); }

    std::shared_ptr<lm::LocalModelBackend> backend_;
    page_workers::StartThread start_thread_;
    AgentModelsOptions::Clock clock_;
    ProviderStores stores_;
    bool register_local_provider_ = true;
    std::shared_ptr<Inbox> inbox_;

    operations::OperationRequestCell requests_{std::nullopt};
    operations::OperationStatusCell status_cell_{operations::OperationStatus::idle()};

    lm::LocalModelSnapshot snapshot_;
    bool loaded_ = false;
    bool service_available_ = false;
    std::optional<std::string> unavailable_reason_;
    std::optional<std::string> pending_install_;
    std::optional<std::string> pending_removal_;
    std::optional<std::string> status_;
    // What the status says: a request's failure (until the next accepted request), a reading's failure (until the
    // next successful reading) or the removal question (while it is open).
    enum class StatusSource : std::uint8_t { Request, Reading, Question };
    StatusSource status_source_ = StatusSource::Request;
    std::chrono::steady_clock::time_point last_refresh_{};
    bool reading_ = false;
    std::uint64_t applied_reading_ = 0;
    std::set<std::string, std::less<>> seeded_;  // models whose keys were reset when they appeared
    bool flags_need_reset_ = true;

    std::deque<Request> queue_;
    std::optional<Request> running_;

    ProviderListing listing_;
    bool providers_loaded_ = false;
    bool listing_in_flight_ = false;
    bool listing_again_ = false;
    int provider_jobs_ = 0;
    std::optional<std::string> provider_status_;
    std::map<std::string, ProviderDraft, std::less<>> drafts_;
    std::map<std::string, vorn_ui::SharedLockedText, std::less<>> key_buffers_;

    bool structure_dirty_ = true;
};

}  // namespace settings::panes::agent_models
