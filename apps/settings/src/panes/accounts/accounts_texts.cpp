#include "panes/accounts/accounts_texts.hpp"

#include <fmt/format.h>

namespace settings::panes::accounts {

using settings::accounts::AccountConfig;
using settings::accounts::AccountSyncHealth;
using settings::accounts::AccountSyncStatus;
using settings::accounts::strip_url_scheme;

std::string account_display_name(const AccountConfig& config)
{
    if (!config.display_name.empty()) {
        return config.display_name;
    }
    if (!config.email.empty()) {
        return config.email;
    }
    return "New account";
}

AccountSummary mail_summary(const settings::accounts::MailAccountRow& row)
{
    return AccountSummary{
        .id = row.id,
        .kind = AccountKind::Mail,
        .name = account_display_name(row.config),
        .summary = fmt::format("{} · {}:{}", row.config.email, row.config.imap_host, row.config.imap_port),
        .enabled = true,
        .tint = row.tint,
    };
}

AccountSummary dav_summary(AccountKind kind, const settings::accounts::DavAccount& account)
{
    return AccountSummary{
        .id = account.id,
        .kind = kind,
        .name = account.label,
        .summary = fmt::format("{} · {}", kind == AccountKind::CalDav ? "CalDAV" : "WebDAV",
                               strip_url_scheme(account.base_url)),
        .enabled = account.enabled,
        .tint = account.tint,
    };
}

AccountSummary nextcloud_summary(const settings::accounts::NextcloudAccount& account)
{
    std::vector<std::string_view> services;
    if (account.use_mail) {
        services.push_back("Mail");
    }
    if (account.use_calendar) {
        services.push_back("Calendar");
    }
    if (account.use_files) {
        services.push_back("Files");
    }
    return AccountSummary{
        .id = account.id,
        .kind = AccountKind::Nextcloud,
        .name = account.label,
        .summary = fmt::format("{} · {}", strip_url_scheme(account.server_url), fmt::join(services, ", ")),
        .enabled = account.enabled,
        .tint = account.tint,
    };
}

std::vector<AccountSummary> account_rows(const settings::accounts::AccountLists& lists, AccountKind kind)
{
    return lists.rows_of<AccountSummary>(
        kind, {.mail = mail_summary,
               .dav = [kind](const settings::accounts::DavAccount& account) { return dav_summary(kind, account); },
               .nextcloud = nextcloud_summary});
}

Badge account_badge(bool enabled, const AccountSyncStatus* status)
{
    if (!enabled) {
        return {"Disabled", Tone::Neutral};
    }
    if (status == nullptr) {
        return {"Not checked yet", Tone::Neutral};
    }
    switch (status->health) {
    case AccountSyncHealth::Never: return {"Not checked yet", Tone::Neutral};
    case AccountSyncHealth::Syncing: return {"Syncing", Tone::A};
    case AccountSyncHealth::Healthy: return {"Up to date", Tone::B};
    case AccountSyncHealth::Offline: return {"Offline", Tone::C};
    case AccountSyncHealth::NeedsAuthentication: return {"Sign in again", Tone::C};
    case AccountSyncHealth::Error: return {"Needs attention", Tone::D};
    }
    return {"Needs attention", Tone::D};
}

std::string sync_age(std::int64_t age_seconds)
{
    const std::int64_t age = std::max<std::int64_t>(age_seconds, 0);
    if (age < 60) {
        return "just now";
    }
    if (age < 3600) {
        return fmt::format("{} min ago", age / 60);
    }
    if (age < 86400) {
        return fmt::format("{} h ago", age / 3600);
    }
    return fmt::format("{} d ago", age / 86400);
}

std::string account_detail(const AccountSyncStatus* status, std::int64_t now_unix)
{
    if (status == nullptr) {
        return "No application has reported a sync for this account.";
    }
    std::string when = "never completed";
    if (status->last_success_unix) {
        // Saturating, so that a hostile timestamp cannot overflow the subtraction.
        const std::int64_t last = *status->last_success_unix;
        const bool future = last > now_unix;
        const std::int64_t age =
            future ? 0 : (last < 0 && now_unix > std::numeric_limits<std::int64_t>::max() + last)
                             ? std::numeric_limits<std::int64_t>::max()
                             : now_unix - last;
        when = sync_age(age);
    }
    if (status->message) {
        return fmt::format("Last successful sync: {} · {}", when, *status->message);
    }
    return fmt::format("Last successful sync: {}", when);
}

std::string form_title(AccountKind kind, bool editing)
{
    return fmt::format("{} {} account", editing ? "Edit" : "Add", settings::accounts::label(kind));
}

std::string form_status_line(std::string_view status, bool checking)
{
    return checking ? std::string(status) : fmt::format("Could not save: {}", status);
}

std::string reauth_status_line(std::string_view status, bool checking)
{
    return checking ? std::string(status) : fmt::format("Could not update credential: {}", status);
}

std::string removal_text(std::string_view name)
{
    return fmt::format("{} will be removed from this device. Locally cached copies may be removed by its apps; data "
                       "on the provider is not deleted. The encrypted credential and local sync-health record are "
                       "removed.",
                       name);
}

std::string removal_failure_line(std::string_view message)
{
    return fmt::format("Could not remove the account: {}", message);
}

std::string vault_failure_line(std::string_view message)
{
    return fmt::format("Saved credentials cannot be read: {}", message);
}

std::string store_failure_line(std::string_view message)
{
    return fmt::format("The account list cannot be read: {}", message);
}

std::string empty_kind_caption(AccountKind kind)
{
    std::string lowered(settings::accounts::label(kind));
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return fmt::format("No {} accounts yet.", lowered);
}

std::string_view test_button_label(AccountKind kind)
{
    return kind == AccountKind::Mail ? "Check server" : "Verify sign-in";
}

std::string_view identity_label(AccountKind kind)
{
    return kind == AccountKind::Mail ? texts::email_label : texts::username_label;
}

std::string_view identity_placeholder(AccountKind kind)
{
    return kind == AccountKind::Mail ? texts::identity_placeholder_mail : texts::identity_placeholder_dav;
}

std::string_view server_placeholder(AccountKind kind)
{
    switch (kind) {
    case AccountKind::Mail: return "Detected from your email address";
    case AccountKind::CalDav: return "https://calendar.example.org/.well-known/caldav";
    case AccountKind::WebDav: return "https://cloud.example.org/remote.php/dav/files/you/";
    case AccountKind::Nextcloud: return "https://cloud.example.org";
    }
    return {};
}

namespace controls {
std::string add(AccountKind kind) { return fmt::format("settings.accounts.add.{}", settings::accounts::slug(kind)); }
std::string edit(std::string_view id) { return fmt::format("settings.accounts.edit.{}", id); }
std::string reauth(std::string_view id) { return fmt::format("settings.accounts.reauth.{}", id); }
std::string remove(std::string_view id) { return fmt::format("settings.accounts.remove.{}", id); }
std::string test(std::string_view id) { return fmt::format("settings.accounts.test.{}", id); }
}  // namespace controls

}  // namespace settings::panes::accounts
