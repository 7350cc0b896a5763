#include "panes/agent_models/agent_models_model.hpp"

#include "panes/agent_models/local_provider.hpp"

#include "vorn_log/log.hpp"
#include "vorn_ui/state.hpp"

#include <atomic>
#include <exception>
#include <mutex>
#include <utility>

namespace settings::panes::agent_models {

namespace {

constexpr std::string_view log_tag = "agent_models";

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

// Publishes Done or Failed for the operation while the status cell shows exactly it running.
void answer_operation(const operations::OperationStatusCell& cell, const AgentModelOperation& operation,
                      const std::expected<std::string, std::string>& outcome)
{
    (void)operations::finish_operation_with_key(cell, operations::operation_key(operation), outcome);
}

// Writes false at a press key unless it holds false already.
void clear_flag(page_doc::Document& doc, std::string_view key)
{
    if (page_doc::doc_bool(doc, key) != false) {
        doc.put_bool(key, false);
    }
}

void clear_model_flags(page_doc::Document& doc, std::string_view model_id)
{
    for (const auto action : all_local_model_actions) {
        clear_flag(doc, local_model_flag_key(model_id, action));
    }
}

}  // namespace

// ---- What the workers hand back -------------------------------------------------------------------------------------

struct AgentModelsModel::Reading {
    system_ops::Result<lm::LocalModelSnapshot> result;
    std::uint64_t serial = 0;  // readings are numbered as they begin; an older one never replaces a newer one
};

struct AgentModelsModel::RequestResult {
    Request request;
    system_ops::Status outcome;
    std::optional<Reading> reading;  // the reading that follows an accepted request

    // What the request's operation is answered.
    [[nodiscard]] std::expected<std::string, std::string> answer() const
    {
        using Kind = Request::Kind;
        if (outcome) {
            switch (request.kind) {
                case Kind::Accelerator: return sentences::accelerator_accepted();
                case Kind::Install: return sentences::install_accepted();
                case Kind::Model: return sentences::model_accepted(request.action);
            }
        }
        switch (request.kind) {
            case Kind::Accelerator: return std::unexpected(sentences::accelerator_failed(outcome.error()));
            case Kind::Install: return std::unexpected(sentences::install_failed(outcome.error()));
            case Kind::Model: break;
        }
        return std::unexpected(sentences::model_failed(request.action, outcome.error()));
    }
};

class AgentModelsModel::Inbox {
public:
    explicit Inbox(vorn_ui::WakeHandle wake) : wake_(std::move(wake)) {}

    struct Taken {
        std::deque<Answer> answers;
        std::optional<RequestResult> request;
    };

    // False once the model is gone.
    bool deliver(Answer answer)
    {
        {
            const std::lock_guard lock(mutex_);
            if (closed_) {
                return false;
            }
            taken_.answers.push_back(std::move(answer));
        }
        wake_.wake();
        return true;
    }

    bool deliver_request(RequestResult result)
    {
        {
            const std::lock_guard lock(mutex_);
            if (closed_) {
                return false;
            }
            taken_.request = std::move(result);
        }
        wake_.wake();
        return true;
    }

    Taken take()
    {
        const std::lock_guard lock(mutex_);
        return std::exchange(taken_, {});
    }

    // Later deliveries fail; what was delivered and not taken is answered.
    Taken close()
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        return std::exchange(taken_, {});
    }

    std::uint64_t begin_reading() { return ++readings_; }

private:
    vorn_ui::WakeHandle wake_;
    std::mutex mutex_;
    bool closed_ = false;
    Taken taken_;
    std::atomic<std::uint64_t> readings_{0};
};

const std::string* AgentModelsModel::Request::model_id() const
{
    return kind == Kind::Accelerator ? nullptr : &package.id;
}

// ---- Life --------------------------------------------------------------------------------------------------------

AgentModelsModel::AgentModelsModel(AgentModelsOptions options)
    : backend_(options.backend ? std::move(options.backend) : std::make_shared<lm::ModelManagerBackend>()),
      start_thread_(options.start_thread ? std::move(options.start_thread)
                                         : page_workers::StartThread(page_workers::start_detached_thread)),
      clock_(options.clock ? std::move(options.clock) : [] { return std::chrono::steady_clock::now(); }),
      stores_(std::move(options.providers)),
      register_local_provider_(options.register_local_provider),
      inbox_(std::make_shared<Inbox>(vorn_ui::WakeHandle::create()))
{
    start_reading();
    start_listing();
}

AgentModelsModel::~AgentModelsModel()
{
    const auto left = inbox_->close();
    if (left.request) {
        answer_operation(status_cell_, left.request->request.operation, left.request->answer());
    }
    // A request handed to the manager answers its operation itself (its delivery fails now).
    for (const auto& request : queue_) {
        answer_operation(status_cell_, request.operation, std::unexpected(sentences::page_closed()));
    }
    for (const auto& [id, buffer] : key_buffers_) {
        buffer->clear();
    }
}

void AgentModelsModel::share_operation_requests(operations::OperationRequestCell cell) { requests_ = std::move(cell); }

void AgentModelsModel::share_operation_status(operations::OperationStatusCell cell) { status_cell_ = std::move(cell); }

bool AgentModelsModel::take_structure_dirty() { return std::exchange(structure_dirty_, false); }

void AgentModelsModel::post(std::string_view name, std::function<void(Inbox&)> work,
                            std::function<Answer(const std::string& error)> not_started)
{
    auto started = start_thread_(name, [inbox = inbox_, work = std::move(work)] { work(*inbox); });
    if (!started) {
        VORN_WARN(log_tag, "no worker for {}: {}", name, started.error());
        inbox_->deliver(not_started(started.error()));
    }
}

void AgentModelsModel::take_answers(page_doc::Document& doc)
{
    auto taken = inbox_->take();
    for (auto& answer : taken.answers) {
        answer(*this, doc);
    }
    if (taken.request) {
        finish_request(doc, *taken.request);
    }
}

// ---- Sync ----------------------------------------------------------------------------------------------------------

void AgentModelsModel::sync(page_doc::Document& doc)
{
    take_answers(doc);
    if (flags_need_reset_) {
        reset_flags(doc);
        flags_need_reset_ = false;
    }
    // Presses and operations wait for the first reading: they name what it lists.
    if (loaded_) {
        take_operation(doc);
        handle_accelerator(doc);
        handle_confirmation(doc);
        handle_model_presses(doc);
    }
    update();
}

bool AgentModelsModel::update()
{
    const bool transitional = lm::has_transitional_phase(snapshot_);
    if (transitional && loaded_ && !reading_ && now() - last_refresh_ >= refresh_interval) {
        start_reading();
    }
    return transitional;
}

std::optional<std::chrono::steady_clock::time_point> AgentModelsModel::next_refresh_due() const
{
    if (!loaded_ || reading_ || !lm::has_transitional_phase(snapshot_)) {
        return std::nullopt;
    }
    return last_refresh_ + refresh_interval;
}

void AgentModelsModel::reset_flags(page_doc::Document& doc)
{
    for (const auto key : {accelerator_setup_key, local_setup_key, local_cancel_key, local_confirm_key}) {
        doc.put_bool(key, false);
    }
    for (const auto& model : snapshot_.models) {
        clear_model_flags(doc, model.package.id);
    }
}

// ---- Operations ------------------------------------------------------------------------------------------------------

std::optional<std::string> AgentModelsModel::refusal(const AgentModelOperation& operation) const
{
    using Op = AgentModelOperation;
    if (!service_available_) {
        return unavailable_reason_.value_or("model service is unavailable");
    }
    // A per-model request: the model must be installed, offer the action now, and have no other request under way.
    auto model_refusal = [&](std::string_view id, LocalModelAction action,
                             const std::string* revision) -> std::optional<std::string> {
        const auto* model = snapshot_.find(id);
        if (model == nullptr) {
            return sentences::model_not_installed(id);
        }
        if (!action_available(model->phase, action)) {
            return sentences::action_unavailable(action, *model);
        }
        if (revision != nullptr && *revision != model->package.revision) {
            return sentences::revision_changed();
        }
        if (busy(id)) {
            return sentences::request_still_running(model->package.name);
        }
        return std::nullopt;
    };
    return std::visit(
        Overloaded{
            [&](const Op::StageAccelerator&) -> std::optional<std::string> {
                if (accelerator_busy()) {
                    return sentences::request_still_running("the accelerator");
                }
                return std::nullopt;
            },
            [&](const Op::Install& op) -> std::optional<std::string> {
                const auto& package = snapshot_.recommendation;
                if (!package || package->id != op.id || package->revision != op.revision) {
                    return sentences::recommendation_changed();
                }
                if (!lm::may_install(snapshot_)) {
                    return sentences::cannot_install_now(*package);
                }
                if (busy(package->id)) {
                    return sentences::request_still_running(package->name);
                }
                return std::nullopt;
            },
            [&](const Op::Start& op) { return model_refusal(op.id, LocalModelAction::Start, nullptr); },
            [&](const Op::Stop& op) { return model_refusal(op.id, LocalModelAction::Stop, nullptr); },
            [&](const Op::Retry& op) { return model_refusal(op.id, LocalModelAction::Retry, &op.revision); },
            [&](const Op::Remove& op) { return model_refusal(op.id, LocalModelAction::Remove, nullptr); },
        },
        operation.value);
}

void AgentModelsModel::take_operation(page_doc::Document& doc)
{
    using Op = AgentModelOperation;
    const auto operation = operations::take_operation_request<AgentModelOperation>(requests_);
    if (!operation) {
        return;
    }
    if (auto refused = refusal(*operation)) {
        finish_operation(*operation, std::unexpected(std::move(*refused)));
        return;
    }
    // The press its button makes; the handlers below carry it out in this pass.
    const std::string key = std::visit(
        Overloaded{
            [](const Op::StageAccelerator&) { return std::string(accelerator_setup_key); },
            [](const Op::Install&) { return std::string(local_confirm_key); },
            [](const Op::Start& op) { return local_model_flag_key(op.id, LocalModelAction::Start); },
            [](const Op::Stop& op) { return local_model_flag_key(op.id, LocalModelAction::Stop); },
            [](const Op::Retry& op) { return local_model_flag_key(op.id, LocalModelAction::Retry); },
            [](const Op::Remove& op) { return local_model_flag_key(op.id, LocalModelAction::Remove); },
        },
        operation->value);
    doc.put_bool(key, true);
}

void AgentModelsModel::finish_operation(const AgentModelOperation& operation,
                                        const std::expected<std::string, std::string>& outcome)
{
    answer_operation(status_cell_, operation, outcome);
}

bool AgentModelsModel::running(const AgentModelOperation& operation) const
{
    return status_cell_.get().is_running(operations::operation_key(operation));
}

// ---- Presses -------------------------------------------------------------------------------------------------------

void AgentModelsModel::abandon_removal_question()
{
    if (!pending_removal_) {
        return;
    }
    pending_removal_.reset();
    if (status_source_ == StatusSource::Question) {
        status_.reset();
    }
    structure_dirty_ = true;
}

void AgentModelsModel::handle_accelerator(page_doc::Document& doc)
{
    if (!page_doc::take_doc_flag(doc, accelerator_setup_key) || accelerator_busy()) {
        return;
    }
    abandon_removal_question();
    enqueue({.kind = Request::Kind::Accelerator, .operation = {AgentModelOperation::StageAccelerator{}}});
}

void AgentModelsModel::handle_confirmation(page_doc::Document& doc)
{
    const auto& recommended = snapshot_.recommendation;
    if (page_doc::take_doc_flag(doc, local_setup_key) && recommended) {
        pending_install_ = recommended->id;
        structure_dirty_ = true;
    }
    if (page_doc::take_doc_flag(doc, local_cancel_key) && pending_install_) {
        pending_install_.reset();
        structure_dirty_ = true;
    }
    if (!page_doc::take_doc_flag(doc, local_confirm_key) || !recommended) {
        return;
    }
    const lm::LocalModelPackage package = *recommended;
    AgentModelOperation operation{AgentModelOperation::Install{package.id, package.revision}};
    // An installation asked for by automation needs no confirmation on the page; one pressed here does.
    if (pending_install_ != package.id && !running(operation)) {
        return;
    }
    pending_install_.reset();
    structure_dirty_ = true;
    if (busy(package.id)) {
        return;
    }
    abandon_removal_question();
    enqueue({.kind = Request::Kind::Install, .package = package, .operation = std::move(operation)});
}

void AgentModelsModel::handle_model_presses(page_doc::Document& doc)
{
    const auto models = snapshot_.models;  // a request may change the snapshot it was made from
    for (const auto& model : models) {
        const std::string& id = model.package.id;
        for (const auto action : all_local_model_actions) {
            if (!page_doc::take_doc_flag(doc, local_model_flag_key(id, action))) {
                continue;
            }
            // A press for what the model does not offer now, or while it is busy, is dropped, never kept for later.
            if (!action_available(model.phase, action) || busy(id)) {
                continue;
            }
            Request request{.kind = Request::Kind::Model, .action = action, .package = model.package};
            switch (action) {
                case LocalModelAction::Start: request.operation = {AgentModelOperation::Start{id}}; break;
                case LocalModelAction::Stop: request.operation = {AgentModelOperation::Stop{id}}; break;
                case LocalModelAction::Retry:
                    request.operation = {AgentModelOperation::Retry{id, model.package.revision}};
                    break;
                case LocalModelAction::Remove: request.operation = {AgentModelOperation::Remove{id}}; break;
            }
            if (action == LocalModelAction::Remove && pending_removal_ != id && !running(request.operation)) {
                // Ask first; the next press of the same button (now "Confirm remove") removes.
                pending_removal_ = id;
                status_ = sentences::remove_question(model.package);
                status_source_ = StatusSource::Question;
                structure_dirty_ = true;
                continue;
            }
            abandon_removal_question();
            enqueue(std::move(request));
        }
    }
}

// ---- Requests ------------------------------------------------------------------------------------------------------

bool AgentModelsModel::busy(std::string_view model_id) const
{
    auto for_model = [&](const Request& request) { return request.model_id() && *request.model_id() == model_id; };
    return (running_ && for_model(*running_)) || std::any_of(queue_.begin(), queue_.end(), for_model);
}

bool AgentModelsModel::accelerator_busy() const
{
    auto staging = [](const Request& request) { return request.kind == Request::Kind::Accelerator; };
    return (running_ && staging(*running_)) || std::any_of(queue_.begin(), queue_.end(), staging);
}

void AgentModelsModel::enqueue(Request request)
{
    queue_.push_back(std::move(request));
    start_next();
}

void AgentModelsModel::start_next()
{
    if (running_ || queue_.empty()) {
        return;
    }
    running_ = std::move(queue_.front());
    queue_.pop_front();
    structure_dirty_ = true;

    auto work = [request = *running_, backend = backend_, stores = stores_, register_provider = register_local_provider_,
                 status_cell = status_cell_](Inbox& inbox) {
        using Kind = Request::Kind;
        const system_ops::Status outcome = page_workers::guarded([&]() -> system_ops::Status {
            switch (request.kind) {
                case Kind::Accelerator: return backend->stage_accelerator();
                case Kind::Install: return backend->install(request.package);
                case Kind::Model: break;
            }
            switch (request.action) {
                case LocalModelAction::Start: return backend->start(request.package.id);
                case LocalModelAction::Stop: return backend->stop(request.package.id);
                case LocalModelAction::Remove: return backend->remove(request.package.id);
                case LocalModelAction::Retry: break;
            }
            return backend->install(request.package);
        });
        RequestResult result{.request = request, .outcome = outcome, .reading = std::nullopt};
        if (outcome) {
            // Read the new state at once, so that the page shows what the request started.
            result.reading = read_snapshot(inbox, *backend, stores, register_provider);
        }
        const auto answer = result.answer();
        if (!inbox.deliver_request(std::move(result))) {
            // The page has gone; its operation is still owed an answer.
            answer_operation(status_cell, request.operation, answer);
        }
    };
    post("model-request", std::move(work), [request = *running_](const std::string& error) -> Answer {
        return [result = RequestResult{.request = request,
                                       .outcome = std::unexpected(sentences::worker_failed(error)),
                                       .reading = std::nullopt}](AgentModelsModel& model, page_doc::Document& doc) {
            model.finish_request(doc, result);
        };
    });
}

void AgentModelsModel::finish_request(page_doc::Document& doc, const RequestResult& result)
{
    running_.reset();
    structure_dirty_ = true;
    const auto answer = result.answer();
    if (result.reading) {
        apply_reading(doc, *result.reading, true);
    }
    if (!answer) {
        status_ = answer.error();
        status_source_ = StatusSource::Request;
    }
    finish_operation(result.request.operation, answer);
    start_next();
}

// ---- Readings ------------------------------------------------------------------------------------------------------

AgentModelsModel::Reading AgentModelsModel::read_snapshot(Inbox& inbox, lm::LocalModelBackend& backend,
                                                          const ProviderStores& stores, bool register_provider)
{
    Reading reading{.result = std::unexpected(std::string()), .serial = inbox.begin_reading()};
    reading.result = page_workers::guarded([&] { return backend.snapshot(); });
    if (reading.result && register_provider) {
        try {
            (void)register_local_vllm_provider(reading.result->models, stores);
        } catch (const std::exception& error) {
            VORN_WARN(log_tag, "the local model provider was not registered: {}", error.what());
        }
    }
    return reading;
}

void AgentModelsModel::start_reading()
{
    if (reading_) {
        return;
    }
    reading_ = true;
    auto work = [backend = backend_, stores = stores_, register_provider = register_local_provider_](Inbox& inbox) {
        Reading reading = read_snapshot(inbox, *backend, stores, register_provider);
        inbox.deliver([reading = std::move(reading)](AgentModelsModel& model, page_doc::Document& doc) {
            model.reading_ = false;
            model.apply_reading(doc, reading, false);
        });
    };
    post("model-snapshot", std::move(work), [](const std::string& error) -> Answer {
        return [error](AgentModelsModel& model, page_doc::Document& doc) {
            model.reading_ = false;
            model.apply_reading(doc,
                                Reading{.result = std::unexpected(sentences::worker_failed(error)),
                                        .serial = model.inbox_->begin_reading()},
                                false);
        };
    });
}

void AgentModelsModel::apply_reading(page_doc::Document& doc, const Reading& reading, bool after_request)
{
    const bool first = !loaded_;
    loaded_ = true;
    last_refresh_ = now();
    structure_dirty_ = true;
    const bool newest = reading.serial > applied_reading_;
    if (newest) {
        applied_reading_ = reading.serial;
    }
    if (!reading.result) {
        if (newest) {
            // The last snapshot stays; the view shows the service as unavailable.
            service_available_ = false;
            unavailable_reason_ = reading.result.error();
            if (status_source_ != StatusSource::Question || !status_) {
                status_ = first ? sentences::service_unavailable(reading.result.error())
                                : sentences::refresh_failed(reading.result.error());
                status_source_ = StatusSource::Reading;
            }
        }
        return;
    }
    if (newest) {
        snapshot_ = *reading.result;
        service_available_ = true;
        unavailable_reason_.reset();
        seed_model_keys(doc);
    }
    // An accepted request's sentence replaces whatever the page said; a periodic reading only clears its own.
    if (after_request || status_source_ == StatusSource::Reading) {
        status_.reset();
        status_source_ = StatusSource::Request;
    }
}

void AgentModelsModel::seed_model_keys(page_doc::Document& doc)
{
    std::set<std::string, std::less<>> listed;
    for (const auto& model : snapshot_.models) {
        listed.insert(model.package.id);
        // A model that appears starts with its presses cleared, so nothing pressed earlier fires for it.
        if (seeded_.insert(model.package.id).second) {
            clear_model_flags(doc, model.package.id);
        }
    }
    for (auto it = seeded_.begin(); it != seeded_.end();) {
        if (listed.contains(*it)) {
            ++it;
            continue;
        }
        clear_model_flags(doc, *it);
        if (pending_removal_ == *it) {
            abandon_removal_question();
        }
        it = seeded_.erase(it);
    }
    if (pending_install_ && (!snapshot_.recommendation || snapshot_.recommendation->id != *pending_install_)) {
        pending_install_.reset();
    }
}

// ---- Providers -----------------------------------------------------------------------------------------------------

void AgentModelsModel::reload_providers() { start_listing(); }

void AgentModelsModel::start_listing()
{
    if (listing_in_flight_) {
        listing_again_ = true;
        return;
    }
    listing_in_flight_ = true;
    auto finish = [](AgentModelsModel& model, std::optional<ProviderListing> listing) {
        model.listing_in_flight_ = false;
        if (listing) {
            model.apply_listing(std::move(*listing));
        }
        if (std::exchange(model.listing_again_, false)) {
            model.start_listing();
        }
    };
    auto work = [stores = stores_, finish](Inbox& inbox) {
        std::optional<ProviderListing> listing;
        try {
            listing = read_provider_listing(stores);
        } catch (const std::exception& error) {
            VORN_WARN(log_tag, "the provider list could not be read: {}", error.what());
        }
        inbox.deliver([finish, listing = std::move(listing)](AgentModelsModel& model, page_doc::Document&) mutable {
            finish(model, std::move(listing));
        });
    };
    post("provider-list", std::move(work), [finish](const std::string&) -> Answer {
        return [finish](AgentModelsModel& model, page_doc::Document&) { finish(model, std::nullopt); };
    });
}

void AgentModelsModel::apply_listing(ProviderListing listing)
{
    providers_loaded_ = true;
    std::set<std::string, std::less<>> listed;
    for (const auto& entry : listing.providers) {
        const auto& id = entry.profile.id;
        listed.insert(id);
        if (!drafts_.contains(id)) {
            drafts_.emplace(id, draft_of(entry.profile));
        }
        if (!key_buffers_.contains(id)) {
            key_buffers_.emplace(id, vorn_ui::LockedText::create());
        }
    }
    // A provider removed elsewhere takes its buffers along; a key typed for it is wiped.
    std::erase_if(drafts_, [&](const auto& entry) { return !listed.contains(entry.first); });
    std::erase_if(key_buffers_, [&](const auto& entry) {
        if (listed.contains(entry.first)) {
            return false;
        }
        entry.second->clear();
        return true;
    });
    if (listing != listing_) {
        listing_ = std::move(listing);
        structure_dirty_ = true;
    }
}

const ProviderDraft* AgentModelsModel::draft(std::string_view provider_id) const
{
    const auto it = drafts_.find(provider_id);
    return it == drafts_.end() ? nullptr : &it->second;
}

vorn_ui::SharedLockedText AgentModelsModel::api_key_buffer(std::string_view provider_id) const
{
    const auto it = key_buffers_.find(provider_id);
    return it == key_buffers_.end() ? nullptr : it->second;
}

void AgentModelsModel::start_provider_job(std::string_view name, std::function<std::string()> job)
{
    ++provider_jobs_;
    structure_dirty_ = true;
    auto finish = [](AgentModelsModel& model, std::string sentence, std::optional<ProviderListing> listing) {
        --model.provider_jobs_;
        model.provider_status_ = std::move(sentence);
        model.structure_dirty_ = true;
        if (listing) {
            model.apply_listing(std::move(*listing));
        }
    };
    auto work = [stores = stores_, job = std::move(job), finish](Inbox& inbox) {
        std::string sentence;
        std::optional<ProviderListing> listing;
        try {
            sentence = job();
            listing = read_provider_listing(stores);
        } catch (const std::exception& error) {
            sentence = error.what();
        }
        inbox.deliver([finish, sentence = std::move(sentence), listing = std::move(listing)](
                          AgentModelsModel& model, page_doc::Document&) mutable {
            finish(model, std::move(sentence), std::move(listing));
        });
    };
    post(name, std::move(work), [finish](const std::string& error) -> Answer {
        return [finish, error](AgentModelsModel& model, page_doc::Document&) {
            finish(model, sentences::worker_failed(error), std::nullopt);
        };
    });
}

void AgentModelsModel::save_details(std::string_view provider_id)
{
    const auto* draft = this->draft(provider_id);
    if (draft == nullptr) {
        provider_status_ = sentences::provider_gone();
        structure_dirty_ = true;
        return;
    }
    auto text_of = [](const vorn_ui::SharedLockedText& buffer) {
        std::string text;
        buffer->with_text([&](std::string_view value) { text = value; });
        return text;
    };
    start_provider_job("provider-job", [stores = stores_, id = std::string(provider_id), label = text_of(draft->label),
                                        endpoint = text_of(draft->endpoint), model = text_of(draft->model)] {
        return save_provider_details(stores, id, label, endpoint, model);
    });
}

void AgentModelsModel::save_key(std::string_view provider_id)
{
    const auto buffer = api_key_buffer(provider_id);
    if (!buffer) {
        provider_status_ = sentences::provider_gone();
        structure_dirty_ = true;
        return;
    }
    // The key leaves the field now; the copy is wiped by the gateway, or when the job goes without running.
    auto key = std::make_shared<WipedText>(WipedText::take_from(*buffer));
    start_provider_job("provider-job", [stores = stores_, id = std::string(provider_id), key] {
        return save_api_key(stores, id, std::move(*key));
    });
}

void AgentModelsModel::remove_key(std::string_view provider_id)
{
    if (!api_key_buffer(provider_id)) {
        provider_status_ = sentences::provider_gone();
        structure_dirty_ = true;
        return;
    }
    start_provider_job("provider-job", [stores = stores_, id = std::string(provider_id)] {
        return remove_api_key(stores, id);
    });
}

}  // namespace settings::panes::agent_models
