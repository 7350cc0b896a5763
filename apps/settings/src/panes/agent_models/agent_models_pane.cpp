#include "panes/agent_models/agent_models_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "page_helpers/layout.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/card.hpp"
#include "vorn_ui/widgets/progress_bar.hpp"
#include "vorn_ui/widgets/text_input.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace settings::panes::agent_models {

namespace {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
namespace mp = model_providers;
using vorn_ui::Button;
using vorn_ui::Text;
using WidgetBox = ph::WidgetBox;

// ---- Texts of the view ----------------------------------------------------------------------------------------------

constexpr std::string_view privacy_caption =
    "Models configured here supply inference only. They do not grant an agent access to a workspace, app, file, "
    "message, or device.";
constexpr std::string_view unavailable_caption =
    "Install or start vorn-model-manager to inspect hardware, install models, or manage local model lifecycle. "
    "Existing hosted providers remain available below.";
constexpr std::string_view no_models_caption =
    "No local models are installed. Setup shows the download, storage, source, revision, and license before anything "
    "changes.";
constexpr std::string_view no_catalog_caption =
    "Setup stays disabled until the local model service reports a verified, immutable model release.";
constexpr std::string_view stopped_caption =
    "Installed and verified. Start it when you want agents to use it; stopped models consume no accelerator memory.";
constexpr std::string_view running_caption =
    "Available to agents through the local Vorn gateway. Workspace permissions still apply to every task.";
constexpr std::string_view failed_caption =
    "Retry resumes verified files where possible. Remove clears this model's local snapshot.";
constexpr std::string_view providers_caption =
    "Hosted and compatible endpoints are personal to this device. Credentials remain references in the system vault.";

constexpr std::string_view accelerator_setup_id = "agent-models-accelerator-setup";
constexpr std::string_view accelerator_retry_id = "agent-models-accelerator-retry";
constexpr std::string_view setup_local_id = "agent-models-setup-local";
constexpr std::string_view setup_unavailable_id = "agent-models-setup-unavailable";
constexpr std::string_view confirm_install_id = "agent-models-confirm-install";
constexpr std::string_view cancel_install_id = "agent-models-cancel-install";

// What the accelerator card says after its first row, by state.
struct AcceleratorBody {
    std::optional<std::string_view> progress;  // an indeterminate bar with this label
    std::string_view caption;
};

AcceleratorBody accelerator_body(lm::AcceleratorState state)
{
    using S = lm::AcceleratorState;
    switch (state) {
        case S::Available:
            return {std::nullopt,
                    "Vorn found a signed accelerator stack matched to this device. Setup stages a new immutable system "
                    "image; it does not install a driver into the running system."};
        case S::Queued:
            return {"Preparing accelerator support",
                    "The request is queued. You can leave Settings while Vorn verifies and stages the signed system "
                    "image."};
        case S::Staging:
            return {"Staging accelerator support",
                    "Vorn is building the next boot deployment. The current desktop keeps running normally."};
        case S::RestartRequired:
            return {std::nullopt,
                    "Accelerator support is ready for the next boot. Restart from the system power menu when "
                    "convenient; Vorn will verify the booted deployment before calling it active."};
        case S::Active:
            return {std::nullopt, "The signed accelerator stack is active and local model setup can use it."};
        case S::Error: break;
    }
    return {std::nullopt,
            "Nothing was installed into the running system. Retry rechecks this device against the signed hardware "
            "policy."};
}

std::uint8_t accelerator_badge_kind(lm::AcceleratorState state)
{
    using S = lm::AcceleratorState;
    switch (state) {
        case S::Active: return 0;
        case S::Queued:
        case S::Staging:
        case S::RestartRequired: return 1;
        case S::Available:
        case S::Error: break;
    }
    return 2;
}

std::string gib(std::uint64_t whole) { return fmt::format("{} GiB", whole); }

std::string download_caption(const lm::Downloading& downloading)
{
    return fmt::format("{} of {} downloaded \u00b7 safe to leave this page", format_gib(downloading.downloaded_bytes),
                       format_gib(downloading.total_bytes));
}

std::string licence_caption(const lm::LocalModelPackage& package)
{
    return fmt::format("By continuing, you accept the model license at {}. Vorn downloads the pinned snapshot once and "
                       "keeps inference on this device.",
                       package.license_url);
}

// The caption that describes a model in its phase (the fixed sentence after an error's message).
std::string phase_caption(const lm::LocalModelPhase& phase)
{
    if (const auto* downloading = std::get_if<lm::Downloading>(&phase)) {
        return download_caption(*downloading);
    }
    if (const auto* installing = std::get_if<lm::Installing>(&phase)) {
        return installing->message;
    }
    if (const auto* ready = std::get_if<lm::Ready>(&phase)) {
        return std::string(ready->running ? running_caption : stopped_caption);
    }
    return std::get<lm::Failed>(phase).message;
}

std::string_view remove_label(const AgentModelsModel& model, std::string_view model_id)
{
    return model.pending_removal() == model_id ? std::string_view("Confirm remove")
                                               : local_model_action_label(LocalModelAction::Remove);
}

std::string progress_label(const lm::InstalledLocalModel& model)
{
    return fmt::format("{} {}", std::holds_alternative<lm::Downloading>(model.phase) ? "Downloading" : "Installing",
                       model.package.name);
}

// ---- Building blocks --------------------------------------------------------------------------------------------

WidgetBox card(std::string_view title, std::vector<WidgetBox> body, WidgetBox companion = nullptr)
{
    return vorn_ui::card::surface(title, std::move(companion), std::make_unique<vorn_ui::Column>(
                                                                   ph::compact_stack(std::move(body))))
        .boxed();
}

WidgetBox trailing_text(std::string_view text, std::string_view id)
{
    return Text(std::string(text)).with_size(ph::kCaptionText).caption().with_label(std::string(id)).boxed();
}

WidgetBox button_row(std::vector<WidgetBox> buttons)
{
    vorn_ui::Row row;
    row = std::move(row).with_spacing(8.0f);
    for (auto& button : buttons) {
        row.push(std::move(button));
    }
    row.push(vorn_ui::Spacer::flexible());
    return std::move(row).boxed();
}

WidgetBox one_button(WidgetBox button)
{
    std::vector<WidgetBox> buttons;
    buttons.push_back(std::move(button));
    return button_row(std::move(buttons));
}

std::string buffer_text(const vorn_ui::SharedLockedText& buffer)
{
    std::string text;
    if (buffer) {
        buffer->with_text([&](std::string_view value) { text = value; });
    }
    return text;
}

// A provider button bound to its action of the section's resource, or shown disabled when the section does not
// publish it (yet).
WidgetBox provider_action_button(const cat::SectionBindings& bindings, std::optional<std::string_view> provider_id,
                                 std::string_view action, std::string id, std::string_view label)
{
    auto button = Button(std::move(id), std::string(label));
    auto binding = cat::agent_provider_unit_binding(bindings.section(), provider_id, action);
    if (!binding) {
        return std::move(button).disabled().boxed();
    }
    return std::move(button).on_action(std::move(*binding)).boxed();
}

std::vector<WidgetBox> accelerator_rows(const lm::AcceleratorSetup& setup)
{
    std::vector<WidgetBox> body;
    body.push_back(ph::value_row("Signed hardware match", setup.boot_pack_id, text_id("accelerator.pack")));
    const AcceleratorBody text = accelerator_body(setup.state);
    if (text.progress) {
        body.push_back(vorn_ui::ProgressBar::indeterminate().with_label(*text.progress).boxed());
    }
    if (setup.state == lm::AcceleratorState::Error) {
        body.push_back(ph::caption(setup.message, text_id("accelerator.error")));
    }
    body.push_back(ph::caption(text.caption));
    if (setup.state == lm::AcceleratorState::Available) {
        body.push_back(one_button(
            Button(std::string(accelerator_setup_id), "Set up accelerator", std::string(accelerator_setup_key)).boxed()));
    } else if (setup.state == lm::AcceleratorState::Error) {
        body.push_back(one_button(Button(std::string(accelerator_retry_id), "Retry accelerator setup",
                                         std::string(accelerator_setup_key))
                                      .boxed()));
    }
    return body;
}

WidgetBox recommendation_card(const AgentModelsModel& model)
{
    const lm::LocalModelSnapshot& snapshot = model.snapshot();
    const lm::HardwareRecommendation& hardware = snapshot.hardware;
    std::vector<WidgetBox> body;
    body.push_back(ph::value_row("Hardware fit", lm::fit_label(hardware.fit), text_id("hardware.fit")));
    body.push_back(ph::value_row("System memory", gib(hardware.memory_gib), text_id("hardware.memory")));
    body.push_back(ph::value_row("Accelerator", hardware.accelerator, text_id("hardware.accelerator")));
    if (hardware.accelerator_memory_gib) {
        body.push_back(ph::value_row("Accelerator memory", gib(*hardware.accelerator_memory_gib),
                                     text_id("hardware.accelerator-memory")));
    }
    if (hardware.free_storage_gib) {
        body.push_back(
            ph::value_row("Storage available", gib(*hardware.free_storage_gib), text_id("hardware.storage")));
    }
    body.push_back(ph::caption(hardware.reason, text_id("hardware.reason")));

    const auto& package = snapshot.recommendation;
    if (!package) {
        body.push_back(ph::value_row("Recommended model", "Waiting for signed model catalog"));
        body.push_back(ph::caption(no_catalog_caption));
        body.push_back(one_button(Button(std::string(setup_unavailable_id), "Set up unavailable").disabled().boxed()));
        return card("Recommended for this device", std::move(body),
                    trailing_text("Service unavailable", text_id("hardware.trailing")));
    }
    body.push_back(ph::value_row("Recommended model", package->name, text_id("recommended.name")));
    body.push_back(ph::caption(package->description, text_id("recommended.description")));
    if (model.pending_install() == package->id) {
        body.push_back(ph::value_row("Download", format_gib(package->download_bytes), text_id("confirm.download")));
        body.push_back(
            ph::value_row("Storage after install", format_gib(package->installed_bytes), text_id("confirm.storage")));
        body.push_back(ph::value_row("Source", package->source, text_id("confirm.source")));
        body.push_back(ph::value_row("Pinned revision", package->revision, text_id("confirm.revision")));
        body.push_back(ph::value_row("License", package->license, text_id("confirm.license")));
        body.push_back(ph::caption(licence_caption(*package), text_id("confirm.caption")));
        std::vector<WidgetBox> buttons;
        buttons.push_back(Button(std::string(confirm_install_id), "Accept license & download",
                                 std::string(local_confirm_key))
                              .with_style(vorn_ui::button_style::primary)
                              .boxed());
        buttons.push_back(Button(std::string(cancel_install_id), "Cancel", std::string(local_cancel_key)).boxed());
        body.push_back(button_row(std::move(buttons)));
    } else {
        auto setup = Button(std::string(setup_local_id), "Set up on this device", std::string(local_setup_key));
        if (!lm::may_install(snapshot)) {
            setup = std::move(setup).disabled();
        }
        body.push_back(one_button(std::move(setup).boxed()));
    }
    return card("Recommended for this device", std::move(body),
                trailing_text(lm::fit_label(hardware.fit), text_id("hardware.trailing")));
}

WidgetBox model_card(const AgentModelsModel& model, const lm::InstalledLocalModel& installed)
{
    const lm::LocalModelPackage& package = installed.package;
    const std::string key = local_model_key(package.id);
    std::vector<WidgetBox> body;
    body.push_back(ph::value_row("Status", lm::phase_label(installed.phase), text_id("model.status", key)));
    body.push_back(ph::value_row("Storage", format_gib(package.installed_bytes), text_id("model.storage", key)));
    body.push_back(ph::value_row("License", package.license, text_id("model.license", key)));
    if (lm::is_transitional(installed.phase)) {
        const auto fraction = lm::progress(installed.phase);
        auto bar = fraction ? vorn_ui::ProgressBar(*fraction) : vorn_ui::ProgressBar::indeterminate();
        body.push_back(std::move(bar).with_label_owned(progress_label(installed)).boxed());
    }
    body.push_back(ph::caption(phase_caption(installed.phase), text_id("model.caption", key)));
    if (std::holds_alternative<lm::Failed>(installed.phase)) {
        body.push_back(ph::caption(failed_caption));
    }
    const auto actions = local_model_actions(installed.phase);
    if (!actions.empty()) {
        std::vector<WidgetBox> buttons;
        for (const LocalModelAction action : actions) {
            const std::string_view label = action == LocalModelAction::Remove ? remove_label(model, package.id)
                                                                              : local_model_action_label(action);
            auto button = Button(local_model_button_id(package.id, action), std::string(label),
                                 local_model_flag_key(package.id, action));
            if (action == LocalModelAction::Remove) {
                button = std::move(button).with_style(vorn_ui::button_style::destructive);
            }
            buttons.push_back(std::move(button).boxed());
        }
        body.push_back(button_row(std::move(buttons)));
    }
    return card(package.name, std::move(body),
                trailing_text(lm::phase_label(installed.phase), text_id("model.trailing", key)));
}

std::vector<WidgetBox> provider_rows(AgentModelsModel& model, const cat::SectionBindings& bindings,
                                     const ProviderEntry& entry)
{
    const mp::ProviderProfile& profile = entry.profile;
    const std::string& id = profile.id;
    std::vector<WidgetBox> body;
    body.push_back(ph::value_row(profile.display_label(), kind_label(profile.kind), text_id("provider.kind", id)));

    if (const ProviderDraft* draft = model.draft(id)) {
        auto field = [](std::string control_id, const vorn_ui::SharedLockedText& buffer, std::string_view placeholder) {
            return vorn_ui::TextInput(std::move(control_id))
                .with_external_buffer(buffer)
                .with_initial_value(buffer_text(buffer))
                .with_placeholder(std::string(placeholder))
                .boxed();
        };
        body.push_back(field(provider_control_id("label", id), draft->label, label_placeholder));
        body.push_back(field(provider_control_id("url", id), draft->endpoint, endpoint_placeholder));
        body.push_back(field(provider_control_id("model", id), draft->model, model_placeholder));
    }
    {
        std::vector<WidgetBox> buttons;
        buttons.push_back(Button(provider_control_id("save-provider", id), "Save details")
                              .bind_action([&model, id] { model.save_details(id); })
                              .boxed());
        buttons.push_back(provider_action_button(bindings, id, "set-protocol", provider_control_id("protocol", id),
                                                 protocol_button_label(profile.protocol)));
        buttons.push_back(provider_action_button(bindings, id, profile.enabled ? "disable" : "enable",
                                                 provider_control_id("enabled", id),
                                                 enabled_button_label(profile.enabled)));
        buttons.push_back(provider_action_button(bindings, id, "remove", provider_control_id("remove-provider", id),
                                                 "Remove provider"));
        body.push_back(button_row(std::move(buttons)));
    }
    body.push_back(ph::value_row("Protocol", protocol_label(profile.protocol), text_id("provider.protocol", id)));
    {
        std::vector<WidgetBox> row;
        row.push_back(vorn_ui::TextInput(provider_control_id("api-key", id))
                          .with_kind(vorn_ui::text_input_kind::password)
                          .with_external_buffer(model.api_key_buffer(id))
                          .with_placeholder(std::string(api_key_placeholder))
                          .with_width(320.0f)
                          .boxed());
        row.push_back(Button(provider_control_id("set-api-key", id), std::string(api_key_button_label(entry.key_stored)))
                          .bind_action([&model, id] { model.save_key(id); })
                          .boxed());
        row.push_back(Button(provider_control_id("remove-api-key", id), "Remove key")
                          .bind_action([&model, id] { model.remove_key(id); })
                          .boxed());
        body.push_back(button_row(std::move(row)));
    }
    body.push_back(ph::caption(api_key_caption(entry.key_stored), text_id("provider.key", id)));
    if (profile.default_model) {
        body.push_back(one_button(provider_action_button(bindings, id, "set-default",
                                                         provider_control_id("default", id),
                                                         default_button_label(entry.is_default))));
    }
    return body;
}

WidgetBox providers_card(AgentModelsModel& model, const cat::SectionBindings& bindings,
                         std::vector<std::string>& unpublished)
{
    std::vector<WidgetBox> body;
    body.push_back(ph::caption(providers_caption));
    {
        std::vector<WidgetBox> buttons;
        buttons.push_back(provider_action_button(bindings, std::nullopt, "add-anthropic", std::string(add_anthropic_id),
                                                 "Add Anthropic"));
        buttons.push_back(provider_action_button(bindings, std::nullopt, "add-openai-compatible",
                                                 std::string(add_openai_id), "Add compatible API"));
        body.push_back(button_row(std::move(buttons)));
    }
    if (model.provider_status()) {
        body.push_back(ph::caption(*model.provider_status(), text_id("provider.status")));
    }
    if (!model.providers_loaded()) {
        body.push_back(ph::caption(loading_text));
    }
    for (const ProviderEntry& entry : model.providers().providers) {
        if (!cat::agent_provider_unit_binding(bindings.section(), entry.profile.id, "remove")) {
            unpublished.push_back(entry.profile.id);
        }
        for (auto& row : provider_rows(model, bindings, entry)) {
            body.push_back(std::move(row));
        }
    }
    for (const std::string& problem : model.providers().validation_errors) {
        body.push_back(ph::caption(validation_caption(problem)));
    }
    return card("Hosted and compatible providers", std::move(body));
}

}  // namespace

std::string text_id(std::string_view part) { return fmt::format("agent-models.text.{}", part); }
std::string text_id(std::string_view part, std::string_view key)
{
    return fmt::format("agent-models.text.{}.{}", part, key);
}

AgentModelsPane::AgentModelsPane(AgentModelsOptions options)
    : PreferencePane({"agent_models", "Agent Models", "Local models and hosted model providers"}),
      model_(std::make_unique<AgentModelsModel>(std::move(options))),
      document_(std::make_unique<page_doc::Document>()),
      seen_generation_(model_providers::saved_generation())
{
}

AgentModelsPane::~AgentModelsPane() = default;
AgentModelsPane::AgentModelsPane(AgentModelsPane&&) noexcept = default;
AgentModelsPane& AgentModelsPane::operator=(AgentModelsPane&&) noexcept = default;

AgentModelsPane AgentModelsPane::with_operation_requests(const operations::OperationRequestCell& cell) &&
{
    model_->share_operation_requests(cell);
    return std::move(*this);
}

AgentModelsPane AgentModelsPane::with_operation_status(const operations::OperationStatusCell& cell) &&
{
    model_->share_operation_status(cell);
    return std::move(*this);
}

void AgentModelsPane::follow_provider_changes()
{
    // The application carries out the provider actions (add, protocol, enable, remove, default) itself, and the
    // page's own jobs write the same file: whatever wrote it, the list is read again.
    const std::uint64_t generation = model_providers::saved_generation();
    if (generation != seen_generation_) {
        seen_generation_ = generation;
        model_->reload_providers();
    }
}

void AgentModelsPane::sync(page_doc::Document& /*doc*/, vorn_ui::SyncContext& ctx)
{
    // The presses live in the page's own document: the buttons write it, the model consumes it.
    follow_provider_changes();
    model_->sync(*document_);
    if (model_->take_structure_dirty()) {
        ctx.changed = true;
    }
    refresh_view(*document_, ctx);
}

bool AgentModelsPane::update() { return model_->update(); }

bool AgentModelsPane::needs_redraw() const
{
    const AgentModelsModel& model = *model_;
    return !model.loaded() || !model.providers_loaded() || model.requests_pending() ||
           model.provider_jobs_running() > 0 || PreferencePane::needs_redraw();
}

std::optional<vorn_ui::Instant> AgentModelsPane::next_wake_deadline() const
{
    const auto due = model_->next_refresh_due();
    const auto own = PreferencePane::next_wake_deadline();
    if (due && own) {
        return std::min(*due, *own);
    }
    return due ? due : own;
}

// The page holds nothing to commit: the search entry is whatever its controls answer.
std::optional<vorn_actions::ActionContext> AgentModelsPane::pane_descriptor()
{
    return vorn_ui::Widget::pane_descriptor();
}

std::string AgentModelsPane::structure_key() const
{
    const AgentModelsModel& model = *model_;
    std::string key;
    if (!model.loaded()) {
        key = "loading";
    } else if (!model.service_available()) {
        key = fmt::format("unavailable:{}", model.unavailable_reason().has_value());
    } else {
        const lm::LocalModelSnapshot& snapshot = model.snapshot();
        key = fmt::format("status:{}", model.status().has_value());
        if (const auto& setup = snapshot.accelerator_setup) {
            key += fmt::format("|accelerator:{}", static_cast<int>(setup->state));
        }
        const auto& hardware = snapshot.hardware;
        key += fmt::format("|hardware:{}/{}", hardware.accelerator_memory_gib.has_value(),
                           hardware.free_storage_gib.has_value());
        if (const auto& package = snapshot.recommendation) {
            // A package's name and id name the release; the confirmation and the setup button's state are rows.
            key += fmt::format("|recommended:{}/{}/{}", local_model_key(package->id),
                               model.pending_install() == package->id, lm::may_install(snapshot));
        }
        key += fmt::format("|models:{}", snapshot.models.size());
        for (const auto& installed : snapshot.models) {
            key += fmt::format("/{}:{}:{}", local_model_key(installed.package.id), installed.phase.index(),
                               lm::progress(installed.phase).has_value());
            for (const LocalModelAction action : local_model_actions(installed.phase)) {
                key += local_model_action_name(action);
            }
            key += fmt::format(":{}", installed.package.name);
        }
    }
    key += fmt::format("|providers:{}/{}", model.providers_loaded(), model.provider_status().has_value());
    for (const ProviderEntry& entry : model.providers().providers) {
        // What binds a button to its action (the enable or disable action, the other protocol) and what the row's
        // title says come with the row.
        const auto& profile = entry.profile;
        key += fmt::format("/{}:{}:{}:{}:{}:{}", profile.id, profile.display_label(), static_cast<int>(profile.protocol),
                           profile.enabled, profile.default_model.has_value(), model.draft(profile.id) != nullptr);
    }
    key += fmt::format("|problems:{}", model.providers().validation_errors.size());
    if (!unpublished_.empty()) {
        // Providers whose actions the section did not publish when the view was built (added a moment ago): the
        // view is built again once the section has them, so that their buttons are bound.
        std::size_t published = 0;
        for (const auto& profile : cat::current_platform()->provider_profiles()) {
            published += static_cast<std::size_t>(std::ranges::count(unpublished_, profile.id));
        }
        key += fmt::format("|published:{}", published);
    }
    return key;
}

std::unique_ptr<vorn_ui::Widget> AgentModelsPane::build_view()
{
    AgentModelsModel& model = *model_;
    // The section is built once for the whole view; the accelerator buttons write their press, and the action that
    // automation asks for must still be there.
    const cat::SectionBindings bindings(cat::agent_models_resource());
    bindings.require("stage-accelerator");

    std::vector<WidgetBox> cards;
    {
        std::vector<WidgetBox> body;
        body.push_back(ph::caption(privacy_caption));
        body.push_back(ph::value_row("Local inference", "Loopback-only Vorn model gateway"));
        body.push_back(ph::value_row("Downloads", "Explicit, pinned, and visible here"));
        cards.push_back(card("Private by design", std::move(body)));
    }

    if (!model.loaded()) {
        cards.push_back(card("Local model service", ph::widgets(ph::caption(loading_text))));
    } else if (!model.service_available()) {
        std::vector<WidgetBox> body;
        body.push_back(ph::caption(unavailable_caption));
        if (const auto& reason = model.unavailable_reason()) {
            body.push_back(ph::caption(*reason, text_id("unavailable.reason")));
        }
        cards.push_back(card("Local model service unavailable", std::move(body)));
    } else {
        const lm::LocalModelSnapshot& snapshot = model.snapshot();
        if (const auto& status = model.status()) {
            cards.push_back(card("Local model service", ph::widgets(ph::caption(*status, text_id("status")))));
        }
        if (const auto& setup = snapshot.accelerator_setup) {
            cards.push_back(card("Accelerator support", accelerator_rows(*setup),
                                 ph::badge_with_value(accelerator_badge(setup->state),
                                                      accelerator_badge_kind(setup->state))));
        }
        cards.push_back(recommendation_card(model));
        if (snapshot.models.empty()) {
            cards.push_back(card("Models on this device", ph::widgets(ph::caption(no_models_caption))));
        } else {
            for (const auto& installed : snapshot.models) {
                cards.push_back(model_card(model, installed));
            }
        }
    }

    unpublished_.clear();
    cards.push_back(providers_card(model, bindings, unpublished_));
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

bool AgentModelsPane::show_values()
{
    const AgentModelsModel& model = *model_;
    bool changed = false;
    if (model.loaded() && !model.service_available()) {
        if (const auto& reason = model.unavailable_reason()) {
            changed |= show_text(text_id("unavailable.reason"), *reason);
        }
    } else if (model.loaded()) {
        const lm::LocalModelSnapshot& snapshot = model.snapshot();
        if (const auto& status = model.status()) {
            changed |= show_text(text_id("status"), *status);
        }
        if (const auto& setup = snapshot.accelerator_setup) {
            changed |= show_text(text_id("accelerator.pack"), setup->boot_pack_id);
            if (setup->state == lm::AcceleratorState::Error) {
                changed |= show_text(text_id("accelerator.error"), setup->message);
            }
        }
        const auto& hardware = snapshot.hardware;
        changed |= show_text(text_id("hardware.fit"), lm::fit_label(hardware.fit));
        changed |= show_text(text_id("hardware.memory"), gib(hardware.memory_gib));
        changed |= show_text(text_id("hardware.accelerator"), hardware.accelerator);
        if (hardware.accelerator_memory_gib) {
            changed |= show_text(text_id("hardware.accelerator-memory"), gib(*hardware.accelerator_memory_gib));
        }
        if (hardware.free_storage_gib) {
            changed |= show_text(text_id("hardware.storage"), gib(*hardware.free_storage_gib));
        }
        changed |= show_text(text_id("hardware.reason"), hardware.reason);
        if (const auto& package = snapshot.recommendation) {
            changed |= show_text(text_id("hardware.trailing"), lm::fit_label(hardware.fit));
            changed |= show_text(text_id("recommended.name"), package->name);
            changed |= show_text(text_id("recommended.description"), package->description);
            if (model.pending_install() == package->id) {
                changed |= show_text(text_id("confirm.download"), format_gib(package->download_bytes));
                changed |= show_text(text_id("confirm.storage"), format_gib(package->installed_bytes));
                changed |= show_text(text_id("confirm.source"), package->source);
                changed |= show_text(text_id("confirm.revision"), package->revision);
                changed |= show_text(text_id("confirm.license"), package->license);
                changed |= show_text(text_id("confirm.caption"), licence_caption(*package));
            }
        }
        for (const auto& installed : snapshot.models) {
            const auto& package = installed.package;
            const std::string key = local_model_key(package.id);
            changed |= show_text(text_id("model.status", key), lm::phase_label(installed.phase));
            changed |= show_text(text_id("model.trailing", key), lm::phase_label(installed.phase));
            changed |= show_text(text_id("model.storage", key), format_gib(package.installed_bytes));
            changed |= show_text(text_id("model.license", key), package.license);
            changed |= show_text(text_id("model.caption", key), phase_caption(installed.phase));
            if (const auto fraction = lm::progress(installed.phase)) {
                changed |= show_fraction(progress_label(installed), *fraction);
            }
            if (action_available(installed.phase, LocalModelAction::Remove)) {
                changed |= show_caption(local_model_button_id(package.id, LocalModelAction::Remove),
                                        remove_label(model, package.id));
            }
        }
    }
    if (const auto& sentence = model.provider_status()) {
        changed |= show_text(text_id("provider.status"), *sentence);
    }
    for (const ProviderEntry& entry : model.providers().providers) {
        const auto& profile = entry.profile;
        changed |= show_text(text_id("provider.kind", profile.id), kind_label(profile.kind));
        changed |= show_text(text_id("provider.protocol", profile.id), protocol_label(profile.protocol));
        changed |= show_text(text_id("provider.key", profile.id), api_key_caption(entry.key_stored));
        changed |= show_caption(provider_control_id("set-api-key", profile.id), api_key_button_label(entry.key_stored));
        changed |= show_caption(provider_control_id("default", profile.id), default_button_label(entry.is_default));
    }
    return changed;
}

bool AgentModelsPane::show_caption(std::string_view id, std::string_view caption)
{
    auto* button = control<Button>(id);
    if (button == nullptr || button->caption() == caption) {
        return false;
    }
    button->set_caption(std::string(caption));
    return true;
}

bool AgentModelsPane::show_fraction(std::string_view label, std::optional<double> fraction)
{
    // Progress bars carry no control id; the bar of a model is the one labelled with its name.
    vorn_ui::ProgressBar* found = nullptr;
    const std::function<void(vorn_ui::Widget&)> visit = [&](vorn_ui::Widget& widget) {
        if (found != nullptr) {
            return;
        }
        if (auto* bar = dynamic_cast<vorn_ui::ProgressBar*>(&widget); bar != nullptr && bar->label_text() == label) {
            found = bar;
            return;
        }
        for (vorn_ui::Widget* child : widget.children_mut()) {
            visit(*child);
        }
    };
    if (content() != nullptr) {
        visit(*content());
    }
    if (found == nullptr || !fraction || found->fraction() == fraction) {
        return false;
    }
    found->set_fraction(*fraction);
    return true;
}

std::unique_ptr<vorn_ui::Widget> boxed_agent_models_pane(const operations::OperationRequestCell& requests,
                                                         const operations::OperationStatusCell& status)
{
    return std::make_unique<AgentModelsPane>(
        AgentModelsPane().with_operation_requests(requests).with_operation_status(status));
}

}  // namespace settings::panes::agent_models
