#include "panes/power/power_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "actions/contract.hpp"
#include "page_helpers/layout.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace settings::panes::power {

namespace {

namespace ph = page_helpers;
namespace cat = actions::catalogue;

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};

// Every control of the page is bound to its action; one the contract lacks stops the program with the row's message.
template <class T>
vorn_actions::ActionBinding<T> required(cat::Binding<T> binding, std::string_view missing)
{
    if (!binding) {
        actions::contract_violation(missing);
    }
    return std::move(*binding);
}

cat::Binding<std::string> choice_binding(const ChoiceItem& item)
{
    if (item.action_id != charge_cap_action_id) {
        return cat::power_choice_binding(item.action_id);
    }
    std::vector<std::uint32_t> percentages;
    for (const std::string& choice : item.choices) {
        if (const auto percent = charge_limit_from_text(choice)) {
            percentages.push_back(*percent);
        }
    }
    return cat::charge_limit_binding(percentages, charge_limit_from_text(item.placeholder).value_or(100));
}

ph::WidgetBox choice_row(const ChoiceItem& item)
{
    auto dropdown = vorn_ui::Dropdown(item.id, item.choices)
                        .with_key(item.id)
                        .with_placeholder(item.placeholder)
                        .with_label(item.title)
                        .on_action(required(choice_binding(item), item.missing_binding));
    return ph::setting_row_fixed(item.title, std::move(dropdown).boxed());
}

ph::WidgetBox toggle_row(const ToggleItem& item)
{
    auto toggle = vorn_ui::Toggle(item.accessible_label, item.id)
                      .with_id(item.id)
                      .with_label(item.title)
                      .with_value(item.on)
                      .on_action(required(cat::power_toggle_binding(item.action_id), item.missing_binding));
    return ph::setting_row(item.title, std::move(toggle).boxed());
}

ph::WidgetBox item_widget(const CardItem& item)
{
    return std::visit(
        Overloaded{
            [](const ProgressItem& bar) { return vorn_ui::ProgressBar(bar.fraction).boxed(); },
            [](const ValueItem& row) { return ph::value_row(row.title, row.value); },
            [](const CaptionItem& caption) { return ph::caption(caption.text); },
            [](const SparklineItem& line) {
                return vorn_ui::Sparkline(std::vector<double>(line.samples.begin(), line.samples.end()))
                    .with_size(320.0f, 56.0f)
                    .with_max(100.0)
                    .with_min(0.0)
                    .with_color(vorn_ui::Theme::dark().accent)
                    .boxed();
            },
            [](const ChoiceItem& choice) { return choice_row(choice); },
            [](const ToggleItem& toggle) { return toggle_row(toggle); },
        },
        item);
}

}  // namespace

std::string view_structure(const std::vector<Card>& cards)
{
    std::string key;
    for (const Card& card : cards) {
        key += fmt::format("[{}]", card.title);
        for (const CardItem& item : card.items) {
            key += std::visit(
                Overloaded{
                    [](const ProgressItem& bar) { return fmt::format("|bar {:.4f}", bar.fraction); },
                    [](const ValueItem& row) { return fmt::format("|value {}={}", row.title, row.value); },
                    [](const CaptionItem& caption) { return fmt::format("|caption {}", caption.text); },
                    [](const SparklineItem& line) { return fmt::format("|line {}", fmt::join(line.samples, ",")); },
                    [](const ChoiceItem& choice) {
                        return fmt::format("|choice {} {}", choice.id, fmt::join(choice.choices, "/"));
                    },
                    [](const ToggleItem& toggle) { return fmt::format("|switch {}", toggle.id); },
                },
                item);
        }
    }
    return key;
}

PowerPane::PowerPane(PowerModel::Environment environment)
    : PreferencePane({"power", "Power", "Change power preferences"}),
      model_(std::make_unique<PowerModel>(std::move(environment)))
{
}

PowerPane PowerPane::with_operation_requests(const operations::OperationRequestCell& cell) &&
{
    model_->use_operation_requests(cell);
    return std::move(*this);
}

PowerPane PowerPane::with_operation_status(const operations::OperationStatusCell& cell) &&
{
    model_->use_operation_status(cell);
    return std::move(*this);
}

void PowerPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    model_->sync(doc);
    if (model_->take_structure_dirty()) {
        ctx.changed = true;
    }
    cards_ = power_cards(*model_);
    refresh_view(model_->working_document(doc), ctx);
}

std::string PowerPane::view_key() const { return view_structure(cards_); }

std::unique_ptr<vorn_ui::Widget> PowerPane::build_view()
{
    if (cards_.empty()) {
        cards_ = power_cards(*model_);
    }
    std::vector<ph::WidgetBox> cards;
    for (const Card& card : cards_) {
        std::vector<ph::WidgetBox> rows;
        for (const CardItem& item : card.items) {
            rows.push_back(item_widget(item));
        }
        if (card.title.empty()) {
            cards.push_back(std::make_unique<vorn_ui::Column>(ph::compact_stack(std::move(rows))));
        } else {
            cards.push_back(ph::labelled_card(card.title, ph::compact_stack(std::move(rows))));
        }
    }
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> boxed_power_pane(const operations::OperationRequestCell& requests,
                                                  const operations::OperationStatusCell& status)
{
    return std::make_unique<PowerPane>(PowerPane().with_operation_requests(requests).with_operation_status(status));
}

}  // namespace settings::panes::power
