#pragma once
// What the Apps & Files page keeps and decides, apart from its widgets: the installed applications (read once when
// the page opens), the user's personal defaults and the choice in force for each kind.
//
// A kind "mime:text/html" has its setting key K "default_apps.mime.text/html" (every ":" a ".", written by
// set-setting actions) and the drop-down's edit key K + ".edit"; both hold choice texts ("Browser — so.vorn.browser").
// The choice in force is the application the resolver names: the personal default when it handles the kind, else
// the first candidate. The first sync sends it for every kind and puts it at every edit key. Each later sync, kind
// by kind:
//   - K differs from the choice in force: a change from outside wins;
//   - else the edit key differs from K: the user chose; the choice is sent as a set-setting change;
//   - the text taken becomes the personal default (PersonalDefaults::set) unless it names the application the
//     personal defaults hold already; a text that names no candidate, a refused set and a failed save all leave the
//     choice in force as it was, shown again in both keys, logged ("default_apps_set", "default_apps_save") and
//     said in the page's notice.
// A choice takes effect whether or not a personal default was stored before.

#include "desk_rules/defaults.hpp"
#include "page_doc/page_doc.hpp"
#include "vorn_ui/actions/action_host.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings::panes::personal_apps {

// "default_apps." + the kind with every ":" as ".".
[[nodiscard]] std::string default_app_key(std::string_view kind);
// "personal-default." + the kind unchanged.
[[nodiscard]] std::string control_id(std::string_view kind);
// "<name> — <id>".
[[nodiscard]] std::string candidate_label(const desk_rules::defaults::AppCandidate& app);

class PersonalAppsModel {
public:
    // `settings_file`: where the defaults are saved (none: the settings file of the configuration folder).
    PersonalAppsModel(std::vector<desk_rules::defaults::AppCandidate> apps, desk_rules::defaults::PersonalDefaults defaults,
                      std::optional<std::filesystem::path> settings_file = std::nullopt);
    [[nodiscard]] static PersonalAppsModel load();

    // Answers whether a choice in force changed.
    bool sync(page_doc::Document& doc);

    [[nodiscard]] const std::vector<desk_rules::defaults::AppCandidate>& apps() const { return apps_; }
    // The kinds that have at least one candidate, sorted.
    [[nodiscard]] const std::vector<std::string>& kinds() const { return kinds_; }
    [[nodiscard]] std::vector<desk_rules::defaults::AppCandidate> candidates(std::string_view kind) const;
    // The choice text in force for `kind` (empty without a candidate).
    [[nodiscard]] std::string in_force(std::string_view kind) const;
    [[nodiscard]] const desk_rules::defaults::PersonalDefaults& defaults() const { return defaults_; }
    [[nodiscard]] const std::optional<std::string>& notice() const { return notice_; }
    [[nodiscard]] vorn_ui::ActionHost& host() { return host_; }

private:
    std::vector<desk_rules::defaults::AppCandidate> apps_;
    std::vector<std::string> kinds_;
    desk_rules::defaults::PersonalDefaults defaults_;
    std::optional<std::filesystem::path> settings_file_;
    vorn_ui::ActionHost host_;
    bool seed_pending_ = true;
    std::optional<std::string> notice_;
};

}  // namespace settings::panes::personal_apps
