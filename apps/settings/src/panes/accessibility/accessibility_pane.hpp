#pragma once
// The Accessibility page: vision, pointer, typing and assistive-technology options. Every control is bound to its
// action of the Accessibility section and writes its document key; the page saves what changed. The screen reader's
// controls appear only when a speech engine is installed, the on-screen keyboard's only when its system package is.

#include "panes/accessibility/accessibility_model.hpp"
#include "panes/preference_pane/pane_base.hpp"

#include <memory>
#include <optional>
#include <string>

namespace settings::panes::accessibility {

inline constexpr std::string_view osk_missing_text = "Not installed \u2014 add the signed so.vorn.osk system package";
inline constexpr std::string_view reader_missing_text = "Unavailable \u2014 install Speech Dispatcher or eSpeak NG";
inline constexpr std::string_view shared_caption =
    "Vision comforts are the same settings the Appearance pane offers \u2014 changing them here or there updates one "
    "shared value. Pointer sizing, sticky keys and slow keys are applied by the compositor's input layer. Colour "
    "filters, the magnifier and pointer guides are final-scene compositor effects. Text-caret width is owned by the "
    "shared toolkit. The screen reader reloads in every Vorn app and visual alerts are rendered by shell chrome. The "
    "on-screen keyboard is a sandboxed system service: the compositor starts it on a private input-method socket and "
    "keeps its surface out of workspace tiles. Unsupported capabilities are identified explicitly instead of being "
    "stored as inert toggles.";

// What the machine offers, looked up each time the view is built.
struct AssistiveTechnology {
    std::optional<std::string> speech_engine;  // "Speech Dispatcher", "eSpeak NG"
    bool on_screen_keyboard = false;
};
[[nodiscard]] AssistiveTechnology detect_assistive_technology();

class AccessibilityPane final : public preference_pane::PreferencePane {
public:
    VORN_WIDGET_IDENTITY("settings::panes::accessibility::AccessibilityPane", "AccessibilityPane")

    explicit AccessibilityPane(AccessibilityModel model);
    AccessibilityPane();

    void sync(page_doc::Document& doc, vorn_ui::SyncContext& ctx) override;
    [[nodiscard]] const AccessibilityModel& model() const { return model_; }

private:
    [[nodiscard]] std::string structure_key() const override;
    [[nodiscard]] std::unique_ptr<vorn_ui::Widget> build_view() override;
    bool show_values() override;

    AccessibilityModel model_;
};

[[nodiscard]] std::unique_ptr<vorn_ui::Widget> boxed_accessibility_pane();

}  // namespace settings::panes::accessibility
