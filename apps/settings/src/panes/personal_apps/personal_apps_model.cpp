#include "panes/personal_apps/personal_apps_model.hpp"

#include "actions/set_setting.hpp"
#include "config_sections/config_sections.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "prefs/save_failure.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace settings::panes::personal_apps {

namespace pp = preference_pane;
namespace defaults = desk_rules::defaults;

std::string default_app_key(std::string_view kind)
{
    std::string key = "default_apps." + std::string(kind);
    std::ranges::replace(key, ':', '.');
    return key;
}

std::string control_id(std::string_view kind) { return "personal-default." + std::string(kind); }

std::string candidate_label(const defaults::AppCandidate& app) { return fmt::format("{} \u2014 {}", app.name, app.id); }

PersonalAppsModel::PersonalAppsModel(std::vector<defaults::AppCandidate> apps, defaults::PersonalDefaults personal,
                                     std::optional<std::filesystem::path> settings_file)
    : apps_(std::move(apps)), defaults_(std::move(personal)), settings_file_(std::move(settings_file))
{
    kinds_ = defaults::kinds(apps_);
}

PersonalAppsModel PersonalAppsModel::load()
{
    return PersonalAppsModel(defaults::installed_apps(), defaults::PersonalDefaults::load());
}

std::vector<defaults::AppCandidate> PersonalAppsModel::candidates(std::string_view kind) const
{
    return defaults::candidates(apps_, kind);
}

std::string PersonalAppsModel::in_force(std::string_view kind) const
{
    const auto app = defaults::DefaultAppResolver::resolve(kind, apps_, defaults_, nullptr);
    return app ? candidate_label(*app) : std::string();
}

bool PersonalAppsModel::sync(page_doc::Document& doc)
{
    if (seed_pending_) {
        for (const auto& kind : kinds_) {
            const std::string text = in_force(kind);
            const std::string key = default_app_key(kind);
            pp::publish_text(host_, doc, key, text);
            pp::put_text_if_changed(doc, pp::edit_key(key), text);
        }
        seed_pending_ = false;
    }

    const defaults::PersonalDefaults before = defaults_;
    std::vector<std::string> changed;
    std::optional<std::string> problem;
    for (const auto& kind : kinds_) {
        const std::string key = default_app_key(kind);
        const std::string current = in_force(kind);
        const std::string setting = page_doc::doc_text(doc, key).value_or(current);
        std::string taken = setting;
        if (setting == current) {
            const std::string chosen = page_doc::doc_text(doc, pp::edit_key(key)).value_or(setting);
            if (chosen == setting) {
                continue;
            }
            if (auto sent = pp::dispatch_setting_change(host_, doc, actions::string_pair(key, chosen)); !sent) {
                pp::put_text_if_changed(doc, pp::edit_key(key), current);
                problem = fmt::format("The default app could not be changed: {}", sent.error().display());
                continue;
            }
            taken = chosen;
        } else {
            pp::put_text_if_changed(doc, pp::edit_key(key), setting);
        }
        const auto kind_apps = candidates(kind);
        const auto app = std::ranges::find_if(
            kind_apps, [&](const defaults::AppCandidate& candidate) { return candidate_label(candidate) == taken; });
        if (app == kind_apps.end()) {
            // Names no application that opens this kind: the choice in force shows again.
            pp::restore_text(doc, host_, key, current);
            continue;
        }
        if (defaults_.get(kind) == app->id) {
            continue;
        }
        if (auto set = defaults_.set(kind, app->id, apps_); !set) {
            VORN_WARN("default_apps_set", "default app for {} not set: {}", kind, set.error());
            problem = fmt::format("The default app could not be changed: {}", set.error());
            pp::restore_text(doc, host_, key, current);
            continue;
        }
        changed.push_back(kind);
    }

    if (!changed.empty()) {
        auto saved = settings_file_ ? defaults_.save(*settings_file_) : defaults_.save();
        if (!saved) {
            VORN_WARN("default_apps_save", "failed to persist default apps: {}", saved.error());
            const auto path = settings_file_ ? settings_file_ : config_sections::settings_path();
            const prefs::SaveProblem why =
                path ? prefs::diagnose_save_failure(*path, saved.error()) : prefs::SaveProblem::NoHome;
            problem = fmt::format("Default apps could not be saved: {}", prefs::save_problem_text(why));
            defaults_ = before;
            for (const auto& kind : changed) {
                pp::restore_text(doc, host_, default_app_key(kind), in_force(kind));
            }
            changed.clear();
        }
    }
    if (problem) {
        notice_ = std::move(problem);
    } else if (!changed.empty()) {
        notice_.reset();
    }
    return !changed.empty();
}

}  // namespace settings::panes::personal_apps
