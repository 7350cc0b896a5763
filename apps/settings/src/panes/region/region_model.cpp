#include "panes/region/region_model.hpp"

#include "actions/set_setting.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "prefs/locale.hpp"
#include "setting_tables/region.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

namespace settings::panes::region {

namespace pp = preference_pane;
namespace table = setting_tables::region;

std::string region_save_failed_text(std::string_view error)
{
    return fmt::format("Region settings could not be saved: {}", error);
}

std::string region_change_refused_text(std::string_view error)
{
    return fmt::format("Region settings could not be changed: {}", error);
}

RegionModel RegionModel::load() { return RegionModel(prefs::load_locale()); }

namespace {

struct TextOutcome {
    std::optional<std::string> taken;    // the text the field is to take
    std::optional<std::string> refused;  // why the user's choice was not applied
};

// The setting key against the edit key for one field (the header's rules).
TextOutcome sync_text_setting(page_doc::Document& doc, vorn_ui::ActionHost& host, std::string_view key,
                              std::string_view in_force)
{
    const std::string edit = pp::edit_key(key);
    const std::string setting = page_doc::doc_text(doc, key).value_or(std::string(in_force));
    if (setting != in_force) {
        pp::put_text_if_changed(doc, edit, setting);
        return {.taken = setting};
    }
    const std::string chosen = page_doc::doc_text(doc, edit).value_or(setting);
    if (chosen == setting) {
        return {};
    }
    if (auto sent = pp::dispatch_setting_change(host, doc, actions::string_pair(key, chosen)); !sent) {
        // Not applied: the drop-down goes back to what is in force.
        pp::put_text_if_changed(doc, edit, in_force);
        return {.refused = sent.error().display()};
    }
    return {.taken = chosen};
}

}  // namespace

bool RegionModel::sync(page_doc::Document& doc)
{
    if (seed_pending_) {
        for (const table::Setting& row : table::settings()) {
            const std::string_view label = row.label(locale_);
            pp::publish_text(host_, doc, row.key, label);
            pp::put_text_if_changed(doc, pp::edit_key(row.key), label);
        }
        seed_pending_ = false;
    }

    const prefs::Locale before = locale_;
    std::optional<std::string> refused;
    for (const table::Setting& row : table::settings()) {
        const std::string in_force(row.label(locale_));
        TextOutcome outcome = sync_text_setting(doc, host_, row.key, in_force);
        if (outcome.refused) {
            refused = std::move(outcome.refused);
            continue;
        }
        if (!outcome.taken) {
            continue;
        }
        prefs::Locale next = locale_;
        if (row.take(next, *outcome.taken)) {
            locale_ = next;
        }
        // A text that is no label shows the label in force again; an accepted one shows as its label.
        const std::string_view shown = row.label(locale_);
        if (*outcome.taken != shown) {
            pp::restore_text(doc, host_, row.key, shown);
        }
    }

    if (refused) {
        notice_ = region_change_refused_text(*refused);
    }
    if (locale_ == before) {
        return false;
    }
    if (auto saved = prefs::save_locale_changes(stored_, locale_); !saved) {
        VORN_WARN("region_save", "failed to persist region settings: {}", saved.error());
        notice_ = region_save_failed_text(saved.error());
    } else {
        stored_ = locale_;
        if (!refused) {
            notice_.reset();
        }
    }
    return true;
}

}  // namespace settings::panes::region
