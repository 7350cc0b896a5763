// The Sound page in the real application window (headless), over a private PipeWire and WirePlumber session with
// null sinks and a virtual source: opened from the sidebar it lists the session's outputs, and moving its volume
// slider changes the default output's volume as wpctl reads it, through the section's action and the runner.
#include "app/settings_app.hpp"
#include "app/test_support.hpp"
#include "panes/audio/audio_pane.hpp"

#include "launch/launch.hpp"
#include "panes/preference_pane/pages_test_support.hpp"
#include "sound_graph/testing/pipewire_session.hpp"
#include "vorn_ui/app.hpp"
#include "vorn_ui/headless.hpp"
#include "vorn_ui/widgets.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <thread>

namespace settings::panes::audio {
namespace {

using namespace std::chrono_literals;
using ::testing::UnorderedElementsAre;

class AudioWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto started = sound_graph::testing::PipeWireSession::start();
        if (!started) {
            GTEST_SKIP() << "no PipeWire session: " << started.error();
        }
        session = std::move(*started);
    }

    // Runs frames until `done` holds (at most 20 s: every step here answers in well under a second).
    bool frames_until(const std::function<bool()>& done)
    {
        return ::settings::panes::testing::frames_until(*window, done, std::chrono::seconds(20));
    }
    [[nodiscard]] const AudioPane* pane() const
    {
        return dynamic_cast<const AudioPane*>(app::testing::find_widget(
            window->root(), [](const vorn_ui::Widget& w) { return w.widget_name() == "AudioPane"; }));
    }
    [[nodiscard]] std::vector<std::string> lines() const
    {
        return panes::testing::access_lines(window->accessibility_json());
    }
    [[nodiscard]] bool has_line(std::string_view text) const
    {
        return std::ranges::any_of(lines(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
    [[nodiscard]] const vorn_ui::Dropdown* dropdown(std::string_view id) const
    {
        return dynamic_cast<const vorn_ui::Dropdown*>(app::testing::find_widget(
            window->root(), [&](const vorn_ui::Widget& w) { return w.label() == std::optional<std::string_view>(id); }));
    }
    // Chooses `choice` from the drop-down with the keyboard, as a user would, and lets the loop's pump start the
    // action it is bound to and run it to its end; answers the completion's message, or why it did not complete.
    std::string choose(vorn_ui::app::App& loop, std::string_view id, std::string_view choice)
    {
        const auto* list = dropdown(id);
        if (list == nullptr) {
            return "no drop-down";
        }
        const auto index = std::ranges::find(list->choices(), choice) - list->choices().begin();
        if (!panes::testing::focus_control(*window, id)) {
            return "the drop-down takes no focus";
        }
        window->key(vorn_ui::Key::Down);  // opens the list
        window->key(vorn_ui::Key::Home);
        for (std::ptrdiff_t i = 0; i < index; ++i) {
            window->key(vorn_ui::Key::Down);
        }
        window->key(vorn_ui::Key::Enter);
        return run_invocation(loop);
    }
    std::string run_invocation(vorn_ui::app::App& loop)
    {
        const std::size_t before = loop.recent_completions().size();
        if (loop.run_control_invocations(window->root(), doc, std::chrono::steady_clock::now()).invocations != 1U) {
            return "not one invocation";
        }
        if (!frames_until([&] {
                (void)loop.poll_operations(window->root(), std::chrono::steady_clock::now());
                return loop.recent_completions().size() > before;
            })) {
            const auto status = settings->operation_status().get();
            return fmt::format("no completion; status {} {} {}; requests {}", static_cast<int>(status.state), status.key,
                               status.message, settings->operation_requests().get().has_value());
        }
        const auto& completion = loop.recent_completions().back();
        if (completion.kind != vorn_ui::OperationCompletion::Kind::Completed) {
            return "not completed: " + completion.message;
        }
        return "completed";
    }
    [[nodiscard]] std::string default_volume() const
    {
        return session->run({"wpctl", "get-volume", "@DEFAULT_AUDIO_SINK@"}).value_or("wpctl failed");
    }

    std::unique_ptr<sound_graph::testing::PipeWireSession> session;
    page_doc::Document doc;
    std::unique_ptr<app::SettingsApp> settings;
    std::unique_ptr<vorn_ui::HeadlessWindow> window;
};

TEST_F(AudioWindowTest, ThePageListsTheNullSinksAndItsVolumeSliderChangesTheDefaultOutput)
{
    settings = app::SettingsApp::create();
    window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 2400});
    window->frame();
    const auto row = window->find_text_bounds("Sound");
    ASSERT_TRUE(row.has_value());
    window->click(row->x0 + 2, (row->y0 + row->y1) / 2);
    ASSERT_EQ(settings->selected(), Section::Sound);

    ASSERT_TRUE(frames_until([&] { return pane() != nullptr && pane()->model().loaded() && has_line("Output device"); }))
        << ::testing::PrintToString(lines());
    const auto* outputs = dropdown(output_device_control_id);
    EXPECT_THAT(outputs->choices(), UnorderedElementsAre("Test Sink A", "Test Sink B", "Mono Sink"));
    EXPECT_TRUE(has_line("Output device = Test Sink A")) << ::testing::PrintToString(lines());
    EXPECT_TRUE(has_line("button Test speakers")) << "Test Sink A is stereo";
    const std::string before = default_volume();
    ASSERT_NE(before, "Volume: 0.00\n");

    // The slider, as the user moves it with the keyboard; the loop's pump starts its action, the runner hands the
    // operation to the page, and the page sets the volume on its worker.
    ASSERT_TRUE(panes::testing::focus_control(*window, volume_control_id));
    window->key(vorn_ui::Key::Home);
    vorn_ui::app::App loop("so.vorn.settings");
    launch::register_actions(loop);
    EXPECT_EQ(run_invocation(loop), "completed");
    EXPECT_EQ(default_volume(), "Volume: 0.00\n");
    EXPECT_TRUE(has_line("slider Volume = 0%")) << ::testing::PrintToString(lines());
}

TEST_F(AudioWindowTest, TheOutputDeviceAndAStreamsRouteAreChosenFromTheirLists)
{
    // Something plays on Test Sink A before the page opens.
    auto played = session->play("test_sink_a", "test_music");
    ASSERT_TRUE(played.has_value()) << played.error();
    const std::uint32_t music = played->second;
    const auto sink_b = session->node_id("test_sink_b");
    ASSERT_TRUE(sink_b.has_value()) << sink_b.error();

    settings = app::SettingsApp::create();
    window = std::make_unique<vorn_ui::HeadlessWindow>(*settings, doc, vorn_ui::WindowSize{1280, 2400});
    window->frame();
    const auto row = window->find_text_bounds("Sound");
    ASSERT_TRUE(row.has_value());
    window->click(row->x0 + 2, (row->y0 + row->y1) / 2);
    ASSERT_TRUE(frames_until([&] { return dropdown(stream_route_control_id(music)) != nullptr; }))
        << ::testing::PrintToString(lines());
    EXPECT_FALSE(has_line("No applications are playing audio."));
    vorn_ui::app::App loop("so.vorn.settings");
    launch::register_actions(loop);

    // The stream goes to Test Sink B: the session links it there.
    EXPECT_EQ(choose(loop, stream_route_control_id(music), "Test Sink B"), "completed");
    EXPECT_TRUE(session->wait_until([&] { return session->linked_to(music) == std::vector{*sink_b}; }));

    // Test Sink B becomes the default output; the settings file remembers its system name.
    EXPECT_EQ(choose(loop, output_device_control_id, "Test Sink B"), "completed");
    EXPECT_TRUE(session->wait_until([&] {
        return session->run({"wpctl", "inspect", "@DEFAULT_AUDIO_SINK@"}).value_or("").find("test_sink_b") !=
               std::string::npos;
    }));
    EXPECT_TRUE(frames_until([&] { return has_line("Output device = Test Sink B"); }))
        << ::testing::PrintToString(lines());
    (void)session->restore_defaults();
}

}  // namespace
}  // namespace settings::panes::audio
