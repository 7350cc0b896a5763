#pragma once
// The Device Privacy & Security page: a read-only report of this device. "This device", "Privacy hardware" (the
// camera's and microphone's kill switches, the microphone's mute), "Active privacy use", "Device security" (disk
// encryption, Secure Boot, the firewall), the workspace access overview with its one button, and "Where enforcement
// happens". The machine is read on a worker when the page opens; until the answer is in, the hardware and security
// cards say "Checking…". The page changes nothing on the system.

#include "page_workers/one_shot.hpp"
#include "panes/preference_pane/pane_base.hpp"
#include "system_ops/privacy.hpp"
#include "workspace_access/workspace_access.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::permissions {

inline constexpr std::string_view checking_text = "Checking\u2026";
inline constexpr std::string_view workspace_button_id = "open-workspace-privacy";

struct PrivacyReport {
    system_ops::privacy::PrivacyStatus status;
    system_ops::privacy::DeviceSecurity security;
    // The workspaces with app grants; none when the access record could not be read or decoded.
    std::optional<std::vector<workspace_access::WorkspaceGrants>> grants;
};

struct PermissionsEnvironment {
    // Reads the machine (on the worker).
    std::function<PrivacyReport()> read;
    page_workers::StartThread start_thread = page_workers::start_detached_thread;

    // The machine's own root and tools, the sound layer through PipeWire's graph and wpctl.
    [[nodiscard]] static PermissionsEnvironment system();
};

// The ids of the values the view shows: "permissions.text.<part>".
[[nodiscard]] std::string text_id(std::string_view part);

class PermissionsPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::permissions::PermissionsPane", "PermissionsPane")

    explicit PermissionsPane(PermissionsEnvironment environment = PermissionsEnvironment::system());
    ~PermissionsPane() override;

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] bool checking() const { return !report_.has_value(); }
    [[nodiscard]] const std::optional<PrivacyReport>& report() const { return report_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;

    PermissionsEnvironment environment_;
    vorn_ui::WakeHandle wake_;
    std::shared_ptr<page_workers::Channel<PrivacyReport>> channel_;
    std::optional<PrivacyReport> report_;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> privacy_security_page();

}  // namespace settings::panes::permissions
