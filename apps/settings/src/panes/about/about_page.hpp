#pragma once
// The About page: the device's name and operating system, the workspace identity with its fingerprint, the
// identity backup, the operating system, kernel, architecture and uptime, and the processor and memory. The page
// keeps no state: each visit reads the machine again (load_system_info) and builds a finished column of cards.

#include "panes/about/system_info.hpp"
#include "vorn_ui/widget.hpp"

#include <memory>

namespace settings::panes::about {

// load_system_info(), then build_view().
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_pane();
// The five cards: device, workspace identity, identity backup, system, hardware.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view(const SystemInfo& info);
// The backup button's action: opens the identity backup tool. The page shows nothing either way (the tool has its
// own window); a tool that cannot be opened is logged as a warning.
void open_backup_tool();

}  // namespace settings::panes::about
