#include "panes/permissions/permissions_pane.hpp"

#include "page_helpers/layout.hpp"
#include "sound_graph/audio.hpp"
#include "sound_graph/wpctl.hpp"
#include "system_ops/tool_intent.hpp"
#include "vorn_log/log.hpp"
#include "vorn_ui/theme.hpp"
#include "vorn_ui/widgets.hpp"
#include "vorn_ui/widgets/badge.hpp"

#include <fmt/format.h>

#include <utility>

namespace settings::panes::permissions {

namespace {

namespace ph = page_helpers;
namespace privacy = system_ops::privacy;
using WidgetBox = ph::WidgetBox;

constexpr std::string_view device_text =
    "Privacy hardware and security status apply to this device and your sign-in. They do not change who can access "
    "a shared workspace or what an app may do there.";
constexpr std::string_view no_use_text = "No application is using the camera or microphone now.";
constexpr std::string_view security_caption =
    "Detailed firewall policy belongs in Firewall; disk recovery and repartitioning belong in Backups and Disks. "
    "This page reports their effective device state without copying their editors.";
constexpr std::string_view workspace_title = "Workspace access \u00b7 read-only overview";
constexpr std::string_view workspace_text =
    "App access is scoped to the workspace where the app runs. This page only summarizes it across workspaces; it "
    "cannot grant, revoke, or change workspace roles. Change access in that workspace's Settings, where its people "
    "and roles are visible.";
constexpr std::string_view workspace_button = "Open current workspace access";
constexpr std::string_view grants_unavailable_title = "Workspace access status unavailable";
constexpr std::string_view grants_unavailable_text =
    "Vorn could not load the current workspace access record, so it cannot verify whether any app has additional "
    "access.";
constexpr std::string_view grants_unavailable_caption =
    "Open current workspace access or try again after the desktop session has finished starting.";
constexpr std::string_view no_grants_title = "No workspace access grants";
constexpr std::string_view no_grants_text =
    "No app currently holds an out-of-sandbox grant. When you approve one at the compositor's prompt, it appears "
    "here \u2014 grouped by workspace and app \u2014 with the access it covers and how long it lasts.";
constexpr std::string_view no_grants_caption =
    "Nothing here means nothing is granted: apps see only their own workspace until you say otherwise.";
constexpr std::string_view enforcement_title = "Where enforcement happens";
constexpr std::string_view enforcement_caption =
    "These grants are enforced by the compositor (file access, collaboration, devices) and by the FUSE mount, not by "
    "this panel. This is a read-only view of the list they apply; revoke a grant in Workspace Settings for the "
    "workspace that owns it.";

WidgetBox body_text(std::string_view text, float size = ph::kBodyText)
{
    return vorn_ui::Text(std::string(text)).with_size(size).boxed();
}

WidgetBox card(std::string_view title, std::vector<WidgetBox> body)
{
    return ph::labelled_card(title, ph::compact_stack(std::move(body)));
}

std::string_view mute_label(privacy::MicrophoneMute mute)
{
    switch (mute) {
    case privacy::MicrophoneMute::NotMuted: return "Listening allowed";
    case privacy::MicrophoneMute::Muted: return "Muted";
    case privacy::MicrophoneMute::NotReported: break;
    }
    return privacy::unavailable;
}

void open_workspace_access()
{
    if (auto opened = system_ops::tool_intent::open_tool(system_ops::tool_intent::Tool::WorkspaceAccess); !opened) {
        VORN_WARN("privacy_workspace_tool", "could not open the workspace access settings: {}", opened.error());
    }
}

WidgetBox hardware_card(const std::optional<PrivacyReport>& report)
{
    std::vector<WidgetBox> body;
    if (!report) {
        body.push_back(ph::caption(checking_text, text_id("hardware.checking")));
        return card("Privacy hardware", std::move(body));
    }
    const auto& status = report->status;
    body.push_back(ph::value_row("Camera", privacy::kill_switch_label(status.camera_switch, status.camera_present),
                                 text_id("camera")));
    body.push_back(ph::value_row(
        "Microphone",
        privacy::kill_switch_label(status.microphone_switch,
                                   status.microphone_mute != privacy::MicrophoneMute::NotReported),
        text_id("microphone")));
    body.push_back(ph::value_row("Microphone mute", mute_label(status.microphone_mute), text_id("mute")));
    return card("Privacy hardware", std::move(body));
}

WidgetBox use_card(const std::optional<PrivacyReport>& report)
{
    std::vector<WidgetBox> body;
    if (!report) {
        body.push_back(ph::caption(checking_text));
    } else if (report->status.active_uses.empty()) {
        body.push_back(ph::caption(no_use_text));
    } else {
        for (const auto& use : report->status.active_uses) {
            body.push_back(ph::setting_row(use.application,
                                           body_text(use.device == privacy::PrivacyDevice::Camera ? "Using camera"
                                                                                                  : "Using microphone",
                                                     13.0f)));
        }
    }
    return card("Active privacy use", std::move(body));
}

WidgetBox security_card(const std::optional<PrivacyReport>& report)
{
    std::vector<WidgetBox> body;
    const auto value = [&](std::string_view label, auto member, std::string_view id) {
        body.push_back(ph::value_row(label, report ? std::string_view(report->security.*member) : checking_text, id));
    };
    value("Disk encryption", &privacy::DeviceSecurity::disk_encryption, text_id("disk"));
    value("Secure Boot", &privacy::DeviceSecurity::secure_boot, text_id("secure-boot"));
    value("Firewall", &privacy::DeviceSecurity::firewall, text_id("firewall"));
    body.push_back(ph::caption(security_caption));
    return card("Device security", std::move(body));
}

// The badge colours come from the dark palette whatever theme is in use: camera and microphone share one.
vorn_ui::BadgeStyle kind_style(workspace_access::GrantKind kind)
{
    const vorn_ui::Theme dark = vorn_ui::Theme::dark();
    using K = workspace_access::GrantKind;
    vorn_ui::Color fill = dark.accent;
    switch (kind) {
    case K::Files: fill = dark.tones[static_cast<std::size_t>(vorn_ui::Tone::Info)]; break;
    case K::Camera:
    case K::Microphone: fill = dark.tones[static_cast<std::size_t>(vorn_ui::Tone::Warning)]; break;
    case K::ScreenSharing: fill = dark.accent; break;
    case K::RemoteControl: fill = dark.tones[static_cast<std::size_t>(vorn_ui::Tone::Danger)]; break;
    case K::Network: fill = dark.tones[static_cast<std::size_t>(vorn_ui::Tone::Success)]; break;
    }
    return vorn_ui::BadgeStyle{fill, dark.background};
}

void grant_cards(const std::optional<PrivacyReport>& report, std::vector<WidgetBox>& cards)
{
    if (!report) {
        cards.push_back(card("Workspace access grants", ph::widgets(ph::caption(checking_text))));
        return;
    }
    if (!report->grants) {
        cards.push_back(card(grants_unavailable_title,
                             ph::widgets(body_text(grants_unavailable_text), ph::caption(grants_unavailable_caption))));
        return;
    }
    const auto& groups = *report->grants;
    if (groups.empty()) {
        cards.push_back(card(no_grants_title, ph::widgets(body_text(no_grants_text), vorn_ui::Spacer::fixed(4.0f).boxed(),
                                                          ph::caption(no_grants_caption))));
        return;
    }
    cards.push_back(vorn_ui::Text(workspace_access::grants_summary(groups)).with_size(11.0f).boxed());
    const vorn_ui::Theme dark = vorn_ui::Theme::dark();
    for (const auto& group : groups) {
        std::vector<WidgetBox> body;
        bool first = true;
        for (const auto& [app, rows] : group.apps) {
            if (!first) {
                body.push_back(vorn_ui::Spacer::fixed(4.0f).boxed());
            }
            first = false;
            body.push_back(body_text(app, 13.0f));
            for (const auto& row : rows) {
                body.push_back(vorn_ui::Row()
                                   .push(vorn_ui::Badge::with_style(row.kind, kind_style(row.grant_kind)).boxed())
                                   .push(body_text(row.text))
                                   .push(vorn_ui::Spacer::flexible())
                                   .push(vorn_ui::Badge::with_style(row.duration,
                                                                    vorn_ui::BadgeStyle{dark.surface_raised, dark.text})
                                             .boxed())
                                   .boxed());
            }
        }
        cards.push_back(card(group.title, std::move(body)));
    }
}

// The machine's microphone mute and the applications recording now, from the sound layer.
std::optional<bool> system_microphone_muted()
{
    sound_graph::audio::WpctlSourceVolume source;
    auto state = source.get_volume_state();
    if (!state) {
        return std::nullopt;
    }
    return state->muted;
}

std::vector<privacy::ActiveUse> system_active_uses()
{
    auto graph = sound_graph::audio::try_enumerate();
    if (!graph) {
        return {};
    }
    std::vector<privacy::ActiveUse> uses;
    for (const auto& stream : graph->recording_streams) {
        std::string name = !stream.application_name.empty() ? stream.application_name : stream.label();
        uses.push_back({cmd_runner::clean_text(name, {.max_chars = 120, .trim = true}),
                        privacy::PrivacyDevice::Microphone});
    }
    return uses;
}

}  // namespace

std::string text_id(std::string_view part) { return fmt::format("permissions.text.{}", part); }

PermissionsEnvironment PermissionsEnvironment::system()
{
    return PermissionsEnvironment{.read = [] {
        privacy::Probes probes;
        probes.microphone_muted = system_microphone_muted;
        probes.active_uses = system_active_uses;
        PrivacyReport report{.status = privacy::get_privacy_status(probes),
                             .security = privacy::get_device_security(probes)};
        if (auto record = workspace_access::read_record()) {
            report.grants = workspace_access::grant_groups(*record);
        } else {
            VORN_INFO("privacy_workspace_record", "the workspace access record is not available: {}", record.error());
        }
        return report;
    }};
}

PermissionsPane::PermissionsPane(PermissionsEnvironment environment)
    : PreferencePane({"permissions", "Device Privacy & Security", "Privacy hardware and device security"}),
      environment_(std::move(environment)),
      wake_(vorn_ui::WakeHandle::create())
{
    auto started = page_workers::start_one_shot<PrivacyReport>(environment_.start_thread, "vorn-privacy-read", wake_,
                                                               environment_.read);
    if (started) {
        channel_ = std::move(*started);
    } else {
        VORN_WARN("privacy_read", "the privacy probes could not start: {}", started.error());
        report_ = PrivacyReport{.security = {std::string(privacy::unavailable), std::string(privacy::unavailable),
                                             std::string(privacy::unavailable)}};
    }
}

PermissionsPane::~PermissionsPane() = default;

void PermissionsPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    if (channel_) {
        // A worker that ended without an answer leaves every probe unknown.
        auto answer = page_workers::try_receive(channel_, [] {
            const std::string none(privacy::unavailable);
            return PrivacyReport{.security = {none, none, none}};
        });
        if (answer) {
            report_ = std::move(*answer);
            channel_.reset();
            ctx.changed = true;
        }
    }
    refresh_view(doc, ctx);
}

std::string PermissionsPane::structure_key() const
{
    if (!report_) {
        return "checking";
    }
    std::string key = "ready|uses";
    if (report_->grants) {
        key += fmt::format("|grants:{}", workspace_access::grants_summary(*report_->grants));
        for (const auto& group : *report_->grants) {
            key += "/" + group.title;
            for (const auto& [app, rows] : group.apps) {
                for (const auto& row : rows) {
                    key += fmt::format(":{}:{}:{}:{}", app, row.kind, row.text, row.duration);
                }
            }
        }
    } else {
        key += "|grants:unavailable";
    }
    for (const auto& use : report_->status.active_uses) {
        key += fmt::format("/{}:{}", use.application, static_cast<int>(use.device));
    }
    return key;
}

std::unique_ptr<vorn_ui::Widget> PermissionsPane::build_view()
{
    std::vector<WidgetBox> cards;
    cards.push_back(card("This device", ph::widgets(body_text(device_text))));
    cards.push_back(hardware_card(report_));
    cards.push_back(use_card(report_));
    cards.push_back(security_card(report_));
    cards.push_back(card(workspace_title,
                         ph::widgets(body_text(workspace_text),
                                     vorn_ui::Row()
                                         .push(vorn_ui::Button(std::string(workspace_button_id),
                                                               std::string(workspace_button))
                                                   .bind_action(open_workspace_access)
                                                   .boxed())
                                         .push(vorn_ui::Spacer::flexible())
                                         .boxed())));
    grant_cards(report_, cards);
    cards.push_back(card(enforcement_title, ph::widgets(ph::caption(enforcement_caption))));
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> privacy_security_page() { return std::make_unique<PermissionsPane>(); }

}  // namespace settings::panes::permissions
