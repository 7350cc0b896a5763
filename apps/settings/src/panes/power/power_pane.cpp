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

std::vector<double> samples_of(const SparklineItem& line) { return {line.samples.begin(), line.samples.end()}; }

}  // namespace

std::string value_text_id(std::size_t card, std::size_t item) { return fmt::format("power.text.{}.{}", card, item); }

std::string view_structure(const std::vector<Card>& cards)
{
    std::string key;
    for (const Card& card : cards) {
        key += fmt::format("[{}]", card.title);
        for (const CardItem& item : card.items) {
            key += std::visit(
                Overloaded{
                    [](const ProgressItem&) { return std::string("|bar"); },
                    [](const ValueItem& row) { return fmt::format("|value {}", row.title); },
                    [](const CaptionItem&) { return std::string("|caption"); },
                    [](const SparklineItem&) { return std::string("|history"); },
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

std::string PowerPane::structure_key() const { return view_structure(cards_); }

std::unique_ptr<vorn_ui::Widget> PowerPane::build_view()
{
    if (cards_.empty()) {
        cards_ = power_cards(*model_);
    }
    bar_ = nullptr;
    history_ = nullptr;
    std::vector<ph::WidgetBox> cards;
    for (std::size_t c = 0; c < cards_.size(); ++c) {
        const Card& card = cards_[c];
        std::vector<ph::WidgetBox> rows;
        for (std::size_t i = 0; i < card.items.size(); ++i) {
            const std::string text_id = value_text_id(c, i);
            rows.push_back(std::visit(
                Overloaded{
                    [&](const ProgressItem& item) -> ph::WidgetBox {
                        auto bar = std::make_unique<vorn_ui::ProgressBar>(item.fraction);
                        bar_ = bar.get();
                        return bar;
                    },
                    [&](const ValueItem& item) { return ph::value_row(item.title, item.value, text_id); },
                    [&](const CaptionItem& item) { return ph::caption(item.text, text_id); },
                    [&](const SparklineItem& item) -> ph::WidgetBox {
                        auto line = std::make_unique<vorn_ui::Sparkline>(
                            vorn_ui::Sparkline(samples_of(item))
                                .with_size(320.0f, 56.0f)
                                .with_max(100.0)
                                .with_min(0.0)
                                .with_color(vorn_ui::Theme::dark().accent));
                        history_ = line.get();
                        return line;
                    },
                    [](const ChoiceItem& item) { return choice_row(item); },
                    [](const ToggleItem& item) { return toggle_row(item); },
                },
                card.items[i]));
        }
        if (card.title.empty()) {
            cards.push_back(std::make_unique<vorn_ui::Column>(ph::compact_stack(std::move(rows))));
        } else {
            cards.push_back(ph::labelled_card(card.title, ph::compact_stack(std::move(rows))));
        }
    }
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

bool PowerPane::show_values()
{
    bool changed = false;
    for (std::size_t c = 0; c < cards_.size(); ++c) {
        const auto& items = cards_[c].items;
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::visit(Overloaded{
                           [&](const ProgressItem& item) {
                               if (bar_ != nullptr && bar_->fraction() != static_cast<double>(item.fraction)) {
                                   bar_->set_fraction(item.fraction);
                                   changed = true;
                               }
                           },
                           [&](const ValueItem& item) { changed |= show_text(value_text_id(c, i), item.value); },
                           [&](const CaptionItem& item) { changed |= show_text(value_text_id(c, i), item.text); },
                           [&](const SparklineItem& item) {
                               if (history_ != nullptr && history_->samples() != samples_of(item)) {
                                   history_->set_samples(samples_of(item));
                                   changed = true;
                               }
                           },
                           [](const auto&) {},  // the controls follow the document
                       },
                       items[i]);
        }
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> boxed_power_pane(const operations::OperationRequestCell& requests,
                                                  const operations::OperationStatusCell& status)
{
    return std::make_unique<PowerPane>(PowerPane().with_operation_requests(requests).with_operation_status(status));
}

}  // namespace settings::panes::power
