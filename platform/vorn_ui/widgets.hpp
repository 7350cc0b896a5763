#pragma once
// All the toolkit's widgets of this library, for page code that uses many of them.

#include "vorn_ui/widgets/app_shell.hpp"
#include "vorn_ui/widgets/badge.hpp"
#include "vorn_ui/widgets/card.hpp"
#include "vorn_ui/widgets/container.hpp"
#include "vorn_ui/widgets/icon_widget.hpp"
#include "vorn_ui/widgets/progress_bar.hpp"
#include "vorn_ui/widgets/qr_widget.hpp"
#include "vorn_ui/widgets/row.hpp"
#include "vorn_ui/widgets/scrollable.hpp"
#include "vorn_ui/widgets/spacer.hpp"
#include "vorn_ui/widgets/sparkline.hpp"
#include "vorn_ui/widgets/text.hpp"
