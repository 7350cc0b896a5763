#pragma once
// Row: children side by side, centred across by default. Column: children one below the other, stretched across.
//
//   auto row = vorn_ui::Row().with_spacing(4.0f).push(vorn_ui::Text("Brightness")).push(std::move(slider));
//   vorn_ui::Column column;              // spacing, gap and padding unset
//   column.push(std::move(child));       // push on a named box, or chain on a temporary

#include "vorn_ui/widgets/box.hpp"

namespace vorn_ui::widget::row {

class Row final : public BoxBuilders<Row> {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::row::Row", "Row")
    Row() : BoxBuilders<Row>(flex_layout::FlexDirection::Row) {}
};

}  // namespace vorn_ui::widget::row

namespace vorn_ui::widget::column {

class Column final : public BoxBuilders<Column> {
public:
    VORN_WIDGET_IDENTITY("vorn_ui::widget::column::Column", "Column")
    Column() : BoxBuilders<Column>(flex_layout::FlexDirection::Column) {}
};

}  // namespace vorn_ui::widget::column

namespace vorn_ui {
using widget::column::Column;
using widget::row::Row;
}  // namespace vorn_ui
