#include "panes/mouse_keyboard/mouse_keyboard_model.hpp"

#include "config_sections/config_sections.hpp"
#include "config_sections/hardware.hpp"
#include "prefs/settings_file.hpp"
#include "vorn_log/log.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace settings::panes::mouse_keyboard {

namespace {

bool stored_flag(const std::optional<config_sections::Json>& section, std::string_view name)
{
    if (!section || !section->is_object()) {
        return true;
    }
    const auto member = section->find(std::string(name));
    return member == section->end() || !member->is_boolean() || member->get<bool>();
}

}  // namespace

TextAssistance TextAssistance::load()
{
    const auto section = config_sections::load_section(text_assistance_section);
    return {stored_flag(section, "check_spelling"), stored_flag(section, "auto_correct")};
}

double key_repeat_position(const prefs::InputPrefs& input)
{
    if (input.key_repeat_delay_ms && input.key_repeat_rate_hz) {
        return std::clamp((static_cast<double>(*input.key_repeat_rate_hz) - 10.0) / 40.0, 0.0, 1.0);
    }
    return input.key_repeat;
}

std::string key_repeat_text(const prefs::InputPrefs& input)
{
    if (!input.key_repeat_delay_ms || !input.key_repeat_rate_hz) {
        return "Faster repeat starts sooner";
    }
    if (*input.key_repeat_rate_hz == 0) {
        return "Repeat is off \u2014 move the slider to turn it on";
    }
    return fmt::format("{} keys per second \u00B7 starts after {} ms", *input.key_repeat_rate_hz,
                       *input.key_repeat_delay_ms);
}

MouseKeyboardModel::MouseKeyboardModel(prefs::InputPrefs input, TextAssistance text,
                                       std::span<const keyboard_layouts::KeyboardLayout> catalog)
    : input_(std::move(input)), catalog_(catalog.begin(), catalog.end()), applied_(text)
{
}

MouseKeyboardModel MouseKeyboardModel::load()
{
    // The settings file's loader brings the input sources into their normal form.
    return MouseKeyboardModel(prefs::load_settings_file().input, TextAssistance::load(),
                              keyboard_layouts::keyboard_layout_catalog());
}

bool MouseKeyboardModel::reload_input()
{
    prefs::InputPrefs stored = prefs::load_settings_file().input;
    if (stored == input_) {
        return false;
    }
    input_ = std::move(stored);
    ++input_revision_;
    return true;
}

void MouseKeyboardModel::sync(page_doc::Document& doc)
{
    if (!seeded_) {
        doc.put_bool(check_spelling_key, applied_.check_spelling);
        doc.put_bool(auto_correct_key, applied_.auto_correct);
        seeded_ = true;
    }
    struct Switch {
        std::string_view key;
        std::string_view stored;
        bool TextAssistance::*field;
        std::string_view what;
    };
    const std::array<Switch, 2> switches{{
        {check_spelling_key, "check_spelling", &TextAssistance::check_spelling, "Spell checking"},
        {auto_correct_key, "auto_correct", &TextAssistance::auto_correct, "Auto-correction"},
    }};
    for (const Switch& entry : switches) {
        const auto wanted = page_doc::doc_bool(doc, entry.key);
        if (!wanted || *wanted == applied_.*entry.field) {
            continue;
        }
        const bool on = *wanted;
        auto saved = config_sections::update_section(
            text_assistance_section, [&](config_sections::Json& section) { section[std::string(entry.stored)] = on; });
        if (saved) {
            applied_.*entry.field = on;
            status_.reset();
            continue;
        }
        // Not saved: the switch shows what is in force again, and the page says why.
        VORN_WARN("text_assistance_save", "failed to persist text-assistance prefs: {}", saved.error());
        doc.put_bool(entry.key, applied_.*entry.field);
        status_ = fmt::format("{} could not be saved: {}", entry.what, saved.error());
    }
}

std::string MouseKeyboardModel::layout_label(std::string_view id) const
{
    if (const auto* layout = keyboard_layouts::find_by_id(catalog_, id)) {
        return layout->label;
    }
    return std::string(id);
}

std::vector<std::string> MouseKeyboardModel::active_source_labels() const
{
    std::vector<std::string> labels;
    labels.reserve(input_.keyboard_layouts.size());
    for (const auto& id : input_.keyboard_layouts) {
        labels.push_back(layout_label(id));
    }
    return labels;
}

std::vector<SourceRow> MouseKeyboardModel::source_rows() const
{
    std::vector<SourceRow> rows;
    const std::size_t count = input_.keyboard_layouts.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& id = input_.keyboard_layouts[i];
        rows.push_back({
            .index = i,
            .id = id,
            .label = layout_label(id),
            .active = id == input_.keyboard_layout,
            .can_move_up = i > 0,
            .can_move_down = i + 1 < count,
            .can_remove = count > 1,
        });
    }
    return rows;
}

std::vector<std::string> MouseKeyboardModel::addable_source_labels() const
{
    std::vector<std::string> labels;
    if (input_.keyboard_layouts.size() >= config_sections::hardware::RichInputConfig::max_sources) {
        return labels;
    }
    for (const auto& layout : catalog_) {
        if (std::ranges::find(input_.keyboard_layouts, layout.id) == input_.keyboard_layouts.end()) {
            labels.push_back(layout.label);
        }
    }
    return labels;
}

}  // namespace settings::panes::mouse_keyboard
