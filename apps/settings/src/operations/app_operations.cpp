#include "operations/app_operations.hpp"

#include "account_probe/network_probe.hpp"
#include "accounts/records.hpp"
#include "accounts/removal.hpp"
#include "actions/payloads/codec.hpp"

#include "model_providers/model_providers.hpp"
#include "vorn_log/log.hpp"
#include "vorn_model_gateway/vorn_model_gateway.hpp"

#include <algorithm>
#include <utility>

namespace settings::operations {

namespace {

using vorn_ui::OperationClass;
using vorn_ui::OperationCompletion;
using vorn_ui::ResourceOperationAnswer;
using vorn_ui::ResourceOperationStart;
using namespace settings::actions;

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

constexpr std::string_view account_mismatch = "operation kind does not match account operation";

ResourceOperationStart completed_empty()
{
    return ResourceOperationStart::completed_with({});
}

// The page command of an account operation of the given class, or why there is none.
std::expected<AccountPaneCommand, std::string> account_command(OperationClass cls, const AccountOperation& operation)
{
    using Op = AccountOperation;
    using Command = AccountPaneCommand;
    std::expected<Command, std::string> command = std::unexpected(std::string(account_mismatch));
    if (cls == OperationClass::Effect) {
        std::visit(Overloaded{
                       [&](const Op::SubmitForm&) { command = Command{Command::SubmitForm{}}; },
                       [&](const Op::SubmitReauthentication&) { command = Command{Command::SubmitReauthentication{}}; },
                       [](const auto&) {},
                   },
                   operation.value);
    } else if (cls == OperationClass::Presentation) {
        std::visit(Overloaded{
                       [&](const Op::Add& op) {
                           if (const auto kind = accounts::kind_from_slug(op.kind)) {
                               command = Command{Command::Add{*kind}};
                           } else {
                               command = std::unexpected("unknown account kind");
                           }
                       },
                       [&](const Op::Open& op) { command = Command{Command::Edit{op.id}}; },
                       [&](const Op::Edit& op) { command = Command{Command::Edit{op.id}}; },
                       [&](const Op::Reauthenticate& op) { command = Command{Command::Reauthenticate{op.id}}; },
                       [&](const Op::CancelForm&) { command = Command{Command::CancelForm{}}; },
                       [&](const Op::CancelReauthentication&) { command = Command{Command::CancelReauthentication{}}; },
                       [](const auto&) {},
                   },
                   operation.value);
    }
    return command;
}

std::string_view trim(std::string_view text)
{
    constexpr std::string_view blanks = " \t\n\r\f\v";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

model_providers::ProviderProtocol parse_protocol(std::string_view text)
{
    // Checked beforehand (check_agent_provider_operation).
    return *model_providers::protocol_from_id(text);
}

// Applies one provider change to the stored configuration: the provider is looked up, the change checked, made and
// saved. A refusal leaves the file as it was; removing a provider saves the configuration before its API key is
// deleted, and puts the file back when the key cannot be deleted.
std::expected<void, std::string> apply_provider_operation(const AgentProviderOperation& operation)
{
    using Op = AgentProviderOperation;
    auto config = model_providers::ProviderConfig::load();
    if (config.load_error) {
        // Never base a change on a configuration that could not be read: saving it would drop every provider.
        return std::unexpected("provider settings could not be read: " + *config.load_error);
    }
    AgentProviderLiveState state;
    for (const auto& profile : config.profiles) {
        state.providers.push_back(
            {.id = profile.id, .enabled = profile.enabled, .has_default_model = profile.default_model.has_value()});
    }
    if (auto checked = check_agent_provider_operation(operation, state); !checked) {
        return std::unexpected(std::move(checked.error()));
    }

    if (const auto* remove = std::get_if<Op::Remove>(&operation.value)) {
        if (auto removed = vorn_model_gateway::remove_provider(config, remove->id); !removed) {
            return std::unexpected(vorn_model_gateway::removal_sentence(removed.error()));
        }
        return {};
    }
    std::visit(Overloaded{
                   [&](const Op::Add& op) {
                       config.upsert(model_providers::ProviderProfile::hosted(parse_protocol(op.protocol)));
                   },
                   [&](const Op::SetProtocol& op) { config.find(op.id)->protocol = parse_protocol(op.protocol); },
                   [&](const Op::SetEnabled& op) { config.find(op.id)->enabled = op.enabled; },
                   [&](const Op::SetDefault& op) { config.default_provider = op.id; },
                   [&](const Op::SetDetails& op) {
                       auto* profile = config.find(op.id);
                       profile->label = op.label;
                       profile->endpoint = op.endpoint;
                       if (op.model) {
                           if (const auto model = trim(*op.model); !model.empty()) {
                               profile->select_model(model);
                           }
                       }
                   },
                   [](const Op::Remove&) {},
               },
               operation.value);
    if (auto saved = config.save(); !saved) {
        return std::unexpected("provider settings were not saved: " + saved.error());
    }
    return {};
}

}  // namespace

std::span<const std::string_view> ApplicationOperations::handled_action_ids()
{
    return handled_operation_kinds;
}

ApplicationOperations::ApplicationOperations(AppOperationsHost& host, AppOperationsOptions options)
    : host_(host), options_(std::move(options)), runner_(host, options_.runner)
{
    if (!options_.probe) {
        options_.probe = account_probe::default_account_probe();
    }
    options_.account_paths.prepare_vault();  // the vault key's custody is looked up on a worker
}

ApplicationOperations::~ApplicationOperations()
{
    if (check_) {
        check_.reset();  // stops the probe
    }
    if (!AccountCheck::wait_for_workers(check_shutdown_wait)) {
        VORN_WARN("account_check", "a connection check was still running when the application ended");
    }
}

bool ApplicationOperations::vault_ready() const
{
    // The UI thread never waits for the Secret Service: until the vault key's custody is settled, an operation
    // that needs the vault is refused and the custody is looked up meanwhile.
    if (options_.account_paths.vault_ready()) {
        return true;
    }
    options_.account_paths.prepare_vault();
    return false;
}

std::chrono::steady_clock::time_point ApplicationOperations::now() const
{
    return options_.runner.clock ? options_.runner.clock() : std::chrono::steady_clock::now();
}

std::optional<ResourceOperationStart> ApplicationOperations::start(const vorn_ui::OperationId& id,
                                                                   OperationClass cls, std::string_view kind,
                                                                   std::string_view payload)
{
    if (DeviceLocalRunner::handles_kind(kind) && cls == OperationClass::Effect) {
        return runner_.start(id, cls, kind, payload);
    }
    if (kind != AccountOperation::kind) {
        return std::nullopt;
    }

    auto operation = decode_payload<AccountOperation>(payload);
    if (!operation) {
        return ResourceOperationStart::failed(std::move(operation.error()));
    }
    host_.select_section(Section::ExternalAccounts);
    using Op = AccountOperation;
    const auto& value = operation->value;
    if (cls == OperationClass::Effect) {
        if (const auto* test = std::get_if<Op::Test>(&value)) {
            return start_account_check(id, test->id);
        }
        if (const auto* remove = std::get_if<Op::Remove>(&value)) {
            return remove_account(remove->id);
        }
    }
    auto command = account_command(cls, *operation);
    if (!command) {
        return ResourceOperationStart::failed(std::move(command.error()));
    }
    // The operation is reported once the page has acted on the command (poll()).
    if (!account_commands_.has_reader()) {
        return ResourceOperationStart::failed(std::string(page_not_open_message));
    }
    const auto serial = account_commands_.send(std::move(*command));
    if (!serial) {
        return ResourceOperationStart::failed(std::string(commands_waiting_message));
    }
    commands_.push_back(OutstandingCommand{.id = id, .serial = *serial});
    return ResourceOperationStart::pending();
}

ResourceOperationStart ApplicationOperations::start_account_check(const vorn_ui::OperationId& id,
                                                                  std::string_view account_id)
{
    if (check_) {
        if (check_->check.try_receive(now()).state != AccountCheck::State::Ended) {
            return ResourceOperationStart::failed(std::string(check_running_message));
        }
        // The previous check ended unpolled (its worker gave up, or its deadline passed): it no longer blocks
        // this one, and a late poll for it still learns how it ended.
        auto ended = check_->check.try_receive(now());
        replaced_check_ = OperationCompletion::failed(check_->id, std::string(account_failure_code),
                                                      std::move(ended.result.error()), true);
        check_.reset();
    }
    auto store = options_.account_paths.try_load_store();
    if (!store) {
        return ResourceOperationStart::failed(std::move(store.error()));
    }
    const account_registry::Account* account = store->get(account_id);
    if (account == nullptr) {
        return ResourceOperationStart::failed("account no longer exists");
    }
    if (!vault_ready()) {
        return ResourceOperationStart::failed(std::string(accounts::vault_opening_message));
    }
    auto vault = options_.account_paths.open_vault();
    if (!vault) {
        return ResourceOperationStart::failed(std::move(vault.error()));
    }
    const account_registry::SecretString* secret = vault->get(account_id);
    if (secret == nullptr) {
        return ResourceOperationStart::failed("this account has no saved credential; sign in again first");
    }
    check_.emplace(OutstandingCheck{
        .id = id,
        .check = AccountCheck(options_.probe, *account, secret->clone(), now() + options_.account_check_deadline)});
    return ResourceOperationStart::pending();
}

ResourceOperationStart ApplicationOperations::remove_account(std::string_view account_id)
{
    auto store = options_.account_paths.try_load_store();
    if (!store) {
        return ResourceOperationStart::failed(std::move(store.error()));
    }
    const account_registry::Account* account = store->get(account_id);
    if (account == nullptr) {
        return ResourceOperationStart::failed("account no longer exists");
    }
    auto kind = accounts::kind_from_type_id(account->type_id);
    if (!kind) {
        kind = accounts::kind_from_slug(account->type_id);
    }
    if (!kind) {
        return ResourceOperationStart::failed("unsupported account type");
    }
    if (!vault_ready()) {
        return ResourceOperationStart::failed(std::string(accounts::vault_opening_message));
    }
    if (auto removed = accounts::remove_account(options_.account_paths, *kind, account_id); !removed) {
        return ResourceOperationStart::failed(std::move(removed.error()));
    }
    host_.reload_accounts();
    host_.refresh_page();
    return completed_empty();
}

ResourceOperationAnswer ApplicationOperations::handle(OperationClass cls, std::string_view kind,
                                                      std::string_view payload)
{
    if (kind == UpdateOperation::kind) {
        if (cls != OperationClass::Presentation) {
            return ResourceOperationAnswer::not_handled();
        }
        auto operation = decode_payload<UpdateOperation>(payload);
        if (!operation) {
            return ResourceOperationAnswer::failed(std::move(operation.error()));
        }
        if (!std::holds_alternative<UpdateOperation::ReviewRollback>(operation->value)) {
            return ResourceOperationAnswer::failed("operation kind does not match update operation");
        }
        host_.select_section(Section::Updates);
        return ResourceOperationAnswer::handled();
    }
    if (kind == AgentProviderOperation::kind) {
        return handle_provider(cls, payload);
    }
    if (kind == AccountOperation::kind) {
        return handle_account(cls, payload);
    }
    if (kind == open_pane_kind && cls == OperationClass::Presentation) {
        auto section_id = decode_open_pane_payload(payload);
        if (!section_id) {
            return ResourceOperationAnswer::failed(std::move(section_id.error()));
        }
        const auto section = Section::from_id(*section_id);
        if (!section) {
            return ResourceOperationAnswer::failed("Settings pane is no longer available");
        }
        host_.select_section(*section);
        return ResourceOperationAnswer::handled();
    }
    return ResourceOperationAnswer::not_handled();
}

ResourceOperationAnswer ApplicationOperations::handle_provider(OperationClass cls, std::string_view payload)
{
    if (cls != OperationClass::Effect) {
        return ResourceOperationAnswer::failed("provider configuration requires an effect operation");
    }
    auto operation = decode_payload<AgentProviderOperation>(payload);
    if (!operation) {
        return ResourceOperationAnswer::failed(std::move(operation.error()));
    }
    if (auto applied = apply_provider_operation(*operation); !applied) {
        return ResourceOperationAnswer::failed(std::move(applied.error()));
    }
    host_.select_section(Section::AgentModels);
    return ResourceOperationAnswer::handled();
}

ResourceOperationAnswer ApplicationOperations::handle_account(OperationClass cls, std::string_view payload)
{
    auto operation = decode_payload<AccountOperation>(payload);
    if (!operation) {
        return ResourceOperationAnswer::failed(std::move(operation.error()));
    }
    host_.select_section(Section::ExternalAccounts);
    auto command = account_command(cls, *operation);
    if (!command) {
        return ResourceOperationAnswer::failed(std::move(command.error()));
    }
    // Answered at once: all this path can say is that the page took the command. (The toolkit starts operations,
    // which wait for the page's answer.)
    if (!account_commands_.has_reader()) {
        return ResourceOperationAnswer::failed(std::string(page_not_open_message));
    }
    const auto serial = account_commands_.send(std::move(*command));
    if (!serial) {
        return ResourceOperationAnswer::failed(std::string(commands_waiting_message));
    }
    unwatched_commands_.push_back(*serial);
    return ResourceOperationAnswer::handled();
}

bool ApplicationOperations::owns(const vorn_ui::OperationId& id) const
{
    return runner_.owns(id) || (check_ && check_->id == id) || (replaced_check_ && replaced_check_->id == id) ||
           std::ranges::any_of(commands_, [&](const OutstandingCommand& c) { return c.id == id; });
}

std::optional<OperationCompletion> ApplicationOperations::poll_command(const vorn_ui::OperationId& id, bool cancel)
{
    const auto found = std::ranges::find(commands_, id, &OutstandingCommand::id);
    const std::uint64_t serial = found->serial;
    std::optional<OperationCompletion> report;
    if (auto answer = account_commands_.take_answer(serial)) {
        if (*answer) {
            report = OperationCompletion::completed_with(
                id, (*answer)->empty() ? vorn_ui::CompletedOperation{}
                                       : vorn_ui::CompletedOperation{{}, std::move(**answer)});
        } else if (found->cancel_requested) {
            report = OperationCompletion::cancelled(id, std::string(command_cancelled_message));
        } else {
            report = OperationCompletion::failed(id, std::string(account_form_failure_code),
                                                 std::move(answer->error()), false);
        }
    } else if (cancel && !found->cancel_requested) {
        found->cancel_requested = true;
        if (account_commands_.cancel(serial)) {
            report = OperationCompletion::cancelled(id, std::string(command_cancelled_message));
        }
        // Taken already: the page stops what it started and answers; that answer is the report.
    } else if (!account_commands_.has_reader()) {
        report = OperationCompletion::failed(id, std::string(account_form_failure_code),
                                             std::string(DeviceLocalRunner::page_closed_message), false);
    }
    if (report) {
        account_commands_.forget(serial);
        commands_.erase(found);
    }
    return report;
}

void ApplicationOperations::forget_answers_nobody_polls()
{
    std::erase_if(unwatched_commands_, [&](std::uint64_t serial) {
        if (account_commands_.take_answer(serial) || !account_commands_.has_reader()) {
            account_commands_.forget(serial);
            return true;
        }
        return false;
    });
}

std::optional<OperationCompletion> ApplicationOperations::poll(const vorn_ui::OperationId& id, bool cancel)
{
    forget_answers_nobody_polls();
    if (runner_.owns(id)) {
        return runner_.poll(id, cancel);
    }
    if (std::ranges::any_of(commands_, [&](const OutstandingCommand& c) { return c.id == id; })) {
        return poll_command(id, cancel);
    }
    if (check_ && check_->id == id) {
        if (cancel) {
            check_.reset();
            return OperationCompletion::cancelled(id, std::string(check_cancelled_message));
        }
        auto received = check_->check.try_receive(now());
        if (received.state == AccountCheck::State::Running) {
            return std::nullopt;
        }
        check_.reset();
        if (received.result) {
            return OperationCompletion::completed_with(id, vorn_ui::CompletedOperation{{}, *received.result});
        }
        return OperationCompletion::failed(id, std::string(account_failure_code), std::move(received.result.error()),
                                           true);
    }
    if (replaced_check_ && replaced_check_->id == id) {
        auto report = std::move(*replaced_check_);
        replaced_check_.reset();
        return report;
    }
    return std::nullopt;
}

}  // namespace settings::operations
