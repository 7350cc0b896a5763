// External Accounts, Users, Devices & Sync and Agent Models.

#include "actions/catalogue/bindings.hpp"
#include "actions/catalogue/platform.hpp"
#include "actions/catalogue/sections.hpp"
#include "actions/catalogue/support.hpp"

#include <fmt/format.h>

#include <array>

namespace settings::actions::catalogue {

// ---- External Accounts ------------------------------------------------------------------------------------------------

std::optional<ActionSpec> account_action(std::string_view id, std::string_view title, std::uint8_t effect_class,
                                         const AccountOperation& operation, bool destructive)
{
    std::optional<vorn_actions::ActionContract> contract;
    if (std::holds_alternative<AccountOperation::Test>(operation.value)) {
        contract = tags({"device-local", "accounts", "network-probe"});
    }
    auto spec = fixed_action(id, title, operation, std::move(contract), effect_class);
    if (spec && destructive) {
        return std::move(*spec).destructive();
    }
    return spec;
}

Resource external_account_resource(const account_registry::Account& account)
{
    using A = AccountOperation;
    const std::string& id = account.id;
    Resource resource("settings.account:" + id, "settings.external-account", clean_label(account.display_name, id));
    add_action(resource, account_action("open", "Open account", effect_navigation, A(A::Open{id}), false));
    add_action(resource, account_action("edit", "Edit account details", effect_navigation, A(A::Edit{id}), false));
    add_action(resource,
           account_action("reauthenticate", "Sign in again", effect_navigation, A(A::Reauthenticate{id}), false));
    add_action(resource,
           account_action("test", account.type_id == "email" ? "Check server reachability" : "Verify sign-in",
                  effect_operation, A(A::Test{id}), false));
    add_action(resource, account_action("remove", "Remove from this device", effect_operation, A(A::Remove{id}), true));
    return resource;
}

Resource external_accounts_resource(AccountList accounts)
{
    using A = AccountOperation;
    Resource section = bare_section_resource(Section::ExternalAccounts);
    struct AddRow {
        std::string_view kind;
        std::string_view title;
    };
    static constexpr std::array<AddRow, 4> adds{{{"mail", "Add email account"},
                                                 {"caldav", "Add calendar account"},
                                                 {"webdav", "Add WebDAV account"},
                                                 {"nextcloud", "Add Nextcloud account"}}};
    for (const auto& row : adds) {
        add_action(section, account_action(fmt::format("add-{}", row.kind), row.title, effect_navigation,
                                           A(A::Add{std::string(row.kind)}), false));
    }
    // The open form's and the credential form's buttons, carried out by the page.
    add_action(section, account_action("save-form", "Save account", effect_operation, A(A::SubmitForm{}), false));
    add_action(section, account_action("cancel-form", "Cancel account form", effect_navigation, A(A::CancelForm{}),
                                       false));
    add_action(section, account_action("save-reauthentication", "Update credential", effect_operation,
                                       A(A::SubmitReauthentication{}), false));
    add_action(section, account_action("cancel-reauthentication", "Cancel credential update", effect_navigation,
                                       A(A::CancelReauthentication{}), false));
    PublishedKeys published("an external account");
    for (const auto& account : capped(accounts, kObjectLimit, "external accounts")) {
        if (!published.admit(account.id)) {
            continue;
        }
        section = std::move(section).with_child(external_account_resource(account));
    }
    return section;
}

// ---- Users --------------------------------------------------------------------------------------------------------------

Resource users_resource()
{
    using U = UserOperation;
    Resource section = bare_section_resource(Section::Users);
    auto users = current_platform()->local_users();
    if (!users) {
        VORN_INFO(kLogTag, "no users published: {}", users.error());
        return section;
    }
    const auto live = tags({"device-local", "users", "live-account"});
    PublishedKeys published("a user");
    for (const auto& user : capped(*users, kObjectLimit, "users")) {
        if (user.signed_in || !published.admit(user.name)) {
            continue;
        }
        Resource resource("settings.user:" + user.name, "settings.user", clean_label(user.full_name, user.name));
        add_action(resource, fixed_action("set-admin", user.admin ? "Make standard user" : "Make administrator",
                                          U(U::SetAdmin{user.name, !user.admin}), live));
        add_action(resource,
                   fixed_action("set-autologin", user.autologin ? "Disable automatic login" : "Enable automatic login",
                                U(U::SetAutologin{user.name, !user.autologin}), live));
        // Removing an account is destructive (the second form deletes the home directory): the user operation
        // builder marks both.
        add_action(resource, fixed_action("remove-keep-files", "Remove account, keep files",
                                          U(U::Remove{user.name, false}), live));
        add_action(resource,
                   fixed_action("remove-files", "Remove account and files", U(U::Remove{user.name, true}), live));
        section = std::move(section).with_child(std::move(resource));
    }
    return section;
}

// ---- Devices & Sync -------------------------------------------------------------------------------------------------

Resource devices_sync_resource()
{
    using D = DeviceMeshOperation;
    Resource section = bare_section_resource(Section::DevicesSync);
    const auto mesh = tags({"device-local", "security", "device-mesh"});
    auto mesh_choice = [&](std::string_view id, std::string_view title, std::vector<std::string> offered,
                           MeshChoiceConstructor make) {
        return new_action_spec(id, title, hints::choose_value, effect_operation, D::kind,
                               {choice_param(std::move(offered), param_titles::device_local_value)},
                               mesh_choice_parser(make))
            .with_contract(mesh);
    };
    section.actions.push_back(mesh_choice("role", "Set device role on this device",
                                          {"Personal device", "Available while active", "Always-on server"},
                                          make_mesh_role)
                                  .destructive());
    section.actions.push_back(mesh_choice("replication", "Set local replication policy",
                                          {"On demand", "Workspace state", "Full workspace copy"},
                                          make_mesh_replication));
    struct ServiceRow {
        std::string_view id;
        std::string_view title;
        std::string_view service;
    };
    static constexpr std::array<ServiceRow, 14> services{{
        {"inbound-relay", "Set inbound relay", "inbound_relay"},
        {"remote-control", "Set remote-control relay", "remote_control_relay"},
        {"app-serving", "Set app serving", "app_serving"},
        {"compute", "Set remote compute", "compute"},
        {"continuity-enabled", "Continuity on this device", "continuity.enabled"},
        {"continuity-clipboard", "Continuity clipboard", "continuity.clipboard"},
        {"continuity-notifications", "Continuity notifications", "continuity.notifications"},
        {"continuity-wifi-settings", "Continuity Wi-Fi and settings", "continuity.wifi_settings"},
        {"continuity-media", "Continuity media", "continuity.media"},
        {"continuity-display-input", "Continuity display and input", "continuity.display_input"},
        {"continuity-file-transfer", "Continuity file transfer", "continuity.file_transfer"},
        {"continuity-realtime-sessions", "Continuity realtime sessions", "continuity.realtime_sessions"},
        {"continuity-typed-gamepad", "Continuity typed gamepad forwarding", "continuity.typed_gamepad"},
        {"continuity-app-continuations", "Continuity app continuations", "continuity.app_continuations"},
    }};
    for (const auto& row : services) {
        section.actions.push_back(new_action_spec(row.id, row.title, hints::on_off_device, effect_operation, D::kind,
                                                  {switch_param(param_titles::local_service)},
                                                  mesh_service_parser(std::string(row.service)))
                                      .with_contract(mesh));
    }
    const auto workspaces = current_platform()->workspaces();
    for (const auto& workspace : capped(workspaces, kObjectLimit, "workspaces")) {
        Resource resource(fmt::format("settings.device-mesh-workspace:{}", workspace.id),
                          "settings.device-mesh-workspace",
                          clean_label(workspace.name, fmt::format("Workspace {}", workspace.id)));
        resource.actions.push_back(new_action_spec("set-available", "Set availability on this device",
                                                   hints::on_off_device, effect_operation, D::kind,
                                                   {switch_param(param_titles::workspace_available)},
                                                   workspace_available_parser(workspace.id))
                                       .with_contract(tags({"device-local", "device-mesh", "workspace"})));
        section = std::move(section).with_child(std::move(resource));
    }
    return section;
}

// ---- Agent Models -------------------------------------------------------------------------------------------------------

Resource agent_models_resource()
{
    using P = AgentProviderOperation;
    using M = AgentModelOperation;
    Resource section = bare_section_resource(Section::AgentModels);
    // Provider actions carry their tags without a result schema.
    vorn_actions::ActionContract provider_contract;
    provider_contract.tags = {"device-local", "agent-provider"};
    add_action(section, fixed_action("add-anthropic", "Add Anthropic provider", P(P::Add{"anthropic"}), provider_contract));
    add_action(section, fixed_action("add-openai-compatible", "Add compatible API provider",
                                     P(P::Add{"openai-compatible"}), provider_contract));
    add_action(section, fixed_action("stage-accelerator", "Set up accelerator support", M(M::StageAccelerator{}),
                                     tags({"device-local", "agent-models", "live-accelerator"})));

    auto platform = current_platform();
    std::vector<const model_providers::ProviderProfile*> hosted;
    const auto profiles = platform->provider_profiles();
    for (const auto& profile : profiles) {
        if (profile.kind != model_providers::ProviderKind::ThisDevice) {
            hosted.push_back(&profile);
        }
    }
    PublishedKeys published("a model provider");
    for (const auto* profile : capped(hosted, kObjectLimit, "model providers")) {
        if (!published.admit(profile->id)) {
            continue;
        }
        const std::string& id = profile->id;
        Resource resource("settings.agent-provider:" + id, "settings.agent-provider",
                          clean_label(profile->display_label(), id));
        const std::string_view other = profile->protocol == model_providers::ProviderProtocol::Anthropic
                                           ? "openai-compatible"
                                           : "anthropic";
        add_action(resource, fixed_action("set-protocol", fmt::format("Use {} protocol", other),
                                          P(P::SetProtocol{id, std::string(other)}), provider_contract));
        add_action(resource, fixed_action(profile->enabled ? "disable" : "enable",
                                          profile->enabled ? "Disable provider" : "Enable provider",
                                          P(P::SetEnabled{id, !profile->enabled}), provider_contract));
        if (auto remove = fixed_action("remove", "Remove provider", P(P::Remove{id}), provider_contract)) {
            add_action(resource, std::move(*remove).destructive());
        }
        auto text_param = [](std::string_view name, std::string_view title) {
            return vorn_actions::ActionParam(std::string(name), std::string(title), vorn_actions::ParamType::Text);
        };
        resource.actions.push_back(new_action_spec("set-details", "Update provider details", hints::provider_name,
                                                   effect_operation, P::kind,
                                                   {text_param("label", "Provider name"),
                                                    text_param("endpoint", "HTTPS API endpoint"),
                                                    text_param("model", "Default model id")},
                                                   provider_details_parser(id))
                                       .with_contract(provider_contract));
        add_action(resource, fixed_action("set-default", "Use by default", P(P::SetDefault{id}), provider_contract));
        section = std::move(section).with_child(std::move(resource));
    }

    const auto snapshot = platform->local_models();
    PublishedKeys published_packages("a model package");
    for (const auto& package : snapshot.packages) {
        if (!published_packages.admit(package.id)) {
            continue;
        }
        Resource resource("settings.agent-model-recommendation:" + package.id, "settings.agent-model-package",
                          clean_label(package.name, package.id));
        if (snapshot.may_install) {
            add_action(resource, fixed_action("install", "Accept license and install on this device",
                                              M(M::Install{package.id, package.revision}),
                                              tags({"device-local", "agent-models", "signed-package"})));
        }
        section = std::move(section).with_child(std::move(resource));
    }
    PublishedKeys published_models("a local model");
    for (const auto& model : capped(snapshot.models, kObjectLimit, "local models")) {
        if (!published_models.admit(model.id)) {
            continue;
        }
        Resource resource("settings.agent-model:" + model.id, "settings.agent-model", clean_label(model.name, model.id));
        const auto live = tags({"device-local", "agent-models", "live-model"});
        switch (model.state) {
            case LocalModelState::Running:
                add_action(resource, fixed_action("stop", "Stop local model", M(M::Stop{model.id}), live));
                break;
            case LocalModelState::Stopped:
                add_action(resource, fixed_action("start", "Start local model", M(M::Start{model.id}), live));
                break;
            case LocalModelState::Failed:
                add_action(resource, fixed_action("retry", "Retry model installation",
                                                  M(M::Retry{model.id, model.revision}), live));
                break;
            case LocalModelState::Installing:
                break;
        }
        if (auto remove = fixed_action("remove", "Remove local model", M(M::Remove{model.id}),
                                       tags({"device-local", "agent-models", "live-model", "destructive"}))) {
            add_action(resource, std::move(*remove).destructive());
        }
        section = std::move(section).with_child(std::move(resource));
    }
    return section;
}

}  // namespace settings::actions::catalogue
