#include "panes/region/region_pane.hpp"

#include "actions/catalogue/bindings.hpp"
#include "page_helpers/layout.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "setting_tables/region.hpp"
#include "vorn_ui/widgets.hpp"

namespace settings::panes::region {

namespace ph = page_helpers;
namespace cat = actions::catalogue;
namespace table = setting_tables::region;
using preference_pane::edit_key;

constexpr std::string_view notice_id = "region.notice";

PreviewTexts preview_texts(const prefs::Locale& locale)
{
    return {
        .amount = table::amount_sample(locale.number_style, table::currency_symbol(locale.currency)),
        .date = std::string(table::date_sample(locale.date_format)),
        .time = std::string(table::time_sample(locale.time_format)),
        .temperature = std::string(table::temperature_sample(locale.measurement)),
        .week_start = std::string(prefs::label(locale.first_day_of_week)),
    };
}

RegionPane::RegionPane(RegionModel model, std::optional<float> offered_width)
    : PreferencePane({"region", "Region & formats", "Change region preferences"}),
      model_(std::move(model)),
      width_(offered_width.value_or(0.0f))
{
}

RegionPane::RegionPane(std::optional<float> offered_width) : RegionPane(RegionModel::load(), offered_width) {}

bool RegionPane::narrow() const { return width_ > 0.0f && width_ < kNarrowWidth; }

void RegionPane::sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx)
{
    if (model_.sync(doc)) {
        ctx.changed = true;
    }
    refresh_view(doc, ctx);
}

void RegionPane::apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x, double parent_y)
{
    PreferencePane::apply_layout(tree, node, parent_x, parent_y);
    width_ = static_cast<float>(get_rect().width());
}

bool RegionPane::needs_idle_sync() const { return content() != nullptr && narrow() != built_narrow_; }

// The rows are the same whatever the values; the narrow layout and the notice below the cards come and go.
std::string RegionPane::structure_key() const
{
    std::string key = narrow() ? "narrow" : "wide";
    if (model_.notice()) {
        key += "+notice";
    }
    return key;
}

bool RegionPane::show_values()
{
    const PreviewTexts texts = preview_texts(model_.locale());
    bool changed = show_text(preview::kAmountId, texts.amount);
    changed = show_text(preview::kDateId, texts.date) || changed;
    changed = show_text(preview::kTimeId, texts.time) || changed;
    changed = show_text(preview::kTemperatureId, texts.temperature) || changed;
    changed = show_text(preview::kWeekStartId, texts.week_start) || changed;
    if (const auto& notice = model_.notice()) {
        changed = show_text(notice_id, *notice) || changed;
    }
    return changed;
}

std::unique_ptr<vorn_ui::Widget> RegionPane::build_view()
{
    const prefs::Locale& locale = model_.locale();
    built_narrow_ = narrow();
    // One section for every control of the view.
    const cat::SectionBindings bindings = cat::region_bindings();

    std::vector<ph::WidgetBox> formats;
    for (const table::Setting& row : table::settings()) {
        auto dropdown = vorn_ui::Dropdown(std::string(row.control_id), {row.choices.begin(), row.choices.end()})
                            .with_key(edit_key(row.key))
                            .with_placeholder(std::string(row.label(locale)))
                            .with_label(std::string(row.title))
                            .on_action(bindings.choice(row.action))
                            .boxed();
        formats.push_back(built_narrow_ ? ph::labelled_block(row.title, std::move(dropdown))
                                        : ph::setting_row_fixed(row.title, std::move(dropdown)));
    }

    const PreviewTexts texts = preview_texts(locale);
    std::vector<ph::WidgetBox> preview_rows;
    preview_rows.push_back(ph::value_row("Amount", texts.amount, preview::kAmountId));
    preview_rows.push_back(ph::value_row("Date", texts.date, preview::kDateId));
    preview_rows.push_back(ph::value_row("Time", texts.time, preview::kTimeId));
    preview_rows.push_back(ph::value_row("Temperature", texts.temperature, preview::kTemperatureId));
    preview_rows.push_back(ph::value_row("Calendar week starts", texts.week_start, preview::kWeekStartId));

    std::vector<ph::WidgetBox> cards;
    cards.push_back(ph::labelled_card("Formats", ph::compact_stack(std::move(formats))));
    cards.push_back(ph::labelled_card("Preview", ph::compact_stack(std::move(preview_rows))));
    cards.push_back(ph::labelled_card("Shared with your apps", ph::caption(shared_caption)));
    if (const auto& notice = model_.notice()) {
        cards.push_back(ph::caption(*notice, notice_id));
    }
    return std::make_unique<vorn_ui::Column>(ph::section_stack(std::move(cards)));
}

std::unique_ptr<vorn_ui::Widget> boxed_region_pane(std::optional<float> offered_width)
{
    return std::make_unique<RegionPane>(offered_width);
}

}  // namespace settings::panes::region
