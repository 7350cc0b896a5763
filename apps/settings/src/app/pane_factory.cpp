#include "app/pane_factory.hpp"

#include "page_helpers/layout.hpp"
#include "panes/about/about_page.hpp"
#include "panes/accessibility/accessibility_pane.hpp"
#include "panes/accounts/accounts_pane.hpp"
#include "panes/agent_models/agent_models_pane.hpp"
#include "panes/appearance/appearance_pane.hpp"
#include "panes/audio/audio_pane.hpp"
#include "panes/bluetooth/bluetooth_pane.hpp"
#include "panes/display/display_pane.hpp"
#include "panes/keyboard_shortcuts/shortcut_pane.hpp"
#include "panes/mouse_keyboard/mouse_keyboard_pane.hpp"
#include "panes/network/network_pane.hpp"
#include "panes/notifications/notifications_pane.hpp"
#include "panes/permissions/permissions_pane.hpp"
#include "panes/personal_apps/personal_apps_pane.hpp"
#include "panes/power/power_pane.hpp"
#include "panes/printers/printers_pane.hpp"
#include "panes/region/region_pane.hpp"
#include "panes/storage/storage_pane.hpp"
#include "panes/time_date/time_date_pane.hpp"
#include "panes/updates/updates_pane.hpp"
#include "panes/users/users_pane.hpp"
#include "vorn_ui/widgets.hpp"

namespace settings::app {

using WidgetBox = std::unique_ptr<vorn_ui::Widget>;

WidgetBox page_not_available() { return page_helpers::caption(kPageNotAvailable); }

namespace {

// One builder per section. What each page takes from the application is noted where its page is not yet part of
// this build: "requests" is the page's with_operation_requests step with context.operation_requests, "status" its
// with_operation_status step with context.operation_status, in that order.

WidgetBox network_page(const PaneContext& context)
{
    namespace net = panes::network;
    auto pane = std::make_unique<net::NetworkPane>(net::NetworkBackend::current(), net::NetworkWorkers::background());
    pane->share_operation_cells(context.operation_requests, context.operation_status);
    return pane;
}
WidgetBox bluetooth_page(const PaneContext& context)
{
    namespace bt = panes::bluetooth;
    auto pane = std::make_unique<bt::BluetoothPane>(std::make_shared<bt::BluezBackend>(),
                                                    bt::BluetoothWorkers::background());
    pane->share_operation_cells(context.operation_requests, context.operation_status);
    return pane;
}
// DeviceMeshPane::load, with_mesh_state(mesh_state), with_app_state(operation_status)
WidgetBox devices_sync_page(const PaneContext& /*context*/) { return page_not_available(); }
WidgetBox sound_page(const PaneContext& context)
{
    return panes::audio::boxed_audio_pane(context.operation_requests, context.operation_status);
}
WidgetBox displays_page(const PaneContext& context)
{
    return panes::display::boxed_display_pane(context.operation_requests, context.operation_status,
                                              context.sample_display);
}
// The runner applies input operations itself; the page follows the status cell and reads the new values.
WidgetBox mouse_keyboard_page(const PaneContext& context)
{
    return panes::mouse_keyboard::boxed_mouse_keyboard_pane(context.operation_status);
}
WidgetBox keyboard_shortcuts_page(const PaneContext& /*context*/)
{
    return panes::keyboard_shortcuts::boxed_shortcut_pane();
}
// The runner applies time operations itself; the page follows the status cell and reads the machine again.
WidgetBox time_date_page(const PaneContext& context)
{
    return panes::time_date::boxed_time_date_pane(context.operation_status);
}
WidgetBox users_page(const PaneContext& context)
{
    return panes::users::boxed_users_pane(context.operation_requests, context.operation_status);
}
WidgetBox printers_page(const PaneContext& context)
{
    return panes::printers::boxed_printers_pane(context.operation_requests, context.operation_status);
}
WidgetBox power_page(const PaneContext& context)
{
    return panes::power::boxed_power_pane(context.operation_requests, context.operation_status);
}
WidgetBox appearance_page(const PaneContext& /*context*/) { return panes::appearance::boxed_appearance_pane(); }
WidgetBox accessibility_page(const PaneContext& /*context*/)
{
    return panes::accessibility::boxed_accessibility_pane();
}
WidgetBox notifications_page(const PaneContext& /*context*/)
{
    return panes::notifications::boxed_notifications_pane();
}
WidgetBox default_apps_page(const PaneContext& /*context*/)  // no cells
{
    return panes::personal_apps::boxed_personal_apps_pane();
}
WidgetBox storage_page(const PaneContext& context)
{
    return panes::storage::boxed_storage_pane(context.operation_requests, context.operation_status);
}
// Over the application's account store when it holds one (no loading, no legacy import), else the stores on disk;
// the add form of account_form open; the application's command cell and probe.
WidgetBox external_accounts_page(const PaneContext& context)
{
    namespace acc = panes::accounts;
    acc::AccountsModelOptions options{.paths = context.account_paths,
                                      .commands = context.account_state,
                                      .probe = context.account_probe};
    if (context.account_store_override) {
        options.lists = accounts::account_lists_from_store(*context.account_store_override);
    }
    if (context.account_form && *context.account_form < accounts::all_account_kinds.size()) {
        options.add_form = accounts::all_account_kinds[*context.account_form];
    }
    return std::make_unique<acc::AccountsPane>(std::move(options));
}
WidgetBox agent_models_page(const PaneContext& context)
{
    return panes::agent_models::boxed_agent_models_pane(context.operation_requests, context.operation_status);
}
WidgetBox region_formats_page(const PaneContext& context)  // no cells
{
    return panes::region::boxed_region_pane(context.region_width);
}
WidgetBox permissions_page(const PaneContext& /*context*/)  // no cells
{
    return panes::permissions::privacy_security_page();
}
WidgetBox updates_page(const PaneContext& context)
{
    return panes::updates::boxed_updates_pane(context.operation_requests, context.operation_status);
}
WidgetBox about_page(const PaneContext& /*context*/) { return panes::about::build_pane(); }  // no cells

}  // namespace

WidgetBox build_section_page(Section section, const PaneContext& context)
{
    switch (section) {
    case Section::Network: return network_page(context);
    case Section::Bluetooth: return bluetooth_page(context);
    case Section::DevicesSync: return devices_sync_page(context);
    case Section::Sound: return sound_page(context);
    case Section::Displays: return displays_page(context);
    case Section::MouseKeyboard: return mouse_keyboard_page(context);
    case Section::KeyboardShortcuts: return keyboard_shortcuts_page(context);
    case Section::TimeDate: return time_date_page(context);
    case Section::Users: return users_page(context);
    case Section::Printers: return printers_page(context);
    case Section::Power: return power_page(context);
    case Section::Appearance: return appearance_page(context);
    case Section::Accessibility: return accessibility_page(context);
    case Section::Notifications: return notifications_page(context);
    case Section::DefaultApps: return default_apps_page(context);
    case Section::Storage: return storage_page(context);
    case Section::ExternalAccounts: return external_accounts_page(context);
    case Section::AgentModels: return agent_models_page(context);
    case Section::RegionFormats: return region_formats_page(context);
    case Section::Permissions: return permissions_page(context);
    case Section::Updates: return updates_page(context);
    case Section::About: return about_page(context);
    }
    return page_not_available();
}

WidgetBox build_content(Section section, const PaneContext& context)
{
    auto column = vorn_ui::Column()
                      .with_spacing(16.0f)
                      .with_gap(24.0f)
                      .with_padding(24.0f)
                      .push(page_helpers::page_header(section.title(), section.description()))
                      .push(build_section_page(section, context));
    WidgetBox limited;
    if (section == Section::ExternalAccounts) {
        limited = vorn_ui::Container(std::move(column).boxed()).with_max_width(1040.0f).boxed();
    } else if (section == Section::RegionFormats) {
        limited = vorn_ui::Container(std::move(column).boxed()).with_max_width(720.0f).boxed();
    } else {
        limited = std::move(column).boxed();
    }
    return vorn_ui::Container(vorn_ui::Scrollable::with_child(std::move(limited)).boxed()).boxed();
}

}  // namespace settings::app
