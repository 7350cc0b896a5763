#pragma once
// The layout pieces every page is assembled from, so that all pages share one look: the page header, setting rows
// (a label on the left, a control on the right), captions, badges, cards and vertical stacks with fixed spacings.
// Every helper copies the texts it is given and returns an owned widget (stack() returns the Column itself).
//
//   auto body = section_stack(widgets(
//       icon_card(9, "workstation", "Debian GNU/Linux 12"),
//       labelled_card("System", compact_stack(widgets(value_row("Kernel", "6.1.0"), caption("Read once.")))));
//
// Sizes are logical pixels before the theme's ui scale.

#include "vorn_ui/theme.hpp"
#include "vorn_ui/widget.hpp"
#include "vorn_ui/widgets/row.hpp"

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace system_ops {
class Dispatcher;
}

namespace settings::page_helpers {

using WidgetBox = std::unique_ptr<vorn_ui::Widget>;

// Text sizes and spacings of the page pieces.
inline constexpr float kBodyText = 13.0f;
inline constexpr float kCaptionText = 12.0f;
inline constexpr float kCardTitleText = 20.0f;
inline constexpr float kPageTitleText = 24.0f;
inline constexpr float kCardIconSize = 34.0f;
inline constexpr float kCardIconStroke = 1.5f;
inline constexpr float kRowSpacing = 4.0f;
inline constexpr float kCompactSpacing = 12.0f;
inline constexpr float kSectionSpacing = 24.0f;
inline constexpr float kControlSlotWidth = 220.0f;

// A list of owned widgets from widget values or boxes: widgets(Text("a"), std::move(box), ...).
template <class... W>
[[nodiscard]] std::vector<WidgetBox> widgets(W&&... items)
{
    std::vector<WidgetBox> list;
    list.reserve(sizeof...(items));
    auto add = [&list]<class T>(T&& item) {
        if constexpr (std::is_same_v<std::remove_cvref_t<T>, WidgetBox>) {
            list.push_back(std::move(item));
        } else {
            list.push_back(std::make_unique<std::remove_cvref_t<T>>(std::forward<T>(item)));
        }
    };
    (add(std::forward<W>(items)), ...);
    return list;
}

// "SETTINGS" (12, caption), the title (24, bold), the description (13, secondary); spacing 4.
[[nodiscard]] WidgetBox page_header(std::string_view title, std::string_view description);

// Label (13), a flexible spacer, the control.
[[nodiscard]] WidgetBox setting_row(std::string_view label, WidgetBox control);
// The same with spacing 4 and the control in a 220-wide slot.
[[nodiscard]] WidgetBox setting_row_fixed(std::string_view label, WidgetBox control);
// A row (title, spacer, control) with the description (12) below it; spacing 4.
[[nodiscard]] WidgetBox setting_row_described(std::string_view title, std::string_view description,
                                              WidgetBox control);
[[nodiscard]] WidgetBox setting_row_described_fixed(std::string_view title, std::string_view description,
                                                    WidgetBox control);
// The same with the description text identified by `description_id` (Text::with_label), so that a page can change
// it in place.
[[nodiscard]] WidgetBox setting_row_described_fixed(std::string_view title, std::string_view description,
                                                    std::string_view description_id, WidgetBox control);
// A setting row whose control is the value as text (13); a non-empty `value_id` identifies the value text.
[[nodiscard]] WidgetBox value_row(std::string_view label, std::string_view value, std::string_view value_id = {});
// The label (13) above the widget; spacing 4.
[[nodiscard]] WidgetBox labelled_block(std::string_view label, WidgetBox widget);

[[nodiscard]] WidgetBox control_slot(WidgetBox control);
[[nodiscard]] WidgetBox container_with_width(WidgetBox child, float width);
// An empty container of that width with flex 1.
[[nodiscard]] WidgetBox flex_container(float width);
// A spacer of the toolkit's fixed size for a size token.
[[nodiscard]] WidgetBox fixed_spacer(std::uint8_t size_token);

[[nodiscard]] vorn_ui::Column stack(std::vector<WidgetBox> children, float spacing);
[[nodiscard]] vorn_ui::Column compact_stack(std::vector<WidgetBox> children);  // spacing 12
[[nodiscard]] vorn_ui::Column section_stack(std::vector<WidgetBox> children);  // spacing 24

// Text of size 12 in caption style; a non-empty `id` identifies it.
[[nodiscard]] WidgetBox caption(std::string_view text, std::string_view id = {});
[[nodiscard]] WidgetBox tone_badge(std::string_view label, vorn_ui::Tone tone);
// A badge of one of the pages' kinds (0 positive, 1 in progress, 2 muted).
[[nodiscard]] WidgetBox badge_with_value(std::string_view label, std::uint8_t kind);
// A surface card with a title and no body.
[[nodiscard]] WidgetBox surface_card(std::string_view label);
[[nodiscard]] WidgetBox labelled_card(std::string_view label, WidgetBox child);
template <class W>
    requires std::derived_from<std::remove_cvref_t<W>, vorn_ui::Widget> && (!std::is_lvalue_reference_v<W>)
[[nodiscard]] WidgetBox labelled_card(std::string_view label, W&& child)
{
    return labelled_card(label, std::make_unique<std::remove_cvref_t<W>>(std::forward<W>(child)));
}
// A card around: the icon (34, stroke 1.5) and a column (spacing 4) of the title (20) and the subtitle (12).
[[nodiscard]] WidgetBox icon_card(std::uint8_t icon, std::string_view title, std::string_view subtitle);

// The theme of a stored theme name: "custom:..." is the user's configured theme, one of the named themes by its
// name, the dark theme for anything else.
[[nodiscard]] vorn_ui::Theme theme_by_name(std::string_view name);

// The given dispatcher, or the real one of the system layer.
[[nodiscard]] std::shared_ptr<system_ops::Dispatcher> default_dispatcher(
    std::shared_ptr<system_ops::Dispatcher> given = nullptr);

}  // namespace settings::page_helpers
