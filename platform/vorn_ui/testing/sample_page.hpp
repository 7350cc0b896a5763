#pragma once
// A sample settings window made of every widget of the toolkit's layout and display set, for the headless
// pictures and the benchmark: an AppShell with a sidebar (a search box stand-in and navigation rows) and a page of
// cards with texts, badges, progress bars, a sparkline, icons and a QR code.

#include "vorn_ui/widgets.hpp"

#include <memory>
#include <string>
#include <vector>

namespace vorn_ui::testing {

// A navigation entry of the sample sidebar: an icon and a title.
inline std::unique_ptr<Widget> sample_nav_row(Icon icon, std::string title)
{
    return Container()
        .horizontal()
        .with_align(flex_layout::Align::Center)
        .with_spacing(12.0f)
        .with_padding(20.0f, 10.0f)
        .with_child(IconWidget(icon).with_size(18.0f))
        .with_child(Text(std::move(title)).medium())
        .boxed();
}

inline std::unique_ptr<Widget> sample_sidebar()
{
    Column groups = Column().with_spacing(24.0f).with_gap(8.0f).with_padding(4.0f);
    const std::vector<std::pair<std::string, std::vector<std::pair<Icon, std::string>>>> sections{
        {"CONNECTIVITY", {{Icon::Wifi, "Network"}, {Icon::Bluetooth, "Bluetooth"}}},
        {"DEVICES",
         {{Icon::Sync, "Devices & Sync"}, {Icon::Speaker, "Sound"}, {Icon::Display, "Displays"},
          {Icon::Mouse, "Mouse & Keyboard"}, {Icon::Keyboard, "Keyboard Shortcuts"}, {Icon::Printer, "Printers"}}},
        {"SYSTEM",
         {{Icon::Palette, "Appearance"}, {Icon::Accessibility, "Accessibility"}, {Icon::Bell, "Notifications"},
          {Icon::Apps, "Apps & Files"}, {Icon::Storage, "Storage"}, {Icon::Battery, "Power"},
          {Icon::Clock, "Time & Date"}, {Icon::Users, "Users"}, {Icon::Globe, "Region & Formats"}}},
        {"MAINTENANCE", {{Icon::Update, "Updates"}, {Icon::Info, "About"}}},
    };
    for (const auto& [heading, rows] : sections) {
        Column group = Column().with_spacing(8.0f);
        group.push(Column().with_padding(20.0f, 0.0f).push(Text(heading).with_size(12.0f).caption()));
        Column list = Column().with_spacing(4.0f);
        for (const auto& [icon, title] : rows) {
            list.push(sample_nav_row(icon, title));
        }
        group.push(std::move(list));
        groups.push(std::move(group));
    }
    return Container(Scrollable::with_child(std::move(groups)).boxed()).boxed();
}

inline std::unique_ptr<Widget> sample_value_row(std::string label, std::unique_ptr<Widget> control)
{
    return Row().push(Text(std::move(label))).push(Spacer::flexible()).push(std::move(control)).boxed();
}

inline Column sample_page_column()
{
    Column page = Column().with_spacing(16.0f).with_gap(24.0f).with_padding(24.0f);
    page.push(Column()
                  .with_spacing(4.0f)
                  .push(Text("SETTINGS").with_size(12.0f).caption())
                  .push(Text("Network").with_size(24.0f).bold())
                  .push(Text("Wi-Fi, wired connections, and VPN")));

    Column wifi = Column().with_spacing(12.0f);
    wifi.push(sample_value_row("Network name", Text("Home 5G").boxed()));
    wifi.push(sample_value_row("Signal", ProgressBar(0.72).with_width(220.0f).boxed()));
    wifi.push(Text("Connected since 09:12 · WPA3 Personal · 5 GHz").with_size(12.0f).caption());
    page.push(card::surface("Wi-Fi", Badge("Connected", Tone::Success).boxed(), std::move(wifi).boxed()));

    Column battery = Column().with_spacing(12.0f);
    battery.push(ProgressBar(0.64).with_label("Charge").boxed());
    battery.push(Sparkline({80, 78, 75, 71, 66, 70, 74, 79, 85, 90, 88, 84, 77, 69, 64})
                     .with_size(320.0f, 56.0f)
                     .with_max(100.0)
                     .boxed());
    battery.push(Text("Charge history · last 30 days · sampled at most every 15 minutes.").with_size(12.0f).caption());
    battery.push(ProgressBar::indeterminate().with_label("Checking battery health").boxed());
    page.push(card::surface("Battery", Badge("Charging", Tone::Info).boxed(), std::move(battery).boxed()));

    page.push(Card(Row()
                       .with_spacing(16.0f)
                       .push(IconWidget(Icon::Display).with_size(34.0f).with_stroke(1.5f))
                       .push(Container(Column()
                                           .with_spacing(4.0f)
                                           .push(Text("vorn-laptop").with_size(20.0f))
                                           .push(Text("Vorn OS 42").with_size(12.0f).caption())
                                           .boxed()))
                       .boxed()));

    Row share = Row().with_spacing(24.0f).with_align(flex_layout::Align::Start);
    share.push(QrWidget::from_text("WIFI:T:WPA;S:Home 5G;P:correct horse battery staple;;"));
    share.push(Column()
                   .with_spacing(8.0f)
                   .with_flex(1.0f)
                   .push(Text("Scan the code with a phone to join this network. The password is part of the code, so "
                              "show it only to people you trust.")
                             .with_size(13.0f))
                   .push(Row()
                             .with_spacing(8.0f)
                             .push(Badge("Neutral", Tone::Neutral))
                             .push(Badge("Warning", Tone::Warning))
                             .push(Badge("Danger", Tone::Danger))));
    page.push(card::surface("Share Wi-Fi", nullptr, std::move(share).boxed()));
    return page;
}

// The window content: a search box stand-in on top of the sidebar, the page in a scroll view beside it.
inline std::unique_ptr<AppShell> sample_window(bool narrow_screen = true)
{
    auto content = Container(Scrollable::with_child(sample_page_column().boxed()).boxed()).boxed();
    auto search = Container(Text("Search settings").caption().boxed())
                      .with_padding(12.0f, 8.0f)
                      .with_background(Theme::dark().surface_raised, 6.0f)
                      .boxed();
    return std::make_unique<AppShell>(AppShell(sample_sidebar(), std::move(content))
                                          .with_search(std::move(search))
                                          .with_sidebar_width(264.0f)
                                          .with_breakpoint(720.0f)
                                          .with_narrow_screen(narrow_screen)
                                          .with_label("Settings"));
}

}  // namespace vorn_ui::testing
