// Identity and the constant defaults of the toolkit hooks that no widget of this program answers.

#include "vorn_ui/widget.hpp"

#include <nlohmann/json.hpp>

namespace vorn_ui {

Widget::~Widget() = default;

std::string_view Widget::widget_type_name() const { return widget_name(); }

void Widget::reserved_02() {}
std::optional<ReservedRecord> Widget::reserved_03() const { return std::nullopt; }
std::uintptr_t Widget::reserved_04() const { return 0; }
bool Widget::reserved_07() const { return false; }
std::optional<ReservedRecord> Widget::reserved_08() const { return std::nullopt; }
std::optional<std::string_view> Widget::reserved_09() const { return std::nullopt; }
std::optional<nlohmann::ordered_json> Widget::state_snapshot(const page_doc::Document& /*doc*/) const
{
    return std::nullopt;
}
bool Widget::reserved_11() const { return false; }
bool Widget::reserved_12() const { return false; }
std::optional<ReservedValue> Widget::reserved_16() const { return std::nullopt; }
std::optional<ReservedRecord> Widget::reserved_20() const { return std::nullopt; }
bool Widget::reserved_21() const { return false; }
std::optional<ReservedValue> Widget::reserved_22() const { return std::nullopt; }
std::optional<AnyRef> Widget::reserved_24() const { return std::nullopt; }
std::optional<AnyRef> Widget::reserved_25() const { return std::nullopt; }
std::optional<std::string_view> Widget::reserved_26() const { return std::nullopt; }
std::optional<AnyRef> Widget::reserved_27() const { return std::nullopt; }
std::optional<std::string_view> Widget::reserved_28() const { return std::nullopt; }
std::optional<AnyRef> Widget::reserved_29() const { return std::nullopt; }
std::optional<std::string_view> Widget::reserved_30() const { return std::nullopt; }
std::optional<AnyRef> Widget::reserved_31() const { return std::nullopt; }
std::optional<std::string_view> Widget::reserved_32() const { return std::nullopt; }
std::optional<AnyRef> Widget::reserved_33() const { return std::nullopt; }
std::optional<std::string_view> Widget::reserved_37() const { return std::nullopt; }
std::optional<AnyRef> Widget::reserved_38() const { return std::nullopt; }
void Widget::reserved_49() {}
std::optional<std::string_view> Widget::label() const { return std::nullopt; }
std::optional<AnyRef> Widget::as_any() { return std::nullopt; }
std::vector<ReservedRecord> Widget::reserved_59() const { return {}; }
std::optional<ReservedValue> Widget::reserved_73() const { return std::nullopt; }
bool Widget::reserved_74() const { return false; }
std::uintptr_t Widget::reserved_75() const { return 0; }
std::optional<ReservedRecord> Widget::reserved_76() const { return std::nullopt; }
bool Widget::reserved_82() const { return true; }
bool Widget::reserved_83() const { return false; }
void Widget::reserved_95() {}
bool Widget::reserved_97() const { return false; }
std::optional<ReservedRecord> Widget::reserved_98() const { return std::nullopt; }
std::optional<ReservedRecord> Widget::reserved_99() const { return std::nullopt; }
void Widget::reserved_100() {}
void Widget::reserved_103() {}
std::optional<ReservedRecord> Widget::reserved_105() const { return std::nullopt; }

}  // namespace vorn_ui
