#include "accounts/drafts.hpp"

#include "dav_client/dav_client.hpp"
#include "text_utf8/text_utf8.hpp"

#include <fmt/format.h>
#include <uuid/uuid.h>

#include <array>

namespace settings::accounts {
namespace {

using text_utf8::trim_white_space;

std::unexpected<std::string> refuse(std::string_view sentence) { return std::unexpected(std::string(sentence)); }

std::string ascii_lower(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

struct Provider {
    std::array<std::string_view, 3> domains;  // unused places are empty
    std::string_view imap_host;
    std::string_view smtp_host;
};

// Well-known mail providers by their mail domains.
constexpr std::array<Provider, 4> providers{{
    {{"gmail.com", "googlemail.com", ""}, "imap.gmail.com", "smtp.gmail.com"},
    {{"outlook.com", "hotmail.com", "live.com"}, "outlook.office365.com", "smtp.office365.com"},
    {{"yahoo.com", "", ""}, "imap.mail.yahoo.com", "smtp.mail.yahoo.com"},
    {{"icloud.com", "me.com", ""}, "imap.mail.me.com", "smtp.mail.me.com"},
}};

// The server address as stored: trimmed, without trailing "/"; or the sentence of the first rule it breaks.
std::expected<std::string, std::string> checked_server_url(std::string_view text)
{
    std::string_view url = trim_white_space(text);
    while (url.ends_with('/')) {
        url.remove_suffix(1);
    }
    auto parsed = dav_client::parse_server_url(url);
    if (!parsed) {
        return refuse(draft_sentences::server_url);
    }
    // Plain HTTP is refused for every address, the local machine's included.
    if (parsed->scheme != "https") {
        return refuse(draft_sentences::https);
    }
    if (parsed->has_credentials) {
        return refuse(draft_sentences::url_credentials);
    }
    return std::string(url);
}

void merge_members(Json& config, Json members)
{
    if (!config.is_object()) {
        config = Json::object();
    }
    for (auto& [name, value] : members.items()) {
        config[name] = std::move(value);
    }
}

bool all_utf8(const AccountConfig& config)
{
    return text_utf8::valid(config.display_name) && text_utf8::valid(config.email) &&
           text_utf8::valid(config.imap_host) && text_utf8::valid(config.smtp_host) &&
           text_utf8::valid(config.username);
}

}  // namespace

void mail_provider_preset(AccountConfig& config)
{
    const auto at = config.email.find('@');
    if (at == std::string::npos) {
        return;
    }
    const std::string local = config.email.substr(0, at);
    const std::string domain = ascii_lower(std::string_view(config.email).substr(at + 1));
    if (config.username.empty()) {
        config.username = config.email;
    }
    if (config.display_name.empty()) {
        config.display_name = local;
    }
    for (const Provider& provider : providers) {
        for (const std::string_view known : provider.domains) {
            if (!known.empty() && known == domain) {
                config.imap_host = provider.imap_host;
                config.smtp_host = provider.smtp_host;
                return;
            }
        }
    }
    config.imap_host = "imap." + domain;
    config.smtp_host = "smtp." + domain;
}

std::string new_account_id(AccountKind kind, std::string_view email)
{
    if (kind == AccountKind::Mail) {
        return ascii_lower(trim_white_space(email));
    }
    uuid_t raw;
    uuid_generate_random(raw);
    std::array<char, 37> text{};
    uuid_unparse_lower(raw, text.data());
    return fmt::format("{}-{}", slug(kind), text.data());
}

std::expected<AccountDraft, std::string> save_account_draft(const AccountPaths& paths, AccountKind kind,
                                                            std::optional<std::string_view> editing_id,
                                                            std::optional<std::string_view> reserved_id,
                                                            const DraftInputs& inputs)
{
    const std::string_view display_name = trim_white_space(inputs.display_name);
    if (display_name.empty()) {
        return refuse(draft_sentences::display_name);
    }
    const std::string_view identity = trim_white_space(inputs.identity);
    if (identity.empty()) {
        return refuse(kind == AccountKind::Mail ? draft_sentences::email : draft_sentences::username);
    }
    std::string server_url;
    if (kind == AccountKind::Mail) {
        if (identity.find('@') == std::string_view::npos || text_utf8::has_white_space(identity)) {
            return refuse(draft_sentences::valid_email);
        }
    } else {
        auto checked = checked_server_url(inputs.server_url);
        if (!checked) {
            return std::unexpected(std::move(checked.error()));
        }
        server_url = std::move(*checked);
    }
    const std::string_view password = trim_white_space(inputs.password);
    if (!editing_id && password.empty()) {
        return refuse(draft_sentences::password);
    }

    const std::string id = editing_id    ? std::string(*editing_id)
                           : reserved_id ? std::string(*reserved_id)
                                         : new_account_id(kind, identity);
    auto store = paths.try_load_store();
    if (!store) {
        return std::unexpected(fmt::format("could not read account store: {}", store.error()));
    }
    const Account* stored = store->get(id);
    Account account;
    if (editing_id) {
        if (stored == nullptr) {
            return refuse(draft_sentences::no_longer_exists);
        }
        if (stored->type_id != account_type_id(kind)) {
            return refuse(draft_sentences::type_changed);
        }
        account = *stored;  // enabled flag, tint, owner and the other config members stay
    } else {
        if (stored != nullptr) {
            return refuse(draft_sentences::already_configured);
        }
        account = Account(id, std::string(account_type_id(kind)));
    }
    account.display_name = std::string(display_name);

    const std::string_view username = trim_white_space(inputs.username);
    switch (kind) {
    case AccountKind::Mail:
        if (editing_id) {
            merge_members(account.config, Json{{"email", identity},
                                               {"display_name", display_name},
                                               {"username", username.empty() ? identity : username}});
        } else {
            AccountConfig config{.display_name = std::string(display_name),
                                 .email = std::string(identity),
                                 .imap_host = {},
                                 .imap_port = 993,
                                 .imap_tls = true,
                                 .smtp_host = {},
                                 .smtp_port = 465,
                                 .smtp_tls = true,
                                 .username = std::string(username)};
            mail_provider_preset(config);
            if (!all_utf8(config)) {
                return refuse(draft_sentences::email_settings);
            }
            merge_members(account.config, Json(config));
        }
        break;
    case AccountKind::CalDav:
        merge_members(account.config,
                      Json{{"display_name", display_name}, {"server_url", server_url}, {"username", identity}});
        break;
    case AccountKind::WebDav:
        merge_members(account.config,
                      Json{{"id", id}, {"label", display_name}, {"base_url", server_url}, {"username", identity}});
        break;
    case AccountKind::Nextcloud:
        merge_members(account.config,
                      Json{{"id", id}, {"label", display_name}, {"server_url", server_url}, {"username", identity}});
        break;
    }

    auto vault = paths.open_vault();
    if (!vault) {
        return std::unexpected(fmt::format("could not open credential vault: {}", vault.error()));
    }
    account_registry::SecretString secret;
    if (!password.empty()) {
        secret = account_registry::SecretString(password);
    } else if (const account_registry::SecretString* saved = vault->get(id)) {
        secret = saved->clone();
    } else {
        return refuse(draft_sentences::no_credential);
    }
    return AccountDraft{.account = std::move(account), .secret = std::move(secret)};
}

}  // namespace settings::accounts
