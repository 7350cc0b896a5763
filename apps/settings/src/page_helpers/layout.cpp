#include "page_helpers/layout.hpp"

#include "system_ops/dispatcher.hpp"
#include "vorn_ui/widgets.hpp"

namespace settings::page_helpers {

using vorn_ui::Column;
using vorn_ui::Container;
using vorn_ui::Row;
using vorn_ui::Spacer;
using vorn_ui::Text;

namespace {

Text body_text(std::string_view text) { return Text(std::string(text)).with_size(kBodyText); }

Text identified(Text text, std::string_view id)
{
    if (id.empty()) {
        return text;
    }
    return std::move(text).with_label(std::string(id));
}

Row label_control_row(std::string_view label, WidgetBox control)
{
    return Row()
        .with_align(flex_layout::Align::Center)
        .push(body_text(label))
        .push(Spacer::flexible())
        .push(std::move(control));
}

}  // namespace

WidgetBox page_header(std::string_view title, std::string_view description)
{
    return Column()
        .with_spacing(kRowSpacing)
        .push(Text("SETTINGS").with_size(kCaptionText).caption())
        .push(Text(std::string(title)).with_size(kPageTitleText).bold())
        .push(Text(std::string(description)).with_size(kBodyText).with_color(vorn_ui::TextColor::Secondary))
        .boxed();
}

WidgetBox setting_row(std::string_view label, WidgetBox control)
{
    return label_control_row(label, std::move(control)).boxed();
}

WidgetBox setting_row_fixed(std::string_view label, WidgetBox control)
{
    return label_control_row(label, control_slot(std::move(control))).with_spacing(kRowSpacing).boxed();
}

namespace {

WidgetBox described_row(std::string_view title, std::string_view description, std::string_view description_id,
                        WidgetBox control)
{
    return Column()
        .with_spacing(kRowSpacing)
        .push(label_control_row(title, std::move(control)))
        .push(identified(Text(std::string(description)).with_size(kCaptionText).caption(), description_id))
        .boxed();
}

}  // namespace

WidgetBox setting_row_described(std::string_view title, std::string_view description, WidgetBox control)
{
    return described_row(title, description, {}, std::move(control));
}

WidgetBox setting_row_described_fixed(std::string_view title, std::string_view description, WidgetBox control)
{
    return described_row(title, description, {}, control_slot(std::move(control)));
}

WidgetBox setting_row_described_fixed(std::string_view title, std::string_view description,
                                      std::string_view description_id, WidgetBox control)
{
    return described_row(title, description, description_id, control_slot(std::move(control)));
}

WidgetBox value_row(std::string_view label, std::string_view value, std::string_view value_id)
{
    return setting_row(label, identified(body_text(value), value_id).boxed());
}

WidgetBox labelled_block(std::string_view label, WidgetBox widget)
{
    return Column().with_spacing(kRowSpacing).push(body_text(label)).push(std::move(widget)).boxed();
}

WidgetBox control_slot(WidgetBox control) { return container_with_width(std::move(control), kControlSlotWidth); }

WidgetBox container_with_width(WidgetBox child, float width)
{
    return Container(std::move(child)).with_width(width).boxed();
}

WidgetBox flex_container(float width) { return Container().with_width(width).with_flex(1.0f).boxed(); }

WidgetBox fixed_spacer(std::uint8_t size_token) { return Spacer::token(size_token).boxed(); }

Column stack(std::vector<WidgetBox> children, float spacing)
{
    return Column().with_spacing(spacing).with_children(std::move(children));
}

Column compact_stack(std::vector<WidgetBox> children) { return stack(std::move(children), kCompactSpacing); }

Column section_stack(std::vector<WidgetBox> children) { return stack(std::move(children), kSectionSpacing); }

WidgetBox caption(std::string_view text, std::string_view id)
{
    return identified(Text(std::string(text)).with_size(kCaptionText).caption(), id).boxed();
}

WidgetBox tone_badge(std::string_view label, vorn_ui::Tone tone)
{
    return vorn_ui::Badge(std::string(label), tone).boxed();
}

WidgetBox badge_with_value(std::string_view label, std::uint8_t kind)
{
    return vorn_ui::Badge(std::string(label), vorn_ui::widget::badge::tone_of_kind(kind)).boxed();
}

WidgetBox surface_card(std::string_view label) { return vorn_ui::card::surface(label, nullptr, nullptr).boxed(); }

WidgetBox labelled_card(std::string_view label, WidgetBox child)
{
    return vorn_ui::card::surface(label, nullptr, std::move(child)).boxed();
}

WidgetBox icon_card(std::uint8_t icon, std::string_view title, std::string_view subtitle)
{
    auto texts = Column()
                     .with_spacing(kRowSpacing)
                     .push(Text(std::string(title)).with_size(kCardTitleText).bold())
                     .push(Text(std::string(subtitle)).with_size(kCaptionText).caption());
    auto row = Row()
                   .with_spacing(16.0f)
                   .with_align(flex_layout::Align::Center)
                   .push(vorn_ui::IconWidget(icon).with_size(kCardIconSize).with_stroke(kCardIconStroke))
                   .push(Container(std::move(texts).boxed()).with_flex(1.0f));
    return vorn_ui::Card(std::move(row).boxed()).boxed();
}

vorn_ui::Theme theme_by_name(std::string_view name)
{
    if (name.starts_with("custom:")) {
        return vorn_ui::Theme::configured();
    }
    return vorn_ui::Theme::named(name).value_or(vorn_ui::Theme::dark());
}

std::shared_ptr<system_ops::Dispatcher> default_dispatcher(std::shared_ptr<system_ops::Dispatcher> given)
{
    if (given) {
        return given;
    }
    return std::make_shared<system_ops::RealDispatcher>();
}

}  // namespace settings::page_helpers
