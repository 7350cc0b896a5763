#pragma once
// The state cells the application object shares with the sidebar, the search field, the pages and the
// device-local operation runner. The operation cells are the runner's own (operations/cells.hpp).
//
// Request cells are taken by take-and-clear: the page that acts on a request first publishes none into the cell and
// then acts on its copy; a request addressed to another page stays in place.

#include "operations/cells.hpp"
#include "sections/section.hpp"
#include "vorn_ui/state.hpp"

#include <optional>
#include <string>

namespace settings::app {

using operations::AccountPaneCommand;
using operations::OperationStatus;
using operations::PaneOperationRequest;

using SectionRequestCell = vorn_ui::LocalState<std::optional<Section>>;
using SearchTextCell = vorn_ui::LocalState<std::string>;
using OperationRequestCell = operations::OperationRequestCell;
using OperationStatusCell = operations::OperationStatusCell;
using AccountStateCell = operations::AccountCommandCell;
using MeshStateCell = operations::DeviceMeshRequestCell;

}  // namespace settings::app
