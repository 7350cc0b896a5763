#pragma once
// The Region & Formats page: six drop-downs (currency, date format, time format, measurement, number format, first
// day of the week), a preview of an amount, a date, a time, a temperature and the first day of the week in the
// chosen formats, and a caption on the apps that read the shared locale. Every drop-down is bound to its action of
// the Region & Formats section and writes its edit key; the model takes and saves what changed (region_model.hpp).
//
// Narrow layout: while the page's laid-out width (or, before the first layout, the width the application offers)
// is above zero and below 356 px, each drop-down stands under its title (a labelled block) instead of beside it in
// a 220 px slot. Crossing that width builds the view anew; the focused control keeps the focus by its id.

#include "panes/preference_pane/pane_base.hpp"
#include "panes/region/region_model.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::region {

inline constexpr float kNarrowWidth = 356.0f;

inline constexpr std::string_view shared_caption =
    "Sheets uses these formats for cells; Weather uses the measurement setting for its units. Changes here apply "
    "everywhere those apps read the shared locale.";

// The ids of the preview's values, changed in place.
namespace preview {
inline constexpr std::string_view kAmountId = "region.preview.amount";
inline constexpr std::string_view kDateId = "region.preview.date";
inline constexpr std::string_view kTimeId = "region.preview.time";
inline constexpr std::string_view kTemperatureId = "region.preview.temperature";
inline constexpr std::string_view kWeekStartId = "region.preview.week_start";
}  // namespace preview

// The preview's five texts for a locale, in the order shown: amount, date, time, temperature, first day.
struct PreviewTexts {
    std::string amount;
    std::string date;
    std::string time;
    std::string temperature;
    std::string week_start;
    friend bool operator==(const PreviewTexts&, const PreviewTexts&) = default;
};
[[nodiscard]] PreviewTexts preview_texts(const prefs::Locale& locale);

class RegionPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::region::RegionPane", "RegionPane")

    // `offered_width`: the content width the application offers, used until the page is laid out.
    explicit RegionPane(RegionModel model, std::optional<float> offered_width = std::nullopt);
    explicit RegionPane(std::optional<float> offered_width = std::nullopt);

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    void apply_layout(const flex_layout::Tree& tree, vorn_ui::NodeId node, double parent_x,
                      double parent_y) override;
    // Asks for a sync when the laid-out width crossed the narrow width, so that the view is built for it.
    [[nodiscard]] bool needs_idle_sync() const override;

    [[nodiscard]] const RegionModel& model() const { return model_; }
    [[nodiscard]] bool narrow() const;

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    RegionModel model_;
    float width_ = 0.0f;
    bool built_narrow_ = false;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_region_pane(std::optional<float> offered_width);

}  // namespace settings::panes::region
