#pragma once
// What the Region & Formats page keeps and decides, apart from its widgets: the Locale it shows, kept in the page
// document under the keys of the Region setting table (setting_tables/region.hpp), and the save.
//
// Each field has its setting key K ("region.currency", written by set-setting actions) and the drop-down's edit key
// K + ".edit". The first sync sends the label in force for every K (a set-setting change, in table order) and puts
// it at every edit key, so nothing an earlier visit left in the document is taken for the user's choice. Each later
// sync, field by field:
//   - K differs from the label in force: a change from outside wins; the edit key follows it;
//   - else the edit key differs from K: the user chose; the choice is sent as a set-setting change and taken only
//     when that change was applied (a refused change puts the drop-down back and the page says why);
//   - a text that is no label of the field (a currency code in any ASCII case counts) changes nothing, and both
//     keys show the label in force again; an accepted text shows as its label ("eur" as "EUR").
// What changed is saved: only the changed fields of the stored "locale" are written (prefs::save_locale_changes),
// so a value this version cannot read, kept beside them, stays. A failed save is logged ("region_save"), shown, and
// tried again with the next change.

#include "page_doc/page_doc.hpp"
#include "prefs/records.hpp"
#include "vorn_ui/actions/action_host.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace settings::panes::region {

class RegionModel {
public:
    // `stored`: what the settings file holds (and the page shows at first).
    explicit RegionModel(prefs::Locale stored) : locale_(stored), stored_(stored) {}
    [[nodiscard]] static RegionModel load();

    // Answers whether the locale changed.
    bool sync(page_doc::Document& doc);

    [[nodiscard]] const prefs::Locale& locale() const { return locale_; }
    // Why the last change was not saved or not applied; cleared by the next change that is.
    [[nodiscard]] const std::optional<std::string>& notice() const { return notice_; }
    [[nodiscard]] vorn_ui::ActionHost& host() { return host_; }

private:
    prefs::Locale locale_;
    prefs::Locale stored_;  // what the settings file is known to hold
    vorn_ui::ActionHost host_;
    bool seed_pending_ = true;
    std::optional<std::string> notice_;
};

[[nodiscard]] std::string region_save_failed_text(std::string_view error);
[[nodiscard]] std::string region_change_refused_text(std::string_view error);

}  // namespace settings::panes::region
