#pragma once
// The sample window with all nineteen toolkit widgets: the sample sidebar and page (layout and display widgets)
// with a real search field on top of the sidebar, and a "Controls" card with a button, a toggle, a slider, a
// drop-down, a text field, a masked password field and a shortcut recorder, bound to keys of a page document.
//
//   page_doc::Document doc;
//   auto window = vorn_ui::testing::all_widgets_window(doc);
//   vorn_ui::HeadlessWindow w(*window, doc, {1280, 800});

#include "page_doc/page_doc.hpp"
#include "vorn_ui/locked_text.hpp"
#include "vorn_ui/testing/sample_page.hpp"

#include <memory>
#include <string>

namespace vorn_ui::testing {

// The document keys of the controls card, with their first values.
inline void seed_controls_document(page_doc::Document& doc)
{
    doc.put_bool("sample.wifi", true);
    doc.put_f64("sample.brightness", 0.6);
    doc.put_str("sample.band", "5 GHz");
    const page_doc::ObjId name = page_doc::seed_text_object(doc, "sample.name");
    (void)doc.update_text(name, "Home 5G");
    doc.put_str("sample.shortcut", "Super+T");
}

inline std::unique_ptr<Widget> sample_controls_card(SharedLockedText password)
{
    Column body = Column().with_spacing(12.0f);
    body.push(sample_value_row("Wi-Fi", Toggle("settings.sample.wifi", "sample.wifi").with_label("Wi-Fi").boxed()));
    body.push(sample_value_row(
        "Brightness", Slider("settings.sample.brightness", "sample.brightness").with_label("Brightness").boxed()));
    body.push(sample_value_row("Band", Dropdown("sample.band", {"Automatic", "2.4 GHz", "5 GHz"})
                                           .with_key("sample.band")
                                           .with_label("Band")
                                           .with_width(220.0f)
                                           .boxed()));
    body.push(sample_value_row("Network name", TextInput("sample.name")
                                                   .with_change_path("sample.name")
                                                   .with_placeholder("Network name")
                                                   .with_width(220.0f)
                                                   .boxed()));
    body.push(sample_value_row("Password", TextInput("sample.password")
                                               .with_kind(text_input_kind::password)
                                               .with_external_buffer(std::move(password))
                                               .with_placeholder("Enter password")
                                               .with_width(220.0f)
                                               .boxed()));
    body.push(sample_value_row("Open terminal",
                               ShortcutRecorder("sample.terminal", "sample.shortcut", "Super+T", "Super+T")
                                   .with_label("Open terminal")
                                   .boxed()));
    body.push(Row()
                  .with_spacing(8.0f)
                  .push(Button("settings.sample.apply", "Apply", "sample.apply").with_style(button_style::primary))
                  .push(Button("settings.sample.reset", "Reset", "sample.reset"))
                  .push(Button("Forget network").with_style(button_style::destructive)));
    return card::surface("Controls", nullptr, std::move(body).boxed()).boxed();
}

// The window: the controls card first on the page, so that it shows without scrolling.
inline std::unique_ptr<AppShell> all_widgets_window(SharedLockedText password = LockedText::create(),
                                                   LocalState<std::string> search = LocalState<std::string>(std::string{}))
{
    Column page = sample_page_column();
    Column content;
    content.push(Container(sample_controls_card(std::move(password))).with_padding(24.0f, 24.0f));
    content.push(std::move(page));
    auto area = Container(Scrollable::with_child(std::move(content).boxed()).boxed()).boxed();
    auto field = TextInput::from_state(std::move(search))
                     .with_kind(text_input_kind::search)
                     .with_id("settings.search")
                     .with_placeholder("Search settings")
                     .with_text_size(13.0f)
                     .boxed();
    return std::make_unique<AppShell>(AppShell(sample_sidebar(), std::move(area))
                                          .with_search(std::move(field))
                                          .with_sidebar_width(264.0f)
                                          .with_narrow_screen(true)
                                          .with_label("Settings"));
}

}  // namespace vorn_ui::testing
