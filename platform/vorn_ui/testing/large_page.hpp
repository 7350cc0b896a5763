#pragma once
// A settings window of about 300 widgets (the sample sidebar and a long page of cards with setting rows holding
// display widgets and controls), for the frame benchmark.

#include "vorn_ui/testing/sample_page.hpp"

#include <string>

namespace vorn_ui::testing {

inline std::unique_ptr<Widget> large_card(int index)
{
    Column body = Column().with_spacing(12.0f);
    for (int row = 0; row < 5; ++row) {
        const std::string label = "Setting " + std::to_string(index) + "." + std::to_string(row);
        std::unique_ptr<Widget> control;
        const std::string key = "large." + std::to_string(index) + "." + std::to_string(row);
        switch ((row + index) % 9) {
        case 0: control = Text("Value " + std::to_string(index * 10 + row)).boxed(); break;
        case 1: control = Badge(row % 2 == 0 ? "Active" : "Standard", static_cast<Tone>(row % 5)).boxed(); break;
        case 2: control = ProgressBar(0.1 * row + 0.05 * index).with_width(220.0f).boxed(); break;
        case 3: control = IconWidget(static_cast<Icon>(index % 2 == 0 ? 7 : 89)).boxed(); break;
        case 4: control = Toggle("settings." + key, key).with_value(index % 2 == 0).boxed(); break;
        case 5: control = Slider("settings." + key, key).with_value(0.1 * row + 0.05 * index).boxed(); break;
        case 6:
            control = Dropdown(key, {"Automatic", "Balanced", "Performance"}).with_selected("Balanced").boxed();
            break;
        case 7:
            control = TextInput(key).with_initial_value("Entry " + std::to_string(index)).with_width(220.0f).boxed();
            break;
        default: control = Button("settings." + key, "Apply", key).boxed(); break;
        }
        body.push(sample_value_row(label, std::move(control)));
    }
    body.push(Text("Changes apply at once and are kept in your settings file; card " + std::to_string(index) +
                   " explains what the settings above do in a sentence long enough to wrap on narrow windows.")
                  .with_size(12.0f)
                  .caption());
    return card::surface("Card " + std::to_string(index), Badge("Ready", Tone::Success).boxed(),
                         std::move(body).boxed())
        .boxed();
}

inline std::unique_ptr<AppShell> large_window(int cards = 10)
{
    Column page = Column().with_spacing(16.0f).with_gap(24.0f).with_padding(24.0f);
    page.push(Column()
                  .with_spacing(4.0f)
                  .push(Text("SETTINGS").with_size(12.0f).caption())
                  .push(Text("Power").with_size(24.0f).bold())
                  .push(Text("Battery, power profile, and automatic suspend")));
    for (int i = 0; i < cards; ++i) {
        page.push(large_card(i));
    }
    auto content = Container(Scrollable::with_child(std::move(page).boxed()).boxed()).boxed();
    auto search = TextInput("settings.search")
                      .with_kind(text_input_kind::search)
                      .with_placeholder("Search settings")
                      .boxed();
    return std::make_unique<AppShell>(
        AppShell(sample_sidebar(), std::move(content)).with_search(std::move(search)).with_narrow_screen(true));
}

// The number of widgets in a tree (the root included).
inline std::size_t count_widgets(const Widget& root)
{
    std::size_t count = 1;
    for (const Widget* child : root.children()) {
        count += count_widgets(*child);
    }
    return count;
}

}  // namespace vorn_ui::testing
