#pragma once
// The pane factory: the page of a section, built afresh on every section switch and every shell build, connected to
// the application's shared cells. build_content() puts the section's header above the page, limits the width of the
// External Accounts (1040) and Region & Formats (720) pages and wraps the whole in a vertical scroll view.
//
// build_section_page() is the one place that knows which page belongs to which section: one builder function per
// section in pane_factory.cpp. A section whose page is not part of this build shows one sentence saying so
// (page_not_available) under its header; a page's own code replaces that builder's body.

#include "accounts/paths.hpp"
#include "accounts/probe.hpp"
#include "accounts/records.hpp"
#include "app/cells.hpp"
#include "sections/section.hpp"
#include "vorn_ui/widget.hpp"

#include <memory>
#include <optional>
#include <string_view>

namespace settings::app {

// Everything a page builder may take from the application object (references valid for the call).
struct PaneContext {
    const OperationRequestCell& operation_requests;
    const OperationStatusCell& operation_status;
    const MeshStateCell& mesh_state;
    const AccountStateCell& account_state;
    const std::shared_ptr<const accounts::AccountProbe>& account_probe;
    const accounts::AccountPaths& account_paths;
    const std::optional<accounts::AccountStore>& account_store_override;
    std::optional<std::uint8_t> account_form;  // External Accounts opens its add form for this kind
    bool sample_display = false;               // Displays is built from its sample data
    std::optional<float> region_width;         // the content width offered to Region & Formats
};

inline constexpr std::string_view kPageNotAvailable = "This page is not available in this build.";

// The sentence a section without its page shows under the header.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> page_not_available();

// The page of `section` (without header or scroll view).
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_section_page(Section section, const PaneContext& context);

// The content area for `section`: header, page, width limit, scroll view.
[[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_content(Section section, const PaneContext& context);

}  // namespace settings::app
