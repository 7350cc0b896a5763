#include "panes/keyboard_shortcuts/shortcut_model.hpp"

#include "setting_tables/store.hpp"

#include "panes/keyboard_shortcuts/catalogue/catalogue.hpp"
#include "panes/preference_pane/setting_sync.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>

namespace settings::panes::keyboard_shortcuts {

namespace pp = preference_pane;

static_assert(catalogue::kShortcutCount == ShortcutConfig::action_count);

std::string chord_text(const ShortcutConfig& config, std::size_t action)
{
    const auto& chord = config.chord(action);
    return chord ? chord->display() : std::string();
}

ShortcutModel::ShortcutModel(ShortcutConfig config, DesktopControlsConfig controls)
    : config_(std::move(config)), controls_(controls), applied_vim_(controls.vim_navigation)
{
    for (std::size_t i = 0; i < ShortcutConfig::action_count; ++i) {
        applied_[i] = chord_text(config_, i);
    }
}

ShortcutModel ShortcutModel::load() { return ShortcutModel(ShortcutConfig::load(), DesktopControlsConfig::load()); }

const std::optional<std::string>& ShortcutModel::refusal(std::size_t action) const
{
    static const std::optional<std::string> none;
    return action < refusals_.size() ? refusals_[action] : none;
}

std::optional<std::string> ShortcutModel::apply(std::size_t action, std::string_view text)
{
    // Refused as a set-setting action refuses it.
    ShortcutConfig next = config_;
    if (auto set = setting_tables::set_shortcut(next, action, text); !set) {
        return std::move(set.error());
    }
    if (auto saved = next.save(); !saved) {
        VORN_WARN("shortcuts_save", "failed to persist keyboard shortcuts: {}", saved.error());
        return fmt::format("The shortcut could not be saved: {}", saved.error());
    }
    config_ = std::move(next);
    return std::nullopt;
}

void ShortcutModel::sync_vim(page_doc::Document& doc)
{
    const std::string edit = pp::edit_key(vim_mode_key);
    const bool setting = page_doc::doc_bool(doc, vim_mode_key).value_or(applied_vim_);
    const bool shown = page_doc::doc_bool(doc, edit).value_or(setting);
    if (setting != applied_vim_) {
        // Changed through a set-setting action.
        pp::put_bool_if_changed(doc, edit, setting);
        controls_.vim_navigation = setting;
        if (auto saved = controls_.save(); saved) {
            applied_vim_ = setting;
            vim_status_.reset();
        } else {
            VORN_WARN("desktop_controls_save", "failed to persist desktop controls: {}", saved.error());
            controls_.vim_navigation = applied_vim_;
            pp::publish_bool(host_, doc, vim_mode_key, applied_vim_);
            pp::put_bool_if_changed(doc, edit, applied_vim_);
            vim_status_ = fmt::format("Vim navigation could not be saved: {}", saved.error());
        }
        return;
    }
    if (shown != setting) {
        // The switch was used.
        controls_.vim_navigation = shown;
        if (auto saved = controls_.save(); saved) {
            applied_vim_ = shown;
            vim_status_.reset();
            pp::publish_bool(host_, doc, vim_mode_key, shown);
        } else {
            VORN_WARN("desktop_controls_save", "failed to persist desktop controls: {}", saved.error());
            controls_.vim_navigation = setting;
            doc.put_bool(edit, setting);
            vim_status_ = fmt::format("Vim navigation could not be saved: {}", saved.error());
        }
    }
}

void ShortcutModel::sync(page_doc::Document& doc)
{
    if (!seeded_) {
        for (const auto& entry : catalogue::shortcut_catalogue()) {
            const std::string text = chord_text(config_, entry.action);
            pp::put_text_if_changed(doc, entry.id, text);
            pp::put_text_if_changed(doc, pp::edit_key(entry.id), text);
            applied_[entry.action] = text;
        }
        pp::put_bool_if_changed(doc, vim_mode_key, controls_.vim_navigation);
        pp::put_bool_if_changed(doc, pp::edit_key(vim_mode_key), controls_.vim_navigation);
        seeded_ = true;
    }

    sync_vim(doc);

    for (const auto& entry : catalogue::shortcut_catalogue()) {
        const std::size_t i = entry.action;
        const auto setting = page_doc::doc_text(doc, entry.id);
        if (!setting) {
            continue;
        }
        const std::string edit = pp::edit_key(entry.id);
        const std::string error = pp::error_key(entry.id);
        const std::string& applied = applied_[i];
        if (*setting != applied) {
            // Changed through a set-setting action.
            if (auto refused = apply(i, *setting)) {
                pp::publish_text(host_, doc, entry.id, applied);  // an unbound shortcut's "" is written directly
                pp::put_text_if_changed(doc, edit, applied);
                pp::put_bool_if_changed(doc, error, true);
                refusals_[i] = std::move(refused);
            } else {
                const std::string text = chord_text(config_, i);
                applied_[i] = text;
                if (text != *setting) {
                    pp::publish_text(host_, doc, entry.id, text);  // the canonical spelling
                }
                pp::put_text_if_changed(doc, edit, text);
                pp::put_bool_if_changed(doc, error, false);
                refusals_[i].reset();
            }
            continue;
        }
        const std::string shown = page_doc::doc_text(doc, edit).value_or(*setting);
        if (shown == *setting) {
            continue;
        }
        // The recorder was used.
        if (auto refused = apply(i, shown)) {
            pp::put_text_if_changed(doc, edit, *setting);
            pp::put_bool_if_changed(doc, error, true);
            refusals_[i] = std::move(refused);
        } else {
            // The configuration's own text: "super+t" is shown and published as "Super+T".
            const std::string text = chord_text(config_, i);
            applied_[i] = text;
            pp::publish_text(host_, doc, entry.id, text);
            pp::put_text_if_changed(doc, edit, text);
            pp::put_bool_if_changed(doc, error, false);
            refusals_[i].reset();
        }
    }
}

}  // namespace settings::panes::keyboard_shortcuts
